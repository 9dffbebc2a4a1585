#pragma once
// What a movie's header and timeline tell about it as a whole.

#include <QColor>

namespace player {

// The movie as a whole: stage size, frame rate, frame count, background.
struct MovieInfo {
    int width = 0, height = 0; // stage size in pixels (twips / 20)
    double frameRate = 0;      // frames per second, as the header says (0 when it says 0)
    int frameCount = 0;        // frames the movie really has (ShowFrame tags), at least 1
    QColor background = Qt::white;
};

} // namespace player
