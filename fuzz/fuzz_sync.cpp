// The frame synchroniser on any stream: the first bytes choose the sync
// length, mask, fixed or variable length and where the length field lies.
#include "fuzz/fuzz_support.h"

static int g_len_index, g_len_width;
static int length_port(LengthPort* out) {
    out->enabled = true;
    out->byteindex = g_len_index;
    out->width = g_len_width;
    return 0;
}
static uint32_t length_value(const uint8_t* p, int) {
    uint32_t v = 0;
    for (int i = 0; i < g_len_width && i < 4; i++) v |= (uint32_t)p[g_len_index + i] << (8 * i);
    return v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_enter_temp_dir();
    if (size < 8) return 0;
    if (packet_init() != 0) abort();
    PacketRecord r{};
    packet_defaults(&r);
    static const int kBits[] = {8, 16, 24, 32};
    r.sync_len = (uint16_t)kBits[data[0] & 3];
    r.pattern[0] = 0x1A, r.pattern[1] = 0xCF, r.pattern[2] = 0xEB, r.pattern[3] = 0x90;
    r.mask[0] = r.mask[1] = r.mask[2] = 0xFF;
    r.mask[3] = data[1] | 0x0F;
    r.fixedpacketlength = (data[0] & 4) ? 0 : (uint16_t)(data[2] | (data[3] & 0x7F) << 8);
    r.packetcounterlength = (data[0] >> 3) & 3;
    r.flags = data[0] >> 5;
    packet_setup(&r);
    g_len_index = data[4] | (data[5] & 0x7F) << 8;
    g_len_width = 1 + (data[6] & 3);
    packet_hooks.length_port = length_port;
    packet_hooks.length_value = length_value;
    MemSource m{data + 8, size - 8, 0};
    ByteSource src;
    mem_source(&src, &m, (MemSourceKind)(data[7] % 3));
    packet_set_source(PSRC_RAW_PLAYBACK, &src);
    zyr.IoFlags = IO_RAW_PLAYBACK | ((data[7] & 0x80) ? IO_EXCHANGE_BITS : 0);
    zyr.SystemFlags = SF_DIAGNOSTICS;
    for (int guard = 0; guard < 100000; guard++) {
        int rc = get_packet();
        if (rc == PKT_NO_DATA) break;
        if (rc == PKT_OK) {
            if (pkt.len < 0 || pkt.len > MAXPKTLEN) abort();
            packet_exchange_bits(pkt.buf, pkt.len);
            packet_checks(pkt.buf, pkt.len);
        }
    }
    fuzz_reset_core();
    return 0;
}
