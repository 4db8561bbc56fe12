#include "engine/alarm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/cycle.h"
#include "engine/paramrecord.h"
#include "tests/eval_support.h"

class Alarm : public ::testing::Test {
protected:
    void SetUp() override { eval_setup(); }
    void TearDown() override { eval_teardown(); }
};

static ValueCell cell_of(int type, double v, const char* text = "") {
    ValueCell c;
    memset(&c, 0, sizeof c);
    if (dt_is_text(type))
        snprintf(c.text, sizeof c.text, "%s", text);
    else
        dt_convert(DT_DOUBLE, &v, type, &c);
    return c;
}

struct LimitCase {
    const char* name;
    int type;
    double value, lower, upper;
    const char* text;   // text types: value, lower, upper separated by '|'
    uint32_t flags;
    int want;
};

static const LimitCase kLimits[] = {
    {"double inside", DT_DOUBLE, 5, 0, 10, nullptr, 0, 0},
    {"double equal to the upper limit", DT_DOUBLE, 10, 0, 10, nullptr, 0, 0},
    {"double above", DT_DOUBLE, 10.0001, 0, 10, nullptr, 0, 1},
    {"double below", DT_DOUBLE, -1, 0, 10, nullptr, 0, 1},
    {"double NaN", DT_DOUBLE, NAN, 0, 10, nullptr, 0, 1},
    {"double infinite", DT_DOUBLE, INFINITY, 0, 10, nullptr, 0, 1},
    {"float equal to the lower limit", DT_FLOAT, 0.5, 0.5, 1, nullptr, 0, 0},
    {"float NaN", DT_FLOAT, NAN, 0, 1, nullptr, 0, 1},
    {"float NaN inverted", DT_FLOAT, NAN, 0, 1, nullptr, AL_INVERT, 0},
    {"unsigned 32 above", DT_ULONG, 4000000000.0, 0, 3999999999.0, nullptr, 0, 1},
    {"signed 32 negative inside", DT_LONG, -5, -10, 0, nullptr, 0, 0},
    {"signed 32 below", DT_LONG, -11, -10, 0, nullptr, 0, 1},
    {"unsigned 16 inside", DT_USHORT, 65535, 0, 65535, nullptr, 0, 0},
    {"hex 16 above", DT_HEX16, 0x100, 0, 0xFF, nullptr, 0, 1},
    {"signed 16 below", DT_SHORT, -300, -200, 200, nullptr, 0, 1},
    {"short int read signed", DT_INT, -3, -5, 5, nullptr, 0, 0},
    {"inverted inside raises", DT_LONG, 5, 0, 10, nullptr, AL_INVERT, 1},
    {"inverted outside is normal", DT_LONG, 50, 0, 10, nullptr, AL_INVERT, 0},
    {"text inside", DT_STRING, 0, 0, 0, "BETA|ALPHA|GAMMA", 0, 0},
    {"text above", DT_STRING, 0, 0, 0, "ZULU|ALPHA|GAMMA", 0, 1},
    {"text below", DT_STRING, 0, 0, 0, "AAA|ALPHA|GAMMA", 0, 1},
    {"text equal to the upper", DT_CHARS, 0, 0, 0, "GAMMA|ALPHA|GAMMA", 0, 0},
};

TEST(LimitTest, ByDataType) {
    for (const auto& c : kLimits) {
        SCOPED_TRACE(c.name);
        ValueCell lower, upper, value;
        if (c.text) {
            std::string t = c.text;
            size_t a = t.find('|'), b = t.rfind('|');
            value = cell_of(c.type, 0, t.substr(0, a).c_str());
            lower = cell_of(c.type, 0, t.substr(a + 1, b - a - 1).c_str());
            upper = cell_of(c.type, 0, t.substr(b + 1).c_str());
        } else {
            value = cell_of(c.type, c.value);
            lower = cell_of(c.type, c.lower);
            upper = cell_of(c.type, c.upper);
        }
        EXPECT_EQ(limit_test(c.type, &value, &upper, &lower, c.flags), c.want);
    }
}

