// The Qt canvas: an off-screen image with the system's fixed font.
#include "platform/qt/canvas_qt.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include "core/mempool.h"
#include "platform/canvas.h"

namespace {
QImage* g_image;
QWidget* g_widget;
bool* g_full_paint;
QPainter* g_painter;
QFont g_font;
int g_cell_w = 8, g_cell_h = 16, g_ascent = 12;
// What was drawn since the window last showed the image. A region, not one
// bounding rectangle: a value at the top and a plot point at the bottom
// must not make the window copy everything between them.
QRegion g_dirty;

// The pen and the brush of the painter, made and deleted through the pool's
// counted functions. A slot keeps its object while the colour stays.
QobObjectSlot g_pen, g_brush;
uint32_t g_pen_rgb, g_brush_rgb;
void* g_selected[2];  // the objects the painter uses now (null: its defaults)
int g_object_error;   // first failure of the step being drawn

void* qt_create(int kind, uint32_t rgb) {
    QColor c((int)(rgb >> 16 & 0xFF), (int)(rgb >> 8 & 0xFF), (int)(rgb & 0xFF));
    if (kind == QOB_PEN) return new QPen(c, 0, Qt::SolidLine);
    return new QBrush(c, Qt::SolidPattern);
}

int qt_select(int kind, void* obj, void** previous) {
    if (!g_painter) return -1;
    *previous = g_selected[kind];
    g_selected[kind] = obj;
    if (kind == QOB_PEN)
        g_painter->setPen(obj ? *(QPen*)obj : QPen());
    else
        g_painter->setBrush(obj ? *(QBrush*)obj : QBrush());
    return 0;
}

int qt_destroy(int kind, void* obj) {
    if (kind == QOB_PEN)
        delete (QPen*)obj;
    else
        delete (QBrush*)obj;
    return 0;
}

const QobDrawOps kQtDrawOps = {qt_create, qt_select, qt_destroy};

uint32_t rgb_of(PlatRgb c) { return (uint32_t)c.r << 16 | (uint32_t)c.g << 8 | c.b; }

void use_pen(PlatRgb c) {
    uint32_t rgb = rgb_of(c);
    if (g_pen.obj && g_pen_rgb == rgb) return;
    int rc = QOBCreatePenObject(&g_pen, rgb);
    if (rc == 0)
        g_pen_rgb = rgb;
    else if (!g_object_error)
        g_object_error = rc;
}

// The colour of the brush of a fill (black when none could be made); a
// solid fill by colour keeps the painter's fastest path.
QColor use_brush(PlatRgb c) {
    uint32_t rgb = rgb_of(c);
    if (!(g_brush.obj && g_brush_rgb == rgb)) {
        int rc = QOBCreateBrushObject(&g_brush, rgb);
        if (rc == 0)
            g_brush_rgb = rgb;
        else if (!g_object_error)
            g_object_error = rc;
    }
    return g_brush.obj ? ((const QBrush*)g_brush.obj)->color() : QColor(Qt::black);
}
}  // namespace

void canvas_qt_attach(QImage* image, QWidget* widget, bool* full_paint) {
    canvas_end();
    g_image = image;
    g_widget = widget;
    g_full_paint = full_paint;
    if (!image) return;
    // A fixed font may advance by a fraction of a pixel; spacing the letters
    // out to whole cells keeps every character in its grid cell.
    g_font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    QFontMetricsF fmf(g_font);
    qreal advance = fmf.horizontalAdvance(QLatin1Char('M'));
    g_cell_w = (int)std::ceil(advance);
    g_font.setLetterSpacing(QFont::AbsoluteSpacing, g_cell_w - advance);
    QFontMetrics fm(g_font);
    g_cell_h = fm.height();
    g_ascent = fm.ascent();
}

void canvas_cell_size(int* w, int* h) {
    *w = g_cell_w;
    *h = g_cell_h;
}

void canvas_screen_size(int* w, int* h) {
    QScreen* screen = QGuiApplication::primaryScreen();
    QSize s = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    *w = s.width();
    *h = s.height();
}

int canvas_begin() {
    if (!g_image) return -1;
    if (!g_painter) {
        qob_set_draw_ops(&kQtDrawOps);
        g_painter = new QPainter(g_image);
        g_painter->setFont(g_font);
    }
    return 0;
}

