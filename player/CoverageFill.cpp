#include "player/CoverageFill.h"

#include <algorithm>
#include <cmath>

namespace player {
namespace {

// x * a / 255 for the four channels of a pixel, rounded as the raster engine
// rounds.
inline uint32_t byteMul(uint32_t x, uint32_t a) {
    uint32_t t = (x & 0xff00ff) * a;
    t = (t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8;
    t &= 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = x + ((x >> 8) & 0xff00ff) + 0x800080;
    x &= 0xff00ff00;
    return x | t;
}

} // namespace

void CoverageFill::begin(const QRect& area) {
    m_left = area.left();
    m_top = area.top();
    // One column more on the right: a line's area spills into the pixel
    // after the last it crosses.
    m_width = std::max(0, area.width()) + 2;
    m_height = std::max(0, area.height());
    m_cells.assign(size_t(m_width) * size_t(m_height), 0.f);
}

void CoverageFill::line(QPointF from, QPointF to) {
    // Each piece of the line within a pixel row adds, to the pixels it
    // crosses, the signed area left of it within the row; summed along the
    // row, the areas give each pixel's coverage. Single precision is ample
    // for the few hundred pixels an outline spans here.
    float x0 = float(from.x() - m_left), y0 = float(from.y() - m_top);
    float x1 = float(to.x() - m_left), y1 = float(to.y() - m_top);
    if (y0 == y1 || !std::isfinite(x0 + y0 + x1 + y1)) return;
    float dir = 1;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        dir = -1;
    }
    const float dxdy = (x1 - x0) / (y1 - y0);
    float x = x0;
    if (y0 < 0) {
        x -= y0 * dxdy;
        y0 = 0;
    }
    y1 = std::min(y1, float(m_height));
    const float limit = float(m_width) - 1.001f; // the extra column included
    for (int y = int(y0); float(y) < y1; ++y) {
        float* row = m_cells.data() + size_t(y) * size_t(m_width);
        const float dy = std::min(float(y + 1), y1) - std::max(float(y), y0);
        const float next = x + dxdy * dy;
        const float d = dy * dir;
        const float left = std::clamp(std::min(x, next), 0.f, limit);
        const float right = std::clamp(std::max(x, next), 0.f, limit);
        x = next;
        // Both are at least 0: truncation is the floor.
        const int l = int(left);
        const float leftFloor = float(l);
        const int r = int(right) + (float(int(right)) < right);
        if (r <= l + 1) {
            // Within one pixel: the part right of the line's middle.
            const float middle = 0.5f * (left + right) - leftFloor;
            row[l] += d - d * middle;
            row[l + 1] += d * middle;
            continue;
        }
        const float s = 1 / (right - left);
        const float leftPart = left - leftFloor;
        const float a0 = 0.5f * s * (1 - leftPart) * (1 - leftPart);
        const float rightPart = right - float(r) + 1;
        const float am = 0.5f * s * rightPart * rightPart;
        row[l] += d * a0;
        if (r == l + 2) {
            row[l + 1] += d * (1 - a0 - am);
        } else {
            const float a1 = s * (1.5f - leftPart);
            row[l + 1] += d * (a1 - a0);
            const float ds = d * s;
            for (int i = l + 2; i < r - 1; ++i)
                row[i] += ds;
            const float a2 = a1 + float(r - l - 3) * s;
            row[r - 1] += d * (1 - a2 - am);
        }
        row[r] += d * am;
    }
}

void CoverageFill::quad(QPointF from, QPointF control, QPointF to) {
    // Pieces enough to stay within a twentieth of a pixel of the curve: n
    // straight pieces stray at most |from - 2 control + to| / (4 n^2).
    const QPointF bend = from - 2 * control + to;
    const double bendLength = std::sqrt(QPointF::dotProduct(bend, bend));
    if (!std::isfinite(bendLength) || bendLength > 1e6) {
        line(from, to);
        return;
    }
    const int pieces = std::max(1, int(std::ceil(std::sqrt(bendLength / 0.2))));
    if (pieces == 1) {
        line(from, to);
        return;
    }
    QPointF last = from;
    for (int i = 1; i <= pieces; ++i) {
        const double t = double(i) / pieces, u = 1 - t;
        const QPointF p = i == pieces ? to : u * u * from + 2 * u * t * control + t * t * to;
        line(last, p);
        last = p;
    }
}

void CoverageFill::cubic(QPointF from, QPointF control1, QPointF control2, QPointF to) {
    // n straight pieces stray at most 3/4 of the larger second difference
    // of the control points over n^2; a twentieth of a pixel at most.
    const QPointF d1 = from - 2 * control1 + control2, d2 = control1 - 2 * control2 + to;
    const double bend =
        std::sqrt(std::max(QPointF::dotProduct(d1, d1), QPointF::dotProduct(d2, d2)));
    if (!std::isfinite(bend) || bend > 1e6) {
        line(from, to);
        return;
    }
    const int pieces = std::max(1, int(std::ceil(std::sqrt(bend * 15))));
    QPointF last = from;
    for (int i = 1; i <= pieces; ++i) {
        const double t = double(i) / pieces, u = 1 - t;
        const QPointF p = i == pieces ? to
                                      : u * u * u * from + 3 * u * u * t * control1 +
                                            3 * u * t * t * control2 + t * t * t * to;
        line(last, p);
        last = p;
    }
}

void CoverageFill::path(const QPainterPath& path, const QTransform& toDevice) {
    const bool affine = toDevice.type() != QTransform::TxProject;
    const double m11 = toDevice.m11(), m12 = toDevice.m12(), m21 = toDevice.m21(),
                 m22 = toDevice.m22(), dx = toDevice.dx(), dy = toDevice.dy();
    const auto map = [&](const QPainterPath::Element& e) {
        return affine ? QPointF(m11 * e.x + m21 * e.y + dx, m12 * e.x + m22 * e.y + dy)
                      : toDevice.map(QPointF(e.x, e.y));
    };
    QPointF start, last;
    bool open = false;
    const int count = path.elementCount();
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        const QPointF p = map(e);
        if (e.type == QPainterPath::MoveToElement) {
            if (open) line(last, start);
            start = last = p;
            open = true;
        } else if (e.type == QPainterPath::CurveToElement && i + 2 < count) {
            const QPointF to = map(path.elementAt(i + 2));
            cubic(last, p, map(path.elementAt(i + 1)), to);
            last = to;
            i += 2;
        } else {
            line(last, p);
            last = p;
        }
    }
    if (open) line(last, start);
}

