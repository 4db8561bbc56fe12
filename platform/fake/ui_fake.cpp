// Fake window system for unit tests: boxes answer from a queue and are
// recorded, quitting and the timer are plain state the test reads and drives.
#include "platform/fake/ui_fake.h"

#include <sys/stat.h>

#include <cstring>
#include <deque>
#include <map>

#include "platform/ui.h"

static std::vector<FakeMenuItem> g_menu;
static std::deque<std::string> g_file_answers;
static std::vector<FakeFileDialog> g_file_dialogs;
static std::deque<FakeDialogAnswer> g_dialog_answers;
static std::vector<FakeShownDialog> g_dialogs;
static std::vector<std::string> g_documents;
static std::map<int, std::pair<unsigned, FdHandler>> g_fds;

static std::deque<int> g_answers;
static std::vector<FakeBox> g_boxes;
static int g_beeps;
static bool g_quit;
static int g_quit_code;
static TickFn g_tick;
static int g_period;
static bool g_fail_timer;
static int g_nonblocking_open;

static std::string g_title;

static FakePlacement g_placement;

void fake_ui_reset() {
    g_placement = FakePlacement{};
    g_title.clear();
    g_answers.clear();
    g_boxes.clear();
    g_beeps = 0;
    g_quit = false;
    g_quit_code = 0;
    g_tick = nullptr;
    g_period = 0;
    g_fail_timer = false;
    g_nonblocking_open = 0;
    g_menu.clear();
    g_file_answers.clear();
    g_file_dialogs.clear();
    g_dialog_answers.clear();
    g_dialogs.clear();
    g_documents.clear();
    g_fds.clear();
}

void fake_ui_answer(int answer) { g_answers.push_back(answer); }
const std::vector<FakeBox>& fake_ui_boxes() { return g_boxes; }
int fake_ui_beeps() { return g_beeps; }
bool fake_ui_quit_posted() { return g_quit; }
int fake_ui_quit_code() { return g_quit_code; }
bool fake_ui_timer_running() { return g_tick != nullptr; }
int fake_ui_timer_period() { return g_period; }
void fake_ui_fail_timer(bool fail) { g_fail_timer = fail; }
void fake_ui_close_nonblocking() { g_nonblocking_open = 0; }

void fake_ui_fire_timer() {
    if (g_tick) g_tick();
}

int plat_message_box(const char* text, const char* caption, unsigned flags) {
    plat_beep();
    g_boxes.push_back({text, caption, flags, false});
    if (g_answers.empty()) return IDOK;
    int a = g_answers.front();
    g_answers.pop_front();
    return a;
}

int plat_nonblocking_box(const char* text, const char* caption) {
    if (g_nonblocking_open) return -1;
    g_nonblocking_open = 1;
    g_boxes.push_back({text, caption, MB_OK | MB_ICONEXCLAMATION, true});
    return 0;
}

int plat_nonblocking_open() { return g_nonblocking_open; }
void plat_beep() { g_beeps++; }

void plat_post_quit(int code) {
    if (g_quit) return;
    g_quit = true;
    g_quit_code = code;
}

int plat_start_timer(int period_ms, TickFn fn) {
    if (g_fail_timer) return -1;
    g_period = period_ms;
    g_tick = fn;
    return 0;
}

void plat_stop_timer() { g_tick = nullptr; }

static FakeScroll g_scroll[2];
void plat_set_scroll(int bar, int first, int last, int page, int pos) {
    if (bar == 0 || bar == 1) g_scroll[bar] = FakeScroll{first, last, page, pos};
}
FakeScroll fake_ui_scroll(int bar) { return g_scroll[bar == 1 ? 1 : 0]; }
void plat_place_window(int x, int y, int w, int h) { g_placement = FakePlacement{x, y, w, h}; }
FakePlacement fake_ui_placement() { return g_placement; }
void plat_set_title(const char* title) { g_title = title ? title : ""; }
const std::string& fake_ui_title() { return g_title; }

