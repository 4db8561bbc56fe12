#include "display/pageops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/evaluate.h"
#include "engine/views.h"
#include "tests/eval_support.h"
#include "tests/menu_support.h"

static std::string g_written;   // the page files korlw was asked to write

class PageOps : public ::testing::Test {
protected:
    void SetUp() override {
        reset_menus();
        pagefile_reset();
        port_register();
        evaluate_register();
        packet_init();
        views_alloc();
        page_set_dir(".");
        pageops_register();
        // korlw is started by the one test that waits for it.
        g_written.clear();
        page_hooks.page_saved = [](const char* path) { g_written += std::string(g_written.empty() ? "" : " ") + path; };
        for (int page : {12, 13, 14}) remove_page(page);
        write_page(12, {"ALPHA", "BETA"});
        ASSERT_EQ(page_load(12), 0);
    }
    void TearDown() override {
        page_reset();
        evaluate_reset();
        for (int page : {12, 13, 14}) remove_page(page);
        end_menus();
    }
    static std::string name(int page, const char* ext = "BIN") {
        char n[16];
        snprintf(n, sizeof n, "PAGE%04d.%s", page, ext);
        return n;
    }
    static void remove_page(int page) {
        for (const char* ext : {"BIN", "TXT", "LST"}) remove(name(page, ext).c_str());
        rmdir((name(page) + ".TMP").c_str());
    }
    static void write_page(int page, const std::vector<const char*>& mnemonics) {
        int f = zyr_fopen(name(page).c_str(), "w", 2048);
        int row = 3;
        for (const char* m : mnemonics) {
            PortRecord r = eval_record(VIEW_PACKETHEADER, 8, "%u", "%5u");
            snprintf(r.mnemonic, sizeof r.mnemonic, "%s", m);
            r.row = (uint16_t)row;
            row += 4;
            r.column = 2;
            ASSERT_GT(page_write_record(f, TAG_PORT, &r), 0);
        }
        zyr_fclose(f);
    }
    // The mnemonics a page file holds, in order.
    static std::string mnemonics_of(int page) {
        if (page_load(page) != 0) return "(unreadable)";
        std::string all;
        const PageSlot& s = pages.slot[SLOT_DISPLAY];
        for (int i = s.first; s.count && i <= s.last; i++)
            if (PortHead* p = page_slot_port(SLOT_DISPLAY, i)) all += std::string(all.empty() ? "" : " ") + p->rec->mnemonic;
        return all;
    }
    static std::string last_box() { return fake_ui_boxes().empty() ? "" : fake_ui_boxes().back().text; }
};

TEST(PageNames, NumberFromTheFileName) {
    struct Case {
        const char* path;
        int page;
    };
    static const Case kCases[] = {
        {"PAGE0012.BIN", 12}, {"page12.bin", 12},      {"/data/pages/Page9999.Bin", 9999}, {"PAGE0012", 12},
        {"PAGE0.BIN", 0},     {"PAGE12345.BIN", -1},   {"PAGE.BIN", -1},                   {"PAGE0012.TXT", -1},
        {"foo.bin", -1},      {"PAGE00x2.BIN", -1},    {"/pages/PAGE0012.BIN/", -1},       {"", -1},
    };
    for (const Case& c : kCases) EXPECT_EQ(page_number_of_path(c.path), c.page) << c.path;
}

