#pragma once

#include "TagCode.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

// Bit-level output stream of the SWF writer. Bit fields are packed most
// significant bit first; multi-byte values are little-endian. Large outside
// blocks (JPEG data) are not copied: they are referenced and spliced into the
// output only when the stream is written to a file.
class FSWFStream {
public:
    FSWFStream();

    FSWFStream(const FSWFStream&) = delete;
    FSWFStream& operator=(const FSWFStream&) = delete;

    // Appends the low bitCount (0 to 32) bits of value, most significant first.
    // Higher bits are dropped, so signed values land as truncated two's complement.
    void WriteBits(std::uint32_t value, std::uint32_t bitCount);
    // Makes room for at least `bytes` bytes in the buffer.
    void Reserve(std::size_t bytes) { m_buffer.reserve(bytes); }
    // Empties the stream, keeping its buffer's capacity, so that one stream can
    // serve as the scratch body of many small tags.
    void Clear();
    // Pads the pending byte with zero bits; does nothing when no bits are pending.
    void FlushBits();
    // The byte writers do not align first: callers flush where the format needs it.
    void WriteByte(std::uint32_t value);
    void WriteWord(std::uint32_t value);
    void WriteDWord(std::uint32_t value);

    // References size bytes at data, to be spliced in at the current position.
    // The block must stay valid until the stream has been written to a file.
    // Must be called on a byte boundary (a call-order violation otherwise).
    void WriteLargeData(const unsigned char* data, std::size_t size);

    // Number of bytes the stream will produce: completed bytes plus large blocks.
    std::size_t Size() const { return m_buffer.size() + m_largeSize; }
    // Completed bytes in the buffer itself (without large blocks).
    std::size_t ByteCount() const { return m_buffer.size(); }
    // Bits still free in the pending byte, 1 to 8; 8 means nothing pending.
    int FreeBits() const { return m_freeBits; }
    std::size_t LargeDataCount() const { return m_largeData.size(); }

    // Appends the bytes and large blocks of other at the current bit position;
    // other's large-block list is emptied (its blocks are spliced exactly once).
    // Pending bits of other are not copied.
    void Append(FSWFStream& other);
    // Writes a tag header (short form for length <= 62, long form otherwise) and
    // appends body when it is not null.
    void AppendTag(swf::TagCode tagCode, std::size_t length, FSWFStream* body);

    // Writes the bytes with the large blocks spliced in; empties the block list.
    // Returns false when the file reported a write error.
    bool WriteToFile(std::FILE* file);
    // The same through `put`, which takes each piece in order and returns
    // false to stop; returns whether every piece was taken.
    bool WriteTo(const std::function<bool(const unsigned char*, std::size_t)>& put);

    // The output as it would be written to a file, without consuming anything.
    std::vector<unsigned char> SplicedBytes() const;

    // First byte of the buffer (used to patch the file header in place).
    unsigned char* Data() { return m_buffer.data(); }
    const unsigned char* Data() const { return m_buffer.data(); }

private:
    struct LargeData {
        std::size_t offset; // buffer position before which the block belongs
        const unsigned char* data;
        std::size_t size;
    };

    void AppendBytes(const unsigned char* bytes, std::size_t count);

    std::vector<unsigned char> m_buffer;
    int m_freeBits = 8;
    std::uint8_t m_currentByte = 0;
    std::vector<LargeData> m_largeData;
    std::size_t m_largeSize = 0;
};
