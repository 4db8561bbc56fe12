// Drawing a plot: background, plot area and grid, both axes with ticks and
// labels, titles, the Y scale factor and the border, each step with its own
// pens and brushes. Everything is clipped to the plot's frame, so a plot
// larger than the page or partly off it never draws beside itself.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/diagnostics.h"
#include "core/pagefile.h"
#include "display/grid.h"
#include "display/plot.h"

// A rectangle in canvas pixels, inclusive.
struct Clip {
    int x0, y0, x1, y1;
    int ox, oy;   // grid pixel of the canvas origin (the scroll position)
};

static Clip clip_of(const PlotDesc* d) {
    Clip c;
    c.ox = (grid.first_col - 1) * grid.cell_w;
    c.oy = (grid.first_row - 1) * grid.cell_h;
    int gx1 = grid.cols * grid.cell_w - 1, gy1 = grid.rows * grid.cell_h - 1;
    int vx1 = grid.vis_cols * grid.cell_w - 1, vy1 = grid.vis_rows * grid.cell_h - 1;
    c.x0 = std::max(d->left, 0) - c.ox;
    c.y0 = std::max(d->top, 0) - c.oy;
    c.x1 = std::min(std::min(d->right, gx1) - c.ox, vx1);
    c.y1 = std::min(std::min(d->bottom, gy1) - c.oy, vy1);
    c.x0 = std::max(c.x0, 0);
    c.y0 = std::max(c.y0, 0);
    return c;
}

static bool empty(const Clip& c) { return c.x0 > c.x1 || c.y0 > c.y1; }

static PlatRgb colour_of(int colour, bool background) {
    if (grid.video_flags & VIDEO_MONO) {
        bool inverse = grid.video_flags & VIDEO_INVERSE;
        colour = (background != inverse) ? grid.win_bg : grid.win_fg;
    }
    return palette_colour(colour);
}

void plot_fill(const PlotDesc* d, int x, int y, int w, int h, int colour, bool background) {
    Clip c = clip_of(d);
    int x0 = std::max(x - c.ox, c.x0), y0 = std::max(y - c.oy, c.y0);
    int x1 = std::min(x + w - 1 - c.ox, c.x1), y1 = std::min(y + h - 1 - c.oy, c.y1);
    if (x0 > x1 || y0 > y1) return;
    canvas_fill(x0, y0, x1 - x0 + 1, y1 - y0 + 1, colour_of(colour, background));
}

void plot_pixel(const PlotDesc* d, int x, int y, int colour) {
    Clip c = clip_of(d);
    x -= c.ox;
    y -= c.oy;
    if (x < c.x0 || x > c.x1 || y < c.y0 || y > c.y1) return;
    canvas_point(x, y, colour_of(colour, false));
}

// Liang-Barsky: the part of the segment inside the clip, false for none.
static bool clip_segment(const Clip& c, double* x0, double* y0, double* x1, double* y1) {
    double dx = *x1 - *x0, dy = *y1 - *y0, t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {*x0 - c.x0, c.x1 - *x0, *y0 - c.y0, c.y1 - *y0};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0.0) {
            if (t > t1) return false;
            if (t > t0) t0 = t;
        } else {
            if (t < t0) return false;
            if (t < t1) t1 = t;
        }
    }
    double sx = *x0, sy = *y0;
    *x0 = sx + t0 * dx;
    *y0 = sy + t0 * dy;
    *x1 = sx + t1 * dx;
    *y1 = sy + t1 * dy;
    return true;
}

void plot_segment(const PlotDesc* d, int x0, int y0, int x1, int y1, int colour) {
    Clip c = clip_of(d);
    if (empty(c)) return;
    double ax = x0 - c.ox, ay = y0 - c.oy, bx = x1 - c.ox, by = y1 - c.oy;
    if (!clip_segment(c, &ax, &ay, &bx, &by)) return;
    canvas_line((int)std::lround(ax), (int)std::lround(ay), (int)std::lround(bx), (int)std::lround(by),
                colour_of(colour, false));
}

