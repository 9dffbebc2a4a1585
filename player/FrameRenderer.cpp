#include "player/FrameRenderer.h"

#include "swf/Twips.h"

#include <QBrush>
#include <QBuffer>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
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

// Applies a colour transform to premultiplied pixels, through one table per
// channel.
void transformPixels(QImage& image, const ColorTransform& cx) {
    uint8_t table[4][256];
    for (int c = 0; c < 4; ++c)
        for (int v = 0; v < 256; ++v)
            table[c][v] =
                static_cast<uint8_t>(std::clamp(std::floor(v * cx.mul[c] + cx.add[c]), 0.0, 255.0));
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = qUnpremultiply(line[x]);
            line[x] = qPremultiply(qRgba(table[0][qRed(p)], table[1][qGreen(p)], table[2][qBlue(p)],
                                         table[3][qAlpha(p)]));
        }
    }
}

// One row or column of the picture with its end pixels repeated once, so
// that a tiled brush of it filters nothing from the opposite end in.
QImage edgeLine(const QImage& image, bool row, int at) {
    const int n = row ? image.width() : image.height();
    QImage out(row ? n + 2 : 1, row ? 1 : n + 2, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull()) return out;
    for (int i = -1; i <= n; ++i) {
        const int k = std::clamp(i, 0, n - 1);
        const QRgb p =
            reinterpret_cast<const QRgb*>(image.constScanLine(row ? at : k))[row ? k : at];
        if (row)
            reinterpret_cast<QRgb*>(out.scanLine(0))[i + 1] = p;
        else
            reinterpret_cast<QRgb*>(out.scanLine(i + 1))[0] = p;
    }
    return out;
}

// Fills all of `layer` with a clipped bitmap fill whose picture pixels map to
// layer pixels by `toLayer`: outside the picture its edge pixels extend, its
// corner pixels beyond the corners. The parts are drawn from the outside in,
// each reaching past its seam, so that no gap opens between them: the four
// quadrants in their corner colours, the four edge strips, then the picture.
void drawExtended(QPainter& lp, const QImage& image, const QTransform& toLayer,
                  const QRect& layer) {
    bool invertible = false;
    const QTransform fromLayer = toLayer.inverted(&invertible);
    if (!invertible) return;
    const double w = image.width(), h = image.height();
    const QRectF reach =
        fromLayer.mapRect(QRectF(layer)).united(QRectF(0, 0, w, h)).adjusted(-1, -1, 1, 1);
    const double x0 = reach.left(), x1 = reach.right(), y0 = reach.top(), y1 = reach.bottom();
    const QPolygonF bounds{QRectF(layer)};
    lp.setPen(Qt::NoPen);
    const auto part = [&](const QRectF& pixels, const QBrush& brush) {
        const QPolygonF polygon = toLayer.map(QPolygonF(pixels)).intersected(bounds);
        if (polygon.isEmpty()) return;
        lp.setBrush(brush);
        lp.drawPolygon(polygon);
    };
    const auto corner = [&](int x, int y) { return QColor::fromRgba(image.pixel(x, y)); };
    const int r = image.width() - 1, b = image.height() - 1;
    part(QRectF(QPointF(x0, y0), QPointF(w / 2, h / 2)), corner(0, 0));
    part(QRectF(QPointF(w / 2, y0), QPointF(x1, h / 2)), corner(r, 0));
    part(QRectF(QPointF(x0, h / 2), QPointF(w / 2, y1)), corner(0, b));
    part(QRectF(QPointF(w / 2, h / 2), QPointF(x1, y1)), corner(r, b));
    const auto strip = [&](const QRectF& pixels, bool row, int at) {
        QBrush brush(edgeLine(image, row, at));
        brush.setTransform(QTransform::fromTranslate(row ? -1 : 0, row ? 0 : -1) * toLayer);
        part(pixels, brush);
    };
    strip(QRectF(QPointF(0, y0), QPointF(w, h / 2)), true, 0);
    strip(QRectF(QPointF(0, h / 2), QPointF(w, y1)), true, b);
    strip(QRectF(QPointF(x0, 0), QPointF(w / 2, h)), false, 0);
    strip(QRectF(QPointF(w / 2, 0), QPointF(x1, h)), false, r);
    lp.setTransform(toLayer);
    lp.drawImage(QPointF(0, 0), image);
    lp.resetTransform();
}

