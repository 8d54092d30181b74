#include "support/text/string_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/block_pool.h"
#include "support/text/random_source.h"

namespace {

StringList* ListOf(std::initializer_list<const char*> texts) {
    StringList* list = StringList::New();
    for (const char* text : texts) *StringList::Add(list) = text;
    return list;
}

// The texts from head to tail, checking the back links and the count on the way.
std::vector<std::string> Contents(const StringList* list) {
    std::vector<std::string> texts;
    const StringListElement* previous = nullptr;
    for (const StringListElement* e = list->first; e; e = e->next) {
        EXPECT_EQ(e->previous, previous);
        texts.push_back(e->text);
        previous = e;
    }
    EXPECT_EQ(list->last, previous);
    EXPECT_EQ(list->count, static_cast<int32_t>(texts.size()));
    return texts;
}

using Texts = std::vector<std::string>;

TEST(RandomSource, SeedZeroReproducesTheGenerator) {
    RandomSource::Seed(0);
    RandomSourceState& s = RandomSource::State();
    EXPECT_EQ(s.p1, 3);
    EXPECT_EQ(s.p2, 13);
    EXPECT_EQ(s.seeded, 1);
    EXPECT_EQ(RandomSource::Draw(UINT32_MAX), 2341539169u);
    EXPECT_EQ(RandomSource::Draw(UINT32_MAX), 3366969473u);
    EXPECT_EQ(RandomSource::Draw(UINT32_MAX), 2836287535u);

    RandomSource::Seed(0);
    std::vector<uint32_t> draws;
    for (int i = 0; i < 10; ++i) draws.push_back(RandomSource::Draw(9));
    EXPECT_EQ(draws, (std::vector<uint32_t>{5, 7, 6, 3, 2, 6, 6, 4, 2, 4}));
}

TEST(RandomSource, SmallMaximaScaleTheStepOutput) {
    RandomSource::Seed(0);
    RandomSourceState before = RandomSource::State();
    EXPECT_EQ(RandomSource::Draw(0), 0u);
    EXPECT_NE(RandomSource::State().p1, before.p1);  // the state still advanced

    for (uint32_t seed : {1u, 77u}) {
        RandomSource::Seed(seed);
        std::vector<uint32_t> raw;
        for (int i = 0; i < 50; ++i) raw.push_back(RandomSource::Draw(UINT32_MAX));
        RandomSource::Seed(seed);
        for (int i = 0; i < 50; ++i) EXPECT_EQ(RandomSource::Draw(1), raw[i] >> 31);
    }
}

TEST(StringList, AddAppendsAndGoesToTheHeadAfterReset) {
    StringList* list = ListOf({"a", "b"});
    EXPECT_EQ(Contents(list), (Texts{"a", "b"}));
    EXPECT_EQ(list->currentIndex, 1);
    StringList::Free(list);

    list = ListOf({"x", "y"});
    StringList::Reset(list);
    *StringList::Add(list) = "a";
    EXPECT_EQ(list->currentIndex, 0);
    *StringList::Add(list) = "b";
    EXPECT_EQ(Contents(list), (Texts{"a", "b", "x", "y"}));

    // Adding in the middle links both neighbours.
    StringList::Reset(list);
    StringList::Next(list);
    *StringList::Add(list) = "m";
    EXPECT_EQ(Contents(list), (Texts{"a", "m", "b", "x", "y"}));
    StringList::Free(list);
    StringList::Free(nullptr);
}

TEST(StringList, NextWalksToTheTailAndStaysThere) {
    StringList* empty = StringList::New();
    EXPECT_EQ(StringList::Next(empty), nullptr);
    EXPECT_EQ(StringList::Next(empty), nullptr);
    StringList::Free(empty);

    StringList* list = ListOf({"one", "two"});
    StringList::Reset(list);
    EXPECT_EQ(list->indexKnown, 0);
    std::string* text = StringList::Next(list);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(*text, "one");
    EXPECT_EQ(list->currentIndex, 0);
    EXPECT_EQ(*StringList::Next(list), "two");
    EXPECT_EQ(list->currentIndex, 1);
    EXPECT_EQ(StringList::Next(list), nullptr);
    EXPECT_EQ(StringList::Next(list), nullptr);
    EXPECT_EQ(list->current->text, "two");
    StringList::Reset(list);
    EXPECT_EQ(*StringList::Next(list), "one");

    // The handle writes through to the element.
    *text = "uno";
    EXPECT_EQ(Contents(list), (Texts{"uno", "two"}));

    StringList::Clear(list);
    EXPECT_EQ(Contents(list), Texts{});
    EXPECT_EQ(list->current, nullptr);
    EXPECT_EQ(StringList::Next(list), nullptr);
    *StringList::Add(list) = "again";
    EXPECT_EQ(Contents(list), Texts{"again"});
    StringList::Free(list);
}

TEST(StringList, ListsShareOnePoolThatTheLastOneReleases) {
    StringList* a = StringList::New();
    StringList* b = StringList::New();
    EXPECT_EQ(a->pool, b->pool);
    EXPECT_EQ(a->pool->references, 2);
    *StringList::Add(a) = std::string(100, 'x');  // heap-held text, freed by Clear
    StringList::Free(a);
    EXPECT_EQ(b->pool->references, 1);
    StringList::Free(b);
}

TEST(StringList, ShuffleOfFiveWithSeedZero) {
    for (auto shuffle : {&StringList::Shuffle, &StringList::ShuffleWithoutTable}) {
        StringList* list = ListOf({"a", "b", "c", "d", "e"});
        StringList::Reset(list);
        StringList::Next(list);
        StringList::Next(list);  // "b" is current
        StringListElement* current = list->current;
        RandomSource::Seed(0);
        shuffle(list);
        EXPECT_EQ(Contents(list), (Texts{"a", "e", "d", "c", "b"}));
        EXPECT_EQ(list->current, current);
        EXPECT_EQ(list->indexKnown, 0);
        StringList::Free(list);
    }
}

TEST(StringList, BothShufflePathsGiveTheSameOrder) {
    StringList* one = StringList::New();
    StringList* two = StringList::New();
    for (int i = 0; i < 300; ++i) {
        *StringList::Add(one) = std::to_string(i);
        *StringList::Add(two) = std::to_string(i);
    }
    RandomSource::Seed(12345);
    StringList::Shuffle(one);
    RandomSource::Seed(12345);
    StringList::ShuffleWithoutTable(two);
    Texts shuffled = Contents(one);
    EXPECT_EQ(Contents(two), shuffled);
    Texts sorted = shuffled;
    std::sort(sorted.begin(), sorted.end(), [](auto& x, auto& y) { return std::stoi(x) < std::stoi(y); });
    for (int i = 0; i < 300; ++i) ASSERT_EQ(sorted[i], std::to_string(i));
    EXPECT_NE(shuffled, sorted);
    StringList::Free(one);
    StringList::Free(two);
}

TEST(StringList, ShuffleOfTwoDrawsOnceAndShortListsDrawNothing) {
    for (uint32_t seed = 0; seed < 8; ++seed) {
        RandomSource::Seed(seed);
        bool keep = RandomSource::Draw(1) == 1;
        RandomSource::Seed(seed);
        StringList* list = ListOf({"x", "y"});
        StringList::Shuffle(list);
        EXPECT_EQ(Contents(list), keep ? (Texts{"x", "y"}) : (Texts{"y", "x"}));
        StringList::Free(list);
    }

    RandomSource::Seed(3);
    RandomSourceState before = RandomSource::State();
    StringList* one = ListOf({"only"});
    StringList* none = StringList::New();
    StringList::Shuffle(one);
    StringList::Shuffle(none);
    StringList::Shuffle(nullptr);
    EXPECT_EQ(RandomSource::State().p1, before.p1);
    EXPECT_EQ(Contents(one), Texts{"only"});
    StringList::Free(one);
    StringList::Free(none);
}

TEST(StringList, ShuffleIsRoughlyUniformOverPermutationsOfThree) {
    RandomSource::Seed(99);
    std::map<Texts, int> seen;
    for (int round = 0; round < 6000; ++round) {
        StringList* list = ListOf({"a", "b", "c"});
        StringList::Shuffle(list);
        ++seen[Contents(list)];
        StringList::Free(list);
    }
    EXPECT_EQ(seen.size(), 6u);
    for (auto& [order, times] : seen) EXPECT_NEAR(times, 1000, 150);
}

}  // namespace
