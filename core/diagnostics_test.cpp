#include "core/diagnostics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sys/stat.h>

#include "tests/test_support.h"

static int g_quit_code = -1;
static void record_quit(int code) {
    if (g_quit_code < 0) g_quit_code = code;
}

class Diagnostics : public ::testing::Test {
protected:
    int errfile = -1;
    void SetUp() override {
        reset_core();
        remove("zyrerr.txt");
        g_quit_code = -1;
        diag_hooks.post_quit = record_quit;
        strcpy(zyr.asciictime, "Wed Jan  2 10:15:02 1980\n");
        errfile = zyr_fopen("zyrerr.txt", "a", 2048);
        diag_set_errfile(errfile);
    }
    void TearDown() override { reset_core(); }
    std::string errfile_text() {
        zyr_fflush(errfile);
        return read_file("zyrerr.txt");
    }
    void at(uint32_t ms) { zyr.zyr_msecs = ms; }
};

TEST_F(Diagnostics, RepeatsWithin500msAreNotWritten) {
    at(74012);
    zyr_err(8, 1, "", 0, 0, 0);
    at(74412);
    zyr_err(8, 1, "", 0, 0, 0);
    EXPECT_EQ(errfile_text(), "10:15:02 74012 8\r\n");
    at(75012);
    zyr_err(8, 1, "", 0, 0, 0);
    EXPECT_EQ(errfile_text(), "10:15:02 74012 8\r\n10:15:02 75012 8\r\n");
    // Another code is never suppressed.
    zyr_err(9, 1, "", 0, 0, 0);
    EXPECT_EQ(errfile_text(), "10:15:02 74012 8\r\n10:15:02 75012 8\r\n10:15:02 75012 9\r\n");
}

TEST_F(Diagnostics, PlaceTextAndValuesOnStatusLine2) {
    struct Case {
        const char* place;
        int32_t v1, v2;
        const char* shown;  // before centring
    };
    static const Case kCases[] = {
        {"WinMain>1", 20, 0, "WinMain 20"},
        {"Req'd vs actual (Kb)>2", 500, 312, "Req'd vs actual (Kb) 500,312"},
        {"abcdefghijklmnopqrstuvwxyz12>1", 7, 0, "abcdefghijklmnopqrstuvwxyz**"},
        {"Check >2", -3, 4, "Check  -3,4"},
        {"InitSymTab() Fail", 1, 2, "InitSymTab() Fail"},
        {"Overflow>0", 1, 2, "Overflow "},
        {"Req'd vs actual (Kb)>2", 5000, 312, "Req'd vs actual (Kb) 5000,**"},
    };
    for (const Case& c : kCases) {
        zyr_err(21, 2, c.place, c.v1, c.v2, 0);
        char want[40];
        centre_text(want, c.shown, STATUS_LINE_LEN);
        EXPECT_STREQ(diag.status2, want) << c.place;
        EXPECT_STREQ(diag.status1, "     0021 ZYR General Error     ");
    }
    zyr_err(21, 2, "", 0, 0, 0);
    EXPECT_STREQ(diag.status2, "                                ");
}

TEST_F(Diagnostics, CentringPutsTheOddBlankLeft) {
    char out[40];
    centre_text(out, "abc", 6);
    EXPECT_STREQ(out, "  abc ");
    centre_text(out, "0123456789", 4);
    EXPECT_STREQ(out, "0123");
}

