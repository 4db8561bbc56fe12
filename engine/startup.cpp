// vantor's start and stop. Early start-up and zyr_init bring up the files,
// the pool, the symbol table and the pages before the first tick; the exit
// procedure closes everything in a fixed order so the error file ends with
// the exit code and the leak report is true.
#include "engine/startup.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/page.h"
#include "core/state.h"
#include "core/symtab.h"
#include "engine/ccsds.h"
#include "engine/cycle.h"
#include "engine/input.h"
#include "engine/serialcfg.h"
#include "platform/sys.h"
#include "platform/ui.h"

StartupHooks startup_hooks;
StartupState startup;

constexpr int PORT_TABLE_ENTRIES = 1024;

static void startup_start_state() {
    memset(&startup, 0, sizeof startup);
    startup.start_page = DEFAULT_START_PAGE;
    startup.errfile = -1;
}

static struct StartupInit {
    StartupInit() { startup_start_state(); }
} g_startup_init;

void startup_reset() {
    startup_start_state();
    startup_hooks = StartupHooks{};
}

int parse_start_page(int argc, char** argv) {
    if (argc < 2 || !argv[1] || !*argv[1]) return DEFAULT_START_PAGE;
    char* end;
    errno = 0;
    long v = strtol(argv[1], &end, 10);
    if (errno || *end || v < 0 || v > 9999) return DEFAULT_START_PAGE;
    return (int)v;
}

static void* alloc_cleared(size_t n) {
    void* p = qob_checked_malloc(n);
    if (p) memset(p, 0, n);
    return p;
}

int early_startup(int start_page) {
    // Reports before the clocks are set still carry the time of day.
    zyr.caltime = plat_calendar_time();
    state_refresh_asciictime();
    debug_printf("OS code = %d platform = %ld", cyc.os_code, cyc.os_code == 3 ? 2L : 1L);
    serial_defaults();
    if (plat_cwd(zyr.startdir, sizeof zyr.startdir) != 0) return -1;
    startup.port_table = (void**)alloc_cleared(PORT_TABLE_ENTRIES * sizeof(void*));
    startup.recent_files = (uint8_t*)alloc_cleared(RECENT_FILES_BYTES);
    if (!startup.port_table || !startup.recent_files) return -1;
    startup.start_page = start_page;
    snprintf(startup.start_page_name, sizeof startup.start_page_name, "PAGE%04d", start_page);
    // The start page itself is built once, by the page change of the first
    // due pass: built here as well, its ports would open their record files
    // and close them again before the real start.
    return 0;
}

static int open_error_file() {
    char path[300];
    snprintf(path, sizeof path, "%s/zyrerr.txt", zyr.startdir);
    startup.errfile = zyr_fopen(path, "a", 2048);
    if (startup.errfile < 0) return -1;
    diag_set_errfile(startup.errfile);
    WriteZYRFileHdr(startup.errfile, 1, "");
    return 0;
}

static void load_unless_resident(int page) {
    if (!startup_hooks.load_page) return;
    if (startup_hooks.page_resident && startup_hooks.page_resident(page)) return;
    startup_hooks.load_page(page);
}

int zyr_init() {
    if (fp_install_handler() != 0) return 99;
    if (qob_memory_short(500)) return 16;
    clock_start();
    if (plat_message_box("ZYR telemetry ground station\nW32V5.03", "Welcome", MB_OKCANCEL | MB_ICONINFORMATION) ==
        IDCANCEL)
        return 101;
    zyr.SystemFlags |= SF_STARTUP_STATUS;
    if (open_error_file() != 0) return 100;
    int drawing = startup_hooks.create_drawing ? startup_hooks.create_drawing() : 0;
    if (startup_hooks.serial_reset_table) startup_hooks.serial_reset_table();
    startup.work_buf = (uint8_t*)alloc_cleared(1024);
    if (!startup.work_buf) return -1;
    if (packet_init() != 0) return -1;
    if (startup_hooks.alloc_sysparam_buffers && startup_hooks.alloc_sysparam_buffers() != 0) return 17;
    packet_setup(nullptr);
    load_unless_resident(0);
    load_unless_resident(9999);
    if (InitSymTab() != 0) {
        zyr_err(17, 2, "InitSymTab() Fail", 0, 0, 0);
        return 17;
    }
    if (zyr.IoFlags & IO_TEST_DATA) prepare_test_packet();
    zyr.SystemFlags |= SF_RESET_STATS;
    if (pkt_layout.desc.flags & PKT_CCSDS) ccsds_open_files();
    if (drawing != 0) return -2;  // the final check of the drawing resources
    return 0;
}

