#include "core/pagefile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/test_support.h"

class PageFile : public ::testing::Test {
protected:
    void SetUp() override {
        reset_core();
        pagefile_reset();
    }
    void TearDown() override { reset_core(); }
};

static std::string bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v) s.push_back((char)b);
    return s;
}

static std::string zero_pairs(int full, int last_count) {
    std::string s;
    for (int i = 0; i < full; i++) s += bytes({0x00, 0xFF});
    return s + bytes({0x00, last_count});
}

TEST_F(PageFile, EmptyRecordsEncodeAsTheKnownBytes) {
    PageRecordBody zero;
    memset(&zero, 0, sizeof zero);
    int f = zyr_fopen("enc.bin", "w", 2048);
    EXPECT_EQ(page_write_record(f, TAG_PORT, &zero), 3 + 18);
    EXPECT_EQ(page_write_record(f, TAG_PACKET, &zero), 4 + 2);
    EXPECT_EQ(page_write_record(f, TAG_SYSTEM, &zero), 4 + 12);
    EXPECT_EQ(page_write_record(f, 6, &zero), -1);
    zyr_fclose(f);
    std::string want = bytes({0x05, 0x00, 0x02}) + zero_pairs(8, 0x7F) + bytes({0x29, 0x01, 0x00, 0x01}) +
                       bytes({0x00, 0x37}) + bytes({0x34, 0x01, 0x00, 0x01}) + zero_pairs(5, 0x83);
    EXPECT_EQ(read_file("enc.bin"), want);
}

// Whole records with every byte set survive a write and a read, pad bytes
// included, and each record starts where the one before ended.
TEST_F(PageFile, RecordsRoundTripByteForByte) {
    std::mt19937 rng(11);
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> recs;
    const uint32_t tags[] = {TAG_PORT, TAG_SYSTEM, TAG_PACKET, TAG_PORT, TAG_PORT};
    for (uint32_t tag : tags) {
        std::vector<uint8_t> body((size_t)page_record_length(tag));
        for (auto& b : body) b = rng() % 4 ? 0 : (uint8_t)rng();
        body.back() = 0;  // a record that ends in a run of zeros
        recs.push_back({tag, body});
    }
    int f = zyr_fopen("rt.bin", "w", 2048);
    for (auto& r : recs) ASSERT_GT(page_write_record(f, r.first, r.second.data()), 0);
    zyr_fclose(f);
    f = page_file_open_read("rt.bin");
    PageRecordBody body;
    for (auto& r : recs) {
        ASSERT_EQ(page_read_record(f, &body), (int)r.first);
        PageRecordBody want;
        memcpy(&want, r.second.data(), r.second.size());
        page_bound_texts(r.first, &want);  // only the last byte of each text field
        EXPECT_EQ(memcmp(&body, &want, r.second.size()), 0);
    }
    EXPECT_EQ(page_read_record(f, &body), PAGE_EOF);
    zyr_fclose(f);
}

// The text fields of the records: offset and size, the NUL included.
struct TextField {
    uint32_t tag;
    int offset, size;
};
static const TextField kTextFields[] = {
    {TAG_PORT, 96, 88},   {TAG_PORT, 184, 88},  {TAG_PORT, 544, 88},  {TAG_PORT, 632, 88},
    {TAG_PORT, 768, 88},  {TAG_PORT, 856, 88},  {TAG_PORT, 968, 24},  {TAG_PORT, 1056, 81},
    {TAG_PORT, 1137, 81}, {TAG_PORT, 1218, 81}, {TAG_PORT, 1299, 21}, {TAG_PORT, 1320, 21},
    {TAG_PORT, 1341, 81}, {TAG_PORT, 1422, 81}, {TAG_PORT, 1503, 81}, {TAG_PORT, 1584, 21},
    {TAG_PORT, 1647, 261}, {TAG_PORT, 1908, 261},
    {TAG_SYSTEM, 64 + 8, 261}, {TAG_SYSTEM, 64 + 269, 5}, {TAG_SYSTEM, 64 + 274, 2},
    {TAG_SYSTEM, 340 + 8, 261}, {TAG_SYSTEM, 340 + 269, 5}, {TAG_SYSTEM, 340 + 274, 2},
    {TAG_SYSTEM, 616 + 8, 261}, {TAG_SYSTEM, 616 + 269, 5}, {TAG_SYSTEM, 616 + 274, 2},
    {TAG_SYSTEM, 892 + 8, 261}, {TAG_SYSTEM, 892 + 269, 5}, {TAG_SYSTEM, 892 + 274, 2},
    {TAG_SYSTEM, 1168 + 16, 80}, {TAG_SYSTEM, 1264 + 16, 80},
};

