#include "platform/FontNativeOutline.h"
#include "platform/GlyphOutline.h"
#include "platform/TextCodec.h"

#include <gtest/gtest.h>

#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace platform {
namespace {

// ---- A strict reader of the native outline layout --------------------------

struct Fx {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool operator==(const Fx&) const = default;
};

struct Record {
    std::uint16_t type = 0;
    std::vector<Fx> points;
};

struct Polygon {
    Fx start;
    std::vector<Record> records;
};

std::uint32_t read32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t read16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// Parses the buffer, checking every size and count against its container,
// the record types, and that each polygon ends where it started. On failure
// returns nullopt and says why in *why.
std::optional<std::vector<Polygon>> parse(const std::vector<std::uint8_t>& b, std::string* why) {
    std::vector<Polygon> polygons;
    std::size_t pos = 0;
    while (pos < b.size()) {
        if (b.size() - pos < kPolygonHeaderSize)
            return *why = "truncated polygon header", std::nullopt;
        const std::uint32_t cb = read32(b, pos);
        if (cb < kPolygonHeaderSize || cb > b.size() - pos)
            return *why = "polygon size out of bounds", std::nullopt;
        if (read32(b, pos + 4) != kPolygonType)
            return *why = "polygon type is not 24", std::nullopt;
        Polygon poly;
        poly.start = {static_cast<std::int32_t>(read32(b, pos + 8)),
                      static_cast<std::int32_t>(read32(b, pos + 12))};
        std::size_t off = kPolygonHeaderSize;
        Fx cur = poly.start;
        while (off < cb) {
            if (cb - off < kCurveHeaderSize) return *why = "truncated record header", std::nullopt;
            Record rec;
            rec.type = read16(b, pos + off);
            const std::uint16_t n = read16(b, pos + off + 2);
            if (rec.type != kPrimLine && rec.type != kPrimQSpline)
                return *why = "unknown record type", std::nullopt;
            if (n == 0 || (rec.type == kPrimQSpline && n < 2))
                return *why = "record with too few points", std::nullopt;
            if ((cb - off - kCurveHeaderSize) / kPointSize < n)
                return *why = "record runs past its polygon", std::nullopt;
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t at = pos + off + kCurveHeaderSize + i * kPointSize;
                rec.points.push_back({static_cast<std::int32_t>(read32(b, at)),
                                      static_cast<std::int32_t>(read32(b, at + 4))});
            }
            cur = rec.points.back();
            off += kCurveHeaderSize + n * kPointSize;
            poly.records.push_back(std::move(rec));
        }
        if (!poly.records.empty() && !(cur == poly.start))
            return *why = "polygon does not close", std::nullopt;
        polygons.push_back(std::move(poly));
        pos += cb;
    }
    return polygons;
}

// The polygon as a cyclic list of (point, on-curve) without the closing
// point, consecutive repeats of an on-curve point dropped.
struct Tagged {
    Fx p;
    bool on;
    bool operator==(const Tagged&) const = default;
};
std::vector<Tagged> normalise(std::vector<Tagged> seq) {
    std::vector<Tagged> out;
    for (const Tagged& t : seq) {
        if (!out.empty() && t.on && out.back() == t) continue;
        out.push_back(t);
    }
    if (out.size() > 1 && out.back() == out.front()) out.pop_back();
    return out;
}
std::vector<Tagged> flatten(const Polygon& poly) {
    std::vector<Tagged> seq{{poly.start, true}};
    for (const Record& r : poly.records) {
        for (std::size_t i = 0; i < r.points.size(); ++i)
            seq.push_back({r.points[i], r.type == kPrimLine || i + 1 == r.points.size()});
    }
    return normalise(seq);
}

// ---- Reference data read from the face file with FreeType directly ---------

