// The run-time port builder: every port is checked against the area it
// reads before it gets a table entry, so evaluation never reads outside a
// system data area; objects, record images, calibration copies and
// averaging rings all come from the pool.
#include "engine/port.h"

#include <cstring>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/state.h"
#include "core/symtab.h"
#include "engine/alarm.h"
#include "engine/cycle.h"
#include "engine/paramrecord.h"
#include "engine/playback.h"
#include "engine/startup.h"
#include "platform/ui.h"

PortState port_state;
PortHooks port_hooks;

constexpr int VIEW_ZYRFR_CNT = 5;
constexpr int VIEW_SAMPLE_COUNT = 21;
constexpr int VIEW_MEANFR_USECS = 30;
constexpr int VIEW_MEANALLFR_USECS = 31;
constexpr int VIEW_FREE_RAM = 35;

void port_reset() {
    port_state = PortState{};
    port_hooks = PortHooks{};
}

uint32_t sysparam_length(int view) { return view == SYSPARAM_FREE_DISK ? 4 : view_length(view); }

static const uint8_t* bytes_of(const void* p) { return static_cast<const uint8_t*>(p); }

// The areas that exist in the engine's own state; the rest belong to the
// modules that allocate them.
const uint8_t* view_base(int view) {
    switch (view) {
    case VIEW_PACKETHEADER: return pkt.buf;
    case VIEW_PACKETDATA: return pkt.buf ? pkt.buf + pkt_layout.header_len : nullptr;
    case VIEW_ZYR_FLAGS: return bytes_of(&zyr.SystemFlags);
    case VIEW_ZYR_MSECS: return bytes_of(&zyr.zyr_msecs);
    case VIEW_ZYR_SECS: return bytes_of(&zyr.zyr_secs);
    case VIEW_PAGE_NO: return bytes_of(&pages.slot[SLOT_DISPLAY].page);
    case VIEW_ZYRFR_CNT: return bytes_of(&zyr.zyrfr_cnt);
    case VIEW_MEANFR_USECS: return bytes_of(&cyc.meanfr_usecs[1]);
    case VIEW_MEANALLFR_USECS: return bytes_of(&cyc.meanallfr_usecs);
    case VIEW_ZYR_LOOP_TIME: return bytes_of(&zyr.loop_msecs);
    case VIEW_FREE_RAM: return bytes_of(&qobmem.available);
    case VIEW_ZYR_STATS: return bytes_of(&zyr_stats);
    case SYSPARAM_FREE_DISK:
        port_state.free_disk_kb = backup_free_disk_kb();
        return bytes_of(&port_state.free_disk_kb);
    default: return port_hooks.view_base ? port_hooks.view_base(view) : nullptr;
    }
}
static_assert(sizeof(cyc.meanfr_usecs) - sizeof(cyc.meanfr_usecs[0]) >= 128, "meanfr_usecs view is 128 bytes");
static_assert(sizeof(zyr_stats) >= 1024 && sizeof(pages.slot[0].page) == 4);

const uint8_t* port_raw(ZyrPort* p) {
    if (p->view == VIEW_SAMPLE_COUNT) return p->raw;
    const uint8_t* base = view_base(p->view);
    p->raw = base ? base + p->data_offset : nullptr;
    return p->raw;
}

// A format field read from a file may lack its NUL.
static void field_text(const char* field, size_t size, char* out) {
    size_t n = strnlen(field, size);
    memcpy(out, field, n);
    out[n] = 0;
}

// The bytes a port reads: its byte index, the super-commutated samples
// after it and the raw size of the last one must lie inside its area.
static bool fits_area(const PortRecord* rec, int width, int32_t count, uint32_t incr) {
    uint32_t len = sysparam_length(rec->view);
    uint64_t end = (uint64_t)rec->byteindex + (uint64_t)(count - 1) * incr + (uint64_t)width;
    return len > 0 && end <= len;
}

static void free_port(ZyrPort* p) {
    QOBfree(p->avg);
    QOBfree(p->calib);
    QOBfree(p->h.rec);
    QOBfree(p);
}

// The calibration copy and the averaging ring, from the pool.
static bool attach_calibration(ZyrPort* p, const PortRecord* rec) {
    if (!(rec->port_flags & PF_CALIB)) return true;
    p->calib = (CalibBlock*)QOBmalloc(sizeof(CalibBlock));
    if (!p->calib) return false;
    *p->calib = rec->cal;
    uint32_t n = rec->cal.avgsamples;
    if (n <= 1) return true;
    size_t bytes = ((size_t)n + 1) * sizeof(CalConst);
    p->avg = (CalConst*)QOBmalloc(bytes);
    if (!p->avg) return false;
    memset((void*)p->avg, 0, bytes);
    return true;
}

