// The drawing seam: the main window's page area as a pixel canvas with a
// fixed-pitch font. Drawing happens between canvas_begin and canvas_end;
// the Qt canvas draws into an off-screen image that the paint event copies,
// so drawing outside the paint message works. Text bytes are code page 437
// (the frame line characters 179, 191, 192, 196, 217, 218 included).
#pragma once

#include <cstdint>

struct PlatRgb {
    uint8_t r, g, b;
};

// Size of one character cell in pixels.
void canvas_cell_size(int* w, int* h);
// Pixels of the screen that a maximised window's client area can use.
void canvas_screen_size(int* w, int* h);

// Opens drawing on the canvas: 0, or -1 when there is no canvas.
int canvas_begin();
void canvas_end();

// The page area's size in pixels (the image grows to it).
void canvas_set_size(int w, int h);
// Asks for the window to show what was drawn.
void canvas_update();
// Asks for a full repaint: the program's paint procedure runs again.
void canvas_invalidate();

void canvas_text(int x, int y, PlatRgb bg, PlatRgb fg, const char* text, int len);
void canvas_fill(int x, int y, int w, int h, PlatRgb c);
void canvas_line(int x0, int y0, int x1, int y1, PlatRgb c);
void canvas_point(int x, int y, PlatRgb c);

// Ends one step of a drawing: the pen and the brush the canvas made for it
// (through the pool's counted functions) are deleted. 0, or the pool's code
// of the first pen or brush that could not be made or deleted since the
// last step ended.
int canvas_step_end();
