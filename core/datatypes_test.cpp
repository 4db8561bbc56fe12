// Data types: every accepted conversion through classify, size and width;
// the format grammar's refusals; data type words; the number notation; the
// conversions on their boundary values; hex character text; display
// formatting; byte swaps; arbitrary input.
#include "core/datatypes.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct FormatCase {
    const char* fmt;
    int code;
    int size;
    int width;
};

const FormatCase kFormatCases[] = {
    {"%s", 0, 0, 0},         {"%10s", 0, 10, 10},    {"%lf", 1, 8, 24},      {"%Lf", 1, 8, 24},
    {"%le", 1, 8, 14},       {"%lE", 1, 8, 14},      {"%lg", 1, 8, 14},      {"%lG", 1, 8, 14},
    {"%LE", 1, 8, 14},       {"%f", 2, 4, 16},       {"%hf", 2, 4, 16},      {"%e", 2, 4, 14},
    {"%E", 2, 4, 14},        {"%g", 2, 4, 14},       {"%hG", 2, 4, 14},      {"%lu", 3, 4, 10},
    {"%ld", 4, 4, 11},       {"%li", 4, 4, 11},      {"%d", 6, 2, 6},        {"%i", 6, 2, 6},
    {"%u", 7, 2, 5},         {"%hu", 7, 2, 5},       {"%hd", 8, 2, 6},       {"%hi", 8, 2, 6},
    {"%c", 9, 1, 1},         {"%5c", 9, 5, 5},       {"%n", 9, 0, 0},        {"%N", 11, 4, 4},
    {"%Np", 11, 4, 4},       {"%p", 11, 4, 4},       {"%hp", 11, 4, 4},      {"%F", 12, 4, 9},
    {"%Fp", 12, 4, 9},       {"%lp", 12, 4, 9},      {"%lx", 13, 4, 8},      {"%lX", 13, 4, 8},
    {"%x", 14, 2, 4},        {"%X", 14, 2, 4},       {"%hx", 14, 2, 4},      {"%hX", 14, 2, 4},
    {"%lo", 15, 4, 11},      {"%o", 16, 2, 6},       {"%ho", 16, 2, 6},      {"%lb", 17, 4, 32},
    {"%b", 18, 2, 16},       {"%hb", 18, 2, 16},     {"%H", 19, 2, 2},       {"%4H", 19, 11, 11},
    {"%Hx", 19, 2, 2},       {"%0H", 19, 0, 0},
    // Width and precision.
    {"%4hx", 14, 2, 4},      {"%16.6f", 2, 4, 16},   {"%24.6lf", 1, 8, 24},  {"%14.6e", 2, 4, 14},
    {"%17.9le", 1, 8, 17},   {"%999s", 0, 999, 999}, {"%81s", 0, 81, 81},    {"%5.2s", 0, 5, 5},
    // Quotes and blanks.
    {"\"%6hd\"", 8, 2, 6},   {"  %6hd  ", 8, 2, 6},  {"\" %6hd\" ", 8, 2, 6},
};

TEST(Datatypes, ClassifySizeAndWidth) {
    for (const FormatCase& c : kFormatCases) {
        EXPECT_EQ(dt_classify(c.fmt), c.code) << c.fmt;
        EXPECT_EQ(dt_raw_size(c.fmt), c.size) << c.fmt;
        EXPECT_EQ(dt_display_width(c.fmt), c.width) << c.fmt;
    }
}

const char* const kInvalidFormats[] = {
    "",      "%",      "6hd",     "%14.10e", "%.6f",    "%6hdx",  "%1234d", "%6.f",   "%h",     "%l",
    "%L",    "%Ld",    "%ls",     "%dx",     "%S",      "%lh",    "%FpX",   "%6hd x", "x%6hd",  "%6hd\"\"",
    "%-6d",  "% 6d",   "%+6d",    "\"\"%6hd", "%6hd\t", "%%",     "%6",     "%6.2",   "%lu5",   "%w",
};

