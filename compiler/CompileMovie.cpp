#include "compiler/CompileMovie.h"

#include "compiler/PictureExport.h"
#include "compiler/ShapeBuilders.h"
#include "editor/MainUnit.h"
#include "platform/GlyphOutline.h"
#include "platform/TextCodec.h"
#include "swf/FCT.h"
#include "swf/FDTFonts.h"
#include "swf/FDTShapes.h"
#include "swf/FObjCollection.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>

int32_t FrameTime = 0;
int32_t PrevFrameTime = -1;

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
    Compiler(const CompileOptions& options, CompileResult& result)
        : m_options(options), m_result(result) {}

    void run();

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
    void place(bool move, bool hasCharacter, std::unique_ptr<FMatrix> matrix, bool hasRatio = false,
               uint16_t ratio = 0) {
        Objekt& o = *CurObjekt;
        add(std::make_unique<FCTPlaceObject2>(
            false, hasRatio, hasCharacter, move, static_cast<uint16_t>(o.Work.Depth),
            static_cast<uint16_t>(o.Work.CharID), std::move(matrix), nullptr, ratio, nullptr,
            uint16_t(0)));
    }

    bool hasTags(const Objekt& o) const;
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
    // The JPEG data outlives the movie that refers to it.
    std::vector<std::vector<uint8_t>> m_jpegBlocks;
    FObjCollection m_movie;
    platform::FontOutlineCache m_fonts;
    std::vector<uint8_t> m_placed; // per element: placed at a depth in this compilation
    int32_t m_index = 0;           // the element being started
    int32_t m_idsUsed = 0;
    int32_t m_depthCounter = 1;
    int64_t m_e = 0, m_dur = 0;
    bool m_warnedTextIDs = false;
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
    CurObjekt->Work.Depth = ++m_depthCounter;
    return true;
}

bool Compiler::hasTags(const Objekt& o) const {
    return o.Kind == okDrawing || o.Kind == okPicture || (o.Kind == okText && o.Text && o.Text[0]);
}

void Compiler::defineText(int64_t fontSize, int32_t r, int32_t g, int32_t b, int32_t alpha,
                          int32_t& half, int32_t& size) {
    Objekt& o = *CurObjekt;
    // The text height field holds 16 bits.
    size = static_cast<int32_t>(std::clamp<int64_t>(fontSize * 20, 0, 65535));
    int64_t sum = 0;
    for (int32_t i = 0; i < o.Work.GlyphCount; ++i)
        sum += int64_t(o.Work.Advances[i]) * size / 1000;
    half = ClampTwips(sum / 2);
    auto text = std::make_unique<FDTDefineText2>(
        std::make_unique<FRect>(-m_width * 20, -m_height * 20, m_width * 20, m_height * 20),
        std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, -half, -(size / 2)),
        static_cast<int>(o.Work.FontTag->GlyphCount()));
    text->AddTextRecord(std::make_unique<FTextChangeRecord>(
        true, true, false, false, static_cast<uint16_t>(o.Work.FontID), static_cast<uint16_t>(size),
        std::make_unique<FColor>(r, g, b, alpha), 0, 0));
    auto glyphs = std::make_unique<FTextGlyphRecord>();
    for (int32_t i = 0; i < o.Work.GlyphCount; ++i)
        glyphs->AddGlyphEntry(static_cast<uint16_t>(i),
                              static_cast<int32_t>(int64_t(o.Work.Advances[i]) * size / 1000));
    text->AddTextRecord(std::move(glyphs));
    o.Work.CharID = text->ID();
    o.Work.TextTag = add(std::move(text));
}

