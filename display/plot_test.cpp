#include "display/plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "display/ports.h"
#include "tests/display_support.h"
#include "tests/eval_support.h"

// A plot record in the page's terms: frame at row 20 (bottom), column 2,
// 38 x 11 cells, X and Y from 0 to 100, line plot with border.
static PortRecord plot_record() {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 6, "%hd", "%8.2f", PF_ENABLE | PF_PLOT | PF_LINEPLOT);
    r.plot_row = 20;
    r.plot_column = 2;
    r.plot_width = 38;
    r.plot_height = 11;
    r.xlower = r.ylower = 0;
    r.xupper = r.yupper = 100;
    r.maxpoints = 100;
    r.plot_flags = PL_BORDER | PL_FORWARD;
    r.plot_backgroundcolor = 1;
    r.plot_titlecolor = 15;
    r.plot_bordercolor = 15;
    r.plotcolor = 14;
    r.gridcolor = 7;
    return r;
}

class Plot : public ::testing::Test {
protected:
    void SetUp() override {
        plot_reset();
        reset_display_page();
        ASSERT_NE(grid.shadow, nullptr);
        plot_register();
    }
    void TearDown() override {
        plot_reset();
        vport_reset();
        grid_reset();
        eval_teardown();
    }
    PlotDesc* make(const PortRecord& r) {
        d_ = plot_create(&r);
        return d_;
    }
    void TearDownPlot() {
        if (d_) DeletePPort(d_);
        d_ = nullptr;
    }
    PlotDesc* d_ = nullptr;
};

// ---- scales ----------------------------------------------------------------------

struct RangeCase {
    double lo, hi;
    double decade, axis_lo, axis_hi;
    uint32_t flags;
};
static const RangeCase kRanges[] = {
    {0, 1, 0.1, 0, 1, 0},           // m = 1 scaled once: the first step keeps 0..1
    {0, 47, 1, 0, 50, 0},           // step 10: 6.4 % wider
    {-3, 47, 1, -5, 50, 0},         // step 10 is 20 % wider; step 5 exactly 10 %
    {47, 0, 1, 0, 50, 0},           // reversed bounds are exchanged
    {0, 256, 10, 0, 260, 0},        // steps 100 and 50 are 17 % wider; 20 gives 0..260
    {-1, 1, 0.1, -1, 1, 0},
    {100, 101, 10, 100, 150, PL_FORWARD},   // under 5 decades: widened forward
    {100, 101, 10, 60, 110, PL_BACKWARD},   // ... or backward
    {100, 101, 10, 80, 130, 0},             // ... or on both sides
    {0.001, 0.002, 0.0001, 0.001, 0.002, 0},
    {-250, -20, 10, -250, 0, 0},    // step 50: 8.7 % wider
};

TEST_F(Plot, RangesGetTheirDecadeAndRoundedBounds) {
    for (const RangeCase& c : kRanges) {
        PortRecord r = plot_record();
        r.xlower = c.lo;
        r.xupper = c.hi;
        r.plot_flags = c.flags;
        PlotDesc* d = make(r);
        ASSERT_NE(d, nullptr);
        SCOPED_TRACE(testing::Message() << c.lo << ".." << c.hi);
        EXPECT_NEAR(d->x.decade, c.decade, c.decade * 1e-9);
        EXPECT_NEAR(d->x.lo, c.axis_lo, 1e-9);
        EXPECT_NEAR(d->x.hi, c.axis_hi, 1e-9);
        EXPECT_TRUE(d->flags & PLOT_SCALED);
        TearDownPlot();
    }
}

struct InvalidCase {
    double xl, xu, yl, yu;
    int rc;
};
static const InvalidCase kInvalid[] = {
    {5, 5, 0, 1, -3},
    {0, 1, 2, 2, -4},
    {0, std::numeric_limits<double>::infinity(), 0, 1, -3},
    {0, 1, std::nan(""), 1, -4},
    {-1e308, 1e308, 0, 1, -3},   // the range itself overflows
    {0, 0, 0, 0, -3},
};

