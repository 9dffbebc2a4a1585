#include "editor/model/TDynaArray.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Item {
    int32_t a, b;
};

class DynaArrayTest : public ::testing::Test {
protected:
    Item* cur = nullptr;
    TDynaArray list{sizeof(Item), reinterpret_cast<void**>(&cur)};

    void fill(int n) {
        for (int i = 0; i < n; ++i)
            static_cast<Item*>(list.Add())->a = next++;
    }
    int32_t next = 0;
    std::vector<int32_t> values() {
        std::vector<int32_t> v;
        list.First();
        while (list.Next())
            v.push_back(cur->a);
        return v;
    }
};

TEST_F(DynaArrayTest, GrowsAndShrinksInStepsOfHundredItems) {
    fill(1);
    EXPECT_EQ(list.Capacity, 100 * 8);
    fill(99);
    EXPECT_EQ(list.Capacity, 100 * 8);
    fill(1); // the 101st item moves everything into a 200-item block
    EXPECT_EQ(list.Capacity, 200 * 8);
    EXPECT_EQ(list.Count, 101);
    EXPECT_EQ(static_cast<Item*>(list.GetItem(99))->a, 99);
    list.Delete(100);
    EXPECT_EQ(list.Capacity, 100 * 8);
    while (list.Count > 0)
        list.Delete(0);
    EXPECT_EQ(list.Capacity, 100 * 8); // the last delete keeps the one-step block
    EXPECT_NE(list.Block, nullptr);
    list.Clear();
    EXPECT_EQ(list.Capacity, 0);
    EXPECT_EQ(list.Block, nullptr);
}

// A loader reserves its count once: the items already there move into one
// block of whole steps, the current item follows them, and adding up to the
// reserved count moves nothing again.
TEST_F(DynaArrayTest, ReserveMakesRoomOnceForAKnownCount) {
    fill(150);
    list.GetItem(120);
    list.Reserve(250);
    EXPECT_EQ(list.Capacity, 300 * 8);
    EXPECT_EQ(cur->a, 120);
    const uint8_t* block = list.Block;
    fill(150);
    EXPECT_EQ(list.Block, block);
    EXPECT_EQ(list.Capacity, 300 * 8);
    EXPECT_EQ(static_cast<Item*>(list.GetItem(0))->a, 0);
    EXPECT_EQ(static_cast<Item*>(list.GetItem(299))->a, 299);
    list.Reserve(10); // never shrinks
    EXPECT_EQ(list.Capacity, 300 * 8);
}

TEST_F(DynaArrayTest, AddZeroFillsAndMakesTheNewItemCurrent) {
    fill(3);
    list.GetItem(2);
    cur->b = 77;
    list.Delete(2);
    Item* added = static_cast<Item*>(list.Add());
    EXPECT_EQ(added, cur);
    EXPECT_EQ(list.CurIndex, 2);
    EXPECT_EQ(added->a, 0);
    EXPECT_EQ(added->b, 0);
    // Items written, then deleted down into a smaller block: the slots they
    // left are cleared again when reused, in the shrunk block and a grown one.
    fill(147);
    for (int32_t i = 0; i < list.Count; ++i)
        static_cast<Item*>(list.GetItem(i))->b = 5;
    while (list.Count > 90)
        list.Delete(list.Count - 1);
    EXPECT_EQ(list.Capacity, 100 * 8);
    for (int i = 0; i < 20; ++i) {
        const Item* more = static_cast<Item*>(list.Add());
        EXPECT_EQ(more->a, 0) << i;
        EXPECT_EQ(more->b, 0) << i;
    }
}

TEST_F(DynaArrayTest, DeleteOutOfRangeChangesNothingAndValidDeleteClearsCurrent) {
    fill(3);
    list.Select(1);
    list.Delete(3);
    list.Delete(-1);
    EXPECT_EQ(list.Count, 3);
    EXPECT_EQ(cur, list.GetItem(1));
    list.Delete(0);
    EXPECT_EQ(list.Count, 2);
    EXPECT_EQ(cur, nullptr);
    EXPECT_EQ(list.Current, nullptr);
    EXPECT_EQ(list.CurIndex, -1);
    EXPECT_EQ(values(), (std::vector<int32_t>{1, 2}));
}

TEST_F(DynaArrayTest, SwapExchangesItemsAndLeavesTheSecondCurrent) {
    fill(3);
    list.Swap(0, 2);
    EXPECT_EQ(static_cast<void*>(cur), list.Block + 2 * sizeof(Item));
    EXPECT_EQ(list.CurIndex, 2);
    EXPECT_EQ(values(), (std::vector<int32_t>{2, 1, 0}));
    list.Swap(1, 1);
    EXPECT_EQ(list.CurIndex, 1);
    EXPECT_EQ(values(), (std::vector<int32_t>{2, 1, 0}));
    list.Select(0);
    list.Swap(1, 3); // out of range: nothing, not even the current item changes
    EXPECT_EQ(list.CurIndex, 0);
    EXPECT_EQ(values(), (std::vector<int32_t>{2, 1, 0}));
}

TEST_F(DynaArrayTest, IterationVisitsEveryItemOnceAndNothingWhenEmpty) {
    list.First();
    EXPECT_FALSE(list.Next());
    EXPECT_TRUE(values().empty());
    fill(3);
    list.First();
    int steps = 0;
    while (list.Next()) {
        EXPECT_EQ(cur->a, list.CurIndex - 1);
        ++steps;
    }
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(list.CurIndex, 3);
    EXPECT_FALSE(list.Next());
}

} // namespace
