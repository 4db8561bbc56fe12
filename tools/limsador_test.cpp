// limsador: reading the columns of a line, and the packets and messages
// the tool makes of a column file.
#include "tools/limsador.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tools/pkt_test_support.h"

struct LineCase {
    const char* line;
    int result;
    std::vector<float> values;
};

static const LineCase kLineCases[] = {
    {"1.5 2e3 -7\r\n", LIMS_OK, {1.5f, 2000.0f, -7.0f}},
    {"\t+0.25   1E2\n", LIMS_OK, {0.25f, 100.0f}},
    {"   \r\n", LIMS_OK, {}},
    {"1e-50", LIMS_OK, {0.0f}},
    {"-3.4e38", LIMS_OK, {-3.4e38f}},
    {"1.5 abc", LIMS_BAD_CHAR, {}},
    {"1,5", LIMS_BAD_CHAR, {}},
    {"nan", LIMS_BAD_CHAR, {}},
    {"0x10", LIMS_BAD_CHAR, {}},
    {"1.2.3 abc", LIMS_BAD_NUMBER, {}},
    {"+", LIMS_BAD_NUMBER, {}},
    {"1e", LIMS_BAD_NUMBER, {}},
    {"1e39", LIMS_BAD_NUMBER, {}},
    {"2 1e400", LIMS_BAD_NUMBER, {}},
};

TEST(LimsadorParse, Lines) {
    for (const LineCase& c : kLineCases) {
        char line[64];
        snprintf(line, sizeof line, "%s", c.line);
        uint8_t bytes[16 * 4] = {};
        int columns = -1;
        EXPECT_EQ(limsador_parse(line, bytes, 16, &columns), c.result) << c.line;
        EXPECT_STREQ(line, c.line) << "the line is left as it was";
        if (c.result != LIMS_OK) continue;
        ASSERT_EQ(columns, (int)c.values.size()) << c.line;
        for (int i = 0; i < columns; i++) {
            float f;
            memcpy(&f, bytes + 4 * i, 4);
            EXPECT_EQ(f, c.values[(size_t)i]) << c.line;
        }
    }
}

class Limsador : public ::testing::Test {
protected:
    void SetUp() override {
        reset_packet_tool_test();
        remove("limsador.dat");
        write_page("PAGE0000.BIN", 32, kSum);   // header 5: serial and 5 columns
    }
    // The packet for serial number `serial` holding these values.
    static std::string packet(uint32_t serial, std::vector<float> values) {
        PacketLayout keep = pkt_layout;
        setup_test_description(32, kSum);
        std::vector<uint8_t> p(32, 0);
        packet_put_sync(p.data());
        p[4] = (uint8_t)serial;
        memcpy(&p[5], &serial, 4);
        for (size_t i = 0; i < values.size(); i++) memcpy(&p[9 + 4 * i], &values[i], 4);
        packet_put_checksum(p.data(), 32);
        pkt_layout = keep;
        return std::string((const char*)p.data(), 32);
    }
};

TEST_F(Limsador, OnePacketPerLineWithSerialAndValues) {
    write_file("in.txt", std::string("1.5 2e3 -7\r\n\r\n1.5 abc\n1.2.3\n4 5\n6\0 7\n", 37));
    ToolResult r = run_tool(limsador_main, {"infile=in.txt"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file("limsador.dat"), packet(0, {1.5f, 2000.0f, -7.0f}) + packet(1, {4.0f, 5.0f}));
    EXPECT_NE(r.console.find("Skipping invalid line number 3\n1.5 abc\n"), std::string::npos) << r.console;
    EXPECT_NE(r.console.find("Skipping invalid line number 4\n1.2.3\n"), std::string::npos) << r.console;
    EXPECT_NE(r.console.find("Skipping invalid line number 6\n6\n"), std::string::npos) << r.console;
    EXPECT_EQ(final_progress(r.console), "Compressing    32 bytes...Bytes written = 64\r");
}

TEST_F(Limsador, TooManyColumnsAreCutToThePacket) {
    write_file("in.txt", "1 2 3 4 5 6 7\n");
    ToolResult r = run_tool(limsador_main, {"infile=in.txt"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file("limsador.dat"), packet(0, {1, 2, 3, 4, 5}));
    EXPECT_NE(r.console.find("Too many columns - packet size 27 less than 7\ncolumns requiring 4 bytes per column\n"),
              std::string::npos)
        << r.console;
}

TEST_F(Limsador, StartEndEveryAndEcho) {
    std::string text;
    for (int i = 1; i <= 10; i++) text += std::to_string(i) + "\n";
    write_file("in.txt", text);
    ToolResult r = run_tool(limsador_main, {"infile=in.txt", "start=3", "every=3", "end=9", "echo=on"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file("limsador.dat"), packet(0, {3}) + packet(1, {6}) + packet(2, {9}));
    for (const char* echoed : {"3\n", "6\n", "9\n"}) EXPECT_NE(r.console.find(echoed), std::string::npos);
    EXPECT_EQ(r.console.find("4\n"), std::string::npos);
    SetUp();
    write_file("in.txt", text);
    EXPECT_EQ(run_tool(limsador_main, {"infile=in.txt", "start=20"}).code, 0);
    EXPECT_EQ(read_file("limsador.dat"), "");
}

TEST_F(Limsador, LongLinesAreOneLine) {
    std::string longline(LIMSADOR_LINE + 10, '1');
    write_file("in.txt", "7\n" + longline + "\n8\n");
    ToolResult r = run_tool(limsador_main, {"infile=in.txt"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file("limsador.dat"), packet(0, {7}) + packet(1, {8}));
    EXPECT_NE(r.console.find("Skipping invalid line number 2\n"), std::string::npos);
}

