#pragma once
// Conversions between Shift-JIS (code page 932) bytes, the form in which the
// project keeps texts and font names, and UTF-8 / UTF-16. A conversion never
// replaces characters: input that the other side cannot hold gives no result,
// so that callers can refuse it.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// CP932 bytes to UTF-8; nullopt when the bytes are not valid CP932.
std::optional<std::string> cp932ToUtf8(std::string_view cp932);

// CP932 bytes to UTF-16; nullopt when the bytes are not valid CP932.
std::optional<std::u16string> cp932ToUtf16(std::string_view cp932);

// UTF-8 to CP932; nullopt when the text is not valid UTF-8 or holds a
// character that code page 932 cannot represent.
std::optional<std::string> utf8ToCp932(std::string_view utf8);

// UTF-16 to CP932; nullopt on unpaired surrogates or characters outside CP932.
std::optional<std::string> utf16ToCp932(std::u16string_view utf16);

} // namespace platform
