#pragma once
// Work that survives a crash: while a project has unsaved changes, a copy of
// it in the project format is kept in the recovery folder
// ($XDG_STATE_HOME/moviloomster/recovery/, by default
// ~/.local/state/moviloomster/recovery/). Copies are written from a snapshot
// on a thread of their own, so the window never waits for the disk.
//
// Each running editor keeps its own copy, "<id>.fmo", beside "<id>.path"
// (the project's path; empty for an unnamed project) and "<id>.lock", which
// holds the editor's process id and an exclusive lock for as long as the
// editor runs. The kernel drops the lock when the process ends in any way, so
// a copy whose lock can be taken belongs to no running editor and may be
// offered at the next start. Declined copies go to "old/", where copies older
// than 14 days are deleted.

#include "editor/model/ProjectFile.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class RecoveryStore {
public:
    // $XDG_STATE_HOME/moviloomster/recovery, or ~/.local/state/... when unset.
    static std::string DefaultFolder();

    explicit RecoveryStore(std::string folder);
    // Waits for a write in progress and gives up the lock; the copy stays.
    ~RecoveryStore();
    RecoveryStore(const RecoveryStore&) = delete;
    RecoveryStore& operator=(const RecoveryStore&) = delete;

    const std::string& folder() const { return m_folder; }
    // This editor's copy (whether written yet or not).
    std::string copyPath() const;

    // The project the copy stands for (empty: unnamed).
    void setProjectPath(const std::string& projectPath);
    // Hands a snapshot to the writer thread and returns at once. A snapshot
    // still waiting is replaced by the newer one.
    void save(std::unique_ptr<ProjectSnapshot> snapshot);
    // Waits until every handed snapshot is written. Returns whether the last
    // write succeeded.
    bool flush();
    // Removes this editor's copy (after a save, or once the project is as
    // saved again). A waiting snapshot is dropped.
    void discard();
    // Whether this editor's copy exists on disk.
    bool hasCopy() const;

    // A copy left by an editor that no longer runs.
    struct Orphan {
        std::string id;          // its name in the folder, without extension
        std::string projectPath; // the project it stands for; empty: unnamed
        int64_t modified = 0;    // when it was last written, seconds since 1970
    };
    // The newest orphaned copy for `projectPath` (empty: an unnamed project).
    std::optional<Orphan> findOrphan(const std::string& projectPath) const;
    // The bytes of an orphaned copy; empty when it cannot be read.
    std::string readOrphan(const Orphan& orphan) const;
    // Makes an orphaned copy this editor's own (after it was loaded), so it
    // is kept until the project is saved.
    void adopt(const Orphan& orphan);
    // Moves an orphaned copy to old/ and deletes copies there older than 14 days.
    void decline(const Orphan& orphan);
    // Deletes copies in old/ older than `maxAgeSeconds` (14 days by default).
    void expireOld(int64_t maxAgeSeconds = 14 * 24 * 3600) const;

private:
    bool ensureLocked();
    void run();
    std::string file(const std::string& id, const char* ext) const;

    std::string m_folder;
    std::string m_id;
    std::string m_projectPath;
    int m_lockFd = -1;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::unique_ptr<ProjectSnapshot> m_pending;
    std::string m_pendingProject;
    bool m_writing = false;
    bool m_stop = false;
    bool m_lastOk = true;
    std::thread m_thread;
};
