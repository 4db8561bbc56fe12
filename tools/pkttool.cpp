// The packet tools' common steps. The packet format comes from the page
// file's [packet] record and is set up exactly as vantor sets up page 0's,
// so a file the tools write is a file vantor reads, and the reverse.
#include "tools/pkttool.h"

#include <cstdio>
#include <cstring>

#include "core/datatypes.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/pagefile.h"
#include "core/symtab.h"
#include "engine/playback.h"
#include "platform/sys.h"

const char kPacketPageDefault[] = "PAGE0000.BIN";

ToolLengthPort tool_length_port;

// Where the length port was found in the page file, before the header
// length that places a data-view port is known.
static int g_length_view = -1;
static int g_length_index;

constexpr uint64_t kProgressMs = 50;
constexpr uint32_t kUnitsPerCheck = 63;   // a mask: once in 64 units
static uint32_t g_units;                  // units of work done, for the stop key
constexpr int kNoPacketRecord = -7;

// ---- start-up -------------------------------------------------------------

int pkttool_start(const ToolDesc* desc, int argc, const char* const* argv) {
    int rc = frame_begin(desc, argc, argv);
    if (rc == 0) rc = frame_open_input(frame.opt.infile, desc->no_input, &frame.in);
    if (rc) return rc;
    char page[TOOL_NAME_LEN + 8];
    if (page_find_file(frame.opt.page, page, sizeof page) != 0) snprintf(page, sizeof page, "%s", frame.opt.page);
    const char* inputs[] = {frame.opt.infile, page};
    return frame_open_output(inputs, 2);
}

static int init_failure(int code) {
    return frame_fail(EXIT_FRAME_INIT, "\n!! Error 8 !! initialisation failure %d\n", code);
}

// A length port is usable when its raw value lies in the packet and is a
// number of 2, 4 or 8 bytes.
static void note_length_port(const PortRecord* r) {
    if (g_length_view >= 0 || (r->port_flags & (PF_ENABLE | PF_VARPKTLEN)) != (PF_ENABLE | PF_VARPKTLEN)) return;
    if (r->view != VIEW_PACKETHEADER && r->view != VIEW_PACKETDATA) return;
    char fmt[sizeof r->rawformat + 1] = {};
    memcpy(fmt, r->rawformat, sizeof r->rawformat);
    int type = dt_classify(fmt), width = dt_raw_size(fmt);
    if (!dt_is_numeric(type) || (width != 2 && width != 4 && width != 8)) return;
    g_length_view = r->view;
    g_length_index = r->byteindex;
    tool_length_port.type = type;
    tool_length_port.width = width;
    tool_length_port.calflags = r->cal.calflags;
}

// Reads the page file's records: the last [packet] record wins, as it
// would in vantor. 0, or the record reader's negative code.
static int read_page(int f, PacketRecord* rec, bool* have) {
    PageRecordBody body;
    for (;;) {
        int r = page_read_record(f, &body);
        if (r <= 0) return r;
        if (r == (int)TAG_PACKET) {
            *rec = body.packet;
            *have = true;
        } else if (r == (int)TAG_PORT) {
            note_length_port(&body.port);
        }
    }
}

// ---- the length of variable-length packets -----------------------------------

static int length_port_hook(LengthPort* out) {
    if (!tool_length_port.present) return -1;
    *out = LengthPort{true, tool_length_port.offset, tool_length_port.width};
    return 0;
}

static uint32_t length_of(double v) { return (v >= 0 && v < 4294967295.0) ? (uint32_t)v : 0xFFFFFFFFu; }

// The raw value of the length port as a whole number of bytes; negative
// values come out too large, so the length check refuses them.
static uint32_t length_value_hook(const uint8_t* packet, int) {
    const ToolLengthPort& lp = tool_length_port;
    const uint8_t* q = packet + lp.offset;
    uint32_t u32;
    uint16_t u16;
    switch (lp.width) {
    case 8: {
        double d;
        memcpy(&d, q, 8);
        return length_of((lp.calflags & CAL_DOUBLEBYTESWAP) ? dt_swap_double(d) : d);
    }
    case 4:
        memcpy(&u32, q, 4);
        if (lp.calflags & CAL_LONGBYTESWAP) u32 = dt_swap32(u32);
        if (lp.type == DT_FLOAT) {
            float f;
            memcpy(&f, &u32, 4);
            return length_of(f);
        }
        return (lp.type == DT_LONG && (int32_t)u32 < 0) ? 0xFFFFFFFFu : u32;
    default:
        memcpy(&u16, q, 2);
        if (lp.calflags & CAL_INTEGERBYTESWAP) u16 = dt_swap16(u16);
        return ((lp.type == DT_INT || lp.type == DT_SHORT) && (int16_t)u16 < 0) ? 0xFFFFFFFFu : u16;
    }
}

