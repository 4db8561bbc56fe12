// vantor: receives, decodes, displays and records telemetry.
#include "display/commands.h"
#include "display/netcmds.h"
#include "display/pageops.h"
#include "display/portedit.h"
#include "display/tccmds.h"
#include "display/print.h"
#include "display/sysdlg.h"
#include "display/screen.h"
#include "display/serialdlg.h"
#include "display/settings.h"
#include "engine/evaluate.h"
#include "engine/echo.h"
#include "engine/input.h"
#include "engine/network.h"
#include "engine/port.h"
#include "engine/serial.h"
#include "engine/startup.h"

int main(int argc, char** argv) {
    startup.start_page = parse_start_page(argc, argv);
    port_register();
    page_register_startup_hooks();
    input_register();
    evaluate_register();
    display_register();
    settings_register();
    print_register();
    portedit_register();
    pageops_register();
    sysdlg_register();
    serial_register();      // after the settings: it wraps their page 0 gathering
    serialdlg_register();
    network_register();     // after the serial driver: it chains the byte services
    netcmds_register();
    echo_register();        // after the drivers: it wraps the record files' output stage
    tccmds_register();
    WindowProcs procs = {};
    procs.title = "ZYR for Linux - vantor";
    procs.create = wnd_create;
    procs.paint = display_paint;
    procs.close = exit_sequence;
    procs.command = vantor_command;
    procs.destroy = zyrwin_destroy;
    procs.sized = display_sized;
    procs.moved = display_moved;
    procs.scrolled = display_scrolled;
    procs.menu_refresh = menu_refresh;
    procs.mouse = page_area_mouse;
    procs.key = page_area_key;
    procs.menu = kVantorMenu;
    procs.menu_count = kVantorMenuCount;
    procs.accels = kVantorAccels;
    procs.accel_count = kVantorAccelCount;
    return plat_run_main_window(argc, argv, &procs);
}
