#include "uninstall/Removal.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace uninstall;
using platform::Hive;
using platform::KeyStore;
using platform::RecordingShellNotifier;
using Notice = RecordingShellNotifier::Notice;
using Event = RecordingShellNotifier::Event;
using uninstall_test::writeFile;
namespace fs = std::filesystem;

namespace {

std::string uninstallKey(const std::string& name) {
    return std::string(UninstallKey) + "\\" + name;
}

// A temporary installation: files in sub-folders, a program group with three
// shortcuts in a Programs folder recorded in the key store, an uninstall key
// with values and subkeys beside another program's key, and a folder outside
// all of it that nothing may touch.
class RemovalTest : public testing::Test {
protected:
    uninstall_test::TempFolder temp;
    fs::path install = temp.path() / "inst";
    fs::path menu = temp.path() / "menu";
    fs::path group = menu / "Tarvelo";
    fs::path outside = temp.path() / "outside";
    fs::path cwd = temp.path() / "cwd";
    KeyStore keys{temp.path() / "registry"};
    RecordingShellNotifier notifier;
    RemovalEnvironment env{keys, notifier, cwd};
    InstallLog log;

    void SetUp() override {
        for (const char* f : {"movi.exe", "doc/readme.txt", "doc/img/a.png", "uninstall"})
            writeFile(install / f);
        for (const char* f : {"Movi-Loomster.lnk", "Liesmich.lnk", "Uninstall.lnk"})
            writeFile(group / f);
        writeFile(outside / "victim.txt");
        writeFile(outside / "victim.lnk");
        fs::create_directories(cwd);
        ASSERT_TRUE(
            keys.writeString(Hive::CurrentUser, ShellFoldersKey, ProgramsValue, menu.string()));
        ASSERT_TRUE(keys.writeString(Hive::LocalMachine, uninstallKey("Movi-Loomster"),
                                     "DisplayName", "Movi-Loomster"));
        ASSERT_TRUE(keys.createKey(Hive::LocalMachine, uninstallKey("Movi-Loomster\\Sub\\Deeper")));
        ASSERT_TRUE(keys.createKey(Hive::LocalMachine, uninstallKey("Movi-Loomster\\Another")));
        ASSERT_TRUE(
            keys.writeString(Hive::LocalMachine, uninstallKey("Other"), "DisplayName", "Other"));

        log.ProgramName = "Movi-Loomster";
        log.UninstallKeyName = "Movi-Loomster";
        log.GroupName = "Tarvelo";
        log.Entries = {{"movi.exe", "Movi-Loomster"},
                       {"doc\\readme.txt", "Liesmich"},
                       {"doc\\img\\a.png", "NEIN!"},
                       {"uninstall", "DEINST!"}};
    }

    RemovalReport run() { return RemoveInstallation(install.string() + "/", log, env); }

    void expectOutsideUntouched() {
        EXPECT_TRUE(fs::exists(outside / "victim.txt"));
        EXPECT_TRUE(fs::exists(outside / "victim.lnk"));
        for (const Notice& n : notifier.notices())
            EXPECT_EQ(n.path.find(outside.string()), std::string::npos) << n.path;
    }

