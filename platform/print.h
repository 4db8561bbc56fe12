// The printing seam: a capture of the page area's image and the printer.
// The platform only captures, asks and draws; what goes on a page and where
// is decided by the caller (display/print.cpp).
#pragma once

#include <cstdint>

// A captured image: w x h pixels, 3 bytes a pixel (red, green, blue), rows
// top-down without padding. Memory from the pool.
struct PlatImage {
    int w, h;
    uint8_t* rgb;
};

// Steps of the capture and the printer that can fail; the caller logs the
// step's text.
enum : int {
    CAPTURE_OK = 0,
    CAPTURE_NO_IMAGE = -1,      // no image of the page area to copy
    CAPTURE_NO_MEMORY = -2,
    CAPTURE_EMPTY = -3,         // the page area has no width or height
};
// Copies the page area's image as it is now: one frame, since drawing only
// happens on the window thread.
int canvas_capture(PlatImage* out);
void canvas_capture_free(PlatImage* img);

enum : int {
    PRINT_OK = 0,
    PRINT_CANCELLED = 1,        // the operator cancelled the printer dialog
    PRINT_START_DOC = -1,       // the printer could not be started
    PRINT_START_PAGE = -2,
    PRINT_END_PAGE = -3,
    PRINT_END_DOC = -4,
    PRINT_NO_RASTER = -5,       // the device cannot draw images
};
struct PrintPage {
    int w, h;                   // printable area in device units
    int line_h;                 // height of one text line
};
// Shows the printer dialog (one copy, no page range, no selection) and
// opens the document and its one page on the printer chosen.
int plat_print_begin(const char* document, PrintPage* page);
// Draws on the open page, in device units.
void plat_print_text(int x, int y, const char* text);
int plat_print_image(const PlatImage* img, int x, int y, int w, int h);
// Ends the page and the document.
int plat_print_end();
