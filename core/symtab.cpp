// The symbol table of the page vocabulary and the tables of colours, views
// and calibration functions behind it. The tables here are the only place
// where a token, view length or function number is written down.
#include "core/symtab.h"

#include <cstring>
#include <iterator>

#include "core/mempool.h"

struct Keyword {
    const char* name;
    int token;
};

// Every name with a token of its own (not a colour, view or function),
// in token order except autolabel, which must go in before the view kbstat
// so that token 140 names kbstat.
static const Keyword kKeywords[] = {
    {"[subcom]", TOK_SUBCOM},
    {"[valueport]", TOK_VALUEPORT},
    {"[plotport]", TOK_PLOTPORT},
    {"[calibration]", TOK_CALIBRATION},
    {"[polynomial]", TOK_POLYNOMIAL},
    {"[bitoperation]", TOK_BITOPERATION},
    {"[alarm]", TOK_ALARM},
    {"enable", TOK_ENABLE},
    {"view", TOK_VIEW},
    {"byteindex", TOK_BYTEINDEX},
    {"rawformat", TOK_RAWFORMAT},
    {"title", TOK_TITLE},
    {"drawenable", TOK_DRAWENABLE},
    {"supercommincr", TOK_SUPERCOMMINCR},
    {"border", TOK_BORDER},
    {"bordercolor", TOK_BORDERCOLOR},
    {"displayformat", TOK_DISPLAYFORMAT},
    {"displayrate", TOK_DISPLAYRATE},
    {"processrate", TOK_PROCESSRATE},
    {"backgroundcolor", TOK_BACKGROUNDCOLOR},
    {"titlecolor", TOK_TITLECOLOR},
    {"valuecolor", TOK_VALUECOLOR},
    {"units", TOK_UNITS},
    {"row", TOK_ROW},
    {"column", TOK_COLUMN},
    {"width", TOK_WIDTH},
    {"height", TOK_HEIGHT},
    {"xtitle", TOK_XTITLE},
    {"ytitle", TOK_YTITLE},
    {"plotmode", TOK_PLOTMODE},
    {"plotcolor", TOK_PLOTCOLOR},
    {"plotgrid", TOK_PLOTGRID},
    {"gridcolor", TOK_GRIDCOLOR},
    {"xlower", TOK_XLOWER},
    {"xupper", TOK_XUPPER},
    {"ylower", TOK_YLOWER},
    {"yupper", TOK_YUPPER},
    {"axiscolor", TOK_AXISCOLOR},
    {"axislabelcolor", TOK_AXISLABELCOLOR},
    {"avgsamples", TOK_AVGSAMPLES},
    {"varpktlen", TOK_VARPKTLEN},
    {"calmode", TOK_CALMODE},
    {"function", TOK_FUNCTION},
    {"a0", TOK_A0},
    {"a1", TOK_A1},
    {"a2", TOK_A2},
    {"a3", TOK_A3},
    {"a4", TOK_A4},
    {"bitmask", TOK_BITMASK},
    {"upperlimit", TOK_UPPERLIMIT},
    {"lowerlimit", TOK_LOWERLIMIT},
    {"filename", TOK_FILENAME},
    {"blink", TOK_BLINK},
    {"supercommcount", TOK_SUPERCOMMCOUNT},
    {"autoplot", TOK_AUTOPLOT},
    {"lineplot", TOK_LINEPLOT},
    {"forwardplot", TOK_FORWARDPLOT},
    {"backwardplot", TOK_BACKWARDPLOT},
    {"autoplotx", TOK_AUTOPLOTX},
    {"autoploty", TOK_AUTOPLOTY},
    {"autorefreshx", TOK_AUTOREFRESHX},
    {"autorefreshy", TOK_AUTOREFRESHY},
    {"autorefresh", TOK_AUTOREFRESH},
    {"modulus", TOK_MODULUS},
    {"quotient", TOK_QUOTIENT},
    {"databasename", TOK_DATABASENAME},
    {"databasekey", TOK_DATABASEKEY},
    {"mnemonic", TOK_MNEMONIC},
    {"datatype", TOK_DATATYPE},
    {"invert", TOK_INVERT},
    {"stepmode", TOK_STEPMODE},
    {"sbtagcount", TOK_SBTAGCOUNT},
    {"cvtype", TOK_CVTYPE},
    {"portno", TOK_PORTNO},
    {"subcomtag", TOK_SUBCOMTAG},
    {"maxpoints", TOK_MAXPOINTS},
    {"autolabel", TOK_AUTOLABEL},
    {"yes", TOK_YES},
    {"no", TOK_NO},
    {"on", TOK_ON},
    {"off", TOK_OFF},
    {"free_disk", TOK_FREE_DISK},
    {"[packet]", TOK_PACKET},
    {"[sync]", TOK_SYNC},
    {"length", TOK_LENGTH},
    {"pattern", TOK_PATTERN},
    {"mask", TOK_MASK},
    {"fixedpacketlength", TOK_FIXEDPACKETLENGTH},
    {"packetcounterlength", TOK_PACKETCOUNTERLENGTH},
    {"sumcheck", TOK_SUMCHECK},
    {"reportsyncloss", TOK_REPORTSYNCLOSS},
    {"time", TOK_TIME},
    {"spare", TOK_SPARE},
    {"[system]", TOK_SYSTEM},
    {"diagnostics", TOK_DIAGNOSTICS},
    {"backup", TOK_BACKUP},
    {"sound", TOK_SOUND},
    {"[tuning]", TOK_TUNING},
    {"looptime", TOK_LOOPTIME},
    {"autotune", TOK_AUTOTUNE},
    {"timings", TOK_TIMINGS},
    {"[input]", TOK_INPUT},
    {"[file]", TOK_FILE},
    {"timeoutperiod", TOK_TIMEOUTPERIOD},
    {"format", TOK_FORMAT},
    {"[serial]", TOK_SERIAL},
    {"comport", TOK_COMPORT},
    {"backupperiod", TOK_BACKUPPERIOD},
    {"baud", TOK_BAUD},
    {"databits", TOK_DATABITS},
    {"stopbits", TOK_STOPBITS},
    {"parity", TOK_PARITY},
    {"bufsize", TOK_BUFSIZE},
    {"[output]", TOK_OUTPUT},
    {"[filter]", TOK_FILTER},
    {"[api]", TOK_API},
    {"apireadbyte", TOK_APIREADBYTE},
    {"apiwritebyte", TOK_APIWRITEBYTE},
    {"apireadpkt", TOK_APIREADPKT},
    {"apiwritepkt", TOK_APIWRITEPKT},
    {"[testdata]", TOK_TESTDATA},
    {"asciiout", TOK_ASCIIOUT},
    {"echo", TOK_ECHO},
    {"filemode", TOK_FILEMODE},
    {"openoneof", TOK_OPENONEOF},
    {"flushperiod", TOK_FLUSHPERIOD},
    {"[network]", TOK_NETWORK},
    {"tcpportno", TOK_TCPPORTNO},
    {"udpportno", TOK_UDPPORTNO},
    {"tcpprotocol", TOK_TCPPROTOCOL},
    {"udpprotocol", TOK_UDPPROTOCOL},
    {"[video]", TOK_VIDEO},
    {"monochrome", TOK_MONOCHROME},
    {"windowbackcolor", TOK_WINDOWBACKCOLOR},
    {"windowforecolor", TOK_WINDOWFORECOLOR},
    {"ccsds", TOK_CCSDS},
};
static_assert(std::size(kKeywords) == 136);

