// The geometry of the text screens, free of any drawing.
#include <gtest/gtest.h>

#include <vector>

#include "app/experiment.h"

TEST(TextLayout, PlacesAndLineTopsRoundHalfToEven) {
    const struct { int32_t area, size; float factor; int32_t at; } places[] = {{800, 99, 0.5f, 350},  {800, 101, 0.5f, 350}, {600, 20, 0.5f, 290},
                  {600, 21, 0.5f, 290},  {600, 23, 0.5f, 288},  {800, 100, 0.0f, 0},
                  {800, 100, 1.0f, 700}, {800, 1001, 0.5f, -100}, {1024, 16000000, 0.5f, -7999488}};
    for (const auto& p : places)
        EXPECT_EQ(TextLayout::Place(p.area, p.size, p.factor), p.at) << p.area << " " << p.size << " " << p.factor;

    // Total 93.6; tops 337.2, 368.4 and 399.6 accumulated in floats.
    EXPECT_EQ(TextLayout::LineTops(768, 3, 26, 0.5f), (std::vector<int32_t>{337, 368, 400}));
    // Far more lines than fit: the block starts above the top edge.
    const std::vector<int32_t> tops = TextLayout::LineTops(600, 1000, 20, 0.5f);
    ASSERT_EQ(tops.size(), 1000u);
    EXPECT_EQ(tops.front(), -11700);
    EXPECT_EQ(tops.back(), -11700 + 999 * 24);
}