// Whether `path` is the picture's own rectangle (as the compiler writes a
// picture): four axis-parallel edges through its corners, in pixels.
bool isPictureRect(const QPainterPath& path, const QTransform& toPixels, const QRectF& picture) {
    if (path.elementCount() < 4 || path.elementCount() > 6) return false;
    const QPolygonF points = toPixels.map(path.toFillPolygon());
    const auto near = [](double a, double b) { return std::abs(a - b) < 1e-3; };
    for (int i = 0; i < points.size(); ++i) {
        const QPointF p = points[i], q = points[(i + 1) % points.size()];
        if (!(near(p.x(), picture.left()) || near(p.x(), picture.right())) ||
            !(near(p.y(), picture.top()) || near(p.y(), picture.bottom())))
            return false;
        if (!near(p.x(), q.x()) && !near(p.y(), q.y())) return false;
    }
    const QRectF box = points.boundingRect();
    return near(box.left(), picture.left()) && near(box.right(), picture.right()) &&
           near(box.top(), picture.top()) && near(box.bottom(), picture.bottom());
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

std::vector<FrameRenderer::GlyphSlot>* FrameRenderer::fontGlyphs(uint16_t font) {
    auto it = m_glyphs.find(font);
    if (it == m_glyphs.end()) {
        const auto c = m_movie.characters.find(font);
        if (c == m_movie.characters.end() || !std::holds_alternative<Font>(c->second))
            return nullptr;
        it = m_glyphs.emplace(font, std::get<Font>(c->second).glyphs.size()).first;
    }
    return &it->second;
}

const QImage* FrameRenderer::bitmapImage(uint16_t id) {
    auto it = m_bitmaps.find(id);
    if (it == m_bitmaps.end()) {
        QImage image;
        const auto c = m_movie.characters.find(id);
        if (c != m_movie.characters.end() && std::holds_alternative<Bitmap>(c->second)) {
            const Bitmap& bitmap = std::get<Bitmap>(c->second);
            QBuffer buffer;
            buffer.setData(bitmap.jpeg);
            buffer.open(QIODevice::ReadOnly);
            QImageReader reader(&buffer, "jpeg");
            // The reader checked the size the header gives against the
            // movie's total; a decoder that would make more is not followed.
            if (!bitmap.jpeg.isEmpty() && reader.size() == bitmap.size && reader.read(&image))
                image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            else
                image = QImage();
        }
        it = m_bitmaps.emplace(id, std::move(image)).first;
    }
    return it->second.isNull() ? nullptr : &it->second;
}

void FrameRenderer::fillBitmap(const FillStyle& fill, const QPainterPath& path,
                               const ColorTransform& cx, QPainter& painter) {
    const QImage* found = bitmapImage(fill.bitmap);
    if (!found) return;
    const QImage& image = *found;
    bool invertible = false;
    const QTransform toPixels = fill.matrix.inverted(&invertible);
    if (!invertible) return;
    const QTransform toDevice = painter.transform();
    const QRectF picture(image.rect());
    const QRectF need = toPixels.mapRect(path.boundingRect());
    const bool inside = picture.adjusted(-1e-3, -1e-3, 1e-3, 1e-3).contains(need);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, fill.smooth);
    if (cx.onlyAlpha()) painter.setOpacity(painter.opacity() * std::clamp(cx.mul[3], 0.0, 1.0));
    if (cx.onlyAlpha() && !fill.repeat && inside && isPictureRect(path, toPixels, picture)) {
        // Drawn as an image, which samples the edge pixels at the edges
        // where a tiled brush would filter in the opposite edge.
        painter.setTransform(fill.matrix * toDevice);
        if (afford(areaWork(painter.transform().mapRect(picture)) * 4))
            painter.drawImage(QPointF(0, 0), image);
    } else if (cx.onlyAlpha() && (fill.repeat || inside)) {
        QBrush brush(image);
        brush.setTransform(fill.matrix);
        if (afford(pathWork(path, toDevice, 0) * 2)) painter.fillPath(path, brush);
    } else {
        // The fill is drawn into a layer as large as the outline's visible
        // part, the colour transform applied to the layer's pixels, and the
        // outline filled with the layer: the work follows the pixels drawn,
        // not the picture's size or its scale.
        const QRect area =
            toDevice.mapRect(path.boundingRect()).toAlignedRect().intersected(m_deviceClip);
        bool back = false;
        const QTransform fromDevice = toDevice.inverted(&back);
        QImage layer;
        if (!area.isEmpty() && back && afford(areaWork(area) * 8 + pathWork(path, toDevice, 0)))
            layer = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
        if (!layer.isNull()) {
            layer.fill(Qt::transparent);
            const QTransform toLayer =
                fill.matrix * toDevice * QTransform::fromTranslate(-area.left(), -area.top());
            {
                QPainter lp(&layer);
                lp.setRenderHint(QPainter::SmoothPixmapTransform, fill.smooth);
                if (fill.repeat) {
                    QBrush brush(image);
                    brush.setTransform(toLayer);
                    lp.fillRect(layer.rect(), brush);
                } else {
                    drawExtended(lp, image, toLayer, layer.rect());
                }
            }
            if (!cx.onlyAlpha()) transformPixels(layer, cx);
            QBrush brush(layer);
            brush.setTransform(QTransform::fromTranslate(area.left(), area.top()) * fromDevice);
            painter.fillPath(path, brush);
        }
    }
    painter.restore();
}

