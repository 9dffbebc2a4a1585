#include "FObjCollection.h"

#include "FPrimitive.h"
#include "FSWFStream.h"
#include "platform/ReplacingFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

namespace {
// The frame rectangle keeps at least the classic 16-bit fields; wider frames
// get the width they need (at most what the 5-bit width field can announce).
int FrameRectWidth(std::int32_t frameWidth, std::int32_t frameHeight) {
    const std::int32_t w = ClampToSignedWidth(frameWidth, kMaxWidth5);
    const std::int32_t h = ClampToSignedWidth(frameHeight, kMaxWidth5);
    return std::max(16, MinBits(MaxAbs(w, h, 0, 0), 1));
}
} // namespace

void FObjCollection::AddFObj(std::unique_ptr<FObj> object) {
    if (!object) return;
    if (object->IsShowFrame()) ++m_frameCount;
    m_objects.push_back(std::move(object));
}

std::size_t FObjCollection::FileHeaderSize(std::int32_t frameWidth, std::int32_t frameHeight) {
    const int width = FrameRectWidth(frameWidth, frameHeight);
    const std::size_t rectBytes = static_cast<std::size_t>((5 + 4 * width + 7) / 8);
    return 8 + rectBytes + 4;
}

void FObjCollection::WriteObjects(FSWFStream& stream) {
    for (auto& object : m_objects)
        object->WriteToSWFStream(&stream);
}

void FObjCollection::WriteEndTag(FSWFStream& stream) {
    stream.AppendTag(swf::End, 0, nullptr);
}

void FObjCollection::WriteFileHeader(unsigned char* data, std::size_t fileSize,
                                     std::int32_t frameWidth, std::int32_t frameHeight,
                                     int frameRate) const {
    FSWFStream header;
    header.WriteByte('F');
    header.WriteByte('W');
    header.WriteByte('S');
    header.WriteByte(4);
    header.WriteDWord(static_cast<std::uint32_t>(fileSize));
    const int width = FrameRectWidth(frameWidth, frameHeight);
    header.WriteBits(static_cast<std::uint32_t>(width), 5);
    header.WriteBits(0, static_cast<std::uint32_t>(width));
    header.WriteBits(static_cast<std::uint32_t>(ClampToSignedWidth(frameWidth, kMaxWidth5)),
                     static_cast<std::uint32_t>(width));
    header.WriteBits(0, static_cast<std::uint32_t>(width));
    header.WriteBits(static_cast<std::uint32_t>(ClampToSignedWidth(frameHeight, kMaxWidth5)),
                     static_cast<std::uint32_t>(width));
    header.FlushBits();
    header.WriteByte(0); // frame rate fraction (8.8 fixed point)
    header.WriteByte(static_cast<std::uint32_t>(std::clamp(frameRate, 0, 255)));
    // The field holds 16 bits; a longer movie announces the largest count.
    header.WriteWord(static_cast<std::uint32_t>(std::clamp(m_frameCount, 0, 0xFFFF)));
    std::memcpy(data, header.Data(), header.ByteCount());
}

void FObjCollection::WriteMovie(FSWFStream& stream, std::int32_t frameWidth,
                                std::int32_t frameHeight, int frameRate) {
    // Most tags of a movie are a few bytes long; room for 16 a tag saves the
    // buffer's repeated growth for all but movies of large definitions.
    stream.Reserve(stream.ByteCount() + 32 + m_objects.size() * 16);
    const std::size_t headerStart = stream.ByteCount();
    const std::size_t headerSize = FileHeaderSize(frameWidth, frameHeight);
    for (std::size_t i = 0; i < headerSize; ++i)
        stream.WriteByte(0);
    WriteObjects(stream);
    WriteEndTag(stream);
    WriteFileHeader(stream.Data() + headerStart, stream.Size(), frameWidth, frameHeight, frameRate);
    ResetCharacterID();
}

FObjCollection::FObjCollection() = default;

FObjCollection::~FObjCollection() = default;

bool FObjCollection::fail(WriteFailure failure, int systemError) {
    m_failure = failure;
    m_systemError = systemError;
    AbandonMovie();
    return false;
}

