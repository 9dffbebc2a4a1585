#include "FDTShapes.h"

#include "FAssert.h"
#include "FSWFStream.h"

#include <algorithm>

namespace {
// Index field width for a number of styles: 0 styles 0 bits, 1 style 1 bit,
// 2 or 3 styles 2 bits, and so on.
int IndexBits(std::uint32_t styleCount) {
    return MinBits(styleCount, 0);
}

// Edge deltas whose width fits the 4-bit (width - 2) field: at most 17 bits.
constexpr int kMaxEdgeWidth = 17;

std::int32_t ClampEdge(std::int32_t v) {
    return ClampToSignedWidth(v, kMaxEdgeWidth);
}

void WriteSigned(FSWFStream* stream, std::int32_t value, int bits) {
    stream->WriteBits(static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(bits));
}

// Hands a record the widths in force and advances them past a record that
// starts new style arrays.
void ApplyWidths(FShapeRec& record, int& fillBits, int& lineBits) {
    record.SetFillBits(fillBits);
    record.SetLineBits(lineBits);
    if (auto* change = dynamic_cast<FShapeRecChange*>(&record); change && change->HasNewStyles()) {
        fillBits = change->NewFillBits();
        lineBits = change->NewLineBits();
    }
}
} // namespace

FShapeRecChange::FShapeRecChange(bool stateNewStyles, bool stateLineStyle, bool stateFillStyle1,
                                 bool stateFillStyle0, bool stateMoveTo, std::int32_t moveDeltaX,
                                 std::int32_t moveDeltaY, std::uint32_t fillStyle0,
                                 std::uint32_t fillStyle1, std::uint32_t lineStyle,
                                 std::unique_ptr<FFillStyleArray> newFillStyles,
                                 std::unique_ptr<FLineStyleArray> newLineStyles)
    : m_stateNewStyles(stateNewStyles), m_stateLineStyle(stateLineStyle),
      m_stateFillStyle0(stateFillStyle0), m_stateFillStyle1(stateFillStyle1),
      m_stateMoveTo(stateMoveTo), m_moveDeltaX(ClampToSignedWidth(moveDeltaX, kMaxWidth5)),
      m_moveDeltaY(ClampToSignedWidth(moveDeltaY, kMaxWidth5)), m_fillStyle0(fillStyle0),
      m_fillStyle1(fillStyle1), m_lineStyle(lineStyle), m_newFillStyles(std::move(newFillStyles)),
      m_newLineStyles(std::move(newLineStyles)) {
    m_moveBits = MinBits(MaxAbs(m_moveDeltaX, m_moveDeltaY, 0, 0), 1);
    if (m_stateNewStyles) {
        if (!m_newFillStyles) m_newFillStyles = std::make_unique<FFillStyleArray>();
        if (!m_newLineStyles) m_newLineStyles = std::make_unique<FLineStyleArray>();
    }
}

FShapeRecChange::~FShapeRecChange() = default;

int FShapeRecChange::NewFillBits() const {
    return m_newFillStyles ? IndexBits(m_newFillStyles->Size()) : m_fillBits;
}

int FShapeRecChange::NewLineBits() const {
    return m_newLineStyles ? IndexBits(m_newLineStyles->Size()) : m_lineBits;
}

void FShapeRecChange::WriteToSWFStream(FSWFStream* stream) {
    stream->WriteBits(0, 1); // type: non-edge record
    stream->WriteBits(m_stateNewStyles, 1);
    stream->WriteBits(m_stateLineStyle, 1);
    stream->WriteBits(m_stateFillStyle1, 1);
    stream->WriteBits(m_stateFillStyle0, 1);
    stream->WriteBits(m_stateMoveTo, 1);
    if (m_stateMoveTo) {
        stream->WriteBits(static_cast<std::uint32_t>(m_moveBits), 5);
        WriteSigned(stream, m_moveDeltaX, m_moveBits);
        WriteSigned(stream, m_moveDeltaY, m_moveBits);
    }
    if (m_stateFillStyle0) stream->WriteBits(m_fillStyle0, static_cast<std::uint32_t>(m_fillBits));
    if (m_stateFillStyle1) stream->WriteBits(m_fillStyle1, static_cast<std::uint32_t>(m_fillBits));
    if (m_stateLineStyle) stream->WriteBits(m_lineStyle, static_cast<std::uint32_t>(m_lineBits));
    if (m_stateNewStyles) {
        // The new arrays are byte-aligned structures, followed by the index
        // widths that the records after this one use.
        stream->FlushBits();
        m_newFillStyles->WriteToSWFStream(stream);
        m_newLineStyles->WriteToSWFStream(stream);
        stream->WriteBits(static_cast<std::uint32_t>(NewFillBits()), 4);
        stream->WriteBits(static_cast<std::uint32_t>(NewLineBits()), 4);
    }
}