// A port on byte 20 of the packet with alarm limits 0..100.
static ZyrPort* alarm_port(uint32_t opts, const char* file = "") {
    PortRecord r = eval_record(VIEW_PACKETHEADER, 20, "%hu", "%hu", PF_ENABLE | PF_ALARM);
    r.alarm_upper.u16 = 100;
    r.alarm_lower.u16 = 0;
    r.alarm_flags = opts;
    snprintf(r.alarm_filename, sizeof r.alarm_filename, "%s", file);
    return make_port(r);
}

static void packet_value(uint16_t v) { new_packet(20, {(uint8_t)v, (uint8_t)(v >> 8)}); }

TEST_F(Alarm, AValueAboveTheUpperLimitRaisesOneBeepRequestPerAlarm) {
    ZyrPort* p = alarm_port(AL_SOUND | AL_BLINK);
    eval_run(0);   // on screen
    uint32_t cycle = 1;
    packet_value(100);
    eval_run(cycle++);
    EXPECT_FALSE(p->h.flags & RT_IN_ALARM);
    for (uint16_t v : {101, 150, 200, 101}) {
        packet_value(v);
        eval_run(cycle++);
        EXPECT_TRUE(p->h.flags & RT_IN_ALARM);
        EXPECT_TRUE(p->marks & MARK_ALARM);
        EXPECT_EQ(cyc.beep_requests, 1);
    }
    packet_value(50);
    eval_run(cycle++);
    EXPECT_FALSE(p->h.flags & RT_IN_ALARM);
    EXPECT_FALSE(p->marks & MARK_ALARM);
    EXPECT_EQ(cyc.beep_requests, 0);
    packet_value(101);
    eval_run(cycle++);
    EXPECT_EQ(cyc.beep_requests, 1);
}

TEST_F(Alarm, ReturningToNormalForcesOneRedraw) {
    int draws = 0;
    static int* counter;
    counter = &draws;
    eval_draw.draw_port = [](ZyrPort*) { (*counter)++; };
    ZyrPort* p = alarm_port(AL_SOUND);
    eval_run(0);
    packet_value(200);
    eval_run(1);
    draws = 0;
    packet_value(60);
    eval_run(2);
    EXPECT_EQ(draws, 1);
    EXPECT_FALSE(p->h.flags & (RT_FORCED | RT_REDRAW));
}

TEST_F(Alarm, BlinkingAlarmsAreRefreshedEvery400ms) {
    std::vector<uint32_t> drawn;
    static std::vector<uint32_t>* log;
    log = &drawn;
    eval_draw.draw_port = [](ZyrPort*) { log->push_back(zyr.zyr_msecs); };
    alarm_port(AL_BLINK);
    eval_run(0);
    zyr.zyr_msecs = 1000;
    packet_value(500);
    eval_run(1);
    for (uint32_t t = 1010; t <= 2000; t += 10) {
        zyr.zyr_msecs = t;
        eval_run(t / 10);
    }
    // The first draw shows the new value (and refreshes); later ones come
    // only from the refresh, once more than 400 ms have passed.
    EXPECT_EQ(drawn, (std::vector<uint32_t>{1000, 1410, 1820}));
}

