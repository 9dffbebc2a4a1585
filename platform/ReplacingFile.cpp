#include "platform/ReplacingFile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

ReplacingFile::ReplacingFile(const std::string& target)
    : m_target(target), m_temp(target + ".XXXXXX") {
    const int fd = mkstemp(m_temp.data());
    if (fd < 0) {
        m_temp.clear();
        return;
    }
    m_file = fdopen(fd, "wb");
    if (!m_file) {
        close(fd);
        unlink(m_temp.c_str());
        m_temp.clear();
    }
}

ReplacingFile::~ReplacingFile() {
    if (m_file) std::fclose(m_file);
    if (!m_temp.empty()) unlink(m_temp.c_str());
}

bool ReplacingFile::commit(bool sync) {
    if (!m_file) return false;
    bool ok = std::fflush(m_file) == 0;
    ok = (!sync || fsync(fileno(m_file)) == 0) && ok;
    // mkstemp makes the file private to its owner; a document gets the usual mode.
    const mode_t mask = umask(0);
    umask(mask);
    ok = fchmod(fileno(m_file), 0666 & ~mask) == 0 && ok;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    ok = ok && std::rename(m_temp.c_str(), m_target.c_str()) == 0;
    if (ok) m_temp.clear(); // it is the target now
    return ok;
}

} // namespace platform
