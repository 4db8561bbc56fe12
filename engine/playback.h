// Packet files: playback of raw, ascii and compressed files into the packet
// buffer, and recording of packets into the three formats. Shared by vantor
// and the packet file tools; nothing here needs a window.
#pragma once

#include <cstdint>

#include "core/files.h"

enum PlaybackKind { PB_RAW = 0, PB_ASCII = 1, PB_COMPRESSED = 2, PB_KINDS = 3 };

constexpr int PLAYBACK_BLOCK = 1024;
constexpr int ASCII_MAX_BLANKS = 1024;      // non-digits skipped in a row per call
constexpr uint32_t IO_LEAVE_OPEN_EOF = 0x4000;
constexpr uint32_t IO_PLAYBACK_BITS = 0x2A;

struct PlaybackState {
    int slot[PB_KINDS];                 // open playback files, -1 closed
    uint8_t* block;                     // raw block buffer (pool)
    int block_fill;
    int block_pos;
    bool at_eof;                        // the last read found the end of the file
    // ascii reader
    int a_hi;                           // pending high digit, -1 none
    int a_pos;                          // bytes of the packet stored
    int a_needed;                       // bytes that make the packet (-1 unknown)
    bool a_len_known;
    // compressed reader
    int c_first;                        // pending first byte of an entry, -1 none
    int c_pos;                          // pending position, -1 none
    int c_max_pos;                      // highest position of this packet
    void (*eof_hook)();                 // vantor: step mode off at the end of a file
};
extern PlaybackState playback;

// The playback bit of IoFlags for a kind.
uint32_t playback_bit(PlaybackKind k);

// Opens name for playback of kind k: 0, or -1 after error 14. Sets the
// playback bit and resets the reader.
int playback_open(PlaybackKind k, const char* name);
void playback_close(PlaybackKind k);

// Raw playback is a byte source of the synchroniser (registered by
// playback_open).
// The ascii and compressed readers build one packet in pkt.buf (pkt.len):
// 0 a packet, 1 sync loss, 3 length failure, 6 nothing more now.
int ascii_read_packet();
int compressed_read_packet();

// End of a playback file: closes it and clears the playback bits and step
// mode unless "Leave open on EOF" is on.
void playback_eof();

// Packet record files.
struct RecordState {
    RecordSlots slots;                  // raw, ascii, compressed; -1 closed
    CompressedWriter cw;
    uint32_t bufsize;                   // write buffer of a new file, 0: 16384
};
extern RecordState recording;

// Opens a record file (w: new, a: append) and sets its IoFlags bit; 0, -1
// error 14, -2 the file is open already.
int record_open(PlaybackKind k, const char* name, const char* mode);
void record_close(PlaybackKind k);
// Writes one packet to every open record file; raw only when raw_too (a
// stream source records its raw bytes as they are read).
void record_packet(const uint8_t* p, int len, bool raw_too);

void playback_reset();
