// The function table and the numeric functions: the plain conversion, the
// polynomial calibration with its options, the mathematical functions after
// it, the bit operations, the byte swaps and the reciprocal. Every fault of
// the arithmetic ends in the floating-point check or the math error report
// with the port's number, and never in a trap.
#include "engine/calib.h"

#include <algorithm>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <iterator>

#include "core/datatypes.h"
#include "core/diagnostics.h"
#include "core/symtab.h"
#include "engine/calibtext.h"

static constexpr int kFpFaults = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;

static void* value_ptr(ZyrPort* p) { return dt_is_text(p->data_type) ? (void*)p->text : (void*)&p->value; }

// ---- raw values and results ---------------------------------------------------------

void port_raw_value(const ZyrPort* p, const uint8_t* cell, void* out) {
    int t = p->raw_type;
    int w = std::clamp(p->raw_width, 0, DT_TEXT_MAX);
    if (!dt_is_numeric(t)) {
        memcpy(out, cell, (size_t)w);
        ((char*)out)[w] = 0;
        return;
    }
    uint8_t b[8] = {};
    memcpy(b, cell, (size_t)std::min(w, 8));
    // Types 5 and 6 are 2 bytes in a packet and 32 bits in memory.
    if (t == DT_INT) {
        int32_t v = (int16_t)(uint16_t)(b[0] | b[1] << 8);
        memcpy(out, &v, sizeof v);
    } else if (t == DT_UINT) {
        uint32_t v = (uint32_t)(b[0] | b[1] << 8);
        memcpy(out, &v, sizeof v);
    } else {
        memcpy(out, b, (size_t)dt_value_size(t));
    }
}

static void plain_from_cell(ZyrPort* p, const uint8_t* cell) {
    uint8_t raw[DT_TEXT_BUF];
    if (p->raw_type >= DT_TYPES || p->data_type >= DT_TYPES) return;
    port_raw_value(p, cell, raw);
    dt_convert(p->raw_type, raw, p->data_type, value_ptr(p));
}

void calib_plain(ZyrPort* p) { plain_from_cell(p, p->cache); }

void port_set_number(ZyrPort* p, double x) {
    if (p->data_type < DT_TYPES) dt_convert(DT_DOUBLE, &x, p->data_type, value_ptr(p));
}

// A text result is the value text of every text type, hex character text
// included: the display shows it as it is.
void port_set_text(ZyrPort* p, const char* text, double number) {
    if (dt_is_text(p->data_type))
        snprintf(p->text, sizeof p->text, "%s", text);
    else
        port_set_number(p, number);
}

double port_numeric(const ZyrPort* p) {
    double d = 0.0;
    if (dt_is_numeric(p->data_type)) dt_convert(p->data_type, &p->value, DT_DOUBLE, &d);
    return d;
}

double port_raw_numeric(const ZyrPort* p) {
    uint8_t raw[DT_TEXT_BUF];
    double d = 0.0;
    if (p->raw_type >= DT_TYPES) return 0.0;
    port_raw_value(p, p->cache, raw);
    if (dt_convert(p->raw_type, raw, DT_DOUBLE, &d) != 0) return 0.0;
    return d;
}

// ---- polynomial calibration ------------------------------------------------------

// A zero operand would divide by zero: it becomes 1 in the calibration
// copy, so the report comes once per port.
static bool zero_operand(ZyrPort* p, int calc) {
    CalibBlock* c = p->calib;
    bool zero = false;
    CalConst* ops[] = {(c->calflags & CAL_MODULUS) ? &c->modulus : nullptr,
                       (c->calflags & CAL_QUOTIENT) ? &c->quotient : nullptr};
    for (CalConst* k : ops) {
        if (!k || (calc == DT_DOUBLE ? k->d != 0.0 : k->u != 0)) continue;
        if (calc == DT_DOUBLE)
            k->d = 1.0;
        else
            k->u = 1;
        zero = true;
    }
    if (zero) zyr_err(21, 2, "PolyCalib div. by 0", 31, 0, 0);
    return zero;
}

// Only the first swap that is set applies.
static void swap_cell(uint8_t* cell, uint32_t flags) {
    if (flags & CAL_INTEGERBYTESWAP)
        std::reverse(cell, cell + 2);
    else if (flags & CAL_LONGBYTESWAP)
        std::reverse(cell, cell + 4);
    else if (flags & CAL_DOUBLEBYTESWAP)
        std::reverse(cell, cell + 8);
}

