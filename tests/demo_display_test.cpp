// vantor on the demo pages, driven through the fake window system: the
// pages compile, the program starts, test data flows, and the frames'
// titles and moving values stand in the shadow screen of the page area.
#include <gtest/gtest.h>

#include <string>

#include "compiler/compile.h"
#include "display/screen.h"
#include "engine/evaluate.h"
#include "engine/input.h"
#include "tests/display_support.h"

static std::string shadow_text() {
    std::string all;
    for (int r = 1; r <= grid.rows; r++) all += std::string(grid_shadow_line(r)) + "\n";
    return all;
}

// The text that follows `label` in the shadow screen, n characters.
static std::string after(const std::string& screen, const std::string& label, int n) {
    size_t at = screen.find(label);
    return at == std::string::npos ? "" : screen.substr(at + label.size(), (size_t)n);
}

static void compile_demo_pages() {
    ASSERT_EQ(InitSymTab(), 0);
    for (int page : {0, 9998, 9999, 10}) {
        char txt[300], bin[32], lst[32];
        snprintf(txt, sizeof txt, "%s/demo/PAGE%04d.TXT", ZYR_SOURCE_DIR, page);
        snprintf(bin, sizeof bin, "PAGE%04d.BIN", page);
        snprintf(lst, sizeof lst, "PAGE%04d.LST", page);
        ASSERT_EQ(compile_page_files(page, txt, bin, lst), COMPILE_OK) << page;
    }
    FreeSymTab();
    compiler_reset();
}

// Every framed port is found at each corner of its frame (unless a later
// frame covers the cell) and not one cell beyond it; a cell off the page finds nothing (the next index), and a
// rectangle over all frames finds the last port.
static void expect_ports_found_at_their_frames() {
    int framed = 0, last = -1, first = -1;
    for (int i = 0; i < pages.next_index; i++) {
        VPortFrame* f = vport_frame(i);
        if (!f) continue;
        framed++;
        if (first < 0) first = i;
        last = i;
        int top = f->bottom - f->height + 1, right = f->left + f->width - 1;
        for (int corner = 0; corner < 4; corner++) {
            int col = corner & 1 ? right : f->left, row = corner & 2 ? f->bottom : top;
            // A later port whose frame covers the cell too is found first.
            int found = vport_find_at(col, row, 1, 1);
            EXPECT_TRUE(found >= i && found < pages.next_index) << i << " corner " << corner << ": " << found;
        }
        EXPECT_NE(vport_find_at(f->left, f->bottom + 1, 1, 1), i) << i;
        EXPECT_NE(vport_find_at(right + 1, f->bottom, 1, 1), i) << i;
    }
    ASSERT_GT(framed, 3);
    EXPECT_EQ(vport_find_at(grid.cols + 5, grid.rows + 5, 1, 1), pages.next_index);
    EXPECT_EQ(vport_find_at(1, 1, grid.cols + 200, grid.rows + 200), last);
    EXPECT_NE(first, last);
}

static void run_ms(int ms) {
    for (int t = 0; t < ms; t += 10) {
        plat_fake_clock_advance(10);
        fake_ui_fire_timer();
    }
}

TEST(DemoDisplay, TitlesAndMovingValuesOnThePage) {
    reset_display();
    evaluate_reset();
    input_reset();
    compile_demo_pages();
    grid_reset();
    fake_canvas_reset();
    port_register();
    page_register_startup_hooks();
    input_register();
    evaluate_register();
    display_register();
    startup.start_page = 10;
    ASSERT_EQ(wnd_create(), 0);
    EXPECT_TRUE(zyr.IoFlags & IO_TEST_DATA);  // page 0 switches test data on
    display_paint();                          // the window is shown
    run_ms(1000);
    std::string first = shadow_text();
    for (const char* title : {"Packet counter", "Packet time", "Temperature A", "Bus voltage", "Sampled sensor"})
        EXPECT_NE(first.find(title), std::string::npos) << title;
    std::string count1 = after(first, "PKTCOUNT", 6);
    EXPECT_GT(zyr.zyrfr_cnt, 10u);
    run_ms(500);
    std::string count2 = after(shadow_text(), "PKTCOUNT", 6);
    EXPECT_NE(count1, count2) << "the packet counter should move";
    EXPECT_GT(fake_canvas_draws(), 100);
    expect_ports_found_at_their_frames();
    zyrwin_destroy(0);
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
    evaluate_reset();
    input_reset();
    reset_display();
    plat_fake_clock_off();
}

// The start page is built once: a parameter recorded by its page text gets
// one recording in its file, not an empty one before it.
TEST(DemoDisplay, TheStartPageIsBuiltOnce) {
    reset_display();
    evaluate_reset();
    input_reset();
    compile_demo_pages();
    write_file("PAGE0011.TXT",
               "[valueport]\n\tmnemonic = \"REC\"\n\ttitle = \"Recorded\"\n\tview = packetheader\n"
               "\tbyteindex = 8\n\tdatatype = \"%5hu\"\n\trow = 4\n\tcolumn = 2\n\tfilename = \"rec11.txt\"\n");
    ASSERT_EQ(InitSymTab(), 0);
    ASSERT_EQ(compile_page_files(11, "PAGE0011.TXT", "PAGE0011.BIN", "PAGE0011.LST"), COMPILE_OK);
    FreeSymTab();
    compiler_reset();
    remove("rec11.txt");
    grid_reset();
    fake_canvas_reset();
    port_register();
    page_register_startup_hooks();
    input_register();
    evaluate_register();
    display_register();
    startup.start_page = 11;
    ASSERT_EQ(wnd_create(), 0);
    display_paint();
    run_ms(500);
    zyrwin_destroy(0);
    std::string rec = read_file("rec11.txt");
    size_t opens = 0;
    for (size_t at = rec.find("Opentime"); at != std::string::npos; at = rec.find("Opentime", at + 1)) opens++;
    EXPECT_EQ(opens, 1u) << rec;
    size_t first_value = rec.find("\n0.");
    ASSERT_NE(first_value, std::string::npos) << rec;
    EXPECT_GT(rec.find("Closetime"), first_value) << "an empty recording before the real one:\n" << rec;
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u);
    evaluate_reset();
    input_reset();
    reset_display();
    plat_fake_clock_off();
}
