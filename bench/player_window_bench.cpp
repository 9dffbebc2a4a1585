// The player window while it plays a movie whose frames are far too costly
// to draw at its frame rate (the comb of 2,000 sub-pixel edges placed 100
// times, moving), and the 200-element movie: how long the window's thread
// is kept from its events, seen by a 1 ms timer. Between two of its
// timeouts the window's thread may be busy (its own processor time) or
// wait for a processor (on a loaded machine). The benchmark's time is the
// longest busy stretch (manual time); longest_gap_ms is the longest wall
// time between two timeouts, waiting included.
// Runs offscreen: build/bench/bin/player_window_bench
#include "BenchSupport.h"
#include "player/HostileMovies.h"
#include "player/window/PlayerWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>

namespace {

using namespace movibench;

std::string writeMovie(const std::string& name, const swfbuild::Bytes& bytes) {
    const std::string path = scratchFile(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out.flush()) die("cannot write " + path);
    return path;
}

// Plays `path` in a shown window for `seconds` per iteration.
void playAndWatch(benchmark::State& state, const std::string& path, double seconds) {
    player::PlayerWindow window;
    if (!window.openMovie(path, true, path)) die("cannot open " + path);
    window.show();
    int framesShown = 0;
    QObject::connect(&window, &player::PlayerWindow::frameChanged, [&] { ++framesShown; });
    double longestGap = 0, longestBusy = 0, total = 0;
    int64_t gaps = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        qint64 last = 0;
        double worstGap = 0, worstBusy = 0, lastCpu = threadCpuSeconds();
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        beat.setInterval(1);
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            const double cpu = threadCpuSeconds();
            worstGap = std::max(worstGap, double(now - last) * 1e-9);
            worstBusy = std::max(worstBusy, cpu - lastCpu);
            last = now;
            lastCpu = cpu;
            ++gaps;
        });
        QTimer end;
        end.setSingleShot(true);
        QObject::connect(&end, &QTimer::timeout, [] { QApplication::quit(); });
        window.play();
        clock.start();
        lastCpu = threadCpuSeconds();
        beat.start();
        end.start(int(seconds * 1000));
        QApplication::exec();
        window.pause();
        state.SetIterationTime(worstBusy);
        longestGap = std::max(longestGap, worstGap);
        longestBusy = std::max(longestBusy, worstBusy);
        total += seconds;
    }
    state.counters["longest_busy_ms"] = longestBusy * 1000;
    state.counters["longest_gap_ms"] = longestGap * 1000;
    state.counters["beats_per_s"] = double(gaps) / total;
    state.counters["frames_asked_per_s"] = double(framesShown) / total;
}

// Every frame of the comb costs seconds at scale 1 and is cut at the frame's
// budget; four frames at 12 per second, looping.
void BM_PlayerWindowStallPlayingComb(benchmark::State& state) {
    static const std::string path = writeMovie("comb.swf", swfbuild::combMovie(500, 100, 4));
    playAndWatch(state, path, 3);
}
BENCHMARK(BM_PlayerWindowStallPlayingComb)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The 200 elements of the player benchmark, all on the stage, at 30 frames
// per second.
void BM_PlayerWindowStallPlaying200Elements(benchmark::State& state) {
    static const std::string path = [] {
        MovingProject project;
        project.allOnStage = true;
        buildMovingProject(project);
        return compileToScratch("crowded.swf");
    }();
    playAndWatch(state, path, 3);
}
BENCHMARK(BM_PlayerWindowStallPlaying200Elements)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
