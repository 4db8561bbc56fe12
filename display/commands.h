// vantor's menu tree, accelerator table and command dispatch. Each command
// changes the switch words or settings that the cycle reads on its next
// pass, or runs a prompt dialog whose steps decide; none does acquisition
// work itself.
#pragma once

#include "platform/ui.h"

// Command numbers of the menu items and accelerators.
enum {
    CMD_ABOUT = 100,
    CMD_DISPLAY_OPEN = 102,
    CMD_TEST_DATA = 111,
    CMD_ECHO = 112,
    CMD_COMMAND_OUT = 113,
    CMD_ASCII_OUT = 114,
    CMD_COM1 = 132,
    CMD_COM2 = 137,
    CMD_COM3 = 142,
    CMD_COM4 = 147,
    CMD_DIAGNOSTICS = 152,
    CMD_MONOCHROME = 154,
    CMD_STEP_MODE = 156,
    CMD_LOOP_TIME = 157,
    CMD_BACKUP = 160,
    CMD_PARAMETER = 161,
    CMD_HELP = 170,
    CMD_DELETE_KEY = 171,
    CMD_PAGE_DOWN = 172,
    CMD_PAGE_UP = 173,
    CMD_STEP_KEY = 174,
    CMD_LOOP_DOUBLE = 175,
    CMD_LOOP_HALVE = 176,
    CMD_SINGLE_STEP = 179,
    CMD_SOUND = 180,
    CMD_REDRAW = 183,
    CMD_DISPLAY_TOGGLE = 184,
    CMD_OPEN_ON_EOF = 187,
    CMD_FILTER = 188,
    CMD_LOCK = 206,
    CMD_PKT_FORMAT = 390,
    CMD_COLORS = 391,
    CMD_CUSTOM_API = 400,
    CMD_INFO = 410,
    CMD_PRINT = 420,
    CMD_STATS_RESET = 440,
    CMD_SAVE_SETTINGS = 480,
    CMD_EXIT = 500,
    CMD_SERIAL_TIMEOUT = 540,
    CMD_OVERCLOCK = 545,
    CMD_EXCHANGE_BITS = 610,
};

extern const PlatMenuItem kVantorMenu[];   // vantorMenu
extern const int kVantorMenuCount;
extern const PlatAccel kVantorAccels[];    // ACCvantor
extern const int kVantorAccelCount;

void vantor_command(int id);

// Commands whose work a later module does register their handler here;
// until then their menu items are greyed. 0, or -1 for a full table.
using CommandFn = void (*)(int id);
int command_register(int id, CommandFn fn);
bool command_registered(int id);

// Opens ZYROPEN.HLP of the start-up directory with the desktop's viewer,
// or says why it cannot.
void help_show();

// What the menu refresh asks of other modules (null: no mark).
struct MenuHooks {
    bool (*filter_set)();            // a packet filter is set
    bool (*alarm_set)();             // some port has an alarm
    bool (*com_open)(int port);      // serial port 0..3 is open
    void (*refresh)();               // a module's own items
    void (*mouse)(int kind, int x, int y);   // the port frame under the mouse
};
extern MenuHooks menu_hooks;

// The check marks and greying of every item from the switch words now.
void menu_refresh();

// Mouse and keys of the page area.
void page_area_mouse(int kind, int x, int y);
void page_area_key(int key, bool down, bool repeat);

// The window title names the page shown ("ZYR for Linux - vantor - PAGEnnnn").
void set_page_title(int page);
// Page Up / Page Down: 0 when the page change was asked for.
int page_step(int delta);
// The delete lock: set while a parameter dialog opened from the page is up.
extern bool delete_lock;

void commands_reset();