// Text at a grid pixel, on the plot's background: only the characters whose
// whole cell lies inside the clip are drawn.
static void plot_text(const PlotDesc* d, int x, int y, int colour, const char* text, int len) {
    Clip c = clip_of(d);
    x -= c.ox;
    y -= c.oy;
    if (y < c.y0 || y + grid.cell_h - 1 > c.y1) return;
    int first = 0;
    while (first < len && x + first * grid.cell_w < c.x0) first++;
    int last = len;
    while (last > first && x + last * grid.cell_w - 1 > c.x1) last--;
    if (last <= first) return;
    canvas_text(x + first * grid.cell_w, y, colour_of(d->bg, true), colour_of(colour, false), text + first,
                last - first);
}

// One character per text row downward.
static void plot_text_down(const PlotDesc* d, int x, int y, int colour, const char* text, int max_rows) {
    for (int i = 0; text[i] && i < max_rows; i++) plot_text(d, x, y + i * grid.cell_h, colour, text + i, 1);
}

// ---- the steps -----------------------------------------------------------------------

// The axis bounds in pixels.
struct AxisBox {
    int x0, x1;   // X lower, X upper
    int y0, y1;   // Y lower (bottom), Y upper (top)
};

static AxisBox axis_box(const PlotDesc* d) {
    AxisBox b;
    double fx0 = (d->x.lo - d->x.frame_lo) / (d->x.hi - d->x.frame_lo);
    double fy0 = (d->y.lo - d->y.frame_lo) / (d->y.hi - d->y.frame_lo);
    b.x0 = (int)(fx0 * (d->right - d->left) + d->left + 0.5);
    b.x1 = d->right;
    b.y0 = (int)((d->bottom - d->top) * (1.0 - fy0) + d->top + 0.5);
    b.y1 = d->top;
    return b;
}

static int x_pixel(const PlotDesc* d, double v) {
    return (int)((v - d->x.frame_lo) / (d->x.hi - d->x.frame_lo) * (d->right - d->left) + d->left + 0.5);
}

static int y_pixel(const PlotDesc* d, double v) {
    return (int)((d->bottom - d->top) * (1.0 - (v - d->y.frame_lo) / (d->y.hi - d->y.frame_lo)) + d->top + 0.5);
}

// The label positions of an axis: multiples of the step from lo to hi.
struct Ticks {
    double first, step;
    int count;
};

static Ticks ticks_of(const PlotAxis& a, int min_cells) {
    Ticks t;
    t.step = plot_label_step(a.decade, a.per_cell, min_cells);
    t.first = std::ceil(a.lo / t.step - 1e-9) * t.step;
    double n = std::floor((a.hi - t.first) / t.step + 1e-9) + 1;
    t.count = n < 0 ? 0 : n > 200 ? 200 : (int)n;
    return t;
}

static int step_background(const PlotDesc* d) {
    plot_fill(d, d->left, d->top, d->right - d->left + 1, d->bottom - d->top + 1, d->bg, true);
    return canvas_step_end() ? -11 : 0;
}

static int step_area(const PlotDesc* d, const AxisBox& b) {
    plot_fill(d, b.x0, b.y1, b.x1 - b.x0 + 1, b.y0 - b.y1 + 1, d->bg, true);
    if (d->flags & PL_GRID) {
        Ticks tx = ticks_of(d->x, 5), ty = ticks_of(d->y, 2);
        for (int k = 0; k < tx.count; k++) {
            int px = x_pixel(d, tx.first + k * tx.step);
            plot_segment(d, px, b.y0, px, b.y1, d->grid_colour);
        }
        for (int k = 0; k < ty.count; k++) {
            int py = y_pixel(d, ty.first + k * ty.step);
            plot_segment(d, b.x0, py, b.x1, py, d->grid_colour);
        }
    }
    if (canvas_step_end() != 0) {
        debug_err_line("DrawPPortBackGnd>1", 15);
        return -2;
    }
    return 0;
}

static int step_x_axis(const PlotDesc* d, const AxisBox& b) {
    plot_segment(d, b.x0, b.y0, b.x1, b.y0, d->axis_colour);
    Ticks t = ticks_of(d->x, 5);
    for (int k = 0; k < t.count; k++) {
        double v = t.first + k * t.step;
        int px = x_pixel(d, v);
        plot_segment(d, px, b.y0, px, b.y0 + 3, d->axis_colour);
        char text[16];
        plot_label_text(v, d->x.decade, text);
        int len = (int)strlen(text);
        plot_text(d, px - len * grid.cell_w / 2, b.y0 + 2, d->label_colour, text, len);
    }
    return canvas_step_end() ? -9 : 0;
}

