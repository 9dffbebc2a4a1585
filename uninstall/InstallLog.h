#pragma once
// Install.log, the plain-text file the installer leaves in the installation
// folder: where it is looked for, its line syntax, and the record the
// uninstaller works from. The uninstaller only reads it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace uninstall {

inline constexpr std::size_t MaxEntries = 100;
inline constexpr std::size_t MaxEntryLength = 99;
inline constexpr std::size_t MaxProgramNameLength = 230;

inline constexpr std::string_view LogFileName = "Install.log";
inline constexpr std::string_view FirstHeader = "Tarvelo (De)Install 2.0 - Install.log";
// Windows-1252 bytes: E4 is "ä", F6 is "ö".
inline constexpr std::string_view SecondHeader = "Nicht ver\xE4ndern, nicht l\xF6schen!";
inline constexpr std::string_view DefaultFolderPrefix = "C:\\PROGRAMME\\";

// LinkName of an entry that has no shortcut.
inline constexpr std::string_view NoLink = "NEIN!";
// LinkName of the entry that goes with the group's shortcut "Uninstall.lnk".
inline constexpr std::string_view UninstallLink = "DEINST!";

// One installed file. Both texts are raw Windows-1252 bytes as in the log,
// at most MaxEntryLength of them, with "\" between path parts.
struct InstallEntry {
    std::string FileName; // relative to the installation folder
    std::string LinkName; // NoLink, UninstallLink or a shortcut name without ".lnk"
    bool operator==(const InstallEntry&) const = default;
};

// The parsed log; texts are raw Windows-1252 bytes.
struct InstallLog {
    std::string ProgramName;      // at most MaxProgramNameLength bytes
    std::string UninstallKeyName; // line 4 without the default folder prefix
    std::string GroupName;
    std::vector<InstallEntry> Entries; // the entry count is its size, at most MaxEntries
};

enum class LogProblem {
    None,
    CannotOpen,     // the file is missing or unreadable
    FirstHeader,    // line 1 differs from FirstHeader
    SecondHeader,   // line 2 differs from SecondHeader
    BadCount,       // line 7 is not a decimal integer
    TooManyEntries, // the count's low 16 bits exceed MaxEntries
    MissingLines,   // an entry line is missing, or is the last line of the file
    NoFolder,       // the installation folder given on the command line is empty
    TooLarge,       // the file is larger than MaxLogBytes
    NotAFile,       // a pipe, device, folder or anything else that is not a regular file
};

// No log the installer writes comes near this; larger files are refused
// rather than read into memory.
inline constexpr std::size_t MaxLogBytes = 4 << 20;

// What ReadInstallLog found. `Line` is the 1-based line of the first problem
// (0 when the problem is not tied to a line).
struct LogResult {
    InstallLog Log;
    LogProblem Problem = LogProblem::None;
    int Line = 0;
    bool ok() const { return Problem == LogProblem::None; }
};

// Parses the bytes of an Install.log. A line ends at CR, and one LF right
// after the CR belongs to the line end; a lone LF is an ordinary character.
// A byte 1A ends the file wherever it stands.
LogResult ReadInstallLog(std::string_view bytes);

// Reads installFolder + "Install.log" (the folder ends with "/"). Anything but
// a regular file is refused without waiting for it to deliver data.
LogResult ReadInstallLogFile(const std::string& installFolder);

// The installation folder: the program's own folder, or the first command
// line argument when there is one, with "/" appended when it does not end
// with one. nullopt when the argument is empty, which would otherwise make
// the file system root the installation folder.
std::optional<std::string> InstallFolderFor(std::string_view programFolder,
                                            const char* firstArgument);

// A short English description of a problem, for the diagnostic line that
// goes with the corrupted-log message.
std::string DescribeProblem(const LogResult& result);

} // namespace uninstall
