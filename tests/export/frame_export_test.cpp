// The frame formats decoded by decoders we did not write (giflib's DGif,
// libwebp's animation decoder, the PNG reader for an APNG's first frame) and
// compared with the renderer's frames: pixels, frame times, total duration
// and the loop flag.
#include "common/TempDir.h"
#include "export/MovieExporter.h"
#include "player/MoviePlayer.h"
#include "player/SwfBuilder.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <gif_lib.h>
#include <webp/demux.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace swfbuild;
using movie_export::ExportFormat;

namespace {

// A 96 x 64 movie of `frames` frames: a red square that moves one pixel a
// frame and rests in frames 3 and 4, over a picture of many colours when asked.
Bytes testMovie(int fps, int frames, bool picture) {
    std::vector<Bytes> tags{tag(SetBackgroundColor, Bits().rgb(0xFFFFFF))};
    if (picture) {
        QImage image(16, 16, QImage::Format_RGB32);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                image.setPixel(x, y, qRgb(x * 16, y * 16, 255 - x * 8));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", 90);
        tags.push_back(tag(DefineBitsJPEG2, Bits().u16(7).raw(Bytes(jpeg.begin(), jpeg.end()))));
        Bits s; // the picture at twice its size from (8, 8), clipped
        s.u16(1).rect(160, 800, 160, 800).u8(1).u8(0x41).u16(7);
        s.matrix(40 << 16, 40 << 16, 0, 0, 160, 160).u8(0).bits(1, 4).bits(0, 4);
        s.rectEdges(160, 160, 640, 640, -1, 1, 1).endShape();
        tags.push_back(tag(DefineShape, s));
        tags.push_back(place(1, 1));
    }
    tags.push_back(solidRect(2, 0, 0, 320, 320, 0xFF0000));
    for (int k = 0; k < frames; ++k) {
        const int x = 40 + std::min(k, 3) + std::max(0, k - 4);
        Bits p;
        p.u8(k == 0 ? 0x06 : 0x05).u16(2);
        if (k == 0) p.u16(2);
        p.matrix(65536, 65536, 0, 0, x * 20, 400);
        tags.push_back(tag(PlaceObject2, p));
        tags.push_back(showFrame());
    }
    return swfbuild::movie(96, 64, fps, tags);
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a decoder made of an animation.
struct Decoded {
    std::vector<QImage> frames; // the whole picture after each frame
    std::vector<double> starts; // seconds
    double total = 0;           // seconds
    int plays = -1;             // 0 forever, 1 once
    bool localTables = false;   // GIF: some frame has a colour table of its own
};

Decoded decodeGif(const std::vector<uint8_t>& bytes) {
    Decoded d;
    struct Reader {
        const std::vector<uint8_t>* bytes;
        size_t at = 0;
    } reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(
        &reader,
        [](GifFileType* g, GifByteType* out, int n) {
            auto* r = static_cast<Reader*>(g->UserData);
            const int have = int(std::min<size_t>(size_t(n), r->bytes->size() - r->at));
            std::memcpy(out, r->bytes->data() + r->at, size_t(have));
            r->at += size_t(have);
            return have;
        },
        &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << "giflib cannot read it: " << GifErrorString(gif ? gif->Error : error);
        return d;
    }
    d.plays = 1;
    QImage canvas(gif->SWidth, gif->SHeight, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e)
            if (image.ExtensionBlocks[e].Function == APPLICATION_EXT_FUNC_CODE &&
                std::memcmp(image.ExtensionBlocks[e].Bytes, "NETSCAPE2.0", 11) == 0)
                d.plays = image.ExtensionBlocks[e + 1].Bytes[1] |
                          image.ExtensionBlocks[e + 1].Bytes[2] << 8;
        GraphicsControlBlock control{};
        DGifSavedExtensionToGCB(gif, i, &control);
        EXPECT_NE(control.DisposalMode, DISPOSE_BACKGROUND);
        const ColorMapObject* map =
            image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        d.localTables |= image.ImageDesc.ColorMap != nullptr;
        const GifImageDesc& r = image.ImageDesc;
        for (int y = 0; y < r.Height; ++y)
            for (int x = 0; x < r.Width; ++x) {
                const int index = image.RasterBits[y * r.Width + x];
                if (index == control.TransparentColor) continue;
                const GifColorType c = map->Colors[index];
                canvas.setPixel(r.Left + x, r.Top + y, qRgb(c.Red, c.Green, c.Blue));
            }
        d.frames.push_back(canvas.copy());
        d.starts.push_back(d.total);
        d.total += control.DelayTime / 100.0;
    }
    DGifCloseFile(gif, &error);
    return d;
}

Decoded decodeWebp(const std::vector<uint8_t>& bytes) {
    Decoded d;
    const WebPData data{bytes.data(), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_BGRA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (!decoder) {
        ADD_FAILURE() << "libwebp cannot read it";
        return d;
    }
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    d.plays = int(info.loop_count);
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        uint8_t* pixels = nullptr;
        int end = 0; // the frame's end, in milliseconds
        WebPAnimDecoderGetNext(decoder, &pixels, &end);
        d.frames.push_back(
            QImage(pixels, int(info.canvas_width), int(info.canvas_height), QImage::Format_ARGB32)
                .copy());
        d.starts.push_back(d.total);
        d.total = end / 1000.0;
    }
    WebPAnimDecoderDelete(decoder);
    return d;
}

// The APNG's chunks read by hand for the counts and delays; its first frame
// by the PNG reader, which ignores the animation.
Decoded decodeApng(const std::vector<uint8_t>& bytes) {
    Decoded d;
    const auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
               uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
    };
    uint32_t declared = 0;
    for (size_t at = 8; at + 8 <= bytes.size();) {
        const uint32_t size = u32(at);
        const std::string type(bytes.begin() + long(at) + 4, bytes.begin() + long(at) + 8);
        if (type == "acTL") {
            declared = u32(at + 8);
            d.plays = int(u32(at + 12));
        } else if (type == "fcTL") {
            const double num = bytes[at + 28] << 8 | bytes[at + 29];
            const double den = bytes[at + 30] << 8 | bytes[at + 31];
            d.starts.push_back(d.total);
            d.total += num / (den == 0 ? 100 : den);
        }
        at += 12 + size;
    }
    EXPECT_EQ(declared, d.starts.size());
    d.frames.push_back(QImage::fromData(bytes.data(), int(bytes.size()), "PNG"));
    return d;
}

