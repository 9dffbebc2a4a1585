#pragma once
// Where an encoder's bytes go. A file is written through the replace-on-success
// writer, so the old file stays until the export succeeded; tests write into
// memory. Sizes that are only known at the end (a frame count, a container's
// length) are patched into bytes already written.

#include "platform/ReplacingFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace movie_export {

class ExportSink {
public:
    virtual ~ExportSink() = default;
    // Appends `size` bytes; false once any write has failed.
    virtual bool write(const void* data, std::size_t size) = 0;
    // Bytes appended so far.
    virtual uint64_t position() const = 0;
    // Overwrites bytes already written at `offset`; appending goes on after
    // the last byte as before.
    virtual bool patch(uint64_t offset, const void* data, std::size_t size) = 0;
};

// The bytes in memory (tests, and encoders that assemble a whole file).
class MemorySink final : public ExportSink {
public:
    bool write(const void* data, std::size_t size) override;
    uint64_t position() const override { return bytes.size(); }
    bool patch(uint64_t offset, const void* data, std::size_t size) override;

    std::vector<uint8_t> bytes;
};

// A fresh file beside `path` that replaces it on commit(); without a commit
// (a failure, a cancel, an exception) nothing is left behind.
class FileSink final : public ExportSink {
public:
    explicit FileSink(const std::string& path) : m_file(path) {}

    // Whether the fresh file could be created.
    bool isOpen() const { return m_file.file() != nullptr; }
    bool write(const void* data, std::size_t size) override;
    uint64_t position() const override { return m_size; }
    bool patch(uint64_t offset, const void* data, std::size_t size) override;
    bool commit() { return m_file.commit(); }
    void abandon() { m_file.abandon(); }
    // The system's error number of the first step that failed (0 when none).
    int error() const { return m_file.error(); }

private:
    platform::ReplacingFile m_file;
    uint64_t m_size = 0;
};

} // namespace movie_export
