// Throughput of the serial input path alone: a writer thread pours packets
// into a pseudo-terminal master; the driver reads the slave into its input
// ring and the synchroniser cuts packets from the ring (get_packet, with the
// checksum and counter checks). Every packet's counter is checked, so a
// lost packet shows as a gap. Packets of 64 and 1024 bytes.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/page.h"
#include "core/state.h"
#include "engine/serial.h"
#include "tests/packet_support.h"

namespace {

constexpr int kPackets = 4096;   // a multiple of 256: the counter runs on from pass to pass

struct Rig {
    int master = -1;
    std::string stream;
};

bool start(Rig* rig, int len) {
    serial_reset();
    packet_reset();
    diagnostics_reset();
    files_reset();
    state_reset();
    mempool_reset();
    if (packet_init() != 0) return false;
    setup_test_description(len, PKT_SUMCHECK | PKT_TIME);
    int s = -1;
    char name[128];
    if (openpty(&rig->master, &s, name, nullptr, nullptr) != 0) return false;
    close(s);
    unlink("bench_com1");
    if (symlink(name, "bench_com1") != 0) return false;
    FILE* f = fopen("zyrcom.cfg", "w");
    if (!f) return false;
    fprintf(f, "COM1=bench_com1\n");
    fclose(f);
    serial_load_device_map();
    serial_register();
    ComSettings r = com_settings[0];
    r.flags = COM_DIR_IN | COM_OPEN_IN;
    r.baud = 11520;
    r.bufsize = 65535;
    if (serial_open_record(&r) != 0) return false;
    for (int n = 0; n < kPackets; n++) {
        std::vector<uint8_t> p = test_packet(n);
        rig->stream.append((const char*)p.data(), p.size());
    }
    return true;
}

void writer(int fd, const std::string* bytes) {
    size_t done = 0;
    while (done < bytes->size()) {
        ssize_t n = write(fd, bytes->data() + done, bytes->size() - done);
        if (n > 0) {
            done += (size_t)n;
        } else {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

void BM_SerialPath(benchmark::State& state) {
    int len = (int)state.range(0);
    Rig rig;
    if (!start(&rig, len)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    uint64_t packets = 0, gaps = 0;
    int expect = 0;
    for (auto _ : state) {
        std::thread w(writer, rig.master, &rig.stream);
        int got = 0;
        int idle = 0;
        while (got < kPackets && idle < 200000) {
            int r = get_packet();
            if (r == PKT_OK) {
                int c = pkt.buf[pkt_layout.counter_pos];
                if (c != (expect & 0xFF)) gaps++;
                expect = c + 1;
                got++;
                idle = 0;
            } else {
                idle++;
                serial_read_pass();
            }
        }
        w.join();
        packets += (uint64_t)got;
        if (got < kPackets) gaps += (uint64_t)(kPackets - got);
    }
    state.SetBytesProcessed((int64_t)packets * len);
    state.counters["packets"] = benchmark::Counter((double)packets, benchmark::Counter::kIsRate);
    state.counters["gaps"] = (double)gaps;
    state.counters["ring_full"] = (double)zyr_stat(ST_SER_RING_FULL);
    serial_reset();
    close(rig.master);
    unlink("bench_com1");
    packet_reset();
}
BENCHMARK(BM_SerialPath)->Arg(64)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// Runs in a fresh directory: the device map and the debug log stay out of
// the tree.
int main(int argc, char** argv) {
    char tmpl[] = "/tmp/zyr-serial-bench.XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir || chdir(dir) != 0) return 2;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::string cmd = std::string("rm -rf '") + dir + "'";
    return system(cmd.c_str()) == 0 ? 0 : 1;
}
