#include "editor/model/ProjectFile.h"

#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include <sys/stat.h>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

const std::string kOpenError = "ファイルを開くことができませんでした.";
const std::string kCreateError = "エラー: ファイルを作成できません";

void appendI32(std::vector<unsigned char>& b, int32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * i)));
}

std::vector<unsigned char> header(int32_t w, int32_t h, int32_t fps, int32_t colour,
                                  int32_t count) {
    std::vector<unsigned char> b(ProjectSignature, ProjectSignature + 26);
    for (int32_t v : {w, h, fps, colour, count})
        appendI32(b, v);
    return b;
}

class ProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetProject();
        SetProjectView(&view);
    }
    void TearDown() override { testsupport::ResetProject(); }

    // A project with one element of every kind, a 3 x 2 picture and
    // non-default settings everywhere.
    void buildSample() {
        Stage.setWidth(640);
        Stage.setHeight(360);
        Stage.setFramesPerSecond(30);
        Stage.setBackgroundColor(0x00336699);
        Stage.setRepeat(false);
        Objekt* t = AddObjekt(okText);
        ReplaceString(t->Text, "\x82\xA0\x82\xA2"); // あい
        t->Start = {1, 2, 3, 4, 5, 6, 7, 8, 0x112233};
        t->End = {-1, -2, -3, -4, 50, -600, 7000, 80, static_cast<int32_t>(0x80000008)};
        t->DeleteAtEnd = 0;
        Objekt* d = AddObjekt(okDrawing);
        d->DrawKind = dkEllipse;
        ReplaceString(d->FontName, "Arial");
        DibRecord pic{};
        ASSERT_TRUE(Pixmill.newdib(&pic, 3, 2, 24, nullptr, 0));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                Pixmill.setpixel(&pic, x, y, 0x010203 * (1 + x + 3 * y));
        AddObjekt(okPicture, &pic);
        Objekt* b = AddObjekt(okButton);
        ReplaceString(b->Text, "");
        b->Kind = 7; // kinds outside 0..3 load and save unchanged
    }

    std::string savedSample() {
        buildSample();
        std::string path = dir.file("sample.fmo");
        EXPECT_TRUE(SaveProject(path));
        return path;
    }

    testsupport::RecordingView view;
    testsupport::TempDir dir;
};

TEST_F(ProjectFileTest, EmptyProjectIsFortySevenBytes) {
    const std::string path = dir.file("empty.fmo");
    ASSERT_TRUE(SaveProject(path));
    std::vector<unsigned char> expected = header(550, 400, 12, 0xFFFFFF, 0);
    expected.push_back(1); // repeat
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_EQ(ProjectFileName, path);
    EXPECT_EQ(view.captionUpdates, 1);
}

TEST_F(ProjectFileTest, DefaultTextElementBlockIs115Bytes) {
    AddObjekt(okText);
    const std::string path = dir.file("one.fmo");
    ASSERT_TRUE(SaveProject(path));
    std::vector<unsigned char> bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 47u + 115u);
    std::vector<unsigned char> block(bytes.begin() + 46, bytes.end() - 1);
    std::vector<unsigned char> expected;
    appendI32(expected, 0); // kind
    appendI32(expected, 0); // draw kind
    appendI32(expected, 9);
    for (unsigned char c : std::string("\x83\x65\x83\x4C\x83\x58\x83\x67", 9))
        expected.push_back(c);
    appendI32(expected, 14);
    for (unsigned char c : std::string(DefaultFontName, 14))
        expected.push_back(c);
    appendI32(expected, 1); // delete at end
    for (int32_t v : {10, 10, 50, 50, 24, 0, 0, 0, static_cast<int32_t>(0x80000008)})
        appendI32(expected, v);
    for (int32_t v : {110, 110, 150, 150, 24, 0, 1000, 0, static_cast<int32_t>(0x80000008)})
        appendI32(expected, v);
    EXPECT_EQ(block, expected);
}

