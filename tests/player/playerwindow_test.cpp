#include "player/MoviePlayer.h"
#include "player/PlayerWindow.h"

#include "common/TempDir.h"
#include "player_test_support.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace playertest;
using player::PlayerWindow;

namespace {

class PlayerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        CompileTinyMovie(movie);
        window = std::make_unique<PlayerWindow>([this](const std::string& path) {
            handedToDesktop.push_back(path);
            return desktopAnswers;
        });
    }

    void open(bool loop) {
        ASSERT_TRUE(window->openMovie(movie, loop, page));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T> T* child(const char* name) {
        T* w = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void click(const char* name) { QTest::mouseClick(child<QWidget>(name), Qt::LeftButton); }
    QString text(const char* name) { return child<QLabel>(name)->text(); }
    QString playCaption() { return child<QToolButton>("playBtn")->text(); }
    QImage stage() { return child<QWidget>("movieView")->grab().toImage(); }

    movitest::TempDir dir;
    const std::string movie = dir.file("tiny.swf");
    const std::string page = dir.file("tiny.htm");
    MessageRecorder messages;
    std::vector<std::string> handedToDesktop;
    bool desktopAnswers = true;
    std::unique_ptr<PlayerWindow> window;
};

TEST_F(PlayerWindowTest, OpensPausedOnTheFirstFrame) {
    open(true);
    EXPECT_EQ(window->currentFrame(), 0);
    EXPECT_FALSE(window->isPlaying());
    EXPECT_EQ(playCaption(), "再生");
    EXPECT_EQ(text("frameLabel"), "フレーム 1 / 10");
    EXPECT_EQ(text("timeLabel"), "0.00 / 0.17 秒");
    EXPECT_EQ(child<QSlider>("frameSlider")->maximum(), kFrames - 1);
    EXPECT_TRUE(child<QCheckBox>("loopCheck")->isChecked());
    EXPECT_EQ(window->windowTitle(), "tiny.swf - Movi-Loomster");
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(PlayerWindowTest, PlayAdvancesAndPauseHolds) {
    open(true);
    click("playBtn");
    EXPECT_TRUE(window->isPlaying());
    EXPECT_EQ(playCaption(), "一時停止");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->currentFrame() >= 3; }, 2000));
    click("playBtn");
    EXPECT_FALSE(window->isPlaying());
    EXPECT_EQ(playCaption(), "再生");
    const int held = window->currentFrame();
    QTest::qWait(80); // several frame times at 60 frames per second
    EXPECT_EQ(window->currentFrame(), held);
    EXPECT_EQ(text("frameLabel"), QStringLiteral("フレーム %1 / 10").arg(held + 1));
    EXPECT_EQ(child<QSlider>("frameSlider")->value(), held);
    // The space bar plays too.
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_TRUE(window->isPlaying());
    // A hidden window stops playing.
    window->hide();
    EXPECT_FALSE(window->isPlaying());
}

TEST_F(PlayerWindowTest, LoopOffPlaysEveryFrameOnceAndStopsOnTheLast) {
    open(false);
    EXPECT_FALSE(child<QCheckBox>("loopCheck")->isChecked());
    QSignalSpy frames(window.get(), &PlayerWindow::frameChanged);
    click("playBtn");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isPlaying(); }, 3000));
    std::vector<int> shown;
    for (const QList<QVariant>& args : frames)
        shown.push_back(args.at(0).toInt());
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(window->currentFrame(), kFrames - 1);
    EXPECT_EQ(text("frameLabel"), "フレーム 10 / 10");
    EXPECT_EQ(text("timeLabel"), "0.15 / 0.17 秒");
    EXPECT_EQ(playCaption(), "再生");
    QTest::qWait(50);
    EXPECT_EQ(window->currentFrame(), kFrames - 1);

    // Playing again starts from the beginning.
    click("playBtn");
    EXPECT_TRUE(window->isPlaying());
    EXPECT_EQ(window->currentFrame(), 0);
}

TEST_F(PlayerWindowTest, LoopOnWrapsToTheFirstFrame) {
    open(true);
    QSignalSpy frames(window.get(), &PlayerWindow::frameChanged);
    click("playBtn");
    auto wrapped = [&] {
        for (qsizetype i = 1; i < frames.size(); ++i)
            if (frames.at(i - 1).at(0).toInt() == kFrames - 1 && frames.at(i).at(0).toInt() == 0)
                return true;
        return false;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return wrapped(); }, 3000));
    EXPECT_TRUE(window->isPlaying());
    // Unticking the loop lets it stop on the last frame.
    click("loopCheck");
    EXPECT_FALSE(window->loops());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isPlaying(); }, 3000));
    EXPECT_EQ(window->currentFrame(), kFrames - 1);
}

