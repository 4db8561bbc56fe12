// The print command. The page area is drawn afresh and captured before the
// dialog opens, so the picture is one frame however the values change
// meanwhile; the text comes from the shadow screen of the text grid.
#include "display/print.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/page.h"
#include "display/commands.h"
#include "display/filecmds.h"
#include "display/grid.h"
#include "display/screen.h"
#include "display/steps.h"
#include "platform/ui.h"

PrintState print_state{0, 1.0};

static const char* const kDocument = "ZYR Print Screen";
static const char* const kTextFilter = "Text Files(*.TXT)|*.txt|All Files(*.*)|*.*|";
static const char* const kBitmapFilter = "Bitmap Files(*.BMP)|*.bmp|All Files(*.*)|*.*|";
constexpr int kHelpButton = 100;
constexpr int kScaleEntry = 80;
constexpr int kTextFileBuffer = 8192;

// The window's full redraw, run before the capture (null: the page area is
// captured as it stands).
static void (*g_redraw)();

void print_reset() {
    print_state = PrintState{0, 1.0};
    g_redraw = nullptr;
}

void print_register() {
    g_redraw = display_paint;
    command_register(CMD_PRINT, print_command);
}

// ---- the rules -----------------------------------------------------------------

double print_scale_of(const char* entry) {
    char* end = nullptr;
    double v = strtod(entry, &end);
    if (end == entry) return 1.0;
    while (*end == ' ' || *end == '\t') end++;
    if (*end || !std::isfinite(v) || v < 0.0 || v > 100.0) return 1.0;
    return v / 100.0;
}

void print_file_name(int page, bool text, char* out, size_t cap) {
    snprintf(out, cap, text ? "SCRN%04d.TXT" : "SCRN%04d.BMP", page);
}

PrintRegion print_region(bool visible_only) {
    if (visible_only) return PrintRegion{grid.first_row, grid.first_col, grid.vis_rows, grid.vis_cols};
    return PrintRegion{1, 1, grid.rows, grid.cols};
}

void print_row_text(const PrintRegion& r, int i, char* out, size_t cap) {
    const char* line = grid_shadow_line(r.row + i);
    size_t len = strlen(line);
    size_t n = 0;
    for (int c = 0; c < r.cols && n + 1 < cap; c++) {
        size_t at = (size_t)(r.col - 1 + c);
        unsigned char ch = at < len ? (unsigned char)line[at] : ' ';
        out[n++] = ch >= 128 ? ' ' : (char)ch;
    }
    out[n] = 0;
}

int print_text_file(const char* path, const PrintRegion& r) {
    int slot = zyr_fopen(path, "w", kTextFileBuffer);
    if (slot < 0) return -1;
    size_t cap = (size_t)(r.cols > 0 ? r.cols : 0) + 3;
    char* row = (char*)QOBmalloc(cap);
    int rc = row ? 0 : -1;
    for (int i = 0; rc == 0 && i < r.rows; i++) {
        print_row_text(r, i, row, cap);
        size_t n = strlen(row);
        memcpy(row + n, "\r\n", 2);
        if (zyr_fwrite(row, 1, n + 2, slot) != (int)(n + 2)) rc = -1;
    }
    if (row) QOBfree(row);
    if (zyr_fclose(slot) != 0) rc = -1;
    return rc;
}

// ---- the bitmap file -------------------------------------------------------------

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;

static size_t bmp_stride(const PlatImage* img) { return ((size_t)img->w * 3 + 3) & ~(size_t)3; }

size_t bmp_size(const PlatImage* img) { return kFileHeader + kInfoHeader + bmp_stride(img) * (size_t)img->h; }

