// The stage's time slider on the shipped example: the first compilation of
// the project in memory on the worker thread (snapshot, compile, read back),
// and the frame shown for each new slider position once compiled, drawn by
// the built-in renderer. Targets: at most 50 ms and 16 ms.
#include "BenchSupport.h"
#include "editor/model/MainUnit.h"
#include "editor/stage/MoviePreview.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

void loadDemo() {
    static bool loaded = false;
    if (loaded) return;
    loaded = true;
    movibench::loadExampleProject();
}

int64_t longestTime() {
    int64_t longest = 0;
    for (int32_t i = 0; i < ObjektList.Count; ++i) {
        const Objekt& o = *static_cast<const Objekt*>(ObjektList.GetItem(i));
        longest = std::max<int64_t>({longest, o.Start.Time, o.End.Time});
    }
    return longest;
}

// From an edit to a movie ready to show: snapshot, compile on the worker,
// read back.
void BM_FirstCompileOfDemo(benchmark::State& state) {
    loadDemo();
    MoviePreview preview;
    for (auto _ : state) {
        preview.invalidate();
        preview.prepare();
        preview.waitForCompilation();
        if (!preview.ready()) state.SkipWithError("the example did not compile");
    }
}
// Process CPU time: the work is on the worker thread.
BENCHMARK(BM_FirstCompileOfDemo)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// One slider step to a new frame: the frame drawn for the new time.
void BM_SliderShowsNewFrameOfDemo(benchmark::State& state) {
    loadDemo();
    MoviePreview preview;
    preview.prepare();
    preview.waitForCompilation();
    const int64_t longest = std::max<int64_t>(longestTime(), 1);
    const int fps = Stage.framesPerSecond();
    int64_t frame = 0;
    for (auto _ : state) {
        // Every step lands on another frame, wrapping over the whole movie.
        const int64_t time = (1000 * frame + fps - 1) / fps;
        frame = time >= longest ? 0 : frame + 1;
        benchmark::DoNotOptimize(preview.frameImage(time).constBits());
    }
    state.counters["frames"] = double(longest * fps / 1000 + 1);
}
BENCHMARK(BM_SliderShowsNewFrameOfDemo)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
