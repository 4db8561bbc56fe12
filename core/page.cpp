// Resident pages: the port table and its three slots, page loading and
// saving, port creation with table reuse, plot pairs and sub-com tags, the
// variable packet length check, the page change and the periodic backup.
#include "core/page.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/state.h"
#include "platform/sys.h"

PortOps port_ops;
PageHooks page_hooks;
PageState pages;

static PortHead* g_own_table[MAXZYRPORTS];

// The bits of the input/output word that stand for an open device or file
// (serial and network directions, playback and record files). A page file
// cannot open them, so its bits for them would claim a source or sink that
// does not exist: these never come from a page. Every other bit of both
// words of the system record is ORed in.
constexpr uint32_t kIoFlagsOpened = IO_RAW_RECORD | IO_RAW_PLAYBACK | IO_COMP_RECORD | IO_COMP_PLAYBACK |
                                    IO_ASCII_RECORD | IO_ASCII_PLAYBACK | IO_SERIAL_IN | IO_SERIAL_OUT | IO_NET_IN |
                                    IO_NET_OUT;
constexpr uint32_t kMaxPeriodSecs = 86400;

static void slot_clear(PageSlot* s) {
    *s = PageSlot{};
    s->page = -1;
}

static void page_start_state() {
    memset(&pages, 0, sizeof pages);
    pages.ports = g_own_table;
    memset(g_own_table, 0, sizeof g_own_table);
    pages.pending_x = -1;
    for (auto& s : pages.slot) slot_clear(&s);
}

static struct PageInit {
    PageInit() { page_start_state(); }
} g_page_init;

uint16_t page_slot(int page) {
    if (page == 0) return SLOT_SYSTEM;
    if (page == 9999) return SLOT_SYSPARAMS;
    if (page >= 1 && page <= 9998) return SLOT_DISPLAY;
    return NO_SLOT;
}

PortHead* page_port(int index) {
    return (index >= 0 && index < MAXZYRPORTS) ? pages.ports[index] : nullptr;
}

PortHead* page_slot_port(int slot, int index) {
    PortHead* p = page_port(index);
    return (p && p->slot == slot) ? p : nullptr;
}

int page_set_table(void** table) {
    for (int i = 0; i < MAXZYRPORTS; i++)
        if (pages.ports[i]) return -1;
    pages.ports = table ? (PortHead**)table : g_own_table;
    memset(pages.ports, 0, MAXZYRPORTS * sizeof(PortHead*));
    return 0;
}

// The three port counters of the display slot: first, count, last. An
// empty slot ends one before it starts, so first + count = last + 1 holds.
static void publish_counters() {
    const PageSlot& s = pages.slot[SLOT_DISPLAY];
    zyr_stat(ST_PORTS_1) = s.first;
    zyr_stat(ST_PORTS_2) = s.count;
    zyr_stat(ST_PORTS_3) = s.count ? s.last : (uint32_t)s.first - 1;
}

static void slot_take(int slot, int index) {
    PageSlot& s = pages.slot[slot];
    if (s.count == 0) {
        s.first = s.last = (uint16_t)index;
    } else {
        if (index < s.first) s.first = (uint16_t)index;
        if (index > s.last) s.last = (uint16_t)index;
    }
    s.count = (uint16_t)(s.last - s.first + 1);
}

// The range shrinks to the slot's remaining ports after a single delete.
static void slot_recount(int slot) {
    PageSlot& s = pages.slot[slot];
    if (s.count == 0) return;
    int lo = -1, hi = -1;
    for (int i = s.first; i <= s.last; i++) {
        if (!page_slot_port(slot, i)) continue;
        if (lo < 0) lo = i;
        hi = i;
    }
    if (lo < 0) {
        s.first = s.last = s.count = 0;
        return;
    }
    s.first = (uint16_t)lo;
    s.last = (uint16_t)hi;
    s.count = (uint16_t)(hi - lo + 1);
}

// ---- creating and deleting ports ---------------------------------------------

static int count_free() {
    int n = 0;
    for (int i = 0; i < MAXZYRPORTS; i++)
        if (!pages.ports[i]) n++;
    return n;
}

