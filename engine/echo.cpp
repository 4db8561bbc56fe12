// The echo stage of every accepted packet and its hold on the input, the
// telecommand parser, the hand-over through deftc.bin and the built-in
// dispatcher.
#include "engine/echo.h"

#include <cctype>
#include <strings.h>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "core/datatypes.h"
#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/state.h"
#include "engine/cycle.h"
#include "engine/input.h"
#include "engine/network.h"
#include "engine/serial.h"
#include "platform/ui.h"

EchoState echo = {0, false, true, false, 0, true, false, {}, 0, {}, false};

static const char kCommandFile[] = "deftc.bin";

// ---- the echo ---------------------------------------------------------------------

int echo_ascii_text(const uint8_t* p, int len, char* out, size_t cap) {
    size_t need = (size_t)len * 3 + 2 * (size_t)((len + ASCII_ECHO_PER_LINE - 1) / ASCII_ECHO_PER_LINE) + 1;
    if (len < 0 || need > cap) return -1;
    static const char kHex[] = "0123456789abcdef";
    size_t n = 0;
    for (int i = 0; i < len; i++) {
        if (i % ASCII_ECHO_PER_LINE == 0) {
            out[n++] = '\r';
            out[n++] = '\n';
        }
        out[n++] = kHex[p[i] >> 4];
        out[n++] = kHex[p[i] & 0xF];
        out[n++] = ' ';
    }
    out[n] = 0;
    return (int)n;
}

static bool serial_out_open() {
    int p = com_output_port;
    return (zyr.IoFlags & IO_SERIAL_OUT) && p >= 0 && (com_settings[p].flags & COM_OUT_ACTIVE) &&
           serial.r.out_ring;
}

static void not_echoed(uint32_t bytes) {
    zyr_stat(ST_ECHO_NOT_ECHOED) = bytes;
    zyr_stat(ST_ECHO_REFUSED) += bytes;
}

static uint32_t echo_period();

static void echoed(uint32_t bytes) {
    zyr_stat(ST_ECHO_NOT_ECHOED) = 0;
    zyr_stat(ST_BYTES_SENT) += bytes;
    zyr_stat(ST_PACKETS_SENT)++;
    zyr_stat(ST_LAST_SENT_BYTE_TIME) = (uint32_t)zyr.caltime;
    zyr_stat(ST_LAST_SENT_PACKET_TIME) = (uint32_t)zyr.caltime;
    // The period counts from when the last echo was due, as the test data
    // generator counts its own: passes that come late do not cost packets.
    uint32_t period = echo_period(), since = zyr.zyr_msecs - echo.last_echo_ms;
    echo.last_echo_ms = (echo.echoed && period && since < 2 * period) ? echo.last_echo_ms + period : zyr.zyr_msecs;
    echo.echoed = true;
}

// While test data runs, one echo each test data period (three in ascii
// mode, whose text is three times as long); 0 otherwise.
static uint32_t echo_period() {
    if (!(zyr.IoFlags & IO_TEST_DATA) || com_output_port < 0) return 0;
    uint32_t period = PckMsecsPeriod(&com_settings[com_output_port], pkt.len);
    return (zyr.SystemFlags & SF_ASCII_OUT) ? period * 3 : period;
}

static bool paced_out() {
    uint32_t period = echo_period();
    return period && echo.echoed && zyr.zyr_msecs - echo.last_echo_ms < period;
}

// A packet goes into a ring whole or not at all: a cut packet would cost
// the receiver its sync and the next packet too.
static int echo_network() {
    uint32_t room = net.out_ring ? net.out_size - 1 - net_out_fill() : 0;
    if (room < (uint32_t)pkt.len) {
        not_echoed((uint32_t)pkt.len);
        zyr_stat(ST_NET_OUT_REFUSED) += (uint32_t)pkt.len;
        return -2;
    }
    echoed((uint32_t)net_put(pkt.buf, pkt.len));
    return 0;
}

