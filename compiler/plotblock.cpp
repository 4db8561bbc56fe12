// The [plotport] sub-block of a value port: the plot frame, axes, limits,
// colours and plot modes, and the end checks that settle limits and frame.
#include "compiler/plotblock.h"

#include <iterator>

#include "compiler/portblocks.h"
#include "compiler/report.h"
#include "compiler/values.h"
#include "core/symtab.h"

// The port record being filled by the enclosing [valueport].
static PortRecord& vp() { return *valueport_edit(); }

enum : uint32_t {
    PK_ENABLE = 1u << 0, PK_ROW = 1u << 1, PK_COLUMN = 1u << 2, PK_WIDTH = 1u << 3, PK_HEIGHT = 1u << 4,
    PK_XTITLE = 1u << 5, PK_YTITLE = 1u << 6, PK_TITLE = 1u << 7, PK_XLOWER = 1u << 8, PK_XUPPER = 1u << 9,
    PK_YLOWER = 1u << 10, PK_YUPPER = 1u << 11, PK_AUTOPLOT = 1u << 12, PK_LINEPLOT = 1u << 13,
    PK_FORWARD = 1u << 14, PK_BACKWARD = 1u << 15, PK_BORDER = 1u << 16, PK_GRID = 1u << 17,
    PK_BORDERCOLOR = 1u << 18, PK_BACKGROUNDCOLOR = 1u << 19, PK_TITLECOLOR = 1u << 20,
    PK_PLOTCOLOR = 1u << 21, PK_GRIDCOLOR = 1u << 22, PK_AXISCOLOR = 1u << 23, PK_AXISLABELCOLOR = 1u << 24,
    PK_LIMITS = PK_XLOWER | PK_XUPPER | PK_YLOWER | PK_YUPPER,
    PK2_MAXPOINTS = 1u << 0, PK2_AUTOPLOTX = 1u << 1, PK2_AUTOPLOTY = 1u << 2, PK2_AUTOREFRESH = 1u << 3,
    PK2_AUTOREFRESHX = 1u << 4, PK2_AUTOREFRESHY = 1u << 5,   // second mask
};

static int set_plot_enable(const Token* v, int) { return put_switch(v, &vp().port_flags, PF_PLOT); }

static int set_plot_u16(const Token* v, int key) {
    switch (key) {
    case TOK_ROW: return put_u16(v, &vp().plot_row);
    case TOK_COLUMN: return put_u16(v, &vp().plot_column);
    case TOK_WIDTH: return put_u16(v, &vp().plot_width);
    default: return put_u16(v, &vp().plot_height);
    }
}

static int set_plot_text(const Token* v, int key) {
    switch (key) {
    case TOK_XTITLE: return put_text(v, "xtitle", vp().xtitle, sizeof vp().xtitle);
    case TOK_YTITLE: return put_text(v, "ytitle", vp().ytitle, sizeof vp().ytitle);
    default: return put_text(v, "title", vp().plot_title, sizeof vp().plot_title);
    }
}

static int set_plot_limit(const Token* v, int key) {
    double d;
    if (value_real(v, &d) != 0) return KEY_REFUSED;
    switch (key) {
    case TOK_XLOWER: vp().xlower = d; break;
    case TOK_XUPPER: vp().xupper = d; break;
    case TOK_YLOWER: vp().ylower = d; break;
    default: vp().yupper = d; break;
    }
    return KEY_OK;
}

// The switches that set or clear port flags.
static int set_plot_port_flag(const Token* v, int key) {
    static const struct { int key; uint32_t bits; } kBits[] = {
        {TOK_AUTOPLOT, PF_AUTOPLOT},
        {TOK_AUTOPLOTX, PF_AUTOPLOT | PF_AUTOPLOTX},
        {TOK_AUTOPLOTY, PF_AUTOPLOT | PF_AUTOPLOTY},
        {TOK_LINEPLOT, PF_LINEPLOT},
        {TOK_AUTOREFRESH, PF_AUTOREFRESHX | PF_AUTOREFRESHY},
        {TOK_AUTOREFRESHX, PF_AUTOREFRESHX},
        {TOK_AUTOREFRESHY, PF_AUTOREFRESHY},
    };
    static_assert(std::size(kBits) == 7);
    for (const auto& b : kBits)
        if (b.key == key) return put_switch(v, &vp().port_flags, b.bits);
    return KEY_REFUSED;
}

static int set_plot_option(const Token* v, int key) {
    uint32_t bit = key == TOK_FORWARDPLOT ? PL_FORWARD : key == TOK_BACKWARDPLOT ? PL_BACKWARD : key == TOK_BORDER ? PL_BORDER : PL_GRID;
    return put_switch(v, &vp().plot_flags, bit);
}