// The field keeps its position; a signed field whose value exceeds half
// the mask is negative and is extended into the bits above the mask.
static void mask_cell(const ZyrPort* p, uint8_t* cell) {
    uint32_t m = p->calib->bitmask, v;
    memcpy(&v, cell, sizeof v);
    v &= m;
    int t = p->raw_type;
    if ((t == DT_LONG || t == DT_INT || t == DT_SHORT) && v > (m >> 1)) v |= p->sign_ext;
    memcpy(cell, &v, sizeof v);
}

// Highest coefficient of the given set, -1 for no set.
static int degree(uint32_t flags) {
    switch (flags & CAL_COEFF_MASK) {
    case 1: return 0;
    case 3: return 1;
    case 7: return 2;
    case 15: return 3;
    case 31: return 4;
    default: return -1;
    }
}

static const CalConst& coeff(const CalibBlock* c, int j) {
    const CalConst* a[] = {&c->a0, &c->a1, &c->a2, &c->a3, &c->a4};
    return *a[j];
}

// A partial sum of exactly 0 is not multiplied, so an infinite x cannot
// turn a missing term into a NaN.
static double poly_real(const CalibBlock* c, double x) {
    if (c->calflags & CAL_MODULUS) x = std::fmod(x, c->modulus.d);
    if (c->calflags & CAL_QUOTIENT) x = std::floor(x / c->quotient.d);
    if (c->calflags & CAL_RECIPROCAL) x = x == 0.0 ? DBL_MAX : 1.0 / x;
    int n = degree(c->calflags);
    if (n < 0) return 0.0;
    double acc = coeff(c, n).d;
    for (int j = n - 1; j >= 0; j--) acc = (acc == 0.0 ? 0.0 : acc * x) + coeff(c, j).d;
    return acc;
}

// Integer arithmetic wraps at 32 bits, as the calibration type does.
static uint32_t horner_u32(const CalibBlock* c, uint32_t x) {
    int n = degree(c->calflags);
    if (n < 0) return 0;
    uint32_t acc = coeff(c, n).u;
    for (int j = n - 1; j >= 0; j--) acc = acc * x + coeff(c, j).u;
    return acc;
}

static uint32_t poly_unsigned(const CalibBlock* c, uint32_t x) {
    if (c->calflags & CAL_MODULUS) x %= c->modulus.u;
    if (c->calflags & CAL_QUOTIENT) x /= c->quotient.u;
    return horner_u32(c, x);
}

// The one signed quotient that does not fit (-2^31 / -1) wraps like the
// rest of the arithmetic instead of trapping.
static int32_t poly_signed(const CalibBlock* c, int32_t x) {
    if (c->calflags & CAL_MODULUS) {
        int32_t m = c->modulus.i;
        x = m == -1 ? 0 : x % m;
    }
    if (c->calflags & CAL_QUOTIENT) {
        int32_t q = c->quotient.i;
        x = q == -1 ? (int32_t)(0u - (uint32_t)x) : x / q;
    }
    return (int32_t)horner_u32(c, (uint32_t)x);
}

// A running sum that stopped being finite (an infinite sample, now gone)
// is summed again from the ring, so one bad sample cannot spoil every
// average after it.
static void resum(ZyrPort* p, uint32_t n) {
    double s = 0.0;
    for (uint32_t i = 0; i < p->avg_count && i < n; i++) s += p->avg[i].d;
    p->avg[n].d = s;
}

static void average(ZyrPort* p, CalConst* y, int calc) {
    uint32_t n = p->calib->avgsamples;
    if (n <= 1 || !p->avg) return;
    CalConst* ring = p->avg;
    CalConst& sum = ring[n];
    bool full = p->avg_count >= n;
    if (!full) p->avg_count++;
    if (calc == DT_DOUBLE) {
        if (full) sum.d -= ring[p->avg_pos].d;
        sum.d += y->d;
    } else {
        if (full) sum.u -= ring[p->avg_pos].u;
        sum.u += y->u;
    }
    ring[p->avg_pos] = *y;
    p->avg_pos = (p->avg_pos + 1) % n;
    if (calc == DT_DOUBLE) {
        if (!std::isfinite(sum.d)) resum(p, n);
        y->d = sum.d / p->avg_count;
    } else if (calc == DT_ULONG) {
        y->u = sum.u / p->avg_count;
    } else {
        y->i = (int32_t)((int64_t)sum.i / (int64_t)p->avg_count);
    }
}

