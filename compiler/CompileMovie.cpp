#include "compiler/CompileMovie.h"

#include "compiler/CompileObserver.h"
#include "compiler/PictureExport.h"
#include "compiler/ShapeBuilders.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "platform/GlyphOutline.h"
#include "platform/TextCodec.h"
#include "swf/FCT.h"
#include "swf/FDTFonts.h"
#include "swf/FDTShapes.h"
#include "swf/FObjCollection.h"
#include "swf/Twips.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <numbers>
#include <optional>
#include <span>
#include <unordered_map>

thread_local int32_t FrameTime = 0;
thread_local int32_t PrevFrameTime = -1;

using swf::ToTwips;

namespace {

using Clock = std::chrono::steady_clock;

// Character IDs and depths are 16-bit values in the movie.
constexpr int32_t MaxCharacterID = 65535;
constexpr int32_t MaxDepth = 65535;
// The header's frame count is a 16-bit value.
constexpr int32_t MaxFrames = 65535;

int32_t red(int32_t c) {
    return c & 0xFF;
}
int32_t green(int32_t c) {
    return (c >> 8) & 0xFF;
}
int32_t blue(int32_t c) {
    return (c >> 16) & 0xFF;
}

// Transparency in percent to alpha; values outside 0..100 count as the nearer limit.
int32_t alphaOf(int64_t transparency) {
    transparency = std::clamp<int64_t>(transparency, 0, 100);
    return static_cast<int32_t>((100 - transparency) * 255 / 100);
}

// The side of a box from two edges, kept inside 32 bits.
int32_t side(int32_t from, int32_t to) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t(to) - from, INT32_MIN + 1, INT32_MAX));
}

// Stored rotation (tenths, counter-clockwise) to the movie's whole degrees.
int32_t movieDegrees(int64_t tenths) {
    return static_cast<int32_t>(-tenths / 10);
}

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

class Compiler {
public:
    Compiler(const CompileOptions& options, CompileResult& result);

    void run();
    // After run, also when it failed or threw: the reason of a failure, and
    // no file left beside the target.
    void finish();
    // Releases the elements' working blocks once the movie is gone.
    void releaseWork();

private:
    // Linear blend from a to b at e of dur; an element without duration is at b.
    // The product is formed in 128 bits: stored values and times each span 32.
    int64_t mix(int64_t a, int64_t b) const {
        if (m_dur == 0) return b;
        const int64_t d = b - a;
        // Nearly always both factors are far below 2^31 and 64 bits suffice.
        if (d > -(int64_t(1) << 31) && d < (int64_t(1) << 31) && m_e < (int64_t(1) << 31))
            return d * m_e / m_dur + a;
        return static_cast<int64_t>(static_cast<__int128>(d) * m_e / m_dur) + a;
    }

    bool takeIDs(int32_t count, const char* what);
    bool takeDepth();
    void add(std::unique_ptr<FObj> obj) {
        m_movie.AddFObj(std::move(obj));
        ++m_result.tags;
    }
    template <class T> T* add(std::unique_ptr<T> obj) {
        ++m_result.tags;
        return m_movie.AddFObj(std::move(obj));
    }
    void place(bool move, bool hasCharacter, const MovieMatrix* matrix, bool hasRatio = false,
               uint16_t ratio = 0) {
        Objekt& o = *m_cur;
        add(std::make_unique<FCTPlaceObject2>(
            false, hasRatio, hasCharacter, move, static_cast<uint16_t>(o.Work.Depth),
            static_cast<uint16_t>(o.Work.CharID),
            matrix ? std::make_unique<FMatrix>(true, matrix->scaleX, matrix->scaleY, true,
                                               matrix->rotateSkew0, matrix->rotateSkew1,
                                               matrix->translateX, matrix->translateY)
                   : nullptr,
            nullptr, ratio, nullptr, uint16_t(0)));
        if (m_observer) m_observer->placed(m_index, matrix, hasRatio ? ratio : -1);
    }

