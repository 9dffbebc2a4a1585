// The WebM writer, checked with tools we did not write: ffprobe reads the
// stream's settings, ffmpeg decodes the frames, and a small EBML walker here
// checks the container's patched sizes, its seek index and its cues.
#include "export/webm/WebmExporter.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr uint32_t Background = 0xE0FFFF;

// A frame with a gradient corner and a red square that moves 5 pixels right
// per frame, so that neighbouring frames differ clearly.
std::vector<uint32_t> makeFrame(int width, int height, int k) {
    std::vector<uint32_t> pixels(std::size_t(width) * std::size_t(height), 0xFF000000 | Background);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t& p = pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            if (x < width / 3 && y < height / 3)
                p = 0xFF000000 | uint32_t(x * 255 / width) << 16 | uint32_t(y * 255 / height) << 8 |
                    0x80;
            const int left = (5 * k) % width;
            if (x >= left && x < left + 20 && y >= height / 2 && y < height / 2 + 16)
                p = 0xFFD02020;
        }
    return pixels;
}

struct Shape {
    const char* name;
    int width, height;
    int64_t rateNum, rateDen;
    int frames;
};

// Writes `shape.frames` frames of makeFrame into `path`.
bool writeVideo(const std::string& path, const Shape& shape, std::string* error) {
    webm::WebmExporter out(path);
    webm::WebmSettings settings;
    settings.width = shape.width;
    settings.height = shape.height;
    settings.rateNum = shape.rateNum;
    settings.rateDen = shape.rateDen;
    settings.background = Background;
    settings.keyFrameSeconds = 1;
    bool ok = out.begin(settings);
    for (int k = 0; ok && k < shape.frames; ++k)
        ok = out.addFrame(makeFrame(shape.width, shape.height, k).data(), shape.width);
    ok = ok && out.finish();
    *error = out.error();
    return ok;
}

