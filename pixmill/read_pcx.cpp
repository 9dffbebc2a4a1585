// PCX files: 1-bit monochrome, 2 to 4 planes of 1 bit and 2 or 4 bits in one
// plane (16-colour header palette), 8 bits with the 256-colour palette at the
// end of the file, and 24 bits in three planes (a fourth plane is alpha).

#include "dib_internal.h"

#include <cstdlib>

namespace pixmill {
namespace {

// The 16 colours used by version 3 files, which carry no palette.
const uint8_t kEgaColours[16][3] = {
    {0, 0, 0},     {0, 0, 170},     {0, 170, 0},    {0, 170, 170},   {170, 0, 0},   {170, 0, 170},
    {170, 85, 0},  {170, 170, 170}, {85, 85, 85},   {85, 85, 255},   {85, 255, 85}, {85, 255, 255},
    {255, 85, 85}, {255, 85, 255},  {255, 255, 85}, {255, 255, 255},
};

} // namespace
} // namespace pixmill

using namespace pixmill;

extern "C" int pixmill_read_pcx(const uint8_t* data, size_t size, DibRecord* rec) {
    if (!rec) return 0;
    std::memset(rec, 0, sizeof *rec);
    if (!data || size < 128) return 0;
    ByteReader r(data, size);
    const unsigned maker = r.u8();
    const unsigned version = r.u8();
    const unsigned encoding = r.u8();
    const unsigned bpp = r.u8();
    const int xmin = r.u16le();
    const int ymin = r.u16le();
    const int xmax = r.u16le();
    const int ymax = r.u16le();
    r.seek(65);
    const unsigned planes = r.u8();
    const size_t bytesPerLine = r.u16le();
    const unsigned paletteInfo = r.u16le();
    if (maker != 0x0A || version > 5 || encoding > 1 || xmax < xmin || ymax < ymin) return 0;
    const int w = xmax - xmin + 1;
    const int h = ymax - ymin + 1;

    int outBits = 0;
    if (bpp == 1 && planes == 1)
        outBits = 1;
    else if ((bpp == 1 && planes >= 2 && planes <= 4) || ((bpp == 2 || bpp == 4) && planes == 1))
        outBits = 4;
    else if (bpp == 8 && planes == 1)
        outBits = 8;
    else if (bpp == 8 && (planes == 3 || planes == 4))
        outBits = 24;
    else
        return 0;
    if (bytesPerLine * 8 < static_cast<size_t>(w) * bpp) return 0;

    size_t dataEnd = size;
    const uint8_t* palette256 = nullptr;
    bool grey = false;
    if (outBits == 8) {
        if (size >= 128 + 769 && data[size - 769] == 0x0C) {
            palette256 = data + size - 768;
            dataEnd = size - 769;
        } else if (paletteInfo == 2) {
            grey = true;
        } else {
            return 0; // the palette is missing: a truncated file
        }
    }
    const size_t lineBytes = bytesPerLine * planes;
    if (encoding == 0 && lineBytes * static_cast<size_t>(h) > dataEnd - 128) return 0;
    // Two bytes encode at most 63: a file too short to cover the picture that
    // way is refused before anything is allocated.
    if (encoding == 1 && (lineBytes * static_cast<size_t>(h) + 62) / 63 * 2 > dataEnd - 128)
        return 0;

    if (!allocDib(rec, w, h, outBits)) return 0;
    auto* line = static_cast<uint8_t*>(std::malloc(lineBytes));
    if (!line) return fail(rec);

    if (outBits == 1) {
        setColour(rec, 0, 0, 0, 0);
        setColour(rec, 1, 255, 255, 255);
    } else if (outBits == 4) {
        for (int i = 0; i < 16; ++i) {
            if (version == 3)
                setColour(rec, i, kEgaColours[i][0], kEgaColours[i][1], kEgaColours[i][2]);
            else
                setColour(rec, i, data[16 + i * 3], data[17 + i * 3], data[18 + i * 3]);
        }
    } else if (outBits == 8) {
        if (grey)
            setGreyPalette(rec);
        else
            for (int i = 0; i < 256; ++i)
                setColour(rec, i, palette256[i * 3], palette256[i * 3 + 1], palette256[i * 3 + 2]);
    }
    finishDib(rec);

    size_t pos = 128;
    unsigned runLeft = 0; // a run may continue into the next line
    uint8_t runValue = 0;
    for (int y = 0; y < h; ++y) {
        if (encoding == 0) {
            std::memcpy(line, data + pos, lineBytes);
            pos += lineBytes;
        } else {
            size_t i = 0;
            while (i < lineBytes) {
                if (runLeft > 0) {
                    const size_t n = runLeft < lineBytes - i ? runLeft : lineBytes - i;
                    std::memset(line + i, runValue, n);
                    i += n;
                    runLeft -= static_cast<unsigned>(n);
                    continue;
                }
                if (pos >= dataEnd) break;
                const uint8_t b = data[pos++];
                if ((b & 0xC0) == 0xC0) {
                    if (pos >= dataEnd) break;
                    runLeft = b & 0x3Fu;
                    runValue = data[pos++];
                } else {
                    line[i++] = b;
                }
            }
            if (i < lineBytes) {
                std::free(line);
                return fail(rec);
            }
        }

        uint8_t* dst = rowFromTop(rec, y);
        switch (outBits) {
        case 1:
            std::memcpy(dst, line, (static_cast<size_t>(w) + 7) / 8);
            break;
        case 8:
            std::memcpy(dst, line, static_cast<size_t>(w));
            break;
        case 24: {
            const uint8_t* pr = line;
            const uint8_t* pg = line + bytesPerLine;
            const uint8_t* pb = line + 2 * bytesPerLine;
            const uint8_t* pa = planes == 4 ? line + 3 * bytesPerLine : nullptr;
            for (int x = 0; x < w; ++x) {
                if (pa)
                    putBgr(dst, x, overWhite(pr[x], pa[x]), overWhite(pg[x], pa[x]),
                           overWhite(pb[x], pa[x]));
                else
                    putBgr(dst, x, pr[x], pg[x], pb[x]);
            }
            break;
        }
        default: // 4 bits out of bit planes or packed pixels
            for (int x = 0; x < w; ++x) {
                unsigned v = 0;
                if (bpp == 1) {
                    for (unsigned p = 0; p < planes; ++p)
                        v |= ((line[p * bytesPerLine + (x >> 3)] >> (7 - (x & 7))) & 1u) << p;
                } else if (bpp == 2) {
                    v = (line[x >> 2] >> (6 - 2 * (x & 3))) & 3u;
                } else {
                    v = (x & 1) ? (line[x >> 1] & 0x0Fu) : (line[x >> 1] >> 4);
                }
                putIndex(dst, 4, x, v);
            }
            break;
        }
    }
    std::free(line);
    return 1;
}
