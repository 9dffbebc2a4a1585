// The commands' side of exports: the format chosen by extension or --format,
// exit 3 with the list for an unknown one, the file's mode, and the old file
// kept (with nothing beside it) when a write fails or Ctrl+C stops the export.
#include "common/TempDir.h"
#include "player/SwfBuilder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

using namespace swfbuild;
namespace fs = std::filesystem;

namespace {

const char* const Formats = "; the formats are: swf, gif, webp, apng (.png), webm, svg";

// `frames` frames of a square moving across a `width` x `height` stage.
Bytes movingSquare(int width, int height, int frames) {
    std::vector<Bytes> tags{tag(SetBackgroundColor, Bits().rgb(0xFFFFFF)),
                            solidRect(1, 0, 0, 400, 400, 0x0000FF)};
    for (int k = 0; k < frames; ++k) {
        Bits p;
        p.u8(k == 0 ? 0x06 : 0x05).u16(1);
        if (k == 0) p.u16(1);
        p.matrix(65536, 65536, 0, 0, (k % width) * 20, (k % height) * 20);
        tags.push_back(tag(PlaceObject2, p));
        tags.push_back(showFrame());
    }
    return swfbuild::movie(width, height, 12, tags);
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ExportCommand : public ::testing::Test {
protected:
    void SetUp() override { writeFile(dir.file("movie.swf"), movingSquare(40, 30, 12)); }

    // Runs `program args` under sh (`limits` first); the exit code and the
    // first line on stderr.
    int run(const std::string& program, const std::string& args, std::string* err,
            const std::string& limits = "") const {
        const std::string errFile = dir.file("stderr.txt");
        const std::string command = "sh -c '" + limits + " exec timeout 60 " + MOVI_BIN_DIR + "/" +
                                    program + " " + args + "' 2> " + errFile;
        const int status = std::system(command.c_str());
        std::ifstream in(errFile);
        std::getline(in, *err);
        fs::remove(errFile);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string path(const std::string& name) const { return dir.file(name); }
    size_t entries() const {
        return size_t(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
    }

    movitest::TempDir dir{"movi-export-command"};
};

TEST_F(ExportCommand, UnknownFormatsExitThreeWithTheList) {
    const struct {
        const char* program;
        std::string args, message;
    } rows[] = {
        {"moviloomster-render", path("movie.swf") + " -o " + path("out.bmp"),
         "moviloomster-render: unknown format of " + path("out.bmp") + Formats},
        {"moviloomster-render", path("movie.swf") + " --format tiff -o " + path("out.gif"),
         std::string("moviloomster-render: unknown format \"tiff\"") + Formats},
        {"moviloomster-render", path("movie.swf") + " --format swf -o " + path("out.swf"),
         std::string("moviloomster-render: a movie cannot be converted into swf") + Formats},
        {"moviloomster-render", path("movie.swf") + " --scale 5 -o " + path("out.gif"),
         "moviloomster-render: --scale needs a number from 1 to 4 for an animation"},
        // The format is checked before the project is read.
        {"moviloomster-compile", path("none.fmo") + " -o " + path("out.tiff"),
         "moviloomster-compile: unknown format of " + path("out.tiff") + Formats},
        {"moviloomster-compile", path("none.fmo") + " --quality 101 -o " + path("out.webp"),
         "moviloomster-compile: --quality needs a whole number from 0 to 100"},
    };
    for (const auto& row : rows) {
        std::string err;
        EXPECT_EQ(run(row.program, row.args, &err), 3) << row.args;
        EXPECT_EQ(err, row.message);
    }
    EXPECT_EQ(entries(), 1u) << "nothing written";
}

TEST_F(ExportCommand, FileModeFollowsTheUsualRule) {
    std::string err;
    // .apng by extension, and a .png with --format apng; a plain .png stays one frame.
    ASSERT_EQ(run("moviloomster-render", path("movie.swf") + " -o " + path("new.apng"), &err,
                  "umask 027;"),
              0)
        << err;
    struct stat st {};
    ASSERT_EQ(stat(path("new.apng").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_NE(readText(path("new.apng")).find("acTL"), std::string::npos);
    writeFile(path("old.png"), {'o', 'l', 'd'});
    ASSERT_EQ(chmod(path("old.png").c_str(), 0604), 0);
    ASSERT_EQ(run("moviloomster-render", path("movie.swf") + " --format apng -o " + path("old.png"),
                  &err, "umask 077;"),
              0)
        << err;
    ASSERT_EQ(stat(path("old.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u) << "the replaced file's mode";
    EXPECT_NE(readText(path("old.png")).find("acTL"), std::string::npos);
    ASSERT_EQ(run("moviloomster-render", path("movie.swf") + " -o " + path("still.png"), &err), 0);
    EXPECT_EQ(readText(path("still.png")).find("acTL"), std::string::npos) << "a single frame";
}

TEST_F(ExportCommand, SizeLimitKeepsTheOldFile) {
    writeFile(path("big.swf"), movingSquare(200, 150, 60));
    for (const char* name : {"old.gif", "old.webp", "old.png", "old.webm"}) {
        writeFile(path(name), {'o', 'l', 'd'});
        std::string err;
        // A 4 KB file-size limit.
        EXPECT_EQ(run("moviloomster-render",
                      path("big.swf") + " --format " +
                          (std::string(name) == "old.png" ? "apng" : name + 4) + " -o " +
                          path(name),
                      &err, "ulimit -f 4;"),
                  2)
            << name;
        EXPECT_NE(err.find("File too large"), std::string::npos) << err;
        EXPECT_EQ(readText(path(name)), "old");
    }
    EXPECT_EQ(entries(), 6u) << "two movies and the four old files, nothing else";
}

// Ctrl+C in the middle of an export: the program ends by the signal, the old
// file is as it was and its fresh file is gone.
TEST_F(ExportCommand, InterruptLeavesTheOldFileAndNothingBeside) {
    writeFile(path("long.swf"), movingSquare(400, 300, 3000));
    writeFile(path("out.gif"), {'o', 'l', 'd'});
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string program = std::string(MOVI_BIN_DIR) + "/moviloomster-render";
        execl(program.c_str(), program.c_str(), path("long.swf").c_str(), "--scale", "4", "-o",
              path("out.gif").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Waits until the fresh file exists beside the target.
    const auto started = std::chrono::steady_clock::now();
    while (entries() < 4 && std::chrono::steady_clock::now() - started < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(entries(), 4u) << "the export's fresh file appeared";
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_EQ(readText(path("out.gif")), "old");
    EXPECT_EQ(entries(), 3u) << "the two movies and the old picture";
}

} // namespace