static void put16(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

static void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

void bmp_encode(const PlatImage* img, uint8_t* out) {
    size_t stride = bmp_stride(img);
    size_t pixels = stride * (size_t)img->h;
    memset(out, 0, bmp_size(img));
    // The file header: the size is the image's (header and pixels) + 14.
    out[0] = 'B';
    out[1] = 'M';
    put32(out + 2, (uint32_t)(kInfoHeader + pixels + kFileHeader));
    put32(out + 10, (uint32_t)(kFileHeader + kInfoHeader));  // no palette at 24 bits
    uint8_t* h = out + kFileHeader;
    put32(h, (uint32_t)kInfoHeader);
    put32(h + 4, (uint32_t)img->w);
    put32(h + 8, (uint32_t)img->h);  // positive: the bottom row first
    put16(h + 12, 1);                // planes
    put16(h + 14, 24);
    put32(h + 20, (uint32_t)pixels);
    put32(h + 24, 2835);             // 72 dots an inch
    put32(h + 28, 2835);
    uint8_t* bits = h + kInfoHeader;
    for (int y = 0; y < img->h; y++) {
        const uint8_t* src = img->rgb + (size_t)(img->h - 1 - y) * (size_t)img->w * 3;
        uint8_t* dst = bits + (size_t)y * stride;
        for (int x = 0; x < img->w; x++) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
}

int bmp_write(const char* path, const PlatImage* img) {
    size_t n = bmp_size(img);
    auto* bytes = (uint8_t*)QOBmalloc(n);
    if (!bytes) return -1;
    bmp_encode(img, bytes);
    int rc = -1;
    int slot = zyr_fopen(path, "w", kTextFileBuffer);
    if (slot >= 0) {
        rc = zyr_fwrite(bytes, 1, n, slot) == (int)n ? 0 : -1;
        if (zyr_fclose(slot) != 0) rc = -1;
    }
    QOBfree(bytes);
    return rc;
}

// ---- the printer -----------------------------------------------------------------

PrintPlace print_image_place(int page_w, int page_h, int img_w, int img_h, double scale) {
    if (img_w <= 0 || img_h <= 0) return PrintPlace{0, 0, 0, 0};
    double factor = std::fmin((double)page_w / img_w, (double)page_h / img_h);
    if (scale < 1.0) factor *= scale;
    double w = img_w * factor, h = img_h * factor;
    return PrintPlace{(int)(w * 0.05), (int)(h * 0.05), (int)(w * 0.9), (int)(h * 0.9)};
}

static void log_print_end(int rc) {
    if (rc == PRINT_END_PAGE) debug_printf("EndPage() failed");
    if (rc == PRINT_END_DOC) debug_printf("EndDoc() failed");
}

static int printer_begin(PrintPage* page) {
    int rc = plat_print_begin(kDocument, page);
    if (rc == PRINT_START_DOC) debug_printf("StartDoc() failed");
    if (rc == PRINT_START_PAGE) debug_printf("StartPage() failed");
    return rc;
}

static void print_text_printer(const PrintRegion& r) {
    PrintPage page{};
    if (printer_begin(&page) != PRINT_OK) return;
    size_t cap = (size_t)(r.cols > 0 ? r.cols : 0) + 1;
    char* row = (char*)QOBmalloc(cap);
    for (int i = 0; row && i < r.rows; i++) {
        print_row_text(r, i, row, cap);
        plat_print_text(0, i * page.line_h, row);
    }
    if (row) QOBfree(row);
    log_print_end(plat_print_end());
}

static void print_image_printer(const PlatImage* img) {
    PrintPage page{};
    if (printer_begin(&page) != PRINT_OK) return;
    bool scaled = print_state.scale != 1.0;
    PrintPlace at = print_image_place(page.w, page.h, img->w, img->h, print_state.scale);
    int rc = plat_print_image(img, at.x, at.y, at.w, at.h);
    if (rc == PRINT_NO_RASTER)
        debug_printf("Printer cannot support raster ops");
    else if (rc != PRINT_OK && scaled)
        debug_printf("Cannot Print - ZYRPrintGraphicsLL() FAIL %d", rc);
    else if (rc != PRINT_OK)
        debug_printf("StretchDIBits() failed");
    log_print_end(plat_print_end());
}

// ---- the files ---------------------------------------------------------------------

static int current_page() { return pages.slot[SLOT_DISPLAY].page >= 0 ? pages.slot[SLOT_DISPLAY].page : 0; }

// The file of the capture, asked for by its Save As dialog; refuses a file
// that is open in the system (a record file above all). 1 with the path.
static int capture_path(bool text, char* path, size_t cap) {
    char proposed[32];
    print_file_name(current_page(), text, proposed, sizeof proposed);
    PlatFileDialog d{};
    d.title = text ? "Print Text to File" : "Print Graphics to Bitmap File";
    d.filter = text ? kTextFilter : kBitmapFilter;
    d.filter_index = 1;
    d.default_ext = text ? "txt" : "bmp";
    d.proposed = proposed;
    d.flags = FD_SAVE | FD_PATH_MUST_EXIST;
    if (!plat_file_dialog(&d, path, cap)) return 0;
    if (zyr_fopen_by_name(path) == 0) {
        plat_message_box("Cannot open the file as\nit is already in use by ZYR", "Print Screen",
                         MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    return 1;
}

static void capture_write_failed(const char* path) {
    debug_printf("Print: cannot write %s", path);
    char shortened[PROMPT_LINE_MAX + 1];
    path_shorten(path, PROMPT_LINE_MAX, shortened, sizeof shortened);
    error_box("Cannot write file", shortened);
}

static void print_text(const PrintRegion& r) {
    if (!(print_state.options & PRINT_OPT_FILE)) {
        print_text_printer(r);
        return;
    }
    char path[1024];
    if (capture_path(true, path, sizeof path) && print_text_file(path, r) != 0) capture_write_failed(path);
}

static void print_graphics(const PlatImage* img) {
    if (!(print_state.options & PRINT_OPT_FILE)) {
        print_image_printer(img);
        return;
    }
    char path[1024];
    if (capture_path(false, path, sizeof path) && bmp_write(path, img) != 0) capture_write_failed(path);
}

// ---- the dialog ----------------------------------------------------------------------

struct PrintValues {
    int32_t text;
    char scale[kScaleEntry + 1];
    int32_t to_file;
    int32_t visible;
};

static const DlgControl kPrintControls[] = {
    {DLG_GROUP, "Type", 0, 0, 0},
    {DLG_RADIO, "&Text", offsetof(PrintValues, text), 1, 0},
    {DLG_RADIO, "&Graphics", offsetof(PrintValues, text), 0, DLG_SAME_ROW},
    {DLG_GROUP, nullptr, 0, 0, 0},
    {DLG_EDIT, "% &Scale factor", offsetof(PrintValues, scale), kScaleEntry, 0},
    {DLG_CHECK, "Print to F&ile", offsetof(PrintValues, to_file), 0, 0},
    {DLG_CHECK, "&Visible region only", offsetof(PrintValues, visible), 0, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
    {DLG_BUTTON, "&Help", 0, kHelpButton, 0},
};

static int print_button(void*, int id, DlgErrors*) {
    if (id != kHelpButton) return DLG_CLOSE;
    help_show();
    return DLG_STAY;
}

static const DlgForm kPrintForm = {kPrintControls, (int)(sizeof kPrintControls / sizeof kPrintControls[0]),
                                   print_button};

// The dialog with the options kept; on OK the options and the scale taken.
static bool print_dialog() {
    PrintValues v{};
    v.text = (print_state.options & PRINT_OPT_TEXT) ? 1 : 0;
    v.to_file = (print_state.options & PRINT_OPT_FILE) ? 1 : 0;
    v.visible = (print_state.options & PRINT_OPT_VISIBLE) ? 1 : 0;
    snprintf(v.scale, sizeof v.scale, "%6.2lf", print_state.scale * 100.0);
    if (plat_dialog(&kPrintForm, "Print", &v) != IDOK) return false;
    print_state.scale = print_scale_of(v.scale);
    print_state.options = (uint8_t)((v.text ? PRINT_OPT_TEXT : 0) | (v.to_file ? PRINT_OPT_FILE : 0) |
                                    (v.visible ? PRINT_OPT_VISIBLE : 0));
    return true;
}

// ---- the command -----------------------------------------------------------------------

static int capture(PlatImage* img) {
    int rc = canvas_capture(img);
    if (rc == CAPTURE_NO_IMAGE) debug_printf("CreateCompatibleDC() failed");
    if (rc == CAPTURE_NO_MEMORY) debug_printf("cannot create bitmap");
    return rc;
}

void print_command(int) {
    // Everything on the page is drawn before the picture is taken.
    if (g_redraw) g_redraw();
    PlatImage img{};
    if (capture(&img) != CAPTURE_OK) return;
    if (print_dialog()) {
        if (print_state.options & PRINT_OPT_TEXT)
            print_text(print_region((print_state.options & PRINT_OPT_VISIBLE) != 0));
        else
            print_graphics(&img);
    }
    canvas_capture_free(&img);
}
