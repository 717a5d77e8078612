// The rounded shape a window takes without a compositor (no display).
#include "platform/duilib/backend/gtk/GtkWindowShape.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace {

using DuiLib::RoundedWindowShape;

// The pixels the rectangles cover, each once.
std::set<std::pair<long, long>> Covered(const std::vector<RECT>& rows, bool& overlap) {
    std::set<std::pair<long, long>> pixels;
    overlap = false;
    for (const RECT& r : rows) {
        for (long y = r.top; y < r.bottom; ++y) {
            for (long x = r.left; x < r.right; ++x)
                overlap |= !pixels.emplace(x, y).second;
        }
    }
    return pixels;
}

TEST(WindowShapeTest, CornersAreCutSymmetricallyAndTheRestOfTheWindowIsKept) {
    struct Case {
        long width, height, cornerWidth, cornerHeight;
        long cutAtCorner;  // pixels cut from the outermost row at each corner
    };
    for (const Case& c : {Case{408, 480, 20, 20, 7}, Case{380, 200, 4, 4, 1}, Case{300, 90, 40, 10, 11},
                          Case{9, 5, 100, 100, 2}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " corner " << c.cornerWidth);
        bool overlap = false;
        const std::set<std::pair<long, long>> pixels =
            Covered(RoundedWindowShape(c.width, c.height, c.cornerWidth, c.cornerHeight), overlap);
        EXPECT_FALSE(overlap);
        for (long y = 0; y < c.height; ++y) {
            for (long x = 0; x < c.width; ++x) {
                // Mirror images across both axes agree.
                EXPECT_EQ(pixels.count({x, y}), pixels.count({c.width - 1 - x, y}));
                EXPECT_EQ(pixels.count({x, y}), pixels.count({x, c.height - 1 - y}));
            }
        }
        EXPECT_FALSE(pixels.count({c.cutAtCorner - 1, 0}));
        EXPECT_TRUE(pixels.count({c.cutAtCorner, 0}));
        // The middle of every edge is the window's.
        EXPECT_TRUE(pixels.count({c.width / 2, 0}));
        EXPECT_TRUE(pixels.count({0, c.height / 2}));
    }
}

TEST(WindowShapeTest, NoCornerIsTheWholeRectangleAndNoAreaIsNoShape) {
    EXPECT_EQ(RoundedWindowShape(200, 100, 0, 0), (std::vector<RECT>{RECT{0, 0, 200, 100}}));
    EXPECT_EQ(RoundedWindowShape(200, 100, 6, 0), (std::vector<RECT>{RECT{0, 0, 200, 100}}));
    EXPECT_TRUE(RoundedWindowShape(0, 100, 6, 6).empty());
    EXPECT_TRUE(RoundedWindowShape(200, -1, 6, 6).empty());
}

TEST(WindowShapeTest, RowsOfTheSameSpanAreOneRectangle) {
    // The straight middle is one band; each corner row of its own.
    const std::vector<RECT> rows = RoundedWindowShape(400, 300, 8, 8);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_LE(rows.size(), 9u);
    bool middle = false;
    for (const RECT& r : rows)
        middle |= r.left == 0 && r.right == 400 && r.Height() >= 290;
    EXPECT_TRUE(middle);
}

}  // namespace
