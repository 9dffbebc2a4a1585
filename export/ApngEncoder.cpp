// Animated PNG: a PNG whose IDAT is the first frame, with acTL (frame count
// and plays), and per later frame an fcTL (rectangle, delay, dispose and
// blend operations) and fdAT chunks. A later frame stores only the rectangle
// that changed; inside it, unchanged pixels are transparent and the frame is
// blended over the one before, so they compress to almost nothing. Programs
// without APNG show the first frame.

#include "export/ChangedRect.h"
#include "export/Encoders.h"
#include "export/ExportSink.h"

#include <QImage>

#include <zlib.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

namespace movie_export {
namespace {

constexpr uint8_t kDisposeNone = 0;
constexpr uint8_t kBlendSource = 0, kBlendOver = 1;
constexpr size_t kChunkData = 1 << 16; // bytes of compressed data per IDAT/fdAT

void put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

class ApngEncoder final : public FrameEncoder {
public:
    explicit ApngEncoder(ExportSink& sink) : m_sink(sink) {}
    ~ApngEncoder() override {
        if (m_zlibOpen) deflateEnd(&m_zlib);
    }

    bool begin(const EncoderSettings& settings) override {
        m_settings = settings;
        static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        if (!m_sink.write(signature, sizeof signature)) return writeFailed();
        uint8_t ihdr[13];
        put32(ihdr, uint32_t(settings.width));
        put32(ihdr + 4, uint32_t(settings.height));
        ihdr[8] = 8;  // bits per channel
        ihdr[9] = 6;  // RGBA
        ihdr[10] = 0; // deflate
        ihdr[11] = 0; // filter method 0 (each row says its filter)
        ihdr[12] = 0; // not interlaced
        if (!chunk("IHDR", ihdr, sizeof ihdr)) return false;
        m_actlOffset = m_sink.position();
        put32(m_actl.data(), uint32_t(settings.frameCount)); // patched at the end
        put32(m_actl.data() + 4, settings.loop ? 0 : 1);     // num_plays, 0: forever
        if (!chunk("acTL", m_actl.data(), m_actl.size())) return false;
        m_previous = QImage(settings.width, settings.height, QImage::Format_ARGB32_Premultiplied);
        if (m_previous.isNull()) throw std::bad_alloc();
        const size_t rowBytes = size_t(settings.width) * 4 + 1;
        m_raw.resize(rowBytes);
        m_out.resize(kChunkData + 4);
        return true;
    }

    bool addFrame(const QImage& image, int frame) override {
        const bool first = m_frames == 0;
        QRect rect = first ? image.rect() : ChangedRect(m_previous, image);
        if (rect.isEmpty()) {
            // The frame before lasts longer, as far as its delay can hold;
            // then a frame that changes nothing carries the time on.
            uint16_t num = 0, den = 0;
            if (delayOf(m_runStart, frame + 1, &num, &den)) return true;
            rect = QRect(0, 0, 1, 1);
        }
        if (!first && !closeRun(frame)) return false;
        m_runStart = frame;
        m_fctlOffset = m_sink.position();
        put32(m_fctl.data(), m_sequence++);
        put32(m_fctl.data() + 4, uint32_t(rect.width()));
        put32(m_fctl.data() + 8, uint32_t(rect.height()));
        put32(m_fctl.data() + 12, uint32_t(rect.x()));
        put32(m_fctl.data() + 16, uint32_t(rect.y()));
        setDelay(frame, frame + 1);
        m_fctl[24] = kDisposeNone;
        m_fctl[25] = first ? kBlendSource : kBlendOver;
        if (!chunk("fcTL", m_fctl.data(), m_fctl.size())) return false;
        if (!writeImage(image, rect, first)) return false;
        CopyRect(image, rect, m_previous);
        ++m_frames;
        return true;
    }

    bool finish() override {
        if (m_frames == 0) return fail("the movie has no frames");
        if (!closeRun(m_settings.frameCount)) return false;
        put32(m_actl.data(), m_frames);
        if (!patchChunk(m_actlOffset, "acTL", m_actl.data(), m_actl.size())) return false;
        return chunk("IEND", nullptr, 0);
    }

private:
    bool writeFailed() { return fail("the file could not be written"); }

    bool chunk(const char* type, const uint8_t* data, size_t size) {
        uint8_t head[8];
        put32(head, uint32_t(size));
        std::memcpy(head + 4, type, 4);
        uLong crc = crc32(0, head + 4, 4);
        if (size > 0) crc = crc32(crc, data, uInt(size));
        uint8_t tail[4];
        put32(tail, uint32_t(crc));
        if (!m_sink.write(head, 8) || (size > 0 && !m_sink.write(data, size)) ||
            !m_sink.write(tail, 4))
            return writeFailed();
        return true;
    }

    bool patchChunk(uint64_t offset, const char* type, const uint8_t* data, size_t size) {
        std::vector<uint8_t> bytes(size + 4);
        std::memcpy(bytes.data(), data, size);
        uint8_t typeBytes[4];
        std::memcpy(typeBytes, type, 4);
        const uLong crc = crc32(crc32(0, typeBytes, 4), data, uInt(size));
        put32(bytes.data() + size, uint32_t(crc));
        return m_sink.patch(offset + 8, bytes.data(), bytes.size()) || writeFailed();
    }

