// TGA files: colour-mapped, true-colour and grey pictures, plain or
// run-length encoded, in any of the four row and column orders. The format has
// no signature, so the header is checked field by field.

#include "dib_internal.h"

#include <cstdlib>

namespace pixmill {
namespace {

enum class Mode { Index8, Mapped, Rgb15, Rgb24, Rgba32, Grey8, GreyAlpha16 };

struct Decoder {
    Mode mode = Mode::Rgb24;
    bool alpha = false;           // alpha values are composited over white
    const uint8_t* map = nullptr; // mapped colours as blue, green, red, indexed from 0
    unsigned mapFirst = 0;
    unsigned mapLen = 0;
    unsigned indexBytes = 1; // 2 for 16-bit colour-map indexes

    // Turns one stored pixel into the record's 1 or 3 bytes.
    void decode(const uint8_t* p, uint8_t* out) const {
        switch (mode) {
        case Mode::Index8:
        case Mode::Grey8:
            out[0] = p[0];
            break;
        case Mode::Mapped: {
            const unsigned i = indexBytes == 2 ? unsigned(p[0] | (p[1] << 8)) : p[0];
            if (i >= mapFirst && i - mapFirst < mapLen)
                std::memcpy(out, map + (i - mapFirst) * 3, 3);
            else
                out[0] = out[1] = out[2] = 0;
            break;
        }
        case Mode::Rgb15: {
            const unsigned v = p[0] | (p[1] << 8);
            out[0] = scaleTo8(v & 31, 5);
            out[1] = scaleTo8((v >> 5) & 31, 5);
            out[2] = scaleTo8((v >> 10) & 31, 5);
            break;
        }
        case Mode::Rgb24:
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
            break;
        case Mode::Rgba32:
            if (alpha) {
                out[0] = overWhite(p[0], p[3]);
                out[1] = overWhite(p[1], p[3]);
                out[2] = overWhite(p[2], p[3]);
            } else {
                out[0] = p[0];
                out[1] = p[1];
                out[2] = p[2];
            }
            break;
        case Mode::GreyAlpha16: {
            const uint8_t g = alpha ? overWhite(p[0], p[1]) : p[0];
            out[0] = out[1] = out[2] = g;
            break;
        }
        }
    }
};

// Reads a colour-map entry of 15/16, 24 or 32 bits as blue, green, red.
void mapEntry(const uint8_t* e, unsigned entryBits, bool alpha, uint8_t* bgr) {
    if (entryBits <= 16) {
        const unsigned v = e[0] | (e[1] << 8);
        bgr[0] = scaleTo8(v & 31, 5);
        bgr[1] = scaleTo8((v >> 5) & 31, 5);
        bgr[2] = scaleTo8((v >> 10) & 31, 5);
    } else if (entryBits == 32 && alpha) {
        bgr[0] = overWhite(e[0], e[3]);
        bgr[1] = overWhite(e[1], e[3]);
        bgr[2] = overWhite(e[2], e[3]);
    } else {
        bgr[0] = e[0];
        bgr[1] = e[1];
        bgr[2] = e[2];
    }
}

} // namespace
} // namespace pixmill

using namespace pixmill;

