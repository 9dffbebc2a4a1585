#include "platform/SystemServices.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

// Runs the default opener with a stand-in xdg-open first on PATH.
class ShellOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* path = std::getenv("PATH");
        m_oldPath = path ? path : "";
        setenv("PATH", (dir.path().string() + ":" + m_oldPath).c_str(), 1);
        platform::SetShellOpen({});
    }
    void TearDown() override { setenv("PATH", m_oldPath.c_str(), 1); }

    void fakeOpener(const std::string& body) {
        const std::string file = dir.file("xdg-open");
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        chmod(file.c_str(), 0755);
    }

    movitest::TempDir dir{"shell-open"};
    std::string m_oldPath;
};

TEST_F(ShellOpenTest, ReportsTheOpenersExitStatus) {
    fakeOpener("echo \"$1\" > \"$(dirname \"$0\")/asked\"; exit 0");
    EXPECT_TRUE(platform::ShellOpen("/some/page.htm"));
    std::string asked;
    std::getline(std::ifstream(dir.file("asked")), asked);
    EXPECT_EQ(asked, "/some/page.htm");

    fakeOpener("exit 3");
    EXPECT_FALSE(platform::ShellOpen("/some/page.htm"));
}

TEST_F(ShellOpenTest, AnOpenerThatStaysInTheForegroundDoesNotHoldTheCaller) {
    // The stand-in never ends on its own; the call must come back regardless.
    fakeOpener("echo $$ > \"$(dirname \"$0\")/pid\"; exec sleep 600");
    EXPECT_TRUE(platform::ShellOpen("/some/movie.swf"));
    int pid = 0;
    std::ifstream(dir.file("pid")) >> pid;
    ASSERT_GT(pid, 0);
    kill(pid, SIGKILL);
}

} // namespace
