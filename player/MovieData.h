#pragma once
// What the reader makes of a movie: its characters (shapes, morph shapes,
// fonts, texts, bitmaps) and, frame by frame, the control tags that change
// the display list. Coordinates are in twips (1/20 pixel).

#include "player/MovieInfo.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QTransform>

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace player {

// The format's colour transform: channel * mul + add, each channel clamped to
// 0..255. mul is the 8.8 term divided by 256.
struct ColorTransform {
    double mul[4] = {1, 1, 1, 1}; // red, green, blue, alpha
    double add[4] = {0, 0, 0, 0};

    bool isIdentity() const;
    // Only the alpha multiplier differs from the identity.
    bool onlyAlpha() const;
    QColor apply(const QColor& c) const;
    bool operator==(const ColorTransform& o) const;
};

struct Point {
    double x = 0, y = 0;
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
};

// One edge with the styles on its two sides and its line style. Style
// indices are 1-based into the shape's lists; 0 is none.
struct ShapeEdge {
    Point from, control, to;
    bool curved = false;
    int fill0 = 0, fill1 = 0, line = 0;
};

struct GradientStop {
    double ratio = 0; // 0..1
    QColor color;
};

struct FillStyle {
    enum class Kind { Solid, LinearGradient, RadialGradient, FocalGradient, Bitmap };
    Kind kind = Kind::Solid;
    QColor color;
    QTransform matrix; // gradient square or bitmap pixels -> shape twips
    std::vector<GradientStop> stops;
    double focal = 0;
    uint16_t bitmap = 0;
    bool repeat = true; // bitmap fill tiles; false: clipped (edge pixels extend)
    bool smooth = true; // bitmap fill filtered
};

struct LineStyle {
    double width = 0; // twips
    QColor color;
};

struct Shape {
    QRectF bounds;
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
    std::vector<ShapeEdge> edges;
};

// Start and end state of every style and edge; the edges are paired one to
// one (a straight edge facing a curved one is read as a curve).
struct MorphShape {
    std::vector<FillStyle> startFills, endFills;
    std::vector<LineStyle> startLines, endLines;
    std::vector<ShapeEdge> startEdges, endEdges;
    // The shape at ratio/65535 between start and end.
    Shape at(uint16_t ratio) const;
};

// Glyph outlines on the 1024-unit square, drawn with fill style 1.
struct Font {
    std::vector<std::vector<ShapeEdge>> glyphs;
    // The character codes of its DefineFontInfo, in glyph order (strict
    // reading only).
    std::vector<uint16_t> codes;
};

struct TextGlyph {
    uint32_t index = 0;
    double x = 0; // pen position in text space, twips
};

struct TextRun {
    uint16_t font = 0;
    double height = 0; // twips
    double y = 0;
    QColor color;
    std::vector<TextGlyph> glyphs;
};

struct Text {
    QRectF bounds;
    QTransform matrix;
    std::vector<TextRun> runs;
};

// A picture is kept as its JPEG stream and decoded when it is first drawn, so
// that pictures nothing shows cost only their bytes.
struct Bitmap {
    QByteArray jpeg; // the plain JPEG stream; empty when its header cannot be read
    QSize size;      // pixels, from the header
};

using Character = std::variant<Shape, MorphShape, Font, Text, Bitmap>;

// One control tag of a frame.
struct ControlOp {
    enum class Kind { Place, Remove };
    Kind kind = Kind::Place;
    uint16_t depth = 0;
    bool move = false;      // PlaceObject2 move flag (PlaceObject: false)
    bool clipLayer = false; // a mask for the depths above it: not drawn
    bool hasCharacter = false, hasMatrix = false, hasColor = false, hasRatio = false;
    uint16_t character = 0;
    uint16_t ratio = 0;
    QTransform matrix;
    ColorTransform color;
};

// Where a tag lies in the file (strict reading only).
struct TagEntry {
    int code = 0;
    size_t offset = 0; // of the tag's header
    size_t bodyOffset = 0;
    size_t bodyLength = 0;
    uint16_t character = 0; // the ID a definition tag defines
};

struct Movie {
    int version = 0;
    QRectF frame; // twips
    MovieInfo info;
    std::unordered_map<uint16_t, Character> characters;
    // frames[k]: the control tags up to and including the k-th ShowFrame.
    std::vector<std::vector<ControlOp>> frames;
    std::vector<std::string> warnings;
    std::vector<TagEntry> tags; // strict reading: every tag up to End, in order
};

} // namespace player
