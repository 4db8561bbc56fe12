// The on/off switches and the values of vantor's menus, as two tables: for
// a switch its prompt, word, bit and step pair and what follows a change;
// for a value its prompt lines, bounds and what is applied.
#pragma once

#include <cstdint>

struct SwitchRow {
    int command;
    const char* title;          // the dialog title
    const char* prompt;         // prompt line 1 before "ON:" / "OFF:"
    uint32_t* word;             // the switch word
    uint32_t bit;
    int open_step, answer_step;
    // Before switching on: 0 to go on, non-zero refuses (null: no check).
    int (*before_on)();
    // Applies the answer instead of flipping the bit (null: the bit flips):
    // 0 done, non-zero refused.
    int (*apply)(bool on);
    void (*after)(bool on);     // after a change (null: nothing more)
};

struct ValueRow {
    int command;
    const char* title;
    const char* line1;
    const char* line2;          // "%lu" of the current setting
    uint32_t lo, hi;
    int open_step, answer_step;
    uint32_t (*current)();      // the setting now, in the prompt's unit
    int (*apply)(uint32_t v);   // 0 applied, non-zero kept the old value
};

const SwitchRow* switch_row(int command);
const ValueRow* value_row(int command);
int switch_count();
int value_count();
const SwitchRow* switch_at(int i);
const ValueRow* value_at(int i);

// Runs the on/off dialog of a switch command, or the value dialog of a
// value command. 1 when something changed.
int switch_command(int command);
int value_command(int command);

// The step numbers of the two tables (the step machine asks): 1 with the
// step's result in *result when id is one of them, else 0.
int switch_step(int id, int* result);

// What later modules decide for their switches (null: the item is greyed).
struct SwitchHooks {
    int (*echo)(bool on);             // Echo pkts: 0 applied, else refused
    int (*command_output)(bool on);   // Command...: 0 applied, else refused
    void (*clear_plots)();            // the page's plots cleared
    void (*serial_reopen_all)();      // after a serial buffer size change
    bool (*serial_open)();            // a serial port is open for I/O
    void (*after_switch)(int command);  // an on/off dialog has closed
};
extern SwitchHooks switch_hooks;

// The system settings are marked changed by every applied switch and value.
void settings_changed();

void switches_reset();
