// Block structure (indentation, repeated keys, empty blocks) and the
// [packet] and [system] blocks with their records.
#include "compiler/blocks.h"

#include <gtest/gtest.h>

#include <string>

#include "compiler/compiler_test_support.h"
#include "compiler/sysblocks.h"
#include "core/state.h"

class BlocksTest : public CompilerTest {
protected:
    PacketRecord packet_of(const std::string& text, int expect = COMPILE_OK) {
        EXPECT_EQ(compile(text, 0), expect) << joined();
        PageRecords r = read_page_file("PAGE0000.BIN");
        if (expect != COMPILE_OK) return PacketRecord{};
        EXPECT_EQ(r.packets.size(), 1u);
        return r.packets.empty() ? PacketRecord{} : r.packets[0];
    }
    SystemRecord system_of(const std::string& text) {
        EXPECT_EQ(compile("[system]\n" + text, 0), COMPILE_OK) << joined();
        PageRecords r = read_page_file("PAGE0000.BIN");
        EXPECT_EQ(r.systems.size(), 1u);
        return r.systems.empty() ? SystemRecord{} : r.systems[0];
    }
};

// ---- block structure ---------------------------------------------------------------

TEST_F(BlocksTest, ATabAndEightSpacesAreTheSameIndentation) {
    PortRecord r = port_of("\tdatatype = \"%6hd\"\n        byteindex = 4\n\trow = 3\n        column = 5\n\ttitle = \"T\"\n");
    EXPECT_EQ(r.byteindex, 4);
    EXPECT_EQ(r.column, 5);
}

TEST_F(BlocksTest, ALineIndentedLessEndsTheBlock) {
    // The units line is one column short of the sub-block: it ends [alarm]
    // and is read as a line of the port, where units is a key.
    // One column short of [alarm] but deeper than the port: wrong in both.
    EXPECT_EQ(compile(std::string("[valueport]\n") + kPortBase + "\t[alarm]\n\t\tlowerlimit = 1\n\t\tupperlimit = 2\n\t\tblink = on\n"
                                                               "\t       units = \"V\"\n"),
              COMPILE_ERRORS);
    EXPECT_TRUE(diagnostics().size() == 1u && diagnostics()[0].find("Indentation Wrong") != std::string::npos) << joined();
    EXPECT_EQ(compile(std::string("[valueport]\n") + kPortBase + "\t[alarm]\n\t\tlowerlimit = 1\n\t\tupperlimit = 2\n\t\tblink = on\n\tunits = \"V\"\n"),
              COMPILE_OK);
    PortRecord r = records().ports.at(0);
    EXPECT_STREQ(r.units, "V");
    EXPECT_EQ(r.port_flags, PF_ENABLE | PF_ALARM);
}

TEST_F(BlocksTest, KeysThatMayRepeat) {
    PortRecord r = port_of(std::string(kPortBase) + "\tautolabel = on\n\tautolabel = on\n"
                           "\t[calibration]\n\t\tfunction = testbit\n\t\t[bitoperation]\n\t\t\tbitmask = 1\n\t\t\tbitmask = 2\n");
    EXPECT_EQ(r.cal.bitmask, 2u);
    EXPECT_TRUE(diagnostics().empty()) << joined();
    // A sub-block is as much a key as any: a second [alarm] is refused.
    EXPECT_EQ(compile(std::string("[valueport]\n") + kPortBase + "\t[alarm]\n\t[alarm]\n"), COMPILE_ERRORS);
}

TEST_F(BlocksTest, KeysNeedTheirEqualsSignAndAValue) {
    for (const char* line : {"\tunits \"V\"\n", "\tunits =\n", "\tunits\n", "\tnosuchkey = 1\n", "\t[packet]\n"}) {
        EXPECT_EQ(compile(std::string("[valueport]\n") + kPortBase + line), COMPILE_ERRORS) << line;
        ASSERT_EQ(diagnostics().size(), 1u) << line;
        EXPECT_NE(diagnostics()[0].find("Unable to use line. Identifier unrecognised"), std::string::npos);
    }
}

// ---- [packet] ----------------------------------------------------------------------

static const char kSyncBlock[] = "\t[sync]\n\t\tlength = 16\n\t\tpattern = 0xEB90\n\t\tmask = 0xFFFF\n\t\treportsyncloss = off\n";

