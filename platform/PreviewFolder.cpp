#include "platform/PreviewFolder.h"

#include "platform/SystemServices.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

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

// "moviloomster-<uid>" in the temporary folder, made private to the user; a
// folder of that name that is someone else's or a link is not used.
std::string privateTempFolder() {
    const std::string dir = platform::TempFolder() + "moviloomster-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
        return platform::TempFolder();
    return dir + "/";
}

} // namespace

std::string PreviewFolder(const std::string& programDir) {
    if (!programDir.empty() && canCreateIn(programDir)) return programDir;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty()) {
        const QString dir = cache + QStringLiteral("/moviloomster");
        if (QDir().mkpath(dir)) {
            const std::string folder = QFile::encodeName(dir).toStdString() + "/";
            if (canCreateIn(folder)) return folder;
        }
    }
    return privateTempFolder();
}
