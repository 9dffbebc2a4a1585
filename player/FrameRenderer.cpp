#include "player/FrameRenderer.h"

#include <QBrush>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace player {
namespace {

// A directed piece of an outline.
struct Segment {
    Point from, control, to;
    bool curved = false;
};

struct PointHash {
    size_t operator()(const Point& p) const {
        uint64_t a, b;
        std::memcpy(&a, &p.x, sizeof a);
        std::memcpy(&b, &p.y, sizeof b);
        return std::hash<uint64_t>()(a * 0x9E3779B97F4A7C15ull ^ b);
    }
};

// Chains the segments into closed outlines (where the shape is sound; a
// damaged shape leaves open chains, which the fill closes with a line).
QPainterPath chain(const std::vector<Segment>& segments) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    std::unordered_multimap<Point, size_t, PointHash> starts;
    starts.reserve(segments.size());
    for (size_t i = 0; i < segments.size(); ++i)
        starts.emplace(segments[i].from, i);
    std::vector<bool> used(segments.size(), false);
    const auto take = [&](size_t i) {
        used[i] = true;
        auto range = starts.equal_range(segments[i].from);
        for (auto it = range.first; it != range.second; ++it)
            if (it->second == i) {
                starts.erase(it);
                break;
            }
    };
    for (size_t first = 0; first < segments.size(); ++first) {
        if (used[first]) continue;
        const Point start = segments[first].from;
        path.moveTo(start.x, start.y);
        size_t i = first;
        for (;;) {
            take(i);
            const Segment& s = segments[i];
            if (s.curved)
                path.quadTo(s.control.x, s.control.y, s.to.x, s.to.y);
            else
                path.lineTo(s.to.x, s.to.y);
            if (s.to == start) break;
            const auto next = starts.find(s.to);
            if (next == starts.end()) break;
            i = next->second;
        }
        path.closeSubpath();
    }
    return path;
}

double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

QColor lerp(const QColor& a, const QColor& b, double t) {
    return QColor(static_cast<int>(std::lround(lerp(a.red(), b.red(), t))),
                  static_cast<int>(std::lround(lerp(a.green(), b.green(), t))),
                  static_cast<int>(std::lround(lerp(a.blue(), b.blue(), t))),
                  static_cast<int>(std::lround(lerp(a.alpha(), b.alpha(), t))));
}

QTransform lerp(const QTransform& a, const QTransform& b, double t) {
    return QTransform(lerp(a.m11(), b.m11(), t), lerp(a.m12(), b.m12(), t),
                      lerp(a.m21(), b.m21(), t), lerp(a.m22(), b.m22(), t), lerp(a.dx(), b.dx(), t),
                      lerp(a.dy(), b.dy(), t));
}

Point lerp(const Point& a, const Point& b, double t) {
    return {lerp(a.x, b.x, t), lerp(a.y, b.y, t)};
}

QBrush gradientBrush(const FillStyle& fill, const ColorTransform& cx) {
    QGradient gradient;
    // Gradients are defined on a square from -16384 to 16384 twips, mapped
    // into the shape by the fill's matrix.
    if (fill.kind == FillStyle::Kind::LinearGradient)
        gradient = QLinearGradient(-16384, 0, 16384, 0);
    else if (fill.kind == FillStyle::Kind::RadialGradient)
        gradient = QRadialGradient(0, 0, 16384);
    else
        gradient = QRadialGradient(QPointF(0, 0), 16384,
                                   QPointF(std::clamp(fill.focal, -0.98, 0.98) * 16384, 0));
    for (const GradientStop& stop : fill.stops)
        gradient.setColorAt(std::clamp(stop.ratio, 0.0, 1.0), cx.apply(stop.color));
    gradient.setSpread(QGradient::PadSpread);
    QBrush brush(gradient);
    brush.setTransform(fill.matrix);
    return brush;
}

// The picture with the colour transform applied to every pixel.
QImage transformed(const QImage& image, const ColorTransform& cx) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            line[x] = cx.apply(QColor::fromRgba(line[x])).rgba();
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The picture extended to `area` (in its own pixels) by repeating its edge
// pixels, as a clipped bitmap fill shows outside the picture.
QImage padded(const QImage& image, const QRect& area) {
    QImage out(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull()) return out;
    for (int y = 0; y < out.height(); ++y) {
        const int sy = std::clamp(y + area.top(), 0, image.height() - 1);
        const QRgb* src = reinterpret_cast<const QRgb*>(image.constScanLine(sy));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            dst[x] = src[std::clamp(x + area.left(), 0, image.width() - 1)];
    }
    return out;
}

} // namespace

