// A large project: 100 Japanese texts of 10 characters, 100 drawing objects,
// 20 pictures of 640 x 480, 60 seconds at 30 frames per second; and the
// compile's peak memory for the longest movies of a long text or of many
// drawing objects.
#include "app/imaging/PixmillBinding.h"
#include "compiler/CompileMovie.h"
#include "compiler/PictureExport.h"
#include "editor/model/MainUnit.h"
#include "platform/TextCodec.h"
#include "swf/FObjCollection.h"

#include "common/TempDir.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A line of /proc/self/status in kB ("VmRSS:", "VmHWM:").
long statusKB(const char* key) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long value = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, std::strlen(key)) == 0)
            value = std::strtol(line + std::strlen(key), nullptr, 10);
    std::fclose(f);
    return value;
}

// Sets the peak resident size back to the current one.
void resetPeak() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

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
    const std::string out = folder() + "/longest.swf";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            resetPeak();
            const long startKB = statusKB("VmRSS:");
            ConsoleBindingReporter reporter(true);
            BindPixmill(ProgramFolder(), reporter);
            ClearObjekts();
            build();
            CompileOptions options;
            options.outputPath = out;
            const CompileResult r = CompileMovie(options);
            std::FILE* f = std::fopen((out + ".bytes").c_str(), "w");
            if (f) {
                std::fprintf(f, "%llu %d %ld %ld", static_cast<unsigned long long>(r.bytes),
                             r.frames, startKB, statusKB("VmHWM:"));
                std::fclose(f);
            }
            _exit(r.written ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the compile failed");
            break;
        }
        unsigned long long bytes = 0;
        int frames = 0;
        long startKB = 0, peakKB = 0;
        if (std::FILE* f = std::fopen((out + ".bytes").c_str(), "r")) {
            if (std::fscanf(f, "%llu %d %ld %ld", &bytes, &frames, &startKB, &peakKB) != 4)
                bytes = 0;
            std::fclose(f);
        }
        state.counters["peak_growth_MB"] = double(peakKB - startKB) / 1024.0;
        state.counters["peak_MB"] = double(peakKB) / 1024.0;
        state.counters["output_MB"] = double(bytes) / 1e6;
        state.counters["frames"] = frames;
        state.counters["wall_s"] = wall;
        std::filesystem::remove(out);
        std::filesystem::remove(out + ".bytes");
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
