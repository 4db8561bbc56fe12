// Value forms: whole numbers, rates and data type phrases.
#include "compiler/values.h"

#include <gtest/gtest.h>

#include "compiler/compiler_test_support.h"
#include "core/datatypes.h"

class ValuesTest : public CompilerTest {
protected:
    static Token number(const char* text) {
        Token t[LINE_TOKENS];
        tokenise(text, t);
        return t[0];
    }
};

struct WholeCase {
    const char* text;
    int rc;
    int64_t value;
};
static const WholeCase kWholeCases[] = {
    {"12", 0, 12},       {"-7", 0, -7},          {"0x1F", 0, 31},     {"0h1f", 0, 31},     {"0XfF", 0, 255},
    {"0b101", 0, 5},     {"0B11", 0, 3},         {"0o17", 0, 15},     {"0d99", 0, 99},     {"0b102", -1, 0},
    {"0x", -1, 0},       {"1.5", -1, 0},         {"+5", -1, 0},       {"12a", -1, 0},      {"4294967295", 0, 4294967295},
    {"4294967296", 0, 4294967295},   // clamped, as a text-to-long conversion clamps
};

TEST_F(ValuesTest, WholeNumbersTakeTheirRadixPrefixes) {
    for (const WholeCase& c : kWholeCases) {
        Token t = number(c.text);
        int64_t v = -999;
        EXPECT_EQ(value_whole(&t, &v), c.rc) << c.text;
        if (c.rc == 0) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST_F(ValuesTest, SixteenBitFieldsRefuseWhatDoesNotFit) {
    uint16_t u = 7;
    Token t = number("65535");
    EXPECT_EQ(value_u16(&t, &u), 0);
    EXPECT_EQ(u, 65535);
    t = number("-1");
    EXPECT_EQ(value_u16(&t, &u), 0);
    EXPECT_EQ(u, 65535);
    t = number("65536");
    EXPECT_EQ(value_u16(&t, &u), -1);
    t = number("-32769");
    EXPECT_EQ(value_u16(&t, &u), -1);
}

struct RateCase {
    const char* text;
    int rc;
    uint32_t mask;   // for every..msecs: the period's base pattern before the random start
    bool random_start;
};
static const RateCase kRateCases[] = {
    {"F04ST02", 0, 0x22222222u, false},
    {"f02st02", 0, 0xAAAAAAAAu, false},
    {"F04ST03", 0, 0x44444444u, false},
    {"F01ST01", 0, 0xFFFFFFFFu, false},
    {"F00ST00", 0, 0u, false},
    {"F32ST32", 0, 0x80000000u, false},
    {"F03ST01", -1, 0, false},
    {"F04ST05", -1, 0, false},
    {"F04ST00", -1, 0, false},
    {"F4ST2", -1, 0, false},
    {"every10msecs", 0, 0xFFFFFFFFu, false},
    {"every5msecs", 0, 0xFFFFFFFFu, false},
    {"EVERY40MSECS", 0, 0x11111111u, true},
    {"every30msecs", 0, 0x55555555u, true},
    {"every10000msecs", 0, 0x00000001u, true},
    {"every 40 msecs", -1, 0, false},
    {"every40", -1, 0, false},
    {"processrate", -1, 0, false},
};

// A mask of a random start is the period's pattern shifted left by less
// than the period.
static bool shifted_pattern(uint32_t mask, uint32_t base) {
    for (int s = 0; s < 32; s++)
        if (mask == (uint32_t)(base << s)) return true;
    return false;
}

TEST_F(ValuesTest, RatesBecomeCycleMasks) {
    for (const RateCase& c : kRateCases) {
        uint32_t mask = 0x12345678;
        EXPECT_EQ(value_rate(c.text, 1, &mask), c.rc) << c.text;
        if (c.rc != 0) continue;
        if (c.random_start)
            EXPECT_TRUE(shifted_pattern(mask, c.mask)) << c.text << " " << std::hex << mask;
        else
            EXPECT_EQ(mask, c.mask) << c.text;
    }
}

TEST_F(ValuesTest, EveryRatesOfOnePortShareTheirStart) {
    uint32_t a, b;
    for (int port = 1; port < 20; port++) {
        ASSERT_EQ(value_rate("every80msecs", port, &a), 0);
        ASSERT_EQ(value_rate("every80msecs", port, &b), 0);
        EXPECT_EQ(a, b);
    }
}

struct TypeCase {
    const char* text;
    const char* format;
    int code;
};
static const TypeCase kTypeCases[] = {
    {"hex", "%4hx", DT_HEX16},
    {"shorthexinteger", "%4hx", DT_HEX16},
    {"octal", "%6ho", DT_OCT16},
    {"binaryinteger", "%16hb", DT_BIN16},
    {"longhex", "%8lx", DT_HEX32},
    {"doubleoctalinteger", "%11lo", DT_OCT32},
    {"doublebinary", "%32lb", DT_BIN32},
    {"real", "%16.6f", DT_FLOAT},
    {"float", "%14.6e", DT_FLOAT},
    {"integer", "%6hd", DT_SHORT},
    {"double", "%24.6lf", DT_DOUBLE},
    {"LongReal", "%24.6lf", DT_DOUBLE},
    {"doublefloat", "%17.9le", DT_DOUBLE},
    {"long", "%11ld", DT_LONG},
    {"doubleinteger", "%11ld", DT_LONG},
    {"%10lu", "%10lu", DT_ULONG},
    {"hexreal", "hexreal", DT_INVALID},
    {"short", "short", DT_INVALID},
    {"%32s", "%32s", DT_STRING},
};

TEST_F(ValuesTest, DataTypePhrasesBecomeFormats) {
    for (const TypeCase& c : kTypeCases) {
        char field[21];
        int code = -1;
        EXPECT_EQ(value_datatype(c.text, field, sizeof field, &code), 0) << c.text;
        EXPECT_STREQ(field, c.format) << c.text;
        EXPECT_EQ(code, c.code) << c.text;
    }
}

TEST_F(ValuesTest, TextsAreCutAtTheirField) {
    Token t[LINE_TOKENS];
    tokenise("\"abcdef\"", t);
    char field[5];
    EXPECT_EQ(value_text(&t[0], field, sizeof field), 1);
    EXPECT_STREQ(field, "abcd");
    char wide[7];
    EXPECT_EQ(value_text(&t[0], wide, sizeof wide), 0);
    EXPECT_STREQ(wide, "abcdef");
    tokenise("abc", t);
    EXPECT_EQ(value_text(&t[0], field, sizeof field), -1);
}

TEST_F(ValuesTest, TypedValuesTakeTheTypeOfTheFormat) {
    Token t[LINE_TOKENS];
    tokenise("-3 0x10 2.5 \"text\"", t);
    ValueCell c;
    ASSERT_EQ(value_typed(&t[0], DT_SHORT, &c, sizeof c), 0);
    EXPECT_EQ(c.i16, -3);
    ASSERT_EQ(value_typed(&t[1], DT_HEX16, &c, sizeof c), 0);
    EXPECT_EQ(c.u16, 16);
    ASSERT_EQ(value_typed(&t[2], DT_DOUBLE, &c, sizeof c), 0);
    EXPECT_EQ(c.d, 2.5);
    ASSERT_EQ(value_typed(&t[3], DT_STRING, &c, sizeof c), 0);
    EXPECT_STREQ(c.text, "text");
    EXPECT_EQ(value_typed(&t[2], DT_SHORT, &c, sizeof c), -1);
    EXPECT_EQ(value_typed(&t[0], DT_INVALID, &c, sizeof c), -1);
}
