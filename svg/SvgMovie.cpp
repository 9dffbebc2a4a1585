#include "svg/SvgMovie.h"

#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "platform/ReplacingFile.h"
#include "swf/FDTShapes.h"
#include "swf/Twips.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <numbers>
#include <optional>
#include <unordered_map>

namespace svg {
namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

// Appends v rounded to `decimals` places, without trailing zeros ("-0" as "0").
void appendNumber(std::string& out, double v, int decimals) {
    if (!std::isfinite(v)) v = 0;
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    char* end = r.ptr;
    if (decimals > 0) {
        while (end[-1] == '0')
            --end;
        if (end[-1] == '.') --end;
    }
    std::string_view text(buf, size_t(end - buf));
    if (text == "-0") text = "0";
    out.append(text);
}

void appendInt(std::string& out, int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// Twips to pixels, exact for whole twips.
void appendTwips(std::string& out, double twips) {
    appendNumber(out, swf::FromTwips(twips), 2);
}

// "#rrggbb", or "#rrggbbaa" when the colour is not opaque: the alpha goes
// with the colour, so one animation carries both.
void appendColor(std::string& out, const MovieColor& c) {
    static const char hex[] = "0123456789abcdef";
    const auto channel = [&](int32_t v) {
        const int32_t x = std::clamp(v, 0, 255);
        out += hex[x >> 4];
        out += hex[x & 15];
    };
    out += '#';
    channel(c.red);
    channel(c.green);
    channel(c.blue);
    if (c.alpha < 255) channel(c.alpha);
}

void appendBase64(std::string& out, std::span<const uint8_t> bytes) {
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const uint32_t v = uint32_t(bytes[i]) << 16 | (two ? uint32_t(bytes[i + 1]) << 8 : 0);
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += two ? table[(v >> 6) & 63] : '=';
        out += '=';
    }
}

struct Point {
    double x = 0, y = 0;
};

// An affine map: (x, y) goes to (a x + c y + e, b x + d y + f).
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    Point operator()(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
};

Affine lerp(const Affine& s, const Affine& t, double r) {
    const auto mix = [r](double u, double v) { return u + (v - u) * r; };
    return {mix(s.a, t.a), mix(s.b, t.b), mix(s.c, t.c),
            mix(s.d, t.d), mix(s.e, t.e), mix(s.f, t.f)};
}

// An outline as its records draw it: the kind of each step and its points in
// absolute coordinates (a move and a line one point each, a curve its
// control point and its anchor).
struct Outline {
    std::vector<FShapeRecGeometry::Kind> steps;
    std::vector<Point> points;
};

Outline outlineOf(const FShape& shape) {
    using Kind = FShapeRecGeometry::Kind;
    Outline out;
    double x = 0, y = 0;
    for (size_t i = 0; i < shape.RecordCount(); ++i) {
        const FShapeRecGeometry g = shape.Record(i).Geometry();
        switch (g.kind) {
        case Kind::Move:
            x = g.x;
            y = g.y;
            out.points.push_back({x, y});
            break;
        case Kind::Line:
            x += g.x;
            y += g.y;
            out.points.push_back({x, y});
            break;
        case Kind::Curve:
            out.points.push_back({x + g.controlX, y + g.controlY});
            x += double(g.controlX) + g.x;
            y += double(g.controlY) + g.y;
            out.points.push_back({x, y});
            break;
        case Kind::Style:
            continue;
        case Kind::End:
            return out;
        }
        out.steps.push_back(g.kind);
    }
    return out;
}

// Appends a number of a list: a space before it only where it would run
// into the number before.
void appendListed(std::string& out, double v, int decimals) {
    const size_t at = out.size();
    appendNumber(out, v, decimals);
    if (at > 0 && out[at] != '-' &&
        (std::isdigit(static_cast<unsigned char>(out[at - 1])) || out[at - 1] == '.'))
        out.insert(at, 1, ' ');
}

// Path data of an outline whose points are `points` (in the outline's
// order), each point mapped by (p - origin) * scale. With `relative`, lines
// and curves go by their steps from the point before (l, q), which is
// shorter for outlines of many small steps such as glyphs.
void appendPath(std::string& out, const Outline& outline, const std::vector<Point>& points,
                Point origin, double scale, int decimals, bool relative = false) {
    using Kind = FShapeRecGeometry::Kind;
    size_t k = 0;
    Point from;
    const auto coordinate = [&](const Point& p, bool step) {
        const Point q{(p.x - origin.x) * scale, (p.y - origin.y) * scale};
        appendListed(out, step ? q.x - from.x : q.x, decimals);
        appendListed(out, step ? q.y - from.y : q.y, decimals);
        return q;
    };
    // The command letter is left out where the one before continues (points
    // after a move are lines).
    char last = 0;
    for (Kind step : outline.steps) {
        char command = step == Kind::Move ? 'M' : step == Kind::Line ? 'L' : 'Q';
        if (relative && command != 'M') command = static_cast<char>(command + ('a' - 'A'));
        const bool continues =
            command == last || (last == 'M' && command == 'L') || (last == 'm' && command == 'l');
        if (command == 'M' || !continues) out += command;
        last = command;
        const bool rel = command != 'M' && relative;
        if (step == Kind::Curve) coordinate(points[k++], rel);
        from = coordinate(points[k++], rel);
    }
}

// The affine map that takes every point of `from` to the same point of `to`
// within `tolerance`; none when `from` spans no area or no map fits.
std::optional<Affine> fitAffine(const std::vector<Point>& from, const std::vector<Point>& to,
                                double tolerance) {
    if (from.size() != to.size() || from.size() < 3) return std::nullopt;
    const auto cross = [](Point o, Point p, Point q) {
        return (p.x - o.x) * (q.y - o.y) - (p.y - o.y) * (q.x - o.x);
    };
    size_t i1 = 0, i2 = 0;
    double far = -1;
    for (size_t i = 1; i < from.size(); ++i) {
        const double dx = from[i].x - from[0].x, dy = from[i].y - from[0].y;
        if (dx * dx + dy * dy > far) {
            far = dx * dx + dy * dy;
            i1 = i;
        }
    }
    double area = 0;
    for (size_t i = 1; i < from.size(); ++i) {
        const double c = std::abs(cross(from[0], from[i1], from[i]));
        if (c > area) {
            area = c;
            i2 = i;
        }
    }
    // Less than a square pixel of area: a line or a point, no map to speak of.
    if (area < 400) return std::nullopt;
    const Point u1{from[i1].x - from[0].x, from[i1].y - from[0].y};
    const Point u2{from[i2].x - from[0].x, from[i2].y - from[0].y};
    const Point v1{to[i1].x - to[0].x, to[i1].y - to[0].y};
    const Point v2{to[i2].x - to[0].x, to[i2].y - to[0].y};
    const double det = u1.x * u2.y - u2.x * u1.y;
    // L = V U^-1 with U = [u1 u2], V = [v1 v2].
    Affine m;
    m.a = (v1.x * u2.y - v2.x * u1.y) / det;
    m.c = (v2.x * u1.x - v1.x * u2.x) / det;
    m.b = (v1.y * u2.y - v2.y * u1.y) / det;
    m.d = (v2.y * u1.x - v1.y * u2.x) / det;
    m.e = to[0].x - (m.a * from[0].x + m.c * from[0].y);
    m.f = to[0].y - (m.b * from[0].x + m.d * from[0].y);
    for (size_t i = 0; i < from.size(); ++i) {
        const Point p = m(from[i]);
        if (std::abs(p.x - to[i].x) > tolerance || std::abs(p.y - to[i].y) > tolerance)
            return std::nullopt;
    }
    return m;
}

// The values one attribute takes, each from the frame it starts in; a value
// equal to the one before is not repeated.
class Track {
public:
    void set(int32_t frame, std::string_view value) {
        if (!m_frames.empty() && m_frames.back() == frame) {
            // A second value in the same frame replaces the first.
            m_values.resize(m_offsets.back());
            m_frames.pop_back();
            m_offsets.pop_back();
        }
        if (!m_frames.empty() && last() == value) return;
        m_frames.push_back(frame);
        m_offsets.push_back(static_cast<uint32_t>(m_values.size()));
        m_values.append(value);
    }
    bool empty() const { return m_frames.empty(); }
    size_t size() const { return m_frames.size(); }
    int32_t frame(size_t i) const { return m_frames[i]; }
    std::string_view value(size_t i) const {
        const size_t end = i + 1 < m_offsets.size() ? m_offsets[i + 1] : m_values.size();
        return std::string_view(m_values).substr(m_offsets[i], end - m_offsets[i]);
    }
    std::string_view last() const { return value(m_frames.size() - 1); }

private:
    std::vector<int32_t> m_frames;
    std::vector<uint32_t> m_offsets;
    std::string m_values;
};

} // namespace

