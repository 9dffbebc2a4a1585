#include "compiler/HtmlPage.h"
#include "player/MoviePage.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

namespace {

TEST(HtmlPage, LinesOfTheEmbeddingPage) {
    const std::vector<std::string> page = BuildHtmlPage(550, 400, "anim.swf", true);
    ASSERT_EQ(page.size(), 10u);
    EXPECT_EQ(page[0], "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" codebase=");
    EXPECT_EQ(page[1].front(), '"');
    EXPECT_NE(page[1].find("#version=4,0,2,0\""), std::string::npos);
    EXPECT_EQ(page[2], "width=\"550\" height=\"400\">");
    EXPECT_EQ(page[3], "<param name=\"movie\" value=\"anim.swf\">");
    EXPECT_EQ(page[4], "<param name=\"quality\" value=\"high\">");
    EXPECT_EQ(page[5], "<embed src=\"anim.swf\" quality=\"high\" pluginspage=");
    EXPECT_EQ(page[7], "type=\"application/x-shockwave-flash\" width=\"550\" height=\"400\">");
    EXPECT_EQ(page[8], "</embed>");
    EXPECT_EQ(page[9], "</object>");
    const std::vector<std::string> once = BuildHtmlPage(1, 2, "a.swf", false);
    ASSERT_EQ(once.size(), 11u);
    EXPECT_EQ(once[4], "<param name=\"loop\" value=\"false\">");
}

TEST(HtmlPage, NamesThatWouldBreakAttributesAreEscaped) {
    const std::vector<std::string> page = BuildHtmlPage(10, 10, "a\"b&<c>.swf", true);
    EXPECT_EQ(page[3], "<param name=\"movie\" value=\"a&quot;b&amp;&lt;c&gt;.swf\">");
}

// The page declares no character set: a name outside ASCII is percent-encoded
// so that no browser's guess breaks the link, and the player's page reader
// finds the file again. ASCII names, "%" included, stay as written.
TEST(HtmlPage, NamesOutsideAsciiArePercentEncodedAndFoundAgain) {
    const std::vector<std::string> page = BuildHtmlPage(10, 10, "アニメ 1.swf", true);
    const std::string encoded = "%E3%82%A2%E3%83%8B%E3%83%A1 1.swf";
    EXPECT_EQ(page[3], "<param name=\"movie\" value=\"" + encoded + "\">");
    EXPECT_EQ(page[5], "<embed src=\"" + encoded + "\" quality=\"high\" pluginspage=");
    const auto read = [](const std::vector<std::string>& lines) {
        std::string html;
        for (const std::string& line : lines)
            html += line + "\r\n";
        return player::ParseMoviePage(html).value_or(player::MoviePage{}).movie;
    };
    EXPECT_EQ(read(page), "アニメ 1.swf");
    EXPECT_EQ(BuildHtmlPage(10, 10, "100%25.swf", true)[3],
              "<param name=\"movie\" value=\"100%25.swf\">");
    EXPECT_EQ(read(BuildHtmlPage(10, 10, "100%25.swf", true)), "100%25.swf");
}

TEST(HtmlPage, PagePathAndFileName) {
    EXPECT_EQ(HtmlPagePath("/x/movie.old.swf"), "/x/movie.old.htm");
    EXPECT_EQ(HtmlPagePath("/x.d/movie"), "/x.d/movie.htm");
    EXPECT_EQ(HtmlPagePath("anim.swf"), "anim.htm");
    EXPECT_EQ(FileNamePart("/a/b/anim.swf"), "anim.swf");
    EXPECT_EQ(FileNamePart("anim.swf"), "anim.swf");
}

TEST(HtmlPage, WrittenWithCrLf) {
    testsupport::TempDir dir;
    const std::string path = dir.file("p.htm");
    ASSERT_TRUE(WriteHtmlPage(path, {"a", "b"}));
    EXPECT_EQ(testsupport::ReadBytes(path),
              (std::vector<unsigned char>{'a', '\r', '\n', 'b', '\r', '\n'}));
    EXPECT_FALSE(WriteHtmlPage(dir.file("none/p.htm"), {"a"}));
    // Replacing an existing page; nothing is left beside it.
    ASSERT_TRUE(WriteHtmlPage(path, {"c"}));
    EXPECT_EQ(testsupport::ReadBytes(path), (std::vector<unsigned char>{'c', '\r', '\n'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

} // namespace