    // The glyphs of a text element: which font and glyph each character is
    // drawn with. One font holds every character in order, as long as their
    // outlines fit its 16-bit offsets; otherwise each different character has
    // one glyph, and the glyphs are spread over as many fonts as they need.
    struct TextLayout {
        std::vector<uint16_t> fontIDs;
        std::vector<uint16_t> fontOf;  // per character: index into fontIDs
        std::vector<uint16_t> glyphOf; // per character: glyph index in its font
    };

    bool hasTags(const Objekt& o) const;
    bool buildText(int32_t index, const std::u16string& text);
    platform::FontOutlineCache& fonts();
    void writeFrame();
    void startElement(int32_t index);
    void startText(int32_t index);
    void startDrawing();
    void startPicture(int32_t index);
    void updateElement();
    void defineText(int64_t fontSize, int32_t r, int32_t g, int32_t b, int32_t alpha, int32_t& half,
                    int32_t& size);
    void warn(std::string text) { m_result.warnings.push_back(std::move(text)); }

    const CompileOptions& m_options;
    CompileResult& m_result;
    CompileObserver* const m_observer = m_options.observer;
    std::vector<int32_t> m_advances; // the advances of the text being defined, for the observer
    // The elements compiled: the live ObjektList, or a copy of a snapshot's
    // records (whose texts and pictures the snapshot keeps owning).
    std::vector<Objekt> m_copy;
    std::span<Objekt> m_elements;
    const StageSettings* m_stage = nullptr;
    Objekt* m_cur = nullptr; // the element being started or updated
    // The JPEG data outlives the movie that refers to it.
    std::vector<std::vector<uint8_t>> m_jpegBlocks;
    FObjCollection m_movie;
    std::optional<platform::FontOutlineCache> m_fonts; // opened with the first text
    std::vector<TextLayout> m_texts;                   // per element
    std::vector<int32_t> m_startedNow; // elements whose tags the current frame holds
    std::vector<uint8_t> m_placed;     // per element: placed at a depth in this compilation
    int32_t m_index = 0;               // the element being started
    int32_t m_idsUsed = 0;
    int32_t m_depthCounter = 1;
    int64_t m_e = 0, m_dur = 0;
    bool m_warnedTextIDs = false;
    bool m_pictureFailed = false; // a picture could not be exported: no movie
    double m_glyphSeconds = 0, m_pictureSeconds = 0;
    int32_t m_width = 0, m_height = 0;
};

bool Compiler::takeIDs(int32_t count, const char* what) {
    if (m_idsUsed + count > MaxCharacterID) {
        warn(std::string("character IDs exhausted: ") + what + " left out");
        return false;
    }
    m_idsUsed += count;
    return true;
}

bool Compiler::takeDepth() {
    if (m_depthCounter >= MaxDepth) {
        warn("depths exhausted: an element was left out");
        return false;
    }
    m_cur->Work.Depth = ++m_depthCounter;
    return true;
}

bool Compiler::hasTags(const Objekt& o) const {
    return o.Kind == okDrawing || o.Kind == okPicture || (o.Kind == okText && o.Text && o.Text[0]);
}

