// Symbol table: the fixed tokens, case-blind look-up, the reverse index,
// probing and a full table, building twice and failed builds; the views,
// colours and calibration functions behind the tokens.
#include "core/symtab.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "core/mempool.h"

namespace {

class Symtab : public ::testing::Test {
protected:
    void SetUp() override {
        symtab_reset();
        mempool_reset();
        ASSERT_EQ(InitSymTab(), 0);
    }
    void TearDown() override {
        symtab_reset();
        mempool_reset();
    }
};

struct NameCase {
    const char* name;
    int token;
};

// One or two names from each group and every group boundary.
const NameCase kNames[] = {
    {"[subcom]", 4},          {"[alarm]", 10},         {"byteindex", 14},        {"plotcolor", 36},
    {"filename", 58},         {"blink", 60},           {"databasename", 74},     {"maxpoints", 84},
    {"autolabel", 140},       {"yes", 91},             {"off", 94},              {"black", 95},
    {"lightgrey", 102},       {"monobackground", 112}, {"packetheader", 113},    {"packetdata", 120},
    {"ramstart", 122},        {"com_err_code", 126},   {"sys_bytes_written", 128}, {"kbstat", 140},
    {"zyr_stats", 149},       {"qob_files", 150},      {"cpli_buffer1", 151},    {"cpli_buffer32", 182},
    {"free_disk", 183},       {"dummy_calibfn", 184},  {"polynomial", 195},      {"userfn1", 206},
    {"userfn16", 221},        {"longbyteswap", 222},   {"acos", 224},            {"y1", 243},
    {"userfn17", 244},        {"userfn64", 291},       {"horizontalbar", 292},   {"reciprocal", 296},
    {"[packet]", 297},        {"spare", 307},          {"[system]", 308},        {"comport", 321},
    {"backupperiod", 323},    {"monochrome", 348},     {"windowbackcolor", 350}, {"ccsds", 353},
};

TEST_F(Symtab, FixedTokensLookUpWhateverTheCase) {
    for (const NameCase& c : kNames) {
        EXPECT_EQ(symtab_lookup(c.name), c.token) << c.name;
        std::string upper = c.name;
        for (char& ch : upper) ch = (char)toupper((unsigned char)ch);
        EXPECT_EQ(symtab_lookup(upper.c_str()), c.token) << upper;
    }
    EXPECT_EQ(symtab_lookup("BYTEINDEX"), 14);
    EXPECT_EQ(symtab_lookup("ByteIndex"), 14);
}

TEST_F(Symtab, UnknownNamesGiveZero) {
    for (const char* name : {"", "bytes", "byteindex ", " byteindex", "byteindexx", "[subcom"})
        EXPECT_EQ(symtab_lookup(name), 0) << name;
    EXPECT_EQ(symtab_lookup(nullptr), 0);
}

TEST_F(Symtab, ReverseIndexNamesExactlyTheNumberedTokens) {
    const std::set<int> unnamed = {13, 35, 57, 59, 73, 85, 86, 87, 88, 89, 90, 121, 127, 322, 349, 352};
    int named = 0;
    for (int t = 4; t <= 353; t++) {
        const SymEntry* e = symtab_entry(t);
        EXPECT_EQ(e == nullptr, unnamed.count(t) == 1) << t;
        if (!e) continue;
        named++;
        EXPECT_EQ(e->token, (uint32_t)t);
        EXPECT_EQ(e->length, strlen(e->name));
        EXPECT_EQ(symtab_lookup(e->name), t) << e->name;
    }
    EXPECT_EQ(named, SYMTAB_NAMES - 1);   // autolabel shares 140 with kbstat
    for (int t : {-1, 0, 3, 354, 400, 401, 402, 100000}) EXPECT_EQ(symtab_entry(t), nullptr) << t;
}

TEST_F(Symtab, Token140NamesKbstat) {
    EXPECT_STREQ(symtab_name(140), "kbstat");
    EXPECT_EQ(symtab_lookup("autolabel"), 140);
    EXPECT_EQ(symtab_lookup("kbstat"), 140);
}

TEST_F(Symtab, HashSumsLowerCaseSignedBytes) {
    EXPECT_EQ(symtab_hash(""), 0);
    EXPECT_EQ(symtab_hash("ab"), (97 + 98) % 401);
    EXPECT_EQ(symtab_hash("AB"), symtab_hash("ab"));
    EXPECT_EQ(symtab_hash("\xff"), 400);   // -1 as a signed byte
    EXPECT_EQ(symtab_hash("zzzzz"), 5 * 122 % 401);
}

// Names chosen to share a hash bucket; they must all be found again.
TEST_F(Symtab, CollidingNamesAreAllFound) {
    const char* names[] = {"ad", "bc", "cb", "da", "DA2"};
    ASSERT_EQ(symtab_hash("ad"), symtab_hash("da"));
    for (int i = 0; i < 4; i++) ASSERT_EQ(symtab_insert(names[i], 360 + i), 0);
    for (int i = 0; i < 4; i++) EXPECT_EQ(symtab_lookup(names[i]), 360 + i) << names[i];
    EXPECT_EQ(symtab_lookup("DA2"), 0);
}

TEST_F(Symtab, FullTableRefusesAndLookUpStillEnds) {
    char name[16];
    int added = 0;
    for (;; added++) {
        snprintf(name, sizeof name, "extra%d", added);
        int rc = symtab_insert(name, 400);
        if (rc == -2) break;
        ASSERT_EQ(rc, 0);
    }
    EXPECT_EQ(added, SYMTAB_ENTRIES - SYMTAB_NAMES);
    EXPECT_EQ(symtab_lookup("notthere"), 0);
    EXPECT_EQ(symtab_lookup("extra0"), 400);
    EXPECT_EQ(symtab_lookup("reciprocal"), 296);
}

TEST_F(Symtab, InsertTakesOverTheReverseEntry) {
    ASSERT_EQ(symtab_insert("offset", 14), 0);
    EXPECT_STREQ(symtab_name(14), "offset");
    EXPECT_EQ(symtab_lookup("byteindex"), 14);
    ASSERT_EQ(symtab_insert("bigtoken", 401), 0);   // no reverse entry above 400
    EXPECT_EQ(symtab_lookup("bigtoken"), 401);
    EXPECT_EQ(symtab_entry(401), nullptr);
}

TEST_F(Symtab, InsertRefusesBadNames) {
    std::string longest(SYMTAB_NAME_LEN - 1, 'q');
    std::string too_long(SYMTAB_NAME_LEN, 'q');
    EXPECT_EQ(symtab_insert("", 360), -1);
    EXPECT_EQ(symtab_insert(nullptr, 360), -1);
    EXPECT_EQ(symtab_insert("neg", -1), -1);
    EXPECT_EQ(symtab_insert(too_long.c_str(), 360), -1);
    EXPECT_EQ(symtab_lookup(too_long.c_str()), 0);
    EXPECT_EQ(symtab_insert(longest.c_str(), 360), 0);
    EXPECT_EQ(symtab_lookup(longest.c_str()), 360);
}

TEST_F(Symtab, SecondBuildKeepsTheFirstTable) {
    uint32_t blocks = qobmem.mem_alloc_cnt;
    ASSERT_EQ(symtab_insert("mine", 360), 0);
    EXPECT_EQ(InitSymTab(), -2);
    EXPECT_EQ(qobmem.mem_alloc_cnt, blocks);
    EXPECT_EQ(symtab_lookup("mine"), 360);
    EXPECT_EQ(symtab_lookup("byteindex"), 14);
}

TEST_F(Symtab, FreeReturnsEveryBlock) {
    uint32_t built = qobmem.mem_alloc_cnt;
    FreeSymTab();
    EXPECT_EQ(qobmem.mem_alloc_cnt, built - (SYMTAB_ENTRIES + 1));
    EXPECT_FALSE(symtab_built());
    EXPECT_EQ(symtab_lookup("byteindex"), 0);
    EXPECT_EQ(symtab_name(14), nullptr);
    EXPECT_EQ(symtab_insert("x", 5), -1);
    FreeSymTab();   // harmless twice
}

TEST_F(Symtab, FailedAllocationFreesWhatWasTaken) {
    FreeSymTab();
    void* keep = QOBmalloc(8);   // keeps the pool's own tables in place
    uint32_t before = qobmem.mem_alloc_cnt;
    // The reverse index is the first block, entry i the (i + 2)th.
    struct { int nth; int rc; } cases[] = {{1, -1}, {2, -3}, {12, -13}, {402, -403}};
    for (auto c : cases) {
        qob_fail_platform_alloc(c.nth);
        EXPECT_EQ(InitSymTab(), c.rc) << c.nth;
        qob_fail_platform_alloc(0);
        EXPECT_EQ(qobmem.mem_alloc_cnt, before);
        EXPECT_FALSE(symtab_built());
    }
    EXPECT_EQ(InitSymTab(), 0);
    QOBfree(keep);
}

struct ViewCase {
    int view;
    const char* name;
    uint32_t length;
    bool at_start;
};

const ViewCase kViewCases[] = {
    {0, "packetheader", 32767, false}, {1, "zyr_flags", 4, false},     {7, "packetdata", 32639, false},
    {8, nullptr, 40, false},           {9, "ramstart", 40, false},     {13, "com_err_code", 20, false},
    {14, nullptr, 20, false},          {17, "com_regs", 24, false},    {18, "com_table", 64, false},
    {22, "err_upper", 33, false},      {26, "debug_string", 81, false}, {27, "kbstat", 4, false},
    {30, "meanfr_usecs", 128, false},  {33, "video_config", 22, false}, {34, "zyr_loop_time", 4, false},
    {36, "zyr_stats", 1024, true},     {37, "qob_files", 8192, false}, {38, "cpli_buffer1", 16, true},
    {53, "cpli_buffer16", 16, true},   {69, "cpli_buffer32", 16, true},
};

TEST(SymtabViews, NamesLengthsAndStartUpBuffers) {
    for (const ViewCase& c : kViewCases) {
        const ViewInfo* v = view_info(c.view);
        ASSERT_NE(v, nullptr) << c.view;
        if (c.name) EXPECT_STREQ(v->name, c.name) << c.view;
        else EXPECT_EQ(v->name, nullptr) << c.view;
        EXPECT_EQ(view_length(c.view), c.length) << c.view;
        EXPECT_EQ((v->flags & VIEW_ALLOC_AT_START) != 0, c.at_start) << c.view;
    }
    int at_start = 0;
    for (int v = 0; v < VIEW_COUNT; v++) at_start += (view_info(v)->flags & VIEW_ALLOC_AT_START) ? 1 : 0;
    EXPECT_EQ(at_start, 33);
    EXPECT_EQ(view_info(70), nullptr);
    EXPECT_EQ(view_info(-1), nullptr);
    EXPECT_EQ(view_length(70), 0u);
    EXPECT_EQ(view_from_token(113), 0);
    EXPECT_EQ(view_from_token(140), 27);
    EXPECT_EQ(view_from_token(182), 69);
    EXPECT_EQ(view_from_token(183), -1);   // free_disk is no view
    EXPECT_EQ(view_from_token(112), -1);
    EXPECT_EQ(sysparam_from_token(183), 70);
    EXPECT_EQ(sysparam_from_token(182), 69);
    EXPECT_EQ(sysparam_from_token(184), -1);
}

TEST(SymtabColours, IndexAndTokenAgree) {
    EXPECT_STREQ(colour_name(0), "black");
    EXPECT_STREQ(colour_name(14), "yellow");
    EXPECT_STREQ(colour_name(17), "monobackground");
    EXPECT_EQ(colour_name(18), nullptr);
    EXPECT_EQ(colour_from_token(95), 0);
    EXPECT_EQ(colour_from_token(112), 17);
    EXPECT_EQ(colour_from_token(113), -1);
    EXPECT_EQ(colour_from_token(94), -1);
}

TEST(SymtabFunctions, FamiliesCoverExactlyTheirNumbers) {
    std::set<int> poly = {11};
    for (int f = 40; f <= 59; f++) poly.insert(f);
    const std::set<int> bitop = {9, 15, 16, 17, 18, 19, 20, 21, 110, 111};
    for (int f = 0; f < CALIB_FN_COUNT; f++) {
        CalibFamily want = poly.count(f) ? FAMILY_POLYNOMIAL : bitop.count(f) ? FAMILY_BITOP : FAMILY_PLAIN;
        EXPECT_EQ(calib_fn_family(f), want) << f;
        EXPECT_EQ(calib_bitop(f) != nullptr, bitop.count(f) == 1) << f;
    }
    EXPECT_STREQ(calib_fn_name(0), "dummy_calibfn");
    EXPECT_STREQ(calib_fn_name(7), "hexchartext");
    EXPECT_STREQ(calib_fn_name(49), "j0");
    EXPECT_STREQ(calib_fn_name(107), "userfn64");
    EXPECT_STREQ(calib_fn_name(112), "reciprocal");
    EXPECT_EQ(calib_fn_name(113), nullptr);
    EXPECT_EQ(calib_fn_family(-1), FAMILY_PLAIN);
    EXPECT_EQ(calib_fn_from_token(184), 0);
    EXPECT_EQ(calib_fn_from_token(296), 112);
    EXPECT_EQ(calib_fn_from_token(297), -1);
}

struct BitCase {
    int fn;
    int set_value;
    const char* set_text;
    const char* clear_text;
};

const BitCase kBitCases[] = {
    {FN_TESTBIT, 1, nullptr, nullptr},      {FN_NTESTBIT, 0, nullptr, nullptr},
    {FN_ONOFFBIT, 1, " ON", "OFF"},          {FN_NONOFFBIT, 0, "OFF", " ON"},
    {FN_OPENCLOSEBIT, 1, " OPEN ", "CLOSED"}, {FN_NOPENCLOSEBIT, 0, "CLOSED", " OPEN "},
    {FN_ENDISBIT, 1, " ENABLED", "DISABLED"}, {FN_NENDISBIT, 0, "DISABLED", " ENABLED"},
    {FN_YESNOBIT, 1, "YES", " NO"},          {FN_NYESNOBIT, 0, " NO", "YES"},
};

TEST(SymtabFunctions, BitOperationResults) {
    for (const BitCase& c : kBitCases) {
        const BitOpInfo* b = calib_bitop(c.fn);
        ASSERT_NE(b, nullptr) << c.fn;
        EXPECT_EQ(b->set_value, c.set_value) << c.fn;
        EXPECT_EQ(b->clear_value, 1 - c.set_value) << c.fn;
        if (!c.set_text) {
            EXPECT_EQ(b->set_text, nullptr);
            EXPECT_EQ(b->clear_text, nullptr);
            continue;
        }
        EXPECT_STREQ(b->set_text, c.set_text) << c.fn;
        EXPECT_STREQ(b->clear_text, c.clear_text) << c.fn;
    }
}

// The tables and the built symbol table are one vocabulary.
TEST_F(Symtab, TablesAgreeWithTheBuiltTable) {
    for (int i = 0; i < COLOUR_COUNT; i++) EXPECT_EQ(symtab_lookup(colour_name(i)), colour_token(i));
    for (int v = 0; v < VIEW_COUNT; v++) {
        if (view_name(v)) {
            EXPECT_EQ(symtab_lookup(view_name(v)), view_token(v)) << v;
        }
    }
    for (int f = 0; f < CALIB_FN_COUNT; f++) EXPECT_EQ(symtab_lookup(calib_fn_name(f)), calib_fn_token(f)) << f;
}

}  // namespace