void canvas_end() {
    if (!g_painter) return;
    QOBDeletePenObject(&g_pen);
    QOBDeleteBrushObject(&g_brush);
    delete g_painter;
    g_painter = nullptr;
}

void canvas_set_size(int w, int h) {
    if (!g_image || w <= 0 || h <= 0 || (w == g_image->width() && h == g_image->height())) return;
    bool open = g_painter != nullptr;
    canvas_end();
    QImage bigger(w, h, QImage::Format_RGB32);  // what was drawn stays
    bigger.fill(Qt::black);
    QPainter p(&bigger);
    p.drawImage(0, 0, *g_image);
    p.end();
    *g_image = bigger;
    if (g_full_paint) *g_full_paint = true;
    if (open) canvas_begin();
}

// Only what was drawn is copied to the window: a pass that changed a few
// values costs a few small rectangles, not the whole page.
void canvas_update() {
    if (g_widget && !g_dirty.isEmpty()) g_widget->update(g_dirty);
    g_dirty = QRegion();
}

void canvas_invalidate() {
    if (g_full_paint) *g_full_paint = true;
    if (g_widget) g_widget->update();
}


// The frame line characters of code page 437 are drawn as lines through the
// middle of their cell, so borders join whatever the font; the other bytes
// read as Latin-1.
struct BoxChar {
    unsigned char code;
    bool left, right, up, down;
};
static const BoxChar kBoxChars[] = {
    {179, false, false, true, true},   // vertical
    {191, true, false, false, true},   // top right corner
    {192, false, true, true, false},   // bottom left corner
    {196, true, true, false, false},   // horizontal
    {217, true, false, true, false},   // bottom right corner
    {218, false, true, false, true},   // top left corner
};

static const BoxChar* box_char(unsigned char c) {
    for (const BoxChar& b : kBoxChars)
        if (b.code == c) return &b;
    return nullptr;
}

static void draw_box_char(const BoxChar& b, int x, int y) {
    int cx = x + g_cell_w / 2, cy = y + g_cell_h / 2;
    if (b.left) g_painter->drawLine(x, cy, cx, cy);
    if (b.right) g_painter->drawLine(cx, cy, x + g_cell_w - 1, cy);
    if (b.up) g_painter->drawLine(cx, y, cx, cy);
    if (b.down) g_painter->drawLine(cx, cy, cx, y + g_cell_h - 1);
}

void canvas_text(int x, int y, PlatRgb bg, PlatRgb fg, const char* text, int len) {
    if (!g_painter) return;
    g_dirty += QRect(x, y, len * g_cell_w, g_cell_h);
    g_painter->fillRect(x, y, len * g_cell_w, g_cell_h, use_brush(bg));
    use_pen(fg);
    // Runs of ordinary characters are drawn whole; the letter spacing keeps
    // them on the cells.
    int run = 0;
    for (int i = 0; i <= len; i++) {
        const BoxChar* b = i < len ? box_char((unsigned char)text[i]) : nullptr;
        if (i < len && !b) continue;
        if (i > run) g_painter->drawText(x + run * g_cell_w, y + g_ascent, QString::fromLatin1(text + run, i - run));
        if (b) draw_box_char(*b, x + i * g_cell_w, y);
        run = i + 1;
    }
}

void canvas_fill(int x, int y, int w, int h, PlatRgb c) {
    if (!g_painter) return;
    g_dirty += QRect(x, y, w, h);
    g_painter->fillRect(x, y, w, h, use_brush(c));
}

void canvas_line(int x0, int y0, int x1, int y1, PlatRgb c) {
    if (!g_painter) return;
    g_dirty += QRect(QPoint(std::min(x0, x1), std::min(y0, y1)), QPoint(std::max(x0, x1), std::max(y0, y1)));
    use_pen(c);
    g_painter->drawLine(x0, y0, x1, y1);
}

void canvas_point(int x, int y, PlatRgb c) {
    if (!g_painter) return;
    g_dirty += QRect(x, y, 1, 1);
    use_pen(c);
    g_painter->drawPoint(x, y);
}

int canvas_step_end() {
    int rc = g_object_error;
    g_object_error = 0;
    int pen = QOBDeletePenObject(&g_pen), brush = QOBDeleteBrushObject(&g_brush);
    if (!rc) rc = pen ? pen : brush;
    return rc;
}

// The image drawn into, for the page area's capture.
QImage* canvas_qt_image() { return g_image; }
