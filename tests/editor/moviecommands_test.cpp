#include "common/FakeModals.h"
#include "common/QtTestApplication.h"
#include "compiler/commands/MovieCommands.h"

#include "compiler/CompileMovie.h"
#include "editor/model/MainUnit.h"
#include "editor/window/TMainForm.h"
#include "platform/SystemServices.h"
#include "player/window/PlayerWindow.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using Status = MovieCommandStatus;

namespace {

QWidget* progressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "CompileProgressDialog") return w;
    return nullptr;
}

// Answers the save dialog with `answer`, records messages, and passes frames on
// to the real progress dialog, counting them.
class FakeDialogs final : public MovieCommandDialogs {
public:
    std::string askMoviePath(const std::string& current, std::string* filter) override {
        offered.push_back(current);
        offeredFilters.push_back(*filter);
        if (!chosenFilter.empty()) *filter = chosenFilter;
        return answer;
    }
    void showError(const std::string& text) override {
        errors.push_back(text);
        if (onError) onError();
    }
    void showWarning(const std::string& text, const std::string&) override {
        warnings.push_back(text);
    }
    std::unique_ptr<CompileProgress> startProgress(const ProgressLook& look) override {
        struct Counting final : CompileProgress {
            Counting(FakeDialogs& d, const ProgressLook& look)
                : d(d), real(MakeCompileProgressDialog(nullptr, look, d.delayMs)) {}
            void frameDone(int32_t frame, int32_t last) override {
                ++d.frames;
                real->frameDone(frame, last);
                d.dialogCreated |= progressDialog() != nullptr;
                if (d.duringFrame) d.duringFrame();
            }
            bool cancelRequested() override { return real->cancelRequested(); }
            FakeDialogs& d;
            std::unique_ptr<CompileProgress> real;
        };
        return std::make_unique<Counting>(*this, look);
    }

    std::string answer, chosenFilter;
    int delayMs = 500;
    std::function<void()> duringFrame;
    std::function<void()> onError; // while the box would be open
    std::vector<std::string> offered, offeredFilters, errors, warnings;
    int frames = 0;
    bool dialogCreated = false;
};

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// This editor's preview movie and page ("playtemp-<process id>").
const std::string previewMovie = PreviewFileName();
const std::string previewPage = fs::path(previewMovie).replace_extension(".htm").string();

bool isMovie(const fs::path& p) {
    return fs::is_regular_file(p) && readText(p).starts_with(std::string("FWS\x04"));
}

class MovieCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetProject();
        fs::create_directory(dir / "prog");
        ProgramDir = dir.file("prog") + "/";
        setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
        commands.showMovie = [this](const std::string& p) { opened.push_back(p); };
        commands.setPageSource = [this](const std::vector<std::string>& lines) {
            memo = lines;
            ++memoFills;
        };
        commands.afterCompile = [this] { ++afterCompileCalls; };
        Stage.setWidth(320);
        Stage.setHeight(240);
        AddObjekt(okDrawing)->End.Time = 2000; // 25 frames at 12 fps
    }
    void TearDown() override {
        unsetenv("XDG_CACHE_HOME");
        ProgramDir.clear();
        testsupport::ResetProject();
    }

    testsupport::TempDir dir{"movie-commands"};
    FakeDialogs dialogs;
    MovieCommands commands{dialogs};
    std::vector<std::string> opened, memo;
    int memoFills = 0, afterCompileCalls = 0;
};

struct CheckBoxCase {
    const char* name;
    bool preview, createHtml, showAfterSaving, repeat;
};

class CheckBoxTest : public MovieCommandsTest,
                     public ::testing::WithParamInterface<CheckBoxCase> {};

