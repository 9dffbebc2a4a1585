#pragma once
// RGB to 4:2:0 YCbCr with the BT.601 matrix in limited range (Y 16-235,
// Cb and Cr 16-240), which is what browsers assume for a VP9 video that says
// nothing else. Each chroma sample is the mean of its 2 x 2 pixels.

#include <cstddef>
#include <cstdint>

namespace webm {

// Pixels are 32-bit 0xAARRGGBB words in the machine's byte order (the layout
// of QImage's RGB32 and ARGB32_Premultiplied), premultiplied by alpha; a pixel
// that is not opaque is laid over `background` (0xRRGGBB).
struct RgbFrame {
    const uint32_t* pixels = nullptr;
    std::ptrdiff_t stride = 0; // words from one row to the next
    int width = 0, height = 0;
};

struct YuvPlanes {
    uint8_t* y = nullptr;
    uint8_t* u = nullptr;
    uint8_t* v = nullptr;
    int strideY = 0, strideU = 0, strideV = 0;
    int width = 0, height = 0; // even, at least the frame's size
};

// Converts `frame` into `out`; the columns and rows of `out` beyond the
// frame's size (an odd width or height padded to even) get the background.
void ConvertToI420(const RgbFrame& frame, uint32_t background, const YuvPlanes& out);

} // namespace webm
