#include "engine/calib.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include "core/symtab.h"
#include "engine/calibtext.h"
#include "engine/input.h"
#include "tests/eval_support.h"

class Calib : public ::testing::Test {
protected:
    void SetUp() override { eval_setup(); }
    void TearDown() override { eval_teardown(); }
};

// The calibration constant of a display type: a double in the floating
// class, else a 32-bit integer.
static CalConst cal_const(const char* disp, double v) {
    CalConst c{};
    int calc = dt_calc_type(dt_classify(disp));
    if (calc == DT_DOUBLE)
        c.d = v;
    else if (calc == DT_LONG)
        c.i = (int32_t)v;
    else
        c.u = (uint32_t)(int64_t)v;
    return c;
}

struct PolyCase {
    const char* name;
    const char* raw;
    const char* disp;
    std::vector<uint8_t> bytes;
    uint32_t calflags;
    double a[5];
    uint32_t bitmask;
    double modulus, quotient;
    double want;
};

static std::vector<uint8_t> le_double(double d) {
    std::vector<uint8_t> b(8);
    memcpy(b.data(), &d, 8);
    return b;
}
static std::vector<uint8_t> be_double(double d) {
    std::vector<uint8_t> b = le_double(d);
    return std::vector<uint8_t>(b.rbegin(), b.rend());
}
static std::vector<uint8_t> le_float(float f) {
    std::vector<uint8_t> b(4);
    memcpy(b.data(), &f, 4);
    return b;
}