static int echo_serial() {
    static char text[3 * 32767 + 2 * 1261 + 1];
    const uint8_t* bytes = pkt.buf;
    int n = pkt.len;
    bool ascii = (zyr.SystemFlags & SF_ASCII_OUT) != 0;
    if (ascii) {
        n = echo_ascii_text(pkt.buf, pkt.len, text, sizeof text);
        bytes = (const uint8_t*)text;
    }
    uint32_t room = serial.r.out_size - 1 - serial_out_fill();
    bool slots_full = zyr_stat(ST_SER_OUTSTANDING) >= (uint32_t)SERIAL_SLOTS;
    bool active = (serial.stat[com_output_port].status & CS_WRITE_ACTIVE) != 0;
    if (n < 0 || room < (uint32_t)n || slots_full) {
        not_echoed((uint32_t)pkt.len);
        zyr_stat(ST_SER_OUT_REFUSED) += (uint32_t)(n > 0 ? n : pkt.len);
        echo.echo_done = active;   // the hold waits for the port to drain
        return -2;
    }
    serial_put(bytes, n);
    echoed(ascii ? 3u * (uint32_t)pkt.len : (uint32_t)n);
    return 0;
}

int echo_packet() {
    if (!(zyr.SystemFlags & SF_ECHO)) return 0;
    echo.echo_done = true;
    bool net_out = (zyr.IoFlags & IO_NET_OUT) != 0;
    if (!net_out && !serial_out_open()) {
        echo.marked = false;
        return -1;
    }
    if (paced_out()) {
        echo.marked = false;
        return 0;
    }
    if (!echo.marked || pkt.len <= 0) return 0;
    echo.marked = false;
    return net_out ? echo_network() : echo_serial();
}

bool echo_output_available() { return serial_out_open() || (zyr.IoFlags & IO_NET_OUT); }

void echo_switched_on() {
    zyr.SystemFlags |= SF_ECHO;
    zyr.work_mask |= WM_OUTPUT;
    echo.echo_done = true;
    echo.marked = false;
    echo.echoed = false;
}

// ---- the command parser ----------------------------------------------------------------

// The next word of s (blank or tab separated) into w; s moves past it. The
// word's length (the whole length, even when longer than cap - 1), 0 at
// the end.
static size_t next_word(const char** s, char* w, size_t cap) {
    const char* p = *s;
    while (*p == ' ' || *p == '\t') p++;
    size_t n = strcspn(p, " \t\r\n");
    snprintf(w, cap, "%.*s", (int)(n < cap ? n : cap - 1), p);
    *s = p + n;
    return n;
}

// One word as one byte: 0, -3 not a number, -4 above 255 (or negative),
// -5 more than 1024 bytes.
static int add_byte(const char* w, size_t len, uint8_t* bytes, int* count) {
    int64_t v = 0;
    if (len > TC_WORD_MAX || dt_scan_number(w, &v) != 0) return -3;
    if (v < 0 || v > 255) return -4;
    if (*count >= TC_BYTES_MAX) return -5;
    bytes[(*count)++] = (uint8_t)v;
    return 0;
}

static bool comment_word(const char* w) { return !w[0] || strchr("#*;!/", w[0]) != nullptr; }

// The first word of each line of the file; comment and empty lines are
// skipped, and the tail of an overlong line is not a line of its own.
static int file_bytes(const char* name, uint8_t* bytes, int* count) {
    struct stat st;
    int f = stat(name, &st) == 0 && !S_ISDIR(st.st_mode) ? zyr_fopen(name, "r", 0) : -1;
    if (f < 0) {
        zyr_err(14, 1, name, 0, 0, 0);
        return -2;
    }
    static char line[TC_LINE_MAX + 2];
    int rc = 0;
    bool tail = false;
    while (rc == 0 && zyr_freadline(line, sizeof line, f)) {
        bool whole = strchr(line, '\n') != nullptr;
        bool skip = tail;
        tail = !whole;
        if (skip) continue;
        const char* p = line;
        char w[TC_WORD_MAX + 2];
        size_t n = next_word(&p, w, sizeof w);
        if (comment_word(w)) continue;
        rc = add_byte(w, n, bytes, count);
    }
    zyr_fclose(f);
    return rc;
}

