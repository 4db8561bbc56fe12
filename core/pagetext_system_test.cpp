#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/pagetext.h"
#include "core/symtab.h"
#include "tests/test_support.h"

class PageTextFile : public ::testing::Test {
protected:
    void SetUp() override {
        reset_core();
        symtab_reset();
        pagetext_reset();
        ASSERT_EQ(InitSymTab(), 0);
    }
    void TearDown() override {
        symtab_reset();
        reset_core();
    }
};

template <typename Rec>
static std::string text_of(int (*writer)(const Rec*, int), const Rec& r, int* rc = nullptr) {
    int out = zyr_fopen("one.txt", "w", 1024);
    int result = writer(&r, out);
    zyr_fclose(out);
    if (rc) *rc = result;
    return read_file("one.txt");
}

// ---- [packet] ---------------------------------------------------------------------

// A packet record with a 2-byte sync and nothing else in its header.
static PacketRecord sync_only() {
    PacketRecord r{};
    EXPECT_EQ(BuildSync(&r, 16, 0xEB90, 0xFFFF), 0);
    return r;
}

TEST_F(PageTextFile, SyncLengthOutsideOneToFourFails) {
    for (int len : {0, 5, 0xFFFF}) {
        PacketRecord r{};
        r.sync_len = (uint16_t)len;
        int rc = 0;
        EXPECT_EQ(text_of(pagetext_packet, r, &rc), "");
        EXPECT_EQ(rc, PT_PACKET_FAILED);
    }
}

// ---- [system] ---------------------------------------------------------------------

TEST_F(PageTextFile, EmptySystemWritesItsNumbersAndTuning) {
    SystemRecord r{};
    EXPECT_EQ(text_of(pagetext_system, r),
              "[system]\r\n\tbackupperiod = 0\r\n\tflushperiod = 0\r\n\tbufsize = 0\r\n\ttimeoutperiod = 0\r\n"
              "\t[tuning]\r\n\t\tlooptime = 0\r\n");
}

TEST_F(PageTextFile, BackupSwitchIsNeverWrittenButItsPeriodIs) {
    SystemRecord r{};
    r.ioflags = 0x800;
    r.backupperiod = 600;
    std::string t = text_of(pagetext_system, r);
    EXPECT_NE(t.find("\tbackupperiod = 600\r\n"), std::string::npos);
    EXPECT_EQ(t.find("backup ="), std::string::npos);
}

struct VideoCase {
    uint32_t videoflags, colourflags;
    uint16_t back, fore;
    const char* text;   // the [video] part, "" for none
};
static const VideoCase kVideoCases[] = {
    {0x1, 0, 0, 0, ""},                                  // monochrome alone: never written
    {0x2, 0, 0, 0, "\t[video]\r\n"},                     // the flags alone: the bare header
    {0x21, 0, 0, 0, "\t[video]\r\n"},
    {0, 0, 15, 0, "\t[video]\r\n"},                     // the colours of an empty block
    {0, SYS_WINDOWFORECOLOR, 15, 0, "\t[video]\r\n\t\twindowforecolor = black\r\n"},
    {0, SYS_WINDOWBACKCOLOR | SYS_WINDOWFORECOLOR, 0, 0,
     "\t[video]\r\n\t\twindowbackcolor = black\r\n\t\twindowforecolor = black\r\n"},
};

TEST_F(PageTextFile, VideoBlock) {
    for (const VideoCase& c : kVideoCases) {
        SystemRecord r{};
        r.videoflags = c.videoflags;
        r.colourflags = c.colourflags;
        r.windowbackcolor = c.back;
        r.windowforecolor = c.fore;
        std::string t = text_of(pagetext_system, r);
        size_t at = t.find("\t[tuning]");
        size_t from = t.find("\ttimeoutperiod = 0\r\n") + strlen("\ttimeoutperiod = 0\r\n");
        EXPECT_EQ(t.substr(from, at - from), c.text) << c.videoflags;
        EXPECT_EQ(t.find("monochrome"), std::string::npos);
    }
}

