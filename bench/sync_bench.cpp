// Throughput of the frame synchroniser: fixed 64-byte packets (sync 0xEB90,
// checksum, time, counter) fed from memory through get_packet and the packet
// checks, once clean and once with about 10 % garbage between the packets,
// beside a plain memcpy of the same bytes for the ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <unistd.h>
#include <vector>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/state.h"

namespace {

constexpr int kPacketLen = 64;
constexpr int kPackets = 4096;  // a multiple of 256: the counter runs on from pass to pass

void start_modules() {
    packet_reset();
    diagnostics_reset();
    files_reset();
    state_reset();
    mempool_reset();
    if (packet_init() != 0) abort();
    PacketRecord r;
    packet_defaults(&r);
    r.sync_len = 16;
    const uint8_t pattern[4] = {0, 0, 0xEB, 0x90}, mask[4] = {0, 0, 0xFF, 0xFF};
    memcpy(r.pattern, pattern, 4);
    memcpy(r.mask, mask, 4);
    r.fixedpacketlength = kPacketLen;
    r.packetcounterlength = 1;
    r.flags = PKT_SUMCHECK | PKT_TIME | PKT_REPORTSYNCLOSS;
    if (packet_setup(&r) != 0) abort();
}

// kPackets packets; with garbage, 0 to 12 bytes without the first sync
// byte before each (6 on average, about 10 % of the stream).
std::vector<uint8_t> make_stream(bool garbage) {
    std::mt19937 rng(42);
    std::vector<uint8_t> s;
    uint8_t p[kPacketLen];
    for (int i = 0; i < kPackets; i++) {
        int gap = garbage ? (int)(rng() % 13) : 0;
        for (int g = 0; g < gap; g++) {
            uint8_t b;
            do b = (uint8_t)rng(); while (b == 0xEB);
            s.push_back(b);
        }
        for (uint8_t& b : p) b = (uint8_t)rng();
        packet_put_sync(p);
        uint32_t t = 1700000000u + (uint32_t)i;
        memcpy(p + pkt_layout.time_pos, &t, 4);
        p[pkt_layout.counter_pos] = (uint8_t)i;
        packet_put_checksum(p, kPacketLen);
        s.insert(s.end(), p, p + kPacketLen);
    }
    return s;
}

void run_sync(benchmark::State& state, bool garbage) {
    start_modules();
    std::vector<uint8_t> data = make_stream(garbage);
    MemSource m{data.data(), data.size(), 0};
    ByteSource src;
    mem_source(&src, &m, MEM_VIEW);
    packet_set_source(PSRC_SERIAL, &src);
    zyr.IoFlags = IO_SERIAL_IN;
    int64_t packets = 0, bad = 0;
    for (auto _ : state) {
        m.pos = 0;
        while (get_packet() == PKT_OK) {
            bad += packet_checks(pkt.buf, pkt.len) != 0;
            packets++;
        }
    }
    if (bad || packets != kPackets * (int64_t)state.iterations()) state.SkipWithError("packets lost or failed their checks");
    state.SetBytesProcessed(state.iterations() * (int64_t)data.size());
    state.counters["packets/s"] = benchmark::Counter((double)packets, benchmark::Counter::kIsRate);
    packet_reset();
}

void BM_SyncClean(benchmark::State& state) { run_sync(state, false); }
void BM_SyncGarbage(benchmark::State& state) { run_sync(state, true); }

void BM_Memcpy(benchmark::State& state) {
    start_modules();
    std::vector<uint8_t> data = make_stream(false);
    std::vector<uint8_t> dst(data.size());
    for (auto _ : state) {
        memcpy(dst.data(), data.data(), data.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)data.size());
    packet_reset();
}

BENCHMARK(BM_SyncClean);
BENCHMARK(BM_SyncGarbage);
BENCHMARK(BM_Memcpy);

}  // namespace

// The reports of the garbage run write the debug log: keep it out of the
// directory the benchmark is started from.
int main(int argc, char** argv) {
    char dir[] = "/tmp/zyrbench.XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) return 2;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    unlink("debugmsg");
    rmdir(dir);
    return 0;
}
