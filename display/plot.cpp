// Plot ports: the descriptor built from the port record, the circular
// history and its range rules, drawing the new points, the autoplot that
// follows the data, and the error path that takes a broken plot off the
// page.
#include "display/plot.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "core/page.h"
#include "display/grid.h"
#include "display/switches.h"
#include "display/vport.h"
#include "engine/cycle.h"
#include "engine/evaluate.h"
#include "engine/port.h"
#include "platform/ui.h"

static PlotDesc* g_plots[MAXZYRPORTS];
// Y ports whose plot took the error path: the pair leaves the page once the
// evaluation run that met the error is over.
static int g_broken[MAXZYRPORTS];
static int g_broken_count;

// The defaults of a [plotport] block, for colours a record leaves out of range.
static int colour_or(uint16_t c, int fallback) { return c < 18 ? c : fallback; }

static char* copy_title(const char* s, size_t field) {
    size_t n = strnlen(s, field);
    if (n > 80) n = 80;
    if (n == 0) return nullptr;
    char* p = (char*)QOBmalloc(n + 1);
    if (!p) return nullptr;
    memcpy(p, s, n);
    p[n] = 0;
    return p;
}

// The pixel frame from the text cells: rows row - height + 1 to row,
// columns column to column + width - 1.
static void pixel_frame(PlotDesc* d) {
    d->left = (d->col - 1) * grid.cell_w;
    d->top = (d->row - d->height) * grid.cell_h;
    d->right = d->left + d->width * grid.cell_w - 1;
    d->bottom = d->row * grid.cell_h - 1;
}

static void set_axis(PlotAxis* a, double lo, double hi, bool automatic) {
    a->user_lo = lo;
    a->user_hi = hi;
    a->off_lo = automatic ? lo : 0.0;
    a->off_hi = automatic ? hi : 0.0;
}

PlotDesc* plot_create(const PortRecord* r) {
    PlotDesc* d = (PlotDesc*)QOBmalloc(sizeof(PlotDesc));
    if (!d) {
        debug_printf("!! plot_create() no memory for %s !!", r->mnemonic);
        return nullptr;
    }
    memset(d, 0, sizeof *d);
    // A plot keeps at least the point being shown.
    d->maxpoints = r->maxpoints == 0 ? 1 : r->maxpoints > PLOT_MAX_POINTS ? PLOT_MAX_POINTS : r->maxpoints;
    d->xs = (float*)QOBmalloc(d->maxpoints * sizeof(float));
    d->ys = (float*)QOBmalloc(d->maxpoints * sizeof(float));
    d->title = copy_title(r->plot_title, sizeof r->plot_title);
    d->xtitle = copy_title(r->xtitle, sizeof r->xtitle);
    d->ytitle = copy_title(r->ytitle, sizeof r->ytitle);
    if (!d->xs || !d->ys) {
        debug_printf("!! plot_create() no memory for %u points of %s !!", (unsigned)d->maxpoints, r->mnemonic);
        DeletePPort(d);
        return nullptr;
    }
    d->prev_slot = -1;
    d->index = -1;
    d->row = r->plot_row < 1 ? 1 : r->plot_row;
    d->col = r->plot_column < 1 ? 1 : r->plot_column;
    d->width = r->plot_width < 1 ? 1 : r->plot_width;
    d->height = r->plot_height < 1 ? 1 : r->plot_height;
    pixel_frame(d);
    d->bg = colour_or(r->plot_backgroundcolor, 1);
    d->title_colour = colour_or(r->plot_titlecolor, 15);
    d->border_colour = colour_or(r->plot_bordercolor, 15);
    d->plot_colour = colour_or(r->plotcolor, 14);
    d->axis_colour = colour_or(r->axiscolor, 0);
    d->label_colour = colour_or(r->axislabelcolor, 0);
    d->grid_colour = colour_or(r->gridcolor, 7);
    d->flags = r->plot_flags & (PL_BORDER | PL_GRID | PL_FORWARD | PL_BACKWARD);
    d->port_flags = r->port_flags & (PF_LINEPLOT | PF_AUTOPLOT | PF_AUTOPLOTX | PF_AUTOPLOTY | PF_AUTOREFRESHX |
                                     PF_AUTOREFRESHY);
    bool automatic = d->port_flags & PF_AUTOPLOT;
    set_axis(&d->x, r->xlower, r->xupper, automatic && (d->port_flags & PF_AUTOPLOTX));
    set_axis(&d->y, r->ylower, r->yupper, automatic && (d->port_flags & PF_AUTOPLOTY));
    // An invalid range shows when the plot is first drawn.
    FixPlotParms(d);
    return d;
}

