// The animated SVG against the movie, on the shipped example and on a
// generated 200-element movie of 1,800 frames (100 Japanese texts that move,
// turn and grow, 80 drawings that turn and fade, 20 pictures that move and
// turn, as in the player's benchmark). Each iteration compiles the movie and
// writes the SVG of the same project; the counters give both sizes and both
// CPU times and their ratios (targets: the SVG at most 3 x the movie's size,
// its writing at most 2 x the compile's time).
#include "app/imaging/PixmillBinding.h"
#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "platform/TextCodec.h"
#include "svg/SvgMovie.h"

#include "common/TempDir.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

const std::string& folder() {
    static const movitest::TempDir dir("movi-svg-bench");
    static const std::string path = dir.path().string();
    return path;
}

void bindOnce() {
    static bool bound = false;
    if (bound) return;
    bound = true;
    ConsoleBindingReporter reporter(true);
    if (!BindPixmill(ProgramFolder(), reporter)) {
        std::fprintf(stderr, "svg_bench: the image library cannot be loaded\n");
        std::exit(1);
    }
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void compareWithMovie(benchmark::State& state) {
    double swfSeconds = 0, svgSeconds = 0;
    uint64_t swfBytes = 0, svgBytes = 0;
    for (auto _ : state) {
        CompileOptions movie;
        movie.outputPath = folder() + "/movie.swf";
        double start = cpuSeconds();
        const CompileResult compiled = CompileMovie(movie);
        swfSeconds += cpuSeconds() - start;
        svg::SvgOptions picture;
        picture.outputPath = folder() + "/movie.svg";
        start = cpuSeconds();
        const svg::SvgResult written = svg::WriteSvgMovie(picture);
        svgSeconds += cpuSeconds() - start;
        if (!compiled.written || !written.written) {
            state.SkipWithError("the movie or the picture could not be written");
            return;
        }
        swfBytes = compiled.bytes;
        svgBytes = written.bytes;
    }
    const double n = double(state.iterations());
    state.counters["swf_MB"] = double(swfBytes) / 1e6;
    state.counters["svg_MB"] = double(svgBytes) / 1e6;
    state.counters["size_ratio"] = double(svgBytes) / double(swfBytes);
    state.counters["swf_cpu_s"] = swfSeconds / n;
    state.counters["svg_cpu_s"] = svgSeconds / n;
    state.counters["time_ratio"] = svgSeconds / swfSeconds;
}

void BM_SvgOfShippedExample(benchmark::State& state) {
    bindOnce();
    ClearObjekts();
    if (!LoadProject(MOVI_SOURCE_DIR "/examples/demo.fmo")) {
        state.SkipWithError("cannot read examples/demo.fmo");
        return;
    }
    compareWithMovie(state);
}
BENCHMARK(BM_SvgOfShippedExample)->Unit(benchmark::kMillisecond);

void BM_SvgOf200Elements(benchmark::State& state) {
    bindOnce();
    ClearObjekts();
    Stage = StageSettings();
    Stage.setWidth(550);
    Stage.setHeight(400);
    Stage.setFramesPerSecond(30);
    const char* phrases[] = {"動く文字と図形の試験", "ようこそムービルーム", "日本語の文章を表示中",
                             "春夏秋冬の色と形です"};
    for (int i = 0; i < 100; ++i) {
        Objekt* t = AddObjekt(okText);
        ReplaceString(t->Text, *platform::utf8ToCp932(phrases[i % 4]));
        t->Start.Time = (i * 500) % 50000;
        t->End.Time = t->Start.Time + 10000;
        t->Start.Left = (i * 37) % 400;
        t->Start.Top = (i * 53) % 360;
        t->End.FontSize = 36;
        t->End.Rotation = 300;
    }
    for (int i = 0; i < 80; ++i) {
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
        Pixmill.newdib(&pic, 160, 120, 24, nullptr, 0);
        for (int32_t y = 0; y < 120; ++y)
            for (int32_t x = 0; x < 160; ++x)
                Pixmill.setpixel(&pic, x, y,
                                 (x * 3 + i) | ((y * 2) & 255) << 8 | ((x ^ y) & 255) << 16);
        Objekt* p = AddObjekt(okPicture, &pic);
        p->Start = {10 * i, 10 * i, 10 * i + 160, 10 * i + 120, 24, 0, i * 2000, 0, 0};
        p->End = {300, 200, 460, 320, 24, 450, i * 2000 + 20000, 0, 0};
    }
    compareWithMovie(state);
}
BENCHMARK(BM_SvgOf200Elements)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
