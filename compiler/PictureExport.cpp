#include "compiler/PictureExport.h"

#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "platform/ReplacingFile.h"
#include "platform/SystemServices.h"
#include "swf/FDTBitmaps.h"
#include "swf/FDTShapes.h"
#include "swf/FObjCollection.h"
#include "swf/Twips.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

int32_t DibWidth(const DibRecord& d) {
    return d.Info ? d.Info->biWidth : 0;
}
int32_t DibHeight(const DibRecord& d) {
    return d.Info ? d.Info->biHeight : 0;
}
int32_t DibBitCount(const DibRecord& d) {
    return d.Info ? d.Info->biBitCount : 0;
}
int64_t DibColorCount(const DibRecord& d) {
    const int32_t bits = DibBitCount(d);
    return bits >= 0 && bits < 63 ? int64_t(1) << bits : 0;
}

using swf::ToTwips;
using swf::TwipsPerPixel;

namespace {

const PixmillRgbQuad* colourTable(const DibRecord& d) {
    return reinterpret_cast<const PixmillRgbQuad*>(reinterpret_cast<const uint8_t*>(d.Info) +
                                                   sizeof(PixmillBitmapInfoHeader));
}

// Blue, green, red of pixel (x, y) of a picture of any depth.
void pixelBgr(const DibRecord& d, int32_t x, int32_t y, uint8_t* out) {
    const uint8_t* row = d.Bits + int64_t(y) * d.BytesPerRow;
    switch (DibBitCount(d)) {
    case 1: {
        const uint8_t v = ((row[x / 8] >> (7 - x % 8)) & 1) ? 255 : 0;
        out[0] = out[1] = out[2] = v;
        return;
    }
    case 4:
    case 8: {
        const unsigned index =
            DibBitCount(d) == 4 ? ((x % 2 == 0) ? row[x / 2] >> 4 : row[x / 2] & 15) : row[x];
        const PixmillRgbQuad& c = colourTable(d)[index];
        out[0] = c.rgbBlue;
        out[1] = c.rgbGreen;
        out[2] = c.rgbRed;
        return;
    }
    case 16: { // 5-5-5
        const unsigned v = row[2 * x] | row[2 * x + 1] << 8;
        out[0] = static_cast<uint8_t>((v & 31) * 255 / 31);
        out[1] = static_cast<uint8_t>(((v >> 5) & 31) * 255 / 31);
        out[2] = static_cast<uint8_t>(((v >> 10) & 31) * 255 / 31);
        return;
    }
    case 32:
        std::memcpy(out, row + 4 * x, 3);
        return;
    default:
        std::memcpy(out, row + 3 * x, 3);
    }
}

bool usable(const DibRecord& d) {
    const int32_t bits = DibBitCount(d);
    return d.Info && d.Bits && DibWidth(d) > 0 && DibHeight(d) > 0 &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

int32_t absBox(int64_t v) {
    return static_cast<int32_t>(std::min<int64_t>(v < 0 ? -v : v, INT32_MAX));
}

} // namespace

void ConvertDibTo24(DibRecord& d, int targetBits) {
    if (targetBits != 24 || !usable(d) || DibBitCount(d) == 24) return;
    const int32_t w = DibWidth(d), h = DibHeight(d);
    DibRecord fresh{};
    if (!Pixmill.newdib || !Pixmill.newdib(&fresh, w, h, 24, nullptr, 0) || !fresh.InfoBlock)
        return;
    if (!fresh.Bits) {
        Pixmill.deldib(&fresh);
        return;
    }
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* out = fresh.Bits + int64_t(y) * fresh.BytesPerRow;
        for (int32_t x = 0; x < w; ++x)
            pixelBgr(d, x, y, out + 3 * x);
    }
    FreeDibMemory(d);
    d = fresh;
}

void FreeDibMemory(DibRecord& d) {
    if (d.InfoBlock != d.BitsBlock) std::free(d.InfoBlock);
    std::free(d.BitsBlock);
    if (d.HasPalette) std::free(d.PaletteHandle);
    std::memset(&d, 0, sizeof d);
}

