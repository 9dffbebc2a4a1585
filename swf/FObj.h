#pragma once

#include <cstdint>

class FSWFStream;

// Root of every tag a movie (FObjCollection) can hold.
class FObj {
public:
    virtual ~FObj() = default;
    // Appends the object's complete tag (header and body) to the stream.
    virtual void WriteToSWFStream(FSWFStream* stream) = 0;
    virtual bool IsShowFrame() const { return false; }
};

// Base of definition tags. Each concrete one draws its character ID from
// NextCharacterID() when constructed.
class FDT : public FObj {
public:
    void WriteToSWFStream(FSWFStream*) override {}
    virtual std::uint16_t ID() const { return 0; }
};

// Base of control tags.
class FCT : public FObj {
public:
    void WriteToSWFStream(FSWFStream*) override {}
};

// The character-ID counter, one per thread: returns the next ID (the first of a
// movie is 1). FObjCollection sets it back after writing a movie.
std::uint16_t NextCharacterID();
void ResetCharacterID();
