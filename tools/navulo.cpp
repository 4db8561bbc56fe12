// navulo: expands the error file. Each error line "hh:mm:ss msecs code"
// becomes the millisecond count and the text of the code from the error
// table; the open and close headers are copied; a range of lines, one
// error code and thinning can be chosen. Ends with a statistics block.
#include "tools/navulo.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "core/diagnostics.h"
#include "core/files.h"
#include "tools/frame.h"

constexpr int NAVULO_LINE = 256;

static const ToolOptions kNavuloDefaults = {
    .every = 0,
    .infile = "zyrerr.txt",
    .start = 1,
    .end = TOOL_END_MAX,
    .errcode = 0,
};

static const char kNavuloUsage[] =
    "\nUsage: NAVULO [infile=filename] [options]\nOptions:\noutfile=filename\nstart=number\n"
    "end=number\nevery=number\nerrcode=number\n\nE.g. 'navulo infile=zyrerr.txt "
    "outfile=navulo.txt errcode=8\n";

static const ToolDesc kNavuloDesc = {
    .name = "navulo",
    .options = kNavuloOptions,
    .option_count = 10,
    .defaults = &kNavuloDefaults,
    .usage = kNavuloUsage,
    .default_outfile = "navulo.txt",
    .no_input = kFrameNoInput,
    .identical = kFrameIdentical,
    .identical_exit = EXIT_FRAME_IDENTICAL,
    .refuse_exit = 1,
    .other_key_exit = 2,
    .create_failed = kFrameCreateFailed,
    .terminating = kFrameTerminating,
};

constexpr int NAVULO_NO_CLOCK_TIME = 3;
constexpr int NAVULO_NO_START_TIME = 6;

// What a header line does besides being copied.
enum HeaderEffect { HDR_COPY, HDR_CLOCKSTART, HDR_CLOCKSTOP };

struct HeaderWord {
    const char* word;
    HeaderEffect effect;
};
static const HeaderWord kHeaderWords[] = {
    {"Filename", HDR_COPY},
    {"Closetime", HDR_COPY},
    {"ZYR", HDR_COPY},
    {"Clockstart", HDR_CLOCKSTART},
    {"Clockstop", HDR_CLOCKSTOP},
};
static_assert(std::size(kHeaderWords) == 5);

struct NavuloState {
    LineReader r;
    bool have_start;          // a Clockstart line of this session was read
    int32_t pass_over;        // selected error lines still to pass over
    unsigned long bad_lines;  // unrecognised lines
    unsigned long bad_codes;  // codes outside the error table
};
static NavuloState nav;

// A word of the line: its start and length; the length is 0 at the end.
static const char* next_word(const char** p, size_t* len) {
    const char* w = *p + strspn(*p, " \t\r\n");
    *len = strcspn(w, " \t\r\n");
    *p = w + *len;
    return w;
}

// A whole number filling the word (the millisecond count or the code).
static bool read_whole(const char* w, size_t len, long long* v) {
    char text[24];
    if (len == 0 || len >= sizeof text) return false;
    memcpy(text, w, len);
    text[len] = 0;
    errno = 0;
    char* end;
    *v = strtoll(text, &end, 10);
    return *end == 0 && errno == 0;
}

static int line_text_len(const char* s) { return (int)strcspn(s, "\r\n"); }

static void unrecognised(int64_t number) {
    frame_printf("Skipping invalid line number %lld: %.*s\n", (long long)number,
                 line_text_len(nav.r.buf), nav.r.buf);
    nav.bad_lines++;
}

// The header word that begins the current line, or null.
static const HeaderWord* header_of(const char* w, size_t len) {
    for (const HeaderWord& h : kHeaderWords)
        if (strlen(h.word) == len && strncmp(h.word, w, len) == 0) return &h;
    return nullptr;
}

static bool has_clock_time() { return strpbrk(nav.r.buf, "0123456789") != nullptr; }

// Clockstart opens a session with a start time, Clockstop closes it.
static void follow_session(const HeaderWord* h) {
    if (h->effect == HDR_CLOCKSTART && has_clock_time()) nav.have_start = true;
    if (h->effect == HDR_CLOCKSTOP) nav.have_start = false;
}

