#pragma once
// What the frame formats that store only the part of a frame that changed
// (GIF, WebP, APNG) share: finding that part, and keeping the picture shown
// so far up to date.

#include <QRect>

class QImage;

namespace movie_export {

// The bounding box of the pixels that differ between two frames of one size
// and 32-bit format; empty when none does.
QRect ChangedRect(const QImage& before, const QImage& after);

// Copies the pixels of `rect` from `from` into `into` (same size and format).
void CopyRect(const QImage& from, const QRect& rect, QImage& into);

} // namespace movie_export
