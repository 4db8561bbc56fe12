// The window-system seam: message boxes, the non-blocking box of the timer
// path, quitting, beeps, the main window's timer and title. Two
// implementations chosen at link time: Qt (platform/qt) and fake (tests).
#pragma once

#include <cstddef>
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
enum : unsigned {
    MI_GREY = 0x1,           // the item starts greyed
    MI_RIGHT = 0x2,          // a top-level menu kept at the right end of the bar
};
struct PlatMenuItem {
    const char* menu;        // menu path, levels joined by '>': "&File>&Replay"
    const char* text;        // item text ("\t" then the key shown); null: a separator
    int command;
    unsigned flags;          // MI_*
};
struct PlatAccel {
    const char* keys;        // key sequence text, e.g. "Ctrl+F", "+", "Return"
    int command;
};

// Mouse events of the page area, in pixels of the page area.
enum { MOUSE_PRESS = 0, MOUSE_MOVE = 1, MOUSE_RELEASE = 2, MOUSE_DOUBLE = 3 };
// Keys of the page area that no accelerator takes.
enum { KEY_HOME = 1, KEY_END = 2, KEY_LEFT = 3, KEY_RIGHT = 4, KEY_UP = 5, KEY_DOWN = 6 };

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
    void (*menu_refresh)();                  // a menu of the bar is about to open
    void (*mouse)(int kind, int x, int y);   // MOUSE_*
    void (*key)(int key, bool down, bool repeat);  // KEY_*
    const PlatMenuItem* menu;
    int menu_count;
    const PlatAccel* accels;
    int accel_count;
};

// Menu items by command: check mark, greying, and items added at the end of
// a menu at run time (text null: a separator, removable by its number) and
// removed again. Commands that no item carries are ignored.
void plat_menu_check(int command, bool on);
void plat_menu_enable(int command, bool on);
void plat_menu_add(const char* menu, const char* text, int command);
void plat_menu_remove(int command);
bool plat_menu_has(int command);

enum { SIZE_RESTORED = 0, SIZE_MAXIMISED = 1, SIZE_MINIMISED = 2 };
enum { SCROLL_HORIZONTAL = 0, SCROLL_VERTICAL = 1 };

// The main window's scroll bars: range first..last, a page of `page`, at pos.
void plat_set_scroll(int bar, int first, int last, int page, int pos);
// The main window's title.
void plat_set_title(const char* title);
// Sizes the main window so the page area is w x h pixels, at x, y.
void plat_place_window(int x, int y, int w, int h);

// Creates the application and the main window, runs the message loop until
// the quit message and returns its code after procs->destroy ran.
int plat_run_main_window(int argc, char** argv, const WindowProcs* procs);

// ---- file dialogs ----------------------------------------------------------

enum : unsigned {
    FD_SAVE = 0x1,               // a Save As dialog (else Open)
    FD_MUST_EXIST = 0x2,         // the file must exist
    FD_PATH_MUST_EXIST = 0x4,    // its directory must exist
    FD_OVERWRITE_PROMPT = 0x8,   // asks before an existing file is replaced
};
struct PlatFileDialog {
    const char* title;
    // Pairs of description and patterns, each followed by the separator that
    // is the string's last character: "Raw Files(*.DAT)|*.dat|".
    const char* filter;
    int filter_index;            // 1-based pair shown first
    const char* default_ext;     // added to a name typed without one; may be null
    const char* proposed;        // file name proposed; may be null
    unsigned flags;              // FD_*
};
// 1 with the chosen path in path, 0 when the operator cancelled (or the
// path does not fit in cap).
int plat_file_dialog(const PlatFileDialog* d, char* path, size_t cap);

// ---- dialog forms ------------------------------------------------------------

