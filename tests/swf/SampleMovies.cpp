#include "SampleMovies.h"

#include "FCT.h"
#include "FDTBitmaps.h"
#include "FDTFonts.h"
#include "FDTShapes.h"

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace {

// A tiny JSON object writer for the expectation files.
class Facts {
public:
    explicit Facts(int code) { m_out << "{\"code\": " << code; }
    Facts& Int(const std::string& key, long long value) {
        m_out << ", \"" << key << "\": " << value;
        return *this;
    }
    Facts& Ints(const std::string& key, const std::vector<long long>& values) {
        m_out << ", \"" << key << "\": [";
        for (std::size_t i = 0; i < values.size(); ++i)
            m_out << (i ? ", " : "") << values[i];
        m_out << "]";
        return *this;
    }
    Facts& Str(const std::string& key, const std::string& value) {
        m_out << ", \"" << key << "\": \"" << value << "\"";
        return *this;
    }
    std::string Done() const { return m_out.str() + "}"; }

private:
    std::ostringstream m_out;
};

class Builder {
public:
    explicit Builder(SampleMovie& movie) : m_movie(movie) {}

    template <class T> T* Add(std::unique_ptr<T> tag, const Facts& facts) {
        m_movie.tagFacts.push_back(facts.Done());
        return m_movie.movie->AddFObj(std::move(tag));
    }
    void ShowFrame() { Add(std::make_unique<FCTShowFrame>(), Facts(1)); }
    void Background(int r, int g, int b) {
        Add(std::make_unique<FCTSetBackgroundColor>(std::make_unique<FColor>(r, g, b)),
            Facts(9).Ints("BackgroundColor", {r, g, b}));
    }

private:
    SampleMovie& m_movie;
};

std::unique_ptr<FMatrix> Translate(std::int32_t x, std::int32_t y) {
    return std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, x, y);
}

// A closed square outline of side a twips starting at (x, y) with fill style 1.
std::unique_ptr<FShape> SquareGlyph(std::int32_t x, std::int32_t y, std::int32_t a) {
    auto shape = std::make_unique<FShape>();
    shape->AddShapeRec(
        std::make_unique<FShapeRecChange>(0, 1, 1, 1, 1, x, y, 1, 0, 0, nullptr, nullptr));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(a, 0));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(0, a));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(-a, 0));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(0, -a));
    shape->AddShapeRec(std::make_unique<FShapeRecEnd>());
    return shape;
}

// A round outline from four quadratic curves.
std::unique_ptr<FShape> RoundGlyph() {
    auto shape = std::make_unique<FShape>();
    shape->AddShapeRec(
        std::make_unique<FShapeRecChange>(0, 1, 1, 1, 1, 500, 0, 1, 0, 0, nullptr, nullptr));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeCurved>(300, 0, 0, 300));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeCurved>(0, 300, -300, 0));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeCurved>(-300, 0, 0, -300));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeCurved>(0, -300, 300, 0));
    shape->AddShapeRec(std::make_unique<FShapeRecEnd>());
    return shape;
}

// Bytes shaped like a JPEG file: start marker, a comment segment, end marker.
std::vector<unsigned char> FakeJpeg(std::size_t size) {
    std::vector<unsigned char> data(size, 0x11);
    data[0] = 0xFF;
    data[1] = 0xD8;
    data[2] = 0xFF;
    data[3] = 0xFE;
    data[size - 2] = 0xFF;
    data[size - 1] = 0xD9;
    return data;
}

void BuildEmpty(SampleMovie&) {}

