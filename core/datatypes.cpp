// Data types: format classification, sizes and widths, data type words,
// conversion between the types, the shared number notation, hex character
// text and display formatting. Number text is made and read with
// std::to_chars/from_chars and the module's own scanners, so a process
// locale (Qt sets one from the environment) never changes a decimal point.
#include "core/datatypes.h"

#include <cfloat>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

// How a value of a type is held in memory.
enum Kind : uint8_t { K_TEXT, K_HEXCHAR, K_DOUBLE, K_FLOAT, K_U32, K_S32, K_U16, K_S16 };

struct TypeRow {
    Kind kind;
    int8_t raw_size;   // bytes in a packet; 0: the display width decides
    int8_t calc;       // calibration type, -1 none
};

// By type code 0..19.
static const TypeRow kTypes[] = {
    {K_TEXT, 0, -1},        // 0 s
    {K_DOUBLE, 8, 1},       // 1 double
    {K_FLOAT, 4, 1},        // 2 float
    {K_U32, 4, 3},          // 3 lu
    {K_S32, 4, 4},          // 4 ld
    {K_U32, 2, 3},          // 5 (no format) %u
    {K_S32, 2, 4},          // 6 d
    {K_U16, 2, 3},          // 7 hu
    {K_S16, 2, 4},          // 8 hd
    {K_TEXT, 0, -1},        // 9 c, n
    {K_TEXT, 0, -1},        // 10 (no format) text
    {K_U32, 4, 3},          // 11 near pointer
    {K_U32, 4, 3},          // 12 far pointer
    {K_U32, 4, 3},          // 13 lx
    {K_U16, 2, 3},          // 14 hx
    {K_U32, 4, 3},          // 15 lo
    {K_U16, 2, 3},          // 16 ho
    {K_U32, 4, 3},          // 17 lb
    {K_U16, 2, 3},          // 18 hb
    {K_HEXCHAR, 0, -1},     // 19 H
};
static_assert(std::size(kTypes) == DT_TYPES);

struct FormatRow {
    const char* conv;
    int code;
    int default_width;
};

// Every accepted conversion. F, H and N stand alone: whatever letter
// follows them is not looked at.
static const FormatRow kFormats[] = {
    {"s", DT_STRING, 0},
    {"le", DT_DOUBLE, 14},
    {"lE", DT_DOUBLE, 14},
    {"lf", DT_DOUBLE, 24},
    {"lg", DT_DOUBLE, 14},
    {"lG", DT_DOUBLE, 14},
    {"Le", DT_DOUBLE, 14},
    {"LE", DT_DOUBLE, 14},
    {"Lf", DT_DOUBLE, 24},
    {"Lg", DT_DOUBLE, 14},
    {"LG", DT_DOUBLE, 14},
    {"e", DT_FLOAT, 14},
    {"E", DT_FLOAT, 14},
    {"f", DT_FLOAT, 16},
    {"g", DT_FLOAT, 14},
    {"G", DT_FLOAT, 14},
    {"he", DT_FLOAT, 14},
    {"hE", DT_FLOAT, 14},
    {"hf", DT_FLOAT, 16},
    {"hg", DT_FLOAT, 14},
    {"hG", DT_FLOAT, 14},
    {"lu", DT_ULONG, 10},
    {"ld", DT_LONG, 11},
    {"li", DT_LONG, 11},
    {"d", DT_INT, 6},
    {"i", DT_INT, 6},
    {"u", DT_USHORT, 5},
    {"hu", DT_USHORT, 5},
    {"hd", DT_SHORT, 6},
    {"hi", DT_SHORT, 6},
    {"c", DT_CHARS, 1},
    {"n", DT_CHARS, 0},
    {"N", DT_NEARPTR, 4},
    {"p", DT_NEARPTR, 4},
    {"hp", DT_NEARPTR, 4},
    {"F", DT_FARPTR, 9},
    {"lp", DT_FARPTR, 9},
    {"lx", DT_HEX32, 8},
    {"lX", DT_HEX32, 8},
    {"x", DT_HEX16, 4},
    {"X", DT_HEX16, 4},
    {"hx", DT_HEX16, 4},
    {"hX", DT_HEX16, 4},
    {"lo", DT_OCT32, 11},
    {"o", DT_OCT16, 6},
    {"ho", DT_OCT16, 6},
    {"lb", DT_BIN32, 32},
    {"b", DT_BIN16, 16},
    {"hb", DT_BIN16, 16},
    {"H", DT_HEXCHAR, 1},
};
static_assert(std::size(kFormats) == 50);

