// The page text writer: turns the records of a binary page file back into
// page text that the page compiler reads, one block per record in file
// order. Keys, their order, nesting levels and value forms are fixed, so the
// text of a page compiles back to the same page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/pagefile.h"

// Results of the writer.
enum : int {
    PT_OK = 0,
    PT_NOT_READY = -1,       // the page file is not open for reading, or no symbol table
    PT_SHORT_PACKET = -2,    // the file ends inside a packet record
    PT_SHORT_SYSTEM = -3,    // the file ends inside a system record
    PT_SHORT_PORT = -4,      // the file ends inside a port record
    PT_PORT_FAILED = -5,     // a port record could not be written
    PT_UNKNOWN_TAG = -6,     // a record tag other than 5, 297, 308
    PT_SYSTEM_FAILED = -7,   // the system record could not be written
    PT_PACKET_FAILED = -8,   // the packet record could not be written
};

constexpr int PT_MAX_LEVEL = 3;   // nesting levels 0..3, one tab each

// Writes the text of every record of the page file open for reading in
// in_slot (page_file_open_read) to the text file open for writing in
// out_slot. Stops at the first failing record; the lines already written
// stay. The symbol table must be built (InitSymTab). 0 or PT_*.
int pagetext_write(int in_slot, int out_slot);

// The blocks of single records, as pagetext_write writes them. 0, or
// PT_PORT_FAILED, PT_PACKET_FAILED, PT_SYSTEM_FAILED (also when the text
// file cannot take a line).
int pagetext_port(const PortRecord* r, int out_slot);
int pagetext_packet(const PacketRecord* r, int out_slot);
int pagetext_system(const SystemRecord* r, int out_slot);

// ---- value forms (shared with the tests and the dialogs) ----------------------

// A double as page text: 15 significant digits in general format, as gcvt
// gives them; when 15 digits do not read back as the same double, the
// shortest text that does. out needs 32 bytes.
void pagetext_double(double v, char* out, size_t cap);

// A value of type code `type` held in memory at value (a limit cell, or a
// calibration constant in its calibration type) as page text that the
// compiler reads back as the same value. Text types give their text;
// hexadecimal types carry "0x" so that the value reads as a number. 0, or
// -1 when the type cannot be converted (out is then empty). out needs 96
// bytes.
int pagetext_value(int type, const void* value, char* out, size_t cap);

// Writer state of the port being written: the type code of its display
// format and the calibration type derived from it (-1 for none).
struct PageTextState {
    int display_type;
    int calc_type;
    int out_slot;
    bool failed;          // a line could not be written
};
extern PageTextState pagetext;

// Back to the start state.
void pagetext_reset();
