// The one-source rule and the per-pass dispatch to the current source.
#include "engine/input.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/diagnostics.h"
#include "core/packet.h"
#include "core/state.h"
#include "engine/ccsds.h"
#include "engine/cycle.h"
#include "engine/playback.h"
#include "engine/serialcfg.h"
#include "engine/startup.h"
#include "platform/ui.h"

// In the order of their codes: the first that is on is the current source.
const InputSourceInfo kInputSources[8] = {
    {SRC_TEST, IO_TEST_DATA, "Test data", "Test data generation\n"},
    {SRC_USER_BYTE, IO_USER_BYTE_IN, "User byte", "Read user byte\n"},
    {SRC_USER_PACKET, IO_USER_PACKET_IN, "User pck", "Read user packet\n"},
    {SRC_RAW, IO_RAW_PLAYBACK, "Raw", "Raw file playback\n"},
    {SRC_COMPRESSED, IO_COMP_PLAYBACK, "Compressed", "Compressed file playback\n"},
    {SRC_ASCII, IO_ASCII_PLAYBACK, "Ascii", "Ascii file playback\n"},
    {SRC_SERIAL, IO_SERIAL_IN, "Serial", "Serial port\n"},
    {SRC_NETWORK, IO_NET_IN, "TCPIP/UDP", "Network\n"},
};
static_assert(std::size(kInputSources) == 8);

InputHooks input_hooks;
TelmConfig telmconfig;

static uint32_t g_last_test_ms;
static bool g_test_started;

void input_reset() {
    input_hooks = InputHooks{};
    memset(&telmconfig, 0, sizeof telmconfig);
    g_last_test_ms = 0;
    g_test_started = false;
}

static const InputSourceInfo* source_info(int code) {
    for (const InputSourceInfo& s : kInputSources)
        if (s.code == code) return &s;
    return nullptr;
}

int current_input_source(uint32_t excluded, char* prompt) {
    for (const InputSourceInfo& s : kInputSources) {
        if (s.bit == excluded || !(zyr.IoFlags & s.bit)) continue;
        if (prompt) snprintf(prompt, 32, "Error: %s", s.short_name);
        return s.code;
    }
    return SRC_NONE;
}

int input_conflict_check(uint32_t bit) {
    int other = current_input_source(bit, nullptr);
    if (other == SRC_NONE) return 0;
    char text[256];
    snprintf(text, sizeof text, "Data is already incoming from:\n%sContinuing will switch it off\nDo you wish to continue ?\n",
             source_info(other)->conflict);
    if (plat_message_box(text, "Data Input", MB_YESNO | MB_ICONINFORMATION) != IDYES) return other;
    input_switch_off(other);
    return 0;
}

void input_switch_off(int code) {
    switch (code) {
    case SRC_TEST: zyr.IoFlags &= ~IO_TEST_DATA; break;
    case SRC_USER_BYTE: zyr.IoFlags &= ~IO_USER_BYTE_IN; break;
    case SRC_USER_PACKET: zyr.IoFlags &= ~IO_USER_PACKET_IN; break;
    // A playback's counts end with its file.
    case SRC_RAW:
        playback_close(PB_RAW);
        zyr.SystemFlags |= SF_RESET_STATS;
        break;
    case SRC_COMPRESSED:
        playback_close(PB_COMPRESSED);
        zyr.SystemFlags |= SF_RESET_STATS;
        break;
    case SRC_ASCII:
        playback_close(PB_ASCII);
        zyr.SystemFlags |= SF_RESET_STATS;
        break;
    case SRC_SERIAL:
        if (input_hooks.serial_close_input) input_hooks.serial_close_input();
        zyr.IoFlags &= ~IO_SERIAL_IN;
        break;
    case SRC_NETWORK:
        if (input_hooks.network_close_input) input_hooks.network_close_input();
        zyr.IoFlags &= ~IO_NET_IN;
        break;
    default: break;
    }
    if (diag_hooks.redraw_status) diag_hooks.redraw_status();
}

