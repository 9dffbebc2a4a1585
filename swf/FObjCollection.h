#pragma once

#include "FObj.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class FSWFStream;
namespace platform {
class ReplacingFile;
}

// The movie: owns its tags in file order and writes the .swf file (header,
// tags, End tag), either in one go (CreateMovie) or as it is built: BeginMovie,
// then WritePending whenever a part (a frame) is complete, which writes those
// tags and releases them, then FinishMovie, which patches the header's length
// and frame count. Either way the bytes are the same, and the file replaces
// its target only once complete (platform/ReplacingFile): a failure leaves
// nothing behind but the old file.
class FObjCollection {
public:
    FObjCollection();
    ~FObjCollection();
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

    // The header's 32-bit length field caps a movie's size.
    static constexpr std::uint64_t kMaxMovieBytes = 0xFFFFFFFFu;

    // Why the last write failed.
    enum class WriteFailure {
        None,
        Create,  // the file beside the target could not be made
        Write,   // a write, the sync or the rename failed (see SystemError)
        TooLarge // the movie would pass kMaxMovieBytes
    };

    // Starts writing the movie to fileName: creates the file beside the target
    // and writes a provisional header. Returns false when it cannot.
    bool BeginMovie(const std::filesystem::path& fileName, std::int32_t frameWidth,
                    std::int32_t frameHeight, int frameRate);
    // Starts a movie that is built in memory instead of a file; the same bytes,
    // taken with TakeMemory once FinishMovie has returned true.
    // With `discard`, the tags are dropped unwritten as they are completed:
    // for a compilation that is followed by its observer alone.
    void BeginMovieInMemory(std::int32_t frameWidth, std::int32_t frameHeight, int frameRate,
                            bool discard = false);
    std::vector<unsigned char> TakeMemory() { return std::move(m_memory); }
    // Writes the tags added since BeginMovie or the last call, then releases
    // them (large blocks they referred to are no longer needed). On failure the
    // movie is abandoned: nothing is left beside the target.
    bool WritePending();
    // Writes what is pending and the End tag, patches the header and puts the
    // file in the target's place. Sets the ID counter back. With `replace`,
    // that function puts the complete file in place instead (with another
    // file, for instance) and returns whether it did.
    bool FinishMovie(const std::function<bool(platform::ReplacingFile&)>& replace = {});
    // Drops a movie that was begun: the target stays as it was.
    void AbandonMovie();

    WriteFailure LastFailure() const { return m_failure; }
    // The system's error number behind a Create or Write failure (0 if unknown).
    int SystemError() const { return m_systemError; }
    // Bytes written or due so far, the header included.
    std::uint64_t BytesSoFar() const { return m_bytes; }

    // Serialises header, tags and End tag into stream and resets the ID counter.
    void WriteMovie(FSWFStream& stream, std::int32_t frameWidth, std::int32_t frameHeight,
                    int frameRate);

    int FrameCount() const { return m_frameCount; }
    // Tags held (not yet written).
    std::size_t ObjectCount() const { return m_objects.size(); }

    // Header size for a frame: 21 bytes up to 32767 twips, more when the frame
    // rectangle needs wider fields.
    static std::size_t FileHeaderSize(std::int32_t frameWidth, std::int32_t frameHeight);

private:
    void WriteObjects(FSWFStream& stream);
    static void WriteEndTag(FSWFStream& stream);
    void WriteFileHeader(unsigned char* data, std::size_t fileSize, std::int32_t frameWidth,
                         std::int32_t frameHeight, int frameRate) const;

    bool fail(WriteFailure failure, int systemError);

    int m_frameCount = 0;
    std::vector<std::unique_ptr<FObj>> m_objects;
    bool writeOut(const unsigned char* data, std::size_t size);
    int outputError() const;

    // The movie being streamed: into a file, or into m_memory.
    std::unique_ptr<platform::ReplacingFile> m_file;
    bool m_inMemory = false;
    bool m_discard = false;
    std::vector<unsigned char> m_memory;
    std::uint64_t m_bytes = 0;
    std::int32_t m_frameWidth = 0, m_frameHeight = 0;
    int m_frameRate = 0;
    WriteFailure m_failure = WriteFailure::None;
    int m_systemError = 0;
};