static bool is_digit(char c) { return c >= '0' && c <= '9'; }
static bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
static char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c; }

static const FormatRow* find_format(char a, char b) {
    const char conv[3] = {a, b, '\0'};
    for (const FormatRow& row : kFormats)
        if (strcmp(row.conv, conv) == 0) return &row;
    return nullptr;
}

// ---- Format strings ------------------------------------------------------

// The conversion letters after the width and precision; p is left behind
// them. Null when they name no type.
static const FormatRow* parse_conversion(const char*& p, DtFormat* f) {
    if (!is_letter(*p)) return nullptr;
    char a = *p++;
    char b = '\0';
    if (strchr("hlLFHN", a) && is_letter(*p)) b = *p++;
    f->conv[0] = a;
    f->conv[1] = b;
    bool stands_alone = (a == 'F' || a == 'H' || a == 'N');
    return find_format(a, stands_alone ? '\0' : b);
}

static int parse_format(const char* p, DtFormat* f) {
    if (!p) return DT_INVALID;
    if (*p == '"') p++;
    while (*p == ' ') p++;
    if (*p != '%') return DT_INVALID;
    p++;
    int digits = 0, width = 0;
    while (digits < 3 && is_digit(*p)) {
        width = width * 10 + (*p++ - '0');
        digits++;
    }
    if (digits > 0) f->width = width;
    if (digits > 0 && *p == '.') {
        p++;
        if (!is_digit(*p)) return DT_INVALID;
        f->precision = *p++ - '0';
    }
    const FormatRow* row = parse_conversion(p, f);
    if (!row) return DT_INVALID;
    if (*p == '"') p++;
    while (*p == ' ') p++;
    if (*p != '\0') return DT_INVALID;
    f->default_width = row->default_width;
    return row->code;
}

int dt_parse_format(const char* fmt, DtFormat* out) {
    DtFormat f = {DT_INVALID, -1, -1, {0, 0, 0}, 0};
    f.code = parse_format(fmt, &f);
    if (f.code == DT_INVALID) f = DtFormat{DT_INVALID, -1, -1, {0, 0, 0}, 0};
    if (out) *out = f;
    return f.code;
}

int dt_classify(const char* fmt) { return dt_parse_format(fmt, nullptr); }

static int width_of(const DtFormat& f) {
    if (f.code == DT_INVALID) return 0;
    if (f.code == DT_HEXCHAR) {
        int bytes = f.width >= 0 ? f.width : f.default_width;
        return bytes > 0 ? 3 * bytes - 1 : 0;
    }
    return f.width >= 0 ? f.width : f.default_width;
}

int dt_display_width(const char* fmt) {
    DtFormat f;
    dt_parse_format(fmt, &f);
    return width_of(f);
}

int dt_raw_size(const char* fmt) {
    DtFormat f;
    if (dt_parse_format(fmt, &f) == DT_INVALID) return 0;
    int size = kTypes[f.code].raw_size;
    return size ? size : width_of(f);
}

// ---- Data type words ---------------------------------------------------

enum : uint8_t {
    SZ_NONE = 0x1, SZ_SHORT = 0x2, SZ_DOUBLE = 0x4, SZ_LONG = 0x8,
    SZ_NARROW = SZ_NONE | SZ_SHORT, SZ_WIDE = SZ_DOUBLE | SZ_LONG,
};
enum : uint8_t { RX_NONE, RX_HEX, RX_OCTAL, RX_BINARY };
enum : uint8_t {
    KD_NONE = 0x1, KD_REAL = 0x2, KD_FLOAT = 0x4, KD_INTEGER = 0x8,
    KD_NONE_OR_INTEGER = KD_NONE | KD_INTEGER,
};

struct WordRow {
    uint8_t sizes;    // SZ_ bits the row accepts
    uint8_t radix;
    uint8_t kinds;    // KD_ bits the row accepts
    const char* format;
};

