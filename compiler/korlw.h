// korlw, the windowed page compiler, without its window: the page choice
// and its name rules, the Compile and Reverse Engineer commands with their
// messages, the About and Quit questions, start and exit, and the argument
// mode that vantor uses to regenerate a page's text after a save. The Qt
// window (platform/qt/korlw_window) fills the hooks; tests fill them too.
#pragma once

#include <cstddef>

// Commands of the menu and the accelerators.
enum : int {
    KORLW_ABOUT = 100,
    KORLW_COMPILE = 102,     // "Compile Display Page"
    KORLW_HELP = 170,        // F1: no action
    KORLW_ESCAPE = 174,      // Escape: no action
    KORLW_REVERSE = 185,     // "Reverse Engineer Page"
    KORLW_EXIT = 500,
};

// The window and its boxes. Every member may be null: messages then go to
// standard output, beeps to the console, questions are answered No and no
// file is chosen.
struct KorlwUi {
    // One line (or several, separated by "\n") of the message window, at
    // level 0 plain, 1 warning, 4 error.
    void (*show)(int level, const char* text);
    void (*beep)();
    // A message box (MB_* flags of platform/ui.h); the button pressed.
    int (*message_box)(const char* text, const char* caption, unsigned flags);
    // The open-file dialog: title, filter list ("Name|PATTERN|"), default
    // extension. 1 with the chosen path in path, 0 when cancelled.
    int (*choose_file)(const char* title, const char* filter, const char* defext, char* path, size_t cap);
    void (*about)();          // the About box
    int (*quit_box)();        // the Quit box: IDYES or IDNO
    void (*busy)(bool on);    // the hourglass while a command works
    void (*quit)(int code);   // ends the message loop
};
extern KorlwUi korlw_ui;

// The page file name descriptor: the page number (-1 until a choice
// passed the rules) and the chosen path in parts; path is rebuilt from the
// parts with the name normalised to "page%04d".
constexpr int KORLW_PATH = 261;
constexpr int KORLW_PART = 257;
struct KorlwPageName {
    int page;
    char path[KORLW_PATH];
    char drive[KORLW_PART];   // always empty on this platform
    char dir[KORLW_PART];     // up to the last '/', without it; "" for none
    char name[KORLW_PART];
    char ext[KORLW_PART];     // with its dot; "" for none
};
extern KorlwPageName korlw_name;

// Splits path into the descriptor and applies the page rules: extension
// empty, ".bin" or ".txt" (any case); a name "page" and the number, or
// of 1-5 characters the number itself; the number in the shared
// whole-number notation, 0 to 9999. 0 with korlw_name filled, or -1 after
// "Invalid Page number %s" at error level and a beep.
int korlw_page_from_path(const char* path);

// The commands. Each returns 0 when it did its work, 1 when the operator
// cancelled or refused, -1 on a failure it has reported.
int korlw_command(int id);
// Compile the page text of page into PAGEnnnn.BIN in the current directory.
int korlw_compile(int page);
// Write the text of page's page file to PAGEnnnn.TXT, asking before an
// existing text is overwritten.
int korlw_reverse(int page);

// Window creation: the symbol table. 0, or -1 (the program ends).
int korlw_start();
// The window's close request and the Exit command: the Quit box.
void korlw_close();
// Exit: frees the symbol table, closes every file and reports memory still
// allocated ("!! mem_alloc_cnt = %d" and the free result on the debug log,
// five beeps). Returns the number of blocks that were still allocated.
int korlw_exit();

// The argument mode: the arguments (program name excluded) joined with
// single blanks name a page text file ending in ".txt"; its text is
// written from the page file beside it. Needs no window. The exit code: 0
// written, 1 refused or failed (after a beep).
int korlw_argument_mode(int argc, const char* const* argv);

// Back to the start state (no hooks, no page chosen).
void korlw_reset();