void Compiler::defineText(int64_t fontSize, int32_t r, int32_t g, int32_t b, int32_t alpha,
                          int32_t& half, int32_t& size) {
    Objekt& o = *m_cur;
    const TextLayout& layout = m_texts[size_t(m_index)];
    // The text height field holds 16 bits.
    size = static_cast<int32_t>(std::clamp<int64_t>(ToTwips(fontSize), 0, 65535));
    int64_t sum = 0;
    for (int32_t i = 0; i < o.Work.GlyphCount; ++i)
        sum += int64_t(o.Work.Advances[i]) * size / 1000;
    half = ClampTwips(sum / 2);
    if (m_observer) {
        m_advances.resize(size_t(o.Work.GlyphCount));
        for (int32_t i = 0; i < o.Work.GlyphCount; ++i)
            m_advances[size_t(i)] = static_cast<int32_t>(int64_t(o.Work.Advances[i]) * size / 1000);
        m_observer->textDefined(m_index, {m_advances, -half, -(size / 2), size, {r, g, b, alpha}});
    }
    auto text = std::make_unique<FDTDefineText2>(
        std::make_unique<FRect>(ToTwips(-m_width), ToTwips(-m_height), ToTwips(m_width),
                                ToTwips(m_height)),
        std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, -half, -(size / 2)), o.Work.GlyphCount);
    // A run of characters of one font: its font (the colour with the first),
    // then its glyphs. The pen goes on from one run to the next.
    int32_t i = 0;
    while (i < o.Work.GlyphCount) {
        const uint16_t font = layout.fontOf[size_t(i)];
        text->AddTextRecord(std::make_unique<FTextChangeRecord>(
            true, i == 0, false, false, layout.fontIDs[font], static_cast<uint16_t>(size),
            i == 0 ? std::make_unique<FColor>(r, g, b, alpha) : nullptr, 0, 0));
        auto glyphs = std::make_unique<FTextGlyphRecord>();
        for (; i < o.Work.GlyphCount && layout.fontOf[size_t(i)] == font; ++i)
            glyphs->AddGlyphEntry(layout.glyphOf[size_t(i)],
                                  static_cast<int32_t>(int64_t(o.Work.Advances[i]) * size / 1000));
        text->AddTextRecord(std::move(glyphs));
    }
    o.Work.CharID = text->ID();
    o.Work.TextTag = add(std::move(text));
}

platform::FontOutlineCache& Compiler::fonts() {
    if (!m_fonts) m_fonts.emplace();
    return *m_fonts;
}