void Compiler::startText(int32_t index) {
    Objekt& o = *CurObjekt;
    const std::optional<std::u16string> wide = platform::cp932ToUtf16(o.Text);
    if (!wide || wide->empty()) {
        warn("element " + std::to_string(index + 1) +
             ": the text is not valid Shift-JIS and was left out");
        return;
    }
    if (!takeIDs(3, "a text element")) return;
    // Opening a face happens once per face and compilation; it is not part
    // of the per-glyph cost measured below.
    const platform::FontFace& face = m_fonts.face(o.FontName ? o.FontName : "");
    const auto start = Clock::now();
    auto font = std::make_unique<FDTDefineFont>();
    o.Work.FontID = font->ID();
    const auto n = static_cast<int32_t>(wide->size());
    std::free(o.Work.WideText);
    std::free(o.Work.Advances);
    o.Work.WideText = static_cast<char16_t*>(std::calloc(size_t(n) + 1, sizeof(char16_t)));
    o.Work.Advances = static_cast<int32_t*>(std::calloc(size_t(n) + 1, sizeof(int32_t)));
    if (!o.Work.WideText || !o.Work.Advances) std::abort();
    std::memcpy(o.Work.WideText, wide->data(), size_t(n) * sizeof(char16_t));
    o.Work.GlyphCount = n;
    for (int32_t i = 0; i < n; ++i) {
        auto glyph = std::make_unique<FShape>();
        // Advances are never negative.
        o.Work.Advances[i] = std::max(0, GlyphToShape(*glyph, o.Work.WideText[i], face, m_fonts));
        font->AddShape(std::move(glyph));
    }
    m_result.glyphs += size_t(n);
    m_glyphSeconds += seconds(start);
    o.Work.FontTag = add(std::move(font));

    auto info = std::make_unique<FDTDefineFontInfo>("Arial", static_cast<uint16_t>(o.Work.FontID),
                                                    uint16_t(1), false, false);
    for (int32_t i = 0; i < n; ++i)
        info->AddCode(o.Work.WideText[i]);
    add(std::move(info));

    const ObjektState& s = o.Start;
    int32_t half = 0, size = 0;
    defineText(s.FontSize, red(s.Color), green(s.Color), blue(s.Color), alphaOf(s.Transparency),
               half, size);
    const FixedAngle a = FixedCosSin(movieDegrees(s.Rotation));
    if (!takeDepth()) return;
    place(false, true,
          std::make_unique<FMatrix>(true, a.c, a.c, true, a.s, -a.s,
                                    ClampTwips(int64_t(s.Left) * 20 + half),
                                    ClampTwips(int64_t(s.Top) * 20 + size / 2)));
    m_placed[size_t(m_index)] = 1;
}

void Compiler::startDrawing() {
    Objekt& o = *CurObjekt;
    if (!takeIDs(1, "a drawing object")) return;
    const ObjektState& s = o.Start;
    const ObjektState& e = o.End;
    auto morph = std::make_unique<FDTDefineMorphShape>(
        std::make_unique<FRect>(0, 0, m_width * 20, m_height * 20),
        std::make_unique<FRect>(0, 0, m_width * 20, m_height * 20));
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
        rect ? EmitStartPolygon(fill, side) : EmitStartCurves(fill, side);
        PointList.Clear();
        BuildStateOutline(e, o.DrawKind, startCcw != endCcw);
        rect ? EmitEndPolygon(fill, side) : EmitEndCurves(fill, side);
        PointList.Clear();
    } else {
        // An unknown kind draws nothing, but both shapes still need their end record.
        morph->AddStartShapeRec(std::make_unique<FShapeRecEnd>());
        morph->AddEndShapeRec(std::make_unique<FShapeRecEnd>());
    }
    const uint16_t id = morph->ID();
    add(std::move(morph));
    if (!takeDepth()) return;
    o.Work.CharID = id;
    place(false, true, nullptr);
    m_placed[size_t(m_index)] = 1;
}

void Compiler::startPicture(int32_t index) {
    Objekt& o = *CurObjekt;
    if (!takeIDs(2, "a picture element")) return;
    const auto start = Clock::now();
    const size_t before = m_movie.ObjectCount();
    const bool ok = StartPictureElement(m_movie, m_width, m_height, m_jpegBlocks);
    m_result.tags += m_movie.ObjectCount() - before;
    m_pictureSeconds += seconds(start);
    if (!ok) {
        m_idsUsed -= 2;
        warn("element " + std::to_string(index + 1) +
             ": the picture could not be exported and was left out");
        return;
    }
    ++m_result.pictures;
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
    place(false, true,
          std::make_unique<FMatrix>(true, sx, sx, true, rs, -rs,
                                    ClampTwips(int64_t(s.Left) * 20 + int64_t(box.w) * 10),
                                    ClampTwips(int64_t(s.Top) * 20 + int64_t(box.h) * 10)));
    m_placed[size_t(m_index)] = 1;
}

void Compiler::startElement(int32_t index) {
    Objekt& o = *CurObjekt;
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
    Objekt& o = *CurObjekt;
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
        const int64_t x = mix(s.Left, e.Left) * 20 + w * 10;
        const int64_t y = mix(s.Top, e.Top) * 20 + h * 10;
        place(true, false,
              std::make_unique<FMatrix>(true, sx, sx, true, rs, -rs, ClampTwips(x), ClampTwips(y)));
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
        place(false, true,
              std::make_unique<FMatrix>(true, a.c, a.c, true, a.s, -a.s,
                                        ClampTwips(mix(s.Left, e.Left) * 20 + half),
                                        ClampTwips(mix(s.Top, e.Top) * 20 + size / 2)));
        break;
    }
    default:
        break;
    }
}