static const PolyCase kPolyCases[] = {
    {"real a0+a1x", "%hu", "%16.6f", {10, 0}, 3, {1.5, 2}, 0, 0, 0, 21.5},
    {"real degree 4", "%hu", "%24.6lf", {2, 0}, 31, {1, 1, 1, 1, 1}, 0, 0, 0, 31},
    {"real a0 only", "%hu", "%lf", {9, 0}, 1, {7}, 0, 0, 0, 7},
    {"unsigned degree 2", "%hu", "%lu", {7, 0}, 7, {1, 2, 3}, 0, 0, 0, 162},
    {"signed negative raw", "%hd", "%ld", {0xFE, 0xFF}, 3, {10, 3}, 0, 0, 0, 4},
    {"coefficient set 2 gives 0", "%hu", "%lf", {5, 0}, 2, {1, 1}, 0, 0, 0, 0},
    {"no coefficients give 0", "%hu", "%lu", {5, 0}, 0, {1, 1}, 0, 0, 0, 0},
    {"integerbyteswap", "%hu", "%lu", {0x12, 0x34}, CAL_INTEGERBYTESWAP | 3, {0, 1}, 0, 0, 0, 0x1234},
    {"longbyteswap", "%lu", "%lu", {1, 2, 3, 4}, CAL_LONGBYTESWAP | 3, {0, 1}, 0, 0, 0, 0x01020304},
    {"doublebyteswap", "%lf", "%lf", be_double(1.5), CAL_DOUBLEBYTESWAP | 3, {0, 1}, 0, 0, 0, 1.5},
    {"only the first swap", "%lu", "%lu", {1, 2, 3, 4}, CAL_INTEGERBYTESWAP | CAL_LONGBYTESWAP | 3, {0, 1}, 0, 0, 0,
     0x04030102},
    {"bitmask unsigned", "%hu", "%lu", {0xCD, 0xAB}, CAL_BITMASK | 3, {0, 1}, 0x0FF0, 0, 0, 0x0BC0},
    {"bitmask signed extends", "%hd", "%ld", {0x80, 0x0F}, CAL_BITMASK | 3, {0, 1}, 0x0FF0, 0, 0, -128},
    {"bitmask signed positive", "%hd", "%ld", {0x70, 0x01}, CAL_BITMASK | 3, {0, 1}, 0x0FF0, 0, 0, 0x170},
    {"bitmask signed 32-bit", "%ld", "%ld", {0x00, 0x0F, 0, 0}, CAL_BITMASK | 3, {0, 1}, 0x0F00, 0, 0, -256},
    {"bitmask signed short raw", "%d", "%ld", {0x0C, 0x00}, CAL_BITMASK | 3, {0, 1}, 0x000E, 0, 0, -4},
    {"modulus real", "%hu", "%f", {17, 0}, CAL_MODULUS | 3, {0, 1}, 0, 5, 0, 2},
    {"modulus unsigned", "%hu", "%lu", {17, 0}, CAL_MODULUS | 3, {0, 1}, 0, 5, 0, 2},
    {"modulus signed", "%hd", "%ld", {0xEF, 0xFF}, CAL_MODULUS | 3, {0, 1}, 0, 5, 0, -2},
    {"quotient real floors", "%hd", "%lf", {0xF9, 0xFF}, CAL_QUOTIENT | 3, {0, 1}, 0, 0, 2, -4},
    {"quotient signed truncates", "%hd", "%ld", {0xF9, 0xFF}, CAL_QUOTIENT | 3, {0, 1}, 0, 0, 2, -3},
    {"quotient unsigned", "%hu", "%lu", {17, 0}, CAL_QUOTIENT | 3, {0, 1}, 0, 0, 5, 3},
    {"modulus then quotient", "%hu", "%lu", {23, 0}, CAL_MODULUS | CAL_QUOTIENT | 3, {0, 1}, 0, 10, 2, 1},
    {"signed quotient -1 of the lowest wraps", "%ld", "%ld", {0, 0, 0, 0x80}, CAL_QUOTIENT | 3, {0, 1}, 0, 0, -1,
     -2147483648.0},
    {"reciprocal", "%hu", "%lf", {4, 0}, CAL_RECIPROCAL | 3, {0, 1}, 0, 0, 0, 0.25},
    {"reciprocal of 0 is the largest double", "%hu", "%lf", {0, 0}, CAL_RECIPROCAL | 3, {0, 1}, 0, 0, 0, DBL_MAX},
    {"reciprocal only in the real class", "%hu", "%lu", {4, 0}, CAL_RECIPROCAL | 3, {0, 1}, 0, 0, 0, 4},
    {"float raw", "%f", "%lf", le_float(2.5f), 3, {1, 2}, 0, 0, 0, 6},
    {"zero partial sum is not multiplied", "%lf", "%lf", le_double(INFINITY), 7, {1, 0, 0}, 0, 0, 0, 1},
    {"16-bit result keeps the low bits", "%hu", "%hu", {0x2C, 0x01}, 3, {0, 300}, 0, 0, 0, 24464},
    {"unsigned wraps", "%lu", "%lu", {0xFF, 0xFF, 0xFF, 0xFF}, 3, {2, 1}, 0, 0, 0, 1},
};

TEST_F(Calib, PolynomialCoversEveryClassAndOption) {
    for (const auto& c : kPolyCases) {
        SCOPED_TRACE(c.name);
        PortRecord r = calib_record(FN_POLYNOMIAL, c.raw, c.disp);
        r.cal.calflags = c.calflags;
        CalConst* coeffs[] = {&r.cal.a0, &r.cal.a1, &r.cal.a2, &r.cal.a3, &r.cal.a4};
        for (int j = 0; j < 5; j++) *coeffs[j] = cal_const(c.disp, c.a[j]);
        r.cal.bitmask = c.bitmask;
        r.cal.modulus = cal_const(c.disp, c.modulus);
        r.cal.quotient = cal_const(c.disp, c.quotient);
        ZyrPort* p = make_port(r);
        ASSERT_NE(p, nullptr);
        put_bytes(0, c.bytes);
        eval_port_now(p);
        EXPECT_DOUBLE_EQ(port_numeric(p), c.want);
        page_free_all();
    }
    EXPECT_EQ(diag.last_code, 6);   // nothing was reported
}

TEST_F(Calib, TextDataTypesPassThroughThePolynomial) {
    PortRecord r = calib_record(FN_POLYNOMIAL, "%4s", "%4s");
    r.cal.calflags = 3;
    ZyrPort* p = make_port(r);
    put_bytes(0, {'A', 'B', 'C', 'D'});
    eval_port_now(p);
    EXPECT_STREQ(p->text, "ABCD");
}

