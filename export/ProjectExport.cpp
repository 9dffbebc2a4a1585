#include "export/ProjectExport.h"

#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "platform/SystemServices.h"
#include "player/MoviePlayer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace movie_export {
namespace {

// A private folder for the intermediate movie, removed with what it holds.
class PrivateFolder {
public:
    PrivateFolder() {
        std::string pattern = platform::TempFolder() + "moviloomster-export-XXXXXX";
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~PrivateFolder() {
        if (m_path.empty()) return;
        ::unlink(file().c_str());
        ::rmdir(m_path.c_str());
    }
    bool ok() const { return !m_path.empty(); }
    std::string file() const { return m_path + "/movie.swf"; }

private:
    std::string m_path;
};

} // namespace

ProjectExportResult ExportProject(const ExportOptions& options,
                                  const std::function<void()>& afterCompile) {
    ProjectExportResult result;
    int frames = 0;
    PrivateFolder folder;
    if (!folder.ok()) {
        result.error = std::string("cannot create a temporary folder: ") + std::strerror(errno);
        return result;
    }
    CompileOptions compile;
    compile.outputPath = folder.file();
    compile.cancelRequested = options.cancelRequested;
    compile.afterCompile = afterCompile;
    compile.progress = [&](int32_t frame, int32_t last) {
        frames = last + 1;
        if (options.progress) options.progress(frame, 2 * frames);
    };
    const CompileResult compiled = CompileMovie(compile);
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
    const bool loaded = movie.load(folder.file(), &error);
    ::unlink(folder.file().c_str());
    if (!loaded) {
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