struct ExportRow {
    const char* name;
    ExportFormat format;
    int fps, frames;
    bool picture, loop;
    int quality;
    int tolerance;      // largest channel difference of a pixel that agrees
    double minAgreeing; // share of pixels that must agree in every frame
};

class FrameExport : public ::testing::TestWithParam<ExportRow> {};

TEST_P(FrameExport, DecodedFramesMatchTheRenderer) {
    const ExportRow& row = GetParam();
    player::MoviePlayer movie;
    std::string error;
    ASSERT_TRUE(movie.loadBytes(testMovie(row.fps, row.frames, row.picture), &error)) << error;
    movitest::TempDir dir("movi-export");
    movie_export::ExportOptions options;
    options.outputPath = dir.file("out");
    options.format = row.format;
    options.loop = row.loop;
    options.quality = row.quality;
    const movie_export::ExportResult result = movie_export::ExportMovie(movie, options);
    ASSERT_TRUE(result.written) << result.error;
    const std::vector<uint8_t> bytes = readFile(options.outputPath);
    EXPECT_EQ(result.bytes, bytes.size());
    const Decoded d = row.format == ExportFormat::Gif    ? decodeGif(bytes)
                      : row.format == ExportFormat::WebP ? decodeWebp(bytes)
                                                         : decodeApng(bytes);
    ASSERT_FALSE(d.frames.empty());

    EXPECT_EQ(d.plays, row.loop ? 0 : 1);
    // The whole length as exact as the format's unit allows.
    const double length = double(row.frames) / row.fps;
    const double unit = row.format == ExportFormat::Gif    ? 0.01
                        : row.format == ExportFormat::WebP ? 0.001
                                                           : 1e-9;
    EXPECT_NEAR(d.total, std::round(length / unit) * unit, 1e-9);
    for (size_t i = 0; i < d.frames.size(); ++i) {
        // A frame starts on one of the movie's frames and shows that frame.
        const double at = d.starts[i] * row.fps;
        const int k = int(std::lround(at));
        EXPECT_NEAR(at, k, row.fps * unit / 2 + 1e-9) << "frame " << i;
        if (i > 0 && row.format == ExportFormat::Gif) {
            EXPECT_GE(d.starts[i] - d.starts[i - 1], 0.02 - 1e-9) << "frame " << i;
        }
        QImage expected(96, 64, QImage::Format_ARGB32_Premultiplied);
        {
            QPainter painter(&expected);
            movie.renderFrame(k, painter, 1);
        }
        const QImage got = d.frames[i].convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(got.size(), expected.size());
        int agreeing = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x) {
                const QRgb a = got.pixel(x, y), b = expected.pixel(x, y);
                agreeing += std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                      std::abs(qBlue(a) - qBlue(b))}) <= row.tolerance;
            }
        EXPECT_GE(agreeing / (96.0 * 64), row.minAgreeing)
            << "frame " << i << " (movie frame " << k << ")";
    }
    if (row.format == ExportFormat::Gif) {
        EXPECT_EQ(d.localTables, row.picture) << "one global table while the colours fit";
    }
    if (row.format == ExportFormat::Apng || (row.format == ExportFormat::Gif && row.fps <= 50)) {
        EXPECT_EQ(d.starts.size(), size_t(row.frames - 1))
            << "the resting frame lengthens the one before";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FrameExport,
    ::testing::Values(
        ExportRow{"GifFlatColoursExact", ExportFormat::Gif, 12, 9, false, true, -1, 0, 1.0},
        ExportRow{"GifPictureDithered", ExportFormat::Gif, 12, 9, true, false, -1, 40, 0.99},
        ExportRow{"GifAbove50FpsDropsFrames", ExportFormat::Gif, 60, 30, false, true, -1, 0, 1.0},
        ExportRow{"WebpLossless", ExportFormat::WebP, 12, 9, true, true, -1, 0, 1.0},
        ExportRow{"WebpLossyOnce", ExportFormat::WebP, 25, 9, true, false, 60, 48, 0.95},
        ExportRow{"ApngLoop", ExportFormat::Apng, 12, 9, true, true, -1, 0, 1.0},
        ExportRow{"ApngOnceAt60", ExportFormat::Apng, 60, 9, false, false, -1, 0, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

// A still movie longer than one frame's delay can hold (300 frames of 256
// seconds each, the slowest rate a movie has) keeps its whole length: the
// time goes on in extra frames that change nothing.
class LongStillExport : public ::testing::TestWithParam<ExportFormat> {};

TEST_P(LongStillExport, KeepsItsWholeLength) {
    std::vector<Bytes> tags{tag(SetBackgroundColor, Bits().rgb(0x3366CC))};
    tags.resize(301, showFrame());
    Bytes bytes = swfbuild::movie(96, 64, 1, tags);
    // The header ends with the 8.8 frame rate, set to 1/256, and the frame count.
    const size_t rate = swfbuild::movie(96, 64, 1, {}, 4, false).size() - 4;
    bytes[rate] = 1;
    bytes[rate + 1] = 0;
    bytes[rate + 2] = 300 & 0xFF;
    bytes[rate + 3] = 300 >> 8;
    player::MoviePlayer movie;
    std::string error;
    ASSERT_TRUE(movie.loadBytes(bytes, &error)) << error;
    ASSERT_EQ(movie.info().frameCount, 300);
    movitest::TempDir dir("movi-export");
    movie_export::ExportOptions options;
    options.outputPath = dir.file("out");
    options.format = GetParam();
    ASSERT_TRUE(movie_export::ExportMovie(movie, options).written);
    const std::vector<uint8_t> file = readFile(options.outputPath);
    const Decoded d = GetParam() == ExportFormat::Gif    ? decodeGif(file)
                      : GetParam() == ExportFormat::WebP ? decodeWebp(file)
                                                         : decodeApng(file);
    EXPECT_NEAR(d.total, 300 * 256.0, 1e-6);
    for (const QImage& frame : d.frames)
        EXPECT_EQ(frame.pixel(95, 63) & 0xFFFFFF, 0x3366CCu);
}

INSTANTIATE_TEST_SUITE_P(Formats, LongStillExport,
                         ::testing::Values(ExportFormat::Gif, ExportFormat::WebP,
                                           ExportFormat::Apng),
                         [](const auto& info) {
                             return std::string(movie_export::Format(info.param).name);
                         });

// A cancel, and a target that cannot be written, leave the old file as it
// was and nothing beside it.
TEST(FrameExportFailure, OldFileStaysAndNothingIsLeft) {
    player::MoviePlayer movie;
    std::string error;
    ASSERT_TRUE(movie.loadBytes(testMovie(12, 9, true), &error)) << error;
    for (ExportFormat format :
         {ExportFormat::Gif, ExportFormat::WebP, ExportFormat::Apng, ExportFormat::WebM}) {
        movitest::TempDir dir("movi-export");
        std::ofstream(dir.file("old")) << "old";
        movie_export::ExportOptions options;
        options.outputPath = dir.file("old");
        options.format = format;
        int frames = 0;
        options.progress = [&](int, int) { ++frames; };
        options.cancelRequested = [&] { return frames == 5; };
        const movie_export::ExportResult cancelled = movie_export::ExportMovie(movie, options);
        EXPECT_TRUE(cancelled.cancelled);
        EXPECT_FALSE(cancelled.written);
        options.cancelRequested = {};
        options.outputPath = dir.file("missing/old");
        const movie_export::ExportResult failed = movie_export::ExportMovie(movie, options);
        EXPECT_FALSE(failed.written);
        EXPECT_NE(failed.error.find("No such file or directory"), std::string::npos)
            << failed.error;
        EXPECT_EQ(readFile(dir.file("old")), (std::vector<uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()),
                  1);
    }
}

} // namespace
