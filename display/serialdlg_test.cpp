// The serial settings dialog's logic, the settings command parser, the
// direction change with its questions, and the Transfer menu's serial
// values, on pseudo-terminals and the fake window system.
#include "display/serialdlg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/page.h"
#include "display/commands.h"
#include "display/switches.h"
#include "engine/input.h"
#include "engine/serial.h"
#include "tests/engine_support.h"
#include "tests/pty_support.h"

namespace {

struct Shown {
    std::vector<std::string> boxes;
    int changed = 0;
    int published = 0;
    int redraws = 0;
    int stops = 0;
    int clients = 0;
};
Shown shown;

void record_box(const char* a, const char* b, const char* c) {
    shown.boxes.push_back(std::string(a) + "|" + b + (c ? std::string("|") + c : ""));
}

}  // namespace

class SerialDlg : public ::testing::Test {
protected:
    Pty pty[2];
    void SetUp() override {
        reset_engine();
        serial_reset();
        serialdlg_reset();
        input_reset();
        shown = Shown{};
        serial_dlg_hooks.error_box = record_box;
        serial_dlg_hooks.settings_changed = [] { shown.changed++; };
        serial_dlg_hooks.publish_ports = [] { shown.published++; };
        serial_dlg_hooks.redraw = [] { shown.redraws++; };
        serial_dlg_hooks.net_clients = [] { return shown.clients; };
        serial_dlg_hooks.net_stop_output = [] { shown.stops++; };
        write_file("zyrcom.cfg", "COM1=dlg1\nCOM2=dlg2\nCOM3=/nonexistent/tty\n");
        ASSERT_TRUE(pty[0].open("dlg1"));
        ASSERT_TRUE(pty[1].open("dlg2"));
        serial_load_device_map();
    }
    void TearDown() override {
        serial_reset();
        serialdlg_reset();
        commands_reset();
        switches_reset();
        for (Pty& p : pty) p.shut();
        input_reset();
        reset_engine();
    }
};

// ---- the settings command -----------------------------------------------------------

struct ParseCase {
    const char* text;
    int result;
    const char* bad;
    int port;           // -1: none named
    uint16_t baud, data, stop, parity;
};
// From the defaults: 9600, data code 3, one stop bit, no parity.
static const ParseCase kParseCases[] = {
    {"115200", 0, "", -1, 11520, 3, 0, 0},
    {"134.5", 0, "", -1, 134, 3, 0, 0},
    {"19200,7,2,even", 0, "", -1, 19200, 2, 4, 24},
    {"com3 1800 5 odd", 0, "", 2, 1800, 0, 0, 8},
    {"COM2,NONE,1", 0, "", 1, 9600, 3, 0, 0},
    {"  7200 , , 6 ", 0, "", -1, 7200, 1, 0, 0},
    {"8.00005", 0, "", -1, 9600, 3, 0, 0},
    {"", 0, "", -1, 9600, 3, 0, 0},
    {"3", -1, "3", -1, 9600, 3, 0, 0},
    {"4", -1, "4", -1, 9600, 3, 0, 0},
    {"9", -1, "9", -1, 9600, 3, 0, 0},
    {"49", -1, "49", -1, 9600, 3, 0, 0},
    {"1801", -1, "1801", -1, 9600, 3, 0, 0},
    {"115201", -1, "115201", -1, 9600, 3, 0, 0},
    {"230400", -1, "230400", -1, 9600, 3, 0, 0},
    {"0", -1, "0", -1, 9600, 3, 0, 0},
    {"8.1", -1, "8.1", -1, 9600, 3, 0, 0},
    {"-2", -1, "-2", -1, 9600, 3, 0, 0},
    {"fast", -1, "fast", -1, 9600, 3, 0, 0},
    {"com5", -1, "com5", -1, 9600, 3, 0, 0},
    {"nan", -1, "nan", -1, 9600, 3, 0, 0},
    {"19200,3,even", -1, "3", -1, 9600, 3, 0, 0},   // nothing changes on a refusal
};