TEST(Datatypes, InvalidFormatsGive99AndNoSize) {
    for (const char* fmt : kInvalidFormats) {
        EXPECT_EQ(dt_classify(fmt), DT_INVALID) << fmt;
        EXPECT_EQ(dt_raw_size(fmt), 0) << fmt;
        EXPECT_EQ(dt_display_width(fmt), 0) << fmt;
    }
    EXPECT_EQ(dt_classify(nullptr), DT_INVALID);
    EXPECT_EQ(dt_display_width(nullptr), 0);
}

TEST(Datatypes, ParseKeepsWidthPrecisionAndLetters) {
    DtFormat f;
    ASSERT_EQ(dt_parse_format("\"%17.9le\"", &f), DT_DOUBLE);
    EXPECT_EQ(f.width, 17);
    EXPECT_EQ(f.precision, 9);
    EXPECT_STREQ(f.conv, "le");
    ASSERT_EQ(dt_parse_format("%x", &f), DT_HEX16);
    EXPECT_EQ(f.width, -1);
    EXPECT_EQ(f.precision, -1);
    EXPECT_EQ(f.default_width, 4);
}

struct WordCase {
    const char* word;
    const char* format;   // null: not a data type word
};

const WordCase kWordCases[] = {
    {"hex", "%4hx"},          {"shorthexinteger", "%4hx"}, {"octal", "%6ho"},         {"shortoctal", "%6ho"},
    {"binaryinteger", "%16hb"}, {"doublehex", "%8lx"},     {"doublehexinteger", "%8lx"}, {"longhex", "%8lx"},
    {"longoctalinteger", "%11lo"}, {"doublebinary", "%32lb"}, {"real", "%16.6f"},     {"shortreal", "%16.6f"},
    {"float", "%14.6e"},      {"integer", "%6hd"},         {"shortinteger", "%6hd"},  {"double", "%24.6lf"},
    {"long", "%11ld"},        {"doublereal", "%24.6lf"},   {"longreal", "%24.6lf"},   {"doublefloat", "%17.9le"},
    {"longfloat", "%17.9le"}, {"doubleinteger", "%11ld"},  {"longinteger", "%11ld"},  {"\"doublehexinteger\"", "%8lx"},
    {"DoubleHexInteger", "%8lx"},
    {"hexreal", nullptr},     {"hexfloat", nullptr},       {"longhexfloat", nullptr}, {"short", nullptr},
    {"", nullptr},            {"\"\"", nullptr},           {"doublehexintegerx", nullptr}, {"\"real", nullptr},
    {"real\"", nullptr},      {"realinteger", nullptr},    {"hexdouble", nullptr},    {" real", nullptr},
    {"real ", nullptr},       {"doublelong", nullptr},     {"%6hd", nullptr},
};

TEST(Datatypes, DataTypeWords) {
    for (const WordCase& c : kWordCases) {
        char out[21] = "untouched";
        int ok = dt_format_from_word(c.word, out, sizeof out);
        EXPECT_EQ(ok, c.format ? 1 : 0) << c.word;
        EXPECT_STREQ(out, c.format ? c.format : "untouched") << c.word;
    }
    char small[5] = "abcd";
    EXPECT_EQ(dt_format_from_word("double", small, sizeof small), 0);   // "%24.6lf" does not fit
    EXPECT_STREQ(small, "abcd");
    EXPECT_EQ(dt_format_from_word(nullptr, small, sizeof small), 0);
    for (int i = 0; i < DT_WORD_COUNT; i++) {
        char out[21];
        ASSERT_EQ(dt_format_from_word(dt_word(i), out, sizeof out), 1) << dt_word(i);
        EXPECT_NE(dt_classify(out), DT_INVALID) << out;
    }
    EXPECT_EQ(dt_word(DT_WORD_COUNT), nullptr);
}

struct ScanCase {
    const char* text;
    bool ok;
    int64_t value;
};

