#include "editor/model/MainUnit.h"

#include "app/imaging/PixmillBinding.h"

#include <cstdlib>
#include <cstring>

// Created at start-up in this order: the point list, then the element list.
Objekt* CurObjekt = nullptr;
TPoint32* CurPoint = nullptr;
TDynaArray PointList(sizeof(TPoint32), reinterpret_cast<void**>(&CurPoint));
TDynaArray ObjektList(sizeof(Objekt), reinterpret_cast<void**>(&CurObjekt));

std::string ProjectFileName;
std::string ProgramDir;
int32_t CurFontSize = DefaultFontSize;
bool FillingEditors = false;
bool RebuildingList = false;
StageSettings Stage;

const char* const DefaultText = "\x83\x65\x83\x4C\x83\x58\x83\x67";
const char* const DefaultFontName = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

char* DupString(std::string_view s) {
    auto* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (!p) std::abort();
    std::memcpy(p, s.data(), s.size());
    p[s.size()] = '\0';
    return p;
}

void ReplaceString(char*& field, std::string_view s) {
    char* fresh = DupString(s);
    std::free(field);
    field = fresh;
}

namespace {

// 10n wraps at half the stage size. A stage of 1 pixel makes that half 0;
// then the position simply does not wrap.
int32_t wrapped(int32_t offset, int32_t half) {
    return half > 0 ? offset % half : offset;
}

} // namespace

Objekt* AddObjekt(int32_t kind, const DibRecord* picture) {
    auto* o = static_cast<Objekt*>(ObjektList.Add());
    const int32_t n = ObjektList.Count;
    const int32_t w = static_cast<int32_t>(Stage.width() * 0.5);
    const int32_t h = static_cast<int32_t>(Stage.height() * 0.5);
    o->Kind = kind;
    o->DrawKind = dkRectangle;
    o->DeleteAtEnd = 1;
    o->Start.Left = wrapped(10 * n, w);
    o->Start.Top = wrapped(10 * n, h);
    o->Start.Right = o->Start.Left + 40;
    o->Start.Bottom = o->Start.Top + 40;
    o->End.Left = o->Start.Left + 100;
    o->End.Top = o->Start.Top + 100;
    o->End.Right = o->End.Left + 40;
    o->End.Bottom = o->End.Top + 40;
    for (ObjektState* s : {&o->Start, &o->End}) {
        s->FontSize = DefaultFontSize;
        s->Color = DefaultColor;
    }
    o->End.Time = 1000;
    o->Text = DupString(DefaultText);
    o->FontName = DupString(DefaultFontName);
    if (kind == okPicture && picture) o->Picture = *picture;
    return o;
}

void ReleaseObjekt(Objekt& o) {
    std::free(o.FontName);
    std::free(o.Text);
    o.FontName = nullptr;
    o.Text = nullptr;
    if (Pixmill.deldib) Pixmill.deldib(&o.Picture);
    std::memset(&o.Picture, 0, sizeof o.Picture);
}

void ClearObjekts() {
    for (int32_t i = 0; i < ObjektList.Count; ++i) {
        ObjektList.Select(i);
        ReleaseObjekt(*CurObjekt);
    }
    ObjektList.Clear();
}

void DeleteObjekt(int32_t index) {
    if (index < 0 || index >= ObjektList.Count) return;
    ObjektList.Select(index);
    ReleaseObjekt(*CurObjekt);
    ObjektList.Delete(index);
}

void MoveObjekt(int32_t index, int delta) {
    ObjektList.Swap(index, index + delta);
}

int32_t RotationFromDegrees(double degrees) {
    // A value like 2.3 is 22.999... after the multiplication; the tiny nudge
    // keeps such decimal inputs at their intended tenths before truncating.
    const double tenths = degrees * 10.0;
    return static_cast<int32_t>(tenths + (tenths < 0 ? -1e-7 : 1e-7));
}