MatrixParts SplitMatrix(double a, double b, double c, double d) {
    MatrixParts parts;
    const double sx = std::hypot(a, b);
    if (sx == 0) {
        // The first column is empty: whatever the second, nothing has an area.
        parts.scaleX = 0;
        parts.scaleY = std::hypot(c, d);
        parts.rotate = std::atan2(-c, d) * kDegrees;
        return parts;
    }
    parts.rotate = std::atan2(b, a) * kDegrees;
    parts.scaleX = sx;
    parts.scaleY = (a * d - b * c) / sx;
    const double shear = (a * c + b * d) / sx;
    if (parts.scaleY != 0) parts.skewX = std::atan(shear / parts.scaleY) * kDegrees;
    return parts;
}

struct SvgMovieBuilder::Timing {
    std::string attributes; // the duration and what happens after it
    std::string keys;       // k/N for every frame k, one after the other
    std::vector<uint32_t> keyOffsets;
    std::string_view keyTime(int32_t frame) const {
        const size_t k = std::min(size_t(std::max(frame, 0)), keyOffsets.size() - 2);
        return std::string_view(keys).substr(keyOffsets[k], keyOffsets[k + 1] - keyOffsets[k]);
    }
};

struct SvgMovieBuilder::GlyphIndex {
    std::unordered_map<std::string, uint32_t> ids;
};

