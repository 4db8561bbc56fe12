#include "core/files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tests/test_support.h"

class Files : public ::testing::Test {
protected:
    void SetUp() override { reset_core(); }
    void TearDown() override { reset_core(); }
};

static std::string bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v) s.push_back((char)b);
    return s;
}

TEST_F(Files, ZeroRunOfAnEmptyPortRecordIs18Bytes) {
    std::vector<uint8_t> rec(2176, 0);
    int f = zyr_fopen("rec.bin", "w", 1024);
    EXPECT_EQ(zero_run_write(rec.data(), 2176, 0, f), 18);
    zyr_fclose(f);
    std::string want;
    for (int i = 0; i < 8; i++) want += bytes({0x00, 0xFF});
    want += bytes({0x00, 0x7F});
    EXPECT_EQ(read_file("rec.bin"), want);
}

TEST_F(Files, ZeroRunRoundTripsAndCutsOverlongCounts) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; round++) {
        int len = (int)(rng() % 3000);
        std::vector<uint8_t> data(len);
        for (auto& b : data) b = (rng() % 3 == 0) ? (uint8_t)rng() : 0;
        int f = zyr_fopen("z.bin", "w", 1024);
        zero_run_write(data.data(), len, 0, f);
        zero_run_write(data.data(), len, 0, f);  // records stand alone
        zyr_fclose(f);
        f = zyr_fopen("z.bin", "r", 0);
        std::vector<uint8_t> back(len + 1, 0xAA);
        for (int rep = 0; rep < 2; rep++) {
            ASSERT_EQ(zero_run_read(back.data(), len, 0, f), len);
            ASSERT_EQ(memcmp(back.data(), data.data(), len), 0);
            ASSERT_EQ(back[len], 0xAA);
        }
        zyr_fclose(f);
    }
    // A run whose count passes the end of the record is cut there.
    write_file("cut.bin", bytes({1, 0, 200}));
    int f = zyr_fopen("cut.bin", "r", 0);
    uint8_t out[8];
    memset(out, 0xAA, sizeof out);
    EXPECT_EQ(zero_run_read(out, 4, 0, f), 4);
    EXPECT_EQ(out[4], 0xAA);
    zyr_fclose(f);
    // A file that ends early shows as a short result.
    write_file("short.bin", bytes({1, 2, 0}));
    f = zyr_fopen("short.bin", "r", 0);
    EXPECT_EQ(zero_run_read(out, 8, 0, f), 3);
    zyr_fclose(f);
}

TEST_F(Files, CompressedEncoding) {
    CompressedWriter w{};
    ASSERT_EQ(compressed_writer_init(&w), 0);
    std::vector<uint8_t> pkt(300, 0);
    uint8_t out[COMPRESSED_MAX_ENCODED];
    pkt[200] = 0x5A;
    int n = compressed_encode(&w, pkt.data(), 300, out);
    EXPECT_EQ(std::string((char*)out, n), bytes({0xC8, 0x01, 0x5A, 0xFF, 0xFF}));
    n = compressed_encode(&w, pkt.data(), 300, out);
    EXPECT_EQ(std::string((char*)out, n), bytes({0xFF, 0xFF}));
    pkt[3] = 9;
    pkt[127] = 1;
    pkt[128] = 2;
    n = compressed_encode(&w, pkt.data(), 300, out);
    EXPECT_EQ(std::string((char*)out, n), bytes({3, 9, 127, 1, 0x80, 0x01, 2, 0xFF, 0xFF}));
    std::vector<uint8_t> big(32766, 1);
    EXPECT_EQ(compressed_encode(&w, big.data(), 32766, out), -1);
    EXPECT_GT(compressed_encode(&w, big.data(), 32765, out), 0);
    compressed_writer_free(&w);
}

