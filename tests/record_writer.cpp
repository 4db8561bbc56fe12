// Writes two parameter record files through the evaluation, as vantor does
// while a page with recorded parameters is shown: two ports of a packet,
// each recorded to its own file, evaluated on a series of packets at known
// times of a fixed clock. The record tools' end-to-end test splices them.
#include <cstdio>
#include <cstring>

#include "core/mempool.h"
#include "core/packet.h"
#include "core/page.h"
#include "core/state.h"
#include "engine/cycle.h"
#include "engine/evaluate.h"
#include "engine/port.h"
#include "engine/views.h"
#include "platform/sys.h"

static PortRecord recorded_port(int byteindex, const char* disp, const char* file) {
    PortRecord r;
    memset(&r, 0, sizeof r);
    snprintf(r.rawformat, sizeof r.rawformat, "%%hd");
    snprintf(r.displayformat, sizeof r.displayformat, "%s", disp);
    snprintf(r.filename, sizeof r.filename, "%s", file);
    r.view = VIEW_PACKETHEADER;
    r.byteindex = (uint16_t)byteindex;
    r.port_flags = PF_ENABLE | PF_RECORD | PF_CALIB;
    r.function = FN_POLYNOMIAL;
    r.cal.calflags = 3;   // a0 + a1 x
    r.cal.a0.d = -40.0;
    r.cal.a1.d = 0.5;
    r.displayrate = r.processrate = 0xFFFFFFFFu;
    return r;
}

int main() {
    plat_fake_clock_set(1700000000000ull);
    clock_start();
    port_register();
    evaluate_register();
    if (packet_init() != 0 || views_alloc() != 0) return 2;
    PortRecord a = recorded_port(8, "%8.2f", "parm1.txt");
    PortRecord b = recorded_port(10, "%6.1f", "parm2.txt");
    if (CreateZYRPortHL(&a, SLOT_DISPLAY) < 0 || CreateZYRPortHL(&b, SLOT_DISPLAY) < 0) return 3;
    evaluate_page();   // the ports go on screen
    // Milliseconds after start and the raw values of the two fields.
    static const struct {
        uint32_t ms;
        int16_t a, b;
    } kPackets[] = {
        {100, 100, 0}, {200, 100, 90}, {300, 110, 92}, {450, 110, 92}, {500, 121, 92}, {650, 121, 80},
    };
    for (const auto& k : kPackets) {
        plat_fake_clock_set(1700000000000ull + k.ms);
        clock_update();
        memcpy(pkt.buf + 8, &k.a, 2);
        memcpy(pkt.buf + 10, &k.b, 2);
        zyr.zyrfr_cnt++;
        cyc.cycle_count++;
        evaluate_page();
    }
    plat_fake_clock_set(1700000002000ull);
    clock_update();
    page_free_all();
    packet_free();
    views_free();
    return qobmem.mem_alloc_cnt == 0 ? 0 : 4;
}