// Near the end of the table ports go into free entries; an X port needs a
// free entry after it for its plot port.
static int reuse_index(uint32_t pf) {
    PortHead** t = pages.ports;
    if (count_free() < 4) {
        debug_printf("CreateZYRPortHL(): MAXZYRPORTS exceeded");
        return -1;
    }
    if (pf & PF_XPORT) {
        for (int i = 0; i + 1 < MAXZYRPORTS; i++) {
            if (!t[i] && !t[i + 1]) {
                pages.pending_x = i;
                return i;
            }
        }
        return -1;
    }
    if (pf & PF_PLOT) {
        int i = pages.pending_x < 0 ? -1 : pages.pending_x + 1;
        pages.pending_x = -1;
        return (i > 0 && i < MAXZYRPORTS && !t[i]) ? i : -1;
    }
    for (int i = 0; i < MAXZYRPORTS; i++)
        if (!t[i]) return i;
    return -1;
}

static int choose_index(uint32_t pf) {
    if (pages.next_index < MAXZYRPORTS - 4) {
        int i = pages.next_index;
        pages.pending_x = (pf & PF_XPORT) ? i : -1;
        return i;
    }
    return reuse_index(pf);
}

int CreateZYRPortHL(const PortRecord* rec, int slot) {
    if (!rec || slot < 0 || slot >= PAGE_SLOTS) return -1;
    uint32_t pf = rec->port_flags;
    int index = choose_index(pf);
    if (index < 0) {
        zyr_err(15, 2, "Max ports >1", MAXZYRPORTS, 0, 0);
        return -2;
    }
    if (!(pf & PF_ENABLE)) return -3;
    PortHead* p = port_ops.build ? port_ops.build(rec, index) : nullptr;
    if (!p) {
        zyr_err(15, 2, "Page,Index = >2", pages.slot[slot].page, index, 0);
        pages.pending_x = -1;
        return -1;
    }
    p->slot = slot;
    pages.ports[index] = p;
    if (index >= pages.next_index) pages.next_index = (uint16_t)(index + 1);
    slot_take(slot, index);
    publish_counters();
    if (port_ops.complete) port_ops.complete(p, index);
    return index;
}

int CreateZYRPortVHL(PortRecord* y, PortRecord* x, int slot) {
    bool plot = (y->port_flags & PF_PLOT) != 0;
    int xi = -1;
    if (plot) {
        if (!x) return -1;
        y->displayrate = y->processrate = 0xFFFFFFFFu;
        x->displayrate = x->processrate = 0xFFFFFFFFu;
        x->port_flags |= PF_XPORT;
        xi = CreateZYRPortHL(x, slot);
        if (xi < 0) {
            debug_printf("CreateZYRPortVHL() X plot call CreateZYRPortHL() failed %d", xi);
            return -2;
        }
        pages.ports[xi]->flags |= RT_XPORT;
    }
    int yi = CreateZYRPortHL(y, slot);
    if (yi < 0) {
        debug_printf("CreateZYRPortVHL() Y port call CreateZYRPortHL() failed %d", yi);
        if (plot) {
            debug_printf("CreateZYRPortVHL() Y plot call CreateZYRPortHL() failed %d", yi);
            page_delete_port(xi);
        }
        return -3;
    }
    return yi;
}

static int delete_entry(int index) {
    PortHead* p = pages.ports[index];
    pages.ports[index] = nullptr;
    if (pages.pending_x == index) pages.pending_x = -1;
    return port_ops.destroy ? port_ops.destroy(p, index) : 0;
}

int page_delete_port(int index) {
    PortHead* p = page_port(index);
    if (!p) return 0;
    int slot = p->slot;
    int rc = delete_entry(index);
    slot_recount(slot);
    publish_counters();
    return rc;
}

