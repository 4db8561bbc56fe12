// The tool frame: option syntax over each tool's option list, the overwrite
// prompt, the stop key and reading lines in pieces.
#include "tools/frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/tool_test_support.h"

static const ToolOptions kTestDefaults = {.every = 1, .start = 1, .end = TOOL_END_MAX};

static ToolDesc test_desc(const OptionId* options, int count) {
    return ToolDesc{"test", options, count, &kTestDefaults, "usage\n", "out.txt", kFrameNoInput,
                    kFrameIdentical, EXIT_FRAME_IDENTICAL, 1, 2, kFrameCreateFailed, kFrameTerminating};
}
static const ToolDesc kPacket = test_desc(kPacketToolOptions, 10);
static const ToolDesc kJorn = test_desc(kJornstadOptions, 9);
static const ToolDesc kNav = test_desc(kNavuloOptions, 10);

// The setting an option left, as text.
static std::string setting(const ToolOptions& o, OptionId id) {
    switch (id) {
    case OPT_EVERY: return std::to_string(o.every);
    case OPT_INFORMAT: return std::to_string(o.informat);
    case OPT_OUTFORMAT: return std::to_string(o.outformat);
    case OPT_INFILE: return o.infile;
    case OPT_INFILE1: return o.infile1;
    case OPT_INFILE2: return o.infile2;
    case OPT_OUTFILE: return o.outfile;
    case OPT_START: return std::to_string(o.start);
    case OPT_ERRCODE: return std::to_string(o.errcode);
    case OPT_ECHO: return std::to_string(o.echo);
    case OPT_GRESKO: return std::to_string(o.gresko);
    default: return "?";
    }
}

struct ParseCase {
    const ToolDesc* desc;
    std::vector<std::string> args;
    OptionId field;          // OPT_COUNT: the parse fails
    const char* value;       // the setting, or the text in the failure message
};

static const ParseCase kParseCases[] = {
    {&kPacket, {"INFILE=a.dat"}, OPT_INFILE, "a.dat"},
    {&kPacket, {"infile:a.dat"}, OPT_INFILE, "a.dat"},
    {&kPacket, {"infile:", "a.dat"}, OPT_INFILE, "a.dat"},
    {&kPacket, {"-infile:=a.dat"}, OPT_INFILE, "a.dat"},
    {&kPacket, {"/outfile=", "b c.txt"}, OPT_OUTFILE, "b c.txt"},
    {&kPacket, {"e=5"}, OPT_EVERY, "5"},
    {&kPacket, {"st=-3"}, OPT_START, "-3"},
    {&kPacket, {"in=raw"}, OPT_INFORMAT, "2"},
    {&kPacket, {"outformat=COMPRESSEDfile"}, OPT_OUTFORMAT, "1"},
    {&kPacket, {"outf=Ascii"}, OPT_OUTFORMAT, "3"},
    {&kPacket, {"echo=Yes"}, OPT_ECHO, "1"},
    {&kPacket, {"gresko=ONce"}, OPT_GRESKO, "1"},
    {&kPacket, {"echo=y"}, OPT_ECHO, "0"},
    {&kJorn, {"infile=a"}, OPT_INFILE1, "a"},
    {&kJorn, {"INFILE2:b"}, OPT_INFILE2, "b"},
    {&kNav, {"infile=a"}, OPT_INFILE, "a"},
    {&kNav, {"err=8"}, OPT_ERRCODE, "8"},
    {&kPacket, {"skip=3"}, OPT_COUNT, "skip=3"},
    {&kPacket, {"infile"}, OPT_COUNT, "infile"},
    {&kPacket, {"infile:"}, OPT_COUNT, "infile:"},
    {&kPacket, {"every=3x"}, OPT_COUNT, "every=3x"},
    {&kPacket, {"every:", "x"}, OPT_COUNT, "every: x"},
    {&kPacket, {"end=2147483648"}, OPT_COUNT, "end=2147483648"},
    {&kPacket, {"informat=asc"}, OPT_COUNT, "informat=asc"},
    {&kPacket, {"=5"}, OPT_COUNT, "=5"},
    {&kJorn, {"infile12=x"}, OPT_COUNT, "infile12=x"},
    {&kJorn, {"informat=raw"}, OPT_COUNT, "informat=raw"},
    {&kPacket, {"page=" + std::string(261, 'p')}, OPT_COUNT, nullptr},
};

