#pragma once
// Shared helpers of the picture readers: record allocation under the size
// bounds, row access, palettes, and a bounded little/big-endian byte reader.

// The C interface is the library's only export (the rest is built with hidden
// visibility, and the version script keeps it so).
#pragma GCC visibility push(default)
#include "pixmill.h"
#pragma GCC visibility pop

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pixmill {

// Bytes per row of a picture of `width` pixels at `bits`, padded to 4 bytes.
// Returns 0 when the width is out of range.
size_t strideFor(int width, int bits);

// Allocates a zero-filled picture of width x height at 1, 4, 8 or 24 bits with
// an all-black colour table, within PIXMILL_MAX_SIDE and
// PIXMILL_MAX_PIXEL_BYTES. On failure the record is left all zero.
bool allocDib(DibRecord* rec, int width, int height, int bits);

// Releases the record's blocks and zero-fills it.
void freeDib(DibRecord* rec);

// Releases the record and returns 0: the common failure exit of the readers.
inline int fail(DibRecord* rec) {
    freeDib(rec);
    return 0;
}

// Copies the colour table into the logical palette and the palette object;
// every reader calls it once the colour table is final.
void finishDib(DibRecord* rec);

inline PixmillRgbQuad* colourTable(DibRecord* rec) {
    return reinterpret_cast<PixmillRgbQuad*>(reinterpret_cast<uint8_t*>(rec->Info) +
                                             sizeof(PixmillBitmapInfoHeader));
}

inline const PixmillRgbQuad* colourTable(const DibRecord* rec) {
    return reinterpret_cast<const PixmillRgbQuad*>(reinterpret_cast<const uint8_t*>(rec->Info) +
                                                   sizeof(PixmillBitmapInfoHeader));
}

inline void setColour(DibRecord* rec, int index, uint8_t r, uint8_t g, uint8_t b) {
    PixmillRgbQuad& q = colourTable(rec)[index];
    q.rgbRed = r;
    q.rgbGreen = g;
    q.rgbBlue = b;
    q.rgbReserved = 0;
}

// Fills the whole colour table (2^bits entries) with an even grey ramp.
void setGreyPalette(DibRecord* rec);

inline int dibWidth(const DibRecord* rec) {
    return rec->Info->biWidth;
}
inline int dibHeight(const DibRecord* rec) {
    return rec->Info->biHeight;
}
inline int dibBits(const DibRecord* rec) {
    return rec->Info->biBitCount;
}

// Row `r` counted from the top of the picture (rows are stored bottom-up).
inline uint8_t* rowFromTop(DibRecord* rec, int r) {
    return rec->Bits +
           static_cast<size_t>(dibHeight(rec) - 1 - r) * static_cast<size_t>(rec->BytesPerRow);
}

// Stores an index of `bits` (1, 4 or 8) at column x of a row.
inline void putIndex(uint8_t* row, int bits, int x, unsigned v) {
    switch (bits) {
    case 1: {
        const uint8_t m = static_cast<uint8_t>(0x80u >> (x & 7));
        if (v & 1)
            row[x >> 3] |= m;
        else
            row[x >> 3] &= static_cast<uint8_t>(~m);
        break;
    }
    case 4: {
        uint8_t& b = row[x >> 1];
        if (x & 1)
            b = static_cast<uint8_t>((b & 0xF0) | (v & 0x0F));
        else
            b = static_cast<uint8_t>((b & 0x0F) | ((v & 0x0F) << 4));
        break;
    }
    default:
        row[x] = static_cast<uint8_t>(v);
        break;
    }
}

inline void putBgr(uint8_t* row, int x, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = row + static_cast<size_t>(x) * 3;
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

// Colour channel c with alpha a (0..255) laid over white.
inline uint8_t overWhite(unsigned c, unsigned a) {
    return static_cast<uint8_t>((c * a + 255u * (255u - a) + 127u) / 255u);
}

// Scales a value of `bits` bits (1..16) to 0..255.
inline uint8_t scaleTo8(unsigned v, unsigned bits) {
    if (bits == 0) return 0;
    if (bits >= 8 && bits <= 16 && bits != 8) return static_cast<uint8_t>(v >> (bits - 8));
    if (bits == 8) return static_cast<uint8_t>(v);
    const unsigned maxv = (1u << bits) - 1u;
    return static_cast<uint8_t>((v * 255u + maxv / 2u) / maxv);
}

// Smallest depth of ours (1, 4 or 8) that holds indexes of `bits` bits.
inline int indexedDepth(int bits) {
    return bits <= 1 ? 1 : (bits <= 4 ? 4 : 8);
}

// A read cursor over a byte range; reads past the end set `bad` and give 0.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t pos() const { return m_pos; }
    size_t size() const { return m_size; }
    size_t left() const { return m_pos <= m_size ? m_size - m_pos : 0; }
    bool bad() const { return m_bad; }
    const uint8_t* here() const { return m_data + m_pos; }

    bool seek(size_t pos) {
        if (pos > m_size) {
            m_bad = true;
            return false;
        }
        m_pos = pos;
        return true;
    }
    bool skip(size_t n) { return n <= left() ? seek(m_pos + n) : (m_bad = true, false); }

    uint8_t u8() {
        if (m_pos >= m_size) {
            m_bad = true;
            return 0;
        }
        return m_data[m_pos++];
    }
    uint16_t u16le() {
        const unsigned a = u8();
        const unsigned b = u8();
        return static_cast<uint16_t>(a | (b << 8));
    }
    uint32_t u32le() {
        const uint32_t a = u16le();
        const uint32_t b = u16le();
        return a | (b << 16);
    }
    uint16_t u16be() {
        const unsigned a = u8();
        const unsigned b = u8();
        return static_cast<uint16_t>((a << 8) | b);
    }
    uint32_t u32be() {
        const uint32_t a = u16be();
        const uint32_t b = u16be();
        return (a << 16) | b;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_bad = false;
};

} // namespace pixmill