bool FrameRenderer::fillDirect(const QPainterPath& path, const QRectF& bounds,
                               const QTransform& toDevice, const QColor& color) {
    if (!m_direct) return false;
    const QRect area = toDevice.mapRect(bounds).toAlignedRect().adjusted(-1, -1, 1, 1);
    if (area.width() > 512 || area.height() > 512 || !m_directArea.contains(area)) return false;
    m_coverage.begin(area);
    m_coverage.path(path, toDevice);
    m_coverage.fill(*m_direct, qPremultiply(color.rgba()), area);
    return true;
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
        std::vector<GlyphSlot>* glyphs = fontGlyphs(run.font);
        if (!glyphs) continue;
        const QBrush brush(color);
        for (const TextGlyph& g : run.glyphs) {
            if (g.index >= glyphs->size()) continue;
            GlyphSlot& glyph = (*glyphs)[g.index];
            if (!glyph.built) {
                const Font& font = std::get<Font>(m_movie.characters.at(run.font));
                glyph.path = std::move(buildPaths(font.glyphs[g.index], 1, 0).fills[0]);
                glyph.bounds = glyph.path.controlPointRect();
                glyph.built = true;
            }
            if (glyph.path.isEmpty()) continue;
            const QTransform toPixels = QTransform(k, 0, 0, k, g.x, run.y) * toDevice;
            if (!afford(pathWork(glyph.path, toPixels, 0))) return;
            // A glyph inside the stage is filled straight into the picture,
            // several times faster than through the painter.
            if (fillDirect(glyph.path, glyph.bounds, toPixels, color)) continue;
            painter.setTransform(toPixels);
            painter.fillPath(glyph.path, brush);
        }
    }
}

