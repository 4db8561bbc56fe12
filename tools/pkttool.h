// What the four packet tools (voxmera, gresko, hulven, limsador) share
// beyond the command-line frame: their start-up with the packet format of
// the page file, the length port of variable-length packets, reading the
// input in blocks, progress lines that keep up with millions of packets,
// building packet headers, and the final check of the output.
#pragma once

#include <cstdint>

#include "tools/frame.h"

constexpr int EXIT_NO_INPUT_FORMAT = 6;
constexpr int EXIT_PACKET_TOO_SMALL = 2;
constexpr int EXIT_BAD_PACKET = 9;
constexpr int EXIT_PAGE_MISSING = 10;

// The packet tools' options, usage texts and default names.
extern const char kPacketPageDefault[];   // "PAGE0000.BIN"

// Steps 1 to 7 of the frame for a packet tool: banner, options, input,
// output. The page file counts as an input, so an output that names it
// is refused before the page could be overwritten. 0 or the exit code.
int pkttool_start(const ToolDesc* desc, int argc, const char* const* argv);

// Step 8: the packet format from the page file frame.opt.page (found
// whatever the letter case of its name), then the packet machinery. A
// missing page file exits 10 with its two lines, a page file that cannot
// be read or holds no packet format, and a format the machinery refuses,
// exit 8 ("initialisation failure"). With playback set, variable-length
// packets take their length from the page's length port; without one the
// 128-byte length that vantor assumes is used, with a warning.
int pkttool_load_format(bool playback);

// The length port taken from the page file, when there is one.
struct ToolLengthPort {
    bool present;
    int offset;           // byte of the packet where the raw value starts
    int width;            // 2, 4 or 8 bytes
    int type;             // DT_* of the raw format
    uint32_t calflags;    // byte swap flags
};
extern ToolLengthPort tool_length_port;

// Prints "Packet length too %d small to transfer" and its advice; the
// exit code.
int pkttool_too_small(int length);

// Fills the header of a packet of the running format: zeros, the sync
// bytes, the packet counter (number, 1 or 2 bytes, least significant
// first) and the calendar time. The caller adds the data and then the
// checksum (packet_put_checksum).
void pkttool_build_header(uint8_t* p, uint32_t number);

// The length position of a variable-length format must leave room for a
// 16-bit count inside the header. 0 when it does; else prints why not and
// gives the exit code.
int pkttool_count_room();

// Little-endian 16-bit fields.
inline void put_le16(uint8_t* p, unsigned v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
inline unsigned get_le16(const uint8_t* p) { return p[0] | (unsigned)p[1] << 8; }

// Reading a file in large blocks through the file layer, handed out in
// pieces of any size: constant memory, few system calls.
struct BlockReader {
    int slot;
    uint8_t* buf;         // cap bytes (pool)
    int cap;
    int pos;
    int len;
    bool end;             // the file gave nothing more
};
constexpr int TOOL_BLOCK = 65536;

// 0, or -1 without memory.
int block_reader_init(BlockReader* r, int slot, int cap);
void block_reader_free(BlockReader* r);
// Copies up to n bytes to dst; fewer only at the end of the file. The count.
int block_read(BlockReader* r, uint8_t* dst, int n);

// Progress lines overwrite each other on the console, so only the ones a
// person could see are printed: one every 50 ms, and the last one. The
// clock is read once in 64 units: it costs more than a packet.
struct Progress {
    uint64_t last_ms;
    uint32_t calls;
    bool shown;           // one has been printed
    bool pending;         // the latest one was not printed
};
// True when this unit's line is to be printed now; otherwise the line is
// left pending.
bool progress_due(Progress* p);

// The stop key after a unit of work: the frame's key test, asked after the
// first unit and then once in 64 (the frame itself asks the keyboard at
// most every 50 ms). True when Q or q was pressed.
bool pkttool_stop_key();

// Flushes the output; 0, or 7 after "could not write" when the file
// system refused its bytes.
int pkttool_finish_output();

// Gives back the packet buffers, playback and record files before the
// frame's exit routine frees the pool.
void pkttool_release();

// Back to the start state.
void pkttool_reset();
