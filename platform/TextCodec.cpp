#include "platform/TextCodec.h"

#include <cerrno>
#include <iconv.h>

namespace platform {
namespace {

// Runs one whole conversion through iconv. Any byte sequence that is invalid,
// incomplete or not representable on the target side fails the conversion;
// nothing is transliterated or replaced.
std::optional<std::string> convert(const char* to, const char* from, const char* in, size_t size) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    out.resize(size * 4 + 16);
    char* inPtr = const_cast<char*>(in);
    size_t inLeft = size;
    char* outPtr = out.data();
    size_t outLeft = out.size();
    bool ok = true;
    while (inLeft > 0) {
        size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                size_t used = out.size() - outLeft;
                out.resize(out.size() * 2);
                outPtr = out.data() + used;
                outLeft = out.size() - used;
                continue;
            }
            ok = false; // EILSEQ or EINVAL
            break;
        }
        // glibc counts characters converted "irreversibly" (replaced); we
        // treat those as unrepresentable.
        if (r > 0) {
            ok = false;
            break;
        }
    }
    if (ok && iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) ok = false;
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

std::optional<std::u16string> toU16(std::optional<std::string> bytes) {
    if (!bytes) return std::nullopt;
    std::u16string s(bytes->size() / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<char16_t>(static_cast<unsigned char>((*bytes)[2 * i]) |
                                     (static_cast<unsigned char>((*bytes)[2 * i + 1]) << 8));
    return s;
}

} // namespace

std::optional<std::string> cp932ToUtf8(std::string_view cp932) {
    return convert("UTF-8", "CP932", cp932.data(), cp932.size());
}

std::optional<std::u16string> cp932ToUtf16(std::string_view cp932) {
    return toU16(convert("UTF-16LE", "CP932", cp932.data(), cp932.size()));
}

std::optional<std::string> utf8ToCp932(std::string_view utf8) {
    return convert("CP932", "UTF-8", utf8.data(), utf8.size());
}

std::optional<std::string> utf16ToCp932(std::u16string_view utf16) {
    std::string bytes(utf16.size() * 2, '\0');
    for (size_t i = 0; i < utf16.size(); ++i) {
        bytes[2 * i] = static_cast<char>(utf16[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(utf16[i] >> 8);
    }
    return convert("CP932", "UTF-16LE", bytes.data(), bytes.size());
}

} // namespace platform
