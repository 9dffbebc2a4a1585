#include "FCT.h"

#include "FSWFStream.h"

FCTPlaceObject2::FCTPlaceObject2(bool hasClipDepth, bool hasRatio, bool hasCharacter, bool move,
                                 std::uint16_t depth, std::uint16_t characterID,
                                 std::unique_ptr<FMatrix> matrix,
                                 std::unique_ptr<FACXForm> colorTransform, std::uint16_t ratio,
                                 std::unique_ptr<FString> name, std::uint16_t clipDepth)
    : m_hasClipDepth(hasClipDepth), m_hasRatio(hasRatio), m_hasCharacter(hasCharacter),
      m_move(move), m_depth(depth), m_characterID(characterID), m_matrix(std::move(matrix)),
      m_colorTransform(std::move(colorTransform)), m_ratio(ratio), m_name(std::move(name)),
      m_clipDepth(clipDepth) {}

void FCTPlaceObject2::WriteToSWFStream(FSWFStream* stream) {
    // One scratch body per thread: these tags come by the hundred thousand.
    thread_local FSWFStream body;
    body.Clear();
    body.WriteBits(0, 1); // no clip actions
    body.WriteBits(m_hasClipDepth, 1);
    body.WriteBits(m_name != nullptr, 1);
    body.WriteBits(m_hasRatio, 1);
    body.WriteBits(m_colorTransform != nullptr, 1);
    body.WriteBits(m_matrix != nullptr, 1);
    body.WriteBits(m_hasCharacter, 1);
    body.WriteBits(m_move, 1);
    body.WriteWord(m_depth);
    if (m_hasCharacter) body.WriteWord(m_characterID);
    if (m_matrix) m_matrix->WriteToSWFStream(&body);
    if (m_colorTransform) m_colorTransform->WriteWithAlphaToSWFStream(&body);
    if (m_hasRatio) body.WriteWord(m_ratio);
    if (m_name) m_name->WriteToSWFStream(&body, true);
    if (m_hasClipDepth) body.WriteWord(m_clipDepth);
    stream->AppendTag(swf::PlaceObject2, body.Size(), &body);
}

void FCTRemoveObject2::WriteToSWFStream(FSWFStream* stream) {
    // One scratch body per thread: these tags come by the hundred thousand.
    thread_local FSWFStream body;
    body.Clear();
    body.WriteWord(m_depth);
    stream->AppendTag(swf::RemoveObject2, body.Size(), &body);
}

void FCTShowFrame::WriteToSWFStream(FSWFStream* stream) {
    stream->AppendTag(swf::ShowFrame, 0, nullptr);
}

FCTSetBackgroundColor::FCTSetBackgroundColor(std::unique_ptr<FColor> color)
    : m_color(color ? std::move(color) : std::make_unique<FColor>(255, 255, 255)) {
    m_color->SetAlphaChannel(false);
}

void FCTSetBackgroundColor::WriteToSWFStream(FSWFStream* stream) {
    // One scratch body per thread: these tags come by the hundred thousand.
    thread_local FSWFStream body;
    body.Clear();
    m_color->WriteToSWFStream(&body);
    stream->AppendTag(swf::SetBackgroundColor, body.Size(), &body);
}
