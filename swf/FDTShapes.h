#pragma once

#include "FObj.h"
#include "FPrimitive.h"

#include <cstdint>
#include <memory>
#include <vector>

class FSWFStream;
class FFillStyleArray;
class FLineStyleArray;

// What a shape record draws, as written (after clamping), for writers of
// other formats: a pen move to (x, y), a straight edge by (x, y), a curve by
// (controlX, controlY) to its control point and then (x, y) to its anchor, a
// style change without a move, or the end of the records.
struct FShapeRecGeometry {
    enum class Kind { Move, Style, Line, Curve, End };
    Kind kind = Kind::End;
    std::int32_t x = 0, y = 0;
    std::int32_t controlX = 0, controlY = 0;
};

// Abstract shape record. Index widths are handed in by the shape container.
class FShapeRec {
public:
    virtual ~FShapeRec() = default;
    virtual void WriteToSWFStream(FSWFStream* stream) = 0;
    virtual void SetFillBits(int bits) = 0;
    virtual void SetLineBits(int bits) = 0;
    virtual FShapeRecGeometry Geometry() const = 0;
};

// Style change record: move the pen, select fill and line styles and, when
// stateNewStyles is set, start new style arrays. The flags come in the order
// the format stores them (fill style 1 before fill style 0); style indices
// are 1-based, 0 selecting none. Move deltas are clamped to +-(2^30 - 1).
class FShapeRecChange : public FShapeRec {
public:
    FShapeRecChange(bool stateNewStyles, bool stateLineStyle, bool stateFillStyle1,
                    bool stateFillStyle0, bool stateMoveTo, std::int32_t moveDeltaX,
                    std::int32_t moveDeltaY, std::uint32_t fillStyle0, std::uint32_t fillStyle1,
                    std::uint32_t lineStyle, std::unique_ptr<FFillStyleArray> newFillStyles,
                    std::unique_ptr<FLineStyleArray> newLineStyles);
    ~FShapeRecChange() override;

    void WriteToSWFStream(FSWFStream* stream) override;
    void SetFillBits(int bits) override { m_fillBits = bits; }
    void SetLineBits(int bits) override { m_lineBits = bits; }
    FShapeRecGeometry Geometry() const override {
        if (!m_stateMoveTo) return {FShapeRecGeometry::Kind::Style};
        return {FShapeRecGeometry::Kind::Move, m_moveDeltaX, m_moveDeltaY};
    }

    // With new style arrays, the index widths that the following records use.
    bool HasNewStyles() const { return m_stateNewStyles; }
    int NewFillBits() const;
    int NewLineBits() const;

private:
    bool m_stateNewStyles;
    bool m_stateLineStyle;
    bool m_stateFillStyle0;
    bool m_stateFillStyle1;
    bool m_stateMoveTo;
    int m_moveBits;
    int m_fillBits = 0;
    int m_lineBits = 0;
    std::int32_t m_moveDeltaX;
    std::int32_t m_moveDeltaY;
    std::uint32_t m_fillStyle0;
    std::uint32_t m_fillStyle1;
    std::uint32_t m_lineStyle;
    std::unique_ptr<FFillStyleArray> m_newFillStyles;
    std::unique_ptr<FLineStyleArray> m_newLineStyles;
};

// Straight edge, as a horizontal, vertical or general line. Deltas are clamped
// to +-65535 twips, the most the record's 4-bit width field allows.
class FShapeRecEdgeStraight : public FShapeRec {
public:
    FShapeRecEdgeStraight(std::int32_t deltaX, std::int32_t deltaY);

    void WriteToSWFStream(FSWFStream* stream) override;
    void SetFillBits(int) override {}
    void SetLineBits(int) override {}
    FShapeRecGeometry Geometry() const override {
        return {FShapeRecGeometry::Kind::Line, m_deltaX, m_deltaY};
    }

private:
    int m_numBits;
    bool m_generalLineFlag;
    std::int32_t m_deltaX;
    std::int32_t m_deltaY;
    bool m_vertLineFlag;
};