// ---- test data ------------------------------------------------------------------

static int test_packet_len() { return pkt_layout.header_len + pkt_layout.data_len; }

void prepare_test_packet() {
    if (!pkt.image) return;
    int len = test_packet_len();
    memset(pkt.image, 0, (size_t)len);
    packet_put_sync(pkt.image);
    for (int i = 0; i < pkt_layout.data_len; i++) pkt.image[pkt_layout.header_len + i] = (uint8_t)(i % 256);
}

static void put_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}

static void next_counter(uint8_t* p) {
    if (pkt_layout.counter_len == 1) {
        p[0]++;
    } else if (pkt_layout.counter_len == 2) {
        uint16_t c = (uint16_t)(p[0] | p[1] << 8);
        c++;
        p[0] = (uint8_t)c;
        p[1] = (uint8_t)(c >> 8);
    }
}

int test_data_packet() {
    if (input_hooks.echo_hold && input_hooks.echo_hold()) return PKT_NO_DATA;
    int len = test_packet_len();
    if (!pkt.image || !pkt.buf || len <= 0) return PKT_NO_DATA;
    uint32_t period = com_output_port >= 0 ? PckMsecsPeriod(&com_settings[com_output_port], len) : 1;
    if (period == 0) return PKT_NO_DATA;
    uint32_t since = zyr.zyr_msecs - g_last_test_ms;
    if (g_test_started && since < period) return PKT_NO_DATA;
    // The period counts from when the last packet was due, so passes of
    // 10 ms keep the line's packet rate; a generator that fell behind by
    // more than a period starts again from now.
    g_last_test_ms = (g_test_started && since < 2 * period) ? g_last_test_ms + period : zyr.zyr_msecs;
    g_test_started = true;
    uint8_t* p = pkt.image;
    if (pkt_layout.counter_len) next_counter(p + pkt_layout.counter_pos);
    if (pkt_layout.desc.flags & PKT_TIME) put_le32(p + pkt_layout.time_pos, (uint32_t)zyr.caltime);
    packet_put_checksum(p, len);
    memcpy(pkt.buf, p, (size_t)len);
    pkt.len = len;
    zyr_stat(ST_BYTES_READ) += (uint32_t)len;
    return PKT_OK;
}

// ---- the dispatcher ---------------------------------------------------------------

// Reads from the first source that is on, in the order of the drivers.
static int read_from_source(int* source) {
    uint32_t io = zyr.IoFlags;
    if (io & (IO_SERIAL_IN | IO_NET_IN | IO_RAW_PLAYBACK)) {
        *source = (io & IO_SERIAL_IN) ? SRC_SERIAL : (io & IO_NET_IN) ? SRC_NETWORK : SRC_RAW;
        return get_packet();
    }
    if (io & IO_COMP_PLAYBACK) {
        *source = SRC_COMPRESSED;
        return compressed_read_packet();
    }
    if (io & IO_ASCII_PLAYBACK) {
        *source = SRC_ASCII;
        return ascii_read_packet();
    }
    if (io & IO_USER_PACKET_IN) {
        *source = SRC_USER_PACKET;
        return PKT_NO_DATA;  // the user packet hook delivers nothing
    }
    if (io & IO_TEST_DATA) {
        *source = SRC_TEST;
        return test_data_packet();
    }
    *source = SRC_NONE;
    return PKT_NO_DATA;
}

static void packet_delivered(int source) {
    uint8_t* p = pkt.buf;
    int len = pkt.len;
    if (pkt_layout.desc.flags & PKT_CCSDS) ccsds_frame_output(p, len);
    zyr_stat(ST_LAST_PACKET_TIME) = (uint32_t)zyr.caltime;
    packet_exchange_bits(p, len);
    zyr.zyrfr_cnt++;
    if ((zyr.SystemFlags & SF_ECHO) && input_hooks.echo_mark) input_hooks.echo_mark();
    if (source != SRC_USER_PACKET && source != SRC_TEST) packet_checks(p, len);
    packet_good();
}

