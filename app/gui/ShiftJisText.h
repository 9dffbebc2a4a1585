#pragma once
// Shift-JIS (code page 932) texts as the windows show and take them.

#include <QString>

#include <optional>
#include <string>

// Shift-JIS bytes as shown in a window. Bytes that are not valid code page
// 932 show as U+FFFD, never as something that could be saved.
QString FromCp932(const char* cp932);
// A window text as Shift-JIS; nullopt when code page 932 cannot hold it.
std::optional<std::string> ToCp932(const QString& text);
// The first character of `text` that code page 932 cannot hold (empty when none).
QString FirstUnstorableCharacter(const QString& text);