void BuildDrawing(SampleMovie& m) {
    Builder b(m);
    b.Background(255, 255, 255);
    auto morph = std::make_unique<FDTDefineMorphShape>(std::make_unique<FRect>(0, 0, 11000, 8000),
                                                       std::make_unique<FRect>(0, 0, 11000, 8000));
    const std::uint32_t fill = morph->AddFillStyle(std::make_unique<FMorphFillStyleSolid>(
        std::make_unique<FColor>(255, 0, 0, 255), std::make_unique<FColor>(0, 0, 255, 128)));
    morph->FinishStyleArrays();
    morph->AddStartShapeRec(std::make_unique<FShapeRecChange>(0, 0, 1, 1, 1, 200, 200, fill, fill,
                                                              0, nullptr, nullptr));
    morph->AddEndShapeRec(std::make_unique<FShapeRecChange>(0, 0, 1, 1, 1, 4000, 3000, fill, fill,
                                                            0, nullptr, nullptr));
    for (auto [sx, sy, ex, ey] : {std::tuple{2000, 0, 3000, 0},
                                  {0, 1000, 0, 2000},
                                  {-2000, 0, -3000, 0},
                                  {0, -1000, 0, -2000}}) {
        morph->AddStartShapeRec(std::make_unique<FShapeRecEdgeStraight>(sx, sy));
        morph->AddEndShapeRec(std::make_unique<FShapeRecEdgeStraight>(ex, ey));
    }
    morph->AddStartShapeRec(std::make_unique<FShapeRecEnd>());
    morph->AddEndShapeRec(std::make_unique<FShapeRecEnd>());
    const std::uint16_t id = morph->ID();
    b.Add(std::move(morph), Facts(46)
                                .Int("CharacterId", id)
                                .Ints("StartBounds", {0, 11000, 0, 8000})
                                .Int("FillStyleCount", 1)
                                .Int("StartEdges.ShapeRecords.0.MoveDeltaX", 200)
                                .Int("EndEdges.ShapeRecords.0.MoveDeltaX", 4000)
                                .Int("EndEdges.ShapeRecords.1.DeltaX", 3000));
    b.Add(std::make_unique<FCTPlaceObject2>(0, 0, 1, 0, 2, id, nullptr, nullptr, 0, nullptr, 0),
          Facts(26).Int("Depth", 2).Int("CharacterId", id).Int("PlaceFlagHasMatrix", 0));
    b.ShowFrame();
    for (std::uint16_t ratio : {32767, 65535}) {
        b.Add(std::make_unique<FCTPlaceObject2>(0, 1, 0, 1, 2, 0, nullptr, nullptr, ratio, nullptr,
                                                0),
              Facts(26)
                  .Int("Depth", 2)
                  .Int("Ratio", ratio)
                  .Int("PlaceFlagMove", 1)
                  .Int("PlaceFlagHasCharacter", 0));
        b.ShowFrame();
    }
    b.Add(std::make_unique<FCTRemoveObject2>(2), Facts(28).Int("Depth", 2));
    b.ShowFrame();
}

// The picture layout of the movie compiler: the JPEG, a rectangle filled
// with it, centred on the bitmap's middle.
void AddPicture(SampleMovie& m, Builder& b, int pw, int ph, std::size_t jpegSize) {
    m.jpegs.push_back(FakeJpeg(jpegSize));
    const auto& jpeg = m.jpegs.back();
    auto bits = std::make_unique<FDTDefineBitsJPEG2>(jpeg.data(), jpeg.size());
    const std::uint16_t jpegID = bits->ID();
    b.Add(
        std::move(bits),
        Facts(21).Int("CharacterID", jpegID).Int("ImageSize", static_cast<long long>(jpeg.size())));

    auto shape = std::make_unique<FDTDefineShape>(
        std::make_unique<FRect>(-pw * 20, -ph * 20, pw * 20, ph * 20));
    shape->AddFillStyle(std::make_unique<FFillStyleBitmap>(
        0, 65535, std::make_unique<FMatrix>(1, 10 << 16, 10 << 16, 0, 0, 0, 0, 0)));
    const std::uint32_t fill = shape->AddFillStyle(std::make_unique<FFillStyleBitmap>(
        0, jpegID, std::make_unique<FMatrix>(1, 20 << 16, 20 << 16, 0, 0, 0, -pw * 10, -ph * 10)));
    shape->FinishStyleArrays();
    shape->AddShapeRec(std::make_unique<FShapeRecChange>(
        0, 1, 1, 0, 1, (pw / 2) * 20, (ph / 2) * 20, 0, fill, 0, nullptr, nullptr));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(-pw * 20, 0));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(0, -ph * 20));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(pw * 20, 0));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(0, ph * 20));
    shape->AddShapeRec(std::make_unique<FShapeRecEnd>());
    const std::uint16_t shapeID = shape->ID();
    b.Add(std::move(shape),
          Facts(2)
              .Int("ShapeId", shapeID)
              .Int("Shapes.FillStyles.FillStyleCount", 2)
              .Int("Shapes.FillStyles.FillStyles.0.FillStyleType", 0x41)
              .Int("Shapes.FillStyles.FillStyles.0.BitmapId", 65535)
              .Int("Shapes.FillStyles.FillStyles.1.BitmapId", jpegID)
              .Int("Shapes.FillStyles.FillStyles.1.BitmapMatrix.ScaleX", 20 << 16)
              .Int("Shapes.FillStyles.FillStyles.1.BitmapMatrix.TranslateX", -pw * 10)
              .Int("Shapes.NumFillBits", 2)
              .Int("Shapes.NumlineBits", 0)
              .Int("Shapes.ShapeRecords.0.FillStyle1", fill)
              .Int("Shapes.ShapeRecords.0.MoveDeltaY", (ph / 2) * 20)
              .Int("Shapes.ShapeRecords.1.DeltaX", -pw * 20)
              .Int("Shapes.ShapeRecords.2.DeltaY", -ph * 20));
    // placement: scale 0.5, a small rotation, translation into the stage
    b.Add(std::make_unique<FCTPlaceObject2>(
              0, 0, 1, 0, 2, shapeID,
              std::make_unique<FMatrix>(1, 32768, 32768, 1, 5000, -5000, 3000, 2000), nullptr, 0,
              nullptr, 0),
          Facts(26)
              .Int("Depth", 2)
              .Int("CharacterId", shapeID)
              .Int("Matrix.ScaleX", 32768)
              .Int("Matrix.RotateSkew0", 5000)
              .Int("Matrix.RotateSkew1", -5000)
              .Int("Matrix.TranslateX", 3000));
    b.ShowFrame();
    b.Add(std::make_unique<FCTPlaceObject2>(
              0, 0, 0, 1, 2, 0, std::make_unique<FMatrix>(1, 65536, 65536, 1, 0, 0, 6000, 4000),
              nullptr, 0, nullptr, 0),
          Facts(26)
              .Int("Depth", 2)
              .Int("PlaceFlagMove", 1)
              .Int("Matrix.ScaleY", 65536)
              .Int("Matrix.TranslateY", 4000));
    b.ShowFrame();
}

