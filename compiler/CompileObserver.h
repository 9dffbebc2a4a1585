#pragma once
// A listener to the compiler's decisions. While the compiler builds the movie
// it hands over what each frame's tags hold (the definitions, placements,
// matrices, morph ratios, text colours and removals), so that a writer of
// another format shows exactly what the movie shows without reading it back.
// Elements are numbered by their index in the element list; calls come in
// frame order, and the calls of one frame come before its frameEnded.

#include <cstdint>
#include <span>

class FShape;

// A placement matrix as the movie holds it: scale and rotate/skew in 16.16
// fixed point, translation in twips. A point (x, y) goes to
// (x * scaleX + y * rotateSkew1 + translateX, x * rotateSkew0 + y * scaleY + translateY).
struct MovieMatrix {
    int32_t scaleX = 65536, scaleY = 65536;
    int32_t rotateSkew0 = 0, rotateSkew1 = 0;
    int32_t translateX = 0, translateY = 0;
    bool operator==(const MovieMatrix&) const = default;
};

// A colour with alpha, each channel 0..255.
struct MovieColor {
    int32_t red = 0, green = 0, blue = 0, alpha = 255;
    bool operator==(const MovieColor&) const = default;
};

// A text as defined in one frame: glyph i stands at pen position x plus the
// advances before it, on the line y (twips, in the text's own space), its
// outline scaled from the 1024-unit cell to `height` twips.
struct MovieText {
    std::span<const int32_t> advances; // twips, one per character
    int32_t x = 0, y = 0;
    int32_t height = 0;
    MovieColor color;
};

class CompileObserver {
public:
    virtual ~CompileObserver() = default;
    // Before the first frame: stage size in pixels, frames per second, the
    // background colour (0x00BBGGRR) and the number of frames.
    virtual void movieStarted(int32_t width, int32_t height, int32_t fps, int32_t background,
                              int32_t frames) = 0;
    // A glyph outline of a text element, in the 1024-unit cell; the glyphs of
    // an element are numbered from 0 in the order of these calls.
    virtual void glyphBuilt(int32_t element, const FShape& outline) = 0;
    // The text's characters, each as the number of its glyph.
    virtual void textLaidOut(int32_t element, std::span<const uint32_t> glyphOfCharacter) = 0;
    // The text defined (again) in this frame; a placement follows.
    virtual void textDefined(int32_t element, const MovieText& text) = 0;
    // A drawing object's morph shape: its start and end outlines (twips,
    // record for record alike) and its fill colour at either end.
    virtual void drawingDefined(int32_t element, const FShape& start, const FShape& end,
                                MovieColor startColor, MovieColor endColor) = 0;
    // A picture: the JPEG bytes the movie embeds and their size in pixels;
    // the picture is centred on the element's origin, one pixel to a stage pixel.
    virtual void pictureDefined(int32_t element, std::span<const uint8_t> jpeg, int32_t width,
                                int32_t height) = 0;
    // The element placed in this frame, or moved: its matrix (absent for a
    // drawing object, whose outline is in stage coordinates) and a drawing
    // object's morph ratio (0..65535; -1 for other kinds).
    virtual void placed(int32_t element, const MovieMatrix* matrix, int32_t ratio) = 0;
    // The element taken off the stage for good.
    virtual void removed(int32_t element) = 0;
    // Frame `frame` (from 0) is complete.
    virtual void frameEnded(int32_t frame) = 0;
};
