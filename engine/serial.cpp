// Serial ports on termios: the device map, com_open and com_close, opening
// and closing by direction, purging, the status line and the system
// parameter areas, page 0's entries and the wiring into the cycle.
#include "engine/serial.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/page.h"
#include "core/packet.h"
#include "core/state.h"
#include "engine/cycle.h"
#include "engine/input.h"
#include "engine/startup.h"
#include "engine/views.h"

SerialState serial;
SerialHooks serial_hooks;

// Set while the watchdog retries a lost device: its failures are not logged
// again.
bool serial_quiet;

static const char kInitialStatus[] = "IN n nnnnnn n none n OUTn nnnnnn n none n ";
static_assert(sizeof kInitialStatus == SERIAL_STATUS_LEN + 1);
static_assert(sizeof(ComSettings) * COM_PORTS == 64, "com_table is the four records");

static void default_device_map() {
    for (int i = 0; i < COM_PORTS; i++) snprintf(serial.devmap[i], SERIAL_PATH_MAX, "/dev/ttyS%d", i);
}

static void serial_start_state() {
    memset(&serial, 0, sizeof serial);
    for (ComPort& p : serial.port) p.fd = -1;
    serial.r.in_port = serial.r.out_port = -1;
    default_device_map();
    memcpy(serial.status_line, kInitialStatus, sizeof kInitialStatus);
}

namespace {
struct SerialDriverInit {
    SerialDriverInit() { serial_start_state(); }
} g_serial_driver_init;
}  // namespace

// ---- device map ------------------------------------------------------------

static const char* skip_blanks(const char* s) {
    while (*s == ' ' || *s == '\t') s++;
    return s;
}

int serial_parse_map_line(const char* line, int* port, char* path, size_t cap) {
    const char* s = skip_blanks(line);
    if (*s == 0 || *s == '#' || *s == '\r' || *s == '\n') return 0;
    if (strncasecmp(s, "COM", 3) != 0 || s[3] < '1' || s[3] > '4') return -1;
    int p = s[3] - '1';
    s = skip_blanks(s + 4);
    if (*s != '=') return -1;
    s = skip_blanks(s + 1);
    size_t n = strcspn(s, "#\r\n");
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t')) n--;
    if (n == 0 || n >= cap || n >= SERIAL_PATH_MAX) return -1;
    memcpy(path, s, n);
    path[n] = 0;
    *port = p;
    return 1;
}

void serial_load_device_map() {
    default_device_map();
    serial.devmap_loaded = true;
    if (!zyr_fexists("zyrcom.cfg")) return;
    int f = zyr_fopen("zyrcom.cfg", "r", 0);
    if (f < 0) return;
    char line[512];
    int lineno = 0;
    while (zyr_freadline(line, sizeof line, f)) {
        lineno++;
        int port;
        char path[SERIAL_PATH_MAX];
        int r = serial_parse_map_line(line, &port, path, sizeof path);
        if (r > 0) {
            memcpy(serial.devmap[port], path, sizeof path);
        } else if (r < 0) {
            line[strcspn(line, "\r\n")] = 0;
            debug_printf("!! zyrcom.cfg line %d ignored: %.200s !!", lineno, line);
        }
    }
    zyr_fclose(f);
}

const char* serial_device(int port) {
    if (port < 0 || port >= COM_PORTS) return "";
    if (!serial.devmap_loaded) serial_load_device_map();
    return serial.devmap[port];
}

// ---- com_open / com_close ------------------------------------------------------

static void log_step(const char* call, int code, int port, int err) {
    if (serial_quiet) return;
    debug_printf("%s(%u) %d dwError %lu %s", call, (unsigned)port, code, (unsigned long)err, serial_device(port));
}

static void release_fd(int fd) {
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    close(fd);
}

// Pseudo-terminal slaves (UNIX 98, majors 136..143) refuse some line
// settings that a UART takes; they carry bytes the same either way.
static bool is_pty(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    unsigned maj = major(st.st_rdev);
    return maj >= 136 && maj <= 143;
}

