#include "engine/input.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/playback.h"
#include "engine/serialcfg.h"
#include "tests/engine_support.h"
#include "tests/packet_support.h"

class Input : public ::testing::Test {
protected:
    void SetUp() override {
        reset_engine();
        playback_reset();
        input_reset();
        serial_defaults();
        ASSERT_EQ(packet_init(), 0);
        setup_test_description();
        strcpy(zyr.startdir, ".");
    }
    void TearDown() override {
        playback_reset();
        input_reset();
        reset_engine();
    }
};

TEST_F(Input, CurrentSourceByCodeOrder) {
    char prompt[32];
    EXPECT_EQ(current_input_source(0, prompt), SRC_NONE);
    zyr.IoFlags = IO_SERIAL_IN | IO_RAW_PLAYBACK | IO_RAW_RECORD;
    EXPECT_EQ(current_input_source(0, prompt), SRC_RAW);
    EXPECT_STREQ(prompt, "Error: Raw");
    EXPECT_EQ(current_input_source(IO_RAW_PLAYBACK, prompt), SRC_SERIAL);
    EXPECT_EQ(IO_INPUT_MASK, IO_TEST_DATA | IO_USER_BYTE_IN | IO_USER_PACKET_IN | IO_RAW_PLAYBACK | IO_COMP_PLAYBACK |
                                 IO_ASCII_PLAYBACK | IO_SERIAL_IN | IO_NET_IN);
}

TEST_F(Input, ConflictQuestion) {
    auto p = test_packet(0);
    write_file("play.dat", std::string(p.begin(), p.end()));
    ASSERT_EQ(playback_open(PB_RAW, "play.dat"), 0);
    fake_ui_answer(IDNO);
    EXPECT_EQ(input_conflict_check(IO_SERIAL_IN), SRC_RAW);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Data Input");
    EXPECT_EQ(fake_ui_boxes()[0].text,
              "Data is already incoming from:\nRaw file playback\nContinuing will switch it off\nDo you wish to continue ?\n");
    EXPECT_TRUE(zyr.IoFlags & IO_RAW_PLAYBACK);
    fake_ui_answer(IDYES);
    EXPECT_EQ(input_conflict_check(IO_SERIAL_IN), 0);
    EXPECT_FALSE(zyr.IoFlags & IO_RAW_PLAYBACK);
    EXPECT_EQ(playback.slot[PB_RAW], -1);
    // Nothing else on: no question.
    EXPECT_EQ(input_conflict_check(IO_SERIAL_IN), 0);
    EXPECT_EQ(fake_ui_boxes().size(), 2u);
}

TEST_F(Input, TestDataPeriodFollowsTheOutputPort) {
    EXPECT_EQ(PckMsecsPeriod(&com_settings[com_output_port], 64), 61u);
    ComSettings fast = com_settings[1];
    fast.baud = 11520;  // 115200
    EXPECT_EQ(PckMsecsPeriod(&fast, 64), 6u);
    ComSettings even = com_settings[1];
    even.parity = COM_PARITY_EVEN;
    even.stop = COM_STOP_2;
    EXPECT_EQ(PckMsecsPeriod(&even, 64), 64u * 11 * 1000 / 9600 + 1);
    even.baud = 0;
    EXPECT_EQ(PckMsecsPeriod(&even, 64), 0u);
    EXPECT_EQ(diag.last_code, 21);
}

TEST_F(Input, TestDataPacketsComeEvery61msAndCheckGood) {
    zyr.IoFlags = IO_TEST_DATA;
    prepare_test_packet();
    clock_start();
    int packets = 0;
    for (int ms = 0; ms <= 610; ms++) {
        plat_fake_clock_set(kTestWallStart + (uint64_t)ms);
        clock_update();
        if (get_next_packet() == 0) {
            packets++;
            EXPECT_EQ(pkt.len, 64);
            EXPECT_EQ(pkt.buf[0], 0xEB);
            EXPECT_EQ(pkt.buf[1], 0x90);
            EXPECT_EQ(pkt.buf[pkt_layout.counter_pos], (uint8_t)packets);
            EXPECT_EQ(pkt.buf[pkt_layout.header_len + 3], 3);  // data byte i is i
            EXPECT_EQ(packet_check_sum(pkt.buf, pkt.len), 0);
        }
    }
    EXPECT_EQ(packets, 11);  // at 0, 61, ..., 610
    EXPECT_EQ(zyr.zyrfr_cnt, 11u);
    EXPECT_EQ(zyr_stat(ST_BYTES_READ), 11u * 64);
}