TEST_F(PlayerWindowTest, SliderAndStepsMoveTheFrame) {
    open(true);
    auto* slider = child<QSlider>("frameSlider");
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(window->currentFrame(), kFrames - 1);
    EXPECT_EQ(text("frameLabel"), "フレーム 10 / 10");
    EXPECT_EQ(text("timeLabel"), "0.15 / 0.17 秒");

    // A step pauses the playback and never runs off either end.
    click("playBtn");
    click("stepForwardBtn");
    EXPECT_FALSE(window->isPlaying());
    const int after = window->currentFrame();
    click("stepForwardBtn");
    EXPECT_EQ(window->currentFrame(), std::min(after + 1, kFrames - 1));
    QTest::keyClick(slider, Qt::Key_End);
    click("stepForwardBtn");
    EXPECT_EQ(window->currentFrame(), kFrames - 1);
    click("stepBackBtn");
    EXPECT_EQ(window->currentFrame(), kFrames - 2);
    EXPECT_EQ(slider->value(), kFrames - 2);
    EXPECT_EQ(text("frameLabel"), "フレーム 9 / 10");
    QTest::keyClick(slider, Qt::Key_Home);
    click("stepBackBtn");
    EXPECT_EQ(window->currentFrame(), 0);
    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_EQ(window->currentFrame(), 1);
}

TEST_F(PlayerWindowTest, DrawsTheFrameOneToOneOrFitted) {
    open(true);
    const QColor red(255, 0, 0);
    const QColor background = window->info().background;
    EXPECT_EQ(background, QColor(0, 255, 255));
    QImage image = stage();
    ASSERT_EQ(image.size(), QSize(kWidth, kHeight) * image.devicePixelRatio());
    EXPECT_EQ(image.pixel(kLeftX, kProbeY), red.rgb());
    EXPECT_EQ(image.pixel(kRightX, kProbeY), background.rgb());
    EXPECT_EQ(image.pixel(kWidth / 2, kHeight - 5), background.rgb());

    QTest::keyClick(child<QSlider>("frameSlider"), Qt::Key_End);
    image = stage();
    EXPECT_EQ(image.pixel(kLeftX, kProbeY), background.rgb());
    EXPECT_EQ(image.pixel(kRightX, kProbeY), red.rgb());

    // Fitted: the movie fills the height of a stage area 200 pixels high at
    // twice its size, centred between dark margins.
    click("fitCheck");
    EXPECT_TRUE(window->fitsWindow());
    auto* scroll = child<QScrollArea>("movieScroll");
    window->resize(window->size() + QSize(600, 200) - scroll->viewport()->size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return scroll->viewport()->height() == 200; }, 1000));
    const int width = scroll->viewport()->width();
    ASSERT_GE(width, 2 * kWidth + 20);
    image = stage();
    ASSERT_EQ(image.size(), QSize(width, 200));
    const int left = (width - 2 * kWidth + 1) / 2;
    const QRgb dark = window->palette().color(QPalette::Dark).rgb();
    EXPECT_EQ(image.pixel(left + 2 * kRightX, 2 * kProbeY), red.rgb());
    EXPECT_EQ(image.pixel(left + 2 * kLeftX, 2 * kProbeY), background.rgb());
    EXPECT_EQ(image.pixel(left - 5, 100), dark);
    EXPECT_EQ(image.pixel(left + 2 * kWidth + 5, 100), dark);
}

TEST_F(PlayerWindowTest, UnreadableMovieSaysWhyAndKeepsTheShownMovie) {
    open(true);
    const std::string bad = dir.file("bad.swf");
    WriteText(bad, "this is not a movie");
    std::string error;
    ASSERT_FALSE(player::MoviePlayer().load(bad, &error));
    ASSERT_FALSE(error.empty());

    EXPECT_FALSE(window->openMovie(bad, true, bad));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0],
              QString::fromStdString("ムービーを読み込めません：\n" + bad + "\n\n" + error));
    EXPECT_EQ(messages.titles[0], "Movi-Loomster");
    EXPECT_EQ(window->moviePath(), movie);
    EXPECT_EQ(window->info().frameCount, kFrames);
}

TEST_F(PlayerWindowTest, BrowserButtonHandsThePageToTheDesktop) {
    open(true);
    click("browserBtn");
    EXPECT_EQ(handedToDesktop, std::vector<std::string>{page});
    EXPECT_TRUE(messages.texts.empty());

    desktopAnswers = false;
    click("browserBtn");
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], QString::fromStdString("ブラウザで開けません：\n" + page));
}

} // namespace
