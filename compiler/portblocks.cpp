// Keys and end checks of [valueport] and its sub-blocks. The setters fill
// one port record; the end checks settle defaults and refuse what cannot
// work. Limits and calibration constants are typed by the display format
// known when they are read, so a port gives its data type first.
#include "compiler/portblocks.h"

#include <cstring>
#include <iterator>
#include <strings.h>

#include "compiler/plotblock.h"
#include "compiler/report.h"
#include "compiler/values.h"
#include "core/datatypes.h"
#include "core/symtab.h"

static PortRecord g_vp;            // the value-port record being filled
static int g_disp_type;            // type code of its display format
static bool g_raw_given;           // datatype/rawformat accepted
static bool g_disp_given;          // displayformat accepted
static bool g_display_rate_given;
static bool g_process_rate_given;
static bool g_cvtype_given;        // [subcom] cvtype accepted

void portblocks_reset() {
    memset(&g_vp, 0, sizeof g_vp);
    g_disp_type = DT_INVALID;
    g_raw_given = g_disp_given = false;
    g_display_rate_given = g_process_rate_given = false;
    g_cvtype_given = false;
}

// Every block starts from a clean record: a port dropped for an error must
// leave nothing behind for the next one.
void valueport_before() {
    portblocks_reset();
    g_vp.supercommcount = 1;
    g_vp.supercommincr = 0;
    cmp.port_serial++;
}

const PortRecord* valueport_record() { return &g_vp; }
PortRecord* valueport_edit() { return &g_vp; }

// A limit typed by type into an 88-byte value cell.
static int put_cell(const Token* v, int type, ValueCell* cell) {
    ValueCell c;
    if (value_typed(v, type, &c, sizeof c) != 0) return KEY_REFUSED;
    *cell = c;
    return KEY_OK;
}

// ---- [valueport] -----------------------------------------------------------------

enum : uint32_t {
    VP_CALIBRATION = 1u << 0, VP_PLOTPORT = 1u << 1, VP_ALARM = 1u << 2, VP_SUBCOM = 1u << 3,
    VP_FILTER = 1u << 4, VP_ENABLE = 1u << 5, VP_VIEW = 1u << 6, VP_DATABASEKEY = 1u << 7,
    VP_BYTEINDEX = 1u << 8, VP_ROW = 1u << 9, VP_COLUMN = 1u << 10, VP_RAWFORMAT = 1u << 11,
    VP_DISPLAYFORMAT = 1u << 12, VP_TITLE = 1u << 13, VP_UNITS = 1u << 14, VP_MNEMONIC = 1u << 15,
    VP_DRAWENABLE = 1u << 16, VP_BORDER = 1u << 17, VP_BORDERCOLOR = 1u << 18,
    VP_BACKGROUNDCOLOR = 1u << 19, VP_TITLECOLOR = 1u << 20, VP_VALUECOLOR = 1u << 21,
    VP_SCCOUNT = 1u << 22, VP_SCINCR = 1u << 23, VP_DISPLAYRATE = 1u << 24,
    VP_PROCESSRATE = 1u << 25, VP_FILENAME = 1u << 26,
    VP2_SBTAGCOUNT = 1u << 0, VP2_VARPKTLEN = 1u << 1,   // second mask
};

static int set_vp_enable(const Token* v, int) { return put_switch(v, &g_vp.port_flags, PF_ENABLE); }

static int set_view(const Token* v, int) {
    int index = v->cls == TC_WORD ? sysparam_from_token(v->kind) : -1;
    if (index < 0) {
        cmp_error("Parameter name invalid/missing parameter!");
        return KEY_REPORTED;
    }
    g_vp.view = (uint16_t)index;
    return KEY_OK;
}

static int set_databasekey(const Token* v, int) {
    if (v->cls != TC_STRING) return KEY_REFUSED;
    if (first_word(v->text, g_vp.databasekey, (int)sizeof g_vp.databasekey - 1) || v->cut)
        cmp_warning("Text of databasekey longer than 20 characters", "The text has been cut to 20 characters");
    return KEY_OK;
}

