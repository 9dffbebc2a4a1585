#include "compiler/PictureExport.h"

#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "platform/SystemServices.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

DibRecord makePicture(int w, int h, int bits) {
    DibRecord d{};
    EXPECT_TRUE(Pixmill.newdib(&d, w, h, bits, nullptr, 0));
    return d;
}

TEST(FitToAspect, LargestBoxWithThePicturesProportions) {
    EXPECT_EQ(FitToAspect(40, 40, 640, 480), (BoxSize{40, 30}));
    EXPECT_EQ(FitToAspect(200, 100, 640, 480), (BoxSize{133, 100}));
    EXPECT_EQ(FitToAspect(0, 10, 640, 480), (BoxSize{0, 0}));
    EXPECT_EQ(FitToAspect(10, 10, 0, 0), (BoxSize{10, 10})); // no picture size: no division
}

TEST(PictureExportSize, LargerFittedBoxNeverAbovePicture) {
    Objekt o{};
    o.Start = {0, 0, 40, 40, 0, 0, 0, 0, 0};
    o.End = {0, 0, 200, 100, 0, 0, 0, 0, 0};
    EXPECT_EQ(PictureExportSize(o, 640, 480), (BoxSize{133, 100}));
    o.Start = {0, 0, 0, 40, 0, 0, 0, 0, 0}; // width 0 counts as 1
    o.End = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(PictureExportSize(o, 100, 100), (BoxSize{1, 1}));
    o.Start = {50, 50, 0, 0, 0, 0, 0, 0, 0}; // turned over: its absolute size
    EXPECT_EQ(PictureExportSize(o, 100, 100), (BoxSize{50, 50}));
}

TEST(ConvertDibTo24, OneBitBecomesBlackAndWhiteWhateverItsPalette) {
    DibRecord d = makePicture(9, 2, 1);
    auto* colours = reinterpret_cast<PixmillRgbQuad*>(d.Info + 1);
    colours[0] = {0, 0, 255, 0}; // red
    colours[1] = {255, 0, 0, 0}; // blue
    Pixmill.setpixel(&d, 0, 0, 1);
    Pixmill.setpixel(&d, 8, 1, 1);
    ConvertDibTo24(d, 24);
    ASSERT_EQ(DibBitCount(d), 24);
    EXPECT_EQ(Pixmill.getpixel(&d, 0, 0), 0xFFFFFF);
    EXPECT_EQ(Pixmill.getpixel(&d, 1, 0), 0x000000);
    EXPECT_EQ(Pixmill.getpixel(&d, 8, 1), 0xFFFFFF);
    Pixmill.deldib(&d);
}

TEST(ConvertDibTo24, FourAndEightBitsThroughThePalette) {
    for (int bits : {4, 8}) {
        DibRecord d = makePicture(3, 1, bits);
        auto* colours = reinterpret_cast<PixmillRgbQuad*>(d.Info + 1);
        colours[5] = {0x30, 0x20, 0x10, 0};
        colours[9] = {0x03, 0x02, 0x01, 0};
        Pixmill.setpixel(&d, 0, 0, 5);
        Pixmill.setpixel(&d, 1, 0, 9);
        ConvertDibTo24(d, 24);
        ASSERT_EQ(DibBitCount(d), 24) << bits;
        EXPECT_EQ(Pixmill.getpixel(&d, 0, 0), 0x302010) << bits;
        EXPECT_EQ(Pixmill.getpixel(&d, 1, 0), 0x030201) << bits;
        Pixmill.deldib(&d);
    }
}

TEST(ScaleDib, NearestNeighbourIntoANewPicture) {
    DibRecord d = makePicture(4, 2, 24);
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 2; ++y)
            Pixmill.setpixel(&d, x, y, x + 16 * y);
    DibRecord s = ScaleDib(d, 2, 1);
    ASSERT_NE(s.Bits, nullptr);
    EXPECT_EQ(DibWidth(s), 2);
    EXPECT_EQ(Pixmill.getpixel(&s, 0, 0), 0);
    EXPECT_EQ(Pixmill.getpixel(&s, 1, 0), 2);
    EXPECT_EQ(Pixmill.getpixel(&d, 3, 1), 3 + 16); // the source stays
    EXPECT_EQ(ScaleDib(d, 0, 5).Bits, nullptr);
    Pixmill.deldib(&s);
    Pixmill.deldib(&d);
}

TEST(FreeDibMemory, ReleasesWithoutTheLibrary) {
    DibRecord d = makePicture(5, 5, 8);
    FreeDibMemory(d); // the sanitizer build checks that every block goes
    EXPECT_EQ(d.Bits, nullptr);
    EXPECT_EQ(d.InfoBlock, nullptr);
}

class TempNameTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetTempFolder(dir.path().string()); }
    void TearDown() override { platform::SetTempFolder(""); }
    testsupport::TempDir dir;
};

TEST_F(TempNameTest, SkipsTakenNamesAndNeverFollowsALink) {
    const std::string first = MakeTempFileName("tempjpg", ".jpg");
    EXPECT_EQ(first, dir.file("tempjpg0.jpg"));
    EXPECT_TRUE(std::filesystem::exists(first)); // created, so nobody else takes it
    EXPECT_EQ(MakeTempFileName("tempjpg", ".jpg"), dir.file("tempjpg1.jpg"));
    // A link planted under the next name is skipped, and its target untouched.
    const std::string target = dir.file("victim");
    std::ofstream(target) << "keep";
    std::filesystem::create_symlink(target, dir.file("tempjpg2.jpg"));
    EXPECT_EQ(MakeTempFileName("tempjpg", ".jpg"), dir.file("tempjpg3.jpg"));
    std::ifstream in(target);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "keep");
    platform::SetTempFolder(dir.file("missing"));
    EXPECT_EQ(MakeTempFileName("tempjpg", ".jpg"), "");
}

} // namespace
