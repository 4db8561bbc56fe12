// The window-system seam: message boxes, the non-blocking box of the timer
// path, quitting, beeps, the main window's timer and title. Two
// implementations chosen at link time: Qt (platform/qt) and fake (tests).
#pragma once

#include <cstdint>

// Message box flags (the original's MB_ values) and answers.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum { IDOK = 1, IDCANCEL = 2, IDRETRY = 4, IDYES = 6, IDNO = 7 };

// A modal box (after a beep); returns the button pressed. The caller's
// cycle keeps ticking behind it but never re-enters a tick.
int plat_message_box(const char* text, const char* caption, unsigned flags);

// The box of the timer path: shown without blocking the caller, exclamation
// icon, OK. Returns 0, or -1 when one is already open.
int plat_nonblocking_box(const char* text, const char* caption);
// Number of non-blocking boxes open now (0 or 1).
int plat_nonblocking_open();

// One beep.
void plat_beep();

// Ends the message loop; the loop returns code.
void plat_post_quit(int code);

// The cycle procedure the window timer calls every period.
using TickFn = void (*)();
// Starts the window timer; 0, or -1 when it cannot be started.
int plat_start_timer(int period_ms, TickFn fn);
void plat_stop_timer();


// The main window. Menus and accelerators come from the caller's tables;
// every menu item and accelerator calls command(id).
struct PlatMenuItem {
    const char* menu;        // top-level menu text, e.g. "&File"
    const char* text;        // item text; null for a separator
    int command;
};
struct PlatAccel {
    const char* keys;        // key sequence text, e.g. "Ctrl+F", "+", "Return"
    int command;
};
struct WindowProcs {
    const char* title;
    int (*create)();         // 0, or the quit code already posted
    void (*paint)();
    void (*close)();         // the window's close request
    void (*command)(int id);
    int (*destroy)(int code);
    void (*sized)(int w, int h, int kind);   // page area in pixels; SIZE_*
    void (*moved)(int x, int y);             // window position in pixels
    void (*scrolled)(int bar, int pos);      // SCROLL_*, first visible row or column
    const PlatMenuItem* menu;
    int menu_count;
    const PlatAccel* accels;
    int accel_count;
};

enum { SIZE_RESTORED = 0, SIZE_MAXIMISED = 1, SIZE_MINIMISED = 2 };
enum { SCROLL_HORIZONTAL = 0, SCROLL_VERTICAL = 1 };

// The main window's scroll bars: range first..last, a page of `page`, at pos.
void plat_set_scroll(int bar, int first, int last, int page, int pos);
// Sizes the main window so the page area is w x h pixels, at x, y.
void plat_place_window(int x, int y, int w, int h);

// Creates the application and the main window, runs the message loop until
// the quit message and returns its code after procs->destroy ran.
int plat_run_main_window(int argc, char** argv, const WindowProcs* procs);
