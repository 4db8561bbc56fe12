// The settings dialogs of a port: tables of controls bound to the values
// the checks of editchecks take, and the procedures behind their buttons.
#include "display/portdlg.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/datatypes.h"
#include "core/mempool.h"
#include "core/page.h"
#include "core/pagefile.h"
#include "core/state.h"
#include "core/symtab.h"
#include "display/commands.h"
#include "display/editchecks.h"
#include "display/portedit.h"
#include "display/steps.h"
#include "display/sysdlg.h"
#include "engine/port.h"
#include "platform/ui.h"

const char* const kColourItems[16] = {"black",    "blue",      "green",     "cyan",        "red",    "magenta",
                                      "brown",    "lightgrey", "darkgrey",  "highblue",    "highgreen", "highcyan",
                                      "highred",  "highmagenta", "yellow",  "white"};

static void colour_list(DlgList* l, int colour) {
    l->items = kColourItems;
    l->count = 16;
    l->selected = colour >= 0 && colour < 16 ? colour : 0;
}

static int list_colour(const DlgList& l, int fallback) { return l.selected >= 0 && l.selected < 16 ? l.selected : fallback; }

// ---- the plot settings (plotport) ---------------------------------------------------

struct PlotForm {
    PlotValues v;     // first: the checks' field offsets are the form's
    DlgList bg, title, border, plot, axis, label, grid;
};
static_assert(offsetof(PlotForm, v) == 0);

