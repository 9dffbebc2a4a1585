// The recovery copy of a picture-heavy project of about 100 MB: how long the
// window's thread is held (the snapshot and the hand-over to the writer
// thread), and the longest gap of a 1 ms tick kept on that thread while the
// copy is written, next to the time the write takes on its own thread.
#include "BenchSupport.h"
#include "editor/model/MainUnit.h"
#include "editor/recovery/RecoveryStore.h"

#include "common/TempDir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// 12 pictures of 2880 x 1000 pixels (about 104 MB of pixel rows) and 1,000
// small elements.
void buildProject() {
    static bool built = false;
    if (built) return;
    built = true;
    for (int i = 0; i < 12; ++i) {
        const DibRecord pic = movibench::rampPicture(2880, 1000, i);
        AddObjekt(okPicture, &pic);
    }
    for (int i = 0; i < 1000; ++i)
        AddObjekt(i % 2 ? okDrawing : okText);
}

void BM_RecoveryCopy100MB(benchmark::State& state) {
    buildProject();
    const movitest::TempDir dir("movi-recovery-bench");
    RecoveryStore store(dir.path().string());
    double longestGap = 0, longestHold = 0, write = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        store.save(TakeProjectSnapshot());
        const Clock::time_point handed = Clock::now();
        // The window goes on: a tick every millisecond until the copy is in
        // place (it appears only once complete).
        Clock::time_point last = handed;
        while (!store.hasCopy()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const Clock::time_point now = Clock::now();
            longestGap = std::max(longestGap, millisecondsBetween(last, now));
            last = now;
        }
        store.flush();
        const Clock::time_point done = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(handed - start).count());
        longestHold = std::max(longestHold, millisecondsBetween(start, handed));
        write = std::max(write, millisecondsBetween(start, done));
        store.discard();
    }
    state.counters["hold_ms_max"] = longestHold;
    state.counters["tick_gap_ms_max"] = longestGap;
    state.counters["write_ms_max"] = write;
}
BENCHMARK(BM_RecoveryCopy100MB)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
