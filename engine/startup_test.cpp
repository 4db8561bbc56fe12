#include "engine/startup.h"

#include <gtest/gtest.h>

#include <csignal>

#include <string>
#include <vector>

#include "core/symtab.h"
#include "tests/engine_support.h"

static std::vector<std::string> g_steps;

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        reset_engine();
        g_steps.clear();
        remove("zyrerr.txt");
    }
    void TearDown() override {
        exit_procedure(0);
        QOBfree(startup.recent_files);
        QOBfree(startup.port_table);
        reset_engine();
        plat_fake_clock_off();
    }
};

TEST_F(Startup, StartPageFromTheCommandLine) {
    struct Case {
        const char* arg;
        int page;
    };
    static const Case kCases[] = {
        {nullptr, 10}, {"0", 0}, {"9999", 9999}, {"10000", 10}, {"abc", 10},
        {"-1", 10},    {"12x", 10}, {"", 10},    {"42", 42},
    };
    for (const Case& c : kCases) {
        char prog[] = "vantor";
        char* argv[] = {prog, const_cast<char*>(c.arg), nullptr};
        EXPECT_EQ(parse_start_page(c.arg ? 2 : 1, argv), c.page) << (c.arg ? c.arg : "(none)");
    }
}

static int record_load(int page) {
    g_steps.push_back("load " + std::to_string(page));
    return 0;
}
static int resident_9999(int page) { return page == 9999; }

TEST_F(Startup, EarlyStartupNamesTheStartPageButLeavesItToTheFirstPass) {
    startup_hooks.load_page = record_load;
    ASSERT_EQ(early_startup(42), 0);
    EXPECT_STREQ(startup.start_page_name, "PAGE0042");
    EXPECT_EQ(startup.start_page, 42);
    EXPECT_TRUE(g_steps.empty());
    EXPECT_NE(startup.port_table, nullptr);
    EXPECT_NE(zyr.startdir[0], 0);
    EXPECT_NE(read_file("debugmsg").find("OS code = 3 platform = 2"), std::string::npos);
}

