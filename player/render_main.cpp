// moviloomster-render MOVIE.swf [--frame K | --all] -o OUT.png|FOLDER [--scale S]
// moviloomster-render MOVIE.swf -o OUT.gif|.webp|.apng|.webm [--format NAME]
//                     [--scale S] [--quality Q]
// Draws frame K (from 1; the last frame when not given) of a movie into a PNG
// file, or every frame into FOLDER as <movie>-0001.png, ...; or converts the
// movie into an animation (a .png is the single frame unless --format apng).
// The animation loops unless the movie's page beside it says not to. Exit
// codes: 0 success, 1 the movie cannot be read, 2 the output cannot be
// written (or the export was interrupted), 3 usage (an unknown format too).
#include "export/ExportCommand.h"
#include "export/MovieExporter.h"
#include "platform/CommandLine.h"
#include "platform/ReplacingFile.h"
#include "player/MoviePage.h"
#include "player/MoviePlayer.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "usage: moviloomster-render MOVIE.swf [--frame K | --all] -o OUT.png|FOLDER [--scale S]\n"
    "       moviloomster-render MOVIE.swf -o OUT.gif|.webp|.apng|.webm [--format NAME] [--scale S] "
    "[--quality Q]\n";

const char* const Help =
    "usage: moviloomster-render MOVIE.swf [--frame K | --all] -o OUT.png|FOLDER [--scale S]\n"
    "       moviloomster-render MOVIE.swf -o OUT.gif|.webp|.apng|.webm [--format NAME] [--scale S] "
    "[--quality Q]\n"
    "Draws frames of a movie into PNG pictures, as the built-in player shows them,\n"
    "or the whole movie into an animated GIF, WebP or PNG, or a WebM video.\n"
    "\n"
    "  -o OUT.png     the picture to write (with --all: the folder for the frames)\n"
    "  --frame K      the frame to draw, from 1 (default: the last frame)\n"
    "  --all          draw every frame into FOLDER as MOVIE-0001.png, MOVIE-0002.png, ...\n"
    "  --scale S      size of the picture against the movie's stage (default 1;\n"
    "                 1 to 4 for an animation)\n"
    "  -o OUT.EXT     an animation of the whole movie: .gif, .webp, .apng, .webm\n"
    "  --format NAME  the animation's format whatever the extension: gif, webp, apng, webm\n"
    "  --quality Q    0 to 100: lossy WebP, the WebM's quality (default: lossless WebP)\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Exit status: 0 success, 1 the movie cannot be read, 2 the output cannot be\n"
    "written, 3 a usage error.\n";

int usage(const std::string& why = std::string()) {
    if (!why.empty()) std::cerr << "moviloomster-render: " << why << "\n";
    std::cerr << Usage;
    return 3;
}

bool parseInt(const char* text, long* value) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

bool parseDouble(const char* text, double* value) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && std::isfinite(*value);
}

// Renders one frame and writes it; the previous file stays if writing fails.
// A frame too costly to draw in full is drawn in part, and said so.
bool writeFrame(player::MoviePlayer& movie, int frame, double scale, const QSize& size,
                const std::string& path) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return false;
    bool whole = true;
    {
        QPainter painter(&image);
        whole = movie.renderFrame(frame, painter, scale);
    }
    if (!whole)
        std::cerr << "moviloomster-render: frame " << frame + 1
                  << " is too costly to draw in full; it is drawn in part\n";
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
    platform::ReplacingFile file(path);
    return file.file() && file.write(png.constData(), size_t(png.size())) && file.commit();
}

// Whether the movie loops: the page the save command wrote beside it says so
// when it embeds this movie; without one it loops, as players do.
bool loopsByItsPage(const std::string& moviePath) {
    const std::filesystem::path movie(moviePath);
    std::ifstream in(std::filesystem::path(movie).replace_extension(".htm"), std::ios::binary);
    if (!in) return true;
    std::string html;
    html.resize(1 << 16);
    in.read(html.data(), static_cast<std::streamsize>(html.size()));
    html.resize(static_cast<size_t>(in.gcount()));
    const std::optional<player::MoviePage> page = player::ParseMoviePage(html);
    if (!page || std::filesystem::path(page->movie).filename() != movie.filename()) return true;
    return page->loop;
}