static void line_settings(struct termios* t, unsigned stop, unsigned parity, unsigned data) {
    cfmakeraw(t);
    t->c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    t->c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL);
    static const tcflag_t kSize[4] = {CS5, CS6, CS7, CS8};
    t->c_cflag |= kSize[data & 3] | CLOCAL | CREAD;
    if (stop == COM_STOP_2) t->c_cflag |= CSTOPB;
    if (parity == COM_PARITY_ODD) t->c_cflag |= PARENB | PARODD;
    if (parity == COM_PARITY_EVEN) t->c_cflag |= PARENB;
    // With O_NONBLOCK a read returns at once with what has arrived, or
    // EAGAIN; a read of 0 bytes is then a hang-up.
    t->c_cc[VMIN] = 1;
    t->c_cc[VTIME] = 0;
}

static int fail_close(int port, int fd, int code) {
    release_fd(fd);
    serial.port[port].fd = -1;
    return code;
}

int com_open(int port, unsigned baud, unsigned stop, unsigned parity, unsigned data, unsigned bufsize) {
    (void)bufsize;   // the kernel sizes its own queues
    if (port < 0 || port >= COM_PORTS) return -2;
    ComPort& cp = serial.port[port];
    if (cp.fd >= 0) return 0;
    uint32_t f = com_settings[port].flags;
    bool rd = (f & COM_DIR_IN) && (f & COM_OPEN_IN);
    bool wr = (f & COM_DIR_OUT) && (f & COM_OPEN_OUT);
    int access = rd && !wr ? O_RDONLY : wr && !rd ? O_WRONLY : O_RDWR;
    const char* dev = serial_device(port);
    // 1. The device, not shared: TIOCEXCL keeps other openers out (except
    // root), the lock keeps out every program that locks as well.
    int fd = open(dev, access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int err = errno;
    if (fd >= 0 && (!isatty(fd) || ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0)) {
        err = !isatty(fd) ? ENOTTY : errno == EWOULDBLOCK ? EBUSY : errno;
        release_fd(fd);
        fd = -1;
    }
    if (fd < 0) {
        if (!serial_quiet) debug_printf("W32 open() -2 Cannot open %s error = %lu", dev, (unsigned long)err);
        return -2;
    }
    cp.fd = fd;
    size_t dn = strnlen(dev, sizeof cp.path - 1);
    memmove(cp.path, dev, dn);
    cp.path[dn] = 0;
    // 2. Queues emptied.
    if (tcflush(fd, TCIOFLUSH) != 0) {
        log_step("W32 tcflush", -3, port, errno);
        return fail_close(port, fd, -3);
    }
    // 3. The present settings.
    struct termios t;
    if (tcgetattr(fd, &t) != 0) {
        log_step("tcgetattr", -4, port, errno);
        return fail_close(port, fd, -4);
    }
    // 4. Raw, the line settings and the rate.
    line_settings(&t, stop, parity, data);
    bool exact = true;
    unsigned nearest = 0;
    unsigned rate = serial_line_rate(baud);
    unsigned speed = serial_speed_constant(baud, &exact, &nearest);
    if (speed == 0 || cfsetspeed(&t, speed) != 0) {
        log_step("cfsetspeed", -5, port, speed == 0 ? EINVAL : errno);
        return fail_close(port, fd, -5);
    }
    // 5. Written; a pseudo-terminal that refuses them gets 8N1 raw.
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        int e = errno;
        bool retried = false;
        if (e == EINVAL && is_pty(fd)) {
            line_settings(&t, COM_STOP_1, COM_PARITY_NONE, 3);
            cfsetspeed(&t, speed);
            retried = tcsetattr(fd, TCSANOW, &t) == 0;
        }
        if (!retried) {
            log_step("tcsetattr", -6, port, e);
            return fail_close(port, fd, -6);
        }
    }
    if (!exact && serial_set_custom_rate(fd, rate) != 0 && !serial_quiet)
        debug_printf("!! COM%d baud %u not available, %u used (errno %d) !!", port + 1, rate, nearest, errno);
    // DTR off (a pseudo-terminal has no modem lines).
    int dtr = TIOCM_DTR;
    ioctl(fd, TIOCMBIC, &dtr);
    // 6. Open in the chosen directions.
    cp.both_ways = rd && wr;
    cp.lost = false;
    if (f & COM_DIR_IN) serial.stat[port].status |= CS_IN_OPEN;
    if (f & COM_DIR_OUT) serial.stat[port].status |= CS_OUT_OPEN;
    return 0;
}