struct SvgMovieBuilder::Element {
    enum class Kind { None, Text, Drawing, Picture };
    Kind kind = Kind::None;
    int32_t order = -1;
    bool shown = false;
    Track visibility, translate, rotate, skewX, scale, fill, path;
    // The values last set, so that an unchanged one is not formatted again.
    std::array<double, 6> lastTransform{};
    bool transformed = false;
    MovieColor lastColor;
    bool colored = false;

    // Text: the element's glyphs (numbers in <defs>), its characters, and the
    // first definition, which the content is drawn from; other sizes scale it.
    std::vector<uint32_t> glyphs;
    std::vector<uint32_t> glyphOfCharacter;
    std::vector<int32_t> advances;
    int32_t textX = 0, textY = 0, textHeight = 0;
    double textScale = 1;
    MovieColor textColor;

    // Drawing: the outline drawn (relative to `anchor`, twips) and the maps
    // that take it to the start and the end outline; without a map the
    // outline's points are mixed in every frame.
    Outline outline;
    std::vector<Point> startPoints, endPoints;
    std::optional<Affine> toStart, toEnd;
    Point anchor;
    MovieColor startColor, endColor;
    int32_t ratio = 0;

    // Picture.
    std::string jpeg; // base64
    int32_t pictureWidth = 0, pictureHeight = 0;
};

SvgMovieBuilder::SvgMovieBuilder(bool repeat, double scale)
    : m_repeat(repeat), m_scale(scale), m_glyphIndex(std::make_unique<GlyphIndex>()) {}

SvgMovieBuilder::~SvgMovieBuilder() = default;

SvgMovieBuilder::Element& SvgMovieBuilder::element(int32_t index) {
    if (index < 0) index = 0;
    if (size_t(index) >= m_elements.size()) m_elements.resize(size_t(index) + 1);
    auto& e = m_elements[size_t(index)];
    if (!e) e = std::make_unique<Element>();
    return *e;
}

void SvgMovieBuilder::movieStarted(int32_t width, int32_t height, int32_t fps, int32_t background,
                                   int32_t frames) {
    m_width = width;
    m_height = height;
    m_fps = std::max(fps, 1);
    m_background = background;
    m_frames = std::max(frames, 1);
}