// The old object goes first, so that what it registered (a filter or a
// length port) is unregistered before the new one registers itself.
int page_replace_port(int index, const PortRecord* rec) {
    PortHead* old = page_port(index);
    if (!old || !rec || !port_ops.build) return -2;
    PortRecord before = *old->rec;
    before.port_flags = old->port_flags;
    int slot = old->slot;
    uint32_t kept = old->flags & RT_XPORT;
    delete_entry(index);
    PortHead* p = port_ops.build(rec, index);
    int rc = 0;
    if (!p) {
        p = port_ops.build(&before, index);
        rc = -1;
        if (!p) {
            slot_recount(slot);
            publish_counters();
            return -1;
        }
    }
    p->slot = slot;
    p->flags |= kept;
    pages.ports[index] = p;
    publish_counters();
    if (port_ops.complete) port_ops.complete(p, index);
    return rc;
}

int DeletePageLL(int slot) {
    if (slot < 0 || slot >= PAGE_SLOTS) return -1;
    PageSlot& s = pages.slot[slot];
    int rc = 0;
    for (int i = s.count ? s.last : -1; s.count && i >= (int)s.first; i--) {
        if (!page_slot_port(slot, i)) continue;
        int r = delete_entry(i);
        if (r != 0) {
            zyr_err(21, 2, "DeletePageLL>1", 23, 0, 0);
            debug_printf("DeletePageLL>1 %d %d", i, r);
            rc = -1;
        }
    }
    slot_clear(&s);
    publish_counters();
    return rc;
}

void page_free_all() {
    DeletePageLL(SLOT_DISPLAY);
    DeletePageLL(SLOT_SYSPARAMS);
    DeletePageLL(SLOT_SYSTEM);
}

// ---- plot pairs and sub-com tags -------------------------------------------

void page_mark_plot_pairs() {
    PortHead** t = pages.ports;
    for (int i = 0; i + 1 < pages.next_index;) {
        PortHead* a = t[i];
        PortHead* b = t[i + 1];
        if (a && b && a->slot == b->slot && !(a->port_flags & PF_PLOT) && (b->port_flags & PF_PLOT)) {
            a->port_flags |= PF_XPORT;
            a->flags |= RT_XPORT;
            a->display_mask = a->process_mask = 0xFFFFFFFFu;
            i += 2;
        } else {
            i++;
        }
    }
}

static bool names_port(const PortHead* tag, const PortHead* q) {
    if (!q || q == tag || !(q->port_flags & PF_ENABLE) || (q->port_flags & PF_SUBCOM)) return false;
    return strncmp(q->rec->mnemonic, tag->rec->subcomtag, 20) == 0;
}

// The stored index is kept while it still names the right port (page files
// saved by this program carry it); else the slot is searched from its start.
static int find_tag_port(int slot, const PortHead* tag) {
    if (!tag->rec->subcomtag[0]) return -1;
    const PageSlot& s = pages.slot[slot];
    uint32_t stored = tag->rec->portno;
    if (stored >= s.first && stored <= s.last && names_port(tag, page_slot_port(slot, (int)stored))) return (int)stored;
    for (int j = s.first; j <= s.last; j++)
        if (names_port(tag, page_slot_port(slot, j))) return j;
    return -1;
}

// Tag counts are recounted from the tags themselves, so a count read from
// the file never adds to the links made here.
void page_link_subcom_tags(int slot) {
    const PageSlot& s = pages.slot[slot];
    if (s.count == 0) return;
    for (int i = s.first; i <= s.last; i++)
        if (PortHead* p = page_slot_port(slot, i)) p->tag_count = 0;
    for (int i = s.first; i <= s.last; i++) {
        PortHead* p = page_slot_port(slot, i);
        if (!p || (p->port_flags & (PF_ENABLE | PF_SUBCOM)) != (PF_ENABLE | PF_SUBCOM)) continue;
        int parent = find_tag_port(slot, p);
        p->tag_parent = parent;
        if (parent < 0) {
            if (port_ops.orphan_tag) port_ops.orphan_tag(p, i);
            continue;
        }
        p->rec->portno = (uint32_t)parent;
        pages.ports[parent]->tag_count++;
    }
}

// ---- variable packet length check -------------------------------------------

