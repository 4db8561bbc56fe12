// The four network services and their socket events: connecting to a
// server, serving clients, the UDP receiver and transmitter, shutdown,
// the port numbers, page 0's entries and the wiring into the cycle.
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/page.h"
#include "core/state.h"
#include "engine/cycle.h"
#include "engine/input.h"
#include "engine/netcfg.h"
#include "engine/network.h"
#include "engine/serial.h"
#include "engine/startup.h"
#include "platform/ui.h"

static void say(const char* text, bool beep = true) { zyr_message(text, MSG_TIME | MSG_LOG | (beep ? (unsigned)MSG_BEEP : 0u)); }

static void menu_changed() {
    if (net_hooks.menu_changed) net_hooks.menu_changed();
}

// ---- the socket layer and the buffers ------------------------------------------------

static void table_emptied() { menu_changed(); }

static void net_startup() {
    if (net.started) return;
    net.started = true;
    sock_table_reset();
    menu_changed();
}

static void free_input() {
    net.in_draining = false;
    QOBfree(net.in_ring);
    QOBfree(net.in_chunk);
    net.in_ring = net.in_chunk = nullptr;
    net.in_size = net.in_put = net.in_get = net.in_target = 0;
    net.in_fd = -1;
    net.in_paused = false;
    zyr.IoFlags &= ~IO_NET_IN;
}

// Bytes that reached the ring are never thrown away: when its socket goes,
// network input stays on until the synchroniser has taken them all.
static void end_input() {
    net.in_fd = -1;
    net.in_paused = false;
    if (net_in_fill() == 0) return free_input();
    net.in_draining = true;
}

static int alloc_input() {
    if (net.in_draining && net.in_size == net_settings.in_bufsize) {
        // A new input service takes over the ring with what it still holds.
        net.in_draining = false;
        zyr.IoFlags |= IO_NET_IN;
        return 0;
    }
    free_input();
    uint32_t n = net_settings.in_bufsize;
    net.in_ring = (uint8_t*)QOBmalloc(n);
    net.in_chunk = (uint8_t*)QOBmalloc(n / 2);
    if (!net.in_ring || !net.in_chunk) {
        debug_printf("!! network input buffers of %u bytes: no memory !!", (unsigned)n);
        free_input();
        return -1;
    }
    net.in_size = n;
    net.in_target = n - 1;
    zyr.IoFlags |= IO_NET_IN;
    return 0;
}

static void free_output() {
    QOBfree(net.out_ring);
    QOBfree(net.out_chunk);
    net.out_ring = net.out_chunk = nullptr;
    net.out_size = net.out_put = net.out_get = 0;
    net.ends_first = net.ends_count = 0;
    net.out_aligned = true;
    zyr.IoFlags &= ~IO_NET_OUT;
}

static int alloc_output() {
    free_output();
    uint32_t n = net_settings.out_bufsize < NET_OUT_BUFSIZE_MIN ? NET_OUT_BUFSIZE_MIN : net_settings.out_bufsize;
    net.out_ring = (uint8_t*)QOBmalloc(n);
    net.out_chunk = (uint8_t*)QOBmalloc(n / 4);
    if (!net.out_ring || !net.out_chunk) {
        debug_printf("!! network output buffers of %u bytes: no memory !!", (unsigned)n);
        free_output();
        return -1;
    }
    net.out_size = n;
    net.last_send_ms = zyr.zyr_msecs;
    zyr.IoFlags |= IO_NET_OUT;
    return 0;
}

// Closes the record's socket and deletes the record.
static void drop_socket(QobSocket* s) {
    if (!s) return;
    if (s->fd >= 0) {
        plat_unwatch_fd(s->fd);
        close(s->fd);
        if (net.in_fd == s->fd) net.in_fd = -1;
    }
    delete_qob_socket(s);
}

// A socket of the record's type, non-blocking: 0, or -1 after the error box.
static int open_socket(QobSocket* s, int kind) {
    s->fd = socket(AF_INET, kind | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s->fd >= 0) return 0;
    net_error_box(errno, "socket()");
    return -1;
}

