#pragma once
// Conversion of a FreeType outline into the native TrueType outline layout
// described in GlyphOutline.h.

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <vector>

namespace platform {

// Appends the native outline of `outline` to `out`, every coordinate
// multiplied by `scale` and rounded to give 16.16 fixed point. Each contour
// becomes one polygon that starts at its first on-curve point (at the point
// midway between its first two points when it has none); line runs become
// line records, runs of conic off-curve points one spline record ending at
// the next on-curve point, and cubic segments are split into quadratic
// pieces. Returns false, with `out` partly written, when the outline's
// contour table is inconsistent.
bool appendNativeOutline(const FT_Outline& outline, double scale, std::vector<std::uint8_t>& out);

} // namespace platform