// Builds the fonts of the text element being started and its layout. Returns false
// (with a warning, nothing added) when no face can draw it.
bool Compiler::buildText(int32_t index, const std::u16string& wide) {
    Objekt& o = *m_cur;
    const auto n = static_cast<int32_t>(wide.size());
    // Each different character is outlined once.
    struct Glyph {
        std::vector<unsigned char> bytes;
        int32_t advance;
        char16_t ch;
    };
    std::vector<Glyph> glyphs;
    std::vector<uint32_t> glyphOfChar(static_cast<size_t>(n));
    try {
        const platform::FontFace& face = fonts().face(o.FontName ? o.FontName : "");
        std::unordered_map<char16_t, uint32_t> seen;
        for (int32_t i = 0; i < n; ++i) {
            const char16_t ch = wide[size_t(i)];
            auto [it, added] = seen.emplace(ch, static_cast<uint32_t>(glyphs.size()));
            if (added) {
                FShape shape;
                // Advances are never negative.
                const int32_t advance = std::max(0, GlyphToShape(shape, ch, face, fonts()));
                if (m_observer) m_observer->glyphBuilt(index, shape);
                glyphs.push_back({FDTDefineFont::GlyphBytes(shape), advance, ch});
            }
            glyphOfChar[size_t(i)] = it->second;
        }
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        warn("element " + std::to_string(index + 1) + ": no font could draw the text (" + e.what() +
             "); it was left out");
        return false;
    }

    uint64_t inOrder = 0;
    for (uint32_t g : glyphOfChar)
        inOrder += glyphs[g].bytes.size();
    TextLayout layout;
    layout.fontOf.assign(size_t(n), 0);
    layout.glyphOf.resize(size_t(n));
    std::vector<std::unique_ptr<FDTDefineFont>> fontTags;
    std::vector<std::unique_ptr<FDTDefineFontInfo>> infos;
    auto newFont = [&] {
        fontTags.push_back(std::make_unique<FDTDefineFont>());
        layout.fontIDs.push_back(fontTags.back()->ID());
        infos.push_back(std::make_unique<FDTDefineFontInfo>("Arial", fontTags.back()->ID(),
                                                            uint16_t(1), false, false));
    };
    if (FDTDefineFont::Fits(size_t(n), inOrder)) {
        // Every character its own glyph, in order: the movie as it always was.
        if (!takeIDs(3, "a text element")) return false;
        newFont();
        for (int32_t i = 0; i < n; ++i) {
            fontTags[0]->AddGlyphBytes(glyphs[glyphOfChar[size_t(i)]].bytes);
            infos[0]->AddCode(wide[size_t(i)]);
            layout.glyphOf[size_t(i)] = static_cast<uint16_t>(i);
        }
    } else {
        // One glyph per different character, in fonts filled one after the other.
        std::vector<uint16_t> fontOfGlyph(glyphs.size()), indexOfGlyph(glyphs.size());
        size_t fontCount = 0, count = 0;
        uint64_t bytes = 0;
        for (size_t g = 0; g < glyphs.size(); ++g) {
            if (fontCount == 0 || !FDTDefineFont::Fits(count + 1, bytes + glyphs[g].bytes.size())) {
                ++fontCount;
                count = 0;
                bytes = 0;
            }
            fontOfGlyph[g] = static_cast<uint16_t>(fontCount - 1);
            indexOfGlyph[g] = static_cast<uint16_t>(count);
            ++count;
            bytes += glyphs[g].bytes.size();
        }
        if (!takeIDs(static_cast<int32_t>(2 * fontCount + 1), "a text element")) return false;
        for (size_t f = 0; f < fontCount; ++f)
            newFont();
        for (size_t g = 0; g < glyphs.size(); ++g) {
            fontTags[fontOfGlyph[g]]->AddGlyphBytes(std::move(glyphs[g].bytes));
            infos[fontOfGlyph[g]]->AddCode(glyphs[g].ch);
        }
        for (int32_t i = 0; i < n; ++i) {
            layout.fontOf[size_t(i)] = fontOfGlyph[glyphOfChar[size_t(i)]];
            layout.glyphOf[size_t(i)] = indexOfGlyph[glyphOfChar[size_t(i)]];
        }
    }

    std::free(o.Work.WideText);
    std::free(o.Work.Advances);
    o.Work.WideText = nullptr;
    o.Work.Advances = nullptr;
    o.Work.GlyphCount = 0;
    o.Work.WideText = static_cast<char16_t*>(std::calloc(size_t(n) + 1, sizeof(char16_t)));
    o.Work.Advances = static_cast<int32_t*>(std::calloc(size_t(n) + 1, sizeof(int32_t)));
    if (!o.Work.WideText || !o.Work.Advances) throw std::bad_alloc();
    std::memcpy(o.Work.WideText, wide.data(), size_t(n) * sizeof(char16_t));
    for (int32_t i = 0; i < n; ++i)
        o.Work.Advances[i] = glyphs.empty() ? 0 : glyphs[glyphOfChar[size_t(i)]].advance;
    o.Work.GlyphCount = n;
    o.Work.FontID = layout.fontIDs[0];
    m_result.glyphs += glyphs.size();
    for (size_t f = 0; f < fontTags.size(); ++f) {
        FDTDefineFont* font = add(std::move(fontTags[f]));
        if (f == 0) o.Work.FontTag = font;
        add(std::move(infos[f]));
    }
    m_texts[size_t(m_index)] = std::move(layout);
    if (m_observer) m_observer->textLaidOut(index, glyphOfChar);
    return true;
}

void Compiler::startText(int32_t index) {
    Objekt& o = *m_cur;
    const std::optional<std::u16string> wide = platform::cp932ToUtf16(o.Text);
    if (!wide || wide->empty()) {
        warn("element " + std::to_string(index + 1) +
             ": the text is not valid Shift-JIS and was left out");
        return;
    }
    if (wide->size() > kMaxTextCharacters) {
        warn("element " + std::to_string(index + 1) + ": the text has " +
             std::to_string(wide->size()) + " characters, more than the " +
             std::to_string(kMaxTextCharacters) + " a text can have; it was left out");
        return;
    }
    const auto start = Clock::now();
    const bool built = buildText(index, *wide);
    m_glyphSeconds += seconds(start);
    if (!built) return;

    const ObjektState& s = o.Start;
    int32_t half = 0, size = 0;
    defineText(s.FontSize, red(s.Color), green(s.Color), blue(s.Color), alphaOf(s.Transparency),
               half, size);
    const FixedAngle a = FixedCosSin(movieDegrees(s.Rotation));
    if (!takeDepth()) return;
    const MovieMatrix matrix{a.c,
                             a.c,
                             a.s,
                             -a.s,
                             ClampTwips(ToTwips(int64_t(s.Left)) + half),
                             ClampTwips(ToTwips(int64_t(s.Top)) + size / 2)};
    place(false, true, &matrix);
    m_placed[size_t(m_index)] = 1;
}

