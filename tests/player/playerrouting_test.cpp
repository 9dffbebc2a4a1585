#include "player/MoviePage.h"
#include "player/PlayerRouting.h"
#include "player/PlayerWindow.h"

#include "common/TempDir.h"
#include "compiler/HtmlPage.h"
#include "platform/SystemServices.h"
#include "player_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <optional>

using namespace playertest;
using player::OpenRoute;

namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

struct PageRow {
    const char* name;
    std::string html;
    std::optional<std::string> movie;
    bool loop;
};

class MoviePageTest : public ::testing::TestWithParam<PageRow> {};

TEST_P(MoviePageTest, FindsTheMovieAndItsLoopSetting) {
    const PageRow& row = GetParam();
    const std::optional<player::MoviePage> page = player::ParseMoviePage(row.html);
    ASSERT_EQ(page.has_value(), row.movie.has_value());
    if (!page) return;
    EXPECT_EQ(page->movie, *row.movie);
    EXPECT_EQ(page->loop, row.loop);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, MoviePageTest,
    ::testing::Values(
        PageRow{"SavedRepeating", joined(BuildHtmlPage(550, 400, "anim.swf", true)), "anim.swf",
                true},
        PageRow{"SavedNotRepeating", joined(BuildHtmlPage(550, 400, "anim.swf", false)), "anim.swf",
                false},
        PageRow{"SavedNameWithMarkupCharacters",
                joined(BuildHtmlPage(10, 10, "a&b \"x\" <1>.swf", true)), "a&b \"x\" <1>.swf",
                true},
        PageRow{"SavedJapaneseName", joined(BuildHtmlPage(10, 10, "アニメ.old.swf", false)),
                "アニメ.old.swf", false},
        PageRow{"EmbedOnlyUpperCaseBareValues", "<EMBED SRC=clip.swf LOOP=False>", "clip.swf",
                false},
        PageRow{"ParamWinsOverEmbed",
                "<object><PARAM NAME='Movie' VALUE='a.swf'><embed src=\"b.swf\"></object>", "a.swf",
                true},
        PageRow{"LoopTrueKeepsLooping",
                "<param name=\"movie\" value=\"a.swf\"><param name=\"loop\" value=\"true\">",
                "a.swf", true},
        PageRow{"CommentedOutParamIgnored",
                "<!-- <param name=\"movie\" value=\"old.swf\"> --><embed src=\"new.swf\">",
                "new.swf", true},
        PageRow{"NumericReferences", "<embed src=\"&#x30A2;&#12491;.swf\">", "アニ.swf", true},
        PageRow{"NoMovie", "<html><body><p>hello</p></body></html>", std::nullopt, true},
        PageRow{"EmptyMovieValue", "<param name=\"movie\" value=\"\">", std::nullopt, true},
        PageRow{"UnterminatedTag", "<embed src=\"x.swf", "x.swf", true}),
    [](const ::testing::TestParamInfo<PageRow>& info) { return std::string(info.param.name); });

TEST(MoviePathForPage, RelativeNamesAreTakenFromThePageFolder) {
    EXPECT_EQ(player::MoviePathForPage("/a/b/anim.htm", "anim.swf"), "/a/b/anim.swf");
    EXPECT_EQ(player::MoviePathForPage("/a/b/anim.htm", "../m/x.swf"), "/a/m/x.swf");
    EXPECT_EQ(player::MoviePathForPage("/a/b/anim.htm", "/c/x.swf"), "/c/x.swf");
    EXPECT_EQ(player::MoviePathForPage("anim.htm", "anim.swf"), "anim.swf");
}

