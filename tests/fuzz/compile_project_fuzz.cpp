// Compiles whatever project the reader accepts. Hostile but readable projects
// (absurd rectangles, times, sizes, kinds, rotations, texts that are not
// Shift-JIS) must give a movie, never a crash or a read out of bounds, and
// the movie written must read back strictly: every tag known and read to its
// end, the header's length and frame count true.
#include "LinkedPixmill.h"
#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "player/SwfReader.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {
std::string g_output;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    BindLinkedPixmill();
    g_output = "/tmp/compile-fuzz-" + std::to_string(getpid()) + ".swf";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!LoadProjectBytes(data, size, "fuzz.fmo")) return 0;
    // Keep each run short: long movies are correct but slow, not interesting.
    int64_t maxTime = 0;
    for (int32_t i = 0; i < ObjektList.Count; ++i) {
        ObjektList.Select(i);
        maxTime = std::max<int64_t>({maxTime, CurObjekt->Start.Time, CurObjekt->End.Time});
    }
    const int64_t frames = maxTime * Stage.framesPerSecond() / 1000 + 1;
    if (frames * (ObjektList.Count + 1) <= 20000) {
        CompileOptions options;
        options.outputPath = g_output;
        if (CompileMovie(options).written) {
            std::ifstream in(g_output, std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            player::Movie movie;
            std::string error;
            if (!player::readSwf(bytes, &movie, &error, player::ReadMode::Strict)) {
                std::fprintf(stderr, "the compiled movie does not read back: %s\n", error.c_str());
                std::abort();
            }
        }
        unlink(g_output.c_str());
    }
    ClearObjekts();
    return 0;
}