TEST_F(Diagnostics, NoErrorsStatusWaits3000ms) {
    at(1000);
    strcpy(zyr.asciictime, "Wed Jan  2 10:15:02 1980\n");
    zyr_err(8, 1, "", 0, 0, 0);
    strcpy(zyr.asciictime, "Wed Jan  2 10:15:05 1980\n");
    at(3999);
    zyr_err(10, 0, "", 0, 0, 0);
    EXPECT_STREQ(diag.status1, "   0008 Packet checksum error   ");
    at(4000);
    zyr_err(10, 0, "", 0, 0, 0);
    EXPECT_STREQ(diag.status1, "  0010 NO ERRORS. LAST ERROR AT ");
    EXPECT_STREQ(diag.status2, "      Wed Jan  2 10:15:02       ");
    EXPECT_EQ(diag.last_code, 10);
    // The status is not an error: no line, and the error time stays.
    EXPECT_EQ(errfile_text(), "10:15:02 1000 8\r\n");
    at(9000);
    strcpy(diag.status2, "x");
    zyr_err(10, 0, "", 0, 0, 0);
    EXPECT_STREQ(diag.status2, "x");
}

TEST_F(Diagnostics, StartupStatusShowsAtOnce) {
    at(20);
    zyr.SystemFlags |= SF_STARTUP_STATUS;
    zyr_err(10, 0, "", 0, 0, 0);
    EXPECT_STREQ(diag.status1, "  0010 NO ERRORS. LAST ERROR AT ");
}

TEST_F(Diagnostics, InvalidCodeOrActionIsFatal) {
    zyr_err(22, 1, "", 0, 0, 0);
    EXPECT_EQ(g_quit_code, 5);
    EXPECT_STREQ(diag.status1, " 0005 ZYR_ERR invalid error code");
    g_quit_code = -1;
    zyr_err(8, 4, "", 0, 0, 0);
    EXPECT_EQ(g_quit_code, 4);
    // The report itself still goes through, with action 0.
    EXPECT_EQ(diag.last_code, 8);
    g_quit_code = -1;
    zyr_err(16, 3, "", 0, 0, 0);
    EXPECT_EQ(g_quit_code, 16);
}

TEST_F(Diagnostics, ReportingOffDoesNothing) {
    zyr.work_mask &= ~WM_ERRORS;
    zyr_err(8, 1, "x", 0, 0, 0);
    zyr_err(99, 3, "", 0, 0, 0);
    EXPECT_EQ(diag.last_code, 6);
    EXPECT_EQ(g_quit_code, -1);
    EXPECT_EQ(errfile_text(), "");
}

TEST_F(Diagnostics, HexDumpLayout) {
    struct Case {
        int len;
        const char* tail;  // what follows the error line
    };
    static const Case kCases[] = {
        {3, "000102\r\n"},
        {26, "000102030405060708090a0b0c0d0e0f10111213141516171819\r\n\r\n"},
        {28, "000102030405060708090a0b0c0d0e0f10111213141516171819\r\n1a1b\r\n"},
    };
    uint8_t pkt[64];
    for (int i = 0; i < 64; i++) pkt[i] = (uint8_t)i;
    diag.dump_buf = pkt;
    zyr.SystemFlags |= SF_DIAGNOSTICS;
    uint32_t t = 1000;
    for (const Case& c : kCases) {
        zyr_fclose(errfile);
        remove("zyrerr.txt");
        errfile = zyr_fopen("zyrerr.txt", "a", 2048);
        diag_set_errfile(errfile);
        diag.dump_len = c.len;
        at(t += 1000);
        zyr_err(8, 1, "", 0, 0, ERR_OPT_DUMP);
        std::string want = "10:15:02 " + std::to_string(t) + " 8\r\n" + c.tail;
        EXPECT_EQ(errfile_text(), want) << c.len;
    }
    // Without diagnostics on, no dump.
    zyr.SystemFlags &= ~SF_DIAGNOSTICS;
    at(t += 1000);
    zyr_err(9, 1, "", 0, 0, ERR_OPT_DUMP);
    std::string text = errfile_text();
    EXPECT_EQ(text.substr(text.size() - 4), " 9\r\n");
}

