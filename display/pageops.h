// The page operations of the Display menu and of the parameter options:
// Open, Save, Save as, Append to, Copy to, Merge, Rename, Delete and New
// page, with the protections of pages 0, 9998 and 9999. A page is written
// by the page save (a temporary file renamed over the old one, so a failed
// write leaves the old page intact) and korlw then writes its text file.
#pragma once

#include <cstddef>

// The operations; their names index the rule table.
enum PageOp : int {
    POP_OPEN = 0,
    POP_SAVE,
    POP_SAVE_AS,
    POP_APPEND,
    POP_COPY_TO,
    POP_MERGE,
    POP_RENAME,
    POP_DELETE,
    POP_NEW,
    POP_COUNT,
};

// Command number of the New page operation (no menu item carries it).
constexpr int CMD_NEW_PAGE = 210;

// The page number of a page file name ("PAGEnnnn.BIN" in any letter case,
// with or without a directory): 0..9999, or -1.
int page_number_of(const char* path);

// The refusal of an operation on a target page, before anything is done:
// null when it may go on, else the box text (title in *caption). The
// existence of the target is told by exists.
const char* page_op_refusal(PageOp op, int current, int target, bool exists, const char** caption);

// Runs an operation; 0 when it was done, else non-zero (refused, cancelled
// or failed; a box said why). Copy to takes the port index.
int page_operation(PageOp op, int port_index = -1);

// Writes the display page to its page file (or to path): 0, or -1 after
// the "Cannot Save Current Page" box. korlw is started on success.
int write_display_page(const char* path);

// Installs the Display menu commands and the hooks of the port editing.
void pageops_register();