void SvgMovieBuilder::glyphBuilt(int32_t index, const FShape& outline) {
    const Outline o = outlineOf(outline);
    m_scratch.clear();
    appendPath(m_scratch, o, o.points, {}, 1, 0, true);
    auto [it, added] =
        m_glyphIndex->ids.emplace(m_scratch, static_cast<uint32_t>(m_glyphPaths.size()));
    if (added) m_glyphPaths.push_back(m_scratch);
    element(index).glyphs.push_back(it->second);
}

void SvgMovieBuilder::textLaidOut(int32_t index, std::span<const uint32_t> glyphOfCharacter) {
    Element& e = element(index);
    e.kind = Element::Kind::Text;
    e.glyphOfCharacter.assign(glyphOfCharacter.begin(), glyphOfCharacter.end());
}

void SvgMovieBuilder::textDefined(int32_t index, const MovieText& text) {
    Element& e = element(index);
    if (e.textHeight == 0 && text.height > 0) {
        e.advances.assign(text.advances.begin(), text.advances.end());
        e.textX = text.x;
        e.textY = text.y;
        e.textHeight = text.height;
    }
    e.textScale = e.textHeight > 0 ? double(text.height) / e.textHeight : 0;
    e.textColor = text.color;
}

void SvgMovieBuilder::drawingDefined(int32_t index, const FShape& start, const FShape& end,
                                     MovieColor startColor, MovieColor endColor) {
    Element& e = element(index);
    e.kind = Element::Kind::Drawing;
    e.startColor = startColor;
    e.endColor = endColor;
    Outline from = outlineOf(start);
    const Outline to = outlineOf(end);
    if (from.steps != to.steps) return; // not a morph any player draws: left empty
    // Within a tenth of a pixel the end outline is usually a turned, moved or
    // stretched start outline (or the other way round): then one path with a
    // transform per frame draws every frame.
    constexpr double tolerance = 2;
    if (auto m = fitAffine(from.points, to.points, tolerance)) {
        e.toStart = Affine{};
        e.toEnd = m;
        e.outline = std::move(from);
    } else if (auto m = fitAffine(to.points, from.points, tolerance)) {
        e.toStart = m;
        e.toEnd = Affine{};
        e.outline = to;
    } else {
        e.startPoints = std::move(from.points);
        e.endPoints = to.points;
        e.outline = std::move(from);
        return;
    }
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (const Point& p : e.outline.points) {
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    }
    e.anchor = {std::round((x0 + x1) / 2), std::round((y0 + y1) / 2)};
}

void SvgMovieBuilder::pictureDefined(int32_t index, std::span<const uint8_t> jpeg, int32_t width,
                                     int32_t height) {
    Element& e = element(index);
    e.kind = Element::Kind::Picture;
    e.jpeg.clear();
    appendBase64(e.jpeg, jpeg);
    e.pictureWidth = width;
    e.pictureHeight = height;
}

