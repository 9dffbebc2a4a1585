#include "image_writers.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace pixtest {

namespace {

void put16le(Bytes& b, unsigned v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32le(Bytes& b, uint32_t v) {
    put16le(b, v & 0xFFFF);
    put16le(b, v >> 16);
}
void put16be(Bytes& b, unsigned v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
void put32be(Bytes& b, uint32_t v) {
    put16be(b, v >> 16);
    put16be(b, v & 0xFFFF);
}
void set32le(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void set32be(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

Rgb rgbAt(const Picture& p, int x, int y) {
    if (p.indexBits > 0) {
        const int i = p.index(x, y);
        return i < static_cast<int>(p.palette.size()) ? p.palette[i] : Rgb{};
    }
    return p.colour(x, y);
}
uint8_t alphaAt(const Picture& p, int x, int y) {
    return p.alpha ? p.alpha(x, y) : 255;
}

// Packs indexes of `bits` bits MSB first into a row of `bytes` bytes.
Bytes packRow(const Picture& p, int y, int bits, size_t bytes) {
    Bytes row(bytes, 0);
    for (int x = 0; x < p.width; ++x) {
        const unsigned v = static_cast<unsigned>(p.index(x, y)) & ((1u << bits) - 1u);
        const size_t bit = static_cast<size_t>(x) * bits;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
    }
    return row;
}

unsigned maskShift(uint32_t m) {
    unsigned s = 0;
    while (m && !((m >> s) & 1u))
        ++s;
    return s;
}
uint32_t encodeChannel(uint8_t c, uint32_t mask) {
    if (!mask) return 0;
    const unsigned s = maskShift(mask);
    const uint64_t max = mask >> s;
    return static_cast<uint32_t>(((c * max + 127) / 255) << s) & mask;
}

} // namespace

Rgb overWhite(Rgb c, uint8_t a) {
    auto f = [a](uint8_t v) { return static_cast<uint8_t>((v * a + 255 * (255 - a) + 127) / 255); };
    return {f(c.r), f(c.g), f(c.b)};
}

Rgb Picture::shown(int x, int y) const {
    const Rgb c = rgbAt(*this, x, y);
    return alpha ? overWhite(c, alpha(x, y)) : c;
}

Picture indexedPicture(int w, int h, int bits) {
    Picture p;
    p.width = w;
    p.height = h;
    p.indexBits = bits;
    const int n = 1 << bits;
    for (int i = 0; i < n; ++i)
        p.palette.push_back({static_cast<uint8_t>(i * 67 + 13), static_cast<uint8_t>(i * 151 + 101),
                             static_cast<uint8_t>(i * 29 + 200)});
    p.index = [n](int x, int y) { return (x * 3 + y * 5 + x * y) % n; };
    return p;
}

Picture greyPicture(int w, int h, int bits) {
    Picture p = indexedPicture(w, h, bits);
    const int n = 1 << bits;
    for (int i = 0; i < n; ++i) {
        const auto v = static_cast<uint8_t>(i * 255 / (n - 1));
        p.palette[i] = {v, v, v};
    }
    return p;
}

Picture colourPicture(int w, int h, bool withAlpha) {
    Picture p;
    p.width = w;
    p.height = h;
    p.colour = [](int x, int y) {
        return Rgb{static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(x * 13 + y * 59),
                   static_cast<uint8_t>(255 - x * 23 - y * 7)};
    };
    if (withAlpha) p.alpha = [](int x, int y) { return static_cast<uint8_t>(x * 29 + y * 71); };
    return p;
}

Picture smoothPicture(int w, int h) {
    Picture p;
    p.width = w;
    p.height = h;
    p.colour = [w, h](int x, int y) {
        return Rgb{static_cast<uint8_t>(x * 255 / (w - 1)), static_cast<uint8_t>(y * 255 / (h - 1)),
                   128};
    };
    return p;
}

// ---------------------------------------------------------------- BMP

Bytes rle8Stream(const Picture& p) {
    Bytes s;
    for (int i = 0; i < p.height; ++i) {
        const int y = p.height - 1 - i;
        int x = 0;
        while (x < p.width) {
            int run = 1;
            while (x + run < p.width && run < 255 && p.index(x + run, y) == p.index(x, y))
                ++run;
            if (run >= 2) {
                s.push_back(static_cast<uint8_t>(run));
                s.push_back(static_cast<uint8_t>(p.index(x, y)));
                x += run;
                continue;
            }
            int lit = 1; // literal pixels up to the next pair of equal ones
            while (x + lit < p.width && lit < 255 &&
                   !(x + lit + 1 < p.width && p.index(x + lit, y) == p.index(x + lit + 1, y)))
                ++lit;
            if (lit >= 3) {
                s.push_back(0);
                s.push_back(static_cast<uint8_t>(lit));
                for (int k = 0; k < lit; ++k)
                    s.push_back(static_cast<uint8_t>(p.index(x + k, y)));
                if (lit & 1) s.push_back(0);
            } else {
                for (int k = 0; k < lit; ++k) {
                    s.push_back(1);
                    s.push_back(static_cast<uint8_t>(p.index(x + k, y)));
                }
            }
            x += lit;
        }
        s.push_back(0);
        s.push_back(i + 1 < p.height ? 0 : 1);
    }
    return s;
}

Bytes rle4Stream(const Picture& p) {
    Bytes s;
    for (int i = 0; i < p.height; ++i) {
        const int y = p.height - 1 - i;
        int x = 0;
        while (x < p.width) {
            int run = 1;
            while (x + run < p.width && run < 255 && p.index(x + run, y) == p.index(x, y))
                ++run;
            if (run >= 2 || p.width - x < 3) {
                const int v = p.index(x, y) & 15;
                s.push_back(static_cast<uint8_t>(run));
                s.push_back(static_cast<uint8_t>(v << 4 | v));
                x += run;
                continue;
            }
            int lit = 1;
            while (x + lit < p.width && lit < 255 &&
                   !(x + lit + 1 < p.width && p.index(x + lit, y) == p.index(x + lit + 1, y)))
                ++lit;
            if (lit < 3) lit = 3 <= p.width - x ? 3 : p.width - x;
            s.push_back(0);
            s.push_back(static_cast<uint8_t>(lit));
            const int bytes = (lit + 1) / 2;
            for (int k = 0; k < bytes; ++k) {
                const int a = p.index(x + 2 * k, y) & 15;
                const int b = 2 * k + 1 < lit ? p.index(x + 2 * k + 1, y) & 15 : 0;
                s.push_back(static_cast<uint8_t>(a << 4 | b));
            }
            if (bytes & 1) s.push_back(0);
            x += lit;
        }
        s.push_back(0);
        s.push_back(i + 1 < p.height ? 0 : 1);
    }
    return s;
}

Bytes makeBmp(const Picture& p, const BmpOptions& o) {
    const int w = p.width;
    const int h = p.height;
    const int bits = o.bits;
    size_t hs = 40;
    switch (o.header) {
    case BmpHeader::Core12:
        hs = 12;
        break;
    case BmpHeader::Info40:
        hs = 40;
        break;
    case BmpHeader::Os2v2_64:
        hs = 64;
        break;
    case BmpHeader::V4_108:
        hs = 108;
        break;
    case BmpHeader::V5_124:
        hs = 124;
        break;
    }
    const bool core = o.header == BmpHeader::Core12;
    uint32_t masks[4];
    std::memcpy(masks, o.masks, sizeof masks);
    const bool fields = o.compression == 3 || o.compression == 6;
    if (!fields) {
        if (bits == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x3E0;
            masks[2] = 0x1F;
            masks[3] = 0;
        } else {
            masks[0] = 0xFF0000;
            masks[1] = 0xFF00;
            masks[2] = 0xFF;
            masks[3] = 0;
        }
    }

    Bytes pixels;
    if (o.compression == 1) {
        pixels = rle8Stream(p);
    } else if (o.compression == 2) {
        pixels = rle4Stream(p);
    } else {
        const size_t stride = ((static_cast<size_t>(w) * bits + 31) / 32) * 4;
        for (int i = 0; i < h; ++i) {
            const int y = o.topDown ? i : h - 1 - i;
            Bytes row(stride, 0);
            if (bits <= 8) {
                row = packRow(p, y, bits, stride);
            } else {
                for (int x = 0; x < w; ++x) {
                    const Rgb c = rgbAt(p, x, y);
                    if (bits == 24) {
                        row[x * 3] = c.b;
                        row[x * 3 + 1] = c.g;
                        row[x * 3 + 2] = c.r;
                        continue;
                    }
                    uint32_t v = encodeChannel(c.r, masks[0]) | encodeChannel(c.g, masks[1]) |
                                 encodeChannel(c.b, masks[2]) |
                                 encodeChannel(alphaAt(p, x, y), masks[3]);
                    for (int k = 0; k < bits / 8; ++k)
                        row[x * (bits / 8) + k] = static_cast<uint8_t>(v >> (8 * k));
                }
            }
            append(pixels, row);
        }
    }

    Bytes info;
    put32le(info, static_cast<uint32_t>(hs));
    if (core) {
        put16le(info, w);
        put16le(info, h);
        put16le(info, 1);
        put16le(info, bits);
    } else {
        put32le(info, static_cast<uint32_t>(w));
        put32le(info, static_cast<uint32_t>(o.topDown ? -h : h));
        put16le(info, 1);
        put16le(info, bits);
        put32le(info, o.compression);
        put32le(info, static_cast<uint32_t>(pixels.size()));
        put32le(info, 2835);
        put32le(info, 2835);
        put32le(info, 0);
        put32le(info, 0);
        if (hs >= 108) {
            for (uint32_t m : masks)
                put32le(info, m);
        }
        info.resize(hs, 0);
    }
    if (!core && hs == 40 && fields) {
        for (int i = 0; i < (o.compression == 6 ? 4 : 3); ++i)
            put32le(info, masks[i]);
    }
    if (bits <= 8) {
        for (int i = 0; i < (1 << bits); ++i) {
            const Rgb c = i < static_cast<int>(p.palette.size()) ? p.palette[i] : Rgb{};
            info.push_back(c.b);
            info.push_back(c.g);
            info.push_back(c.r);
            if (!core) info.push_back(0);
        }
    }

    Bytes out;
    if (o.fileHeader) {
        out = {'B', 'M'};
        put32le(out, static_cast<uint32_t>(14 + info.size() + pixels.size()));
        put32le(out, 0);
        put32le(out, static_cast<uint32_t>(14 + info.size()));
    }
    append(out, info);
    append(out, pixels);
    return out;
}

Bytes bmpWithRle(int w, int h, int bits, const std::vector<Rgb>& palette, const Bytes& stream) {
    Picture p;
    p.width = w;
    p.height = h;
    p.indexBits = bits;
    p.palette = palette;
    p.index = [](int, int) { return 0; };
    BmpOptions o;
    o.bits = bits;
    o.compression = 0;
    Bytes b = makeBmp(p, o);
    const size_t off = 14 + 40 + (size_t(4) << bits);
    b.resize(off);
    append(b, stream);
    set32le(b, 2, static_cast<uint32_t>(b.size()));
    set32le(b, 14 + 16, bits == 8 ? 1 : 2); // compression
    return b;
}

// ---------------------------------------------------------------- TGA

Bytes makeTga(const Picture& p, const TgaOptions& o) {
    const int base = o.type & 7;
    const bool rle = o.type & 8;
    const int mapLen =
        base == 1 ? (o.mapLength ? o.mapLength : static_cast<int>(p.palette.size())) : 0;
    Bytes out;
    out.push_back(static_cast<uint8_t>(o.id.size()));
    out.push_back(base == 1 ? 1 : 0);
    out.push_back(static_cast<uint8_t>(o.type));
    put16le(out, base == 1 ? o.mapFirst : 0);
    put16le(out, mapLen);
    out.push_back(base == 1 ? static_cast<uint8_t>(o.mapBits) : 0);
    put16le(out, 0);
    put16le(out, 0);
    put16le(out, p.width);
    put16le(out, p.height);
    out.push_back(static_cast<uint8_t>(o.depth));
    out.push_back(
        static_cast<uint8_t>(o.alphaBits | (o.rightToLeft ? 0x10 : 0) | (o.topDown ? 0x20 : 0)));
    out.insert(out.end(), o.id.begin(), o.id.end());
    auto colour = [](Bytes& b, Rgb c, uint8_t a, int bits) {
        if (bits <= 16) {
            auto q = [](uint8_t v) { return (v * 31 + 127) / 255; };
            put16le(b, (q(c.r) << 10) | (q(c.g) << 5) | q(c.b));
        } else {
            b.push_back(c.b);
            b.push_back(c.g);
            b.push_back(c.r);
            if (bits == 32) b.push_back(a);
        }
    };
    for (int k = 0; k < mapLen; ++k) {
        const size_t i = static_cast<size_t>(o.mapFirst + k);
        colour(out, i < p.palette.size() ? p.palette[i] : Rgb{}, 255, o.mapBits);
    }

    std::vector<Bytes> px;
    for (int i = 0; i < p.height; ++i) {
        const int y = o.topDown ? i : p.height - 1 - i;
        for (int j = 0; j < p.width; ++j) {
            const int x = o.rightToLeft ? p.width - 1 - j : j;
            Bytes v;
            if (base == 1) {
                if (o.depth == 16)
                    put16le(v, p.index(x, y));
                else
                    v.push_back(static_cast<uint8_t>(p.index(x, y)));
            } else if (base == 2) {
                colour(v, rgbAt(p, x, y), alphaAt(p, x, y), o.depth);
            } else {
                v.push_back(rgbAt(p, x, y).r);
                if (o.depth == 16) v.push_back(alphaAt(p, x, y));
            }
            px.push_back(v);
        }
    }
    if (!rle) {
        for (const Bytes& v : px)
            append(out, v);
        return out;
    }
    size_t i = 0;
    while (i < px.size()) {
        size_t run = 1;
        while (i + run < px.size() && run < 128 && px[i + run] == px[i])
            ++run;
        if (run >= 2) {
            out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
            append(out, px[i]);
            i += run;
            continue;
        }
        size_t lit = 1;
        while (i + lit < px.size() && lit < 128 &&
               !(i + lit + 1 < px.size() && px[i + lit] == px[i + lit + 1]))
            ++lit;
        out.push_back(static_cast<uint8_t>(lit - 1));
        for (size_t k = 0; k < lit; ++k)
            append(out, px[i + k]);
        i += lit;
    }
    return out;
}

// ---------------------------------------------------------------- PCX

Bytes makePcx(const Picture& p, const PcxOptions& o) {
    const int w = p.width;
    const int h = p.height;
    size_t bpl = (static_cast<size_t>(w) * o.bpp + 7) / 8;
    bpl += bpl & 1;
    Bytes out(128, 0);
    out[0] = 0x0A;
    out[1] = static_cast<uint8_t>(o.version);
    out[2] = o.rle ? 1 : 0;
    out[3] = static_cast<uint8_t>(o.bpp);
    out[8] = static_cast<uint8_t>(w - 1);
    out[9] = static_cast<uint8_t>((w - 1) >> 8);
    out[10] = static_cast<uint8_t>(h - 1);
    out[11] = static_cast<uint8_t>((h - 1) >> 8);
    out[12] = 72;
    out[14] = 72;
    for (int i = 0; i < 16 && i < static_cast<int>(p.palette.size()); ++i) {
        out[16 + i * 3] = p.palette[i].r;
        out[17 + i * 3] = p.palette[i].g;
        out[18 + i * 3] = p.palette[i].b;
    }
    out[65] = static_cast<uint8_t>(o.planes);
    out[66] = static_cast<uint8_t>(bpl);
    out[67] = static_cast<uint8_t>(bpl >> 8);
    out[68] = 1;
    for (int y = 0; y < h; ++y) {
        Bytes line(bpl * o.planes, 0);
        for (int x = 0; x < w; ++x) {
            if (o.bpp == 8 && o.planes >= 3) {
                const Rgb c = rgbAt(p, x, y);
                line[x] = c.r;
                line[bpl + x] = c.g;
                line[2 * bpl + x] = c.b;
                if (o.planes == 4) line[3 * bpl + x] = alphaAt(p, x, y);
            } else if (o.bpp == 1) {
                const int v = p.index(x, y);
                for (int k = 0; k < o.planes; ++k)
                    if ((v >> k) & 1)
                        line[k * bpl + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        if (o.planes == 1 && o.bpp > 1) {
            const Bytes packed = packRow(p, y, o.bpp, bpl);
            std::copy(packed.begin(), packed.end(), line.begin());
        }
        if (!o.rle) {
            append(out, line);
            continue;
        }
        size_t i = 0;
        while (i < line.size()) {
            size_t run = 1;
            while (i + run < line.size() && run < 63 && line[i + run] == line[i])
                ++run;
            if (run > 1 || line[i] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
            out.push_back(line[i]);
            i += run;
        }
    }
    if (o.bpp == 8 && o.planes == 1) {
        out.push_back(0x0C);
        for (int i = 0; i < 256; ++i) {
            const Rgb c = i < static_cast<int>(p.palette.size()) ? p.palette[i] : Rgb{};
            out.push_back(c.r);
            out.push_back(c.g);
            out.push_back(c.b);
        }
    }
    return out;
}

// ---------------------------------------------------------------- IFF

Bytes byteRun1(const uint8_t* data, size_t n) {
    Bytes out;
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && data[i + run] == data[i])
            ++run;
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(257 - run));
            out.push_back(data[i]);
            i += run;
            continue;
        }
        size_t lit = 1;
        while (i + lit < n && lit < 128 &&
               !(i + lit + 2 < n && data[i + lit] == data[i + lit + 1] &&
                 data[i + lit] == data[i + lit + 2]))
            ++lit;
        out.push_back(static_cast<uint8_t>(lit - 1));
        out.insert(out.end(), data + i, data + i + lit);
        i += lit;
    }
    return out;
}

namespace {

void chunk(Bytes& out, const char* id, const Bytes& body) {
    out.insert(out.end(), id, id + 4);
    put32be(out, static_cast<uint32_t>(body.size()));
    append(out, body);
    if (body.size() & 1) out.push_back(0);
}

Bytes iffFile(bool pbm, int w, int h, int planes, bool mask, bool compress,
              const std::vector<Rgb>* cmap, uint32_t camg, const Bytes& body) {
    Bytes bmhd;
    put16be(bmhd, w);
    put16be(bmhd, h);
    put32be(bmhd, 0);
    bmhd.push_back(static_cast<uint8_t>(planes));
    bmhd.push_back(mask ? 1 : 0);
    bmhd.push_back(compress ? 1 : 0);
    bmhd.push_back(0);
    put16be(bmhd, 0);
    bmhd.push_back(10);
    bmhd.push_back(11);
    put16be(bmhd, w);
    put16be(bmhd, h);
    Bytes out = {'F', 'O', 'R', 'M', 0, 0, 0, 0};
    const char* type = pbm ? "PBM " : "ILBM";
    out.insert(out.end(), type, type + 4);
    chunk(out, "BMHD", bmhd);
    if (cmap) {
        Bytes c;
        for (const Rgb& e : *cmap) {
            c.push_back(e.r);
            c.push_back(e.g);
            c.push_back(e.b);
        }
        chunk(out, "CMAP", c);
    }
    if (camg) {
        Bytes c;
        put32be(c, camg);
        chunk(out, "CAMG", c);
    }
    chunk(out, "BODY", body);
    set32be(out, 4, static_cast<uint32_t>(out.size() - 8));
    return out;
}

} // namespace

Bytes makeIffPlanes(int w, int h, int planes, const std::vector<Rgb>& cmap, uint32_t camg,
                    const std::function<unsigned(int, int)>& value, bool compress) {
    const size_t rowBytes = ((static_cast<size_t>(w) + 15) / 16) * 2;
    Bytes body;
    for (int y = 0; y < h; ++y) {
        for (int k = 0; k < planes; ++k) {
            Bytes row(rowBytes, 0);
            for (int x = 0; x < w; ++x)
                if ((value(x, y) >> k) & 1u) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            append(body, compress ? byteRun1(row.data(), row.size()) : row);
        }
    }
    return iffFile(false, w, h, planes, false, compress, cmap.empty() ? nullptr : &cmap, camg,
                   body);
}

Bytes makeIff(const Picture& p, const IffOptions& o) {
    const int w = p.width;
    const int h = p.height;
    Bytes body;
    if (o.pbm) {
        const size_t rowBytes = static_cast<size_t>(w) + (w & 1);
        for (int y = 0; y < h; ++y) {
            Bytes row(rowBytes, 0);
            for (int x = 0; x < w; ++x)
                row[x] = static_cast<uint8_t>(p.index(x, y));
            append(body, o.compress ? byteRun1(row.data(), row.size()) : row);
        }
    } else {
        const size_t rowBytes = ((static_cast<size_t>(w) + 15) / 16) * 2;
        for (int y = 0; y < h; ++y) {
            for (int k = 0; k < o.planes + (o.maskPlane ? 1 : 0); ++k) {
                Bytes row(rowBytes, 0);
                for (int x = 0; x < w; ++x) {
                    unsigned v;
                    if (k == o.planes) {
                        v = 1; // the mask plane: every pixel shown
                    } else if (p.indexBits > 0) {
                        v = static_cast<unsigned>(p.index(x, y)) >> k;
                    } else {
                        const Rgb c = rgbAt(p, x, y);
                        const uint32_t all =
                            c.r | (c.g << 8) | (c.b << 16) | (uint32_t(alphaAt(p, x, y)) << 24);
                        v = all >> k;
                    }
                    if (v & 1u) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                }
                append(body, o.compress ? byteRun1(row.data(), row.size()) : row);
            }
        }
    }
    const bool withMap = o.cmap && p.indexBits > 0;
    std::vector<Rgb> map = p.palette;
    if (o.camg & 0x80) map.resize(32);
    return iffFile(o.pbm, w, h, o.pbm ? 8 : o.planes, o.maskPlane, o.compress,
                   withMap ? &map : nullptr, o.camg, body);
}

// ---------------------------------------------------------------- GIF

namespace {
int gifWrite(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}
} // namespace

Bytes makeGif(const Picture& p, const GifOptions& o) {
    Bytes out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, gifWrite, &err);
    if (!gif) throw std::runtime_error("EGifOpen");
    std::vector<GifColorType> colours(1u << p.indexBits);
    for (size_t i = 0; i < colours.size() && i < p.palette.size(); ++i)
        colours[i] = {p.palette[i].r, p.palette[i].g, p.palette[i].b};
    ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
    EGifSetGifVersion(gif, true);
    const int sw = o.screenWidth ? o.screenWidth : p.width;
    const int sh = o.screenHeight ? o.screenHeight : p.height;
    EGifPutScreenDesc(gif, sw, sh, p.indexBits, 0, map);
    if (o.transparent >= 0) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
        gcb.TransparentColor = o.transparent;
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    }
    EGifPutImageDesc(gif, o.left, o.top, p.width, p.height, o.interlace, nullptr);
    std::vector<int> order;
    if (o.interlace) {
        const int start[4] = {0, 4, 2, 1};
        const int step[4] = {8, 8, 4, 2};
        for (int k = 0; k < 4; ++k)
            for (int y = start[k]; y < p.height; y += step[k])
                order.push_back(y);
    } else {
        for (int y = 0; y < p.height; ++y)
            order.push_back(y);
    }
    std::vector<GifPixelType> line(p.width);
    for (int y : order) {
        for (int x = 0; x < p.width; ++x)
            line[x] = static_cast<GifPixelType>(p.index(x, y));
        EGifPutLine(gif, line.data(), p.width);
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out;
}

// ---------------------------------------------------------------- PNG

namespace {
void pngWrite(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void pngFlush(png_structp) {}
} // namespace

Bytes makePng(const Picture& p, const PngOptions& o) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<Bytes> rows(p.height);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("png write");
    }
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    png_set_IHDR(png, info, p.width, p.height, o.depth, o.colourType,
                 o.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> plte;
    if (o.colourType == PNG_COLOR_TYPE_PALETTE) {
        for (const Rgb& c : p.palette)
            plte.push_back({c.r, c.g, c.b});
        png_set_PLTE(png, info, plte.data(), static_cast<int>(plte.size()));
        if (!o.paletteAlpha.empty())
            png_set_tRNS(png, info, o.paletteAlpha.data(), static_cast<int>(o.paletteAlpha.size()),
                         nullptr);
    }
    const int wide = o.depth == 16 ? 2 : 1;
    for (int y = 0; y < p.height; ++y) {
        Bytes& r = rows[y];
        if (o.colourType == PNG_COLOR_TYPE_PALETTE ||
            (o.colourType == PNG_COLOR_TYPE_GRAY && o.depth < 8)) {
            r = packRow(p, y, o.depth, (static_cast<size_t>(p.width) * o.depth + 7) / 8);
            continue;
        }
        for (int x = 0; x < p.width; ++x) {
            const Rgb c = rgbAt(p, x, y);
            const uint8_t a = alphaAt(p, x, y);
            auto put = [&](uint8_t v) {
                r.push_back(v);
                if (wide == 2) r.push_back(v);
            };
            switch (o.colourType) {
            case PNG_COLOR_TYPE_GRAY:
                put(c.r);
                break;
            case PNG_COLOR_TYPE_GRAY_ALPHA:
                put(c.r);
                put(a);
                break;
            case PNG_COLOR_TYPE_RGB:
                put(c.r);
                put(c.g);
                put(c.b);
                break;
            default:
                put(c.r);
                put(c.g);
                put(c.b);
                put(a);
                break;
            }
        }
    }
    std::vector<png_bytep> ptrs;
    for (Bytes& r : rows)
        ptrs.push_back(r.data());
    png_write_info(png, info);
    png_write_image(png, ptrs.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// ---------------------------------------------------------------- TIFF

namespace {
struct MemFile {
    Bytes data;
    toff_t pos = 0;
};
tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemFile*>(h);
    const toff_t left = f->pos < f->data.size() ? f->data.size() - f->pos : 0;
    const toff_t k = static_cast<toff_t>(n) < left ? static_cast<toff_t>(n) : left;
    std::memcpy(buf, f->data.data() + f->pos, k);
    f->pos += k;
    return static_cast<tmsize_t>(k);
}
tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemFile*>(h);
    if (f->pos + n > f->data.size()) f->data.resize(f->pos + n);
    std::memcpy(f->data.data() + f->pos, buf, n);
    f->pos += n;
    return n;
}
toff_t memSeek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemFile*>(h);
    if (whence == SEEK_CUR)
        off += f->pos;
    else if (whence == SEEK_END)
        off += f->data.size();
    f->pos = off;
    return off;
}
int memClose(thandle_t) {
    return 0;
}
toff_t memSize(thandle_t h) {
    return static_cast<MemFile*>(h)->data.size();
}
int memMap(thandle_t, void**, toff_t*) {
    return 0;
}
void memUnmap(thandle_t, void*, toff_t) {}
} // namespace

Bytes makeTiff(const Picture& p, const TiffOptions& o) {
    MemFile f;
    TIFF* tif = TIFFClientOpen("mem", "w", &f, memRead, memWrite, memSeek, memClose, memSize,
                               memMap, memUnmap);
    if (!tif) throw std::runtime_error("TIFFClientOpen");
    const bool rgb = o.photometric == PHOTOMETRIC_RGB;
    const int spp = rgb ? (o.alpha ? 4 : 3) : 1;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, o.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, o.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, o.compression);
    if (o.orientation != 1) TIFFSetField(tif, TIFFTAG_ORIENTATION, o.orientation);
    if (o.alpha) {
        uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    std::vector<uint16_t> red, green, blue;
    if (o.photometric == PHOTOMETRIC_PALETTE) {
        for (int i = 0; i < (1 << o.bits); ++i) {
            const Rgb c = i < static_cast<int>(p.palette.size()) ? p.palette[i] : Rgb{};
            red.push_back(static_cast<uint16_t>(c.r * 257));
            green.push_back(static_cast<uint16_t>(c.g * 257));
            blue.push_back(static_cast<uint16_t>(c.b * 257));
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    auto row = [&](int y) {
        if (!rgb) {
            Bytes r = packRow(p, y, o.bits, (static_cast<size_t>(p.width) * o.bits + 7) / 8);
            if (o.photometric == PHOTOMETRIC_MINISWHITE)
                for (uint8_t& b : r)
                    b = static_cast<uint8_t>(~b);
            return r;
        }
        Bytes r;
        for (int x = 0; x < p.width; ++x) {
            const Rgb c = rgbAt(p, x, y);
            r.push_back(c.r);
            r.push_back(c.g);
            r.push_back(c.b);
            if (o.alpha) r.push_back(alphaAt(p, x, y));
        }
        return r;
    };
    if (o.tiled) {
        const int t = 16;
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, t);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, t);
        for (int ty = 0; ty < p.height; ty += t) {
            for (int tx = 0; tx < p.width; tx += t) {
                Bytes tile(static_cast<size_t>(t) * t * spp, 0);
                for (int y = ty; y < ty + t && y < p.height; ++y) {
                    const Bytes r = row(y);
                    for (int x = tx; x < tx + t && x < p.width; ++x)
                        std::memcpy(&tile[((y - ty) * t + (x - tx)) * spp], &r[x * spp], spp);
                }
                TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, o.rowsPerStrip ? o.rowsPerStrip : p.height);
        for (int y = 0; y < p.height; ++y) {
            Bytes r = row(y);
            TIFFWriteScanline(tif, r.data(), y, 0);
        }
    }
    TIFFClose(tif);
    return f.data;
}

// ---------------------------------------------------------------- JPEG

namespace {
struct JpegError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};
void jpegFail(j_common_ptr c) {
    longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1);
}
} // namespace

Bytes makeJpeg(const Picture& p, int quality, bool grey, bool progressive) {
    jpeg_compress_struct c;
    JpegError err;
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpegFail;
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&c);
        throw std::runtime_error("jpeg write");
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = p.width;
    c.image_height = p.height;
    c.input_components = grey ? 1 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    Bytes row;
    for (int y = 0; y < p.height; ++y) {
        row.clear();
        for (int x = 0; x < p.width; ++x) {
            const Rgb v = rgbAt(p, x, y);
            row.push_back(v.r);
            if (!grey) {
                row.push_back(v.g);
                row.push_back(v.b);
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(mem, mem + size);
    std::free(mem);
    return out;
}

Bytes makeCmykJpeg(int w, int h, const std::function<void(int, int, uint8_t*)>& cmyk, int quality) {
    jpeg_compress_struct c;
    JpegError err;
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpegFail;
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&c);
        throw std::runtime_error("jpeg write");
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    Bytes row(static_cast<size_t>(w) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            cmyk(x, y, &row[static_cast<size_t>(x) * 4]);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(mem, mem + size);
    std::free(mem);
    return out;
}

std::vector<Rgb> decodeJpeg(const Bytes& jpeg, int* w, int* h) {
    jpeg_decompress_struct d;
    JpegError err;
    d.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpegFail;
    std::vector<Rgb> pixels;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&d);
        return {};
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    *w = static_cast<int>(d.output_width);
    *h = static_cast<int>(d.output_height);
    pixels.resize(static_cast<size_t>(*w) * *h);
    while (d.output_scanline < d.output_height) {
        JSAMPROW r =
            reinterpret_cast<JSAMPROW>(&pixels[static_cast<size_t>(d.output_scanline) * *w]);
        jpeg_read_scanlines(&d, &r, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return pixels;
}

} // namespace pixtest
