// gresko: packs the bytes of any file into packets of the page file's
// format, so that the file can travel the telemetry path; hulven restores
// it. Fixed-length packets carry D = L - H - 2 file bytes, '.' padding and
// a 16-bit count; variable-length packets carry up to 2048 bytes and their
// count at the packet's length position. One packet buffer, one read block.
#include "tools/gresko.h"

#include <cstring>

#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "tools/pkttool.h"

static const ToolOptions kGreskoDefaults = {
    .every = 1,
    .start = 1,
    .end = TOOL_END_MAX,
    .page = "PAGE0000.BIN",
};

static const char kGreskoUsage[] =
    "\nUsage: gresko infile:filename [options]\nOptions:\noutfile:filename\npage:filename\n\n\n"
    "E.g. 'gresko infile:datafile.txt outfile:pkftile.dat page:c:\\zyrv5\\page0000.bin";

static const ToolDesc kGreskoDesc = {
    .name = "gresko",
    .options = kPacketToolOptions,
    .option_count = 10,
    .defaults = &kGreskoDefaults,
    .usage = kGreskoUsage,
    .default_outfile = "gresko.dat",
    .no_input = kFrameNoInput,
    .identical = kFrameIdentical,
    .identical_exit = EXIT_FRAME_IDENTICAL,
    .refuse_exit = 1,
    .other_key_exit = 2,
    .create_failed = kFrameCreateFailed,
    .terminating = kFrameTerminating,
};

static uint8_t* g_packet;
static BlockReader g_in;

// The file bytes a packet carries; 0, or the exit code when the format
// leaves no room for them and their count. A variable-length count sits
// at the length position inside the header: with nothing after that
// position it would overwrite file bytes.
static int data_size(int* size) {
    const PacketLayout& l = pkt_layout;
    if (l.fixed_len) {
        if (l.header_len + 2 >= l.fixed_len) return pkttool_too_small(l.fixed_len);
        *size = l.fixed_len - l.header_len - 2;
        return 0;
    }
    *size = GRESKO_VAR_DATA;
    return pkttool_count_room();
}

// One packet of n file bytes (already at the data area); its length.
static int finish_packet(uint8_t* p, int n, int data, uint32_t number) {
    const PacketLayout& l = pkt_layout;
    int h = l.header_len, len;
    pkttool_build_header(p, number);
    if (l.fixed_len) {
        memset(p + h + n, '.', (size_t)(data - n));
        put_le16(p + h + data, (unsigned)n);
        len = l.fixed_len;
    } else {
        // After the time and counter, which the count may overlay: the
        // count is what restores the file.
        put_le16(p + l.lenfield_pos, (unsigned)n);
        len = h + n;
    }
    packet_put_checksum(p, len);
    return len;
}

static void show_progress(uint64_t in, uint64_t out) {
    frame_progress("Bytes read %10lu written %10lu\r", (unsigned long)in, (unsigned long)out);
}

static int pack_file(int data) {
    int h = pkt_layout.header_len;
    g_packet = (uint8_t*)QOBmalloc((size_t)(h + data + 2));
    if (!g_packet || block_reader_init(&g_in, frame.in, TOOL_BLOCK) != 0)
        return frame_fail(EXIT_FRAME_INIT, "\n!! Error 8 !! initialisation failure %d\n", -1);
    Progress progress{};
    uint64_t bytes_in = 0, bytes_out = 0;
    uint32_t number = 0;
    int rc = 0, n;
    while (rc == 0 && (n = block_read(&g_in, g_packet + h, data)) > 0) {
        int len = finish_packet(g_packet, n, data, number++);
        zyr_fwrite(g_packet, 1, (size_t)len, frame.out);
        bytes_in += (uint64_t)n;
        bytes_out += (uint64_t)len;
        if (progress_due(&progress)) show_progress(bytes_in, bytes_out);
        if (pkttool_stop_key()) rc = EXIT_FRAME_STOP_KEY;
    }
    if (progress.pending) show_progress(bytes_in, bytes_out);
    return rc;
}

static int gresko_run(int argc, const char* const* argv) {
    int rc = pkttool_start(&kGreskoDesc, argc, argv);
    if (rc == 0) rc = pkttool_load_format(false);
    if (rc) return rc;
    int data;
    rc = data_size(&data);
    if (rc == 0) rc = pack_file(data);
    if (rc == 0) rc = pkttool_finish_output();
    if (rc == 0) frame_printf("\n");
    return rc;
}

void gresko_reset() {
    QOBfree(g_packet);
    g_packet = nullptr;
    block_reader_free(&g_in);
}

int gresko_main(int argc, const char* const* argv) {
    int rc = gresko_run(argc, argv);
    gresko_reset();
    pkttool_release();
    return frame_exit(rc);
}
