// The checks of the editing dialogs, with the system's texts.
#include "display/editchecks.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/datatypes.h"
#include "core/pagefile.h"
#include "core/symtab.h"
#include "display/plot.h"

// ---- numbers -----------------------------------------------------------------------

static const char* skip_blanks(const char* s) {
    while (*s == ' ' || *s == '\t') s++;
    return s;
}

static bool blank(const char* s) { return *skip_blanks(s) == 0; }

int field_number(const char* text, double lo, double hi, double* v) {
    const char* s = skip_blanks(text);
    if (!*s) return 1;
    int64_t whole;
    if (dt_has_radix_prefix(s)) {
        if (dt_scan_number(s, &whole) != 0) return 2;
        *v = (double)whole;
    } else {
        char* end = nullptr;
        *v = strtod(s, &end);
        if (end == s || *skip_blanks(end) != 0 || !std::isfinite(*v)) return 2;
    }
    return (*v < lo || *v > hi) ? 2 : 0;
}

int field_whole(const char* text, long lo, long hi, long* v) {
    double d;
    int rc = field_number(text, (double)lo, (double)hi, &d);
    if (rc != 0) return rc;
    if (d != std::floor(d)) return 2;
    *v = (long)d;
    return 0;
}

void field_number_error(DlgErrors* e, uint32_t field, int rc) {
    if (rc == 1) dlg_error(e, field, "invalid or blank value");
    else if (rc == 2) dlg_error(e, field, "invalid number , outside limits ?");
}

static long whole_or(DlgErrors* e, uint32_t field, const char* text, long lo, long hi, long fallback) {
    long v = fallback;
    int rc = field_whole(text, lo, hi, &v);
    field_number_error(e, field, rc);
    return rc == 0 ? v : fallback;
}

#define FIELD(rec, member) (uint32_t) offsetof(rec, member)

// ---- value-port settings -----------------------------------------------------------

static bool real_type(int type) { return type == DT_DOUBLE || type == DT_FLOAT; }

static void text_length_check(DlgErrors* e, uint32_t field, const char* s, size_t field_size) {
    if (strnlen(s, field_size) >= field_size) dlg_error(e, field, "exceeds %d characters", (int)field_size - 1);
}

// Count and increment correct each other: a count without an increment is
// one sample, a single sample has no increment.
static void commutation_rules(VPortValues* v, DlgErrors* e, long* count, long* incr) {
    if (*count >= 2 && *incr == 0) {
        *count = 1;
        snprintf(v->count, sizeof v->count, "1");
        dlg_error(e, FIELD(VPortValues, count), "Increment = 0 ==> Count must be 1");
    } else if (*count == 1 && *incr >= 1) {
        *incr = 0;
        snprintf(v->incr, sizeof v->incr, "0");
        dlg_error(e, FIELD(VPortValues, incr), "Count = 1 ==> Increment must be 0");
    }
}

