// korlw's Qt window: a scrolling message window of 80 columns whose lines
// are coloured by level, the menus and accelerators from one table, and the
// dialogs the logic asks for through its hooks.
#include "platform/qt/korlw_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextCharFormat>
#include <QTextCursor>

#include <cstdio>
#include <cstring>
#include <iterator>

#include "compiler/korlw.h"
#include "platform/ui.h"

namespace {

class KorlwWindow : public QMainWindow {
public:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        korlw_close();
    }
};

KorlwWindow* g_window;
QPlainTextEdit* g_messages;

struct MenuRow {
    const char* menu;   // null: an item of the menu bar itself
    const char* text;
    int command;
};
const MenuRow kMenu[] = {
    {"&File", "Com&pile", KORLW_COMPILE},
    {"&File", "&Reverse", KORLW_REVERSE},
    {"&File", "E&xit", KORLW_EXIT},
    {nullptr, "&About", KORLW_ABOUT},
};
static_assert(std::size(kMenu) == 4);

struct AccelRow {
    const char* keys;
    int command;
};
const AccelRow kAccels[] = {
    {"Alt+P", KORLW_COMPILE},
    {"Alt+Q", KORLW_EXIT},
    {"Escape", KORLW_ESCAPE},
    {"F1", KORLW_HELP},
};
static_assert(std::size(kAccels) == 4);

QColor level_colour(int level) {
    switch (level) {
    case 1: return QColor(160, 96, 0);    // warning
    case 4: return QColor(200, 0, 0);     // error
    default: return QColor(0, 0, 0);
    }
}

void show_line(int level, const char* text) {
    QTextCharFormat f;
    f.setForeground(level_colour(level));
    QTextCursor c(g_messages->document());
    c.movePosition(QTextCursor::End);
    if (!g_messages->document()->isEmpty()) c.insertBlock();
    c.insertText(QString::fromLocal8Bit(text), f);
    g_messages->ensureCursorVisible();
}

void beep() { QApplication::beep(); }

int message_box(const char* text, const char* caption, unsigned flags) {
    beep();
    QMessageBox::StandardButtons buttons = (flags & 0xF) == MB_YESNO ? QMessageBox::Yes | QMessageBox::No
                                                                     : QMessageBox::Ok;
    QMessageBox::Icon icon = (flags & 0xF0) == MB_ICONINFORMATION ? QMessageBox::Information : QMessageBox::NoIcon;
    QMessageBox box(icon, QString::fromLocal8Bit(caption), QString::fromLocal8Bit(text), buttons, g_window);
    int r = box.exec();
    return r == QMessageBox::Yes ? IDYES : r == QMessageBox::No ? IDNO : IDOK;
}

// "Name|PATTERN|" becomes Qt's "Name (PATTERN pattern)": the page files of
// the original platform may come in either letter case.
QString qt_filter(const char* filter) {
    QStringList parts = QString::fromLocal8Bit(filter).split('|', Qt::SkipEmptyParts);
    if (parts.size() < 2) return QString();
    return parts[0] + " (" + parts[1] + " " + parts[1].toLower() + ")";
}

int choose_file(const char* title, const char* filter, const char* defext, char* path, size_t cap) {
    QFileDialog dialog(g_window, QString::fromLocal8Bit(title), QDir::currentPath(), qt_filter(filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QString::fromLocal8Bit(defext));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
    QByteArray chosen = dialog.selectedFiles().first().toLocal8Bit();
    if ((size_t)chosen.size() >= cap) return 0;
    memcpy(path, chosen.constData(), (size_t)chosen.size() + 1);
    return 1;
}

void about() {
    QMessageBox box(QMessageBox::NoIcon, "About KORLW", "KORLW for Windows", QMessageBox::Ok, g_window);
    box.exec();
}

int quit_box() {
    QMessageBox box(QMessageBox::Question, "ZYR Exit", "Quit KORLW Y/N ?", QMessageBox::NoButton, g_window);
    QPushButton* no = box.addButton("&No", QMessageBox::NoRole);
    QPushButton* yes = box.addButton("&Yes", QMessageBox::YesRole);
    box.setDefaultButton(no);
    box.exec();
    return box.clickedButton() == yes ? IDYES : IDNO;
}

void busy(bool on) {
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void quit(int code) { QCoreApplication::exit(code); }

void build_menus(KorlwWindow* w) {
    QMenu* file = nullptr;
    for (const MenuRow& m : kMenu) {
        QAction* a;
        if (m.menu) {
            if (!file) file = w->menuBar()->addMenu(m.menu);
            a = file->addAction(m.text);
        } else {
            a = w->menuBar()->addAction(m.text);
        }
        int id = m.command;
        QObject::connect(a, &QAction::triggered, [id] { korlw_command(id); });
    }
    for (const AccelRow& k : kAccels) {
        auto* s = new QShortcut(QKeySequence(k.keys), w);
        int id = k.command;
        QObject::connect(s, &QShortcut::activated, [id] { korlw_command(id); });
    }
}

}  // namespace

int korlw_run_window(int argc, char** argv) {
    QApplication app(argc, argv);
    KorlwWindow window;
    g_window = &window;
    window.setWindowTitle("KORLW for Windows");
    g_messages = new QPlainTextEdit;
    g_messages->setReadOnly(true);
    g_messages->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    g_messages->setFont(fixed);
    g_messages->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(80, 'M')) + 40);
    window.setCentralWidget(g_messages);
    build_menus(&window);
    korlw_ui = KorlwUi{show_line, beep, message_box, choose_file, about, quit_box, busy, quit};
    window.resize(window.minimumSizeHint().width(), 420);
    window.show();
    int code = 1;
    if (korlw_start() == 0)
        code = app.exec();
    else
        beep();
    korlw_exit();
    korlw_ui = KorlwUi{};
    g_window = nullptr;
    g_messages = nullptr;
    return code;
}
