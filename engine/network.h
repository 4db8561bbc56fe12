// The network services on POSIX sockets: a TCP client that receives the
// stream from a server, a TCP server that sends the echoed stream to up to
// 64 clients, a UDP receiver and a UDP transmitter. Every socket is
// non-blocking; readiness comes through the platform's descriptor watch and
// is turned into the socket events (accept, read, connect, close, error)
// that the two message handlers take, on the window thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>

#include "engine/netsock.h"

// Network state bits.
enum : uint32_t {
    NET_LISTENING = 0x1,
    NET_CONNECTED = 0x2,
    NET_UDP_TX = 0x4,
    NET_UDP_RX = 0x8,
};

// Socket events and the two window messages that carry them.
enum : int { FD_READ = 0x01, FD_WRITE = 0x02, FD_ACCEPT = 0x08, FD_CONNECT = 0x10, FD_CLOSE = 0x20 };
constexpr int WM_NET_ACCEPT = 0x400;
constexpr int WM_NET_SOCKET = 0x401;

constexpr uint32_t NET_GATHER_MS = 50;        // small amounts wait this long for more
constexpr int NET_OUT_ENDS = 4096;            // message ends remembered in the output ring
constexpr uint32_t NET_READ_REPORT_MS = 1000; // read errors reported at most this often

// Protocol bits of the saved network entries.
constexpr uint32_t NETP_TCP_CLIENT = 0x10020;
constexpr uint32_t NETP_UDP_RX = 0x20080;
constexpr uint32_t NETP_TCP_SERVER = 0x10008;
constexpr uint32_t NETP_UDP_TX = 0x20040;

// Statistics of zyr_stats (byte offsets) kept by the network services; the
// read and chunk sizes and ring fills are the shared ST_RX_* / ST_TX_*.
enum : unsigned {
    ST_NET_CLIENT_DROPPED = 320,  // bytes that clients could not take
    ST_NET_READ_ERRS = 324,
    ST_NET_RING_FULL = 328,       // reads held back by a full input ring
    ST_NET_UDP_TRUNCATED = 332,   // bytes of datagrams longer than a chunk
    ST_NET_OUT_REFUSED = 336,     // bytes the full output ring refused
    ST_NET_DISCARDED = 340,       // bytes clients sent to the server (not input)
};

struct NetState {
    bool started;                 // the socket layer is up
    uint32_t state;               // NET_*
    // input side (IoFlags 0x20000)
    uint8_t* in_ring;             // NB bytes
    uint8_t* in_chunk;            // NB/2
    uint32_t in_size, in_put, in_get, in_target;
    int in_fd;                    // the socket that feeds the ring, -1 none
    bool in_paused;               // its read watch is off while the ring is full
    bool in_draining;             // the socket is gone; the ring is read to its end
    uint32_t last_read_report_ms;
    bool read_reported;
    // output side (IoFlags 0x40000)
    uint8_t* out_ring;            // NO bytes
    uint8_t* out_chunk;           // NO/4
    uint32_t out_size, out_put, out_get;
    // Where the messages put into the ring end (ring positions, oldest
    // first), so that a chunk is cut between messages whenever it can be.
    uint32_t out_ends[NET_OUT_ENDS];
    uint32_t ends_first, ends_count;
    bool out_aligned;             // the byte at out_get starts a message
    uint32_t last_send_ms;
    sockaddr_in udp_dest;         // where the UDP transmitter sends
    char host[81];                // the server being connected to
    bool restored;                // the saved services were brought back
};
extern NetState net;

// What the operator interface provides to the services.
struct NetHooks {
    void (*menu_changed)();                   // the greying follows the state
    void (*remember_server)(const char* name);  // the "&1 " item
};
extern NetHooks net_hooks;

// ---- rings -------------------------------------------------------------------------

uint32_t net_in_fill();
uint32_t net_out_fill();
int net_get_byte();
int net_get_bytes(uint8_t* dst, int n);
// Puts one message (a packet, a command) into the output ring, whole or
// not at all (counted as refused): the count taken, len or 0.
int net_put(const uint8_t* p, int len);
// Reads what the socket has into the input ring (a read event).
void net_read(QobSocket* s);
// Sends a chunk of the output ring to the clients and the UDP transmitter
// (each cycle while network output is on).
void net_output_service();
// Each pass: reading goes on when a full ring has room again; the output
// service.
void net_byte_services();
// A chunk to each client (0x10) and the UDP transmitter (0x40) of type,
// in slot order; the first UDP socket ends the round. starts: the chunk
// begins with a message. A client keeps what it cannot take now for its
// next turn; while it still holds some, a chunk is lost to it whole
// (counted), and it goes on at the next chunk that starts a message, so
// what it receives is whole messages. One whose socket fails is closed.
void send_all_qob_sockets(uint32_t type, const uint8_t* buf, int len, bool starts = true);

// ---- events ------------------------------------------------------------------------

// The platform's readiness of a socket, turned into its event.
void net_fd_ready(int fd, unsigned ready);
// Message 0x400: the listening socket.
void net_accept_message(int fd, int event, int err);
// Message 0x401: every other socket.
void case_wsa_read(int fd, int event, int err);

// ---- services ----------------------------------------------------------------------

// host null: the remembered server. 0 when connecting or connected.
int net_connect_server(const char* host);
void net_disconnect_server(bool offer_reconnect);
int net_start_server();
void net_stop_server();
// Closes one client (its record) or, with null, all of them.
void net_close_client(QobSocket* s);
int net_udp_transmit_open();
void net_udp_transmit_close();
int net_udp_receive_open();
void net_udp_receive_close();
// Shutdown from the menu (asks first) or at exit (ask false).
void net_shutdown(bool ask);
int net_client_count();
// The refusals of the two input services: a text for the message line, or
// null when the service may start.
const char* net_connect_refusal();
const char* net_udp_receive_refusal();

// Port number text: a number other than 0, else a tcp service name. 0 with
// the port in *port, or -1 (the box and the message line were shown).
int fill_port_no(const char* text, uint16_t* port);
// Resolves a host text (dotted or a name) to an IPv4 address: 0, or the
// resolver's EAI_* code.
int net_resolve(const char* host, in_addr* out);

// Page 0: the ports, sizes and hosts of the saved entries, then the
// services that were running (once, at start).
void net_apply_entries(uint32_t in_protocol, uint32_t out_protocol);

void network_register();
void network_reset();
