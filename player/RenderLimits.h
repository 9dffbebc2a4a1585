#pragma once
// The budget of one frame's drawing.

#include <functional>

namespace player {

// How much one frame may cost. A frame that would cost more is drawn in
// part: the objects from the first one over the limit on are left out.
struct RenderLimits {
    // Work, in units of about one edge crossing one pixel row (the
    // rasterizer's cost) or eight pixels filled; the default is some 1.5 s
    // on one slow core.
    double work = 4e7;
    double seconds = 1.5;       // processor time of the drawing thread
    std::function<bool()> stop; // asked between objects: true stops the frame
};

} // namespace player
