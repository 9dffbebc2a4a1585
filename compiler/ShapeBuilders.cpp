#include "compiler/ShapeBuilders.h"

#include "editor/model/MainUnit.h"
#include "platform/GlyphOutline.h"
#include "swf/FDTShapes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>

namespace {

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
FixedValue readFixed(const uint8_t* p) {
    return {readU16(p), static_cast<int16_t>(readU16(p + 2))};
}
FixedPoint readPoint(const uint8_t* p) {
    return {readFixed(p), readFixed(p + 4)};
}

// Whole part of a fixed value, rounding up a fraction of 0xFFFF, as the
// midpoint computation takes it.
double wholeForMidpoint(FixedValue v) {
    return v.value + (v.fract == 0xFFFF ? 1 : 0);
}

FixedValue midpoint(FixedValue a, FixedValue b) {
    const double avg = (wholeForMidpoint(a) + wholeForMidpoint(b)) / 2.0;
    const auto whole = static_cast<int32_t>(avg);
    const auto fract = static_cast<int32_t>((avg - whole) * 65536.0);
    return {static_cast<uint16_t>(fract), static_cast<int16_t>(whole)};
}

TPoint32* point(int32_t i) {
    return static_cast<TPoint32*>(PointList.GetItem(i));
}

void addPoint(int32_t x, int32_t y) {
    auto* p = static_cast<TPoint32*>(PointList.Add());
    p->x = x;
    p->y = y;
}

std::unique_ptr<FShapeRecChange> moveTo(const TPoint32& p, uint32_t fill, FillSide side) {
    const uint32_t fill0 = side == FillSide::Left ? fill : 0;
    const uint32_t fill1 = side == FillSide::Right ? fill : 0;
    return std::make_unique<FShapeRecChange>(false, false, true, true, true, p.x, p.y, fill0, fill1,
                                             0u, nullptr, nullptr);
}

template <typename Add> void emitPolygon(uint32_t fill, FillSide side, Add add) {
    if (PointList.Count < 1) return;
    add(moveTo(*point(0), fill, side));
    for (int32_t i = 1; i < PointList.Count; ++i) {
        const TPoint32& p = *point(i);
        add(std::make_unique<FShapeRecEdgeStraight>(p.x, p.y));
    }
    add(std::make_unique<FShapeRecEnd>());
}

template <typename Add> void emitCurves(uint32_t fill, FillSide side, Add add) {
    if (PointList.Count < 1) return;
    add(moveTo(*point(0), fill, side));
    for (int32_t i = 1; i + 1 < PointList.Count; i += 2) {
        const TPoint32 control = *point(i);
        const TPoint32 anchor = *point(i + 1);
        add(std::make_unique<FShapeRecEdgeCurved>(control.x, control.y, anchor.x, anchor.y));
    }
    add(std::make_unique<FShapeRecEnd>());
}

} // namespace

GlyphPointValue GlyphPoint(FixedValue x, FixedValue y, const GlyphMetrics& metrics) {
    return {x.value, metrics.ascent + metrics.descent - y.value};
}

FixedPoint FixedMidpoint(FixedPoint p, FixedPoint q) {
    return {midpoint(p.x, q.x), midpoint(p.y, q.y)};
}

