// Tests of the packet description, the resumable synchroniser and the
// packet checks, fed from memory sources.
#include "core/packet.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/state.h"

using Bytes = std::vector<uint8_t>;

namespace {

struct Format {
    int bits;
    uint32_t pattern, mask;
    int fixed, counter;
    uint32_t flags;
};
const Format kEB90 = {16, 0xEB90, 0xFFFF, 64, 1, PKT_SUMCHECK | PKT_TIME | PKT_REPORTSYNCLOSS};
const Format kBare8 = {16, 0xEB90, 0xFFFF, 8, 0, PKT_REPORTSYNCLOSS};   // sync and 6 data bytes

void put_be32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; i++) out[i] = (uint8_t)(v >> (24 - 8 * i));
}

int use(const Format& f) {
    PacketRecord r;
    packet_defaults(&r);
    r.sync_len = (uint16_t)f.bits;
    put_be32(r.pattern, f.pattern);
    put_be32(r.mask, f.mask);
    r.fixedpacketlength = (uint16_t)f.fixed;
    r.packetcounterlength = (uint16_t)f.counter;
    r.flags = f.flags;
    return packet_setup(&r);
}

// The length port of the tests: a little-endian field of `width` bytes.
LengthPort g_port;
int g_port_present;
int test_length_port(LengthPort* out) {
    *out = g_port;
    return g_port_present ? 0 : -1;
}
uint32_t test_length_value(const uint8_t* p, int) {
    uint32_t v = 0;
    for (int i = g_port.width - 1; i >= 0; i--) v = v << 8 | p[g_port.byteindex + i];
    return v;
}
void use_length_port(bool enabled, int byteindex, int width) {
    g_port = LengthPort{enabled, byteindex, width};
    g_port_present = 1;
    packet_hooks.length_port = test_length_port;
    packet_hooks.length_value = test_length_value;
}

// A packet of the running format: sync, counter, length field (variable
// length), data from rng, checksum.
Bytes make_packet(int len, unsigned counter, std::mt19937& rng) {
    Bytes p((size_t)len);
    for (auto& b : p) b = (uint8_t)rng();
    packet_put_sync(p.data());
    const PacketLayout& l = pkt_layout;
    if (l.counter_len >= 1) p[(size_t)l.counter_pos] = (uint8_t)counter;
    if (l.counter_len == 2) p[(size_t)l.counter_pos + 1] = (uint8_t)(counter >> 8);
    if (!l.fixed_len) {
        p[(size_t)g_port.byteindex] = (uint8_t)len;
        p[(size_t)g_port.byteindex + 1] = (uint8_t)(len >> 8);
    }
    packet_put_checksum(p.data(), len);
    return p;
}

// A stream in memory registered as the serial input; feed() makes more of
// it visible, drain() collects packets until the source runs dry.
struct Stream {
    Bytes data;
    MemSource m{};
    ByteSource src{};
    std::vector<int> results;

    void start(MemSourceKind kind, size_t visible) {
        m = MemSource{data.data(), visible, 0};
        mem_source(&src, &m, kind);
        packet_set_source(PSRC_SERIAL, &src);
        zyr.IoFlags |= IO_SERIAL_IN;
    }
    void feed(size_t n) { m.len = std::min(data.size(), m.len + n); }
    std::vector<Bytes> drain() {
        std::vector<Bytes> out;
        for (int guard = 0; guard < 100000; guard++) {
            int rc = get_packet();
            results.push_back(rc);
            if (rc == PKT_NO_DATA) break;
            if (rc == PKT_OK) out.emplace_back(pkt.buf, pkt.buf + pkt.len);
        }
        return out;
    }
};

std::string read_file(const char* name) {
    std::string s;
    if (FILE* f = fopen(name, "rb")) {
        char b[4096];
        size_t n;
        while ((n = fread(b, 1, sizeof b, f)) > 0) s.append(b, n);
        fclose(f);
    }
    return s;
}

class PacketTest : public ::testing::Test {
protected:
    void SetUp() override {
        packet_reset();
        diagnostics_reset();
        files_reset();
        state_reset();
        mempool_reset();
        unlink("debugmsg");
        g_port_present = 0;
        ASSERT_EQ(packet_init(), 0);
    }
    void TearDown() override {
        packet_reset();
        diagnostics_reset();
        files_reset();
    }
};

