// Keys and end checks of [packet] and [system]. The packet header is built
// in the order its keys are written, each key appending its part; the
// system sub-blocks gather one serial, file or network entry at a time and
// place it in the system record when the sub-block ends.
#include "compiler/sysblocks.h"

#include <cctype>
#include <cstring>
#include <iterator>
#include <strings.h>

#include "compiler/report.h"
#include "compiler/values.h"
#include "core/state.h"
#include "core/symtab.h"

static PacketRecord g_pkt;       // the packet record
static int g_sync_bits;          // [sync] settings, built into the record when the block ends
static uint32_t g_sync_pattern;
static uint32_t g_sync_mask;
static bool g_sync_length_given;
static SystemRecord g_sys;       // the system record
static bool g_output;            // inside [output] (else [input])
static SerialEntry g_ser;        // the [serial] entry being gathered
static uint16_t g_ser_flags;     // its enable bit 0x4
static FileEntry g_file;         // the [file] entry being gathered
static NetEntry g_net;           // the [network] entry being gathered

void packet_record_defaults(PacketRecord* r) {
    packet_defaults(r);
    BuildSync(r, 16, 0x1234, 0xFFFFFFFFu);
    packet_add_part(r, PART_CHECKSUM, 2);
    packet_add_part(r, PART_MARKER, 0);
    packet_add_part(r, PART_TIME, 4);
    packet_add_part(r, PART_COUNTER, 1);
}

void sysblocks_reset() {
    packet_record_defaults(&g_pkt);
    memset(&g_sys, 0, sizeof g_sys);
    g_output = false;
}

static struct SysblocksInit {
    SysblocksInit() { sysblocks_reset(); }
} g_sysblocks_init;

// Each page starts from the same packet record, so a page compiles the
// same whichever pages were compiled before it.
void sysblocks_page_start() { sysblocks_reset(); }

const PacketRecord* packet_record() { return &g_pkt; }
const SystemRecord* system_record() { return &g_sys; }

// ---- [sync] ------------------------------------------------------------------

enum : uint32_t { SY_LENGTH = 0x1, SY_PATTERN = 0x2, SY_MASK = 0x4, SY_REPORT = 0x8 };

static bool pattern_fits(uint32_t pattern, int bits) { return bits >= 32 || (pattern >> bits) == 0; }

static int set_sync_length(const Token* v, int) {
    int64_t n;
    if (value_whole(v, &n) != 0) {
        cmp_error("Invalid number");
        return KEY_REPORTED;
    }
    if (n != 8 && n != 16 && n != 24 && n != 32) {
        cmp_error("Sync pattern is not 1,2,3 or 4 bytes long");
        return KEY_REPORTED;
    }
    g_sync_bits = (int)n;
    g_sync_length_given = true;
    return KEY_OK;
}

static int set_sync_pattern(const Token* v, int) {
    uint32_t p;
    if (value_u32(v, &p) != 0) {
        cmp_error("Cannot convert sync pattern - invalid number");
        return KEY_REPORTED;
    }
    if (g_sync_length_given && !pattern_fits(p, g_sync_bits)) {
        cmp_error("Sync pattern is illegal or not in accord with sync length");
        return KEY_REPORTED;
    }
    g_sync_pattern = p;
    return KEY_OK;
}

static int set_sync_mask(const Token* v, int) {
    if (value_u32(v, &g_sync_mask) != 0) {
        cmp_error("Invalid number");
        return KEY_REPORTED;
    }
    return KEY_OK;
}

static int set_reportsyncloss(const Token* v, int) { return put_switch(v, &g_pkt.flags, PKT_REPORTSYNCLOSS); }

static void sync_begin() {
    g_sync_bits = 16;
    g_sync_pattern = 0x1234;
    g_sync_mask = 0xFFFFFFFFu;
    g_sync_length_given = false;
}

