#include "FPrimitive.h"

#include "FSWFStream.h"

#include <algorithm>
#include <bit>

int MinBits(std::uint32_t value, int signBits) {
    return signBits + std::bit_width(value);
}

std::uint32_t MaxAbs(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    auto absolute = [](std::int32_t v) {
        return v < 0 ? std::uint32_t(0) - static_cast<std::uint32_t>(v)
                     : static_cast<std::uint32_t>(v);
    };
    return std::max({absolute(a), absolute(b), absolute(c), absolute(d)});
}

std::int32_t ClampToSignedWidth(std::int64_t value, int maxWidth) {
    const std::int64_t limit = (std::int64_t(1) << (maxWidth - 1)) - 1;
    return static_cast<std::int32_t>(std::clamp(value, -limit, limit));
}

namespace {
std::int32_t Clamp31(std::int32_t v) {
    return ClampToSignedWidth(v, kMaxWidth5);
}

// Largest signed width a CXFORM's 4-bit width field can announce.
constexpr int kMaxTermWidth = 15;
} // namespace

FRect::FRect(std::int32_t xmin, std::int32_t ymin, std::int32_t xmax, std::int32_t ymax)
    : m_xmin(Clamp31(xmin)), m_xmax(Clamp31(xmax)), m_ymin(Clamp31(ymin)), m_ymax(Clamp31(ymax)) {}

int FRect::MinBits() const {
    return ::MinBits(MaxAbs(m_xmin, m_xmax, m_ymin, m_ymax), 1);
}

void FRect::WriteToSWFStream(FSWFStream* stream) const {
    const auto width = static_cast<std::uint32_t>(MinBits());
    stream->WriteBits(width, 5);
    stream->WriteBits(static_cast<std::uint32_t>(m_xmin), width);
    stream->WriteBits(static_cast<std::uint32_t>(m_xmax), width);
    stream->WriteBits(static_cast<std::uint32_t>(m_ymin), width);
    stream->WriteBits(static_cast<std::uint32_t>(m_ymax), width);
    stream->FlushBits();
}

FColor::FColor(int red, int green, int blue)
    : m_red(red), m_green(green), m_blue(blue), m_alpha(255), m_hasAlpha(false) {}

FColor::FColor(int red, int green, int blue, int alpha)
    : m_red(red), m_green(green), m_blue(blue), m_alpha(alpha), m_hasAlpha(true) {}

void FColor::WriteToSWFStream(FSWFStream* stream) const {
    stream->WriteByte(static_cast<std::uint32_t>(m_red));
    stream->WriteByte(static_cast<std::uint32_t>(m_green));
    stream->WriteByte(static_cast<std::uint32_t>(m_blue));
    if (m_hasAlpha) stream->WriteByte(static_cast<std::uint32_t>(m_alpha));
}

FMatrix::FMatrix(bool hasScale, std::int32_t scaleX, std::int32_t scaleY, bool hasRotate,
                 std::int32_t rotateSkew0, std::int32_t rotateSkew1, std::int32_t translateX,
                 std::int32_t translateY)
    : m_hasScale(hasScale), m_scaleX(Clamp31(scaleX)), m_scaleY(Clamp31(scaleY)),
      m_hasRotate(hasRotate), m_rotateSkew0(Clamp31(rotateSkew0)),
      m_rotateSkew1(Clamp31(rotateSkew1)), m_translateX(Clamp31(translateX)),
      m_translateY(Clamp31(translateY)) {
    m_scaleBits = MinBits(MaxAbs(m_scaleX, m_scaleY, 0, 0), 1);
    m_rotateBits = MinBits(MaxAbs(m_rotateSkew0, m_rotateSkew1, 0, 0), 1);
    m_translateBits = MinBits(MaxAbs(m_translateX, m_translateY, 0, 0), 1);
}

void FMatrix::WriteToSWFStream(FSWFStream* stream) const {
    stream->WriteBits(m_hasScale, 1);
    if (m_hasScale) {
        const auto bits = static_cast<std::uint32_t>(m_scaleBits);
        stream->WriteBits(bits, 5);
        stream->WriteBits(static_cast<std::uint32_t>(m_scaleX), bits);
        stream->WriteBits(static_cast<std::uint32_t>(m_scaleY), bits);
    }
    stream->WriteBits(m_hasRotate, 1);
    if (m_hasRotate) {
        const auto bits = static_cast<std::uint32_t>(m_rotateBits);
        stream->WriteBits(bits, 5);
        stream->WriteBits(static_cast<std::uint32_t>(m_rotateSkew0), bits);
        stream->WriteBits(static_cast<std::uint32_t>(m_rotateSkew1), bits);
    }
    const auto bits = static_cast<std::uint32_t>(m_translateBits);
    stream->WriteBits(bits, 5);
    stream->WriteBits(static_cast<std::uint32_t>(m_translateX), bits);
    stream->WriteBits(static_cast<std::uint32_t>(m_translateY), bits);
    stream->FlushBits();
}

