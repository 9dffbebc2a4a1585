#pragma once
// The SWF tag codes (the upper ten bits of a tag's record header) that the
// writer emits, the player reads and the tests build and check.

#include <cstdint>

namespace swf {

enum TagCode : std::uint16_t {
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    PlaceObject = 4,
    RemoveObject = 5,
    SetBackgroundColor = 9,
    DefineFont = 10,
    DefineText = 11,
    DefineFontInfo = 13,
    DefineBitsJPEG2 = 21,
    DefineShape2 = 22, // a DefineShape with 255 fill styles or more
    PlaceObject2 = 26,
    RemoveObject2 = 28,
    DefineShape3 = 32,
    DefineText2 = 33,
    DefineMorphShape = 46,
};

// The tag's name as the format names it; null for a code not listed above.
constexpr const char* TagCodeName(int code) {
    switch (code) {
    case End:
        return "End";
    case ShowFrame:
        return "ShowFrame";
    case DefineShape:
        return "DefineShape";
    case PlaceObject:
        return "PlaceObject";
    case RemoveObject:
        return "RemoveObject";
    case SetBackgroundColor:
        return "SetBackgroundColor";
    case DefineFont:
        return "DefineFont";
    case DefineText:
        return "DefineText";
    case DefineFontInfo:
        return "DefineFontInfo";
    case DefineBitsJPEG2:
        return "DefineBitsJPEG2";
    case DefineShape2:
        return "DefineShape2";
    case PlaceObject2:
        return "PlaceObject2";
    case RemoveObject2:
        return "RemoveObject2";
    case DefineShape3:
        return "DefineShape3";
    case DefineText2:
        return "DefineText2";
    case DefineMorphShape:
        return "DefineMorphShape";
    default:
        return nullptr;
    }
}

} // namespace swf