void BuildPicture(SampleMovie& m) {
    Builder b(m);
    b.Background(0, 128, 255);
    AddPicture(m, b, 64, 48, 3000);
}

void AddText(Builder& b, std::vector<std::unique_ptr<FShape>> glyphs,
             const std::vector<std::uint16_t>& codes, std::uint16_t depth) {
    auto font = std::make_unique<FDTDefineFont>();
    const std::size_t count = glyphs.size();
    for (auto& glyph : glyphs)
        font->AddShape(std::move(glyph));
    const std::uint16_t fontID = font->ID();
    b.Add(std::move(font),
          Facts(10).Int("FontID", fontID).Int("NumGlyphs", static_cast<long long>(count)));

    auto info = std::make_unique<FDTDefineFontInfo>("Arial", fontID, 1, 0, 0);
    bool wide = false;
    std::vector<long long> codeFacts;
    for (std::uint16_t c : codes) {
        info->AddCode(c);
        wide = wide || c > 255;
        codeFacts.push_back(c);
    }
    b.Add(std::move(info), Facts(13)
                               .Int("FontID", fontID)
                               .Str("FontName", "Arial")
                               .Int("FontFlagsShiftJIS", 1)
                               .Int("FontFlagsWideCodes", wide)
                               .Ints("CodeTable", codeFacts));

    const int size = 480;
    auto text =
        std::make_unique<FDTDefineText2>(std::make_unique<FRect>(-11000, -8000, 11000, 8000),
                                         Translate(-1000, -(size / 2)), static_cast<int>(count));
    text->AddTextRecord(std::make_unique<FTextChangeRecord>(
        1, 1, 0, 0, fontID, size, std::make_unique<FColor>(10, 20, 30, 200), 0, 0));
    auto glyphRecord = std::make_unique<FTextGlyphRecord>();
    for (std::size_t i = 0; i < count; ++i)
        glyphRecord->AddGlyphEntry(static_cast<std::uint16_t>(i), 300);
    const int glyphBits = glyphRecord->MinGlyphBits();
    text->AddTextRecord(std::move(glyphRecord));
    const std::uint16_t textID = text->ID();
    const std::size_t first = std::min<std::size_t>(count, FTextGlyphRecord::kMaxEntriesPerRecord);
    Facts textFacts(33);
    textFacts.Int("CharacterID", textID)
        .Int("GlyphBits", glyphBits)
        .Int("AdvanceBits", 10)
        .Int("TextMatrix.TranslateY", -(size / 2))
        .Int("TextRecords.0.FontID", fontID)
        .Int("TextRecords.0.TextHeight", size)
        .Ints("TextRecords.0.TextColor", {10, 20, 30, 200})
        .Int("TextRecords.0.GlyphCount", static_cast<long long>(first))
        .Int("TextRecords.0.GlyphEntries.0.GlyphAdvance", 300)
        .Int("TextRecordCount", static_cast<long long>((count + 126) / 127));
    if (count > 1) textFacts.Int("TextRecords.0.GlyphEntries.1.GlyphIndex", 1);
    if (count > first)
        textFacts
            .Int("TextRecords.1.GlyphCount",
                 static_cast<long long>(std::min<std::size_t>(count - first, 127)))
            .Int("TextRecords.1.GlyphEntries.0.GlyphIndex", 127);
    b.Add(std::move(text), textFacts);
    // turned by a few degrees about the text's centre
    b.Add(
        std::make_unique<FCTPlaceObject2>(
            0, 0, 1, 0, depth, textID,
            std::make_unique<FMatrix>(1, 64000, 64000, 1, 11380, -11380, 5000, 4000), nullptr, 0,
            nullptr, 0),
        Facts(26).Int("Depth", depth).Int("CharacterId", textID).Int("Matrix.RotateSkew0", 11380));
}

