// limsador: turns a text file of numeric columns into packets, one packet
// per line: a 32-bit serial number, then one IEEE single per column, so a
// table of numbers can be played back and displayed by vantor. Lines are
// read whole into one buffer; memory does not grow with the file.
#include "tools/limsador.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "tools/pkttool.h"

static const ToolOptions kLimsadorDefaults = {
    .every = 1,
    .start = 1,
    .end = TOOL_END_MAX,
    .page = "PAGE0000.BIN",
};

static const char kLimsadorUsage[] =
    "\nUsage: limsador infile=filename [options]\nOptions\noutfile=filename\npage=filename\n\n\n"
    "E.g. 'limsador infile=colfile.txt outfile=pckfile.dat page=c:\\zyrv5\\page0000.bin\n";

static const ToolDesc kLimsadorDesc = {
    .name = "limsador",
    .options = kPacketToolOptions,
    .option_count = 10,
    .defaults = &kLimsadorDefaults,
    .usage = kLimsadorUsage,
    .default_outfile = "limsador.dat",
    .no_input = kFrameNoInput,
    .identical = kFrameIdentical,
    .identical_exit = EXIT_FRAME_IDENTICAL,
    .refuse_exit = 1,
    .other_key_exit = 2,
    .create_failed = kFrameCreateFailed,
    .terminating = kFrameTerminating,
};

static const char kWordChars[] = "0123456789+-.eE";
static const char kBlanks[] = " \t\r\n\v\f";

static uint8_t* g_packet;
static LineReader g_lines;

int limsador_packet_length() { return pkt_layout.fixed_len ? pkt_layout.fixed_len : VARPKT_WINDOW; }

// One word as a single-precision number, stored little-endian at out.
// Values beyond the range of a single cannot be stored and make the word
// unreadable; values too small for it become the nearest single (zero).
static bool read_word(char* w, size_t len, uint8_t* out) {
    char keep = w[len];
    w[len] = 0;
    char* end;
    double v = strtod(w, &end);
    w[len] = keep;
    if (end != w + len || !std::isfinite(v) || std::fabs(v) > FLT_MAX) return false;
    float f = (float)v;
    if (out) memcpy(out, &f, 4);
    return true;
}

int limsador_parse(char* line, uint8_t* values, int max, int* columns) {
    *columns = 0;
    char* p = line + strspn(line, kBlanks);
    while (*p) {
        size_t len = strcspn(p, kBlanks);
        if (strspn(p, kWordChars) < len) return LIMS_BAD_CHAR;
        if (!read_word(p, len, *columns < max ? values + 4 * *columns : nullptr)) return LIMS_BAD_NUMBER;
        ++*columns;
        p += len;
        p += strspn(p, kBlanks);
    }
    return LIMS_OK;
}

// The line without its line end, for the messages.
static const char* bare_line(char* line) {
    line[strcspn(line, "\r\n")] = 0;
    return line;
}

// A progress line ends in a carriage return; a message or an echoed line
// after it starts on a line of its own, so that it does not print over it.
static bool g_progress_shown;

static void end_progress_line() {
    if (g_progress_shown) frame_printf("\n");
    g_progress_shown = false;
}

static void show_progress(uint32_t serial) {
    frame_progress("Writing packet number %5hu ...\r", (unsigned short)(serial + 1));
    g_progress_shown = true;
}

static void show_bytes(int len, uint64_t total) {
    frame_progress("Compressing %5hu bytes...Bytes written = %lu\r", (unsigned short)len, (unsigned long)total);
    g_progress_shown = true;
}

struct Run {
    uint32_t serial;      // serial number of the next packet
    uint64_t bytes;       // bytes written
    Progress progress;
    int len;              // packet length
    int max_columns;      // columns that fit after the serial number
};

