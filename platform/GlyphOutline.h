#pragma once
// Glyph outlines for the movie compiler's text elements, read with FreeType
// from faces found through fontconfig.
//
// The outline of a glyph is delivered as a byte buffer in the native TrueType
// outline layout of the old platform's font API, so that the glyph shape
// builder walks it record by record:
//
//   polygon  = TTPOLYGONHEADER { uint32 cb; uint32 dwType = 24; POINTFX pfxStart; }
//              followed by TTPOLYCURVE records up to cb bytes from the header
//   record   = TTPOLYCURVE { uint16 wType; uint16 cpfx; POINTFX apfx[cpfx]; }
//              wType 1 = line (one straight edge to each point),
//              wType 2 = quadratic spline (off-curve points, the last point
//              on-curve; two off-curve points in a row imply the on-curve
//              point midway between them, which is not stored)
//   POINTFX  = { FIXED x; FIXED y; }, FIXED = { uint16 fract; int16 value; }
//
// All fields little-endian; coordinates are 16.16 fixed point, y upward, at
// the design size: the face's Windows cell height (usWinAscent + usWinDescent)
// equals 1000 pixels. Every polygon starts at an on-curve point and its last
// record ends back at that start point.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// FreeType's handles, kept opaque here so that users of this header need not
// see FreeType's headers.
struct FT_LibraryRec_;
struct FT_FaceRec_;
struct _FcConfig;

namespace platform {

// Record type codes of the native outline layout.
inline constexpr std::uint32_t kPolygonType = 24; // TT_POLYGON_TYPE
inline constexpr std::uint16_t kPrimLine = 1;     // TT_PRIM_LINE
inline constexpr std::uint16_t kPrimQSpline = 2;  // TT_PRIM_QSPLINE
inline constexpr std::size_t kPolygonHeaderSize = 16;
inline constexpr std::size_t kCurveHeaderSize = 4;
inline constexpr std::size_t kPointSize = 8;

// The cell height, in pixels, at which every outline is delivered.
inline constexpr int kDesignCellHeight = 1000;

// A face name keeps at most this many bytes, as the old font description did.
inline constexpr std::size_t kMaxFaceNameBytes = 31;

// The part of a code page 932 face name that names the face: up to the first
// NUL, at most kMaxFaceNameBytes bytes, never ending in half a double-byte
// character.
std::string_view cutFaceName(std::string_view cp932);

// The installed family that stands in for a face name this program uses by
// default ("ＭＳ ゴシック" gives "IPAGothic"), compared with ASCII letters
// folded to lower case; empty when the name has no substitute. The window's
// fonts and the compiler's outlines share this one table.
std::string SubstituteFamily(std::string_view utf8Name);

// Font-wide metrics at the design size, as the old outline text metrics
// gave them: the typographic ascender and descender, the descender negative.
struct FontMetrics {
    int ascent = 0;
    int descent = 0;
};

// One opened face. Owned by the FontOutlineCache; the reference stays valid
// as long as the cache lives.
class FontFace {
public:
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;
    ~FontFace();

    const std::string& family() const { return m_family; }
    const std::filesystem::path& file() const { return m_file; }
    int faceIndex() const { return m_index; }
    const FontMetrics& metrics() const { return m_metrics; }
    // The face's Windows cell height in font units (the size rule's divisor).
    int cellUnits() const { return m_cellUnits; }
    // True when the face maps the character to a glyph other than .notdef.
    bool covers(char32_t ch) const;

private:
    friend class FontOutlineCache;
    FontFace() = default;

    FT_FaceRec_* m_face = nullptr;
    std::string m_family;
    std::filesystem::path m_file;
    int m_index = 0;
    int m_cellUnits = 1;
    int m_avgAdvance = 0; // xAvgCharWidth at the design size
    FontMetrics m_metrics;
};

// The outline of one character.
struct GlyphOutline {
    // Native outline buffer (layout above); empty for a glyph without
    // contours, such as a space, and when the outline could not be read.
    std::vector<std::uint8_t> data;
    // Advance width at the design size, rounded (the old gmCellIncX).
    std::int16_t advance = 0;
    // The outline could not be read (damaged glyph data, a character that is
    // no Unicode scalar value): data is empty and advance comes from the
    // metrics.
    bool failed = false;
    // The face the outline was taken from: the requested face, or the face
    // that lent the character when the requested one lacks it. Both share
    // the baseline at y = 0, so the requested face's metrics place a lent
    // glyph on the same line as the others.
    const FontFace* source = nullptr;
};

// Opens faces by name and reads glyph outlines. Create one per compilation;
// each face file is opened once and kept until the cache is destroyed. Not
// thread-safe: use from one thread.
class FontOutlineCache {
public:
    FontOutlineCache();
    ~FontOutlineCache();
    FontOutlineCache(const FontOutlineCache&) = delete;
    FontOutlineCache& operator=(const FontOutlineCache&) = delete;

    // The face for a face name given as code page 932 bytes (cut to the first
    // kMaxFaceNameBytes bytes, on a character boundary). The names the
    // program uses by default map to the installed equivalents; any other
    // name gets fontconfig's best match, preferring faces that cover
    // Japanese. Never fails: a missing face is replaced by a substitute.
    const FontFace& face(std::string_view cp932Name);

    // The same, for a face name already in UTF-8 (used whole, not cut).
    const FontFace& faceUtf8(std::string_view utf8Name);

    // The outline of one character (a UTF-16 code unit or any code point) in
    // the given face. A character the face lacks is taken from a face that
    // has it (Japanese characters from IPAGothic first), at that face's own
    // size rule; when no face has it, the face's .notdef glyph is used. A
    // control character the face does not map is given the face's space.
    GlyphOutline outline(const FontFace& face, char32_t ch);
    // As above, reusing out's buffer.
    void outline(const FontFace& face, char32_t ch, GlyphOutline& out);

    // Number of face files opened so far (each file and face index once).
    int openCount() const { return m_openCount; }

private:
    const FontFace* findFace(const std::string& family, bool preferJapanese);
    const FontFace* openFace(const std::string& file, int index);
    const FontFace* fallbackFor(char32_t ch);
    const FontFace* searchCovering(char32_t ch);
    const FontFace& defaultFace();

    FT_LibraryRec_* m_library = nullptr;
    _FcConfig* m_config = nullptr;
    int m_openCount = 0;
    std::vector<std::unique_ptr<FontFace>> m_faces;
    std::unordered_map<std::string, const FontFace*> m_byFile; // "index:path"
    std::unordered_map<std::string, const FontFace*> m_byName; // UTF-8 name
    std::unordered_map<char32_t, const FontFace*> m_fallbacks; // nullptr = none
    const FontFace* m_default = nullptr;
};

} // namespace platform
