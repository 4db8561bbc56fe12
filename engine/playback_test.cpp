#include "engine/playback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/input.h"
#include "tests/engine_support.h"
#include "tests/packet_support.h"

class Playback : public ::testing::Test {
protected:
    void SetUp() override {
        reset_engine();
        playback_reset();
        input_reset();
        ASSERT_EQ(packet_init(), 0);
        setup_test_description();
        strcpy(zyr.startdir, ".");
    }
    void TearDown() override {
        playback_reset();
        reset_engine();
    }
    static void record_all(PlaybackKind k, const char* name, const std::vector<std::vector<uint8_t>>& packets) {
        remove(name);
        ASSERT_EQ(record_open(k, name, "w"), 0);
        for (const auto& p : packets) record_packet(p.data(), (int)p.size(), true);
        record_close(k);
    }
    // Every packet that playback delivers until the file ends.
    static std::vector<std::vector<uint8_t>> play(PlaybackKind k, const char* name) {
        std::vector<std::vector<uint8_t>> out;
        EXPECT_EQ(playback_open(k, name), 0);
        for (int guard = 0; guard < 100000 && (zyr.IoFlags & playback_bit(k)); guard++)
            if (get_next_packet() == 0) out.emplace_back(pkt.buf, pkt.buf + pkt.len);
        return out;
    }
};

TEST_F(Playback, EveryFormatPlaysBackTheSamePackets) {
    std::vector<std::vector<uint8_t>> packets;
    for (int n = 0; n < 40; n++) packets.push_back(test_packet(n));
    packets[7][40] ^= 0xFF;  // an unchanged byte elsewhere, a changed one here
    packet_put_checksum(packets[7].data(), 64);
    struct Case {
        PlaybackKind kind;
        const char* name;
    };
    static const Case kCases[] = {{PB_RAW, "rt.dat"}, {PB_ASCII, "rt.txt"}, {PB_COMPRESSED, "rt.bin"}};
    for (const Case& c : kCases) {
        record_all(c.kind, c.name, packets);
        pkt.counted = 0;  // each file starts a new counter sequence
        uint32_t before = zyr.zyrfr_cnt;
        EXPECT_EQ(play(c.kind, c.name), packets) << c.name;
        EXPECT_EQ(zyr.zyrfr_cnt - before, 40u);
        EXPECT_EQ(diag.last_code, 6) << c.name << ": no error expected";
        EXPECT_EQ(playback.slot[c.kind], -1);  // closed at the end
    }
}

static int g_eof_calls;
static void count_eof() { g_eof_calls++; }

TEST_F(Playback, EndOfFileClosesAndLeavesStepMode) {
    auto p = test_packet(1);
    write_file("one.dat", std::string(p.begin(), p.end()));
    g_eof_calls = 0;
    playback.eof_hook = count_eof;
    zyr.IoFlags |= IO_ASCII_PLAYBACK;  // all three playback bits go
    ASSERT_EQ(playback_open(PB_RAW, "one.dat"), 0);
    EXPECT_EQ(get_next_packet(), 0);
    EXPECT_EQ(get_next_packet(), 6);
    EXPECT_EQ(zyr.IoFlags & IO_PLAYBACK_BITS, 0u);
    EXPECT_EQ(g_eof_calls, 1);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 2u);  // only the two packet buffers
}

TEST_F(Playback, LeaveOpenOnEofReadsTheRestWhenTheFileGrows) {
    struct Case {
        PlaybackKind kind;
        const char* name;
    };
    static const Case kCases[] = {{PB_RAW, "grow.dat"}, {PB_ASCII, "grow.txt"}, {PB_COMPRESSED, "grow.bin"}};
    for (const Case& c : kCases) {
        std::vector<std::vector<uint8_t>> packets = {test_packet(1), test_packet(2)};
        record_all(c.kind, c.name, packets);
        std::string whole = read_file(c.name);
        size_t cut = whole.size() - 10;  // the middle of the second packet
        write_file(c.name, whole.substr(0, cut));
        zyr.IoFlags |= IO_LEAVE_OPEN_EOF;
        ASSERT_EQ(playback_open(c.kind, c.name), 0);
        int got = 0;
        for (int i = 0; i < 5; i++) got += get_next_packet() == 0;
        EXPECT_EQ(got, 1) << c.name;
        EXPECT_TRUE(zyr.IoFlags & playback_bit(c.kind));  // still open
        FILE* f = fopen(c.name, "ab");
        fwrite(whole.data() + cut, 1, whole.size() - cut, f);
        fclose(f);
        EXPECT_EQ(get_next_packet(), 0) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(pkt.buf, pkt.buf + pkt.len), packets[1]);
        playback_close(c.kind);
        zyr.IoFlags &= ~IO_LEAVE_OPEN_EOF;
    }
}

TEST_F(Playback, CorruptCompressedEntryStopsPlayback) {
    int beeps = 0;
    diag_hooks.beep = [] {};
    (void)beeps;
    // Position 64 lies beyond the 64-byte image.
    write_file("bad.bin", std::string("\x00\xEB\x01\x90\xC0\x00\x05\xFF\xFF", 9));
    ASSERT_EQ(playback_open(PB_COMPRESSED, "bad.bin"), 0);
    EXPECT_EQ(get_next_packet(), 6);
    EXPECT_EQ(zyr.IoFlags & IO_COMP_PLAYBACK, 0u);
    EXPECT_EQ(diag.last_code, 3);
    char want[40];
    centre_text(want, "Compressed file pos 64", STATUS_LINE_LEN);
    EXPECT_STREQ(diag.status2, want);
}