void SvgMovieBuilder::placed(int32_t index, const MovieMatrix* matrix, int32_t ratio) {
    Element& e = element(index);
    if (e.kind == Element::Kind::None) return;
    if (!e.shown) {
        e.shown = true;
        if (e.order < 0) e.order = m_placements++;
        if (m_frame > 0 && e.visibility.empty()) e.visibility.set(0, "hidden");
        e.visibility.set(m_frame, "visible");
        if (ratio < 0) ratio = 0; // a morph placed without a ratio starts at 0
    }
    std::string& s = m_scratch;
    // The transform: the placement matrix, or for a drawing the map of its
    // outline at this ratio.
    Affine m;
    Point origin; // where the content's origin goes
    if (e.kind == Element::Kind::Drawing) {
        if (ratio >= 0) e.ratio = ratio;
        const double t = e.ratio / 65535.0;
        const auto channel = [t](int32_t a, int32_t b) {
            return static_cast<int32_t>(std::lround(a + (b - a) * t));
        };
        const MovieColor c{channel(e.startColor.red, e.endColor.red),
                           channel(e.startColor.green, e.endColor.green),
                           channel(e.startColor.blue, e.endColor.blue),
                           channel(e.startColor.alpha, e.endColor.alpha)};
        setColor(e, c);
        if (!e.toStart) {
            std::vector<Point> points(e.startPoints.size());
            for (size_t i = 0; i < points.size(); ++i)
                points[i] = {e.startPoints[i].x + (e.endPoints[i].x - e.startPoints[i].x) * t,
                             e.startPoints[i].y + (e.endPoints[i].y - e.startPoints[i].y) * t};
            s.clear();
            appendPath(s, e.outline, points, {}, swf::PixelsPerTwip, 2);
            e.path.set(m_frame, s);
            return;
        }
        m = lerp(*e.toStart, *e.toEnd, t);
        origin = m(e.anchor);
    } else {
        if (!matrix) return;
        m = {matrix->scaleX / 65536.0, matrix->rotateSkew0 / 65536.0, matrix->rotateSkew1 / 65536.0,
             matrix->scaleY / 65536.0, double(matrix->translateX),    double(matrix->translateY)};
        origin = {m.e, m.f};
        if (e.kind == Element::Kind::Text) {
            m.a *= e.textScale;
            m.b *= e.textScale;
            m.c *= e.textScale;
            m.d *= e.textScale;
            setColor(e, e.textColor);
        }
    }
    // Only the parts that changed are formatted again.
    const MatrixParts parts = SplitMatrix(m.a, m.b, m.c, m.d);
    const std::array<double, 6> now{origin.x,    origin.y,     parts.rotate,
                                    parts.skewX, parts.scaleX, parts.scaleY};
    const std::array<double, 6>& was = e.lastTransform;
    const bool first = !e.transformed;
    e.transformed = true;
    if (first || now[0] != was[0] || now[1] != was[1]) {
        s.clear();
        appendTwips(s, origin.x);
        s += ' ';
        appendTwips(s, origin.y);
        e.translate.set(m_frame, s);
    }
    if (first || now[2] != was[2]) {
        s.clear();
        appendNumber(s, parts.rotate, 2);
        e.rotate.set(m_frame, s);
    }
    if (first || now[3] != was[3]) {
        s.clear();
        appendNumber(s, parts.skewX, 2);
        e.skewX.set(m_frame, s);
    }
    if (first || now[4] != was[4] || now[5] != was[5]) {
        s.clear();
        appendNumber(s, parts.scaleX, 4);
        if (std::abs(parts.scaleX - parts.scaleY) >= 5e-5) {
            s += ' ';
            appendNumber(s, parts.scaleY, 4);
        }
        e.scale.set(m_frame, s);
    }
    e.lastTransform = now;
}

void SvgMovieBuilder::setColor(Element& e, const MovieColor& color) {
    if (e.colored && color == e.lastColor) return;
    e.colored = true;
    e.lastColor = color;
    m_scratch.clear();
    appendColor(m_scratch, color);
    e.fill.set(m_frame, m_scratch);
}

void SvgMovieBuilder::removed(int32_t index) {
    Element& e = element(index);
    if (!e.shown) return;
    e.shown = false;
    e.visibility.set(m_frame, "hidden");
}

void SvgMovieBuilder::frameEnded(int32_t frame) {
    m_frame = frame + 1;
}

namespace {

// keyTimes and values of a track: the first value from the start, the others
// from the frame they start in (k/N of the duration).
void appendAnimation(std::string& out, const char* element, const char* attribute, const char* type,
                     const Track& track, const SvgMovieBuilder::Timing& timing) {
    out += '<';
    out += element;
    out += " attributeName=\"";
    out += attribute;
    out += '"';
    if (type) {
        out += " type=\"";
        out += type;
        out += '"';
    }
    out += " calcMode=\"discrete\"";
    out += timing.attributes;
    out += " keyTimes=\"0";
    for (size_t i = 1; i < track.size(); ++i) {
        out += ';';
        out += timing.keyTime(track.frame(i));
    }
    out += "\" values=\"";
    for (size_t i = 0; i < track.size(); ++i) {
        if (i) out += ';';
        out += track.value(i);
    }
    out += "\"/>";
}

bool identity(const Track& track, std::string_view none) {
    return track.empty() || (track.size() == 1 && track.value(0) == none);
}

} // namespace

