#include "compiler/korlw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "compiler/compile.h"
#include "core/pagetext.h"
#include "core/symtab.h"
#include "platform/ui.h"
#include "tests/test_support.h"

// What the window would have shown and asked, and the answers it gives.
struct Shown {
    int level;
    std::string text;
};
static std::vector<Shown> g_shown;
static std::vector<std::string> g_boxes;
static std::deque<int> g_answers;
static std::deque<std::string> g_chosen;   // "" cancels the dialog
static std::vector<std::string> g_dialogs;
static int g_beeps, g_abouts, g_quit_boxes, g_quits, g_quit_code, g_busy;

static void rec_show(int level, const char* text) { g_shown.push_back({level, text}); }
static void rec_beep() { g_beeps++; }
static int rec_box(const char* text, const char* caption, unsigned flags) {
    g_boxes.push_back(std::string(caption) + "|" + text + "|" + std::to_string(flags));
    int a = g_answers.empty() ? IDNO : g_answers.front();
    if (!g_answers.empty()) g_answers.pop_front();
    return a;
}
static int rec_choose(const char* title, const char* filter, const char* defext, char* path, size_t cap) {
    g_dialogs.push_back(std::string(title) + "|" + filter + "|" + defext);
    std::string p = g_chosen.empty() ? "" : g_chosen.front();
    if (!g_chosen.empty()) g_chosen.pop_front();
    if (p.empty()) return 0;
    snprintf(path, cap, "%s", p.c_str());
    return 1;
}
static void rec_about() { g_abouts++; }
static int rec_quit_box() {
    g_quit_boxes++;
    int a = g_answers.empty() ? IDNO : g_answers.front();
    if (!g_answers.empty()) g_answers.pop_front();
    return a;
}
static void rec_busy(bool on) { g_busy += on ? 1 : -1; }
static void rec_quit(int code) {
    g_quits++;
    g_quit_code = code;
}

class Korlw : public ::testing::Test {
protected:
    void SetUp() override {
        reset_core();
        symtab_reset();
        compiler_reset();
        pagetext_reset();
        korlw_reset();
        g_shown.clear();
        g_boxes.clear();
        g_answers.clear();
        g_chosen.clear();
        g_dialogs.clear();
        g_beeps = g_abouts = g_quit_boxes = g_quits = g_quit_code = g_busy = 0;
        korlw_ui = KorlwUi{rec_show, rec_beep, rec_box, rec_choose, rec_about, rec_quit_box, rec_busy, rec_quit};
        // Each test works in a directory of its own: files never carry over.
        static int serial;
        char dir[32];
        snprintf(dir, sizeof dir, "korlw%d", ++serial);
        ASSERT_EQ(mkdir(dir, 0755), 0);
        ASSERT_EQ(chdir(dir), 0);
        ASSERT_EQ(getcwd(home_, sizeof home_), home_);
        ASSERT_EQ(korlw_start(), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(home_), 0);
        ASSERT_EQ(chdir(".."), 0);
        korlw_reset();
        compiler_reset();
        symtab_reset();
        reset_core();
    }
    char home_[512];
};

static const char kPageText[] =
    "[valueport]\r\n"
    "\tdatabasekey = \"TEMP\"\r\n"
    "\tview = packetheader\r\n"
    "\tbyteindex = 12\r\n"
    "\tdatatype = \"%6hd\"\r\n"
    "\trow = 3\r\n"
    "\tcolumn = 10\r\n"
    "\tmnemonic = \"TEMP\"\r\n"
    "\tdisplayrate = \"F01ST01\"\r\n"
    "\tbackgroundcolor = blue\r\n"
    "\tbordercolor = white\r\n"
    "\ttitlecolor = white\r\n"
    "\tvaluecolor = yellow\r\n";

// A page file made by the compiler from kPageText.
static std::string make_page(int page) {
    char txt[32], bin[32];
    snprintf(txt, sizeof txt, "PAGE%04d.TXT", page);
    snprintf(bin, sizeof bin, "PAGE%04d.BIN", page);
    write_file(txt, kPageText);
    EXPECT_EQ(compile_page(page), COMPILE_OK);
    remove(txt);
    g_shown.clear();
    g_beeps = 0;
    return read_file(bin);
}

