// The offline tools' command-line frame: one option table for every tool,
// the banner table, the start-up checks with their numbered messages, the
// overwrite prompt, the stop key, piecewise line reading and the exit
// routine through which every tool ends.
#include "tools/frame.h"

#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <iterator>
#include <strings.h>
#include <sys/stat.h>

#include "core/files.h"
#include "core/mempool.h"
#include "platform/sys.h"

static bool polled_key_pending();

ToolFrame frame = {nullptr, {}, -1, -1, nullptr};
FrameHooks frame_hooks = {polled_key_pending, plat_get_key};

// The console is flushed and the keyboard asked at most once in this many
// ms: a terminal's key test costs several system calls, and the tools
// check after every line of files with millions of them.
constexpr uint64_t kConsolePollMs = 50;
static uint64_t g_last_key_poll;
static uint64_t g_last_flush;

const char kFrameNoInput[] = "\n!! Error 1 !! No input filename\n";
const char kFrameIdentical[] = "\n!! Error !! identical infile and outfile %s\n";
const char kFrameCreateFailed[] = "\n!! Error 7 !! could not open %s file\n";
const char kFrameTerminating[] = " Program terminating...\n";

// ---- option table ---------------------------------------------------------

enum OptionKind { OPTK_TEXT, OPTK_NUMBER, OPTK_FORMAT, OPTK_SWITCH };

struct OptionDef {
    const char* name;
    OptionKind kind;
    size_t offset;       // field of ToolOptions that receives the value
};

// Indexed by OptionId.
static const OptionDef kOptionDefs[] = {
    {"every", OPTK_NUMBER, offsetof(ToolOptions, every)},
    {"informat", OPTK_FORMAT, offsetof(ToolOptions, informat)},
    {"outformat", OPTK_FORMAT, offsetof(ToolOptions, outformat)},
    {"infile", OPTK_TEXT, offsetof(ToolOptions, infile)},
    {"infile1", OPTK_TEXT, offsetof(ToolOptions, infile1)},
    {"infile2", OPTK_TEXT, offsetof(ToolOptions, infile2)},
    {"outfile", OPTK_TEXT, offsetof(ToolOptions, outfile)},
    {"start", OPTK_NUMBER, offsetof(ToolOptions, start)},
    {"end", OPTK_NUMBER, offsetof(ToolOptions, end)},
    {"page", OPTK_TEXT, offsetof(ToolOptions, page)},
    {"errcode", OPTK_NUMBER, offsetof(ToolOptions, errcode)},
    {"echo", OPTK_SWITCH, offsetof(ToolOptions, echo)},
    {"gresko", OPTK_SWITCH, offsetof(ToolOptions, gresko)},
};
static_assert(std::size(kOptionDefs) == OPT_COUNT);

const OptionId kPacketToolOptions[10] = {
    OPT_EVERY, OPT_INFORMAT, OPT_OUTFORMAT, OPT_INFILE, OPT_OUTFILE,
    OPT_START, OPT_END, OPT_PAGE, OPT_ECHO, OPT_GRESKO,
};
const OptionId kJornstadOptions[9] = {
    OPT_EVERY, OPT_INFILE1, OPT_INFILE2, OPT_OUTFILE, OPT_START,
    OPT_END, OPT_PAGE, OPT_ERRCODE, OPT_ECHO,
};
const OptionId kNavuloOptions[10] = {
    OPT_EVERY, OPT_INFILE, OPT_INFILE1, OPT_INFILE2, OPT_OUTFILE,
    OPT_START, OPT_END, OPT_PAGE, OPT_ERRCODE, OPT_ECHO,
};

// Formats are recognised by their first letters, over the count given.
struct FormatName {
    const char* name;
    size_t letters;
    PacketFormat value;
};
static const FormatName kFormats[] = {
    {"compressed", 10, FMT_COMPRESSED},
    {"raw", 3, FMT_RAW},
    {"ascii", 5, FMT_ASCII},
};
static_assert(std::size(kFormats) == 3);

// ---- banner ---------------------------------------------------------------

struct Banner {
    const char* tool;
    const char* title;
};
static const Banner kBanners[] = {
    {"voxmera", "VOXMERA Win 32 ZYR V5.0 Packet file reduction and conversion tool."},
    {"limsador", "LIMSADOR Win NT ZYR V5.02 Column File-to-ZYR Packet conversion tool."},
    {"gresko", "GRESKO Win NT ZYR V5.02 File-to-Packet conversion tool."},
    {"hulven", "HULVEN Win95/NT ZYR V5.0 Packet-to-File conversion tool."},
    {"jornstad", "JORNSTAD Win95/NT ZYR V5.0 Parameter record file splicer."},
    {"navulo", "NAVULO Win32 ZYR V5.0 ZYRERR.TXT error file expansion tool."},
};
static_assert(std::size(kBanners) == 6);

