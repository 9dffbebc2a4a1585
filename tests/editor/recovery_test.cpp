// The recovery store: a copy written off the calling thread with the
// project's exact bytes, removed on discard; copies of running editors are
// never offered, those of ended ones are; declined copies age out of old/.

#include "test_support.h"

#include "editor/model/MainUnit.h"
#include "editor/recovery/RecoveryStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utime.h>

namespace {

namespace fs = std::filesystem;

class RecoveryStoreTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetProject();
        AddObjekt(okText);
        AddObjekt(okDrawing);
    }
    void TearDown() override { testsupport::ResetProject(); }
    testsupport::TempDir dir{"movi-recovery"};
    std::string folder() const { return (dir.path() / "recovery").string(); }
};

TEST_F(RecoveryStoreTest, CopyHoldsTheProjectBytesUntilDiscarded) {
    const std::string saved = (dir.path() / "saved.fmo").string();
    ASSERT_TRUE(SaveProject(saved));
    RecoveryStore store(folder());
    store.setProjectPath(saved);
    store.save(TakeProjectSnapshot());
    ClearObjekts(); // the snapshot is the project as it was handed over
    ASSERT_TRUE(store.flush());
    EXPECT_EQ(testsupport::ReadBytes(store.copyPath()), testsupport::ReadBytes(saved));
    store.discard();
    EXPECT_FALSE(store.hasCopy());
    for (const fs::directory_entry& e : fs::directory_iterator(folder()))
        EXPECT_EQ(e.path().extension(), ".lock") << "only the running editor's lock is left";
}

TEST_F(RecoveryStoreTest, OnlyCopiesOfEndedEditorsAreOfferedForTheirOwnProject) {
    RecoveryStore next(folder());
    {
        RecoveryStore running(folder());
        running.setProjectPath("/p/a.fmo");
        running.save(TakeProjectSnapshot());
        ASSERT_TRUE(running.flush());
        EXPECT_FALSE(next.findOrphan("/p/a.fmo")) << "its editor still runs";
    }
    EXPECT_FALSE(next.findOrphan("")) << "an unnamed project is another project";
    const auto orphan = next.findOrphan("/p/a.fmo");
    ASSERT_TRUE(orphan);
    EXPECT_FALSE(next.readOrphan(*orphan).empty());

    next.setProjectPath("/p/a.fmo");
    next.adopt(*orphan);
    EXPECT_TRUE(next.hasCopy());
    EXPECT_FALSE(next.findOrphan("/p/a.fmo")) << "adopted copies belong to the running editor";
}

TEST_F(RecoveryStoreTest, DeclinedCopiesGoToOldAndAgeOutAfterFourteenDays) {
    {
        RecoveryStore ended(folder());
        ended.save(TakeProjectSnapshot());
    }
    RecoveryStore store(folder());
    const auto orphan = store.findOrphan("");
    ASSERT_TRUE(orphan);
    store.decline(*orphan);
    EXPECT_FALSE(store.findOrphan(""));
    const fs::path old = fs::path(folder()) / "old" / (orphan->id + ".fmo");
    ASSERT_TRUE(fs::exists(old));
    store.expireOld();
    EXPECT_TRUE(fs::exists(old)) << "a fresh copy stays";
    const time_t fifteenDaysAgo = time(nullptr) - 15 * 24 * 3600;
    const utimbuf times{fifteenDaysAgo, fifteenDaysAgo};
    ASSERT_EQ(utime(old.c_str(), &times), 0);
    store.expireOld();
    EXPECT_FALSE(fs::exists(old));
}

} // namespace
