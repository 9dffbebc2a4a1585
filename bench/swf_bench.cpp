// Throughput of the SWF writer.
#include "FCT.h"
#include "FDTBitmaps.h"
#include "FObjCollection.h"
#include "FPrimitive.h"
#include "FSWFStream.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Fields of every width from 1 to 32 bits, as shape and matrix records mix them.
void BM_WriteBits(benchmark::State& state) {
    const int fields = 1 << 20;
    std::size_t bytes = 0;
    for (auto _ : state) {
        FSWFStream s;
        for (int i = 0; i < fields; ++i)
            s.WriteBits(static_cast<std::uint32_t>(i) * 2654435761u,
                        static_cast<std::uint32_t>(i % 32 + 1));
        s.FlushBits();
        bytes = s.Size();
        benchmark::DoNotOptimize(s.Data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["fields/s"] = benchmark::Counter(double(fields) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WriteBits)->Unit(benchmark::kMillisecond);

// Record-shaped writes: a few bit fields, then alignment.
void BM_WriteBitsFlushBits(benchmark::State& state) {
    const int records = 1 << 18;
    std::size_t bytes = 0;
    for (auto _ : state) {
        FSWFStream s;
        for (int i = 0; i < records; ++i) {
            s.WriteBits(0, 2);
            s.WriteBits(11, 5);
            s.WriteBits(static_cast<std::uint32_t>(i), 11);
            s.WriteBits(static_cast<std::uint32_t>(-i), 11);
            s.FlushBits();
        }
        bytes = s.Size();
        benchmark::DoNotOptimize(s.Data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
}
BENCHMARK(BM_WriteBitsFlushBits)->Unit(benchmark::kMillisecond);

// About one million tags: a PlaceObject2 move with a new matrix and a
// ShowFrame per frame, as an animated element produces them.
std::unique_ptr<FObjCollection> SmallTagMovie() {
    auto movie = std::make_unique<FObjCollection>();
    movie->AddFObj(
        std::make_unique<FCTSetBackgroundColor>(std::make_unique<FColor>(255, 255, 255)));
    for (int frame = 0; frame < 500000; ++frame) {
        const int x = frame % 11000;
        movie->AddFObj(std::make_unique<FCTPlaceObject2>(
            0, 0, 0, 1, 2, 0,
            std::make_unique<FMatrix>(1, 65536 - x, 65536 - x, 1, x, -x, x * 2, 8000 - x), nullptr,
            0, nullptr, 0));
        movie->AddFObj(std::make_unique<FCTShowFrame>());
    }
    return movie;
}

void BM_MovieOfSmallTags(benchmark::State& state) {
    auto movie = SmallTagMovie();
    std::size_t bytes = 0;
    for (auto _ : state) {
        FSWFStream s;
        movie->WriteMovie(s, 11000, 8000, 12);
        bytes = s.Size();
        benchmark::DoNotOptimize(s.Data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["tags"] = double(movie->ObjectCount());
    state.counters["MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_MovieOfSmallTags)->Unit(benchmark::kMillisecond);

std::filesystem::path BenchFile(const char* name) {
    return std::filesystem::temp_directory_path() /
           (std::string("swf-bench-") + std::to_string(::getpid()) + name);
}

void BM_MovieOfSmallTagsToFile(benchmark::State& state) {
    auto movie = SmallTagMovie();
    const auto path = BenchFile("-small.swf");
    for (auto _ : state) {
        if (!movie->CreateMovie(path, 11000, 8000, 12))
            state.SkipWithError("could not write the movie");
    }
    const auto bytes = std::filesystem::file_size(path);
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
}
BENCHMARK(BM_MovieOfSmallTagsToFile)->Unit(benchmark::kMillisecond);

// A JPEG of the given size in megabytes, serialised into the movie stream:
// the data is referenced, so the time must not grow with its size.
void BM_LargeJpegSerialise(benchmark::State& state) {
    const std::vector<unsigned char> jpeg(static_cast<std::size_t>(state.range(0)) << 20, 0x5A);
    FObjCollection movie;
    movie.AddFObj(std::make_unique<FDTDefineBitsJPEG2>(jpeg.data(), jpeg.size()));
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    std::size_t buffered = 0;
    for (auto _ : state) {
        FSWFStream s;
        movie.WriteMovie(s, 11000, 8000, 12);
        buffered = s.ByteCount();
        benchmark::DoNotOptimize(s.Data());
    }
    state.counters["buffered bytes"] = double(buffered);
}
BENCHMARK(BM_LargeJpegSerialise)->Arg(1)->Arg(50)->Unit(benchmark::kMicrosecond);

// The same with the file write, which is where the 50 MB are copied once.
void BM_LargeJpegToFile(benchmark::State& state) {
    const std::vector<unsigned char> jpeg(static_cast<std::size_t>(state.range(0)) << 20, 0x5A);
    FObjCollection movie;
    movie.AddFObj(std::make_unique<FDTDefineBitsJPEG2>(jpeg.data(), jpeg.size()));
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    const auto path = BenchFile("-jpeg.swf");
    for (auto _ : state) {
        if (!movie.CreateMovie(path, 11000, 8000, 12))
            state.SkipWithError("could not write the movie");
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<std::int64_t>(jpeg.size()) * state.iterations());
}
BENCHMARK(BM_LargeJpegToFile)->Arg(50)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
