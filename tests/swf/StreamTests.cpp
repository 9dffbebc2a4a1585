// Bit stream, tag headers, large-data splicing and the basic records.
#include "FPrimitive.h"
#include "FSWFStream.h"
#include "SwfTestUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>

namespace {

struct BitsCase {
    const char* name;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> fields; // (value, width)
    Bytes completed;                                             // bytes completed before flushing
    int freeBits;
};

class WriteBitsTest : public testing::TestWithParam<BitsCase> {};

TEST_P(WriteBitsTest, PacksMostSignificantBitFirst) {
    FSWFStream s;
    for (auto [value, width] : GetParam().fields)
        s.WriteBits(value, width);
    EXPECT_EQ(Bytes(s.Data(), s.Data() + s.ByteCount()), GetParam().completed);
    EXPECT_EQ(s.FreeBits(), GetParam().freeBits);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, WriteBitsTest,
    testing::Values(
        BitsCase{"OneByte", {{0xA5, 8}}, {0xA5}, 8},
        // 101 then 11110 completes 0b10111110
        BitsCase{"TwoFieldsFillAByte", {{0b101, 3}, {0b11110, 5}}, {0xBE}, 8},
        // 1 then 0x1FF in 9 bits: 1111 1111 | 11 pending
        BitsCase{"StraddlesBoundary", {{1, 1}, {0x1FF, 9}}, {0xFF}, 6},
        BitsCase{"ThirtyTwoBitsUnaligned", {{0, 4}, {0x12345678, 32}}, {0x01, 0x23, 0x45, 0x67}, 4},
        // only the low 4 bits of 0xFF3 are kept
        BitsCase{"DropsHighBits", {{0xFF3, 4}, {0, 4}}, {0x30}, 8},
        // -2 in 3 bits is 110
        BitsCase{
            "NegativeAsTwosComplement", {{static_cast<std::uint32_t>(-2), 3}, {0, 5}}, {0xC0}, 8},
        BitsCase{"ZeroWidthWritesNothing", {{0xFFFFFFFF, 0}}, {}, 8}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FSWFStream, FlushPadsPendingByteAndIgnoresAlignedStream) {
    FSWFStream s;
    s.FlushBits();
    EXPECT_EQ(s.ByteCount(), 0u);
    s.WriteBits(0b11, 2);
    s.FlushBits();
    s.FlushBits();
    EXPECT_EQ(s.SplicedBytes(), (Bytes{0xC0}));
}

TEST(FSWFStream, ByteWritersAreLittleEndianAndDoNotAlign) {
    FSWFStream s;
    s.WriteWord(0x1234);
    s.WriteDWord(0xA1B2C3D4);
    s.WriteBits(1, 1);
    s.WriteByte(0xFF); // lands after the pending bit: 1 1111111 | 1
    s.FlushBits();
    EXPECT_EQ(s.SplicedBytes(), (Bytes{0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1, 0xFF, 0x80}));
}

struct TagHeaderCase {
    const char* name;
    std::size_t length;
    Bytes header;
};

class TagHeaderTest : public testing::TestWithParam<TagHeaderCase> {};

TEST_P(TagHeaderTest, ShortFormUpTo62LongFormFrom63) {
    FSWFStream body;
    for (std::size_t i = 0; i < GetParam().length; ++i)
        body.WriteByte(0xEE);
    FSWFStream movie;
    movie.AppendTag(swf::DefineShape, body.Size(), &body);
    const Bytes out = movie.SplicedBytes();
    ASSERT_EQ(out.size(), GetParam().header.size() + GetParam().length);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(GetParam().header.size())),
              GetParam().header);
}

