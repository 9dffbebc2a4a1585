// Records: newdib, deldib, getpixel, setpixel, releasing without the library,
// and OpenDib on files.

#include "pixmill_test_util.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace pixtest;

namespace {

class NewDibDepth : public ::testing::TestWithParam<int> {};

TEST_P(NewDibDepth, MakesABlankPictureWithPaddedRows) {
    const int bits = GetParam();
    ScopedDib d;
    ASSERT_EQ(newdib(&d, 13, 5, bits, nullptr, 0), 1);
    ASSERT_NE(d.rec.InfoBlock, nullptr);
    ASSERT_NE(d.rec.Bits, nullptr);
    const PixmillBitmapInfoHeader& h = *d.rec.Info;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 13);
    EXPECT_EQ(h.biHeight, 5);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, bits);
    EXPECT_EQ(h.biCompression, 0u);
    const int stride = ((13 * bits + 31) / 32) * 4;
    EXPECT_EQ(d.rec.BytesPerRow, stride);
    EXPECT_EQ(h.biSizeImage, static_cast<uint32_t>(stride * 5));
    for (uint32_t i = 0; i < h.biSizeImage; ++i)
        ASSERT_EQ(d.rec.Bits[i], 0) << i;
    EXPECT_EQ(d.rec.HasPalette != 0, bits <= 8);
    const int entries = d.rec.Palette.palNumEntries; // a packed field: copied before comparing
    EXPECT_EQ(entries, bits <= 8 ? 1 << bits : 0);
}

TEST_P(NewDibDepth, PixelsRoundTripAndStayInTheirRow) {
    const int bits = GetParam();
    ScopedDib d;
    ASSERT_EQ(newdib(&d, 19, 6, bits, nullptr, 0), 1);
    const int mask = bits == 24 ? 0xFFFFFF : (1 << bits) - 1;
    auto value = [mask](int x, int y) { return (x * 0x10305 + y * 0x70B01 + x * y * 3) & mask; };
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 19; ++x)
            setpixel(&d.rec, x, y, value(x, y));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 19; ++x)
            ASSERT_EQ(getpixel(&d.rec, x, y), value(x, y)) << x << "," << y;
    // Row padding stays untouched.
    const int used = (19 * bits + 7) / 8;
    for (int y = 0; y < 6; ++y)
        for (int i = used; i < d.rec.BytesPerRow; ++i)
            EXPECT_EQ(d.rec.Bits[y * d.rec.BytesPerRow + i], 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, NewDibDepth, ::testing::Values(1, 4, 8, 24),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return std::to_string(i.param) + "bit";
                         });

struct RefusedSize {
    std::string name;
    int w, h, bits;
};

class NewDibRefused : public ::testing::TestWithParam<RefusedSize> {};

TEST_P(NewDibRefused, LeavesAnAllZeroRecord) {
    const RefusedSize& c = GetParam();
    DibRecord rec;
    std::memset(&rec, 0xAB, sizeof rec);
    EXPECT_EQ(newdib(&rec, c.w, c.h, c.bits, nullptr, 0), 0);
    EXPECT_TRUE(allZero(rec));
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, NewDibRefused,
    ::testing::Values(RefusedSize{"zero_width", 0, 5, 24}, RefusedSize{"zero_height", 5, 0, 24},
                      RefusedSize{"negative_width", -5, 3, 8},
                      RefusedSize{"wider_than_16384", 16385, 1, 8},
                      RefusedSize{"taller_than_16384", 1, 16385, 8},
                      RefusedSize{"over_512MiB_of_pixels", 16384, 16384, 24},
                      RefusedSize{"16_bits", 10, 10, 16}, RefusedSize{"2_bits", 10, 10, 2},
                      RefusedSize{"32_bits", 10, 10, 32}),
    [](const ::testing::TestParamInfo<RefusedSize>& i) { return i.param.name; });

TEST(NewDib, CopiesTheGivenColoursAndNoMore) {
    ScopedDib src;
    ASSERT_EQ(newdib(&src, 2, 2, 8, nullptr, 0), 1);
    auto* table = reinterpret_cast<PixmillRgbQuad*>(reinterpret_cast<uint8_t*>(src.rec.Info) + 40);
    for (int i = 0; i < 256; ++i)
        table[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                    static_cast<uint8_t>(i / 2), 0}; // blue, green, red

    ScopedDib eight;
    ASSERT_EQ(newdib(&eight, 3, 3, 8, src.rec.Info, 300), 1); // more than 256: capped
    EXPECT_EQ(std::memcmp(tableOf(eight.rec), table, 256 * 4), 0);
    EXPECT_EQ(eight.rec.Palette.palPalEntry[200].peRed, 100);
    EXPECT_EQ(eight.rec.Palette.palPalEntry[200].peGreen, 55);
    EXPECT_EQ(eight.rec.Palette.palPalEntry[200].peBlue, 200);

    ScopedDib four;
    ASSERT_EQ(newdib(&four, 3, 3, 4, src.rec.Info, 10), 1);
    EXPECT_EQ(std::memcmp(tableOf(four.rec), table, 10 * 4), 0);
    EXPECT_EQ(tableOf(four.rec)[10].rgbRed, 0);
    EXPECT_EQ(tableOf(four.rec)[10].rgbGreen, 0);
}