int vport_settings_check(VPortValues* v, const VPortContext& c, DlgErrors* e) {
    e->count = 0;
    if (v->view.selected < 0 || v->view.selected >= v->view.count)
        dlg_error(e, FIELD(VPortValues, view), "Invalid parameter selection");
    long bi = whole_or(e, FIELD(VPortValues, byteindex), v->byteindex, 0, 65535, 0);
    long count = whole_or(e, FIELD(VPortValues, count), v->count, 0, 32767, 0);
    long incr = whole_or(e, FIELD(VPortValues, incr), v->incr, 0, 65535, 0);
    whole_or(e, FIELD(VPortValues, row), v->row, 1, 200, 1);
    whole_or(e, FIELD(VPortValues, column), v->column, 1, 200, 1);
    text_length_check(e, FIELD(VPortValues, mnemonic), v->mnemonic, sizeof v->mnemonic);
    text_length_check(e, FIELD(VPortValues, title), v->title, sizeof v->title);
    text_length_check(e, FIELD(VPortValues, units), v->units, sizeof v->units);
    if (blank(v->mnemonic) && blank(v->title) && blank(v->units))
        dlg_error(e, FIELD(VPortValues, mnemonic), "Mnemonic, Title, Units all blank.");
    commutation_rules(v, e, &count, &incr);
    int raw = dt_classify(v->datatype), disp = dt_classify(v->format[0] ? v->format : v->datatype);
    if (raw == DT_HEXCHAR) {
        dlg_error(e, FIELD(VPortValues, datatype), "%%Hc illegal - display 'Format' only");
    } else if (raw == DT_INVALID) {
        dlg_error(e, FIELD(VPortValues, datatype), "invalid or blank value");
    } else {
        long size = dt_raw_size(v->datatype);
        long span = count > 1 ? count * incr : 0;
        if (bi + span + size > (long)c.view_length) {
            dlg_error(e, FIELD_NONE, "Byteindex %ld + datatype %ld exceeds param. length %ld", bi + span, size,
                      (long)c.view_length);
            // At the field, what pushed the value out: where it starts, the
            // samples of its commutation, or its own size.
            if (bi >= (long)c.view_length)
                dlg_error(e, FIELD(VPortValues, byteindex), "Value exceeds parameter length");
            else if (span > 0 && bi + span > (long)c.view_length)
                dlg_error(e, FIELD(VPortValues, count), "Byteindex+(count*increment) exceeds param. length");
            else
                dlg_error(e, FIELD(VPortValues, byteindex), "Byteindex+Datatype exceeds param. length");
        }
    }
    if (disp == DT_INVALID) {
        dlg_error(e, FIELD(VPortValues, format), "invalid or blank value");
    } else {
        if (dt_display_width(v->format[0] ? v->format : v->datatype) > 80)
            dlg_error(e, FIELD(VPortValues, format), "exceeds display width");
        if ((c.in_plot || v->plot) && !real_type(disp))
            dlg_error(e, FIELD(VPortValues, format), "must be real/float for plots");
    }
    // The sample count only means something as the X value of a plot of a
    // packet parameter.
    int view = v->view.selected;
    if (view == VIEW_SAMPLE_COUNT && (c.y_view < 0 || c.y_view != VIEW_PACKETHEADER))
        dlg_error(e, FIELD(VPortValues, view),
                  "The 'sample_count' parameter can\nonly be used for the 'X Value' port\nof a packet parameter plot");
    if (c.x_view == VIEW_SAMPLE_COUNT && view != VIEW_PACKETHEADER)
        dlg_error(e, FIELD(VPortValues, view),
                  "This is a plot using the sample count as\nthe 'X Value' parameter. You must use a packet\nparameter, "
                  "i.e. 'packetheader' for the Y port");
    uint32_t mask;
    if (!blank(v->rate) && rate_from_text(skip_blanks(v->rate), c.loop_ms ? c.loop_ms : 10, 0, &mask) != 0)
        dlg_error(e, FIELD(VPortValues, rate), "invalid number , outside limits ?");
    return e->count;
}

static void copy_field(char* dst, size_t cap, const char* src, size_t src_size) {
    snprintf(dst, cap, "%.*s", (int)strnlen(src, src_size), src);
}

// The rate as the dialog shows it: the period in ms at the page's loop time.
static void rate_text(uint32_t mask, uint32_t loop_ms, char* out, size_t cap) {
    if (mask == 0) {
        snprintf(out, cap, "F00ST00");
        return;
    }
    snprintf(out, cap, "every%ldmsecs", (long)rate_period(mask) * (long)(loop_ms ? loop_ms : 10));
}

void vport_values_from(const PortRecord* r, uint32_t loop_ms, VPortValues* v) {
    DlgList view = v->view;
    memset(v, 0, sizeof *v);
    v->view = view;
    v->view.selected = r->view;
    copy_field(v->datatype, sizeof v->datatype, r->rawformat, sizeof r->rawformat);
    snprintf(v->byteindex, sizeof v->byteindex, "%u", (unsigned)r->byteindex);
    snprintf(v->count, sizeof v->count, "%d", (int)(r->supercommcount < 0 ? 0 : r->supercommcount));
    snprintf(v->incr, sizeof v->incr, "%u", (unsigned)r->supercommincr);
    copy_field(v->mnemonic, sizeof v->mnemonic, r->mnemonic, sizeof r->mnemonic);
    copy_field(v->title, sizeof v->title, r->title, sizeof r->title);
    copy_field(v->units, sizeof v->units, r->units, sizeof r->units);
    snprintf(v->row, sizeof v->row, "%u", (unsigned)r->row);
    snprintf(v->column, sizeof v->column, "%u", (unsigned)r->column);
    copy_field(v->format, sizeof v->format, r->displayformat, sizeof r->displayformat);
    rate_text(r->displayrate, loop_ms, v->rate, sizeof v->rate);
    v->border = (r->frame_flags & FR_BORDER) != 0;
    v->nodraw = (r->frame_flags & FR_NODRAW) != 0;
    v->plot = (r->port_flags & PF_PLOT) != 0;
}

