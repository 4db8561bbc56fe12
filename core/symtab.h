// The symbol table: every word of the page vocabulary with its fixed token,
// hashed for look-up by name and indexed for look-up by token; and the one
// definition of the views (system data areas a port reads), the colour names
// and the calibration functions that the compiler, the page text writer, the
// evaluation and the dialogs all share.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int SYMTAB_ENTRIES = 401;    // hashed entries, linear probing
constexpr int SYMTAB_REVERSE = 402;    // reverse index slots; tokens >= 401 have none
constexpr int SYMTAB_NAME_LEN = 264;   // name field, NUL included
constexpr int SYMTAB_NAMES = 335;      // names that InitSymTab inserts

// One entry of the table (allocated from the pool, one block per entry).
struct SymEntry {
    uint32_t token;
    char name[SYMTAB_NAME_LEN];   // NUL-terminated
    uint32_t length;              // name length; 0 marks a free entry
};

// Fixed tokens of the section keywords, field keys, switch words and the
// packet and system sections. The numbers are stored in page files, so they
// never change; the gaps belong to no name.
enum : int {
    TOK_SUBCOM = 4,               // [subcom]
    TOK_VALUEPORT = 5,            // [valueport]; also the port record tag
    TOK_PLOTPORT = 6,             // [plotport]
    TOK_CALIBRATION = 7,          // [calibration]
    TOK_POLYNOMIAL = 8,           // [polynomial]
    TOK_BITOPERATION = 9,         // [bitoperation]
    TOK_ALARM = 10,               // [alarm]
    TOK_ENABLE = 11,
    TOK_VIEW = 12,
    TOK_BYTEINDEX = 14,
    TOK_RAWFORMAT = 15,
    TOK_TITLE = 16,
    TOK_DRAWENABLE = 17,
    TOK_SUPERCOMMINCR = 18,
    TOK_BORDER = 19,
    TOK_BORDERCOLOR = 20,
    TOK_DISPLAYFORMAT = 21,
    TOK_DISPLAYRATE = 22,
    TOK_PROCESSRATE = 23,
    TOK_BACKGROUNDCOLOR = 24,
    TOK_TITLECOLOR = 25,
    TOK_VALUECOLOR = 26,
    TOK_UNITS = 27,
    TOK_ROW = 28,
    TOK_COLUMN = 29,
    TOK_WIDTH = 30,
    TOK_HEIGHT = 31,
    TOK_XTITLE = 32,
    TOK_YTITLE = 33,
    TOK_PLOTMODE = 34,
    TOK_PLOTCOLOR = 36,
    TOK_PLOTGRID = 37,
    TOK_GRIDCOLOR = 38,
    TOK_XLOWER = 39,
    TOK_XUPPER = 40,
    TOK_YLOWER = 41,
    TOK_YUPPER = 42,
    TOK_AXISCOLOR = 43,
    TOK_AXISLABELCOLOR = 44,
    TOK_AVGSAMPLES = 45,
    TOK_VARPKTLEN = 46,
    TOK_CALMODE = 47,
    TOK_FUNCTION = 48,
    TOK_A0 = 49,
    TOK_A1 = 50,
    TOK_A2 = 51,
    TOK_A3 = 52,
    TOK_A4 = 53,
    TOK_BITMASK = 54,
    TOK_UPPERLIMIT = 55,
    TOK_LOWERLIMIT = 56,
    TOK_FILENAME = 58,
    TOK_BLINK = 60,
    TOK_SUPERCOMMCOUNT = 61,
    TOK_AUTOPLOT = 62,
    TOK_LINEPLOT = 63,
    TOK_FORWARDPLOT = 64,
    TOK_BACKWARDPLOT = 65,
    TOK_AUTOPLOTX = 66,
    TOK_AUTOPLOTY = 67,
    TOK_AUTOREFRESHX = 68,
    TOK_AUTOREFRESHY = 69,
    TOK_AUTOREFRESH = 70,
    TOK_MODULUS = 71,
    TOK_QUOTIENT = 72,
    TOK_DATABASENAME = 74,
    TOK_DATABASEKEY = 75,
    TOK_MNEMONIC = 76,
    TOK_DATATYPE = 77,
    TOK_INVERT = 78,
    TOK_STEPMODE = 79,
    TOK_SBTAGCOUNT = 80,
    TOK_CVTYPE = 81,
    TOK_PORTNO = 82,
    TOK_SUBCOMTAG = 83,
    TOK_MAXPOINTS = 84,
    TOK_AUTOLABEL = 140,          // shares 140 with the view kbstat

    TOK_YES = 91,
    TOK_NO = 92,
    TOK_ON = 93,
    TOK_OFF = 94,