class RoutingTest : public ::testing::Test {
protected:
    void SetUp() override {
        CompileTinyMovie(movie);
        WriteText(page, joined(BuildHtmlPage(kWidth, kHeight, "tiny.swf", false)));
    }
    void TearDown() override {
        platform::SetShellOpen({});
        if (player::PlayerWindow* w = player::RoutedPlayerWindow()) w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Installs the routing in front of a desktop handler that records.
    void installRouting() {
        platform::SetShellOpen([this](const std::string& path) {
            handedToDesktop.push_back(path);
            return true;
        });
        player::InstallPlayerRouting(nullptr);
    }

    movitest::TempDir dir;
    const std::string movie = dir.file("tiny.swf");
    const std::string page = dir.file("tiny.htm");
    MessageRecorder messages;
    std::vector<std::string> handedToDesktop;
};

TEST_F(RoutingTest, RoutesMoviesAndPagesToThePlayerAndTheRestToTheDesktop) {
    OpenRoute r = player::RouteOpen(movie);
    EXPECT_EQ(r.kind, OpenRoute::Player);
    EXPECT_EQ(r.moviePath, movie);
    EXPECT_TRUE(r.loop);
    EXPECT_EQ(r.browsePath, movie);

    r = player::RouteOpen("file://" + movie);
    EXPECT_EQ(r.kind, OpenRoute::Player);
    EXPECT_EQ(r.moviePath, movie);

    r = player::RouteOpen(page);
    EXPECT_EQ(r.kind, OpenRoute::Player);
    EXPECT_EQ(r.moviePath, movie);
    EXPECT_FALSE(r.loop);
    EXPECT_EQ(r.browsePath, page);

    const std::string text = dir.file("notes.txt");
    WriteText(text, "hello");
    for (const std::string& other : {std::string("https://moviloomster.example/docs/"),
                                     std::string("http://example.org/clip.swf"), text})
        EXPECT_EQ(player::RouteOpen(other).kind, OpenRoute::Desktop) << other;
}

TEST_F(RoutingTest, RefusesPagesWithoutAPlayableMovie) {
    const std::string empty = dir.file("empty.htm");
    WriteText(empty, "<html><body>no movie here</body></html>");
    OpenRoute r = player::RouteOpen(empty);
    EXPECT_EQ(r.kind, OpenRoute::Refused);
    EXPECT_EQ(r.message, "このページには再生するムービーがありません：\n" + empty);

    const std::string orphan = dir.file("orphan.htm");
    WriteText(orphan, joined(BuildHtmlPage(10, 10, "gone.swf", true)));
    r = player::RouteOpen(orphan);
    EXPECT_EQ(r.kind, OpenRoute::Refused);
    EXPECT_EQ(r.message, "ページのムービーが見つかりません：\n" + dir.file("gone.swf") +
                             "\n（ページ：" + orphan + "）");

    r = player::RouteOpen(dir.file("missing.swf"));
    EXPECT_EQ(r.kind, OpenRoute::Refused);
    EXPECT_EQ(r.message, "ムービーが見つかりません：\n" + dir.file("missing.swf"));

    r = player::RouteOpen(dir.file("missing.htm"));
    EXPECT_EQ(r.kind, OpenRoute::Refused);
    EXPECT_EQ(r.message, "ページを読み込めません：\n" + dir.file("missing.htm"));
}

TEST_F(RoutingTest, TheShellOpenShowsThePlayerOrHandsOn) {
    installRouting();
    const std::string address = "https://moviloomster.example/docs/";
    EXPECT_TRUE(platform::ShellOpen(address));
    EXPECT_EQ(handedToDesktop, std::vector<std::string>{address});
    EXPECT_EQ(player::RoutedPlayerWindow(), nullptr);

    // The page plays its movie without looping.
    EXPECT_TRUE(platform::ShellOpen(page));
    player::PlayerWindow* window = player::RoutedPlayerWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isPlaying());
    EXPECT_EQ(window->moviePath(), movie);
    EXPECT_FALSE(window->loops());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isPlaying(); }, 3000));
    EXPECT_EQ(window->currentFrame(), kFrames - 1);

    // The movie itself plays in the same window, looping; the browser button
    // hands it to the desktop.
    EXPECT_TRUE(platform::ShellOpen(movie));
    EXPECT_EQ(player::RoutedPlayerWindow(), window);
    EXPECT_TRUE(window->loops());
    EXPECT_TRUE(window->isPlaying());
    QTest::mouseClick(window->findChild<QPushButton*>("browserBtn"), Qt::LeftButton);
    EXPECT_EQ(handedToDesktop, (std::vector<std::string>{address, movie}));
    EXPECT_TRUE(messages.texts.empty());

    // Closing the window ends it; the next open makes a new one.
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(player::RoutedPlayerWindow(), nullptr);
}

TEST_F(RoutingTest, TheShellOpenReportsWhatCannotBePlayed) {
    installRouting();
    const std::string orphan = dir.file("orphan.htm");
    WriteText(orphan, joined(BuildHtmlPage(10, 10, "gone.swf", true)));
    EXPECT_FALSE(platform::ShellOpen(orphan));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0],
              QString::fromStdString("ページのムービーが見つかりません：\n" + dir.file("gone.swf") +
                                     "\n（ページ：" + orphan + "）"));

    const std::string bad = dir.file("bad.swf");
    WriteText(bad, "FWS garbage");
    EXPECT_FALSE(platform::ShellOpen(bad));
    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_TRUE(messages.texts[1].startsWith(
        QString::fromStdString("ムービーを読み込めません：\n" + bad + "\n\n")))
        << messages.texts[1].toStdString();
    // No empty window is left behind.
    EXPECT_EQ(player::RoutedPlayerWindow(), nullptr);
    EXPECT_TRUE(handedToDesktop.empty());
}

} // namespace