static int set_vp_u16(const Token* v, int key) {
    switch (key) {
    case TOK_BYTEINDEX: return put_u16(v, &g_vp.byteindex);
    case TOK_ROW: return put_u16(v, &g_vp.row);
    default: return put_u16(v, &g_vp.column);
    }
}

// A format the data type layer cannot classify is kept, as pages have
// always allowed, but the operator hears of it: such a port shows nothing.
static int set_format(const Token* v, int key) {
    if (v->cls != TC_STRING) return KEY_REFUSED;
    bool display = key == TOK_DISPLAYFORMAT;
    char* field = display ? g_vp.displayformat : g_vp.rawformat;
    int code;
    if (value_datatype(v->text, field, sizeof g_vp.rawformat, &code) != 0 || v->cut)
        cmp_warning("Text of data type longer than 20 characters", "The text has been cut to 20 characters");
    if (code == DT_INVALID)
        cmp_warning("Data type is neither a data type word nor a format", field);
    if (display) {
        g_disp_given = true;
        g_disp_type = code;
        if (!g_raw_given) memcpy(g_vp.rawformat, field, sizeof g_vp.rawformat);
    } else {
        g_raw_given = true;
        if (!g_disp_given) {
            memcpy(g_vp.displayformat, field, sizeof g_vp.displayformat);
            g_disp_type = code;
        }
    }
    return KEY_OK;
}

static int set_vp_text(const Token* v, int key) {
    switch (key) {
    case TOK_TITLE: return put_text(v, "title", g_vp.title, sizeof g_vp.title);
    case TOK_UNITS: return put_text(v, "units", g_vp.units, sizeof g_vp.units);
    case TOK_MNEMONIC: return put_text(v, "mnemonic", g_vp.mnemonic, sizeof g_vp.mnemonic);
    default:
        if (put_text(v, "filename", g_vp.filename, sizeof g_vp.filename) != KEY_OK) return KEY_REFUSED;
        g_vp.port_flags |= PF_RECORD;
        return KEY_OK;
    }
}

static int set_drawenable(const Token* v, int) {
    int on = value_switch(v);
    if (on < 0) return KEY_REFUSED;
    if (on)
        g_vp.frame_flags &= ~FR_NODRAW;
    else
        g_vp.frame_flags |= FR_NODRAW;
    return KEY_OK;
}

static int set_vp_border(const Token* v, int) { return put_switch(v, &g_vp.frame_flags, FR_BORDER); }

static int set_vp_colour(const Token* v, int key) {
    switch (key) {
    case TOK_BORDERCOLOR: return put_colour(v, &g_vp.bordercolor);
    case TOK_BACKGROUNDCOLOR: return put_colour(v, &g_vp.backgroundcolor);
    case TOK_TITLECOLOR: return put_colour(v, &g_vp.titlecolor);
    default: return put_colour(v, &g_vp.valuecolor);
    }
}

// A negative count would be taken as "no super-commutation" by some readers
// and as a huge loop by others: it is refused.
static int set_supercomm(const Token* v, int key) {
    int64_t n;
    if (value_whole(v, &n) != 0) return KEY_REFUSED;
    if (key == TOK_SUPERCOMMCOUNT) {
        if (n < 0 || n > 2147483647) return KEY_REFUSED;
        g_vp.supercommcount = (int32_t)n;
    } else {
        g_vp.supercommincr = (uint32_t)n;
    }
    return KEY_OK;
}

static int set_sbtagcount(const Token* v, int) {
    uint32_t n;
    if (value_u32(v, &n) != 0) return KEY_REFUSED;
    g_vp.sbtagcount = (int32_t)n;
    return KEY_OK;
}

static int set_varpktlen(const Token* v, int) { return put_switch(v, &g_vp.port_flags, PF_VARPKTLEN); }

static int set_rate(const Token* v, int key) {
    bool display = key == TOK_DISPLAYRATE;
    const char* other_name = display ? "processrate" : "displayrate";
    bool other_given = display ? g_process_rate_given : g_display_rate_given;
    uint32_t mask;
    if (v->cls == TC_STRING && other_given && strcasecmp(v->text, other_name) == 0)
        mask = display ? g_vp.processrate : g_vp.displayrate;
    else if (v->cls != TC_STRING || value_rate(v->text, cmp.port_serial, &mask) != 0) {
        cmp_error(display ? "Invalid Display Cycle Rate definition!" : "Invalid Process Cycle Rate definition!");
        return KEY_REPORTED;
    }
    if (display) {
        g_vp.displayrate = mask;
        g_display_rate_given = true;
    } else {
        g_vp.processrate = mask;
        g_process_rate_given = true;
    }
    return KEY_OK;
}

