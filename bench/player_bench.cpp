// The built-in player at 550 x 400 on one core: rendering the shipped example
// and generated movies of 200 elements (100 Japanese texts, 80 drawings, 20
// pictures over 1,800 frames) frame after frame, and going from the first
// frame to the last.
#include "app/imaging/PixmillBinding.h"
#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "platform/TextCodec.h"
#include "player/MoviePlayer.h"

#include "common/TempDir.h"
#include "player/HostileMovies.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const std::string& folder() {
    static const movitest::TempDir dir("movi-player-bench");
    static const std::string path = dir.path().string();
    return path;
}

class SilentView final : public ProjectView {
public:
    void showError(std::string_view) override {}
};

void bindOnce() {
    static bool bound = false;
    if (bound) return;
    bound = true;
    ConsoleBindingReporter reporter(true);
    if (!BindPixmill(ProgramFolder(), reporter)) {
        std::fprintf(stderr, "player_bench: the image library cannot be loaded\n");
        std::exit(1);
    }
    static SilentView view;
    SetProjectView(&view);
}

std::string compile(const std::string& name) {
    CompileOptions options;
    options.outputPath = folder() + "/" + name;
    if (!CompileMovie(options).written) {
        std::fprintf(stderr, "player_bench: cannot compile %s\n", name.c_str());
        std::exit(1);
    }
    ClearObjekts();
    return options.outputPath;
}

const std::string& exampleMovie() {
    static const std::string path = [] {
        bindOnce();
        if (!LoadProject(MOVI_SOURCE_DIR "/examples/demo.fmo")) {
            std::fprintf(stderr, "player_bench: cannot read examples/demo.fmo\n");
            std::exit(1);
        }
        return compile("demo.swf");
    }();
    return path;
}

// 200 elements over a minute at 30 frames per second (1,800 frames): 100
// Japanese texts of 10 characters that move, turn and grow, 80 drawings that
// turn and fade, 20 pictures of 160 x 120 that move and turn. With `allOnStage`
// every element stays on the stage the whole minute; otherwise, as in the
// compiler's large project, each text shows for ten seconds (starts spread
// over the minute) and each picture for twenty.
std::string generatedMovie(bool allOnStage) {
    bindOnce();
    ClearObjekts();
    Stage.setWidth(550);
    Stage.setHeight(400);
    Stage.setFramesPerSecond(30);
    const char* phrases[] = {"動く文字と図形の試験", "ようこそムービルーム", "日本語の文章を表示中",
                             "春夏秋冬の色と形です"};
    for (int i = 0; i < 100; ++i) {
        Objekt* t = AddObjekt(okText);
        ReplaceString(t->Text, *platform::utf8ToCp932(phrases[i % 4]));
        t->Start.Time = allOnStage ? 0 : (i * 500) % 50000;
        t->End.Time = allOnStage ? 60000 : t->Start.Time + 10000;
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
        const int32_t start = allOnStage ? 0 : i * 2000;
        const int32_t end = allOnStage ? 60000 : start + 20000;
        p->Start = {10 * i, 10 * i, 10 * i + 160, 10 * i + 120, 24, 0, start, 0, 0};
        p->End = {300, 200, 460, 320, 24, 450, end, 0, 0};
    }
    return compile(allOnStage ? "crowded.swf" : "large.swf");
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
    if (!movie.load(path, &error)) {
        std::fprintf(stderr, "player_bench: %s\n", error.c_str());
        std::exit(1);
    }
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
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mb"] = double(usage.ru_maxrss) / 1024;
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