using SyncTest = PacketTest;

// ---- description ----------------------------------------------------------

TEST_F(PacketTest, DefaultsGiveTheStandardHeader) {
    ASSERT_EQ(packet_setup(nullptr), 0);
    const PacketLayout& l = pkt_layout;
    EXPECT_EQ(l.sync_len, 2);
    EXPECT_EQ(l.checksum_pos, 2);
    EXPECT_EQ(l.time_pos, 4);
    EXPECT_EQ(l.counter_pos, 8);
    EXPECT_EQ(l.header_len, 9);
    EXPECT_EQ(l.data_len, 128 - 9);
    const uint8_t pattern[4] = {0, 0, 0x12, 0x34}, mask[4] = {0, 0, 0xFF, 0xFF};
    EXPECT_EQ(0, memcmp(l.desc.pattern, pattern, 4));
    EXPECT_EQ(0, memcmp(l.desc.mask, mask, 4));
    EXPECT_EQ(l.desc.masked_sync[2], 0x12);
    EXPECT_EQ(l.desc.masked_sync[3], 0x34);
    EXPECT_EQ(zyr_stat(ST_SYNC_VALUE), 0x1234u);
    EXPECT_EQ(zyr_stat(ST_PACKET_FLAGS), 7u);
    EXPECT_EQ(zyr_stat(ST_FIXED_LENGTH), 0u);
}

struct BuildCase {
    int bits;
    uint32_t pattern, mask;
    int rc;
    uint8_t want_pattern[4], want_mask[4];
};
const BuildCase kBuildCases[] = {
    {8, 0x1234, 0xFFFFFFFF, 0, {0, 0, 0, 0x34}, {0, 0, 0, 0xFF}},
    {16, 0x1234, 0xFFF0, 0, {0, 0, 0x12, 0x34}, {0, 0, 0xFF, 0xF0}},
    {24, 0xFAF320, 0xFFFFFF, 0, {0, 0xFA, 0xF3, 0x20}, {0, 0xFF, 0xFF, 0xFF}},
    {32, 0x1ACFFC1D, 0xFFFFFFFF, 0, {0x1A, 0xCF, 0xFC, 0x1D}, {0xFF, 0xFF, 0xFF, 0xFF}},
    {12, 0x123, 0xFFF, -1, {}, {}},
    {0, 0, 0, -1, {}, {}},
    {40, 0, 0, -1, {}, {}},
};

TEST_F(PacketTest, BuildSyncTakesWholeBytesOnly) {
    for (const BuildCase& c : kBuildCases) {
        PacketRecord r{};
        ASSERT_EQ(BuildSync(&r, c.bits, c.pattern, c.mask), c.rc) << c.bits;
        if (c.rc != 0) continue;
        EXPECT_EQ(r.sync_len, c.bits / 8);
        EXPECT_EQ(r.header_len, c.bits / 8);
        EXPECT_EQ(0, memcmp(r.pattern, c.want_pattern, 4)) << c.bits;
        EXPECT_EQ(0, memcmp(r.mask, c.want_mask, 4)) << c.bits;
    }
    EXPECT_NE(read_file("debugmsg").find("BuildSync() sync len 12 invalid"), std::string::npos);
}

TEST_F(PacketTest, CreatePacketRefusesBadRecordsAndKeepsTheOldOne) {
    ASSERT_EQ(use(kEB90), 0);
    PacketRecord r = pkt_layout.desc;
    r.sync_len = 5;
    EXPECT_EQ(CreatePacket(&r), -1);
    r.sync_len = 2;
    r.header_len = 200;
    EXPECT_EQ(CreatePacket(&r), -2);
    r = pkt_layout.desc;
    r.part_offset[PART_COUNTER] = 300;  // outside the header
    EXPECT_EQ(CreatePacket(&r), -2);
    EXPECT_EQ(pkt_layout.sync_value, 0xEB90u);
    EXPECT_EQ(pkt_layout.fixed_len, 64);
    EXPECT_NE(read_file("debugmsg").find("!! CreatePacket() sync_len = 5 !!"), std::string::npos);
}

