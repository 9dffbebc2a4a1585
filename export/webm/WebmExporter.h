#pragma once
// Writes a WebM video (VP9, 4:2:0, no audio) frame by frame through the
// replace-on-success writer: until finish() succeeds the old file stays and
// nothing else is left beside it, whatever fails (or when the exporter is
// destroyed without finishing, as a cancel does).
//
//     webm::WebmExporter out("movie.webm");
//     if (!out.begin(settings)) ... out.error()
//     for each frame: if (!out.addFrame(pixels)) ... out.error()
//     if (!out.finish()) ... out.error()

#include "export/webm/Yuv420.h"

#include <cstdint>
#include <memory>
#include <string>

namespace webm {

struct WebmSettings {
    int width = 0, height = 0; // frame size in pixels; odd sizes are padded to even
    // Frames per second as a fraction (each frame lasts rateDen / rateNum s);
    // FrameRateFromDouble() finds it for a rate given as a number.
    int64_t rateNum = 0, rateDen = 1;
    // 0 (smallest file) to 100 (best picture), at constant quality.
    int quality = 60;
    uint32_t background = 0xFFFFFF; // 0xRRGGBB, fills the padding and shows through alpha
    double keyFrameSeconds = 5;     // a key frame at least this often, for seeking
    // The encoder's real-time speed (5 slower to 9 faster); -1 chooses it from
    // the pixels per second, so that encoding stays well ahead of real time.
    int cpuUsed = -1;
};

// The exact fraction for a frame rate given as a number: a denominator up to
// 1001 that makes it whole (12, 12.5 = 25/2, an SWF 8.8 rate x/256, 29.97 =
// 30000/1001), else thousandths. {0, 1} for a rate that is not positive.
void FrameRateFromDouble(double fps, int64_t* num, int64_t* den);

// The encoder's constant-quality level (0 best to 63 smallest) for quality 0-100.
int CqLevelForQuality(int quality);

class WebmExporter {
public:
    explicit WebmExporter(const std::string& path);
    ~WebmExporter();
    WebmExporter(const WebmExporter&) = delete;
    WebmExporter& operator=(const WebmExporter&) = delete;

    bool begin(const WebmSettings& settings);
    // Each frame has the size given to begin(); see RgbFrame for the layout.
    bool addFrame(const RgbFrame& frame);
    // Convenience for a tightly or loosely packed buffer of 32-bit pixels.
    bool addFrame(const uint32_t* pixels, std::ptrdiff_t strideInPixels);
    // Encodes what is pending, completes the container and puts the file in
    // place. False (with error()) when anything failed; the old file stays.
    bool finish();
    // Gives up: removes what was written; the old file stays.
    void cancel();

    // A one-line reason for the first failure after the file's name and
    // ": " (a write error is the system's text, as "No space left on device").
    const std::string& error() const { return m_error; }
    int64_t framesWritten() const { return m_frames; }

private:
    struct State;
    bool fail(const std::string& why);
    bool failWrite();
    bool drain(bool* gotFrame);

    std::string m_path;
    std::string m_error;
    std::unique_ptr<State> m_state;
    int64_t m_frames = 0;
};

} // namespace webm
