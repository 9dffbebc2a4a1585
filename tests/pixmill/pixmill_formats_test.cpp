// Every format and depth the readers take, from pictures encoded in memory,
// checked pixel by pixel against what the picture should show.

#include "pixmill_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace pixtest;

namespace {

using Reader = int (*)(const uint8_t*, size_t, DibRecord*);

struct DecodeCase {
    std::string name;
    std::function<Bytes()> make;
    Picture expect;
    int bits;          // depth of the record read
    int tolerance = 0; // per channel (quantised formats, JPEG)
    Reader reader;     // the dedicated reader behind pixmill_read_any
};

constexpr int W = 13; // odd, so that rows need padding
constexpr int H = 7;

// Runs of equal indexes on the left half, a busy pattern on the right.
Picture runsPicture(int w, int h, int bits) {
    Picture p = indexedPicture(w, h, bits);
    const int n = 1 << bits;
    p.index = [n](int x, int y) { return x < 6 ? (y * 3) % n : (x * 7 + y) % n; };
    return p;
}

Picture runsColour(int w, int h) {
    Picture p = colourPicture(w, h);
    auto base = p.colour;
    p.colour = [base](int x, int y) { return x < 6 ? base(0, y) : base(x, y); };
    return p;
}

Picture opaque(Picture p) {
    p.alpha = nullptr;
    return p;
}

Picture withPalette(Picture p, std::vector<Rgb> palette) {
    p.palette = std::move(palette);
    return p;
}

// The half-brite palette: 32 colours and the same at half brightness.
Picture halfBritePicture() {
    Picture p = indexedPicture(W, H, 6);
    for (int i = 0; i < 32; ++i)
        p.palette[32 + i] = {static_cast<uint8_t>(p.palette[i].r >> 1),
                             static_cast<uint8_t>(p.palette[i].g >> 1),
                             static_cast<uint8_t>(p.palette[i].b >> 1)};
    return p;
}

// Hold-and-modify with 6 planes: each pixel either takes one of 16 colours or
// changes one channel of its left neighbour.
const std::vector<Rgb> kHamColours = {
    {0, 0, 0},       {255, 0, 0},     {0, 255, 0},     {0, 0, 255}, {17, 34, 51}, {68, 85, 102},
    {119, 136, 153}, {170, 187, 204}, {221, 238, 255}, {1, 2, 3},   {4, 5, 6},    {7, 8, 9},
    {10, 11, 12},    {13, 14, 15},    {16, 17, 18},    {19, 20, 21}};
unsigned hamValue(int x, int y) {
    return static_cast<unsigned>(((x + y) % 4) << 4 | ((x * 5 + y * 3) & 15));
}
Picture hamPicture() {
    Picture p;
    p.width = W;
    p.height = H;
    p.colour = [](int x, int y) {
        Rgb c = kHamColours[0];
        for (int i = 0; i <= x; ++i) {
            const unsigned v = hamValue(i, y);
            const auto level = static_cast<uint8_t>((v & 15) * 17);
            switch (v >> 4) {
            case 0:
                c = kHamColours[v & 15];
                break;
            case 1:
                c.b = level;
                break;
            case 2:
                c.r = level;
                break;
            default:
                c.g = level;
                break;
            }
        }
        return c;
    };
    return p;
}

Picture onScreen(const Picture& inner, int sw, int sh, int left, int top, int fill = 0) {
    Picture p = inner;
    p.width = sw;
    p.height = sh;
    p.index = [inner, left, top, fill](int x, int y) {
        const bool in = x >= left && y >= top && x < left + inner.width && y < top + inner.height;
        return in ? inner.index(x - left, y - top) : fill;
    };
    return p;
}

DecodeCase bmp(std::string name, Picture p, BmpOptions o, int bits, int tol = 0,
               Picture expect = {}) {
    if (!expect.width) expect = p;
    return {std::move(name), [p, o] { return makeBmp(p, o); }, expect, bits, tol, pixmill_read_bmp};
}

BmpOptions bmpOpts(int bits, uint32_t compression = 0, BmpHeader header = BmpHeader::Info40,
                   bool topDown = false) {
    BmpOptions o;
    o.bits = bits;
    o.compression = compression;
    o.header = header;
    o.topDown = topDown;
    return o;
}

BmpOptions withMasks(BmpOptions o, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) {
    o.masks[0] = r;
    o.masks[1] = g;
    o.masks[2] = b;
    o.masks[3] = a;
    return o;
}

DecodeCase tga(std::string name, Picture p, TgaOptions o, int bits, int tol = 0,
               Picture expect = {}) {
    if (!expect.width) expect = p;
    return {std::move(name), [p, o] { return makeTga(p, o); }, expect, bits, tol, pixmill_read_tga};
}

TgaOptions tgaOpts(int type, int depth, int mapBits = 24, int alphaBits = 0) {
    TgaOptions o;
    o.type = type;
    o.depth = depth;
    o.mapBits = mapBits;
    o.alphaBits = alphaBits;
    return o;
}

DecodeCase pcx(std::string name, Picture p, int bpp, int planes, int bits, bool rle = true,
               int tol = 0) {
    PcxOptions o;
    o.bpp = bpp;
    o.planes = planes;
    o.rle = rle;
    return {std::move(name), [p, o] { return makePcx(p, o); }, p, bits, tol, pixmill_read_pcx};
}

DecodeCase iff(std::string name, Picture p, IffOptions o, int bits, Picture expect = {}) {
    if (!expect.width) expect = p;
    return {std::move(name), [p, o] { return makeIff(p, o); }, expect, bits, 0, pixmill_read_iff};
}

IffOptions ilbm(int planes, bool compress = true) {
    IffOptions o;
    o.planes = planes;
    o.compress = compress;
    return o;
}

DecodeCase gif(std::string name, Picture p, GifOptions o, int bits, Picture expect = {}) {
    if (!expect.width) expect = p;
    return {std::move(name), [p, o] { return makeGif(p, o); }, expect, bits, 0, pixmill_read_gif};
}

DecodeCase png(std::string name, Picture p, PngOptions o, int bits, int tol = 0,
               Picture expect = {}) {
    if (!expect.width) expect = p;
    return {std::move(name), [p, o] { return makePng(p, o); }, expect, bits, tol, pixmill_read_png};
}

PngOptions pngOpts(int colourType, int depth, bool interlace = false) {
    PngOptions o;
    o.colourType = colourType;
    o.depth = depth;
    o.interlace = interlace;
    return o;
}

DecodeCase tiff(std::string name, Picture p, TiffOptions o, int bits, int tol = 0) {
    return {std::move(name), [p, o] { return makeTiff(p, o); }, p, bits, tol, pixmill_read_tiff};
}

// A TIFF that stores `stored` and must show `shown`.
DecodeCase tiffStored(std::string name, Picture stored, TiffOptions o, Picture shown, int bits) {
    return {std::move(name),  [stored, o] { return makeTiff(stored, o); }, shown, bits, 0,
            pixmill_read_tiff};
}

TiffOptions tiffOpts(int photometric, int bits, int compression = 1) {
    TiffOptions o;
    o.photometric = photometric;
    o.bits = bits;
    o.compression = compression;
    return o;
}

// Stored CMYK samples of the Adobe kind (inverted: 255 is no ink) and the
// colour they show.
void cmykSample(int x, int y, uint8_t* s) {
    s[0] = static_cast<uint8_t>(255 - x * 6);
    s[1] = static_cast<uint8_t>(200 + y * 2);
    s[2] = static_cast<uint8_t>(128 + x * 3);
    s[3] = static_cast<uint8_t>(255 - y * 3);
}
Picture cmykPicture() {
    Picture p;
    p.width = 32;
    p.height = 24;
    p.colour = [](int x, int y) {
        uint8_t s[4];
        cmykSample(x, y, s);
        auto ch = [&](int i) { return static_cast<uint8_t>((s[i] * s[3] + 127) / 255); };
        return Rgb{ch(0), ch(1), ch(2)};
    };
    return p;
}

// A BMP whose pixels are a whole PNG file (compression 5).
Bytes bmpAroundPng(const Bytes& png) {
    Bytes b = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
    Bytes info(40, 0);
    info[0] = 40;
    info[4] = 9;  // width
    info[8] = 4;  // height
    info[12] = 1; // planes; bit count 0
    info[16] = 5; // compression: PNG
    b.insert(b.end(), info.begin(), info.end());
    b.insert(b.end(), png.begin(), png.end());
    return b;
}

std::vector<DecodeCase> decodeCases() {
    const Picture rgba = colourPicture(W, H, true);
    Picture zeroAlpha = colourPicture(W, H);
    zeroAlpha.alpha = [](int, int) { return uint8_t(0); };
    Picture firstIndex = indexedPicture(W, H, 8);
    firstIndex.index = [](int x, int y) { return 16 + (x * 11 + y * 3) % 240; };
    Picture bigMap = indexedPicture(W, H, 8);
    bigMap.indexBits = 9;
    bigMap.palette.clear();
    for (int i = 0; i < 300; ++i)
        bigMap.palette.push_back(
            {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 7), static_cast<uint8_t>(299 - i)});
    bigMap.index = [](int x, int y) { return (x * 23 + y * 41) % 300; };
    TgaOptions firstIndexOpts = tgaOpts(1, 8);
    firstIndexOpts.mapFirst = 16;
    firstIndexOpts.mapLength = 240;
    TgaOptions tenByteId = tgaOpts(1, 8); // starts 0x0A 0x01 0x01, as a PCX file does
    tenByteId.id = "0123456789";
    TgaOptions topDown = tgaOpts(2, 24);
    topDown.topDown = true;
    TgaOptions rightToLeft = tgaOpts(2, 24);
    rightToLeft.rightToLeft = true;
    rightToLeft.id = "picture id";
    IffOptions pbm;
    pbm.pbm = true;
    IffOptions pbmPlain = pbm;
    pbmPlain.compress = false;
    IffOptions noCmap = ilbm(4);
    noCmap.cmap = false;
    IffOptions masked = ilbm(4);
    masked.maskPlane = true;
    IffOptions ehb = ilbm(6);
    ehb.camg = 0x80;
    GifOptions interlaced;
    interlaced.interlace = true;
    GifOptions transparent;
    transparent.transparent = 5;
    Picture transparentExpect = indexedPicture(W, 20, 4);
    transparentExpect.palette[5] = {255, 255, 255};
    GifOptions screen;
    screen.screenWidth = 20;
    screen.screenHeight = 12;
    screen.left = 4;
    screen.top = 3;
    // Around the image the screen takes the transparent index: every bit of a 1-bit row set.
    GifOptions screenFilled = screen;
    screenFilled.screenWidth = 21;
    screenFilled.transparent = 1;
    Picture screenFilledExpect = onScreen(indexedPicture(W, H, 1), 21, 12, 4, 3, 1);
    screenFilledExpect.palette[1] = {255, 255, 255};
    PngOptions paletteAlpha = pngOpts(3, 8);
    paletteAlpha.paletteAlpha = {0, 128, 255, 64};
    Picture paletteAlphaExpect = indexedPicture(W, H, 8);
    for (int i = 0; i < 4; ++i)
        paletteAlphaExpect.palette[i] =
            overWhite(paletteAlphaExpect.palette[i], paletteAlpha.paletteAlpha[i]);
    TiffOptions rgbaTiff = tiffOpts(2, 8);
    rgbaTiff.alpha = true;
    TiffOptions tiled = tiffOpts(2, 8, 5);
    tiled.tiled = true;
    TiffOptions strips = tiffOpts(2, 8, 5);
    strips.rowsPerStrip = 2;
    // Stored turned: the file holds the picture's rows or columns the other
    // way round, and says so in its orientation.
    auto turned = [](Picture p, bool vertically, bool horizontally) {
        const int w = p.width, h = p.height;
        auto colour = p.colour;
        p.colour = [=](int x, int y) {
            return colour(horizontally ? w - 1 - x : x, vertically ? h - 1 - y : y);
        };
        return p;
    };
    auto oriented = [](TiffOptions o, int orientation) {
        o.orientation = orientation;
        return o;
    };
    BmpOptions packed = bmpOpts(8);
    packed.fileHeader = false;
    const std::vector<Rgb> blackWhite = {{0, 0, 0}, {255, 255, 255}};

