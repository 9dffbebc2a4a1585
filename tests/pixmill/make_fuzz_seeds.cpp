// Writes the seed corpus of the image library's fuzz targets:
//   pixmill_make_seeds <tests/fuzz/corpus>
// Each target gets a few tiny pictures of its format.

#include "image_writers.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace pixtest;

namespace {

void save(const std::filesystem::path& dir, const std::string& target, const std::string& name,
          const Bytes& b) {
    const auto folder = dir / target;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), b.size());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 3;
    }
    const std::filesystem::path dir = argv[1];
    const Picture i1 = indexedPicture(9, 5, 1);
    const Picture i4 = indexedPicture(9, 5, 4);
    const Picture i8 = indexedPicture(9, 5, 8);
    const Picture rgb = colourPicture(9, 5);
    const Picture rgba = colourPicture(9, 5, true);

    auto bmp = [](int bits, uint32_t comp, BmpHeader h = BmpHeader::Info40, bool top = false) {
        BmpOptions o;
        o.bits = bits;
        o.compression = comp;
        o.header = h;
        o.topDown = top;
        if (comp == 3) {
            o.masks[0] = bits == 16 ? 0xF800 : 0xFF0000;
            o.masks[1] = bits == 16 ? 0x07E0 : 0xFF00;
            o.masks[2] = bits == 16 ? 0x001F : 0xFF;
            o.masks[3] = bits == 32 ? 0xFF000000 : 0;
        }
        return o;
    };
    const std::string b = "pixmill_bmp_fuzz";
    save(dir, b, "1bit.bmp", makeBmp(i1, bmp(1, 0)));
    save(dir, b, "4bit_os2.bmp", makeBmp(i4, bmp(4, 0, BmpHeader::Core12)));
    save(dir, b, "8bit_top_down.bmp", makeBmp(i8, bmp(8, 0, BmpHeader::Info40, true)));
    save(dir, b, "16bit_565.bmp", makeBmp(rgb, bmp(16, 3)));
    save(dir, b, "24bit.bmp", makeBmp(rgb, bmp(24, 0)));
    save(dir, b, "32bit_v5_alpha.bmp", makeBmp(rgba, bmp(32, 3, BmpHeader::V5_124)));
    save(dir, b, "rle8.bmp", makeBmp(i8, bmp(8, 1)));
    save(dir, b, "rle4.bmp", makeBmp(i4, bmp(4, 2)));

    const std::string t = "pixmill_tga_fuzz";
    auto tga = [](int type, int depth, int alpha = 0) {
        TgaOptions o;
        o.type = type;
        o.depth = depth;
        o.alphaBits = alpha;
        return o;
    };
    save(dir, t, "mapped.tga", makeTga(i8, tga(1, 8)));
    save(dir, t, "rgb24.tga", makeTga(rgb, tga(2, 24)));
    save(dir, t, "rgb16.tga", makeTga(rgb, tga(2, 16)));
    save(dir, t, "grey.tga", makeTga(greyPicture(9, 5, 8), tga(3, 8)));
    save(dir, t, "rle_mapped.tga", makeTga(i8, tga(9, 8)));
    save(dir, t, "rle_rgba.tga", makeTga(rgba, tga(10, 32, 8)));

    const std::string p = "pixmill_pcx_fuzz";
    save(dir, p, "mono.pcx", makePcx(i1, {1, 1, true, 5}));
    save(dir, p, "planes4.pcx", makePcx(i4, {1, 4, true, 5}));
    save(dir, p, "4bit.pcx", makePcx(i4, {4, 1, true, 5}));
    save(dir, p, "8bit.pcx", makePcx(i8, {8, 1, true, 5}));
    save(dir, p, "24bit.pcx", makePcx(rgb, {8, 3, true, 5}));

    const std::string f = "pixmill_iff_fuzz";
    IffOptions o;
    o.planes = 4;
    save(dir, f, "ilbm4.iff", makeIff(i4, o));
    o.planes = 8;
    o.compress = false;
    save(dir, f, "ilbm8_plain.iff", makeIff(i8, o));
    o.planes = 24;
    o.compress = true;
    save(dir, f, "ilbm24.iff", makeIff(rgb, o));
    IffOptions pbm;
    pbm.pbm = true;
    save(dir, f, "pbm.lbm", makeIff(i8, pbm));
    IffOptions ehb;
    ehb.planes = 6;
    ehb.camg = 0x80;
    save(dir, f, "ehb.iff", makeIff(indexedPicture(9, 5, 6), ehb));
    save(dir, f, "ham6.iff",
         makeIffPlanes(
             9, 5, 6, std::vector<Rgb>(16), 0x800,
             [](int x, int y) { return unsigned((x + y) * 13 & 63); }, true));

    const std::string g = "pixmill_gif_fuzz";
    save(dir, g, "4bit.gif", makeGif(i4));
    GifOptions gi;
    gi.interlace = true;
    gi.transparent = 3;
    save(dir, g, "interlaced_transparent.gif", makeGif(indexedPicture(9, 12, 8), gi));
    GifOptions screen;
    screen.screenWidth = 16;
    screen.screenHeight = 8;
    screen.left = 2;
    screen.top = 1;
    save(dir, g, "on_screen.gif", makeGif(i1, screen));

    const std::string n = "pixmill_png_fuzz";
    save(dir, n, "palette4.png", makePng(i4, {3, 4, false, {}}));
    save(dir, n, "grey2.png", makePng(greyPicture(9, 5, 2), {0, 2, false, {}}));
    save(dir, n, "rgb16.png", makePng(rgb, {2, 16, false, {}}));
    save(dir, n, "rgba_interlaced.png", makePng(rgba, {6, 8, true, {}}));
    save(dir, n, "palette_trns.png", makePng(i8, {3, 8, false, {0, 100, 200}}));

    const std::string ti = "pixmill_tiff_fuzz";
    save(dir, ti, "palette8.tif", makeTiff(i8, {3, 8}));
    save(dir, ti, "bilevel.tif", makeTiff(greyPicture(9, 5, 1), {0, 1}));
    save(dir, ti, "rgb_lzw.tif", makeTiff(rgb, {2, 8, false, false, 5, 2}));
    save(dir, ti, "rgba_tiled.tif",
         makeTiff(colourPicture(20, 18, true), {2, 8, true, true, 8, 0}));

    const std::string j = "pixmill_jpeg_fuzz";
    save(dir, j, "rgb.jpg", makeJpeg(smoothPicture(16, 8), 75));
    save(dir, j, "grey.jpg", makeJpeg(greyPicture(8, 8, 8), 75, true));
    save(dir, j, "progressive.jpg", makeJpeg(smoothPicture(16, 16), 60, false, true));
    return 0;
}