TEST_F(Calib, AveragingRunsOverTheLastSamples) {
    for (const char* disp : {"%lf", "%lu", "%ld"}) {
        SCOPED_TRACE(disp);
        PortRecord r = calib_record(FN_POLYNOMIAL, "%hu", disp);
        r.cal.calflags = 3;
        r.cal.a1 = cal_const(disp, 1);
        r.cal.avgsamples = 3;
        ZyrPort* p = make_port(r);
        const int raws[] = {3, 6, 9, 30, 60};
        const double want[] = {3, 4.5, 6, 15, 33};
        for (int k = 0; k < 5; k++) {
            put_bytes(0, {(uint8_t)raws[k], 0});
            eval_port_now(p);
            double w = dt_calc_type(p->data_type) == DT_DOUBLE ? want[k] : std::floor(want[k]);
            EXPECT_DOUBLE_EQ(port_numeric(p), w) << k;
        }
        page_free_all();
    }
}

TEST_F(Calib, AnInfiniteSampleSpoilsTheAverageOnlyWhileInTheRing) {
    PortRecord r = calib_record(FN_POLYNOMIAL, "%lf", "%lf");
    r.cal.calflags = 3;
    r.cal.a1.d = 1;
    r.cal.avgsamples = 2;
    ZyrPort* p = make_port(r);
    const double raws[] = {2, INFINITY, 4, 6, 8};
    for (double v : raws) {
        put_bytes(0, le_double(v));
        eval_port_now(p);
    }
    EXPECT_DOUBLE_EQ(port_numeric(p), 7);
}

// Error file lines, one per report written.
static std::string error_lines() {
    zyr_fflush(diag.errfile);
    return read_file("zyrerr.txt");
}

static int count(const std::string& s, const std::string& what) {
    int n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) n++;
    return n;
}

TEST_F(Calib, AZeroQuotientIsReportedOncePerPort) {
    diag_set_errfile(zyr_fopen("zyrerr.txt", "a", 2048));
    PortRecord r = calib_record(FN_POLYNOMIAL, "%hu", "%lu");
    r.cal.calflags = CAL_QUOTIENT | 3;
    r.cal.a1.u = 1;
    ZyrPort* p = make_port(r);
    put_bytes(0, {8, 0});
    eval_port_now(p);
    EXPECT_EQ(p->value.u32, 0u);   // unchanged in that pass
    EXPECT_STREQ(diag.status1, "     0021 ZYR General Error     ");
    EXPECT_STREQ(diag.status2, "       PolyCalib div. by 0      ");
    for (uint8_t v : {9, 10, 11}) {
        plat_fake_clock_advance(1000);
        clock_update();
        put_bytes(0, {v, 0});
        eval_port_now(p);
        EXPECT_EQ(p->value.u32, v);   // divided by 1 from now on
    }
    EXPECT_EQ(count(error_lines(), " 21\r\n"), 1);
}

TEST_F(Calib, SqrtOfANegativeValueReportsDomainAndGivesZero) {
    make_port(eval_record(VIEW_ZYR_MSECS, 0, "%lu"));
    PortRecord r = calib_record(FN_MATH_FIRST + 15, "%hd", "%lf");   // sqrt
    r.cal.calflags = 3;
    r.cal.a1.d = 1;
    ZyrPort* p = make_port(r);
    ASSERT_EQ(p->index, 1);
    put_bytes(0, {0xFC, 0xFF});   // -4
    p->value.d = 99;
    eval_port_now(p);
    EXPECT_EQ(p->value.d, 0.0);
    EXPECT_STREQ(diag.status1, "    0018 Math exception error   ");
    EXPECT_STREQ(diag.status2, "         DOMAIN: sqrt 1         ");
    put_bytes(0, {16, 0});
    eval_port_now(p);
    EXPECT_EQ(p->value.d, 4.0);
}