int get_next_packet() {
    zyr.SystemFlags &= ~(SF_SYNC_LOST | SF_NO_PACKET);
    int r = PKT_NO_DATA;
    int source = SRC_NONE;
    bool hold = (zyr.SystemFlags & SF_ECHO) && input_hooks.echo_hold && input_hooks.echo_hold();
    if (!hold) r = read_from_source(&source);
    if (r == PKT_OK) {
        packet_delivered(source);
        return PKT_OK;
    }
    zyr.SystemFlags |= SF_SYNC_LOST | SF_NO_PACKET;
    return r;
}

// ---- input timeout ------------------------------------------------------------------

int input_timeout_check() {
    int r = input_hooks.serial_timeout_check ? input_hooks.serial_timeout_check() : SERIAL_NO_TIMEOUT;
    if (r == SERIAL_NO_TIMEOUT) return 0;
    if (r == SERIAL_INPUT_TIMEOUT && !(zyr.IoFlags & IO_OTHER_INPUTS)) zyr_err(6, 1, "", 0, 0, 0);
    return 6;
}

// ---- status texts ---------------------------------------------------------------------

static void set_texts(char* kind, char* desc, char* format, const char* k, const char* d, const char* f) {
    snprintf(kind, 9, "%s", k);
    snprintf(desc, 33, "%s", d);
    snprintf(format, 9, "%s", f);
}

// A file name longer than the field keeps its tail.
static const char* name_tail(const char* name) {
    size_t n = strlen(name);
    return n > 32 ? name + n - 32 : name;
}

static const char* slot_name(int slot) {
    const char* n = zyr_fname(slot);
    return n ? name_tail(n) : "";
}

static void input_texts() {
    TelmConfig& t = telmconfig;
    char desc[40];
    switch (current_input_source(0, nullptr)) {
    case SRC_TEST: set_texts(t.in_kind, t.in_desc, t.in_format, "TEST", "TESTDATA", "RAW"); break;
    case SRC_USER_BYTE: set_texts(t.in_kind, t.in_desc, t.in_format, "APIUB", "API user defined byte input", "API"); break;
    case SRC_USER_PACKET:
        set_texts(t.in_kind, t.in_desc, t.in_format, "APIUP", "API user defined packet input", "API");
        break;
    case SRC_RAW: set_texts(t.in_kind, t.in_desc, t.in_format, "FILE", slot_name(playback.slot[PB_RAW]), "RAW"); break;
    case SRC_COMPRESSED:
        set_texts(t.in_kind, t.in_desc, t.in_format, "FILE", slot_name(playback.slot[PB_COMPRESSED]),
                  "COMPRD");
        break;
    case SRC_ASCII:
        set_texts(t.in_kind, t.in_desc, t.in_format, "FILE", slot_name(playback.slot[PB_ASCII]), "ASCII");
        break;
    case SRC_SERIAL:
        snprintf(desc, sizeof desc, "COM%1d", input_hooks.serial_port_number ? input_hooks.serial_port_number(false)
                                                                              : com_input_port + 1);
        set_texts(t.in_kind, t.in_desc, t.in_format, "SERIAL", desc, "RAW");
        break;
    case SRC_NETWORK: {
        bool udp = input_hooks.network_is_udp && input_hooks.network_is_udp();
        set_texts(t.in_kind, t.in_desc, t.in_format, udp ? "UDP" : "TCPIP", "Network Client", "RAW");
        break;
    }
    default: set_texts(t.in_kind, t.in_desc, t.in_format, "NONE", "NO INPUT SOURCE", ""); break;
    }
}

