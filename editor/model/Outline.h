#pragma once
// Outline geometry of the drawing objects, shared by the compiler (in twips)
// and the stage view (in pixels): point builders on the shared point list
// `PointList`, the fixed-point turn, and the limits that keep every sum and
// product of the outline arithmetic inside 32 bits.

#include <cstdint>

// The largest rectangle side (pixels) an outline is built for; larger sides
// are cut to it.
inline constexpr int64_t MaxOutlineSide = int64_t(1) << 24;

// A rectangle side (pixels, any sign) cut to +-MaxOutlineSide.
int64_t ClampOutlineSide(int64_t side);

// Keeps a twips value inside what the movie's position fields can hold, so
// that absurd sizes in a project never overflow the arithmetic.
int32_t ClampTwips(int64_t twips);

// 16.16 cosine and sine of a whole number of degrees, truncated.
struct FixedAngle {
    int32_t c, s;
};
FixedAngle FixedCosSin(int32_t degrees);
// The turn of an element's rotation (tenths of a degree, counter-clockwise on
// the screen) as outline points are turned: whole degrees, y down.
FixedAngle OutlineTurn(int32_t rotationTenths);

// Point builders on PointList.
// The closed rectangle (-hx, -hy) .. (hx, hy), clockwise for positive halves.
void AddRectPoints(int32_t hx, int32_t hy);
// The 17 points of an ellipse as 8 quadratic pieces (on-curve points at even
// indexes): start (a, b), then steps of (c, d), (e, 0) and (0, f).
void AddEllipsePoints(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f);
// The ellipse inscribed in a width x height box (pixels; the absolute size
// counts, so a turned-over box gives the same ellipse, running clockwise),
// centred on (0, 0), in `unitsPerPixel` units (20 for twips, 1 for pixels).
void AddEllipseOutline(int64_t width, int64_t height, int32_t unitsPerPixel);
// Turns every point by the 16.16 pair (c, s).
void RotatePoints(int32_t c, int32_t s);
// The first point moved by (x0, y0), every other point as the step from the
// point before it.
void ToRelativePoints(int32_t x0, int32_t y0);
void OffsetPoints(int32_t dx, int32_t dy);
