#include "export/webm/WebmMuxer.h"

#include "platform/ReplacingFile.h"

#include <sys/types.h>

#include <cassert>
#include <cerrno>
#include <cstring>

namespace webm {

namespace {

// Element IDs, with their length marker bits as they appear in the file.
enum : uint32_t {
    IdEbml = 0x1A45DFA3,
    IdEbmlVersion = 0x4286,
    IdEbmlReadVersion = 0x42F7,
    IdEbmlMaxIdLength = 0x42F2,
    IdEbmlMaxSizeLength = 0x42F3,
    IdDocType = 0x4282,
    IdDocTypeVersion = 0x4287,
    IdDocTypeReadVersion = 0x4285,
    IdSegment = 0x18538067,
    IdSeekHead = 0x114D9B74,
    IdSeek = 0x4DBB,
    IdSeekId = 0x53AB,
    IdSeekPosition = 0x53AC,
    IdInfo = 0x1549A966,
    IdTimecodeScale = 0x2AD7B1,
    IdDuration = 0x4489,
    IdMuxingApp = 0x4D80,
    IdWritingApp = 0x5741,
    IdTracks = 0x1654AE6B,
    IdTrackEntry = 0xAE,
    IdTrackNumber = 0xD7,
    IdTrackUid = 0x73C5,
    IdTrackType = 0x83,
    IdFlagLacing = 0x9C,
    IdCodecId = 0x86,
    IdDefaultDuration = 0x23E383,
    IdVideo = 0xE0,
    IdPixelWidth = 0xB0,
    IdPixelHeight = 0xBA,
    IdColour = 0x55B0,
    IdMatrixCoefficients = 0x55B1,
    IdRange = 0x55B9,
    IdCluster = 0x1F43B675,
    IdTimecode = 0xE7,
    IdSimpleBlock = 0xA3,
    IdCues = 0x1C53BB6B,
    IdCuePoint = 0xBB,
    IdCueTime = 0xB3,
    IdCueTrackPositions = 0xB7,
    IdCueTrack = 0xF7,
    IdCueClusterPosition = 0xF1,
};

constexpr int64_t NanosecondsPerTimecode = 1000000; // timecodes count milliseconds
constexpr uint64_t TrackNumber = 1;

// Builds elements in memory, big-endian as EBML wants.
class Element {
public:
    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    std::size_t size() const { return m_bytes.size(); }

    void id(uint32_t id) {
        int length = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
        while (length-- > 0)
            m_bytes.push_back(static_cast<uint8_t>(id >> (8 * length)));
    }
    // The shortest size field for n; all ones is reserved for "unknown".
    void size(uint64_t n) {
        int length = 1;
        while (length < 8 && n >= (uint64_t{1} << (7 * length)) - 1)
            ++length;
        fixed(n | (uint64_t{1} << (7 * length)), length);
    }
    // An eight-byte size field, patchable in place.
    void size8(uint64_t n) { fixed(n | (uint64_t{1} << 56), 8); }
    void fixed(uint64_t value, int length) {
        while (length-- > 0)
            m_bytes.push_back(static_cast<uint8_t>(value >> (8 * length)));
    }

    void uint(uint32_t elementId, uint64_t value) {
        int length = 1;
        while (length < 8 && (value >> (8 * length)) != 0)
            ++length;
        uintFixed(elementId, value, length);
    }
    void uintFixed(uint32_t elementId, uint64_t value, int length) {
        id(elementId);
        size(static_cast<uint64_t>(length));
        fixed(value, length);
    }
    void float8(uint32_t elementId, double value) {
        id(elementId);
        size(8);
        fixed(floatBits(value), 8);
    }
    void string(uint32_t elementId, const char* text) {
        const std::size_t length = std::strlen(text);
        id(elementId);
        size(length);
        m_bytes.insert(m_bytes.end(), text, text + length);
    }
    void master(uint32_t elementId, const Element& body) {
        id(elementId);
        size(body.size());
        m_bytes.insert(m_bytes.end(), body.m_bytes.begin(), body.m_bytes.end());
    }

