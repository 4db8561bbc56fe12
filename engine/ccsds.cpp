// Sorting of CCSDS transfer frames into one append-mode file per virtual
// channel. The frame arrives as an ordinary fixed-length packet.
#include "engine/ccsds.h"

#include <cstdio>
#include <cstring>

#include "core/files.h"
#include "core/packet.h"
#include "core/state.h"

CcsdsState ccsds;

static void ccsds_start_state() {
    memset(&ccsds, 0, sizeof ccsds);
    for (int& s : ccsds.slot) s = -1;
}

static struct CcsdsInit {
    CcsdsInit() { ccsds_start_state(); }
} g_ccsds_init;

static uint32_t packet_flags() { return pkt_layout.desc.flags; }
static uint32_t channel_bit(int c) { return 0x100u << c; }

static int open_channel(int c) {
    char name[16] = "vcdatan.dat", path[300];
    name[6] = (char)('0' + c);
    snprintf(path, sizeof path, "%s%s%s", zyr.startdir, zyr.startdir[0] ? "/" : "", name);
    ccsds.slot[c] = zyr_fopen(path, "ab", 16384);
    return ccsds.slot[c] < 0 ? -1 : 0;
}

static int close_channel(int c) {
    if (ccsds.slot[c] < 0) return 0;
    int rc = zyr_fclose(ccsds.slot[c]);
    ccsds.slot[c] = -1;
    return rc;
}

int ccsds_open_files() {
    if (!(packet_flags() & PKT_CCSDS)) return -1;
    if (ccsds.open) return 0;
    int rc = 0;
    for (int c = 0; c < CCSDS_CHANNELS; c++)
        if ((packet_flags() & channel_bit(c)) && open_channel(c) != 0) rc = -2;
    ccsds.open_mask = packet_flags() & PF_CHANNELS;
    ccsds.open = true;
    return rc;
}

void ccsds_close_files() {
    if (!ccsds.open) return;
    for (int c = 0; c < CCSDS_CHANNELS; c++) close_channel(c);
    ccsds.open = false;
    ccsds.open_mask = 0;
    pkt_layout.desc.flags = packet_flags() & ~PKT_CCSDS;
}

int ccsds_service() {
    if (!(packet_flags() & PKT_CCSDS)) {
        if (ccsds.open) ccsds_close_files();
        return 0;
    }
    if (!ccsds.open) ccsds_open_files();
    uint32_t want = packet_flags() & PF_CHANNELS;
    int rc = 0;
    for (int c = 0; c < CCSDS_CHANNELS && ccsds.open_mask != want; c++) {
        uint32_t bit = channel_bit(c);
        if ((want & bit) && !(ccsds.open_mask & bit)) {
            if (open_channel(c) == 0)
                ccsds.open_mask |= bit;
            else
                rc = -1;
        } else if (!(want & bit) && (ccsds.open_mask & bit)) {
            if (close_channel(c) == 0)
                ccsds.open_mask &= ~bit;
            else
                rc = -2;
        }
    }
    // Frames reach the disk within a second, not only when 16 KB are in.
    for (int c = 0; c < CCSDS_CHANNELS; c++)
        if (ccsds.slot[c] >= 0) zyr_fflush(ccsds.slot[c]);
    return rc;
}

int ccsds_write_channel(int channel, const uint8_t* data, int len) {
    if (channel < 0 || channel >= CCSDS_CHANNELS) return -1;
    if (ccsds.slot[channel] < 0) return -2;
    return zyr_fwrite(data, 1, (size_t)len, ccsds.slot[channel]) == len ? 0 : -3;
}

static void decode_header(const uint8_t* f) {
    CcsdsHeader& h = ccsds.hdr;
    uint16_t id = (uint16_t)(f[4] << 8 | f[5]);
    uint16_t st = (uint16_t)(f[8] << 8 | f[9]);
    h.version = id >> 14;
    h.spacecraft = (id >> 4) & 0x3FF;
    h.vchannel = (id >> 1) & 7;
    h.ocf = id & 1;
    h.mc_count = f[6];
    h.vc_count = f[7];
    h.sec_header = st >> 15;
    h.sync_flag = (st >> 14) & 1;
    h.order_flag = (st >> 13) & 1;
    h.segment_len = (st >> 11) & 3;
    h.first_header = st & 0x7FF;
}

int ccsds_frame_output(const uint8_t* frame, int len) {
    if (!(packet_flags() & PKT_CCSDS)) return -1;
    if (len < 10) return 0;  // no whole primary header
    int c = (frame[5] >> 1) & 7;
    if (!(packet_flags() & channel_bit(c))) return 0;
    decode_header(frame);
    if (ccsds.hdr.first_header >= 2046) return 0;
    int from = ccsds.hdr.sec_header ? 14 : 10;
    int n = ccsds.hdr.sec_header ? 1105 : 1109;
    if (ccsds.hdr.ocf) n -= 4;
    if (packet_flags() & PF_FECW) n -= 2;
    // A frame shorter than its data field gives only what it holds.
    if (from + n > len) n = len > from ? len - from : 0;
    if (n > 0) ccsds_write_channel(c, frame + from, n);
    return 0;
}

void ccsds_reset() {
    for (int c = 0; c < CCSDS_CHANNELS; c++)
        if (ccsds.slot[c] >= 0) zyr_fclose(ccsds.slot[c]);
    ccsds_start_state();
}
