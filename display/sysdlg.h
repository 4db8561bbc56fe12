// System dialogs of the editing: Options > System > Colors..., Options >
// Info..., Transfer > Filter pkts..., Transfer > Pkt format... (with the
// CCSDS settings and the length port of variable-length packets), and the
// sub-commutation limits of a port. All are DlgForm tables.
#pragma once

struct PortRecord;

void colours_command(int id);
void info_command(int id);
void filter_command(int id);
void packet_format_command(int id);
// The SUBCOM dialog of the port at index on its record: 0 when rec
// changed (sub-commutation set or cleared).
int subcom_dialog(int index, PortRecord* rec);

// Installs the four commands.
void sysdlg_register();