void Compiler::startDrawing() {
    Objekt& o = *m_cur;
    if (!takeIDs(1, "a drawing object")) return;
    const ObjektState& s = o.Start;
    const ObjektState& e = o.End;
    auto morph = std::make_unique<FDTDefineMorphShape>(
        std::make_unique<FRect>(0, 0, ToTwips(m_width), ToTwips(m_height)),
        std::make_unique<FRect>(0, 0, ToTwips(m_width), ToTwips(m_height)));
    o.Work.MorphTag = morph.get();
    const uint32_t fill = morph->AddFillStyle(std::make_unique<FMorphFillStyleSolid>(
        std::make_unique<FColor>(red(s.Color), green(s.Color), blue(s.Color),
                                 alphaOf(s.Transparency)),
        std::make_unique<FColor>(red(e.Color), green(e.Color), blue(e.Color),
                                 alphaOf(e.Transparency))));
    morph->FinishStyleArrays();
    if (o.DrawKind == dkRectangle || o.DrawKind == dkEllipse) {
        // The fill goes on the inside of the start outline; the end outline is
        // made to run the same way, since a morph shape takes its fill sides
        // from the start shape.
        const bool rect = o.DrawKind == dkRectangle;
        const bool startCcw = rect && RectRunsCounterClockwise(s);
        const bool endCcw = rect && RectRunsCounterClockwise(e);
        const FillSide side = startCcw ? FillSide::Left : FillSide::Right;
        BuildStateOutline(s, o.DrawKind, false);
        rect ? EmitStartPolygon(*morph, fill, side) : EmitStartCurves(*morph, fill, side);
        PointList.Clear();
        BuildStateOutline(e, o.DrawKind, startCcw != endCcw);
        rect ? EmitEndPolygon(*morph, fill, side) : EmitEndCurves(*morph, fill, side);
        PointList.Clear();
    } else {
        // An unknown kind draws nothing, but both shapes still need their end record.
        morph->AddStartShapeRec(std::make_unique<FShapeRecEnd>());
        morph->AddEndShapeRec(std::make_unique<FShapeRecEnd>());
    }
    if (m_observer)
        m_observer->drawingDefined(
            m_index, morph->StartEdges(), morph->EndEdges(),
            {red(s.Color), green(s.Color), blue(s.Color), alphaOf(s.Transparency)},
            {red(e.Color), green(e.Color), blue(e.Color), alphaOf(e.Transparency)});
    const uint16_t id = morph->ID();
    add(std::move(morph));
    if (!takeDepth()) return;
    o.Work.CharID = id;
    place(false, true, nullptr);
    m_placed[size_t(m_index)] = 1;
}

