// The binary page file PAGEnnnn.BIN: the port record (2176 bytes) and the
// system record (1412 bytes) as packed images, the zero-run encoded records
// with their tags, page file names (found whatever their letter case) and the
// rate masks that pages write as FnnSTnn or every N msecs. No resident page
// state lives here: the compilers and the tools use this part alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/packet.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "page files are little-endian images");

// Record tags: the tokens of the section keywords.
enum : uint32_t {
    TAG_PORT = 5,       // [valueport], 2176-byte port record
    TAG_PACKET = 297,   // [packet], 56-byte packet record
    TAG_SYSTEM = 308,   // [system], 1412-byte system record
};

constexpr int PORT_RECORD_BYTES = 2176;
constexpr int PACKET_RECORD_BYTES = 56;
constexpr int SYSTEM_RECORD_BYTES = 1412;

// ---- Port record -----------------------------------------------------------

// An 8-byte calibration constant, held in the calibration type of the port's
// display format: a double (display types 1, 2), an unsigned (3, 5, 7,
// 11..18) or signed (4, 6, 8) 32-bit integer in the first four bytes.
union __attribute__((packed)) CalConst {
    double d;
    uint32_t u;
    int32_t i;
    uint8_t bytes[8];
};
static_assert(sizeof(CalConst) == 8);

// A limit cell: the value in the binary form of its type code at the start
// of the cell; the text types hold NUL-terminated text.
union __attribute__((packed)) ValueCell {
    double d;
    float f;
    uint32_t u32;
    int32_t i32;
    uint16_t u16;
    int16_t i16;
    char text[88];
};
static_assert(sizeof(ValueCell) == 88);

// Calibration flags (CalibBlock::calflags); the low five bits are the set of
// coefficients given (1, 3, 7, 15, 31).
enum : uint32_t {
    CAL_COEFF_MASK = 0x1F,
    CAL_BITMASK = 0x1000,
    CAL_INTEGERBYTESWAP = 0x2000,
    CAL_LONGBYTESWAP = 0x4000,
    CAL_DOUBLEBYTESWAP = 0x8000,
    CAL_MODULUS = 0x10000,
    CAL_QUOTIENT = 0x20000,
    CAL_RECIPROCAL = 0x40000,
};

// The first 96 bytes of a port record: what a calibrated run-time port keeps
// a copy of.
struct __attribute__((packed)) CalibBlock {
    CalConst a0, a1, a2, a3, a4;  // polynomial coefficients
    uint32_t bitmask;             // mask of the calibration or bit operation
    uint8_t pad44[12];
    CalConst modulus;             // modulus operand
    CalConst quotient;            // quotient operand
    uint8_t pad72[4];
    uint32_t avgsamples;          // samples averaged; 0 or 1 none
    uint8_t pad80[8];
    uint32_t calflags;            // CAL_*
    uint8_t pad92[4];
};
static_assert(sizeof(CalibBlock) == 96);
static_assert(offsetof(CalibBlock, a0) == 0);
static_assert(offsetof(CalibBlock, a1) == 8);
static_assert(offsetof(CalibBlock, a2) == 16);
static_assert(offsetof(CalibBlock, a3) == 24);
static_assert(offsetof(CalibBlock, a4) == 32);
static_assert(offsetof(CalibBlock, bitmask) == 40);
static_assert(offsetof(CalibBlock, modulus) == 56);
static_assert(offsetof(CalibBlock, quotient) == 64);
static_assert(offsetof(CalibBlock, avgsamples) == 76);
static_assert(offsetof(CalibBlock, calflags) == 88);

// Port flags (PortRecord::port_flags).
enum : uint32_t {
    PF_ENABLE = 0x1,           // disabled ports stay in the file but get no entry
    PF_ALARM = 0x2,            // [alarm] block
    PF_SUBCOM = 0x4,           // [subcom] block: a sub-com tag
    PF_CALIB = 0x10,           // [calibration] block: `function` meaningful
    PF_PLOT = 0x100,           // [plotport] block
    PF_RECORD = 0x800,         // parameter recording `filename`
    PF_XPORT = 0x1000,         // X port of a plot pair
    PF_AUTOPLOT = 0x2000,      // autoplot on at least one axis
    PF_LINEPLOT = 0x8000,
    PF_AUTOPLOTX = 0x10000,
    PF_AUTOPLOTY = 0x20000,
    PF_AUTOREFRESHX = 0x40000,
    PF_AUTOREFRESHY = 0x80000,
    PF_FILTER = 0x200000,      // [filter] block
    PF_VARPKTLEN = 0x1000000,  // gives the length of variable-length packets
};