const ScanCase kScanCases[] = {
    {"0", true, 0},           {"123", true, 123},          {"-5", true, -5},         {"007", true, 7},
    {"0x1F", true, 31},       {"0X1f", true, 31},          {"0h10", true, 16},       {"0H10", true, 16},
    {"0b101", true, 5},       {"0o17", true, 15},          {"0d99", true, 99},       {"0d-7", true, -7},
    {"4294967295", true, 4294967295}, {"-2147483648", true, -2147483648LL}, {"0xFFFFFFFF", true, 4294967295},
    {"", false, 0},           {"0b102", false, 0},         {"0x", false, 0},         {"0xG", false, 0},
    {"12a", false, 0},        {" 1", false, 0},            {"1 ", false, 0},         {"+1", false, 0},
    {"0x100000000", false, 0}, {"0o8", false, 0},          {"0b", false, 0},         {"1.5", false, 0},
    {"0x-1", false, 0},       {"0d", false, 0},
    // Decimal text as a text-to-long conversion reads it: a '-' after the
    // digits ends the number, no digits give 0, and the value is clamped.
    {"1-2", true, 1},         {"-", true, 0},              {"--1", true, 0},         {"12--", true, 12},
    {"4294967296", true, 4294967295}, {"99999999999999999999", true, 4294967295},
    {"-2147483649", true, -2147483648LL}, {"-99999999999999999999", true, -2147483648LL},
};

TEST(Datatypes, NumberScanner) {
    for (const ScanCase& c : kScanCases) {
        int64_t v = 424242;
        EXPECT_EQ(dt_scan_number(c.text, &v), c.ok ? 0 : -1) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : 424242) << c.text;
    }
}

// A numeric value in the in-memory form of its type.
std::vector<uint8_t> value_of(int type, double v) {
    std::vector<uint8_t> b(8, 0);
    switch (dt_value_size(type)) {
    case 8: memcpy(b.data(), &v, 8); break;
    case 4:
        if (type == DT_FLOAT) { float f = (float)v; memcpy(b.data(), &f, 4); }
        else if (type == DT_LONG || type == DT_INT) { int32_t i = (int32_t)v; memcpy(b.data(), &i, 4); }
        else { uint32_t u = (uint32_t)(int64_t)v; memcpy(b.data(), &u, 4); }
        break;
    case 2:
        if (type == DT_SHORT) { int16_t i = (int16_t)v; memcpy(b.data(), &i, 2); }
        else { uint16_t u = (uint16_t)(int64_t)v; memcpy(b.data(), &u, 2); }
        break;
    }
    return b;
}

// Reads a value of a numeric type back as a double.
double read_value(int type, const uint8_t* p) {
    double d; float f; int32_t l; uint32_t u; int16_t s; uint16_t us;
    if (type == DT_DOUBLE) { memcpy(&d, p, 8); return d; }
    if (type == DT_FLOAT) { memcpy(&f, p, 4); return f; }
    if (type == DT_LONG || type == DT_INT) { memcpy(&l, p, 4); return l; }
    if (dt_value_size(type) == 4) { memcpy(&u, p, 4); return u; }
    if (type == DT_SHORT) { memcpy(&s, p, 2); return s; }
    memcpy(&us, p, 2);
    return us;
}

struct NumCase {
    int from;
    double value;
    int to;
    bool ok;
    double want;
};

const NumCase kNumCases[] = {
    {DT_DOUBLE, -1.9, DT_ULONG, true, 4294967295.0},    // toward zero, then unsigned
    {DT_DOUBLE, -1.9, DT_LONG, true, -1},
    {DT_DOUBLE, 2.9, DT_USHORT, true, 2},
    {DT_DOUBLE, 65537.7, DT_USHORT, true, 1},            // low 16 bits
    {DT_DOUBLE, 4294967301.0, DT_ULONG, true, 5},        // low 32 bits
    {DT_DOUBLE, 1e20, DT_HEX32, true, 1661992960},       // 0x56BC75E2D63100000
    {DT_DOUBLE, -32768.5, DT_SHORT, true, -32768},
    {DT_DOUBLE, 1e39, DT_FLOAT, false, 0},
    {DT_DOUBLE, -1e39, DT_FLOAT, false, 0},
    {DT_DOUBLE, 3.4028234663852886e38, DT_FLOAT, true, FLT_MAX},
    {DT_FLOAT, 1.5, DT_DOUBLE, true, 1.5},
    {DT_FLOAT, -7.75, DT_SHORT, true, -7},
    {DT_LONG, -1, DT_DOUBLE, true, -1},
    {DT_ULONG, 4294967295.0, DT_DOUBLE, true, 4294967295.0},
    {DT_ULONG, 0x12345678, DT_USHORT, true, 0x5678},
    {DT_SHORT, -2, DT_ULONG, true, 4294967294.0},        // widened by its sign
    {DT_USHORT, 0xFFFE, DT_LONG, true, 65534},
    {DT_HEX16, 0x8000, DT_FLOAT, true, 32768},
    {DT_LONG, -1, DT_HEX32, true, 4294967295.0},
    {DT_INT, 70000, DT_LONG, true, 70000},               // "%d" values are held in 32 bits
    {DT_FARPTR, 0x12345678, DT_BIN32, true, 0x12345678},
    {DT_BIN16, 0xFFFF, DT_SHORT, true, -1},
};