    void expectKeysBesideUntouched() {
        EXPECT_TRUE(keys.keyExists(Hive::LocalMachine, std::string(UninstallKey)));
        EXPECT_TRUE(keys.keyExists(Hive::LocalMachine, uninstallKey("Other")));
        EXPECT_TRUE(keys.keyExists(Hive::CurrentUser, std::string(ShellFoldersKey)));
    }
};

TEST_F(RemovalTest, RemovesTheWholeInstallation) {
    const RemovalReport report = run();

    EXPECT_FALSE(fs::exists(install));
    EXPECT_FALSE(fs::exists(group));
    EXPECT_TRUE(fs::exists(menu));
    EXPECT_FALSE(keys.keyExists(Hive::LocalMachine, uninstallKey("Movi-Loomster")));
    expectKeysBesideUntouched();
    expectOutsideUntouched();

    const std::string g = group.string();
    EXPECT_EQ(notifier.notices(), (std::vector<Notice>{
                                      {Event::ItemDeleted, g + "/Movi-Loomster.lnk"},
                                      {Event::FolderUpdated, g + "/"},
                                      {Event::ItemDeleted, g + "/Liesmich.lnk"},
                                      {Event::FolderUpdated, g + "/"},
                                      {Event::ItemDeleted, g + "/Uninstall.lnk"},
                                      {Event::FolderUpdated, g + "/"},
                                      {Event::FolderUpdated, menu.string() + "/"},
                                  }));
    EXPECT_EQ(report.DeletedFiles.size(), 4u);
    EXPECT_EQ(report.DeletedShortcuts.size(), 3u);
    EXPECT_TRUE(report.InstallFolderRemoved);
    EXPECT_TRUE(report.GroupFolderRemoved);
    EXPECT_EQ(report.Key, KeyRemoval::Removed);
    EXPECT_TRUE(report.Skipped.empty());
}

TEST_F(RemovalTest, ForeignItemsKeepTheirFolders) {
    writeFile(install / "doc" / "mine.txt");
    writeFile(group / "Foreign.lnk");
    // "NEIN!" means no shortcut, not a shortcut named so.
    writeFile(group / "NEIN!.lnk");
    const RemovalReport report = run();

    EXPECT_TRUE(fs::exists(install / "doc" / "mine.txt"));
    EXPECT_FALSE(fs::exists(install / "doc" / "readme.txt"));
    EXPECT_FALSE(fs::exists(install / "doc" / "img"));
    EXPECT_FALSE(fs::exists(install / "movi.exe"));
    EXPECT_FALSE(report.InstallFolderRemoved);
    EXPECT_TRUE(fs::exists(group / "Foreign.lnk"));
    EXPECT_TRUE(fs::exists(group / "NEIN!.lnk"));
    EXPECT_FALSE(fs::exists(group / "Liesmich.lnk"));
    EXPECT_FALSE(report.GroupFolderRemoved);
    EXPECT_TRUE(report.Skipped.empty());
    // The containing folder is told about the attempt either way.
    EXPECT_EQ(notifier.notices().back(), (Notice{Event::FolderUpdated, menu.string() + "/"}));
}

TEST_F(RemovalTest, MissingItemsAreIgnoredAndStillNotified) {
    fs::remove(install / "movi.exe");
    fs::remove(group / "Movi-Loomster.lnk");
    keys.deleteKeyTree(Hive::LocalMachine, uninstallKey("Movi-Loomster"));
    const RemovalReport report = run();

    EXPECT_FALSE(fs::exists(install));
    EXPECT_FALSE(fs::exists(group));
    EXPECT_EQ(report.Key, KeyRemoval::Failed);
    ASSERT_FALSE(notifier.notices().empty());
    EXPECT_EQ(notifier.notices().front(),
              (Notice{Event::ItemDeleted, group.string() + "/Movi-Loomster.lnk"}));
}

TEST_F(RemovalTest, ZeroEntriesStillRemoveTheFoldersAndTheKey) {
    fs::remove_all(install);
    fs::create_directory(install);
    fs::remove_all(group);
    fs::create_directory(group);
    log.Entries.clear();
    const RemovalReport report = run();

    EXPECT_FALSE(fs::exists(install));
    EXPECT_FALSE(fs::exists(group));
    EXPECT_FALSE(keys.keyExists(Hive::LocalMachine, uninstallKey("Movi-Loomster")));
    EXPECT_EQ(notifier.notices(),
              (std::vector<Notice>{{Event::FolderUpdated, menu.string() + "/"}}));
    EXPECT_TRUE(report.DeletedFiles.empty());
}

TEST_F(RemovalTest, WithoutProgramsValueTheGroupIsTakenFromTheCurrentFolder) {
    ASSERT_TRUE(keys.deleteKeyTree(Hive::CurrentUser, "SOFTWARE"));
    writeFile(cwd / "Tarvelo" / "Movi-Loomster.lnk");
    const RemovalReport report = run();

    EXPECT_FALSE(fs::exists(cwd / "Tarvelo"));
    EXPECT_TRUE(fs::exists(cwd));
    EXPECT_TRUE(fs::exists(group / "Movi-Loomster.lnk"));
    ASSERT_TRUE(report.GroupFolder);
    EXPECT_EQ(*report.GroupFolder, cwd / "Tarvelo");
}

TEST_F(RemovalTest, OnlyFoldersThisRunEmptiedAreRemoved) {
    // Emptied only through the removal of its emptied sub-folder.
    writeFile(install / "a" / "b" / "deep.txt");
    log.Entries.push_back({"a\\b\\deep.txt", "NEIN!"});
    // Empty before the run, and named by a listed file that never existed.
    fs::create_directories(install / "empty");
    log.Entries.push_back({"empty\\ghost.txt", "NEIN!"});
    // Empty before the run, inside a folder this run empties otherwise.
    fs::create_directories(install / "doc" / "old");
    const RemovalReport report = run();

    EXPECT_FALSE(fs::exists(install / "a"));
    EXPECT_FALSE(fs::exists(install / "doc" / "img"));
    EXPECT_TRUE(fs::is_directory(install / "empty"));
    EXPECT_TRUE(fs::is_directory(install / "doc" / "old"));
    EXPECT_FALSE(fs::exists(install / "doc" / "readme.txt"));
    EXPECT_FALSE(report.InstallFolderRemoved);
    EXPECT_EQ(report.DeletedFiles.size(), 5u);
}

TEST_F(RemovalTest, GroupFolderThatIsALinkIsNeverFollowed) {
    for (const char* f : {"Movi-Loomster.lnk", "Liesmich.lnk", "Uninstall.lnk"})
        writeFile(outside / f);
    fs::remove_all(group);
    fs::create_directory_symlink(outside, group);
    const RemovalReport report = run();

    for (const char* f : {"Movi-Loomster.lnk", "Liesmich.lnk", "Uninstall.lnk"})
        EXPECT_TRUE(fs::exists(outside / f)) << f;
    EXPECT_TRUE(fs::is_symlink(group));
    EXPECT_TRUE(report.GroupFolderIsLink);
    EXPECT_FALSE(report.GroupFolderRemoved);
    EXPECT_TRUE(report.DeletedShortcuts.empty());
    EXPECT_TRUE(notifier.notices().empty());
    EXPECT_EQ(report.Skipped, (std::vector<SkippedItem>{
                                  {1, SkipReason::GroupFolderIsLink, "Movi-Loomster.lnk"},
                                  {2, SkipReason::GroupFolderIsLink, "Liesmich.lnk"},
                                  {4, SkipReason::GroupFolderIsLink, "Uninstall.lnk"},
                              }));
    expectOutsideUntouched();
    // Everything else goes as usual.
    EXPECT_FALSE(fs::exists(install));
    EXPECT_FALSE(keys.keyExists(Hive::LocalMachine, uninstallKey("Movi-Loomster")));
}

class EmptyGroupName : public RemovalTest, public testing::WithParamInterface<const char*> {};

TEST_P(EmptyGroupName, NeverRemovesTheProgramsFolder) {
    fs::remove_all(group);
    writeFile(menu / "Movi-Loomster.lnk");
    log.GroupName = GetParam();
    const RemovalReport report = run();

    EXPECT_FALSE(fs::exists(menu / "Movi-Loomster.lnk"));
    EXPECT_TRUE(fs::is_directory(menu));
    EXPECT_FALSE(report.GroupFolderRemoved);
    for (const Notice& n : notifier.notices())
        EXPECT_NE(n.path, temp.path().string() + "/");
}

const char* const EmptyGroupRows[] = {"Empty", "Dot", "Climbing"};
INSTANTIATE_TEST_SUITE_P(Group, EmptyGroupName, testing::Values("", ".", "Tarvelo\\.."),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(EmptyGroupRows[info.index]);
                         });

