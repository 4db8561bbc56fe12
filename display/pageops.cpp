// The page operations with their rules and texts.
#include "display/pageops.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <strings.h>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/page.h"
#include "core/pagefile.h"
#include "core/state.h"
#include "display/commands.h"
#include "display/portedit.h"
#include "display/settings.h"
#include "display/steps.h"
#include "engine/evaluate.h"
#include "platform/canvas.h"
#include "platform/ui.h"

static const char kPagesFilter[] = "Pages (page????.bin)|PAGE????.BIN|";

// What each operation asks of its pages, by PageOp.
struct PageOpRule {
    const char* menu_title;   // title of the page dialog, null: none
    bool change_question;     // the current page's changes are settled first
    bool on_system_page;      // allowed while page 0 or 9999 is current
    bool target_not_system;   // the chosen page must not be 0 or 9999
    bool target_must_exist;
};
static const PageOpRule kRules[] = {
    {"Open Page", true, true, false, true},          // POP_OPEN
    {nullptr, false, false, false, false},           // POP_SAVE
    {"Save Page as", false, false, true, false},     // POP_SAVE_AS
    {"Append to Page", true, false, true, true},     // POP_APPEND
    {"Copy '%s' To Page", true, false, true, false}, // POP_COPY_TO
    {"Merge Page", true, false, true, true},         // POP_MERGE
    {"Rename Page", false, false, true, false},      // POP_RENAME
    {nullptr, false, false, false, false},           // POP_DELETE
    {"New Page", true, true, false, false},          // POP_NEW
};
static_assert(std::size(kRules) == POP_COUNT);

int page_number_of(const char* path) {
    const char* base = strrchr(path, '/');
    base = base ? base + 1 : path;
    if (strlen(base) != 12 || strncasecmp(base, "PAGE", 4) != 0 || strcasecmp(base + 8, ".BIN") != 0) return -1;
    int n = 0;
    for (int i = 4; i < 8; i++) {
        if (!isdigit((unsigned char)base[i])) return -1;
        n = n * 10 + (base[i] - '0');
    }
    return n;
}

static bool system_page(int page) { return page == 0 || page == 9999; }

const char* page_op_refusal(PageOp op, int current, int target, bool exists, const char** caption) {
    const PageOpRule& r = kRules[op];
    *caption = "Page Operation";
    if (!r.on_system_page && system_page(current)) return "Cannot perform this operation\non pages 0,9999";
    if (target < 0) return nullptr;
    if (r.target_not_system && system_page(target)) return "Cannot perform this operation\nwith pages 0,9999";
    if (r.target_must_exist && !exists) {
        *caption = op == POP_OPEN ? "Invalid Page" : "Cannot find page:";
        return "";
    }
    return nullptr;
}

// ---- files ----------------------------------------------------------------------

static void page_path(int page, const char* ext, char* out, size_t cap) {
    if (page_file_path(pages.dir, page, ext, out, cap) != 0) out[0] = 0;
}

static bool page_exists(int page, char* found, size_t cap) {
    char want[300];
    page_path(page, "BIN", want, sizeof want);
    return want[0] && page_find_file(want, found, cap) == 0;
}

static void page_name(int page, char* out, size_t cap) { snprintf(out, cap, "PAGE%04d", page); }

// korlw writes the text file of a saved page file; the operator hears of
// it when it cannot start.
static void regenerate_text(const char* path) {
    if (page_start_korlw(path) == 0) return;
    debug_printf("!! korlw not started for %s !!", path);
    plat_message_box("Cannot start korlw: the page text file\nis not written. Install korlw next to vantor\nor on "
                     "the PATH.",
                     "Save Page", MB_OK | MB_ICONEXCLAMATION);
}

// A save with korlw started by the caller, so that its failure is shown.
static int save_range(int range, int index, const char* path, unsigned opts) {
    void (*saved)(const char*) = page_hooks.page_saved;
    page_hooks.page_saved = nullptr;
    int rc = page_save(range, index, path, opts);
    page_hooks.page_saved = saved;
    return rc;
}

int write_display_page(const char* path) {
    char own[300];
    int page = pages.slot[SLOT_DISPLAY].page;
    if (!path) {
        page_path(page, "BIN", own, sizeof own);
        path = own;
    }
    if (save_range(SAVE_DISPLAY, 0, path, 0) != 0) {
        char name[16];
        page_name(page, name, sizeof name);
        error_box("Cannot Save Current Page", name);
        return -1;
    }
    regenerate_text(path);
    return 0;
}