// By colour index; token = 95 + index.
static const char* const kColourNames[] = {
    "black",
    "blue",
    "green",
    "cyan",
    "red",
    "magenta",
    "brown",
    "lightgrey",
    "darkgrey",
    "highblue",
    "highgreen",
    "highcyan",
    "highred",
    "highmagenta",
    "yellow",
    "white",
    "monoforeground",
    "monobackground",
};
static_assert(std::size(kColourNames) == COLOUR_COUNT);

// By view number; token = 113 + view. The lengths of the buffers allocated
// at start-up are the sizes they are allocated with.
static const ViewInfo kViews[] = {
    {"packetheader", 32767, 0},
    {"zyr_flags", 4, 0},
    {"zyr_msecs", 4, 0},
    {"zyr_secs", 4, 0},
    {"page_no", 4, 0},
    {"zyrfr_cnt", 4, 0},
    {"vtelfr_cnt", 4, 0},
    {"packetdata", 32639, 0},
    {nullptr, 40, 0},
    {"ramstart", 40, 0},
    {"com_err_fnno", 20, 0},
    {"com_err_portno", 20, 0},
    {"com_err_data", 20, 0},
    {"com_err_code", 20, 0},
    {nullptr, 20, 0},
    {"sys_bytes_written", 16, 0},
    {"sys_bytes_read", 16, 0},
    {"com_regs", 24, 0},
    {"com_table", 64, 0},
    {"com_cflgs", 4, 0},
    {"key_table", 40, 0},
    {"sample_count", 40, 0},
    {"err_upper", 33, 0},
    {"err_lower", 33, 0},
    {"debug_int", 40, 0},
    {"debug_long", 40, 0},
    {"debug_string", 81, 0},
    {"kbstat", 4, 0},
    {"keyseqs", 4, 0},
    {"c_ltime", 4, 0},
    {"meanfr_usecs", 128, 0},
    {"meanallfr_usecs", 4, 0},
    {"recd_pback", 4, 0},
    {"video_config", 22, 0},
    {"zyr_loop_time", 4, 0},
    {"free_ram", 4, 0},
    {"zyr_stats", 1024, VIEW_ALLOC_AT_START},
    {"qob_files", 8192, 0},
    {"cpli_buffer1", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer2", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer3", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer4", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer5", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer6", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer7", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer8", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer9", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer10", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer11", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer12", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer13", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer14", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer15", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer16", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer17", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer18", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer19", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer20", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer21", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer22", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer23", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer24", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer25", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer26", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer27", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer28", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer29", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer30", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer31", 16, VIEW_ALLOC_AT_START},
    {"cpli_buffer32", 16, VIEW_ALLOC_AT_START},
};
static_assert(std::size(kViews) == VIEW_COUNT);

