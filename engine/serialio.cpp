// Moving bytes: the input ring filled from the input port each pass and
// read by the synchroniser, the output ring drained through 16 write slots
// on the non-blocking descriptor, the timeout watchdog, and the handling
// of a device that went away.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "core/page.h"
#include "core/state.h"
#include "engine/input.h"
#include "engine/serial.h"

extern bool serial_quiet;

static bool device_gone(int err) { return err == EIO || err == ENXIO || err == ENODEV || err == EBADF || err == EPIPE; }

// The device went away (an adapter pulled, the other end of a
// pseudo-terminal closed): the handle is dropped, the port stays wanted,
// and the loss is reported once; the watchdog reopens it when it is back.
static void device_lost(int port, const char* call, int err) {
    ComPort& cp = serial.port[port];
    if (cp.fd >= 0) {
        close(cp.fd);
        cp.fd = -1;
    }
    if (cp.lost) return;
    cp.lost = true;
    cp.lost_in = serial.r.in_port == port;
    cp.lost_out = serial.r.out_port == port;
    cp.retry_secs = zyr.zyr_secs;
    if (err) debug_printf("!! COM%d %s lost: %s() errno %d !!", port + 1, cp.path, call, err);
    else debug_printf("!! COM%d %s lost: %s() hang-up !!", port + 1, cp.path, call);
    char text[128];
    snprintf(text, sizeof text, "COM%d lost, waiting for %.60s", port + 1, cp.path);
    zyr_message(text, MSG_TIME | MSG_BEEP);
    zyr.SystemFlags |= SF_SERIAL_CHANGED;
}

// A lost device is tried again; on success reading and writing go on
// where they stopped, with the rings and settings kept.
static void retry_lost(int port) {
    ComPort& cp = serial.port[port];
    const ComSettings& s = com_settings[port];
    serial_quiet = true;
    int rc = com_open(port, s.baud, s.stop, s.parity, s.data, s.bufsize);
    serial_quiet = false;
    if (rc != 0) return;
    cp.lost = cp.lost_in = cp.lost_out = false;
    cp.in_check_secs = cp.out_check_secs = zyr.zyr_secs;
    cp.in_bytes_at_check = serial.stat[port].bytes_read;
    cp.out_bytes_at_check = serial.stat[port].bytes_written;
    debug_printf("COM%d %s open again", port + 1, cp.path);
    char text[80];
    snprintf(text, sizeof text, "COM%d open again", port + 1);
    zyr_message(text, MSG_TIME);
    zyr.SystemFlags |= SF_SERIAL_CHANGED;
}

// ---- input ---------------------------------------------------------------------

uint32_t serial_in_fill() {
    const SerialRings& r = serial.r;
    if (!r.in_ring) return 0;
    return r.in_put >= r.in_get ? r.in_put - r.in_get : r.in_put + r.in_size - r.in_get;
}

static void ring_store(const uint8_t* p, uint32_t n) {
    SerialRings& r = serial.r;
    uint32_t first = r.in_size - r.in_put;
    if (first > n) first = n;
    memcpy(r.in_ring + r.in_put, p, first);
    memcpy(r.in_ring, p + first, n - first);
    r.in_put = (r.in_put + n) % r.in_size;
}

void serial_read_pass() {
    SerialRings& r = serial.r;
    if (!(zyr.IoFlags & IO_SERIAL_IN) || !r.in_ring || r.in_port < 0) return;
    int p = r.in_port;
    ComPort& cp = serial.port[p];
    ComStatus& st = serial.stat[p];
    if (cp.fd < 0) {
        st.status |= CS_READ_WAIT;
        return;
    }
    uint32_t half = r.in_size / 2;
    for (;;) {
        uint32_t fill = serial_in_fill();
        if (fill >= r.in_target) {
            zyr_stat(ST_SER_RING_FULL)++;   // the rest waits in the kernel's queue
            break;
        }
        uint32_t ask = r.in_target - fill;
        if (ask > half) ask = half;
        st.status |= CS_READ_WAIT;
        ssize_t n = read(cp.fd, r.in_chunk, ask);
        if (n > 0) {
            st.status &= ~(uint32_t)CS_READ_WAIT;
            ring_store(r.in_chunk, (uint32_t)n);
            st.bytes_read += (uint32_t)n;
            zyr_stat(ST_RX_BLOCK) = (uint32_t)n;
            if ((uint32_t)n > zyr_stat(ST_RX_BLOCK_MAX)) zyr_stat(ST_RX_BLOCK_MAX) = (uint32_t)n;
            if ((uint32_t)n < ask / 8) break;   // drained
            continue;
        }
        if (n == 0) {
            device_lost(p, "read", 0);   // hang-up
            break;
        }
        int e = errno;
        if (e == EAGAIN || e == EWOULDBLOCK || e == EINTR) break;
        if (device_gone(e)) {
            device_lost(p, "read", e);
            break;
        }
        zyr_stat(ST_SER_READ_ERR) = (uint32_t)e;
        zyr_stat(ST_SER_READ_ERRS)++;
        st.status &= ~(uint32_t)(CS_READ_PENDING | CS_READ_PENDING2);
        break;
    }
    uint32_t fill = serial_in_fill();
    if (fill) zyr_stat(ST_RX_FILL) = (uint32_t)((uint64_t)fill * 1024 / r.in_size);
}

