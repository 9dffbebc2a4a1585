#pragma once
// The element record and its key state. Elements are plain records that the
// element list moves and copies as raw bytes.

#include "pixmill/pixmill.h"

#include <cstdint>

class FDTDefineText2;
class FDTDefineFont;
class FDTDefineMorphShape;
class FDTDefineShape;

// One key state: where and how the element looks at `Time`.
struct ObjektState {
    int32_t Left; // stage pixels
    int32_t Top;
    int32_t Right;
    int32_t Bottom;
    int32_t FontSize;     // pixels (text elements)
    int32_t Rotation;     // tenths of a degree, positive is counter-clockwise on screen
    int32_t Time;         // milliseconds from the start of the movie
    int32_t Transparency; // percent, 0 is opaque
    int32_t Color;        // COLORREF 0x00BBGGRR, or a system-colour code such as 0x80000008
};
static_assert(sizeof(ObjektState) == 36);

enum ObjektKind : int32_t { okText = 0, okDrawing = 1, okPicture = 2, okButton = 3 };
enum DrawKindValue : int32_t { dkRectangle = 0, dkEllipse = 1 };

// Working fields of the movie compiler; meaningless outside a compilation,
// never saved, zero in a new element. The tags are owned by the movie being
// built; WideText and Advances are blocks of the compiler's own.
struct CompileWork {
    int32_t PicWidth; // size of the bitmap written as JPEG
    int32_t PicHeight;
    int32_t Finished; // 1 from the frame that shows the end state on
    int32_t CharID;   // character currently placed for the element
    int32_t Depth;    // display-list depth given when the element started
    FDTDefineText2* TextTag;
    int32_t FontID;
    FDTDefineFont* FontTag;
    char16_t* WideText; // the text as UTF-16, zero-terminated
    int32_t* Advances;  // one advance per character, 1000-unit design font
    int32_t GlyphCount;
    FDTDefineMorphShape* MorphTag;
    FDTDefineShape* PictureTag;
};

struct Objekt {
    ObjektState Start;
    ObjektState End;
    int32_t Kind;        // ObjektKind; other values load and save unchanged
    int32_t DrawKind;    // drawing objects: 0 rectangle, 1 ellipse
    char* Text;          // zero-terminated Shift-JIS, owned (malloc)
    char* FontName;      // zero-terminated Shift-JIS, owned (malloc)
    uint8_t DeleteAtEnd; // remove from the movie after the end time
    DibRecord Picture;   // 24-bit picture of a picture element; all zero otherwise
    CompileWork Work;
};

// An outline point of the shape builders' scratch list.
struct TPoint32 {
    int32_t x;
    int32_t y;
};