struct Reference {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    explicit Reference(const FontFace& f) {
        EXPECT_EQ(FT_Init_FreeType(&lib), 0);
        EXPECT_EQ(FT_New_Face(lib, f.file().c_str(), f.faceIndex(), &face), 0);
    }
    ~Reference() {
        FT_Done_Face(face);
        FT_Done_FreeType(lib);
    }
    int winCell() const {
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        return os2->usWinAscent + os2->usWinDescent;
    }
    const TT_OS2& os2() const {
        return *static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    }
    // The glyph's contours as tagged point lists at the design size, each
    // rotated to start at its first on-curve point.
    std::vector<std::vector<Tagged>> contours(char32_t ch) {
        const FT_UInt gi = FT_Get_Char_Index(face, ch);
        EXPECT_NE(gi, 0u);
        EXPECT_EQ(FT_Load_Glyph(face, gi, FT_LOAD_NO_SCALE), 0);
        const FT_Outline& o = face->glyph->outline;
        const double k = 65536.0 * 1000.0 / winCell();
        auto fx = [&](FT_Pos v) { return static_cast<std::int32_t>(std::lround(v * k)); };
        std::vector<std::vector<Tagged>> out;
        int first = 0;
        for (int c = 0; c < o.n_contours; ++c) {
            std::vector<Tagged> pts;
            for (int i = first; i <= o.contours[c]; ++i)
                pts.push_back(
                    {{fx(o.points[i].x), fx(o.points[i].y)}, (o.tags[i] & 3) == FT_CURVE_TAG_ON});
            std::size_t on = 0;
            while (on < pts.size() && !pts[on].on)
                ++on;
            std::rotate(pts.begin(), pts.begin() + static_cast<std::ptrdiff_t>(on), pts.end());
            out.push_back(normalise(pts));
            first = o.contours[c] + 1;
        }
        return out;
    }
};

std::string cp932(const char* utf8) {
    auto s = utf8ToCp932(utf8);
    EXPECT_TRUE(s.has_value()) << utf8;
    return s.value_or("");
}

// One cache for the whole program: opening fontconfig's configuration is the
// slow part, and the tests below do not depend on what was opened before,
// except OpensEachFaceOnce, which makes its own.
FontOutlineCache& sharedCache() {
    static FontOutlineCache cache;
    return cache;
}

// ---- Face lookup -----------------------------------------------------------

struct SubstituteRow {
    const char* label;
    const char* name; // UTF-8; passed to the lookup as code page 932
    const char* family;
    const char* file;
};

void PrintTo(const SubstituteRow& row, std::ostream* os) {
    *os << row.label;
}

class Substitution : public testing::TestWithParam<SubstituteRow> {};

TEST_P(Substitution, ResolvesToInstalledFamily) {
    const SubstituteRow& row = GetParam();
    const FontFace& face = sharedCache().face(cp932(row.name));
    EXPECT_EQ(face.family(), row.family);
    EXPECT_EQ(face.file().filename(), row.file);
    EXPECT_EQ(&face, &sharedCache().faceUtf8(row.name)) << "the UTF-8 lookup finds the same face";
}

