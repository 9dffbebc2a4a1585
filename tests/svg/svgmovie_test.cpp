#include "svg/SvgMovie.h"

#include "app/imaging/PixmillBinding.h"
#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "platform/TextCodec.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <numbers>
#include <regex>
#include <set>

namespace {

std::string readText(const std::string& path) {
    const std::vector<unsigned char> bytes = testsupport::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<unsigned char> fromBase64(std::string_view text) {
    static const std::string table =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<unsigned char> out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        bits = bits << 6 | uint32_t(table.find(c));
        if ((count += 6) >= 8) out.push_back(static_cast<unsigned char>(bits >> (count -= 8)));
    }
    return out;
}

// The JPEG of every DefineBitsJPEG2 tag of a movie file.
std::vector<std::vector<unsigned char>> jpegsOfMovie(const std::vector<unsigned char>& swf) {
    std::vector<std::vector<unsigned char>> jpegs;
    const size_t rectBits = 5 + 4 * size_t(swf.at(8) >> 3);
    size_t pos = 8 + (rectBits + 7) / 8 + 4;
    while (pos + 2 <= swf.size()) {
        const unsigned header = swf[pos] | swf[pos + 1] << 8;
        size_t length = header & 0x3F;
        pos += 2;
        if (length == 0x3F) {
            length = swf[pos] | swf[pos + 1] << 8 | swf[pos + 2] << 16 | size_t(swf[pos + 3]) << 24;
            pos += 4;
        }
        // After the character ID: an empty table segment (FF D9 FF D8), the
        // JPEG, an end marker (FF D9).
        if ((header >> 6) == 21)
            jpegs.emplace_back(swf.begin() + long(pos + 6), swf.begin() + long(pos + length - 2));
        pos += length;
    }
    return jpegs;
}

class SvgMovieTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::ResetProject(); }
    void TearDown() override { testsupport::ResetProject(); }

    // Every kind of element: a Japanese and Latin text that turns and grows,
    // a rectangle that turns, an ellipse removed at its end, a picture that moves.
    void buildProject() {
        Objekt* t = AddObjekt(okText);
        ReplaceString(t->Text, *platform::utf8ToCp932("動くAbc"));
        t->End = {100, 100, 200, 140, 30, 300, 1000, 0, 0x0000FF};
        Objekt* r = AddObjekt(okDrawing);
        r->End.Rotation = 900;
        r->End.Time = 1000;
        Objekt* e = AddObjekt(okDrawing);
        e->DrawKind = dkEllipse;
        e->End.Time = 500;
        e->DeleteAtEnd = 1;
        DibRecord pic{};
        ASSERT_TRUE(Pixmill.newdib(&pic, 30, 20, 24, nullptr, 0));
        for (int32_t y = 0; y < 20; ++y)
            for (int32_t x = 0; x < 30; ++x)
                Pixmill.setpixel(&pic, x, y, x < 15 ? 0x0000FF : 0xFF0000);
        Objekt* p = AddObjekt(okPicture, &pic);
        p->End = {200, 150, 260, 190, 24, 0, 1000, 0, 0};
    }

    svg::SvgResult write(const std::string& name = "movie.svg") {
        svg::SvgOptions options;
        options.outputPath = dir.file(name);
        return svg::WriteSvgMovie(options);
    }

    testsupport::TempDir dir;
};

TEST_F(SvgMovieTest, SelfContainedWithoutScriptAndWithTheMoviesJpeg) {
    buildProject();
    ASSERT_TRUE(write().written);
    const std::string svg = readText(dir.file("movie.svg"));
    EXPECT_EQ(svg.find("<script"), std::string::npos);
    EXPECT_FALSE(std::regex_search(svg, std::regex(R"(\son[a-z]+\s*=)")));
    EXPECT_EQ(svg.find("url("), std::string::npos);
    EXPECT_EQ(svg.find("<text"), std::string::npos);
    EXPECT_NE(svg.find("width=\"550\" height=\"400\" viewBox=\"0 0 550 400\""), std::string::npos);

    // Every reference points into the file: a glyph defined once, or the picture's data.
    std::set<std::string> defined;
    const std::regex id(R"re(<path id="(g\d+)")re");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), id); it != std::sregex_iterator();
         ++it)
        EXPECT_TRUE(defined.insert((*it)[1]).second) << (*it)[1] << " defined twice";
    EXPECT_EQ(defined.size(), 5u); // 動, く, A, b, c
    std::vector<std::string> jpegs;
    const std::regex href(R"re(href="([^"]*)")re");
    int uses = 0;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), href); it != std::sregex_iterator();
         ++it) {
        const std::string target = (*it)[1];
        if (target.starts_with("#")) {
            EXPECT_TRUE(defined.count(target.substr(1))) << target;
            ++uses;
        } else {
            ASSERT_TRUE(target.starts_with("data:image/jpeg;base64,")) << target.substr(0, 40);
            jpegs.push_back(target.substr(23));
        }
    }
    EXPECT_EQ(uses, 5);

    CompileOptions movie;
    movie.outputPath = dir.file("movie.swf");
    ASSERT_TRUE(CompileMovie(movie).written);
    const auto embedded = jpegsOfMovie(testsupport::ReadBytes(movie.outputPath));
    ASSERT_EQ(embedded.size(), 1u);
    ASSERT_EQ(jpegs.size(), 1u);
    EXPECT_EQ(fromBase64(jpegs[0]), embedded[0]);
}

