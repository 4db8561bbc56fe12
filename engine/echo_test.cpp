// The echo and the telecommands: the parser's cases, the command files it
// reads, the hand-over through deftc.bin with its boxes, the dispatcher's
// results for good and broken command files, the ascii echo layout and the
// echo into the network output ring.
#include "engine/echo.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

#include "core/packet.h"
#include "display/tccmds.h"
#include "display/switches.h"
#include "engine/netcfg.h"
#include "engine/network.h"
#include "engine/serial.h"
#include "tests/menu_support.h"
#include "tests/packet_support.h"

namespace {

std::string bytes_of(const uint8_t* p, int n) { return std::string((const char*)p, (size_t)n); }

bool box_shown(const char* caption, const char* text = nullptr) {
    for (const FakeBox& b : fake_ui_boxes())
        if (b.caption == caption && (!text || b.text == text)) return true;
    return false;
}

}  // namespace

class Echo : public ::testing::Test {
protected:
    void SetUp() override {
        reset_menus();
        serial_reset();
        network_reset();
        echo_reset();
        remove("deftc.bin");
        ASSERT_EQ(packet_init(), 0);
        setup_test_description();
        network_register();
        echo_register();
        tccmds_register();
    }
    void TearDown() override {
        remove("deftc.bin");
        network_reset();
        echo_reset();
        packet_reset();
        end_menus();
    }
    // Network output on with an output ring of NO bytes.
    void network_output(uint32_t no = 16384) {
        net_settings.out_bufsize = no;
        net_settings.tcp_port = 0;
        ASSERT_EQ(net_start_server(), 0);
    }
    void packet(int n) {
        std::vector<uint8_t> p = test_packet(n);
        memcpy(pkt.buf, p.data(), p.size());
        pkt.len = (int)p.size();
        echo.marked = true;
    }
};

TEST_F(Echo, ParserCases) {
    struct Case {
        const char* text;
        int rc;
        std::string file;   // route and bytes when rc is 0
    };
    const std::string eighty = "tcs" + std::string(38, ' ') + "1" + std::string(37, ' ') + "2 300";
    const Case kCases[] = {
        {"tcs 1 2 255", 0, "\xFF\xFF\x01\x02\xFF"},
        {"TCE 0x10", 0, std::string("\xFF\xFE\x10", 3)},
        {"tc 5", 0, std::string("\0\0\x05", 3)},
        {"Tc 0h1F 0d12 0b11", 0, std::string("\0\0\x1F\x0C\x03", 5)},
        {"tcs 256", -2, ""},
        {"tcs -1", -2, ""},
        {"tcs 12z", -2, ""},
        {"tcs", -2, ""},
        {"tx 1", -1, ""},
        {"", -1, ""},
        {eighty.c_str(), 0, "\xFF\xFF\x01\x02"},   // cut to 80: the 300 is not read
    };
    for (const Case& c : kCases) {
        uint8_t route[2], b[TC_BYTES_MAX];
        int n = -1;
        EXPECT_EQ(tc_parse(c.text, route, b, &n), c.rc) << c.text;
        if (c.rc == 0) {
            EXPECT_EQ(bytes_of(route, 2) + bytes_of(b, n), c.file) << c.text;
        }
    }
}

TEST_F(Echo, CommandFiles) {
    std::string big;
    for (int i = 0; i < TC_BYTES_MAX + 1; i++) big += "7\n";
    write_file("big.tc", big);
    write_file("good.tc", "# a comment\n\n  0x41 first word only\n* star\n;semi\n!bang\n/slash\n66\r\n" +
                              std::string("5") + std::string(2000, 'x') + "\n9\n");
    mkdir("adir", 0755);
    struct Case {
        const char* text;
        int rc;
        std::string bytes;
    };
    const Case kCases[] = {
        {"tcs @good.tc", -2, ""},   // the 2000-character word is not a number
        {"tcs @big.tc", -2, ""},
        {"tcs @missing.tc", -2, ""},
        {"tcs @adir", -2, ""},
    };
    for (const Case& c : kCases) {
        uint8_t route[2], b[TC_BYTES_MAX];
        int n = -1;
        EXPECT_EQ(tc_parse(c.text, route, b, &n), c.rc) << c.text;
    }
    write_file("good.tc", "# a comment\n\n  0x41 first word only\n* star\n66\r\n" + std::string(1500, '1') +
                              std::string(600, ' ') + "\n9\n");
    uint8_t route[2], b[TC_BYTES_MAX];
    int n = 0;
    EXPECT_EQ(tc_parse("tce @good.tc  ", route, b, &n), -2);   // a 1500-digit word is no byte
    write_file("good.tc", "# a comment\n\n  0x41 first word only\n* star\n66\r\n9" + std::string(2000, ' ') + "x\n8\n");
    ASSERT_EQ(tc_parse("tce @good.tc", route, b, &n), 0);
    EXPECT_EQ(bytes_of(b, n), "\x41\x42\x09\x08");   // the tail of the long line is no line
    EXPECT_NE(read_file("zyrerr.txt").size() + read_file("debugmsg").size(), 0u);
    remove("big.tc");
    remove("good.tc");
    rmdir("adir");
}