TEST(Datatypes, NumericConversions) {
    for (const NumCase& c : kNumCases) {
        std::vector<uint8_t> src = value_of(c.from, c.value);
        uint8_t dst[8];
        memset(dst, 0xAB, sizeof dst);
        int rc = dt_convert(c.from, src.data(), c.to, dst);
        EXPECT_EQ(rc, c.ok ? 0 : -1) << c.from << "->" << c.to << " " << c.value;
        if (c.ok) EXPECT_EQ(read_value(c.to, dst), c.want) << c.from << "->" << c.to << " " << c.value;
        else EXPECT_EQ(dst[0], 0xAB);
    }
    double nan = std::numeric_limits<double>::quiet_NaN();
    int32_t l = 7;
    EXPECT_EQ(dt_convert(DT_DOUBLE, &nan, DT_LONG, &l), 0);
    EXPECT_EQ(l, 0);
}

struct TextInCase {
    const char* text;
    int to;
    bool ok;
    double want;
};

const TextInCase kTextInCases[] = {
    {"123", DT_LONG, true, 123},       {"-5", DT_ULONG, true, 4294967291.0}, {"0x10", DT_USHORT, true, 16},
    {"70000", DT_USHORT, true, 4464},  {"-1", DT_SHORT, true, -1},           {"0b102", DT_LONG, false, 0},
    {"1.5", DT_LONG, false, 0},        {"ff", DT_HEX16, true, 255},          {"FFFFFFFF", DT_HEX32, true, 4294967295.0},
    {"0x1f", DT_HEX32, true, 31},      {"0b11", DT_HEX16, true, 3},          {"0d12", DT_HEX16, true, 12},
    {"fg", DT_HEX16, false, 0},        {"777", DT_OCT16, true, 511},         {"8", DT_OCT32, false, 0},
    {"101", DT_BIN16, true, 5},        {"102", DT_BIN32, false, 0},          {"0b102", DT_BIN16, false, 0},
    {"0x1F", DT_BIN32, true, 31},      {"12345678", DT_FARPTR, true, 0x12345678}, {"0xABCD", DT_NEARPTR, true, 0xABCD},
    {"xyz", DT_FARPTR, false, 0},      {"1.5", DT_DOUBLE, true, 1.5},        {" -2.5e3 ", DT_DOUBLE, true, -2500},
    {".5", DT_DOUBLE, true, 0.5},      {"7.", DT_DOUBLE, true, 7},           {"+3", DT_DOUBLE, true, 3},
    {"1e400", DT_DOUBLE, false, 0},    {"1e-400", DT_DOUBLE, true, 0},       {"abc", DT_DOUBLE, false, 0},
    {"", DT_DOUBLE, false, 0},         {"1.5x", DT_DOUBLE, false, 0},        {"inf", DT_DOUBLE, false, 0},
    {"1e", DT_DOUBLE, false, 0},       {"1..2", DT_DOUBLE, false, 0},        {"4e38", DT_FLOAT, false, 0},
    {"-4e38", DT_FLOAT, false, 0},     {"3.4e38", DT_FLOAT, true, 3.4e38f},  {"0.1", DT_FLOAT, true, 0.1f},
};

TEST(Datatypes, TextToNumbers) {
    for (const TextInCase& c : kTextInCases) {
        char text[DT_TEXT_BUF] = {};
        strcpy(text, c.text);
        uint8_t dst[8];
        memset(dst, 0xAB, sizeof dst);
        EXPECT_EQ(dt_convert(DT_STRING, text, c.to, dst), c.ok ? 0 : -1) << c.text << " -> " << c.to;
        if (c.ok) EXPECT_EQ(read_value(c.to, dst), c.want) << c.text << " -> " << c.to;
        else EXPECT_EQ(dst[0], 0xAB) << c.text;
    }
}

