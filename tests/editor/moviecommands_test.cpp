#include "editor/MovieCommands.h"

#include "editor/MainUnit.h"
#include "platform/SystemServices.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class QtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "movie_commands_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] testing::Environment* const qtEnvironment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

// Answers the save dialog with `answer`, records messages, and reports frames
// to a progress that cancels after `cancelAfterFrame`.
class FakeDialogs final : public MovieCommandDialogs {
public:
    std::string askMoviePath(const std::string& current) override {
        offered.push_back(current);
        return answer;
    }
    void showError(const std::string& text) override { errors.push_back(text); }
    std::unique_ptr<CompileProgress> startProgress() override {
        ++progressStarted;
        return std::make_unique<Progress>(*this);
    }

    std::string answer;
    int cancelAfterFrame = -1;
    std::function<void(int32_t)> duringFrame;
    std::vector<std::string> offered;
    std::vector<std::string> errors;
    std::vector<int32_t> frames;
    int progressStarted = 0;

private:
    struct Progress final : CompileProgress {
        explicit Progress(FakeDialogs& d) : dialogs(d) {}
        void frameDone(int32_t frame, int32_t) override {
            dialogs.frames.push_back(frame);
            if (dialogs.duringFrame) dialogs.duringFrame(frame);
        }
        bool cancelRequested() override {
            return dialogs.cancelAfterFrame >= 0 && dialogs.frames.size() > 0 &&
                   dialogs.frames.back() >= dialogs.cancelAfterFrame;
        }
        FakeDialogs& dialogs;
    };
};

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::string joinCrLf(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l + "\r\n";
    return s;
}

class MovieCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetProject();
        fs::create_directory(dir / "prog");
        ProgramDir = dir.file("prog") + "/";
        const char* cache = std::getenv("XDG_CACHE_HOME");
        m_oldCache = cache ? std::optional<std::string>(cache) : std::nullopt;
        setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
        platform::SetShellOpen([this](const std::string& p) {
            opened.push_back(p);
            return true;
        });
        commands.setPageSource = [this](const std::vector<std::string>& lines) {
            memo = lines;
            ++memoFills;
        };
        commands.afterCompile = [this] { ++afterCompileCalls; };
        Stage.setWidth(320);
        Stage.setHeight(240);
        Objekt* o = AddObjekt(okDrawing);
        o->Start.Time = 0;
        o->End.Time = 2000; // 25 frames at 12 fps
    }
    void TearDown() override {
        platform::SetShellOpen({});
        if (m_oldCache)
            setenv("XDG_CACHE_HOME", m_oldCache->c_str(), 1);
        else
            unsetenv("XDG_CACHE_HOME");
        ProgramDir.clear();
        testsupport::ResetProject();
    }

    static bool isMovie(const fs::path& p) {
        return readText(p).starts_with(std::string("FWS\x04"));
    }

    testsupport::TempDir dir{"movie-commands"};
    FakeDialogs dialogs;
    MovieCommands commands{dialogs};
    std::vector<std::string> opened;
    std::vector<std::string> memo;
    int memoFills = 0;
    int afterCompileCalls = 0;

private:
    std::optional<std::string> m_oldCache;
};

// --- The three check boxes, for both commands ---------------------------------

struct CheckBoxCase {
    const char* name;
    bool preview;
    bool createHtml;
    bool showAfterSaving;
    bool repeat;
};

class CheckBoxTest : public MovieCommandsTest,
                     public ::testing::WithParamInterface<CheckBoxCase> {};

