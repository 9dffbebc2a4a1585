#include "FObjCollection.h"

#include "FPrimitive.h"
#include "FSWFStream.h"

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
    stream.AppendTag(0, 0, nullptr);
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

bool FObjCollection::CreateMovie(const std::filesystem::path& fileName, std::int32_t frameWidth,
                                 std::int32_t frameHeight, int frameRate) {
    // The file is created exclusively ("x"): never written through a file or a
    // link that someone placed beside the target under the expected name.
    std::filesystem::path partial;
    std::FILE* file = nullptr;
    for (int n = 0; n < 1000 && !file; ++n) {
        partial = fileName;
        partial += n == 0 ? std::string(".part") : ".part" + std::to_string(n);
        errno = 0;
        file = std::fopen(partial.c_str(), "wbx");
        if (!file && errno != EEXIST) return false;
    }
    if (!file) return false;

    bool ok;
    {
        FSWFStream stream;
        WriteMovie(stream, frameWidth, frameHeight, frameRate);
        ok = stream.WriteToFile(file);
    }
    ok = (std::fflush(file) == 0) && ok;
    ok = (std::fclose(file) == 0) && ok;

    std::error_code error;
    if (ok) {
        std::filesystem::rename(partial, fileName, error);
        ok = !error;
    }
    if (!ok) std::filesystem::remove(partial, error);
    return ok;
}
