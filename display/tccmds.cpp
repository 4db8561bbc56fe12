// The Echo pkts and Command... switches of the Transfer menu: the echo's
// refusals, and the Command output value dialog that stays open for one
// command after another.
#include "display/tccmds.h"

#include "core/state.h"
#include "display/commands.h"
#include "display/steps.h"
#include "display/switches.h"
#include "engine/echo.h"

constexpr int kCommandOpenStep = 1100;
constexpr int kCommandAnswerStep = 1101;

static int echo_apply(bool on) {
    if (!on) {
        zyr.SystemFlags &= ~SF_ECHO;
        return 0;
    }
    // The on/off dialog closes with its answer, so the refusals come as a
    // box the operator sees.
    if (zyr.SystemFlags & SF_COMMAND_OUT) {
        error_box("Cannot echo data. Switch", "off command output first");
        return 1;
    }
    if (!echo_output_available()) {
        error_box("Cannot echo data, no serial or", "network output port configured.");
        return 1;
    }
    echo_switched_on();
    return 0;
}

// Switching on leaves the bit clear: the Command output dialog opens once
// the on/off dialog has closed.
static int command_apply(bool on) {
    zyr.SystemFlags &= ~SF_COMMAND_OUT;
    if (on) echo.command_open_pending = true;
    return 0;
}

static int command_open() {
    prompt_set(1, "Enter the command data string");
    prompt_set(2, "and press <ENTER> to transmit");
    prompt_set(3, "Press <ESC> to quit");
    steps.current = kCommandAnswerStep;
    return 0;
}

// Every command keeps the dialog open for the next; a good one clears the
// entry.
static int command_answer() {
    if (tc_command(steps.entry) == 0) steps.entry[0] = 0;
    steps.current = kCommandAnswerStep;
    return 1;
}

int tc_step(int id, int* result) {
    if (id == kCommandOpenStep) return *result = command_open(), 1;
    if (id == kCommandAnswerStep) return *result = command_answer(), 1;
    return 0;
}

static void after_switch(int command) {
    if (command != CMD_COMMAND_OUT || !echo.command_open_pending) return;
    echo.command_open_pending = false;
    text_dialog("Command output", kCommandOpenStep, kCommandAnswerStep);
}

// The item is greyed until a handler is known; the switch table runs it.
static void command_item(int) {}

void tccmds_register() {
    switch_hooks.echo = echo_apply;
    switch_hooks.command_output = command_apply;
    switch_hooks.after_switch = after_switch;
    steps_extra_lookup = tc_step;
    command_register(CMD_COMMAND_OUT, command_item);
}
