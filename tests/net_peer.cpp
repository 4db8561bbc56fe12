// The other end of vantor's network services in the end-to-end test and
// the benchmark, on 127.0.0.1 only:
//   net_peer port
//       prints a port that is free for TCP and UDP
//   net_peer serve <port> <packets> <bytes/s>
//       listens, streams that many good 64-byte packets (counters 0, 1, ...)
//       to the first connection at the rate, then drops it; with packets 0
//       it streams until killed and prints the count sent once a second
//   net_peer udp <port> <first> <packets>
//       sends packets first.. as one datagram each
//   net_peer clients <port> <n> <seconds> [refused]
//       connects n clients (and one more that must be closed at once when
//       "refused" is given), reads them for the time and checks that each
//       got whole packets with consecutive counters
//   net_peer expect <file> <first> <packets>
//       the file holds exactly those packets
//   net_peer prefix <file>
//       the file holds packets 0, 1, ... without a gap; prints the count
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/packet.h"
#include "tests/packet_support.h"

using Clock = std::chrono::steady_clock;
static double secs_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

static sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

static int fail(const char* what) {
    printf("FAIL %s (errno %d)\n", what, errno);
    return 1;
}

static int free_port() {
    for (int i = 0; i < 50; i++) {
        int t = socket(AF_INET, SOCK_STREAM, 0), u = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = loopback(0);
        socklen_t len = sizeof a;
        bind(t, (sockaddr*)&a, sizeof a);
        getsockname(t, (sockaddr*)&a, &len);
        bool udp_free = bind(u, (sockaddr*)&a, sizeof a) == 0;
        close(t);
        close(u);
        if (udp_free) {
            printf("%d\n", ntohs(a.sin_port));
            return 0;
        }
    }
    return fail("no free port");
}

static std::string packets(int first, int count) {
    std::string s;
    for (int n = first; n < first + count; n++) {
        std::vector<uint8_t> p = test_packet(n);
        s.append((const char*)p.data(), p.size());
    }
    return s;
}

static volatile sig_atomic_t g_stop;

static int serve(int port, long count, double rate) {
    int l = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(l, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(port);
    if (bind(l, (sockaddr*)&a, sizeof a) != 0 || listen(l, 1) != 0) return fail("listen");
    printf("ready\n");
    fflush(stdout);
    int c = accept(l, nullptr, nullptr);
    if (c < 0) return g_stop ? 0 : fail("accept");
    // Packets go in batches of up to 10 ms worth; a full socket waits.
    long sent = 0;
    auto t0 = Clock::now();
    double last_report = 0;
    while (!g_stop && (count == 0 || sent < count)) {
        double t = secs_since(t0);
        long due = (long)(t * rate / 64) + 1;
        if (count && due > count) due = count;
        if (due <= sent) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            continue;
        }
        long n = due - sent < 2000 ? due - sent : 2000;
        std::string s = packets((int)sent, (int)n);
        size_t off = 0;
        while (off < s.size() && !g_stop) {
            ssize_t k = send(c, s.data() + off, s.size() - off, MSG_NOSIGNAL);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) {
                printf("sent %ld packets, peer gone\n", sent + (long)(off / 64));
                return 0;
            }
            off += (size_t)k;
        }
        sent += (long)(off / 64);
        if (count == 0 && t - last_report >= 1) {
            last_report = t;
            printf("sent %ld\n", sent);
            fflush(stdout);
        }
    }
    printf("sent %ld packets in %.1f s\n", sent, secs_since(t0));
    fflush(stdout);
    close(c);
    close(l);
    return 0;
}

