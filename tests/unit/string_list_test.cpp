#include "support/text/string_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/text/random_source.h"

namespace {

using Texts = std::vector<std::string>;

StringList* ListOf(const Texts& texts) {
    StringList* list = StringList::New();
    for (const std::string& text : texts) *StringList::Add(list) = text;
    return list;
}

// The texts from head to tail, checking the back links and the count on the way.
Texts Contents(const StringList* list) {
    Texts texts;
    const StringListElement* previous = nullptr;
    for (const StringListElement* e = list->first; e; previous = e, e = e->next) {
        EXPECT_EQ(e->previous, previous);
        texts.push_back(e->text);
    }
    EXPECT_EQ(list->last, previous);
    EXPECT_EQ(list->count, static_cast<int32_t>(texts.size()));
    return texts;
}

std::vector<uint32_t> Draws(uint32_t seed, uint32_t max, int count) {
    RandomSource::Seed(seed);
    std::vector<uint32_t> draws;
    while (count-- > 0) draws.push_back(RandomSource::Draw(max));
    return draws;
}

TEST(RandomSource, SeedZeroReproducesTheGenerator) {
    EXPECT_EQ(Draws(0, UINT32_MAX, 3), (std::vector<uint32_t>{2341539169u, 3366969473u, 2836287535u}));
    EXPECT_EQ(Draws(0, 9, 10), (std::vector<uint32_t>{5, 7, 6, 3, 2, 6, 6, 4, 2, 4}));
    // Draw(0) gives 0 but still advances; Draw(1) is the step output's top bit.
    const std::vector<uint32_t> raw = Draws(77, UINT32_MAX, 40);
    EXPECT_EQ(Draws(77, 0, 1)[0], 0u);
    for (int i = 1; i < 40; ++i) EXPECT_EQ(RandomSource::Draw(1), raw[i] >> 31) << i;
}

TEST(StringList, AddAfterResetGoesToTheHeadAndNextStopsAtTheTail) {
    StringList* list = ListOf({"x", "y"});
    StringList::Reset(list);
    *StringList::Add(list) = "a";
    *StringList::Add(list) = "b";
    EXPECT_EQ(Contents(list), (Texts{"a", "b", "x", "y"}));
    for (int pass = 0; pass < 2; ++pass) {  // after Reset the walk starts again at the head
        StringList::Reset(list);
        for (const char* text : {"a", "b", "x", "y"}) EXPECT_EQ(*StringList::Next(list), text);
        EXPECT_EQ(StringList::Next(list), nullptr);
        EXPECT_EQ(StringList::Next(list), nullptr);
    }
    StringList::Clear(list);
    EXPECT_EQ(StringList::Next(list), nullptr);
    StringList::Free(list);
}

TEST(StringList, ShuffleWithSeedZeroKeepsTheCurrentElementAndShortListsDrawOnceOrNot) {
    for (auto shuffle : {&StringList::Shuffle, &StringList::ShuffleWithoutTable}) {
        StringList* list = ListOf({"a", "b", "c", "d", "e"});
        StringList::Reset(list);
        for (int i = 0; i < 3; ++i) StringList::Next(list);
        RandomSource::Seed(0);
        shuffle(list);
        EXPECT_EQ(Contents(list), (Texts{"a", "e", "d", "c", "b"}));
        EXPECT_EQ(*StringList::Next(list), "b");  // the walk goes on from "c"
        StringList::Free(list);
    }
    // Two elements take one draw in 0..1, 1 keeping the order; fewer take none.
    for (uint32_t seed = 0; seed < 4; ++seed) {
        const bool keep = Draws(seed, 1, 1)[0] == 1;
        const uint32_t afterOne = RandomSource::Draw(UINT32_MAX);
        StringList *two = ListOf({"x", "y"}), *one = ListOf({"only"}), *none = ListOf({});
        RandomSource::Seed(seed);
        for (StringList* list : {two, one, none}) StringList::Shuffle(list);
        EXPECT_EQ(Contents(two), keep ? (Texts{"x", "y"}) : (Texts{"y", "x"}));
        EXPECT_EQ(RandomSource::Draw(UINT32_MAX), afterOne);
        for (StringList* list : {two, one, none}) StringList::Free(list);
    }
}

}  // namespace