// ---- menus -------------------------------------------------------------------

void fake_ui_build_menu(const PlatMenuItem* items, int count) {
    g_menu.clear();
    for (int i = 0; i < count; i++)
        g_menu.push_back({items[i].menu, items[i].text ? items[i].text : "", items[i].command, false,
                          !(items[i].flags & MI_GREY)});
}

const std::vector<FakeMenuItem>& fake_ui_menu() { return g_menu; }

static FakeMenuItem* find_item(int command) {
    for (FakeMenuItem& m : g_menu)
        if (command && m.command == command) return &m;
    return nullptr;
}

const FakeMenuItem* fake_ui_menu_item(int command) { return find_item(command); }

void plat_menu_check(int command, bool on) {
    if (FakeMenuItem* m = find_item(command)) m->checked = on;
}

void plat_menu_enable(int command, bool on) {
    if (FakeMenuItem* m = find_item(command)) m->enabled = on;
}

void plat_menu_add(const char* menu, const char* text, int command) {
    if (text) plat_menu_remove(command);
    g_menu.push_back({menu, text ? text : "", command, false, true});
}

void plat_menu_remove(int command) {
    for (size_t i = 0; i < g_menu.size(); i++)
        if (command && g_menu[i].command == command) {
            g_menu.erase(g_menu.begin() + (long)i);
            return;
        }
}

bool plat_menu_has(int command) { return find_item(command) != nullptr; }

// ---- file dialogs ----------------------------------------------------------------

void fake_ui_file_answer(const std::string& path) { g_file_answers.push_back(path); }
const std::vector<FakeFileDialog>& fake_ui_file_dialogs() { return g_file_dialogs; }

static std::string str(const char* s) { return s ? s : ""; }

int plat_file_dialog(const PlatFileDialog* d, char* path, size_t cap) {
    g_file_dialogs.push_back({str(d->title), str(d->filter), str(d->default_ext), str(d->proposed), d->filter_index,
                              d->flags});
    if (g_file_answers.empty()) return 0;
    std::string a = g_file_answers.front();
    g_file_answers.pop_front();
    if (a.empty() || a.size() + 1 > cap) return 0;
    memcpy(path, a.c_str(), a.size() + 1);
    return 1;
}

// ---- dialog forms ------------------------------------------------------------------

static std::string plain(const char* label) {
    std::string out;
    for (const char* p = label ? label : ""; *p; p++)
        if (*p != '&') out += *p;
    return out;
}

const DlgControl* FakeDialog::control(const std::string& label) const {
    for (int i = 0; i < form->count; i++) {
        const DlgControl& c = form->controls[i];
        if (c.label && (label == c.label || label == plain(c.label))) return &c;
    }
    return nullptr;
}

static char* field_of(const FakeDialog& d, const DlgControl* c) { return (char*)d.values + c->field; }

void FakeDialog::set_edit(const std::string& label, const std::string& text) const {
    const DlgControl* c = control(label);
    if (!c || c->kind != DLG_EDIT) return;
    std::string t = text.substr(0, (size_t)(c->value > 0 ? c->value : 80));
    memcpy(field_of(*this, c), t.c_str(), t.size() + 1);
}

void FakeDialog::set_check(const std::string& label, bool on) const {
    const DlgControl* c = control(label);
    if (c && c->kind == DLG_CHECK) *(int32_t*)field_of(*this, c) = on ? 1 : 0;
}

void FakeDialog::choose(const std::string& radio_label) const {
    const DlgControl* c = control(radio_label);
    if (c && c->kind == DLG_RADIO) *(int32_t*)field_of(*this, c) = c->value;
}

void FakeDialog::select(const std::string& list_label, int index) const {
    const DlgControl* c = control(list_label);
    if (!c || (c->kind != DLG_LIST && c->kind != DLG_COMBO)) return;
    DlgList* l = (DlgList*)field_of(*this, c);
    l->selected = index >= 0 && index < l->count ? index : -1;
    if (l->selected >= 0) snprintf(l->text, sizeof l->text, "%s", l->items[index]);
}

