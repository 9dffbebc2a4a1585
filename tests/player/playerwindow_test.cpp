// The player window driven offscreen on a compiled movie, the embedding page
// reader, and the routing of what the movie commands show.
#include "HostileMovies.h"
#include "common/FakeModals.h"
#include "common/QtTestApplication.h"
#include "player/MoviePage.h"
#include "player/MoviePlayer.h"
#include "player/window/PlayerRouting.h"
#include "player/window/PlayerWindow.h"

#include "compiler/CompileMovie.h"
#include "compiler/HtmlPage.h"
#include "editor/model/MainUnit.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <fstream>
#include <optional>

using player::OpenRoute;
using player::PlayerWindow;

namespace {

// The tiny movie: 200 x 100 cyan stage, 60 frames per second, ten frames; a
// red 40 x 40 square moves along the top from the left end to the right end.
constexpr int kWidth = 200, kHeight = 100, kFrames = 10, kLeftX = 10, kRightX = 190, kProbeY = 20;

std::string page(bool loop, const std::string& movie = "tiny.swf") {
    std::string text;
    for (const std::string& line : BuildHtmlPage(kWidth, kHeight, movie, loop))
        text += line + "\r\n";
    return text;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A compiled movie and its page (loop off) in a fresh folder; the player's
// messages and what reaches the desktop's handler are recorded.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetProject();
        Stage.setWidth(kWidth);
        Stage.setHeight(kHeight);
        Stage.setFramesPerSecond(60);
        Stage.setBackgroundColor(0x00FFFF00);
        Objekt* o = AddObjekt(okDrawing);
        o->Start = {0, 0, 40, 40, 12, 0, 0, 0, 0x000000FF};
        o->End = {kWidth - 40, 0, kWidth, 40, 12, 0, 150, 0, 0x000000FF};
        o->DeleteAtEnd = 0;
        CompileOptions options;
        options.outputPath = movie;
        ASSERT_EQ(CompileMovie(options).frames, kFrames);
        testsupport::ResetProject();
        writeText(pagePath, page(false));
    }
    void TearDown() override {
        if (PlayerWindow* w = routing.window()) w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void open(bool loop) {
        window = std::make_unique<PlayerWindow>();
        ASSERT_TRUE(window->openMovie(movie, loop, pagePath));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    template <typename T = QWidget> T* child(const char* name) {
        return window->findChild<T*>(QLatin1String(name));
    }
    void click(const char* name) { QTest::mouseClick(child(name), Qt::LeftButton); }
    QString label(const char* name) { return child<QLabel>(name)->text(); }
    void key(Qt::Key k) { QTest::keyClick(child<QSlider>("frameSlider"), k); }
    // The view once the frame drawn on the drawing thread has arrived (a
    // costly frame takes some seconds on a loaded machine).
    QImage shownView() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->isFrameShown(); }, 60000));
        return child("movieView")->grab().toImage();
    }
    std::vector<int> played(const QSignalSpy& spy) {
        std::vector<int> frames;
        for (const QList<QVariant>& args : spy)
            frames.push_back(args.at(0).toInt());
        return frames;
    }

    testsupport::TempDir dir;
    const std::string movie = dir.file("tiny.swf"), pagePath = dir.file("tiny.htm");
    movitest::FakeModals modals;
    player::PlayerRouting routing{nullptr};
    std::unique_ptr<PlayerWindow> window;
};

TEST_F(PlayerTest, PlayPauseAndSpaceBar) {
    open(true);
    EXPECT_EQ(window->windowTitle(), "tiny.swf - Movi-Loomster");
    EXPECT_FALSE(window->isPlaying());
    EXPECT_EQ(label("frameLabel"), "フレーム 1 / 10");
    EXPECT_EQ(label("timeLabel"), "0.00 / 0.17 秒");
    click("playBtn");
    EXPECT_EQ(child<QToolButton>("playBtn")->text(), "一時停止");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->currentFrame() >= 3; }, 2000));
    click("playBtn");
    EXPECT_EQ(child<QToolButton>("playBtn")->text(), "再生");
    const int held = window->currentFrame();
    QTest::qWait(80); // several frame times
    EXPECT_EQ(window->currentFrame(), held);
    EXPECT_EQ(label("frameLabel"), QStringLiteral("フレーム %1 / 10").arg(held + 1));
    EXPECT_EQ(child<QSlider>("frameSlider")->value(), held);
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_TRUE(window->isPlaying());
    window->hide();
    EXPECT_FALSE(window->isPlaying());
}

TEST_F(PlayerTest, LoopOffPlaysEachFrameOnceThenLoopOnWraps) {
    open(false);
    QSignalSpy spy(window.get(), &PlayerWindow::frameChanged);
    click("playBtn");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isPlaying(); }, 3000));
    EXPECT_EQ(played(spy), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(label("frameLabel"), "フレーム 10 / 10");
    EXPECT_EQ(label("timeLabel"), "0.17 / 0.17 秒"); // the whole length, 10 / 60

    spy.clear();
    click("playBtn"); // from the last frame: starts again at the first
    click("loopCheck");
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.size() >= 12; }, 3000));
    const std::vector<int> frames = played(spy);
    EXPECT_EQ(std::vector<int>(frames.begin(), frames.begin() + 12),
              (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1}));
}

