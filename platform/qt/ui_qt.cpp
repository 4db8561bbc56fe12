// The Qt shell of the window system: the main window with both scroll bars,
// menus and shortcuts from the caller's tables, the precise 10 ms timer,
// message boxes preceded by a beep, the non-blocking box of the timer path,
// and quitting with a code.
#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>

#include <cstring>
#include <map>
#include <string>

#include "platform/canvas.h"
#include "platform/qt/canvas_qt.h"
#include "platform/qt/ui_qt.h"
#include "platform/ui.h"

namespace {

const WindowProcs* g_procs;
QTimer* g_timer;
TickFn g_tick;
bool g_quit_posted;
int g_quit_code;
int g_nonblocking_open;

class MainWindow : public QMainWindow {
public:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        if (g_procs && g_procs->close) g_procs->close();
    }
    void moveEvent(QMoveEvent*) override {
        if (g_procs && g_procs->moved) g_procs->moved(x(), y());
    }
};

// The page area keeps everything drawn in an off-screen image; its paint
// event copies the image. The program's own paint procedure runs only when
// the area was resized or first shown, as a window system repaints only
// what was invalidated.
class PageArea : public QWidget {
public:
    QImage image;
    bool full_paint = true;
    PageArea() {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        image = QImage(640, 400, QImage::Format_RGB32);
        image.fill(Qt::black);
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(false);
    }
    void mouse(int kind, QMouseEvent* e) {
        if (g_procs && g_procs->mouse) g_procs->mouse(kind, (int)e->position().x(), (int)e->position().y());
    }
    void mousePressEvent(QMouseEvent* e) override { mouse(MOUSE_PRESS, e); }
    void mouseMoveEvent(QMouseEvent* e) override { mouse(MOUSE_MOVE, e); }
    void mouseReleaseEvent(QMouseEvent* e) override { mouse(MOUSE_RELEASE, e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { mouse(MOUSE_DOUBLE, e); }
    static int key_of(int qt_key) {
        switch (qt_key) {
        case Qt::Key_Home: return KEY_HOME;
        case Qt::Key_End: return KEY_END;
        case Qt::Key_Left: return KEY_LEFT;
        case Qt::Key_Right: return KEY_RIGHT;
        case Qt::Key_Up: return KEY_UP;
        case Qt::Key_Down: return KEY_DOWN;
        default: return 0;
        }
    }
    void key(QKeyEvent* e, bool down) {
        int k = key_of(e->key());
        if (!k || !g_procs || !g_procs->key) {
            e->ignore();
            return;
        }
        g_procs->key(k, down, e->isAutoRepeat());
    }
    void keyPressEvent(QKeyEvent* e) override { key(e, true); }
    void keyReleaseEvent(QKeyEvent* e) override { key(e, false); }
    QSize sizeHint() const override { return image.size(); }
    void resizeEvent(QResizeEvent*) override {
        if (!g_procs || !g_procs->sized) return;
        Qt::WindowStates st = window()->windowState();
        int kind = (st & Qt::WindowMinimized) ? SIZE_MINIMISED : (st & Qt::WindowMaximized) ? SIZE_MAXIMISED
                                                                                              : SIZE_RESTORED;
        g_procs->sized(width(), height(), kind);
    }
    void paintEvent(QPaintEvent* e) override {
        if (full_paint && g_procs && g_procs->paint) {
            full_paint = false;
            g_procs->paint();
        }
        QPainter p(this);
        QRect r = e->rect();
        p.fillRect(r, Qt::black);
        p.drawImage(r.topLeft(), image, r);
    }
};

PageArea* g_area;

QMessageBox::Icon icon_of(unsigned flags) {
    switch (flags & 0xF0) {
    case MB_ICONSTOP: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

struct ButtonMap {
    QMessageBox::StandardButton button;
    int answer;
};
const ButtonMap kButtons[] = {
    {QMessageBox::Ok, IDOK},   {QMessageBox::Cancel, IDCANCEL}, {QMessageBox::Yes, IDYES},
    {QMessageBox::No, IDNO},   {QMessageBox::Retry, IDRETRY},
};

QMessageBox::StandardButtons buttons_of(unsigned flags) {
    switch (flags & 0xF) {
    case MB_OKCANCEL: return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_YESNOCANCEL: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MB_YESNO: return QMessageBox::Yes | QMessageBox::No;
    case MB_RETRYCANCEL: return QMessageBox::Retry | QMessageBox::Cancel;
    default: return QMessageBox::Ok;
    }
}

MainWindow* g_window;
QScrollBar* g_bars[2];

}  // namespace

QWidget* qt_main_window() { return g_window; }

void plat_set_scroll(int bar, int first, int last, int page, int pos) {
    if ((bar != 0 && bar != 1) || !g_bars[bar]) return;
    QSignalBlocker block(g_bars[bar]);
    g_bars[bar]->setRange(first, last > first ? last : first);
    g_bars[bar]->setPageStep(page > 0 ? page : 1);
    g_bars[bar]->setSingleStep(1);
    g_bars[bar]->setValue(pos);
}

void plat_set_title(const char* title) {
    if (g_window) g_window->setWindowTitle(QString::fromLocal8Bit(title));
}

void plat_place_window(int x, int y, int w, int h) {
    if (!g_window || !g_area) return;
    QSize extra = g_window->size() - g_area->size();
    g_window->resize(w + extra.width(), h + extra.height());
    g_window->move(x, y);
}

int plat_message_box(const char* text, const char* caption, unsigned flags) {
    plat_beep();
    QMessageBox box(icon_of(flags), QString::fromLocal8Bit(caption), QString::fromLocal8Bit(text), buttons_of(flags),
                    g_window);
    int r = box.exec();
    for (const ButtonMap& b : kButtons)
        if (r == b.button) return b.answer;
    return IDCANCEL;
}

int plat_nonblocking_box(const char* text, const char* caption) {
    if (g_nonblocking_open) return -1;
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLocal8Bit(caption), QString::fromLocal8Bit(text),
                                QMessageBox::Ok, g_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    g_nonblocking_open = 1;
    QObject::connect(box, &QMessageBox::finished, [] { g_nonblocking_open = 0; });
    box->show();
    return 0;
}

int plat_nonblocking_open() { return g_nonblocking_open; }

void plat_beep() { QApplication::beep(); }

void plat_post_quit(int code) {
    if (g_quit_posted) return;
    g_quit_posted = true;
    g_quit_code = code;
    QCoreApplication::exit(code);
}

int plat_start_timer(int period_ms, TickFn fn) {
    if (!g_window) return -1;
    g_tick = fn;
    g_timer = new QTimer(g_window);
    g_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(g_timer, &QTimer::timeout, [] {
        if (g_tick) g_tick();
    });
    g_timer->start(period_ms);
    return 0;
}

void plat_stop_timer() {
    if (g_timer) g_timer->stop();
    g_tick = nullptr;
}

namespace {

std::map<int, QAction*> g_actions;            // by command
std::map<std::string, QMenu*> g_menus;        // by menu path
QMenuBar* g_right_bar;                        // menus kept at the right end

QMenu* top_menu(const std::string& name, unsigned flags) {
    QMenuBar* bar = g_window->menuBar();
    if ((flags & MI_RIGHT)) {
        // The bar cannot push a menu to its right end itself; a second bar
        // in its corner holds it, and its mnemonic still opens it.
        if (!g_right_bar) {
            g_right_bar = new QMenuBar(bar);
            bar->setCornerWidget(g_right_bar, Qt::TopRightCorner);
        }
        bar = g_right_bar;
    }
    QMenu* m = bar->addMenu(QString::fromLocal8Bit(name.c_str()));
    QObject::connect(m, &QMenu::aboutToShow, [] {
        if (g_procs && g_procs->menu_refresh) g_procs->menu_refresh();
    });
    return m;
}

// The menu of a path "&File>&Replay", made on first use.
QMenu* menu_of(const char* path, unsigned flags) {
    std::string p(path);
    auto it = g_menus.find(p);
    if (it != g_menus.end()) return it->second;
    size_t cut = p.rfind('>');
    QMenu* m;
    if (cut == std::string::npos) {
        m = top_menu(p, flags);
    } else {
        QMenu* parent = menu_of(p.substr(0, cut).c_str(), flags);
        m = parent->addMenu(QString::fromLocal8Bit(p.substr(cut + 1).c_str()));
    }
    g_menus[p] = m;
    return m;
}

void add_item(QMenu* m, const char* text, int command, unsigned flags) {
    if (!text) {
        QAction* sep = m->addSeparator();
        if (command) g_actions[command] = sep;  // added at run time: removable
        return;
    }
    QAction* a = m->addAction(QString::fromLocal8Bit(text));
    if (flags & MI_GREY) a->setEnabled(false);
    QObject::connect(a, &QAction::triggered, [command] {
        if (g_procs && g_procs->command) g_procs->command(command);
    });
    g_actions[command] = a;
}

}  // namespace

static void build_menus(MainWindow* w, const WindowProcs* procs) {
    for (int i = 0; i < procs->menu_count; i++) {
        const PlatMenuItem& m = procs->menu[i];
        add_item(menu_of(m.menu, m.flags), m.text, m.command, m.flags);
    }
    for (int i = 0; i < procs->accel_count; i++) {
        auto* s = new QShortcut(QKeySequence(QString::fromLocal8Bit(procs->accels[i].keys)), w);
        s->setContext(Qt::WindowShortcut);
        int id = procs->accels[i].command;
        QObject::connect(s, &QShortcut::activated, [id] {
            if (g_procs->command) g_procs->command(id);
        });
    }
}

void plat_menu_check(int command, bool on) {
    auto it = g_actions.find(command);
    if (it == g_actions.end()) return;
    it->second->setCheckable(true);
    it->second->setChecked(on);
}

void plat_menu_enable(int command, bool on) {
    auto it = g_actions.find(command);
    if (it != g_actions.end()) it->second->setEnabled(on);
}

void plat_menu_add(const char* menu, const char* text, int command) {
    if (!g_window) return;
    if (text) plat_menu_remove(command);
    add_item(menu_of(menu, 0), text, command, 0);
}

void plat_menu_remove(int command) {
    auto it = g_actions.find(command);
    if (it == g_actions.end()) return;
    QAction* a = it->second;
    g_actions.erase(it);
    for (auto& m : g_menus) m.second->removeAction(a);
    a->deleteLater();
}

bool plat_menu_has(int command) { return g_actions.count(command) != 0; }

void plat_busy(bool on) {
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

int plat_run_main_window(int argc, char** argv, const WindowProcs* procs) {
    QApplication app(argc, argv);
    g_procs = procs;
    g_quit_posted = false;
    g_quit_code = 0;
    MainWindow window;
    g_window = &window;
    window.setWindowTitle(QString::fromLocal8Bit(procs->title));
    // The page area with its two scroll bars, which move the first visible
    // row and column of the grid by whole cells.
    auto* central = new QWidget;
    auto* layout = new QGridLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    g_area = new PageArea;
    g_bars[SCROLL_HORIZONTAL] = new QScrollBar(Qt::Horizontal);
    g_bars[SCROLL_VERTICAL] = new QScrollBar(Qt::Vertical);
    layout->addWidget(g_area, 0, 0);
    layout->addWidget(g_bars[SCROLL_VERTICAL], 0, 1);
    layout->addWidget(g_bars[SCROLL_HORIZONTAL], 1, 0);
    for (int bar : {SCROLL_HORIZONTAL, SCROLL_VERTICAL}) g_bars[bar]->setFocusPolicy(Qt::NoFocus);
    for (int bar : {SCROLL_HORIZONTAL, SCROLL_VERTICAL})
        QObject::connect(g_bars[bar], &QScrollBar::valueChanged, [bar](int v) {
            if (g_procs && g_procs->scrolled) g_procs->scrolled(bar, v);
        });
    canvas_qt_attach(&g_area->image, g_area, &g_area->full_paint);
    window.setCentralWidget(central);
    build_menus(&window, procs);
    window.resize(800, 560);
    // As on any window system, creation comes before the window is shown,
    // so the first paint finds the page area ready.
    int code = procs->create ? procs->create() : 0;
    if (!g_quit_posted && code == 0) {
        window.show();
        g_area->setFocus();
    }
    if (!g_quit_posted && code == 0) code = app.exec();
    if (g_quit_posted) code = g_quit_code;
    int rc = procs->destroy ? procs->destroy(code) : 0;
    (void)rc;
    plat_stop_timer();
    canvas_qt_attach(nullptr, nullptr, nullptr);
    g_bars[0] = g_bars[1] = nullptr;
    g_area = nullptr;
    g_actions.clear();
    g_menus.clear();
    g_right_bar = nullptr;
    g_window = nullptr;
    g_procs = nullptr;
    return code;
}

