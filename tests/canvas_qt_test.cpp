// The Qt canvas draws with counted pens and brushes: one of each is live
// while a pass draws, none after it, and the leak report stays silent.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include "core/mempool.h"
#include "platform/canvas.h"
#include "platform/qt/canvas_qt.h"

static const PlatRgb kRed{255, 0, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

static bool pixel_is(const QImage& img, int x, int y, PlatRgb c) {
    QRgb p = img.pixel(x, y);
    return qRed(p) == c.r && qGreen(p) == c.g && qBlue(p) == c.b;
}

TEST(CanvasQt, PensAndBrushesAreCountedAndFreedEachPass) {
    mempool_reset();
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::black);
    bool full = false;
    canvas_qt_attach(&image, nullptr, &full);
    for (int pass = 0; pass < 3; pass++) {
        ASSERT_EQ(canvas_begin(), 0);
        canvas_fill(10, 10, 20, 20, kRed);
        EXPECT_EQ(qobmem.qob_brush_count, 1);
        canvas_line(50, 5, 50, 60, kBlue);
        EXPECT_EQ(qobmem.qob_pen_count, 1);
        // Colour changes replace the live objects, they do not pile up.
        canvas_text(0, 70, kWhite, kBlack, "AB\xB3\xC4", 4);
        canvas_line(60, 5, 60, 60, kRed);
        canvas_point(70, 5, kBlue);
        canvas_fill(80, 10, 5, 5, kBlue);
        EXPECT_EQ(qobmem.qob_pen_count, 1);
        EXPECT_EQ(qobmem.qob_brush_count, 1);
        canvas_end();
        EXPECT_EQ(qobmem.qob_pen_count, 0) << pass;
        EXPECT_EQ(qobmem.qob_brush_count, 0) << pass;
    }
    EXPECT_TRUE(pixel_is(image, 15, 15, kRed));
    EXPECT_TRUE(pixel_is(image, 50, 30, kBlue));
    EXPECT_TRUE(pixel_is(image, 60, 30, kRed));
    EXPECT_TRUE(pixel_is(image, 82, 12, kBlue));
    EXPECT_EQ(qob_leak_report(), 0);
    canvas_qt_attach(nullptr, nullptr, nullptr);
    mempool_reset();
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
