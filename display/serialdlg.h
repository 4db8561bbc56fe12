// The operator's side of the serial ports: the settings dialog of
// Transfer > Serial > com1... to com4... (its table, values, fill and OK
// check), the settings command parser, the direction change
// (telm_iostat_chg) with its conflict checks, the buffer size and timeout
// period values, and the check marks of the menu items. No Qt here: the
// form builder shows the table, tests call the functions directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/serialcfg.h"

constexpr int SERIAL_DLG_TEXT = 9;   // typed text: up to 8 characters

// The dialog's values record.
struct SerialDlgValues {
    char baud[SERIAL_DLG_TEXT];      // editable list
    int data;                        // list index 0..3: "5".."8"
    char stop[SERIAL_DLG_TEXT];      // editable list
    char parity[SERIAL_DLG_TEXT];    // editable list
    bool in;                         // "&In"
    bool out;                        // "&Out"
};

enum SerialDlgKind { SDLG_EDIT_LIST, SDLG_LIST, SDLG_CHECK };

// One control of the dialog: its kind, label, list and field.
struct SerialDlgControl {
    SerialDlgKind kind;
    const char* label;
    const char* const* items;
    int item_count;
    size_t offset;                   // in SerialDlgValues
    int max_len;                     // typed text, 0 for none
};
extern const SerialDlgControl kSerialDialog[6];
extern const char* const kBaudItems[17];
extern const char* const kDataItems[4];
extern const char* const kStopItems[2];
extern const char* const kParityItems[3];

// What the rest of the program does for the dialog; a null hook does
// nothing (the error box then goes to the platform's message box).
struct SerialDlgHooks {
    void (*error_box)(const char* line1, const char* line2, const char* line3);
    void (*settings_changed)();      // the system settings were changed
    void (*publish_ports)();         // redraw what shows the port table
    void (*redraw)();                // the main window
    int (*net_clients)();            // TCP clients connected now
    void (*net_stop_output)();       // stop the server or close the UDP transmitter
};
extern SerialDlgHooks serial_dlg_hooks;

// "Serial Port COM%c settings".
void serial_dlg_title(int port, char* out, size_t cap);
// The values the dialog opens with for port 0..3.
void serial_dlg_fill(int port, SerialDlgValues* v);
// OK: 0 when the dialog closes (settings taken, direction changed), -1
// when it stays open after "Invalid Entry '%s'" / "Retype or cancel".
int serial_dlg_ok(int port, const SerialDlgValues* v);

// Parses a settings command ("com2,19200,7,2,even" or with blanks) into
// *rec, starting from rec's values; *port gets a port named by the text.
// 0, or -1 with the refused token in bad.
int serial_parse_settings(const char* text, int* port, ComSettings* rec, char* bad, size_t cap);
// Parses and applies to the port named (else default_port): 0 or -1.
int serial_settings_command(const char* text, int default_port, char* bad, size_t cap);

// The direction change ("in", "out", "io", "off", any case): 0, -2 input
// open failed, -4 output open failed.
int telm_iostat_chg(int port, const char* dir);
// Before serial output starts while network output runs: 0 continue, 1 stop.
int serial_output_conflict();

// "Serial Timeout Period" in seconds (0 off, at most 86400).
void serial_timeout_period_set(uint32_t secs);
uint32_t serial_timeout_period();

// The menu: port of a com1... to com4... command (132, 137, 142, 147), or -1.
int serial_menu_port(int command);
// Check marks: a com item while its port is open; Timeout period while on.
bool serial_menu_checked(int port);
bool serial_timeout_checked();

// The com1... to com4... commands, their check marks and the serial hooks
// of the Transfer menu's values.
void serialdlg_register();

void serialdlg_reset();
