#include "display/sysdlg.h"

#include <gtest/gtest.h>

#include "core/packet.h"
#include "display/grid.h"
#include "display/portedit.h"
#include "engine/playback.h"
#include "tests/display_support.h"
#include "tests/eval_support.h"

class SysDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        grid_reset();
        eval_setup();
        fake_canvas_reset();
        grid_init(0, 0);
        recording.slots = RecordSlots{-1, -1, -1};
    }
    void TearDown() override {
        recording.slots = RecordSlots{-1, -1, -1};
        grid_reset();
        eval_teardown();
    }
};

TEST_F(SysDialogs, TheSameColourForBothIsRefusedAndTheDialogStays) {
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.select("&Background", 0);   // black on black
        return IDOK;
    });
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.select("&Background", 1);
        return IDOK;
    });
    colours_command(0);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Background Color");
    EXPECT_EQ(fake_ui_dialogs()[0].title, "Window Colors");
    EXPECT_EQ(grid.win_bg, 1);
    EXPECT_EQ(pages.sysrec.windowbackcolor, 1);
    EXPECT_TRUE(pages.sysrec.colourflags & SYS_WINDOWBACKCOLOR);
}

TEST_F(SysDialogs, StatusTexts) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 8, "%5hu", "%5hu", PF_ENABLE | PF_ALARM);
    snprintf(r.mnemonic, sizeof r.mnemonic, "PKTCOUNT");
    r.alarm_upper.u32 = 200;
    ASSERT_NE(make_port(r), nullptr);
    fake_ui_dialog_press(1101);   // Alarms
    fake_ui_dialog_press(1103);   // Filter
    fake_ui_dialog_press(IDOK);
    info_command(0);
    ASSERT_EQ(fake_ui_boxes().size(), 2u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Current Alarms Set");
    EXPECT_EQ(fake_ui_boxes()[0].text, "First 10 alarms are set on:\nPKTCOUNT\n");
    EXPECT_EQ(fake_ui_boxes()[1].text, "Packet Filter is currently off\n");
}

TEST_F(SysDialogs, PacketFormatIsRefusedWhileRecordingAndChecksTheSync) {
    recording.slots.raw = 3;
    packet_format_command(0);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].text, "Cannot change the packet format as\na packet recording is in progress.");
    recording.slots.raw = -1;
    fake_ui_dialog_edit("&Synchronisation Pattern", "0xEB9");
    fake_ui_dialog_press(IDCANCEL);
    packet_format_command(0);
    ASSERT_EQ(fake_ui_boxes().size(), 2u);
    EXPECT_EQ(fake_ui_boxes()[1].text, "Synchronisation Pattern: Sync length not integral 1-4 bytes\n"
                                       "Mask: Sync length not integral 1-4 bytes\n");
}

TEST_F(SysDialogs, ANewSyncPatternMovesTheHeader) {
    int header = pkt_layout.header_len;
    int sync = pkt_layout.sync_len;
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.set_edit("&Synchronisation Pattern", "0x1ACFFC1D");
        d.set_edit("Mask", "0xFFFFFFFF");
        d.set_edit("&Packet Length", "64");
        return IDOK;
    });
    zyr.IoFlags |= IO_TEST_DATA;
    packet_format_command(0);
    EXPECT_EQ(pkt_layout.sync_len, 4);
    EXPECT_EQ(pkt.image[0], 0x1A);   // the test packets carry the new sync
    EXPECT_EQ(pkt_layout.header_len, header + 4 - sync);
    EXPECT_EQ(pkt_layout.sync_value, 0x1ACFFC1Du);
    EXPECT_EQ(pkt_layout.fixed_len, 64);
}

// "&Help" looks for the help file (none here) and leaves the filter dialog
// up with what was typed; On then sets the filter from it.
TEST_F(SysDialogs, HelpKeepsTheFilterDialogOpen) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 8, "%5hu");
    snprintf(r.mnemonic, sizeof r.mnemonic, "PKTCOUNT");
    ZyrPort* p = make_port(r);
    ASSERT_NE(p, nullptr);
    int index = p->index;          // the port is built anew with its filter
    fake_ui_dialog_press(IDOK);   // Packet Filter Parameter
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.set_edit("Lower Limit", "10");
        d.set_edit("Upper Limit", "20");
        return BTN_HELP;
    });
    fake_ui_dialog_press(BTN_ON);
    filter_command(0);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_NE(fake_ui_boxes()[0].text.find("Help file not found"), std::string::npos) << fake_ui_boxes()[0].text;
    ASSERT_EQ(fake_ui_dialogs().size(), 2u);
    EXPECT_EQ(fake_ui_dialogs()[1].title, "Packet PKTCOUNT Filter");
    ZyrPort* q = zyr_port(index);
    ASSERT_NE(q, nullptr);
    EXPECT_TRUE(q->h.port_flags & PF_FILTER);
    EXPECT_EQ(q->h.rec->filter_lower.u32, 10u);
    EXPECT_EQ(q->h.rec->filter_upper.u32, 20u);
}
