// Fake canvas for unit tests: a grid of cells and a small pixel buffer.
#include "platform/fake/canvas_fake.h"

#include <cstring>

#include "core/mempool.h"

struct FakeCell {
    char ch;
    PlatRgb bg, fg;
};

static FakeCell g_cells[FAKE_ROWS][FAKE_COLS];
static PlatRgb g_pixels[FAKE_PIXELS_H][FAKE_PIXELS_W];
static int g_screen_w = 1024, g_screen_h = 768;
static int g_draws;
static bool g_open, g_fail;
static int g_invalidated;

// Pens and brushes as the Qt canvas makes them: one slot each, kept while
// the colour stays, counted by the pool, deleted when a step or the drawing
// ends. The objects are tokens; nothing is allocated.
static int g_tokens[2];
static QobObjectSlot g_pen, g_brush;
static uint32_t g_pen_rgb, g_brush_rgb;
static int g_object_error;
static int g_fail_object;   // the nth object made from now fails (0 none)

static void* fake_create(int kind, uint32_t) {
    if (g_fail_object && --g_fail_object == 0) return nullptr;
    return &g_tokens[kind];
}
static int fake_select(int, void*, void** previous) {
    *previous = nullptr;
    return 0;
}
static int fake_destroy(int, void*) { return 0; }
static const QobDrawOps kFakeDrawOps = {fake_create, fake_select, fake_destroy};

static uint32_t rgb_of(PlatRgb c) { return (uint32_t)c.r << 16 | (uint32_t)c.g << 8 | c.b; }

static void use_object(int kind, PlatRgb c) {
    QobObjectSlot& slot = kind == QOB_PEN ? g_pen : g_brush;
    uint32_t& held = kind == QOB_PEN ? g_pen_rgb : g_brush_rgb;
    uint32_t rgb = rgb_of(c);
    if (slot.obj && held == rgb) return;
    qob_set_draw_ops(&kFakeDrawOps);
    int rc = kind == QOB_PEN ? QOBCreatePenObject(&slot, rgb) : QOBCreateBrushObject(&slot, rgb);
    if (rc == 0)
        held = rgb;
    else if (!g_object_error)
        g_object_error = rc;
}

static void release_objects() {
    qob_set_draw_ops(&kFakeDrawOps);
    QOBDeletePenObject(&g_pen);
    QOBDeleteBrushObject(&g_brush);
}

int canvas_step_end() {
    int rc = g_object_error;
    g_object_error = 0;
    release_objects();
    return rc;
}

void fake_canvas_fail_object(int nth) { g_fail_object = nth; }

void fake_canvas_reset() {
    for (auto& row : g_cells)
        for (auto& c : row) c = FakeCell{' ', {0, 0, 0}, {0, 0, 0}};
    memset(g_pixels, 0, sizeof g_pixels);
    g_screen_w = 1024;
    g_screen_h = 768;
    g_draws = 0;
    g_open = g_fail = false;
    g_invalidated = 0;
    g_pen = g_brush = QobObjectSlot{};
    g_object_error = g_fail_object = 0;
}

void fake_canvas_set_screen(int w, int h) {
    g_screen_w = w;
    g_screen_h = h;
}

std::string fake_canvas_text(int r, int c, int n) {
    std::string s;
    for (int i = 0; i < n && r >= 0 && r < FAKE_ROWS && c + i < FAKE_COLS; i++) s.push_back(g_cells[r][c + i].ch);
    return s;
}

PlatRgb fake_canvas_bg(int r, int c) { return g_cells[r][c].bg; }
PlatRgb fake_canvas_fg(int r, int c) { return g_cells[r][c].fg; }
PlatRgb fake_canvas_pixel(int x, int y) {
    return (x >= 0 && y >= 0 && y < FAKE_PIXELS_H && x < FAKE_PIXELS_W) ? g_pixels[y][x] : PlatRgb{0, 0, 0};
}
int fake_canvas_draws() { return g_draws; }
bool fake_canvas_open() { return g_open; }
void fake_canvas_fail_begin(bool fail) { g_fail = fail; }

void canvas_cell_size(int* w, int* h) {
    *w = FAKE_CELL_W;
    *h = FAKE_CELL_H;
}

void canvas_screen_size(int* w, int* h) {
    *w = g_screen_w;
    *h = g_screen_h;
}

int canvas_begin() {
    if (g_fail) return -1;
    g_open = true;
    return 0;
}

void canvas_end() {
    release_objects();
    g_open = false;
}
void canvas_set_size(int, int) {}
void canvas_update() {}
void canvas_invalidate() { g_invalidated++; }
int fake_canvas_invalidations() { return g_invalidated; }

void canvas_text(int x, int y, PlatRgb bg, PlatRgb fg, const char* text, int len) {
    g_draws++;
    use_object(QOB_BRUSH, bg);
    use_object(QOB_PEN, fg);
    int r = y / FAKE_CELL_H, c = x / FAKE_CELL_W;
    for (int i = 0; i < len; i++)
        if (r >= 0 && r < FAKE_ROWS && c + i >= 0 && c + i < FAKE_COLS) g_cells[r][c + i] = FakeCell{text[i], bg, fg};
}

static void set_pixel(int x, int y, PlatRgb c) {
    if (x >= 0 && y >= 0 && y < FAKE_PIXELS_H && x < FAKE_PIXELS_W) g_pixels[y][x] = c;
}

void canvas_fill(int x, int y, int w, int h, PlatRgb c) {
    use_object(QOB_BRUSH, c);
    for (int j = y; j < y + h; j++)
        for (int i = x; i < x + w; i++) set_pixel(i, j, c);
}

void canvas_point(int x, int y, PlatRgb c) {
    use_object(QOB_PEN, c);
    set_pixel(x, y, c);
}

void canvas_line(int x0, int y0, int x1, int y1, PlatRgb c) {
    int dx = x1 > x0 ? x1 - x0 : x0 - x1, dy = y1 > y0 ? y0 - y1 : y1 - y0;
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1, err = dx + dy;
    use_object(QOB_PEN, c);
    for (;;) {
        set_pixel(x0, y0, c);
        if (x0 == x1 && y0 == y1) break;
        int e2 = 2 * err;
        if (e2 >= dy) err += dy, x0 += sx;
        if (e2 <= dx) err += dx, y0 += sy;
    }
}