struct TextOutCase {
    int from;
    double value;
    const char* text;
};

const TextOutCase kTextOutCases[] = {
    {DT_DOUBLE, 0.1, "0.1"},
    {DT_DOUBLE, 1.0 / 3, "0.333333333333333"},
    {DT_DOUBLE, 1e20, "1e+20"},
    {DT_DOUBLE, 123456789012345678.0, "1.23456789012346e+17"},
    {DT_DOUBLE, -2.5, "-2.5"},
    {DT_FLOAT, 1.5, "1.500000"},
    {DT_ULONG, 4294967295.0, "4294967295"},
    {DT_LONG, -1, "-1"},
    {DT_INT, -5, "-5"},
    {DT_USHORT, 65535, "65535"},
    {DT_SHORT, -32768, "-32768"},
    {DT_HEX32, 0xDEADBEEF, "deadbeef"},
    {DT_HEX16, 0xBEEF, "beef"},
    {DT_OCT32, 8, "10"},
    {DT_OCT16, 0xFFFF, "177777"},
    {DT_BIN32, 5, "101"},
    {DT_BIN16, 0, "0"},
    {DT_BIN32, 2147483648.0, "10000000000000000000000000000000"},
    {DT_FARPTR, 0x1234, "00001234"},
    {DT_NEARPTR, 0xABCDEF01, "ABCDEF01"},
};

TEST(Datatypes, NumbersToTextAndBack) {
    for (const TextOutCase& c : kTextOutCases) {
        std::vector<uint8_t> src = value_of(c.from, c.value);
        char text[DT_TEXT_BUF];
        ASSERT_EQ(dt_convert(c.from, src.data(), DT_STRING, text), 0) << c.text;
        EXPECT_STREQ(text, c.text);
        uint8_t back[8] = {};
        ASSERT_EQ(dt_convert(DT_CHARS, text, c.from, back), 0) << c.text;
        double want = read_value(c.from, src.data());
        EXPECT_NEAR(read_value(c.from, back), want, std::fabs(want) * 1e-14) << c.text;
    }
}

TEST(Datatypes, HexCharacterText) {
    char out[DT_TEXT_BUF];
    ASSERT_EQ(dt_convert(DT_STRING, "AB", DT_HEXCHAR, out), 0);
    EXPECT_STREQ(out, "41 42");
    // The length modulo 27.
    static const struct {
        size_t len, bytes;
    } kLengths[] = {{26, 26}, {27, 0}, {30, 3}, {54, 0}, {80, 26}};
    for (const auto& c : kLengths) {
        std::string text(c.len, 'z');
        ASSERT_EQ(dt_convert(DT_STRING, text.c_str(), DT_HEXCHAR, out), 0);
        EXPECT_EQ(strlen(out), c.bytes ? 3 * c.bytes - 1 : 0) << c.len;
    }
    double one = 1.0;
    ASSERT_EQ(dt_convert(DT_DOUBLE, &one, DT_HEXCHAR, out), 0);
    EXPECT_STREQ(out, "00 00 00 00 00 00 f0 3f");
    int16_t s = 0x1234;
    ASSERT_EQ(dt_convert(DT_SHORT, &s, DT_HEXCHAR, out), 0);
    EXPECT_STREQ(out, "34 12");
    uint32_t p = 0x01020304;
    ASSERT_EQ(dt_convert(DT_FARPTR, &p, DT_HEXCHAR, out), 0);
    EXPECT_STREQ(out, "04 03 02 01");

    uint16_t us = 0;
    ASSERT_EQ(dt_convert(DT_HEXCHAR, "34 12", DT_USHORT, &us), 0);
    EXPECT_EQ(us, 0x1234);
    double d = 0;
    ASSERT_EQ(dt_convert(DT_HEXCHAR, "00 00 00 00 00 00 f0 3f", DT_DOUBLE, &d), 0);
    EXPECT_EQ(d, 1.0);
    ASSERT_EQ(dt_convert(DT_HEXCHAR, "41 42", DT_STRING, out), 0);
    EXPECT_STREQ(out, "AB");
    us = 7;
    EXPECT_EQ(dt_convert(DT_HEXCHAR, "", DT_USHORT, &us), -1);
    EXPECT_EQ(us, 7);
}

