#include "platform/GlyphOutline.h"

#include "platform/FontNativeOutline.h"
#include "platform/TextCodec.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace platform {

namespace {

// Rounds half away from zero, as the old metrics were rounded.
int roundToInt(double v) {
    return static_cast<int>(v < 0 ? v - 0.5 : v + 0.5);
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// The faces this program names by default and the installed faces that
// stand in for them. Keys are compared with ASCII letters in lower case.
struct Substitute {
    const char* name;
    const char* family;
};
constexpr Substitute kSubstitutes[] = {
    {"ＭＳ ゴシック", "IPAGothic"},     {"ms gothic", "IPAGothic"},
    {"ＭＳ 明朝", "IPAMincho"},         {"ms mincho", "IPAMincho"},
    {"ＭＳ Ｐゴシック", "IPAPGothic"},  {"ms pgothic", "IPAPGothic"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},      {"ms pmincho", "IPAPMincho"},
    {"arial", "Liberation Sans"},       {"times new roman", "Liberation Serif"},
    {"courier new", "Liberation Mono"},
};

// Face that lends characters a face lacks, as the old platform's font
// linking did for Japanese text.
constexpr const char* kLinkedFamily = "IPAGothic";

int scaled(double units, int cellUnits) {
    return roundToInt(units * kDesignCellHeight / cellUnits);
}

} // namespace

std::string SubstituteFamily(std::string_view utf8Name) {
    const std::string key = asciiLower(utf8Name);
    for (const Substitute& s : kSubstitutes) {
        if (key == s.name) return s.family;
    }
    return {};
}

std::string_view cutFaceName(std::string_view cp932) {
    std::size_t end = 0;
    while (end < cp932.size()) {
        const auto b = static_cast<unsigned char>(cp932[end]);
        if (b == 0) break;
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        const std::size_t len = lead ? 2 : 1;
        if (end + len > kMaxFaceNameBytes || end + len > cp932.size()) break;
        end += len;
    }
    return cp932.substr(0, end);
}

FontFace::~FontFace() {
    if (m_face) FT_Done_Face(m_face);
}

bool FontFace::covers(char32_t ch) const {
    return FT_Get_Char_Index(m_face, ch) != 0;
}

FontOutlineCache::FontOutlineCache() {
    if (FT_Init_FreeType(&m_library) != 0)
        throw std::runtime_error("FreeType could not be initialised");
    m_config = FcInitLoadConfigAndFonts();
    if (!m_config) {
        FT_Done_FreeType(m_library);
        throw std::runtime_error("fontconfig could not load its configuration");
    }
}

FontOutlineCache::~FontOutlineCache() {
    m_faces.clear(); // faces before the library that made them
    FT_Done_FreeType(m_library);
    FcConfigDestroy(m_config);
}

const FontFace* FontOutlineCache::openFace(const std::string& file, int index) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::canonical(file, ec);
    if (ec) path = file;
    const std::string key = std::to_string(index) + ":" + path.string();
    if (auto it = m_byFile.find(key); it != m_byFile.end()) return it->second;

    FT_Face ftFace = nullptr;
    if (FT_New_Face(m_library, path.c_str(), index, &ftFace) != 0) return nullptr;
    ++m_openCount;
    auto face = std::unique_ptr<FontFace>(new FontFace);
    face->m_face = ftFace;
    if (!FT_IS_SCALABLE(ftFace)) {
        m_byFile.emplace(key, nullptr);
        return nullptr;
    }
    FT_Select_Charmap(ftFace, FT_ENCODING_UNICODE); // keeps the default when absent
    face->m_family = ftFace->family_name ? ftFace->family_name : "";
    face->m_file = path;
    face->m_index = index;

    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ftFace, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(ftFace, FT_SFNT_HHEA));
    if (os2 && os2->version == 0xFFFF) os2 = nullptr;
    int cell = os2 ? int{os2->usWinAscent} + int{os2->usWinDescent} : 0;
    if (cell <= 0 && hhea) cell = int{hhea->Ascender} - int{hhea->Descender};
    if (cell <= 0) cell = ftFace->ascender - ftFace->descender;
    if (cell <= 0) cell = ftFace->units_per_EM > 0 ? ftFace->units_per_EM : kDesignCellHeight;
    face->m_cellUnits = cell;

    int ascent = 0, descent = 0;
    if (os2 && (os2->sTypoAscender != 0 || os2->sTypoDescender != 0)) {
        ascent = os2->sTypoAscender;
        descent = os2->sTypoDescender;
    } else if (hhea && (hhea->Ascender != 0 || hhea->Descender != 0)) {
        ascent = hhea->Ascender;
        descent = hhea->Descender;
    } else {
        ascent = ftFace->ascender;
        descent = ftFace->descender;
    }
    face->m_metrics.ascent = scaled(ascent, cell);
    face->m_metrics.descent = scaled(descent, cell);
    const int avg = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : ftFace->units_per_EM / 2;
    face->m_avgAdvance = scaled(avg, cell);

    const FontFace* result = face.get();
    m_faces.push_back(std::move(face));
    m_byFile.emplace(key, result);
    return result;
}