static std::vector<std::string> texts() {
    std::vector<std::string> v;
    for (const Shown& s : g_shown) v.push_back(s.text);
    return v;
}

// ---- page names -----------------------------------------------------------------

struct NameCase {
    const char* path;
    int page;               // -1: refused
    const char* rebuilt;    // the descriptor's path, or the refusal's number text
};
static const NameCase kNames[] = {
    {"page12.txt", 12, "page0012.txt"},
    {"PAGE0010.TXT", 10, "page0010.TXT"},
    {"/data/pages/Page7.BIN", 7, "/data/pages/page0007.BIN"},
    {"12.bin", 12, "page0012.bin"},
    {"9999", 9999, "page9999"},
    {"0x10.txt", 16, "page0016.txt"},
    {"/page3.txt", 3, "/page0003.txt"},
    {"pagexyz.txt", -1, "xyz"},
    {"abcdef.txt", -1, "abcdef"},
    {"12345.txt", -1, "12345"},
    {"page10000.txt", -1, "10000"},
    {"page-1.txt", -1, "-1"},
    {"page12.doc", -1, "page12"},
    {"page.txt", -1, "page"},
    {"pagex.txt", -1, "x"},
    {".txt", -1, ""},
};

TEST_F(Korlw, PageNumberRules) {
    for (const NameCase& c : kNames) {
        g_shown.clear();
        g_beeps = 0;
        int rc = korlw_page_from_path(c.path);
        if (c.page >= 0) {
            EXPECT_EQ(rc, 0) << c.path;
            EXPECT_EQ(korlw_name.page, c.page) << c.path;
            EXPECT_STREQ(korlw_name.path, c.rebuilt) << c.path;
            EXPECT_TRUE(g_shown.empty());
        } else {
            EXPECT_EQ(rc, -1) << c.path;
            ASSERT_EQ(g_shown.size(), 1u) << c.path;
            EXPECT_EQ(g_shown[0].text, std::string("Invalid Page number ") + c.rebuilt);
            EXPECT_EQ(g_shown[0].level, 4);
            EXPECT_EQ(g_beeps, 1);
        }
    }
}

TEST_F(Korlw, DescriptorKeepsItsParts) {
    ASSERT_EQ(korlw_page_from_path("/a/b/page42.Txt"), 0);
    EXPECT_STREQ(korlw_name.drive, "");
    EXPECT_STREQ(korlw_name.dir, "/a/b");
    EXPECT_STREQ(korlw_name.name, "page0042");
    EXPECT_STREQ(korlw_name.ext, ".Txt");
}

// ---- the commands -------------------------------------------------------------------

TEST_F(Korlw, ChosenPage12CompilesTheTextOfPage0012) {
    write_file("PAGE0012.TXT", kPageText);
    write_file("page12.txt", "this file is not read\r\n");
    g_chosen.push_back("page12.txt");
    EXPECT_EQ(korlw_command(KORLW_COMPILE), 0);
    EXPECT_EQ(g_dialogs.at(0), "Compile Display Page|Pages (page????.txt)|PAGE????.TXT||txt");
    std::vector<std::string> t = texts();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_NE(t[0].find("Processing page file "), std::string::npos);
    EXPECT_NE(t[0].find("PAGE0012.TXT. Output to file PAGE0012.LST."), std::string::npos);
    EXPECT_EQ(t[1], "All error messages echoed to the output file and display");
    EXPECT_EQ(t[2], "KORL: All page files checked ok");
    EXPECT_FALSE(read_file("PAGE0012.BIN").empty());
    EXPECT_EQ(g_busy, 0);
}

TEST_F(Korlw, CompileWithErrorsSaysSoWithABeep) {
    write_file("PAGE0013.TXT", "[valueport]\r\n\tdatatype = \"%6hd\"\r\n\tbyteindex = 2\r\n\trow = 0\r\n\tcolumn = 1\r\n");
    EXPECT_EQ(korlw_compile(13), -1);
    EXPECT_EQ(texts().back(), "!! KORL: encountered 1 warnings and 1 errors !!");
    EXPECT_EQ(g_shown.back().level, 4);
    EXPECT_GE(g_beeps, 1);
    EXPECT_EQ(read_file("PAGE0013.BIN"), "");
}

