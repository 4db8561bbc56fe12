#include "engine/cycle.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/engine_support.h"

class Cycle : public ::testing::Test {
public:
    struct Calls {
        int get_packet, filter, outputs, display, timeout;
    };
    static inline Calls calls;

protected:
    void SetUp() override {
        reset_engine();
        clock_start();
        calls = {};
    }
    void TearDown() override {
        reset_engine();
        plat_fake_clock_off();
    }
    // Advance the wall clock and run one tick.
    void tick_after(uint64_t ms) {
        plat_fake_clock_advance(ms);
        zyr_tick();
    }
};

TEST_F(Cycle, LoopTimeLimitsAndDueAtOnce) {
    struct Case {
        uint32_t set, stored;
    };
    static const Case kCases[] = {{0, 1}, {1, 1}, {10, 10}, {4096000, 4096000}, {4096001, 4096000}};
    zyr.zyr_msecs = 5000;
    for (const Case& c : kCases) {
        cycle_set_loop_time(c.set);
        EXPECT_EQ(zyr.loop_msecs, c.stored);
        EXPECT_EQ(cyc.next_due, 4999u);
    }
    zyr.zyr_msecs = 0;
    cycle_set_loop_time(10);
    EXPECT_EQ(cyc.next_due, 0u);
}

TEST_F(Cycle, LoopTimeKeys) {
    struct Case {
        uint32_t before;
        char key;
        uint32_t after;
        bool ok;
    };
    static const Case kCases[] = {
        {10, '+', 5, true},    {3, '+', 2, true},   {2, '+', 1, true},   {1, '+', 1, true},
        {10, '-', 20, true},   {1, '-', 2, true},   {3000000, '-', 4096000, true},
        {4096000, '-', 4096000, true},
    };
    for (const Case& c : kCases) {
        zyr.loop_msecs = c.before;
        EXPECT_EQ(cycle_loop_key(c.key), c.ok);
        EXPECT_EQ(zyr.loop_msecs, c.after) << c.before << c.key;
    }
}

TEST_F(Cycle, PassesPerTick) {
    struct Case {
        uint32_t loop;
        bool overclock;
        int os_code;
        uint32_t msecs, last_tick;
        uint32_t passes;
    };
    static const Case kCases[] = {
        {10, false, 3, 100, 0, 1},     {20, false, 3, 100, 0, 1},    {3, false, 3, 100, 0, 3},
        {1, false, 3, 100, 0, 10},     {3, true, 3, 100, 0, 12},     {10, true, 3, 100, 0, 4},
        {3, true, 2, 4999, 4900, 1},   // first five seconds
        {3, true, 2, 6030, 6000, 10},  // 30 ms since the last tick
        {1, true, 2, 9000, 6000, 60},  // capped at 60 ms
        {20, true, 2, 6010, 6000, 1},
    };
    for (const Case& c : kCases) {
        zyr.loop_msecs = c.loop;
        zyr.SystemFlags = c.overclock ? (uint32_t)SF_OVERCLOCK : 0u;
        cyc.os_code = c.os_code;
        zyr.zyr_msecs = c.msecs;
        cyc.last_tick_time = c.last_tick;
        EXPECT_EQ(cycle_passes_for_tick(), c.passes) << c.loop << " " << c.overclock << " " << c.os_code;
    }
    // Without a later clock the last interval is used again.
    cyc.os_code = 2;
    zyr.SystemFlags = SF_OVERCLOCK;
    zyr.loop_msecs = 5;
    zyr.zyr_msecs = 7000;
    cyc.last_tick_time = 6975;
    EXPECT_EQ(cycle_passes_for_tick(), 5u);
    EXPECT_EQ(cycle_passes_for_tick(), 5u);
}

