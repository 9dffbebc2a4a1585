// Animated WebP written as it goes: each frame's changed rectangle is encoded
// with libwebp's still-picture encoder and put into the animation container
// (RIFF "WEBP", VP8X, ANIM, one ANMF per frame) straight into the sink, so
// that memory does not grow with the movie's length. The RIFF size, the
// alpha flag and a lengthened frame's duration are patched in place.
//
// A later frame stores only the rectangle that changed (its corner moved to
// even pixels, as ANMF offsets are counted in twos). Lossless, the pixels in
// it that did not change are transparent and the frame is blended over the
// one before: flat runs that compress to almost nothing. Lossy, whichever of
// that and the plain rectangle comes out smaller is kept.
//
// Timing: frame k starts at round(k * 1000 / fps) milliseconds, so the total
// duration is exact; a frame that shows no change lengthens the one before.

#include "export/ChangedRect.h"
#include "export/Encoders.h"
#include "export/ExportSink.h"

#include <QImage>

#include <webp/encode.h>

#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace movie_export {
namespace {

constexpr uint8_t kFlagAlpha = 0x10, kFlagAnimation = 0x02; // VP8X
constexpr uint8_t kDoNotBlend = 0x02;                       // ANMF: replace, do not blend
constexpr uint32_t kMaxDuration = 0xFFFFFF;                 // ANMF duration, 24 bits of ms
constexpr uint64_t kMaxRiff = 0xFFFFFFFEu;                  // the RIFF size is 32 bits

void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put24(uint8_t* p, uint32_t v) {
    put16(p, v);
    p[2] = uint8_t(v >> 16);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}
uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A still picture encoded by libwebp, as the chunks an ANMF holds.
struct Still {
    std::vector<uint8_t> chunks; // ALPH and VP8, or VP8L, each padded to even
    bool alpha = false;
};

class WebpEncoder final : public FrameEncoder {
public:
    explicit WebpEncoder(ExportSink& sink) : m_sink(sink) {}

    bool begin(const EncoderSettings& settings) override {
        m_settings = settings;
        if (settings.width > WEBP_MAX_DIMENSION || settings.height > WEBP_MAX_DIMENSION)
            return fail("the frames are larger than WebP can hold");
        if (!WebPConfigInit(&m_config)) return fail("libwebp does not match its headers");
        // Lossless by default: the drawn frames are flat colours and sharp edges.
        m_config.lossless = settings.quality < 0;
        m_config.quality = settings.quality < 0 ? 75 : float(std::min(settings.quality, 100));
        m_config.method = 4;
        if (!WebPValidateConfig(&m_config)) return fail("libwebp refused the settings");

        std::array<uint8_t, 12 + 18 + 14> head{};
        uint8_t* p = head.data();
        std::memcpy(p, "RIFF", 4); // its size is patched at the end
        std::memcpy(p + 8, "WEBPVP8X", 8);
        put32(p + 16, 10);
        p[20] = kFlagAnimation; // the alpha flag is patched in when a frame has alpha
        put24(p + 24, uint32_t(settings.width - 1));
        put24(p + 27, uint32_t(settings.height - 1));
        std::memcpy(p + 30, "ANIM", 4);
        put32(p + 34, 6);
        // The background in the byte order blue, green, red, alpha.
        const QColor bg = settings.background;
        p[38] = uint8_t(bg.blue());
        p[39] = uint8_t(bg.green());
        p[40] = uint8_t(bg.red());
        p[41] = 0xFF;
        put16(p + 42, settings.loop ? 0 : 1); // 0: forever
        m_flagsOffset = m_sink.position() + 20;
        m_start = m_sink.position();
        if (!m_sink.write(head.data(), head.size())) return writeFailed();

        m_previous = QImage(settings.width, settings.height, QImage::Format_ARGB32_Premultiplied);
        if (m_previous.isNull()) throw std::bad_alloc();
        return true;
    }

    bool addFrame(const QImage& image, int frame) override {
        const uint32_t duration = uint32_t(startOf(frame + 1) - startOf(frame));
        const bool first = m_frames == 0;
        QRect rect = first ? image.rect() : ChangedRect(m_previous, image);
        if (rect.isEmpty()) {
            if (m_lastDuration + duration <= kMaxDuration) return lengthen(duration);
            // Past what a duration holds, a transparent pixel carries the rest.
            rect = QRect(0, 0, 1, 1);
        }
        // Offsets are stored halved: the corner moves up and left to even pixels.
        rect.setLeft(rect.left() & ~1);
        rect.setTop(rect.top() & ~1);

        Still blended, plain;
        if (!first) encode(image, rect, true, &blended);
        if (first || !m_config.lossless) encode(image, rect, false, &plain);
        const bool blend =
            !first && (plain.chunks.empty() || blended.chunks.size() <= plain.chunks.size());
        const Still& still = blend ? blended : plain;
        if (still.chunks.empty())
            return fail("libwebp could not encode frame " + std::to_string(frame + 1) + ": " +
                        m_encodeError);

        std::array<uint8_t, 24> anmf{};
        std::memcpy(anmf.data(), "ANMF", 4);
        put32(anmf.data() + 4, uint32_t(16 + still.chunks.size()));
        put24(anmf.data() + 8, uint32_t(rect.x() / 2));
        put24(anmf.data() + 11, uint32_t(rect.y() / 2));
        put24(anmf.data() + 14, uint32_t(rect.width() - 1));
        put24(anmf.data() + 17, uint32_t(rect.height() - 1));
        put24(anmf.data() + 20, duration);
        anmf[23] = blend ? 0 : kDoNotBlend; // never disposed: the next frame draws over it
        if (m_sink.position() - m_start + anmf.size() + still.chunks.size() > kMaxRiff + 8)
            return fail("the animation grows past the 4 GiB a WebP file can hold");
        m_durationOffset = m_sink.position() + 20;
        if (!m_sink.write(anmf.data(), anmf.size()) ||
            !m_sink.write(still.chunks.data(), still.chunks.size()))
            return writeFailed();
        m_lastDuration = duration;
        m_alpha |= still.alpha;
        CopyRect(image, rect, m_previous);
        ++m_frames;
        return true;
    }

