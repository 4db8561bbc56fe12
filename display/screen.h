// vantor's page area: bringing the grid up with the window and down at
// exit, and the paint procedure that redraws the whole page.
#pragma once

// Measures the cell, sizes the grid, reads zyrvid.cfg and allocates the
// shadow screen: 0 or -1.
int display_create();
// Writes zyrvid.cfg, frees the shadow screen and every frame.
void display_release();
// The paint message: the display stage is on again, every frame is drawn
// and the display stage runs once.
void display_paint();

// The window paths: the page area resized (pixels, SIZE_*), the window
// moved (pixels), a scroll bar moved to a first visible row or column.
void display_sized(int w, int h, int kind);
void display_moved(int x, int y);
void display_scrolled(int bar, int pos);
// The scroll bars after the visible window moved.
void display_update_scroll_bars();

// Installs the above into vantor's start-up and shutdown.
void display_register();
