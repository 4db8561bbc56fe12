// The shared record and the statistics, and their start state.
#include "core/state.h"

#include <cstring>

#include "platform/sys.h"

ZyrShared zyr;
ZyrStats zyr_stats;

void state_reset() {
    memset(&zyr, 0, sizeof zyr);
    memset(&zyr_stats, 0, sizeof zyr_stats);
    zyr.work_mask = 0xFFFFFFFFu;
    zyr.loop_msecs = 10;
    zyr.eval_port = -1;
    strcpy(zyr.version, "W32V5.03");
}

int state_refresh_asciictime() {
    char text[32];
    if (plat_time_text(zyr.caltime, text, sizeof text) != 0) return -1;
    memcpy(zyr.asciictime, text, sizeof text);
    return 0;
}

// The record starts in its start state in every program.
static struct StateInit {
    StateInit() { state_reset(); }
} g_state_init;