TEST_P(CheckBoxTest, WritesAndOpensWhatTheBoxesAskFor) {
    const CheckBoxCase& c = GetParam();
    const MovieCommandOptions options{c.showAfterSaving, c.createHtml, c.repeat};
    dialogs.answer = dir.file("anim.swf");
    const MovieCommandResult r =
        c.preview ? commands.preview(options) : commands.saveMovie(options);

    const std::string name = c.preview ? fs::path(previewMovie).stem().string() : "anim";
    const fs::path folder = c.preview ? dir / "prog" : dir.path();
    const fs::path movie = folder / (name + ".swf"), page = folder / (name + ".htm");
    EXPECT_EQ(r.status, Status::Done);
    EXPECT_EQ(dialogs.offered.size(), c.preview ? 0u : 1u);
    EXPECT_TRUE(isMovie(movie));
    EXPECT_EQ(afterCompileCalls, 1);
    // The memo gets the page on every command; the loop line only when the
    // movie is not to repeat.
    ASSERT_EQ(memo.size(), c.repeat ? 10u : 11u);
    EXPECT_EQ(memo[2], "width=\"320\" height=\"240\">");
    EXPECT_EQ(memo[3], "<param name=\"movie\" value=\"" + name + ".swf\">");
    EXPECT_EQ(memo[4], c.repeat ? "<param name=\"quality\" value=\"high\">"
                                : "<param name=\"loop\" value=\"false\">");
    std::string crlf;
    for (const std::string& l : memo)
        crlf += l + "\r\n";
    EXPECT_EQ(readText(page), c.createHtml ? crlf : "");
    EXPECT_EQ(fs::exists(page), c.createHtml);

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

TEST_F(MovieCommandsTest, PageReplacesTheLastExtensionOfTheFileName) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"movie.old.swf", "movie.old.htm"}, {"anim", "anim.htm"}, {"v1.2/anim", "v1.2/anim.htm"}};
    fs::create_directory(dir / "v1.2");
    for (const auto& [movie, page] : cases) {
        dialogs.answer = dir.file(movie);
        EXPECT_EQ(commands.saveMovie({}).pagePath, dir.file(page));
        EXPECT_TRUE(isMovie(dir / movie)) << movie;
        EXPECT_EQ(opened.back(), dir.file(page));
    }
}

TEST_F(MovieCommandsTest, ElementLeftOutOfTheMovieIsReportedAndTheMovieStillShown) {
    ReplaceString(AddObjekt(okText)->Text, std::string(kMaxTextCharacters + 1, 'a'));
    dialogs.answer = dir.file("long.swf");
    EXPECT_EQ(commands.saveMovie({}).status, Status::Done);
    EXPECT_TRUE(dialogs.errors.empty());
    ASSERT_EQ(dialogs.warnings.size(), 1u);
    EXPECT_EQ(dialogs.warnings[0], std::string(MovieWarningsMessage) +
                                       "\nelement 2: the text has 16001 characters, more than "
                                       "the 16000 a text can have; it was left out");
    EXPECT_EQ(opened, std::vector<std::string>{dir.file("long.htm")});
}

struct WarningBoxCase {
    const char* name;
    int leftOut; // texts too long for the movie, one warning each
    const char* format;
    int listed;       // warning lines in the box's text
    const char* more; // the box's last line after them ("": none)
};

class WarningBoxTest : public MovieCommandsTest,
                       public ::testing::WithParamInterface<WarningBoxCase> {};