// The pattern is built when the block ends; a pattern written before its
// length is checked against it here.
static void sync_end(uint32_t seen) {
    const uint32_t all = SY_LENGTH | SY_PATTERN | SY_MASK | SY_REPORT;
    if (seen && (seen & all) != all) cmp_error("Partially specified [sync] block illegal");
    if ((seen & SY_PATTERN) && !pattern_fits(g_sync_pattern, g_sync_bits))
        cmp_error("Sync pattern is illegal or not in accord with sync length");
    if (BuildSync(&g_pkt, g_sync_bits, g_sync_pattern, g_sync_mask) != 0)
        cmp_error("Errors encountered generating the synchronization pattern");
}

static const KeyRow kSyncKeys[] = {
    {TOK_LENGTH, SY_LENGTH, 0, set_sync_length, nullptr},
    {TOK_PATTERN, SY_PATTERN, 0, set_sync_pattern, nullptr},
    {TOK_MASK, SY_MASK, 0, set_sync_mask, nullptr},
    {TOK_REPORTSYNCLOSS, SY_REPORT, 0, set_reportsyncloss, nullptr},
};
static_assert(std::size(kSyncKeys) == 4);
static const BlockKind kSyncBlock = {TOK_SYNC, kSyncKeys, 4, sync_begin, sync_end};

// ---- [packet] ------------------------------------------------------------------

enum : uint32_t {
    PK_SYNC = 0x1, PK_SPARE = 0x2, PK_SUMCHECK = 0x4, PK_TIME = 0x8, PK_COUNTER = 0x10,
    PK_FIXED = 0x20, PK_CCSDS = 0x40,
};

static int set_spare(const Token* v, int) {
    int64_t n;
    if (value_whole(v, &n) != 0) {
        cmp_error("Cannot convert spare length - invalid number");
        return KEY_REPORTED;
    }
    if (n < 0 || packet_add_part(&g_pkt, PART_SPARE, (int)n) != 0) {
        cmp_error("Header length out of range 1-128");
        return KEY_REPORTED;
    }
    return KEY_OK;
}

// sumcheck and time: the flag, and when on the header part.
static int set_header_switch(const Token* v, int key) {
    int on = value_switch(v);
    if (on < 0) return KEY_REFUSED;
    uint32_t flag = key == TOK_SUMCHECK ? PKT_SUMCHECK : PKT_TIME;
    if (!on) {
        g_pkt.flags &= ~flag;
        return KEY_OK;
    }
    if (packet_add_part(&g_pkt, key == TOK_SUMCHECK ? PART_CHECKSUM : PART_TIME, key == TOK_SUMCHECK ? 2 : 4) != 0) {
        cmp_error("Header length out of range 1-128");
        return KEY_REPORTED;
    }
    g_pkt.flags |= flag;
    return KEY_OK;
}

static int set_counter_length(const Token* v, int) {
    int64_t n;
    if (value_whole(v, &n) != 0) {
        cmp_error("Cannot convert counter length - invalid number");
        return KEY_REPORTED;
    }
    if (n < 0 || n > 2 || packet_add_part(&g_pkt, PART_COUNTER, (int)n) != 0) {
        cmp_error("Packet counter error occured:\nEITHER counter not integral 0, 1 or 2 bytes long OR\n"
                  "perhaps header > 128 byte max");
        return KEY_REFUSED;
    }
    g_pkt.packetcounterlength = (uint16_t)n;
    return KEY_OK;
}

// The length also places the zero-length marker part, as the packet setup
// of the engine does.
static int set_fixed_length(const Token* v, int) {
    int64_t n;
    if (value_whole(v, &n) != 0) {
        cmp_error("Cannot convert sync length - invalid number");
        return KEY_REPORTED;
    }
    if (n < 0 || n > MAXPKTLEN) {
        cmp_error("Fixed packet length is out of range 1-4224");
        return KEY_REPORTED;
    }
    g_pkt.fixedpacketlength = (uint16_t)n;
    packet_add_part(&g_pkt, PART_MARKER, 0);
    return KEY_OK;
}

static int set_ccsds(const Token* v, int) { return put_switch(v, &g_pkt.flags, PKT_CCSDS); }

void packet_before() {
    memset(g_pkt.part_offset, 0, sizeof g_pkt.part_offset);
    memset(g_pkt.part_length, 0, sizeof g_pkt.part_length);
    g_pkt.header_len = 0;
}

