#include "editor/ProjectFile.h"

#include "app/PixmillBinding.h"
#include "editor/MainUnit.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

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

// Every damaged file is refused with the message and leaves the open project
// exactly as it was.
class DamagedFileTest : public ProjectFileTest {
protected:
    void SetUp() override {
        ProjectFileTest::SetUp();
        samplePath = savedSample();
        sample = ReadBytes(samplePath);
        // The open project: one element, distinct settings.
        testsupport::ResetProject();
        SetProjectView(&view);
        AddObjekt(okDrawing)->Start.Left = 1234;
        Stage.setWidth(777);
        ProjectFileName = "/open/project.fmo";
    }

    void expectRejected(const std::vector<unsigned char>& bytes, const std::string& what) {
        const std::string path = dir.file("damaged.fmo");
        WriteBytes(path, bytes);
        view.errors.clear();
        EXPECT_FALSE(LoadProject(path)) << what;
        ASSERT_EQ(view.errors, std::vector<std::string>{kOpenError}) << what;
        ASSERT_EQ(ObjektList.Count, 1) << what;
        ObjektList.Select(0);
        EXPECT_EQ(CurObjekt->Start.Left, 1234) << what;
        EXPECT_EQ(Stage.width(), 777) << what;
        EXPECT_EQ(ProjectFileName, "/open/project.fmo") << what;
    }

    // Offset of the first element block.
    static constexpr size_t firstBlock = 46;

    std::string samplePath;
    std::vector<unsigned char> sample;
};

TEST_F(DamagedFileTest, TruncatedAtEveryOffset) {
    // Cutting off only the repeat byte is a valid file; every shorter cut is not.
    for (size_t n = 0; n + 1 < sample.size(); ++n)
        expectRejected(std::vector<unsigned char>(sample.begin(), sample.begin() + n),
                       "cut at " + std::to_string(n));
}

TEST_F(DamagedFileTest, WrongSignatureMissingFileAndFolder) {
    std::vector<unsigned char> b = sample;
    b[0] = 't';
    expectRejected(b, "signature");
    b = sample;
    b[25] = 'x'; // the signature's zero byte
    expectRejected(b, "signature terminator");
    view.errors.clear();
    EXPECT_FALSE(LoadProject(dir.file("missing.fmo")));
    EXPECT_FALSE(LoadProject(dir.path().string()));
    EXPECT_EQ(view.errors, (std::vector<std::string>{kOpenError, kOpenError}));
    EXPECT_EQ(ObjektList.Count, 1);
}

TEST_F(DamagedFileTest, DamagedLengthsAndCounts) {
    auto patched = [&](size_t at, int32_t v) {
        std::vector<unsigned char> b = sample;
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * i));
        return b;
    };
    const size_t textLength = firstBlock + 8;
    expectRejected(patched(42, 1000000), "element count beyond the file");
    expectRejected(patched(42, -1), "element count 2^32-1");
    expectRejected(patched(textLength, 0x7FFFFFFF), "text length beyond the file");
    expectRejected(patched(textLength, 0), "text length 0");
    expectRejected(patched(textLength, 4), "text without its zero byte");
    std::vector<unsigned char> b = sample;
    b[textLength + 4 + 4] = 'x'; // the text's zero byte
    expectRejected(b, "text zero byte overwritten");
    const size_t fontLength = textLength + 4 + 5;
    expectRejected(patched(fontLength, -5), "negative font name length");
}

TEST_F(DamagedFileTest, ImpossiblePictureSizes) {
    // Find the picture's size fields: the only element of kind 2.
    size_t at = firstBlock;
    for (int e = 0; e < 2; ++e) { // skip the text and the drawing object
        at += 8;
        uint32_t t;
        std::memcpy(&t, &sample[at], 4);
        at += 4 + t;
        std::memcpy(&t, &sample[at], 4);
        at += 4 + t + 4 + 72;
    }
    ASSERT_EQ(sample[at], 2); // kind
    at += 8;
    uint32_t t;
    std::memcpy(&t, &sample[at], 4);
    at += 4 + t;
    std::memcpy(&t, &sample[at], 4);
    at += 4 + t + 4 + 72;
    const size_t widthAt = at, heightAt = at + 4;
    ASSERT_EQ(sample[widthAt], 3);
    ASSERT_EQ(sample[heightAt], 2);
    auto withSize = [&](int32_t w, int32_t h) {
        std::vector<unsigned char> b = sample;
        for (int i = 0; i < 4; ++i) {
            b[widthAt + i] = static_cast<unsigned char>(static_cast<uint32_t>(w) >> (8 * i));
            b[heightAt + i] = static_cast<unsigned char>(static_cast<uint32_t>(h) >> (8 * i));
        }
        return b;
    };
    expectRejected(withSize(-3, 2), "negative width");
    expectRejected(withSize(3, 0x40000000), "height beyond the file");
    expectRejected(withSize(0x10000, 0x10000), "2^32 pixels");
    expectRejected(withSize(100000, 1), "width above the library's limit");
    expectRejected(withSize(0, 2), "zero width with a height");
}

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
