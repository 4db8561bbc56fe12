// Fake window system for unit tests: boxes answer from a queue and are
// recorded, quitting and the timer are plain state the test reads and drives.
#include "platform/fake/ui_fake.h"

#include <deque>

#include "platform/ui.h"

static std::deque<int> g_answers;
static std::vector<FakeBox> g_boxes;
static int g_beeps;
static bool g_quit;
static int g_quit_code;
static TickFn g_tick;
static int g_period;
static bool g_fail_timer;
static int g_nonblocking_open;

void fake_ui_reset() {
    g_answers.clear();
    g_boxes.clear();
    g_beeps = 0;
    g_quit = false;
    g_quit_code = 0;
    g_tick = nullptr;
    g_period = 0;
    g_fail_timer = false;
    g_nonblocking_open = 0;
}

void fake_ui_answer(int answer) { g_answers.push_back(answer); }
const std::vector<FakeBox>& fake_ui_boxes() { return g_boxes; }
int fake_ui_beeps() { return g_beeps; }
bool fake_ui_quit_posted() { return g_quit; }
int fake_ui_quit_code() { return g_quit_code; }
bool fake_ui_timer_running() { return g_tick != nullptr; }
int fake_ui_timer_period() { return g_period; }
void fake_ui_fail_timer(bool fail) { g_fail_timer = fail; }
void fake_ui_close_nonblocking() { g_nonblocking_open = 0; }

void fake_ui_fire_timer() {
    if (g_tick) g_tick();
}

int plat_message_box(const char* text, const char* caption, unsigned flags) {
    plat_beep();
    g_boxes.push_back({text, caption, flags, false});
    if (g_answers.empty()) return IDOK;
    int a = g_answers.front();
    g_answers.pop_front();
    return a;
}

int plat_nonblocking_box(const char* text, const char* caption) {
    if (g_nonblocking_open) return -1;
    g_nonblocking_open = 1;
    g_boxes.push_back({text, caption, MB_OK | MB_ICONEXCLAMATION, true});
    return 0;
}

int plat_nonblocking_open() { return g_nonblocking_open; }
void plat_beep() { g_beeps++; }

void plat_post_quit(int code) {
    if (g_quit) return;
    g_quit = true;
    g_quit_code = code;
}

int plat_start_timer(int period_ms, TickFn fn) {
    if (g_fail_timer) return -1;
    g_period = period_ms;
    g_tick = fn;
    return 0;
}

void plat_stop_timer() { g_tick = nullptr; }

static FakeScroll g_scroll[2];
void plat_set_scroll(int bar, int first, int last, int page, int pos) {
    if (bar == 0 || bar == 1) g_scroll[bar] = FakeScroll{first, last, page, pos};
}
FakeScroll fake_ui_scroll(int bar) { return g_scroll[bar == 1 ? 1 : 0]; }
static FakePlacement g_placement;
void plat_place_window(int x, int y, int w, int h) { g_placement = FakePlacement{x, y, w, h}; }
FakePlacement fake_ui_placement() { return g_placement; }
