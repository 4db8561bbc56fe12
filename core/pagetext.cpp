// The page text writer: lines and value forms, the record loop, and the
// [valueport] block with its sub-blocks. The [packet] and [system] blocks
// are in pagetext_system.cpp.
#include "core/pagetext.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "core/datatypes.h"
#include "core/files.h"
#include "core/pagetext_lines.h"
#include "core/symtab.h"

PageTextState pagetext = {DT_INVALID, -1, -1, false};

void pagetext_reset() { pagetext = {DT_INVALID, -1, -1, false}; }

// ---- lines ------------------------------------------------------------------

constexpr int LINE_CAP = 1024;   // 3 tabs, a name of 263, a value of 300 at most

static void put_raw(const char* text, size_t n) {
    if (zyr_fwrite(text, 1, n, pagetext.out_slot) < 0) pagetext.failed = true;
}

void pt_line(int level, int key, const char* value) {
    const char* name = symtab_name(key);
    if (!name) return;   // a keyword without a name cannot be read back
    char line[LINE_CAP];
    size_t n = 0;
    for (int i = 0; i < level && i < PT_MAX_LEVEL; i++) line[n++] = '\t';
    int w = value ? snprintf(line + n, sizeof line - n, "%s = %s\r\n", name, value)
                  : snprintf(line + n, sizeof line - n, "%s\r\n", name);
    if (w < 0 || (size_t)w >= sizeof line - n) {
        pagetext.failed = true;
        return;
    }
    put_raw(line, n + (size_t)w);
}

void pt_header(int level, int key) { pt_line(level, key, nullptr); }

void pt_word(int level, int key, int token) {
    const char* word = symtab_name(token);
    if (word) pt_line(level, key, word);
}

void pt_switch(int level, int key, bool on) { pt_word(level, key, on ? TOK_ON : TOK_OFF); }

void pt_colour(int level, int key, unsigned index) {
    if (index < (unsigned)COLOUR_COUNT) pt_word(level, key, colour_token((int)index));
}

void pt_uint(int level, int key, uint32_t v) {
    char text[16];
    snprintf(text, sizeof text, "%lu", (unsigned long)v);
    pt_line(level, key, text);
}

void pt_int(int level, int key, int32_t v) {
    char text[16];
    snprintf(text, sizeof text, "%ld", (long)v);
    pt_line(level, key, text);
}

void pt_mask(int level, int key, uint32_t v) {
    char text[16];
    snprintf(text, sizeof text, "0x%08lx", (unsigned long)v);
    pt_line(level, key, text);
}

// A line end inside a text would end the line (and start another block) and
// a double quote would end the quoted text early: they become a blank and a
// single quote, so the text reads back as one value.
static void clean_text(char* text) {
    for (char* p = text; *p; p++) {
        if (*p == '\r' || *p == '\n') *p = ' ';
        if (*p == '"') *p = '\'';
    }
}

void pt_field_text(const char* field, size_t size, char* out) {
    size_t n = strnlen(field, size - 1);
    memcpy(out, field, n);
    out[n] = '\0';
    clean_text(out);
}

void pt_quoted(int level, int key, const char* field, size_t size, bool keep_empty) {
    char text[300];
    if (size > sizeof text - 2) size = sizeof text - 2;
    pt_field_text(field, size, text + 1);
    if (!text[1] && !keep_empty) return;
    size_t n = strlen(text + 1);
    text[0] = '"';
    text[n + 1] = '"';
    text[n + 2] = '\0';
    pt_line(level, key, text);
}

// ---- value forms ----------------------------------------------------------------

void pagetext_double(double v, char* out, size_t cap) {
    auto res = std::to_chars(out, out + cap - 1, v, std::chars_format::general, 15);
    double back = 0.0;
    auto rd = std::from_chars(out, res.ptr, back);
    if (rd.ec != std::errc() || memcmp(&back, &v, sizeof v) != 0)
        res = std::to_chars(out, out + cap - 1, v, std::chars_format::general, 17);
    *res.ptr = '\0';
}

// The "%f" form of a float unless it loses digits; then 9 significant
// digits, which always read back as the same float.
static void float_text(float f, char* out, size_t cap) {
    auto res = std::to_chars(out, out + cap - 1, f, std::chars_format::fixed, 6);
    double back = 0.0;
    auto rd = std::from_chars(out, res.ptr, back);
    float fb = (float)back;
    if (rd.ec != std::errc() || memcmp(&fb, &f, sizeof f) != 0)
        res = std::to_chars(out, out + cap - 1, f, std::chars_format::general, 9);
    *res.ptr = '\0';
}