static void packet_end(uint32_t seen) {
    const uint32_t needed = PK_SYNC | PK_FIXED | PK_COUNTER | PK_SUMCHECK | PK_TIME;
    if (!seen)
        packet_record_defaults(&g_pkt);
    else if ((seen & needed) != needed)
        cmp_error("Partially specified [packet] block illegal");
}

void packet_after() {
    if (g_pkt.fixedpacketlength != 0 && g_pkt.fixedpacketlength < g_pkt.header_len)
        cmp_error("Fixed packet length < header length");
    if (cmp.block_error) packet_record_defaults(&g_pkt);
}

static const KeyRow kPacketKeys[] = {
    {TOK_SYNC, PK_SYNC, 0, nullptr, &kSyncBlock},
    {TOK_SPARE, PK_SPARE, KEY_REPEATS, set_spare, nullptr},
    {TOK_SUMCHECK, PK_SUMCHECK, 0, set_header_switch, nullptr},
    {TOK_TIME, PK_TIME, 0, set_header_switch, nullptr},
    {TOK_PACKETCOUNTERLENGTH, PK_COUNTER, 0, set_counter_length, nullptr},
    {TOK_FIXEDPACKETLENGTH, PK_FIXED, 0, set_fixed_length, nullptr},
    {TOK_CCSDS, PK_CCSDS, 0, set_ccsds, nullptr},
};
static_assert(std::size(kPacketKeys) == 7);
const BlockKind kPacketBlock = {TOK_PACKET, kPacketKeys, 7, nullptr, packet_end};

// ---- [serial] ------------------------------------------------------------------

enum : uint32_t {
    SE_ENABLE = 0x1, SE_COMPORT = 0x2, SE_BAUD = 0x4, SE_DATABITS = 0x8, SE_STOPBITS = 0x10,
    SE_PARITY = 0x20, SE_BUFSIZE = 0x40, SE_ECHO = 0x80, SE_ASCIIOUT = 0x100,
};
constexpr uint16_t COMPORT_UNSET = 0xFFFF;

// A number of a [serial] key: unreadable is "Invalid number".
static bool serial_number(const Token* v, int64_t* n) {
    if (value_whole(v, n) == 0) return true;
    cmp_error("Invalid number");
    return false;
}

// A range error refuses the line as well, so the key may be given again.
static int serial_range_error(const char* msg) {
    cmp_error("%s", msg);
    return KEY_REFUSED;
}

static int set_serial_enable(const Token* v, int) {
    uint32_t f = g_ser_flags;
    int rc = put_switch(v, &f, 0x4);
    g_ser_flags = (uint16_t)f;
    return rc;
}

// An unreadable comport is reported but not refused: the block then has a
// comport line and no port, and is not applied.
static int set_comport(const Token* v, int) {
    int64_t n;
    if (!serial_number(v, &n)) return KEY_OK;
    if (n < 1 || n > 4) return serial_range_error("Comport value outside range - invalid number");
    g_ser.comport = (uint16_t)(n - 1);
    return KEY_OK;
}

// The field is 16 bits: 115200 is kept as 11520, which the serial driver
// reads back as 115200; no other value above 65535 could be kept at all.
static int set_baud(const Token* v, int) {
    int64_t n;
    if (!serial_number(v, &n)) return KEY_REFUSED;
    if (n < 34 || n > 115200) return serial_range_error("Baud value outside 34-115200 bits/sec range");
    if (n > 65535 && n != 115200) return serial_range_error("Baud value above 65535 must be 115200");
    g_ser.baud = (uint16_t)(n == 115200 ? 11520 : n);
    return KEY_OK;
}

static int set_databits(const Token* v, int) {
    int64_t n;
    if (!serial_number(v, &n)) return KEY_REFUSED;
    if (n < 5 || n > 8) return serial_range_error("Databits outside 5-8 range");
    g_ser.databits = (uint16_t)(n - 5);
    return KEY_OK;
}

static int set_stopbits(const Token* v, int) {
    int64_t n;
    if (!serial_number(v, &n)) return KEY_REFUSED;
    if (n != 1 && n != 2) return serial_range_error("Stopbits not 1 or 2");
    g_ser.stopbits = n == 1 ? 0 : 4;
    return KEY_OK;
}

