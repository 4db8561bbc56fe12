// Diagnostics: the fixed error table, the error reporter with its status
// lines and error file, the debug log, the message line, the message
// nesting record, floating-point and math error handling, elapsed time text.
#pragma once

#include <cstdint>

constexpr int ZYR_ERR_CODES = 22;   // 0..21
extern const char* const kErrorTexts[ZYR_ERR_CODES];

// Report options.
enum : unsigned {
    ERR_OPT_DUMP = 0x1,     // hex dump of the current packet (with diagnostics on)
    ERR_OPT_REDRAW = 0x2,   // redraw the value ports that show the status lines
};

constexpr int STATUS_LINE_LEN = 32;
constexpr int MSG_LINE_LEN = 78;
constexpr int DEBUG_BUF_LEN = 512;

// Reporter state.
struct DiagState {
    char status1[STATUS_LINE_LEN + 1];     // table text of the last error, centred
    char status2[STATUS_LINE_LEN + 1];     // place text and values, centred
    char last_err_time[32];                // asciictime at the last error
    int last_code;                         // initially 6
    uint32_t last_msecs;                   // zyr_msecs of the last report
    bool reported_once;                    // a report has been made since start
    int errfile;                           // slot of zyrerr.txt, -1 when not open
    const uint8_t* dump_buf;               // the current packet for hex dumps
    int dump_len;
    char msgline[MSG_LINE_LEN + 1];        // the message line
    int fp_pending;                        // pending floating-point error, 0 none
};
extern DiagState diag;

// The debug message buffer: callers format a line into it, then call
// debug_msg.
extern char debugbuf[DEBUG_BUF_LEN];

// Hooks the program fills: posting the quit message, and redrawing the
// value ports that show the status lines or the message line.
struct DiagHooks {
    void (*post_quit)(int code);
    void (*redraw_status)();
    void (*redraw_msgline)();
    void (*beep)();
};
extern DiagHooks diag_hooks;

// The error reporter.
void zyr_err(int code, int action, const char* place, int32_t v1, int32_t v2, unsigned opts);

// Appends debugbuf as one line to "debugmsg"; a non-zero argument closes the
// log afterwards (the next line reopens it).
void debug_msg(int close);
// Closes the debug log with its close line, writing nothing else; the next
// line reopens it. Nothing when it is not open.
void debug_log_close();
// printf into debugbuf, then debug_msg(0).
void debug_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// "%s qoberr %d lasterr %d WM_MESSAGE 0x%0x".
void debug_err_line(const char* place, int n);

// The message line: blanks it and writes the text; option 0x4 puts the
// time text and a blank before it, 0x1 also logs it, 0x2 beeps once.
enum : unsigned { MSG_LOG = 0x1, MSG_BEEP = 0x2, MSG_TIME = 0x4 };
void zyr_message(const char* text, unsigned opts);

// Centres src in a field of width characters (extra blank to the left) and
// writes width characters and a NUL to dst; src is cut to width first.
void centre_text(char* dst, const char* src, int width);

// Message nesting record.
struct MsgNest {
    int current;
    int previous;
    int depth;
};
extern MsgNest msg_nest;
void msg_enter(int message);
void msg_leave();

// Floating-point errors. On this platform the floating-point unit raises
// flags rather than traps; the check reads and clears them, so a fault shows
// once per port however often it happened.
int fp_install_handler();      // 0, or -1 when the handler cannot be installed
int fp_check();                // 7 when it reported, else 0
void fp_clear();

// Math library errors: a calibration calls the library through these; a
// domain, pole, overflow or underflow error is reported as error 18 with the
// function's name and the result becomes 0.0.
double zyr_math1(const char* name, double (*fn)(double), double x);
double zyr_math2(const char* name, double (*fn)(double, double), double x, double y);
// Reports a math error of type 1..6 (DOMAIN .. PLOSS) in function name.
void math_error_report(int type, const char* name);

// The 13-character elapsed time text "dddd.hh:mm:ss" of zyr_msecs.
void elapsed_time_text(char* out);

// Where the error file line and dumps go; -1 closes the link.
void diag_set_errfile(int slot);

// Back to the start state (closes the debug log).
void diagnostics_reset();
