// The run over the resident ports. An unchanged parameter costs one
// comparison of its raw bytes per pass; conversion, limits, recording and
// drawing happen only for changed, forced or blinking ports. Ports below
// the first port of the display page are the system ports (pages 0 and
// 9999); the packet counts as accepted from the first display port on
// when there is no packet filter.
#include "engine/evaluate.h"

#include <cstring>

#include "core/diagnostics.h"
#include "core/packet.h"
#include "core/page.h"
#include "core/state.h"
#include "engine/alarm.h"
#include "engine/calib.h"
#include "engine/cycle.h"
#include "engine/paramrecord.h"
#include "engine/startup.h"
#include "engine/views.h"

EvalDrawHooks eval_draw;
EvalState eval = {0, -1, 0};

void evaluate_reset() {
    eval_draw = EvalDrawHooks{};
    eval = EvalState{0, -1, 0};
    calib_reset();
    param_record_reset();
    views_reset();
}

static bool text_type(int t) { return t == DT_STRING || t == DT_CHARS || t == DT_TEXT || t == DT_HEXCHAR; }

// Compares the field with the raw copy and copies it on a difference; a
// text field counts up to its terminating zero. A port never converted
// counts as changed, so its first value is always a converted one.
static bool same_bytes(const uint8_t* a, const uint8_t* b, size_t n) {
    switch (n) {
    case 2: return a[0] == b[0] && a[1] == b[1];
    case 4: {
        uint32_t x, y;
        memcpy(&x, a, 4);
        memcpy(&y, b, 4);
        return x == y;
    }
    case 8: {
        uint64_t x, y;
        memcpy(&x, a, 8);
        memcpy(&y, b, 8);
        return x == y;
    }
    default: return memcmp(a, b, n) == 0;
    }
}

static bool refresh_raw(ZyrPort* p, const uint8_t* field) {
    size_t n = (size_t)p->raw_width;
    if (text_type(p->raw_type)) {
        size_t len = strnlen((const char*)field, n);
        if (len < n) n = len + 1;
    }
    if (same_bytes(p->cache, field, n) && p->valued) return false;
    memcpy(p->cache, field, n);
    p->h.flags |= RT_CHANGED | RT_REDRAW;
    return true;
}

static void convert(ZyrPort* p) {
    port_convert(p);
    p->h.flags &= ~RT_CHANGED;
    cyc.value_changes++;
}

static void draw(ZyrPort* p) {
    if (eval_draw.draw_port) eval_draw.draw_port(p);
    p->h.flags &= ~(RT_REDRAW | RT_FORCED);
}

void eval_port_now(ZyrPort* p) {
    const uint8_t* field = port_raw(p);
    if (!field) return;
    int saved = zyr.eval_port;
    zyr.eval_port = p->index;
    if (refresh_raw(p, field)) {
        convert(p);
        fp_check();
    }
    zyr.eval_port = saved;
}

// A forced port that is not processed in this pass is still redrawn, its
// alarm colours refreshed.
static void forced_redraw(ZyrPort* p) {
    if (!(p->h.flags & RT_FORCED)) return;
    if (p->h.flags & RT_HAS_LIMITS) alarm_visual_refresh(p);
    p->h.flags |= RT_REDRAW;
    draw(p);
}

// A tag that names no port, or one with no value yet, lets the port be
// processed.
static bool tag_passes(ZyrPort* p) {
    ZyrPort* tag = p->h.tag_parent >= 0 ? zyr_port(p->h.tag_parent) : nullptr;
    if (!tag || tag == p) return true;
    eval_port_now(tag);
    return !tag->valued || subcom_limit_test(p, tag) == 0;
}

static ZyrPort* x_port_of(int i) {
    ZyrPort* x = zyr_port(i - 1);
    return (x && (x->h.flags & RT_XPORT)) ? x : nullptr;
}

// Port 0 of the display page shows which parameter is being recorded.
static void refresh_record_indicator(ZyrPort* p) {
    const PageSlot& s = pages.slot[SLOT_DISPLAY];
    ZyrPort* ind = s.count ? zyr_port(s.first) : nullptr;
    if (!ind || ind == p) return;
    if (p->super_count > 1) {
        port_set_number(ind, (double)p->sample_count);
    } else {
        const uint8_t* field = port_raw(ind);
        if (field) refresh_raw(ind, field);
        convert(ind);
    }
    ind->h.flags |= RT_REDRAW;
    draw(ind);
}

