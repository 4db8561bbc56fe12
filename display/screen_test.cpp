#include "display/screen.h"

#include <gtest/gtest.h>

#include "platform/ui.h"
#include "tests/display_support.h"

class Screen : public ::testing::Test {
protected:
    void SetUp() override {
        reset_display();
        remove("zyrvid.cfg");
        ASSERT_EQ(display_create(), 0);
    }
    void TearDown() override {
        display_release();
        reset_display();
    }
};

TEST_F(Screen, ResizingSetsTheVisibleCellsAndTheScrollRange) {
    display_sized(40 * FAKE_CELL_W + 5, 10 * FAKE_CELL_H + 3, SIZE_RESTORED);
    EXPECT_EQ(grid.vis_cols, 40);
    EXPECT_EQ(grid.vis_rows, 10);
    EXPECT_EQ(grid.place.width, 40);
    EXPECT_EQ(grid.place.height, 10);
    FakeScroll v = fake_ui_scroll(SCROLL_VERTICAL);
    EXPECT_EQ(v.last, 46 - 10 + 1);
    EXPECT_EQ(v.page, 5);
    int repaints = fake_canvas_invalidations();
    display_sized(40 * FAKE_CELL_W, 10 * FAKE_CELL_H, SIZE_RESTORED);  // unchanged: nothing
    EXPECT_EQ(fake_canvas_invalidations(), repaints);
    display_sized(1, 1, SIZE_MINIMISED);
    EXPECT_EQ(grid.vis_cols, 40);
    display_sized(1, 1, SIZE_MAXIMISED);
    EXPECT_EQ(grid.vis_cols, grid.cols);
    EXPECT_EQ(grid.vis_rows, grid.rows);
}

TEST_F(Screen, ScrollingMovesTheFirstVisibleCellWithinTheGrid) {
    display_sized(40 * FAKE_CELL_W, 10 * FAKE_CELL_H, SIZE_RESTORED);
    display_scrolled(SCROLL_VERTICAL, 20);
    display_scrolled(SCROLL_HORIZONTAL, 500);
    EXPECT_EQ(grid.first_row, 20);
    EXPECT_EQ(grid.first_col, 128 - 40 + 1);
    text_out(21, 90, 1, 14, "x");  // visible row 2, column 2
    EXPECT_EQ(fake_canvas_text(1, 1, 1), "x");
}

TEST_F(Screen, MovesAndSizesAreWrittenToThePlacementFile) {
    display_moved(3 * FAKE_CELL_W, 5 * FAKE_CELL_H);
    display_sized(50 * FAKE_CELL_W, 20 * FAKE_CELL_H, SIZE_RESTORED);
    display_release();
    EXPECT_EQ(read_file("zyrvid.cfg"), std::string("\6\0\0\0\4\0\0\0\x14\0\0\0\x32\0\0\0", 16));
    ASSERT_EQ(display_create(), 0);
    EXPECT_EQ(grid.vis_rows, 20);
    EXPECT_EQ(grid.vis_cols, 50);
}