// A word no row accepts (a radix with real or float, short alone, no word
// at all) is not a data type word.
static const WordRow kWordRows[] = {
    {SZ_NARROW, RX_HEX, KD_NONE_OR_INTEGER, "%4hx"},
    {SZ_NARROW, RX_OCTAL, KD_NONE_OR_INTEGER, "%6ho"},
    {SZ_NARROW, RX_BINARY, KD_NONE_OR_INTEGER, "%16hb"},
    {SZ_WIDE, RX_HEX, KD_NONE_OR_INTEGER, "%8lx"},
    {SZ_WIDE, RX_OCTAL, KD_NONE_OR_INTEGER, "%11lo"},
    {SZ_WIDE, RX_BINARY, KD_NONE_OR_INTEGER, "%32lb"},
    {SZ_NARROW, RX_NONE, KD_REAL, "%16.6f"},
    {SZ_NARROW, RX_NONE, KD_FLOAT, "%14.6e"},
    {SZ_NARROW, RX_NONE, KD_INTEGER, "%6hd"},
    {SZ_DOUBLE, RX_NONE, KD_NONE, "%24.6lf"},
    {SZ_LONG, RX_NONE, KD_NONE, "%11ld"},
    {SZ_WIDE, RX_NONE, KD_REAL, "%24.6lf"},
    {SZ_WIDE, RX_NONE, KD_FLOAT, "%17.9le"},
    {SZ_WIDE, RX_NONE, KD_INTEGER, "%11ld"},
};
static_assert(std::size(kWordRows) == 14);

static const char* const kWords[] = {
    "real",
    "doublereal",
    "integer",
    "hexinteger",
    "octalinteger",
    "binaryinteger",
    "doubleinteger",
    "doublehexinteger",
    "doubleoctalinteger",
    "doublebinaryinteger",
};
static_assert(std::size(kWords) == DT_WORD_COUNT);

const char* dt_word(int index) { return (index >= 0 && index < DT_WORD_COUNT) ? kWords[index] : nullptr; }

// Matches one of words (in either case) at p and steps over it. Returns the
// word's position + 1, or 0 (p unchanged) when none matches.
static int match_part(const char*& p, const char* const* words, int count) {
    for (int i = 0; i < count; i++) {
        size_t n = strlen(words[i]);
        size_t k = 0;
        while (k < n && p[k] && lower_ascii(p[k]) == words[i][k]) k++;
        if (k == n) {
            p += n;
            return i + 1;
        }
    }
    return 0;
}

int dt_format_from_word(const char* word, char* out, size_t cap) {
    static const char* const kSizes[] = {"double", "long", "short"};
    static const char* const kRadixes[] = {"hex", "octal", "binary"};
    static const char* const kKinds[] = {"real", "float", "integer"};
    static const uint8_t kSizeBits[] = {SZ_NONE, SZ_DOUBLE, SZ_LONG, SZ_SHORT};
    if (!word) return 0;
    const char* p = word;
    bool quoted = (*p == '"');
    if (quoted) p++;
    uint8_t size = kSizeBits[match_part(p, kSizes, 3)];
    uint8_t radix = (uint8_t)match_part(p, kRadixes, 3);
    uint8_t kind = (uint8_t)(1u << match_part(p, kKinds, 3));
    if (quoted && *p++ != '"') return 0;
    if (*p != '\0') return 0;
    for (const WordRow& row : kWordRows) {
        if ((row.sizes & size) && row.radix == radix && (row.kinds & kind)) {
            size_t n = strlen(row.format);
            if (!out || cap <= n) return 0;
            memcpy(out, row.format, n + 1);
            return 1;
        }
    }
    return 0;
}

// ---- Type groups -------------------------------------------------------

static bool valid_type(int code) { return code >= 0 && code < DT_TYPES; }

bool dt_is_text(int code) {
    return valid_type(code) && (kTypes[code].kind == K_TEXT || kTypes[code].kind == K_HEXCHAR);
}

bool dt_is_numeric(int code) { return valid_type(code) && !dt_is_text(code); }

int dt_value_size(int code) {
    if (!valid_type(code)) return 0;
    switch (kTypes[code].kind) {
    case K_DOUBLE: return 8;
    case K_FLOAT: case K_U32: case K_S32: return 4;
    case K_U16: case K_S16: return 2;
    default: return 0;
    }
}

int dt_calc_type(int code) { return valid_type(code) ? kTypes[code].calc : -1; }

// ---- Number text -------------------------------------------------------

