// hulven: restores a file from the packets gresko made of it. The input is
// read as whole packets one after the other, without a sync search: a
// header, then the data area of a fixed-length packet or the count of a
// variable-length one. With the gresko switch on (the default) the count
// of file bytes is checked before anything is written, so a packet file
// that gresko did not make is refused instead of turned into garbage.
#include "tools/hulven.h"

#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "tools/gresko.h"
#include "tools/pkttool.h"

static const ToolOptions kHulvenDefaults = {
    .every = 1,
    .start = 1,
    .end = TOOL_END_MAX,
    .page = "PAGE0000.BIN",
    .gresko = true,
};

static const char kHulvenUsage[] =
    "\nUsage: hulven infile=filename [options]\nOptions:\noutfile=filename\npage=number\n\n"
    "E.g. 'hulven infile=pktfile.dat outfile=datafile.txt gresko=offpage:c:\\zyrv5\\page0000.bin\n";

static const ToolDesc kHulvenDesc = {
    .name = "hulven",
    .options = kPacketToolOptions,
    .option_count = 10,
    .defaults = &kHulvenDefaults,
    .usage = kHulvenUsage,
    .default_outfile = "hulven.dat",
    .no_input = kFrameNoInput,
    .identical = kFrameIdentical,
    .identical_exit = EXIT_FRAME_IDENTICAL,
    .refuse_exit = 1,
    .other_key_exit = 2,
    .create_failed = kFrameCreateFailed,
    .terminating = kFrameTerminating,
};

constexpr int HULVEN_MAX_DATA = 65535;   // a 16-bit count

static uint8_t* g_packet;
static BlockReader g_in;

static int invalid_length(unsigned count) {
    frame_printf("\n!! Error 9 !! Invalid packet length %u\n", count);
    if (frame.opt.gresko) {
        frame_printf("Was file '%s' produced by GRESKO ?\n", frame.opt.infile);
        frame_printf("If NO, re-run with the 'gresko=off' option.\n");
    }
    return EXIT_BAD_PACKET;
}

// The file was cut inside a packet: what the packet held is not known.
static int incomplete(int got, int want) {
    frame_printf("\n!! Error 9 !! Incomplete packet at the end of file '%s': %d of %d bytes\n", frame.opt.infile, got,
                 want);
    return EXIT_BAD_PACKET;
}

// The room the format leaves for file bytes; 0 or the exit code.
static int check_format() {
    const PacketLayout& l = pkt_layout;
    if (!l.fixed_len) return pkttool_count_room();
    int room = l.fixed_len - l.header_len - (frame.opt.gresko ? 2 : 0);
    return room >= 1 ? 0 : pkttool_too_small(l.fixed_len);
}

// The data area's length from the header; -1 when no packet can be that long.
static int data_length(const uint8_t* header) {
    const PacketLayout& l = pkt_layout;
    if (l.fixed_len) return l.fixed_len - l.header_len;
    unsigned n = get_le16(header + l.lenfield_pos);
    unsigned most = frame.opt.gresko ? GRESKO_VAR_DATA : (unsigned)(MAXPKTLEN - l.header_len);
    return n <= most ? (int)n : -1;
}

// The file bytes of a whole data area of n bytes: all of it, or with the
// gresko switch on a fixed-length area's count, which may not reach into
// the count itself. -1 for a count that is not gresko's.
static int file_bytes(const uint8_t* data, int n, unsigned* count) {
    if (!frame.opt.gresko || !pkt_layout.fixed_len) return n;
    *count = get_le16(data + n - 2);
    return *count <= (unsigned)(n - 2) ? (int)*count : -1;
}

static void show_progress(uint64_t in, uint64_t out) {
    frame_progress("Bytes read %10lu written %10lu\r", (unsigned long)in, (unsigned long)out);
}

struct Totals {
    uint64_t in;
    uint64_t out;
};

// One packet whose first `got` header bytes are in g_packet: 0, or the exit
// code after its message. A packet cut short by the end of the file still
// gives its bytes when the whole data area is the file's (switch off).
static int unpack_one(int got, Totals* t) {
    int h = pkt_layout.header_len;
    if (got < h) return incomplete(got, h);
    int want = data_length(g_packet);
    if (want < 0) return invalid_length(get_le16(g_packet + pkt_layout.lenfield_pos));
    uint8_t* data = g_packet + h;
    got = block_read(&g_in, data, want);
    t->in += (uint64_t)(h + got);
    unsigned count = 0;
    int n = got < want ? (frame.opt.gresko ? 0 : got) : file_bytes(data, want, &count);
    if (n < 0) return invalid_length(count);
    zyr_fwrite(data, 1, (size_t)n, frame.out);
    t->out += (uint64_t)n;
    return got < want ? incomplete(h + got, h + want) : 0;
}

static int unpack_packets() {
    int h = pkt_layout.header_len;
    g_packet = (uint8_t*)QOBmalloc((size_t)(h + HULVEN_MAX_DATA));
    if (!g_packet || block_reader_init(&g_in, frame.in, TOOL_BLOCK) != 0)
        return frame_fail(EXIT_FRAME_INIT, "\n!! Error 8 !! initialisation failure %d\n", -1);
    Progress progress{};
    Totals t{};
    int rc = 0, got;
    while ((got = block_read(&g_in, g_packet, h)) > 0) {
        if ((rc = unpack_one(got, &t)) != 0) return rc;
        if (progress_due(&progress)) show_progress(t.in, t.out);
        if (pkttool_stop_key()) {
            rc = EXIT_FRAME_STOP_KEY;
            break;
        }
    }
    if (progress.pending) show_progress(t.in, t.out);
    return rc;
}

static int hulven_run(int argc, const char* const* argv) {
    int rc = pkttool_start(&kHulvenDesc, argc, argv);
    if (rc == 0) rc = pkttool_load_format(false);
    if (rc == 0) rc = check_format();
    if (rc == 0) rc = unpack_packets();
    if (rc == 0) rc = pkttool_finish_output();
    if (rc == 0) frame_printf("\n");
    return rc;
}

void hulven_reset() {
    QOBfree(g_packet);
    g_packet = nullptr;
    block_reader_free(&g_in);
}

int hulven_main(int argc, const char* const* argv) {
    int rc = hulven_run(argc, argv);
    hulven_reset();
    pkttool_release();
    return frame_exit(rc);
}