extern "C" int pixmill_read_tga(const uint8_t* data, size_t size, DibRecord* rec) {
    if (!rec) return 0;
    std::memset(rec, 0, sizeof *rec);
    if (!data || size < 18) return 0;
    ByteReader r(data, size);
    const unsigned idLen = r.u8();
    const unsigned mapType = r.u8();
    const unsigned type = r.u8();
    const unsigned mapFirst = r.u16le();
    const unsigned mapLen = r.u16le();
    const unsigned mapBits = r.u8();
    r.skip(4); // origin
    const int w = r.u16le();
    const int h = r.u16le();
    const unsigned depth = r.u8();
    const unsigned desc = r.u8();

    const unsigned base = type & 7u;
    const bool rle = (type & 8u) != 0;
    if (mapType > 1 || (type & ~0x0Bu) != 0 || base == 0 || (desc & 0xC0u) != 0 || w == 0 || h == 0)
        return 0;
    if (mapType == 1 && mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32) return 0;
    if (mapType == 1 && mapFirst + mapLen > 65536u) return 0;
    switch (base) {
    case 1:
        if (mapType != 1 || mapLen == 0 || (depth != 8 && depth != 16)) return 0;
        break;
    case 2:
        if (depth != 15 && depth != 16 && depth != 24 && depth != 32) return 0;
        break;
    case 3:
        if (depth != 8 && depth != 16) return 0;
        break;
    default:
        return 0;
    }
    const unsigned alphaBits = desc & 0x0Fu;
    const bool rightToLeft = (desc & 0x10u) != 0;
    const bool topDown = (desc & 0x20u) != 0;

    r.skip(idLen);
    const size_t mapBytes = mapType == 1 ? static_cast<size_t>(mapLen) * ((mapBits + 7) / 8) : 0;
    if (r.bad() || mapBytes > r.left()) return 0;
    const uint8_t* mapData = r.here();
    r.skip(mapBytes);

    const size_t pixBytes = (depth + 7) / 8;
    const size_t total = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (!rle && total * pixBytes > r.left()) return 0;
    // A run-length packet holds at most 128 pixels: a file too short to cover
    // the picture that way is refused before anything is allocated.
    if (rle && (total + 127) / 128 * (1 + pixBytes) > r.left()) return 0;

    Decoder dec;
    dec.indexBytes = depth == 16 ? 2 : 1;
    int outBits = 24;
    uint8_t* lut = nullptr;
    if (base == 1) {
        const bool mapAlpha = mapBits == 32 && alphaBits > 0;
        if (depth == 8 && mapFirst + mapLen <= 256) {
            dec.mode = Mode::Index8;
            outBits = 8;
        } else {
            dec.mode = Mode::Mapped;
            lut = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(mapLen) * 3));
            if (!lut) return 0;
            for (unsigned i = 0; i < mapLen; ++i)
                mapEntry(mapData + i * ((mapBits + 7) / 8), mapBits, mapAlpha, lut + i * 3);
            dec.map = lut;
            dec.mapFirst = mapFirst;
            dec.mapLen = mapLen;
        }
    } else if (base == 2) {
        dec.mode = depth <= 16 ? Mode::Rgb15 : (depth == 24 ? Mode::Rgb24 : Mode::Rgba32);
        dec.alpha = depth == 32 && alphaBits > 0;
    } else {
        dec.mode = depth == 8 ? Mode::Grey8 : Mode::GreyAlpha16;
        dec.alpha = depth == 16 && alphaBits > 0;
        outBits = depth == 8 ? 8 : 24;
    }

    if (!allocDib(rec, w, h, outBits)) {
        std::free(lut);
        return 0;
    }
    if (dec.mode == Mode::Index8) {
        const bool mapAlpha = mapBits == 32 && alphaBits > 0;
        for (unsigned i = 0; i < mapLen; ++i) {
            uint8_t bgr[3];
            mapEntry(mapData + i * ((mapBits + 7) / 8), mapBits, mapAlpha, bgr);
            setColour(rec, static_cast<int>(mapFirst + i), bgr[2], bgr[1], bgr[0]);
        }
    } else if (dec.mode == Mode::Grey8) {
        setGreyPalette(rec);
    }
    finishDib(rec);

    const size_t outBytes = outBits / 8;
    size_t x = 0;   // column in storage order
    size_t row = 0; // row in storage order
    uint8_t* dst = nullptr;
    auto rowStart = [&]() {
        const size_t dibRow = topDown ? static_cast<size_t>(h) - 1 - row : row;
        dst = rec->Bits + dibRow * static_cast<size_t>(rec->BytesPerRow);
    };
    auto store = [&](const uint8_t* out) {
        const size_t col = rightToLeft ? static_cast<size_t>(w) - 1 - x : x;
        std::memcpy(dst + col * outBytes, out, outBytes);
        if (++x == static_cast<size_t>(w)) {
            x = 0;
            if (++row < static_cast<size_t>(h)) rowStart();
        }
    };
    rowStart();
    size_t done = 0;
    uint8_t out[3];
    bool ok = true;
    const bool straight =
        dec.mode == Mode::Rgb24 || dec.mode == Mode::Index8 || dec.mode == Mode::Grey8;
    if (!rle && straight && !rightToLeft) {
        // Stored bytes are the record's bytes: whole rows are copied.
        const size_t rowBytes = static_cast<size_t>(w) * outBytes;
        for (size_t y = 0; y < static_cast<size_t>(h); ++y) {
            row = y;
            rowStart();
            std::memcpy(dst, r.here() + y * rowBytes, rowBytes);
        }
    } else if (!rle) {
        const uint8_t* p = r.here();
        for (; done < total; ++done, p += pixBytes) {
            dec.decode(p, out);
            store(out);
        }
    } else {
        while (done < total) {
            if (r.left() < 1 + pixBytes) {
                ok = false;
                break;
            }
            const unsigned head = r.u8();
            size_t count = (head & 0x7Fu) + 1;
            if (count > total - done)
                count = total - done; // a packet running past the end is cut off
            if (head & 0x80u) {
                dec.decode(r.here(), out);
                r.skip(pixBytes);
                for (size_t k = 0; k < count; ++k)
                    store(out);
            } else {
                if (r.left() < count * pixBytes) {
                    ok = false;
                    break;
                }
                const uint8_t* p = r.here();
                for (size_t k = 0; k < count; ++k, p += pixBytes) {
                    dec.decode(p, out);
                    store(out);
                }
                r.skip(count * pixBytes);
            }
            done += count;
        }
    }
    std::free(lut);
    if (!ok) return fail(rec);
    return 1;
}
