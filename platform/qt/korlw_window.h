// korlw's Qt window: the message window with its levels, the File menu
// (Compile, Reverse, Exit), About, the accelerators, the file dialog and the
// About and Quit boxes. The logic behind it is compiler/korlw.
#pragma once

// Creates the application and the window, runs the message loop and exits
// through korlw_exit. Returns the program's exit code.
int korlw_run_window(int argc, char** argv);