// The ellipse from 0 to 500 ms at 12 frames per second is on the stage from
// the first frame to the seventh (500 ms); it is removed in the eighth of 13.
// The rectangle's turn changes its rotation in every frame up to the 13th.
TEST_F(SvgMovieTest, ValuesChangeAtTheFramesTheMovieChangesThem) {
    buildProject();
    ASSERT_TRUE(write().written);
    const std::string svg = readText(dir.file("movie.svg"));
    EXPECT_NE(svg.find("dur=\"1.083333s\""), std::string::npos);
    EXPECT_NE(
        svg.find("<animate attributeName=\"visibility\" calcMode=\"discrete\" dur=\"1.083333s\" "
                 "repeatCount=\"indefinite\" keyTimes=\"0;0.538\" values=\"visible;hidden\"/>"),
        std::string::npos)
        << svg;
    const std::regex rotation(
        R"re(<animateTransform attributeName="transform" type="rotate"[^>]* keyTimes="([^"]*)" values="([^"]*)")re");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(svg, m, rotation));
    EXPECT_EQ(m[1].str(),
              "0;0.077;0.154;0.231;0.308;0.385;0.462;0.538;0.615;0.692;0.769;0.846;0.923");
}

class SvgRepeatTest : public SvgMovieTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SvgRepeatTest, EveryAnimationRepeatsOrStaysOnTheLastFrame) {
    buildProject();
    Stage.setRepeat(GetParam());
    ASSERT_TRUE(write().written);
    const std::string svg = readText(dir.file("movie.svg"));
    const auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1))
            ++n;
        return n;
    };
    const size_t animations = count("<animate");
    EXPECT_GT(animations, 5u);
    EXPECT_EQ(count("repeatCount=\"indefinite\""), GetParam() ? animations : 0);
    EXPECT_EQ(count("fill=\"freeze\""), GetParam() ? 0 : animations);
}

INSTANTIATE_TEST_SUITE_P(Flag, SvgRepeatTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Repeat" : "Once"; });

TEST_F(SvgMovieTest, FailedWriteKeepsTheOldFileAndLeavesNothingBeside) {
    buildProject();
    ASSERT_TRUE(write("probe.svg").written);
    const auto size = std::filesystem::file_size(dir.file("probe.svg"));
    std::filesystem::remove(dir.file("probe.svg"));
    testsupport::WriteBytes(dir.file("movie.svg"), {'o', 'l', 'd'});

    // The file-size limit stops the writing halfway, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = size / 2;
    setrlimit(RLIMIT_FSIZE, &limited);
    const svg::SvgResult result = write();
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(result.written);
    EXPECT_EQ(result.error, "File too large");
    EXPECT_EQ(readText(dir.file("movie.svg")), "old");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"movie.svg"});
}

struct MatrixRow {
    const char* name;
    double a, b, c, d;
};

class SplitMatrixTest : public ::testing::TestWithParam<MatrixRow> {};

// The parts, nested as translate(..) rotate(..) skewX(..) scale(..), give the matrix back.
TEST_P(SplitMatrixTest, PartsComposeToTheMatrix) {
    const MatrixRow& m = GetParam();
    const svg::MatrixParts p = svg::SplitMatrix(m.a, m.b, m.c, m.d);
    const double r = p.rotate * std::numbers::pi / 180,
                 k = std::tan(p.skewX * std::numbers::pi / 180);
    // rotate * [1 k; 0 1] * [sx 0; 0 sy]
    const double a = std::cos(r) * p.scaleX, b = std::sin(r) * p.scaleX;
    const double c = (std::cos(r) * k - std::sin(r)) * p.scaleY;
    const double d = (std::sin(r) * k + std::cos(r)) * p.scaleY;
    EXPECT_NEAR(a, m.a, 1e-9);
    EXPECT_NEAR(b, m.b, 1e-9);
    EXPECT_NEAR(c, m.c, 1e-9);
    EXPECT_NEAR(d, m.d, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SplitMatrixTest,
    ::testing::Values(MatrixRow{"Identity", 1, 0, 0, 1},
                      MatrixRow{"TurnedAndGrown", 0.866 * 2, 0.5 * 2, -0.5 * 2, 0.866 * 2},
                      MatrixRow{"TurnedOver", -1, 0, 0, 1}, MatrixRow{"Sheared", 1, 0.3, 0.7, 0.4},
                      MatrixRow{"MorphHalfwayToQuarterTurn", 0.5, 0.5, -0.5, 0.5},
                      MatrixRow{"FlatButTurned", 0.6, 0.8, 0, 0},
                      MatrixRow{"EmptyFirstColumn", 0, 0, 0.5, 2}),
    [](const auto& info) { return info.param.name; });

} // namespace
