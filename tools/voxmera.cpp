// voxmera: copies packets from one packet file to another, keeping packets
// start to end and one in every n of them, converting between the raw,
// ascii and compressed formats. Input is read by vantor's own playback
// readers (raw through the synchroniser), so a file plays back here as it
// would in vantor; output goes through the recording writers. Memory is the
// packet buffers and the writers' images, whatever the file sizes.
#include "tools/voxmera.h"

#include <iterator>

#include "core/files.h"
#include "core/packet.h"
#include "engine/playback.h"
#include "tools/pkttool.h"

static const ToolOptions kVoxmeraDefaults = {
    .every = 1,
    .start = 1,
    .end = TOOL_END_MAX,
    .page = "PAGE0000.BIN",
};

static const char kVoxmeraUsage[] =
    "\nUsage: VOXMERA infile=filename informat=format [options]\nOptions:\noutfile=filename\n"
    "page=number\noutformat=format\nstart=number\nend=number\nskip=number\n\n"
    "E.g. 'voxmera infile=inpck.dat outfile=outpck.dat page=38\n";

static const ToolDesc kVoxmeraDesc = {
    .name = "voxmera",
    .options = kPacketToolOptions,
    .option_count = 10,
    .defaults = &kVoxmeraDefaults,
    .usage = kVoxmeraUsage,
    .default_outfile = "voxmera.dat",
    .no_input = kFrameNoInput,
    .identical = kFrameIdentical,
    .identical_exit = EXIT_FRAME_IDENTICAL,
    .refuse_exit = 1,
    .other_key_exit = 2,
    .create_failed = kFrameCreateFailed,
    .terminating = kFrameTerminating,
};

// The playback kind of each format option value (FMT_*).
static const PlaybackKind kKinds[] = {
    PB_RAW,           // FMT_NONE: never used
    PB_COMPRESSED,    // FMT_COMPRESSED
    PB_RAW,           // FMT_RAW
    PB_ASCII,         // FMT_ASCII
};
static_assert(std::size(kKinds) == FMT_ASCII + 1);

static CompressedWriter g_writer;
static BlockReader g_raw;

// ---- raw input ---------------------------------------------------------------

// Raw input reaches the synchroniser as it does in vantor, but in blocks
// of 64 KiB: vantor reads 1024 bytes because it takes one packet a pass,
// while a conversion reads on, and small reads would cost more than the
// packets. The end of the file is playback's own end of file.
static int raw_fill() {
    BlockReader* r = &g_raw;
    if (r->pos < r->len) return r->len - r->pos;
    if (r->end) return 0;
    int n = zyr_fread(r->buf, 1, (size_t)r->cap, r->slot);
    r->pos = 0;
    r->len = n > 0 ? n : 0;
    if (r->len == 0) {
        r->end = true;
        playback_eof();
    }
    return r->len;
}

static int raw_read_byte(void*) { return raw_fill() ? g_raw.buf[g_raw.pos++] : -1; }

static int raw_view(void*, const uint8_t** p) {
    int n = raw_fill();
    *p = g_raw.buf + g_raw.pos;
    return n;
}

static void raw_advance(void*, int n) { g_raw.pos += n; }

static const ByteSource kRawBlocks = {raw_read_byte, nullptr, raw_view, raw_advance, nullptr};

// Opens the input for playback of kind k: 0, or -1. The ascii and
// compressed readers read characters through the file layer's read-ahead,
// given the same 64 KiB here before the first read.
static int open_input(PlaybackKind k) {
    if (playback_open(k, frame.opt.infile) != 0) return -1;
    if (k != PB_RAW) {
        zyr_fset_readahead(playback.slot[k], TOOL_BLOCK);
        return 0;
    }
    if (block_reader_init(&g_raw, playback.slot[PB_RAW], TOOL_BLOCK) != 0) return -1;
    packet_set_source(PSRC_RAW_PLAYBACK, &kRawBlocks);
    return 0;
}

// ---- packets -------------------------------------------------------------------

// The next packet of the input, in pkt.buf: 1, or 0 once the input has
// ended or failed. Packets that playback rejects (no sync, a length
// failure) are passed over and not counted. A checksum or sequence error
// is reported and the packet kept, as vantor keeps it: the operator
// recorded it, and a copy must not lose it.
static int next_packet(PlaybackKind k) {
    while (playback.slot[k] >= 0) {
        int rc = k == PB_RAW ? get_packet() : k == PB_ASCII ? ascii_read_packet() : compressed_read_packet();
        if (rc == PKT_OK) {
            packet_good();
            packet_checks(pkt.buf, pkt.len);
            return 1;
        }
        // The ascii reader pauses after a long run of non-digits; every
        // other reader has no data only at the end of its file.
        if (rc == PKT_NO_DATA && k != PB_ASCII) break;
    }
    return 0;
}