DibRecord ScaleDib(const DibRecord& src, int32_t tw, int32_t th) {
    DibRecord out{};
    if (!usable(src) || tw <= 0 || th <= 0 || !Pixmill.newdib) return out;
    const int64_t sw = DibWidth(src), sh = DibHeight(src);
    const int64_t fx = sw * 1024 / tw, fy = sh * 1024 / th;
    if (!Pixmill.newdib(&out, tw, th, 24, nullptr, 0) || !out.Bits) {
        if (Pixmill.deldib) Pixmill.deldib(&out);
        std::memset(&out, 0, sizeof out);
        return out;
    }
    if (DibBitCount(src) == 24) {
        // The common case: three bytes a pixel, source columns worked out once.
        std::vector<int32_t> columns(static_cast<size_t>(tw));
        for (int32_t x = 0; x < tw; ++x)
            columns[size_t(x)] = 3 * static_cast<int32_t>((x * fx) >> 10);
        // Pixels are moved four bytes at a time (the fourth is overwritten by
        // the next pixel) while both the source pixel's four bytes lie in its
        // row and a next pixel follows; the rest three bytes at a time.
        int32_t wide = tw - 1;
        while (wide > 0 && columns[size_t(wide - 1)] + 4 > src.BytesPerRow)
            --wide;
        for (int32_t y = 0; y < th; ++y) {
            uint8_t* row = out.Bits + int64_t(y) * out.BytesPerRow;
            const uint8_t* from = src.Bits + ((y * fy) >> 10) * src.BytesPerRow;
            for (int32_t x = 0; x < wide; ++x)
                std::memcpy(row + 3 * x, from + columns[size_t(x)], 4);
            for (int32_t x = wide; x < tw; ++x) {
                const uint8_t* p = from + columns[size_t(x)];
                row[3 * x] = p[0];
                row[3 * x + 1] = p[1];
                row[3 * x + 2] = p[2];
            }
        }
        return out;
    }
    for (int32_t y = 0; y < th; ++y) {
        uint8_t* row = out.Bits + int64_t(y) * out.BytesPerRow;
        const auto sy = static_cast<int32_t>((y * fy) >> 10);
        for (int32_t x = 0; x < tw; ++x)
            pixelBgr(src, static_cast<int32_t>((x * fx) >> 10), sy, row + 3 * x);
    }
    return out;
}

BoxSize FitToAspect(int32_t w, int32_t h, int32_t pw, int32_t ph) {
    if (pw == 0 || ph == 0) return {w, h};
    const int64_t t = int64_t(ph) * w / pw;
    if (t > h) return {static_cast<int32_t>(int64_t(pw) * h / ph), h};
    return {w, static_cast<int32_t>(t)};
}

