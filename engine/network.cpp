// Moving bytes over the network: the input ring filled on read events and
// read by the synchroniser, the output ring sent to every client and the
// UDP transmitter in chunks, and the two message handlers that turn socket
// readiness into the services' reactions.
#include "engine/network.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "core/state.h"
#include "platform/ui.h"

NetState net = [] {
    NetState n{};
    n.in_fd = -1;
    return n;
}();
NetHooks net_hooks;

// ---- input ring ------------------------------------------------------------------

uint32_t net_in_fill() {
    if (!net.in_ring) return 0;
    return net.in_put >= net.in_get ? net.in_put - net.in_get : net.in_put + net.in_size - net.in_get;
}

static void in_store(const uint8_t* p, uint32_t n) {
    uint32_t first = net.in_size - net.in_put;
    if (first > n) first = n;
    memcpy(net.in_ring + net.in_put, p, first);
    memcpy(net.in_ring, p + first, n - first);
    net.in_put = (net.in_put + n) % net.in_size;
}

// Bytes a read may ask for now. A datagram is read whole or not at all, so
// the UDP receiver waits until a whole chunk fits.
static uint32_t read_room(bool datagram) {
    uint32_t fill = net_in_fill();
    if (fill >= net.in_target) return 0;
    uint32_t room = net.in_target - fill, half = net.in_size / 2;
    if (datagram) return room >= half ? half : 0;
    return room < half ? room : half;
}

static void report_read_error(int err) {
    zyr_stat(ST_NET_READ_ERRS)++;
    if (net.read_reported && zyr.zyr_msecs - net.last_read_report_ms < NET_READ_REPORT_MS) return;
    net.read_reported = true;
    net.last_read_report_ms = zyr.zyr_msecs;
    char text[64];
    snprintf(text, sizeof text, "Network error %d. Read op. failed", err);
    zyr_message(text, MSG_TIME | MSG_LOG);
    zyr_err(19, 1, "WSA >1", err, 0, 0);
}

// Bytes that are not network input (a client of the server, the UDP
// transmitter's own socket) are read and dropped, so their readiness ends.
static void drain(int fd, bool count) {
    uint8_t buf[4096];
    for (int i = 0; i < 64; i++) {
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0) return;
        if (count) zyr_stat(ST_NET_DISCARDED) += (uint32_t)n;
    }
}

// A full ring stops reading: the read watch goes off until the synchroniser
// has made room, so TCP holds the sender back and datagrams wait in the
// system's queue instead of being cut.
static void pause_reading(int fd) {
    if (net.in_paused) return;
    net.in_paused = true;
    zyr_stat(ST_NET_RING_FULL)++;
    plat_unwatch_fd(fd);
}

void net_read(QobSocket* s) {
    if (!s || s->fd < 0) return;
    bool datagram = (s->type & (QOBSOCKET_SERVER_UDP | QOBSOCKET_CLIENT_UDP)) != 0;
    if (s->type & (QOBSOCKET_CLIENT | QOBSOCKET_CLIENT_UDP)) return drain(s->fd, (s->type & QOBSOCKET_CLIENT) != 0);
    if (!(zyr.IoFlags & IO_NET_IN) || !net.in_ring || s->fd != net.in_fd) return drain(s->fd, true);
    for (;;) {
        uint32_t ask = read_room(datagram);
        if (ask == 0) {
            pause_reading(s->fd);
            break;
        }
        ssize_t n = recv(s->fd, net.in_chunk, ask, MSG_DONTWAIT | (datagram ? MSG_TRUNC : 0));
        if (n < 0) {
            int e = errno;
            if (e != EAGAIN && e != EWOULDBLOCK && e != EINTR) report_read_error(e);
            break;
        }
        if (n == 0) break;   // the end of the stream comes as a close event
        if (datagram && (uint32_t)n > ask) {
            // Longer than a chunk: the message-too-long case; the chunk counts.
            zyr_stat(ST_NET_UDP_TRUNCATED) += (uint32_t)n - ask;
            n = (ssize_t)ask;
        }
        in_store(net.in_chunk, (uint32_t)n);
        zyr_stat(ST_RX_BLOCK) = (uint32_t)n;
        if ((uint32_t)n > zyr_stat(ST_RX_BLOCK_MAX)) zyr_stat(ST_RX_BLOCK_MAX) = (uint32_t)n;
        if (!datagram && (uint32_t)n < ask / 8) break;
    }
    uint32_t fill = net_in_fill();
    if (fill) zyr_stat(ST_RX_FILL) = (uint32_t)((uint64_t)fill * 1024 / net.in_size);
}

// Reading goes on once half the ring is free again.
static void resume_reading() {
    if (!net.in_paused || net.in_fd < 0 || !net.in_ring) return;
    if (net.in_target - net_in_fill() < net.in_size / 2) return;
    net.in_paused = false;
    plat_watch_fd(net.in_fd, FDW_READ, net_fd_ready);
    net_read(find_qob_socket(net.in_fd));
}

