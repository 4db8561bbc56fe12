// The Qt side of the dialogs: the file dialogs (Qt's own widgets, so they
// behave alike on every desktop and answer the keyboard), the one builder
// that turns a table of controls into a modal QDialog, and the desktop's
// viewer for documents.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>

#include <cstring>
#include <vector>

#include "platform/qt/ui_qt.h"
#include "platform/ui.h"

namespace {

QString local(const char* s) { return QString::fromLocal8Bit(s ? s : ""); }

// "*.dat" matches "X.DAT" too, as the names of the original platform
// ignored letter case.
QString caseless_pattern(const QString& pattern) {
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter())
            out += QString("[%1%2]").arg(c.toLower()).arg(c.toUpper());
        else
            out += c;
    }
    return out;
}

// "Raw Files(*.DAT)|*.dat|Ascii Files(*.TXT)|*.txt|" to Qt's filter list.
QStringList qt_filters(const char* filter) {
    QStringList out;
    if (!filter || !*filter) return out;
    size_t n = strlen(filter);
    QChar sep = QChar(filter[n - 1]);
    QStringList parts = local(filter).split(sep);
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList pats = parts[i + 1].split(';', Qt::SkipEmptyParts);
        QStringList cl;
        for (const QString& p : pats) cl << caseless_pattern(p.trimmed());
        out << QString("%1 (%2)").arg(parts[i], cl.join(' '));
    }
    return out;
}

}  // namespace

int plat_file_dialog(const PlatFileDialog* d, char* path, size_t cap) {
    QFileDialog dlg(qt_main_window(), local(d->title));
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setOption(QFileDialog::ReadOnly, false);
    bool save = d->flags & FD_SAVE;
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : (d->flags & FD_MUST_EXIST) ? QFileDialog::ExistingFile
                                                                                : QFileDialog::AnyFile);
    if (save && !(d->flags & FD_OVERWRITE_PROMPT)) dlg.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList filters = qt_filters(d->filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        int idx = d->filter_index - 1;
        if (idx >= 0 && idx < filters.size()) dlg.selectNameFilter(filters[idx]);
    }
    if (d->default_ext && *d->default_ext) dlg.setDefaultSuffix(local(d->default_ext));
    dlg.setDirectory(QDir::currentPath());
    if (d->proposed && *d->proposed) dlg.selectFile(local(d->proposed));
    for (;;) {
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return 0;
        QString chosen = dlg.selectedFiles().first();
        QFileInfo fi(chosen);
        if ((d->flags & FD_PATH_MUST_EXIST) && !fi.absoluteDir().exists()) {
            plat_message_box((chosen + "\nPath does not exist.").toLocal8Bit().constData(), d->title,
                             MB_OK | MB_ICONEXCLAMATION);
            continue;
        }
        QByteArray bytes = chosen.toLocal8Bit();
        if ((size_t)bytes.size() + 1 > cap) return 0;
        memcpy(path, bytes.constData(), bytes.size() + 1);
        return 1;
    }
}

// ---- the form builder ------------------------------------------------------------