void FakeDialog::type(const std::string& combo_label, const std::string& text) const {
    const DlgControl* c = control(combo_label);
    if (!c || c->kind != DLG_COMBO) return;
    DlgList* l = (DlgList*)field_of(*this, c);
    snprintf(l->text, sizeof l->text, "%s", text.c_str());
    l->selected = -1;
    for (int i = 0; i < l->count; i++)
        if (text == l->items[i]) l->selected = i;
}

std::string FakeDialog::text_of(uint32_t field) const { return (const char*)values + field; }

void fake_ui_dialog_answer(FakeDialogAnswer answer) { g_dialog_answers.push_back(std::move(answer)); }
void fake_ui_dialog_press(int id) {
    fake_ui_dialog_answer([id](const FakeDialog&) { return id; });
}
void fake_ui_dialog_edit(const std::string& label, const std::string& text) {
    fake_ui_dialog_answer([label, text](const FakeDialog& d) {
        d.set_edit(label, text);
        return (int)IDOK;
    });
}
int fake_ui_dialog_answers_left() { return (int)g_dialog_answers.size(); }
const std::vector<FakeShownDialog>& fake_ui_dialogs() { return g_dialogs; }

// The texts an operator sees now: static texts and edit fields.
static void snapshot(const DlgForm* form, void* values, std::vector<std::string>& out) {
    for (int i = 0; i < form->count; i++) {
        const DlgControl& c = form->controls[i];
        if (c.kind == DLG_TEXT)
            out.push_back((c.flags & DLG_CAPTION) ? str(c.label) : std::string((const char*)values + c.field));
        else if (c.kind == DLG_EDIT)
            out.push_back((const char*)values + c.field);
    }
}

int plat_dialog(const DlgForm* form, const char* title, void* values) {
    size_t me = g_dialogs.size();
    g_dialogs.push_back({str(title), {}, {}});
    // An answer may open another dialog, so this one is found by index.
    for (int presses = 0; presses < 1000; presses++) {
        snapshot(form, values, g_dialogs[me].texts);
        int id = IDCANCEL;
        if (!g_dialog_answers.empty()) {
            FakeDialogAnswer a = std::move(g_dialog_answers.front());
            g_dialog_answers.pop_front();
            id = a(FakeDialog{form, str(title), values});
        }
        DlgErrors errors{};
        int r = form->button ? form->button(values, id, &errors) : DLG_CLOSE;
        for (int i = 0; i < errors.count; i++) {
            char label[100];
            dlg_field_label(form, errors.field[i], label, sizeof label);
            g_dialogs[me].errors.push_back(label[0] ? std::string(label) + ": " + errors.text[i] : errors.text[i]);
        }
        if (errors.count) plat_beep();
        if (r == DLG_CLOSE) return id;
        // Cancel that keeps the dialog open with no answer left would loop.
        if (id == IDCANCEL && g_dialog_answers.empty()) return IDCANCEL;
    }
    return IDCANCEL;
}

// ---- desktop, descriptors ------------------------------------------------------------

int plat_open_document(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0) return -1;
    g_documents.push_back(path);
    return 0;
}
const std::vector<std::string>& fake_ui_opened_documents() { return g_documents; }
void plat_busy(bool) {}

int plat_watch_fd(int fd, unsigned events, FdHandler handler) {
    if (fd < 0 || !handler) return -1;
    g_fds[fd] = {events, handler};
    return 0;
}
void plat_unwatch_fd(int fd) { g_fds.erase(fd); }
unsigned fake_ui_fd_watched(int fd) {
    auto it = g_fds.find(fd);
    return it == g_fds.end() ? 0 : it->second.first;
}
void fake_ui_fd_ready(int fd, unsigned ready) {
    auto it = g_fds.find(fd);
    if (it != g_fds.end() && (it->second.first & ready)) it->second.second(fd, ready & it->second.first);
}
