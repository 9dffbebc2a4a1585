#include "export/webm/WebmExporter.h"

#include "export/webm/WebmMuxer.h"
#include "platform/ReplacingFile.h"

#include <vpx/vp8cx.h>
#include <vpx/vpx_encoder.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace webm {

namespace {

// VP9 takes sizes up to 65536; a bound far above any stage times the scale
// keeps the buffers' arithmetic small.
constexpr int MaxSide = 16384;

std::string systemError(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

} // namespace

void FrameRateFromDouble(double fps, int64_t* num, int64_t* den) {
    *num = 0;
    *den = 1;
    if (!(fps > 0) || !std::isfinite(fps) || fps > 1e6) return;
    for (int64_t d = 1; d <= 1001; ++d) {
        const double n = fps * static_cast<double>(d);
        if (std::fabs(n - std::round(n)) < 1e-6 * static_cast<double>(d)) {
            *num = static_cast<int64_t>(std::llround(n));
            *den = d;
            return;
        }
    }
    *num = std::max<int64_t>(1, std::llround(fps * 1000));
    *den = 1000;
}

int CqLevelForQuality(int quality) {
    quality = std::clamp(quality, 0, 100);
    return static_cast<int>(std::lround((100 - quality) * 63 / 100.0));
}

struct WebmExporter::State {
    WebmSettings settings;
    int codedWidth = 0, codedHeight = 0;
    int64_t keyInterval = 1;
    vpx_codec_ctx_t codec{};
    bool codecOpen = false;
    vpx_image_t* image = nullptr;
    std::unique_ptr<platform::ReplacingFile> file;
    std::unique_ptr<WebmMuxer> muxer;
    bool failed = false;
    bool done = false;

