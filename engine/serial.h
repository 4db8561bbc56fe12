// The serial port driver: COM1 to COM4 on termios. One port may be the
// serial input port, which feeds the synchroniser through the input ring,
// and one (the same or another) the serial output port, written from the
// output ring through 16 write slots. The timeout watchdog reopens a port
// that stays silent, and a device that went away is reopened when it is back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/serialcfg.h"

constexpr int SERIAL_SLOTS = 16;
constexpr int SERIAL_PATH_MAX = 261;
constexpr int SERIAL_STATUS_LEN = 42;
constexpr uint32_t SERIAL_TIMEOUT_MAX = 86400;
constexpr uint32_t SERIAL_SLOT_CHECK_MS = 200;
constexpr uint32_t SERIAL_LOST_RETRY_SECS = 10;   // retry period of a lost device while the watchdog is off

// Port status word.
enum : uint32_t {
    CS_IN_OPEN = 0x001,
    CS_OUT_OPEN = 0x002,
    CS_READ_PENDING = 0x004,
    CS_WRITE_PENDING = 0x008,
    CS_READ_PENDING2 = 0x010,
    CS_WRITE_ACTIVE = 0x020,
    CS_IN_TIMEOUT = 0x200,
    CS_OUT_TIMEOUT = 0x400,
    CS_READ_WAIT = 0x800,       // a read was issued and has not yet delivered data
    CS_WRITE_BUSY = 0x1000,
    CS_CLOSE_MASK = 6207,       // bits com_close clears
    CS_IN_BITS = 0x815,
    CS_OUT_BITS = 0x102A,
    CS_WRITING = 0x1028,        // the output service's write-in-progress bits
};

constexpr int32_t COM_ERR_TIMEOUT = -24;
constexpr int32_t COM_FN_WATCHDOG = 33;

// Status record of one port.
struct ComStatus {
    uint32_t status;            // CS_*
    uint32_t bytes_written;
    uint32_t bytes_read;
    int32_t err_code;           // last error: code, function number, port, data
    int32_t err_fn;
    int32_t err_port;
    int32_t err_data;
};

// One write slot: bytes that write() has not yet taken (pool memory).
struct WriteSlot {
    uint8_t* bytes;
    int len;                    // bytes in flight
    int done;                   // of them written
    bool pending;
    uint32_t seq;               // issue order: pending slots drain oldest first
};

// Run-time side of one port.
struct ComPort {
    int fd;                     // -1: no handle
    char path[SERIAL_PATH_MAX]; // device opened last
    bool both_ways;             // opened for reading and writing: plain I/O, no slots
    bool lost;                  // the device went away while the port was wanted
    bool lost_in, lost_out;     // directions the lost device was open in
    uint32_t in_check_secs;     // watchdog: zyr_secs of the last input check
    uint32_t in_bytes_at_check; // watchdog: byte total read at that check
    uint32_t out_check_secs;
    uint32_t out_bytes_at_check;
    uint32_t retry_secs;        // zyr_secs of the last reopen attempt of a lost device
    uint32_t in_start_ms;       // input / output start times
    uint32_t out_start_ms;
};

// The input and output sides (of the serial input and output port).
struct SerialRings {
    uint8_t* in_ring;           // N bytes
    uint8_t* in_chunk;          // N/2
    uint32_t in_size, in_put, in_get, in_target;
    int in_port;                // port whose buffers these are, -1 none
    uint8_t* out_ring;          // N bytes
    uint8_t* out_chunk;         // N/4
    uint32_t out_size, out_put, out_get;
    int out_port;
    WriteSlot slot[SERIAL_SLOTS];
    uint32_t seq;               // next slot issue number
    int next_check;             // slot checked next by the output service
    uint32_t last_check_ms;
};

struct SerialState {
    ComPort port[COM_PORTS];
    ComStatus stat[COM_PORTS];
    SerialRings r;
    char devmap[COM_PORTS][SERIAL_PATH_MAX];   // from zyrcom.cfg, else /dev/ttyS0..3
    bool devmap_loaded;
    char status_line[SERIAL_STATUS_LEN + 1];
    // views of the system parameters
    int32_t err_fnno[5], err_portno[5], err_data[5], err_code[5];
    uint32_t bytes_written[4], bytes_read[4];
    uint32_t cflgs;
};
extern SerialState serial;

// Hooks towards modules that are not the driver's own.
struct SerialHooks {
    void (*redraw_flags)();     // value ports that show IoFlags
};
extern SerialHooks serial_hooks;

