// voxmera: reduces and converts packet files (raw, ascii, compressed).
#pragma once

// The whole tool; returns the exit code after the frame's exit routine.
int voxmera_main(int argc, const char* const* argv);

// Back to the start state.
void voxmera_reset();