int exportMovie(player::MoviePlayer& movie, const std::string& moviePath, const std::string& output,
                const movie_export::FormatInfo& format, const movie_export::ExportArguments& args) {
    const movie_export::InterruptGuard interrupts;
    movie_export::TerminalProgress progress;
    movie_export::ExportOptions options;
    options.outputPath = output;
    options.format = format.format;
    options.scale = args.scale;
    options.quality = args.quality;
    options.loop = loopsByItsPage(moviePath);
    options.progress = [&](int done, int total) { progress(done, total); };
    options.cancelRequested = &movie_export::InterruptGuard::requested;
    const movie_export::ExportResult result = movie_export::ExportMovie(movie, options);
    progress.done();
    if (result.cancelled) movie_export::InterruptGuard::reraise();
    if (!result.written) {
        std::cerr << "moviloomster-render: cannot write " << output << ": " << result.error << "\n";
        return 2;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // A file-size limit makes a write fail instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    if (platform::AnswerHelpOrVersion(argc, argv, "moviloomster-render", Help) == 0) return 0;
    std::string moviePath, output;
    long frame = 0;
    bool all = false, frameGiven = false, scaleGiven = false;
    double scale = 1;
    movie_export::ExportArguments exportArgs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if ((arg == "--format" || arg == "--quality") && hasValue) {
            std::string why;
            if (movie_export::TakeExportOption(argc, argv, &i, &exportArgs, &why) < 0)
                return usage(why);
        } else if (arg == "--frame" && hasValue) {
            if (!parseInt(argv[++i], &frame) || frame < 1)
                return usage("--frame needs a frame number from 1");
            frameGiven = true;
        } else if (arg == "--all") {
            all = true;
        } else if (arg == "-o" && hasValue) {
            output = argv[++i];
        } else if (arg == "--scale" && hasValue) {
            if (!parseDouble(argv[++i], &scale) || scale <= 0 || scale > 64)
                return usage("--scale needs a number above 0 and at most 64");
            scaleGiven = true;
        } else if (arg.empty() || arg[0] == '-' || !moviePath.empty()) {
            return usage();
        } else {
            moviePath = arg;
        }
    }
    if (moviePath.empty() || output.empty()) return usage();
    if (all && frameGiven) return usage("--frame and --all exclude each other");

    // A single frame is a PNG; any other format is the whole movie.
    const movie_export::FormatInfo* format = nullptr;
    if (!all && (!exportArgs.format.empty() || movie_export::ExtensionOf(output) != "png")) {
        std::string why;
        format = movie_export::ChooseFormat(exportArgs, output, &why);
        if (!format) return usage(why);
        if (format->kind != movie_export::FormatKind::Frames)
            return usage(std::string("a movie cannot be converted into ") + format->name +
                         "; the formats are: " + movie_export::FormatNames());
        if (frameGiven) return usage("--frame draws a single frame into a PNG file");
        if (scaleGiven && (scale < movie_export::kMinScale || scale > movie_export::kMaxScale))
            return usage("--scale needs a number from 1 to 4 for an animation");
        exportArgs.scale = scale;
    } else if (!exportArgs.format.empty() || exportArgs.quality >= 0) {
        return usage("--format and --quality are for animations");
    }

    player::MoviePlayer movie;
    std::string error;
    if (!movie.load(moviePath, &error)) {
        std::cerr << "moviloomster-render: cannot read " << moviePath << ": " << error << "\n";
        return 1;
    }
    if (format) return exportMovie(movie, moviePath, output, *format, exportArgs);
    const player::MovieInfo& info = movie.info();
    if (frameGiven && frame > info.frameCount)
        return usage("--frame " + std::to_string(frame) + ": the movie has " +
                     std::to_string(info.frameCount) + " frames");
    const double width = std::ceil(info.width * scale - 1e-9);
    const double height = std::ceil(info.height * scale - 1e-9);
    if (width > 16384 || height > 16384)
        return usage("--scale " + std::to_string(scale) + ": the picture would be " +
                     std::to_string(static_cast<long long>(width)) + " x " +
                     std::to_string(static_cast<long long>(height)) +
                     " pixels, more than 16384 on a side");
    const QSize size(std::max(1, static_cast<int>(width)), std::max(1, static_cast<int>(height)));

    if (!all) {
        const int index = frameGiven ? static_cast<int>(frame) - 1 : info.frameCount - 1;
        if (!writeFrame(movie, index, scale, size, output)) {
            std::cerr << "moviloomster-render: cannot write " << output << "\n";
            return 2;
        }
        return 0;
    }
    std::error_code ec;
    const bool hadFolder = std::filesystem::exists(output, ec);
    std::filesystem::create_directories(output, ec);
    if (!std::filesystem::is_directory(output, ec)) {
        std::cerr << "moviloomster-render: cannot create the folder " << output << "\n";
        return 2;
    }
    const std::string stem = std::filesystem::path(moviePath).stem().string();
    const int digits = std::max(4, static_cast<int>(std::to_string(info.frameCount).size()));
    std::vector<std::string> written; // frames this run made where none were
    for (int k = 0; k < info.frameCount; ++k) {
        std::string number = std::to_string(k + 1);
        number.insert(0, size_t(digits) - std::min(number.size(), size_t(digits)), '0');
        const std::string path =
            (std::filesystem::path(output) / (stem + "-" + number + ".png")).string();
        const bool fresh = !std::filesystem::exists(std::filesystem::symlink_status(path, ec));
        if (!writeFrame(movie, k, scale, size, path)) {
            std::cerr << "moviloomster-render: cannot write " << path << "\n";
            // A failed run leaves no new frames behind (nor a folder it made).
            for (const std::string& done : written)
                std::filesystem::remove(done, ec);
            if (!hadFolder) std::filesystem::remove(output, ec);
            return 2;
        }
        if (fresh) written.push_back(path);
    }
    return 0;
}