// Step j: the value of this pass goes to the port's record file.
static void record_step(ZyrPort* p, int i) {
    param_rec.current = i;
    p->marks |= MARK_RECORDING;
    if (p->h.flags & RT_REDRAW) refresh_record_indicator(p);
    param_record_value(p);
    p->marks |= MARK_RECORDED;
    p->h.flags &= ~RT_RECORD;
}

// Steps h to k for one sample whose raw copy is refreshed. A forced pass
// (an alarm blink, a redraw) never writes a record line. Returns true when
// the port was converted.
static bool process_sample(ZyrPort* p, int i, uint32_t phase) {
    uint32_t& f = p->h.flags;
    bool changed = f & RT_CHANGED;
    if (f & RT_XPLOT) {
        if (ZyrPort* x = x_port_of(i)) {
            if (changed) convert(p);
            if (eval_draw.plot_point) eval_draw.plot_point(p, port_numeric(x), port_numeric(p));
        }
    }
    if (changed) {
        if (f & RT_CHANGED) convert(p);
        if ((f & RT_RECORD_HELD) || p->rec_kind == REC_PARAM) {
            if (f & RT_FORCED)
                p->marks &= ~MARK_RECORDING;
            else
                f |= RT_RECORD;
        }
        if (f & RT_HAS_LIMITS) alarm_update(p);
    }
    if (f & RT_RECORD) record_step(p, i);
    // The display mask spreads the drawing of a port; a redraw waits for
    // the port's next display cycle unless the port is forced.
    if ((f & RT_REDRAW) && ((p->h.display_mask & phase) || (f & RT_FORCED)))
        draw(p);
    else
        f &= ~RT_FORCED;
    return changed;
}

static void evaluate_port(ZyrPort* p, int i, bool new_packet, uint32_t phase) {
    uint32_t& f = p->h.flags;
    if (!(f & RT_ON_SCREEN)) {
        if (eval_draw.create_port) eval_draw.create_port(p);
        f |= RT_ON_SCREEN;
        return;
    }
    zyr.eval_port = i;
    if ((f & RT_HELD) && !(zyr.SystemFlags & SF_ACCEPTED)) return forced_redraw(p);
    bool forced = f & RT_FORCED;
    if (!forced && !(p->h.process_mask & phase)) {
        // A redraw left waiting comes in the port's display cycle.
        if ((f & RT_REDRAW) && (p->h.display_mask & phase)) draw(p);
        return;
    }
    if ((f & RT_SUBCOM) && !tag_passes(p)) return forced_redraw(p);
    const uint8_t* base = port_raw(p);
    if (!base) return forced_redraw(p);
    bool converted = false;
    int n = p->super_count;
    for (int k = new_packet ? 0 : n - 1; k < n; k++) {
        bool force_sample = forced;
        if (new_packet) {
            if (!forced) p->sample_count++;
            // Every sample must reach the averaging ring.
            if (p->avg) force_sample = true;
        }
        refresh_raw(p, base + (size_t)k * p->super_incr);
        if (f & RT_HAS_LIMITS) alarm_visual_refresh(p);
        if (force_sample || (f & RT_FORCED)) f |= RT_CHANGED | RT_REDRAW;
        converted |= process_sample(p, i, phase);
    }
    if (converted || diag.fp_pending) fp_check();
}

static void page_change_run() {
    int page = eval.request_page;
    if (page < 0) page = pages.slot[SLOT_DISPLAY].page;
    if (page < 0) page = startup.start_page;
    eval.request_page = -1;
    page_change(page);
    cyc.current_page = pages.slot[SLOT_DISPLAY].page;
    settle_port_periods();
}

void evaluate_page() {
    eval.runs++;
    bool new_packet = zyr.zyrfr_cnt != eval.last_fr_cnt;
    eval.last_fr_cnt = zyr.zyrfr_cnt;
    if (zyr.SystemFlags & SF_PAGE_CHANGED) return page_change_run();
    uint32_t phase = 1u << (cyc.cycle_count & 31);
    const PageSlot& s = pages.slot[SLOT_DISPLAY];
    int first_user = s.count ? s.first : -1;
    bool no_filter = port_state.filter_port == 0;
    PortHead** table = pages.ports;
    for (int i = 0; i < pages.next_index; i++) {
        if (i == first_user && no_filter) zyr.SystemFlags |= SF_ACCEPTED;
        if (table[i]) evaluate_port(reinterpret_cast<ZyrPort*>(table[i]), i, new_packet, phase);
    }
    zyr.eval_port = -1;
    // Ports that must leave the page go once no port is being evaluated.
    if (eval_draw.stage_done) eval_draw.stage_done();
}

