// The embedding page reader on arbitrary text: it must end, never read outside
// the text, and find only non-empty movie names.
#include "player/MoviePage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    if (const auto page = player::ParseMoviePage(html); page && page->movie.empty()) std::abort();
    return 0;
}
