// Image library benchmarks: decoding throughput of the BMP, TGA, PCX and TIFF
// readers (MB/s of file bytes), and SaveDib of a 2880 x 2880 24-bit picture
// against a direct libjpeg-turbo compression of the same pixels into a file
// in the same folder (target: SaveDib within 1.3 times the direct time).

#include "common/TempDir.h"
#include "image_writers.h"
#include "pixmill.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

#include <jpeglib.h>

using namespace pixtest;

namespace {

constexpr int kSide = 2048;

// A photograph-like picture: smooth shading with some texture, so that runs
// are short as in real pictures.
Picture benchPicture(int w, int h) {
    Picture p;
    p.width = w;
    p.height = h;
    p.colour = [](int x, int y) {
        const double v = std::sin(x * 0.05) * std::cos(y * 0.03);
        return Rgb{static_cast<uint8_t>(128 + 100 * v), static_cast<uint8_t>((x + y) / 16),
                   static_cast<uint8_t>((x * y) / 97 % 256)};
    };
    return p;
}

// An 8-bit picture with runs, as drawn pictures have.
Picture benchIndexed(int w, int h) {
    Picture p = indexedPicture(w, h, 8);
    p.index = [](int x, int y) { return ((x / 12) ^ (y / 9)) & 255; };
    return p;
}

void decode(benchmark::State& state, const Bytes& file,
            int (*reader)(const uint8_t*, size_t, DibRecord*)) {
    for (auto _ : state) {
        DibRecord rec{};
        if (!reader(file.data(), file.size(), &rec)) {
            state.SkipWithError("the reader refused the file");
            return;
        }
        benchmark::DoNotOptimize(rec.Bits);
        deldib(&rec);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(file.size()));
    state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
}

void BM_DecodeBmp24(benchmark::State& state) {
    BmpOptions o;
    static const Bytes file = makeBmp(benchPicture(kSide, kSide), o);
    decode(state, file, pixmill_read_bmp);
}
BENCHMARK(BM_DecodeBmp24)->Unit(benchmark::kMillisecond);

void BM_DecodeBmp8(benchmark::State& state) {
    BmpOptions o;
    o.bits = 8;
    static const Bytes file = makeBmp(benchIndexed(kSide, kSide), o);
    decode(state, file, pixmill_read_bmp);
}
BENCHMARK(BM_DecodeBmp8)->Unit(benchmark::kMillisecond);

void BM_DecodeBmpRle8(benchmark::State& state) {
    BmpOptions o;
    o.bits = 8;
    o.compression = 1;
    static const Bytes file = makeBmp(benchIndexed(kSide, kSide), o);
    decode(state, file, pixmill_read_bmp);
}
BENCHMARK(BM_DecodeBmpRle8)->Unit(benchmark::kMillisecond);

void BM_DecodeTga24(benchmark::State& state) {
    TgaOptions o;
    static const Bytes file = makeTga(benchPicture(kSide, kSide), o);
    decode(state, file, pixmill_read_tga);
}
BENCHMARK(BM_DecodeTga24)->Unit(benchmark::kMillisecond);

void BM_DecodeTgaRle24(benchmark::State& state) {
    TgaOptions o;
    o.type = 10;
    static const Bytes file = makeTga(benchPicture(kSide, kSide), o);
    decode(state, file, pixmill_read_tga);
}
BENCHMARK(BM_DecodeTgaRle24)->Unit(benchmark::kMillisecond);

void BM_DecodeTgaRle8(benchmark::State& state) {
    TgaOptions o;
    o.type = 9;
    o.depth = 8;
    static const Bytes file = makeTga(benchIndexed(kSide, kSide), o);
    decode(state, file, pixmill_read_tga);
}
BENCHMARK(BM_DecodeTgaRle8)->Unit(benchmark::kMillisecond);

void BM_DecodePcx8(benchmark::State& state) {
    static const Bytes file = makePcx(benchIndexed(kSide, kSide), {8, 1, true, 5});
    decode(state, file, pixmill_read_pcx);
}
BENCHMARK(BM_DecodePcx8)->Unit(benchmark::kMillisecond);

void BM_DecodePcx24(benchmark::State& state) {
    static const Bytes file = makePcx(benchPicture(kSide, kSide), {8, 3, true, 5});
    decode(state, file, pixmill_read_pcx);
}
BENCHMARK(BM_DecodePcx24)->Unit(benchmark::kMillisecond);

// ---- TIFF: a picture stored as one Deflate strip against the same picture in
// strips of 16 rows (target: the one strip at no less than a third of the
// speed, in pixels per second). 8192 x 8192 pixels of flat areas make a small
// file whose converted rows fill sixteen 64 MB bands.

constexpr int kTiffSide = 8192;

const Bytes& tiffFile(int rowsPerStrip) {
    static std::map<int, Bytes> files;
    Bytes& b = files[rowsPerStrip];
    if (b.empty()) {
        Picture p;
        p.width = kTiffSide;
        p.height = kTiffSide;
        p.colour = [](int x, int y) {
            return Rgb{static_cast<uint8_t>(x / 512 * 16), static_cast<uint8_t>(y / 512 * 16), 128};
        };
        TiffOptions o;
        o.compression = 8;
        o.rowsPerStrip = rowsPerStrip;
        b = makeTiff(p, o);
    }
    return b;
}

void decodeTiff(benchmark::State& state, int rowsPerStrip) {
    decode(state, tiffFile(rowsPerStrip), pixmill_read_tiff);
    state.counters["pixels_per_second"] = benchmark::Counter(
        double(kTiffSide) * kTiffSide, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DecodeTiffDeflateOneStrip(benchmark::State& state) {
    decodeTiff(state, 0);
}
BENCHMARK(BM_DecodeTiffDeflateOneStrip)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeTiffDeflateSmallStrips(benchmark::State& state) {
    decodeTiff(state, 16);
}
BENCHMARK(BM_DecodeTiffDeflateSmallStrips)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- SaveDib against the encoder alone

struct SaveFixture {
    DibRecord rec{};
    movitest::TempDir dir{"pixmill-bench"};
    SaveFixture() {
        const int side = 2880;
        newdib(&rec, side, side, 24, nullptr, 0);
        const Picture p = benchPicture(side, side);
        for (int y = 0; y < side; ++y) {
            uint8_t* row = rec.Bits + static_cast<size_t>(side - 1 - y) * rec.BytesPerRow;
            for (int x = 0; x < side; ++x) {
                const Rgb c = p.colour(x, y);
                row[x * 3] = c.b;
                row[x * 3 + 1] = c.g;
                row[x * 3 + 2] = c.r;
            }
        }
    }
    ~SaveFixture() { deldib(&rec); }
};

SaveFixture& fixture() {
    static SaveFixture f;
    return f;
}

// The same pixels straight into libjpeg-turbo at the same quality, rows fed
// in place, written to a plain file.
bool directCompress(const DibRecord& rec, const std::string& path) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = static_cast<JDIMENSION>(rec.Info->biWidth);
    c.image_height = static_cast<JDIMENSION>(rec.Info->biHeight);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 75, TRUE);
    jpeg_start_compress(&c, TRUE);
    const int h = rec.Info->biHeight;
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = rec.Bits + static_cast<size_t>(h - 1 - static_cast<int>(c.next_scanline)) *
                                      rec.BytesPerRow;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(out) == 0;
}

void BM_SaveDibVsDirect2880(benchmark::State& state) {
    SaveFixture& f = fixture();
    const std::string savePath = f.dir.file("savedib.jpg");
    const std::string directPath = f.dir.file("direct.jpg");
    double saveSeconds = 0;
    double directSeconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!directCompress(f.rec, directPath)) {
            state.SkipWithError("direct compression failed");
            return;
        }
        const auto t1 = std::chrono::steady_clock::now();
        if (!SaveDib(&f.rec, savePath.c_str(), 7, nullptr)) {
            state.SkipWithError("SaveDib failed");
            return;
        }
        const auto t2 = std::chrono::steady_clock::now();
        directSeconds += std::chrono::duration<double>(t1 - t0).count();
        saveSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["savedib_ms"] = saveSeconds / n * 1e3;
    state.counters["direct_ms"] = directSeconds / n * 1e3;
    state.counters["ratio"] = saveSeconds / directSeconds;
}
BENCHMARK(BM_SaveDibVsDirect2880)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace

BENCHMARK_MAIN();
