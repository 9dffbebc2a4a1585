// moviloomster-render: what it writes and its exit codes (0 written, 1 movie
// unreadable, 2 output unwritable, 3 usage).
#include "HostileMovies.h"
#include "common/TempDir.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace swfbuild;

namespace {

struct CommandRow {
    const char* name;
    const char* args; // {movie}, {damaged} and {dir} are replaced
    int exitCode;
    const char* stderrFirstLine; // "" when nothing is printed
};

class RenderCommand : public ::testing::TestWithParam<CommandRow> {
protected:
    void SetUp() override {
        // Three frames: a red square, a blue one beside it, the red removed.
        const Bytes movie = swfbuild::movie(
            40, 20, 12,
            {tag(SetBackgroundColor, Bits().rgb(0xFFFFFF)), solidRect(1, 0, 0, 400, 400, 0xFF0000),
             solidRect(2, 400, 0, 400, 400, 0x0000FF), place(1, 1), showFrame(), place(2, 2),
             showFrame(), tag(RemoveObject2, Bits().u16(1)), showFrame()});
        write(dir.file("movie.swf"), movie);
        Bytes damaged = movie;
        damaged.resize(30);
        write(dir.file("damaged.swf"), damaged);
        ASSERT_EQ(mkfifo(dir.file("pipe.swf").c_str(), 0600), 0);
    }
    static void write(const std::string& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::string expand(std::string text) const {
        for (auto [key, value] :
             {std::pair<std::string, std::string>{"{movie}", dir.file("movie.swf")},
              {"{damaged}", dir.file("damaged.swf")},
              {"{pipe}", dir.file("pipe.swf")},
              {"{dir}", dir.path().string()}})
            for (size_t at; (at = text.find(key)) != std::string::npos;)
                text.replace(at, key.size(), value);
        return text;
    }
    // Runs the command (a hang ends after 20 s); returns its exit code, its first line on stderr in
    // *err.
    // `before` runs in the same shell first (a file-size limit).
    int run(const std::string& args, std::string* err, const std::string& before = "") const {
        const std::string errFile = dir.file("stderr.txt");
        const std::string command = before + "timeout 20 '" + MOVI_BIN_DIR +
                                    "/moviloomster-render' " + args + " 2> '" + errFile + "'";
        const int status = std::system(command.c_str());
        std::ifstream in(errFile);
        std::getline(in, *err);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    movitest::TempDir dir{"movi-render"};
};

TEST_P(RenderCommand, ExitCodeAndMessage) {
    std::string err;
    EXPECT_EQ(run(expand(GetParam().args), &err), GetParam().exitCode);
    EXPECT_EQ(err, expand(GetParam().stderrFirstLine));
}

const char* const UsageLine = "usage: moviloomster-render MOVIE.swf [--frame K "
                              "| --all] -o OUT.png|FOLDER [--scale S]";

INSTANTIATE_TEST_SUITE_P(
    Player, RenderCommand,
    ::testing::Values(CommandRow{"MissingMovie", "{dir}/none.swf -o {dir}/out.png", 1,
                                 "moviloomster-render: cannot read {dir}/none.swf: cannot "
                                 "open {dir}/none.swf: "
                                 "No such file or directory"},
                      CommandRow{"DamagedMovie", "{damaged} -o {dir}/out.png", 1,
                                 "moviloomster-render: cannot read {dir}/damaged.swf: "
                                 "DefineShape at offset 26: "
                                 "its length of 45 bytes runs past the end of the file (2 "
                                 "bytes left)"},
                      // Neither blocks on a pipe without a writer nor reads a device.
                      CommandRow{"NamedPipe", "{pipe} -o {dir}/out.png", 1,
                                 "moviloomster-render: cannot read {dir}/pipe.swf: cannot open "
                                 "{dir}/pipe.swf: it is a named pipe, not a regular file"},
                      CommandRow{"Device", "/dev/null -o {dir}/out.png", 1,
                                 "moviloomster-render: cannot read /dev/null: cannot open "
                                 "/dev/null: it is a device, not a regular file"},
                      CommandRow{"OutputFolderMissing", "{movie} -o {dir}/no/such/folder/out.png",
                                 2,
                                 "moviloomster-render: cannot write {dir}/no/such/folder/out.png"},
                      CommandRow{"AllIntoAFile", "{movie} --all -o {dir}/movie.swf", 2,
                                 "moviloomster-render: cannot create the folder {dir}/movie.swf"},
                      CommandRow{"NoArguments", "", 3, UsageLine},
                      CommandRow{"NoOutput", "{movie}", 3, UsageLine},
                      CommandRow{"FrameZero", "{movie} --frame 0 -o {dir}/out.png", 3,
                                 "moviloomster-render: --frame needs a frame number from 1"},
                      CommandRow{"FrameBeyondTheMovie", "{movie} --frame 4 -o {dir}/out.png", 3,
                                 "moviloomster-render: --frame 4: the movie has 3 frames"},
                      CommandRow{"FrameAndAll", "{movie} --frame 1 --all -o {dir}/out.png", 3,
                                 "moviloomster-render: --frame and --all exclude each other"},
                      CommandRow{"BadScale", "{movie} --scale 0 -o {dir}/out.png", 3,
                                 "moviloomster-render: --scale needs a number above 0 and at "
                                 "most 64"},
                      CommandRow{"UnknownOption", "{movie} --fast -o {dir}/out.png", 3, UsageLine}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenderCommand, WritesTheAskedFramesAtTheirScale) {
    std::string err;
    ASSERT_EQ(run(expand("{movie} --frame 2 --scale 2 -o {dir}/two.png"), &err), 0) << err;
    const QImage two(QString::fromStdString(dir.file("two.png")));
    ASSERT_EQ(two.size(), QSize(80, 40));
    EXPECT_EQ(two.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(two.pixel(50, 10), qRgb(0, 0, 255));
    // Without --frame the last frame: the red square is gone.
    ASSERT_EQ(run(expand("{movie} -o {dir}/last.png"), &err), 0) << err;
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("last.png"))).pixel(5, 5),
              qRgb(255, 255, 255));
    // --all: every frame, numbered after the movie.
    ASSERT_EQ(run(expand("{movie} --all -o {dir}/frames"), &err), 0) << err;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "frames"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"movie-0001.png", "movie-0002.png", "movie-0003.png"}));
    const QImage first(QString::fromStdString(dir.file("frames/movie-0001.png")));
    EXPECT_EQ(first.pixel(25, 5), qRgb(255, 255, 255));
}

