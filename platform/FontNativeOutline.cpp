#include "platform/FontNativeOutline.h"

#include "platform/GlyphOutline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace platform {

namespace {

// Writes the polygons of one outline; see appendNativeOutline.
class NativeOutlineWriter {
public:
    NativeOutlineWriter(std::vector<std::uint8_t>& out, double scale)
        : m_out(out), m_scale(scale) {}

    bool write(const FT_Outline& outline);

private:
    struct Fx {
        std::int32_t x;
        std::int32_t y;
        bool operator==(const Fx&) const = default;
    };

    Fx toFixed(const FT_Vector& v) const { return {fixed(v.x), fixed(v.y)}; }
    std::int32_t fixed(FT_Pos units) const {
        double v = static_cast<double>(units) * m_scale;
        v = v < 0 ? v - 0.5 : v + 0.5;
        constexpr double lo = std::numeric_limits<std::int32_t>::min();
        constexpr double hi = std::numeric_limits<std::int32_t>::max();
        return static_cast<std::int32_t>(std::clamp(v, lo, hi));
    }
    static Fx midpoint(Fx a, Fx b) {
        return {static_cast<std::int32_t>((std::int64_t{a.x} + b.x) >> 1),
                static_cast<std::int32_t>((std::int64_t{a.y} + b.y) >> 1)};
    }

