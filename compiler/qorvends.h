// qorvends: the console batch checker. Compiles a range of pages in one
// run, all diagnostics to qorvends.lst and to the console, with the error
// numbering and the limit of 25 shown errors running over the whole run.
#pragma once

#include <cstdio>

// Exit codes.
enum : int {
    QORVENDS_OK = 0,          // no page had an error
    QORVENDS_ERRORS = 1,      // some page had an error
    QORVENDS_FAILED = 2,      // bad command line, or the listing cannot be created
};

// Reads the optional first and last page (decimal, 0..9999): none gives
// 0..9999, one gives first..9999. 0, or -1 for anything else.
int qorvends_args(int argc, const char* const* argv, int* first, int* last);

// Checks pages first..last in the current directory, writing the console
// text to con. The symbol table must be built. Returns a QORVENDS_* code.
int qorvends_run(int first, int last, FILE* con);

// Back to the start state (console and progress line).
void qorvends_reset();

// The program: arguments, keyword table, run, clean-up. The exit code.
int qorvends_main(int argc, const char* const* argv);
