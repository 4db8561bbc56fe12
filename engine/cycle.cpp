// The processing cycle. One 10 ms window timer drives everything: each tick
// runs a number of passes, each due pass acquires at most one accepted
// packet, feeds the outputs and redraws. The clock and its monitor never
// repair a wall-clock jump, they report it and restart the statistics.
#include "engine/cycle.h"

#include <cstdio>
#include <cstring>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/state.h"
#include "platform/sys.h"
#include "platform/ui.h"

CycleHooks cycle_hooks;
CycleState cyc;

static void cycle_start_state() {
    memset(&cyc, 0, sizeof cyc);
    cyc.os_code = 3;
    cyc.next_due = 10;
    cyc.last_tick_interval = 10;
    cyc.tm_first = true;
    cyc.ft_page = -1;
    cyc.ft_file = -1;
    cyc.ft_retry = FRAME_SLOTS;
    cyc.current_page = -1;
}

static struct CycleInit {
    CycleInit() { cycle_start_state(); }
} g_cycle_init;

void cycle_reset() {
    if (cyc.ft_file >= 0) zyr_fclose(cyc.ft_file);
    cycle_start_state();
    cycle_hooks = CycleHooks{};
}

// ---- clock ---------------------------------------------------------------

void clock_start() {
    cyc.clock_base_ms = plat_wall_ms();
    zyr.zyr_msecs = 0;
    zyr.zyr_secs = 0;
    cyc.last_secs = 0;
    zyr.caltime = plat_calendar_time();
    zyr.start_caltime = zyr.caltime;
    state_refresh_asciictime();
}

void clock_update() {
    zyr.zyr_msecs = (uint32_t)(plat_wall_ms() - cyc.clock_base_ms);
    zyr.zyr_secs = zyr.zyr_msecs / 1000;
    if (zyr.zyr_secs != cyc.last_secs) {
        cyc.last_secs = zyr.zyr_secs;
        zyr.caltime = plat_calendar_time();
        if (state_refresh_asciictime() != 0) zyr_err(21, 2, "ascii_time>1", 2, 0, 0);
    }
}

// ---- loop time and passes -----------------------------------------------

static void due_at_once() { cyc.next_due = zyr.zyr_msecs ? zyr.zyr_msecs - 1 : 0; }

void cycle_set_loop_time(uint32_t msecs) {
    if (msecs == 0) msecs = 1;
    if (msecs > LOOP_MSECS_MAX) msecs = LOOP_MSECS_MAX;
    bool changed = msecs != zyr.loop_msecs;
    zyr.loop_msecs = msecs;
    due_at_once();
    if (changed && cycle_hooks.loop_time_changed) cycle_hooks.loop_time_changed();
}

bool cycle_loop_key(char key) {
    uint64_t t = zyr.loop_msecs;
    if (key == '+') {
        t = t - t / 2;
    } else if (key == '-') {
        t = t < 2 ? 2 : t * 2;
        if (t > 0x7FFFFFFF) return false;
    } else {
        return false;
    }
    cycle_set_loop_time((uint32_t)t);
    return true;
}

uint32_t cycle_passes_for_tick() {
    uint32_t base = 10 / zyr.loop_msecs;
    if (base < 1) base = 1;
    if (!(zyr.SystemFlags & SF_OVERCLOCK)) return base;
    if (cyc.os_code == 3) return base * 4;
    uint32_t d;
    if (zyr.zyr_msecs > cyc.last_tick_time) {
        d = zyr.zyr_msecs - cyc.last_tick_time;
        cyc.last_tick_time = zyr.zyr_msecs;
        cyc.last_tick_interval = d;
    } else {
        d = cyc.last_tick_interval;
    }
    if (d > 60) d = 60;
    uint32_t n = d / zyr.loop_msecs;
    if (n < 1) n = 1;
    if (zyr.zyr_msecs < 5000) n = 1;
    return n;
}

void zyr_tick() {
    uint32_t n = cycle_passes_for_tick();
    for (cyc.passes_remaining = n; cyc.passes_remaining >= 1; cyc.passes_remaining--) cycle_pass();
}

