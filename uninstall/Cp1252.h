#pragma once
// Windows-1252 (the log's single-byte code page) to UTF-8.

#include <string>
#include <string_view>

namespace uninstall {

// Every byte maps to one character; the five bytes that Windows-1252 leaves
// unassigned (81, 8D, 8F, 90, 9D) map to the control characters of the same
// value, as the system's own conversion does.
std::string Cp1252ToUtf8(std::string_view cp1252);

} // namespace uninstall
