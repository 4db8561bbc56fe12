// korlw's logic: page choice and name rules, the Compile and Reverse
// Engineer commands, the Quit question, start and exit, and the argument
// mode. korlw writes page text and, through the compiler, page files; it
// never deletes or overwrites a page file itself.
#include "compiler/korlw.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "compiler/compile.h"
#include "compiler/report.h"
#include "core/datatypes.h"
#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/pagefile.h"
#include "core/pagetext.h"
#include "core/symtab.h"
#include "platform/sys.h"
#include "platform/ui.h"

KorlwUi korlw_ui;
KorlwPageName korlw_name;

static const KorlwPageName kNoName = {-1, "", "", "", "", ""};

void korlw_reset() {
    korlw_ui = KorlwUi{};
    korlw_name = kNoName;
}

// ---- the window's voice --------------------------------------------------------

static void show(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
static void show(int level, const char* fmt, ...) {
    char text[1200];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (korlw_ui.show) {
        korlw_ui.show(level, text);
    } else {
        fputs(text, stdout);
        fputc('\n', stdout);
        fflush(stdout);
    }
}

static void beep() {
    if (korlw_ui.beep)
        korlw_ui.beep();
    else
        plat_console_beep();
}

// An error-level message with its beep.
static void fail(const char* fmt, const char* a, const char* b = nullptr) {
    show(LVL_ERROR, fmt, a, b);
    beep();
}

// ---- page names ---------------------------------------------------------------------

static bool copy_part(char* dst, const char* src, size_t n) {
    if (n >= KORLW_PART) return false;
    memcpy(dst, src, n);
    dst[n] = '\0';
    return true;
}

static bool split_path(const char* path, KorlwPageName* d) {
    *d = kNoName;
    const char* slash = strrchr(path, '/');
    const char* base = slash ? slash + 1 : path;
    const char* dot = strrchr(base, '.');
    if (!dot) dot = base + strlen(base);
    return copy_part(d->dir, path, slash ? (size_t)(slash - path) : 0) &&
           copy_part(d->name, base, (size_t)(dot - base)) && copy_part(d->ext, dot, strlen(dot));
}

static bool extension_allowed(const char* ext) {
    return !*ext || strcasecmp(ext, ".bin") == 0 || strcasecmp(ext, ".txt") == 0;
}

// The text that must be the page number: what follows "page", else the
// whole name of 1-5 characters ("page7" is page 7, not an unreadable
// number).
static const char* number_text(const char* name) {
    size_t n = strlen(name);
    if (n > 4 && strncasecmp(name, "page", 4) == 0) return name + 4;
    if (n >= 1 && n <= 5) return name;
    return nullptr;
}

int korlw_page_from_path(const char* path) {
    KorlwPageName d;
    if (!path || !split_path(path, &d)) {
        fail("Invalid Page number %s", path ? path : "");
        return -1;
    }
    const char* digits = number_text(d.name);
    int64_t page = -1;
    if (!extension_allowed(d.ext) || !digits || dt_scan_number(digits, &page) != 0 || page < 0 || page > 9999) {
        fail("Invalid Page number %s", digits && extension_allowed(d.ext) ? digits : d.name);
        return -1;
    }
    d.page = (int)page;
    snprintf(d.name, sizeof d.name, "page%04d", d.page);
    int n = snprintf(d.path, sizeof d.path, "%s%s%s%s", d.dir, d.dir[0] || path[0] == '/' ? "/" : "", d.name,
                     d.ext);
    if (n < 0 || (size_t)n >= sizeof d.path) {
        fail("Invalid Page number %s", digits);
        return -1;
    }
    korlw_name = d;
    return 0;
}

// ---- reverse engineering --------------------------------------------------------------

// Whether two paths name one file (a link from the text name to the page
// file must never let the text writer overwrite the page file).
static bool same_file(const char* a, const char* b) {
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Writes the text of the page file open in `in` to text_path. The page
// file is open before the text file is created, so an unreadable page file
// never costs the old text.
static int reverse_into(int in, const char* bin_path, const char* text_path, int bufsize) {
    if (same_file(bin_path, text_path)) {
        zyr_fclose(in);
        fail("Unable to open output page file %s. Compilation aborted", text_path);
        return -1;
    }
    int out = zyr_fopen(text_path, "w", bufsize);
    if (out < 0) {
        zyr_fclose(in);
        fail("Unable to open output page file %s. Compilation aborted", text_path);
        return -1;
    }
    int rc = pagetext_write(in, out);
    zyr_fclose(in);
    if (zyr_fclose(out) != 0 && rc == PT_OK) rc = PT_PORT_FAILED;
    if (rc != PT_OK) {
        show(LVL_ERROR, "KORL: Page file reverse engineer failed");
        return -1;
    }
    show(LVL_PLAIN, "KORL: Page file reverse engineered ok");
    return 0;
}

// The existing file of name in any letter case, else name itself.
static void existing_or(const char* name, char* out, size_t cap) {
    if (page_find_file(name, out, cap) != 0) snprintf(out, cap, "%s", name);
}

int korlw_reverse(int page) {
    char text_name[32], bin_name[32], text_path[KORLW_PATH], bin_path[KORLW_PATH], cwd[KORLW_PATH] = ".";
    page_file_path("", page, "TXT", text_name, sizeof text_name);
    page_file_path("", page, "BIN", bin_name, sizeof bin_name);
    existing_or(text_name, text_path, sizeof text_path);
    existing_or(bin_name, bin_path, sizeof bin_path);
    plat_cwd(cwd, sizeof cwd);
    // Without a page file there is nothing to write: no question is asked.
    if (!zyr_fexists(bin_path)) {
        fail("Unable to open input compiled page file %s. Compilation aborted", bin_path);
        return -1;
    }
    if (zyr_fexists(text_path)) {
        char question[64];
        snprintf(question, sizeof question, "Page %d already exists\nOverwrite Yes/No ?", page);
        int answer = korlw_ui.message_box ? korlw_ui.message_box(question, "Save Page", MB_YESNO | MB_ICONINFORMATION)
                                          : IDNO;
        if (answer != IDYES) return 1;
    }
    int in = page_file_open_read(bin_path);
    if (in < 0) {
        fail("Unable to open input compiled page file %s. Compilation aborted", bin_path);
        return -1;
    }
    show(LVL_PLAIN, "Reverse engineering page file %s/PAGE%04d.BIN. Output to file %s.", cwd, page, text_path);
    show(LVL_PLAIN, "All error messages echoed to the output file and display");
    return reverse_into(in, bin_path, text_path, 1024);
}

// ---- compiling ----------------------------------------------------------------------

int korlw_compile(int page) {
    if (korlw_ui.busy) korlw_ui.busy(true);
    int rc = compile_page(page);
    if (korlw_ui.busy) korlw_ui.busy(false);
    return rc == 0 ? 0 : -1;
}

// ---- commands ------------------------------------------------------------------------

struct KorlwCommand {
    int id;
    const char* title;    // the dialog's title: the command's name
    const char* filter;   // the file dialog's filter list
    int (*run)(int page);
};

static const KorlwCommand kCommands[] = {
    {KORLW_COMPILE, "Compile Display Page", "Pages (page????.txt)|PAGE????.TXT|", korlw_compile},
    {KORLW_REVERSE, "Reverse Engineer Page", "Pages (page????.bin)|PAGE????.BIN|", korlw_reverse},
};
static_assert(std::size(kCommands) == 2);

// The chosen file's directory becomes the current one, as the file dialog
// of the original platform left it: the page's files are read and written
// beside the chosen one.
static int choose_and_run(const KorlwCommand& c) {
    char path[KORLW_PATH];
    if (!korlw_ui.choose_file || !korlw_ui.choose_file(c.title, c.filter, "txt", path, sizeof path)) return 1;
    if (korlw_page_from_path(path) != 0) return -1;
    if (korlw_name.dir[0] && chdir(korlw_name.dir) != 0) {
        fail("Unable to open input page file %s. Compilation aborted", korlw_name.path);
        return -1;
    }
    return c.run(korlw_name.page);
}

int korlw_command(int id) {
    for (const KorlwCommand& c : kCommands)
        if (c.id == id) return choose_and_run(c);
    switch (id) {
    case KORLW_ABOUT:
        if (korlw_ui.about) korlw_ui.about();
        return 0;
    case KORLW_EXIT: korlw_close(); return 0;
    default: return 0;   // F1 and Escape have no action
    }
}

void korlw_close() {
    if (korlw_ui.quit_box && korlw_ui.quit_box() == IDYES && korlw_ui.quit) korlw_ui.quit(0);
}

// ---- start and exit ----------------------------------------------------------------------

static void compiler_show(int level, const char* text) { show(level, "%s", text); }

int korlw_start() {
    compiler_hooks.show = compiler_show;
    compiler_hooks.beep = beep;
    if (symtab_built()) return 0;
    return InitSymTab() == 0 ? 0 : -1;
}

int korlw_exit() {
    FreeSymTab();
    compiler_reset();
    zyr_fcloseall();
    int live = (int)qobmem.mem_alloc_cnt;
    if (live == 0) return 0;
    debug_printf("!! mem_alloc_cnt = %d", live);
    int left = QOBfree_allmem();
    if (left == 0)
        debug_printf("QOBfree_allmem() freed all memory OK");
    else
        debug_printf("QOBfree_allmem() failed, mem_alloc_cnt = %d", left);
    for (int i = 0; i < 5; i++) beep();
    return live;
}

// ---- argument mode ----------------------------------------------------------------------

static bool join_arguments(int argc, const char* const* argv, char* out, size_t cap) {
    size_t n = 0;
    for (int i = 0; i < argc; i++) {
        size_t len = strlen(argv[i]);
        if (n + len + (i > 0) >= cap) return false;
        if (i > 0) out[n++] = ' ';
        memcpy(out + n, argv[i], len);
        n += len;
    }
    out[n] = '\0';
    return n > 0;
}

static bool ends_in_txt(const char* path) {
    size_t n = strlen(path);
    return n >= 4 && strcasecmp(path + n - 4, ".txt") == 0;
}

// The page file beside the text: the path with its last three characters
// replaced by "BIN", found in any letter case. out holds that name when
// there is no such file.
static int page_file_of(const char* text_path, char* out, size_t cap) {
    char bin[KORLW_PATH];
    size_t n = strlen(text_path);
    memcpy(bin, text_path, n - 3);
    memcpy(bin + n - 3, "BIN", 4);
    if (page_find_file(bin, out, cap) == 0) return 0;
    snprintf(out, cap, "%s", bin);
    return -1;
}

int korlw_argument_mode(int argc, const char* const* argv) {
    char path[KORLW_PATH], bin[KORLW_PATH];
    if (!join_arguments(argc, argv, path, sizeof path)) {
        beep();
        return 1;
    }
    // Only a page text file is ever written: a page file path is refused
    // before anything is touched.
    if (!ends_in_txt(path)) {
        fail("Not a page text file (.txt): %s", path);
        return 1;
    }
    if (korlw_page_from_path(path) != 0) return 1;
    int in = page_file_of(path, bin, sizeof bin) == 0 ? page_file_open_read(bin) : -1;
    if (in < 0) {
        fail("Unable to open input compiled page file %s. Compilation aborted", bin);
        return 1;
    }
    if (!same_file(bin, path)) remove(path);
    show(LVL_PLAIN, "Reverse engineering page file %s. Output to file %s.", bin, path);
    return reverse_into(in, bin, path, 2048) == 0 ? 0 : 1;
}
