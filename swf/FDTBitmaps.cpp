#include "FDTBitmaps.h"

#include "FSWFStream.h"

FDTDefineBitsJPEG2::FDTDefineBitsJPEG2(const unsigned char* data, std::size_t size)
    : m_characterID(NextCharacterID()), m_size(data ? size : 0), m_data(data) {}

void FDTDefineBitsJPEG2::WriteToSWFStream(FSWFStream* stream) {
    FSWFStream body;
    body.WriteWord(m_characterID);
    // An empty encoding-table segment (end and start of image markers) ahead of
    // the image itself, and an end marker behind it, the layout players expect.
    body.WriteByte(0xFF);
    body.WriteByte(0xD9);
    body.WriteByte(0xFF);
    body.WriteByte(0xD8);
    body.WriteLargeData(m_data, m_size);
    body.WriteByte(0xFF);
    body.WriteByte(0xD9);
    stream->AppendTag(swf::DefineBitsJPEG2, body.Size(), &body);
}
