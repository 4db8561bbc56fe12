// The dialogs of the whole system that the editing brings: the window
// colours, the parameter status, the packet filter, the packet format with
// its CCSDS settings and the length port of variable-length packets.
#include "display/sysdlg.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/datatypes.h"
#include "core/packet.h"
#include "core/page.h"
#include "core/pagefile.h"
#include "core/state.h"
#include "display/commands.h"
#include "display/editchecks.h"
#include "display/grid.h"
#include "display/portdlg.h"
#include "display/portedit.h"
#include "display/steps.h"
#include "display/switches.h"
#include "engine/input.h"
#include "engine/playback.h"
#include "engine/port.h"
#include "platform/canvas.h"
#include "platform/ui.h"

static int box(const char* text, const char* caption, unsigned flags) { return plat_message_box(text, caption, flags); }

// ---- window colours (syscolors) --------------------------------------------------

struct ColourValues {
    DlgList background, foreground;
    int32_t start_fg;
};

static int colours_button(void* values, int id, DlgErrors*) {
    ColourValues* v = (ColourValues*)values;
    if (id != IDOK) return DLG_CLOSE;
    bool fg_changed = v->foreground.selected != v->start_fg;
    const char *title, *text;
    if (colours_check(v->background.selected, v->foreground.selected, fg_changed, &title, &text)) {
        box(text, title, MB_OK | MB_ICONEXCLAMATION);
        return DLG_STAY;
    }
    if (fg_changed && !(grid.video_flags & VIDEO_MONO))
        box("Information: this color will only take\neffect in monochrome mode", "System Foreground Color",
            MB_OK | MB_ICONINFORMATION);
    return DLG_CLOSE;
}