// Bound to all local addresses and the port (so the service is reachable
// whatever the host name resolves to): 0, or -1 after the error box.
static int bind_any(QobSocket* s, uint16_t port) {
    int one = 1;
    setsockopt(s->fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    s->addr.sin_family = AF_INET;
    s->addr.sin_port = htons(port);
    s->addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(s->fd, (const sockaddr*)&s->addr, sizeof s->addr) == 0) return 0;
    net_error_box(errno, "bind()");
    return -1;
}

static int watch(QobSocket* s, unsigned events) {
    if (plat_watch_fd(s->fd, events, net_fd_ready) == 0) return 0;
    net_error_box(EINVAL, "WSAAsyncSelect()");
    return -1;
}

// ---- look-ups ------------------------------------------------------------------------

int net_resolve(const char* host, in_addr* out) {
    if (!host || !*host) return EAI_NONAME;
    if (inet_pton(AF_INET, host, out) == 1) return 0;
    addrinfo hints{}, *res = nullptr;
    hints.ai_family = AF_INET;
    plat_busy(true);
    int rc = getaddrinfo(host, nullptr, &hints, &res);
    plat_busy(false);
    if (rc != 0) return rc;
    *out = ((const sockaddr_in*)res->ai_addr)->sin_addr;
    freeaddrinfo(res);
    return 0;
}

int fill_port_no(const char* text, uint16_t* port) {
    char* end = nullptr;
    unsigned long n = strtoul(text, &end, 10);
    if (end != text && *end == 0 && n > 0 && n <= 65535) {
        *port = (uint16_t)n;
        return 0;
    }
    plat_busy(true);
    const servent* sv = getservbyname(text, "tcp");
    plat_busy(false);
    if (sv) {
        *port = ntohs((uint16_t)sv->s_port);
        return 0;
    }
    char line[64];
    snprintf(line, sizeof line, "ERROR %d. Invalid TCP service", -1);
    plat_message_box(line, "TCPIP Port service", MB_OK | MB_ICONEXCLAMATION);
    say("ERROR fill_port_no() error. getservbyname() failed");
    return -1;
}

// ---- the TCP client --------------------------------------------------------------------

static QobSocket* server_socket() {
    for (QobSocket* s : sock_table.slot)
        if (s && (s->type & QOBSOCKET_SERVER)) return s;
    return nullptr;
}

const char* net_connect_refusal() {
    if (net.state & NET_UDP_RX) return "Cannot connect to server: UDP receive service open";
    if (server_socket()) return "Already connected to server";
    return nullptr;
}

const char* net_udp_receive_refusal() {
    if (server_socket()) return "Cannot open UDP receive: connected to server";
    if (net.state & NET_UDP_RX) return "UDP receive service already open";
    return nullptr;
}

static void connect_failed(QobSocket* s) {
    say("ERROR failed to connect to server");
    drop_socket(s);
    end_input();
    menu_changed();
    plat_message_box("ERROR failed to connect to server", "Connect", MB_OK | MB_ICONEXCLAMATION);
}

static void connected(QobSocket* s) {
    s->type &= ~QOBSOCKET_CONNECTING;
    if (watch(s, FDW_READ) != 0) return connect_failed(s);
    net.in_fd = s->fd;
    net.state |= NET_CONNECTED;
    net_settings.in_protocol = NETP_TCP_CLIENT;
    snprintf(net_settings.server, sizeof net_settings.server, "%s", net.host);
    char text[128];
    snprintf(text, sizeof text, "Connected to server %.80s", net.host);
    say(text);
    if (net_hooks.remember_server) net_hooks.remember_server(net.host);
    menu_changed();
}