// An empty ring asks the socket at once: the synchroniser need not wait
// for the next readiness report. Reading never closes anything, so it is
// safe inside the cycle.
static void refill() {
    if (net.in_paused) return resume_reading();
    if (net.in_fd >= 0) net_read(find_qob_socket(net.in_fd));
}

void net_byte_services() {
    resume_reading();
    net_output_service();
}

int net_get_byte() {
    if (!net.in_ring) return -1;
    if (net.in_put == net.in_get) refill();
    if (!net.in_ring || net.in_put == net.in_get) return -1;
    uint8_t b = net.in_ring[net.in_get];
    net.in_get = (net.in_get + 1) % net.in_size;
    return b;
}

int net_get_bytes(uint8_t* dst, int n) {
    if (!net.in_ring || n <= 0) return 0;
    if (net.in_put == net.in_get) refill();
    if (!net.in_ring) return 0;
    uint32_t fill = net_in_fill();
    uint32_t k = (uint32_t)n < fill ? (uint32_t)n : fill;
    uint32_t first = net.in_size - net.in_get;
    if (first > k) first = k;
    memcpy(dst, net.in_ring + net.in_get, first);
    memcpy(dst + first, net.in_ring, k - first);
    net.in_get = (net.in_get + k) % net.in_size;
    resume_reading();
    return (int)k;
}

// ---- output ring -------------------------------------------------------------------

uint32_t net_out_fill() {
    if (!net.out_ring) return 0;
    return net.out_put >= net.out_get ? net.out_put - net.out_get : net.out_put + net.out_size - net.out_get;
}

int net_put(const uint8_t* p, int len) {
    if (!(zyr.IoFlags & IO_NET_OUT) || !net.out_ring || len <= 0) return 0;
    uint32_t room = net.out_size - 1 - net_out_fill();
    if ((uint32_t)len > room) {
        zyr_stat(ST_NET_OUT_REFUSED) += (uint32_t)len;
        return 0;
    }
    uint32_t k = (uint32_t)len;
    uint32_t first = net.out_size - net.out_put;
    if (first > k) first = k;
    memcpy(net.out_ring + net.out_put, p, first);
    memcpy(net.out_ring, p + first, k - first);
    net.out_put = (net.out_put + k) % net.out_size;
    // With the list full, the message joins the one before it: the chunks
    // are then cut less finely, never inside a message they could avoid.
    if (net.ends_count == (uint32_t)NET_OUT_ENDS)
        net.out_ends[(net.ends_first + net.ends_count - 1) % NET_OUT_ENDS] = net.out_put;
    else
        net.out_ends[(net.ends_first + net.ends_count++) % NET_OUT_ENDS] = net.out_put;
    return (int)k;
}

static void client_failed(QobSocket* s, int err) {
    debug_printf("ERROR %d: now disconnecting remote client <%s>...", err, s->name ? s->name : "no-name");
    net_close_client(s);
}

static bool send_failed(ssize_t n) { return n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR; }

