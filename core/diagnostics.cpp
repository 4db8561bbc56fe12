// The error reporter, the debug log and the floating-point and math error
// handling. Both logs are written while the cycle runs: neither blocks nor
// opens a dialog.
#include "core/diagnostics.h"

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "core/files.h"
#include "core/state.h"
#include "platform/sys.h"

// Fixed by error code; navulo and the status line use these texts.
const char* const kErrorTexts[ZYR_ERR_CODES] = {
    "",
    "0001 Unable to locate sync",
    "0002 PAUSE_MSECS call, time < 0",
    "0003 Data packet length exceeded",
    "0004 ZYR_ERR invalid action code",
    "0005 ZYR_ERR invalid error code",
    "0006 No incoming data, timeout",
    "0007 Floating Point exception",
    "0008 Packet checksum error",
    "0009 Packet no's out of sequence",
    "0010 NO ERRORS. LAST ERROR AT",
    "0011 unused",
    "0012 Cannot draw a value-port",
    "0013 Cannot display plot port(s)",
    "0014 Unable to open file",
    "0015 Unable to allocate Port",
    "0016 No memory available",
    "0017 Warning, memory low",
    "0018 Math exception error",
    "0019 Network Error",
    "0020 Unused",
    "0021 ZYR General Error",
};

DiagState diag;
DiagHooks diag_hooks;
MsgNest msg_nest = {-1, -1, 0};
char debugbuf[DEBUG_BUF_LEN];

// The debug log is a plain descriptor outside the file table: it must work
// when the pool or the table is what failed, and it stays open after the
// leak report.
static int g_debug_fd = -1;
static bool g_debug_open_needed = true;

static uint32_t g_elapsed_at;
static char g_elapsed[14] = "9999.23:59:59";

static void diag_start_state() {
    memset(&diag, 0, sizeof diag);
    memset(diag.status1, ' ', STATUS_LINE_LEN);
    memset(diag.status2, ' ', STATUS_LINE_LEN);
    diag.last_code = 6;
    diag.errfile = -1;
}

static struct DiagInit {
    DiagInit() { diag_start_state(); }
} g_diag_init;

void centre_text(char* dst, const char* src, int width) {
    int n = (int)strnlen(src, (size_t)width);
    int pad = width - n;
    int left = pad - pad / 2;  // the odd blank goes to the left
    memset(dst, ' ', (size_t)width);
    memcpy(dst + left, src, (size_t)n);
    dst[width] = 0;
}

// The time text without the C library's trailing newline.
static void date_text(char* out, size_t cap) {
    char t[32];
    if (plat_time_text(plat_calendar_time(), t, sizeof t) != 0) strcpy(t, "?\n");
    size_t n = strcspn(t, "\n");
    snprintf(out, cap, "%.*s", (int)n, t);
}

static void debug_write(const char* text) {
    size_t n = strlen(text);
    while (n > 0) {
        ssize_t w = write(g_debug_fd, text, n);
        if (w <= 0) return;
        text += w;
        n -= (size_t)w;
    }
}

// Lines end in carriage return and line feed, like every text file the
// system writes.
static void debug_write_line(const char* line) {
    size_t n = strlen(line);
    if (n > 0 && line[n - 1] == '\n') n--;
    char buf[DEBUG_BUF_LEN + 80];
    snprintf(buf, sizeof buf, "%.*s\r\n", (int)n, line);
    debug_write(buf);
}

void debug_log_close() {
    if (g_debug_open_needed || g_debug_fd < 0) return;
    char date[40], line[96];
    date_text(date, sizeof date);
    snprintf(line, sizeof line, "Filename = %s, Closetime = %s\n", "debugmsg", date);
    debug_write_line(line);
    ::close(g_debug_fd);
    g_debug_fd = -1;
    g_debug_open_needed = true;
}

void debug_msg(int close_after) {
    char date[40], line[96];
    if (g_debug_open_needed) {
        g_debug_fd = open("debugmsg", O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (g_debug_fd < 0) return;
        g_debug_open_needed = false;
        date_text(date, sizeof date);
        snprintf(line, sizeof line, "Filename = %s, Opentime = %s\n", "debugmsg", date);
        debug_write_line(line);
    }
    debugbuf[DEBUG_BUF_LEN - 1] = 0;
    debug_write_line(debugbuf);
    if (close_after) {
        date_text(date, sizeof date);
        snprintf(line, sizeof line, "Filename = %s, Closetime = %s\n", "debugmsg", date);
        debug_write_line(line);
        ::close(g_debug_fd);
        g_debug_fd = -1;
        g_debug_open_needed = true;
    }
}

void debug_printf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(debugbuf, sizeof debugbuf, fmt, ap);
    va_end(ap);
    debug_msg(0);
}

void debug_err_line(const char* place, int n) {
    debug_printf("%s qoberr %d lasterr %d WM_MESSAGE 0x%0x", place, n, plat_last_error(), (unsigned)msg_nest.current);
}

