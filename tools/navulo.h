// navulo: expands the error file zyrerr.txt into readable lines.
#pragma once

// The whole tool; returns the exit code after the frame's exit routine.
int navulo_main(int argc, const char* const* argv);

// Back to the start state.
void navulo_reset();
