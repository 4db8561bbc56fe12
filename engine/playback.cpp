// Playback readers and packet record files. Raw playback feeds the
// synchroniser like a serial line; the ascii and compressed readers rebuild
// whole packets themselves, taking the length from the header of the
// description of page 0. Every reader resumes where the file stopped, so a
// file that grows (with "Leave open on EOF") is read on.
#include "engine/playback.h"

#include <cstring>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/state.h"

PlaybackState playback;
RecordState recording;

static void reset_ascii() {
    playback.a_hi = -1;
    playback.a_pos = 0;
    playback.a_needed = -1;
    playback.a_len_known = false;
}

static void reset_compressed() {
    playback.c_first = -1;
    playback.c_pos = -1;
    playback.c_max_pos = -1;
}

static void playback_start_state() {
    memset(&playback, 0, sizeof playback);
    for (int& s : playback.slot) s = -1;
    reset_ascii();
    reset_compressed();
    memset(&recording, 0, sizeof recording);
    recording.slots = RecordSlots{-1, -1, -1};
}

static struct PlaybackInit {
    PlaybackInit() { playback_start_state(); }
} g_playback_init;

uint32_t playback_bit(PlaybackKind k) {
    static const uint32_t kBits[PB_KINDS] = {IO_RAW_PLAYBACK, IO_ASCII_PLAYBACK, IO_COMP_PLAYBACK};
    return kBits[k];
}

// ---- raw playback: a byte source of the synchroniser ----------------------

static int raw_fill() {
    if (playback.block_pos < playback.block_fill) return playback.block_fill - playback.block_pos;
    int slot = playback.slot[PB_RAW];
    if (slot < 0 || !playback.block) return 0;
    int n = zyr_fread(playback.block, 1, PLAYBACK_BLOCK, slot);
    playback.block_pos = 0;
    playback.block_fill = n > 0 ? n : 0;
    if (playback.block_fill == 0) playback_eof();
    return playback.block_fill;
}

static int raw_read_byte(void*) { return raw_fill() ? playback.block[playback.block_pos++] : -1; }

static int raw_view(void*, const uint8_t** p) {
    int n = raw_fill();
    *p = playback.block + playback.block_pos;
    return n;
}

static void raw_advance(void*, int n) { playback.block_pos += n; }

static const ByteSource kRawSource = {raw_read_byte, nullptr, raw_view, raw_advance, nullptr};

// ---- open, close, end of file -----------------------------------------------

int playback_open(PlaybackKind k, const char* name) {
    playback_close(k);
    int slot = zyr_fopen(name, "r", 0);
    if (slot < 0) {
        zyr_err(14, 1, name, 0, 0, 0);
        return -1;
    }
    if (k == PB_RAW) {
        playback.block = (uint8_t*)qob_checked_malloc(PLAYBACK_BLOCK);
        if (!playback.block) {
            zyr_fclose(slot);
            return -1;
        }
        playback.block_fill = playback.block_pos = 0;
        packet_set_source(PSRC_RAW_PLAYBACK, &kRawSource);
    } else {
        zyr_fset_readahead(slot, PLAYBACK_BLOCK);
    }
    if (k == PB_ASCII) reset_ascii();
    if (k == PB_COMPRESSED) {
        reset_compressed();
        if (pkt.image) memset(pkt.image, 0, MAXPKTLEN);
    }
    playback.slot[k] = slot;
    playback.at_eof = false;
    zyr.IoFlags |= playback_bit(k);
    return 0;
}

void playback_close(PlaybackKind k) {
    if (playback.slot[k] >= 0) zyr_fclose(playback.slot[k]);
    playback.slot[k] = -1;
    zyr.IoFlags &= ~playback_bit(k);
    if (k == PB_RAW) {
        packet_set_source(PSRC_RAW_PLAYBACK, nullptr);
        QOBfree(playback.block);
        playback.block = nullptr;
        playback.block_fill = playback.block_pos = 0;
    }
}

void playback_eof() {
    playback.at_eof = true;
    playback.block_fill = playback.block_pos = 0;
    if (zyr.IoFlags & IO_LEAVE_OPEN_EOF) return;
    for (int i = 0; i < PB_KINDS; i++) playback_close((PlaybackKind)i);
    zyr.IoFlags &= ~IO_PLAYBACK_BITS;
    if (playback.eof_hook) playback.eof_hook();
}

// The first sync byte of a rebuilt packet must match the description.
static bool first_sync_ok(uint8_t b) {
    int k = pkt_layout.first_stage;
    return (b & pkt_layout.mask[k]) == pkt_layout.expect[k];
}

// ---- ascii playback -------------------------------------------------------------

static int hex_digit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Stores one byte of the packet; a result of -1 asks for more.
static int ascii_store(uint8_t b) {
    if (playback.a_pos == 0 && !first_sync_ok(b)) {
        packet_sync_loss();
        return PKT_GAVE_UP;
    }
    pkt.buf[playback.a_pos++] = b;
    if (!playback.a_len_known) {
        int len = pkt_layout.fixed_len ? pkt_layout.fixed_len : GetPacketLength_Read(pkt.buf, playback.a_pos);
        if (len == -4) return -1;
        if (len < 0) {
            int have = playback.a_pos;
            reset_ascii();
            packet_length_failure(have);
            return PKT_BAD_LENGTH;
        }
        playback.a_needed = len;
        playback.a_len_known = true;
    }
    if (playback.a_pos < playback.a_needed) return -1;
    pkt.len = playback.a_needed;
    reset_ascii();
    zyr_stat(ST_BYTES_READ) += (uint32_t)pkt.len;
    return PKT_OK;
}

