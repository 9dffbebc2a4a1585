#pragma once
// Shared helpers of the editor tests: the bound image library, a fresh
// temporary folder per test, and a view that records messages.

#include "common/TempDir.h"
#include "editor/model/ProjectFile.h"

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Resets the project to a new, empty one with default settings.
void ResetProject();

class RecordingView final : public ProjectView {
public:
    void showError(std::string_view text) override { errors.emplace_back(text); }
    void projectFileNameChanged() override { ++captionUpdates; }
    void projectLoaded() override { ++loads; }
    std::vector<std::string> errors;
    int captionUpdates = 0;
    int loads = 0;
};

using TempDir = movitest::TempDir;

std::vector<unsigned char> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);

} // namespace testsupport