// Statistics of zyr_stats (byte offsets) kept by the driver; the read and
// chunk sizes and ring fills are the shared ST_RX_* / ST_TX_* fields.
enum : unsigned {
    ST_SER_SLOT_LAST = 256,
    ST_SER_SLOT_HIGH = 260,
    ST_SER_SLOT_MASK = 264,
    ST_SER_OUTSTANDING = 268,
    ST_SER_READS_PENDING = 272,
    ST_SER_WRITES_PENDING = 276,
    ST_SER_READ_ERR = 280,
    ST_SER_READ_ERRS = 284,
    ST_SER_WRITE_ERR = 288,
    ST_SER_WRITE_ERRS = 292,
    ST_SER_WRITES_ZERO = 296,    // pending writes that had taken no byte
    ST_SER_RING_FULL = 300,      // read passes that stopped at a full input ring
    ST_SER_OUT_REFUSED = 304,    // bytes the full output ring refused
};

// ---- device map ------------------------------------------------------------

// Reads zyrcom.cfg in the start-up directory (lines "COM1=/dev/ttyUSB0",
// comments after '#' and blank lines allowed; a bad line is logged and
// ignored); ports without a line keep /dev/ttyS0..3.
void serial_load_device_map();
// The device path of port 0..3.
const char* serial_device(int port);
// One line of zyrcom.cfg: 1 when it set a path, 0 for a comment or blank
// line, -1 for a bad line.
int serial_parse_map_line(const char* line, int* port, char* path, size_t cap);

// ---- line settings ----------------------------------------------------------

// The termios speed for a stored baud (11520 stands for 115200); *exact
// false when the rate is not a standard one (7200, 14400, 28800), with the
// nearest standard rate returned.
unsigned serial_speed_constant(unsigned baud, bool* exact, unsigned* nearest);
// The line rate a stored baud means.
unsigned serial_line_rate(unsigned stored_baud);
// Sets a rate that has no termios constant (termios2, BOTHER): 0, or -1
// with errno when the kernel or the device refuses it.
int serial_set_custom_rate(int fd, unsigned rate);

// ---- opening and closing ------------------------------------------------------

// Opens the port's device for the record's directions: 0, or -2 open, -3
// flush, -4 attributes, -5 speed, -6 line settings (each logged with the
// call, the device and errno); nothing when it has a handle already.
int com_open(int port, unsigned baud, unsigned stop, unsigned parity, unsigned data, unsigned bufsize);
// The wrapper of the rest of the system: 65535 means "not given" (9600
// baud, one stop bit, no parity, 8 data bits, 1024 bytes).
int com_open_defaults(int port, unsigned baud, unsigned stop, unsigned parity, unsigned data, unsigned bufsize);
// 0, or -1 when closing the handle failed.
int com_close(int port);

// Opens the port of the record in its chosen directions: 0; -1 no
// direction; -2 no open bit; -3 com_open failed; -4 / -5 no memory for the
// input / output buffers.
int serial_open_record(const ComSettings* rec);
// The same; with keep_wanted a device that cannot be opened leaves the port
// wanted and lost (buffers and switch bits kept) for the watchdog to reopen.
int serial_open_record_as(const ComSettings* rec, bool keep_wanted);
// Closes directions (1 input, 2 output, 3 both) of a port.
void serial_close_direction(int port, int dirs);
// Purges a direction that is no longer open: 0, or -1 when it still is.
int serial_purge(int port, int dirs);
void serial_close_all();
void serial_reopen_all();

// ---- data ---------------------------------------------------------------------

// Moves what the input port has received into the input ring.
void serial_read_pass();
// The next byte of the input ring, or -1 when it stays empty.
int serial_get_byte();
// Up to n bytes of the input ring into dst; the count.
int serial_get_bytes(uint8_t* dst, int n);
// Bytes held by the input / output ring.
uint32_t serial_in_fill();
uint32_t serial_out_fill();

// Puts bytes into the output ring: 0; -1 serial output off; -2 the ring is
// full (the bytes before the refused one are stored).
int serial_put(const uint8_t* p, int len);
// Moves output ring bytes to the device (each cycle).
void serial_output_service();
// Checks write slot s for completion: 1 free, 0 busy.
int serial_slot_complete(int s);
// Writes a chunk: bytes taken (the rest stays in the ring), or -1 failed
// plain write, -2 no free slot, -3 slot memory.
int serial_write_chunk(const uint8_t* p, int len);
// The output port is free for the echo hold of the input (no write in flight).
bool serial_output_free();

// The watchdog (each cycle): SERIAL_*_TIMEOUT of engine/input.h.
int serial_watchdog();

// ---- status ---------------------------------------------------------------------

// Rebuilds the 42-character status line into out (43 bytes).
void serial_build_status(char* out);
// Rebuilds serial.status_line while SystemFlags 0x1000 is set, and clears it.
void serial_status_update();

// Copies page 0's entry for port index into the records; an enabled input
// (or output) entry opens the port in that direction.
void serial_apply_entry(int index, uint8_t flags, uint16_t baud, uint16_t stop, uint16_t data,
                        uint16_t parity, uint16_t bufsize);

// Installs the driver into the cycle, the input dispatch, start-up and
// page loading.
void serial_register();
// Back to the start state: every port closed, rings freed, records at
// their defaults.
void serial_reset();
