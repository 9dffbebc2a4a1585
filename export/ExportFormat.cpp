#include "export/ExportFormat.h"

#include "export/Encoders.h"

#include <algorithm>
#include <cctype>

namespace movie_export {
namespace {

// A Frames row without an encoder is not built into this program and is
// left out of every list. A vector format (SVG) is a Vector row whose writer
// the compile command calls.
const FormatInfo kFormats[] = {
    {ExportFormat::Swf, FormatKind::Movie, "swf", "swf", "Flash (*.swf)", nullptr, nullptr},
    {ExportFormat::Gif, FormatKind::Frames, "gif", "gif", "GIF アニメーション (*.gif)",
     &MakeGifEncoder, nullptr},
    {ExportFormat::WebP, FormatKind::Frames, "webp", "webp", "WebP アニメーション (*.webp)",
     &MakeWebpEncoder, nullptr},
    {ExportFormat::Apng, FormatKind::Frames, "apng", "png", "APNG アニメーション (*.png)",
     &MakeApngEncoder, nullptr},
    {ExportFormat::WebM, FormatKind::Frames, "webm", "webm", "WebM 動画 (*.webm)", nullptr,
     &MakeWebmEncoder},
    {ExportFormat::Svg, FormatKind::Vector, "svg", "svg", "SVG アニメーション (*.svg)", nullptr,
     nullptr},
};

bool available(const FormatInfo& f) {
    return f.kind != FormatKind::Frames || f.encoder != nullptr || f.fileEncoder != nullptr;
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

} // namespace

const std::vector<FormatInfo>& ExportFormats() {
    static const std::vector<FormatInfo> formats = [] {
        std::vector<FormatInfo> out;
        for (const FormatInfo& f : kFormats)
            if (available(f)) out.push_back(f);
        return out;
    }();
    return formats;
}

const FormatInfo& Format(ExportFormat format) {
    for (const FormatInfo& f : kFormats)
        if (f.format == format) return f;
    return kFormats[0];
}

const FormatInfo* FormatByName(std::string_view name) {
    std::string key = lower(name);
    if (key == "png") key = "apng";
    for (const FormatInfo& f : ExportFormats())
        if (key == f.name) return &f;
    return nullptr;
}

std::string ExtensionOf(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    // A hidden file's name (".gif") is a name, not an extension.
    if (dot == 0 || (slash != std::string_view::npos && dot == slash + 1)) return {};
    return lower(path.substr(dot + 1));
}

const FormatInfo* FormatForPath(std::string_view path) {
    const std::string extension = ExtensionOf(path);
    if (extension.empty()) return nullptr;
    if (extension == "apng") return FormatByName("apng");
    for (const FormatInfo& f : ExportFormats())
        if (extension == f.extension) return &f;
    return nullptr;
}

std::string FormatNames() {
    std::string out;
    for (const FormatInfo& f : ExportFormats()) {
        if (!out.empty()) out += ", ";
        out += f.name;
        if (std::string_view(f.name) != f.extension) out += std::string(" (.") + f.extension + ")";
    }
    return out;
}

} // namespace movie_export
