// The animated SVG against the movie, on the shipped example and on a
// generated 200-element movie of 1,800 frames (100 Japanese texts that move,
// turn and grow, 80 drawings that turn and fade, 20 pictures that move and
// turn, as in the player's benchmark). Each iteration compiles the movie and
// writes the SVG of the same project; the counters give both sizes and both
// CPU times and their ratios (targets: the SVG at most 3 x the movie's size,
// its writing at most 2 x the compile's time).
#include "BenchSupport.h"
#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "svg/SvgMovie.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace movibench;

void compareWithMovie(benchmark::State& state) {
    double swfSeconds = 0, svgSeconds = 0;
    uint64_t swfBytes = 0, svgBytes = 0;
    for (auto _ : state) {
        CompileOptions movie;
        movie.outputPath = scratchFile("movie.swf");
        double start = processCpuSeconds();
        const CompileResult compiled = CompileMovie(movie);
        swfSeconds += processCpuSeconds() - start;
        svg::SvgOptions picture;
        picture.outputPath = scratchFile("movie.svg");
        start = processCpuSeconds();
        const svg::SvgResult written = svg::WriteSvgMovie(picture);
        svgSeconds += processCpuSeconds() - start;
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
    loadExampleProject();
    compareWithMovie(state);
}
BENCHMARK(BM_SvgOfShippedExample)->Unit(benchmark::kMillisecond);

void BM_SvgOf200Elements(benchmark::State& state) {
    buildMovingProject();
    compareWithMovie(state);
}
BENCHMARK(BM_SvgOf200Elements)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
