#include "engine/paramrecord.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "tests/eval_support.h"

class ParamRecord : public ::testing::Test {
protected:
    void SetUp() override {
        eval_setup();
        for (const char* f : {"temp.txt", "same.txt", "other.txt", "text.txt"}) remove(f);
        setenv("TZ", "UTC", 1);
        tzset();
        clock_start();
    }
    void TearDown() override { eval_teardown(); }
    // Advances the clock by ms and runs one evaluation with a new packet.
    void packet_at(uint32_t ms, int at, const std::vector<uint8_t>& b) {
        plat_fake_clock_advance(ms);
        clock_update();
        new_packet(at, b);
        eval_run(++cycle);
    }
    uint32_t cycle = 0;
};

static PortRecord recorded(const char* file, int byteindex, const char* raw, const char* disp) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, byteindex, raw, disp, PF_ENABLE | PF_RECORD);
    snprintf(r.filename, sizeof r.filename, "%s", file);
    return r;
}

static const char kOpen[] = "Filename = temp.txt, Opentime = Tue Nov 14 22:13:20 2023,\r\nClockstart = 0000 ms\r\n";

TEST_F(ParamRecord, EveryChangedValueIsOneLineThatBeginsWithItsTime) {
    ZyrPort* p = make_port(recorded("temp.txt", 8, "%hd", "%8.2f"));
    ASSERT_GE(p->rec_slot, 0);
    eval_run(0);
    packet_at(40, 8, {0x19, 0});
    packet_at(460, 8, {0x19, 0});   // unchanged: no line
    packet_at(500, 8, {0xF6, 0xFF});
    page_free_all();
    EXPECT_EQ(read_file("temp.txt"), std::string(kOpen) +
                                         "0.040 25.00\r\n"
                                         "1.000 -10.00\r\n"
                                         "Filename = temp.txt, Closetime = Tue Nov 14 22:13:21 2023,\r\n"
                                         "Clockstop = 1000 ms\r\n");
    EXPECT_EQ(zyr_open_count(), 0);
}

static int count(const std::string& s, const std::string& what) {
    int n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) n++;
    return n;
}

TEST_F(ParamRecord, EachOpeningAddsASection) {
    for (int run = 0; run < 2; run++) {
        make_port(recorded("temp.txt", 8, "%hu", "%hu"));
        eval_run(0);
        packet_at(10, 8, {(uint8_t)(run + 1), 0});
        page_free_all();
    }
    std::string s = read_file("temp.txt");
    EXPECT_EQ(count(s, "Opentime"), 2);
    EXPECT_EQ(count(s, "Closetime"), 2);
    EXPECT_NE(s.find("Clockstart = 0000 ms\r\n0.010 1\r\n"), std::string::npos);
    EXPECT_NE(s.find("Clockstart = 0000 ms\r\n0.020 2\r\n"), std::string::npos);
}

TEST_F(ParamRecord, OneFileIsNeverOpenTwice) {
    ZyrPort* a = make_port(recorded("same.txt", 8, "%hu", "%hu"));
    ZyrPort* b = make_port(recorded("same.txt", 10, "%hu", "%hu"));
    EXPECT_GE(a->rec_slot, 0);
    EXPECT_EQ(b->rec_slot, -1);
    EXPECT_EQ(b->rec_kind, REC_NONE);
    EXPECT_EQ(param_record_open(b, "same.txt", REC_PARAM), -2);
    EXPECT_EQ(param_record_open(a, "other.txt", REC_PARAM), -3);
    eval_run(0);
    packet_at(10, 8, {1, 0, 2, 0});
    page_free_all();
    std::string s = read_file("same.txt");
    EXPECT_NE(s.find("0.010 1\r\n"), std::string::npos);
    EXPECT_EQ(s.find(" 2\r\n"), std::string::npos);
}

TEST_F(ParamRecord, AFileThatCannotBeOpenedIsReported) {
    ZyrPort* p = make_port(recorded("no/such/dir/x.txt", 8, "%hu", "%hu"));
    EXPECT_EQ(p->rec_slot, -1);
    EXPECT_EQ(diag.last_code, 14);
    eval_run(0);
    packet_at(10, 8, {1, 0});
    EXPECT_EQ(p->value.u16, 1);
}

TEST_F(ParamRecord, TheOperatorsCloseWritesTheTrailerLine) {
    ZyrPort* p = make_port(recorded("temp.txt", 8, "%hu", "%hu"));
    eval_run(0);
    packet_at(10, 8, {7, 0});
    param_record_close(p, true);
    packet_at(10, 8, {8, 0});
    EXPECT_EQ(read_file("temp.txt"), std::string(kOpen) + "0.010 7\r\nClosetime = Tue Nov 14 22:13:20 2023\r\n");
}

TEST_F(ParamRecord, TextValuesNeverSplitTheLine) {
    make_port(recorded("text.txt", 8, "%6s", "%6s"));
    eval_run(0);
    packet_at(10, 8, {'A', '\r', '\n', 'B', '\t', 'C'});
    page_free_all();
    std::string s = read_file("text.txt");
    EXPECT_NE(s.find("\r\n0.010 A  B C\r\n"), std::string::npos);
}
