// The text grid and the paint guards. Every character goes through
// text_out, which keeps the shadow screen and maps the grid onto the
// visible window.
#include "display/grid.h"

#include <cstdio>
#include <cstring>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"

GridState grid;

static const PlatRgb kPaletteStart[PALETTE_SIZE] = {
    {0, 0, 0},       {0, 0, 127},     {0, 127, 0},     {0, 127, 127},   {127, 0, 0},     {127, 0, 127},
    {127, 127, 0},   {192, 192, 192}, {64, 64, 64},    {0, 0, 255},     {0, 255, 0},     {0, 255, 255},
    {255, 0, 0},     {255, 0, 255},   {255, 255, 0},   {255, 255, 255}, {255, 255, 255}, {0, 0, 0},
};
PlatRgb palette[PALETTE_SIZE];

static void grid_start_state() {
    if (grid.shadow) QOBfree(grid.shadow);
    memset(&grid, 0, sizeof grid);
    grid.first_row = grid.first_col = 1;
    grid.win_bg = 15;
    grid.win_fg = 0;
    memcpy(palette, kPaletteStart, sizeof palette);
}

void grid_reset() { grid_start_state(); }

static struct GridInit {
    GridInit() { grid_start_state(); }
} g_grid_init;

PlatRgb palette_colour(int index) { return palette[(index >= 0 && index < PALETTE_SIZE) ? index : 0]; }

void grid_init(int frame_w, int frame_h) {
    int sw, sh;
    canvas_cell_size(&grid.cell_w, &grid.cell_h);
    canvas_screen_size(&sw, &sh);
    grid.cols = (sw - frame_w) / grid.cell_w;
    grid.rows = (sh - frame_h) / grid.cell_h;
    if (grid.rows >= 3) grid.rows -= 2;
    if (grid.cols > GRID_MAX_COLUMN) grid.cols = GRID_MAX_COLUMN;
    if (grid.cols < 1) grid.cols = 1;
    if (grid.rows < 1) grid.rows = 1;
    grid.vis_rows = grid.rows;
    grid.vis_cols = grid.cols;
}

int grid_alloc_shadow() {
    if (grid.shadow) return 0;
    size_t line = (size_t)grid.cols + 1;
    grid.shadow = (char*)qob_checked_malloc((size_t)grid.rows * line);
    if (!grid.shadow) return -1;
    for (int r = 0; r < grid.rows; r++) {
        memset(grid.shadow + r * line, ' ', (size_t)grid.cols);
        grid.shadow[r * line + grid.cols] = 0;
    }
    return 0;
}

void grid_free_shadow() {
    QOBfree(grid.shadow);
    grid.shadow = nullptr;
}

const char* grid_shadow_line(int row) {
    if (!grid.shadow || row < 1 || row > grid.rows) return "";
    return grid.shadow + (size_t)(row - 1) * ((size_t)grid.cols + 1);
}

int _setvideomoderows(int rows, int cols) {
    if (rows < GRID_MIN_ROWS) rows = GRID_MIN_ROWS;
    if (rows > grid.rows) rows = grid.rows;
    if (cols < GRID_MIN_COLS) cols = GRID_MIN_COLS;
    if (cols > grid.cols) cols = grid.cols;
    if (rows < 1 || cols < 1) {
        debug_err_line("_setvideomoderows", 8);
        return -1;
    }
    grid.vis_rows = rows;
    grid.vis_cols = cols;
    canvas_set_size(cols * grid.cell_w, rows * grid.cell_h);
    return 0;
}

// The window never scrolls past the last row or column of the grid.
void grid_scroll_to(int first_row, int first_col) {
    int last_row = grid.rows - grid.vis_rows + 1, last_col = grid.cols - grid.vis_cols + 1;
    grid.first_row = first_row > last_row ? last_row : first_row;
    grid.first_col = first_col > last_col ? last_col : first_col;
    if (grid.first_row < 1) grid.first_row = 1;
    if (grid.first_col < 1) grid.first_col = 1;
}

