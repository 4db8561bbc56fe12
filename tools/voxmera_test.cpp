// voxmera through its entry function: packet selection by start, end and
// every, the stop key, damaged compressed input and variable-length
// packets. The conversions between formats, the start-up failures and
// random input are run on the built program by packet_tools_e2e.sh.
#include "tools/voxmera.h"

#include <gtest/gtest.h>

#include "tools/pkt_test_support.h"

// The compressed file the recording writer makes of these packets.
static std::string compressed_file(const std::vector<std::vector<uint8_t>>& packets) {
    CompressedWriter w{};
    compressed_writer_init(&w);
    int f = zyr_fopen("expected.tmp", "w", 4096);
    for (const auto& p : packets) compressed_packet_write(&w, p.data(), (int)p.size(), f);
    zyr_fclose(f);
    compressed_writer_free(&w);
    std::string s = read_file("expected.tmp");
    remove("expected.tmp");
    return s;
}

// The checksum of a packet of a format with sync 0xEB90 and the checksum
// after it.
static void put_checksum(std::vector<uint8_t>& p) {
    uint8_t sum, rot, c;
    packet_checksums(p.data(), 4, (int)p.size(), &sum, &rot, &c);
    p[2] = sum;
    p[3] = c;
}

class Voxmera : public ::testing::Test {
protected:
    std::vector<std::vector<uint8_t>> packets;
    void SetUp() override {
        reset_packet_tool_test();
        remove("voxmera.dat");
        remove("out.dat");
        write_page("PAGE0000.BIN", 64, kSum);
        packets = make_packets(12);
        write_file("in.raw", concat(packets));
    }
    std::vector<std::vector<uint8_t>> numbered(std::vector<int> numbers) {
        std::vector<std::vector<uint8_t>> v;
        for (int n : numbers) v.push_back(packets[(size_t)n - 1]);
        return v;
    }
};

