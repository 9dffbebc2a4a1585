// Shape records, shape containers, styles and the two shape definition tags.
#include "FDTShapes.h"
#include "FObj.h"
#include "SwfTestUtil.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct EdgeCase {
    const char* name;
    std::function<std::unique_ptr<FShapeRec>()> make;
    Bytes completed; // bytes completed by the record, starting on a byte boundary
    int freeBits;
};

class EdgeTest : public testing::TestWithParam<EdgeCase> {};

TEST_P(EdgeTest, Encoding) {
    FSWFStream s;
    GetParam().make()->WriteToSWFStream(&s);
    EXPECT_EQ(Bytes(s.Data(), s.Data() + s.ByteCount()), GetParam().completed);
    EXPECT_EQ(s.FreeBits(), GetParam().freeBits);
}

INSTANTIATE_TEST_SUITE_P(
    Records, EdgeTest,
    testing::Values(
        // 1 1 | 0110 (8 bits) | 0 | 0 horizontal | 01100100
        EdgeCase{"Horizontal",
                 [] { return std::make_unique<FShapeRecEdgeStraight>(100, 0); },
                 {0xD8, 0x64},
                 8},
        // 1 1 | 0000 | 0 | 1 vertical | 11, two bits left pending
        EdgeCase{"VerticalMinusOne",
                 [] { return std::make_unique<FShapeRecEdgeStraight>(0, -1); },
                 {0xC1},
                 6},
        EdgeCase{"ZeroLengthIsVertical",
                 [] { return std::make_unique<FShapeRecEdgeStraight>(0, 0); },
                 {0xC1},
                 6},
        // 1 1 | 0010 | 1 general | 0011 | 1100
        EdgeCase{
            "General", [] { return std::make_unique<FShapeRecEdgeStraight>(3, -4); }, {0xCA}, 1},
        // 1 0 | 0011 | 01010 00000 01010 00000
        EdgeCase{"Curved",
                 [] { return std::make_unique<FShapeRecEdgeCurved>(10, 0, 10, 0); },
                 {0x8D, 0x40, 0x50},
                 6},
        // 1 1 | 1111 (17 bits) | 0 | 0 | 65535 in 17 bits
        EdgeCase{"OversizedDeltaIsClamped",
                 [] { return std::make_unique<FShapeRecEdgeStraight>(100000, 0); },
                 {0xFC, 0x7F, 0xFF},
                 7},
        EdgeCase{"OversizedCurveIsClamped",
                 [] { return std::make_unique<FShapeRecEdgeCurved>(0, -70000, 0, 0); },
                 // 1 0 | 1111 | 0 (17) | -65535 (17) ...
                 {0xBC, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00},
                 6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FShapeRecChange, MoveWithBothFillStylesThenEnd) {
    FShapeRecChange change(0, 0, 1, 1, 1, 100, 200, 1, 1, 0, nullptr, nullptr);
    change.SetFillBits(1);
    change.SetLineBits(0);
    FSWFStream s;
    change.WriteToSWFStream(&s);
    FShapeRecEnd().WriteToSWFStream(&s);
    // 0 | 0 0 1 1 1 | 01001 (9) | 001100100 | 011001000 | 1 | 1 | 000000 | padding
    EXPECT_EQ(s.SplicedBytes(), (Bytes{0x1D, 0x26, 0x46, 0x46, 0x00}));
}

TEST(FShapeRecChange, NoStylesMeansNoIndexBits) {
    FShapeRecChange change(0, 1, 1, 1, 0, 0, 0, 1, 1, 1, nullptr, nullptr);
    change.SetFillBits(0);
    change.SetLineBits(0);
    FSWFStream s;
    change.WriteToSWFStream(&s);
    EXPECT_EQ(s.ByteCount(), 0u);
    EXPECT_EQ(s.FreeBits(), 2); // type and five state flags only
}

struct EndCase {
    const char* name;
    int bitsInUse;
    std::size_t bytes;
};

class EndRecordTest : public testing::TestWithParam<EndCase> {};

TEST_P(EndRecordTest, AlignsAfterItsSixBits) {
    FSWFStream s;
    s.WriteBits(0b11, GetParam().bitsInUse);
    FShapeRecEnd().WriteToSWFStream(&s);
    EXPECT_EQ(s.FreeBits(), 8);
    EXPECT_EQ(s.ByteCount(), GetParam().bytes);
    EXPECT_EQ(s.Data()[GetParam().bytes - 1] & 0x3F, 0);
}

INSTANTIATE_TEST_SUITE_P(Positions, EndRecordTest,
                         testing::Values(EndCase{"Aligned", 0, 1}, EndCase{"TwoBitsUsed", 2, 1},
                                         EndCase{"ThreeBitsUsed", 3, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FFillStyleArray, CountFormsAndIndices) {
    FFillStyleArray small;
    EXPECT_EQ(WrittenBytes(small), (Bytes{0x00}));
    for (std::uint32_t i = 1; i <= 254; ++i)
        ASSERT_EQ(small.AddFillStyle(std::make_unique<FMorphFillStyle>()), i);
    EXPECT_EQ(WrittenBytes(small), (Bytes{0xFE}));
    small.AddFillStyle(std::make_unique<FMorphFillStyle>());
    EXPECT_EQ(WrittenBytes(small), (Bytes{0xFF, 0xFF, 0x00}));
}

TEST(FFillStyleArray, ExtendedCountIsFollowedByTheStyles) {
    FFillStyleArray styles;
    for (int i = 0; i < 255; ++i)
        styles.AddFillStyle(std::make_unique<FFillStyleBitmap>(
            1, 7, std::make_unique<FMatrix>(0, 0, 0, 0, 0, 0, 0, 0)));
    const Bytes out = WrittenBytes(styles);
    ASSERT_EQ(out.size(), 3u + 255 * 5);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 8),
              (Bytes{0xFF, 0xFF, 0x00, 0x40, 0x07, 0x00, 0x02, 0x00}));
}

TEST(FFillStyleBitmap, ClippedAndTiled) {
    FFillStyleBitmap clipped(0, 0x1234, std::make_unique<FMatrix>(0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(WrittenBytes(clipped), (Bytes{0x41, 0x34, 0x12, 0x02, 0x00}));
    FFillStyleBitmap tiled(1, 1, std::make_unique<FMatrix>(0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(WrittenBytes(tiled)[0], 0x40);
}

TEST(FMorphFillStyleSolid, ColoursAreAlwaysRgba) {
    FMorphFillStyleSolid style(std::make_unique<FColor>(1, 2, 3),
                               std::make_unique<FColor>(4, 5, 6, 7));
    EXPECT_EQ(WrittenBytes(style), (Bytes{0x00, 1, 2, 3, 255, 4, 5, 6, 7}));
}

TEST(FDTDefineShape, OneBitmapFillGivesOneBitIndices) {
    ResetCharacterID();
    FDTDefineShape shape(std::make_unique<FRect>(0, 0, 20, 20));
    EXPECT_EQ(shape.ID(), 1);
    EXPECT_EQ(shape.AddFillStyle(std::make_unique<FFillStyleBitmap>(
                  0, 2, std::make_unique<FMatrix>(0, 0, 0, 0, 0, 0, 0, 0))),
              1u);
    shape.FinishStyleArrays();
    shape.AddShapeRec(
        std::make_unique<FShapeRecChange>(0, 1, 1, 0, 0, 0, 0, 0, 1, 0, nullptr, nullptr));
    shape.AddShapeRec(std::make_unique<FShapeRecEnd>());
    ResetCharacterID();
    EXPECT_EQ(
        WrittenBytes(shape),
        (Bytes{0x90, 0x00,                         // DefineShape, length 16
               0x01, 0x00,                         // ID 1
               0x30, 0x0A, 0x00, 0xA0,             // bounds (0, 20, 0, 20), width 6
               0x01, 0x41, 0x02, 0x00, 0x02, 0x00, // one clipped bitmap fill
               0x00,                               // no line styles
               0x10,                               // fill index width 1, line index width 0
               // 0 | 0 1 1 0 0 | fill style 1 = 1 (1 bit), no line bits | end record 000000 | pad
               0b0'01100'1'0, 0b0000'0000}));
}

TEST(FDTDefineShape, ManyFillStylesUseTheTagThatAllowsThem) {
    FDTDefineShape shape(std::make_unique<FRect>(0, 0, 20, 20));
    for (int i = 0; i < 255; ++i)
        shape.AddFillStyle(std::make_unique<FFillStyleBitmap>(
            0, 2, std::make_unique<FMatrix>(0, 0, 0, 0, 0, 0, 0, 0)));
    shape.FinishStyleArrays();
    shape.AddShapeRec(std::make_unique<FShapeRecEnd>());
    const Bytes out = WrittenBytes(shape);
    EXPECT_EQ(BitReader(out).Word() >> 6, unsigned(swf::DefineShape2));
}

TEST(FShapeWStyle, RecordsAfterNewStylesUseTheNewWidths) {
    auto fills = std::make_unique<FFillStyleArray>();
    fills->AddFillStyle(std::make_unique<FMorphFillStyle>());
    FShapeWStyle shape(std::move(fills), std::make_unique<FLineStyleArray>());
    EXPECT_EQ(shape.NumFillBits(), 1);
    auto newFills = std::make_unique<FFillStyleArray>();
    for (int i = 0; i < 5; ++i)
        newFills->AddFillStyle(std::make_unique<FMorphFillStyle>());
    shape.AddShapeRec(std::make_unique<FShapeRecChange>(
        1, 0, 0, 1, 0, 0, 0, 1, 0, 0, std::move(newFills), std::make_unique<FLineStyleArray>()));
    shape.AddShapeRec(
        std::make_unique<FShapeRecChange>(0, 0, 0, 1, 0, 0, 0, 5, 0, 0, nullptr, nullptr));
    shape.AddShapeRec(std::make_unique<FShapeRecEnd>());
    const Bytes out = WrittenBytes(shape);
    EXPECT_EQ(out, (Bytes{0x01, 0x00, // one fill style (writes nothing), no line styles
                          0x10,       // widths 1 and 0
                          // 0 | 1 0 0 1 0 | fill style 0 = 1 (1 bit) | pad
                          0b0'10010'1'0, 0x05, 0x00, // the five new fill styles, no line styles
                          // new widths 3 (0011) and 0 (0000)
                          0x30,
                          // 0 | 0 0 0 1 0 | fill style 0 = 5 in 3 bits | end 000000 | pad
                          0b0'00010'10, 0b1'000000'0}));
}

TEST(FDTDefineMorphShape, OffsetPointsAtTheEndEdges) {
    FDTDefineMorphShape morph(std::make_unique<FRect>(0, 0, 100, 100),
                              std::make_unique<FRect>(0, 0, 200, 200));
    morph.AddFillStyle(std::make_unique<FMorphFillStyleSolid>(
        std::make_unique<FColor>(1, 2, 3, 4), std::make_unique<FColor>(5, 6, 7, 8)));
    morph.FinishStyleArrays();
    morph.AddStartShapeRec(
        std::make_unique<FShapeRecChange>(0, 0, 1, 1, 1, 10, 10, 1, 1, 0, nullptr, nullptr));
    morph.AddEndShapeRec(
        std::make_unique<FShapeRecChange>(0, 0, 1, 1, 1, 20, 20, 1, 1, 0, nullptr, nullptr));
    morph.AddStartShapeRec(std::make_unique<FShapeRecEdgeStraight>(50, 0));
    morph.AddEndShapeRec(std::make_unique<FShapeRecEdgeStraight>(100, 0));
    morph.AddStartShapeRec(std::make_unique<FShapeRecEnd>());
    morph.AddEndShapeRec(std::make_unique<FShapeRecEnd>());
    const Bytes out = WrittenBytes(morph);

    BitReader in(out);
    EXPECT_EQ(in.Word() >> 6, unsigned(swf::DefineMorphShape));
    const std::size_t length = out[0] & 0x3F;
    ASSERT_EQ(out.size(), 2 + length);
    in.Word(); // ID
    for (int r = 0; r < 2; ++r) {
        const int w = static_cast<int>(in.U(5));
        in.U(4 * w);
        in.Align();
    }
    const std::uint32_t offset = in.DWord();
    const std::size_t styledStart = in.BytePos();
    // fill styles: count 1, solid, two RGBA colours; no line styles
    EXPECT_EQ(Bytes(out.begin() + static_cast<long>(styledStart),
                    out.begin() + static_cast<long>(styledStart) + 11),
              (Bytes{0x01, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x00}));
    EXPECT_EQ(out[styledStart + 11], 0x10); // start edges: fill width 1, line width 0
    const std::size_t endEdges = styledStart + offset;
    ASSERT_LT(endEdges, out.size());
    EXPECT_EQ(out[endEdges], 0x00); // end edges: both widths 0
    // end edges: change record without index bits: 0 | 00111 | 00110 (6) | 010100 | 010100 ...
    BitReader end(out, endEdges + 1);
    EXPECT_EQ(end.U(6), 0b000111u);
    ASSERT_EQ(end.U(5), 6u);
    EXPECT_EQ(end.S(6), 20);
    EXPECT_EQ(end.S(6), 20);
    EXPECT_EQ(end.U(2), 0b11u); // straight edge follows at once: no fill index bits
}

struct OrderCase {
    const char* name;
    std::function<void()> misuse;
    const char* condition;
};

class ShapeCallOrderDeathTest : public testing::TestWithParam<OrderCase> {};

TEST_P(ShapeCallOrderDeathTest, StopsWithTheFailedCondition) {
    const std::string pattern =
        std::string("Assertion failed: ") + GetParam().condition + ", file FDTShapes, line [0-9]+";
    EXPECT_DEATH(GetParam().misuse(), pattern);
}

INSTANTIATE_TEST_SUITE_P(
    Misuse, ShapeCallOrderDeathTest,
    testing::Values(OrderCase{"ShapeFillStyleAfterFinish",
                              [] {
                                  FDTDefineShape s(std::make_unique<FRect>(0, 0, 1, 1));
                                  s.FinishStyleArrays();
                                  s.AddFillStyle(std::make_unique<FFillStyleBitmap>(0, 1, nullptr));
                              },
                              "!styleArraysFinished"},
                    OrderCase{"ShapeRecordBeforeFinish",
                              [] {
                                  FDTDefineShape s(std::make_unique<FRect>(0, 0, 1, 1));
                                  s.AddShapeRec(std::make_unique<FShapeRecEnd>());
                              },
                              "styleArraysFinished"},
                    OrderCase{"ShapeWrittenBeforeFinish",
                              [] {
                                  FDTDefineShape s(std::make_unique<FRect>(0, 0, 1, 1));
                                  FSWFStream out;
                                  s.WriteToSWFStream(&out);
                              },
                              "styleArraysFinished"},
                    OrderCase{"MorphFillStyleAfterFinish",
                              [] {
                                  FDTDefineMorphShape m(std::make_unique<FRect>(0, 0, 1, 1),
                                                        std::make_unique<FRect>(0, 0, 1, 1));
                                  m.FinishStyleArrays();
                                  m.AddFillStyle(std::make_unique<FMorphFillStyle>());
                              },
                              "!styleArraysFinished"},
                    OrderCase{"MorphStartRecordBeforeFinish",
                              [] {
                                  FDTDefineMorphShape m(std::make_unique<FRect>(0, 0, 1, 1),
                                                        std::make_unique<FRect>(0, 0, 1, 1));
                                  m.AddStartShapeRec(std::make_unique<FShapeRecEnd>());
                              },
                              "styleArraysFinished"},
                    OrderCase{"MorphEndRecordBeforeFinish",
                              [] {
                                  FDTDefineMorphShape m(std::make_unique<FRect>(0, 0, 1, 1),
                                                        std::make_unique<FRect>(0, 0, 1, 1));
                                  m.AddEndShapeRec(std::make_unique<FShapeRecEnd>());
                              },
                              "styleArraysFinished"},
                    OrderCase{"MorphFinishedTwice",
                              [] {
                                  FDTDefineMorphShape m(std::make_unique<FRect>(0, 0, 1, 1),
                                                        std::make_unique<FRect>(0, 0, 1, 1));
                                  m.FinishStyleArrays();
                                  m.FinishStyleArrays();
                              },
                              "!styleArraysFinished"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
