// The page text writer's [packet] and [system] blocks. The packet header is
// written back in the order its parts were laid out, so the header compiles
// to the same offsets; the system block writes only the entries in use.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/pagetext.h"
#include "core/pagetext_lines.h"
#include "core/state.h"
#include "core/symtab.h"

// ---- [packet] -------------------------------------------------------------------

// One key of the [packet] block that lays out a header part: it appends its
// part at the header length reached so far.
struct HeaderItem {
    int key;       // TOK_SYNC, TOK_SUMCHECK, TOK_TIME, TOK_PACKETCOUNTERLENGTH, TOK_SPARE,
                   // TOK_FIXEDPACKETLENGTH (which places the length-field marker)
    int offset;    // where its part starts
    int length;    // bytes it appends
};

constexpr int MAX_HEADER_ITEMS = 16;

// The pattern or mask of an L-byte sync as "0x" and two digits per byte,
// most significant first.
static void sync_bytes_text(const uint8_t bytes[4], int len, char* out) {
    int n = snprintf(out, 16, "0x");
    for (int i = 4 - len; i < 4; i++) n += snprintf(out + n, 16 - (size_t)n, "%02x", bytes[i]);
}

static void sync_block(const PacketRecord* r) {
    char text[16];
    pt_header(1, TOK_SYNC);
    pt_uint(2, TOK_LENGTH, (uint32_t)r->sync_len * 8);
    sync_bytes_text(r->pattern, r->sync_len, text);
    pt_line(2, TOK_PATTERN, text);
    sync_bytes_text(r->mask, r->sync_len, text);
    pt_line(2, TOK_MASK, text);
    pt_switch(2, TOK_REPORTSYNCLOSS, r->flags & PKT_REPORTSYNCLOSS);
}

// The bytes of the header that no named part covers were laid out by
// `spare` keys: one spare item per gap, so the parts after it keep their
// offsets.
static int spare_items(const PacketRecord* r, HeaderItem* items, int n) {
    HeaderItem parts[MAX_HEADER_ITEMS];
    int np = 0;
    for (int i = 0; i < n; i++)
        if (items[i].length > 0) parts[np++] = items[i];
    std::stable_sort(parts, parts + np, [](const HeaderItem& a, const HeaderItem& b) { return a.offset < b.offset; });
    int at = 0, spare_total = 0, count = n;
    for (int i = 0; i <= np && count < MAX_HEADER_ITEMS; i++) {
        int next = i < np ? parts[i].offset : (int)r->header_len;
        if (next > at) {
            items[count++] = {TOK_SPARE, at, next - at};
            spare_total += next - at;
        }
        if (i < np) at = std::max(at, parts[i].offset + parts[i].length);
    }
    // A spare of no bytes still moved the spare part's offset.
    if (spare_total == 0 && r->part_length[PART_SPARE] == 0 && r->part_offset[PART_SPARE] != 0 &&
        count < MAX_HEADER_ITEMS)
        items[count++] = {TOK_SPARE, r->part_offset[PART_SPARE], 0};
    return count;
}

// The header keys in layout order: by offset, and at one offset the keys
// that append nothing before the one that appends bytes there.
static int header_items(const PacketRecord* r, HeaderItem* items) {
    int n = 0;
    items[n++] = {TOK_SYNC, r->part_offset[PART_SYNC], r->sync_len};
    items[n++] = {TOK_SUMCHECK, r->part_offset[PART_CHECKSUM], (r->flags & PKT_SUMCHECK) ? 2 : 0};
    items[n++] = {TOK_TIME, r->part_offset[PART_TIME], (r->flags & PKT_TIME) ? 4 : 0};
    items[n++] = {TOK_PACKETCOUNTERLENGTH, r->part_offset[PART_COUNTER], r->packetcounterlength};
    items[n++] = {TOK_FIXEDPACKETLENGTH, r->part_offset[PART_MARKER], 0};
    n = spare_items(r, items, n);
    std::stable_sort(items, items + n, [](const HeaderItem& a, const HeaderItem& b) {
        if (a.offset != b.offset) return a.offset < b.offset;
        return (a.length > 0) < (b.length > 0);
    });
    return n;
}

static void header_item(const PacketRecord* r, const HeaderItem& it) {
    switch (it.key) {
    case TOK_SYNC: sync_block(r); break;
    case TOK_SUMCHECK: pt_switch(1, TOK_SUMCHECK, r->flags & PKT_SUMCHECK); break;
    case TOK_TIME: pt_switch(1, TOK_TIME, r->flags & PKT_TIME); break;
    case TOK_PACKETCOUNTERLENGTH: pt_uint(1, TOK_PACKETCOUNTERLENGTH, r->packetcounterlength); break;
    case TOK_FIXEDPACKETLENGTH: pt_uint(1, TOK_FIXEDPACKETLENGTH, r->fixedpacketlength); break;
    default: pt_uint(1, TOK_SPARE, (uint32_t)it.length); break;
    }
}