TEST_F(Cycle, TimeJumps) {
    struct Case {
        int64_t jump_secs;
        int result;
        const char* line;
    };
    static const Case kCases[] = {
        {-3600, 2, "Time backward jump old "},
        {8000, 0, nullptr},
        {8001, 3, "Time forward jump old "},
    };
    for (const Case& c : kCases) {
        reset_engine();
        clock_start();
        tick_after(20);
        zyr.SystemFlags = 0;
        if (c.jump_secs < 0)
            plat_fake_clock_set(kTestWallStart - (uint64_t)(-c.jump_secs) * 1000 + 20);
        else
            plat_fake_clock_set(kTestWallStart + (uint64_t)c.jump_secs * 1000 + 20);
        clock_update();
        EXPECT_EQ(time_monitor(), c.result) << c.jump_secs;
        std::string log = read_file("debugmsg");
        if (c.line) {
            EXPECT_NE(log.find(c.line), std::string::npos) << log;
            EXPECT_TRUE(zyr.SystemFlags & SF_RESET_STATS);
            ASSERT_EQ(fake_ui_boxes().size(), 1u);
            EXPECT_EQ(fake_ui_boxes()[0].caption, "Warning");
            EXPECT_EQ(fake_ui_boxes()[0].text,
                      "The system time has jumped.\nDate/time modified online ?\nAll statistics have been reset.");
            EXPECT_TRUE(fake_ui_boxes()[0].nonblocking);
            EXPECT_EQ(diag.last_code, 21);
            EXPECT_EQ(fake_ui_beeps(), 1);
        } else {
            EXPECT_TRUE(fake_ui_boxes().empty());
            EXPECT_EQ(log.find("jump"), std::string::npos);
        }
    }
}

TEST_F(Cycle, SecondJumpWhileTheBoxIsOpenUsesTheMessageLine) {
    tick_after(20);
    plat_fake_clock_advance(9000 * 1000ull);
    zyr_tick();
    plat_fake_clock_advance(9000 * 1000ull);
    zyr_tick();
    EXPECT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_NE(std::string(diag.msgline).find("ZYR time jump"), std::string::npos);
}

TEST_F(Cycle, ClockWrapIsNotAJump) {
    cyc.tm_first = false;
    cyc.tm_prev_caltime = 0xFFFFFFF0LL;
    zyr.caltime = 5;
    EXPECT_EQ(time_monitor(), 0);
    EXPECT_TRUE(zyr.SystemFlags & SF_RESET_STATS);
    EXPECT_NE(read_file("debugmsg").find("49.17:02:47.3 elapsed time wrapover"), std::string::npos);
}

TEST_F(Cycle, NeverCatchesUpMoreThanASecond) {
    tick_after(20);
    uint32_t due = cyc.next_due;
    plat_fake_clock_advance(5000);
    zyr_tick();
    // Pulled up to now: the pass after it is due.
    EXPECT_EQ(cyc.next_due, zyr.zyr_msecs);
    EXPECT_GT(cyc.next_due, due + 4000);
}

static void count_get_packet() {
    Cycle::calls.get_packet++;
    zyr.zyrfr_cnt++;
}
static bool reject_all() {
    Cycle::calls.filter++;
    return false;
}
static bool accept_third() { return ++Cycle::calls.filter == 3; }
static void count_outputs() { Cycle::calls.outputs++; }
static void count_display() { Cycle::calls.display++; }
static void count_timeout() { Cycle::calls.timeout++; }

TEST_F(Cycle, AtMostFiftyPacketsAPassAndOneAccepted) {
    cycle_hooks.get_next_packet = count_get_packet;
    cycle_hooks.packet_filter = reject_all;
    cycle_hooks.packet_outputs = count_outputs;
    tick_after(20);
    EXPECT_EQ(calls.get_packet, 50);
    EXPECT_EQ(calls.outputs, 0);
    calls = {};
    cycle_hooks.packet_filter = accept_third;
    tick_after(10);
    EXPECT_EQ(calls.get_packet, 3);
    EXPECT_EQ(calls.outputs, 1);
    EXPECT_TRUE(zyr.SystemFlags & SF_ACCEPTED);
}

