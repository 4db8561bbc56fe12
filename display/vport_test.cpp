#include "display/vport.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/datatypes.h"
#include "tests/display_support.h"

class VPort : public ::testing::Test {
protected:
    void SetUp() override {
        reset_display();
        ASSERT_EQ(grid_alloc_shadow(), 0);
    }
    void TearDown() override { reset_display(); }
    static std::string shadow(int row, int col, int n) { return std::string(grid_shadow_line(row)).substr(col - 1, n); }
};

TEST_F(VPort, LayoutCases) {
    struct Case {
        int row, col;
        const char* format;
        const char* units;
        const char* title;
        const char* label;
        int left, bottom, width, height, value_row, first, last;
        const char* title_after;
    };
    static const Case kCases[] = {
        // Row and column 0 become 1; the frame moves down to fit its border.
        {0, 0, "%6d", "", "", "", 1, 3, 8, 3, 2, 2, 7, nullptr},
        {10, 10, "%6d", "V", "Volts", "", 10, 10, 10, 4, 9, 11, 16, "Volts"},
        {10, 10, "%6d", "", "Battery voltage", "BAT", 10, 10, 17, 4, 9, 15, 25, "Battery voltage"},
        // A value of 78 characters: the units join the title after a comma.
        {20, 1, "%78s", "km", "Range", "", 1, 20, 80, 4, 19, 2, 79, "Range,km"},
        // Column 190, total width 20: ends at column 201.
        {10, 190, "%18s", "", "", "", 182, 10, 20, 3, 9, 183, 200, nullptr},
    };
    fake_canvas_set_screen(1700, 768);  // a grid of 201 columns
    grid_init(0, 0);
    for (const Case& c : kCases) {
        VPortFrame* f = vport_create_frame(c.row, c.col, c.format, c.units, c.title, c.label, VF_BORDER);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->left, c.left) << c.format << c.title;
        EXPECT_EQ(f->bottom, c.bottom) << c.format << c.title;
        EXPECT_EQ(f->width, c.width) << c.format << c.title;
        EXPECT_EQ(f->height, c.height) << c.format << c.title;
        EXPECT_EQ(f->value_row, c.value_row) << c.format << c.title;
        EXPECT_EQ(f->first_value_col, c.first) << c.format << c.title;
        EXPECT_EQ(f->last_value_col, c.last) << c.format << c.title;
        if (c.title_after) {
            EXPECT_STREQ(f->title, c.title_after);
        }
        EXPECT_EQ(FreeVPortMemory(f), 0);
    }
    EXPECT_EQ(qobmem.mem_alloc_cnt, 1u);  // only the shadow screen
}

TEST_F(VPort, FrameDrawing) {
    VPortFrame* f = vport_create_frame(10, 10, "%6d", "V", "Volts", "", VF_BORDER);
    vport_draw_frame(f);
    EXPECT_EQ(shadow(7, 10, 10), "\xDA\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xBF");
    EXPECT_EQ(shadow(8, 10, 10), "\xB3  Volts \xB3");  // centred, the odd blank left
    EXPECT_EQ(shadow(9, 10, 10), "\xB3       V\xB3");
    EXPECT_EQ(shadow(10, 10, 10), "\xC0\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xD9");
    int v = -42;
    char text[90];
    vport_value_text(f->format, DT_INT, f->value_width, &v, text);
    vport_draw_value(f, text);
    EXPECT_EQ(shadow(9, 10, 10), "\xB3   -42 V\xB3");
    vport_erase_frame(f);
    EXPECT_EQ(shadow(9, 10, 10), "          ");
    FreeVPortMemory(f);
}

