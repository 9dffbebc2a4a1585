#pragma once
// Pictures on their way into a movie: conversion to 24 bits when inserted,
// scaling down to the size they are shown at, the temporary JPEG file, and the
// bitmap with its bitmap-filled rectangle shape.

#include "editor/model/Objekt.h"

#include <cstdint>
#include <string>
#include <vector>

class FObjCollection;

int32_t DibWidth(const DibRecord& d);
int32_t DibHeight(const DibRecord& d);
int32_t DibBitCount(const DibRecord& d);
int64_t DibColorCount(const DibRecord& d); // 2 to the power of the bit count

// Converts a picture of 1, 4, 8, 16 or 32 bits to 24 bits in place; a 24-bit
// picture, or one the library cannot make a new picture for, stays as it was.
// 1-bit pictures become black and white, whatever their palette.
void ConvertDibTo24(DibRecord& d, int targetBits);

// Releases a record's blocks and palette without the library, then zeroes it.
void FreeDibMemory(DibRecord& d);

// A new 24-bit picture of tw x th pixels, nearest neighbour from `src` (any
// depth). No pixel rows (null Bits) when it cannot be made.
DibRecord ScaleDib(const DibRecord& src, int32_t tw, int32_t th);

struct BoxSize {
    int32_t w, h;
    bool operator==(const BoxSize&) const = default;
};
// The largest box with the picture's proportions inside w x h (truncated).
BoxSize FitToAspect(int32_t w, int32_t h, int32_t pw, int32_t ph);

// A fresh file temporary folder + prefix + n + extension, for the lowest n
// whose name is free. The file is created private to the user (empty,
// exclusively, never through a link someone else placed there; the same
// primitive the replacing writer uses), so that nobody can slip another file
// in under that name; empty result when no name could be created.
std::string MakeTempFileName(const std::string& prefix, const std::string& extension);

// The size a picture is exported at: the larger of its two fitted boxes,
// at least 1 x 1, never larger than the picture itself.
BoxSize PictureExportSize(const Objekt& o, int32_t pw, int32_t ph);

// Starts the picture element `o` in `movie`: exports its picture as JPEG,
// adds the DefineBitsJPEG2 and the bitmap-filled DefineShape, and sets
// PicWidth, PicHeight and PictureTag. The JPEG bytes are appended to
// `jpegBlocks`, which must outlive the writing of the movie. Returns false
// (and adds nothing) when the picture could not be exported.
bool StartPictureElement(Objekt& o, FObjCollection& movie, int32_t stageWidth, int32_t stageHeight,
                         std::vector<std::vector<uint8_t>>& jpegBlocks);