TEST_F(PageOps, SaveAsRefusesTheSamePageAndAsksBeforeOverwriting) {
    fake_ui_file_answer("PAGE0012.BIN");
    vantor_command(CMD_PAGE_SAVE_AS);
    EXPECT_EQ(last_box(), "Cannot perform the operation\non the same page\nPAGE0012.BIN");
    fake_ui_file_answer("PAGE0000.BIN");
    vantor_command(CMD_PAGE_SAVE_AS);
    EXPECT_EQ(last_box(), "Cannot perform this operation\nwith pages 0,9999");

    write_page(13, {"GAMMA"});
    ASSERT_EQ(page_load(12), 0);
    fake_ui_file_answer("PAGE0013.BIN");
    fake_ui_answer(IDNO);
    vantor_command(CMD_PAGE_SAVE_AS);
    EXPECT_EQ(last_box(), "Page PAGE0013.BIN already exists\nOverwrite Yes/No ?");
    EXPECT_EQ(fake_ui_boxes().back().caption, "Save Page");
    EXPECT_EQ(eval.request_page, -1);
    EXPECT_EQ(mnemonics_of(13), "GAMMA");

    ASSERT_EQ(page_load(12), 0);
    pageops_register();
    fake_ui_file_answer("PAGE0013.BIN");
    fake_ui_answer(IDYES);
    vantor_command(CMD_PAGE_SAVE_AS);
    EXPECT_EQ(eval.request_page, 13);
    EXPECT_EQ(fake_ui_title(), "ZYR for Linux - vantor - PAGE0013");
    EXPECT_EQ(mnemonics_of(13), "ALPHA BETA");
    EXPECT_EQ(mnemonics_of(12), "ALPHA BETA");
    const FakeFileDialog& d = fake_ui_file_dialogs().back();
    EXPECT_EQ(d.filter, "Pages (page????.bin)|PAGE????.BIN|");
    EXPECT_EQ(d.default_ext, "bin");
    // korlw, found next to the program, writes the new page's text.
    for (int i = 0; i < 100 && !zyr_fexists("PAGE0013.TXT"); i++) usleep(50000);
    EXPECT_NE(read_file("PAGE0013.TXT").find("mnemonic = \"ALPHA\""), std::string::npos);
}

TEST_F(PageOps, RenameMovesThePageAndRemovesTheOldFiles) {
    write_file(name(12, "TXT").c_str(), "old text");
    fake_ui_file_answer("PAGE0014.BIN");
    vantor_command(CMD_PAGE_RENAME);
    EXPECT_FALSE(zyr_fexists(name(12).c_str()));
    EXPECT_FALSE(zyr_fexists(name(12, "TXT").c_str()));
    EXPECT_EQ(eval.request_page, 14);
    EXPECT_EQ(mnemonics_of(14), "ALPHA BETA");
}

TEST_F(PageOps, MergeAndAppendJoinPageFiles) {
    write_page(14, {"DELTA"});
    fake_ui_file_answer("PAGE0014.BIN");
    vantor_command(CMD_PAGE_MERGE);
    EXPECT_EQ(eval.request_page, 12);
    EXPECT_EQ(g_written, "./PAGE0012.BIN");
    EXPECT_EQ(mnemonics_of(12), "ALPHA BETA DELTA");
    EXPECT_EQ(mnemonics_of(14), "DELTA");

    ASSERT_EQ(page_load(12), 0);
    eval.request_page = -1;
    fake_ui_answer(IDCANCEL);   // the warning that the target is written
    vantor_command(CMD_PAGE_APPEND_TO);
    EXPECT_EQ(fake_ui_boxes().back().text,
              "Warning, the 'Copy/Append To' page will\nautomatically be saved.\n\nPress OK to continue.");
    EXPECT_EQ(eval.request_page, -1);
    fake_ui_file_answer("PAGE0014.BIN");
    vantor_command(CMD_PAGE_APPEND_TO);
    EXPECT_EQ(eval.request_page, 14);
    EXPECT_EQ(g_written, "./PAGE0012.BIN ./PAGE0014.BIN");
    EXPECT_EQ(mnemonics_of(14), "DELTA ALPHA BETA DELTA");

    // A page that is not there cannot be merged.
    ASSERT_EQ(page_load(12), 0);
    fake_ui_file_answer("PAGE0013.BIN");
    vantor_command(CMD_PAGE_MERGE);
    EXPECT_EQ(last_box(), "Cannot find page:\nPAGE0013.BIN\nPress OK to return\n");
}