// The records of one page file appended to another; on a failure the
// target is cut back to its old end.
static int append_page_file(const char* from, const char* to) {
    int in = page_file_open_read(from);
    if (in < 0) return -1;
    long old = -1;
    if (FILE* f = fopen(to, "rb")) {
        fseek(f, 0, SEEK_END);
        old = ftell(f);
        fclose(f);
    }
    int out = zyr_fopen(to, "a", 2048);
    int rc = out < 0 ? -1 : 0;
    PageRecordBody body;
    int tag;
    while (rc == 0 && (tag = page_read_record(in, &body)) > 0)
        if (page_write_record(out, tag, &body) < 0) rc = -1;
    zyr_fclose(in);
    if (out >= 0 && zyr_fclose(out) != 0) rc = -1;
    if (rc != 0 && old >= 0 && truncate(to, old) != 0) debug_printf("!! %s could not be cut back !!", to);
    return rc;
}

static void delete_page_files(int page) {
    char path[300], found[300];
    for (const char* ext : {"BIN", "TXT"}) {
        page_path(page, ext, path, sizeof path);
        if (path[0] && page_find_file(path, found, sizeof found) == 0) remove(found);
    }
}

// ---- the page dialog --------------------------------------------------------------------

static int choose_page(const char* title, char* path, int cap, int* page, bool must_exist) {
    unsigned flags = must_exist ? (unsigned)FD_MUST_EXIST : 0u;
    PlatFileDialog d{title, kPagesFilter, 1, "bin", nullptr, flags};
    uint32_t held = zyr.SystemFlags & SF_DISPLAY_LOCK;
    zyr.SystemFlags |= SF_DISPLAY_LOCK;
    int ok = plat_file_dialog(&d, path, (size_t)cap);
    zyr.SystemFlags = (zyr.SystemFlags & ~SF_DISPLAY_LOCK) | held;
    if (!ok) return 0;
    *page = page_number_of(path);
    if (*page < 0) {
        const char* base = strrchr(path, '/');
        error_box("Invalid Page", base ? base + 1 : path);
        return 0;
    }
    return 1;
}

static int choose_any_page(const char* title, char* path, int cap, int* page) {
    return choose_page(title, path, cap, page, true);
}

// ---- the operations ----------------------------------------------------------------------

static int refuse(const char* text, const char* caption, int page) {
    char name[32];
    page_name(page, name, sizeof name);
    if (text[0]) plat_message_box(text, caption, MB_OK | MB_ICONSTOP);
    else error_box(caption, name);
    return 1;
}

static void open_page(int page) {
    eval_request_page(page);
    set_page_title(page);
    canvas_invalidate();
}

// Writes the current page to target (a new page of the same ports).
static int save_as(int current, int target, const char* path, bool rename) {
    char name[16], text[160];
    page_name(target, name, sizeof name);
    if (target == current) {
        snprintf(text, sizeof text, "Cannot perform the operation\non the same page\n%s", name);
        plat_message_box(text, "Page Operation", MB_OK | MB_ICONSTOP);
        return 1;
    }
    char found[300];
    if (page_exists(target, found, sizeof found)) {
        snprintf(text, sizeof text, "Page %s already exists\nOverwrite Yes/No ?", name);
        if (plat_message_box(text, "Save Page", MB_YESNO | MB_ICONQUESTION) != IDYES) return 1;
        path = found;
    }
    if (save_range(SAVE_DISPLAY, 0, path, 0) != 0) {
        error_box("Cannot 'Save as/Rename' Page", name);
        return 1;
    }
    regenerate_text(path);
    if (rename) delete_page_files(current);
    pages.slot[SLOT_DISPLAY].page = target;
    set_page_title(target);
    return 0;
}

