#pragma once

#include "FObj.h"

#include <cstddef>
#include <cstdint>

class FSWFStream;

// DefineBitsJPEG2 (tag 21): a complete JPEG file as a bitmap character. The
// data is referenced, not copied: the caller keeps it alive until the movie
// has been written (FObjCollection::CreateMovie has returned).
class FDTDefineBitsJPEG2 : public FDT {
public:
    FDTDefineBitsJPEG2(const unsigned char* data, std::size_t size);

    void WriteToSWFStream(FSWFStream* stream) override;
    std::uint16_t ID() const override { return m_characterID; }

private:
    std::uint16_t m_characterID;
    std::size_t m_size;
    const unsigned char* m_data;
};