void BuildText(SampleMovie& m) {
    Builder b(m);
    b.Background(255, 255, 255);
    std::vector<std::unique_ptr<FShape>> glyphs;
    glyphs.push_back(SquareGlyph(100, 100, 800));
    glyphs.push_back(RoundGlyph());
    glyphs.push_back(SquareGlyph(0, 0, 1000));
    AddText(b, std::move(glyphs), {0x41, 0x3042, 0x6F22}, 2);
    b.ShowFrame();
    b.Add(std::make_unique<FCTRemoveObject2>(2), Facts(28).Int("Depth", 2));
    b.ShowFrame();
}

void BuildLongText(SampleMovie& m) {
    Builder b(m);
    std::vector<std::unique_ptr<FShape>> glyphs;
    std::vector<std::uint16_t> codes;
    for (int i = 0; i < 130; ++i) {
        glyphs.push_back(SquareGlyph(0, 0, 100 + i));
        codes.push_back(static_cast<std::uint16_t>('a' + i % 26));
    }
    AddText(b, std::move(glyphs), codes, 2);
    b.ShowFrame();
}

void BuildWideStage(SampleMovie& m) {
    Builder b(m);
    b.Background(0, 0, 0);
    AddPicture(m, b, 100, 100, 64);
}

void BuildManyStyles(SampleMovie& m) {
    Builder b(m);
    auto shape = std::make_unique<FDTDefineShape>(std::make_unique<FRect>(0, 0, 2000, 2000));
    for (int i = 0; i < 300; ++i)
        shape->AddFillStyle(std::make_unique<FFillStyleBitmap>(1, 65535, Translate(i, 0)));
    shape->FinishStyleArrays();
    shape->AddShapeRec(
        std::make_unique<FShapeRecChange>(0, 0, 1, 0, 1, 100, 100, 0, 300, 0, nullptr, nullptr));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(1000, 1000));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(-1000, 0));
    shape->AddShapeRec(std::make_unique<FShapeRecEdgeStraight>(0, -1000));
    shape->AddShapeRec(std::make_unique<FShapeRecEnd>());
    const std::uint16_t id = shape->ID();
    b.Add(std::move(shape), Facts(22)
                                .Int("ShapeId", id)
                                .Int("Shapes.FillStyles.FillStyleCountExtended", 300)
                                .Int("Shapes.NumFillBits", 9)
                                .Int("Shapes.ShapeRecords.0.FillStyle1", 300)
                                .Int("Shapes.ShapeRecords.1.DeltaY", 1000));
    b.Add(std::make_unique<FCTPlaceObject2>(0, 0, 1, 0, 1, id, nullptr, nullptr, 0, nullptr, 0),
          Facts(26).Int("Depth", 1).Int("CharacterId", id));
    b.ShowFrame();
}

