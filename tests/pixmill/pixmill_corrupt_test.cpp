// Truncated, damaged and hostile files: every reader gives no picture (an
// all-zero record) and never reads outside the bytes it is given.

#include "pixmill_test_util.h"

#include <gtest/gtest.h>

#include <random>

using namespace pixtest;

namespace {

constexpr int W = 11;
constexpr int H = 5;

Picture runs(int bits) {
    Picture p = indexedPicture(W, H, bits);
    const int n = 1 << bits;
    p.index = [n](int x, int y) { return x < 5 ? y % n : (x * 7 + y) % n; };
    return p;
}

// Reads an exact-size copy, so that a read past the end is seen by the
// address sanitizer.
int readCopy(const Bytes& data, size_t n, DibRecord* rec) {
    const Bytes cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
    return pixmill_read_any(cut.empty() ? nullptr : cut.data(), cut.size(), rec);
}

struct TruncationCase {
    std::string name;
    std::function<Bytes()> make;
    size_t trailing = 0; // bytes at the end the picture does not need (a GIF's trailer)
};

class TruncationTest : public ::testing::TestWithParam<TruncationCase> {};

TEST_P(TruncationTest, EveryShortenedFileGivesNoPicture) {
    const Bytes data = GetParam().make();
    {
        ScopedDib whole;
        ASSERT_EQ(readCopy(data, data.size(), &whole), 1) << "the untouched file must read";
    }
    for (size_t n = 0; n + GetParam().trailing < data.size(); ++n) {
        DibRecord rec{};
        EXPECT_EQ(readCopy(data, n, &rec), 0) << "cut at " << n << " of " << data.size();
        EXPECT_TRUE(allZero(rec)) << "cut at " << n;
        deldib(&rec);
    }
}

BmpOptions bmpBits(int bits, uint32_t compression = 0, bool topDown = false) {
    BmpOptions o;
    o.bits = bits;
    o.compression = compression;
    o.topDown = topDown;
    return o;
}

TgaOptions tgaType(int type, int depth) {
    TgaOptions o;
    o.type = type;
    o.depth = depth;
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Readers, TruncationTest,
    ::testing::Values(
        TruncationCase{"bmp_8bit", [] { return makeBmp(indexedPicture(W, H, 8), bmpBits(8)); }},
        TruncationCase{"bmp_24bit_top_down",
                       [] { return makeBmp(colourPicture(W, H), bmpBits(24, 0, true)); }},
        TruncationCase{"bmp_rle8", [] { return makeBmp(runs(8), bmpBits(8, 1)); }},
        TruncationCase{"bmp_rle4", [] { return makeBmp(runs(4), bmpBits(4, 2)); }},
        TruncationCase{"tga_rle_rgb", [] { return makeTga(colourPicture(W, H), tgaType(10, 24)); }},
        TruncationCase{"tga_mapped",
                       [] { return makeTga(indexedPicture(W, H, 8), tgaType(1, 8)); }},
        TruncationCase{"pcx_8bit",
                       [] {
                           return makePcx(runs(8), {8, 1, true, 5});
                       }},
        TruncationCase{"pcx_24bit",
                       [] {
                           return makePcx(colourPicture(W, H), {8, 3, true, 5});
                       }},
        TruncationCase{"pcx_16_colours",
                       [] {
                           return makePcx(indexedPicture(W, H, 4), {1, 4, true, 5});
                       }},
        TruncationCase{"ilbm",
                       [] {
                           IffOptions o;
                           o.planes = 4;
                           return makeIff(runs(4), o);
                       }},
        TruncationCase{"pbm",
                       [] {
                           IffOptions o;
                           o.pbm = true;
                           return makeIff(runs(8), o);
                       }},
        TruncationCase{"gif", [] { return makeGif(indexedPicture(W, H, 4)); }, 1},
        TruncationCase{"png",
                       [] {
                           PngOptions o;
                           o.colourType = 3;
                           return makePng(indexedPicture(W, H, 8), o);
                       }},
        TruncationCase{"png_rgba",
                       [] {
                           PngOptions o;
                           o.colourType = 6;
                           return makePng(colourPicture(W, H, true), o);
                       }},
        TruncationCase{"jpeg", [] { return makeJpeg(smoothPicture(24, 16), 80); }},
        TruncationCase{"jpeg_progressive",
                       [] { return makeJpeg(smoothPicture(24, 16), 80, false, true); }}),
    [](const ::testing::TestParamInfo<TruncationCase>& i) { return i.param.name; });

// TIFF keeps its directory at the end of our writer's files, but a reader may
// legitimately need fewer bytes; shortened files must only never crash.
TEST(TiffTruncation, ShortenedFilesReadSafely) {
    TiffOptions o;
    o.photometric = 2;
    o.compression = 5;
    o.rowsPerStrip = 2;
    for (const Bytes& data :
         {makeTiff(colourPicture(W, H), o), makeTiff(indexedPicture(W, H, 8), {3, 8})}) {
        for (size_t n = 0; n < data.size(); ++n) {
            DibRecord rec{};
            if (!readCopy(data, n, &rec)) {
                EXPECT_TRUE(allZero(rec));
            }
            deldib(&rec);
        }
    }
}

// ---- Damaged headers and streams: each row names one fault.

void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void put16(Bytes& b, size_t at, unsigned v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32be(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

Bytes bmp8() {
    return makeBmp(indexedPicture(W, H, 8), bmpBits(8));
}
Bytes bmp24() {
    return makeBmp(colourPicture(W, H), bmpBits(24));
}
Bytes tga24() {
    return makeTga(colourPicture(W, H), tgaType(2, 24));
}
Bytes pcx8() {
    return makePcx(indexedPicture(W, H, 8), {8, 1, true, 5});
}
Bytes ilbm4() {
    IffOptions o;
    o.planes = 4;
    return makeIff(indexedPicture(W, H, 4), o);
}

Bytes edited(Bytes b, const std::function<void(Bytes&)>& f) {
    f(b);
    return b;
}

const std::vector<Rgb> kPalette(4);

struct BadCase {
    std::string name;
    std::function<Bytes()> make;
};

class BadInputTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInputTest, GivesNoPicture) {
    const Bytes data = GetParam().make();
    DibRecord rec{};
    EXPECT_EQ(readCopy(data, data.size(), &rec), 0);
    EXPECT_TRUE(allZero(rec));
    deldib(&rec);
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, BadInputTest,
    ::testing::Values(
        // BMP header fields (info header at 14: width 18, height 22, planes 26, bits 28,
        // compression 30).
        BadCase{"bmp_width_over_limit",
                [] { return edited(bmp24(), [](Bytes& b) { put32(b, 18, 16385); }); }},
        BadCase{"bmp_huge_with_little_data",
                [] {
                    return edited(bmp24(), [](Bytes& b) {
                        put32(b, 18, 16384);
                        put32(b, 22, 16384);
                    });
                }},
        BadCase{"bmp_negative_width",
                [] {
                    return edited(bmp24(),
                                  [](Bytes& b) { put32(b, 18, static_cast<uint32_t>(-11)); });
                }},
        BadCase{"bmp_zero_height",
                [] { return edited(bmp24(), [](Bytes& b) { put32(b, 22, 0); }); }},
        BadCase{"bmp_most_negative_height",
                [] { return edited(bmp24(), [](Bytes& b) { put32(b, 22, 0x80000000u); }); }},
        BadCase{"bmp_two_planes",
                [] { return edited(bmp24(), [](Bytes& b) { put16(b, 26, 2); }); }},
        BadCase{"bmp_7_bits", [] { return edited(bmp24(), [](Bytes& b) { put16(b, 28, 7); }); }},
        BadCase{"bmp_unknown_compression",
                [] { return edited(bmp24(), [](Bytes& b) { put32(b, 30, 9); }); }},
        BadCase{"bmp_rle8_on_24_bits",
                [] { return edited(bmp24(), [](Bytes& b) { put32(b, 30, 1); }); }},
        BadCase{"bmp_header_size_past_end",
                [] { return edited(bmp8(), [](Bytes& b) { put32(b, 14, 100000); }); }},
        BadCase{"bmp_pixels_offset_past_end",
                [] { return edited(bmp8(), [](Bytes& b) { put32(b, 10, 1u << 30); }); }},
        BadCase{"bmp_palette_past_end",
                [] {
                    Bytes b = bmp8();
                    b.resize(14 + 40 + 100);
                    return b;
                }},
        BadCase{"bmp_rle8_without_end",
                [] {
                    return bmpWithRle(4, 2, 8, kPalette, {4, 1, 0, 0, 4, 2, 0, 0});
                }},
        BadCase{"bmp_rle8_absolute_past_data",
                [] {
                    return bmpWithRle(4, 2, 8, kPalette, {0, 200, 1, 2, 3});
                }},
        BadCase{"bmp_rle8_cut_delta",
                [] {
                    return bmpWithRle(4, 2, 8, kPalette, {0, 2, 1});
                }},
        BadCase{"bmp_rle4_absolute_past_data",
                [] {
                    return bmpWithRle(4, 2, 4, kPalette, {0, 9, 0x12, 0x34});
                }},
        // TGA header fields (type 2, map 1..7, width 12, height 14, depth 16, descriptor 17).
        BadCase{"tga_type_5", [] { return edited(tga24(), [](Bytes& b) { b[2] = 5; }); }},
        BadCase{"tga_mapped_without_map",
                [] {
                    return edited(tga24(), [](Bytes& b) {
                        b[2] = 1;
                        b[16] = 8;
                    });
                }},
        BadCase{"tga_map_entry_20_bits",
                [] {
                    return edited(makeTga(indexedPicture(W, H, 8), tgaType(1, 8)),
                                  [](Bytes& b) { b[7] = 20; });
                }},
        BadCase{"tga_depth_12", [] { return edited(tga24(), [](Bytes& b) { b[16] = 12; }); }},
        BadCase{"tga_zero_width",
                [] { return edited(tga24(), [](Bytes& b) { put16(b, 12, 0); }); }},
        BadCase{"tga_huge_rle",
                [] {
                    return edited(makeTga(colourPicture(W, H), tgaType(10, 24)), [](Bytes& b) {
                        put16(b, 12, 65535);
                        put16(b, 14, 65535);
                    });
                }},
        BadCase{"tga_over_pixel_bound",
                [] {
                    return edited(makeTga(colourPicture(W, H), tgaType(10, 24)), [](Bytes& b) {
                        put16(b, 12, 16384);
                        put16(b, 14, 16384);
                    });
                }},
        BadCase{"tga_interleaved", [] { return edited(tga24(), [](Bytes& b) { b[17] = 0x40; }); }},
        // PCX header fields (bpp 3, xmax 8, ymax 10, planes 65, bytes per line 66).
        BadCase{"pcx_3_bits", [] { return edited(pcx8(), [](Bytes& b) { b[3] = 3; }); }},
        BadCase{"pcx_xmax_before_xmin",
                [] { return edited(pcx8(), [](Bytes& b) { put16(b, 4, 20); }); }},
        BadCase{"pcx_line_too_short",
                [] { return edited(pcx8(), [](Bytes& b) { put16(b, 66, 2); }); }},
        BadCase{"pcx_width_over_limit",
                [] {
                    return edited(pcx8(), [](Bytes& b) {
                        put16(b, 8, 65535);
                        put16(b, 66, 65535);
                    });
                }},
        BadCase{"pcx_palette_marker_missing",
                [] { return edited(pcx8(), [](Bytes& b) { b[b.size() - 769] = 0; }); }},
        // IFF: FORM size 4, BMHD at 12 (width 20, planes 28, compression 30).
        BadCase{"iff_form_longer_than_file",
                [] {
                    return edited(ilbm4(),
                                  [](Bytes& b) { put32be(b, 4, static_cast<uint32_t>(b.size())); });
                }},
        BadCase{"iff_chunk_past_form",
                [] { return edited(ilbm4(), [](Bytes& b) { put32be(b, 16, 1000); }); }},
        BadCase{"iff_no_body",
                [] {
                    return edited(ilbm4(), [](Bytes& b) {
                        for (size_t i = 12; i + 4 < b.size(); ++i)
                            if (!std::memcmp(&b[i], "BODY", 4)) std::memcpy(&b[i], "XXXX", 4);
                    });
                }},
        BadCase{"iff_compression_2", [] { return edited(ilbm4(), [](Bytes& b) { b[30] = 2; }); }},
        BadCase{"iff_12_planes", [] { return edited(ilbm4(), [](Bytes& b) { b[28] = 12; }); }},
        BadCase{"iff_zero_width",
                [] {
                    return edited(ilbm4(), [](Bytes& b) {
                        b[20] = 0;
                        b[21] = 0;
                    });
                }},
        BadCase{"iff_wrong_form_type",
                [] { return edited(ilbm4(), [](Bytes& b) { std::memcpy(&b[8], "8SVX", 4); }); }},
        // Library formats: sizes past the bound, garbage after the signature.
        BadCase{"gif_over_side_limit",
                [] {
                    Picture p = indexedPicture(20000, 1, 1);
                    return makeGif(p);
                }},
        BadCase{"png_over_side_limit",
                [] {
                    PngOptions o;
                    o.colourType = 3;
                    o.depth = 1;
                    return makePng(indexedPicture(20000, 1, 1), o);
                }},
        BadCase{"jpeg_over_side_limit",
                [] { return makeJpeg(greyPicture(20000, 1, 8), 50, true); }},
        BadCase{"tiff_over_side_limit",
                [] {
                    return makeTiff(greyPicture(20000, 1, 1), {1, 1});
                }},
        BadCase{"gif_lzw_garbage",
                [] {
                    Bytes b = makeGif(indexedPicture(W, H, 4));
                    for (size_t i = 72; i + 2 < b.size(); ++i)
                        b[i] = 0xFF;
                    return b;
                }},
        BadCase{"png_bad_crc",
                [] {
                    PngOptions o;
                    Bytes b = makePng(colourPicture(W, H), o);
                    b[20] ^= 1;
                    return b;
                }},
        BadCase{"jpeg_header_only",
                [] {
                    Bytes b = makeJpeg(smoothPicture(16, 16), 80);
                    b.resize(200);
                    return b;
                }},
        BadCase{"empty", [] { return Bytes{}; }}, BadCase{"one_byte", [] { return Bytes{0}; }}),
    [](const ::testing::TestParamInfo<BadCase>& i) { return i.param.name; });

// Random bytes behind each signature: whatever is read, nothing crashes and a
// failed read leaves an all-zero record.
TEST(RandomInput, NeverCrashes) {
    const std::vector<Bytes> prefixes = {
        {'B', 'M'},         {'G', 'I', 'F', '8', '9', 'a'},
        {0xFF, 0xD8, 0xFF}, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
        {'I', 'I', '*', 0}, {'M', 'M', 0, '*'},
        {0x0A, 5, 1},       {'F', 'O', 'R', 'M'},
        {0, 0, 10},         {0, 1, 9},
        {40, 0, 0, 0},
    };
    std::mt19937 rng(12345);
    for (const Bytes& prefix : prefixes) {
        for (int round = 0; round < 300; ++round) {
            Bytes b = prefix;
            const size_t n = rng() % 300;
            for (size_t i = 0; i < n; ++i)
                b.push_back(static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng()));
            DibRecord rec{};
            if (!readCopy(b, b.size(), &rec)) {
                EXPECT_TRUE(allZero(rec));
            }
            deldib(&rec);
        }
    }
}

// The format libraries report through their own channels; none reaches stderr.
TEST(LibraryMessages, StayOffStderr) {
    const std::vector<Bytes> damaged = {
        [] {
            Bytes b = makePng(colourPicture(W, H), {});
            b[40] ^= 0x55;
            return b;
        }(),
        [] {
            Bytes b = makeJpeg(smoothPicture(16, 16), 80);
            b.resize(b.size() - 40);
            return b;
        }(),
        [] {
            Bytes b = makeJpeg(smoothPicture(16, 16), 80);
            for (size_t i = 200; i < b.size() - 2; i += 7)
                b[i] = 0xFF;
            return b;
        }(),
        [] {
            Bytes b = makeTiff(colourPicture(W, H), {});
            b.resize(b.size() - 30);
            return b;
        }(),
        [] {
            Bytes b = makeTiff(colourPicture(W, H), {});
            put32(b, 4, 0x7FFFFFF0u);
            return b;
        }(),
        [] {
            Bytes b = makeGif(indexedPicture(W, H, 4));
            b.resize(b.size() - 5);
            return b;
        }(),
    };
    for (const Bytes& b : damaged) {
        ::testing::internal::CaptureStderr();
        DibRecord rec{};
        readCopy(b, b.size(), &rec);
        deldib(&rec);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    }
}

} // namespace