TEST_F(Cycle, StepModeHoldsAcquisitionButNotTheDisplay) {
    cycle_hooks.get_next_packet = count_get_packet;
    cycle_hooks.display_stage = count_display;
    cycle_hooks.input_timeout = count_timeout;
    cycle_step_mode(true);
    tick_after(20);  // this pass turns the request into the step-mode bit
    calls = {};
    for (int i = 0; i < 5; i++) tick_after(10);
    EXPECT_TRUE(zyr.SystemFlags & SF_STEP_MODE);
    EXPECT_EQ(calls.get_packet, 0);
    EXPECT_EQ(calls.timeout, 0);
    EXPECT_EQ(calls.display, 5);
    cycle_single_step();
    cycle_single_step();
    for (int i = 0; i < 5; i++) tick_after(10);
    EXPECT_EQ(calls.timeout, 2);
    cycle_step_mode(false);
    tick_after(10);
    EXPECT_FALSE(zyr.SystemFlags & SF_STEP_MODE);
    EXPECT_EQ(cyc.step_count, 0u);
}

TEST_F(Cycle, StopRequestsHoldStepMode) {
    cyc.stop_requests = 1;
    tick_after(20);
    EXPECT_TRUE(zyr.SystemFlags & SF_STEP_MODE);
    cyc.stop_requests = 0;
    tick_after(10);
    EXPECT_FALSE(zyr.SystemFlags & SF_STEP_MODE);
}

TEST_F(Cycle, FirstDuePassShowsTheStartupStatus) {
    zyr.SystemFlags = SF_STARTUP_STATUS;
    tick_after(5);  // not due yet (next due 10)
    EXPECT_TRUE(zyr.SystemFlags & SF_STARTUP_STATUS);
    tick_after(10);
    EXPECT_FALSE(zyr.SystemFlags & SF_STARTUP_STATUS);
    EXPECT_TRUE(zyr.SystemFlags & SF_PAGE_CHANGED);
    EXPECT_TRUE(zyr.SystemFlags & SF_SERIAL_CHANGED);
    EXPECT_STREQ(diag.status1, "  0010 NO ERRORS. LAST ERROR AT ");
}

TEST_F(Cycle, DisplayStageOffSkipsDrawingAndHoldsABeep) {
    cycle_hooks.display_stage = count_display;
    zyr.work_mask &= ~WM_DISPLAY;
    zyr.SystemFlags |= SF_BEEPER;
    for (int i = 0; i < 100; i++) tick_after(10);  // one second
    EXPECT_EQ(calls.display, 0);
    // Phases of 400 ms, a beep at the start of every second one.
    EXPECT_EQ(fake_ui_beeps(), 1);
    for (int i = 0; i < 80; i++) tick_after(10);
    EXPECT_EQ(fake_ui_beeps(), 2);
}

TEST_F(Cycle, BeeperSilentWithoutSoundOrRequests) {
    cyc.beep_requests = 1;
    for (int i = 0; i < 200; i++) tick_after(10);
    EXPECT_EQ(fake_ui_beeps(), 0);
    zyr.SystemFlags |= SF_BEEPER;
    cyc.beep_requests = 0;
    for (int i = 0; i < 200; i++) tick_after(10);
    EXPECT_EQ(fake_ui_beeps(), 0);
}

