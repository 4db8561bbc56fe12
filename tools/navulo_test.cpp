// navulo through its entry function: the error file as the reporter writes
// it, the Clockstart/Clockstop rules, the code filter and thinning, the
// range, unrecognised lines and codes, and the statistics block.
#include "tools/navulo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/diagnostics.h"
#include "core/state.h"
#include "tools/tool_test_support.h"

static const std::string kBanner =
    "NAVULO Win32 ZYR V5.0 ZYRERR.TXT error file expansion tool.\n"
    "ZYR for Linux offline file tool. Press Q to stop.\n";
static const std::string kEnd = "\n Program terminating...\n";
static const std::string kOpen = "Filename = zyrerr.txt, Opentime = Mon Jan  1 10:00:00 2024,\r\nClockstart = 0000 ms\r\n";
static const std::string kMixed =
    kOpen + "10:00:01 1000 8\r\n10:00:02 2000 9\r\n10:00:03 3000 8\r\n10:00:04 4000 1\r\n10:00:05 5000 8\r\n";
static const std::string k8At1000 = "      1000 0008 Packet checksum error\r\n";
static const std::string k8At3000 = "      3000 0008 Packet checksum error\r\n";
static const std::string k8At5000 = "      5000 0008 Packet checksum error\r\n";

static std::string statistics(int lines, int bad_lines, int bad_codes) {
    return "\nStatistics\n----------\nTotal lines in error file = " + std::to_string(lines) +
           "\nTotal unrecognised lines in file = " + std::to_string(bad_lines) +
           "\nTotal unrecognised codes in file = " + std::to_string(bad_codes) + "\n----------\n";
}

class Navulo : public ::testing::Test {
protected:
    void SetUp() override {
        reset_tool_test();
        navulo_reset();
    }
    ToolResult run(const std::string& errfile, std::vector<std::string> args = {}) {
        remove("navulo.txt");
        write_file("zyrerr.txt", errfile);
        return run_tool(navulo_main, args);
    }
};

// Two sessions written as vantor writes them: open header, reports (the
// first with a 30-byte packet dump), close header with the exit code.
static void write_error_file_as_vantor() {
    static const uint8_t kPacket[30] = {0x12, 0x34, 0xab};
    for (int session = 0; session < 2; session++) {
        diagnostics_reset();
        state_reset();
        zyr.caltime = 1704103200;
        state_refresh_asciictime();
        zyr.zyr_secs = session * 100;
        int slot = zyr_fopen("zyrerr.txt", "a", 2048);
        WriteZYRFileHdr(slot, 1, "");
        diag_set_errfile(slot);
        zyr.SystemFlags = SF_DIAGNOSTICS;
        diag.dump_buf = kPacket;
        diag.dump_len = (int)sizeof kPacket;
        zyr.zyr_msecs = 74012 + session * 30000;
        zyr_err(8 + session * 13, 1, "", 0, 0, session ? 0u : (unsigned)ERR_OPT_DUMP);
        zyr.zyr_msecs += 988;
        zyr_err(9, 1, "Packet no's>2", 3, 5, 0);
        zyr.zyr_secs += 5;
        WriteZYRFileHdr(slot, 0, session ? "ZYR exitcode = 3\n" : "ZYR exitcode = 0\n");
        diag_set_errfile(-1);
        zyr_fclose(slot);
    }
    diagnostics_reset();
}

TEST_F(Navulo, ExpandsTheFileTheReporterWrites) {
    write_error_file_as_vantor();
    std::string in = read_file("zyrerr.txt");
    std::vector<std::string> l;
    for (size_t at = 0, nl; (nl = in.find('\n', at)) != std::string::npos; at = nl + 1) l.push_back(in.substr(at, nl + 1 - at));
    ASSERT_EQ(l.size(), 16u);
    EXPECT_EQ(l[1], "Clockstart = 0000 ms\r\n");
    EXPECT_EQ(l[10], "Clockstart = 100000 ms\r\n");
    files_reset();
    mempool_reset();
    ToolResult r = run_tool(navulo_main, {});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file("navulo.txt"), l[0] + l[1] + "     74012 0008 Packet checksum error\r\n" +
                                          "     75000 0009 Packet no's out of sequence\r\n" + l[6] + l[7] +
                                          l[8] + l[9] + l[10] + "    104012 0021 ZYR General Error\r\n" +
                                          "    105000 0009 Packet no's out of sequence\r\n" + l[13] + l[14] + l[15]);
    EXPECT_EQ(r.console, kBanner + "Skipping invalid line number 4: 1234ab" + std::string(46, '0') + "\n" +
                             "Skipping invalid line number 5: 00000000\n" + statistics(16, 2, 0) + kEnd);
}

