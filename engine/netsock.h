// The socket table of the network services: 66 slots of socket records,
// created zeroed and found again by handle, type or client name, and the
// texts of the network error box for the system's error numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>

constexpr int NET_SOCKETS = 66;
constexpr int NET_MAX_CLIENTS = 64;

// Type bits of a socket record.
enum : uint32_t {
    QOBSOCKET_LISTEN_MSG = 0x08,    // the server's listening socket
    QOBSOCKET_CLIENT = 0x10,        // a client accepted by the server
    QOBSOCKET_SERVER = 0x20,        // the connection to a remote server
    QOBSOCKET_CLIENT_UDP = 0x40,    // the UDP transmit socket
    QOBSOCKET_SERVER_UDP = 0x80,    // the UDP receive socket
    QOBSOCKET_CONNECTING = 0x100,   // a connection to a server awaits acceptance
};

struct QobSocket {
    int fd;                         // -1 none
    sockaddr_in addr;               // family, port, IPv4 address
    char* name;                     // peer name (pool), accepted clients only
    uint32_t type;                  // QOBSOCKET_*
    uint32_t dropped;               // bytes this client could not take
    bool short_logged;              // a short send was logged since its last whole send
    // A client's stream holds whole messages only: the tail of a chunk it
    // could not take now waits here (pool, a chunk's size) and goes first;
    // a chunk that comes while it waits is lost whole, and the client then
    // waits for a chunk that starts a message.
    uint8_t* backlog;
    uint32_t backlog_len, backlog_off;
    bool aligned;                   // the client's stream stands at a message start
    bool joined;                    // it has been sent something
};

struct SocketTable {
    QobSocket* slot[NET_SOCKETS];
    int free_count;                 // NET_SOCKETS when empty
    int alloc_count;
    int next_free;
};
extern SocketTable sock_table;

// Called when the table becomes empty (the services' menu state).
extern void (*sock_table_emptied)();

void sock_table_reset();
// A zeroed record of the type in the next free slot, or null (logged).
QobSocket* create_qob_socket(uint32_t type);
// Frees the record and its slot; the descriptor is the caller's.
void delete_qob_socket(QobSocket* s);
void free_qob_socket(QobSocket* s);
// Closes every socket whose type has one of the bits and deletes its record.
void close_qob_sockets(uint32_t type);
int count_qob_sockets(uint32_t type);
QobSocket* find_qob_socket(int fd);
// A client by name; "ALL_CLIENTS" gives the first client.
QobSocket* find_qob_client(const char* name);
// The n-th record (0-based, slot order) with one of the type bits, or null.
QobSocket* nth_qob_socket(uint32_t type, int n);

// ---- errors -------------------------------------------------------------------

// The text of the network error box for a system error number (errno), and
// the number the box shows: the Windows Sockets code of the same meaning,
// so that the box reads as the operators know it.
const char* net_error_text(int err, int* wsa_code);
// The same for a resolver failure (getaddrinfo's EAI_* codes).
const char* net_resolver_text(int eai, int* wsa_code);
// "WSA Net Error %6d: <text> <call>" into out.
void net_error_line(int err, const char* call, char* out, size_t cap);
// The box "Network Error" with that line.
void net_error_box(int err, const char* call);
