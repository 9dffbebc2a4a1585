// The player's movie reader and renderer on arbitrary bytes: reading must
// fail cleanly or succeed, and a movie that reads draws its first and last
// frame without fault.
#include "player/MoviePlayer.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    player::MoviePlayer movie;
    std::string error;
    if (!movie.loadBytes(std::vector<uint8_t>(data, data + size), &error)) return 0;
    const player::MovieInfo& info = movie.info();
    // Small pictures keep the runs fast; every character is still drawn.
    const double scale = 48.0 / std::max(info.width, info.height);
    QImage image(std::max(1, int(info.width * scale) + 1),
                 std::max(1, int(info.height * scale) + 1), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    movie.renderFrame(0, painter, scale);
    movie.renderFrame(info.frameCount - 1, painter, scale);
    movie.renderFrame(info.frameCount / 2, painter, scale);
    return 0;
}