std::string run(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

std::map<std::string, std::string> probe(const std::string& path) {
    std::map<std::string, std::string> values;
    const std::string text =
        run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
            "stream=codec_name,pix_fmt,width,height,avg_frame_rate,nb_read_frames,color_range,"
            "color_space:format=duration -of default=nw=1 '" +
            path + "'");
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        if (const std::size_t eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return values;
}

void PrintTo(const Shape& shape, std::ostream* out) {
    *out << shape.name;
}

class WebmShape : public testing::TestWithParam<Shape> {};

// ffprobe sees a VP9 4:2:0 stream of the padded size, every frame, the frame
// rate and the exact duration; ffmpeg's decoded frames match their sources
// (and not their neighbours), and the padding holds the background.
TEST_P(WebmShape, PlaysInFfmpegAsWritten) {
    const Shape& shape = GetParam();
    movitest::TempDir dir;
    const std::string path = dir.file("out.webm");
    std::string error;
    ASSERT_TRUE(writeVideo(path, shape, &error)) << error;

    const int codedWidth = shape.width + shape.width % 2,
              codedHeight = shape.height + shape.height % 2;
    auto info = probe(path);
    EXPECT_EQ(info["codec_name"], "vp9");
    EXPECT_EQ(info["pix_fmt"], "yuv420p");
    EXPECT_EQ(info["color_range"], "tv");
    EXPECT_EQ(info["color_space"], "bt470bg"); // the BT.601 matrix
    EXPECT_EQ(info["width"], std::to_string(codedWidth));
    EXPECT_EQ(info["height"], std::to_string(codedHeight));
    EXPECT_EQ(info["nb_read_frames"], std::to_string(shape.frames));
    const double fps = double(shape.rateNum) / double(shape.rateDen);
    const std::string& rate = info["avg_frame_rate"];
    const std::size_t slash = rate.find('/');
    ASSERT_NE(slash, std::string::npos) << rate;
    EXPECT_NEAR(std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1)), fps,
                fps * 1e-4);
    EXPECT_NEAR(std::stod(info["duration"]), shape.frames / fps, 0.0015);

    const std::string raw = run("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgb24 -");
    const std::size_t frameBytes = std::size_t(codedWidth) * std::size_t(codedHeight) * 3;
    ASSERT_EQ(raw.size(), frameBytes * std::size_t(shape.frames));
    // Share of the frame's pixels within 24 levels of source frame `k`.
    auto agreement = [&](int decodedFrame, int k) {
        const std::vector<uint32_t> source = makeFrame(shape.width, shape.height, k);
        const auto* rgb =
            reinterpret_cast<const uint8_t*>(raw.data()) + frameBytes * std::size_t(decodedFrame);
        int close = 0;
        for (int y = 0; y < shape.height; ++y)
            for (int x = 0; x < shape.width; ++x) {
                const uint32_t s =
                    source[std::size_t(y) * std::size_t(shape.width) + std::size_t(x)];
                const uint8_t* d =
                    rgb + (std::size_t(y) * std::size_t(codedWidth) + std::size_t(x)) * 3;
                close += std::abs(int(d[0]) - int((s >> 16) & 0xFF)) <= 24 &&
                         std::abs(int(d[1]) - int((s >> 8) & 0xFF)) <= 24 &&
                         std::abs(int(d[2]) - int(s & 0xFF)) <= 24;
            }
        return 100.0 * close / (shape.width * shape.height);
    };
    // Edges of the red square lose colour to 4:2:0 and small frames have many
    // edges; a frame shown at the wrong time agrees on 85% at most.
    for (int k : {0, shape.frames / 2, shape.frames - 1}) {
        EXPECT_GE(agreement(k, k), 95.0) << "frame " << k;
        if (shape.frames > 3) {
            EXPECT_LT(agreement(k, k + 3 < shape.frames ? k + 3 : k - 3), 90.0)
                << "frame " << k << " is not its own";
        }
    }
    // The padding column and row, away from the chroma-shared edge pixels.
    const auto* last =
        reinterpret_cast<const uint8_t*>(raw.data()) + frameBytes * std::size_t(shape.frames - 1);
    auto nearBackground = [](const uint8_t* d) {
        return std::abs(int(d[0]) - 0xE0) <= 8 && std::abs(int(d[1]) - 0xFF) <= 8 &&
               std::abs(int(d[2]) - 0xFF) <= 8;
    };
    const std::size_t w = std::size_t(codedWidth), h = std::size_t(codedHeight);
    if (shape.width % 2) {
        EXPECT_TRUE(nearBackground(last + ((h - 2) * w + w - 1) * 3));
    }
    if (shape.height % 2) {
        EXPECT_TRUE(nearBackground(last + ((h - 1) * w + w - 2) * 3));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, WebmShape,
                         testing::Values(Shape{"even_12fps", 64, 48, 12, 1, 30},
                                         Shape{"odd_width_and_height_12_5fps", 63, 47, 25, 2, 27},
                                         Shape{"ntsc_29_97fps", 64, 36, 30000, 1001, 40},
                                         Shape{"one_frame", 33, 20, 15, 1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A minimal EBML reader for the checks below.
struct Ebml {
    const std::vector<uint8_t>& bytes;
    std::size_t pos;

    uint64_t vint(bool keepMarker) {
        const uint8_t first = bytes.at(pos);
        int length = 1;
        while (length <= 8 && !(first & (0x80 >> (length - 1))))
            ++length;
        uint64_t value = keepMarker ? first : first & (0xFF >> length);
        for (int i = 1; i < length; ++i)
            value = value << 8 | bytes.at(pos + std::size_t(i));
        pos += std::size_t(length);
        return value;
    }
    // Reads an element's header; returns its ID, its size and its data's offset.
    uint32_t element(uint64_t* size, std::size_t* data) {
        const uint32_t id = uint32_t(vint(true));
        *size = vint(false);
        *data = pos;
        return id;
    }
    uint64_t uintAt(std::size_t at, uint64_t size) const {
        uint64_t value = 0;
        for (uint64_t i = 0; i < size; ++i)
            value = value << 8 | bytes.at(at + i);
        return value;
    }
};

// The sizes patched at the end hold, the SeekHead finds Info, Tracks and Cues,
// the duration is exact, and every cue points at a cluster that starts with a
// key frame at the cue's time.
TEST(WebmContainer, SizesSeekIndexAndCuesPointWhereTheySay) {
    movitest::TempDir dir;
    const std::string path = dir.file("out.webm");
    const Shape shape{"", 40, 30, 10, 1, 35}; // key frames every 10 frames
    std::string error;
    ASSERT_TRUE(writeVideo(path, shape, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};

    Ebml r{bytes, 0};
    uint64_t size;
    std::size_t data;
    ASSERT_EQ(r.element(&size, &data), 0x1A45DFA3u);
    r.pos = data + size;
    ASSERT_EQ(r.element(&size, &data), 0x18538067u);
    const std::size_t segment = data;
    EXPECT_EQ(segment + size, bytes.size()) << "Segment size not patched";

    std::map<uint32_t, std::size_t> found; // top-level element -> offset in the Segment
    std::vector<std::size_t> clusters;
    while (r.pos < bytes.size()) {
        const std::size_t at = r.pos;
        const uint32_t id = r.element(&size, &data);
        ASSERT_LE(data + size, bytes.size()) << std::hex << id;
        found.emplace(id, at - segment);
        if (id == 0x1F43B675) clusters.push_back(at - segment);
        r.pos = data + size;
    }
    ASSERT_TRUE(found.count(0x114D9B74) && found.count(0x1C53BB6B) && found.count(0x1549A966));

    // SeekHead entries.
    r.pos = segment + found[0x114D9B74];
    r.element(&size, &data);
    int seeks = 0;
    for (const std::size_t end = data + size; r.pos < end; ++seeks) {
        std::size_t seekData;
        r.element(&size, &seekData);
        const std::size_t seekEnd = seekData + size;
        uint32_t target = 0;
        uint64_t position = 0;
        while (r.pos < seekEnd) {
            const uint32_t child = r.element(&size, &data);
            if (child == 0x53AB) target = uint32_t(r.uintAt(data, size));
            if (child == 0x53AC) position = r.uintAt(data, size);
            r.pos = data + size;
        }
        ASSERT_TRUE(found.count(target)) << std::hex << target;
        EXPECT_EQ(position, found[target]) << std::hex << target;
    }
    EXPECT_EQ(seeks, 3);

    // Duration: 35 frames at 10 fps, in milliseconds.
    r.pos = segment + found[0x1549A966];
    r.element(&size, &data);
    double duration = -1;
    for (const std::size_t end = data + size; r.pos < end;) {
        const uint32_t child = r.element(&size, &data);
        if (child == 0x4489) {
            const uint64_t bits = r.uintAt(data, size);
            std::memcpy(&duration, &bits, sizeof duration);
        }
        r.pos = data + size;
    }
    EXPECT_DOUBLE_EQ(duration, 3500.0);

    // Cues: one per key frame (frames 0, 10, 20, 30), each at a cluster whose
    // timecode is the cue's and whose first block is a key frame.
    r.pos = segment + found[0x1C53BB6B];
    r.element(&size, &data);
    std::vector<std::pair<uint64_t, uint64_t>> cues; // time, cluster position
    for (const std::size_t end = data + size; r.pos < end;) {
        std::size_t pointData;
        r.element(&size, &pointData);
        const std::size_t pointEnd = pointData + size;
        uint64_t time = 0, position = 0;
        while (r.pos < pointEnd) {
            const uint32_t child = r.element(&size, &data);
            if (child == 0xB3) time = r.uintAt(data, size);
            if (child == 0xB7) {
                for (const std::size_t e = data + size; r.pos < e;) {
                    const uint32_t inner = r.element(&size, &data);
                    if (inner == 0xF1) position = r.uintAt(data, size);
                    r.pos = data + size;
                }
            }
            r.pos = data + size;
        }
        cues.emplace_back(time, position);
    }
    ASSERT_EQ(cues.size(), 4u);
    for (std::size_t i = 0; i < cues.size(); ++i) {
        EXPECT_EQ(cues[i].first, 1000 * i);
        ASSERT_NE(std::find(clusters.begin(), clusters.end(), cues[i].second), clusters.end());
        r.pos = segment + cues[i].second;
        r.element(&size, &data);
        const uint32_t timecode = r.element(&size, &data);
        ASSERT_EQ(timecode, 0xE7u);
        EXPECT_EQ(r.uintAt(data, size), cues[i].first);
        r.pos = data + size;
        ASSERT_EQ(r.element(&size, &data), 0xA3u);
        EXPECT_EQ(bytes.at(data + 3) & 0x80, 0x80)
            << "cluster " << i << " starts without a key frame";
    }
}

// A write that fails, early or only in the last bytes (the cues and the
// patched sizes), keeps the old file and leaves nothing beside it; so does an
// export given up half-way.
struct Stop {
    const char* name;
    long limitBelowFullSize; // the file-size limit, below the finished file's size; 0: cancel
};

void PrintTo(const Stop& stop, std::ostream* out) {
    *out << stop.name;
}

class WebmFailure : public testing::TestWithParam<Stop> {};

TEST_P(WebmFailure, KeepsTheOldFileAndLeavesNothing) {
    movitest::TempDir dir;
    const Shape shape{"", 160, 120, 12, 1, 24};
    std::string error;
    ASSERT_TRUE(writeVideo(dir.file("full.webm"), shape, &error)) << error;
    const auto fullSize = long(std::filesystem::file_size(dir.file("full.webm")));
    std::filesystem::remove(dir.file("full.webm"));
    const std::string path = dir.file("out.webm");
    std::ofstream(path) << "old";

    if (GetParam().limitBelowFullSize == 0) {
        webm::WebmExporter out(path);
        webm::WebmSettings settings;
        settings.width = shape.width;
        settings.height = shape.height;
        settings.rateNum = 12;
        ASSERT_TRUE(out.begin(settings));
        ASSERT_TRUE(out.addFrame(makeFrame(shape.width, shape.height, 0).data(), shape.width));
        out.cancel();
    } else {
        rlimit old{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = rlim_t(fullSize - GetParam().limitBelowFullSize);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = writeVideo(path, shape, &error);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(written);
        EXPECT_EQ(error, path + ": " + std::strerror(EFBIG));
    }
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

INSTANTIATE_TEST_SUITE_P(Stops, WebmFailure,
                         testing::Values(Stop{"limit_far_below_the_size", 4000},
                                         Stop{"limit_8_bytes_short", 8}, Stop{"cancel", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// BT.601 limited range, as browsers read a VP9 video that says nothing else.
TEST(WebmColours, PrimariesConvertToLimitedRangeBt601) {
    struct Row {
        uint32_t rgb;
        uint8_t y, u, v;
    };
    const Row rows[] = {{0xFFFFFF, 235, 128, 128}, {0x000000, 16, 128, 128},
                        {0xFF0000, 81, 90, 240},   {0x00FF00, 145, 54, 34},
                        {0x0000FF, 41, 240, 110},  {0x808080, 126, 128, 128}};
    for (const Row& row : rows) {
        const uint32_t pixels[4] = {0xFF000000 | row.rgb, 0xFF000000 | row.rgb,
                                    0xFF000000 | row.rgb, 0xFF000000 | row.rgb};
        uint8_t y[4], u, v;
        webm::YuvPlanes planes{y, &u, &v, 2, 1, 1, 2, 2};
        webm::ConvertToI420({pixels, 2, 2, 2}, 0, planes);
        EXPECT_EQ(int(y[0]), row.y) << std::hex << row.rgb;
        EXPECT_EQ(int(u), row.u) << std::hex << row.rgb;
        EXPECT_EQ(int(v), row.v) << std::hex << row.rgb;
    }
}

} // namespace