// Record blocks that the run-time flags carry from the start.
static const struct {
    uint32_t port_flag;
    uint32_t rt_flag;
} kStartFlags[] = {
    {PF_ALARM, RT_HAS_LIMITS},
    {PF_SUBCOM, RT_SUBCOM},
    {PF_CALIB, RT_FUNCTION},
    {PF_PLOT, RT_XPLOT},
    {PF_XPORT, RT_XPORT},
};

static uint32_t start_flags(const PortRecord* rec) {
    uint32_t f = 0;
    for (const auto& m : kStartFlags)
        if (rec->port_flags & m.port_flag) f |= m.rt_flag;
    if (rec->view == VIEW_PACKETHEADER || rec->view == VIEW_PACKETDATA) f |= RT_HELD;
    return f;
}

static uint32_t period_ms(uint32_t mask) { return (uint32_t)rate_period(mask) * zyr.loop_msecs; }

// A signed raw field under a bit mask is extended into every bit above the
// mask's lowest set bit that the mask does not cover.
static uint32_t sign_extension(const PortRecord* rec) {
    uint32_t mask = rec->cal.bitmask;
    if (!(rec->cal.calflags & CAL_BITMASK) || mask == 0) return 0;
    return (0xFFFFFFFFu << __builtin_ctz(mask)) & ~mask;
}

static void fill_port(ZyrPort* p, const PortRecord* rec, int index, int width, int32_t count, uint32_t incr) {
    char fmt[DT_TEXT_BUF];
    p->index = index;
    p->view = rec->view;
    p->data_offset = rec->byteindex;
    p->raw_width = width;
    field_text(rec->rawformat, sizeof rec->rawformat, fmt);
    p->raw_type = dt_classify(fmt);
    field_text(rec->displayformat, sizeof rec->displayformat, fmt);
    p->data_type = dt_classify(fmt);
    p->disp_width = dt_display_width(fmt);
    if (p->disp_width > DT_TEXT_MAX) p->disp_width = DT_TEXT_MAX;
    p->super_count = count;
    p->super_incr = incr;
    p->conv_index = (rec->port_flags & PF_CALIB) ? rec->function : -1;
    p->h.port_flags = rec->port_flags;
    p->h.flags = start_flags(rec);
    bool plot = (rec->port_flags & PF_PLOT) != 0;
    p->h.process_mask = plot ? 0xFFFFFFFFu : rec->processrate;
    p->h.display_mask = plot ? 0xFFFFFFFFu : rec->displayrate;
    p->process_period_ms = period_ms(p->h.process_mask);
    p->display_period_ms = period_ms(p->h.display_mask);
    p->built_loop_ms = zyr.loop_msecs;
    p->sign_ext = (rec->port_flags & PF_CALIB) ? sign_extension(rec) : 0;
    p->rec_slot = -1;
    p->h.tag_parent = -1;
    if (rec->view == VIEW_SAMPLE_COUNT) {
        // The port's own counter is one sample of at most four bytes.
        p->raw = bytes_of(&p->sample_count);
        if (p->raw_width > (int)sizeof p->sample_count) p->raw_width = sizeof p->sample_count;
        p->super_count = 1;
        p->super_incr = 0;
    } else {
        port_raw(p);
    }
}

static PortHead* refuse(const PortRecord* rec, int index, const char* what) {
    debug_printf("!! ZYRPORT %d %s view %hu byteindex %hu !!", index, what, rec->view, rec->byteindex);
    return nullptr;
}

PortHead* port_build(const PortRecord* rec, int index) {
    char fmt[DT_TEXT_BUF];
    field_text(rec->rawformat, sizeof rec->rawformat, fmt);
    int width = dt_raw_size(fmt);
    if (dt_is_text(dt_classify(fmt)) && width > DT_TEXT_MAX) width = DT_TEXT_MAX;
    int32_t count = rec->supercommcount > 1 ? rec->supercommcount : 1;
    uint32_t incr = count > 1 ? rec->supercommincr : 0;
    if (!fits_area(rec, width, count, incr)) return refuse(rec, index, "outside its area");
    if ((rec->port_flags & PF_CALIB) && rec->function >= CALIB_FN_COUNT) return refuse(rec, index, "unknown function");
    ZyrPort* p = (ZyrPort*)QOBmalloc(sizeof(ZyrPort));
    if (!p) return nullptr;
    memset((void*)p, 0, sizeof *p);
    p->h.rec = (PortRecord*)QOBmalloc(sizeof(PortRecord));
    if (!p->h.rec || !attach_calibration(p, rec)) {
        free_port(p);
        return nullptr;
    }
    *p->h.rec = *rec;
    fill_port(p, rec, index, width, count, incr);
    return &p->h;
}