TEST_F(Calib, ADivisionByZeroIsOneFloatingPointReportWithThePort) {
    diag_set_errfile(zyr_fopen("zyrerr.txt", "a", 2048));
    make_port(eval_record(VIEW_ZYR_MSECS, 0, "%lu"));
    make_port(eval_record(VIEW_ZYR_MSECS, 0, "%lu"));
    ZyrPort* p = make_port(calib_record(FN_RECIPROCAL, "%hu", "%lf"));
    put_bytes(0, {0, 0});
    eval_port_now(p);
    EXPECT_EQ(p->value.d, 0.0);
    EXPECT_STREQ(diag.status1, "  0007 Floating Point exception ");
    EXPECT_STREQ(diag.status2, "        Divide by zero 2        ");
    EXPECT_EQ(count(error_lines(), " 7\r\n"), 1);
    put_bytes(0, {8, 0});
    eval_port_now(p);
    EXPECT_DOUBLE_EQ(p->value.d, 0.125);
}

struct MathCase {
    int fn;
    int16_t raw;
    const char* disp;
    double want;
    int report;   // 0 none, else the math error type shown
};

static const MathCase kMathCases[] = {
    {FN_MATH_FIRST + 0, 1, "%lf", 0.0, 0},                    // acos
    {FN_MATH_FIRST + 0, 2, "%lf", 0.0, 1},                    // acos outside -1..1
    {FN_MATH_FIRST + 1, 1, "%lf", M_PI / 2, 0},               // asin
    {FN_MATH_FIRST + 2, 1, "%lf", M_PI / 4, 0},               // atan
    {FN_MATH_FIRST + 4, 0, "%lf", 1.0, 0},                    // cos
    {FN_MATH_FIRST + 6, 0, "%lf", 1.0, 0},                    // exp
    {FN_MATH_FIRST + 6, 1000, "%lf", 0.0, 3},                 // exp overflows
    {FN_MATH_FIRST + 7, -3, "%lf", 3.0, 0},                   // fabs
    {FN_MATH_FIRST + 9, 0, "%lf", 1.0, 0},                    // j0
    {FN_MATH_FIRST + 11, 0, "%lf", 0.0, 2},                   // log(0)
    {FN_MATH_FIRST + 12, 100, "%lf", 2.0, 0},                 // log10
    {FN_MATH_FIRST + 15, 9, "%f", 3.0, 0},                    // sqrt into a float
    {FN_MATH_FIRST + 15, 10, "%lu", 3.0, 0},                  // sqrt into an integer
    {FN_MATH_FIRST + 18, -1, "%lf", 0.0, 1},                  // y0 of a negative
};

TEST_F(Calib, MathematicalFunctionsFollowThePolynomial) {
    static const char* const kTypes[] = {"", "DOMAIN", "SING", "OVERFLOW"};
    for (const auto& c : kMathCases) {
        SCOPED_TRACE(calib_fn_name(c.fn));
        SCOPED_TRACE(c.raw);
        diagnostics_reset();
        PortRecord r = calib_record(c.fn, "%hd", c.disp);
        r.cal.calflags = 3;
        r.cal.a1 = cal_const(c.disp, 1);
        ZyrPort* p = make_port(r);
        put_bytes(0, {(uint8_t)c.raw, (uint8_t)(c.raw >> 8)});
        eval_port_now(p);
        EXPECT_NEAR(port_numeric(p), c.want, 1e-6);
        if (c.report) {
            EXPECT_EQ(diag.last_code, 18);
            EXPECT_NE(std::string(diag.status2).find(std::string(kTypes[c.report]) + ": " + calib_fn_name(c.fn)),
                      std::string::npos);
        } else {
            EXPECT_EQ(diag.last_code, 6);
        }
        page_free_all();
    }
}

struct BitCase {
    int fn;
    const char* set;
    const char* clear;
};

