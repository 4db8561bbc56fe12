#include "display/print.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <unistd.h>

#include "display/screen.h"
#include "platform/fake/print_fake.h"
#include "tests/display_support.h"
#include "tests/menu_support.h"

static std::string read_all(const char* path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

static std::string cwd_file(const char* name) {
    char dir[256];
    return std::string(getcwd(dir, sizeof dir) ? dir : ".") + "/" + name;
}

class Print : public ::testing::Test {
protected:
    void SetUp() override {
        reset_menus();
        reset_display();
        fake_print_reset();
        print_reset();
        ASSERT_EQ(display_create(), 0);
        pages.slot[SLOT_DISPLAY].page = 12;
    }
    void TearDown() override {
        EXPECT_EQ(fake_print_captures_open(), 0);
        display_release();
        reset_display();
        end_menus();
        for (const char* f : {"pr_text.txt", "pr_pic.bmp", "pr_rec.dat"}) remove(f);
    }
};

// The operator's choices in the print dialog.
static void answer_print(const char* type, const char* scale, bool to_file, bool visible) {
    fake_ui_dialog_answer([=](const FakeDialog& d) {
        d.choose(type);
        d.set_edit("% &Scale factor", scale);
        d.set_check("Print to F&ile", to_file);
        d.set_check("&Visible region only", visible);
        return IDOK;
    });
}

TEST(PrintRules, ScaleEntries) {
    struct Case {
        const char* entry;
        double scale;
    } cases[] = {
        {"150", 1.0}, {"-5", 1.0}, {"abc", 1.0}, {"", 1.0},      {"50", 0.5},    {"100", 1.0},
        {"0", 0.0},   {" 75.00", 0.75}, {"100.01", 1.0}, {"12x", 1.0}, {"25 ", 0.25}, {"nan", 1.0},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(print_scale_of(c.entry), c.scale) << c.entry;
}

TEST(PrintRules, FileNamesOfThePage) {
    char name[32];
    print_file_name(12, true, name, sizeof name);
    EXPECT_STREQ(name, "SCRN0012.TXT");
    print_file_name(12, false, name, sizeof name);
    EXPECT_STREQ(name, "SCRN0012.BMP");
    print_file_name(9998, true, name, sizeof name);
    EXPECT_STREQ(name, "SCRN9998.TXT");
}

TEST(PrintRules, ImagePlacedOnThePage) {
    struct Case {
        int pw, ph, iw, ih;
        double scale;
        PrintPlace at;
    } cases[] = {
        {2000, 3000, 1000, 500, 1.0, {100, 50, 1800, 900}},   // width fits first
        {2000, 1000, 1000, 1000, 1.0, {50, 50, 900, 900}},    // height fits first
        {2000, 3000, 1000, 500, 0.5, {50, 25, 900, 450}},     // half the fitted size
        {2000, 3000, 1000, 500, 1.5, {100, 50, 1800, 900}},   // above 1.0 counts as 1.0
        {2000, 3000, 0, 500, 1.0, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        PrintPlace p = print_image_place(c.pw, c.ph, c.iw, c.ih, c.scale);
        EXPECT_EQ(p.x, c.at.x);
        EXPECT_EQ(p.y, c.at.y);
        EXPECT_EQ(p.w, c.at.w);
        EXPECT_EQ(p.h, c.at.h);
    }
}

TEST(PrintRules, BitmapLayoutByteForByte) {
    // 2 x 2 pixels: rows of 6 bytes padded to 8, the bottom row first, BGR.
    uint8_t rgb[] = {1, 2, 3, 4, 5, 6, /* bottom: */ 7, 8, 9, 10, 11, 12};
    PlatImage img{2, 2, rgb};
    ASSERT_EQ(bmp_size(&img), 14u + 40u + 16u);
    uint8_t out[70];
    bmp_encode(&img, out);
    const uint8_t header[54] = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                                40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0,
                                0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 54; i++) EXPECT_EQ(out[i], header[i]) << "byte " << i;
    const uint8_t pixels[16] = {9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0};
    for (int i = 0; i < 16; i++) EXPECT_EQ(out[54 + i], pixels[i]) << "pixel byte " << i;
}

TEST_F(Print, TextFileHasBlanksForFrameCharactersAndCoversThePage) {
    text_out(1, 1, 0, 15, "\xDA\xC4\xC4\xBF Temp \xB3");
    text_out(grid.rows, 3, 0, 15, "last");
    grid_scroll_to(1, 1);
    PrintRegion whole = print_region(false);
    EXPECT_EQ(whole.rows, grid.rows);
    EXPECT_EQ(whole.cols, grid.cols);
    ASSERT_EQ(print_text_file("pr_text.txt", whole), 0);
    std::string text = read_all("pr_text.txt");
    std::string first = std::string("     Temp  ") + std::string((size_t)grid.cols - 11, ' ') + "\r\n";
    EXPECT_EQ(text.substr(0, first.size()), first);
    EXPECT_EQ(text.size(), ((size_t)grid.cols + 2) * (size_t)grid.rows);
    std::string last = std::string("  last") + std::string((size_t)grid.cols - 6, ' ') + "\r\n";
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
    // A window smaller than the page: the visible region only.
    display_sized(20 * FAKE_CELL_W, 5 * FAKE_CELL_H, SIZE_RESTORED);
    grid_scroll_to(1, 6);
    PrintRegion vis = print_region(true);
    ASSERT_EQ(print_text_file("pr_text.txt", vis), 0);
    text = read_all("pr_text.txt");
    EXPECT_EQ(text.size(), (size_t)(vis.cols + 2) * (size_t)vis.rows);
    EXPECT_EQ(text.substr(0, 8), "Temp    ");
}

TEST_F(Print, TextAndGraphicsToFilesFromTheDialog) {
    text_out(2, 1, 0, 15, "VBUS 26.98");
    answer_print("&Text", "100", true, false);
    fake_ui_file_answer(cwd_file("pr_text.txt"));
    print_command(CMD_PRINT);
    const FakeFileDialog& d = fake_ui_file_dialogs().back();
    EXPECT_EQ(d.title, "Print Text to File");
    EXPECT_EQ(d.proposed, "SCRN0012.TXT");
    EXPECT_EQ(d.flags, (unsigned)(FD_SAVE | FD_PATH_MUST_EXIST));
    EXPECT_EQ(read_all("pr_text.txt").substr((size_t)grid.cols + 2, 10), "VBUS 26.98");
    EXPECT_EQ(print_state.options, PRINT_OPT_TEXT | PRINT_OPT_FILE);

    fake_print_set_capture(3, 2);
    answer_print("&Graphics", "50", true, false);
    fake_ui_file_answer(cwd_file("pr_pic.bmp"));
    print_command(CMD_PRINT);
    EXPECT_EQ(fake_ui_file_dialogs().back().title, "Print Graphics to Bitmap File");
    EXPECT_EQ(fake_ui_file_dialogs().back().proposed, "SCRN0012.BMP");
    std::string bmp = read_all("pr_pic.bmp");
    ASSERT_EQ(bmp.size(), 14u + 40u + 2u * 12u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    // Bottom row first: pixel (0, 1) is (0, 1, 1), stored blue first.
    EXPECT_EQ((uint8_t)bmp[54], 1);
    EXPECT_EQ((uint8_t)bmp[55], 1);
    EXPECT_EQ((uint8_t)bmp[56], 0);
    EXPECT_DOUBLE_EQ(print_state.scale, 0.5);
}

TEST_F(Print, TheDialogShowsTheOptionsKept) {
    print_state.options = PRINT_OPT_TEXT | PRINT_OPT_VISIBLE;
    print_state.scale = 0.5;
    static std::string scale_shown;
    static int text, to_file, visible;
    fake_ui_dialog_answer([](const FakeDialog& d) {
        scale_shown = d.text_of(d.control("% &Scale factor")->field);
        auto* v = (const uint8_t*)d.values;
        text = *(const int32_t*)(v + d.control("&Text")->field);
        to_file = *(const int32_t*)(v + d.control("Print to F&ile")->field);
        visible = *(const int32_t*)(v + d.control("&Visible region only")->field);
        return IDCANCEL;
    });
    print_command(CMD_PRINT);
    EXPECT_EQ(fake_ui_dialogs().back().title, "Print");
    EXPECT_EQ(scale_shown, " 50.00");
    EXPECT_EQ(text, 1);
    EXPECT_EQ(to_file, 0);
    EXPECT_EQ(visible, 1);
    // Cancel keeps the options and prints nothing.
    EXPECT_EQ(print_state.options, PRINT_OPT_TEXT | PRINT_OPT_VISIBLE);
    EXPECT_TRUE(fake_printed().empty());
    EXPECT_TRUE(fake_ui_file_dialogs().empty());
}

TEST_F(Print, ToThePrinter) {
    text_out(1, 1, 0, 15, "A\xC4" "B");
    answer_print("&Text", "100", false, true);
    fake_print_answer(PRINT_OK, 2000, 3000, 40);
    print_command(CMD_PRINT);
    ASSERT_EQ(fake_printed().size(), 1u);
    const FakePrinted& t = fake_printed()[0];
    EXPECT_EQ(t.document, "ZYR Print Screen");
    ASSERT_EQ((int)t.texts.size(), grid.vis_rows);
    EXPECT_EQ(t.texts[0].substr(0, 3), "A B");
    EXPECT_EQ(t.text_y[1], 40);
    EXPECT_TRUE(t.ended);

    fake_print_set_capture(1000, 500);
    answer_print("&Graphics", "50", false, false);
    print_command(CMD_PRINT);
    const FakePrinted& g = fake_printed().back();
    EXPECT_EQ(g.image_src_w, 1000);
    EXPECT_EQ(g.image_x, 50);
    EXPECT_EQ(g.image_w, 900);
    EXPECT_EQ(g.image_h, 450);
}

TEST_F(Print, FailuresEndTheCommandQuietly) {
    struct Case {
        const char* what;
        int capture_w;       // the capture's size (0 empty, -1 none)
        int begin, image, end;
        const char* logged;  // null: nothing logged
        bool dialog;
    } cases[] = {
        {"no image", -1, PRINT_OK, PRINT_OK, PRINT_OK, "CreateCompatibleDC() failed", false},
        {"empty area", 0, PRINT_OK, PRINT_OK, PRINT_OK, nullptr, false},
        {"printer cancelled", 10, PRINT_CANCELLED, PRINT_OK, PRINT_OK, nullptr, true},
        {"start", 10, PRINT_START_DOC, PRINT_OK, PRINT_OK, "StartDoc() failed", true},
        {"raster", 10, PRINT_OK, PRINT_NO_RASTER, PRINT_OK, "Printer cannot support raster ops", true},
        {"scaled", 10, PRINT_OK, -7, PRINT_OK, "Cannot Print - ZYRPrintGraphicsLL() FAIL -7", true},
        {"end doc", 10, PRINT_OK, PRINT_OK, PRINT_END_DOC, "EndDoc() failed", true},
    };
    for (const Case& c : cases) {
        fake_ui_reset();
        fake_print_reset();
        fake_print_set_capture(c.capture_w, c.capture_w);
        fake_print_answer(c.begin);
        fake_print_fail_image(c.image);
        fake_print_fail_end(c.end);
        answer_print("&Graphics", "50", false, false);
        print_command(CMD_PRINT);
        EXPECT_EQ(fake_ui_dialogs().size(), c.dialog ? 1u : 0u) << c.what;
        EXPECT_TRUE(fake_ui_boxes().empty()) << c.what;
        if (c.logged) {
            EXPECT_NE(read_file("debugmsg").find(c.logged), std::string::npos) << c.what;
        }
        EXPECT_EQ(fake_print_captures_open(), 0) << c.what;
    }
}

TEST_F(Print, AFileInUseIsRefused) {
    ASSERT_EQ(record_open(PB_RAW, cwd_file("pr_rec.dat").c_str(), "w"), 0);
    answer_print("&Graphics", "100", true, false);
    fake_ui_file_answer(cwd_file("pr_rec.dat"));
    print_command(CMD_PRINT);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Print Screen");
    EXPECT_EQ(fake_ui_boxes()[0].text, "Cannot open the file as\nit is already in use by ZYR");
    EXPECT_TRUE(zyr.IoFlags & IO_RAW_RECORD);  // the recording goes on
    record_close(PB_RAW);
    EXPECT_EQ(read_all("pr_rec.dat").size(), 0u);

    // A directory that cannot be written says so and loses nothing.
    answer_print("&Text", "100", true, false);
    fake_ui_file_answer("/nonexistent-dir/SCRN0012.TXT");
    print_command(CMD_PRINT);
    ASSERT_EQ(fake_ui_boxes().size(), 2u);
    EXPECT_EQ(fake_ui_boxes()[1].caption, "!! ERROR !!");
}
