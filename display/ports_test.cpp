#include "display/ports.h"

#include <gtest/gtest.h>

#include "display/screen.h"
#include "tests/display_support.h"
#include "tests/eval_support.h"

class Ports : public ::testing::Test {
protected:
    void SetUp() override {
        vport_reset();
        grid_reset();
        eval_setup();
        fake_canvas_reset();
        grid_init(0, 0);
        ASSERT_EQ(grid_alloc_shadow(), 0);
        display_ports_register();
    }
    void TearDown() override {
        vport_reset();
        grid_reset();
        eval_teardown();
    }
    static std::string shadow(int row, int col, int n) { return std::string(grid_shadow_line(row)).substr(col - 1, n); }
};

TEST_F(Ports, AValueAppearsInItsFrameAndFollowsThePackets) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 10, "%u", "%5u");
    r.row = 5;
    r.column = 3;
    snprintf(r.title, sizeof r.title, "COUNT");
    snprintf(r.units, sizeof r.units, "n");
    r.mnemonic[0] = 0;  // no label
    ZyrPort* p = make_port(r);
    ASSERT_NE(p, nullptr);
    new_packet(10, {0x34, 0x12});
    eval_run(1);  // put on screen
    eval_run(2);
    EXPECT_TRUE(p->h.flags & RT_ON_SCREEN);
    EXPECT_EQ(shadow(3, 4, 7), " COUNT ");
    EXPECT_EQ(shadow(4, 3, 9), "\xB3" " 4660 n\xB3");
    new_packet(10, {0x05, 0x00});
    eval_run(3);
    EXPECT_EQ(shadow(4, 3, 9), "\xB3    5 n\xB3");
}

// `border = off` in the page: no box, and the frame keeps its own size.
TEST_F(Ports, ABorderOffFrameHasNoBox) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 10, "%u", "%5u");
    r.row = 5;
    r.column = 3;
    snprintf(r.title, sizeof r.title, "COUNT");
    r.mnemonic[0] = 0;
    r.frame_flags = 0;
    ZyrPort* p = make_port(r);
    ASSERT_NE(p, nullptr);
    new_packet(10, {7, 0});
    eval_run(1);
    eval_run(2);
    VPortFrame* f = vport_frame(p->index);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->flags & VF_BORDER, 0u);
    EXPECT_EQ(f->width, 5);
    EXPECT_EQ(f->height, 2);
    EXPECT_EQ(shadow(4, 3, 5), "COUNT");
    EXPECT_EQ(shadow(5, 3, 5), "    7");
    EXPECT_EQ(std::string(grid_shadow_line(6)).find('\xC4'), std::string::npos);
    EXPECT_EQ(std::string(grid_shadow_line(3)).find('\xC4'), std::string::npos);
}

TEST_F(Ports, AlarmPhasesAlternateUntilTheValueReturns) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 10, "%u", "%5u", PF_ENABLE | PF_ALARM);
    r.row = 5;
    r.column = 3;
    r.alarm_upper.u32 = 100;
    r.alarm_lower.u32 = 0;
    r.alarm_flags = AL_BLINK;
    ZyrPort* p = make_port(r);
    ASSERT_NE(p, nullptr);
    new_packet(10, {200, 0});
    eval_run(1);
    eval_run(2);
    EXPECT_TRUE(p->marks & MARK_ALARM);
    VPortFrame* f = vport_frame(p->index);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->state, VSTATE_ALARM);
    new_packet(10, {50, 0});
    eval_run(3);
    EXPECT_EQ(f->state, VSTATE_NORMAL);
}

TEST_F(Ports, DeletingThePagesFreesTheFrames) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 10, "%u", "%5u");
    ZyrPort* p = make_port(r);
    ASSERT_NE(p, nullptr);
    new_packet(10, {1, 0});
    eval_run(1);
    ASSERT_NE(vport_frame(p->index), nullptr);
    int index = p->index;
    page_free_all();
    EXPECT_EQ(vport_frame(index), nullptr);
}

// A page file whose text fields have no NUL anywhere up to the end of the
// record: each text ends inside its own field, and the frame made from it
// reads nothing beyond.
TEST_F(Ports, TextFieldsOfAPageFileAreBoundedBeforeTheFrameReadsThem) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 10, "%u", "%5u");
    r.row = 5;
    r.column = 3;
    memset((char*)&r + 1056, 'A', sizeof r - 1056);
    memcpy(r.displayformat, "%5u", 3);
    strcpy(zyr.startdir, ".");
    page_set_dir(".");
    int f = zyr_fopen("PAGE0020.BIN", "w", 2048);
    ASSERT_GT(page_write_record(f, TAG_PORT, &r), 0);
    zyr_fclose(f);
    ASSERT_EQ(page_load(20), 0);
    ZyrPort* p = zyr_port(pages.slot[SLOT_DISPLAY].first);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(strlen(p->h.rec->displayformat), 20u);
    EXPECT_EQ(strlen(p->h.rec->title), 80u);
    EXPECT_EQ(strlen(p->h.rec->filename), 260u);
    eval_run(1);
    VPortFrame* fr = vport_frame(p->index);
    ASSERT_NE(fr, nullptr);
    EXPECT_EQ(std::string(fr->format), "%5u" + std::string(17, 'A'));
}
