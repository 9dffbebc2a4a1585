#pragma once
// Reads an uncompressed SWF movie (signature FWS) into a Movie: the header,
// the definitions the built-in player draws and the control tags of every
// frame. Every read is bounded by the tag's declared length; a damaged file
// gives an error that names the tag and its byte offset.

#include "player/MovieData.h"

#include <cstdint>
#include <string>
#include <vector>

namespace player {

// Lenient reading plays what a player would play: the header's length and
// frame count are not trusted, unknown tags and bytes after a tag's fields
// are skipped, and a text is tried in both record layouts. Strict reading
// (for checking a movie the compiler wrote) refuses all of that: the header
// must give the file's length and its number of ShowFrame tags, every tag
// must be known and read exactly to its end (DefineFontInfo included), the
// text records must parse in the layout of the movie's version with every
// record on a byte boundary and draw glyphs of a defined font, a morph
// shape's end edges must pair one to one with its start edges, and the movie
// must end with its End tag. It also lists the tags in Movie::tags.
enum class ReadMode { Lenient, Strict };

// Reads `bytes` into *movie. On failure returns false and sets *error to one
// line such as "DefineShape at offset 1234: the tag ends inside its fill
// styles"; *movie is then unspecified.
bool readSwf(const std::vector<uint8_t>& bytes, Movie* movie, std::string* error,
             ReadMode mode = ReadMode::Lenient);

// The name of a tag code ("PlaceObject2"), or "tag N" for codes it does not know.
std::string tagName(int code);

} // namespace player
