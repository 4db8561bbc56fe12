// The packet format and the frame synchroniser. The search is resumable:
// everything it knows lives in `pkt`, so a packet may arrive over many
// passes, each ending with result 6 when the source runs dry.
#include "core/packet.h"

#include <array>
#include <climits>
#include <cstring>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/state.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "packet records are little-endian images");

PacketLayout pkt_layout;
PacketState pkt;
PacketHooks packet_hooks;

static ByteSource g_sources[PSRC_COUNT];
static bool g_source_on[PSRC_COUNT];

// IoFlags bit of each source, in the order the sources are asked.
static const uint32_t kSourceBits[PSRC_COUNT] = {
    IO_USER_BYTE_IN,
    IO_SERIAL_IN,
    IO_NET_IN,
    IO_RAW_PLAYBACK,
};

static void packet_start_state() {
    memset(&pkt, 0, sizeof pkt);
    pkt.raw_slot = -1;
    pkt.quiet_start = true;
    pkt.last_check = CHECK_START;
    packet_search_reset();
}

static struct PacketInit {
    PacketInit() { packet_start_state(); }
} g_packet_init;

// ---- byte sources -------------------------------------------------------

void packet_set_source(int which, const ByteSource* src) {
    if (which < 0 || which >= PSRC_COUNT) return;
    g_source_on[which] = src != nullptr;
    g_sources[which] = src ? *src : ByteSource{};
    if (!g_sources[which].advance) g_sources[which].view = nullptr;  // a view needs its advance
}

static int mem_read_byte(void* ctx) {
    auto* m = static_cast<MemSource*>(ctx);
    return m->pos < m->len ? m->data[m->pos++] : -1;
}

static int mem_take(void* ctx, uint8_t* dst, int n) {
    auto* m = static_cast<MemSource*>(ctx);
    size_t k = m->len - m->pos;
    if (k > (size_t)n) k = (size_t)n;
    memcpy(dst, m->data + m->pos, k);
    m->pos += k;
    return (int)k;
}

static int mem_view(void* ctx, const uint8_t** p) {
    auto* m = static_cast<MemSource*>(ctx);
    size_t k = m->len - m->pos;
    *p = m->data + m->pos;
    return k > (size_t)INT_MAX ? INT_MAX : (int)k;
}

static void mem_advance(void* ctx, int n) { static_cast<MemSource*>(ctx)->pos += (size_t)n; }

void mem_source(ByteSource* src, MemSource* m, MemSourceKind kind) {
    *src = ByteSource{};
    src->ctx = m;
    src->read_byte = mem_read_byte;
    if (kind == MEM_RING) src->take = mem_take;
    if (kind == MEM_VIEW) {
        src->view = mem_view;
        src->advance = mem_advance;
    }
}

// The first source whose bit is on; it answers even when nothing is
// registered for it (then it simply has no bytes).
static const ByteSource* active_source() {
    for (int i = 0; i < PSRC_COUNT; i++)
        if (zyr.IoFlags & kSourceBits[i]) return g_source_on[i] ? &g_sources[i] : nullptr;
    return nullptr;
}

// The bytes ready now: in place when the source has a view, else one byte
// read into *one. 0 when there is none.
static int fetch(const ByteSource* s, const uint8_t** p, uint8_t* one) {
    if (s->view) return s->view(s->ctx, p);
    int c = -1;
    if (s->read_byte)
        c = s->read_byte(s->ctx);
    else if (s->take && s->take(s->ctx, one, 1) == 1)
        c = *one;
    if (c < 0) return 0;
    *one = (uint8_t)c;
    *p = one;
    return 1;
}

// Every byte taken from a source is counted, recorded raw and passed to the
// user byte output; a viewed source then moves past it. Done per run of
// bytes: the files and counters come out as they would byte by byte.
static void bytes_used(const ByteSource* s, const uint8_t* p, int n) {
    if (n <= 0) return;
    zyr_stat(ST_BYTES_READ) += (uint32_t)n;
    zyr_stat(ST_BYTES_THIS_READ) += (uint32_t)n;
    zyr_stat(ST_LAST_BYTE_TIME) = (uint32_t)zyr.caltime;
    if ((zyr.IoFlags & IO_RAW_RECORD) && pkt.raw_slot >= 0) raw_packet_write(p, n, pkt.raw_slot);
    if ((zyr.IoFlags & IO_USER_BYTE_OUT) && packet_hooks.user_byte_out)
        for (int i = 0; i < n; i++) packet_hooks.user_byte_out(p[i]);
    if (s->view) s->advance(s->ctx, n);
}