TEST_P(CheckBoxTest, WritesAndOpensWhatTheBoxesAskFor) {
    const CheckBoxCase& c = GetParam();
    const MovieCommandOptions options{c.showAfterSaving, c.createHtml, c.repeat};
    dialogs.answer = dir.file("anim.swf");
    const MovieCommandResult r =
        c.preview ? commands.preview(options) : commands.saveMovie(options);

    const fs::path folder = c.preview ? dir / "prog" : dir.path();
    const std::string name = c.preview ? "playtemp" : "anim";
    const fs::path movie = folder / (name + ".swf"), page = folder / (name + ".htm");
    EXPECT_EQ(r.status, MovieCommandStatus::Done);
    EXPECT_EQ(dialogs.offered.size(), c.preview ? 0u : 1u);
    EXPECT_EQ(r.moviePath, movie.string());
    EXPECT_TRUE(isMovie(movie));
    EXPECT_EQ(fs::exists(page), c.createHtml);
    EXPECT_EQ(afterCompileCalls, 1);

    // The memo gets the page on every command, with the loop line only when
    // the movie is not to repeat.
    ASSERT_EQ(memoFills, 1);
    ASSERT_EQ(memo.size(), c.repeat ? 10u : 11u);
    EXPECT_EQ(memo[2], "width=\"320\" height=\"240\">");
    EXPECT_EQ(memo[3], "<param name=\"movie\" value=\"" + name + ".swf\">");
    EXPECT_EQ(memo[4], c.repeat ? "<param name=\"quality\" value=\"high\">"
                                : "<param name=\"loop\" value=\"false\">");
    EXPECT_EQ(memo[c.repeat ? 5 : 6],
              "<embed src=\"" + name + ".swf\" quality=\"high\" pluginspage=");
    if (c.createHtml) {
        EXPECT_EQ(readText(page), joinCrLf(memo));
    }

    std::vector<std::string> expectOpened;
    if (c.showAfterSaving) expectOpened.push_back((c.createHtml ? page : movie).string());
    EXPECT_EQ(opened, expectOpened);
    EXPECT_TRUE(dialogs.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CheckBoxTest,
    ::testing::Values(CheckBoxCase{"SaveShowsPage", false, true, true, true},
                      CheckBoxCase{"SaveShowsMovieWithoutPage", false, false, true, false},
                      CheckBoxCase{"SavePageNotShown", false, true, false, false},
                      CheckBoxCase{"SaveMovieOnly", false, false, false, true},
                      CheckBoxCase{"PreviewShowsPage", true, true, true, false},
                      CheckBoxCase{"PreviewShowsMovieWithoutPage", true, false, true, true},
                      CheckBoxCase{"PreviewPageNotShown", true, true, false, true},
                      CheckBoxCase{"PreviewMovieOnly", true, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The page's path -----------------------------------------------------------

struct PagePathCase {
    const char* name;
    const char* movie;
    const char* page;
    const char* movieParam; // the file name as the page names it
};

class PagePathTest : public MovieCommandsTest,
                     public ::testing::WithParamInterface<PagePathCase> {};

TEST_P(PagePathTest, PageReplacesTheLastExtensionOfTheFileName) {
    const PagePathCase& c = GetParam();
    fs::create_directory(dir / "v1.2");
    dialogs.answer = dir.file(c.movie);
    const MovieCommandResult r = commands.saveMovie({});
    EXPECT_EQ(r.status, MovieCommandStatus::Done);
    EXPECT_EQ(r.pagePath, dir.file(c.page));
    EXPECT_TRUE(isMovie(dir / c.movie));
    EXPECT_TRUE(fs::exists(dir / c.page));
    EXPECT_EQ(opened, std::vector<std::string>{dir.file(c.page)});
    EXPECT_EQ(memo[3], std::string("<param name=\"movie\" value=\"") + c.movieParam + "\">");
}

INSTANTIATE_TEST_SUITE_P(
    Names, PagePathTest,
    ::testing::Values(PagePathCase{"TwoDots", "movie.old.swf", "movie.old.htm", "movie.old.swf"},
                      PagePathCase{"NoExtension", "anim", "anim.htm", "anim"},
                      PagePathCase{"DotInFolderOnly", "v1.2/anim", "v1.2/anim.htm", "anim"},
                      PagePathCase{"QuoteInName", "a\"b.swf", "a\"b.htm", "a&quot;b.swf"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The save dialog -----------------------------------------------------------

TEST_F(MovieCommandsTest, CancelledSaveDialogDoesNothing) {
    memo = {"edited by the user"};
    const MovieCommandResult r = commands.saveMovie({});
    EXPECT_EQ(r.status, MovieCommandStatus::DialogCancelled);
    EXPECT_EQ(dialogs.progressStarted, 0);
    EXPECT_EQ(memoFills, 0);
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(fs::is_empty(dir / "prog"));
}

TEST_F(MovieCommandsTest, SaveDialogStartsWithTheLastSavedMovieNotThePreview) {
    dialogs.answer = dir.file("first.swf");
    commands.saveMovie({});
    commands.preview({});
    dialogs.answer.clear();
    commands.saveMovie({});
    EXPECT_EQ(dialogs.offered, (std::vector<std::string>{"", dir.file("first.swf")}));
    EXPECT_EQ(commands.lastSavedPath(), dir.file("first.swf"));
}

// --- Cancelling the compilation ------------------------------------------------

TEST_F(MovieCommandsTest, CancelledCompilationWritesAndOpensNothing) {
    writeText(dir / "anim.swf", "old movie");
    writeText(dir / "anim.htm", "old page");
    memo = {"edited by the user"};
    dialogs.answer = dir.file("anim.swf");
    dialogs.cancelAfterFrame = 3;
    const MovieCommandResult r = commands.saveMovie({});
    EXPECT_EQ(r.status, MovieCommandStatus::CompileCancelled);
    EXPECT_EQ(dialogs.frames, (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(readText(dir / "anim.swf"), "old movie");
    EXPECT_EQ(readText(dir / "anim.htm"), "old page");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3)
        << "no partial files are left beside the movie";
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(memo, std::vector<std::string>{"edited by the user"});
    EXPECT_EQ(afterCompileCalls, 1) << "the window selects its element again";
    EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(MovieCommandsTest, CommandsDoNotNestWhileCompiling) {
    std::vector<MovieCommandStatus> nested;
    dialogs.duringFrame = [&](int32_t frame) {
        if (frame != 1) return;
        EXPECT_TRUE(MovieCommands::running());
        nested.push_back(commands.preview({}).status);
        nested.push_back(commands.saveMovie({}).status);
    };
    EXPECT_EQ(commands.preview({}).status, MovieCommandStatus::Done);
    EXPECT_EQ(nested, (std::vector<MovieCommandStatus>{MovieCommandStatus::Busy,
                                                       MovieCommandStatus::Busy}));
    EXPECT_TRUE(dialogs.offered.empty());
    EXPECT_EQ(dialogs.progressStarted, 1);
    EXPECT_FALSE(MovieCommands::running());
    EXPECT_EQ(opened.size(), 1u);
}

// --- Write failures ------------------------------------------------------------

struct WriteFailureCase {
    const char* name;
    const char* blocker; // a folder made at this name before the command
    const char* movie;
    MovieCommandStatus status;
    const char* message;
    const char* messagePath;
    bool movieWritten;
};

class WriteFailureTest : public MovieCommandsTest,
                         public ::testing::WithParamInterface<WriteFailureCase> {};

TEST_P(WriteFailureTest, ToldToTheUserAndNothingOpened) {
    const WriteFailureCase& c = GetParam();
    if (*c.blocker) fs::create_directory(dir / c.blocker);
    dialogs.answer = dir.file(c.movie);
    const MovieCommandResult r = commands.saveMovie({});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(dialogs.errors, std::vector<std::string>{c.message + dir.file(c.messagePath)});
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(fs::is_regular_file(dir / c.movie), c.movieWritten);
    EXPECT_EQ(memoFills, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WriteFailureTest,
    ::testing::Values(
        WriteFailureCase{
            "MovieFolderMissing", "", "missing/anim.swf", MovieCommandStatus::MovieNotWritten,
            "Ｆｌａｓｈファイルを保存することができませんでした.\n", "missing/anim.swf", false},
        WriteFailureCase{
            "MovieNameIsAFolder", "anim.swf", "anim.swf", MovieCommandStatus::MovieNotWritten,
            "Ｆｌａｓｈファイルを保存することができませんでした.\n", "anim.swf", false},
        WriteFailureCase{"PageNameIsAFolder", "anim.htm", "anim.swf",
                         MovieCommandStatus::PageNotWritten,
                         "ＨＴＭＬファイルを保存することができませんでした.\n", "anim.htm", true}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Where the preview goes ----------------------------------------------------

struct PreviewFolderCase {
    const char* name;
    const char* programDir; // inside the test folder; "prog" exists, "file" is a file
    bool readOnly;
    const char* expectedFolder;
};

class PreviewFolderTest : public MovieCommandsTest,
                          public ::testing::WithParamInterface<PreviewFolderCase> {};

TEST_P(PreviewFolderTest, PreviewNeverFailsForItsFolder) {
    const PreviewFolderCase& c = GetParam();
    writeText(dir / "file", "");
    ProgramDir = dir.file(c.programDir) + "/";
    if (c.readOnly) {
        chmod(ProgramDir.c_str(), 0555);
        if (access(ProgramDir.c_str(), W_OK) == 0)
            GTEST_SKIP() << "permissions do not hold back this user";
    }
    const MovieCommandResult r = commands.preview({});
    const std::string folder = dir.file(c.expectedFolder);
    EXPECT_EQ(r.status, MovieCommandStatus::Done);
    EXPECT_EQ(r.moviePath, folder + "/playtemp.swf");
    EXPECT_TRUE(isMovie(r.moviePath));
    EXPECT_EQ(opened, std::vector<std::string>{folder + "/playtemp.htm"});
    EXPECT_EQ(PreviewFolder(ProgramDir), folder + "/");
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PreviewFolderTest,
    ::testing::Values(
        PreviewFolderCase{"WritableProgramFolder", "prog", false, "prog"},
        PreviewFolderCase{"ProgramFolderIsAFile", "file", false, "cache/moviloomster"},
        PreviewFolderCase{"ProgramFolderMissing", "gone", false, "cache/moviloomster"},
        PreviewFolderCase{"ReadOnlyProgramFolder", "prog", true, "cache/moviloomster"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MovieCommandsTest, PreviewFallsBackToTheTemporaryFolderWithoutACache) {
    writeText(dir / "file", "");
    setenv("XDG_CACHE_HOME", dir.file("file").c_str(), 1); // cannot hold a folder
    platform::SetTempFolder(dir.file("tmp"));
    fs::create_directory(dir / "tmp");
    const std::string folder = PreviewFolder(dir.file("file") + "/");
    platform::SetTempFolder("");
    EXPECT_EQ(folder, dir.file("tmp") + "/moviloomster-" + std::to_string(getuid()) + "/");
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
}

// --- The real progress dialog --------------------------------------------------

// Passes through to the real dialogs, counting the frames and noting whether
// the progress dialog was on screen.
class CountingDialogs final : public MovieCommandDialogs {
public:
    explicit CountingDialogs(int delayMs) : delayMs(delayMs) {}
    std::string askMoviePath(const std::string&) override { return {}; }
    void showError(const std::string& text) override { ADD_FAILURE() << text; }
    std::unique_ptr<CompileProgress> startProgress() override {
        struct Counting final : CompileProgress {
            Counting(CountingDialogs& d, std::unique_ptr<CompileProgress> p)
                : dialogs(d), inner(std::move(p)) {}
            void frameDone(int32_t frame, int32_t last) override {
                ++dialogs.frames;
                inner->frameDone(frame, last);
                dialogs.dialogCreated |= dialogs.progressDialog() != nullptr;
            }
            bool cancelRequested() override { return inner->cancelRequested(); }
            CountingDialogs& dialogs;
            std::unique_ptr<CompileProgress> inner;
        };
        return std::make_unique<Counting>(*this, MakeCompileProgressDialog(nullptr, delayMs));
    }
    static QWidget* progressDialog() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "CompileProgressDialog") return w;
        return nullptr;
    }

    int delayMs;
    int frames = 0;
    bool dialogCreated = false;
};

TEST_F(MovieCommandsTest, ProgressDialogCancelButtonStopsWithinAFrame) {
    ObjektList.Select(0);
    CurObjekt->End.Time = 100000; // 1201 frames
    writeText(dir / "prog/playtemp.swf", "old movie");
    CountingDialogs real(0);
    MovieCommands commands(real);
    int framesAtClick = -1;
    QString label;
    bool visible = false;
    Qt::WindowModality modality = Qt::NonModal;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = CountingDialogs::progressDialog();
        ASSERT_NE(dialog, nullptr);
        visible = dialog->isVisible();
        modality = dialog->windowModality();
        label = dialog->findChildren<QLabel*>().value(0)->text();
        framesAtClick = real.frames;
        QTest::mouseClick(dialog->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
    });
    const MovieCommandResult r = commands.preview({});
    EXPECT_EQ(r.status, MovieCommandStatus::CompileCancelled);
    EXPECT_EQ(real.frames, framesAtClick);
    EXPECT_TRUE(visible);
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_EQ(label, QStringLiteral("Ｆｌａｓｈを作成しています。。。"));
    EXPECT_EQ(readText(dir / "prog/playtemp.swf"), "old movie");
    EXPECT_FALSE(fs::exists(dir / "prog/playtemp.htm"));
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(CountingDialogs::progressDialog(), nullptr) << "closed with the compilation";
}

TEST_F(MovieCommandsTest, ShortCompilationShowsNoProgressDialog) {
    CountingDialogs real(500);
    MovieCommands commands(real);
    EXPECT_EQ(commands.preview({}).status, MovieCommandStatus::Done);
    EXPECT_EQ(real.frames, 25);
    EXPECT_FALSE(real.dialogCreated);
    EXPECT_EQ(CountingDialogs::progressDialog(), nullptr);
}

} // namespace