TEST_F(SerialDlg, ParseSettings) {
    for (const ParseCase& c : kParseCases) {
        serial_defaults();
        ComSettings rec = com_settings[0];
        int port = -1;
        char bad[32] = "";
        EXPECT_EQ(serial_parse_settings(c.text, &port, &rec, bad, sizeof bad), c.result) << c.text;
        EXPECT_STREQ(bad, c.bad) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
        EXPECT_EQ(rec.baud, c.baud) << c.text;
        EXPECT_EQ(rec.data, c.data) << c.text;
        EXPECT_EQ(rec.stop, c.stop) << c.text;
        EXPECT_EQ(rec.parity, c.parity) << c.text;
        EXPECT_EQ(rec.bufsize, 8192) << c.text;
    }
}

TEST_F(SerialDlg, SettingsCommandGoesToThePortNamed) {
    char bad[16];
    EXPECT_EQ(serial_settings_command("38400 com4", 0, bad, sizeof bad), 0);
    EXPECT_EQ(com_settings[3].baud, 38400);
    EXPECT_EQ(com_settings[0].baud, 9600);
    EXPECT_EQ(serial_settings_command("odd", 1, bad, sizeof bad), 0);
    EXPECT_EQ(com_settings[1].parity, COM_PARITY_ODD);
    EXPECT_EQ(serial_settings_command("odd 3", 2, bad, sizeof bad), -1);
    EXPECT_EQ(com_settings[2].parity, COM_PARITY_NONE);
}

// ---- the dialog ------------------------------------------------------------------------

TEST_F(SerialDlg, TableAndTitle) {
    char title[40];
    serial_dlg_title(2, title, sizeof title);
    EXPECT_STREQ(title, "Serial Port COM3 settings");
    static const char* const kLabels[] = {"&Baud Rate:", "&Data Bits:", "&Stop Bits:", "&Parity:", "&In", "&Out"};
    for (int i = 0; i < 6; i++) EXPECT_STREQ(kSerialDialog[i].label, kLabels[i]);
    EXPECT_EQ(kSerialDialog[0].item_count, 17);
    EXPECT_STREQ(kSerialDialog[0].items[16], "115200");
    EXPECT_EQ(kSerialDialog[0].max_len, 8);
    EXPECT_EQ(kSerialDialog[1].kind, SDLG_LIST);   // data bits only from the list
}

struct FillCase {
    uint16_t baud, data, stop, parity;
    const char* want_baud;
    int want_data;
    const char* want_stop;
    const char* want_parity;
};
static const FillCase kFillCases[] = {
    {9600, 3, 0, 0, "9600", 3, "1", "none"},
    {11520, 2, 4, 24, "115200", 2, "2", "even"},
    {1800, 0, 0, 8, "9600", 0, "1", "odd"},       // not in the list: 9600
    {134, 9, 3, 5, "134", 3, "1", "none"},         // unknown codes: 8, 1, none
};

TEST_F(SerialDlg, FillOpensAtTheCurrentValues) {
    for (const FillCase& c : kFillCases) {
        com_settings[1].baud = c.baud;
        com_settings[1].data = c.data;
        com_settings[1].stop = c.stop;
        com_settings[1].parity = c.parity;
        SerialDlgValues v;
        serial_dlg_fill(1, &v);
        EXPECT_STREQ(v.baud, c.want_baud) << c.baud;
        EXPECT_EQ(v.data, c.want_data) << c.baud;
        EXPECT_STREQ(v.stop, c.want_stop) << c.baud;
        EXPECT_STREQ(v.parity, c.want_parity) << c.baud;
        EXPECT_FALSE(v.in);
        EXPECT_FALSE(v.out);
    }
}