static void assume_fixed_length() {
    if (!page_hooks.warning_box ||
        page_hooks.warning_box("Warning - Missing pkt length parameter.\nDefault 128 byte length assumed",
                               "Variable Length Pkts") <= 0)
        zyr_err(21, 2, "Variable Length Pkt error", 0, 0, 0);
    PacketRecord d = pkt_layout.desc;
    d.fixedpacketlength = 128;
    CreatePacket(&d);
    pages.length_port = 0;
    page_mark_changed(SLOT_SYSTEM);
}

int page_check_varpktlen() {
    if (pkt_layout.desc.fixedpacketlength != 0) return 0;
    int rc = 0, found = -1;
    for (int i = 0; i < pages.next_index; i++) {
        PortHead* p = pages.ports[i];
        if (!p || (p->port_flags & (PF_ENABLE | PF_VARPKTLEN)) != (PF_ENABLE | PF_VARPKTLEN)) continue;
        if (found < 0) {
            found = i;
            p->flags |= RT_LENGTH;
            if (pages.length_port != (uint32_t)i + 1) {
                debug_printf("var pkt len parm does not match cfg'd %lu %u", (unsigned long)pages.length_port, i + 1);
                pages.length_port = (uint32_t)i + 1;
                rc = -2;
            }
        } else {
            debug_printf("multiple var pkt length entries %lu %u", (unsigned long)pages.length_port, i + 1);
            p->port_flags &= ~PF_VARPKTLEN;
            p->flags &= ~RT_LENGTH;
            if (rc == 0) rc = -1;
        }
    }
    if (found >= 0) return rc;
    assume_fixed_length();
    return -3;
}

// ---- loading -------------------------------------------------------------------

// The page's record has the sync length in bytes; the packet setup takes it
// in bits and lays the header out again.
static void apply_packet(const PacketRecord* r) {
    PacketRecord s = *r;
    s.sync_len = (uint16_t)(r->sync_len <= 4 ? r->sync_len * 8 : 0);
    packet_setup(&s);
}

// The input sources in the order of the conflict check: the first that is
// on is the one the program reads.
static const struct {
    uint32_t bit;
    const char* name;
} kSources[] = {
    {IO_TEST_DATA, "Test data"},       {IO_USER_BYTE_IN, "User byte"}, {IO_USER_PACKET_IN, "User pck"},
    {IO_RAW_PLAYBACK, "Raw"},          {IO_COMP_PLAYBACK, "Compressed"}, {IO_ASCII_PLAYBACK, "Ascii"},
    {IO_SERIAL_IN, "Serial"},          {IO_NET_IN, "TCPIP/UDP"},
};

// Merges the page's input/output bits under the one-source rule: with a
// source already running it stays the only one (the page cannot switch it
// off, it has no device of its own); otherwise the first of the page's
// sources wins. Every source left off is named in the debug log.
static void one_input_source(uint32_t bits) {
    const char* on = nullptr;
    for (const auto& s : kSources)
        if (zyr.IoFlags & s.bit) {
            on = s.name;
            break;
        }
    for (const auto& s : kSources) {
        if (!(bits & s.bit) || (zyr.IoFlags & s.bit)) continue;
        if (on) {
            debug_printf("Page 0 input source %s left off: %s is on", s.name, on);
            bits &= ~s.bit;
        } else {
            on = s.name;
        }
    }
    zyr.IoFlags |= bits;
}

static uint32_t cap_period(uint32_t secs) { return secs > kMaxPeriodSecs ? kMaxPeriodSecs : secs; }

static void apply_system(const SystemRecord* in) {
    SystemRecord& r = pages.sysrec;
    r = *in;
    for (int i = 0; i < 4; i++) {
        if (r.serial[i].bufsize < 1024) r.serial[i].bufsize = 8192;
        if (page_hooks.apply_serial) page_hooks.apply_serial(i, &r.serial[i]);
    }
    if (page_hooks.apply_network) page_hooks.apply_network(&r.net_in, &r.net_out);
    if (page_hooks.apply_files) page_hooks.apply_files(r.files);
    pages.file_bufsize = r.bufsize;
    pages.flush_period = cap_period(r.flushperiod);
    pages.timeout_period = r.timeoutperiod;
    zyr.SystemFlags |= r.sysflags;
    one_input_source(r.ioflags & ~kIoFlagsOpened);
    page_set_backup_period(r.backupperiod);
    int back = (r.colourflags & SYS_WINDOWBACKCOLOR) ? r.windowbackcolor : -1;
    int fore = (r.colourflags & SYS_WINDOWFORECOLOR) ? r.windowforecolor : -1;
    if (page_hooks.apply_display) page_hooks.apply_display(r.videoflags, back, fore);
}

