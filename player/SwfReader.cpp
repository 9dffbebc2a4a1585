#include "player/SwfReader.h"

#include "swf/TagCode.h"
#include "swf/Twips.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace player {
namespace {

using enum swf::TagCode;

// A fault in the file; the tag loop adds the tag's name and offset.
struct ReadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& what) {
    throw ReadError(what);
}

// Reads bit fields (most significant bit first) and little-endian numbers
// from one tag body; never past its end.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    // What is being read, for the message when the tag ends too early.
    void part(const char* what) { m_part = what; }
    // The movie's version, for fields whose meaning depends on it.
    void setMovieVersion(int version) { m_movieVersion = version; }
    int movieVersion() const { return m_movieVersion; }
    // Who ends early in messages: "the tag" or "the file".
    void whole(const char* what) { m_whole = what; }
    const char* currentPart() const { return m_part; }

    uint32_t bits(int count) {
        if (count == 0) return 0;
        need(static_cast<uint64_t>(count));
        uint32_t v = 0;
        for (int i = 0; i < count; ++i, ++m_bit) {
            const uint32_t byte = m_data[m_bit >> 3];
            v = (v << 1) | ((byte >> (7 - (m_bit & 7))) & 1u);
        }
        return v;
    }
    int32_t sbits(int count) {
        if (count == 0) return 0;
        const uint32_t v = bits(count);
        if (count == 32) return static_cast<int32_t>(v);
        const uint32_t sign = uint32_t(1) << (count - 1);
        return static_cast<int32_t>(static_cast<int64_t>(v ^ sign) - static_cast<int64_t>(sign));
    }
    bool flag() { return bits(1) != 0; }
    void align() { m_bit = (m_bit + 7) & ~uint64_t(7); }
    uint8_t u8() {
        align();
        return static_cast<uint8_t>(bits(8));
    }
    uint16_t u16() {
        align();
        const uint32_t lo = bits(8);
        return static_cast<uint16_t>(lo | (bits(8) << 8));
    }
    int16_t s16() { return static_cast<int16_t>(u16()); }
    uint32_t u32() {
        const uint32_t lo = u16();
        return lo | (uint32_t(u16()) << 16);
    }
    // A 16-bit little-endian number that may start at any bit (the older
    // text records are packed without alignment).
    uint16_t unalignedU16() {
        const uint32_t lo = bits(8);
        return static_cast<uint16_t>(lo | (bits(8) << 8));
    }

    size_t bytePos() const { return static_cast<size_t>((m_bit + 7) >> 3); }
    size_t bytesLeft() const { return m_size - std::min(m_size, bytePos()); }
    bool atEnd() const { return bytePos() >= m_size; }
    void seek(size_t byte) {
        if (byte > m_size) fail(std::string("its ") + m_part + " lie beyond the end of the tag");
        m_bit = uint64_t(byte) * 8;
    }
    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    void need(uint64_t count) const {
        if (m_bit + count > uint64_t(m_size) * 8)
            fail(std::string(m_whole) + " ends inside its " + m_part);
    }

    const uint8_t* m_data;
    size_t m_size;
    uint64_t m_bit = 0;
    const char* m_part = "body";
    const char* m_whole = "the tag";
    int m_movieVersion = 0;
};

// Strict reading: the part just read must end where its reader does.
void requireEnd(const BitReader& r, const char* after) {
    if (!r.atEnd()) fail(std::to_string(r.bytesLeft()) + " bytes are left over after its " + after);
}

QRectF readRect(BitReader& r) {
    const int n = static_cast<int>(r.bits(5));
    const double xmin = r.sbits(n), xmax = r.sbits(n), ymin = r.sbits(n), ymax = r.sbits(n);
    r.align();
    return QRectF(QPointF(xmin, ymin), QPointF(xmax, ymax));
}

// MATRIX: scale and rotate/skew in 16.16, translation in twips. The format's
// x' = sx*x + r1*y + tx, y' = r0*x + sy*y + ty is QTransform(sx, r0, r1, sy, tx, ty).
QTransform readMatrix(BitReader& r) {
    double sx = 1, sy = 1, r0 = 0, r1 = 0;
    if (r.flag()) {
        const int n = static_cast<int>(r.bits(5));
        sx = r.sbits(n) / 65536.0;
        sy = r.sbits(n) / 65536.0;
    }
    if (r.flag()) {
        const int n = static_cast<int>(r.bits(5));
        r0 = r.sbits(n) / 65536.0;
        r1 = r.sbits(n) / 65536.0;
    }
    const int n = static_cast<int>(r.bits(5));
    const double tx = r.sbits(n), ty = r.sbits(n);
    r.align();
    return QTransform(sx, r0, r1, sy, tx, ty);
}

