#pragma once
// The frame encoders of the formats table, each writing into a sink.

#include "export/FrameEncoder.h"

#include <memory>
#include <string>

namespace movie_export {

class ExportSink;

// GIF89a through giflib: a global palette while the frames' colours fit,
// changed rectangles with unchanged pixels transparent.
std::unique_ptr<FrameEncoder> MakeGifEncoder(ExportSink& sink);
// Animated WebP through libwebp's animation encoder; lossless unless a
// quality is given.
std::unique_ptr<FrameEncoder> MakeWebpEncoder(ExportSink& sink);
// Animated PNG: our own acTL/fcTL/fdAT chunks over zlib.
std::unique_ptr<FrameEncoder> MakeApngEncoder(ExportSink& sink);
// WebM video (VP9 through libvpx, our own container) at constant quality;
// writes the file at `path` itself.
std::unique_ptr<FrameEncoder> MakeWebmEncoder(const std::string& path);

} // namespace movie_export
