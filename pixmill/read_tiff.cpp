// TIFF files through libtiff, read from memory (the first directory).
// Palette and grey pictures of up to 8 bits in strips keep their indexes;
// everything else goes through libtiff's RGBA conversion and comes back as 24
// bits with alpha laid over white. Every strip and tile is decoded once.

#include "dib_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include <tiffio.h>

namespace pixmill {
namespace {

// Largest band of RGBA rows decoded at once.
constexpr size_t kMaxBandBytes = 64u * 1024u * 1024u;

struct Source {
    const uint8_t* data;
    toff_t size;
    toff_t pos;
};

tmsize_t readProc(thandle_t h, void* buf, tmsize_t n) {
    auto* s = static_cast<Source*>(h);
    if (n <= 0 || s->pos >= s->size) return 0;
    toff_t k = static_cast<toff_t>(n);
    if (k > s->size - s->pos) k = s->size - s->pos;
    std::memcpy(buf, s->data + s->pos, static_cast<size_t>(k));
    s->pos += k;
    return static_cast<tmsize_t>(k);
}

tmsize_t writeProc(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t seekProc(thandle_t h, toff_t off, int whence) {
    auto* s = static_cast<Source*>(h);
    toff_t base = 0;
    if (whence == SEEK_CUR)
        base = s->pos;
    else if (whence == SEEK_END)
        base = s->size;
    else if (whence != SEEK_SET)
        return static_cast<toff_t>(-1);
    // Offsets are unsigned here; a negative relative move wraps around.
    const toff_t target = base + off;
    if (static_cast<int64_t>(target) < 0) return static_cast<toff_t>(-1);
    s->pos = target;
    return target;
}

int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t h) {
    return static_cast<Source*>(h)->size;
}

int mapProc(thandle_t h, void** base, toff_t* size) {
    auto* s = static_cast<Source*>(h);
    *base = const_cast<uint8_t*>(s->data);
    *size = s->size;
    return 1;
}

void unmapProc(thandle_t, void*, toff_t) {}

// Keeps libtiff's messages off stderr; returning 1 stops the global handlers.
int quietHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    TIFF* tif = nullptr;
    void* buffer = nullptr;
    ~TiffCloser() {
        std::free(buffer);
        if (tif) TIFFClose(tif);
    }
};

bool readIndexed(TIFF* tif, DibRecord* rec, int w, int h, unsigned bps, unsigned photometric,
                 bool bottomUp, TiffCloser& c) {
    const int outBits = indexedDepth(static_cast<int>(bps));
    if (!allocDib(rec, w, h, outBits)) return false;
    const unsigned count = 1u << bps;
    if (photometric == PHOTOMETRIC_PALETTE) {
        uint16_t* red = nullptr;
        uint16_t* green = nullptr;
        uint16_t* blue = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
            return false;
        // Some writers store 8-bit values in the 16-bit colour map.
        bool eightBit = true;
        for (unsigned i = 0; i < count; ++i)
            if (red[i] > 255 || green[i] > 255 || blue[i] > 255) eightBit = false;
        const int shift = eightBit ? 0 : 8;
        for (unsigned i = 0; i < count; ++i)
            setColour(rec, static_cast<int>(i), static_cast<uint8_t>(red[i] >> shift),
                      static_cast<uint8_t>(green[i] >> shift),
                      static_cast<uint8_t>(blue[i] >> shift));
    } else {
        for (unsigned i = 0; i < count; ++i) {
            auto v = static_cast<uint8_t>(i * 255u / (count - 1u));
            if (photometric == PHOTOMETRIC_MINISWHITE) v = static_cast<uint8_t>(255u - v);
            setColour(rec, static_cast<int>(i), v, v, v);
        }
    }
    finishDib(rec);

    const tmsize_t lineSize = TIFFScanlineSize(tif);
    const size_t need = (static_cast<size_t>(w) * bps + 7) / 8;
    if (lineSize <= 0 || static_cast<size_t>(lineSize) < need) return false;
    c.buffer = std::malloc(static_cast<size_t>(lineSize));
    if (!c.buffer) return false;
    auto* line = static_cast<uint8_t*>(c.buffer);
    for (int y = 0; y < h; ++y) {
        if (TIFFReadScanline(tif, line, static_cast<uint32_t>(y), 0) < 0) return false;
        uint8_t* dst = rowFromTop(rec, bottomUp ? h - 1 - y : y);
        if (bps == 2) {
            for (int x = 0; x < w; ++x)
                putIndex(dst, 4, x, (line[x >> 2] >> (6 - 2 * (x & 3))) & 3u);
        } else {
            std::memcpy(dst, line, need);
        }
    }
    return true;
}

// Where libtiff's RGBA conversion leaves a picture's pixels: rows of w pixels
// from the top (after the flips the file's orientation asks for).
void storeRgbaRow(DibRecord* rec, int y, int x0, const uint32_t* src, int n, bool mirror) {
    uint8_t* dst = rowFromTop(rec, y);
    for (int i = 0; i < n; ++i) {
        const uint32_t p = src[mirror ? n - 1 - i : i];
        // libtiff hands back premultiplied alpha: over white adds 255 - a.
        const unsigned back = 255u - TIFFGetA(p);
        auto ch = [back](unsigned v) {
            return static_cast<uint8_t>(v + back > 255u ? 255u : v + back);
        };
        putBgr(dst, x0 + i, ch(TIFFGetR(p)), ch(TIFFGetG(p)), ch(TIFFGetB(p)));
    }
}

// Strips of interleaved samples are read as scanlines, front to back, so
// each strip is decoded once, and converted with libtiff's own routine for
// the picture's kind in chunks of rows. (libtiff's RGBA reader decodes a strip
// from its start again for every band that starts inside it: all of a picture
// stored as one strip, once per band.)
bool readContigStrips(TIFF* tif, TIFFRGBAImage& img, DibRecord* rec, int w, int h) {
    const tmsize_t scanline = TIFFScanlineSize(tif);
    if (scanline <= 0) return false;
    const size_t rowBytes = static_cast<size_t>(w) * 4;
    // About 4 MB of converted rows per chunk.
    size_t chunk = (size_t(4) << 20) / std::max(rowBytes, static_cast<size_t>(scanline));
    chunk = std::max<size_t>(chunk, 1);
    std::vector<uint8_t> raw;
    std::vector<uint32_t> raster;
    try {
        raw.resize(chunk * static_cast<size_t>(scanline));
        raster.resize(chunk * static_cast<size_t>(w));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const bool flipV =
        img.orientation == ORIENTATION_BOTLEFT || img.orientation == ORIENTATION_LEFTBOT ||
        img.orientation == ORIENTATION_BOTRIGHT || img.orientation == ORIENTATION_RIGHTBOT;
    const bool flipH =
        img.orientation == ORIENTATION_TOPRIGHT || img.orientation == ORIENTATION_RIGHTTOP ||
        img.orientation == ORIENTATION_BOTRIGHT || img.orientation == ORIENTATION_RIGHTBOT;
    for (size_t r0 = 0; r0 < static_cast<size_t>(h); r0 += chunk) {
        const size_t n = std::min(chunk, static_cast<size_t>(h) - r0);
        for (size_t i = 0; i < n; ++i)
            if (TIFFReadScanline(tif, raw.data() + i * static_cast<size_t>(scanline),
                                 static_cast<uint32_t>(r0 + i), 0) < 0)
                return false;
        img.put.contig(&img, raster.data(), 0, static_cast<uint32_t>(r0), static_cast<uint32_t>(w),
                       static_cast<uint32_t>(n), 0, 0, raw.data());
        for (size_t i = 0; i < n; ++i) {
            const size_t y = r0 + i;
            storeRgbaRow(rec, static_cast<int>(flipV ? h - 1 - y : y), 0,
                         raster.data() + i * static_cast<size_t>(w), w, flipH);
        }
    }
    return true;
}

bool readRgba(TIFF* tif, DibRecord* rec, int w, int h, TiffCloser& c) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) return false;
    TIFFRGBAImage img;
    if (!TIFFRGBAImageBegin(&img, tif, 1, message)) return false;
    struct Ender {
        TIFFRGBAImage* img;
        ~Ender() { TIFFRGBAImageEnd(img); }
    } ender{&img};
    if (!allocDib(rec, w, h, 24)) return false;

