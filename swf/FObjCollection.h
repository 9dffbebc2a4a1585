#pragma once

#include "FObj.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

class FSWFStream;

// The movie: owns its tags in file order and writes the whole .swf file
// (header, tags, End tag) in one pass.
class FObjCollection {
public:
    FObjCollection() = default;
    FObjCollection(const FObjCollection&) = delete;
    FObjCollection& operator=(const FObjCollection&) = delete;

    // Takes ownership; an FCTShowFrame counts as a frame.
    void AddFObj(std::unique_ptr<FObj> object);
    // Same, keeping the concrete type for the caller's reference.
    template <class T> T* AddFObj(std::unique_ptr<T> object) {
        T* raw = object.get();
        AddFObj(std::unique_ptr<FObj>(std::move(object)));
        return raw;
    }

    // Writes the movie to fileName: frame size in twips, frame rate in whole
    // frames per second (at most 255, what the header's field holds). The file is written beside
    // the target and renamed over it, so an old file survives a failed write. Returns whether the
    // movie file was written. The character-ID counter is set back once the movie has been
    // serialised (not when the output could not even be created).
    bool CreateMovie(const std::filesystem::path& fileName, std::int32_t frameWidth,
                     std::int32_t frameHeight, int frameRate);

    // Serialises header, tags and End tag into stream and resets the ID counter.
    void WriteMovie(FSWFStream& stream, std::int32_t frameWidth, std::int32_t frameHeight,
                    int frameRate);

    int FrameCount() const { return m_frameCount; }
    std::size_t ObjectCount() const { return m_objects.size(); }

    // Header size for a frame: 21 bytes up to 32767 twips, more when the frame
    // rectangle needs wider fields.
    static std::size_t FileHeaderSize(std::int32_t frameWidth, std::int32_t frameHeight);

private:
    void WriteObjects(FSWFStream& stream);
    static void WriteEndTag(FSWFStream& stream);
    void WriteFileHeader(unsigned char* data, std::size_t fileSize, std::int32_t frameWidth,
                         std::int32_t frameHeight, int frameRate) const;

    int m_frameCount = 0;
    std::vector<std::unique_ptr<FObj>> m_objects;
};