static int set_autolabel(const Token* v, int) { return value_switch(v) < 0 ? KEY_REFUSED : KEY_OK; }

// ---- [calibration], [polynomial], [bitoperation] -------------------------------

static void calibration_off() {
    g_vp.port_flags &= ~PF_CALIB;
    g_vp.function = 0;
}

static int set_cal_enable(const Token* v, int) { return put_switch(v, &g_vp.port_flags, PF_CALIB); }

static int set_cal_function(const Token* v, int) {
    int fn = v->cls == TC_WORD ? calib_fn_from_token(v->kind) : -1;
    if (fn < 0) {
        cmp_error("Calibration missing valid function!");
        return KEY_REPORTED;
    }
    g_vp.function = (uint16_t)fn;
    return KEY_OK;
}

static int set_constant(const Token* v, int key) {
    CalConst* slot;
    switch (key) {
    case TOK_A0: slot = &g_vp.cal.a0; break;
    case TOK_A1: slot = &g_vp.cal.a1; break;
    case TOK_A2: slot = &g_vp.cal.a2; break;
    case TOK_A3: slot = &g_vp.cal.a3; break;
    case TOK_A4: slot = &g_vp.cal.a4; break;
    case TOK_MODULUS: slot = &g_vp.cal.modulus; break;
    default: slot = &g_vp.cal.quotient; break;
    }
    CalConst c;
    if (value_typed(v, dt_calc_type(g_disp_type), &c, sizeof c) != 0) return KEY_REFUSED;
    *slot = c;
    return KEY_OK;
}

static int set_cal_bitmask(const Token* v, int) {
    return put_u32(v, &g_vp.cal.bitmask);
}

static int set_avgsamples(const Token* v, int) {
    return put_u32(v, &g_vp.cal.avgsamples);
}

// The option functions of a polynomial; their bits are those of the
// calibration option word.
static int set_poly_option(const Token* v, int) {
    static const struct { int fn; uint32_t bit; } kOptions[] = {
        {FN_INTEGERBYTESWAP, CAL_INTEGERBYTESWAP},
        {FN_LONGBYTESWAP, CAL_LONGBYTESWAP},
        {FN_DOUBLEBYTESWAP, CAL_DOUBLEBYTESWAP},
        {FN_RECIPROCAL, CAL_RECIPROCAL},
    };
    static_assert(std::size(kOptions) == 4);
    int fn = v->cls == TC_WORD ? calib_fn_from_token(v->kind) : -1;
    for (const auto& o : kOptions)
        if (o.fn == fn) {
            block_mark(o.bit);
            return KEY_OK;
        }
    return KEY_REFUSED;
}

// Whether an operand is non-zero in the calibration type of the display
// format; the text types have none, so their operands are refused.
static bool operand_nonzero(const CalConst& c) {
    switch (dt_calc_type(g_disp_type)) {
    case DT_DOUBLE: return c.d != 0.0;
    case DT_ULONG: case DT_LONG: return c.u != 0;
    default: return false;
    }
}

static void polynomial_end(uint32_t seen) {
    if (!seen) {
        cmp_error("[polynomial] specification block is empty");
        calibration_off();
        return;
    }
    bool ok = true;
    auto fail = [&ok](const char* msg) {
        cmp_error("%s", msg);
        ok = false;
    };
    if (!dt_is_numeric(g_disp_type)) fail("Polynomial calibration not possible on non-numeric displayformat");
    if ((seen & CAL_RECIPROCAL) && g_disp_type != DT_DOUBLE && g_disp_type != DT_FLOAT)
        fail("Illegal Reciprocal use: displayformat not double or float");
    if ((seen & CAL_MODULUS) && !operand_nonzero(g_vp.cal.modulus)) fail("Illegal modulus value - must be non-zero");
    if ((seen & CAL_QUOTIENT) && !operand_nonzero(g_vp.cal.quotient)) fail("Illegal quotient value - must be non-zero");
    uint32_t coeffs = seen & CAL_COEFF_MASK;
    if (coeffs != 0x1 && coeffs != 0x3 && coeffs != 0x7 && coeffs != 0xF && coeffs != 0x1F)
        fail("Missing coefficient, calibration disabled");
    if (ok)
        g_vp.cal.calflags = seen;
    else
        calibration_off();
}