struct DecodeCase {
    const char* text;
    std::vector<uint8_t> bytes;
};

const DecodeCase kDecodeCases[] = {
    {"0A ff", {0x0a, 0xff}}, {" a", {0x0a}},   {"a ", {0x0a}},         {"  ", {0x00}},
    {"zz", {0xff}},          {"a-", {0xff}},   {"z ", {0xff}},         {" z", {0xff}},
    {"ab c", {0xab}},        {"ab cd", {0xab, 0xcd}}, {"a", {}},       {"", {}},
    {"01x02x03", {0x01, 0x02, 0x03}},
};

TEST(Datatypes, HexCharacterDecoding) {
    for (const DecodeCase& c : kDecodeCases) {
        uint8_t out[32];
        int n = dt_hexchar_decode(c.text, out, (int)sizeof out);
        EXPECT_EQ(std::vector<uint8_t>(out, out + n), c.bytes) << '"' << c.text << '"';
    }
    uint8_t one[1];
    EXPECT_EQ(dt_hexchar_decode("01 02 03", one, 1), 1);
    EXPECT_EQ(dt_hexchar_decode("01 02 03", one, -4), 0);
}

TEST(Datatypes, TextIsBoundedOnBothSides) {
    std::vector<char> src(DT_TEXT_MAX, 'x');   // no NUL anywhere
    char dst[DT_TEXT_BUF + 8];
    memset(dst, '#', sizeof dst);
    ASSERT_EQ(dt_convert(DT_STRING, src.data(), DT_CHARS, dst), 0);
    EXPECT_EQ(strlen(dst), (size_t)DT_TEXT_MAX);
    EXPECT_EQ(dst[DT_TEXT_BUF], '#');
    ASSERT_EQ(dt_convert(DT_HEXCHAR, src.data(), DT_STRING, dst), 0);   // 27 0xFF bytes
    EXPECT_EQ(strlen(dst), 27u);
    uint32_t keep = 5;
    EXPECT_EQ(dt_convert(20, &keep, DT_LONG, &keep), -1);
    EXPECT_EQ(dt_convert(DT_LONG, &keep, -1, &keep), -1);
    EXPECT_EQ(dt_convert(DT_LONG, nullptr, DT_LONG, &keep), -1);
    EXPECT_EQ(keep, 5u);
}

struct DisplayCase {
    const char* fmt;
    int type;
    double value;
    const char* text;
};

const DisplayCase kDisplayCases[] = {
    {"%16.6f", DT_DOUBLE, 3.14159, "        3.141590"},
    {"%14.6e", DT_FLOAT, 1.5, "  1.500000e+00"},
    {"%17.9le", DT_DOUBLE, -12345.678, " -1.234567800e+04"},
    {"%G", DT_DOUBLE, 1e-10, "1E-10"},
    {"%lf", DT_LONG, 2, "2.000000"},
    {"%11ld", DT_LONG, -42, "        -42"},
    {"%6.3d", DT_INT, 5, "   005"},
    {"%4hx", DT_USHORT, 255, "  ff"},
    {"%4lX", DT_ULONG, 0xABCDE, "ABCDE"},
    {"%8lb", DT_ULONG, 5, "     101"},
    {"%Fp", DT_ULONG, 0xABCD, "0000ABCD"},
    {"%6hu", DT_DOUBLE, -1.0, " 65535"},
};

TEST(Datatypes, DisplayFormatting) {
    for (const DisplayCase& c : kDisplayCases) {
        std::vector<uint8_t> v = value_of(c.type, c.value);
        char out[64];
        EXPECT_EQ(dt_format_value(c.fmt, c.type, v.data(), out, sizeof out), (int)strlen(c.text)) << c.fmt;
        EXPECT_STREQ(out, c.text) << c.fmt;
    }
    char out[8];
    EXPECT_EQ(dt_format_value("%5s", DT_STRING, "ab", out, sizeof out), 5);
    EXPECT_STREQ(out, "   ab");
    EXPECT_EQ(dt_format_value("%2H", DT_STRING, "AB", out, sizeof out), 5);
    EXPECT_STREQ(out, "41 42");
    EXPECT_EQ(dt_format_value("%20s", DT_STRING, "ab", out, sizeof out), 7);   // cut to the buffer
    EXPECT_EQ(dt_format_value("%.6f", DT_STRING, "ab", out, sizeof out), -1);
    EXPECT_EQ(dt_format_value("%f", DT_STRING, "ab", out, sizeof out), -1);
}