static int set_maxpoints(const Token* v, int) { return put_u32(v, &vp().maxpoints); }

static int set_plot_colour(const Token* v, int key) {
    switch (key) {
    case TOK_BORDERCOLOR: return put_colour(v, &vp().plot_bordercolor);
    case TOK_BACKGROUNDCOLOR: return put_colour(v, &vp().plot_backgroundcolor);
    case TOK_TITLECOLOR: return put_colour(v, &vp().plot_titlecolor);
    case TOK_PLOTCOLOR: return put_colour(v, &vp().plotcolor);
    case TOK_GRIDCOLOR: return put_colour(v, &vp().gridcolor);
    case TOK_AXISCOLOR: return put_colour(v, &vp().axiscolor);
    default: return put_colour(v, &vp().axislabelcolor);
    }
}

static void plot_begin() { vp().port_flags |= PF_PLOT; }

static bool plot_fail(const char* fmt, int limit = 0) {
    cmp_error(fmt, limit);
    vp().port_flags &= ~PF_PLOT;
    return false;
}

// An auto axis spans zero: its lower limit at or below it, its upper at or
// above it.
static void auto_axis(double* lower, double* upper) {
    if (*lower > 0) *lower = -*lower;
    if (*upper < 0) *upper = -*upper;
}

// One axis's limits: false when they are equal (nothing can be drawn).
static bool axis_ordered(double* lower, double* upper, const char* equal, const char* swapped) {
    if (*lower == *upper) return plot_fail(equal);
    if (*lower > *upper) {
        cmp_warning(swapped, nullptr);
        double t = *lower;
        *lower = *upper;
        *upper = t;
    }
    return true;
}

static bool plot_limits_settled(uint32_t seen) {
    uint32_t f = vp().port_flags;
    if ((f & PF_AUTOPLOT) && !(f & (PF_AUTOPLOTX | PF_AUTOPLOTY))) f |= PF_AUTOPLOTX | PF_AUTOPLOTY;
    if ((f & (PF_AUTOPLOTX | PF_AUTOPLOTY)) && !(f & PF_AUTOPLOT)) f |= PF_AUTOPLOT;
    vp().port_flags = f;
    if ((seen & PK_LIMITS) != PK_LIMITS) return plot_fail("Missing X or Y upper or lower limit");
    double xl = vp().xlower, xu = vp().xupper, yl = vp().ylower, yu = vp().yupper;
    if (f & PF_AUTOPLOT) {
        if (f & PF_AUTOPLOTX) auto_axis(&xl, &xu);
        if (f & PF_AUTOPLOTY) auto_axis(&yl, &yu);
    }
    bool ok = axis_ordered(&xl, &xu, "x upper limit == x lower - not proceeding",
                           "x upper limit < x lower - swapping limits") &&
              axis_ordered(&yl, &yu, "y upper limit == y lower - not proceeding",
                           "y upper limit < y lower - swapping limits");
    vp().xlower = xl;
    vp().xupper = xu;
    vp().ylower = yl;
    vp().yupper = yu;
    return ok;
}

static bool plot_frame_settled(uint32_t seen) {
    if (!(seen & PK_WIDTH)) vp().plot_width = 38;
    if (!(seen & PK_HEIGHT)) vp().plot_height = 11;
    if (!(seen & PK_ROW)) return plot_fail("Plotport row not found");
    if (vp().plot_row < 1 || vp().plot_row > 80) return plot_fail("Plotport row outside limits (1 <= row <= %hu)", 80);
    if (vp().plot_row < vp().plot_height) plot_fail("[plotport] top boundary outside limit\n(row - height >= 0 )");
    if (!(seen & PK_COLUMN)) return plot_fail("Plotport column not found");
    if (vp().plot_column < 1 || vp().plot_column > 200)
        return plot_fail("Plotport column outside limits (1 <= col <= %hu)", 200);
    if (vp().plot_column + vp().plot_width - 1 > 200)
        return plot_fail("Plotport rhs boundary outside limit\n(column+width-1 <= 160)");
    return true;
}

