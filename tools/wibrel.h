// wibrel: copies a range of lines of a text file, one line in every n, so
// that header lines can be dropped and long files thinned.
#pragma once

// The whole tool; returns the exit code after the frame's exit routine.
int wibrel_main(int argc, const char* const* argv);
