#include "FDTFonts.h"

#include "FDTShapes.h"
#include "FSWFStream.h"

#include <algorithm>

FDTDefineFont::FDTDefineFont() : m_characterID(NextCharacterID()) {}

FDTDefineFont::~FDTDefineFont() = default;

void FDTDefineFont::AddShape(std::unique_ptr<FShape> glyph) {
    if (!glyph) return;
    m_glyphs.push_back(GlyphBytes(*glyph));
}

void FDTDefineFont::AddGlyphBytes(std::vector<unsigned char> bytes) {
    m_glyphs.push_back(std::move(bytes));
}

std::vector<unsigned char> FDTDefineFont::GlyphBytes(FShape& glyph) {
    glyph.SetFillBits(1);
    glyph.SetLineBits(0);
    FSWFStream stream;
    glyph.WriteToSWFStream(&stream);
    stream.FlushBits();
    return stream.SplicedBytes();
}

namespace {
// An outline without records: the width byte and an end record.
void WriteEmptyGlyph(FSWFStream* stream) {
    FShape empty;
    empty.SetFillBits(1);
    empty.AddShapeRec(std::make_unique<FShapeRecEnd>());
    empty.WriteToSWFStream(stream);
}

constexpr std::size_t kEmptyGlyphSize = 2;
} // namespace

void FDTDefineFont::WriteToSWFStream(FSWFStream* stream) {
    const std::size_t count = std::max<std::size_t>(m_glyphs.size(), 1);
    const std::size_t tableSize = 2 * count;
    std::vector<std::size_t> offsets;
    offsets.reserve(count);

    FSWFStream glyphs;
    if (m_glyphs.empty()) {
        offsets.push_back(tableSize);
        WriteEmptyGlyph(&glyphs);
    }
    for (std::size_t i = 0; i < m_glyphs.size(); ++i) {
        const std::size_t offset = tableSize + glyphs.Size();
        offsets.push_back(offset);
        const std::vector<unsigned char>& glyph = m_glyphs[i];
        // Offsets are 16-bit. Keep room for the empty outlines of the glyphs
        // still to come, so that every offset of the table stays in range.
        const std::size_t remaining = m_glyphs.size() - i - 1;
        if (offset + glyph.size() + remaining * kEmptyGlyphSize > 0xFFFF)
            WriteEmptyGlyph(&glyphs);
        else
            for (unsigned char b : glyph)
                glyphs.WriteByte(b);
    }

    FSWFStream body;
    body.WriteWord(m_characterID);
    for (std::size_t offset : offsets)
        body.WriteWord(static_cast<std::uint32_t>(offset));
    body.Append(glyphs);
    stream->AppendTag(swf::DefineFont, body.Size(), &body);
}

FDTDefineFontInfo::FDTDefineFontInfo(std::string_view fontName, std::uint16_t fontID,
                                     std::uint16_t encoding, bool italic, bool bold)
    : m_characterID(NextCharacterID()),
      m_fontName(std::make_unique<FString>(fontName.substr(0, 255))), m_encoding(encoding),
      m_italic(italic), m_bold(bold), m_fontID(fontID) {}

void FDTDefineFontInfo::AddCode(std::uint16_t code) {
    m_codes.push_back(code);
}

void FDTDefineFontInfo::WriteToSWFStream(FSWFStream* stream) {
    FSWFStream body;
    body.WriteWord(m_fontID);
    body.WriteByte(static_cast<std::uint32_t>(m_fontName->Length()));
    m_fontName->WriteToSWFStream(&body, false);

    const bool wideCodes =
        std::any_of(m_codes.begin(), m_codes.end(), [](std::uint16_t c) { return c > 255; });
    body.WriteBits(0, 2); // reserved
    switch (m_encoding) {
    case 1: // Shift-JIS
        body.WriteBits(0b010, 3);
        break;
    case 2: // Unicode
        body.WriteBits(0b100, 3);
        break;
    case 3: // ANSI
        body.WriteBits(0b001, 3);
        break;
    default: // unknown: no encoding flag, the layout stays intact
        body.WriteBits(0, 3);
        break;
    }
    body.WriteBits(m_italic, 1);
    body.WriteBits(m_bold, 1);
    body.WriteBits(wideCodes, 1);

    for (std::uint16_t code : m_codes) {
        if (wideCodes)
            body.WriteWord(code);
        else
            body.WriteByte(code);
    }
    stream->AppendTag(swf::DefineFontInfo, body.Size(), &body);
}

