#pragma once
// Exports a loaded movie into a frame format: draws every frame with the
// built-in renderer, one at a time, and encodes it. The file replaces the old
// one only when the export succeeded; a failure or a cancel leaves the old
// file as it was and nothing beside it.

#include "export/ExportFormat.h"

#include <cstdint>
#include <functional>
#include <string>

namespace player {
class MoviePlayer;
}

namespace movie_export {

struct ExportOptions {
    std::string outputPath;
    ExportFormat format = ExportFormat::Gif;
    double scale = 1; // the stage's size times this, 1 to 4
    int quality = -1; // 0..100; -1: the format's default
    bool loop = true; // the project's repeat flag
    // Called after every frame with the frame's number and the frame count.
    std::function<void(int frame, int frameCount)> progress;
    // Asked before every frame: true stops the export; nothing is written.
    std::function<bool()> cancelRequested;
};

struct ExportResult {
    bool written = false;
    bool cancelled = false;
    bool outOfMemory = false;
    std::string error;  // why nothing was written (empty when written or cancelled)
    int frames = 0;     // frames drawn and encoded
    uint64_t bytes = 0; // size of the written file
};

inline constexpr double kMinScale = 1, kMaxScale = 4;

// The frame size of an export at `scale`: the stage's size times it, rounded up.
struct FrameSize {
    int width = 0, height = 0;
};
FrameSize ExportFrameSize(int stageWidth, int stageHeight, double scale);

ExportResult ExportMovie(player::MoviePlayer& movie, const ExportOptions& options);

} // namespace movie_export