void eval_request_page(int page) {
    eval.request_page = page;
    zyr.SystemFlags |= SF_PAGE_CHANGED;
}

// ---- packet filter and length port ----------------------------------------------

bool packet_filter_accepted() {
    bool ok = true;
    ZyrPort* p = port_state.filter_port ? zyr_port(port_state.filter_port - 1) : nullptr;
    if (p && (p->h.flags & RT_FILTER)) {
        eval_port_now(p);
        ok = filter_limit_test(p) == 0;
        p->h.flags |= RT_FORCED;
    }
    if (ok) {
        zyr.SystemFlags |= SF_ACCEPTED;
        views_count_accepted();
    } else {
        zyr.SystemFlags &= ~SF_ACCEPTED;
    }
    return ok;
}

static ZyrPort* length_port() {
    ZyrPort* p = pages.length_port ? zyr_port((int)pages.length_port - 1) : nullptr;
    return (p && (p->h.flags & RT_LENGTH)) ? p : nullptr;
}

// Offset of the length field from the start of the packet; -1 for a port
// that does not read the packet.
static int packet_offset(const ZyrPort* p) {
    if (p->view == VIEW_PACKETHEADER) return (int)p->data_offset;
    if (p->view == VIEW_PACKETDATA) return pkt_layout.header_len + (int)p->data_offset;
    return -1;
}

int eval_length_port(LengthPort* out) {
    ZyrPort* p = length_port();
    int off = p ? packet_offset(p) : -1;
    if (off < 0) return -1;
    out->enabled = p->h.port_flags & PF_ENABLE;
    out->byteindex = off;
    out->width = p->raw_width;
    return 0;
}

// A value that is not a number or is negative gives 0, which the
// synchroniser refuses as too short.
uint32_t eval_length_value(const uint8_t* image, int held) {
    ZyrPort* p = length_port();
    int off = p ? packet_offset(p) : -1;
    if (off < 0 || off + p->raw_width > held) return 0;
    int saved = zyr.eval_port;
    zyr.eval_port = p->index;
    if (refresh_raw(p, image + off)) {
        convert(p);
        fp_check();
    }
    p->h.flags |= RT_FORCED;
    zyr.eval_port = saved;
    double d = port_numeric(p);
    if (!(d >= 0.0)) return 0;
    return d >= 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)d;
}

// ---- processing schedule ----------------------------------------------------------

// The page's mask kept in milliseconds: the period nearest to what it was
// at the loop time the page was built with, from the same start cycle.
static uint32_t mask_for_loop(uint32_t page_mask, uint32_t built_loop) {
    if (zyr.loop_msecs == built_loop || page_mask == 0) return page_mask;
    int f = rate_period(page_mask);
    int nf = rate_every_period((uint64_t)f * (built_loop ? built_loop : 1), zyr.loop_msecs);
    int st = __builtin_ctz(page_mask) % nf + 1;
    uint32_t m = page_mask;
    rate_mask(nf, st, &m);
    return m;
}

static void every_cycle(ZyrPort* p) { p->h.process_mask = p->h.display_mask = 0xFFFFFFFFu; }

void settle_port_periods() {
    const PageSlot& s = pages.slot[SLOT_DISPLAY];
    int indicator = s.count ? s.first : -1;
    for (int i = 0; i < pages.next_index; i++) {
        ZyrPort* p = zyr_port(i);
        if (!p) continue;
        uint32_t f = p->h.flags;
        ZyrPort* x = (f & RT_XPLOT) ? x_port_of(i) : nullptr;
        if ((f & (RT_HAS_LIMITS | RT_SUBCOM | RT_RECORD_HELD)) || i == indicator) {
            every_cycle(p);
        } else if (x) {
            every_cycle(p);
            every_cycle(x);
        } else {
            p->h.process_mask = mask_for_loop(p->h.rec->processrate, p->built_loop_ms);
            p->h.display_mask = mask_for_loop(p->h.rec->displayrate, p->built_loop_ms);
        }
    }
}

// ---- wiring ---------------------------------------------------------------------

void evaluate_register() {
    cycle_hooks.display_stage = evaluate_page;
    cycle_hooks.packet_filter = packet_filter_accepted;
    cycle_hooks.loop_time_changed = settle_port_periods;
    packet_hooks.length_port = eval_length_port;
    packet_hooks.length_value = eval_length_value;
    packet_hooks.settle_port_periods = settle_port_periods;
    port_hooks.view_base = views_base;
    startup_hooks.alloc_sysparam_buffers = views_alloc;
    startup_hooks.free_sysparam_buffers = views_free;
}