TEST_F(Plot, InvalidRangesAreRefused) {
    for (const InvalidCase& c : kInvalid) {
        PortRecord r = plot_record();
        r.xlower = c.xl;
        r.xupper = c.xu;
        r.ylower = c.yl;
        r.yupper = c.yu;
        PlotDesc* d = make(r);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(FixPlotParms(d), c.rc) << c.xl << " " << c.xu << " " << c.yl << " " << c.yu;
        EXPECT_FALSE(d->flags & PLOT_SCALED);
        TearDownPlot();
    }
}

// Label columns: 5 for Y decades 0.1 and 1, else 6, one more for a Y
// title; label rows 1 only for an X decade of 0.1 without an X title.
struct MarginCase {
    double xu, yu;
    const char* xtitle;
    const char* ytitle;
    int cols, rows;
};
static const MarginCase kMargins[] = {
    {1, 1, "", "", 5, 1},
    {1, 47, "", "", 5, 1},
    {1, 256, "", "", 6, 1},
    {47, 1, "", "", 5, 2},
    {1, 1, "time", "", 5, 2},
    {1, 1, "", "count", 6, 1},
};

TEST_F(Plot, LabelMarginsAndFrameBounds) {
    for (const MarginCase& c : kMargins) {
        PortRecord r = plot_record();
        r.xupper = c.xu;
        r.yupper = c.yu;
        snprintf(r.xtitle, sizeof r.xtitle, "%s", c.xtitle);
        snprintf(r.ytitle, sizeof r.ytitle, "%s", c.ytitle);
        PlotDesc* d = make(r);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->x.label_cells, c.cols);
        EXPECT_EQ(d->y.label_cells, c.rows);
        EXPECT_NEAR(d->x.frame_lo, d->x.lo - c.cols * (d->x.hi - d->x.lo) / (38 - c.cols), 1e-12);
        EXPECT_NEAR(d->y.frame_lo, d->y.lo - c.rows * (d->y.hi - d->y.lo) / (11 - c.rows), 1e-12);
        EXPECT_NEAR(d->x.per_cell, (d->x.hi - d->x.frame_lo) / 38, 1e-12);
        TearDownPlot();
    }
}

struct LabelCase {
    double v, decade;
    const char* text;
};
static const LabelCase kLabels[] = {
    {0, 1, "0.0"},       {5, 1, "5.0"},     {20, 1, "20.0"},    {-5, 1, "-5.0"},   {-20, 1, "-20"},
    {0.5, 0.1, "0.5"},   {200, 10, "2.0"},  {-300, 10, "-3.0"}, {0.02, 0.001, "2.0"},
    {1e-17, 1, "0.0"},   // a tick reached by adding steps, a few bits off zero
    {-1e-17, 0.1, "0.0"},
};

TEST_F(Plot, TickLabelTexts) {
    for (const LabelCase& c : kLabels) {
        char out[16];
        plot_label_text(c.v, c.decade, out);
        EXPECT_STREQ(out, c.text) << c.v << " decade " << c.decade;
    }
}

struct ScaleCase {
    double decade;
    const char* text;
};
static const ScaleCase kScales[] = {
    {1, ""},          {0.1, ""},       {10, "x100"},     {1, ""},          {2.5, "x25"},
    {100, "x1000"},   {1000, "x 1e+04"}, {0.01, "x0.1"}, {0.001, "x0.01"}, {0.0001, "x0.001"},
    {0.00001, "x 1e-04"}, {0.05, "x0.5"},
};

TEST_F(Plot, ScaleFactorTexts) {
    for (const ScaleCase& c : kScales) {
        char out[16];
        plot_scale_text(c.decade, out);
        EXPECT_STREQ(out, c.text) << c.decade;
    }
}