TEST_F(Diagnostics, WithoutErrorFileTheLineGoesToTheDebugLog) {
    zyr_fclose(errfile);
    at(5);
    zyr_err(14, 1, "", 0, 0, 0);
    std::string log = read_file("debugmsg");
    EXPECT_NE(log.find("Filename = debugmsg, Opentime = "), std::string::npos);
    EXPECT_NE(log.find("\r\n10:15:02 5 14\r\n"), std::string::npos);
}

TEST_F(Diagnostics, DebugLogOpensAndClosesWithItsLines) {
    debug_printf("first %d", 1);
    debug_msg(1);  // logs "first 1" again, then closes
    debug_printf("again");
    std::string log = read_file("debugmsg");
    size_t open1 = log.find("Filename = debugmsg, Opentime = ");
    size_t close1 = log.find("Filename = debugmsg, Closetime = ");
    size_t open2 = log.find("Filename = debugmsg, Opentime = ", open1 + 1);
    ASSERT_NE(open1, std::string::npos);
    ASSERT_NE(close1, std::string::npos);
    ASSERT_NE(open2, std::string::npos);
    EXPECT_LT(open1, close1);
    EXPECT_LT(close1, open2);
    EXPECT_NE(log.find("first 1\r\nfirst 1\r\n"), std::string::npos);
}

TEST_F(Diagnostics, UnopenableDebugLogDropsLines) {
    diagnostics_reset();
    remove("debugmsg");
    ASSERT_EQ(mkdir("debugmsg", 0755), 0);
    debug_printf("lost");
    debug_err_line("place", 3);
    rmdir("debugmsg");
    EXPECT_EQ(read_file("debugmsg"), "");
}

TEST_F(Diagnostics, DebugErrorLineLayout) {
    msg_enter(0x113);
    debug_err_line("QOBmalloc", 35);
    msg_leave();
    EXPECT_NE(read_file("debugmsg").find("QOBmalloc qoberr 35 lasterr "), std::string::npos);
    EXPECT_NE(read_file("debugmsg").find(" WM_MESSAGE 0x113\r\n"), std::string::npos);
}

TEST_F(Diagnostics, NestingRecord) {
    msg_enter(1);
    msg_enter(2);
    EXPECT_EQ(msg_nest.current, 2);
    EXPECT_EQ(msg_nest.previous, 1);
    EXPECT_EQ(msg_nest.depth, 2);
    msg_leave();
    EXPECT_EQ(msg_nest.current, -1);
    EXPECT_EQ(msg_nest.depth, 1);
}

static volatile double g_zero = 0.0;

TEST_F(Diagnostics, DivideByZeroReportedOncePerPort) {
    zyr.eval_port = 17;
    fp_clear();
    volatile double a = 1.0 / g_zero;
    volatile double b = 2.0 / g_zero;
    (void)a;
    (void)b;
    EXPECT_EQ(fp_check(), 7);
    EXPECT_EQ(fp_check(), 0);
    EXPECT_STREQ(diag.status1, "  0007 Floating Point exception ");
    char want[40];
    centre_text(want, "Divide by zero 17", STATUS_LINE_LEN);
    EXPECT_STREQ(diag.status2, want);
    EXPECT_EQ(errfile_text(), "10:15:02 0 7\r\n");
}

TEST_F(Diagnostics, PendingCodesChooseThePlaceText) {
    struct Case {
        int pending;
        const char* shown;
    };
    static const Case kCases[] = {
        {129, "Invalid number 3"}, {132, "Overflow 3"}, {133, "Underflow 3"},
        {255, "Windows Float Error 3"}, {140, "Other float error 3"},
    };
    zyr.eval_port = 3;
    for (const Case& c : kCases) {
        fp_clear();
        diag.fp_pending = c.pending;
        EXPECT_EQ(fp_check(), 7);
        char want[40];
        centre_text(want, c.shown, STATUS_LINE_LEN);
        EXPECT_STREQ(diag.status2, want);
    }
}

