#include "editor/model/MainUnit.h"

#include "app/imaging/PixmillBinding.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

// The element list is created at start-up; each thread makes its own point
// list when it first uses one.
Objekt* CurObjekt = nullptr;
thread_local TPoint32* CurPoint = nullptr;
thread_local TDynaArray PointList(sizeof(TPoint32), reinterpret_cast<void**>(&CurPoint));
TDynaArray ObjektList(sizeof(Objekt), reinterpret_cast<void**>(&CurObjekt));

std::string ProjectFileName;
std::string ProgramDir;
int32_t CurFontSize = DefaultFontSize;
bool FillingEditors = false;
bool RebuildingList = false;
StageSettings Stage;

const char* const DefaultText = "\x83\x65\x83\x4C\x83\x58\x83\x67";
const char* const DefaultFontName = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

Objekt& ObjektAt(int32_t index) {
    assert(index >= 0 && index < ObjektList.Count);
    return *reinterpret_cast<Objekt*>(ObjektList.Block +
                                      static_cast<size_t>(index) * ObjektList.ItemSize);
}

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

namespace {

// Further holders of each shared picture, by its header block. A picture
// missing here has one holder.
std::mutex g_pictureMutex;
std::unordered_map<const void*, int64_t> g_pictureHolders;

} // namespace

void RetainPicture(const DibRecord& picture) {
    if (!picture.InfoBlock) return;
    const std::lock_guard lock(g_pictureMutex);
    ++g_pictureHolders[picture.InfoBlock];
}

void ReleasePicture(DibRecord& picture) {
    bool last = true;
    if (picture.InfoBlock) {
        const std::lock_guard lock(g_pictureMutex);
        const auto it = g_pictureHolders.find(picture.InfoBlock);
        if (it != g_pictureHolders.end()) {
            last = false;
            if (--it->second == 0) g_pictureHolders.erase(it);
        }
    }
    if (last && Pixmill.deldib) Pixmill.deldib(&picture);
    std::memset(&picture, 0, sizeof picture);
}

void ReleaseObjekt(Objekt& o) {
    std::free(o.FontName);
    std::free(o.Text);
    o.FontName = nullptr;
    o.Text = nullptr;
    ReleasePicture(o.Picture);
}

Objekt CopyObjekt(const Objekt& o) {
    Objekt copy{};
    copy.Start = o.Start;
    copy.End = o.End;
    copy.Kind = o.Kind;
    copy.DrawKind = o.DrawKind;
    copy.Text = DupString(o.Text ? o.Text : "");
    copy.FontName = DupString(o.FontName ? o.FontName : "");
    copy.DeleteAtEnd = o.DeleteAtEnd;
    copy.Picture = o.Picture;
    RetainPicture(copy.Picture);
    return copy;
}

Objekt TakeObjekt(int32_t index) {
    Objekt taken{};
    if (index < 0 || index >= ObjektList.Count) return taken;
    std::memcpy(&taken, ObjektList.GetItem(index), sizeof taken);
    ObjektList.Delete(index);
    return taken;
}

void InsertObjekt(int32_t index, const Objekt& o) {
    if (index < 0) index = 0;
    if (index > ObjektList.Count) index = ObjektList.Count;
    ObjektList.Add();
    // Shift the later items up by one place and put the element in the gap.
    uint8_t* at = ObjektList.Block + static_cast<size_t>(index) * sizeof(Objekt);
    std::memmove(at + sizeof(Objekt), at,
                 static_cast<size_t>(ObjektList.Count - 1 - index) * sizeof(Objekt));
    std::memcpy(at, &o, sizeof o);
    ObjektList.Select(index);
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
