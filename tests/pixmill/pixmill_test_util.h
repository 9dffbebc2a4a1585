#pragma once
// Helpers shared by the image library tests: reading a record's pixels as
// colours (through the palette for indexed pictures) and a fresh temp folder.

#include "common/TempDir.h"
#include "image_writers.h"
#include "pixmill.h"

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace pixtest {

inline const PixmillRgbQuad* tableOf(const DibRecord& rec) {
    return reinterpret_cast<const PixmillRgbQuad*>(reinterpret_cast<const uint8_t*>(rec.Info) +
                                                   sizeof(PixmillBitmapInfoHeader));
}

// The colour the record shows at (x, y), y counted from the top.
inline Rgb shownAt(const DibRecord& rec, int x, int yTop) {
    const int y = rec.Info->biHeight - 1 - yTop;
    const int v = getpixel(&rec, x, y);
    if (rec.Info->biBitCount <= 8) {
        const PixmillRgbQuad& q = tableOf(rec)[v];
        return {q.rgbRed, q.rgbGreen, q.rgbBlue};
    }
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16)};
}

inline bool allZero(const DibRecord& rec) {
    const auto* p = reinterpret_cast<const uint8_t*>(&rec);
    for (size_t i = 0; i < sizeof rec; ++i)
        if (p[i]) return false;
    return true;
}

// A record released at the end of the scope.
struct ScopedDib {
    DibRecord rec{};
    ~ScopedDib() { deldib(&rec); }
    DibRecord* operator&() { return &rec; }
};

using TempDir = movitest::TempDir;

} // namespace pixtest
