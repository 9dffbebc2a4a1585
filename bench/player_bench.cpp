// The built-in player at 550 x 400 on one core: rendering the shipped example
// and generated movies of 200 elements (100 Japanese texts, 80 drawings, 20
// pictures over 1,800 frames) frame after frame, and going from the first
// frame to the last.
#include "BenchSupport.h"
#include "player/MoviePlayer.h"

#include "player/HostileMovies.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace movibench;

// The 200-element project of BenchSupport's MovingProject. With `allOnStage`
// every element stays on the stage the whole minute; otherwise, as in the
// compiler's large project, each text shows for ten seconds (starts spread
// over the minute) and each picture for twenty.
std::string generatedMovie(bool allOnStage) {
    MovingProject project;
    project.allOnStage = allOnStage;
    buildMovingProject(project);
    return compileToScratch(allOnStage ? "crowded.swf" : "large.swf");
}

const std::string& largeMovie() {
    static const std::string path = generatedMovie(false);
    return path;
}

const std::string& crowdedMovie() {
    static const std::string path = generatedMovie(true);
    return path;
}

void load(player::MoviePlayer& movie, const std::string& path) {
    std::string error;
    if (!movie.load(path, &error)) die(error);
}

// Every frame in turn, as the window plays the movie.
void renderFrames(benchmark::State& state, const std::string& path) {
    player::MoviePlayer movie;
    load(movie, path);
    QImage image(movie.info().width, movie.info().height, QImage::Format_ARGB32_Premultiplied);
    int frame = 0;
    for (auto _ : state) {
        QPainter painter(&image);
        movie.renderFrame(frame, painter, 1);
        painter.end();
        frame = (frame + 1) % movie.info().frameCount;
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["frames_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["frames"] = movie.info().frameCount;
}

void BM_RenderShippedExample(benchmark::State& state) {
    renderFrames(state, exampleMovie());
}
BENCHMARK(BM_RenderShippedExample)->Unit(benchmark::kMillisecond);

void BM_Render200Elements(benchmark::State& state) {
    renderFrames(state, largeMovie());
}
BENCHMARK(BM_Render200Elements)->Unit(benchmark::kMillisecond);

// The stress case: all 200 elements (1,000 glyphs) on the stage in every frame.
void BM_Render200ElementsAllOnStage(benchmark::State& state) {
    renderFrames(state, crowdedMovie());
}
BENCHMARK(BM_Render200ElementsAllOnStage)->Unit(benchmark::kMillisecond);

// Shown frame 1, then the last frame is asked for: the time to it, drawn
// (the crowded movie, all 200 elements on its last frame).
void BM_GoToLastFrameOf1800(benchmark::State& state) {
    player::MoviePlayer movie;
    load(movie, crowdedMovie());
    QImage image(movie.info().width, movie.info().height, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        state.PauseTiming();
        {
            QPainter painter(&image);
            movie.renderFrame(0, painter, 1);
        }
        state.ResumeTiming();
        QPainter painter(&image);
        movie.renderFrame(movie.info().frameCount - 1, painter, 1);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["frames"] = movie.info().frameCount;
}
BENCHMARK(BM_GoToLastFrameOf1800)->Unit(benchmark::kMillisecond);

// Reading the 1,800-frame movie (file, tags, pictures, display-list snapshots).
void BM_LoadLargeMovie(benchmark::State& state) {
    const std::string& path = largeMovie();
    for (auto _ : state) {
        player::MoviePlayer movie;
        load(movie, path);
    }
}
BENCHMARK(BM_LoadLargeMovie)->Unit(benchmark::kMillisecond);

// The movies of the hostile-input audit, read and drawn at scale 1 (each has
// one frame, which is so its worst): a clipped bitmap fill shrunk below a
// pixel under 65 colour transforms, 250 JPEGs that claim 4 MB each (nothing
// drawn), a comb of 2,000 sub-pixel edges placed 100 times. peak_rss_mb is
// the process's peak: run one at a time (--benchmark_filter) to read it.
void BM_HostileMovieFrame(benchmark::State& state, swfbuild::Bytes (*build)()) {
    const swfbuild::Bytes bytes = build();
    for (auto _ : state) {
        player::MoviePlayer movie;
        std::string error;
        if (!movie.loadBytes(bytes, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        QImage image(movie.info().width, movie.info().height, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        movie.renderFrame(movie.info().frameCount - 1, painter, 1);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["peak_rss_mb"] = peakResidentMB();
    state.counters["movie_kb"] = double(bytes.size()) / 1024;
}
BENCHMARK_CAPTURE(BM_HostileMovieFrame, PaddedBitmapFill,
                  [] { return swfbuild::paddedFillMovie(); })
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_HostileMovieFrame, ClaimingJpegs,
                  [] { return swfbuild::claimingJpegsMovie(250); })
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_HostileMovieFrame, Comb, [] { return swfbuild::combMovie(); })
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
