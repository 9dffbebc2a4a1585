#include "test_support.h"

#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace testsupport {
namespace {

class NullReporter final : public BindingReporter {
public:
    void showMessage(const std::string& m) override { ADD_FAILURE() << m; }
    void requestTerminate() override {}
};

// Binds the image library built next to the tests once for the whole program.
class PixmillEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        NullReporter reporter;
        ASSERT_TRUE(BindPixmill(MOVI_BIN_DIR "/", reporter));
    }
    void TearDown() override { ClearObjekts(); }
};

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new PixmillEnvironment);

} // namespace

void ResetProject() {
    ClearObjekts();
    Stage = StageSettings();
    ProjectFileName.clear();
    SetProjectView(nullptr);
    SetProjectSinkFactory({});
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace testsupport
