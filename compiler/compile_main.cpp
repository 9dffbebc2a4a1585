// moviloomster-compile PROJECT.fmo [-o OUT.EXT] [--format NAME] [--scale S]
//                      [--quality Q] [--no-html]
// Compiles a project into a movie and, unless --no-html, the HTML page next to
// it; or, for another format (by the extension or --format), exports the
// movie's frames into an animation, or writes the animated SVG. Exit codes:
// 0 success, 1 the project cannot be read, 2 the output cannot be written
// (too large, a write error, out of memory while building it), 3 a usage
// error (an unknown format among them). Nothing is left beside the targets
// when it fails or is interrupted.
#include "app/imaging/PixmillBinding.h"
#include "compiler/CompileMovie.h"
#include "compiler/HtmlPage.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "export/ExportCommand.h"
#include "export/ProjectExport.h"
#include "platform/CommandLine.h"
#include "platform/ReplacingFile.h"
#include "svg/SvgMovie.h"

#include <unistd.h>

#include <csignal>
#include <new>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

// The project reader's messages are the window's; this command words its own.
class SilentView final : public ProjectView {
public:
    void showError(std::string_view) override {}
};

const char* const Usage = "usage: moviloomster-compile PROJECT.fmo [-o OUT.EXT] [--format NAME] "
                          "[--scale S] [--quality Q] [--no-html]\n";

const char* const Help =
    "usage: moviloomster-compile PROJECT.fmo [-o OUT.EXT] [--format NAME] [--scale S] [--quality "
    "Q]\n"
    "                            [--no-html]\n"
    "Compiles a Movi-Loomster project into a movie and the HTML page that shows it,\n"
    "or into an animated GIF, WebP, PNG or SVG, or a WebM video.\n"
    "\n"
    "  -o OUT.EXT     where to write (default: the project's name with .swf); the\n"
    "                 extension chooses the format: .swf, .gif, .webp, .png (APNG), .webm,\n"
    "                 .svg\n"
    "  --format NAME  the format whatever the extension: swf, gif, webp, apng, webm, svg\n"
    "  --scale S      the animation's size against the stage, 1 to 4 (default 1)\n"
    "  --quality Q    0 to 100: lossy WebP, the WebM's quality (default: lossless WebP)\n"
    "  --no-html      write the movie only, no page\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Exit status: 0 success, 1 the project or the image library cannot be read,\n"
    "2 the output cannot be written, 3 a usage error (an unknown format too). A\n"
    "failed or interrupted write leaves the old files as they were.\n";

int usage(const std::string& why = std::string()) {
    if (!why.empty()) std::cerr << "moviloomster-compile: " << why << "\n";
    std::cerr << Usage;
    return 3;
}

int exportProject(const std::string& output, const movie_export::FormatInfo& format,
                  const movie_export::ExportArguments& args);

int run(int argc, char** argv, int& failureCode);

} // namespace

int main(int argc, char** argv) {
    if (platform::AnswerHelpOrVersion(argc, argv, "moviloomster-compile", Help) == 0) return 0;
    // A file-size limit makes a write fail with EFBIG, reported like any
    // write error, instead of killing the program mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    // What running out of memory means depends on the step: reading the
    // project (1) or building and writing the movie (2).
    int failureCode = 1;
    try {
        return run(argc, argv, failureCode);
    } catch (const std::bad_alloc&) {
        std::fputs("moviloomster-compile: out of memory\n", stderr);
    }
    ClearObjekts();
    return failureCode;
}