static int write_packet(int format) {
    switch (format) {
    case FMT_ASCII: return ascii_packet_write(pkt.buf, pkt.len, frame.out);
    case FMT_COMPRESSED: return compressed_packet_write(&g_writer, pkt.buf, pkt.len, frame.out);
    default: raw_packet_write(pkt.buf, pkt.len, frame.out); return 0;
    }
}

static void show_progress(uint32_t written) {
    frame_progress("Writing packet number %5hu ...\r", (unsigned short)written);
}

// A compressed file that stops making sense ends playback early; the
// packets before that point are in the output, the rest is not.
static void warn_if_cut(PlaybackKind k, int64_t number) {
    if (k == PB_COMPRESSED && !playback.at_eof)
        frame_printf("\n!! Warning !! %s is corrupt after packet %lld: the rest is not converted\n", frame.opt.infile,
                     (long long)number);
}

// Skips packets 1 to start - 1, then writes one packet in every n up to
// packet end.
static int copy_packets(PlaybackKind k, int outformat) {
    const ToolOptions* o = &frame.opt;
    int64_t number = 1;
    for (; number < o->start; number++) {
        if (!next_packet(k)) {
            warn_if_cut(k, number - 1);
            return 0;
        }
        if (pkttool_stop_key()) return EXIT_FRAME_STOP_KEY;
    }
    Progress progress{};
    uint32_t written = 0, line = 0;
    int phase = 0, rc = 0;
    while (rc == 0 && next_packet(k)) {
        if (phase == 0) {
            if (number > o->end) break;
            line = written;
            if (progress_due(&progress)) show_progress(line);
            if (write_packet(outformat) != 0)
                return frame_fail(EXIT_FRAME_CREATE_OUTPUT, "\n!! Error 7 !! packet %lld of %d bytes cannot be written to %s\n",
                                  (long long)number, pkt.len, o->outfile);
            written++;
        }
        if (pkttool_stop_key()) rc = EXIT_FRAME_STOP_KEY;
        number++;
        phase = (phase + 1) % o->every;
    }
    if (progress.pending) show_progress(line);
    if (rc == 0 && number <= o->end) warn_if_cut(k, number - 1);
    return rc;
}

static int voxmera_run(int argc, const char* const* argv) {
    int rc = pkttool_start(&kVoxmeraDesc, argc, argv);
    if (rc == 0) rc = pkttool_load_format(true);
    if (rc) return rc;
    ToolOptions* o = &frame.opt;
    if (o->start < 1) o->start = 1;
    if (o->end < 1) o->end = 1;
    if (o->every < 1) o->every = 1;
    if (o->informat == FMT_NONE) return frame_fail(EXIT_NO_INPUT_FORMAT, "\n!! Error 6 !! no input packet format value\n");
    if (o->outformat == FMT_NONE) o->outformat = o->informat;
    // Playback opens the input itself. It clears the playback image of a
    // compressed input, and the writer starts from a cleared reference
    // image, so a compressed output stands by itself whatever packet it
    // starts with.
    zyr_fclose(frame.in);
    frame.in = -1;
    PlaybackKind k = kKinds[o->informat];
    if (open_input(k) != 0)
        return frame_fail(EXIT_FRAME_OPEN_INPUT, "\n!! Error 5 !! could not open %s file\n", o->infile);
    if (o->outformat == FMT_COMPRESSED && compressed_writer_init(&g_writer) != 0)
        return frame_fail(EXIT_FRAME_INIT, "\n!! Error 8 !! initialisation failure %d\n", -1);
    rc = copy_packets(k, o->outformat);
    if (rc == 0) rc = pkttool_finish_output();
    if (rc == 0) frame_printf("\n");
    return rc;
}

void voxmera_reset() {
    compressed_writer_free(&g_writer);
    block_reader_free(&g_raw);
    g_raw = BlockReader{-1, nullptr, 0, 0, 0, false};
}

int voxmera_main(int argc, const char* const* argv) {
    int rc = voxmera_run(argc, argv);
    voxmera_reset();
    pkttool_release();
    return frame_exit(rc);
}
