// Writes the movies and pages that the browser check proves itself on:
//   selftest.swf/.htm   a red rectangle that moves and then goes away, a blue
//                       rectangle that morphs down and to green, two square
//                       glyphs of an embedded font;
//   bothsides.swf/.htm  the same rectangle outline twice, once with the fill
//                       on the inside only and once with the fill on both sides;
//   longmove.swf/.htm   120 frames of a bar that moves one pixel a frame, to
//                       show that a check rests on exactly the frame it asks for.
// Usage: make_selftest_movies OUTPUT_FOLDER

#include "FCT.h"
#include "FDTFonts.h"
#include "FDTShapes.h"
#include "FObjCollection.h"
#include "FPrimitive.h"
#include "FSWFStream.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr std::int32_t kTwipsPerPixel = 20;

std::int32_t Twips(std::int32_t pixels) {
    return pixels * kTwipsPerPixel;
}

// A solid DefineShape fill (type 0, RGB). The program itself fills shapes
// only with bitmaps and morph colours; this movie needs a plain colour.
class SolidFill : public FFillStyle {
public:
    SolidFill(int red, int green, int blue) : m_red(red), m_green(green), m_blue(blue) {}
    void WriteToSWFStream(FSWFStream* stream) override {
        stream->WriteByte(0x00);
        stream->WriteByte(static_cast<std::uint32_t>(m_red));
        stream->WriteByte(static_cast<std::uint32_t>(m_green));
        stream->WriteByte(static_cast<std::uint32_t>(m_blue));
    }

private:
    int m_red;
    int m_green;
    int m_blue;
};

struct FillSides {
    std::uint32_t fill0;
    std::uint32_t fill1;
};

// The four edges of a w x h rectangle from the pen position, clockwise on
// the screen (y grows downwards): right, down, left, up.
template <class Add> void AddClockwiseEdges(Add add, std::int32_t w, std::int32_t h) {
    add(std::make_unique<FShapeRecEdgeStraight>(w, 0));
    add(std::make_unique<FShapeRecEdgeStraight>(0, h));
    add(std::make_unique<FShapeRecEdgeStraight>(-w, 0));
    add(std::make_unique<FShapeRecEdgeStraight>(0, -h));
}

// A w x h pixel rectangle shape with its top-left corner at the origin.
std::unique_ptr<FDTDefineShape> RectShape(std::int32_t w, std::int32_t h, int red, int green,
                                          int blue, FillSides sides) {
    auto shape =
        std::make_unique<FDTDefineShape>(std::make_unique<FRect>(0, 0, Twips(w), Twips(h)));
    shape->AddFillStyle(std::make_unique<SolidFill>(red, green, blue));
    shape->FinishStyleArrays();
    shape->AddShapeRec(std::make_unique<FShapeRecChange>(false, false, sides.fill1 != 0,
                                                         sides.fill0 != 0, true, 0, 0, sides.fill0,
                                                         sides.fill1, 0, nullptr, nullptr));
    AddClockwiseEdges([&](std::unique_ptr<FShapeRec> r) { shape->AddShapeRec(std::move(r)); },
                      Twips(w), Twips(h));
    shape->AddShapeRec(std::make_unique<FShapeRecEnd>());
    return shape;
}

std::unique_ptr<FMatrix> Translate(std::int32_t x, std::int32_t y) {
    return std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, Twips(x), Twips(y));
}

std::unique_ptr<FCTPlaceObject2> Place(std::uint16_t depth, std::uint16_t id,
                                       std::unique_ptr<FMatrix> matrix, bool hasRatio = false,
                                       std::uint16_t ratio = 0) {
    return std::make_unique<FCTPlaceObject2>(false, hasRatio, true, false, depth, id,
                                             std::move(matrix), nullptr, ratio, nullptr, 0);
}

std::unique_ptr<FCTPlaceObject2> Move(std::uint16_t depth, std::unique_ptr<FMatrix> matrix,
                                      bool hasRatio = false, std::uint16_t ratio = 0) {
    return std::make_unique<FCTPlaceObject2>(false, hasRatio, false, true, depth, 0,
                                             std::move(matrix), nullptr, ratio, nullptr, 0);
}

