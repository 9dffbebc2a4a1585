// The renderer and the timeline: pixels of hand-made movies (morph ratios,
// colour transforms, bitmap fills, fill sides, glyphs) and of the movies our
// compiler writes.
#include "HostileMovies.h"
#include "common/TempDir.h"
#include "player/CoverageFill.h"
#include "player/MoviePlayer.h"
#include "player/SwfReader.h"
#include "player/Timeline.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace swfbuild;

namespace {

QImage render(player::MoviePlayer& movie, int frame, double scale = 1) {
    const player::MovieInfo& info = movie.info();
    QImage image(int(info.width * scale), int(info.height * scale),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    movie.renderFrame(frame, painter, scale);
    return image;
}

QImage render(const Bytes& bytes, int frame = 0, double scale = 1) {
    player::MoviePlayer movie;
    std::string error;
    EXPECT_TRUE(movie.loadBytes(bytes, &error)) << error;
    return render(movie, frame, scale);
}

// The pixel matches within `tolerance` levels per channel.
::testing::AssertionResult pixelIs(const QImage& image, int x, int y, QRgb expected,
                                   int tolerance = 2) {
    const QRgb got = image.pixel(x, y);
    const int d =
        std::max({std::abs(qRed(got) - qRed(expected)), std::abs(qGreen(got) - qGreen(expected)),
                  std::abs(qBlue(got) - qBlue(expected))});
    if (d <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pixel (" << x << ", " << y << ") is " << QColor(got).name().toStdString()
           << ", expected " << QColor(expected).name().toStdString();
}

Bytes white() {
    return tag(SetBackgroundColor, Bits().rgb(0xFFFFFF));
}

// A morph from a red square at x 0..100 px to a blue one at 100..200 px,
// placed at the given ratio.
Bytes morphMovie(uint16_t ratio) {
    Bits start;
    start.u8(1).u8(0x00).rgba(0xFF0000, 0xFF).rgba(0x0000FF, 0xFF); // one morph fill
    start.u8(0);                                                    // no line styles
    start.bits(1, 4).bits(0, 4).rectEdges(0, 0, 2000, 2000, -1, 1, 1).endShape();
    Bits end;
    end.bits(0, 4).bits(0, 4).styleChange(true, 2000, 0, -1, -1, 0);
    end.line(2000, 0).line(0, 2000).line(-2000, 0).line(0, -2000).endShape();
    Bits b;
    b.u16(1).rect(0, 2000, 0, 2000).rect(2000, 4000, 0, 2000).u32(uint32_t(start.size()));
    b.raw(start.bytes()).raw(end.bytes());
    Bits p;
    p.u8(0x16).u16(1).u16(1).matrix().u16(ratio); // place with matrix and ratio
    return swfbuild::movie(200, 100, 12,
                           {white(), tag(DefineMorphShape, b), tag(PlaceObject2, p), showFrame()});
}

struct MorphRow {
    const char* name;
    uint16_t ratio;
    std::vector<std::pair<int, QRgb>> probes; // x on the row y = 50, colour
};

class MorphRatios : public ::testing::TestWithParam<MorphRow> {};

TEST_P(MorphRatios, ShapeAndColourFollowTheRatio) {
    const QImage image = render(morphMovie(GetParam().ratio));
    for (auto [x, colour] : GetParam().probes)
        EXPECT_TRUE(pixelIs(image, x, 50, colour, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Renderer, MorphRatios,
    ::testing::Values(
        MorphRow{"Start", 0, {{50, 0xFF0000}, {150, 0xFFFFFF}}},
        MorphRow{"Half", 32768, {{48, 0xFFFFFF}, {52, 0x7F0080}, {147, 0x7F0080}, {152, 0xFFFFFF}}},
        MorphRow{"End", 65535, {{50, 0xFFFFFF}, {150, 0x0000FF}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ColourRow {
    const char* name;
    std::vector<int32_t> mult, add;
    QRgb expected; // red square over white
};

class ColourTransforms : public ::testing::TestWithParam<ColourRow> {};

TEST_P(ColourTransforms, ApplyToTheFill) {
    Bits p;
    p.u8(0x0E).u16(1).u16(1).matrix().cxformAlpha(GetParam().mult, GetParam().add);
    const QImage image = render(swfbuild::movie(
        100, 100, 12,
        {white(), solidRect(1, 0, 0, 2000, 2000, 0xFF0000), tag(PlaceObject2, p), showFrame()}));
    EXPECT_TRUE(pixelIs(image, 50, 50, GetParam().expected, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Renderer, ColourTransforms,
    ::testing::Values(ColourRow{"HalfAlpha", {256, 256, 256, 128}, {}, 0xFF8080},
                      ColourRow{"AlphaAddedAway", {}, {0, 0, 0, -192}, 0xFFC0C0},
                      ColourRow{"RedToBlue", {}, {-255, 0, 255, 0}, 0x0000FF},
                      ColourRow{
                          "HalfRedQuarterAlpha", {128, 256, 256, 64}, {0, 0, 0, 0}, 0xDFC0C0}),
    [](const auto& info) { return std::string(info.param.name); });

struct BitmapRow {
    const char* name;
    bool clipped, prefix;
    QRgb topLeftCorner, bottomRight; // stage pixels (5, 5) and (100, 100)
};

class BitmapFills : public ::testing::TestWithParam<BitmapRow> {};

// The picture drawn 4 times its size (80 twips a pixel) from (20, 20) on a
// shape that covers the whole 120 x 120 stage.
TEST_P(BitmapFills, PictureThroughItsMatrix) {
    Bits jpeg;
    jpeg.u16(7);
    if (GetParam().prefix) jpeg.raw({0xFF, 0xD9, 0xFF, 0xD8});
    jpeg.raw(quadrantJpeg());
    Bits s;
    s.u16(1).rect(0, 2400, 0, 2400).u8(1).u8(GetParam().clipped ? 0x41 : 0x40).u16(7);
    s.matrix(80 << 16, 80 << 16, 0, 0, 400, 400).u8(0).bits(1, 4).bits(0, 4);
    s.rectEdges(0, 0, 2400, 2400, -1, 1, 1).endShape();
    const QImage image = render(swfbuild::movie(
        120, 120, 12,
        {white(), tag(DefineBitsJPEG2, jpeg), tag(DefineShape, s), place(1, 1), showFrame()}));
    EXPECT_TRUE(pixelIs(image, 30, 30, 0xFF0000, 24));
    EXPECT_TRUE(pixelIs(image, 70, 30, 0x00FF00, 24));
    EXPECT_TRUE(pixelIs(image, 30, 70, 0x0000FF, 24));
    EXPECT_TRUE(pixelIs(image, 70, 70, 0xFFFF00, 24));
    EXPECT_TRUE(pixelIs(image, 5, 5, GetParam().topLeftCorner, 24));
    EXPECT_TRUE(pixelIs(image, 100, 100, GetParam().bottomRight, 24));
}

INSTANTIATE_TEST_SUITE_P(
    Renderer, BitmapFills,
    ::testing::Values(BitmapRow{"ClippedExtendsItsEdges", true, false, 0xFF0000, 0xFFFF00},
                      BitmapRow{"ClippedWithPrefix", true, true, 0xFF0000, 0xFFFF00},
                      BitmapRow{"RepeatingTiles", false, false, 0xFFFF00, 0xFF0000},
                      BitmapRow{"RepeatingWithPrefix", false, true, 0xFFFF00, 0xFF0000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Renderer, FillSides) {
    // Two squares sharing an edge: red on its fill style 0 side, blue on its
    // fill style 1 side; below them a triangle whose edges carry style 1 on
    // both sides and so fill nothing.
    Bits s;
    s.u16(1).rect(0, 4000, 0, 2000).u8(2).u8(0).rgb(0xFF0000).u8(0).rgb(0x0000FF).u8(0);
    s.bits(2, 4).bits(0, 4);
    s.styleChange(true, 2000, 0, 1, 2, 2).line(0, 1000); // shared edge
    s.styleChange(true, 2000, 0, 0, 1, 2).line(-2000, 0).line(0, 1000).line(2000, 0);
    s.styleChange(true, 2000, 0, 2, 0, 2).line(2000, 0).line(0, 1000).line(-2000, 0);
    s.styleChange(true, 1000, 1000, 1, 1, 2).line(500, 1000).line(-1000, 0).line(500, -1000);
    s.endShape();
    const QImage image = render(
        swfbuild::movie(200, 100, 12, {white(), tag(DefineShape, s), place(1, 1), showFrame()}));
    EXPECT_TRUE(pixelIs(image, 50, 25, 0xFF0000, 0));
    EXPECT_TRUE(pixelIs(image, 150, 25, 0x0000FF, 0));
    EXPECT_TRUE(pixelIs(image, 50, 90, 0xFFFFFF, 0));
}

TEST(Renderer, GlyphsOnTheSquareScaledByTheTextHeight) {
    // Glyph 0: a 512-unit square on the baseline; at height 400 twips it is
    // 10 px wide, drawn from x 10 px with its baseline at y 30 px.
    Bits g;
    g.bits(1, 4).bits(0, 4).rectEdges(0, -512, 512, 512, -1, 1, 1).endShape();
    Bits font;
    font.u16(1).u16(2).raw(g.bytes());
    Bits text;
    text.u16(2).rect(0, 2000, 0, 2000).matrix(65536, 65536, 0, 0, 0, 200).u8(1).u8(10);
    text.u8(0x8F).u16(1).rgba(0x000080, 0xFF).u16(200).u16(400).u16(400);
    text.u8(2).bits(0, 1).sbits(300, 10).bits(0, 1).sbits(300, 10).align().u8(0);
    const QImage image = render(swfbuild::movie(
        100, 100, 12,
        {white(), tag(DefineFont, font), tag(DefineText2, text), place(1, 2), showFrame()}));
    EXPECT_TRUE(pixelIs(image, 15, 25, 0x000080, 0)); // first glyph
    EXPECT_TRUE(pixelIs(image, 30, 25, 0x000080, 0)); // second glyph, 300 twips on
    EXPECT_TRUE(pixelIs(image, 15, 18, 0xFFFFFF, 0)); // above the glyphs
    EXPECT_TRUE(pixelIs(image, 22, 25, 0xFFFFFF, 0)); // between them
}

TEST(Renderer, ScaleAndBackground) {
    const QImage image = render(
        swfbuild::movie(100, 50, 12,
                        {tag(SetBackgroundColor, Bits().rgb(0x336699)),
                         solidRect(1, 0, 0, 1000, 1000, 0xFF0000), place(1, 1), showFrame()}),
        0, 2);
    ASSERT_EQ(image.size(), QSize(200, 100));
    EXPECT_TRUE(pixelIs(image, 105, 50, 0x336699, 0));
    EXPECT_TRUE(pixelIs(image, 199, 99, 0x336699, 0));
    EXPECT_TRUE(pixelIs(image, 90, 90, 0xFF0000, 0)); // the 50 px square is 100 px now
}

// A movie of `frames` frames: a square moved one pixel to the right each
// frame, a second square placed on frame 10 and removed on frame 20.
Bytes longMovie(int frames) {
    std::vector<Bytes> tags{white(), solidRect(1, 0, 0, 200, 200, 0xFF0000),
                            solidRect(2, 0, 1000, 200, 200, 0x0000FF), place(1, 1)};
    for (int k = 0; k < frames; ++k) {
        Bits move;
        move.u8(0x05).u16(1).matrix(65536, 65536, 0, 0, 20 * (k % 400), 0);
        tags.push_back(tag(PlaceObject2, move));
        if (k == 10) tags.push_back(place(2, 2));
        if (k == 20) tags.push_back(tag(RemoveObject2, Bits().u16(2)));
        tags.push_back(showFrame());
    }
    return swfbuild::movie(420, 100, 30, tags);
}

TEST(Timeline, JumpsStartFromASnapshot) {
    player::Movie movie;
    std::string error;
    ASSERT_TRUE(player::readSwf(longMovie(1800), &movie, &error)) << error;
    player::Timeline timeline(movie, 32);
    const player::DisplayList& last = timeline.goTo(1799);
    EXPECT_EQ(last.at(1).matrix.dx(), 20 * (1799 % 400));
    EXPECT_LT(timeline.appliedFrames(), 32);
    const long before = timeline.appliedFrames();
    const player::DisplayList& early = timeline.goTo(15);
    EXPECT_EQ(early.size(), 2u);
    EXPECT_EQ(early.at(1).matrix.dx(), 20 * 15);
    EXPECT_LT(timeline.appliedFrames() - before, 32);
    EXPECT_EQ(timeline.goTo(25).size(), 1u); // removed on frame 20
    EXPECT_EQ(timeline.goTo(100000).at(1).matrix.dx(),
              20 * (1799 % 400)); // clamped
}

TEST(Timeline, PlacingOnAnOccupiedDepthIsIgnored) {
    player::Movie movie;
    std::string error;
    ASSERT_TRUE(player::readSwf(
        swfbuild::movie(100, 100, 12, {place(1, 5), showFrame(), place(1, 6), showFrame()}), &movie,
        &error));
    player::Timeline timeline(movie);
    EXPECT_EQ(timeline.goTo(1).at(1).character, 5);
}

// The shipped example, compiled by our compiler: the colours the real
// player shows at its probes.
// An outline of four lines or four curves with a hole (running the other
// way) and a square that overlaps it (running the same way), filled by
// CoverageFill (the lines one by one, the curves as a path whose subpaths it
// closes) and by the painter: curves as the painter's path of 64 lines each,
// which follows them within a hundredth of a pixel.
TEST(Renderer, CoverageFillAgreesWithThePainter) {
    const QPointF corners[] = {{10.3, 12.7}, {60.2, 20.1}, {50.5, 70.9}, {15.1, 55.5}};
    const QPointF controls[] = {{40, 5}, {70, 50}, {30, 75}, {5, 30}};
    const std::vector<QPointF> hole{{30, 30}, {30, 40}, {40, 40}, {40, 30}};
    const std::vector<QPointF> square{{45.5, 45.5}, {65.5, 45.5}, {65.5, 65.5}, {45.5, 65.5}};
    for (const bool curved : {false, true}) {
        QImage direct(80, 80, QImage::Format_ARGB32_Premultiplied);
        direct.fill(Qt::white);
        QImage painted = direct.copy();
        player::CoverageFill fill;
        fill.begin(QRect(0, 0, 80, 80));
        QPainterPath path, curves;
        path.moveTo(corners[0]);
        curves.moveTo(corners[0]);
        for (int i = 0; i < 4; ++i) {
            const QPointF from = corners[i], to = corners[(i + 1) % 4];
            if (!curved) {
                fill.line(from, to);
                path.lineTo(to);
                continue;
            }
            curves.quadTo(controls[i], to);
            for (int k = 1; k <= 64; ++k) {
                const double t = k / 64.0, u = 1 - t;
                path.lineTo(u * u * from + 2 * u * t * controls[i] + t * t * to);
            }
        }
        for (const auto& loop : {hole, square}) {
            const QPolygonF polygon(QList<QPointF>(loop.begin(), loop.end()));
            path.addPolygon(polygon);
            path.closeSubpath();
            curves.addPolygon(polygon); // left open
            if (!curved)
                for (size_t i = 0; i < loop.size(); ++i)
                    fill.line(loop[i], loop[(i + 1) % loop.size()]);
        }
        if (curved) fill.path(curves, QTransform());
        path.setFillRule(Qt::WindingFill);
        fill.fill(direct, qPremultiply(qRgb(200, 0, 100)), direct.rect());
        QPainter painter(&painted);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(path, QColor(200, 0, 100));
        painter.end();
        int worst = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 80; ++x)
                worst = std::max(
                    worst, std::abs(qGreen(direct.pixel(x, y)) - qGreen(painted.pixel(x, y))));
        EXPECT_LE(worst, curved ? 16 : 4) << (curved ? "curves" : "lines");
        EXPECT_EQ(direct.pixel(35, 35), qRgb(255, 255, 255)); // the hole
        EXPECT_EQ(direct.pixel(55, 55), qRgb(200, 0, 100));   // covered twice, once
    }
}

TEST(Renderer, CompiledExampleMovie) {
    movitest::TempDir dir("movi-player");
    const std::string swf = dir.file("demo.swf");
    const std::string command = std::string("'") + MOVI_BIN_DIR + "/moviloomster-compile' '" +
                                MOVI_SOURCE_DIR + "/examples/demo.fmo' -o '" + swf +
                                "' --no-html > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    player::MoviePlayer movie;
    std::string error;
    ASSERT_TRUE(movie.load(swf, &error)) << error;
    EXPECT_EQ(movie.info().width, 550);
    EXPECT_EQ(movie.info().height, 400);
    EXPECT_EQ(movie.info().frameCount, 43);
    EXPECT_TRUE(movie.warnings().empty());
    EXPECT_TRUE(pixelIs(render(movie, 0), 80, 300, 0x2040C0, 12));
    EXPECT_TRUE(pixelIs(render(movie, 36), 450, 300, 0x79C680, 12));

    // Glyphs are filled straight into a plain picture; through a clip they
    // go through the painter, which follows curves less closely (within a
    // quarter pixel): the two differ only a little, on a few edge pixels
    // (a shift or a lost glyph would change hundreds).
    for (const int frame : {0, 12, 24, 36}) {
        for (const double scale : {1.0, 1.7}) {
            const QImage direct = render(movie, frame, scale);
            QImage painted(direct.size(), QImage::Format_ARGB32_Premultiplied);
            painted.fill(Qt::black);
            {
                QPainter painter(&painted);
                painter.setClipRect(painted.rect());
                movie.renderFrame(frame, painter, scale);
            }
            int differing = 0, worst = 0;
            for (int y = 0; y < direct.height(); ++y)
                for (int x = 0; x < direct.width(); ++x) {
                    const QRgb a = direct.pixel(x, y), b = painted.pixel(x, y);
                    const int d =
                        std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
                    worst = std::max(worst, d);
                    differing += d > 24;
                }
            EXPECT_LE(worst, 64) << "frame " << frame << " at " << scale;
            EXPECT_LE(differing, direct.width() * direct.height() * 3 / 10000)
                << "frame " << frame << " at " << scale;
        }
    }
}

} // namespace
