// The other end of vantor's serial ports in the end-to-end test and the
// CPU benchmark: two pseudo-terminals reached through the links that
// zyrcom.cfg names (COM1 the telemetry input, COM2 the echo output).
//   serial_feeder e2e
//       packets in, the same packets back on the echo port; silence past
//       the timeout period; the input device replaced under the same link
//   serial_feeder rate <bytes/s> <packet length> <seconds>
//       a stream at the rate; reports what was sent and what came back
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/mempool.h"
#include "core/packet.h"
#include "tests/packet_support.h"
#include "tests/pty_support.h"

using Clock = std::chrono::steady_clock;

static double secs_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// A slave is open while the master shows no hang-up.
static bool wait_slave_open(const Pty& p, double secs) {
    auto t0 = Clock::now();
    while (secs_since(t0) < secs) {
        pollfd f{p.master, POLLIN, 0};
        poll(&f, 1, 0);
        if (!(f.revents & POLLHUP)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Reads what the echo port has sent so far (without waiting).
static void collect(Pty& p, std::string* out) {
    char buf[65536];
    for (;;) {
        ssize_t n = read(p.master, buf, sizeof buf);
        if (n <= 0) return;
        out->append(buf, (size_t)n);
    }
}

// A link replaced in one step, so vantor never sees it missing.
static bool relink(const Pty& p, const char* link) {
    std::string tmp = std::string(link) + ".new";
    unlink(tmp.c_str());
    return symlink(p.slave.c_str(), tmp.c_str()) == 0 && rename(tmp.c_str(), link) == 0;
}

static std::string packets(int first, int count) {
    std::string s;
    for (int n = first; n < first + count; n++) {
        std::vector<uint8_t> p = test_packet(n);
        s.append((const char*)p.data(), p.size());
    }
    return s;
}

// Writes the packets at per_sec packets a second while collecting the echo.
static bool send_paced(Pty& in, Pty& echo, const std::string& bytes, int len, double per_sec, std::string* got) {
    auto t0 = Clock::now();
    size_t done = 0;
    int n = 0;
    while (done < bytes.size()) {
        double due = n / per_sec;
        double now = secs_since(t0);
        if (now < due) std::this_thread::sleep_for(std::chrono::duration<double>(due - now));
        if (!in.write_all(bytes.substr(done, (size_t)len))) return false;
        done += (size_t)len;
        n++;
        collect(echo, got);
    }
    return true;
}

static bool wait_echo(Pty& echo, std::string* got, size_t want, double secs) {
    auto t0 = Clock::now();
    while (got->size() < want && secs_since(t0) < secs) {
        collect(echo, got);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return got->size() >= want;
}

static int fail(const char* what) {
    printf("FAIL: %s\n", what);
    return 1;
}

static bool open_ports(Pty* in, Pty* echo) {
    if (!in->open("com_in") || !echo->open("com_out")) return false;
    FILE* f = fopen("zyrcom.cfg", "w");
    if (!f) return false;
    fprintf(f, "# the test's pseudo-terminals\nCOM1=com_in\nCOM2=com_out\n");
    fclose(f);
    return true;
}

static int run_e2e() {
    setup_test_description(64);
    Pty in, echo;
    if (!open_ports(&in, &echo)) return fail("no pseudo-terminals");
    printf("ready\n");
    fflush(stdout);
    if (!wait_slave_open(in, 60) || !wait_slave_open(echo, 5)) return fail("vantor did not open COM1 and COM2");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // 1. 200 packets at 40 a second, each echoed.
    std::string sent = packets(0, 200), got;
    if (!send_paced(in, echo, sent, 64, 40, &got)) return fail("writing to COM1");
    wait_echo(echo, &got, sent.size(), 10);
    if (got != sent) {
        printf("FAIL: echo of phase 1: %zu bytes sent, %zu back%s\n", sent.size(), got.size(),
               got.size() == sent.size() ? " (different)" : "");
        return 1;
    }
    printf("phase 1: 200 packets echoed\n");
    fflush(stdout);
    // 2. Silence longer than the timeout period (2 s): the port is reopened.
    // The watchdog looks every period and needs one whole period without a
    // byte, so it fires within two periods and a second of rounding; a
    // loaded machine runs vantor's passes late, hence the margin.
    std::this_thread::sleep_for(std::chrono::milliseconds(9000));
    if (!wait_slave_open(in, 5)) return fail("COM1 not open again after the timeout");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    got.clear();
    sent = packets(200, 50);
    if (!send_paced(in, echo, sent, 64, 40, &got)) return fail("writing after the timeout");
    wait_echo(echo, &got, sent.size(), 10);
    if (got != sent) {
        printf("FAIL: echo after the timeout: %zu bytes sent, %zu back\n", sent.size(), got.size());
        return 1;
    }
    printf("phase 2: reopened after the timeout, 50 packets echoed\n");
    fflush(stdout);
    // 3. The adapter is pulled and another one appears under the same name.
    // Gone for two retry periods: the retries stay quiet.
    in.shut();
    std::this_thread::sleep_for(std::chrono::milliseconds(4500));
    Pty fresh;
    int s = -1;
    char name[128];
    if (openpty(&fresh.master, &s, name, nullptr, nullptr) != 0) return fail("no new pseudo-terminal");
    close(s);
    fresh.slave = name;
    fcntl(fresh.master, F_SETFL, fcntl(fresh.master, F_GETFL) | O_NONBLOCK);
    if (!relink(fresh, "com_in")) return fail("relink");
    if (!wait_slave_open(fresh, 15)) return fail("vantor did not open the new device");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    got.clear();
    sent = packets(250, 50);
    if (!send_paced(fresh, echo, sent, 64, 40, &got)) return fail("writing to the new device");
    wait_echo(echo, &got, sent.size(), 10);
    if (got != sent) {
        printf("FAIL: echo from the new device: %zu bytes sent, %zu back\n", sent.size(), got.size());
        return 1;
    }
    printf("phase 3: new device read, 50 packets echoed\n");
    fresh.shut();
    echo.shut();
    return 0;
}

// The echo port is read by a thread of its own, so that a writer held up
// by a full input side never holds up the echo.
struct EchoReader {
    Pty* echo;
    std::string got;
    std::atomic<size_t> size{0};
    std::atomic<bool> stop{false};
    void run() {
        char buf[65536];
        while (!stop) {
            pollfd f{echo->master, POLLIN, 0};
            if (poll(&f, 1, 50) <= 0) continue;
            ssize_t n = read(echo->master, buf, sizeof buf);
            if (n > 0) {
                got.append(buf, (size_t)n);
                size = got.size();
            }
        }
    }
};

static int run_rate(double rate, int len, double secs) {
    setup_test_description(len);
    Pty in, echo;
    if (!open_ports(&in, &echo)) return fail("no pseudo-terminals");
    printf("ready\n");
    fflush(stdout);
    if (!wait_slave_open(in, 60) || !wait_slave_open(echo, 5)) return fail("vantor did not open COM1 and COM2");
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    int count = (int)(rate * secs / len);
    std::string sent = packets(0, count);
    EchoReader reader;
    reader.echo = &echo;
    std::thread t(&EchoReader::run, &reader);
    auto t0 = Clock::now();
    double per_sec = rate / len;
    bool ok = true;
    for (int n = 0; n < count && ok; n++) {
        double due = n / per_sec, now = secs_since(t0);
        if (now < due) std::this_thread::sleep_for(std::chrono::duration<double>(due - now));
        ok = in.write_all(sent.substr((size_t)n * len, (size_t)len));
    }
    double took = secs_since(t0);
    auto t1 = Clock::now();
    while (reader.size < sent.size() && secs_since(t1) < 20) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    reader.stop = true;
    t.join();
    if (!ok) return fail("writing to COM1");
    const std::string& got = reader.got;
    size_t same = 0;
    while (same < got.size() && same < sent.size() && got[same] == sent[same]) same++;
    printf("sent %d packets of %d bytes in %.2f s (%.0f bytes/s); echoed %zu packets, %zu in order\n", count, len,
           took, sent.size() / took, got.size() / (size_t)len, same / (size_t)len);
    in.shut();
    echo.shut();
    return got == sent ? 0 : 2;
}

int main(int argc, char** argv) {
    if (packet_init() != 0) return fail("memory");
    if (argc >= 2 && strcmp(argv[1], "e2e") == 0) return run_e2e();
    if (argc >= 5 && strcmp(argv[1], "rate") == 0) return run_rate(atof(argv[2]), atoi(argv[3]), atof(argv[4]));
    fprintf(stderr, "usage: serial_feeder e2e | rate <bytes/s> <packet length> <seconds>\n");
    return 2;
}
