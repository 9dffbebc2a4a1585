// The movie container: file header, frame count, ID counter, file writing.
#include "FCT.h"
#include "FDTBitmaps.h"
#include "FDTShapes.h"
#include "FObjCollection.h"
#include "SampleMovies.h"
#include "SwfTestUtil.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::unique_ptr<FDTDefineShape> EmptyShape() {
    auto shape = std::make_unique<FDTDefineShape>(std::make_unique<FRect>(0, 0, 20, 20));
    shape->FinishStyleArrays();
    shape->AddShapeRec(std::make_unique<FShapeRecEnd>());
    return shape;
}

TEST(FObjCollection, EmptyMovieIsTheClassic23Bytes) {
    TempDir dir;
    FObjCollection movie;
    ASSERT_TRUE(movie.CreateMovie(dir.path() / "empty.swf", 11000, 8000, 12));
    KeepMovieForReaderCheck(dir.path() / "empty.swf");
    EXPECT_EQ(
        ReadFileBytes(dir.path() / "empty.swf"),
        (Bytes{0x46, 0x57, 0x53, 0x04,                               // "FWS", version 4
               0x17, 0x00, 0x00, 0x00,                               // file length 23
               0x80, 0x00, 0x01, 0x57, 0xC0, 0x00, 0x00, 0xFA, 0x00, // frame rect, 16-bit fields
               0x00, 0x0C,                                           // 12 frames per second
               0x00, 0x00,                                           // frame count
               0x00, 0x00}));                                        // End
}

TEST(FObjCollection, FrameCountIsTheNumberOfShowFrames) {
    FObjCollection movie;
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    movie.AddFObj(std::make_unique<FCTRemoveObject2>(1));
    movie.AddFObj(EmptyShape());
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    EXPECT_EQ(movie.FrameCount(), 3);
    FSWFStream s;
    movie.WriteMovie(s, 11000, 8000, 12);
    EXPECT_EQ(s.Data()[19], 3);
    EXPECT_EQ(s.Data()[20], 0);
}

TEST(FObjCollection, FrameCountBeyond16BitsIsClampedToTheField) {
    FObjCollection movie;
    for (int i = 0; i < 70000; ++i)
        movie.AddFObj(std::make_unique<FCTShowFrame>());
    FSWFStream s;
    movie.WriteMovie(s, 20, 20, 1);
    EXPECT_EQ(s.Data()[19], 0xFF);
    EXPECT_EQ(s.Data()[20], 0xFF);
}

TEST(FObjCollection, FrameRateBeyondItsByteIsClamped) {
    FObjCollection movie;
    FSWFStream s;
    movie.WriteMovie(s, 20, 20, 300);
    EXPECT_EQ(s.Data()[17], 0x00);
    EXPECT_EQ(s.Data()[18], 0xFF);
}

struct FrameSizeCase {
    const char* name;
    std::int32_t width;
    std::int32_t height;
    int fieldWidth;
    std::size_t headerSize;
};

class FrameHeaderTest : public testing::TestWithParam<FrameSizeCase> {};

