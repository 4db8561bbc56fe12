// vantor's menu tree, accelerator table and command dispatch. Each command
// changes the switch words or settings that the cycle reads on its next
// pass; none does acquisition work itself.
#pragma once

#include "platform/ui.h"

// Command numbers of the menu items and accelerators.
enum {
    CMD_HELP = 170,
    CMD_STEP_KEY = 174,
    CMD_LOOP_DOUBLE = 175,
    CMD_LOOP_HALVE = 176,
    CMD_SINGLE_STEP = 179,
    CMD_DISPLAY_TOGGLE = 184,
    CMD_STATS_RESET = 440,
    CMD_EXIT = 500,
};

extern const PlatMenuItem kVantorMenu[];
extern const int kVantorMenuCount;
extern const PlatAccel kVantorAccels[];    // ACCvantor
extern const int kVantorAccelCount;

void vantor_command(int id);