// ---- description ----------------------------------------------------------

static void put_be32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; i++) out[i] = (uint8_t)(v >> (24 - 8 * i));
}

// The last n bytes of a right-aligned 4-byte field as a number.
static uint32_t tail_value(const uint8_t* field, int n) {
    uint32_t v = 0;
    for (int i = 4 - n; i < 4; i++) v = v << 8 | field[i];
    return v;
}

void packet_defaults(PacketRecord* r) {
    memset(r, 0, sizeof *r);
    r->flags = PKT_SUMCHECK | PKT_TIME | PKT_REPORTSYNCLOSS;
    r->packetcounterlength = 1;
    r->fixedpacketlength = 0;
    r->sync_len = 16;  // in bits until BuildSync
    put_be32(r->pattern, 0x1234);
    put_be32(r->mask, 0xFFFFFFFF);
}

int packet_add_part(PacketRecord* r, int part, int len) {
    if (part < 0 || part >= HDR_PARTS || len < 0 || len > MAXHDRLEN) return -1;
    if (r->header_len + len > MAXHDRLEN) return -1;
    r->part_offset[part] = r->header_len;
    r->part_length[part] = (uint16_t)(r->part_length[part] + len);
    r->header_len = (uint16_t)(r->header_len + len);
    return 0;
}

int BuildSync(PacketRecord* r, int bits, uint32_t pattern, uint32_t mask) {
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        debug_printf("BuildSync() sync len %d invalid", bits);
        return -1;
    }
    int n = bits / 8;
    uint32_t keep = n == 4 ? 0xFFFFFFFFu : (1u << bits) - 1;
    put_be32(r->pattern, pattern & keep);
    put_be32(r->mask, mask & keep);
    for (int k = 0; k < 4; k++) r->masked_sync[k] = r->pattern[k] & r->mask[k];
    r->sync_len = (uint16_t)n;
    return packet_add_part(r, PART_SYNC, n);
}

int packet_setup(const PacketRecord* s) {
    PacketRecord r;
    if (s)
        r = *s;
    else
        packet_defaults(&r);
    memset(r.part_offset, 0, sizeof r.part_offset);
    memset(r.part_length, 0, sizeof r.part_length);
    r.header_len = 0;
    int rc = 0;
    if (BuildSync(&r, r.sync_len, tail_value(r.pattern, 4), tail_value(r.mask, 4)) != 0)
        rc = -1;
    else if (packet_add_part(&r, PART_CHECKSUM, (r.flags & PKT_SUMCHECK) ? 2 : 0) != 0)
        rc = -4;
    else if (r.fixedpacketlength > MAXPKTLEN)
        rc = -2;
    else if (packet_add_part(&r, PART_MARKER, 0) != 0 || packet_add_part(&r, PART_TIME, (r.flags & PKT_TIME) ? 4 : 0) != 0)
        rc = -4;
    else if (r.packetcounterlength >= 3)
        rc = -3;
    else if (packet_add_part(&r, PART_COUNTER, r.packetcounterlength) != 0)
        rc = -4;
    else if (CreatePacket(&r) != 0)
        rc = -5;
    if (rc != 0) debug_printf("!! packet_setup() fail %d !!", rc);
    return rc;
}

// A record from a page file is outside data: the fields the checks read
// must lie inside the header, and the packet inside the buffer.
static bool record_usable(const PacketRecord* r) {
    if (r->header_len > MAXHDRLEN || r->fixedpacketlength > MAXPKTLEN || r->packetcounterlength > 2) return false;
    auto inside = [r](int part, int width) { return r->part_offset[part] + width <= r->header_len; };
    if ((r->flags & PKT_SUMCHECK) && !inside(PART_CHECKSUM, 2)) return false;
    if ((r->flags & PKT_TIME) && !inside(PART_TIME, 4)) return false;
    return inside(PART_COUNTER, r->packetcounterlength) && inside(PART_MARKER, 0);
}