TEST_F(ProjectFileTest, RoundTripKeepsEveryFieldOfEveryKind) {
    const std::string path = savedSample();
    const std::vector<unsigned char> first = ReadBytes(path);
    testsupport::ResetProject();
    SetProjectView(&view);
    Stage.setRepeat(true);
    ASSERT_TRUE(LoadProject(path));
    EXPECT_EQ(view.loads, 1);
    EXPECT_EQ(ProjectFileName, path);
    EXPECT_EQ(Stage.width(), 640);
    EXPECT_EQ(Stage.height(), 360);
    EXPECT_EQ(Stage.framesPerSecond(), 30);
    EXPECT_EQ(Stage.backgroundColor(), 0x00336699);
    EXPECT_FALSE(Stage.repeat());
    ASSERT_EQ(ObjektList.Count, 4);

    ObjektList.Select(0);
    EXPECT_EQ(CurObjekt->Kind, okText);
    EXPECT_STREQ(CurObjekt->Text, "\x82\xA0\x82\xA2");
    EXPECT_EQ(CurObjekt->DeleteAtEnd, 0);
    EXPECT_EQ(CurObjekt->Start.Transparency, 8);
    EXPECT_EQ(CurObjekt->Start.Color, 0x112233);
    EXPECT_EQ(CurObjekt->End.Rotation, -600);
    EXPECT_EQ(CurObjekt->End.Left, -1);
    EXPECT_EQ(static_cast<uint32_t>(CurObjekt->End.Color), 0x80000008u);

    ObjektList.Select(1);
    EXPECT_EQ(CurObjekt->DrawKind, dkEllipse);
    EXPECT_STREQ(CurObjekt->FontName, "Arial");

    ObjektList.Select(2);
    const DibRecord& pic = CurObjekt->Picture;
    ASSERT_NE(pic.Bits, nullptr);
    EXPECT_EQ(pic.Info->biWidth, 3);
    EXPECT_EQ(pic.Info->biHeight, 2);
    EXPECT_EQ(pic.Info->biBitCount, 24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(Pixmill.getpixel(&pic, x, y), 0x010203 * (1 + x + 3 * y)) << x << "," << y;

    ObjektList.Select(3);
    EXPECT_EQ(CurObjekt->Kind, 7);
    EXPECT_STREQ(CurObjekt->Text, "");

    // Saving again gives the same bytes.
    const std::string again = dir.file("again.fmo");
    ASSERT_TRUE(SaveProject(again));
    EXPECT_EQ(ReadBytes(again), first);
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(ProjectFileTest, SettingsMoveToTheNearerLimitAndMissingRepeatByteKeepsTheSetting) {
    std::vector<unsigned char> bytes = header(5000, 0, 0, 0x123456, 0);
    const std::string path = dir.file("limits.fmo");
    WriteBytes(path, bytes);
    Stage.setRepeat(false);
    ASSERT_TRUE(LoadProject(path));
    EXPECT_EQ(Stage.width(), 2880);
    EXPECT_EQ(Stage.height(), 1);
    EXPECT_EQ(Stage.framesPerSecond(), 1);
    EXPECT_FALSE(Stage.repeat());
    bytes = header(-1, 300, 121, 0, 0); // -1 is read as an unsigned 4294967295
    bytes.push_back(1);
    WriteBytes(path, bytes);
    ASSERT_TRUE(LoadProject(path));
    EXPECT_EQ(Stage.width(), 2880);
    EXPECT_EQ(Stage.framesPerSecond(), 120);
    EXPECT_TRUE(Stage.repeat());
}

TEST_F(ProjectFileTest, StoredValuesLoadUnchanged) {
    std::vector<unsigned char> b = header(550, 400, 12, 0, 1);
    appendI32(b, okButton);
    appendI32(b, 5);
    appendI32(b, 1);
    b.push_back(0);
    appendI32(b, 1);
    b.push_back(0);
    appendI32(b, 42);                                   // any non-zero delete flag is stored as 1
    for (int32_t v : {50, 50, 10, 10, 0, 0, 900, 0, 0}) // inverted rectangle, start after end
        appendI32(b, v);
    for (int32_t v : {0, 0, 0, 0, 0, 0, -5, 0, 0})
        appendI32(b, v);
    const std::string path = dir.file("odd.fmo");
    WriteBytes(path, b);
    ASSERT_TRUE(LoadProject(path));
    ObjektList.Select(0);
    EXPECT_EQ(CurObjekt->Kind, okButton);
    EXPECT_EQ(CurObjekt->DrawKind, 5);
    EXPECT_EQ(CurObjekt->DeleteAtEnd, 1);
    EXPECT_EQ(CurObjekt->Start.Left, 50);
    EXPECT_EQ(CurObjekt->Start.Time, 900);
    EXPECT_EQ(CurObjekt->End.Time, -5);
}

// The open project that every refused file must leave exactly as it was.
void openSomeProject() {
    testsupport::ResetProject();
    AddObjekt(okDrawing)->Start.Left = 1234;
    Stage.setWidth(777);
    ProjectFileName = "/open/project.fmo";
}

void expectOpenProjectUntouched() {
    ASSERT_EQ(ObjektList.Count, 1);
    ObjektList.Select(0);
    EXPECT_EQ(CurObjekt->Start.Left, 1234);
    EXPECT_EQ(Stage.width(), 777);
    EXPECT_EQ(ProjectFileName, "/open/project.fmo");
}

// A damage done to the saved sample (see buildSample: its 513 bytes hold a
// text at 46, a drawing object at 157, the 3 x 2 picture element at 264 with
// its size at 379 and rows at 387, a kind 7 element at 405 and the repeat
// byte at 512), and the reason the reader must give.
struct Damage {
    const char* name;
    std::function<void(std::vector<unsigned char>&)> apply;
    std::string reason;
    int64_t offset;
};

void PrintTo(const Damage& d, std::ostream* os) {
    *os << d.name;
}

void patchI32(std::vector<unsigned char>& b, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * i));
}
auto patched(size_t at, int32_t v) {
    return [at, v](std::vector<unsigned char>& b) { patchI32(b, at, v); };
}
auto pictureSize(int32_t w, int32_t h) {
    return [w, h](std::vector<unsigned char>& b) {
        patchI32(b, 379, w);
        patchI32(b, 383, h);
    };
}
auto cutAt(size_t n) {
    return [n](std::vector<unsigned char>& b) { b.resize(n); };
}