static void plot_defaults(uint32_t seen) {
    if (!(vp().port_flags & PF_LINEPLOT)) {
        if (vp().plot_flags & (PL_FORWARD | PL_BACKWARD)) {
            cmp_warning("Forward & backward plots are ignored if not a lineplot", nullptr);
            vp().plot_flags &= ~(PL_FORWARD | PL_BACKWARD);
        }
    } else if (!(vp().plot_flags & (PL_FORWARD | PL_BACKWARD))) {
        vp().plot_flags |= PL_FORWARD;
    }
    if (!(seen & PK_TITLECOLOR)) vp().plot_titlecolor = 15;
    if (!(seen & PK_PLOTCOLOR)) vp().plotcolor = 14;
    if (!(seen & PK_BORDER)) vp().plot_flags |= PL_BORDER;
    if (!(seen & PK_BORDERCOLOR)) vp().plot_bordercolor = 15;
    if (!(seen & PK_BACKGROUNDCOLOR)) vp().plot_backgroundcolor = 1;
    if (!(seen & PK_GRIDCOLOR)) vp().gridcolor = 7;
    if (!(seen & PK_AXISCOLOR)) vp().axiscolor = 0;
    if (!(seen & PK_AXISLABELCOLOR)) vp().axislabelcolor = 0;
}

// In order; an error that leaves nothing to check further ends the checks.
static void plot_end(uint32_t seen) {
    if (!seen && !block_second_mask()) {
        plot_fail("[plotport] specification block is empty");
        return;
    }
    if (!plot_limits_settled(seen) || !plot_frame_settled(seen)) return;
    plot_defaults(seen);
}

static const KeyRow kPlotPortKeys[] = {
    {TOK_ENABLE, PK_ENABLE, 0, set_plot_enable, nullptr},
    {TOK_ROW, PK_ROW, 0, set_plot_u16, nullptr},
    {TOK_COLUMN, PK_COLUMN, 0, set_plot_u16, nullptr},
    {TOK_WIDTH, PK_WIDTH, 0, set_plot_u16, nullptr},
    {TOK_HEIGHT, PK_HEIGHT, 0, set_plot_u16, nullptr},
    {TOK_XTITLE, PK_XTITLE, 0, set_plot_text, nullptr},
    {TOK_YTITLE, PK_YTITLE, 0, set_plot_text, nullptr},
    {TOK_TITLE, PK_TITLE, 0, set_plot_text, nullptr},
    {TOK_XLOWER, PK_XLOWER, 0, set_plot_limit, nullptr},
    {TOK_XUPPER, PK_XUPPER, 0, set_plot_limit, nullptr},
    {TOK_YLOWER, PK_YLOWER, 0, set_plot_limit, nullptr},
    {TOK_YUPPER, PK_YUPPER, 0, set_plot_limit, nullptr},
    {TOK_AUTOPLOT, PK_AUTOPLOT, 0, set_plot_port_flag, nullptr},
    {TOK_AUTOPLOTX, PK2_AUTOPLOTX, KEY_SECOND_MASK, set_plot_port_flag, nullptr},
    {TOK_AUTOPLOTY, PK2_AUTOPLOTY, KEY_SECOND_MASK, set_plot_port_flag, nullptr},
    {TOK_LINEPLOT, PK_LINEPLOT, 0, set_plot_port_flag, nullptr},
    {TOK_AUTOREFRESH, PK2_AUTOREFRESH, KEY_SECOND_MASK, set_plot_port_flag, nullptr},
    {TOK_AUTOREFRESHX, PK2_AUTOREFRESHX, KEY_SECOND_MASK, set_plot_port_flag, nullptr},
    {TOK_AUTOREFRESHY, PK2_AUTOREFRESHY, KEY_SECOND_MASK, set_plot_port_flag, nullptr},
    {TOK_FORWARDPLOT, PK_FORWARD, 0, set_plot_option, nullptr},
    {TOK_BACKWARDPLOT, PK_BACKWARD, 0, set_plot_option, nullptr},
    {TOK_BORDER, PK_BORDER, 0, set_plot_option, nullptr},
    {TOK_PLOTGRID, PK_GRID, 0, set_plot_option, nullptr},
    {TOK_MAXPOINTS, PK2_MAXPOINTS, KEY_SECOND_MASK, set_maxpoints, nullptr},
    {TOK_BORDERCOLOR, PK_BORDERCOLOR, 0, set_plot_colour, nullptr},
    {TOK_BACKGROUNDCOLOR, PK_BACKGROUNDCOLOR, 0, set_plot_colour, nullptr},
    {TOK_TITLECOLOR, PK_TITLECOLOR, 0, set_plot_colour, nullptr},
    {TOK_PLOTCOLOR, PK_PLOTCOLOR, 0, set_plot_colour, nullptr},
    {TOK_GRIDCOLOR, PK_GRIDCOLOR, 0, set_plot_colour, nullptr},
    {TOK_AXISCOLOR, PK_AXISCOLOR, 0, set_plot_colour, nullptr},
    {TOK_AXISLABELCOLOR, PK_AXISLABELCOLOR, 0, set_plot_colour, nullptr},
};
static_assert(std::size(kPlotPortKeys) == 31);
const BlockKind kPlotPortBlock = {TOK_PLOTPORT, kPlotPortKeys, 31, plot_begin, plot_end};
