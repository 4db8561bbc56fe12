#include "engine/views.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/symtab.h"
#include "tests/eval_support.h"

class Views : public ::testing::Test {
protected:
    void SetUp() override { eval_setup(); }
    void TearDown() override { eval_teardown(); }
};

static ZyrPort* view_port(int view, int byteindex, const char* raw) {
    ZyrPort* p = make_port(eval_record(view, byteindex, raw));
    eval_run(0);   // on screen
    return p;
}

TEST_F(Views, PortsReadTheProgramsOwnVariables) {
    ZyrPort* msecs = view_port(VIEW_ZYR_MSECS, 0, "%lu");
    ZyrPort* page = view_port(VIEW_PAGE_NO, 0, "%lu");
    ZyrPort* stats = view_port(VIEW_ZYR_STATS, ST_BYTES_READ, "%lu");
    ZyrPort* io = view_port(32, 0, "%lx");                      // recd_pback
    ZyrPort* err1 = view_port(22, 0, "%32s");                   // err_upper
    ZyrPort* err2 = view_port(23, 0, "%32s");                   // err_lower
    ZyrPort* msg = view_port(VIEW_DEBUG_STRING, 0, "%80s");
    ZyrPort* user = view_port(VIEW_CPLI_BUFFER1 + 31, 12, "%lu");
    ZyrPort* secs = view_port(29, 0, "%lu");                    // c_ltime
    zyr.zyr_msecs = 4321;
    pages.slot[SLOT_DISPLAY].page = 77;
    zyr_stat(ST_BYTES_READ) = 99;
    zyr.IoFlags = IO_TEST_DATA | IO_RAW_RECORD;
    zyr.caltime = 1700000000;
    zyr_err(8, 1, "Check >2", 1, 2, 0);
    zyr_message("Hello", 0);
    uint32_t v = 0xCAFE;
    memcpy(views_user_buffer(31) + 12, &v, 4);
    eval_run(1);
    EXPECT_EQ(msecs->value.u32, 4321u);
    EXPECT_EQ(page->value.u32, 77u);
    EXPECT_EQ(stats->value.u32, 99u);
    EXPECT_EQ(io->value.u32, IO_TEST_DATA | IO_RAW_RECORD);
    EXPECT_STREQ(err1->text, diag.status1);
    EXPECT_STREQ(err2->text, diag.status2);
    EXPECT_STREQ(msg->text, diag.msgline);
    EXPECT_NE(std::string(msg->text).find("Hello"), std::string::npos);
    EXPECT_EQ(user->value.u32, 0xCAFEu);
    EXPECT_EQ(secs->value.u32, 1700000000u);
}

TEST_F(Views, ViewsWithoutAVariableReadZerosOfTheirWholeLength) {
    int zero_views = 0;
    for (int view = 0; view < VIEW_COUNT; view++) {
        if (view == 21) continue;   // sample_count: each port's own counter
        const uint8_t* base = view_base(view);
        ASSERT_NE(base, nullptr) << view;
        if (base != views_base(8)) continue;
        zero_views++;
        for (uint32_t i = 0; i < view_length(view); i++) ASSERT_EQ(base[i], 0) << view;
    }
    EXPECT_EQ(zero_views, 19);   // 8 to 20 but 21, 24, 25, 27, 28, 33 and 37
    ZyrPort* p = view_port(37, 8188, "%lu");   // the last word of qob_files
    eval_run(1);
    EXPECT_EQ(p->value.u32, 0u);
    EXPECT_TRUE(p->valued);
}

TEST_F(Views, AModuleMayBackAViewWithItsOwnArea) {
    static uint8_t table[64];
    table[3] = 42;
    EXPECT_EQ(views_set_area(18, table), 0);   // com_table
    EXPECT_EQ(views_set_area(VIEW_ZYR_STATS, table), -1);
    EXPECT_EQ(views_set_area(VIEW_CPLI_BUFFER1, table), -1);
    EXPECT_EQ(views_set_area(VIEW_COUNT, table), -1);
    ZyrPort* p = view_port(18, 3, "%c");
    ZyrPort* q = make_port(calib_record(FN_HEXCHARTEXT, "%c", "%2s"));
    (void)q;
    eval_run(1);
    EXPECT_EQ(p->cache[0], 42);
    views_set_area(18, nullptr);
    eval_run(2);
    EXPECT_EQ(p->cache[0], 0);
}

TEST_F(Views, UserBuffersComeFromThePoolAndGoBack) {
    uint32_t live = qobmem.mem_alloc_cnt;
    views_free();
    EXPECT_EQ(views_user_buffer(0), nullptr);
    EXPECT_EQ(qobmem.mem_alloc_cnt, live - 1);
    ZyrPort* p = view_port(VIEW_CPLI_BUFFER1, 0, "%lu");
    eval_run(1);
    EXPECT_FALSE(p->valued);   // no area: nothing read
    ASSERT_EQ(views_alloc(), 0);
    for (int n = 0; n < USER_BUFFERS; n++)
        for (int i = 0; i < USER_BUFFER_BYTES; i++) ASSERT_EQ(views_user_buffer(n)[i], 0);
    eval_run(2);
    EXPECT_TRUE(p->valued);
}

TEST_F(Views, TheFilterCountsAcceptedPackets) {
    ZyrPort* p = view_port(6, 0, "%lu");   // vtelfr_cnt
    for (int i = 0; i < 3; i++) packet_filter_accepted();
    eval_run(1);
    EXPECT_EQ(p->value.u32, 3u);
}