    ~State() {
        if (codecOpen) vpx_codec_destroy(&codec);
        if (image) vpx_img_free(image);
        // The file, when not committed, removes itself.
    }
};

WebmExporter::WebmExporter(const std::string& path) : m_path(path) {}

WebmExporter::~WebmExporter() = default;

bool WebmExporter::fail(const std::string& why) {
    if (m_error.empty()) m_error = m_path + ": " + why;
    if (m_state) {
        m_state->failed = true;
        if (m_state->file) m_state->file->abandon();
    }
    return false;
}

bool WebmExporter::failWrite() {
    int error = m_state && m_state->file ? m_state->file->error() : 0;
    if (error == 0 && m_state && m_state->muxer) error = m_state->muxer->seekError();
    return fail(systemError(error));
}

void WebmExporter::cancel() {
    if (m_state && m_state->file) m_state->file->abandon();
    m_state.reset();
}

bool WebmExporter::begin(const WebmSettings& settings) {
    if (m_state) return fail("begin() called twice");
    m_state = std::make_unique<State>();
    State& s = *m_state;
    s.settings = settings;
    if (settings.width <= 0 || settings.height <= 0 || settings.width > MaxSide ||
        settings.height > MaxSide)
        return fail("a video frame cannot be " + std::to_string(settings.width) + " x " +
                    std::to_string(settings.height) + " pixels (1 to " + std::to_string(MaxSide) +
                    " each way)");
    if (settings.rateNum <= 0 || settings.rateDen <= 0 || settings.rateNum > INT32_MAX ||
        settings.rateDen > INT32_MAX)
        return fail("the frame rate must be above 0");
    if (settings.quality < 0 || settings.quality > 100)
        return fail("the quality must lie between 0 and 100");
    s.codedWidth = settings.width + (settings.width & 1);
    s.codedHeight = settings.height + (settings.height & 1);
    const double seconds = settings.keyFrameSeconds > 0 ? settings.keyFrameSeconds : 5;
    s.keyInterval =
        std::max<int64_t>(1, std::llround(seconds * static_cast<double>(settings.rateNum) /
                                          static_cast<double>(settings.rateDen)));

    s.file = std::make_unique<platform::ReplacingFile>(m_path);
    if (!s.file->file()) return fail(systemError(s.file->error()));

    vpx_codec_iface_t* const iface = vpx_codec_vp9_cx();
    vpx_codec_enc_cfg_t cfg;
    if (vpx_codec_enc_config_default(iface, &cfg, 0) != VPX_CODEC_OK)
        return fail("the video encoder has no default settings");
    cfg.g_w = static_cast<unsigned>(s.codedWidth);
    cfg.g_h = static_cast<unsigned>(s.codedHeight);
    // The time base is one frame: frame k has the timestamp k.
    cfg.g_timebase.num = static_cast<int>(settings.rateDen);
    cfg.g_timebase.den = static_cast<int>(settings.rateNum);
    cfg.g_threads = 1;
    cfg.g_pass = VPX_RC_ONE_PASS;
    cfg.g_lag_in_frames = 0; // every frame comes out as it goes in
    cfg.rc_end_usage = VPX_Q;
    cfg.rc_min_quantizer = 0;
    cfg.rc_max_quantizer = 63;
    cfg.rc_dropframe_thresh = 0; // every frame is kept
    cfg.kf_mode = VPX_KF_AUTO;
    cfg.kf_min_dist = 0;
    cfg.kf_max_dist = static_cast<unsigned>(std::min<int64_t>(s.keyInterval, 1 << 20));
    if (vpx_codec_enc_init(&s.codec, iface, &cfg, 0) != VPX_CODEC_OK)
        return fail(std::string("the video encoder cannot start: ") + vpx_codec_error(&s.codec));
    s.codecOpen = true;
    // The real-time deadline encodes an animation many times faster than the
    // good-quality one; the slower of its speeds make smaller files. On one
    // core a busy movie (200 elements that move and turn, none still) is
    // encoded at some 13 million pixels a second at speed 5 and 26 million at
    // speed 8, so each speed is used up to the pixel rate that stays 4 times
    // ahead of real time: speed 5 to 3 million a second (550 x 400 at 12 fps;
    // files some 5% smaller than speed 6), 6 to 4 million, 8 beyond (files
    // some 20% larger than speed 5). The good-quality deadline makes files as
    // small as speed 5's only at speeds that fall behind 4 times real time.
    // Tuning for screen content suits flat drawings and text.
    int speed = settings.cpuUsed;
    if (speed < 0) {
        const double pixelRate = double(s.codedWidth) * s.codedHeight * double(settings.rateNum) /
                                 double(settings.rateDen);
        speed = pixelRate <= 3e6 ? 5 : pixelRate <= 4e6 ? 6 : 8;
    }
    const bool controlled =
        vpx_codec_control(&s.codec, VP8E_SET_CPUUSED, std::clamp(speed, 5, 9)) == VPX_CODEC_OK &&
        vpx_codec_control(&s.codec, VP8E_SET_CQ_LEVEL, CqLevelForQuality(settings.quality)) ==
            VPX_CODEC_OK &&
        vpx_codec_control(&s.codec, VP9E_SET_COLOR_SPACE, VPX_CS_BT_601) == VPX_CODEC_OK &&
        vpx_codec_control(&s.codec, VP9E_SET_COLOR_RANGE, VPX_CR_STUDIO_RANGE) == VPX_CODEC_OK &&
        vpx_codec_control(&s.codec, VP9E_SET_TILE_COLUMNS, 0) == VPX_CODEC_OK &&
        vpx_codec_control(&s.codec, VP9E_SET_AQ_MODE, 0) == VPX_CODEC_OK &&
        vpx_codec_control(&s.codec, VP9E_SET_TUNE_CONTENT, VP9E_CONTENT_SCREEN) == VPX_CODEC_OK;
    if (!controlled)
        return fail(std::string("the video encoder refused a setting: ") +
                    vpx_codec_error(&s.codec));
    s.image = vpx_img_alloc(nullptr, VPX_IMG_FMT_I420, static_cast<unsigned>(s.codedWidth),
                            static_cast<unsigned>(s.codedHeight), 32);
    if (!s.image) return fail("out of memory for a video frame");
    s.image->range = VPX_CR_STUDIO_RANGE;
    s.image->cs = VPX_CS_BT_601;

    s.muxer = std::make_unique<WebmMuxer>(*s.file);
    TrackSettings track;
    track.width = s.codedWidth;
    track.height = s.codedHeight;
    track.rateNum = settings.rateNum;
    track.rateDen = settings.rateDen;
    if (!s.muxer->begin(track)) return failWrite();
    return true;
}

// Hands every packet the encoder has ready to the container.
bool WebmExporter::drain(bool* gotFrame) {
    State& s = *m_state;
    vpx_codec_iter_t iter = nullptr;
    while (const vpx_codec_cx_pkt_t* packet = vpx_codec_get_cx_data(&s.codec, &iter)) {
        if (packet->kind != VPX_CODEC_CX_FRAME_PKT) continue;
        if (gotFrame) *gotFrame = true;
        const auto& f = packet->data.frame;
        if (!s.muxer->addFrame(f.pts, static_cast<const uint8_t*>(f.buf), f.sz,
                               (f.flags & VPX_FRAME_IS_KEY) != 0))
            return failWrite();
    }
    return true;
}

bool WebmExporter::addFrame(const RgbFrame& frame) {
    if (!m_state || m_state->failed || m_state->done)
        return fail(m_state ? "the export has ended" : "begin() was not called");
    State& s = *m_state;
    if (frame.width != s.settings.width || frame.height != s.settings.height || !frame.pixels)
        return fail("a frame of " + std::to_string(frame.width) + " x " +
                    std::to_string(frame.height) + " pixels in a video of " +
                    std::to_string(s.settings.width) + " x " + std::to_string(s.settings.height));
    YuvPlanes planes;
    planes.y = s.image->planes[VPX_PLANE_Y];
    planes.u = s.image->planes[VPX_PLANE_U];
    planes.v = s.image->planes[VPX_PLANE_V];
    planes.strideY = s.image->stride[VPX_PLANE_Y];
    planes.strideU = s.image->stride[VPX_PLANE_U];
    planes.strideV = s.image->stride[VPX_PLANE_V];
    planes.width = s.codedWidth;
    planes.height = s.codedHeight;
    ConvertToI420(frame, s.settings.background, planes);
    // Key frames at fixed times, so that a seek never decodes far.
    const vpx_enc_frame_flags_t flags = m_frames % s.keyInterval == 0 ? VPX_EFLAG_FORCE_KF : 0;
    if (vpx_codec_encode(&s.codec, s.image, m_frames, 1, flags, VPX_DL_REALTIME) != VPX_CODEC_OK)
        return fail(std::string("the video encoder failed: ") + vpx_codec_error(&s.codec));
    ++m_frames;
    return drain(nullptr);
}

bool WebmExporter::addFrame(const uint32_t* pixels, std::ptrdiff_t strideInPixels) {
    RgbFrame frame;
    frame.pixels = pixels;
    frame.stride = strideInPixels;
    if (m_state) {
        frame.width = m_state->settings.width;
        frame.height = m_state->settings.height;
    }
    return addFrame(frame);
}

bool WebmExporter::finish() {
    if (!m_state || m_state->failed || m_state->done)
        return fail(m_state ? "the export has ended" : "begin() was not called");
    State& s = *m_state;
    if (m_frames == 0) return fail("a video needs at least one frame");
    // Frames the encoder still holds come out when it is given no picture.
    for (;;) {
        if (vpx_codec_encode(&s.codec, nullptr, m_frames, 1, 0, VPX_DL_REALTIME) != VPX_CODEC_OK)
            return fail(std::string("the video encoder failed: ") + vpx_codec_error(&s.codec));
        bool gotFrame = false;
        if (!drain(&gotFrame)) return false;
        if (!gotFrame) break;
    }
    if (!s.muxer->finish(m_frames)) return failWrite();
    s.done = true;
    if (!s.file->commit()) return fail(systemError(s.file->error()));
    return true;
}

} // namespace webm