static void publish_packet_stats(const PacketLayout& l) {
    zyr_stat(ST_SYNC_VALUE) = l.sync_value;
    zyr_stat(ST_PACKET_FLAGS) = l.desc.flags;
    zyr_stat(ST_FIXED_LENGTH) = l.desc.fixedpacketlength;
    if (packet_hooks.redraw_packet_stats) packet_hooks.redraw_packet_stats();
}

int CreatePacket(const PacketRecord* r) {
    if (r->sync_len < 1 || r->sync_len > 4) {
        debug_printf("!! CreatePacket() sync_len = %hu !!", r->sync_len);
        return -1;
    }
    if (!record_usable(r)) {
        debug_printf("!! CreatePacket() header_len = %hu fixedpacketlength = %hu !!", r->header_len, r->fixedpacketlength);
        return -2;
    }
    PacketLayout& l = pkt_layout;
    l = PacketLayout{};
    l.desc = *r;
    l.sync_len = r->sync_len;
    l.first_stage = 5 - l.sync_len;
    for (int k = 1; k <= 4; k++) {
        l.mask[k] = r->mask[k - 1];
        l.expect[k] = r->pattern[k - 1] & r->mask[k - 1];
        l.desc.masked_sync[k - 1] = l.expect[k];
    }
    l.sync_value = tail_value(r->pattern, l.sync_len);
    l.sync_mask = tail_value(r->mask, l.sync_len);
    l.checksum_pos = r->part_offset[PART_CHECKSUM];
    l.counter_pos = r->part_offset[PART_COUNTER];
    l.counter_len = r->packetcounterlength;
    l.time_pos = r->part_offset[PART_TIME];
    l.lenfield_pos = r->part_offset[PART_MARKER];
    l.header_len = r->header_len;
    l.fixed_len = r->fixedpacketlength;
    l.search_len = l.fixed_len ? l.fixed_len : VARPKT_WINDOW;
    l.data_len = l.search_len - l.header_len;
    publish_packet_stats(l);
    // The stage registers belong to the old sync: start the search afresh.
    packet_search_reset();
    if ((zyr.IoFlags & IO_TEST_DATA) && packet_hooks.prepare_test_packet) packet_hooks.prepare_test_packet();
    if (packet_hooks.settle_port_periods) packet_hooks.settle_port_periods();
    return 0;
}

// ---- errors of the search -------------------------------------------------

// The synchroniser's reports dump the bytes gathered so far.
static void publish_dump(const uint8_t* p, int len) {
    diag.dump_buf = p;
    diag.dump_len = len;
}

void packet_search_reset() {
    pkt.held = 0;
    for (int k = 0; k < 5; k++) pkt.stage[k] = -1;
    pkt.needed = -1;
    pkt.len_known = false;
}

void packet_sync_loss() {
    bool report = pkt_layout.desc.flags & PKT_REPORTSYNCLOSS;
    if (!pkt.quiet_start) {
        zyr.SystemFlags |= SF_SYNC_LOST;
        if (report) {
            publish_dump(pkt.buf, pkt.held);
            zyr_err(1, 1, "", 0, 0, ERR_OPT_DUMP);
        }
        pkt.last_check = CHECK_SYNC_LOSS;
    } else {
        pkt.quiet_start = false;
    }
    if (report) zyr_stat(ST_SYNC_LOSSES)++;
}

void packet_length_failure(int needed) {
    zyr.SystemFlags |= SF_SYNC_LOST;
    publish_dump(pkt.buf, pkt.held);
    zyr_err(3, 1, "Packet data length>1", needed, 0, ERR_OPT_DUMP);
    pkt.last_check = CHECK_LENGTH;
    packet_search_reset();
}

void packet_good() { pkt.quiet_start = false; }

// ---- the search -----------------------------------------------------------

// Where a search stands: bytes held, the stage registers and the stage the
// next byte is read for. Kept in locals while a run of bytes is scanned.
struct Search {
    int held;
    int st;
    int16_t reg[5];
};
enum { SCAN_MORE, SCAN_GAVE_UP, SCAN_SYNCED };

