// The packet format and the frame synchroniser: the 56-byte packet record of
// page 0, the working layout that CreatePacket derives from it, the
// resumable sync search that cuts a byte stream into packets, and the
// checksum and packet-counter checks with their error reports.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int MAXPKTLEN = 32767;      // largest packet; size of the packet buffers
constexpr int MAXHDRLEN = 128;        // largest header
constexpr int VARPKT_WINDOW = 128;    // search window of variable-length packets
constexpr int HDR_PARTS = 7;

// Header parts, by index. Offsets are handed out in registration order.
enum : int {
    PART_SYNC = 0,
    PART_CHECKSUM = 1,    // 2 bytes: S, then C
    PART_SPARE = 2,       // not used by the engine
    PART_MARKER = 3,      // zero length; its offset is the length-field position
    PART_TIME = 4,        // 4 bytes, calendar seconds, least significant first
    PART_COUNTER = 5,     // 1 or 2 bytes, least significant first
    PART_SPARE2 = 6,
};

// Packet flags (offset 0 of the record). Bits above 0x8 belong to the CCSDS
// output; all bits are kept as read.
enum : uint32_t {
    PKT_SUMCHECK = 0x1,
    PKT_TIME = 0x2,
    PKT_REPORTSYNCLOSS = 0x4,
    PKT_CCSDS = 0x8,
};

// The packet record: the body of the [packet] record of page 0 (tag 297).
// Integers little-endian. The sync pattern and mask are right-aligned: an
// L-byte pattern occupies pattern[4 - L] .. pattern[3], most significant
// byte first, i.e. in stream order; the mask likewise.
struct __attribute__((packed)) PacketRecord {
    uint32_t flags;                       // PKT_* and the CCSDS bits
    uint16_t masked_sync[4];              // pattern AND mask, 4-byte layout
    uint16_t packetcounterlength;         // 0, 1 or 2
    uint16_t fixedpacketlength;           // 0 = variable length
    uint16_t part_offset[HDR_PARTS];      // offset of each header part
    uint16_t part_length[HDR_PARTS];      // length of each header part
    uint16_t sync_len;                    // bytes 1..4 (bits in the defaults until BuildSync)
    uint16_t header_len;                  // sum of the part lengths, at most 128
    uint8_t pattern[4];                   // right-aligned sync pattern
    uint8_t mask[4];                      // right-aligned sync mask
};
static_assert(sizeof(PacketRecord) == 56);
static_assert(offsetof(PacketRecord, flags) == 0);
static_assert(offsetof(PacketRecord, masked_sync) == 4);
static_assert(offsetof(PacketRecord, packetcounterlength) == 12);
static_assert(offsetof(PacketRecord, fixedpacketlength) == 14);
static_assert(offsetof(PacketRecord, part_offset) == 16);
static_assert(offsetof(PacketRecord, part_length) == 30);
static_assert(offsetof(PacketRecord, sync_len) == 44);
static_assert(offsetof(PacketRecord, header_len) == 46);
static_assert(offsetof(PacketRecord, pattern) == 48);
static_assert(offsetof(PacketRecord, mask) == 52);

// The running packet description, derived by CreatePacket. Stage k (1..4)
// of the sync search expects expect[k] under mask[k]; an L-byte sync uses
// the stages 5 - L .. 4.
struct PacketLayout {
    PacketRecord desc;        // the record as taken over
    uint32_t sync_value;      // the L pattern bytes as a number
    uint32_t sync_mask;
    int sync_len;             // L
    int first_stage;          // 5 - L
    uint8_t expect[5];        // [1..4] masked sync bytes
    uint8_t mask[5];          // [1..4] mask bytes
    int checksum_pos;
    int counter_pos;
    int counter_len;
    int time_pos;
    int lenfield_pos;         // offset of the marker part
    int header_len;
    int data_len;             // packet length - header length
    int fixed_len;            // 0 = variable
    int search_len;           // give-up window: fixed length, or 128
};
extern PacketLayout pkt_layout;

// Last check kinds.
enum : int {
    CHECK_NONE = 0,           // the counter was checked and in sequence after a sync loss
    CHECK_SYNC_LOSS = 1,
    CHECK_LENGTH = 3,
    CHECK_START = 6,
    CHECK_CHECKSUM = 8,
    CHECK_SEQUENCE = 9,
};