// Alarm flags (alarm_flags; filter_flags and subcom_flags use AL_INVERT).
enum : uint32_t { AL_BLINK = 0x1, AL_SOUND = 0x2, AL_FILE = 0x4, AL_STEPMODE = 0x8, AL_INVERT = 0x20 };
// Plot flags and value frame flags.
enum : uint32_t { PL_BORDER = 0x1, PL_GRID = 0x10, PL_FORWARD = 0x80, PL_BACKWARD = 0x100 };
enum : uint32_t { FR_BORDER = 0x1, FR_NODRAW = 0x2 };

// The persistent image of one port (body of a tag 5 record). Which blocks
// carry meaning is told by port_flags. Strings are NUL-terminated in fields
// whose size includes the NUL; a field read from a file may lack the NUL,
// so readers bound every string by its field size.
struct __attribute__((packed)) PortRecord {
    CalibBlock cal;                 // 0: coefficients, bitmask, modulus, quotient, avgsamples
    ValueCell alarm_upper;          // 96: alarm limits, typed by displayformat
    ValueCell alarm_lower;          // 184
    uint32_t alarm_flags;           // 272: AL_*
    uint8_t pad276[28];
    double xupper;                  // 304: plot X axis bounds
    uint8_t pad312[8];
    double yupper;                  // 320
    uint8_t pad328[32];
    double xlower;                  // 360
    double ylower;                  // 368
    uint8_t pad376[104];
    uint32_t plot_flags;            // 480: PL_*
    uint8_t pad484[4];
    uint16_t plot_row;              // 488: plot frame in text cells
    uint16_t plot_column;           // 490
    uint16_t plot_width;            // 492
    uint16_t plot_height;           // 494
    uint8_t pad496[8];
    uint16_t plot_backgroundcolor;  // 504: colour indexes of the plot
    uint16_t plot_titlecolor;       // 506
    uint16_t plot_bordercolor;      // 508
    uint16_t plotcolor;             // 510
    uint16_t axiscolor;             // 512
    uint16_t axislabelcolor;        // 514
    uint16_t gridcolor;             // 516
    uint8_t pad518[18];
    uint32_t data_address;          // 536: run-time only in the original; kept as read
    uint8_t pad540[4];
    ValueCell filter_upper;         // 544: [filter] limits, typed by displayformat
    ValueCell filter_lower;         // 632
    uint32_t filter_flags;          // 720: AL_INVERT
    uint8_t pad724[44];
    ValueCell subcom_upper;         // 768: [subcom] limits, typed by cvtype
    ValueCell subcom_lower;         // 856
    uint32_t subcom_flags;          // 944: AL_INVERT
    uint8_t pad948[4];
    uint32_t portno;                // 952: table index of the port the tag names
    uint16_t cvtype;                // 956: type code of the sub-com limits
    uint8_t pad958[10];
    char subcomtag[24];             // 968: name of the port the tag names
    uint32_t displayrate;           // 992: cycle masks
    uint32_t processrate;           // 996
    uint32_t port_flags;            // 1000: PF_*
    uint32_t frame_flags;           // 1004: FR_*
    uint16_t byteindex;             // 1008: offset of the raw value in the view
    uint16_t view;                  // 1010: view number (system data area)
    uint16_t function;              // 1012: calibration function number
    uint16_t row;                   // 1014: value frame bottom line
    uint16_t column;                // 1016: value frame left edge
    uint16_t backgroundcolor;       // 1018: colour indexes of the frame
    uint16_t titlecolor;            // 1020
    uint16_t bordercolor;           // 1022
    uint16_t valuecolor;            // 1024
    uint8_t pad1026[2];
    int32_t supercommcount;         // 1028: samples per packet; 0 or 1 none
    uint32_t supercommincr;         // 1032: bytes between samples
    int32_t sbtagcount;             // 1036: sub-com tags naming this port
    uint8_t pad1040[8];
    uint32_t maxpoints;             // 1048: plot history length
    uint8_t pad1052[4];
    char units[81];                 // 1056
    char title[81];                 // 1137: value frame title
    char mnemonic[81];              // 1218: parameter name
    char rawformat[21];             // 1299: raw format string (`datatype`)
    char displayformat[21];         // 1320
    char xtitle[81];                // 1341
    char ytitle[81];                // 1422
    char plot_title[81];            // 1503
    char databasekey[21];           // 1584
    uint8_t pad1605[42];
    char alarm_filename[261];       // 1647: alarm event log file
    char filename[261];             // 1908: parameter record file
    uint8_t pad2169[7];
};
static_assert(sizeof(PortRecord) == PORT_RECORD_BYTES);
static_assert(offsetof(PortRecord, cal) == 0);
static_assert(offsetof(PortRecord, alarm_upper) == 96);
static_assert(offsetof(PortRecord, alarm_lower) == 184);
static_assert(offsetof(PortRecord, alarm_flags) == 272);
static_assert(offsetof(PortRecord, xupper) == 304);
static_assert(offsetof(PortRecord, yupper) == 320);
static_assert(offsetof(PortRecord, xlower) == 360);
static_assert(offsetof(PortRecord, ylower) == 368);
static_assert(offsetof(PortRecord, plot_flags) == 480);
static_assert(offsetof(PortRecord, plot_row) == 488);
static_assert(offsetof(PortRecord, plot_column) == 490);
static_assert(offsetof(PortRecord, plot_width) == 492);
static_assert(offsetof(PortRecord, plot_height) == 494);
static_assert(offsetof(PortRecord, plot_backgroundcolor) == 504);
static_assert(offsetof(PortRecord, plot_titlecolor) == 506);
static_assert(offsetof(PortRecord, plot_bordercolor) == 508);
static_assert(offsetof(PortRecord, plotcolor) == 510);
static_assert(offsetof(PortRecord, axiscolor) == 512);
static_assert(offsetof(PortRecord, axislabelcolor) == 514);
static_assert(offsetof(PortRecord, gridcolor) == 516);
static_assert(offsetof(PortRecord, data_address) == 536);
static_assert(offsetof(PortRecord, filter_upper) == 544);
static_assert(offsetof(PortRecord, filter_lower) == 632);
static_assert(offsetof(PortRecord, filter_flags) == 720);
static_assert(offsetof(PortRecord, subcom_upper) == 768);
static_assert(offsetof(PortRecord, subcom_lower) == 856);
static_assert(offsetof(PortRecord, subcom_flags) == 944);
static_assert(offsetof(PortRecord, portno) == 952);
static_assert(offsetof(PortRecord, cvtype) == 956);
static_assert(offsetof(PortRecord, subcomtag) == 968);
static_assert(offsetof(PortRecord, displayrate) == 992);
static_assert(offsetof(PortRecord, processrate) == 996);
static_assert(offsetof(PortRecord, port_flags) == 1000);
static_assert(offsetof(PortRecord, frame_flags) == 1004);
static_assert(offsetof(PortRecord, byteindex) == 1008);
static_assert(offsetof(PortRecord, view) == 1010);
static_assert(offsetof(PortRecord, function) == 1012);
static_assert(offsetof(PortRecord, row) == 1014);
static_assert(offsetof(PortRecord, column) == 1016);
static_assert(offsetof(PortRecord, backgroundcolor) == 1018);
static_assert(offsetof(PortRecord, titlecolor) == 1020);
static_assert(offsetof(PortRecord, bordercolor) == 1022);
static_assert(offsetof(PortRecord, valuecolor) == 1024);
static_assert(offsetof(PortRecord, supercommcount) == 1028);
static_assert(offsetof(PortRecord, supercommincr) == 1032);
static_assert(offsetof(PortRecord, sbtagcount) == 1036);
static_assert(offsetof(PortRecord, maxpoints) == 1048);
static_assert(offsetof(PortRecord, units) == 1056);
static_assert(offsetof(PortRecord, title) == 1137);
static_assert(offsetof(PortRecord, mnemonic) == 1218);
static_assert(offsetof(PortRecord, rawformat) == 1299);
static_assert(offsetof(PortRecord, displayformat) == 1320);
static_assert(offsetof(PortRecord, xtitle) == 1341);
static_assert(offsetof(PortRecord, ytitle) == 1422);
static_assert(offsetof(PortRecord, plot_title) == 1503);
static_assert(offsetof(PortRecord, databasekey) == 1584);
static_assert(offsetof(PortRecord, alarm_filename) == 1647);
static_assert(offsetof(PortRecord, filename) == 1908);

