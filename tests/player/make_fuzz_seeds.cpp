// Writes the costly seeds of the movie fuzz target, so that its inputs start
// at the sizes and kinds of movie that ask the player for the most work:
//   player_make_seeds <tests/fuzz/corpus/player_movie_fuzz>
#include "player/HostileMovies.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 3;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const auto save = [&](const char* name, const swfbuild::Bytes& bytes) {
        std::ofstream out(dir / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "cannot write %s\n", (dir / name).c_str());
            std::exit(2);
        }
    };
    save("comb_full.swf", swfbuild::combMovie());
    save("comb_moving.swf", swfbuild::combMovie(200, 20, 12));
    save("padded_fill_65.swf", swfbuild::paddedFillMovie(65));
    save("picture_comb.swf", swfbuild::pictureCombMovie());
    save("claiming_jpegs_20.swf", swfbuild::claimingJpegsMovie(20));
    return 0;
}