static void bitoperation_end(uint32_t seen) {
    if (seen) return;
    cmp_error("[bitoperation] specification block is empty");
    calibration_off();
}

static void calibration_begin() { g_vp.port_flags |= PF_CALIB; }

static void calibration_end(uint32_t seen) {
    if (!seen) calibration_off();
}

static const KeyRow kPolynomialKeys[] = {
    {TOK_A0, 0x1, 0, set_constant, nullptr},
    {TOK_A1, 0x2, 0, set_constant, nullptr},
    {TOK_A2, 0x4, 0, set_constant, nullptr},
    {TOK_A3, 0x8, 0, set_constant, nullptr},
    {TOK_A4, 0x10, 0, set_constant, nullptr},
    {TOK_BITMASK, CAL_BITMASK, 0, set_cal_bitmask, nullptr},
    {TOK_MODULUS, CAL_MODULUS, 0, set_constant, nullptr},
    {TOK_QUOTIENT, CAL_QUOTIENT, 0, set_constant, nullptr},
    {TOK_AVGSAMPLES, 0x100000, 0, set_avgsamples, nullptr},
    {TOK_FUNCTION, 0, KEY_REPEATS, set_poly_option, nullptr},
};
static_assert(std::size(kPolynomialKeys) == 10);
static const BlockKind kPolynomialBlock = {TOK_POLYNOMIAL, kPolynomialKeys, 10, nullptr, polynomial_end};

static const KeyRow kBitOperationKeys[] = {
    {TOK_BITMASK, 0x1, KEY_REPEATS, set_cal_bitmask, nullptr},
};
static const BlockKind kBitOperationBlock = {TOK_BITOPERATION, kBitOperationKeys, 1, nullptr, bitoperation_end};

static const KeyRow kCalibrationKeys[] = {
    {TOK_ENABLE, 0x1, 0, set_cal_enable, nullptr},
    {TOK_FUNCTION, 0x2, 0, set_cal_function, nullptr},
    {TOK_POLYNOMIAL, 0x4, 0, nullptr, &kPolynomialBlock},
    {TOK_BITOPERATION, 0x8, 0, nullptr, &kBitOperationBlock},
};
static_assert(std::size(kCalibrationKeys) == 4);
static const BlockKind kCalibrationBlock = {TOK_CALIBRATION, kCalibrationKeys, 4, calibration_begin, calibration_end};

// ---- [alarm] -----------------------------------------------------------------

enum : uint32_t { AK_UPPER = 0x1, AK_LOWER = 0x2 };

static int set_alarm_limit(const Token* v, int key) {
    return put_cell(v, g_disp_type, key == TOK_UPPERLIMIT ? &g_vp.alarm_upper : &g_vp.alarm_lower);
}

static int set_alarm_option(const Token* v, int key) {
    uint32_t bit = key == TOK_BLINK ? AL_BLINK : key == TOK_SOUND ? AL_SOUND : key == TOK_STEPMODE ? AL_STEPMODE : AL_INVERT;
    return put_switch(v, &g_vp.alarm_flags, bit);
}

static int set_alarm_file(const Token* v, int) {
    if (put_text(v, "filename", g_vp.alarm_filename, sizeof g_vp.alarm_filename) != KEY_OK) return KEY_REFUSED;
    g_vp.alarm_flags |= AL_FILE;
    return KEY_OK;
}

static void alarm_begin() { g_vp.port_flags |= PF_ALARM; }

