// vantor: receives, decodes, displays and records telemetry.
#include "display/commands.h"
#include "display/screen.h"
#include "engine/evaluate.h"
#include "engine/input.h"
#include "engine/port.h"
#include "engine/serial.h"
#include "engine/startup.h"

int main(int argc, char** argv) {
    startup.start_page = parse_start_page(argc, argv);
    port_register();
    page_register_startup_hooks();
    input_register();
    serial_register();
    evaluate_register();
    display_register();
    WindowProcs procs = {};
    procs.title = "ZYR for Linux - vantor";
    procs.create = wnd_create;
    procs.paint = display_paint;
    procs.close = wnd_close;
    procs.command = vantor_command;
    procs.destroy = zyrwin_destroy;
    procs.sized = display_sized;
    procs.moved = display_moved;
    procs.scrolled = display_scrolled;
    procs.menu = kVantorMenu;
    procs.menu_count = kVantorMenuCount;
    procs.accels = kVantorAccels;
    procs.accel_count = kVantorAccelCount;
    return plat_run_main_window(argc, argv, &procs);
}