// One record file names its format; several join "R,", "A," and "C".
static void record_texts() {
    static const struct {
        uint32_t bit;
        const char* alone;
        const char* joined;
        PlaybackKind kind;
    } kKinds[] = {
        {IO_RAW_RECORD, "RAW", "R,", PB_RAW},
        {IO_ASCII_RECORD, "ASCII", "A,", PB_ASCII},
        {IO_COMP_RECORD, "COMPRD", "C", PB_COMPRESSED},
    };
    char format[16] = "";
    const char* alone = "";
    const char* name = "";
    int count = 0;
    for (const auto& k : kKinds) {
        if (!(zyr.IoFlags & k.bit)) continue;
        count++;
        alone = k.alone;
        strcat(format, k.joined);
        int slot = k.kind == PB_RAW ? recording.slots.raw
                   : k.kind == PB_ASCII ? recording.slots.ascii
                                        : recording.slots.compressed;
        if (!*name) name = slot_name(slot);
    }
    set_texts(telmconfig.out_kind, telmconfig.out_desc, telmconfig.out_format, "FILE", name, count == 1 ? alone : format);
}

static void output_texts() {
    TelmConfig& t = telmconfig;
    uint32_t io = zyr.IoFlags;
    char desc[40];
    if (io & IO_NET_OUT) {
        bool udp = input_hooks.network_is_udp && input_hooks.network_is_udp();
        set_texts(t.out_kind, t.out_desc, t.out_format, udp ? "UDP" : "TCPIP", "Network Server", "RAW");
    } else if (io & IO_USER_PACKET_OUT) {
        set_texts(t.out_kind, t.out_desc, t.out_format, "APIUP", "API user defined packet output", "API");
    } else if (io & IO_USER_BYTE_OUT) {
        set_texts(t.out_kind, t.out_desc, t.out_format, "APIUB", "API user defined byte output", "API");
    } else if (io & IO_SERIAL_OUT) {
        snprintf(desc, sizeof desc, "COM%1d", input_hooks.serial_port_number ? input_hooks.serial_port_number(true)
                                                                              : com_output_port + 1);
        set_texts(t.out_kind, t.out_desc, t.out_format, "SERIAL", desc, "RAW");
    } else if (io & (IO_RAW_RECORD | IO_ASCII_RECORD | IO_COMP_RECORD)) {
        record_texts();
    } else {
        set_texts(t.out_kind, t.out_desc, t.out_format, "NONE", "NO OUTPUT SOURCE", "");
    }
}

void telmconfig_refresh() {
    input_texts();
    output_texts();
}

// ---- user hooks ------------------------------------------------------------------------

// The user packet output only counts what it is given.
void user_packet_out(const uint8_t*, int len) {
    zyr_stat(ST_PACKETS_SENT)++;
    zyr_stat(ST_BYTES_SENT) += (uint32_t)len;
    zyr_stat(ST_LAST_SENT_PACKET_TIME) = (uint32_t)zyr.caltime;
}

// The user byte output accepts every byte and drops it.
void user_byte_out(uint8_t) {}

// ---- wiring into the cycle -----------------------------------------------------------

static void acquire() { get_next_packet(); }

// Record files get every accepted packet; the raw file already has the
// bytes of a stream source, so only packets of the other sources go there.
static void packet_outputs() {
    bool stream = zyr.IoFlags & (IO_SERIAL_IN | IO_NET_IN | IO_RAW_PLAYBACK | IO_USER_BYTE_IN);
    record_packet(pkt.buf, pkt.len, !stream);
    if (zyr.IoFlags & IO_USER_PACKET_OUT) user_packet_out(pkt.buf, pkt.len);
}

static void timeout_check() { input_timeout_check(); }

static void playback_ended() { cycle_step_mode(false); }

static void close_cycle_files() { playback_reset(); }

static void channel_file_service() { ccsds_service(); }

void input_register() {
    cycle_hooks.get_next_packet = acquire;
    cycle_hooks.packet_outputs = packet_outputs;
    cycle_hooks.input_timeout = timeout_check;
    cycle_hooks.status_texts = telmconfig_refresh;
    cycle_hooks.ccsds_service = channel_file_service;
    packet_hooks.prepare_test_packet = prepare_test_packet;
    packet_hooks.user_byte_out = user_byte_out;
    playback.eof_hook = playback_ended;
    startup_hooks.close_cycle_files = close_cycle_files;
}