INSTANTIATE_TEST_SUITE_P(
    DefineShape, TagHeaderTest,
    testing::Values(TagHeaderCase{"Empty", 0, {0x80, 0x00}},
                    TagHeaderCase{"Length62", 62, {0xBE, 0x00}},
                    TagHeaderCase{"Length63", 63, {0xBF, 0x00, 0x3F, 0x00, 0x00, 0x00}},
                    TagHeaderCase{"Length1000", 1000, {0xBF, 0x00, 0xE8, 0x03, 0x00, 0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FSWFStream, TagsWithoutBody) {
    FSWFStream s;
    s.AppendTag(swf::ShowFrame, 0, nullptr);
    s.AppendTag(swf::End, 0, nullptr);
    EXPECT_EQ(s.SplicedBytes(), (Bytes{0x40, 0x00, 0x00, 0x00}));
}

TEST(FSWFStream, LargeDataLandsInPlaceThroughNestedAppends) {
    const Bytes block(5000, 0x5A);
    FSWFStream inner;
    inner.WriteByte(0x01);
    inner.WriteLargeData(block.data(), block.size());
    inner.WriteByte(0x02);
    EXPECT_EQ(inner.ByteCount(), 2u); // the block is referenced, not copied
    EXPECT_EQ(inner.Size(), 5002u);

    FSWFStream body;
    body.WriteWord(0x0A0B);
    body.Append(inner);
    body.WriteByte(0x03);
    EXPECT_EQ(inner.LargeDataCount(), 0u); // spliced exactly once

    FSWFStream movie;
    movie.AppendTag(swf::ShowFrame, 0, nullptr);
    movie.AppendTag(swf::DefineBitsJPEG2, body.Size(), &body);
    EXPECT_EQ(movie.Size(), 2u + 6u + 5005u);

    Bytes expected = {0x40, 0x00, 0x7F, 0x05, 0x8D, 0x13, 0x00, 0x00, 0x0B, 0x0A, 0x01};
    expected.insert(expected.end(), block.begin(), block.end());
    expected.insert(expected.end(), {0x02, 0x03});
    EXPECT_EQ(movie.SplicedBytes(), expected);

    TempDir dir;
    const auto path = dir.path() / "out.bin";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(movie.WriteToFile(f));
    std::fclose(f);
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_EQ(movie.LargeDataCount(), 0u);
}

TEST(FSWFStream, BlocksAtTheSameOffsetKeepTheirOrder) {
    const unsigned char a[] = {0xA1, 0xA2};
    const unsigned char b[] = {0xB1};
    FSWFStream s;
    s.WriteLargeData(a, sizeof a);
    s.WriteLargeData(b, sizeof b);
    s.WriteByte(0xCC);
    EXPECT_EQ(s.SplicedBytes(), (Bytes{0xA1, 0xA2, 0xB1, 0xCC}));
}

TEST(FSWFStream, AppendAtBitPositionShiftsBytes) {
    FSWFStream other;
    other.WriteByte(0xFF);
    other.WriteByte(0x00);
    FSWFStream s;
    s.WriteBits(0, 4);
    s.Append(other);
    s.FlushBits();
    EXPECT_EQ(s.SplicedBytes(), (Bytes{0x0F, 0xF0, 0x00}));
}

TEST(FSWFStreamDeathTest, LargeDataOffByteBoundaryStops) {
    const unsigned char block[] = {1, 2, 3};
    EXPECT_DEATH(
        {
            FSWFStream s;
            s.WriteBits(1, 1);
            s.WriteLargeData(block, sizeof block);
        },
        "Assertion failed: m_freeBits == 8, file FSWFStream, line [0-9]+");
}

struct MinBitsCase {
    const char* name;
    std::uint32_t value;
    int signBits;
    int expected;
};

class MinBitsTest : public testing::TestWithParam<MinBitsCase> {};

TEST_P(MinBitsTest, Width) {
    EXPECT_EQ(MinBits(GetParam().value, GetParam().signBits), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, MinBitsTest,
                         testing::Values(MinBitsCase{"ZeroSigned", 0, 1, 1},
                                         MinBitsCase{"OneSigned", 1, 1, 2},
                                         MinBitsCase{"Byte", 255, 0, 8},
                                         MinBitsCase{"NineBits", 256, 0, 9},
                                         MinBitsCase{"MinusFourMagnitude", 4, 1, 4},
                                         MinBitsCase{"AllBits", 0xFFFFFFFF, 0, 32}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MaxAbs, LargestMagnitudeAlsoForMostNegative) {
    EXPECT_EQ(MaxAbs(3, -7, 5, 0), 7u);
    EXPECT_EQ(MaxAbs(INT_MIN, 0, 0, 0), 0x80000000u);
}

TEST(FRect, SymmetricRectangle) {
    FRect r(-20, -20, 20, 20);
    EXPECT_EQ(r.MinBits(), 6);
    EXPECT_EQ(WrittenBytes(r), (Bytes{0x35, 0x8A, 0x58, 0xA0}));
}

TEST(FRect, ConstructorOrderDiffersFromFileOrder) {
    FRect r(1, 2, 3, 4); // xmin, ymin, xmax, ymax
    const Bytes out = WrittenBytes(r);
    BitReader in(out);
    const int width = static_cast<int>(in.U(5));
    EXPECT_EQ(in.S(width), 1); // xmin
    EXPECT_EQ(in.S(width), 3); // xmax
    EXPECT_EQ(in.S(width), 2); // ymin
    EXPECT_EQ(in.S(width), 4); // ymax
}

TEST(FRect, OversizedCoordinatesAreClampedToTheWidestField) {
    FRect r(INT_MIN, 0, INT_MAX, 5);
    EXPECT_EQ(r.MinBits(), 31);
    const Bytes out = WrittenBytes(r);
    BitReader in(out);
    EXPECT_EQ(in.U(5), 31u);
    EXPECT_EQ(in.S(31), -((1 << 30) - 1));
    EXPECT_EQ(in.S(31), (1 << 30) - 1);
}

TEST(FColor, FormFollowsConstructorAndAlphaSwitch) {
    FColor rgb(1, 2, 0x1FF);
    EXPECT_EQ(WrittenBytes(rgb), (Bytes{1, 2, 0xFF}));
    FColor rgba(1, 2, 3, 4);
    EXPECT_EQ(WrittenBytes(rgba), (Bytes{1, 2, 3, 4}));
    rgba.SetAlphaChannel(false);
    EXPECT_EQ(WrittenBytes(rgba), (Bytes{1, 2, 3}));
    rgb.SetAlphaChannel(true);
    EXPECT_EQ(WrittenBytes(rgb), (Bytes{1, 2, 0xFF, 255}));
}

TEST(FMatrix, TranslationOnlyAtOrigin) {
    FMatrix m(false, 0, 0, false, 0, 0, 0, 0);
    // 0 no scale | 0 no rotate | 00001 width 1 | 0 | 0 | padding
    EXPECT_EQ(WrittenBytes(m), (Bytes{0b0'0'00001'0, 0b0'0000000}));
}

TEST(FMatrix, AllPartsWithTheirWidths) {
    FMatrix m(true, 65536, -65536, true, 100, -3, 220, -440);
    const Bytes out = WrittenBytes(m);
    BitReader in(out);
    ASSERT_EQ(in.U(1), 1u);
    ASSERT_EQ(in.U(5), 18u);
    EXPECT_EQ(in.S(18), 65536);
    EXPECT_EQ(in.S(18), -65536);
    ASSERT_EQ(in.U(1), 1u);
    ASSERT_EQ(in.U(5), 8u);
    EXPECT_EQ(in.S(8), 100);
    EXPECT_EQ(in.S(8), -3);
    ASSERT_EQ(in.U(5), 10u);
    EXPECT_EQ(in.S(10), 220);
    EXPECT_EQ(in.S(10), -440);
    in.Align();
    EXPECT_EQ(in.BytePos(), out.size());
}

TEST(FMatrix, ValuesBeyondTheWidthFieldAreClamped) {
    FMatrix m(false, 0, 0, false, 0, 0, INT_MAX, 1);
    const Bytes out = WrittenBytes(m);
    BitReader in(out);
    in.U(2);
    ASSERT_EQ(in.U(5), 31u);
    EXPECT_EQ(in.S(31), (1 << 30) - 1);
    EXPECT_EQ(in.S(31), 1);
}

TEST(FCXForm, WidthCountsAllSixTermsAndWritesMultFirst) {
    FCXForm c(true, false, -1000, 0, 0, 256, 128, 0); // add terms off, but they count
    const Bytes out = WrittenBytes(c);
    BitReader in(out);
    EXPECT_EQ(in.U(1), 0u);  // has add
    EXPECT_EQ(in.U(1), 1u);  // has mult
    ASSERT_EQ(in.U(4), 11u); // MinBits(1000, 1)
    EXPECT_EQ(in.S(11), 256);
    EXPECT_EQ(in.S(11), 128);
    EXPECT_EQ(in.S(11), 0);
    in.Align();
    EXPECT_EQ(in.BytePos(), out.size());
}

TEST(FCXForm, TermsBeyondTheFourBitWidthAreClamped) {
    FCXForm c(false, true, 100000, -100000, 1, 0, 0, 0);
    const Bytes out = WrittenBytes(c);
    BitReader in(out);
    in.U(2);
    ASSERT_EQ(in.U(4), 15u);
    EXPECT_EQ(in.S(15), 16383);
    EXPECT_EQ(in.S(15), -16383);
    EXPECT_EQ(in.S(15), 1);
}

TEST(FCXForm, PlacementFormAddsNeutralAlphaTerms) {
    FCXForm c(true, true, 10, 20, 30, 256, 256, 256);
    FSWFStream s;
    c.WriteWithAlphaToSWFStream(&s);
    const Bytes out = s.SplicedBytes();
    BitReader in(out);
    EXPECT_EQ(in.U(1), 1u);
    EXPECT_EQ(in.U(1), 1u);
    ASSERT_EQ(in.U(4), 10u);
    for (int expected : {256, 256, 256, 256, 10, 20, 30, 0})
        EXPECT_EQ(in.S(10), expected);
}

TEST(FString, BytesUnchangedWithOptionalTerminator) {
    FString text("\x82\xa0"
                 "A"); // Shift-JIS bytes pass through
    EXPECT_EQ(text.Length(), 3u);
    FSWFStream s;
    text.WriteToSWFStream(&s, false);
    text.WriteToSWFStream(&s, true);
    EXPECT_EQ(s.SplicedBytes(), (Bytes{0x82, 0xA0, 'A', 0x82, 0xA0, 'A', 0x00}));
}

} // namespace