static int udp(int port, int first, int count) {
    int u = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = loopback(port);
    for (int n = first; n < first + count; n++) {
        std::vector<uint8_t> p = test_packet(n);
        if (sendto(u, p.data(), p.size(), 0, (sockaddr*)&to, sizeof to) != (ssize_t)p.size()) return fail("sendto");
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    printf("sent %d datagrams\n", count);
    return 0;
}

// Whole 64-byte packets with the sync first and counters going forward.
// While test data run, an echo goes out at most once a test data period
// and a packet coming sooner is not echoed, so a counter may skip ahead
// when the machine is busy; each skip is counted in *gaps. The number of
// packets, or -1 with the reason in why.
static long check_stream(const std::string& s, long* gaps, std::string* why) {
    *gaps = 0;
    if (s.size() % 64) return *why = "a cut packet", -1;
    int last = -1;
    for (size_t off = 0; off < s.size(); off += 64) {
        const uint8_t* p = (const uint8_t*)s.data() + off;
        char at[80];
        snprintf(at, sizeof at, " at byte %zu (counter %d after %d)", off, p[8], last);
        if (p[0] != 0xEB || p[1] != 0x90) return *why = std::string("no sync") + at, -1;
        if (last >= 0) {
            int step = (p[8] - last + 256) % 256;
            if (step == 0 || step >= 128) return *why = std::string("a packet out of order") + at, -1;
            if (step > 1) ++*gaps;
        }
        last = p[8];
    }
    return (long)(s.size() / 64);
}

static int clients(int port, int n, double secs, bool refused) {
    std::vector<int> fd;
    for (int i = 0; i < n; i++) {
        int c = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = loopback(port);
        if (connect(c, (sockaddr*)&a, sizeof a) != 0) return fail("connect");
        fd.push_back(c);
    }
    std::vector<std::string> got(n);
    if (refused) {
        int c = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = loopback(port);
        if (connect(c, (sockaddr*)&a, sizeof a) != 0) return fail("connect extra");
        pollfd p{c, POLLIN, 0};
        char b;
        if (poll(&p, 1, 5000) != 1 || recv(c, &b, 1, 0) != 0) return fail("the extra client was not closed");
        close(c);
    }
    auto t0 = Clock::now();
    char buf[65536];
    while (secs_since(t0) < secs) {
        std::vector<pollfd> p(n);
        for (int i = 0; i < n; i++) p[i] = {fd[i], POLLIN, 0};
        poll(p.data(), n, 100);
        for (int i = 0; i < n; i++) {
            if (!(p[i].revents & (POLLIN | POLLHUP))) continue;
            ssize_t k = recv(fd[i], buf, sizeof buf, MSG_DONTWAIT);
            if (k == 0) return fail("a client was dropped");
            if (k > 0) got[i].append(buf, (size_t)k);
        }
    }
    long least = -1, most = 0, skipped = 0;
    for (int i = 0; i < n; i++) {
        // The stream ends where reading stopped: only whole packets count.
        got[i].resize(got[i].size() / 64 * 64);
        long gaps;
        std::string why;
        long k = check_stream(got[i], &gaps, &why);
        if (k < 0) {
            printf("FAIL client %d: not whole packets in order: %s\n", i, why.c_str());
            return 1;
        }
        if (least < 0 || k < least) least = k;
        if (k > most) most = k;
        skipped += gaps;
    }
    printf("%d clients: %ld to %ld whole packets each, %ld counter skips%s\n", n, least, most, skipped,
           refused ? ", the extra one closed" : "");
    return least > 0 ? 0 : fail("a client got nothing");
}

// The file holds exactly packets first.. first+count-1.
static int expect(const char* path, int first, int count) {
    FILE* f = fopen(path, "rb");
    if (!f) return fail("no file");
    std::string got;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) got.append(buf, n);
    fclose(f);
    std::string want = packets(first, count);
    if (got == want) return 0;
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) at++;
    printf("FAIL %s: %zu bytes, %zu expected, first difference at packet %zu\n", path, got.size(), want.size(), at / 64);
    return 1;
}

// The file holds packets 0, 1, ... without a gap: prints how many.
static int prefix(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) return fail("no file");
    std::vector<uint8_t> p(64);
    long n = 0;
    while (fread(p.data(), 1, 64, f) == 64) {
        std::vector<uint8_t> want = test_packet((int)n);
        if (p != want) {
            printf("FAIL %s: packet %ld is not the one sent\n", path, n);
            fclose(f);
            return 1;
        }
        n++;
    }
    fclose(f);
    printf("%ld\n", n);
    return 0;
}

int main(int argc, char** argv) {
    // No restart: a peer blocked in accept or send ends at the signal.
    struct sigaction sa {};
    sa.sa_handler = [](int) { g_stop = 1; };
    sigaction(SIGTERM, &sa, nullptr);
    if (packet_init() != 0) return fail("memory");
    setup_test_description();
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "port") return free_port();
    if (mode == "serve" && argc >= 5) return serve(atoi(argv[2]), atol(argv[3]), atof(argv[4]));
    if (mode == "udp" && argc >= 5) return udp(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]));
    if (mode == "prefix" && argc >= 3) return prefix(argv[2]);
    if (mode == "expect" && argc >= 5) return expect(argv[2], atoi(argv[3]), atoi(argv[4]));
    if (mode == "clients" && argc >= 5)
        return clients(atoi(argv[2]), atoi(argv[3]), atof(argv[4]), argc > 5 && strcmp(argv[5], "refused") == 0);
    fprintf(stderr, "usage: net_peer port | serve <port> <packets> <bytes/s> | udp <port> <first> <n> |"
                    " clients <port> <n> <seconds> [refused]\n");
    return 2;
}