TEST_F(Plot, LabelStepsKeepLabelsApart) {
    EXPECT_DOUBLE_EQ(plot_label_step(1, 1.0, 5), 5);      // 5 units a 5-cell gap
    EXPECT_DOUBLE_EQ(plot_label_step(1, 0.1, 5), 1);
    EXPECT_DOUBLE_EQ(plot_label_step(10, 30, 2), 100);
    EXPECT_DOUBLE_EQ(plot_label_step(1, 1000, 2), 100);   // none is far enough
}

TEST_F(Plot, MapPutsTheCornersOnTheAxisBoundsAndClamps) {
    PlotDesc* d = make(plot_record());
    ASSERT_NE(d, nullptr);
    int px, py;
    plot_map(d, d->x.inner_hi, d->y.inner_hi, &px, &py);
    EXPECT_NEAR(px, d->right - 1, 1);
    EXPECT_NEAR(py, d->top + 1, 1);
    int qx, qy;
    plot_map(d, 1e9, 1e9, &qx, &qy);   // clamped to the inner bounds
    EXPECT_EQ(qx, px);
    EXPECT_EQ(qy, py);
    plot_map(d, -1e9, -1e9, &px, &py);
    int lx, ly;
    plot_map(d, d->x.inner_lo, d->y.inner_lo, &lx, &ly);
    EXPECT_EQ(px, lx);
    EXPECT_EQ(py, ly);
    EXPECT_GT(px, d->left + 4 * grid.cell_w);   // the Y label columns lie left of the axis
    EXPECT_LT(py, d->bottom - grid.cell_h / 2); // the X label row below it
    TearDownPlot();
}

// ---- the history -------------------------------------------------------------------

TEST_F(Plot, HalfPixelRule) {
    PlotDesc* d = make(plot_record());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(plot_add_point(d, 50, 50), 0);
    EXPECT_EQ(plot_add_point(d, 50 + d->x.half_pixel * 0.9, 50 + d->y.half_pixel * 0.9), 1);
    EXPECT_EQ(d->write, 1u);
    EXPECT_EQ(plot_add_point(d, 50 + d->x.half_pixel * 1.1, 50), 0);   // far enough in X alone
    EXPECT_EQ(plot_add_point(d, std::nan(""), 50), -1);
    EXPECT_EQ(plot_add_point(d, 50, std::numeric_limits<double>::infinity()), -1);
    EXPECT_EQ(d->write, 2u);
    TearDownPlot();
}

TEST_F(Plot, OutOfRangeValuesClampWithoutAutorefresh) {
    PlotDesc* d = make(plot_record());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(plot_add_point(d, 500, -500), 0);
    EXPECT_FLOAT_EQ(d->xs[0], (float)d->x.inner_hi);
    EXPECT_FLOAT_EQ(d->ys[0], (float)d->y.lo);
    TearDownPlot();
}

TEST_F(Plot, AutorefreshEmptiesThePlotOnceAndDropsUntilBackInRange) {
    PortRecord r = plot_record();
    r.port_flags |= PF_AUTOREFRESHX;
    PlotDesc* d = make(r);
    ASSERT_NE(d, nullptr);
    plot_add_point(d, 10, 10);
    plot_add_point(d, 20, 20);
    EXPECT_EQ(plot_add_point(d, 500, 30), 2);
    EXPECT_EQ(d->write, 0u);
    EXPECT_TRUE(d->refreshed);
    EXPECT_EQ(plot_add_point(d, 600, 30), 1);
    EXPECT_EQ(plot_add_point(d, 30, 30), 0);
    EXPECT_FALSE(d->refreshed);
    TearDownPlot();
}

static bool has_colour(int x, int y, PlatRgb c) {
    PlatRgb p = fake_canvas_pixel(x, y);
    return p.r == c.r && p.g == c.g && p.b == c.b;
}

