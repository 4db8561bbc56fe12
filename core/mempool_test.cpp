#include "core/mempool.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/test_support.h"

class Mempool : public ::testing::Test {
protected:
    void SetUp() override { reset_core(); }
    void TearDown() override { reset_core(); }
};

TEST_F(Mempool, CountsLiveBlocksAndTearsDownWithTheLast) {
    void* a = QOBmalloc(100);
    void* b = QOBmalloc(50);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 2u);
    EXPECT_EQ(qobmem.total_allocated, 150u);
    EXPECT_EQ(qobmem.free_entries, (uint32_t)QOB_TABLE_ENTRIES - 2);
    EXPECT_EQ(QOBfree(a), 0);
    EXPECT_EQ(qobmem.total_allocated, 50u);
    EXPECT_EQ(qobmem.peak_allocated, 150u);
    EXPECT_TRUE(qob_tables_exist());
    EXPECT_EQ(QOBfree(b), 0);
    EXPECT_FALSE(qob_tables_exist());
    // The next allocation sets the tables up again.
    void* c = QOBmalloc(10);
    EXPECT_TRUE(qob_tables_exist());
    EXPECT_EQ(QOBfree(c), 0);
}

TEST_F(Mempool, The10241stBlockIsRefused) {
    std::vector<void*> blocks;
    for (int i = 0; i < QOB_TABLE_ENTRIES; i++) blocks.push_back(QOBmalloc(1));
    for (void* p : blocks) ASSERT_NE(p, nullptr);
    EXPECT_EQ(QOBmalloc(1), nullptr);
    EXPECT_NE(read_file("debugmsg").find("W16GlobalAlloc qoberr 37"), std::string::npos);
    EXPECT_EQ(qobmem.mem_alloc_cnt, (uint32_t)QOB_TABLE_ENTRIES);
    // A freed entry is found again by the next allocation.
    EXPECT_EQ(QOBfree(blocks[5000]), 0);
    blocks[5000] = QOBmalloc(1);
    EXPECT_NE(blocks[5000], nullptr);
    EXPECT_EQ(QOBfree_allmem(), 0);
    EXPECT_FALSE(qob_tables_exist());
}

TEST_F(Mempool, FreeingAnUnknownAddressChangesNothing) {
    void* a = QOBmalloc(8);
    int local = 0;
    QobMem before = qobmem;
    EXPECT_EQ(QOBfree(&local), -1);
    EXPECT_EQ(qobmem.mem_alloc_cnt, before.mem_alloc_cnt);
    EXPECT_EQ(qobmem.total_allocated, before.total_allocated);
    EXPECT_EQ(qobmem.free_entries, before.free_entries);
    EXPECT_NE(read_file("debugmsg").find("!! QOBFree: GlobalFree() fail 10239 mem_alloc_cnt 1"), std::string::npos);
    EXPECT_EQ(QOBfree(nullptr), 0);
    QOBfree(a);
}

TEST_F(Mempool, ReserveOf16KbIsKeptWithoutALine) {
    plat_fake_mem_available(200000);
    void* a = QOBmalloc(10);  // sets up the tables with this figure
    ASSERT_NE(a, nullptr);
    // 200000 - 183000 = 17000 -> 16384 after rounding: allowed.
    void* b = QOBmalloc(183000);
    EXPECT_NE(b, nullptr);
    QOBfree(b);
    remove("debugmsg");
    // 200000 - 184000 = 16000 -> 15360: refused silently.
    EXPECT_EQ(QOBmalloc(184000), nullptr);
    EXPECT_EQ(read_file("debugmsg"), "");
    // More than is available: refused with the QOBmalloc line.
    EXPECT_EQ(QOBmalloc(300000), nullptr);
    EXPECT_NE(read_file("debugmsg").find("QOBmalloc qoberr 35"), std::string::npos);
    QOBfree(a);
}