TEST_F(BlocksTest, TheHeaderFollowsTheOrderOfItsKeys) {
    PacketRecord p = packet_of(std::string("[packet]\n") + kSyncBlock +
                               "\tsumcheck = on\n\ttime = on\n\tpacketcounterlength = 2\n\tfixedpacketlength = 64\n\tccsds = on\n");
    EXPECT_EQ(p.flags, PKT_SUMCHECK | PKT_TIME | PKT_CCSDS);
    EXPECT_EQ(p.sync_len, 2);
    EXPECT_EQ(p.header_len, 10);
    EXPECT_EQ(p.part_offset[PART_CHECKSUM], 2);
    EXPECT_EQ(p.part_offset[PART_TIME], 4);
    EXPECT_EQ(p.part_offset[PART_COUNTER], 8);
    EXPECT_EQ(p.part_length[PART_COUNTER], 2);
    EXPECT_EQ(p.packetcounterlength, 2);
    EXPECT_EQ(p.fixedpacketlength, 64);
    EXPECT_EQ(p.pattern[2], 0xEB);
    EXPECT_EQ(p.pattern[3], 0x90);
    EXPECT_EQ(p.mask[2], 0xFF);
    EXPECT_EQ(p.masked_sync[2], 0xEB);

    p = packet_of(std::string("[packet]\n\ttime = on\n\tspare = 3\n") + kSyncBlock +
                  "\tspare = 1\n\tsumcheck = on\n\tpacketcounterlength = 0\n\tfixedpacketlength = 0\n");
    EXPECT_EQ(p.part_offset[PART_TIME], 0);
    EXPECT_EQ(p.part_offset[PART_SYNC], 7);
    EXPECT_EQ(p.part_length[PART_SPARE], 4);
    EXPECT_EQ(p.part_offset[PART_CHECKSUM], 10);
    EXPECT_EQ(p.header_len, 12);
    EXPECT_EQ(p.flags, PKT_SUMCHECK | PKT_TIME);
}

TEST_F(BlocksTest, AnEmptyPacketBlockTakesTheDefaults) {
    PacketRecord p = packet_of("[packet]\n");
    PacketRecord d;
    packet_record_defaults(&d);
    EXPECT_EQ(memcmp(&p, &d, sizeof p), 0);
    EXPECT_EQ(p.flags, PKT_SUMCHECK | PKT_TIME | PKT_REPORTSYNCLOSS);
    EXPECT_EQ(p.sync_len, 2);
    EXPECT_EQ(p.pattern[2], 0x12);
    EXPECT_EQ(p.pattern[3], 0x34);
    EXPECT_EQ(p.header_len, 9);
    EXPECT_EQ(p.part_offset[PART_COUNTER], 8);
    // An empty [sync] takes the sync defaults.
    p = packet_of("[packet]\n\t[sync]\n\tsumcheck = off\n\ttime = off\n\tpacketcounterlength = 1\n\tfixedpacketlength = 20\n");
    EXPECT_EQ(p.pattern[3], 0x34);
    EXPECT_EQ(p.header_len, 3);
}

struct PacketErrorCase {
    const char* text;
    const char* message;
};
static const PacketErrorCase kPacketErrors[] = {
    {"[packet]\n\tsumcheck = on\n", "Partially specified [packet] block illegal"},
    {"[packet]\n\t[sync]\n\t\tlength = 16\n", "Partially specified [sync] block illegal"},
    {"[packet]\n\t[sync]\n\t\tlength = 12\n", "Sync pattern is not 1,2,3 or 4 bytes long"},
    {"[packet]\n\t[sync]\n\t\tlength = x\n", "Invalid number"},
    {"[packet]\n\t[sync]\n\t\tlength = 1x\n", "Invalid number"},
    {"[packet]\n\t[sync]\n\t\tmask = 0xg\n", "Invalid number"},
    {"[packet]\n\t[sync]\n\t\tpattern = 0xZZ\n", "Cannot convert sync pattern - invalid number"},
    {"[packet]\n\t[sync]\n\t\tlength = 8\n\t\tpattern = 0x100\n", "Sync pattern is illegal or not in accord with sync length"},
    {"[packet]\n\t[sync]\n\t\tpattern = 0x10000\n\t\tlength = 16\n\t\tmask = 1\n\t\treportsyncloss = on\n",
     "Sync pattern is illegal or not in accord with sync length"},
    {"[packet]\n\tspare = 1.5\n", "Cannot convert spare length - invalid number"},
    {"[packet]\n\tspare = 129\n", "Header length out of range 1-128"},
    {"[packet]\n\tspare = 127\n\ttime = on\n", "Header length out of range 1-128"},
    {"[packet]\n\tpacketcounterlength = 3\n", "Packet counter error occured:\nEITHER counter not integral 0, 1 or 2 bytes long OR\nperhaps header > 128 byte max"},
    {"[packet]\n\tpacketcounterlength = q\n", "Cannot convert counter length - invalid number"},
    {"[packet]\n\tpacketcounterlength = 0q\n", "Cannot convert counter length - invalid number"},
    {"[packet]\n\tfixedpacketlength = 32768\n", "Fixed packet length is out of range 1-4224"},
    {"[packet]\n\tfixedpacketlength = 9z\n", "Cannot convert sync length - invalid number"},
    {"[packet]\n\t[sync]\n\tsumcheck = on\n\ttime = on\n\tpacketcounterlength = 1\n\tfixedpacketlength = 5\n",
     "Fixed packet length < header length"},
};

