#pragma once
// The one way this program replaces a file, and the one way it makes a
// private file.
//
// A ReplacingFile writes to a fresh file beside its target and puts it in the
// target's place only once every byte was written. The rule, the same for
// every document (movie, page, project, picture):
//  - the fresh file is created exclusively: never through a file or a link
//    that someone placed under its name;
//  - permissions: those of the file it replaces, or the user's default
//    (0666 less the umask) for a new file;
//  - commit() flushes, syncs the bytes to the disk, renames the file over the
//    target and syncs the folder, so that after a crash the target holds the
//    old or the new bytes, never a mixture or nothing;
//  - any failure, or no commit at all, removes the fresh file: nothing is left
//    behind but the old target, untouched;
//  - a target that is a symbolic link stays one: the file at the end of its
//    links is the one replaced, beside itself, in the same way.
// A write that fails (a full disk, a file-size limit with SIGXFSZ ignored)
// is a failure like any other.
//
// This file depends on the C++ standard library and POSIX only, so the movie
// writer and the image library link it as well.

#include <cstddef>
#include <cstdio>
#include <string>

namespace platform {

// Creates `path` exclusively for writing: fails (EEXIST) when anything,
// including a dangling link, already has the name. `mode` is reduced by the
// umask as usual. Returns the descriptor (close-on-exec) or -1 with errno set.
int CreateFreshFile(const std::string& path, unsigned mode);

class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Where to write; null when the fresh file could not be created. The
    // stream may be positioned freely (a header patched at the end).
    std::FILE* file() const { return m_file; }

    // Writes size bytes at the stream's position; false (the reason kept for
    // error()) when they could not all be written.
    bool write(const void* data, std::size_t size);

    // Makes the written bytes the target's, by the rule above. Returns false
    // (and removes the fresh file) when any step fails, including a write
    // error the stream saw before.
    bool commit();

    // Everything commit() does before the rename: flushes, syncs and closes
    // the fresh file. Returns false (and removes it) when a step fails; the
    // target is not touched either way. commit() afterwards only renames.
    bool prepare();

    // Removes the fresh file now; the target stays as it was.
    void abandon();

    // The system's error number of the first step that failed (0 when none).
    int error() const { return m_error; }

    // Puts both files in their targets' places, or neither: both are
    // prepared first, a folder in the second's place refuses both, and when
    // the second rename fails all the same the first target's old file (kept
    // under a link beside it meanwhile, where the file system has links) is
    // put back, or the first target removed when it did not exist before. On failure both
    // fresh files are gone and error() tells which one failed.
    static bool CommitTogether(ReplacingFile& first, ReplacingFile& second);

private:
    void fail(int error);
    bool rename();

    std::string m_target;
    std::string m_temp;
    std::FILE* m_file = nullptr;
    bool m_prepared = false;
    int m_error = 0;
};

} // namespace platform
