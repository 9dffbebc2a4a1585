#pragma once

#include "FObj.h"
#include "FPrimitive.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class FSWFStream;
class FShape;

// DefineFont (tag 10): glyph outlines; glyph index i is the i-th added shape.
// Each glyph is kept as the bytes it is written as. The offset table is
// 16-bit: a glyph that would end beyond 65535 bytes is written as an empty
// outline so the table stays valid (Fits tells beforehand whether that
// happens). A font without glyphs is written with one empty glyph (readers
// take the glyph count from the first offset, which must exist).
class FDTDefineFont : public FDT {
public:
    FDTDefineFont();
    ~FDTDefineFont() override;

    // Sets the glyph's index widths to fill 1, line 0 and adds it.
    void AddShape(std::unique_ptr<FShape> glyph);
    // Adds a glyph already turned into bytes by GlyphBytes.
    void AddGlyphBytes(std::vector<unsigned char> bytes);
    std::size_t GlyphCount() const { return m_glyphs.size(); }

    // The bytes a glyph is written as inside a font.
    static std::vector<unsigned char> GlyphBytes(FShape& glyph);
    // True when glyphs of these total bytes all keep their outlines in one font.
    static bool Fits(std::size_t glyphCount, std::uint64_t glyphBytes) {
        return 2 * std::uint64_t(glyphCount) + glyphBytes <= 0xFFFF;
    }

    void WriteToSWFStream(FSWFStream* stream) override;
    std::uint16_t ID() const override { return m_characterID; }

private:
    std::uint16_t m_characterID;
    std::vector<std::vector<unsigned char>> m_glyphs;
};

// DefineFontInfo (tag 13): name, encoding and character codes of a font.
// Encoding 1 is Shift-JIS, 2 Unicode, 3 ANSI; any other value writes no
// encoding flag (all three bits clear). When any code exceeds 255 the
// wide-codes flag is set and every code is written in 16 bits. The ID drawn
// at construction is never written. Names longer than 255 bytes are cut.
class FDTDefineFontInfo : public FDT {
public:
    FDTDefineFontInfo(std::string_view fontName, std::uint16_t fontID, std::uint16_t encoding,
                      bool italic, bool bold);

    // One code per glyph, in glyph order.
    void AddCode(std::uint16_t code);

    void WriteToSWFStream(FSWFStream* stream) override;
    std::uint16_t ID() const override { return m_characterID; }

private:
    std::uint16_t m_characterID;
    std::unique_ptr<FString> m_fontName;
    std::uint16_t m_encoding;
    bool m_italic;
    bool m_bold;
    std::vector<std::uint16_t> m_codes;
    std::uint16_t m_fontID;
};

// Abstract text record of a DefineText2.
class FTextRecord {
public:
    virtual int MinAdvanceBits() const = 0;
    virtual int MinGlyphBits() const = 0;
    virtual ~FTextRecord() = default;
    virtual void WriteToSWFStream(FSWFStream* stream, int glyphBits, int advanceBits) = 0;
};

// Style change record: font, colour (always written as RGBA), offsets and
// height in twips. Note the X offset flag comes before the Y offset flag here,
// the reverse of the file order.
class FTextChangeRecord : public FTextRecord {
public:
    FTextChangeRecord(bool hasFont, bool hasColor, bool hasXOffset, bool hasYOffset,
                      std::uint16_t fontID, std::uint16_t textHeight, std::unique_ptr<FColor> color,
                      std::int16_t xOffset, std::int16_t yOffset);

    int MinAdvanceBits() const override { return 0; }
    int MinGlyphBits() const override { return 0; }
    void WriteToSWFStream(FSWFStream* stream, int glyphBits, int advanceBits) override;

private:
    bool m_hasFont;
    bool m_hasColor;
    bool m_hasYOffset;
    bool m_hasXOffset;
    std::uint16_t m_fontID;
    std::unique_ptr<FColor> m_color;
    std::int16_t m_xOffset;
    std::int16_t m_yOffset;
    std::uint16_t m_textHeight;
};

// Glyph record: glyph indices with their advances (twips). The count field
// holds at most 127 entries; more are written as several records, each
// further one byte-aligned and preceded by an empty style change record, the
// layout every reader accepts. Advances are signed.
class FTextGlyphRecord : public FTextRecord {
public:
    struct GlyphEntry {
        std::uint16_t glyphIndex;
        std::int32_t glyphAdvance;
    };

    static constexpr std::size_t kMaxEntriesPerRecord = 127;

    void AddGlyphEntry(std::uint16_t glyphIndex, std::int32_t glyphAdvance);
    std::size_t EntryCount() const { return m_entries.size(); }

    int MinAdvanceBits() const override;
    int MinGlyphBits() const override;
    void WriteToSWFStream(FSWFStream* stream, int glyphBits, int advanceBits) override;

private:
    std::vector<GlyphEntry> m_entries;
};

// DefineText2 (tag 33): static text from text records in a bounds rectangle,
// placed by a matrix. glyphCount has no effect on the output.
class FDTDefineText2 : public FDT {
public:
    FDTDefineText2(std::unique_ptr<FRect> bounds, std::unique_ptr<FMatrix> matrix, int glyphCount);
    ~FDTDefineText2() override;

    void AddTextRecord(std::unique_ptr<FTextRecord> record);

    void WriteToSWFStream(FSWFStream* stream) override;
    std::uint16_t ID() const override { return m_characterID; }

private:
    std::uint16_t m_characterID;
    std::unique_ptr<FRect> m_bounds;
    std::unique_ptr<FMatrix> m_matrix;
    std::vector<std::unique_ptr<FTextRecord>> m_records;
};