INSTANTIATE_TEST_SUITE_P(
    DefaultFaces, Substitution,
    testing::Values(
        SubstituteRow{"MSGothicJapanese", "ＭＳ ゴシック", "IPAGothic", "ipag.ttf"},
        SubstituteRow{"MSGothic", "MS Gothic", "IPAGothic", "ipag.ttf"},
        SubstituteRow{"MSMinchoJapanese", "ＭＳ 明朝", "IPAMincho", "ipam.ttf"},
        SubstituteRow{"MSMincho", "MS Mincho", "IPAMincho", "ipam.ttf"},
        SubstituteRow{"MSPGothicJapanese", "ＭＳ Ｐゴシック", "IPAPGothic", "ipagp.ttf"},
        SubstituteRow{"MSPMinchoJapanese", "ＭＳ Ｐ明朝", "IPAPMincho", "ipamp.ttf"},
        SubstituteRow{"Arial", "Arial", "Liberation Sans", "LiberationSans-Regular.ttf"},
        SubstituteRow{"ArialAnyCase", "ARIAL", "Liberation Sans", "LiberationSans-Regular.ttf"},
        SubstituteRow{"TimesNewRoman", "Times New Roman", "Liberation Serif",
                      "LiberationSerif-Regular.ttf"},
        SubstituteRow{"CourierNew", "Courier New", "Liberation Mono", "LiberationMono-Regular.ttf"},
        SubstituteRow{"InstalledFamily", "Liberation Serif", "Liberation Serif",
                      "LiberationSerif-Regular.ttf"},
        SubstituteRow{"InstalledJapaneseFamily", "IPAPMincho", "IPAPMincho", "ipamp.ttf"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FaceLookup, NameIsCutLikeTheOldFontDescription) {
    using namespace std::string_literals;
    EXPECT_EQ(sharedCache().face("Arial\0Black"s).family(), "Liberation Sans")
        << "a name ends at its NUL";
    EXPECT_EQ(cutFaceName(std::string(40, 'x')), std::string(31, 'x'));
    // A double-byte character that would straddle byte 31 is left out whole.
    const std::string straddling = std::string(30, 'x') + cp932("ゴ");
    EXPECT_EQ(cutFaceName(straddling), std::string(30, 'x'));
    const std::string fitting = std::string(29, 'x') + cp932("ゴ") + "yy";
    EXPECT_EQ(cutFaceName(fitting), fitting.substr(0, 31));
    // Half-width katakana are single bytes, not lead bytes.
    EXPECT_EQ(cutFaceName(std::string(30, 'x') + "\xB1\xB2"), std::string(30, 'x') + "\xB1");
}

TEST(FaceLookup, UnknownOrBrokenNamesGetAJapaneseSubstitute) {
    const std::string names[] = {
        "No Such Face At All",
        "",
        "\x81",                             // a lone lead byte: not code page 932
        std::string(40, 'x'),               // longer than a face name can be
        std::string(30, 'x') + cp932("ゴ"), // the 31-byte cut falls inside a character
    };
    for (const std::string& name : names) {
        const FontFace& face = sharedCache().face(name);
        EXPECT_TRUE(face.covers(U'あ')) << "name \"" << name << "\" gave " << face.family();
        const GlyphOutline g = sharedCache().outline(face, U'あ');
        EXPECT_FALSE(g.data.empty());
    }
}

TEST(FaceLookup, OpensEachFaceOnce) {
    FontOutlineCache cache;
    const FontFace& gothic = cache.face(cp932("ＭＳ ゴシック"));
    EXPECT_EQ(&gothic, &cache.faceUtf8("MS Gothic"));
    EXPECT_EQ(&gothic, &cache.faceUtf8("ms gothic"));
    const FontFace& arial = cache.faceUtf8("Arial");
    for (char32_t ch : std::u32string(U"Hello, あいう漢字 world")) {
        cache.outline(arial, ch); // Japanese characters lend from IPAGothic
        cache.outline(gothic, ch);
    }
    EXPECT_EQ(cache.outline(arial, U'漢').source, &gothic)
        << "the lending face is the one already open";
    EXPECT_EQ(cache.openCount(), 2);
}

// ---- Outlines of real glyphs -----------------------------------------------

struct GlyphRow {
    const char* label;
    const char* face;
    char32_t ch;
    int contours; // -1: not checked
    bool hasSplines;
};

void PrintTo(const GlyphRow& row, std::ostream* os) {
    *os << row.label;
}

class GlyphBuffer : public testing::TestWithParam<GlyphRow> {};

TEST_P(GlyphBuffer, WalksCleanlyAndMatchesTheFaceOutline) {
    const GlyphRow& row = GetParam();
    const FontFace& face = sharedCache().faceUtf8(row.face);
    const GlyphOutline g = sharedCache().outline(face, row.ch);
    ASSERT_FALSE(g.failed);
    ASSERT_EQ(g.source, &face);
    std::string why;
    const auto polygons = parse(g.data, &why);
    ASSERT_TRUE(polygons) << why;
    if (row.contours >= 0) {
        ASSERT_EQ(static_cast<int>(polygons->size()), row.contours);
    }

    bool splines = false;
    for (const Polygon& p : *polygons) {
        for (const Record& r : p.records)
            splines |= r.type == kPrimQSpline;
    }
    EXPECT_EQ(splines, row.hasSplines);

    // Same points, same order, same on/off-curve roles as the face's own
    // outline, each polygon starting on-curve.
    Reference ref(face);
    const auto expected = ref.contours(row.ch);
    ASSERT_EQ(expected.size(), polygons->size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(flatten((*polygons)[i]), expected[i]) << "contour " << i;
    EXPECT_GT(g.advance, 0);
}

INSTANTIATE_TEST_SUITE_P(Faces, GlyphBuffer,
                         testing::Values(GlyphRow{"SansA", "Arial", U'A', 2, true},
                                         GlyphRow{"SansH", "Arial", U'H', 1, false},
                                         GlyphRow{"SansO", "Arial", U'O', 2, true},
                                         GlyphRow{"SerifG", "Times New Roman", U'g', -1, true},
                                         GlyphRow{"MonoAt", "Courier New", U'@', -1, true},
                                         GlyphRow{"GothicA", "MS Gothic", U'あ', -1, true},
                                         GlyphRow{"MinchoKan", "MS Mincho", U'漢', -1, true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(GlyphOutlines, SpacesHaveNoOutlineButAnAdvance) {
    for (const char* name : {"Arial", "MS Gothic"}) {
        for (char32_t ch : {U' ', U'\u3000'}) {
            const GlyphOutline g = sharedCache().outline(sharedCache().faceUtf8(name), ch);
            EXPECT_FALSE(g.failed) << name;
            EXPECT_TRUE(g.data.empty()) << name;
            EXPECT_GT(g.advance, 0) << name << " U+" << std::hex << static_cast<unsigned>(ch);
        }
    }
}

TEST(GlyphOutlines, LineBreaksAreBlankNotBoxes) {
    for (const char* name : {"Arial", "MS Gothic"}) {
        const FontFace& face = sharedCache().faceUtf8(name);
        const std::int16_t space = sharedCache().outline(face, U' ').advance;
        for (char32_t ch : {U'\r', U'\n', U'\t'}) {
            const GlyphOutline g = sharedCache().outline(face, ch);
            EXPECT_TRUE(g.data.empty()) << name << " " << static_cast<int>(ch);
            EXPECT_EQ(g.advance, space) << name << " " << static_cast<int>(ch);
            EXPECT_EQ(g.source, &face);
        }
    }
}

TEST(GlyphOutlines, AdvanceIsTheAdvanceWidthAtCellHeight1000) {
    const FontFace& face = sharedCache().faceUtf8("Arial");
    Reference ref(face);
    EXPECT_EQ(face.cellUnits(), ref.winCell());
    for (char32_t ch : {U'A', U'i', U'W', U'1'}) {
        FT_Fixed width = 0;
        ASSERT_EQ(
            FT_Get_Advance(ref.face, FT_Get_Char_Index(ref.face, ch), FT_LOAD_NO_SCALE, &width), 0);
        EXPECT_EQ(sharedCache().outline(face, ch).advance,
                  std::lround(width * 1000.0 / ref.winCell()))
            << static_cast<char>(ch);
    }
}

TEST(GlyphOutlines, MissingCharactersAreLentByACoveringFace) {
    FontOutlineCache& cache = sharedCache();
    const FontFace& arial = cache.faceUtf8("Arial");
    const FontFace& gothic = cache.faceUtf8("MS Gothic");

    const GlyphOutline a = cache.outline(arial, U'あ');
    EXPECT_FALSE(a.failed);
    EXPECT_EQ(a.source->family(), "IPAGothic");
    EXPECT_FALSE(a.data.empty());
    EXPECT_EQ(a.data, cache.outline(gothic, U'あ').data) << "lent at the lending face's own size";

    // Ukrainian Ghe with upturn is not in the Japanese face; a face that has
    // it lends it.
    ASSERT_FALSE(gothic.covers(U'\u0490'));
    const GlyphOutline ghe = cache.outline(gothic, U'\u0490');
    EXPECT_NE(ghe.source, &gothic);
    EXPECT_TRUE(ghe.source->covers(U'\u0490'));
    EXPECT_FALSE(ghe.data.empty());

    // No face has a private-use plane character: the face's own .notdef glyph.
    const GlyphOutline none = cache.outline(arial, U'\U0010FFFD');
    EXPECT_EQ(none.source, &arial);
    EXPECT_FALSE(none.failed);
    EXPECT_GT(none.advance, 0);
}

TEST(GlyphOutlines, UnpairedSurrogateFailsWithAnAdvance) {
    const GlyphOutline g =
        sharedCache().outline(sharedCache().faceUtf8("MS Gothic"), char16_t{0xD800});
    EXPECT_TRUE(g.failed);
    EXPECT_TRUE(g.data.empty());
    EXPECT_GT(g.advance, 0);
}

TEST(FontMetricsTest, TypographicAscentAndNegativeDescent) {
    for (const char* name :
         {"Arial", "Times New Roman", "Courier New", "MS Gothic", "MS Mincho", "ＭＳ Ｐゴシック"}) {
        const FontFace& face = sharedCache().faceUtf8(name);
        const FontMetrics& m = face.metrics();
        EXPECT_GT(m.ascent, 500) << name;
        EXPECT_LT(m.ascent, 1000) << name;
        EXPECT_LT(m.descent, 0) << name;
        EXPECT_GT(m.descent, -500) << name;

        Reference ref(face);
        EXPECT_EQ(m.ascent, std::lround(ref.os2().sTypoAscender * 1000.0 / ref.winCell())) << name;
        EXPECT_EQ(m.descent, std::lround(ref.os2().sTypoDescender * 1000.0 / ref.winCell()))
            << name;
    }
}

// ---- Conversion rules on hand-made outlines --------------------------------

struct OutlineRow {
    const char* label;
    std::vector<FT_Vector> points;
    std::vector<char> tags;      // 1 on-curve, 0 conic off-curve, 2 cubic off-curve
    std::vector<Polygon> expect; // in whole units (scale 65536)
};

Fx u(int x, int y) {
    return {x * 65536, y * 65536};
}

void PrintTo(const OutlineRow& row, std::ostream* os) {
    *os << row.label;
}

class Conversion : public testing::TestWithParam<OutlineRow> {};

TEST_P(Conversion, OneContour) {
    OutlineRow row = GetParam();
    short end = static_cast<short>(row.points.size() - 1);
    FT_Outline o{};
    o.n_contours = 1;
    o.n_points = static_cast<short>(row.points.size());
    o.points = row.points.data();
    o.tags = row.tags.data();
    o.contours = &end;
    std::vector<std::uint8_t> buffer;
    ASSERT_TRUE(appendNativeOutline(o, 65536.0, buffer));
    std::string why;
    const auto polygons = parse(buffer, &why);
    ASSERT_TRUE(polygons) << why;
    ASSERT_EQ(polygons->size(), 1u);
    const Polygon& got = polygons->front();
    const Polygon& want = row.expect.front();
    EXPECT_EQ(got.start, want.start);
    ASSERT_EQ(got.records.size(), want.records.size());
    for (std::size_t i = 0; i < want.records.size(); ++i) {
        EXPECT_EQ(got.records[i].type, want.records[i].type) << "record " << i;
        EXPECT_EQ(got.records[i].points, want.records[i].points) << "record " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Conversion,
    testing::Values(
        // A triangle: one line record, the closing edge back to the start included.
        OutlineRow{"TriangleClosesWithLine",
                   {{0, 0}, {10, 0}, {0, 10}},
                   {1, 1, 1},
                   {{u(0, 0), {{kPrimLine, {u(10, 0), u(0, 10), u(0, 0)}}}}}},
        // A contour listed back to its start point needs no extra closing edge.
        OutlineRow{"RepeatedStartNotClosedTwice",
                   {{0, 0}, {10, 0}, {0, 10}, {0, 0}},
                   {1, 1, 1, 1},
                   {{u(0, 0), {{kPrimLine, {u(10, 0), u(0, 10), u(0, 0)}}}}}},
        // Starts at the first on-curve point, not at the leading off-curve one.
        OutlineRow{"RotatedToFirstOnCurve",
                   {{5, 10}, {0, 0}, {10, 0}},
                   {0, 1, 1},
                   {{u(0, 0), {{kPrimLine, {u(10, 0)}}, {kPrimQSpline, {u(5, 10), u(0, 0)}}}}}},
        // Two off-curve points in a row stay one record; the implied midpoint is not stored.
        OutlineRow{
            "SplineRunKeepsImpliedMidpoint",
            {{0, 0}, {0, 10}, {10, 10}, {10, 0}},
            {1, 0, 0, 1},
            {{u(0, 0), {{kPrimQSpline, {u(0, 10), u(10, 10), u(10, 0)}}, {kPrimLine, {u(0, 0)}}}}}},
        // No on-curve point: start midway between the first two points.
        OutlineRow{
            "AllOffCurveStartsAtMidpoint",
            {{0, 0}, {10, 0}, {10, 10}, {0, 10}},
            {0, 0, 0, 0},
            {{u(5, 0), {{kPrimQSpline, {u(10, 0), u(10, 10), u(0, 10), u(0, 0), u(5, 0)}}}}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ConversionBytes, TriangleLayoutFieldByField) {
    FT_Vector pts[] = {{1, 2}, {3, -4}};
    char tags[] = {1, 1};
    short end = 1;
    FT_Outline o{};
    o.n_contours = 1;
    o.n_points = 2;
    o.points = pts;
    o.tags = tags;
    o.contours = &end;
    std::vector<std::uint8_t> buffer;
    ASSERT_TRUE(appendNativeOutline(o, 32768.0, buffer)); // one unit = 0.5
    const std::vector<std::uint8_t> expected = {
        36,   0,    0,    0,    // cb: header 16 + record 4 + 2 points
        24,   0,    0,    0,    // dwType TT_POLYGON_TYPE
        0x00, 0x80, 0x00, 0x00, // start x 0.5: fract 0x8000, value 0
        0x00, 0x00, 0x01, 0x00, // start y 1.0
        1,    0,    2,    0,    // TT_PRIM_LINE, 2 points
        0x00, 0x80, 0x01, 0x00, // x 1.5
        0x00, 0x00, 0xFE, 0xFF, // y -2.0: fract 0, value -2
        0x00, 0x80, 0x00, 0x00, // back to the start: x 0.5
        0x00, 0x00, 0x01, 0x00, //                    y 1.0
    };
    EXPECT_EQ(buffer, expected);
}

TEST(ConversionCubic, CubicSegmentsBecomeCloseQuadratics) {
    // A quarter-circle-like cubic, 600 units across: several pieces needed.
    FT_Vector pts[] = {{0, 0}, {0, 330}, {270, 600}, {600, 600}};
    char tags[] = {1, 2, 2, 1};
    short end = 3;
    FT_Outline o{};
    o.n_contours = 1;
    o.n_points = 4;
    o.points = pts;
    o.tags = tags;
    o.contours = &end;
    std::vector<std::uint8_t> buffer;
    ASSERT_TRUE(appendNativeOutline(o, 65536.0, buffer));
    std::string why;
    const auto polygons = parse(buffer, &why);
    ASSERT_TRUE(polygons) << why;
    const Polygon& p = polygons->front();
    ASSERT_GE(p.records.size(), 3u); // quadratic pieces and the closing line
    EXPECT_EQ(p.records.back().type, kPrimLine);
    EXPECT_EQ(p.records[p.records.size() - 2].points.back(), u(600, 600));

    // Every piece stays within half a unit of the cubic at its parameters.
    auto cubic = [&](double t, int axis) {
        auto c = [&](int i) { return static_cast<double>(axis ? pts[i].y : pts[i].x); };
        const double s = 1 - t;
        return s * s * s * c(0) + 3 * s * s * t * c(1) + 3 * s * t * t * c(2) + t * t * t * c(3);
    };
    const std::size_t pieces = p.records.size() - 1;
    Fx from = p.start;
    for (std::size_t i = 0; i < pieces; ++i) {
        const Record& r = p.records[i];
        ASSERT_EQ(r.type, kPrimQSpline);
        ASSERT_EQ(r.points.size(), 2u);
        for (double f = 0; f <= 1.0; f += 0.125) {
            const double s = 1 - f;
            const double qx =
                (s * s * from.x + 2 * s * f * r.points[0].x + f * f * r.points[1].x) / 65536;
            const double qy =
                (s * s * from.y + 2 * s * f * r.points[0].y + f * f * r.points[1].y) / 65536;
            const double t = (i + f) / static_cast<double>(pieces);
            EXPECT_LT(std::hypot(qx - cubic(t, 0), qy - cubic(t, 1)), 0.5)
                << "piece " << i << " at " << f;
        }
        from = r.points[1];
    }
}

TEST(ConversionBytes, InconsistentContourTableIsRefused) {
    FT_Vector pts[] = {{0, 0}, {1, 0}};
    char tags[] = {1, 1};
    short ends[] = {1, 5};
    FT_Outline o{};
    o.n_contours = 2;
    o.n_points = 2;
    o.points = pts;
    o.tags = tags;
    o.contours = ends;
    std::vector<std::uint8_t> buffer;
    EXPECT_FALSE(appendNativeOutline(o, 65536.0, buffer));
}

} // namespace
} // namespace platform