int com_open_defaults(int port, unsigned baud, unsigned stop, unsigned parity, unsigned data, unsigned bufsize) {
    auto given = [](unsigned v, unsigned d) { return v == 65535 ? d : v; };
    return com_open(port, given(baud, 9600), given(stop, COM_STOP_1), given(parity, COM_PARITY_NONE),
                    given(data, 3), given(bufsize, 1024));
}

int com_close(int port) {
    if (port < 0 || port >= COM_PORTS) return 0;
    ComPort& cp = serial.port[port];
    serial.stat[port].status &= ~(uint32_t)CS_CLOSE_MASK;
    if (cp.fd < 0) return 0;
    ioctl(cp.fd, TIOCNXCL);
    flock(cp.fd, LOCK_UN);
    int r = close(cp.fd);
    cp.fd = -1;
    cp.both_ways = false;
    return r == 0 ? 0 : -1;
}

// ---- rings ---------------------------------------------------------------------

static void free_slots() {
    SerialRings& r = serial.r;
    for (int s = 0; s < SERIAL_SLOTS; s++) {
        WriteSlot& w = r.slot[s];
        if (w.pending) zyr_stat(ST_SER_OUT_REFUSED) += (uint32_t)(w.len - w.done);
        QOBfree(w.bytes);
        w = WriteSlot{};
    }
    zyr_stat(ST_SER_OUTSTANDING) = 0;
    zyr_stat(ST_SER_SLOT_MASK) = 0;
}

static void free_input_side() {
    SerialRings& r = serial.r;
    QOBfree(r.in_ring);
    QOBfree(r.in_chunk);
    r.in_ring = r.in_chunk = nullptr;
    r.in_size = r.in_put = r.in_get = r.in_target = 0;
    r.in_port = -1;
}

static void free_output_side() {
    SerialRings& r = serial.r;
    free_slots();
    QOBfree(r.out_ring);
    QOBfree(r.out_chunk);
    r.out_ring = r.out_chunk = nullptr;
    r.out_size = r.out_put = r.out_get = 0;
    r.out_port = -1;
}

static void clear_serial_stats() {
    static const unsigned kFields[] = {ST_RX_BLOCK, ST_RX_FILL, ST_TX_BLOCK, ST_TX_FILL, ST_RX_BLOCK_MAX,
                                       ST_TX_BLOCK_MAX, ST_SER_SLOT_LAST, ST_SER_SLOT_HIGH, ST_SER_SLOT_MASK,
                                       ST_SER_OUTSTANDING, ST_SER_READS_PENDING, ST_SER_WRITES_PENDING,
                                       ST_SER_READ_ERR, ST_SER_READ_ERRS, ST_SER_WRITE_ERR, ST_SER_WRITE_ERRS,
                                       ST_SER_WRITES_ZERO};
    for (unsigned f : kFields) zyr_stat(f) = 0;
}

// ---- by record and by direction ---------------------------------------------------