namespace {

struct Bound {
    const DlgControl* c;
    QWidget* w;
    QButtonGroup* group;   // radios
};

char* field_ptr(void* values, const DlgControl* c) { return (char*)values + c->field; }

// Copies the record into the controls.
void fill(std::vector<Bound>& bound, void* values) {
    for (Bound& b : bound) {
        char* f = field_ptr(values, b.c);
        switch (b.c->kind) {
        case DLG_TEXT:
            if (!(b.c->flags & DLG_CAPTION)) static_cast<QLabel*>(b.w)->setText(local(f));
            break;
        case DLG_EDIT: static_cast<QLineEdit*>(b.w)->setText(local(f)); break;
        case DLG_CHECK: static_cast<QCheckBox*>(b.w)->setChecked(*(int32_t*)f != 0); break;
        case DLG_RADIO: static_cast<QRadioButton*>(b.w)->setChecked(*(int32_t*)f == b.c->value); break;
        case DLG_LIST:
        case DLG_COMBO: {
            auto* cb = static_cast<QComboBox*>(b.w);
            const DlgList* l = (const DlgList*)f;
            QSignalBlocker block(cb);
            cb->clear();
            for (int i = 0; i < l->count && i < DLG_LIST_MAX; i++) cb->addItem(local(l->items[i]));
            cb->setCurrentIndex(l->selected < l->count ? l->selected : -1);
            if (b.c->kind == DLG_COMBO) cb->setEditText(local(l->text));
            break;
        }
        default: break;
        }
    }
}

void copy_text(char* dst, const QString& s, size_t cap) {
    QByteArray bytes = s.toLocal8Bit();
    size_t n = (size_t)bytes.size() < cap - 1 ? (size_t)bytes.size() : cap - 1;
    memcpy(dst, bytes.constData(), n);
    dst[n] = 0;
}

// Copies the controls back into the record.
void collect(std::vector<Bound>& bound, void* values) {
    for (Bound& b : bound) {
        char* f = field_ptr(values, b.c);
        switch (b.c->kind) {
        case DLG_EDIT: copy_text(f, static_cast<QLineEdit*>(b.w)->text(), (size_t)b.c->value + 1); break;
        case DLG_CHECK: *(int32_t*)f = static_cast<QCheckBox*>(b.w)->isChecked() ? 1 : 0; break;
        case DLG_RADIO:
            if (static_cast<QRadioButton*>(b.w)->isChecked()) *(int32_t*)f = b.c->value;
            break;
        case DLG_LIST:
        case DLG_COMBO: {
            auto* cb = static_cast<QComboBox*>(b.w);
            DlgList* l = (DlgList*)f;
            l->selected = cb->currentIndex();
            if (b.c->kind == DLG_COMBO) {
                copy_text(l->text, cb->currentText(), sizeof l->text);
                // A typed text that is one of the items selects it.
                int i = cb->findText(cb->currentText());
                l->selected = i;
            } else if (l->selected >= 0) {
                copy_text(l->text, cb->currentText(), sizeof l->text);
            }
            break;
        }
        default: break;
        }
    }
}

void show_errors(const DlgForm* form, const char* title, const DlgErrors& e) {
    QString text;
    for (int i = 0; i < e.count && i < DLG_ERRORS_MAX; i++) {
        char label[100];
        dlg_field_label(form, e.field[i], label, sizeof label);
        if (label[0])
            text += QString("%1: %2\n").arg(local(label), local(e.text[i]));
        else
            text += local(e.text[i]) + "\n";
    }
    plat_message_box(text.toLocal8Bit().constData(), title, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

int plat_dialog(const DlgForm* form, const char* title, void* values) {
    QDialog dlg(qt_main_window());
    dlg.setWindowTitle(local(title));
    auto* outer = new QVBoxLayout(&dlg);
    auto* grid = new QGridLayout;
    outer->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    outer->addLayout(buttons);
    QGridLayout* target = grid;
    int row = -1, col = 0;
    std::vector<Bound> bound;
    QButtonGroup* group = nullptr;
    uint32_t group_field = 0xFFFFFFFF;
    int result = IDCANCEL;
    bool done = false;

    auto press = [&](int id) {
        collect(bound, values);
        DlgErrors errors{};
        int r = form->button ? form->button(values, id, &errors) : DLG_CLOSE;
        if (errors.count) show_errors(form, title, errors);
        if (r == DLG_CLOSE) {
            result = id;
            done = true;
            dlg.done(QDialog::Accepted);
        } else {
            fill(bound, values);
        }
    };

    for (int i = 0; i < form->count; i++) {
        const DlgControl* c = &form->controls[i];
        bool same = (c->flags & DLG_SAME_ROW) && row >= 0;
        if (!same && c->kind != DLG_BUTTON && c->kind != DLG_GROUP) {
            row++;
            col = 0;
        }
        if (c->kind != DLG_RADIO || c->field != group_field) {
            group = nullptr;
            group_field = 0xFFFFFFFF;
        }
        switch (c->kind) {
        case DLG_GROUP: {
            if (!c->label) {
                target = grid;
                break;
            }
            auto* box = new QGroupBox(local(c->label));
            auto* inner = new QGridLayout(box);
            grid->addWidget(box, ++row, 0, 1, 4);
            target = inner;
            row = -1;
            break;
        }
        case DLG_TEXT: {
            auto* l = new QLabel((c->flags & DLG_CAPTION) ? local(c->label) : QString());
            l->setTextFormat(Qt::PlainText);
            target->addWidget(l, row, col, 1, same ? 1 : 4);
            col += same ? 1 : 4;
            if (!(c->flags & DLG_CAPTION)) bound.push_back({c, l, nullptr});
            break;
        }
        case DLG_EDIT:
        case DLG_LIST:
        case DLG_COMBO: {
            QWidget* w;
            if (c->kind == DLG_EDIT) {
                auto* e = new QLineEdit;
                e->setMaxLength(c->value > 0 ? c->value : 80);
                e->setReadOnly(c->flags & DLG_READONLY);
                w = e;
            } else {
                auto* cb = new QComboBox;
                cb->setEditable(c->kind == DLG_COMBO);
                cb->setMaxVisibleItems(20);
                w = cb;
            }
            if (c->label && *c->label) {
                auto* l = new QLabel(local(c->label));
                l->setBuddy(w);
                target->addWidget(l, row, col++);
            }
            target->addWidget(w, row, col++);
            bound.push_back({c, w, nullptr});
            break;
        }
        case DLG_CHECK: {
            auto* cb = new QCheckBox(local(c->label));
            target->addWidget(cb, row, col++);
            bound.push_back({c, cb, nullptr});
            break;
        }
        case DLG_RADIO: {
            auto* rb = new QRadioButton(local(c->label));
            if (!group) {
                group = new QButtonGroup(&dlg);
                group_field = c->field;
            }
            group->addButton(rb);
            target->addWidget(rb, row, col++);
            bound.push_back({c, rb, group});
            break;
        }
        case DLG_BUTTON: {
            auto* b = new QPushButton(local(c->label));
            b->setAutoDefault(false);
            if (c->flags & DLG_DEFAULT) b->setDefault(true);
            int id = c->value;
            QObject::connect(b, &QPushButton::clicked, [&press, id] { press(id); });
            buttons->addWidget(b);
            break;
        }
        default: break;
        }
    }
    fill(bound, values);
    // Escape and the window's close box are Cancel.
    QObject::connect(&dlg, &QDialog::rejected, [&] {
        if (!done) press(IDCANCEL);
    });
    while (!done) {
        dlg.exec();
        if (!done) dlg.show();
    }
    return result;
}

// ---- the desktop ------------------------------------------------------------------

int plat_open_document(const char* path) {
    QFileInfo fi(local(path));
    if (!fi.exists()) return -1;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(fi.absoluteFilePath())) ? 0 : -2;
}
