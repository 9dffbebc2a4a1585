#include "platform/PreviewFolder.h"

#include "platform/SystemServices.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace platform {
namespace {

// Whether a file can be created in `dir` (ending in '/'): tried for real,
// since permissions alone miss read-only file systems and the like.
bool canCreateIn(const std::string& dir) {
    std::string probe = dir + ".moviloomster-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

// Makes `dir` and the folders above it that are missing (private to the
// user, as cache folders are); true when it is a folder afterwards.
bool makeFolders(const std::string& dir) {
    struct stat st {};
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string part = dir.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST &&
            !(stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
            return false;
        if (slash == std::string::npos) break;
    }
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The user's cache folder without its final '/': $XDG_CACHE_HOME when it is
// an absolute path, else ~/.cache; empty when neither is known.
std::string userCacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.cache";
    return {};
}

// "moviloomster-<uid>" in the temporary folder, made private to the user; a
// folder of that name that is someone else's or a link is not used.
std::string privateTempFolder() {
    const std::string dir = TempFolder() + "moviloomster-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
        return TempFolder();
    return dir + "/";
}

} // namespace

std::string PreviewFolder(const std::string& programDir) {
    if (!programDir.empty() && canCreateIn(programDir)) return programDir;
    const std::string cache = userCacheFolder();
    if (!cache.empty()) {
        const std::string dir = cache + "/moviloomster";
        if (makeFolders(dir) && canCreateIn(dir + "/")) return dir + "/";
    }
    return privateTempFolder();
}

std::string ProcessOwnName(const std::string& stem, const std::string& extension) {
    return stem + "-" + std::to_string(getpid()) + extension;
}

void RemoveNamesOfEndedProcesses(const std::string& folder, const std::string& stem) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return;
    const std::string prefix = stem + "-";
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        // The digits up to the extension's dot, nothing else.
        const size_t dot = name.find('.', prefix.size());
        const std::string digits = name.substr(prefix.size(), dot - prefix.size());
        if (dot == std::string::npos || digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(digits));
        // EPERM: running, as someone else; another user's files are not ours.
        if (pid <= 0 || pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH) continue;
        const std::string path = folder + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == getuid())
            unlink(path.c_str());
    }
}

} // namespace platform
