// Ascii and compressed playback on any file, with fixed or variable length
// packets; the first byte chooses the reader and the description.
#include "engine/input.h"
#include "engine/playback.h"
#include "fuzz/fuzz_support.h"

static uint32_t length_value(const uint8_t* p, int) { return (uint32_t)(p[7] | p[8] << 8); }
static int length_port(LengthPort* out) {
    out->enabled = true;
    out->byteindex = 7;
    out->width = 2;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_enter_temp_dir();
    if (size < 1) return 0;
    if (packet_init() != 0) abort();
    setup_test_description((data[0] & 2) ? 0 : 64, PKT_SUMCHECK | PKT_TIME | PKT_REPORTSYNCLOSS);
    if (data[0] & 2) {
        packet_hooks.length_port = length_port;
        packet_hooks.length_value = length_value;
    }
    fuzz_write("play", data + 1, size - 1);
    PlaybackKind kind = (data[0] & 1) ? PB_COMPRESSED : PB_ASCII;
    if (data[0] & 4) zyr.IoFlags |= IO_LEAVE_OPEN_EOF;
    if (playback_open(kind, "play") != 0) abort();
    for (int guard = 0; guard < 200000 && (zyr.IoFlags & playback_bit(kind)); guard++) {
        int rc = get_next_packet();
        if (rc == PKT_OK && (pkt.len < 1 || pkt.len > MAXPKTLEN)) abort();
        if (rc == PKT_NO_DATA && playback.at_eof) break;
    }
    playback_reset();
    input_reset();
    fuzz_reset_core();
    return 0;
}
