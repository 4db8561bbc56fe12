// The Qt canvas: drawing into an off-screen image with the system's fixed
// font. The main window attaches its page area; benchmarks attach an image
// of their own.
#pragma once

class QImage;
class QWidget;

// Attaches the image drawn into, the widget that shows it (may be null)
// and the widget's full-repaint mark; null detaches.
void canvas_qt_attach(QImage* image, QWidget* widget, bool* full_paint);

// The image attached now (null when none).
QImage* canvas_qt_image();
