#include "compiler/HtmlPage.h"

#include "platform/ReplacingFile.h"

#include <cstdio>

const char* const PlayerDownloadAddress =
    "https://player.tarvelo.example/install/swplayer.cab#version=4,0,2,0";
const char* const PlayerPluginPage = "https://player.tarvelo.example/plugin/";

namespace {

std::string attributeText(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '"':
            out += "&quot;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The page declares no character set, so a browser may read a UTF-8 name in
// another encoding and lose the link: bytes outside printable ASCII are
// percent-encoded. Plain ASCII names stay exactly as written.
std::string urlText(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::vector<std::string> BuildHtmlPage(int width, int height, const std::string& movieName,
                                       bool repeat) {
    const std::string w = std::to_string(width), h = std::to_string(height),
                      n = attributeText(urlText(movieName));
    std::vector<std::string> lines = {
        "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" codebase=",
        std::string("\"") + PlayerDownloadAddress + "\"",
        "width=\"" + w + "\" height=\"" + h + "\">",
        "<param name=\"movie\" value=\"" + n + "\">",
    };
    if (!repeat) lines.push_back("<param name=\"loop\" value=\"false\">");
    lines.push_back("<param name=\"quality\" value=\"high\">");
    lines.push_back("<embed src=\"" + n + "\" quality=\"high\" pluginspage=");
    lines.push_back(std::string("\"") + PlayerPluginPage + "\"");
    lines.push_back("type=\"application/x-shockwave-flash\" width=\"" + w + "\" height=\"" + h +
                    "\">");
    lines.push_back("</embed>");
    lines.push_back("</object>");
    return lines;
}

std::string FileNamePart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string HtmlPagePath(const std::string& moviePath) {
    const size_t dot = moviePath.find_last_of('.');
    const size_t slash = moviePath.find_last_of('/');
    std::string base = moviePath;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        base = moviePath.substr(0, dot);
    return base + ".htm";
}

bool WriteHtmlLines(platform::ReplacingFile& out, const std::vector<std::string>& lines) {
    bool ok = out.file() != nullptr;
    for (const std::string& line : lines)
        ok = ok && out.write(line.data(), line.size()) && out.write("\r\n", 2);
    return ok;
}

bool WriteHtmlPage(const std::string& path, const std::vector<std::string>& lines, int* error) {
    // Written beside the page and renamed over it, so that a failed write
    // leaves the previous page as it was.
    platform::ReplacingFile out(path);
    const bool ok = WriteHtmlLines(out, lines) && out.commit();
    if (!ok && error) *error = out.error();
    return ok;
}