class DamagedFileTest : public ProjectFileTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedFileTest, IsRefusedWithItsReason) {
    std::vector<unsigned char> bytes = ReadBytes(savedSample());
    ASSERT_EQ(bytes.size(), 513u);
    GetParam().apply(bytes);
    openSomeProject();
    SetProjectView(&view);
    const std::string path = dir.file("damaged.fmo");
    WriteBytes(path, bytes);

    ProjectLoadProblem problem;
    EXPECT_FALSE(LoadProject(path, &problem));
    EXPECT_EQ(problem.reason, GetParam().reason);
    EXPECT_EQ(problem.offset, GetParam().offset);
    EXPECT_EQ(view.errors, std::vector<std::string>{kOpenError});
    expectOpenProjectUntouched();

    // The check alone finds the same.
    ProjectLoadProblem checked;
    EXPECT_FALSE(ValidateProjectBytes(bytes.data(), bytes.size(), &checked));
    EXPECT_EQ(checked.reason, GetParam().reason);
}

const std::string kSig = "identification text at byte 0 is not \"Tarvelo Movi-Loomster 1.0\"";

INSTANTIATE_TEST_SUITE_P(
    Rows, DamagedFileTest,
    ::testing::Values(
        Damage{"SignatureFirstByte", [](auto& b) { b[0] = 't'; }, kSig, 0},
        Damage{"SignatureZeroByte", [](auto& b) { b[25] = 'x'; }, kSig, 0},
        Damage{"ShorterThanTheSignature", cutAt(20),
               "identification text at byte 0 runs past the end of the file (20 bytes)", 0},
        Damage{"CutInTheSettings", cutAt(40),
               "background colour at byte 38 runs past the end of the file (40 bytes)", 38},
        Damage{"ElementCountBeyondTheFile", patched(42, 1000000),
               "element count 1000000 at byte 42 is more than the rest of the file can hold (4 "
               "at most)",
               42},
        Damage{"ElementCountAllOnes", patched(42, -1),
               "element count 4294967295 at byte 42 is more than the rest of the file can hold "
               "(4 at most)",
               42},
        Damage{"CutBeforeTheLastBlockEnds", cutAt(500),
               "element 4: end state at byte 500 runs past the end of the file (500 bytes)", 500},
        Damage{"TextLengthBeyondTheFile", patched(54, 0x7FFFFFF0),
               "element 1: text length 2147483632 at byte 54 runs past the end of the file (513 "
               "bytes)",
               54},
        Damage{"TextLengthZero", patched(54, 0),
               "element 1: text length 0 at byte 54 leaves no room for the zero byte", 54},
        Damage{"TextWithoutItsZeroByte", patched(54, 4),
               "element 1: text of 4 bytes at byte 58 does not end in a zero byte", 58},
        Damage{"TextZeroByteOverwritten", [](auto& b) { b[62] = 'x'; },
               "element 1: text of 5 bytes at byte 58 does not end in a zero byte", 58},
        Damage{"NegativeFontNameLength", patched(63, -5),
               "element 1: font name length 4294967291 at byte 63 runs past the end of the file "
               "(513 bytes)",
               63},
        Damage{"NegativePictureWidth", pictureSize(-3, 2),
               "element 3: picture size -3 x 2 at byte 379 is negative", 379},
        Damage{"PictureWidthZeroHeightNot", pictureSize(0, 2),
               "element 3: picture size 0 x 2 at byte 379 has one side zero", 379},
        Damage{"PictureWiderThanTheLibraryTakes", pictureSize(100000, 1),
               "element 3: picture size 100000 x 1 at byte 379 is beyond the image library's "
               "16384 pixels a side",
               379},
        Damage{"PictureOfFourGigapixels", pictureSize(0x10000, 0x10000),
               "element 3: picture size 65536 x 65536 at byte 379 is beyond the image library's "
               "16384 pixels a side",
               379},
        Damage{"PictureOverTheLibrarysMemory", pictureSize(16384, 16384),
               "element 3: picture size 16384 x 16384 at byte 379 needs more than the image "
               "library's 512 MB of pixels",
               379},
        Damage{"PixelRowsBeyondTheFile", pictureSize(3, 100),
               "element 3: pixel data of 900 bytes at byte 387 runs past the end of the file (513 "
               "bytes)",
               387}),
    [](const auto& info) { return std::string(info.param.name); });