TEST_F(PageTextFile, EchoGoesWithTheInputSerialWhenThereIsNoOutputSerial) {
    SystemRecord r{};
    r.sysflags = 0x80;
    r.serial[0] = {0x1, {}, 0, 9600, 0, 3, 8, 8192};
    std::string t = text_of(pagetext_system, r);
    EXPECT_NE(t.find("\t\t\tparity = \"odd\"\r\n\t\t\tbufsize = 8192\r\n\t\t\techo = on\r\n"), std::string::npos);
    EXPECT_EQ(t.find("[output]"), std::string::npos);
}

TEST_F(PageTextFile, SerialEntryOfBothDirectionsKeepsEachEnable) {
    SystemRecord r{};
    r.serial[3] = {0x1 | 0x2 | 0x10, {}, 3, 4800, 0, 3, 0, 1024};
    std::string t = text_of(pagetext_system, r);
    EXPECT_NE(t.find("\t[input]\r\n\t\t[serial]\r\n\t\t\tenable = no\r\n\t\t\tcomport = 4\r\n"), std::string::npos);
    EXPECT_NE(t.find("\t[output]\r\n\t\t[serial]\r\n\t\t\tenable = yes\r\n\t\t\tcomport = 4\r\n"), std::string::npos);
}

struct NetCase {
    uint32_t protocol;
    const char* lines;   // the protocol lines
};
static const NetCase kNetCases[] = {
    {0x10000 | 0x20, "\t\t\ttcpprotocol = on\r\n"},
    {0x20000 | 0x80, "\t\t\tudpprotocol = on\r\n"},
    {0x30000 | 0x20, "\t\t\ttcpprotocol = on\r\n\t\t\tudpprotocol = on\r\n"},
    {0x08, "\t\t\ttcpprotocol = on\r\n"},   // a record without the switch bits
    {0x40, "\t\t\tudpprotocol = on\r\n"},
    {0, ""},
};

TEST_F(PageTextFile, NetworkProtocols) {
    for (const NetCase& c : kNetCases) {
        SystemRecord r{};
        r.net_in = {c.protocol, 0, 0, 7000, 0, ""};
        std::string want = std::string("\t\t[network]\r\n") + c.lines +
                           "\t\t\ttcpportno = 0\r\n\t\t\tudpportno = 7000\r\n\t\t\tbufsize = 0\r\n";
        EXPECT_NE(text_of(pagetext_system, r).find(want), std::string::npos) << c.protocol;
    }
}

// ---- whole page files ---------------------------------------------------------------

static PortRecord named_port(const char* name) {
    PortRecord r;
    memset(&r, 0, sizeof r);
    r.port_flags = PF_ENABLE;
    r.frame_flags = FR_BORDER;
    strcpy(r.rawformat, "%6hd");
    strcpy(r.displayformat, "%6hd");
    strcpy(r.mnemonic, name);
    r.row = 1;
    r.column = 1;
    r.supercommcount = 1;
    return r;
}

struct Rec {
    uint32_t tag;
    PageRecordBody body;
};

static std::string page_bytes(const std::vector<Rec>& recs) {
    int f = zyr_fopen("make.bin", "w", 2048);
    for (const Rec& r : recs) page_write_record(f, r.tag, &r.body);
    zyr_fclose(f);
    return read_file("make.bin");
}

static Rec port_rec(const char* name) {
    Rec r{TAG_PORT, {}};
    r.body.port = named_port(name);
    return r;
}

static int write_text(const std::string& page_file, std::string* text) {
    write_file("PAGE0001.BIN", page_file);
    int in = page_file_open_read("PAGE0001.BIN");
    int out = zyr_fopen("PAGE0001.TXT", "w", 1024);
    int rc = pagetext_write(in, out);
    zyr_fclose(in);
    zyr_fclose(out);
    *text = read_file("PAGE0001.TXT");
    return rc;
}