TEST_F(Alarm, AStopAlarmHoldsStepModeUntilTheValueReturns) {
    static std::vector<uint16_t> stream;
    static size_t next;
    stream = {10, 20, 300, 400, 500, 50, 60};
    next = 0;
    cycle_hooks.get_next_packet = [] {
        if (next >= stream.size()) return;
        uint16_t v = stream[next++];
        pkt.buf[20] = (uint8_t)v;
        pkt.buf[21] = (uint8_t)(v >> 8);
        zyr.zyrfr_cnt++;
    };
    ZyrPort* p = alarm_port(AL_STEPMODE);
    auto pass = [] {
        plat_fake_clock_advance(10);
        cycle_pass();
    };
    for (int i = 0; i < 4; i++) pass();
    EXPECT_EQ(p->value.u16, 300);
    EXPECT_EQ(cyc.stop_requests, 1);
    EXPECT_TRUE(zyr.SystemFlags & SF_STEP_MODE);
    for (int i = 0; i < 5; i++) pass();
    EXPECT_EQ(next, 3u);   // no packet without a step
    cycle_single_step();
    for (int i = 0; i < 5; i++) pass();
    EXPECT_EQ(next, 4u);   // one step, one packet
    EXPECT_EQ(p->value.u16, 400);
    cycle_single_step();
    pass();
    cycle_single_step();
    pass();
    EXPECT_EQ(p->value.u16, 50);
    EXPECT_EQ(cyc.stop_requests, 0);
    pass();
    EXPECT_FALSE(zyr.SystemFlags & SF_STEP_MODE);
    for (int i = 0; i < 3; i++) pass();
    EXPECT_EQ(p->value.u16, 60);
}

TEST_F(Alarm, APageChangeInAlarmGivesItsRequestsBack) {
    alarm_port(AL_SOUND | AL_STEPMODE);
    eval_run(0);
    packet_value(1000);
    eval_run(1);
    EXPECT_EQ(cyc.beep_requests, 1);
    EXPECT_EQ(cyc.stop_requests, 1);
    eval_request_page(12);
    eval_run(2);
    EXPECT_EQ(cyc.beep_requests, 0);
    EXPECT_EQ(cyc.stop_requests, 0);
    EXPECT_EQ(port_state.alarm_ports, 0);
}

TEST_F(Alarm, RecordOnAlarmWritesOnlyWhileInAlarm) {
    setenv("TZ", "UTC", 1);
    tzset();
    clock_start();
    ZyrPort* p = alarm_port(AL_FILE, "alarm.txt");
    eval_run(0);
    uint32_t cycle = 1;
    for (uint16_t v : {5, 120, 130, 130, 40, 45, 140}) {
        plat_fake_clock_advance(250);
        clock_update();
        packet_value(v);
        eval_run(cycle++);
    }
    EXPECT_TRUE(p->h.flags & RT_RECORD_HELD);
    page_free_all();
    EXPECT_EQ(read_file("alarm.txt"),
              "Filename = alarm.txt, Opentime = Tue Nov 14 22:13:20 2023,\r\nClockstart = 0000 ms\r\n"
              "0.500 120\r\n0.750 130\r\n"
              "Filename = alarm.txt, Closetime = Tue Nov 14 22:13:21 2023,\r\nClockstop = 1000 ms\r\n"
              "Filename = alarm.txt, Opentime = Tue Nov 14 22:13:21 2023,\r\nClockstart = 1000 ms\r\n"
              "1.750 140\r\n"
              "Filename = alarm.txt, Closetime = Tue Nov 14 22:13:21 2023,\r\nClockstop = 1000 ms\r\n");
}

// An alarm whose record file cannot be opened reports it and marks
// nothing: the port does not record and the display does not show it as
// recorded.
TEST_F(Alarm, AFailedAlarmRecordFileMarksNothing) {
    clock_start();
    ZyrPort* p = alarm_port(AL_FILE, "/nonexistent-dir-for-zyr/alarm.txt");
    eval_run(0);
    uint32_t cycle = 1;
    for (uint16_t v : {5, 120, 130, 140}) {
        plat_fake_clock_advance(250);
        clock_update();
        packet_value(v);
        eval_run(cycle++);
        EXPECT_FALSE(p->h.flags & (RT_RECORD | RT_RECORD_HELD)) << v;
        EXPECT_FALSE(p->marks & (MARK_RECORDING | MARK_RECORDED)) << v;
    }
    EXPECT_EQ(diag.last_code, 14);
    EXPECT_EQ(p->rec_slot, -1);
}
