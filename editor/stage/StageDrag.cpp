#include "editor/stage/StageDrag.h"

#include "editor/model/MainUnit.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool validRow(int32_t row) {
    return row >= 0 && RowObjekt(row) < ObjektList.Count;
}

int32_t saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Edges included; a turned-over rectangle holds no point.
bool contains(const ObjektState& s, int32_t x, int32_t y) {
    return s.Left <= x && x <= s.Right && s.Top <= y && y <= s.Bottom;
}

StageHitKind horizontalMirror(StageHitKind kind) {
    switch (kind) {
    case hkTopLeft:
        return hkTopRight;
    case hkTopRight:
        return hkTopLeft;
    case hkBottomLeft:
        return hkBottomRight;
    case hkBottomRight:
        return hkBottomLeft;
    case hkLeft:
        return hkRight;
    case hkRight:
        return hkLeft;
    default:
        return kind;
    }
}

StageHitKind verticalMirror(StageHitKind kind) {
    switch (kind) {
    case hkTopLeft:
        return hkBottomLeft;
    case hkBottomLeft:
        return hkTopLeft;
    case hkTopRight:
        return hkBottomRight;
    case hkBottomRight:
        return hkTopRight;
    case hkTop:
        return hkBottom;
    case hkBottom:
        return hkTop;
    default:
        return kind;
    }
}

// Which fields a drag step of each kind writes.
enum Writes { wLeft = 1, wTop = 2, wRight = 4, wBottom = 8 };
constexpr int kWrites[10] = {
    0,                              // nothing held
    wLeft | wTop,                   // 1
    wTop | wRight,                  // 2
    wLeft | wBottom,                // 3
    wRight | wBottom,               // 4
    wTop,                           // 5
    wBottom,                        // 6
    wLeft,                          // 7
    wRight,                         // 8
    wLeft | wTop | wRight | wBottom // 9
};

} // namespace

Qt::CursorShape StageCursor(StageHitKind hitKind) {
    switch (hitKind) {
    case hkTopLeft:
    case hkBottomRight:
        return Qt::SizeFDiagCursor;
    case hkTopRight:
    case hkBottomLeft:
        return Qt::SizeBDiagCursor;
    case hkTop:
    case hkBottom:
        return Qt::SizeVerCursor;
    case hkLeft:
    case hkRight:
        return Qt::SizeHorCursor;
    case hkMove:
        return Qt::PointingHandCursor;
    default:
        return Qt::ArrowCursor;
    }
}

void HitTestHandles(StageDrag& drag, int32_t selectedRow, int32_t x, int32_t y) {
    drag.HitKind = hkNone;
    drag.GrabDX = 0;
    drag.GrabDY = 0;
    if (!validRow(selectedRow)) return;
    drag.DragElement = RowObjekt(selectedRow);
    drag.DragEndState = RowIsEnd(selectedRow);
    const ObjektState& s = RowState(ObjektAt(drag.DragElement), selectedRow);
    const int64_t l = s.Left, t = s.Top;
    const int64_t w = int64_t(s.Right) - s.Left + 1, h = int64_t(s.Bottom) - s.Top + 1;
    const int64_t refX[] = {l, l + w, l, l + w, l + w / 2, l + w / 2, l, l + w};
    const int64_t refY[] = {t, t, t + h, t + h, t, t + h, t + h / 2, t + h / 2};
    for (int32_t k = hkTopLeft; k <= hkRight; ++k) {
        const int64_t dx = x - refX[k - 1], dy = y - refY[k - 1];
        if (std::llabs(dx) <= 3 && std::llabs(dy) <= 3) {
            drag.HitKind = static_cast<StageHitKind>(k);
            if (k != hkTop && k != hkBottom) drag.GrabDX = static_cast<int32_t>(dx);
            if (k != hkLeft && k != hkRight) drag.GrabDY = static_cast<int32_t>(dy);
            return;
        }
    }
    if (w > 0 && h > 0 && l <= x && x <= l + w && t <= y && y <= t + h) {
        drag.HitKind = hkMove;
        drag.GrabDX = static_cast<int32_t>(x - l);
        drag.GrabDY = static_cast<int32_t>(y - t);
    }
}