// Sends what waits for the client: true when nothing waits any more, false
// with *err 0 when some still does, or with the socket's error.
static bool flush_backlog(QobSocket* s, int* err) {
    *err = 0;
    if (s->backlog_len == 0) return true;
    ssize_t n = send(s->fd, s->backlog + s->backlog_off, s->backlog_len, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (send_failed(n)) {
        *err = errno;
        return false;
    }
    if (n > 0) {
        s->backlog_off += (uint32_t)n;
        s->backlog_len -= (uint32_t)n;
    }
    return s->backlog_len == 0;
}

static void client_lost(QobSocket* s, uint32_t bytes, const char* why) {
    s->dropped += bytes;
    zyr_stat(ST_NET_CLIENT_DROPPED) += bytes;
    if (!s->short_logged) debug_printf("!! send_all_qob_sockets() client <%s> %s %u bytes", s->name ? s->name : "no-name",
                                       why, (unsigned)bytes);
    s->short_logged = true;
}

// One chunk to a TCP client; its error, or 0.
static int send_to_client(QobSocket* s, const uint8_t* buf, uint32_t len, bool starts) {
    int err;
    if (!flush_backlog(s, &err)) {
        if (err) return err;
        client_lost(s, len, "cannot keep up, lost");
        s->aligned = false;
        return 0;
    }
    if (!s->aligned) {
        // A client that joined, or lost a chunk, waits for a message start.
        if (!starts) {
            if (s->joined) client_lost(s, len, "waits for a message start, lost");
            return 0;
        }
        s->aligned = true;
    }
    ssize_t n = send(s->fd, buf, len, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (send_failed(n)) return errno;
    uint32_t sent = n > 0 ? (uint32_t)n : 0;
    s->joined = true;
    if (sent == len) {
        s->short_logged = false;
        return 0;
    }
    // The rest of the chunk waits for the client's next turn.
    if (!s->backlog) s->backlog = (uint8_t*)QOBmalloc(net.out_size / 4 ? net.out_size / 4 : 1);
    if (!s->backlog || len - sent > net.out_size / 4) {
        client_lost(s, len - sent, "no room to wait, lost");
        s->aligned = false;
        return 0;
    }
    memcpy(s->backlog, buf + sent, len - sent);
    s->backlog_off = 0;
    s->backlog_len = len - sent;
    return 0;
}

void send_all_qob_sockets(uint32_t type, const uint8_t* buf, int len, bool starts) {
    QobSocket* failed[NET_SOCKETS];
    int failed_errs[NET_SOCKETS];
    int nfailed = 0;
    for (QobSocket* s : sock_table.slot) {
        if (!s || s->fd < 0 || !(s->type & type & (QOBSOCKET_CLIENT | QOBSOCKET_CLIENT_UDP))) continue;
        if (s->type & QOBSOCKET_CLIENT_UDP) {
            ssize_t n = sendto(s->fd, buf, (size_t)len, MSG_DONTWAIT | MSG_NOSIGNAL, (const sockaddr*)&net.udp_dest,
                               sizeof net.udp_dest);
            if (send_failed(n)) debug_printf("ERROR send_all_qob_sockets() rtn = %d wsa %d", (int)n, errno);
            if (n < len) client_lost(s, (uint32_t)len, "datagram not sent,");
            break;
        }
        int err = send_to_client(s, buf, (uint32_t)len, starts);
        if (err) {
            debug_printf("ERROR send_all_qob_sockets() rtn = %d wsa %d", -1, err);
            failed[nfailed] = s;
            failed_errs[nfailed++] = err;
        }
    }
    for (int i = 0; i < nfailed; i++) client_failed(failed[i], failed_errs[i]);
}

// Clients still holding the tail of a chunk get it as soon as they take it.
static void flush_backlogs() {
    QobSocket* failed[NET_SOCKETS];
    int failed_errs[NET_SOCKETS];
    int nfailed = 0;
    for (QobSocket* s : sock_table.slot) {
        int err;
        if (!s || s->fd < 0 || !(s->type & QOBSOCKET_CLIENT) || s->backlog_len == 0 || flush_backlog(s, &err) || !err)
            continue;
        failed[nfailed] = s;
        failed_errs[nfailed++] = err;
    }
    for (int i = 0; i < nfailed; i++) client_failed(failed[i], failed_errs[i]);
}

// The longest run of whole messages from out_get that fits in max bytes,
// or max itself when the first message is longer (*ends false then).
static uint32_t chunk_length(uint32_t max, bool* ends) {
    uint32_t best = 0;
    while (net.ends_count > 0) {
        uint32_t d = (net.out_ends[net.ends_first] - net.out_get + net.out_size) % net.out_size;
        if (d > max) break;
        if (d > 0) best = d;
        net.ends_first = (net.ends_first + 1) % NET_OUT_ENDS;
        net.ends_count--;
    }
    *ends = best > 0;
    return best > 0 ? best : max;
}

void net_output_service() {
    if (!(zyr.IoFlags & IO_NET_OUT) || !net.out_ring) return;
    flush_backlogs();
    uint32_t fill = net_out_fill();
    if (fill == 0) return;
    zyr_stat(ST_TX_FILL) = (uint32_t)((uint64_t)fill * 1024 / net.out_size);
    uint32_t quarter = net.out_size / 4 ? net.out_size / 4 : 1;
    if (fill < quarter && zyr.zyr_msecs - net.last_send_ms < NET_GATHER_MS) return;
    bool ends;
    uint32_t k = chunk_length(fill < quarter ? fill : quarter, &ends);
    uint32_t first = net.out_size - net.out_get;
    if (first > k) first = k;
    memcpy(net.out_chunk, net.out_ring + net.out_get, first);
    memcpy(net.out_chunk + first, net.out_ring, k - first);
    net.out_get = (net.out_get + k) % net.out_size;
    net.last_send_ms = zyr.zyr_msecs;
    zyr_stat(ST_TX_BLOCK) = k;
    if (k > zyr_stat(ST_TX_BLOCK_MAX)) zyr_stat(ST_TX_BLOCK_MAX) = k;
    bool starts = net.out_aligned;
    net.out_aligned = ends;
    send_all_qob_sockets(QOBSOCKET_CLIENT | QOBSOCKET_CLIENT_UDP, net.out_chunk, (int)k, starts);
}

// ---- events ------------------------------------------------------------------------

void net_fd_ready(int fd, unsigned ready) {
    (void)ready;
    QobSocket* s = find_qob_socket(fd);
    if (!s) {
        plat_unwatch_fd(fd);
        case_wsa_read(fd, FD_READ, 0);
        return;
    }
    if (s->type & QOBSOCKET_LISTEN_MSG) return net_accept_message(fd, FD_ACCEPT, 0);
    if (s->type & QOBSOCKET_CONNECTING) {
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        return case_wsa_read(fd, FD_CONNECT, err);
    }
    if (s->type & (QOBSOCKET_CLIENT | QOBSOCKET_SERVER)) {
        // A stream that is readable has data, has ended, or has failed.
        uint8_t b;
        ssize_t n = recv(fd, &b, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) return case_wsa_read(fd, FD_READ, 0);
        if (n == 0) return case_wsa_read(fd, FD_CLOSE, 0);
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
        return case_wsa_read(fd, FD_CLOSE, errno);
    }
    case_wsa_read(fd, FD_READ, 0);
}
