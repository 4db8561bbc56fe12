// jornstad: splices two parameter record files into one, in time order.
// Each data line begins with its time; an output line carries the time, the
// values of file 1 and the values of file 2, the file that has no line at
// that time contributing the last values it gave ("****" before its first).
// Header lines are copied as they are met. Memory is two line buffers and
// two last-value buffers per run, whatever the file sizes.
#include "tools/jornstad.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "core/files.h"
#include "core/mempool.h"
#include "tools/frame.h"

constexpr int JORN_LINE = 256;

static const ToolOptions kJornstadDefaults = {
    .every = 1,
    .start = 1,
    .end = TOOL_END_MAX,
};

static const char kJornstadUsage[] =
    "\nUsage: JORNSTAD infile1=filename infile2=filename [options]\nOptions\noutfile=filename\n"
    "\n\nE.g. 'jornstad infile1=parm1.txt infile2=parm2.txt outfile=out.txt\n";
static const char kNoInput1[] = "!! Error 1 !! No input filename\n";
static const char kNoInput2[] = "!! Error 1 !! No second input filename, option 'infile2'\n";
static const char kIgnoredWarning[] =
    "\n!! Warning !! end, start, skip or everyn are invalid options\nand will be ignored by "
    "this program\n";

static const ToolDesc kJornstadDesc = {
    .name = "jornstad",
    .options = kJornstadOptions,
    .option_count = 9,
    .defaults = &kJornstadDefaults,
    .usage = kJornstadUsage,
    .default_outfile = "jornstad.txt",
    .no_input = kNoInput1,
    .identical = "\n!! Error 4 !! identical infile and outfile %s\n",
    .identical_exit = 4,
    .refuse_exit = 9,
    .other_key_exit = 9,
    .create_failed = "\n!! Error !! could not open %s file\n",
    .terminating = " JORNSTAD program terminating...",
};

constexpr int JORN_STOP_EXIT = 12;

// First words of the record file header and trailer lines.
static const char* const kHeaderWords[] = {
    "Filename",
    "Clockstart",
    "Clockstop",
    "Closetime",
    "ZYR",
};
static_assert(std::size(kHeaderWords) == 5);

// One input file and the data line waiting in it.
struct JornFile {
    int number;              // 1 or 2, as the messages name it
    const char* name;
    LineReader r;
    bool have;               // a data line is waiting
    double time;
    const char* time_text;   // the time as written, inside r.buf
    const char* values;      // the rest of the line, inside r.buf
    char* last;              // the values of its last line written (pool)
    bool seen;               // last holds values
};

static JornFile g_files[2];

static const char kWordEnds[] = " \t,\r\n";

static bool is_header_word(const char* w, size_t len) {
    for (const char* h : kHeaderWords)
        if (strlen(h) == len && strncmp(h, w, len) == 0) return true;
    return false;
}

// The time word: a decimal number that fills the word.
static bool read_time(const char* w, size_t len, double* t) {
    if (len == 0 || !strchr("0123456789+-.", *w)) return false;
    char* end;
    *t = strtod(w, &end);
    return end == w + len && std::isfinite(*t);
}

static void skip_invalid(JornFile* f) {
    frame_printf("Skipping invalid line %d in file ", (int)f->r.lines);
    frame_printf("no. %d '%s'\n", f->number, f->name);
}

// Copies a header line to the output, ending it when the file did not.
static void copy_header(JornFile* f) {
    line_copy(&f->r, frame.out);
    if (f->r.len == 0 || f->r.buf[f->r.len - 1] != '\n') zyr_fputs("\n", frame.out, 1);
}

// Reads up to the next data line of f, copying header lines and passing
// over invalid lines on the way. A data line longer than the buffer is
// invalid: its values could not be carried whole into other lines.
static void next_data_line(JornFile* f) {
    f->have = false;
    while (line_first(&f->r)) {
        char* p = f->r.buf + strspn(f->r.buf, " \t");
        size_t len = strcspn(p, kWordEnds);
        if (is_header_word(p, len)) {
            copy_header(f);
            continue;
        }
        if (!f->r.line_done || !read_time(p, len, &f->time)) {
            skip_invalid(f);
            continue;
        }
        char* values = p + len;
        if (*values) *values++ = 0;
        values += strspn(values, " \t");
        values[strcspn(values, "\r\n")] = 0;
        f->time_text = p;
        f->values = values;
        f->have = true;
        return;
    }
}

static void write_merged(const char* time, const char* v1, const char* v2) {
    zyr_fputs(time, frame.out, 0);
    zyr_fputs(" ", frame.out, 0);
    zyr_fputs(v1, frame.out, 0);
    zyr_fputs(" ", frame.out, 0);
    zyr_fputs(v2, frame.out, 0);
    zyr_fputs("\n", frame.out, 1);
}

static const char* last_values(const JornFile* f) { return f->seen ? f->last : "****"; }

// The line of f has been written: its values become the last seen.
static void advance(JornFile* f) {
    snprintf(f->last, JORN_LINE, "%s", f->values);
    f->seen = true;
    next_data_line(f);
}

static int merge() {
    JornFile* f1 = &g_files[0];
    JornFile* f2 = &g_files[1];
    next_data_line(f1);
    next_data_line(f2);
    while (f1->have || f2->have) {
        if (f1->have && (!f2->have || f1->time < f2->time)) {
            write_merged(f1->time_text, f1->values, last_values(f2));
            advance(f1);
        } else if (f1->have && f2->have && f1->time == f2->time) {
            write_merged(f1->time_text, f1->values, f2->values);
            advance(f1);
            advance(f2);
        } else {
            write_merged(f2->time_text, last_values(f1), f2->values);
            advance(f2);
        }
        if (frame_stop_key()) return JORN_STOP_EXIT;
    }
    return 0;
}

static int open_file(JornFile* f, int number, const char* name, int slot) {
    *f = JornFile{};
    f->number = number;
    f->name = name;
    f->last = (char*)QOBmalloc(JORN_LINE);
    if (!f->last || line_reader_init(&f->r, slot, JORN_LINE) != 0)
        return frame_fail(EXIT_FRAME_INIT, "\n!! Error 8 !! initialisation failure %d\n", -1);
    return 0;
}

void jornstad_reset() {
    for (JornFile& f : g_files) f = JornFile{};
}

static int jornstad_run(int argc, const char* const* argv) {
    int rc = frame_begin(&kJornstadDesc, argc, argv);
    if (rc) return rc;
    ToolOptions* o = &frame.opt;
    if (o->given & (1u << OPT_START | 1u << OPT_END | 1u << OPT_EVERY)) frame_printf("%s", kIgnoredWarning);
    int in1, in2;
    rc = frame_open_input(o->infile1, kNoInput1, &in1);
    if (rc == 0) rc = frame_open_input(o->infile2, kNoInput2, &in2);
    if (rc) return rc;
    const char* inputs[] = {o->infile1, o->infile2};
    rc = frame_open_output(inputs, 2);
    if (rc == 0) rc = open_file(&g_files[0], 1, o->infile1, in1);
    if (rc == 0) rc = open_file(&g_files[1], 2, o->infile2, in2);
    if (rc == 0) rc = merge();
    if (rc) return rc;
    frame_printf("\n");
    return 0;
}

int jornstad_main(int argc, const char* const* argv) {
    return frame_exit(jornstad_run(argc, argv));
}