// The frame in the window background, as the page shows without the plot.
static void erase_plot(const PlotDesc* d) {
    if (!grid.draw_begun && !grid.paint_begun) return;
    plot_fill(d, d->left, d->top, d->right - d->left + 1, d->bottom - d->top + 1, grid.win_bg, true);
    canvas_step_end();
}

// The histories, the titles and the descriptor back to the pool: 0 or -1.
static int free_plot(PlotDesc* d) {
    int rc = 0;
    void* blocks[] = {d->xs, d->ys, d->title, d->xtitle, d->ytitle};
    for (void* b : blocks)
        if (b && QOBfree(b) != 0) rc = -1;
    if (QOBfree(d) != 0) rc = -1;
    return rc;
}

int DeletePPort(PlotDesc* d) {
    if (!d) return 0;
    erase_plot(d);
    int rc = free_plot(d);
    if (rc) debug_err_line("DeletePPort", 29);
    return rc;
}

// ---- the history ----------------------------------------------------------------

static void empty_history(PlotDesc* d) {
    d->read = d->write = d->undrawn = 0;
    d->wrapped = false;
    d->prev_slot = -1;
}

// Every stored point is drawn again, oldest first, after the plot was
// drawn anew.
static void redraw_history(PlotDesc* d) {
    d->read = d->wrapped ? d->write : 0;
    d->undrawn = d->wrapped ? d->maxpoints : d->write;
    d->prev_slot = -1;
}

// One axis's range rule: 0 the value (clamped when out of range), 1 drop
// the point, 2 refresh the plot.
static int range_rule(PlotDesc* d, const PlotAxis& a, uint32_t refresh_flag, double* v) {
    if (!(*v > a.inner_hi || *v < a.lo)) return 0;
    if (d->port_flags & refresh_flag) return d->refreshed ? 1 : 2;
    *v = *v > a.inner_hi ? a.inner_hi : a.lo;
    return 0;
}

int plot_add_point(PlotDesc* d, double x, double y) {
    // A value that is not a number, or an infinite one, has no place on an
    // axis and would move an autoplot's axes to nowhere.
    if (!std::isfinite(x) || !std::isfinite(y)) return -1;
    bool pending_auto = (d->port_flags & PF_AUTOPLOT) && !d->drawn;
    if (!pending_auto) {
        if (!(d->flags & PLOT_SCALED)) return 1;
        int rx = range_rule(d, d->x, PF_AUTOREFRESHX, &x);
        int ry = rx ? rx : range_rule(d, d->y, PF_AUTOREFRESHY, &y);
        if (ry == 2) {
            plot_refresh(d);
            return 2;
        }
        if (ry == 1) return 1;
        d->refreshed = false;
        if ((d->write > 0 || d->wrapped) && std::fabs(x - d->last_x) < d->x.half_pixel &&
            std::fabs(y - d->last_y) < d->y.half_pixel)
            return 1;
    }
    // Every slot holds a point not drawn yet: storing would lose one.
    if (d->undrawn >= d->maxpoints) return 1;
    d->xs[d->write] = (float)x;
    d->ys[d->write] = (float)y;
    d->last_x = (float)x;
    d->last_y = (float)y;
    if (++d->write >= d->maxpoints) {
        d->write = 0;
        d->wrapped = true;
    }
    d->undrawn++;
    return 0;
}

// Drawing the plot on request: an autoplot is only marked for the redraw
// around its next point; any other plot is drawn now and, on failure,
// marked for deletion.
static int request_draw(PlotDesc* d) {
    if (d->port_flags & PF_AUTOPLOT) {
        d->drawn = false;
        return 0;
    }
    int rc = DrawPPort(d);
    if (rc != 0) {
        zyr_err(21, 2, "DrawPPort>1", 23, 0, 0);
        d->flags |= PLOT_DROP;
    }
    return rc;
}

