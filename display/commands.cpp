// The command table of vantor's main window: the menu tree, the keys, the
// dispatch, the menu refresh and the keys and mouse of the page area.
#include "display/commands.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/diagnostics.h"
#include "core/page.h"
#include "core/pagefile.h"
#include "core/state.h"
#include "display/filecmds.h"
#include "display/grid.h"
#include "display/screen.h"
#include "display/settings.h"
#include "display/steps.h"
#include "display/switches.h"
#include "engine/cycle.h"
#include "engine/evaluate.h"
#include "engine/startup.h"
#include "platform/canvas.h"

// clang-format off
const PlatMenuItem kVantorMenu[] = {
    {"&File>&Replay", "&Raw bin...", 119, 0},
    {"&File>&Replay", "&Ascii Hex...", 120, 0},
    {"&File>&Replay", "&Compr'd bin...", 121, 0},
    {"&File>&Replay", "&Open on EOF", 187, 0},
    {"&File>R&ecord", "&Raw bin...", 126, 0},
    {"&File>R&ecord", "&Ascii Hex...", 127, 0},
    {"&File>R&ecord", "&Compr'd bin...", 128, 0},
    {"&File>R&ecord", "&Flush period", 510, 0},
    {"&File>R&ecord", "&Buffer size", 511, 0},
    {"&File", nullptr, 0, 0},
    {"&File", "&Print...\tCtrl+P", 420, 0},
    {"&File", nullptr, 0, 0},
    {"&File", "E&xit\tAlt+F4", 500, 0},
    {"&Transfer", "&Echo pkts", 112, 0},
    {"&Transfer", nullptr, 0, 0},
    {"&Transfer", "&Command...", 113, 0},
    {"&Transfer", nullptr, 0, 0},
    {"&Transfer", "&Filter pkts...", 188, 0},
    {"&Transfer", nullptr, 0, 0},
    {"&Transfer", "&Test data", 111, 0},
    {"&Transfer>&Serial", "com&1...", 132, 0},
    {"&Transfer>&Serial", "com&2...", 137, 0},
    {"&Transfer>&Serial", "com&3...", 142, 0},
    {"&Transfer>&Serial", "com&4...", 147, 0},
    {"&Transfer>&Serial", "&Timeout period", 540, 0},
    {"&Transfer>&Serial", "&Buffer size", 541, 0},
    {"&Transfer>&Serial", "&Ascii out", 114, 0},
    {"&Transfer>&Network", "&Connect to Server", 551, 0},
    {"&Transfer>&Network", "&Disconnect from Server", 556, MI_GREY},
    {"&Transfer>&Network", "&Start as Server", 552, 0},
    {"&Transfer>&Network", "S&top as Server", 557, MI_GREY},
    {"&Transfer>&Network", "C&lose a Client", 553, MI_GREY},
    {"&Transfer>&Network", "Cl&ient info", 578, MI_GREY},
    {"&Transfer>&Network", "Port &number", 574, 0},
    {"&Transfer>&Network", nullptr, 0, 0},
    {"&Transfer>&Network", "&UDP Transmit Open", 570, 0},
    {"&Transfer>&Network", "UDP Tr&ansmit Close", 571, MI_GREY},
    {"&Transfer>&Network", "UDP &Receive Open", 572, 0},
    {"&Transfer>&Network", "UDP R&eceive Close", 573, MI_GREY},
    {"&Transfer>&Network", "UDP &Port number", 575, 0},
    {"&Transfer>&Network", nullptr, 0, 0},
    {"&Transfer>&Network", "Shutdo&wn", 577, 0},
    {"&Transfer>&Network", "&Find addr", 550, 0},
    {"&Transfer>&Network", "&Buffer size", 576, 0},
    {"&Transfer", "C&ustom API", 400, 0},
    {"&Transfer", "&Pkt format...", 390, 0},
    {"&Display", "&Open...", 102, 0},
    {"&Display", nullptr, 0, 0},
    {"&Display", "&Save", 207, 0},
    {"&Display", "Save &as...", 208, 0},
    {"&Display", nullptr, 0, 0},
    {"&Display", "&Merge...", 216, 0},
    {"&Display", "Append &to...", 209, 0},
    {"&Display", "&Rename...", 218, 0},
    {"&Display", "&Delete", 217, 0},
    {"&Display", nullptr, 0, 0},
    {"&Display", "&Lock", 206, 0},
    {"&Options>&Switches", "&Diagnostics", 152, 0},
    {"&Options>&Switches", "&Monochrome", 154, 0},
    {"&Options>&Switches", "&Step mode\tESC", 156, 0},
    {"&Options>&Switches", "S&ound", 180, 0},
    {"&Options>S&ystem", "&Loop-time", 157, 0},
    {"&Options>S&ystem", "&Over-clocking", 545, 0},
    {"&Options>S&ystem", "&Backup", 160, 0},
    {"&Options>S&ystem", "&Colors...", 391, 0},
    {"&Options>S&ystem", "&Save settings", 480, 0},
    {"&Options", "&Parameter...", 161, 0},
    {"&Options", "&Info...", 410, 0},
    {"&Help", "&About ZYR", 100, MI_RIGHT},
    {"&Help", "&ZYR &Help", 170, MI_RIGHT},
};
// clang-format on
const int kVantorMenuCount = (int)std::size(kVantorMenu);