static void alarm_end(uint32_t seen) {
    const uint32_t options = AL_BLINK | AL_SOUND | AL_FILE | AL_STEPMODE | AL_INVERT;
    if (!seen)
        ;
    else if (!(seen & AK_LOWER))
        cmp_warning("Alarm lower limit missing", nullptr);
    else if (!(seen & AK_UPPER))
        cmp_warning("Alarm upper limit missing", nullptr);
    else if (!(g_vp.alarm_flags & options))
        cmp_warning("Alarm not created: all options off", nullptr);
    else
        return;
    g_vp.port_flags &= ~PF_ALARM;
}

static const KeyRow kAlarmKeys[] = {
    {TOK_UPPERLIMIT, AK_UPPER, 0, set_alarm_limit, nullptr},
    {TOK_LOWERLIMIT, AK_LOWER, 0, set_alarm_limit, nullptr},
    {TOK_BLINK, 0x4, 0, set_alarm_option, nullptr},
    {TOK_SOUND, 0x8, 0, set_alarm_option, nullptr},
    {TOK_STEPMODE, 0x10, 0, set_alarm_option, nullptr},
    {TOK_INVERT, 0x20, 0, set_alarm_option, nullptr},
    {TOK_FILENAME, 0x40, 0, set_alarm_file, nullptr},
};
static_assert(std::size(kAlarmKeys) == 7);
static const BlockKind kAlarmBlock = {TOK_ALARM, kAlarmKeys, 7, alarm_begin, alarm_end};

// ---- [subcom] and [filter] ------------------------------------------------------

// Sub-com limits take the type given by cvtype (as the page text writer
// reads them back); before a cvtype they take the display format's.
static int set_subcom_limit(const Token* v, int key) {
    int type = g_cvtype_given ? g_vp.cvtype : g_disp_type;
    return put_cell(v, type, key == TOK_UPPERLIMIT ? &g_vp.subcom_upper : &g_vp.subcom_lower);
}

static int set_subcom_tag(const Token* v, int) {
    return put_text(v, "subcomtag", g_vp.subcomtag, sizeof g_vp.subcomtag);
}

static int set_cvtype(const Token* v, int) {
    if (put_u16(v, &g_vp.cvtype) != KEY_OK) return KEY_REFUSED;
    g_cvtype_given = true;
    return KEY_OK;
}

static int set_portno(const Token* v, int) { return put_u32(v, &g_vp.portno); }

static int set_subcom_invert(const Token* v, int) { return put_switch(v, &g_vp.subcom_flags, AL_INVERT); }

static void subcom_begin() {
    g_vp.port_flags |= PF_SUBCOM;
    g_cvtype_given = false;
}

static void subcom_end(uint32_t seen) {
    if (!seen) cmp_warning("Empty [subcom] sub-block", nullptr);
}

static const KeyRow kSubcomKeys[] = {
    {TOK_SUBCOMTAG, 0x1, 0, set_subcom_tag, nullptr},
    {TOK_CVTYPE, 0x2, 0, set_cvtype, nullptr},
    {TOK_PORTNO, 0x4, 0, set_portno, nullptr},
    {TOK_UPPERLIMIT, 0x8, 0, set_subcom_limit, nullptr},
    {TOK_LOWERLIMIT, 0x10, 0, set_subcom_limit, nullptr},
    {TOK_INVERT, 0x20, 0, set_subcom_invert, nullptr},
};
static_assert(std::size(kSubcomKeys) == 6);
static const BlockKind kSubcomBlock = {TOK_SUBCOM, kSubcomKeys, 6, subcom_begin, subcom_end};

static int set_filter_limit(const Token* v, int key) {
    return put_cell(v, g_disp_type, key == TOK_UPPERLIMIT ? &g_vp.filter_upper : &g_vp.filter_lower);
}

static int set_filter_invert(const Token* v, int) { return put_switch(v, &g_vp.filter_flags, AL_INVERT); }

static void filter_end(uint32_t seen) {
    if (!seen) cmp_warning("Empty [Filter] sub-block", nullptr);
    g_vp.port_flags |= PF_FILTER;
}

static const KeyRow kFilterKeys[] = {
    {TOK_UPPERLIMIT, 0x1, 0, set_filter_limit, nullptr},
    {TOK_LOWERLIMIT, 0x2, 0, set_filter_limit, nullptr},
    {TOK_INVERT, 0x4, 0, set_filter_invert, nullptr},
};
static_assert(std::size(kFilterKeys) == 3);
static const BlockKind kFilterBlock = {TOK_FILTER, kFilterKeys, 3, nullptr, filter_end};