TEST_F(Korlw, CancelledDialogDoesNothing) {
    EXPECT_EQ(korlw_command(KORLW_REVERSE), 1);
    EXPECT_EQ(g_dialogs.at(0), "Reverse Engineer Page|Pages (page????.bin)|PAGE????.BIN||txt");
    EXPECT_TRUE(g_shown.empty());
}

TEST_F(Korlw, ReverseWritesTheTextInTheChosenDirectory) {
    mkdir("sub dir", 0755);
    ASSERT_EQ(chdir("sub dir"), 0);
    std::string page = make_page(5);
    ASSERT_EQ(chdir(home_), 0);
    g_chosen.push_back(std::string(home_) + "/sub dir/PAGE0005.BIN");
    EXPECT_EQ(korlw_command(KORLW_REVERSE), 0);
    std::vector<std::string> t = texts();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0], std::string("Reverse engineering page file ") + home_ + "/sub dir/PAGE0005.BIN. Output to file " +
                        "PAGE0005.TXT.");
    EXPECT_EQ(t[1], "All error messages echoed to the output file and display");
    EXPECT_EQ(t[2], "KORL: Page file reverse engineered ok");
    EXPECT_EQ(read_file((std::string(home_) + "/sub dir/PAGE0005.TXT").c_str()), kPageText);
    EXPECT_EQ(read_file((std::string(home_) + "/sub dir/PAGE0005.BIN").c_str()), page);
}

TEST_F(Korlw, OverwriteAnsweredNoWritesNothingAndSaysNothing) {
    make_page(6);
    write_file("PAGE0006.TXT", "mine\r\n");
    g_answers.push_back(IDNO);
    EXPECT_EQ(korlw_reverse(6), 1);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Save Page|Page 6 already exists\nOverwrite Yes/No ?|" +
                              std::to_string(MB_YESNO | MB_ICONINFORMATION));
    EXPECT_EQ(read_file("PAGE0006.TXT"), "mine\r\n");
    EXPECT_TRUE(g_shown.empty());
}

TEST_F(Korlw, OverwriteAnsweredYesReplacesTheTextOfAnyCase) {
    make_page(7);
    write_file("page0007.txt", "mine\r\n");
    g_answers.push_back(IDYES);
    EXPECT_EQ(korlw_reverse(7), 0);
    EXPECT_EQ(read_file("page0007.txt"), kPageText);
    EXPECT_EQ(read_file("PAGE0007.TXT"), "");   // no second text beside it
}

TEST_F(Korlw, MissingPageFileKeepsTheOldText) {
    write_file("PAGE0008.TXT", "mine\r\n");
    EXPECT_EQ(korlw_reverse(8), -1);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(texts().back(), "Unable to open input compiled page file PAGE0008.BIN. Compilation aborted");
    EXPECT_EQ(g_shown.back().level, 4);
    EXPECT_EQ(g_beeps, 1);
    EXPECT_EQ(read_file("PAGE0008.TXT"), "mine\r\n");
}

TEST_F(Korlw, BadPageFileReportsFailure) {
    write_file("PAGE0009.BIN", std::string("\x07\x00\x02", 3));
    EXPECT_EQ(korlw_reverse(9), -1);
    EXPECT_EQ(texts().back(), "KORL: Page file reverse engineer failed");
    EXPECT_EQ(g_shown.back().level, 4);
}

TEST_F(Korlw, UnwritableTextIsReported) {
    make_page(4);
    mkdir("PAGE0004.TXT", 0755);   // a directory where the text would go
    g_answers.push_back(IDYES);
    EXPECT_EQ(korlw_reverse(4), -1);
    EXPECT_EQ(texts().back(), "Unable to open output page file PAGE0004.TXT. Compilation aborted");
    rmdir("PAGE0004.TXT");
}

TEST_F(Korlw, AboutEscapeAndF1) {
    EXPECT_EQ(korlw_command(KORLW_ABOUT), 0);
    EXPECT_EQ(g_abouts, 1);
    EXPECT_EQ(korlw_command(KORLW_ESCAPE), 0);
    EXPECT_EQ(korlw_command(KORLW_HELP), 0);
    EXPECT_TRUE(g_shown.empty());
    EXPECT_TRUE(g_dialogs.empty());
}