TEST(Pixels, TwentyFourBitValuesAreStoredBlueGreenRed) {
    ScopedDib d;
    ASSERT_EQ(newdib(&d, 2, 2, 24, nullptr, 0), 1);
    setpixel(&d.rec, 1, 1, 0x00332211); // red 0x11, green 0x22, blue 0x33
    const uint8_t* p = d.rec.Bits + d.rec.BytesPerRow + 3;
    EXPECT_EQ(p[0], 0x33);
    EXPECT_EQ(p[1], 0x22);
    EXPECT_EQ(p[2], 0x11);
    EXPECT_EQ(getpixel(&d.rec, 1, 1), 0x00332211);
}

TEST(Pixels, RowZeroIsTheFirstInMemoryAndIndexesKeepTheirBitOrder) {
    ScopedDib d;
    ASSERT_EQ(newdib(&d, 8, 2, 4, nullptr, 0), 1);
    setpixel(&d.rec, 0, 0, 0xA);
    setpixel(&d.rec, 1, 0, 0x3);
    EXPECT_EQ(d.rec.Bits[0], 0xA3); // the even pixel in the high nibble
    ScopedDib m;
    ASSERT_EQ(newdib(&m, 8, 2, 1, nullptr, 0), 1);
    setpixel(&m.rec, 0, 1, 7); // only the low bit counts
    EXPECT_EQ(m.rec.Bits[m.rec.BytesPerRow], 0x80);
    EXPECT_EQ(getpixel(&m.rec, 0, 1), 1);
}

TEST(Pixels, OutsideThePictureReadsZeroAndWritesNothing) {
    ScopedDib d;
    ASSERT_EQ(newdib(&d, 3, 2, 8, nullptr, 0), 1);
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {3, 0}, {0, 2}, {1 << 30, 1}}) {
        setpixel(&d.rec, x, y, 9);
        EXPECT_EQ(getpixel(&d.rec, x, y), 0);
    }
    for (uint32_t i = 0; i < d.rec.Info->biSizeImage; ++i)
        EXPECT_EQ(d.rec.Bits[i], 0);
    DibRecord empty{};
    EXPECT_EQ(getpixel(&empty, 0, 0), 0);
    setpixel(&empty, 0, 0, 1);
    EXPECT_EQ(getpixel(nullptr, 0, 0), 0);
    setpixel(nullptr, 0, 0, 1);
}

TEST(DelDib, AcceptsEmptyRecordsAndZeroesWhatItFrees) {
    DibRecord empty{};
    EXPECT_EQ(deldib(&empty), 1);
    EXPECT_TRUE(allZero(empty));
    deldib(nullptr);
    DibRecord rec{};
    ASSERT_EQ(newdib(&rec, 4, 4, 8, nullptr, 0), 1);
    deldib(&rec);
    EXPECT_TRUE(allZero(rec));
    deldib(&rec); // twice is harmless
}

// The editor releases an old record itself after a depth conversion: header
// block (when it differs from the pixel block), pixel block, palette object.
TEST(DelDib, ACallerCanReleaseARecordWithFree) {
    for (int bits : {8, 24}) {
        DibRecord rec{};
        ASSERT_EQ(newdib(&rec, 4, 4, bits, nullptr, 0), 1);
        if (rec.InfoBlock != rec.BitsBlock) std::free(rec.InfoBlock);
        std::free(rec.BitsBlock);
        if (rec.HasPalette) std::free(rec.PaletteHandle);
        // The leak checker of the sanitizer build sees anything left behind.
    }
}

class OpenDibFile : public ::testing::Test {
protected:
    TempDir dir;
    std::string write(const std::string& name, const Bytes& b) {
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), b.size());
        return path.string();
    }
};

TEST_F(OpenDibFile, ReadsByContentNotByName) {
    const Bytes png = makePng(colourPicture(9, 4), {});
    const std::string path = write("picture.bmp", png);
    ScopedDib d;
    ASSERT_EQ(OpenDib(&d.rec, path.c_str(), 0, nullptr), 1);
    ScopedDib direct;
    ASSERT_EQ(pixmill_read_png(png.data(), png.size(), &direct), 1);
    ASSERT_EQ(d.rec.Info->biSizeImage, direct.rec.Info->biSizeImage);
    EXPECT_EQ(std::memcmp(d.rec.Bits, direct.rec.Bits, direct.rec.Info->biSizeImage), 0);
}

TEST_F(OpenDibFile, UnreadableFilesGiveNoPicture) {
    const std::string empty = write("empty.bmp", {});
    const std::string junk = write("junk.tga", Bytes(100, 0x77));
    for (const std::string& path :
         {empty, junk, (dir / "missing.png").string(), dir.path().string()}) {
        DibRecord rec;
        std::memset(&rec, 0x5A, sizeof rec);
        EXPECT_EQ(OpenDib(&rec, path.c_str(), 0, nullptr), 0) << path;
        EXPECT_TRUE(allZero(rec)) << path;
    }
    DibRecord rec{};
    EXPECT_EQ(OpenDib(&rec, nullptr, 0, nullptr), 0);
}

} // namespace
