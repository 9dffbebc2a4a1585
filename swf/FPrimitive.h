#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class FSWFStream;

// Field width of a value: signBits plus the number of significant bits of
// value taken as unsigned (signBits alone for 0). MinBits(4, 1) is 4.
int MinBits(std::uint32_t value, int signBits);
// Largest absolute value of four signed integers (exact also for INT32_MIN).
std::uint32_t MaxAbs(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d);

// Clamps value into the range of a signed field whose width MinBits(|v|, 1)
// must not exceed maxWidth: |result| <= 2^(maxWidth-1) - 1. Values that do not
// fit a record's fields are clamped rather than written truncated.
std::int32_t ClampToSignedWidth(std::int64_t value, int maxWidth);

// Largest signed width a 5-bit width field can announce.
inline constexpr int kMaxWidth5 = 31;

// RECT record, in twips. The constructor order (xmin, ymin, xmax, ymax)
// differs from the file order (xmin, xmax, ymin, ymax). Coordinates are
// clamped to +-(2^30 - 1) so that their width fits the 5-bit width field.
class FRect {
public:
    FRect(std::int32_t xmin, std::int32_t ymin, std::int32_t xmax, std::int32_t ymax);

    int MinBits() const;
    void WriteToSWFStream(FSWFStream* stream) const;

    std::int32_t XMin() const { return m_xmin; }
    std::int32_t XMax() const { return m_xmax; }
    std::int32_t YMin() const { return m_ymin; }
    std::int32_t YMax() const { return m_ymax; }

private:
    std::int32_t m_xmin;
    std::int32_t m_xmax;
    std::int32_t m_ymin;
    std::int32_t m_ymax;
};

// RGB or RGBA colour; components 0 to 255, only their low 8 bits are written.
class FColor {
public:
    FColor(int red, int green, int blue);            // written as RGB
    FColor(int red, int green, int blue, int alpha); // written as RGBA

    // Switches between the RGB and the RGBA form (tags force the form they need).
    void SetAlphaChannel(bool hasAlpha) { m_hasAlpha = hasAlpha; }
    bool HasAlpha() const { return m_hasAlpha; }
    void WriteToSWFStream(FSWFStream* stream) const;

    int Red() const { return m_red; }
    int Green() const { return m_green; }
    int Blue() const { return m_blue; }
    int Alpha() const { return m_alpha; }

private:
    int m_red;
    int m_green;
    int m_blue;
    int m_alpha;
    bool m_hasAlpha;
};

// MATRIX record: scale and rotate/skew in 16.16 fixed point, translation in
// twips. Values are clamped to +-(2^30 - 1) so every width fits its 5-bit field.
class FMatrix {
public:
    FMatrix(bool hasScale, std::int32_t scaleX, std::int32_t scaleY, bool hasRotate,
            std::int32_t rotateSkew0, std::int32_t rotateSkew1, std::int32_t translateX,
            std::int32_t translateY);

    void WriteToSWFStream(FSWFStream* stream) const;

private:
    bool m_hasScale;
    int m_scaleBits;
    std::int32_t m_scaleX;
    std::int32_t m_scaleY;
    bool m_hasRotate;
    int m_rotateBits;
    std::int32_t m_rotateSkew0;
    std::int32_t m_rotateSkew1;
    int m_translateBits;
    std::int32_t m_translateX;
    std::int32_t m_translateY;
};

// Abstract colour transform.
class FACXForm {
public:
    virtual ~FACXForm() = default;
    // The record in its own form (CXFORM or CXFORMWITHALPHA).
    virtual void WriteToSWFStream(FSWFStream* stream) = 0;
    // The record as CXFORMWITHALPHA, the form a PlaceObject2 needs.
    virtual void WriteWithAlphaToSWFStream(FSWFStream* stream) = 0;
};

// CXFORM record (no alpha terms). Multiplication terms are 8.8 fixed point
// (256 = 1.0). Terms are clamped to +-16383 so the width fits its 4-bit field.
class FCXForm : public FACXForm {
public:
    FCXForm(bool hasMult, bool hasAdd, std::int32_t addRed, std::int32_t addGreen,
            std::int32_t addBlue, std::int32_t multRed, std::int32_t multGreen,
            std::int32_t multBlue);

    void WriteToSWFStream(FSWFStream* stream) override;
    // Written with neutral alpha terms (multiply by 1.0, add 0).
    void WriteWithAlphaToSWFStream(FSWFStream* stream) override;

private:
    bool m_hasMult;
    bool m_hasAdd;
    int m_termBits;
    std::int32_t m_addRed;
    std::int32_t m_addGreen;
    std::int32_t m_addBlue;
    std::int32_t m_multRed;
    std::int32_t m_multGreen;
    std::int32_t m_multBlue;
};

// CXFORMWITHALPHA record: FCXForm with alpha terms, for placements.
class FCXFormWAlpha : public FACXForm {
public:
    FCXFormWAlpha(bool hasMult, bool hasAdd, std::int32_t addRed, std::int32_t addGreen,
                  std::int32_t addBlue, std::int32_t addAlpha, std::int32_t multRed,
                  std::int32_t multGreen, std::int32_t multBlue, std::int32_t multAlpha);

    void WriteToSWFStream(FSWFStream* stream) override;
    void WriteWithAlphaToSWFStream(FSWFStream* stream) override { WriteToSWFStream(stream); }

private:
    bool m_hasMult;
    bool m_hasAdd;
    int m_termBits;
    std::int32_t m_add[4];
    std::int32_t m_mult[4];
};

// A byte string (Shift-JIS or any other bytes), written unchanged.
class FString {
public:
    explicit FString(std::string_view text);

    void WriteToSWFStream(FSWFStream* stream, bool nullTerminate) const;
    // Number of bytes without terminator.
    std::size_t Length() const { return m_text.size(); }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};