TEST_F(PlayerTest, SliderAndStepsMoveTheFrameAndTheDrawing) {
    open(true);
    const QRgb red = qRgb(255, 0, 0), cyan = qRgb(0, 255, 255);
    QImage image = shownView();
    ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(image.pixel(kLeftX, kProbeY), red);
    EXPECT_EQ(image.pixel(kRightX, kProbeY), cyan);

    key(Qt::Key_End);
    EXPECT_EQ(label("frameLabel"), "フレーム 10 / 10");
    image = shownView();
    EXPECT_EQ(image.pixel(kLeftX, kProbeY), cyan);
    EXPECT_EQ(image.pixel(kRightX, kProbeY), red);

    click("playBtn");
    click("stepForwardBtn"); // pauses; never runs past the end
    EXPECT_FALSE(window->isPlaying());
    key(Qt::Key_End);
    click("stepForwardBtn");
    EXPECT_EQ(window->currentFrame(), kFrames - 1);
    click("stepBackBtn");
    EXPECT_EQ(child<QSlider>("frameSlider")->value(), kFrames - 2);
    EXPECT_EQ(label("frameLabel"), "フレーム 9 / 10");
    key(Qt::Key_Home);
    click("stepBackBtn");
    EXPECT_EQ(window->currentFrame(), 0);
    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_EQ(window->currentFrame(), 1);

    // Fitted into a stage area 200 pixels high: twice the size, centred.
    key(Qt::Key_Home);
    click("fitCheck");
    QWidget* viewport = child<QScrollArea>("movieScroll")->viewport();
    window->resize(window->size() + QSize(600, 200) - viewport->size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewport->height() == 200; }, 1000));
    image = shownView();
    const int left = (image.width() - 2 * kWidth + 1) / 2;
    ASSERT_GE(left, 10);
    EXPECT_EQ(image.pixel(left + 2 * kLeftX, 2 * kProbeY), red);
    EXPECT_EQ(image.pixel(left + 2 * kRightX, 2 * kProbeY), cyan);
    EXPECT_EQ(image.pixel(left - 5, 100), window->palette().color(QPalette::Dark).rgb());
}

// A click on the groove jumps to the point clicked (a page step would reach
// the end of this short movie); Esc and Ctrl+W close the window.
TEST_F(PlayerTest, SliderClickJumpsToThePointAndKeysClose) {
    open(true);
    QSlider* slider = child<QSlider>("frameSlider");
    QTest::mouseClick(slider, Qt::LeftButton, {},
                      QPoint(slider->width() / 3, slider->height() / 2));
    EXPECT_GE(window->currentFrame(), 2);
    EXPECT_LE(window->currentFrame(), 4);
    EXPECT_EQ(slider->value(), window->currentFrame());
    EXPECT_EQ(label("timeLabel"),
              QStringLiteral("%1 / 0.17 秒").arg(window->currentFrame() / 60.0, 0, 'f', 2));

    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QTest::keyClick(window.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
}

// A movie whose frames are too costly to draw in full: frames are drawn away
// from the window, a jump cancels the frame being drawn, and the frame shown
// says it is drawn in part.
TEST_F(PlayerTest, CostlyFramesAreDrawnAwayFromTheWindowAndSaySo) {
    const swfbuild::Bytes comb = swfbuild::combMovie(500, 100, 4);
    const std::string path = dir.file("comb.swf");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(comb.data()), std::streamsize(comb.size()));
    window = std::make_unique<PlayerWindow>();
    ASSERT_TRUE(window->openMovie(path, true, path));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    key(Qt::Key_End); // each before the frame before it is drawn
    EXPECT_EQ(window->currentFrame(), 3);
    EXPECT_EQ(label("frameLabel"), "フレーム 4 / 4");
    const QImage image = shownView();
    EXPECT_TRUE(window->frameDrawnInPart());
    EXPECT_NE(image.pixel(20, 200), qRgb(255, 255, 255)); // a comb
    EXPECT_LT(qGray(image.pixel(200, 395)), 128);         // the notice's dark strip
}

TEST_F(PlayerTest, UnreadableMovieSaysWhyAndBrowserButtonHandsOn) {
    open(true);
    const std::string bad = dir.file("bad.swf");
    writeText(bad, "this is not a movie");
    std::string error;
    ASSERT_FALSE(player::MoviePlayer().load(bad, &error));
    EXPECT_FALSE(window->openMovie(bad, true, bad));
    ASSERT_EQ(modals.messages.size(), 1u);
    EXPECT_EQ(modals.messages[0].text.toStdString(),
              "ムービーを読み込めません：\n" + bad + "\n\n" + error);
    EXPECT_EQ(window->moviePath(), movie); // the shown movie stays

    click("browserBtn");
    EXPECT_EQ(modals.opened, std::vector<std::string>{pagePath});
    modals.desktopAnswer = false;
    click("browserBtn");
    ASSERT_EQ(modals.messages.size(), 2u);
    EXPECT_EQ(modals.messages[1].text.toStdString(), "ブラウザで開けません：\n" + pagePath);
}

