#pragma once
// Random valid projects from a seed, for the round-trip check and the
// real-player scenes: every element kind, texts of 1 to 2,000 characters of
// kanji, kana, Latin letters and symbols with repeats (so that long ones are
// spread over several fonts), pictures of odd sizes, states anywhere in the
// range the editor accepts, 1 to 120 frames per second, up to 200 elements.

#include <cstdint>
#include <string>
#include <vector>

namespace randomproject {

// What the generator put into one element, as the checks need it.
struct ElementInfo {
    int32_t kind = 0;
    int32_t startTime = 0, endTime = 0;
    bool deleteAtEnd = false;
    std::u16string text; // text elements
};

struct Project {
    int32_t fps = 12;
    int32_t maxTime = 0; // the largest time of any element, at least 0
    std::vector<ElementInfo> elements;
};

// Replaces the current project (ObjektList, Stage) with the project of
// `seed`; the same seed always gives the same project. Needs the image
// library bound (pictures). With `append`, the seed's elements are added to
// the current project instead, whose stage settings stay.
Project Generate(uint32_t seed, bool append = false);

} // namespace randomproject