TEST_F(PageOps, DeleteAsksThenDropsPortsAndFiles) {
    fake_ui_answer(IDCANCEL);
    vantor_command(CMD_PAGE_DELETE);
    EXPECT_EQ(last_box(), "Page PAGE0012.BIN will be deleted\nDo you wish to continue ?");
    EXPECT_TRUE(zyr_fexists(name(12).c_str()));
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 2);
    fake_ui_answer(IDYES);
    vantor_command(CMD_PAGE_DELETE);
    EXPECT_FALSE(zyr_fexists(name(12).c_str()));
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 0);
    EXPECT_EQ(qobmem.qob_pen_count, 0);
}

// A save that cannot be written leaves the old page file as it was and the
// page marked changed.
TEST_F(PageOps, FailedSaveKeepsTheOldFileAndTheChangedMark) {
    std::string before = read_file(name(12).c_str());
    page_delete_port(pages.slot[SLOT_DISPLAY].last);
    page_mark_changed(SLOT_DISPLAY);
    ASSERT_EQ(mkdir((name(12) + ".TMP").c_str(), 0755), 0);   // the save's temporary file cannot be made
    vantor_command(CMD_PAGE_SAVE);
    EXPECT_EQ(last_box(), "Cannot Save Current Page\nPAGE0012\nPress OK to return\n");
    EXPECT_EQ(read_file(name(12).c_str()), before);
    EXPECT_NE(pages.slot[SLOT_DISPLAY].changed, 0);
}

TEST_F(PageOps, NewPageRefusesAnExistingOne) {
    fake_ui_file_answer("PAGE0012.BIN");
    vantor_command(CMD_PAGE_NEW);
    EXPECT_EQ(last_box(), "Page PAGE0012.BIN already exists.\nNo action taken");
    EXPECT_EQ(fake_ui_boxes().back().caption, "Create New Page");
    fake_ui_file_answer("PAGE0013.BIN");
    vantor_command(CMD_PAGE_NEW);
    EXPECT_TRUE(zyr_fexists(name(13).c_str()));
    EXPECT_EQ(eval.request_page, 13);
}

TEST_F(PageOps, CopyOnePortToANewPage) {
    int beta = pages.slot[SLOT_DISPLAY].last;
    fake_ui_file_answer("PAGE0013.BIN");
    fake_ui_answer(IDOK);    // the warning
    fake_ui_answer(IDYES);   // create the page
    EXPECT_EQ(page_copy_port_to(beta), 0);
    EXPECT_EQ(fake_ui_file_dialogs().back().title, "Copy 'BETA' To Page");
    EXPECT_EQ(last_box(), "Page PAGE0013.BIN doesn't exist\nDo you wish to create it ?");
    fake_ui_file_answer("PAGE0013.BIN");
    EXPECT_EQ(page_copy_port_to(pages.slot[SLOT_DISPLAY].first), 0);
    EXPECT_EQ(mnemonics_of(13), "BETA ALPHA");
}

TEST_F(PageOps, PagesOutsideThePageDirectoryAreRefused) {
    ASSERT_EQ(mkdir("elsewhere", 0755), 0);
    write_file("elsewhere/PAGE0013.BIN", "");
    char dir[256];
    ASSERT_NE(getcwd(dir, sizeof dir), nullptr);
    fake_ui_file_answer(std::string(dir) + "/elsewhere/PAGE0013.BIN");
    vantor_command(CMD_PAGE_OPEN);
    EXPECT_EQ(last_box(), "Invalid Page\nPAGE0013.BIN\nPages are kept in the page directory\nPress OK to return\n");
    EXPECT_EQ(eval.request_page, -1);
    remove("elsewhere/PAGE0013.BIN");
    rmdir("elsewhere");
    fake_ui_file_answer(std::string(dir) + "/PAGE0012.BIN");
    vantor_command(CMD_PAGE_OPEN);
    EXPECT_EQ(eval.request_page, 12);
}