TEST_F(PacketTest, HeaderIsLimitedTo128Bytes) {
    PacketRecord r{};
    EXPECT_EQ(packet_add_part(&r, PART_SPARE, 120), 0);
    EXPECT_EQ(packet_add_part(&r, PART_TIME, 4), 0);
    EXPECT_EQ(r.part_offset[PART_TIME], 120);
    EXPECT_EQ(packet_add_part(&r, PART_CHECKSUM, 5), -1);
    EXPECT_EQ(packet_add_part(&r, 7, 0), -1);
    EXPECT_EQ(r.header_len, 124);
    Format f = kEB90;
    f.fixed = 40000;
    EXPECT_EQ(use(f), -2);
    f = kEB90;
    f.counter = 3;
    EXPECT_EQ(use(f), -3);
    EXPECT_EQ(pkt_layout.sync_len, 0);  // nothing was taken over
}

int g_test_packets, g_settles;
TEST_F(PacketTest, CreatePacketCallsTheLaterModules) {
    packet_hooks.prepare_test_packet = [] { g_test_packets++; };
    packet_hooks.settle_port_periods = [] { g_settles++; };
    g_test_packets = g_settles = 0;
    ASSERT_EQ(packet_setup(nullptr), 0);
    zyr.IoFlags = IO_TEST_DATA;
    ASSERT_EQ(packet_setup(nullptr), 0);
    EXPECT_EQ(g_test_packets, 1);
    EXPECT_EQ(g_settles, 2);
}

// ---- the search -----------------------------------------------------------

struct SyncCase {
    const char* name;
    int bits;
    uint32_t pattern, mask;
    Bytes stream;
    int found_at;   // first byte of the packet in the stream
};
const SyncCase kSyncCases[] = {
    {"failing byte not retried", 16, 0xEB90, 0xFFFF, {0xEB, 0xEB, 0x90, 0xEB, 0x90, 1, 2, 3, 4, 5, 6, 7, 8}, 3},
    {"masked low nibble", 16, 0x1234, 0xFFF0, {0x12, 0x3F, 1, 2, 3, 4, 5, 6, 7, 8}, 0},
    {"8-bit uses the last stage", 8, 0x1234, 0xFF, {0x12, 0x34, 1, 2, 3, 4, 5, 6, 7, 8}, 1},
    {"24-bit", 24, 0xFAF320, 0xFFFFFF, {0xFA, 0xF3, 0x00, 0xFA, 0xF3, 0x20, 1, 2, 3, 4, 5, 6, 7, 8}, 3},
    {"24-bit overlap missed", 24, 0xFAF320, 0xFFFFFF,
     {0xFA, 0xFA, 0xF3, 0x20, 0xFA, 0xF3, 0x20, 1, 2, 3, 4, 5, 6, 7, 8}, 4},
    {"32-bit", 32, 0x1ACFFC1D, 0xFFFFFFFF, {0x1A, 0xCF, 0xFC, 0x1D, 1, 2, 3, 4, 5, 6}, 0},
    {"don't-care byte", 16, 0xAB00, 0xFF00, {0x00, 0xAB, 0x77, 1, 2, 3, 4, 5, 6, 7}, 1},
};

TEST_F(SyncTest, FindsTheMaskedPatternAsStaged) {
    for (const SyncCase& c : kSyncCases) {
        SetUp();
        ASSERT_EQ(use({c.bits, c.pattern, c.mask, 8, 0, 0}), 0) << c.name;
        Stream s;
        s.data = c.stream;
        s.start(MEM_VIEW, s.data.size());
        auto got = s.drain();
        ASSERT_EQ(got.size(), 1u) << c.name;
        Bytes want(c.stream.begin() + c.found_at, c.stream.begin() + c.found_at + 8);
        EXPECT_EQ(got[0], want) << c.name;
    }
}

struct GiveUpCase {
    int bits, fixed;
    size_t used;   // bytes read when the search gives up
};
const GiveUpCase kGiveUps[] = {{16, 64, 63}, {32, 64, 61}, {8, 64, 64}, {16, 0, 127}, {8, 32767, 32767}, {32, 32767, 32764}};