ColorTransform readColorTransform(BitReader& r, bool withAlpha) {
    ColorTransform cx;
    const bool hasAdd = r.flag(), hasMult = r.flag();
    const int n = static_cast<int>(r.bits(4));
    const int channels = withAlpha ? 4 : 3;
    if (hasMult)
        for (int i = 0; i < channels; ++i)
            cx.mul[i] = r.sbits(n) / 256.0;
    if (hasAdd)
        for (int i = 0; i < channels; ++i)
            cx.add[i] = r.sbits(n);
    r.align();
    return cx;
}

QColor readColor(BitReader& r, bool alpha) {
    const int red = r.u8(), green = r.u8(), blue = r.u8();
    return QColor(red, green, blue, alpha ? r.u8() : 255);
}

// A style array's count: one byte, or 0xFF followed by a 16-bit count where
// the tag allows it. Each style takes at least one byte, so a count larger
// than what is left of the tag is damage, not a reason to allocate.
size_t readStyleCount(BitReader& r, bool extended) {
    size_t count = r.u8();
    if (count == 0xFF && extended) count = r.u16();
    if (count > r.bytesLeft())
        fail(std::string("its ") + r.currentPart() + " claim " + std::to_string(count) +
             " styles in " + std::to_string(r.bytesLeft()) + " bytes");
    return count;
}

void readGradient(BitReader& r, FillStyle& fill, bool alpha) {
    const uint8_t head = r.u8();
    const int count = head & 0x0F;
    for (int i = 0; i < count; ++i) {
        GradientStop stop;
        stop.ratio = r.u8() / 255.0;
        stop.color = readColor(r, alpha);
        fill.stops.push_back(stop);
    }
}

// Fill types 0x40 and 0x42 tile the picture, 0x41 and 0x43 clip it (its edge
// pixels extend beyond it). 0x42 and 0x43, which came with version 8, are
// never filtered; players draw the bitmap fills of older movies unfiltered
// too, so filtering is only for 0x40 and 0x41 from version 8 on.
void setBitmapKind(FillStyle& fill, uint8_t type, int movieVersion) {
    fill.kind = FillStyle::Kind::Bitmap;
    fill.repeat = (type & 1) == 0;
    fill.smooth = (type & 2) == 0 && movieVersion >= 8;
}

[[noreturn]] void badFillType(uint8_t type) {
    char text[64];
    std::snprintf(text, sizeof text, "unknown fill style type 0x%02X", type);
    fail(text);
}

FillStyle readFillStyle(BitReader& r, bool alpha) {
    FillStyle fill;
    const uint8_t type = r.u8();
    switch (type) {
    case 0x00:
        fill.color = readColor(r, alpha);
        break;
    case 0x10:
    case 0x12:
    case 0x13:
        fill.kind = type == 0x10   ? FillStyle::Kind::LinearGradient
                    : type == 0x12 ? FillStyle::Kind::RadialGradient
                                   : FillStyle::Kind::FocalGradient;
        fill.matrix = readMatrix(r);
        readGradient(r, fill, alpha);
        if (type == 0x13) fill.focal = r.s16() / 256.0;
        break;
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
        setBitmapKind(fill, type, r.movieVersion());
        fill.bitmap = r.u16();
        fill.matrix = readMatrix(r);
        break;
    default:
        badFillType(type);
    }
    return fill;
}

void readStyles(BitReader& r, int version, std::vector<FillStyle>& fills,
                std::vector<LineStyle>& lines) {
    const bool alpha = version >= 3;
    r.part("fill styles");
    const size_t fillCount = readStyleCount(r, version >= 2);
    for (size_t i = 0; i < fillCount; ++i)
        fills.push_back(readFillStyle(r, alpha));
    r.part("line styles");
    const size_t lineCount = readStyleCount(r, version >= 2);
    for (size_t i = 0; i < lineCount; ++i) {
        LineStyle line;
        line.width = r.u16();
        line.color = readColor(r, alpha);
        lines.push_back(line);
    }
}

// One shape record as stored; converted into edges afterwards.
struct Record {
    bool edge = false;
    // style change
    bool moveTo = false, hasFill0 = false, hasFill1 = false, hasLine = false, newStyles = false;
    int32_t moveX = 0, moveY = 0;
    uint32_t fill0 = 0, fill1 = 0, line = 0;
    size_t fillBase = 0, lineBase = 0; // the style arrays these indices refer to
    size_t fillCount = 0, lineCount = 0;
    // edge
    bool curved = false;
    int32_t cx = 0, cy = 0, ax = 0, ay = 0; // control and anchor deltas (straight: ax, ay)
};

