#include "platform/SystemServices.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>

extern char** environ;

namespace platform {
namespace {

std::string g_tempFolder;
ShellOpenFn g_shellOpen;

std::string withSlash(std::string s) {
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

// Hands the path to xdg-open in a child that is not waited for beyond its
// own start (xdg-open returns once the viewer was launched).
bool xdgOpen(const std::string& path) {
    pid_t pid;
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
