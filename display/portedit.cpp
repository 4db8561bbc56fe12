// In-place editing of the display page's ports: the double-click, the
// options of a parameter and its actions, new and copied parameters.
#include "display/portedit.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/datatypes.h"
#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/page.h"
#include "core/pagefile.h"
#include "core/state.h"
#include "display/commands.h"
#include "display/editchecks.h"
#include "display/filecmds.h"
#include "display/grid.h"
#include "display/portdlg.h"
#include "display/steps.h"
#include "display/vport.h"
#include "engine/paramrecord.h"
#include "engine/port.h"
#include "platform/canvas.h"
#include "platform/ui.h"

PortEditHooks portedit_hooks;

void portedit_reset() { portedit_hooks = PortEditHooks{}; }

static int box(const char* text, const char* caption, unsigned flags) { return plat_message_box(text, caption, flags); }

static int display_page() { return pages.slot[SLOT_DISPLAY].page; }

static ZyrPort* display_port(int index) {
    return page_slot_port(SLOT_DISPLAY, index) ? zyr_port(index) : nullptr;
}

static const char* mnemonic_of(const ZyrPort* p) { return p->h.rec->mnemonic; }

// The cycle goes on behind a dialog, and a playback may change the page
// meanwhile: an edit is applied only to the page it was begun on.
static bool page_gone(uint32_t generation) {
    if (pages.generation == generation) return false;
    box("The page changed while the dialog was open:\nnothing was changed.", "Parameter Settings",
        MB_OK | MB_ICONEXCLAMATION);
    return true;
}

// A change on the page: the window shows it and the page is to be saved.
static void page_edited() {
    page_mark_changed(SLOT_DISPLAY);
    canvas_invalidate();
}

// ---- the double-click ------------------------------------------------------------

static bool display_locked_question() {
    if (!(zyr.SystemFlags & SF_DISPLAY_LOCK)) return false;
    if (box("The display is currently locked.\nPress Yes to unlock,\nNo or Cancel otherwise.", "Display Lock",
            MB_YESNOCANCEL | MB_ICONQUESTION) == IDYES)
        zyr.SystemFlags &= ~SF_DISPLAY_LOCK;
    return true;
}

// ---- New Parameter -----------------------------------------------------------------

