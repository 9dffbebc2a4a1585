// Writes every sample movie with its expectations into the folder given as
// the only argument, for the independent reader check.
#include "SampleMovies.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 3;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    int failures = 0;
    for (const auto& name : SampleMovieNames()) {
        if (!WriteSampleMovie(name, folder)) {
            std::fprintf(stderr, "could not write %s\n", name.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 2;
}
