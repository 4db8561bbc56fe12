// Start-up and shutdown of vantor: the command line, early start-up,
// zyr_init, the window paths that start and stop the cycle, the exit
// procedure and the leak report.
#pragma once

#include <cstdint>

constexpr int DEFAULT_START_PAGE = 10;
constexpr int RECENT_FILES_BYTES = 1104;   // four records of 276 bytes

// Exit codes of vantor.
enum {
    EXIT_EARLY_FAILED = -1,
    EXIT_INIT_FAILED = 102,
    EXIT_NO_TIMER = 105,
};

// Start-up steps that later modules of vantor fill. A null hook is a step
// with nothing to do yet.
struct StartupHooks {
    int (*load_page)(int page);           // load a page into its slot
    int (*page_resident)(int page);       // 1 when the page's slot holds it
    int (*create_drawing)();              // the page area: 0, or it could not be made
    void (*release_drawing)();
    int (*begin_draw)(int message);       // 0, or the tick is skipped
    void (*end_draw)();
    void (*serial_reset_table)();         // input port COM1, output port COM2
    int (*alloc_sysparam_buffers)();      // the system parameter buffers
    void (*free_sysparam_buffers)();
    void (*close_cycle_files)();          // the packet record and playback files
    void (*free_page_lists)();            // lists 2, 1 and 0
    void (*close_serial_ports)();
    void (*network_shutdown)();
};
extern StartupHooks startup_hooks;

struct StartupState {
    int start_page;
    char start_page_name[16];           // "PAGE%04d"
    void** port_table;                  // MAXZYRPORTS pointers (pool)
    uint8_t* recent_files;              // the recent file list (pool)
    uint8_t* work_buf;                  // 1024-byte work buffer (pool)
    int errfile;                        // zyrerr.txt, -1 closed
    bool timer_started;
    bool in_tick;                       // a tick is running: the cycle is not re-entered
    bool repaint_after_tick;            // a paint came inside the tick
    bool stop_signalled;                // a stop signal asked for the exit
};
extern StartupState startup;

// The start page from the command line: 0..9999, else 10.
int parse_start_page(int argc, char** argv);

int early_startup(int start_page);    // 0, or -1
int zyr_init();                       // 0, or its failure code
int exit_procedure(int code);         // returns code

// The window paths. wnd_create returns 0, or posts the quit code and returns
// it; wnd_timer runs one tick; wnd_close asks the exit
// question; zyrwin_destroy shuts down after the message loop ended.
int wnd_create();
void wnd_timer();
void wnd_close();
int zyrwin_destroy(int code);

void startup_reset();
