// Writes the projects that the real-player checks compile and play:
//   make_scene_projects OUTDIR  ->  shapes.fmo, texts.fmo, picture.fmo, longtext.fmo,
//   fontswitch.fmo, generated.fmo
// The probes in scenes/*.json refer to the positions and colours set here.
#include "RandomProject.h"
#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "platform/TextCodec.h"

#include <iostream>
#include <iterator>

namespace {

const uint32_t kGeneratedSeeds[] = {1, 2, 3};

int32_t rgb(int r, int g, int b) {
    return r | g << 8 | b << 16;
}

void newProject(int32_t w, int32_t h) {
    ClearObjekts();
    Stage = StageSettings();
    Stage.setWidth(w);
    Stage.setHeight(h);
    Stage.setFramesPerSecond(12);
    Stage.setBackgroundColor(rgb(255, 255, 255));
}

Objekt* element(int32_t kind, ObjektState s, ObjektState e, bool deleteAtEnd) {
    Objekt* o = AddObjekt(kind);
    o->Start = s;
    o->End = e;
    o->DeleteAtEnd = deleteAtEnd ? 1 : 0;
    return o;
}

ObjektState st(int32_t l, int32_t t, int32_t r, int32_t b, int32_t time, int32_t colour,
               int32_t rotation = 0, int32_t transparency = 0, int32_t size = 24) {
    return {l, t, r, b, size, rotation, time, transparency, colour};
}

bool save(const std::string& path) {
    const bool ok = SaveProject(path);
    if (!ok) std::cerr << "cannot write " << path << "\n";
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_scene_projects OUTDIR\n";
        return 3;
    }
    const std::string dir = std::string(argv[1]) + "/";
    ConsoleBindingReporter reporter;
    if (!BindPixmill(ProgramFolder(), reporter)) return 1;

    // Drawing objects on a 300 x 200 stage, 0 to 1000 ms (13 frames).
    newProject(300, 200);
    const int32_t red = rgb(255, 0, 0), blue = rgb(0, 0, 255), green = rgb(0, 160, 0),
                  black = rgb(0, 0, 0);
    element(okDrawing, st(20, 20, 80, 60, 0, red), st(120, 20, 180, 60, 1000, red), false);
    Objekt* ellipse =
        element(okDrawing, st(20, 90, 120, 150, 0, blue), st(20, 90, 120, 150, 500, blue), true);
    ellipse->DrawKind = dkEllipse;
    element(okDrawing, st(200, 100, 280, 120, 0, green), st(200, 100, 280, 120, 1000, green, 900),
            false);
    element(okDrawing, st(220, 150, 280, 190, 0, black, 0, 50),
            st(220, 150, 280, 190, 1000, black, 0, 50), false);
    // A turned-over rectangle (right edge left of the left edge) still fills.
    element(okDrawing, st(290, 10, 230, 40, 0, blue), st(290, 10, 230, 40, 1000, blue), false);
    if (!save(dir + "shapes.fmo")) return 2;

    // Texts: a large red Japanese text that stays, a Latin one that leaves.
    newProject(300, 200);
    Objekt* jp = element(okText, st(20, 20, 0, 0, 0, red, 0, 0, 40),
                         st(20, 20, 0, 0, 1000, red, 0, 0, 40), false);
    ReplaceString(jp->Text, *platform::utf8ToCp932("テキスト"));
    Objekt* latin = element(okText, st(20, 120, 0, 0, 0, blue, 0, 0, 30),
                            st(20, 120, 0, 0, 500, blue, 0, 0, 30), true);
    ReplaceString(latin->Text, "Movi");
    ReplaceString(latin->FontName, "Arial");
    if (!save(dir + "texts.fmo")) return 2;

    // A 40 x 30 picture, left half red and right half blue, moving down right.
    newProject(300, 200);
    DibRecord pic{};
    if (!Pixmill.newdib(&pic, 40, 30, 24, nullptr, 0)) return 2;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            Pixmill.setpixel(&pic, x, y, x < 20 ? red : blue);
    Objekt* p = AddObjekt(okPicture, &pic);
    p->Start = st(20, 20, 100, 80, 0, 0);
    p->End = st(150, 100, 230, 160, 1000, 0);
    p->DeleteAtEnd = 0;
    if (!save(dir + "picture.fmo")) return 2;

    // A 400-character Japanese text in IPAMincho whose outlines pass what one
    // font can hold: 50 kanji twice, then 300 more, all different, so that the
    // last characters come from the last of the fonts the text is spread over.
    // At 24 pixels it is about 8700 pixels long: it starts with its end on the
    // stage and moves right until its start is.
    newProject(1000, 40);
    std::u16string kanji;
    for (char16_t c = 0x4E00; kanji.size() < 350; ++c)
        if (platform::utf16ToCp932(std::u16string(1, c))) kanji += c;
    const std::u16string wide = kanji.substr(0, 50) + kanji.substr(0, 50) + kanji.substr(50);
    Objekt* longText = element(okText, st(-7720, 10, 0, 0, 0, black, 0, 0, 24),
                               st(20, 10, 0, 0, 1000, black, 0, 0, 24), false);
    ReplaceString(longText->Text, *platform::utf16ToCp932(wide));
    ReplaceString(longText->FontName, "IPAMincho");
    if (!save(dir + "longtext.fmo")) return 2;

    // A text whose glyphs fill four IPAMincho fonts (1,000 different kanji),
    // ending in 30 characters taken from the four fonts in turn, so that
    // every character of the visible end switches font. The text stands
    // with its end on the stage. A kanji of this face at size 24 advances
    // 435 twips (21.75 pixels), so character k of the end is drawn from
    // x = 20 + 21.75 k.
    newProject(1000, 40);
    std::u16string many;
    for (char16_t c = 0x4E00; many.size() < 1000; ++c)
        if (platform::utf16ToCp932(std::u16string(1, c))) many += c;
    std::u16string switching = many;
    for (size_t k = 0; k < 30; ++k)
        switching += many[(k % 4) * 250 + k / 4];
    Objekt* switchText = element(okText, st(20 - 21750, 10, 0, 0, 0, black, 0, 0, 24),
                                 st(20 - 21750, 10, 0, 0, 1000, black, 0, 0, 24), false);
    ReplaceString(switchText->Text, *platform::utf16ToCp932(switching));
    ReplaceString(switchText->FontName, "IPAMincho");
    if (!save(dir + "fontswitch.fmo")) return 2;

    // The elements of three generated projects (those of the round-trip
    // check) together, at the first one's frame rate on a 550 x 400 stage:
    // no probes, the two players compared frame by frame.
    randomproject::Generate(kGeneratedSeeds[0]);
    for (size_t i = 1; i < std::size(kGeneratedSeeds); ++i)
        randomproject::Generate(kGeneratedSeeds[i], true);
    Stage.setWidth(550);
    Stage.setHeight(400);
    if (!save(dir + "generated.fmo")) return 2;
    ClearObjekts();
    return 0;
}
