// BMP and DIB files: Windows and OS/2 headers, 1 to 32 bits, uncompressed,
// RLE4, RLE8 and bit fields, bottom-up and top-down rows. Also reads a packed
// DIB (a header with no file header in front).

#include "dib_internal.h"

namespace pixmill {
namespace {

enum : uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6
};

struct Channel {
    uint32_t mask = 0;
    unsigned shift = 0;
    uint64_t max = 0;

    void set(uint32_t m) {
        mask = m;
        shift = 0;
        max = 0;
        if (m == 0) return;
        while (!((m >> shift) & 1u))
            ++shift;
        max = m >> shift;
    }
    uint8_t get(uint32_t pixel) const {
        if (max == 0) return 0;
        const uint64_t v = (pixel & mask) >> shift;
        return static_cast<uint8_t>((v * 255u + max / 2u) / max);
    }
};

uint32_t load(const uint8_t* p, int bytes) {
    return bytes == 2 ? uint32_t(p[0] | (p[1] << 8))
                      : (p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24));
}

// Decodes an RLE8 or RLE4 stream into the rows; `fileRow` maps the stream's
// line number (0 = first line stored) to a record row. Needs the end-of-bitmap
// code before the data ends.
bool decodeRle(ByteReader& r, DibRecord* rec, bool rle4, bool topDown) {
    const int w = dibWidth(rec);
    const int h = dibHeight(rec);
    const int bits = rle4 ? 4 : 8;
    int x = 0;
    int y = 0;
    auto put = [&](unsigned v) {
        if (x < w && y < h) {
            uint8_t* row =
                rec->Bits + static_cast<size_t>(topDown ? h - 1 - y : y) * rec->BytesPerRow;
            putIndex(row, bits, x, v);
        }
        if (x < w) ++x;
    };
    for (;;) {
        if (r.left() < 2) return false;
        const unsigned n = r.u8();
        const unsigned c = r.u8();
        if (n > 0) {
            for (unsigned k = 0; k < n && x < w; ++k)
                put(rle4 ? ((k & 1) ? (c & 0x0F) : (c >> 4)) : c);
            continue;
        }
        if (c == 0) { // end of line
            x = 0;
            if (y < h) ++y;
        } else if (c == 1) { // end of bitmap
            return true;
        } else if (c == 2) { // delta
            if (r.left() < 2) return false;
            const int dx = r.u8();
            const int dy = r.u8();
            x = x + dx < w ? x + dx : w;
            y = y + dy < h ? y + dy : h;
        } else { // absolute run of c pixels, padded to a 16-bit boundary
            const size_t bytes = rle4 ? (c + 1) / 2 : c;
            const size_t padded = bytes + (bytes & 1);
            if (r.left() < padded) return false;
            const uint8_t* p = r.here();
            for (unsigned k = 0; k < c && x < w; ++k)
                put(rle4 ? ((k & 1) ? (p[k / 2] & 0x0F) : (p[k / 2] >> 4)) : p[k]);
            r.skip(padded);
        }
    }
}

} // namespace
} // namespace pixmill

using namespace pixmill;

