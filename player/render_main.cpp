// moviloomster-render MOVIE.swf [--frame K | --all] -o OUT.png|FOLDER [--scale S]
// Draws frame K (from 1; the last frame when not given) of a movie into a PNG
// file, or every frame into FOLDER as <movie>-0001.png, ... Exit codes: 0
// success, 1 the movie cannot be read, 2 the output cannot be written, 3 usage.
#include "platform/CommandLine.h"
#include "player/MoviePlayer.h"

#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

const char* const Usage =
    "usage: moviloomster-render MOVIE.swf [--frame K | --all] -o OUT.png|FOLDER [--scale S]\n";

const char* const Help =
    "usage: moviloomster-render MOVIE.swf [--frame K | --all] -o OUT.png|FOLDER [--scale S]\n"
    "Draws frames of a movie into PNG pictures, as the built-in player shows them.\n"
    "\n"
    "  -o OUT.png     the picture to write (with --all: the folder for the frames)\n"
    "  --frame K      the frame to draw, from 1 (default: the last frame)\n"
    "  --all          draw every frame into FOLDER as MOVIE-0001.png, MOVIE-0002.png, ...\n"
    "  --scale S      size of the picture against the movie's stage (default 1)\n"
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
bool writeFrame(player::MoviePlayer& movie, int frame, double scale, const QSize& size,
                const std::string& path) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return false;
    {
        QPainter painter(&image);
        movie.renderFrame(frame, painter, scale);
    }
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

int main(int argc, char** argv) {
    if (platform::AnswerHelpOrVersion(argc, argv, "moviloomster-render", Help) == 0) return 0;
    std::string moviePath, output;
    long frame = 0;
    bool all = false, frameGiven = false;
    double scale = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--frame" && hasValue) {
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
        } else if (arg.empty() || arg[0] == '-' || !moviePath.empty()) {
            return usage();
        } else {
            moviePath = arg;
        }
    }
    if (moviePath.empty() || output.empty()) return usage();
    if (all && frameGiven) return usage("--frame and --all exclude each other");

    player::MoviePlayer movie;
    std::string error;
    if (!movie.load(moviePath, &error)) {
        std::cerr << "moviloomster-render: cannot read " << moviePath << ": " << error << "\n";
        return 1;
    }
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
    std::filesystem::create_directories(output, ec);
    if (!std::filesystem::is_directory(output, ec)) {
        std::cerr << "moviloomster-render: cannot create the folder " << output << "\n";
        return 2;
    }
    const std::string stem = std::filesystem::path(moviePath).stem().string();
    const int digits = std::max(4, static_cast<int>(std::to_string(info.frameCount).size()));
    for (int k = 0; k < info.frameCount; ++k) {
        std::string number = std::to_string(k + 1);
        number.insert(0, size_t(digits) - std::min(number.size(), size_t(digits)), '0');
        const std::string path =
            (std::filesystem::path(output) / (stem + "-" + number + ".png")).string();
        if (!writeFrame(movie, k, scale, size, path)) {
            std::cerr << "moviloomster-render: cannot write " << path << "\n";
            return 2;
        }
    }
    return 0;
}