static int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lower_ascii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// At least one digit of the radix and nothing else; the value must fit in
// 32 bits unsigned.
static int scan_digits(const char* p, int radix, int64_t* out) {
    if (*p == '\0') return -1;
    uint64_t v = 0;
    for (; *p; p++) {
        int d = digit_value(*p);
        if (d < 0 || d >= radix) return -1;
        v = v * (uint64_t)radix + (uint64_t)d;
        if (v > 0xFFFFFFFFull) return -1;
    }
    *out = (int64_t)v;
    return 0;
}

// Decimal text holds only digits and '-' and is read as a standard
// text-to-long conversion reads it: an optional '-', then the digits up to
// the first other character (a '-' after digits ends the number; no digits
// give 0). The value is clamped to -2147483648..4294967295, the range of
// the signed and unsigned 32-bit fields, so that an unsigned value above
// 2^31 keeps its value.
static int scan_decimal(const char* p, int64_t* out) {
    if (*p == '\0') return -1;
    for (const char* q = p; *q; q++)
        if (!(*q >= '0' && *q <= '9') && *q != '-') return -1;
    bool negative = (*p == '-');
    if (negative) p++;
    int64_t v = 0;
    for (; *p >= '0' && *p <= '9'; p++)
        if (v <= 4294967296ll) v = v * 10 + (*p - '0');
    if (negative) v = -v;
    *out = v < -2147483648ll ? -2147483648ll : v > 4294967295ll ? 4294967295ll : v;
    return 0;
}

bool dt_has_radix_prefix(const char* text) {
    if (!text || text[0] != '0' || text[1] == '\0') return false;
    return strchr("xhbod", lower_ascii(text[1])) != nullptr;
}

int dt_scan_number(const char* text, int64_t* out) {
    if (!text || !out || *text == '\0') return -1;
    if (!dt_has_radix_prefix(text)) return scan_decimal(text, out);
    const char* rest = text + 2;
    switch (lower_ascii(text[1])) {
    case 'x': case 'h': return scan_digits(rest, 16, out);
    case 'b': return scan_digits(rest, 2, out);
    case 'o': return scan_digits(rest, 8, out);
    default: return scan_decimal(rest, out);
    }
}

// A pointer is shown as the hexadecimal of its 32-bit value ("%08X"): the
// segment:offset forms of the original platform have no meaning here. On
// reading, an optional "0x" is accepted.
static int scan_pointer(const char* p, int64_t* out) {
    if (p[0] == '0' && lower_ascii(p[1]) == 'x') p += 2;
    return scan_digits(p, 16, out);
}

// The decimal number grammar: sign, digits with an optional point (at least
// one digit), optional exponent; blanks around it are allowed. Sets
// *magnitude to the power of ten of the leading non-zero digit, so an
// out-of-range result can be told apart as underflow or overflow.
static bool real_grammar(const char* b, const char* e, int64_t* magnitude) {
    const char* p = b;
    if (p < e && (*p == '+' || *p == '-')) p++;
    int64_t int_digits = 0, first_nonzero = -1, index = 0;
    bool any = false;
    for (bool after_point = false; p < e; p++) {
        if (*p == '.' && !after_point) { after_point = true; continue; }
        if (!is_digit(*p)) break;
        any = true;
        if (!after_point) int_digits++;
        if (*p != '0' && first_nonzero < 0) first_nonzero = index;
        index++;
    }
    if (!any) return false;
    int64_t exp10 = 0;
    if (p < e && (*p == 'e' || *p == 'E')) {
        p++;
        bool neg = false;
        if (p < e && (*p == '+' || *p == '-')) neg = (*p++ == '-');
        if (p == e || !is_digit(*p)) return false;
        for (; p < e && is_digit(*p); p++)
            if (exp10 < 100000) exp10 = exp10 * 10 + (*p - '0');
        if (neg) exp10 = -exp10;
    }
    *magnitude = first_nonzero < 0 ? 0 : int_digits - first_nonzero - 1 + exp10;
    return p == e;
}

static int parse_real(const char* text, double* out) {
    const char* b = text;
    while (*b == ' ') b++;
    const char* e = b + strlen(b);
    while (e > b && e[-1] == ' ') e--;
    int64_t magnitude;
    if (!real_grammar(b, e, &magnitude)) return -1;
    bool negative = (*b == '-');
    if (*b == '+' || *b == '-') b++;
    double v = 0.0;
    auto res = std::from_chars(b, e, v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        if (magnitude >= 0) return -1;   // overflow
        v = 0.0;                         // underflow
    } else if (res.ec != std::errc() || res.ptr != e) {
        return -1;
    }
    *out = negative ? -v : v;
    return 0;
}