// After a successful save the window shows a warning (not a stop) box that
// fits the screen however many warnings there are; the whole list is in its
// details.
TEST_P(WarningBoxTest, FitsTheScreenWithTheWholeListInItsDetails) {
    const WarningBoxCase& c = GetParam();
    for (int i = 0; i < c.leftOut; ++i)
        ReplaceString(AddObjekt(okText)->Text, std::string(kMaxTextCharacters + 1, 'a'));
    movitest::FakeModals modals;
    modals.fileAnswer = QString::fromStdString(dir.file(std::string("anim.") + c.format));
    TMainForm form;
    form.findChild<QCheckBox*>("AutoLoadFlashCheck")->setChecked(false);
    QTest::mouseClick(form.findChild<QPushButton*>("CreateFlashBtn"), Qt::LeftButton);

    ASSERT_EQ(modals.messages.size(), 1u);
    const MessageRequest& box = modals.messages[0];
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    const QStringList lines = box.text.split(u'\n');
    ASSERT_EQ(lines.size(), 1 + c.listed + (*c.more ? 1 : 0));
    EXPECT_TRUE(lines[0].endsWith("次の点が省かれました：")) << lines[0].toStdString();
    EXPECT_EQ(lines[1].toStdString(), "element 2: the text has 16001 characters, more than the "
                                      "16000 a text can have; it was left out");
    EXPECT_EQ(lines.last().toStdString(),
              *c.more ? c.more
                      : "element " + std::to_string(c.leftOut + 1) +
                            ": the text has "
                            "16001 characters, more than the 16000 a text can have; it "
                            "was left out");
    const QStringList details = box.detailedText.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(details.size(), *c.more ? c.leftOut : 0);
    if (*c.more) {
        EXPECT_EQ(details.first(), lines[1]);
        EXPECT_TRUE(details.last().startsWith(
            QString::fromStdString("element " + std::to_string(c.leftOut + 1) + ":")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Warnings, WarningBoxTest,
    ::testing::Values(WarningBoxCase{"One", 1, "swf", 1, ""},
                      WarningBoxCase{"AsManyAsFit", 10, "swf", 10, ""},
                      WarningBoxCase{"OneMore", 11, "swf", 10, "…ほか 1 件"},
                      WarningBoxCase{"Hundreds", 250, "swf", 10, "…ほか 240 件"},
                      WarningBoxCase{"HundredsInAnAnimation", 250, "gif", 10, "…ほか 240 件"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MovieCommandsTest, SaveDialogStartsWithTheLastSavedMovieAndCancelDoesNothing) {
    dialogs.answer = dir.file("first.swf");
    commands.saveMovie({});
    commands.preview({});
    dialogs.answer.clear();
    EXPECT_EQ(commands.saveMovie({}).status, Status::DialogCancelled);
    EXPECT_EQ(dialogs.offered, (std::vector<std::string>{"", dir.file("first.swf")}));
    EXPECT_EQ(dialogs.frames, 50) << "the cancelled dialog compiled nothing";
    EXPECT_EQ(memoFills, 2);
}

TEST_F(MovieCommandsTest, CancelButtonStopsWithinAFrameAndWritesNothing) {
    AddObjekt(okDrawing)->End.Time = 100000; // 1201 frames
    std::ofstream(dir / "prog" / previewMovie) << "old movie";
    dialogs.delayMs = 0;
    int framesAtClick = -1;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = progressDialog();
        ASSERT_TRUE(dialog && dialog->isVisible());
        EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(dialog->findChild<QLabel*>()->text(), "Ｆｌａｓｈを作成しています。。。");
        framesAtClick = dialogs.frames;
        QTest::mouseClick(dialog->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
    });
    EXPECT_EQ(commands.preview({}).status, Status::CompileCancelled);
    EXPECT_EQ(dialogs.frames, framesAtClick);
    EXPECT_EQ(readText(dir / "prog" / previewMovie), "old movie");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "prog"), fs::directory_iterator()), 1);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(memoFills, 0);
    EXPECT_EQ(afterCompileCalls, 1) << "the window selects its element again";
    EXPECT_EQ(progressDialog(), nullptr) << "closed with the compilation";
}

TEST_F(MovieCommandsTest, ShortCompilationShowsNoProgressAndCommandsDoNotNest) {
    std::vector<Status> nested;
    dialogs.duringFrame = [&] {
        if (dialogs.frames == 2)
            nested = {commands.preview({}).status, commands.saveMovie({}).status};
    };
    EXPECT_EQ(commands.preview({}).status, Status::Done);
    EXPECT_EQ(nested, (std::vector<Status>{Status::Busy, Status::Busy}));
    EXPECT_TRUE(dialogs.offered.empty());
    EXPECT_EQ(dialogs.frames, 25);
    EXPECT_FALSE(dialogs.dialogCreated);
    EXPECT_FALSE(MovieCommands::running());
}

struct WriteFailureCase {
    const char* name;
    const char* folder; // made before the command
    const char* movie;
    rlim_t sizeLimit; // of every file written (0: none)
    Status status;
    const char* message;
    const char* messagePath;
};

class WriteFailureTest : public MovieCommandsTest,
                         public ::testing::WithParamInterface<WriteFailureCase> {};

// By the time the box tells of the failure, the folder holds what it held
// before: the old movie and no partial file beside it.
TEST_P(WriteFailureTest, ToldToTheUserWithTheOldFilesKeptAndNothingOpened) {
    const WriteFailureCase& c = GetParam();
    if (*c.folder) fs::create_directory(dir / c.folder);
    if (!fs::exists(dir / c.movie)) std::ofstream(dir / c.movie) << "old movie";
    auto listing = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = listing();
    std::vector<std::string> atTheBox;
    dialogs.onError = [&] { atTheBox = listing(); };
    dialogs.answer = dir.file(c.movie);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    if (c.sizeLimit) {
        signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
        const rlimit limited{c.sizeLimit, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    const Status status = commands.saveMovie({}).status;
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(dialogs.errors, std::vector<std::string>{c.message + dir.file(c.messagePath)});
    EXPECT_EQ(atTheBox, before);
    if (fs::is_regular_file(dir / c.movie)) {
        EXPECT_EQ(readText(dir / c.movie), "old movie");
    }
    EXPECT_TRUE(opened.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WriteFailureTest,
    ::testing::Values(
        WriteFailureCase{"MovieNameIsAFolder", "a.swf", "a.swf", 0, Status::MovieNotWritten,
                         "Ｆｌａｓｈファイルを保存することができませんでした.\n", "a.swf"},
        WriteFailureCase{"MovieBeyondTheFileSizeLimit", "", "a.swf", 100, Status::MovieNotWritten,
                         "Ｆｌａｓｈファイルを保存することができませんでした.\n", "a.swf"},
        WriteFailureCase{"PageNameIsAFolder", "a.htm", "a.swf", 0, Status::PageNotWritten,
                         "ＨＴＭＬファイルを保存することができませんでした.\n", "a.htm"},
        WriteFailureCase{"AnimationNameIsAFolder", "a.gif", "a.gif", 0, Status::MovieNotWritten,
                         "ファイルを保存することができませんでした.\n", "a.gif"},
        WriteFailureCase{"AnimationBeyondTheFileSizeLimit", "", "a.gif", 100,
                         Status::MovieNotWritten, "ファイルを保存することができませんでした.\n",
                         "a.gif"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExportChoiceCase {
    const char* name;
    const char* answer; // the name the user typed
    const char* filter; // the filter the user chose
    const char* written;
    const char* signature;  // the written file's first bytes
    const char* nextFilter; // the next dialog's filter ("": the first, Flash)
};

class ExportChoiceTest : public MovieCommandsTest,
                         public ::testing::WithParamInterface<ExportChoiceCase> {};

// The extension typed, else the filter chosen, picks the format; an animation
// gets no page, is opened itself, and the next dialog starts with its filter.
TEST_P(ExportChoiceTest, ExtensionOrFilterPicksTheFormat) {
    const ExportChoiceCase& c = GetParam();
    dialogs.answer = dir.file(c.answer);
    dialogs.chosenFilter = c.filter;
    ASSERT_EQ(commands.saveMovie({}).status, Status::Done);
    EXPECT_TRUE(readText(dir / c.written).starts_with(c.signature)) << c.written;
    const bool movie = std::string(c.signature) == "FWS";
    EXPECT_EQ(fs::exists(dir / "anim.htm"), movie);
    EXPECT_EQ(opened, std::vector<std::string>{dir.file(movie ? "anim.htm" : c.written)});
    EXPECT_EQ(memoFills, movie ? 1 : 0);
    EXPECT_TRUE(dialogs.errors.empty());
    dialogs.answer.clear();
    commands.saveMovie({});
    EXPECT_EQ(dialogs.offeredFilters.back(), c.nextFilter);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ExportChoiceTest,
    ::testing::Values(
        ExportChoiceCase{"ExtensionTyped", "anim.gif", "", "anim.gif", "GIF89a",
                         "GIF アニメーション (*.gif)"},
        ExportChoiceCase{"ExtensionOverFilter", "anim.webp", "GIF アニメーション (*.gif)",
                         "anim.webp", "RIFF", "WebP アニメーション (*.webp)"},
        ExportChoiceCase{"FilterAddsItsExtension", "anim", "APNG アニメーション (*.png)",
                         "anim.png", "\x89PNG", "APNG アニメーション (*.png)"},
        ExportChoiceCase{"UnknownExtensionTakesTheFilters", "anim.txt", "WebM 動画 (*.webm)",
                         "anim.txt.webm", "\x1A\x45\xDF\xA3", "WebM 動画 (*.webm)"},
        ExportChoiceCase{"SvgFromItsFilter", "anim", "SVG アニメーション (*.svg)", "anim.svg",
                         "<?xml", "SVG アニメーション (*.svg)"},
        ExportChoiceCase{"FlashKeepsTheNameAsTyped", "anim.txt", "Flash (*.swf)", "anim.txt", "FWS",
                         ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MovieCommandsTest, CancelledExportKeepsTheOldFileAndLeavesNothing) {
    AddObjekt(okDrawing)->End.Time = 100000; // 1201 frames
    std::ofstream(dir / "anim.gif") << "old picture";
    dialogs.answer = dir.file("anim.gif");
    dialogs.delayMs = 0;
    // Cancelled while the frames are encoded, after the compilation.
    dialogs.duringFrame = [&] {
        if (dialogs.frames == 1201 + 3)
            QTest::mouseClick(progressDialog()->findChild<QPushButton*>("CancelBtn"),
                              Qt::LeftButton);
    };
    EXPECT_EQ(commands.saveMovie({}).status, Status::CompileCancelled);
    EXPECT_EQ(dialogs.frames, 1201 + 3);
    EXPECT_EQ(readText(dir / "anim.gif"), "old picture");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2)
        << "the program's folder and the old picture";
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(afterCompileCalls, 1);
}

// An animation's progress names its format, and compiling and encoding make
// one run of the bar, whose frames are the movie's.
TEST_F(MovieCommandsTest, ExportProgressNamesTheFormatAndRunsOnce) {
    dialogs.answer = dir.file("anim.webp");
    dialogs.delayMs = 0;
    QString caption;
    QStringList texts;
    std::vector<int> values;
    int maximum = 0;
    dialogs.duringFrame = [&] {
        QWidget* d = progressDialog();
        ASSERT_NE(d, nullptr);
        caption = d->findChild<QLabel*>("CaptionLabel")->text();
        texts << d->findChild<QLabel*>("FramesLabel")->text();
        values.push_back(d->findChild<QProgressBar*>()->value());
        maximum = d->findChild<QProgressBar*>()->maximum();
    };
    ASSERT_EQ(commands.saveMovie({}).status, Status::Done);
    EXPECT_EQ(caption, "WebP アニメーションを作成しています。。。");
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(std::count(values.begin(), values.end(), maximum), 1) << "to its end once";
    EXPECT_EQ(texts.first(), "フレーム 1 / 25（組み立て）");
    EXPECT_EQ(texts.last(), "ファイルを書き込んでいます。。。");
    for (const QString& t : texts)
        EXPECT_TRUE(t.contains(" / 25（") || t == texts.last()) << t.toStdString();
}

struct PreviewFolderCase {
    const char* name;
    const char* programDir; // "prog" is a folder, "file" a file
    bool cacheUsable;
    const char* expected; // "tmp" stands for the user's folder in the temporary folder
};

class PreviewFolderTest : public MovieCommandsTest,
                          public ::testing::WithParamInterface<PreviewFolderCase> {};

TEST_P(PreviewFolderTest, PreviewNeverFailsForItsFolder) {
    const PreviewFolderCase& c = GetParam();
    std::ofstream(dir / "file") << "";
    ProgramDir = dir.file(c.programDir) + "/";
    if (!c.cacheUsable) setenv("XDG_CACHE_HOME", dir.file("file").c_str(), 1);
    platform::SetTempFolder(dir.file(""));
    const MovieCommandResult r = commands.preview({});
    platform::SetTempFolder("");
    const std::string folder = std::string(c.expected) == "tmp"
                                   ? dir.file("moviloomster-" + std::to_string(getuid()))
                                   : dir.file(c.expected);
    EXPECT_EQ(r.moviePath, folder + "/" + previewMovie);
    EXPECT_TRUE(isMovie(r.moviePath));
    EXPECT_EQ(opened, std::vector<std::string>{folder + "/" + previewPage});
    if (!c.cacheUsable) {
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PreviewFolderTest,
    ::testing::Values(PreviewFolderCase{"WritableProgramFolder", "prog", true, "prog"},
                      PreviewFolderCase{"ProgramFolderIsAFile", "file", true, "cache/moviloomster"},
                      PreviewFolderCase{"NoCacheFolder", "file", false, "tmp"}),
    [](const auto& info) { return std::string(info.param.name); });

// Editors side by side each preview into a file of their own: one editor's
// preview never shows another's movie. What ended editors left is removed;
// the files of running ones and anything else stay.
TEST_F(MovieCommandsTest, EachEditorPreviewsIntoItsOwnFileAndEndedOnesAreCleared) {
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_GT(ended, 0);
    waitpid(ended, nullptr, 0);
    const std::string endedName = "playtemp-" + std::to_string(ended);
    const std::string running = "playtemp-" + std::to_string(getppid()) + ".swf";
    const std::vector<std::string> kept = {running, "playtemp.swf", "playtemp-1x.swf",
                                           "playtemp-.swf"};
    for (const std::string& name : kept)
        std::ofstream(dir / "prog" / name) << "another movie";
    for (const char* extension : {".swf", ".htm"})
        std::ofstream(dir / "prog" / (endedName + extension)) << "ended";

    const MovieCommandResult r = commands.preview({});
    EXPECT_EQ(r.moviePath, dir.file("prog/playtemp-" + std::to_string(getpid()) + ".swf"));
    EXPECT_TRUE(isMovie(r.moviePath));
    EXPECT_FALSE(fs::exists(dir / "prog" / (endedName + ".swf")));
    EXPECT_FALSE(fs::exists(dir / "prog" / (endedName + ".htm")));
    for (const std::string& name : kept)
        EXPECT_EQ(readText(dir / "prog" / name), "another movie") << name;
}

// The window's buttons, with its file dialog and message box seams replaced.
TEST_F(MovieCommandsTest, WindowButtonsRunTheCommands) {
    movitest::FakeModals modals;
    const std::vector<FileDialogRequest>& requests = modals.fileRequests;
    QString& answer = modals.fileAnswer;
    answer = QString::fromStdString(dir.file("anim"));
    AddObjekt(okDrawing);
    TMainForm form;
    form.show();
    form.RebuildList();
    form.SelectRow(1); // the first element's end row
    auto click = [&](const char* name) {
        auto* b = form.findChild<QAbstractButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
    };

    click("PlayBtn");
    EXPECT_TRUE(isMovie(dir / "prog" / previewMovie));
    Objekt* shown = CurObjekt;
    ObjektList.Select(0);
    EXPECT_EQ(shown, CurObjekt) << "the selected row's element is current again";
    // The page plays in the window's own player.
    auto* player = form.findChild<player::PlayerWindow*>();
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->isVisible() && player->isPlaying());
    EXPECT_EQ(player->browsePath(), dir.file("prog/" + previewPage));

    QTabBar* tabs = form.findChild<QTabWidget*>("PageControl1")->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    click("RepeatCheck");
    click("CreateFlashBtn");
    click("CreateFlashBtn");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].name, "SaveDialog1");
    EXPECT_EQ(requests[0].filter,
              "Flash (*.swf)|*.swf|GIF アニメーション (*.gif)|*.gif|WebP アニメーション "
              "(*.webp)|*.webp|APNG アニメーション (*.png)|*.png|WebM 動画 (*.webm)|*.webm|SVG "
              "アニメーション (*.svg)|*.svg");
    EXPECT_EQ(requests[0].defaultSuffix, "swf");
    EXPECT_EQ(requests[0].fileName, "");
    EXPECT_EQ(requests[1].fileName, answer + ".swf");
    EXPECT_TRUE(isMovie(dir / "anim.swf"));
    EXPECT_EQ(form.findChildren<player::PlayerWindow*>().size(), 1) << "one player, reused";
    EXPECT_EQ(player->browsePath(), dir.file("anim.htm"));
    EXPECT_FALSE(player->loops()) << "the page asks not to loop";
    EXPECT_TRUE(form.findChild<QPlainTextEdit*>("Memo1")->toPlainText().contains(
        "<param name=\"loop\" value=\"false\">\n"));

    answer = QString::fromStdString(dir.file("missing/anim.swf"));
    click("CreateFlashBtn");
    EXPECT_EQ(
        modals.messageTexts(),
        std::vector<QString>{"Ｆｌａｓｈファイルを保存することができませんでした.\n" + answer});
    EXPECT_EQ(player->browsePath(), dir.file("anim.htm"));

    // An animation is no movie for the player: the desktop's handler gets it,
    // and its failure is told.
    answer = QString::fromStdString(dir.file("anim.gif"));
    modals.desktopAnswer = false;
    click("CreateFlashBtn");
    EXPECT_EQ(modals.opened, std::vector<std::string>{dir.file("anim.gif")});
    ASSERT_EQ(modals.messages.size(), 2u);
    EXPECT_EQ(modals.messages[1].text.toStdString(),
              "デスクトップで開けません：\n" + dir.file("anim.gif"));

    // Another project: the dialog proposes its name with the movie's extension.
    form.SetProjectFileName(dir.file("Projekt.fmo"));
    click("CreateFlashBtn");
    EXPECT_EQ(requests.back().fileName, QString::fromStdString(dir.file("Projekt.swf")));
}

} // namespace
