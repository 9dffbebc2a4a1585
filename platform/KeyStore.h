#pragma once
// A file-backed registry. Under the root folder there is one folder per hive
// ("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"), one folder per key along its
// path, and one file per string value, named after the value and holding its
// text. Key paths use "\" between their parts, as in the registry; key and
// value names are matched without regard to ASCII case, as the registry does.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class Hive { CurrentUser, LocalMachine };

class KeyStore {
public:
    explicit KeyStore(std::filesystem::path root);

    // $TARVELO_REGISTRY_ROOT when set and not empty, otherwise
    // ~/.local/share/tarvelo/registry.
    static std::filesystem::path defaultRoot();

    const std::filesystem::path& root() const { return m_root; }

    // A key path is one or more parts separated by "\"; no part may be empty,
    // "." or "..", or hold "/" or a NUL byte, so that a path can never leave
    // its hive's folder. Value names follow the rule of a single part.
    static bool isValidKeyPath(std::string_view keyPath);
    static bool isValidValueName(std::string_view name);

    // Looks the key up; never creates it.
    bool keyExists(Hive hive, std::string_view keyPath) const;

    // The text of a string value; nullopt when the key or value is missing or
    // the value is larger than maxValueBytes.
    std::optional<std::string> readString(Hive hive, std::string_view keyPath,
                                          std::string_view valueName) const;

    // Names of the key's direct subkeys in byte order (the stable enumeration
    // order of this store); empty when the key is missing.
    std::vector<std::string> subkeys(Hive hive, std::string_view keyPath) const;

    // Creates the key and the keys above it when missing.
    bool createKey(Hive hive, std::string_view keyPath);
    // Creates the key when missing and writes the value.
    bool writeString(Hive hive, std::string_view keyPath, std::string_view valueName,
                     std::string_view text);

    // Deletes the key and its values; fails while it still has subkeys.
    bool deleteKey(Hive hive, std::string_view keyPath);

    // Deletes the key with everything below it: the subkeys are enumerated
    // and deleted from the last index down to the first, each in the same
    // way, then the key itself. False when anything could not be deleted.
    bool deleteKeyTree(Hive hive, std::string_view keyPath);

    static constexpr std::size_t maxValueBytes = 1 << 20;

private:
    std::filesystem::path hiveFolder(Hive hive) const;
    std::optional<std::filesystem::path> findKey(Hive hive, std::string_view keyPath) const;
    bool deleteTreeAt(const std::filesystem::path& keyFolder);

    std::filesystem::path m_root;
};

} // namespace platform