struct PageRow {
    const char* name;
    std::string html;
    std::optional<std::string> movie;
    bool loop;
};
class MoviePageTest : public ::testing::TestWithParam<PageRow> {};

TEST_P(MoviePageTest, FindsTheMovieAndItsLoopSetting) {
    const std::optional<player::MoviePage> found = player::ParseMoviePage(GetParam().html);
    ASSERT_EQ(found.has_value(), GetParam().movie.has_value());
    if (!found) return;
    EXPECT_EQ(found->movie, *GetParam().movie);
    EXPECT_EQ(found->loop, GetParam().loop);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, MoviePageTest,
    ::testing::Values(
        PageRow{"SavedRepeating", page(true, "anim.swf"), "anim.swf", true},
        PageRow{"SavedNotRepeating", page(false, "anim.swf"), "anim.swf", false},
        PageRow{"SavedMarkupCharacters", page(true, "a&b \"x\" <1>.swf"), "a&b \"x\" <1>.swf",
                true},
        PageRow{"SavedJapaneseName", page(false, "アニメ.old.swf"), "アニメ.old.swf", false},
        PageRow{"EmbedOnlyUpperCaseBare", "<EMBED SRC=clip.swf LOOP=False>", "clip.swf", false},
        PageRow{"ParamWinsOverEmbed", "<PARAM NAME='Movie' VALUE='a.swf'><embed src=\"b.swf\">",
                "a.swf", true},
        PageRow{"CommentIgnored", "<!-- <param name=movie value=old.swf> --><embed src=new.swf>",
                "new.swf", true},
        PageRow{"NumericReferences", "<embed src=\"&#x30A2;&#12491;.swf\">", "アニ.swf", true},
        PageRow{"NoMovie", "<html><body>hello</body></html>", std::nullopt, true},
        PageRow{"EmptyMovie", "<param name=\"movie\" value=\"\">", std::nullopt, true},
        PageRow{"Unterminated", "<embed src=\"x.swf", "x.swf", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerTest, RouteOpenDecidesByKindAndContent) {
    OpenRoute r = player::RouteOpen("file://" + movie);
    EXPECT_EQ(r.kind, OpenRoute::Player);
    EXPECT_EQ(r.moviePath, movie);
    EXPECT_TRUE(r.loop);
    r = player::RouteOpen(pagePath);
    EXPECT_EQ(r.kind, OpenRoute::Player);
    EXPECT_EQ(r.moviePath, movie); // taken from the page's folder
    EXPECT_FALSE(r.loop);
    EXPECT_EQ(r.browsePath, pagePath);
    for (const std::string other : {"https://moviloomster.example/", "http://a.example/b.swf"})
        EXPECT_EQ(player::RouteOpen(other).kind, OpenRoute::Desktop) << other;

    const std::string empty = dir.file("empty.htm"), orphan = dir.file("orphan.html");
    writeText(empty, "<html>no movie here</html>");
    writeText(orphan, page(true, "../gone.swf"));
    const std::string gone = (dir.path().parent_path() / "gone.swf").string();
    EXPECT_EQ(player::RouteOpen(empty).message,
              "このページには再生するムービーがありません：\n" + empty);
    EXPECT_EQ(player::RouteOpen(orphan).message,
              "ページのムービーが見つかりません：\n" + gone + "\n（ページ：" + orphan + "）");
    EXPECT_EQ(player::RouteOpen(dir.file("no.swf")).message,
              "ムービーが見つかりません：\n" + dir.file("no.swf"));
    EXPECT_EQ(player::RouteOpen(dir.file("no.htm")).kind, OpenRoute::Refused);
}

TEST_F(PlayerTest, TheRoutingShowsThePlayerOrHandsOn) {
    EXPECT_TRUE(routing.show("https://moviloomster.example/"));
    EXPECT_EQ(routing.window(), nullptr);

    EXPECT_TRUE(routing.show(pagePath));
    PlayerWindow* routed = routing.window();
    ASSERT_NE(routed, nullptr);
    EXPECT_TRUE(routed->isVisible() && routed->isPlaying() && !routed->loops());
    EXPECT_EQ(routed->moviePath(), movie);
    EXPECT_TRUE(routing.show(movie)); // the same window, looping
    EXPECT_EQ(routing.window(), routed);
    EXPECT_TRUE(routed->loops());
    QTest::mouseClick(routed->findChild<QPushButton*>("browserBtn"), Qt::LeftButton);
    EXPECT_EQ(modals.opened, (std::vector<std::string>{"https://moviloomster.example/", movie}));

    const std::string bad = dir.file("bad.swf");
    writeText(bad, "FWS");
    routed->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(routing.show(bad));
    ASSERT_EQ(modals.messages.size(), 1u);
    EXPECT_TRUE(modals.messages[0].text.startsWith(
        QString::fromStdString("ムービーを読み込めません：\n" + bad)));
    EXPECT_EQ(routing.window(), nullptr); // no empty window left behind
}

} // namespace