FTextChangeRecord::FTextChangeRecord(bool hasFont, bool hasColor, bool hasXOffset, bool hasYOffset,
                                     std::uint16_t fontID, std::uint16_t textHeight,
                                     std::unique_ptr<FColor> color, std::int16_t xOffset,
                                     std::int16_t yOffset)
    : m_hasFont(hasFont), m_hasColor(hasColor), m_hasYOffset(hasYOffset), m_hasXOffset(hasXOffset),
      m_fontID(fontID), m_color(std::move(color)), m_xOffset(xOffset), m_yOffset(yOffset),
      m_textHeight(textHeight) {
    if (m_hasColor && !m_color) m_color = std::make_unique<FColor>(0, 0, 0, 255);
}

void FTextChangeRecord::WriteToSWFStream(FSWFStream* stream, int, int) {
    // Every text record starts on a byte boundary; players read the record's
    // flags as a whole byte, so a style change after a glyph record's last
    // bits must not share that byte.
    stream->FlushBits();
    stream->WriteBits(1, 1); // style change record
    stream->WriteBits(0, 3); // reserved
    stream->WriteBits(m_hasFont, 1);
    stream->WriteBits(m_hasColor, 1);
    stream->WriteBits(m_hasYOffset, 1);
    stream->WriteBits(m_hasXOffset, 1);
    if (m_hasFont) stream->WriteWord(m_fontID);
    if (m_hasColor) {
        m_color->SetAlphaChannel(true); // DefineText2 colours are RGBA
        m_color->WriteToSWFStream(stream);
    }
    if (m_hasXOffset) stream->WriteWord(static_cast<std::uint16_t>(m_xOffset));
    if (m_hasYOffset) stream->WriteWord(static_cast<std::uint16_t>(m_yOffset));
    if (m_hasFont) stream->WriteWord(m_textHeight);
}

void FTextGlyphRecord::AddGlyphEntry(std::uint16_t glyphIndex, std::int32_t glyphAdvance) {
    m_entries.push_back({glyphIndex, glyphAdvance});
}

int FTextGlyphRecord::MinAdvanceBits() const {
    int bits = 0;
    for (const GlyphEntry& e : m_entries)
        bits = std::max(bits, MinBits(MaxAbs(e.glyphAdvance, 0, 0, 0), 1));
    return bits;
}

int FTextGlyphRecord::MinGlyphBits() const {
    int bits = 0;
    for (const GlyphEntry& e : m_entries)
        bits = std::max(bits, MinBits(e.glyphIndex, 1));
    return bits;
}

void FTextGlyphRecord::WriteToSWFStream(FSWFStream* stream, int glyphBits, int advanceBits) {
    const auto gBits = static_cast<std::uint32_t>(glyphBits);
    const auto aBits = static_cast<std::uint32_t>(advanceBits);
    stream->FlushBits(); // records start on a byte boundary
    std::size_t first = 0;
    do {
        const std::size_t count = std::min(kMaxEntriesPerRecord, m_entries.size() - first);
        if (first > 0) {
            stream->FlushBits();
            stream->WriteByte(0x80); // style change record without changes
        }
        stream->WriteBits(0, 1); // glyph record
        stream->WriteBits(static_cast<std::uint32_t>(count), 7);
        for (std::size_t i = first; i < first + count; ++i) {
            stream->WriteBits(m_entries[i].glyphIndex, gBits);
            stream->WriteBits(static_cast<std::uint32_t>(m_entries[i].glyphAdvance), aBits);
        }
        first += count;
    } while (first < m_entries.size());
}

FDTDefineText2::FDTDefineText2(std::unique_ptr<FRect> bounds, std::unique_ptr<FMatrix> matrix,
                               int /*glyphCount*/)
    : m_characterID(NextCharacterID()),
      m_bounds(bounds ? std::move(bounds) : std::make_unique<FRect>(0, 0, 0, 0)),
      m_matrix(matrix ? std::move(matrix)
                      : std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, 0, 0)) {}

FDTDefineText2::~FDTDefineText2() = default;

void FDTDefineText2::AddTextRecord(std::unique_ptr<FTextRecord> record) {
    if (record) m_records.push_back(std::move(record));
}

void FDTDefineText2::WriteToSWFStream(FSWFStream* stream) {
    // One scratch body per thread: a moving text is defined again every frame.
    thread_local FSWFStream body;
    body.Clear();
    body.WriteWord(m_characterID);
    m_bounds->WriteToSWFStream(&body);
    m_matrix->WriteToSWFStream(&body);
    int glyphBits = 0;
    int advanceBits = 0;
    for (const auto& record : m_records) {
        glyphBits = std::max(glyphBits, record->MinGlyphBits());
        advanceBits = std::max(advanceBits, record->MinAdvanceBits());
    }
    body.WriteByte(static_cast<std::uint32_t>(glyphBits));
    body.WriteByte(static_cast<std::uint32_t>(advanceBits));
    for (auto& record : m_records)
        record->WriteToSWFStream(&body, glyphBits, advanceBits);
    body.FlushBits();
    body.WriteByte(0); // end of records
    stream->AppendTag(swf::DefineText2, body.Size(), &body);
}
