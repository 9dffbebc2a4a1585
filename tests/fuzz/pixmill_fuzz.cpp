// Fuzz target for one picture reader of the image library, chosen at build
// time by PIXMILL_FUZZ_READER. A read either fails with an all-zero record or
// gives a record whose pixel block is as large as its header says.

#include "pixmill.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DibRecord rec;
    std::memset(&rec, 0xCD, sizeof rec);
    const int ok = PIXMILL_FUZZ_READER(data, size, &rec);
    if (!ok) {
        const auto* p = reinterpret_cast<const uint8_t*>(&rec);
        for (size_t i = 0; i < sizeof rec; ++i)
            if (p[i] != 0) std::abort();
        return 0;
    }
    const PixmillBitmapInfoHeader* h = rec.Info;
    if (!rec.Bits || !h || h->biWidth <= 0 || h->biHeight <= 0 || h->biWidth > PIXMILL_MAX_SIDE ||
        h->biHeight > PIXMILL_MAX_SIDE)
        std::abort();
    const int bits = h->biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) std::abort();
    if (h->biSizeImage !=
        static_cast<uint32_t>(rec.BytesPerRow) * static_cast<uint32_t>(h->biHeight))
        std::abort();
    // Touch both ends of the pixel block and the colour table.
    volatile uint8_t sink = rec.Bits[0];
    sink = rec.Bits[h->biSizeImage - 1];
    sink = reinterpret_cast<const uint8_t*>(h)[40 + 256 * 4 - 1];
    (void)sink;
    getpixel(&rec, h->biWidth - 1, h->biHeight - 1);
    deldib(&rec);
    return 0;
}
