// The start state of vantor's window modules for the menu tests: the engine
// reset, every module of the menus reset, a recent file list in place of
// the one start-up allocates, and the menu built as the window builds it.
#pragma once

#include <cstring>

#include "display/commands.h"
#include "display/filecmds.h"
#include "display/grid.h"
#include "display/settings.h"
#include "display/steps.h"
#include "display/switches.h"
#include "engine/input.h"
#include "engine/netcfg.h"
#include "engine/playback.h"
#include "engine/serialcfg.h"
#include "tests/engine_support.h"

inline uint8_t g_test_recent[RECENT_FILES_BYTES];

inline void reset_menus() {
    playback_reset();
    reset_engine();
    input_reset();
    grid_reset();
    netcfg_reset();
    serial_defaults();
    steps_reset();
    switches_reset();
    filecmds_reset();
    commands_reset();
    settings_reset();
    memset(g_test_recent, 0, sizeof g_test_recent);
    startup.recent_files = g_test_recent;
    fake_ui_build_menu(kVantorMenu, kVantorMenuCount);
}

inline void end_menus() {
    playback_reset();
    startup.recent_files = nullptr;
    reset_engine();
    plat_fake_clock_off();
}

// The answers of the prompt dialogs as an operator gives them.
inline void answer_switch(const char* radio) {
    fake_ui_dialog_answer([radio](const FakeDialog& d) {
        d.choose(radio);
        return IDOK;
    });
}
inline void answer_value(const char* text) { fake_ui_dialog_edit("", text); }