// ---- System record -----------------------------------------------------------

// One serial port's settings.
struct __attribute__((packed)) SerialEntry {
    uint8_t flags;       // 0x1 input, 0x2 output, 0x08/0x10 enabled
    uint8_t pad1[3];
    uint16_t comport;    // 0-based
    uint16_t baud;
    uint16_t stopbits;   // 0 one, 4 two
    uint16_t databits;   // data bits - 5
    uint16_t parity;     // 8 odd, 24 even, else none
    uint16_t bufsize;    // bytes; below 1024 taken as 8192 at load
};
static_assert(sizeof(SerialEntry) == 16);
static_assert(offsetof(SerialEntry, flags) == 0);
static_assert(offsetof(SerialEntry, comport) == 4);
static_assert(offsetof(SerialEntry, baud) == 6);
static_assert(offsetof(SerialEntry, stopbits) == 8);
static_assert(offsetof(SerialEntry, databits) == 10);
static_assert(offsetof(SerialEntry, parity) == 12);
static_assert(offsetof(SerialEntry, bufsize) == 14);

// One packet file source or sink; an empty name marks an unused entry.
struct __attribute__((packed)) FileEntry {
    uint32_t bufsize;
    uint32_t mode;          // IoFlags bits: 0x2/0x8/0x20 playback, 0x1/0x4/0x10 record
    char filename[261];
    char filemode[5];
    char format[2];
};
static_assert(sizeof(FileEntry) == 276);
static_assert(offsetof(FileEntry, bufsize) == 0);
static_assert(offsetof(FileEntry, mode) == 4);
static_assert(offsetof(FileEntry, filename) == 8);
static_assert(offsetof(FileEntry, filemode) == 269);
static_assert(offsetof(FileEntry, format) == 274);