static const BitCase kBitCases[] = {
    {FN_TESTBIT, "1", "0"},
    {FN_NTESTBIT, "0", "1"},
    {FN_ONOFFBIT, " ON", "OFF"},
    {FN_NONOFFBIT, "OFF", " ON"},
    {FN_OPENCLOSEBIT, " OPEN ", "CLOSED"},
    {FN_NOPENCLOSEBIT, "CLOSED", " OPEN "},
    {FN_ENDISBIT, " ENABLED", "DISABLED"},
    {FN_NENDISBIT, "DISABLED", " ENABLED"},
    {FN_YESNOBIT, "YES", " NO"},
    {FN_NYESNOBIT, " NO", "YES"},
};

TEST_F(Calib, BitOperationsTestTheMaskedRawValue) {
    for (const auto& c : kBitCases) {
        SCOPED_TRACE(calib_fn_name(c.fn));
        bool numeric = c.fn == FN_TESTBIT || c.fn == FN_NTESTBIT;
        PortRecord r = calib_record(c.fn, "%hx", numeric ? "%hu" : "%8s");
        r.cal.bitmask = 0x0100;
        ZyrPort* p = make_port(r);
        char got[DT_TEXT_BUF];
        for (bool set : {true, false}) {
            put_bytes(0, {0xFF, (uint8_t)(set ? 0x01 : 0xFE)});
            eval_port_now(p);
            if (numeric)
                snprintf(got, sizeof got, "%u", p->value.u16);
            else
                snprintf(got, sizeof got, "%s", p->text);
            EXPECT_STREQ(got, set ? c.set : c.clear);
        }
        page_free_all();
    }
}

