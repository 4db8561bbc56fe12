#include "display/grid.h"

#include <gtest/gtest.h>

#include "tests/display_support.h"

class Grid : public ::testing::Test {
protected:
    void SetUp() override {
        reset_display();
        remove("zyrvid.cfg");
    }
    void TearDown() override { reset_display(); }
};

static bool same(PlatRgb a, PlatRgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

TEST_F(Grid, SizeFromScreenAndCell) {
    EXPECT_EQ(grid.cols, 128);
    EXPECT_EQ(grid.rows, 46);
    fake_canvas_set_screen(100, 40);  // 2 rows: not reduced
    grid_init(0, 0);
    EXPECT_EQ(grid.rows, 2);
    EXPECT_EQ(grid.cols, 12);
}

TEST_F(Grid, PaletteValues) {
    struct Case {
        int index;
        PlatRgb rgb;
    };
    static const Case kCases[] = {
        {0, {0, 0, 0}},       {1, {0, 0, 127}},     {2, {0, 127, 0}},     {3, {0, 127, 127}},
        {4, {127, 0, 0}},     {5, {127, 0, 127}},   {6, {127, 127, 0}},   {7, {192, 192, 192}},
        {8, {64, 64, 64}},    {9, {0, 0, 255}},     {10, {0, 255, 0}},    {11, {0, 255, 255}},
        {12, {255, 0, 0}},    {13, {255, 0, 255}},  {14, {255, 255, 0}},  {15, {255, 255, 255}},
        {-1, {0, 0, 0}},      {18, {0, 0, 0}},  // out of range: black
    };
    for (const Case& c : kCases) EXPECT_TRUE(same(palette_colour(c.index), c.rgb)) << c.index;
}

TEST_F(Grid, TextOutKeepsTheShadowAndClipsToTheGrid) {
    ASSERT_EQ(grid_alloc_shadow(), 0);
    text_out(3, 5, 1, 14, "hello");
    EXPECT_EQ(std::string(grid_shadow_line(3)).substr(4, 5), "hello");
    EXPECT_EQ(fake_canvas_text(2, 4, 5), "hello");
    EXPECT_TRUE(same(fake_canvas_bg(2, 4), palette_colour(1)));
    EXPECT_TRUE(same(fake_canvas_fg(2, 4), palette_colour(14)));
    text_out(1, 126, 1, 14, "abcdef");  // cut at column 128
    EXPECT_EQ(std::string(grid_shadow_line(1)).substr(125), "abc");
    int draws = fake_canvas_draws();
    text_out(0, 1, 1, 1, "x");
    text_out(47, 1, 1, 1, "x");
    text_out(1, 129, 1, 1, "x");
    EXPECT_EQ(fake_canvas_draws(), draws);
}

TEST_F(Grid, VisibleWindowMapping) {
    ASSERT_EQ(grid_alloc_shadow(), 0);
    ASSERT_EQ(_setvideomoderows(10, 40), 0);
    grid_scroll_to(5, 11);
    text_out(6, 12, 1, 14, "ab");  // visible row 2, column 2
    EXPECT_EQ(fake_canvas_text(1, 1, 2), "ab");
    int draws = fake_canvas_draws();
    text_out(15, 12, 1, 14, "x");  // below the window: shadow only
    text_out(6, 51, 1, 14, "x");   // right of it
    EXPECT_EQ(fake_canvas_draws(), draws);
    EXPECT_EQ(grid_shadow_line(15)[11], 'x');
    text_out(6, 9, 1, 14, "xyz");  // starts left of the window, reaches into it
    EXPECT_EQ(fake_canvas_draws(), draws + 1);
}

TEST_F(Grid, MonochromeUsesTheWindowColours) {
    grid_apply_display(VIDEO_MONO, -1, -1);
    text_out(1, 1, 1, 14, "m");
    EXPECT_TRUE(same(fake_canvas_bg(0, 0), palette_colour(15)));
    EXPECT_TRUE(same(fake_canvas_fg(0, 0), palette_colour(0)));
    grid_apply_display(VIDEO_INVERSE, -1, -1);
    text_out(1, 1, 1, 14, "m");
    EXPECT_TRUE(same(fake_canvas_bg(0, 0), palette_colour(0)));
    EXPECT_TRUE(same(fake_canvas_fg(0, 0), palette_colour(15)));
}

TEST_F(Grid, PaintGuards) {
    EXPECT_EQ(QOB_BEGIN_DRAW(MSG_TIMER), 0);
    EXPECT_TRUE(fake_canvas_open());
    EXPECT_EQ(QOB_BEGIN_DRAW(MSG_TIMER), 0);
    EXPECT_EQ(QOB_BEGIN_DRAW(0x100), 0);
    QOB_END_DRAW();
    EXPECT_FALSE(grid.draw_begun);
    ASSERT_EQ(begin_paint(), 0);
    EXPECT_EQ(QOB_BEGIN_DRAW(MSG_TIMER), 0);
    end_paint();
    fake_canvas_fail_begin(true);
    EXPECT_EQ(QOB_BEGIN_DRAW(MSG_TIMER), -6);
    std::string log = read_file("debugmsg");
    EXPECT_NE(log.find("QOB_BEGIN_DRAW called twice - same msg 00000113\r\n"), std::string::npos);
    EXPECT_NE(log.find("QOB_BEGIN_DRAW called twice - different msg old 00000113 new 00000100\r\n"), std::string::npos);
    EXPECT_NE(log.find("QOB_BEGIN_DRAW called when paint_begun == TRUE msg 00000113\r\n"), std::string::npos);
    EXPECT_NE(log.find("QOB_BEGIN_DRAW no-1 2 GetDC() fail msg 00000113\r\n"), std::string::npos);
}

TEST_F(Grid, PlacementFile) {
    ASSERT_EQ(read_video_cfg(), 0);  // missing: row 1, column 1, the whole grid
    EXPECT_EQ(grid.place.top, 1);
    EXPECT_EQ(grid.place.left, 1);
    EXPECT_EQ(grid.place.height, 46);
    EXPECT_EQ(grid.place.width, 128);
    grid.place = VideoPlacement{3, 4, 20, 60};
    ASSERT_EQ(write_video_cfg(), 0);
    EXPECT_EQ(read_file("zyrvid.cfg"), std::string("\3\0\0\0\4\0\0\0\x14\0\0\0\x3c\0\0\0", 16));
    grid.place = VideoPlacement{};
    ASSERT_EQ(read_video_cfg(), 0);
    EXPECT_EQ(grid.vis_rows, 20);
    EXPECT_EQ(grid.vis_cols, 60);
    write_file("zyrvid.cfg", std::string("\1\0\0\0\1\0\0\0\xE8\3\0\0\xE8\3\0\0", 16));  // 1000 x 1000
    ASSERT_EQ(read_video_cfg(), 0);
    EXPECT_EQ(grid.place.height, 46);
    EXPECT_EQ(grid.place.width, 128);
    grid_free_shadow();
}
