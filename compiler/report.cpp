// The compiler's error and warning reports, the listing and the message
// sink. Every check of the page language speaks through cmp_error and
// cmp_warning, so the numbering and the listing layout are made in one place.
#include "compiler/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/files.h"
#include "platform/sys.h"

CompileRun cmp;
CompilerHooks compiler_hooks;

static const CompileRun kRunStart = {0, false, 0, 0, 0, false, false, false, 0, -1, 0, 0, 0};

static bool g_echo_open;   // the last echoed piece did not end its line

void report_reset() {
    cmp = kRunStart;
    g_echo_open = false;
    compiler_hooks = CompilerHooks{};
}

static struct ReportInit {
    ReportInit() { report_reset(); }
} g_report_init;

void cmp_page_start(int page) {
    cmp.page = page;
    cmp.page_error = cmp.page_warning = cmp.block_error = false;
    cmp.line = 0;
    cmp.ports_written = cmp.ports_enabled = 0;
    g_echo_open = false;
    if (!cmp.batch) {
        cmp.errors = cmp.warnings = 0;
        cmp.last_error_line = 0;
    }
}

static void show_text(int level, const char* text) {
    if (compiler_hooks.show) {
        compiler_hooks.show(level, text);
        return;
    }
    fputs(text, stdout);
    fputc('\n', stdout);
}

void cmp_show(int level, const char* fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    show_text(level, text);
}

void cmp_beep() {
    if (compiler_hooks.beep)
        compiler_hooks.beep();
    else
        plat_console_beep();
}

void cmp_listing_echo(const char* raw, int len) {
    if (cmp.batch || cmp.listing < 0 || len <= 0) return;
    zyr_fwrite(raw, 1, (size_t)len, cmp.listing);
    g_echo_open = raw[len - 1] != '\n';
}

// Listing lines end in CR LF whatever the message holds: a message with its
// own "\n" (several of the system's texts end in one) gets no second end.
void cmp_listing_line(const char* text) {
    if (cmp.listing < 0) return;
    if (g_echo_open) zyr_fwrite("\r\n", 1, 2, cmp.listing);
    g_echo_open = false;
    const char* p = text;
    while (*p) {
        const char* nl = strchr(p, '\n');
        size_t n = nl ? (size_t)(nl - p) : strlen(p);
        if (n > 0 && p[n - 1] == '\r') n--;
        zyr_fwrite(p, 1, n, cmp.listing);
        zyr_fwrite("\r\n", 1, 2, cmp.listing);
        if (!nl) return;
        p = nl + 1;
    }
}

// The message without a final line end, for the sink.
static void trim_end(char* text) {
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = 0;
}

void cmp_error(const char* fmt, ...) {
    char msg[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(msg, sizeof msg, fmt, ap);
    va_end(ap);
    trim_end(msg);
    cmp.errors++;
    cmp.last_error_line = cmp.line;
    cmp.block_error = cmp.page_error = true;
    if (cmp.errors > CMP_SHOWN_ERRORS + 1) return;
    if (cmp.errors == CMP_SHOWN_ERRORS + 1) {
        show_text(LVL_ERROR, "* Error count exceeds 25.");
        cmp_listing_line("* Error count exceeds 25.");
        return;
    }
    char shown[1200], listed[1200];
    snprintf(shown, sizeof shown, "* !! %2d Error Page %d line %05d !!%s", cmp.errors, cmp.page, cmp.line, msg);
    if (cmp.batch)
        snprintf(listed, sizeof listed, "%s", shown);
    else
        snprintf(listed, sizeof listed, "* !! %2d Error line %05d !!%s", cmp.errors, cmp.line, msg);
    show_text(LVL_ERROR, shown);
    cmp_listing_line(listed);
}

void cmp_warning(const char* message, const char* second) {
    cmp.warnings++;
    cmp.page_warning = true;
    char shown[1200], listed[1200];
    snprintf(shown, sizeof shown, "** %2d Warning Page %d line %05d **%s", cmp.warnings, cmp.page, cmp.line, message);
    if (cmp.batch)
        snprintf(listed, sizeof listed, "%s", shown);
    else
        snprintf(listed, sizeof listed, "** %2d Warning line %05d **%s", cmp.warnings, cmp.line, message);
    trim_end(shown);
    show_text(LVL_WARNING, shown);
    cmp_listing_line(listed);
    if (second && *second) {
        show_text(LVL_WARNING, second);
        cmp_listing_line(second);
    }
}
