#pragma once
// The HTML page that embeds a movie: eleven lines (ten when the movie
// repeats), no html, head or body elements, written in UTF-8 with CR LF.

#include <string>
#include <vector>

namespace platform {
class ReplacingFile;
}

// Where the player installer and the plug-in page are found.
extern const char* const PlayerDownloadAddress; // ends in "#version=4,0,2,0"
extern const char* const PlayerPluginPage;

// The page's lines for a stage of width x height pixels and the movie's file
// name (without folder, UTF-8). Characters that would end an attribute value
// (", &, <, >) are written as character references.
std::vector<std::string> BuildHtmlPage(int width, int height, const std::string& movieName,
                                       bool repeat);

// The page's path for a movie path: the extension (from the last dot of the
// file name on) replaced by ".htm".
std::string HtmlPagePath(const std::string& moviePath);

// The file name part of a path.
std::string FileNamePart(const std::string& path);

// Writes the lines, each ended by CR LF, replacing the file only once complete.
// Returns whether the file was written; when not, `error` (if given) gets the
// system's error number (0 when unknown).
bool WriteHtmlPage(const std::string& path, const std::vector<std::string>& lines,
                   int* error = nullptr);
// Writes the lines the same way into `out`, without committing it.
bool WriteHtmlLines(platform::ReplacingFile& out, const std::vector<std::string>& lines);
