#pragma once
// The display list of every frame: what stands at which depth, with its
// matrix, colour transform and morph ratio. Going to a frame starts from the
// nearest snapshot at or before it (or from the current frame when that is
// closer), so a jump never replays the whole movie.

#include "player/MovieData.h"

#include <map>
#include <utility>
#include <vector>

namespace player {

struct DisplayObject {
    uint16_t character = 0;
    QTransform matrix;
    ColorTransform color;
    uint16_t ratio = 0;
    bool clipLayer = false;
};

using DisplayList = std::map<uint16_t, DisplayObject>; // by depth, drawn from low to high

class Timeline {
public:
    // A snapshot of the display list is kept at most every `snapshotEvery`
    // frames, and only once the control tags since the last one are at least
    // as many as the list holds: the snapshots together never outgrow the
    // movie's own control tags, whatever a file claims.
    explicit Timeline(const Movie& movie, int snapshotEvery = 32);

    // The display list of frame `frame` (0-based, clamped into range).
    const DisplayList& goTo(int frame);
    int frame() const { return m_frame; }
    int frameCount() const { return static_cast<int>(m_movie.frames.size()); }

    // Frames applied since construction, to show that jumps stay short.
    long appliedFrames() const { return m_applied; }

private:
    void apply(int frame);

    const Movie& m_movie;
    int m_every;
    std::vector<std::pair<int, DisplayList>> m_snapshots; // after frame .first, ascending
    DisplayList m_list;
    int m_frame = -1;
    long m_applied = 0;
};

// Applies one frame's control tags to a display list.
void applyControl(DisplayList& list, const std::vector<ControlOp>& ops);

} // namespace player