TEST_F(Input, NoSourceMeansNoPacketAndTheFlags) {
    EXPECT_EQ(get_next_packet(), 6);
    EXPECT_EQ(zyr.SystemFlags & (SF_SYNC_LOST | SF_NO_PACKET), (uint32_t)(SF_SYNC_LOST | SF_NO_PACKET));
    zyr.IoFlags = IO_USER_PACKET_IN;
    EXPECT_EQ(get_next_packet(), 6);
}

TEST_F(Input, StatusTexts) {
    struct Case {
        uint32_t io;
        const char* in_kind;
        const char* in_desc;
        const char* out_kind;
        const char* out_format;
    };
    static const Case kCases[] = {
        {0, "NONE", "NO INPUT SOURCE", "NONE", ""},
        {IO_TEST_DATA, "TEST", "TESTDATA", "NONE", ""},
        {IO_SERIAL_IN | IO_SERIAL_OUT, "SERIAL", "COM1", "SERIAL", "RAW"},
        {IO_USER_BYTE_IN | IO_USER_BYTE_OUT | IO_NET_OUT, "APIUB", "API user defined byte input", "TCPIP", "RAW"},
    };
    for (const Case& c : kCases) {
        zyr.IoFlags = c.io;
        telmconfig_refresh();
        EXPECT_STREQ(telmconfig.in_kind, c.in_kind);
        EXPECT_STREQ(telmconfig.in_desc, c.in_desc);
        EXPECT_STREQ(telmconfig.out_kind, c.out_kind);
        EXPECT_STREQ(telmconfig.out_format, c.out_format);
    }
}

TEST_F(Input, RecordFileFormatTexts) {
    ASSERT_EQ(record_open(PB_RAW, "a-very-long-directory-name-for-the-test/../rec.dat", "w"), -1);
    ASSERT_EQ(record_open(PB_RAW, "rec.dat", "w"), 0);
    telmconfig_refresh();
    EXPECT_STREQ(telmconfig.out_kind, "FILE");
    EXPECT_STREQ(telmconfig.out_desc, "rec.dat");
    EXPECT_STREQ(telmconfig.out_format, "RAW");
    ASSERT_EQ(record_open(PB_COMPRESSED, "rec.bin", "w"), 0);
    telmconfig_refresh();
    EXPECT_STREQ(telmconfig.out_format, "R,C");
    ASSERT_EQ(record_open(PB_ASCII, "rec.txt", "w"), 0);
    telmconfig_refresh();
    EXPECT_STREQ(telmconfig.out_format, "R,A,C");
}

TEST_F(Input, PlaybackNameKeepsItsTail) {
    std::string name = "0123456789abcdefghij0123456789ABCDEFGHIJ.dat";
    auto p = test_packet(0);
    write_file(name.c_str(), std::string(p.begin(), p.end()));
    ASSERT_EQ(playback_open(PB_RAW, name.c_str()), 0);
    telmconfig_refresh();
    EXPECT_STREQ(telmconfig.in_desc, name.substr(name.size() - 32).c_str());
    EXPECT_STREQ(telmconfig.in_format, "RAW");
}

TEST_F(Input, VantorCycleRecordsTestDataPackets) {
    input_register();
    clock_start();
    zyr.IoFlags = IO_TEST_DATA;
    prepare_test_packet();
    remove("td.dat");
    remove("td.txt");
    ASSERT_EQ(record_open(PB_RAW, "td.dat", "w"), 0);
    ASSERT_EQ(record_open(PB_ASCII, "td.txt", "w"), 0);
    for (int i = 0; i < 100; i++) {  // one second
        plat_fake_clock_advance(10);
        zyr_tick();
    }
    record_close(PB_RAW);
    record_close(PB_ASCII);
    EXPECT_GE(zyr.zyrfr_cnt, 16u);
    EXPECT_LE(zyr.zyrfr_cnt, 17u);
    EXPECT_EQ(read_file("td.dat").size(), zyr.zyrfr_cnt * 64u);
    std::string text = read_file("td.txt");
    EXPECT_EQ(text.substr(0, 9), "\r\n\r\neb 90");
    // The raw recording plays back to the same count of packets.
    uint32_t before = zyr.zyrfr_cnt;
    zyr.IoFlags = 0;
    ASSERT_EQ(playback_open(PB_RAW, "td.dat"), 0);
    while (zyr.IoFlags & IO_RAW_PLAYBACK) get_next_packet();
    EXPECT_EQ(zyr.zyrfr_cnt - before, before);
}

