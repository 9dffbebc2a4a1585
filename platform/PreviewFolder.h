#pragma once
// Where the preview movie goes: a folder the user can always write to.

#include <string>

namespace platform {

// The folder of the preview movie, ending in '/': the program's folder when a
// file can be created there; otherwise the user's cache folder
// ($XDG_CACHE_HOME, or ~/.cache, then "moviloomster"); otherwise a private
// folder of the user's in the temporary folder.
std::string PreviewFolder(const std::string& programDir);

} // namespace platform
