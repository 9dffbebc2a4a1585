#pragma once
// Shared by the player window tests: the application object, a tiny compiled
// movie, and a recorder for the player's message boxes.

#include <QString>

#include <string>
#include <vector>

namespace playertest {

// The tiny movie's stage and timing: 200 x 100 pixels at 60 frames per
// second, ten frames (0 to 150 ms); a red 40 x 40 square moves from the left
// end (frame 0) to the right end (the last frame) at the top.
constexpr int kWidth = 200, kHeight = 100, kFrames = 10;
// A point inside the square on the first frame, and one on the last.
constexpr int kLeftX = 10, kRightX = 190, kProbeY = 20;

// Compiles the tiny movie to `path` through the movie compiler.
void CompileTinyMovie(const std::string& path);

// Writes `text` to `path`.
void WriteText(const std::string& path, const std::string& text);

// Records the player's messages in place of message boxes while it lives.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    std::vector<QString> texts;
    std::vector<QString> titles;
};

} // namespace playertest
