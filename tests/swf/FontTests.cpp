// Embedded fonts, font info and static text.
#include "FDTFonts.h"
#include "FDTShapes.h"
#include "SwfTestUtil.h"

#include <gtest/gtest.h>

namespace {

// A glyph of n horizontal 16-bit edges and m vertical 10-bit edges.
std::unique_ptr<FShape> Glyph(int horizontal, int vertical = 0) {
    auto shape = std::make_unique<FShape>();
    for (int i = 0; i < horizontal; ++i)
        shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(100, 0));
    for (int i = 0; i < vertical; ++i)
        shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(0, -1));
    shape->AddShapeRec(std::make_unique<FShapeRecEnd>());
    return shape;
}

std::vector<std::uint32_t> OffsetTable(const Bytes& tag, std::size_t headerSize) {
    BitReader in(tag, headerSize + 2);
    const std::uint32_t first = in.Word();
    std::vector<std::uint32_t> table{first};
    for (std::uint32_t i = 1; i < first / 2; ++i)
        table.push_back(in.Word());
    return table;
}

TEST(FDTDefineFont, OneGlyph) {
    auto glyph = Glyph(2);
    FDTDefineFont font;
    font.AddShape(std::move(glyph));
    const Bytes out = WrittenBytes(font);
    // glyph: widths 1 and 0 (set by the font), two edges, end record: 6 bytes
    const Bytes glyphBytes = {0x10, 0xD8, 0x64, 0xD8, 0x64, 0x00};
    ASSERT_EQ(out.size(), 2 + 4 + glyphBytes.size());
    EXPECT_EQ(out[0], (10 << 6 | (glyphBytes.size() + 4)) & 0xFF);
    EXPECT_EQ(out[4], 0x02); // offset table: the table itself is 2 bytes
    EXPECT_EQ(out[5], 0x00);
    EXPECT_EQ(Bytes(out.begin() + 6, out.end()), glyphBytes);
}

TEST(FDTDefineFont, OffsetsCountTheTableAndEveryGlyphBefore) {
    FDTDefineFont font;
    font.AddShape(Glyph(4));    // 10 bytes
    font.AddShape(Glyph(5));    // 12 bytes
    font.AddShape(Glyph(2, 1)); // 7 bytes
    const Bytes out = WrittenBytes(font);
    EXPECT_EQ(OffsetTable(out, 2), (std::vector<std::uint32_t>{6, 16, 28}));
    EXPECT_EQ(out.size(), 2u + 2 + 6 + 29);
}

TEST(FDTDefineFont, EmptyFontGetsOneEmptyGlyph) {
    FDTDefineFont font;
    const Bytes out = WrittenBytes(font);
    EXPECT_EQ(out, (Bytes{0x86, 0x02, static_cast<unsigned char>(font.ID()), 0x00, 0x02, 0x00, 0x10,
                          0x00}));
}

TEST(FDTDefineFont, GlyphsBeyondSixteenBitOffsetsBecomeEmpty) {
    FDTDefineFont font;
    for (int i = 0; i < 40; ++i)
        font.AddShape(Glyph(1000)); // 2002 bytes each
    const Bytes out = WrittenBytes(font);
    const auto table = OffsetTable(out, 6);
    ASSERT_EQ(table.size(), 40u);
    for (std::size_t i = 0; i < 32; ++i)
        EXPECT_EQ(table[i], 80 + 2002 * i);
    for (std::size_t i = 32; i < 40; ++i)
        EXPECT_EQ(table[i], 80 + 2002 * 32 + 2 * (i - 32));
    EXPECT_LE(table.back(), 0xFFFFu);
    EXPECT_EQ(out.size(), 6 + 2 + 80 + 2002 * 32 + 2 * 8);
    EXPECT_EQ(Bytes(out.end() - 2, out.end()), (Bytes{0x10, 0x00}));
}

struct FontInfoCase {
    const char* name;
    std::uint16_t encoding;
    bool italic;
    bool bold;
    std::vector<std::uint16_t> codes;
    Bytes afterName; // flag byte and code table
};

class FontInfoTest : public testing::TestWithParam<FontInfoCase> {};

