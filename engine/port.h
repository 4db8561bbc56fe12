// The run-time port object of the evaluation: built from a port record into
// an entry of the page layer's port table, deleted from it, and resolved to
// the system data area it reads. The evaluation (conversion, limits, alarms,
// recording) works on these fields; the page layer sees only PortHead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/datatypes.h"
#include "core/page.h"
#include "core/symtab.h"

// Run-time flags (PortHead::flags) besides RT_XPORT, RT_FILTER and
// RT_LENGTH of the page layer.
enum : uint32_t {
    RT_ON_SCREEN = 0x00000001,     // created on screen by the value-port display
    RT_HAS_LIMITS = 0x00000002,    // [alarm] block
    RT_SUBCOM = 0x00000004,        // sub-commutated by a linked tag
    RT_CHANGED = 0x00000008,       // raw value changed in this pass
    RT_FUNCTION = 0x00000010,      // has a function table entry
    RT_REDRAW = 0x00000020,
    RT_IN_ALARM = 0x00000040,
    RT_FORCED = 0x00000080,
    RT_XPLOT = 0x00000100,         // plot port whose x value is the port before it
    RT_RECORD = 0x00000400,        // record in this pass
    RT_RECORD_HELD = 0x00000800,   // recording held by an alarm
    RT_HELD = 0x00800000,          // updated only from accepted packets
};

// Marks of the port's value frame that the evaluation sets for the
// value-port display.
enum : uint32_t {
    MARK_ALARM = 0x1,              // drawn in the alarm colours
    MARK_RECORDING = 0x2,          // the parameter is being recorded
    MARK_RECORDED = 0x4,           // a value of this pass went to the record file
};

// What a port records to, when anything.
enum : int {
    REC_NONE = 0,
    REC_PARAM = 1,                 // its own record file (`filename`)
    REC_ALARM = 2,                 // the alarm record file while in alarm
};

// The free_disk system parameter, stored by the compiler as view 70.
constexpr int SYSPARAM_FREE_DISK = VIEW_COUNT;

// A converted numeric value, typed by the port's data type code.
union PortValue {
    double d;
    float f;
    uint32_t u32;
    int32_t i32;
    uint16_t u16;
    int16_t i16;
};

struct ZyrPort {
    PortHead h;                     // first: the page layer's part of the port
    int index;                      // table index
    int view;                       // view number; SYSPARAM_FREE_DISK for free_disk
    uint32_t data_offset;           // byteindex
    const uint8_t* raw;             // raw field (data address), null while its area is absent
    int raw_width;                  // bytes; text: characters, at most 80
    int raw_type;                   // type code of rawformat
    int data_type;                  // type code of displayformat
    uint8_t cache[DT_TEXT_BUF];     // the last raw bytes
    PortValue value;                // converted value of the numeric types
    char text[DT_TEXT_BUF];         // converted value of the text types
    int32_t super_count;            // samples per packet, at least 1
    uint32_t super_incr;            // bytes between samples
    uint32_t sample_count;
    uint32_t process_period_ms;     // periods the masks were made for
    uint32_t display_period_ms;
    int conv_index;                 // function number, -1 for the plain conversion
    uint32_t alarm_refresh_ms;      // zyr_msecs of the last alarm refresh
    CalibBlock* calib;              // copy of the record's first 96 bytes (pool), with a function
    CalConst* avg;                  // avgsamples samples, then the running sum (pool); null: none
    uint32_t avg_count;             // samples in the ring
    uint32_t avg_pos;               // next ring position
    uint32_t sign_ext;              // bits a signed raw field under `bitmask` extends into
    uint32_t built_loop_ms;         // loop time the page masks were made for
    int disp_width;                 // display width of the display format, at most 80
    bool valued;                    // converted at least once
    uint32_t marks;                 // MARK_*
    int colour_state;               // 0 normal; 2 or 4 a colour pair chosen by the function
    int rec_kind;                   // REC_*
    int rec_slot;                   // record file slot, -1 none
};
static_assert(offsetof(ZyrPort, h) == 0, "a table entry is both PortHead and ZyrPort");

// What the builder registers with the evaluation's page state.
struct PortState {
    int filter_port;                // 1-based index of the packet filter port, 0 none
    uint32_t free_disk_kb;          // area of the free_disk parameter
    int alarm_ports;                // ports with limits: the alarm service is on while above 0
};
extern PortState port_state;

// Base address of a system data area, for the areas other modules own
// (serial tables, key table, user buffers); null when absent.
struct PortHooks {
    const uint8_t* (*view_base)(int view);
    void (*deleted)(int index);      // the display frees what it kept for the port
};
extern PortHooks port_hooks;

// The port at a table index, or null.
inline ZyrPort* zyr_port(int index) { return reinterpret_cast<ZyrPort*>(page_port(index)); }

// Length of a view's area (4 for free_disk), 0 for no view.
uint32_t sysparam_length(int view);
// Start of a view's area now, or null.
const uint8_t* view_base(int view);

// Builds a port for table entry index: null when its view, byte index,
// samples or function lie outside their ranges (a debug line says which)
// or memory runs out.
PortHead* port_build(const PortRecord* rec, int index);
// Registers a length port or a filter port once it is in the table.
void port_complete(PortHead* port, int index);
// Frees a port built by port_build: 0, or the pool's code.
int port_delete(PortHead* port, int index);
// A sub-com tag whose port is not on its page is evaluated as a plain port.
void port_orphan_tag(PortHead* port, int index);

// The raw field of a port now (areas such as the packet buffer may appear
// or move after the port was built).
const uint8_t* port_raw(ZyrPort* p);

// Plugs the builder into the page layer.
void port_register();
// Plugs the page layer into vantor's start-up, shutdown and cycle: page
// loading into the start-up table, freeing the pages at exit, the loop
// time while saving and the periodic backup.
void page_register_startup_hooks();

void port_reset();
