// Program-wide shared state: the two switch words, the work mask, the time
// base and the statistics record. Every program of the suite links it; the
// engine owns the writes, pages read it through the system parameters.
#pragma once

#include <cstddef>
#include <cstdint>

// SystemFlags bits the cycle and the checks read or write.
enum : uint32_t {
    SF_DIAGNOSTICS = 0x00000001,   // hex dump of the packet with each report
    SF_AUTOTUNE = 0x00000002,
    SF_CHECKSUM_ERR = 0x00000004,
    SF_SEQUENCE_ERR = 0x00000008,
    SF_SYNC_LOST = 0x00000010,
    SF_NO_PACKET = 0x00000020,
    SF_FRAME_TIMINGS = 0x00000040,
    SF_ECHO = 0x00000080,
    SF_STARTUP_STATUS = 0x00000400,
    SF_MONOCHROME = 0x00000200,
    SF_PAGE_CHANGED = 0x00000800,
    SF_SERIAL_CHANGED = 0x00001000,  // serial configuration changed: rebuild the serial status line
    SF_ACCEPTED = 0x00004000,
    SF_OVERCLOCK = 0x00008000,
    SF_PLOT_DELETE = 0x00010000,   // the Delete key clears the page's plots
    SF_COMMAND_OUT = 0x00080000,
    SF_STEP_MODE = 0x00100000,
    SF_ASCII_OUT = 0x00200000,
    SF_BEEPER = 0x04000000,
    SF_DISPLAY_LOCK = 0x08000000,
    SF_RESET_STATS = 0x40000000,
};

// IoFlags bits: sources, outputs and record files.
enum : uint32_t {
    IO_RAW_RECORD = 0x00000001,
    IO_RAW_PLAYBACK = 0x00000002,
    IO_COMP_RECORD = 0x00000004,
    IO_COMP_PLAYBACK = 0x00000008,
    IO_ASCII_RECORD = 0x00000010,
    IO_ASCII_PLAYBACK = 0x00000020,
    IO_USER_BYTE_IN = 0x00000040,
    IO_USER_PACKET_IN = 0x00000080,
    IO_USER_BYTE_OUT = 0x00000100,
    IO_USER_PACKET_OUT = 0x00000200,
    IO_TEST_DATA = 0x00000400,
    IO_EXCHANGE_BITS = 0x00001000,
    IO_SERIAL_IN = 0x00008000,
    IO_SERIAL_OUT = 0x00010000,
    IO_NET_IN = 0x00020000,
    IO_NET_OUT = 0x00040000,
};

// Work mask stages (all on at start).
enum : uint32_t {
    WM_ACQUIRE = 0x1,
    WM_DISPLAY = 0x2,
    WM_OUTPUT = 0x4,
    WM_ERRORS = 0x8,
};

// Byte offsets of the fields of zyr_stats that the engine maintains.
enum : unsigned {
    ST_SYNC_LOSSES = 8,
    ST_SEQ_ERRORS = 12,
    ST_PACKETS_SENT = 16,
    ST_BYTES_READ = 20,
    ST_BYTES_SENT = 24,
    ST_GAP_COUNT = 28,
    ST_LAST_PACKET_TIME = 36,
    ST_LAST_BYTE_TIME = 40,
    ST_LAST_SENT_PACKET_TIME = 44,
    ST_LAST_SENT_BYTE_TIME = 48,
    ST_BYTES_READ_SEC = 52,
    ST_BYTES_SENT_SEC = 56,
    ST_PACKETS_READ_RATE = 60,     // tenths per second
    ST_PACKETS_SENT_RATE = 64,     // tenths per second
    ST_CHANGES_RATE = 68,          // value changes, tenths per second
    ST_PACKETS_READ = 72,          // packets received since the reset
    ST_ELAPSED_SECS = 76,          // seconds since the statistics were reset
    ST_BYTES_THIS_READ = 96,
    ST_PORTS_1 = 128,
    ST_PORTS_2 = 132,
    ST_PORTS_3 = 136,
    ST_MEM_ALLOC_CNT = 140,
    ST_MEM_TOTAL = 144,
    ST_MEM_PEAK = 148,
    ST_BRUSHES = 152,
    ST_REGIONS = 156,
    ST_PENS = 160,
    ST_TASK_MONITOR = 168,
    ST_SYNC_VALUE = 172,
    ST_PACKET_FLAGS = 176,
    ST_FIXED_LENGTH = 180,
    ST_RX_BLOCK = 212,
    ST_RX_FILL = 216,
    ST_TX_BLOCK = 220,
    ST_TX_FILL = 224,
    ST_RX_BLOCK_MAX = 248,
    ST_TX_BLOCK_MAX = 252,
};

constexpr size_t ZYR_STATS_BYTES = 1024;

struct ZyrStats {
    uint32_t u[ZYR_STATS_BYTES / 4];
};
static_assert(sizeof(ZyrStats) == ZYR_STATS_BYTES);

// The shared record. Times are unsigned milliseconds and wrap after 49 days.
struct ZyrShared {
    uint32_t SystemFlags;
    uint32_t IoFlags;
    uint32_t work_mask;
    uint32_t zyr_msecs;        // ms since start
    uint32_t zyr_secs;         // zyr_msecs / 1000
    int64_t caltime;           // calendar seconds, refreshed each pass
    int64_t start_caltime;     // calendar seconds at start
    char asciictime[32];       // local date text of caltime, with newline
    uint32_t zyrfr_cnt;        // packets delivered by the input
    uint32_t loop_msecs;       // ms between due passes
    int eval_port;             // number of the port being evaluated, for reports
    char startdir[261];        // start-up directory
    char version[10];          // "W32V5.03"
};

extern ZyrShared zyr;
extern ZyrStats zyr_stats;

inline uint32_t& zyr_stat(unsigned byte_offset) { return zyr_stats.u[byte_offset / 4]; }

// Back to the start state (all flags clear, work mask all on).
void state_reset();

// Refreshes asciictime from caltime; returns 0, or -1 when the conversion
// failed and the old text stays.
int state_refresh_asciictime();