struct NoParamValues {
    int32_t unused;
};
static const DlgControl kNoParamControls[] = {
    {DLG_BUTTON, "&New", 0, BTN_NEW, 0},
    {DLG_BUTTON, "Copy &from", 0, BTN_COPY_FROM, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
static const DlgForm kNoParamForm = {kNoParamControls, (int)std::size(kNoParamControls), nullptr};

static void new_parameter_dialog(int col, int row) {
    NoParamValues v{};
    int id = plat_dialog(&kNoParamForm, "New Parameter", &v);
    if (id == BTN_NEW) parameter_new(col, row);
    else if (id == BTN_COPY_FROM) parameter_copy_from(col, row);
}

void page_double_click(int col, int row) {
    if (display_locked_question()) return;
    if (pages.slot[SLOT_DISPLAY].count == 0) {
        box("No action - this is an empty page.\nChange to a valid page first.", "Settings", MB_OK | MB_ICONINFORMATION);
        return;
    }
    int i = vport_find_at(col, row, 1, 1);
    if (i < 0) i = -i;   // a plot: its port
    delete_lock = true;
    if (i >= pages.next_index) {
        new_parameter_dialog(col, row);
    } else if (!display_port(i)) {
        box("This is a system page 0,9999 parameter.\nPage 9999 parameters can be edited off-line.",
            "Parameter Settings", MB_OK | MB_ICONINFORMATION);
    } else {
        parameter_options(i);
    }
    delete_lock = false;
}

void portedit_mouse(int kind, int x, int y) {
    if (kind != MOUSE_DOUBLE || grid.cell_w <= 0 || grid.cell_h <= 0) return;
    page_double_click(x / grid.cell_w + grid.first_col, y / grid.cell_h + grid.first_row);
}

// ---- the options dialog ---------------------------------------------------------------

struct OptionsValues {
    int32_t index;
    uint32_t generation;      // the page the options were opened on
};

static int options_button(void* values, int id, DlgErrors*) {
    int index = ((OptionsValues*)values)->index;
    if (id != IDOK && id != IDCANCEL && page_gone(((OptionsValues*)values)->generation)) return DLG_CLOSE;
    switch (id) {
    case BTN_ALARM: parameter_alarm(index); break;
    case BTN_RECORD: parameter_record(index); break;
    case BTN_SETTINGS: parameter_settings(index); break;
    case BTN_COPY_TO:
        if (ZyrPort* p = display_port(index); p && (p->h.port_flags & PF_SUBCOM) &&
                                               box("This parameter is sub-commutated:\ncopying will disable the "
                                                   "sub-commutation.",
                                                   "Copy to", MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK)
            break;
        if (portedit_hooks.copy_to_page) portedit_hooks.copy_to_page(index);
        break;
    case BTN_DELETE: parameter_delete(index); break;
    default: break;
    }
    return DLG_CLOSE;
}

static const DlgControl kOptionsControls[] = {
    {DLG_BUTTON, "&Alarm", 0, BTN_ALARM, 0},
    {DLG_BUTTON, "&Record", 0, BTN_RECORD, 0},
    {DLG_BUTTON, "&Settings", 0, BTN_SETTINGS, 0},
    {DLG_BUTTON, "C&opy to", 0, BTN_COPY_TO, 0},
    {DLG_BUTTON, "&Delete", 0, BTN_DELETE, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
static const DlgForm kOptionsForm = {kOptionsControls, (int)std::size(kOptionsControls), options_button};

void parameter_options(int index) {
    ZyrPort* p = display_port(index);
    if (!p) return;
    char title[120];
    snprintf(title, sizeof title, "'%s' Options", mnemonic_of(p));
    OptionsValues v{index, pages.generation};
    bool held = delete_lock;
    delete_lock = true;
    plat_dialog(&kOptionsForm, title, &v);
    delete_lock = held;
}

int slot_mnemonics(int slot, bool (*keep)(const ZyrPort*), NameList* list) {
    const PageSlot& s = pages.slot[slot];
    for (int i = s.count ? s.first : 0; s.count && i <= s.last && list->count < DLG_LIST_MAX; i++) {
        ZyrPort* p = page_slot_port(slot, i) ? zyr_port(i) : nullptr;
        if (!p || !mnemonic_of(p)[0] || (keep && !keep(p))) continue;
        list->names[list->count] = mnemonic_of(p);
        list->index[list->count++] = i;
    }
    return list->count;
}

static int page_mnemonics(NameList* list) { return slot_mnemonics(SLOT_DISPLAY, nullptr, list); }

void parameter_command(int) {
    NameList list;
    list.count = 0;
    if (page_mnemonics(&list) == 0) {
        box("No action - this is an empty page.\nChange to a valid page first.", "Settings", MB_OK | MB_ICONINFORMATION);
        return;
    }
    int k = mnemonic_select("Select Parameter", list.names, list.count, 0);
    if (k < 0) return;
    parameter_options(list.index[k]);
}

// ---- Delete ------------------------------------------------------------------------------

// The two entries of a plot pair, or the port alone.
static void pair_of(int index, int* first, int* last) {
    *first = *last = index;
    PortHead* p = page_port(index);
    PortHead* next = page_port(index + 1);
    PortHead* prev = page_port(index - 1);
    if (p && (p->flags & RT_XPORT) && next && (next->port_flags & PF_PLOT)) *last = index + 1;
    if (p && (p->port_flags & PF_PLOT) && prev && (prev->flags & RT_XPORT)) *first = index - 1;
}

static bool last_parameter(int index) {
    int first, last;
    pair_of(index, &first, &last);
    const PageSlot& s = pages.slot[SLOT_DISPLAY];
    for (int i = s.first; s.count && i <= s.last; i++)
        if ((i < first || i > last) && page_slot_port(SLOT_DISPLAY, i)) return false;
    return true;
}

int parameter_delete(int index) {
    ZyrPort* p = display_port(index);
    if (!p) return -1;
    const char* cap = "Delete Parameter";
    if (p->h.port_flags & PF_SUBCOM) {
        box("This is a sub-com tag parameter: disable\nthe sub-com parent parameter first", cap, MB_OK | MB_ICONSTOP);
        return -1;
    }
    if (p->h.flags & RT_LENGTH) {
        box("This is a variable length packet parameter.\nYou must change the packet format to fixed length,\ni.e. "
            "non-zero, before you can delete this parameter",
            cap, MB_OK | MB_ICONSTOP);
        return -1;
    }
    if ((p->h.flags & RT_FILTER) &&
        box("This is a packet filter parameter.\nPress OK to stop filter and delete port.", cap, MB_OKCANCEL) != IDOK)
        return -1;
    bool last = last_parameter(index);
    uint32_t gen = pages.generation;
    char text[160];
    if (last)
        snprintf(text, sizeof text, "Deleting this last parameter will\nalso delete the page. OK ?");
    else
        snprintf(text, sizeof text, "Are you sure you want to\ndelete %s ?", mnemonic_of(p));
    if (box(text, cap, MB_OKCANCEL | MB_ICONQUESTION) != IDOK || page_gone(gen)) return -1;
    int first, end;
    pair_of(index, &first, &end);
    int page = display_page();
    for (int i = end; i >= first; i--) page_delete_port(i);
    canvas_invalidate();
    if (last) {
        pages.slot[SLOT_DISPLAY].changed = 0;
        if (portedit_hooks.delete_page_files) portedit_hooks.delete_page_files(page);
    } else {
        page_mark_changed(SLOT_DISPLAY);
    }
    return 0;
}

// ---- Settings ------------------------------------------------------------------------------

// The X port of the plot whose Y port is at index, when it is one.
static void pair_load(int index, PortPair* pair) {
    memset(pair, 0, sizeof *pair);
    PortHead* y = page_port(index);
    PortHead* x = page_port(index - 1);
    if (y && (y->port_flags & PF_PLOT) && x && (x->flags & RT_XPORT)) {
        page_port_record(x, &pair->x);
        pair->has_x = true;
    }
}

// Settings taken from the dialog onto the port at index (and its X port):
// the index of the port then, or -1 when they could not be applied.
static int settings_apply(int index, PortRecord* rec, PortPair* pair) {
    if (pair->new_plot) {
        // A plot needs its X port just before it: the pair is made anew.
        page_delete_port(index);
        int yi = CreateZYRPortVHL(rec, &pair->x, SLOT_DISPLAY);
        if (yi < 0) error_box("Cannot create the plot", "Out of memory or table full");
        page_mark_plot_pairs();
        return yi;
    }
    if (pair->x_changed && page_replace_port(index - 1, &pair->x) != 0)
        error_box("Cannot apply the X value settings", "The X value port is kept as it was");
    int rc = page_replace_port(index, rec);
    if (rc != 0) error_box("Cannot apply the settings", "The parameter is kept as it was");
    page_link_subcom_tags(SLOT_DISPLAY);
    return rc == 0 ? index : -1;
}

static bool has_feature(const ZyrPort* p) {
    return (p->h.port_flags & (PF_ALARM | PF_RECORD)) || (p->h.flags & RT_FILTER) || p->rec_kind != REC_NONE;
}

int parameter_settings(int index) {
    ZyrPort* p = display_port(index);
    if (!p) return -1;
    if (p->h.flags & RT_LENGTH) {
        box("This parameter is configured as a variable length\npacket parameter.\n\nPlease switch to a fixed length, "
            "i.e. non zero, fixed\npacket length format before editing this parameter.\n\nThis is a temporary "
            "restriction which will be removed\nin the next version.",
            "Settings", MB_OK | MB_ICONSTOP);
        return -1;
    }
    bool feature = has_feature(p);
    uint32_t gen = pages.generation;
    if (feature && box("This parameter has an alarm or recording\nset or is used a packet filter.\n\nIf you wish to "
                       "change any setttings, you\nwill be requested to switch off the feature.\n",
                       "Settings", MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK)
        return -1;
    PortRecord rec;
    page_port_record(&p->h, &rec);
    PortPair pair;
    pair_load(index, &pair);
    if (port_settings_dialog(index, &rec, &pair) != IDOK || page_gone(gen)) return -1;
    if (feature) {
        if (box("This parameter has an alarm or recording set\nor is used a packet filter.\n\nPressing OK will save "
                "the new parameter\nsettings but will unconditionallyswitch\noff the feature.\n\nPressing Cancel will "
                "lose any new\nsettings but leave the feature on.\n",
                "Save Parameter Settings", MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK)
            return -1;
        if (page_gone(gen)) return -1;
        rec.port_flags &= ~(PF_ALARM | PF_RECORD | PF_FILTER);
    }
    int rc = settings_apply(index, &rec, &pair) < 0 ? -1 : 0;
    page_edited();
    return rc;
}

// ---- Alarm -------------------------------------------------------------------------------

int parameter_alarm(int index) {
    ZyrPort* p = display_port(index);
    if (!p) return -1;
    PortRecord rec;
    page_port_record(&p->h, &rec);
    uint32_t gen = pages.generation;
    int rc = alarm_dialog(&rec, p->data_type);
    if (rc <= 0 || page_gone(gen)) return -1;
    if (page_replace_port(index, &rec) != 0) error_box("Cannot create alarm", "Out of memory");
    page_edited();
    return 0;
}

// ---- Record -------------------------------------------------------------------------------

// The Save As dialog of a parameter record file, with the proposed name.
int record_file_dialog(const char* title, const char* mnemonic, char* path, size_t cap) {
    char proposed[16];
    record_file_proposal(mnemonic, proposed, sizeof proposed);
    PlatFileDialog d{title, "Text Files(*.TXT)|*.txt|All Files(*.*)|*.*|", 1, "txt", proposed, FD_SAVE |
                     FD_PATH_MUST_EXIST};
    if (!plat_file_dialog(&d, path, cap)) return 0;
    if (zyr_fopen_by_name(path) == 0) {
        box("Cannot open the file as\nit is already in use by ZYR", title, MB_OK | MB_ICONSTOP);
        return 0;
    }
    return 1;
}

int parameter_record(int index) {
    ZyrPort* p = display_port(index);
    if (!p) return -1;
    if (p->rec_kind == REC_ALARM || (p->h.port_flags & PF_ALARM && p->h.rec->alarm_flags & AL_FILE)) {
        box("Cannot record as this parameter\nalready has an alarm recording on.\n", "Record", MB_OK | MB_ICONSTOP);
        return -1;
    }
    char title[120];
    if (p->rec_kind == REC_PARAM) {
        char text[200];
        snprintf(title, sizeof title, "'%s' Record", mnemonic_of(p));
        snprintf(text, sizeof text, "Parameter '%s' record: ON\nSwitch OFF Y/N ?", mnemonic_of(p));
        uint32_t gen = pages.generation;
        if (box(text, title, MB_YESNO | MB_ICONQUESTION) != IDYES || page_gone(gen)) return -1;
        param_record_close(p, true);
        p->h.port_flags &= ~PF_RECORD;
        p->h.rec->port_flags &= ~PF_RECORD;
        page_edited();
        return 0;
    }
    snprintf(title, sizeof title, "Parameter '%s' Record", mnemonic_of(p));
    char path[261];
    uint32_t gen = pages.generation;
    if (!record_file_dialog(title, mnemonic_of(p), path, sizeof path) || page_gone(gen)) return -1;
    int rc = param_record_open(p, path, REC_PARAM);
    if (rc == -2) {
        box("Cannot open the file as\nit is already in use by ZYR", title, MB_OK | MB_ICONSTOP);
        return -1;
    }
    if (rc != 0) {
        error_box("Cannot open record file.", "File in use ? Recording cancelled");
        return -1;
    }
    snprintf(p->h.rec->filename, sizeof p->h.rec->filename, "%s", path);
    p->h.port_flags |= PF_RECORD;
    p->h.rec->port_flags |= PF_RECORD;
    page_edited();
    return 0;
}

// ---- new and copied parameters ---------------------------------------------------------------

int read_port_from_file(const char* path, const char* mnemonic, PortRecord* y, PortRecord* x, bool* has_x) {
    char found[300];
    int f = page_find_file(path, found, sizeof found) == 0 ? page_file_open_read(found) : -1;
    if (f < 0) return -1;
    PageRecordBody body, prev;
    bool have_prev = false;
    int rc = -1;
    for (;;) {
        int r = page_read_record(f, &body);
        if (r <= 0) break;
        if (r != (int)TAG_PORT) continue;
        if (strncmp(body.port.mnemonic, mnemonic, sizeof body.port.mnemonic) == 0) {
            *y = body.port;
            // A plot pairs with the port before it when that is no plot
            // itself, as the page builder pairs them.
            *has_x = (body.port.port_flags & PF_PLOT) && have_prev && !(prev.port.port_flags & PF_PLOT);
            if (*has_x) *x = prev.port;
            rc = 0;
            break;
        }
        prev = body;
        have_prev = true;
    }
    zyr_fclose(f);
    return rc;
}

// Moves a port (and its plot) so that its frame's origin is at the cell.
static void place_at(PortRecord* y, PortRecord* x, bool has_x, int col, int row) {
    int drow = row - (int)y->row, dcol = col - (int)y->column;
    auto moved = [](int v, int d) { return (uint16_t)(v + d < 1 ? 1 : v + d > 200 ? 200 : v + d); };
    y->row = moved(y->row, drow);
    y->column = moved(y->column, dcol);
    if (y->port_flags & PF_PLOT) {
        y->plot_row = moved(y->plot_row, drow);
        y->plot_column = moved(y->plot_column, dcol);
    }
    if (has_x) {
        x->row = moved(x->row, drow);
        x->column = moved(x->column, dcol);
    }
}

// Adds the port (and its X port) to the page at the cell, then its
// settings; Cancel there takes it off again.
static int add_port(PortRecord* y, PortRecord* x, bool has_x, int col, int row) {
    place_at(y, x, has_x, col, row);
    y->port_flags &= ~(PF_VARPKTLEN | PF_FILTER | PF_SUBCOM | PF_XPORT);
    if ((y->port_flags & PF_PLOT) && !has_x) y->port_flags &= ~PF_PLOT;
    int yi = CreateZYRPortVHL(y, has_x ? x : nullptr, SLOT_DISPLAY);
    if (yi < 0) {
        error_box("Cannot create the parameter", "Out of memory or table full");
        return -1;
    }
    page_mark_plot_pairs();
    page_edited();
    PortRecord rec;
    page_port_record(page_port(yi), &rec);
    PortPair pair;
    pair_load(yi, &pair);
    uint32_t gen = pages.generation;
    int id = port_settings_dialog(yi, &rec, &pair);
    if (page_gone(gen)) return -1;   // the new port went with its page
    if (id != IDOK) {
        int first, last;
        pair_of(yi, &first, &last);
        for (int i = last; i >= first; i--) page_delete_port(i);
        canvas_invalidate();
        return -1;
    }
    int applied = settings_apply(yi, &rec, &pair);
    canvas_invalidate();
    // Settings that could not be applied leave the new port as it came.
    return applied < 0 && !pair.new_plot ? yi : applied;
}

static const char* const kTemplates[] = {"VPORT_default", "PLOT_EXMPL"};

static bool system_page(int page) { return page == 0 || page == 9998 || page == 9999; }

int parameter_new(int col, int row) {
    if (system_page(display_page())) {
        box("Cannot perform this operation\non pages 0,9998,9999", "Page Operation", MB_OK | MB_ICONSTOP);
        return -1;
    }
    NameList list;
    list.count = 0;
    for (const char* t : kTemplates) {
        list.names[list.count] = t;
        list.index[list.count++] = -1;
    }
    page_mnemonics(&list);
    int k = mnemonic_select("Select new port template", list.names, list.count, 0);
    if (k < 0) return -1;
    PortRecord y, x;
    bool has_x = false;
    int model = list.index[k];
    if (model < 0) {
        char path[300];
        if (page_file_path(pages.dir, 9998, "BIN", path, sizeof path) != 0 ||
            read_port_from_file(path, list.names[k], &y, &x, &has_x) != 0) {
            char text[120];
            snprintf(text, sizeof text, "Template '%s' not found", list.names[k]);
            error_box(text, "on page 9998");
            return -1;
        }
    } else {
        page_port_record(page_port(model), &y);
        int first, last;
        pair_of(model, &first, &last);
        has_x = first < model;
        if (has_x) page_port_record(page_port(first), &x);
    }
    return add_port(&y, &x, has_x, col, row);
}

// NewMnemonicSelect: the parameters of the chosen page, under its name.
struct CopySelectValues {
    char from[24 + PROMPT_LINE_MAX];
    DlgList list;
};
static const DlgControl kCopySelectControls[] = {
    {DLG_TEXT, "", (uint32_t)offsetof(CopySelectValues, from), 0, 0},
    {DLG_LIST, "&Parameter", (uint32_t)offsetof(CopySelectValues, list), 0, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
static const DlgForm kCopySelectForm = {kCopySelectControls, (int)std::size(kCopySelectControls), nullptr};

static int copy_select(const char* path, const NameList& list) {
    CopySelectValues v{};
    char shortened[PROMPT_LINE_MAX + 1];
    path_shorten(path, PROMPT_LINE_MAX, shortened, sizeof shortened);
    snprintf(v.from, sizeof v.from, "Copy Parameter from:\n%s", shortened);
    v.list = DlgList{list.names, list.count, 0, {}};
    if (plat_dialog(&kCopySelectForm, "Select Parameter to Copy", &v) != IDOK) return -1;
    return v.list.selected >= 0 && v.list.selected < list.count ? v.list.selected : -1;
}

int parameter_copy_from(int col, int row) {
    if (system_page(display_page())) {
        box("Cannot perform this operation\non pages 0,9998,9999", "Page Operation", MB_OK | MB_ICONSTOP);
        return -1;
    }
    char path[261];
    int page = -1;
    if (!portedit_hooks.choose_page || !portedit_hooks.choose_page("Copy parameter from Page", path, sizeof path, &page))
        return -1;
    if (page == 0 || page == 9999) {
        box("Cannot perform this operation\nwith pages 0,9999", "Page Operation", MB_OK | MB_ICONSTOP);
        return -1;
    }
    // The port records of the chosen page, in a pool block of the list's size.
    PortRecord* recs = (PortRecord*)QOBmalloc(sizeof(PortRecord) * DLG_LIST_MAX);
    if (!recs) return -1;
    int n = 0;
    int f = page_file_open_read(path);
    if (f >= 0) {
        PageRecordBody body;
        int tag;
        while ((tag = page_read_record(f, &body)) > 0)
            if (tag == (int)TAG_PORT && n < DLG_LIST_MAX) recs[n++] = body.port;
        zyr_fclose(f);
    }
    NameList list;
    list.count = 0;
    for (int i = 0; i < n; i++) {
        list.names[list.count] = recs[i].mnemonic;
        list.index[list.count++] = i;
    }
    int k = n ? copy_select(path, list) : -1;
    int rc = -1;
    if (k >= 0) {
        PortRecord y = recs[k], x{};
        bool has_x = (y.port_flags & PF_PLOT) && k > 0 && !(recs[k - 1].port_flags & PF_PLOT);
        if (has_x) x = recs[k - 1];
        rc = add_port(&y, &x, has_x, col, row);
    }
    QOBfree(recs);
    return rc;
}

void portedit_register() {
    menu_hooks.mouse = portedit_mouse;
    command_register(CMD_PARAMETER, parameter_command);
}
