#pragma once
// The temporary folder, behind a seam that tests can replace.

#include <string>

namespace platform {

// The folder for temporary files, ending in '/': $TMPDIR when set, else /tmp,
// or what SetTempFolder installed.
std::string TempFolder();
// Replaces the temporary folder (empty restores the default).
void SetTempFolder(const std::string& folder);

} // namespace platform