int calib_polynomial(ZyrPort* p) {
    int calc = dt_calc_type(p->data_type);
    if (calc < 0 || !p->calib) {
        calib_plain(p);
        return 1;
    }
    if (zero_operand(p, calc)) return -1;
    const CalibBlock* c = p->calib;
    uint8_t cell[DT_TEXT_BUF], raw[DT_TEXT_BUF];
    memcpy(cell, p->cache, sizeof cell);
    swap_cell(cell, c->calflags);
    if (c->calflags & CAL_BITMASK) mask_cell(p, cell);
    port_raw_value(p, cell, raw);
    CalConst x{}, y{};
    if (p->raw_type >= DT_TYPES || dt_convert(p->raw_type, raw, calc, &x) != 0) return -1;
    if (calc == DT_DOUBLE)
        y.d = poly_real(c, x.d);
    else if (calc == DT_ULONG)
        y.u = poly_unsigned(c, x.u);
    else
        y.i = poly_signed(c, x.i);
    average(p, &y, calc);
    dt_convert(calc, &y, p->data_type, value_ptr(p));
    return 0;
}

static void calib_poly(ZyrPort* p) { calib_polynomial(p); }

// ---- mathematical functions -------------------------------------------------------

static double m_acos(double x) { return std::acos(x); }
static double m_asin(double x) { return std::asin(x); }
static double m_atan(double x) { return std::atan(x); }
static double m_ceil(double x) { return std::ceil(x); }
static double m_cos(double x) { return std::cos(x); }
static double m_cosh(double x) { return std::cosh(x); }
static double m_exp(double x) { return std::exp(x); }
static double m_fabs(double x) { return std::fabs(x); }
static double m_floor(double x) { return std::floor(x); }
static double m_j0(double x) { return ::j0(x); }
static double m_j1(double x) { return ::j1(x); }
static double m_log(double x) { return std::log(x); }
static double m_log10(double x) { return std::log10(x); }
static double m_sin(double x) { return std::sin(x); }
static double m_sinh(double x) { return std::sinh(x); }
static double m_sqrt(double x) { return std::sqrt(x); }
static double m_tan(double x) { return std::tan(x); }
static double m_tanh(double x) { return std::tanh(x); }
static double m_y0(double x) { return ::y0(x); }
static double m_y1(double x) { return ::y1(x); }

// Functions 40 (acos) to 59 (y1), in function number order.
static double (*const kMathFns[])(double) = {
    m_acos,
    m_asin,
    m_atan,
    m_ceil,
    m_cos,
    m_cosh,
    m_exp,
    m_fabs,
    m_floor,
    m_j0,
    m_j1,
    m_log,
    m_log10,
    m_sin,
    m_sinh,
    m_sqrt,
    m_tan,
    m_tanh,
    m_y0,
    m_y1,
};
static_assert(std::size(kMathFns) == FN_MATH_LAST - FN_MATH_FIRST + 1);

// The polynomial first; a fault there leaves the function unapplied (the
// conversion then gives 0.0 and the check reports the fault).
static void calib_math(ZyrPort* p) {
    if (calib_polynomial(p) != 0 || std::fetestexcept(kFpFaults)) return;
    int fn = p->conv_index;
    double y = zyr_math1(calib_fn_name(fn), kMathFns[fn - FN_MATH_FIRST], port_numeric(p));
    if (p->data_type == DT_FLOAT)
        p->value.f = (float)y;
    else if (p->data_type == DT_DOUBLE)
        p->value.d = y;
    else
        port_set_number(p, y);
}

// ---- bit operations, byte swaps, reciprocal -----------------------------------------

static void calib_bitoperation(ZyrPort* p) {
    const BitOpInfo* b = calib_bitop(p->conv_index);
    if (!b) return;
    uint32_t bits;
    memcpy(&bits, p->cache, sizeof bits);
    bool set = (bits & p->calib->bitmask) != 0;
    const char* text = set ? b->set_text : b->clear_text;
    double number = set ? b->set_value : b->clear_value;
    if (text)
        port_set_text(p, text, number);
    else
        port_set_number(p, number);
}

