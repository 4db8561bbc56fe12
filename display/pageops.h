// Page operations of the Display menu: open, save, save as, append to,
// merge, rename and delete a page, a new page, and copying one parameter
// to another page. Each writes whole page files (the save writes a .TMP
// and renames it) and then has korlw write the page's text file anew.
#pragma once

#include <cstddef>

enum : int {
    CMD_PAGE_OPEN = 102,
    CMD_PAGE_SAVE = 207,
    CMD_PAGE_SAVE_AS = 208,
    CMD_PAGE_APPEND_TO = 209,
    CMD_PAGE_NEW = 210,
    CMD_PAGE_MERGE = 216,
    CMD_PAGE_DELETE = 217,
    CMD_PAGE_RENAME = 218,
};

// The page number a page file name gives ("PAGEnnnn.BIN" in any letter
// case, the extension optional), or -1.
int page_number_of_path(const char* path);

// The page operations by command id; each ends with the page unchanged
// when the operator cancels or a rule refuses.
void page_operation(int id);

// Options > Copy to of the port at index: "Copy '%s' To Page". 0 done, 1
// cancelled or refused.
int page_copy_port_to(int index);

// Connects the Display menu's page items and reports a korlw that cannot
// be started after a page is written.
void pageops_register();
