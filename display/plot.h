// Plot ports: an X-Y graph of the value of a port against the value of the
// port before it, drawn inside the page area. One descriptor per plot port
// (kept by the table index of the Y port) holds the circular point history,
// the axis ranges and their scales, the pixel frame, titles and colours.
#pragma once

#include <cstdint>

struct PortRecord;
struct ZyrPort;

// Descriptor flags besides the PL_* plot flags of the port record.
enum : uint32_t {
    PLOT_HIDDEN = 0x10000000,   // nothing is drawn
    PLOT_SCALED = 0x20000000,   // the axes are computed
    PLOT_DROP = 0x40000000,     // a drawing failed: the plot is deleted
    PLOT_DROP_PAIR = 0x80000000,  // the error path: the plot port and its pair are deleted
};

// Longest history a plot keeps: a larger maxpoints is cut to it.
constexpr uint32_t PLOT_MAX_POINTS = 1u << 20;

// One axis: the bounds asked for, the rounded axis bounds and the scales.
struct PlotAxis {
    double user_lo, user_hi;    // bounds of the port record (moved by autoplot)
    double lo, hi;              // axis bounds after rounding
    double decade;              // power of ten: max(|lo|, |hi|) / decade in [10, 100)
    double per_cell;            // world units per text column (X) or row (Y)
    double frame_lo;            // world value at the frame's left (bottom) edge
    double per_pixel, half_pixel;
    double inner_lo, inner_hi;  // points are drawn inside these
    double off_lo, off_hi;      // autoplot: bounds relative to the current value
    int label_cells;            // text columns (X: rows) of labels outside the axis
};

struct PlotDesc {
    int index;                  // table index of the Y port, -1 none
    float* xs;                  // X and Y histories of maxpoints values (pool)
    float* ys;
    uint32_t maxpoints;
    uint32_t write;             // next slot to fill
    uint32_t read;              // next slot to draw
    uint32_t undrawn;           // points stored and not drawn yet
    bool wrapped;               // the write index wrapped at least once
    float last_x, last_y;       // the last point stored
    int prev_slot;              // slot of the last point drawn, -1 none (segments start there)
    PlotAxis x, y;
    int row, col, width, height;        // text cells: bottom row, left column, size
    int left, top, right, bottom;       // pixel frame on the grid (scrolling not applied)
    char* title;                // own copies (pool), null for none
    char* xtitle;
    char* ytitle;
    int bg, title_colour, border_colour, plot_colour, axis_colour, label_colour, grid_colour;
    uint32_t flags;             // PL_* and PLOT_*
    uint32_t port_flags;        // PF_LINEPLOT, PF_AUTOPLOT*, PF_AUTOREFRESH*
    bool drawn;                 // autoplot: drawn around the current point
    bool refreshed;             // emptied after leaving the range; no point since
};

// ---- scales (display/plotscale.cpp) ------------------------------------------

// The power of ten of a range (1.0 for an invalid one: upper not above lower).
double plot_decade(double lo, double hi);
// Rounds lo and hi outward to the first of the steps decade x 10, 5, 2, 1
// that widens the range by at most 10 % (the last step whatever it costs).
void plot_round_ticks(double decade, double* lo, double* hi);
// Exchanges reversed bounds, computes decades, widens a range of less than
// 5 decades, rounds to ticks, sets label margins and scales: 0, -3 invalid
// X range, -4 invalid Y range.
int FixPlotParms(PlotDesc* d);
// The pixel of a point on the grid (scrolling not applied).
void plot_map(const PlotDesc* d, double x, double y, int* px, int* py);
// The label step of an axis: decade x the first of 1, 2, 5 .. 100 that puts
// labels min_cells apart, per_cell the world units of a cell.
double plot_label_step(double decade, double per_cell, int min_cells);
// The text of a tick label at value v of an axis of that decade (16 bytes).
void plot_label_text(double v, double decade, char* out);
// The Y scale factor text ("" when none; 16 bytes).
void plot_scale_text(double decade, char* out);

// ---- the plot ----------------------------------------------------------------

// Builds the descriptor of a plot port from its record: null when memory
// runs out (a debug line says so).
PlotDesc* plot_create(const PortRecord* r);
// Erases the plot from the window when a drawing is open, then frees the
// histories, titles and descriptor: 0, or -1 after the error line.
int DeletePPort(PlotDesc* d);

// Stores a point by the range rules: 0 stored, 1 not stored (too close,
// dropped or held), 2 the plot was refreshed, -1 no value (NaN). The
// port flags decide autorefresh and autoplot.
int plot_add_point(PlotDesc* d, double x, double y);
// Empties the history and draws the plot again, empty: 0, or the drawing's code.
int plot_refresh(PlotDesc* d);
// Draws the points stored since the last call: 0, or a negative code.
int PlotExec(PlotDesc* d);
// Re-centres an autoplot on the current point and redraws it once: 0, -4
// invalid range, -2 drawing failed (both take the error path).
int DrawAutoPPort(PlotDesc* d);
// The whole plot without its points: 0, or the code of the failed step.
int DrawPPort(PlotDesc* d);

// ---- drawing (display/plotdraw.cpp) ---------------------------------------------

// Primitives in grid pixels, clipped to the plot's frame, the grid and the
// visible window; colours are palette indexes, replaced in monochrome mode
// by the window's (background ones by its background).
void plot_fill(const PlotDesc* d, int x, int y, int w, int h, int colour, bool background);
void plot_segment(const PlotDesc* d, int x0, int y0, int x1, int y1, int colour);
void plot_pixel(const PlotDesc* d, int x, int y, int colour);
// After the plot was drawn anew: its stored points are drawn again.
void plot_drawn_anew(PlotDesc* d);

// The plots of the table entries.
PlotDesc* plot_of(int index);
void plot_set(int index, PlotDesc* d);

// What the page does with plots: a new point from the evaluation, the page
// redraw, the Delete key and the playback start, the port under the mouse.
void plot_port_point(ZyrPort* p, double x, double y);
void plot_draw_index(int index);
void plot_clear_all();
bool plot_hit(int index, int col, int row, int w, int h);
// A port put on screen gets its plot when it is a plot port; a deleted
// port loses it.
void plot_port_created(ZyrPort* p);
void plot_port_deleted(int index);
// After an evaluation run: the pairs of plots broken by the error path are
// deleted from the page.
void plot_stage_done();

// Installs the plots into the evaluation, the page redraw and the switches.
// The task monitor's plot pair check: 0, or 3..7 for the last broken pair
// part found (each is deleted).
int plot_pair_check();
void plot_register();

void plot_reset();
