// limsador: turns a text file of numeric columns into packets.
#pragma once

#include <cstdint>

// The longest line converted; a longer one is skipped whole.
constexpr int LIMSADOR_LINE = 65536;

// What a line holds.
enum : int {
    LIMS_OK = 0,
    LIMS_BAD_CHAR = 1,      // a word with a character no number has
    LIMS_BAD_NUMBER = 2,    // a word that is not a number a single can hold
};

// Splits a line into words separated by white space and reads each as a
// single-precision number, storing the first max of them little-endian at
// values (4 bytes each). *columns gets the number of words. LIMS_*.
int limsador_parse(char* line, uint8_t* values, int max, int* columns);

// The length of the packets written: the fixed length, or 128 bytes for a
// variable-length format.
int limsador_packet_length();

// The whole tool; returns the exit code after the frame's exit routine.
int limsador_main(int argc, const char* const* argv);

// Back to the start state.
void limsador_reset();