// ---- time monitor ---------------------------------------------------------

static void time_jump_warning() {
    zyr.SystemFlags |= SF_RESET_STATS;
    plat_beep();
    zyr_err(21, 2, "time monitor>1", 32, 0, 0);
    if (plat_nonblocking_box("The system time has jumped.\nDate/time modified online ?\nAll statistics have been reset.",
                             "Warning") != 0)
        zyr_message("ZYR time jump", MSG_LOG | MSG_TIME);
}

int time_monitor() {
    uint32_t now = zyr.zyr_msecs;
    if (cyc.tm_first) {
        cyc.tm_prev_caltime = zyr.caltime;
        cyc.tm_prev_msecs = now;
        cyc.tm_prev_next_due = cyc.next_due;
        cyc.tm_first = false;
    }
    if (now < cyc.tm_prev_msecs) {
        zyr.SystemFlags |= SF_RESET_STATS;
        debug_printf("zyr_msecs rollover old %lu new %lu", (unsigned long)cyc.tm_prev_msecs, (unsigned long)now);
    }
    if (now - cyc.tm_prev_msecs > zyr.loop_msecs) {
        if (cyc.next_due == cyc.tm_prev_next_due) due_at_once();
        cyc.tm_prev_next_due = cyc.next_due;
        cyc.tm_prev_msecs = now;
    }
    int result = 0;
    int64_t prev = cyc.tm_prev_caltime, cal = zyr.caltime;
    if (cal < prev) {
        if ((uint64_t)(prev - cal) < 0xFFFFE0BFu) {
            debug_printf("Time backward jump old %lu new %lu", (unsigned long)prev, (unsigned long)cal);
            result = 2;
        } else {
            zyr.SystemFlags |= SF_RESET_STATS;
            debug_printf("49.17:02:47.3 elapsed time wrapover");
        }
    } else if (cal - prev > 8000) {
        debug_printf("Time forward jump old %lu new %lu", (unsigned long)prev, (unsigned long)cal);
        result = 3;
    }
    if (result) time_jump_warning();
    cyc.tm_prev_caltime = cal;
    // Never catch up more than a second of passes.
    if (now > cyc.next_due && now - cyc.next_due > zyr.loop_msecs + 1000) cyc.next_due = now;
    return result;
}

// ---- meters -----------------------------------------------------------------

void loop_rate_meter() {
    cyc.lr_count++;
    uint32_t now = zyr.zyr_msecs;
    if (now < cyc.lr_time) {
        cyc.lr_count = 0;
        cyc.lr_time = now;
    } else if (now - cyc.lr_time >= 320) {
        cyc.meanallfr_usecs = (uint32_t)((uint64_t)(now - cyc.lr_time) * 1000 / cyc.lr_count);
        cyc.lr_count = 0;
        cyc.lr_time = now;
    }
}

static void frame_file_close() {
    if (cyc.ft_file < 0) return;
    WriteZYRFileHdr(cyc.ft_file, 0, "");
    zyr_fclose(cyc.ft_file);
    cyc.ft_file = -1;
}

static void frame_timings_restart(int page) {
    memset(cyc.ft_sum, 0, sizeof cyc.ft_sum);
    memset(cyc.ft_samples, 0, sizeof cyc.ft_samples);
    memset(cyc.ft_reported, 0, sizeof cyc.ft_reported);
    cyc.ft_reported_count = 0;
    cyc.ft_total = 0;
    cyc.ft_page = page;
    frame_file_close();
    char path[300];
    snprintf(path, sizeof path, "%s%sfrtiming.txt", zyr.startdir, zyr.startdir[0] ? "/" : "");
    cyc.ft_file = zyr_fopen(path, "a", 1024);
    if (cyc.ft_file < 0) {
        zyr_err(14, 1, "frtiming.txt", 0, 0, 0);
        return;
    }
    char extra[64];
    snprintf(extra, sizeof extra, "Page %i %li %i\n", page, (long)zyr.zyr_msecs, FRAME_SAMPLES);
    WriteZYRFileHdr(cyc.ft_file, 1, extra);
}

