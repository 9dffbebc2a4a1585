#include "export/webm/Yuv420.h"

#include <cassert>
#include <vector>

namespace webm {

namespace {

// BT.601 limited-range coefficients in 16.16 fixed point:
// Y = 16 + 219/255 (0.299 R + 0.587 G + 0.114 B), Cb and Cr scaled by 224/255.
constexpr int YR = 16829, YG = 33039, YB = 6416;
constexpr int UR = -9714, UG = -19070, UB = 28784;
constexpr int VR = 28784, VG = -24103, VB = -4681;

inline uint32_t overBackground(uint32_t pixel, uint32_t background) {
    const uint32_t alpha = pixel >> 24;
    if (alpha == 255) return pixel;
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = (pixel >> shift) & 0xFF, b = (background >> shift) & 0xFF;
        const uint32_t mixed = c + (b * (255 - alpha) + 127) / 255;
        out |= (mixed > 255 ? 255 : mixed) << shift;
    }
    return out;
}

inline uint8_t luma(uint32_t p) {
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return static_cast<uint8_t>((YR * r + YG * g + YB * b + (16 << 16) + 32768) >> 16);
}

} // namespace

void ConvertToI420(const RgbFrame& frame, uint32_t background, const YuvPlanes& out) {
    assert(out.width % 2 == 0 && out.height % 2 == 0);
    assert(frame.width <= out.width && frame.height <= out.height);
    background &= 0xFFFFFF;
    // Two rows at a time, opaque and padded to the output's width.
    std::vector<uint32_t> rows(2 * static_cast<std::size_t>(out.width));
    for (int y = 0; y < out.height; y += 2) {
        for (int k = 0; k < 2; ++k) {
            uint32_t* row = rows.data() + k * out.width;
            const int source = y + k;
            int x = 0;
            if (source < frame.height) {
                const uint32_t* in = frame.pixels + source * frame.stride;
                for (; x < frame.width; ++x)
                    row[x] = overBackground(in[x], background) & 0xFFFFFF;
            }
            for (; x < out.width; ++x)
                row[x] = background;
            uint8_t* lumaRow = out.y + static_cast<std::ptrdiff_t>(source) * out.strideY;
            for (x = 0; x < out.width; ++x)
                lumaRow[x] = luma(row[x]);
        }
        const uint32_t* top = rows.data();
        const uint32_t* bottom = top + out.width;
        uint8_t* u = out.u + static_cast<std::ptrdiff_t>(y / 2) * out.strideU;
        uint8_t* v = out.v + static_cast<std::ptrdiff_t>(y / 2) * out.strideV;
        for (int x = 0; x < out.width; x += 2) {
            int r = 0, g = 0, b = 0;
            for (const uint32_t p : {top[x], top[x + 1], bottom[x], bottom[x + 1]}) {
                r += (p >> 16) & 0xFF;
                g += (p >> 8) & 0xFF;
                b += p & 0xFF;
            }
            // Sums of four pixels: two more bits to shift away.
            u[x / 2] =
                static_cast<uint8_t>((UR * r + UG * g + UB * b + (128 << 18) + (1 << 17)) >> 18);
            v[x / 2] =
                static_cast<uint8_t>((VR * r + VG * g + VB * b + (128 << 18) + (1 << 17)) >> 18);
        }
    }
}

} // namespace webm
