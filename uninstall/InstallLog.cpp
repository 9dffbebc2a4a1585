#include "uninstall/InstallLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace uninstall {
namespace {

constexpr char EndOfFileByte = '\x1A';

// Reads the log line by line in the way of a text file of the system the log
// comes from: lines end at CR (with an optional LF after it), and the first
// byte 1A is the end of the file. Reading at the end gives empty lines.
class LineReader {
public:
    explicit LineReader(std::string_view bytes)
        : m_bytes(bytes.substr(0, bytes.find(EndOfFileByte))) {}

    std::string_view next() {
        ++m_line;
        const std::size_t start = m_pos;
        while (m_pos < m_bytes.size() && m_bytes[m_pos] != '\r')
            ++m_pos;
        std::string_view line = m_bytes.substr(start, m_pos - start);
        if (m_pos < m_bytes.size()) {
            ++m_pos; // the CR
            if (m_pos < m_bytes.size() && m_bytes[m_pos] == '\n') ++m_pos;
        }
        return line;
    }

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    int line() const { return m_line; }

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
    int m_line = 0;
};

bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

// A decimal integer with an optional sign that fits 32 bits, nothing else.
std::optional<std::int32_t> parseCount(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

LogResult failure(LogProblem problem, int line) {
    LogResult result;
    result.Problem = problem;
    result.Line = line;
    return result;
}

} // namespace

LogResult ReadInstallLog(std::string_view bytes) {
    LineReader reader(bytes);

    if (reader.next() != FirstHeader) return failure(LogProblem::FirstHeader, reader.line());
    if (reader.next() != SecondHeader) return failure(LogProblem::SecondHeader, reader.line());

    LogResult result;
    InstallLog& log = result.Log;
    // A longer name would not fit the start window's header; it is only
    // shown, so it is cut rather than refused.
    log.ProgramName = std::string(reader.next().substr(0, MaxProgramNameLength));
    std::string_view folder = reader.next();
    if (startsWithIgnoringAsciiCase(folder, DefaultFolderPrefix))
        folder.remove_prefix(DefaultFolderPrefix.size());
    log.UninstallKeyName = std::string(folder);
    log.GroupName = std::string(reader.next());
    reader.next(); // line 6 is not used

    const auto count = parseCount(reader.next());
    if (!count) return failure(LogProblem::BadCount, reader.line());
    const auto entryCount = static_cast<std::uint16_t>(*count);
    // The installer's table holds MaxEntries; a log that declares more was
    // not written by it, and removing only part of what it lists would leave
    // a half-removed installation behind, so it is refused as a whole.
    if (entryCount > MaxEntries) return failure(LogProblem::TooManyEntries, reader.line());

    // Every entry line must be followed by at least one more line; a missing
    // one makes the log unusable, but reading goes on to the declared end.
    auto readField = [&](std::string& field) {
        std::string_view line = reader.next();
        if (reader.atEnd()) {
            if (result.ok()) {
                result.Problem = LogProblem::MissingLines;
                result.Line = reader.line();
            }
            return;
        }
        field = std::string(line.substr(0, MaxEntryLength));
    };
    log.Entries.resize(entryCount);
    for (InstallEntry& entry : log.Entries) {
        readField(entry.FileName);
        readField(entry.LinkName);
    }
    return result;
}

LogResult ReadInstallLogFile(const std::string& installFolder) {
    const std::string path = installFolder + std::string(LogFileName);
    // Opened without blocking, so that a named pipe cannot hold the program
    // before its first window; only a regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return failure(LogProblem::CannotOpen, 0);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return failure(LogProblem::CannotOpen, 0);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return failure(LogProblem::NotAFile, 0);
    }
    // Read at most one byte beyond the limit: a file that grows meanwhile
    // is still bounded.
    std::string bytes(MaxLogBytes + 1, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return failure(LogProblem::CannotOpen, 0);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    if (bytes.size() > MaxLogBytes) return failure(LogProblem::TooLarge, 0);
    return ReadInstallLog(bytes);
}

std::optional<std::string> InstallFolderFor(std::string_view programFolder,
                                            const char* firstArgument) {
    std::string folder(programFolder);
    if (firstArgument) {
        if (*firstArgument == '\0') return std::nullopt;
        folder = firstArgument;
    }
    if (folder.empty()) return std::nullopt;
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string DescribeProblem(const LogResult& result) {
    std::string where = result.Line > 0 ? " (line " + std::to_string(result.Line) + ")" : "";
    switch (result.Problem) {
    case LogProblem::None:
        return "no problem";
    case LogProblem::CannotOpen:
        return "the file cannot be read";
    case LogProblem::FirstHeader:
        return "the first header line differs" + where;
    case LogProblem::SecondHeader:
        return "the second header line differs" + where;
    case LogProblem::BadCount:
        return "the entry count is not a decimal integer" + where;
    case LogProblem::TooManyEntries:
        return "more than " + std::to_string(MaxEntries) + " entries declared" + where;
    case LogProblem::MissingLines:
        return "the file ends before the entries do" + where;
    case LogProblem::NoFolder:
        return "the installation folder argument is empty";
    case LogProblem::TooLarge:
        return "the file is too large";
    case LogProblem::NotAFile:
        return "it is not a regular file";
    }
    return "unknown problem";
}

} // namespace uninstall
