// Movies of a few kilobytes that ask for much work or memory: each is drawn
// or refused within bounds, and what is drawn is right.
#include "HostileMovies.h"
#include "player/MoviePlayer.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace swfbuild;

namespace {

QColor at(const QImage& image, int x, int y) {
    return QColor::fromRgb(image.pixel(x, y));
}

// The picture shrunk to a point in the middle of the stage: its corner
// pixels extend over the four quarters, through the colour transform of the
// top placement (red +64, green -64, blue +32).
TEST(HostileMovie, ClippedBitmapFillShrunkToAPointExtendsItsCorners) {
    player::MoviePlayer movie;
    std::string error;
    ASSERT_TRUE(movie.loadBytes(paddedFillMovie(65), &error)) << error;
    QImage image(550, 400, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    EXPECT_TRUE(movie.renderFrame(0, painter, 1));
    painter.end();
    const struct {
        int x, y;
        QColor expected;
    } probes[] = {{100, 100, QColor(255, 0, 32)},
                  {450, 100, QColor(64, 191, 32)},
                  {100, 300, QColor(64, 0, 255)},
                  {450, 300, QColor(255, 191, 32)}};
    for (const auto& p : probes) {
        const QColor got = at(image, p.x, p.y);
        EXPECT_NEAR(got.red(), p.expected.red(), 12) << p.x << "," << p.y;
        EXPECT_NEAR(got.green(), p.expected.green(), 12) << p.x << "," << p.y;
        EXPECT_NEAR(got.blue(), p.expected.blue(), 12) << p.x << "," << p.y;
    }
}

// Each tag claims 4 MB: the 257th passes the 1,024 MB that a movie's
// pictures may take together.
TEST(HostileMovie, PicturesBeyondOneGigabyteInTotalAreRefused) {
    player::MoviePlayer movie;
    std::string error;
    EXPECT_TRUE(movie.loadBytes(claimingJpegsMovie(256), &error)) << error;
    EXPECT_FALSE(movie.loadBytes(claimingJpegsMovie(300), &error));
    // Header 21 bytes, then the tags; a ShowFrame and an End close the movie.
    const size_t tagSize = claimingJpegsMovie(1).size() - 21 - 4;
    EXPECT_EQ(error, "DefineBitsJPEG2 at offset " + std::to_string(21 + 256 * tagSize) +
                         ": the movie's pictures would take 1028 MB decoded, more than the "
                         "1024 MB a movie may use");
}

// 100 combs of 2,000 sub-pixel edges with a pen: the frame is cut short and
// says so, after drawing the first combs; a stop request cuts it too.
TEST(HostileMovie, DenseOutlinesAreCutAtTheFramesBudget) {
    player::MoviePlayer movie;
    std::string error;
    ASSERT_TRUE(movie.loadBytes(combMovie(), &error)) << error;
    QImage image(550, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        EXPECT_FALSE(movie.renderFrame(0, painter, 1));
    }
    EXPECT_NE(at(image, 20, 200), QColor(Qt::white));  // the first comb
    EXPECT_EQ(at(image, 500, 200), QColor(Qt::white)); // beyond every comb

    QImage small(55, 40, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&small);
    EXPECT_TRUE(movie.renderFrame(0, painter, 0.1)); // all of it, at a tenth
    EXPECT_FALSE(movie.renderFrame(0, painter, 0.1, [] { return true; }));
}

// Twenty objects, each under the work at which the clock is read at once:
// the time limit still cuts the frame.
TEST(HostileMovie, TimeLimitCountsInAFrameOfFewObjects) {
    player::MoviePlayer movie;
    std::string error;
    ASSERT_TRUE(movie.loadBytes(pictureCombMovie(), &error)) << error;
    QImage small(55, 40, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&small);
    EXPECT_TRUE(movie.renderFrame(0, painter, 0.1));
    player::RenderLimits limits;
    limits.seconds = 1e-6;
    EXPECT_FALSE(movie.renderFrame(0, painter, 0.1, limits));
}

} // namespace
