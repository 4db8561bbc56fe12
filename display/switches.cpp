// The switch and value tables of the menus and their steps. An on/off
// dialog's open step shows the switch's state; its answer step flips the
// bit on "y". A value dialog's answer step checks the number against its
// bounds and applies it.
#include "display/switches.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/page.h"
#include "core/state.h"
#include "display/grid.h"
#include "display/filecmds.h"
#include "display/steps.h"
#include "engine/cycle.h"
#include "engine/input.h"
#include "engine/netcfg.h"
#include "engine/playback.h"
#include "engine/serialcfg.h"
#include "platform/canvas.h"
#include "platform/ui.h"

SwitchHooks switch_hooks;

void switches_reset() { switch_hooks = SwitchHooks{}; }

void settings_changed() { page_mark_changed(SLOT_SYSTEM); }

// ---- what follows a switch ------------------------------------------------------

static int test_data_before_on() { return input_conflict_check(IO_TEST_DATA) == 0 ? 0 : 1; }

static void test_data_after(bool on) {
    if (on) {
        prepare_test_packet();
        if (switch_hooks.clear_plots) switch_hooks.clear_plots();
    }
    canvas_invalidate();
}

static void monochrome_after(bool on) {
    if (on)
        zyr.SystemFlags |= SF_MONOCHROME;
    else
        zyr.SystemFlags &= ~SF_MONOCHROME;
    canvas_invalidate();
}

static int step_mode_apply(bool on) {
    cycle_step_mode(on);
    return 0;
}

static int echo_apply(bool on) { return switch_hooks.echo ? switch_hooks.echo(on) : -1; }
static int command_apply(bool on) { return switch_hooks.command_output ? switch_hooks.command_output(on) : -1; }

static const SwitchRow kSwitches[] = {
    {152, "ZYRERR.TXT Packet diagnostics", "Diagnostics ", &zyr.SystemFlags, SF_DIAGNOSTICS, 1032, 1033,
     nullptr, nullptr, nullptr},
    {154, "Monochrome", "Monochrome display ", &grid.video_flags, VIDEO_MONO, 1036, 1037, nullptr, nullptr,
     monochrome_after},
    {112, "Echo Data", "Telemetry echo ", &zyr.SystemFlags, SF_ECHO, 1048, 1049, nullptr, echo_apply, nullptr},
    {111, "Test Data", "Test data generate ", &zyr.IoFlags, IO_TEST_DATA, 1050, 1051, test_data_before_on, nullptr,
     test_data_after},
    {156, "Step mode", "Step mode ", &zyr.SystemFlags, SF_STEP_MODE, 1078, 1079, nullptr, step_mode_apply, nullptr},
    {113, "Command output", "Command data out ", &zyr.SystemFlags, SF_COMMAND_OUT, 1098, 1099, nullptr,
     command_apply, nullptr},
    {114, "Ascii output", "Ascii data output ", &zyr.SystemFlags, SF_ASCII_OUT, 1105, 1106, nullptr, nullptr,
     nullptr},
    {180, "Beeper Sound", "Beeper sound ", &zyr.SystemFlags, SF_BEEPER, 1122, 1123, nullptr, nullptr, nullptr},
    {187, "Leave open on EOF", "Leave Open on EOF ", &zyr.IoFlags, IO_LEAVE_OPEN_EOF, 1126, 1127, nullptr, nullptr,
     nullptr},
    {206, "Display Lock", "Display Lock ", &zyr.SystemFlags, SF_DISPLAY_LOCK, 1136, 1137, nullptr, nullptr,
     nullptr},
    {545, "Over-clocking", "Over-clocking ", &zyr.SystemFlags, SF_OVERCLOCK, 1147, 1148, nullptr, nullptr,
     nullptr},
};
static_assert(std::size(kSwitches) == 11);

int switch_count() { return (int)std::size(kSwitches); }
const SwitchRow* switch_at(int i) { return i >= 0 && i < switch_count() ? &kSwitches[i] : nullptr; }