int pagetext_packet(const PacketRecord* r, int out_slot) {
    pt_begin(out_slot);
    if (pagetext.failed || r->sync_len < 1 || r->sync_len > 4) return PT_PACKET_FAILED;
    pt_header(0, TOK_PACKET);
    HeaderItem items[MAX_HEADER_ITEMS];
    int n = header_items(r, items);
    for (int i = 0; i < n; i++) header_item(r, items[i]);
    pt_switch(1, TOK_CCSDS, r->flags & PKT_CCSDS);
    return pagetext.failed ? PT_PACKET_FAILED : PT_OK;
}

// ---- [system] --------------------------------------------------------------------

// Serial entry flags and network protocol flags of the system record.
enum : uint32_t {
    SER_INPUT = 0x1,
    SER_OUTPUT = 0x2,
    SER_INPUT_ENABLED = 0x08,
    SER_OUTPUT_ENABLED = 0x10,
    NET_TCP = 0x08 | 0x20,
    NET_UDP_FROM = 0x40,
    NET_TCP_SWITCH = 0x10000,   // the `tcpprotocol` and `udpprotocol` switches
    NET_UDP_SWITCH = 0x20000,
    IO_OPENONEOF = 0x4000,
    SF_ASCIIOUT = 0x200000,
    FILE_PLAYBACK = IO_RAW_PLAYBACK | IO_COMP_PLAYBACK | IO_ASCII_PLAYBACK,
    FILE_RECORD = IO_RAW_RECORD | IO_COMP_RECORD | IO_ASCII_RECORD,
};

static const SerialEntry* first_serial(const SystemRecord* r, uint8_t direction) {
    for (const SerialEntry& s : r->serial)
        if (s.flags & direction) return &s;
    return nullptr;
}

static const char* parity_text(uint16_t code) { return code == 8 ? "odd" : code == 24 ? "even" : "none"; }

// The link settings of one serial entry at level 3, after its header. An
// entry may serve both directions, each with its own enable bit.
static void serial_block(const SerialEntry* s, uint8_t direction) {
    pt_header(2, TOK_SERIAL);
    uint8_t enabled = direction == SER_INPUT ? SER_INPUT_ENABLED : SER_OUTPUT_ENABLED;
    pt_word(3, TOK_ENABLE, (s->flags & enabled) ? TOK_YES : TOK_NO);
    pt_uint(3, TOK_COMPORT, (uint32_t)s->comport + 1);
    // As the field holds it: 11520 stands for 115200 and compiles back to
    // the same field.
    pt_uint(3, TOK_BAUD, s->baud);
    pt_uint(3, TOK_DATABITS, (uint32_t)s->databits + 5);
    if (s->stopbits == 0 || s->stopbits == 4) pt_uint(3, TOK_STOPBITS, s->stopbits == 0 ? 1 : 2);
    char parity[8];
    snprintf(parity, sizeof parity, "\"%s\"", parity_text(s->parity));
    pt_line(3, TOK_PARITY, parity);
    pt_uint(3, TOK_BUFSIZE, s->bufsize);
}

static void echo_switches(const SystemRecord* r) {
    if (r->sysflags & SF_ECHO) pt_switch(3, TOK_ECHO, true);
    if (r->sysflags & SF_ASCIIOUT) pt_switch(3, TOK_ASCIIOUT, true);
}

static void file_block(const FileEntry* f) {
    pt_header(2, TOK_FILE);
    pt_quoted(3, TOK_FILENAME, f->filename, sizeof f->filename, false);
    pt_quoted(3, TOK_FORMAT, f->format, sizeof f->format, false);
    pt_quoted(3, TOK_FILEMODE, f->filemode, sizeof f->filemode, false);
    pt_uint(3, TOK_BUFSIZE, f->bufsize);
}

static bool file_used(const FileEntry* f, uint32_t direction) { return f->filename[0] && (f->mode & direction); }

static bool net_used(const NetEntry* n) {
    return n->protocol || n->bufsize || n->tcpportno || n->udpportno || n->host[0];
}

// The protocol switches the entry records are written as they were given;
// an entry without them says its protocol by the direction bits.
static void network_block(const NetEntry* n) {
    pt_header(2, TOK_NETWORK);
    if (n->protocol & (NET_TCP_SWITCH | NET_UDP_SWITCH)) {
        if (n->protocol & NET_TCP_SWITCH) pt_switch(3, TOK_TCPPROTOCOL, true);
        if (n->protocol & NET_UDP_SWITCH) pt_switch(3, TOK_UDPPROTOCOL, true);
    } else if (n->protocol & NET_TCP) {
        pt_switch(3, TOK_TCPPROTOCOL, true);
    } else if (n->protocol >= NET_UDP_FROM) {
        pt_switch(3, TOK_UDPPROTOCOL, true);
    }
    pt_uint(3, TOK_TCPPORTNO, n->tcpportno);
    pt_uint(3, TOK_UDPPORTNO, n->udpportno);
    pt_uint(3, TOK_BUFSIZE, n->bufsize);
    pt_quoted(3, TOK_FILENAME, n->host, sizeof n->host, false);
}

