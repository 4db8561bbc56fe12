// The scales of a plot: decades, tick rounding, the label margins of the
// frame, the mapping of values to pixels and the texts of labels and of the
// Y scale factor.
#include <cmath>
#include <utility>
#include <cstdio>
#include <cstring>

#include "core/pagefile.h"
#include "display/plot.h"

// Rounding to a multiple of a step forgives the last bits of a quotient, so
// that 0.3 / 0.1 rounds up to 3 and not to 4.
constexpr double kStepSlack = 1e-9;

// True when the range can carry an axis: finite, upper above lower, and a
// decade that neither overflows nor underflows.
static bool decade_of(double lo, double hi, double* decade) {
    *decade = 1.0;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo) || !std::isfinite(hi - lo)) return false;
    double m = std::fmax(std::fabs(lo), std::fabs(hi)), d = 1.0;
    while (m < 10.0) {
        m *= 10.0;
        d *= 0.1;
    }
    while (m >= 100.0) {
        m *= 0.1;
        d *= 10.0;
    }
    if (!(d > 0.0) || !std::isfinite(d)) return false;
    *decade = d;
    return true;
}

double plot_decade(double lo, double hi) {
    double d;
    decade_of(lo, hi, &d);
    return d;
}

static double round_down(double v, double step) { return std::floor(v / step + kStepSlack) * step; }
static double round_up(double v, double step) { return std::ceil(v / step - kStepSlack) * step; }

void plot_round_ticks(double decade, double* lo, double* hi) {
    static const double kSteps[] = {10.0, 5.0, 2.0, 1.0};
    double range = *hi - *lo, rl = *lo, rh = *hi;
    for (double c : kSteps) {
        double step = decade * c;
        rl = round_down(*lo, step);
        rh = round_up(*hi, step);
        if (rh - rl <= range * 1.1 * (1.0 + 1e-12)) break;
    }
    *lo = rl;
    *hi = rh;
}

// A range narrower than 5 decades becomes 5 whole decades. A forward plot
// keeps its start and extends the end, a backward plot the other way; an
// axis without either grows on both sides.
static void widen(double decade, uint32_t flags, double* lo, double* hi) {
    if ((*hi - *lo) / decade >= 5.0) return;
    double dl = std::floor(*lo / decade + kStepSlack), dh = std::ceil(*hi / decade - kStepSlack);
    double spare = 5.0 - (dh - dl);
    if (spare <= 0.0) {
        // Whole decades around the range already span five.
    } else if (flags & PL_FORWARD) {
        dh += spare;
    } else if (flags & PL_BACKWARD) {
        dl -= spare;
    } else {
        double below = std::floor(spare / 2.0);
        dl -= below;
        dh += spare - below;
    }
    *lo = dl * decade;
    *hi = dh * decade;
}

// The frame's edge outside the axis by `cells` of the `total` cells, and
// the scales of the axis over `pixels`.
static void axis_scales(PlotAxis* a, int cells, int total, int pixels) {
    int axis_cells = total - cells < 1 ? 1 : total - cells;
    a->label_cells = cells;
    a->frame_lo = a->lo - cells * (a->hi - a->lo) / axis_cells;
    double frame_range = a->hi - a->frame_lo;
    a->per_cell = frame_range / (total < 1 ? 1 : total);
    a->per_pixel = frame_range / (pixels < 1 ? 1 : pixels);
    a->half_pixel = a->per_pixel * 0.5;
    a->inner_lo = a->lo + a->per_pixel;
    a->inner_hi = a->hi - a->per_pixel;
}

int FixPlotParms(PlotDesc* d) {
    PlotAxis* axes[2] = {&d->x, &d->y};
    d->flags &= ~PLOT_SCALED;
    for (PlotAxis* a : axes)
        if (a->user_hi < a->user_lo) std::swap(a->user_lo, a->user_hi);
    bool x_ok = decade_of(d->x.user_lo, d->x.user_hi, &d->x.decade);
    bool y_ok = decade_of(d->y.user_lo, d->y.user_hi, &d->y.decade);
    if (!x_ok) return -3;
    if (!y_ok) return -4;
    for (PlotAxis* a : axes) {
        a->lo = a->user_lo;
        a->hi = a->user_hi;
        widen(a->decade, a == &d->x ? d->flags : 0u, &a->lo, &a->hi);
        plot_round_ticks(a->decade, &a->lo, &a->hi);
    }
    d->flags |= PLOT_SCALED;
    int m = (d->y.decade == 0.1 || d->y.decade == 1.0) ? 5 : 6;
    if (d->ytitle) m++;
    int n = (d->x.decade * 10.0 == 1.0 && !d->xtitle) ? 1 : 2;
    axis_scales(&d->x, m, d->width, d->right - d->left);
    axis_scales(&d->y, n, d->height, d->bottom - d->top);
    return 0;
}

static double clamp(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }

void plot_map(const PlotDesc* d, double x, double y, int* px, int* py) {
    x = clamp(x, d->x.inner_lo, d->x.inner_hi);
    y = clamp(y, d->y.inner_lo, d->y.inner_hi);
    double fx = (x - d->x.frame_lo) / (d->x.hi - d->x.frame_lo);
    double fy = (y - d->y.frame_lo) / (d->y.hi - d->y.frame_lo);
    *px = (int)(fx * (d->right - d->left) + d->left + 0.5);
    *py = (int)((d->bottom - d->top) * (1.0 - fy) + d->top + 0.5);
}

double plot_label_step(double decade, double per_cell, int min_cells) {
    static const double kFactors[] = {1, 2, 5, 10, 20, 50, 100};
    for (double c : kFactors)
        if (decade * c >= per_cell * min_cells) return decade * c;
    return decade * 100;
}

void plot_label_text(double v, double decade, char* out) {
    double s = decade == 1.0 ? v : v * (0.1 / decade);
    // A tick at zero reached by adding steps is a few bits off it.
    if (std::fabs(s) < 1e-9) s = 0.0;
    const char* fmt = s < 0 ? (s > -10.0 ? "%4.1f" : "%3.0f") : (s >= 10.0 ? "%4.1f" : "%3.1f");
    snprintf(out, 16, fmt, s);
}

void plot_scale_text(double decade, char* out) {
    double s = decade == 1.0 ? 1.0 : decade * 10.0;
    out[0] = 0;
    if (s < 0.001 || s > 1000.0) {
        snprintf(out, 16, "x%6.0e", s);
    } else if (s >= 100.0) {
        snprintf(out, 16, "x%3.0f", s);
    } else if (s >= 10.0) {
        snprintf(out, 16, "x%2.0f", s);
    } else if (s < 1.0) {
        snprintf(out, 16, "x%5.3f", s);
        size_t n = strlen(out);
        while (n > 1 && out[n - 1] == '0') out[--n] = 0;
        if (out[n - 1] == '.') out[--n] = 0;
    }
}
