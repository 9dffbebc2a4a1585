#include "editor/model/TDynaArray.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// A block of many items (a project of a million elements takes over a
// gigabyte) is mapped in large pages where the system offers them: far
// fewer page faults while it is first written.
void adviseLargePages(uint8_t* block, size_t bytes) {
    constexpr size_t kLargePage = size_t(2) << 20;
    if (bytes < 2 * kLargePage) return;
    const auto page = static_cast<uintptr_t>(4096);
    const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
#ifdef MADV_HUGEPAGE
    (void)::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)start;
    (void)end;
#endif
}

} // namespace

TDynaArray::TDynaArray(int32_t itemSize, void** currentVar)
    : ItemSize(itemSize), CurrentVar(currentVar) {
    if (CurrentVar) *CurrentVar = nullptr;
}

TDynaArray::~TDynaArray() {
    std::free(Block);
    Block = nullptr;
    Current = nullptr;
    CurIndex = -1;
    if (CurrentVar) *CurrentVar = nullptr;
}

void TDynaArray::setCurrent(int32_t index) {
    CurIndex = index;
    Current = index >= 0 ? Block + static_cast<int64_t>(index) * ItemSize : nullptr;
    if (CurrentVar) *CurrentVar = Current;
}

void* TDynaArray::GetItem(int32_t i) {
    setCurrent(i);
    return Current;
}

// Bytes of the whole steps that hold `count` items (one step for none).
static int32_t stepBytes(int32_t count, int32_t step, int32_t itemSize) {
    return step * ((count - 1) / step + 1) * itemSize;
}

void TDynaArray::growTo(int32_t bytes) {
    // A fresh block from calloc is zero already (a large one straight from
    // the system, without being written), so that adding items into it
    // writes each page once, when the item's fields are set.
    auto* grown = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1));
    if (!grown) std::abort(); // out of memory: nothing sensible can go on
    adviseLargePages(grown, static_cast<size_t>(bytes));
    // The items the old block holds (an Add has counted its new item already).
    const size_t used = std::min(static_cast<size_t>(Count) * static_cast<size_t>(ItemSize),
                                 static_cast<size_t>(Capacity));
    if (Block && used > 0) std::memcpy(grown, Block, used);
    std::free(Block);
    Block = grown;
    Capacity = bytes;
    m_zeroFrom = static_cast<int64_t>(used);
}

// The block always holds a whole number of steps: one step also when the
// array is empty, except that an empty array after a delete releases nothing
// until the wanted size differs. Adding only grows it (room reserved stays);
// deleting shrinks it to the steps its items need.
void TDynaArray::resizeBlock(bool mayShrink) {
    const int32_t wanted = stepBytes(Count, Step, ItemSize);
    if (wanted == Capacity || (wanted < Capacity && !mayShrink)) return;
    if (wanted > Capacity) {
        growTo(wanted);
    } else if (Count > 0) {
        auto* shrunk = static_cast<uint8_t*>(std::realloc(Block, static_cast<size_t>(wanted)));
        if (shrunk)
            Block = shrunk; // a failed shrink keeps the larger block, which still fits
        else
            return;
        Capacity = wanted;
        m_zeroFrom = std::min<int64_t>(m_zeroFrom, Capacity);
    } else {
        std::free(Block);
        Block = nullptr;
        Capacity = wanted;
        m_zeroFrom = 0;
    }
}

void TDynaArray::Reserve(int32_t count) {
    if (count <= 0) return;
    const int32_t wanted = stepBytes(count, Step, ItemSize);
    if (wanted > Capacity) {
        const int32_t index = CurIndex;
        growTo(wanted);
        setCurrent(index); // the block moved
    }
}

void* TDynaArray::Add() {
    ++Count;
    resizeBlock(false);
    const int64_t at = static_cast<int64_t>(Count - 1) * ItemSize;
    if (at < m_zeroFrom) std::memset(Block + at, 0, static_cast<size_t>(ItemSize));
    m_zeroFrom = std::max(m_zeroFrom, at + ItemSize);
    setCurrent(Count - 1);
    return Current;
}

void TDynaArray::Delete(int32_t i) {
    if (i < 0 || i > Count - 1) return;
    --Count;
    uint8_t* item = Block + static_cast<int64_t>(i) * ItemSize;
    std::memmove(item, item + ItemSize, static_cast<size_t>(Count - i) * ItemSize);
    resizeBlock(true);
    setCurrent(-1);
}

void TDynaArray::Clear() {
    Count = 0;
    std::free(Block);
    Block = nullptr;
    Capacity = 0;
    m_zeroFrom = 0;
    setCurrent(-1);
}

void TDynaArray::Swap(int32_t a, int32_t b) {
    if (a < 0 || a > Count - 1 || b < 0 || b > Count - 1) return;
    if (a != b) {
        auto* temp = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(ItemSize)));
        if (!temp) std::abort();
        uint8_t* pa = Block + static_cast<int64_t>(a) * ItemSize;
        uint8_t* pb = Block + static_cast<int64_t>(b) * ItemSize;
        std::memcpy(temp, pa, static_cast<size_t>(ItemSize));
        std::memcpy(pa, pb, static_cast<size_t>(ItemSize));
        std::memcpy(pb, temp, static_cast<size_t>(ItemSize));
        std::free(temp);
    }
    setCurrent(b);
}

void TDynaArray::First() {
    if (Count > 0) setCurrent(0);
}

bool TDynaArray::Next() {
    if (Count < 1 || CurIndex < 0 || CurIndex > Count - 1) return false;
    setCurrent(CurIndex);
    ++CurIndex;
    return true;
}