struct CalibFn {
    const char* name;
    CalibFamily family;
};

constexpr CalibFamily P = FAMILY_PLAIN;
constexpr CalibFamily POLY = FAMILY_POLYNOMIAL;
constexpr CalibFamily BIT = FAMILY_BITOP;

// By function number; token = 184 + number. The evaluation's function
// table is indexed by the same numbers.
static const CalibFn kCalibFns[] = {
    {"dummy_calibfn", P},
    {"asciictime", P},
    {"elapsed_time", P},
    {"zyrcentretext", P},
    {"dummy_calibfn1", P},
    {"dummy_calibfn2", P},
    {"telmconfig", P},
    {"hexchartext", P},
    {"integerbyteswap", P},
    {"testbit", BIT},
    {"packetbar", P},
    {"polynomial", POLY},
    {"unused_1", P},
    {"unused_2", P},
    {"isprintchar", P},
    {"ntestbit", BIT},
    {"onoffbit", BIT},
    {"nonoffbit", BIT},
    {"openclosebit", BIT},
    {"nopenclosebit", BIT},
    {"endisbit", BIT},
    {"nendisbit", BIT},
    {"userfn1", P},
    {"userfn2", P},
    {"userfn3", P},
    {"userfn4", P},
    {"userfn5", P},
    {"userfn6", P},
    {"userfn7", P},
    {"userfn8", P},
    {"userfn9", P},
    {"userfn10", P},
    {"userfn11", P},
    {"userfn12", P},
    {"userfn13", P},
    {"userfn14", P},
    {"userfn15", P},
    {"userfn16", P},
    {"longbyteswap", P},
    {"doublebyteswap", P},
    {"acos", POLY},
    {"asin", POLY},
    {"atan", POLY},
    {"ceil", POLY},
    {"cos", POLY},
    {"cosh", POLY},
    {"exp", POLY},
    {"fabs", POLY},
    {"floor", POLY},
    {"j0", POLY},
    {"j1", POLY},
    {"log", POLY},
    {"log10", POLY},
    {"sin", POLY},
    {"sinh", POLY},
    {"sqrt", POLY},
    {"tan", POLY},
    {"tanh", POLY},
    {"y0", POLY},
    {"y1", POLY},
    {"userfn17", P},
    {"userfn18", P},
    {"userfn19", P},
    {"userfn20", P},
    {"userfn21", P},
    {"userfn22", P},
    {"userfn23", P},
    {"userfn24", P},
    {"userfn25", P},
    {"userfn26", P},
    {"userfn27", P},
    {"userfn28", P},
    {"userfn29", P},
    {"userfn30", P},
    {"userfn31", P},
    {"userfn32", P},
    {"userfn33", P},
    {"userfn34", P},
    {"userfn35", P},
    {"userfn36", P},
    {"userfn37", P},
    {"userfn38", P},
    {"userfn39", P},
    {"userfn40", P},
    {"userfn41", P},
    {"userfn42", P},
    {"userfn43", P},
    {"userfn44", P},
    {"userfn45", P},
    {"userfn46", P},
    {"userfn47", P},
    {"userfn48", P},
    {"userfn49", P},
    {"userfn50", P},
    {"userfn51", P},
    {"userfn52", P},
    {"userfn53", P},
    {"userfn54", P},
    {"userfn55", P},
    {"userfn56", P},
    {"userfn57", P},
    {"userfn58", P},
    {"userfn59", P},
    {"userfn60", P},
    {"userfn61", P},
    {"userfn62", P},
    {"userfn63", P},
    {"userfn64", P},
    {"horizontalbar", P},
    {"rasciictime", P},
    {"yesnobit", BIT},
    {"nyesnobit", BIT},
    {"reciprocal", P},
};
static_assert(std::size(kCalibFns) == CALIB_FN_COUNT);