TEST_F(Mempool, TableSetupFailuresAreReported) {
    struct Case {
        int fail_nth;
        const char* line;
    };
    static const Case kCases[] = {
        {1, "alloc_table_space -1 qoberr 36"},
        {2, "alloc_table_space -3 qoberr 36"},
        {3, "alloc_table_space -5 qoberr 36"},
    };
    for (const Case& c : kCases) {
        reset_core();
        qob_fail_platform_alloc(c.fail_nth);
        EXPECT_EQ(QOBmalloc(10), nullptr) << c.fail_nth;
        std::string log = read_file("debugmsg");
        EXPECT_NE(log.find(c.line), std::string::npos) << log;
        EXPECT_NE(log.find("!! QOBmalloc() init_qobmem_sys() fail"), std::string::npos);
        EXPECT_FALSE(qob_tables_exist());
        qob_fail_platform_alloc(0);
        void* p = QOBmalloc(10);
        EXPECT_NE(p, nullptr);
        QOBfree(p);
    }
}

TEST_F(Mempool, TooLittleMemoryForTheTables) {
    plat_fake_mem_available(81920 + 16000);
    EXPECT_EQ(QOBmalloc(1), nullptr);
    EXPECT_NE(read_file("debugmsg").find("QOBmalloc qoberr 35"), std::string::npos);
    EXPECT_EQ(init_qobmem_sys(), -1);
    plat_fake_mem_available(81920 + 17408);
    EXPECT_EQ(init_qobmem_sys(), 0);
    EXPECT_EQ(init_qobmem_sys(), -4);
}

TEST_F(Mempool, CheckedAllocateReportsRequiredAndAvailable) {
    plat_fake_mem_available(312 * 1024);
    void* keep = QOBmalloc(1);
    EXPECT_EQ(qob_checked_malloc(500 * 1024), nullptr);
    EXPECT_EQ(diag.last_code, 17);
    EXPECT_STREQ(diag.status2, "  Req'd vs actual (Kb) 500,312  ");
    EXPECT_EQ(qob_checked_free(nullptr), -1);
    EXPECT_EQ(qob_checked_free(keep), 0);
}

TEST_F(Mempool, LeakReportNamesEveryNonZeroCounter) {
    void* p = QOBmalloc(4);
    qob_count_pen(2);
    qob_count_brush(1);
    qob_count_brush(-1);
    EXPECT_EQ(qob_leak_report(), 5 + 6);
    std::string log = read_file("debugmsg");
    EXPECT_NE(log.find("!! mem_alloc_cnt = 1\r\n"), std::string::npos);
    EXPECT_NE(log.find("!! qob_pen_count = 2\r\n"), std::string::npos);
    EXPECT_EQ(log.find("qob_brush_count"), std::string::npos);
    EXPECT_EQ(log.find("qob_rgn_count"), std::string::npos);
    QOBfree(p);
    qob_count_pen(-2);
    EXPECT_EQ(qob_leak_report(), 0);
}

TEST_F(Mempool, MemoryShortMeasuresFreshly) {
    plat_fake_mem_available(100000);
    EXPECT_TRUE(qob_memory_short(100001));
    EXPECT_FALSE(qob_memory_short(100000));
}

TEST_F(Mempool, RandomAllocationAndFreeKeepTheTableExact) {
    std::vector<void*> live;
    uint32_t x = 99;
    auto next = [&x] { return x = x * 1103515245u + 12345u; };
    for (int step = 0; step < 20000; step++) {
        if (live.size() < 3000 && (live.empty() || next() % 3 != 0)) {
            size_t n = 1 + next() % 64;
            void* p = QOBmalloc(n);
            ASSERT_NE(p, nullptr);
            live.push_back(p);
        } else {
            size_t i = next() % live.size();
            ASSERT_EQ(QOBfree(live[i]), 0);
            live[i] = live.back();
            live.pop_back();
        }
        ASSERT_EQ(qobmem.mem_alloc_cnt, live.size());
    }
    int stranger = 0;
    EXPECT_EQ(QOBfree(&stranger), -1);
    for (void* p : live) ASSERT_EQ(QOBfree(p), 0);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
    EXPECT_EQ(qobmem.total_allocated, 0u);
    EXPECT_FALSE(qob_tables_exist());
}