static int step_y_axis(const PlotDesc* d, const AxisBox& b) {
    plot_segment(d, b.x0, b.y0, b.x0, b.y1, d->axis_colour);
    Ticks t = ticks_of(d->y, 2);
    for (int k = 0; k < t.count; k++) {
        double v = t.first + k * t.step;
        int py = y_pixel(d, v);
        plot_segment(d, b.x0 - 3, py, b.x0, py, d->axis_colour);
        char text[16];
        plot_label_text(v, d->y.decade, text);
        int len = (int)strlen(text);
        plot_text(d, b.x0 - 3 - len * grid.cell_w, py - grid.cell_h / 2, d->label_colour, text, len);
    }
    return canvas_step_end() ? -10 : 0;
}

// A title centred between the X bounds, cut to their width.
static void centred_title(const PlotDesc* d, const AxisBox& b, int y, int colour, const char* title) {
    int room = (b.x1 - b.x0 + 1) / grid.cell_w, len = (int)strlen(title);
    if (len > room) len = room;
    if (len <= 0) return;
    int x = b.x0 + ((b.x1 - b.x0 + 1) - len * grid.cell_w) / 2;
    plot_text(d, x, y, colour, title, len);
}

static int step_title(const PlotDesc* d, const AxisBox& b) {
    if (d->title) centred_title(d, b, d->top + 1, d->title_colour, d->title);
    return canvas_step_end() ? -3 : 0;
}

static int step_x_title(const PlotDesc* d, const AxisBox& b) {
    if (d->xtitle) centred_title(d, b, d->bottom - grid.cell_h + 1, d->title_colour, d->xtitle);
    if (canvas_step_end() != 0) {
        debug_err_line("DrawPPortXTitle>1", 0);
        return -5;
    }
    return 0;
}

static int step_scale_factor(const PlotDesc* d, const AxisBox& b) {
    char text[16];
    plot_scale_text(d->y.decade, text);
    int rows = (b.y0 - b.y1) / grid.cell_h;
    plot_text_down(d, b.x0 - 5 * grid.cell_w - 2, b.y1 + grid.cell_h / 5, d->label_colour, text, rows);
    if (canvas_step_end() != 0) {
        debug_err_line("DrawPPortYsf>1", 32);
        return -8;
    }
    return 0;
}

static int step_y_title(const PlotDesc* d, const AxisBox& b) {
    if (d->ytitle) plot_text_down(d, d->left + 1, b.y1 + grid.cell_h, d->title_colour, d->ytitle, (b.y0 - b.y1) / grid.cell_h);
    if (canvas_step_end() != 0) {
        debug_err_line("DrawPPortYTitle>1", 0);
        return -6;
    }
    return 0;
}

static int step_border(const PlotDesc* d) {
    if (d->flags & PL_BORDER) {
        int c = d->border_colour;
        plot_segment(d, d->left, d->top, d->right, d->top, c);
        plot_segment(d, d->right, d->top, d->right, d->bottom, c);
        plot_segment(d, d->right, d->bottom, d->left, d->bottom, c);
        plot_segment(d, d->left, d->bottom, d->left, d->top, c);
    }
    return canvas_step_end() ? -4 : 0;
}

int DrawPPort(PlotDesc* d) {
    if (d->flags & PLOT_HIDDEN) return 0;
    if (!(d->flags & PLOT_SCALED)) {
        int rc = FixPlotParms(d);
        if (rc != 0) return rc;
    }
    AxisBox b = axis_box(d);
    int rc = step_background(d);
    if (!rc) rc = step_area(d, b);
    if (!rc) rc = step_x_axis(d, b);
    if (!rc) rc = step_y_axis(d, b);
    if (!rc) rc = step_title(d, b);
    if (!rc) rc = step_x_title(d, b);
    if (!rc) rc = step_scale_factor(d, b);
    if (!rc) rc = step_y_title(d, b);
    if (!rc) rc = step_border(d);
    if (!rc) plot_drawn_anew(d);
    return rc;
}