static void api_block(uint32_t ioflags, uint32_t first, int first_key, uint32_t second, int second_key) {
    if (!(ioflags & (first | second))) return;
    pt_header(2, TOK_API);
    if (ioflags & first) pt_switch(3, first_key, true);
    if (ioflags & second) pt_switch(3, second_key, true);
}

static bool input_used(const SystemRecord* r) {
    bool files = false;
    for (const FileEntry& f : r->files) files |= file_used(&f, FILE_PLAYBACK);
    return first_serial(r, SER_INPUT) || files || net_used(&r->net_in) ||
           (r->ioflags & (IO_USER_BYTE_IN | IO_USER_PACKET_IN | IO_TEST_DATA));
}

// The echo switches belong to the output serial block; without one they
// go with the input serial block, so that they are not lost.
static void input_block(const SystemRecord* r) {
    if (!input_used(r)) return;
    pt_header(1, TOK_INPUT);
    if (const SerialEntry* s = first_serial(r, SER_INPUT)) {
        serial_block(s, SER_INPUT);
        if (!first_serial(r, SER_OUTPUT)) echo_switches(r);
    }
    for (const FileEntry& f : r->files)
        if (file_used(&f, FILE_PLAYBACK)) file_block(&f);
    if (net_used(&r->net_in)) network_block(&r->net_in);
    api_block(r->ioflags, IO_USER_BYTE_IN, TOK_APIREADBYTE, IO_USER_PACKET_IN, TOK_APIREADPKT);
    if (r->ioflags & IO_TEST_DATA) {
        pt_header(2, TOK_TESTDATA);
        pt_switch(3, TOK_ENABLE, true);
    }
}

static bool output_used(const SystemRecord* r) {
    bool files = false;
    for (const FileEntry& f : r->files) files |= file_used(&f, FILE_RECORD) && !(f.mode & FILE_PLAYBACK);
    return first_serial(r, SER_OUTPUT) || files || net_used(&r->net_out) ||
           (r->ioflags & (IO_USER_BYTE_OUT | IO_USER_PACKET_OUT));
}

static void output_block(const SystemRecord* r) {
    if (!output_used(r)) return;
    pt_header(1, TOK_OUTPUT);
    if (const SerialEntry* s = first_serial(r, SER_OUTPUT)) {
        serial_block(s, SER_OUTPUT);
        echo_switches(r);
    }
    for (const FileEntry& f : r->files)
        if (file_used(&f, FILE_RECORD) && !(f.mode & FILE_PLAYBACK)) file_block(&f);
    if (net_used(&r->net_out)) network_block(&r->net_out);
    api_block(r->ioflags, IO_USER_BYTE_OUT, TOK_APIWRITEBYTE, IO_USER_PACKET_OUT, TOK_APIWRITEPKT);
}

// The window colours count only where their flags say they were given
// (the colours of a [video] block without them are its defaults), so each
// colour is written with its flag; a block with colours but no flags is
// the bare header.
static void video_block(const SystemRecord* r) {
    uint32_t given = r->colourflags & (SYS_WINDOWBACKCOLOR | SYS_WINDOWFORECOLOR);
    bool colours = r->windowbackcolor != 0 || r->windowforecolor != 0;
    if (!(r->videoflags & 0x22) && !given && !colours) return;
    pt_header(1, TOK_VIDEO);
    if (given & SYS_WINDOWBACKCOLOR) pt_colour(2, TOK_WINDOWBACKCOLOR, r->windowbackcolor);
    if (given & SYS_WINDOWFORECOLOR) pt_colour(2, TOK_WINDOWFORECOLOR, r->windowforecolor);
}

static void tuning_block(const SystemRecord* r) {
    pt_header(1, TOK_TUNING);
    pt_uint(2, TOK_LOOPTIME, r->looptime);
    if (r->sysflags & SF_AUTOTUNE) pt_switch(2, TOK_AUTOTUNE, true);
    if (r->sysflags & SF_FRAME_TIMINGS) pt_switch(2, TOK_TIMINGS, true);
}

int pagetext_system(const SystemRecord* r, int out_slot) {
    pt_begin(out_slot);
    if (pagetext.failed) return PT_SYSTEM_FAILED;
    pt_header(0, TOK_SYSTEM);
    if (r->sysflags & SF_DIAGNOSTICS) pt_switch(1, TOK_DIAGNOSTICS, true);
    if (r->sysflags & SF_STEP_MODE) pt_switch(1, TOK_STEPMODE, true);
    if (r->sysflags & SF_BEEPER) pt_switch(1, TOK_SOUND, true);
    pt_uint(1, TOK_BACKUPPERIOD, r->backupperiod);
    if (r->ioflags & IO_OPENONEOF) pt_switch(1, TOK_OPENONEOF, true);
    pt_uint(1, TOK_FLUSHPERIOD, r->flushperiod);
    pt_uint(1, TOK_BUFSIZE, r->bufsize);
    pt_uint(1, TOK_TIMEOUTPERIOD, r->timeoutperiod);
    input_block(r);
    output_block(r);
    video_block(r);
    tuning_block(r);
    return pagetext.failed ? PT_SYSTEM_FAILED : PT_OK;
}
