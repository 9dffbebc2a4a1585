// A large project: 100 Japanese texts of 10 characters, 100 drawing objects,
// 20 pictures of 640 x 480, 60 seconds at 30 frames per second; and the
// compile's peak memory for the longest movies of a long text or of many
// drawing objects.
#include "BenchSupport.h"
#include "app/imaging/PixmillBinding.h"
#include "compiler/CompileMovie.h"
#include "compiler/PictureExport.h"
#include "editor/model/MainUnit.h"
#include "platform/TextCodec.h"
#include "swf/FObjCollection.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace movibench;

// 100 texts that grow to 48 pixels, 100 drawings and 20 pictures of 640 x 480
// shown at half size, on an 800 x 600 stage.
void buildProject() {
    static bool built = false;
    if (built) return;
    built = true;
    MovingProject project;
    project.stageWidth = 800;
    project.stageHeight = 600;
    project.textEndSize = 48;
    project.scatterTexts = false;
    project.drawings = 100;
    project.pictureWidth = 640;
    project.pictureHeight = 480;
    project.boxWidth = 320;
    project.boxHeight = 240;
    project.pictureStep = 1000;
    buildMovingProject(project);
}

void BM_CompileLargeProject(benchmark::State& state) {
    buildProject();
    CompileOptions options;
    options.outputPath = scratchFile("large.swf");
    CompileResult r;
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        r = CompileMovie(options);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double n = double(state.iterations());
    state.counters["wall_s"] = wall / n;
    state.counters["peak_MB"] = peakResidentMB();
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
    const std::string path = scratchFile("direct.jpg");
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
    const std::string path = scratchFile("savedib.jpg");
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
            if (CurObjekt->Kind == okPicture)
                StartPictureElement(*CurObjekt, movie, 800, 600, blocks);
        }
        ResetCharacterID();
    }
}

// ---- Memory of the compile, whatever the movie's length
//
// Each case builds its project and compiles it in a child process whose peak
// resident size is set back at its start (/proc/self/clear_refs), so that the
// growth of the peak is the project's and the compile's alone: the longest movie
// a project can make (65535 frames at 12 per second) of one 10,000-character
// text that moves all the time, or of 1,000 drawing objects. The movie is
// written frame by frame, so the peak stays where it is however long the
// movie gets (target: at most 64 MB above the process's start, plus pictures
// and definitions).
constexpr int32_t kLongestTime = 65535 * 1000 / 12;

void longTextProject() {
    Stage.setFramesPerSecond(12);
    std::string text;
    const std::string phrase = *platform::utf8ToCp932("動く文字と図形の試験、ようこそ。");
    while (text.size() < 20000)
        text += phrase;
    text.resize(20000); // 10,000 double-byte characters
    Objekt* t = AddObjekt(okText);
    ReplaceString(t->Text, text);
    t->End.Time = kLongestTime;
    t->End.Left = 500;
    t->End.FontSize = 40;
}

void manyDrawingsProject() {
    Stage.setFramesPerSecond(12);
    for (int i = 0; i < 1000; ++i) {
        Objekt* d = AddObjekt(okDrawing);
        d->DrawKind = i % 2;
        d->End.Time = kLongestTime;
        d->End.Rotation = 3600;
        d->End.Left = 300;
    }
}

void compileInChild(benchmark::State& state, void (*build)()) {
    for (auto _ : state) {
        const ChildRun run = runInChild([build](std::vector<double>& values) {
            bindImageLibrary();
            ClearObjekts();
            build();
            CompileOptions options;
            options.outputPath = scratchFile("longest.swf");
            const CompileResult r = CompileMovie(options);
            values = {double(r.bytes), double(r.frames)};
            std::filesystem::remove(options.outputPath);
            return r.written;
        });
        if (!run.ok) {
            state.SkipWithError("the compile failed");
            break;
        }
        state.counters["peak_growth_MB"] = run.peakMB - run.startMB;
        state.counters["peak_MB"] = run.peakMB;
        state.counters["output_MB"] = run.values[0] / 1e6;
        state.counters["frames"] = run.values[1];
        state.counters["wall_s"] = run.wallSeconds;
    }
}

void BM_LongestMovieOfALongText(benchmark::State& state) {
    compileInChild(state, longTextProject);
}

void BM_LongestMovieOf1000Drawings(benchmark::State& state) {
    compileInChild(state, manyDrawingsProject);
}

BENCHMARK(BM_ExportStepScale)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportStepSaveDib)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportWhole)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompileLargeProject)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DirectJpegOfExportedPixels)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LongestMovieOfALongText)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_LongestMovieOf1000Drawings)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ClearObjekts();
    return 0;
}
