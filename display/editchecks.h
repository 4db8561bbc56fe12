// The checks behind the editing dialogs: each takes the values of a dialog
// as the operator typed them, corrects what the rules correct, and lists
// the field errors (DlgErrors) that the dialog shows together in one box.
// They decide nothing about windows, so tests call them directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ui.h"

struct PortRecord;

// The field of an error that belongs to no one control.
constexpr uint32_t FIELD_NONE = 0xFFFFFFFFu;

// A number typed into a field: 0 with the value; 1 blank; 2 not a number
// or outside lo..hi. Numbers take the shared notation (decimal, 0x hex).
int field_number(const char* text, double lo, double hi, double* v);
// The same for a field that must hold a whole number.
int field_whole(const char* text, long lo, long hi, long* v);
// Adds the error of a number field for the result above (none for 0).
void field_number_error(DlgErrors* e, uint32_t field, int rc);

// ---- value-port settings -----------------------------------------------------------

struct VPortValues {
    DlgList view;                 // "&Parameter": the system data area
    char datatype[21];            // raw format
    char byteindex[12];
    char count[12];               // supercommutation count and increment
    char incr[12];
    char mnemonic[81];
    char title[81];
    char units[81];
    char row[8];
    char column[8];
    char format[21];              // display format
    char rate[24];                // "every%ldmsecs" or FnnSTnn
    int32_t border;
    int32_t nodraw;
    int32_t plot;                 // "P&lot": the port is (to be) plotted
};

// What the check knows besides the values.
struct VPortContext {
    uint32_t view_length;         // bytes of the chosen area
    bool in_plot;                 // the port is a plot's value or X value
    uint32_t loop_ms;             // for the rate text
    int x_view = -1;              // a plot's Y port: the view of its X port
    int y_view = -1;              // a plot's X port: the view of its Y port
};

// The view that counts the samples of a packet parameter.
constexpr int VIEW_SAMPLE_COUNT = 21;

// The value-port settings check: 0 when the values can be applied, else
// the number of errors (count and increment may have been corrected).
int vport_settings_check(VPortValues* v, const VPortContext& c, DlgErrors* e);
// Fills the values from a port record, and the record from checked values.
void vport_values_from(const PortRecord* r, uint32_t loop_ms, VPortValues* v);
void vport_values_to(const VPortValues* v, uint32_t loop_ms, int port_index, PortRecord* r);

// ---- plot settings -----------------------------------------------------------------

struct PlotValues {
    char row[8], column[8], width[8], height[8];
    char maxpoints[12];
    int32_t autox, autoy, refreshx, refreshy;
    int32_t backward, forward, grid, line;
    char xtitle[81], title[81], ytitle[81];
    char xlower[32], xupper[32], ylower[32], yupper[32];
};

int plot_settings_check(PlotValues* v, DlgErrors* e);
void plot_values_from(const PortRecord* r, PlotValues* v);
void plot_values_to(const PlotValues* v, PortRecord* r);

// ---- calibration and bit operation -----------------------------------------------

struct CalibValues {
    char bitmask[16], modulus[32], quotient[32];
    int32_t reciprocal, byteswap;
    char a[5][32];                // a0 .. a4
    char average[8];
};

// display_type: the type code of the port's display format.
int calib_settings_check(const CalibValues* v, int display_type, DlgErrors* e);
int bitmask_check(const char* text, uint32_t field, uint32_t* mask, DlgErrors* e);
// "0x%08lx".
void bitmask_text(uint32_t mask, char* out, size_t cap);

// ---- alarm limits ----------------------------------------------------------------

// Lower and upper limits read as values of the display type into cells of
// the port record; 0, -1 a blank limit, -2 not a value, -3 not a valid range.
int alarm_limits_read(const char* lower, const char* upper, int display_type, void* lo_cell, void* hi_cell);

// ---- parameter record file -------------------------------------------------------

// "%s.TXT" from the first 8 characters of the mnemonic, every character
// outside letters, digits and ! # $ % & ' ( ) - @ ^ _ ` { } ~ made "_", the
// trailing "_" dropped (out holds 13).
void record_file_proposal(const char* mnemonic, char* out, size_t cap);

// ---- packet format ----------------------------------------------------------------

// "0x" and two hexadecimal digits a byte.
void sync_text(const uint8_t* bytes, int n, char* out, size_t cap);
// Reads a sync pattern or mask text: 0 with its bytes (n 1..4); -1 "Sync
// length not integral 1-4 bytes"; -2 "Maximum 4 byte sync. exceeded"; -3
// not a hexadecimal number.
int sync_parse(const char* text, uint8_t* bytes, int* n);
const char* sync_error_text(int rc);

// ---- window colours -----------------------------------------------------------------

// 0, or 1 when the background equals the foreground; title and text of the
// refusal for the colour that was being chosen (foreground: true).
int colours_check(int background, int foreground, bool choosing_foreground, const char** title, const char** text);

// ---- errors ------------------------------------------------------------------------

// The box of a settings dialog: every error after its field's label.
void field_error_box(const DlgForm* form, const char* caption, const DlgErrors* e);
