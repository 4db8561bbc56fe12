// wibrel through its entry function: the frame's start-up checks, and the
// selection of lines, which keeps or drops long lines whole.
#include "tools/wibrel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/tool_test_support.h"

static const std::string kEnd = "\n Program terminating...\n";

static std::string numbered_lines(int n) {
    std::string s;
    for (int i = 1; i <= n; i++) s += "line " + std::to_string(i) + "\r\n";
    return s;
}

class Wibrel : public ::testing::Test {
protected:
    void SetUp() override {
        reset_tool_test();
        remove("tessaram.txt");
        write_file("in.txt", numbered_lines(12));
    }
};

TEST_F(Wibrel, StartupChecks) {
    static const struct { std::vector<std::string> args; int code; std::string console; } kCases[] = {
        {{"infile=."}, 5, "\n!! Error 5 !! could not open . file\n"},
        {{"infile=in.txt", "outfile=./in.txt"}, 61, "\n!! Error !! identical infile and outfile ./in.txt\n"},
        {{"infile=in.txt", "outfile=IN.TXT"}, 61, "\n!! Error !! identical infile and outfile IN.TXT\n"},
        {{"infile=in.txt", "outfile=no/o.txt"}, 7, "\n!! Error 7 !! could not open no/o.txt file\n"},
        {{"infile=in.txt", "outfile=in2.txt"}, 2, "outfile in2.txt already exists, do you wish to overwrite it Y/N ?\x1b\n"},
    };
    for (const auto& c : kCases) {
        SetUp();
        write_file("in2.txt", "keep");
        scripted_keys.keys = "\x1b";
        ToolResult r = run_tool(wibrel_main, c.args);
        EXPECT_EQ(r.code, c.code) << c.args.back();
        EXPECT_EQ(r.console, c.console + kEnd);
        EXPECT_EQ(read_file("in.txt"), numbered_lines(12));
        EXPECT_EQ(read_file("in2.txt"), "keep");
    }
}

TEST_F(Wibrel, Start3End10Every2WritesLines3579) {
    ToolResult r = run_tool(wibrel_main, {"infile=in.txt", "start=3", "end=10", "every=2"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file("tessaram.txt"), "line 3\r\nline 5\r\nline 7\r\nline 9\r\n");
    std::string progress;
    for (int i = 0; i < 4; i++) progress += "Writing line number     " + std::to_string(i) + " ...\r";
    EXPECT_EQ(r.console, progress + "\n" + kEnd);
}

TEST_F(Wibrel, SettingsBelowOneBecomeOne) {
    EXPECT_EQ(run_tool(wibrel_main, {"infile=in.txt", "start=0", "every=-4", "end=2"}).code, 0);
    EXPECT_EQ(read_file("tessaram.txt"), "line 1\r\nline 2\r\n");
}

TEST_F(Wibrel, InputEndingWhileSkipping) {
    ToolResult r = run_tool(wibrel_main, {"infile=in.txt", "start=14"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.console, kEnd);
    EXPECT_EQ(read_file("tessaram.txt"), "");
}

TEST_F(Wibrel, LongLinesAreThinnedWholeAndGarbageCopiedExactly) {
    std::string a(700, 'a'), b(1000, 'b'), c(300, 'c');
    write_file("in.txt", a + "\n" + b + "\n" + c);
    EXPECT_EQ(run_tool(wibrel_main, {"infile=in.txt", "every=2"}).code, 0);
    EXPECT_EQ(read_file("tessaram.txt"), a + "\n" + c);
    std::string g = garbage_without_digits(20000);
    write_file("in.txt", g);
    EXPECT_EQ(run_tool(wibrel_main, {"infile=in.txt", "outfile=g.txt"}).code, 0);
    EXPECT_EQ(read_file("g.txt"), g);
}

TEST_F(Wibrel, StopKeyEndsWithExit8) {
    scripted_keys.keys = "Q";
    scripted_keys.pending_at = 3;
    EXPECT_EQ(run_tool(wibrel_main, {"infile=in.txt"}).code, 8);
    EXPECT_EQ(read_file("tessaram.txt"), "line 1\r\nline 2\r\nline 3\r\n");
}