TEST_F(Echo, HandOverWritesDeftcAndLogs) {
    fake_ui_answer(IDOK);
    EXPECT_EQ(tc_command("tcs 1 2 255"), 0);
    EXPECT_TRUE(box_shown("Telecommand Out", "OK to send command ?\n<tcs 1 2 255>"));
    EXPECT_EQ(read_file("deftc.bin"), "\xFF\xFF\x01\x02\xFF");
    EXPECT_NE(read_file("debugmsg").find(": tcs 1 2 255"), std::string::npos);
    // The file still waits: Retry asks again, Cancel gives -5 without a box.
    fake_ui_answer(IDOK);
    fake_ui_answer(IDRETRY);
    fake_ui_answer(IDCANCEL);
    EXPECT_EQ(tc_command("tc 5"), -5);
    int asked = 0;
    for (const FakeBox& bx : fake_ui_boxes()) asked += bx.caption == "Command Out";
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(box_shown("Command Parser Error"));
    EXPECT_NE(read_file("debugmsg").find(": tc 5 !! Command error -5 !!"), std::string::npos);
    EXPECT_EQ(read_file("deftc.bin"), "\xFF\xFF\x01\x02\xFF");
    // Errors are shown with their texts and write nothing.
    remove("deftc.bin");
    EXPECT_EQ(tc_command("tx 1"), -1);
    EXPECT_TRUE(box_shown("Command Parser Error", "Invalid Command, not 'tc' or 'tcs'"));
    EXPECT_EQ(tc_command("tcs 256"), -2);
    EXPECT_TRUE(box_shown("Command Parser Error", "Bad command syntax or file.\nValid Command file?"));
    EXPECT_FALSE(zyr_fexists("deftc.bin"));
    // Cancel at the first question sends nothing and is no error.
    size_t shown = fake_ui_boxes().size();
    fake_ui_answer(IDCANCEL);
    EXPECT_EQ(tc_command("tc 5"), 0);
    EXPECT_EQ(fake_ui_boxes().size(), shown + 1);
    EXPECT_FALSE(zyr_fexists("deftc.bin"));
}

TEST_F(Echo, DispatcherResults) {
    network_output();
    struct Case {
        std::string file;
        int rc;
        uint32_t sent;   // bytes put into the network output ring
    };
    const Case kCases[] = {
        {std::string("\0\0\x05", 3), 0, 0},
        {"\xFF\xFE\x01\x02\x03", 0, 3},
        {"", -7, 0},
        {"\xFF", -7, 0},
        {"\xFF\xFE", -5, 0},
        {"\xFF\xFF\x01", -3, 0},   // no serial output port
        {"\xFF\xFE" + std::string(5000, 'z'), -9, 0},
        {"\xFF\xFE" + std::string(1024, 'y'), 0, 1024},
    };
    for (const Case& c : kCases) {
        write_file("deftc.bin", c.file);
        net.out_put = net.out_get = 0;
        zyr.zyr_msecs += TC_DISPATCH_MS;
        EXPECT_EQ(tc_dispatch(), c.rc) << c.file.size();
        EXPECT_EQ(net_out_fill(), c.sent) << c.file.size();
        EXPECT_FALSE(zyr_fexists("deftc.bin"));
    }
    std::string log = read_file("debugmsg");
    EXPECT_NE(log.find(": Command file DEFTC.BIN Processed by dispatcher OK"), std::string::npos);
    EXPECT_NE(log.find(" Command Dispatcher encountered error -7"), std::string::npos);
    // Once a second at most; a disabled dispatcher leaves the file.
    write_file("deftc.bin", std::string("\0\0\x05", 3));
    EXPECT_EQ(tc_dispatch(), 0);
    EXPECT_TRUE(zyr_fexists("deftc.bin"));
    echo.dispatcher_enabled = false;
    zyr.zyr_msecs += TC_DISPATCH_MS;
    tc_dispatch();
    EXPECT_TRUE(echo.dispatcher_waiting);
    EXPECT_TRUE(zyr_fexists("deftc.bin"));
}