// Judges the bytes p[0..n) in turn: each is stored at the next buffer
// position and at its sync position; a byte that fails its stage clears the
// earlier stages and is not tried again as a first sync byte. The give-up
// test comes before the byte is judged. *used gets the bytes taken.
static int scan(Search* s, const uint8_t* p, int n, int* used) {
    const PacketLayout& l = pkt_layout;
    uint8_t* const buf = pkt.buf;
    const int first = l.first_stage, hdr = l.header_len, window = l.search_len;
    int held = s->held, st = s->st, i = 0, outcome = SCAN_MORE;
    while (i < n) {
        uint8_t b = p[i++];
        buf[held++] = b;
        if (held >= MAXPKTLEN || (held >= hdr && held + 4 >= window + st)) {
            outcome = SCAN_GAVE_UP;
            break;
        }
        buf[st - first] = b;
        int m = b & l.mask[st];
        s->reg[st] = (int16_t)m;
        if (m != l.expect[st]) {
            for (int k = first; k < st; k++) s->reg[k] = -1;
            st = first;
        } else if (st == 4) {
            outcome = SCAN_SYNCED;
            break;
        } else {
            st++;
        }
    }
    s->held = held;
    s->st = st;
    *used = i;
    return outcome;
}

// The resumable sync search: 0 sync complete, 1 gave up, 6 no more bytes now.
static int sync_search(const ByteSource* src) {
    const PacketLayout& l = pkt_layout;
    Search s;
    s.held = pkt.held;
    memcpy(s.reg, pkt.stage, sizeof s.reg);
    s.st = l.first_stage;
    while (s.st < 4 && s.reg[s.st] == l.expect[s.st]) s.st++;
    int outcome = SCAN_MORE;
    while (outcome == SCAN_MORE) {
        const uint8_t* p;
        uint8_t one;
        int n = fetch(src, &p, &one), used = 0;
        if (n <= 0) break;
        outcome = scan(&s, p, n, &used);
        bytes_used(src, p, used);
    }
    pkt.held = s.held;
    memcpy(pkt.stage, s.reg, sizeof s.reg);
    if (outcome == SCAN_MORE) return PKT_NO_DATA;
    if (outcome == SCAN_GAVE_UP) {
        packet_sync_loss();
        packet_search_reset();
        return PKT_GAVE_UP;
    }
    if (s.held != l.sync_len) packet_sync_loss();
    zyr.SystemFlags &= ~SF_SYNC_LOST;
    pkt.held = l.sync_len;
    return 0;
}

// Reads until target bytes are held: in blocks from a view or a ring, else
// byte by byte. 0, or 6 when the source ran dry first.
static int read_to(const ByteSource* src, int target) {
    while (pkt.held < target) {
        int want = target - pkt.held;
        uint8_t* dst = pkt.buf + pkt.held;
        int n = 0;
        if (src->view) {
            const uint8_t* p;
            n = src->view(src->ctx, &p);
            if (n > want) n = want;
            if (n > 0) memcpy(dst, p, (size_t)n);
        } else if (src->take) {
            n = src->take(src->ctx, dst, want);
            if (n > want) n = want;
        } else if (src->read_byte) {
            int c = src->read_byte(src->ctx);
            if (c >= 0) {
                *dst = (uint8_t)c;
                n = 1;
            }
        }
        if (n <= 0) return PKT_NO_DATA;
        bytes_used(src, dst, n);
        pkt.held += n;
    }
    return 0;
}

// ---- packet length -----------------------------------------------------

// The end of the length field (byte index + width of the length port), or
// -1 when there is no usable length port. *field gets the end whenever the
// port is described, so that the report can show it.
static int length_field_end(int* field) {
    LengthPort lp{};
    *field = -1;
    if (!packet_hooks.length_port || !packet_hooks.length_value || packet_hooks.length_port(&lp) != 0) return -1;
    if (lp.byteindex < 0 || lp.width < 0) return -1;
    long long end = (long long)lp.byteindex + lp.width;
    *field = end > INT_MAX ? INT_MAX : (int)end;
    if (!lp.enabled || *field >= MAXPKTLEN || *field < pkt_layout.sync_len) return -1;
    return *field;
}