void diag_set_errfile(int slot) { diag.errfile = slot; }

static bool errfile_open() { return diag.errfile >= 0 && zyr_fvalid(diag.errfile) == 0; }

// Builds status line 2 from the place text and the values: a "name>n"
// place shows n values after a blank; anything longer than 28 characters
// ends in "**".
static void place_status(const char* place, int32_t v1, int32_t v2) {
    char text[96];
    snprintf(text, 55, "%s", place);  // at most 54 characters
    size_t len = strlen(text);
    if (len > 28) {
        text[26] = '*';
        text[27] = '*';
        text[28] = 0;
    } else if (len >= 2 && text[len - 2] == '>') {
        char n = text[len - 1];
        text[len - 2] = ' ';
        text[len - 1] = 0;
        len--;
        if (n == '1')
            snprintf(text + len, sizeof text - len, "%ld", (long)v1);
        else if (n == '2')
            snprintf(text + len, sizeof text - len, "%ld,%ld", (long)v1, (long)v2);
        if (strlen(text) > 28) {
            text[26] = '*';
            text[27] = '*';
            text[28] = 0;
        }
    }
    centre_text(diag.status2, text, STATUS_LINE_LEN);
}

static void write_hex_dump() {
    static const char kHex[] = "0123456789abcdef";
    char line[60];
    int n = 0;
    for (int i = 0; i < diag.dump_len; i++) {
        line[n++] = kHex[diag.dump_buf[i] >> 4];
        line[n++] = kHex[diag.dump_buf[i] & 15];
        if (n == 52) {
            line[n++] = '\n';
            line[n] = 0;
            zyr_fputs(line, diag.errfile, 1);
            n = 0;
        }
    }
    line[n++] = '\n';
    line[n] = 0;
    zyr_fputs(line, diag.errfile, 1);
}

static void write_error_line(int code) {
    char line[64];
    snprintf(line, sizeof line, "%.8s %li %i\n", zyr.asciictime + 11, (long)zyr.zyr_msecs, code);
    if (errfile_open()) {
        zyr_fputs(line, diag.errfile, 1);
    } else {
        snprintf(debugbuf, sizeof debugbuf, "%s", line);
        debug_msg(0);
    }
}

void zyr_err(int code, int action, const char* place, int32_t v1, int32_t v2, unsigned opts) {
    if (!(zyr.work_mask & WM_ERRORS)) return;
    if (code < 0 || code >= ZYR_ERR_CODES) {
        zyr_err(5, 3, "", code, 0, 0);
        code = 0;
    }
    if (action < 0 || action > 3) {
        zyr_err(4, 3, "", action, 0, 0);
        action = 0;
    }
    if (code == 0) return;
    if (!diag.reported_once) {
        diag.reported_once = true;
        memcpy(diag.last_err_time, zyr.asciictime, sizeof diag.last_err_time);
    }
    if (code == 10) {
        // The start-up status shows at once: within the first 3000 ms the
        // wait below would otherwise swallow it.
        bool startup = zyr.SystemFlags & SF_STARTUP_STATUS;
        if (startup) {
            diag.last_msecs = 0;
            diag.last_code = 6;
        }
        if (!startup && (zyr.zyr_msecs - diag.last_msecs < 3000 || diag.last_code == 10)) return;
        char when[24];
        snprintf(when, sizeof when, "%.20s", diag.last_err_time);
        when[strcspn(when, "\n")] = 0;
        centre_text(diag.status2, when, STATUS_LINE_LEN);
    }
    centre_text(diag.status1, kErrorTexts[code], STATUS_LINE_LEN);
    if (code != 10) {
        // The "no errors" status is not an error: the time of the last real
        // one stays for the next status.
        memcpy(diag.last_err_time, zyr.asciictime, sizeof diag.last_err_time);
        if (place && *place)
            place_status(place, v1, v2);
        else
            centre_text(diag.status2, "", STATUS_LINE_LEN);
    }
    if ((opts & ERR_OPT_REDRAW) && diag_hooks.redraw_status) diag_hooks.redraw_status();
    if (code != 10 && !(code == diag.last_code && zyr.zyr_msecs - diag.last_msecs <= 500)) write_error_line(code);
    diag.last_code = code;
    diag.last_msecs = zyr.zyr_msecs;
    if ((zyr.SystemFlags & SF_DIAGNOSTICS) && (opts & ERR_OPT_DUMP) && errfile_open() && diag.dump_buf)
        write_hex_dump();
    if (action == 3 && diag_hooks.post_quit) diag_hooks.post_quit(code);
}

void zyr_message(const char* text, unsigned opts) {
    char line[MSG_LINE_LEN + 1];
    if (opts & MSG_TIME)
        snprintf(line, sizeof line, "%.8s %s", zyr.asciictime + 11, text);
    else
        snprintf(line, sizeof line, "%s", text);
    memset(diag.msgline, ' ', MSG_LINE_LEN);
    memcpy(diag.msgline, line, strlen(line));
    diag.msgline[MSG_LINE_LEN] = 0;
    if (opts & MSG_LOG) debug_printf("%s", line);
    if ((opts & MSG_BEEP) && diag_hooks.beep) diag_hooks.beep();
    if (diag_hooks.redraw_msgline) diag_hooks.redraw_msgline();
}