// A dialog is a table of controls bound to the fields of a values record
// (by offset). The platform builds it, fills the controls from the record,
// and on each button press copies the controls back and calls the form's
// button procedure, which decides whether the dialog closes.
enum : uint8_t {
    DLG_TEXT = 1,      // static text from a char field (flags DLG_CAPTION: text itself)
    DLG_EDIT = 2,      // label and edit field of a char field of limit + 1 bytes
    DLG_CHECK = 3,     // check box of an int32_t field (0 or 1)
    DLG_RADIO = 4,     // radio button: sets the int32_t field to value; adjacent
                       // radios of the same field form one group
    DLG_LIST = 5,      // label and drop-down list of a DlgList field
    DLG_COMBO = 6,     // label and editable list of a DlgList field (text typed kept)
    DLG_BUTTON = 7,    // push button; value is its id
    DLG_GROUP = 8,     // starts a titled group (label); a group of no label ends it
};
enum : uint16_t {
    DLG_DEFAULT = 0x1,     // the button Return presses
    DLG_CAPTION = 0x2,     // DLG_TEXT: the label is the text
    DLG_SAME_ROW = 0x4,    // placed beside the control before it
    DLG_READONLY = 0x8,
    DLG_NAMES_FIELD = 0x10,  // a caption or group whose text names its field in error boxes
};
enum : int { DLG_CLOSE = 0, DLG_STAY = 1 };

constexpr int DLG_LIST_MAX = 1100;   // items of a list
constexpr int DLG_LIST_TEXT = 80;

struct DlgList {
    const char* const* items;    // count texts
    int32_t count;
    int32_t selected;            // index, -1 none
    char text[DLG_LIST_TEXT + 1];  // DLG_COMBO: the text shown or typed
};

struct DlgControl {
    uint8_t kind;         // DLG_*
    const char* label;    // label or button text with its '&' mnemonic
    uint32_t field;       // offset of the bound field in the values record
    int32_t value;        // edit: length limit; radio: the value it sets; button: its id
    uint16_t flags;       // DLG_*
};

// One error of a field: the field's offset and its text. The platform shows
// all errors of a check together in one box, each after its field's label.
constexpr int DLG_ERRORS_MAX = 24;
struct DlgErrors {
    int count;
    uint32_t field[DLG_ERRORS_MAX];
    char text[DLG_ERRORS_MAX][160];   // room for the longest rule text
};
void dlg_error(DlgErrors* e, uint32_t field, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

struct DlgForm {
    const DlgControl* controls;
    int count;
    // A button was pressed (IDOK, IDCANCEL or a DLG_BUTTON's id) with the
    // controls copied into values. DLG_CLOSE ends the dialog with that id;
    // DLG_STAY keeps it open and fills the controls again from values (the
    // procedure may have changed them). Errors it lists are shown first.
    // Null: every button closes.
    int (*button)(void* values, int id, DlgErrors* errors);
};

// Shows the dialog modally over the main window (the cycle keeps ticking);
// returns the id it closed with (IDCANCEL when the operator closed it).
int plat_dialog(const DlgForm* form, const char* title, void* values);

// The text shown for a field in the error box: its control's label without
// the mnemonic mark ("&Lower Limit" -> "Lower Limit").
void dlg_field_label(const DlgForm* form, uint32_t field, char* out, size_t cap);

// ---- the desktop ---------------------------------------------------------------

// Opens a file with the desktop's viewer: 0, -1 when the file does not
// exist, -2 when no viewer could be started.
int plat_open_document(const char* path);

// The busy cursor over the main window while long work runs.
void plat_busy(bool on);

// ---- descriptors -------------------------------------------------------------

// Readiness of a descriptor, delivered on the window thread.
enum : unsigned { FDW_READ = 0x1, FDW_WRITE = 0x2, FDW_EXCEPT = 0x4 };
using FdHandler = void (*)(int fd, unsigned ready);
// Watches fd for the events (replacing an earlier watch of fd); 0, or -1.
int plat_watch_fd(int fd, unsigned events, FdHandler handler);
void plat_unwatch_fd(int fd);