TEST_F(SyncTest, GivesUpWhenTheWindowIsFull) {
    for (const GiveUpCase& c : kGiveUps) {
        SetUp();
        ASSERT_EQ(use({c.bits, 0xEB90EB90, 0xFFFFFFFF, c.fixed, 1, PKT_REPORTSYNCLOSS | PKT_SUMCHECK}), 0);
        Stream s;
        s.data.assign(3 * c.used, 0x00);
        s.start(MEM_VIEW, s.data.size());
        EXPECT_EQ(get_packet(), PKT_GAVE_UP) << c.bits << "/" << c.fixed;
        EXPECT_EQ(s.m.pos, c.used) << c.bits << "/" << c.fixed;
        EXPECT_EQ(diag.last_code, 6);  // the first loss is quiet
        EXPECT_EQ(get_packet(), PKT_GAVE_UP);
        EXPECT_EQ(s.m.pos, 2 * c.used);
        EXPECT_EQ(diag.last_code, 1);
        EXPECT_EQ(zyr_stat(ST_SYNC_LOSSES), 2u);
        EXPECT_TRUE(zyr.SystemFlags & SF_SYNC_LOST);
        EXPECT_EQ(pkt.held, 0);
    }
}

TEST_F(SyncTest, SkippedBytesAreASyncLossAfterTheFirst) {
    ASSERT_EQ(use(kBare8), 0);
    Stream s;
    s.data = {7, 7, 0xEB, 0x90, 1, 2, 3, 4, 5, 6, 7, 0xEB, 0x90, 1, 2, 3, 4, 5, 6};
    s.start(MEM_VIEW, s.data.size());
    ASSERT_EQ(get_packet(), PKT_OK);
    EXPECT_EQ(diag.last_code, 6);
    EXPECT_EQ(pkt.last_check, CHECK_START);
    ASSERT_EQ(get_packet(), PKT_OK);
    EXPECT_EQ(diag.last_code, 1);
    EXPECT_NE(std::string(diag.status1).find("0001 Unable to locate sync"), std::string::npos);
    EXPECT_EQ(pkt.last_check, CHECK_SYNC_LOSS);
    EXPECT_FALSE(zyr.SystemFlags & SF_SYNC_LOST);  // found again
    EXPECT_EQ(zyr_stat(ST_SYNC_LOSSES), 2u);
    EXPECT_EQ(zyr_stat(ST_BYTES_READ), s.data.size());
}

TEST_F(SyncTest, SyncLossUnreportedWithoutReportsyncloss) {
    Format f = kBare8;
    f.flags = 0;
    ASSERT_EQ(use(f), 0);
    pkt.quiet_start = false;
    Stream s;
    s.data = {7, 0xEB, 0x90, 1, 2, 3, 4, 5, 6};
    s.start(MEM_VIEW, s.data.size());
    ASSERT_EQ(get_packet(), PKT_OK);
    EXPECT_EQ(diag.last_code, 6);
    EXPECT_EQ(zyr_stat(ST_SYNC_LOSSES), 0u);
    EXPECT_EQ(pkt.last_check, CHECK_SYNC_LOSS);
}

// A 300-byte variable-length packet fed one byte per call: every call but
// the last returns 6, whichever way the source hands out its bytes.
TEST_F(SyncTest, PacketAssembledOverManyCalls) {
    for (MemSourceKind kind : {MEM_BYTES, MEM_RING, MEM_VIEW}) {
        SetUp();
        ASSERT_EQ(packet_setup(nullptr), 0);
        use_length_port(true, 9, 2);
        std::mt19937 rng(kind);
        Stream s;
        s.data = make_packet(300, 1, rng);
        s.start(kind, 0);
        for (size_t i = 0; i + 1 < s.data.size(); i++) {
            s.feed(1);
            ASSERT_EQ(get_packet(), PKT_NO_DATA) << kind << " at " << i;
            EXPECT_EQ((zyr.SystemFlags & 0x30), 0x30u);
        }
        s.feed(1);
        ASSERT_EQ(get_packet(), PKT_OK) << kind;
        EXPECT_EQ(Bytes(pkt.buf, pkt.buf + pkt.len), s.data);
        EXPECT_EQ(pkt_layout.data_len, 300 - 9);
        EXPECT_EQ(packet_checks(pkt.buf, pkt.len), 0);
        EXPECT_EQ(zyr_stat(ST_BYTES_READ), 300u);
    }
}