TEST_F(Files, CompressedFileHoldsTheEncodedPackets) {
    CompressedWriter w{};
    ASSERT_EQ(compressed_writer_init(&w), 0);
    std::vector<uint8_t> pkt(1000, 0);
    pkt[5] = 7;
    pkt[999] = 3;
    int f = zyr_fopen("c.bin", "w", 16384);
    compressed_packet_write(&w, pkt.data(), 1000, f);
    compressed_packet_write(&w, pkt.data(), 1000, f);
    EXPECT_EQ(compressed_packet_write(&w, pkt.data(), 40000, f), -1);
    zyr_fclose(f);
    compressed_writer_free(&w);
    // 999 = 0x80 | (999 & 0x7F), 999 >> 7; the second packet is the end marker alone.
    EXPECT_EQ(read_file("c.bin"), bytes({5, 7, 0xE7, 0x07, 3, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(Files, AsciiPacketLayout) {
    std::vector<uint8_t> pkt(26);
    for (int i = 0; i < 26; i++) pkt[i] = (uint8_t)(0xA0 + i);
    int f = zyr_fopen("a.txt", "w", 16384);
    ascii_packet_write(pkt.data(), 26, f);
    ascii_packet_write(pkt.data(), 3, f);
    zyr_fclose(f);
    std::string text = read_file("a.txt");
    std::string line = "a0 a1 a2 a3 a4 a5 a6 a7 a8 a9 aa ab ac ad ae af b0 b1 b2 b3 b4 b5 b6 b7 b8 b9";
    ASSERT_EQ(line.size(), 77u);
    EXPECT_EQ(text, "\r\n\r\n" + line + "\r\n" + "\r\n\r\na0 a1 a2");
}

TEST_F(Files, The257thOpenFailsAndTouchesNothing) {
    remove("one-more");
    std::vector<int> slots;
    for (int i = 0; i < MAXFILES; i++) {
        char name[32];
        snprintf(name, sizeof name, "f%d", i);
        int s = zyr_fopen(name, "w", 16);
        ASSERT_EQ(s, i);
        slots.push_back(s);
    }
    EXPECT_EQ(zyr_fopen("one-more", "w", 16), -1);
    EXPECT_EQ(zyr_fexists("one-more"), 0);
    EXPECT_EQ(zyr_open_count(), MAXFILES);
    EXPECT_STREQ(zyr_fname(255), "f255");
    zyr_fclose(17);
    EXPECT_EQ(zyr_fopen("one-more", "w", 16), 17);
    zyr_fcloseall();
    EXPECT_EQ(zyr_open_count(), 0);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
}

TEST_F(Files, SlotChecks) {
    EXPECT_EQ(zyr_fvalid(-1), -1);
    EXPECT_EQ(zyr_fvalid(256), -1);
    EXPECT_EQ(zyr_fvalid(3), -2);
    EXPECT_EQ(zyr_fwrite("x", 1, 1, 3), -1);
    EXPECT_EQ(zyr_fclose(3), -1);
    EXPECT_EQ(zyr_fopen("missing", "r", 0), -1);
    EXPECT_EQ(zyr_fopen("bad", "q", 0), -1);
    int f = zyr_fopen("x.txt", "w", 8);
    EXPECT_EQ(zyr_fvalid(f), 0);
    EXPECT_EQ(zyr_fopen_by_name("x.txt"), 0);
    EXPECT_EQ(zyr_fopen_by_name("y.txt"), -1);
    zyr_fclose(f);
}

TEST_F(Files, BufferedWritesReachTheFile) {
    int f = zyr_fopen("b.txt", "w", 8);
    zyr_fwrite("0123456789abc", 1, 13, f);
    EXPECT_EQ(read_file("b.txt"), "01234567");  // one full buffer went out
    EXPECT_EQ(zyr_fbuffered(f), 5);
    zyr_fputs("line\n", f, 1);
    zyr_fputs("raw\n", f, 0);
    zyr_fcommit(f);  // on disk, and open for appending
    EXPECT_EQ(read_file("b.txt"), "0123456789abcline\r\nraw\n");
    EXPECT_EQ(zyr_fmode(f), 'a');
    zyr_fputs("more", f, 0);
    zyr_fclose(f);
    EXPECT_EQ(read_file("b.txt"), "0123456789abcline\r\nraw\nmore");
    // Append mode adds at the end, or creates.
    f = zyr_fopen("b.txt", "a", 64);
    zyr_fputs("!", f, 0);
    zyr_fclose(f);
    EXPECT_EQ(read_file("b.txt"), "0123456789abcline\r\nraw\nmore!");
}

TEST_F(Files, ReadingLinesCharactersAndBlocks) {
    write_file("r.txt", "ab\ncdefgh\n\nlast");
    int f = zyr_fopen("r.txt", "r", 0);
    char line[5];
    EXPECT_STREQ(zyr_freadline(line, sizeof line, f), "ab\n");
    EXPECT_STREQ(zyr_freadline(line, sizeof line, f), "cdef");  // capacity - 1
    EXPECT_STREQ(zyr_freadline(line, sizeof line, f), "gh\n");
    EXPECT_STREQ(zyr_freadline(line, sizeof line, f), "\n");
    EXPECT_EQ(zyr_fgetc(f), 'l');
    char block[10];
    EXPECT_EQ(zyr_fread(block, 1, 10, f), 3);
    EXPECT_EQ(zyr_feof(f), 0);
    EXPECT_EQ(zyr_fread(block, 1, 10, f), 0);
    EXPECT_EQ(zyr_feof(f), 1);
    EXPECT_EQ(zyr_freadline(line, sizeof line, f), nullptr);
    EXPECT_EQ(zyr_fsize(f), 15u);
    zyr_fclose(f);
}

TEST_F(Files, RecordHeaderAndTrailer) {
    zyr.zyr_secs = 42;
    int f = zyr_fopen("rec.txt", "a", 2048);
    EXPECT_EQ(WriteZYRFileHdr(f, 1, ""), 0);
    EXPECT_EQ(WriteZYRFileHdr(f, 0, "ZYR exitcode = 0\n"), 0);
    write_record_trailer(f);
    zyr_fclose(f);
    std::string text = read_file("rec.txt");
    EXPECT_EQ(text.rfind("Filename = rec.txt, Opentime = ", 0), 0u);
    EXPECT_NE(text.find(",\r\nClockstart = 42000 ms\r\nFilename = rec.txt, Closetime = "), std::string::npos);
    EXPECT_NE(text.find(",\r\nClockstop = 42000 ms\r\nZYR exitcode = 0\r\nClosetime = "), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(WriteZYRFileHdr(f, 1, ""), -1);
    EXPECT_EQ(diag.last_code, 21);
}

TEST_F(Files, FlushPeriodWritesRecordFilesInOrder) {
    RecordSlots rs{zyr_fopen("raw.dat", "w", 1024), zyr_fopen("asc.txt", "w", 1024),
                   zyr_fopen("cmp.bin", "w", 1024)};
    zyr_fputs("r", rs.raw, 0);
    zyr_fputs("a", rs.ascii, 0);
    zyr.IoFlags = IO_RAW_RECORD;
    zyr.zyr_secs = 5;
    EXPECT_EQ(flush_record_files(&rs, 0), 0);
    EXPECT_EQ(read_file("raw.dat"), "");
    EXPECT_EQ(flush_record_files(&rs, 5), 0);  // not more than 5 s yet
    EXPECT_EQ(read_file("raw.dat"), "");
    zyr.zyr_secs = 6;
    EXPECT_EQ(flush_record_files(&rs, 5), 0);
    EXPECT_EQ(read_file("raw.dat"), "r");
    EXPECT_EQ(read_file("asc.txt"), "");  // ascii recording is off
    zyr_fcloseall();
}

TEST_F(Files, BackupCommitsOneFileAPeriodInTurn) {
    remove("two.txt");
    int a = zyr_fopen("one.txt", "w", 64);
    int b = zyr_fopen("two.txt", "a", 64);
    zyr_fputs("1", a, 0);
    zyr_fputs("2", b, 0);
    zyr.zyr_secs = 10;
    EXPECT_EQ(backup_step(10), 1);  // slot 0 first
    EXPECT_EQ(read_file("one.txt"), "1");
    EXPECT_EQ(read_file("two.txt"), "");
    EXPECT_GT(backup_free_disk_kb(), 0u);
    zyr.zyr_secs = 15;
    EXPECT_EQ(backup_step(10), 0);  // period not over
    zyr.zyr_secs = 20;
    EXPECT_EQ(backup_step(10), 1);
    EXPECT_EQ(read_file("two.txt"), "2");
    zyr_fcloseall();
}