int serial_get_byte() {
    SerialRings& r = serial.r;
    if (!r.in_ring) return -1;
    if (r.in_put == r.in_get) serial_read_pass();
    if (!r.in_ring || r.in_put == r.in_get) return -1;
    uint8_t b = r.in_ring[r.in_get];
    r.in_get = (r.in_get + 1) % r.in_size;
    return b;
}

int serial_get_bytes(uint8_t* dst, int n) {
    SerialRings& r = serial.r;
    if (!r.in_ring || n <= 0) return 0;
    if (r.in_put == r.in_get) serial_read_pass();
    if (!r.in_ring) return 0;
    uint32_t fill = serial_in_fill();
    uint32_t k = (uint32_t)n < fill ? (uint32_t)n : fill;
    uint32_t first = r.in_size - r.in_get;
    if (first > k) first = k;
    memcpy(dst, r.in_ring + r.in_get, first);
    memcpy(dst + first, r.in_ring, k - first);
    r.in_get = (r.in_get + k) % r.in_size;
    return (int)k;
}

// ---- output --------------------------------------------------------------------

uint32_t serial_out_fill() {
    const SerialRings& r = serial.r;
    if (!r.out_ring) return 0;
    return r.out_put >= r.out_get ? r.out_put - r.out_get : r.out_put + r.out_size - r.out_get;
}

int serial_put(const uint8_t* p, int len) {
    SerialRings& r = serial.r;
    if (!(zyr.IoFlags & IO_SERIAL_OUT) || !r.out_ring) return -1;
    for (int i = 0; i < len; i++) {
        uint32_t next = (r.out_put + 1) % r.out_size;
        if (next == r.out_get) {
            zyr_stat(ST_SER_OUT_REFUSED) += (uint32_t)(len - i);
            return -2;
        }
        r.out_ring[r.out_put] = p[i];
        r.out_put = next;
    }
    return 0;
}

static void write_error(int port, int e) {
    zyr_stat(ST_SER_WRITE_ERR) = (uint32_t)e;
    zyr_stat(ST_SER_WRITE_ERRS)++;
    (void)port;
}

static void slot_done(int s) {
    WriteSlot& w = serial.r.slot[s];
    if (w.pending && zyr_stat(ST_SER_OUTSTANDING) > 0) zyr_stat(ST_SER_OUTSTANDING)--;
    w.pending = false;
    w.len = w.done = 0;
    zyr_stat(ST_SER_SLOT_MASK) &= ~(1u << s);
}

// The oldest pending slot, or -1.
static int oldest_pending() {
    int best = -1;
    for (int s = 0; s < SERIAL_SLOTS; s++) {
        const WriteSlot& w = serial.r.slot[s];
        if (w.pending && (best < 0 || (int32_t)(w.seq - serial.r.slot[best].seq) < 0)) best = s;
    }
    return best;
}

// Writes pending slots in the order they were issued, until the device
// takes no more; bytes never overtake each other.
static void drain_slots() {
    SerialRings& r = serial.r;
    if (r.out_port < 0) return;
    int port = r.out_port;
    ComPort& cp = serial.port[port];
    for (;;) {
        if (cp.fd < 0) return;
        int s = oldest_pending();
        if (s < 0) return;
        WriteSlot& w = r.slot[s];
        ssize_t n = write(cp.fd, w.bytes + w.done, (size_t)(w.len - w.done));
        if (n > 0) {
            w.done += (int)n;
            serial.stat[port].bytes_written += (uint32_t)n;
            if (w.done < w.len) return;   // the device's queue is full
            slot_done(s);
            continue;
        }
        int e = n == 0 ? EAGAIN : errno;
        if (e == EAGAIN || e == EWOULDBLOCK || e == EINTR) return;
        if (device_gone(e)) {
            device_lost(port, "write", e);
            return;
        }
        debug_printf("3.2 IO_fail %d %lu %d", w.done, (unsigned long)e, s);
        write_error(port, e);
        zyr_stat(ST_SER_OUT_REFUSED) += (uint32_t)(w.len - w.done);
        slot_done(s);
    }
}

