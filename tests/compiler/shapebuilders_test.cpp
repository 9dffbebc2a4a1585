#include "compiler/ShapeBuilders.h"

#include "../player/SwfBuilder.h"
#include "StrictMovie.h"
#include "editor/model/MainUnit.h"
#include "platform/GlyphOutline.h"
#include "swf/FDTFonts.h"
#include "swf/FDTShapes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <vector>

using player::ShapeEdge;

inline bool operator==(const TPoint32& a, const TPoint32& b) {
    return a.x == b.x && a.y == b.y;
}
inline std::ostream& operator<<(std::ostream& os, const TPoint32& p) {
    return os << "(" << p.x << "," << p.y << ")";
}

namespace {

std::vector<TPoint32> points() {
    std::vector<TPoint32> v;
    for (int32_t i = 0; i < PointList.Count; ++i)
        v.push_back(*static_cast<TPoint32*>(PointList.GetItem(i)));
    return v;
}

// Undoes ToRelativePoints: absolute positions relative to (x0, y0).
std::vector<TPoint32> absolute(int32_t x0, int32_t y0) {
    std::vector<TPoint32> v = points();
    int32_t x = 0, y = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i == 0) {
            x = v[i].x - x0;
            y = v[i].y - y0;
        } else {
            x += v[i].x;
            y += v[i].y;
        }
        v[i] = {x, y};
    }
    return v;
}

class ShapeBuildersTest : public ::testing::Test {
protected:
    void SetUp() override { PointList.Clear(); }
    void TearDown() override { PointList.Clear(); }
};

ObjektState rectState(int32_t l, int32_t t, int32_t r, int32_t b, int32_t rotation = 0) {
    ObjektState s{};
    s.Left = l;
    s.Top = t;
    s.Right = r;
    s.Bottom = b;
    s.Rotation = rotation;
    return s;
}

TEST_F(ShapeBuildersTest, EllipseOfHundredBySixtyPixels) {
    BuildStateOutline(rectState(0, 0, 100, 60), dkEllipse, false);
    const std::vector<TPoint32> expected = {
        {707, 424},  {415, 599},   {1, 599},     {-413, 599},  {-705, 424}, {-997, 249},
        {-997, 1},   {-997, -247}, {-705, -422}, {-413, -597}, {1, -597},   {415, -597},
        {707, -422}, {999, -247},  {999, 1},     {999, 249},   {707, 424}};
    EXPECT_EQ(absolute(1000, 600), expected);
}

TEST_F(ShapeBuildersTest, TurnedOverEllipseIsCentredAndRunsClockwise) {
    BuildStateOutline(rectState(100, 60, 0, 0), dkEllipse, false);
    // Same outline as the upright 100 x 60 ellipse, around the same centre.
    const std::vector<TPoint32> turned = absolute(1000, 600);
    PointList.Clear();
    BuildStateOutline(rectState(0, 0, 100, 60), dkEllipse, false);
    EXPECT_EQ(turned, absolute(1000, 600));
}

TEST_F(ShapeBuildersTest, RectangleRecordsAndOddWidth) {
    BuildStateOutline(rectState(10, 10, 50, 50), dkRectangle, false);
    EXPECT_EQ(points(),
              (std::vector<TPoint32>{{200, 200}, {800, 0}, {0, 800}, {-800, 0}, {0, -800}}));
    PointList.Clear();
    AddRectPoints((41 / 2) * 20, 0);
    EXPECT_EQ(points()[1].x, 400); // half a pixel lost
}

TEST_F(ShapeBuildersTest, RotationByNinetyDegrees) {
    const FixedAngle a = FixedCosSin(-900 / 10);
    EXPECT_EQ(a.c, 0);
    EXPECT_EQ(a.s, -65536);
    AddRectPoints(400, 300);
    RotatePoints(a.c, a.s);
    EXPECT_EQ(points()[0], (TPoint32{-300, 400})); // (-hx, -hy) goes to (-hy, hx)
    EXPECT_EQ(FixedCosSin(-125 / 10).s, -13625);   // 12.5 degrees turn as -12
}

TEST_F(ShapeBuildersTest, OffsetAndRelativePoints) {
    AddRectPoints(10, 20);
    OffsetPoints(5, -5);
    EXPECT_EQ(points()[0], (TPoint32{-5, -25}));
    ToRelativePoints(100, 200);
    EXPECT_EQ(points(), (std::vector<TPoint32>{{95, 175}, {20, 0}, {0, 40}, {-20, 0}, {0, -40}}));
}