    return {
        bmp("bmp_1bit", indexedPicture(W, H, 1), bmpOpts(1), 1),
        bmp("bmp_2bit", indexedPicture(W, H, 2), bmpOpts(2), 4),
        bmp("bmp_4bit", indexedPicture(W, H, 4), bmpOpts(4), 4),
        bmp("bmp_8bit", indexedPicture(W, H, 8), bmpOpts(8), 8),
        bmp("bmp_8bit_top_down", indexedPicture(W, H, 8), bmpOpts(8, 0, BmpHeader::Info40, true),
            8),
        bmp("bmp_24bit", colourPicture(W, H), bmpOpts(24), 24),
        bmp("bmp_24bit_top_down", colourPicture(W, H), bmpOpts(24, 0, BmpHeader::Info40, true), 24),
        bmp("bmp_16bit_555", colourPicture(W, H), bmpOpts(16), 24, 5),
        bmp("bmp_16bit_565_fields", colourPicture(W, H),
            withMasks(bmpOpts(16, 3), 0xF800, 0x07E0, 0x001F), 24, 5),
        bmp("bmp_16bit_v4_fields", colourPicture(W, H),
            withMasks(bmpOpts(16, 3, BmpHeader::V4_108), 0xF800, 0x07E0, 0x001F), 24, 5),
        bmp("bmp_32bit", colourPicture(W, H), bmpOpts(32), 24),
        bmp("bmp_32bit_v5_alpha", rgba,
            withMasks(bmpOpts(32, 3, BmpHeader::V5_124), 0xFF0000, 0xFF00, 0xFF, 0xFF000000), 24,
            1),
        bmp("bmp_32bit_alpha_fields", rgba,
            withMasks(bmpOpts(32, 6), 0xFF00, 0xFF0000, 0xFF000000, 0xFF), 24, 1),
        bmp("bmp_32bit_alpha_all_zero", zeroAlpha,
            withMasks(bmpOpts(32, 3, BmpHeader::V5_124), 0xFF0000, 0xFF00, 0xFF, 0xFF000000), 24, 0,
            opaque(zeroAlpha)),
        bmp("bmp_os2_core_8bit", indexedPicture(W, H, 8), bmpOpts(8, 0, BmpHeader::Core12), 8),
        bmp("bmp_os2_core_24bit", colourPicture(W, H), bmpOpts(24, 0, BmpHeader::Core12), 24),
        bmp("bmp_os2_v2_4bit", indexedPicture(W, H, 4), bmpOpts(4, 0, BmpHeader::Os2v2_64), 4),
        bmp("dib_packed_8bit", indexedPicture(W, H, 8), packed, 8),
        {"bmp_embedded_png", [] { return bmpAroundPng(makePng(colourPicture(9, 4), {})); },
         colourPicture(9, 4), 24, 0, pixmill_read_bmp},
        bmp("bmp_rle8", runsPicture(40, H, 8), bmpOpts(8, 1), 8),
        bmp("bmp_rle4", runsPicture(40, H, 4), bmpOpts(4, 2), 4),
        bmp("bmp_rle4_odd_width", runsPicture(W, H, 4), bmpOpts(4, 2), 4),

        tga("tga_mapped", indexedPicture(W, H, 8), tgaOpts(1, 8), 8),
        tga("tga_mapped_16bit_entries", indexedPicture(W, H, 8), tgaOpts(1, 8, 16), 8, 4),
        tga("tga_mapped_32bit_entries", indexedPicture(W, H, 8), tgaOpts(1, 8, 32), 8),
        tga("tga_mapped_first_index", firstIndex, firstIndexOpts, 8),
        tga("tga_mapped_300_colours", bigMap, tgaOpts(1, 16), 24),
        tga("tga_rgb24", colourPicture(W, H), tgaOpts(2, 24), 24),
        tga("tga_header_that_looks_like_pcx", indexedPicture(W, H, 8), tenByteId, 8),
        tga("tga_rgb24_top_down", colourPicture(W, H), topDown, 24),
        tga("tga_rgb24_right_to_left", colourPicture(W, H), rightToLeft, 24),
        tga("tga_rgb16", colourPicture(W, H), tgaOpts(2, 16), 24, 4),
        tga("tga_rgba32", rgba, tgaOpts(2, 32, 24, 8), 24),
        tga("tga_rgb32_alpha_unused", rgba, tgaOpts(2, 32), 24, 0, opaque(rgba)),
        tga("tga_grey8", greyPicture(W, H, 8), tgaOpts(3, 8), 8),
        tga(
            "tga_grey_alpha16",
            [] {
                Picture p = greyPicture(W, H, 8);
                p.alpha = colourPicture(W, H, true).alpha;
                return p;
            }(),
            tgaOpts(3, 16, 24, 8), 24),
        tga("tga_rle_mapped", runsPicture(40, H, 8), tgaOpts(9, 8), 8),
        tga("tga_rle_rgb24", runsColour(40, H), tgaOpts(10, 24), 24),
        tga("tga_rle_rgba32", rgba, tgaOpts(10, 32, 24, 8), 24),
        tga("tga_rle_grey8", withPalette(runsPicture(40, H, 8), greyPicture(2, 2, 8).palette),
            tgaOpts(11, 8), 8),

        pcx("pcx_mono", withPalette(indexedPicture(W, H, 1), blackWhite), 1, 1, 1),
        pcx("pcx_16_colours_4_planes", indexedPicture(W, H, 4), 1, 4, 4),
        pcx("pcx_8_colours_3_planes", indexedPicture(W, H, 3), 1, 3, 4),
        pcx("pcx_2bit", indexedPicture(W, H, 2), 2, 1, 4),
        pcx("pcx_4bit", indexedPicture(W, H, 4), 4, 1, 4),
        pcx("pcx_8bit", runsPicture(80, H, 8), 8, 1, 8),
        pcx("pcx_8bit_uncompressed", indexedPicture(W, H, 8), 8, 1, 8, false),
        pcx("pcx_24bit", runsColour(80, H), 8, 3, 24),
        pcx("pcx_32bit_alpha", rgba, 8, 4, 24),

        iff("ilbm_1_plane", indexedPicture(W, H, 1), ilbm(1), 1),
        iff("ilbm_3_planes", indexedPicture(W, H, 3), ilbm(3), 4),
        iff("ilbm_5_planes", indexedPicture(W, H, 5), ilbm(5), 8),
        iff("ilbm_8_planes", runsPicture(40, H, 8), ilbm(8), 8),
        iff("ilbm_uncompressed", indexedPicture(W, H, 4), ilbm(4, false), 4),
        iff("ilbm_mask_plane", indexedPicture(W, H, 4), masked, 4),
        iff("ilbm_without_cmap", indexedPicture(W, H, 4), noCmap, 4, greyPicture(W, H, 4)),
        iff("ilbm_extra_half_brite", halfBritePicture(), ehb, 8),
        {"ilbm_hold_and_modify",
         [] { return makeIffPlanes(W, H, 6, kHamColours, 0x800, hamValue, true); }, hamPicture(),
         24, 0, pixmill_read_iff},
        iff("ilbm_24_planes", colourPicture(W, H), ilbm(24), 24),
        iff("pbm", runsPicture(W, H, 8), pbm, 8),
        iff("pbm_uncompressed", indexedPicture(W, H, 8), pbmPlain, 8),

        gif("gif_1bit", indexedPicture(W, H, 1), {}, 1),
        gif("gif_3bit", indexedPicture(W, H, 3), {}, 4),
        gif("gif_4bit", indexedPicture(W, H, 4), {}, 4),
        gif("gif_8bit", indexedPicture(40, 20, 8), {}, 8),
        gif("gif_interlaced", indexedPicture(W, 20, 8), interlaced, 8),
        gif("gif_transparent", indexedPicture(W, 20, 4), transparent, 4, transparentExpect),
        gif("gif_on_larger_screen", indexedPicture(W, H, 4), screen, 4,
            onScreen(indexedPicture(W, H, 4), 20, 12, 4, 3)),
        gif("gif_1bit_on_filled_screen", indexedPicture(W, H, 1), screenFilled, 1,
            screenFilledExpect),

        png("png_palette_1bit", indexedPicture(W, H, 1), pngOpts(3, 1), 1),
        png("png_palette_2bit", indexedPicture(W, H, 2), pngOpts(3, 2), 8),
        png("png_palette_4bit", indexedPicture(W, H, 4), pngOpts(3, 4), 4),
        png("png_palette_8bit", indexedPicture(W, H, 8), pngOpts(3, 8), 8),
        png("png_palette_interlaced", indexedPicture(W, H, 4), pngOpts(3, 4, true), 4),
        png("png_palette_alpha", indexedPicture(W, H, 8), paletteAlpha, 8, 0, paletteAlphaExpect),
        png("png_grey_1bit", greyPicture(W, H, 1), pngOpts(0, 1), 1),
        png("png_grey_2bit", greyPicture(W, H, 2), pngOpts(0, 2), 8),
        png("png_grey_4bit", greyPicture(W, H, 4), pngOpts(0, 4), 4),
        png("png_grey_8bit", greyPicture(W, H, 8), pngOpts(0, 8), 8),
        png("png_grey_16bit", greyPicture(W, H, 8), pngOpts(0, 16), 8),
        png(
            "png_grey_alpha",
            [&] {
                Picture p = greyPicture(W, H, 8);
                p.alpha = rgba.alpha;
                return p;
            }(),
            pngOpts(4, 8), 24, 1),
        png("png_rgb", colourPicture(W, H), pngOpts(2, 8), 24),
        png("png_rgb_16bit", colourPicture(W, H), pngOpts(2, 16), 24),
        png("png_rgb_interlaced", colourPicture(W, H), pngOpts(2, 8, true), 24),
        png("png_rgba", rgba, pngOpts(6, 8), 24, 1),
        png("png_rgba_interlaced", rgba, pngOpts(6, 8, true), 24, 1),

        tiff("tiff_palette_8bit", indexedPicture(W, H, 8), tiffOpts(3, 8), 8),
        tiff("tiff_palette_4bit", indexedPicture(W, H, 4), tiffOpts(3, 4, 5), 4),
        tiff("tiff_grey_8bit", greyPicture(W, H, 8), tiffOpts(1, 8, 8), 8),
        tiff("tiff_grey_2bit", greyPicture(W, H, 2), tiffOpts(1, 2), 4),
        tiff("tiff_min_is_white_1bit", greyPicture(W, H, 1), tiffOpts(0, 1), 1),
        tiff("tiff_rgb", colourPicture(W, H), tiffOpts(2, 8), 24),
        tiff("tiff_rgb_lzw_strips", colourPicture(W, H), strips, 24),
        tiff("tiff_rgb_tiled", colourPicture(37, 21), tiled, 24),
        tiffStored("tiff_rgb_bottom_up", turned(colourPicture(W, H), true, false),
                   oriented(strips, 4), colourPicture(W, H), 24),
        tiffStored("tiff_rgb_right_to_left", turned(colourPicture(W, H), false, true),
                   oriented(tiffOpts(2, 8, 8), 2), colourPicture(W, H), 24),
        tiffStored("tiff_rgb_tiled_bottom_up_right_to_left",
                   turned(colourPicture(37, 21), true, true), oriented(tiled, 3),
                   colourPicture(37, 21), 24),
        tiff("tiff_rgba", rgba, rgbaTiff, 24, 1),

        {"jpeg_rgb", [] { return makeJpeg(smoothPicture(32, 24), 95); }, smoothPicture(32, 24), 24,
         10, pixmill_read_jpeg},
        {"jpeg_grey", [] { return makeJpeg(greyPicture(32, 24, 8), 95, true); },
         greyPicture(32, 24, 8), 8, 12, pixmill_read_jpeg},
        {"jpeg_adobe_cmyk", [] { return makeCmykJpeg(32, 24, cmykSample, 95); }, cmykPicture(), 24,
         10, pixmill_read_jpeg},
        {"jpeg_progressive", [] { return makeJpeg(smoothPicture(32, 24), 95, false, true); },
         smoothPicture(32, 24), 24, 10, pixmill_read_jpeg},
    };
}

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

