// The network services on loopback sockets, with the fake platform
// reporting readiness: the socket table, the error texts, connecting to a
// server and losing it, serving 64 clients and refusing the 65th, a client
// that does not read, UDP both ways, the gathering rule and the settings
// that page 0 saves.
#include "engine/network.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "core/pagefile.h"
#include "display/netcmds.h"
#include "engine/netcfg.h"
#include "engine/serial.h"
#include "tests/menu_support.h"

namespace {

// A port that was free a moment ago on 127.0.0.1.
uint16_t free_port(int type = SOCK_STREAM) {
    int fd = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, (sockaddr*)&a, sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, (sockaddr*)&a, &len);
    close(fd);
    return ntohs(a.sin_port);
}

sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int listener(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(port);
    if (bind(fd, (sockaddr*)&a, sizeof a) != 0 || listen(fd, 8) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int client_of(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(port);
    if (connect(fd, (sockaddr*)&a, sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string recv_some(int fd, size_t want) {
    std::string s;
    char buf[65536];
    for (int i = 0; i < 200 && s.size() < want; i++) {
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) s.append(buf, (size_t)n);
        else usleep(2000);
    }
    return s;
}

std::string ring_bytes() {
    std::string s;
    uint8_t buf[4096];
    int n;
    while ((n = net_get_bytes(buf, sizeof buf)) > 0) s.append((const char*)buf, (size_t)n);
    return s;
}

bool box_shown(const char* caption, const char* text = nullptr) {
    for (const FakeBox& b : fake_ui_boxes())
        if (b.caption == caption && (!text || b.text.find(text) != std::string::npos)) return true;
    return false;
}

QobSocket* only(uint32_t type) { return nth_qob_socket(type, 0); }

}  // namespace

class Net : public ::testing::Test {
protected:
    std::vector<int> fds;
    void SetUp() override {
        reset_menus();
        serial_reset();
        network_reset();
        network_register();
        netcmds_register();
        net_settings.tcp_port = free_port();
        net_settings.udp_port = free_port(SOCK_DGRAM);
    }
    void TearDown() override {
        network_reset();
        for (int fd : fds) close(fd);
        serial_reset();
        end_menus();
    }
    int keep(int fd) {
        if (fd >= 0) fds.push_back(fd);
        return fd;
    }
    void ready(uint32_t type, unsigned what) {
        QobSocket* s = only(type);
        ASSERT_NE(s, nullptr);
        fake_ui_fd_ready(s->fd, what);
    }
};

// ---- the table and the texts ----------------------------------------------------------

TEST_F(Net, TableHoldsSixtySixAndReusesTheSlotFreedLast) {
    std::vector<QobSocket*> s;
    for (int i = 0; i < NET_SOCKETS; i++) s.push_back(create_qob_socket(QOBSOCKET_CLIENT));
    EXPECT_EQ(sock_table.free_count, 0);
    EXPECT_EQ(create_qob_socket(QOBSOCKET_CLIENT), nullptr);
    EXPECT_NE(read_file("debugmsg").find("create_qob_socket() failed, no free sockets"), std::string::npos);
    delete_qob_socket(s[10]);
    EXPECT_EQ(sock_table.next_free, 10);
    QobSocket* again = create_qob_socket(QOBSOCKET_SERVER);
    EXPECT_EQ(sock_table.slot[10], again);
    EXPECT_EQ(count_qob_sockets(QOBSOCKET_CLIENT), NET_SOCKETS - 1);
    delete_qob_socket(again);
    for (int i = 0; i < NET_SOCKETS; i++)
        if (i != 10) delete_qob_socket(s[i]);
    EXPECT_EQ(sock_table.free_count, NET_SOCKETS);
    EXPECT_EQ(sock_table.alloc_count, 0);
}

TEST_F(Net, ErrorTextsFollowTheSystemErrorNumbers) {
    struct Case {
        int err;
        int wsa;
        const char* text;
    };
    static const Case kCases[] = {
        {ECONNRESET, 10054, "Connection reset by remote"},
        {EADDRINUSE, 10048, "Address already in use"},
        {EAGAIN, 10035, "Non-blocking on blocked socket"},
        {EMSGSIZE, 10040, "Message too long for datagram"},
        {EAFNOSUPPORT, 10047, "Address family not supported"},
        {ENETDOWN, 10050, "Network subsystem failed"},
        {ENETRESET, 10052, "Connection must be reset"},
        {EINPROGRESS, 10036, "Blocking operation in progress"},
        {ENOTCONN, 10057, "Not connected"},
        {ECHILD, ECHILD, "Unrecognised WSA error"},
    };
    for (const Case& c : kCases) {
        int wsa = 0;
        EXPECT_STREQ(net_error_text(c.err, &wsa), c.text) << c.err;
        EXPECT_EQ(wsa, c.wsa) << c.err;
    }
    int wsa = 0;
    EXPECT_STREQ(net_resolver_text(EAI_NONAME, &wsa), "host not found");
    EXPECT_EQ(wsa, 11001);
    char line[160];
    net_error_line(ECONNRESET, "recv()", line, sizeof line);
    EXPECT_STREQ(line, "WSA Net Error  10054: Connection reset by remote recv()");
}

TEST_F(Net, PortNumbersAndServiceNames) {
    uint16_t p = 0;
    EXPECT_EQ(fill_port_no("5000", &p), 0);
    EXPECT_EQ(p, 5000);
    EXPECT_EQ(fill_port_no("http", &p), 0);
    EXPECT_EQ(p, 80);   // host order
    EXPECT_EQ(fill_port_no("0", &p), -1);   // "0" is looked up as a name
    EXPECT_TRUE(box_shown("TCPIP Port service", "ERROR -1. Invalid TCP service"));
    EXPECT_NE(std::string(diag.msgline).find("ERROR fill_port_no() error. getservbyname() failed"), std::string::npos);
}

// ---- the TCP client ------------------------------------------------------------------------

TEST_F(Net, ClientReceivesTheStreamAndLosingTheServerOffersReconnect) {
    int l = keep(listener(net_settings.tcp_port));
    ASSERT_GE(l, 0);
    ASSERT_EQ(net_connect_server("127.0.0.1"), 0);
    EXPECT_EQ(zyr.IoFlags & IO_NET_IN, (uint32_t)IO_NET_IN);
    QobSocket* s = only(QOBSOCKET_SERVER);
    ASSERT_NE(s, nullptr);
    if (s->type & QOBSOCKET_CONNECTING) {
        EXPECT_NE(std::string(diag.msgline).find("Awaiting connection accept from server..."), std::string::npos);
        EXPECT_EQ(fake_ui_fd_watched(s->fd), (unsigned)FDW_WRITE);
    }
    int peer = keep(accept(l, nullptr, nullptr));
    ready(QOBSOCKET_SERVER, FDW_WRITE);
    EXPECT_EQ(net.state & NET_CONNECTED, (uint32_t)NET_CONNECTED);
    EXPECT_NE(std::string(diag.msgline).find("Connected to server 127.0.0.1"), std::string::npos);
    EXPECT_STREQ(net_settings.server, "127.0.0.1");
    ASSERT_NE(fake_ui_menu_item(CMD_NET_REMEMBERED), nullptr);
    EXPECT_EQ(fake_ui_menu_item(CMD_NET_REMEMBERED)->text, "&1 127.0.0.1");
    std::string sent(3000, 0);
    for (size_t i = 0; i < sent.size(); i++) sent[i] = (char)(i * 13);
    ASSERT_EQ(send(peer, sent.data(), sent.size(), 0), (ssize_t)sent.size());
    usleep(20000);
    ready(QOBSOCKET_SERVER, FDW_READ);
    EXPECT_EQ(ring_bytes(), sent);
    // The server sends its last bytes and goes away: the box, then the
    // offer; No leaves it off, and the bytes in the ring are still read.
    ASSERT_EQ(send(peer, "last", 4, 0), 4);
    close(peer);
    fds.erase(fds.end() - 1);
    usleep(20000);
    ready(QOBSOCKET_SERVER, FDW_READ);
    fake_ui_answer(IDOK);
    fake_ui_answer(IDNO);
    ready(QOBSOCKET_SERVER, FDW_READ);
    EXPECT_TRUE(box_shown("Network", "Remote server disconnected"));
    EXPECT_TRUE(box_shown("Network Server Service", "Do you wish to reconnect to server>\n127.0.0.1"));
    EXPECT_EQ(count_qob_sockets(QOBSOCKET_SERVER), 0);
    EXPECT_EQ(net.state & NET_CONNECTED, 0u);
    EXPECT_EQ(zyr.IoFlags & IO_NET_IN, (uint32_t)IO_NET_IN);
    EXPECT_EQ(ring_bytes(), "last");
    cycle_hooks.byte_services();
    EXPECT_EQ(zyr.IoFlags & IO_NET_IN, 0u);
}

TEST_F(Net, ServerThatRefusesOrDoesNotResolve) {
    ASSERT_EQ(net_connect_server("127.0.0.1"), 0);   // nobody listens
    if (QobSocket* s = only(QOBSOCKET_SERVER)) {
        usleep(20000);
        fake_ui_fd_ready(s->fd, FDW_WRITE);
    }
    EXPECT_TRUE(box_shown("Connect", "ERROR failed to connect to server"));
    EXPECT_EQ(sock_table.alloc_count, 0);
    EXPECT_EQ(zyr.IoFlags & IO_NET_IN, 0u);
    EXPECT_EQ(net_connect_server("nonexistent.invalid"), -1);
    EXPECT_TRUE(box_shown("gethostbyname() failed.", "Cannot locate host nonexistent.invalid"));
    EXPECT_EQ(sock_table.alloc_count, 0);
}

TEST_F(Net, FullRingHoldsTheSenderBackAndLosesNothing) {
    net_settings.in_bufsize = 8192;
    int l = keep(listener(net_settings.tcp_port));
    ASSERT_EQ(net_connect_server("127.0.0.1"), 0);
    int peer = keep(accept(l, nullptr, nullptr));
    ready(QOBSOCKET_SERVER, FDW_WRITE);
    std::string sent(50000, 0);
    for (size_t i = 0; i < sent.size(); i++) sent[i] = (char)(i * 7 + i / 251);
    ASSERT_EQ(send(peer, sent.data(), sent.size(), 0), (ssize_t)sent.size());
    usleep(20000);
    ready(QOBSOCKET_SERVER, FDW_READ);
    EXPECT_EQ(net_in_fill(), 8191u);   // never more than NB-1
    EXPECT_TRUE(net.in_paused);
    EXPECT_EQ(fake_ui_fd_watched(net.in_fd), 0u);
    std::string got;
    for (int i = 0; i < 100 && got.size() < sent.size(); i++) {
        got += ring_bytes();
        net_byte_services();
    }
    EXPECT_EQ(got, sent);
    EXPECT_GT(zyr_stat(ST_NET_RING_FULL), 0u);
}

// ---- the TCP server ------------------------------------------------------------------------

TEST_F(Net, SixtyFourClientsAndTheSixtyFifthIsClosedAtOnce) {
    ASSERT_EQ(net_start_server(), 0);
    EXPECT_EQ(zyr.IoFlags & IO_NET_OUT, (uint32_t)IO_NET_OUT);
    std::vector<int> c;
    for (int i = 0; i < NET_MAX_CLIENTS + 1; i++) {
        c.push_back(keep(client_of(net_settings.tcp_port)));
        ready(QOBSOCKET_LISTEN_MSG, FDW_READ);
    }
    EXPECT_EQ(net_client_count(), NET_MAX_CLIENTS);
    EXPECT_NE(std::string(diag.msgline).find("Remote client connect failed. Max clients 64 exceeded"), std::string::npos);
    char b;
    EXPECT_EQ(recv(c.back(), &b, 1, 0), 0);   // closed by the server
    std::string packet(64, 'p');
    ASSERT_EQ(net_put((const uint8_t*)packet.data(), 64), 64);
    zyr.zyr_msecs += NET_GATHER_MS;
    net_output_service();
    for (int i = 0; i < NET_MAX_CLIENTS; i++) EXPECT_EQ(recv_some(c[i], 64), packet) << i;
    net_stop_server();
    EXPECT_EQ(sock_table.alloc_count, 0);
    EXPECT_EQ(zyr.IoFlags & IO_NET_OUT, 0u);
}

TEST_F(Net, ClientThatDoesNotReadLosesBytesAndStallsNoOne) {
    net_settings.out_bufsize = 262144;
    ASSERT_EQ(net_start_server(), 0);
    int slow = keep(client_of(net_settings.tcp_port));
    ready(QOBSOCKET_LISTEN_MSG, FDW_READ);
    int fast = keep(client_of(net_settings.tcp_port));
    ready(QOBSOCKET_LISTEN_MSG, FDW_READ);
    int small = 4096;
    setsockopt(slow, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::string chunk(65536, 'x'), got;
    for (int round = 0; round < 200; round++) {
        net_put((const uint8_t*)chunk.data(), (int)chunk.size());
        net_output_service();
        got += recv_some(fast, 65536);
    }
    EXPECT_EQ(got.size(), 200u * 65536u);
    EXPECT_GT(zyr_stat(ST_NET_CLIENT_DROPPED), 0u);
    EXPECT_EQ(net_client_count(), 2);
    (void)slow;
}

// Message n of the stream: 1000 bytes, its index in the first two, the
// rest the index modulo 251.
static std::string message(int n) {
    std::string m(1000, (char)(n % 251));
    m[0] = (char)(n >> 8);
    m[1] = (char)n;
    return m;
}

// A stream of whole messages with rising indexes: their count, -1 if a
// message is cut or out of order; *skips counts the jumps.
static int whole_messages(const std::string& s, int* skips) {
    *skips = 0;
    if (s.size() % 1000) return -1;
    int last = -1;
    for (size_t off = 0; off < s.size(); off += 1000) {
        int n = ((uint8_t)s[off] << 8) | (uint8_t)s[off + 1];
        if (s.compare(off, 1000, message(n)) != 0 || n <= last) return -1;
        if (last >= 0 && n > last + 1) ++*skips;
        last = n;
    }
    return (int)(s.size() / 1000);
}

// A client that reads slowly loses whole messages, never parts of one,
// and the one that keeps up gets every byte.
TEST_F(Net, ASlowClientLosesWholeMessagesOnly) {
    net_settings.out_bufsize = 65536;
    ASSERT_EQ(net_start_server(), 0);
    // The slow client's buffers are small from the start, so that its
    // window follows its reading.
    int small = 4096;
    int slow = keep(socket(AF_INET, SOCK_STREAM, 0));
    setsockopt(slow, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a = loopback(net_settings.tcp_port);
    ASSERT_EQ(connect(slow, (sockaddr*)&a, sizeof a), 0);
    ready(QOBSOCKET_LISTEN_MSG, FDW_READ);
    int fast = keep(client_of(net_settings.tcp_port));
    ready(QOBSOCKET_LISTEN_MSG, FDW_READ);
    QobSocket* to_slow = nth_qob_socket(QOBSOCKET_CLIENT, 0);
    ASSERT_NE(to_slow, nullptr);
    setsockopt(to_slow->fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    std::string sent, fast_got, slow_got;
    char buf[65536];
    int n = 0;
    for (int round = 0; round < 300; round++) {
        for (int i = 0; i < 12; i++, n++) {
            std::string m = message(n);
            ASSERT_EQ(net_put((const uint8_t*)m.data(), (int)m.size()), 1000);
            sent += m;
        }
        for (int pass = 0; pass < 2; pass++) {
            zyr.zyr_msecs += NET_GATHER_MS;
            net_output_service();
        }
        fast_got += recv_some(fast, sent.size() - fast_got.size());
        ssize_t k = round % 5 ? 0 : recv(slow, buf, 3000, MSG_DONTWAIT);
        if (k > 0) slow_got.append(buf, (size_t)k);
    }
    // The rest of the slow client's stream, read as fast as it comes.
    for (int quiet = 0, i = 0; quiet < 20 && i < 2000; i++) {
        net_output_service();
        ssize_t k = recv(slow, buf, sizeof buf, MSG_DONTWAIT);
        if (k > 0) slow_got.append(buf, (size_t)k);
        quiet = k > 0 || to_slow->backlog_len ? 0 : quiet + 1;
        usleep(2000);
    }
    EXPECT_EQ(net_out_fill(), 0u);
    EXPECT_TRUE(fast_got == sent) << fast_got.size() << " of " << sent.size();
    int skips = 0;
    int whole = whole_messages(slow_got, &skips);
    EXPECT_GT(whole, 0) << slow_got.size() << " bytes";
    EXPECT_GT(skips, 0) << whole << " messages of " << n << ", lost " << zyr_stat(ST_NET_CLIENT_DROPPED);
    EXPECT_GT(zyr_stat(ST_NET_CLIENT_DROPPED), 0u);
    EXPECT_EQ(net_client_count(), 2);
}

// A client that connects while a message longer than a chunk goes out
// starts with the next message; the message itself reaches the others.
TEST_F(Net, AClientJoiningInsideAMessageStartsWithTheNext) {
    net_settings.out_bufsize = 4096;   // chunks of 1024
    ASSERT_EQ(net_start_server(), 0);
    int first = keep(client_of(net_settings.tcp_port));
    ready(QOBSOCKET_LISTEN_MSG, FDW_READ);
    std::string a(3000, 'a'), b(100, 'b');
    ASSERT_EQ(net_put((const uint8_t*)a.data(), (int)a.size()), 3000);
    zyr.zyr_msecs += NET_GATHER_MS;
    net_output_service();
    EXPECT_EQ(net_out_fill(), 3000u - 1024u);
    int later = keep(client_of(net_settings.tcp_port));
    ready(QOBSOCKET_LISTEN_MSG, FDW_READ);
    ASSERT_EQ(net_put((const uint8_t*)b.data(), (int)b.size()), 100);
    for (int i = 0; i < 5; i++) {
        zyr.zyr_msecs += NET_GATHER_MS;
        net_output_service();
    }
    EXPECT_EQ(recv_some(first, 3100), a + b);
    EXPECT_EQ(recv_some(later, 100), b);
    EXPECT_EQ(zyr_stat(ST_NET_CLIENT_DROPPED), 0u);
    // A message the ring cannot hold whole is refused whole.
    std::string big(4096, 'c');
    EXPECT_EQ(net_put((const uint8_t*)big.data(), (int)big.size()), 0);
    EXPECT_EQ(net_out_fill(), 0u);
    EXPECT_EQ(zyr_stat(ST_NET_OUT_REFUSED), 4096u);
}

TEST_F(Net, PortInUseShowsTheErrorBoxAndLeavesTheServerOff) {
    int l = keep(listener(net_settings.tcp_port));
    ASSERT_GE(l, 0);
    EXPECT_EQ(net_start_server(), -1);
    EXPECT_TRUE(box_shown("Network Error", "WSA Net Error  10048: Address already in use bind()"));
    EXPECT_EQ(sock_table.alloc_count, 0);
    EXPECT_EQ(zyr.IoFlags & IO_NET_OUT, 0u);
    EXPECT_EQ(net.state, 0u);
}

TEST_F(Net, SmallAmountsWaitFiftyMilliseconds) {
    ASSERT_EQ(net_start_server(), 0);
    int c = keep(client_of(net_settings.tcp_port));
    ready(QOBSOCKET_LISTEN_MSG, FDW_READ);
    net.last_send_ms = zyr.zyr_msecs;
    net_put((const uint8_t*)"abc", 3);
    zyr.zyr_msecs += NET_GATHER_MS - 1;
    net_output_service();
    EXPECT_EQ(net_out_fill(), 3u);
    zyr.zyr_msecs += 1;
    net_output_service();
    EXPECT_EQ(net_out_fill(), 0u);
    EXPECT_EQ(recv_some(c, 3), "abc");
}

TEST_F(Net, GarbageClientsAndAResetServerKeepTheProgramRunning) {
    // A client of the server that sends garbage: its bytes are dropped,
    // never input; one that disconnects at once is closed.
    ASSERT_EQ(net_start_server(), 0);
    int g = keep(client_of(net_settings.tcp_port));
    ready(QOBSOCKET_LISTEN_MSG, FDW_READ);
    int quick = client_of(net_settings.tcp_port);
    ready(QOBSOCKET_LISTEN_MSG, FDW_READ);
    close(quick);
    ASSERT_EQ(send(g, "garbage", 7, 0), 7);
    usleep(20000);
    for (int i = 0; i < 2; i++) fake_ui_fd_ready(nth_qob_socket(QOBSOCKET_CLIENT, i)->fd, FDW_READ);
    EXPECT_EQ(zyr_stat(ST_NET_DISCARDED), 7u);
    EXPECT_EQ(net_client_count(), 1);
    EXPECT_NE(read_file("debugmsg").find("disconnected"), std::string::npos);
    // A server connection that the peer resets: the error path offers the
    // reconnection.
    net_stop_server();
    int l2 = keep(listener(net_settings.tcp_port));
    if (l2 < 0) GTEST_SKIP() << "port taken";
    ASSERT_EQ(net_connect_server("127.0.0.1"), 0);
    int peer = accept(l2, nullptr, nullptr);
    ready(QOBSOCKET_SERVER, FDW_WRITE);
    linger hard{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(peer);   // RST
    usleep(20000);
    fake_ui_answer(IDNO);
    ready(QOBSOCKET_SERVER, FDW_READ);
    EXPECT_TRUE(box_shown("Network Server Service", "Do you wish to reconnect to server>\n127.0.0.1"));
    EXPECT_NE(read_file("debugmsg").find("now disconnecting from remote server <127.0.0.1>"), std::string::npos);
    EXPECT_EQ(count_qob_sockets(QOBSOCKET_SERVER), 0);
}

// ---- UDP -------------------------------------------------------------------------------------

TEST_F(Net, DatagramsReachTheRingAndLongOnesAreCounted) {
    net_settings.in_bufsize = 8192;   // chunks of 4096
    ASSERT_EQ(net_udp_receive_open(), 0);
    EXPECT_EQ(net_settings.in_protocol, NETP_UDP_RX);
    EXPECT_EQ(net_connect_server("127.0.0.1"), -1);   // refused while the receiver is open
    int u = keep(socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in to = loopback(net_settings.udp_port);
    std::string d1(100, 'a'), d2(5000, 'b');
    sendto(u, d1.data(), d1.size(), 0, (sockaddr*)&to, sizeof to);
    sendto(u, d2.data(), d2.size(), 0, (sockaddr*)&to, sizeof to);
    usleep(20000);
    ready(QOBSOCKET_SERVER_UDP, FDW_READ);
    EXPECT_EQ(ring_bytes(), d1 + std::string(4096, 'b'));
    EXPECT_EQ(zyr_stat(ST_NET_UDP_TRUNCATED), 5000u - 4096u);
    net_udp_receive_close();
    EXPECT_EQ(zyr.IoFlags & IO_NET_IN, 0u);
}

TEST_F(Net, TransmitterSendsToTheHostOfTheOutputEntry) {
    snprintf(net_settings.udp_host, sizeof net_settings.udp_host, "127.0.0.1");
    int peer = keep(socket(AF_INET, SOCK_DGRAM, 0));
    int one = 1;
    setsockopt(peer, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in at = loopback(net_settings.udp_port);
    ASSERT_EQ(bind(peer, (sockaddr*)&at, sizeof at), 0);
    ASSERT_EQ(net_udp_transmit_open(), 0);
    EXPECT_EQ(net_start_server(), -1);   // the transmitter holds the output
    net_put((const uint8_t*)"datagram", 8);
    zyr.zyr_msecs += NET_GATHER_MS;
    net_output_service();
    EXPECT_EQ(recv_some(peer, 8), "datagram");
}

// ---- settings ---------------------------------------------------------------------------------

TEST_F(Net, GatheredEntriesCarryTheRunningServices) {
    settings_register();
    ASSERT_EQ(net_start_server(), 0);
    ASSERT_EQ(net_udp_receive_open(), 0);
    SystemRecord rec{};
    page_hooks.gather_system(&rec);
    EXPECT_EQ(rec.net_in.protocol, NETP_UDP_RX);
    EXPECT_EQ(rec.net_out.protocol, NETP_TCP_SERVER);
    EXPECT_EQ(rec.net_in.tcpportno, net_settings.tcp_port);
    EXPECT_EQ(rec.net_out.udpportno, net_settings.udp_port);
    EXPECT_TRUE(net_settings_changed());
    net_mark_saved();
    net_stop_server();
    EXPECT_TRUE(net_settings_changed());
    page_hooks.gather_system(&rec);
    EXPECT_EQ(rec.net_out.protocol, 0u);
}

TEST_F(Net, SavedServerComesBackAtStart) {
    NetEntry in{}, out{};
    out.protocol = NETP_TCP_SERVER;
    out.tcpportno = net_settings.tcp_port;
    in.protocol = NETP_TCP_CLIENT;
    snprintf(in.host, sizeof in.host, "127.0.0.1");
    fake_ui_answer(IDNO);   // the reconnect question
    page_hooks.apply_network(&in, &out);
    EXPECT_TRUE(box_shown("Network Server Service", "Do you wish to reconnect to server>\n127.0.0.1"));
    EXPECT_EQ(net.state, (uint32_t)NET_LISTENING);
    EXPECT_EQ(count_qob_sockets(QOBSOCKET_SERVER), 0);
    EXPECT_NE(fake_ui_menu_item(CMD_NET_REMEMBERED), nullptr);
    int c = keep(client_of(net_settings.tcp_port));
    EXPECT_GE(c, 0);
}

TEST_F(Net, MenuGreyingFollowsTheServices) {
    auto enabled = [](int cmd) {
        NetMenuState rows[20];
        int n = net_menu_state(rows, 20);
        for (int i = 0; i < n; i++)
            if (rows[i].command == cmd) return rows[i].enabled;
        return false;
    };
    EXPECT_TRUE(enabled(552));
    EXPECT_FALSE(enabled(557));
    ASSERT_EQ(net_start_server(), 0);
    EXPECT_FALSE(enabled(552));
    EXPECT_FALSE(enabled(570));
    EXPECT_FALSE(enabled(574));
    EXPECT_FALSE(enabled(576));
    EXPECT_TRUE(enabled(557));
    EXPECT_TRUE(enabled(578));
    EXPECT_FALSE(enabled(553));   // no client yet
    ASSERT_EQ(net_udp_receive_open(), 0);
    EXPECT_FALSE(enabled(551));
    EXPECT_FALSE(enabled(CMD_NET_REMEMBERED));
    net_stop_server();
    EXPECT_FALSE(enabled(570));   // the receiver is open
    EXPECT_TRUE(enabled(552));
}
