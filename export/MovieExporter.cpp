#include "export/MovieExporter.h"

#include "export/ExportSink.h"
#include "export/FrameEncoder.h"
#include "player/MoviePlayer.h"

#include <QImage>
#include <QPainter>

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

namespace movie_export {

FrameSize ExportFrameSize(int stageWidth, int stageHeight, double scale) {
    const auto side = [&](int stage) {
        return std::max(1, static_cast<int>(std::ceil(stage * scale - 1e-9)));
    };
    return {side(stageWidth), side(stageHeight)};
}

namespace {

// Draws and encodes every frame the encoder takes; `sink` is null for an
// encoder that places its file itself.
ExportResult encodeFrames(player::MoviePlayer& movie, const ExportOptions& options,
                          FrameEncoder& encoder, FileSink* sink) {
    ExportResult result;
    const player::MovieInfo& info = movie.info();
    const FrameSize size = ExportFrameSize(info.width, info.height, options.scale);
    EncoderSettings settings;
    settings.width = size.width;
    settings.height = size.height;
    settings.fps = info.frameRate;
    settings.frameCount = info.frameCount;
    settings.loop = options.loop;
    settings.quality = options.quality;
    settings.background = info.background;
    if (!encoder.begin(settings)) {
        result.error = encoder.error();
        return result;
    }
    QImage image(size.width, size.height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) throw std::bad_alloc();
    for (int k = 0; k < info.frameCount; ++k) {
        if (options.cancelRequested && options.cancelRequested()) {
            result.cancelled = true;
            return result;
        }
        if (encoder.takesFrame(k)) {
            bool whole = false;
            {
                QPainter painter(&image);
                whole = movie.renderFrame(k, painter, options.scale, options.cancelRequested);
            }
            if (!whole && options.cancelRequested && options.cancelRequested()) {
                result.cancelled = true;
                return result;
            }
            // A frame the renderer gave up on is not written in part.
            if (!whole) {
                result.error = "frame " + std::to_string(k + 1) +
                               " costs more to draw than the renderer allows";
                return result;
            }
            if (!encoder.addFrame(image, k)) {
                result.error = encoder.error();
                return result;
            }
            ++result.frames;
        }
        if (options.progress) options.progress(k, info.frameCount);
    }
    if (!encoder.finish()) {
        result.error = encoder.error();
        return result;
    }
    if (sink) {
        result.bytes = sink->position();
        if (!sink->commit()) {
            result.error = std::strerror(sink->error() != 0 ? sink->error() : EIO);
            return result;
        }
    } else {
        struct stat st {};
        if (::stat(options.outputPath.c_str(), &st) == 0) result.bytes = uint64_t(st.st_size);
    }
    result.written = true;
    return result;
}

} // namespace

ExportResult ExportMovie(player::MoviePlayer& movie, const ExportOptions& options) {
    ExportResult result;
    const FormatInfo& format = Format(options.format);
    if (format.kind != FormatKind::Frames || (!format.encoder && !format.fileEncoder)) {
        result.error = std::string("the ") + format.name + " format is not written from frames";
        return result;
    }
    const player::MovieInfo& info = movie.info();
    if (!(info.frameRate > 0)) {
        result.error = "the movie states no frame rate";
        return result;
    }
    if (!(options.scale >= kMinScale && options.scale <= kMaxScale)) {
        result.error = "the scale must be from 1 to 4";
        return result;
    }
    if (format.fileEncoder) {
        try {
            // Destroyed unfinished, the encoder leaves nothing behind.
            const std::unique_ptr<FrameEncoder> encoder = format.fileEncoder(options.outputPath);
            result = encodeFrames(movie, options, *encoder, nullptr);
        } catch (const std::bad_alloc&) {
            result = ExportResult();
            result.outOfMemory = true;
            result.error = "out of memory";
        }
        return result;
    }
    FileSink sink(options.outputPath);
    if (!sink.isOpen()) {
        result.error = std::strerror(sink.error() != 0 ? sink.error() : EIO);
        return result;
    }
    try {
        const std::unique_ptr<FrameEncoder> encoder = format.encoder(sink);
        result = encodeFrames(movie, options, *encoder, &sink);
    } catch (const std::bad_alloc&) {
        result = ExportResult();
        result.outOfMemory = true;
        result.error = "out of memory";
    }
    // A failed write is reported by what the system said about it.
    if (!result.written && !result.cancelled && !result.outOfMemory && sink.error() != 0)
        result.error = std::strerror(sink.error());
    // Anything but a committed file leaves nothing behind.
    if (!result.written) sink.abandon();
    return result;
}

} // namespace movie_export
