#include "platform/KeyStore.h"

#include "platform/ReplacingFile.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {
namespace {

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool isValidPart(std::string_view part) {
    if (part.empty() || part == "." || part == "..") return false;
    return part.find('/') == std::string_view::npos && part.find('\0') == std::string_view::npos;
}

std::optional<std::vector<std::string_view>> splitKeyPath(std::string_view keyPath) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t end = keyPath.find('\\', start);
        std::string_view part =
            keyPath.substr(start, end == std::string_view::npos ? end : end - start);
        if (!isValidPart(part)) return std::nullopt;
        parts.push_back(part);
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

bool isRealDirectory(const fs::path& p) {
    std::error_code ec;
    return fs::symlink_status(p, ec).type() == fs::file_type::directory;
}

bool isRegularFile(const fs::path& p) {
    std::error_code ec;
    return fs::symlink_status(p, ec).type() == fs::file_type::regular;
}

// The entry of `folder` named `name`, exact or else without regard to ASCII
// case (the first such entry in byte order, so that the choice is stable).
// Symbolic links are never followed: a key is a real folder, a value a
// regular file.
std::optional<fs::path> findEntry(const fs::path& folder, std::string_view name, bool directory) {
    auto fits = [directory](const fs::path& p) {
        return directory ? isRealDirectory(p) : isRegularFile(p);
    };
    fs::path exact = folder / fs::path(std::string(name));
    if (fits(exact)) return exact;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return std::nullopt;
    const std::string wanted = lowerAscii(name);
    std::vector<std::string> matches;
    for (const fs::directory_entry& entry : it) {
        std::string entryName = entry.path().filename().string();
        if (lowerAscii(entryName) == wanted && fits(entry.path()))
            matches.push_back(std::move(entryName));
    }
    if (matches.empty()) return std::nullopt;
    std::sort(matches.begin(), matches.end());
    return folder / matches.front();
}

std::vector<std::string> subfolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return names;
    for (const fs::directory_entry& entry : it)
        if (isRealDirectory(entry.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Removes the key folder's values (everything that is not a real folder)
// and then the folder, which fails while subkeys remain.
bool removeKeyFolder(const fs::path& keyFolder) {
    bool ok = true;
    std::error_code ec;
    std::vector<fs::path> values;
    fs::directory_iterator it(keyFolder, ec);
    if (ec) return false;
    for (const fs::directory_entry& entry : it)
        if (!isRealDirectory(entry.path())) values.push_back(entry.path());
    for (const fs::path& value : values)
        if (!fs::remove(value, ec)) ok = false;
    if (!fs::remove(keyFolder, ec)) ok = false;
    return ok;
}

} // namespace

KeyStore::KeyStore(fs::path root) : m_root(std::move(root)) {}

fs::path KeyStore::defaultRoot() {
    if (const char* env = std::getenv("TARVELO_REGISTRY_ROOT"); env && *env) return fs::path(env);
    fs::path home;
    if (const char* env = std::getenv("HOME"); env && *env)
        home = env;
    else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        home = pw->pw_dir;
    return home / ".local/share/tarvelo/registry";
}

bool KeyStore::isValidKeyPath(std::string_view keyPath) {
    return splitKeyPath(keyPath).has_value();
}

bool KeyStore::isValidValueName(std::string_view name) {
    return isValidPart(name);
}

fs::path KeyStore::hiveFolder(Hive hive) const {
    return m_root / (hive == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE");
}

std::optional<fs::path> KeyStore::findKey(Hive hive, std::string_view keyPath) const {
    auto parts = splitKeyPath(keyPath);
    if (!parts) return std::nullopt;
    fs::path folder = hiveFolder(hive);
    if (!isRealDirectory(folder)) return std::nullopt;
    for (std::string_view part : *parts) {
        auto next = findEntry(folder, part, true);
        if (!next) return std::nullopt;
        folder = std::move(*next);
    }
    return folder;
}

bool KeyStore::keyExists(Hive hive, std::string_view keyPath) const {
    return findKey(hive, keyPath).has_value();
}

std::optional<std::string> KeyStore::readString(Hive hive, std::string_view keyPath,
                                                std::string_view valueName) const {
    if (!isValidValueName(valueName)) return std::nullopt;
    auto key = findKey(hive, keyPath);
    if (!key) return std::nullopt;
    auto file = findEntry(*key, valueName, false);
    if (!file) return std::nullopt;
    std::error_code ec;
    const auto size = fs::file_size(*file, ec);
    if (ec || size > maxValueBytes) return std::nullopt;
    std::ifstream in(*file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

std::vector<std::string> KeyStore::subkeys(Hive hive, std::string_view keyPath) const {
    auto key = findKey(hive, keyPath);
    if (!key) return {};
    return subfolderNames(*key);
}

bool KeyStore::createKey(Hive hive, std::string_view keyPath) {
    auto parts = splitKeyPath(keyPath);
    if (!parts) return false;
    std::error_code ec;
    fs::path folder = hiveFolder(hive);
    fs::create_directories(folder, ec);
    if (!isRealDirectory(folder)) return false;
    for (std::string_view part : *parts) {
        if (auto next = findEntry(folder, part, true)) {
            folder = std::move(*next);
            continue;
        }
        folder /= fs::path(std::string(part));
        fs::create_directory(folder, ec);
        if (!isRealDirectory(folder)) return false;
    }
    return true;
}

bool KeyStore::writeString(Hive hive, std::string_view keyPath, std::string_view valueName,
                           std::string_view text) {
    if (!isValidValueName(valueName) || !createKey(hive, keyPath)) return false;
    auto key = findKey(hive, keyPath);
    if (!key) return false;
    fs::path target = findEntry(*key, valueName, false).value_or(*key / std::string(valueName));
    // Through the replace-on-success writer: a failed write (a full disk)
    // leaves the previous text in place and nothing beside it.
    ReplacingFile out(target.string());
    return out.file() && out.write(text.data(), text.size()) && out.commit();
}

bool KeyStore::deleteKey(Hive hive, std::string_view keyPath) {
    auto key = findKey(hive, keyPath);
    if (!key || !subfolderNames(*key).empty()) return false;
    return removeKeyFolder(*key);
}

bool KeyStore::deleteKeyTree(Hive hive, std::string_view keyPath) {
    auto key = findKey(hive, keyPath);
    if (!key) return false;
    return deleteTreeAt(*key);
}

bool KeyStore::deleteTreeAt(const fs::path& keyFolder) {
    bool ok = true;
    const std::vector<std::string> names = subfolderNames(keyFolder);
    for (std::size_t i = names.size(); i-- > 0;)
        ok = deleteTreeAt(keyFolder / names[i]) && ok;
    return removeKeyFolder(keyFolder) && ok;
}

} // namespace platform