static int set_parity(const Token* v, int) {
    static const struct { const char* name; uint16_t code; } kParities[] = {{"none", 0}, {"odd", 8}, {"even", 24}};
    static_assert(std::size(kParities) == 3);
    if (v->cls != TC_STRING) return KEY_REFUSED;
    for (const auto& p : kParities)
        if (strcasecmp(v->text, p.name) == 0) {
            g_ser.parity = p.code;
            return KEY_OK;
        }
    return serial_range_error("Invalid parity, not 'none', 'odd' or 'even'");
}

static int set_serial_bufsize(const Token* v, int) {
    int64_t n;
    if (!serial_number(v, &n)) return KEY_REFUSED;
    if (n < 16) {
        cmp_warning("Bufsize is smaller than 16 bytes - 16 bytes will be used", nullptr);
        n = 16;
    } else if (n > 65535) {
        cmp_warning("Bufsize is larger than 65535 bytes - 65535 bytes will be used", nullptr);
        n = 65535;
    }
    g_ser.bufsize = (uint16_t)n;
    return KEY_OK;
}

static int set_serial_sysflag(const Token* v, int key) {
    return put_switch(v, &g_sys.sysflags, key == TOK_ECHO ? SF_ECHO : 0x200000u);
}

static void serial_begin() {
    memset(&g_ser, 0, sizeof g_ser);
    g_ser.comport = COMPORT_UNSET;
    g_ser.baud = 9600;
    g_ser.databits = 3;
    g_ser.stopbits = 0;
    g_ser.parity = 0;
    g_ser.bufsize = 8192;
    g_ser_flags = 0;
}

static void serial_end(uint32_t seen) {
    if (!seen) return cmp_warning("Empty [serial] sub-block", nullptr);
    if (!(seen & SE_COMPORT)) return cmp_error("Illegal [serial] block - comport identifier not found");
    if (g_ser.comport == COMPORT_UNSET) return;
    SerialEntry* e = &g_sys.serial[g_ser.comport];
    uint8_t other = g_output ? 0x1 : 0x2;
    if (!(e->flags & other)) {
        uint8_t flags = e->flags;
        *e = g_ser;
        e->flags = flags;
    }
    e->flags |= g_output ? 0x2 : 0x1;
    if (g_ser_flags & 0x4) e->flags |= g_output ? 0x10 : 0x8;
}

static const KeyRow kSerialKeys[] = {
    {TOK_ENABLE, SE_ENABLE, 0, set_serial_enable, nullptr},
    {TOK_COMPORT, SE_COMPORT, 0, set_comport, nullptr},
    {TOK_BAUD, SE_BAUD, 0, set_baud, nullptr},
    {TOK_DATABITS, SE_DATABITS, 0, set_databits, nullptr},
    {TOK_STOPBITS, SE_STOPBITS, 0, set_stopbits, nullptr},
    {TOK_PARITY, SE_PARITY, 0, set_parity, nullptr},
    {TOK_BUFSIZE, SE_BUFSIZE, 0, set_serial_bufsize, nullptr},
    {TOK_ECHO, SE_ECHO, 0, set_serial_sysflag, nullptr},
    {TOK_ASCIIOUT, SE_ASCIIOUT, 0, set_serial_sysflag, nullptr},
};
static_assert(std::size(kSerialKeys) == 9);
static const BlockKind kSerialBlock = {TOK_SERIAL, kSerialKeys, 9, serial_begin, serial_end};

// ---- [file] --------------------------------------------------------------------

static int set_file_name(const Token* v, int) { return put_text(v, "filename", g_file.filename, sizeof g_file.filename); }

static int set_file_format(const Token* v, int) {
    if (v->cls != TC_STRING) return KEY_REFUSED;
    g_file.format[0] = v->text[0];
    g_file.format[1] = 0;
    return KEY_OK;
}

static int set_file_mode(const Token* v, int) { return put_text(v, "filemode", g_file.filemode, sizeof g_file.filemode); }

static int set_file_bufsize(const Token* v, int) { return put_u32(v, &g_file.bufsize); }

