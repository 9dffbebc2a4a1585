#include "editor/recovery/RecoveryStore.h"

#include "platform/ReplacingFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const CopyExt = ".fmo";
const char* const PathExt = ".path";
const char* const LockExt = ".lock";

int64_t modifiedTime(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : 0;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool writeWhole(const std::string& path, const std::string& bytes) {
    platform::ReplacingFile out(path);
    return out.file() && out.write(bytes.data(), bytes.size()) && out.commit();
}

// Whether a running editor holds the lock file: the kernel keeps its lock
// exactly as long as that process lives.
bool lockHeld(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // also drops the lock taken just now
    return held;
}

void makeFolder(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    // Copies of the user's work are the user's alone.
    ::chmod(folder.c_str(), 0700);
}

} // namespace

std::string RecoveryStore::DefaultFolder() {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.local/state";
    }
    return base + "/moviloomster/recovery";
}

RecoveryStore::RecoveryStore(std::string folder) : m_folder(std::move(folder)) {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    static std::atomic<int> stores{0};
    m_id = "copy-" + std::to_string(::getpid()) + "-" + std::to_string(now) + "-" +
           std::to_string(stores++);
    m_thread = std::thread([this] { run(); });
}

RecoveryStore::~RecoveryStore() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_lockFd >= 0) {
        ::unlink(file(m_id, LockExt).c_str());
        ::close(m_lockFd);
    }
}

std::string RecoveryStore::file(const std::string& id, const char* ext) const {
    return m_folder + "/" + id + ext;
}

std::string RecoveryStore::copyPath() const {
    return file(m_id, CopyExt);
}

bool RecoveryStore::ensureLocked() {
    if (m_lockFd >= 0) return true;
    makeFolder(m_folder);
    const std::string path = file(m_id, LockExt);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::write(fd, pid.data(), pid.size()) < 0) {
        // The lock itself is what counts; the process id is for people.
    }
    m_lockFd = fd;
    return true;
}

void RecoveryStore::setProjectPath(const std::string& projectPath) {
    const std::lock_guard lock(m_mutex);
    m_projectPath = projectPath;
}

void RecoveryStore::save(std::unique_ptr<ProjectSnapshot> snapshot) {
    ensureLocked();
    {
        const std::lock_guard lock(m_mutex);
        m_pending = std::move(snapshot);
        m_pendingProject = m_projectPath;
    }
    m_wake.notify_all();
}

bool RecoveryStore::flush() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_pending && !m_writing; });
    return m_lastOk;
}

void RecoveryStore::discard() {
    std::unique_ptr<ProjectSnapshot> dropped;
    {
        std::unique_lock lock(m_mutex);
        dropped = std::move(m_pending);
        m_idle.wait(lock, [this] { return !m_writing; });
    }
    ::unlink(copyPath().c_str());
    ::unlink(file(m_id, PathExt).c_str());
}

bool RecoveryStore::hasCopy() const {
    return ::access(copyPath().c_str(), F_OK) == 0;
}

void RecoveryStore::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_pending; });
        if (!m_pending) return; // stopping with nothing left to write
        std::unique_ptr<ProjectSnapshot> snapshot = std::move(m_pending);
        const std::string project = m_pendingProject;
        m_writing = true;
        lock.unlock();
        // The project's path first: a copy is never without it.
        bool ok = writeWhole(file(m_id, PathExt), project);
        ok = ok && WriteProjectSnapshot(*snapshot, copyPath());
        snapshot.reset(); // releases the shared pictures off the window's thread
        lock.lock();
        m_writing = false;
        m_lastOk = ok;
        if (!m_pending) m_idle.notify_all();
    }
}

std::optional<RecoveryStore::Orphan>
RecoveryStore::findOrphan(const std::string& projectPath) const {
    std::optional<Orphan> best;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_folder, ec)) {
        const fs::path& p = entry.path();
        if (p.extension() != CopyExt || !entry.is_regular_file(ec)) continue;
        const std::string id = p.stem().string();
        if (id == m_id || lockHeld(file(id, LockExt))) continue;
        Orphan orphan{id, readWhole(file(id, PathExt)), modifiedTime(p.string())};
        if (orphan.projectPath != projectPath) continue;
        if (!best || orphan.modified > best->modified) best = orphan;
    }
    return best;
}

std::string RecoveryStore::readOrphan(const Orphan& orphan) const {
    return readWhole(file(orphan.id, CopyExt));
}

void RecoveryStore::adopt(const Orphan& orphan) {
    if (!ensureLocked()) return;
    flush();
    std::string project;
    {
        const std::lock_guard lock(m_mutex);
        project = m_projectPath;
    }
    if (::rename(file(orphan.id, CopyExt).c_str(), copyPath().c_str()) != 0) return;
    writeWhole(file(m_id, PathExt), project);
    ::unlink(file(orphan.id, PathExt).c_str());
    ::unlink(file(orphan.id, LockExt).c_str());
}

void RecoveryStore::decline(const Orphan& orphan) {
    const std::string old = m_folder + "/old";
    makeFolder(old);
    ::rename(file(orphan.id, CopyExt).c_str(), (old + "/" + orphan.id + CopyExt).c_str());
    ::rename(file(orphan.id, PathExt).c_str(), (old + "/" + orphan.id + PathExt).c_str());
    ::unlink(file(orphan.id, LockExt).c_str());
    expireOld();
}

void RecoveryStore::expireOld(int64_t maxAgeSeconds) const {
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_folder + "/old", ec)) {
        const std::string path = entry.path().string();
        if (entry.is_regular_file(ec) && now - modifiedTime(path) > maxAgeSeconds)
            ::unlink(path.c_str());
    }
}
