// The packet tools' common steps: the packet format from the page file
// with its failures, the length port of variable-length packets, block
// reading and the pace of progress lines.
#include "tools/pkttool.h"

#include <gtest/gtest.h>

#include "core/datatypes.h"
#include "core/symtab.h"
#include "tools/pkt_test_support.h"

static const ToolOptions kDefaults = {.every = 1, .start = 1, .end = TOOL_END_MAX, .page = "PAGE0000.BIN"};
static const ToolDesc kDesc = {"test", kPacketToolOptions, 10, &kDefaults, "usage\n", "out.dat", kFrameNoInput,
                               kFrameIdentical, EXIT_FRAME_IDENTICAL, 1, 2, kFrameCreateFailed, kFrameTerminating};

static bool g_playback;

// Loads the format as a tool does; the layout stays for the test to see.
static int load(int argc, const char* const* argv) {
    int rc = frame_begin(&kDesc, argc, argv);
    if (rc == 0) rc = pkttool_load_format(g_playback);
    packet_free();
    playback_reset();
    return frame_exit(rc);
}

class PageFormat : public ::testing::Test {
protected:
    void SetUp() override {
        reset_packet_tool_test();
        g_playback = false;
    }
};

TEST_F(PageFormat, PageFileFailures) {
    static const struct {
        const char* file;      // page file written, or null
        std::string bytes;     // its bytes; empty: a good page
        std::vector<std::string> args;
        int code;
        std::string console;
    } kCases[] = {
        {nullptr, "", {}, 10,
         "\n*** Error: could not open PAGE0000.BIN\nA page0000.bin file is needed because it defines the "
         "packetheader format\n"},
        {"page0000.bin", "", {}, 0, ""},
        {"P7.BIN", "", {"page=p7.bin"}, 0, ""},
        {"PAGE0000.BIN", "", {"page=missing.bin"}, 10,
         "\n*** Error: could not open missing.bin\nA page0000.bin file is needed because it defines the "
         "packetheader format\n"},
        {"PAGE0000.BIN", std::string("\x07\x00\x00\x00garbage", 11), {}, 8,
         "\n*** Error: PAGE0000.BIN is not a readable page file\n\n!! Error 8 !! initialisation failure -6\n"},
        {"PAGE0000.BIN", std::string("\x05\x00\x02\x00\xff", 5), {}, 8,
         "\n*** Error: PAGE0000.BIN is not a readable page file\n\n!! Error 8 !! initialisation failure -4\n"},
    };
    for (const auto& c : kCases) {
        SetUp();
        remove("PAGE0000.BIN");
        remove("page0000.bin");
        if (c.file && c.bytes.empty()) write_page(c.file, 64, kSumTime);
        if (c.file && !c.bytes.empty()) write_file(c.file, c.bytes);
        ToolResult r = run_tool(load, c.args);
        EXPECT_EQ(r.code, c.code) << (c.file ? c.file : "none");
        EXPECT_EQ(r.console, c.console + "\n Program terminating...\n");
        if (c.code == 0) {
            EXPECT_EQ(pkt_layout.fixed_len, 64);
            EXPECT_EQ(pkt_layout.header_len, 9);
            EXPECT_EQ(pkt_layout.time_pos, 4);
        }
    }
    remove("page0000.bin");
    remove("P7.BIN");
}

TEST_F(PageFormat, APageWithoutPacketFormatIsRefused) {
    PortRecord port{};
    int f = zyr_fopen("PAGE0010.BIN", "w", 1024);
    page_write_record(f, TAG_PORT, &port);
    zyr_fclose(f);
    ToolResult r = run_tool(load, {"page=PAGE0010.BIN"});
    EXPECT_EQ(r.code, 8);
    EXPECT_EQ(r.console, "\n*** Error: PAGE0010.BIN holds no packet format\n\n!! Error 8 !! initialisation failure -7\n"
                         "\n Program terminating...\n");
}

// A length port: the view, byte index, raw format and byte swap flags of
// the port record, the bytes at its place and the length they give.
struct LengthCase {
    int view;
    int byteindex;
    const char* rawformat;
    uint32_t calflags;
    std::vector<uint8_t> bytes;
    int length;
};