static int read_page_records(int f, int slot) {
    PageRecordBody body;
    for (;;) {
        int r = page_read_record(f, &body);
        if (r <= 0) return r;
        if (r == (int)TAG_PORT) CreateZYRPortHL(&body.port, slot);
        else if (r == (int)TAG_PACKET) apply_packet(&body.packet);
        else apply_system(&body.system);
    }
}

int page_resident(int page) {
    uint16_t s = page_slot(page);
    return s != NO_SLOT && pages.slot[s].page == page;
}

int page_load(int page) {
    uint16_t s = page_slot(page);
    char want[300], path[300];
    if (s == NO_SLOT || page_file_path(pages.dir, page, "BIN", want, sizeof want) != 0) return -1;
    if (pages.slot[s].count || pages.slot[s].page >= 0) DeletePageLL(s);
    int f = page_find_file(want, path, sizeof path) == 0 ? page_file_open_read(path) : -1;
    if (f < 0) {
        zyr_err(14, 1, want, 0, 0, 0);
        return 14;
    }
    pages.slot[s].page = page;
    int rc = read_page_records(f, s);
    zyr_fclose(f);
    page_mark_plot_pairs();
    page_link_subcom_tags(s);
    publish_counters();
    return rc;
}

int page_change(int page) {
    pages.generation++;
    DeletePageLL(SLOT_DISPLAY);
    if (!page_resident(0)) page_load(0);
    if (!page_resident(9999)) page_load(9999);
    int rc = (page >= 1 && page <= 9998) ? page_load(page) : 0;
    page_check_varpktlen();
    zyr.SystemFlags &= ~SF_PAGE_CHANGED;
    if (page_hooks.repaint) page_hooks.repaint();
    return rc;
}

// ---- saving ----------------------------------------------------------------------

void page_port_record(const PortHead* p, PortRecord* out) {
    *out = *p->rec;
    out->port_flags = p->port_flags | ((p->flags & RT_LENGTH) ? (uint32_t)PF_VARPKTLEN : 0u);
    out->sbtagcount = p->tag_count;
}

struct SaveRange {
    int first, last;   // table indexes, last < first when empty
    int slot;          // owning slot, -1 for a single port
    int page;          // page whose file is the default target
};

static int slot_of_range(int range) {
    switch (range) {
    case SAVE_DISPLAY: return SLOT_DISPLAY;
    case SAVE_SETTINGS: return SLOT_SYSTEM;
    case SAVE_SYSPARAMS: return SLOT_SYSPARAMS;
    default: return -1;
    }
}

// A single port goes with the other half of its plot pair, X port first.
static int save_range(int range, int index, SaveRange* r) {
    if (range == SAVE_PORT) {
        PortHead* p = page_port(index);
        if (!p) return -1;
        PortHead* next = page_port(index + 1);
        PortHead* prev = page_port(index - 1);
        r->first = r->last = index;
        if ((p->port_flags & PF_XPORT) && next && (next->port_flags & PF_PLOT)) r->last = index + 1;
        if ((p->port_flags & PF_PLOT) && prev && (prev->port_flags & PF_XPORT)) r->first = index - 1;
        r->slot = -1;
        r->page = pages.slot[p->slot].page;
        return 0;
    }
    int s = slot_of_range(range);
    if (s < 0) return -1;
    const PageSlot& ps = pages.slot[s];
    r->first = ps.count ? ps.first : 0;
    r->last = ps.count ? ps.last : -1;
    r->slot = s;
    r->page = s == SLOT_SYSTEM ? 0 : s == SLOT_SYSPARAMS ? 9999 : ps.page;
    return 0;
}

