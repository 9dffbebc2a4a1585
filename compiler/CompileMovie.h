#pragma once
// Compiles the project (ObjektList and the stage settings, or a snapshot of
// them) into one SWF movie, frame by frame: every element appears at its
// start time, changes in a straight line to its end state, and is removed
// after its end when asked to. Compilations on different threads are
// independent of each other as long as each reads its own snapshot.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CompileObserver;
struct ProjectSnapshot;
namespace platform {
class ReplacingFile;
}

// Time of the frame being built and of the one before it, in milliseconds,
// for the compilation running on the calling thread.
extern thread_local int32_t FrameTime;
extern thread_local int32_t PrevFrameTime;

struct CompileOptions {
    std::string outputPath;
    // Build the movie in memory (CompileResult::movie) instead of writing
    // outputPath, which is then not used.
    bool inMemory = false;
    // With inMemory: build every tag but drop each frame's unwritten, when
    // only the observer wants the compiler's decisions (CompileResult::movie
    // then holds no tags and bytes counts none).
    bool discardMovie = false;
    // Compile this copy of the project instead of ObjektList and Stage: the
    // live project is neither read nor changed (no times are exchanged), so
    // the compilation may run on another thread while the user edits. The
    // caller keeps the snapshot (TakeProjectSnapshot) alive until
    // CompileMovie returns.
    const ProjectSnapshot* project = nullptr;
    // Called after every frame with the frame's number and the last frame's.
    std::function<void(int32_t frame, int32_t lastFrame)> progress;
    // Asked after every frame; true stops the compilation: no movie is written
    // and a file already at outputPath stays as it was.
    std::function<bool()> cancelRequested;
    // Puts the complete movie file in outputPath's place instead of
    // committing it alone, for instance together with its page
    // (ReplacingFile::CommitTogether); returns whether it did. When it did
    // not, the compilation fails and the old file stays.
    std::function<bool(platform::ReplacingFile& movie)> replaceMovie;
    // Called at the end, for instance so that the window shows the selected
    // element again.
    std::function<void()> afterCompile;
    // Told every decision of every frame as the movie is built (may be null).
    CompileObserver* observer = nullptr;
};

// The most characters a text element can have; a longer text is left out with
// a warning. A moving text is defined again in every frame, at about four
// bytes a character: at this length a text that moves through the longest
// movie (65535 frames) still fits the 4 GiB a movie file can hold.
inline constexpr size_t kMaxTextCharacters = 16000;

struct CompileResult {
    bool written = false;     // the movie file (or buffer) was written completely
    bool cancelled = false;   // cancelRequested stopped it; nothing was written
    bool tooLarge = false;    // the movie would pass the 4 GiB its header can state
    bool outOfMemory = false; // memory ran out while building or writing it
    // Why the movie was not written (empty when it was, or was cancelled).
    std::string error;
    int32_t frames = 0;
    size_t tags = 0;            // tags handed to the movie (without the End tag)
    uint64_t bytes = 0;         // size of the written file
    std::vector<uint8_t> movie; // the movie's bytes, when compiled in memory
    size_t glyphs = 0;          // glyph outlines built
    size_t pictures = 0;        // pictures exported
    // Seconds spent building glyph outlines, exporting pictures, building the
    // other tags, and serialising and writing the file.
    double glyphSeconds = 0, pictureSeconds = 0, tagSeconds = 0, writeSeconds = 0;
    // Elements or changes left out because the movie could not hold them.
    std::vector<std::string> warnings;
};

CompileResult CompileMovie(const CompileOptions& options);