TEST_F(Startup, ZyrInitStepsInOrder) {
    startup_hooks.load_page = record_load;
    startup_hooks.page_resident = resident_9999;
    zyr.IoFlags = IO_TEST_DATA;
    ASSERT_EQ(early_startup(10), 0);
    g_steps.clear();
    ASSERT_EQ(zyr_init(), 0);
    std::vector<std::string> want = {"load 0"};
    EXPECT_EQ(g_steps, want);
    EXPECT_TRUE(symtab_built());
    EXPECT_EQ(symtab_lookup("kbstat"), 140);
    // The default packet description is published.
    EXPECT_EQ(zyr_stat(ST_SYNC_VALUE), 0x1234u);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Welcome");
    EXPECT_EQ(fake_ui_boxes()[0].flags, (unsigned)(MB_OKCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(fake_ui_beeps(), 1);
    EXPECT_TRUE(zyr.SystemFlags & SF_STARTUP_STATUS);
    EXPECT_TRUE(zyr.SystemFlags & SF_RESET_STATS);
    EXPECT_EQ(zyr_fvalid(startup.errfile), 0);
    exit_procedure(7);
    std::string text = read_file("zyrerr.txt");
    EXPECT_EQ(text.find("Filename = "), 0u);
    EXPECT_NE(text.find("/zyrerr.txt, Opentime = "), std::string::npos);
    EXPECT_NE(text.find("Clockstart = 0000 ms\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 18), "ZYR exitcode = 7\r\n");
    EXPECT_EQ(zyr_open_count(), 0);
}

TEST_F(Startup, ZyrInitFailures) {
    fake_ui_answer(IDCANCEL);
    EXPECT_EQ(zyr_init(), 101);
    reset_engine();
    strcpy(zyr.startdir, "/nonexistent-dir-for-zyr");
    EXPECT_EQ(zyr_init(), 100);
    reset_engine();
    ASSERT_EQ(early_startup(10), 0);
    ASSERT_EQ(InitSymTab(), 0);  // built already: InitSymTab refuses
    EXPECT_EQ(zyr_init(), 17);
    EXPECT_EQ(diag.last_code, 17);
    char want[40];
    centre_text(want, "InitSymTab() Fail", STATUS_LINE_LEN);
    EXPECT_STREQ(diag.status2, want);
    reset_engine();
    plat_fake_mem_available(400);
    EXPECT_EQ(zyr_init(), 16);
}

TEST_F(Startup, CancelInTheWelcomeBoxEndsWith102) {
    fake_ui_answer(IDCANCEL);
    EXPECT_EQ(wnd_create(), EXIT_INIT_FAILED);
    EXPECT_TRUE(fake_ui_quit_posted());
    EXPECT_EQ(fake_ui_quit_code(), 102);
    EXPECT_NE(read_file("debugmsg").find("zyr_init() fail rtn = 101\r\n"), std::string::npos);
    EXPECT_FALSE(fake_ui_timer_running());
}

TEST_F(Startup, TimerThatCannotStartEndsWith105) {
    fake_ui_fail_timer(true);
    EXPECT_EQ(wnd_create(), EXIT_NO_TIMER);
    EXPECT_EQ(fake_ui_quit_code(), 105);
    char want[40];
    centre_text(want, "MainWndProc 21", STATUS_LINE_LEN);
    EXPECT_STREQ(diag.status2, want);
    zyrwin_destroy(105);
    EXPECT_EQ(read_file("zyrerr.txt").substr(read_file("zyrerr.txt").size() - 20), "ZYR exitcode = 105\r\n");
}

TEST_F(Startup, RunTicksThenExitsCleanly) {
    ASSERT_EQ(wnd_create(), 0);
    EXPECT_TRUE(fake_ui_timer_running());
    EXPECT_EQ(fake_ui_timer_period(), 10);
    for (int i = 0; i < 300; i++) {
        plat_fake_clock_advance(10);
        fake_ui_fire_timer();
    }
    EXPECT_GT(cyc.cycle_count, 250u);
    EXPECT_FALSE(zyr.SystemFlags & SF_STARTUP_STATUS);
    // The exit question: No keeps running, Yes quits with 0.
    fake_ui_answer(IDNO);
    wnd_close();
    EXPECT_FALSE(fake_ui_quit_posted());
    fake_ui_answer(IDYES);
    wnd_close();
    EXPECT_EQ(fake_ui_quit_code(), 0);
    EXPECT_EQ(zyrwin_destroy(0), 0);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
    EXPECT_EQ(read_file("debugmsg").find("!! mem_alloc_cnt"), std::string::npos);
    std::string text = read_file("zyrerr.txt");
    EXPECT_NE(text.find("Clockstop = 3000 ms\r\nZYR exitcode = 0\r\n"), std::string::npos) << text;
}

// A stop signal (a logout, a service stop) quits at the next tick, as Yes
// in the exit question does, so the exit procedure writes the trailers.
TEST_F(Startup, AStopSignalQuitsAtTheNextTick) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        SetUp();
        ASSERT_EQ(wnd_create(), 0);
        for (int i = 0; i < 10; i++) {
            plat_fake_clock_advance(10);
            fake_ui_fire_timer();
        }
        EXPECT_FALSE(fake_ui_quit_posted());
        raise(sig);  // caught: the test goes on
        EXPECT_EQ(plat_stop_signal(), sig);
        EXPECT_FALSE(fake_ui_quit_posted());
        plat_fake_clock_advance(10);
        fake_ui_fire_timer();
        EXPECT_TRUE(fake_ui_quit_posted());
        EXPECT_EQ(fake_ui_quit_code(), 0);
        EXPECT_EQ(zyrwin_destroy(0), 0);
        EXPECT_EQ(plat_stop_signal(), 0);  // released with the window
        EXPECT_NE(read_file("zyrerr.txt").find("ZYR exitcode = 0\r\n"), std::string::npos);
        EXPECT_NE(read_file("debugmsg").find("Signal " + std::to_string(sig) + ": ZYR exits"), std::string::npos);
        EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
        remove("zyrerr.txt");
    }
}

TEST_F(Startup, FatalReportQuitsWithItsCode) {
    ASSERT_EQ(wnd_create(), 0);
    zyr_err(16, 3, "", 0, 0, 0);
    EXPECT_EQ(fake_ui_quit_code(), 16);
    zyrwin_destroy(16);
}

TEST_F(Startup, LeakedBlockIsReportedWithFiveBeeps) {
    ASSERT_EQ(wnd_create(), 0);
    void* leak = QOBmalloc(10);
    int beeps = fake_ui_beeps();
    zyrwin_destroy(0);
    EXPECT_NE(read_file("debugmsg").find("!! mem_alloc_cnt = 1\r\n"), std::string::npos);
    EXPECT_EQ(fake_ui_beeps() - beeps, 5);
    QOBfree(leak);
}