// The working packet: the packet being assembled and the search state. Every
// field survives a return with result 6.
struct PacketState {
    uint8_t* buf;             // MAXPKTLEN bytes from the pool: the packet, sync first
    uint8_t* image;           // MAXPKTLEN bytes: the packet image of the test data
                              // generator and the ascii and compressed readers
    int held;                 // bytes read into buf since the search began
    int16_t stage[5];         // [1..4] masked byte last read at that sync position, -1 empty
    int needed;               // -1 unknown; the length-field end until len_known; then the length
    bool len_known;
    bool quiet_start;         // the first sync loss is silent
    int last_check;           // CHECK_*
    uint16_t last_counter;
    uint16_t rx_counter;
    uint32_t counted;         // packets seen by the counter check
    int len;                  // length of the packet last delivered by get_packet
    int raw_slot;             // raw record file slot, -1 = none
};
extern PacketState pkt;

// The value port that gives the length of variable-length packets, as the
// evaluation describes it.
struct LengthPort {
    bool enabled;
    int byteindex;
    int width;                // bytes
};

// What later modules provide. Each hook may be null: null means nothing is
// done (or, for the length port, that there is none).
struct PacketHooks {
    // Input sources (test data generator): rebuild the test packet; called
    // by CreatePacket while test data is on.
    void (*prepare_test_packet)();
    // Evaluation: settle the processing periods of the ports again.
    void (*settle_port_periods)();
    // Value-port display: redraw the ports that show the sync value, the
    // packet flags and the fixed packet length.
    void (*redraw_packet_stats)();
    // Evaluation: describe the `varpktlen` port; 0 when there is one, -1 not.
    int (*length_port)(LengthPort* out);
    // Evaluation: evaluate the length port on the packet (held bytes are in)
    // and return its value as an unsigned 32-bit length.
    uint32_t (*length_value)(const uint8_t* packet, int held);
    // Echo: the user byte output (IoFlags 0x100) takes each byte read.
    void (*user_byte_out)(uint8_t byte);
};
extern PacketHooks packet_hooks;

// ---- byte sources -------------------------------------------------------

// The stream sources of the synchroniser, in the order they are asked.
enum : int {
    PSRC_USER_BYTE = 0,       // IoFlags 0x40
    PSRC_SERIAL = 1,          // IoFlags 0x8000
    PSRC_NETWORK = 2,         // IoFlags 0x20000
    PSRC_RAW_PLAYBACK = 3,    // IoFlags 0x2
    PSRC_COUNT = 4,
};

// One byte source, registered by the module that owns it (user hooks, the
// serial driver, the network services, raw playback). A source gives at
// least read_byte or view/advance. view/advance let the synchroniser scan
// the bytes in place; take is the block read of a receive ring, used for
// the packet body when there is no view. The results are the same whichever
// way the bytes are taken.
struct ByteSource {
    int (*read_byte)(void* ctx);                      // next byte, or -1 when none now
    int (*take)(void* ctx, uint8_t* dst, int n);      // up to n bytes; count taken
    int (*view)(void* ctx, const uint8_t** p);        // contiguous bytes ready now
    void (*advance)(void* ctx, int n);                // the first n viewed bytes were used
    void* ctx;
};

// Registers (or with null removes) the source for one PSRC_* index.
void packet_set_source(int which, const ByteSource* src);

// A memory source for tests and benchmarks. len may grow between calls to
// feed more of the data.
struct MemSource {
    const uint8_t* data;
    size_t len;
    size_t pos;
};
enum MemSourceKind { MEM_BYTES, MEM_RING, MEM_VIEW };
// Fills src for m: MEM_BYTES gives read_byte only, MEM_RING read_byte and
// take, MEM_VIEW read_byte and view/advance.
void mem_source(ByteSource* src, MemSource* m, MemSourceKind kind);

// ---- description ----------------------------------------------------------

// The defaults: pattern 0x1234, 16 bits (in bits), mask 0xFFFFFFFF, variable
// length, 1-byte counter, sumcheck, time and reportsyncloss on.
void packet_defaults(PacketRecord* r);