int plot_refresh(PlotDesc* d) {
    empty_history(d);
    d->refreshed = true;
    if (!grid.draw_begun && !grid.paint_begun) {
        canvas_invalidate();
        return 0;
    }
    return request_draw(d);
}

// ---- drawing the points ------------------------------------------------------------

static bool inside(const PlotAxis& a, double v) { return v >= a.lo && v <= a.hi; }

int PlotExec(PlotDesc* d) {
    if (d->flags & PLOT_HIDDEN) {
        d->read = d->write;
        d->undrawn = 0;
        return 0;
    }
    bool line = d->port_flags & PF_LINEPLOT;
    for (uint32_t n = 0; d->undrawn > 0 && n < d->maxpoints; n++) {
        if ((d->port_flags & PF_AUTOPLOT) && DrawAutoPPort(d) != 0) return -2;
        int slot = (int)d->read;
        double x = d->xs[slot], y = d->ys[slot];
        // Points of an autoplot from before its axes moved may lie outside;
        // they are not drawn, and a line does not join across them.
        if (inside(d->x, x) && inside(d->y, y)) {
            int px, py;
            plot_map(d, x, y, &px, &py);
            if (line && d->prev_slot >= 0) {
                int qx, qy;
                plot_map(d, d->xs[d->prev_slot], d->ys[d->prev_slot], &qx, &qy);
                plot_segment(d, qx, qy, px, py, d->plot_colour);
            } else {
                plot_pixel(d, px, py, d->plot_colour);
            }
            d->prev_slot = slot;
        } else {
            d->prev_slot = -1;
        }
        d->read = d->read + 1 >= d->maxpoints ? 0 : d->read + 1;
        d->undrawn--;
    }
    // One pen serves all the points of a pass.
    if (canvas_step_end() != 0) {
        zyr_err(21, 2, "PlotExec", 28, 0, 0);
        return -1;
    }
    return 0;
}

// The error path: the plot is taken off the page with its pair, and the
// operator is told how to get it back.
static void fatal_plot(PlotDesc* d, int code) {
    debug_printf("PLOTZYRV fatal_exit() %d", code);
    d->flags |= PLOT_DROP_PAIR | PLOT_HIDDEN;
}

static bool port_enabled(int index) {
    PortHead* p = page_port(index);
    return p && (p->port_flags & PF_ENABLE);
}

int DrawAutoPPort(PlotDesc* d) {
    if (d->index >= 0 && !port_enabled(d->index)) return -5;
    if (d->drawn) return 0;
    d->drawn = true;
    bool have = d->undrawn > 0;
    double x = have ? d->xs[d->read] : d->last_x, y = have ? d->ys[d->read] : d->last_y;
    if (d->port_flags & PF_AUTOPLOTX) {
        d->x.user_lo = x + d->x.off_lo;
        d->x.user_hi = x + d->x.off_hi;
    }
    if (d->port_flags & PF_AUTOPLOTY) {
        d->y.user_lo = y + d->y.off_lo;
        d->y.user_hi = y + d->y.off_hi;
    }
    int rc = FixPlotParms(d);
    if (rc != 0) {
        debug_printf("DrawAutoPPort() fail FixPlotParms() %d", rc);
        fatal_plot(d, -4);
        return -4;
    }
    rc = DrawPPort(d);
    if (rc != 0) {
        zyr_err(21, 2, "DrawAutoPPort>1", 29, 0, 0);
        fatal_plot(d, -2);
        return -2;
    }
    return 0;
}

// DrawPPort's full drawing (display/plotdraw.cpp) schedules the history.
void plot_drawn_anew(PlotDesc* d) { redraw_history(d); }

// ---- the page -----------------------------------------------------------------------

PlotDesc* plot_of(int index) { return (index >= 0 && index < MAXZYRPORTS) ? g_plots[index] : nullptr; }

void plot_set(int index, PlotDesc* d) {
    if (index < 0 || index >= MAXZYRPORTS) return;
    g_plots[index] = d;
    if (d) d->index = index;
}

static void drop_plot(int index) {
    PlotDesc* d = plot_of(index);
    if (!d) return;
    plot_set(index, nullptr);
    DeletePPort(d);
}