// ---- [valueport] end check ---------------------------------------------------------

static void port_error(const char* fmt, int limit = 0) {
    cmp_error(fmt, limit);
    g_vp.port_flags &= ~PF_ENABLE;
}

static bool all_texts_empty() { return !g_vp.title[0] && !g_vp.units[0] && !g_vp.mnemonic[0]; }

// Count and increment settle; false when the samples would run past the
// largest packet.
static bool supercomm_settled(uint32_t seen) {
    if (!(seen & (VP_SCCOUNT | VP_SCINCR))) {
        g_vp.supercommcount = 1;
        g_vp.supercommincr = 0;
        return true;
    }
    if (g_vp.supercommincr == 0 && g_vp.supercommcount >= 2) {
        cmp_warning("Super-comm increment is zero with count > 1.", "Count will be set to 1");
        g_vp.supercommcount = 1;
    }
    uint64_t last = (uint64_t)g_vp.supercommcount * g_vp.supercommincr + g_vp.byteindex;
    if (last > (uint64_t)MAXPKTLEN) {
        port_error("Super-comm byteindex exceeds MAXPCKLEN limit");
        return false;
    }
    return true;
}

static void frame_defaults(uint32_t seen) {
    if (!(seen & VP_TITLECOLOR)) g_vp.titlecolor = 15;
    if (!(seen & VP_VALUECOLOR)) g_vp.valuecolor = 14;
    if (!(seen & VP_DRAWENABLE)) g_vp.frame_flags &= ~FR_NODRAW;
    if (!(seen & VP_BORDER)) g_vp.frame_flags |= FR_BORDER;
    if (!(seen & VP_BORDERCOLOR)) g_vp.bordercolor = 15;
    if (!(seen & VP_BACKGROUNDCOLOR)) g_vp.backgroundcolor = 1;
}

// An explicit databasekey stays; otherwise the key is the port's name.
static void key_text(uint32_t seen) {
    if (seen & VP_DATABASEKEY) return;
    const char* from = g_vp.mnemonic[0] ? g_vp.mnemonic : g_vp.title[0] ? g_vp.title : g_vp.units;
    first_word(from, g_vp.databasekey, (int)sizeof g_vp.databasekey - 1);
}

static void recording_rates(uint32_t seen) {
    if (seen & VP_ALARM) {
        if ((g_vp.port_flags & PF_RECORD) && (g_vp.alarm_flags & AL_FILE)) {
            cmp_warning("Simultaneous Alarm and Parameter recording illegal", "Parameter recording has been disabled");
            memset(g_vp.filename, 0, sizeof g_vp.filename);
            g_vp.port_flags &= ~PF_RECORD;
        }
        if (g_vp.port_flags & PF_ALARM) g_vp.displayrate = g_vp.processrate = 0xFFFFFFFFu;
    }
    if ((seen & VP_FILENAME) && (g_vp.port_flags & PF_RECORD)) g_vp.displayrate = g_vp.processrate = 0xFFFFFFFFu;
}

static void valueport_end(uint32_t seen) {
    if (!(seen & (VP_RAWFORMAT | VP_DISPLAYFORMAT))) return port_error("No datatype, or rawformat specified");
    if (!(seen & VP_DISPLAYFORMAT)) memcpy(g_vp.displayformat, g_vp.rawformat, sizeof g_vp.displayformat);
    if (!(seen & (VP_VIEW | VP_BYTEINDEX))) return port_error("No byte index into packet specifed");
    if (!(seen & VP_PROCESSRATE)) g_vp.processrate = (seen & VP_DISPLAYRATE) ? g_vp.displayrate : 0xFFFFFFFFu;
    if (!(seen & VP_DISPLAYRATE)) g_vp.displayrate = (seen & VP_PROCESSRATE) ? g_vp.processrate : 0xFFFFFFFFu;
    if (cmp.page != 0 && cmp.page != 9999 && all_texts_empty()) {
        strcpy(g_vp.mnemonic, "XXXX");
        cmp_warning("Parameter name defaulted to XXXX", nullptr);
    }
    if (!supercomm_settled(seen)) return;
    if (!(seen & VP_ROW) || g_vp.row < 1 || g_vp.row > 80)
        port_error("Row not found or outside limits (1 <= row <= %hu)", 80);
    if (!(seen & VP_COLUMN) || g_vp.column < 1 || g_vp.column > 200)
        port_error("Column not found or outside limits (1 <= col <= %hu)", 200);
    frame_defaults(seen);
    key_text(seen);
    recording_rates(seen);
}