TEST_F(Plot, The101stPointWrapsAndTheLineJoinsSlot99ToSlot0) {
    PlotDesc* d = make(plot_record());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(begin_paint(), 0);
    for (int i = 0; i < 100; i++) ASSERT_EQ(plot_add_point(d, 0.5 * i, 10 + (i % 2) * 5), 0);
    EXPECT_EQ(d->write, 0u);
    ASSERT_EQ(PlotExec(d), 0);
    EXPECT_EQ(d->prev_slot, 99);
    ASSERT_EQ(plot_add_point(d, 90, 90), 0);
    EXPECT_TRUE(d->wrapped);
    EXPECT_EQ(d->write, 1u);
    EXPECT_FLOAT_EQ(d->xs[0], 90.0f);
    ASSERT_EQ(PlotExec(d), 0);
    end_paint();
    // The segment from slot 99 to slot 0 crosses the column half way.
    int ax, ay, bx, by;
    plot_map(d, d->xs[99], d->ys[99], &ax, &ay);
    plot_map(d, 90, 90, &bx, &by);
    PlatRgb yellow = palette_colour(14);
    EXPECT_TRUE(has_colour(bx, by, yellow));
    bool crossed = false;
    for (int y = std::min(ay, by); y <= std::max(ay, by); y++) crossed |= has_colour((ax + bx) / 2, y, yellow);
    EXPECT_TRUE(crossed);
    TearDownPlot();
}

TEST_F(Plot, MaxpointsZeroAndOneKeepTheNewestPoint) {
    for (uint32_t n : {0u, 1u}) {
        PortRecord r = plot_record();
        r.maxpoints = n;
        PlotDesc* d = make(r);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(begin_paint(), 0);
        EXPECT_EQ(plot_add_point(d, 10, 10), 0);
        EXPECT_EQ(PlotExec(d), 0);
        EXPECT_EQ(plot_add_point(d, 60, 60), 0);
        EXPECT_EQ(PlotExec(d), 0);
        EXPECT_FLOAT_EQ(d->xs[0], 60.0f);
        EXPECT_TRUE(d->wrapped);
        end_paint();
        TearDownPlot();
    }
}

// ---- drawing on the fake canvas -----------------------------------------------------

static bool is_black(PlatRgb c) { return c.r == 0 && c.g == 0 && c.b == 0; }

// Every pixel the plot set lies inside its frame, whatever its size or place.
struct FrameCase {
    int row, col, width, height;
    const char* title;
};
static const FrameCase kFrames[] = {
    {20, 2, 38, 11, "Packet counter"},
    {12, 3, 20, 11, "A title much longer than the plot is wide, cut to fit"},   // row below the height
    {30, 50, 30, 8, "Off the right"},   // columns beyond the fake pixel buffer's 60
    {9, 1, 4, 3, "Tiny"},               // narrower than its label columns
    {200, 1, 10, 5, "Below the grid"},
};

TEST_F(Plot, DrawnPixelsStayInsideTheFrame) {
    grid.win_bg = 0;   // black, so that untouched pixels stay black
    for (const FrameCase& c : kFrames) {
        fake_canvas_reset();
        PortRecord r = plot_record();
        r.plot_row = (uint16_t)c.row;
        r.plot_column = (uint16_t)c.col;
        r.plot_width = (uint16_t)c.width;
        r.plot_height = (uint16_t)c.height;
        r.plot_flags |= PL_GRID;
        snprintf(r.plot_title, sizeof r.plot_title, "%s", c.title);
        snprintf(r.ytitle, sizeof r.ytitle, "counts per second");
        PlotDesc* d = make(r);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(begin_paint(), 0);
        EXPECT_EQ(DrawPPort(d), 0);
        for (int i = 0; i < 50; i++) plot_add_point(d, i * 3.0, 100 - i * 2.0);
        EXPECT_EQ(PlotExec(d), 0);
        end_paint();
        int outside = 0, inside = 0;
        for (int y = 0; y < FAKE_PIXELS_H; y++)
            for (int x = 0; x < FAKE_PIXELS_W; x++) {
                bool in = x >= d->left && x <= d->right && y >= d->top && y <= d->bottom;
                if (is_black(fake_canvas_pixel(x, y))) continue;
                (in ? inside : outside)++;
            }
        int rows_out = 0;
        for (int row = 0; row < FAKE_ROWS; row++)
            for (int col = 0; col < FAKE_COLS; col++) {
                bool in = col >= c.col - 1 && col < c.col - 1 + c.width && row >= c.row - c.height && row < c.row;
                if (!in && fake_canvas_text(row, col, 1) != " ") rows_out++;
            }
        EXPECT_EQ(outside, 0) << c.title;
        EXPECT_EQ(rows_out, 0) << c.title;
        if (c.row <= grid.rows && c.col < 55) {
            EXPECT_GT(inside, 0) << c.title;
        }
        TearDownPlot();
    }
}

