// The desktop's "open" through a stand-in xdg-open first on PATH: the caller
// never waits for it, and its failure is reported from the event loop.
#include "common/QtTestApplication.h"

#include "app/widgets/DesktopOpen.h"

#include <QTest>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace {

class DesktopOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* path = std::getenv("PATH");
        m_oldPath = path ? path : "";
        setenv("PATH", (dir.path().string() + ":" + m_oldPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", m_oldPath.c_str(), 1); }

    void fakeOpener(const std::string& body) {
        const std::string file = dir.file("xdg-open");
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        chmod(file.c_str(), 0755);
    }
    // Opens `path`; the answer is known once the event loop has delivered it.
    void open(const std::string& path) {
        answer.reset();
        StartDesktopOpen(path, [this](bool handedOver) { answer = handedOver; });
        EXPECT_FALSE(answer.has_value()) << "answered from the event loop, not during the call";
    }
    bool answered() {
        return QTest::qWaitFor([&] { return answer.has_value(); }, 20000);
    }

    movitest::TempDir dir{"desktop-open"};
    std::string m_oldPath;
    std::optional<bool> answer;
};

TEST_F(DesktopOpenTest, ReportsTheOpenersExitStatus) {
    fakeOpener("echo \"$1\" > \"$(dirname \"$0\")/asked\"; exit 0");
    open("/some/ページ.htm");
    ASSERT_TRUE(answered());
    EXPECT_TRUE(*answer);
    std::string asked;
    std::getline(std::ifstream(dir.file("asked")), asked);
    EXPECT_EQ(asked, "/some/ページ.htm");

    fakeOpener("exit 3"); // xdg-open: a file that is not there
    open("/some/page.htm");
    ASSERT_TRUE(answered());
    EXPECT_FALSE(*answer);

    unlink(dir.file("xdg-open").c_str());
    setenv("PATH", dir.path().c_str(), 1); // no opener at all
    open("/some/page.htm");
    ASSERT_TRUE(answered());
    EXPECT_FALSE(*answer);
}

TEST_F(DesktopOpenTest, AnOpenerThatStaysInTheForegroundDoesNotHoldTheCaller) {
    // The stand-in never ends on its own; closing what it runs is no failure.
    fakeOpener("echo $$ > \"$(dirname \"$0\")/pid\"; exec sleep 600");
    open("/some/movie.swf");
    int pid = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return static_cast<bool>(std::ifstream(dir.file("pid")) >> pid); }, 20000));
    kill(pid, SIGKILL);
    ASSERT_TRUE(answered());
    EXPECT_TRUE(*answer);
}

} // namespace