bool ColorTransform::isIdentity() const {
    return onlyAlpha() && mul[3] == 1;
}

bool ColorTransform::onlyAlpha() const {
    return mul[0] == 1 && mul[1] == 1 && mul[2] == 1 && add[0] == 0 && add[1] == 0 && add[2] == 0 &&
           add[3] == 0;
}

QColor ColorTransform::apply(const QColor& c) const {
    const auto channel = [&](int value, int i) {
        return static_cast<int>(std::clamp(std::floor(value * mul[i] + add[i]), 0.0, 255.0));
    };
    return QColor(channel(c.red(), 0), channel(c.green(), 1), channel(c.blue(), 2),
                  channel(c.alpha(), 3));
}

bool ColorTransform::operator==(const ColorTransform& o) const {
    return std::equal(mul, mul + 4, o.mul) && std::equal(add, add + 4, o.add);
}

Shape MorphShape::at(uint16_t ratio) const {
    const double t = ratio / 65535.0;
    Shape shape;
    for (size_t i = 0; i < startFills.size(); ++i) {
        const FillStyle &a = startFills[i], &b = endFills[i];
        FillStyle f = a;
        f.color = lerp(a.color, b.color, t);
        f.matrix = lerp(a.matrix, b.matrix, t);
        f.focal = lerp(a.focal, b.focal, t);
        for (size_t k = 0; k < f.stops.size() && k < b.stops.size(); ++k) {
            f.stops[k].ratio = lerp(a.stops[k].ratio, b.stops[k].ratio, t);
            f.stops[k].color = lerp(a.stops[k].color, b.stops[k].color, t);
        }
        shape.fills.push_back(f);
    }
    for (size_t i = 0; i < startLines.size(); ++i)
        shape.lines.push_back({lerp(startLines[i].width, endLines[i].width, t),
                               lerp(startLines[i].color, endLines[i].color, t)});
    for (size_t i = 0; i < startEdges.size(); ++i) {
        const ShapeEdge &a = startEdges[i], &b = endEdges[i];
        ShapeEdge e = a;
        e.from = lerp(a.from, b.from, t);
        e.control = lerp(a.control, b.control, t);
        e.to = lerp(a.to, b.to, t);
        shape.edges.push_back(e);
    }
    return shape;
}

ShapePaths buildPaths(const std::vector<ShapeEdge>& edges, size_t fillCount, size_t lineCount) {
    std::vector<std::vector<Segment>> fills(fillCount);
    for (const ShapeEdge& e : edges) {
        if (e.fill1 > 0 && size_t(e.fill1) <= fillCount)
            fills[size_t(e.fill1) - 1].push_back({e.from, e.control, e.to, e.curved});
        if (e.fill0 > 0 && size_t(e.fill0) <= fillCount)
            fills[size_t(e.fill0) - 1].push_back({e.to, e.control, e.from, e.curved});
    }
    ShapePaths paths;
    for (const auto& segments : fills)
        paths.fills.push_back(chain(segments));
    paths.lines.resize(lineCount);
    std::vector<Point> last(lineCount);
    std::vector<bool> open(lineCount, false);
    for (const ShapeEdge& e : edges) {
        if (e.line <= 0 || size_t(e.line) > lineCount) continue;
        const size_t l = size_t(e.line) - 1;
        QPainterPath& p = paths.lines[l];
        if (!open[l] || !(last[l] == e.from)) p.moveTo(e.from.x, e.from.y);
        if (e.curved)
            p.quadTo(e.control.x, e.control.y, e.to.x, e.to.y);
        else
            p.lineTo(e.to.x, e.to.y);
        last[l] = e.to;
        open[l] = true;
    }
    return paths;
}

FrameRenderer::FrameRenderer(const Movie& movie) : m_movie(movie) {}