TEST_F(PageTextFile, PortsOnlyPageWritesOnlyValuePorts) {
    std::string t;
    EXPECT_EQ(write_text(page_bytes({port_rec("A"), port_rec("B")}), &t), PT_OK);
    EXPECT_EQ(t.find("[valueport]"), 0u);
    EXPECT_NE(t.find("\tmnemonic = \"B\"\r\n"), std::string::npos);
    EXPECT_EQ(t.find("[packet]"), std::string::npos);
    EXPECT_EQ(t.find("[system]"), std::string::npos);
}

TEST_F(PageTextFile, PageZeroWritesPacketAndSystemAfterItsPorts) {
    Rec pkt{TAG_PACKET, {}};
    pkt.body.packet = sync_only();
    Rec sys{TAG_SYSTEM, {}};
    std::string t;
    EXPECT_EQ(write_text(page_bytes({port_rec("A"), pkt, sys}), &t), PT_OK);
    size_t a = t.find("[valueport]"), p = t.find("[packet]"), s = t.find("[system]");
    EXPECT_LT(a, p);
    EXPECT_LT(p, s);
    EXPECT_NE(s, std::string::npos);
}

TEST_F(PageTextFile, EmptyPageFileWritesNothing) {
    std::string t = "x";
    EXPECT_EQ(write_text("", &t), PT_OK);
    EXPECT_EQ(t, "");
}

struct BadFileCase {
    const char* name;
    std::string bytes;
    int rc;
    bool first_port_written;
};

static std::vector<BadFileCase> bad_files() {
    std::string one = page_bytes({port_rec("A")});
    Rec pkt{TAG_PACKET, {}};
    pkt.body.packet = sync_only();
    Rec bad_sync = pkt;
    bad_sync.body.packet.sync_len = 7;
    Rec sys{TAG_SYSTEM, {}};
    std::string pk = page_bytes({pkt}), sy = page_bytes({sys});
    return {
        {"port cut short", one + one.substr(0, one.size() - 1), PT_SHORT_PORT, true},
        {"packet cut short", one + pk.substr(0, pk.size() - 2), PT_SHORT_PACKET, true},
        {"system cut short", one + sy.substr(0, 6), PT_SHORT_SYSTEM, true},
        {"unknown tag", one + std::string("\x06\x00\x02", 3) + one, PT_UNKNOWN_TAG, true},
        {"tag cut short", one + std::string("\x05", 1), PT_UNKNOWN_TAG, true},
        {"bad sync length", one + page_bytes({bad_sync}), PT_PACKET_FAILED, true},
        {"garbage", std::string("\x01\x02\x03\x04garbage"), PT_UNKNOWN_TAG, false},
    };
}

TEST_F(PageTextFile, BadPageFilesGiveTheirCodesAndKeepWhatWasWritten) {
    for (const BadFileCase& c : bad_files()) {
        std::string t;
        EXPECT_EQ(write_text(c.bytes, &t), c.rc) << c.name;
        EXPECT_EQ(t.find("[valueport]") == 0, c.first_port_written) << c.name;
        EXPECT_EQ(t.find("[valueport]", 1), std::string::npos) << c.name;
    }
}

TEST_F(PageTextFile, ReaderNotReady) {
    int out = zyr_fopen("x.txt", "w", 1024);
    EXPECT_EQ(pagetext_write(-1, out), PT_NOT_READY);
    EXPECT_EQ(pagetext_write(out, out), PT_NOT_READY);   // open for writing, not reading
    write_file("p.bin", page_bytes({port_rec("A")}));
    int in = page_file_open_read("p.bin");
    symtab_reset();
    EXPECT_EQ(pagetext_write(in, out), PT_NOT_READY);
    zyr_fclose(in);
    zyr_fclose(out);
    EXPECT_EQ(read_file("x.txt"), "");
}

