#include "compiler/ShapeBuilders.h"

#include "editor/model/MainUnit.h"
#include "platform/GlyphOutline.h"
#include "swf/FDTShapes.h"
#include "swf/Twips.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>

using swf::ToTwips;
using swf::TwipsPerPixel;

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

bool RectRunsCounterClockwise(const ObjektState& s) {
    const int64_t hx = (int64_t(s.Right) - s.Left) / 2, hy = (int64_t(s.Bottom) - s.Top) / 2;
    return (hx < 0) != (hy < 0) && hx != 0 && hy != 0;
}

void BuildStateOutline(const ObjektState& s, int32_t drawKind, bool mirror) {
    const int64_t width = ClampOutlineSide(int64_t(s.Right) - s.Left);
    const int64_t height = ClampOutlineSide(int64_t(s.Bottom) - s.Top);
    const int32_t hx = ClampTwips(ToTwips(width / 2));
    const int32_t hy = ClampTwips(ToTwips(height / 2));
    if (drawKind == dkRectangle)
        AddRectPoints(mirror ? -hx : hx, hy);
    else
        AddEllipseOutline(width, height, TwipsPerPixel);
    const FixedAngle angle = OutlineTurn(s.Rotation);
    RotatePoints(angle.c, angle.s);
    ToRelativePoints(ClampTwips(ToTwips(int64_t(s.Left)) + hx),
                     ClampTwips(ToTwips(int64_t(s.Top)) + hy));
}