    // The delay of frames [from, to): exact as a fraction of the frame rate
    // when the rate is a multiple of 1/256 (as a movie's is) and the fraction
    // fits; else in milliseconds or hundredths rounded so that the total stays
    // exact. false when even hundredths do not fit.
    bool delayOf(int from, int to, uint16_t* num, uint16_t* den) const {
        const double rate256 = m_settings.fps * 256;
        if (std::abs(rate256 - std::round(rate256)) < 1e-6 && rate256 >= 1) {
            const uint64_t n = uint64_t(to - from) * 256, d = uint64_t(std::llround(rate256));
            const uint64_t g = std::gcd(n, d);
            if (n / g <= 0xFFFF && d / g <= 0xFFFF) {
                *num = uint16_t(n / g);
                *den = uint16_t(d / g);
                return true;
            }
        }
        for (const int unit : {1000, 100}) {
            const long long n = std::llround(to * double(unit) / m_settings.fps) -
                                std::llround(from * double(unit) / m_settings.fps);
            if (n <= 0xFFFF) {
                *num = uint16_t(n);
                *den = uint16_t(unit);
                return true;
            }
        }
        return false;
    }

    void setDelay(int from, int to) {
        uint16_t num = 0xFFFF, den = 100; // the longest; a frame that changes nothing follows
        delayOf(from, to, &num, &den);
        put16(m_fctl.data() + 20, num);
        put16(m_fctl.data() + 22, den);
    }

    // The frame written last lasts until `end`.
    bool closeRun(int end) {
        if (end == m_runStart + 1) return true;
        setDelay(m_runStart, end);
        return patchChunk(m_fctlOffset, "fcTL", m_fctl.data(), m_fctl.size());
    }

    // One row of the rectangle as RGBA; inside a later frame, pixels that did
    // not change are transparent.
    void rawRow(const QImage& image, const QRect& rect, int y, bool first) {
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y)) + rect.x();
        const auto* old = reinterpret_cast<const QRgb*>(m_previous.constScanLine(y)) + rect.x();
        uint8_t* out = m_raw.data() + 1;
        for (int x = 0; x < rect.width(); ++x, out += 4) {
            if (!first && src[x] == old[x]) {
                std::memset(out, 0, 4);
                continue;
            }
            out[0] = uint8_t(qRed(src[x]));
            out[1] = uint8_t(qGreen(src[x]));
            out[2] = uint8_t(qBlue(src[x]));
            out[3] = 0xFF;
        }
    }

    bool writeImage(const QImage& image, const QRect& rect, bool first) {
        if (m_zlibOpen) deflateEnd(&m_zlib);
        m_zlib = z_stream{};
        if (deflateInit(&m_zlib, 9) != Z_OK) throw std::bad_alloc();
        m_zlibOpen = true;
        const size_t bytes = size_t(rect.width()) * 4;
        // Every row unfiltered: the frames are flat colours and runs of
        // transparent pixels, which deflate finds as repeats; the predicting
        // filters turn edges into noise and make them larger.
        m_raw[0] = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            rawRow(image, rect, y, first);
            if (!deflateInto(m_raw.data(), bytes + 1, Z_NO_FLUSH, first)) return false;
        }
        return deflateInto(nullptr, 0, Z_FINISH, first);
    }

    // Compresses `size` bytes and writes every full chunk of output; with
    // Z_FINISH also the rest.
    bool deflateInto(const uint8_t* data, size_t size, int flush, bool first) {
        m_zlib.next_in = const_cast<Bytef*>(data);
        m_zlib.avail_in = uInt(size);
        const size_t head = first ? 0 : 4; // fdAT starts with its sequence number
        for (;;) {
            m_zlib.next_out = m_out.data() + head + m_outUsed;
            m_zlib.avail_out = uInt(kChunkData - m_outUsed);
            const int status = deflate(&m_zlib, flush);
            if (status == Z_STREAM_ERROR) return fail("zlib refused the frame");
            m_outUsed = kChunkData - m_zlib.avail_out;
            const bool done = flush == Z_FINISH && status == Z_STREAM_END;
            if (m_outUsed == kChunkData || (done && m_outUsed > 0)) {
                if (!first) put32(m_out.data(), m_sequence++);
                if (!chunk(first ? "IDAT" : "fdAT", m_out.data(), m_outUsed + head)) return false;
                m_outUsed = 0;
            }
            if (done) return true;
            if (flush != Z_FINISH && m_zlib.avail_in == 0 && m_zlib.avail_out > 0) return true;
        }
    }

    ExportSink& m_sink;
    EncoderSettings m_settings;
    QImage m_previous; // the picture shown after the frames written so far
    std::vector<uint8_t> m_raw, m_out;
    size_t m_outUsed = 0;
    z_stream m_zlib{};
    bool m_zlibOpen = false;
    std::array<uint8_t, 8> m_actl{};
    std::array<uint8_t, 26> m_fctl{};
    uint64_t m_actlOffset = 0, m_fctlOffset = 0;
    uint32_t m_sequence = 0; // fcTL and fdAT share one sequence
    uint32_t m_frames = 0;   // frames written
    int m_runStart = 0;      // the movie frame the last written frame starts at
};

} // namespace

std::unique_ptr<FrameEncoder> MakeApngEncoder(ExportSink& sink) {
    return std::make_unique<ApngEncoder>(sink);
}

} // namespace movie_export
