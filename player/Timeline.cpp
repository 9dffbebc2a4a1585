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
    for (int k = 0; k < frameCount(); ++k) {
        applyControl(list, m_movie.frames[size_t(k)]);
        if (k % m_every == 0) m_snapshots.push_back(list);
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
    const int base = frame / m_every * m_every;
    if (m_frame < base || m_frame > frame) {
        m_list = m_snapshots[size_t(frame / m_every)];
        m_frame = base;
    }
    while (m_frame < frame)
        apply(m_frame + 1);
    return m_list;
}

} // namespace player
