#pragma once
// Outlines of text glyphs and drawing objects.
//
// Glyphs come from the platform's native TrueType outline of a character at a
// cell height of 1000 and become FShape records for a DefineFont. Drawing
// objects are built on the shared point list `PointList`: a centred outline
// (twips, y down), turned, moved into place as a move-to point followed by
// edge deltas, then emitted into the start or end shape of the current
// element's morph shape. The point builders are editor/model/Outline's,
// which the stage view uses too.

#include "editor/model/Objekt.h"
#include "editor/model/Outline.h"

#include <cstdint>

class FShape;
namespace platform {
class FontOutlineCache;
class FontFace;
} // namespace platform

// A 16.16 fixed-point value as the native outline stores it.
struct FixedValue {
    uint16_t fract;
    int16_t value;
};
struct FixedPoint {
    FixedValue x, y;
};

struct GlyphMetrics {
    int32_t ascent;  // typographic ascender at the design size
    int32_t descent; // typographic descender, negative
};

struct GlyphPointValue {
    int32_t x, y;
};

// Integer glyph point: the whole part of each coordinate, y turned downward.
GlyphPointValue GlyphPoint(FixedValue x, FixedValue y, const GlyphMetrics& metrics);
// Midpoint of two outline points in 16.16.
FixedPoint FixedMidpoint(FixedPoint p, FixedPoint q);

// Adds the records of a native outline buffer to `shape` (a change record per
// contour, straight and curved edges, closing edges and the end record).
void OutlineToShape(FShape& shape, const uint8_t* data, size_t size, const GlyphMetrics& metrics);

// Fills `shape` with the outline of `ch` in the face `fontName` (code page 932
// bytes) and returns the character's advance in design-font units.
int32_t GlyphToShape(FShape& shape, char16_t ch, const char* fontName,
                     platform::FontOutlineCache& fonts);
// The same with the face already looked up (what a text of many characters uses).
int32_t GlyphToShape(FShape& shape, char16_t ch, const platform::FontFace& face,
                     platform::FontOutlineCache& fonts);

// Which side of the outline's edges carries the fill. A player fills nothing
// when both sides carry the same fill, so only the inside gets it: fill style
// 1 for an outline that runs clockwise on the screen, fill style 0 for one
// that runs the other way.
enum class FillSide { Right, Left };

// Emitters into the start or end shape of `morph`; PointList holds exactly
// one outline.
void EmitStartPolygon(FDTDefineMorphShape& morph, uint32_t fill, FillSide side = FillSide::Right);
void EmitEndPolygon(FDTDefineMorphShape& morph, uint32_t fill, FillSide side = FillSide::Right);
void EmitStartCurves(FDTDefineMorphShape& morph, uint32_t fill, FillSide side = FillSide::Right);
void EmitEndCurves(FDTDefineMorphShape& morph, uint32_t fill, FillSide side = FillSide::Right);
// The same into CurObjekt->Work.MorphTag.
void EmitStartPolygon(uint32_t fill, FillSide side = FillSide::Right);
void EmitEndPolygon(uint32_t fill, FillSide side = FillSide::Right);
void EmitStartCurves(uint32_t fill, FillSide side = FillSide::Right);
void EmitEndCurves(uint32_t fill, FillSide side = FillSide::Right);

// Appends the centred, turned outline of one key state of a drawing object:
// a rectangle runs clockwise unless its rectangle is turned over in one
// direction (then counter-clockwise); an ellipse is always built from the
// rectangle's absolute size and runs clockwise. `mirror` flips the half width
// so that an outline can be made to run the other way. Leaves PointList as
// ToRelativePoints made it.
void BuildStateOutline(const ObjektState& state, int32_t drawKind, bool mirror);

// True when the rectangle outline of `state` runs counter-clockwise (its
// rectangle is turned over in exactly one direction).
bool RectRunsCounterClockwise(const ObjektState& state);