TEST_F(PageTextFile, TextFileNotWritableFailsEachRecordKind) {
    write_file("ro.txt", "");
    int ro = zyr_fopen("ro.txt", "r", 1024);
    PortRecord p = named_port("A");
    PacketRecord k = sync_only();
    SystemRecord s{};
    EXPECT_EQ(pagetext_port(&p, ro), PT_PORT_FAILED);
    EXPECT_EQ(pagetext_packet(&k, ro), PT_PACKET_FAILED);
    EXPECT_EQ(pagetext_system(&s, ro), PT_SYSTEM_FAILED);
    EXPECT_EQ(pagetext_port(&p, -1), PT_PORT_FAILED);
    zyr_fclose(ro);
}

// Every line of any text is tabs (at most 3), a keyword and optionally
// " = " and a value, ending in CR LF, with no other line end inside.
static void expect_well_formed(const std::string& t) {
    size_t at = 0;
    while (at < t.size()) {
        size_t end = t.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "unterminated line at " << at;
        std::string line = t.substr(at, end - at);
        size_t tabs = line.find_first_not_of('\t');
        ASSERT_NE(tabs, std::string::npos);
        EXPECT_LE(tabs, 3u) << line;
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        EXPECT_NE(strchr("abcdefghijklmnopqrstuvwxyz0123456789_[", line[tabs]), nullptr) << line;
        EXPECT_LT(line.size(), 400u);
        at = end + 2;
    }
}

// Records full of random bytes (no NUL anywhere in their texts) are written
// without reading or writing past a field, and every line keeps its shape.
TEST_F(PageTextFile, RandomRecordsNeverBreakTheText) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 60; round++) {
        std::vector<Rec> recs;
        for (uint32_t tag : {TAG_PORT, TAG_PACKET, TAG_SYSTEM}) {
            Rec r{tag, {}};
            auto* b = (uint8_t*)&r.body;
            for (int i = 0; i < page_record_length(tag); i++) b[i] = (uint8_t)(rng() | (round % 2));
            if (tag == TAG_PACKET) r.body.packet.sync_len = (uint16_t)(1 + rng() % 4);
            if (tag == TAG_PORT && round % 3 == 0) r.body.port.port_flags &= ~(uint32_t)PF_RECORD;
            recs.push_back(r);
        }
        std::string t;
        int rc = write_text(page_bytes(recs), &t);
        EXPECT_TRUE(rc == PT_OK || rc == PT_PORT_FAILED) << rc;
        expect_well_formed(t);
    }
}


// ---- whole blocks as text -------------------------------------------------------------

// A 3-byte sync, then checksum, time, a spare byte and a 2-byte counter, with
// the length field marker after the time: every header key in layout order.
TEST_F(PageTextFile, PacketBlockWholeText) {
    PacketRecord r{};
    ASSERT_EQ(BuildSync(&r, 24, 0xFAF320, 0xFFFFF0), 0);
    r.flags |= PKT_SUMCHECK | PKT_TIME | PKT_REPORTSYNCLOSS | PKT_CCSDS;
    ASSERT_EQ(packet_add_part(&r, PART_CHECKSUM, 2), 0);
    ASSERT_EQ(packet_add_part(&r, PART_TIME, 4), 0);
    ASSERT_EQ(packet_add_part(&r, PART_MARKER, 0), 0);
    ASSERT_EQ(packet_add_part(&r, PART_SPARE, 1), 0);
    ASSERT_EQ(packet_add_part(&r, PART_COUNTER, 2), 0);
    r.packetcounterlength = 2;
    r.fixedpacketlength = 120;
    EXPECT_EQ(text_of(pagetext_packet, r),
              "[packet]\r\n"
              "\t[sync]\r\n\t\tlength = 24\r\n\t\tpattern = 0xfaf320\r\n\t\tmask = 0xfffff0\r\n"
              "\t\treportsyncloss = on\r\n"
              "\tsumcheck = on\r\n"
              "\ttime = on\r\n"
              "\tfixedpacketlength = 120\r\n"
              "\tspare = 1\r\n"
              "\tpacketcounterlength = 2\r\n"
              "\tccsds = on\r\n");
}

