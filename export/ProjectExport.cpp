#include "export/ProjectExport.h"

#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "player/MoviePlayer.h"

#include <utility>

namespace movie_export {

ProjectExportResult ExportProject(const ExportOptions& options,
                                  const std::function<void()>& afterCompile) {
    ProjectExportResult result;
    int frames = 0;
    // The movie is compiled into memory (it is small next to its frames) and
    // read from there.
    CompileOptions compile;
    compile.inMemory = true;
    compile.cancelRequested = options.cancelRequested;
    compile.afterCompile = afterCompile;
    compile.progress = [&](int32_t frame, int32_t last) {
        frames = last + 1;
        if (options.progress) options.progress(frame, 2 * frames);
    };
    CompileResult compiled = CompileMovie(compile);
    result.warnings = compiled.warnings;
    if (compiled.cancelled) {
        result.cancelled = true;
        return result;
    }
    if (!compiled.written) {
        result.outOfMemory = compiled.outOfMemory;
        result.error = "the movie could not be compiled: " + compiled.error;
        return result;
    }
    player::MoviePlayer movie;
    std::string error;
    if (!movie.loadBytes(std::move(compiled.movie), &error)) {
        result.error = "the compiled movie could not be read: " + error;
        return result;
    }
    ExportOptions exporting = options;
    exporting.loop = Stage.repeat();
    const int total = movie.info().frameCount;
    exporting.progress = [&](int frame, int) {
        if (options.progress) options.progress(total + frame, 2 * total);
    };
    static_cast<ExportResult&>(result) = ExportMovie(movie, exporting);
    return result;
}

} // namespace movie_export
