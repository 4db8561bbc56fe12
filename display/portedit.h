// Editing the displayed page in place: the double-click on the page, the
// options of a parameter (alarm, record, settings, copy to, delete), new
// parameters from the templates of page 9998 or from another page, and the
// settings dialogs of a port, its plot, calibration and bit operation. Every
// dialog is a DlgForm table; the rules are the checks of editchecks.
#pragma once

#include <cstddef>
#include <cstdint>
#include "platform/ui.h"

struct PortRecord;
struct ZyrPort;

// Buttons of the options dialog (IDD_PARAMETER) and of New Parameter.
enum : int {
    BTN_ALARM = 1001,
    BTN_RECORD = 1002,
    BTN_SETTINGS = 1003,
    BTN_COPY_TO = 1004,
    BTN_DELETE = 1005,
    BTN_NEW = 1011,
    BTN_COPY_FROM = 1012,
    BTN_ON = 1021,
    BTN_OFF = 1022,
    BTN_PLOT = 1031,
    BTN_FUNCTION = 1032,
    BTN_SUBCOM = 1033,
    BTN_XVALUE = 1034,
    BTN_HELP = 1099,     // the help file, the dialog staying open
};

// What the page operations give the editing (null: not available).
struct PortEditHooks {
    // Copy to: the port (with its plot partner) onto another page.
    void (*copy_to_page)(int index);
    // The page file chosen in the page dialog under the title: 1 with its
    // path and page number, 0 when none was chosen.
    int (*choose_page)(const char* title, char* path, int cap, int* page);
    // The page's files are deleted (its last parameter went).
    void (*delete_page_files)(int page);
};
extern PortEditHooks portedit_hooks;

// A double-click at a cell of the grid.
void page_double_click(int col, int row);
// The page area's mouse: a double-click in pixels becomes a cell.
void portedit_mouse(int kind, int x, int y);

// The options dialog of the port at index.
void parameter_options(int index);
// Options > Parameter...: a mnemonic of the page picked, then its options.
void parameter_command(int id);

// The actions of the options dialog; each returns 0 when it did something.
int parameter_delete(int index);
int parameter_settings(int index);
int parameter_alarm(int index);
int parameter_record(int index);

// New parameter at a cell: the template or model chosen, placed with its
// origin at (row, col), then its settings; -1 when refused or cancelled,
// else the index of the new port.
int parameter_new(int col, int row);
// Copy from another page's file to the cell.
int parameter_copy_from(int col, int row);

// The Save As dialog of a parameter or alarm record file, proposing the
// name made from the mnemonic; 1 with the path, 0 when none (or the file
// is open in ZYR already: the box said so).
int record_file_dialog(const char* title, const char* mnemonic, char* path, size_t cap);

// The named ports of a slot that keep accepts (all with null), in table
// order, for the lists that pick one: their mnemonics and indexes.
// A list is a fixed record on the caller's stack, so that picking a port
// takes nothing from the heap.
struct NameList {
    const char* names[DLG_LIST_MAX];
    int index[DLG_LIST_MAX];   // table index, -1 for a name that is no port
    int count;
};
// Appends the named ports of a slot to list; the count reached.
int slot_mnemonics(int slot, bool (*keep)(const ZyrPort*), NameList* list);

// Reads the port named mnemonic (and the X port before it, for a plot)
// from a page file. 0; -1 no such port or file.
int read_port_from_file(const char* path, const char* mnemonic, PortRecord* y, PortRecord* x, bool* has_x);

// Installs the double-click, the Parameter... command and the hooks.
void portedit_register();
void portedit_reset();