static int write_ports(int f, const SaveRange& r, long* written) {
    PortRecord rec;
    for (int i = r.first; i <= r.last; i++) {
        PortHead* p = r.slot >= 0 ? page_slot_port(r.slot, i) : page_port(i);
        if (!p || !(p->port_flags & PF_ENABLE)) continue;
        page_port_record(p, &rec);
        int n = page_write_record(f, TAG_PORT, &rec);
        if (n < 0) return -1;
        *written += n;
    }
    return 0;
}

// The loop time of the cycle while a save holds it at 10 ms.
static uint32_t g_loop_before_save;

// Page 0 ends with the running packet description and the settings.
static int write_settings(int f, long* written) {
    SystemRecord sys = pages.sysrec;
    sys.backupperiod = pages.backup_period;
    if (page_hooks.gather_system) page_hooks.gather_system(&sys);
    if (page_hooks.set_loop_time) sys.looptime = g_loop_before_save;
    int a = page_write_record(f, TAG_PACKET, &pkt_layout.desc);
    int b = page_write_record(f, TAG_SYSTEM, &sys);
    if (a < 0 || b < 0) return -1;
    *written += a + b;
    return 0;
}

static long file_size(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 ? (long)st.st_size : -1;
}

// A new file is written beside its target and renamed over it once it is
// complete, so a failure leaves the old page as it was; an append that fails
// is cut back to the old end. The size check catches a buffer flush that
// failed on the way.
static int write_page_file(const SaveRange& r, bool settings, const char* path, bool append) {
    char tmp[310];
    if (snprintf(tmp, sizeof tmp, "%s.TMP", path) >= (int)sizeof tmp) return -1;
    const char* target = append ? path : tmp;
    long old_size = append ? file_size(path) : -1;
    long start = old_size < 0 ? 0 : old_size;
    int f = zyr_fopen(target, append ? "a" : "w", 2048);
    if (f < 0) return -1;
    long written = 0;
    bool ok = write_ports(f, r, &written) == 0 && (!settings || write_settings(f, &written) == 0);
    if (zyr_fclose(f) != 0) ok = false;
    if (ok && file_size(target) != start + written) ok = false;
    if (!ok) {
        if (old_size < 0 || truncate(target, old_size) != 0) remove(target);
        return -2;
    }
    if (!append && rename(tmp, path) != 0) {
        remove(tmp);
        return -2;
    }
    return 0;
}

int page_save(int range, int port_index, const char* path, unsigned opts) {
    SaveRange r;
    if (save_range(range, port_index, &r) != 0) return -1;
    char own[300];
    if (!path) {
        if (page_file_path(pages.dir, r.page, "BIN", own, sizeof own) != 0) return -1;
        path = own;
    }
    uint32_t loop = zyr.loop_msecs;
    g_loop_before_save = loop;
    if (page_hooks.set_loop_time) page_hooks.set_loop_time(10);
    int rc = write_page_file(r, range == SAVE_SETTINGS, path, (opts & SAVE_APPEND) != 0);
    if (page_hooks.set_loop_time) page_hooks.set_loop_time(loop);
    if (rc != 0 || (opts & SAVE_BACKUP)) return rc;
    if (page_hooks.page_saved) page_hooks.page_saved(path);
    if (r.slot >= 0) pages.slot[r.slot].changed = 0;
    return 0;
}

// ---- korlw ---------------------------------------------------------------------

static bool executable_in(const char* dir, size_t dirlen, char* out, size_t cap) {
    if (dirlen == 0) return false;
    int n = snprintf(out, cap, "%.*s/korlw", (int)dirlen, dir);
    return n > 0 && (size_t)n < cap && access(out, X_OK) == 0;
}