const PlatAccel kVantorAccels[] = {
    {"+", CMD_LOOP_HALVE},       {"-", CMD_LOOP_DOUBLE},     {"Ctrl+F", CMD_DISPLAY_TOGGLE},
    {"Ctrl+P", CMD_PRINT},       {"Alt+P", CMD_DISPLAY_OPEN}, {"Alt+Q", CMD_EXIT},
    {"Ctrl+R", CMD_STATS_RESET}, {"Delete", CMD_DELETE_KEY}, {"Shift+Delete", CMD_REDRAW},
    {"Escape", CMD_STEP_KEY},    {"F1", CMD_HELP},           {"PgDown", CMD_PAGE_DOWN},
    {"PgUp", CMD_PAGE_UP},       {"Return", CMD_SINGLE_STEP}, {"Ctrl+X", CMD_EXCHANGE_BITS},
};
const int kVantorAccelCount = (int)std::size(kVantorAccels);

// Items whose work another module does: greyed until it registers.
static const int kLaterCommands[] = {
    102, 113, 132, 137, 142, 147, 161, 188, 207, 208, 209, 216, 217, 218, 390, 391, 410, 420,
    550, 551, 552, 553, 556, 557, 570, 571, 572, 573, 574, 575, 577, 578, 594,
};
// Enabled only while the display lock is off and the page holds ports.
static const int kPageCommands[] = {207, 208, 209, 216, 217, 218, 154, 390, 391, 161};

constexpr int kMaxHandlers = 48;
struct Handler {
    int id;
    CommandFn fn;
};
static Handler g_handlers[kMaxHandlers];
static int g_handler_count;

MenuHooks menu_hooks;
bool delete_lock;

// Arrow keys held down: the auto-repeat count of the scroll.
static int g_scroll_repeat;

void commands_reset() {
    memset(g_handlers, 0, sizeof g_handlers);
    g_handler_count = 0;
    menu_hooks = MenuHooks{};
    delete_lock = false;
    g_scroll_repeat = 0;
}

int command_register(int id, CommandFn fn) {
    for (int i = 0; i < g_handler_count; i++) {
        if (g_handlers[i].id == id) {
            g_handlers[i].fn = fn;
            return 0;
        }
    }
    if (g_handler_count >= kMaxHandlers) return -1;
    g_handlers[g_handler_count++] = {id, fn};
    return 0;
}

static CommandFn handler_of(int id) {
    for (int i = 0; i < g_handler_count; i++)
        if (g_handlers[i].id == id) return g_handlers[i].fn;
    return nullptr;
}

bool command_registered(int id) { return handler_of(id) != nullptr; }

// ---- menu refresh ---------------------------------------------------------------

static bool in_list(const int* list, size_t n, int id) {
    for (size_t i = 0; i < n; i++)
        if (list[i] == id) return true;
    return false;
}

static void refresh_checks() {
    const uint32_t sf = zyr.SystemFlags, io = zyr.IoFlags;
    struct Mark {
        int command;
        bool on;
    };
    const Mark marks[] = {
        {152, (sf & SF_DIAGNOSTICS) != 0},
        {112, (sf & SF_ECHO) != 0},
        {545, (sf & SF_OVERCLOCK) != 0},
        {156, (sf & SF_STEP_MODE) != 0},
        {114, (sf & SF_ASCII_OUT) != 0},
        {180, (sf & SF_BEEPER) != 0},
        {206, (sf & SF_DISPLAY_LOCK) != 0},
        {126, (io & IO_RAW_RECORD) != 0},
        {127, (io & IO_ASCII_RECORD) != 0},
        {128, (io & IO_COMP_RECORD) != 0},
        {119, (io & IO_RAW_PLAYBACK) != 0},
        {120, (io & IO_ASCII_PLAYBACK) != 0},
        {121, (io & IO_COMP_PLAYBACK) != 0},
        {111, (io & IO_TEST_DATA) != 0},
        {160, (io & IO_BACKUP) != 0 || pages.backup_period != 0},
        {187, (io & IO_LEAVE_OPEN_EOF) != 0},
        {154, (grid.video_flags & VIDEO_MONO) != 0},
        {540, pages.timeout_period != 0},
        {188, menu_hooks.filter_set && menu_hooks.filter_set()},
        {161, menu_hooks.alarm_set && menu_hooks.alarm_set()},
        {132, menu_hooks.com_open && menu_hooks.com_open(0)},
        {137, menu_hooks.com_open && menu_hooks.com_open(1)},
        {142, menu_hooks.com_open && menu_hooks.com_open(2)},
        {147, menu_hooks.com_open && menu_hooks.com_open(3)},
    };
    for (const Mark& m : marks) plat_menu_check(m.command, m.on);
}