    void put16(std::size_t at, std::uint16_t v) {
        m_out[at] = static_cast<std::uint8_t>(v);
        m_out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    void put32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            m_out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void appendPoint(Fx p) {
        const std::size_t at = m_out.size();
        m_out.resize(at + kPointSize);
        put32(at, static_cast<std::uint32_t>(p.x));
        put32(at + 4, static_cast<std::uint32_t>(p.y));
    }

    void beginRecord(std::uint16_t type) {
        endRecord();
        m_recordAt = m_out.size();
        m_recordType = type;
        m_recordCount = 0;
        m_out.resize(m_recordAt + kCurveHeaderSize);
        put16(m_recordAt, type);
    }
    void addToRecord(Fx p) {
        appendPoint(p);
        ++m_recordCount;
    }
    void endRecord() {
        if (m_recordType != 0) put16(m_recordAt + 2, m_recordCount);
        m_recordType = 0;
    }

    void lineTo(Fx p) {
        if (m_recordType != kPrimLine) beginRecord(kPrimLine);
        addToRecord(p);
        m_cur = p;
    }
    // An off-curve point of a quadratic run; the run stays open until an
    // on-curve point ends it.
    void conicControl(Fx p) {
        if (!m_splineOpen) {
            beginRecord(kPrimQSpline);
            m_splineOpen = true;
        }
        addToRecord(p);
        m_lastConic = p;
    }
    void quadTo(Fx control, Fx end) {
        beginRecord(kPrimQSpline);
        addToRecord(control);
        addToRecord(end);
        endRecord();
        m_cur = end;
    }
    void onCurve(Fx p, bool closing);
    void cubicTo(Fx c1, Fx c2, Fx end);

    std::vector<std::uint8_t>& m_out;
    double m_scale;
    std::size_t m_recordAt = 0;
    std::uint16_t m_recordType = 0;
    std::uint16_t m_recordCount = 0;
    bool m_splineOpen = false;
    Fx m_cur{0, 0};
    Fx m_lastConic{0, 0};
    Fx m_cubic[2]{};
    int m_cubicCount = 0;
};

void NativeOutlineWriter::onCurve(Fx p, bool closing) {
    if (m_cubicCount == 2) {
        cubicTo(m_cubic[0], m_cubic[1], p);
        m_cubicCount = 0;
        return;
    }
    if (m_cubicCount == 1) { // a lone cubic control: take it as quadratic
        m_cubicCount = 0;
        quadTo(m_cubic[0], p);
        return;
    }
    if (m_splineOpen) {
        addToRecord(p);
        endRecord();
        m_splineOpen = false;
        m_cur = p;
        return;
    }
    // The closing edge back to the start is left out only when the contour
    // already ends there.
    if (closing && p == m_cur) return;
    lineTo(p);
}

// Cubic segments (CFF-flavoured faces) become quadratic pieces, enough of
// them to keep within a quarter pixel of the cubic at the design size.
void NativeOutlineWriter::cubicTo(Fx c1, Fx c2, Fx end) {
    const double p0x = m_cur.x, p0y = m_cur.y;
    const double p1x = c1.x, p1y = c1.y, p2x = c2.x, p2y = c2.y;
    const double p3x = end.x, p3y = end.y;
    // Deviation of the single-quadratic approximation: sqrt(3)/36 * |p3 - 3 p2 + 3 p1 - p0|.
    const double dx = p3x - 3 * p2x + 3 * p1x - p0x;
    const double dy = p3y - 3 * p2y + 3 * p1y - p0y;
    const double error = std::sqrt(3.0) / 36.0 * std::hypot(dx, dy);
    const double tolerance = 0.25 * 65536.0;
    int pieces = static_cast<int>(std::ceil(std::cbrt(error / tolerance)));
    pieces = std::clamp(pieces, 1, 32);

    auto at = [&](double t, double a, double b, double c, double d) {
        const double u = 1 - t;
        return u * u * u * a + 3 * u * u * t * b + 3 * u * t * t * c + t * t * t * d;
    };
    auto slope = [&](double t, double a, double b, double c, double d) {
        const double u = 1 - t;
        return 3 * (u * u * (b - a) + 2 * u * t * (c - b) + t * t * (d - c));
    };
    auto toFx = [](double x, double y) {
        auto r = [](double v) {
            v = v < 0 ? v - 0.5 : v + 0.5;
            return static_cast<std::int32_t>(
                std::clamp<double>(v, std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max()));
        };
        return Fx{r(x), r(y)};
    };
    for (int i = 0; i < pieces; ++i) {
        const double t0 = static_cast<double>(i) / pieces;
        const double t1 = static_cast<double>(i + 1) / pieces;
        const double h = (t1 - t0) / 3.0;
        // Sub-cubic control points from the end points and their tangents.
        const double a0x = at(t0, p0x, p1x, p2x, p3x), a0y = at(t0, p0y, p1y, p2y, p3y);
        const double a3x = at(t1, p0x, p1x, p2x, p3x), a3y = at(t1, p0y, p1y, p2y, p3y);
        const double a1x = a0x + h * slope(t0, p0x, p1x, p2x, p3x);
        const double a1y = a0y + h * slope(t0, p0y, p1y, p2y, p3y);
        const double a2x = a3x - h * slope(t1, p0x, p1x, p2x, p3x);
        const double a2y = a3y - h * slope(t1, p0y, p1y, p2y, p3y);
        const double qx = (3 * (a1x + a2x) - a0x - a3x) / 4;
        const double qy = (3 * (a1y + a2y) - a0y - a3y) / 4;
        const Fx pieceEnd = i + 1 == pieces ? end : toFx(a3x, a3y);
        quadTo(toFx(qx, qy), pieceEnd);
    }
}

bool NativeOutlineWriter::write(const FT_Outline& outline) {
    if (outline.n_contours < 0 || outline.n_points < 0) return false;
    int first = 0;
    for (int c = 0; c < outline.n_contours; ++c) {
        const int last = outline.contours[c];
        if (last < first || last >= outline.n_points) return false;
        const int n = last - first + 1;
        const FT_Vector* pts = outline.points + first;
        const unsigned char* tags = reinterpret_cast<const unsigned char*>(outline.tags) + first;

        int startIndex = -1;
        for (int i = 0; i < n; ++i) {
            if (FT_CURVE_TAG(tags[i]) == FT_CURVE_TAG_ON) {
                startIndex = i;
                break;
            }
        }
        Fx start;
        int from; // index of the first point after the start
        if (startIndex >= 0) {
            start = toFixed(pts[startIndex]);
            from = startIndex + 1;
        } else {
            // No on-curve point at all: the contour starts at the point that
            // its first two off-curve points imply.
            start = midpoint(toFixed(pts[0]), toFixed(pts[n > 1 ? 1 : 0]));
            from = 1;
        }

        const std::size_t headerAt = m_out.size();
        m_out.resize(headerAt + kPolygonHeaderSize);
        put32(headerAt + 4, kPolygonType);
        put32(headerAt + 8, static_cast<std::uint32_t>(start.x));
        put32(headerAt + 12, static_cast<std::uint32_t>(start.y));
        m_cur = start;
        m_recordType = 0;
        m_splineOpen = false;
        m_cubicCount = 0;

        const int steps = startIndex >= 0 ? n - 1 : n;
        for (int s = 0; s < steps; ++s) {
            const int i = (from + s) % n;
            const Fx p = toFixed(pts[i]);
            switch (FT_CURVE_TAG(tags[i])) {
            case FT_CURVE_TAG_ON:
                onCurve(p, false);
                break;
            case FT_CURVE_TAG_CONIC:
                if (m_cubicCount > 0) // mixed flavours: end the cubic midway
                    onCurve(midpoint(m_cubic[m_cubicCount - 1], p), false);
                conicControl(p);
                break;
            default:              // cubic control
                if (m_splineOpen) // mixed flavours: end the conic run midway
                    onCurve(midpoint(m_lastConic, p), false);
                if (m_cubicCount == 2) onCurve(midpoint(m_cubic[1], p), false);
                m_cubic[m_cubicCount++] = p;
                break;
            }
        }
        onCurve(start, true);
        endRecord();
        put32(headerAt, static_cast<std::uint32_t>(m_out.size() - headerAt));
        first = last + 1;
    }
    return true;
}

} // namespace

bool appendNativeOutline(const FT_Outline& outline, double scale, std::vector<std::uint8_t>& out) {
    // Upper bound: every point in its own record, plus the closing edges
    // and cubic pieces, which grow the buffer further when present.
    if (outline.n_points > 0 && outline.n_contours > 0)
        out.reserve(out.size() + std::size_t(outline.n_points) * (kPointSize + kCurveHeaderSize) +
                    std::size_t(outline.n_contours) *
                        (kPolygonHeaderSize + kCurveHeaderSize + kPointSize));
    NativeOutlineWriter writer(out, scale);
    return writer.write(outline);
}

} // namespace platform