// A record whose every byte is a letter: each text field reads back cut at
// its own last byte, and nothing else changes.
TEST_F(PageFile, TextFieldsWithoutTheirNulEndInsideTheField) {
    for (uint32_t tag : {TAG_PORT, TAG_SYSTEM}) {
        std::vector<uint8_t> body((size_t)page_record_length(tag), 'A');
        int f = zyr_fopen("txt.bin", "w", 2048);
        ASSERT_GT(page_write_record(f, tag, body.data()), 0);
        zyr_fclose(f);
        f = page_file_open_read("txt.bin");
        PageRecordBody got;
        ASSERT_EQ(page_read_record(f, &got), (int)tag);
        zyr_fclose(f);
        std::vector<uint8_t> want = body;
        for (const TextField& t : kTextFields)
            if (t.tag == tag) {
                const char* field = (const char*)&got + t.offset;
                EXPECT_EQ(strlen(field), (size_t)t.size - 1) << tag << " at " << t.offset;
                want[(size_t)(t.offset + t.size - 1)] = 0;
            }
        EXPECT_EQ(memcmp(&got, want.data(), want.size()), 0) << tag;
    }
}

struct BadFile {
    const char* name;
    std::string bytes;
    std::vector<int> results;   // successive reader results
};

static const std::string kTag5 = bytes({0x05, 0x00, 0x02});
static const std::string kPortBody = zero_pairs(8, 0x7F);

static const BadFile kBadFiles[] = {
    {"zero bytes", "", {PAGE_EOF}},
    {"port cut short", kTag5 + zero_pairs(8, 0x10), {PAGE_SHORT_PORT}},
    {"packet cut short", kTag5 + kPortBody + bytes({0x29, 0x01, 0x00, 0x01, 0x00, 0x20}), {TAG_PORT, PAGE_SHORT_PACKET}},
    {"system cut short", bytes({0x34, 0x01, 0x00, 0x01, 0x00, 0xFF}), {PAGE_SHORT_SYSTEM}},
    {"unknown tag", kTag5 + kPortBody + bytes({0x06, 0x00, 0x02}) + kPortBody, {TAG_PORT, PAGE_UNKNOWN_TAG}},
    {"tag cut short", kTag5 + kPortBody + bytes({0x05, 0x00}), {TAG_PORT, PAGE_UNKNOWN_TAG}},
    {"fill byte without count", kTag5 + zero_pairs(8, 0x7E) + bytes({0x00}), {TAG_PORT, PAGE_EOF}},
    // The last pair asks for 256 zeros where 128 remain: cut at the
    // record's end, and the next tag follows the pair.
    {"overlong pair", kTag5 + zero_pairs(8, 0xFF) + kTag5 + kPortBody, {TAG_PORT, TAG_PORT, PAGE_EOF}},
    {"overlong pair in a tag", bytes({0x05, 0x00, 0xFF}) + kPortBody, {TAG_PORT, PAGE_EOF}},
};

TEST_F(PageFile, BadFilesGiveTheirCodesAndStayInsideTheBody) {
    for (const auto& c : kBadFiles) {
        SCOPED_TRACE(c.name);
        write_file("bad.bin", c.bytes);
        int f = page_file_open_read("bad.bin");
        ASSERT_GE(f, 0);
        struct {
            PageRecordBody body;
            uint8_t guard[16];
        } buf;
        memset(buf.guard, 0xA5, sizeof buf.guard);
        for (int want : c.results) EXPECT_EQ(page_read_record(f, &buf.body), want);
        for (uint8_t g : buf.guard) ASSERT_EQ(g, 0xA5);
        zyr_fclose(f);
    }
    PageRecordBody body;
    EXPECT_EQ(page_read_record(-1, &body), PAGE_NOT_READY);
    EXPECT_EQ(page_read_record(200, &body), PAGE_NOT_READY);
}