int pagetext_value(int type, const void* value, char* out, size_t cap) {
    char text[DT_TEXT_BUF + 8];
    out[0] = '\0';
    if (type < 0 || type >= DT_TYPES || cap < sizeof text) return -1;
    if (type == DT_HEXCHAR) {
        // The compiler turns a limit text into hex character text, so the
        // text written is the one those hex pairs stand for.
        if (dt_convert(DT_HEXCHAR, value, DT_STRING, text) != 0) return -1;
        pt_field_text(text, DT_TEXT_BUF, out);
        return 0;
    }
    if (dt_is_text(type)) {
        pt_field_text((const char*)value, DT_TEXT_BUF, out);
        return 0;
    }
    if (type == DT_DOUBLE) {
        double d;
        memcpy(&d, value, sizeof d);
        pagetext_double(d, out, cap);
        return 0;
    }
    if (type == DT_FLOAT) {
        float f;
        memcpy(&f, value, sizeof f);
        float_text(f, out, cap);
        return 0;
    }
    if (dt_convert(type, value, DT_STRING, text) != 0) return -1;
    // Hexadecimal digits (of the hex and pointer types) may begin with a
    // letter, which the compiler would take for a word: the prefix keeps
    // them a number.
    bool hex = type == DT_HEX32 || type == DT_HEX16 || type == DT_NEARPTR || type == DT_FARPTR;
    snprintf(out, cap, "%s%s", hex ? "0x" : "", text);
    return 0;
}

static bool all_zero(const void* p, size_t n) {
    const uint8_t* b = (const uint8_t*)p;
    for (size_t i = 0; i < n; i++)
        if (b[i]) return false;
    return true;
}

// A limit cell of type `type`: converted, or 0 when the type has no
// conversion (an empty cell of such a type is left out: the compiler could
// not read its 0 back). Text limits are quoted, as the compiler reads texts.
static void put_limit(int level, int key, int type, const ValueCell* cell) {
    char text[128];
    if (pagetext_value(type, cell, text, sizeof text) != 0) {
        if (!all_zero(cell, sizeof *cell)) pt_line(level, key, "0");
        return;
    }
    if (!dt_is_text(type)) {
        pt_line(level, key, text);
        return;
    }
    pt_quoted(level, key, text, sizeof text, true);
}

// ---- the [valueport] block ---------------------------------------------------------

// Without a databasekey the compiler takes the first word of the name (or
// title, or units): an empty key is written only when that would differ.
static bool key_would_differ(const PortRecord* r) {
    const char* texts[3] = {r->mnemonic, r->title, r->units};
    for (const char* t : texts) {
        if (!t[0]) continue;
        size_t n = strnlen(t, 80);
        for (size_t i = 0; i < n; i++)
            if (t[i] != ' ' && t[i] != '\t') return true;
        return false;
    }
    return false;
}

// Steps 1 to 3: enable, key, place and super-commutation.
static void port_identity(const PortRecord* r) {
    if (!(r->port_flags & PF_ENABLE)) pt_word(1, TOK_ENABLE, TOK_NO);
    pt_quoted(1, TOK_DATABASEKEY, r->databasekey, sizeof r->databasekey, key_would_differ(r));
    if (r->view <= TOK_FREE_DISK - TOK_VIEW_FIRST) pt_word(1, TOK_VIEW, TOK_VIEW_FIRST + r->view);
    if (r->byteindex != 0) pt_uint(1, TOK_BYTEINDEX, r->byteindex);
    // A count of 0 or 1 means no super-commutation.
    if (r->supercommcount > 1) {
        pt_int(1, TOK_SUPERCOMMCOUNT, r->supercommcount);
        pt_uint(1, TOK_SUPERCOMMINCR, r->supercommincr);
    }
}

// Step 4. Letter case matters in a format ("%4hX" shows upper-case
// digits), so only identical formats are written as one data type.
static void port_formats(const PortRecord* r) {
    char raw[sizeof r->rawformat], disp[sizeof r->displayformat];
    pt_field_text(r->rawformat, sizeof r->rawformat, raw);
    pt_field_text(r->displayformat, sizeof r->displayformat, disp);
    if (strcmp(raw, disp) != 0) {
        pt_quoted(1, TOK_RAWFORMAT, raw, sizeof raw, false);
        pt_quoted(1, TOK_DISPLAYFORMAT, disp, sizeof disp, false);
    } else {
        pt_quoted(1, TOK_DATATYPE, raw, sizeof raw, false);
    }
}

static void put_rate(int key, uint32_t mask) {
    char rate[10];
    rate[0] = '"';
    rate_to_text(mask, rate + 1);
    memcpy(rate + 8, "\"", 2);
    pt_line(1, key, rate);
}

