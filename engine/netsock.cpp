// The socket table: slots searched cyclically forward on create and
// backward on delete, so a record freed last is the one found first; and
// the error texts of the network error box.
#include "engine/netsock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <netdb.h>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "platform/ui.h"

SocketTable sock_table = {{}, NET_SOCKETS, 0, 0};
void (*sock_table_emptied)();

void sock_table_reset() {
    for (QobSocket*& s : sock_table.slot) {
        if (s) {
            if (s->fd >= 0) close(s->fd);
            QOBfree(s->name);
            QOBfree(s);
        }
        s = nullptr;
    }
    sock_table.free_count = NET_SOCKETS;
    sock_table.alloc_count = 0;
    sock_table.next_free = 0;
}

QobSocket* create_qob_socket(uint32_t type) {
    SocketTable& t = sock_table;
    if (t.free_count <= 0) {
        debug_printf("create_qob_socket() failed, no free sockets");
        return nullptr;
    }
    if (t.free_count == NET_SOCKETS) sock_table_reset();
    auto* s = (QobSocket*)QOBmalloc(sizeof(QobSocket));
    if (!s) {
        debug_printf("ERROR alloc_qob_socket() couldn't create socket");
        return nullptr;
    }
    memset(s, 0, sizeof *s);
    s->fd = -1;
    s->type = type;
    t.slot[t.next_free] = s;
    t.free_count--;
    t.alloc_count++;
    for (int i = 1; i <= NET_SOCKETS && t.free_count > 0; i++) {
        int k = (t.next_free + i) % NET_SOCKETS;
        if (!t.slot[k]) {
            t.next_free = k;
            break;
        }
    }
    return s;
}

void free_qob_socket(QobSocket* s) {
    if (!s) {
        debug_printf("ERROR free_qob_socket() NULL pointer");
        return;
    }
    QOBfree(s->name);
    QOBfree(s->backlog);
    QOBfree(s);
}

void delete_qob_socket(QobSocket* s) {
    SocketTable& t = sock_table;
    for (int i = 0; i < NET_SOCKETS; i++) {
        int k = (t.next_free - i + NET_SOCKETS) % NET_SOCKETS;
        if (t.slot[k] != s || !s) continue;
        free_qob_socket(s);
        t.slot[k] = nullptr;
        t.next_free = k;
        t.free_count++;
        t.alloc_count--;
        if (t.free_count == NET_SOCKETS && sock_table_emptied) sock_table_emptied();
        return;
    }
    debug_printf("delete_qob_socket() fail %d sock_alloc_cnt %d\n", s ? s->fd : -1, t.alloc_count);
}

void close_qob_sockets(uint32_t type) {
    for (QobSocket* s : sock_table.slot) {
        if (!s || !(s->type & type)) continue;
        if (s->fd >= 0) {
            plat_unwatch_fd(s->fd);
            close(s->fd);
        }
        delete_qob_socket(s);
    }
}

int count_qob_sockets(uint32_t type) {
    int n = 0;
    for (const QobSocket* s : sock_table.slot)
        if (s && (s->type & type)) n++;
    return n;
}

QobSocket* find_qob_socket(int fd) {
    if (fd < 0) return nullptr;
    for (QobSocket* s : sock_table.slot)
        if (s && s->fd == fd) return s;
    return nullptr;
}

QobSocket* find_qob_client(const char* name) {
    bool all = name && strcmp(name, "ALL_CLIENTS") == 0;
    for (QobSocket* s : sock_table.slot) {
        if (!s || !(s->type & QOBSOCKET_CLIENT)) continue;
        if (all || (name && s->name && strcmp(s->name, name) == 0)) return s;
    }
    return nullptr;
}

QobSocket* nth_qob_socket(uint32_t type, int n) {
    for (QobSocket* s : sock_table.slot)
        if (s && (s->type & type) && n-- == 0) return s;
    return nullptr;
}

// ---- errors -------------------------------------------------------------------

struct NetErrorText {
    int err;          // errno
    int wsa;          // the Windows Sockets code of the same meaning
    const char* text;
};

// One row per system error number that a socket call can give.
static const NetErrorText kNetErrors[] = {
    {EINTR, 10004, "Blocking call cancelled"},
    {EFAULT, 10014, "Invalid message pointer"},
    {EACCES, 10013, "Broadcast address flag not set"},
    {EINVAL, 10022, "V1.1 Socket already in use"},
    {EISCONN, 10056, "V1.1 Socket already in use"},
    {ENETDOWN, 10050, "Network subsystem failed"},
    {EINPROGRESS, 10036, "Blocking operation in progress"},
    {EALREADY, 10037, "Blocking operation in progress"},
    {ENETRESET, 10052, "Connection must be reset"},
    {ENOBUFS, 10055, "Buffer deadlock"},
    {ENOMEM, 10055, "Buffer deadlock"},
    {ENOTCONN, 10057, "Not connected"},
    {ENOTSOCK, 10038, "invalid socket"},
    {EBADF, 10038, "invalid socket"},
    {EOPNOTSUPP, 10045, "MSG_OOB not SOCK_STREAM"},
    {ESHUTDOWN, 10058, "Socket shutdown"},
    {EPIPE, 10058, "Socket shutdown"},
    {EAGAIN, 10035, "Non-blocking on blocked socket"},
    {EMSGSIZE, 10040, "Message too long for datagram"},
    {ECONNABORTED, 10053, "Aborted due to timeout or other"},
    {ETIMEDOUT, 10060, "Aborted due to timeout or other"},
    {ECONNRESET, 10054, "Connection reset by remote"},
    {EADDRINUSE, 10048, "Address already in use"},
    {EADDRNOTAVAIL, 10049, "Address family not supported"},
    {EAFNOSUPPORT, 10047, "Address family not supported"},
    {ENETUNREACH, 10051, "Network not ready"},
    {EHOSTUNREACH, 10065, "Network not ready"},
    {EMFILE, 10024, "Buffer deadlock"},
};

static const NetErrorText kResolverErrors[] = {
    {EAI_NONAME, 11001, "host not found"},
    {EAI_AGAIN, 11002, "Try again, server fail ?"},
    {EAI_FAIL, 11003, "Unrecoverable error"},
    {EAI_NODATA, 11004, "No data record of req'd type"},
    {EAI_ADDRFAMILY, 11004, "No data record of req'd type"},
    {EAI_FAMILY, 10047, "Address family not supported"},
    {EAI_MEMORY, 10055, "Buffer deadlock"},
};

static const char* find_text(const NetErrorText* rows, size_t n, int err, int* wsa) {
    for (size_t i = 0; i < n; i++)
        if (rows[i].err == err) {
            if (wsa) *wsa = rows[i].wsa;
            return rows[i].text;
        }
    if (wsa) *wsa = err;
    return "Unrecognised WSA error";
}

const char* net_error_text(int err, int* wsa_code) {
    return find_text(kNetErrors, std::size(kNetErrors), err, wsa_code);
}

const char* net_resolver_text(int eai, int* wsa_code) {
    return find_text(kResolverErrors, std::size(kResolverErrors), eai, wsa_code);
}

void net_error_line(int err, const char* call, char* out, size_t cap) {
    int code = 0;
    const char* text = net_error_text(err, &code);
    snprintf(out, cap, "WSA Net Error %6d: %s %s", code, text, call);
}

void net_error_box(int err, const char* call) {
    char line[160];
    net_error_line(err, call, line, sizeof line);
    debug_printf("%s (errno %d)", line, err);
    plat_message_box(line, "Network Error", MB_OK | MB_ICONEXCLAMATION);
}