static void valueport_begin() { g_vp.port_flags |= PF_ENABLE; }

static const KeyRow kValuePortKeys[] = {
    {TOK_CALIBRATION, VP_CALIBRATION, 0, nullptr, &kCalibrationBlock},
    {TOK_PLOTPORT, VP_PLOTPORT, 0, nullptr, &kPlotPortBlock},
    {TOK_ALARM, VP_ALARM, 0, nullptr, &kAlarmBlock},
    {TOK_SUBCOM, VP_SUBCOM, 0, nullptr, &kSubcomBlock},
    {TOK_FILTER, VP_FILTER, 0, nullptr, &kFilterBlock},
    {TOK_ENABLE, VP_ENABLE, 0, set_vp_enable, nullptr},
    {TOK_VIEW, VP_VIEW, 0, set_view, nullptr},
    {TOK_DATABASEKEY, VP_DATABASEKEY, 0, set_databasekey, nullptr},
    {TOK_BYTEINDEX, VP_BYTEINDEX, 0, set_vp_u16, nullptr},
    {TOK_ROW, VP_ROW, 0, set_vp_u16, nullptr},
    {TOK_COLUMN, VP_COLUMN, 0, set_vp_u16, nullptr},
    {TOK_DATATYPE, VP_RAWFORMAT, 0, set_format, nullptr},
    {TOK_RAWFORMAT, VP_RAWFORMAT, 0, set_format, nullptr},
    {TOK_DISPLAYFORMAT, VP_DISPLAYFORMAT, 0, set_format, nullptr},
    {TOK_TITLE, VP_TITLE, 0, set_vp_text, nullptr},
    {TOK_UNITS, VP_UNITS, 0, set_vp_text, nullptr},
    {TOK_MNEMONIC, VP_MNEMONIC, 0, set_vp_text, nullptr},
    {TOK_DRAWENABLE, VP_DRAWENABLE, 0, set_drawenable, nullptr},
    {TOK_BORDER, VP_BORDER, 0, set_vp_border, nullptr},
    {TOK_BORDERCOLOR, VP_BORDERCOLOR, 0, set_vp_colour, nullptr},
    {TOK_BACKGROUNDCOLOR, VP_BACKGROUNDCOLOR, 0, set_vp_colour, nullptr},
    {TOK_TITLECOLOR, VP_TITLECOLOR, 0, set_vp_colour, nullptr},
    {TOK_VALUECOLOR, VP_VALUECOLOR, 0, set_vp_colour, nullptr},
    {TOK_SUPERCOMMCOUNT, VP_SCCOUNT, 0, set_supercomm, nullptr},
    {TOK_SUPERCOMMINCR, VP_SCINCR, 0, set_supercomm, nullptr},
    {TOK_SBTAGCOUNT, VP2_SBTAGCOUNT, KEY_SECOND_MASK, set_sbtagcount, nullptr},
    {TOK_VARPKTLEN, VP2_VARPKTLEN, KEY_SECOND_MASK, set_varpktlen, nullptr},
    {TOK_DISPLAYRATE, VP_DISPLAYRATE, 0, set_rate, nullptr},
    {TOK_PROCESSRATE, VP_PROCESSRATE, 0, set_rate, nullptr},
    {TOK_FILENAME, VP_FILENAME, 0, set_vp_text, nullptr},
    {TOK_AUTOLABEL, 0, KEY_REPEATS, set_autolabel, nullptr},
};
static_assert(std::size(kValuePortKeys) == 31);

const BlockKind kValuePortBlock = {TOK_VALUEPORT, kValuePortKeys, 31, valueport_begin, valueport_end};