// Steps 5 to 8: frame position, texts, rates, colours and switches.
static void port_frame(const PortRecord* r) {
    pt_uint(1, TOK_ROW, r->row);
    pt_uint(1, TOK_COLUMN, r->column);
    pt_quoted(1, TOK_MNEMONIC, r->mnemonic, sizeof r->mnemonic, false);
    pt_quoted(1, TOK_TITLE, r->title, sizeof r->title, false);
    pt_quoted(1, TOK_UNITS, r->units, sizeof r->units, false);
    put_rate(TOK_DISPLAYRATE, r->displayrate);
    if (r->processrate != r->displayrate) put_rate(TOK_PROCESSRATE, r->processrate);
    pt_colour(1, TOK_BACKGROUNDCOLOR, r->backgroundcolor);
    pt_colour(1, TOK_BORDERCOLOR, r->bordercolor);
    pt_colour(1, TOK_TITLECOLOR, r->titlecolor);
    pt_colour(1, TOK_VALUECOLOR, r->valuecolor);
    if (!(r->frame_flags & FR_BORDER)) pt_switch(1, TOK_BORDER, false);
    if (r->frame_flags & FR_NODRAW) pt_switch(1, TOK_DRAWENABLE, false);
    if (r->port_flags & PF_VARPKTLEN) pt_switch(1, TOK_VARPKTLEN, true);
}

// A calibration constant in the calibration type, or null when the display
// type has none.
static const char* constant_text(const CalConst* c, char* out, size_t cap) {
    if (pagetext.calc_type < 0 || pagetext_value(pagetext.calc_type, c, out, cap) != 0) return nullptr;
    return out;
}

static bool coefficient_set(uint32_t given) {
    return given == 1 || given == 3 || given == 7 || given == 15 || given == 31;
}

// a4 down to a0. A record that names its coefficient set gets exactly that
// set, so the page compiles back to the same set; any other record gets all
// five, a1 and a0 falling back to 1 and 0.
static void coefficients(const CalibBlock* c) {
    const CalConst* a[5] = {&c->a0, &c->a1, &c->a2, &c->a3, &c->a4};
    uint32_t given = c->calflags & CAL_COEFF_MASK;
    bool exact = coefficient_set(given);
    static const char* const kFallback[5] = {"0", "1", nullptr, nullptr, nullptr};
    for (int k = 4; k >= 0; k--) {
        if (exact && !(given & (1u << k))) continue;
        char text[128];
        const char* v = constant_text(a[k], text, sizeof text);
        if (!v) v = kFallback[k];
        if (v) pt_line(3, TOK_A0 + k, v);
    }
}

static void polynomial_block(const CalibBlock* c) {
    char text[128];
    pt_header(2, TOK_POLYNOMIAL);
    if (c->calflags & CAL_INTEGERBYTESWAP) pt_word(3, TOK_FUNCTION, calib_fn_token(FN_INTEGERBYTESWAP));
    if (c->calflags & CAL_LONGBYTESWAP) pt_word(3, TOK_FUNCTION, calib_fn_token(FN_LONGBYTESWAP));
    if (c->calflags & CAL_DOUBLEBYTESWAP) pt_word(3, TOK_FUNCTION, calib_fn_token(FN_DOUBLEBYTESWAP));
    if ((c->calflags & CAL_MODULUS) && constant_text(&c->modulus, text, sizeof text))
        pt_line(3, TOK_MODULUS, text);
    if ((c->calflags & CAL_QUOTIENT) && constant_text(&c->quotient, text, sizeof text))
        pt_line(3, TOK_QUOTIENT, text);
    if (c->calflags & CAL_RECIPROCAL) pt_word(3, TOK_FUNCTION, calib_fn_token(FN_RECIPROCAL));
    if (c->calflags & CAL_BITMASK) pt_mask(3, TOK_BITMASK, c->bitmask);
    coefficients(c);
    if (c->avgsamples >= 2) pt_uint(3, TOK_AVGSAMPLES, c->avgsamples);
}

// A function of the polynomial family without any polynomial setting was
// given without a [polynomial] block: an empty block would not compile, so
// none is written for it. A calibration switched off with `enable` = `no`
// keeps its settings and is written with that switch, so that they are not
// lost.
static void calibration_block(const PortRecord* r) {
    const CalibBlock* c = &r->cal;
    bool on = r->port_flags & PF_CALIB;
    if (!on && r->function == 0 && all_zero(c, sizeof *c)) return;
    pt_header(1, TOK_CALIBRATION);
    if (!on) pt_switch(2, TOK_ENABLE, false);
    if (r->function < CALIB_FN_COUNT) pt_word(2, TOK_FUNCTION, calib_fn_token(r->function));
    if (calib_fn_is_polynomial(r->function) && (c->calflags != 0 || c->avgsamples >= 2)) {
        polynomial_block(c);
    } else if (calib_fn_is_bitop(r->function)) {
        pt_header(2, TOK_BITOPERATION);
        pt_mask(3, TOK_BITMASK, c->bitmask);
    }
}