struct LengthCase {
    const char* name;
    bool present, enabled;
    int byteindex, width;
    unsigned length;
    size_t used;          // bytes read before the failure
    int32_t value;        // shown with error 3
    const char* debug;    // expected debug line, or null
};
const LengthCase kLengthCases[] = {
    {"40000", true, true, 9, 2, 40000, 11, 40000, "GetPacketLength_Read -1 40000 11 32767"},
    {"zero", true, true, 9, 2, 0, 11, 0, "GetPacketLength_Read -3 0 11 32767"},
    {"below header", true, true, 2, 2, 5, 4, 5, "GetPacketLength_Read -3 5 4 32767"},
    {"disabled", true, false, 9, 2, 20, 2, 11, nullptr},
    {"past the buffer", true, true, 32766, 2, 20, 2, 32768, nullptr},
    {"ends at 32767", true, true, 32765, 2, 20, 2, 32767, nullptr},
    {"inside the sync", true, true, 0, 1, 20, 2, 1, nullptr},
    {"no port", false, true, 9, 2, 20, 2, -1, nullptr},
};

// A bad length drops the packet with error 3; the search starts again with
// the next byte, which here begins a good packet.
TEST_F(SyncTest, LengthFailuresDropThePacket) {
    for (const LengthCase& c : kLengthCases) {
        SetUp();
        ASSERT_EQ(packet_setup(nullptr), 0);
        use_length_port(true, 9, 2);
        std::mt19937 rng(1);
        Bytes good = make_packet(20, 0, rng);
        Stream s;
        s.data = {0x12, 0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        if (c.byteindex >= 2 && c.byteindex + c.width <= 11) {
            s.data[(size_t)c.byteindex] = (uint8_t)c.length;
            s.data[(size_t)c.byteindex + 1] = (uint8_t)(c.length >> 8);
        }
        s.data.resize(c.used);
        s.data.insert(s.data.end(), good.begin(), good.end());
        use_length_port(c.enabled, c.byteindex, c.width);
        g_port_present = c.present;
        s.start(MEM_VIEW, s.data.size());
        ASSERT_EQ(get_packet(), PKT_BAD_LENGTH) << c.name;
        EXPECT_EQ(diag.last_code, 3) << c.name;
        EXPECT_NE(std::string(diag.status2).find("Packet data length " + std::to_string(c.value)), std::string::npos)
            << c.name << ": " << diag.status2;
        EXPECT_EQ(pkt.last_check, CHECK_LENGTH);
        EXPECT_EQ(pkt.held, 0);
        EXPECT_EQ(s.m.pos, c.used) << c.name;
        if (!c.debug) continue;
        EXPECT_NE(read_file("debugmsg").find(c.debug), std::string::npos) << c.name;
        use_length_port(true, 9, 2);
        ASSERT_EQ(get_packet(), PKT_OK) << c.name;
        EXPECT_EQ(Bytes(pkt.buf, pkt.buf + pkt.len), good) << c.name;
    }
}

TEST_F(PacketTest, LengthFromAPacketImage) {
    ASSERT_EQ(packet_setup(nullptr), 0);
    uint8_t img[16] = {0x12, 0x34};
    EXPECT_EQ(GetPacketLength_Read(img, 11), -2);  // no length port
    use_length_port(true, 9, 2);
    img[9] = 0x2C;
    img[10] = 0x01;
    EXPECT_EQ(GetPacketLength_Read(img, 10), -4);
    EXPECT_EQ(GetPacketLength_Read(img, 11), 300);
    img[10] = 0x80;
    EXPECT_EQ(GetPacketLength_Read(img, 11), -1);
    ASSERT_EQ(use(kEB90), 0);
    EXPECT_EQ(GetPacketLength_Read(img, 3), 64);
}

// Which source answers when several bits are on.
struct PriorityCase {
    uint32_t io;
    int from;   // PSRC_* whose packet arrives, -1 none
};
const PriorityCase kPriorities[] = {
    {IO_USER_BYTE_IN | IO_SERIAL_IN, PSRC_USER_BYTE},
    {IO_SERIAL_IN | IO_NET_IN | IO_RAW_PLAYBACK, PSRC_SERIAL},
    {IO_NET_IN | IO_RAW_PLAYBACK, PSRC_NETWORK},
    {IO_RAW_PLAYBACK, PSRC_RAW_PLAYBACK},
    {IO_COMP_PLAYBACK | IO_TEST_DATA, -1},
};

TEST_F(SyncTest, SourcesAreAskedInOrder) {
    for (const PriorityCase& c : kPriorities) {
        SetUp();
        ASSERT_EQ(use(kBare8), 0);
        Bytes data[PSRC_COUNT];
        MemSource m[PSRC_COUNT];
        ByteSource src[PSRC_COUNT];
        for (int i = 0; i < PSRC_COUNT; i++) {
            data[i] = {0xEB, 0x90, (uint8_t)i, 0, 0, 0, 0, 0};
            m[i] = MemSource{data[i].data(), data[i].size(), 0};
            mem_source(&src[i], &m[i], MEM_BYTES);
            packet_set_source(i, &src[i]);
        }
        zyr.IoFlags = c.io;
        int rc = get_packet();
        if (c.from < 0) {
            EXPECT_EQ(rc, PKT_NO_DATA);
            continue;
        }
        ASSERT_EQ(rc, PKT_OK);
        EXPECT_EQ(pkt.buf[2], c.from);
        packet_set_source(c.from, nullptr);  // an active source with nothing registered gives nothing
        EXPECT_EQ(get_packet(), PKT_NO_DATA);
    }
}

std::string g_user_out;
TEST_F(SyncTest, EveryByteReadIsRecordedAndEchoed) {
    for (MemSourceKind kind : {MEM_BYTES, MEM_RING, MEM_VIEW}) {
        SetUp();
        ASSERT_EQ(use(kBare8), 0);
        g_user_out.clear();
        packet_hooks.user_byte_out = [](uint8_t b) { g_user_out.push_back((char)b); };
        pkt.raw_slot = zyr_fopen("raw.dat", "w", 16);
        ASSERT_GE(pkt.raw_slot, 0);
        zyr.IoFlags = IO_RAW_RECORD | IO_USER_BYTE_OUT;
        zyr.caltime = 1234567;
        Stream s;
        s.data = {1, 2, 3, 0xEB, 0x90, 1, 2, 3, 4, 5, 6, 0xEB, 0x90, 9, 9, 9, 9, 9, 9, 0xEB};
        s.start(kind, s.data.size());
        EXPECT_EQ(s.drain().size(), 2u);
        zyr_fclose(pkt.raw_slot);
        std::string all(s.data.begin(), s.data.end());
        EXPECT_EQ(read_file("raw.dat"), all) << kind;
        EXPECT_EQ(g_user_out, all) << kind;
        EXPECT_EQ(zyr_stat(ST_BYTES_READ), s.data.size());
        EXPECT_EQ(zyr_stat(ST_BYTES_THIS_READ), s.data.size());
        EXPECT_EQ(zyr_stat(ST_LAST_BYTE_TIME), 1234567u);
    }
}

// ---- checks ---------------------------------------------------------------

// Over 01 02 80: S = 0x83, C = 0xC1, R = 0xC4.
struct SumCase {
    uint8_t s, second;
    int rc;
    const char* shown;
};
const SumCase kSums[] = {
    {0x83, 0xC1, 0, nullptr},
    {0x83, 0xC4, 0, nullptr},  // R but not C
    {0x83, 0x00, 8, "Check  -125,0"},
    {0x84, 0xC1, 8, "Check  -124,-63"},
};

TEST_F(PacketTest, ChecksumAcceptsSWithCOrR) {
    ASSERT_EQ(use({16, 0x1234, 0xFFFF, 7, 0, PKT_SUMCHECK}), 0);
    uint8_t s, r, c;
    const uint8_t body[] = {1, 2, 0x80};
    packet_checksums(body, 0, 3, &s, &r, &c);
    EXPECT_EQ(s, 0x83);
    EXPECT_EQ(r, 0xC4);
    EXPECT_EQ(c, 0xC1);
    for (const SumCase& k : kSums) {
        diagnostics_reset();
        uint8_t p[7] = {0x12, 0x34, k.s, k.second, 1, 2, 0x80};
        EXPECT_EQ(packet_check_sum(p, 7), k.rc);
        EXPECT_EQ(bool(zyr.SystemFlags & SF_CHECKSUM_ERR), k.rc != 0);
        if (!k.shown) continue;
        EXPECT_EQ(diag.last_code, 8);
        EXPECT_EQ(pkt.last_check, CHECK_CHECKSUM);
        EXPECT_NE(std::string(diag.status2).find(k.shown), std::string::npos) << diag.status2;
        EXPECT_EQ(diag.dump_len, 7);
    }
}

// With packet diagnostics on, the error line is followed by the packet.
TEST_F(PacketTest, ChecksumErrorDumpsThePacket) {
    ASSERT_EQ(use({16, 0x1234, 0xFFFF, 7, 0, PKT_SUMCHECK}), 0);
    int slot = zyr_fopen("zyrerr.txt", "w", 2048);
    ASSERT_GE(slot, 0);
    diag_set_errfile(slot);
    zyr.SystemFlags |= SF_DIAGNOSTICS;
    uint8_t p[7] = {0x12, 0x34, 0x83, 0x00, 1, 2, 0x80};
    EXPECT_EQ(packet_check_sum(p, 7), 8);
    zyr_fclose(slot);
    EXPECT_NE(read_file("zyrerr.txt").find(" 8\r\n12348300010280\r\n"), std::string::npos) << read_file("zyrerr.txt");
}

struct CounterCase {
    const char* name;
    int width;
    std::vector<unsigned> counters;
    const char* shown;   // status line 2 after the last error, or null for none
    uint32_t seq_errors, gaps;
};
const CounterCase kCounters[] = {
    {"1-byte wrap", 1, {254, 255, 0, 1}, nullptr, 0, 0},
    {"2-byte wrap", 2, {65534, 65535, 0}, nullptr, 0, 0},
    {"first packet free", 1, {77}, nullptr, 0, 0},
    {"little-endian", 2, {0x0102, 0x0103}, nullptr, 0, 0},
    {"gap", 1, {5, 8, 9}, "Packet no's 5,8", 1, 3},
    {"backwards", 2, {5, 3}, "Packet no's 5,3", 1, 0},
    {"after wrap", 1, {255, 3}, "Packet no's -1,3", 1, 4},
};

TEST_F(PacketTest, CounterSequence) {
    for (const CounterCase& c : kCounters) {
        SetUp();
        ASSERT_EQ(use({16, 0x1234, 0xFFFF, 8, c.width, 0}), 0);
        for (unsigned n : c.counters) {
            uint8_t p[8] = {0x12, 0x34, (uint8_t)n, (uint8_t)(n >> 8)};
            packet_check_counter(p, 8);
        }
        EXPECT_EQ(zyr_stat(ST_SEQ_ERRORS), c.seq_errors) << c.name;
        EXPECT_EQ(zyr_stat(ST_GAP_COUNT), c.gaps) << c.name;
        if (c.shown) {
            EXPECT_EQ(diag.last_code, 9) << c.name;
            EXPECT_NE(std::string(diag.status2).find(c.shown), std::string::npos) << c.name << ": " << diag.status2;
        } else {
            EXPECT_EQ(diag.last_code, 6) << c.name;
        }
        EXPECT_EQ(pkt.last_counter, c.counters.back());
    }
}

// A jump right after a sync loss is expected; the next jump is reported
// even when a packet in sequence came between.
TEST_F(PacketTest, CounterJumpAfterSyncLossIsQuiet) {
    ASSERT_EQ(use({16, 0x1234, 0xFFFF, 8, 1, 0}), 0);
    uint8_t p[8] = {0x12, 0x34, 10};
    EXPECT_EQ(packet_check_counter(p, 8), 0);
    pkt.last_check = CHECK_SYNC_LOSS;
    p[2] = 20;
    EXPECT_EQ(packet_check_counter(p, 8), 0);
    EXPECT_EQ(pkt.last_check, CHECK_SEQUENCE);
    pkt.last_check = CHECK_SYNC_LOSS;
    p[2] = 21;
    EXPECT_EQ(packet_check_counter(p, 8), 0);
    p[2] = 30;
    EXPECT_EQ(packet_check_counter(p, 8), 9);
    EXPECT_TRUE(zyr.SystemFlags & SF_SEQUENCE_ERR);
    p[2] = 31;
    EXPECT_EQ(packet_check_counter(p, 8), 0);
    EXPECT_FALSE(zyr.SystemFlags & SF_SEQUENCE_ERR);
}

TEST_F(PacketTest, BitOrderExchange) {
    uint8_t p[3] = {0x01, 0x12, 0xF0};
    packet_exchange_bits(p, 3);
    EXPECT_EQ(p[0], 0x01);
    zyr.IoFlags = IO_EXCHANGE_BITS;
    packet_exchange_bits(p, 3);
    EXPECT_EQ(p[0], 0x80);
    EXPECT_EQ(p[1], 0x48);
    EXPECT_EQ(p[2], 0x0F);
}

// ---- properties -------------------------------------------------------------

// Valid packets separated by garbage that never holds the first sync byte
// (and stays inside the search window), fed in random pieces, come out
// exactly and in order, and pass their checks.
TEST_F(SyncTest, PacketsSurviveGarbageAndCutting) {
    const Format formats[] = {kEB90, {32, 0x1ACFFC1D, 0xFFFFFFFF, 40, 2, PKT_SUMCHECK | PKT_REPORTSYNCLOSS},
                              {16, 0x1234, 0xFFFF, 0, 1, PKT_SUMCHECK | PKT_TIME | PKT_REPORTSYNCLOSS}};
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; round++) {
        SetUp();
        const Format& f = formats[round % 3];
        ASSERT_EQ(use(f), 0);
        if (!f.fixed) use_length_port(true, 9, 2);
        int window = pkt_layout.search_len;
        uint8_t first = pkt_layout.expect[pkt_layout.first_stage];
        std::vector<Bytes> sent;
        Stream s;
        int count = 1 + (int)(rng() % 8);
        unsigned counter = rng();
        for (int k = 0; k < count; k++) {
            int gap = (int)(rng() % 3 == 0 ? rng() % (unsigned)(window - pkt_layout.sync_len) : 0);
            for (int g = 0; g < gap; g++) {
                uint8_t b;
                do b = (uint8_t)rng(); while (b == first);
                s.data.push_back(b);
            }
            int len = f.fixed ? f.fixed : 11 + (int)(rng() % 600);
            sent.push_back(make_packet(len, counter++, rng));
            s.data.insert(s.data.end(), sent.back().begin(), sent.back().end());
        }
        s.start(MemSourceKind(rng() % 3), 0);
        std::vector<Bytes> got;
        while (s.m.len < s.data.size()) {
            s.feed(1 + rng() % 80);
            for (Bytes& b : s.drain()) {
                EXPECT_EQ(packet_checks(b.data(), (int)b.size()), 0) << "round " << round;
                got.push_back(std::move(b));
            }
        }
        ASSERT_EQ(got, sent) << "round " << round;
        for (int rc : s.results) EXPECT_TRUE(rc == PKT_OK || rc == PKT_NO_DATA);
    }
}