// The IoFlags bit of a mode letter and a format letter, 0 when either is
// not known.
static uint32_t file_mode_bits(char mode, char format, bool* mode_ok) {
    mode = (char)tolower((unsigned char)mode);
    format = (char)tolower((unsigned char)format);
    bool read = mode == 'r';
    *mode_ok = read || mode == 'w' || mode == 'a';
    switch (format) {
    case 'r': return read ? IO_RAW_PLAYBACK : IO_RAW_RECORD;
    case 'c': return read ? IO_COMP_PLAYBACK : IO_COMP_RECORD;
    case 'a': return read ? IO_ASCII_PLAYBACK : IO_ASCII_RECORD;
    default: return 0;
    }
}

static void file_begin() { memset(&g_file, 0, sizeof g_file); }

static void file_end(uint32_t seen) {
    if (!seen) return cmp_warning("Empty [File] sub-block", nullptr);
    if (!g_file.filename[0]) return;
    int free_entry = -1;
    for (int i = 0; i < 4 && free_entry < 0; i++)
        if (!g_sys.files[i].filename[0]) free_entry = i;
    if (free_entry < 0) return cmp_error("More than four packet I/O files specified");
    bool mode_ok;
    uint32_t bits = file_mode_bits(g_file.filemode[0], g_file.format[0], &mode_ok);
    if (!mode_ok) return cmp_error("Unrecognised file mode");
    if (!bits) return cmp_error("Unrecognised file format");
    g_file.mode = bits;
    g_sys.files[free_entry] = g_file;
}

enum : uint32_t { FI_NAME = 0x1, FI_FORMAT = 0x2, FI_MODE = 0x4, FI_BUFSIZE = 0x8 };
static const KeyRow kFileKeys[] = {
    {TOK_FILENAME, FI_NAME, 0, set_file_name, nullptr},
    {TOK_FORMAT, FI_FORMAT, 0, set_file_format, nullptr},
    {TOK_FILEMODE, FI_MODE, 0, set_file_mode, nullptr},
    {TOK_BUFSIZE, FI_BUFSIZE, 0, set_file_bufsize, nullptr},
};
static_assert(std::size(kFileKeys) == 4);
static const BlockKind kFileBlock = {TOK_FILE, kFileKeys, 4, file_begin, file_end};

// ---- [network] -------------------------------------------------------------------

enum : uint32_t { NET_TCP = 0x10000, NET_UDP = 0x20000 };

static int set_net_bufsize(const Token* v, int) { return put_u32(v, &g_net.bufsize); }
static int set_net_host(const Token* v, int) { return put_text(v, "filename", g_net.host, sizeof g_net.host); }
static int set_net_port(const Token* v, int key) {
    return put_u16(v, key == TOK_TCPPORTNO ? &g_net.tcpportno : &g_net.udpportno);
}
static int set_net_protocol(const Token* v, int key) {
    return put_switch(v, &g_net.protocol, key == TOK_TCPPROTOCOL ? NET_TCP : NET_UDP);
}

static void network_begin() { memset(&g_net, 0, sizeof g_net); }

static void network_end(uint32_t seen) {
    if (!seen) return cmp_warning("Empty [network] sub-block", nullptr);
    NetEntry* e = g_output ? &g_sys.net_out : &g_sys.net_in;
    uint32_t flags = e->protocol | g_net.protocol;
    if (g_net.protocol & NET_TCP)
        flags |= g_output ? 0x08 : 0x20;
    else if (g_net.protocol & NET_UDP)
        flags |= g_output ? 0x40 : 0x80;
    uint32_t unlisted = e->unlisted;
    *e = g_net;
    e->protocol = flags;
    e->unlisted = unlisted;
}

static const KeyRow kNetworkKeys[] = {
    {TOK_BUFSIZE, 0x1, 0, set_net_bufsize, nullptr},
    {TOK_FILENAME, 0x2, 0, set_net_host, nullptr},
    {TOK_TCPPORTNO, 0x4, 0, set_net_port, nullptr},
    {TOK_UDPPORTNO, 0x8, 0, set_net_port, nullptr},
    {TOK_TCPPROTOCOL, 0x10, 0, set_net_protocol, nullptr},
    {TOK_UDPPROTOCOL, 0x20, 0, set_net_protocol, nullptr},
};
static_assert(std::size(kNetworkKeys) == 6);
static const BlockKind kNetworkBlock = {TOK_NETWORK, kNetworkKeys, 6, network_begin, network_end};