// Converts the line in g_lines into a packet and writes it. Unreadable
// lines are skipped with their message; blank lines hold no values and
// give no packet.
static void convert_line(Run* run, int64_t number) {
    const PacketLayout& l = pkt_layout;
    char* line = g_lines.buf;
    if (line[strspn(line, kBlanks)] == 0) return;
    uint8_t* values = g_packet + l.header_len + 4;
    int columns;
    // A NUL byte would hide the rest of the line from the parse.
    int rc = strlen(line) < (size_t)g_lines.len ? LIMS_BAD_CHAR : limsador_parse(line, values, run->max_columns, &columns);
    if (rc != LIMS_OK) end_progress_line();
    if (rc == LIMS_BAD_CHAR) {
        frame_printf("Skipping invalid line number %ld\n%s\n", (long)number, bare_line(line));
        return;
    }
    if (rc == LIMS_BAD_NUMBER) {
        frame_printf("Skipping invalid line number %d\n%s\n", (int)number, bare_line(line));
        return;
    }
    if (columns > run->max_columns) {
        end_progress_line();
        frame_printf("Too many columns - packet size %hu less than %d\ncolumns requiring %ld bytes per column\n",
                     (unsigned short)(l.data_len), columns, 4L);
    }
    pkttool_build_header(g_packet, run->serial);
    int used = l.header_len + 4 + 4 * (columns < run->max_columns ? columns : run->max_columns);
    memset(g_packet + used, 0, (size_t)(run->len - used));
    memcpy(g_packet + l.header_len, &run->serial, 4);
    packet_put_checksum(g_packet, run->len);
    bool due = progress_due(&run->progress);
    if (due) show_progress(run->serial);
    zyr_fwrite(g_packet, 1, (size_t)run->len, frame.out);
    run->serial++;
    run->bytes += (uint64_t)run->len;
    if (frame.opt.echo) {
        end_progress_line();
        frame_printf("%s\n", bare_line(line));
    }
    if (due) show_bytes(run->len, run->bytes);
}

static int convert_lines(Run* run) {
    const ToolOptions* o = &frame.opt;
    int64_t number = 1;
    for (; number < o->start; number++) {
        if (!line_first(&g_lines)) return 0;
        if (pkttool_stop_key()) return EXIT_FRAME_STOP_KEY;
    }
    int phase = 0, rc = 0;
    while (line_first(&g_lines)) {
        // A line longer than the buffer cannot be told from its pieces.
        bool whole = g_lines.line_done;
        if (phase == 0) {
            if (number > o->end) break;
            if (whole) {
                convert_line(run, number);
            } else {
                end_progress_line();
                frame_printf("Skipping invalid line number %ld\n%s...\n", (long)number, bare_line(g_lines.buf));
            }
        }
        if (pkttool_stop_key()) {
            rc = EXIT_FRAME_STOP_KEY;
            break;
        }
        number++;
        phase = (phase + 1) % o->every;
    }
    if (run->progress.pending) {
        show_progress(run->serial - 1);
        show_bytes(run->len, run->bytes);
    }
    return rc;
}

static int limsador_run(int argc, const char* const* argv) {
    int rc = pkttool_start(&kLimsadorDesc, argc, argv);
    if (rc == 0) rc = pkttool_load_format(false);
    if (rc) return rc;
    ToolOptions* o = &frame.opt;
    if (o->start < 1) o->start = 1;
    if (o->end < 1) o->end = 1;
    if (o->every < 1) o->every = 1;
    Run run{};
    run.len = limsador_packet_length();
    pkt_layout.data_len = run.len - pkt_layout.header_len;
    if (pkt_layout.data_len < 4) return pkttool_too_small(run.len);
    run.max_columns = (pkt_layout.data_len - 4) / 4;
    g_packet = (uint8_t*)QOBmalloc((size_t)run.len);
    if (!g_packet || line_reader_init(&g_lines, frame.in, LIMSADOR_LINE) != 0)
        return frame_fail(EXIT_FRAME_INIT, "\n!! Error 8 !! initialisation failure %d\n", -1);
    rc = convert_lines(&run);
    if (rc == 0) rc = pkttool_finish_output();
    if (rc == 0) frame_printf("\n");
    return rc;
}

void limsador_reset() {
    g_progress_shown = false;
    QOBfree(g_packet);
    g_packet = nullptr;
    line_reader_free(&g_lines);
}

int limsador_main(int argc, const char* const* argv) {
    int rc = limsador_run(argc, argv);
    limsador_reset();
    pkttool_release();
    return frame_exit(rc);
}