TEST_F(Plot, PointsLandWhereMapSays) {
    PortRecord r = plot_record();
    r.port_flags &= ~PF_LINEPLOT;
    r.plotcolor = 12;
    PlotDesc* d = make(r);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(begin_paint(), 0);
    ASSERT_EQ(DrawPPort(d), 0);
    const double pts[][2] = {{25, 25}, {50, 75}, {99, 1}, {1, 99}};
    for (auto& p : pts) plot_add_point(d, p[0], p[1]);
    ASSERT_EQ(PlotExec(d), 0);
    end_paint();
    PlatRgb red = palette_colour(12);
    for (auto& p : pts) {
        int px, py;
        plot_map(d, p[0], p[1], &px, &py);
        PlatRgb c = fake_canvas_pixel(px, py);
        EXPECT_TRUE(c.r == red.r && c.g == red.g && c.b == red.b) << p[0] << "," << p[1];
    }
    TearDownPlot();
}

TEST_F(Plot, ScrollingMovesThePlotWithThePage) {
    ASSERT_EQ(_setvideomoderows(30, 60), 0);
    grid_scroll_to(3, 5);   // the window starts at row 3, column 5
    ASSERT_EQ(grid.first_row, 3);
    PortRecord r = plot_record();
    r.port_flags &= ~PF_LINEPLOT;
    PlotDesc* d = make(r);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(begin_paint(), 0);
    ASSERT_EQ(DrawPPort(d), 0);
    plot_add_point(d, 50, 50);
    ASSERT_EQ(PlotExec(d), 0);
    end_paint();
    int px, py;
    plot_map(d, 50, 50, &px, &py);
    PlatRgb c = fake_canvas_pixel(px - 4 * grid.cell_w, py - 2 * grid.cell_h);
    PlatRgb yellow = palette_colour(14);
    EXPECT_TRUE(c.r == yellow.r && c.g == yellow.g && c.b == yellow.b);
    TearDownPlot();
}

TEST_F(Plot, MonochromeDrawsInTheWindowColours) {
    grid.video_flags |= VIDEO_MONO;
    grid.win_bg = 15;
    grid.win_fg = 0;
    PlotDesc* d = make(plot_record());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(begin_paint(), 0);
    ASSERT_EQ(DrawPPort(d), 0);
    end_paint();
    PlatRgb bg = fake_canvas_pixel(d->left + 40, d->top + 40);
    EXPECT_TRUE(bg.r == 255 && bg.g == 255 && bg.b == 255);   // not the plot's blue
    PlatRgb border = fake_canvas_pixel(d->left, d->top + 40);
    EXPECT_TRUE(is_black(border));
    TearDownPlot();
}

TEST_F(Plot, HiddenPlotsDrawNothing) {
    PlotDesc* d = make(plot_record());
    ASSERT_NE(d, nullptr);
    d->flags |= PLOT_HIDDEN;
    ASSERT_EQ(begin_paint(), 0);
    EXPECT_EQ(DrawPPort(d), 0);
    plot_add_point(d, 50, 50);
    EXPECT_EQ(PlotExec(d), 0);
    end_paint();
    EXPECT_EQ(fake_canvas_draws(), 0);
    EXPECT_TRUE(is_black(fake_canvas_pixel(d->left + 40, d->top + 40)));
    TearDownPlot();
}