void OutlineToShape(FShape& shape, const uint8_t* data, size_t size, const GlyphMetrics& metrics) {
    using platform::kPolygonHeaderSize;
    size_t pos = 0;
    while (pos + kPolygonHeaderSize <= size) {
        const uint32_t cb = readU32(data + pos);
        // A contour must at least hold its header and lie inside the buffer.
        if (cb < kPolygonHeaderSize || cb > size - pos) break;
        const uint8_t* contour = data + pos;
        const GlyphPointValue start = [&] {
            const FixedPoint s = readPoint(contour + 8);
            return GlyphPoint(s.x, s.y, metrics);
        }();
        shape.AddShapeRec(std::make_unique<FShapeRecChange>(false, true, true, true, true, start.x,
                                                            start.y, 1u, 0u, 0u, nullptr, nullptr));
        // The current point is carried as 16-bit values, as the outline format does.
        int16_t curX = static_cast<int16_t>(start.x), curY = static_cast<int16_t>(start.y);
        size_t offset = kPolygonHeaderSize;
        while (offset + 12 <= cb) {
            const uint16_t type = readU16(contour + offset);
            const uint16_t n = readU16(contour + offset + 2);
            const size_t next = offset + size_t(n) * 8 + 4;
            if (next > cb) break; // a record running past its contour: the rest is not trusted
            const uint8_t* pts = contour + offset + 4;
            if (type == platform::kPrimLine) {
                for (uint16_t i = 0; i < n; ++i) {
                    const FixedPoint fp = readPoint(pts + 8 * i);
                    const GlyphPointValue p = GlyphPoint(fp.x, fp.y, metrics);
                    shape.AddShapeRec(
                        std::make_unique<FShapeRecEdgeStraight>(p.x - curX, p.y - curY));
                    curX = static_cast<int16_t>(p.x);
                    curY = static_cast<int16_t>(p.y);
                }
            } else if (type == platform::kPrimQSpline) {
                for (int i = 0; i + 2 <= n; ++i) {
                    const FixedPoint fc = readPoint(pts + 8 * i);
                    const FixedPoint fn = readPoint(pts + 8 * (i + 1));
                    const GlyphPointValue control = GlyphPoint(fc.x, fc.y, metrics);
                    const FixedPoint fa = (i == n - 2) ? fn : FixedMidpoint(fc, fn);
                    const GlyphPointValue anchor = GlyphPoint(fa.x, fa.y, metrics);
                    const auto cx = static_cast<int16_t>(control.x),
                               cy = static_cast<int16_t>(control.y);
                    const auto ax = static_cast<int16_t>(anchor.x),
                               ay = static_cast<int16_t>(anchor.y);
                    shape.AddShapeRec(std::make_unique<FShapeRecEdgeCurved>(cx - curX, cy - curY,
                                                                            ax - cx, ay - cy));
                    curX = ax;
                    curY = ay;
                }
            }
            offset = next;
        }
        if (curX != start.x || curY != start.y)
            shape.AddShapeRec(
                std::make_unique<FShapeRecEdgeStraight>(start.x - curX, start.y - curY));
        pos += cb;
    }
    shape.AddShapeRec(std::make_unique<FShapeRecEnd>());
}

int32_t GlyphToShape(FShape& shape, char16_t ch, const char* fontName,
                     platform::FontOutlineCache& fonts) {
    return GlyphToShape(shape, ch, fonts.face(fontName ? fontName : ""), fonts);
}

int32_t GlyphToShape(FShape& shape, char16_t ch, const platform::FontFace& face,
                     platform::FontOutlineCache& fonts) {
    thread_local platform::GlyphOutline outline;
    fonts.outline(face, ch, outline);
    const GlyphMetrics metrics{face.metrics().ascent, face.metrics().descent};
    // A character that cannot be outlined gets an empty glyph: no buffer to walk.
    if (outline.failed)
        shape.AddShapeRec(std::make_unique<FShapeRecEnd>());
    else
        OutlineToShape(shape, outline.data.data(), outline.data.size(), metrics);
    return outline.advance;
}

void AddRectPoints(int32_t hx, int32_t hy) {
    addPoint(-hx, -hy);
    addPoint(hx, -hy);
    addPoint(hx, hy);
    addPoint(-hx, hy);
    addPoint(-hx, -hy);
}

void AddEllipsePoints(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f) {
    const int32_t steps[16][2] = {{-c, +d}, {-e, 0},  {-e, 0},  {-c, -d}, {-c, -d}, {0, -f},
                                  {0, -f},  {+c, -d}, {+c, -d}, {+e, 0},  {+e, 0},  {+c, +d},
                                  {+c, +d}, {0, +f},  {0, +f},  {-c, +d}};
    int32_t x = a, y = b;
    addPoint(x, y);
    for (const auto& step : steps) {
        x += step[0];
        y += step[1];
        addPoint(x, y);
    }
}

void RotatePoints(int32_t c, int32_t s) {
    for (int32_t i = 0; i < PointList.Count; ++i) {
        TPoint32& p = *point(i);
        const int64_t x = p.x, y = p.y;
        p.x = static_cast<int32_t>((c * x - s * y) / 65536);
        p.y = static_cast<int32_t>((s * x + c * y) / 65536);
    }
}

void ToRelativePoints(int32_t x0, int32_t y0) {
    int32_t prevX = 0, prevY = 0;
    for (int32_t i = 0; i < PointList.Count; ++i) {
        TPoint32& p = *point(i);
        const int32_t x = p.x, y = p.y;
        if (i == 0) {
            p.x = x + x0;
            p.y = y + y0;
        } else {
            p.x = x - prevX;
            p.y = y - prevY;
        }
        prevX = x;
        prevY = y;
    }
}

