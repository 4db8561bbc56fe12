// Test view of the fake canvas: the characters and colours written at each
// cell, and the pixels set by lines and points.
#pragma once

#include <string>

#include "platform/canvas.h"

constexpr int FAKE_CELL_W = 8;
constexpr int FAKE_CELL_H = 16;
constexpr int FAKE_COLS = 240;
constexpr int FAKE_ROWS = 80;
// The pixel buffer that lines, points and fills write.
constexpr int FAKE_PIXELS_W = FAKE_COLS * FAKE_CELL_W / 4;
constexpr int FAKE_PIXELS_H = FAKE_ROWS * FAKE_CELL_H;

void fake_canvas_reset();
void fake_canvas_set_screen(int w, int h);
// The text on visible row r (0-based) from column c, n characters.
std::string fake_canvas_text(int r, int c, int n);
PlatRgb fake_canvas_bg(int r, int c);
PlatRgb fake_canvas_fg(int r, int c);
PlatRgb fake_canvas_pixel(int x, int y);
int fake_canvas_draws();        // canvas_text calls so far
bool fake_canvas_open();        // between begin and end
void fake_canvas_fail_begin(bool fail);
int fake_canvas_invalidations();   // full repaints asked for
// The nth pen or brush made from now cannot be made (0: none fails).
void fake_canvas_fail_object(int nth);