void vport_values_to(const VPortValues* v, uint32_t loop_ms, int port_index, PortRecord* r) {
    long n = 0;
    r->view = (uint16_t)(v->view.selected < 0 ? r->view : v->view.selected);
    snprintf(r->rawformat, sizeof r->rawformat, "%s", v->datatype);
    if (field_whole(v->byteindex, 0, 65535, &n) == 0) r->byteindex = (uint16_t)n;
    if (field_whole(v->count, 0, 32767, &n) == 0) r->supercommcount = (int32_t)n;
    if (field_whole(v->incr, 0, 65535, &n) == 0) r->supercommincr = (uint32_t)n;
    snprintf(r->mnemonic, sizeof r->mnemonic, "%s", v->mnemonic);
    snprintf(r->title, sizeof r->title, "%s", v->title);
    snprintf(r->units, sizeof r->units, "%s", v->units);
    if (field_whole(v->row, 1, 200, &n) == 0) r->row = (uint16_t)n;
    if (field_whole(v->column, 1, 200, &n) == 0) r->column = (uint16_t)n;
    snprintf(r->displayformat, sizeof r->displayformat, "%s", v->format[0] ? v->format : v->datatype);
    uint32_t mask;
    if (!blank(v->rate) && rate_from_text(skip_blanks(v->rate), loop_ms ? loop_ms : 10, port_index, &mask) == 0) {
        // A plot port is processed and shown every cycle whatever its rate.
        if (!(r->port_flags & PF_PLOT)) r->displayrate = r->processrate = mask;
    }
    r->frame_flags = (r->frame_flags & ~(FR_BORDER | FR_NODRAW)) | (v->border ? FR_BORDER : 0u) |
                     (v->nodraw ? FR_NODRAW : 0u);
}

// ---- plot settings -------------------------------------------------------------------

static double number_or(DlgErrors* e, uint32_t field, const char* text, double fallback) {
    double v = fallback;
    int rc = field_number(text, -1e300, 1e300, &v);
    field_number_error(e, field, rc);
    return rc == 0 ? v : fallback;
}

int plot_settings_check(PlotValues* v, DlgErrors* e) {
    e->count = 0;
    long row = whole_or(e, FIELD(PlotValues, row), v->row, 1, 80, 1);
    long col = whole_or(e, FIELD(PlotValues, column), v->column, 1, 200, 1);
    long width = whole_or(e, FIELD(PlotValues, width), v->width, 1, 200, 38);
    long height = whole_or(e, FIELD(PlotValues, height), v->height, 1, 80, 11);
    whole_or(e, FIELD(PlotValues, maxpoints), v->maxpoints, 1, (long)PLOT_MAX_POINTS, 100);
    if (row < height) dlg_error(e, FIELD(PlotValues, row), "[plotport] top boundary outside limit");
    if (col + width - 1 > 200) dlg_error(e, FIELD(PlotValues, width), "Plotport rhs boundary outside limit");
    double xl = number_or(e, FIELD(PlotValues, xlower), v->xlower, 0);
    double xu = number_or(e, FIELD(PlotValues, xupper), v->xupper, 1);
    double yl = number_or(e, FIELD(PlotValues, ylower), v->ylower, 0);
    double yu = number_or(e, FIELD(PlotValues, yupper), v->yupper, 1);
    if (v->autox && xl > 0.0) dlg_error(e, FIELD(PlotValues, xlower), "Autoplot lower X limit must be <= 0.0");
    if (v->autoy && yl > 0.0) dlg_error(e, FIELD(PlotValues, ylower), "Autoplot lower Y limit must be <= 0.0");
    if (xu == xl) dlg_error(e, FIELD(PlotValues, xupper), "X plot limits are identical.");
    else if (xu < xl) dlg_error(e, FIELD(PlotValues, xupper), "X Upper plot limit < X lower limit");
    if (yu == yl) dlg_error(e, FIELD(PlotValues, yupper), "Y plot limits are identical.");
    else if (yu < yl) dlg_error(e, FIELD(PlotValues, yupper), "Y Upper plot limit < Y lower limit");
    // Forward and backward plotting only mean something for lines.
    if ((v->backward || v->forward) && !v->line) dlg_error(e, FIELD(PlotValues, line), "'Lineplot' must be on");
    if (v->backward && v->forward) dlg_error(e, FIELD(PlotValues, backward), "invalid or blank value");
    text_length_check(e, FIELD(PlotValues, title), v->title, sizeof v->title);
    return e->count;
}

