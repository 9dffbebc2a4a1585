#include "uninstall/Cp1252.h"
#include "uninstall/InstallLog.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

using namespace uninstall;

namespace {

const std::string H1 = "Tarvelo (De)Install 2.0 - Install.log";
const std::string H2 = "Nicht ver\xE4ndern, nicht l\xF6schen!";

// Lines joined with CR LF, each line followed by its line end.
std::string lines(const std::vector<std::string>& items, const std::string& eol = "\r\n") {
    std::string out;
    for (const std::string& item : items)
        out += item + eol;
    return out;
}

// A log with the given count line and entry lines, then `tail`.
std::string logWith(const std::string& count, const std::vector<std::string>& entryLines,
                    const std::string& tail = "\r\n") {
    std::vector<std::string> items = {
        H1, H2, "Movi-Loomster", "C:\\Programme\\Movi-Loomster", "Tarvelo", "unused", count};
    items.insert(items.end(), entryLines.begin(), entryLines.end());
    return lines(items) + tail;
}

TEST(InstallLog, ReadsEveryField) {
    const LogResult r =
        ReadInstallLog(logWith("2", {"movi.exe", "Movi-Loomster", "doc\\readme.txt", "NEIN!"}));
    ASSERT_TRUE(r.ok()) << DescribeProblem(r);
    EXPECT_EQ(r.Log.ProgramName, "Movi-Loomster");
    EXPECT_EQ(r.Log.UninstallKeyName, "Movi-Loomster");
    EXPECT_EQ(r.Log.GroupName, "Tarvelo");
    EXPECT_EQ(r.Log.Entries, (std::vector<InstallEntry>{{"movi.exe", "Movi-Loomster"},
                                                        {"doc\\readme.txt", "NEIN!"}}));
}

struct LogCase {
    const char* name;
    std::string bytes;
    LogProblem problem;
    int line;          // line of the problem, when there is one
    std::size_t count; // entries read, when the log is usable
};

void PrintTo(const LogCase& c, std::ostream* os) {
    *os << c.name;
}

class InstallLogCases : public testing::TestWithParam<LogCase> {};

TEST_P(InstallLogCases, GivesTheExpectedResult) {
    const LogCase& c = GetParam();
    const LogResult r = ReadInstallLog(c.bytes);
    EXPECT_EQ(r.Problem, c.problem) << DescribeProblem(r);
    if (c.problem == LogProblem::None) {
        EXPECT_EQ(r.Log.Entries.size(), c.count);
    } else {
        EXPECT_EQ(r.Line, c.line);
    }
}

const std::vector<std::string> TwoEntries = {"a.exe", "A", "b.txt", "NEIN!"};

INSTANTIATE_TEST_SUITE_P(
    Syntax, InstallLogCases,
    testing::Values(
        LogCase{"CountZero", logWith("0", {}), LogProblem::None, 0, 0},
        LogCase{"CountZeroWithoutFurtherLine", logWith("0", {}, ""), LogProblem::None, 0, 0},
        LogCase{"WithEmptyLineAfterLastEntry", logWith("2", TwoEntries), LogProblem::None, 0, 2},
        // Without the extra line the file is at its end right after the
        // last LinkName, even though that line has its CR LF.
        LogCase{"LastLineIsLastLinkName", logWith("2", TwoEntries, ""), LogProblem::MissingLines,
                11, 0},
        LogCase{"LastLinkNameWithoutLineEnd", lines({H1, H2, "P", "K", "G", "-", "1", "a"}) + "A",
                LogProblem::MissingLines, 9, 0},
        LogCase{"FewerPairsThanDeclared", logWith("3", TwoEntries), LogProblem::MissingLines, 12,
                0},
        LogCase{"CountInLetters", logWith("two", TwoEntries), LogProblem::BadCount, 7, 0},
        LogCase{"CountEmpty", logWith("", TwoEntries), LogProblem::BadCount, 7, 0},
        LogCase{"CountWithTrailingText", logWith("2 entries", TwoEntries), LogProblem::BadCount, 7,
                0},
        LogCase{"CountBeyond32Bits", logWith("4294967298", TwoEntries), LogProblem::BadCount, 7, 0},
        LogCase{"CountWithPlusSign", logWith("+2", TwoEntries), LogProblem::None, 0, 2},
        // Only the low 16 bits count: 65538 = 0x10002, -65534 = 0x...FFFF0002.
        LogCase{"CountLow16Bits", logWith("65538", TwoEntries), LogProblem::None, 0, 2},
        LogCase{"NegativeCountLow16Bits", logWith("-65534", TwoEntries), LogProblem::None, 0, 2},
        LogCase{"CountMinusOneIs65535", logWith("-1", TwoEntries), LogProblem::TooManyEntries, 7,
                0},
        LogCase{"Count101", logWith("101", TwoEntries), LogProblem::TooManyEntries, 7, 0},
        LogCase{"Empty", "", LogProblem::FirstHeader, 1, 0},
        LogCase{"FirstHeaderWithTrailingSpace", lines({H1 + " ", H2, "P", "K", "G", "-", "0"}),
                LogProblem::FirstHeader, 1, 0},
        LogCase{"FirstHeaderOtherCase", lines({"tarvelo (De)Install 2.0 - Install.log", H2}),
                LogProblem::FirstHeader, 1, 0},
        // The second header written as UTF-8 (C3 A4, C3 B6) is not the log's.
        LogCase{
            "SecondHeaderAsUtf8",
            lines({H1, "Nicht ver\xC3\xA4ndern, nicht l\xC3\xB6schen!", "P", "K", "G", "-", "0"}),
            LogProblem::SecondHeader, 2, 0},
        // Lines end at CR; LF alone does not end a line.
        LogCase{"LfOnlyLineEnds", lines({H1, H2, "P", "K", "G", "-", "0"}, "\n"),
                LogProblem::FirstHeader, 1, 0},
        LogCase{"CrOnlyLineEnds", lines({H1, H2, "P", "K", "G", "-", "1", "a", "A", ""}, "\r"),
                LogProblem::None, 0, 1},
        // 1A ends the file: here before the line that follows the last entry.
        LogCase{"EndByteBeforeLastLine", logWith("1", {"a", "A"}, "\x1A\r\n"),
                LogProblem::MissingLines, 9, 0},
        LogCase{"EndByteInsideHeader", "Tarvelo\x1A" + logWith("0", {}), LogProblem::FirstHeader, 1,
                0},
        LogCase{"EndByteAfterAllLines", logWith("1", {"a", "A"}) + "\x1A garbage", LogProblem::None,
                0, 1}),
    [](const testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

TEST(InstallLog, LineEndsAreCrOptionallyFollowedByOneLf) {
    // "a\nb" holds a lone LF; "c" ends with CR LF and the second LF starts
    // the next line.
    const LogResult r = ReadInstallLog(lines({H1, H2, "P", "K", "G", "-", "2"}) +
                                       "a\nb\rA\r\nc\r\n\nNEIN!\r\n\r\n");
    ASSERT_TRUE(r.ok()) << DescribeProblem(r);
    EXPECT_EQ(r.Log.Entries, (std::vector<InstallEntry>{{"a\nb", "A"}, {"c", "\nNEIN!"}}));
}

struct PrefixCase {
    const char* name;
    std::string line4;
    std::string keyName;
};

void PrintTo(const PrefixCase& c, std::ostream* os) {
    *os << c.name;
}

class InstallLogPrefix : public testing::TestWithParam<PrefixCase> {};

TEST_P(InstallLogPrefix, DefaultFolderPrefixIsRemoved) {
    const LogResult r = ReadInstallLog(lines({H1, H2, "P", GetParam().line4, "G", "-", "0"}));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.Log.UninstallKeyName, GetParam().keyName);
}

INSTANTIATE_TEST_SUITE_P(
    Line4, InstallLogPrefix,
    testing::Values(PrefixCase{"Mixed", "C:\\Programme\\Movi-Loomster", "Movi-Loomster"},
                    PrefixCase{"Lower", "c:\\programme\\Movi-Loomster", "Movi-Loomster"},
                    PrefixCase{"KeepsCaseOfRest", "C:\\PROGRAMME\\Tarvelo\\MOVI", "Tarvelo\\MOVI"},
                    PrefixCase{"OtherDrive", "D:\\Programme\\Movi-Loomster",
                               "D:\\Programme\\Movi-Loomster"},
                    PrefixCase{"NoBackslash", "C:\\ProgrammeMovi", "C:\\ProgrammeMovi"},
                    PrefixCase{"OnlyPrefix", "C:\\Programme\\", ""},
                    // E4 is not an ASCII letter and must not match anything.
                    PrefixCase{"NonAscii", "C:\\PROGR\xC4MME\\X", "C:\\PROGR\xC4MME\\X"}),
    [](const testing::TestParamInfo<PrefixCase>& info) { return std::string(info.param.name); });

TEST(InstallLog, LongLinesAreCut) {
    const std::string longLine(150, 'f');
    const std::string longName(300, 'n');
    const LogResult r =
        ReadInstallLog(lines({H1, H2, longName, "K", "G", "-", "1", longLine, longLine, ""}));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.Log.ProgramName, std::string(230, 'n'));
    EXPECT_EQ(r.Log.Entries[0].FileName, std::string(99, 'f'));
    EXPECT_EQ(r.Log.Entries[0].LinkName, std::string(99, 'f'));
}

TEST(InstallLog, HundredEntriesAreTheMost) {
    std::vector<std::string> entryLines;
    for (int i = 0; i < 100; ++i) {
        entryLines.push_back("f" + std::to_string(i));
        entryLines.push_back("NEIN!");
    }
    const LogResult r = ReadInstallLog(logWith("100", entryLines));
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.Log.Entries.size(), 100u);
    EXPECT_EQ(r.Log.Entries[99].FileName, "f99");
}

