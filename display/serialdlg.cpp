// The serial settings dialog, the settings command, the direction change
// and the serial values of the Transfer menu.
#include "display/serialdlg.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <strings.h>

#include "core/diagnostics.h"
#include "core/page.h"
#include "core/state.h"
#include "engine/input.h"
#include "engine/serial.h"
#include "display/commands.h"
#include "display/steps.h"
#include "display/switches.h"
#include "platform/ui.h"

SerialDlgHooks serial_dlg_hooks;

const char* const kBaudItems[17] = {"75",   "110",   "134",   "150",   "300",   "600",   "1200",  "2400",  "4800",
                                    "7200", "9600",  "14400", "19200", "28800", "38400", "57600", "115200"};
const char* const kDataItems[4] = {"5", "6", "7", "8"};
const char* const kStopItems[2] = {"1", "2"};
const char* const kParityItems[3] = {"none", "odd", "even"};

const SerialDlgControl kSerialDialog[6] = {
    {SDLG_EDIT_LIST, "&Baud Rate:", kBaudItems, 17, offsetof(SerialDlgValues, baud), SERIAL_DLG_TEXT - 1},
    {SDLG_LIST, "&Data Bits:", kDataItems, 4, offsetof(SerialDlgValues, data), 0},
    {SDLG_EDIT_LIST, "&Stop Bits:", kStopItems, 2, offsetof(SerialDlgValues, stop), SERIAL_DLG_TEXT - 1},
    {SDLG_EDIT_LIST, "&Parity:", kParityItems, 3, offsetof(SerialDlgValues, parity), SERIAL_DLG_TEXT - 1},
    {SDLG_CHECK, "&In", nullptr, 0, offsetof(SerialDlgValues, in), 0},
    {SDLG_CHECK, "&Out", nullptr, 0, offsetof(SerialDlgValues, out), 0},
};

// Bauds the settings command takes (stored values; 115200 is stored 11520).
static const unsigned kBauds[] = {75,   110,  134,   150,   300,   600,   1200,  1800,  2400,  4800,
                                  7200, 9600, 11520, 14400, 19200, 28800, 38400, 57600, 115200};

void serialdlg_reset() { serial_dlg_hooks = SerialDlgHooks{}; }

static void show_error(const char* l1, const char* l2, const char* l3) {
    if (serial_dlg_hooks.error_box) serial_dlg_hooks.error_box(l1, l2, l3);
    else error_box(l1, l2, l3);
}

static void mark_changed() {
    if (serial_dlg_hooks.settings_changed) serial_dlg_hooks.settings_changed();
    else settings_changed();
    zyr.SystemFlags |= SF_SERIAL_CHANGED;
}

// ---- the dialog ------------------------------------------------------------------

void serial_dlg_title(int port, char* out, size_t cap) {
    snprintf(out, cap, "Serial Port COM%c settings", (char)('1' + (port & 3)));
}

void serial_dlg_fill(int port, SerialDlgValues* v) {
    *v = SerialDlgValues{};
    if (port < 0 || port >= COM_PORTS) port = 0;
    const ComSettings& s = com_settings[port];
    char baud[16];
    snprintf(baud, sizeof baud, "%u", serial_line_rate(s.baud));
    const char* shown = "9600";
    for (const char* b : kBaudItems)
        if (strcmp(b, baud) == 0) shown = b;
    snprintf(v->baud, sizeof v->baud, "%s", shown);
    v->data = s.data <= 3 ? s.data : 3;
    snprintf(v->stop, sizeof v->stop, "%s", s.stop == COM_STOP_2 ? "2" : "1");
    snprintf(v->parity, sizeof v->parity, "%s",
             s.parity == COM_PARITY_ODD ? "odd" : s.parity == COM_PARITY_EVEN ? "even" : "none");
    const ComPort& cp = serial.port[port];
    bool open = cp.fd >= 0 || cp.lost;
    v->in = open && (s.flags & COM_IN_ACTIVE);
    v->out = open && (s.flags & COM_OUT_ACTIVE);
}

int serial_dlg_ok(int port, const SerialDlgValues* v) {
    if (port < 0 || port >= COM_PORTS) return -1;
    char text[64], bad[32];
    snprintf(text, sizeof text, "%.8s,%s,%.8s,%.8s", v->baud, kDataItems[v->data & 3], v->stop, v->parity);
    if (serial_settings_command(text, port, bad, sizeof bad) != 0) {
        char line[64];
        snprintf(line, sizeof line, "Invalid Entry '%s'", bad);
        show_error(line, "Retype or cancel", nullptr);
        return -1;
    }
    const char* dir = v->in && v->out ? "IO" : v->in ? "IN" : v->out ? "OUT" : "OFF";
    int rc = telm_iostat_chg(port, dir);
    if (rc != 0) debug_printf("telm_iostat_chg() rtn %d", rc);
    if (serial_dlg_hooks.redraw) serial_dlg_hooks.redraw();
    return 0;
}

// ---- the settings command ----------------------------------------------------------

