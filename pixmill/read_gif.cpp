// GIF files through giflib, read from memory: the first image only, placed on
// the logical screen when it fits there. The transparent colour becomes white.

#include "dib_internal.h"

#include <cstdlib>
#include <cstring>

#include <gif_lib.h>

namespace pixmill {
namespace {

struct Source {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

int readData(GifFileType* gif, GifByteType* out, int n) {
    auto* src = static_cast<Source*>(gif->UserData);
    if (n <= 0) return 0;
    size_t k = static_cast<size_t>(n);
    if (k > src->size - src->pos) k = src->size - src->pos;
    std::memcpy(out, src->data + src->pos, k);
    src->pos += k;
    return static_cast<int>(k);
}

struct GifCloser {
    GifFileType* gif;
    uint8_t* line = nullptr;
    ~GifCloser() {
        std::free(line);
        int err = 0;
        if (gif) DGifCloseFile(gif, &err);
    }
};

} // namespace
} // namespace pixmill

using namespace pixmill;

extern "C" int pixmill_read_gif(const uint8_t* data, size_t size, DibRecord* rec) {
    if (!rec) return 0;
    std::memset(rec, 0, sizeof *rec);
    if (!data || size < 13) return 0;
    Source src{data, size, 0};
    int err = 0;
    GifCloser g{DGifOpen(&src, readData, &err)};
    GifFileType* gif = g.gif;
    if (!gif) return 0;

    int transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) != GIF_OK) return 0;
        if (type == IMAGE_DESC_RECORD_TYPE) break;
        if (type != EXTENSION_RECORD_TYPE) return 0; // the trailer, or garbage, before any image
        int code = 0;
        GifByteType* ext = nullptr;
        if (DGifGetExtension(gif, &code, &ext) != GIF_OK) return 0;
        if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4 && (ext[1] & 1))
            transparent = ext[4];
        while (ext) {
            if (DGifGetExtensionNext(gif, &ext) != GIF_OK) return 0;
        }
    }
    if (DGifGetImageDesc(gif) != GIF_OK) return 0;
    const GifImageDesc& desc = gif->Image;
    if (desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 || desc.Top < 0) return 0;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;

    // The image is shown on the logical screen when it lies inside it.
    int w = desc.Width;
    int h = desc.Height;
    int left = 0;
    int top = 0;
    if (gif->SWidth >= desc.Left + desc.Width && gif->SHeight >= desc.Top + desc.Height) {
        w = gif->SWidth;
        h = gif->SHeight;
        left = desc.Left;
        top = desc.Top;
    }
    const int mapBits = map ? map->BitsPerPixel : 8;
    const int outBits = indexedDepth(mapBits < 1 ? 1 : mapBits);
    if (!allocDib(rec, w, h, outBits)) return 0;
    if (map) {
        for (int i = 0; i < map->ColorCount && i < (1 << outBits); ++i)
            setColour(rec, i, map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
    } else {
        setGreyPalette(rec);
    }
    if (transparent >= 0 && transparent < (1 << outBits))
        setColour(rec, transparent, 255, 255, 255);
    finishDib(rec);

    const unsigned mask = (1u << outBits) - 1u;
    if (w != desc.Width || h != desc.Height) {
        const unsigned fill = (transparent >= 0 ? static_cast<unsigned>(transparent)
                                                : static_cast<unsigned>(gif->SBackGroundColor)) &
                              mask;
        // The index repeated over a whole byte, so that each row is one memset: a tiny
        // file may claim a screen of some 200 million pixels around a small image.
        const uint8_t pattern = static_cast<uint8_t>(
            outBits == 1 ? (fill ? 0xFFu : 0x00u) : (outBits == 4 ? fill * 0x11u : fill));
        const size_t rowBytes = (static_cast<size_t>(w) * static_cast<size_t>(outBits) + 7) / 8;
        for (int y = 0; y < h; ++y)
            std::memset(rowFromTop(rec, y), pattern, rowBytes);
    }

    g.line = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(desc.Width)));
    if (!g.line) return fail(rec);
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = desc.Interlace ? kStart[pass] : 0;
        const int step = desc.Interlace ? kStep[pass] : 1;
        for (int y = start; y < desc.Height; y += step) {
            if (DGifGetLine(gif, g.line, desc.Width) != GIF_OK) return fail(rec);
            uint8_t* row = rowFromTop(rec, top + y);
            for (int x = 0; x < desc.Width; ++x)
                putIndex(row, outBits, left + x, g.line[x] & mask);
        }
    }
    return 1;
}