// The page in the form the compiler writes: no html or body elements, an
// object with the size and the movie, and an embed inside it.
bool WritePage(const std::filesystem::path& folder, const std::string& movie, int width,
               int height) {
    std::ofstream page(folder / (movie.substr(0, movie.size() - 4) + ".htm"), std::ios::binary);
    const std::string w = std::to_string(width);
    const std::string h = std::to_string(height);
    page << "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" codebase=\r\n"
         << "\"plugin/swflash.cab#version=4,0,2,0\"\r\n"
         << "width=\"" << w << "\" height=\"" << h << "\">\r\n"
         << "<param name=\"movie\" value=\"" << movie << "\">\r\n"
         << "<param name=\"quality\" value=\"high\">\r\n"
         << "<embed src=\"" << movie << "\" quality=\"high\" pluginspage=\r\n"
         << "\"plugin/\"\r\n"
         << "type=\"application/x-shockwave-flash\" width=\"" << w << "\" height=\"" << h
         << "\">\r\n"
         << "</embed>\r\n"
         << "</object>\r\n";
    return static_cast<bool>(page);
}

// 200 x 150 stage, white, 12 fps, three frames:
//   1: red 40 x 30 at (20,20); blue 60 x 30 at (120,20) (morph ratio 0);
//      two 20-pixel square glyphs on the baseline y = 140 from x = 20.
//   2: red moved to (20,70); morph at ratio 32768: (120,60), colour halfway.
//   3: red removed; morph at ratio 65535: (120,100), green.
bool WriteSelfTest(const std::filesystem::path& folder) {
    FObjCollection movie;
    movie.AddFObj(std::make_unique<FCTSetBackgroundColor>(std::make_unique<FColor>(255, 255, 255)));

    auto* red = movie.AddFObj(RectShape(40, 30, 255, 0, 0, {0, 1}));
    movie.AddFObj(Place(1, red->ID(), Translate(20, 20)));

    auto morph = std::make_unique<FDTDefineMorphShape>(
        std::make_unique<FRect>(Twips(120), Twips(20), Twips(180), Twips(50)),
        std::make_unique<FRect>(Twips(120), Twips(100), Twips(180), Twips(130)));
    morph->AddFillStyle(std::make_unique<FMorphFillStyleSolid>(
        std::make_unique<FColor>(0, 0, 255), std::make_unique<FColor>(0, 160, 0)));
    morph->FinishStyleArrays();
    morph->AddStartShapeRec(std::make_unique<FShapeRecChange>(
        false, false, true, false, true, Twips(120), Twips(20), 0, 1, 0, nullptr, nullptr));
    AddClockwiseEdges([&](std::unique_ptr<FShapeRec> r) { morph->AddStartShapeRec(std::move(r)); },
                      Twips(60), Twips(30));
    morph->AddStartShapeRec(std::make_unique<FShapeRecEnd>());
    morph->AddEndShapeRec(std::make_unique<FShapeRecChange>(
        false, false, false, false, true, Twips(120), Twips(100), 0, 0, 0, nullptr, nullptr));
    AddClockwiseEdges([&](std::unique_ptr<FShapeRec> r) { morph->AddEndShapeRec(std::move(r)); },
                      Twips(60), Twips(30));
    morph->AddEndShapeRec(std::make_unique<FShapeRecEnd>());
    const std::uint16_t morphID = morph->ID();
    movie.AddFObj(std::move(morph));
    movie.AddFObj(Place(2, morphID, nullptr, true, 0));

    // A font of one square glyph on the 1024-unit em square the player uses:
    // 800 units wide and high, standing on the baseline.
    auto font = std::make_unique<FDTDefineFont>();
    auto glyph = std::make_unique<FShape>();
    glyph->AddShapeRec(std::make_unique<FShapeRecChange>(false, false, true, false, true, 100, -800,
                                                         0, 1, 0, nullptr, nullptr));
    AddClockwiseEdges([&](std::unique_ptr<FShapeRec> r) { glyph->AddShapeRec(std::move(r)); }, 800,
                      800);
    glyph->AddShapeRec(std::make_unique<FShapeRecEnd>());
    font->AddShape(std::move(glyph));
    const std::uint16_t fontID = font->ID();
    movie.AddFObj(std::move(font));

    // Height 20 pixels: the square is 800/1024 of that, about 15.6 pixels.
    auto text = std::make_unique<FDTDefineText2>(
        std::make_unique<FRect>(0, Twips(-20), Twips(50), 0),
        std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, 0, 0), 2);
    text->AddTextRecord(std::make_unique<FTextChangeRecord>(
        true, true, true, true, fontID, Twips(20), std::make_unique<FColor>(0, 0, 0, 255), 0, 0));
    auto glyphs = std::make_unique<FTextGlyphRecord>();
    glyphs->AddGlyphEntry(0, Twips(25));
    glyphs->AddGlyphEntry(0, Twips(25));
    text->AddTextRecord(std::move(glyphs));
    const std::uint16_t textID = text->ID();
    movie.AddFObj(std::move(text));
    movie.AddFObj(Place(3, textID, Translate(20, 140)));
    movie.AddFObj(std::make_unique<FCTShowFrame>());

    movie.AddFObj(Move(1, Translate(20, 70)));
    movie.AddFObj(Move(2, nullptr, true, 32768));
    movie.AddFObj(std::make_unique<FCTShowFrame>());

    movie.AddFObj(std::make_unique<FCTRemoveObject2>(1));
    movie.AddFObj(Move(2, nullptr, true, 65535));
    movie.AddFObj(std::make_unique<FCTShowFrame>());

    return movie.CreateMovie(folder / "selftest.swf", Twips(200), Twips(150), 12) &&
           WritePage(folder, "selftest.swf", 200, 150);
}