static bool auto_save_warning() {
    return plat_message_box("Warning, the 'Copy/Append To' page will\nautomatically be saved.\n\nPress OK to continue.",
                            "Page Operation", MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK;
}

static int copy_to(int index, int target, bool exists, const char* path) {
    char name[16], text[120];
    page_name(target, name, sizeof name);
    if (!auto_save_warning()) return 1;
    if (!exists) {
        snprintf(text, sizeof text, "Page %s doesn't exist\nDo you wish to create it ?", name);
        if (plat_message_box(text, "Copy Parameter to Page", MB_YESNO | MB_ICONQUESTION) != IDYES) return 1;
    }
    if (save_range(SAVE_PORT, index, path, exists ? (unsigned)SAVE_APPEND : 0u) != 0) {
        error_box("Cannot append to page", name);
        return 1;
    }
    regenerate_text(path);
    return 0;
}

static int delete_page(int current) {
    char name[16], text[120];
    page_name(current, name, sizeof name);
    snprintf(text, sizeof text, "Page %s will be deleted\nDo you wish to continue ?", name);
    if (plat_message_box(text, "Delete Page", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES) return 1;
    DeletePageLL(SLOT_DISPLAY);
    pages.slot[SLOT_DISPLAY].page = current;
    pages.slot[SLOT_DISPLAY].changed = 0;
    delete_page_files(current);
    canvas_invalidate();
    return 0;
}

static int new_page(int target, bool exists, const char* path) {
    char name[16], text[120];
    page_name(target, name, sizeof name);
    if (exists) {
        snprintf(text, sizeof text, "Page %s already exists.\nNo action taken", name);
        plat_message_box(text, "Create New Page", MB_OK | MB_ICONSTOP);
        return 1;
    }
    int f = zyr_fopen(path, "w", 0);
    if (f < 0 || zyr_fclose(f) != 0) {
        error_box("Cannot create new page", name);
        return 1;
    }
    open_page(target);
    return 0;
}

int page_operation(PageOp op, int port_index) {
    if (op < 0 || op >= POP_COUNT) return 1;
    const PageOpRule& r = kRules[op];
    int current = pages.slot[SLOT_DISPLAY].page;
    const char* caption;
    if (const char* no = page_op_refusal(op, current, -1, false, &caption)) return refuse(no, caption, current);
    if (op == POP_SAVE) return write_display_page(nullptr) == 0 ? 0 : 1;
    if (op == POP_DELETE) return delete_page(current);
    char title[200], path[300], found[300];
    const char* mnemonic = port_index >= 0 && page_port(port_index) ? page_port(port_index)->rec->mnemonic : "";
    snprintf(title, sizeof title, r.menu_title, mnemonic);
    int target = -1;
    if (!choose_page(title, path, (int)sizeof path, &target, r.target_must_exist)) return 1;
    bool exists = page_exists(target, found, sizeof found);
    if (const char* no = page_op_refusal(op, current, target, exists, &caption)) return refuse(no, caption, target);
    // Page files live in the page directory, whichever directory the
    // dialog was in.
    if (exists) snprintf(path, sizeof path, "%s", found);
    else page_path(target, "BIN", path, sizeof path);
    if (r.change_question && page_change_question() != 0) return 1;
    switch (op) {
    case POP_OPEN: open_page(target); return 0;
    case POP_SAVE_AS: return save_as(current, target, path, false);
    case POP_RENAME: return save_as(current, target, path, true);
    case POP_COPY_TO: return copy_to(port_index, target, exists, path);
    case POP_APPEND:
        if (!auto_save_warning()) return 1;
        if (save_range(SAVE_DISPLAY, 0, path, SAVE_APPEND) != 0) return refuse("", "Cannot append to page", target);
        regenerate_text(path);
        open_page(target);
        return 0;
    case POP_MERGE: {
        char own[300];
        page_path(current, "BIN", own, sizeof own);
        if (!page_exists(current, own, sizeof own)) page_path(current, "BIN", own, sizeof own);
        if (append_page_file(path, own) != 0) return refuse("", "Cannot find page:", target);
        regenerate_text(own);
        pages.slot[SLOT_DISPLAY].changed = 0;
        open_page(current);
        return 0;
    }
    case POP_NEW: return new_page(target, exists, path);
    default: return 1;
    }
}

// ---- commands ---------------------------------------------------------------------------

struct PageCommand {
    int id;
    PageOp op;
};
static const PageCommand kPageCommands[] = {
    {CMD_DISPLAY_OPEN, POP_OPEN}, {207, POP_SAVE},   {208, POP_SAVE_AS}, {209, POP_APPEND},
    {216, POP_MERGE},             {218, POP_RENAME}, {217, POP_DELETE},  {CMD_NEW_PAGE, POP_NEW},
};

static void page_command(int id) {
    for (const PageCommand& c : kPageCommands)
        if (c.id == id) page_operation(c.op);
}

static void copy_to_hook(int index) { page_operation(POP_COPY_TO, index); }

void pageops_register() {
    for (const PageCommand& c : kPageCommands) command_register(c.id, page_command);
    portedit_hooks.copy_to_page = copy_to_hook;
    portedit_hooks.choose_page = choose_any_page;
    portedit_hooks.delete_page_files = delete_page_files;
}