#define PF(m) (uint32_t) offsetof(PlotForm, m)
static const DlgControl kPlotControls[] = {
    {DLG_EDIT, "&Row", PF(v.row), 7, 0},
    {DLG_EDIT, "&Column", PF(v.column), 7, DLG_SAME_ROW},
    {DLG_EDIT, "&Width", PF(v.width), 7, 0},
    {DLG_EDIT, "&Height", PF(v.height), 7, DLG_SAME_ROW},
    {DLG_EDIT, "Max. Poi&nts", PF(v.maxpoints), 11, 0},
    {DLG_CHECK, "&Auto Plot X", PF(v.autox), 0, 0},
    {DLG_CHECK, "Aut&o Plot Y", PF(v.autoy), 0, DLG_SAME_ROW},
    {DLG_CHECK, "Auto Re&fresh X", PF(v.refreshx), 0, 0},
    {DLG_CHECK, "Auto R&efresh Y", PF(v.refreshy), 0, DLG_SAME_ROW},
    {DLG_CHECK, "&Backward", PF(v.backward), 0, 0},
    {DLG_CHECK, "&Forward", PF(v.forward), 0, DLG_SAME_ROW},
    {DLG_CHECK, "&Grid", PF(v.grid), 0, 0},
    {DLG_CHECK, "Li&ne Plot", PF(v.line), 0, DLG_SAME_ROW},
    {DLG_EDIT, "&X Title", PF(v.xtitle), 80, 0},
    {DLG_EDIT, "Plot T&itle", PF(v.title), 80, 0},
    {DLG_EDIT, "&Y Title", PF(v.ytitle), 80, 0},
    {DLG_EDIT, "X &Lower", PF(v.xlower), 31, 0},
    {DLG_EDIT, "X &Upper", PF(v.xupper), 31, DLG_SAME_ROW},
    {DLG_EDIT, "Y L&ower", PF(v.ylower), 31, 0},
    {DLG_EDIT, "Y Upp&er", PF(v.yupper), 31, DLG_SAME_ROW},
    {DLG_GROUP, "Colours", 0, 0, 0},
    {DLG_LIST, "Background", PF(bg), 0, 0},
    {DLG_LIST, "Title", PF(title), 0, DLG_SAME_ROW},
    {DLG_LIST, "Border", PF(border), 0, 0},
    {DLG_LIST, "Plot", PF(plot), 0, DLG_SAME_ROW},
    {DLG_LIST, "Axis", PF(axis), 0, 0},
    {DLG_LIST, "Axis label", PF(label), 0, DLG_SAME_ROW},
    {DLG_LIST, "Grid colour", PF(grid), 0, 0},
    {DLG_GROUP, nullptr, 0, 0, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
#undef PF

static int plot_button(void* values, int id, DlgErrors*);
static const DlgForm kPlotForm = {kPlotControls, (int)std::size(kPlotControls), plot_button};

static int plot_button(void* values, int id, DlgErrors*) {
    if (id != IDOK) return DLG_CLOSE;
    DlgErrors e{};
    if (plot_settings_check(&((PlotForm*)values)->v, &e) == 0) return DLG_CLOSE;
    field_error_box(&kPlotForm, "!! INVALID Plot Settings !!", &e);
    return DLG_STAY;
}

int plot_settings_dialog(PortRecord* rec) {
    PlotForm f{};
    plot_values_from(rec, &f.v);
    colour_list(&f.bg, rec->plot_backgroundcolor);
    colour_list(&f.title, rec->plot_titlecolor);
    colour_list(&f.border, rec->plot_bordercolor);
    colour_list(&f.plot, rec->plotcolor);
    colour_list(&f.axis, rec->axiscolor);
    colour_list(&f.label, rec->axislabelcolor);
    colour_list(&f.grid, rec->gridcolor);
    char title[120];
    snprintf(title, sizeof title, "Parameter '%.80s' Plot Settings", rec->mnemonic);
    if (plat_dialog(&kPlotForm, title, &f) != IDOK) return IDCANCEL;
    plot_values_to(&f.v, rec);
    rec->plot_backgroundcolor = (uint16_t)list_colour(f.bg, 1);
    rec->plot_titlecolor = (uint16_t)list_colour(f.title, 15);
    rec->plot_bordercolor = (uint16_t)list_colour(f.border, 15);
    rec->plotcolor = (uint16_t)list_colour(f.plot, 14);
    rec->axiscolor = (uint16_t)list_colour(f.axis, 0);
    rec->axislabelcolor = (uint16_t)list_colour(f.label, 0);
    rec->gridcolor = (uint16_t)list_colour(f.grid, 7);
    return IDOK;
}

// ---- calibration and bit operation -------------------------------------------------------

struct CalibForm {
    CalibValues v;
};

#define CF(m) (uint32_t) offsetof(CalibForm, m)
static const DlgControl kCalibControls[] = {
    {DLG_EDIT, "&Bitmask", CF(v.bitmask), 15, 0},
    {DLG_EDIT, "&Modulus", CF(v.modulus), 31, 0},
    {DLG_EDIT, "&Quotient", CF(v.quotient), 31, DLG_SAME_ROW},
    {DLG_CHECK, "&Reciprocal", CF(v.reciprocal), 0, 0},
    {DLG_CHECK, "B&yteswap", CF(v.byteswap), 0, DLG_SAME_ROW},
    {DLG_EDIT, "a&4", CF(v.a[4]), 31, 0},
    {DLG_EDIT, "a&3", CF(v.a[3]), 31, 0},
    {DLG_EDIT, "a&2", CF(v.a[2]), 31, 0},
    {DLG_EDIT, "a&1", CF(v.a[1]), 31, 0},
    {DLG_EDIT, "a&0", CF(v.a[0]), 31, 0},
    {DLG_EDIT, "&Average Count", CF(v.average), 7, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
static const DlgControl kBitopControls[] = {
    {DLG_EDIT, "&Bitmask", CF(v.bitmask), 15, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
#undef CF

static int g_calib_type;   // display type of the port being calibrated

static int calib_button(void* values, int id, DlgErrors*);
static int bitop_button(void* values, int id, DlgErrors*);
static const DlgForm kCalibForm = {kCalibControls, (int)std::size(kCalibControls), calib_button};
static const DlgForm kBitopForm = {kBitopControls, (int)std::size(kBitopControls), bitop_button};

static int calib_button(void* values, int id, DlgErrors*) {
    if (id != IDOK) return DLG_CLOSE;
    DlgErrors e{};
    if (calib_settings_check(&((CalibForm*)values)->v, g_calib_type, &e) == 0) return DLG_CLOSE;
    field_error_box(&kCalibForm, "!! INVALID Calibration Settings !!", &e);
    return DLG_STAY;
}

static int bitop_button(void* values, int id, DlgErrors*) {
    if (id != IDOK) return DLG_CLOSE;
    DlgErrors e{};
    uint32_t mask;
    if (bitmask_check(((CalibForm*)values)->v.bitmask, (uint32_t)offsetof(CalibForm, v.bitmask), &mask, &e) == 0)
        return DLG_CLOSE;
    field_error_box(&kBitopForm, "!! INVALID Bitmask Settings !!", &e);
    return DLG_STAY;
}

// A constant in the calibration type of the display format.
static void const_text(const CalConst& c, bool real, char* out, size_t cap) {
    if (real) snprintf(out, cap, "%.15g", c.d);
    else snprintf(out, cap, "%ld", (long)c.i);
}

static bool const_read(const char* text, bool real, CalConst* c) {
    double d;
    if (field_number(text, -1e300, 1e300, &d) != 0) return false;
    memset(c, 0, sizeof *c);
    if (real) c->d = d;
    else c->i = (int32_t)d;
    return true;
}

static void calib_from(const PortRecord* r, bool real, CalibValues* v) {
    // No mask is an empty field: a zero mask would be refused.
    if (r->cal.calflags & CAL_BITMASK) bitmask_text(r->cal.bitmask, v->bitmask, sizeof v->bitmask);
    if (r->cal.calflags & CAL_MODULUS) const_text(r->cal.modulus, real, v->modulus, sizeof v->modulus);
    if (r->cal.calflags & CAL_QUOTIENT) const_text(r->cal.quotient, real, v->quotient, sizeof v->quotient);
    v->reciprocal = (r->cal.calflags & CAL_RECIPROCAL) != 0;
    v->byteswap = (r->cal.calflags & (CAL_INTEGERBYTESWAP | CAL_LONGBYTESWAP | CAL_DOUBLEBYTESWAP)) != 0;
    const CalConst* a[5] = {&r->cal.a0, &r->cal.a1, &r->cal.a2, &r->cal.a3, &r->cal.a4};
    for (int i = 0; i < 5; i++)
        if (r->cal.calflags & (1u << i)) const_text(*a[i], real, v->a[i], sizeof v->a[i]);
    snprintf(v->average, sizeof v->average, "%u", (unsigned)r->cal.avgsamples);
}

static void calib_to(const CalibValues* v, bool real, int raw_type, PortRecord* r) {
    CalibBlock& c = r->cal;
    uint32_t mask;
    DlgErrors e{};
    uint32_t flags = c.calflags & ~(CAL_COEFF_MASK | CAL_MODULUS | CAL_QUOTIENT | CAL_RECIPROCAL | CAL_BITMASK |
                                    CAL_INTEGERBYTESWAP | CAL_LONGBYTESWAP | CAL_DOUBLEBYTESWAP);
    if (v->bitmask[0] && bitmask_check(v->bitmask, 0, &mask, &e) == 0) {
        c.bitmask = mask;
        flags |= CAL_BITMASK;
    }
    if (v->modulus[0] && const_read(v->modulus, real, &c.modulus)) flags |= CAL_MODULUS;
    if (v->quotient[0] && const_read(v->quotient, real, &c.quotient)) flags |= CAL_QUOTIENT;
    if (v->reciprocal) flags |= CAL_RECIPROCAL;
    if (v->byteswap) {
        int size = dt_value_size(raw_type);
        flags |= raw_type == DT_DOUBLE ? CAL_DOUBLEBYTESWAP : size == 4 ? CAL_LONGBYTESWAP : CAL_INTEGERBYTESWAP;
    }
    // The coefficients given form a prefix a0, a0-a1, ... (1, 3, 7, 15, 31).
    CalConst* a[5] = {&c.a0, &c.a1, &c.a2, &c.a3, &c.a4};
    int given = 0;
    for (int i = 0; i < 5; i++)
        if (v->a[i][0] && const_read(v->a[i], real, a[i])) given = i + 1;
    flags |= (1u << given) - 1;
    long avg;
    if (field_whole(v->average, 0, 32767, &avg) == 0) c.avgsamples = (uint32_t)avg;
    c.calflags = flags;
}

int calibration_dialog(PortRecord* rec, int display_type) {
    bool bitop = calib_fn_is_bitop(rec->function);
    bool real = dt_calc_type(display_type) == DT_DOUBLE;
    if (!bitop && !dt_is_numeric(display_type)) {
        plat_message_box("Cannot calibrate a non-numeric\ndisplay format parameter", "Polynomial Calibration",
                         MB_OK | MB_ICONSTOP);
        return IDCANCEL;
    }
    CalibForm f{};
    calib_from(rec, real, &f.v);
    char title[200];
    const char* fn = calib_fn_name(rec->function);
    snprintf(title, sizeof title, bitop ? "%.80s %s bitoperation" : "%.80s %s calibration", rec->mnemonic,
             fn ? fn : "");
    g_calib_type = display_type;
    if (plat_dialog(bitop ? &kBitopForm : &kCalibForm, title, &f) != IDOK) return IDCANCEL;
    if (bitop) {
        uint32_t mask;
        DlgErrors e{};
        if (bitmask_check(f.v.bitmask, 0, &mask, &e) == 0) rec->cal.bitmask = mask;
    } else {
        calib_to(&f.v, real, dt_classify(rec->rawformat), rec);
        rec->port_flags |= PF_CALIB;
    }
    return IDOK;
}

// ---- the value-port settings (valueport) ---------------------------------------------------

struct VPortForm {
    VPortValues v;    // first: the checks' field offsets are the form's
    DlgList bg, title, value, border;
    DlgList function;                    // "none", then the function table
    const char* views[VIEW_COUNT + 1];   // the views and free_disk
    const char* functions[CALIB_FN_COUNT + 1];
    int32_t index;
    PortRecord* rec;
    PortPair* pair;     // null: no plot can be made, no X value edited
    int role;           // ROLE_*
    int partner_view;   // an X port's dialog: the view its Y port has now
};

// What the port is in a plot pair.
enum : int { ROLE_PORT = 0, ROLE_X = 1, ROLE_Y = 2 };
static_assert(offsetof(VPortForm, v) == 0);

#define VF(m) (uint32_t) offsetof(VPortForm, m)
static const DlgControl kVPortControls[] = {
    {DLG_LIST, "&Parameter", VF(v.view), 0, 0},
    {DLG_EDIT, "&Datatype", VF(v.datatype), 20, 0},
    {DLG_EDIT, "&Byteindex", VF(v.byteindex), 11, DLG_SAME_ROW},
    {DLG_GROUP, "Commutation", 0, 0, 0},
    {DLG_EDIT, "Coun&t", VF(v.count), 11, 0},
    {DLG_EDIT, "Incr&ement", VF(v.incr), 11, DLG_SAME_ROW},
    {DLG_BUTTON, "Sub-com", 0, BTN_SUBCOM, DLG_SAME_ROW},
    {DLG_GROUP, nullptr, 0, 0, 0},
    {DLG_EDIT, "&Mnemonic", VF(v.mnemonic), 80, 0},
    {DLG_EDIT, "T&itle", VF(v.title), 80, 0},
    {DLG_EDIT, "&Units", VF(v.units), 80, 0},
    {DLG_LIST, "Fu&nction", VF(function), 0, 0},
    {DLG_BUTTON, "Calibration...", 0, BTN_FUNCTION, DLG_SAME_ROW},
    {DLG_EDIT, "&Row", VF(v.row), 7, 0},
    {DLG_EDIT, "&Column", VF(v.column), 7, DLG_SAME_ROW},
    {DLG_EDIT, "&Format", VF(v.format), 20, 0},
    {DLG_EDIT, "R&ate", VF(v.rate), 23, DLG_SAME_ROW},
    {DLG_CHECK, "Bo&rder", VF(v.border), 0, 0},
    {DLG_CHECK, "No dra&w", VF(v.nodraw), 0, DLG_SAME_ROW},
    {DLG_GROUP, "Colours", 0, 0, 0},
    {DLG_LIST, "Bac&kground", VF(bg), 0, 0},
    {DLG_LIST, "Tit&le", VF(title), 0, DLG_SAME_ROW},
    {DLG_LIST, "&Value", VF(value), 0, 0},
    {DLG_LIST, "B&order", VF(border), 0, DLG_SAME_ROW},
    {DLG_GROUP, nullptr, 0, 0, 0},
    {DLG_BUTTON, "P&lot", 0, BTN_PLOT, 0},
    {DLG_BUTTON, "&X Value", 0, BTN_XVALUE, DLG_SAME_ROW},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
    {DLG_BUTTON, "&Help", 0, BTN_HELP, 0},
};
#undef VF

static bool x_of_plot(int index) {
    PortHead* p = page_port(index);
    PortHead* next = page_port(index + 1);
    return p && (p->flags & RT_XPORT) && next && (next->port_flags & PF_PLOT);
}

static int vport_button(void* values, int id, DlgErrors*);
static const DlgForm kVPortForm = {kVPortControls, (int)std::size(kVPortControls), vport_button};

// A plot for a port without one, from the plot template of page 9998.
static void create_plot(VPortForm* f) {
    PortRecord* rec = f->rec;
    const char* cap = "Create Plot";
    if (f->role == ROLE_X) {
        plat_message_box("This is the X value of an existing plot.\nA nested plot cannot be created.", cap,
                         MB_OK | MB_ICONSTOP);
        return;
    }
    int disp = dt_classify(f->v.format[0] ? f->v.format : f->v.datatype);
    if (disp != DT_DOUBLE && disp != DT_FLOAT) {
        plat_message_box("Cannot plot a non-float/double\ndisplay format parameter.\nConvert display format to "
                         "float\nor double.",
                         cap, MB_OK | MB_ICONSTOP);
        return;
    }
    if (!f->pair ||
        plat_message_box("This Parameter does not have a plot\nconfigured. Do you wish to create one ?", cap,
                         MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    static const char* const kPlots[] = {"PLOT_EXMPL"};
    if (mnemonic_select("Select plot", kPlots, 1, 0) < 0) return;
    char path[300];
    PortRecord y;
    bool has_x = false;
    if (page_file_path(pages.dir, 9998, "BIN", path, sizeof path) != 0 ||
        read_port_from_file(path, "PLOT_EXMPL", &y, &f->pair->x, &has_x) != 0 || !has_x) {
        error_box("Template 'PLOT_EXMPL' not found", "on page 9998");
        return;
    }
    int tdisp = dt_classify(y.displayformat);
    if (tdisp != DT_DOUBLE && tdisp != DT_FLOAT) {
        plat_message_box("Cannot use the selected plot because\nit has an incompatible display format.", cap,
                         MB_OK | MB_ICONSTOP);
        return;
    }
    // The template's plot block and plot flags, placed below the port.
    memcpy((char*)rec + offsetof(PortRecord, xupper), (const char*)&y + offsetof(PortRecord, xupper),
           offsetof(PortRecord, data_address) - offsetof(PortRecord, xupper));
    memcpy(rec->xtitle, y.xtitle, sizeof rec->xtitle + sizeof rec->ytitle + sizeof rec->plot_title);
    rec->maxpoints = y.maxpoints;
    const uint32_t kPlotFlags = PF_PLOT | PF_AUTOPLOT | PF_LINEPLOT | PF_AUTOPLOTX | PF_AUTOPLOTY | PF_AUTOREFRESHX |
                                PF_AUTOREFRESHY;
    rec->port_flags = (rec->port_flags & ~kPlotFlags) | (y.port_flags & kPlotFlags);
    f->pair->has_x = true;
    f->pair->new_plot = true;
    f->role = ROLE_Y;
    plot_settings_dialog(rec);
}

static int vport_dialog(int index, PortRecord* rec, PortPair* pair, int role, int partner_view);

// "&X Value": the settings of the plot's X port, kept in the pair until the
// Y port's settings are taken.
static void edit_x_value(VPortForm* f) {
    if (f->role != ROLE_Y || !f->pair || !f->pair->has_x) {
        plat_message_box("This parameter is not the Y value of a plot:\nit has no X value port.", "X Value",
                         MB_OK | MB_ICONINFORMATION);
        return;
    }
    PortRecord x = f->pair->x;
    int x_index = f->pair->new_plot ? -1 : f->index - 1;   // a new plot's X port is on no page yet
    if (vport_dialog(x_index, &x, nullptr, ROLE_X, f->v.view.selected) != IDOK) return;
    f->pair->x = x;
    f->pair->x_changed = true;
}

static int vport_button(void* values, int id, DlgErrors*) {
    VPortForm* f = (VPortForm*)values;
    if (id == BTN_PLOT) {
        if (f->rec->port_flags & PF_PLOT) plot_settings_dialog(f->rec);
        else create_plot(f);
        return DLG_STAY;
    }
    if (id == BTN_XVALUE) {
        edit_x_value(f);
        return DLG_STAY;
    }
    if (id == BTN_HELP) {
        help_show();
        return DLG_STAY;
    }
    if (id == BTN_SUBCOM) {
        subcom_dialog(f->index, f->rec);
        return DLG_STAY;
    }
    if (id == BTN_FUNCTION) {
        int disp = dt_classify(f->v.format[0] ? f->v.format : f->v.datatype);
        int fn = f->function.selected - 1;
        if (fn >= 0 && (calib_fn_is_polynomial(fn) || calib_fn_is_bitop(fn))) {
            f->rec->function = (uint16_t)fn;
            calibration_dialog(f->rec, disp);
        } else {
            plat_message_box("calibration disabled - info. only", "Polynomial Calibration", MB_OK);
        }
        return DLG_STAY;
    }
    if (id != IDOK) return DLG_CLOSE;
    VPortContext c{view_length(f->v.view.selected < 0 ? 0 : f->v.view.selected),
                   f->role != ROLE_PORT || (f->rec->port_flags & PF_PLOT), zyr.loop_msecs};
    if (f->v.view.selected == SYSPARAM_FREE_DISK) c.view_length = 4;
    if (f->role == ROLE_Y && f->pair && f->pair->has_x) {
        c.x_view = f->pair->x.view;
    } else if (f->role == ROLE_Y) {
        PortHead* prev = page_port(f->index - 1);
        if (prev && (prev->flags & RT_XPORT)) c.x_view = prev->rec->view;
    }
    if (f->role == ROLE_X) c.y_view = f->partner_view;
    DlgErrors e{};
    if (vport_settings_check(&f->v, c, &e) == 0) return DLG_CLOSE;
    field_error_box(&kVPortForm, "!! INVALID View-port Settings !!", &e);
    return DLG_STAY;
}

static const char* dialog_title_format(int role) {
    if (role == ROLE_X) return "Parameter '%.80s' X port Settings";
    if (role == ROLE_Y) return "Parameter '%.80s' Y port Settings";
    return "Parameter '%.80s' Settings";
}

int port_settings_dialog(int index, PortRecord* rec, PortPair* pair) {
    int role = x_of_plot(index) ? ROLE_X : (rec->port_flags & PF_PLOT) ? ROLE_Y : ROLE_PORT;
    int partner = -1;
    if (role == ROLE_X) partner = page_port(index + 1)->rec->view;
    return vport_dialog(index, rec, pair, role, partner);
}

static int vport_dialog(int index, PortRecord* rec, PortPair* pair, int role, int partner_view) {
    VPortForm* f = (VPortForm*)QOBmalloc(sizeof(VPortForm));
    if (!f) return IDCANCEL;
    memset(f, 0, sizeof *f);
    for (int i = 0; i < VIEW_COUNT; i++) f->views[i] = view_name(i) ? view_name(i) : "";
    f->views[SYSPARAM_FREE_DISK] = "free_disk";
    f->functions[0] = "none";
    for (int i = 0; i < CALIB_FN_COUNT; i++) f->functions[i + 1] = calib_fn_name(i) ? calib_fn_name(i) : "";
    f->function = DlgList{f->functions, CALIB_FN_COUNT + 1,
                          (rec->port_flags & PF_CALIB) && rec->function < CALIB_FN_COUNT ? rec->function + 1 : 0, {}};
    f->v.view.items = f->views;
    f->v.view.count = VIEW_COUNT + 1;
    vport_values_from(rec, zyr.loop_msecs, &f->v);
    if (rec->view > SYSPARAM_FREE_DISK) f->v.view.selected = -1;
    colour_list(&f->bg, rec->backgroundcolor);
    colour_list(&f->title, rec->titlecolor);
    colour_list(&f->value, rec->valuecolor);
    colour_list(&f->border, rec->bordercolor);
    f->index = index;
    f->rec = rec;
    f->pair = pair;
    f->role = role;
    f->partner_view = partner_view;
    char title[120];
    snprintf(title, sizeof title, dialog_title_format(role), rec->mnemonic);
    int id = plat_dialog(&kVPortForm, title, f);
    if (id == IDOK) {
        vport_values_to(&f->v, zyr.loop_msecs, index, rec);
        rec->backgroundcolor = (uint16_t)list_colour(f->bg, 1);
        rec->titlecolor = (uint16_t)list_colour(f->title, 15);
        rec->valuecolor = (uint16_t)list_colour(f->value, 14);
        rec->bordercolor = (uint16_t)list_colour(f->border, 15);
        int fn = f->function.selected - 1;
        if (fn >= 0 && fn < CALIB_FN_COUNT) {
            rec->function = (uint16_t)fn;
            rec->port_flags |= PF_CALIB;
        } else {
            rec->port_flags &= ~PF_CALIB;
        }
    }
    QOBfree(f);
    return id == IDOK ? IDOK : IDCANCEL;
}

// ---- the alarm (ZYRDgAlarm) ------------------------------------------------------------

struct AlarmValues {
    int32_t blink, beep, breakpoint, invert, record;
    char lower[32], upper[32];
};

#define AV(m) (uint32_t) offsetof(AlarmValues, m)
static const DlgControl kAlarmControls[] = {
    {DLG_CHECK, "&Blink", AV(blink), 0, 0},
    {DLG_CHECK, "B&eep", AV(beep), 0, DLG_SAME_ROW},
    {DLG_CHECK, "Bre&akpoint", AV(breakpoint), 0, 0},
    {DLG_CHECK, "&Invert", AV(invert), 0, DLG_SAME_ROW},
    {DLG_CHECK, "&Record to file", AV(record), 0, 0},
    {DLG_EDIT, "&Lower Limit", AV(lower), 31, 0},
    {DLG_EDIT, "&Upper Limit", AV(upper), 31, 0},
    {DLG_BUTTON, "&On", 0, BTN_ON, DLG_DEFAULT},
    {DLG_BUTTON, "O&ff", 0, BTN_OFF, 0},
    {DLG_BUTTON, "&Cancel", 0, IDCANCEL, 0},
};
#undef AV

static int g_alarm_type;   // display type of the port whose alarm is edited
static PortRecord* g_alarm_rec;

static int alarm_button(void* values, int id, DlgErrors*) {
    AlarmValues* v = (AlarmValues*)values;
    if (id != BTN_ON) return DLG_CLOSE;
    if (!(v->blink || v->beep || v->breakpoint || v->invert || v->record)) {
        error_box("Cannot create alarm", "Blink beeb,break,invert,recd", "options are all disabled");
        return DLG_STAY;
    }
    ValueCell lo{}, hi{};
    int rc = alarm_limits_read(v->lower, v->upper, g_alarm_type, &lo, &hi);
    if (rc == -1) return DLG_STAY;   // a blank limit: nothing to take
    if (rc != 0) {
        plat_message_box("Invalid limits.", "Limits", MB_OK | MB_ICONEXCLAMATION);
        return DLG_STAY;
    }
    PortRecord* r = g_alarm_rec;
    if (v->record) {
        char path[261];
        if (record_file_dialog("Alarm Record file", r->mnemonic, path, sizeof path))
            snprintf(r->alarm_filename, sizeof r->alarm_filename, "%s", path);
        else
            v->record = 0;
    }
    r->alarm_lower = lo;
    r->alarm_upper = hi;
    r->alarm_flags = (v->blink ? AL_BLINK : 0u) | (v->beep ? AL_SOUND : 0u) | (v->breakpoint ? AL_STEPMODE : 0u) |
                     (v->invert ? AL_INVERT : 0u) | (v->record ? AL_FILE : 0u);
    r->port_flags |= PF_ALARM;
    // An alarm log and parameter recording cannot be had together.
    if (v->record) r->port_flags &= ~PF_RECORD;
    return DLG_CLOSE;
}

static const DlgForm kAlarmForm = {kAlarmControls, (int)std::size(kAlarmControls), alarm_button};

static void limit_text(const ValueCell& c, int type, char* out, size_t cap) {
    int calc = dt_calc_type(type);
    if (calc == DT_DOUBLE) snprintf(out, cap, "%.15g", c.d);
    else if (calc == DT_ULONG) snprintf(out, cap, "%lu", (unsigned long)c.u32);
    else snprintf(out, cap, "%ld", (long)c.i32);
}

int alarm_dialog(PortRecord* rec, int display_type) {
    if (!dt_is_numeric(display_type)) {
        char text[120];
        snprintf(text, sizeof text, "Parameter '%.80s' unrecognised", rec->mnemonic);
        error_box("Cannot create alarm", text);
        return 0;
    }
    AlarmValues v{};
    uint32_t f = rec->alarm_flags;
    if (rec->port_flags & PF_ALARM) {
        v.blink = (f & AL_BLINK) != 0;
        v.beep = (f & AL_SOUND) != 0;
        v.breakpoint = (f & AL_STEPMODE) != 0;
        v.invert = (f & AL_INVERT) != 0;
        v.record = (f & AL_FILE) != 0;
        limit_text(rec->alarm_lower, display_type, v.lower, sizeof v.lower);
        limit_text(rec->alarm_upper, display_type, v.upper, sizeof v.upper);
    }
    char title[120];
    snprintf(title, sizeof title, "'%.80s' Alarm", rec->mnemonic);
    g_alarm_type = display_type;
    g_alarm_rec = rec;
    int id = plat_dialog(&kAlarmForm, title, &v);
    g_alarm_rec = nullptr;
    if (id == BTN_ON) return 1;
    if (id == BTN_OFF && (rec->port_flags & PF_ALARM)) {
        rec->port_flags &= ~PF_ALARM;
        return 1;
    }
    return 0;
}