// The mean in microseconds of n intervals summing to ms milliseconds,
// worked out in 64 bits; a mean beyond 32 bits shows as the largest value.
static uint32_t usecs_mean(uint64_t ms, unsigned n) {
    uint64_t m = ms * 1000 / n;
    return m > UINT32_MAX ? UINT32_MAX : (uint32_t)m;
}

static void frame_slot_reported(int slot) {
    cyc.ft_reported[slot] = true;
    cyc.ft_reported_count++;
    if (cyc.ft_file < 0) return;
    uint32_t mean = usecs_mean(cyc.ft_sum[slot], FRAME_SAMPLES);
    cyc.meanfr_usecs[slot] = mean;
    zyr_fprintf(cyc.ft_file, "%i %li\n", slot, (long)mean);
    if (cyc.ft_reported_count == FRAME_SLOTS) {
        cyc.meanallfr_usecs = usecs_mean(cyc.ft_total, FRAME_SLOTS * FRAME_SAMPLES);
        zyr_fprintf(cyc.ft_file, ">%li<\n", (long)cyc.meanallfr_usecs);
    }
}

void frame_timings(int page) {
    int slot = (int)(cyc.cycle_count % FRAME_SLOTS);
    if (slot == 0) slot = FRAME_SLOTS;
    uint32_t interval = zyr.zyr_msecs - cyc.ft_last_call;
    cyc.ft_last_call = zyr.zyr_msecs;
    if (page != cyc.ft_page) {
        frame_timings_restart(page);
    } else if (cyc.ft_samples[slot] < FRAME_SAMPLES) {
        cyc.ft_sum[slot] += interval;
        cyc.ft_total += interval;
        if (++cyc.ft_samples[slot] == FRAME_SAMPLES && !cyc.ft_reported[slot]) frame_slot_reported(slot);
    }
    if (--cyc.ft_retry < 1) cyc.ft_retry = FRAME_SLOTS;
    if (cyc.ft_retry == slot && cyc.ft_file < 0) zyr_err(14, 1, "frtiming.txt", 0, 0, 0);
}

void frame_timings_off() {
    frame_file_close();
    cyc.ft_page = -1;
}

// ---- once per second ---------------------------------------------------------

int task_monitor() {
    if (cyc.task_calls < 2) {
        cyc.task_calls++;
        return 0;
    }
    int r = 0;
    uint32_t p1 = zyr_stat(ST_PORTS_1), p2 = zyr_stat(ST_PORTS_2), p3 = zyr_stat(ST_PORTS_3);
    if (p1 + p2 != p3 + 1) r = 1;
    if (qob_tables_exist() && qobmem.mem_alloc_cnt + qobmem.free_entries != (uint32_t)QOB_TABLE_ENTRIES) r = 2;
    if (cycle_hooks.plot_pair_check) {
        int pr = cycle_hooks.plot_pair_check();
        if (pr) r = pr;
    }
    zyr_stat(ST_TASK_MONITOR) = (uint32_t)r;
    if (r != 0 && r != cyc.task_last && r != 1) {
        debug_printf("ZYR task_monitor error %02d", r);
        debug_printf("%hu %hu %hu", (unsigned short)p1, (unsigned short)p2, (unsigned short)p3);
    }
    cyc.task_last = r;
    return r;
}

static void reset_statistics() {
    static const unsigned kCleared[] = {
        ST_SYNC_LOSSES, ST_SEQ_ERRORS, ST_PACKETS_SENT, ST_BYTES_READ, ST_BYTES_SENT, ST_GAP_COUNT,
        ST_BYTES_READ_SEC, ST_BYTES_SENT_SEC, ST_PACKETS_READ_RATE, ST_PACKETS_SENT_RATE,
        ST_CHANGES_RATE, ST_PACKETS_READ, ST_ELAPSED_SECS, ST_RX_BLOCK_MAX, ST_TX_BLOCK_MAX,
    };
    for (unsigned off : kCleared) zyr_stat(off) = 0;
    cyc.prev_bytes_read = cyc.prev_bytes_sent = 0;
    cyc.prev_packets = zyr.zyrfr_cnt;
    cyc.prev_sent_packets = 0;
    cyc.prev_changes = cyc.value_changes;
    cyc.stats_reset_secs = zyr.zyr_secs;
    zyr.SystemFlags &= ~SF_RESET_STATS;
}

