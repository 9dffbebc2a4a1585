// The frame encoder of WebM: hands the renderer's frames to the WebM writer,
// which writes and places the file itself.

#include "export/Encoders.h"
#include "export/webm/WebmExporter.h"

#include <QImage>

namespace movie_export {
namespace {

class WebmEncoder final : public FrameEncoder {
public:
    explicit WebmEncoder(const std::string& path) : m_path(path), m_out(path) {}

    bool begin(const EncoderSettings& settings) override {
        webm::WebmSettings webm;
        webm.width = settings.width;
        webm.height = settings.height;
        webm::FrameRateFromDouble(settings.fps, &webm.rateNum, &webm.rateDen);
        if (settings.quality >= 0) webm.quality = settings.quality;
        webm.background = settings.background.rgb() & 0xFFFFFF;
        return m_out.begin(webm) || failed();
    }

    bool addFrame(const QImage& image, int) override {
        return m_out.addFrame(reinterpret_cast<const uint32_t*>(image.constBits()),
                              image.bytesPerLine() / 4) ||
               failed();
    }

    bool finish() override { return m_out.finish() || failed(); }

private:
    // The writer's reason starts with the path, which the caller names itself.
    bool failed() {
        std::string why = m_out.error();
        if (why.rfind(m_path + ": ", 0) == 0) why.erase(0, m_path.size() + 2);
        return fail(why);
    }

    std::string m_path;
    webm::WebmExporter m_out;
};

} // namespace

std::unique_ptr<FrameEncoder> MakeWebmEncoder(const std::string& path) {
    return std::make_unique<WebmEncoder>(path);
}

} // namespace movie_export
