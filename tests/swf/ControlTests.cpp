// Control tags and the JPEG bitmap tag.
#include "FCT.h"
#include "FDTBitmaps.h"
#include "SwfTestUtil.h"

#include <gtest/gtest.h>

namespace {

TEST(FCTRemoveObject2, DepthFive) {
    FCTRemoveObject2 remove(5);
    EXPECT_EQ(WrittenBytes(remove), (Bytes{0x02, 0x07, 0x05, 0x00}));
}

TEST(FCTShowFrame, TwoBytesAndCountsAsFrame) {
    FCTShowFrame show;
    EXPECT_EQ(WrittenBytes(show), (Bytes{0x40, 0x00}));
    EXPECT_TRUE(show.IsShowFrame());
    EXPECT_FALSE(FCTRemoveObject2(1).IsShowFrame());
}

TEST(FCTSetBackgroundColor, AlwaysRgb) {
    FCTSetBackgroundColor background(std::make_unique<FColor>(255, 255, 255, 128));
    EXPECT_EQ(WrittenBytes(background), (Bytes{0x43, 0x02, 0xFF, 0xFF, 0xFF}));
}

struct PlaceCase {
    const char* name;
    std::function<std::unique_ptr<FCTPlaceObject2>()> make;
    Bytes bytes;
};

class PlaceObjectTest : public testing::TestWithParam<PlaceCase> {};

TEST_P(PlaceObjectTest, Body) {
    EXPECT_EQ(WrittenBytes(*GetParam().make()), GetParam().bytes);
}

std::unique_ptr<FMatrix> Origin() {
    return std::make_unique<FMatrix>(0, 0, 0, 0, 0, 0, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PlaceObjectTest,
    testing::Values(PlaceCase{"NewCharacter",
                              [] {
                                  return std::make_unique<FCTPlaceObject2>(
                                      0, 0, 1, 0, 2, 7, Origin(), nullptr, 0, nullptr, 0);
                              },
                              {0x87, 0x06, 0x06, 0x02, 0x00, 0x07, 0x00, 0x02, 0x00}},
                    PlaceCase{"Move",
                              [] {
                                  return std::make_unique<FCTPlaceObject2>(
                                      0, 0, 0, 1, 2, 7, Origin(), nullptr, 0, nullptr, 0);
                              },
                              {0x85, 0x06, 0x05, 0x02, 0x00, 0x02, 0x00}},
                    PlaceCase{"MorphRatio",
                              [] {
                                  return std::make_unique<FCTPlaceObject2>(
                                      0, 1, 0, 1, 3, 0, nullptr, nullptr, 65535, nullptr, 0);
                              },
                              {0x85, 0x06, 0x11, 0x03, 0x00, 0xFF, 0xFF}},
                    PlaceCase{"NameAndClipDepth",
                              [] {
                                  return std::make_unique<FCTPlaceObject2>(
                                      1, 0, 0, 1, 1, 0, nullptr, nullptr, 0,
                                      std::make_unique<FString>("ab"), 0x0304);
                              },
                              {0x88, 0x06, 0x61, 0x01, 0x00, 'a', 'b', 0x00, 0x04, 0x03}},
                    PlaceCase{"ColourTransformWithAlphaTerms",
                              [] {
                                  return std::make_unique<FCTPlaceObject2>(
                                      0, 0, 0, 1, 1, 0, nullptr,
                                      std::make_unique<FCXForm>(0, 1, 1, -1, 0, 0, 0, 0), 0,
                                      nullptr, 0);
                              },
                              // 1 add | 0 mult | 0010 | 01 11 00 00 (alpha add 0) | pad
                              {0x85, 0x06, 0x09, 0x01, 0x00, 0b1'0'0010'01, 0b1100'0000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FDTDefineBitsJPEG2, DataIsSplicedBetweenTheMarkers) {
    std::vector<unsigned char> jpeg(1000);
    for (std::size_t i = 0; i < jpeg.size(); ++i)
        jpeg[i] = static_cast<unsigned char>(i * 7);
    FDTDefineBitsJPEG2 bits(jpeg.data(), jpeg.size());
    FSWFStream movie;
    bits.WriteToSWFStream(&movie);
    EXPECT_EQ(movie.ByteCount(), 6u + 8); // only header, ID and markers are in the buffer
    EXPECT_EQ(movie.Size(), 6u + 1008);
    const Bytes out = movie.SplicedBytes();
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{0x7F, 0x05, 0xF0, 0x03, 0x00, 0x00}));
    EXPECT_EQ(out[6], bits.ID() & 0xFF);
    EXPECT_EQ(Bytes(out.begin() + 8, out.begin() + 12), (Bytes{0xFF, 0xD9, 0xFF, 0xD8}));
    EXPECT_EQ(Bytes(out.begin() + 12, out.end() - 2), jpeg);
    EXPECT_EQ(Bytes(out.end() - 2, out.end()), (Bytes{0xFF, 0xD9}));
}

} // namespace