// Reads SHAPE records up to and including the end record. With `styles`,
// records may bring new style arrays (DefineShape 2 and 3); they are appended
// to the lists and the indices of later records refer into them.
std::vector<Record> readRecords(BitReader& r, int fillBits, int lineBits, int version,
                                std::vector<FillStyle>* fills, std::vector<LineStyle>* lines) {
    std::vector<Record> records;
    size_t fillBase = 0, lineBase = 0;
    size_t fillCount = fills ? fills->size() : 1, lineCount = lines ? lines->size() : 0;
    for (;;) {
        r.part("shape records");
        Record rec;
        if (r.flag()) {
            rec.edge = true;
            if (r.flag()) {
                const int n = static_cast<int>(r.bits(4)) + 2;
                if (r.flag()) {
                    rec.ax = r.sbits(n);
                    rec.ay = r.sbits(n);
                } else if (r.flag()) {
                    rec.ay = r.sbits(n);
                } else {
                    rec.ax = r.sbits(n);
                }
            } else {
                rec.curved = true;
                const int n = static_cast<int>(r.bits(4)) + 2;
                rec.cx = r.sbits(n);
                rec.cy = r.sbits(n);
                rec.ax = r.sbits(n);
                rec.ay = r.sbits(n);
            }
            records.push_back(rec);
            continue;
        }
        const uint32_t flags = r.bits(5);
        if (flags == 0) break; // end record
        rec.newStyles = flags & 0x10;
        rec.hasLine = flags & 0x08;
        rec.hasFill1 = flags & 0x04;
        rec.hasFill0 = flags & 0x02;
        rec.moveTo = flags & 0x01;
        if (rec.moveTo) {
            const int n = static_cast<int>(r.bits(5));
            rec.moveX = r.sbits(n);
            rec.moveY = r.sbits(n);
        }
        if (rec.hasFill0) rec.fill0 = r.bits(fillBits);
        if (rec.hasFill1) rec.fill1 = r.bits(fillBits);
        if (rec.hasLine) rec.line = r.bits(lineBits);
        if (rec.newStyles) {
            if (!fills || version < 2) fail("a shape record brings new styles where none may be");
            fillBase = fills->size();
            lineBase = lines->size();
            readStyles(r, version, *fills, *lines);
            fillCount = fills->size() - fillBase;
            lineCount = lines->size() - lineBase;
            r.part("shape records");
            fillBits = static_cast<int>(r.bits(4));
            lineBits = static_cast<int>(r.bits(4));
        }
        if (rec.fill0 > fillCount || rec.fill1 > fillCount)
            fail("a shape record selects fill style " +
                 std::to_string(std::max(rec.fill0, rec.fill1)) + " of " +
                 std::to_string(fillCount));
        if (rec.line > lineCount)
            fail("a shape record selects line style " + std::to_string(rec.line) + " of " +
                 std::to_string(lineCount));
        rec.fillBase = fillBase;
        rec.lineBase = lineBase;
        rec.fillCount = fillCount;
        rec.lineCount = lineCount;
        records.push_back(rec);
    }
    return records;
}

// The pen and the selected styles while records are turned into edges.
struct Pen {
    double x = 0, y = 0;
    int fill0 = 0, fill1 = 0, line = 0;

    void apply(const Record& rec) {
        if (rec.newStyles) fill0 = fill1 = line = 0;
        if (rec.moveTo) {
            x = rec.moveX;
            y = rec.moveY;
        }
        const auto global = [](uint32_t local, size_t base) {
            return local == 0 ? 0 : static_cast<int>(base + local);
        };
        if (rec.hasFill0) fill0 = global(rec.fill0, rec.fillBase);
        if (rec.hasFill1) fill1 = global(rec.fill1, rec.fillBase);
        if (rec.hasLine) line = global(rec.line, rec.lineBase);
    }
    ShapeEdge edge(const Record& rec, bool asCurve) {
        ShapeEdge e;
        e.from = {x, y};
        e.fill0 = fill0;
        e.fill1 = fill1;
        e.line = line;
        if (rec.curved) {
            e.curved = true;
            e.control = {x + rec.cx, y + rec.cy};
            e.to = {e.control.x + rec.ax, e.control.y + rec.ay};
        } else {
            e.to = {x + rec.ax, y + rec.ay};
            e.curved = asCurve;
            e.control = {(e.from.x + e.to.x) / 2, (e.from.y + e.to.y) / 2};
        }
        x = e.to.x;
        y = e.to.y;
        return e;
    }
};

std::vector<ShapeEdge> toEdges(const std::vector<Record>& records) {
    std::vector<ShapeEdge> edges;
    Pen pen;
    for (const Record& rec : records) {
        if (rec.edge)
            edges.push_back(pen.edge(rec, false));
        else
            pen.apply(rec);
    }
    return edges;
}