// Rate in tenths per second of a count that moved by diff in ms.
static uint32_t tenths_per_sec(uint32_t diff, uint32_t ms) {
    return ms ? (uint32_t)((uint64_t)diff * 10000 / ms) : 0;
}

void stats_step() {
    uint32_t now = zyr.zyr_msecs;
    uint32_t ms = now - cyc.last_stats_ms;
    if (ms < 1000 && cyc.last_stats_ms != 0) return;
    cyc.last_stats_ms = now;
    task_monitor();
    if (zyr.SystemFlags & SF_RESET_STATS) reset_statistics();
    zyr_stat(ST_MEM_ALLOC_CNT) = qobmem.mem_alloc_cnt;
    zyr_stat(ST_MEM_TOTAL) = qobmem.total_allocated;
    zyr_stat(ST_MEM_PEAK) = qobmem.peak_allocated;
    zyr_stat(ST_BRUSHES) = (uint32_t)qobmem.qob_brush_count;
    zyr_stat(ST_REGIONS) = (uint32_t)qobmem.qob_rgn_count;
    zyr_stat(ST_PENS) = (uint32_t)qobmem.qob_pen_count;
    if (cycle_hooks.status_texts) cycle_hooks.status_texts();
    uint32_t rd = zyr_stat(ST_BYTES_READ), sent = zyr_stat(ST_BYTES_SENT);
    uint32_t pk = zyr.zyrfr_cnt, spk = zyr_stat(ST_PACKETS_SENT);
    zyr_stat(ST_BYTES_READ_SEC) = rd - cyc.prev_bytes_read;
    zyr_stat(ST_BYTES_SENT_SEC) = sent - cyc.prev_bytes_sent;
    zyr_stat(ST_PACKETS_READ_RATE) = tenths_per_sec(pk - cyc.prev_packets, ms);
    zyr_stat(ST_PACKETS_SENT_RATE) = tenths_per_sec(spk - cyc.prev_sent_packets, ms);
    zyr_stat(ST_CHANGES_RATE) = tenths_per_sec(cyc.value_changes - cyc.prev_changes, ms);
    zyr_stat(ST_PACKETS_READ) += pk - cyc.prev_packets;
    cyc.prev_bytes_read = rd;
    cyc.prev_bytes_sent = sent;
    cyc.prev_packets = pk;
    cyc.prev_sent_packets = spk;
    cyc.prev_changes = cyc.value_changes;
    zyr_stat(ST_ELAPSED_SECS) = zyr.zyr_secs - cyc.stats_reset_secs;
}

// ---- beeper and step mode ------------------------------------------------------

void beeper_step() {
    int count = cyc.beep_requests;
    if ((zyr.SystemFlags & SF_STEP_MODE) || !(zyr.work_mask & WM_DISPLAY)) count++;
    if (count <= 0) {
        cyc.beeper_phase = false;
        cyc.beeper_time = zyr.zyr_msecs;
        return;
    }
    if (zyr.zyr_msecs - cyc.beeper_time < 400) return;
    cyc.beeper_time = zyr.zyr_msecs;
    cyc.beeper_phase = !cyc.beeper_phase;
    if (cyc.beeper_phase && (zyr.SystemFlags & SF_BEEPER)) plat_beep();
}

void step_mode_update() {
    if (cyc.operator_step || cyc.stop_requests > 0)
        zyr.SystemFlags |= SF_STEP_MODE;
    else
        zyr.SystemFlags &= ~SF_STEP_MODE;
}

void cycle_step_mode(bool on) {
    cyc.operator_step = on;
    if (!on) cyc.step_count = 0;
}

