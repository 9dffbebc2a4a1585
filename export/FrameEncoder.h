#pragma once
// The interface of every format that is written frame by frame: the exporter
// draws the frames one at a time with the player's renderer and hands each to
// the encoder, so that memory stays bounded for any length of movie.

#include <QColor>

#include <string>

class QImage;

namespace movie_export {

class ExportSink;

struct EncoderSettings {
    int width = 0, height = 0; // pixels of every frame
    double fps = 12;           // frames per second of the movie, above 0
    int frameCount = 1;        // frames the movie has
    bool loop = true;          // play forever; false: once
    int quality = -1;          // 0..100; -1: the format's default (lossless where it has one)
    QColor background = Qt::white;
};

class FrameEncoder {
public:
    virtual ~FrameEncoder() = default;

    // Starts the file. false with error() set when it cannot.
    virtual bool begin(const EncoderSettings& settings) = 0;
    // Whether frame `frame` (0-based) is used. A frame that is not used is not
    // drawn; its time goes to the frame before it (a format that cannot show
    // frames that short drops some).
    virtual bool takesFrame(int frame) const {
        (void)frame;
        return true;
    }
    // Frame `frame` as the renderer drew it: width x height, opaque,
    // QImage::Format_ARGB32_Premultiplied. Frames come in increasing order.
    virtual bool addFrame(const QImage& image, int frame) = 0;
    // Completes the file (sizes and counts patched). false with error() set.
    virtual bool finish() = 0;

    const std::string& error() const { return m_error; }

protected:
    bool fail(const std::string& why) {
        if (m_error.empty()) m_error = why;
        return false;
    }

private:
    std::string m_error;
};

} // namespace movie_export