std::vector<Record> readShape(BitReader& r, int version, std::vector<FillStyle>* fills,
                              std::vector<LineStyle>* lines) {
    r.part("shape records");
    const int fillBits = static_cast<int>(r.bits(4));
    const int lineBits = static_cast<int>(r.bits(4));
    return readRecords(r, fillBits, lineBits, version, fills, lines);
}

Shape readDefineShape(BitReader& r, int version) {
    Shape shape;
    r.part("bounds");
    shape.bounds = readRect(r);
    readStyles(r, version, shape.fills, shape.lines);
    shape.edges = toEdges(readShape(r, version, &shape.fills, &shape.lines));
    return shape;
}

MorphShape readDefineMorphShape(BitReader& r, bool strict) {
    MorphShape morph;
    r.part("bounds");
    readRect(r);
    readRect(r);
    r.part("end edge offset");
    const uint32_t offset = r.u32();
    const size_t endEdgesAt = r.bytePos();
    if (offset > r.size() - endEdgesAt)
        fail("its end edge offset " + std::to_string(offset) + " lies beyond the end of the tag");

    r.part("fill styles");
    const size_t fillCount = readStyleCount(r, true);
    for (size_t i = 0; i < fillCount; ++i) {
        FillStyle start, end;
        const uint8_t type = r.u8();
        switch (type) {
        case 0x00:
            start.color = readColor(r, true);
            end.color = readColor(r, true);
            break;
        case 0x10:
        case 0x12:
        case 0x13: {
            start.kind = end.kind = type == 0x10   ? FillStyle::Kind::LinearGradient
                                    : type == 0x12 ? FillStyle::Kind::RadialGradient
                                                   : FillStyle::Kind::FocalGradient;
            start.matrix = readMatrix(r);
            end.matrix = readMatrix(r);
            const int count = r.u8() & 0x0F;
            for (int k = 0; k < count; ++k) {
                GradientStop s, e;
                s.ratio = r.u8() / 255.0;
                s.color = readColor(r, true);
                e.ratio = r.u8() / 255.0;
                e.color = readColor(r, true);
                start.stops.push_back(s);
                end.stops.push_back(e);
            }
            if (type == 0x13) {
                start.focal = r.s16() / 256.0;
                end.focal = r.s16() / 256.0;
            }
            break;
        }
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            setBitmapKind(start, type, r.movieVersion());
            setBitmapKind(end, type, r.movieVersion());
            start.bitmap = end.bitmap = r.u16();
            start.matrix = readMatrix(r);
            end.matrix = readMatrix(r);
            break;
        default:
            badFillType(type);
        }
        morph.startFills.push_back(start);
        morph.endFills.push_back(end);
    }
    r.part("line styles");
    const size_t lineCount = readStyleCount(r, true);
    for (size_t i = 0; i < lineCount; ++i) {
        LineStyle start, end;
        start.width = r.u16();
        end.width = r.u16();
        start.color = readColor(r, true);
        end.color = readColor(r, true);
        morph.startLines.push_back(start);
        morph.endLines.push_back(end);
    }
    std::vector<FillStyle> fills = morph.startFills;
    std::vector<LineStyle> lines = morph.startLines;
    const std::vector<Record> start = readShape(r, 1, &fills, &lines);
    if (strict && r.bytePos() != endEdgesAt + offset)
        fail("its start edges end at byte " + std::to_string(r.bytePos()) +
             " of the tag, its end edge offset points at byte " +
             std::to_string(endEdgesAt + offset));
    r.part("end edges");
    r.seek(endEdgesAt + offset);
    const std::vector<Record> end = readShape(r, 1, nullptr, nullptr);

    // Pair the two lists edge by edge; the end list's style change records
    // only move its pen.
    Pen startPen, endPen;
    size_t e = 0;
    for (const Record& s : start) {
        if (!s.edge) {
            startPen.apply(s);
            if (e < end.size() && !end[e].edge) endPen.apply(end[e++]);
            continue;
        }
        while (e < end.size() && !end[e].edge)
            endPen.apply(end[e++]);
        if (e == end.size()) fail("its end shape has fewer edges than its start shape");
        const bool curve = s.curved || end[e].curved;
        morph.startEdges.push_back(startPen.edge(s, curve));
        ShapeEdge endEdge = endPen.edge(end[e++], curve);
        endEdge.fill0 = morph.startEdges.back().fill0;
        endEdge.fill1 = morph.startEdges.back().fill1;
        endEdge.line = morph.startEdges.back().line;
        morph.endEdges.push_back(endEdge);
    }
    if (strict && std::any_of(end.begin() + static_cast<std::ptrdiff_t>(e), end.end(),
                              [](const Record& rec) { return rec.edge; }))
        fail("its end shape has more edges than its start shape");
    return morph;
}

