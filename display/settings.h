// Saving the system settings (page 0) and the system parameters (page
// 9999), the page change question, and the exit sequence of the main
// window. The settings gathered for a save come from the running switch
// words, the cycle, the display, the drivers' settings and the recent file
// list.
#pragma once

// Save settings. at_exit: nothing is asked when nothing changed, and No
// drops the changed marks. Returns IDYES (saved, or an error box shown),
// IDNO, IDCANCEL, or 7 when no memory was left for the path.
int settings_save(bool at_exit);

// The current page changed: "Page Change" asks to save it. 0 to go on (saved
// or dropped), 1 when the operator cancelled or the save failed.
int page_change_question();

// Exit, Alt+Q and the window's close request.
void exit_sequence();

// The start-up directory, where page 0, page 9999 and the help file are.
const char* startup_directory();

// Page hooks for the settings, the network settings as saved, the start-up
// directory.
void settings_register();
// The network settings now are the saved ones.
void settings_mark_saved_network();

void settings_reset();