namespace {
std::int32_t ClampTerm(std::int32_t v) {
    return ClampToSignedWidth(v, kMaxTermWidth);
}

void WriteTerms(FSWFStream* stream, const std::int32_t* terms, int count, int bits) {
    for (int i = 0; i < count; ++i)
        stream->WriteBits(static_cast<std::uint32_t>(terms[i]), static_cast<std::uint32_t>(bits));
}
} // namespace

FCXForm::FCXForm(bool hasMult, bool hasAdd, std::int32_t addRed, std::int32_t addGreen,
                 std::int32_t addBlue, std::int32_t multRed, std::int32_t multGreen,
                 std::int32_t multBlue)
    : m_hasMult(hasMult), m_hasAdd(hasAdd), m_addRed(ClampTerm(addRed)),
      m_addGreen(ClampTerm(addGreen)), m_addBlue(ClampTerm(addBlue)), m_multRed(ClampTerm(multRed)),
      m_multGreen(ClampTerm(multGreen)), m_multBlue(ClampTerm(multBlue)) {
    // All six terms count, also those whose flag is off.
    m_termBits = MinBits(std::max(MaxAbs(m_addRed, m_addGreen, m_addBlue, 0),
                                  MaxAbs(m_multRed, m_multGreen, m_multBlue, 0)),
                         1);
}

void FCXForm::WriteToSWFStream(FSWFStream* stream) {
    stream->WriteBits(m_hasAdd, 1);
    stream->WriteBits(m_hasMult, 1);
    stream->WriteBits(static_cast<std::uint32_t>(m_termBits), 4);
    const std::int32_t mult[3] = {m_multRed, m_multGreen, m_multBlue};
    const std::int32_t add[3] = {m_addRed, m_addGreen, m_addBlue};
    if (m_hasMult) WriteTerms(stream, mult, 3, m_termBits);
    if (m_hasAdd) WriteTerms(stream, add, 3, m_termBits);
    stream->FlushBits();
}

void FCXForm::WriteWithAlphaToSWFStream(FSWFStream* stream) {
    // The neutral alpha factor only widens the terms when they are written.
    const std::int32_t multAlpha = m_hasMult ? 256 : 0;
    FCXFormWAlpha(m_hasMult, m_hasAdd, m_addRed, m_addGreen, m_addBlue, 0, m_multRed, m_multGreen,
                  m_multBlue, multAlpha)
        .WriteToSWFStream(stream);
}

FCXFormWAlpha::FCXFormWAlpha(bool hasMult, bool hasAdd, std::int32_t addRed, std::int32_t addGreen,
                             std::int32_t addBlue, std::int32_t addAlpha, std::int32_t multRed,
                             std::int32_t multGreen, std::int32_t multBlue, std::int32_t multAlpha)
    : m_hasMult(hasMult), m_hasAdd(hasAdd), m_add{ClampTerm(addRed), ClampTerm(addGreen),
                                                  ClampTerm(addBlue), ClampTerm(addAlpha)},
      m_mult{ClampTerm(multRed), ClampTerm(multGreen), ClampTerm(multBlue), ClampTerm(multAlpha)} {
    m_termBits = MinBits(std::max(MaxAbs(m_add[0], m_add[1], m_add[2], m_add[3]),
                                  MaxAbs(m_mult[0], m_mult[1], m_mult[2], m_mult[3])),
                         1);
}

void FCXFormWAlpha::WriteToSWFStream(FSWFStream* stream) {
    stream->WriteBits(m_hasAdd, 1);
    stream->WriteBits(m_hasMult, 1);
    stream->WriteBits(static_cast<std::uint32_t>(m_termBits), 4);
    if (m_hasMult) WriteTerms(stream, m_mult, 4, m_termBits);
    if (m_hasAdd) WriteTerms(stream, m_add, 4, m_termBits);
    stream->FlushBits();
}

FString::FString(std::string_view text) : m_text(text) {}

void FString::WriteToSWFStream(FSWFStream* stream, bool nullTerminate) const {
    for (unsigned char c : m_text)
        stream->WriteByte(c);
    if (nullTerminate) stream->WriteByte(0);
}
