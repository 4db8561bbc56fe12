// The settings dialogs of one port as DlgForm tables: the value-port
// settings (with its plot, calibration and bit operation dialogs) and the
// alarm dialog. Each edits a copy of the port record; the caller builds the
// port anew from it.
#pragma once

#include "core/pagefile.h"

// The colour names of the lists (the 16 palette colours).
extern const char* const kColourItems[16];

// The plot pair around the port being edited.
struct PortPair {
    PortRecord x;      // the X value port: the page's, or the plot template's
    bool has_x;        // x holds the pair's X port
    bool new_plot;     // a plot was made from the template: the pair is to be created
    bool x_changed;    // x was edited through "&X Value"
};

// The value-port settings of the port at index on rec: IDOK when rec holds
// the checked new settings, IDCANCEL when nothing is to change. With a
// pair, "&X Value" edits its X port in pair->x, and a plot asked for on a
// port without one is set up in rec (PF_PLOT) with pair->x the X port of
// the plot template and pair->new_plot set.
int port_settings_dialog(int index, PortRecord* rec, PortPair* pair = nullptr);
// The plot settings of rec: IDOK or IDCANCEL.
int plot_settings_dialog(PortRecord* rec);
// The calibration (polynomial) or bit operation settings: IDOK or IDCANCEL.
int calibration_dialog(PortRecord* rec, int display_type);
// The alarm dialog of a port of that display type: 1 the alarm was set or
// removed in rec, 0 nothing changed.
int alarm_dialog(PortRecord* rec, int display_type);