// The total length from the header bytes in image[0..have); *value gets a
// length that was refused.
static int length_read(const uint8_t* image, int have, uint32_t* value) {
    const PacketLayout& l = pkt_layout;
    uint32_t len = (uint32_t)l.fixed_len;
    if (!l.fixed_len) {
        int field;
        if (length_field_end(&field) < 0) {
            *value = (uint32_t)field;
            return -2;
        }
        if (have < field) return -4;
        len = packet_hooks.length_value(image, have);
    }
    *value = len;
    if (len > (uint32_t)MAXPKTLEN) {
        debug_printf("GetPacketLength_Read -1 %lu %lu %lu", (unsigned long)len, (unsigned long)have, (unsigned long)MAXPKTLEN);
        return -1;
    }
    // A packet shorter than its header would leave the checks reading
    // bytes of some earlier packet.
    if (len < (uint32_t)have || len < (uint32_t)l.header_len) {
        debug_printf("GetPacketLength_Read -3 %lu %lu %lu", (unsigned long)len, (unsigned long)have, (unsigned long)MAXPKTLEN);
        return -3;
    }
    return (int)len;
}

int packet_length_field_end() {
    int field;
    return length_field_end(&field);
}

int GetPacketLength_Read(const uint8_t* image, int have) {
    uint32_t value;
    return length_read(image, have, &value);
}

// Settles bytes needed: the fixed length, or the length port's value once
// the bytes up to the length field are in.
static int packet_length(const ByteSource* src) {
    if (!pkt_layout.fixed_len) {
        int field;
        if (length_field_end(&field) < 0) {
            packet_length_failure(field);
            return PKT_BAD_LENGTH;
        }
        pkt.needed = field;
        if (read_to(src, field) != 0) return PKT_NO_DATA;
    }
    uint32_t value = 0;
    int len = length_read(pkt.buf, pkt.held, &value);
    if (len < 0) {
        packet_length_failure((int)value);
        return PKT_BAD_LENGTH;
    }
    pkt.needed = len;
    pkt.len_known = true;
    pkt_layout.data_len = len - pkt_layout.header_len;
    return 0;
}

static int acquire() {
    const ByteSource* src = active_source();
    if (!src || !pkt.buf || pkt_layout.sync_len == 0) return PKT_NO_DATA;
    int rc;
    // Once the last stage holds its byte the sync is behind us: a resumed
    // call goes on with the length or the body.
    if (pkt.stage[4] != pkt_layout.expect[4] && (rc = sync_search(src)) != 0) return rc;
    if (!pkt.len_known && (rc = packet_length(src)) != 0) return rc;
    if (read_to(src, pkt.needed) != 0) return PKT_NO_DATA;
    pkt.len = pkt.needed;
    publish_dump(pkt.buf, pkt.len);
    packet_search_reset();
    packet_good();
    return PKT_OK;
}

int get_packet() {
    int rc = acquire();
    if (rc == PKT_OK)
        zyr.SystemFlags &= ~SF_NO_PACKET;
    else
        zyr.SystemFlags |= SF_SYNC_LOST | SF_NO_PACKET;
    return rc;
}

// ---- checks -------------------------------------------------------------

static constexpr std::array<uint8_t, 256> kBitReverse = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; i++) {
        int r = 0;
        for (int b = 0; b < 8; b++)
            if (i & (1 << b)) r |= 0x80 >> b;
        t[i] = (uint8_t)r;
    }
    return t;
}();

void packet_exchange_bits(uint8_t* p, int len) {
    if (!(zyr.IoFlags & IO_EXCHANGE_BITS)) return;
    for (int i = 0; i < len; i++) p[i] = kBitReverse[p[i]];
}

static inline uint8_t ror1(uint8_t v) { return (uint8_t)(v >> 1 | v << 7); }

void packet_checksums(const uint8_t* p, int from, int to, uint8_t* s, uint8_t* r, uint8_t* c) {
    uint8_t S = 0, R = 0, C = 0;
    for (int i = from; i < to; i++) {
        uint8_t b = p[i];
        S = (uint8_t)(S + b);
        R = (uint8_t)(R + ror1(R) + b);
        C = (uint8_t)(ror1(C) + b);
    }
    *s = S;
    *r = R;
    *c = C;
}

