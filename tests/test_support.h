// Helpers shared by the unit tests: whole-file reads and the reset of the
// core modules, so every test starts from the programs' start state.
#pragma once

#include <cstdio>
#include <string>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/state.h"
#include "platform/sys.h"

inline std::string read_file(const char* name) {
    std::string s;
    FILE* f = fopen(name, "rb");
    if (!f) return s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

inline void write_file(const char* name, const std::string& bytes) {
    FILE* f = fopen(name, "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

inline void reset_core() {
    files_reset();
    diagnostics_reset();
    mempool_reset();
    state_reset();
    plat_fake_mem_available(0);
    remove("debugmsg");
}