struct TraversalCase {
    const char* name;
    std::string fileName; // "@OUT@" stands for the outside folder's absolute path
    std::string linkName;
    std::string groupName;
    SkipReason reason;
};

void PrintTo(const TraversalCase& c, std::ostream* os) {
    *os << c.name;
}

class Traversal : public RemovalTest, public testing::WithParamInterface<TraversalCase> {
protected:
    std::string expand(std::string text) {
        const std::string marker = "@OUT@";
        if (auto at = text.find(marker); at != std::string::npos)
            text.replace(at, marker.size(), outside.string());
        return text;
    }
};

TEST_P(Traversal, IsRefusedAndNothingOutsideIsTouched) {
    const TraversalCase& c = GetParam();
    fs::create_directory_symlink(outside, install / "linkout");
    fs::create_directory_symlink(outside, group / "linkout");
    log.Entries.push_back({expand(c.fileName), expand(c.linkName)});
    log.GroupName = expand(c.groupName);
    const RemovalReport report = run();

    expectOutsideUntouched();
    EXPECT_TRUE(fs::exists(outside));
    ASSERT_FALSE(report.Skipped.empty());
    EXPECT_TRUE(std::any_of(report.Skipped.begin(), report.Skipped.end(),
                            [&](const SkippedItem& s) { return s.Reason == c.reason; }));
    if (c.reason == SkipReason::GroupOutsidePrograms) {
        // The whole group step is left out, so the group stays as it was.
        EXPECT_TRUE(fs::exists(group / "Movi-Loomster.lnk"));
        EXPECT_TRUE(notifier.notices().empty());
    }
    // The sound entries are still removed.
    EXPECT_FALSE(fs::exists(install / "movi.exe"));
    EXPECT_FALSE(keys.keyExists(Hive::LocalMachine, uninstallKey("Movi-Loomster")));
}