// Quadratic curve: control point and anchor, each relative to the point
// before it. Deltas are clamped to +-65535 twips.
class FShapeRecEdgeCurved : public FShapeRec {
public:
    FShapeRecEdgeCurved(std::int32_t controlDeltaX, std::int32_t controlDeltaY,
                        std::int32_t anchorDeltaX, std::int32_t anchorDeltaY);

    void WriteToSWFStream(FSWFStream* stream) override;
    void SetFillBits(int) override {}
    void SetLineBits(int) override {}
    FShapeRecGeometry Geometry() const override {
        return {FShapeRecGeometry::Kind::Curve, m_anchorDeltaX, m_anchorDeltaY, m_controlDeltaX,
                m_controlDeltaY};
    }

private:
    int m_numBits;
    std::int32_t m_controlDeltaX;
    std::int32_t m_controlDeltaY;
    std::int32_t m_anchorDeltaX;
    std::int32_t m_anchorDeltaY;
};

// End of a record list; the only record that aligns to a byte boundary.
class FShapeRecEnd : public FShapeRec {
public:
    void WriteToSWFStream(FSWFStream* stream) override;
    void SetFillBits(int) override {}
    void SetLineBits(int) override {}
    FShapeRecGeometry Geometry() const override { return {}; }
};

// SHAPE record without style arrays: font glyphs and morph edges.
class FShape {
public:
    FShape() = default;
    virtual ~FShape() = default;
    FShape(const FShape&) = delete;
    FShape& operator=(const FShape&) = delete;

    void AddShapeRec(std::unique_ptr<FShapeRec> record);
    void SetFillBits(int bits) { m_fillBits = bits; }
    void SetLineBits(int bits) { m_lineBits = bits; }
    std::size_t RecordCount() const { return m_records.size(); }
    const FShapeRec& Record(std::size_t i) const { return *m_records[i]; }
    // Index widths in 4 bits each, then every record with those widths. Does
    // not align by itself: the final FShapeRecEnd does.
    virtual void WriteToSWFStream(FSWFStream* stream);

private:
    int m_fillBits = 0;
    int m_lineBits = 0;
    std::vector<std::unique_ptr<FShapeRec>> m_records;
};

// Abstract fill style.
class FAFillStyle {
public:
    virtual ~FAFillStyle() = default;
    virtual void WriteToSWFStream(FSWFStream* stream) = 0;
};

// Base of DefineShape fill styles.
class FFillStyle : public FAFillStyle {};

// Bitmap fill: tiled (0x40) or clipped (0x41), bitmap character ID, matrix.
class FFillStyleBitmap : public FFillStyle {
public:
    FFillStyleBitmap(bool tiled, std::uint16_t bitmapID, std::unique_ptr<FMatrix> matrix);
    void WriteToSWFStream(FSWFStream* stream) override;

private:
    bool m_tiled;
    std::uint16_t m_bitmapID;
    std::unique_ptr<FMatrix> m_matrix;
};

// Base of morph fill styles.
class FMorphFillStyle : public FAFillStyle {
public:
    void WriteToSWFStream(FSWFStream*) override {}
};

// Solid morph fill from startColor to endColor. Morph colours are RGBA in the
// format, so both are written in that form whatever form they were built in.
class FMorphFillStyleSolid : public FMorphFillStyle {
public:
    FMorphFillStyleSolid(std::unique_ptr<FColor> startColor, std::unique_ptr<FColor> endColor);
    void WriteToSWFStream(FSWFStream* stream) override;

private:
    std::unique_ptr<FColor> m_startColor;
    std::unique_ptr<FColor> m_endColor;
};

// Abstract line style (no concrete one is needed by the program).
class FALineStyle {
public:
    virtual ~FALineStyle() = default;
    virtual void WriteToSWFStream(FSWFStream* stream) = 0;
};

// Counted list of fill styles; serves DefineShape and morph fill styles.
class FFillStyleArray {
public:
    FFillStyleArray() = default;
    virtual ~FFillStyleArray() = default;
    // Appends and returns the new count, the 1-based index of the added style.
    std::uint32_t AddFillStyle(std::unique_ptr<FAFillStyle> style);
    std::uint32_t Size() const { return static_cast<std::uint32_t>(m_styles.size()); }
    // Count below 255 as one byte, otherwise 0xFF and a 16-bit count; then the styles.
    virtual void WriteToSWFStream(FSWFStream* stream);

private:
    std::vector<std::unique_ptr<FAFillStyle>> m_styles;
};

