// Throughput of the network input path alone: a sender thread streams
// packets over a loopback TCP connection; the services read the socket into
// their input ring and the synchroniser cuts packets from it (get_packet,
// with the checksum and counter checks), as fast as it can, without the
// cycle's one packet a pass. Every packet's counter is checked, so a lost
// packet shows as a gap. Packets of 64 and 1024 bytes.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/state.h"
#include "engine/netcfg.h"
#include "engine/network.h"
#include "platform/fake/ui_fake.h"
#include "tests/packet_support.h"

namespace {

constexpr int kPackets = 16384;   // a multiple of 256: the counter runs on from pass to pass

sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

struct Rig {
    int listener = -1, peer = -1;
    std::string stream;
};

bool start(Rig* rig, int len) {
    network_reset();
    packet_reset();
    diagnostics_reset();
    files_reset();
    state_reset();
    mempool_reset();
    netcfg_reset();
    fake_ui_reset();
    if (packet_init() != 0) return false;
    setup_test_description(len, PKT_SUMCHECK | PKT_TIME);
    rig->listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t alen = sizeof a;
    if (bind(rig->listener, (sockaddr*)&a, sizeof a) != 0 || listen(rig->listener, 1) != 0) return false;
    getsockname(rig->listener, (sockaddr*)&a, &alen);
    net_settings.tcp_port = ntohs(a.sin_port);
    network_register();
    if (net_connect_server("127.0.0.1") != 0) return false;
    rig->peer = accept(rig->listener, nullptr, nullptr);
    QobSocket* s = nth_qob_socket(QOBSOCKET_SERVER, 0);
    if (!s || rig->peer < 0) return false;
    if (s->type & QOBSOCKET_CONNECTING) fake_ui_fd_ready(s->fd, FDW_WRITE);
    if (!(net.state & NET_CONNECTED)) return false;
    for (int n = 0; n < kPackets; n++) {
        std::vector<uint8_t> p = test_packet(n);
        rig->stream.append((const char*)p.data(), p.size());
    }
    return true;
}

void sender(int fd, const std::string* bytes) {
    size_t done = 0;
    while (done < bytes->size()) {
        ssize_t n = send(fd, bytes->data() + done, bytes->size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += (size_t)n;
    }
}

void BM_NetworkPath(benchmark::State& state) {
    int len = (int)state.range(0);
    Rig rig;
    if (!start(&rig, len)) {
        state.SkipWithError("no loopback connection");
        return;
    }
    uint64_t packets = 0, gaps = 0;
    int expect = 0;
    for (auto _ : state) {
        std::thread w(sender, rig.peer, &rig.stream);
        // Gives up after two seconds without a packet (counted as gaps).
        int got = 0, seen = 0;
        auto last = std::chrono::steady_clock::now();
        for (long spin = 1; got < kPackets; spin++) {
            if (get_packet() == PKT_OK) {
                int c = pkt.buf[pkt_layout.counter_pos];
                if (c != (expect & 0xFF)) gaps++;
                expect = c + 1;
                got++;
                continue;
            }
            net_byte_services();
            if (spin % 4096) continue;
            auto now = std::chrono::steady_clock::now();
            if (got != seen) last = now;
            seen = got;
            if (now - last > std::chrono::seconds(2)) break;
        }
        if (got < kPackets) shutdown(rig.peer, SHUT_RDWR);   // the sender stops waiting
        w.join();
        packets += (uint64_t)got;
        if (got < kPackets) gaps += (uint64_t)(kPackets - got);
    }
    state.SetBytesProcessed((int64_t)packets * len);
    state.counters["packets"] = benchmark::Counter((double)packets, benchmark::Counter::kIsRate);
    state.counters["gaps"] = (double)gaps;
    state.counters["ring_full"] = (double)zyr_stat(ST_NET_RING_FULL);
    state.counters["losses"] = (double)zyr_stat(ST_SYNC_LOSSES);
    state.counters["read"] = (double)zyr_stat(ST_BYTES_READ);
    network_reset();
    close(rig.peer);
    close(rig.listener);
    packet_reset();
}
BENCHMARK(BM_NetworkPath)->Arg(64)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// Runs in a fresh directory: the debug log stays out of the tree.
int main(int argc, char** argv) {
    char tmpl[] = "/tmp/zyr-net-bench.XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir || chdir(dir) != 0) return 2;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::string cmd = std::string("rm -rf '") + dir + "'";
    return system(cmd.c_str()) == 0 ? 0 : 1;
}