static int header_line(const HeaderWord* h) {
    nav.pass_over = 0;
    if (h->effect == HDR_CLOCKSTART && !has_clock_time()) {
        frame_printf("!! Error 3 !! Cannot find the clock time on line\n%.*s\n",
                     line_text_len(nav.r.buf), nav.r.buf);
        return NAVULO_NO_CLOCK_TIME;
    }
    follow_session(h);
    line_copy(&nav.r, frame.out);
    return 0;
}

// A line before start is not looked at, but the session it belongs to
// still counts: an error line after start needs the start time of the
// session it lies in.
static void skipped_line() {
    const char* p = nav.r.buf;
    size_t len;
    const char* w = next_word(&p, &len);
    const HeaderWord* h = header_of(w, len);
    if (h) follow_session(h);
}

static void write_expanded(unsigned long msecs, long long code) {
    char unknown[48];
    const char* text;
    if (code >= 1 && code < ZYR_ERR_CODES) {
        text = kErrorTexts[code];
    } else {
        snprintf(unknown, sizeof unknown, "%04lld !! UNRECOGNISED ERROR CODE !!", code);
        text = unknown;
        nav.bad_codes++;
    }
    zyr_fprintf(frame.out, "%10lu %s\n", msecs, text);
}

// One line looked at; 0, or the exit code that ends the tool.
static int navulo_line(int64_t number) {
    const char* p = nav.r.buf;
    size_t len;
    const char* w = next_word(&p, &len);
    if (len == 0) {
        unrecognised(number);
        return 0;
    }
    if (const HeaderWord* h = header_of(w, len)) return header_line(h);
    long long msecs, code;
    w = next_word(&p, &len);
    bool ok = read_whole(w, len, &msecs) && msecs >= 0 && (unsigned long long)msecs <= 0xFFFFFFFFull;
    w = next_word(&p, &len);
    if (!ok || !read_whole(w, len, &code)) {
        unrecognised(number);
        return 0;
    }
    if (frame.opt.errcode != 0 && code != frame.opt.errcode) return 0;
    if (nav.pass_over > 0) {
        nav.pass_over--;
        return 0;
    }
    if (!nav.have_start)
        return frame_fail(NAVULO_NO_START_TIME,
                          "!! Error 6 !! Cannot compute the absolute time because no preceeding\n"
                          "'Clockstart' time has been found for this session.\n");
    write_expanded((unsigned long)msecs, code);
    nav.pass_over = frame.opt.every;
    return 0;
}

static void statistics() {
    frame_printf("\nStatistics\n----------\n");
    frame_printf("Total lines in error file = %lu\n", (unsigned long)nav.r.lines);
    frame_printf("Total unrecognised lines in file = %lu\n", nav.bad_lines);
    frame_printf("Total unrecognised codes in file = %lu\n", nav.bad_codes);
    frame_printf("----------\n");
}

static int navulo_run(int argc, const char* const* argv) {
    int rc = frame_start(&kNavuloDesc, argc, argv);
    if (rc) return rc;
    ToolOptions* o = &frame.opt;
    if (o->start < 1) o->start = 1;
    if (o->every < 0) o->every = 0;
    navulo_reset();
    if (line_reader_init(&nav.r, frame.in, NAVULO_LINE) != 0)
        return frame_fail(EXIT_FRAME_INIT, "\n!! Error 8 !! initialisation failure %d\n", -1);
    for (int64_t number = 1; number < o->start; number++) {
        if (!line_first(&nav.r)) return 0;
        skipped_line();
        if (frame_stop_key()) return EXIT_FRAME_STOP_KEY;
    }
    for (int64_t number = o->start; number <= o->end && line_first(&nav.r); number++) {
        rc = navulo_line(number);
        if (rc) return rc;
        if (frame_stop_key()) return EXIT_FRAME_STOP_KEY;
    }
    statistics();
    return 0;
}

int navulo_main(int argc, const char* const* argv) {
    return frame_exit(navulo_run(argc, argv));
}

void navulo_reset() { nav = NavuloState{}; }