    bool finish() override {
        if (m_frames == 0) return fail("the movie has no frames");
        uint8_t size[4];
        put32(size, uint32_t(m_sink.position() - m_start - 8));
        if (!m_sink.patch(m_start + 4, size, 4)) return writeFailed();
        const uint8_t flags = kFlagAnimation | (m_alpha ? kFlagAlpha : 0);
        return m_sink.patch(m_flagsOffset, &flags, 1) || writeFailed();
    }

private:
    bool writeFailed() { return fail("the file could not be written"); }

    long long startOf(int frame) const { return std::llround(frame * 1000.0 / m_settings.fps); }

    bool lengthen(uint32_t duration) {
        m_lastDuration += duration;
        uint8_t bytes[3];
        put24(bytes, m_lastDuration);
        return m_sink.patch(m_durationOffset, bytes, 3) || writeFailed();
    }

    // Encodes `rect` of `image`; with `holes`, the pixels that did not change
    // are transparent. Leaves `out` empty (and m_encodeError set) on failure.
    void encode(const QImage& image, const QRect& rect, bool holes, Still* out) {
        const int w = rect.width(), h = rect.height();
        m_pixels.resize(size_t(w) * size_t(h));
        bool anyHole = false;
        for (int y = 0; y < h; ++y) {
            const auto* src =
                reinterpret_cast<const uint32_t*>(image.constScanLine(rect.y() + y)) + rect.x();
            const auto* old =
                reinterpret_cast<const uint32_t*>(m_previous.constScanLine(rect.y() + y)) +
                rect.x();
            uint32_t* dst = m_pixels.data() + size_t(y) * size_t(w);
            if (!holes) {
                std::memcpy(dst, src, size_t(w) * 4);
                continue;
            }
            for (int x = 0; x < w; ++x) {
                const bool same = src[x] == old[x];
                dst[x] = same ? 0 : src[x];
                anyHole |= same;
            }
        }
        WebPPicture picture;
        if (!WebPPictureInit(&picture)) throw std::bad_alloc();
        // The frames are opaque, so premultiplied ARGB is the plain ARGB the
        // encoder takes; the buffer stays ours.
        picture.use_argb = 1;
        picture.width = w;
        picture.height = h;
        picture.argb = m_pixels.data();
        picture.argb_stride = w;
        WebPMemoryWriter writer;
        WebPMemoryWriterInit(&writer);
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = &writer;
        const int ok = WebPEncode(&m_config, &picture);
        const WebPEncodingError error = picture.error_code;
        WebPPictureFree(&picture);
        struct Release {
            WebPMemoryWriter* writer;
            ~Release() { WebPMemoryWriterClear(writer); }
        } release{&writer};
        if (!ok) {
            if (error == VP8_ENC_ERROR_OUT_OF_MEMORY ||
                error == VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY)
                throw std::bad_alloc();
            m_encodeError = "error " + std::to_string(int(error));
            return;
        }
        takeChunks(writer.mem, writer.size, out);
        out->alpha = out->alpha && anyHole;
    }

    // The image chunks of a still WebP file (after "RIFF", its size and
    // "WEBP"); a VP8X header and metadata are left out.
    void takeChunks(const uint8_t* file, size_t size, Still* out) {
        out->chunks.clear();
        out->alpha = false;
        for (size_t at = 12; at + 8 <= size;) {
            const uint32_t length = get32(file + at + 4);
            const size_t total = 8 + size_t(length) + (length & 1);
            if (total > size - at) break;
            const bool alph = std::memcmp(file + at, "ALPH", 4) == 0;
            const bool lossless = std::memcmp(file + at, "VP8L", 4) == 0;
            if (alph || lossless || std::memcmp(file + at, "VP8 ", 4) == 0)
                out->chunks.insert(out->chunks.end(), file + at, file + at + total);
            // A lossless stream says in its header whether it uses alpha.
            if (alph || (lossless && length >= 5 && (file[at + 8 + 4] & 0x10) != 0))
                out->alpha = true;
            at += total;
        }
        if (out->chunks.empty()) m_encodeError = "no picture in its output";
    }

    ExportSink& m_sink;
    EncoderSettings m_settings;
    WebPConfig m_config{};
    QImage m_previous;              // the picture shown after the frames written so far
    std::vector<uint32_t> m_pixels; // the rectangle handed to the encoder
    std::string m_encodeError;
    uint64_t m_start = 0, m_flagsOffset = 0, m_durationOffset = 0;
    uint32_t m_lastDuration = 0; // ms of the frame written last
    int m_frames = 0;            // frames written
    bool m_alpha = false;        // some frame has alpha
};

} // namespace

std::unique_ptr<FrameEncoder> MakeWebpEncoder(ExportSink& sink) {
    return std::make_unique<WebpEncoder>(sink);
}

} // namespace movie_export
