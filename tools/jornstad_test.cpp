// jornstad through its entry function: merging in time order with "****"
// for values not yet seen, header lines copied as met, invalid lines
// skipped with their message, and its own start-up texts and exit codes.
#include "tools/jornstad.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/tool_test_support.h"

static const std::string kBanner =
    "JORNSTAD Win95/NT ZYR V5.0 Parameter record file splicer.\n"
    "ZYR for Linux offline file tool. Press Q to stop.\n";
static const std::string kEnd = "\n JORNSTAD program terminating...";
static const std::string kHeader =
    "Filename = p1.txt, Opentime = Mon Jan  1 10:00:00 2024,\r\nClockstart = 5000 ms\r\n";
static const std::string kLongHeader = "Filename = " + std::string(400, 'h') + "\r\n";

class Jornstad : public ::testing::Test {
protected:
    void SetUp() override {
        reset_tool_test();
        jornstad_reset();
    }
    ToolResult run(const std::string& f1, const std::string& f2, std::vector<std::string> extra = {}) {
        remove("jornstad.txt");
        write_file("p1.txt", f1);
        write_file("p2.txt", f2);
        std::vector<std::string> args = {"infile1=p1.txt", "infile2=p2.txt"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_tool(jornstad_main, args);
    }
};

struct MergeCase {
    std::string f1, f2, merged;
};

static const MergeCase kMergeCases[] = {
    // interleaved times, tab and comma separators, an equal time, an invalid line
    {kHeader + "1.0 10\r\n3.0 30\r\n5 50\r\n", "2.0\t20\r\n3.0,31\r\nbad 1\r\n6.5 65 66\r\nClosetime = x\r\n",
     kHeader + "1.0 10 ****\r\n2.0 10 20\r\n3.0 30 31\r\n5 50 31\r\n6.5 50 65 66\r\nClosetime = x\r\n"},
    {"4 a\n", "1 x\n2 y\n", "1 **** x\r\n2 **** y\r\n4 a y\r\n"},
    {"", "", ""},
    {"1 a\nClosetime = x", "2 b\n", "1 a ****\r\nClosetime = x\r\n2 a b\r\n"},
    // a data line too long to carry its values is skipped; a long header is copied whole
    {kLongHeader + "1 " + std::string(300, 'v') + "\n2 b\n", "", kLongHeader + "2 b ****\r\n"},
    {garbage_without_digits(5000), "1 x\n" + garbage_without_digits(3000) + "\n2 y\n", "1 **** x\r\n2 **** y\r\n"},
};

TEST_F(Jornstad, Merges) {
    for (const MergeCase& c : kMergeCases) {
        EXPECT_EQ(run(c.f1, c.f2).code, 0);
        EXPECT_EQ(read_file("jornstad.txt"), c.merged);
    }
}

TEST_F(Jornstad, InvalidLineMessageAndWarning) {
    ToolResult r = run("1 a\n2,b\nx 3\n", "", {"start=2"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.console, kBanner +
                             "\n!! Warning !! end, start, skip or everyn are invalid options\n"
                             "and will be ignored by this program\n"
                             "Skipping invalid line 3 in file no. 1 'p1.txt'\n\n" + kEnd);
}

TEST_F(Jornstad, StartupExits) {
    static const struct { std::vector<std::string> args; const char* key; int code; std::string console; } kCases[] = {
        {{}, "", 1, "!! Error 1 !! No input filename\n\nUsage: JORNSTAD"},
        {{"infile1=p1.txt"}, "", 1, "!! Error 1 !! No second input filename, option 'infile2'\n\nUsage: JORNSTAD"},
        {{"infile1=p1.txt", "infile2=none"}, "", 5, "\n!! Error 5 !! could not open none file\n"},
        {{"infile1=p1.txt", "infile2=p2.txt", "outfile=P2.TXT"}, "", 4,
         "\n!! Error 4 !! identical infile and outfile P2.TXT\n"},
        {{"infile1=p1.txt", "infile2=p2.txt", "outfile=old.txt"}, "n", 9,
         "outfile old.txt already exists, do you wish to overwrite it Y/N ?n\n"},
        {{"infile1=p1.txt", "infile2=p2.txt", "outfile=old.txt"}, "\x1b", 9,
         "outfile old.txt already exists, do you wish to overwrite it Y/N ?\x1b\n"},
        {{"infile1=p1.txt", "infile2=p2.txt", "outfile=no/dir"}, "", 7, "\n!! Error !! could not open no/dir file\n"},
    };
    for (const auto& c : kCases) {
        write_file("p1.txt", "1 a\n");
        write_file("p2.txt", "2 b\n");
        write_file("old.txt", "old");
        scripted_keys.keys = c.key;
        ToolResult r = run_tool(jornstad_main, c.args);
        EXPECT_EQ(r.code, c.code) << c.console;
        EXPECT_EQ(r.console.substr(0, kBanner.size() + c.console.size()), kBanner + c.console);
        EXPECT_EQ(r.console.substr(r.console.size() - kEnd.size()), kEnd);
        EXPECT_EQ(read_file("old.txt"), "old");
    }
}

TEST_F(Jornstad, StopKeyEndsWithExit12) {
    scripted_keys.keys = "q";
    scripted_keys.pending_at = 2;
    EXPECT_EQ(run("1 a\n2 b\n3 c\n", "").code, 12);
    EXPECT_EQ(read_file("jornstad.txt"), "1 a ****\r\n2 b ****\r\n");
}
