// The command table of vantor's main window.
#include "display/commands.h"

#include <iterator>

#include "core/state.h"
#include "engine/cycle.h"
#include "engine/startup.h"

const PlatMenuItem kVantorMenu[] = {
    {"&File", "E&xit\tAlt+Q", CMD_EXIT},
};
const int kVantorMenuCount = (int)std::size(kVantorMenu);

const PlatAccel kVantorAccels[] = {
    {"+", CMD_LOOP_HALVE},
    {"-", CMD_LOOP_DOUBLE},
    {"Ctrl+F", CMD_DISPLAY_TOGGLE},
    {"Alt+Q", CMD_EXIT},
    {"Ctrl+R", CMD_STATS_RESET},
    {"Escape", CMD_STEP_KEY},
    {"Return", CMD_SINGLE_STEP},
};
const int kVantorAccelCount = (int)std::size(kVantorAccels);

static void stats_reset_command() {
    if (plat_message_box("Resettting the stats will reset\n all packet counts, bytes read etc\nDo you wish to continue ?",
                         "Stats Reset", MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK)
        zyr.SystemFlags |= SF_RESET_STATS;
}

// Escape: off at once when on; on at once, after a warning when live input
// could be lost.
static void step_key_command() {
    if (zyr.SystemFlags & SF_STEP_MODE) {
        cycle_step_mode(false);
        return;
    }
    if ((zyr.IoFlags & (IO_SERIAL_IN | IO_NET_IN)) &&
        plat_message_box("WARNING: switching step mode on\nmay lose incoming data.", "Step-mode",
                         MB_OKCANCEL) != IDOK)
        return;
    cycle_step_mode(true);
}

void vantor_command(int id) {
    switch (id) {
    case CMD_LOOP_HALVE: cycle_loop_key('+'); break;
    case CMD_LOOP_DOUBLE: cycle_loop_key('-'); break;
    case CMD_DISPLAY_TOGGLE: zyr.work_mask ^= WM_DISPLAY; break;
    case CMD_STATS_RESET: stats_reset_command(); break;
    case CMD_STEP_KEY: step_key_command(); break;
    case CMD_SINGLE_STEP: cycle_single_step(); break;
    case CMD_EXIT: wnd_close(); break;
    default: break;
    }
}
