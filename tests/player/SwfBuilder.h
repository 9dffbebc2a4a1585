#pragma once
// Builds SWF bytes by hand for the player's tests: bit fields, records, tags
// and the movie header, so that a test can write exactly the layout it wants
// to read back (also layouts our own writer never produces, and damage).

#include "swf/TagCode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace swfbuild {

using Bytes = std::vector<uint8_t>;

// Bit fields most significant bit first, numbers little-endian after align().
class Bits {
public:
    Bits& bits(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (m_free == 8) m_bytes.push_back(0);
            --m_free;
            if ((value >> i) & 1u) m_bytes.back() |= uint8_t(1u << m_free);
            if (m_free == 0) m_free = 8;
        }
        return *this;
    }
    Bits& sbits(int32_t value, int count) { return bits(static_cast<uint32_t>(value), count); }
    Bits& align() {
        m_free = 8;
        return *this;
    }
    Bits& u8(uint32_t v) { return align().bits(v & 0xFF, 8); }
    Bits& u16(uint32_t v) { return u8(v).u8(v >> 8); }
    Bits& u32(uint32_t v) { return u16(v).u16(v >> 16); }
    Bits& raw(const Bytes& bytes) {
        align();
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Bits& rgb(uint32_t color) { return u8(color >> 16).u8(color >> 8).u8(color); }
    Bits& rgba(uint32_t color, uint32_t alpha) { return rgb(color).u8(alpha); }
    // RECT with a fixed field width of 16 bits.
    Bits& rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax) {
        bits(16, 5).sbits(xmin, 16).sbits(xmax, 16).sbits(ymin, 16).sbits(ymax, 16);
        return align();
    }
    // MATRIX; scales and skews in 16.16, translation in twips, fields 31 bits
    // wide.
    Bits& matrix(int32_t sx = 65536, int32_t sy = 65536, int32_t r0 = 0, int32_t r1 = 0,
                 int32_t tx = 0, int32_t ty = 0) {
        const bool scale = sx != 65536 || sy != 65536, rotate = r0 != 0 || r1 != 0;
        bits(scale, 1);
        if (scale) bits(31, 5).sbits(sx, 31).sbits(sy, 31);
        bits(rotate, 1);
        if (rotate) bits(31, 5).sbits(r0, 31).sbits(r1, 31);
        bits(31, 5).sbits(tx, 31).sbits(ty, 31);
        return align();
    }
    // CXFORMWITHALPHA with 10-bit terms: mult (8.8) then add, red green blue
    // alpha.
    Bits& cxformAlpha(const std::vector<int32_t>& mult, const std::vector<int32_t>& add) {
        bits(add.size() > 0, 1).bits(mult.size() > 0, 1).bits(10, 4);
        for (int32_t v : mult)
            sbits(v, 10);
        for (int32_t v : add)
            sbits(v, 10);
        return align();
    }
    // Shape records, fill and line index widths as given.
    Bits& styleChange(bool moveTo, int32_t x, int32_t y, int fill0, int fill1, int fillBits,
                      int line = -1, int lineBits = 0) {
        bits(0, 1).bits(0, 1).bits(line >= 0, 1).bits(fill1 >= 0, 1).bits(fill0 >= 0, 1);
        bits(moveTo, 1);
        if (moveTo) bits(20, 5).sbits(x, 20).sbits(y, 20);
        if (fill0 >= 0) bits(uint32_t(fill0), fillBits);
        if (fill1 >= 0) bits(uint32_t(fill1), fillBits);
        if (line >= 0) bits(uint32_t(line), lineBits);
        return *this;
    }
    // An edge as a general line with 16-bit deltas (field width - 2 = 14).
    Bits& line(int32_t dx, int32_t dy) {
        return bits(1, 1).bits(1, 1).bits(14, 4).bits(1, 1).sbits(dx, 16).sbits(dy, 16);
    }
    Bits& endShape() { return bits(0, 6); }
    // A closed rectangle from the pen's move-to point, edges in the given style.
    Bits& rectEdges(int32_t x, int32_t y, int32_t w, int32_t h, int fill0, int fill1,
                    int fillBits) {
        styleChange(true, x, y, fill0, fill1, fillBits);
        return line(w, 0).line(0, h).line(-w, 0).line(0, -h);
    }

    const Bytes& bytes() const { return m_bytes; }
    size_t size() const { return m_bytes.size(); }

private:
    Bytes m_bytes;
    int m_free = 8;
};

inline Bytes tag(int code, const Bytes& body, bool longForm = false) {
    Bits b;
    if (body.size() < 63 && !longForm) {
        b.u16(uint32_t(code) << 6 | uint32_t(body.size()));
    } else {
        b.u16(uint32_t(code) << 6 | 0x3F).u32(uint32_t(body.size()));
    }
    b.raw(body);
    return b.bytes();
}
inline Bytes tag(int code, const Bits& body) {
    return tag(code, body.bytes());
}

// A whole movie: header (version 4 unless asked), the tags, an End tag.
inline Bytes movie(int widthPx, int heightPx, int fps, const std::vector<Bytes>& tags,
                   int version = 4, bool end = true) {
    Bits body;
    for (const Bytes& t : tags)
        body.raw(t);
    if (end) body.u16(0);
    Bits head;
    head.raw({'F', 'W', 'S', uint8_t(version)});
    head.u32(uint32_t(21 + body.size()));
    head.rect(0, widthPx * 20, 0, heightPx * 20);
    head.u8(0).u8(uint32_t(fps)).u16(1);
    head.raw(body.bytes());
    return head.bytes();
}

using enum swf::TagCode;

inline Bytes showFrame() {
    return tag(ShowFrame, Bytes{});
}

// PlaceObject2 of a new character at a depth, with an optional matrix.
inline Bytes place(uint16_t depth, uint16_t character) {
    Bits b;
    b.u8(0x06).u16(depth).u16(character).matrix();
    return tag(PlaceObject2, b);
}

// A DefineShape of one solid fill covering a rectangle (twips).
inline Bytes solidRect(uint16_t id, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rgb) {
    Bits b;
    b.u16(id).rect(x, x + w, y, y + h);
    b.u8(1).u8(0x00).rgb(rgb); // one solid fill
    b.u8(0);                   // no line styles
    b.bits(1, 4).bits(0, 4);
    b.rectEdges(x, y, w, h, -1, 1, 1).endShape();
    return tag(DefineShape, b);
}

} // namespace swfbuild
