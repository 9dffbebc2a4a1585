#include "platform/SystemServices.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

extern char** environ;

namespace platform {
namespace {

std::string g_tempFolder;
ShellOpenFn g_shellOpen;

std::string withSlash(std::string s) {
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

// Hands the path to xdg-open. It normally returns as soon as the viewer runs,
// and its exit status says whether the request was handed over; but a handler
// that stays in the foreground (a terminal browser, the first instance of a
// browser) keeps it running. So it is waited for only briefly: still running
// after two seconds counts as handed over, and a detached thread reaps it.
bool xdgOpen(const std::string& path) {
    pid_t pid;
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    int status = 0;
    for (int i = 0; i < 40; ++i) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (r < 0) return false;
        usleep(50 * 1000);
    }
    std::thread([pid] {
        int s = 0;
        waitpid(pid, &s, 0);
    }).detach();
    return true;
}

} // namespace

std::string TempFolder() {
    if (!g_tempFolder.empty()) return g_tempFolder;
    const char* env = std::getenv("TMPDIR");
    return withSlash(env && *env ? env : "/tmp");
}

void SetTempFolder(const std::string& folder) {
    g_tempFolder = folder.empty() ? folder : withSlash(folder);
}

bool ShellOpen(const std::string& path) {
    return g_shellOpen ? g_shellOpen(path) : xdgOpen(path);
}

void SetShellOpen(ShellOpenFn fn) {
    g_shellOpen = std::move(fn);
}

ShellOpenFn CurrentShellOpen() {
    return g_shellOpen ? g_shellOpen : ShellOpenFn(xdgOpen);
}

} // namespace platform