TEST_F(Input, UserPacketOutputCounts) {
    input_register();
    clock_start();
    zyr.IoFlags = IO_TEST_DATA | IO_USER_PACKET_OUT;
    prepare_test_packet();
    for (int i = 0; i < 20; i++) {
        plat_fake_clock_advance(10);
        zyr_tick();
    }
    EXPECT_GE(zyr.zyrfr_cnt, 3u);
    EXPECT_EQ(zyr_stat(ST_PACKETS_SENT), zyr.zyrfr_cnt);
    EXPECT_EQ(zyr_stat(ST_BYTES_SENT), zyr.zyrfr_cnt * 64);
}

static int g_timeout_result;
static int timeout_reported() { return g_timeout_result; }

// The serial input timeout is an error only while nothing else feeds the
// packet stage; an output timeout never is.
TEST_F(Input, TimeoutErrorOnlyWithoutAnotherSource) {
    struct Case {
        int timeout;
        uint32_t io;
        int result;
        bool error6;
    };
    const Case cases[] = {
        {SERIAL_NO_TIMEOUT, 0, 0, false},
        {SERIAL_INPUT_TIMEOUT, 0, 6, true},
        {SERIAL_INPUT_TIMEOUT, IO_SERIAL_OUT, 6, true},
        {SERIAL_INPUT_TIMEOUT, IO_TEST_DATA, 6, false},
        {SERIAL_INPUT_TIMEOUT, IO_RAW_PLAYBACK, 6, false},
        {SERIAL_INPUT_TIMEOUT, IO_COMP_PLAYBACK, 6, false},
        {SERIAL_INPUT_TIMEOUT, IO_ASCII_PLAYBACK, 6, false},
        {SERIAL_INPUT_TIMEOUT, IO_USER_BYTE_IN, 6, false},
        {SERIAL_INPUT_TIMEOUT, IO_USER_PACKET_IN, 6, false},
        {SERIAL_OUTPUT_TIMEOUT, 0, 6, false},
    };
    input_hooks.serial_timeout_check = timeout_reported;
    for (const Case& c : cases) {
        diag.last_code = 0;
        g_timeout_result = c.timeout;
        zyr.IoFlags = c.io;
        EXPECT_EQ(input_timeout_check(), c.result) << c.timeout << " " << c.io;
        EXPECT_EQ(diag.last_code == 6, c.error6) << c.timeout << " " << c.io;
    }
}

static uint8_t reversed(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; i++)
        if (b & (1 << i)) r |= (uint8_t)(0x80 >> i);
    return r;
}

// With exchange bits on, every byte of a delivered packet comes out with
// its bit order reversed; the test packet's own checks still pass on the
// bytes as they were made.
TEST_F(Input, ExchangeBitsReversesEveryDeliveredByte) {
    zyr.IoFlags = IO_TEST_DATA | IO_EXCHANGE_BITS;
    prepare_test_packet();
    clock_start();
    ASSERT_EQ(get_next_packet(), 0);
    ASSERT_EQ(pkt.len, 64);
    EXPECT_EQ(pkt.buf[0], 0xD7);   // 0xEB
    EXPECT_EQ(pkt.buf[1], 0x09);   // 0x90
    for (int i = pkt_layout.header_len; i < pkt.len; i++)
        EXPECT_EQ(pkt.buf[i], reversed((uint8_t)(i - pkt_layout.header_len))) << i;
    zyr.IoFlags = IO_TEST_DATA;
    plat_fake_clock_set(kTestWallStart + 1000);
    clock_update();
    ASSERT_EQ(get_next_packet(), 0);
    EXPECT_EQ(pkt.buf[0], 0xEB);
}