// Under a file-size limit, as on a full disk: two white frames fit, the
// third (a picture of noise) does not. The old picture stays as it was, and
// a failed --all leaves no frames (nor the folder it made).
TEST_F(RenderCommand, AFailedWriteKeepsTheOldPictureAndLeavesNoFrames) {
    QImage noise(40, 20, QImage::Format_RGB32);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            noise.setPixel(x, y, uint32_t(x * 2654435761u ^ y * 40503u) & 0xFFFFFF);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(noise.save(&buffer, "JPEG", 100));
    Bits bitmap;
    bitmap.u16(1).raw(Bytes(jpeg.begin(), jpeg.end()));
    write(
        dir.file("noisy.swf"),
        swfbuild::movie(40, 20, 12,
                        {tag(DefineBitsJPEG2, bitmap), clippedFillShape(2, 40, 20, 20 << 16, 0, 0),
                         showFrame(), showFrame(), place(1, 2), showFrame()}));
    write(dir.file("keep.png"), Bytes{'o', 'l', 'd'});
    const std::string limit = "ulimit -f 8; ";
    std::string err;
    EXPECT_EQ(run(expand("{dir}/noisy.swf --scale 8 -o {dir}/keep.png"), &err, limit), 2);
    EXPECT_EQ(err, expand("moviloomster-render: cannot write {dir}/keep.png"));
    std::ifstream kept(dir.file("keep.png"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "old");

    EXPECT_EQ(run(expand("{dir}/noisy.swf --all --scale 8 -o {dir}/frames"), &err, limit), 2);
    EXPECT_EQ(err, expand("moviloomster-render: cannot write {dir}/frames/noisy-0003.png"));
    EXPECT_FALSE(std::filesystem::exists(dir / "frames"));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"damaged.swf", "keep.png", "movie.swf", "noisy.swf",
                                               "pipe.swf", "stderr.txt"}));
    // Without the limit all three are written.
    ASSERT_EQ(run(expand("{dir}/noisy.swf --all --scale 8 -o {dir}/frames"), &err), 0) << err;
}

} // namespace