TEST_F(ShapeBuildersTest, TurnedOverRectangleRunsCounterClockwise) {
    EXPECT_FALSE(RectRunsCounterClockwise(rectState(0, 0, 10, 10)));
    EXPECT_TRUE(RectRunsCounterClockwise(rectState(10, 0, 0, 10)));
    EXPECT_TRUE(RectRunsCounterClockwise(rectState(0, 10, 10, 0)));
    EXPECT_FALSE(RectRunsCounterClockwise(rectState(10, 10, 0, 0)));
    EXPECT_FALSE(RectRunsCounterClockwise(rectState(0, 0, 0, 10)));
    // Mirroring makes the same rectangle run the other way round.
    BuildStateOutline(rectState(10, 0, 0, 10), dkRectangle, true);
    EXPECT_EQ(points(), (std::vector<TPoint32>{{0, 0}, {200, 0}, {0, 200}, {-200, 0}, {0, -200}}));
}

// A rectangle 4 billion pixels wide: its side is held to 2^24 pixels
// (335544320 twips) and its centre to 2^30 - 1 twips, so nothing overflows.
TEST_F(ShapeBuildersTest, AbsurdSizesAreHeldToTheLargestSideAndPosition) {
    BuildStateOutline(rectState(-2000000000, 0, 2000000000, 10), dkRectangle, false);
    const std::vector<TPoint32> p = points();
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[0], (TPoint32{-1073741823 - 167772160, 0})); // centre minus half the side
    EXPECT_EQ(p[1], (TPoint32{335544320, 0}));
    EXPECT_EQ(p[2], (TPoint32{0, 200}));
    EXPECT_EQ(p[3], (TPoint32{-335544320, 0}));
    EXPECT_EQ(ClampTwips(int64_t(1) << 40), (1 << 30) - 1);
    EXPECT_EQ(ClampTwips(-(int64_t(1) << 40)), -((1 << 30) - 1));
}

