// The geometry of the text screens, free of any drawing.
#include <gtest/gtest.h>

#include <vector>

#include "app/experiment.h"

TEST(TextLayout, SingleLineHalvesGoToTheEvenNeighbour) {
    // 350.5 and 349.5 both become 350.
    EXPECT_EQ(TextLayout::Place(800, 99, 0.5f), 350);
    EXPECT_EQ(TextLayout::Place(800, 101, 0.5f), 350);
    EXPECT_EQ(TextLayout::Place(600, 20, 0.5f), 290);
    EXPECT_EQ(TextLayout::Place(600, 21, 0.5f), 290);  // 289.5
    EXPECT_EQ(TextLayout::Place(600, 23, 0.5f), 288);  // 288.5
    EXPECT_EQ(TextLayout::Place(800, 100, 0.0f), 0);
    EXPECT_EQ(TextLayout::Place(800, 100, 1.0f), 700);
}

TEST(TextLayout, WiderThanTheAreaGoesNegative) {
    EXPECT_EQ(TextLayout::Place(800, 1000, 0.5f), -100);
    EXPECT_EQ(TextLayout::Place(800, 1001, 0.5f), -100);  // -100.5
    EXPECT_EQ(TextLayout::Place(1024, 16000000, 0.5f), -7999488);
}

TEST(TextLayout, LinesStepByOnePointTwoSpacesInFloats) {
    // Total 93.6; tops 337.2, 368.4 and 399.6 accumulated in floats.
    EXPECT_EQ(TextLayout::LineTops(768, 3, 26, 0.5f), (std::vector<int32_t>{337, 368, 400}));
    // A text and its line end: two lines, the first 0.7 of a space higher
    // than the same line alone, (600 - 20) / 2 = 290.
    EXPECT_EQ(TextLayout::LineTops(600, 2, 20, 0.5f), (std::vector<int32_t>{276, 300}));
    EXPECT_TRUE(TextLayout::LineTops(600, 0, 20, 0.5f).empty());
    // Far more lines than fit: the block starts above the top edge.
    const std::vector<int32_t> tops = TextLayout::LineTops(600, 1000, 20, 0.5f);
    ASSERT_EQ(tops.size(), 1000u);
    EXPECT_EQ(tops.front(), -11700);
    EXPECT_EQ(tops.back(), -11700 + 999 * 24);
}