TEST_F(BlocksTest, PacketErrorsFallBackToTheDefaults) {
    for (const PacketErrorCase& c : kPacketErrors) {
        EXPECT_EQ(compile(c.text, 0), COMPILE_ERRORS) << c.text;
        std::vector<std::string> d = diagnostics();
        ASSERT_FALSE(d.empty()) << c.text;
        EXPECT_NE(d[0].find(c.message), std::string::npos) << c.text << "\n" << d[0];
    }
    // Errors leave the defaults in the record (the page file of a single
    // compile is deleted, so read what compile_text wrote).
    write_file("PAGE0000.TXT", "[packet]\n\tsumcheck = off\n\tccsds = on\n");
    int txt = zyr_fopen("PAGE0000.TXT", "r", 1024), bin = zyr_fopen("PAGE0000.BIN", "w", 2048);
    EXPECT_EQ(compile_text(0, txt, bin), COMPILE_ERRORS);
    zyr_fclose(bin);
    zyr_fclose(txt);
    PacketRecord d;
    packet_record_defaults(&d);
    PageRecords r = read_page_file("PAGE0000.BIN");
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_EQ(memcmp(&r.packets[0], &d, sizeof d), 0);
}

TEST_F(BlocksTest, ACounterErrorAlsoRefusesTheLine) {
    EXPECT_EQ(compile("[packet]\n\tpacketcounterlength = 3\n", 0), COMPILE_ERRORS);
    std::vector<std::string> d = diagnostics();
    ASSERT_GE(d.size(), 2u);
    EXPECT_NE(d[1].find("Unable to use line. Identifier unrecognised"), std::string::npos);
}

// ---- [system] ----------------------------------------------------------------------

TEST_F(BlocksTest, SystemKeysFillTheSystemRecord) {
    SystemRecord s = system_of(
        "\tdiagnostics = on\n\tstepmode = on\n\tsound = on\n\tbackup = on\n\topenoneof = yes\n"
        "\tbufsize = 4096\n\tflushperiod = 30\n\ttimeoutperiod = 90\n"
        "\t[tuning]\n\t\tlooptime = 20\n\t\tautotune = on\n\t\ttimings = on\n"
        "\t[video]\n\t\twindowbackcolor = black\n");
    EXPECT_EQ(s.sysflags, SF_DIAGNOSTICS | SF_STEP_MODE | SF_BEEPER | SF_AUTOTUNE | SF_FRAME_TIMINGS);
    EXPECT_EQ(s.ioflags, 0x800u | 0x4000u);
    EXPECT_EQ(s.backupperiod, 29u);
    EXPECT_EQ(s.bufsize, 4096u);
    EXPECT_EQ(s.flushperiod, 30u);
    EXPECT_EQ(s.timeoutperiod, 90u);
    EXPECT_EQ(s.looptime, 20u);
    EXPECT_EQ(s.colourflags, (uint32_t)SYS_WINDOWBACKCOLOR);
    EXPECT_EQ(s.windowbackcolor, 0);
    EXPECT_EQ(s.windowforecolor, 0);
    s = system_of("\tbackupperiod = 600\n");
    EXPECT_EQ(s.backupperiod, 600u);
    EXPECT_EQ(s.timeoutperiod, 60u);
    EXPECT_EQ(s.ioflags, 0u);
}

