#pragma once
// The output formats and how one is chosen: by the output's extension, or by
// name (--format NAME, the save dialog's filter).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace movie_export {

class ExportSink;
class FrameEncoder;

enum class ExportFormat { Swf, Gif, WebP, Apng, WebM, Svg };

// How a format is made.
enum class FormatKind {
    Movie,  // the compiler's SWF movie itself
    Frames, // the renderer's frames, encoded one by one by a FrameEncoder
    Vector, // written by the compiler from its own decisions (no frames)
};

using EncoderFactory = std::unique_ptr<FrameEncoder> (*)(ExportSink& sink);
// An encoder that writes the file at `path` itself, by the same rule: the old
// file stays until its finish() succeeded, and nothing is left when it is
// destroyed unfinished.
using FileEncoderFactory = std::unique_ptr<FrameEncoder> (*)(const std::string& path);

struct FormatInfo {
    ExportFormat format;
    FormatKind kind;
    const char* name;      // for --format: "gif"
    const char* extension; // without the dot, lower case: "gif"
    // The save dialog's filter: "GIF アニメーション (*.gif)"
    const char* filter;
    // Frames formats: one of the two.
    EncoderFactory encoder;
    FileEncoderFactory fileEncoder;
};

// Every format this build writes, in the save dialog's order (SWF first).
const std::vector<FormatInfo>& ExportFormats();

const FormatInfo& Format(ExportFormat format);
// By name, without regard to case; "png" names APNG. Null when unknown.
const FormatInfo* FormatByName(std::string_view name);
// By the path's extension, without regard to case. Null when the path has
// none or one that no format uses.
const FormatInfo* FormatForPath(std::string_view path);
// "swf, gif, webp, apng (.png), webm": what usage messages list.
std::string FormatNames();

// The path's extension in lower case, without the dot ("" when it has none).
std::string ExtensionOf(std::string_view path);

} // namespace movie_export
