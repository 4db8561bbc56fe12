// Page operations: the page dialog names a page file in the page directory,
// the rules refuse the protected pages (0 settings, 9999 system parameters)
// and the current page where the operation makes no sense, and every write
// leaves either the new file or the old one, never half of one.
#include "display/pageops.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/page.h"
#include "core/state.h"
#include "display/commands.h"
#include "display/settings.h"
#include "display/steps.h"
#include "engine/evaluate.h"
#include "engine/startup.h"
#include "platform/ui.h"

static const char kPageFilter[] = "Pages (page????.bin)|PAGE????.BIN|";

// A page chosen in the page dialog.
struct PageRef {
    int page;
    char path[300];    // PAGEnnnn.BIN in the page directory
    char name[16];     // "PAGEnnnn.BIN"
    bool exists;
};

// ---- names ---------------------------------------------------------------------

int page_number_of_path(const char* path) {
    const char* base = strrchr(path, '/');
    base = base ? base + 1 : path;
    if (strncasecmp(base, "page", 4) != 0) return -1;
    const char* d = base + 4;
    int n = 0, digits = 0;
    while (isdigit((unsigned char)d[digits]) && digits < 5) n = n * 10 + (d[digits++] - '0');
    if (digits < 1 || digits > 4) return -1;
    const char* rest = d + digits;
    if (*rest && strcasecmp(rest, ".bin") != 0) return -1;
    return n;
}

static bool same_directory(const char* path) {
    char chosen_dir[PATH_MAX], page_dir[PATH_MAX], dir[PATH_MAX];
    snprintf(dir, sizeof dir, "%s", path);
    char* slash = strrchr(dir, '/');
    if (slash) *slash = 0;
    const char* d = slash ? (dir[0] ? dir : "/") : ".";
    if (!realpath(d, chosen_dir) || !realpath(pages.dir[0] ? pages.dir : ".", page_dir)) return false;
    return strcmp(chosen_dir, page_dir) == 0;
}

static int ref_of_page(int page, PageRef* ref) {
    ref->page = page;
    snprintf(ref->name, sizeof ref->name, "PAGE%04d.BIN", page);
    if (page_file_path(pages.dir, page, "BIN", ref->path, sizeof ref->path) != 0) return -1;
    char found[300];
    ref->exists = page_find_file(ref->path, found, sizeof found) == 0;
    if (ref->exists) snprintf(ref->path, sizeof ref->path, "%s", found);
    return 0;
}

static int current_page() { return pages.slot[SLOT_DISPLAY].page >= 0 ? pages.slot[SLOT_DISPLAY].page : startup.start_page; }

// ---- the page dialog ----------------------------------------------------------------

// The page dialog with the display lock held. 1 with the page, 0 when the
// operator cancelled or the name is not a page of the page directory (said).
static int choose_page(const char* title, bool must_exist, PageRef* ref) {
    char proposed[300] = "";
    page_file_path(pages.dir, current_page(), "BIN", proposed, sizeof proposed);
    unsigned flags = must_exist ? (unsigned)FD_MUST_EXIST : (unsigned)FD_SAVE;
    PlatFileDialog d{title, kPageFilter, 1, "bin", proposed, flags};
    uint32_t lock = zyr.SystemFlags & SF_DISPLAY_LOCK;
    zyr.SystemFlags |= SF_DISPLAY_LOCK;
    char path[300];
    int chosen = plat_file_dialog(&d, path, sizeof path);
    zyr.SystemFlags = (zyr.SystemFlags & ~SF_DISPLAY_LOCK) | lock;
    if (!chosen) return 0;
    int page = page_number_of_path(path);
    const char* base = strrchr(path, '/');
    base = base ? base + 1 : path;
    if (page < 0 || ref_of_page(page, ref) != 0) {
        error_box("Invalid Page", base);
        return 0;
    }
    if (!same_directory(path)) {
        error_box("Invalid Page", base, "Pages are kept in the page directory");
        return 0;
    }
    return 1;
}

static void page_operation_box(const char* text) { plat_message_box(text, "Page Operation", MB_OK | MB_ICONEXCLAMATION); }

static bool current_protected() {
    int page = current_page();
    if (page != 0 && page != 9999) return false;
    page_operation_box("Cannot perform this operation\non pages 0,9999");
    return true;
}

static bool target_protected(const PageRef& ref) {
    if (ref.page != 0 && ref.page != 9999) return false;
    page_operation_box("Cannot perform this operation\nwith pages 0,9999");
    return true;
}

