// The Qt canvas: an off-screen image with the system's fixed font.
#include "platform/qt/canvas_qt.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include "platform/canvas.h"

namespace {
QImage* g_image;
QWidget* g_widget;
bool* g_full_paint;
QPainter* g_painter;
QFont g_font;
int g_cell_w = 8, g_cell_h = 16, g_ascent = 12;
}  // namespace

void canvas_qt_attach(QImage* image, QWidget* widget, bool* full_paint) {
    canvas_end();
    g_image = image;
    g_widget = widget;
    g_full_paint = full_paint;
    if (!image) return;
    g_font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    QFontMetrics fm(g_font);
    g_cell_w = fm.horizontalAdvance(QLatin1Char('M'));
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
        g_painter = new QPainter(g_image);
        g_painter->setFont(g_font);
    }
    return 0;
}

void canvas_end() {
    delete g_painter;
    g_painter = nullptr;
}

void canvas_set_size(int w, int h) {
    if (!g_image || w <= 0 || h <= 0 || (w == g_image->width() && h == g_image->height())) return;
    bool open = g_painter != nullptr;
    canvas_end();
    QImage bigger(w, h, QImage::Format_RGB32);
    bigger.fill(Qt::black);
    QPainter p(&bigger);
    p.drawImage(0, 0, *g_image);
    p.end();
    *g_image = bigger;
    if (g_widget) g_widget->setFixedSize(w, h);
    if (g_full_paint) *g_full_paint = true;
    if (open) canvas_begin();
}

void canvas_update() {
    if (g_widget) g_widget->update();
}

void canvas_invalidate() {
    if (g_full_paint) *g_full_paint = true;
    canvas_update();
}

static QColor qcolor(PlatRgb c) { return QColor(c.r, c.g, c.b); }

// Code page 437 bytes: the frame line characters become box drawing
// characters, the rest reads as Latin-1.
static QString cp437_text(const char* text, int len) {
    QString s;
    s.reserve(len);
    for (int i = 0; i < len; i++) {
        unsigned char c = (unsigned char)text[i];
        switch (c) {
        case 179: s.append(QChar(0x2502)); break;
        case 191: s.append(QChar(0x2510)); break;
        case 192: s.append(QChar(0x2514)); break;
        case 196: s.append(QChar(0x2500)); break;
        case 217: s.append(QChar(0x2518)); break;
        case 218: s.append(QChar(0x250C)); break;
        default: s.append(QChar(c)); break;
        }
    }
    return s;
}

void canvas_text(int x, int y, PlatRgb bg, PlatRgb fg, const char* text, int len) {
    if (!g_painter) return;
    g_painter->fillRect(x, y, len * g_cell_w, g_cell_h, qcolor(bg));
    g_painter->setPen(qcolor(fg));
    QString s = cp437_text(text, len);
    bool plain = true;
    for (int i = 0; i < len && plain; i++) plain = (unsigned char)text[i] < 128;
    if (plain) {
        g_painter->drawText(x, y + g_ascent, s);
        return;
    }
    // One character per cell, so box characters of another width still line up.
    for (int i = 0; i < s.size(); i++) g_painter->drawText(x + i * g_cell_w, y + g_ascent, QString(s[i]));
}

void canvas_fill(int x, int y, int w, int h, PlatRgb c) {
    if (g_painter) g_painter->fillRect(x, y, w, h, qcolor(c));
}

void canvas_line(int x0, int y0, int x1, int y1, PlatRgb c) {
    if (!g_painter) return;
    g_painter->setPen(qcolor(c));
    g_painter->drawLine(x0, y0, x1, y1);
}

void canvas_point(int x, int y, PlatRgb c) {
    if (!g_painter) return;
    g_painter->setPen(qcolor(c));
    g_painter->drawPoint(x, y);
}