TEST_F(Calib, ByteSwapFunctionsReverseTheRawBytes) {
    struct {
        int fn;
        const char* raw;
        std::vector<uint8_t> bytes;
        double want;
    } cases[] = {
        {FN_INTEGERBYTESWAP, "%hx", {0x12, 0x34}, 0x1234},
        {FN_LONGBYTESWAP, "%lx", {1, 2, 3, 4}, 0x01020304},
        {FN_DOUBLEBYTESWAP, "%lf", be_double(-2.25), -2.25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(calib_fn_name(c.fn));
        ZyrPort* p = make_port(calib_record(c.fn, c.raw, c.raw));
        put_bytes(0, c.bytes);
        eval_port_now(p);
        EXPECT_DOUBLE_EQ(port_numeric(p), c.want);
        page_free_all();
    }
}

TEST_F(Calib, PlainFunctionsConvertByTheDataType) {
    for (int fn : {(int)FN_DUMMY_CALIBFN, FN_USERFN1 + 1, FN_USERFN17 + 47}) {
        ZyrPort* p = make_port(calib_record(fn, "%hd", "%ld"));
        put_bytes(0, {0xFE, 0xFF});
        eval_port_now(p);
        EXPECT_EQ(p->value.i32, -2) << fn;
        page_free_all();
    }
}

TEST_F(Calib, EveryFunctionNumberHasItsRow) {
    for (int fn = 0; fn < CALIB_FN_COUNT; fn++) {
        ASSERT_NE(calib_fn(fn), nullptr);
        EXPECT_EQ(calib_fn(fn)->fn, fn);
        EXPECT_NE(calib_fn(fn)->proc, nullptr);
    }
    EXPECT_EQ(calib_fn(-1), nullptr);
    EXPECT_EQ(calib_fn(CALIB_FN_COUNT), nullptr);
}

// ---- text functions ---------------------------------------------------------------

struct TextCase {
    int fn;
    const char* raw;
    const char* disp;
    std::vector<uint8_t> bytes;
    uint32_t packets;   // zyrfr_cnt
    const char* want;
};

static const TextCase kTextCases[] = {
    {FN_ASCIICTIME, "%hu", "%24s", {0, 0}, 0, "Tue Nov 14 22:13:20 2023"},
    {FN_RASCIICTIME, "%lu", "%24s", {0x00, 0xCA, 0x9A, 0x3B}, 0, "Sun Sep  9 01:46:40 2001"},
    {FN_ELAPSED_TIME, "%hu", "%13s", {0, 0}, 0, "0001.01:01:01"},
    {FN_ZYRCENTRETEXT, "%3s", "%6s", {'A', 'B', 'C'}, 0, "  ABC "},
    {FN_ZYRCENTRETEXT, "%4s", "%6s", {' ', 'A', 'B', ' '}, 0, "  AB  "},
    {FN_ZYRCENTRETEXT, "%hu", "%5s", {42, 0}, 0, "  42 "},
    {FN_TELMCONFIG, "%hu", "%40s", {0, 0}, 0, "TEST TESTDATA RAW"},
    {FN_TELMCONFIG, "%hu", "%40s", {1, 0}, 0, "NONE NO OUTPUT SOURCE "},
    {FN_TELMCONFIG, "%hu", "%40s", {3, 0}, 0, "TESTDATA"},
    {FN_TELMCONFIG, "%hu", "%40s", {6, 0}, 0, "NO OUTPUT SOURCE"},
    {FN_HEXCHARTEXT, "%3c", "%3H", {0x0A, 0xFF, 0x3C}, 0, "0a ff 3c"},
    {FN_ISPRINTCHAR, "%5s", "%5s", {'A', 1, 'B', 0x7F, 'C'}, 0, "A.B.C"},
    {FN_ISPRINTCHAR, "%lx", "%4s", {'O', 'K', 0, '!'}, 0, "OK.!"},
    {FN_HORIZONTALBAR, "%hu", "%10s", {50, 0}, 0, "#####     "},
    {FN_HORIZONTALBAR, "%hu", "%10s", {250, 0}, 0, "##########"},
    {FN_HORIZONTALBAR, "%hd", "%4s", {0xFF, 0xFF}, 0, "    "},
    {FN_PACKETBAR, "%hu", "%4s", {0, 0}, 2, "##  "},
    {FN_PACKETBAR, "%hu", "%4s", {0, 0}, 5, "    "},
};

TEST_F(Calib, TextFunctions) {
    setenv("TZ", "UTC", 1);
    tzset();
    zyr.caltime = 1700000000;
    state_refresh_asciictime();
    zyr.zyr_msecs = 90061000;
    snprintf(telmconfig.in_kind, sizeof telmconfig.in_kind, "TEST");
    snprintf(telmconfig.in_desc, sizeof telmconfig.in_desc, "TESTDATA");
    snprintf(telmconfig.in_format, sizeof telmconfig.in_format, "RAW");
    snprintf(telmconfig.out_kind, sizeof telmconfig.out_kind, "NONE");
    snprintf(telmconfig.out_desc, sizeof telmconfig.out_desc, "NO OUTPUT SOURCE");
    for (const auto& c : kTextCases) {
        SCOPED_TRACE(c.want);
        zyr.zyrfr_cnt = c.packets;
        ZyrPort* p = make_port(calib_record(c.fn, c.raw, c.disp));
        put_bytes(0, c.bytes);
        eval_port_now(p);
        EXPECT_STREQ(p->text, c.want);
        page_free_all();
    }
}

TEST_F(Calib, TheDataIndicatorBlinksAndSaysWhetherBytesArrive) {
    ZyrPort* p = make_port(calib_record(FN_USERFN1, "%hu", "%7s"));
    struct Step {
        uint32_t ms, bytes;
        const char* text;
        int colour;
    } steps[] = {
        {100, 0, "       ", COLOUR_NORMAL},
        {600, 0, "NO DATA", COLOUR_NO_DATA},
        {900, 0, "NO DATA", COLOUR_NO_DATA},
        {1100, 0, "", COLOUR_NORMAL},
        {1600, 64, "DATA", COLOUR_DATA},
        {2100, 64, "", COLOUR_NORMAL},
        {2600, 64, "NO DATA", COLOUR_NO_DATA},
        {3100, 128, "", COLOUR_NORMAL},
        {3600, 128, "DATA", COLOUR_DATA},
    };
    for (const auto& s : steps) {
        zyr.zyr_msecs = s.ms;
        zyr_stat(ST_BYTES_READ) = s.bytes;
        port_convert(p);
        EXPECT_STREQ(p->text, s.text) << s.ms;
        EXPECT_EQ(p->colour_state, s.colour) << s.ms;
    }
}