// The input or output network settings.
struct __attribute__((packed)) NetEntry {
    uint32_t protocol;      // 0x08/0x20 TCP; otherwise 0x40 and above UDP
    uint32_t bufsize;
    uint16_t tcpportno;
    uint16_t udpportno;
    uint32_t unlisted;      // kept, never written to page text
    char host[80];          // remote host text (`filename` in page text)
};
static_assert(sizeof(NetEntry) == 96);
static_assert(offsetof(NetEntry, protocol) == 0);
static_assert(offsetof(NetEntry, bufsize) == 4);
static_assert(offsetof(NetEntry, tcpportno) == 8);
static_assert(offsetof(NetEntry, udpportno) == 10);
static_assert(offsetof(NetEntry, unlisted) == 12);
static_assert(offsetof(NetEntry, host) == 16);

// Window colour flags of the system record.
enum : uint32_t { SYS_WINDOWBACKCOLOR = 0x4, SYS_WINDOWFORECOLOR = 0x8 };

// The system configuration of page 0 (body of a tag 308 record).
struct __attribute__((packed)) SystemRecord {
    SerialEntry serial[4];      // 0
    FileEntry files[4];         // 64
    NetEntry net_in;            // 1168
    NetEntry net_out;           // 1264
    uint32_t sysflags;          // 1360: SystemFlags bits
    uint32_t videoflags;        // 1364: 0x1 monochrome, 0x10 inverse
    uint32_t looptime;          // 1368: ms
    uint32_t colourflags;       // 1372: SYS_WINDOW*COLOR
    uint32_t ioflags;           // 1376: IoFlags bits
    uint32_t bufsize;           // 1380: file source buffer size
    uint32_t flushperiod;       // 1384: seconds
    uint32_t timeoutperiod;     // 1388
    uint16_t windowbackcolor;   // 1392: colour index
    uint16_t windowforecolor;   // 1394
    uint8_t pad1396[4];
    uint32_t backupperiod;      // 1400: seconds, 0 off
    uint8_t pad1404[8];
};
static_assert(sizeof(SystemRecord) == SYSTEM_RECORD_BYTES);
static_assert(offsetof(SystemRecord, serial) == 0);
static_assert(offsetof(SystemRecord, files) == 64);
static_assert(offsetof(SystemRecord, net_in) == 1168);
static_assert(offsetof(SystemRecord, net_out) == 1264);
static_assert(offsetof(SystemRecord, sysflags) == 1360);
static_assert(offsetof(SystemRecord, videoflags) == 1364);
static_assert(offsetof(SystemRecord, looptime) == 1368);
static_assert(offsetof(SystemRecord, colourflags) == 1372);
static_assert(offsetof(SystemRecord, ioflags) == 1376);
static_assert(offsetof(SystemRecord, bufsize) == 1380);
static_assert(offsetof(SystemRecord, flushperiod) == 1384);
static_assert(offsetof(SystemRecord, timeoutperiod) == 1388);
static_assert(offsetof(SystemRecord, windowbackcolor) == 1392);
static_assert(offsetof(SystemRecord, windowforecolor) == 1394);
static_assert(offsetof(SystemRecord, backupperiod) == 1400);