void expectShows(const DibRecord& rec, const DecodeCase& c) {
    ASSERT_NE(rec.Bits, nullptr);
    ASSERT_EQ(rec.Info->biWidth, c.expect.width);
    ASSERT_EQ(rec.Info->biHeight, c.expect.height);
    ASSERT_EQ(rec.Info->biBitCount, c.bits);
    ASSERT_EQ(rec.BytesPerRow, ((c.expect.width * c.bits + 31) / 32) * 4);
    EXPECT_EQ(rec.HasPalette != 0, c.bits <= 8);
    int bad = 0;
    for (int y = 0; y < c.expect.height; ++y) {
        for (int x = 0; x < c.expect.width; ++x) {
            const Rgb want = c.expect.shown(x, y);
            const Rgb got = shownAt(rec, x, y);
            const bool near = std::abs(want.r - got.r) <= c.tolerance &&
                              std::abs(want.g - got.g) <= c.tolerance &&
                              std::abs(want.b - got.b) <= c.tolerance;
            if (!near && bad++ < 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << " from the top): want "
                              << int(want.r) << "," << int(want.g) << "," << int(want.b) << " got "
                              << int(got.r) << "," << int(got.g) << "," << int(got.b);
        }
    }
    EXPECT_EQ(bad, 0);
}

TEST_P(DecodeTest, ShowsEveryPixel) {
    const DecodeCase& c = GetParam();
    const Bytes data = c.make();
    ScopedDib any;
    ASSERT_EQ(pixmill_read_any(data.data(), data.size(), &any), 1);
    expectShows(any.rec, c);

    // The logical palette mirrors the colour table.
    if (c.bits <= 8) {
        const int entries =
            any.rec.Palette.palNumEntries; // a packed field: copied before comparing
        ASSERT_EQ(entries, 1 << c.bits);
        const PixmillRgbQuad* table = tableOf(any.rec);
        for (int i = 0; i < (1 << c.bits); ++i)
            ASSERT_EQ(any.rec.Palette.palPalEntry[i].peRed, table[i].rgbRed);
        ASSERT_EQ(std::memcmp(any.rec.PaletteHandle, &any.rec.Palette, sizeof(PixmillLogPalette)),
                  0);
    }

    ScopedDib own;
    ASSERT_EQ(c.reader(data.data(), data.size(), &own), 1);
    ASSERT_EQ(own.rec.Info->biSizeImage, any.rec.Info->biSizeImage);
    EXPECT_EQ(std::memcmp(own.rec.Bits, any.rec.Bits, any.rec.Info->biSizeImage), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, DecodeTest, ::testing::ValuesIn(decodeCases()),
                         [](const ::testing::TestParamInfo<DecodeCase>& i) {
                             return i.param.name;
                         });

// Stream-level RLE cases that an encoder would not write but readers meet.
TEST(BmpRle, DeltaSkipsPixelsAndLeavesThemAtIndexZero) {
    const std::vector<Rgb> palette = {{0, 0, 0}, {10, 20, 30}, {40, 50, 60}};
    const Bytes stream = {
        3, 1,       // three pixels of index 1 on the bottom line
        0, 2, 2, 1, // delta: two right, one up -> (5, 1)
        2, 2,       // two pixels of index 2
        0, 0,       // end of line
        0, 1,       // end of bitmap
    };
    const Bytes file = bmpWithRle(8, 3, 8, palette, stream);
    ScopedDib d;
    ASSERT_EQ(pixmill_read_bmp(file.data(), file.size(), &d), 1);
    const int want[3][8] = {
        {1, 1, 1, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 2, 2, 0}, {0, 0, 0, 0, 0, 0, 0, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(getpixel(&d.rec, x, y), want[y][x]) << x << "," << y;
}

TEST(BmpRle, RunsPastTheRowOrThePictureAreCutOff) {
    const std::vector<Rgb> palette = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
    const Bytes stream = {
        200, 1,                       // a run far past the 4-pixel row
        0,   0,                       // end of line
        0,   5, 2,   3,   2, 3, 2, 0, // absolute run of five, one past the row (padded)
        0,   2, 255, 255,             // delta far outside the picture
        9,   3,                       // pixels outside: dropped
        0,   1,
    };
    const Bytes file = bmpWithRle(4, 2, 8, palette, stream);
    ScopedDib d;
    ASSERT_EQ(pixmill_read_bmp(file.data(), file.size(), &d), 1);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(getpixel(&d.rec, x, 0), 1);
        EXPECT_EQ(getpixel(&d.rec, x, 1), x % 2 ? 3 : 2);
    }
}

TEST(BmpRle, Rle4RunsAlternateTwoColours) {
    const std::vector<Rgb> palette(16);
    const Bytes stream = {
        5, 0x12,             // 1 2 1 2 1
        0, 3,    0x34, 0x50, // absolute: 3 4 5
        0, 1,
    };
    const Bytes file = bmpWithRle(8, 1, 4, palette, stream);
    ScopedDib d;
    ASSERT_EQ(pixmill_read_bmp(file.data(), file.size(), &d), 1);
    const int want[8] = {1, 2, 1, 2, 1, 3, 4, 5};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(getpixel(&d.rec, x, 0), want[x]) << x;
}

} // namespace