static const LengthCase kLengthCases[] = {
    {VIEW_PACKETDATA, 2, "%u", 0, {0x64, 0x00}, 100},
    {VIEW_PACKETHEADER, 6, "%hu", CAL_INTEGERBYTESWAP, {0x00, 0x50}, 0x50},
    {VIEW_PACKETDATA, 0, "%lu", 0, {0x2A, 0x01, 0x00, 0x00}, 0x12A},
    {VIEW_PACKETDATA, 0, "%lu", CAL_LONGBYTESWAP, {0x00, 0x00, 0x00, 0x30}, 0x30},
    {VIEW_PACKETDATA, 0, "%f", 0, {0x00, 0x00, 0xC8, 0x42}, 100},
    {VIEW_PACKETDATA, 0, "%d", 0, {0xFF, 0xFF}, -1},        // negative: refused
    {VIEW_PACKETDATA, 0, "%lu", 0, {0x00, 0x80, 0x00, 0x00}, -1},  // beyond 32767
};

TEST_F(PageFormat, VariableLengthComesFromTheLengthPort) {
    g_playback = true;
    for (const LengthCase& c : kLengthCases) {
        SetUp();
        g_playback = true;
        PortRecord port{};
        port.port_flags = PF_ENABLE | PF_VARPKTLEN;
        port.view = (uint16_t)c.view;
        port.byteindex = (uint16_t)c.byteindex;
        port.cal.calflags = c.calflags;
        strcpy(port.rawformat, c.rawformat);
        write_page("PAGE0000.BIN", 0, kSumTime, 1, &port);
        ToolResult r = run_tool(load, {});
        ASSERT_EQ(r.code, 0);
        EXPECT_EQ(r.console, "\n Program terminating...\n");
        ASSERT_EQ(pkt_layout.fixed_len, 0);
        std::vector<uint8_t> image(256, 0);
        int at = c.byteindex + (c.view == VIEW_PACKETDATA ? pkt_layout.header_len : 0);
        std::copy(c.bytes.begin(), c.bytes.end(), image.begin() + at);
        int len = GetPacketLength_Read(image.data(), at + (int)c.bytes.size());
        EXPECT_EQ(len < 0 ? -1 : len, c.length) << c.rawformat;
        packet_reset();
    }
}

TEST_F(PageFormat, PlaybackWithoutALengthPortAssumes128Bytes) {
    write_page("PAGE0000.BIN", 0, kSumTime);
    g_playback = true;
    ToolResult r = run_tool(load, {});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.console, "Warning - Missing pkt length parameter.\nDefault 128 byte length assumed\n\n Program terminating...\n");
    EXPECT_EQ(pkt_layout.fixed_len, 128);
}

TEST(BlockReader, PiecesOfAnySizeGiveTheFileBack) {
    reset_packet_tool_test();
    std::string text;
    for (int i = 0; i < 1000; i++) text += (char)(i * 31 + 7);
    write_file("in.bin", text);
    BlockReader r;
    ASSERT_EQ(block_reader_init(&r, zyr_fopen("in.bin", "r", 0), 7), 0);
    std::string back;
    uint8_t buf[16];
    for (int n = 1, got; (got = block_read(&r, buf, n)) > 0; n = n % 13 + 1) {
        back.append((const char*)buf, (size_t)got);
        if (got < n) {
            EXPECT_EQ(back.size(), text.size());
        }
    }
    EXPECT_EQ(back, text);
    EXPECT_EQ(block_read(&r, buf, 5), 0);
    block_reader_free(&r);
    zyr_fcloseall();
}

TEST(Progress, AtMostOneLineIn50MsAndTheLatestIsKept) {
    plat_fake_clock_set(100000);
    Progress p{};
    EXPECT_TRUE(progress_due(&p));
    EXPECT_FALSE(progress_due(&p));
    EXPECT_TRUE(p.pending);
    int shown = 0;
    for (int i = 0; i < 1000; i++) {
        plat_fake_clock_advance(1);
        shown += progress_due(&p);
    }
    EXPECT_GE(shown, 10);
    EXPECT_LE(shown, 20);
    plat_fake_clock_off();
}