static const ToolDesc* g_desc;

TEST(FrameParse, Cases) {
    for (const ParseCase& c : kParseCases) {
        reset_tool_test();
        g_desc = c.desc;
        ToolResult r = run_tool([](int argc, const char* const* argv) {
            return frame_exit(frame_begin(g_desc, argc, argv));
        }, c.args);
        if (c.field != OPT_COUNT) {
            EXPECT_EQ(r.code, 0) << c.args[0];
            EXPECT_EQ(setting(frame.opt, c.field), c.value) << c.args[0];
            EXPECT_EQ(frame.opt.given, 1u << c.field) << c.args[0];
        } else {
            std::string shown = c.value ? c.value : c.args[0];
            EXPECT_EQ(r.code, EXIT_FRAME_BAD_OPTION) << c.args[0];
            EXPECT_EQ(r.console, "Unrecognised option: '" + shown + "'\n\n Program terminating...\n");
        }
    }
}

TEST(FramePrompt, AnswersGiveTheirExitCodes) {
    static const struct { int key, code; const char* echoed; } kCases[] = {
        {'y', 0, "y\n"}, {'Y', 0, "Y\n"}, {'n', 1, "n\n"}, {'N', 1, "N\n"},
        {27, 2, "\x1b\n"}, {'x', 2, "x\n"}, {-1, 2, "\n"},
    };
    for (const auto& c : kCases) {
        reset_tool_test();
        if (c.key >= 0) scripted_keys.keys = std::string(1, (char)c.key);
        ToolResult r = run_tool([](int argc, const char* const* argv) {
            int rc = frame_begin(&kPacket, argc, argv);
            return frame_exit(rc ? rc : frame_ask_overwrite("o.txt"));
        }, {});
        EXPECT_EQ(r.code, c.code) << c.key;
        EXPECT_EQ(r.console, std::string("outfile o.txt already exists, do you wish to overwrite it Y/N ?") +
                                 c.echoed + "\n Program terminating...\n");
    }
}

TEST(FrameStopKey, OnlyQStopsAndOtherKeysAreDropped) {
    reset_tool_test();
    scripted_keys.keys = "xQq";
    for (int call = 1; call <= 3; call++) {
        scripted_keys.pending_at = scripted_keys.pending_calls + 2;
        EXPECT_FALSE(frame_stop_key());
        EXPECT_EQ(frame_stop_key(), call > 1) << call;
    }
    EXPECT_TRUE(scripted_keys.keys.empty());
}

TEST(FrameLines, LongLinesComeInPiecesOfOneLine) {
    reset_tool_test();
    std::string text = std::string(600, 'a') + "\r\nshort\n" + std::string(255, 'b') + "\nlast";
    text[603] = 0;
    write_file("in.txt", text);
    write_file("empty.txt", "");
    int out = zyr_fopen("copy.txt", "w", 64);
    LineReader r, e;
    ASSERT_EQ(line_reader_init(&r, zyr_fopen("in.txt", "r", 0), 256), 0);
    ASSERT_EQ(line_reader_init(&e, zyr_fopen("empty.txt", "r", 0), 16), 0);
    std::vector<int> pieces;
    while (line_first(&r)) {
        int n = 1;
        if (r.lines > 1) line_copy(&r, out);
        while (line_next_piece(&r)) n++;
        pieces.push_back(n);
    }
    EXPECT_EQ(pieces, (std::vector<int>{3, 1, 1, 1}));
    EXPECT_EQ(line_first(&e), 0);
    EXPECT_EQ(e.lines, 0);
    zyr_fcloseall();
    EXPECT_EQ(read_file("copy.txt"), text.substr(602));
}