// Every block of [system]: both serial directions, a playback and a record
// file, both network entries, the program interfaces, test data, video and
// tuning.
TEST_F(PageTextFile, SystemBlockWholeText) {
    SystemRecord r{};
    r.sysflags = SF_DIAGNOSTICS | SF_STEP_MODE | SF_BEEPER | SF_ECHO | SF_ASCII_OUT | SF_AUTOTUNE;
    r.ioflags = 0x4000 | IO_USER_BYTE_IN | IO_TEST_DATA | IO_USER_PACKET_OUT;
    r.backupperiod = 300;
    r.flushperiod = 5;
    r.bufsize = 16384;
    r.timeoutperiod = 20;
    r.looptime = 25;
    r.serial[0] = {0x1 | 0x08, {}, 1, 19200, 4, 2, 24, 4096};
    r.serial[1] = {0x2, {}, 2, 9600, 0, 3, 0, 2048};
    r.files[0] = {8192, IO_RAW_PLAYBACK, "in.bin", "rb", "r"};
    r.files[1] = {4096, IO_COMP_RECORD, "out.cmp", "wb", "c"};
    r.net_in = {0x10000 | 0x20, 32768, 5000, 0, 7, "127.0.0.1"};
    r.net_out = {0x20000 | 0x80, 1024, 0, 5001, 0, "127.0.0.1"};
    r.colourflags = SYS_WINDOWBACKCOLOR;
    r.windowbackcolor = 1;
    std::string t = text_of(pagetext_system, r);
    EXPECT_EQ(t,
              "[system]\r\n"
              "\tdiagnostics = on\r\n\tstepmode = on\r\n\tsound = on\r\n"
              "\tbackupperiod = 300\r\n\topenoneof = on\r\n"
              "\tflushperiod = 5\r\n\tbufsize = 16384\r\n\ttimeoutperiod = 20\r\n"
              "\t[input]\r\n"
              "\t\t[serial]\r\n\t\t\tenable = yes\r\n\t\t\tcomport = 2\r\n\t\t\tbaud = 19200\r\n"
              "\t\t\tdatabits = 7\r\n\t\t\tstopbits = 2\r\n\t\t\tparity = \"even\"\r\n\t\t\tbufsize = 4096\r\n"
              "\t\t[file]\r\n\t\t\tfilename = \"in.bin\"\r\n\t\t\tformat = \"r\"\r\n\t\t\tfilemode = \"rb\"\r\n"
              "\t\t\tbufsize = 8192\r\n"
              "\t\t[network]\r\n\t\t\ttcpprotocol = on\r\n\t\t\ttcpportno = 5000\r\n\t\t\tudpportno = 0\r\n"
              "\t\t\tbufsize = 32768\r\n\t\t\tfilename = \"127.0.0.1\"\r\n"
              "\t\t[api]\r\n\t\t\tapireadbyte = on\r\n"
              "\t\t[testdata]\r\n\t\t\tenable = on\r\n"
              "\t[output]\r\n"
              "\t\t[serial]\r\n\t\t\tenable = no\r\n\t\t\tcomport = 3\r\n\t\t\tbaud = 9600\r\n"
              "\t\t\tdatabits = 8\r\n\t\t\tstopbits = 1\r\n\t\t\tparity = \"none\"\r\n\t\t\tbufsize = 2048\r\n"
              "\t\t\techo = on\r\n\t\t\tasciiout = on\r\n"
              "\t\t[file]\r\n\t\t\tfilename = \"out.cmp\"\r\n\t\t\tformat = \"c\"\r\n\t\t\tfilemode = \"wb\"\r\n"
              "\t\t\tbufsize = 4096\r\n"
              "\t\t[network]\r\n\t\t\tudpprotocol = on\r\n\t\t\ttcpportno = 0\r\n\t\t\tudpportno = 5001\r\n"
              "\t\t\tbufsize = 1024\r\n\t\t\tfilename = \"127.0.0.1\"\r\n"
              "\t\t[api]\r\n\t\t\tapiwritepkt = on\r\n"
              "\t[video]\r\n\t\twindowbackcolor = blue\r\n"
              "\t[tuning]\r\n\t\tlooptime = 25\r\n\t\tautotune = on\r\n");
}
