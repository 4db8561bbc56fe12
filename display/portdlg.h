// The settings dialogs of one port as DlgForm tables: the value-port
// settings (with its plot, calibration and bit operation dialogs) and the
// alarm dialog. Each edits a copy of the port record; the caller builds the
// port anew from it.
#pragma once

struct PortRecord;

// The colour names of the lists (the 16 palette colours).
extern const char* const kColourItems[16];

// The value-port settings of the port at index on rec: IDOK when rec holds
// the checked new settings, IDCANCEL when nothing is to change. A plot
// asked for on a port without one is set up in rec (PF_PLOT) with x set to
// the X port of the plot template and *new_plot true.
int port_settings_dialog(int index, PortRecord* rec, PortRecord* x = nullptr, bool* new_plot = nullptr);
// The plot settings of rec: IDOK or IDCANCEL.
int plot_settings_dialog(PortRecord* rec);
// The calibration (polynomial) or bit operation settings: IDOK or IDCANCEL.
int calibration_dialog(PortRecord* rec, int display_type);
// The alarm dialog of a port of that display type: 1 the alarm was set or
// removed in rec, 0 nothing changed.
int alarm_dialog(PortRecord* rec, int display_type);
