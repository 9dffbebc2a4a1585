// JPEG/JIF files through libjpeg-turbo, decoded from memory straight into the
// record's rows. Grey pictures come back as 8 bits with a grey palette.

#include "dib_internal.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jerror.h>
#include <jpeglib.h>

namespace pixmill {
namespace {

// Progressive files may hold any number of scans; past this many the file is
// taken as hostile, as decoding each scan costs a pass over the picture.
constexpr int kMaxScans = 1000;

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    bool truncated;
};

void errorExit(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void emitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        if (cinfo->err->msg_code == JWRN_JPEG_EOF) err->truncated = true;
        cinfo->err->num_warnings++;
    }
}

void outputMessage(j_common_ptr) {}

void progressMonitor(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
        longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

} // namespace
} // namespace pixmill

using namespace pixmill;

extern "C" int pixmill_read_jpeg(const uint8_t* data, size_t size, DibRecord* rec) {
    if (!rec) return 0;
    std::memset(rec, 0, sizeof *rec);
    if (!data || size < 4 || size > 0xFFFFFFFFu) return 0;

    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    uint8_t* volatile cmykRow = nullptr;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
    err.truncated = false;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(cmykRow);
        return fail(rec);
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = PIXMILL_MAX_PIXEL_BYTES;
    progress.progress_monitor = progressMonitor;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || err.truncated)
        errorExit(reinterpret_cast<j_common_ptr>(&cinfo));
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > PIXMILL_MAX_SIDE ||
        cinfo.image_height > PIXMILL_MAX_SIDE)
        errorExit(reinterpret_cast<j_common_ptr>(&cinfo));

    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_EXT_BGR);
    const int w = static_cast<int>(cinfo.image_width);
    const int h = static_cast<int>(cinfo.image_height);
    if (!allocDib(rec, w, h, grey ? 8 : 24)) errorExit(reinterpret_cast<j_common_ptr>(&cinfo));
    if (grey) setGreyPalette(rec);
    finishDib(rec);

    jpeg_start_decompress(&cinfo);
    if (static_cast<int>(cinfo.output_width) != w || static_cast<int>(cinfo.output_height) != h)
        errorExit(reinterpret_cast<j_common_ptr>(&cinfo));
    if (cmyk) {
        cmykRow = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(w) * 4));
        if (!cmykRow) errorExit(reinterpret_cast<j_common_ptr>(&cinfo));
    }
    // Files written with an Adobe marker store CMYK inverted.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        uint8_t* dst = rowFromTop(rec, y);
        JSAMPROW row = cmyk ? cmykRow : dst;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1 || err.truncated)
            errorExit(reinterpret_cast<j_common_ptr>(&cinfo));
        if (cmyk) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = cmykRow + x * 4;
                const unsigned k = inverted ? p[3] : 255u - p[3];
                auto ch = [&](unsigned v) {
                    const unsigned c = inverted ? v : 255u - v;
                    return static_cast<uint8_t>((c * k + 127u) / 255u);
                };
                putBgr(dst, x, ch(p[0]), ch(p[1]), ch(p[2]));
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    if (err.truncated) errorExit(reinterpret_cast<j_common_ptr>(&cinfo));
    jpeg_destroy_decompress(&cinfo);
    std::free(cmykRow);
    return 1;
}
