// The print command: the page as text or as a picture, on the printer or in
// a file named after the page (SCRNnnnn.TXT, SCRNnnnn.BMP).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/print.h"

enum : uint8_t {
    PRINT_OPT_TEXT = 0x02,      // text, else graphics
    PRINT_OPT_FILE = 0x04,      // to a file, else the printer
    PRINT_OPT_VISIBLE = 0x08,   // the visible region, else the whole page
};

// Kept while the program runs.
struct PrintState {
    uint8_t options;
    double scale;               // 1.0 is 100 %
};
extern PrintState print_state;

void print_reset();
// Registers the command of File > Print... and Ctrl+P.
void print_register();
void print_command(int id);

// The scale of the "% Scale factor" entry: 0 to 100 gives value / 100,
// anything else (or no number) 1.0.
double print_scale_of(const char* entry);
// "SCRN%04d.TXT" or "SCRN%04d.BMP" of the page.
void print_file_name(int page, bool text, char* out, size_t cap);

// A region of the text grid: first row and column (1-based), its size.
struct PrintRegion {
    int row, col, rows, cols;
};
PrintRegion print_region(bool visible_only);
// The region's row i as it is printed: codes of 128 or more as blanks.
void print_row_text(const PrintRegion& r, int i, char* out, size_t cap);
// Writes the region as a text file (CR LF line ends): 0, or -1.
int print_text_file(const char* path, const PrintRegion& r);

// The Windows bitmap file of an image (24 bits, bottom-up rows padded to 4
// bytes): its size, and its bytes into out (bmp_size bytes).
size_t bmp_size(const PlatImage* img);
void bmp_encode(const PlatImage* img, uint8_t* out);
int bmp_write(const char* path, const PlatImage* img);   // 0, or -1

// Where an image goes on a printed page: fitted to the page, then scaled
// (a scale of 1.0 or more counts as 1.0), drawn at 5 % of the fitted size
// from the left and top with 90 % of it.
struct PrintPlace {
    int x, y, w, h;
};
PrintPlace print_image_place(int page_w, int page_h, int img_w, int img_h, double scale);
