#include "MovieReader.h"

#include <stdexcept>

namespace moviereader {
namespace {

void require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

Rect readRect(BitReader& r) {
    const int n = static_cast<int>(r.U(5));
    Rect rc;
    rc.xmin = r.S(n);
    rc.xmax = r.S(n);
    rc.ymin = r.S(n);
    rc.ymax = r.S(n);
    r.Align();
    return rc;
}

Matrix readMatrix(BitReader& r) {
    Matrix m;
    m.hasScale = r.U(1);
    if (m.hasScale) {
        const int n = static_cast<int>(r.U(5));
        m.scaleX = r.S(n);
        m.scaleY = r.S(n);
    }
    m.hasRotate = r.U(1);
    if (m.hasRotate) {
        const int n = static_cast<int>(r.U(5));
        m.rotate0 = r.S(n);
        m.rotate1 = r.S(n);
    }
    const int n = static_cast<int>(r.U(5));
    m.tx = r.S(n);
    m.ty = r.S(n);
    r.Align();
    return m;
}

RGBA readRGBA(BitReader& r) {
    RGBA c;
    c.r = static_cast<int>(r.U(8));
    c.g = static_cast<int>(r.U(8));
    c.b = static_cast<int>(r.U(8));
    c.a = static_cast<int>(r.U(8));
    return c;
}

} // namespace

std::vector<int> Movie::codes() const {
    std::vector<int> v;
    for (const Tag& t : tags)
        v.push_back(t.code);
    return v;
}

int Movie::count(int code) const {
    int n = 0;
    for (const Tag& t : tags)
        n += t.code == code;
    return n;
}

std::vector<std::vector<const Tag*>> Movie::frames() const {
    std::vector<std::vector<const Tag*>> out(1);
    for (const Tag& t : tags) {
        if (t.code == ShowFrame)
            out.emplace_back();
        else if (t.code != End)
            out.back().push_back(&t);
    }
    out.pop_back(); // after the last ShowFrame only End follows
    return out;
}

Movie ReadMovie(const Bytes& file) {
    require(file.size() >= 21, "file shorter than a header");
    require(file[0] == 'F' && file[1] == 'W' && file[2] == 'S', "signature");
    Movie m;
    m.version = file[3];
    m.fileLength = file[4] | file[5] << 8 | file[6] << 16 | uint32_t(file[7]) << 24;
    require(m.fileLength == file.size(), "file length field");
    BitReader r(file, 8);
    m.frame = readRect(r);
    const size_t at = r.BytePos();
    m.frameRate = file.at(at + 1); // 8.8 fixed point, whole part in the second byte
    m.frameCount = file.at(at + 2) | file.at(at + 3) << 8;
    size_t pos = at + 4;
    while (pos < file.size()) {
        require(pos + 2 <= file.size(), "tag header");
        const unsigned head = file[pos] | file[pos + 1] << 8;
        pos += 2;
        Tag t;
        t.code = static_cast<int>(head >> 6);
        size_t len = head & 0x3F;
        if (len == 0x3F) {
            require(pos + 4 <= file.size(), "long tag header");
            len =
                file[pos] | file[pos + 1] << 8 | file[pos + 2] << 16 | size_t(file[pos + 3]) << 24;
            pos += 4;
        }
        require(pos + len <= file.size(), "tag body beyond the file");
        t.body.assign(file.begin() + pos, file.begin() + pos + len);
        pos += len;
        m.tags.push_back(std::move(t));
        if (m.tags.back().code == End) break;
    }
    require(pos == file.size(), "bytes after the End tag");
    require(!m.tags.empty() && m.tags.back().code == End, "End tag");
    int frames = 0;
    for (const Tag& t : m.tags)
        frames += t.code == ShowFrame;
    require(frames == m.frameCount, "frame count");
    return m;
}

Movie ReadMovieFile(const std::string& path) {
    return ReadMovie(ReadFileBytes(path));
}

uint16_t CharacterID(const Tag& t) {
    return static_cast<uint16_t>(t.body.at(0) | t.body.at(1) << 8);
}

uint16_t ReadRemoveDepth(const Tag& t) {
    return CharacterID(t);
}

Place ReadPlace(const Tag& t) {
    BitReader r(t.body);
    Place p;
    const uint32_t flags = r.U(8);
    p.move = flags & 1;
    p.hasCharacter = flags & 2;
    p.hasMatrix = flags & 4;
    p.hasRatio = flags & 16;
    p.depth = static_cast<uint16_t>(r.Word());
    if (p.hasCharacter) p.character = static_cast<uint16_t>(r.Word());
    if (p.hasMatrix) p.matrix = readMatrix(r);
    require(!(flags & 8), "colour transform not expected");
    if (p.hasRatio) p.ratio = static_cast<uint16_t>(r.Word());
    return p;
}

std::vector<ShapeRec> ReadShapeRecords(BitReader& r, int fillBits, int lineBits) {
    std::vector<ShapeRec> recs;
    for (;;) {
        ShapeRec s;
        if (r.U(1) == 0) {
            const uint32_t flags = r.U(5);
            if (flags == 0) {
                s.kind = 'e';
                recs.push_back(s);
                r.Align();
                return recs;
            }
            require(!(flags & 16), "new styles not expected");
            s.kind = 'c';
            s.moveTo = flags & 1;
            s.hasFill0 = flags & 2;
            s.hasFill1 = flags & 4;
            s.hasLine = flags & 8;
            if (s.moveTo) {
                const int n = static_cast<int>(r.U(5));
                s.x = r.S(n);
                s.y = r.S(n);
            }
            if (s.hasFill0) s.fill0 = r.U(fillBits);
            if (s.hasFill1) s.fill1 = r.U(fillBits);
            if (s.hasLine) s.line = r.U(lineBits);
        } else if (r.U(1) == 1) {
            s.kind = 's';
            const int n = static_cast<int>(r.U(4)) + 2;
            if (r.U(1)) {
                s.x = r.S(n);
                s.y = r.S(n);
            } else if (r.U(1)) {
                s.y = r.S(n);
            } else {
                s.x = r.S(n);
            }
        } else {
            s.kind = 'q';
            const int n = static_cast<int>(r.U(4)) + 2;
            s.cx = r.S(n);
            s.cy = r.S(n);
            s.x = r.S(n);
            s.y = r.S(n);
        }
        recs.push_back(s);
    }
}

MorphShape ReadMorphShape(const Tag& t) {
    BitReader r(t.body);
    MorphShape m;
    m.id = static_cast<uint16_t>(r.Word());
    m.startBounds = readRect(r);
    m.endBounds = readRect(r);
    const uint32_t offset = r.DWord();
    const size_t offsetBase = r.BytePos();
    unsigned count = r.U(8);
    if (count == 0xFF) count = r.Word();
    for (unsigned i = 0; i < count; ++i) {
        require(r.U(8) == 0, "solid morph fill");
        RGBA a = readRGBA(r);
        RGBA b = readRGBA(r);
        m.fills.emplace_back(a, b);
    }
    require(r.U(8) == 0, "no line styles");
    int fillBits = static_cast<int>(r.U(4));
    int lineBits = static_cast<int>(r.U(4));
    m.start = ReadShapeRecords(r, fillBits, lineBits);
    require(r.BytePos() == offsetBase + offset, "end edges offset");
    fillBits = static_cast<int>(r.U(4));
    lineBits = static_cast<int>(r.U(4));
    m.end = ReadShapeRecords(r, fillBits, lineBits);
    require(r.BytePos() == t.body.size(), "morph shape length");
    return m;
}

Text ReadText(const Tag& t) {
    BitReader r(t.body);
    Text x;
    x.id = static_cast<uint16_t>(r.Word());
    x.bounds = readRect(r);
    x.matrix = readMatrix(r);
    const int glyphBits = static_cast<int>(r.U(8));
    const int advanceBits = static_cast<int>(r.U(8));
    for (;;) {
        const uint32_t first = r.U(8);
        if (first == 0) break;
        if (first & 0x80) {
            TextRecordInfo rec;
            if (first & 8) rec.fontID = static_cast<uint16_t>(r.Word());
            if (first & 4) rec.colour = readRGBA(r);
            if (first & 1) r.Word();
            if (first & 2) r.Word();
            if (first & 8) rec.height = static_cast<uint16_t>(r.Word());
            x.records.push_back(rec);
        } else {
            require(!x.records.empty(), "glyphs before a style record");
            const uint32_t n = first & 0x7F;
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t index = r.U(glyphBits);
                const int32_t advance = r.S(advanceBits);
                x.records.back().glyphs.emplace_back(index, advance);
            }
            r.Align();
        }
    }
    require(r.BytePos() == t.body.size(), "text length");
    return x;
}

