#pragma once
// Exports the project (the element list and stage settings) into a frame
// format: compiles it into a movie, then draws and encodes the movie's frames
// one by one. The loop follows the project's repeat flag. The command line
// and the editor both call this.

#include "export/MovieExporter.h"

#include <functional>
#include <string>
#include <vector>

namespace movie_export {

struct ProjectExportResult : ExportResult {
    // Elements or changes the compiler left out of the movie.
    std::vector<std::string> warnings;
};

// `options.loop` is replaced by the project's repeat flag; progress counts the
// compilation's frames and then the export's, as (done, total).
// `afterCompile` is handed to the compiler (see CompileOptions).
ProjectExportResult ExportProject(const ExportOptions& options,
                                  const std::function<void()>& afterCompile = {});

} // namespace movie_export
