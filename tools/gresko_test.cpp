// gresko and hulven: the packets gresko makes of a file, byte by byte, the
// formats that leave no room, and hulven restoring every file exactly or
// refusing packets that gresko did not make.
#include "tools/gresko.h"
#include "tools/hulven.h"

#include <gtest/gtest.h>

#include "tools/pkt_test_support.h"

constexpr uint32_t kTime = 1700000000;

static std::string file_of(size_t n, uint32_t seed) {
    std::string s;
    for (size_t i = 0; i < n; i++) s += (char)((seed = seed * 1103515245u + 12345u) >> 23);
    return s;
}

class Gresko : public ::testing::Test {
protected:
    void SetUp() override {
        reset_packet_tool_test();
        for (const char* f : {"gresko.dat", "hulven.dat", "PAGE0000.BIN"}) remove(f);
        plat_fake_clock_set((uint64_t)kTime * 1000);
    }
    void TearDown() override { plat_fake_clock_off(); }
};

// The packet gresko makes in the L = 64, H = 9 format: sync, checksum,
// time, counter, the file bytes, '.' padding, the count.
static std::string expected_packet(const std::string& bytes, int counter) {
    PacketLayout keep = pkt_layout;
    setup_test_description(64, kSumTime);
    std::vector<uint8_t> p(64, '.');
    packet_put_sync(p.data());
    for (int i = 0; i < 4; i++) p[4 + i] = (uint8_t)(kTime >> (8 * i));
    p[8] = (uint8_t)counter;
    memcpy(&p[9], bytes.data(), bytes.size());
    p[62] = (uint8_t)bytes.size();
    p[63] = 0;
    packet_put_checksum(p.data(), 64);
    pkt_layout = keep;
    return std::string((const char*)p.data(), 64);
}

TEST_F(Gresko, A100ByteFileGivesCounts53And47) {
    write_page("PAGE0000.BIN", 64, kSumTime);
    std::string data = file_of(100, 1);
    write_file("in.bin", data);
    ToolResult r = run_tool(gresko_main, {"infile=in.bin"});
    EXPECT_EQ(r.code, 0);
    std::string out = read_file("gresko.dat");
    EXPECT_EQ(out, expected_packet(data.substr(0, 53), 0) + expected_packet(data.substr(53), 1));
    EXPECT_EQ(out.substr(73 + 47, 6), "......");
    EXPECT_EQ(final_progress(r.console), "Bytes read        100 written        128\r");
}

TEST_F(Gresko, FormatsWithoutRoomAreRefused) {
    static const struct { int fixed; uint32_t flags; int counter; std::string console; } kCases[] = {
        {11, kSumTime, 1, "Packet length too 11 small to transfer\nUse ZYR to increase Packet Length\n"},
        {0, kSum, 1, "Packet header too 5 small to hold the byte count at byte 4\nUse ZYR to add the time field or a 2-byte packet counter\n"},
    };
    for (const auto& c : kCases) {
        for (auto entry : {gresko_main, hulven_main}) {
            SetUp();
            write_page("PAGE0000.BIN", c.fixed, c.flags, c.counter);
            write_file("in.bin", "abc");
            ToolResult r = run_tool(entry, {"infile=in.bin"});
            EXPECT_EQ(r.code, 2);
            EXPECT_NE(r.console.find(c.console), std::string::npos) << r.console;
        }
    }
}

TEST_F(Gresko, VariableLengthPacketsCarryTheCountAtTheLengthPosition) {
    write_page("PAGE0000.BIN", 0, kSumTime);
    std::string data = file_of(5000, 3);
    write_file("in.bin", data);
    ASSERT_EQ(run_tool(gresko_main, {"infile=in.bin"}).code, 0);
    std::string out = read_file("gresko.dat");
    ASSERT_EQ(out.size(), 3 * 9 + data.size());
    // Length position 4 (after sync and checksum); counts 2048, 2048, 904.
    EXPECT_EQ(out.substr(4, 2), std::string("\x00\x08", 2));
    EXPECT_EQ(out.substr(9 + 2048 + 4, 2), std::string("\x00\x08", 2));
    EXPECT_EQ(out.substr(2 * (9 + 2048) + 4, 2), std::string("\x88\x03", 2));
    EXPECT_EQ(out.substr(9, 2048), data.substr(0, 2048));
}

struct RoundTrip {
    int fixed;
    uint32_t flags;
    int counter;
    int data;       // file bytes per packet
};

TEST_F(Gresko, HulvenRestoresEveryFileExactly) {
    static const RoundTrip kFormats[] = {{64, kSumTime, 1, 53}, {16, kSum, 2, 8}, {0, kSumTime, 1, 2048}, {0, kSum, 2, 2048}};
    for (const RoundTrip& f : kFormats)
        for (size_t size : {(size_t)0, (size_t)1, (size_t)f.data - 1, (size_t)f.data, (size_t)f.data + 1,
                            (size_t)5 * f.data + 3, (size_t)100000}) {
            SetUp();
            write_page("PAGE0000.BIN", f.fixed, f.flags, f.counter);
            std::string data = file_of(size, (uint32_t)size + 7);
            write_file("in.bin", data);
            ASSERT_EQ(run_tool(gresko_main, {"infile=in.bin"}).code, 0);
            ToolResult r = run_tool(hulven_main, {"infile=gresko.dat"});
            EXPECT_EQ(r.code, 0) << r.console;
            EXPECT_EQ(read_file("hulven.dat"), data) << "fixed " << f.fixed << " size " << size;
        }
}

TEST_F(Gresko, ACountThatWouldReachIntoItselfIsRefused) {
    write_page("PAGE0000.BIN", 64, kSumTime);
    write_file("in.bin", std::string(10, 'x'));
    ASSERT_EQ(run_tool(gresko_main, {"infile=in.bin"}).code, 0);
    std::string pk = read_file("gresko.dat");
    pk[62] = 54;   // D + 1: the count would take in its own first byte
    write_file("gresko.dat", pk);
    ToolResult r = run_tool(hulven_main, {"infile=gresko.dat"});
    EXPECT_EQ(r.code, 9);
    EXPECT_NE(r.console.find("Invalid packet length 54\n"), std::string::npos);
}

TEST_F(Gresko, ATruncatedPacketFileIsReported) {
    write_page("PAGE0000.BIN", 64, kSumTime);
    std::string data = file_of(200, 9);
    write_file("in.bin", data);
    ASSERT_EQ(run_tool(gresko_main, {"infile=in.bin"}).code, 0);
    std::string pk = read_file("gresko.dat");
    for (size_t cut : {pk.size() - 1, pk.size() - 60, (size_t)70}) {
        write_file("cut.dat", pk.substr(0, cut));
        remove("hulven.dat");
        ToolResult r = run_tool(hulven_main, {"infile=cut.dat"});
        EXPECT_EQ(r.code, 9);
        EXPECT_NE(r.console.find("\n!! Error 9 !! Incomplete packet at the end of file 'cut.dat': " +
                                 std::to_string(cut % 64) + " of "),
                  std::string::npos)
            << r.console;
        EXPECT_EQ(read_file("hulven.dat"), data.substr(0, cut / 64 * 53));
    }
}
