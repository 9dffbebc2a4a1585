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

// A minimal EBML reader: the elements inside bytes [from, to).
struct Element {
    uint32_t id;
    std::size_t data, size;
};

std::vector<Element> children(const std::vector<uint8_t>& bytes, std::size_t from, std::size_t to) {
    auto vint = [&](std::size_t& pos, bool keepMarker) {
        const uint8_t first = bytes.at(pos);
        int length = 1;
        while (length < 8 && !(first & (0x80 >> (length - 1))))
            ++length;
        uint64_t value = keepMarker ? first : first & (0xFF >> length);
        for (int i = 1; i < length; ++i)
            value = value << 8 | bytes.at(pos + std::size_t(i));
        pos += std::size_t(length);
        return value;
    };
    std::vector<Element> out;
    for (std::size_t pos = from; pos < to;) {
        Element e;
        e.id = uint32_t(vint(pos, true));
        e.size = std::size_t(vint(pos, false));
        e.data = pos;
        if (e.data + e.size > to) ADD_FAILURE() << std::hex << e.id << " runs past its parent";
        out.push_back(e);
        pos = e.data + e.size;
    }
    return out;
}

std::vector<Element> children(const std::vector<uint8_t>& bytes, const Element& parent) {
    return children(bytes, parent.data, parent.data + parent.size);
}

uint64_t uintOf(const std::vector<uint8_t>& bytes, const Element& e) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < e.size; ++i)
        value = value << 8 | bytes.at(e.data + i);
    return value;
}

const Element* find(const std::vector<Element>& elements, uint32_t id) {
    for (const Element& e : elements)
        if (e.id == id) return &e;
    return nullptr;
}

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

    const auto top = children(bytes, 0, bytes.size());
    ASSERT_EQ(top.size(), 2u) << "EBML header and Segment, the Segment's size patched";
    ASSERT_EQ(top[1].id, 0x18538067u);
    const std::size_t segment = top[1].data;
    const auto level1 = children(bytes, top[1]);
    // Positions count from the Segment's data to an element's ID.
    std::map<uint32_t, uint64_t> offsets;
    std::vector<uint64_t> clusters;
    {
        std::size_t pos = segment;
        for (const Element& e : level1) {
            offsets.emplace(e.id, pos - segment);
            if (e.id == 0x1F43B675) clusters.push_back(pos - segment);
            pos = e.data + e.size;
        }
    }
    const Element* seekHead = find(level1, 0x114D9B74);
    const Element* info = find(level1, 0x1549A966);
    const Element* cues = find(level1, 0x1C53BB6B);
    ASSERT_TRUE(seekHead && info && cues);

    const auto seeks = children(bytes, *seekHead);
    EXPECT_EQ(seeks.size(), 3u);
    for (const Element& seek : seeks) {
        const auto fields = children(bytes, seek);
        const Element* id = find(fields, 0x53AB);
        const Element* position = find(fields, 0x53AC);
        ASSERT_TRUE(id && position);
        const auto target = uint32_t(uintOf(bytes, *id));
        ASSERT_TRUE(offsets.count(target)) << std::hex << target;
        EXPECT_EQ(uintOf(bytes, *position), offsets[target]) << std::hex << target;
    }

    // find() points into the list it is given, so the lists are kept alive.
    const auto infoFields = children(bytes, *info);
    const Element* duration = find(infoFields, 0x4489);
    ASSERT_TRUE(duration && duration->size == 8);
    const uint64_t bits = uintOf(bytes, *duration);
    double milliseconds;
    std::memcpy(&milliseconds, &bits, sizeof milliseconds);
    EXPECT_DOUBLE_EQ(milliseconds, 3500.0); // 35 frames at 10 fps

    // One cue per key frame (frames 0, 10, 20, 30).
    const auto points = children(bytes, *cues);
    ASSERT_EQ(points.size(), 4u);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto fields = children(bytes, points[i]);
        const Element* time = find(fields, 0xB3);
        const Element* positions = find(fields, 0xB7);
        ASSERT_TRUE(time && positions);
        EXPECT_EQ(uintOf(bytes, *time), 1000 * i);
        const auto positionFields = children(bytes, *positions);
        const Element* cluster = find(positionFields, 0xF1);
        ASSERT_TRUE(cluster);
        const uint64_t offset = uintOf(bytes, *cluster);
        ASSERT_NE(std::find(clusters.begin(), clusters.end(), offset), clusters.end());
        const auto inside = children(bytes, segment + std::size_t(offset), bytes.size());
        ASSERT_EQ(inside[0].id, 0x1F43B675u);
        const auto blocks = children(bytes, inside[0]);
        ASSERT_GE(blocks.size(), 2u);
        EXPECT_EQ(blocks[0].id, 0xE7u);
        EXPECT_EQ(uintOf(bytes, blocks[0]), 1000 * i) << "cluster timecode";
        EXPECT_EQ(blocks[1].id, 0xA3u);
        EXPECT_EQ(bytes.at(blocks[1].data + 3) & 0x80, 0x80)
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

// Movie rates become exact fractions, the video's time base: whole rates, an
// SWF header's 8.8 fixed point (29.96875 = 7672/256) and the NTSC rate.
TEST(WebmFrameRate, RatesBecomeExactFractions) {
    struct Row {
        double fps;
        int64_t num, den;
    };
    const Row rows[] = {
        {12, 12, 1}, {12.5, 25, 2}, {29.96875, 959, 32}, {0.5, 1, 2}, {30000.0 / 1001, 30000, 1001},
        {0, 0, 1}};
    for (const Row& row : rows) {
        int64_t num = -1, den = -1;
        webm::FrameRateFromDouble(row.fps, &num, &den);
        EXPECT_EQ(num, row.num) << row.fps;
        EXPECT_EQ(den, row.den) << row.fps;
    }
}

} // namespace