Font readDefineFont(BitReader& r, const uint8_t* body, size_t size, bool strict) {
    Font font;
    if (r.atEnd()) return font;
    r.part("glyph offsets");
    const size_t tableAt = r.bytePos();
    const size_t tableSize = r.u16();
    if (tableSize % 2 != 0 || tableSize == 0 || tableSize > size - tableAt)
        fail("its glyph offset table of " + std::to_string(tableSize) +
             " bytes does not fit the tag");
    const size_t count = tableSize / 2;
    std::vector<size_t> offsets{tableSize};
    for (size_t i = 1; i < count; ++i)
        offsets.push_back(r.u16());
    offsets.push_back(size - tableAt);
    for (size_t i = 0; i < count; ++i) {
        if (offsets[i + 1] < offsets[i] || offsets[i + 1] > size - tableAt)
            fail("the offset of glyph " + std::to_string(i + 1) + " is out of order");
        BitReader glyph(body + tableAt + offsets[i], offsets[i + 1] - offsets[i]);
        std::vector<FillStyle> oneFill(1);
        std::vector<LineStyle> noLines;
        font.glyphs.push_back(toEdges(readShape(glyph, 1, &oneFill, &noLines)));
        if (strict && !glyph.atEnd())
            fail(std::to_string(glyph.bytesLeft()) + " bytes are left over after glyph " +
                 std::to_string(i + 1));
    }
    r.seek(size);
    return font;
}

// The text's records in the older layout (a style change record and a glyph
// record are two records, packed bit after bit) or in the combined layout of
// later versions (each record may change the style and then holds its glyphs,
// aligned to a byte). Returns false when the records do not parse cleanly in
// the layout asked for, with the reason in *why. `strict`: every record of
// the older layout starts on a byte boundary too, as players read it, and
// glyphs are drawn from a font the movie defines.
bool readTextRecords(BitReader r, bool combined, bool strict, int glyphBits, int advanceBits,
                     bool alpha, const Movie& movie, std::vector<TextRun>& runs, std::string* why) {
    runs.clear();
    TextRun style;
    double x = 0;
    const auto glyphCountOf = [&](uint16_t fontId) -> long {
        const auto it = movie.characters.find(fontId);
        if (it == movie.characters.end() || !std::holds_alternative<Font>(it->second)) return -1;
        return static_cast<long>(std::get<Font>(it->second).glyphs.size());
    };
    const auto readGlyphs = [&](int count) {
        TextRun run = style;
        const long available = glyphCountOf(run.font);
        if (strict && available < 0) {
            *why = "glyphs of character " + std::to_string(run.font) +
                   ", which is no font, at byte " + std::to_string(r.bytePos());
            return false;
        }
        for (int i = 0; i < count; ++i) {
            TextGlyph g;
            g.index = r.bits(glyphBits);
            g.x = x;
            x += r.sbits(advanceBits);
            if (available >= 0 && g.index >= static_cast<unsigned long>(available)) {
                *why = "glyph " + std::to_string(g.index) + " of font " + std::to_string(run.font) +
                       " at byte " + std::to_string(r.bytePos()) + ", which has " +
                       std::to_string(available) + " glyphs";
                return false;
            }
            run.glyphs.push_back(g);
        }
        runs.push_back(std::move(run));
        return true;
    };
    try {
        for (;;) {
            if (combined || strict) r.align();
            const bool styleRecord = r.flag();
            if (!styleRecord) {
                const int count = static_cast<int>(r.bits(7));
                if (count == 0) break; // end of records
                if (combined) {
                    *why = "a glyph record without a style at byte " + std::to_string(r.bytePos());
                    return false;
                }
                if (!readGlyphs(count)) return false;
                continue;
            }
            const uint32_t flags = r.bits(7);
            if (flags & 0x70) {
                *why =
                    "a style record with reserved bits set at byte " + std::to_string(r.bytePos());
                return false;
            }
            const auto word = [&] { return combined ? r.u16() : r.unalignedU16(); };
            const auto byte = [&] { return static_cast<int>(combined ? r.u8() : r.bits(8)); };
            if (flags & 0x08) style.font = word();
            if (flags & 0x04) {
                const int red = byte(), green = byte(), blue = byte();
                style.color = QColor(red, green, blue, alpha ? byte() : 255);
            }
            if (flags & 0x01) x = static_cast<int16_t>(word());
            if (flags & 0x02) style.y = static_cast<int16_t>(word());
            if (flags & 0x08) style.height = word();
            if (combined) {
                const int count = r.u8();
                if (!readGlyphs(count)) return false;
            }
        }
        r.align();
        if (!r.atEnd()) {
            *why = std::to_string(r.bytesLeft()) + " bytes are left over after the end of records";
            return false;
        }
        return true;
    } catch (const ReadError& e) {
        *why = e.what();
        return false;
    }
}

