// IFF pictures: interleaved bit planes (ILBM: 1 to 8 planes, extra-half-brite,
// hold-and-modify, 24 and 32 planes) and chunky 8-bit pixels (PBM), plain or
// ByteRun1 compressed.

#include "dib_internal.h"

#include <cstdlib>

namespace pixmill {
namespace {

constexpr uint32_t fourcc(const char* s) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

constexpr uint32_t kCamgHam = 0x800;
constexpr uint32_t kCamgHalfBrite = 0x80;

// ByteRun1 decoder over the BODY chunk; a run may continue into the next line.
class ByteRun1 {
public:
    ByteRun1(const uint8_t* data, size_t size, bool packed)
        : m_data(data), m_size(size), m_packed(packed) {}

    bool line(uint8_t* out, size_t n) {
        if (!m_packed) {
            if (n > m_size - m_pos) return false;
            std::memcpy(out, m_data + m_pos, n);
            m_pos += n;
            return true;
        }
        size_t i = 0;
        while (i < n) {
            if (m_literal > 0) {
                size_t k = m_literal < n - i ? m_literal : n - i;
                if (k > m_size - m_pos) return false;
                std::memcpy(out + i, m_data + m_pos, k);
                m_pos += k;
                i += k;
                m_literal -= k;
                continue;
            }
            if (m_run > 0) {
                const size_t k = m_run < n - i ? m_run : n - i;
                std::memset(out + i, m_value, k);
                i += k;
                m_run -= k;
                continue;
            }
            if (m_pos >= m_size) return false;
            const auto c = static_cast<int8_t>(m_data[m_pos++]);
            if (c >= 0) {
                m_literal = static_cast<size_t>(c) + 1;
            } else if (c != -128) {
                if (m_pos >= m_size) return false;
                m_value = m_data[m_pos++];
                m_run = static_cast<size_t>(-c) + 1;
            }
        }
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_packed;
    size_t m_literal = 0;
    size_t m_run = 0;
    uint8_t m_value = 0;
};

unsigned planeBits(const uint8_t* line, size_t rowBytes, unsigned first, unsigned count, int x) {
    unsigned v = 0;
    const size_t byte = static_cast<size_t>(x) >> 3;
    const unsigned shift = 7 - (x & 7);
    for (unsigned p = 0; p < count; ++p)
        v |= ((line[(first + p) * rowBytes + byte] >> shift) & 1u) << p;
    return v;
}

} // namespace
} // namespace pixmill

using namespace pixmill;

extern "C" int pixmill_read_iff(const uint8_t* data, size_t size, DibRecord* rec) {
    if (!rec) return 0;
    std::memset(rec, 0, sizeof *rec);
    if (!data || size < 12) return 0;
    ByteReader r(data, size);
    if (r.u32be() != fourcc("FORM")) return 0;
    const size_t formSize = r.u32be();
    const uint32_t formType = r.u32be();
    if (formSize < 4 || formSize > size - 8) return 0;
    const bool pbm = formType == fourcc("PBM ");
    if (!pbm && formType != fourcc("ILBM")) return 0;
    const size_t formEnd = 8 + formSize;

    bool haveHeader = false;
    int w = 0;
    int h = 0;
    unsigned planes = 0;
    unsigned masking = 0;
    unsigned compression = 0;
    const uint8_t* cmap = nullptr;
    size_t cmapEntries = 0;
    uint32_t camg = 0;
    const uint8_t* body = nullptr;
    size_t bodySize = 0;

    size_t pos = 12;
    while (formEnd - pos >= 8) {
        r.seek(pos);
        const uint32_t id = r.u32be();
        const size_t len = r.u32be();
        if (len > formEnd - pos - 8) return 0;
        const uint8_t* chunk = data + pos + 8;
        ByteReader c(chunk, len);
        if (id == fourcc("BMHD")) {
            if (len < 20) return 0;
            w = c.u16be();
            h = c.u16be();
            c.skip(4); // position
            planes = c.u8();
            masking = c.u8();
            compression = c.u8();
            haveHeader = true;
        } else if (id == fourcc("CMAP")) {
            cmap = chunk;
            cmapEntries = len / 3;
        } else if (id == fourcc("CAMG")) {
            if (len >= 4) camg = c.u32be();
        } else if (id == fourcc("BODY")) {
            body = chunk;
            bodySize = len;
        }
        pos += 8 + len + (len & 1);
        if (pos > formEnd) pos = formEnd;
    }
    if (!haveHeader || !body || w == 0 || h == 0 || compression > 1 || masking > 3) return 0;

    const bool ham = !pbm && (camg & kCamgHam) && (planes == 6 || planes == 8);
    const bool halfBrite = !pbm && !ham && (camg & kCamgHalfBrite) && planes == 6;
    int outBits;
    if (pbm) {
        if (planes != 8) return 0;
        outBits = 8;
    } else if (ham || planes == 24 || planes == 32) {
        outBits = 24;
    } else if (planes >= 1 && planes <= 8) {
        outBits = halfBrite ? 8 : indexedDepth(static_cast<int>(planes));
    } else {
        return 0;
    }

    const size_t rowBytes =
        pbm ? static_cast<size_t>(w) + (w & 1) : ((static_cast<size_t>(w) + 15) / 16) * 2;
    const size_t storedPlanes = pbm ? 1 : planes + (masking == 1 ? 1 : 0);
    const size_t lineBytes = rowBytes * storedPlanes;
    if (compression == 0 && lineBytes * static_cast<size_t>(h) > bodySize) return 0;
    // Two bytes of ByteRun1 give at most 128: a body too short to cover the
    // picture that way is refused before anything is allocated.
    if (compression == 1 && (lineBytes * static_cast<size_t>(h) + 127) / 128 * 2 > bodySize)
        return 0;

    if (!allocDib(rec, w, h, outBits)) return 0;

    // Colours: the CMAP entries, or a grey ramp when the file has none.
    uint8_t colours[256][3] = {};
    const unsigned indexBits = pbm ? 8 : (planes <= 8 ? planes : 0);
    if (indexBits > 0) {
        const size_t count = size_t(1) << indexBits;
        if (cmap) {
            for (size_t i = 0; i < count && i < cmapEntries; ++i)
                std::memcpy(colours[i], cmap + i * 3, 3);
        } else {
            for (size_t i = 0; i < count; ++i)
                colours[i][0] = colours[i][1] = colours[i][2] =
                    static_cast<uint8_t>(i * 255 / (count - 1));
        }
        if (halfBrite)
            for (int i = 0; i < 32; ++i)
                for (int k = 0; k < 3; ++k)
                    colours[32 + i][k] = colours[i][k] >> 1;
    }
    if (outBits <= 8) {
        for (int i = 0; i < (1 << outBits); ++i)
            setColour(rec, i, colours[i][0], colours[i][1], colours[i][2]);
    }
    finishDib(rec);

    auto* line = static_cast<uint8_t*>(std::malloc(lineBytes));
    if (!line) return fail(rec);
    ByteRun1 src(body, bodySize, compression == 1);
    for (int y = 0; y < h; ++y) {
        if (!src.line(line, lineBytes)) {
            std::free(line);
            return fail(rec);
        }
        uint8_t* dst = rowFromTop(rec, y);
        if (pbm) {
            std::memcpy(dst, line, static_cast<size_t>(w));
        } else if (ham) {
            const unsigned dataBits = planes - 2;
            uint8_t cr = colours[0][0], cg = colours[0][1], cb = colours[0][2];
            for (int x = 0; x < w; ++x) {
                const unsigned v = planeBits(line, rowBytes, 0, planes, x);
                const unsigned value = v & ((1u << dataBits) - 1u);
                const uint8_t level = dataBits == 4
                                          ? static_cast<uint8_t>(value * 17)
                                          : static_cast<uint8_t>((value << 2) | (value >> 4));
                switch (v >> dataBits) {
                case 0:
                    cr = colours[value][0];
                    cg = colours[value][1];
                    cb = colours[value][2];
                    break;
                case 1:
                    cb = level;
                    break;
                case 2:
                    cr = level;
                    break;
                default:
                    cg = level;
                    break;
                }
                putBgr(dst, x, cr, cg, cb);
            }
        } else if (planes >= 24) {
            for (int x = 0; x < w; ++x) {
                uint8_t cr = static_cast<uint8_t>(planeBits(line, rowBytes, 0, 8, x));
                uint8_t cg = static_cast<uint8_t>(planeBits(line, rowBytes, 8, 8, x));
                uint8_t cb = static_cast<uint8_t>(planeBits(line, rowBytes, 16, 8, x));
                if (planes == 32) {
                    const unsigned a = planeBits(line, rowBytes, 24, 8, x);
                    cr = overWhite(cr, a);
                    cg = overWhite(cg, a);
                    cb = overWhite(cb, a);
                }
                putBgr(dst, x, cr, cg, cb);
            }
        } else {
            for (int x = 0; x < w; ++x)
                putIndex(dst, outBits, x, planeBits(line, rowBytes, 0, planes, x));
        }
    }
    std::free(line);
    return 1;
}
