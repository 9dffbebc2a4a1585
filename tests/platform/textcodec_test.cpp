#include "platform/TextCodec.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

// "テキスト" and "ＭＳ ゴシック" as the project file stores them.
const std::string kTextSjis = "\x83\x65\x83\x4C\x83\x58\x83\x67";
const std::string kGothicSjis = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

TEST(TextCodec, DefaultTextsDecodeAndEncodeBothWays) {
    EXPECT_EQ(cp932ToUtf8(kTextSjis), std::optional<std::string>("テキスト"));
    EXPECT_EQ(cp932ToUtf8(kGothicSjis), std::optional<std::string>("ＭＳ ゴシック"));
    EXPECT_EQ(utf8ToCp932("テキスト"), std::optional<std::string>(kTextSjis));
    EXPECT_EQ(utf8ToCp932("ＭＳ ゴシック"), std::optional<std::string>(kGothicSjis));
    EXPECT_EQ(kGothicSjis.size(), 13u);
    EXPECT_EQ(cp932ToUtf16(kTextSjis), std::optional<std::u16string>(u"テキスト"));
    EXPECT_EQ(utf16ToCp932(u"テキスト"), std::optional<std::string>(kTextSjis));
}

TEST(TextCodec, EmptyAndAsciiPassThrough) {
    EXPECT_EQ(cp932ToUtf8(""), std::optional<std::string>(""));
    EXPECT_EQ(utf8ToCp932("Arial"), std::optional<std::string>("Arial"));
    EXPECT_EQ(cp932ToUtf16("abc"), std::optional<std::u16string>(u"abc"));
}

TEST(TextCodec, HalfWidthKatakanaAndVendorCharacters) {
    // Half-width katakana are single bytes; the circled digit is a code page 932
    // extension (NEC row 13) that plain Shift-JIS lacks.
    EXPECT_EQ(cp932ToUtf8("\xB1"), std::optional<std::string>("ｱ"));
    EXPECT_EQ(utf8ToCp932("①"), std::optional<std::string>("\x87\x40"));
    EXPECT_EQ(cp932ToUtf8("\x87\x40"), std::optional<std::string>("①"));
}

TEST(TextCodec, UnrepresentableOrInvalidInputIsReportedNotReplaced) {
    EXPECT_FALSE(utf8ToCp932("emoji \xF0\x9F\x98\x80"));             // outside code page 932
    EXPECT_FALSE(utf8ToCp932("\xC3\xA4 umlaut"));                    // ä has no CP932 code
    EXPECT_FALSE(utf8ToCp932("\xFF\xFE"));                           // not UTF-8
    EXPECT_FALSE(cp932ToUtf8("\x83"));                               // lead byte without trail byte
    EXPECT_FALSE(cp932ToUtf8("\x83\x20"));                           // trail byte out of range
    EXPECT_FALSE(utf16ToCp932(std::u16string(1, char16_t(0xD800)))); // lone surrogate
}

} // namespace
