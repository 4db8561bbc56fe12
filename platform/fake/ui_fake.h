// Test controls of the fake window system: queue the answers of the next
// message boxes, read back what was shown, drive the timer by hand.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui.h"

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
const std::string& fake_ui_title();   // the window title the program last set

// ---- menus -------------------------------------------------------------------
struct FakeMenuItem {
    std::string menu;        // path
    std::string text;        // "" for a separator
    int command;
    bool checked;
    bool enabled;
};
// The menu as the program built it and changed it at run time.
const std::vector<FakeMenuItem>& fake_ui_menu();
const FakeMenuItem* fake_ui_menu_item(int command);   // null when absent
// Builds the fake menu from the program's table, as the window would.
void fake_ui_build_menu(const PlatMenuItem* items, int count);

// ---- file dialogs --------------------------------------------------------------
struct FakeFileDialog {
    std::string title, filter, default_ext, proposed;
    int filter_index;
    unsigned flags;
};
// Queues the answer of the next file dialog: a path, or "" for Cancel.
// Unanswered dialogs are cancelled.
void fake_ui_file_answer(const std::string& path);
const std::vector<FakeFileDialog>& fake_ui_file_dialogs();

// ---- dialog forms --------------------------------------------------------------
// What the script of one press sees: the form, its title and values. The
// helpers find a control by its label ("&On" or "On").
struct FakeDialog {
    const DlgForm* form;
    std::string title;
    void* values;
    const DlgControl* control(const std::string& label) const;   // null when none
    void set_edit(const std::string& label, const std::string& text) const;
    void set_check(const std::string& label, bool on) const;
    void choose(const std::string& radio_label) const;
    void select(const std::string& list_label, int index) const;
    void type(const std::string& combo_label, const std::string& text) const;
    std::string text_of(uint32_t field) const;   // a char field's text
};
// One answer: changes the values as an operator changes the controls and
// returns the button pressed (IDOK, IDCANCEL or a button's id).
using FakeDialogAnswer = std::function<int(const FakeDialog&)>;
void fake_ui_dialog_answer(FakeDialogAnswer answer);
// Common answers: press a button; set one edit field and press OK.
void fake_ui_dialog_press(int id);
void fake_ui_dialog_edit(const std::string& label, const std::string& text);
// Pending answers not yet used.
int fake_ui_dialog_answers_left();

struct FakeShownDialog {
    std::string title;
    std::vector<std::string> texts;   // the static texts and edit fields, in table order, at each press
    std::vector<std::string> errors;  // error lines shown, "Label: text"
};
const std::vector<FakeShownDialog>& fake_ui_dialogs();

// ---- desktop, descriptors ------------------------------------------------------
const std::vector<std::string>& fake_ui_opened_documents();
unsigned fake_ui_fd_watched(int fd);              // events watched, 0 none
void fake_ui_fd_ready(int fd, unsigned ready);    // the platform reports readiness
