#pragma once

#include "FObj.h"
#include "FPrimitive.h"

#include <cstdint>
#include <memory>

class FSWFStream;

// PlaceObject2 (tag 26): place a character at a depth, or move, transform or
// morph (ratio 0 to 65535) the one there. Matrix, colour transform and name
// are present when not null. The colour transform is written with alpha
// terms, the form this tag needs.
class FCTPlaceObject2 : public FCT {
public:
    FCTPlaceObject2(bool hasClipDepth, bool hasRatio, bool hasCharacter, bool move,
                    std::uint16_t depth, std::uint16_t characterID, std::unique_ptr<FMatrix> matrix,
                    std::unique_ptr<FACXForm> colorTransform, std::uint16_t ratio,
                    std::unique_ptr<FString> name, std::uint16_t clipDepth);

    void WriteToSWFStream(FSWFStream* stream) override;

private:
    bool m_hasClipDepth;
    bool m_hasRatio;
    bool m_hasCharacter;
    bool m_move;
    std::uint16_t m_depth;
    std::uint16_t m_characterID;
    std::unique_ptr<FMatrix> m_matrix;
    std::unique_ptr<FACXForm> m_colorTransform;
    std::uint16_t m_ratio;
    std::unique_ptr<FString> m_name;
    std::uint16_t m_clipDepth;
};

// RemoveObject2 (tag 28): remove whatever is at a depth.
class FCTRemoveObject2 : public FCT {
public:
    explicit FCTRemoveObject2(std::uint16_t depth) : m_depth(depth) {}
    void WriteToSWFStream(FSWFStream* stream) override;

private:
    std::uint16_t m_depth;
};

// ShowFrame (tag 1): ends the current frame; what the movie counts as frames.
class FCTShowFrame : public FCT {
public:
    void WriteToSWFStream(FSWFStream* stream) override;
    bool IsShowFrame() const override { return true; }
};

// SetBackgroundColor (tag 9). The colour is always written as RGB.
class FCTSetBackgroundColor : public FCT {
public:
    explicit FCTSetBackgroundColor(std::unique_ptr<FColor> color);
    void WriteToSWFStream(FSWFStream* stream) override;

private:
    std::unique_ptr<FColor> m_color;
};