FShapeRecEdgeStraight::FShapeRecEdgeStraight(std::int32_t deltaX, std::int32_t deltaY)
    : m_deltaX(ClampEdge(deltaX)), m_deltaY(ClampEdge(deltaY)) {
    m_generalLineFlag = m_deltaX != 0 && m_deltaY != 0;
    m_vertLineFlag = m_deltaX == 0;
    std::uint32_t magnitude;
    if (m_generalLineFlag)
        magnitude = MaxAbs(m_deltaX, m_deltaY, 0, 0);
    else if (m_vertLineFlag)
        magnitude = MaxAbs(m_deltaY, 0, 0, 0);
    else
        magnitude = MaxAbs(m_deltaX, 0, 0, 0);
    m_numBits = std::max(2, MinBits(magnitude, 1));
}

void FShapeRecEdgeStraight::WriteToSWFStream(FSWFStream* stream) {
    stream->WriteBits(1, 1); // edge record
    stream->WriteBits(1, 1); // straight
    stream->WriteBits(static_cast<std::uint32_t>(m_numBits - 2), 4);
    stream->WriteBits(m_generalLineFlag, 1);
    if (m_generalLineFlag) {
        WriteSigned(stream, m_deltaX, m_numBits);
        WriteSigned(stream, m_deltaY, m_numBits);
    } else {
        stream->WriteBits(m_vertLineFlag, 1);
        WriteSigned(stream, m_vertLineFlag ? m_deltaY : m_deltaX, m_numBits);
    }
}

FShapeRecEdgeCurved::FShapeRecEdgeCurved(std::int32_t controlDeltaX, std::int32_t controlDeltaY,
                                         std::int32_t anchorDeltaX, std::int32_t anchorDeltaY)
    : m_controlDeltaX(ClampEdge(controlDeltaX)), m_controlDeltaY(ClampEdge(controlDeltaY)),
      m_anchorDeltaX(ClampEdge(anchorDeltaX)), m_anchorDeltaY(ClampEdge(anchorDeltaY)) {
    m_numBits = std::max(
        2, MinBits(MaxAbs(m_controlDeltaX, m_controlDeltaY, m_anchorDeltaX, m_anchorDeltaY), 1));
}

void FShapeRecEdgeCurved::WriteToSWFStream(FSWFStream* stream) {
    stream->WriteBits(1, 1); // edge record
    stream->WriteBits(0, 1); // curved
    stream->WriteBits(static_cast<std::uint32_t>(m_numBits - 2), 4);
    WriteSigned(stream, m_controlDeltaX, m_numBits);
    WriteSigned(stream, m_controlDeltaY, m_numBits);
    WriteSigned(stream, m_anchorDeltaX, m_numBits);
    WriteSigned(stream, m_anchorDeltaY, m_numBits);
}

void FShapeRecEnd::WriteToSWFStream(FSWFStream* stream) {
    stream->WriteBits(0, 6); // type 0 and five clear state flags
    stream->FlushBits();
}

void FShape::AddShapeRec(std::unique_ptr<FShapeRec> record) {
    if (record) m_records.push_back(std::move(record));
}

void FShape::WriteToSWFStream(FSWFStream* stream) {
    stream->WriteBits(static_cast<std::uint32_t>(m_fillBits), 4);
    stream->WriteBits(static_cast<std::uint32_t>(m_lineBits), 4);
    int fillBits = m_fillBits;
    int lineBits = m_lineBits;
    for (auto& record : m_records) {
        ApplyWidths(*record, fillBits, lineBits);
        record->WriteToSWFStream(stream);
    }
}