// The checksum covers the bytes from the end of its field to the end of the
// packet; the second byte may carry either rotation sum.
int packet_check_sum(const uint8_t* p, int len) {
    const PacketLayout& l = pkt_layout;
    zyr.SystemFlags &= ~SF_CHECKSUM_ERR;
    int pos = l.checksum_pos;
    if (!(l.desc.flags & PKT_SUMCHECK) || pos + 2 > len) return 0;
    uint8_t s, r, c;
    packet_checksums(p, pos + 2, len, &s, &r, &c);
    if (p[pos] == s && (p[pos + 1] == c || p[pos + 1] == r)) return 0;
    pkt.last_check = CHECK_CHECKSUM;
    zyr.SystemFlags |= SF_CHECKSUM_ERR;
    publish_dump(p, len);
    zyr_err(8, 1, "Check >2", (int8_t)p[pos], (int8_t)p[pos + 1], ERR_OPT_DUMP);
    return 8;
}

// The first packet counted never fails. Right after a sync loss a jump is
// expected and not reported; the first packet checked after it ends that
// grace, so a later gap is reported again.
int packet_check_counter(const uint8_t* p, int len) {
    const PacketLayout& l = pkt_layout;
    zyr.SystemFlags &= ~SF_SEQUENCE_ERR;
    int w = l.counter_len, pos = l.counter_pos;
    if ((w != 1 && w != 2) || pos + w > len) return 0;
    uint16_t expected = (uint16_t)(pkt.last_counter + 1);
    if (w == 1) expected &= 0xFF;
    uint16_t rx = w == 1 ? p[pos] : (uint16_t)(p[pos] | p[pos + 1] << 8);
    pkt.rx_counter = rx;
    pkt.counted++;
    int rc = 0;
    if (pkt.counted > 1 && rx != expected) {
        if (pkt.last_check != CHECK_SYNC_LOSS) {
            zyr.SystemFlags |= SF_SEQUENCE_ERR;
            publish_dump(p, len);
            zyr_err(9, 1, "Packet no's>2", expected == 0 ? -1 : expected - 1, rx, ERR_OPT_DUMP);
            zyr_stat(ST_SEQ_ERRORS)++;
            if (rx > expected) zyr_stat(ST_GAP_COUNT) += (uint32_t)(rx - expected + 1);
            rc = 9;
        }
        pkt.last_check = CHECK_SEQUENCE;
    } else if (pkt.last_check == CHECK_SYNC_LOSS) {
        pkt.last_check = CHECK_NONE;
    }
    pkt.last_counter = rx;
    return rc;
}

int packet_checks(const uint8_t* p, int len) {
    int sum = packet_check_sum(p, len);
    int seq = packet_check_counter(p, len);
    return sum ? sum : seq;
}

void packet_put_sync(uint8_t* p) {
    const PacketLayout& l = pkt_layout;
    memcpy(p, l.desc.pattern + 4 - l.sync_len, (size_t)l.sync_len);
}

void packet_put_checksum(uint8_t* p, int len) {
    const PacketLayout& l = pkt_layout;
    int pos = l.checksum_pos;
    if (!(l.desc.flags & PKT_SUMCHECK) || pos + 2 > len) return;
    uint8_t s, r, c;
    packet_checksums(p, pos + 2, len, &s, &r, &c);
    p[pos] = s;
    p[pos + 1] = c;
}

// ---- lifecycle ------------------------------------------------------------

int packet_init() {
    if (!pkt.buf) pkt.buf = static_cast<uint8_t*>(QOBmalloc(MAXPKTLEN));
    if (!pkt.image) pkt.image = static_cast<uint8_t*>(QOBmalloc(MAXPKTLEN));
    if (!pkt.buf || !pkt.image) {
        packet_free();
        return -1;
    }
    memset(pkt.buf, 0, MAXPKTLEN);
    memset(pkt.image, 0, MAXPKTLEN);
    return 0;
}

void packet_free() {
    const uint8_t* d = diag.dump_buf;
    if (d && ((pkt.buf && d == pkt.buf) || (pkt.image && d == pkt.image))) {
        diag.dump_buf = nullptr;
        diag.dump_len = 0;
    }
    if (pkt.buf) QOBfree(pkt.buf);
    if (pkt.image) QOBfree(pkt.image);
    pkt.buf = nullptr;
    pkt.image = nullptr;
}

void packet_reset() {
    packet_free();
    pkt_layout = PacketLayout{};
    packet_hooks = PacketHooks{};
    for (int i = 0; i < PSRC_COUNT; i++) packet_set_source(i, nullptr);
    packet_start_state();
}
