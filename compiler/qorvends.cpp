// qorvends: the batch run over a page range. The compiler's messages go to
// the console; the progress line is overwritten in place, so a message
// that follows it first ends that line.
#include "compiler/qorvends.h"

#include <cstring>

#include "compiler/compile.h"
#include "compiler/lexer.h"
#include "compiler/report.h"
#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/pagefile.h"
#include "core/symtab.h"
#include "platform/sys.h"

static const char kListingName[] = "qorvends.lst";
static const char kUsage[] = "Usage: qorvends [first [last]]  (page numbers 0 to 9999)\n";
constexpr int PAGE_WRITE_BUFFER = 2048;

static FILE* g_con;               // the console of the run
static bool g_mid_progress;       // the progress line is open
static uint64_t g_last_flush;     // when the progress line was last flushed

void qorvends_reset() {
    g_con = nullptr;
    g_mid_progress = false;
    g_last_flush = 0;
}

static void end_progress_line() {
    if (!g_mid_progress) return;
    fputc('\n', g_con);
    g_mid_progress = false;
}

static void console_show(int, const char* text) {
    end_progress_line();
    fputs(text, g_con);
    fputc('\n', g_con);
}

static void console_beep() {}

// The progress line reaches the screen at most every 50 ms.
static void progress(int page) {
    fprintf(g_con, "\rChecking page file %5d", page);
    g_mid_progress = true;
    uint64_t now = plat_wall_ms();
    if (now - g_last_flush >= 50) {
        fflush(g_con);
        g_last_flush = now;
    }
}

static int page_number(const char* text, int* out) {
    if (!text || !*text || strlen(text) > 4) return -1;
    int v = 0;
    for (const char* p = text; *p; p++) {
        if (*p < '0' || *p > '9') return -1;
        v = v * 10 + (*p - '0');
    }
    *out = v;
    return 0;
}

int qorvends_args(int argc, const char* const* argv, int* first, int* last) {
    *first = 0;
    *last = 9999;
    if (argc > 3) return -1;
    if (argc > 1 && page_number(argv[1], first) != 0) return -1;
    if (argc > 2 && page_number(argv[2], last) != 0) return -1;
    return 0;
}

// One page: skipped silently without a text file. The page file stays even
// when the page had errors: the batch checker reports, it does not judge.
static bool check_page(int page) {
    char name[32], found[300];
    page_file_path("", page, "TXT", name, sizeof name);
    if (page_find_file(name, found, sizeof found) != 0) return false;
    int txt = zyr_fopen(found, "r", INCLUDE_BUFFER);
    if (txt < 0) return false;
    char line[64];
    snprintf(line, sizeof line, "Checking page file %5d", page);
    cmp_listing_line(line);
    char bin_name[32];
    page_file_path("", page, "BIN", bin_name, sizeof bin_name);
    int bin = zyr_fopen(bin_name, "w", PAGE_WRITE_BUFFER);
    if (bin < 0) {
        zyr_err(14, 2, bin_name, 0, 0, 0);
        cmp_show(LVL_ERROR, "Unable to open output compiled page file %s. Compilation aborted", bin_name);
        zyr_fclose(txt);
        return false;
    }
    int rc = compile_text(page, txt, bin);
    zyr_fclose(bin);
    zyr_fclose(txt);
    return rc == COMPILE_ERRORS;
}

int qorvends_run(int first, int last, FILE* con) {
    qorvends_reset();
    g_con = con;
    fprintf(con, "QORVENDS: Checking pages %d to %d\n", first, last);
    int lst = zyr_fopen(kListingName, "w", CMP_LISTING_BUFFER);
    if (lst < 0) {
        fprintf(con, "Unable to open output page listing file %s. Program aborted\n", kListingName);
        return QORVENDS_FAILED;
    }
    CompilerHooks saved = compiler_hooks;
    compiler_hooks.show = console_show;
    compiler_hooks.beep = console_beep;
    compiler_batch(true);
    cmp.errors = cmp.warnings = 0;
    cmp.listing = lst;
    bool any_error = false;
    for (int page = first; page <= last; page++) {
        progress(page);
        if (check_page(page)) any_error = true;
    }
    cmp.listing = -1;
    zyr_fclose(lst);
    compiler_batch(false);
    compiler_hooks = saved;
    if (any_error)
        fprintf(con, "\n!! QORVENDS: encountered %d errors !!\n", cmp.errors);
    else
        fprintf(con, "\nQORVENDS: All page files checked ok");
    fflush(con);
    return any_error ? QORVENDS_ERRORS : QORVENDS_OK;
}

int qorvends_main(int argc, const char* const* argv) {
    int first, last;
    if (qorvends_args(argc, argv, &first, &last) != 0) {
        fputs(kUsage, stdout);
        return QORVENDS_FAILED;
    }
    if (InitSymTab() != 0) {
        zyr_err(17, 2, "InitSymTab() Fail", 0, 0, 0);
        fputs("QORVENDS: the keyword table could not be built\n", stdout);
        return QORVENDS_FAILED;
    }
    int rc = qorvends_run(first, last, stdout);
    FreeSymTab();
    zyr_fcloseall();
    if (qobmem.mem_alloc_cnt != 0) qob_leak_report();
    return rc;
}