const SwitchRow* switch_row(int command) {
    for (const SwitchRow& r : kSwitches)
        if (r.command == command) return &r;
    return nullptr;
}

// ---- what a value applies ------------------------------------------------------------

static uint32_t loop_now() { return zyr.loop_msecs; }
static int loop_apply(uint32_t v) {
    cycle_set_loop_time(v);
    return 0;
}

static uint32_t backup_now() { return pages.backup_period; }
static int backup_apply(uint32_t v) {
    page_set_backup_period(v);
    return 0;
}

static uint32_t flush_now() { return pages.flush_period; }
static int flush_apply(uint32_t v) {
    pages.flush_period = v;
    return 0;
}

constexpr uint32_t kRecordBits = IO_RAW_RECORD | IO_ASCII_RECORD | IO_COMP_RECORD;

static uint32_t record_size_now() { return record_bufsize() / 1024; }
static int record_size_apply(uint32_t v) {
    if ((zyr.IoFlags & (kRecordBits | IO_PLAYBACK_BITS)) &&
        plat_message_box("File I/O is currently in progress.\nThis setting will not take effect\nuntil the file I/O is "
                         "restarted.",
                         "File Buffer Size", MB_OKCANCEL) != IDOK)
        return 1;
    pages.file_bufsize = v * 1024;
    return 0;
}

static uint32_t timeout_now() { return pages.timeout_period; }
static int timeout_apply(uint32_t v) {
    pages.timeout_period = v;
    return 0;
}

static uint32_t serial_size_now() {
    int i = com_input_port >= 0 ? com_input_port : 0;
    return com_settings[i].bufsize / 1024;
}

static bool serial_busy() {
    return switch_hooks.serial_open ? switch_hooks.serial_open() : (zyr.IoFlags & (IO_SERIAL_IN | IO_SERIAL_OUT)) != 0;
}

// The rings are 16-bit sizes: 64 kbytes is kept as 65535 bytes.
static int serial_size_apply(uint32_t v) {
    int answer = IDNO;
    if (serial_busy()) {
        answer = plat_message_box("The serial ports are currently open for I/O.\nDo you wish to reopen the port with the "
                                  "new size now?",
                                  "Serial Buffer Size", MB_YESNOCANCEL);
        if (answer == IDCANCEL) return 1;
    }
    uint32_t bytes = v * 1024;
    if (bytes < 1024) bytes = 1024;
    if (bytes > 65535) bytes = 65535;
    for (ComSettings& c : com_settings) c.bufsize = (uint16_t)bytes;
    if (answer == IDYES && switch_hooks.serial_reopen_all) switch_hooks.serial_reopen_all();
    return 0;
}

static uint32_t net_size_now() { return net_settings.in_bufsize / 1024; }
static int net_size_apply(uint32_t v) {
    if ((zyr.IoFlags & (IO_NET_IN | IO_NET_OUT)) &&
        plat_message_box("The internet system is currently open for I/O.\nChanges will not take effect until restarted",
                         "Internet Buffer Size", MB_YESNOCANCEL) == IDCANCEL)
        return 1;
    net_set_in_bufsize(v * 1024);
    return 0;
}