static_assert(sizeof(PacketRecord) == PACKET_RECORD_BYTES);

// The body of any record.
union PageRecordBody {
    PortRecord port;
    PacketRecord packet;
    SystemRecord system;
};

// ---- Reading and writing records ---------------------------------------------

// Results of the record reader.
enum : int {
    PAGE_EOF = 0,               // the file ended where a record ended
    PAGE_NOT_READY = -1,        // the slot is not open for reading
    PAGE_SHORT_PACKET = -2,
    PAGE_SHORT_SYSTEM = -3,
    PAGE_SHORT_PORT = -4,
    PAGE_UNKNOWN_TAG = -6,      // also a tag cut short by the end of the file
};

// Body length of a tag, 0 for an unknown tag.
int page_record_length(uint32_t tag);

// Opens a page file for the record reader (1024-byte buffer, 2048-byte
// read-ahead). The slot, or -1.
int page_file_open_read(const char* path);

// Reads the next record. Returns the tag (TAG_*) with the body in *body,
// PAGE_EOF at the end of the file, or a negative PAGE_* code. Never writes
// past the body of the tag it returns. Every text field of the body it
// returns ends within its field (page_bound_texts).
int page_read_record(int slot, PageRecordBody* body);

// Cuts every fixed-size text field of a record body (port or system
// record) at its last byte, so that a text without its NUL in the file
// ends there instead of running into the next field.
void page_bound_texts(uint32_t tag, PageRecordBody* body);

// Writes one record (tag, then body, each zero-run encoded). The number of
// bytes written, or -1.
int page_write_record(int slot, uint32_t tag, const void* body);

// ---- Page file names -------------------------------------------------------

// "PAGE%04d.<ext>" in dir ("" for the current directory), upper case. 0, or
// -1 when the page is outside 0..9999 or the path does not fit.
int page_file_path(const char* dir, int page, const char* ext, char* out, size_t cap);

// The existing file for path: path itself when it exists, else the file of
// its directory whose name matches in any letter case. 0 with the name in
// out, or -1 when there is none.
int page_find_file(const char* path, char* out, size_t cap);

// ---- Rate masks ----------------------------------------------------------------

// Mask of period F (0, 1, 2, 4, 8, 16, 32) and start cycle ST (1..F; 0 for
// F = 0). 0 with the mask, or -1 for any other pair.
int rate_mask(int period, int start, uint32_t* mask);

// The period in cycles (1..32) that `every` n `msecs` selects with a loop
// time of loop_ms.
int rate_every_period(uint64_t n, uint32_t loop_ms);

// A rate text: FnnSTnn (letters in either case) or every<N>msecs. The start
// cycle of the second form is drawn at random once per port index, so both
// rates of one port share it. 0 with the mask, or -1 when the text is not a
// rate.
int rate_from_text(const char* text, uint32_t loop_ms, int port_index, uint32_t* mask);

// Period in cycles of a mask (0 for 0, 1 for all ones, else the distance
// from its lowest set bit to the next, 32 when there is none).
int rate_period(uint32_t mask);

// "F%02dST%02d" of a mask (F00ST00 for 0, F01ST01 for all ones); out holds 8.
void rate_to_text(uint32_t mask, char* out);

// Back to the start state (the random start of rates).
void pagefile_reset();
