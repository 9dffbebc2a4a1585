#pragma once
// Colour values as the editor stores them: a COLORREF (0x00BBGGRR, red in
// the low byte) or a system colour (high bit set, the role's index in the low
// byte, such as 0x80000008 for window text).

#include <QColor>

#include <cstdint>

// True for a system colour constant.
constexpr bool IsSystemColor(int32_t value) {
    return (static_cast<uint32_t>(value) & 0x80000000u) != 0;
}

// A COLORREF stays as it is. A system colour becomes the COLORREF of its
// role in the application's current palette (window text, window, button
// face, highlight, ...); roles the palette lacks, and every role when no
// application object exists, come from a fixed table of the classic colours.
// An unknown index gives the window text colour.
int32_t ResolveSystemColor(int32_t value);

// The colour a value stands for, resolved as above (the high byte of a
// COLORREF is ignored).
QColor ColorRefToQColor(int32_t value);

// The COLORREF of a colour (alpha dropped).
int32_t QColorToColorRef(const QColor& color);