// A pen or brush that cannot be made stops the drawing with the code of its
// step; every object made is deleted again.
struct StepFailCase {
    int nth;   // object to fail, counted from the start of the drawing
    int rc;
};
static const StepFailCase kStepFails[] = {{1, -11}, {2, -2}, {3, -9}};

TEST_F(Plot, AFailedStepStopsWithItsCodeAndLeaksNoObject) {
    for (const StepFailCase& c : kStepFails) {
        PlotDesc* d = make(plot_record());
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(begin_paint(), 0);
        fake_canvas_fail_object(c.nth);
        EXPECT_EQ(DrawPPort(d), c.rc) << c.nth;
        end_paint();
        EXPECT_EQ(qobmem.qob_pen_count, 0);
        EXPECT_EQ(qobmem.qob_brush_count, 0);
        TearDownPlot();
    }
    EXPECT_NE(read_file("debugmsg").find("DrawPPortBackGnd>1 qoberr 15"), std::string::npos);
}

// ---- the page ------------------------------------------------------------------------

// The X port and the plot port of a page, as the page builder makes them.
static int make_pair(PortRecord y) {
    PortRecord x = eval_record(VIEW_PACKETHEADER, 4, "%hd", "%8.2f");
    return CreateZYRPortVHL(&y, &x, SLOT_DISPLAY);
}

TEST_F(Plot, ThePageGetsItsPlotAndTheEvaluationFeedsIt) {
    int yi = make_pair(plot_record());
    ASSERT_GE(yi, 1);
    page_mark_plot_pairs();
    ASSERT_EQ(begin_paint(), 0);
    eval_run(1);   // put on screen
    PlotDesc* d = plot_of(yi);
    ASSERT_NE(d, nullptr);
    DrawAllVPPorts(MSG_PAINT);
    for (int i = 0; i < 5; i++) {
        new_packet(4, {(uint8_t)(10 * i), 0, (uint8_t)(20 * i), 0});
        eval_run(2 + i);
    }
    end_paint();
    EXPECT_EQ(d->write, 5u);
    EXPECT_EQ(d->undrawn, 0u);
    EXPECT_FLOAT_EQ(d->xs[4], 40.0f);
    EXPECT_FLOAT_EQ(d->ys[4], 80.0f);
    EXPECT_EQ(vport_find_at(5, 15, 1, 1), -yi);
    plot_clear_all();
    EXPECT_EQ(d->write, 0u);
    page_delete_port(yi);
    EXPECT_EQ(plot_of(yi), nullptr);
}

// An autoplot whose axes cannot be set up takes the error path: the plot
// and its X port leave the page, the box says so, nothing leaks.
TEST_F(Plot, AnInvalidAutoplotRangeDeletesThePairWithTheBox) {
    PortRecord y = plot_record();
    y.port_flags |= PF_AUTOPLOT | PF_AUTOPLOTX;
    y.xlower = y.xupper = 0;   // offsets of an empty range
    uint32_t blocks = qobmem.mem_alloc_cnt;
    int yi = make_pair(y);
    ASSERT_GE(yi, 1);
    page_mark_plot_pairs();
    ASSERT_EQ(QOB_BEGIN_DRAW(MSG_TIMER), 0);
    eval_run(1);
    ASSERT_NE(plot_of(yi), nullptr);
    new_packet(4, {1, 0, 2, 0});
    eval_run(2);
    QOB_END_DRAW();
    EXPECT_EQ(plot_of(yi), nullptr);
    EXPECT_EQ(page_port(yi), nullptr);
    EXPECT_EQ(page_port(yi - 1), nullptr);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "ZYR Plotting");
    EXPECT_EQ(fake_ui_boxes()[0].text,
              "Plot error, plot had to be deleted.\nReload page after pressing OK\nto regain plot.");
    std::string log = read_file("debugmsg");
    EXPECT_NE(log.find("DrawAutoPPort() fail FixPlotParms() -3"), std::string::npos);
    EXPECT_NE(log.find("PLOTZYRV fatal_exit() -4"), std::string::npos);
    EXPECT_EQ(qobmem.mem_alloc_cnt, blocks);
    EXPECT_EQ(qobmem.qob_pen_count, 0);
    EXPECT_EQ(qobmem.qob_brush_count, 0);
}

