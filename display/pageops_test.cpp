#include "display/pageops.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tests/display_support.h"
#include "tests/eval_support.h"

struct RefusalCase {
    PageOp op;
    int current, target;
    bool exists;
    const char* caption;   // null: allowed
    const char* text;
};
static const RefusalCase kRefusals[] = {
    {POP_SAVE_AS, 10, 0, false, "Page Operation", "Cannot perform this operation\nwith pages 0,9999"},
    {POP_RENAME, 10, 9999, true, "Page Operation", "Cannot perform this operation\nwith pages 0,9999"},
    {POP_MERGE, 10, 12, false, "Cannot find page:", ""},
    {POP_APPEND, 10, 12, false, "Cannot find page:", ""},
    {POP_OPEN, 10, 12, false, "Invalid Page", ""},
    {POP_OPEN, 10, 0, true, nullptr, nullptr},          // page 0 can be looked at
    {POP_SAVE_AS, 9999, 12, false, "Page Operation", "Cannot perform this operation\non pages 0,9999"},
    {POP_NEW, 9999, 12, false, nullptr, nullptr},
    {POP_COPY_TO, 10, 12, false, nullptr, nullptr},     // a missing target is asked for
    {POP_SAVE_AS, 10, 12, true, nullptr, nullptr},      // an existing one too
};

TEST(PageOps, RefusalsByOperationAndPage) {
    for (const RefusalCase& c : kRefusals) {
        const char* caption = nullptr;
        const char* text = page_op_refusal(c.op, c.current, c.target, c.exists, &caption);
        if (!c.caption) {
            EXPECT_EQ(text, nullptr) << c.op << " " << c.target;
            continue;
        }
        ASSERT_NE(text, nullptr) << c.op << " " << c.target;
        EXPECT_STREQ(text, c.text);
        EXPECT_STREQ(caption, c.caption);
    }
}

TEST(PageOps, PageNumbersComeFromTheFileName) {
    EXPECT_EQ(page_number_of("/tmp/x/PAGE0012.BIN"), 12);
    EXPECT_EQ(page_number_of("page9998.bin"), 9998);
    EXPECT_EQ(page_number_of("PAGE12.BIN"), -1);
    EXPECT_EQ(page_number_of("PAGE001A.BIN"), -1);
    EXPECT_EQ(page_number_of("PAGE0012.TXT"), -1);
}

class PageOpsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        eval_setup();
        page_register_startup_hooks();
        pageops_register();
        char tmpl[] = "/tmp/zyr-pageops.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(page_set_dir(dir_.c_str()), 0);
        PortRecord r = eval_record(VIEW_PACKETHEADER, 8, "%5hu");
        snprintf(r.mnemonic, sizeof r.mnemonic, "PKTCOUNT");
        r.row = 4;
        r.column = 2;
        ASSERT_NE(make_port(r), nullptr);
        pages.slot[SLOT_DISPLAY].page = 10;
    }
    void TearDown() override {
        eval_teardown();
        chmod(dir_.c_str(), 0755);
        std::string rm = "rm -rf " + dir_;
        (void)system(rm.c_str());
    }
    std::string file(const char* name) const { return dir_ + "/" + name; }
    std::string dir_;
};

