// PNG files through libpng, decoded from memory straight into the record's
// rows. Palette and low-depth grey pictures keep their indexes; the rest come
// back as 24 bits with any transparency laid over white.

#include "dib_internal.h"

#include <csetjmp>
#include <cstdlib>

#include <png.h>

namespace pixmill {
namespace {

// Largest ancillary chunk libpng may buffer (text, profiles): far above any
// real one, far below the pixel bound.
constexpr png_alloc_size_t kMaxChunkBytes = 8u * 1024u * 1024u;

struct Source {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void readData(png_structp png, png_bytep out, png_size_t n) {
    auto* src = static_cast<Source*>(png_get_io_ptr(png));
    if (n > src->size - src->pos) png_error(png, "truncated");
    std::memcpy(out, src->data + src->pos, n);
    src->pos += n;
}

void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

} // namespace
} // namespace pixmill

using namespace pixmill;

extern "C" int pixmill_read_png(const uint8_t* data, size_t size, DibRecord* rec) {
    if (!rec) return 0;
    std::memset(rec, 0, sizeof *rec);
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return 0;

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (!png) return 0;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return 0;
    }
    Source src{data, size, 0};
    uint8_t** volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::free(rows);
        return fail(rec);
    }
    png_set_read_fn(png, &src, readData);
    png_set_user_limits(png, PIXMILL_MAX_SIDE, PIXMILL_MAX_SIDE);
    png_set_chunk_cache_max(png, 1000);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_read_info(png, info);

    png_uint_32 w = 0;
    png_uint_32 h = 0;
    int depth = 0;
    int colourType = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colourType, nullptr, nullptr, nullptr);
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

    int outBits = 24;
    enum { Palette, Grey, Colour } kind = Colour;
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        kind = Palette;
        outBits = depth == 2 ? 8 : depth;
        if (depth == 2) png_set_packing(png);
    } else if (colourType == PNG_COLOR_TYPE_GRAY && !hasTrns) {
        kind = Grey;
        outBits = (depth == 1 || depth == 4) ? depth : 8;
        if (depth == 2) png_set_expand_gray_1_2_4_to_8(png);
        if (depth == 16) png_set_strip_16(png);
    } else {
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        if ((colourType & PNG_COLOR_MASK_ALPHA) || hasTrns) {
            png_color_16 white{};
            white.red = white.green = white.blue = white.gray = 255;
            png_set_background(png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        }
        png_set_bgr(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    if (!allocDib(rec, static_cast<int>(w), static_cast<int>(h), outBits)) png_error(png, "size");
    if (png_get_rowbytes(png, info) > static_cast<size_t>(rec->BytesPerRow))
        png_error(png, "row size");

    if (kind == Palette) {
        png_colorp colours = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &colours, &count);
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        png_color_16p trnsColour = nullptr;
        if (hasTrns) png_get_tRNS(png, info, &alpha, &alphaCount, &trnsColour);
        for (int i = 0; i < count && i < 256; ++i) {
            const unsigned a = (alpha && i < alphaCount) ? alpha[i] : 255u;
            setColour(rec, i, overWhite(colours[i].red, a), overWhite(colours[i].green, a),
                      overWhite(colours[i].blue, a));
        }
    } else if (kind == Grey) {
        setGreyPalette(rec);
    }
    finishDib(rec);

    rows = static_cast<uint8_t**>(std::malloc(sizeof(uint8_t*) * h));
    if (!rows) png_error(png, "memory");
    for (png_uint_32 y = 0; y < h; ++y)
        rows[y] = rowFromTop(rec, static_cast<int>(y));
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(rows);
    return 1;
}