// The raw value's bytes reversed (2, 4 or 8 of them, at most its width),
// then the plain conversion.
static void calib_byteswap(ZyrPort* p) {
    int n = p->conv_index == FN_INTEGERBYTESWAP ? 2 : p->conv_index == FN_LONGBYTESWAP ? 4 : 8;
    n = std::min(n, p->raw_width);
    uint8_t cell[DT_TEXT_BUF];
    memcpy(cell, p->cache, sizeof cell);
    if (n > 1) std::reverse(cell, cell + n);
    plain_from_cell(p, cell);
}

// 1 / x in double precision; x = 0 is a division by zero that the
// floating-point check reports, and the value becomes 0.
static void calib_reciprocal(ZyrPort* p) {
    double x = port_raw_numeric(p);
    port_set_number(p, 1.0 / x);
}

// ---- the table -----------------------------------------------------------------------

// Indexed by function number; names are the symbol table's.
static constexpr CalibFn kCalibFns[] = {
    {FN_DUMMY_CALIBFN, calib_plain},
    {FN_ASCIICTIME, calib_asciictime},
    {FN_ELAPSED_TIME, calib_elapsed_time},
    {FN_ZYRCENTRETEXT, calib_centretext},
    {FN_ZYRCENTRETEXT + 1, calib_plain},          // dummy_calibfn1
    {FN_ZYRCENTRETEXT + 2, calib_plain},          // dummy_calibfn2
    {FN_TELMCONFIG, calib_telmconfig},
    {FN_HEXCHARTEXT, calib_hexchartext},
    {FN_INTEGERBYTESWAP, calib_byteswap},
    {FN_TESTBIT, calib_bitoperation},
    {FN_PACKETBAR, calib_packetbar},
    {FN_POLYNOMIAL, calib_poly},
    {FN_POLYNOMIAL + 1, calib_plain},             // unused_1
    {FN_POLYNOMIAL + 2, calib_plain},             // unused_2
    {FN_ISPRINTCHAR, calib_isprintchar},
    {FN_NTESTBIT, calib_bitoperation},
    {FN_ONOFFBIT, calib_bitoperation},
    {FN_NONOFFBIT, calib_bitoperation},
    {FN_OPENCLOSEBIT, calib_bitoperation},
    {FN_NOPENCLOSEBIT, calib_bitoperation},
    {FN_ENDISBIT, calib_bitoperation},
    {FN_NENDISBIT, calib_bitoperation},
    {FN_USERFN1, calib_data_indicator},
    {FN_USERFN1 + 1, calib_plain},                // userfn2
    {FN_USERFN1 + 2, calib_plain},
    {FN_USERFN1 + 3, calib_plain},
    {FN_USERFN1 + 4, calib_plain},
    {FN_USERFN1 + 5, calib_plain},
    {FN_USERFN1 + 6, calib_plain},
    {FN_USERFN1 + 7, calib_plain},
    {FN_USERFN1 + 8, calib_plain},
    {FN_USERFN1 + 9, calib_plain},
    {FN_USERFN1 + 10, calib_plain},
    {FN_USERFN1 + 11, calib_plain},
    {FN_USERFN1 + 12, calib_plain},
    {FN_USERFN1 + 13, calib_plain},
    {FN_USERFN1 + 14, calib_plain},
    {FN_USERFN1 + 15, calib_plain},               // userfn16
    {FN_LONGBYTESWAP, calib_byteswap},
    {FN_DOUBLEBYTESWAP, calib_byteswap},
    {FN_MATH_FIRST, calib_math},                  // acos
    {FN_MATH_FIRST + 1, calib_math},
    {FN_MATH_FIRST + 2, calib_math},
    {FN_MATH_FIRST + 3, calib_math},
    {FN_MATH_FIRST + 4, calib_math},
    {FN_MATH_FIRST + 5, calib_math},
    {FN_MATH_FIRST + 6, calib_math},
    {FN_MATH_FIRST + 7, calib_math},
    {FN_MATH_FIRST + 8, calib_math},
    {FN_MATH_FIRST + 9, calib_math},
    {FN_MATH_FIRST + 10, calib_math},
    {FN_MATH_FIRST + 11, calib_math},
    {FN_MATH_FIRST + 12, calib_math},
    {FN_MATH_FIRST + 13, calib_math},
    {FN_MATH_FIRST + 14, calib_math},
    {FN_MATH_FIRST + 15, calib_math},
    {FN_MATH_FIRST + 16, calib_math},
    {FN_MATH_FIRST + 17, calib_math},
    {FN_MATH_FIRST + 18, calib_math},
    {FN_MATH_LAST, calib_math},                   // y1
    {FN_USERFN17, calib_plain},                   // userfn17
    {FN_USERFN17 + 1, calib_plain},
    {FN_USERFN17 + 2, calib_plain},
    {FN_USERFN17 + 3, calib_plain},
    {FN_USERFN17 + 4, calib_plain},
    {FN_USERFN17 + 5, calib_plain},
    {FN_USERFN17 + 6, calib_plain},
    {FN_USERFN17 + 7, calib_plain},
    {FN_USERFN17 + 8, calib_plain},
    {FN_USERFN17 + 9, calib_plain},
    {FN_USERFN17 + 10, calib_plain},
    {FN_USERFN17 + 11, calib_plain},
    {FN_USERFN17 + 12, calib_plain},
    {FN_USERFN17 + 13, calib_plain},
    {FN_USERFN17 + 14, calib_plain},
    {FN_USERFN17 + 15, calib_plain},
    {FN_USERFN17 + 16, calib_plain},
    {FN_USERFN17 + 17, calib_plain},
    {FN_USERFN17 + 18, calib_plain},
    {FN_USERFN17 + 19, calib_plain},
    {FN_USERFN17 + 20, calib_plain},
    {FN_USERFN17 + 21, calib_plain},
    {FN_USERFN17 + 22, calib_plain},
    {FN_USERFN17 + 23, calib_plain},
    {FN_USERFN17 + 24, calib_plain},
    {FN_USERFN17 + 25, calib_plain},
    {FN_USERFN17 + 26, calib_plain},
    {FN_USERFN17 + 27, calib_plain},
    {FN_USERFN17 + 28, calib_plain},
    {FN_USERFN17 + 29, calib_plain},
    {FN_USERFN17 + 30, calib_plain},
    {FN_USERFN17 + 31, calib_plain},
    {FN_USERFN17 + 32, calib_plain},
    {FN_USERFN17 + 33, calib_plain},
    {FN_USERFN17 + 34, calib_plain},
    {FN_USERFN17 + 35, calib_plain},
    {FN_USERFN17 + 36, calib_plain},
    {FN_USERFN17 + 37, calib_plain},
    {FN_USERFN17 + 38, calib_plain},
    {FN_USERFN17 + 39, calib_plain},
    {FN_USERFN17 + 40, calib_plain},
    {FN_USERFN17 + 41, calib_plain},
    {FN_USERFN17 + 42, calib_plain},
    {FN_USERFN17 + 43, calib_plain},
    {FN_USERFN17 + 44, calib_plain},
    {FN_USERFN17 + 45, calib_plain},
    {FN_USERFN17 + 46, calib_plain},
    {FN_USERFN17 + 47, calib_plain},              // userfn64
    {FN_HORIZONTALBAR, calib_horizontalbar},
    {FN_RASCIICTIME, calib_rasciictime},
    {FN_YESNOBIT, calib_bitoperation},
    {FN_NYESNOBIT, calib_bitoperation},
    {FN_RECIPROCAL, calib_reciprocal},
};
static_assert(std::size(kCalibFns) == CALIB_FN_COUNT);

static constexpr bool rows_in_number_order() {
    for (size_t i = 0; i < std::size(kCalibFns); i++)
        if (kCalibFns[i].fn != (int)i) return false;
    return true;
}
static_assert(rows_in_number_order(), "row i of the function table is function i");

const CalibFn* calib_fn(int fn) { return (fn >= 0 && fn < CALIB_FN_COUNT) ? &kCalibFns[fn] : nullptr; }

// ---- conversion ---------------------------------------------------------------------

void port_convert(ZyrPort* p) {
    // A fault left by work outside the conversion is reported first, so it
    // cannot zero this port's value.
    if (std::fetestexcept(kFpFaults)) fp_check();
    if ((p->h.flags & RT_FUNCTION) && p->conv_index >= 0 && p->conv_index < CALIB_FN_COUNT)
        kCalibFns[p->conv_index].proc(p);
    else
        calib_plain(p);
    if (std::fetestexcept(kFpFaults)) port_set_number(p, 0.0);
    p->valued = true;
}

void calib_reset() { calibtext_reset(); }