int serial_slot_complete(int s) {
    if (s < 0 || s >= SERIAL_SLOTS) return 0;
    SerialRings& r = serial.r;
    if (!(zyr.IoFlags & IO_SERIAL_OUT) || r.out_port < 0 || serial.port[r.out_port].both_ways) return 1;
    if (!r.slot[s].pending) return 1;
    drain_slots();
    return r.slot[s].pending ? 0 : 1;
}

bool serial_output_free() {
    if (serial.r.out_port < 0) return true;
    return zyr_stat(ST_SER_OUTSTANDING) == 0;
}

int serial_write_chunk(const uint8_t* p, int len) {
    SerialRings& r = serial.r;
    if (r.out_port < 0 || len <= 0) return 0;
    int port = r.out_port;
    ComPort& cp = serial.port[port];
    if (cp.fd < 0) return 0;   // lost: the bytes wait in the ring
    if (cp.both_ways) {
        ssize_t n = write(cp.fd, p, (size_t)len);
        if (n >= 0) {
            serial.stat[port].bytes_written += (uint32_t)n;
            return (int)n;
        }
        int e = errno;
        if (e == EAGAIN || e == EWOULDBLOCK || e == EINTR) return 0;
        if (device_gone(e)) device_lost(port, "write", e);
        else write_error(port, e);
        return -1;
    }
    int s = 0;
    while (s < SERIAL_SLOTS && !serial_slot_complete(s)) s++;
    if (s == SERIAL_SLOTS) {
        debug_printf("Serial Write: NO FREE QUEUES");
        return -2;
    }
    if (cp.fd < 0) return 0;   // lost while the slots drained
    WriteSlot& w = r.slot[s];
    if (!w.bytes) {
        w.bytes = (uint8_t*)QOBmalloc(r.out_size / 4 ? r.out_size / 4 : 1);
        if (!w.bytes) {
            debug_printf("Cannot create event hhandle %d", s);
            return -3;
        }
    }
    zyr_stat(ST_SER_SLOT_LAST) = (uint32_t)s;
    if ((uint32_t)s > zyr_stat(ST_SER_SLOT_HIGH)) zyr_stat(ST_SER_SLOT_HIGH) = (uint32_t)s;
    ssize_t n = 0;
    int e = EAGAIN;
    // Bytes still in flight go first: a new chunk then waits behind them.
    if (oldest_pending() < 0) {
        n = write(cp.fd, p, (size_t)len);
        e = n < 0 ? errno : 0;
        if (n < 0) n = 0;
    }
    if (n == len) {
        serial.stat[port].bytes_written += (uint32_t)n;
        return len;
    }
    if (n == 0 && e != EAGAIN && e != EWOULDBLOCK && e != EINTR) {
        if (device_gone(e)) {
            device_lost(port, "write", e);
            return 0;
        }
        write_error(port, e);
        return len;   // the chunk is given up, as a failed write is
    }
    serial.stat[port].bytes_written += (uint32_t)n;
    int rest = len - (int)n;
    memcpy(w.bytes, p + n, (size_t)rest);
    w.len = rest;
    w.done = 0;
    w.pending = true;
    w.seq = r.seq++;
    zyr_stat(ST_SER_OUTSTANDING)++;
    zyr_stat(ST_SER_WRITES_PENDING)++;
    if (n == 0) zyr_stat(ST_SER_WRITES_ZERO)++;
    zyr_stat(ST_SER_SLOT_MASK) |= 1u << s;
    return len;
}

void serial_output_service() {
    SerialRings& r = serial.r;
    if (!(zyr.IoFlags & IO_SERIAL_OUT) || !r.out_ring || r.out_port < 0) return;
    ComStatus& st = serial.stat[r.out_port];
    if (zyr.zyr_msecs - r.last_check_ms >= SERIAL_SLOT_CHECK_MS) {
        r.last_check_ms = zyr.zyr_msecs;
        serial_slot_complete(r.next_check);
        r.next_check = (r.next_check + 1) % SERIAL_SLOTS;
    }
    uint32_t fill = serial_out_fill();
    if (fill == 0) {
        st.status &= ~(uint32_t)CS_WRITING;
        return;
    }
    zyr_stat(ST_TX_FILL) = (uint32_t)((uint64_t)fill * 1024 / r.out_size);
    uint32_t quarter = r.out_size / 4 ? r.out_size / 4 : 1;
    uint32_t chunk = fill < quarter ? fill : quarter;
    if (zyr_stat(ST_SER_OUTSTANDING) > 4 && chunk < quarter) return;
    uint32_t first = r.out_size - r.out_get;
    if (first > chunk) first = chunk;
    memcpy(r.out_chunk, r.out_ring + r.out_get, first);
    memcpy(r.out_chunk + first, r.out_ring, chunk - first);
    st.status |= CS_WRITING;
    zyr_stat(ST_TX_BLOCK) = chunk;
    if (chunk > zyr_stat(ST_TX_BLOCK_MAX)) zyr_stat(ST_TX_BLOCK_MAX) = chunk;
    int n = serial_write_chunk(r.out_chunk, (int)chunk);
    if (n > 0 && r.out_ring) r.out_get = (r.out_get + (uint32_t)n) % r.out_size;
}