int net_connect_server(const char* host) {
    if (const char* why = net_connect_refusal()) {
        say(why);
        return -1;
    }
    if (input_conflict_check(IO_NET_IN) != 0) return -1;
    net_startup();
    char name[sizeof net.host];
    snprintf(name, sizeof name, "%s", host ? host : net_settings.server);
    if (!name[0]) return -1;
    memcpy(net.host, name, sizeof name);
    if (alloc_input() != 0) return -1;
    QobSocket* s = create_qob_socket(QOBSOCKET_SERVER);
    if (!s || open_socket(s, SOCK_STREAM) != 0) {
        if (s) delete_qob_socket(s);
        end_input();
        return -1;
    }
    in_addr a{};
    int rc = net_resolve(net.host, &a);
    if (rc != 0) {
        char text[128];
        snprintf(text, sizeof text, "Cannot locate host %.80s", net.host);
        say(text);
        drop_socket(s);
        end_input();
        plat_message_box(text, "gethostbyname() failed.", MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }
    s->addr.sin_family = AF_INET;
    s->addr.sin_port = htons(net_settings.tcp_port);
    s->addr.sin_addr = a;
    if (connect(s->fd, (const sockaddr*)&s->addr, sizeof s->addr) == 0) {
        connected(s);
        return 0;
    }
    if (errno != EINPROGRESS) {
        connect_failed(s);
        return -1;
    }
    s->type |= QOBSOCKET_CONNECTING;
    if (watch(s, FDW_WRITE) != 0) {
        connect_failed(s);
        return -1;
    }
    say("Awaiting connection accept from server...", false);
    menu_changed();
    return 0;
}

void net_disconnect_server(bool offer_reconnect) {
    while (QobSocket* s = server_socket()) drop_socket(s);
    end_input();
    net.state &= ~NET_CONNECTED;
    net_settings.in_protocol = 0;
    say("Disconnected from server");
    menu_changed();
    if (!offer_reconnect || !net.host[0]) return;
    char text[128];
    snprintf(text, sizeof text, "Do you wish to reconnect to server>\n%.80s", net.host);
    if (plat_message_box(text, "Network Server Service", MB_YESNOCANCEL | MB_ICONQUESTION) == IDYES)
        net_connect_server(net.host);
}

// ---- the TCP server --------------------------------------------------------------------

// Before network output starts while serial output runs.
static int output_conflict() {
    if (!(zyr.IoFlags & IO_SERIAL_OUT)) return 0;
    if (plat_message_box("Serial Output already in progress.\nContinuing will switch it off.\nDo you wish to continue ?\n",
                         "Network Output", MB_YESNO) != IDYES)
        return 1;
    if (com_output_port >= 0) serial_close_direction(com_output_port, 2);
    zyr.IoFlags &= ~IO_SERIAL_OUT;
    return 0;
}

int net_client_count() { return count_qob_sockets(QOBSOCKET_CLIENT); }

int net_start_server() {
    if (net.state & (NET_LISTENING | NET_UDP_TX)) return -1;
    if (output_conflict() != 0) return -1;
    net_startup();
    if (alloc_output() != 0) return -1;
    QobSocket* s = create_qob_socket(QOBSOCKET_LISTEN_MSG);
    bool ok = s && open_socket(s, SOCK_STREAM) == 0 && bind_any(s, net_settings.tcp_port) == 0;
    if (ok && listen(s->fd, 5) != 0) {
        net_error_box(errno, "listen()");
        ok = false;
    }
    if (ok) ok = watch(s, FDW_READ) == 0;
    if (!ok) {
        drop_socket(s);
        free_output();
        menu_changed();
        return -1;
    }
    say("listening for client connection...");
    net.state |= NET_LISTENING;
    net_settings.out_protocol = NETP_TCP_SERVER;
    menu_changed();
    return 0;
}

void net_stop_server() {
    close_qob_sockets(QOBSOCKET_CLIENT | QOBSOCKET_LISTEN_MSG);
    if (!(net.state & NET_UDP_TX)) free_output();
    net.state &= ~NET_LISTENING;
    net_settings.out_protocol = 0;
    say("All client connections closed");
    menu_changed();
}

void net_close_client(QobSocket* s) {
    if (s) {
        drop_socket(s);
    } else {
        close_qob_sockets(QOBSOCKET_CLIENT);
    }
    menu_changed();
}

static void name_client(QobSocket* c) {
    char host[NI_MAXHOST];
    plat_busy(true);
    int rc = getnameinfo((const sockaddr*)&c->addr, sizeof c->addr, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    plat_busy(false);
    if (rc != 0) {
        const uint8_t* b = (const uint8_t*)&c->addr.sin_addr;
        snprintf(host, sizeof host, "%2d.%2d.%2d.%2d", b[0], b[1], b[2], b[3]);
    }
    size_t n = strlen(host) + 1;
    c->name = (char*)QOBmalloc(n);
    if (c->name) memcpy(c->name, host, n);
}

void net_accept_message(int fd, int event, int err) {
    (void)event;
    if (err) {
        plat_unwatch_fd(fd);
        plat_message_box("accept()", "Error occured!", MB_OK | MB_ICONEXCLAMATION);
        say("Listening for clients cancelled");
        return;
    }
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int c = accept4(fd, (sockaddr*)&peer, &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (c < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
            net_error_box(errno, "accept()");
        return;
    }
    QobSocket* r = net_client_count() < NET_MAX_CLIENTS ? create_qob_socket(QOBSOCKET_CLIENT) : nullptr;
    if (!r) {
        close(c);
        char text[80];
        snprintf(text, sizeof text, "Remote client connect failed. Max clients %d exceeded", NET_MAX_CLIENTS);
        say(text);
        return;
    }
    r->fd = c;
    r->addr = peer;
    if (watch(r, FDW_READ) != 0) {
        drop_socket(r);
        return;
    }
    name_client(r);
    char text[128];
    snprintf(text, sizeof text, "Client %.80s connected", r->name ? r->name : "no-name");
    say(text);
    menu_changed();
}

// ---- UDP ---------------------------------------------------------------------------

// The transmitter's destination: the output entry's host when one is
// given, else the broadcast address; the UDP port.
static int udp_destination() {
    memset(&net.udp_dest, 0, sizeof net.udp_dest);
    net.udp_dest.sin_family = AF_INET;
    net.udp_dest.sin_port = htons(net_settings.udp_port);
    net.udp_dest.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    if (!net_settings.udp_host[0]) return 0;
    int rc = net_resolve(net_settings.udp_host, &net.udp_dest.sin_addr);
    if (rc == 0) return 0;
    char text[128];
    snprintf(text, sizeof text, "Cannot locate host %.80s", net_settings.udp_host);
    say(text);
    plat_message_box(text, "gethostbyname() failed.", MB_OK | MB_ICONEXCLAMATION);
    return -1;
}

int net_udp_transmit_open() {
    if (net.state & (NET_UDP_TX | NET_LISTENING)) return -1;
    if (output_conflict() != 0) return -1;
    net_startup();
    if (alloc_output() != 0) return -1;
    QobSocket* s = udp_destination() == 0 ? create_qob_socket(QOBSOCKET_CLIENT_UDP) : nullptr;
    bool ok = s && open_socket(s, SOCK_DGRAM) == 0;
    if (ok) {
        int one = 1;
        setsockopt(s->fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        ok = bind_any(s, net_settings.udp_port) == 0 && watch(s, FDW_READ) == 0;
    }
    if (!ok) {
        drop_socket(s);
        free_output();
        menu_changed();
        return -1;
    }
    say("UDP transmit service opened");
    net.state |= NET_UDP_TX;
    net_settings.out_protocol = NETP_UDP_TX;
    menu_changed();
    return 0;
}

void net_udp_transmit_close() {
    close_qob_sockets(QOBSOCKET_CLIENT_UDP);
    if (!(net.state & NET_LISTENING)) free_output();
    net.state &= ~NET_UDP_TX;
    net_settings.out_protocol = 0;
    say("UDP transmit service closed");
    menu_changed();
}

int net_udp_receive_open() {
    if (const char* why = net_udp_receive_refusal()) {
        say(why);
        return -1;
    }
    if (input_conflict_check(IO_NET_IN) != 0) return -1;
    net_startup();
    if (alloc_input() != 0) return -1;
    QobSocket* s = create_qob_socket(QOBSOCKET_SERVER_UDP);
    bool ok = s && open_socket(s, SOCK_DGRAM) == 0 && bind_any(s, net_settings.udp_port) == 0 && watch(s, FDW_READ) == 0;
    if (!ok) {
        drop_socket(s);
        end_input();
        menu_changed();
        return -1;
    }
    net.in_fd = s->fd;
    say("UDP receive service opened");
    net.state |= NET_UDP_RX;
    net_settings.in_protocol = NETP_UDP_RX;
    menu_changed();
    return 0;
}

void net_udp_receive_close() {
    close_qob_sockets(QOBSOCKET_SERVER_UDP);
    end_input();
    net.state &= ~NET_UDP_RX;
    net_settings.in_protocol = 0;
    say("UDP receive service closed");
    menu_changed();
}

// ---- shutdown ------------------------------------------------------------------------

static void shut_everything() {
    for (QobSocket* s : sock_table.slot)
        if (s && s->fd >= 0) plat_unwatch_fd(s->fd);
    sock_table_reset();
    free_input();
    free_output();
    net.state = 0;
    net.started = false;
    net_settings.in_protocol = net_settings.out_protocol = 0;
}

void net_shutdown(bool ask) {
    if (ask && !net.started) {
        plat_message_box("No ZYR Net services started", "Shutdown", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (ask && plat_message_box("Shutdown will stop all ZYR net services\nand disconnect all TCP clients.\n\nDo you wish "
                                "to continue?",
                                "Shutdown", MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    if (!net.started) return;
    shut_everything();
    say("ZYR network shut down OK", ask);
    menu_changed();
}

// ---- socket events ---------------------------------------------------------------------

static const char* name_of(const QobSocket* s) { return s && s->name ? s->name : "no-name"; }

static void client_failed_event(QobSocket* s, int err) {
    debug_printf("ERROR %d: now disconnecting remote client <%s>...", err, name_of(s));
    net_close_client(s);
}

static void error_event(QobSocket* s, int err) {
    debug_printf("case_wsa_read() ERROR %d", err);
    if (!s) return say("WSA_READ Error on unknown socket");
    if (s->type & QOBSOCKET_CLIENT) return client_failed_event(s, err);
    if (s->type & QOBSOCKET_CONNECTING) return connect_failed(s);
    if (s->type & QOBSOCKET_SERVER) {
        debug_printf("ERROR %d: now disconnecting from remote server <%s>...", err, net.host);
        return net_disconnect_server(true);
    }
    if (s->type & QOBSOCKET_SERVER_UDP) {
        debug_printf("ERROR %d: now stopping UDP receive service <%s>...", err, name_of(s));
        return net_udp_receive_close();
    }
    if (s->type & QOBSOCKET_CLIENT_UDP) {
        debug_printf("ERROR %d: now stopping UDP transmit service <%s>...", err, name_of(s));
        return net_udp_transmit_close();
    }
    say("WSA_READ Error on unknown socket");
}

// The server went away: the box, then the offer to connect again, which an
// operator who lost the stream wants at once.
static void server_closed() {
    say("Remote server disconnected");
    net_disconnect_server(false);
    plat_message_box("Remote server disconnected", "Network", MB_OK | MB_ICONEXCLAMATION);
    char text[128];
    snprintf(text, sizeof text, "Do you wish to reconnect to server>\n%.80s", net.host);
    if (net.host[0] && plat_message_box(text, "Network Server Service", MB_YESNOCANCEL | MB_ICONQUESTION) == IDYES)
        net_connect_server(net.host);
}

static void close_event(QobSocket* s) {
    if (s && (s->type & QOBSOCKET_CLIENT)) {
        char text[128];
        if (s->name) snprintf(text, sizeof text, "Remote client %.80s disconnected", s->name);
        else snprintf(text, sizeof text, "Remote client 'no-name' disconnected");
        net_close_client(s);
        return say(text);
    }
    if (s && (s->type & QOBSOCKET_SERVER)) return server_closed();
    say("WSA_READ on unknown socket");
}

static void read_event(int fd, QobSocket* s) {
    if (!s) {
        say("Invalid socket detected reading data", false);
        return;
    }
    if (s->type & QOBSOCKET_CLIENT) {
        say("message received from TCPIP client", false);
    } else if (!(s->type & (QOBSOCKET_SERVER | QOBSOCKET_SERVER_UDP | QOBSOCKET_CLIENT_UDP))) {
        say("bytes received from unknown source");
    }
    (void)fd;
    net_read(s);
}

void case_wsa_read(int fd, int event, int err) {
    QobSocket* s = find_qob_socket(fd);
    if (err) return error_event(s, err);
    switch (event) {
    case FD_READ: return read_event(fd, s);
    case FD_CONNECT:
        if (s && (s->type & QOBSOCKET_CONNECTING)) connected(s);
        return;
    case FD_CLOSE: return close_event(s);
    default: say("WSA_READ unknown event"); return;
    }
}

// ---- page 0 ------------------------------------------------------------------------------

static void apply_entries(const NetEntry* in, const NetEntry* out) {
    NetSettings& n = net_settings;
    n.tcp_port = in->tcpportno ? in->tcpportno : out->tcpportno;
    n.udp_port = in->udpportno ? in->udpportno : out->udpportno;
    if (in->bufsize) net_set_in_bufsize(in->bufsize);
    if (out->bufsize) n.out_bufsize = out->bufsize < NET_OUT_BUFSIZE_MIN ? NET_OUT_BUFSIZE_MIN
                                      : out->bufsize > NET_IN_BUFSIZE_MAX ? NET_IN_BUFSIZE_MAX : out->bufsize;
    snprintf(n.server, sizeof n.server, "%.*s", (int)sizeof in->host, in->host);
    snprintf(n.udp_host, sizeof n.udp_host, "%.*s", (int)sizeof out->host, out->host);
    net_apply_entries(in->protocol, out->protocol);
}

void net_apply_entries(uint32_t in_protocol, uint32_t out_protocol) {
    NetSettings& n = net_settings;
    n.in_protocol = (in_protocol & 0x20) ? NETP_TCP_CLIENT : (in_protocol & 0x80) ? NETP_UDP_RX : 0;
    n.out_protocol = (out_protocol & 0x08) ? NETP_TCP_SERVER : (out_protocol & 0x40) ? NETP_UDP_TX : 0;
    net_mark_saved();
    if (net.restored) return;
    net.restored = true;
    uint32_t want_in = n.in_protocol, want_out = n.out_protocol;
    n.in_protocol = n.out_protocol = 0;   // until the services run again
    if (n.server[0] && net_hooks.remember_server) net_hooks.remember_server(n.server);
    if (want_in == NETP_TCP_CLIENT && n.server[0]) {
        char text[128];
        snprintf(text, sizeof text, "Do you wish to reconnect to server>\n%.80s", n.server);
        snprintf(net.host, sizeof net.host, "%s", n.server);
        if (plat_message_box(text, "Network Server Service", MB_YESNO | MB_ICONQUESTION) == IDYES)
            net_connect_server(n.server);
    }
    if (want_in == NETP_UDP_RX) net_udp_receive_open();
    if (want_out == NETP_TCP_SERVER) net_start_server();
    if (want_out == NETP_UDP_TX) net_udp_transmit_open();
}

// ---- wiring --------------------------------------------------------------------------------

static void (*g_next_byte_services)();

// Every pass, after the services registered before (the serial driver's).
static void byte_services() {
    if (g_next_byte_services) g_next_byte_services();
    net_byte_services();
    if (net.in_draining && net_in_fill() == 0) {
        free_input();
        menu_changed();
    }
}

static int byte_source_read(void*) { return net_get_byte(); }
static int byte_source_take(void*, uint8_t* dst, int n) { return net_get_bytes(dst, n); }

// Another input source takes over: what the ring holds goes with it.
static void close_input() {
    if (net.state & NET_UDP_RX) net_udp_receive_close();
    if (server_socket()) net_disconnect_server(false);
    free_input();
}

static bool is_udp() {
    if (zyr.IoFlags & IO_NET_IN) return (net.state & NET_UDP_RX) != 0;
    return (net.state & NET_UDP_TX) != 0;
}

static void exit_shutdown() { net_shutdown(false); }

void network_register() {
    if (cycle_hooks.byte_services != byte_services) {
        g_next_byte_services = cycle_hooks.byte_services;
        cycle_hooks.byte_services = byte_services;
    }
    ByteSource src{};
    src.read_byte = byte_source_read;
    src.take = byte_source_take;
    packet_set_source(PSRC_NETWORK, &src);
    input_hooks.network_close_input = close_input;
    input_hooks.network_is_udp = is_udp;
    startup_hooks.network_shutdown = exit_shutdown;
    page_hooks.apply_network = apply_entries;
    sock_table_emptied = table_emptied;
}

void network_reset() {
    shut_everything();
    memset(&net, 0, sizeof net);
    net.in_fd = -1;
    net_hooks = NetHooks{};
    g_next_byte_services = nullptr;
    sock_table_emptied = nullptr;
}