void FrameRenderer::drawShape(const Shape& shape, const ShapePaths& paths, const ColorTransform& cx,
                              QPainter& painter) {
    for (size_t i = 0; i < paths.fills.size() && i < shape.fills.size(); ++i) {
        const QPainterPath& path = paths.fills[i];
        if (path.isEmpty()) continue;
        const FillStyle& fill = shape.fills[i];
        if (fill.kind != FillStyle::Kind::Bitmap && !afford(pathWork(path, painter.transform(), 0)))
            return;
        switch (fill.kind) {
        case FillStyle::Kind::Solid: {
            const QColor color = cx.apply(fill.color);
            if (!fillDirect(path, path.controlPointRect(), painter.transform(), color))
                painter.fillPath(path, color);
            break;
        }
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
        // A wide pen outlines every edge and rounds every joint.
        const QTransform& t = painter.transform();
        const double wide =
            pen.isCosmetic() ? 0 : line.width * std::sqrt(std::abs(t.determinant()));
        if (!afford(pathWork(paths.lines[i], t, wide) * (1 + wide / 5))) return;
        painter.strokePath(paths.lines[i], pen);
    }
}

double FrameRenderer::areaWork(const QRectF& device) const {
    const QRectF box = device.intersected(QRectF(m_deviceClip));
    return box.isEmpty() ? 1 : box.width() * box.height() / 8;
}

double FrameRenderer::pathWork(const QPainterPath& path, const QTransform& toDevice,
                               double margin) const {
    // The rasterizer visits every edge on every pixel row it crosses within
    // the clip, and then the pixels it covers.
    const QRectF box = toDevice.mapRect(path.controlPointRect())
                           .adjusted(-margin, -margin, margin, margin)
                           .intersected(QRectF(m_deviceClip));
    if (box.isEmpty()) return path.elementCount();
    return path.elementCount() * (box.height() + 1) + areaWork(box);
}

bool FrameRenderer::afford(double work) {
    if (m_cut) return false;
    // The clock is a system call: read every 64 objects, or once the work
    // since it was last read could take a noticeable time.
    m_workSinceClock += work;
    if ((++m_calls & 63) == 0 || m_workSinceClock > 1e5) {
        m_workSinceClock = 0;
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        const double seconds = double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
        if (seconds - m_started > m_limits.seconds) m_cut = true;
    }
    if (m_limits.stop && m_limits.stop()) m_cut = true;
    if (!std::isfinite(work) || work > m_workLeft) m_cut = true;
    if (m_cut) return false;
    m_workLeft -= work;
    return true;
}

bool FrameRenderer::render(const DisplayList& list, QPainter& painter, double scale,
                           const RenderLimits& limits) {
    m_limits = limits;
    m_workLeft = limits.work;
    m_cut = false;
    m_calls = 0;
    m_workSinceClock = 0;
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    m_started = double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
    const QRectF stage(0, 0, m_movie.info.width * scale, m_movie.info.height * scale);
    // What of the device can be drawn on: fills drawn through a layer make
    // it no larger.
    m_deviceClip = QRect(0, 0, painter.device()->width(), painter.device()->height());
    if (painter.hasClipping())
        m_deviceClip &= painter.transform().mapRect(painter.clipBoundingRect()).toAlignedRect();
    m_deviceClip &= painter.transform().mapRect(stage).toAlignedRect();
    // Glyphs are filled straight into a picture that the painter draws on
    // as it is (no clip, opacity, other composition or device transform);
    // only where the stage's clip would cut nothing.
    m_direct = nullptr;
    if (!painter.hasClipping() && painter.device()->devType() == QInternal::Image &&
        painter.opacity() == 1 &&
        painter.compositionMode() == QPainter::CompositionMode_SourceOver &&
        painter.transform().type() <= QTransform::TxScale &&
        painter.deviceTransform() == painter.transform()) {
        QImage* image = static_cast<QImage*>(painter.device());
        const QRectF inside = painter.transform().mapRect(stage);
        m_directArea =
            QRect(QPoint(int(std::ceil(inside.left())), int(std::ceil(inside.top()))),
                  QPoint(int(std::floor(inside.right())) - 1, int(std::floor(inside.bottom())) - 1))
                .intersected(image->rect());
        if (image->format() == QImage::Format_ARGB32_Premultiplied &&
            image->devicePixelRatio() == 1 && !m_directArea.isEmpty())
            m_direct = image;
    }
    painter.save();
    painter.fillRect(stage, m_movie.info.background);
    painter.setClipRect(stage, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    const QTransform device = painter.transform();
    const QTransform stageToDevice =
        QTransform::fromTranslate(-m_movie.frame.left(), -m_movie.frame.top()) *
        QTransform::fromScale(scale / swf::TwipsPerPixel, scale / swf::TwipsPerPixel) * device;
    for (const auto& [depth, object] : list) {
        if (object.clipLayer) continue;
        if (m_cut) break;
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
    return !m_cut;
}

} // namespace player