void text_out(int row, int col, int bg, int fg, const char* text) {
    if (row < 1 || row > grid.rows || col < 1 || col > grid.cols) return;
    int len = (int)strlen(text);
    if (col + len - 1 > grid.cols) len = grid.cols - col + 1;
    if (len <= 0) return;
    if (grid.shadow) memcpy(grid.shadow + (size_t)(row - 1) * ((size_t)grid.cols + 1) + col - 1, text, (size_t)len);
    int vr = row - grid.first_row + 1, vc = col - grid.first_col + 1;
    if (vr < 1 || vr > grid.vis_rows || vc + len - 1 < 1 || vc > grid.vis_cols) return;
    if (grid.video_flags & VIDEO_MONO) {
        bool inverse = grid.video_flags & VIDEO_INVERSE;
        bg = inverse ? grid.win_fg : grid.win_bg;
        fg = inverse ? grid.win_bg : grid.win_fg;
    }
    canvas_text((vc - 1) * grid.cell_w, (vr - 1) * grid.cell_h, palette_colour(bg), palette_colour(fg), text, len);
}

void grid_clear() {
    char blanks[GRID_CLEAR_WIDTH + 1];
    memset(blanks, ' ', GRID_CLEAR_WIDTH);
    blanks[GRID_CLEAR_WIDTH] = 0;
    for (int r = 1; r <= grid.rows; r++) text_out(r, 1, grid.win_bg, grid.win_fg, blanks);
}

void grid_apply_display(uint32_t video_flags, int back, int fore) {
    grid.video_flags |= video_flags;
    if (back >= 0 && back < PALETTE_SIZE) grid.win_bg = back;
    if (fore >= 0 && fore < PALETTE_SIZE) grid.win_fg = fore;
    palette[COLOUR_MONOFOREGROUND] = palette_colour(grid.win_fg);
    palette[COLOUR_MONOBACKGROUND] = palette_colour(grid.win_bg);
}

// ---- paint guards ---------------------------------------------------------------

int QOB_BEGIN_DRAW(int message) {
    if (grid.paint_begun) {
        debug_printf("QOB_BEGIN_DRAW called when paint_begun == TRUE msg %08lx", (unsigned long)message);
        return 0;
    }
    if (grid.draw_begun) {
        if (message == grid.draw_msg) {
            debug_printf("QOB_BEGIN_DRAW called twice - same msg %08lx", (unsigned long)message);
            return 0;
        }
        debug_printf("QOB_BEGIN_DRAW called twice - different msg old %08lx new %08lx", (unsigned long)grid.draw_msg,
                     (unsigned long)message);
    }
    if (canvas_begin() != 0) {
        debug_printf("QOB_BEGIN_DRAW no-1 %d GetDC() fail msg %08lx", (int)grid.draw_count, (unsigned long)message);
        return -6;
    }
    grid.draw_begun = true;
    grid.draw_msg = message;
    grid.draw_count++;
    return 0;
}

void QOB_END_DRAW() {
    if (!grid.draw_begun) return;
    canvas_end();
    canvas_update();
    grid.draw_begun = false;
}

int begin_paint() {
    if (canvas_begin() != 0) return -6;
    grid.paint_begun = true;
    return 0;
}

void end_paint() {
    if (!grid.paint_begun) return;
    canvas_end();
    grid.paint_begun = false;
}

// ---- window placement file -----------------------------------------------------

int read_video_cfg() {
    VideoPlacement p{1, 1, grid.rows, grid.cols};
    int slot = zyr_fopen("zyrvid.cfg", "r", 0);
    if (slot >= 0) {
        VideoPlacement f;
        if (zyr_fread(&f, sizeof f, 1, slot) == (int)sizeof f) p = f;
        zyr_fclose(slot);
    }
    if (p.height > grid.rows || p.height < 1) p.height = grid.rows;
    if (p.width > grid.cols || p.width < 1) p.width = grid.cols;
    grid.place = p;
    _setvideomoderows(p.height, p.width);
    return grid_alloc_shadow();
}

int write_video_cfg() {
    grid_free_shadow();
    int slot = zyr_fopen("zyrvid.cfg", "w", 0);
    if (slot < 0) return -1;
    zyr_fwrite(&grid.place, sizeof grid.place, 1, slot);
    return zyr_fclose(slot);
}