int tc_parse(const char* text, uint8_t route[2], uint8_t* bytes, int* count) {
    char t[TC_TEXT_MAX + 1];
    snprintf(t, sizeof t, "%s", text ? text : "");
    *count = 0;
    const char* p = t;
    char w[TC_WORD_MAX + 2];
    next_word(&p, w, sizeof w);
    if (strcasecmp(w, "tcs") == 0) {
        route[0] = route[1] = 0xFF;
    } else if (strcasecmp(w, "tce") == 0) {
        route[0] = 0xFF;
        route[1] = 0xFE;
    } else if (strcasecmp(w, "tc") == 0) {
        route[0] = route[1] = 0x00;
    } else {
        return -1;
    }
    while (*p == ' ' || *p == '\t') p++;
    int rc = 0;
    if (*p == '@') {
        char name[261];
        snprintf(name, sizeof name, "%s", p + 1);
        name[strcspn(name, "\r\n")] = 0;
        for (size_t n = strlen(name); n > 0 && (name[n - 1] == ' ' || name[n - 1] == '\t'); n--) name[n - 1] = 0;
        rc = file_bytes(name, bytes, count);
    } else {
        for (size_t n; rc == 0 && (n = next_word(&p, w, sizeof w)) > 0;) rc = add_byte(w, n, bytes, count);
    }
    // A command of no bytes would send nothing: it is bad syntax too.
    if (rc == 0 && *count == 0) rc = -3;
    return rc == 0 ? 0 : -2;
}

// ---- handing a command over -------------------------------------------------------------

const char* tc_error_text(int code) {
    switch (code) {
    case -1: return "Invalid Command, not 'tc' or 'tcs'";
    case -2: return "Bad command syntax or file.\nValid Command file?";
    case -6: return "Dispatcher could not open DEFTC.BIN";
    default: return "";
    }
}

static void time_text(char* out, size_t cap) { snprintf(out, cap, "%.8s", zyr.asciictime + 11); }

static void log_command(const char* text, int rc, const uint8_t* bytes, int count) {
    char t[16], line[200];
    time_text(t, sizeof t);
    int n = snprintf(line, sizeof line, "%s: %.80s", t, text);
    if (rc) snprintf(line + n, sizeof line - (size_t)n, " !! Command error %d !!", rc);
    debug_printf("%s", line);
    if (!(zyr.SystemFlags & SF_DIAGNOSTICS) || count <= 0) return;
    // The bytes as they go into deftc.bin, 16 to a line.
    for (int i = 0; i < count; i += 16) {
        char hex[16 * 3 + 1];
        dt_hexchar_encode(bytes + i, count - i < 16 ? count - i : 16, hex);
        debug_printf("%s", hex);
    }
}

static int write_command_file(const uint8_t route[2], const uint8_t* bytes, int count) {
    int f = zyr_fopen(kCommandFile, "wb", 0);
    if (f < 0) return -6;
    bool ok = zyr_fwrite(route, 1, 2, f) == 2 && zyr_fwrite(bytes, 1, (size_t)count, f) == count;
    if (zyr_fclose(f) != 0 || !ok) {
        remove(kCommandFile);
        return -6;
    }
    return 0;
}