    static uint64_t floatBits(double value) {
        uint64_t bits;
        static_assert(sizeof bits == sizeof value);
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    }

private:
    std::vector<uint8_t> m_bytes;
};

std::vector<uint8_t> bigEndian(uint64_t value, int length) {
    Element e;
    e.fixed(value, length);
    return e.bytes();
}

} // namespace

WebmMuxer::WebmMuxer(platform::ReplacingFile& out) : m_out(out) {}

bool WebmMuxer::write(const std::vector<uint8_t>& bytes) {
    if (!m_out.write(bytes.data(), bytes.size())) return false;
    m_position += bytes.size();
    return true;
}

// Overwrites bytes written earlier and returns to the end of the file.
bool WebmMuxer::patch(uint64_t position, const std::vector<uint8_t>& bytes) {
    std::FILE* file = m_out.file();
    if (!file) return false;
    if (fseeko(file, static_cast<off_t>(position), SEEK_SET) != 0) {
        m_seekError = errno;
        return false;
    }
    if (!m_out.write(bytes.data(), bytes.size())) return false;
    if (fseeko(file, static_cast<off_t>(m_position), SEEK_SET) != 0) {
        m_seekError = errno;
        return false;
    }
    return true;
}

int64_t WebmMuxer::timecodeOf(int64_t index) const {
    // index · den / num seconds, in milliseconds, rounded to nearest; each
    // frame rounds on its own, so the error never accumulates.
    const int64_t scaled = index * m_track.rateDen * (1000000000 / NanosecondsPerTimecode);
    return (2 * scaled + m_track.rateNum) / (2 * m_track.rateNum);
}

bool WebmMuxer::begin(const TrackSettings& track) {
    assert(track.width > 0 && track.height > 0 && track.rateNum > 0 && track.rateDen > 0);
    m_track = track;

    Element header;
    {
        Element body;
        body.uint(IdEbmlVersion, 1);
        body.uint(IdEbmlReadVersion, 1);
        body.uint(IdEbmlMaxIdLength, 4);
        body.uint(IdEbmlMaxSizeLength, 8);
        body.string(IdDocType, "webm");
        body.uint(IdDocTypeVersion, 4);
        body.uint(IdDocTypeReadVersion, 2);
        header.master(IdEbml, body);
    }
    header.id(IdSegment);
    header.size8(0); // patched by finish()

    Element info;
    {
        Element body;
        body.uint(IdTimecodeScale, NanosecondsPerTimecode);
        body.string(IdMuxingApp, "Movi-Loomster");
        body.string(IdWritingApp, "Movi-Loomster");
        body.float8(IdDuration, 0); // patched by finish(); last, so its place is known
        info.master(IdInfo, body);
    }

    Element tracks;
    {
        Element video;
        video.uint(IdPixelWidth, static_cast<uint64_t>(track.width));
        video.uint(IdPixelHeight, static_cast<uint64_t>(track.height));
        if (track.bt601Limited) {
            Element colour;
            colour.uint(IdMatrixCoefficients, 5); // BT.601 (as BT.470 BG, the same matrix)
            colour.uint(IdRange, 1);              // broadcast range, 16-235
            video.master(IdColour, colour);
        }
        Element entry;
        entry.uint(IdTrackNumber, TrackNumber);
        entry.uint(IdTrackUid, 1);
        entry.uint(IdTrackType, 1); // video
        entry.uint(IdFlagLacing, 0);
        entry.string(IdCodecId, "V_VP9");
        const int64_t frameNs =
            (2 * 1000000000 * track.rateDen + track.rateNum) / (2 * track.rateNum);
        entry.uint(IdDefaultDuration, static_cast<uint64_t>(frameNs));
        entry.master(IdVideo, video);
        tracks.master(IdTrackEntry, entry);
    }
    Element tracksElement;
    tracksElement.master(IdTracks, tracks);

    // Every seek position takes eight bytes, so the SeekHead's size does not
    // depend on the positions and the Cues' entry can be patched at the end.
    auto seekHead = [&](uint64_t infoAt, uint64_t tracksAt) {
        Element seeks;
        const std::pair<uint32_t, uint64_t> entries[] = {
            {IdInfo, infoAt}, {IdTracks, tracksAt}, {IdCues, 0}};
        for (const auto& [target, position] : entries) {
            Element seek, id;
            id.id(target);
            seek.id(IdSeekId);
            seek.size(id.size());
            seek.fixed(target, static_cast<int>(id.size()));
            seek.uintFixed(IdSeekPosition, position, 8);
            seeks.master(IdSeek, seek);
        }
        Element head;
        head.master(IdSeekHead, seeks);
        return head;
    };
    const uint64_t seekHeadSize = seekHead(0, 0).size();
    const Element head = seekHead(seekHeadSize, seekHeadSize + info.size());

    m_segmentData = header.size();
    m_cuesSeekAt = m_segmentData + head.size() - 8;
    m_durationAt = m_segmentData + head.size() + info.size() - 8;
    return write(header.bytes()) && write(head.bytes()) && write(info.bytes()) &&
           write(tracksElement.bytes());
}

bool WebmMuxer::closeCluster() {
    if (!m_clusterOpen) return true;
    m_clusterOpen = false;
    return patch(m_clusterSizeAt,
                 bigEndian((m_position - m_clusterSizeAt - 8) | (uint64_t{1} << 56), 8));
}

bool WebmMuxer::addFrame(int64_t index, const uint8_t* data, std::size_t size, bool keyFrame) {
    const int64_t timecode = timecodeOf(index);
    if (!m_clusterOpen || keyFrame || timecode - m_clusterTimecode > INT16_MAX) {
        if (!closeCluster()) return false;
        if (keyFrame) m_cues.push_back({timecode, m_position - m_segmentData});
        Element cluster;
        cluster.id(IdCluster);
        cluster.size8(0);
        m_clusterSizeAt = m_position + cluster.size() - 8;
        cluster.uint(IdTimecode, static_cast<uint64_t>(timecode));
        if (!write(cluster.bytes())) return false;
        m_clusterOpen = true;
        m_clusterTimecode = timecode;
    }
    Element block;
    block.id(IdSimpleBlock);
    block.size(4 + size);
    block.fixed(0x80 | TrackNumber, 1); // track number as a one-byte vint
    block.fixed(static_cast<uint16_t>(static_cast<int16_t>(timecode - m_clusterTimecode)), 2);
    block.fixed(keyFrame ? 0x80 : 0x00, 1);
    if (!write(block.bytes())) return false;
    if (!m_out.write(data, size)) return false;
    m_position += size;
    return true;
}

bool WebmMuxer::finish(int64_t frameCount) {
    if (!closeCluster()) return false;
    const uint64_t cuesAt = m_position - m_segmentData;
    Element points;
    for (const Cue& cue : m_cues) {
        Element position, point;
        position.uint(IdCueTrack, TrackNumber);
        position.uint(IdCueClusterPosition, cue.clusterPosition);
        point.uint(IdCueTime, static_cast<uint64_t>(cue.timecode));
        point.master(IdCueTrackPositions, position);
        points.master(IdCuePoint, point);
    }
    Element cues;
    cues.master(IdCues, points);
    if (!write(cues.bytes())) return false;

    // The duration is exact: a float in timecode units needs no rounding.
    const double duration = static_cast<double>(frameCount) * static_cast<double>(m_track.rateDen) *
                            1e9 / NanosecondsPerTimecode / static_cast<double>(m_track.rateNum);
    return patch(m_cuesSeekAt, bigEndian(cuesAt, 8)) &&
           patch(m_durationAt, bigEndian(Element::floatBits(duration), 8)) &&
           patch(m_segmentData - 8,
                 bigEndian((m_position - m_segmentData) | (uint64_t{1} << 56), 8));
}

} // namespace webm
