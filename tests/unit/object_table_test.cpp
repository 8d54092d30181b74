#include "support/memory/object_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Thing { uintptr_t handle; int32_t value; };  // a module's record: live while it holds a handle

ObjectTable* gTable = nullptr;
std::vector<int32_t> gDisposed;

class ObjectTableTest : public ::testing::Test {
protected:
    // Dispose behaves like a module's close operation: it records the call and frees the number.
    void SetUp() override {
        gDisposed.clear();
        gTable = ObjectTable::Create(sizeof(Thing), 16, [](int32_t n) { gDisposed.push_back(n); ObjectTable::Free(gTable, n); });
    }
    void TearDown() override { ObjectTable::Destroy(gTable); }  // ASan reports anything left behind
    Thing* Open(int32_t number, int32_t* id = nullptr) {
        auto* thing = static_cast<Thing*>(ObjectTable::Obtain(gTable, number, id));
        if (thing) *thing = {1, 42};
        return thing;
    }
};

TEST_F(ObjectTableTest, ObtainingALiveNumberDisposesItFirstAndReusesTheClearedRecord) {
    Thing* first = Open(3);
    auto* again = static_cast<Thing*>(ObjectTable::Obtain(gTable, 3, nullptr));
    EXPECT_EQ(gDisposed, std::vector<int32_t>{3});
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->value, 0);
    // Not live (never given a handle): reused without disposing, and invisible to Lookup.
    EXPECT_EQ(ObjectTable::Obtain(gTable, 3, nullptr), first);
    EXPECT_EQ(gDisposed.size(), 1u);
    for (int32_t none : {3, 0, 500, -1, -2, INT32_MIN}) EXPECT_EQ(ObjectTable::Lookup(gTable, none), nullptr) << none;
    EXPECT_EQ(ObjectTable::Obtain(gTable, -5, nullptr), nullptr);
}

TEST_F(ObjectTableTest, GrowthUnnumberedIdentifiersAndFreeAllOrder) {
    int32_t a = 0, b = 0, c = 0;
    Open(ObjectTable::NewUnnumbered, &a);
    Open(20);
    EXPECT_EQ(gTable->slotCount, 36);  // a number beyond the 16 slots grows them by number + step
    Thing* second = Open(ObjectTable::NewUnnumbered, &b);
    Open(0);
    ObjectTable::Obtain(gTable, 4, nullptr);  // not live: not disposed
    ObjectTable::Free(gTable, a);
    ObjectTable::Free(gTable, a);  // twice is harmless
    EXPECT_EQ(ObjectTable::Lookup(gTable, b), second);
    Open(ObjectTable::NewUnnumbered, &c);
    EXPECT_EQ(std::vector<int32_t>({a, b, c}), std::vector<int32_t>({-2, -3, -4}));  // not reused while the counter has room
    Open(ObjectTable::NewUnnumbered, &a);
    ObjectTable::FreeAll(gTable);
    EXPECT_EQ(gDisposed, (std::vector<int32_t>{0, 20, b, c, a}));
    EXPECT_NE(Open(35), nullptr);  // the table stays usable
    EXPECT_EQ(gTable->slotCount, 36);
}

}  // namespace