TEST_F(Plot, AnAutoplotFollowsItsData) {
    PortRecord y = plot_record();
    y.port_flags |= PF_AUTOPLOT | PF_AUTOPLOTX | PF_AUTOREFRESHX;
    y.xlower = 0;
    y.xupper = 60;
    PlotDesc* d = make(y);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(begin_paint(), 0);
    EXPECT_EQ(plot_add_point(d, 1000, 50), 0);   // the first point sets the axes up
    EXPECT_EQ(PlotExec(d), 0);
    EXPECT_TRUE(d->drawn);
    EXPECT_LE(d->x.lo, 1000);
    EXPECT_GE(d->x.hi, 1060);
    double hi = d->x.hi;
    EXPECT_EQ(plot_add_point(d, hi + 10, 50), 2);   // past the end: refreshed
    EXPECT_FALSE(d->drawn);
    EXPECT_EQ(plot_add_point(d, hi + 10, 50), 0);
    EXPECT_EQ(PlotExec(d), 0);
    EXPECT_LE(d->x.lo, hi + 10);
    EXPECT_GT(d->x.hi, hi + 10);
    end_paint();
    TearDownPlot();
}

// The task monitor's pair check: each way a pair can break gives its code
// and takes the broken part off the page.
TEST_F(Plot, BrokenPlotPairsAreFoundAndRemoved) {
    EXPECT_EQ(plot_pair_check(), 0);
    // 7: a plot port as the first port.
    ASSERT_EQ(CreateZYRPortHL(&(const PortRecord&)plot_record(), SLOT_DISPLAY), 0);
    EXPECT_EQ(plot_pair_check(), 7);
    EXPECT_EQ(page_port(0), nullptr);
    // An intact pair passes.
    int yi = make_pair(plot_record());
    ASSERT_GE(yi, 2);
    page_mark_plot_pairs();
    EXPECT_EQ(plot_pair_check(), 0);
    // 6: the X port went; 4: the plot port went (the X port is last).
    page_delete_port(yi - 1);
    EXPECT_EQ(plot_pair_check(), 6);
    EXPECT_EQ(page_port(yi), nullptr);
    yi = make_pair(plot_record());
    page_delete_port(yi);
    EXPECT_EQ(plot_pair_check(), 4);
    EXPECT_EQ(page_port(yi - 1), nullptr);
    // 5: a plain port before a plot port; 3: an X port before a plain port.
    PortRecord plain = eval_record(VIEW_PACKETHEADER, 4, "%hd", "%8.2f");
    int a = CreateZYRPortHL(&plain, SLOT_DISPLAY);
    int b = CreateZYRPortHL(&(const PortRecord&)plot_record(), SLOT_DISPLAY);
    ASSERT_EQ(b, a + 1);
    EXPECT_EQ(plot_pair_check(), 5);
    EXPECT_EQ(page_port(b), nullptr);
    EXPECT_NE(page_port(a), nullptr);
    int d = CreateZYRPortHL(&plain, SLOT_DISPLAY);
    int e = CreateZYRPortHL(&plain, SLOT_DISPLAY);
    ASSERT_EQ(e, d + 1);
    page_port(d)->flags |= RT_XPORT;
    EXPECT_EQ(plot_pair_check(), 3);
    EXPECT_EQ(page_port(d), nullptr);
    EXPECT_NE(page_port(e), nullptr);
    EXPECT_EQ(plot_pair_check(), 0);
}