static const char kBannerNotice[] = "ZYR for Linux offline file tool. Press Q to stop.";

// ---- console --------------------------------------------------------------

static FILE* con() { return frame.con ? frame.con : stdout; }

void frame_printf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vfprintf(con(), fmt, ap);
    va_end(ap);
}

void frame_progress(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vfprintf(con(), fmt, ap);
    va_end(ap);
    uint64_t now = plat_wall_ms();
    if (now - g_last_flush >= kConsolePollMs) {
        fflush(con());
        g_last_flush = now;
    }
}

int frame_fail(int code, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vfprintf(con(), fmt, ap);
    va_end(ap);
    return code;
}

void frame_banner(const char* tool) {
    for (const Banner& b : kBanners)
        if (strcmp(b.tool, tool) == 0) frame_printf("%s\n%s\n", b.title, kBannerNotice);
}

// ---- option parsing -------------------------------------------------------

static bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The first option of the tool, in its order, whose name begins with the
// typed name (letter case ignored).
static const OptionDef* match_option(const char* typed, size_t len) {
    const ToolDesc* d = frame.desc;
    for (int i = 0; i < d->option_count; i++) {
        const OptionDef* def = &kOptionDefs[d->options[i]];
        if (strncasecmp(def->name, typed, len) == 0) return def;
    }
    return nullptr;
}

// A whole number filling the value, within 32 bits.
static bool read_number(const char* s, int32_t* v) {
    errno = 0;
    char* end;
    long long x = strtoll(s, &end, 10);
    if (end == s || *end != 0 || errno != 0 || x < INT32_MIN || x > INT32_MAX) return false;
    *v = (int32_t)x;
    return true;
}

static bool read_format(const char* s, int* v) {
    for (const FormatName& f : kFormats)
        if (strncasecmp(s, f.name, f.letters) == 0) {
            *v = f.value;
            return true;
        }
    return false;
}

// Stores a value into its field; false when the value cannot be read. A
// name too long for its field is refused rather than cut, so a tool never
// opens a file other than the one named.
static bool store_value(const OptionDef* def, const char* value) {
    char* field = (char*)&frame.opt + def->offset;
    switch (def->kind) {
    case OPTK_TEXT:
        if (strlen(value) >= (size_t)TOOL_NAME_LEN) return false;
        strcpy(field, value);
        return true;
    case OPTK_NUMBER:
        return read_number(value, (int32_t*)field);
    case OPTK_FORMAT:
        return read_format(value, (int*)field);
    case OPTK_SWITCH:
        *(bool*)field = strncasecmp(value, "yes", 3) == 0 || strncasecmp(value, "on", 2) == 0;
        return true;
    }
    return false;
}

// One option from argv[*i]; a value in the next argument advances *i.
static int parse_one(int argc, const char* const* argv, int* i) {
    const char* arg = argv[*i];
    const char* p = arg;
    if (*p == '-' || *p == '/') p++;
    const char* name = p;
    while (is_name_char(*p)) p++;
    const OptionDef* def = p > name ? match_option(name, (size_t)(p - name)) : nullptr;
    bool sep = *p == '=' || *p == ':';
    if (*p == ':' && p[1] == '=') p++;
    if (!def || !sep) return frame_fail(EXIT_FRAME_BAD_OPTION, "Unrecognised option: '%s'\n", arg);
    const char* value = p + 1;
    if (*value == 0) {
        if (*i + 1 >= argc) return frame_fail(EXIT_FRAME_BAD_OPTION, "Unrecognised option: '%s'\n", arg);
        value = argv[++*i];
        if (!store_value(def, value))
            return frame_fail(EXIT_FRAME_BAD_OPTION, "Unrecognised option: '%s %s'\n", arg, value);
    } else if (!store_value(def, value)) {
        return frame_fail(EXIT_FRAME_BAD_OPTION, "Unrecognised option: '%s'\n", arg);
    }
    frame.opt.given |= 1u << (def - kOptionDefs);
    return 0;
}

int frame_parse(int argc, const char* const* argv) {
    for (int i = 1; i < argc; i++) {
        int rc = parse_one(argc, argv, &i);
        if (rc) return rc;
    }
    return 0;
}

// ---- start-up -------------------------------------------------------------

int frame_begin(const ToolDesc* desc, int argc, const char* const* argv) {
    frame.desc = desc;
    frame.opt = *desc->defaults;
    frame.opt.given = 0;
    frame.in = -1;
    frame.out = -1;
    frame_banner(desc->name);
    return frame_parse(argc, argv);
}

static bool is_directory(const char* name) {
    struct stat st;
    return stat(name, &st) == 0 && S_ISDIR(st.st_mode);
}