// A process locale with a decimal comma must not change number text.
TEST(Datatypes, NumberTextIgnoresTheLocale) {
    if (!setlocale(LC_NUMERIC, "de_DE.UTF-8") && !setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    double d = 0, x = 2.5;
    char out[DT_TEXT_BUF];
    int ok1 = dt_convert(DT_STRING, "1.25", DT_DOUBLE, &d);
    int ok2 = dt_convert(DT_DOUBLE, &x, DT_STRING, out);
    char shown[32];
    dt_format_value("%6.2f", DT_DOUBLE, &x, shown, sizeof shown);
    setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(ok1, 0);
    EXPECT_EQ(d, 1.25);
    EXPECT_EQ(ok2, 0);
    EXPECT_STREQ(out, "2.5");
    EXPECT_STREQ(shown, "  2.50");
}

TEST(Datatypes, TypeGroups) {
    const int calc[DT_TYPES] = {-1, 1, 1, 3, 4, 3, 4, 3, 4, -1, -1, 3, 3, 3, 3, 3, 3, 3, 3, -1};
    const int size[DT_TYPES] = {0, 8, 4, 4, 4, 4, 4, 2, 2, 0, 0, 4, 4, 4, 2, 4, 2, 4, 2, 0};
    for (int t = 0; t < DT_TYPES; t++) {
        EXPECT_EQ(dt_calc_type(t), calc[t]) << t;
        EXPECT_EQ(dt_value_size(t), size[t]) << t;
        EXPECT_EQ(dt_is_text(t), size[t] == 0) << t;
        EXPECT_EQ(dt_is_numeric(t), size[t] != 0) << t;
    }
    EXPECT_EQ(dt_calc_type(DT_INVALID), -1);
    EXPECT_FALSE(dt_is_numeric(DT_INVALID));
}

TEST(Datatypes, ByteSwaps) {
    EXPECT_EQ(dt_swap16(0x1234), 0x3412);
    EXPECT_EQ(dt_swap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(dt_swap64(0x0102030405060708ull), 0x0807060504030201ull);
    double swapped = dt_swap_double(1.0);
    uint8_t b[8];
    memcpy(b, &swapped, 8);
    EXPECT_EQ(b[0], 0x3f);
    EXPECT_EQ(b[1], 0xf0);
    EXPECT_EQ(b[7], 0x00);
    EXPECT_EQ(dt_swap_double(swapped), 1.0);
}

// Arbitrary bytes through every reader of outside text: a code or a
// failure, never a crash or a read past the input (the sanitizers watch).
TEST(Datatypes, ArbitraryInputNeverMisbehaves) {
    std::mt19937 rng(12345);
    const char alphabet[] = "%\"0123456789.lhLFHNxXbodsefgGpc -+ \xff\x80zZ";
    for (int i = 0; i < 5000; i++) {
        size_t len = rng() % 24;
        std::vector<char> s(len + 1, '\0');
        for (size_t k = 0; k < len; k++)
            s[k] = (rng() % 4) ? alphabet[rng() % (sizeof alphabet - 1)] : (char)(rng() % 255 + 1);
        int code = dt_classify(s.data());
        EXPECT_TRUE(code == DT_INVALID || (code >= 0 && code < DT_TYPES));
        EXPECT_GE(dt_raw_size(s.data()), 0);
        char fmt[21];
        dt_format_from_word(s.data(), fmt, sizeof fmt);
        int64_t n;
        dt_scan_number(s.data(), &n);
        uint8_t out[DT_TEXT_BUF];
        for (int t = 0; t < DT_TYPES; t++) dt_convert(DT_STRING, s.data(), t, out);
        dt_convert(DT_HEXCHAR, s.data(), DT_DOUBLE, out);
    }
}

}  // namespace