void Compiler::startPicture(int32_t index) {
    Objekt& o = *m_cur;
    if (!takeIDs(2, "a picture element")) return;
    const auto start = Clock::now();
    const size_t before = m_movie.ObjectCount();
    const bool ok = StartPictureElement(o, m_movie, m_width, m_height, m_jpegBlocks);
    m_result.tags += m_movie.ObjectCount() - before;
    m_pictureSeconds += seconds(start);
    if (!ok) {
        // A movie without one of its pictures is not the project's movie:
        // the compilation fails and a movie already there stays.
        m_result.error =
            "element " + std::to_string(index + 1) + ": the picture could not be encoded as JPEG";
        m_pictureFailed = true;
        return;
    }
    ++m_result.pictures;
    if (m_observer)
        m_observer->pictureDefined(m_index, m_jpegBlocks.back(), o.Work.PicWidth, o.Work.PicHeight);
    if (!takeDepth()) return;
    o.Work.CharID = o.Work.PictureTag->ID();
    const ObjektState& s = o.Start;
    const BoxSize box = FitToAspect(side(s.Left, s.Right), side(s.Top, s.Bottom), o.Work.PicWidth,
                                    o.Work.PicHeight);
    const double a = movieDegrees(s.Rotation) * std::numbers::pi / 180.0;
    const auto sx = static_cast<int32_t>(
        std::clamp(std::cos(a) * 65536.0 * box.w / o.Work.PicWidth, -1e9, 1e9));
    const auto rs = static_cast<int32_t>(
        std::clamp(std::sin(a) * 65536.0 * box.h / o.Work.PicHeight, -1e9, 1e9));
    const MovieMatrix matrix{sx,
                             sx,
                             rs,
                             -rs,
                             ClampTwips(ToTwips(int64_t(s.Left)) + ToTwips(int64_t(box.w)) / 2),
                             ClampTwips(ToTwips(int64_t(s.Top)) + ToTwips(int64_t(box.h)) / 2)};
    place(false, true, &matrix);
    m_placed[size_t(m_index)] = 1;
}

void Compiler::startElement(int32_t index) {
    Objekt& o = *m_cur;
    o.Work.Finished = 0;
    switch (o.Kind) {
    case okText:
        if (o.Text && o.Text[0]) startText(index);
        break;
    case okDrawing:
        startDrawing();
        break;
    case okPicture:
        startPicture(index);
        break;
    default:
        break; // other kinds produce no tags
    }
}

void Compiler::updateElement() {
    Objekt& o = *m_cur;
    const ObjektState& s = o.Start;
    const ObjektState& e = o.End;
    const int32_t degrees = movieDegrees(mix(s.Rotation, e.Rotation));
    switch (o.Kind) {
    case okDrawing: {
        const auto ratio = static_cast<uint16_t>(m_dur == 0 ? 65535 : m_e * 65535 / m_dur);
        place(true, false, nullptr, true, ratio);
        break;
    }
    case okPicture: {
        const BoxSize b0 = FitToAspect(side(s.Left, s.Right), side(s.Top, s.Bottom),
                                       o.Work.PicWidth, o.Work.PicHeight);
        const BoxSize b1 = FitToAspect(side(e.Left, e.Right), side(e.Top, e.Bottom),
                                       o.Work.PicWidth, o.Work.PicHeight);
        const int64_t w = mix(b0.w, b1.w), h = mix(b0.h, b1.h);
        const double a = degrees * std::numbers::pi / 180.0;
        const auto sx = static_cast<int32_t>(
            std::clamp(std::cos(a) * 65536.0 * double(w) / o.Work.PicWidth, -1e9, 1e9));
        const auto rs = static_cast<int32_t>(
            std::clamp(std::sin(a) * 65536.0 * double(h) / o.Work.PicHeight, -1e9, 1e9));
        const int64_t x = ToTwips(mix(s.Left, e.Left)) + ToTwips(w) / 2;
        const int64_t y = ToTwips(mix(s.Top, e.Top)) + ToTwips(h) / 2;
        const MovieMatrix matrix{sx, sx, rs, -rs, ClampTwips(x), ClampTwips(y)};
        place(true, false, &matrix);
        break;
    }
    case okText: {
        if (!o.Text || !o.Text[0]) break;
        if (m_idsUsed + 1 > MaxCharacterID) {
            if (!m_warnedTextIDs)
                warn("character IDs exhausted: texts keep their last size and colour from here on");
            m_warnedTextIDs = true;
            break; // the text stays as last placed
        }
        ++m_idsUsed;
        add(std::make_unique<FCTRemoveObject2>(static_cast<uint16_t>(o.Work.Depth)));
        const int32_t r = static_cast<int32_t>(mix(red(s.Color), red(e.Color)));
        const int32_t g = static_cast<int32_t>(mix(green(s.Color), green(e.Color)));
        const int32_t b = static_cast<int32_t>(mix(blue(s.Color), blue(e.Color)));
        const int32_t alpha =
            alphaOf(mix(std::clamp(s.Transparency, 0, 100), std::clamp(e.Transparency, 0, 100)));
        int32_t half = 0, size = 0;
        defineText(mix(s.FontSize, e.FontSize), r, g, b, alpha, half, size);
        const FixedAngle a = FixedCosSin(degrees);
        const MovieMatrix matrix{a.c,
                                 a.c,
                                 a.s,
                                 -a.s,
                                 ClampTwips(ToTwips(mix(s.Left, e.Left)) + half),
                                 ClampTwips(ToTwips(mix(s.Top, e.Top)) + size / 2)};
        place(false, true, &matrix);
        break;
    }
    default:
        break;
    }
}