// The results of the bit-operation family; the texts of a pair are padded
// to the same length so the value field does not jitter when it flips.
static const BitOpInfo kBitOps[] = {
    {FN_TESTBIT, 1, 0, nullptr, nullptr},
    {FN_NTESTBIT, 0, 1, nullptr, nullptr},
    {FN_ONOFFBIT, 1, 0, " ON", "OFF"},
    {FN_NONOFFBIT, 0, 1, "OFF", " ON"},
    {FN_OPENCLOSEBIT, 1, 0, " OPEN ", "CLOSED"},
    {FN_NOPENCLOSEBIT, 0, 1, "CLOSED", " OPEN "},
    {FN_ENDISBIT, 1, 0, " ENABLED", "DISABLED"},
    {FN_NENDISBIT, 0, 1, "DISABLED", " ENABLED"},
    {FN_YESNOBIT, 1, 0, "YES", " NO"},
    {FN_NYESNOBIT, 0, 1, " NO", "YES"},
};
static_assert(std::size(kBitOps) == 10);

// Every name goes in exactly once: 136 keywords, 18 colours, 68 named
// views and 113 functions.
static_assert(std::size(kKeywords) + COLOUR_COUNT + VIEW_COUNT - 2 + CALIB_FN_COUNT == SYMTAB_NAMES);
static_assert(SYMTAB_NAMES < SYMTAB_ENTRIES, "the build must never fill the table");

// ---- Table state -----------------------------------------------------------

static SymEntry* g_entries[SYMTAB_ENTRIES];   // one pool block each
static int32_t* g_reverse;                    // SYMTAB_REVERSE entries; null when not built

static char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c; }

static bool same_name_blind(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; i++)
        if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
    return true;
}

int symtab_hash(const char* name) {
    if (!name) return 0;
    int64_t sum = 0;
    for (const char* p = name; *p; p++) sum += (signed char)lower_ascii(*p);
    int r = (int)(sum % SYMTAB_ENTRIES);
    return r < 0 ? r + SYMTAB_ENTRIES : r;
}

bool symtab_built() { return g_reverse != nullptr; }

static void free_entries(int count) {
    for (int i = 0; i < count; i++) {
        if (g_entries[i]) QOBfree(g_entries[i]);
        g_entries[i] = nullptr;
    }
}

void FreeSymTab() {
    if (!g_reverse) return;
    free_entries(SYMTAB_ENTRIES);
    QOBfree(g_reverse);
    g_reverse = nullptr;
}

void symtab_reset() { FreeSymTab(); }

int symtab_insert(const char* name, int token) {
    if (!g_reverse || !name || token < 0) return -1;
    size_t len = strnlen(name, SYMTAB_NAME_LEN);
    if (len == 0 || len >= (size_t)SYMTAB_NAME_LEN) return -1;
    int e = symtab_hash(name);
    for (int steps = 0; g_entries[e]->length != 0; steps++) {
        if (steps >= SYMTAB_ENTRIES) return -2;
        e = (e + 1) % SYMTAB_ENTRIES;
    }
    SymEntry* entry = g_entries[e];
    memcpy(entry->name, name, len);
    entry->name[len] = '\0';
    entry->length = (uint32_t)len;
    entry->token = (uint32_t)token;
    if (token < SYMTAB_ENTRIES) g_reverse[token] = e;
    return 0;
}

