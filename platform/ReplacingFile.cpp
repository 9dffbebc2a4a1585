#include "platform/ReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace platform {

int CreateFreshFile(const std::string& path, unsigned mode) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  static_cast<mode_t>(mode));
}

namespace {

// Syncs the folder that holds `path`, so that a rename in it is on the disk.
// Best effort: the file is in place already and cannot be taken back.
void syncFolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

// The file a chain of symbolic links ends at (the path itself when it is no
// link, or when the chain is too long to follow). A relative link is read
// from the folder of the link.
std::string followLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::string link(4096, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n <= 0 || std::size_t(n) >= link.size()) return current;
        link.resize(std::size_t(n));
        if (link[0] != '/') {
            const std::size_t slash = current.find_last_of('/');
            if (slash != std::string::npos) link = current.substr(0, slash + 1) + link;
        }
        current = link;
    }
    return path;
}

} // namespace

// A target that is a symbolic link keeps being one: the file it points to
// is replaced, beside itself, so that editors and other programs that save
// through links see the same.
ReplacingFile::ReplacingFile(const std::string& target) : m_target(followLinks(target)) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::minstd_rand random(seed());
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        m_temp = m_target + ".";
        for (int i = 0; i < 6; ++i)
            m_temp += letters[random() % (sizeof letters - 1)];
        fd = CreateFreshFile(m_temp, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        m_error = errno;
        m_temp.clear();
        return;
    }
    m_file = ::fdopen(fd, "wb");
    if (!m_file) {
        m_error = errno;
        ::close(fd);
        ::unlink(m_temp.c_str());
        m_temp.clear();
        return;
    }
    // Large writes (a movie) go out in big pieces.
    std::setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
}

ReplacingFile::~ReplacingFile() {
    abandon();
}

void ReplacingFile::fail(int error) {
    if (m_error == 0) m_error = error != 0 ? error : EIO;
}

bool ReplacingFile::write(const void* data, std::size_t size) {
    if (!m_file || m_error != 0) return false;
    if (size == 0) return true;
    errno = 0;
    if (std::fwrite(data, 1, size, m_file) == size) return true;
    fail(errno);
    return false;
}

void ReplacingFile::abandon() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
    m_temp.clear();
    m_prepared = false;
}

bool ReplacingFile::prepare() {
    if (m_prepared) return true;
    if (!m_file) {
        fail(EBADF);
        abandon();
        return false;
    }
    const int fd = fileno(m_file);
    errno = 0;
    if (std::ferror(m_file)) fail(errno);
    if (std::fflush(m_file) != 0) fail(errno);
    if (m_error == 0 && ::fsync(fd) != 0) fail(errno);
    // The permissions of the file being replaced; a new file keeps the
    // umask's default it was created with.
    struct stat old {};
    if (m_error == 0 && ::stat(m_target.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::fchmod(fd, old.st_mode & 0777) != 0)
        fail(errno);
    if (std::fclose(m_file) != 0) fail(errno);
    m_file = nullptr;
    if (m_error != 0) {
        abandon();
        return false;
    }
    m_prepared = true;
    return true;
}

bool ReplacingFile::rename() {
    if (std::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        fail(errno);
        abandon();
        return false;
    }
    m_temp.clear(); // it is the target now
    return true;
}

bool ReplacingFile::commit() {
    if (!prepare() || !rename()) return false;
    syncFolderOf(m_target);
    return true;
}

bool ReplacingFile::CommitTogether(ReplacingFile& first, ReplacingFile& second) {
    const auto giveUp = [&] {
        first.abandon();
        second.abandon();
        return false;
    };
    if (!first.prepare() || !second.prepare()) return giveUp();
    // A folder in the second's place is the one refusal known in advance.
    struct stat st {};
    if (::stat(second.m_target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        second.fail(EISDIR);
        return giveUp();
    }
    // The first target's old file stays reachable under a fresh name until
    // the second is in place.
    std::string kept;
    const bool existed = ::lstat(first.m_target.c_str(), &st) == 0;
    if (existed && S_ISREG(st.st_mode)) {
        std::random_device seed;
        std::minstd_rand random(seed());
        for (int attempt = 0; attempt < 100 && kept.empty(); ++attempt) {
            std::string name = first.m_target + ".old" + std::to_string(random() % 1000000);
            if (::link(first.m_target.c_str(), name.c_str()) == 0)
                kept = std::move(name);
            else if (errno != EEXIST)
                break;
        }
    }
    const auto dropKept = [&] {
        if (!kept.empty()) ::unlink(kept.c_str());
    };
    if (!first.rename()) {
        dropKept();
        return giveUp();
    }
    if (!second.rename()) {
        if (!kept.empty())
            (void)std::rename(kept.c_str(), first.m_target.c_str());
        else if (!existed)
            ::unlink(first.m_target.c_str());
        syncFolderOf(first.m_target);
        return giveUp();
    }
    dropKept();
    syncFolderOf(first.m_target);
    syncFolderOf(second.m_target);
    return true;
}

} // namespace platform