// Writes the frame just completed and releases its tags; the JPEG data and
// the tag pointers of the elements started in it go with them.
void Compiler::writeFrame() {
    if (!m_movie.WritePending()) return;
    m_jpegBlocks.clear();
    for (int32_t i : m_startedNow) {
        CompileWork& work = m_elements[size_t(i)].Work;
        work.TextTag = nullptr;
        work.FontTag = nullptr;
        work.MorphTag = nullptr;
        work.PictureTag = nullptr;
    }
    m_startedNow.clear();
}

void Compiler::run() {
    const auto tagStart = Clock::now();
    double writeSeconds = 0;
    m_width = m_stage->width();
    m_height = m_stage->height();
    const int32_t fps = m_stage->framesPerSecond();

    // 1. Time range; a start time after the end time is exchanged for good.
    int32_t maxTime = 0;
    for (Objekt& o : m_elements) {
        maxTime = std::max({maxTime, o.Start.Time, o.End.Time});
        if (o.Start.Time >= o.End.Time) std::swap(o.Start.Time, o.End.Time);
        o.Work.Depth = 0;
        o.Work.Finished = 0;
    }

    // 2. Frames.
    int64_t lastFrame = int64_t(fps) * maxTime / 1000;
    if (lastFrame > MaxFrames - 1) {
        warn("the movie was cut after " + std::to_string(MaxFrames) + " frames");
        lastFrame = MaxFrames - 1;
    }

    // 3. Movie start: the file beside the target, the background colour.
    ResetCharacterID();
    if (m_options.inMemory)
        m_movie.BeginMovieInMemory(ToTwips(m_width), ToTwips(m_height), fps,
                                   m_options.discardMovie);
    else if (!m_movie.BeginMovie(m_options.outputPath, ToTwips(m_width), ToTwips(m_height), fps))
        return;
    const int32_t bg = m_stage->backgroundColor();
    add(std::make_unique<FCTSetBackgroundColor>(
        std::make_unique<FColor>(red(bg), green(bg), blue(bg))));
    m_depthCounter = 1;
    PrevFrameTime = -1;
    const auto count = static_cast<int32_t>(m_elements.size());
    m_placed.assign(size_t(count), 0);
    m_texts.assign(size_t(count), TextLayout{});
    if (m_observer)
        m_observer->movieStarted(m_width, m_height, fps, bg, static_cast<int32_t>(lastFrame + 1));

    // 4. Frame loop: each frame is written as soon as it is complete.
    for (int32_t j = 0; j <= lastFrame; ++j) {
        FrameTime = static_cast<int32_t>(1000 * int64_t(j) / fps);
        for (int32_t i = 0; i < count; ++i) {
            Objekt& o = m_elements[size_t(i)];
            m_cur = &o;
            const ObjektState& s = o.Start;
            const ObjektState& e = o.End;
            // An element with a start time before 0 starts in the first frame.
            const bool starts =
                (PrevFrameTime < s.Time && s.Time <= FrameTime) || (j == 0 && s.Time < 0);
            if (starts) {
                m_index = i;
                m_placed[size_t(i)] = 0;
                m_startedNow.push_back(i);
                startElement(i);
                if (m_pictureFailed) return;
                continue;
            }
            if (!m_placed[size_t(i)]) continue; // never placed: nothing to move or remove
            if (e.Time <= FrameTime && o.Work.Finished == 1) {
                if (hasTags(o) && o.DeleteAtEnd) {
                    add(std::make_unique<FCTRemoveObject2>(static_cast<uint16_t>(o.Work.Depth)));
                    if (m_observer) m_observer->removed(i);
                }
            } else if (s.Time <= FrameTime && (FrameTime < e.Time || o.Work.Finished == 0)) {
                m_dur = int64_t(e.Time) - s.Time;
                m_e = int64_t(FrameTime) - s.Time;
                if (m_e >= m_dur) {
                    m_e = m_dur;
                    o.Work.Finished = 1;
                }
                m_index = i;
                updateElement();
            }
        }
        PrevFrameTime = FrameTime;
        add(std::make_unique<FCTShowFrame>());
        if (m_observer) m_observer->frameEnded(j);
        const auto writeStart = Clock::now();
        writeFrame();
        writeSeconds += seconds(writeStart);
        if (m_movie.LastFailure() != FObjCollection::WriteFailure::None) return;
        if (m_options.progress) m_options.progress(j, static_cast<int32_t>(lastFrame));
        if (m_options.cancelRequested && m_options.cancelRequested()) {
            m_movie.AbandonMovie();
            m_result.cancelled = true;
            return;
        }
    }
    m_result.frames = static_cast<int32_t>(lastFrame + 1);
    m_result.glyphSeconds = m_glyphSeconds;
    m_result.pictureSeconds = m_pictureSeconds;

    // 5. End of the movie: the End tag, the header's length and frame count.
    const auto writeStart = Clock::now();
    m_result.written = m_movie.FinishMovie(m_options.replaceMovie);
    m_result.writeSeconds = writeSeconds + seconds(writeStart);
    m_result.tagSeconds =
        seconds(tagStart) - m_glyphSeconds - m_pictureSeconds - m_result.writeSeconds;
    if (m_result.written) m_result.bytes = m_movie.BytesSoFar();
    if (m_result.written && m_options.inMemory) m_result.movie = m_movie.TakeMemory();
}