// ---- Hex character text ------------------------------------------------

int dt_hexchar_encode(const uint8_t* bytes, int n, char* out) {
    static const char kHex[] = "0123456789abcdef";
    int len = 0;
    for (int i = 0; i < n; i++) {
        if (i > 0) out[len++] = ' ';
        out[len++] = kHex[bytes[i] >> 4];
        out[len++] = kHex[bytes[i] & 0xF];
    }
    out[len] = '\0';
    return len;
}

static uint8_t hexchar_pair(char first, char second) {
    int hi = (first == ' ') ? 0 : digit_value(first);
    if (hi < 0) return 0xFF;
    if (second == ' ') return (uint8_t)hi;
    int lo = digit_value(second);
    if (lo < 0) return 0xFF;
    return (uint8_t)(hi * 16 + lo);
}

int dt_hexchar_decode(const char* text, uint8_t* out, int cap) {
    if (!text || !out) return 0;
    int n = (int)((strlen(text) + 1) / 3);
    if (n > cap) n = cap < 0 ? 0 : cap;
    for (int i = 0; i < n; i++) out[i] = hexchar_pair(text[3 * i], text[3 * i + 1]);
    return n;
}

// ---- Conversion --------------------------------------------------------

// A numeric value on its way between two types.
struct Num {
    bool real;
    double d;
    int64_t i;
};

static Num read_num(int code, const void* src) {
    Num n = {false, 0.0, 0};
    switch (kTypes[code].kind) {
    case K_DOUBLE: n.real = true; memcpy(&n.d, src, 8); break;
    case K_FLOAT: { float f; memcpy(&f, src, 4); n.real = true; n.d = f; break; }
    case K_U32: { uint32_t v; memcpy(&v, src, 4); n.i = v; break; }
    case K_S32: { int32_t v; memcpy(&v, src, 4); n.i = v; break; }
    case K_U16: { uint16_t v; memcpy(&v, src, 2); n.i = v; break; }
    case K_S16: { int16_t v; memcpy(&v, src, 2); n.i = v; break; }
    default: break;
    }
    return n;
}

// The low 32 bits of x truncated toward zero; exact for every finite double,
// 0 for infinities and NaN (where a plain cast would be undefined).
static uint32_t trunc_low32(double x) {
    if (!std::isfinite(x)) return 0;
    double m = std::fmod(std::trunc(x), 4294967296.0);
    if (m < 0) m += 4294967296.0;
    return (uint32_t)m;
}

// Writes n in the in-memory form of code to out; -1 on float overflow.
static int write_num(int code, const Num& n, uint8_t* out, size_t* len) {
    double x = n.real ? n.d : (double)n.i;
    uint32_t bits = n.real ? trunc_low32(n.d) : (uint32_t)(uint64_t)n.i;
    switch (kTypes[code].kind) {
    case K_DOUBLE: memcpy(out, &x, 8); *len = 8; return 0;
    case K_FLOAT: {
        if (std::isfinite(x) && std::fabs(x) > (double)FLT_MAX) return -1;
        float f = (float)x;
        memcpy(out, &f, 4);
        *len = 4;
        return 0;
    }
    case K_U32: case K_S32: memcpy(out, &bits, 4); *len = 4; return 0;
    case K_U16: case K_S16: {
        uint16_t low = (uint16_t)bits;
        memcpy(out, &low, 2);
        *len = 2;
        return 0;
    }
    default: return -1;
    }
}

static void binary_digits(uint32_t v, char* out) {
    char tmp[33];
    int n = 0;
    do {
        tmp[n++] = (char)('0' + (v & 1));
        v >>= 1;
    } while (v);
    for (int i = 0; i < n; i++) out[i] = tmp[n - 1 - i];
    out[n] = '\0';
}

// 15 significant digits in general format, as gcvt gives them.
static void double_text(double v, char* out, size_t cap) {
    auto res = std::to_chars(out, out + cap - 1, v, std::chars_format::general, 15);
    *res.ptr = '\0';
}