Text readDefineText(BitReader& r, bool alpha, int version, const Movie& movie, bool strict) {
    Text text;
    r.part("bounds");
    text.bounds = readRect(r);
    r.part("matrix");
    text.matrix = readMatrix(r);
    r.part("text records");
    const int glyphBits = r.u8(), advanceBits = r.u8();
    if (glyphBits > 32 || advanceBits > 32)
        fail("its glyph fields are " + std::to_string(glyphBits) + " and " +
             std::to_string(advanceBits) + " bits wide");
    // Movies up to version 6 were written in the older layout, later ones in
    // the combined one; a text that does not parse in the expected layout is
    // tried in the other.
    // Strict reading tries only the layout of the version, with every record
    // on a byte boundary, and keeps why the records do not parse.
    const bool combinedFirst = version >= 7;
    std::string why, otherWhy;
    if (readTextRecords(r, combinedFirst, strict, glyphBits, advanceBits, alpha, movie, text.runs,
                        &why)) {
        r.seek(r.size());
        return text;
    }
    if (strict)
        fail(std::string("its text records in the ") + (combinedFirst ? "combined" : "older") +
             " layout are damaged: " + why);
    if (readTextRecords(r, !combinedFirst, false, glyphBits, advanceBits, alpha, movie, text.runs,
                        &otherWhy)) {
        r.seek(r.size());
        return text;
    }
    fail("its text records are damaged");
}

// DefineFontInfo: the codes of the font's glyphs, one byte each or, with
// the wide-codes flag, two.
void readDefineFontInfo(BitReader& r, Movie& movie) {
    r.part("font ID");
    const uint16_t fontId = r.u16();
    const auto it = movie.characters.find(fontId);
    if (it == movie.characters.end() || !std::holds_alternative<Font>(it->second))
        fail("it describes character " + std::to_string(fontId) + ", which is no font");
    Font& font = std::get<Font>(it->second);
    r.part("font name");
    const size_t nameLength = r.u8();
    if (nameLength > r.bytesLeft()) fail("its font name runs past the end of the tag");
    r.seek(r.bytePos() + nameLength);
    r.part("flags");
    const uint8_t flags = r.u8();
    const bool wide = flags & 0x01;
    r.part("code table");
    font.codes.clear();
    while (!r.atEnd())
        font.codes.push_back(wide ? r.u16() : r.u8());
    if (font.codes.size() != font.glyphs.size())
        fail("it has " + std::to_string(font.codes.size()) + " codes for " +
             std::to_string(font.glyphs.size()) + " glyphs");
}

Bitmap readJpeg(const uint8_t* data, size_t size, std::string* warning) {
    // Writers put an end-of-image/start-of-image pair in front of the JPEG
    // stream (FF D9 FF D8, or FF D8 FF D9 before the real FF D8); the decoder
    // wants the plain stream.
    if (size >= 4 && data[0] == 0xFF && data[1] == 0xD9 && data[2] == 0xFF && data[3] == 0xD8) {
        data += 4;
        size -= 4;
    } else if (size >= 6 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF &&
               data[3] == 0xD9 && data[4] == 0xFF && data[5] == 0xD8) {
        data += 4;
        size -= 4;
    }
    Bitmap bitmap;
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    const QSize dims = reader.size();
    // A picture larger than what its bytes can plausibly hold (a JPEG packs
    // a flat colour into very few bytes, so the bound is generous) is not
    // decoded: its header lies.
    const uint64_t pixels = dims.isValid() ? uint64_t(dims.width()) * uint64_t(dims.height()) : 0;
    const uint64_t limit =
        std::min<uint64_t>(uint64_t(1) << 24, std::max<uint64_t>(uint64_t(1) << 20, size * 4096));
    if (!dims.isValid() || pixels == 0) {
        *warning = "the JPEG data cannot be read";
        return bitmap;
    }
    if (pixels > limit) {
        *warning = "the JPEG picture claims " + std::to_string(dims.width()) + " x " +
                   std::to_string(dims.height()) + " pixels in " + std::to_string(size) + " bytes";
        return bitmap;
    }
    // Decoded when first drawn (see Bitmap).
    bitmap.jpeg = std::move(bytes);
    bitmap.size = dims;
    return bitmap;
}

ControlOp readPlaceObject(BitReader& r) {
    ControlOp op;
    op.hasCharacter = true;
    r.part("character and depth");
    op.character = r.u16();
    op.depth = r.u16();
    op.hasMatrix = true;
    r.part("matrix");
    op.matrix = readMatrix(r);
    if (!r.atEnd()) {
        r.part("colour transform");
        op.hasColor = true;
        op.color = readColorTransform(r, false);
    }
    return op;
}

