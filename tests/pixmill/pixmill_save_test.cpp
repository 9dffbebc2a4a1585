// SaveDib: quality mapping, pictures of every depth, row order, baseline
// files, and failures that leave nothing behind.

#include "pixmill_test_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include <sys/resource.h>

using namespace pixtest;

namespace {

Bytes readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A 24-bit record holding the picture.
void fill24(DibRecord* rec, const Picture& p) {
    ASSERT_EQ(newdib(rec, p.width, p.height, 24, nullptr, 0), 1);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const Rgb c = p.shown(x, y);
            setpixel(rec, x, p.height - 1 - y, c.r | (c.g << 8) | (c.b << 16));
        }
}

struct QualityCase {
    int option;
    int quality;
};

class SaveQuality : public ::testing::TestWithParam<QualityCase> {};

// The file is exactly what libjpeg writes at the documented quality.
TEST_P(SaveQuality, MatchesTheEncoderAtTheMappedQuality) {
    TempDir dir;
    const Picture p = smoothPicture(40, 24);
    ScopedDib d;
    fill24(&d.rec, p);
    const auto path = dir / "out.jpg";
    ASSERT_EQ(SaveDib(&d.rec, path.c_str(), GetParam().option, nullptr), 1);
    EXPECT_EQ(readFile(path), makeJpeg(p, GetParam().quality));
}

INSTANTIATE_TEST_SUITE_P(Options, SaveQuality,
                         ::testing::Values(QualityCase{0, 75}, QualityCase{1, 15},
                                           QualityCase{5, 55}, QualityCase{7, 75},
                                           QualityCase{9, 95}, QualityCase{10, 100},
                                           QualityCase{12, 100}, QualityCase{-4, 75}),
                         [](const ::testing::TestParamInfo<QualityCase>& i) {
                             return "option_" + std::string(i.param.option < 0 ? "minus_" : "") +
                                    std::to_string(std::abs(i.param.option));
                         });

class SaveDepth : public ::testing::TestWithParam<int> {};

// Indexed pictures are written through their colour table; blocks of 8 x 8
// pixels keep JPEG's error small, and the colour changes from top to bottom
// show that the top row is written first.
TEST_P(SaveDepth, WritesThePictureTopRowFirst) {
    const int bits = GetParam();
    const int w = 32;
    const int h = 24;
    ScopedDib d;
    ASSERT_EQ(newdib(&d, w, h, bits, nullptr, 0), 1);
    const int n = bits == 24 ? 0 : 1 << bits;
    const Rgb colours[4] = {{250, 10, 10}, {10, 240, 20}, {20, 30, 230}, {240, 240, 240}};
    auto block = [](int x, int yTop) { return (x / 8 + yTop / 8 * 2) % 4; };
    if (bits <= 8) {
        auto* table =
            reinterpret_cast<PixmillRgbQuad*>(reinterpret_cast<uint8_t*>(d.rec.Info) + 40);
        for (int i = 0; i < n; ++i) {
            const Rgb c = colours[i % 4];
            table[i] = {c.b, c.g, c.r, 0};
        }
    }
    for (int yTop = 0; yTop < h; ++yTop)
        for (int x = 0; x < w; ++x) {
            const int b = bits == 1 ? block(x, yTop) % 2 : block(x, yTop);
            const Rgb c = colours[b];
            setpixel(&d.rec, x, h - 1 - yTop, bits <= 8 ? b : (c.r | (c.g << 8) | (c.b << 16)));
        }
    TempDir dir;
    const auto path = dir / "out.jpg";
    ASSERT_EQ(SaveDib(&d.rec, path.c_str(), 10, nullptr), 1);
    int gw = 0, gh = 0;
    const std::vector<Rgb> px = decodeJpeg(readFile(path), &gw, &gh);
    ASSERT_EQ(gw, w);
    ASSERT_EQ(gh, h);
    // Colours bleed across block edges (chroma is subsampled): check the
    // middle of each block.
    for (int yTop = 0; yTop < h; ++yTop)
        for (int x = 0; x < w; ++x) {
            if (x % 8 < 2 || x % 8 > 5 || yTop % 8 < 2 || yTop % 8 > 5) continue;
            const int b = bits == 1 ? block(x, yTop) % 2 : block(x, yTop);
            const Rgb want = colours[b];
            const Rgb got = px[yTop * w + x];
            ASSERT_NEAR(got.r, want.r, 12) << x << "," << yTop;
            ASSERT_NEAR(got.g, want.g, 12) << x << "," << yTop;
            ASSERT_NEAR(got.b, want.b, 12) << x << "," << yTop;
        }
}

