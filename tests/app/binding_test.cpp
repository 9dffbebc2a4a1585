#include "app/imaging/PixmillBinding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingReporter final : public BindingReporter {
public:
    void showMessage(const std::string& m) override { messages.push_back(m); }
    void requestTerminate() override { ++terminations; }
    std::vector<std::string> messages;
    int terminations = 0;
};

TEST(PixmillBinding, LoadsTheLibraryNextToTheProgram) {
    RecordingReporter r;
    EXPECT_TRUE(BindPixmill(MOVI_BIN_DIR "/", r));
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(r.terminations, 0);
    EXPECT_TRUE(Pixmill.complete());
    // The bound functions work: a blank picture, one pixel, released again.
    DibRecord rec{};
    ASSERT_TRUE(Pixmill.newdib(&rec, 2, 2, 24, nullptr, 0));
    Pixmill.setpixel(&rec, 1, 0, 0x0000FF);
    EXPECT_EQ(Pixmill.getpixel(&rec, 1, 0), 0x0000FF);
    Pixmill.deldib(&rec);
    DibRecord empty{};
    Pixmill.deldib(&empty); // an all-zero record is accepted
}

TEST(PixmillBinding, MissingLibraryFailsTheLoadAndEveryLookUp) {
    RecordingReporter r;
    EXPECT_FALSE(BindPixmill("/nonexistent-folder/", r));
    // The load, then "OpenDib", "deldib", "SaveDib", "newdib".
    EXPECT_EQ(r.messages, std::vector<std::string>(5, "Could not load file Pixmill.DLL"));
    EXPECT_EQ(r.terminations, 5);
    EXPECT_EQ(Pixmill.OpenDib, nullptr);
    EXPECT_FALSE(Pixmill.complete());
}

TEST(PixmillBinding, EachMissingEntryPointIsReported) {
    RecordingReporter r;
    EXPECT_FALSE(BindPixmill(PARTIAL_LIBRARY_DIR, r));
    // deldib, newdib, getpixel and setpixel are missing.
    EXPECT_EQ(r.messages.size(), 4u);
    EXPECT_EQ(r.terminations, 4);
    EXPECT_NE(Pixmill.OpenDib, nullptr);
    EXPECT_NE(Pixmill.SaveDib, nullptr);
    EXPECT_EQ(Pixmill.deldib, nullptr);
}

// The command-line programs print each fixed message with the loader's reason.
TEST(PixmillBinding, ConsoleReporterAddsTheSystemsReason) {
    ConsoleBindingReporter missing;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(BindPixmill("/nonexistent-folder/", missing));
    std::string out = testing::internal::GetCapturedStderr();
    const std::string noFile = "/nonexistent-folder/libpixmill.so: cannot open shared object "
                               "file: No such file or directory";
    EXPECT_EQ(out, "Could not load file Pixmill.DLL\n  " + noFile +
                       "\nCould not load file Pixmill.DLL\n  OpenDib: the library is not loaded"
                       "\nCould not load file Pixmill.DLL\n  deldib: the library is not loaded"
                       "\nCould not load file Pixmill.DLL\n  SaveDib: the library is not loaded"
                       "\nCould not load file Pixmill.DLL\n  newdib: the library is not loaded\n");
    EXPECT_EQ(missing.firstReason, noFile);

    ConsoleBindingReporter partial(true); // quiet: nothing printed, the reason kept
    testing::internal::CaptureStderr();
    EXPECT_FALSE(BindPixmill(PARTIAL_LIBRARY_DIR, partial));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(partial.firstReason,
              std::string(PARTIAL_LIBRARY_DIR) + "libpixmill.so: undefined symbol: deldib");
    EXPECT_TRUE(partial.terminateRequested);
}

TEST(PixmillBinding, ProgramFolderEndsWithSlash) {
    const std::string dir = ProgramFolder();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(dir, MOVI_BIN_DIR "/");
}

} // namespace
