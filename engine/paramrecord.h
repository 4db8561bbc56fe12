// Parameter recording to text record files: a port's own record file
// (`filename`) or its alarm record file while it is in alarm. Each opening
// of a file starts with the record header; each recorded value is one line
// that begins with its time, so the record tools can splice files by time.
#pragma once

#include "engine/port.h"

struct ParamRecordState {
    int current;        // the current record parameter (port index), -1 none
    int open_files;     // record files open now
};
extern ParamRecordState param_rec;

// Opens name for appending and writes the opening header; the port then
// records to it as kind (REC_PARAM or REC_ALARM). 0; -1 the file cannot be
// opened (error 14 with the name); -2 it is open already (in this program,
// by this port or another: one file is never open twice); -3 the port
// records already.
int param_record_open(ZyrPort* p, const char* name, int kind);

// One line for the port's present value: the time in seconds since start
// with milliseconds ("%lu.%03lu"), a blank and the value as the display
// format shows it, without its leading blanks. 0, or -1 when the port has
// no record file.
int param_record_value(ZyrPort* p);

// Closes the port's record file: with the closing header, or with the
// one-line trailer when the operator ends the recording. Nothing when the
// port has none.
void param_record_close(ZyrPort* p, bool by_operator);

// The value text of a port as its display format shows it (cut to cap - 1);
// the length, or -1 when the value does not format.
int port_value_text(const ZyrPort* p, char* out, size_t cap);

void param_record_reset();