TEST_F(VPort, ValueTextByType) {
    struct Case {
        const char* format;
        int type;
        uint32_t value;
        int width;
        const char* text;
    };
    static const Case kCases[] = {
        {"%4lu", DT_ULONG, 123456, 4, "3456"},   // only the lowest digits
        {"%4lu", DT_ULONG, 0, 4, "0"},
        {"%4u", DT_USHORT, 65535, 4, "5535"},
        {"%4lx", DT_HEX32, 0xABCDEF, 4, "cdef"},  // higher digits dropped
        {"%6hx", DT_HEX16, 0x1F, 6, "00001f"},
        {"%4o", DT_OCT16, 8, 4, "0010"},
        {"%8lb", DT_BIN32, 5, 8, "00000101"},
        {"%3d", DT_INT, (uint32_t)-1234, 3, "-12"},
    };
    for (const Case& c : kCases) {
        char out[90];
        uint16_t v16 = (uint16_t)c.value;
        const void* v = (c.type == DT_USHORT || c.type == DT_HEX16 || c.type == DT_OCT16) ? (const void*)&v16
                                                                                           : (const void*)&c.value;
        vport_value_text(c.format, c.type, c.width, v, out);
        EXPECT_STREQ(out, c.text) << c.format;
    }
    char out[90];
    double d = 3.14159;
    vport_value_text("%6.2lf", DT_DOUBLE, 6, &d, out);
    EXPECT_STREQ(out, "  3.14");
    float fl = 2.5f;
    vport_value_text("%5.1f", DT_FLOAT, 5, &fl, out);
    EXPECT_STREQ(out, "  2.5");
    vport_value_text("%5s", DT_STRING, 5, "abcdefgh", out);
    EXPECT_STREQ(out, "abcde");
}

static bool same(PlatRgb a, PlatRgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

TEST_F(VPort, AlarmPhasesAndMonochrome) {
    VPortFrame* f = vport_create_frame(5, 1, "%4d", "", "", "", VF_BORDER);
    f->state = VSTATE_ALARM;
    vport_draw_value(f, "12");
    int vr = f->value_row - 1, vc = f->last_value_col - 1;
    EXPECT_TRUE(same(fake_canvas_bg(vr, vc), palette_colour(4)));
    EXPECT_TRUE(same(fake_canvas_fg(vr, vc), palette_colour(14)));
    vport_draw_value(f, "12");
    EXPECT_TRUE(same(fake_canvas_fg(vr, vc), palette_colour(4)));
    grid_apply_display(VIDEO_MONO, -1, -1);
    vport_draw_value(f, "12");  // yellow on red: window colours
    EXPECT_TRUE(same(fake_canvas_bg(vr, vc), palette_colour(15)));
    vport_draw_value(f, "12");  // red on red: inverse
    EXPECT_TRUE(same(fake_canvas_bg(vr, vc), palette_colour(0)));
    EXPECT_TRUE(same(fake_canvas_fg(vr, vc), palette_colour(15)));
    // In inverse monochrome the two phases alternate just the same.
    grid_apply_display(VIDEO_INVERSE, -1, -1);
    vport_draw_value(f, "12");  // yellow on red: inverse window colours
    EXPECT_TRUE(same(fake_canvas_bg(vr, vc), palette_colour(0)));
    EXPECT_TRUE(same(fake_canvas_fg(vr, vc), palette_colour(15)));
    vport_draw_value(f, "12");  // red on red: the other way round
    EXPECT_TRUE(same(fake_canvas_bg(vr, vc), palette_colour(15)));
    EXPECT_TRUE(same(fake_canvas_fg(vr, vc), palette_colour(0)));
    vport_draw_value(f, "12");
    EXPECT_TRUE(same(fake_canvas_bg(vr, vc), palette_colour(0)));
    f->draw_disabled = true;
    int draws = fake_canvas_draws();
    vport_draw_value(f, "99");
    EXPECT_EQ(fake_canvas_draws(), draws);
    EXPECT_STREQ(f->value_text, "99");
    FreeVPortMemory(f);
}

TEST_F(VPort, LongTextIsDrawnWholeFromTheFirstColumn) {
    VPortFrame* f = vport_create_frame(5, 1, "%4d", "", "", "", VF_BORDER);
    vport_draw_value(f, "123456");
    EXPECT_EQ(shadow(f->value_row, f->first_value_col, 6), "123456");
    FreeVPortMemory(f);
}

TEST_F(VPort, RedrawOnlyInsideThePaintMessage) {
    DrawAllVPPorts(MSG_TIMER);
    EXPECT_NE(read_file("debugmsg").find("DrawAllVPPorts() BLDPAGE.C 00000113\r\n"), std::string::npos);
    EXPECT_EQ(fake_canvas_draws(), 0);
    DrawAllVPPorts(MSG_PAINT);
    EXPECT_EQ(fake_canvas_draws(), grid.rows);
}
