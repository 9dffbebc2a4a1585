#pragma once
// Movie coordinates are in twips, 20 to the pixel. The helpers keep the
// argument's arithmetic type, so an integer stays an integer (a division
// truncates toward zero as plain `/` does) and a floating value stays exact;
// callers that round do so themselves.

#include <cstdint>
#include <type_traits>

namespace swf {

inline constexpr int32_t TwipsPerPixel = 20;
inline constexpr double PixelsPerTwip = 1.0 / TwipsPerPixel;

// Pixels to twips. Integers are not widened: pass an int64_t where the
// product may pass 32 bits.
template <typename T>
requires std::is_arithmetic_v<T>
constexpr auto ToTwips(T pixels) {
    return pixels * TwipsPerPixel;
}

// Twips to pixels: exact for floating values, truncated toward zero for
// integers.
template <typename T>
requires std::is_arithmetic_v<T>
constexpr auto FromTwips(T twips) {
    return twips / TwipsPerPixel;
}

} // namespace swf