// Random bytes with a one-byte sync and a variable length find many false
// packets of every length: each call ends in a defined result and nothing
// reaches outside the packet buffer (the sanitizer build checks).
TEST_F(SyncTest, RandomBytesStayInBounds) {
    std::mt19937 rng(7);
    for (int fixed : {0, MAXPKTLEN}) {
        SetUp();
        ASSERT_EQ(use({8, 0x5A, 0xF0, fixed, 2, PKT_SUMCHECK | PKT_REPORTSYNCLOSS}), 0);
        use_length_port(true, 3, 2);
        Stream s;
        for (int i = 0; i < 200000; i++) s.data.push_back((uint8_t)rng());
        s.start(MEM_VIEW, s.data.size());
        int seen[8] = {};
        for (int calls = 0; s.m.pos < s.data.size() && calls < 200000; calls++) {
            int rc = get_packet();
            ASSERT_TRUE(rc == PKT_OK || rc == PKT_GAVE_UP || rc == PKT_BAD_LENGTH || rc == PKT_NO_DATA);
            seen[rc]++;
            if (rc != PKT_OK) continue;
            ASSERT_LE(pkt.len, MAXPKTLEN);
            ASSERT_GE(pkt.len, pkt_layout.header_len);
            packet_checks(pkt.buf, pkt.len);
        }
        EXPECT_EQ(s.m.pos, s.data.size());
        EXPECT_GT(seen[PKT_OK], 0) << fixed;
        if (!fixed) {
            EXPECT_GT(seen[PKT_BAD_LENGTH], 0);
        }
    }
}

}  // namespace
