#include "editor/model/Outline.h"

#include "editor/model/MainUnit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

TPoint32* point(int32_t i) {
    return static_cast<TPoint32*>(PointList.GetItem(i));
}

void addPoint(int32_t x, int32_t y) {
    auto* p = static_cast<TPoint32*>(PointList.Add());
    p->x = x;
    p->y = y;
}

} // namespace

int64_t ClampOutlineSide(int64_t side) {
    return std::clamp(side, -MaxOutlineSide, MaxOutlineSide);
}

int32_t ClampTwips(int64_t twips) {
    constexpr int64_t limit = (int64_t(1) << 30) - 1;
    return static_cast<int32_t>(twips < -limit ? -limit : (twips > limit ? limit : twips));
}

FixedAngle FixedCosSin(int32_t degrees) {
    const double a = degrees * std::numbers::pi / 180.0;
    return {static_cast<int32_t>(std::cos(a) * 65536.0),
            static_cast<int32_t>(std::sin(a) * 65536.0)};
}

FixedAngle OutlineTurn(int32_t rotationTenths) {
    return FixedCosSin(static_cast<int32_t>(-int64_t(rotationTenths) / 10));
}

void AddRectPoints(int32_t hx, int32_t hy) {
    addPoint(-hx, -hy);
    addPoint(hx, -hy);
    addPoint(hx, hy);
    addPoint(-hx, hy);
    addPoint(-hx, -hy);
}

void AddEllipsePoints(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f) {
    const int32_t steps[16][2] = {{-c, +d}, {-e, 0},  {-e, 0},  {-c, -d}, {-c, -d}, {0, -f},
                                  {0, -f},  {+c, -d}, {+c, -d}, {+e, 0},  {+e, 0},  {+c, +d},
                                  {+c, +d}, {0, +f},  {0, +f},  {-c, +d}};
    int32_t x = a, y = b;
    addPoint(x, y);
    for (const auto& step : steps) {
        x += step[0];
        y += step[1];
        addPoint(x, y);
    }
}

void AddEllipseOutline(int64_t width, int64_t height, int32_t unitsPerPixel) {
    const double sin45 = std::sin(0.7853981633974483);
    const double k = 2 * sin45 + 1;
    // Half sizes in whole pixels, then in units, as the outline always took them.
    const int64_t rx = std::llabs(width) / 2 * unitsPerPixel;
    const int64_t ry = std::llabs(height) / 2 * unitsPerPixel;
    const auto e = static_cast<int32_t>(static_cast<double>(rx) / k);
    const auto f = static_cast<int32_t>(static_cast<double>(ry) / k);
    const auto c = static_cast<int32_t>(sin45 * e);
    const auto d = static_cast<int32_t>(sin45 * f);
    const auto a =
        static_cast<int32_t>(sin45 * static_cast<double>(std::llabs(width)) * 0.5 * unitsPerPixel);
    const auto b =
        static_cast<int32_t>(sin45 * static_cast<double>(std::llabs(height)) * 0.5 * unitsPerPixel);
    AddEllipsePoints(a, b, c, d, e, f);
}

void RotatePoints(int32_t c, int32_t s) {
    for (int32_t i = 0; i < PointList.Count; ++i) {
        TPoint32& p = *point(i);
        const int64_t x = p.x, y = p.y;
        p.x = static_cast<int32_t>((c * x - s * y) / 65536);
        p.y = static_cast<int32_t>((s * x + c * y) / 65536);
    }
}

void ToRelativePoints(int32_t x0, int32_t y0) {
    int32_t prevX = 0, prevY = 0;
    for (int32_t i = 0; i < PointList.Count; ++i) {
        TPoint32& p = *point(i);
        const int32_t x = p.x, y = p.y;
        if (i == 0) {
            p.x = x + x0;
            p.y = y + y0;
        } else {
            p.x = x - prevX;
            p.y = y - prevY;
        }
        prevX = x;
        prevY = y;
    }
}

void OffsetPoints(int32_t dx, int32_t dy) {
    for (int32_t i = 0; i < PointList.Count; ++i) {
        TPoint32& p = *point(i);
        p.x += dx;
        p.y += dy;
    }
}
