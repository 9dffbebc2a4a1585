#pragma once
// Tiny encoders for the picture formats the library reads, used to make test
// inputs in memory: our own writers for BMP/RLE, TGA, PCX and IFF, and the
// format libraries' writers for GIF, PNG, TIFF and JPEG.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pixtest {

using Bytes = std::vector<uint8_t>;

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// A test picture: indexes with a palette, or colours with an optional alpha.
// Coordinates are (x, y) with y counted from the top.
struct Picture {
    int width = 0;
    int height = 0;
    int indexBits = 0;        // 1..8 for indexed pictures, 0 for true colour
    std::vector<Rgb> palette; // 2^indexBits entries (may be fewer)
    std::function<int(int, int)> index;
    std::function<Rgb(int, int)> colour;
    std::function<uint8_t(int, int)> alpha; // empty: opaque

    Rgb shown(int x, int y) const; // the colour a reader should give, alpha over white
};

// Standard test pictures: indexed with `bits` bits over a distinct palette, a
// true-colour pattern, and a smooth gradient that survives JPEG well.
Picture indexedPicture(int w, int h, int bits);
Picture greyPicture(int w, int h, int bits); // grey ramp palette
Picture colourPicture(int w, int h, bool withAlpha = false);
Picture smoothPicture(int w, int h);

Rgb overWhite(Rgb c, uint8_t a);

// ---- BMP ----
enum class BmpHeader { Core12, Info40, Os2v2_64, V4_108, V5_124 };
struct BmpOptions {
    int bits = 24;            // 1, 2, 4, 8, 16, 24, 32
    uint32_t compression = 0; // 0 RGB, 1 RLE8, 2 RLE4, 3 bit fields, 6 alpha bit fields
    BmpHeader header = BmpHeader::Info40;
    bool topDown = false;
    bool fileHeader = true; // false: a packed DIB
    uint32_t masks[4] = {0, 0, 0, 0};
};
Bytes makeBmp(const Picture& p, const BmpOptions& o);
// RLE8/RLE4 pixel streams of an indexed picture, bottom line first, ending
// with the end-of-bitmap code.
Bytes rle8Stream(const Picture& p);
Bytes rle4Stream(const Picture& p);
// A BMP around a given RLE stream.
Bytes bmpWithRle(int w, int h, int bits, const std::vector<Rgb>& palette, const Bytes& stream);

// ---- TGA ----
struct TgaOptions {
    int type = 2;      // 1 colour-mapped, 2 true colour, 3 grey; +8 run-length
    int depth = 24;    // pixel depth
    int mapBits = 24;  // colour-map entry size
    int mapFirst = 0;  // first colour-map index
    int mapLength = 0; // 0: the palette size
    int alphaBits = 0;
    bool topDown = false;
    bool rightToLeft = false;
    std::string id;
};
Bytes makeTga(const Picture& p, const TgaOptions& o);

// ---- PCX ----
struct PcxOptions {
    int bpp = 8;
    int planes = 1;
    bool rle = true;
    int version = 5;
};
Bytes makePcx(const Picture& p, const PcxOptions& o);

// ---- IFF ----
struct IffOptions {
    bool pbm = false;
    int planes = 8;       // 1..8, 24, 32 for ILBM
    bool compress = true; // ByteRun1
    bool cmap = true;
    uint32_t camg = 0; // 0x80 extra half-brite, 0x800 hold-and-modify
    bool maskPlane = false;
};
Bytes makeIff(const Picture& p, const IffOptions& o);
// Plane values of a hold-and-modify picture: control in the top two bits.
Bytes makeIffPlanes(int w, int h, int planes, const std::vector<Rgb>& cmap, uint32_t camg,
                    const std::function<unsigned(int, int)>& value, bool compress);
Bytes byteRun1(const uint8_t* data, size_t n);

// ---- Libraries ----
struct GifOptions {
    bool interlace = false;
    int transparent = -1;
    int screenWidth = 0; // 0: the picture's size
    int screenHeight = 0;
    int left = 0;
    int top = 0;
};
Bytes makeGif(const Picture& p, const GifOptions& o = {});

struct PngOptions {
    int colourType = 2; // PNG colour type
    int depth = 8;
    bool interlace = false;
    std::vector<uint8_t> paletteAlpha; // tRNS for palette pictures
};
Bytes makePng(const Picture& p, const PngOptions& o);

struct TiffOptions {
    int photometric = 2; // 0 min-is-white, 1 min-is-black, 2 RGB, 3 palette
    int bits = 8;
    bool alpha = false;
    bool tiled = false;
    int compression = 1; // 1 none, 5 LZW, 8 deflate
    int rowsPerStrip = 0;
    int orientation = 1; // the ORIENTATION tag; rows are written as they come
};
Bytes makeTiff(const Picture& p, const TiffOptions& o);

Bytes makeJpeg(const Picture& p, int quality, bool grey = false, bool progressive = false);
// A CMYK JPEG (libjpeg adds the Adobe marker) whose stored samples are
// `cmyk(x, y)`, four bytes per pixel.
Bytes makeCmykJpeg(int w, int h, const std::function<void(int, int, uint8_t*)>& cmyk, int quality);

// Decodes a JPEG with libjpeg into top-down RGB rows; empty on failure.
std::vector<Rgb> decodeJpeg(const Bytes& jpeg, int* w, int* h);

} // namespace pixtest