// fontconfig's ranking of the installed faces for a family name (empty: no
// family), regular weight, upright; the first that FreeType can open as a
// scalable face wins.
const FontFace* FontOutlineCache::findFace(const std::string& family, bool preferJapanese) {
    FcPattern* pattern = FcPatternCreate();
    if (!family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (preferJapanese)
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(m_config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);

    FcResult result = FcResultNoMatch;
    FcFontSet* set = FcFontSort(m_config, pattern, FcFalse, nullptr, &result);
    FcPatternDestroy(pattern);
    const FontFace* found = nullptr;
    if (set) {
        for (int i = 0; i < set->nfont && !found; ++i) {
            FcChar8* file = nullptr;
            int index = 0;
            FcBool outline = FcFalse;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
            if (FcPatternGetBool(set->fonts[i], FC_OUTLINE, 0, &outline) == FcResultMatch &&
                !outline)
                continue;
            FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
            found = openFace(reinterpret_cast<const char*>(file), index);
        }
        FcFontSetDestroy(set);
    }
    return found;
}

const FontFace& FontOutlineCache::defaultFace() {
    if (!m_default) m_default = findFace(kLinkedFamily, true);
    if (!m_default) m_default = findFace("", true);
    if (!m_default) throw std::runtime_error("no scalable font is installed");
    return *m_default;
}

const FontFace& FontOutlineCache::face(std::string_view cp932Name) {
    const std::optional<std::string> utf8 = cp932ToUtf8(cutFaceName(cp932Name));
    return faceUtf8(utf8 ? *utf8 : std::string());
}

const FontFace& FontOutlineCache::faceUtf8(std::string_view utf8Name) {
    const std::string key = asciiLower(utf8Name);
    if (auto it = m_byName.find(key); it != m_byName.end()) return *it->second;

    const FontFace* found = nullptr;
    if (!key.empty()) {
        std::string family = SubstituteFamily(utf8Name);
        if (family.empty()) family = std::string(utf8Name);
        found = findFace(family, true);
    }
    if (!found) found = &defaultFace();
    m_byName.emplace(key, found);
    return *found;
}

const FontFace* FontOutlineCache::searchCovering(char32_t ch) {
    FcPattern* pattern = FcPatternCreate();
    FcCharSet* wanted = FcCharSetCreate();
    FcCharSetAddChar(wanted, ch);
    FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(m_config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* set = FcFontSort(m_config, pattern, FcFalse, nullptr, &result);
    FcPatternDestroy(pattern);
    FcCharSetDestroy(wanted);

    const FontFace* found = nullptr;
    if (set) {
        for (int i = 0; i < set->nfont && !found; ++i) {
            FcCharSet* has = nullptr;
            if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &has) != FcResultMatch ||
                !FcCharSetHasChar(has, ch))
                continue; // sorted by coverage first: later ones lack it too, mostly
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
            FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
            const FontFace* face = openFace(reinterpret_cast<const char*>(file), index);
            if (face && face->covers(ch)) found = face;
        }
        FcFontSetDestroy(set);
    }
    return found;
}

const FontFace* FontOutlineCache::fallbackFor(char32_t ch) {
    if (auto it = m_fallbacks.find(ch); it != m_fallbacks.end()) return it->second;
    const FontFace& linked = defaultFace();
    const FontFace* found = linked.covers(ch) ? &linked : searchCovering(ch);
    m_fallbacks.emplace(ch, found);
    return found;
}

GlyphOutline FontOutlineCache::outline(const FontFace& face, char32_t ch) {
    GlyphOutline out;
    outline(face, ch, out);
    return out;
}

void FontOutlineCache::outline(const FontFace& requested, char32_t ch, GlyphOutline& out) {
    out.data.clear();
    out.failed = false;
    out.advance = 0;

    const FontFace* face = &requested;
    const bool scalar = ch <= 0x10FFFF && (ch < 0xD800 || ch > 0xDFFF);
    FT_UInt glyph = scalar ? FT_Get_Char_Index(face->m_face, ch) : 0;
    // Control characters (a line break in a text) that the face does not map
    // are drawn as the face's space, as common faces map them to an empty
    // glyph of a space's width, never as the .notdef box.
    const bool control = ch < 0x20 || (ch >= 0x7F && ch < 0xA0);
    if (control && glyph == 0) glyph = FT_Get_Char_Index(face->m_face, U' ');
    if (scalar && glyph == 0 && !control) {
        if (const FontFace* other = fallbackFor(ch)) {
            face = other;
            glyph = FT_Get_Char_Index(face->m_face, ch);
        }
    }
    out.source = face;

    const auto advanceFromMetrics = [&] {
        FT_Fixed units = 0;
        const int v = FT_Get_Advance(face->m_face, glyph, FT_LOAD_NO_SCALE, &units) == 0
                          ? scaled(static_cast<double>(units), face->m_cellUnits)
                          : face->m_avgAdvance;
        return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
    };
    if (!scalar) {
        out.failed = true;
        out.advance = advanceFromMetrics();
        return;
    }

    FT_Face ft = face->m_face;
    if (FT_Load_Glyph(ft, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
        ft->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
        out.failed = true;
        out.advance = advanceFromMetrics();
        return;
    }
    const int advance = scaled(static_cast<double>(ft->glyph->advance.x), face->m_cellUnits);
    out.advance = static_cast<std::int16_t>(std::clamp(advance, -32768, 32767));

    const double scale = 65536.0 * kDesignCellHeight / face->m_cellUnits;
    if (!appendNativeOutline(ft->glyph->outline, scale, out.data)) {
        out.data.clear();
        out.failed = true;
    }
}

} // namespace platform
