#pragma once
// Mouse editing on the stage view: the hit test of the selected state's
// handles, dragging a handle or the whole rectangle, and the selection rules
// of a click. Plain functions over the element list; the window forwards its
// mouse events, selects the row they ask for, repaints and sets the cursor.

#include "editor/stage/StageView.h"

#include <Qt>

#include <cstdint>

// What the pointer is over or holds: handles 1 to 8 (corners top-left,
// top-right, bottom-left, bottom-right, then the middles of the top, bottom,
// left and right edges), 9 inside the rectangle (a move), 0 nothing.
enum StageHitKind : int32_t {
    hkNone = 0,
    hkTopLeft = 1,
    hkTopRight = 2,
    hkBottomLeft = 3,
    hkBottomRight = 4,
    hkTop = 5,
    hkBottom = 6,
    hkLeft = 7,
    hkRight = 8,
    hkMove = 9,
};

// The drag state of the stage, kept by the window between mouse events.
struct StageDrag {
    bool Dragging = false;         // while a handle or the rectangle is held
    StageHitKind HitKind = hkNone; // what the pointer is over or holds
    int32_t GrabDX = 0;            // pointer offset from the grabbed reference point
    int32_t GrabDY = 0;
    int32_t DragElement = 0;   // element being edited (selected row / 2)
    bool DragEndState = false; // its end state rather than its start state
};

// The pointer shape shown for a hit kind.
Qt::CursorShape StageCursor(StageHitKind hitKind);

// Finds what (x, y) lies on in the state that `selectedRow` edits: the 7 x 7
// square around each handle's reference point in the order 1 to 8, then the
// rectangle itself, edges included. Sets HitKind and the grab offsets; with
// no selected row HitKind is hkNone. A turned-over rectangle (Right < Left or
// Bottom < Top) is never hit inside, only on its handles.
void HitTestHandles(StageDrag& drag, int32_t selectedRow, int32_t x, int32_t y);

// Moves the held edges (or the whole rectangle) of the dragged state to the
// pointer. A handle dragged past the opposite edge turns into its mirror;
// the rectangle always keeps some part at or right/below of (1, 1) and its
// top-left corner inside the paint box of boxWidth x boxHeight.
void DragTo(StageDrag& drag, int32_t x, int32_t y, int32_t boxWidth, int32_t boxHeight);

// What a mouse event asks of the window.
struct StageMouseResult {
    int32_t selectRow = -1; // the row to select (reloading the property pages), -1: keep
    bool repaint = false;
    bool setCursor = false; // show `cursor`
    Qt::CursorShape cursor = Qt::ArrowCursor;
};

// Every mouse button acts the same; coordinates are stage pixels.
// Down: grabs a handle or the rectangle of the selected state, or else
// selects the selected element's other state, or else the first element in
// list order whose end or start rectangle holds the point (start before end).
StageMouseResult StageMouseDown(StageDrag& drag, const StageViewOptions& options, int32_t x,
                                int32_t y);
// Move: drags while a drag is on, otherwise only updates the cursor.
StageMouseResult StageMouseMove(StageDrag& drag, const StageViewOptions& options, int32_t x,
                                int32_t y, int32_t boxWidth, int32_t boxHeight);
// Up: the last drag step, then the drag ends.
StageMouseResult StageMouseUp(StageDrag& drag, int32_t x, int32_t y, int32_t boxWidth,
                              int32_t boxHeight);
