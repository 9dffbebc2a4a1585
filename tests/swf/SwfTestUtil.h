#pragma once

#include "FSWFStream.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// Everything the object writes into a fresh stream, flushed.
template <class T> Bytes WrittenBytes(T& object) {
    FSWFStream stream;
    object.WriteToSWFStream(&stream);
    stream.FlushBits();
    return stream.SplicedBytes();
}

inline Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads bit fields most significant bit first, the way a player does.
class BitReader {
public:
    explicit BitReader(const Bytes& bytes, std::size_t start = 0)
        : m_bytes(bytes), m_bit(start * 8) {}

    std::uint32_t U(int count) {
        std::uint32_t v = 0;
        for (int i = 0; i < count; ++i, ++m_bit) {
            const unsigned byte = m_bytes.at(m_bit / 8);
            v = (v << 1) | ((byte >> (7 - m_bit % 8)) & 1u);
        }
        return v;
    }
    std::int32_t S(int count) {
        const std::uint32_t v = U(count);
        if (count == 0 || count == 32) return static_cast<std::int32_t>(v);
        const std::uint32_t sign = std::uint32_t(1) << (count - 1);
        return static_cast<std::int32_t>((v ^ sign) - sign);
    }
    void Align() { m_bit = (m_bit + 7) / 8 * 8; }
    std::size_t BytePos() const { return m_bit / 8; }
    std::uint32_t Word() {
        Align();
        const std::uint32_t lo = U(8);
        return lo | (U(8) << 8);
    }
    std::uint32_t DWord() {
        const std::uint32_t lo = Word();
        return lo | (Word() << 16);
    }

private:
    const Bytes& m_bytes;
    std::size_t m_bit;
};

using TempDir = movitest::TempDir;

// The independent reader check runs the movie tests with SWF_READER_CHECK_DIR
// set; every movie a test writes is then copied there to be parsed as well.
inline void KeepMovieForReaderCheck(const std::filesystem::path& movie) {
    const char* folder = std::getenv("SWF_READER_CHECK_DIR");
    if (!folder || !*folder) return;
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name =
        std::string(test->test_suite_name()) + "." + test->name() + "." + movie.filename().string();
    for (char& c : name)
        if (c == '/') c = '_';
    std::error_code ignored;
    std::filesystem::copy_file(movie, std::filesystem::path(folder) / name,
                               std::filesystem::copy_options::overwrite_existing, ignored);
}