static bool appears_within(const std::string& path, const char* text, int ms) {
    for (int t = 0; t < ms; t += 20) {
        if (read_file(path.c_str()).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST_F(PageOpsFiles, SaveAsOntoTheSamePageIsRefused) {
    fake_ui_file_answer(file("PAGE0010.BIN"));
    EXPECT_NE(page_operation(POP_SAVE_AS), 0);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].text, "Cannot perform the operation\non the same page\nPAGE0010");
    EXPECT_EQ(fake_ui_file_dialogs()[0].filter, "Pages (page????.bin)|PAGE????.BIN|");
}

TEST_F(PageOpsFiles, SaveAsOntoAnExistingPageAsksFirst) {
    write_file(file("PAGE0012.BIN").c_str(), "old");
    fake_ui_file_answer(file("PAGE0012.BIN"));
    fake_ui_answer(IDNO);
    EXPECT_NE(page_operation(POP_SAVE_AS), 0);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Save Page");
    EXPECT_EQ(fake_ui_boxes()[0].text, "Page PAGE0012 already exists\nOverwrite Yes/No ?");
    EXPECT_EQ(read_file(file("PAGE0012.BIN").c_str()), "old");
}

// Save as writes the page file, korlw writes its text from it, and the
// window then shows the new page, unchanged.
TEST_F(PageOpsFiles, SaveAsWritesTheTextThroughKorlw) {
    char exe[4096];
    if (plat_exe_dir(exe, sizeof exe) != 0 || access((std::string(exe) + "/korlw").c_str(), X_OK) != 0)
        GTEST_SKIP() << "korlw is not built next to the tests";
    page_mark_changed(SLOT_DISPLAY);
    fake_ui_file_answer(file("PAGE0012.BIN"));
    EXPECT_EQ(page_operation(POP_SAVE_AS), 0);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].page, 12);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].changed, 0);
    EXPECT_FALSE(read_file(file("PAGE0012.BIN").c_str()).empty());
    EXPECT_TRUE(appears_within(file("PAGE0012.TXT"), "\"PKTCOUNT\"", 5000)) << read_file(file("PAGE0012.TXT").c_str());
}

// A save that cannot write its file (here the name of its temporary file
// is taken by a directory, which stops root as well): the old page file
// stays as it was and the page stays marked changed.
TEST_F(PageOpsFiles, AFailedSaveKeepsTheOldFileAndTheChangedMark) {
    write_file(file("PAGE0010.BIN").c_str(), "old page");
    ASSERT_EQ(mkdir(file("PAGE0010.BIN.TMP").c_str(), 0755), 0);
    page_mark_changed(SLOT_DISPLAY);
    EXPECT_NE(page_operation(POP_SAVE), 0);
    EXPECT_EQ(read_file(file("PAGE0010.BIN").c_str()), "old page");
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].changed, 1);
    EXPECT_EQ(fake_ui_boxes().back().text, "Cannot Save Current Page\nPAGE0010\nPress OK to return\n");
}

TEST_F(PageOpsFiles, DeleteDropsThePortsAndTheFiles) {
    write_file(file("PAGE0010.BIN").c_str(), "page");
    write_file(file("PAGE0010.TXT").c_str(), "text");
    fake_ui_answer(IDNO);
    EXPECT_NE(page_operation(POP_DELETE), 0);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 1);
    fake_ui_answer(IDYES);
    EXPECT_EQ(page_operation(POP_DELETE), 0);
    EXPECT_EQ(fake_ui_boxes().back().text, "Page PAGE0010 will be deleted\nDo you wish to continue ?");
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].count, 0);
    EXPECT_FALSE(zyr_fexists(file("PAGE0010.BIN").c_str()));
    EXPECT_FALSE(zyr_fexists(file("PAGE0010.TXT").c_str()));
}

TEST_F(PageOpsFiles, NewPageRefusesAnExistingOne) {
    write_file(file("PAGE0012.BIN").c_str(), "");
    fake_ui_file_answer(file("PAGE0012.BIN"));
    EXPECT_NE(page_operation(POP_NEW), 0);
    EXPECT_EQ(fake_ui_boxes().back().caption, "Create New Page");
    EXPECT_EQ(fake_ui_boxes().back().text, "Page PAGE0012 already exists.\nNo action taken");
    fake_ui_file_answer(file("PAGE0013.BIN"));
    EXPECT_EQ(page_operation(POP_NEW), 0);
    EXPECT_TRUE(zyr_fexists(file("PAGE0013.BIN").c_str()));
    EXPECT_EQ(eval.request_page, 13);
}