// A native outline buffer built by hand.
class OutlineBuffer {
public:
    void polygon(int16_t sx, int16_t sy) {
        m_start = m_bytes.size();
        u32(0);
        u32(24);
        fixed(sx);
        fixed(sy);
    }
    void record(uint16_t type, std::vector<std::pair<int16_t, int16_t>> pts, bool halfX = false) {
        u16(type);
        u16(static_cast<uint16_t>(pts.size()));
        for (auto [x, y] : pts) {
            fixed(x, halfX ? 0x8000 : 0);
            fixed(y);
        }
    }
    void close() {
        const auto cb = static_cast<uint32_t>(m_bytes.size() - m_start);
        for (int i = 0; i < 4; ++i)
            m_bytes[m_start + i] = static_cast<uint8_t>(cb >> (8 * i));
    }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    void u16(uint16_t v) {
        m_bytes.push_back(static_cast<uint8_t>(v));
        m_bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void fixed(int16_t whole, uint16_t fract = 0) {
        u16(fract);
        u16(static_cast<uint16_t>(whole));
    }
    std::vector<uint8_t> m_bytes;
    size_t m_start = 0;
};

// The glyph's edges as a player reads them from a font that holds it alone.
std::vector<ShapeEdge> decode(FShape& glyph) {
    swfbuild::Bits font;
    font.u16(1).u16(2).raw(FDTDefineFont::GlyphBytes(glyph)); // ID, offset table, outline
    const strictmovie::Movie m = strictmovie::Read(swfbuild::movie(
        100, 100, 12, {swfbuild::tag(swfbuild::DefineFont, font), swfbuild::showFrame()}));
    return m.tags.empty() ? std::vector<ShapeEdge>{} : m.get<player::Font>(m.tags[0]).glyphs.at(0);
}

player::Point delta(player::Point from, player::Point to) {
    return {to.x - from.x, to.y - from.y};
}

TEST(GlyphOutline, SplineRecordsOfTwoAndThreePoints) {
    // Metrics chosen so that y = 1000 - outline y.
    const GlyphMetrics m{1100, -100};
    OutlineBuffer b;
    b.polygon(0, 0);
    b.record(2, {{10, 20}, {30, 0}});           // one curve ending at its second point
    b.record(2, {{40, 10}, {60, 30}, {80, 0}}); // two curves, the first ending midway
    b.record(1, {{80, 100}});
    b.close();
    FShape shape;
    OutlineToShape(shape, b.bytes().data(), b.bytes().size(), m);
    EXPECT_EQ(shape.RecordCount(), 7u); // move, five edges, end
    const std::vector<ShapeEdge> edges = decode(shape);
    ASSERT_EQ(edges.size(), 5u);
    EXPECT_EQ(edges[0].from, (player::Point{0, 1000}));
    EXPECT_EQ(edges[0].fill0, 1);
    EXPECT_EQ(edges[0].fill1, 0);
    // Control and anchor deltas of the curves.
    const auto curve = [&](size_t i) {
        EXPECT_TRUE(edges[i].curved) << i;
        const player::Point c = delta(edges[i].from, edges[i].control);
        const player::Point a = delta(edges[i].control, edges[i].to);
        return std::vector<double>{c.x, c.y, a.x, a.y};
    };
    // (0,1000) -> control (10,980) -> anchor (30,1000)
    EXPECT_EQ(curve(0), (std::vector<double>{10, -20, 20, 20}));
    // control (40,990), anchor midpoint of (40,990),(60,970) = (50,980)
    EXPECT_EQ(curve(1), (std::vector<double>{10, -10, 10, -10}));
    // control (60,970), anchor (80,1000)
    EXPECT_EQ(curve(2), (std::vector<double>{10, -10, 20, 30}));
    EXPECT_FALSE(edges[3].curved);
    EXPECT_EQ(delta(edges[3].from, edges[3].to), (player::Point{0, -100}));
    // closing edge from (80, 900) back to (0, 1000)
    EXPECT_FALSE(edges[4].curved);
    EXPECT_EQ(delta(edges[4].from, edges[4].to), (player::Point{-80, 100}));
}

TEST(GlyphOutline, MidpointTruncatesTowardZeroAndWholePartsDropFractions) {
    const FixedPoint p{{0, -3}, {0xFFFF, 4}};
    const FixedPoint q{{0, 0}, {0, 1}};
    const FixedPoint mid = FixedMidpoint(p, q);
    EXPECT_EQ(mid.x.value, -1); // (-3 + 0) / 2 = -1.5 -> -1
    EXPECT_EQ(mid.y.value, 3);  // (5 + 1) / 2, 4.99998 counting as 5
    const GlyphPointValue gp = GlyphPoint({0x8000, 7}, {0xC000, 2}, GlyphMetrics{800, -200});
    EXPECT_EQ(gp.x, 7);
    EXPECT_EQ(gp.y, 598);
}

TEST(GlyphOutline, DamagedBufferStopsWithoutReadingPastIt) {
    OutlineBuffer b;
    b.polygon(0, 0);
    b.record(1, {{10, 0}, {10, 10}});
    b.close();
    std::vector<uint8_t> bytes = b.bytes();
    bytes[0] = 0xFF; // contour size far beyond the buffer
    FShape shape;
    OutlineToShape(shape, bytes.data(), bytes.size(), GlyphMetrics{1000, 0});
    EXPECT_EQ(shape.RecordCount(), 1u); // only the end record
    EXPECT_TRUE(decode(shape).empty());
    bytes = b.bytes();
    bytes[18] = 200; // a record claiming 200 points
    FShape shape2;
    OutlineToShape(shape2, bytes.data(), bytes.size(), GlyphMetrics{1000, 0});
    EXPECT_EQ(shape2.RecordCount(), 2u); // move, end
    EXPECT_TRUE(decode(shape2).empty());
}

TEST(GlyphOutline, RealFacesSpaceAndJapanese) {
    platform::FontOutlineCache fonts;
    FShape space;
    EXPECT_GT(GlyphToShape(space, u' ', "Arial", fonts), 0);
    EXPECT_EQ(space.RecordCount(), 1u);
    EXPECT_TRUE(decode(space).empty());
    FShape kanji;
    const int32_t advance =
        GlyphToShape(kanji, u'動', "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E", fonts);
    EXPECT_GT(advance, 500);
    EXPECT_GT(kanji.RecordCount(), 20u);
    const std::vector<ShapeEdge> edges = decode(kanji);
    ASSERT_GT(edges.size(), 15u);
    // Every contour closes: where the pen moves to a new contour, the one
    // before it has come back to its start.
    player::Point start = edges[0].from;
    for (size_t i = 1; i < edges.size(); ++i) {
        if (edges[i].from == edges[i - 1].to) continue;
        EXPECT_EQ(edges[i - 1].to, start) << i;
        start = edges[i].from;
    }
    EXPECT_EQ(edges.back().to, start);
}

} // namespace