void Compiler::run() {
    const auto tagStart = Clock::now();
    m_width = Stage.width();
    m_height = Stage.height();
    const int32_t fps = Stage.framesPerSecond();

    // 1. Time range; a start time after the end time is exchanged for good.
    int32_t maxTime = 0;
    for (int32_t i = 0; i < ObjektList.Count; ++i) {
        ObjektList.Select(i);
        Objekt& o = *CurObjekt;
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

    // 3. Movie start.
    const int32_t bg = Stage.backgroundColor();
    add(std::make_unique<FCTSetBackgroundColor>(
        std::make_unique<FColor>(red(bg), green(bg), blue(bg))));
    m_depthCounter = 1;
    PrevFrameTime = -1;
    m_placed.assign(size_t(ObjektList.Count), 0);

    // 4. Frame loop.
    for (int32_t j = 0; j <= lastFrame; ++j) {
        FrameTime = static_cast<int32_t>(1000 * int64_t(j) / fps);
        for (int32_t i = 0; i < ObjektList.Count; ++i) {
            ObjektList.Select(i);
            Objekt& o = *CurObjekt;
            const ObjektState& s = o.Start;
            const ObjektState& e = o.End;
            // An element with a start time before 0 starts in the first frame.
            const bool starts =
                (PrevFrameTime < s.Time && s.Time <= FrameTime) || (j == 0 && s.Time < 0);
            if (starts) {
                m_index = i;
                m_placed[size_t(i)] = 0;
                startElement(i);
                continue;
            }
            if (!m_placed[size_t(i)]) continue; // never placed: nothing to move or remove
            if (e.Time <= FrameTime && o.Work.Finished == 1) {
                if (hasTags(o) && o.DeleteAtEnd)
                    add(std::make_unique<FCTRemoveObject2>(static_cast<uint16_t>(o.Work.Depth)));
            } else if (s.Time <= FrameTime && (FrameTime < e.Time || o.Work.Finished == 0)) {
                m_dur = int64_t(e.Time) - s.Time;
                m_e = int64_t(FrameTime) - s.Time;
                if (m_e >= m_dur) {
                    m_e = m_dur;
                    o.Work.Finished = 1;
                }
                updateElement();
            }
        }
        PrevFrameTime = FrameTime;
        add(std::make_unique<FCTShowFrame>());
        if (m_options.progress) m_options.progress(j, static_cast<int32_t>(lastFrame));
        if (m_options.cancelRequested && m_options.cancelRequested()) {
            m_result.cancelled = true;
            return;
        }
    }
    m_result.frames = static_cast<int32_t>(lastFrame + 1);
    m_result.glyphSeconds = m_glyphSeconds;
    m_result.pictureSeconds = m_pictureSeconds;
    m_result.tagSeconds = seconds(tagStart) - m_glyphSeconds - m_pictureSeconds;

    // 9. End of the movie.
    const auto writeStart = Clock::now();
    m_result.written = m_movie.CreateMovie(m_options.outputPath, m_width * 20, m_height * 20, fps);
    m_result.writeSeconds = seconds(writeStart);
    if (m_result.written) {
        std::error_code ec;
        m_result.bytes = std::filesystem::file_size(m_options.outputPath, ec);
    }
}

} // namespace

CompileResult CompileMovie(const CompileOptions& options) {
    CompileResult result;
    {
        Compiler compiler(options, result);
        compiler.run();
    } // the movie and its tags go first; the JPEG blocks they refer to with them
    // The text blocks are only needed while the movie is being built.
    for (int32_t i = 0; i < ObjektList.Count; ++i) {
        ObjektList.Select(i);
        std::free(CurObjekt->Work.WideText);
        std::free(CurObjekt->Work.Advances);
        CurObjekt->Work.WideText = nullptr;
        CurObjekt->Work.Advances = nullptr;
        CurObjekt->Work.TextTag = nullptr;
        CurObjekt->Work.FontTag = nullptr;
        CurObjekt->Work.MorphTag = nullptr;
        CurObjekt->Work.PictureTag = nullptr;
    }
    if (options.afterCompile) options.afterCompile();
    return result;
}
