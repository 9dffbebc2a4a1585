#pragma once
// Where the preview movie goes: a folder the user can always write to.

#include <string>

namespace platform {

// The folder of the preview movie, ending in '/': the program's folder when a
// file can be created there; otherwise the user's cache folder
// ($XDG_CACHE_HOME, or ~/.cache, then "moviloomster"); otherwise a private
// folder of the user's in the temporary folder.
std::string PreviewFolder(const std::string& programDir);

// A file name of this running process's own, for a folder that every running
// editor shares: "<stem>-<process id><extension>" ("playtemp-4711.swf").
std::string ProcessOwnName(const std::string& stem, const std::string& extension);

// Removes from `folder` (ending in '/') the plain files named
// "<stem>-<process id>.<anything>" whose process no longer runs: what ended
// editors left there.
void RemoveNamesOfEndedProcesses(const std::string& folder, const std::string& stem);

} // namespace platform