TEST_P(FontInfoTest, FlagsAndCodes) {
    const auto& c = GetParam();
    FDTDefineFontInfo info("Arial", 1, c.encoding, c.italic, c.bold);
    for (std::uint16_t code : c.codes)
        info.AddCode(code);
    Bytes body = {0x01, 0x00, 0x05, 'A', 'r', 'i', 'a', 'l'};
    body.insert(body.end(), c.afterName.begin(), c.afterName.end());
    Bytes expected = {static_cast<unsigned char>((13 << 6 | body.size()) & 0xFF),
                      static_cast<unsigned char>(13 >> 2)};
    expected.insert(expected.end(), body.begin(), body.end());
    EXPECT_EQ(WrittenBytes(info), expected);
    EXPECT_EQ(WrittenBytes(info), expected); // the code table survives writing
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FontInfoTest,
    testing::Values(
        // 00 | 010 Shift-JIS | 0 italic | 0 bold | 0 wide
        FontInfoCase{
            "ShiftJisByteCodes", 1, false, false, {0x41, 0x42}, {0b00'010'0'0'0, 0x41, 0x42}},
        FontInfoCase{"WideCodesWhenAnyExceeds255",
                     1,
                     false,
                     false,
                     {0x41, 0x3042},
                     {0b00'010'0'0'1, 0x41, 0x00, 0x42, 0x30}},
        FontInfoCase{"Unicode", 2, false, false, {0x20}, {0b00'100'0'0'0, 0x20}},
        FontInfoCase{"AnsiItalicBold", 3, true, true, {}, {0b00'001'1'1'0}},
        FontInfoCase{"UnknownEncodingSetsNoFlag", 7, false, true, {0xFF}, {0b00'000'0'1'0, 0xFF}},
        FontInfoCase{"ZeroEncodingSetsNoFlag", 0, false, false, {}, {0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FDTDefineFontInfo, LongNamesAreCutTo255Bytes) {
    FDTDefineFontInfo info(std::string(300, 'n'), 1, 1, false, false);
    const Bytes out = WrittenBytes(info);
    EXPECT_EQ(out[6 + 2], 255);
    EXPECT_EQ(out.size(), 6 + 2 + 1 + 255 + 1u);
}

std::size_t TagHeaderSize(const Bytes& tag) {
    return (tag.at(0) & 0x3F) == 0x3F ? 6 : 2;
}

// Text with the given records; returns the tag bytes.
Bytes TextTag(std::vector<std::unique_ptr<FTextRecord>> records) {
    FDTDefineText2 text(std::make_unique<FRect>(0, 0, 0, 0),
                        std::make_unique<FMatrix>(0, 0, 0, 0, 0, 0, 0, 0), 99);
    for (auto& r : records)
        text.AddTextRecord(std::move(r));
    return WrittenBytes(text);
}

TEST(FDTDefineText2, GlyphAndAdvanceWidthsFromTheRecords) {
    std::vector<std::unique_ptr<FTextRecord>> records;
    records.push_back(std::make_unique<FTextChangeRecord>(1, 1, 0, 0, 3, 480,
                                                          std::make_unique<FColor>(1, 2, 3), 0, 0));
    auto glyphs = std::make_unique<FTextGlyphRecord>();
    for (std::uint16_t i = 0; i < 4; ++i)
        glyphs->AddGlyphEntry(i, 200);
    EXPECT_EQ(glyphs->MinGlyphBits(), 3);
    EXPECT_EQ(glyphs->MinAdvanceBits(), 9);
    records.push_back(std::move(glyphs));
    const Bytes out = TextTag(std::move(records));
    const Bytes body(out.begin() + 2, out.end());
    EXPECT_EQ(Bytes(body.begin() + 2, body.end()),
              (Bytes{0x08, 0x00,             // bounds: width 1, all zero
                     0x02, 0x00,             // matrix: translation (0, 0)
                     0x03, 0x09,             // glyph bits, advance bits
                     0x8C,                   // change record: font and colour
                     0x03, 0x00,             // font ID
                     0x01, 0x02, 0x03, 0xFF, // colour, forced to RGBA
                     0xE0, 0x01,             // height 480
                     // 0 | 0000100 | 000 011001000 | 001 011001000 | 010 ... | 011 ...
                     0x04, 0x0C, 0x82, 0xC8, 0x4C, 0x86, 0xC8, 0x00})); // end of records
}

TEST(FDTDefineText2, StyleOnlyTextHasZeroWidths) {
    std::vector<std::unique_ptr<FTextRecord>> records;
    records.push_back(std::make_unique<FTextChangeRecord>(1, 0, 0, 0, 1, 200, nullptr, 0, 0));
    const Bytes out = TextTag(std::move(records));
    const std::size_t widths = TagHeaderSize(out) + 2 + 2 + 2; // after ID, bounds, matrix
    EXPECT_EQ(out[widths], 0);
    EXPECT_EQ(out[widths + 1], 0);
}

struct OffsetCase {
    const char* name;
    bool hasX;
    bool hasY;
    Bytes record;
};

class TextOffsetTest : public testing::TestWithParam<OffsetCase> {};

TEST_P(TextOffsetTest, FlagsInFileOrder) {
    FTextChangeRecord record(0, 0, GetParam().hasX, GetParam().hasY, 0, 0, nullptr, 0x1122, -2);
    FSWFStream s;
    record.WriteToSWFStream(&s, 0, 0);
    EXPECT_EQ(s.SplicedBytes(), GetParam().record);
}

INSTANTIATE_TEST_SUITE_P(Offsets, TextOffsetTest,
                         testing::Values(OffsetCase{"XOnly", true, false, {0x81, 0x22, 0x11}},
                                         OffsetCase{"YOnly", false, true, {0x82, 0xFE, 0xFF}},
                                         OffsetCase{
                                             "Both", true, true, {0x83, 0x22, 0x11, 0xFE, 0xFF}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FTextGlyphRecord, MoreThan127EntriesAreSplit) {
    auto glyphs = std::make_unique<FTextGlyphRecord>();
    for (std::uint16_t i = 0; i < 130; ++i)
        glyphs->AddGlyphEntry(i, 100);
    std::vector<std::unique_ptr<FTextRecord>> records;
    records.push_back(std::move(glyphs));
    const Bytes out = TextTag(std::move(records));
    BitReader in(out, TagHeaderSize(out) + 2 + 2 + 2);
    const int glyphBits = static_cast<int>(in.U(8));
    const int advanceBits = static_cast<int>(in.U(8));
    ASSERT_EQ(glyphBits, 9);
    ASSERT_EQ(advanceBits, 8);
    EXPECT_EQ(in.U(1), 0u);
    ASSERT_EQ(in.U(7), 127u);
    for (std::uint32_t i = 0; i < 127; ++i) {
        ASSERT_EQ(in.U(glyphBits), i);
        ASSERT_EQ(in.S(advanceBits), 100);
    }
    in.Align();
    EXPECT_EQ(in.U(8), 0x80u); // a style record without changes
    EXPECT_EQ(in.U(1), 0u);
    ASSERT_EQ(in.U(7), 3u);
    for (std::uint32_t i = 127; i < 130; ++i) {
        EXPECT_EQ(in.U(glyphBits), i);
        EXPECT_EQ(in.S(advanceBits), 100);
    }
    in.Align();
    EXPECT_EQ(in.U(8), 0u);
    EXPECT_EQ(in.BytePos(), out.size());
}

// A font switch after a glyph record whose bits end inside a byte: the style
// record starts on the next byte, as players read it.
TEST(FDTDefineText2, FontSwitchStartsOnAByteBoundary) {
    std::vector<std::unique_ptr<FTextRecord>> records;
    for (std::uint16_t font = 1; font <= 3; ++font) {
        records.push_back(
            std::make_unique<FTextChangeRecord>(1, 0, 0, 0, font, 480, nullptr, 0, 0));
        auto glyphs = std::make_unique<FTextGlyphRecord>();
        glyphs->AddGlyphEntry(1, 3); // 8 + 2 + 3 bits: ends inside a byte
        records.push_back(std::move(glyphs));
    }
    const Bytes out = TextTag(std::move(records));
    Bytes expected;
    for (std::uint8_t font = 1; font <= 3; ++font) {
        const Bytes run{0x88, font,        0x00, 0xE0, 0x01, // style: font, height 480
                        0x01, 0b01'011'000}; // one glyph: index 1 (2 bits), advance 3 (3 bits)
        expected.insert(expected.end(), run.begin(), run.end());
    }
    expected.push_back(0x00);                                     // end of records
    const std::size_t first = TagHeaderSize(out) + 2 + 2 + 2 + 2; // ID, bounds, matrix, widths
    EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(first), out.end()), expected);
}

TEST(FTextGlyphRecord, NegativeAdvanceKeepsItsSign) {
    FTextGlyphRecord glyphs;
    glyphs.AddGlyphEntry(1, -5);
    EXPECT_EQ(glyphs.MinAdvanceBits(), 4);
    FSWFStream s;
    glyphs.WriteToSWFStream(&s, 2, 4);
    s.FlushBits();
    // 0 | 0000001 | 01 | 1011
    EXPECT_EQ(s.SplicedBytes(), (Bytes{0x01, 0b01'1011'00}));
}

} // namespace
