// CCSDS virtual channel output: the data field of every accepted transfer
// frame is appended to the file of its virtual channel (vcdata0.dat ..
// vcdata7.dat in the start-up directory) while the packet description asks
// for it.
#pragma once

#include <cstdint>

constexpr int CCSDS_CHANNELS = 8;
constexpr uint32_t PF_FECW = 0x10;        // frames end in an error control word
constexpr uint32_t PF_CHANNELS = 0xFF00;  // 0x100 << c: channel c written

// The primary header of the last frame examined.
struct CcsdsHeader {
    uint16_t version;
    uint16_t spacecraft;
    uint16_t vchannel;
    uint16_t ocf;             // operational control field present
    uint16_t mc_count;
    uint16_t vc_count;
    uint16_t sec_header;
    uint16_t sync_flag;
    uint16_t order_flag;
    uint16_t segment_len;
    uint16_t first_header;    // first header pointer; 2046 and 2047 carry no packet start
};

struct CcsdsState {
    int slot[CCSDS_CHANNELS];  // file slots, -1 closed
    uint32_t open_mask;        // channel bits whose files are open
    bool open;
    CcsdsHeader hdr;
};
extern CcsdsState ccsds;

// Sorts one frame of len bytes; 0, or -1 when the output is off.
int ccsds_frame_output(const uint8_t* frame, int len);
// Once a second: opens, closes and follows the channel bits.
int ccsds_service();
int ccsds_open_files();
void ccsds_close_files();
// 0; -1 channel outside 0..7; -2 file not open; -3 short write.
int ccsds_write_channel(int channel, const uint8_t* data, int len);

void ccsds_reset();