void OffsetPoints(int32_t dx, int32_t dy) {
    for (int32_t i = 0; i < PointList.Count; ++i) {
        TPoint32& p = *point(i);
        p.x += dx;
        p.y += dy;
    }
}

void EmitStartPolygon(FDTDefineMorphShape& morph, uint32_t fill, FillSide side) {
    emitPolygon(fill, side, [&](auto rec) { morph.AddStartShapeRec(std::move(rec)); });
}

void EmitEndPolygon(FDTDefineMorphShape& morph, uint32_t fill, FillSide side) {
    emitPolygon(fill, side, [&](auto rec) { morph.AddEndShapeRec(std::move(rec)); });
}

void EmitStartCurves(FDTDefineMorphShape& morph, uint32_t fill, FillSide side) {
    emitCurves(fill, side, [&](auto rec) { morph.AddStartShapeRec(std::move(rec)); });
}

void EmitEndCurves(FDTDefineMorphShape& morph, uint32_t fill, FillSide side) {
    emitCurves(fill, side, [&](auto rec) { morph.AddEndShapeRec(std::move(rec)); });
}

void EmitStartPolygon(uint32_t fill, FillSide side) {
    EmitStartPolygon(*CurObjekt->Work.MorphTag, fill, side);
}

void EmitEndPolygon(uint32_t fill, FillSide side) {
    EmitEndPolygon(*CurObjekt->Work.MorphTag, fill, side);
}

void EmitStartCurves(uint32_t fill, FillSide side) {
    EmitStartCurves(*CurObjekt->Work.MorphTag, fill, side);
}

void EmitEndCurves(uint32_t fill, FillSide side) {
    EmitEndCurves(*CurObjekt->Work.MorphTag, fill, side);
}

FixedAngle FixedCosSin(int32_t degrees) {
    const double a = degrees * std::numbers::pi / 180.0;
    return {static_cast<int32_t>(std::cos(a) * 65536.0),
            static_cast<int32_t>(std::sin(a) * 65536.0)};
}

int32_t ClampTwips(int64_t twips) {
    constexpr int64_t limit = (int64_t(1) << 30) - 1;
    return static_cast<int32_t>(twips < -limit ? -limit : (twips > limit ? limit : twips));
}

bool RectRunsCounterClockwise(const ObjektState& s) {
    const int64_t hx = (int64_t(s.Right) - s.Left) / 2, hy = (int64_t(s.Bottom) - s.Top) / 2;
    return (hx < 0) != (hy < 0) && hx != 0 && hy != 0;
}

void BuildStateOutline(const ObjektState& s, int32_t drawKind, bool mirror) {
    // Sizes far beyond any stage are cut so that every sum of outline steps,
    // turned and moved, stays inside 32 bits.
    constexpr int64_t maxSide = int64_t(1) << 24;
    const int64_t width = std::clamp<int64_t>(int64_t(s.Right) - s.Left, -maxSide, maxSide);
    const int64_t height = std::clamp<int64_t>(int64_t(s.Bottom) - s.Top, -maxSide, maxSide);
    const int32_t hx = ClampTwips(width / 2 * 20);
    const int32_t hy = ClampTwips(height / 2 * 20);
    if (drawKind == dkRectangle) {
        AddRectPoints(mirror ? -hx : hx, hy);
    } else {
        const double r = std::sin(0.7853981633974483);
        const double k = 2 * r + 1;
        const auto ax = static_cast<int32_t>(static_cast<double>(std::llabs(width) / 2 * 20) / k);
        const auto ay = static_cast<int32_t>(static_cast<double>(std::llabs(height) / 2 * 20) / k);
        const auto cx = static_cast<int32_t>(r * ax);
        const auto cy = static_cast<int32_t>(r * ay);
        // Built from the absolute size, so that a turned-over rectangle still
        // gives an ellipse centred in it, running clockwise.
        const auto px = static_cast<int32_t>(r * static_cast<double>(std::llabs(width)) * 0.5 * 20);
        const auto py =
            static_cast<int32_t>(r * static_cast<double>(std::llabs(height)) * 0.5 * 20);
        AddEllipsePoints(px, py, cx, cy, ax, ay);
    }
    const FixedAngle angle = FixedCosSin(static_cast<int32_t>(-int64_t(s.Rotation) / 10));
    RotatePoints(angle.c, angle.s);
    ToRelativePoints(ClampTwips(int64_t(s.Left) * 20 + hx), ClampTwips(int64_t(s.Top) * 20 + hy));
}