    uint16_t subH = 1;
    uint16_t subV = 1;
    if (img.photometric == PHOTOMETRIC_YCBCR)
        TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &subH, &subV);
    if (!TIFFIsTiled(tif) && img.isContig && img.put.contig && subV == 1)
        return readContigStrips(tif, img, rec, w, h);

    // Otherwise libtiff's RGBA reader, in regions that follow the tiles or
    // strips, so that each is decoded once: bands of whole tile rows or strips
    // across the picture, or one tile at a time where a tile row is too large.
    img.req_orientation = ORIENTATION_TOPLEFT;
    uint32_t unitW = static_cast<uint32_t>(w);
    uint32_t unitH = 0;
    if (TIFFIsTiled(tif)) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &unitW);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &unitH);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unitH);
    }
    const size_t rows = static_cast<size_t>(h);
    const size_t fullRow = static_cast<size_t>(w) * 4;
    const size_t maxRows = std::max<size_t>(kMaxBandBytes / fullRow, 1);
    size_t bandW = static_cast<size_t>(w);
    size_t bandH = maxRows;
    if (unitH > 0 && unitH < rows) {
        if (unitH <= maxRows) {
            bandH = (maxRows / unitH) * unitH;
        } else if (TIFFIsTiled(tif) && unitW > 0 && unitW < static_cast<uint32_t>(w)) {
            bandW = unitW;
            bandH = unitH;
        }
    }
    // libtiff decodes a strip from its start for every band that begins
    // inside it; strips of separate planes (or of vertically subsampled
    // colour) taller than a band would be decoded over and over. Such files
    // are refused rather than read slowly.
    if (!TIFFIsTiled(tif) && rows > bandH && unitH > bandH) return false;
    bandH = std::min(bandH, rows);
    c.buffer = std::malloc(bandW * bandH * 4);
    if (!c.buffer) return false;
    auto* raster = static_cast<uint32_t*>(c.buffer);
    // Which way libtiff turns each region (it flips within the region).
    const bool flipV =
        img.orientation == ORIENTATION_BOTLEFT || img.orientation == ORIENTATION_LEFTBOT ||
        img.orientation == ORIENTATION_BOTRIGHT || img.orientation == ORIENTATION_RIGHTBOT;
    const bool flipH =
        img.orientation == ORIENTATION_TOPRIGHT || img.orientation == ORIENTATION_RIGHTTOP ||
        img.orientation == ORIENTATION_BOTRIGHT || img.orientation == ORIENTATION_RIGHTBOT;
    for (size_t r0 = 0; r0 < rows; r0 += bandH) {
        const size_t n = std::min(bandH, rows - r0);
        for (size_t x0 = 0; x0 < static_cast<size_t>(w); x0 += bandW) {
            const size_t cw = std::min(bandW, static_cast<size_t>(w) - x0);
            img.row_offset = static_cast<int>(r0);
            img.col_offset = static_cast<int>(x0);
            if (!TIFFRGBAImageGet(&img, raster, static_cast<uint32_t>(cw),
                                  static_cast<uint32_t>(n)))
                return false;
            const size_t top = flipV ? rows - r0 - n : r0;
            const size_t left = flipH ? static_cast<size_t>(w) - x0 - cw : x0;
            for (size_t i = 0; i < n; ++i)
                storeRgbaRow(rec, static_cast<int>(top + i), static_cast<int>(left),
                             raster + i * cw, static_cast<int>(cw), false);
        }
    }
    return true;
}

} // namespace
} // namespace pixmill

