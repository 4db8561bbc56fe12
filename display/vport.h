// Value-port frames: the layout of a framed value on the text grid (title,
// label, value, units, border), drawing and erasing it, drawing a value in
// its display type, the page redraw and the search for the port under a
// rectangle of cells. One frame per displayed port, kept by table index.
#pragma once

#include <cstdint>

constexpr int VPORT_TEXT_MAX = 80;
constexpr int VPORT_FORMAT_MAX = 20;

enum : uint32_t { VF_BORDER = 0x1, VF_HIDDEN = 0x10000000 };

// Value display states set by the evaluation.
enum : int { VSTATE_NORMAL = 0, VSTATE_ALARM = 1 };

struct VPortFrame {
    uint32_t flags;               // VF_*
    char* title;                  // own copies (pool), null for none
    char* units;
    char* label;
    int left;                     // first column
    int bottom;                   // last row
    int width;                    // total width, border included
    int height;                   // rows, border included
    int value_width;              // display width of the format, at most 80
    int value_row;
    int first_value_col;
    int last_value_col;
    int bg, title_colour, value_colour, border_colour;
    char format[VPORT_FORMAT_MAX + 1];
    char value_text[VPORT_TEXT_MAX + 1];   // the last value drawn
    int state;                    // VSTATE_*
    bool alarm_phase;             // alternates while in alarm
    bool draw_disabled;           // drawenable off
    bool recording;               // hand each value drawn to the record files
};

// Layout of a new frame; null when memory runs out.
VPortFrame* vport_create_frame(int row, int col, const char* format, const char* units, const char* title,
                               const char* label, uint32_t flags);
// Frees the texts and the frame: 0, or the negated bit set of failures.
int FreeVPortMemory(VPortFrame* f);

void vport_draw_frame(const VPortFrame* f);
void vport_erase_frame(const VPortFrame* f);
void vport_move_frame(VPortFrame* f, int drow, int dcol);

// The value text of a value of display type `type` in a field of `width`
// (the display format for the printf types): out has room for 81 bytes.
void vport_value_text(const char* format, int type, int width, const void* value, char* out);
// Draws text into the frame's value field in its colours or alarm phase.
void vport_draw_value(VPortFrame* f, const char* text);

// The frames of the table entries.
VPortFrame* vport_frame(int index);
void vport_set_frame(int index, VPortFrame* f);

// Hooks: a frame flagged for recording hands each value drawn on; the
// port's plot is drawn after its frame by DrawAllVPPorts.
struct VPortHooks {
    void (*record_value)(int index, const char* text);
    void (*draw_plot)(int index);
    bool (*plot_hit)(int index, int col, int row, int w, int h);
};
extern VPortHooks vport_hooks;

// Redraws the whole page (only inside the paint message).
void DrawAllVPPorts(int message);

// The port under a rectangle of cells: its index, the negated index for a
// plot hit, or the next free index when nothing is there.
int vport_find_at(int col, int row, int w, int h);

void vport_reset();