// Sync length in bits (8, 16, 24, 32), pattern and mask: stores the length
// in bytes, the pattern, mask and masked bytes, and registers header part 0.
// 0, or -1 with "BuildSync() sync len %d invalid" on the debug log.
int BuildSync(PacketRecord* r, int bits, uint32_t pattern, uint32_t mask);

// Registers a header part at the present header length. 0, or -1 when the
// part index is unknown, the length is above 128 or the header would
// exceed 128 bytes.
int packet_add_part(PacketRecord* r, int part, int len);

// Builds the header in the standard order (sync, checksum, marker, time,
// counter) from the settings of s, or from the defaults when s is null
// (s->sync_len in bits; its pattern and mask bytes are the values), and
// applies it with CreatePacket. 0; -1 sync refused; -2 fixed length above
// 32767; -3 counter length 3 or more; -4 header overflow; -5 CreatePacket
// refused. On failure the running description stays as it was.
int packet_setup(const PacketRecord* s);

// Takes r over as the running description and starts the search afresh.
// 0; -1 sync length not 1..4 ("!! CreatePacket() sync_len = %hu !!"); -2
// header longer than 128 bytes, a checked field outside it, a counter of 3
// or more bytes or a fixed length above 32767 (debug line
// "!! CreatePacket() header_len = %hu fixedpacketlength = %hu !!").
int CreatePacket(const PacketRecord* r);

// ---- acquisition ----------------------------------------------------------

enum : int {
    PKT_OK = 0,          // a whole packet is in pkt.buf, pkt.len bytes
    PKT_GAVE_UP = 1,     // search window full without sync
    PKT_BAD_LENGTH = 3,  // length failure, error 3 reported
    PKT_NO_DATA = 6,     // the source has no more bytes now; call again later
};

// Reads from the active source until a packet is complete or no byte is
// left; result PKT_*.
int get_packet();

// The packet length from the header bytes of a packet image of which the
// first `have` bytes are present: the total length, or -1 above 32767
// ("GetPacketLength_Read -1 ..."), -3 below `have` or the header
// ("GetPacketLength_Read -3 ..."), -2 no usable length port, -4 the length
// field is not in yet. The ascii and compressed readers use it as well.
int GetPacketLength_Read(const uint8_t* image, int have);
// The end of the length field of the `varpktlen` port (byte index + width),
// or -1 when no usable length port is described: the bytes a reader must
// hold before it can ask GetPacketLength_Read.
int packet_length_field_end();

// The length failure: SystemFlags 0x10, error 3 with value `needed`, last
// check kind 3, search reset. Also for the file readers.
void packet_length_failure(int needed);
// The sync loss (silent the first time after start). Also for the file readers.
void packet_sync_loss();

// Clears the quiet-start mark; done for every good packet.
void packet_good();

// ---- checks -------------------------------------------------------------

// Reverses the bit order of every byte when IoFlags 0x1000 is on.
void packet_exchange_bits(uint8_t* p, int len);

// The checksums over p[from..to): sum S, rotate-add R and rotate C.
void packet_checksums(const uint8_t* p, int from, int to, uint8_t* s, uint8_t* r, uint8_t* c);

// The checks report through zyr_err with the hex dump option; p becomes the
// packet that the dump shows, so it must stay valid until the next packet.
// Checksum check (with sumcheck): 0 good, or 8 after error 8.
int packet_check_sum(const uint8_t* p, int len);
// Counter check (with a counter): 0 in sequence or not reported, or 9
// after error 9.
int packet_check_counter(const uint8_t* p, int len);
// Both, in that order: 0, 8 (checksum error) or 9 (sequence error only).
int packet_checks(const uint8_t* p, int len);

// For generators: write the sync bytes in stream order, and S and C into
// the checksum field of a len-byte packet.
void packet_put_sync(uint8_t* p);
void packet_put_checksum(uint8_t* p, int len);

// ---- lifecycle ------------------------------------------------------------

// Allocates the two packet buffers from the pool, cleared. 0 or -1.
int packet_init();
void packet_free();
// Back to the start state: buffers freed (call it before mempool_reset),
// no sources, no hooks, an empty description, the search reset.
void packet_reset();
// Search state back to searching: nothing held, stages empty, length unknown.
void packet_search_reset();
