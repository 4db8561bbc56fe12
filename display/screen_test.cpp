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
    // Top and left are the position in cells, counted from 0.
    EXPECT_EQ(read_file("zyrvid.cfg"), std::string("\5\0\0\0\3\0\0\0\x14\0\0\0\x32\0\0\0", 16));
    ASSERT_EQ(display_create(), 0);
    EXPECT_EQ(grid.vis_rows, 20);
    EXPECT_EQ(grid.vis_cols, 50);
    FakePlacement p = fake_ui_placement();
    EXPECT_EQ(p.x, 3 * FAKE_CELL_W);
    EXPECT_EQ(p.y, 5 * FAKE_CELL_H);
    EXPECT_EQ(p.w, 50 * FAKE_CELL_W);
    EXPECT_EQ(p.h, 20 * FAKE_CELL_H);
}

// A file from elsewhere: a window at the corner stays at the corner, and a
// negative position does not put it off the screen.
TEST_F(Screen, PlacementFilePositionsAreCellsFromTheCorner) {
    display_release();
    static const struct {
        int32_t top, left;
        int x, y;
    } kCases[] = {{0, 0, 0, 0}, {2, 7, 7 * FAKE_CELL_W, 2 * FAKE_CELL_H}, {-4, -1, 0, 0}};
    for (const auto& c : kCases) {
        int32_t v[4] = {c.top, c.left, 10, 30};
        write_file("zyrvid.cfg", std::string((const char*)v, sizeof v));
        ASSERT_EQ(display_create(), 0);
        FakePlacement p = fake_ui_placement();
        EXPECT_EQ(p.x, c.x) << c.top << "," << c.left;
        EXPECT_EQ(p.y, c.y) << c.top << "," << c.left;
        display_release();
    }
    ASSERT_EQ(display_create(), 0);
}

// A box opened inside the tick's display stage lets a paint through (its
// nested event loop); the paint does not run the stage again inside it, and
// the page is drawn once the tick is over.
static int g_stage_depth, g_stage_max, g_stage_runs;
static void reentering_stage() {
    g_stage_runs++;
    if (++g_stage_depth > g_stage_max) g_stage_max = g_stage_depth;
    if (g_stage_runs == 1) display_paint();  // the box's event loop paints
    g_stage_depth--;
}

TEST_F(Screen, APaintInsideATickDoesNotReenterTheDisplayStage) {
    clock_start();
    g_stage_depth = g_stage_max = g_stage_runs = 0;
    cycle_hooks.display_stage = reentering_stage;
    page_hooks.repaint = canvas_invalidate;
    int repaints = fake_canvas_invalidations();
    for (int i = 0; i < 3; i++) {
        plat_fake_clock_advance(10);
        wnd_timer();
    }
    EXPECT_EQ(g_stage_max, 1);
    EXPECT_GE(g_stage_runs, 2);
    EXPECT_GT(fake_canvas_invalidations(), repaints);  // drawn after the tick
    display_paint();  // outside a tick the paint runs the stage
    EXPECT_GE(g_stage_runs, 3);
}