// One number: the record field it sets, or false when it is refused.
static bool apply_number(double x, ComSettings* rec) {
    if (std::fabs(x - 134.5) < 0.0001) {
        rec->baud = 134;
        return true;
    }
    double whole = std::floor(x + 0.5);
    if (std::fabs(x - whole) > 0.0001 || whole < 1 || whole > 115201) return false;
    unsigned n = (unsigned)whole;
    if (n >= 50) {
        for (unsigned b : kBauds)
            if (b == n) {
                rec->baud = (uint16_t)(n == 115200 ? 11520 : n);
                return true;
            }
        return false;
    }
    if (n == 1 || n == 2) {
        rec->stop = n == 1 ? COM_STOP_1 : COM_STOP_2;
        return true;
    }
    if (n >= 5 && n <= 8) {
        rec->data = (uint16_t)(n - 5);
        return true;
    }
    return false;
}

static bool apply_token(const char* tok, int* port, ComSettings* rec) {
    if (strncasecmp(tok, "com", 3) == 0 && tok[3] >= '1' && tok[3] <= '4' && tok[4] == 0) {
        *port = tok[3] - '1';
        return true;
    }
    static const struct {
        const char* word;
        uint16_t code;
    } kParity[] = {{"none", COM_PARITY_NONE}, {"even", COM_PARITY_EVEN}, {"odd", COM_PARITY_ODD}};
    for (const auto& p : kParity)
        if (strcasecmp(tok, p.word) == 0) {
            rec->parity = p.code;
            return true;
        }
    char* end = nullptr;
    double x = strtod(tok, &end);
    if (end == tok || *end != 0 || !std::isfinite(x)) return false;
    return apply_number(x, rec);
}

int serial_parse_settings(const char* text, int* port, ComSettings* rec, char* bad, size_t cap) {
    char buf[256];
    snprintf(buf, sizeof buf, "%s", text ? text : "");
    ComSettings work = *rec;
    int p = *port;
    char* save = nullptr;
    for (char* tok = strtok_r(buf, ", \t\r\n", &save); tok; tok = strtok_r(nullptr, ", \t\r\n", &save)) {
        if (!apply_token(tok, &p, &work)) {
            if (bad && cap) snprintf(bad, cap, "%s", tok);
            return -1;
        }
    }
    *rec = work;
    *port = p;
    return 0;
}

int serial_settings_command(const char* text, int default_port, char* bad, size_t cap) {
    int port = default_port;
    // A port named in the text decides which record the values go to.
    int named = -1;
    ComSettings probe = com_settings[default_port & 3];
    if (serial_parse_settings(text, &named, &probe, bad, cap) != 0) return -1;
    if (named >= 0) port = named;
    if (port < 0 || port >= COM_PORTS) return -1;
    ComSettings rec = com_settings[port];
    int dummy = port;
    serial_parse_settings(text, &dummy, &rec, nullptr, 0);
    com_settings[port] = rec;
    zyr.SystemFlags |= SF_SERIAL_CHANGED;
    return 0;
}

// ---- direction change ------------------------------------------------------------------

int serial_output_conflict() {
    if (!(zyr.IoFlags & IO_NET_OUT)) return 0;
    if (plat_message_box("Network Output already in progress.\nContinuing will switch it off.\nDo you wish to continue ?\n",
                         "Serial Output", MB_YESNO) != IDYES)
        return 1;
    int clients = serial_dlg_hooks.net_clients ? serial_dlg_hooks.net_clients() : 0;
    if (clients > 0) {
        char text[160];
        snprintf(text, sizeof text,
                 "Warning: %d clients connected.\nContinuing will disconnect them all.\nDo you wish to continue ?\n",
                 clients);
        if (plat_message_box(text, "Serial Output", MB_YESNO) != IDYES) return 1;
    }
    if (serial_dlg_hooks.net_stop_output) serial_dlg_hooks.net_stop_output();
    zyr.IoFlags &= ~IO_NET_OUT;
    return 0;
}

static int open_as(int port, uint32_t flags, int failure) {
    ComSettings rec = com_settings[port];
    rec.port = (uint16_t)port;
    rec.flags = flags;
    if (serial_open_record(&rec) != 0) {
        show_error("Unable to open port", "Device conflict, port exists,", "Invalid setting ?");
        return failure;
    }
    mark_changed();
    if (serial_dlg_hooks.publish_ports) serial_dlg_hooks.publish_ports();
    return 0;
}

int telm_iostat_chg(int port, const char* dir) {
    if (port < 0 || port >= COM_PORTS) return 0;
    if (dir && strcasecmp(dir, "in") == 0) {
        if (input_conflict_check(IO_SERIAL_IN) != 0) return 0;
        serial_close_direction(port, 2);
        return open_as(port, COM_DIR_IN | COM_OPEN_IN, -2);
    }
    if (dir && strcasecmp(dir, "out") == 0) {
        if (serial_output_conflict() != 0) return 0;
        serial_close_direction(port, 1);
        return open_as(port, COM_DIR_OUT | COM_OPEN_OUT, -4);
    }
    if (dir && strcasecmp(dir, "io") == 0) {
        if (input_conflict_check(IO_SERIAL_IN) != 0) return 0;
        if (serial_output_conflict() != 0) return 0;
        return open_as(port, COM_DIR_IN | COM_DIR_OUT | COM_OPEN_IN | COM_OPEN_OUT, -4);
    }
    serial_close_direction(port, 3);
    if (serial_dlg_hooks.publish_ports) serial_dlg_hooks.publish_ports();
    return 0;
}