extern "C" int pixmill_read_bmp(const uint8_t* data, size_t size, DibRecord* rec) {
    if (!rec) return 0;
    std::memset(rec, 0, sizeof *rec);
    if (!data) return 0;
    ByteReader r(data, size);

    const bool fileHeader = size >= 2 && data[0] == 'B' && data[1] == 'M';
    uint32_t offBits = 0;
    size_t hdrStart = 0;
    if (fileHeader) {
        r.skip(2 + 4 + 4);
        offBits = r.u32le();
        hdrStart = 14;
    }
    const uint32_t hs = r.u32le();
    if (r.bad() || hs < 12 || hs > 124 || (hs > 12 && hs < 16) || hs > r.left() + 4) return 0;

    int64_t width = 0;
    int64_t height = 0;
    unsigned planes = 0;
    unsigned bits = 0;
    uint32_t compression = kRgb;
    uint32_t clrUsed = 0;
    int32_t xppm = 0;
    int32_t yppm = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    size_t entrySize = 4;
    const bool core = hs == 12;
    const bool windows = hs == 40 || hs == 52 || hs == 56 || hs == 108 || hs == 124;

    if (core) {
        width = r.u16le();
        height = r.u16le();
        planes = r.u16le();
        bits = r.u16le();
        entrySize = 3;
    } else {
        // Headers shorter than 40 bytes (OS/2 2.x) leave the missing fields 0.
        uint8_t hdr[124] = {};
        std::memcpy(hdr, data + hdrStart, hs);
        ByteReader h(hdr, sizeof hdr);
        h.skip(4);
        width = static_cast<int32_t>(h.u32le());
        height = static_cast<int32_t>(h.u32le());
        planes = h.u16le();
        bits = h.u16le();
        compression = h.u32le();
        h.u32le(); // size of the pixel data: not needed, the rows are checked against the file
        xppm = static_cast<int32_t>(h.u32le());
        yppm = static_cast<int32_t>(h.u32le());
        clrUsed = h.u32le();
        h.u32le(); // important colours
        for (uint32_t& m : masks)
            m = h.u32le();
        if (hs < 56) masks[3] = 0;
        if (hs < 52) masks[0] = masks[1] = masks[2] = 0;
    }
    size_t palPos = hdrStart + hs;

    if (planes != 1) return 0;
    if (!windows && !core && compression != kRgb && compression != kRle8 && compression != kRle4)
        return 0; // OS/2 2.x Huffman 1D and RLE24 are not read

    if (compression == kJpeg || compression == kPng) {
        if (!fileHeader || offBits >= size) return 0;
        return compression == kJpeg ? pixmill_read_jpeg(data + offBits, size - offBits, rec)
                                    : pixmill_read_png(data + offBits, size - offBits, rec);
    }

    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > PIXMILL_MAX_SIDE || height > PIXMILL_MAX_SIDE)
        return 0;

    switch (compression) {
    case kRgb:
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
            bits != 32)
            return 0;
        break;
    case kRle8:
        if (bits != 8) return 0;
        break;
    case kRle4:
        if (bits != 4) return 0;
        break;
    case kBitFields:
    case kAlphaBitFields:
        if (bits != 16 && bits != 32) return 0;
        if (hs == 40) { // the masks follow the header
            const int n = compression == kAlphaBitFields ? 4 : 3;
            r.seek(palPos);
            for (int i = 0; i < n; ++i)
                masks[i] = r.u32le();
            if (r.bad()) return 0;
            palPos += 4u * n;
        }
        if (compression == kBitFields && hs < 56) masks[3] = 0;
        break;
    default:
        return 0;
    }
    if (compression == kRgb) {
        if (bits == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
        } else {
            masks[0] = 0x00FF0000;
            masks[1] = 0x0000FF00;
            masks[2] = 0x000000FF;
        }
        masks[3] = 0; // the fourth byte of 32-bit pixels is unused here
    }

    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    const int outBits = bits <= 8 ? indexedDepth(static_cast<int>(bits)) : 24;

    // Colour table.
    size_t entries = 0;
    if (bits <= 8) {
        entries = (clrUsed != 0 && clrUsed < (1u << bits)) ? clrUsed : (1u << bits);
        if (fileHeader && offBits > palPos) {
            const size_t room = (offBits - palPos) / entrySize;
            if (room < entries) entries = room;
        }
        if (palPos > size || entries * entrySize > size - palPos) return 0;
    }
    size_t pixPos = palPos + entries * entrySize;
    if (fileHeader && offBits != 0) pixPos = offBits;
    if (pixPos > size || pixPos < hdrStart + hs) return 0;

    // Uncompressed rows must all be in the file before anything is allocated.
    const size_t srcStride = ((static_cast<size_t>(w) * bits + 31u) / 32u) * 4u;
    if (compression != kRle4 && compression != kRle8) {
        if (srcStride * static_cast<size_t>(h) > size - pixPos) return 0;
    }

    if (!allocDib(rec, w, h, outBits)) return 0;
    rec->Info->biXPelsPerMeter = xppm;
    rec->Info->biYPelsPerMeter = yppm;
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* e = data + palPos + i * entrySize;
        setColour(rec, static_cast<int>(i), e[2], e[1], e[0]);
    }
    finishDib(rec);

    if (compression == kRle4 || compression == kRle8) {
        ByteReader pr(data + pixPos, size - pixPos);
        if (!decodeRle(pr, rec, compression == kRle4, topDown)) return fail(rec);
        return 1;
    }

    Channel ch[4];
    for (int i = 0; i < 4; ++i)
        ch[i].set(masks[i]);
    const int pixelBytes = static_cast<int>(bits / 8);
    bool useAlpha = false;
    if (bits >= 16 && masks[3] != 0) {
        // Writers that fill an alpha mask but leave every alpha value 0 mean
        // an opaque picture; only a non-zero alpha somewhere is honoured.
        for (int y = 0; y < h && !useAlpha; ++y) {
            const uint8_t* src = data + pixPos + static_cast<size_t>(y) * srcStride;
            for (int x = 0; x < w; ++x) {
                if (load(src + x * pixelBytes, pixelBytes) & masks[3]) {
                    useAlpha = true;
                    break;
                }
            }
        }
    }

    for (int y = 0; y < h; ++y) {
        const uint8_t* src = data + pixPos + static_cast<size_t>(y) * srcStride;
        uint8_t* dst = rec->Bits + static_cast<size_t>(topDown ? h - 1 - y : y) * rec->BytesPerRow;
        switch (bits) {
        case 1:
        case 4:
        case 8:
        case 24:
            std::memcpy(dst, src, bits == 24 ? static_cast<size_t>(w) * 3 : srcStride);
            break;
        case 2:
            for (int x = 0; x < w; ++x)
                putIndex(dst, 4, x, (src[x >> 2] >> (6 - 2 * (x & 3))) & 3u);
            break;
        default:
            for (int x = 0; x < w; ++x) {
                const uint32_t p = load(src + x * pixelBytes, pixelBytes);
                uint8_t cr = ch[0].get(p);
                uint8_t cg = ch[1].get(p);
                uint8_t cb = ch[2].get(p);
                if (useAlpha) {
                    const uint8_t a = ch[3].get(p);
                    cr = overWhite(cr, a);
                    cg = overWhite(cg, a);
                    cb = overWhite(cb, a);
                }
                putBgr(dst, x, cr, cg, cb);
            }
            break;
        }
    }
    return 1;
}