using namespace pixmill;

extern "C" int pixmill_read_tiff(const uint8_t* data, size_t size, DibRecord* rec) {
    if (!rec) return 0;
    std::memset(rec, 0, sizeof *rec);
    if (!data || size < 8) return 0;
    Source src{data, size, 0};
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return 0;
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, PIXMILL_MAX_PIXEL_BYTES);
    TIFFOpenOptionsSetErrorHandlerExtR(opts, quietHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, quietHandler, nullptr);
    TiffCloser c;
    c.tif = TIFFClientOpenExt("picture", "r", &src, readProc, writeProc, seekProc, closeProc,
                              sizeProc, mapProc, unmapProc, opts);
    TIFFOpenOptionsFree(opts);
    if (!c.tif) return 0;
    TIFF* tif = c.tif;

    uint32_t w = 0;
    uint32_t h = 0;
    uint16_t bps = 1;
    uint16_t spp = 1;
    uint16_t photometric = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h))
        return 0;
    if (w == 0 || h == 0 || w > PIXMILL_MAX_SIDE || h > PIXMILL_MAX_SIDE) return 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    const bool havePhotometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 0;

    const bool indexed =
        havePhotometric && spp == 1 && (bps == 1 || bps == 2 || bps == 4 || bps == 8) &&
        (photometric == PHOTOMETRIC_PALETTE || photometric == PHOTOMETRIC_MINISBLACK ||
         photometric == PHOTOMETRIC_MINISWHITE) &&
        !TIFFIsTiled(tif);
    const bool ok = indexed ? readIndexed(tif, rec, static_cast<int>(w), static_cast<int>(h), bps,
                                          photometric, orientation == ORIENTATION_BOTLEFT, c)
                            : readRgba(tif, rec, static_cast<int>(w), static_cast<int>(h), c);
    if (!ok) return fail(rec);
    return 1;
}