    TOK_COLOUR_FIRST = 95,        // black; token = 95 + colour index
    TOK_COLOUR_LAST = 112,        // monobackground
    TOK_VIEW_FIRST = 113,         // packetheader; token = 113 + view number
    TOK_VIEW_LAST = 182,          // cpli_buffer32
    TOK_FREE_DISK = 183,          // a system parameter name, not a view
    TOK_FN_FIRST = 184,           // dummy_calibfn; token = 184 + function number
    TOK_FN_LAST = 296,            // reciprocal

    TOK_PACKET = 297,             // [packet]; also the packet record tag
    TOK_SYNC = 298,               // [sync]
    TOK_LENGTH = 299,
    TOK_PATTERN = 300,
    TOK_MASK = 301,
    TOK_FIXEDPACKETLENGTH = 302,
    TOK_PACKETCOUNTERLENGTH = 303,
    TOK_SUMCHECK = 304,
    TOK_REPORTSYNCLOSS = 305,
    TOK_TIME = 306,
    TOK_SPARE = 307,
    TOK_SYSTEM = 308,             // [system]; also the system record tag
    TOK_DIAGNOSTICS = 309,
    TOK_BACKUP = 310,
    TOK_SOUND = 311,
    TOK_TUNING = 312,             // [tuning]
    TOK_LOOPTIME = 313,
    TOK_AUTOTUNE = 314,
    TOK_TIMINGS = 315,
    TOK_INPUT = 316,              // [input]
    TOK_FILE = 317,               // [file]
    TOK_TIMEOUTPERIOD = 318,
    TOK_FORMAT = 319,
    TOK_SERIAL = 320,             // [serial]
    TOK_COMPORT = 321,
    TOK_BACKUPPERIOD = 323,
    TOK_BAUD = 324,
    TOK_DATABITS = 325,
    TOK_STOPBITS = 326,
    TOK_PARITY = 327,
    TOK_BUFSIZE = 328,
    TOK_OUTPUT = 329,             // [output]
    TOK_FILTER = 330,             // [filter]
    TOK_API = 331,                // [api]
    TOK_APIREADBYTE = 332,
    TOK_APIWRITEBYTE = 333,
    TOK_APIREADPKT = 334,
    TOK_APIWRITEPKT = 335,
    TOK_TESTDATA = 336,           // [testdata]
    TOK_ASCIIOUT = 337,
    TOK_ECHO = 338,
    TOK_FILEMODE = 339,
    TOK_OPENONEOF = 340,
    TOK_FLUSHPERIOD = 341,
    TOK_NETWORK = 342,            // [network]
    TOK_TCPPORTNO = 343,
    TOK_UDPPORTNO = 344,
    TOK_TCPPROTOCOL = 345,
    TOK_UDPPROTOCOL = 346,
    TOK_VIDEO = 347,              // [video]
    TOK_MONOCHROME = 348,
    TOK_WINDOWBACKCOLOR = 350,
    TOK_WINDOWFORECOLOR = 351,
    TOK_CCSDS = 353,
};

// ---- The hashed table ------------------------------------------------------

// Builds the table: the reverse index (all -1), the 401 empty entries, then
// every name with its token. 0; -2 when already built (the table stays as
// it is); -1 when the reverse index cannot be allocated; -3 - i when
// allocating entry i failed. On any failure nothing stays allocated.
int InitSymTab();

// Releases the entries and the reverse index; harmless when not built.
void FreeSymTab();

bool symtab_built();

// Entry number where the probe for name starts: the sum of its characters
// as signed bytes, letters taken in lower case, modulo 401 (non-negative).
int symtab_hash(const char* name);

// Inserts name with token at the first free entry from its hash. 0; -2 when
// all entries are in use; -1 when the table is not built, the token is
// negative, or the name is empty or longer than 263 characters. A later
// insert of the same token takes over its reverse entry.
int symtab_insert(const char* name, int token);

// The token of name, letter case ignored; 0 when unknown.
int symtab_lookup(const char* name);

// The entry holding the name of token, or null when the token is negative,
// 401 or above, or has no name.
const SymEntry* symtab_entry(int token);
// The name of token, or null as above.
const char* symtab_name(int token);

// Back to the start state: frees the table when built.
void symtab_reset();

// ---- Colours -----------------------------------------------------------

constexpr int COLOUR_COUNT = 18;   // 16 colours, monoforeground, monobackground

// The colour name of index 0..17, else null. Needs no built table.
const char* colour_name(int index);
// Colour index of a colour token, else -1.
int colour_from_token(int token);
inline int colour_token(int index) { return TOK_COLOUR_FIRST + index; }

// ---- Views (system data areas) ---------------------------------------------

constexpr int VIEW_COUNT = 70;     // view numbers 0..69