TEST_F(Cycle, StatisticsResetAndRates) {
    tick_after(20);
    zyr_stat(ST_BYTES_READ) = 1000;
    zyr_stat(ST_SYNC_LOSSES) = 4;
    zyr.zyrfr_cnt = 25;
    for (int i = 0; i < 100; i++) tick_after(10);
    EXPECT_EQ(zyr_stat(ST_BYTES_READ_SEC), 1000u);
    EXPECT_EQ(zyr_stat(ST_PACKETS_READ_RATE), 250u);  // 25 a second, in tenths
    zyr.SystemFlags |= SF_RESET_STATS;
    for (int i = 0; i < 100; i++) tick_after(10);
    EXPECT_FALSE(zyr.SystemFlags & SF_RESET_STATS);
    EXPECT_EQ(zyr_stat(ST_SYNC_LOSSES), 0u);
    EXPECT_EQ(zyr_stat(ST_BYTES_READ), 0u);
    EXPECT_EQ(zyr_stat(ST_PACKETS_READ_RATE), 0u);
}

static int broken_pair() { return 4; }

TEST_F(Cycle, TaskMonitorSkipsTwoCallsThenChecks) {
    zyr_stat(ST_PORTS_1) = 3;
    zyr_stat(ST_PORTS_2) = 5;
    zyr_stat(ST_PORTS_3) = 7;
    EXPECT_EQ(task_monitor(), 0);
    EXPECT_EQ(task_monitor(), 0);
    EXPECT_EQ(task_monitor(), 0);
    zyr_stat(ST_PORTS_3) = 8;
    EXPECT_EQ(task_monitor(), 1);
    EXPECT_EQ(zyr_stat(ST_TASK_MONITOR), 1u);
    EXPECT_EQ(read_file("debugmsg").find("task_monitor"), std::string::npos);
    cycle_hooks.plot_pair_check = broken_pair;
    EXPECT_EQ(task_monitor(), 4);
    std::string log = read_file("debugmsg");
    EXPECT_NE(log.find("ZYR task_monitor error 04\r\n3 5 8\r\n"), std::string::npos);
    // The same result again is not logged twice.
    task_monitor();
    EXPECT_EQ(read_file("debugmsg"), log);
}

TEST_F(Cycle, LoopRateMeter) {
    for (int i = 1; i <= 32; i++) {
        zyr.zyr_msecs = (uint32_t)(i * 10);
        loop_rate_meter();
    }
    // 32 passes in 320 ms: 10 ms each.
    EXPECT_EQ(cyc.meanallfr_usecs, 10000u);
}

TEST_F(Cycle, FrameTimingsFile) {
    strcpy(zyr.startdir, ".");
    remove("frtiming.txt");
    zyr.SystemFlags |= SF_FRAME_TIMINGS;
    cyc.current_page = 10;
    for (int i = 0; i < 820; i++) tick_after(10);
    zyr.SystemFlags &= ~SF_FRAME_TIMINGS;  // switched off while running
    tick_after(10);
    EXPECT_EQ(cyc.ft_file, -1);
    std::string text = read_file("frtiming.txt");
    EXPECT_NE(text.find(",\r\nClockstart = 0000 ms\r\nPage 10 20 25\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n1 10000\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n32 10000\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n>10000<\r\n"), std::string::npos);
    EXPECT_NE(text.find("Closetime = "), std::string::npos);
    EXPECT_EQ(cyc.meanfr_usecs[7], 10000u);
}

// At the longest loop times a slot's 25 intervals hold more milliseconds
// than a mean in microseconds can take in 32-bit arithmetic.
TEST_F(Cycle, FrameTimingMeansAtLongLoopTimes) {
    strcpy(zyr.startdir, ".");
    remove("frtiming.txt");
    zyr.SystemFlags |= SF_FRAME_TIMINGS;
    cyc.current_page = 10;
    cycle_set_loop_time(200000);
    for (int i = 0; i < 33 * 26; i++) tick_after(200000);
    EXPECT_EQ(cyc.meanfr_usecs[7], 200000000u);
    EXPECT_EQ(cyc.meanallfr_usecs, 200000000u);
    zyr.SystemFlags &= ~SF_FRAME_TIMINGS;
    tick_after(200000);
    std::string text = read_file("frtiming.txt");
    EXPECT_NE(text.find("\r\n7 200000000\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n>200000000<\r\n"), std::string::npos);
}