ControlOp readPlaceObject2(BitReader& r, bool* clipLayer) {
    ControlOp op;
    r.part("flags");
    const uint8_t flags = r.u8();
    op.move = flags & 0x01;
    op.hasCharacter = flags & 0x02;
    op.hasMatrix = flags & 0x04;
    op.hasColor = flags & 0x08;
    op.hasRatio = flags & 0x10;
    r.part("depth");
    op.depth = r.u16();
    if (op.hasCharacter) {
        r.part("character");
        op.character = r.u16();
    }
    if (op.hasMatrix) {
        r.part("matrix");
        op.matrix = readMatrix(r);
    }
    if (op.hasColor) {
        r.part("colour transform");
        op.color = readColorTransform(r, true);
    }
    if (op.hasRatio) {
        r.part("ratio");
        op.ratio = r.u16();
    }
    if (flags & 0x20) {
        r.part("name");
        while (r.u8() != 0) {
        }
    }
    *clipLayer = flags & 0x40;
    return op;
}

void readHeader(const std::vector<uint8_t>& bytes, Movie& movie, size_t* tagsAt,
                uint32_t* fileLength, uint16_t* frameCount) {
    if (bytes.size() >= 3 && bytes[0] == 'C' && bytes[1] == 'W' && bytes[2] == 'S')
        fail("the movie is compressed (signature CWS); only uncompressed movies can be read");
    if (bytes.size() < 3 || bytes[0] != 'F' || bytes[1] != 'W' || bytes[2] != 'S')
        fail("the file is not an SWF movie (no FWS signature)");
    BitReader r(bytes.data(), bytes.size());
    r.whole("the file");
    r.part("header");
    r.seek(3);
    movie.version = r.u8();
    *fileLength = r.u32(); // lenient reading goes up to the real end of the file
    movie.frame = readRect(r);
    const uint16_t rate = r.u16();
    movie.info.frameRate = rate / 256.0;
    *frameCount = r.u16(); // lenient reading counts the ShowFrame tags instead
    *tagsAt = r.bytePos();
    if (movie.frame.width() <= 0 || movie.frame.height() <= 0)
        fail("the stage is empty (" + std::to_string(static_cast<long>(movie.frame.width())) +
             " x " + std::to_string(static_cast<long>(movie.frame.height())) + " twips)");
}

// What the decoded pictures of one movie may take together.
constexpr uint64_t kPictureBytesLimit = uint64_t(1) << 30;

std::string offsetText(size_t offset) {
    return std::to_string(offset);
}

} // namespace

std::string tagName(int code) {
    if (const char* name = swf::TagCodeName(code)) return name;
    return "tag " + std::to_string(code);
}