// A file long enough for its element count, but the element list's block
// would pass the 2 GiB its size can state.
TEST_F(ProjectFileTest, ElementCountBeyondWhatTheListHolds) {
    std::vector<unsigned char> bytes = ReadBytes(savedSample());
    patchI32(bytes, 42, 1700000);
    bytes.resize(size_t(1700000) * 94 + 46);
    ProjectLoadProblem problem;
    EXPECT_FALSE(ValidateProjectBytes(bytes.data(), bytes.size(), &problem));
    EXPECT_EQ(problem.reason, "element count 1700000 at byte 42 is more than the 1646700 "
                              "elements a project can hold");
}

// Cutting off only the repeat byte leaves a valid file; every shorter cut is
// refused as running past the end (or as holding fewer elements than counted).
TEST_F(ProjectFileTest, EveryShorterCutIsRefused) {
    const std::vector<unsigned char> sample = ReadBytes(savedSample());
    for (size_t n = 0; n + 1 < sample.size(); ++n) {
        ProjectLoadProblem problem;
        EXPECT_FALSE(ValidateProjectBytes(sample.data(), n, &problem)) << n;
        const std::string end = "runs past the end of the file (" + std::to_string(n) + " bytes)";
        const bool pastEnd =
            problem.reason.size() > end.size() &&
            problem.reason.compare(problem.reason.size() - end.size(), end.size(), end) == 0;
        EXPECT_TRUE(pastEnd || problem.reason.rfind("element count 4 at byte 42 is more", 0) == 0)
            << n << ": " << problem.reason;
    }
    EXPECT_TRUE(ValidateProjectBytes(sample.data(), sample.size() - 1));
}

// Paths that are not project files at all; none may block the reader.
struct NotAFile {
    const char* name;
    std::function<std::string(const testsupport::TempDir&)> make;
    std::string reason;
};

void PrintTo(const NotAFile& n, std::ostream* os) {
    *os << n.name;
}

class NotAFileTest : public ProjectFileTest, public ::testing::WithParamInterface<NotAFile> {};

TEST_P(NotAFileTest, IsRefusedBeforeAnyRead) {
    const std::string path = GetParam().make(dir);
    openSomeProject();
    SetProjectView(&view);
    ProjectLoadProblem problem;
    EXPECT_FALSE(LoadProject(path, &problem));
    EXPECT_EQ(problem.reason, GetParam().reason);
    EXPECT_EQ(problem.offset, -1);
    EXPECT_EQ(view.errors, std::vector<std::string>{kOpenError});
    expectOpenProjectUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NotAFileTest,
    ::testing::Values(NotAFile{"Missing", [](const auto& d) { return d.file("missing.fmo"); },
                               "cannot open the file: No such file or directory"},
                      NotAFile{"Folder", [](const auto& d) { return d.path().string(); },
                               "it is a folder, not a file"},
                      // No writer ever opens the pipe: a blocking open or read would hang here.
                      NotAFile{"NamedPipe",
                               [](const auto& d) {
                                   const std::string p = d.file("pipe.fmo");
                                   EXPECT_EQ(mkfifo(p.c_str(), 0600), 0);
                                   return p;
                               },
                               "it is a named pipe, not a regular file"},
                      NotAFile{"Device", [](const auto&) { return std::string("/dev/zero"); },
                               "it is a device, not a regular file"}),
    [](const auto& info) { return std::string(info.param.name); });

// A project with one w x h picture, loaded while another program cuts the file
// to `cut` bytes (0: not cut) between the open and the first read. The sizes
// take each read path: rows in the read buffer, rows read straight into the
// picture in one piece, and padded rows read one system call per batch.
struct Truncation {
    const char* name;
    int32_t width, height;
    size_t cut;
};