FFillStyleBitmap::FFillStyleBitmap(bool tiled, std::uint16_t bitmapID,
                                   std::unique_ptr<FMatrix> matrix)
    : m_tiled(tiled), m_bitmapID(bitmapID), m_matrix(std::move(matrix)) {
    if (!m_matrix) m_matrix = std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, 0, 0);
}

void FFillStyleBitmap::WriteToSWFStream(FSWFStream* stream) {
    stream->WriteByte(m_tiled ? 0x40 : 0x41);
    stream->WriteWord(m_bitmapID);
    m_matrix->WriteToSWFStream(stream);
}

FMorphFillStyleSolid::FMorphFillStyleSolid(std::unique_ptr<FColor> startColor,
                                           std::unique_ptr<FColor> endColor)
    : m_startColor(std::move(startColor)), m_endColor(std::move(endColor)) {
    if (!m_startColor) m_startColor = std::make_unique<FColor>(0, 0, 0, 255);
    if (!m_endColor) m_endColor = std::make_unique<FColor>(0, 0, 0, 255);
    m_startColor->SetAlphaChannel(true);
    m_endColor->SetAlphaChannel(true);
}

void FMorphFillStyleSolid::WriteToSWFStream(FSWFStream* stream) {
    stream->WriteByte(0x00); // solid fill
    m_startColor->WriteToSWFStream(stream);
    m_endColor->WriteToSWFStream(stream);
}

namespace {
void WriteStyleCount(FSWFStream* stream, std::uint32_t count) {
    if (count < 255) {
        stream->WriteByte(count);
    } else {
        stream->WriteByte(0xFF);
        stream->WriteWord(count);
    }
}
} // namespace

std::uint32_t FFillStyleArray::AddFillStyle(std::unique_ptr<FAFillStyle> style) {
    if (style) m_styles.push_back(std::move(style));
    return Size();
}

void FFillStyleArray::WriteToSWFStream(FSWFStream* stream) {
    WriteStyleCount(stream, Size());
    for (auto& style : m_styles)
        style->WriteToSWFStream(stream);
}

void FLineStyleArray::WriteToSWFStream(FSWFStream* stream) {
    WriteStyleCount(stream, Size());
    for (auto& style : m_styles)
        style->WriteToSWFStream(stream);
}

FShapeWStyle::FShapeWStyle(std::unique_ptr<FFillStyleArray> fillStyles,
                           std::unique_ptr<FLineStyleArray> lineStyles)
    : m_fillStyles(fillStyles ? std::move(fillStyles) : std::make_unique<FFillStyleArray>()),
      m_lineStyles(lineStyles ? std::move(lineStyles) : std::make_unique<FLineStyleArray>()) {
    m_fillBits = IndexBits(m_fillStyles->Size());
    m_lineBits = IndexBits(m_lineStyles->Size());
    m_currentFillBits = m_fillBits;
    m_currentLineBits = m_lineBits;
}

void FShapeWStyle::AddShapeRec(std::unique_ptr<FShapeRec> record) {
    if (!record) return;
    ApplyWidths(*record, m_currentFillBits, m_currentLineBits);
    m_records.push_back(std::move(record));
}

void FShapeWStyle::WriteToSWFStream(FSWFStream* stream) {
    m_fillStyles->WriteToSWFStream(stream);
    m_lineStyles->WriteToSWFStream(stream);
    stream->WriteBits(static_cast<std::uint32_t>(m_fillBits), 4);
    stream->WriteBits(static_cast<std::uint32_t>(m_lineBits), 4);
    for (auto& record : m_records)
        record->WriteToSWFStream(stream);
    stream->FlushBits();
}

FDTDefineShape::FDTDefineShape(std::unique_ptr<FRect> bounds)
    : m_characterID(NextCharacterID()),
      m_bounds(bounds ? std::move(bounds) : std::make_unique<FRect>(0, 0, 0, 0)),
      m_fillStyles(std::make_unique<FFillStyleArray>()),
      m_lineStyles(std::make_unique<FLineStyleArray>()) {}

std::uint32_t FDTDefineShape::AddFillStyle(std::unique_ptr<FFillStyle> style) {
    const bool styleArraysFinished = m_styleArraysFinished;
    F_ASSERT("FDTShapes", !styleArraysFinished);
    return m_fillStyles->AddFillStyle(std::move(style));
}

