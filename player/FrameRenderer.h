#pragma once
// Draws a display list into a QPainter, anti-aliased. A shape's fill style is
// drawn over the region its edges enclose on that style's side: each edge
// adds itself, forward where the style is its fill style 1 and backward where
// it is fill style 0, the edges are chained into closed outlines and filled
// by non-zero winding. An edge with the same style on both sides so cancels
// out and fills nothing. Outlines built once are kept per character.

#include "player/CoverageFill.h"
#include "player/MovieData.h"
#include "player/RenderLimits.h"
#include "player/Timeline.h"

#include <QImage>
#include <QPainterPath>
#include <QRect>

#include <functional>
#include <map>
#include <unordered_map>
#include <vector>

class QPainter;

namespace player {

// The outlines of one shape: one path per fill style and per line style,
// index i for style i + 1, in shape twips.
struct ShapePaths {
    std::vector<QPainterPath> fills;
    std::vector<QPainterPath> lines;
};

// Builds the outlines of a shape's edges (see above).
ShapePaths buildPaths(const std::vector<ShapeEdge>& edges, size_t fillCount, size_t lineCount);

class FrameRenderer {
public:
    explicit FrameRenderer(const Movie& movie);

    // Draws the stage with its background at `scale` at the painter's origin.
    // Returns false when the frame was cut short by `limits`.
    bool render(const DisplayList& list, QPainter& painter, double scale,
                const RenderLimits& limits = RenderLimits());

private:
    struct Morphed {
        Shape shape;
        ShapePaths paths;
    };

    void drawShape(const Shape& shape, const ShapePaths& paths, const ColorTransform& cx,
                   QPainter& painter);
    void drawText(const Text& text, const ColorTransform& cx, const QTransform& toDevice,
                  QPainter& painter);
    void fillBitmap(const FillStyle& fill, const QPainterPath& path, const ColorTransform& cx,
                    QPainter& painter);
    const ShapePaths& shapePaths(uint16_t id, const Shape& shape);
    const Morphed& morphed(uint16_t id, const MorphShape& morph, uint16_t ratio);
    // A font's glyph outlines, each built on first use; null when the
    // character is not a font.
    struct GlyphSlot {
        bool built = false;
        QPainterPath path;
        QRectF bounds; // of the path's points
    };
    std::vector<GlyphSlot>* fontGlyphs(uint16_t font);
    // Fills `path` with `color` straight into the picture (see render) when
    // it can: false when it is left to the painter.
    bool fillDirect(const QPainterPath& path, const QRectF& bounds, const QTransform& toDevice,
                    const QColor& color);
    // The decoded picture of a bitmap character (decoded on first use); null
    // when there is none or it cannot be decoded.
    const QImage* bitmapImage(uint16_t id);

    // The estimated work of filling `path` (a stroke `margin` device pixels
    // wide) and of covering `device` pixels.
    double pathWork(const QPainterPath& path, const QTransform& toDevice, double margin) const;
    double areaWork(const QRectF& device) const;
    // Takes `work` from the frame's budget; false (and the frame is cut) when
    // the budget, the time or the stop request says so.
    bool afford(double work);

    const Movie& m_movie;
    RenderLimits m_limits;
    double m_workLeft = 0, m_started = 0, m_workSinceClock = 0;
    bool m_cut = false;
    unsigned m_calls = 0;
    std::unordered_map<uint16_t, ShapePaths> m_shapes;
    std::map<std::pair<uint16_t, uint16_t>, Morphed> m_morphs;
    std::unordered_map<uint16_t, std::vector<GlyphSlot>> m_glyphs; // by font
    std::unordered_map<uint16_t, QImage> m_bitmaps;
    QRect m_deviceClip; // the device pixels the current frame may draw on
    // The picture the painter draws on, when glyphs may be filled straight
    // into it (see drawText), and the pixels where that needs no clipping.
    QImage* m_direct = nullptr;
    CoverageFill m_coverage;
    QRect m_directArea;
};

} // namespace player