// 160 x 80 stage, grey, one frame. The player draws nothing for edges that
// carry the same fill on both sides (fill style 0 == fill style 1): such a
// region is neither inside nor outside, so only the left rectangle, with the
// fill on its inside only (fill style 1 of a clockwise outline), shows.
bool WriteBothSides(const std::filesystem::path& folder) {
    FObjCollection movie;
    movie.AddFObj(std::make_unique<FCTSetBackgroundColor>(std::make_unique<FColor>(192, 192, 192)));
    auto* inside = movie.AddFObj(RectShape(60, 60, 0, 160, 0, {0, 1}));
    movie.AddFObj(Place(1, inside->ID(), Translate(10, 10)));
    auto* bothSides = movie.AddFObj(RectShape(60, 60, 0, 160, 0, {1, 1}));
    movie.AddFObj(Place(2, bothSides->ID(), Translate(90, 10)));
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    return movie.CreateMovie(folder / "bothsides.swf", Twips(160), Twips(80), 12) &&
           WritePage(folder, "bothsides.swf", 160, 80);
}

// 160 x 60 stage, light blue, 12 fps, 120 frames: in frame f a black 4 x 40
// bar stands with its left edge at x = 10 + f.
bool WriteLongMove(const std::filesystem::path& folder) {
    FObjCollection movie;
    movie.AddFObj(std::make_unique<FCTSetBackgroundColor>(std::make_unique<FColor>(200, 220, 255)));
    auto* bar = movie.AddFObj(RectShape(4, 40, 0, 0, 0, {0, 1}));
    movie.AddFObj(Place(1, bar->ID(), Translate(11, 10)));
    movie.AddFObj(std::make_unique<FCTShowFrame>());
    for (int frame = 2; frame <= 120; ++frame) {
        movie.AddFObj(Move(1, Translate(10 + frame, 10)));
        movie.AddFObj(std::make_unique<FCTShowFrame>());
    }
    return movie.CreateMovie(folder / "longmove.swf", Twips(160), Twips(60), 12) &&
           WritePage(folder, "longmove.swf", 160, 60);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 3;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "cannot create %s: %s\n", argv[1], error.message().c_str());
        return 2;
    }
    if (!WriteSelfTest(folder) || !WriteBothSides(folder) || !WriteLongMove(folder)) {
        std::fprintf(stderr, "cannot write the movies into %s\n", argv[1]);
        return 2;
    }
    return 0;
}
