#pragma once
// A file that replaces its target only once it was written completely. The
// bytes go to a fresh file beside the target, created exclusively; commit()
// flushes and closes it, gives it the mode a new file would have and renames
// it over the target. Without a successful commit the fresh file is removed
// and the target stays as it was.

#include <cstdio>
#include <string>

namespace platform {

class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Where to write; null when the fresh file could not be created.
    std::FILE* file() const { return m_file; }

    // Makes the written bytes the target's; with `sync` they are on the disk
    // before the rename. Returns false (and removes the fresh file) when any
    // step fails.
    bool commit(bool sync);

private:
    std::string m_target;
    std::string m_temp;
    std::FILE* m_file = nullptr;
};

} // namespace platform