static void alarm_block(const PortRecord* r) {
    pt_header(1, TOK_ALARM);
    uint32_t f = r->alarm_flags;
    if (f & AL_BLINK) pt_switch(2, TOK_BLINK, true);
    if (f & AL_SOUND) pt_switch(2, TOK_SOUND, true);
    if (f & AL_STEPMODE) pt_switch(2, TOK_STEPMODE, true);
    if (f & AL_INVERT) pt_switch(2, TOK_INVERT, true);
    if (f & AL_FILE) pt_quoted(2, TOK_FILENAME, r->alarm_filename, sizeof r->alarm_filename, true);
    put_limit(2, TOK_LOWERLIMIT, pagetext.display_type, &r->alarm_lower);
    put_limit(2, TOK_UPPERLIMIT, pagetext.display_type, &r->alarm_upper);
}

static void filter_block(const PortRecord* r) {
    pt_header(1, TOK_FILTER);
    put_limit(2, TOK_LOWERLIMIT, pagetext.display_type, &r->filter_lower);
    put_limit(2, TOK_UPPERLIMIT, pagetext.display_type, &r->filter_upper);
    if (r->filter_flags & AL_INVERT) pt_switch(2, TOK_INVERT, true);
}

static void subcom_block(const PortRecord* r) {
    pt_header(1, TOK_SUBCOM);
    pt_quoted(2, TOK_SUBCOMTAG, r->subcomtag, sizeof r->subcomtag, false);
    pt_uint(2, TOK_CVTYPE, r->cvtype);
    pt_uint(2, TOK_PORTNO, r->portno);
    put_limit(2, TOK_LOWERLIMIT, r->cvtype, &r->subcom_lower);
    put_limit(2, TOK_UPPERLIMIT, r->cvtype, &r->subcom_upper);
    if (r->subcom_flags & AL_INVERT) pt_switch(2, TOK_INVERT, true);
}

static void put_double(int level, int key, double v) {
    char text[40];
    pagetext_double(v, text, sizeof text);
    pt_line(level, key, text);
}

// An axis pair written as the one word that sets both bits, or as the word
// of the one bit that is set.
static void axis_pair(uint32_t flags, uint32_t x, uint32_t y, int both_key, int x_key, int y_key) {
    if ((flags & x) && (flags & y))
        pt_switch(2, both_key, true);
    else if (flags & x)
        pt_switch(2, x_key, true);
    else if (flags & y)
        pt_switch(2, y_key, true);
}

constexpr uint32_t PF_PLOT_SWITCHES =
    PF_AUTOPLOT | PF_AUTOPLOTX | PF_AUTOPLOTY | PF_AUTOREFRESHX | PF_AUTOREFRESHY | PF_LINEPLOT;

// Whether a port without the plot flag still carries plot settings (a
// [plotport] block switched off with `enable` = `no`).
static bool plot_settings(const PortRecord* r) {
    return (r->port_flags & PF_PLOT_SWITCHES) || r->plot_flags || r->plot_row || r->plot_column || r->plot_width ||
           r->plot_height || r->plot_backgroundcolor || r->plot_titlecolor || r->plot_bordercolor || r->plotcolor ||
           r->axiscolor || r->axislabelcolor || r->gridcolor || r->maxpoints || r->xtitle[0] || r->ytitle[0] ||
           r->plot_title[0] || r->xlower != 0 || r->xupper != 0 || r->ylower != 0 || r->yupper != 0;
}

