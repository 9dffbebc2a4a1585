#pragma once
// The project document: the process-wide element list, the point list of the
// shape builders, the stage settings and the few editor variables, with the
// element operations the window and the compiler share.

#include "editor/model/Objekt.h"
#include "editor/model/StageSettings.h"
#include "editor/model/TDynaArray.h"

#include <string>
#include <string_view>

extern Objekt* CurObjekt;
// Scratch outline points of the shape builders, one list per thread: the stage
// paints with them while a movie may be compiled in the background.
extern thread_local TPoint32* CurPoint;
extern thread_local TDynaArray PointList;
extern TDynaArray ObjektList; // the project's elements, in list order

extern std::string ProjectFileName; // empty for a new, unnamed project
extern std::string ProgramDir;      // the program's folder, ending in '/'
extern int32_t CurFontSize;
extern bool FillingEditors;
extern bool RebuildingList;
extern StageSettings Stage;

// Defaults of new elements.
inline constexpr int32_t DefaultFontSize = 24;
inline constexpr int32_t DefaultColor = static_cast<int32_t>(0x80000008); // window text
extern const char* const DefaultText;     // "テキスト" in Shift-JIS
extern const char* const DefaultFontName; // "ＭＳ ゴシック" in Shift-JIS

// Element `index` of ObjektList (0 <= index < Count), read in place: neither
// the list's current item nor CurObjekt moves.
Objekt& ObjektAt(int32_t index);

// A heap copy of a zero-terminated string, released with std::free.
char* DupString(std::string_view s);
// Replaces an owned string, freeing the old one first.
void ReplaceString(char*& field, std::string_view s);

// Appends an element of `kind` with the defaults of a new element and leaves it
// current. A picture element takes over `picture` (already converted to 24 bits).
Objekt* AddObjekt(int32_t kind, const DibRecord* picture = nullptr);

// Releases what an element owns: its strings and its picture.
void ReleaseObjekt(Objekt& o);

// Pictures are shared, never copied, between the project, the undo history,
// duplicates and recovery snapshots: every further holder retains the
// picture, and the last release hands its memory to the image library.
// Both may be called from any thread.
void RetainPicture(const DibRecord& picture);
void ReleasePicture(DibRecord& picture);

// A copy of an element that owns its own strings and shares the picture; the
// compiler's working fields are zero.
Objekt CopyObjekt(const Objekt& o);
// Removes element `index` from the list and hands what it owns to the caller
// (nothing is released). Afterwards nothing is current.
Objekt TakeObjekt(int32_t index);
// Puts an element into the list at `index` (0 to Count), taking over what it
// owns; it becomes current.
void InsertObjekt(int32_t index, const Objekt& o);
void ClearObjekts();
void DeleteObjekt(int32_t index);
// Moves element `index` one place up (-1) or down (+1); the moved element is current.
void MoveObjekt(int32_t index, int delta);

// List rows: two per element, the start state at 2i and the end state at 2i + 1.
inline int32_t RowObjekt(int32_t row) {
    return row / 2;
}
inline bool RowIsEnd(int32_t row) {
    return row % 2 != 0;
}
inline ObjektState& RowState(Objekt& o, int32_t row) {
    return RowIsEnd(row) ? o.End : o.Start;
}

// Rotation entered in degrees with one decimal, stored in tenths truncated toward zero.
int32_t RotationFromDegrees(double degrees);