// ---- pens and brushes ----------------------------------------------------------

// A device of the test: objects are numbered, the selected one is kept, and
// each operation can be made to fail.
static struct {
    int created, destroyed;
    std::vector<uint32_t> colours;
    void* selected[2];
    bool fail_create, fail_select, fail_destroy;
} g_dev;
static int g_objects[64];
static void* dev_create(int, uint32_t rgb) {
    if (g_dev.fail_create) return nullptr;
    g_dev.colours.push_back(rgb);
    return &g_objects[g_dev.created++ % 64];
}
static int dev_select(int kind, void* obj, void** previous) {
    if (g_dev.fail_select) return -1;
    *previous = g_dev.selected[kind];
    g_dev.selected[kind] = obj;
    return 0;
}
static int dev_destroy(int, void*) {
    if (g_dev.fail_destroy) return -1;
    g_dev.destroyed++;
    return 0;
}
static const QobDrawOps kDevOps = {dev_create, dev_select, dev_destroy};

struct DrawCase {
    const char* name;
    int (*create)(QobObjectSlot*, uint32_t);
    int (*destroy)(QobObjectSlot*);
    const int32_t* count;
    const char* c1;
    const char* c2;
    const char* d1;
    const char* d2;
};

TEST_F(Mempool, PensAndBrushesAreCountedAndReportTheirFailures) {
    const DrawCase cases[] = {
        {"pen", QOBCreatePenObject, QOBDeletePenObject, &qobmem.qob_pen_count, "QOBCreatePenObject 1 qoberr 15",
         "QOBCreatePenObject 2 qoberr 16", "QOBDeletePenObject 1 qoberr 26", "QOBDeletePenObject 2 qoberr 26"},
        {"brush", QOBCreateBrushObject, QOBDeleteBrushObject, &qobmem.qob_brush_count,
         "QOBCreateBrushObject 1 qoberr 15", "QOBCreateBrushObject 2 qoberr 16", "QOBDeleteBrushObject 1 qoberr 26",
         "QOBDeleteBrushObject 2 qoberr 26"},
    };
    for (const DrawCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        g_dev = {};
        qob_set_draw_ops(&kDevOps);
        QobObjectSlot s{};
        ASSERT_EQ(c.create(&s, 0xFF0000), 0);
        EXPECT_EQ(*c.count, 1);
        // A second colour in the same slot replaces the first pen.
        ASSERT_EQ(c.create(&s, 0x00FF00), 0);
        EXPECT_EQ(*c.count, 1);
        EXPECT_EQ(g_dev.destroyed, 1);
        EXPECT_EQ(g_dev.colours, (std::vector<uint32_t>{0xFF0000, 0x00FF00}));
        EXPECT_EQ(c.destroy(&s), 0);
        EXPECT_EQ(*c.count, 0);
        EXPECT_EQ(s.obj, nullptr);
        EXPECT_EQ(c.destroy(&s), 0);  // an empty slot
        // Failures: each with its line, and the count stays true.
        g_dev.fail_create = true;
        EXPECT_EQ(c.create(&s, 1), -2);
        EXPECT_EQ(*c.count, 0);
        g_dev.fail_create = false;
        g_dev.fail_select = true;
        EXPECT_EQ(c.create(&s, 1), -3);
        EXPECT_EQ(*c.count, 0);
        g_dev.fail_select = false;
        ASSERT_EQ(c.create(&s, 1), 0);
        g_dev.fail_select = true;
        g_dev.fail_destroy = true;
        EXPECT_EQ(c.destroy(&s), -2);
        EXPECT_EQ(*c.count, 1);  // not deleted: the leak report shows it
        EXPECT_EQ(qob_leak_report(), 6);
        std::string log = read_file("debugmsg");
        for (const char* line : {c.c1, c.c2, c.d1, c.d2}) EXPECT_NE(log.find(line), std::string::npos) << line;
        qob_set_draw_ops(nullptr);
        EXPECT_EQ(c.create(&s, 1), -2);  // no window system
    }
}