static const ValueRow kValues[] = {
    {157, "Loop-time", "Enter new loop time in msecs", "Current setting = %lu ms", 1, LOOP_MSECS_MAX, 1200, 1201,
     loop_now, loop_apply},
    {160, "Backup Period", "Enter new period in secs, 0=OFF", "Current setting = %lu secs", 0, 86400, 1202, 1203,
     backup_now, backup_apply},
    {510, "Flush Period", "Enter new flush period in secs", "Current setting = %lu s", 0, 86400, 1204, 1205,
     flush_now, flush_apply},
    {511, "Record Buffer Size", "Enter new buffer size in kbytes", "Current setting = %lu kbytes", 1, 1024, 1206, 1207,
     record_size_now, record_size_apply},
    {540, "Serial Timeout Period", "Enter new period in secs, 0=OFF", "Current setting = %lu secs", 0, 86400, 1208,
     1209, timeout_now, timeout_apply},
    {541, "Serial Buffer Size", "Enter new buffer size in kbytes", "Current setting = %lu kbytes", 1, 64, 1210, 1211,
     serial_size_now, serial_size_apply},
    {576, "Network Buffer Size", "Enter new buffer size in kbytes", "Current setting = %lu kbytes", 8, 1024, 1212,
     1213, net_size_now, net_size_apply},
};
static_assert(std::size(kValues) == 7);

int value_count() { return (int)std::size(kValues); }
const ValueRow* value_at(int i) { return i >= 0 && i < value_count() ? &kValues[i] : nullptr; }

const ValueRow* value_row(int command) {
    for (const ValueRow& r : kValues)
        if (r.command == command) return &r;
    return nullptr;
}

// ---- the steps ---------------------------------------------------------------------

static int switch_open(const SwitchRow& r) {
    steps.was_on = (*r.word & r.bit) != 0;
    prompt_set(1, "%s%s", r.prompt, steps.was_on ? "ON:" : "OFF:");
    prompt_set(2, nullptr);
    prompt_set(3, nullptr);
    steps.current = r.answer_step;
    return 0;
}

static int switch_answer(const SwitchRow& r) {
    int a = answer_of(steps.entry);
    if (a == ANSWER_INVALID) {
        prompt_set(3, "Invalid Entry. Retype...");
        steps.current = r.answer_step;
        return 1;
    }
    if (a == ANSWER_NO) {
        steps_clear_command();
        return 0;
    }
    bool on = !(*r.word & r.bit);
    if (on && r.before_on && r.before_on() != 0) return 1;
    if (r.apply) {
        if (r.apply(on) != 0) return 1;
    } else if (on) {
        *r.word |= r.bit;
    } else {
        *r.word &= ~r.bit;
    }
    if (r.after) r.after(on);
    settings_changed();
    publish_words();
    steps_clear_command();
    return 0;
}

static int value_open(const ValueRow& r) {
    prompt_set(1, "%s", r.line1);
    prompt_set(2, r.line2, (unsigned long)r.current());
    if (r.command == 157)
        prompt_set(3, "Measured avg. = %lu ms", (unsigned long)((cyc.meanallfr_usecs + 500) >> 10));
    else
        prompt_set(3, nullptr);
    steps.current = r.answer_step;
    return 0;
}

static int value_answer_step(const ValueRow& r) {
    uint32_t v = 0;
    if (value_answer(steps.entry, r.lo, r.hi, &v) != 0) {
        steps.current = r.answer_step;
        return 1;
    }
    if (r.apply(v) != 0) {
        // The warning was cancelled: the old value stays and the dialog closes.
        steps_clear_command();
        return 0;
    }
    settings_changed();
    publish_words();
    steps_clear_command();
    return 0;
}

int switch_step(int id, int* result) {
    for (const SwitchRow& r : kSwitches) {
        if (id == r.open_step) return *result = switch_open(r), 1;
        if (id == r.answer_step) return *result = switch_answer(r), 1;
    }
    for (const ValueRow& r : kValues) {
        if (id == r.open_step) return *result = value_open(r), 1;
        if (id == r.answer_step) return *result = value_answer_step(r), 1;
    }
    return 0;
}

int switch_command(int command) {
    const SwitchRow* r = switch_row(command);
    int changed = r ? flags_dialog(r->title, r->open_step, r->answer_step) : 0;
    if (r && switch_hooks.after_switch) switch_hooks.after_switch(command);
    return changed;
}

int value_command(int command) {
    const ValueRow* r = value_row(command);
    return r ? text_dialog(r->title, r->open_step, r->answer_step) : 0;
}