std::string MakeTempFileName(const std::string& prefix, const std::string& extension) {
    const std::string folder = platform::TempFolder();
    for (int n = 0; n < 1000000; ++n) {
        std::string candidate = folder + prefix + std::to_string(n) + extension;
        const int fd = platform::CreateFreshFile(candidate, 0600);
        if (fd >= 0) {
            close(fd);
            return candidate;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

BoxSize PictureExportSize(const Objekt& o, int32_t pw, int32_t ph) {
    const ObjektState& s = o.Start;
    const ObjektState& e = o.End;
    // Turned-over boxes count with their absolute size; an empty side counts as 1.
    auto box = [&](const ObjektState& st) {
        const int32_t w = std::max(absBox(int64_t(st.Right) - st.Left), 1);
        const int32_t h = std::max(absBox(int64_t(st.Bottom) - st.Top), 1);
        return FitToAspect(w, h, pw, ph);
    };
    const BoxSize b = box(s), en = box(e);
    BoxSize size = (en.w > b.w || en.h > b.h) ? en : b;
    size.w = std::max(size.w, 1);
    size.h = std::max(size.h, 1);
    return size;
}

namespace {

// A straight edge; longer edges than the record can hold are split so that the
// outline still closes.
void addEdge(FDTDefineShape& shape, int64_t dx, int64_t dy) {
    constexpr int64_t maxStep = 65535;
    while (dx != 0 || dy != 0) {
        const int64_t sx = std::max(-maxStep, std::min(maxStep, dx));
        const int64_t sy = std::max(-maxStep, std::min(maxStep, dy));
        shape.AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(static_cast<int32_t>(sx),
                                                                  static_cast<int32_t>(sy)));
        dx -= sx;
        dy -= sy;
    }
}

} // namespace

bool StartPictureElement(Objekt& o, FObjCollection& movie, int32_t stageWidth, int32_t stageHeight,
                         std::vector<std::vector<uint8_t>>& jpegBlocks) {
    if (!usable(o.Picture)) return false;
    int32_t pw = DibWidth(o.Picture), ph = DibHeight(o.Picture);

    const BoxSize exportSize = PictureExportSize(o, pw, ph);
    DibRecord scaled{};
    const DibRecord* exported = &o.Picture;
    if (pw > exportSize.w || ph > exportSize.h) {
        scaled = ScaleDib(o.Picture, exportSize.w, exportSize.h);
        if (scaled.Bits) {
            exported = &scaled;
            pw = exportSize.w;
            ph = exportSize.h;
        }
    }
    o.Work.PicWidth = pw;
    o.Work.PicHeight = ph;

    // The JPEG is encoded in memory: no temporary file to fail or to sync.
    unsigned char* data = nullptr;
    unsigned long size = 0;
    const bool encoded =
        Pixmill.SaveDibToMemory && Pixmill.FreeDibMemoryBlock &&
        Pixmill.SaveDibToMemory(const_cast<DibRecord*>(exported), 7, &data, &size) != 0;
    if (scaled.Bits || scaled.InfoBlock) Pixmill.deldib(&scaled);
    if (!encoded) return false;
    std::vector<uint8_t> jpeg;
    try {
        jpeg.assign(data, data + size);
    } catch (...) {
        Pixmill.FreeDibMemoryBlock(data);
        throw;
    }
    Pixmill.FreeDibMemoryBlock(data);

    jpegBlocks.push_back(std::move(jpeg));
    const std::vector<uint8_t>& block = jpegBlocks.back();
    auto* bitmap = movie.AddFObj(std::make_unique<FDTDefineBitsJPEG2>(block.data(), block.size()));

    const ObjektState& s = o.Start;
    BoxSize fitted =
        FitToAspect(absBox(int64_t(s.Right) - s.Left), absBox(int64_t(s.Bottom) - s.Top), pw, ph);
    // An empty box would divide by zero; it counts as one pixel here.
    fitted.w = std::max(fitted.w, 1);
    fitted.h = std::max(fitted.h, 1);
    auto clampRect = [](double v) {
        return static_cast<int32_t>(std::max(-1073741823.0, std::min(1073741823.0, v)));
    };
    auto bounds = std::make_unique<FRect>(ToTwips(-pw), ToTwips(-ph),
                                          clampRect(ToTwips(double(stageWidth)) * pw / fitted.w),
                                          clampRect(ToTwips(double(stageHeight)) * ph / fitted.h));
    auto shape = std::make_unique<FDTDefineShape>(std::move(bounds));
    shape->AddFillStyle(std::make_unique<FFillStyleBitmap>(
        false, uint16_t(65535),
        std::make_unique<FMatrix>(true, 10 << 16, 10 << 16, false, 0, 0, 0, 0)));
    shape->AddFillStyle(std::make_unique<FFillStyleBitmap>(
        false, bitmap->ID(),
        std::make_unique<FMatrix>(true, TwipsPerPixel << 16, TwipsPerPixel << 16, false, 0, 0,
                                  ToTwips(-pw) / 2, ToTwips(-ph) / 2)));
    shape->FinishStyleArrays();
    shape->AddShapeRec(std::make_unique<FShapeRecChange>(false, true, true, false, true,
                                                         ToTwips(pw / 2), ToTwips(ph / 2), 0u, 2u,
                                                         0u, nullptr, nullptr));
    addEdge(*shape, ToTwips(-int64_t(pw)), 0);
    addEdge(*shape, 0, ToTwips(-int64_t(ph)));
    addEdge(*shape, ToTwips(int64_t(pw)), 0);
    addEdge(*shape, 0, ToTwips(int64_t(ph)));
    shape->AddShapeRec(std::make_unique<FShapeRecEnd>());
    o.Work.PictureTag = movie.AddFObj(std::move(shape));
    return true;
}
