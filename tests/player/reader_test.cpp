// The reader on hand-made movies: both text record layouts, morph shapes,
// placements with colour transforms, and damaged files with their exact
// errors.
#include "SwfBuilder.h"
#include "player/SwfReader.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

using namespace swfbuild;
using player::Movie;

namespace {

Movie readOk(const Bytes& bytes) {
    Movie movie;
    std::string error;
    EXPECT_TRUE(player::readSwf(bytes, &movie, &error)) << error;
    return movie;
}

// A font of two glyphs on the 1024-unit square: glyph 0 a 512-unit square
// standing on the baseline, glyph 1 a bar 256 wide and 1024 high.
Bytes twoGlyphFont(uint16_t id) {
    Bits g0, g1;
    g0.bits(1, 4).bits(0, 4).rectEdges(0, -512, 512, 512, -1, 1, 1).endShape();
    g1.bits(1, 4).bits(0, 4).rectEdges(0, -1024, 256, 1024, -1, 1, 1).endShape();
    Bits b;
    b.u16(id).u16(4).u16(uint32_t(4 + g0.size())).raw(g0.bytes()).raw(g1.bytes());
    return tag(DefineFont, b);
}

// Glyph record of the older layout: type 0, 7-bit count, entries (8-bit
// index, 12-bit advance), not aligned.
void glyphRecord(Bits& b, std::initializer_list<std::pair<int, int>> glyphs) {
    b.bits(0, 1).bits(uint32_t(glyphs.size()), 7);
    for (auto [index, advance] : glyphs)
        b.bits(uint32_t(index), 8).sbits(advance, 12);
}

// Style record of the older layout, packed at whatever bit the writer is.
void styleRecordPacked(Bits& b, int font, uint32_t rgb, int x, int y, int height) {
    const auto word = [&](uint32_t v) { b.bits(v & 0xFF, 8).bits((v >> 8) & 0xFF, 8); };
    b.bits(1, 1).bits(0, 3).bits(font >= 0, 1).bits(1, 1).bits(1, 1).bits(1, 1);
    if (font >= 0) word(uint32_t(font));
    b.bits(rgb >> 16 & 0xFF, 8).bits(rgb >> 8 & 0xFF, 8).bits(rgb & 0xFF, 8).bits(0xFF, 8);
    word(uint32_t(x));
    word(uint32_t(y));
    if (font >= 0) word(uint32_t(height));
}

Bits textHead(uint16_t id) {
    Bits b;
    b.u16(id).rect(0, 4000, 0, 2000).matrix().u8(8).u8(12);
    return b;
}

// Three glyphs (0, 1, 0) in black, then glyph 1 in red, in each layout.
Bytes olderLayoutText() {
    Bits b = textHead(2);
    styleRecordPacked(b, 1, 0x000000, 200, 600, 400);
    glyphRecord(b, {{0, 600}, {1, 300}});
    glyphRecord(b, {{0, 600}}); // a second glyph record right after the first
    styleRecordPacked(b, -1, 0xFF0000, 1700, 600, 0);
    glyphRecord(b, {{1, 300}});
    b.align().u8(0);
    return tag(DefineText2, b);
}

Bytes combinedLayoutText() {
    Bits b = textHead(2);
    b.u8(0x8F).u16(1).rgba(0x000000, 0xFF).u16(200).u16(600).u16(400); // font, colour, x, y
    b.u8(3);
    for (auto [index, advance] : {std::pair{0, 600}, {1, 300}, {0, 600}})
        b.bits(uint32_t(index), 8).sbits(advance, 12);
    b.align().u8(0x87).rgba(0xFF0000, 0xFF).u16(1700).u16(600); // colour, x, y
    b.u8(1).bits(1, 8).sbits(300, 12);
    b.align().u8(0);
    return tag(DefineText2, b);
}

// "font height y colour: index@x ..." for every run.
std::string describe(const player::Text& text) {
    std::ostringstream out;
    for (const player::TextRun& run : text.runs) {
        out << run.font << " " << run.height << " " << run.y << " "
            << run.color.name().toStdString() << ":";
        for (const player::TextGlyph& g : run.glyphs)
            out << " " << g.index << "@" << g.x;
        out << "\n";
    }
    return out.str();
}

struct TextLayoutRow {
    const char* name;
    int version;
    std::function<Bytes()> text;
    const char* runs;
};

class TextLayouts : public ::testing::TestWithParam<TextLayoutRow> {};

TEST_P(TextLayouts, GlyphsLandWhereTheRecordsPutThem) {
    const Movie movie = readOk(swfbuild::movie(
        200, 100, 12, {twoGlyphFont(1), GetParam().text(), showFrame()}, GetParam().version));
    const auto& text = std::get<player::Text>(movie.characters.at(2));
    EXPECT_EQ(describe(text), GetParam().runs);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, TextLayouts,
    ::testing::Values(TextLayoutRow{"OlderTwoRecordLayout", 4, olderLayoutText,
                                    "1 400 600 #000000: 0@200 1@800\n1 400 600 #000000: 0@1100\n"
                                    "1 400 600 #ff0000: 1@1700\n"},
                      TextLayoutRow{"CombinedLayout", 7, combinedLayoutText,
                                    "1 400 600 #000000: 0@200 1@800 0@1100\n1 400 600 "
                                    "#ff0000: 1@1700\n"},
                      // The layout that the version leads to expect fails; the other is
                      // tried.
                      TextLayoutRow{"CombinedLayoutInAnOldMovie", 4, combinedLayoutText,
                                    "1 400 600 #000000: 0@200 1@800 0@1100\n1 400 600 "
                                    "#ff0000: 1@1700\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Reader, HeaderFramesAndBackground) {
    const Movie movie = readOk(
        swfbuild::movie(550, 400, 24,
                        {tag(SetBackgroundColor, Bits().rgb(0x123456)), tag(777, Bytes(100, 0xEE)),
                         showFrame(), showFrame(), showFrame(), place(1, 9)}));
    EXPECT_EQ(movie.info.width, 550);
    EXPECT_EQ(movie.info.height, 400);
    EXPECT_EQ(movie.info.frameRate, 24);
    // The placement after the last ShowFrame is never shown; unknown tags are
    // skipped.
    EXPECT_EQ(movie.info.frameCount, 3);
    EXPECT_EQ(movie.info.background, QColor(0x12, 0x34, 0x56));
    // Without any ShowFrame a movie still has its one frame.
    EXPECT_EQ(readOk(swfbuild::movie(100, 100, 12, {place(1, 9)})).frames.at(0).size(), 1u);
}

TEST(Reader, PlaceObject2WithEveryField) {
    Bits b;
    b.u8(0x7F).u16(3).u16(7);                            // every flag but clip actions
    b.matrix(2 * 65536, 65536 / 2, 0, 0, 100, -40);      // scale 2 and 0.5, moved
    b.cxformAlpha({256, 128, 0, 64}, {-10, 20, 255, 0}); // mult then add
    b.u16(40000);                                        // ratio
    b.raw({'n', 'a', 'm', 'e', 0});                      // name
    b.u16(5);                                            // clip depth
    const Movie movie = readOk(swfbuild::movie(100, 100, 12, {tag(PlaceObject2, b), showFrame()}));
    ASSERT_EQ(movie.frames[0].size(), 1u);
    const player::ControlOp& op = movie.frames[0][0];
    EXPECT_TRUE(op.move && op.hasCharacter && op.hasMatrix && op.hasColor && op.hasRatio);
    EXPECT_TRUE(op.clipLayer);
    EXPECT_EQ(op.depth, 3);
    EXPECT_EQ(op.character, 7);
    EXPECT_EQ(op.matrix, QTransform(2, 0, 0, 0.5, 100, -40));
    const double mul[4] = {1, 0.5, 0, 0.25}, add[4] = {-10, 20, 255, 0};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(op.color.mul[i], mul[i]) << i;
        EXPECT_EQ(op.color.add[i], add[i]) << i;
    }
    EXPECT_EQ(op.ratio, 40000);
}

TEST(Reader, PlaceObjectAndRemoveObjectOfTheFirstVersion) {
    Bits place1;
    place1.u16(4).u16(2).matrix(65536, 65536, 0, 0, 20, 40);
    Bits remove1;
    remove1.u16(4).u16(2);
    const Movie movie = readOk(swfbuild::movie(
        100, 100, 12,
        {tag(PlaceObject, place1), showFrame(), tag(RemoveObject, remove1), showFrame()}));
    ASSERT_EQ(movie.frames.size(), 2u);
    const player::ControlOp& p = movie.frames[0][0];
    EXPECT_EQ(p.kind, player::ControlOp::Kind::Place);
    EXPECT_EQ(p.character, 4);
    EXPECT_EQ(p.depth, 2);
    EXPECT_EQ(p.matrix, QTransform::fromTranslate(20, 40));
    EXPECT_FALSE(p.hasColor);
    EXPECT_EQ(movie.frames[1][0].kind, player::ControlOp::Kind::Remove);
    EXPECT_EQ(movie.frames[1][0].depth, 2);
}

// A damaged file, the error it must give.
struct DamageRow {
    const char* name;
    std::function<Bytes()> bytes;
    const char* error;
};

class Damaged : public ::testing::TestWithParam<DamageRow> {};

TEST_P(Damaged, GivesTheTagAndOffset) {
    Movie movie;
    std::string error;
    EXPECT_FALSE(player::readSwf(GetParam().bytes(), &movie, &error));
    EXPECT_EQ(error, GetParam().error);
}

Bytes withTag(const Bytes& t) {
    return swfbuild::movie(100, 100, 12, {t, showFrame()});
}

Bytes cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Reader, Damaged,
    ::testing::Values(
        DamageRow{"Empty", [] { return Bytes{}; },
                  "header at offset 0: the file is not an SWF movie (no FWS "
                  "signature)"},
        DamageRow{"Compressed", [] { return Bytes{'C', 'W', 'S', 6, 30, 0, 0, 0}; },
                  "header at offset 0: the movie is compressed (signature CWS); only "
                  "uncompressed movies can be read"},
        DamageRow{"EmptyStage", [] { return swfbuild::movie(0, 100, 12, {}); },
                  "header at offset 0: the stage is empty (0 x 2000 twips)"},
        // The header is 21 bytes; the first tag starts there.
        DamageRow{"TagHeaderCut", [] { return cut(withTag(showFrame()), 22); },
                  "tag at offset 21: the file ends inside a tag header"},
        DamageRow{"TagLongerThanFile",
                  [] { return cut(withTag(solidRect(1, 0, 0, 200, 200, 0xFF0000)), 40); },
                  "DefineShape at offset 21: its length of 45 bytes runs past "
                  "the end of the "
                  "file (17 bytes left)"},
        DamageRow{"LongTagLengthHuge",
                  [] {
                      Bytes b = withTag(tag(DefineBitsJPEG2, Bytes{1, 0, 0xFF, 0xD8}, true));
                      b[23] = b[24] = b[25] = b[26] = 0xFF; // length 0xFFFFFFFF
                      return b;
                  },
                  "DefineBitsJPEG2 at offset 21: its length of 4294967295 "
                  "bytes runs past the "
                  "end of the file (8 bytes left)"},
        DamageRow{"FillStyleCountBeyondTag",
                  [] {
                      Bits b;
                      b.u16(1).rect(0, 20, 0, 20).u8(200); // 200 fill styles, nothing after
                      return withTag(tag(DefineShape, b));
                  },
                  "DefineShape at offset 21: its fill styles claim 200 styles "
                  "in 0 bytes"},
        DamageRow{"UnknownFillType",
                  [] {
                      Bits b;
                      b.u16(1).rect(0, 20, 0, 20).u8(1).u8(0x20).u8(0).u8(0x10);
                      return withTag(tag(DefineShape, b));
                  },
                  "DefineShape at offset 21: unknown fill style type 0x20"},
        DamageRow{"FillIndexBeyondStyles",
                  [] {
                      Bits b;
                      b.u16(1).rect(0, 20, 0, 20).u8(1).u8(0).rgb(0).u8(0).bits(2, 4).bits(0, 4);
                      b.styleChange(true, 0, 0, -1, 3, 2).line(20, 0).endShape();
                      return withTag(tag(DefineShape, b));
                  },
                  "DefineShape at offset 21: a shape record selects fill style "
                  "3 of 1"},
        DamageRow{"ShapeRecordsCut",
                  [] {
                      Bits b;
                      b.u16(1).rect(0, 20, 0, 20).u8(1).u8(0).rgb(0).u8(0).bits(1, 4).bits(0, 4);
                      b.styleChange(true, 0, 0, -1, 1, 1).line(20, 0).endShape();
                      Bytes body = b.bytes();
                      body.resize(body.size() - 3); // cut inside the edge
                      return withTag(tag(DefineShape, body));
                  },
                  "DefineShape at offset 21: the tag ends inside its shape records"},
        DamageRow{"MorphEndOffsetBeyondTag",
                  [] {
                      Bits b;
                      b.u16(1).rect(0, 20, 0, 20).rect(0, 20, 0, 20).u32(5000).u8(0).u8(0);
                      return withTag(tag(DefineMorphShape, b));
                  },
                  "DefineMorphShape at offset 21: its end edge offset 5000 "
                  "lies beyond the end "
                  "of the tag"},
        DamageRow{"MorphEndHasFewerEdges",
                  [] {
                      Bits start;
                      start.u8(0).u8(0).bits(0, 4).bits(0, 4).styleChange(true, 0, 0, -1, -1, 0);
                      start.line(20, 0).line(0, 20).endShape();
                      Bits end;
                      end.bits(0, 8).line(40, 0).endShape();
                      Bits b;
                      b.u16(1).rect(0, 20, 0, 20).rect(0, 20, 0, 20).u32(uint32_t(start.size()));
                      b.raw(start.bytes()).raw(end.bytes());
                      return withTag(tag(DefineMorphShape, b));
                  },
                  "DefineMorphShape at offset 21: its end shape has fewer "
                  "edges than its start "
                  "shape"},
        DamageRow{"GlyphOffsetsOutOfOrder",
                  [] {
                      Bits b;
                      b.u16(1).u16(4).u16(2).u8(0x10).u8(0);
                      return withTag(tag(DefineFont, b));
                  },
                  "DefineFont at offset 21: the offset of glyph 1 is out of order"},
        DamageRow{"TextRecordsWithoutEnd",
                  [] {
                      Bits b = textHead(2);
                      b.u8(0x8F).u16(1).rgba(0, 0xFF).u16(0).u16(0).u16(400).u8(3).u8(0);
                      return swfbuild::movie(100, 100, 12, {twoGlyphFont(1), tag(DefineText2, b)});
                  },
                  "DefineText2 at offset 85: its text records are damaged"},
        DamageRow{"PlaceObject2NameWithoutEnd",
                  [] {
                      return withTag(tag(PlaceObject2, Bytes{0x20, 1, 0, 'a', 'b'}));
                  },
                  "PlaceObject2 at offset 21: the tag ends inside its name"}),
    [](const auto& info) { return std::string(info.param.name); });

// Strict reading: what the lenient reader lets pass in a movie, with the
// error it gives. `lenient`: the lenient reader still reads the movie.
struct StrictRow {
    const char* name;
    std::function<Bytes()> bytes;
    bool lenient;
    const char* error;
};

class StrictlyDamaged : public ::testing::TestWithParam<StrictRow> {};

TEST_P(StrictlyDamaged, GivesTheReason) {
    Movie movie;
    std::string error;
    EXPECT_EQ(player::readSwf(GetParam().bytes(), &movie, &error), GetParam().lenient) << error;
    EXPECT_FALSE(player::readSwf(GetParam().bytes(), &movie, &error, player::ReadMode::Strict));
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, StrictlyDamaged,
    ::testing::Values(
        StrictRow{"FileLongerThanItsHeaderSays",
                  [] {
                      Bytes b = withTag(showFrame());
                      b.push_back(0);
                      return b;
                  },
                  true,
                  "header at offset 0: it gives the file length as 27 bytes, the file has 28"},
        StrictRow{"FrameCountDisagrees",
                  [] {
                      return swfbuild::movie(100, 100, 12, {showFrame(), showFrame()});
                  },
                  true, "header at offset 0: it gives 1 frames, the movie has 2"},
        StrictRow{"ByteLeftOverInATag",
                  [] {
                      return withTag(tag(SetBackgroundColor, Bytes{1, 2, 3, 4}));
                  },
                  true, "SetBackgroundColor at offset 21: 1 bytes are left over after its colour"},
        StrictRow{"UnknownTag", [] { return withTag(tag(99, Bytes{1})); }, true,
                  "tag 99 at offset 21: this reader does not know the tag"},
        StrictRow{"NoEndTag", [] { return swfbuild::movie(100, 100, 12, {showFrame()}, 4, false); },
                  true, "the movie has no End tag"},
        StrictRow{"FontInfoWithTooFewCodes",
                  [] {
                      Bits info;
                      info.u16(1).u8(1).u8('A').u8(0x10).u8('a');
                      return swfbuild::movie(
                          100, 100, 12, {twoGlyphFont(1), tag(DefineFontInfo, info), showFrame()});
                  },
                  true, "DefineFontInfo at offset 85: it has 1 codes for 2 glyphs"},
        // Records without their end: the reason is kept, and the other layout
        // is not tried.
        StrictRow{"TextRecordsWithoutEnd",
                  [] {
                      Bits b = textHead(2);
                      b.u8(0x8F).u16(1).rgba(0, 0xFF).u16(0).u16(0).u16(400).u8(3).u8(0);
                      return swfbuild::movie(100, 100, 12, {twoGlyphFont(1), tag(DefineText2, b)});
                  },
                  false,
                  "DefineText2 at offset 85: its text records in the older layout are damaged: "
                  "the tag ends inside its text records"},
        StrictRow{"GlyphsBeforeAnyFont",
                  [] {
                      Bits b = textHead(2);
                      glyphRecord(b, {{0, 600}});
                      b.u8(0);
                      return swfbuild::movie(100, 100, 12,
                                             {twoGlyphFont(1), tag(DefineText2, b), showFrame()});
                  },
                  true,
                  "DefineText2 at offset 85: its text records in the older layout are damaged: "
                  "glyphs of character 0, which is no font, at byte 23"},
        StrictRow{"MorphEndHasMoreEdges",
                  [] {
                      Bits start;
                      start.u8(0).u8(0).bits(0, 4).bits(0, 4).styleChange(true, 0, 0, -1, -1, 0);
                      start.line(20, 0).endShape();
                      Bits end;
                      end.bits(0, 8).line(40, 0).line(0, 40).endShape();
                      Bits b;
                      b.u16(1).rect(0, 20, 0, 20).rect(0, 20, 0, 20).u32(uint32_t(start.size()));
                      b.raw(start.bytes()).raw(end.bytes());
                      return withTag(tag(DefineMorphShape, b));
                  },
                  true,
                  "DefineMorphShape at offset 21: its end shape has more edges than its start "
                  "shape"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Reader, UndecodableJpegIsAWarningNotAnError) {
    const Movie movie =
        readOk(withTag(tag(DefineBitsJPEG2, Bytes{5, 0, 0xFF, 0xD9, 0xFF, 0xD8, 1, 2, 3})));
    ASSERT_EQ(movie.warnings.size(), 1u);
    EXPECT_EQ(movie.warnings[0], "DefineBitsJPEG2 at offset 21: the JPEG data cannot be read");
    EXPECT_TRUE(std::get<player::Bitmap>(movie.characters.at(5)).jpeg.isEmpty());
}

} // namespace
