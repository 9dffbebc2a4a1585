#pragma once
// Reading the HTML page that the save command writes beside a movie: which
// movie it embeds and whether it asks the player not to loop.

#include <optional>
#include <string>
#include <string_view>

namespace player {

struct MoviePage {
    std::string movie; // as the page names it (character references and the
                       // percent-encoding of non-ASCII bytes resolved)
    bool loop = true;  // false when the page has <param name="loop" value="false">
};

// The movie and loop setting of an embedding page: the object's "movie"
// parameter, else the embed element's src. Names are matched without regard
// to case, values may be in double or single quotes or bare. Nothing when the
// page names no movie.
std::optional<MoviePage> ParseMoviePage(std::string_view html);

// The movie's path for a page's path and the name the page gives: relative
// names are taken from the page's folder.
std::string MoviePathForPage(const std::string& pagePath, const std::string& movie);

} // namespace player