TEST_F(SerialDlg, OkRefusesABadEntry) {
    SerialDlgValues v;
    serial_dlg_fill(0, &v);
    strcpy(v.stop, "3");
    strcpy(v.baud, "19200");
    EXPECT_EQ(serial_dlg_ok(0, &v), -1);
    ASSERT_EQ(shown.boxes.size(), 1u);
    EXPECT_EQ(shown.boxes[0], "Invalid Entry '3'|Retype or cancel");
    EXPECT_EQ(com_settings[0].baud, 9600);
    EXPECT_EQ(shown.redraws, 0);
}

TEST_F(SerialDlg, OkTakesTheSettingsAndOpensForInput) {
    SerialDlgValues v;
    serial_dlg_fill(0, &v);
    strcpy(v.baud, "115200");
    v.data = 2;
    strcpy(v.parity, "EVEN");
    v.in = true;
    EXPECT_EQ(serial_dlg_ok(0, &v), 0);
    EXPECT_EQ(com_settings[0].baud, 11520);
    EXPECT_EQ(com_settings[0].data, 2);
    EXPECT_EQ(com_settings[0].parity, COM_PARITY_EVEN);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_IN);
    EXPECT_TRUE(serial_menu_checked(0));
    EXPECT_FALSE(serial_menu_checked(1));
    EXPECT_EQ(shown.changed, 1);
    EXPECT_EQ(shown.published, 1);
    EXPECT_EQ(shown.redraws, 1);
    serial_dlg_fill(0, &v);
    EXPECT_TRUE(v.in);
    EXPECT_FALSE(v.out);
    // Neither box: the port is closed.
    v.in = false;
    EXPECT_EQ(serial_dlg_ok(0, &v), 0);
    EXPECT_FALSE(zyr.IoFlags & IO_SERIAL_IN);
    EXPECT_FALSE(serial_menu_checked(0));
}

TEST_F(SerialDlg, OpenFailureShowsTheBox) {
    SerialDlgValues v;
    serial_dlg_fill(2, &v);
    v.in = true;
    EXPECT_EQ(serial_dlg_ok(2, &v), 0);
    ASSERT_EQ(shown.boxes.size(), 1u);
    EXPECT_EQ(shown.boxes[0], "Unable to open port|Device conflict, port exists,|Invalid setting ?");
    EXPECT_NE(read_file("debugmsg").find("telm_iostat_chg() rtn -2"), std::string::npos);
    EXPECT_EQ(shown.changed, 0);
}

// ---- the direction change --------------------------------------------------------------

TEST_F(SerialDlg, InputConflictNoKeepsTheOtherSource) {
    zyr.IoFlags |= IO_TEST_DATA;
    fake_ui_answer(IDNO);
    EXPECT_EQ(telm_iostat_chg(0, "in"), 0);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Data Input");
    EXPECT_TRUE(zyr.IoFlags & IO_TEST_DATA);
    EXPECT_FALSE(zyr.IoFlags & IO_SERIAL_IN);
    fake_ui_answer(IDYES);
    EXPECT_EQ(telm_iostat_chg(0, "In"), 0);
    EXPECT_FALSE(zyr.IoFlags & IO_TEST_DATA);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_IN);
}

