#include "export/ExportSink.h"

#include <cerrno>
#include <cstring>

namespace movie_export {

bool MemorySink::write(const void* data, std::size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
    return true;
}

bool MemorySink::patch(uint64_t offset, const void* data, std::size_t size) {
    if (offset > bytes.size() || size > bytes.size() - offset) return false;
    std::memcpy(bytes.data() + offset, data, size);
    return true;
}

bool FileSink::write(const void* data, std::size_t size) {
    if (!m_file.write(data, size)) return false;
    m_size += size;
    return true;
}

bool FileSink::patch(uint64_t offset, const void* data, std::size_t size) {
    std::FILE* file = m_file.file();
    if (!file || m_file.error() != 0 || offset > m_size || size > m_size - offset) return false;
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    const bool written = m_file.write(data, size);
    return fseeko(file, 0, SEEK_END) == 0 && written;
}

} // namespace movie_export