static bool command_enabled(int id, bool page_usable) {
    if (in_list(kLaterCommands, std::size(kLaterCommands), id) && !command_registered(id)) return false;
    if (id == CMD_ECHO && !switch_hooks.echo) return false;
    if (in_list(kPageCommands, std::size(kPageCommands), id) && !page_usable) return false;
    return true;
}

void menu_refresh() {
    refresh_checks();
    bool page_usable = !(zyr.SystemFlags & SF_DISPLAY_LOCK) && pages.slot[SLOT_DISPLAY].count != 0;
    for (int i = 0; i < kVantorMenuCount; i++) {
        const PlatMenuItem& m = kVantorMenu[i];
        if (!m.text || (m.flags & MI_GREY)) continue;
        plat_menu_enable(m.command, command_enabled(m.command, page_usable));
    }
    // The greyed network items belong to the network module once it runs.
    for (int i = 0; i < kVantorMenuCount; i++)
        if (kVantorMenu[i].flags & MI_GREY) plat_menu_enable(kVantorMenu[i].command, false);
    if (menu_hooks.refresh) menu_hooks.refresh();
}

// ---- commands of this window ----------------------------------------------------------

static void stats_reset_command() {
    if (plat_message_box("Resettting the stats will reset\n all packet counts, bytes read etc\nDo you wish to continue ?",
                         "Stats Reset", MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK)
        zyr.SystemFlags |= SF_RESET_STATS;
}

static bool live_input() { return (zyr.IoFlags & (IO_SERIAL_IN | IO_NET_IN)) != 0; }

static bool step_mode_warning_ok() {
    return plat_message_box("WARNING: switching step mode on\nmay lose incoming data.", "Step-mode", MB_OKCANCEL) ==
           IDOK;
}

// Escape: off at once when on; on at once, after a warning when live input
// could be lost.
static void step_key_command() {
    if (zyr.SystemFlags & SF_STEP_MODE || cyc.operator_step) {
        cycle_step_mode(false);
        return;
    }
    if (live_input() && !step_mode_warning_ok()) return;
    cycle_step_mode(true);
}

// The menu item asks through the on/off dialog both ways.
static void step_mode_command() {
    if (!(zyr.SystemFlags & SF_STEP_MODE) && live_input() && !step_mode_warning_ok()) return;
    switch_command(CMD_STEP_MODE);
}

static void exchange_bits_command() {
    bool on = (zyr.IoFlags & IO_EXCHANGE_BITS) != 0;
    int answer = on ? plat_message_box("Exchange bits ON\nPress OK to switch off\n", "Exhancge bits 0-7 ON", MB_OKCANCEL)
                    : plat_message_box("Exchange bits OFF\nPress OK to switch on\n", "Exhange bits 0-7 OFF",
                                       MB_OKCANCEL);
    if (answer != IDOK) return;
    zyr.IoFlags ^= IO_EXCHANGE_BITS;
    publish_words();
}

static void custom_api_command() {
    plat_message_box("Custom Input and Output is separately\navailable with the ZYR 'API' -\nApplication Programmers "
                     "Interface.",
                     "Custom Input and Output", MB_OK | MB_ICONINFORMATION);
}

void help_show() {
    char path[261];
    int n = snprintf(path, sizeof path, "%s%sZYROPEN.HLP", startup_directory(), startup_directory()[0] ? "/" : "");
    if (n < 0 || n >= (int)sizeof path) return;
    int rc = plat_open_document(path);
    if (rc == -1) {
        char shortened[PROMPT_LINE_MAX + 1];
        path_shorten(path, PROMPT_LINE_MAX, shortened, sizeof shortened);
        error_box("Help file not found", shortened);
    } else if (rc != 0) {
        error_box("Cannot start the help viewer");
    }
}

static void delete_key_command() {
    if ((zyr.SystemFlags & SF_PLOT_DELETE) && switch_hooks.clear_plots) switch_hooks.clear_plots();
}

void set_page_title(int page) {
    char name[16], title[64];
    snprintf(name, sizeof name, "PAGE%04d", page);
    snprintf(startup.start_page_name, sizeof startup.start_page_name, "%s", name);
    snprintf(title, sizeof title, "ZYR for Linux - vantor - %s", name);
    plat_set_title(title);
}

int page_step(int delta) {
    if (delete_lock) {
        error_box("Cannot change page, delete lock on");
        return 1;
    }
    int current = pages.slot[SLOT_DISPLAY].page >= 0 ? pages.slot[SLOT_DISPLAY].page : startup.start_page;
    int next = current + delta;
    if (page_change_question() != 0) return 1;
    char want[300], found[300];
    bool exists = next >= 0 && next <= 9999 && page_file_path(pages.dir, next, "BIN", want, sizeof want) == 0 &&
                  page_find_file(want, found, sizeof found) == 0;
    if (!exists) {
        char name[32];
        snprintf(name, sizeof name, "PAGE%04d.BIN", next < 0 ? 0 : next > 9999 ? 9999 : next);
        error_box("Invalid Page", name);
        return 1;
    }
    // While the display stage is off the page stays as it is.
    if (!(zyr.work_mask & WM_DISPLAY)) return 1;
    eval_request_page(next);
    set_page_title(next);
    return 0;
}

// Commands with a table of their own: switches, values, files, recent files.
static bool table_command(int id) {
    if (id >= CMD_RECENT_FIRST && id < CMD_RECENT_FIRST + RECENT_FILES) {
        recent_command(id);
        return true;
    }
    bool record = false;
    if (const FileKindInfo* k = file_kind_of_command(id, &record)) {
        file_command(k->letter, record);
        return true;
    }
    if (id == CMD_STEP_MODE) {
        step_mode_command();
        return true;
    }
    if (switch_row(id)) {
        if (id == CMD_ECHO && !switch_hooks.echo) return true;
        if (id == CMD_COMMAND_OUT && !switch_hooks.command_output) return true;
        switch_command(id);
        return true;
    }
    if (value_row(id)) {
        value_command(id);
        return true;
    }
    return false;
}

static void own_command(int id) {
    switch (id) {
    case CMD_ABOUT: about_box(); break;
    case CMD_HELP: help_show(); break;
    case CMD_DELETE_KEY: delete_key_command(); break;
    case CMD_PAGE_DOWN: page_step(-1); break;
    case CMD_PAGE_UP: page_step(1); break;
    case CMD_STEP_KEY: step_key_command(); break;
    case CMD_LOOP_HALVE: cycle_loop_key('+'); break;
    case CMD_LOOP_DOUBLE: cycle_loop_key('-'); break;
    case CMD_SINGLE_STEP: cycle_single_step(); break;
    case CMD_REDRAW: canvas_invalidate(); break;
    case CMD_DISPLAY_TOGGLE: zyr.work_mask ^= WM_DISPLAY; break;
    case CMD_CUSTOM_API: custom_api_command(); break;
    case CMD_STATS_RESET: stats_reset_command(); break;
    case CMD_SAVE_SETTINGS: settings_save(false); break;
    case CMD_EXIT: exit_sequence(); break;
    case CMD_EXCHANGE_BITS: exchange_bits_command(); break;
    default:
        if (CommandFn fn = handler_of(id)) fn(id);
        break;
    }
}

void vantor_command(int id) {
    msg_enter(0x111);
    if (!table_command(id)) own_command(id);
    msg_leave();
}

// ---- the page area --------------------------------------------------------------

void page_area_mouse(int kind, int x, int y) {
    if (menu_hooks.mouse) menu_hooks.mouse(kind, x, y);
}

static void scroll_by(int drow, int dcol) {
    grid_scroll_to(grid.first_row + drow, grid.first_col + dcol);
    display_update_scroll_bars();
    canvas_invalidate();
}

void page_area_key(int key, bool down, bool repeat) {
    if (!down) {
        if (key >= KEY_LEFT && key <= KEY_DOWN) g_scroll_repeat = 0;
        return;
    }
    if (repeat) g_scroll_repeat++;
    switch (key) {
    case KEY_HOME: scroll_by(1 - grid.first_row, 0); break;
    case KEY_END: scroll_by(grid.rows - grid.vis_rows + 1 - grid.first_row, 0); break;
    case KEY_LEFT: scroll_by(0, -1); break;
    case KEY_RIGHT: scroll_by(0, 1); break;
    case KEY_UP: scroll_by(-1, 0); break;
    case KEY_DOWN: scroll_by(1, 0); break;
    default: break;
    }
}