TEST_P(FrameHeaderTest, RectangleFieldsFitTheFrame) {
    const auto& c = GetParam();
    FObjCollection movie;
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    FSWFStream s;
    movie.WriteMovie(s, c.width, c.height, 30);
    const Bytes out = s.SplicedBytes();
    ASSERT_EQ(FObjCollection::FileHeaderSize(c.width, c.height), c.headerSize);
    ASSERT_EQ(out.size(), c.headerSize + 4); // ShowFrame and End follow the header
    BitReader in(out, 4);
    EXPECT_EQ(in.DWord(), out.size());
    ASSERT_EQ(in.U(5), static_cast<std::uint32_t>(c.fieldWidth));
    EXPECT_EQ(in.S(c.fieldWidth), 0);
    EXPECT_EQ(in.S(c.fieldWidth), c.width);
    EXPECT_EQ(in.S(c.fieldWidth), 0);
    EXPECT_EQ(in.S(c.fieldWidth), c.height);
    EXPECT_EQ(in.Word(), 30u << 8);
    EXPECT_EQ(in.Word(), 1u);
    EXPECT_EQ(in.BytePos(), c.headerSize);
    EXPECT_EQ(Bytes(out.end() - 4, out.end()), (Bytes{0x40, 0x00, 0x00, 0x00}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameHeaderTest,
                         testing::Values(FrameSizeCase{"Tiny", 20, 20, 16, 21},
                                         FrameSizeCase{"Largest16Bit", 32767, 32767, 16, 21},
                                         FrameSizeCase{"WiderThan1638Pixels", 32768, 8000, 17, 22},
                                         FrameSizeCase{"Largest2880PixelStage", 57600, 57600, 17,
                                                       22}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FObjCollection, EveryMovieNumbersCharactersFromOne) {
    TempDir dir;
    for (const char* name : {"first.swf", "second.swf"}) {
        FObjCollection movie;
        auto* shape = movie.AddFObj(EmptyShape());
        auto* other = movie.AddFObj(EmptyShape());
        EXPECT_EQ(shape->ID(), 1);
        EXPECT_EQ(other->ID(), 2);
        ASSERT_TRUE(movie.CreateMovie(dir.path() / name, 200, 200, 12));
        KeepMovieForReaderCheck(dir.path() / name);
    }
}

TEST(FObjCollection, UncreatableFileReportsFailureAndKeepsTheCounter) {
    TempDir dir;
    FObjCollection movie;
    movie.AddFObj(EmptyShape()); // ID 1
    EXPECT_FALSE(movie.CreateMovie(dir.path() / "missing-folder" / "m.swf", 200, 200, 12));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing-folder"));
    EXPECT_EQ(NextCharacterID(), 2); // not set back: nothing was written
    ResetCharacterID();
}

TEST(FObjCollection, FailedWriteLeavesNoPartialFile) {
    TempDir dir;
    const auto target = dir.path() / "taken";
    std::filesystem::create_directory(target);
    std::ofstream(target / "keep") << "x"; // a non-empty folder cannot be replaced
    FObjCollection movie;
    EXPECT_FALSE(movie.CreateMovie(target, 200, 200, 12));
    EXPECT_TRUE(std::filesystem::exists(target / "keep"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(FObjCollection, ReplacesAnExistingMovie) {
    TempDir dir;
    const auto path = dir.path() / "movie.swf";
    std::ofstream(path) << "an older, longer file than the new movie";
    FObjCollection movie;
    ASSERT_TRUE(movie.CreateMovie(path, 11000, 8000, 12));
    KeepMovieForReaderCheck(path);
    EXPECT_EQ(ReadFileBytes(path).size(), 23u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "movie.swf.part"));
}

TEST(FObjCollection, JpegDataIsReadWhenTheFileIsWritten) {
    TempDir dir;
    std::vector<unsigned char> jpeg(4000, 0x22);
    jpeg[0] = 0xFF; // start and end of image
    jpeg[1] = 0xD8;
    jpeg[3998] = 0xFF;
    jpeg[3999] = 0xD9;
    FObjCollection movie;
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    movie.AddFObj(std::make_unique<FDTDefineBitsJPEG2>(jpeg.data(), jpeg.size()));
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    jpeg[2] = 0xAB; // referenced, not copied: the change reaches the file
    ASSERT_TRUE(movie.CreateMovie(dir.path() / "m.swf", 200, 200, 12));
    KeepMovieForReaderCheck(dir.path() / "m.swf");
    const Bytes file = ReadFileBytes(dir.path() / "m.swf");
    ASSERT_EQ(file.size(), 21u + 2 + 6 + 2 + 4 + 4000 + 2 + 2 + 2);
    const std::size_t data = 21 + 2 + 6 + 2 + 4;
    EXPECT_EQ(Bytes(file.begin() + data, file.begin() + data + 4000), jpeg);
    EXPECT_EQ(Bytes(file.end() - 6, file.end()), (Bytes{0xFF, 0xD9, 0x40, 0x00, 0x00, 0x00}));
}

class SampleMovieTest : public testing::TestWithParam<std::string> {};

// Each sample movie is written twice from fresh collections: identical files,
// and its stated length matches.
TEST_P(SampleMovieTest, WritesTheSameFileEveryTime) {
    TempDir dir;
    ASSERT_TRUE(WriteSampleMovie(GetParam(), dir.path() / "a"));
    ASSERT_TRUE(WriteSampleMovie(GetParam(), dir.path() / "b"));
    KeepMovieForReaderCheck(dir.path() / "a" / (GetParam() + ".swf"));
    const Bytes a = ReadFileBytes(dir.path() / "a" / (GetParam() + ".swf"));
    EXPECT_EQ(a, ReadFileBytes(dir.path() / "b" / (GetParam() + ".swf")));
    ASSERT_GE(a.size(), 23u);
    EXPECT_EQ(BitReader(a, 4).DWord(), a.size());
}

// Streamed through the file writer, each sample gives the bytes of the
// whole-buffer path.
TEST_P(SampleMovieTest, StreamedFileEqualsTheWholeBuffer) {
    TempDir dir;
    SampleMovie streamed = BuildSampleMovie(GetParam());
    ASSERT_TRUE(streamed.movie->CreateMovie(dir.path() / "s.swf", streamed.frameWidth,
                                            streamed.frameHeight, streamed.frameRate));
    SampleMovie whole = BuildSampleMovie(GetParam());
    FSWFStream stream;
    whole.movie->WriteMovie(stream, whole.frameWidth, whole.frameHeight, whole.frameRate);
    EXPECT_EQ(ReadFileBytes(dir.path() / "s.swf"), stream.SplicedBytes());
}

INSTANTIATE_TEST_SUITE_P(All, SampleMovieTest, testing::ValuesIn(SampleMovieNames()),
                         [](const auto& info) { return info.param; });

} // namespace

// A link planted under the name of the partial file is neither followed nor
// written through; the movie still arrives under its own name.
TEST(FObjCollectionSafety, NeverWritesThroughAPlantedPartialFile) {
    TempDir dir;
    const std::filesystem::path victim = dir.path() / "victim";
    { std::ofstream(victim) << "keep"; }
    std::filesystem::create_symlink(victim, dir.path() / "movie.swf.part");
    FObjCollection movie;
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    ASSERT_TRUE(movie.CreateMovie(dir.path() / "movie.swf", 11000, 8000, 12));
    EXPECT_EQ(ReadFileBytes(victim), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(ReadFileBytes(dir.path() / "movie.swf").size(), 25u); // header, ShowFrame, End
}

namespace {

// Tags of a small movie of three frames: a shape, a JPEG, placements.
void AddFrame(FObjCollection& movie, int frame, const std::vector<unsigned char>& jpeg) {
    if (frame == 0) {
        movie.AddFObj(std::make_unique<FCTSetBackgroundColor>(std::make_unique<FColor>(1, 2, 3)));
        movie.AddFObj(EmptyShape());
    }
    if (frame == 1) movie.AddFObj(std::make_unique<FDTDefineBitsJPEG2>(jpeg.data(), jpeg.size()));
    movie.AddFObj(std::make_unique<FCTRemoveObject2>(static_cast<std::uint16_t>(frame + 1)));
    movie.AddFObj(std::make_unique<FCTShowFrame>());
}

} // namespace

// Written frame by frame, each frame's tags released once written: the same
// bytes as the whole movie in one buffer, the header patched at the end.
TEST(FObjCollectionStreaming, FrameByFrameGivesTheWholeBufferBytes) {
    TempDir dir;
    const std::vector<unsigned char> jpeg(300, 0x5A);
    FObjCollection streamed;
    ASSERT_TRUE(streamed.BeginMovie(dir.path() / "s.swf", 11000, 8000, 12));
    for (int frame = 0; frame < 3; ++frame) {
        AddFrame(streamed, frame, jpeg);
        ASSERT_TRUE(streamed.WritePending());
        EXPECT_EQ(streamed.ObjectCount(), 0u);
    }
    ASSERT_TRUE(streamed.FinishMovie());
    EXPECT_EQ(NextCharacterID(), 1); // set back for the next movie
    ResetCharacterID();

    FObjCollection whole;
    for (int frame = 0; frame < 3; ++frame)
        AddFrame(whole, frame, jpeg);
    FSWFStream stream;
    whole.WriteMovie(stream, 11000, 8000, 12);
    const Bytes file = ReadFileBytes(dir.path() / "s.swf");
    EXPECT_EQ(file, stream.SplicedBytes());
    EXPECT_EQ(streamed.BytesSoFar(), file.size());
    EXPECT_EQ(streamed.FrameCount(), 3);
}

// The header's 32-bit length caps a movie: one that would pass it is refused
// before its bytes are written, and nothing is left behind.
TEST(FObjCollectionStreaming, AMovieBeyondFourGibibytesIsRefused) {
    TempDir dir;
    const auto path = dir.path() / "movie.swf";
    std::ofstream(path) << "old";
    const unsigned char byte = 0;
    FObjCollection movie;
    ASSERT_TRUE(movie.BeginMovie(path, 11000, 8000, 12));
    // Referenced, never read: header 21, JPEG tag 12 + size, ShowFrame 2 and
    // End 2 make one byte more than the limit.
    movie.AddFObj(std::make_unique<FDTDefineBitsJPEG2>(&byte, std::size_t(0xFFFFFFFFu) - 36));
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    EXPECT_FALSE(movie.WritePending());
    EXPECT_EQ(movie.LastFailure(), FObjCollection::WriteFailure::TooLarge);
    EXPECT_FALSE(movie.FinishMovie());
    EXPECT_EQ(ReadFileBytes(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(NextCharacterID(), 1);
    ResetCharacterID();
}
