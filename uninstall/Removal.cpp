#include "uninstall/Removal.h"

#include "uninstall/Cp1252.h"

#include <algorithm>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace uninstall {
namespace {

bool isRealDirectory(const fs::path& p) {
    std::error_code ec;
    return fs::symlink_status(p, ec).type() == fs::file_type::directory;
}

// The path lexically normalised and without a trailing separator.
fs::path folderPath(const fs::path& p) {
    fs::path out = p.lexically_normal();
    if (!out.has_filename() && out.has_relative_path()) out = out.parent_path();
    return out;
}

fs::path absoluteAgainst(const fs::path& p, const fs::path& current) {
    return folderPath(p.is_absolute() ? p : current / p);
}

// True when `inner` is `outer` or lies below it, compared part by part.
bool isWithin(const fs::path& inner, const fs::path& outer) {
    auto [outerIt, innerIt] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    (void)innerIt;
    return outerIt == outer.end();
}

std::string withTrailingSlash(const fs::path& folder) {
    std::string text = folder.generic_string();
    if (text.empty() || text.back() != '/') text += '/';
    return text;
}

// The file name, in the group folder, of an entry's shortcut.
std::string shortcutName(const std::string& link) {
    return link == UninstallLink ? std::string(UninstallShortcut) : LogPath(link) + ".lnk";
}

bool isSymlink(const fs::path& p) {
    std::error_code ec;
    return fs::symlink_status(p, ec).type() == fs::file_type::symlink;
}

bool removeFile(const fs::path& p) {
    if (isRealDirectory(p)) return false;
    std::error_code ec;
    return fs::remove(p, ec);
}

// Removes a folder only when it is empty; a symbolic link is left alone.
bool removeEmptyFolder(const fs::path& p) {
    if (!isRealDirectory(p)) return false;
    std::error_code ec;
    return fs::remove(p, ec);
}

} // namespace