TEST_F(Korlw, ExitAsksAndOnlyYesQuits) {
    g_answers.push_back(IDNO);
    korlw_command(KORLW_EXIT);
    EXPECT_EQ(g_quit_boxes, 1);
    EXPECT_EQ(g_quits, 0);
    g_answers.push_back(IDYES);
    korlw_close();
    EXPECT_EQ(g_quit_boxes, 2);
    EXPECT_EQ(g_quits, 1);
    EXPECT_EQ(g_quit_code, 0);
}

// ---- argument mode -----------------------------------------------------------------------

static int arg_mode(std::vector<const char*> args) { return korlw_argument_mode((int)args.size(), args.data()); }

TEST_F(Korlw, ArgumentWritesTheTextFromThePageFile) {
    make_page(10);
    write_file("PAGE0010.txt", "old text that goes\r\n");
    EXPECT_EQ(arg_mode({"PAGE0010.txt"}), 0);
    EXPECT_EQ(read_file("PAGE0010.txt"), kPageText);
    std::vector<std::string> t = texts();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "Reverse engineering page file PAGE0010.BIN. Output to file PAGE0010.txt.");
    EXPECT_EQ(t[1], "KORL: Page file reverse engineered ok");
}

TEST_F(Korlw, ArgumentsAreJoinedIntoOnePath) {
    mkdir("my pages", 0755);
    ASSERT_EQ(chdir("my pages"), 0);
    make_page(11);
    ASSERT_EQ(chdir(home_), 0);
    EXPECT_EQ(arg_mode({"my", "pages/PAGE0011.txt"}), 0);
    EXPECT_EQ(read_file("my pages/PAGE0011.txt"), kPageText);
}

TEST_F(Korlw, ArgumentThatIsNotATextFileIsRefusedUntouched) {
    std::string page = make_page(10);
    for (const char* a : {"PAGE0010.BIN", "PAGE0010.bin", "PAGE0010", "PAGE0010.txt.BIN"}) {
        g_beeps = 0;
        EXPECT_EQ(arg_mode({a}), 1) << a;
        EXPECT_EQ(g_beeps, 1) << a;
        EXPECT_EQ(read_file("PAGE0010.BIN"), page) << a;
    }
    EXPECT_EQ(arg_mode({}), 1);
}

TEST_F(Korlw, ArgumentWithoutPageFileKeepsTheText) {
    write_file("PAGE0012.txt", "mine\r\n");
    EXPECT_EQ(arg_mode({"PAGE0012.txt"}), 1);
    EXPECT_EQ(g_beeps, 1);
    EXPECT_EQ(read_file("PAGE0012.txt"), "mine\r\n");
    EXPECT_EQ(arg_mode({"notapage.txt"}), 1);
}

TEST_F(Korlw, TextNameLinkedToThePageFileIsRefused) {
    std::string page = make_page(14);
    ASSERT_EQ(symlink("PAGE0014.BIN", "PAGE0014.txt"), 0);
    EXPECT_EQ(arg_mode({"PAGE0014.txt"}), 1);
    EXPECT_EQ(read_file("PAGE0014.BIN"), page);
}

TEST_F(Korlw, PageFileFoundInAnyCase) {
    std::string page = make_page(15);
    rename("PAGE0015.BIN", "page0015.bin");
    EXPECT_EQ(arg_mode({"PAGE0015.TXT"}), 0);
    EXPECT_EQ(read_file("PAGE0015.TXT"), kPageText);
}

// ---- exit ------------------------------------------------------------------------------

TEST_F(Korlw, CleanExitWritesNoLeakReport) {
    make_page(3);
    EXPECT_EQ(korlw_exit(), 0);
    EXPECT_EQ(g_beeps, 0);
    EXPECT_EQ(read_file("debugmsg").find("mem_alloc_cnt"), std::string::npos);
    EXPECT_FALSE(symtab_built());
}

TEST_F(Korlw, ExitReportsAndFreesLeakedBlocks) {
    ASSERT_NE(QOBmalloc(100), nullptr);
    EXPECT_GT(korlw_exit(), 0);
    std::string log = read_file("debugmsg");
    EXPECT_NE(log.find("!! mem_alloc_cnt = 1"), std::string::npos) << log;
    EXPECT_NE(log.find("QOBfree_allmem() freed all memory OK"), std::string::npos);
    EXPECT_EQ(g_beeps, 5);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
}
