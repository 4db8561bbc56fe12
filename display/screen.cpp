// The page area's life: created with the window, painted on request,
// released by the exit procedure.
#include "display/screen.h"

#include "core/diagnostics.h"
#include "core/state.h"
#include "core/page.h"
#include "display/grid.h"
#include "display/ports.h"
#include "display/vport.h"
#include "engine/cycle.h"
#include "engine/startup.h"

int display_create() {
    grid_init(0, 0);
    return read_video_cfg();
}

void display_release() {
    vport_reset();
    write_video_cfg();
}

void display_paint() {
    msg_enter(MSG_PAINT);
    zyr.work_mask |= WM_DISPLAY;
    if (begin_paint() != 0) {
        debug_printf("WM_PAINT - QOB_BEGIN_PAINT() call failed");
        msg_leave();
        return;
    }
    DrawAllVPPorts(MSG_PAINT);
    if (cycle_hooks.display_stage) cycle_hooks.display_stage();
    end_paint();
    msg_leave();
}

static int create_drawing() { return display_create(); }

void display_register() {
    display_ports_register();
    page_hooks.repaint = canvas_invalidate;
    startup_hooks.create_drawing = create_drawing;
    startup_hooks.release_drawing = display_release;
    startup_hooks.begin_draw = QOB_BEGIN_DRAW;
    startup_hooks.end_draw = QOB_END_DRAW;
}
