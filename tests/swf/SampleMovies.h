#pragma once

// Movies the tests write, shared by the unit tests and by swf_sample_movies,
// which writes them for the independent reader check (check_with_yaswfp.py).
// Every movie comes with the facts a reader must find in it, as JSON.

#include "FObjCollection.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct SampleMovie {
    std::string name;
    std::int32_t frameWidth; // twips
    std::int32_t frameHeight;
    int frameRate;
    std::unique_ptr<FObjCollection> movie;
    std::vector<std::string> tagFacts;             // one JSON object per tag, in file order
    std::vector<std::vector<unsigned char>> jpegs; // referenced by the movie's JPEG tags

    // The expectations file: frame, rate, frame count and the tag facts.
    std::string ExpectationJson() const;
};

std::vector<std::string> SampleMovieNames();
// Builds the named movie (character IDs count from the current counter).
SampleMovie BuildSampleMovie(const std::string& name);

// Builds and writes name.swf and name.expect.json into folder.
bool WriteSampleMovie(const std::string& name, const std::filesystem::path& folder);