bool FObjCollection::BeginMovie(const std::filesystem::path& fileName, std::int32_t frameWidth,
                                std::int32_t frameHeight, int frameRate) {
    AbandonMovie();
    m_failure = WriteFailure::None;
    m_systemError = 0;
    auto file = std::make_unique<platform::ReplacingFile>(fileName.string());
    if (!file->file()) {
        m_failure = WriteFailure::Create;
        m_systemError = file->error();
        return false;
    }
    m_file = std::move(file);
    m_frameWidth = frameWidth;
    m_frameHeight = frameHeight;
    m_frameRate = frameRate;
    // The header is written again at the end, with the length and frame count.
    const std::vector<unsigned char> header(FileHeaderSize(frameWidth, frameHeight), 0);
    m_bytes = header.size();
    if (!m_file->write(header.data(), header.size()))
        return fail(WriteFailure::Write, m_file->error());
    return true;
}

void FObjCollection::BeginMovieInMemory(std::int32_t frameWidth, std::int32_t frameHeight,
                                        int frameRate, bool discard) {
    AbandonMovie();
    m_failure = WriteFailure::None;
    m_systemError = 0;
    m_inMemory = true;
    m_discard = discard;
    m_frameWidth = frameWidth;
    m_frameHeight = frameHeight;
    m_frameRate = frameRate;
    m_memory.assign(FileHeaderSize(frameWidth, frameHeight), 0);
    m_bytes = m_memory.size();
}

bool FObjCollection::writeOut(const unsigned char* data, std::size_t size) {
    if (!m_inMemory) return m_file->write(data, size);
    m_memory.insert(m_memory.end(), data, data + size);
    return true;
}

int FObjCollection::outputError() const {
    return m_file ? m_file->error() : 0;
}

bool FObjCollection::WritePending() {
    if (!m_file && !m_inMemory) return false;
    if (m_discard) {
        m_objects.clear();
        return true;
    }
    FSWFStream stream;
    for (auto& object : m_objects) {
        object->WriteToSWFStream(&stream);
        // The End tag (2 bytes) must still fit behind whatever is written.
        if (m_bytes + stream.Size() + 2 > kMaxMovieBytes) {
            m_objects.clear();
            return fail(WriteFailure::TooLarge, EFBIG);
        }
    }
    m_bytes += stream.Size(); // before the writing empties the stream's block list
    const bool ok = stream.WriteTo(
        [this](const unsigned char* data, std::size_t size) { return writeOut(data, size); });
    m_objects.clear();
    if (!ok) return fail(WriteFailure::Write, outputError());
    return true;
}

bool FObjCollection::FinishMovie(const std::function<bool(platform::ReplacingFile&)>& replace) {
    if ((!m_file && !m_inMemory) || !WritePending()) return false;
    FSWFStream end;
    WriteEndTag(end);
    m_bytes += end.Size();
    const bool written = end.WriteTo(
        [this](const unsigned char* data, std::size_t size) { return writeOut(data, size); });
    if (!written) return fail(WriteFailure::Write, outputError());
    std::vector<unsigned char> header(FileHeaderSize(m_frameWidth, m_frameHeight));
    WriteFileHeader(header.data(), static_cast<std::size_t>(m_bytes), m_frameWidth, m_frameHeight,
                    m_frameRate);
    if (m_inMemory) {
        std::memcpy(m_memory.data(), header.data(), header.size());
        m_inMemory = false;
        ResetCharacterID();
        return true;
    }
    if (std::fseek(m_file->file(), 0, SEEK_SET) != 0)
        return fail(WriteFailure::Write, errno != 0 ? errno : EIO);
    if (!m_file->write(header.data(), header.size()) ||
        !(replace ? replace(*m_file) : m_file->commit()))
        return fail(WriteFailure::Write, m_file->error());
    m_file.reset();
    ResetCharacterID();
    return true;
}

void FObjCollection::AbandonMovie() {
    if (m_inMemory) {
        m_inMemory = false;
        m_memory.clear();
        m_memory.shrink_to_fit();
        ResetCharacterID();
    }
    if (!m_file) return;
    m_file.reset(); // removes the file beside the target
    ResetCharacterID();
}

bool FObjCollection::CreateMovie(const std::filesystem::path& fileName, std::int32_t frameWidth,
                                 std::int32_t frameHeight, int frameRate) {
    return BeginMovie(fileName, frameWidth, frameHeight, frameRate) && FinishMovie();
}
