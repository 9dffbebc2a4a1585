// A large project: 100 Japanese texts of 10 characters, 100 drawing objects,
// 20 pictures of 640 x 480, 60 seconds at 30 frames per second.
#include "app/PixmillBinding.h"
#include "compiler/CompileMovie.h"
#include "compiler/PictureExport.h"
#include "editor/MainUnit.h"
#include "platform/TextCodec.h"
#include "swf/FObjCollection.h"

#include "common/TempDir.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// Scratch files of the run, removed at exit.
const std::string& folder() {
    static const movitest::TempDir dir("movi-bench");
    static const std::string path = dir.path().string();
    return path;
}

void buildProject() {
    static bool built = false;
    if (built) return;
    built = true;
    ConsoleBindingReporter reporter(true);
    BindPixmill(ProgramFolder(), reporter);
    Stage.setWidth(800);
    Stage.setHeight(600);
    Stage.setFramesPerSecond(30);
    const char* phrases[] = {"動く文字と図形の試験", "ようこそムービルーム", "日本語の文章を表示中",
                             "春夏秋冬の色と形です"};
    for (int i = 0; i < 100; ++i) {
        // Each text moves and grows for ten seconds, the starts spread over the minute.
        Objekt* t = AddObjekt(okText);
        ReplaceString(t->Text, *platform::utf8ToCp932(phrases[i % 4]));
        t->Start.Time = (i * 500) % 50000;
        t->End.Time = t->Start.Time + 10000;
        t->End.FontSize = 48;
        t->End.Rotation = 300;
        Objekt* d = AddObjekt(okDrawing);
        d->DrawKind = i % 2;
        d->Start.Time = 0;
        d->End.Time = 60000;
        d->End.Rotation = 900;
        d->End.Transparency = 50;
        d->DeleteAtEnd = 0;
    }
    for (int i = 0; i < 20; ++i) {
        DibRecord pic{};
        Pixmill.newdib(&pic, 640, 480, 24, nullptr, 0);
        for (int32_t y = 0; y < 480; ++y)
            for (int32_t x = 0; x < 640; ++x)
                Pixmill.setpixel(&pic, x, y,
                                 (x * 3 + i) | ((y * 2) & 255) << 8 | ((x ^ y) & 255) << 16);
        Objekt* p = AddObjekt(okPicture, &pic);
        p->Start = {10 * i, 10 * i, 10 * i + 320, 10 * i + 240, 24, 0, i * 1000, 0, 0};
        p->End = {300, 200, 620, 440, 24, 450, i * 1000 + 20000, 0, 0};
    }
}

void BM_CompileLargeProject(benchmark::State& state) {
    buildProject();
    CompileOptions options;
    options.outputPath = folder() + "/large.swf";
    CompileResult r;
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        r = CompileMovie(options);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double n = double(state.iterations());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["wall_s"] = wall / n;
    state.counters["peak_MB"] = double(usage.ru_maxrss) / 1024.0;
    state.counters["output_MB"] = double(r.bytes) / 1e6;
    state.counters["frames"] = r.frames;
    state.counters["tags"] = double(r.tags);
    state.counters["glyph_s"] = r.glyphSeconds;
    state.counters["picture_s"] = r.pictureSeconds;
    state.counters["tag_s"] = r.tagSeconds;
    state.counters["write_s"] = r.writeSeconds;
    state.counters["glyphs_per_s"] = double(r.glyphs) / r.glyphSeconds;
    state.counters["tags_and_write_MBps"] = double(r.bytes) / 1e6 / (r.tagSeconds + r.writeSeconds);
    state.counters["warnings"] = double(r.warnings.size());
}

// Every picture of the project scaled to its export size, as the export does.
struct ExportedPictures {
    ExportedPictures() {
        for (int32_t i = 0; i < ObjektList.Count; ++i) {
            ObjektList.Select(i);
            if (CurObjekt->Kind != okPicture) continue;
            const BoxSize size = PictureExportSize(*CurObjekt, 640, 480);
            pictures.push_back(ScaleDib(CurObjekt->Picture, size.w, size.h));
        }
    }
    ~ExportedPictures() {
        for (DibRecord& d : pictures)
            Pixmill.deldib(&d);
    }
    std::vector<DibRecord> pictures;
};

// The exported pixels of every picture compressed straight with libjpeg-turbo
// (quality 75, into a file), the yardstick for the picture export.
void BM_DirectJpegOfExportedPixels(benchmark::State& state) {
    buildProject();
    ExportedPictures exported;
    const std::string path = folder() + "/direct.jpg";
    for (auto _ : state) {
        for (const DibRecord& d : exported.pictures) {
            std::FILE* f = std::fopen(path.c_str(), "wb");
            jpeg_compress_struct c{};
            jpeg_error_mgr err{};
            c.err = jpeg_std_error(&err);
            jpeg_create_compress(&c);
            jpeg_stdio_dest(&c, f);
            c.image_width = JDIMENSION(d.Info->biWidth);
            c.image_height = JDIMENSION(d.Info->biHeight);
            c.input_components = 3;
            c.in_color_space = JCS_EXT_BGR;
            jpeg_set_defaults(&c);
            jpeg_set_quality(&c, 75, TRUE);
            jpeg_start_compress(&c, TRUE);
            while (c.next_scanline < c.image_height) {
                JSAMPROW r = d.Bits + int64_t(c.image_height - 1 - c.next_scanline) * d.BytesPerRow;
                jpeg_write_scanlines(&c, &r, 1);
            }
            jpeg_finish_compress(&c);
            jpeg_destroy_compress(&c);
            std::fclose(f);
        }
    }
}

// The steps of the picture export one by one, for the same 20 pictures.
void BM_ExportStepScale(benchmark::State& state) {
    buildProject();
    for (auto _ : state)
        ExportedPictures scaled;
}

void BM_ExportStepSaveDib(benchmark::State& state) {
    buildProject();
    ExportedPictures exported;
    const std::string path = folder() + "/savedib.jpg";
    for (auto _ : state)
        for (DibRecord& d : exported.pictures)
            Pixmill.SaveDib(&d, path.c_str(), 7, nullptr);
}

void BM_ExportWhole(benchmark::State& state) {
    buildProject();
    for (auto _ : state) {
        FObjCollection movie;
        std::vector<std::vector<uint8_t>> blocks;
        for (int32_t i = 0; i < ObjektList.Count; ++i) {
            ObjektList.Select(i);
            if (CurObjekt->Kind == okPicture) StartPictureElement(movie, 800, 600, blocks);
        }
        ResetCharacterID();
    }
}

BENCHMARK(BM_ExportStepScale)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportStepSaveDib)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportWhole)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompileLargeProject)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DirectJpegOfExportedPixels)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ClearObjekts();
    return 0;
}
