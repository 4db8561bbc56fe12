// jornstad: merges two parameter record files line by line in time order.
#pragma once

// The whole tool; returns the exit code after the frame's exit routine.
int jornstad_main(int argc, const char* const* argv);

// Back to the start state.
void jornstad_reset();
