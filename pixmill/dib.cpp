// Picture records: allocation, release, pixel access, and OpenDib with the
// choice of reader by the file's first bytes.

#include "dib_internal.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pixmill {

namespace {

constexpr size_t kInfoBlockSize = sizeof(PixmillBitmapInfoHeader) + 256 * sizeof(PixmillRgbQuad);

// Picture files larger than this are refused before they are read: no picture
// within the pixel bound needs a file this big.
constexpr size_t kMaxFileBytes = size_t(1) << 30;

} // namespace

size_t strideFor(int width, int bits) {
    if (width <= 0 || width > PIXMILL_MAX_SIDE) return 0;
    return ((static_cast<size_t>(width) * static_cast<size_t>(bits) + 31u) / 32u) * 4u;
}

bool allocDib(DibRecord* rec, int width, int height, int bits) {
    std::memset(rec, 0, sizeof *rec);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
    if (height <= 0 || height > PIXMILL_MAX_SIDE) return false;
    const size_t stride = strideFor(width, bits);
    if (stride == 0) return false;
    const size_t pixelBytes = stride * static_cast<size_t>(height);
    if (pixelBytes > PIXMILL_MAX_PIXEL_BYTES) return false;

    void* info = std::calloc(1, kInfoBlockSize);
    void* pixels = std::calloc(1, pixelBytes);
    void* palette = bits <= 8 ? std::calloc(1, sizeof(PixmillLogPalette)) : nullptr;
    if (!info || !pixels || (bits <= 8 && !palette)) {
        std::free(info);
        std::free(pixels);
        std::free(palette);
        return false;
    }

    auto* h = static_cast<PixmillBitmapInfoHeader*>(info);
    h->biSize = sizeof(PixmillBitmapInfoHeader);
    h->biWidth = width;
    h->biHeight = height;
    h->biPlanes = 1;
    h->biBitCount = static_cast<uint16_t>(bits);
    h->biCompression = 0;
    h->biSizeImage = static_cast<uint32_t>(pixelBytes);
    h->biClrUsed = bits <= 8 ? (1u << bits) : 0u;

    rec->Info = h;
    rec->InfoBlock = info;
    rec->BitsBlock = pixels;
    rec->Bits = static_cast<uint8_t*>(pixels);
    rec->BytesPerRow = static_cast<int32_t>(stride);
    if (palette) {
        rec->HasPalette = 1;
        rec->PaletteHandle = palette;
    }
    finishDib(rec);
    return true;
}

void freeDib(DibRecord* rec) {
    if (!rec) return;
    if (rec->InfoBlock && rec->InfoBlock != rec->BitsBlock) std::free(rec->InfoBlock);
    std::free(rec->BitsBlock);
    if (rec->HasPalette) std::free(rec->PaletteHandle);
    std::memset(rec, 0, sizeof *rec);
}

void finishDib(DibRecord* rec) {
    PixmillLogPalette& pal = rec->Palette;
    std::memset(&pal, 0, sizeof pal);
    pal.palVersion = 0x300;
    const int bits = dibBits(rec);
    if (bits > 8) return;
    const int count = 1 << bits;
    pal.palNumEntries = static_cast<uint16_t>(count);
    const PixmillRgbQuad* table = colourTable(rec);
    for (int i = 0; i < count; ++i) {
        pal.palPalEntry[i].peRed = table[i].rgbRed;
        pal.palPalEntry[i].peGreen = table[i].rgbGreen;
        pal.palPalEntry[i].peBlue = table[i].rgbBlue;
        pal.palPalEntry[i].peFlags = 0;
    }
    if (rec->HasPalette && rec->PaletteHandle) std::memcpy(rec->PaletteHandle, &pal, sizeof pal);
}

void setGreyPalette(DibRecord* rec) {
    const int bits = dibBits(rec);
    const int count = 1 << bits;
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<uint8_t>(i * 255 / (count - 1));
        setColour(rec, i, v, v, v);
    }
}

namespace {

// True when a record describes a picture whose rows lie within its block.
bool validPicture(const DibRecord* rec) {
    if (!rec || !rec->Info || !rec->Bits) return false;
    const PixmillBitmapInfoHeader* h = rec->Info;
    const int bits = h->biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
    if (h->biHeight <= 0 || h->biHeight > PIXMILL_MAX_SIDE) return false;
    const size_t stride = strideFor(h->biWidth, bits);
    return stride != 0 && rec->BytesPerRow >= 0 && static_cast<size_t>(rec->BytesPerRow) >= stride;
}

bool readWholeFile(const char* fileName, uint8_t** out, size_t* outSize) {
    *out = nullptr;
    *outSize = 0;
    if (!fileName) return false;
    const int fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
        static_cast<unsigned long long>(st.st_size) > kMaxFileBytes) {
        ::close(fd);
        return false;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    auto* buf = static_cast<uint8_t*>(std::malloc(size));
    if (!buf) {
        ::close(fd);
        return false;
    }
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buf + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got != size) {
        std::free(buf);
        return false;
    }
    *out = buf;
    *outSize = size;
    return true;
}

