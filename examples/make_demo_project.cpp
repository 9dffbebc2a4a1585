// Writes the shipped example project: two Japanese texts, a rectangle, an
// ellipse and a small picture, with rotations, transparency, colours, elements
// that stay and elements that leave at their end, starting at different times.
//   make-demo-project OUT.fmo
#include "app/imaging/PixmillBinding.h"
#include "editor/model/MainUnit.h"
#include "editor/model/ProjectFile.h"
#include "platform/TextCodec.h"

#include <iostream>

namespace {

class ConsoleView final : public ProjectView {
public:
    void showError(std::string_view text) override { std::cerr << text << "\n"; }
};

void setText(char*& field, const char* utf8) {
    ReplaceString(field, *platform::utf8ToCp932(utf8));
}

int32_t rgb(int r, int g, int b) {
    return r | g << 8 | b << 16;
}

ObjektState state(int32_t l, int32_t t, int32_t r, int32_t b, int32_t size, int32_t rot,
                  int32_t time, int32_t transp, int32_t colour) {
    return {l, t, r, b, size, rot, time, transp, colour};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make-demo-project OUT.fmo\n";
        return 3;
    }
    ConsoleBindingReporter reporter;
    if (!BindPixmill(ProgramFolder(), reporter)) return 1;
    ConsoleView view;
    SetProjectView(&view);

    Stage.setWidth(550);
    Stage.setHeight(400);
    Stage.setFramesPerSecond(12);
    Stage.setBackgroundColor(rgb(0xFF, 0xFF, 0xE0));
    Stage.setRepeat(true);

    // A blue rectangle that turns and fades a little while it crosses the stage.
    Objekt* rect = AddObjekt(okDrawing);
    rect->Start = state(20, 260, 140, 340, 24, 0, 0, 0, rgb(0x20, 0x40, 0xC0));
    rect->End = state(380, 240, 520, 360, 24, 450, 3000, 40, rgb(0x20, 0xA0, 0x40));
    rect->DeleteAtEnd = 0;

    // A red ellipse that grows, from half a second on, and leaves at its end.
    Objekt* ellipse = AddObjekt(okDrawing);
    ellipse->DrawKind = dkEllipse;
    ellipse->Start = state(400, 30, 460, 70, 24, 0, 500, 0, rgb(0xE0, 0x20, 0x20));
    ellipse->End = state(300, 20, 520, 180, 24, -300, 2500, 60, rgb(0xFF, 0xA0, 0x00));
    ellipse->DeleteAtEnd = 1;

    // A title that slides in, grows and stays.
    Objekt* title = AddObjekt(okText);
    setText(title->Text, "ようこそ、ムービルームへ");
    title->Start = state(10, 10, 200, 40, 20, 0, 0, 80, rgb(0x00, 0x00, 0x80));
    title->End = state(40, 120, 400, 170, 40, 0, 2000, 0, rgb(0xC0, 0x00, 0x60));
    title->DeleteAtEnd = 0;

    // A turned subtitle in a mincho face that appears later and leaves at its end.
    Objekt* sub = AddObjekt(okText);
    setText(sub->Text, "動く文字と図形");
    setText(sub->FontName, "ＭＳ 明朝");
    sub->Start = state(300, 320, 500, 350, 28, 125, 1500, 0, rgb(0x10, 0x10, 0x10));
    sub->End = state(200, 200, 400, 230, 18, -150, 3500, 50, rgb(0x60, 0x60, 0x60));
    sub->DeleteAtEnd = 1;

    // A small picture: a colour gradient with a white cross, 48 x 32 pixels.
    DibRecord pic{};
    if (!Pixmill.newdib(&pic, 48, 32, 24, nullptr, 0)) {
        std::cerr << "cannot create the picture\n";
        return 2;
    }
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            int32_t c = rgb(x * 5, y * 7, 200 - x * 2);
            if (x == 24 || y == 16) c = rgb(0xFF, 0xFF, 0xFF);
            Pixmill.setpixel(&pic, x, y, c);
        }
    Objekt* picture = AddObjekt(okPicture, &pic);
    picture->Start = state(200, 40, 296, 104, 24, 0, 1000, 0, DefaultColor);
    picture->End = state(60, 200, 156, 264, 24, 900, 3000, 0, DefaultColor);
    picture->DeleteAtEnd = 0;

    const bool ok = SaveProject(argv[1]);
    ClearObjekts();
    return ok ? 0 : 2;
}