bool readSwf(const std::vector<uint8_t>& bytes, Movie* movie, std::string* error, ReadMode mode) {
    *movie = Movie();
    const bool strict = mode == ReadMode::Strict;
    size_t pos = 0;
    uint32_t fileLength = 0;
    uint16_t frameCount = 0;
    try {
        readHeader(bytes, *movie, &pos, &fileLength, &frameCount);
        if (strict && fileLength != bytes.size())
            fail("it gives the file length as " + std::to_string(fileLength) +
                 " bytes, the file has " + std::to_string(bytes.size()));
    } catch (const ReadError& e) {
        if (error) *error = std::string("header at offset 0: ") + e.what();
        return false;
    }
    movie->info.width = std::max(1, static_cast<int>(swf::FromTwips(movie->frame.width()) + 0.5));
    movie->info.height = std::max(1, static_cast<int>(swf::FromTwips(movie->frame.height()) + 0.5));

    std::vector<ControlOp> current;
    bool warnedClip = false;
    bool ended = false;
    uint64_t pictureBytes = 0;
    while (pos < bytes.size()) {
        const size_t tagAt = pos;
        int code = -1;
        try {
            if (bytes.size() - pos < 2) fail("the file ends inside a tag header");
            const uint16_t head = static_cast<uint16_t>(bytes[pos] | (bytes[pos + 1] << 8));
            code = head >> 6;
            size_t length = head & 0x3F;
            pos += 2;
            if (length == 0x3F) {
                if (bytes.size() - pos < 4) fail("the file ends inside the tag header");
                length = uint32_t(bytes[pos]) | uint32_t(bytes[pos + 1]) << 8 |
                         uint32_t(bytes[pos + 2]) << 16 | uint32_t(bytes[pos + 3]) << 24;
                pos += 4;
            }
            if (length > bytes.size() - pos)
                fail("its length of " + std::to_string(length) +
                     " bytes runs past the end of "
                     "the file (" +
                     std::to_string(bytes.size() - pos) + " bytes left)");
            const uint8_t* body = bytes.data() + pos;
            if (strict) movie->tags.push_back({code, tagAt, pos, length, 0});
            pos += length;
            if (code == End) {
                if (strict && length != 0) fail(std::to_string(length) + " bytes are left over");
                if (strict && pos != bytes.size())
                    fail(std::to_string(bytes.size() - pos) + " bytes follow the End tag");
                ended = true;
                break;
            }
            BitReader r(body, length);
            r.setMovieVersion(movie->version);
            const auto define = [&](Character character) {
                BitReader idReader(body, length);
                idReader.part("character ID");
                const uint16_t id = idReader.u16();
                if (strict) movie->tags.back().character = id;
                if (!movie->characters.emplace(id, std::move(character)).second)
                    movie->warnings.push_back(tagName(code) + " at offset " + offsetText(tagAt) +
                                              ": character " + std::to_string(id) +
                                              " is defined again; the first one is kept");
            };
            switch (code) {
            case ShowFrame:
                movie->frames.push_back(std::move(current));
                current.clear();
                break;
            case SetBackgroundColor:
                r.part("colour");
                movie->info.background = readColor(r, false);
                break;
            case DefineShape:
            case DefineShape2:
            case DefineShape3: {
                r.part("character ID");
                r.u16();
                const int version = code == DefineShape ? 1 : code == DefineShape2 ? 2 : 3;
                define(readDefineShape(r, version));
                break;
            }
            case DefineMorphShape:
                r.part("character ID");
                r.u16();
                define(readDefineMorphShape(r, strict));
                break;
            case DefineFont:
                r.part("character ID");
                r.u16();
                define(readDefineFont(r, body, length, strict));
                break;
            case DefineText:
            case DefineText2:
                r.part("character ID");
                r.u16();
                define(readDefineText(r, code == DefineText2, movie->version, *movie, strict));
                break;
            case DefineBitsJPEG2: {
                r.part("character ID");
                const uint16_t id = r.u16();
                std::string warning;
                Bitmap bitmap = readJpeg(body + 2, length - 2, &warning);
                if (!warning.empty())
                    movie->warnings.push_back(tagName(code) + " at offset " + offsetText(tagAt) +
                                              ": " + warning);
                // The pictures of one movie, decoded, stay within a total: a
                // few bytes of JPEG can claim megabytes of pixels.
                if (!movie->characters.count(id)) {
                    pictureBytes += uint64_t(std::max(bitmap.size.width(), 0)) *
                                    uint64_t(std::max(bitmap.size.height(), 0)) * 4;
                    if (pictureBytes > kPictureBytesLimit)
                        fail("the movie's pictures would take " +
                             std::to_string(pictureBytes >> 20) + " MB decoded, more than the " +
                             std::to_string(kPictureBytesLimit >> 20) + " MB a movie may use");
                }
                define(std::move(bitmap));
                r.seek(length);
                break;
            }
            case PlaceObject:
                current.push_back(readPlaceObject(r));
                break;
            case PlaceObject2: {
                bool clip = false;
                ControlOp op = readPlaceObject2(r, &clip);
                if (clip) {
                    // A clip layer masks the depths above it; it is not
                    // drawn itself, and the masking is left out.
                    if (!warnedClip)
                        movie->warnings.push_back(tagName(code) + " at offset " +
                                                  offsetText(tagAt) +
                                                  ": clip layers are not drawn");
                    warnedClip = true;
                }
                op.clipLayer = clip;
                current.push_back(op);
                break;
            }
            case RemoveObject:
            case RemoveObject2: {
                ControlOp op;
                op.kind = ControlOp::Kind::Remove;
                r.part("depth");
                if (code == RemoveObject) r.u16();
                op.depth = r.u16();
                current.push_back(op);
                break;
            }
            case DefineFontInfo:
                if (strict)
                    readDefineFontInfo(r, *movie);
                else
                    r.seek(length); // the glyph outlines are what is drawn
                break;
            default:
                if (strict) fail("this reader does not know the tag");
                r.seek(length); // other tags do not change the picture
                break;
            }
            if (strict) requireEnd(r, r.currentPart());
        } catch (const ReadError& e) {
            if (error)
                *error = (code < 0 ? std::string("tag") : tagName(code)) + " at offset " +
                         offsetText(tagAt) + ": " + e.what();
            return false;
        }
    }
    if (strict && !ended) {
        if (error) *error = "the movie has no End tag";
        return false;
    }
    if (strict && frameCount != movie->frames.size()) {
        if (error)
            *error = "header at offset 0: it gives " + std::to_string(frameCount) +
                     " frames, the movie has " + std::to_string(movie->frames.size());
        return false;
    }
    // Control tags after the last ShowFrame never reach the screen; a movie
    // without any ShowFrame still shows its one frame.
    if (movie->frames.empty()) movie->frames.push_back(std::move(current));
    movie->info.frameCount = static_cast<int>(movie->frames.size());
    return true;
}

} // namespace player