int exit_procedure(int code) {
    ccsds_close_files();
    if (startup_hooks.close_cycle_files) startup_hooks.close_cycle_files();
    frame_timings_off();
    if (startup_hooks.free_page_lists) startup_hooks.free_page_lists();
    packet_free();
    if (startup_hooks.free_sysparam_buffers) startup_hooks.free_sysparam_buffers();
    FreeSymTab();
    QOBfree(startup.work_buf);
    startup.work_buf = nullptr;
    if (startup_hooks.close_serial_ports) startup_hooks.close_serial_ports();
    if (startup.errfile >= 0) {
        char extra[40];
        snprintf(extra, sizeof extra, "ZYR exitcode = %d\n", code);
        WriteZYRFileHdr(startup.errfile, 0, extra);
        zyr_fclose(startup.errfile);
        startup.errfile = -1;
        diag_set_errfile(-1);
    }
    if (startup_hooks.release_drawing) startup_hooks.release_drawing();
    zyr_fcloseall();
    return code;
}

static void beeps(int n) {
    for (int i = 0; i < n; i++) plat_beep();
}

static void quit_on_fatal(int code) { plat_post_quit(code); }

int wnd_create() {
    msg_enter(1);
    diag_hooks.post_quit = quit_on_fatal;
    diag_hooks.beep = plat_beep;
    int rc = early_startup(startup.start_page);
    if (rc != 0) {
        beeps(1);
        plat_post_quit(rc);
        msg_leave();
        return rc;
    }
    rc = zyr_init();
    if (rc != 0) {
        debug_printf("zyr_init() fail rtn = %d", rc);
        beeps(3);
        plat_post_quit(EXIT_INIT_FAILED);
        msg_leave();
        return EXIT_INIT_FAILED;
    }
    if (plat_start_timer(10, wnd_timer) != 0) {
        zyr_err(21, 2, "MainWndProc>1", 21, 0, 0);
        beeps(2);
        plat_post_quit(EXIT_NO_TIMER);
        msg_leave();
        return EXIT_NO_TIMER;
    }
    startup.timer_started = true;
    if (plat_catch_stop_signals() != 0) debug_printf("!! stop signals not caught errno %d !!", plat_last_error());
    msg_leave();
    return 0;
}

// A box opened from inside the cycle runs a nested event loop, so the timer
// can fire again before the tick returns: a tick never runs inside another.
void wnd_timer() {
    // A stop signal ends the program as the exit prompt does: the message
    // loop ends and the exit procedure closes the files with their trailers.
    if (int sig = plat_stop_signal(); sig && !startup.stop_signalled) {
        startup.stop_signalled = true;
        debug_printf("Signal %d: ZYR exits", sig);
        plat_post_quit(0);
        return;
    }
    if (startup.in_tick) return;
    startup.in_tick = true;
    msg_enter(0x113);
    if (startup_hooks.begin_draw && startup_hooks.begin_draw(0x113) != 0) {
        debug_printf("WM_TIMER - QOB_BEGIN_DRAW() call failed");
    } else {
        zyr_tick();
        if (startup_hooks.end_draw) startup_hooks.end_draw();
    }
    msg_leave();
    startup.in_tick = false;
    if (startup.repaint_after_tick) {
        startup.repaint_after_tick = false;
        if (page_hooks.repaint) page_hooks.repaint();
    }
}

void wnd_close() {
    msg_enter(0x10);
    if (plat_message_box("Do you wish to exit ZYR ?", "ZYR Exit", MB_YESNOCANCEL | MB_ICONQUESTION) == IDYES)
        plat_post_quit(0);
    msg_leave();
}

int zyrwin_destroy(int code) {
    int result = 0;
    if (startup_hooks.network_shutdown) startup_hooks.network_shutdown();
    if (exit_procedure(code) != code) {
        debug_err_line("zyrwin_destroy>1", 34);
        result = -2;
    }
    if (startup.timer_started) {
        plat_stop_timer();
        startup.timer_started = false;
    }
    QOBfree(startup.recent_files);
    QOBfree(startup.port_table);
    startup.recent_files = nullptr;
    startup.port_table = nullptr;
    beeps(qob_leak_report());
    plat_release_stop_signals();
    return result;
}
