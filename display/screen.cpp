// The page area's life: created with the window, painted on request,
// released by the exit procedure.
#include "display/screen.h"

#include "core/diagnostics.h"
#include "core/state.h"
#include "core/page.h"
#include "display/grid.h"
#include "display/plot.h"
#include "display/ports.h"
#include "display/vport.h"
#include "engine/cycle.h"
#include "engine/startup.h"
#include "platform/ui.h"

// The scroll bars cover the grid rows and columns the window does not show.
void display_update_scroll_bars() {
    plat_set_scroll(SCROLL_VERTICAL, 1, grid.rows - grid.vis_rows + 1, grid.vis_rows / 2, grid.first_row);
    plat_set_scroll(SCROLL_HORIZONTAL, 1, grid.cols - grid.vis_cols + 1, grid.vis_cols / 2, grid.first_col);
}

int display_create() {
    grid_init(0, 0);
    int rc = read_video_cfg();
    // The placement file holds the position in whole cells from the screen's
    // corner; a negative one from a foreign file would put the window off
    // the screen.
    int left = grid.place.left < 0 ? 0 : grid.place.left;
    int top = grid.place.top < 0 ? 0 : grid.place.top;
    plat_place_window(left * grid.cell_w, top * grid.cell_h, grid.vis_cols * grid.cell_w,
                      grid.vis_rows * grid.cell_h);
    display_update_scroll_bars();
    return rc;
}

void display_sized(int w, int h, int kind) {
    static bool busy;  // a size message inside another is ignored
    if (busy || kind == SIZE_MINIMISED || grid.cell_w <= 0 || grid.cell_h <= 0) return;
    busy = true;
    int rows = kind == SIZE_MAXIMISED ? grid.rows : h / grid.cell_h;
    int cols = kind == SIZE_MAXIMISED ? grid.cols : w / grid.cell_w;
    if (kind == SIZE_MAXIMISED || rows != grid.vis_rows || cols != grid.vis_cols) {
        _setvideomoderows(rows, cols);
        grid.place.height = grid.vis_rows;
        grid.place.width = grid.vis_cols;
        grid_scroll_to(grid.first_row, grid.first_col);
        display_update_scroll_bars();
        canvas_invalidate();
    }
    busy = false;
}

void display_moved(int x, int y) {
    if (grid.cell_w <= 0 || grid.cell_h <= 0) return;
    grid.place.top = y / grid.cell_h;
    grid.place.left = x / grid.cell_w;
}

void display_scrolled(int bar, int pos) {
    if (bar == SCROLL_VERTICAL)
        grid_scroll_to(pos, grid.first_col);
    else
        grid_scroll_to(grid.first_row, pos);
    canvas_invalidate();
}

void display_release() {
    plot_reset();
    vport_reset();
    write_video_cfg();
}

void display_paint() {
    msg_enter(MSG_PAINT);
    zyr.work_mask |= WM_DISPLAY;
    if (begin_paint() != 0) {
        debug_printf("WM_PAINT - QOB_BEGIN_PAINT() call failed");
        msg_leave();
        return;
    }
    // A paint that arrives inside a tick (a box opened by the cycle runs a
    // nested event loop) must not run the display stage inside the stage
    // that opened the box: the window keeps what it shows, and the page is
    // drawn again once the tick has ended.
    if (startup.in_tick) {
        startup.repaint_after_tick = true;
    } else {
        DrawAllVPPorts(MSG_PAINT);
        if (cycle_hooks.display_stage) cycle_hooks.display_stage();
    }
    end_paint();
    msg_leave();
}

static int create_drawing() { return display_create(); }

void display_register() {
    display_ports_register();
    plot_register();
    page_hooks.repaint = canvas_invalidate;
    startup_hooks.create_drawing = create_drawing;
    startup_hooks.release_drawing = display_release;
    startup_hooks.begin_draw = QOB_BEGIN_DRAW;
    startup_hooks.end_draw = QOB_END_DRAW;
}