struct NavCase {
    std::string file;
    std::vector<std::string> args;
    int code;
    std::string output;
};

static const NavCase kNavCases[] = {
    {"10:00:00 500 8\r\n" + kOpen, {}, 6, ""},
    {kOpen + "10:00:01 1000 8\r\nClockstop = 2000 ms\r\n10:00:03 3000 8\r\n", {}, 6,
     kOpen + k8At1000 + "Clockstop = 2000 ms\r\n"},
    {kMixed, {"errcode=8"}, 0, kOpen + k8At1000 + k8At3000 + k8At5000},
    // after an expanded line the next `every` selected lines are passed
    // over; a header line starts the count again
    {kMixed + "Clockstart = 9000 ms\r\n10:00:09 9100 2\r\n", {"every=1"}, 0,
     kOpen + k8At1000 + k8At3000 + k8At5000 + "Clockstart = 9000 ms\r\n      9100 0002 PAUSE_MSECS call, time < 0\r\n"},
    {kMixed, {"every=1", "errcode=8"}, 0, kOpen + k8At1000 + k8At5000},
    // lines before start are not written, but their Clockstart counts
    {kMixed, {"start=4", "end=5"}, 0, "      2000 0009 Packet no's out of sequence\r\n" + k8At3000},
    {kMixed, {"start=20"}, 0, ""},
    {"", {}, 0, ""},
};

TEST_F(Navulo, Cases) {
    for (const NavCase& c : kNavCases) {
        EXPECT_EQ(run(c.file, c.args).code, c.code) << c.file;
        EXPECT_EQ(read_file("navulo.txt"), c.output) << c.file;
    }
}

TEST_F(Navulo, ExitMessages) {
    EXPECT_EQ(run("10:00:00 500 8\r\n").console,
              kBanner +
                  "!! Error 6 !! Cannot compute the absolute time because no preceeding\n"
                  "'Clockstart' time has been found for this session.\n" + kEnd);
    ToolResult r = run("Clockstart = ms\r\n");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.console, kBanner + "!! Error 3 !! Cannot find the clock time on line\nClockstart = ms\n" + kEnd);
    EXPECT_EQ(run(kMixed, {"start=4", "end=5"}).console, kBanner + statistics(5, 0, 0) + kEnd);
    EXPECT_EQ(run("").console, kBanner + statistics(0, 0, 0) + kEnd);
    EXPECT_EQ(run(kMixed, {"start=20"}).console, kBanner + kEnd);
    r = run(kMixed, {"infile:", ""});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.console.find(kBanner + "\n!! Error 1 !! No input filename\n\nUsage: NAVULO"), 0u);
}

TEST_F(Navulo, UnrecognisedLinesAndCodes) {
    ToolResult r = run(kOpen + "\r\n10:00:01 abc 8\r\n10:00:02 2000\r\n10:00:03 -5 8\r\n"
                               "10:00:04 4000 0\r\n10:00:05 5000 22\r\n10:00:06 6000 8x\r\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file("navulo.txt"), kOpen +
                                          "      4000 0000 !! UNRECOGNISED ERROR CODE !!\r\n"
                                          "      5000 0022 !! UNRECOGNISED ERROR CODE !!\r\n");
    EXPECT_EQ(r.console, kBanner +
                             "Skipping invalid line number 3: \n"
                             "Skipping invalid line number 4: 10:00:01 abc 8\n"
                             "Skipping invalid line number 5: 10:00:02 2000\n"
                             "Skipping invalid line number 6: 10:00:03 -5 8\n"
                             "Skipping invalid line number 9: 10:00:06 6000 8x\n" +
                             statistics(9, 5, 2) + kEnd);
}

TEST_F(Navulo, BinaryGarbageIsCountedUnrecognised) {
    std::string g = garbage_without_digits(30000);
    int lines = g.back() != '\n';
    for (char c : g) lines += c == '\n';
    ToolResult r = run(g);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file("navulo.txt"), "");
    EXPECT_NE(r.console.find(statistics(lines, lines, 0)), std::string::npos);
}

TEST_F(Navulo, StopKeyEndsWithExit8) {
    scripted_keys.keys = "Q";
    scripted_keys.pending_at = 3;
    EXPECT_EQ(run(kMixed).code, 8);
    EXPECT_EQ(read_file("navulo.txt"), kOpen + k8At1000);
}