static const DlgControl kColourControls[] = {
    {DLG_LIST, "&Background", (uint32_t)offsetof(ColourValues, background), 0, 0},
    {DLG_LIST, "&Foreground", (uint32_t)offsetof(ColourValues, foreground), 0, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
static const DlgForm kColourForm = {kColourControls, (int)std::size(kColourControls), colours_button};

void colours_command(int) {
    ColourValues v{};
    v.background = DlgList{kColourItems, 16, grid.win_bg < 16 ? grid.win_bg : 15, {}};
    v.foreground = DlgList{kColourItems, 16, grid.win_fg < 16 ? grid.win_fg : 0, {}};
    v.start_fg = v.foreground.selected;
    if (plat_dialog(&kColourForm, "Window Colors", &v) != IDOK) return;
    SystemRecord& r = pages.sysrec;
    r.windowbackcolor = (uint16_t)v.background.selected;
    r.windowforecolor = (uint16_t)v.foreground.selected;
    r.colourflags |= SYS_WINDOWBACKCOLOR | SYS_WINDOWFORECOLOR;
    grid_apply_display(0, v.background.selected, v.foreground.selected);
    settings_changed();
    canvas_invalidate();
}

// ---- parameter status (parminfo) ------------------------------------------------------

enum : int { BTN_ALARMS = 1101, BTN_RECORDING = 1102, BTN_FILTER = 1103, BTN_VARLEN = 1104 };

// "First 10 ... :\n" and up to ten mnemonics, one a line; "" for none.
static const char* first_ten(const char* heading, bool (*keep)(const ZyrPort*), char* out, size_t cap) {
    NameList list;
    list.count = 0;
    for (int slot : {SLOT_DISPLAY, SLOT_SYSPARAMS, SLOT_SYSTEM}) slot_mnemonics(slot, keep, &list);
    out[0] = 0;
    if (list.count == 0) return out;
    size_t n = (size_t)snprintf(out, cap, "%s", heading);
    for (int i = 0; i < list.count && i < 10 && n < cap; i++) n += (size_t)snprintf(out + n, cap - n, "%s\n", list.names[i]);
    return out;
}

static bool has_alarm(const ZyrPort* p) { return p->h.flags & RT_HAS_LIMITS; }
static bool recording_port(const ZyrPort* p) { return p->rec_kind != REC_NONE; }

static ZyrPort* flagged_port(uint32_t rt_flag) {
    for (int i = 0; i < pages.next_index; i++)
        if (ZyrPort* p = zyr_port(i); p && (p->h.flags & rt_flag)) return p;
    return nullptr;
}

static int info_button(void*, int id, DlgErrors*) {
    char text[160];
    char s[48 + 10 * 82];
    switch (id) {
    case BTN_ALARMS:
        first_ten("First 10 alarms are set on:\n", has_alarm, s, sizeof s);
        if (!s[0]) box("There are no alarms set", "Current Alarm Status", MB_OK | MB_ICONINFORMATION);
        else box(s, "Current Alarms Set", MB_OK | MB_ICONINFORMATION);
        return DLG_STAY;
    case BTN_RECORDING:
        first_ten("First 10 parameters\nrecording are:\n", recording_port, s, sizeof s);
        box(!s[0] ? "There are currently no\nparameters being recorded" : s, "Parameter Record Status",
            MB_OK | MB_ICONINFORMATION);
        return DLG_STAY;
    case BTN_FILTER:
        if (ZyrPort* p = flagged_port(RT_FILTER)) snprintf(text, sizeof text, "Packet filter on '%s'\n", p->h.rec->mnemonic);
        else snprintf(text, sizeof text, "Packet Filter is currently off\n");
        box(text, "Packet Filter Status", MB_OK | MB_ICONINFORMATION);
        return DLG_STAY;
    case BTN_VARLEN:
        if (ZyrPort* p = flagged_port(RT_LENGTH); p && pkt_layout.desc.fixedpacketlength == 0)
            snprintf(text, sizeof text, "Variable Packet Length on '%s'\n", p->h.rec->mnemonic);
        else
            snprintf(text, sizeof text, "Packet Length is fixed at %hu\n", (unsigned short)pkt_layout.desc.fixedpacketlength);
        box(text, "Packet Length Status", MB_OK | MB_ICONINFORMATION);
        return DLG_STAY;
    default: return DLG_CLOSE;
    }
}

struct InfoValues {
    int32_t unused;
};
static const DlgControl kInfoControls[] = {
    {DLG_BUTTON, "&Alarms", 0, BTN_ALARMS, 0},
    {DLG_BUTTON, "&Recording", 0, BTN_RECORDING, 0},
    {DLG_BUTTON, "&Filter", 0, BTN_FILTER, 0},
    {DLG_BUTTON, "&Var. Pkt. Length", 0, BTN_VARLEN, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
};
static const DlgForm kInfoForm = {kInfoControls, (int)std::size(kInfoControls), info_button};

void info_command(int) {
    InfoValues v{};
    plat_dialog(&kInfoForm, "Parameter Status", &v);
}

// ---- limits dialogs: packet filter (ZYRDgSelect) and sub-commutation (SUBCOM) --------

struct LimitValues {
    char lower[32], upper[32];
    int32_t invert;
};
// The filter's controls; the sub-commutation has the same but "&Help",
// which comes last.
static const DlgControl kLimitControls[] = {
    {DLG_EDIT, "Lower Limit", (uint32_t)offsetof(LimitValues, lower), 31, 0},
    {DLG_EDIT, "Upper Limit", (uint32_t)offsetof(LimitValues, upper), 31, 0},
    {DLG_CHECK, "&Invert", (uint32_t)offsetof(LimitValues, invert), 0, 0},
    {DLG_BUTTON, "&On", 0, BTN_ON, DLG_DEFAULT},
    {DLG_BUTTON, "O&ff", 0, BTN_OFF, 0},
    {DLG_BUTTON, "&Cancel", 0, IDCANCEL, 0},
    {DLG_BUTTON, "&Help", 0, BTN_HELP, 0},
};

static int filter_button(void*, int id, DlgErrors*) {
    if (id != BTN_HELP) return DLG_CLOSE;
    help_show();
    return DLG_STAY;
}

static const DlgForm kFilterForm = {kLimitControls, (int)std::size(kLimitControls), filter_button};
static const DlgForm kSubcomForm = {kLimitControls, (int)std::size(kLimitControls) - 1, nullptr};

// Reads the limits of a port of that type: 0, or the box said why.
static int read_limits(const LimitValues& v, int type, ValueCell* lo, ValueCell* hi, const char* failure) {
    int rc = alarm_limits_read(v.lower, v.upper, type, lo, hi);
    if (rc == 0) return 0;
    error_box(failure, rc == -1 ? "invalid or blank value" : rc == -3 ? "Invalid limits." : "invalid number , outside limits ?");
    return -1;
}

static bool numeric_port(const ZyrPort* p) { return dt_is_numeric(p->data_type); }

void filter_command(int) {
    if (ZyrPort* f = flagged_port(RT_FILTER)) {
        // With a filter set, the command takes it off.
        PortRecord rec;
        page_port_record(&f->h, &rec);
        rec.port_flags &= ~PF_FILTER;
        page_replace_port(f->index, &rec);
        port_state.filter_port = 0;
        page_mark_changed(f->h.slot);
        box("Packet Filter is currently off\n", "Packet Filter Status", MB_OK | MB_ICONINFORMATION);
        return;
    }
    NameList list;
    list.count = 0;
    slot_mnemonics(SLOT_DISPLAY, numeric_port, &list);
    if (list.count == 0) return;
    int k = mnemonic_select("Packet Filter Parameter", list.names, list.count, 0);
    if (k < 0) return;
    ZyrPort* p = zyr_port(list.index[k]);
    char title[120];
    snprintf(title, sizeof title, "Packet %.80s Filter", p->h.rec->mnemonic);
    LimitValues v{};
    for (;;) {
        if (plat_dialog(&kFilterForm, title, &v) != BTN_ON) return;
        ValueCell lo{}, hi{};
        if (read_limits(v, p->data_type, &lo, &hi, "Cannot create filter") != 0) continue;
        PortRecord rec;
        page_port_record(&p->h, &rec);
        rec.filter_lower = lo;
        rec.filter_upper = hi;
        rec.filter_flags = v.invert ? AL_INVERT : 0u;
        rec.port_flags |= PF_FILTER;
        if (page_replace_port(p->index, &rec) != 0) error_box("Cannot create filter", "Out of memory");
        page_mark_changed(SLOT_DISPLAY);
        return;
    }
}

int subcom_dialog(int index, PortRecord* rec) {
    PortHead* h = page_port(index);
    if (h && h->tag_count > 0) {
        box("This is a sub-com tag parameter:\nIt cannot be sub-commutated.", "Sub-com", MB_OK | MB_ICONSTOP);
        return -1;
    }
    // The tag: the port whose value selects this one.
    if (!rec->subcomtag[0]) {
        NameList list;
        list.count = 0;
        slot_mnemonics(SLOT_DISPLAY, numeric_port, &list);
        if (list.count == 0) return -1;
        int k = mnemonic_select("Sub-com tag", list.names, list.count, 0);
        if (k < 0 || list.index[k] == index) return -1;
        snprintf(rec->subcomtag, sizeof rec->subcomtag, "%.*s", (int)sizeof rec->subcomtag - 1, list.names[k]);
        rec->cvtype = (uint16_t)zyr_port(list.index[k])->data_type;
    }
    char title[120];
    snprintf(title, sizeof title, "Sub-com tag %.23s", rec->subcomtag);
    LimitValues v{};
    for (;;) {
        int id = plat_dialog(&kSubcomForm, title, &v);
        if (id == BTN_OFF) {
            rec->port_flags &= ~PF_SUBCOM;
            return 0;
        }
        if (id != BTN_ON) return -1;
        ValueCell lo{}, hi{};
        if (read_limits(v, rec->cvtype, &lo, &hi, "Cannot set sub-commutation") != 0) continue;
        rec->subcom_lower = lo;
        rec->subcom_upper = hi;
        rec->subcom_flags = v.invert ? AL_INVERT : 0u;
        rec->port_flags |= PF_SUBCOM;
        return 0;
    }
}

// ---- packet format (pktformat, CCSDSDLG) --------------------------------------------------

struct CcsdsValues {
    int32_t on, fecw;
    int32_t channel[8];
};
#define CV(m) (uint32_t) offsetof(CcsdsValues, m)
static const DlgControl kCcsdsControls[] = {
    {DLG_CHECK, "&On", CV(on), 0, 0},
    {DLG_CHECK, "Frame Error Control Word", CV(fecw), 0, 0},
    {DLG_GROUP, "Virtual Channels", 0, 0, 0},
    {DLG_CHECK, "Channel &0", CV(channel[0]), 0, 0},
    {DLG_CHECK, "Channel &1", CV(channel[1]), 0, DLG_SAME_ROW},
    {DLG_CHECK, "Channel &2", CV(channel[2]), 0, DLG_SAME_ROW},
    {DLG_CHECK, "Channel &3", CV(channel[3]), 0, DLG_SAME_ROW},
    {DLG_CHECK, "Channel &4", CV(channel[4]), 0, 0},
    {DLG_CHECK, "Channel &5", CV(channel[5]), 0, DLG_SAME_ROW},
    {DLG_CHECK, "Channel &6", CV(channel[6]), 0, DLG_SAME_ROW},
    {DLG_CHECK, "Channel &7", CV(channel[7]), 0, DLG_SAME_ROW},
    {DLG_GROUP, nullptr, 0, 0, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
#undef CV
static const DlgForm kCcsdsForm = {kCcsdsControls, (int)std::size(kCcsdsControls), nullptr};

enum : uint32_t { CCSDS_FECW = 0x10, CCSDS_CHANNEL_0 = 0x100 };

// The CCSDS bits of the packet flags.
static void ccsds_dialog(uint32_t* flags) {
    CcsdsValues v{};
    v.on = (*flags & PKT_CCSDS) != 0;
    v.fecw = (*flags & CCSDS_FECW) != 0;
    for (int c = 0; c < 8; c++) v.channel[c] = (*flags & (CCSDS_CHANNEL_0 << c)) != 0;
    if (plat_dialog(&kCcsdsForm, "CCSDS", &v) != IDOK) return;
    uint32_t f = *flags & ~((uint32_t)PKT_CCSDS | (uint32_t)CCSDS_FECW | 0xFF00u);
    if (v.on) f |= PKT_CCSDS;
    if (v.fecw) f |= CCSDS_FECW;
    for (int c = 0; c < 8; c++)
        if (v.channel[c]) f |= CCSDS_CHANNEL_0 << c;
    *flags = f;
}

struct FormatValues {
    char pattern[16], mask[16], length[8];
    int32_t syncloss;
    uint32_t flags;   // the packet flags as the CCSDS dialog leaves them
};
enum : int { BTN_CCSDS = 1201 };
#define FV(m) (uint32_t) offsetof(FormatValues, m)
static int format_button(void* values, int id, DlgErrors*);
static const DlgControl kFormatControls[] = {
    {DLG_EDIT, "&Synchronisation Pattern", FV(pattern), 15, 0},
    {DLG_EDIT, "Mask", FV(mask), 15, DLG_SAME_ROW},
    {DLG_EDIT, "&Packet Length", FV(length), 7, 0},
    {DLG_CHECK, "Sync loss &reporting", FV(syncloss), 0, 0},
    {DLG_BUTTON, "CCS&DS", 0, BTN_CCSDS, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
#undef FV
static const DlgForm kFormatForm = {kFormatControls, (int)std::size(kFormatControls), format_button};

static int format_button(void* values, int id, DlgErrors*) {
    FormatValues* v = (FormatValues*)values;
    if (id == BTN_CCSDS) {
        ccsds_dialog(&v->flags);
        return DLG_STAY;
    }
    if (id != IDOK) return DLG_CLOSE;
    DlgErrors e{};
    uint8_t b[4];
    int n = 0, m = 0;
    int rc = sync_parse(v->pattern, b, &n);
    if (rc != 0) dlg_error(&e, (uint32_t)offsetof(FormatValues, pattern), "%s", sync_error_text(rc));
    rc = sync_parse(v->mask, b, &m);
    if (rc != 0) dlg_error(&e, (uint32_t)offsetof(FormatValues, mask), "%s", sync_error_text(rc));
    else if (m != n) dlg_error(&e, (uint32_t)offsetof(FormatValues, mask), "Sync length not integral 1-4 bytes");
    long len;
    rc = field_whole(v->length, 0, MAXPKTLEN - 1, &len);
    if (rc == 1) dlg_error(&e, (uint32_t)offsetof(FormatValues, length), "invalid or blank value");
    else if (rc == 2) dlg_error(&e, (uint32_t)offsetof(FormatValues, length), "invalid number, outside limits ?");
    if (e.count == 0) return DLG_CLOSE;
    field_error_box(&kFormatForm, "Packet Format", &e);
    return DLG_STAY;
}

// The sync part of the header takes the new length; the parts after it move.
static void set_sync(PacketRecord* r, const uint8_t* pattern, const uint8_t* mask, int n) {
    int old = r->sync_len, delta = n - old;
    uint16_t sync_at = r->part_offset[PART_SYNC];
    for (int i = 0; i < HDR_PARTS; i++)
        if (i != PART_SYNC && r->part_offset[i] > sync_at) r->part_offset[i] = (uint16_t)(r->part_offset[i] + delta);
    r->part_length[PART_SYNC] = (uint16_t)n;
    r->header_len = (uint16_t)(r->header_len + delta);
    r->sync_len = (uint16_t)n;
    memset(r->pattern, 0, 4);
    memset(r->mask, 0, 4);
    memcpy(r->pattern + 4 - n, pattern, (size_t)n);
    memcpy(r->mask + 4 - n, mask, (size_t)n);
    for (int i = 0; i < 4; i++) r->masked_sync[i] = (uint16_t)(r->pattern[i] & r->mask[i]);
}

static bool length_candidate(const ZyrPort* p) {
    return p->view == VIEW_PACKETHEADER && dt_is_numeric(p->data_type) && p->super_count <= 1 &&
           !(p->h.flags & RT_SUBCOM) && !(p->h.port_flags & PF_SUBCOM);
}

// The length port of variable-length packets, picked from this page and
// page 9999: true when one was chosen.
static bool choose_length_port() {
    if (box("You have configured a variable length packet format.\nThe next dialog box allows you to select a "
            "parameter\non this page or page 9999 which displays the packet length\nfrom which ZYR deduces the "
            "incoming packet length. The\ndialog box only shows 'packetheader' parameters with a\nnumeric "
            "'displayformat' which are not super or sub-commutated.\nPress OK to see the parameter list, Cancel "
            "otherwise",
            "Variable Packet Length", MB_OKCANCEL | MB_ICONINFORMATION) != IDOK)
        return false;
    NameList list;
    list.count = 0;
    slot_mnemonics(SLOT_DISPLAY, length_candidate, &list);
    slot_mnemonics(SLOT_SYSPARAMS, length_candidate, &list);
    if (list.count == 0) return false;
    int k = mnemonic_select("Variable Pkt Length Parm.", list.names, list.count, 0);
    if (k < 0) return false;
    for (int i = 0; i < pages.next_index; i++) {
        ZyrPort* p = zyr_port(i);
        if (!p || !((p->h.flags & RT_LENGTH) || (p->h.port_flags & PF_VARPKTLEN)) || i == list.index[k]) continue;
        PortRecord rec;
        page_port_record(&p->h, &rec);
        rec.port_flags &= ~PF_VARPKTLEN;
        page_replace_port(i, &rec);
    }
    int chosen = list.index[k];
    PortRecord rec;
    page_port_record(page_port(chosen), &rec);
    rec.port_flags |= PF_VARPKTLEN;
    page_replace_port(chosen, &rec);
    pages.length_port = (uint32_t)chosen + 1;
    page_mark_changed(page_port(chosen)->slot);
    return true;
}

static bool packet_recording() {
    const RecordSlots& s = recording.slots;
    return s.raw >= 0 || s.ascii >= 0 || s.compressed >= 0;
}

void packet_format_command(int) {
    if (packet_recording()) {
        box("Cannot change the packet format as\na packet recording is in progress.", "Packet Format",
            MB_OK | MB_ICONSTOP);
        return;
    }
    PacketRecord r = pkt_layout.desc;
    FormatValues v{};
    int n = r.sync_len >= 1 && r.sync_len <= 4 ? r.sync_len : 2;
    sync_text(r.pattern + 4 - n, n, v.pattern, sizeof v.pattern);
    sync_text(r.mask + 4 - n, n, v.mask, sizeof v.mask);
    snprintf(v.length, sizeof v.length, "%u", (unsigned)r.fixedpacketlength);
    v.syncloss = (r.flags & PKT_REPORTSYNCLOSS) != 0;
    v.flags = r.flags;
    if (plat_dialog(&kFormatForm, "Packet Format", &v) != IDOK) return;
    uint8_t pattern[4], mask[4];
    int m;
    long len = 0;
    if (sync_parse(v.pattern, pattern, &n) != 0 || sync_parse(v.mask, mask, &m) != 0 ||
        field_whole(v.length, 0, MAXPKTLEN - 1, &len) != 0)
        return;
    PacketRecord old = r;
    set_sync(&r, pattern, mask, n);
    r.fixedpacketlength = (uint16_t)len;
    r.flags = (v.flags & ~PKT_REPORTSYNCLOSS) | (v.syncloss ? PKT_REPORTSYNCLOSS : 0u);
    if (len == 0 && !choose_length_port()) r.fixedpacketlength = old.fixedpacketlength;
    if (CreatePacket(&r) != 0) {
        error_box("Cannot change the packet format", "the header does not fit");
        CreatePacket(&old);
        return;
    }
    page_check_varpktlen();
    // The test data generator builds its packets on the format it was
    // started with: it takes the new sync and length at once.
    if (zyr.IoFlags & IO_TEST_DATA) prepare_test_packet();
    settings_changed();
}

void sysdlg_register() {
    command_register(CMD_COLORS, colours_command);
    command_register(CMD_INFO, info_command);
    command_register(CMD_FILTER, filter_command);
    command_register(CMD_PKT_FORMAT, packet_format_command);
}
