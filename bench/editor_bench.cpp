// LoadProject / SaveProject of a picture-heavy project of about 100 MB, each
// next to a plain read or write of the same bytes, in the same run; and
// LoadProject of a project of many minimal elements (goal: 1,000,000 in at
// most 2 s).
#include "BenchSupport.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace movibench;

// 12 pictures of 2880 x 1000 pixels, each followed by a text: about 104 MB
// of pixel rows.
void buildProject() {
    static bool built = false;
    if (built) return;
    built = true;
    for (int i = 0; i < 12; ++i) {
        const DibRecord pic = rampPicture(2880, 1000, i);
        AddObjekt(okPicture, &pic);
        AddObjekt(okText);
    }
}

uint64_t fileSize(const std::string& p) {
    return std::filesystem::file_size(p);
}

void BM_SaveProject(benchmark::State& state) {
    buildProject();
    const std::string path = scratchFile("save.fmo");
    for (auto _ : state)
        SaveProject(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fileSize(path)));
}

// The same bytes with one fwrite, flushed to the disk as SaveProject does.
void BM_PlainWrite(benchmark::State& state) {
    buildProject();
    const std::string src = scratchFile("save.fmo");
    SaveProject(src);
    std::vector<char> bytes(fileSize(src));
    std::FILE* in = std::fopen(src.c_str(), "rb");
    benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), in));
    std::fclose(in);
    const std::string path = scratchFile("plain.bin");
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fflush(f);
        if (state.range(0)) fsync(fileno(f));
        std::fclose(f);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_LoadProject(benchmark::State& state) {
    buildProject();
    const std::string path = scratchFile("load.fmo");
    SaveProject(path);
    for (auto _ : state)
        LoadProject(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fileSize(path)));
}

void BM_PlainRead(benchmark::State& state) {
    buildProject();
    const std::string path = scratchFile("load.fmo");
    SaveProject(path);
    std::vector<char> bytes(fileSize(path));
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

// A project of `count` drawing objects with nothing in them.
void BM_LoadMinimalElements(benchmark::State& state) {
    const auto count = static_cast<int32_t>(state.range(0));
    const std::string path = scratchFile("minimal-") + std::to_string(count) + ".fmo";
    ClearObjekts();
    ObjektList.Reserve(count);
    for (int32_t i = 0; i < count; ++i)
        AddObjekt(okDrawing);
    SaveProject(path);
    ClearObjekts();
    for (auto _ : state)
        LoadProject(path);
    state.SetItemsProcessed(int64_t(state.iterations()) * count);
    ClearObjekts();
}

BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainWrite)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadProject)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadMinimalElements)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ClearObjekts();
    return 0;
}