// Opens rec's port. With keep_wanted, a device that cannot be opened leaves
// the port wanted (buffers, switch bits) and lost, for the watchdog to
// reopen when the device is back.
int serial_open_record_as(const ComSettings* rec, bool keep_wanted) {
    if (!(rec->flags & (COM_DIR_IN | COM_DIR_OUT))) return -1;
    int p = rec->port;
    if (p < 0 || p >= COM_PORTS) return -1;
    ComSettings r = *rec;
    for (int q = 0; q < COM_PORTS; q++) {
        if (q == p) continue;
        if ((r.flags & COM_DIR_IN) && (com_settings[q].flags & COM_DIR_IN)) {
            com_settings[q].flags &= ~COM_DIR_IN;
            serial_close_direction(q, 1);
        }
        if ((r.flags & COM_DIR_OUT) && (com_settings[q].flags & COM_DIR_OUT)) {
            com_settings[q].flags &= ~COM_DIR_OUT;
            serial_close_direction(q, 2);
        }
    }
    if (r.flags & COM_DIR_IN) com_input_port = p;
    if (r.flags & COM_DIR_OUT) com_output_port = p;
    ComPort& cp = serial.port[p];
    // An open port is closed first and opened again in the chosen
    // directions it was open in.
    uint32_t was = com_settings[p].flags;
    if (cp.fd >= 0 || cp.lost || (was & (COM_IN_ACTIVE | COM_OUT_ACTIVE))) {
        serial_close_direction(p, 3);
        if ((r.flags & COM_DIR_IN) && (was & (COM_IN_ACTIVE | COM_OPEN_IN))) r.flags |= COM_OPEN_IN;
        if ((r.flags & COM_DIR_OUT) && (was & (COM_OUT_ACTIVE | COM_OPEN_OUT))) r.flags |= COM_OPEN_OUT;
    }
    r.flags &= ~(COM_IN_ACTIVE | COM_OUT_ACTIVE);
    com_settings[p] = r;
    bool want_in = (r.flags & COM_DIR_IN) && (r.flags & COM_OPEN_IN);
    bool want_out = (r.flags & COM_DIR_OUT) && (r.flags & COM_OPEN_OUT);
    if (!want_in && !want_out) return -2;
    int rc = com_open(p, r.baud, r.stop, r.parity, r.data, r.bufsize);
    bool absent = false;
    if (rc != 0) {
        if (!keep_wanted) {
            com_settings[p].flags &= ~(COM_OPEN_IN | COM_OPEN_OUT);
            debug_printf("com_open() error %d", rc);
            return -3;
        }
        absent = true;
    }
    clear_serial_stats();
    zyr.SystemFlags |= SF_SERIAL_CHANGED;
    uint32_t n = r.bufsize < 16 ? 16 : r.bufsize;
    SerialRings& g = serial.r;
    if (want_in) {
        free_input_side();
        g.in_ring = (uint8_t*)QOBmalloc(n);
        g.in_chunk = (uint8_t*)QOBmalloc(n / 2);
        if (!g.in_ring || !g.in_chunk) {
            serial_close_direction(p, 1);
            return -4;
        }
        g.in_size = n;
        g.in_target = n - 1;
        g.in_port = p;
        com_settings[p].flags |= COM_IN_ACTIVE;
        zyr.IoFlags |= IO_SERIAL_IN;
        cp.in_start_ms = zyr.zyr_msecs;
        cp.in_check_secs = zyr.zyr_secs;
        cp.in_bytes_at_check = serial.stat[p].bytes_read;
    }
    if (want_out) {
        free_output_side();
        g.out_ring = (uint8_t*)QOBmalloc(n);
        g.out_chunk = (uint8_t*)QOBmalloc(n / 4 ? n / 4 : 1);
        if (!g.out_ring || !g.out_chunk) {
            serial_close_direction(p, 2);
            return -5;
        }
        g.out_size = n;
        g.out_port = p;
        g.last_check_ms = zyr.zyr_msecs;
        com_settings[p].flags |= COM_OUT_ACTIVE;
        zyr.IoFlags |= IO_SERIAL_OUT;
        cp.out_start_ms = zyr.zyr_msecs;
        cp.out_check_secs = zyr.zyr_secs;
        cp.out_bytes_at_check = serial.stat[p].bytes_written;
    }
    if (absent) {
        cp.lost = true;
        cp.lost_in = want_in;
        cp.lost_out = want_out;
        cp.retry_secs = zyr.zyr_secs;
        if (want_in) serial.stat[p].status |= CS_IN_OPEN | CS_READ_WAIT;
        if (want_out) serial.stat[p].status |= CS_OUT_OPEN;
    }
    return 0;
}

int serial_open_record(const ComSettings* rec) { return serial_open_record_as(rec, false); }

