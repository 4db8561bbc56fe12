// The text grid of the page area: its size from the screen and the cell,
// the shadow screen that keeps every character written (for printing and
// screen capture), the visible window, the palette and monochrome mode, the
// single text primitive, the paint guards and the window placement file.
#pragma once

#include <cstdint>

#include "platform/canvas.h"

constexpr int GRID_MAX_COLUMN = 201;   // a frame ends at column 201 at most
constexpr int GRID_CLEAR_WIDTH = 200;  // blanks written to clear a row
constexpr int GRID_MIN_ROWS = 4;       // smallest visible window
constexpr int GRID_MIN_COLS = 20;
constexpr int PALETTE_SIZE = 18;

enum : int { COLOUR_MONOFOREGROUND = 16, COLOUR_MONOBACKGROUND = 17 };
enum : uint32_t { VIDEO_MONO = 0x1, VIDEO_INVERSE = 0x10 };

// Window messages the guards name in their debug lines.
enum : int { MSG_PAINT = 0xF, MSG_TIMER = 0x113 };

struct VideoPlacement {
    int32_t top;      // text rows
    int32_t left;     // text columns
    int32_t height;   // text rows
    int32_t width;    // text columns
};

struct GridState {
    int rows, cols;              // grid size
    int cell_w, cell_h;          // pixels
    char* shadow;                // rows x (cols + 1), one NUL-terminated line per row (pool)
    int first_row, first_col;    // first visible row and column
    int vis_rows, vis_cols;      // visible size
    int win_bg, win_fg;          // window colours
    uint32_t video_flags;        // VIDEO_*
    bool paint_begun;
    bool draw_begun;
    int draw_msg;                // message of the draw begun
    uint32_t draw_count;
    VideoPlacement place;        // zyrvid.cfg
};
extern GridState grid;

// The palette: sixteen fixed colours and the two monochrome entries.
extern PlatRgb palette[PALETTE_SIZE];
PlatRgb palette_colour(int index);

// Grid size from the screen (less the window frame) and the cell.
void grid_init(int frame_w, int frame_h);
int grid_alloc_shadow();       // 0 or -1
void grid_free_shadow();
// The shadow screen's text at (row, col), n characters ("" outside).
const char* grid_shadow_line(int row);

// Clamps and sets the visible size; 0, or -1 after the debug line.
int _setvideomoderows(int rows, int cols);
void grid_scroll_to(int first_row, int first_col);

// The one primitive through which all grid text is written.
void text_out(int row, int col, int bg, int fg, const char* text);
// Every row overwritten with 200 blanks in the window colours.
void grid_clear();

// Window colours and video flags of page 0 (-1: not given).
void grid_apply_display(uint32_t video_flags, int back, int fore);

// Paint guards. QOB_BEGIN_DRAW returns 0, or -6 when no context could be had.
int QOB_BEGIN_DRAW(int message);
void QOB_END_DRAW();
int begin_paint();
void end_paint();

// zyrvid.cfg: read at start (missing: row 1, column 1, the whole grid),
// written at exit.
int read_video_cfg();
int write_video_cfg();

void grid_reset();