TEST_F(Playback, AsciiSkipsNoiseAndResynchronises) {
    auto p = test_packet(3);
    std::string text = "zz 12 34 ";  // a packet that does not start with the sync
    for (uint8_t b : p) {
        char h[4];
        snprintf(h, sizeof h, "%02X\t", b);
        text += h;
    }
    write_file("noise.txt", text);
    ASSERT_EQ(playback_open(PB_ASCII, "noise.txt"), 0);
    int r;
    int losses = 0;
    while ((r = get_next_packet()) != 0 && (zyr.IoFlags & IO_ASCII_PLAYBACK)) losses += r == 1;
    ASSERT_EQ(r, 0);
    EXPECT_EQ(std::vector<uint8_t>(pkt.buf, pkt.buf + pkt.len), p);
    EXPECT_EQ(losses, 2);
}

TEST_F(Playback, TruncatedAndRandomFilesNeverDeliverGarbage) {
    std::string junk;
    uint32_t x = 12345;
    for (int i = 0; i < 5000; i++) {
        x = x * 1103515245 + 12345;
        junk.push_back((char)(x >> 16));
    }
    for (PlaybackKind k : {PB_RAW, PB_ASCII, PB_COMPRESSED}) {
        write_file("junk", junk);
        auto out = play(k, "junk");
        for (const auto& p : out) {
            EXPECT_EQ(p.size(), 64u);
            EXPECT_EQ(p[0], 0xEB);
        }
        EXPECT_EQ(zyr.IoFlags & IO_PLAYBACK_BITS, 0u);
    }
}

TEST_F(Playback, RecordFilesOpenOnceAndSetTheirBits) {
    remove("r.dat");
    ASSERT_EQ(record_open(PB_RAW, "r.dat", "w"), 0);
    EXPECT_TRUE(zyr.IoFlags & IO_RAW_RECORD);
    EXPECT_EQ(pkt.raw_slot, recording.slots.raw);
    EXPECT_EQ(record_open(PB_ASCII, "r.dat", "w"), -2);
    record_close(PB_RAW);
    EXPECT_FALSE(zyr.IoFlags & IO_RAW_RECORD);
    EXPECT_EQ(pkt.raw_slot, -1);
    EXPECT_EQ(record_open(PB_ASCII, "/nonexistent/x.txt", "w"), -1);
    EXPECT_EQ(diag.last_code, 14);
}

// The length port of the variable-length cases: 2 bytes, least significant
// first, right behind the 9-byte header.
static int var_length_port(LengthPort* out) {
    *out = LengthPort{true, 9, 2};
    return 0;
}
static uint32_t var_length_value(const uint8_t* p, int) { return (uint32_t)(p[9] | p[10] << 8); }

static std::vector<uint8_t> var_packet(int n, int len) {
    std::vector<uint8_t> p((size_t)len);
    packet_put_sync(p.data());
    for (int i = pkt_layout.header_len; i < len; i++) p[(size_t)i] = (uint8_t)(n * 13 + i);
    p[(size_t)pkt_layout.counter_pos] = (uint8_t)n;
    p[9] = (uint8_t)len;
    p[10] = (uint8_t)(len >> 8);
    packet_put_checksum(p.data(), len);
    return p;
}

// Every format carries packets whose length comes from their own header,
// longer and shorter than the one before, so that the compressed image
// holds stale bytes beyond a short packet.
TEST_F(Playback, VariableLengthPacketsPlayBackInEveryFormat) {
    setup_test_description(0);
    packet_hooks.length_port = var_length_port;
    packet_hooks.length_value = var_length_value;
    static const int kLengths[] = {20, 300, 64, 11, 1000, 12, 12, 200};
    std::vector<std::vector<uint8_t>> packets;
    int n = 0;
    for (int len : kLengths) packets.push_back(var_packet(n++, len));
    static const struct {
        PlaybackKind kind;
        const char* name;
    } kCases[] = {{PB_RAW, "var.dat"}, {PB_ASCII, "var.txt"}, {PB_COMPRESSED, "var.bin"}};
    for (const auto& c : kCases) {
        record_all(c.kind, c.name, packets);
        pkt.counted = 0;
        EXPECT_EQ(play(c.kind, c.name), packets) << c.name;
        EXPECT_EQ(diag.last_code, 6) << c.name << ": no error expected, got " << diag.last_code;
    }
    packet_hooks = PacketHooks{};
}

// A compressed entry past the length that the header gives is a length
// failure, not a packet with bytes of some other one.
TEST_F(Playback, CompressedEntryPastTheHeaderLengthIsALengthError) {
    setup_test_description(0);
    packet_hooks.length_port = var_length_port;
    packet_hooks.length_value = var_length_value;
    auto p = var_packet(1, 20);
    record_all(PB_COMPRESSED, "past.bin", {p});
    std::string f = read_file("past.bin");
    // Replace the end marker by an entry at position 30, then end again.
    std::string end = f.substr(f.size() - 2);
    f = f.substr(0, f.size() - 2) + std::string("\x1E\x07", 2) + end;
    write_file("past.bin", f);
    ASSERT_EQ(playback_open(PB_COMPRESSED, "past.bin"), 0);
    EXPECT_EQ(get_next_packet(), 3);
    EXPECT_EQ(diag.last_code, 3);
    packet_hooks = PacketHooks{};
}
