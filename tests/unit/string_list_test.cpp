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

// Walks the list from the head; the walk then stands at the tail.
Texts Walk(StringList* list) {
    Texts texts;
    StringList::Reset(list);
    while (const std::string* text = StringList::Next(list)) texts.push_back(*text);
    EXPECT_EQ(StringList::Next(list), nullptr);
    return texts;
}

TEST(RandomSource, SeedZeroReproducesTheGenerator) {
    RandomSource::Seed(0);
    for (uint32_t expected : {2341539169u, 3366969473u, 2836287535u}) EXPECT_EQ(RandomSource::Draw(UINT32_MAX), expected);
    RandomSource::Seed(0);
    for (uint32_t expected : {5, 7, 6, 3, 2, 6, 6, 4, 2, 4}) EXPECT_EQ(RandomSource::Draw(9), expected);
}

TEST(StringList, AddAfterResetGoesToTheHeadAndClearEmpties) {
    StringList* list = ListOf({"x", "y"});
    StringList::Reset(list);
    *StringList::Add(list) = "a";
    *StringList::Add(list) = "b";
    EXPECT_EQ(Walk(list), (Texts{"a", "b", "x", "y"}));
    EXPECT_EQ(Walk(list), (Texts{"a", "b", "x", "y"}));
    StringList::Clear(list);
    EXPECT_EQ(Walk(list), Texts{});
    StringList::Free(list);
}

// Both ways of shuffling make the same exchanges and leave the walk where it was.
TEST(StringList, ShuffleWithSeedZeroKeepsTheCurrentElement) {
    for (auto shuffle : {&StringList::Shuffle, &StringList::ShuffleWithoutTable}) {
        StringList* list = ListOf({"a", "b", "c", "d", "e"});
        StringList::Reset(list);
        for (int i = 0; i < 3; ++i) StringList::Next(list);
        RandomSource::Seed(0);
        shuffle(list);
        EXPECT_EQ(*StringList::Next(list), "b");  // the walk goes on from "c"
        EXPECT_EQ(Walk(list), (Texts{"a", "e", "d", "c", "b"}));
        StringList::Free(list);
    }
}

}  // namespace