// A length port makes the packets variable-length; a filter port becomes
// the page's packet filter; a port with limits turns the alarm service on;
// a port with a record file starts recording.
void port_complete(PortHead* h, int index) {
    const PortRecord* rec = h->rec;
    ZyrPort* p = reinterpret_cast<ZyrPort*>(h);
    if (h->flags & RT_HAS_LIMITS) port_state.alarm_ports++;
    if ((rec->port_flags & PF_RECORD) && rec->filename[0]) {
        char name[sizeof rec->filename];
        field_text(rec->filename, sizeof rec->filename - 1, name);
        param_record_open(p, name, REC_PARAM);
    }
    if (rec->port_flags & PF_VARPKTLEN) {
        char name[DT_TEXT_BUF];
        field_text(rec->mnemonic, DT_TEXT_MAX, name);
        debug_printf("ZYRPORT Var length pkt <%s> %u %hu", name, (unsigned)index, rec->byteindex);
        h->flags |= RT_LENGTH;
        pages.length_port = (uint32_t)index + 1;
        PacketRecord d = pkt_layout.desc;
        d.fixedpacketlength = 0;
        if (d.sync_len >= 1 && d.sync_len <= 4) CreatePacket(&d);
        else pkt_layout.desc.fixedpacketlength = 0;
    }
    if (rec->port_flags & PF_FILTER) {
        h->flags |= RT_FILTER;
        port_state.filter_port = index + 1;
    }
}

// A port deleted in alarm gives its beep and stop requests back, so a page
// change never leaves the beeper on or the cycle in step mode; its record
// file is closed with the closing header.
int port_delete(PortHead* h, int index) {
    if (pages.length_port == (uint32_t)index + 1) pages.length_port = 0;
    if (port_state.filter_port == index + 1) port_state.filter_port = 0;
    ZyrPort* p = reinterpret_cast<ZyrPort*>(h);
    if (port_hooks.deleted) port_hooks.deleted(index);
    alarm_release(p);
    param_record_close(p, false);
    if ((h->flags & RT_HAS_LIMITS) && port_state.alarm_ports > 0) port_state.alarm_ports--;
    int rc = 0;
    if (p->avg && QOBfree(p->avg) != 0) rc = -1;
    if (p->calib && QOBfree(p->calib) != 0) rc = -1;
    if (QOBfree(p->h.rec) != 0) rc = -1;
    if (QOBfree(p) != 0) rc = -1;
    return rc;
}

// The record stays enabled, so saving the page keeps the tag.
void port_orphan_tag(PortHead* h, int index) {
    char name[24];
    field_text(h->rec->subcomtag, 20, name);
    h->flags &= ~RT_SUBCOM;
    debug_printf("!! ZYRPORT %d sub-com tag <%s> not found !!", index, name);
}

void port_register() {
    port_ops.build = port_build;
    port_ops.complete = port_complete;
    port_ops.destroy = port_delete;
    port_ops.orphan_tag = port_orphan_tag;
}

// ---- vantor wiring ----------------------------------------------------------

// The start page is the first page loaded: the table allocated by early
// start-up is taken over then, while it is still empty.
static int load_page_hook(int page) {
    if (startup.port_table && pages.ports != (PortHead**)startup.port_table) page_set_table(startup.port_table);
    return page_load(page);
}

static void free_pages_hook() {
    page_free_all();
    page_set_table(nullptr);
}

static void backup_hook() { page_backup_step(); }

// The packet record files that the backup machine flushes periodically.
static int record_slots_hook(RecordSlots* rs) {
    *rs = recording.slots;
    return 0;
}

// A failure to start korlw does not fail the save: the binary page is
// saved, only its text is not regenerated, which the debug log and the
// message line say.
static void start_korlw_hook(const char* path) {
    if (page_start_korlw(path) == 0) return;
    debug_printf("!! korlw not started for %s !!", path);
    zyr_message("korlw not found: the page text file is not written", MSG_TIME);
}

static int warning_box_hook(const char* text, const char* caption) {
    return plat_message_box(text, caption, MB_OK | MB_ICONEXCLAMATION);
}

void page_register_startup_hooks() {
    port_register();
    startup_hooks.load_page = load_page_hook;
    startup_hooks.page_resident = page_resident;
    startup_hooks.free_page_lists = free_pages_hook;
    page_hooks.set_loop_time = cycle_set_loop_time;
    page_hooks.page_saved = start_korlw_hook;
    page_hooks.record_slots = record_slots_hook;
    page_hooks.warning_box = warning_box_hook;
    cycle_hooks.page_backup = backup_hook;
}