void Compiler::finish() {
    switch (m_movie.LastFailure()) {
    case FObjCollection::WriteFailure::None:
        break;
    case FObjCollection::WriteFailure::TooLarge:
        m_result.tooLarge = true;
        m_result.error = "the movie would be larger than the 4 GiB (4294967295 bytes) a movie "
                         "file can hold";
        break;
    default:
        m_result.error = m_movie.SystemError() != 0 ? std::strerror(m_movie.SystemError())
                                                    : "the file could not be written";
        break;
    }
    m_movie.AbandonMovie();
}

Compiler::Compiler(const CompileOptions& options, CompileResult& result)
    : m_options(options), m_result(result) {
    if (options.project) {
        m_copy = options.project->elements;
        m_elements = m_copy;
        m_stage = &options.project->settings;
    } else {
        m_elements = {reinterpret_cast<Objekt*>(ObjektList.Block), size_t(ObjektList.Count)};
        m_stage = &Stage;
    }
}

// The text blocks are only needed while the movie is being built.
void Compiler::releaseWork() {
    for (Objekt& o : m_elements) {
        std::free(o.Work.WideText);
        std::free(o.Work.Advances);
        o.Work.WideText = nullptr;
        o.Work.Advances = nullptr;
        o.Work.TextTag = nullptr;
        o.Work.FontTag = nullptr;
        o.Work.MorphTag = nullptr;
        o.Work.PictureTag = nullptr;
    }
}

} // namespace

CompileResult CompileMovie(const CompileOptions& options) {
    CompileResult result;
    {
        Compiler compiler(options, result);
        try {
            compiler.run();
        } catch (const std::bad_alloc&) {
            result.written = false;
            result.outOfMemory = true;
            result.error = "out of memory";
        }
        compiler.finish();
        compiler.releaseWork();
    } // the movie and its tags go first; the JPEG blocks they refer to with them
    if (!result.written && result.error.empty() && !result.cancelled)
        result.error = "the file could not be written";
    if (options.afterCompile) options.afterCompile();
    return result;
}