INSTANTIATE_TEST_SUITE_P(
    Names, Traversal,
    testing::Values(TraversalCase{"FileInParentFolder", "..\\outside\\victim.txt", "NEIN!",
                                  "Tarvelo", SkipReason::FileOutsideInstallFolder},
                    TraversalCase{"FileClimbingThroughSubfolder",
                                  "doc\\..\\..\\outside\\victim.txt", "NEIN!", "Tarvelo",
                                  SkipReason::FileOutsideInstallFolder},
                    TraversalCase{"FileAbsolute", "@OUT@/victim.txt", "NEIN!", "Tarvelo",
                                  SkipReason::FileOutsideInstallFolder},
                    TraversalCase{"FileWithDriveLetter", "C:\\outside\\victim.txt", "NEIN!",
                                  "Tarvelo", SkipReason::FileOutsideInstallFolder},
                    TraversalCase{"FileNamingTheFolder", "", "NEIN!", "Tarvelo",
                                  SkipReason::FileOutsideInstallFolder},
                    TraversalCase{"FileThroughSymbolicLink", "linkout\\victim.txt", "NEIN!",
                                  "Tarvelo", SkipReason::FileOutsideInstallFolder},
                    TraversalCase{"LinkInParentFolders", "nothing", "..\\..\\outside\\victim",
                                  "Tarvelo", SkipReason::LinkOutsideGroupFolder},
                    TraversalCase{"LinkAbsolute", "nothing", "@OUT@/victim", "Tarvelo",
                                  SkipReason::LinkOutsideGroupFolder},
                    TraversalCase{"LinkThroughSymbolicLink", "nothing", "linkout\\victim",
                                  "Tarvelo", SkipReason::LinkOutsideGroupFolder},
                    TraversalCase{"GroupInParentFolder", "nothing", "victim", "..\\outside",
                                  SkipReason::GroupOutsidePrograms},
                    TraversalCase{"GroupClimbing", "nothing", "victim", "Tarvelo\\..\\..\\outside",
                                  SkipReason::GroupOutsidePrograms},
                    TraversalCase{"GroupAbsolute", "nothing", "victim", "@OUT@",
                                  SkipReason::GroupOutsidePrograms}),
    [](const testing::TestParamInfo<TraversalCase>& info) { return std::string(info.param.name); });

class UnusableKeyName : public RemovalTest, public testing::WithParamInterface<const char*> {};

TEST_P(UnusableKeyName, LeavesTheRegistryAlone) {
    log.UninstallKeyName = GetParam();
    const RemovalReport report = run();

    EXPECT_EQ(report.Key, KeyRemoval::Refused);
    EXPECT_TRUE(keys.keyExists(Hive::LocalMachine, uninstallKey("Movi-Loomster\\Sub\\Deeper")));
    expectKeysBesideUntouched();
    EXPECT_EQ(report.Skipped.back().Reason, SkipReason::BadKeyName);
    EXPECT_FALSE(fs::exists(install));
}

INSTANTIATE_TEST_SUITE_P(Key, UnusableKeyName,
                         testing::Values("", "..", "..\\Other", "Movi-Loomster\\..\\Other",
                                         "\\Movi-Loomster", "Movi-Loomster\\", "."));

TEST_F(RemovalTest, NestedKeyNameRemovesOnlyThatKey) {
    log.UninstallKeyName = "Movi-Loomster\\Sub";
    EXPECT_EQ(run().Key, KeyRemoval::Removed);
    EXPECT_FALSE(keys.keyExists(Hive::LocalMachine, uninstallKey("Movi-Loomster\\Sub")));
    EXPECT_TRUE(keys.keyExists(Hive::LocalMachine, uninstallKey("Movi-Loomster\\Another")));
}

TEST(LogPath, ReadsBackslashesAsSeparatorsAndDecodesWindows1252) {
    EXPECT_EQ(LogPath("doc\\Lies mich.txt"), "doc/Lies mich.txt");
    EXPECT_EQ(LogPath("Gr\xFC\xDF"
                      "e"),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
}

} // namespace