// The plot frame, its texts, colours, axis bounds and history length.
static void plot_frame(const PortRecord* r) {
    pt_uint(2, TOK_ROW, r->plot_row);
    pt_uint(2, TOK_COLUMN, r->plot_column);
    pt_uint(2, TOK_WIDTH, r->plot_width);
    pt_uint(2, TOK_HEIGHT, r->plot_height);
    pt_quoted(2, TOK_XTITLE, r->xtitle, sizeof r->xtitle, false);
    pt_quoted(2, TOK_YTITLE, r->ytitle, sizeof r->ytitle, false);
    pt_quoted(2, TOK_TITLE, r->plot_title, sizeof r->plot_title, false);
    pt_colour(2, TOK_AXISCOLOR, r->axiscolor);
    pt_colour(2, TOK_AXISLABELCOLOR, r->axislabelcolor);
    pt_colour(2, TOK_BACKGROUNDCOLOR, r->plot_backgroundcolor);
    pt_colour(2, TOK_BORDERCOLOR, r->plot_bordercolor);
    pt_colour(2, TOK_GRIDCOLOR, r->gridcolor);
    pt_colour(2, TOK_PLOTCOLOR, r->plotcolor);
    pt_colour(2, TOK_TITLECOLOR, r->plot_titlecolor);
    put_double(2, TOK_XLOWER, r->xlower);
    put_double(2, TOK_YLOWER, r->ylower);
    put_double(2, TOK_XUPPER, r->xupper);
    put_double(2, TOK_YUPPER, r->yupper);
    pt_uint(2, TOK_MAXPOINTS, r->maxpoints);
}

static void plot_switches(const PortRecord* r) {
    axis_pair(r->port_flags, PF_AUTOPLOTX, PF_AUTOPLOTY, TOK_AUTOPLOT, TOK_AUTOPLOTX, TOK_AUTOPLOTY);
    axis_pair(r->port_flags, PF_AUTOREFRESHX, PF_AUTOREFRESHY, TOK_AUTOREFRESH, TOK_AUTOREFRESHX, TOK_AUTOREFRESHY);
    if (r->port_flags & PF_LINEPLOT) pt_switch(2, TOK_LINEPLOT, true);
    if (!(r->plot_flags & PL_BORDER)) pt_switch(2, TOK_BORDER, false);
    if (r->plot_flags & PL_GRID) pt_switch(2, TOK_PLOTGRID, true);
    // A line plot draws one way: backward when that is set, else forward.
    if (r->port_flags & PF_LINEPLOT) {
        if (r->plot_flags & PL_BACKWARD)
            pt_switch(2, TOK_BACKWARDPLOT, true);
        else if (r->plot_flags & PL_FORWARD)
            pt_switch(2, TOK_FORWARDPLOT, true);
    }
}

static void plot_block(const PortRecord* r) {
    pt_header(1, TOK_PLOTPORT);
    if (!(r->port_flags & PF_PLOT)) pt_switch(2, TOK_ENABLE, false);
    plot_frame(r);
    plot_switches(r);
}

void pt_begin(int out_slot) {
    pagetext.out_slot = out_slot;
    pagetext.failed = zyr_fvalid(out_slot) != 0 || zyr_fmode(out_slot) == 'r';
}

int pagetext_port(const PortRecord* r, int out_slot) {
    pt_begin(out_slot);
    char disp[sizeof r->displayformat];
    pt_field_text(r->displayformat, sizeof r->displayformat, disp);
    pagetext.display_type = dt_classify(disp);
    pagetext.calc_type = dt_calc_type(pagetext.display_type);
    if (pagetext.failed) return PT_PORT_FAILED;
    pt_header(0, TOK_VALUEPORT);
    port_identity(r);
    port_formats(r);
    port_frame(r);
    calibration_block(r);
    if (r->port_flags & PF_RECORD) {
        // An alarm log and a parameter record cannot both be written.
        if ((r->port_flags & PF_ALARM) && (r->alarm_flags & AL_FILE)) return PT_PORT_FAILED;
        pt_quoted(1, TOK_FILENAME, r->filename, sizeof r->filename, false);
    }
    if (r->port_flags & PF_ALARM) alarm_block(r);
    if (r->port_flags & PF_FILTER) filter_block(r);
    if (r->port_flags & PF_SUBCOM) subcom_block(r);
    if (r->sbtagcount > 0) pt_int(1, TOK_SBTAGCOUNT, r->sbtagcount);
    if ((r->port_flags & PF_PLOT) || plot_settings(r)) plot_block(r);
    return pagetext.failed ? PT_PORT_FAILED : PT_OK;
}

// ---- the record loop --------------------------------------------------------------

int pagetext_write(int in_slot, int out_slot) {
    if (!symtab_built()) return PT_NOT_READY;
    PageRecordBody body;
    for (;;) {
        int tag = page_read_record(in_slot, &body);
        if (tag == PAGE_EOF) return PT_OK;
        if (tag < 0) return tag;   // the reader's codes are the writer's
        int rc = tag == TAG_PORT     ? pagetext_port(&body.port, out_slot)
                 : tag == TAG_PACKET ? pagetext_packet(&body.packet, out_slot)
                                     : pagetext_system(&body.system, out_slot);
        if (rc != PT_OK) return rc;
    }
}