TEST_F(Echo, AsciiLayoutOfAThirtyBytePacket) {
    uint8_t p[30];
    for (int i = 0; i < 30; i++) p[i] = (uint8_t)(0xA0 + i);
    char out[200];
    int n = echo_ascii_text(p, 30, out, sizeof out);
    std::string want = "\r\n";
    for (int i = 0; i < 26; i++) {
        char g[4];
        snprintf(g, sizeof g, "%02x ", 0xA0 + i);
        want += g;
    }
    want += "\r\nba bb bc bd ";
    EXPECT_EQ(std::string(out, (size_t)n), want);
    EXPECT_EQ(echo_ascii_text(p, 30, out, 90), -1);
}

TEST_F(Echo, NetworkEchoTakesWholePacketsAndCountsTheRest) {
    EXPECT_EQ(switch_hooks.echo(true), 1);   // nowhere to echo to
    EXPECT_TRUE(box_shown("!! ERROR !!"));
    network_output(1024);
    ASSERT_EQ(switch_hooks.echo(true), 0);
    EXPECT_TRUE(zyr.SystemFlags & SF_ECHO);
    for (int i = 0; i < 15; i++) {
        packet(i);
        EXPECT_EQ(echo_packet(), 0);
    }
    EXPECT_EQ(net_out_fill(), 15u * 64u);
    EXPECT_EQ(zyr_stat(ST_BYTES_SENT), 15u * 64u);
    packet(15);   // 64 more would fill the 1024-byte ring
    EXPECT_EQ(echo_packet(), -2);
    EXPECT_EQ(net_out_fill(), 15u * 64u);
    EXPECT_EQ(zyr_stat(ST_ECHO_NOT_ECHOED), 64u);
    // No packet waiting: nothing is sent.
    EXPECT_EQ(echo_packet(), 0);
    // The output closes while echo is on: each echo fails quietly.
    net_stop_server();
    size_t shown = fake_ui_boxes().size();
    packet(16);
    EXPECT_EQ(echo_packet(), -1);
    EXPECT_EQ(fake_ui_boxes().size(), shown);
}

TEST_F(Echo, TestDataIsEchoedOncePerPeriod) {
    network_output();
    switch_hooks.echo(true);
    zyr.IoFlags |= IO_TEST_DATA;
    uint32_t period = PckMsecsPeriod(&com_settings[com_output_port], 64);
    packet(0);
    echo_packet();
    packet(1);
    zyr.zyr_msecs += period - 1;
    echo_packet();
    EXPECT_EQ(net_out_fill(), 64u);
    packet(2);
    zyr.zyr_msecs += 1;
    echo_packet();
    EXPECT_EQ(net_out_fill(), 128u);
}

TEST_F(Echo, EchoIsRefusedWhileCommandOutputIsOn) {
    network_output();
    zyr.SystemFlags |= SF_COMMAND_OUT;
    EXPECT_EQ(switch_hooks.echo(true), 1);
    EXPECT_FALSE(zyr.SystemFlags & SF_ECHO);
    EXPECT_NE(fake_ui_boxes().back().text.find("Cannot echo data. Switch"), std::string::npos);
}

TEST_F(Echo, CommandDialogStaysOpenAndClearsAGoodEntry) {
    answer_switch("&On");
    fake_ui_dialog_edit("", "tc 5");
    fake_ui_answer(IDOK);   // OK to send
    fake_ui_dialog_edit("", "tx 1");
    fake_ui_dialog_press(IDCANCEL);
    switch_command(CMD_COMMAND_OUT);
    EXPECT_EQ(read_file("deftc.bin"), std::string("\0\0\x05", 3));
    EXPECT_TRUE(box_shown("Command Parser Error", "Invalid Command, not 'tc' or 'tcs'"));
    EXPECT_FALSE(zyr.SystemFlags & SF_COMMAND_OUT);
    const auto& d = fake_ui_dialogs();
    ASSERT_GE(d.size(), 2u);
    EXPECT_EQ(d.back().title, "Command output");
    EXPECT_EQ(fake_ui_dialog_answers_left(), 0);
}