static void number_text(double d, char* out, size_t cap) { snprintf(out, cap, "%.15g", d); }

void plot_values_from(const PortRecord* r, PlotValues* v) {
    memset(v, 0, sizeof *v);
    snprintf(v->row, sizeof v->row, "%u", (unsigned)r->plot_row);
    snprintf(v->column, sizeof v->column, "%u", (unsigned)r->plot_column);
    snprintf(v->width, sizeof v->width, "%u", (unsigned)(r->plot_width ? r->plot_width : 38));
    snprintf(v->height, sizeof v->height, "%u", (unsigned)(r->plot_height ? r->plot_height : 11));
    snprintf(v->maxpoints, sizeof v->maxpoints, "%u", (unsigned)r->maxpoints);
    v->autox = (r->port_flags & PF_AUTOPLOTX) != 0;
    v->autoy = (r->port_flags & PF_AUTOPLOTY) != 0;
    v->refreshx = (r->port_flags & PF_AUTOREFRESHX) != 0;
    v->refreshy = (r->port_flags & PF_AUTOREFRESHY) != 0;
    v->backward = (r->plot_flags & PL_BACKWARD) != 0;
    v->forward = (r->plot_flags & PL_FORWARD) != 0;
    v->grid = (r->plot_flags & PL_GRID) != 0;
    v->line = (r->port_flags & PF_LINEPLOT) != 0;
    copy_field(v->xtitle, sizeof v->xtitle, r->xtitle, sizeof r->xtitle);
    copy_field(v->title, sizeof v->title, r->plot_title, sizeof r->plot_title);
    copy_field(v->ytitle, sizeof v->ytitle, r->ytitle, sizeof r->ytitle);
    number_text(r->xlower, v->xlower, sizeof v->xlower);
    number_text(r->xupper, v->xupper, sizeof v->xupper);
    number_text(r->ylower, v->ylower, sizeof v->ylower);
    number_text(r->yupper, v->yupper, sizeof v->yupper);
}

static uint32_t with_flag(uint32_t word, uint32_t bit, bool on) { return on ? (word | bit) : (word & ~bit); }

