#include "player/Timeline.h"

#include <algorithm>

namespace player {

void applyControl(DisplayList& list, const std::vector<ControlOp>& ops) {
    for (const ControlOp& op : ops) {
        if (op.kind == ControlOp::Kind::Remove) {
            list.erase(op.depth);
            continue;
        }
        auto it = list.find(op.depth);
        if (op.hasCharacter && !op.move) {
            // Placing on an occupied depth is ignored, as players do.
            if (it != list.end()) continue;
            it = list.emplace(op.depth, DisplayObject()).first;
        } else if (it == list.end()) {
            // Changing an empty depth does nothing; replacing on it places.
            if (!op.hasCharacter) continue;
            it = list.emplace(op.depth, DisplayObject()).first;
        }
        DisplayObject& object = it->second;
        if (op.hasCharacter) object.character = op.character;
        if (op.hasMatrix) object.matrix = op.matrix;
        if (op.hasColor) object.color = op.color;
        if (op.hasRatio) object.ratio = op.ratio;
        if (op.hasCharacter) object.clipLayer = op.clipLayer;
    }
}

Timeline::Timeline(const Movie& movie, int snapshotEvery)
    : m_movie(movie), m_every(std::max(1, snapshotEvery)) {
    DisplayList list;
    int last = -1;
    size_t ops = 0;
    for (int k = 0; k < frameCount(); ++k) {
        applyControl(list, m_movie.frames[size_t(k)]);
        ops += m_movie.frames[size_t(k)].size();
        if (k - last >= m_every && ops >= list.size()) {
            m_snapshots.emplace_back(k, list);
            last = k;
            ops = 0;
        }
    }
}

void Timeline::apply(int frame) {
    applyControl(m_list, m_movie.frames[size_t(frame)]);
    m_frame = frame;
    ++m_applied;
}

const DisplayList& Timeline::goTo(int frame) {
    if (frameCount() == 0) return m_list;
    frame = std::clamp(frame, 0, frameCount() - 1);
    // The latest snapshot at or before the frame, or the empty list before
    // the first frame.
    const auto after =
        std::upper_bound(m_snapshots.begin(), m_snapshots.end(), frame,
                         [](int f, const std::pair<int, DisplayList>& s) { return f < s.first; });
    const int base = after == m_snapshots.begin() ? -1 : std::prev(after)->first;
    if (m_frame < base || m_frame > frame) {
        if (base < 0)
            m_list.clear();
        else
            m_list = std::prev(after)->second;
        m_frame = base;
    }
    while (m_frame < frame)
        apply(m_frame + 1);
    return m_list;
}

} // namespace player