void FDTDefineShape::FinishStyleArrays() {
    const bool styleArraysFinished = m_styleArraysFinished;
    F_ASSERT("FDTShapes", !styleArraysFinished);
    m_styleArraysFinished = true;
    m_shapeWithStyle =
        std::make_unique<FShapeWStyle>(std::move(m_fillStyles), std::move(m_lineStyles));
}

void FDTDefineShape::AddShapeRec(std::unique_ptr<FShapeRec> record) {
    const bool styleArraysFinished = m_styleArraysFinished;
    F_ASSERT("FDTShapes", styleArraysFinished);
    m_shapeWithStyle->AddShapeRec(std::move(record));
}

void FDTDefineShape::WriteToSWFStream(FSWFStream* stream) {
    const bool styleArraysFinished = m_styleArraysFinished;
    F_ASSERT("FDTShapes", styleArraysFinished);
    FSWFStream body;
    body.WriteWord(m_characterID);
    m_bounds->WriteToSWFStream(&body);
    m_shapeWithStyle->WriteToSWFStream(&body);
    const swf::TagCode tagCode =
        m_shapeWithStyle->FillStyleCount() >= 255 ? swf::DefineShape2 : swf::DefineShape;
    stream->AppendTag(tagCode, body.Size(), &body);
}

FDTDefineMorphShape::FDTDefineMorphShape(std::unique_ptr<FRect> startBounds,
                                         std::unique_ptr<FRect> endBounds)
    : m_characterID(NextCharacterID()),
      m_startBounds(startBounds ? std::move(startBounds) : std::make_unique<FRect>(0, 0, 0, 0)),
      m_endBounds(endBounds ? std::move(endBounds) : std::make_unique<FRect>(0, 0, 0, 0)),
      m_fillStyles(std::make_unique<FFillStyleArray>()),
      m_lineStyles(std::make_unique<FLineStyleArray>()) {}

std::uint32_t FDTDefineMorphShape::AddFillStyle(std::unique_ptr<FMorphFillStyle> style) {
    const bool styleArraysFinished = m_styleArraysFinished;
    F_ASSERT("FDTShapes", !styleArraysFinished);
    return m_fillStyles->AddFillStyle(std::move(style));
}

void FDTDefineMorphShape::FinishStyleArrays() {
    const bool styleArraysFinished = m_styleArraysFinished;
    F_ASSERT("FDTShapes", !styleArraysFinished);
    m_styleArraysFinished = true;
    m_fillBits = IndexBits(m_fillStyles->Size());
    m_lineBits = IndexBits(m_lineStyles->Size());
    m_startEdges.SetFillBits(m_fillBits);
    m_startEdges.SetLineBits(m_lineBits);
}

void FDTDefineMorphShape::AddStartShapeRec(std::unique_ptr<FShapeRec> record) {
    const bool styleArraysFinished = m_styleArraysFinished;
    F_ASSERT("FDTShapes", styleArraysFinished);
    m_startEdges.AddShapeRec(std::move(record));
}

void FDTDefineMorphShape::AddEndShapeRec(std::unique_ptr<FShapeRec> record) {
    const bool styleArraysFinished = m_styleArraysFinished;
    F_ASSERT("FDTShapes", styleArraysFinished);
    if (!record) return;
    // The end edges carry no style selections: both widths are 0.
    record->SetFillBits(0);
    record->SetLineBits(0);
    m_endEdges.AddShapeRec(std::move(record));
}

void FDTDefineMorphShape::WriteToSWFStream(FSWFStream* stream) {
    FSWFStream body;
    body.WriteWord(m_characterID);
    m_startBounds->WriteToSWFStream(&body);
    m_endBounds->WriteToSWFStream(&body);

    FSWFStream styledEdges;
    m_fillStyles->WriteToSWFStream(&styledEdges);
    m_lineStyles->WriteToSWFStream(&styledEdges);
    m_startEdges.WriteToSWFStream(&styledEdges);
    styledEdges.FlushBits(); // a start list without end record still keeps the offset exact

    // Offset from the end of this field to the end edges.
    body.WriteDWord(static_cast<std::uint32_t>(styledEdges.Size()));
    body.Append(styledEdges);
    m_endEdges.WriteToSWFStream(&body);
    body.FlushBits();
    stream->AppendTag(swf::DefineMorphShape, body.Size(), &body);
}