void serial_close_direction(int port, int dirs) {
    if (port < 0 || port >= COM_PORTS) return;
    zyr.SystemFlags |= SF_SERIAL_CHANGED;
    ComSettings& s = com_settings[port];
    ComPort& cp = serial.port[port];
    SerialRings& g = serial.r;
    bool in_open = (s.flags & (COM_OPEN_IN | COM_IN_ACTIVE)) || g.in_port == port;
    bool out_open = (s.flags & (COM_OPEN_OUT | COM_OUT_ACTIVE)) || g.out_port == port;
    bool close_in = (dirs & 1) && in_open;
    bool close_out = (dirs & 2) && out_open;
    bool whole = (close_in || !in_open) && (close_out || !out_open);
    if (close_in || (whole && g.in_port == port)) {
        if (g.in_port == port) {
            free_input_side();
            zyr.IoFlags &= ~IO_SERIAL_IN;
        }
        s.flags &= ~(COM_OPEN_IN | COM_IN_ACTIVE);
        serial.stat[port].status &= ~(uint32_t)CS_IN_BITS;
        cp.lost_in = false;
    }
    if (close_out || (whole && g.out_port == port)) {
        if (g.out_port == port) {
            free_output_side();
            zyr.IoFlags &= ~IO_SERIAL_OUT;
        }
        s.flags &= ~(COM_OPEN_OUT | COM_OUT_ACTIVE);
        serial.stat[port].status &= ~(uint32_t)CS_OUT_BITS;
        cp.lost_out = false;
    }
    if (whole) {
        s.flags &= ~(COM_OPEN_IN | COM_OPEN_OUT | COM_IN_ACTIVE | COM_OUT_ACTIVE);
        com_close(port);
        cp.lost = cp.lost_in = cp.lost_out = false;
    }
    if (serial_hooks.redraw_flags) serial_hooks.redraw_flags();
}

int serial_purge(int port, int dirs) {
    if (port < 0 || port >= COM_PORTS) return -1;
    ComSettings& s = com_settings[port];
    if (((dirs & 1) && (s.flags & COM_OPEN_IN)) || ((dirs & 2) && (s.flags & COM_OPEN_OUT))) return -1;
    int fd = serial.port[port].fd;
    if (dirs & 1) {
        if (fd >= 0) tcflush(fd, TCIFLUSH);
        serial.stat[port].status &= ~(uint32_t)CS_IN_BITS;
    }
    if (dirs & 2) {
        if (fd >= 0) tcflush(fd, TCOFLUSH);
        if (serial.r.out_port == port || serial.r.out_port < 0) free_slots();
        serial.stat[port].status &= ~(uint32_t)CS_OUT_BITS;
    }
    return 0;
}

void serial_close_all() {
    for (int p = 0; p < COM_PORTS; p++) {
        ComSettings& s = com_settings[p];
        if (serial.port[p].fd >= 0 || serial.port[p].lost ||
            (s.flags & (COM_OPEN_IN | COM_OPEN_OUT | COM_IN_ACTIVE | COM_OUT_ACTIVE)))
            serial_close_direction(p, 3);
    }
}

void serial_reopen_all() {
    for (int p = 0; p < COM_PORTS; p++) {
        ComSettings rec = com_settings[p];
        uint32_t open = rec.flags & (COM_IN_ACTIVE | COM_OUT_ACTIVE);
        if (!open) continue;
        rec.flags &= ~(COM_OPEN_IN | COM_OPEN_OUT);
        if (open & COM_IN_ACTIVE) rec.flags |= COM_OPEN_IN;
        if (open & COM_OUT_ACTIVE) rec.flags |= COM_OPEN_OUT;
        serial_close_direction(p, 3);
        int rc = serial_open_record(&rec);
        if (rc != 0) debug_printf("!! COM%d reopen rtn %d !!", p + 1, rc);
    }
}

// ---- status line and system parameters -------------------------------------------

static void status_field(char* f, const char* open_text, int port, bool open) {
    memset(f, ' ', 21);
    memcpy(f, open ? open_text : "OFF", 3);
    if (port < 0 || port >= COM_PORTS) return;
    const ComSettings& s = com_settings[port];
    f[3] = (char)('1' + port);
    if (s.baud) {
        char b[8];
        snprintf(b, sizeof b, "%6u", (unsigned)s.baud);
        memcpy(f + 5, b + strlen(b) - 6, 6);
    }
    f[12] = s.stop == COM_STOP_2 ? '2' : '1';
    const char* par = s.parity == COM_PARITY_ODD ? "ODD " : s.parity == COM_PARITY_EVEN ? "EVEN" : "NONE";
    memcpy(f + 14, par, 4);
    f[19] = (char)('5' + (s.data & 3));
}

