#include "core/object_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Thing {
    uintptr_t handle;
    int32_t value;
};

ObjectTable* gTable = nullptr;
std::vector<int32_t> gDisposed;

// Behaves like a module's close operation: records the call and frees the number.
void DisposeThing(int32_t number) {
    gDisposed.push_back(number);
    ObjectTable::Free(gTable, number);
}

class ObjectTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        gDisposed.clear();
        gTable = ObjectTable::Create(sizeof(Thing), 16, DisposeThing);
        ASSERT_NE(gTable, nullptr);
    }
    void TearDown() override {
        ObjectTable::Destroy(gTable);
        gTable = nullptr;
    }
    Thing* Open(int32_t number, uintptr_t handle, int32_t* id = nullptr) {
        auto* thing = static_cast<Thing*>(ObjectTable::Obtain(gTable, number, id));
        if (thing) thing->handle = handle;
        return thing;
    }
};

TEST_F(ObjectTableTest, NumberBeyondSlotsGrowsByNumberPlusStep) {
    EXPECT_EQ(gTable->slotCount, 16);
    ASSERT_NE(Open(20, 7), nullptr);
    EXPECT_EQ(gTable->slotCount, 36);
    EXPECT_NE(ObjectTable::Lookup(gTable, 20), nullptr);
    // A number inside the grown table does not grow it again.
    ASSERT_NE(Open(35, 8), nullptr);
    EXPECT_EQ(gTable->slotCount, 36);
}

TEST_F(ObjectTableTest, ObtainingLiveNumberDisposesFirstAndReusesClearedRecord) {
    Thing* first = Open(3, 11);
    first->value = 42;
    auto* second = static_cast<Thing*>(ObjectTable::Obtain(gTable, 3, nullptr));
    EXPECT_EQ(gDisposed, std::vector<int32_t>{3});
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->handle, 0u);
    EXPECT_EQ(second->value, 0);

    // A record that is not live is reused without disposing anything.
    gDisposed.clear();
    EXPECT_EQ(ObjectTable::Obtain(gTable, 3, nullptr), first);
    EXPECT_TRUE(gDisposed.empty());
}

TEST_F(ObjectTableTest, LookupGivesOnlyLiveObjects) {
    EXPECT_EQ(ObjectTable::Lookup(gTable, 0), nullptr);    // never obtained
    EXPECT_EQ(ObjectTable::Lookup(gTable, 500), nullptr);  // beyond the slots
    EXPECT_EQ(ObjectTable::Lookup(gTable, -1), nullptr);
    EXPECT_EQ(ObjectTable::Lookup(gTable, -2), nullptr);   // no unnumbered object yet
    EXPECT_EQ(ObjectTable::Lookup(gTable, -7), nullptr);
    EXPECT_EQ(ObjectTable::Lookup(gTable, INT32_MIN), nullptr);
    EXPECT_EQ(ObjectTable::Obtain(gTable, -5, nullptr), nullptr);

    ObjectTable::Obtain(gTable, 2, nullptr);  // obtained, but creation never set a handle
    EXPECT_EQ(ObjectTable::Lookup(gTable, 2), nullptr);
    EXPECT_NE(ObjectTable::Record(gTable, 2), nullptr);
}

TEST_F(ObjectTableTest, FreeingNumberedObjectKeepsClearedRecord) {
    Thing* thing = Open(1, 99);
    thing->value = 5;
    ObjectTable::Free(gTable, 1);
    EXPECT_EQ(ObjectTable::Lookup(gTable, 1), nullptr);
    ASSERT_EQ(ObjectTable::Record(gTable, 1), thing);
    EXPECT_EQ(thing->handle, 0u);
    EXPECT_EQ(thing->value, 0);
    EXPECT_EQ(Open(1, 100), thing);
    EXPECT_TRUE(gDisposed.empty());
}

TEST_F(ObjectTableTest, UnnumberedObjectsGetCountedIdentifiersAndAreReleased) {
    int32_t a = 0, b = 0;
    Thing* first = Open(ObjectTable::NewUnnumbered, 1, &a);
    Thing* second = Open(ObjectTable::NewUnnumbered, 2, &b);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(a, -2);
    EXPECT_EQ(b, -3);
    EXPECT_EQ(ObjectTable::Lookup(gTable, a), first);
    EXPECT_EQ(ObjectTable::Lookup(gTable, b), second);

    ObjectTable::Free(gTable, a);
    EXPECT_EQ(ObjectTable::Lookup(gTable, a), nullptr);
    EXPECT_EQ(ObjectTable::Record(gTable, a), nullptr);
    EXPECT_EQ(ObjectTable::Lookup(gTable, b), second);
    ObjectTable::Free(gTable, a);  // twice is harmless

    // Identifiers are not reused while the counter has room.
    int32_t c = 0;
    Open(ObjectTable::NewUnnumbered, 3, &c);
    EXPECT_EQ(c, -4);
}

TEST_F(ObjectTableTest, FreeAllDisposesNumberedAscendingThenUnnumberedOldestFirst) {
    int32_t a = 0, b = 0, c = 0;
    Open(ObjectTable::NewUnnumbered, 1, &a);
    Open(9, 1);
    Open(ObjectTable::NewUnnumbered, 1, &b);
    Open(0, 1);
    Open(20, 1);
    ObjectTable::Obtain(gTable, 4, nullptr);  // not live: not disposed
    Open(ObjectTable::NewUnnumbered, 1, &c);

    ObjectTable::FreeAll(gTable);
    EXPECT_EQ(gDisposed, (std::vector<int32_t>{0, 9, 20, a, b, c}));
    EXPECT_EQ(gTable->unnumberedHead, nullptr);
    EXPECT_EQ(gTable->unnumberedTail, nullptr);
    EXPECT_EQ(ObjectTable::Lookup(gTable, 9), nullptr);

    // The table stays usable.
    EXPECT_NE(Open(9, 3), nullptr);
}

TEST(ObjectTable, DestroyReleasesObjectsWithoutDisposeAndIgnoresNull) {
    ObjectTable::Destroy(nullptr);
    ObjectTable* table = ObjectTable::Create(sizeof(Thing), 4, nullptr);
    ASSERT_NE(table, nullptr);
    int32_t id = 0;
    static_cast<Thing*>(ObjectTable::Obtain(table, ObjectTable::NewUnnumbered, &id))->handle = 1;
    static_cast<Thing*>(ObjectTable::Obtain(table, 2, nullptr))->handle = 1;
    ObjectTable::Destroy(table);  // ASan reports anything left behind
}

}  // namespace
