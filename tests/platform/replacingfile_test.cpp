// The rule of the one replace-on-success writer: permissions, what a failure
// leaves behind, exclusive creation. Each caller keeps its own failure tests.
#include "platform/ReplacingFile.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using movitest::TempDir;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 0777;
}

size_t entries(const TempDir& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                             std::filesystem::directory_iterator()));
}

struct ModeCase {
    const char* name;
    unsigned umask;
    int oldMode; // -1: no file to replace
    unsigned expected;
};

class ReplacingFileMode : public testing::TestWithParam<ModeCase> {};

TEST_P(ReplacingFileMode, KeepsTheReplacedFilesModeOrTheUsersDefault) {
    const ModeCase& c = GetParam();
    TempDir dir;
    const std::string target = dir.file("doc");
    if (c.oldMode >= 0) {
        std::ofstream(target) << "old";
        ASSERT_EQ(::chmod(target.c_str(), static_cast<mode_t>(c.oldMode)), 0);
    }
    const mode_t saved = ::umask(static_cast<mode_t>(c.umask));
    bool committed = false;
    {
        platform::ReplacingFile out(target);
        committed = out.write("new", 3) && out.commit();
    }
    ::umask(saved);
    ASSERT_TRUE(committed);
    EXPECT_EQ(readAll(target), "new");
    EXPECT_EQ(modeOf(target), c.expected);
    EXPECT_EQ(entries(dir), 1u);
}

INSTANTIATE_TEST_SUITE_P(Rule, ReplacingFileMode,
                         testing::Values(ModeCase{"NewFileUsualUmask", 022, -1, 0644},
                                         ModeCase{"NewFilePrivateUmask", 077, -1, 0600},
                                         ModeCase{"ReplacedExecutableKeepsItsBits", 022, 0750,
                                                  0750}),
                         [](const auto& info) { return std::string(info.param.name); });

// A write beyond the file-size limit (SIGXFSZ ignored, as the commands do)
// fails with EFBIG like any write error.
TEST(ReplacingFile, AFailedWriteKeepsTheOldFileAndLeavesNothing) {
    TempDir dir;
    const std::string target = dir.file("doc");
    std::ofstream(target) << "old";
    const std::string big(1 << 20, 'x');
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool wrote = false, committed = true;
    int error = 0;
    {
        platform::ReplacingFile out(target);
        wrote = out.write(big.data(), big.size());
        committed = out.commit();
        error = out.error();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(wrote);
    EXPECT_FALSE(committed);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(readAll(target), "old");
    EXPECT_EQ(entries(dir), 1u);
}

// Saving through a link, as editors do: the linked file gets the new bytes,
// atomically beside itself, and both links stay links. The second link is
// relative to its own folder.
TEST(ReplacingFile, ALinkedTargetStaysALinkAndItsFileIsReplaced) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "real");
    const std::string file = dir.file("real/doc");
    std::ofstream(file) << "old";
    ASSERT_EQ(::symlink("real/doc", dir.file("inner").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("inner").c_str(), dir.file("outer").c_str()), 0);
    {
        platform::ReplacingFile out(dir.file("outer"));
        ASSERT_TRUE(out.write("new", 3));
        ASSERT_TRUE(out.commit());
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("outer")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("inner")));
    EXPECT_EQ(readAll(file), "new");
    EXPECT_EQ(entries(dir), 3u); // real/, inner, outer: nothing left beside them
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "real"),
                            std::filesystem::directory_iterator()),
              1);
}

// The primitive of every private file: never through something already there.
TEST(CreateFreshFile, RefusesAnyExistingNameEvenADanglingLink) {
    TempDir dir;
    const std::string link = dir.file("link");
    ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), link.c_str()), 0);
    errno = 0;
    EXPECT_EQ(platform::CreateFreshFile(link, 0600), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "elsewhere"));

    const int fd = platform::CreateFreshFile(dir.file("fresh"), 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(modeOf(dir.file("fresh")), 0600u);
}

} // namespace