void serial_build_status(char* out) {
    int in = com_input_port, outp = com_output_port;
    bool in_open = in >= 0 && (com_settings[in].flags & COM_DIR_IN) && (com_settings[in].flags & COM_IN_ACTIVE);
    bool out_open = outp >= 0 && (com_settings[outp].flags & COM_DIR_OUT) && (com_settings[outp].flags & COM_OUT_ACTIVE);
    status_field(out, "IN ", in, in_open);
    status_field(out + 21, "OUT", outp, out_open);
    out[SERIAL_STATUS_LEN] = 0;
}

// The copies behind the system parameters, refreshed each pass.
static void refresh_views() {
    serial.cflgs = 0;
    for (int p = 0; p < COM_PORTS; p++) {
        serial.bytes_written[p] = serial.stat[p].bytes_written;
        serial.bytes_read[p] = serial.stat[p].bytes_read;
        serial.err_fnno[p] = serial.stat[p].err_fn;
        serial.err_portno[p] = serial.stat[p].err_port;
        serial.err_data[p] = serial.stat[p].err_data;
        serial.err_code[p] = serial.stat[p].err_code;
        serial.cflgs |= serial.stat[p].status;
    }
}

void serial_status_update() {
    if (zyr.SystemFlags & SF_SERIAL_CHANGED) {
        serial_build_status(serial.status_line);
        zyr.SystemFlags &= ~SF_SERIAL_CHANGED;
    }
    refresh_views();
}

// ---- page 0 ----------------------------------------------------------------------

void serial_apply_entry(int index, uint8_t flags, uint16_t baud, uint16_t stop, uint16_t data, uint16_t parity,
                        uint16_t bufsize) {
    if (index < 0 || index >= COM_PORTS) return;
    uint32_t dirs = flags & (COM_DIR_IN | COM_DIR_OUT);
    if (!dirs) return;   // an unused entry leaves the port's record as it is
    ComSettings rec = com_settings[index];
    rec.port = (uint16_t)index;
    rec.baud = baud;
    rec.stop = stop == COM_STOP_2 ? (uint16_t)COM_STOP_2 : (uint16_t)COM_STOP_1;
    rec.data = data & 3;
    rec.parity = (parity == COM_PARITY_ODD || parity == COM_PARITY_EVEN) ? parity : (uint16_t)COM_PARITY_NONE;
    rec.bufsize = bufsize < 1024 ? 8192 : bufsize;
    rec.flags = (rec.flags & ~(COM_DIR_IN | COM_DIR_OUT)) | dirs;
    for (int q = 0; q < COM_PORTS; q++) {
        if (q == index) continue;
        if ((dirs & COM_DIR_IN) && !(com_settings[q].flags & COM_OPEN_IN)) com_settings[q].flags &= ~COM_DIR_IN;
        if ((dirs & COM_DIR_OUT) && !(com_settings[q].flags & COM_OPEN_OUT)) com_settings[q].flags &= ~COM_DIR_OUT;
    }
    if (dirs & COM_DIR_IN) com_input_port = index;
    if (dirs & COM_DIR_OUT) com_output_port = index;
    uint32_t open = 0;
    if ((dirs & COM_DIR_IN) && (flags & COM_OPEN_IN)) open |= COM_OPEN_IN;
    if ((dirs & COM_DIR_OUT) && (flags & COM_OPEN_OUT)) open |= COM_OPEN_OUT;
    zyr.SystemFlags |= SF_SERIAL_CHANGED;
    if (!open) {
        com_settings[index] = rec;
        return;
    }
    rec.flags |= open;
    int rc = serial_open_record(&rec);
    if (rc != 0) debug_printf("!! page 0 COM%d open rtn %d !!", index + 1, rc);
}

static void apply_page_entry(int index, const SerialEntry* e) {
    serial_apply_entry(index, e->flags, e->baud, e->stopbits, e->databits, e->parity, e->bufsize);
}

static void (*g_next_gather)(SystemRecord* rec);

