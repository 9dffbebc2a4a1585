#pragma once
// The compiler's tests read the movies it writes with the player's reader in
// strict mode, and look at them tag by tag: each tag keeps its bytes, the
// first 16-bit field (the ID a definition defines or refers to, a removal's
// depth) and, for a PlaceObject2 or RemoveObject2, the control operation the
// reader made of it.

#include "player/SwfReader.h"
#include "swf/TagCode.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace strictmovie {

using enum swf::TagCode;

struct Tag {
    int code = 0;
    uint16_t id = 0;
    std::vector<uint8_t> body;
    player::ControlOp op;
};

struct Movie {
    player::Movie data;
    std::vector<Tag> tags; // up to and including End

    std::vector<int> codes() const;
    int count(int code) const;
    // Tags between ShowFrames: frames()[k] holds the tags of frame k.
    std::vector<std::vector<const Tag*>> frames() const;
    // The character a definition tag defines.
    template <class T> const T& get(const Tag& t) const {
        return std::get<T>(data.characters.at(t.id));
    }
};

// Reads the movie strictly. A movie the reader refuses, or one with what the
// compiler never writes (colour transforms on placements, line styles,
// morph fills other than solid colours, shapes filled other than with a
// bitmap), fails the current test.
Movie Read(const std::vector<uint8_t>& bytes);
Movie ReadFile(const std::string& path);

// 16.16 fixed point of a matrix factor, as stored in the file.
int32_t Fixed(double factor);

} // namespace strictmovie

namespace player {
inline void PrintTo(const Point& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ")";
}
} // namespace player