std::vector<std::vector<ShapeRec>> ReadFontGlyphs(const Tag& t) {
    const Bytes& b = t.body;
    const size_t first = b.at(2) | b.at(3) << 8;
    const size_t n = first / 2;
    std::vector<std::vector<ShapeRec>> glyphs;
    for (size_t i = 0; i < n; ++i) {
        const size_t off = b.at(2 + 2 * i) | b.at(3 + 2 * i) << 8;
        BitReader r(b, 2 + off);
        const int fillBits = static_cast<int>(r.U(4));
        const int lineBits = static_cast<int>(r.U(4));
        glyphs.push_back(ReadShapeRecords(r, fillBits, lineBits));
    }
    return glyphs;
}

std::vector<ShapeRec> ReadShapeRecords(const Tag& t) {
    BitReader r(t.body);
    r.Word();
    readRect(r);
    unsigned count = r.U(8);
    if (count == 0xFF) count = r.Word();
    for (unsigned i = 0; i < count; ++i) {
        const uint32_t type = r.U(8);
        require(type == 0x40 || type == 0x41, "bitmap fill");
        r.Word();
        readMatrix(r);
    }
    require(r.U(8) == 0, "no line styles");
    const int fillBits = static_cast<int>(r.U(4));
    const int lineBits = static_cast<int>(r.U(4));
    return ReadShapeRecords(r, fillBits, lineBits);
}

} // namespace moviereader