TEST_F(BlocksTest, InputAndOutputEntries) {
    SystemRecord s = system_of(
        "\t[input]\n"
        "\t\t[serial]\n\t\t\tenable = yes\n\t\t\tcomport = 1\n\t\t\tbaud = 115200\n\t\t\tdatabits = 7\n"
        "\t\t\tstopbits = 2\n\t\t\tparity = \"even\"\n\t\t\tbufsize = 4\n"
        "\t\t[file]\n\t\t\tfilename = \"in.raw\"\n\t\t\tformat = \"raw\"\n\t\t\tfilemode = \"rb\"\n\t\t\tbufsize = 1024\n"
        "\t\t[file]\n\t\t\tfilename = \"in.asc\"\n\t\t\tformat = \"Ascii\"\n\t\t\tfilemode = \"read\"\n"
        "\t\t[network]\n\t\t\ttcpprotocol = on\n\t\t\ttcpportno = 5000\n\t\t\tudpportno = 5001\n\t\t\tbufsize = 65536\n"
        "\t\t\tfilename = \"groundhost\"\n"
        "\t\t[testdata]\n\t\t\tenable = on\n"
        "\t\t[api]\n\t\t\tapireadbyte = on\n\t\t\tapireadpkt = on\n"
        "\t[output]\n"
        "\t\t[serial]\n\t\t\tcomport = 2\n\t\t\techo = on\n\t\t\tasciiout = on\n"
        "\t\t[file]\n\t\t\tfilename = \"out.cmp\"\n\t\t\tformat = \"compressed\"\n\t\t\tfilemode = \"wb\"\n"
        "\t\t[network]\n\t\t\tudpprotocol = on\n\t\t\tudpportno = 6000\n"
        "\t\t[api]\n\t\t\tapiwritebyte = on\n\t\t\tapiwritepkt = on\n");
    ASSERT_EQ(diagnostics().size(), 1u) << joined();
    EXPECT_NE(diagnostics()[0].find("Bufsize is smaller than 16 bytes - 16 bytes will be used"), std::string::npos);
    const SerialEntry& in = s.serial[0];
    EXPECT_EQ(in.flags, 0x1 | 0x8);
    EXPECT_EQ(in.comport, 0);
    EXPECT_EQ(in.baud, 11520);
    EXPECT_EQ(in.databits, 2);
    EXPECT_EQ(in.stopbits, 4);
    EXPECT_EQ(in.parity, 24);
    EXPECT_EQ(in.bufsize, 16);
    const SerialEntry& out = s.serial[1];
    EXPECT_EQ(out.flags, 0x2);
    EXPECT_EQ(out.comport, 1);
    EXPECT_EQ(out.baud, 9600);
    EXPECT_EQ(out.databits, 3);
    EXPECT_EQ(out.bufsize, 8192);
    EXPECT_EQ(s.sysflags, SF_ECHO | 0x200000u);
    EXPECT_STREQ(s.files[0].filename, "in.raw");
    EXPECT_EQ(s.files[0].mode, (uint32_t)IO_RAW_PLAYBACK);
    EXPECT_STREQ(s.files[0].filemode, "rb");
    EXPECT_STREQ(s.files[0].format, "r");
    EXPECT_EQ(s.files[0].bufsize, 1024u);
    EXPECT_EQ(s.files[1].mode, (uint32_t)IO_ASCII_PLAYBACK);
    EXPECT_STREQ(s.files[1].filemode, "read");
    EXPECT_EQ(s.files[2].mode, (uint32_t)IO_COMP_RECORD);
    EXPECT_EQ(s.net_in.protocol, 0x10000u | 0x20u);
    EXPECT_EQ(s.net_in.tcpportno, 5000);
    EXPECT_EQ(s.net_in.udpportno, 5001);
    EXPECT_EQ(s.net_in.bufsize, 65536u);
    EXPECT_STREQ(s.net_in.host, "groundhost");
    EXPECT_EQ(s.net_out.protocol, 0x20000u | 0x40u);
    EXPECT_EQ(s.net_out.udpportno, 6000);
    EXPECT_EQ(s.ioflags, IO_TEST_DATA | IO_USER_BYTE_IN | IO_USER_PACKET_IN | IO_USER_BYTE_OUT | IO_USER_PACKET_OUT);
}

TEST_F(BlocksTest, ASerialPortUsedForOutputKeepsItsSettingsForInput) {
    SystemRecord s = system_of("\t[output]\n\t\t[serial]\n\t\t\tcomport = 3\n\t\t\tbaud = 4800\n\t\t\tenable = on\n"
                               "\t[input]\n\t\t[serial]\n\t\t\tcomport = 3\n\t\t\tbaud = 19200\n");
    EXPECT_EQ(s.serial[2].baud, 4800);
    EXPECT_EQ(s.serial[2].flags, 0x1 | 0x2 | 0x10);
}