// ---- watchdog --------------------------------------------------------------------

static void record_timeout(int port, uint32_t data) {
    ComStatus& st = serial.stat[port];
    st.err_code = COM_ERR_TIMEOUT;
    st.err_fn = COM_FN_WATCHDOG;
    st.err_port = port;
    st.err_data = (int32_t)data;
    serial.err_code[4] = COM_ERR_TIMEOUT;
    serial.err_fnno[4] = COM_FN_WATCHDOG;
    serial.err_portno[4] = port;
    serial.err_data[4] = (int32_t)data;
}

// Closes and opens one direction again with the same settings; a device
// that is not there now leaves the port wanted and lost.
static void reopen_direction(int port, int dir) {
    ComSettings rec = com_settings[port];
    uint32_t active = rec.flags & (COM_IN_ACTIVE | COM_OUT_ACTIVE);
    serial_close_direction(port, dir);
    rec.flags &= ~(COM_OPEN_IN | COM_OPEN_OUT | COM_IN_ACTIVE | COM_OUT_ACTIVE);
    if ((dir & 1) || (active & COM_IN_ACTIVE)) rec.flags |= COM_OPEN_IN;
    if ((dir & 2) || (active & COM_OUT_ACTIVE)) rec.flags |= COM_OPEN_OUT;
    int rc = serial_open_record_as(&rec, true);
    if (rc != 0) debug_printf("!! COM%d reopen rtn %d !!", port + 1, rc);
}

static bool due(uint32_t* check_secs, uint32_t period) {
    if (zyr.zyr_secs - *check_secs <= period) return false;
    *check_secs = zyr.zyr_secs;
    return true;
}

int serial_watchdog() {
    uint32_t period = pages.timeout_period > SERIAL_TIMEOUT_MAX ? SERIAL_TIMEOUT_MAX : pages.timeout_period;
    uint32_t retry = period ? period : SERIAL_LOST_RETRY_SECS;
    for (int p = 0; p < COM_PORTS; p++) {
        ComPort& cp = serial.port[p];
        if (cp.lost && due(&cp.retry_secs, retry)) retry_lost(p);
    }
    if (period == 0) return SERIAL_NO_TIMEOUT;
    int result = SERIAL_NO_TIMEOUT;
    int in = serial.r.in_port;
    if (in >= 0 && (zyr.IoFlags & IO_SERIAL_IN) && !serial.port[in].lost) {
        ComPort& cp = serial.port[in];
        ComStatus& st = serial.stat[in];
        if (due(&cp.in_check_secs, period)) {
            bool silent = st.bytes_read == cp.in_bytes_at_check;
            cp.in_bytes_at_check = st.bytes_read;
            if (silent && (st.status & CS_IN_OPEN) && (st.status & CS_READ_WAIT)) {
                st.status |= CS_IN_TIMEOUT;
                record_timeout(in, st.bytes_read);
                reopen_direction(in, 1);
                serial.stat[in].status |= CS_IN_TIMEOUT;
                result = SERIAL_INPUT_TIMEOUT;
            }
        }
    }
    int out = serial.r.out_port;
    if (out >= 0 && (zyr.IoFlags & IO_SERIAL_OUT) && !serial.port[out].lost) {
        ComPort& cp = serial.port[out];
        ComStatus& st = serial.stat[out];
        if (due(&cp.out_check_secs, period)) {
            bool silent = st.bytes_written == cp.out_bytes_at_check;
            cp.out_bytes_at_check = st.bytes_written;
            if (silent && (st.status & CS_OUT_OPEN) && (st.status & CS_WRITING)) {
                st.status |= CS_OUT_TIMEOUT;
                record_timeout(out, st.bytes_written);
                reopen_direction(out, 2);
                serial.stat[out].status |= CS_OUT_TIMEOUT;
                if (result == SERIAL_NO_TIMEOUT) result = SERIAL_OUTPUT_TIMEOUT;
            }
        }
    }
    return result;
}