TEST_F(Voxmera, StartEndAndEverySelectPackets) {
    static const struct { std::vector<std::string> args; std::vector<int> numbers; } kCases[] = {
        {{"start=3", "every=2", "end=9"}, {3, 5, 7, 9}},
        {{}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {{"start=10", "every=3"}, {10}},
        {{"start=0", "every=-2", "end=0"}, {1}},
        {{"every=5"}, {1, 6, 11}},
        {{"start=5", "end=4"}, {}},
        {{"start=13"}, {}},
    };
    for (const auto& c : kCases) {
        SetUp();
        std::vector<std::string> args = {"infile=in.raw", "informat=raw"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ToolResult r = run_tool(voxmera_main, args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(read_file("voxmera.dat"), concat(numbered(c.numbers))) << args.back();
    }
}

TEST_F(Voxmera, TheStopKeyEndsTheCopyWithExit8) {
    std::string all = concat(make_packets(1000));
    write_file("in.raw", all);
    scripted_keys.keys = "xq";
    scripted_keys.pending_at = 2;
    ToolResult r = run_tool(voxmera_main, {"infile=in.raw", "informat=raw"});
    EXPECT_EQ(r.code, 0) << "x is not the stop key";
    SetUp();
    write_file("in.raw", all);
    scripted_keys.keys = "q";
    scripted_keys.pending_at = 2;
    r = run_tool(voxmera_main, {"infile=in.raw", "informat=raw"});
    EXPECT_EQ(r.code, 8);
    std::string out = read_file("voxmera.dat");
    EXPECT_GT(out.size(), 0u);
    EXPECT_LT(out.size(), all.size());
    EXPECT_EQ(all.compare(0, out.size(), out), 0);
}

TEST_F(Voxmera, PacketsWithChecksumOrSequenceErrorsAreKept) {
    std::vector<std::vector<uint8_t>> p = packets;
    p[2][30] ^= 0x10;   // packet 3: checksum error
    p[4][4] = 99;       // packet 5: out of sequence
    put_checksum(p[4]);
    write_file("in.raw", "\xEB\xEB" + concat(p));
    ToolResult r = run_tool(voxmera_main, {"infile=in.raw", "informat=raw", "start=2", "every=2"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file("voxmera.dat"), concat({p[1], p[3], p[5], p[7], p[9], p[11]}));
    // A recorded file copies raw to raw without loss.
    write_file("in.raw", concat(p));
    remove("voxmera.dat");
    ASSERT_EQ(run_tool(voxmera_main, {"infile=in.raw", "informat=raw"}).code, 0);
    EXPECT_EQ(read_file("voxmera.dat"), concat(p));
    for (const char* fmt : {"ascii", "compressed"}) {
        ASSERT_EQ(run_tool(voxmera_main, {"infile=in.raw", "informat=raw", "outfile=o.tmp", std::string("outformat=") + fmt}).code, 0);
        remove("voxmera.dat");
        ASSERT_EQ(run_tool(voxmera_main, {"infile=o.tmp", std::string("informat=") + fmt, "outformat=raw"}).code, 0);
        EXPECT_EQ(read_file("voxmera.dat"), concat(p)) << fmt;
        remove("o.tmp");
    }
}

TEST_F(Voxmera, ACorruptCompressedFileKeepsThePacketsBeforeTheDamage) {
    std::string in = compressed_file(numbered({1, 2, 3})) + "\x7F\x01\xFF\xFF" + compressed_file(numbered({4}));
    write_file("in.cmp", in);
    ToolResult r = run_tool(voxmera_main, {"infile=in.cmp", "informat=compressed", "outformat=raw"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file("voxmera.dat"), concat(numbered({1, 2, 3})));
    EXPECT_NE(r.console.find("\n!! Warning !! in.cmp is corrupt after packet 3: the rest is not converted\n"), std::string::npos);
}

TEST_F(Voxmera, VariableLengthPacketsTakeTheirLengthFromTheLengthPort) {
    PortRecord port{};
    port.port_flags = PF_ENABLE | PF_VARPKTLEN;
    port.view = 0;
    port.byteindex = 5;
    strcpy(port.rawformat, "%u");
    write_page("PAGE0000.BIN", 0, kSum, 1, &port);
    std::vector<std::vector<uint8_t>> var;
    for (int len : {20, 300, 7, 64}) {
        std::vector<uint8_t> p((size_t)len, (uint8_t)len);
        p[0] = 0xEB;
        p[1] = 0x90;
        p[5] = (uint8_t)len;
        p[6] = (uint8_t)(len >> 8);
        put_checksum(p);
        var.push_back(p);
    }
    write_file("in.raw", concat(var));
    // Every pair of formats, through a file of the middle format.
    static const char* const kFormats[] = {"raw", "ascii", "compressed"};
    for (const char* mid : kFormats)
        for (const char* last : kFormats) {
            remove("v.tmp");
            remove("w.tmp");
            remove("voxmera.dat");
            ASSERT_EQ(run_tool(voxmera_main, {"infile=in.raw", "informat=raw", "outfile=v.tmp",
                                              std::string("outformat=") + mid}).code, 0) << mid;
            ASSERT_EQ(run_tool(voxmera_main, {"infile=v.tmp", std::string("informat=") + mid, "outfile=w.tmp",
                                              std::string("outformat=") + last}).code, 0) << mid << " " << last;
            ASSERT_EQ(run_tool(voxmera_main, {"infile=w.tmp", std::string("informat=") + last, "outformat=raw"}).code, 0);
            EXPECT_EQ(read_file("voxmera.dat"), concat(var)) << mid << " to " << last;
        }
}

TEST_F(Voxmera, APacketTooLongForTheCompressedFormatIsAFailure) {
    write_page("PAGE0000.BIN", 32767, kSum);
    std::vector<uint8_t> p(32767, 1);
    p[0] = 0xEB;
    p[1] = 0x90;
    put_checksum(p);
    write_file("in.raw", concat({p}));
    ToolResult r = run_tool(voxmera_main, {"infile=in.raw", "informat=raw", "outformat=compressed"});
    EXPECT_EQ(r.code, 7);
    EXPECT_NE(r.console.find("\n!! Error 7 !! packet 1 of 32767 bytes cannot be written to voxmera.dat\n"), std::string::npos)
        << r.console;
}