void SvgMovieBuilder::writeElement(const Element& e, const Timing& timing, std::string& out,
                                   const std::function<bool(std::string_view)>& sink,
                                   bool& ok) const {
    // Never on the stage in any frame: nothing to draw.
    if (e.visibility.empty() || (e.visibility.size() == 1 && e.visibility.value(0) == "hidden"))
        return;
    // Outer group: appearance and colour.
    out += "<g";
    if (e.visibility.size() == 1) {
        // visible throughout
    } else {
        out += " visibility=\"";
        out += e.visibility.value(0);
        out += '"';
    }
    if (!e.fill.empty()) {
        out += " fill=\"";
        out += e.fill.value(0);
        out += '"';
    }
    out += '>';
    if (e.visibility.size() > 1)
        appendAnimation(out, "animate", "visibility", nullptr, e.visibility, timing);
    if (e.fill.size() > 1) appendAnimation(out, "animate", "fill", nullptr, e.fill, timing);

    // One group for each part of the transform that is not the identity
    // throughout; the parts nest in the order translate, rotate, skewX, scale.
    int groups = 0;
    const auto part = [&](const Track& track, const char* type, std::string_view none) {
        if (identity(track, none)) return;
        ++groups;
        out += "<g transform=\"";
        out += type;
        out += '(';
        out += track.value(0);
        out += ")\">";
        if (track.size() > 1)
            appendAnimation(out, "animateTransform", "transform", type, track, timing);
    };
    part(e.translate, "translate", "0 0");
    part(e.rotate, "rotate", "0");
    part(e.skewX, "skewX", "0");
    part(e.scale, "scale", "1");

    switch (e.kind) {
    case Element::Kind::Text: {
        if (e.textHeight <= 0) break;
        out += "<g transform=\"translate(";
        appendTwips(out, e.textX);
        out += ' ';
        appendTwips(out, e.textY);
        out += ") scale(";
        // Glyph outlines are drawn on a 1024-unit cell.
        const double unitsPerTwip = 1024.0 / e.textHeight;
        appendNumber(out, 1 / (unitsPerTwip * swf::TwipsPerPixel), 8);
        out += ")\">";
        int64_t pen = 0;
        for (size_t i = 0; i < e.glyphOfCharacter.size(); ++i) {
            const uint32_t g = e.glyphOfCharacter[i];
            if (g < e.glyphs.size() && !m_glyphPaths[e.glyphs[g]].empty()) {
                out += "<use xlink:href=\"#g";
                appendInt(out, e.glyphs[g]);
                out += '"';
                if (pen != 0) {
                    out += " x=\"";
                    appendNumber(out, double(pen) * unitsPerTwip, 1);
                    out += '"';
                }
                out += "/>";
            }
            if (i < e.advances.size()) pen += e.advances[i];
            if (out.size() > (1 << 16)) {
                ok = ok && sink(out);
                out.clear();
            }
        }
        out += "</g>";
        break;
    }
    case Element::Kind::Drawing:
        out += "<path d=\"";
        if (e.toStart) {
            appendPath(out, e.outline, e.outline.points, e.anchor, swf::PixelsPerTwip, 2);
            out += "\"/>";
        } else if (!e.path.empty()) {
            out += e.path.value(0);
            out += "\">";
            if (e.path.size() > 1) appendAnimation(out, "animate", "d", nullptr, e.path, timing);
            out += "</path>";
        } else {
            out += "\"/>";
        }
        break;
    case Element::Kind::Picture:
        // The picture centred on the origin, a pixel to a unit.
        out += "<image x=\"";
        appendNumber(out, -e.pictureWidth / 2.0, 1);
        out += "\" y=\"";
        appendNumber(out, -e.pictureHeight / 2.0, 1);
        out += "\" width=\"";
        appendInt(out, e.pictureWidth);
        out += "\" height=\"";
        appendInt(out, e.pictureHeight);
        out += "\" preserveAspectRatio=\"none\" xlink:href=\"data:image/jpeg;base64,";
        ok = ok && sink(out);
        out.clear();
        ok = ok && sink(e.jpeg);
        out += "\"/>";
        break;
    case Element::Kind::None:
        break;
    }
    for (int i = 0; i < groups; ++i)
        out += "</g>";
    out += "</g>\n";
}

