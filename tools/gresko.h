// gresko: turns any file into packets of the page file's packet format.
#pragma once

// File bytes in a variable-length packet.
constexpr int GRESKO_VAR_DATA = 2048;

// The whole tool; returns the exit code after the frame's exit routine.
int gresko_main(int argc, const char* const* argv);

// Back to the start state.
void gresko_reset();