TEST_F(Diagnostics, SqrtOfNegativeIsADomainErrorGivingZero) {
    zyr.eval_port = 42;
    double r = zyr_math1("sqrt", std::sqrt, -4.0);
    EXPECT_EQ(r, 0.0);
    EXPECT_EQ(diag.last_code, 18);
    char want[40];
    centre_text(want, "DOMAIN: sqrt 42", STATUS_LINE_LEN);
    EXPECT_STREQ(diag.status2, want);
    // Already reported: the floating-point check stays quiet.
    EXPECT_EQ(fp_check(), 0);
    EXPECT_EQ(zyr_math1("sqrt", std::sqrt, 9.0), 3.0);
    EXPECT_EQ(zyr_math1("log", std::log, 0.0), 0.0);
    centre_text(want, "SING: log 42", STATUS_LINE_LEN);
    EXPECT_STREQ(diag.status2, want);
    EXPECT_EQ(zyr_math2("pow", std::pow, 10.0, 400.0), 0.0);
    centre_text(want, "OVERFLOW: pow 42", STATUS_LINE_LEN);
    EXPECT_STREQ(diag.status2, want);
}

TEST_F(Diagnostics, ElapsedTimeText) {
    char out[14];
    // The start-up text holds until the clock has moved by 128 ms.
    at(0);
    EXPECT_STREQ((elapsed_time_text(out), out), "9999.23:59:59");
    at(127);
    EXPECT_STREQ((elapsed_time_text(out), out), "9999.23:59:59");
    at(128);
    EXPECT_STREQ((elapsed_time_text(out), out), "0000.00:00:00");
    at(90061000);  // 1 d 1 h 1 min 1 s
    EXPECT_STREQ((elapsed_time_text(out), out), "0001.01:01:01");
    at(90061100);  // moved by less than 128 ms: not recomputed
    EXPECT_STREQ((elapsed_time_text(out), out), "0001.01:01:01");
    at(0xFFFFFFFFu);
    EXPECT_STREQ((elapsed_time_text(out), out), "0049.17:02:47");
    diagnostics_reset();
    at(5000);
    EXPECT_STREQ((elapsed_time_text(out), out), "0000.00:00:05");
}

TEST_F(Diagnostics, MessageLine) {
    zyr_message("ZYR time jump", MSG_LOG | MSG_TIME);
    EXPECT_EQ(std::string(diag.msgline).substr(0, 22), "10:15:02 ZYR time jump");
    EXPECT_EQ(strlen(diag.msgline), (size_t)MSG_LINE_LEN);
    EXPECT_NE(read_file("debugmsg").find("10:15:02 ZYR time jump\r\n"), std::string::npos);
    zyr_message("short", 0);
    EXPECT_EQ(std::string(diag.msgline).substr(0, 7), "short  ");
}

// The error texts are what the operator reads on the status line and what
// the error file tools expand codes to.
TEST(DiagnosticsTexts, EveryErrorText) {
    static const char* const kTexts[] = {
        "0001 Unable to locate sync",     "0002 PAUSE_MSECS call, time < 0", "0003 Data packet length exceeded",
        "0004 ZYR_ERR invalid action code", "0005 ZYR_ERR invalid error code", "0006 No incoming data, timeout",
        "0007 Floating Point exception",  "0008 Packet checksum error",      "0009 Packet no's out of sequence",
        "0010 NO ERRORS. LAST ERROR AT",  "0011 unused",                     "0012 Cannot draw a value-port",
        "0013 Cannot display plot port(s)", "0014 Unable to open file",      "0015 Unable to allocate Port",
        "0016 No memory available",       "0017 Warning, memory low",        "0018 Math exception error",
        "0019 Network Error",             "0020 Unused",                     "0021 ZYR General Error",
    };
    static_assert(sizeof kTexts / sizeof kTexts[0] == ZYR_ERR_CODES - 1);
    for (int code = 1; code < ZYR_ERR_CODES; code++) EXPECT_STREQ(kErrorTexts[code], kTexts[code - 1]) << code;
}
