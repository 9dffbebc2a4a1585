// Texts whose outlines pass what one font can hold, the length limit of a
// text, a missing font, and running out of memory while compiling.
#include "compiler/CompileMovie.h"

#include "StrictMovie.h"
#include "editor/model/MainUnit.h"
#include "platform/TextCodec.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <set>

namespace mr = strictmovie;

namespace {

// `count` different kanji that code page 932 holds, from U+4E00 on.
std::u16string kanji(size_t count) {
    std::u16string out;
    for (char16_t c = 0x4E00; out.size() < count; ++c) {
        const std::u16string one(1, c);
        if (platform::utf16ToCp932(one)) out += c;
    }
    return out;
}

class LongTextTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::ResetProject(); }
    void TearDown() override { testsupport::ResetProject(); }

    Objekt* text(const std::u16string& wide, const char* face = "IPAMincho") {
        Objekt* t = AddObjekt(okText);
        ReplaceString(t->Text, *platform::utf16ToCp932(wide));
        ReplaceString(t->FontName, face);
        t->End.Time = 100; // two frames: the text is defined twice
        return t;
    }

    mr::Movie compile() {
        CompileOptions options;
        options.outputPath = dir.file("movie.swf");
        result = CompileMovie(options);
        EXPECT_TRUE(result.written) << result.error;
        return result.written ? mr::ReadFile(options.outputPath) : mr::Movie{};
    }

    testsupport::TempDir dir;
    CompileResult result;
};

// The glyphs of every text record: (font ID, glyph index) per character.
std::vector<std::pair<uint16_t, uint32_t>> drawnGlyphs(const mr::Movie& m, const mr::Tag& textTag) {
    std::vector<std::pair<uint16_t, uint32_t>> out;
    for (const player::TextRun& run : m.get<player::Text>(textTag).runs)
        for (const player::TextGlyph& g : run.glyphs)
            out.emplace_back(run.font, g.index);
    return out;
}

TEST_F(LongTextTest, ATextThatFitsKeepsOneGlyphPerCharacterInOrder) {
    text(u"ああいああ");
    const mr::Movie m = compile();
    ASSERT_EQ(m.count(mr::DefineFont), 1);
    const auto frames = m.frames();
    EXPECT_EQ(m.get<player::Font>(*frames[0][1]).glyphs.size(), 5u); // repeats included
    EXPECT_EQ(drawnGlyphs(m, *frames[0][3]),
              (std::vector<std::pair<uint16_t, uint32_t>>{{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}}));
}

// 400 characters, 350 of them different, whose outlines pass the 64 KB of one
// font: a repeated character has one glyph, the rest spread over several
// fonts, and every character is drawn with a real outline of its own.
TEST_F(LongTextTest, OutlinesBeyondOneFontSpreadOverSeveralWithoutLoss) {
    const std::u16string k = kanji(350);
    const std::u16string wide = k.substr(0, 50) + k.substr(0, 50) + k.substr(50);
    ASSERT_EQ(wide.size(), 400u);
    text(wide);
    const mr::Movie m = compile();
    EXPECT_TRUE(result.warnings.empty());

    std::map<uint16_t, std::vector<std::vector<player::ShapeEdge>>> fonts;
    for (const mr::Tag& t : m.tags)
        if (t.code == mr::DefineFont) fonts[t.id] = m.get<player::Font>(t).glyphs;
    ASSERT_GE(fonts.size(), 2u);
    size_t glyphCount = 0;
    for (const auto& [id, glyphs] : fonts) {
        glyphCount += glyphs.size();
        for (const auto& g : glyphs)
            EXPECT_FALSE(g.empty()) << "font " << id << ": a glyph lost its outline";
    }
    EXPECT_EQ(glyphCount, 350u);

    // Both frames' texts draw all 400 characters, each through a glyph that
    // exists; equal characters share a glyph and different ones do not.
    int texts = 0;
    for (const mr::Tag& t : m.tags) {
        if (t.code != mr::DefineText2) continue;
        ++texts;
        const auto drawn = drawnGlyphs(m, t);
        ASSERT_EQ(drawn.size(), 400u);
        std::map<std::pair<uint16_t, uint32_t>, char16_t> owner;
        for (size_t i = 0; i < drawn.size(); ++i) {
            ASSERT_TRUE(fonts.count(drawn[i].first)) << i;
            ASSERT_LT(drawn[i].second, fonts[drawn[i].first].size()) << i;
            const auto [it, added] = owner.emplace(drawn[i], wide[i]);
            EXPECT_EQ(it->second, wide[i]) << i;
        }
        EXPECT_EQ(owner.size(), 350u);
    }
    EXPECT_EQ(texts, 2);
}

TEST_F(LongTextTest, ATextBeyondTheLimitIsLeftOutWithAWarning) {
    AddObjekt(okDrawing);
    text(std::u16string(kMaxTextCharacters + 1, u'a'), "Arial");
    text(std::u16string(kMaxTextCharacters, u'a'), "Arial");
    const mr::Movie m = compile();
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0], "element 2: the text has 16001 characters, more than the 16000 "
                                  "a text can have; it was left out");
    ASSERT_EQ(m.count(mr::DefineFont), 1); // the text at the limit, with its one glyph
    for (const mr::Tag& t : m.tags)
        if (t.code == mr::DefineText2) {
            EXPECT_EQ(drawnGlyphs(m, t).size(), kMaxTextCharacters);
        }
}

// With no usable face at all the font layer has nothing to substitute: the
// text is left out with the reason, and the rest of the movie is written.
TEST_F(LongTextTest, NoUsableFontLeavesTheTextOutAndTheMovieIsWritten) {
    const std::string config = dir.file("fonts.conf");
    std::ofstream(config) << "<?xml version=\"1.0\"?>\n<fontconfig><dir>" << dir.file("none")
                          << "</dir><cachedir>" << dir.file("cache")
                          << "</cachedir></fontconfig>\n";
    const char* old = std::getenv("FONTCONFIG_FILE");
    const std::string saved = old ? old : "";
    setenv("FONTCONFIG_FILE", config.c_str(), 1);
    AddObjekt(okDrawing);
    text(u"文字");
    const mr::Movie m = compile();
    if (old)
        setenv("FONTCONFIG_FILE", saved.c_str(), 1);
    else
        unsetenv("FONTCONFIG_FILE");
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0], "element 2: no font could draw the text (no scalable font is "
                                  "installed); it was left out");
    EXPECT_EQ(m.count(mr::DefineFont), 0);
    EXPECT_EQ(m.count(mr::DefineMorphShape), 1);
}

// Memory that runs out while the movie is built stops the compilation with
// the reason; the old movie stays and nothing is left beside it.
TEST_F(LongTextTest, OutOfMemoryWhileBuildingLeavesTheOldMovie) {
    const std::string path = dir.file("movie.swf");
    testsupport::WriteBytes(path, {'o', 'l', 'd'});
    AddObjekt(okDrawing)->End.Time = 5000;
    int calls = 0;
    CompileOptions options;
    options.outputPath = path;
    options.progress = [](int32_t frame, int32_t) {
        if (frame == 3) throw std::bad_alloc();
    };
    options.afterCompile = [&] { ++calls; };
    result = CompileMovie(options);
    EXPECT_FALSE(result.written);
    EXPECT_TRUE(result.outOfMemory);
    EXPECT_EQ(result.error, "out of memory");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(testsupport::ReadBytes(path), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

} // namespace