std::string LogPath(std::string_view logName) {
    std::string path = Cp1252ToUtf8(logName);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::optional<fs::path> ResolveInside(const fs::path& base, std::string_view relative,
                                      bool allowBase) {
    if (relative.find('\0') != std::string_view::npos) return std::nullopt;
    if (!relative.empty() && relative.front() == '/') return std::nullopt;
    const bool driveLetter =
        relative.size() >= 2 && relative[1] == ':' &&
        ((relative[0] >= 'A' && relative[0] <= 'Z') || (relative[0] >= 'a' && relative[0] <= 'z'));
    if (driveLetter) return std::nullopt;

    const fs::path root = folderPath(base);
    const fs::path resolved = folderPath(root / fs::path(std::string(relative)));
    if (!isWithin(resolved, root)) return std::nullopt;
    const bool isBase = resolved == root;
    if (isBase && !allowBase) return std::nullopt;

    // The folder the name lands in must also be inside the base once
    // symbolic links are followed; the last part itself is never followed
    // (deleting a link deletes the link).
    std::error_code ec;
    const fs::path realRoot = fs::weakly_canonical(root, ec);
    if (ec) return std::nullopt;
    const fs::path realFolder =
        fs::weakly_canonical(isBase ? resolved : resolved.parent_path(), ec);
    if (ec || !isWithin(folderPath(realFolder), folderPath(realRoot))) return std::nullopt;
    return resolved;
}

std::optional<fs::path> GroupFolderFor(const InstallLog& log, const RemovalEnvironment& env,
                                       fs::path* base) {
    const std::string programs =
        env.Keys.readString(platform::Hive::CurrentUser, ShellFoldersKey, ProgramsValue)
            .value_or(std::string());
    const fs::path groupBase = programs.empty() ? folderPath(env.CurrentFolder)
                                                : absoluteAgainst(programs, env.CurrentFolder);
    if (base) *base = groupBase;
    return ResolveInside(groupBase, LogPath(log.GroupName), true);
}

KeyRemoval RemoveUninstallKey(platform::KeyStore& keys, std::string_view keyName) {
    // An empty name would name the Uninstall key itself; "." and ".." parts
    // would lead to another program's entry or out of the key.
    const std::string name = Cp1252ToUtf8(keyName);
    if (name.empty() || !platform::KeyStore::isValidKeyPath(name)) return KeyRemoval::Refused;
    const std::string path = std::string(UninstallKey) + "\\" + name;
    return keys.deleteKeyTree(platform::Hive::LocalMachine, path) ? KeyRemoval::Removed
                                                                  : KeyRemoval::Failed;
}

RemovalReport RemoveInstallation(const std::string& installFolder, const InstallLog& log,
                                 RemovalEnvironment& env) {
    RemovalReport report;
    const fs::path install = absoluteAgainst(fs::path(installFolder), env.CurrentFolder);

    // Installed files. A sub-folder of the installation folder is removed
    // afterwards only when this run emptied it: something in it was removed
    // now and nothing is left. Folders that were empty before, or that only
    // "held" listed files that did not exist, stay.
    std::vector<fs::path> folders;
    std::set<fs::path> emptiedNow; // folders this run removed something from
    for (std::size_t i = 0; i < log.Entries.size(); ++i) {
        const std::string name = LogPath(log.Entries[i].FileName);
        auto file = ResolveInside(install, name, false);
        if (!file) {
            report.Skipped.push_back(
                {static_cast<int>(i + 1), SkipReason::FileOutsideInstallFolder, name});
            continue;
        }
        if (!removeFile(*file)) continue;
        report.DeletedFiles.push_back(*file);
        emptiedNow.insert(file->parent_path());
        for (fs::path folder = file->parent_path(); folder != install && isWithin(folder, install);
             folder = folder.parent_path())
            folders.push_back(folder);
    }
    // Deepest first, so that a folder's parent is looked at after it.
    auto depth = [](const fs::path& p) { return std::distance(p.begin(), p.end()); };
    std::sort(folders.begin(), folders.end(), [&](const fs::path& a, const fs::path& b) {
        return depth(a) != depth(b) ? depth(a) > depth(b) : a < b;
    });
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const fs::path& folder : folders) {
        if (emptiedNow.count(folder) && removeEmptyFolder(folder))
            emptiedNow.insert(folder.parent_path());
    }
    report.InstallFolderRemoved = removeEmptyFolder(install);

    // Shortcuts in the program group, each followed by its two shell
    // notices whether or not the deletion succeeded.
    fs::path groupBase;
    report.GroupFolder = GroupFolderFor(log, env, &groupBase);
    if (!report.GroupFolder) {
        report.Skipped.push_back({0, SkipReason::GroupOutsidePrograms, LogPath(log.GroupName)});
    } else if (*report.GroupFolder != groupBase && isSymlink(*report.GroupFolder)) {
        // A group folder that is a link would send the deletions to wherever
        // it points: its shortcuts are skipped and the link stays.
        report.GroupFolderIsLink = true;
        for (std::size_t i = 0; i < log.Entries.size(); ++i) {
            const std::string& link = log.Entries[i].LinkName;
            if (link == NoLink) continue;
            const std::string name = shortcutName(link);
            report.Skipped.push_back(
                {static_cast<int>(i + 1), SkipReason::GroupFolderIsLink, name});
        }
    } else {
        const fs::path& group = *report.GroupFolder;
        for (std::size_t i = 0; i < log.Entries.size(); ++i) {
            const std::string& link = log.Entries[i].LinkName;
            if (link == NoLink) continue;
            const std::string name = shortcutName(link);
            auto shortcut = ResolveInside(group, name, false);
            if (!shortcut) {
                report.Skipped.push_back(
                    {static_cast<int>(i + 1), SkipReason::LinkOutsideGroupFolder, name});
                continue;
            }
            if (removeFile(*shortcut)) report.DeletedShortcuts.push_back(*shortcut);
            env.Notifier.itemDeleted(shortcut->generic_string());
            env.Notifier.folderUpdated(withTrailingSlash(shortcut->parent_path()));
        }
        // An empty group name makes the group folder the Programs folder
        // (or the current folder) itself, which is never removed.
        if (group != groupBase) {
            report.GroupFolderRemoved = removeEmptyFolder(group);
            env.Notifier.folderUpdated(withTrailingSlash(group.parent_path()));
        }
    }

    report.Key = RemoveUninstallKey(env.Keys, log.UninstallKeyName);
    if (report.Key == KeyRemoval::Refused)
        report.Skipped.push_back({0, SkipReason::BadKeyName, Cp1252ToUtf8(log.UninstallKeyName)});
    return report;
}

} // namespace uninstall