// The text form of a numeric value of code (the type's own printf form).
static void num_text(int code, const void* src, char* out) {
    Num n = read_num(code, src);
    uint32_t u = (uint32_t)(uint64_t)n.i;
    switch (code) {
    case DT_DOUBLE: double_text(n.d, out, DT_TEXT_BUF); break;
    case DT_FLOAT: {
        auto res = std::to_chars(out, out + DT_TEXT_MAX, n.d, std::chars_format::fixed, 6);
        *res.ptr = '\0';
        break;
    }
    case DT_LONG: case DT_INT: case DT_SHORT: snprintf(out, DT_TEXT_BUF, "%" PRId64, n.i); break;
    case DT_NEARPTR: case DT_FARPTR: snprintf(out, DT_TEXT_BUF, "%08" PRIX32, u); break;
    case DT_HEX32: case DT_HEX16: snprintf(out, DT_TEXT_BUF, "%" PRIx32, u); break;
    case DT_OCT32: case DT_OCT16: snprintf(out, DT_TEXT_BUF, "%" PRIo32, u); break;
    case DT_BIN32: case DT_BIN16: binary_digits(u, out); break;
    default: snprintf(out, DT_TEXT_BUF, "%" PRIu32, u); break;
    }
}

// Text read into a number of type code (never 0, 9, 10, 19).
static int text_num(const char* text, int code, Num* n) {
    switch (code) {
    case DT_DOUBLE: case DT_FLOAT: n->real = true; return parse_real(text, &n->d);
    case DT_NEARPTR: case DT_FARPTR: return scan_pointer(text, &n->i);
    case DT_HEX32: case DT_HEX16:
        return dt_has_radix_prefix(text) ? dt_scan_number(text, &n->i) : scan_digits(text, 16, &n->i);
    case DT_OCT32: case DT_OCT16:
        return dt_has_radix_prefix(text) ? dt_scan_number(text, &n->i) : scan_digits(text, 8, &n->i);
    case DT_BIN32: case DT_BIN16:
        return dt_has_radix_prefix(text) ? dt_scan_number(text, &n->i) : scan_digits(text, 2, &n->i);
    default: return dt_scan_number(text, &n->i);
    }
}

// The source text, at most 80 characters, NUL-terminated.
static size_t source_text(const void* src, char* text) {
    size_t len = strnlen((const char*)src, DT_TEXT_MAX);
    memcpy(text, src, len);
    text[len] = '\0';
    return len;
}

static int convert_from_text(const void* src, int dst, uint8_t* out, size_t* len) {
    char text[DT_TEXT_BUF];
    size_t n = source_text(src, text);
    switch (kTypes[dst].kind) {
    case K_TEXT: memcpy(out, text, n + 1); *len = n + 1; return 0;
    case K_HEXCHAR: {
        // The length is taken modulo 27: at most 26 bytes, a longer text
        // wrapping round (27 characters give none).
        int bytes = (int)(n % (DT_HEXCHAR_BYTES + 1));
        *len = (size_t)dt_hexchar_encode((const uint8_t*)text, bytes, (char*)out) + 1;
        return 0;
    }
    default: {
        Num num = {false, 0.0, 0};
        if (text_num(text, dst, &num) != 0) return -1;
        return write_num(dst, num, out, len);
    }
    }
}

static int convert_from_hexchar(const void* src, int dst, uint8_t* out, size_t* len) {
    char text[DT_TEXT_BUF];
    size_t n = source_text(src, text);
    if (kTypes[dst].kind == K_HEXCHAR) {
        memcpy(out, text, n + 1);
        *len = n + 1;
        return 0;
    }
    uint8_t bytes[DT_TEXT_BUF];
    int count = dt_hexchar_decode(text, bytes, DT_TEXT_MAX);
    if (kTypes[dst].kind == K_TEXT) {
        memcpy(out, bytes, (size_t)count);
        out[count] = '\0';
        *len = (size_t)count + 1;
        return 0;
    }
    int size = dt_value_size(dst);
    if (count == 0) return -1;
    memset(out, 0, (size_t)size);
    memcpy(out, bytes, (size_t)(count < size ? count : size));
    *len = (size_t)size;
    return 0;
}

static int convert_from_number(int src_type, const void* src, int dst, uint8_t* out, size_t* len) {
    switch (kTypes[dst].kind) {
    case K_TEXT:
        num_text(src_type, src, (char*)out);
        *len = strlen((char*)out) + 1;
        return 0;
    case K_HEXCHAR:
        *len = (size_t)dt_hexchar_encode((const uint8_t*)src, dt_value_size(src_type), (char*)out) + 1;
        return 0;
    default:
        return write_num(dst, read_num(src_type, src), out, len);
    }
}