TEST_F(SerialDlg, OutputConflictWithNetworkOutput) {
    zyr.IoFlags |= IO_NET_OUT;
    fake_ui_answer(IDNO);
    EXPECT_EQ(telm_iostat_chg(1, "out"), 0);
    EXPECT_FALSE(zyr.IoFlags & IO_SERIAL_OUT);
    EXPECT_TRUE(zyr.IoFlags & IO_NET_OUT);
    shown.clients = 3;
    fake_ui_answer(IDYES);
    fake_ui_answer(IDNO);
    EXPECT_EQ(telm_iostat_chg(1, "OUT"), 0);
    ASSERT_EQ(fake_ui_boxes().size(), 3u);
    EXPECT_EQ(fake_ui_boxes()[1].caption, "Serial Output");
    EXPECT_EQ(fake_ui_boxes()[1].text, "Network Output already in progress.\nContinuing will switch it off.\nDo you wish to continue ?\n");
    EXPECT_EQ(fake_ui_boxes()[2].text, "Warning: 3 clients connected.\nContinuing will disconnect them all.\nDo you wish to continue ?\n");
    EXPECT_EQ(shown.stops, 0);
    EXPECT_FALSE(zyr.IoFlags & IO_SERIAL_OUT);
    fake_ui_answer(IDYES);
    fake_ui_answer(IDYES);
    EXPECT_EQ(telm_iostat_chg(1, "out"), 0);
    EXPECT_EQ(shown.stops, 1);
    EXPECT_FALSE(zyr.IoFlags & IO_NET_OUT);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_OUT);
    EXPECT_EQ(com_output_port, 1);
}

TEST_F(SerialDlg, BothWaysAndOff) {
    EXPECT_EQ(telm_iostat_chg(1, "io"), 0);
    EXPECT_TRUE(serial.port[1].both_ways);
    EXPECT_EQ(com_input_port, 1);
    EXPECT_EQ(com_output_port, 1);
    EXPECT_EQ(zyr.IoFlags & (IO_SERIAL_IN | IO_SERIAL_OUT), IO_SERIAL_IN | IO_SERIAL_OUT);
    EXPECT_EQ(telm_iostat_chg(1, "whatever"), 0);
    EXPECT_EQ(serial.port[1].fd, -1);
    EXPECT_EQ(zyr.IoFlags & (IO_SERIAL_IN | IO_SERIAL_OUT), 0u);
}

// ---- values and check marks ------------------------------------------------------------------

TEST_F(SerialDlg, TimeoutPeriodAndMenuItems) {
    EXPECT_FALSE(serial_timeout_checked());
    serial_timeout_period_set(90000);
    EXPECT_EQ(serial_timeout_period(), 86400u);
    EXPECT_TRUE(serial_timeout_checked());
    serial_timeout_period_set(0);
    EXPECT_FALSE(serial_timeout_checked());
    static const int kCommands[][2] = {{132, 0}, {137, 1}, {142, 2}, {147, 3}, {133, -1}, {540, -1}};
    for (const auto& c : kCommands) EXPECT_EQ(serial_menu_port(c[0]), c[1]) << c[0];
}

// ---- through the menu ----------------------------------------------------------------------

TEST_F(SerialDlg, MenuItemOpensTheFormAndStaysOnABadEntry) {
    serialdlg_register();
    serial_dlg_hooks.error_box = record_box;
    // A bad stop bits text: the form stays open; then Return with "2".
    fake_ui_dialog_answer([](const FakeDialog& d) {
        EXPECT_EQ(d.title, "Serial Port COM2 settings");
        d.type("&Stop Bits:", "3");
        return IDOK;
    });
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.type("&Baud Rate:", "57600");
        d.type("&Stop Bits:", "2");
        d.select("&Data Bits:", 2);
        d.set_check("&Out", true);
        return IDOK;
    });
    vantor_command(137);
    EXPECT_EQ(fake_ui_dialog_answers_left(), 0);
    ASSERT_EQ(shown.boxes.size(), 1u);
    EXPECT_EQ(shown.boxes[0], "Invalid Entry '3'|Retype or cancel");
    EXPECT_EQ(com_settings[1].baud, 57600);
    EXPECT_EQ(com_settings[1].stop, COM_STOP_2);
    EXPECT_EQ(com_settings[1].data, 2);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_OUT);
    EXPECT_TRUE(menu_hooks.com_open(1));
    EXPECT_FALSE(menu_hooks.com_open(0));
    // Cancel changes nothing.
    fake_ui_dialog_press(IDCANCEL);
    vantor_command(137);
    EXPECT_TRUE(zyr.IoFlags & IO_SERIAL_OUT);
}