// Page 0 is saved with the ports' present settings and the timeout period.
static void gather_system(SystemRecord* rec) {
    if (g_next_gather) g_next_gather(rec);
    for (int p = 0; p < COM_PORTS; p++) {
        const ComSettings& s = com_settings[p];
        SerialEntry& e = rec->serial[p];
        uint8_t flags = (uint8_t)(s.flags & (COM_DIR_IN | COM_DIR_OUT));
        if (!flags && !(e.flags & 0x3)) continue;   // never named: the entry stays as it was
        if ((s.flags & COM_DIR_IN) && (s.flags & (COM_OPEN_IN | COM_IN_ACTIVE))) flags |= COM_OPEN_IN;
        if ((s.flags & COM_DIR_OUT) && (s.flags & (COM_OPEN_OUT | COM_OUT_ACTIVE))) flags |= COM_OPEN_OUT;
        e.flags = flags;
        e.comport = (uint16_t)p;
        e.baud = s.baud;
        e.stopbits = s.stop;
        e.databits = s.data;
        e.parity = s.parity;
        e.bufsize = s.bufsize;
    }
    rec->timeoutperiod = pages.timeout_period;
}

// ---- wiring ----------------------------------------------------------------------

static void (*g_next_byte_services)();

// Every pass: the receiver, the transmitter, the status line; then the
// services registered before (the network's, when it is there).
static void byte_services() {
    if (zyr.IoFlags & IO_SERIAL_IN) serial_read_pass();
    if (zyr.IoFlags & IO_SERIAL_OUT) serial_output_service();
    serial_status_update();
    if (g_next_byte_services) g_next_byte_services();
}

static int byte_source_read(void*) { return serial_get_byte(); }
static int byte_source_take(void*, uint8_t* dst, int n) { return serial_get_bytes(dst, n); }

static void close_input() {
    if (com_input_port >= 0) serial_close_direction(com_input_port, 1);
}

static int port_number(bool output) { return (output ? com_output_port : com_input_port) + 1; }

static void reset_table() {
    com_input_port = 0;
    com_output_port = 1;
    serial_load_device_map();
    zyr.SystemFlags |= SF_SERIAL_CHANGED;
}

static void register_views() {
    views_set_area(9, (const uint8_t*)serial.status_line);   // ramstart
    views_set_area(10, (const uint8_t*)serial.err_fnno);
    views_set_area(11, (const uint8_t*)serial.err_portno);
    views_set_area(12, (const uint8_t*)serial.err_data);
    views_set_area(13, (const uint8_t*)serial.err_code);
    views_set_area(15, (const uint8_t*)serial.bytes_written);
    views_set_area(16, (const uint8_t*)serial.bytes_read);
    views_set_area(18, (const uint8_t*)com_settings);
    views_set_area(19, (const uint8_t*)&serial.cflgs);
}

void serial_register() {
    if (cycle_hooks.byte_services != byte_services) {
        g_next_byte_services = cycle_hooks.byte_services;
        cycle_hooks.byte_services = byte_services;
    }
    ByteSource src{};
    src.read_byte = byte_source_read;
    src.take = byte_source_take;
    packet_set_source(PSRC_SERIAL, &src);
    input_hooks.serial_close_input = close_input;
    input_hooks.serial_timeout_check = serial_watchdog;
    input_hooks.serial_port_number = port_number;
    startup_hooks.serial_reset_table = reset_table;
    startup_hooks.close_serial_ports = serial_close_all;
    page_hooks.apply_serial = apply_page_entry;
    if (page_hooks.gather_system != gather_system) {
        g_next_gather = page_hooks.gather_system;
        page_hooks.gather_system = gather_system;
    }
    register_views();
}

void serial_reset() {
    for (int p = 0; p < COM_PORTS; p++) {
        if (serial.port[p].fd >= 0) release_fd(serial.port[p].fd);
        serial.port[p].fd = -1;
    }
    QOBfree(serial.r.in_ring);
    QOBfree(serial.r.in_chunk);
    QOBfree(serial.r.out_ring);
    QOBfree(serial.r.out_chunk);
    for (WriteSlot& w : serial.r.slot) QOBfree(w.bytes);
    serial_start_state();
    serial_hooks = SerialHooks{};
    serial_quiet = false;
    g_next_byte_services = nullptr;
    g_next_gather = nullptr;
    serial_defaults();
}
