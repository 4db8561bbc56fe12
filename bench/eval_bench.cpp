// One evaluation pass over a display page of 1000 ports on the packet,
// each calibrated by a polynomial and tested against alarm limits: once
// with a new packet in which every field changed, once with no new packet
// (one comparison per port). Targets: under 2 ms and under 50 us.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/page.h"
#include "core/state.h"
#include "engine/cycle.h"
#include "engine/evaluate.h"
#include "engine/port.h"
#include "engine/views.h"
#include "platform/sys.h"

namespace {

constexpr int kPorts = 1000;
constexpr int kFirstByte = 16;

PortRecord calibrated_port(int i) {
    PortRecord r;
    memset(&r, 0, sizeof r);
    snprintf(r.rawformat, sizeof r.rawformat, "%%hu");
    snprintf(r.displayformat, sizeof r.displayformat, "%%16.6f");
    r.view = VIEW_PACKETHEADER;
    r.byteindex = (uint16_t)(kFirstByte + 2 * i);
    r.port_flags = PF_ENABLE | PF_CALIB | PF_ALARM;
    r.function = FN_POLYNOMIAL;
    r.cal.calflags = 7;   // a0 + a1 x + a2 x^2
    r.cal.a0.d = -40.0;
    r.cal.a1.d = 0.25;
    r.cal.a2.d = 1e-6;
    r.alarm_lower.f = -1e9f;
    r.alarm_upper.f = 1e9f;
    r.alarm_flags = AL_SOUND;
    r.displayrate = r.processrate = 0xFFFFFFFFu;
    return r;
}

void start_page() {
    page_reset();
    evaluate_reset();
    packet_reset();
    cycle_reset();
    diagnostics_reset();
    files_reset();
    state_reset();
    mempool_reset();
    plat_fake_clock_set(1700000000000ull);
    port_register();
    evaluate_register();
    if (packet_init() != 0 || views_alloc() != 0) abort();
    for (int i = 0; i < kPorts; i++) {
        PortRecord r = calibrated_port(i);
        if (CreateZYRPortHL(&r, SLOT_DISPLAY) < 0) abort();
    }
    evaluate_page();   // every port goes on screen
}

void fill_packet(uint16_t base) {
    for (int i = 0; i < kPorts; i++) {
        uint16_t v = (uint16_t)(base + i);
        memcpy(pkt.buf + kFirstByte + 2 * i, &v, 2);
    }
}

void BM_EvaluateChangedPacket(benchmark::State& state) {
    start_page();
    uint16_t base = 0;
    for (auto _ : state) {
        fill_packet(++base);
        zyr.zyrfr_cnt++;
        cyc.cycle_count++;
        evaluate_page();
    }
    if (cyc.value_changes < (uint32_t)kPorts) state.SkipWithError("ports were not converted");
    state.SetItemsProcessed(state.iterations() * kPorts);
}
BENCHMARK(BM_EvaluateChangedPacket)->Unit(benchmark::kMicrosecond);

void BM_EvaluateNoNewPacket(benchmark::State& state) {
    start_page();
    fill_packet(7);
    zyr.zyrfr_cnt++;
    evaluate_page();
    uint32_t changes = cyc.value_changes;
    for (auto _ : state) {
        cyc.cycle_count++;
        evaluate_page();
    }
    if (cyc.value_changes != changes) state.SkipWithError("unchanged ports were converted");
    state.SetItemsProcessed(state.iterations() * kPorts);
}
BENCHMARK(BM_EvaluateNoNewPacket)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // Files the modules may write (debugmsg) go to a scratch directory.
    char dir[] = "/tmp/zyr-eval-bench.XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) return 2;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    page_reset();
    evaluate_reset();
    packet_reset();
    return 0;
}
