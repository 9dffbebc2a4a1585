#include "player/MoviePage.h"

#include <cctype>
#include <filesystem>
#include <utility>
#include <vector>

namespace player {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

void appendUtf8(std::string& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Resolves the character references that the page writer uses (and numeric
// ones); anything else is kept as written.
std::string decodeReferences(std::string_view s) {
    static const std::pair<std::string_view, char> named[] = {
        {"quot", '"'}, {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"apos", '\''}};
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const size_t semi = s[i] == '&' ? s.find(';', i) : std::string_view::npos;
        if (semi == std::string_view::npos || semi - i > 10) {
            out += s[i];
            continue;
        }
        const std::string_view ref = s.substr(i + 1, semi - i - 1);
        bool done = false;
        for (const auto& [name, c] : named)
            if (ref == name) {
                out += c;
                done = true;
            }
        if (!done && ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x' || ref[1] == 'X';
            const std::string digits(ref.substr(hex ? 2 : 1));
            if (!digits.empty() && digits.size() <= 7 &&
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") ==
                    std::string::npos) {
                appendUtf8(out, std::stoul(digits, nullptr, hex ? 16 : 10));
                done = true;
            }
        }
        if (done)
            i = semi;
        else
            out += s[i];
    }
    return out;
}

// Undoes the page writer's percent-encoding of bytes outside printable ASCII;
// a "%" followed by anything else is part of the name, as the writer leaves
// ASCII names untouched.
std::string decodeNonAsciiEscapes(const std::string& s) {
    auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && digit(s[i + 1]) >= 0 && digit(s[i + 2]) >= 0) {
            const int b = digit(s[i + 1]) * 16 + digit(s[i + 2]);
            if (b < 0x20 || b >= 0x7F) {
                out += static_cast<char>(b);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

struct Tag {
    std::string name;                                            // lower case
    std::vector<std::pair<std::string, std::string>> attributes; // names lower case

    const std::string* attribute(std::string_view n) const {
        for (const auto& [key, value] : attributes)
            if (key == n) return &value;
        return nullptr;
    }
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// Reads the tag that starts at html[pos] == '<'; pos ends after its '>'.
Tag readTag(std::string_view html, size_t& pos) {
    Tag tag;
    size_t i = pos + 1;
    const size_t n = html.size();
    size_t start = i;
    while (i < n && !isSpace(html[i]) && html[i] != '>' && html[i] != '/')
        ++i;
    tag.name = lower(html.substr(start, i - start));
    while (i < n && html[i] != '>') {
        if (isSpace(html[i]) || html[i] == '/') {
            ++i;
            continue;
        }
        start = i;
        while (i < n && !isSpace(html[i]) && html[i] != '=' && html[i] != '>' && html[i] != '/')
            ++i;
        std::string name = lower(html.substr(start, i - start));
        while (i < n && isSpace(html[i]))
            ++i;
        std::string value;
        if (i < n && html[i] == '=') {
            ++i;
            while (i < n && isSpace(html[i]))
                ++i;
            if (i < n && (html[i] == '"' || html[i] == '\'')) {
                const char quote = html[i++];
                start = i;
                while (i < n && html[i] != quote)
                    ++i;
                value = decodeReferences(html.substr(start, i - start));
                if (i < n) ++i;
            } else {
                start = i;
                while (i < n && !isSpace(html[i]) && html[i] != '>')
                    ++i;
                value = decodeReferences(html.substr(start, i - start));
            }
        }
        if (!name.empty()) tag.attributes.emplace_back(std::move(name), std::move(value));
    }
    pos = i < n ? i + 1 : n;
    return tag;
}

} // namespace

std::optional<MoviePage> ParseMoviePage(std::string_view html) {
    std::string paramMovie, embedSrc;
    bool loop = true;
    size_t pos = 0;
    while ((pos = html.find('<', pos)) != std::string_view::npos) {
        if (html.substr(pos, 4) == "<!--") {
            const size_t end = html.find("-->", pos + 4);
            pos = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        const Tag tag = readTag(html, pos);
        if (tag.name == "param") {
            const std::string* name = tag.attribute("name");
            const std::string* value = tag.attribute("value");
            if (!name || !value) continue;
            const std::string key = lower(*name);
            if (key == "movie" && paramMovie.empty())
                paramMovie = *value;
            else if (key == "loop" && lower(*value) == "false")
                loop = false;
        } else if (tag.name == "embed") {
            if (const std::string* src = tag.attribute("src"); src && embedSrc.empty())
                embedSrc = *src;
            if (const std::string* l = tag.attribute("loop"); l && lower(*l) == "false")
                loop = false;
        }
    }
    std::string movie = decodeNonAsciiEscapes(!paramMovie.empty() ? paramMovie : embedSrc);
    if (movie.empty()) return std::nullopt;
    return MoviePage{std::move(movie), loop};
}

std::string MoviePathForPage(const std::string& pagePath, const std::string& movie) {
    const std::filesystem::path name(movie);
    if (name.is_absolute()) return movie;
    return (std::filesystem::path(pagePath).parent_path() / name).lexically_normal().string();
}

} // namespace player
