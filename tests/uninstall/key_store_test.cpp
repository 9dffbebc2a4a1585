#include "platform/KeyStore.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>

using platform::Hive;
using platform::KeyStore;
namespace fs = std::filesystem;

namespace {

class KeyStoreTest : public testing::Test {
protected:
    uninstall_test::TempFolder temp;
    fs::path root = temp.path() / "registry";
    KeyStore keys{root};
};

TEST_F(KeyStoreTest, LooksUpNamesWithoutRegardToCase) {
    ASSERT_TRUE(keys.writeString(Hive::CurrentUser, "Software\\Shell Folders", "Programs", "/p"));
    EXPECT_TRUE(fs::is_regular_file(root / "HKEY_CURRENT_USER" / "Software" / "Shell Folders" /
                                    "Programs"));
    EXPECT_FALSE(keys.keyExists(Hive::LocalMachine, "Software"));
    EXPECT_EQ(keys.readString(Hive::CurrentUser, "SOFTWARE\\SHELL FOLDERS", "programs"), "/p");
    // Writing again through another spelling updates the same value.
    ASSERT_TRUE(keys.writeString(Hive::CurrentUser, "SOFTWARE\\shell folders", "PROGRAMS", "/q"));
    EXPECT_EQ(keys.readString(Hive::CurrentUser, "Software\\Shell Folders", "Programs"), "/q");
    EXPECT_EQ(keys.subkeys(Hive::CurrentUser, "software"),
              std::vector<std::string>{"Shell Folders"});
}

TEST_F(KeyStoreTest, OpeningNeverCreates) {
    EXPECT_FALSE(keys.keyExists(Hive::CurrentUser, "SOFTWARE\\Missing"));
    EXPECT_EQ(keys.readString(Hive::CurrentUser, "SOFTWARE\\Missing", "V"), std::nullopt);
    EXPECT_TRUE(keys.subkeys(Hive::CurrentUser, "SOFTWARE").empty());
    EXPECT_FALSE(keys.deleteKeyTree(Hive::CurrentUser, "SOFTWARE\\Missing"));
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(KeyStoreTest, RefusesPathsThatLeaveTheirHive) {
    uninstall_test::writeFile(temp.path() / "outside" / "value", "keep");
    for (const char* path : {"", "..", "..\\..\\outside", "A\\..\\..", "\\A", "A\\", "A\\\\B", ".",
                             "A/../../outside"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(KeyStore::isValidKeyPath(path));
        EXPECT_FALSE(keys.createKey(Hive::LocalMachine, path));
        EXPECT_FALSE(keys.deleteKeyTree(Hive::LocalMachine, path));
        EXPECT_EQ(keys.readString(Hive::LocalMachine, path, "value"), std::nullopt);
    }
    EXPECT_FALSE(keys.writeString(Hive::LocalMachine, "A", "../../x", "t"));
    EXPECT_EQ(keys.readString(Hive::LocalMachine, "A", ".."), std::nullopt);
    EXPECT_TRUE(fs::exists(temp.path() / "outside" / "value"));
}

TEST_F(KeyStoreTest, DeleteKeyFailsWhileSubkeysRemain) {
    ASSERT_TRUE(keys.createKey(Hive::LocalMachine, "U\\App\\Sub"));
    EXPECT_FALSE(keys.deleteKey(Hive::LocalMachine, "U\\App"));
    EXPECT_TRUE(keys.deleteKey(Hive::LocalMachine, "U\\App\\Sub"));
    EXPECT_TRUE(keys.deleteKey(Hive::LocalMachine, "U\\App"));
    EXPECT_TRUE(keys.keyExists(Hive::LocalMachine, "U"));
}

TEST_F(KeyStoreTest, DeleteKeyTreeRemovesEverythingBelowAndNothingBeside) {
    ASSERT_TRUE(keys.writeString(Hive::LocalMachine, "U\\App", "DisplayName", "App"));
    ASSERT_TRUE(keys.writeString(Hive::LocalMachine, "U\\App\\B\\Deep", "V", "1"));
    ASSERT_TRUE(keys.createKey(Hive::LocalMachine, "U\\App\\A"));
    ASSERT_TRUE(keys.createKey(Hive::LocalMachine, "U\\App\\C"));
    ASSERT_TRUE(keys.writeString(Hive::LocalMachine, "U\\AppOther", "DisplayName", "Other"));
    EXPECT_EQ(keys.subkeys(Hive::LocalMachine, "U\\App"),
              (std::vector<std::string>{"A", "B", "C"}));

    EXPECT_TRUE(keys.deleteKeyTree(Hive::LocalMachine, "U\\App"));
    EXPECT_FALSE(keys.keyExists(Hive::LocalMachine, "U\\App"));
    EXPECT_EQ(keys.readString(Hive::LocalMachine, "U\\AppOther", "DisplayName"), "Other");
    EXPECT_EQ(keys.subkeys(Hive::LocalMachine, "U"), std::vector<std::string>{"AppOther"});
}

TEST_F(KeyStoreTest, DeleteKeyTreeDoesNotFollowLinksOutOfTheStore) {
    uninstall_test::writeFile(temp.path() / "outside" / "file", "keep");
    ASSERT_TRUE(keys.createKey(Hive::LocalMachine, "U\\App"));
    fs::create_directory_symlink(temp.path() / "outside",
                                 root / "HKEY_LOCAL_MACHINE" / "U" / "App" / "Linked");
    EXPECT_TRUE(keys.deleteKeyTree(Hive::LocalMachine, "U\\App"));
    EXPECT_FALSE(keys.keyExists(Hive::LocalMachine, "U\\App"));
    EXPECT_TRUE(fs::exists(temp.path() / "outside" / "file"));
}

TEST(KeyStoreRoot, FollowsTheEnvironment) {
    const char* saved = std::getenv("TARVELO_REGISTRY_ROOT");
    const std::string savedValue = saved ? saved : "";
    setenv("TARVELO_REGISTRY_ROOT", "/srv/registry", 1);
    EXPECT_EQ(KeyStore::defaultRoot(), fs::path("/srv/registry"));
    setenv("TARVELO_REGISTRY_ROOT", "", 1);
    const char* home = std::getenv("HOME");
    if (home && *home) {
        EXPECT_EQ(KeyStore::defaultRoot(), fs::path(home) / ".local/share/tarvelo/registry");
    }
    if (saved)
        setenv("TARVELO_REGISTRY_ROOT", savedValue.c_str(), 1);
    else
        unsetenv("TARVELO_REGISTRY_ROOT");
}

} // namespace