TEST(InstallLogFile, ReadsFromTheFolderAndReportsMissingOrOversizedFiles) {
    uninstall_test::TempFolder temp;
    const std::string folder = temp.path().string() + "/";
    EXPECT_EQ(ReadInstallLogFile(folder).Problem, LogProblem::CannotOpen);

    uninstall_test::writeFile(temp.path() / "Install.log", logWith("1", {"a", "A"}));
    const LogResult r = ReadInstallLogFile(folder);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.Log.Entries.size(), 1u);

    uninstall_test::writeFile(temp.path() / "Install.log",
                              logWith("0", {}) + std::string(MaxLogBytes, '\r'));
    EXPECT_EQ(ReadInstallLogFile(folder).Problem, LogProblem::TooLarge);
}

TEST(InstallLogFile, AnythingButARegularFileIsRefusedWithoutBlocking) {
    uninstall_test::TempFolder temp;
    const std::string folder = temp.path().string() + "/";
    const std::filesystem::path log = temp.path() / "Install.log";

    // A named pipe nobody writes to would block a plain read for ever.
    ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
    EXPECT_EQ(ReadInstallLogFile(folder).Problem, LogProblem::NotAFile);
    std::filesystem::remove(log);

    std::filesystem::create_directory(log);
    EXPECT_EQ(ReadInstallLogFile(folder).Problem, LogProblem::NotAFile);
    std::filesystem::remove(log);

    // A link to a regular log is a regular log.
    uninstall_test::writeFile(temp.path() / "real.log", logWith("0", {}));
    std::filesystem::create_symlink(temp.path() / "real.log", log);
    EXPECT_TRUE(ReadInstallLogFile(folder).ok());
}

TEST(InstallFolder, ComesFromTheArgumentOrTheProgramFolder) {
    EXPECT_EQ(InstallFolderFor("/opt/movi", nullptr), "/opt/movi/");
    EXPECT_EQ(InstallFolderFor("/opt/movi", "/srv/movi/"), "/srv/movi/");
    EXPECT_EQ(InstallFolderFor("/opt/movi", "relative"), "relative/");
    // An empty argument would make "/" the installation folder.
    EXPECT_EQ(InstallFolderFor("/opt/movi", ""), std::nullopt);
}

TEST(Cp1252, DecodesTheLogsSingleByteText) {
    EXPECT_EQ(Cp1252ToUtf8("ver\xE4ndern"), "ver\xC3\xA4ndern");
    EXPECT_EQ(Cp1252ToUtf8("\x80\x9F\xFF"), "\xE2\x82\xAC\xC5\xB8\xC3\xBF"); // € Ÿ ÿ
    EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xC2\x81");                             // unassigned
    EXPECT_EQ(Cp1252ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

} // namespace