int dt_convert(int src_type, const void* src, int dst_type, void* dst) {
    if (!valid_type(src_type) || !valid_type(dst_type) || !src || !dst) return -1;
    uint8_t out[DT_TEXT_BUF];
    size_t len = 0;
    int rc;
    switch (kTypes[src_type].kind) {
    case K_TEXT: rc = convert_from_text(src, dst_type, out, &len); break;
    case K_HEXCHAR: rc = convert_from_hexchar(src, dst_type, out, &len); break;
    default: rc = convert_from_number(src_type, src, dst_type, out, &len); break;
    }
    if (rc != 0) return -1;
    memcpy(dst, out, len);
    return 0;
}

// ---- Display formatting --------------------------------------------------

static char real_letter(const DtFormat& f) {
    return (f.conv[0] == 'l' || f.conv[0] == 'L' || f.conv[0] == 'h') ? f.conv[1] : f.conv[0];
}

// printf's e, E, f, g, G in the C locale.
static void real_body(const DtFormat& f, double x, char* out, size_t cap) {
    char letter = real_letter(f);
    int precision = f.precision >= 0 ? f.precision : 6;
    std::chars_format style = std::chars_format::general;
    if (letter == 'e' || letter == 'E') style = std::chars_format::scientific;
    if (letter == 'f') style = std::chars_format::fixed;
    auto res = std::to_chars(out, out + cap - 1, x, style, precision);
    if (res.ec != std::errc()) res.ptr = out;
    *res.ptr = '\0';
    if (letter == 'E' || letter == 'G')
        for (char* p = out; *p; p++)
            if (*p >= 'a' && *p <= 'z') *p = (char)(*p - 'a' + 'A');
}

// printf's integer conversions: the precision is the least number of digits.
static void integer_body(const DtFormat& f, const uint8_t* v, char* out, size_t cap) {
    char digits[DT_TEXT_BUF];
    num_text(f.code, v, digits);
    if (f.code == DT_HEX32 || f.code == DT_HEX16) {
        bool upper = (f.conv[0] == 'X' || f.conv[1] == 'X');
        for (char* p = digits; upper && *p; p++)
            if (*p >= 'a' && *p <= 'f') *p = (char)(*p - 'a' + 'A');
    }
    const char* d = digits;
    bool negative = (*d == '-');
    if (negative) d++;
    int n = (int)strlen(d);
    int zeros = (f.precision > n) ? f.precision - n : 0;
    if (f.precision == 0 && strcmp(d, "0") == 0) n = 0;
    snprintf(out, cap, "%s%.*s%.*s", negative ? "-" : "", zeros, "000000000", n, d);
}

int dt_format_value(const char* fmt, int value_type, const void* value, char* out, size_t cap) {
    DtFormat f;
    if (dt_parse_format(fmt, &f) == DT_INVALID || !out || cap == 0) return -1;
    uint8_t v[DT_TEXT_BUF];
    if (dt_convert(value_type, value, f.code, v) != 0) return -1;
    char body[400];
    switch (kTypes[f.code].kind) {
    case K_TEXT:
        snprintf(body, sizeof body, "%.*s", f.precision >= 0 && f.code == DT_STRING ? f.precision : DT_TEXT_MAX,
                 (const char*)v);
        break;
    case K_HEXCHAR: snprintf(body, sizeof body, "%s", (const char*)v); break;
    case K_DOUBLE: case K_FLOAT: real_body(f, read_num(f.code, v).d, body, sizeof body); break;
    default: integer_body(f, v, body, sizeof body); break;
    }
    int width = f.width > 0 ? f.width : 0;
    int n = snprintf(out, cap, "%*s", width, body);
    return n < (int)cap ? n : (int)cap - 1;
}

// ---- Byte swapping -------------------------------------------------------

uint16_t dt_swap16(uint16_t v) { return __builtin_bswap16(v); }
uint32_t dt_swap32(uint32_t v) { return __builtin_bswap32(v); }
uint64_t dt_swap64(uint64_t v) { return __builtin_bswap64(v); }

double dt_swap_double(double v) {
    uint64_t bits;
    memcpy(&bits, &v, 8);
    bits = __builtin_bswap64(bits);
    memcpy(&v, &bits, 8);
    return v;
}

void datatypes_reset() {}
