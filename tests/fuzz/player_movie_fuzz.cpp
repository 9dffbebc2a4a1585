// The player's movie reader and renderer on arbitrary bytes: reading must
// fail cleanly or succeed, and a movie that reads draws its first, middle
// and last frame without fault, within a work budget.
#include "player/MoviePlayer.h"

#include <QImage>
#include <QLoggingCategory>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The picture decoder's complaints about damaged data would fill the log.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    player::MoviePlayer movie;
    std::string error;
    if (!movie.loadBytes(std::vector<uint8_t>(data, data + size), &error)) return 0;
    const player::MovieInfo& info = movie.info();
    // Pictures of up to 160 pixels, each frame with a small share of the
    // work and the time a frame may take, so that costly movies are reached
    // and drawn in part quickly (three frames stay far within the 10 s an
    // input may take, also on a loaded machine); every character is still
    // drawn.
    const double scale = std::min(1.0, 160.0 / std::max(info.width, info.height));
    QImage image(std::max(1, int(info.width * scale) + 1),
                 std::max(1, int(info.height * scale) + 1), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    player::RenderLimits limits;
    limits.work = 2e6;
    limits.seconds = 0.2;
    movie.renderFrame(0, painter, scale, limits);
    movie.renderFrame(info.frameCount - 1, painter, scale, limits);
    movie.renderFrame(info.frameCount / 2, painter, scale, limits);
    return 0;
}
