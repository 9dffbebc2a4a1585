// SaveDib: writes a picture as a baseline JPEG file through libjpeg-turbo;
// SaveDibToMemory gives the same bytes in memory.
// 24-bit rows are handed to the encoder where they lie (blue, green, red);
// pictures of 1, 4 and 8 bits are expanded through their colour table one row
// at a time. The file goes through platform/ReplacingFile, the one writer of
// every replaced file: written beside the target, synced, and renamed over it
// only once complete, so a failed save leaves any old file alone and nothing
// else behind.

#include "dib_internal.h"
#include "platform/ReplacingFile.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <jpeglib.h>

namespace pixmill {
namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void errorExit(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void emitMessage(j_common_ptr, int) {}
void outputMessage(j_common_ptr) {}

// Compresses the picture into `out`, or with `out` null into a block of
// memory (*memory, *memorySize, malloc'd); false when libjpeg reports an
// error, including a failed write. Both give the same bytes.
bool compress(const DibRecord* rec, FILE* out, unsigned char** memory, unsigned long* memorySize,
              int quality) {
    const int w = rec->Info->biWidth;
    const int h = rec->Info->biHeight;
    const int bits = rec->Info->biBitCount;
    jpeg_compress_struct cinfo;
    ErrorManager err;
    uint8_t* volatile expanded = nullptr;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(expanded);
        if (memory) {
            std::free(*memory);
            *memory = nullptr;
        }
        return false;
    }
    jpeg_create_compress(&cinfo);
    if (out)
        jpeg_stdio_dest(&cinfo, out);
    else
        jpeg_mem_dest(&cinfo, memory, memorySize);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);

    if (bits == 24) {
        // Rows are bottom-up: the top row of the picture is the last in memory.
        JSAMPROW rows[16];
        while (cinfo.next_scanline < cinfo.image_height) {
            const JDIMENSION first = cinfo.next_scanline;
            JDIMENSION n = cinfo.image_height - first < 16 ? cinfo.image_height - first : 16;
            for (JDIMENSION i = 0; i < n; ++i)
                rows[i] = rec->Bits + static_cast<size_t>(h - 1 - static_cast<int>(first + i)) *
                                          rec->BytesPerRow;
            jpeg_write_scanlines(&cinfo, rows, n);
        }
    } else {
        expanded = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(w) * 3));
        if (!expanded) errorExit(reinterpret_cast<j_common_ptr>(&cinfo));
        const PixmillRgbQuad* table = colourTable(rec);
        while (cinfo.next_scanline < cinfo.image_height) {
            const int y = h - 1 - static_cast<int>(cinfo.next_scanline);
            const uint8_t* src = rec->Bits + static_cast<size_t>(y) * rec->BytesPerRow;
            uint8_t* dst = expanded;
            for (int x = 0; x < w; ++x, dst += 3) {
                unsigned i;
                if (bits == 8)
                    i = src[x];
                else if (bits == 4)
                    i = (x & 1) ? (src[x >> 1] & 0x0Fu) : (src[x >> 1] >> 4);
                else
                    i = (src[x >> 3] >> (7 - (x & 7))) & 1u;
                dst[0] = table[i].rgbBlue;
                dst[1] = table[i].rgbGreen;
                dst[2] = table[i].rgbRed;
            }
            JSAMPROW row = expanded;
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(expanded);
    return true;
}

} // namespace
} // namespace pixmill

using namespace pixmill;

namespace {

// The checks SaveDib and SaveDibToMemory share; the quality from `option`.
bool savable(const DibRecord* rec, int option, int* quality) {
    if (!rec || !rec->Info || !rec->Bits) return false;
    const PixmillBitmapInfoHeader* hdr = rec->Info;
    const int bits = hdr->biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
    if (hdr->biHeight <= 0 || hdr->biHeight > PIXMILL_MAX_SIDE) return false;
    const size_t stride = strideFor(hdr->biWidth, bits);
    if (stride == 0 || rec->BytesPerRow < 0 || static_cast<size_t>(rec->BytesPerRow) < stride)
        return false;
    if (option <= 0) option = 7;
    *quality = option * 10 + 5 > 100 ? 100 : option * 10 + 5;
    return true;
}

} // namespace

extern "C" int SaveDib(DibRecord* rec, const char* fileName, int option, void* /*owner*/) {
    int quality = 0;
    if (!fileName || !*fileName || !savable(rec, option, &quality)) return 0;
    try {
        platform::ReplacingFile out(fileName);
        if (!out.file()) return 0;
        if (!compress(rec, out.file(), nullptr, nullptr, quality)) return 0; // out removes its file
        return out.commit() ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

extern "C" int SaveDibToMemory(DibRecord* rec, int option, unsigned char** data,
                               unsigned long* size) {
    if (!data || !size) return 0;
    *data = nullptr;
    *size = 0;
    int quality = 0;
    if (!savable(rec, option, &quality)) return 0;
    try {
        return compress(rec, nullptr, data, size, quality) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

extern "C" void FreeDibMemoryBlock(unsigned char* data) {
    std::free(data);
}
