#include "export/ChangedRect.h"

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace movie_export {

QRect ChangedRect(const QImage& before, const QImage& after) {
    const int width = before.width();
    int top = -1, bottom = -1, left = width, right = -1;
    for (int y = 0; y < before.height(); ++y) {
        const auto* a = reinterpret_cast<const uint32_t*>(before.constScanLine(y));
        const auto* b = reinterpret_cast<const uint32_t*>(after.constScanLine(y));
        if (std::memcmp(a, b, size_t(width) * 4) == 0) continue;
        if (top < 0) top = y;
        bottom = y;
        // The row differs somewhere, so both searches stop inside it.
        int x0 = 0;
        while (a[x0] == b[x0])
            ++x0;
        int x1 = width - 1;
        while (a[x1] == b[x1])
            --x1;
        left = std::min(left, x0);
        right = std::max(right, x1);
    }
    if (top < 0) return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

void CopyRect(const QImage& from, const QRect& rect, QImage& into) {
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        std::memcpy(into.scanLine(y) + rect.x() * 4, from.constScanLine(y) + rect.x() * 4,
                    size_t(rect.width()) * 4);
}

} // namespace movie_export