enum : int {
    VIEW_PACKETHEADER = 0,
    VIEW_ZYR_FLAGS = 1,
    VIEW_ZYR_MSECS = 2,
    VIEW_ZYR_SECS = 3,
    VIEW_PAGE_NO = 4,
    VIEW_PACKETDATA = 7,
    VIEW_RECD_PBACK = 32,          // IoFlags
    VIEW_DEBUG_STRING = 26,
    VIEW_KBSTAT = 27,
    VIEW_ZYR_LOOP_TIME = 34,
    VIEW_ZYR_STATS = 36,
    VIEW_QOB_FILES = 37,
    VIEW_CPLI_BUFFER1 = 38,        // cpli_buffer1 .. cpli_buffer32 are 38..69
};

enum : uint8_t {
    VIEW_ALLOC_AT_START = 0x1,     // zeroed buffer allocated at start-up
};

struct ViewInfo {
    const char* name;   // null for the two views without a name (8, 14)
    uint32_t length;    // bytes a port may read, byte index + size included
    uint8_t flags;      // VIEW_ALLOC_AT_START
};

// The row of view 0..69, else null.
const ViewInfo* view_info(int view);
const char* view_name(int view);        // null when out of range or unnamed
uint32_t view_length(int view);         // 0 when out of range
// View number of a view token (113..182), else -1. free_disk is not a view.
int view_from_token(int token);
// System parameter index as the page compiler stores a `view` value: the
// views 0..69 and free_disk as 70 (tokens 113..183), else -1.
inline int sysparam_from_token(int token) {
    return (token >= TOK_VIEW_FIRST && token <= TOK_FREE_DISK) ? token - TOK_VIEW_FIRST : -1;
}
inline int view_token(int view) { return TOK_VIEW_FIRST + view; }

// ---- Calibration functions -------------------------------------------------

constexpr int CALIB_FN_COUNT = 113;   // function numbers 0..112

enum : int {
    FN_DUMMY_CALIBFN = 0,
    FN_ASCIICTIME = 1,
    FN_ELAPSED_TIME = 2,
    FN_ZYRCENTRETEXT = 3,
    FN_TELMCONFIG = 6,
    FN_HEXCHARTEXT = 7,
    FN_INTEGERBYTESWAP = 8,
    FN_TESTBIT = 9,
    FN_PACKETBAR = 10,
    FN_POLYNOMIAL = 11,
    FN_ISPRINTCHAR = 14,
    FN_NTESTBIT = 15,
    FN_ONOFFBIT = 16,
    FN_NONOFFBIT = 17,
    FN_OPENCLOSEBIT = 18,
    FN_NOPENCLOSEBIT = 19,
    FN_ENDISBIT = 20,
    FN_NENDISBIT = 21,
    FN_USERFN1 = 22,               // userfn1 .. userfn16 are 22..37
    FN_LONGBYTESWAP = 38,
    FN_DOUBLEBYTESWAP = 39,
    FN_MATH_FIRST = 40,            // acos
    FN_MATH_LAST = 59,             // y1
    FN_USERFN17 = 60,              // userfn17 .. userfn64 are 60..107
    FN_HORIZONTALBAR = 108,
    FN_RASCIICTIME = 109,
    FN_YESNOBIT = 110,
    FN_NYESNOBIT = 111,
    FN_RECIPROCAL = 112,
};

// Which sub-block a port's calibration carries.
enum CalibFamily : uint8_t {
    FAMILY_PLAIN = 0,        // no parameters
    FAMILY_POLYNOMIAL = 1,   // [polynomial]: coefficients, mask, swaps, ...
    FAMILY_BITOP = 2,        // [bitoperation]: a bitmask
};

// Result of a bit-operation function: the raw value ANDed with the port's
// bitmask is non-zero (set) or zero (clear). testbit and ntestbit give a
// number and no text; the others give a text, both texts of a pair equally
// long.
struct BitOpInfo {
    int fn;
    int set_value;
    int clear_value;
    const char* set_text;     // null for testbit and ntestbit
    const char* clear_text;
};

const char* calib_fn_name(int fn);              // null when out of range
CalibFamily calib_fn_family(int fn);            // FAMILY_PLAIN when out of range
inline bool calib_fn_is_polynomial(int fn) { return calib_fn_family(fn) == FAMILY_POLYNOMIAL; }
inline bool calib_fn_is_bitop(int fn) { return calib_fn_family(fn) == FAMILY_BITOP; }
// The bit-operation row of fn, else null.
const BitOpInfo* calib_bitop(int fn);
// Function number of a function token (184..296), else -1.
int calib_fn_from_token(int token);
inline int calib_fn_token(int fn) { return TOK_FN_FIRST + fn; }