static const char* const kEmptyWarnings[][2] = {
    {"\t[video]\n", "Empty [video] sub-block"},
    {"\t[input]\n", "Empty [Input] sub-block"},
    {"\t[output]\n", "Empty [output] sub-block"},
    {"\t[input]\n\t\t[serial]\n", "Empty [serial] sub-block"},
    {"\t[input]\n\t\t[file]\n", "Empty [File] sub-block"},
    {"\t[output]\n\t\t[network]\n", "Empty [network] sub-block"},
    {"\t[input]\n\t\t[testdata]\n", "Empty [Testdata] sub-block"},
    {"\t[output]\n\t\t[api]\n", "Empty [API] sub-block"},
};

TEST_F(BlocksTest, EmptySystemSubBlocksAreWarnings) {
    for (const auto& c : kEmptyWarnings) {
        system_of(c[0]);
        ASSERT_EQ(diagnostics().size(), 1u) << c[0];
        EXPECT_NE(diagnostics()[0].find(c[1]), std::string::npos) << diagnostics()[0];
    }
    SystemRecord s = system_of("\t[video]\n");
    EXPECT_EQ(s.windowbackcolor, 15);
    EXPECT_EQ(s.colourflags, 0u);
}

static const PacketErrorCase kSystemErrors[] = {
    {"\t[input]\n\t\t[serial]\n\t\t\tbaud = 9600\n", "Illegal [serial] block - comport identifier not found"},
    {"\t[input]\n\t\t[serial]\n\t\t\tcomport = 5\n", "Comport value outside range - invalid number"},
    {"\t[input]\n\t\t[serial]\n\t\t\tcomport = 1\n\t\t\tbaud = 20\n", "Baud value outside 34-115200 bits/sec range"},
    {"\t[input]\n\t\t[serial]\n\t\t\tcomport = 1\n\t\t\tbaud = 76800\n", "Baud value above 65535 must be 115200"},
    {"\t[input]\n\t\t[serial]\n\t\t\tcomport = 1\n\t\t\tdatabits = 9\n", "Databits outside 5-8 range"},
    {"\t[input]\n\t\t[serial]\n\t\t\tcomport = 1\n\t\t\tstopbits = 3\n", "Stopbits not 1 or 2"},
    {"\t[input]\n\t\t[serial]\n\t\t\tcomport = 1\n\t\t\tparity = \"mark\"\n", "Invalid parity, not 'none', 'odd' or 'even'"},
    {"\t[input]\n\t\t[serial]\n\t\t\tcomport = 1\n\t\t\tbaud = 9x\n", "Invalid number"},
    {"\t[input]\n\t\t[file]\n\t\t\tfilename = \"a\"\n\t\t\tformat = \"raw\"\n\t\t\tfilemode = \"x\"\n", "Unrecognised file mode"},
    {"\t[input]\n\t\t[file]\n\t\t\tfilename = \"a\"\n\t\t\tformat = \"zip\"\n\t\t\tfilemode = \"r\"\n", "Unrecognised file format"},
    {"\t[input]\n\t\t[serial]\n\t\t[serial]\n", "Unable to use line"},
};

TEST_F(BlocksTest, SystemErrorsAreReportedAndTheRecordStillWritten) {
    for (const PacketErrorCase& c : kSystemErrors) {
        EXPECT_EQ(compile(std::string("[system]\n") + c.text, 0), COMPILE_ERRORS) << c.text;
        bool found = false;
        for (const std::string& d : diagnostics())
            if (d.rfind("* !!", 0) == 0) {
                EXPECT_NE(d.find(c.message), std::string::npos) << c.text << "\n" << d;
                found = true;
                break;
            }
        EXPECT_TRUE(found) << c.text;
    }
    std::string five;
    for (int i = 0; i < 5; i++) five += "\t\t[file]\n\t\t\tfilename = \"f" + std::to_string(i) + "\"\n\t\t\tformat = \"r\"\n\t\t\tfilemode = \"w\"\n";
    EXPECT_EQ(compile("[system]\n\t[output]\n" + five, 0), COMPILE_ERRORS);
    ASSERT_EQ(diagnostics().size(), 1u);
    EXPECT_NE(diagnostics()[0].find("More than four packet I/O files specified"), std::string::npos);
}

TEST_F(BlocksTest, PageZeroWritesItsRecordsInTextOrder) {
    EXPECT_EQ(compile(std::string("[system]\n[valueport]\n") + kPortBase + "[packet]\n", 0), COMPILE_OK) << joined();
    PageRecords r = read_page_file("PAGE0000.BIN");
    EXPECT_EQ(r.result, PAGE_EOF);
    EXPECT_EQ(r.tags, (std::vector<uint32_t>{TAG_SYSTEM, TAG_PORT, TAG_PACKET}));
}
