// The function table of the evaluation: one handler for each of the 113
// calibration and conversion functions, indexed by function number (the
// names are the symbol table's). A handler turns the port's raw copy into
// its value. Also the plain conversion of ports without a function, the
// polynomial calibration and the numeric reading of a port.
#pragma once

#include "engine/port.h"

using CalibProc = void (*)(ZyrPort* p);

struct CalibFn {
    int fn;            // function number, the row's index
    CalibProc proc;
};

// The row of function fn (0..112), else null.
const CalibFn* calib_fn(int fn);

// Converts the port's raw copy into its value: through its function table
// entry when it has one (RT_FUNCTION), else plainly by its raw and data
// types. A floating-point fault of the conversion leaves the value 0 (the
// fault stays pending for the floating-point check); math errors are
// reported with the port number and give 0.0.
void port_convert(ZyrPort* p);

// The plain conversion of the raw copy to the data type; the value stays
// when the raw value does not convert.
void calib_plain(ZyrPort* p);

// The polynomial calibration (bit mask, swaps, modulus, quotient,
// reciprocal, coefficients, averaging). 0 with the value set; -1 when the
// value stays unchanged (a zero modulus or quotient, reported once and
// replaced by 1; a raw value that does not convert); 1 when the data type
// is not numeric and the raw value was passed through plainly.
int calib_polynomial(ZyrPort* p);

// The numeric reading of a port's value (plots, x values, lengths); text
// types read as 0.
double port_numeric(const ZyrPort* p);

// The raw copy read as a number (0 when it is not one).
double port_raw_numeric(const ZyrPort* p);

// The port's raw copy (at most 8 bytes of numbers, or text) as a value of
// its raw type in the in-memory form of the data types module; out holds
// DT_TEXT_BUF bytes.
void port_raw_value(const ZyrPort* p, const uint8_t* cell, void* out);

// Stores a function result: a number converted to the data type, or a
// text for the text types (numeric types then take `number`).
void port_set_number(ZyrPort* p, double x);
void port_set_text(ZyrPort* p, const char* text, double number);

void calib_reset();