void plot_values_to(const PlotValues* v, PortRecord* r) {
    long n;
    if (field_whole(v->row, 1, 80, &n) == 0) r->plot_row = (uint16_t)n;
    if (field_whole(v->column, 1, 200, &n) == 0) r->plot_column = (uint16_t)n;
    if (field_whole(v->width, 1, 200, &n) == 0) r->plot_width = (uint16_t)n;
    if (field_whole(v->height, 1, 80, &n) == 0) r->plot_height = (uint16_t)n;
    if (field_whole(v->maxpoints, 1, (long)PLOT_MAX_POINTS, &n) == 0) r->maxpoints = (uint32_t)n;
    r->port_flags = with_flag(r->port_flags, PF_AUTOPLOTX, v->autox);
    r->port_flags = with_flag(r->port_flags, PF_AUTOPLOTY, v->autoy);
    r->port_flags = with_flag(r->port_flags, PF_AUTOPLOT, v->autox || v->autoy);
    r->port_flags = with_flag(r->port_flags, PF_AUTOREFRESHX, v->refreshx);
    r->port_flags = with_flag(r->port_flags, PF_AUTOREFRESHY, v->refreshy);
    r->port_flags = with_flag(r->port_flags, PF_LINEPLOT, v->line);
    r->plot_flags = with_flag(r->plot_flags, PL_BACKWARD, v->backward);
    r->plot_flags = with_flag(r->plot_flags, PL_FORWARD, v->forward);
    r->plot_flags = with_flag(r->plot_flags, PL_GRID, v->grid);
    snprintf(r->xtitle, sizeof r->xtitle, "%s", v->xtitle);
    snprintf(r->plot_title, sizeof r->plot_title, "%s", v->title);
    snprintf(r->ytitle, sizeof r->ytitle, "%s", v->ytitle);
    double d;
    if (field_number(v->xlower, -1e300, 1e300, &d) == 0) r->xlower = d;
    if (field_number(v->xupper, -1e300, 1e300, &d) == 0) r->xupper = d;
    if (field_number(v->ylower, -1e300, 1e300, &d) == 0) r->ylower = d;
    if (field_number(v->yupper, -1e300, 1e300, &d) == 0) r->yupper = d;
}

// ---- calibration and bit operation ---------------------------------------------------

int bitmask_check(const char* text, uint32_t field, uint32_t* mask, DlgErrors* e) {
    double v = 0;
    int rc = field_number(text, 0, 4294967295.0, &v);
    if (rc != 0) {
        field_number_error(e, field, rc);
        return -1;
    }
    if (v == 0) {
        dlg_error(e, field, "illegal zero value");
        return -1;
    }
    *mask = (uint32_t)v;
    return 0;
}

void bitmask_text(uint32_t mask, char* out, size_t cap) { snprintf(out, cap, "0x%08lx", (unsigned long)mask); }

int calib_settings_check(const CalibValues* v, int display_type, DlgErrors* e) {
    e->count = 0;
    bool integer = !real_type(display_type);
    uint32_t mask;
    if (!blank(v->bitmask)) bitmask_check(v->bitmask, FIELD(CalibValues, bitmask), &mask, e);
    const struct {
        const char* text;
        uint32_t field;
    } kZeroRefused[] = {{v->modulus, FIELD(CalibValues, modulus)}, {v->quotient, FIELD(CalibValues, quotient)}};
    for (const auto& z : kZeroRefused) {
        if (blank(z.text)) continue;
        double d;
        int rc = field_number(z.text, -1e300, 1e300, &d);
        if (rc != 0) dlg_error(e, z.field, "Invalid number or value outside limits");
        else if (d == 0) dlg_error(e, z.field, "Illegal zero value");
    }
    if (v->reciprocal && integer) dlg_error(e, FIELD(CalibValues, reciprocal), "Reciprocal is not valid\nfor Integer datatypes");
    for (int i = 0; i < 5; i++) {
        if (blank(v->a[i])) continue;
        double d;
        if (field_number(v->a[i], -1e300, 1e300, &d) != 0)
            dlg_error(e, (uint32_t)(offsetof(CalibValues, a) + (size_t)i * sizeof v->a[0]),
                      "Invalid number or value outside limits");
        else if (integer && i >= 1 && d != std::floor(d))
            dlg_error(e, (uint32_t)(offsetof(CalibValues, a) + (size_t)i * sizeof v->a[0]),
                      "N/A for integer display 'Format'");
    }
    long avg;
    if (!blank(v->average)) {
        int rc = field_whole(v->average, 0, 32767, &avg);
        if (rc != 0) dlg_error(e, FIELD(CalibValues, average), "invalid or blank value");
    }
    return e->count;
}

// ---- alarm limits --------------------------------------------------------------------