// ---- values of the Transfer menu -----------------------------------------------------------

void serial_timeout_period_set(uint32_t secs) {
    pages.timeout_period = secs > SERIAL_TIMEOUT_MAX ? SERIAL_TIMEOUT_MAX : secs;
    if (serial_dlg_hooks.settings_changed) serial_dlg_hooks.settings_changed();
}

uint32_t serial_timeout_period() { return pages.timeout_period; }

int serial_menu_port(int command) {
    static const int kCommands[COM_PORTS] = {132, 137, 142, 147};
    for (int p = 0; p < COM_PORTS; p++)
        if (kCommands[p] == command) return p;
    return -1;
}

bool serial_menu_checked(int port) {
    if (port < 0 || port >= COM_PORTS) return false;
    return serial.port[port].fd >= 0 || serial.port[port].lost ||
           (com_settings[port].flags & (COM_IN_ACTIVE | COM_OUT_ACTIVE));
}

bool serial_timeout_checked() { return pages.timeout_period != 0; }

// ---- the form and the menu ------------------------------------------------------------------

// The record the form builder fills: lists and boxes as the platform keeps them.
struct SerialForm {
    DlgList baud, data, stop, parity;
    int32_t in, out;
    int port;
};

static const DlgControl kSerialForm[] = {
    {DLG_COMBO, "&Baud Rate:", offsetof(SerialForm, baud), SERIAL_DLG_TEXT - 1, 0},
    {DLG_LIST, "&Data Bits:", offsetof(SerialForm, data), 0, 0},
    {DLG_COMBO, "&Stop Bits:", offsetof(SerialForm, stop), SERIAL_DLG_TEXT - 1, 0},
    {DLG_COMBO, "&Parity:", offsetof(SerialForm, parity), SERIAL_DLG_TEXT - 1, 0},
    {DLG_CHECK, "&In", offsetof(SerialForm, in), 0, 0},
    {DLG_CHECK, "&Out", offsetof(SerialForm, out), 0, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};

static void list_from(DlgList* l, const char* const* items, int count, const char* text) {
    l->items = items;
    l->count = count;
    l->selected = -1;
    for (int i = 0; i < count; i++)
        if (strcmp(items[i], text) == 0) l->selected = i;
    snprintf(l->text, sizeof l->text, "%s", text);
}

// A typed text counts, else the item chosen; typed text keeps 8 characters.
static void text_of(const DlgList* l, char* out) {
    const char* t = l->text[0] ? l->text : (l->selected >= 0 && l->selected < l->count) ? l->items[l->selected] : "";
    snprintf(out, SERIAL_DLG_TEXT, "%.8s", t);
}

static int form_button(void* values, int id, DlgErrors*) {
    if (id != IDOK) return DLG_CLOSE;
    const SerialForm* f = static_cast<const SerialForm*>(values);
    SerialDlgValues v{};
    text_of(&f->baud, v.baud);
    v.data = f->data.selected >= 0 && f->data.selected < 4 ? f->data.selected : 3;
    text_of(&f->stop, v.stop);
    text_of(&f->parity, v.parity);
    v.in = f->in != 0;
    v.out = f->out != 0;
    return serial_dlg_ok(f->port, &v) == 0 ? DLG_CLOSE : DLG_STAY;
}

// Transfer > Serial > com1... to com4...
static void serial_dialog_command(int id) {
    int port = serial_menu_port(id);
    if (port < 0) return;
    SerialDlgValues v;
    serial_dlg_fill(port, &v);
    SerialForm f{};
    f.port = port;
    list_from(&f.baud, kBaudItems, 17, v.baud);
    list_from(&f.data, kDataItems, 4, kDataItems[v.data & 3]);
    list_from(&f.stop, kStopItems, 2, v.stop);
    list_from(&f.parity, kParityItems, 3, v.parity);
    f.in = v.in;
    f.out = v.out;
    char title[40];
    serial_dlg_title(port, title, sizeof title);
    DlgForm form{kSerialForm, (int)std::size(kSerialForm), form_button};
    plat_dialog(&form, title, &f);
}

static bool serial_any_open() { return (zyr.IoFlags & (IO_SERIAL_IN | IO_SERIAL_OUT)) != 0; }

void serialdlg_register() {
    static const int kCommands[COM_PORTS] = {CMD_COM1, 137, 142, 147};
    for (int c : kCommands) command_register(c, serial_dialog_command);
    menu_hooks.com_open = serial_menu_checked;
    switch_hooks.serial_reopen_all = serial_reopen_all;
    switch_hooks.serial_open = serial_any_open;
}
