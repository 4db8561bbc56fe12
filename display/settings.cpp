// Settings save and the exit sequence. The page writer writes page 0 with
// the packet and system records; the system record is gathered here from
// what runs now, so a save keeps what the operator changed from the menus.
#include "display/settings.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "core/page.h"
#include "core/pagefile.h"
#include "core/state.h"
#include "display/commands.h"
#include "display/filecmds.h"
#include "display/grid.h"
#include "display/steps.h"
#include "engine/netcfg.h"
#include "engine/serialcfg.h"
#include "platform/ui.h"

// The switch bits that page 0 carries (and that loading merges back in).
constexpr uint32_t kSavedSysFlags = 0x1 | 0x2 | 0x40 | 0x80 | 0x100000 | 0x200000 | 0x4000000;
constexpr uint32_t kSavedIoFlags = 0x40 | 0x80 | 0x100 | 0x200 | 0x400 | IO_BACKUP | 0x4000;

static char g_startup_dir[261];

void settings_reset() {
    g_startup_dir[0] = 0;
    net_mark_saved();
}

const char* startup_directory() { return g_startup_dir; }

void settings_mark_saved_network() { net_mark_saved(); }

// ---- gathering and applying ----------------------------------------------------

static void gather_network(NetEntry* in, NetEntry* out) {
    in->bufsize = net_settings.in_bufsize;
    out->bufsize = net_settings.out_bufsize;
    in->tcpportno = out->tcpportno = net_settings.tcp_port;
    in->udpportno = out->udpportno = net_settings.udp_port;
    snprintf(in->host, sizeof in->host, "%.*s", (int)sizeof in->host - 1, net_settings.server);
    snprintf(out->host, sizeof out->host, "%.*s", (int)sizeof out->host - 1, net_settings.udp_host);
    in->protocol = net_settings.in_protocol;
    out->protocol = net_settings.out_protocol;
}

static void gather_system(SystemRecord* rec) {
    recent_to_page(rec->files);
    rec->sysflags = (rec->sysflags & ~kSavedSysFlags) | (zyr.SystemFlags & kSavedSysFlags);
    rec->ioflags = (rec->ioflags & ~kSavedIoFlags) | (zyr.IoFlags & kSavedIoFlags);
    rec->looptime = zyr.loop_msecs;
    rec->videoflags = grid.video_flags;
    rec->bufsize = pages.file_bufsize;
    rec->flushperiod = pages.flush_period;
    rec->timeoutperiod = pages.timeout_period;
    for (int i = 0; i < COM_PORTS; i++) rec->serial[i].bufsize = com_settings[i].bufsize;
    gather_network(&rec->net_in, &rec->net_out);
}

static void apply_files(const FileEntry* entries) {
    recent_from_page(entries);
    // The loop time travels with the settings of page 0.
    if (pages.sysrec.looptime && page_hooks.set_loop_time) page_hooks.set_loop_time(pages.sysrec.looptime);
}

void settings_register() {
    if (!getcwd(g_startup_dir, sizeof g_startup_dir)) g_startup_dir[0] = 0;
    page_hooks.apply_files = apply_files;
    page_hooks.gather_system = gather_system;
    page_hooks.apply_display = grid_apply_display;
    net_mark_saved();
}

// ---- saving -------------------------------------------------------------------------

// The page file of page in the start-up directory, in whatever letter case
// it already has there.
static int settings_path(int page, char* out, size_t cap) {
    char want[300];
    if (page_file_path(g_startup_dir, page, "BIN", want, sizeof want) != 0) return -1;
    if (page_find_file(want, out, cap) != 0) snprintf(out, cap, "%s", want);
    return 0;
}

static bool save_one(int range, int page, char* path, const char* error_line) {
    bool ok = settings_path(page, path, 300) == 0 && page_save(range, 0, path, 0) == 0;
    if (!ok) error_box("Cannot Save Settings", error_line);
    return ok;
}

int settings_save(bool at_exit) {
    if (net_settings_changed()) page_mark_changed(SLOT_SYSTEM);
    bool sys = pages.slot[SLOT_SYSTEM].changed != 0;
    bool params = pages.slot[SLOT_SYSPARAMS].changed != 0;
    if (!sys && !params && at_exit) return IDNO;
    const char* text = (sys || params) ? "The system setttings have changed\nDo you wish to save them ?"
                                       : "The system setttings have NOT changed\nDo you still wish to save them ?";
    int answer = plat_message_box(text, "System Settings", MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    if (answer == IDCANCEL) return IDCANCEL;
    if (answer != IDYES) {
        if (at_exit) {
            pages.slot[SLOT_SYSTEM].changed = 0;
            pages.slot[SLOT_SYSPARAMS].changed = 0;
            net_settings = net_saved;
        }
        return IDNO;
    }
    char* path = (char*)QOBmalloc(300);
    if (!path) return 7;
    // From the menu an unchanged page 0 is written too: the operator asked.
    if ((sys || !at_exit) && save_one(SAVE_SETTINGS, 0, path, "in PAGE0000.BIN.")) {
        pages.slot[SLOT_SYSTEM].changed = 0;
        net_mark_saved();
    }
    if (params && save_one(SAVE_SYSPARAMS, 9999, path, "in PAGE9999.BIN.")) pages.slot[SLOT_SYSPARAMS].changed = 0;
    QOBfree(path);
    return IDYES;
}

int page_change_question() {
    if (!pages.slot[SLOT_DISPLAY].changed) return 0;
    int answer = plat_message_box("This page has changed\nDo you wish to save it ?", "Page Change",
                                  MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL) return 1;
    if (answer == IDNO) {
        pages.slot[SLOT_DISPLAY].changed = 0;
        return 0;
    }
    if (page_save(SAVE_DISPLAY, 0, nullptr, 0) != 0) {
        char name[16];
        snprintf(name, sizeof name, "PAGE%04d", pages.slot[SLOT_DISPLAY].page);
        error_box("Cannot Save Current Page", name);
        return 1;
    }
    return 0;
}

void exit_sequence() {
    msg_enter(0x10);
    if (plat_message_box("Do you wish to exit ZYR ?", "ZYR Exit", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES) {
        msg_leave();
        return;
    }
    delete_lock = false;
    if (page_change_question() != 0) {
        msg_leave();
        return;
    }
    if (g_startup_dir[0] && chdir(g_startup_dir) != 0) debug_printf("exit: cannot return to %s", g_startup_dir);
    if (settings_save(true) == IDCANCEL) {
        msg_leave();
        return;
    }
    plat_post_quit(0);
    msg_leave();
}