// Counted list of line styles; always empty in this program.
class FLineStyleArray {
public:
    std::uint32_t Size() const { return static_cast<std::uint32_t>(m_styles.size()); }
    void WriteToSWFStream(FSWFStream* stream);

private:
    std::vector<std::unique_ptr<FALineStyle>> m_styles;
};

// SHAPEWITHSTYLE: style arrays, index widths fixed from their sizes, records.
class FShapeWStyle {
public:
    FShapeWStyle(std::unique_ptr<FFillStyleArray> fillStyles,
                 std::unique_ptr<FLineStyleArray> lineStyles);

    // Hands the record the index widths in force (the arrays', or those of the
    // latest record that started new style arrays) and appends it.
    void AddShapeRec(std::unique_ptr<FShapeRec> record);
    int NumFillBits() const { return m_fillBits; }
    int NumLineBits() const { return m_lineBits; }
    std::uint32_t FillStyleCount() const { return m_fillStyles->Size(); }
    void WriteToSWFStream(FSWFStream* stream);

private:
    std::unique_ptr<FFillStyleArray> m_fillStyles;
    std::unique_ptr<FLineStyleArray> m_lineStyles;
    int m_fillBits;
    int m_lineBits;
    int m_currentFillBits;
    int m_currentLineBits;
    std::vector<std::unique_ptr<FShapeRec>> m_records;
};

// DefineShape (tag 2). Call order: AddFillStyle any number of times, then
// FinishStyleArrays once, then AddShapeRec for every record (the last an
// FShapeRecEnd). A violation stops the program with an assertion. With 255
// or more fill styles the tag is written as DefineShape2 (tag 22), the first
// version whose fill style count may be extended.
class FDTDefineShape : public FDT {
public:
    explicit FDTDefineShape(std::unique_ptr<FRect> bounds);

    std::uint32_t AddFillStyle(std::unique_ptr<FFillStyle> style);
    void FinishStyleArrays();
    void AddShapeRec(std::unique_ptr<FShapeRec> record);

    void WriteToSWFStream(FSWFStream* stream) override;
    std::uint16_t ID() const override { return m_characterID; }

private:
    std::uint16_t m_characterID;
    std::unique_ptr<FRect> m_bounds;
    std::unique_ptr<FShapeWStyle> m_shapeWithStyle;
    std::unique_ptr<FFillStyleArray> m_fillStyles;
    std::unique_ptr<FLineStyleArray> m_lineStyles;
    bool m_styleArraysFinished = false;
};

// DefineMorphShape (tag 46): one shape morphing from its start edges to its
// end edges. Same call order as FDTDefineShape; the start and end edge lists
// must match record for record in kind.
class FDTDefineMorphShape : public FDT {
public:
    FDTDefineMorphShape(std::unique_ptr<FRect> startBounds, std::unique_ptr<FRect> endBounds);

    std::uint32_t AddFillStyle(std::unique_ptr<FMorphFillStyle> style);
    void FinishStyleArrays();
    void AddStartShapeRec(std::unique_ptr<FShapeRec> record);
    void AddEndShapeRec(std::unique_ptr<FShapeRec> record);
    const FShape& StartEdges() const { return m_startEdges; }
    const FShape& EndEdges() const { return m_endEdges; }

    void WriteToSWFStream(FSWFStream* stream) override;
    std::uint16_t ID() const override { return m_characterID; }

private:
    std::uint16_t m_characterID;
    std::unique_ptr<FRect> m_startBounds;
    std::unique_ptr<FRect> m_endBounds;
    FShape m_startEdges;
    FShape m_endEdges;
    std::unique_ptr<FFillStyleArray> m_fillStyles;
    std::unique_ptr<FLineStyleArray> m_lineStyles;
    int m_fillBits = 0;
    int m_lineBits = 0;
    bool m_styleArraysFinished = false;
};
