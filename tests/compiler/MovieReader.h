#pragma once
// Reads back what the compiler wrote: the movie header, the tag sequence and
// the fields of the tags the tests look at, decoded bit by bit as a player
// would.

#include "../swf/SwfTestUtil.h"
#include "swf/TagCode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace moviereader {

using enum swf::TagCode;

struct Tag {
    int code = 0;
    Bytes body;
};

struct Matrix {
    bool hasScale = false, hasRotate = false;
    int32_t scaleX = 0, scaleY = 0, rotate0 = 0, rotate1 = 0, tx = 0, ty = 0;
};

struct Rect {
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
};

struct Place {
    bool move = false, hasCharacter = false, hasMatrix = false, hasRatio = false;
    uint16_t depth = 0, character = 0, ratio = 0;
    Matrix matrix;
};

// One shape record; kind: 'c' change, 's' straight, 'q' curved, 'e' end.
struct ShapeRec {
    char kind = 'e';
    bool moveTo = false, hasFill0 = false, hasFill1 = false, hasLine = false;
    int32_t x = 0, y = 0;   // move-to position or edge delta (anchor delta for curves)
    int32_t cx = 0, cy = 0; // control delta of a curve
    uint32_t fill0 = 0, fill1 = 0, line = 0;
};

struct Movie {
    int version = 0;
    uint32_t fileLength = 0;
    Rect frame;
    int frameRate = 0; // whole frames per second
    int frameCount = 0;
    std::vector<Tag> tags;

    std::vector<int> codes() const;
    int count(int code) const;
    // Tags between ShowFrames: frames[k] holds the tags of frame k.
    std::vector<std::vector<const Tag*>> frames() const;
};

// Parses a whole file; throws std::runtime_error on any inconsistency.
Movie ReadMovie(const Bytes& file);
Movie ReadMovieFile(const std::string& path);

Place ReadPlace(const Tag& t);
uint16_t ReadRemoveDepth(const Tag& t);
uint16_t CharacterID(const Tag& t);

struct RGBA {
    int r = 0, g = 0, b = 0, a = 255;
};
struct MorphShape {
    uint16_t id = 0;
    Rect startBounds, endBounds;
    std::vector<std::pair<RGBA, RGBA>> fills;
    std::vector<ShapeRec> start, end;
};
MorphShape ReadMorphShape(const Tag& t);

struct TextRecordInfo {
    uint16_t fontID = 0;
    uint16_t height = 0;
    RGBA colour;
    std::vector<std::pair<uint32_t, int32_t>> glyphs; // index, advance
};
struct Text {
    uint16_t id = 0;
    Rect bounds;
    Matrix matrix;
    std::vector<TextRecordInfo> records;
};
Text ReadText(const Tag& t);

// DefineFont: the glyph shapes.
std::vector<std::vector<ShapeRec>> ReadFontGlyphs(const Tag& t);

// DefineShape: the records after the style arrays (fill and line bits decoded).
std::vector<ShapeRec> ReadShapeRecords(const Tag& t);

std::vector<ShapeRec> ReadShapeRecords(BitReader& r, int fillBits, int lineBits);

} // namespace moviereader
