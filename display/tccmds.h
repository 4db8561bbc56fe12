// The echo and telecommand switches of the menus: Echo pkts with its
// refusals, Command... with the Command output dialog.
#pragma once

// The steps of the Command output dialog: 1 with the result when id is one.
int tc_step(int id, int* result);

void tccmds_register();
