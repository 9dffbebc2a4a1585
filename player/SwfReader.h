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

// Reads `bytes` into *movie. On failure returns false and sets *error to one
// line such as "DefineShape at offset 1234: the tag ends inside its fill
// styles"; *movie is then unspecified.
bool readSwf(const std::vector<uint8_t>& bytes, Movie* movie, std::string* error);

// The name of a tag code ("PlaceObject2"), or "tag N" for codes it does not know.
std::string tagName(int code);

} // namespace player
