#pragma once
// Undoing an installation from its log: the installed files and the folders
// that held them, the shortcuts in the program group, the group folder and
// the program's uninstall registry key. Every step ignores its errors.
//
// The log is a file anyone can edit, and its names decide what is deleted.
// Names that are absolute or climb out of their folder are skipped, a group
// folder that is a symbolic link is never followed, a group folder that is
// the Programs folder itself is never removed, and a key name that would name
// the Uninstall key itself or leave it is not used. Of the sub-folders of the
// installation folder only those this run emptied are removed.

#include "platform/KeyStore.h"
#include "platform/ShellNotifier.h"
#include "uninstall/InstallLog.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace uninstall {

inline constexpr std::string_view ShellFoldersKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr std::string_view ProgramsValue = "Programs";
inline constexpr std::string_view UninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr std::string_view UninstallShortcut = "Uninstall.lnk";

struct RemovalEnvironment {
    platform::KeyStore& Keys;
    platform::ShellNotifier& Notifier;
    // Relative installation and group folders are taken against this one.
    std::filesystem::path CurrentFolder;
};

enum class SkipReason {
    FileOutsideInstallFolder, // a FileName that is absolute, climbs out or names the folder
    LinkOutsideGroupFolder,   // a LinkName that is absolute or climbs out
    GroupOutsidePrograms,     // a GroupName that is absolute or climbs out
    GroupFolderIsLink,        // a shortcut in a group folder that is a symbolic link
    BadKeyName,               // an empty UninstallKeyName, or one that leaves the Uninstall key
};

struct SkippedItem {
    int Entry; // 1-based entry number; 0 for the group and the key name
    SkipReason Reason;
    std::string Name; // the name from the log, as UTF-8
    bool operator==(const SkippedItem&) const = default;
};

enum class KeyRemoval { Removed, Failed, Refused };

struct RemovalReport {
    std::vector<std::filesystem::path> DeletedFiles;
    std::vector<std::filesystem::path> DeletedShortcuts;
    bool InstallFolderRemoved = false;
    std::optional<std::filesystem::path> GroupFolder; // nullopt when the group was refused
    bool GroupFolderRemoved = false;
    bool GroupFolderIsLink = false; // the group folder is a symbolic link, left alone
    KeyRemoval Key = KeyRemoval::Failed;
    std::vector<SkippedItem> Skipped;
};

// A name from the log as a path of this system: Windows-1252 decoded to
// UTF-8, "\" read as "/".
std::string LogPath(std::string_view logName);

// base / relative, lexically normalised, when it stays inside base: not
// absolute (no leading "/" and no drive letter), not climbing out through
// "..", and with its folder not leading out of base through a symbolic
// link. The base itself is accepted only when allowBase is set.
std::optional<std::filesystem::path> ResolveInside(const std::filesystem::path& base,
                                                   std::string_view relative, bool allowBase);

// The program group's folder: the user's Programs folder from the key store
// joined with GroupName, or GroupName alone against CurrentFolder when no
// Programs folder is recorded. `base` receives the folder it is taken
// against. nullopt when GroupName leaves that folder.
std::optional<std::filesystem::path> GroupFolderFor(const InstallLog& log,
                                                    const RemovalEnvironment& env,
                                                    std::filesystem::path* base = nullptr);

// Deletes HKEY_LOCAL_MACHINE\<UninstallKey>\<keyName> with everything below it.
KeyRemoval RemoveUninstallKey(platform::KeyStore& keys, std::string_view keyName);

// The whole removal, in the order: installed files and the sub-folders this
// run emptied, the installation folder, shortcuts with their shell notices,
// the group folder, the registry key. installFolder ends with "/".
RemovalReport RemoveInstallation(const std::string& installFolder, const InstallLog& log,
                                 RemovalEnvironment& env);

} // namespace uninstall
