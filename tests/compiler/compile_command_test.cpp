// The compile command as a user runs it: its exit codes and messages, and a
// file-size limit that makes a write fail instead of killing the program.
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    bool exited = false; // ended by exit, not by a signal
    int code = -1;
    std::string err;
};

// Runs a program of the build with a file-size limit (0: none).
Outcome runProgram(const std::string& program, std::vector<std::string> args,
                   const std::string& errFile, rlim_t fileSizeLimit = 0) {
    args.insert(args.begin(), std::string(MOVI_BIN_DIR) + "/" + program);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        if (fileSizeLimit != 0) {
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    Outcome r;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return r;
    r.exited = WIFEXITED(status);
    r.code = r.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
    std::ifstream in(errFile);
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    fs::remove(errFile);
    return r;
}

std::set<std::string> names(const fs::path& folder) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        out.insert(e.path().filename().string());
    return out;
}

class CompileCommand : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetProject();
        fs::create_directory(dir.path() / "work");
        // A drawing object moving for ten seconds: a movie of a few kilobytes.
        Objekt* o = AddObjekt(okDrawing);
        o->End.Time = 10000;
        ASSERT_TRUE(SaveProject(project));
        testsupport::ResetProject();
    }
    void TearDown() override { testsupport::ResetProject(); }

    testsupport::TempDir dir;
    const std::string work = dir.file("work");
    const std::string project = dir.file("work/p.fmo");
    const std::string errFile = dir.file("stderr.txt");
};

struct ExitCase {
    const char* name;
    std::vector<std::string> args; // {P}: the project, {W}: the work folder
    int code;
    std::string message; // the start of stderr
};

class CompileCommandExit : public CompileCommand, public testing::WithParamInterface<ExitCase> {};

TEST_P(CompileCommandExit, EndsWithTheAgreedCode) {
    std::vector<std::string> args;
    std::string message = GetParam().message;
    for (std::string a : GetParam().args) {
        if (a == "{P}") a = project;
        if (a.rfind("{W}", 0) == 0) a = work + a.substr(3);
        args.push_back(a);
    }
    if (size_t at = message.find("{W}"); at != std::string::npos) message.replace(at, 3, work);
    const Outcome r = runProgram("moviloomster-compile", args, errFile);
    ASSERT_TRUE(r.exited) << r.code;
    EXPECT_EQ(r.code, GetParam().code) << r.err;
    EXPECT_EQ(r.err.substr(0, message.size()), message);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CompileCommandExit,
    testing::Values(
        ExitCase{"Success", {"{P}"}, 0, ""},
        ExitCase{"MissingProject",
                 {"{W}/none.fmo"},
                 1,
                 "moviloomster-compile: cannot read {W}/none.fmo"},
        ExitCase{"UnwritableMovie",
                 {"{P}", "-o", "{W}/none/m.swf"},
                 2,
                 "moviloomster-compile: cannot write {W}/none/m.swf: No such file or directory\n"},
        ExitCase{"NoArguments", {}, 3, "usage: moviloomster-compile"},
        ExitCase{"UnknownOption", {"{P}", "--fast"}, 3, "usage: moviloomster-compile"},
        ExitCase{"TwoProjects", {"{P}", "{P}"}, 3, "usage: moviloomster-compile"}),
    [](const auto& info) { return std::string(info.param.name); });

// Under `ulimit -f` the write fails with EFBIG: the message, exit 2, the old
// movie intact and nothing left beside it.
TEST_F(CompileCommand, AFileSizeLimitIsAWriteErrorLikeAnyOther) {
    const std::string movie = work + "/p.swf";
    testsupport::WriteBytes(movie, {'o', 'l', 'd'});
    const auto before = names(work);
    const Outcome r = runProgram("moviloomster-compile", {project, "--no-html"}, errFile, 512);
    ASSERT_TRUE(r.exited) << "killed by signal " << -r.code;
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "moviloomster-compile: cannot write " + movie + ": File too large\n");
    EXPECT_EQ(testsupport::ReadBytes(movie), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(names(work), before);
}

// A movie and its page replace the old pair together or not at all: when
// either cannot be written the command exits 2 and leaves both old files as
// they were, with nothing beside them.
struct PairCase {
    const char* name;
    bool emptyProject; // a movie smaller than its page
    bool pageIsFolder;
    rlim_t fileSizeLimit;
    std::string message; // {W}: the work folder
};

class CompileCommandPair : public CompileCommand, public testing::WithParamInterface<PairCase> {};

TEST_P(CompileCommandPair, KeepsTheOldPairWhenEitherFails) {
    const PairCase& c = GetParam();
    std::string input = project;
    if (c.emptyProject) {
        input = dir.file("empty.fmo");
        ASSERT_TRUE(SaveProject(input));
    }
    const std::string movie = work + "/m.swf", page = work + "/m.htm";
    const std::vector<unsigned char> oldMovie{'o', 'l', 'd'}, oldPage{'p', 'a', 'g', 'e'};
    testsupport::WriteBytes(movie, oldMovie);
    if (c.pageIsFolder)
        fs::create_directory(page);
    else
        testsupport::WriteBytes(page, oldPage);
    const auto before = names(work);
    const Outcome r =
        runProgram("moviloomster-compile", {input, "-o", movie}, errFile, c.fileSizeLimit);
    ASSERT_TRUE(r.exited) << "killed by signal " << -r.code;
    EXPECT_EQ(r.code, 2);
    std::string message = c.message;
    message.replace(message.find("{W}"), 3, work);
    EXPECT_EQ(r.err, message);
    EXPECT_EQ(testsupport::ReadBytes(movie), oldMovie);
    if (!c.pageIsFolder) {
        EXPECT_EQ(testsupport::ReadBytes(page), oldPage);
    }
    EXPECT_EQ(names(work), before);
}

INSTANTIATE_TEST_SUITE_P(
    Pair, CompileCommandPair,
    testing::Values(PairCase{"FolderNamedLikeThePage", false, true, 0,
                             "moviloomster-compile: cannot write {W}/m.htm: Is a directory\n"},
                    PairCase{"PageBeyondAFileSizeLimit", true, false, 200,
                             "moviloomster-compile: cannot write {W}/m.htm: File too large\n"},
                    PairCase{"MovieBeyondAFileSizeLimit", false, false, 512,
                             "moviloomster-compile: cannot write {W}/m.swf: File too large\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The summary program's copy under the same limit: no signal, the old copy
// stays, no temporary project file beside it.
TEST_F(CompileCommand, TheSummaryProgramsCopyFailsTheSameWay) {
    std::vector<unsigned char> old(100, 'x');
    const std::string copy = work + "/copy.fmo";
    testsupport::WriteBytes(copy, old);
    const auto before = names(work);
    const Outcome r = runProgram("moviloomster-projinfo", {project, "--resave", copy}, errFile, 64);
    ASSERT_TRUE(r.exited) << "killed by signal " << -r.code;
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(testsupport::ReadBytes(copy), old);
    EXPECT_EQ(names(work), before);
}

} // namespace