// What a failed drawing asked for, once the descriptor is no longer in use.
static void settle(int index) {
    PlotDesc* d = plot_of(index);
    if (!d) return;
    if (d->flags & PLOT_DROP_PAIR) {
        drop_plot(index);
        if (g_broken_count < MAXZYRPORTS) g_broken[g_broken_count++] = index;
        if (plat_nonblocking_box("Plot error, plot had to be deleted.\nReload page after pressing OK\nto regain plot.",
                                 "ZYR Plotting") != 0)
            debug_printf("!! Plot error box not shown: one is open !!");
    } else if (d->flags & PLOT_DROP) {
        drop_plot(index);
    }
}

static bool can_draw() { return grid.draw_begun || grid.paint_begun; }

void plot_port_point(ZyrPort* p, double x, double y) {
    PlotDesc* d = plot_of(p->index);
    if (!d) return;
    plot_add_point(d, x, y);
    if (d->undrawn && can_draw() && !(d->flags & (PLOT_DROP | PLOT_DROP_PAIR))) PlotExec(d);
    settle(p->index);
}

void plot_draw_index(int index) {
    PlotDesc* d = plot_of(index);
    if (!d || (d->flags & PLOT_HIDDEN)) return;
    if (request_draw(d) == 0 && !(d->port_flags & PF_AUTOPLOT)) PlotExec(d);
    settle(index);
}

void plot_clear_all() {
    for (PlotDesc* d : g_plots) {
        if (!d) continue;
        empty_history(d);
        d->refreshed = false;
        d->drawn = false;
    }
    canvas_invalidate();
}

bool plot_hit(int index, int col, int row, int w, int h) {
    const PlotDesc* d = plot_of(index);
    if (!d) return false;
    int top = d->row - d->height + 1, right = d->col + d->width - 1;
    return col <= right && col + w - 1 >= d->col && row <= d->row && row + h - 1 >= top;
}

void plot_stage_done() {
    if (!g_broken_count) return;
    for (int k = 0; k < g_broken_count; k++) {
        int i = g_broken[k];
        PortHead* y = page_port(i);
        if (!y || !(y->port_flags & PF_PLOT)) continue;
        PortHead* x = page_port(i - 1);
        page_delete_port(i);
        if (x && (x->flags & RT_XPORT)) page_delete_port(i - 1);
    }
    g_broken_count = 0;
    canvas_invalidate();
}

// The task monitor's look at the plot pairs of the table: an X port must be
// followed by its plot port and a plot port preceded by its X port. Each
// broken part leaves the page; the code of the last fault found, or 0.
static bool opens_pair(const PortHead* p) { return p && (p->flags & RT_XPORT); }
static bool closes_pair(const PortHead* p) { return p && (p->port_flags & PF_PLOT); }

static int pair_fault(int i) {
    PortHead* p = page_port(i);
    if (opens_pair(p)) {
        PortHead* next = i + 1 < pages.next_index ? page_port(i + 1) : nullptr;
        if (!next) return 4;
        if (!closes_pair(next)) return 3;
    }
    if (closes_pair(p)) {
        if (i == 0) return 7;
        PortHead* prev = page_port(i - 1);
        if (!prev) return 6;
        if (!opens_pair(prev)) return 5;
    }
    return 0;
}

int plot_pair_check() {
    int result = 0;
    for (int i = 0; i < pages.next_index; i++) {
        int fault = pair_fault(i);
        if (!fault) continue;
        result = fault;
        page_delete_port(i);
    }
    if (result) canvas_invalidate();
    return result;
}

void plot_port_created(ZyrPort* p) {
    drop_plot(p->index);
    if (!(p->h.port_flags & PF_PLOT)) return;
    plot_set(p->index, plot_create(p->h.rec));
}

void plot_port_deleted(int index) { drop_plot(index); }

void plot_register() {
    eval_draw.plot_point = plot_port_point;
    eval_draw.stage_done = plot_stage_done;
    vport_hooks.draw_plot = plot_draw_index;
    vport_hooks.plot_hit = plot_hit;
    switch_hooks.clear_plots = plot_clear_all;
    cycle_hooks.plot_pair_check = plot_pair_check;
}

void plot_reset() {
    // The window may be gone: nothing is erased.
    for (PlotDesc*& d : g_plots) {
        if (d) free_plot(d);
        d = nullptr;
    }
    g_broken_count = 0;
}