void CoverageFill::fill(QImage& image, QRgb premultiplied, const QRect& clip) {
    const QRect area =
        QRect(m_left, m_top, m_width, m_height).intersected(clip).intersected(image.rect());
    if (area.isEmpty()) return;
    const bool opaque = qAlpha(premultiplied) == 255;
    const uint32_t rest = 255 - qAlpha(premultiplied);
    // The pixels the painter draws on, as they are: bits() would copy a
    // picture shared with another QImage and draw on the copy.
    uchar* const bits = const_cast<uchar*>(image.constBits());
    const qsizetype stride = image.bytesPerLine();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const float* row = m_cells.data() + size_t(y - m_top) * size_t(m_width) - m_left;
        QRgb* line = reinterpret_cast<QRgb*>(bits + stride * y);
        float sum = 0;
        // The pixels left of the clip count towards the sums.
        for (int x = m_left; x < area.left(); ++x)
            sum += row[x];
        for (int x = area.left(); x <= area.right();) {
            sum += row[x];
            const uint32_t coverage = uint32_t(std::min(std::abs(sum), 1.f) * 255 + 0.5f);
            if (coverage == 0) {
                // Outside the outline until the next cell an edge touches.
                for (++x; x <= area.right() && row[x] == 0; ++x) {
                }
                continue;
            }
            if (coverage == 255) {
                // Inside it, likewise.
                do {
                    line[x] = opaque ? premultiplied : premultiplied + byteMul(line[x], rest);
                    ++x;
                } while (x <= area.right() && row[x] == 0);
                continue;
            }
            const uint32_t c = byteMul(premultiplied, coverage);
            line[x] = c + byteMul(line[x], 255 - qAlpha(c));
            ++x;
        }
    }
}

} // namespace player