void PrintTo(const Truncation& t, std::ostream* os) {
    *os << t.name;
}

class TruncatedWhileLoadingTest : public ProjectFileTest,
                                  public ::testing::WithParamInterface<Truncation> {
protected:
    void TearDown() override {
        SetProjectLoadHook({});
        ProjectFileTest::TearDown();
    }
};

uint8_t shade(int32_t x, int32_t y) {
    return static_cast<uint8_t>(x * 7 + y * 13);
}

TEST_P(TruncatedWhileLoadingTest, IsRefusedAsDamagedOrLoadsWhole) {
    const Truncation& row = GetParam();
    DibRecord pic{};
    ASSERT_TRUE(Pixmill.newdib(&pic, row.width, row.height, 24, nullptr, 0));
    for (int32_t y = 0; y < row.height; ++y)
        for (int32_t x = 0; x < row.width * 3; ++x)
            pic.Bits[int64_t(y) * pic.BytesPerRow + x] = shade(x, y);
    AddObjekt(okPicture, &pic);
    const std::string path = dir.file("big.fmo");
    ASSERT_TRUE(SaveProject(path));
    const size_t size = ReadBytes(path).size();
    openSomeProject();
    SetProjectView(&view);
    SetProjectLoadHook([&] {
        if (row.cut) std::filesystem::resize_file(path, row.cut);
    });

    ProjectLoadProblem problem;
    const bool loaded = LoadProject(path, &problem);
    if (row.cut) {
        EXPECT_FALSE(loaded);
        EXPECT_EQ(problem.reason, "element 1: pixel rows: the file ends at byte " +
                                      std::to_string(row.cut) + " while it held " +
                                      std::to_string(size) +
                                      " bytes when it was opened (another program changed it)");
        EXPECT_EQ(problem.offset, 46 + 115 + 8); // the first pixel row
        expectOpenProjectUntouched();
        return;
    }
    ASSERT_TRUE(loaded) << problem.reason;
    ObjektList.Select(0);
    const DibRecord& got = CurObjekt->Picture;
    ASSERT_EQ(got.Info->biWidth, row.width);
    for (int32_t y = 0; y < row.height; ++y)
        for (int32_t x = 0; x < row.width * 3; ++x)
            ASSERT_EQ(got.Bits[int64_t(y) * got.BytesPerRow + x], shade(x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Rows, TruncatedWhileLoadingTest,
                         ::testing::Values(Truncation{"SmallWhole", 5, 3, 0},
                                           Truncation{"SmallCut", 5, 3, 180},
                                           Truncation{"ContiguousRowsWhole", 3000, 20, 0},
                                           Truncation{"ContiguousRowsCut", 3000, 20, 100000},
                                           Truncation{"PaddedRowsWhole", 3001, 20, 0},
                                           Truncation{"PaddedRowsCutInARow", 3001, 20, 100000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProjectFileTest, SaveFailuresKeepTheOldFileAndName) {
    const std::string path = dir.file("keep.fmo");
    AddObjekt(okText);
    ASSERT_TRUE(SaveProject(path));
    const std::vector<unsigned char> old = ReadBytes(path);
    AddObjekt(okDrawing);
    ProjectFileName = "previous.fmo";

    // A folder that does not exist, and a "folder" that is a file.
    EXPECT_FALSE(SaveProject(dir.file("no/such/folder/x.fmo")));
    EXPECT_FALSE(SaveProject(path + "/x.fmo"));
    EXPECT_EQ(view.errors, (std::vector<std::string>{kCreateError, kCreateError}));

    // A write that fails part-way, as on a full disk.
    struct FailingSink final : ProjectSink {
        explicit FailingSink(std::FILE* f) : file(f) {}
        bool write(const void* data, size_t size) override {
            if (written + size > 100) return false;
            written += size;
            return std::fwrite(data, 1, size, file) == size;
        }
        std::FILE* file;
        size_t written = 0;
    };
    SetProjectSinkFactory([](std::FILE* f) { return std::make_unique<FailingSink>(f); });
    view.errors.clear();
    EXPECT_FALSE(SaveProject(path));
    EXPECT_EQ(view.errors, std::vector<std::string>{kCreateError});
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(ProjectFileName, "previous.fmo");
    // No temporary file is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1);
    SetProjectSinkFactory({});
    EXPECT_TRUE(SaveProject(path));
    EXPECT_NE(ReadBytes(path), old);
}

} // namespace
