// What the Qt files of the window system share: the main window that owns
// every dialog and box.
#pragma once

class QWidget;

// The main window, or null before it exists and after it is gone.
QWidget* qt_main_window();