// ---- [testdata] and [api] ---------------------------------------------------------

static int set_io_switch(const Token* v, int key) {
    static const struct { int key; uint32_t bit; } kIoBits[] = {
        {TOK_ENABLE, IO_TEST_DATA},
        {TOK_APIREADBYTE, IO_USER_BYTE_IN},
        {TOK_APIREADPKT, IO_USER_PACKET_IN},
        {TOK_APIWRITEBYTE, IO_USER_BYTE_OUT},
        {TOK_APIWRITEPKT, IO_USER_PACKET_OUT},
        {TOK_BACKUP, 0x800},
        {TOK_OPENONEOF, 0x4000},
    };
    static_assert(std::size(kIoBits) == 7);
    for (const auto& b : kIoBits)
        if (b.key == key) return put_switch(v, &g_sys.ioflags, b.bit);
    return KEY_REFUSED;
}

static void testdata_end(uint32_t seen) {
    if (!seen) cmp_warning("Empty [Testdata] sub-block", nullptr);
}

static void api_end(uint32_t seen) {
    if (!seen) cmp_warning("Empty [API] sub-block", nullptr);
}

static const KeyRow kTestdataKeys[] = {
    {TOK_ENABLE, 0x1, 0, set_io_switch, nullptr},
};
static const BlockKind kTestdataBlock = {TOK_TESTDATA, kTestdataKeys, 1, nullptr, testdata_end};

static const KeyRow kApiKeys[] = {
    {TOK_APIREADBYTE, 0x1, 0, set_io_switch, nullptr},
    {TOK_APIREADPKT, 0x2, 0, set_io_switch, nullptr},
    {TOK_APIWRITEBYTE, 0x4, 0, set_io_switch, nullptr},
    {TOK_APIWRITEPKT, 0x8, 0, set_io_switch, nullptr},
};
static_assert(std::size(kApiKeys) == 4);
static const BlockKind kApiBlock = {TOK_API, kApiKeys, 4, nullptr, api_end};

// ---- [input] and [output] ------------------------------------------------------------

static void input_begin() { g_output = false; }
static void output_begin() { g_output = true; }

static void input_end(uint32_t seen) {
    if (!seen) cmp_warning("Empty [Input] sub-block", nullptr);
}

static void output_end(uint32_t seen) {
    if (!seen) cmp_warning("Empty [output] sub-block", nullptr);
}

// Both directions may name several files: the system record holds four in
// all, and the page text writer writes every file of a direction.
static const KeyRow kDirectionKeys[] = {
    {TOK_SERIAL, 0x1, 0, nullptr, &kSerialBlock},
    {TOK_FILE, 0x2, KEY_REPEATS, nullptr, &kFileBlock},
    {TOK_NETWORK, 0x4, 0, nullptr, &kNetworkBlock},
    {TOK_TESTDATA, 0x8, 0, nullptr, &kTestdataBlock},
    {TOK_API, 0x10, 0, nullptr, &kApiBlock},
};
static_assert(std::size(kDirectionKeys) == 5);
static const BlockKind kInputBlock = {TOK_INPUT, kDirectionKeys, 5, input_begin, input_end};
static const BlockKind kOutputBlock = {TOK_OUTPUT, kDirectionKeys, 5, output_begin, output_end};

// ---- [tuning] and [video] ---------------------------------------------------------------

static int set_looptime(const Token* v, int) { return put_u32(v, &g_sys.looptime); }

static int set_tuning_switch(const Token* v, int key) {
    return put_switch(v, &g_sys.sysflags, key == TOK_AUTOTUNE ? SF_AUTOTUNE : SF_FRAME_TIMINGS);
}

