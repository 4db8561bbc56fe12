// Reset of the display modules and the fake canvas on top of the engine
// reset, with a 1024 x 768 screen of 8 x 16 cells: 128 columns, 46 rows.
#pragma once

#include "display/grid.h"
#include "display/vport.h"
#include "platform/fake/canvas_fake.h"
#include "tests/engine_support.h"
#include "tests/eval_support.h"
#include "display/ports.h"

inline void reset_display() {
    vport_reset();
    grid_reset();
    reset_engine();
    fake_canvas_reset();
    grid_init(0, 0);
}

// The evaluation with the value-port display on the fake canvas, and the
// shadow screen, for tests of what the page shows.
inline void reset_display_page() {
    vport_reset();
    grid_reset();
    eval_setup();
    fake_canvas_reset();
    grid_init(0, 0);
    grid_alloc_shadow();
    display_ports_register();
}
