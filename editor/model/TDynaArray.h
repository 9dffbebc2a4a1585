#pragma once
// A growable array of fixed-size plain items in one contiguous block, grown and
// shrunk in steps of 100 items. It keeps a current item and mirrors its
// address into an outside pointer variable, so that code can work on "the
// current element" through that variable. Items are raw bytes: the array never
// runs constructors or destructors, so whatever an item owns must be released
// by the caller before the item is deleted or the array cleared. Item
// addresses stay valid only until the next Add, Delete or Clear.

#include <cstdint>

class TDynaArray {
public:
    // currentVar may be null; otherwise it always holds the current item's
    // address (or null when there is none).
    TDynaArray(int32_t itemSize, void** currentVar);
    ~TDynaArray();
    TDynaArray(const TDynaArray&) = delete;
    TDynaArray& operator=(const TDynaArray&) = delete;

    // Makes item i current and returns it. The caller passes 0 <= i < Count.
    void* GetItem(int32_t i);
    void Select(int32_t i) { GetItem(i); }
    // Appends a zero-filled item, makes it current and returns it.
    void* Add();
    // Makes room for `count` items in one block (whole steps), so that adding
    // up to that many copies nothing; a loader that knows its count calls it
    // once. Never shrinks.
    void Reserve(int32_t count);
    // Removes item i (ignored unless 0 <= i < Count); afterwards nothing is current.
    void Delete(int32_t i);
    void Clear();
    // Exchanges items a and b (ignored unless both are in range); b becomes current.
    void Swap(int32_t a, int32_t b);
    // First() then `while (Next())` visits every item once; inside the loop the
    // visited item is current and its index is CurIndex - 1.
    void First();
    bool Next();

    int32_t Count = 0;
    int32_t CurIndex = -1;
    int32_t Capacity = 0; // size of Block in bytes
    int32_t Step = 100;
    int32_t ItemSize;
    void* Current = nullptr;
    uint8_t* Block = nullptr;

private:
    void setCurrent(int32_t index);
    void resizeBlock(bool mayShrink);
    void growTo(int32_t bytes);

    void** CurrentVar;
    // Bytes of the block from here on are known to be zero (never written
    // since the block was made): an item added there needs no clearing.
    int64_t m_zeroFrom = 0;
};