namespace {

int run(int argc, char** argv, int& failureCode) {
    std::string project, output;
    bool html = true;
    movie_export::ExportArguments exportArgs;
    for (int i = 1; i < argc; ++i) {
        std::string why;
        const int taken = movie_export::TakeExportOption(argc, argv, &i, &exportArgs, &why);
        if (taken < 0) return usage(why);
        if (taken > 0) continue;
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            output = argv[++i];
        else if (std::strcmp(argv[i], "--no-html") == 0)
            html = false;
        else if (argv[i][0] == '-' || !project.empty())
            return usage();
        else
            project = argv[i];
    }
    if (project.empty()) return usage();
    const movie_export::FormatInfo* format = &movie_export::Format(movie_export::ExportFormat::Swf);
    if (!output.empty() || !exportArgs.format.empty()) {
        std::string why;
        format = movie_export::ChooseFormat(exportArgs, output, &why);
        if (!format) return usage(why);
    }
    if (output.empty()) {
        output = HtmlPagePath(project);
        output.replace(output.size() - 4, 4, std::string(".") + format->extension);
    }

    const auto started = std::chrono::steady_clock::now();
    ConsoleBindingReporter reporter(true);
    ProgramDir = ProgramFolder();
    if (!BindPixmill(ProgramDir, reporter)) {
        std::cerr << "moviloomster-compile: cannot load the image library " << ProgramDir
                  << PixmillLibraryFile << ": " << reporter.firstReason << "\n";
        return 1;
    }
    SilentView view;
    SetProjectView(&view);
    ProjectLoadProblem problem;
    if (!LoadProject(project, &problem)) {
        std::cerr << "moviloomster-compile: cannot read " << project << ": " << problem.reason
                  << "\n";
        return 1;
    }

    failureCode = 2;
    const movie_export::InterruptGuard interrupts;
    if (format->kind != movie_export::FormatKind::Movie) {
        const int code = exportProject(output, *format, exportArgs);
        ClearObjekts();
        if (movie_export::InterruptGuard::requested()) movie_export::InterruptGuard::reraise();
        return code;
    }
    const bool terminal = isatty(STDERR_FILENO);
    CompileOptions options;
    options.outputPath = output;
    options.cancelRequested = &movie_export::InterruptGuard::requested;
    int32_t shown = -1;
    options.progress = [&](int32_t frame, int32_t last) {
        if (!terminal || last < 200) return;
        const int32_t percent = static_cast<int32_t>(int64_t(frame) * 100 / last);
        if (percent != shown) {
            shown = percent;
            std::fprintf(stderr, "\rframe %d of %d (%d%%)", frame + 1, last + 1, percent);
        }
    };
    // The movie and its page replace the old pair together, or neither does.
    const std::string page = HtmlPagePath(output);
    bool pageFailed = false;
    int pageError = 0;
    if (html)
        options.replaceMovie = [&](platform::ReplacingFile& movie) {
            platform::ReplacingFile pageFile(page);
            WriteHtmlLines(pageFile, BuildHtmlPage(Stage.width(), Stage.height(),
                                                   FileNamePart(output), Stage.repeat()));
            if (platform::ReplacingFile::CommitTogether(movie, pageFile)) return true;
            pageFailed = movie.error() == 0;
            pageError = pageFile.error();
            return false;
        };
    const CompileResult result = CompileMovie(options);
    if (shown >= 0) std::fprintf(stderr, "\r\033[K");
    if (result.cancelled) {
        ClearObjekts();
        movie_export::InterruptGuard::reraise();
    }
    for (const std::string& w : result.warnings)
        std::cerr << "moviloomster-compile: warning: " << w << "\n";
    if (!result.written) {
        if (pageFailed)
            std::cerr << "moviloomster-compile: cannot write " << page << ": "
                      << (pageError != 0 ? std::strerror(pageError)
                                         : "the file could not be written")
                      << "\n";
        else
            std::cerr << "moviloomster-compile: cannot write " << output << ": " << result.error
                      << "\n";
        ClearObjekts();
        return 2;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s: %d frames, %zu tags, %llu bytes, %.3f s\n", output.c_str(), result.frames,
                result.tags, static_cast<unsigned long long>(result.bytes), elapsed);
    ClearObjekts();
    return 0;
}

// Fills in what the options of every export share, runs `write` with them
// and reports the outcome: warnings, then the failure or a summary line.
template <class Options, class Write>
int runExport(const std::string& output, const char* formatName,
              const movie_export::ExportArguments& args, Options options, Write write) {
    const auto started = std::chrono::steady_clock::now();
    movie_export::TerminalProgress progress;
    options.outputPath = output;
    options.scale = args.scale;
    options.progress = [&](auto done, auto total) { progress(int(done), int(total)); };
    options.cancelRequested = &movie_export::InterruptGuard::requested;
    const auto result = write(options);
    progress.done();
    for (const std::string& w : result.warnings)
        std::cerr << "moviloomster-compile: warning: " << w << "\n";
    if (result.cancelled) return 2;
    if (!result.written) {
        std::cerr << "moviloomster-compile: cannot write " << output << ": " << result.error
                  << "\n";
        return 2;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s: %s, %d frames, %llu bytes, %.3f s\n", output.c_str(), formatName,
                int(result.frames), static_cast<unsigned long long>(result.bytes), elapsed);
    return 0;
}

// Exports into a frame format or the animated SVG; the project is loaded.
int exportProject(const std::string& output, const movie_export::FormatInfo& format,
                  const movie_export::ExportArguments& args) {
    if (format.kind == movie_export::FormatKind::Vector)
        return runExport(
            output, format.name, args, svg::SvgOptions(),
            [](const svg::SvgOptions& options) { return svg::WriteSvgMovie(options); });
    movie_export::ExportOptions options;
    options.format = format.format;
    options.quality = args.quality;
    return runExport(output, format.name, args, options,
                     [](const movie_export::ExportOptions& options) {
                         return movie_export::ExportProject(options);
                     });
}

} // namespace
