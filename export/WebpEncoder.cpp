// Animated WebP through libwebp's animation encoder. Frame k starts at
// round(k * 1000 / fps) milliseconds, so the total duration is exact.

#include "export/Encoders.h"
#include "export/ExportSink.h"

#include <QImage>

#include <webp/encode.h>
#include <webp/mux.h>

#include <cmath>

namespace movie_export {
namespace {

class WebpEncoder final : public FrameEncoder {
public:
    explicit WebpEncoder(ExportSink& sink) : m_sink(sink) {}
    ~WebpEncoder() override {
        if (m_encoder) WebPAnimEncoderDelete(m_encoder);
    }

    bool begin(const EncoderSettings& settings) override {
        m_settings = settings;
        if (settings.width > WEBP_MAX_DIMENSION || settings.height > WEBP_MAX_DIMENSION)
            return fail("the frames are larger than WebP can hold");
        if (settings.frameCount * 1000.0 / settings.fps > 2147483647.0)
            return fail("the movie lasts longer than WebP's timestamps reach");
        WebPAnimEncoderOptions options;
        if (!WebPAnimEncoderOptionsInit(&options))
            return fail("libwebp does not match its headers");
        options.anim_params.loop_count = settings.loop ? 0 : 1;
        const QColor bg = settings.background;
        options.anim_params.bgcolor = 0xFF000000u | uint32_t(bg.red()) << 16 |
                                      uint32_t(bg.green()) << 8 | uint32_t(bg.blue());
        m_encoder = WebPAnimEncoderNew(settings.width, settings.height, &options);
        if (!m_encoder) throw std::bad_alloc();
        if (!WebPConfigInit(&m_config)) return fail("libwebp does not match its headers");
        if (settings.quality < 0) {
            // Lossless; the drawn frames are flat colours and sharp edges.
            m_config.lossless = 1;
            m_config.quality = 75;
            m_config.method = 4;
        } else {
            m_config.lossless = 0;
            m_config.quality = static_cast<float>(std::min(settings.quality, 100));
            m_config.method = 4;
        }
        return true;
    }

    bool addFrame(const QImage& image, int frame) override {
        WebPPicture picture;
        if (!WebPPictureInit(&picture)) return fail("libwebp does not match its headers");
        picture.use_argb = 1;
        picture.width = image.width();
        picture.height = image.height();
        // Opaque premultiplied ARGB32 lies in memory as B, G, R, A.
        if (!WebPPictureImportBGRA(&picture, image.constBits(),
                                   static_cast<int>(image.bytesPerLine())))
            throw std::bad_alloc();
        const int ok = WebPAnimEncoderAdd(m_encoder, &picture, timestamp(frame), &m_config);
        WebPPictureFree(&picture);
        if (!ok) return fail(std::string("WebP: ") + WebPAnimEncoderGetError(m_encoder));
        return true;
    }

    bool finish() override {
        if (!WebPAnimEncoderAdd(m_encoder, nullptr, timestamp(m_settings.frameCount), nullptr))
            return fail(std::string("WebP: ") + WebPAnimEncoderGetError(m_encoder));
        WebPData data;
        WebPDataInit(&data);
        if (!WebPAnimEncoderAssemble(m_encoder, &data))
            return fail(std::string("WebP: ") + WebPAnimEncoderGetError(m_encoder));
        const bool written = m_sink.write(data.bytes, data.size);
        WebPDataClear(&data);
        return written || fail("the file could not be written");
    }

private:
    int timestamp(int frame) const {
        return static_cast<int>(std::llround(frame * 1000.0 / m_settings.fps));
    }

    ExportSink& m_sink;
    EncoderSettings m_settings;
    WebPAnimEncoder* m_encoder = nullptr;
    WebPConfig m_config{};
};

} // namespace

std::unique_ptr<FrameEncoder> MakeWebpEncoder(ExportSink& sink) {
    return std::make_unique<WebpEncoder>(sink);
}

} // namespace movie_export
