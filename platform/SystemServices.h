#pragma once
// The temporary folder and the shell's "open" verb, behind seams that tests
// (and the window, which opens through Qt) can replace.

#include <functional>
#include <string>

namespace platform {

// The folder for temporary files, ending in '/': $TMPDIR when set, else /tmp,
// or what SetTempFolder installed.
std::string TempFolder();
// Replaces the temporary folder (empty restores the default).
void SetTempFolder(const std::string& folder);

// Opens a document with the desktop's associated program. Returns whether the
// request could be handed over; the program itself runs on its own.
using ShellOpenFn = std::function<bool(const std::string& path)>;
bool ShellOpen(const std::string& path);
// Replaces the opener (empty restores xdg-open).
void SetShellOpen(ShellOpenFn fn);
// The opener in place now (xdg-open when none was installed), for a
// replacement that hands on what it does not handle itself.
ShellOpenFn CurrentShellOpen();

} // namespace platform
