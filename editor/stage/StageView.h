#pragma once
// The stage view: every element drawn twice, in its start and its end state,
// joined by its motion line, and a frame with eight handles around the state
// that the selected list row edits. Plain code that paints through a QPainter
// onto an image, so that tests paint off-screen; the window only forwards its
// paint event. Positions are stage pixels at 1:1.

#include "editor/model/Objekt.h"

#include <QColor>
#include <QImage>

class QPainter;

// What the window decides about a paint.
struct StageViewOptions {
    int32_t selectedRow = -1; // selected list row, -1 when none
    bool onlyActual = false;  // OnlyActualCheck: only the selected element
    bool noArrows = false;    // NoArrowsCheck: no motion lines
};

// The off-screen stage image: 24 bits of colour per pixel (the fourth byte
// of each pixel is unused and kept at 0xFF).
inline constexpr QImage::Format StageImageFormat = QImage::Format_RGB32;

// A new image of the stage's size (Stage.width() x Stage.height()) with the
// whole stage painted.
QImage RenderStage(const StageViewOptions& options);

// Paints the whole stage from (0, 0) with `painter`, which works on a
// stage-sized image: white, then the elements in list order.
void PaintStage(QPainter& painter, const StageViewOptions& options);

// The colour a stored colour value draws with: a COLORREF as it is, a system
// colour (such as 0x80000008, window text) as that colour of the palette.
// Pens, brushes and texts all use it.
QColor StageColor(int32_t value);

// One element in one of its states, by kind (kinds other than text, drawing
// object and picture draw nothing).
void DrawObjektState(QPainter& painter, const Objekt& o, const ObjektState& s);

// A text with its cell height `FontSize`, turned by `Rotation` about the
// centre of its unrotated box, whose top-left corner is (Left, Top).
void DrawTextObject(QPainter& painter, const Objekt& o, const ObjektState& s);

// Filled outlines in `color` built on PointList by the point builders the
// compiler uses too (editor/model/Outline), turned by whole degrees of the
// stored rotation; no outline is stroked.
void DrawRectObject(QPainter& painter, QColor color, int32_t l, int32_t t, int32_t r, int32_t b,
                    int32_t rotation);
void DrawEllipseObject(QPainter& painter, QColor color, int32_t l, int32_t t, int32_t r, int32_t b,
                       int32_t rotation);
// The outline DrawEllipseObject fills, left on PointList in stage pixels.
void BuildEllipseObjectOutline(int32_t l, int32_t t, int32_t r, int32_t b, int32_t rotation);

// Fill the outline held in PointList, then clear the list: straight edges
// through every point, or quadratic pieces (control, anchor) turned into
// cubic Beziers with integer arithmetic.
void FillPolyPath(QPainter& painter, QColor color);
void FillCurvePath(QPainter& painter, QColor color);

// A picture fitted into the state's rectangle keeping its aspect ratio,
// anchored at the top-left corner, then drawn turned.
void DrawPictureObject(QPainter& painter, const DibRecord& picture, const ObjektState& s);

// The picture stretched into (x1, y1)-(x2, y2) and turned about the box's
// centre by whole degrees of `rotation`, nearest neighbour. Pixels whose
// source lies outside the picture stay as they are. Only 24-bit pictures are
// drawn.
void DrawRotatedPicture(QPainter& painter, const DibRecord& picture, int32_t rotation, int32_t x1,
                        int32_t y1, int32_t x2, int32_t y2);

// The black frame from (x, y) to (x + w, y + h), its right and bottom edge
// excluded, with its eight filled handle squares.
void DrawSelectionFrame(QPainter& painter, int32_t x, int32_t y, int32_t w, int32_t h);

// The 16.16 pair the view turns points with for a stored rotation (tenths of
// a degree): cos and sin of ((-rotation) / 10) whole degrees, truncated.
struct StageAngle {
    int32_t c, s;
};
StageAngle StageRotationPair(int32_t rotation);