void msg_enter(int message) {
    msg_nest.previous = msg_nest.current;
    msg_nest.current = message;
    msg_nest.depth++;
}

void msg_leave() {
    msg_nest.current = -1;
    msg_nest.previous = -1;
    msg_nest.depth--;
}

// A trap cannot be resumed past the faulting instruction, so the handler
// latches the error and restores the default action: a second trap in the
// same place ends the program instead of looping. Floating-point traps are
// never unmasked; the flags are read by fp_check.
static void fpe_handler(int) {
    diag.fp_pending = 255;
    signal(SIGFPE, SIG_DFL);
}

int fp_install_handler() {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = fpe_handler;
    sigemptyset(&sa.sa_mask);
    if (sigaction(SIGFPE, &sa, nullptr) != 0) return -1;
    feclearexcept(FE_ALL_EXCEPT);
    return 0;
}

void fp_clear() { feclearexcept(FE_ALL_EXCEPT); }

// Underflow and inexact results are ordinary in calibrations and are not
// errors of the data.
static int pending_from_flags() {
    int f = fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
    if (f & FE_DIVBYZERO) return 131;
    if (f & FE_INVALID) return 129;
    if (f & FE_OVERFLOW) return 132;
    return 0;
}

int fp_check() {
    if (!diag.fp_pending) diag.fp_pending = pending_from_flags();
    if (!diag.fp_pending) return 0;
    const char* place;
    switch (diag.fp_pending) {
    case 129: place = "Invalid number>1"; break;
    case 131: place = "Divide by zero>1"; break;
    case 132: place = "Overflow>1"; break;
    case 133: place = "Underflow>1"; break;
    case 255: place = "Windows Float Error>1"; break;
    default: place = "Other float error>1"; break;
    }
    zyr_err(7, 2, place, zyr.eval_port, 0, 0);
    diag.fp_pending = 0;
    feclearexcept(FE_ALL_EXCEPT);
    return 7;
}

void math_error_report(int type, const char* name) {
    static const char* const kTypes[] = {"Unknown", "DOMAIN", "SING", "OVERFLOW", "UNDERFLOW", "TLOSS", "PLOSS"};
    const char* t = (type >= 1 && type <= 6) ? kTypes[type] : kTypes[0];
    char place[64];
    snprintf(place, sizeof place, "%s: %s>1", t, name);
    zyr_err(18, 1, place, zyr.eval_port, 0, 0);
}

// The library reports through errno and the exception flags; the error is
// classified, reported, and the result becomes 0.0 so the calculation goes
// on. The flags are cleared so the floating-point check does not report the
// same fault again.
static double math_result(const char* name, double r) {
    int f = fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW);
    int type = 0;
    if (errno == EDOM || (f & FE_INVALID))
        type = 1;
    else if (f & FE_DIVBYZERO)
        type = 2;
    else if (f & FE_OVERFLOW)
        type = 3;
    else if (errno == ERANGE && (f & FE_UNDERFLOW))
        type = 4;
    else if (errno == ERANGE)
        type = std::isinf(r) ? 3 : 4;
    feclearexcept(FE_ALL_EXCEPT);
    if (!type) return r;
    math_error_report(type, name);
    return 0.0;
}

double zyr_math1(const char* name, double (*fn)(double), double x) {
    feclearexcept(FE_ALL_EXCEPT);
    errno = 0;
    double r = fn(x);
    return math_result(name, r);
}

double zyr_math2(const char* name, double (*fn)(double, double), double x, double y) {
    feclearexcept(FE_ALL_EXCEPT);
    errno = 0;
    double r = fn(x, y);
    return math_result(name, r);
}

void elapsed_time_text(char* out) {
    uint32_t now = zyr.zyr_msecs;
    // The clock starts at 0, so the start-up text stays until 128 ms have run.
    if (now - g_elapsed_at >= 128) {
        uint32_t s = now / 1000;
        snprintf(g_elapsed, sizeof g_elapsed, "%04u.%02u:%02u:%02u", (s / 86400) % 10000, (s / 3600) % 24,
                 (s / 60) % 60, s % 60);
        g_elapsed_at = now;
    }
    memcpy(out, g_elapsed, 14);
}

void diagnostics_reset() {
    if (g_debug_fd >= 0) ::close(g_debug_fd);
    g_debug_fd = -1;
    g_debug_open_needed = true;
    diag_start_state();
    diag_hooks = DiagHooks{};
    msg_nest = MsgNest{-1, -1, 0};
    memset(debugbuf, 0, sizeof debugbuf);
    g_elapsed_at = 0;
    strcpy(g_elapsed, "9999.23:59:59");
}
