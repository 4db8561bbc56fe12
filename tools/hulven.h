// hulven: turns the packets that gresko made back into the original file.
#pragma once

// The whole tool; returns the exit code after the frame's exit routine.
int hulven_main(int argc, const char* const* argv);

// Back to the start state.
void hulven_reset();
