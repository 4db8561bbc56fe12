// Data types: the type codes that raw and display format strings classify
// to, their raw sizes and display widths, the data type words, the
// conversion of a value between any two types (text included), the shared
// number notation, hex character text, display formatting and byte swaps.
// Everything here is independent of the process locale.
#pragma once

#include <cstddef>
#include <cstdint>

// Type codes. A value of each type is held in memory (limit cells,
// calibration constants, converted values) in the form given beside it;
// texts are NUL-terminated, at most 80 characters.
enum : int {
    DT_STRING = 0,      // "s": text
    DT_DOUBLE = 1,      // "lf", "le", ...: double
    DT_FLOAT = 2,       // "f", "e", "hf", ...: float
    DT_ULONG = 3,       // "lu": uint32_t
    DT_LONG = 4,        // "ld", "li": int32_t
    DT_UINT = 5,        // no format gives it: uint32_t, 2 bytes in a packet
    DT_INT = 6,         // "d", "i": int32_t, 2 bytes in a packet
    DT_USHORT = 7,      // "u", "hu": uint16_t
    DT_SHORT = 8,       // "hd", "hi": int16_t
    DT_CHARS = 9,       // "c", "n": text
    DT_TEXT = 10,       // no format gives it: text
    DT_NEARPTR = 11,    // "N", "p", "hp": uint32_t
    DT_FARPTR = 12,     // "F", "lp": uint32_t
    DT_HEX32 = 13,      // "lx": uint32_t
    DT_HEX16 = 14,      // "x", "hx": uint16_t
    DT_OCT32 = 15,      // "lo": uint32_t
    DT_OCT16 = 16,      // "o", "ho": uint16_t
    DT_BIN32 = 17,      // "lb": uint32_t
    DT_BIN16 = 18,      // "b", "hb": uint16_t
    DT_HEXCHAR = 19,    // "H": hex character text (display only)
    DT_TYPES = 20,
    DT_INVALID = 99,
};

constexpr int DT_TEXT_MAX = 80;        // characters of a text value
constexpr int DT_TEXT_BUF = 81;        // a text buffer, NUL included
constexpr int DT_HEXCHAR_BYTES = 26;   // bytes of text shown as hex character text

// What a format string says, as far as the system uses it.
struct DtFormat {
    int code;            // type code, DT_INVALID when the string is not a format
    int width;           // width digits, -1 when none
    int precision;       // precision digit, -1 when none
    char conv[3];        // the conversion letters as written ("hx", "lf", "H")
    int default_width;   // the type's width when no width digits are written
};

// Classifies a format string by the format grammar: optional opening quote,
// blanks, '%', up to three width digits, after width digits optionally '.'
// and one precision digit, one or two conversion letters, optional closing
// quote, blanks. Any string (null included) gives a code; never reads past
// its NUL.
int dt_parse_format(const char* fmt, DtFormat* out);
int dt_classify(const char* fmt);

// Bytes a port of this raw format takes in a packet; 0 when invalid.
int dt_raw_size(const char* fmt);
// Characters of a value shown with this display format; 0 when invalid.
// "%nH" shows n bytes as 3n - 1 characters.
int dt_display_width(const char* fmt);

// The standard format of a data type word such as "doublehexinteger"
// (quotes allowed, letter case ignored), copied to out. 1, or 0 when the
// word is not valid or out is too small (out is then untouched).
int dt_format_from_word(const char* word, char* out, size_t cap);

// The data type words in the order the editing dialog offers them.
constexpr int DT_WORD_COUNT = 10;
const char* dt_word(int index);   // null when out of range

// ---- Type groups -------------------------------------------------------

bool dt_is_text(int code);      // 0, 9, 10, 19
bool dt_is_numeric(int code);   // 1..8, 11..18
// Bytes of the in-memory value of a numeric type (8, 4 or 2); 0 otherwise.
int dt_value_size(int code);
// The type that calibration constants and arithmetic of a display type use:
// DT_DOUBLE for 1 and 2, DT_ULONG for 3, 5, 7 and 11..18, DT_LONG for 4, 6
// and 8; -1 for the text types and anything else.
int dt_calc_type(int code);

// ---- Conversion --------------------------------------------------------

// Converts the value at src, of type src_type, to dst_type at dst. Numeric
// values are read and written in their in-memory form above; a text source
// is read up to its NUL or 80 characters, a text destination needs 81 bytes.
// src and dst may overlap. Numbers become text in their type's printf form
// (double with 15 significant digits, binary without leading zeros); any
// number becomes hex character text of its in-memory bytes, and hex
// character text becomes a number by filling those bytes in order (bytes
// not given are 0). Integer text is read with the number notation below, or
// for the hex, octal and binary types as bare digits of their radix; 16-bit
// destinations keep the low 16 bits. 0, or -1 when a type is outside 0..19,
// the text does not parse, or a float would overflow; on failure dst is
// untouched.
int dt_convert(int src_type, const void* src, int dst_type, void* dst);

// The shared number notation: "0x"/"0h" hexadecimal, "0b" binary, "0o"
// octal, "0d" decimal (prefix letters in either case), else decimal digits
// with an optional leading '-'. The value must fit 32 bits (-2147483648 to
// 4294967295). 0 and the value, or -1 (out untouched).
int dt_scan_number(const char* text, int64_t* out);
// Whether text begins with one of the radix prefixes above.
bool dt_has_radix_prefix(const char* text);

// Writes n bytes as hex character text ("0a ff 3c"): 3n - 1 characters and
// a NUL, so out needs 3n bytes (1 for n = 0). Returns the length.
int dt_hexchar_encode(const uint8_t* bytes, int n, char* out);
// Reads hex character text back: one byte from every three characters,
// (length + 1) / 3 of them, at most cap. A blank first digit counts as 0, a
// blank second digit leaves the first digit as the value, any other pair
// that is not two hex digits gives 0xFF. Returns the number of bytes.
int dt_hexchar_decode(const char* text, uint8_t* out, int cap);

// Formats a value of type value_type for display with the format fmt,
// as the C library's printf would in the C locale (pointers as 8 upper-case
// hex digits, "b" as binary digits, "H" as hex character text). The value
// is first converted to the format's own type. Returns the length written
// (cut to cap - 1), or -1 when the format is invalid or the value does not
// convert.
int dt_format_value(const char* fmt, int value_type, const void* value, char* out, size_t cap);

// ---- Byte swapping (integerbyteswap, longbyteswap, doublebyteswap) ----------

uint16_t dt_swap16(uint16_t v);
uint32_t dt_swap32(uint32_t v);
uint64_t dt_swap64(uint64_t v);
double dt_swap_double(double v);

// The module keeps no state; present so every module resets the same way.
void datatypes_reset();