// Next to the running program, else in the start-up directory, else on PATH.
static int find_korlw(char* out, size_t cap) {
    char dir[PATH_MAX];
    if (plat_exe_dir(dir, sizeof dir) == 0 && executable_in(dir, strlen(dir), out, cap)) return 0;
    if (executable_in(zyr.startdir, strlen(zyr.startdir), out, cap)) return 0;
    const char* path = getenv("PATH");
    while (path && *path) {
        const char* end = strchr(path, ':');
        size_t len = end ? (size_t)(end - path) : strlen(path);
        if (executable_in(path, len, out, cap)) return 0;
        path = end ? end + 1 : nullptr;
    }
    return -1;
}

int page_start_korlw(const char* page_path) {
    size_t n = strlen(page_path);
    char text[300], prog[PATH_MAX];
    if (n < 4 || n - 4 + 5 > sizeof text) return -1;
    snprintf(text, sizeof text, "%.*s.TXT", (int)(n - 4), page_path);
    if (find_korlw(prog, sizeof prog) != 0) return -1;
    return plat_start_detached(prog, text);
}

// ---- periodic backup --------------------------------------------------------------

static int backup_display(char* path, size_t cap) {
    const PageSlot& s = pages.slot[SLOT_DISPLAY];
    if (s.changed == 0 || s.page < 0) return 0;
    if (page_file_path(pages.dir, s.page, "BAK", path, cap) != 0) return -1;
    return page_save(SAVE_DISPLAY, 0, path, SAVE_BACKUP) == 0 ? 0 : -1;
}

static int backup_system(char* path, size_t cap) {
    if (pages.slot[SLOT_SYSTEM].changed == 0 && pages.slot[SLOT_SYSPARAMS].changed == 0) return 0;
    int rc = 0;
    if (page_file_path(pages.dir, 0, "BAK", path, cap) != 0 || page_save(SAVE_SETTINGS, 0, path, SAVE_BACKUP) != 0)
        rc = -2;
    if (page_file_path(pages.dir, 9999, "BAK", path, cap) != 0 || page_save(SAVE_SYSPARAMS, 0, path, SAVE_BACKUP) != 0)
        rc = -2;
    return rc;
}

// The path buffers come from the pool, as every run-time buffer does.
static int backup_save(int state) {
    const size_t cap = 300;
    char* path = (char*)QOBmalloc(cap);
    if (!path) return state == 2 ? -5 : -6;
    int rc = state == 2 ? backup_display(path, cap) : backup_system(path, cap);
    QOBfree(path);
    return rc;
}

int page_backup_step() {
    uint32_t now = zyr.zyr_msecs;
    if (now - pages.last_step_ms < 1000) return BACKUP_TOO_SOON;
    RecordSlots rs;
    if (page_hooks.record_slots && page_hooks.record_slots(&rs) == 0) flush_record_files(&rs, pages.flush_period);
    if (pages.backup_period == 0) return BACKUP_OFF;
    if (now - pages.last_step_ms < 5000) return BACKUP_TOO_SOON;
    pages.last_step_ms = now;
    switch (pages.backup_state) {
    case 0:
        pages.backup_state = 1;
        return 0;
    case 1:
        if ((uint64_t)(now - pages.last_backup_ms) < (uint64_t)pages.backup_period * 1000) return BACKUP_NOT_DUE;
        backup_step(pages.backup_period);
        pages.last_backup_ms = now;
        pages.backup_state = 2;
        return 0;
    case 2:
        pages.backup_state = 3;
        return backup_save(2);
    case 3:
        pages.backup_state = 4;
        return backup_save(3);
    default:
        pages.backup_state = 0;
        debug_log_close();  // flushed; the next line opens it again
        return 0;
    }
}

// ---- settings -------------------------------------------------------------------

void page_mark_changed(int slot) {
    if (slot >= 0 && slot < PAGE_SLOTS) pages.slot[slot].changed++;
}

int page_set_dir(const char* dir) {
    if (!dir || strlen(dir) >= sizeof pages.dir) return -1;
    strcpy(pages.dir, dir);
    return 0;
}

void page_set_backup_period(uint32_t secs) {
    pages.backup_period = cap_period(secs);
    if (pages.backup_period == 0) zyr.IoFlags &= ~IO_BACKUP;
}

void page_reset() {
    page_free_all();
    page_start_state();
    port_ops = PortOps{};
    page_hooks = PageHooks{};
}
