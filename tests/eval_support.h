// Evaluation tests: the engine with the evaluation registered, the packet
// buffers and user buffers allocated, port records built in code, and one
// evaluation pass at a given cycle.
#pragma once

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/packet.h"
#include "core/page.h"
#include "core/pagefile.h"
#include "engine/calib.h"
#include "engine/evaluate.h"
#include "engine/port.h"
#include "engine/views.h"
#include "tests/engine_support.h"

inline void eval_setup() {
    evaluate_reset();
    reset_engine();
    pagefile_reset();
    port_register();
    evaluate_register();
    packet_init();
    views_alloc();
}

inline void eval_teardown() {
    page_reset();
    evaluate_reset();
    reset_engine();
    plat_fake_clock_off();
}

// A port record reading `raw` at byteindex of view, shown with `disp`,
// processed and shown every cycle.
inline PortRecord eval_record(int view, int byteindex, const char* raw, const char* disp = nullptr,
                              uint32_t flags = PF_ENABLE) {
    PortRecord r;
    memset(&r, 0, sizeof r);
    snprintf(r.mnemonic, sizeof r.mnemonic, "P%d", byteindex);
    snprintf(r.rawformat, sizeof r.rawformat, "%s", raw);
    snprintf(r.displayformat, sizeof r.displayformat, "%s", disp ? disp : raw);
    r.view = (uint16_t)view;
    r.byteindex = (uint16_t)byteindex;
    r.port_flags = flags;
    r.frame_flags = FR_BORDER;  // the compiler's default
    r.displayrate = r.processrate = 0xFFFFFFFFu;
    return r;
}

// A calibrated port record.
inline PortRecord calib_record(int fn, const char* raw, const char* disp, int byteindex = 0) {
    PortRecord r = eval_record(VIEW_PACKETHEADER, byteindex, raw, disp, PF_ENABLE | PF_CALIB);
    r.function = (uint16_t)fn;
    return r;
}

// Builds the port into the display page; null when refused.
inline ZyrPort* make_port(const PortRecord& r) {
    int i = CreateZYRPortHL(&r, SLOT_DISPLAY);
    return i >= 0 ? zyr_port(i) : nullptr;
}

inline void put_bytes(int at, const std::vector<uint8_t>& b) { memcpy(pkt.buf + at, b.data(), b.size()); }

// One evaluation run as the display stage of cycle `cycle`.
inline void eval_run(uint32_t cycle) {
    cyc.cycle_count = cycle;
    evaluate_page();
}

// A new packet: its bytes in the packet buffer and the packet count raised.
inline void new_packet(int at, const std::vector<uint8_t>& b) {
    put_bytes(at, b);
    zyr.zyrfr_cnt++;
}