void BuildPlacementExtras(SampleMovie& m) {
    Builder b(m);
    std::vector<std::unique_ptr<FShape>> glyphs;
    glyphs.push_back(SquareGlyph(0, 0, 500));
    AddText(b, std::move(glyphs), {'x'}, 1);
    b.Add(std::make_unique<FCTPlaceObject2>(
              1, 0, 0, 1, 1, 0, nullptr,
              std::make_unique<FCXFormWAlpha>(1, 1, 10, 20, 30, -40, 256, 128, 64, 200), 0,
              std::make_unique<FString>("label"), 7),
          Facts(26)
              .Int("Depth", 1)
              .Int("PlaceFlagHasColorTransform", 1)
              .Int("ColorTransform.RedMultTerm", 256)
              .Int("ColorTransform.AlphaMultTerm", 200)
              .Int("ColorTransform.BlueAddTerm", 30)
              .Int("ColorTransform.AlphaAddTerm", -40)
              .Str("Name", "label")
              .Int("ClipDepth", 7));
    b.Add(std::make_unique<FCTPlaceObject2>(0, 0, 0, 1, 1, 0, nullptr,
                                            std::make_unique<FCXForm>(0, 1, 5, 6, 7, 0, 0, 0), 0,
                                            nullptr, 0),
          Facts(26)
              .Int("Depth", 1)
              .Int("ColorTransform.HasMultTerms", 0)
              .Int("ColorTransform.GreenAddTerm", 6)
              .Int("ColorTransform.AlphaAddTerm", 0));
    b.ShowFrame();
}

void BuildEmptyFont(SampleMovie& m) {
    Builder b(m);
    auto font = std::make_unique<FDTDefineFont>();
    const std::uint16_t id = font->ID();
    b.Add(std::move(font), Facts(10).Int("FontID", id).Int("NumGlyphs", 1));
    b.Add(std::make_unique<FDTDefineFontInfo>("Arial", id, 9, 1, 1),
          Facts(13)
              .Int("FontID", id)
              .Int("FontFlagsShiftJIS", 0)
              .Int("FontFlagsANSI", 0)
              .Int("FontFlagsUnicode", 0)
              .Int("FontFlagsItalic", 1)
              .Int("FontFlagsBold", 1)
              .Ints("CodeTable", {}));
    b.ShowFrame();
}

struct Recipe {
    std::int32_t width;
    std::int32_t height;
    int rate;
    std::function<void(SampleMovie&)> build;
};

const std::map<std::string, Recipe>& Recipes() {
    static const std::map<std::string, Recipe> recipes = {
        {"empty", {11000, 8000, 12, BuildEmpty}},
        {"drawing", {11000, 8000, 12, BuildDrawing}},
        {"picture", {11000, 8000, 24, BuildPicture}},
        {"text", {11000, 8000, 12, BuildText}},
        {"long_text", {11000, 8000, 12, BuildLongText}},
        {"wide_stage", {2880 * 20, 2000 * 20, 30, BuildWideStage}},
        {"many_styles", {2000, 2000, 1, BuildManyStyles}},
        {"placement_extras", {11000, 8000, 12, BuildPlacementExtras}},
        {"empty_font", {11000, 8000, 12, BuildEmptyFont}},
    };
    return recipes;
}

} // namespace

std::string SampleMovie::ExpectationJson() const {
    std::ostringstream out;
    out << "{\n  \"name\": \"" << name << "\",\n  \"frame\": [0, " << frameWidth << ", 0, "
        << frameHeight << "],\n  \"rate\": " << frameRate
        << ",\n  \"frames\": " << movie->FrameCount() << ",\n  \"tags\": [\n";
    for (std::size_t i = 0; i < tagFacts.size(); ++i)
        out << "    " << tagFacts[i] << (i + 1 < tagFacts.size() ? ",\n" : "\n");
    out << "  ]\n}\n";
    return out.str();
}

std::vector<std::string> SampleMovieNames() {
    std::vector<std::string> names;
    for (const auto& [name, recipe] : Recipes())
        names.push_back(name);
    return names;
}

SampleMovie BuildSampleMovie(const std::string& name) {
    const Recipe& recipe = Recipes().at(name);
    SampleMovie m{
        name, recipe.width, recipe.height, recipe.rate, std::make_unique<FObjCollection>(), {}, {}};
    recipe.build(m);
    return m;
}

bool WriteSampleMovie(const std::string& name, const std::filesystem::path& folder) {
    SampleMovie m = BuildSampleMovie(name);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!m.movie->CreateMovie(folder / (name + ".swf"), m.frameWidth, m.frameHeight, m.frameRate))
        return false;
    std::ofstream out(folder / (name + ".expect.json"));
    out << m.ExpectationJson();
    return static_cast<bool>(out);
}