const ShapePaths& FrameRenderer::shapePaths(uint16_t id, const Shape& shape) {
    auto it = m_shapes.find(id);
    if (it == m_shapes.end())
        it = m_shapes.emplace(id, buildPaths(shape.edges, shape.fills.size(), shape.lines.size()))
                 .first;
    return it->second;
}

const FrameRenderer::Morphed& FrameRenderer::morphed(uint16_t id, const MorphShape& morph,
                                                     uint16_t ratio) {
    const auto key = std::make_pair(id, ratio);
    auto it = m_morphs.find(key);
    if (it == m_morphs.end()) {
        if (m_morphs.size() > 512) m_morphs.clear();
        Morphed m;
        m.shape = morph.at(ratio);
        m.paths = buildPaths(m.shape.edges, m.shape.fills.size(), m.shape.lines.size());
        it = m_morphs.emplace(key, std::move(m)).first;
    }
    return it->second;
}

const QPainterPath* FrameRenderer::glyphPath(uint16_t font, uint32_t glyph) {
    const auto key = std::make_pair(font, glyph);
    auto it = m_glyphs.find(key);
    if (it != m_glyphs.end()) return &it->second;
    const auto c = m_movie.characters.find(font);
    if (c == m_movie.characters.end() || !std::holds_alternative<Font>(c->second)) return nullptr;
    const Font& f = std::get<Font>(c->second);
    if (glyph >= f.glyphs.size()) return nullptr;
    ShapePaths paths = buildPaths(f.glyphs[glyph], 1, 0);
    return &m_glyphs.emplace(key, std::move(paths.fills[0])).first->second;
}

QImage FrameRenderer::bitmapImage(uint16_t id, const ColorTransform& cx, const QRect& area) {
    const auto c = m_movie.characters.find(id);
    if (c == m_movie.characters.end() || !std::holds_alternative<Bitmap>(c->second))
        return QImage();
    const QImage& image = std::get<Bitmap>(c->second).image;
    if (image.isNull()) return image;
    const bool plain = area.isNull() || area == image.rect();
    if (cx.onlyAlpha() && plain) return image;
    std::array<double, 8> terms;
    std::copy(cx.mul, cx.mul + 4, terms.begin());
    std::copy(cx.add, cx.add + 4, terms.begin() + 4);
    if (cx.onlyAlpha()) terms[3] = 1; // the alpha multiplier goes through the painter's opacity
    const auto key =
        std::make_tuple(id, terms, area.left(), area.top(), area.width(), area.height());
    auto it = m_images.find(key);
    if (it != m_images.end()) return it->second;
    if (m_images.size() > 64) m_images.clear();
    QImage out = plain ? image : padded(image, area);
    if (!cx.onlyAlpha()) out = transformed(out, cx);
    return m_images.emplace(key, out).first->second;
}

void FrameRenderer::fillBitmap(const FillStyle& fill, const QPainterPath& path,
                               const ColorTransform& cx, QPainter& painter) {
    const auto c = m_movie.characters.find(fill.bitmap);
    if (c == m_movie.characters.end() || !std::holds_alternative<Bitmap>(c->second)) return;
    const QImage& image = std::get<Bitmap>(c->second).image;
    if (image.isNull()) return;
    bool invertible = false;
    const QTransform toPixels = fill.matrix.inverted(&invertible);
    if (!invertible) return;
    QRect area;
    QTransform brushTransform = fill.matrix;
    if (!fill.repeat) {
        // Outside the picture a clipped fill repeats the edge pixels: extend
        // the picture over the part of the outline that lies outside it.
        const QRect whole = image.rect();
        // Limited first, so that a degenerate matrix cannot ask for
        // coordinates beyond what an int holds.
        const QRectF need = toPixels.mapRect(path.boundingRect())
                                .intersected(QRectF(whole).adjusted(-4096, -4096, 4096, 4096));
        if (need.isEmpty()) return;
        QRect want(static_cast<int>(std::floor(need.left() + 0.5)),
                   static_cast<int>(std::floor(need.top() + 0.5)), 0, 0);
        want.setRight(static_cast<int>(std::ceil(need.right() - 0.5)));
        want.setBottom(static_cast<int>(std::ceil(need.bottom() - 0.5)));
        // Two more pixels on every side keep the filter from blending in the
        // opposite edge, as a tiled texture would.
        want = want.united(whole.adjusted(-2, -2, 2, 2));
        // An extension far beyond the picture is capped: the edge pixels
        // beyond it then repeat as tiles, which only a hostile file asks for.
        want = want.intersected(whole.adjusted(-2048, -2048, 2048, 2048));
        if (want != whole) {
            area = want;
            brushTransform = QTransform::fromTranslate(area.left(), area.top()) * fill.matrix;
        }
    }
    const QImage texture = bitmapImage(fill.bitmap, cx, area);
    if (texture.isNull()) return;
    QBrush brush(texture);
    brush.setTransform(brushTransform);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, fill.smooth);
    if (cx.onlyAlpha()) painter.setOpacity(painter.opacity() * std::clamp(cx.mul[3], 0.0, 1.0));
    painter.fillPath(path, brush);
    painter.restore();
}