bool SvgMovieBuilder::write(const std::function<bool(std::string_view)>& sink) const {
    std::string out;
    out.reserve(1 << 17);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"";
    appendNumber(out, m_width * m_scale, 2);
    out += "\" height=\"";
    appendNumber(out, m_height * m_scale, 2);
    out += "\" viewBox=\"0 0 ";
    appendInt(out, m_width);
    out += ' ';
    appendInt(out, m_height);
    out += "\">\n<rect width=\"";
    appendInt(out, m_width);
    out += "\" height=\"";
    appendInt(out, m_height);
    out += "\" fill=\"";
    appendColor(out,
                {m_background & 0xFF, (m_background >> 8) & 0xFF, (m_background >> 16) & 0xFF});
    out += "\"/>\n";
    if (!m_glyphPaths.empty()) {
        out += "<defs>\n";
        for (size_t i = 0; i < m_glyphPaths.size(); ++i) {
            if (m_glyphPaths[i].empty()) continue;
            out += "<path id=\"g";
            appendInt(out, int64_t(i));
            out += "\" d=\"";
            out += m_glyphPaths[i];
            out += "\"/>\n";
            if (out.size() > (1 << 16)) {
                if (!sink(out)) return false;
                out.clear();
            }
        }
        out += "</defs>\n";
    }
    // Later placements are drawn over earlier ones, as the movie's depths are.
    std::vector<const Element*> order;
    for (const auto& e : m_elements)
        if (e && e->order >= 0) order.push_back(e.get());
    std::sort(order.begin(), order.end(),
              [](const Element* a, const Element* b) { return a->order < b->order; });
    // Every animation lasts the whole movie; frame k starts at k/N of it.
    Timing timing;
    timing.attributes = " dur=\"";
    appendNumber(timing.attributes, double(m_frames) / m_fps, 6);
    timing.attributes += m_repeat ? "s\" repeatCount=\"indefinite\"" : "s\" fill=\"freeze\"";
    // Within a twentieth of a frame of k/N.
    int decimals = 1;
    for (int32_t n = m_frames; n > 0; n /= 10)
        ++decimals;
    timing.keyOffsets.reserve(size_t(m_frames) + 1);
    for (int32_t k = 0; k < m_frames; ++k) {
        timing.keyOffsets.push_back(static_cast<uint32_t>(timing.keys.size()));
        appendNumber(timing.keys, double(k) / m_frames, decimals);
    }
    timing.keyOffsets.push_back(static_cast<uint32_t>(timing.keys.size()));
    bool ok = true;
    for (const Element* e : order) {
        writeElement(*e, timing, out, sink, ok);
        if (!ok) return false;
        if (out.size() > (1 << 16)) {
            if (!sink(out)) return false;
            out.clear();
        }
    }
    out += "</svg>\n";
    return sink(out);
}

SvgResult WriteSvgMovie(const SvgOptions& options) {
    SvgResult result;
    try {
        SvgMovieBuilder builder(Stage.repeat(), options.scale);
        CompileOptions compile;
        compile.observer = &builder;
        compile.progress = options.progress;
        compile.cancelRequested = options.cancelRequested;
        // The movie itself is not wanted: its tags are dropped as they are made.
        compile.inMemory = true;
        compile.discardMovie = true;
        const CompileResult compiled = CompileMovie(compile);
        result.warnings = compiled.warnings;
        result.frames = compiled.frames;
        if (compiled.cancelled) {
            result.cancelled = true;
            return result;
        }
        if (!compiled.written) {
            result.error = compiled.error;
            return result;
        }
        platform::ReplacingFile file(options.outputPath);
        if (!file.file()) {
            result.error = std::strerror(file.error());
            return result;
        }
        uint64_t bytes = 0;
        const bool ok = builder.write([&](std::string_view piece) {
            bytes += piece.size();
            return file.write(piece.data(), piece.size());
        });
        if (!ok || !file.commit()) {
            result.error =
                file.error() != 0 ? std::strerror(file.error()) : "the file could not be written";
            return result;
        }
        result.written = true;
        result.bytes = bytes;
    } catch (const std::bad_alloc&) {
        result.written = false;
        result.error = "out of memory";
    }
    return result;
}

} // namespace svg
