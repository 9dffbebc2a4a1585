#include "player_test_support.h"

#include "compiler/CompileMovie.h"
#include "editor/MainUnit.h"
#include "player/PlayerWindow.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <fstream>
#include <memory>

namespace playertest {
namespace {

class QtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "player_ui_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] testing::Environment* const qtEnvironment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

void CompileTinyMovie(const std::string& path) {
    testsupport::ResetProject();
    Stage.setWidth(kWidth);
    Stage.setHeight(kHeight);
    Stage.setFramesPerSecond(60);
    Stage.setBackgroundColor(0x00FFFF00); // cyan
    Objekt* o = AddObjekt(okDrawing);
    o->Start = {0, 0, 40, 40, 12, 0, 0, 0, 0x000000FF};
    o->End = {kWidth - 40, 0, kWidth, 40, 12, 0, (kFrames - 1) * 1000 / 60, 0, 0x000000FF};
    o->DeleteAtEnd = 0;
    CompileOptions options;
    options.outputPath = path;
    const CompileResult result = CompileMovie(options);
    testsupport::ResetProject();
    ASSERT_TRUE(result.written);
    ASSERT_EQ(result.frames, kFrames);
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

MessageRecorder::MessageRecorder() {
    player::SetPlayerMessage([this](QWidget*, const QString& title, const QString& text) {
        titles.push_back(title);
        texts.push_back(text);
    });
}

MessageRecorder::~MessageRecorder() {
    player::SetPlayerMessage({});
}

} // namespace playertest
