// Reset of the engine and the fake window system on top of the core reset,
// and a fake clock that starts each test at a fixed wall time.
#pragma once

#include "core/packet.h"
#include "core/page.h"
#include "engine/port.h"
#include "core/symtab.h"
#include "engine/cycle.h"
#include "engine/startup.h"
#include "platform/fake/ui_fake.h"
#include "platform/ui.h"
#include "tests/test_support.h"

constexpr uint64_t kTestWallStart = 1700000000000ull;  // 2023-11-14, in ms

inline void reset_engine() {
    page_reset();
    port_reset();
    FreeSymTab();
    packet_reset();
    cycle_reset();
    startup_reset();
    reset_core();
    fake_ui_reset();
    plat_fake_clock_set(kTestWallStart);
}