void cycle_single_step() {
    if (zyr.SystemFlags & SF_STEP_MODE) cyc.step_count++;
}

// ---- the pass -------------------------------------------------------------------

static void packet_acquisition() {
    for (int i = 0; i < MAX_ATTEMPTS_PER_PASS; i++) {
        if (cycle_hooks.get_next_packet) cycle_hooks.get_next_packet();
        cyc.accepted = false;
        zyr.SystemFlags &= ~SF_ACCEPTED;
        if (zyr.zyrfr_cnt == cyc.last_fr_cnt) return;
        cyc.last_fr_cnt = zyr.zyrfr_cnt;
        if (!cycle_hooks.packet_filter || cycle_hooks.packet_filter()) {
            cyc.accepted = true;
            zyr.SystemFlags |= SF_ACCEPTED;
            return;
        }
        if ((zyr.SystemFlags & SF_ECHO) && cycle_hooks.mark_echo_only) cycle_hooks.mark_echo_only();
    }
}

static void processing_stage() {
    bool stepping = zyr.SystemFlags & SF_STEP_MODE;
    if (stepping && cyc.step_count == 0) return;
    if (stepping) cyc.step_count--;
    if (zyr.work_mask & WM_ACQUIRE) packet_acquisition();
    if ((zyr.work_mask & WM_OUTPUT) && cyc.accepted && cycle_hooks.packet_outputs) cycle_hooks.packet_outputs();
    if (cycle_hooks.input_timeout) cycle_hooks.input_timeout();
}

static void display_stage() {
    if (zyr.SystemFlags & SF_FRAME_TIMINGS)
        frame_timings(cyc.current_page);
    else if (cyc.ft_file >= 0)
        frame_timings_off();  // switched off: the file gets its close header now
    if (zyr.zyr_msecs - cyc.last_status_ms > 3000) {
        cyc.last_status_ms = zyr.zyr_msecs;
        zyr_err(10, 0, "", 0, 0, 0);
    }
    if (cycle_hooks.display_stage) cycle_hooks.display_stage();
}

static bool every(uint32_t* last, uint32_t period) {
    if (zyr.zyr_msecs - *last < period) return false;
    *last = zyr.zyr_msecs;
    return true;
}

static void periodic_work() {
    if (cycle_hooks.page_backup) cycle_hooks.page_backup();
    if (every(&cyc.last_dispatch_ms, 500) && cycle_hooks.command_dispatcher) cycle_hooks.command_dispatcher();
    if (every(&cyc.last_ccsds_ms, 1000) && cycle_hooks.ccsds_service) cycle_hooks.ccsds_service();
    if (every(&cyc.last_memcheck_ms, 3000) && qob_memory_short(0x10000)) zyr_err(16, 2, "", 0, 0, 0);
}

static void due_pass() {
    bool hold = (zyr.SystemFlags & SF_OVERCLOCK) && !(cyc.os_code == 3 && cyc.passes_remaining <= 1);
    if (!hold) cyc.next_due += zyr.loop_msecs;
    if (zyr.SystemFlags & SF_STARTUP_STATUS) {
        zyr.SystemFlags |= SF_PAGE_CHANGED | SF_SERIAL_CHANGED;
        zyr_err(10, 0, "", 0, 0, 0);
        zyr.SystemFlags &= ~SF_STARTUP_STATUS;
    }
    processing_stage();
    if (!(zyr.SystemFlags & SF_FRAME_TIMINGS)) loop_rate_meter();
    cyc.cycle_count++;
    stats_step();
    if (zyr.work_mask & WM_DISPLAY) display_stage();
    beeper_step();
    step_mode_update();
    periodic_work();
}

void cycle_pass() {
    // Flags raised outside the cycle (drawing, dialogs) are not errors of
    // this pass.
    fp_clear();
    clock_update();
    cyc.pass_start_time = zyr.caltime;
    time_monitor();
    if (cycle_hooks.byte_services) cycle_hooks.byte_services();
    if (zyr.zyr_msecs > cyc.next_due) due_pass();
    fp_check();
}