void DragTo(StageDrag& drag, int32_t x, int32_t y, int32_t boxWidth, int32_t boxHeight) {
    if (drag.DragElement < 0 || drag.DragElement >= ObjektList.Count) return;
    const StageHitKind kind =
        drag.HitKind >= hkNone && drag.HitKind <= hkMove ? drag.HitKind : hkNone;
    ObjektState& s =
        drag.DragEndState ? ObjektAt(drag.DragElement).End : ObjektAt(drag.DragElement).Start;
    const int64_t l = s.Left, t = s.Top, r = s.Right, b = s.Bottom;
    const int64_t w0 = r - l, h0 = b - t;
    const int64_t a = int64_t(x) - drag.GrabDX, bb = int64_t(y) - drag.GrabDY;

    int64_t nl = l, nt = t, nw = r - a, nh = b - bb;
    switch (kind) {
    case hkTopLeft:
        nl = a, nt = bb, nw = r - a, nh = b - bb;
        break;
    case hkTopRight:
        nl = l, nt = bb, nw = a - l, nh = b - bb;
        break;
    case hkBottomLeft:
        nl = a, nt = t, nw = r - a, nh = bb - t;
        break;
    case hkBottomRight:
        nl = l, nt = t, nw = a - l, nh = bb - t;
        break;
    case hkTop:
        nl = l, nt = bb, nw = w0, nh = b - bb;
        break;
    case hkBottom:
        nl = l, nt = t, nw = w0, nh = bb - t;
        break;
    case hkLeft:
        nl = a, nt = t, nw = r - a, nh = h0;
        break;
    case hkRight:
        nl = l, nt = t, nw = a - l, nh = h0;
        break;
    case hkMove:
        nl = a, nt = bb, nw = w0, nh = h0;
        break;
    default:
        nl = l, nt = t, nw = w0, nh = h0;
        break;
    }

    // A handle dragged past the opposite edge becomes its mirror. The step
    // that crosses writes both edges of that direction: the edge passed over
    // stays where it was and the held one goes to the pointer (writing only
    // the held kind's fields would put the far edge at the mirror image of
    // the pointer).
    int writes = kWrites[kind];
    if (nw < 0) {
        drag.HitKind = horizontalMirror(drag.HitKind);
        nl += nw;
        nw = -nw;
        writes |= wLeft | wRight;
    }
    if (nh < 0) {
        drag.HitKind = verticalMirror(drag.HitKind);
        nt += nh;
        nh = -nh;
        writes |= wTop | wBottom;
    }

    // Keep the rectangle within reach of the pointer.
    if (nl + nw <= 1) nl = 1 - nw;
    if (nt + nh <= 1) nt = 1 - nh;
    if (nl > int64_t(boxWidth) - 1) nl = int64_t(boxWidth) - 1;
    if (nt > int64_t(boxHeight) - 1) nt = int64_t(boxHeight) - 1;

    if (writes & wLeft) s.Left = saturate(nl);
    if (writes & wTop) s.Top = saturate(nt);
    if (writes & wRight) s.Right = saturate(nw + s.Left);
    if (writes & wBottom) s.Bottom = saturate(nh + s.Top);
    if (kind == hkMove) {
        // A move keeps the size and the orientation.
        s.Right = saturate(w0 + s.Left);
        s.Bottom = saturate(h0 + s.Top);
    }
}

StageMouseResult StageMouseDown(StageDrag& drag, const StageViewOptions& options, int32_t x,
                                int32_t y) {
    StageMouseResult result;
    HitTestHandles(drag, options.selectedRow, x, y);
    result.setCursor = true;
    result.cursor = StageCursor(drag.HitKind);
    if (drag.HitKind > hkNone) {
        drag.Dragging = true;
        result.repaint = true;
        return result;
    }
    const int32_t row = options.selectedRow;
    if (validRow(row)) {
        const Objekt& o = ObjektAt(RowObjekt(row));
        if (contains(RowIsEnd(row) ? o.Start : o.End, x, y)) {
            result.selectRow = RowIsEnd(row) ? row - 1 : row + 1;
            result.repaint = true;
            return result;
        }
    }
    if (options.onlyActual) return result;
    for (int32_t i = 0; i < ObjektList.Count; ++i) {
        const Objekt& o = ObjektAt(i);
        const bool inStart = contains(o.Start, x, y), inEnd = contains(o.End, x, y);
        if (!inStart && !inEnd) continue;
        result.selectRow = inStart ? 2 * i : 2 * i + 1;
        result.repaint = true;
        break;
    }
    return result;
}

StageMouseResult StageMouseMove(StageDrag& drag, const StageViewOptions& options, int32_t x,
                                int32_t y, int32_t boxWidth, int32_t boxHeight) {
    StageMouseResult result;
    if (drag.Dragging) {
        DragTo(drag, x, y, boxWidth, boxHeight);
        result.repaint = true;
    } else {
        HitTestHandles(drag, options.selectedRow, x, y);
        result.setCursor = true;
        result.cursor = StageCursor(drag.HitKind);
    }
    return result;
}

StageMouseResult StageMouseUp(StageDrag& drag, int32_t x, int32_t y, int32_t boxWidth,
                              int32_t boxHeight) {
    StageMouseResult result;
    if (drag.Dragging) {
        DragTo(drag, x, y, boxWidth, boxHeight);
        drag.Dragging = false;
        result.repaint = true;
    }
    return result;
}
