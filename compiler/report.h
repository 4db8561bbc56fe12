// How the page compiler speaks: the error and warning reports with their
// numbering and the limit of 25 shown errors, the listing file, and the
// message sink that korlw points at its message window and qorvends at the
// console. The counters of a page or of a batch run live here too.
#pragma once

#include <cstdint>

constexpr int CMP_SHOWN_ERRORS = 25;        // errors shown; later ones are only counted
constexpr int CMP_LISTING_BUFFER = 16384;   // write buffer of a listing file

// Levels of a shown message (the message window colours them).
enum : int { LVL_PLAIN = 0, LVL_WARNING = 1, LVL_ERROR = 4 };

// The compiler's run record: what the checks count and what the reports
// number. One per process; batch mode keeps the counts over many pages.
struct CompileRun {
    int page;                // page being compiled
    bool batch;              // qorvends: counts run over pages, no source echo
    int errors;              // errors counted
    int warnings;            // warnings counted
    int last_error_line;     // line of the last error
    bool page_error;         // this page had an error
    bool page_warning;       // this page had a warning
    bool block_error;        // the current top-level block had an error
    int line;                // number of the line being read (lines of the page text)
    int listing;             // listing slot, -1 when none
    int ports_written;       // value-port records written on this page
    int ports_enabled;       // of them, enabled
    int port_serial;         // value ports begun since the start (random rate start)
};
extern CompileRun cmp;

// Where shown messages go. show gets one message (it may hold line ends)
// and its level; beep sounds once. Null members fall back to standard
// output and the console bell.
struct CompilerHooks {
    void (*show)(int level, const char* text);
    void (*beep)();
};
extern CompilerHooks compiler_hooks;

// An error: counted, remembered as the last error line, flags the block
// and the page; errors 1-25 are shown and listed, the 26th says the count
// exceeds 25. Printf-style message.
void cmp_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// A warning with an optional second line; never limited.
void cmp_warning(const char* message, const char* second);

// A plain message to the sink, printf-style, at a level.
void cmp_show(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void cmp_beep();

// Copies a source line exactly as read to the listing (not in batch mode).
void cmp_listing_echo(const char* raw, int len);

// Writes text to the listing with every line end as carriage return and
// line feed, and a final line end when text has none.
void cmp_listing_line(const char* text);

// Per-page start: flags and line counter cleared; the counts too unless in
// batch mode.
void cmp_page_start(int page);

// Back to the start state (counts zero, no listing, default sink).
void report_reset();
