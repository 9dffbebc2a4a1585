#pragma once
// A fresh temporary folder per test, removed with everything in it.

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace uninstall_test {

using TempFolder = movitest::TempDir;

// Creates the file with its folders.
inline void writeFile(const std::filesystem::path& p, const std::string& text = "x") {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

} // namespace uninstall_test