int tc_command(const char* text) {
    uint8_t route[2];
    int count = 0;
    int rc = tc_parse(text, route, echo.command, &count);
    if (rc == 0) {
        char ask[TC_TEXT_MAX + 32];
        snprintf(ask, sizeof ask, "OK to send command ?\n<%.80s>", text);
        if (plat_message_box(ask, "Telecommand Out", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return 0;
        while (zyr_fexists(kCommandFile) && rc == 0) {
            if (plat_message_box("Command dispatcher has not sent the last file\nPress OK to retry or CANCEL to abort "
                                 "command",
                                 "Command Out", MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
                rc = -5;
        }
        if (rc == 0) rc = write_command_file(route, echo.command, count);
        if (rc == 0) {
            echo.command_len = count;
            memcpy(echo.route, route, 2);
        }
    }
    log_command(text, rc, echo.command, rc == 0 ? count : 0);
    if (rc != 0 && rc != -5)
        plat_message_box(tc_error_text(rc), "Command Parser Error", MB_OK | MB_ICONEXCLAMATION);
    return rc;
}

// ---- the dispatcher ------------------------------------------------------------------------

// Sends the command file's bytes: 0, or the dispatcher's error code.
static int dispatch_file(int f) {
    uint8_t route[2];
    if (zyr_fread(route, 1, 2, f) != 2) return -7;
    bool serial_route = route[0] == 0xFF && route[1] == 0xFF;
    bool net_route = route[0] == 0xFF && route[1] == 0xFE;
    if (!serial_route && !net_route) return 0;   // no route: nothing is sent
    if (serial_route && !serial_out_open()) return -3;
    if (net_route && !(zyr.IoFlags & IO_NET_OUT)) return -7;
    auto* buf = (uint8_t*)QOBmalloc(TC_FILE_BYTES + 1);
    if (!buf) return -4;
    int n = zyr_fread(buf, 1, TC_FILE_BYTES + 1, f);
    int rc = 0;
    if (n <= 0) {
        rc = -5;
    } else if (n > TC_BYTES_MAX) {
        rc = -9;   // a command cut short must never go out
    } else if (serial_route) {
        if (serial.r.out_size - 1 - serial_out_fill() < (uint32_t)n || serial_put(buf, n) != 0) rc = -6;
    } else if (net_put(buf, n) != n) {
        rc = -8;
    }
    QOBfree(buf);
    return rc;
}

int tc_dispatch() {
    if (zyr.zyr_msecs - echo.last_dispatch_ms < TC_DISPATCH_MS) return 0;
    echo.last_dispatch_ms = zyr.zyr_msecs;
    if (!zyr_fexists(kCommandFile)) {
        echo.dispatcher_waiting = false;
        return 0;
    }
    if (!echo.dispatcher_enabled) {
        echo.dispatcher_waiting = true;
        return 0;
    }
    int f = zyr_fopen(kCommandFile, "rb", 0);
    int rc = f < 0 ? -1 : dispatch_file(f);
    if (f >= 0) zyr_fclose(f);
    remove(kCommandFile);
    char t[16], line[128];
    time_text(t, sizeof t);
    if (rc == 0) snprintf(line, sizeof line, "%s: Command file DEFTC.BIN Processed by dispatcher OK", t);
    else snprintf(line, sizeof line, "%s Command Dispatcher encountered error %d", t, rc);
    debug_printf("%s", line);
    zyr_message(line, 0);
    return rc;
}

// ---- wiring ----------------------------------------------------------------------------------

static void (*g_next_packet_outputs)();

// The per-packet outputs: the records first, then the echo. The stage
// stays on while anything uses it.
static void packet_outputs() {
    if (g_next_packet_outputs) g_next_packet_outputs();
    echo_packet();
    const uint32_t users = IO_RAW_RECORD | IO_ASCII_RECORD | IO_COMP_RECORD | IO_USER_PACKET_OUT;
    if (!(zyr.SystemFlags & SF_ECHO) && !(zyr.IoFlags & users)) zyr.work_mask &= ~WM_OUTPUT;
}

// A packet the filter rejected is echoed all the same.
static void echo_only() { echo_packet(); }

static void mark() { echo.marked = true; }

// The input holds the next packet while the last echo waits for a write
// slot and the serial output has writes in flight.
static bool hold() { return (zyr.SystemFlags & SF_ECHO) && !echo.echo_done && !serial_output_free(); }

static void dispatcher() { tc_dispatch(); }

void echo_register() {
    if (cycle_hooks.packet_outputs != packet_outputs) {
        g_next_packet_outputs = cycle_hooks.packet_outputs;
        cycle_hooks.packet_outputs = packet_outputs;
    }
    cycle_hooks.mark_echo_only = echo_only;
    cycle_hooks.command_dispatcher = dispatcher;
    input_hooks.echo_mark = mark;
    input_hooks.echo_hold = hold;
}

void echo_reset() {
    echo = EchoState{};
    echo.echo_done = true;
    echo.dispatcher_enabled = true;
    g_next_packet_outputs = nullptr;
}
