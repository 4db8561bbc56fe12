// Test controls of the fake window system: queue the answers of the next
// message boxes, read back what was shown, drive the timer by hand.
#pragma once

#include <string>
#include <vector>

struct FakeBox {
    std::string text;
    std::string caption;
    unsigned flags;
    bool nonblocking;
};

void fake_ui_reset();
void fake_ui_answer(int answer);                  // queued; unanswered boxes give IDOK
const std::vector<FakeBox>& fake_ui_boxes();
int fake_ui_beeps();
bool fake_ui_quit_posted();
int fake_ui_quit_code();
bool fake_ui_timer_running();
int fake_ui_timer_period();
struct FakePlacement {
    int x, y, w, h;                               // pixels
};
FakePlacement fake_ui_placement();                // the last plat_place_window
void fake_ui_fire_timer();                        // one timer tick
void fake_ui_close_nonblocking();                 // the operator closes the box
void fake_ui_fail_timer(bool fail);

struct FakeScroll {
    int first, last, page, pos;
};
FakeScroll fake_ui_scroll(int bar);   // the range the program last set
