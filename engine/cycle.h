// The processing cycle of vantor: the 10 ms tick, the passes it runs, the
// clock and its time-jump monitor, the loop-rate meter and frame timings,
// the once-per-second statistics, the task monitor, the beeper and step
// mode.
#pragma once

#include <cstdint>

constexpr uint32_t LOOP_MSECS_MAX = 4096000;
constexpr int MAX_ATTEMPTS_PER_PASS = 50;
constexpr int FRAME_SLOTS = 32;
constexpr int FRAME_SAMPLES = 25;

// The stages that later modules of vantor plug in. A null hook is a stage
// that does nothing yet.
struct CycleHooks {
    void (*byte_services)();        // serial and network rings (drivers)
    void (*get_next_packet)();      // input dispatch: may raise zyrfr_cnt
    bool (*packet_filter)();        // true when the packet is accepted
    void (*mark_echo_only)();       // a rejected packet while echo is on
    void (*packet_outputs)();       // echo, user packet output, record files
    void (*input_timeout)();        // "0006 No incoming data, timeout"
    void (*display_stage)();        // evaluate and draw the current page
    void (*loop_time_changed)();    // evaluation: settle the port masks again
    void (*page_backup)();          // periodic page backup
    void (*command_dispatcher)();   // every 500 ms
    void (*ccsds_service)();        // every 1000 ms
    void (*status_texts)();         // input and output texts, once a second
    int (*plot_pair_check)();       // 0, or 3..7 for a broken plot pair
};
extern CycleHooks cycle_hooks;

struct CycleState {
    int os_code;                    // 3 on the NT family (always here), else 2
    uint64_t clock_base_ms;         // wall clock at start
    uint32_t last_secs;             // zyr_secs of the last clock update
    int64_t pass_start_time;        // calendar time at the start of the pass
    uint32_t next_due;
    uint32_t passes_remaining;
    uint32_t last_tick_time;
    uint32_t last_tick_interval;
    uint32_t cycle_count;
    uint32_t last_fr_cnt;           // packet count at the last attempt
    bool accepted;                  // this pass's packet passed the filter
    // loop-rate meter
    uint32_t lr_count;
    uint32_t lr_time;
    uint32_t meanallfr_usecs;
    // time monitor
    bool tm_first;
    int64_t tm_prev_caltime;
    uint32_t tm_prev_msecs;
    uint32_t tm_prev_next_due;
    // frame timings
    int ft_page;                    // page being timed, -1 none
    int ft_file;                    // frtiming.txt slot, -1 closed
    uint32_t ft_last_call;
    uint64_t ft_sum[FRAME_SLOTS + 1];  // ms; 64 bits: long loop times overflow 32
    int ft_samples[FRAME_SLOTS + 1];
    bool ft_reported[FRAME_SLOTS + 1];
    int ft_reported_count;
    uint64_t ft_total;
    int ft_retry;
    uint32_t meanfr_usecs[FRAME_SLOTS + 1];
    // step mode, beeper, holds
    uint32_t step_count;            // pending steps
    bool operator_step;             // the operator's step request
    int beep_requests;              // alarms with the beep option
    int stop_requests;              // alarms with the stop option
    bool beeper_phase;
    uint32_t beeper_time;
    // periodic work
    uint32_t last_stats_ms;
    uint32_t last_status_ms;        // last code-10 call of the display stage
    uint32_t last_dispatch_ms;
    uint32_t last_ccsds_ms;
    uint32_t last_memcheck_ms;
    // statistics
    int task_calls;
    int task_last;
    uint32_t stats_reset_secs;
    uint32_t prev_bytes_read, prev_bytes_sent, prev_packets, prev_sent_packets, prev_changes;
    uint32_t value_changes;         // raised by the evaluation
    int current_page;               // page shown (-1 none)
};
extern CycleState cyc;

// Start the clock: zyr_msecs counts from now.
void clock_start();
// One clock update (pass step 1).
void clock_update();

// Loop time: 0 becomes 1, above 4096000 becomes 4096000; the next pass is
// due at once.
void cycle_set_loop_time(uint32_t msecs);
// "+" halves and "-" doubles the loop time; false when refused.
bool cycle_loop_key(char key);

// Passes the next tick runs.
uint32_t cycle_passes_for_tick();
// The window timer's procedure.
void zyr_tick();
// One pass.
void cycle_pass();

// Time monitor: 0, 2 backward jump, 3 forward jump.
int time_monitor();
void loop_rate_meter();
void frame_timings(int page);
void frame_timings_off();
void stats_step();
int task_monitor();
void beeper_step();
void step_mode_update();

// The operator's step mode (Escape) and one step (Return).
void cycle_step_mode(bool on);
void cycle_single_step();

void cycle_reset();
