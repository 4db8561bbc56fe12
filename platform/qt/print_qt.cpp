// Printing on Qt: the capture copies the canvas's off-screen image; the
// printer is QPrinter behind Qt's own print dialog, which always offers
// printing to a PDF file, so the command works on a machine with no printer.
#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <cstring>

#include "core/mempool.h"
#include "platform/print.h"
#include "platform/qt/canvas_qt.h"
#include "platform/qt/ui_qt.h"

namespace {
QPrinter* g_printer;
QPainter* g_painter;
}  // namespace

int canvas_capture(PlatImage* out) {
    *out = PlatImage{};
    QImage* image = canvas_qt_image();
    if (!image || image->isNull()) return CAPTURE_NO_IMAGE;
    if (image->width() <= 0 || image->height() <= 0) return CAPTURE_EMPTY;
    QImage rgb = image->convertToFormat(QImage::Format_RGB888);
    size_t row = (size_t)rgb.width() * 3;
    auto* bytes = (uint8_t*)QOBmalloc(row * (size_t)rgb.height());
    if (!bytes) return CAPTURE_NO_MEMORY;
    for (int y = 0; y < rgb.height(); y++) memcpy(bytes + row * (size_t)y, rgb.constScanLine(y), row);
    *out = PlatImage{rgb.width(), rgb.height(), bytes};
    return CAPTURE_OK;
}

void canvas_capture_free(PlatImage* img) {
    if (img->rgb) QOBfree(img->rgb);
    *img = PlatImage{};
}

static void printer_release() {
    delete g_painter;
    g_painter = nullptr;
    delete g_printer;
    g_printer = nullptr;
}

int plat_print_begin(const char* document, PrintPage* page) {
    printer_release();
    g_printer = new QPrinter(QPrinter::HighResolution);
    g_printer->setDocName(QString::fromLocal8Bit(document));
    g_printer->setCopyCount(1);
    QPrintDialog dialog(g_printer, qt_main_window());
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (dialog.exec() != QDialog::Accepted) {
        printer_release();
        return PRINT_CANCELLED;
    }
    g_painter = new QPainter;
    if (!g_painter->begin(g_printer)) {
        printer_release();
        return PRINT_START_DOC;
    }
    QRect area = g_printer->pageLayout().paintRectPixels(g_printer->resolution());
    page->w = area.width();
    page->h = area.height();
    page->line_h = g_painter->fontMetrics().height();
    return PRINT_OK;
}

void plat_print_text(int x, int y, const char* text) {
    if (!g_painter) return;
    // y is the top of the line; Qt draws text on its base line.
    g_painter->drawText(x, y + g_painter->fontMetrics().ascent(), QString::fromLatin1(text));
}

int plat_print_image(const PlatImage* img, int x, int y, int w, int h) {
    if (!g_painter) return PRINT_START_PAGE;
    QImage image(img->rgb, img->w, img->h, img->w * 3, QImage::Format_RGB888);
    g_painter->drawImage(QRect(x, y, w, h), image);
    return PRINT_OK;
}

int plat_print_end() {
    if (!g_painter) return PRINT_END_DOC;
    bool ok = g_painter->end();
    printer_release();
    return ok ? PRINT_OK : PRINT_END_DOC;
}