void FrameRenderer::drawText(const Text& text, const ColorTransform& cx, const QTransform& toDevice,
                             QPainter& painter) {
    for (const TextRun& run : text.runs) {
        const QColor color = cx.apply(run.color);
        if (color.alpha() == 0) continue;
        // Glyphs are drawn on a 1024-unit square; the text height scales it.
        // Each glyph is filled by itself: the rasterizer is several times
        // faster on many small outlines than on one outline of them all.
        const double k = run.height / 1024.0;
        for (const TextGlyph& g : run.glyphs) {
            const QPainterPath* glyph = glyphPath(run.font, g.index);
            if (!glyph || glyph->isEmpty()) continue;
            painter.setTransform(QTransform(k, 0, 0, k, g.x, run.y) * toDevice);
            painter.fillPath(*glyph, color);
        }
    }
}

void FrameRenderer::drawShape(const Shape& shape, const ShapePaths& paths, const ColorTransform& cx,
                              QPainter& painter) {
    for (size_t i = 0; i < paths.fills.size() && i < shape.fills.size(); ++i) {
        const QPainterPath& path = paths.fills[i];
        if (path.isEmpty()) continue;
        const FillStyle& fill = shape.fills[i];
        switch (fill.kind) {
        case FillStyle::Kind::Solid:
            painter.fillPath(path, cx.apply(fill.color));
            break;
        case FillStyle::Kind::Bitmap:
            fillBitmap(fill, path, cx, painter);
            break;
        default:
            if (!fill.stops.empty()) painter.fillPath(path, gradientBrush(fill, cx));
            break;
        }
    }
    for (size_t i = 0; i < paths.lines.size() && i < shape.lines.size(); ++i) {
        if (paths.lines[i].isEmpty()) continue;
        const LineStyle& line = shape.lines[i];
        QPen pen(cx.apply(line.color));
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        if (line.width <= 0)
            pen.setCosmetic(true); // a hairline: one device pixel whatever the scale
        pen.setWidthF(line.width <= 0 ? 1 : line.width);
        painter.strokePath(paths.lines[i], pen);
    }
}

void FrameRenderer::render(const DisplayList& list, QPainter& painter, double scale) {
    const QRectF stage(0, 0, m_movie.info.width * scale, m_movie.info.height * scale);
    painter.save();
    painter.fillRect(stage, m_movie.info.background);
    painter.setClipRect(stage, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    const QTransform device = painter.transform();
    const QTransform stageToDevice =
        QTransform::fromTranslate(-m_movie.frame.left(), -m_movie.frame.top()) *
        QTransform::fromScale(scale / 20, scale / 20) * device;
    for (const auto& [depth, object] : list) {
        if (object.clipLayer) continue;
        const auto c = m_movie.characters.find(object.character);
        if (c == m_movie.characters.end()) continue;
        const QTransform toDevice = object.matrix * stageToDevice;
        painter.setTransform(toDevice);
        if (const Shape* shape = std::get_if<Shape>(&c->second)) {
            drawShape(*shape, shapePaths(object.character, *shape), object.color, painter);
        } else if (const MorphShape* morph = std::get_if<MorphShape>(&c->second)) {
            const Morphed& m = morphed(object.character, *morph, object.ratio);
            drawShape(m.shape, m.paths, object.color, painter);
        } else if (const Text* text = std::get_if<Text>(&c->second)) {
            drawText(*text, object.color, text->matrix * toDevice, painter);
        }
    }
    painter.restore();
}

} // namespace player