int frame_open_input(const char* name, const char* missing_text, int* slot) {
    if (!name || !*name) {
        frame_printf("%s%s", missing_text, frame.desc->usage);
        return EXIT_FRAME_NO_INPUT;
    }
    int s = is_directory(name) ? -1 : zyr_fopen(name, "rb", 256);
    if (s < 0) {
        frame_printf("\n!! Error 5 !! could not open %s file\n", name);
        return EXIT_FRAME_OPEN_INPUT;
    }
    *slot = s;
    return 0;
}

// Equal names (letter case ignored, as the tools always did), or two names
// of one file: writing the output would destroy the input.
static bool same_file(const char* a, const char* b) {
    if (strcasecmp(a, b) == 0) return true;
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int frame_ask_overwrite(const char* name) {
    frame_printf("outfile %s already exists, do you wish to overwrite it Y/N ?", name);
    fflush(con());
    int key = frame_hooks.get_key();
    if (key >= 0) fputc(key, con());
    fputc('\n', con());
    if (key == 'Y' || key == 'y') return 0;
    if (key == 'N' || key == 'n') return frame.desc->refuse_exit;
    return frame.desc->other_key_exit;
}

int frame_open_output(const char* const* inputs, int n_inputs) {
    const ToolDesc* d = frame.desc;
    char* out = frame.opt.outfile;
    if (!*out) snprintf(out, TOOL_NAME_LEN, "%s", d->default_outfile);
    for (int i = 0; i < n_inputs; i++)
        if (same_file(inputs[i], out)) return frame_fail(d->identical_exit, d->identical, out);
    if (zyr_fexists(out)) {
        int rc = frame_ask_overwrite(out);
        if (rc) return rc;
    }
    frame.out = zyr_fopen(out, "w", 16384);
    if (frame.out < 0) return frame_fail(EXIT_FRAME_CREATE_OUTPUT, d->create_failed, out);
    return 0;
}

int frame_start(const ToolDesc* desc, int argc, const char* const* argv) {
    int rc = frame_begin(desc, argc, argv);
    if (rc == 0) rc = frame_open_input(frame.opt.infile, desc->no_input, &frame.in);
    if (rc) return rc;
    const char* inputs[] = {frame.opt.infile};
    return frame_open_output(inputs, 1);
}

// ---- running and ending ---------------------------------------------------

static bool polled_key_pending() {
    uint64_t now = plat_wall_ms();
    if (now - g_last_key_poll < kConsolePollMs) return false;
    g_last_key_poll = now;
    return plat_key_pending();
}

bool frame_stop_key() {
    if (!frame_hooks.key_pending()) return false;
    int key = frame_hooks.get_key();
    return key == 'Q' || key == 'q';
}

int frame_exit(int code) {
    frame_printf("\n%s", frame.desc ? frame.desc->terminating : kFrameTerminating);
    fflush(con());
    zyr_fcloseall();
    QOBfree_allmem();
    frame.in = -1;
    frame.out = -1;
    return code;
}

// ---- lines in pieces ------------------------------------------------------

int line_reader_init(LineReader* r, int slot, int cap) {
    *r = LineReader{slot, nullptr, cap, 0, true, 0};
    if (cap < 2) return -1;
    r->buf = (char*)QOBmalloc((size_t)cap);
    if (!r->buf) return -1;
    r->buf[0] = 0;
    return 0;
}

void line_reader_free(LineReader* r) {
    QOBfree(r->buf);
    r->buf = nullptr;
}

// Reads up to a line feed or a full buffer; the byte count.
static int read_piece(LineReader* r) {
    int n = 0, c = 0;
    while (n < r->cap - 1) {
        c = zyr_fgetc(r->slot);
        if (c < 0) break;
        r->buf[n++] = (char)c;
        if (c == '\n') break;
    }
    r->buf[n] = 0;
    r->len = n;
    r->line_done = c < 0 || c == '\n';
    return n;
}

int line_first(LineReader* r) {
    line_skip_rest(r);
    if (read_piece(r) == 0) {
        r->line_done = true;
        return 0;
    }
    r->lines++;
    return 1;
}

int line_next_piece(LineReader* r) {
    if (r->line_done) return 0;
    if (read_piece(r) == 0) {
        r->line_done = true;
        return 0;
    }
    return 1;
}

void line_skip_rest(LineReader* r) {
    while (line_next_piece(r)) {
    }
}

void line_copy(LineReader* r, int slot) {
    do
        zyr_fwrite(r->buf, 1, (size_t)r->len, slot);
    while (line_next_piece(r));
}

void frame_reset() {
    frame.desc = nullptr;
    frame.opt = ToolOptions{};
    frame.in = -1;
    frame.out = -1;
    frame.con = stdout;
    frame_hooks.key_pending = polled_key_pending;
    frame_hooks.get_key = plat_get_key;
    g_last_key_poll = 0;
    g_last_flush = 0;
}