int alarm_limits_read(const char* lower, const char* upper, int display_type, void* lo_cell, void* hi_cell) {
    if (blank(lower) || blank(upper)) return -1;
    double lo, hi;
    if (field_number(lower, -1e300, 1e300, &lo) != 0 || field_number(upper, -1e300, 1e300, &hi) != 0) return -2;
    if (!(lo < hi)) return -3;
    int calc = dt_calc_type(display_type);
    if (calc == DT_DOUBLE) {
        memcpy(lo_cell, &lo, sizeof lo);
        memcpy(hi_cell, &hi, sizeof hi);
        return 0;
    }
    // Integer limits must be whole and fit the value's 32 bits.
    if (lo != std::floor(lo) || hi != std::floor(hi)) return -2;
    if (calc == DT_ULONG) {
        if (lo < 0 || hi > 4294967295.0) return -2;
        uint32_t a = (uint32_t)lo, b = (uint32_t)hi;
        memcpy(lo_cell, &a, sizeof a);
        memcpy(hi_cell, &b, sizeof b);
    } else {
        if (lo < -2147483648.0 || hi > 2147483647.0) return -2;
        int32_t a = (int32_t)lo, b = (int32_t)hi;
        memcpy(lo_cell, &a, sizeof a);
        memcpy(hi_cell, &b, sizeof b);
    }
    return 0;
}

// ---- parameter record file -----------------------------------------------------------

static bool name_char(unsigned char c) { return isalnum(c) || (c && strchr("!#$%&'()-@^_`{}~", c)); }

void record_file_proposal(const char* mnemonic, char* out, size_t cap) {
    char base[9];
    int n = 0;
    for (; n < 8 && mnemonic[n]; n++) base[n] = name_char((unsigned char)mnemonic[n]) ? mnemonic[n] : '_';
    while (n > 0 && base[n - 1] == '_') n--;
    base[n] = 0;
    snprintf(out, cap, "%s.TXT", base);
}

// ---- packet format -------------------------------------------------------------------

void sync_text(const uint8_t* bytes, int n, char* out, size_t cap) {
    int at = snprintf(out, cap, "0x");
    for (int i = 0; i < n && i < 4 && at > 0 && (size_t)at < cap; i++)
        at += snprintf(out + at, cap - (size_t)at, "%02x", bytes[i]);
}

int sync_parse(const char* text, uint8_t* bytes, int* n) {
    const char* s = skip_blanks(text);
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s += 2;
    size_t len = 0;
    while (isxdigit((unsigned char)s[len])) len++;
    if (*skip_blanks(s + len) != 0) return -3;
    if (len == 0 || len % 2 != 0) return -1;
    if (len > 8) return -2;
    *n = (int)len / 2;
    for (int i = 0; i < *n; i++) {
        char two[3] = {s[2 * i], s[2 * i + 1], 0};
        bytes[i] = (uint8_t)strtoul(two, nullptr, 16);
    }
    return 0;
}

const char* sync_error_text(int rc) {
    switch (rc) {
    case -1: return "Sync length not integral 1-4 bytes";
    case -2: return "Maximum 4 byte sync. exceeded";
    case -3: return "invalid number, outside limits ?";
    default: return "";
    }
}

// ---- window colours --------------------------------------------------------------------

int colours_check(int background, int foreground, bool choosing_foreground, const char** title, const char** text) {
    if (background != foreground) return 0;
    if (choosing_foreground) {
        *title = "Foreground Color";
        *text = "Foreground color and background\ncolor cannot be the same.";
    } else {
        *title = "Background Color";
        *text = "Background color and foreground\ncolor cannot be the same.";
    }
    return 1;
}

// ---- errors ----------------------------------------------------------------------------

void field_error_box(const DlgForm* form, const char* caption, const DlgErrors* e) {
    char text[DLG_ERRORS_MAX * 200];
    size_t at = 0;
    text[0] = 0;
    for (int i = 0; i < e->count && i < DLG_ERRORS_MAX; i++) {
        char label[100];
        label[0] = 0;
        if (e->field[i] != FIELD_NONE) dlg_field_label(form, e->field[i], label, sizeof label);
        int n = label[0] ? snprintf(text + at, sizeof text - at, "%s: %s\n", label, e->text[i])
                         : snprintf(text + at, sizeof text - at, "%s\n", e->text[i]);
        if (n < 0 || (size_t)n >= sizeof text - at) break;
        at += (size_t)n;
    }
    plat_message_box(text, caption, MB_OK | MB_ICONEXCLAMATION);
}