TEST_F(PageFile, PathsAreUpperCaseAndFoundInAnyCase) {
    char p[64];
    EXPECT_EQ(page_file_path("", 10, "bin", p, sizeof p), 0);
    EXPECT_STREQ(p, "PAGE0010.BIN");
    EXPECT_EQ(page_file_path("pages", 9999, "BAK", p, sizeof p), 0);
    EXPECT_STREQ(p, "pages/PAGE9999.BAK");
    EXPECT_EQ(page_file_path("", 10000, "BIN", p, sizeof p), -1);
    EXPECT_EQ(page_file_path("", -1, "BIN", p, sizeof p), -1);
    EXPECT_EQ(page_file_path("a-directory-name-that-is-far-too-long", 1, "BIN", p, 20), -1);

    ASSERT_EQ(system("mkdir -p casedir"), 0);
    write_file("casedir/page0042.bin", "x");
    char found[64];
    EXPECT_EQ(page_find_file("casedir/PAGE0042.BIN", found, sizeof found), 0);
    EXPECT_STREQ(found, "casedir/page0042.bin");
    write_file("casedir/PAGE0042.BIN", "y");
    EXPECT_EQ(page_find_file("casedir/PAGE0042.BIN", found, sizeof found), 0);
    EXPECT_STREQ(found, "casedir/PAGE0042.BIN");
    EXPECT_EQ(page_find_file("casedir/PAGE0043.BIN", found, sizeof found), -1);
    write_file("Page0007.Bin", "z");
    EXPECT_EQ(page_find_file("PAGE0007.BIN", found, sizeof found), 0);
    EXPECT_STREQ(found, "Page0007.Bin");
}

struct RateCase {
    const char* text;
    int rc;
    uint32_t mask;
};

static const RateCase kRates[] = {
    {"F02ST02", 0, 0xAAAAAAAAu}, {"F02ST01", 0, 0x55555555u}, {"F04ST03", 0, 0x44444444u},
    {"F00ST00", 0, 0},           {"f01st01", 0, 0xFFFFFFFFu}, {"F08ST08", 0, 0x80808080u},
    {"F16ST02", 0, 0x00020002u}, {"F32ST32", 0, 0x80000000u}, {"F03ST01", -1, 0},
    {"F04ST05", -1, 0},          {"F00ST01", -1, 0},          {"F04ST00", -1, 0},
    {"F64ST01", -1, 0},          {"F2ST01", -1, 0},           {"F02ST011", -1, 0},
    {"F02XT01", -1, 0},          {"every10ms", -1, 0},        {"everymsecs", -1, 0},
    {"", -1, 0},
};

TEST_F(PageFile, RateTexts) {
    for (const auto& c : kRates) {
        SCOPED_TRACE(c.text);
        uint32_t mask = 0x12345678;
        EXPECT_EQ(rate_from_text(c.text, 10, 0, &mask), c.rc);
        if (c.rc == 0) {
            EXPECT_EQ(mask, c.mask);
        }
    }
    EXPECT_EQ(rate_from_text(nullptr, 10, 0, nullptr), -1);
}

// Every valid FnnSTnn goes to a mask and back to the same text.
TEST_F(PageFile, EveryFnnSTnnRoundTrips) {
    for (int f : {0, 1, 2, 4, 8, 16, 32}) {
        for (int st = f ? 1 : 0; st <= f; st++) {
            uint32_t mask, back;
            ASSERT_EQ(rate_mask(f, st, &mask), 0);
            char text[8];
            rate_to_text(mask, text);
            char want[32];
            snprintf(want, sizeof want, "F%02dST%02d", f, st);
            EXPECT_STREQ(text, want);
            ASSERT_EQ(rate_from_text(text, 10, 0, &back), 0);
            EXPECT_EQ(back, mask);
        }
    }
    char text[8];
    rate_to_text(0x00000300u, text);   // two neighbouring bits: period 1 from bit 8
    EXPECT_STREQ(text, "F01ST09");
}

struct EveryCase {
    uint64_t n;
    uint32_t loop;
    int period;
};

static const EveryCase kEvery[] = {
    {10, 10, 1},  {5, 10, 1},     {15, 10, 1},  {16, 10, 2},  {30, 10, 2},        {31, 10, 4},
    {100, 10, 8}, {320, 10, 32},  {5000, 10, 32}, {2, 0, 2},  {1, 0x90000000u, 1}, {0x10000000u, 0x8000000u, 2},
};

TEST_F(PageFile, EveryMsecsPicksTheNearerPeriod) {
    for (const auto& c : kEvery) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(rate_every_period(c.n, c.loop), c.period);
    }
}

TEST_F(PageFile, EveryMsecsStartsAtRandomOncePerPort) {
    std::set<uint32_t> masks;
    for (int port = 0; port < 64; port++) {
        uint32_t display, process;
        ASSERT_EQ(rate_from_text("every80msecs", 10, port, &display), 0);
        ASSERT_EQ(rate_from_text("EVERY80MSECS", 10, port, &process), 0);
        EXPECT_EQ(display, process);
        EXPECT_EQ(rate_period(display), 8);
        EXPECT_EQ(__builtin_popcount(display), 4);
        masks.insert(display);
    }
    EXPECT_GT(masks.size(), 2u);   // ports of one rate spread over the cycles
    uint32_t mask;
    ASSERT_EQ(rate_from_text("every5msecs", 10, 99, &mask), 0);
    EXPECT_EQ(mask, 0xFFFFFFFFu);
}