// The walk goes round the whole table when the name is unknown: it does not
// stop at a free entry, so it stays correct however the entries were filled.
int symtab_lookup(const char* name) {
    if (!g_reverse || !name) return 0;
    size_t len = strnlen(name, SYMTAB_NAME_LEN);
    if (len == 0 || len >= (size_t)SYMTAB_NAME_LEN) return 0;
    int start = symtab_hash(name);
    int e = start;
    do {
        const SymEntry* entry = g_entries[e];
        if (entry->length == len && same_name_blind(entry->name, name, len)) return (int)entry->token;
        e = (e + 1) % SYMTAB_ENTRIES;
    } while (e != start);
    return 0;
}

const SymEntry* symtab_entry(int token) {
    if (!g_reverse || token < 0 || token >= SYMTAB_ENTRIES) return nullptr;
    int e = g_reverse[token];
    return e < 0 ? nullptr : g_entries[e];
}

const char* symtab_name(int token) {
    const SymEntry* entry = symtab_entry(token);
    return entry ? entry->name : nullptr;
}

static int insert_all_names() {
    int rc = 0;
    for (const Keyword& k : kKeywords) rc |= symtab_insert(k.name, k.token);
    for (int i = 0; i < COLOUR_COUNT; i++) rc |= symtab_insert(kColourNames[i], colour_token(i));
    for (int v = 0; v < VIEW_COUNT; v++)
        if (kViews[v].name) rc |= symtab_insert(kViews[v].name, view_token(v));
    for (int f = 0; f < CALIB_FN_COUNT; f++) rc |= symtab_insert(kCalibFns[f].name, calib_fn_token(f));
    return rc;
}

int InitSymTab() {
    if (g_reverse) return -2;
    int32_t* reverse = (int32_t*)QOBmalloc(SYMTAB_REVERSE * sizeof(int32_t));
    if (!reverse) return -1;
    for (int t = 0; t < SYMTAB_REVERSE; t++) reverse[t] = -1;
    for (int i = 0; i < SYMTAB_ENTRIES; i++) {
        g_entries[i] = (SymEntry*)QOBmalloc(sizeof(SymEntry));
        if (!g_entries[i]) {
            free_entries(i);
            QOBfree(reverse);
            return -3 - i;
        }
        memset(g_entries[i], 0, sizeof(SymEntry));
    }
    g_reverse = reverse;
    if (insert_all_names() != 0) {
        FreeSymTab();
        return -1;
    }
    return 0;
}

// ---- Colours, views, functions ---------------------------------------------

const char* colour_name(int index) {
    return (index >= 0 && index < COLOUR_COUNT) ? kColourNames[index] : nullptr;
}

int colour_from_token(int token) {
    return (token >= TOK_COLOUR_FIRST && token <= TOK_COLOUR_LAST) ? token - TOK_COLOUR_FIRST : -1;
}

const ViewInfo* view_info(int view) { return (view >= 0 && view < VIEW_COUNT) ? &kViews[view] : nullptr; }

const char* view_name(int view) {
    const ViewInfo* v = view_info(view);
    return v ? v->name : nullptr;
}

uint32_t view_length(int view) {
    const ViewInfo* v = view_info(view);
    return v ? v->length : 0;
}

int view_from_token(int token) {
    return (token >= TOK_VIEW_FIRST && token <= TOK_VIEW_LAST) ? token - TOK_VIEW_FIRST : -1;
}

const char* calib_fn_name(int fn) { return (fn >= 0 && fn < CALIB_FN_COUNT) ? kCalibFns[fn].name : nullptr; }

CalibFamily calib_fn_family(int fn) {
    return (fn >= 0 && fn < CALIB_FN_COUNT) ? kCalibFns[fn].family : FAMILY_PLAIN;
}

const BitOpInfo* calib_bitop(int fn) {
    for (const BitOpInfo& b : kBitOps)
        if (b.fn == fn) return &b;
    return nullptr;
}

int calib_fn_from_token(int token) {
    return (token >= TOK_FN_FIRST && token <= TOK_FN_LAST) ? token - TOK_FN_FIRST : -1;
}