// vantor assumes 128-byte packets when no port gives the length; playback
// in the tools does the same, and says so.
static void setup_length_port() {
    if (g_length_view < 0) {
        frame_printf("Warning - Missing pkt length parameter.\nDefault 128 byte length assumed\n");
        PacketRecord d = pkt_layout.desc;
        d.fixedpacketlength = 128;
        CreatePacket(&d);
        return;
    }
    tool_length_port.present = true;
    tool_length_port.offset = g_length_index + (g_length_view == VIEW_PACKETDATA ? pkt_layout.header_len : 0);
    packet_hooks.length_port = length_port_hook;
    packet_hooks.length_value = length_value_hook;
}

int pkttool_load_format(bool playback) {
    const char* name = frame.opt.page;
    char path[TOOL_NAME_LEN + 8];
    int f = page_find_file(name, path, sizeof path) == 0 ? page_file_open_read(path) : -1;
    if (f < 0) {
        frame_printf("\n*** Error: could not open %s\n", name);
        frame_printf("A page0000.bin file is needed because it defines the packetheader format\n");
        return EXIT_PAGE_MISSING;
    }
    PacketRecord rec{};
    bool have = false;
    int r = read_page(f, &rec, &have);
    zyr_fclose(f);
    if (r < 0) {
        frame_printf("\n*** Error: %s is not a readable page file\n", path);
        return init_failure(r);
    }
    if (!have) {
        frame_printf("\n*** Error: %s holds no packet format\n", path);
        return init_failure(kNoPacketRecord);
    }
    if (packet_init() != 0) return init_failure(-1);
    // A page file holds the sync length in bytes; the set-up takes bits.
    rec.sync_len = (uint16_t)(rec.sync_len <= 4 ? rec.sync_len * 8 : 0);
    int rc = packet_setup(&rec);
    if (rc != 0) return init_failure(rc);
    if (playback && pkt_layout.fixed_len == 0) setup_length_port();
    return 0;
}

int pkttool_too_small(int length) {
    frame_printf("Packet length too %d small to transfer\n", length);
    frame_printf("Use ZYR to increase Packet Length\n");
    return EXIT_PACKET_TOO_SMALL;
}

int pkttool_count_room() {
    const PacketLayout& l = pkt_layout;
    if (l.lenfield_pos + 2 <= l.header_len) return 0;
    frame_printf("Packet header too %d small to hold the byte count at byte %d\n", l.header_len, l.lenfield_pos);
    frame_printf("Use ZYR to add the time field or a 2-byte packet counter\n");
    return EXIT_PACKET_TOO_SMALL;
}

// ---- packets --------------------------------------------------------------

void pkttool_build_header(uint8_t* p, uint32_t number) {
    const PacketLayout& l = pkt_layout;
    memset(p, 0, (size_t)l.header_len);
    packet_put_sync(p);
    if (l.counter_len == 1) p[l.counter_pos] = (uint8_t)number;
    if (l.counter_len == 2) put_le16(p + l.counter_pos, number & 0xFFFF);
    if (l.desc.flags & PKT_TIME) {
        uint32_t t = (uint32_t)plat_calendar_time();
        for (int i = 0; i < 4; i++) p[l.time_pos + i] = (uint8_t)(t >> (8 * i));
    }
}

// ---- block reading ----------------------------------------------------------

int block_reader_init(BlockReader* r, int slot, int cap) {
    *r = BlockReader{slot, nullptr, cap, 0, 0, false};
    r->buf = cap > 0 ? (uint8_t*)QOBmalloc((size_t)cap) : nullptr;
    return r->buf ? 0 : -1;
}

void block_reader_free(BlockReader* r) {
    QOBfree(r->buf);
    r->buf = nullptr;
}

int block_read(BlockReader* r, uint8_t* dst, int n) {
    int got = 0;
    while (got < n) {
        if (r->pos == r->len) {
            if (r->end) break;
            int k = zyr_fread(r->buf, 1, (size_t)r->cap, r->slot);
            r->pos = 0;
            r->len = k > 0 ? k : 0;
            if (r->len == 0) {
                r->end = true;
                break;
            }
        }
        int take = n - got < r->len - r->pos ? n - got : r->len - r->pos;
        memcpy(dst + got, r->buf + r->pos, (size_t)take);
        r->pos += take;
        got += take;
    }
    return got;
}

// ---- console and ending ---------------------------------------------------------

bool progress_due(Progress* p) {
    if (p->shown && (p->calls++ & kUnitsPerCheck) != 0) {
        p->pending = true;
        return false;
    }
    uint64_t now = plat_wall_ms();
    if (p->shown && now - p->last_ms < kProgressMs) {
        p->pending = true;
        return false;
    }
    p->shown = true;
    p->last_ms = now;
    p->pending = false;
    return true;
}

bool pkttool_stop_key() { return (g_units++ & kUnitsPerCheck) == 0 && frame_stop_key(); }

int pkttool_finish_output() {
    if (frame.out >= 0 && zyr_fflush(frame.out) != 0)
        return frame_fail(EXIT_FRAME_CREATE_OUTPUT, "\n!! Error 7 !! could not write %s file\n", frame.opt.outfile);
    return 0;
}

void pkttool_release() {
    playback_reset();
    packet_reset();
    pkttool_reset();
}

void pkttool_reset() {
    tool_length_port = ToolLengthPort{};
    g_length_view = -1;
    g_length_index = 0;
    g_units = 0;
}