static const KeyRow kTuningKeys[] = {
    {TOK_LOOPTIME, 0x1, 0, set_looptime, nullptr},
    {TOK_AUTOTUNE, 0x2, 0, set_tuning_switch, nullptr},
    {TOK_TIMINGS, 0x4, 0, set_tuning_switch, nullptr},
};
static_assert(std::size(kTuningKeys) == 3);
static const BlockKind kTuningBlock = {TOK_TUNING, kTuningKeys, 3, nullptr, nullptr};

static int set_window_colour(const Token* v, int key) {
    return put_colour(v, key == TOK_WINDOWBACKCOLOR ? &g_sys.windowbackcolor : &g_sys.windowforecolor);
}

// The seen mask of [video] is the window colour flag word of the record.
static void video_end(uint32_t seen) {
    if (!seen) cmp_warning("Empty [video] sub-block", nullptr);
    g_sys.colourflags = seen;
    if (!(seen & SYS_WINDOWBACKCOLOR)) g_sys.windowbackcolor = 15;
    if (!(seen & SYS_WINDOWFORECOLOR)) g_sys.windowforecolor = 0;
}

static const KeyRow kVideoKeys[] = {
    {TOK_WINDOWBACKCOLOR, SYS_WINDOWBACKCOLOR, 0, set_window_colour, nullptr},
    {TOK_WINDOWFORECOLOR, SYS_WINDOWFORECOLOR, 0, set_window_colour, nullptr},
};
static_assert(std::size(kVideoKeys) == 2);
static const BlockKind kVideoBlock = {TOK_VIDEO, kVideoKeys, 2, nullptr, video_end};

// ---- [system] --------------------------------------------------------------------------

enum : uint32_t { SK_BACKUP = 0x100, SK_BACKUPPERIOD = 0x200, SK_TIMEOUT = 0x400 };

static int set_system_flag(const Token* v, int key) {
    uint32_t bit = key == TOK_DIAGNOSTICS ? SF_DIAGNOSTICS : key == TOK_STEPMODE ? SF_STEP_MODE : SF_BEEPER;
    return put_switch(v, &g_sys.sysflags, bit);
}

static int set_system_u32(const Token* v, int key) {
    switch (key) {
    case TOK_BACKUPPERIOD: return put_u32(v, &g_sys.backupperiod);
    case TOK_BUFSIZE: return put_u32(v, &g_sys.bufsize);
    case TOK_FLUSHPERIOD: return put_u32(v, &g_sys.flushperiod);
    default: return put_u32(v, &g_sys.timeoutperiod);
    }
}

static void system_end(uint32_t seen) {
    if ((seen & SK_BACKUP) && !(seen & SK_BACKUPPERIOD)) g_sys.backupperiod = 29;
    if (!(seen & SK_TIMEOUT)) g_sys.timeoutperiod = 60;
}

static const KeyRow kSystemKeys[] = {
    {TOK_TUNING, 0x1, 0, nullptr, &kTuningBlock},
    {TOK_VIDEO, 0x2, 0, nullptr, &kVideoBlock},
    {TOK_INPUT, 0x4, 0, nullptr, &kInputBlock},
    {TOK_OUTPUT, 0x8, 0, nullptr, &kOutputBlock},
    {TOK_DIAGNOSTICS, 0x10, 0, set_system_flag, nullptr},
    {TOK_STEPMODE, 0x20, 0, set_system_flag, nullptr},
    {TOK_SOUND, 0x40, 0, set_system_flag, nullptr},
    {TOK_BACKUP, SK_BACKUP, 0, set_io_switch, nullptr},
    {TOK_BACKUPPERIOD, SK_BACKUPPERIOD, 0, set_system_u32, nullptr},
    {TOK_OPENONEOF, 0x800, 0, set_io_switch, nullptr},
    {TOK_BUFSIZE, 0x1000, 0, set_system_u32, nullptr},
    {TOK_FLUSHPERIOD, 0x2000, 0, set_system_u32, nullptr},
    {TOK_TIMEOUTPERIOD, SK_TIMEOUT, 0, set_system_u32, nullptr},
};
static_assert(std::size(kSystemKeys) == 13);
const BlockKind kSystemBlock = {TOK_SYSTEM, kSystemKeys, 13, nullptr, system_end};