INSTANTIATE_TEST_SUITE_P(Depths, SaveDepth, ::testing::Values(1, 4, 8, 24),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return std::to_string(i.param) + "bit";
                         });

TEST(SaveDib, WritesABaselineFileThatReadsBack) {
    TempDir dir;
    ScopedDib d;
    fill24(&d.rec, smoothPicture(17, 9));
    const auto path = dir / "out.jpg";
    ASSERT_EQ(SaveDib(&d.rec, path.c_str(), 7, nullptr), 1);
    const Bytes file = readFile(path);
    bool baseline = false;
    bool progressive = false;
    for (size_t i = 0; i + 1 < file.size(); ++i) {
        baseline = baseline || (file[i] == 0xFF && file[i + 1] == 0xC0);
        progressive = progressive || (file[i] == 0xFF && file[i + 1] == 0xC2);
    }
    EXPECT_TRUE(baseline);
    EXPECT_FALSE(progressive);
    ScopedDib back;
    ASSERT_EQ(OpenDib(&back.rec, path.c_str(), 0, nullptr), 1);
    EXPECT_EQ(back.rec.Info->biWidth, 17);
    EXPECT_EQ(back.rec.Info->biHeight, 9);
    // Only the target is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(SaveDib, ReplacesAnExistingFile) {
    TempDir dir;
    const auto path = dir / "out.jpg";
    std::ofstream(path) << "old contents";
    ScopedDib d;
    fill24(&d.rec, smoothPicture(8, 8));
    ASSERT_EQ(SaveDib(&d.rec, path.c_str(), 7, nullptr), 1);
    const Bytes file = readFile(path);
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xD8);
}

TEST(SaveDib, RefusesWhatItCannotWrite) {
    TempDir dir;
    const auto path = (dir / "out.jpg").string();
    DibRecord empty{};
    EXPECT_EQ(SaveDib(&empty, path.c_str(), 7, nullptr), 0);
    EXPECT_EQ(SaveDib(nullptr, path.c_str(), 7, nullptr), 0);

    ScopedDib d;
    fill24(&d.rec, smoothPicture(8, 8));
    EXPECT_EQ(SaveDib(&d.rec, nullptr, 7, nullptr), 0);
    EXPECT_EQ(SaveDib(&d.rec, "", 7, nullptr), 0);
    EXPECT_EQ(SaveDib(&d.rec, (dir / "no-such-folder" / "out.jpg").c_str(), 7, nullptr), 0);

    // A depth the writer does not take, and rows shorter than the width needs.
    d.rec.Info->biBitCount = 16;
    EXPECT_EQ(SaveDib(&d.rec, path.c_str(), 7, nullptr), 0);
    d.rec.Info->biBitCount = 24;
    d.rec.BytesPerRow = 4;
    EXPECT_EQ(SaveDib(&d.rec, path.c_str(), 7, nullptr), 0);
    d.rec.BytesPerRow = 24;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A write that fails part-way (the file size limit stands in for a full
// disk): SaveDib says so, the old file stays and no temporary file is left.
TEST(SaveDib, ReportsAFailedWriteAndKeepsTheOldFile) {
    TempDir dir;
    const auto target = dir / "out.jpg";
    std::ofstream(target) << "old contents";
    ScopedDib d;
    Picture noisy = colourPicture(64, 64);
    fill24(&d.rec, noisy);

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 600;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = SaveDib(&d.rec, target.c_str(), 7, nullptr);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(readFile(target),
              Bytes({'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't', 's'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

} // namespace