bool startsWith(const uint8_t* data, size_t size, const char* magic, size_t n) {
    return size >= n && std::memcmp(data, magic, n) == 0;
}

// A header without the file header in front: the header size comes first.
bool looksLikePackedDib(const uint8_t* data, size_t size) {
    if (size < 16) return false;
    const uint32_t hs = data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t(data[3]) << 24);
    if (hs == 12) return data[8] == 1 && data[9] == 0;
    if (hs == 16 || hs == 40 || hs == 52 || hs == 56 || hs == 64 || hs == 108 || hs == 124)
        return data[12] == 1 && data[13] == 0;
    return false;
}

} // namespace

} // namespace pixmill

using namespace pixmill;

extern "C" {

int pixmill_read_any(const uint8_t* data, size_t size, DibRecord* rec) {
    if (!rec) return 0;
    std::memset(rec, 0, sizeof *rec);
    if (!data || size == 0) return 0;
    if (startsWith(data, size, "BM", 2)) return pixmill_read_bmp(data, size, rec);
    if (startsWith(data, size, "GIF87a", 6) || startsWith(data, size, "GIF89a", 6))
        return pixmill_read_gif(data, size, rec);
    if (startsWith(data, size, "\xFF\xD8\xFF", 3)) return pixmill_read_jpeg(data, size, rec);
    if (startsWith(data, size, "\x89PNG\r\n\x1A\n", 8)) return pixmill_read_png(data, size, rec);
    if (startsWith(data, size, "II*\0", 4) || startsWith(data, size, "MM\0*", 4) ||
        startsWith(data, size, "II+\0", 4) || startsWith(data, size, "MM\0+", 4))
        return pixmill_read_tiff(data, size, rec);
    if (startsWith(data, size, "FORM", 4)) return pixmill_read_iff(data, size, rec);
    // The remaining signatures are weak: their first bytes also form a valid
    // TGA header, which has no signature at all and is tried last.
    if (size >= 3 && data[0] == 0x0A && data[1] <= 5 && data[2] <= 1 &&
        pixmill_read_pcx(data, size, rec))
        return 1;
    if (looksLikePackedDib(data, size) && pixmill_read_bmp(data, size, rec)) return 1;
    return pixmill_read_tga(data, size, rec);
}

int OpenDib(DibRecord* rec, const char* fileName, int /*option*/, void* /*owner*/) {
    if (!rec) return 0;
    std::memset(rec, 0, sizeof *rec);
    uint8_t* data = nullptr;
    size_t size = 0;
    if (!readWholeFile(fileName, &data, &size)) return 0;
    const int ok = pixmill_read_any(data, size, rec);
    std::free(data);
    if (!ok || !rec->Bits) {
        freeDib(rec);
        return 0;
    }
    return 1;
}

int deldib(DibRecord* rec) {
    freeDib(rec);
    return 1;
}

int newdib(DibRecord* rec, int width, int height, int bitsPerPixel,
           const PixmillBitmapInfoHeader* colourSource, int colourCount) {
    if (!rec) return 0;
    if (!allocDib(rec, width, height, bitsPerPixel)) return 0;
    if (bitsPerPixel <= 8 && colourSource && colourCount > 0) {
        const int count = colourCount < (1 << bitsPerPixel) ? colourCount : (1 << bitsPerPixel);
        const auto* src = reinterpret_cast<const PixmillRgbQuad*>(
            reinterpret_cast<const uint8_t*>(colourSource) + sizeof(PixmillBitmapInfoHeader));
        std::memcpy(colourTable(rec), src, static_cast<size_t>(count) * sizeof(PixmillRgbQuad));
        finishDib(rec);
    }
    return 1;
}

int getpixel(const DibRecord* rec, int x, int y) {
    if (!validPicture(rec) || x < 0 || y < 0 || x >= rec->Info->biWidth || y >= rec->Info->biHeight)
        return 0;
    const uint8_t* row = rec->Bits + static_cast<size_t>(y) * static_cast<size_t>(rec->BytesPerRow);
    switch (rec->Info->biBitCount) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8:
        return row[x];
    default: {
        const uint8_t* p = row + static_cast<size_t>(x) * 3;
        return p[2] | (p[1] << 8) | (p[0] << 16);
    }
    }
}

void setpixel(DibRecord* rec, int x, int y, int value) {
    if (!validPicture(rec) || x < 0 || y < 0 || x >= rec->Info->biWidth || y >= rec->Info->biHeight)
        return;
    uint8_t* row = rec->Bits + static_cast<size_t>(y) * static_cast<size_t>(rec->BytesPerRow);
    const int bits = rec->Info->biBitCount;
    if (bits <= 8) {
        putIndex(row, bits, x, static_cast<unsigned>(value) & ((1u << bits) - 1u));
        return;
    }
    const auto v = static_cast<unsigned>(value);
    putBgr(row, x, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
           static_cast<uint8_t>(v >> 16));
}

} // extern "C"