static bool missing(const PageRef& ref, const char* line1) {
    if (ref.exists) return false;
    error_box(line1, ref.name);
    return true;
}

// ---- writing -----------------------------------------------------------------------

static void show_page(int page) {
    eval_request_page(page);
    char title[64];
    snprintf(startup.start_page_name, sizeof startup.start_page_name, "PAGE%04d", page);
    snprintf(title, sizeof title, "ZYR for Linux - vantor - PAGE%04d", page);
    plat_set_title(title);
}

static void korlw_after_write(const char* path) {
    if (page_start_korlw(path) == 0) return;
    char text[300];
    snprintf(text, sizeof text, "%.*s.TXT", (int)(strlen(path) > 4 ? strlen(path) - 4 : 0), path);
    const char* base = strrchr(text, '/');
    error_box("Cannot start korlw to write", base ? base + 1 : text);
}

// Every page write ends here: korlw writes the page's text file.
static void page_saved(const char* path) { korlw_after_write(path); }

static long size_of(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 ? (long)st.st_size : -1;
}

// Appends the bytes of page file `from` to page file `to` (made when it is
// not there); a failure cuts `to` back to what it was. The loop time is held
// at 10 ms while the file is written, as for every page write.
static int append_page_file(const char* from, const char* to) {
    uint32_t loop = zyr.loop_msecs;
    if (page_hooks.set_loop_time) page_hooks.set_loop_time(10);
    long old_size = size_of(to);
    int in = open(from, O_RDONLY | O_CLOEXEC);
    int out = in < 0 ? -1 : open(to, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    bool ok = in >= 0 && out >= 0;
    char buf[8192];
    for (ssize_t n; ok && (n = read(in, buf, sizeof buf)) != 0;) {
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        ok = write(out, buf, (size_t)n) == n;
    }
    if (out >= 0 && close(out) != 0) ok = false;
    if (in >= 0) close(in);
    if (!ok && out >= 0) {
        if (old_size < 0 || truncate(to, old_size) != 0) remove(to);
    }
    if (page_hooks.set_loop_time) page_hooks.set_loop_time(loop);
    return ok ? 0 : -1;
}

static void remove_page_files(int page) {
    for (const char* ext : {"BIN", "TXT", "LST"}) {
        char path[300], found[300];
        if (page_file_path(pages.dir, page, ext, path, sizeof path) == 0 &&
            page_find_file(path, found, sizeof found) == 0)
            remove(found);
    }
}

// ---- the operations -----------------------------------------------------------------

static void op_open() {
    PageRef ref;
    if (!choose_page("Open Page", true, &ref)) return;
    if (!ref.exists) {
        error_box("Invalid Page", ref.name);
        return;
    }
    if (page_change_question() != 0) return;
    show_page(ref.page);
}

static void save_failed() {
    char name[16];
    snprintf(name, sizeof name, "PAGE%04d", current_page());
    error_box("Cannot Save Current Page", name);
}

static void op_save() {
    if (current_protected()) return;
    if (page_save(SAVE_DISPLAY, 0, nullptr, 0) != 0) save_failed();
}

// Save as and Rename: the page is written under the new number, which
// becomes the page shown; Rename then removes the old page's files.
static void save_as(bool rename) {
    if (current_protected()) return;
    PageRef ref;
    if (!choose_page(rename ? "Rename Page" : "Save Page As", false, &ref) || target_protected(ref)) return;
    int old = current_page();
    if (ref.page == old) {
        char text[96];
        snprintf(text, sizeof text, "Cannot perform the operation\non the same page\n%s", ref.name);
        page_operation_box(text);
        return;
    }
    if (ref.exists) {
        char text[96];
        snprintf(text, sizeof text, "Page %s already exists\nOverwrite Yes/No ?", ref.name);
        if (plat_message_box(text, "Save Page", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    }
    char target[300];
    page_file_path(pages.dir, ref.page, "BIN", target, sizeof target);
    if (ref.exists) snprintf(target, sizeof target, "%s", ref.path);
    if (page_save(SAVE_DISPLAY, 0, target, 0) != 0) {
        error_box("Cannot 'Save as/Rename' Page", ref.name);
        return;
    }
    if (rename) remove_page_files(old);
    show_page(ref.page);
}

static bool copy_warning() {
    return plat_message_box("Warning, the 'Copy/Append To' page will\nautomatically be saved.\n\nPress OK to continue.",
                            "Page Operation", MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK;
}

static void op_append_to() {
    if (current_protected() || !copy_warning()) return;
    if (page_change_question() != 0) return;
    PageRef ref;
    if (!choose_page("Append to Page", true, &ref) || target_protected(ref) || missing(ref, "Cannot find page:")) return;
    PageRef own;
    if (ref_of_page(current_page(), &own) != 0 || !own.exists) {
        save_failed();
        return;
    }
    if (ref.page == own.page) {
        page_operation_box("Cannot perform the operation\non the same page");
        return;
    }
    if (append_page_file(own.path, ref.path) != 0) {
        error_box("Cannot append to page", ref.name);
        return;
    }
    if (page_hooks.page_saved) page_hooks.page_saved(ref.path);
    show_page(ref.page);
}

static void op_merge() {
    if (current_protected()) return;
    if (page_change_question() != 0) return;
    PageRef ref;
    if (!choose_page("Merge Page", true, &ref) || target_protected(ref) || missing(ref, "Cannot find page:")) return;
    PageRef own;
    if (ref_of_page(current_page(), &own) != 0) return;
    if (ref.page == own.page) {
        page_operation_box("Cannot perform the operation\non the same page");
        return;
    }
    if (append_page_file(ref.path, own.path) != 0) {
        error_box("Cannot append to page", own.name);
        return;
    }
    if (page_hooks.page_saved) page_hooks.page_saved(own.path);
    show_page(own.page);
}

static void op_delete() {
    if (current_protected()) return;
    int page = current_page();
    char text[96];
    snprintf(text, sizeof text, "Page PAGE%04d.BIN will be deleted\nDo you wish to continue ?", page);
    if (plat_message_box(text, "Delete Page", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES) return;
    DeletePageLL(SLOT_DISPLAY);
    pages.slot[SLOT_DISPLAY].page = page;
    pages.slot[SLOT_DISPLAY].changed = 0;
    remove_page_files(page);
    if (page_hooks.repaint) page_hooks.repaint();
}

static void op_new_page() {
    PageRef ref;
    if (!choose_page("Create New Page", false, &ref)) return;
    if (ref.exists) {
        char text[96];
        snprintf(text, sizeof text, "Page %s already exists.\nNo action taken", ref.name);
        plat_message_box(text, "Create New Page", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (target_protected(ref)) return;
    if (page_change_question() != 0) return;
    int f = open(ref.path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (f < 0 || close(f) != 0) {
        error_box("Cannot create new page", ref.name);
        return;
    }
    show_page(ref.page);
}

int page_copy_port_to(int index) {
    PortHead* p = page_port(index);
    if (!p || current_protected() || !copy_warning()) return 1;
    char title[64];
    snprintf(title, sizeof title, "Copy '%.24s' To Page", p->rec->mnemonic);
    PageRef ref;
    if (!choose_page(title, false, &ref) || target_protected(ref)) return 1;
    if (ref.page == current_page()) {
        page_operation_box("Cannot perform the operation\non the same page");
        return 1;
    }
    if (!ref.exists) {
        char text[96];
        snprintf(text, sizeof text, "Page %s doesn't exist\nDo you wish to create it ?", ref.name);
        if (plat_message_box(text, "Copy Parameter to Page", MB_YESNO | MB_ICONQUESTION) != IDYES) return 1;
    }
    if (page_save(SAVE_PORT, index, ref.path, ref.exists ? (unsigned)SAVE_APPEND : 0u) != 0) {
        error_box(ref.exists ? "Cannot append to page" : "Cannot create new page", ref.name);
        return 1;
    }
    return 0;
}

// ---- wiring ------------------------------------------------------------------------

struct PageCommand {
    int id;
    void (*run)();
};
static const PageCommand kPageCommands[] = {
    {CMD_PAGE_OPEN, op_open},       {CMD_PAGE_SAVE, op_save},        {CMD_PAGE_SAVE_AS, [] { save_as(false); }},
    {CMD_PAGE_APPEND_TO, op_append_to}, {CMD_PAGE_NEW, op_new_page}, {CMD_PAGE_MERGE, op_merge},
    {CMD_PAGE_DELETE, op_delete},   {CMD_PAGE_RENAME, [] { save_as(true); }},
};

void page_operation(int id) {
    for (const PageCommand& c : kPageCommands)
        if (c.id == id) return c.run();
}

void pageops_register() {
    for (const PageCommand& c : kPageCommands) command_register(c.id, page_operation);
    page_hooks.page_saved = page_saved;
}
