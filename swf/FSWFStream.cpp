#include "FSWFStream.h"

#include "FAssert.h"

FSWFStream::FSWFStream() {
    m_buffer.reserve(1024);
}

void FSWFStream::WriteBits(std::uint32_t value, std::uint32_t bitCount) {
    if (bitCount == 0) return;
    if (bitCount > 32) bitCount = 32;
    if (bitCount < 32) value &= (std::uint32_t(1) << bitCount) - 1;
    // Pending bits sit at the top of m_currentByte; gather them and the new
    // field into one accumulator and emit every completed byte.
    const std::uint32_t used = 8 - m_freeBits;
    std::uint64_t acc = (std::uint64_t(m_currentByte) >> m_freeBits);
    acc = (acc << bitCount) | value;
    std::uint32_t total = used + bitCount;
    while (total >= 8) {
        total -= 8;
        m_buffer.push_back(static_cast<unsigned char>(acc >> total));
    }
    m_freeBits = 8 - static_cast<int>(total);
    m_currentByte =
        static_cast<std::uint8_t>((acc & ((std::uint64_t(1) << total) - 1)) << m_freeBits);
}

void FSWFStream::Clear() {
    m_buffer.clear();
    m_freeBits = 8;
    m_currentByte = 0;
    m_largeData.clear();
    m_largeSize = 0;
}

void FSWFStream::FlushBits() {
    if (m_freeBits == 8) return;
    m_buffer.push_back(m_currentByte);
    m_currentByte = 0;
    m_freeBits = 8;
}

void FSWFStream::WriteByte(std::uint32_t value) {
    if (m_freeBits == 8)
        m_buffer.push_back(static_cast<unsigned char>(value));
    else
        WriteBits(value & 0xFF, 8);
}

void FSWFStream::WriteWord(std::uint32_t value) {
    if (m_freeBits == 8) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(value),
                                        static_cast<unsigned char>(value >> 8)};
        m_buffer.insert(m_buffer.end(), bytes, bytes + 2);
    } else {
        WriteBits(value & 0xFF, 8);
        WriteBits((value >> 8) & 0xFF, 8);
    }
}

void FSWFStream::WriteDWord(std::uint32_t value) {
    if (m_freeBits == 8) {
        const unsigned char bytes[4] = {
            static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
        m_buffer.insert(m_buffer.end(), bytes, bytes + 4);
    } else {
        for (int shift = 0; shift < 32; shift += 8)
            WriteBits((value >> shift) & 0xFF, 8);
    }
}

void FSWFStream::WriteLargeData(const unsigned char* data, std::size_t size) {
    // A block spliced in front of a half-filled byte would reorder the output.
    F_ASSERT("FSWFStream", m_freeBits == 8);
    m_largeData.push_back({m_buffer.size(), data, size});
    m_largeSize += size;
}

void FSWFStream::AppendBytes(const unsigned char* bytes, std::size_t count) {
    if (count == 0) return;
    if (m_freeBits == 8) {
        m_buffer.insert(m_buffer.end(), bytes, bytes + count);
    } else {
        for (std::size_t i = 0; i < count; ++i)
            WriteBits(bytes[i], 8);
    }
}

void FSWFStream::Append(FSWFStream& other) {
    if (&other == this) return;
    std::size_t i = 0;
    for (const LargeData& entry : other.m_largeData) {
        AppendBytes(other.m_buffer.data() + i, entry.offset - i);
        WriteLargeData(entry.data, entry.size);
        i = entry.offset;
    }
    other.m_largeData.clear();
    other.m_largeSize = 0;
    AppendBytes(other.m_buffer.data() + i, other.m_buffer.size() - i);
}

void FSWFStream::AppendTag(swf::TagCode tagCode, std::size_t length, FSWFStream* body) {
    if (length <= 62) {
        WriteWord(std::uint32_t(tagCode) * 64 + static_cast<std::uint32_t>(length));
    } else {
        WriteWord(std::uint32_t(tagCode) * 64 + 63);
        WriteDWord(static_cast<std::uint32_t>(length));
    }
    if (body) Append(*body);
}

bool FSWFStream::WriteToFile(std::FILE* file) {
    return WriteTo([file](const unsigned char* data, std::size_t count) {
        return std::fwrite(data, 1, count, file) == count;
    });
}

bool FSWFStream::WriteTo(const std::function<bool(const unsigned char*, std::size_t)>& put) {
    bool ok = true;
    auto piece = [&](const unsigned char* data, std::size_t count) {
        if (ok && count > 0 && !put(data, count)) ok = false;
    };
    std::size_t i = 0;
    for (const LargeData& entry : m_largeData) {
        if (entry.offset > i) piece(m_buffer.data() + i, entry.offset - i);
        piece(entry.data, entry.size);
        i = entry.offset;
    }
    m_largeData.clear();
    m_largeSize = 0;
    piece(m_buffer.data() + i, m_buffer.size() - i);
    return ok;
}

std::vector<unsigned char> FSWFStream::SplicedBytes() const {
    std::vector<unsigned char> out;
    out.reserve(Size());
    std::size_t i = 0;
    for (const LargeData& entry : m_largeData) {
        out.insert(out.end(), m_buffer.begin() + static_cast<std::ptrdiff_t>(i),
                   m_buffer.begin() + static_cast<std::ptrdiff_t>(entry.offset));
        out.insert(out.end(), entry.data, entry.data + entry.size);
        i = entry.offset;
    }
    out.insert(out.end(), m_buffer.begin() + static_cast<std::ptrdiff_t>(i), m_buffer.end());
    return out;
}
