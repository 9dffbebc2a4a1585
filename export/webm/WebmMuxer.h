#pragma once
// A WebM container writer for one VP9 video track and nothing else: the EBML
// header, a Segment with its SeekHead, Info (with the duration), Tracks,
// Clusters of SimpleBlocks and Cues at the end, so that players can seek.
//
// Clusters are written as the frames come, so memory holds only the cue index
// (one entry per cluster). Sizes that are known only at the end (the Segment,
// each Cluster, the duration and where the Cues are) are written as fixed-size
// placeholders and patched in place by seeking back in the output file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {
class ReplacingFile;
}

namespace webm {

struct TrackSettings {
    int width = 0, height = 0; // coded size in pixels (even for 4:2:0)
    // Frame rate as an exact fraction: each frame lasts den / num seconds.
    int64_t rateNum = 0, rateDen = 1;
    // Colour description for players: BT.601 matrix, limited ("TV") range.
    bool bt601Limited = true;
};

class WebmMuxer {
public:
    explicit WebmMuxer(platform::ReplacingFile& out);

    // Writes the header, Info and Tracks; false when a write failed.
    bool begin(const TrackSettings& track);
    // Adds frame number `index` (0-based, increasing) with its compressed
    // bytes. A key frame starts a new cluster, and so does a cluster that
    // would outgrow the 16-bit relative timecode of a block.
    bool addFrame(int64_t index, const uint8_t* data, std::size_t size, bool keyFrame);
    // Closes the last cluster, writes the Cues and patches every size and the
    // duration (frameCount frames). The caller commits the file afterwards.
    bool finish(int64_t frameCount);

    // Timecode of frame `index` in milliseconds (the track's timecode unit).
    int64_t timecodeOf(int64_t index) const;
    // The system's error number of a failed seek (0 when none); a failed
    // write keeps its own in the ReplacingFile.
    int seekError() const { return m_seekError; }

private:
    struct Cue {
        int64_t timecode;
        uint64_t clusterPosition; // from the start of the Segment's data
    };

    bool write(const std::vector<uint8_t>& bytes);
    bool patch(uint64_t position, const std::vector<uint8_t>& bytes);
    bool closeCluster();

    platform::ReplacingFile& m_out;
    TrackSettings m_track;
    uint64_t m_position = 0;    // bytes written so far (the file's end)
    uint64_t m_segmentData = 0; // file offset of the Segment's data
    uint64_t m_durationAt = 0;  // file offset of the duration's 8-byte float
    uint64_t m_cuesSeekAt = 0;  // file offset of the Cues' 8-byte seek position
    bool m_clusterOpen = false;
    uint64_t m_clusterSizeAt = 0; // file offset of the open cluster's 8-byte size
    int64_t m_clusterTimecode = 0;
    std::vector<Cue> m_cues;
    int m_seekError = 0;
};

} // namespace webm