int ascii_read_packet() {
    int slot = playback.slot[PB_ASCII];
    if (slot < 0 || !pkt.buf) return PKT_NO_DATA;
    int blanks = 0;
    for (;;) {
        int c = zyr_fgetc(slot);
        if (c < 0) {
            playback_eof();
            return PKT_NO_DATA;
        }
        int v = hex_digit(c);
        if (v < 0) {
            playback.a_hi = -1;  // a lone digit is dropped
            if (++blanks >= ASCII_MAX_BLANKS) return PKT_NO_DATA;
            continue;
        }
        blanks = 0;
        if (playback.a_hi < 0) {
            playback.a_hi = v;
            continue;
        }
        uint8_t b = (uint8_t)(playback.a_hi << 4 | v);
        playback.a_hi = -1;
        int r = ascii_store(b);
        if (r >= 0) return r;
    }
}

// ---- compressed playback ---------------------------------------------------------

// Positions lie inside the packet image: below the fixed length, or below
// the largest packet that can be recorded.
static int image_limit() { return pkt_layout.fixed_len ? pkt_layout.fixed_len : MAXPKTLEN - 1; }

static void compressed_corrupt(int pos) {
    if (diag_hooks.beep) diag_hooks.beep();
    zyr_err(3, 1, "Compressed file pos>1", pos, 0, 0);
    playback_close(PB_COMPRESSED);
}

// The end marker: the image holds the packet. The image keeps the bytes of
// earlier packets where this one did not change them, so the length field
// is complete by now; the length is read as if exactly the bytes up to the
// end of the field were in, as the stream synchroniser reads it. An entry
// past that length means the file does not match the description.
static int compressed_end() {
    int len = pkt_layout.fixed_len;
    if (!len) {
        int field = packet_length_field_end();
        len = GetPacketLength_Read(pkt.image, field < 0 ? 0 : field);
    }
    int max_pos = playback.c_max_pos;
    reset_compressed();
    if (len < 0 || max_pos >= len) {
        packet_length_failure(max_pos + 1);
        return PKT_BAD_LENGTH;
    }
    if (!first_sync_ok(pkt.image[0])) {
        packet_sync_loss();
        return PKT_GAVE_UP;
    }
    memcpy(pkt.buf, pkt.image, (size_t)len);
    pkt.len = len;
    zyr_stat(ST_BYTES_READ) += (uint32_t)len;
    return PKT_OK;
}

int compressed_read_packet() {
    int slot = playback.slot[PB_COMPRESSED];
    if (slot < 0 || !pkt.buf || !pkt.image) return PKT_NO_DATA;
    for (;;) {
        int b = zyr_fgetc(slot);
        if (b < 0) {
            playback_eof();
            return PKT_NO_DATA;
        }
        if (playback.c_pos >= 0) {
            pkt.image[playback.c_pos] = (uint8_t)b;
            if (playback.c_pos > playback.c_max_pos) playback.c_max_pos = playback.c_pos;
            playback.c_pos = -1;
            continue;
        }
        int pos;
        if (playback.c_first < 0) {
            if (b >= 128) {
                playback.c_first = b;
                continue;
            }
            pos = b;
        } else {
            pos = (playback.c_first - 128) + 128 * b;
            playback.c_first = -1;
            if (pos == COMPRESSED_END) return compressed_end();
        }
        if (pos >= image_limit()) {
            compressed_corrupt(pos);
            return PKT_NO_DATA;
        }
        playback.c_pos = pos;
    }
}

// ---- record files --------------------------------------------------------------

static const uint32_t kRecordBits[PB_KINDS] = {IO_RAW_RECORD, IO_ASCII_RECORD, IO_COMP_RECORD};

static int* record_slot(PlaybackKind k) {
    switch (k) {
    case PB_RAW: return &recording.slots.raw;
    case PB_ASCII: return &recording.slots.ascii;
    default: return &recording.slots.compressed;
    }
}

int record_open(PlaybackKind k, const char* name, const char* mode) {
    if (zyr_fopen_by_name(name) == 0) return -2;
    record_close(k);
    if (k == PB_COMPRESSED && compressed_writer_init(&recording.cw) != 0) return -1;
    int slot = zyr_fopen(name, mode, recording.bufsize ? (int)recording.bufsize : 16384);
    if (slot < 0) {
        if (k == PB_COMPRESSED) compressed_writer_free(&recording.cw);
        zyr_err(14, 1, name, 0, 0, 0);
        return -1;
    }
    *record_slot(k) = slot;
    if (k == PB_RAW) pkt.raw_slot = slot;
    zyr.IoFlags |= kRecordBits[k];
    return 0;
}

void record_close(PlaybackKind k) {
    int* slot = record_slot(k);
    if (*slot >= 0) zyr_fclose(*slot);
    *slot = -1;
    if (k == PB_RAW) pkt.raw_slot = -1;
    if (k == PB_COMPRESSED) compressed_writer_free(&recording.cw);
    zyr.IoFlags &= ~kRecordBits[k];
}

void record_packet(const uint8_t* p, int len, bool raw_too) {
    if (recording.slots.compressed >= 0) compressed_packet_write(&recording.cw, p, len, recording.slots.compressed);
    if (recording.slots.ascii >= 0) ascii_packet_write(p, len, recording.slots.ascii);
    if (raw_too && recording.slots.raw >= 0) raw_packet_write(p, len, recording.slots.raw);
}

void playback_reset() {
    for (int k = 0; k < PB_KINDS; k++) {
        playback_close((PlaybackKind)k);
        record_close((PlaybackKind)k);
    }
    playback_start_state();
}
