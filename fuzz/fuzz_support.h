// Shared set-up of the fuzz targets: each runs in its own temporary
// directory, and every module is put back to its start state after each
// input so that one input can never influence the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/files.h"
#include "core/mempool.h"
#include "core/packet.h"
#include "core/state.h"
#include "tests/packet_support.h"

inline char g_fuzz_dir[32];

inline void fuzz_remove_temp_dir() {
    std::string cmd = std::string("rm -rf '") + g_fuzz_dir + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", g_fuzz_dir);
}

inline void fuzz_enter_temp_dir() {
    if (g_fuzz_dir[0]) return;
    snprintf(g_fuzz_dir, sizeof g_fuzz_dir, "/tmp/zyrfuzz.XXXXXX");
    if (!mkdtemp(g_fuzz_dir) || chdir(g_fuzz_dir) != 0) abort();
    atexit(fuzz_remove_temp_dir);
}

inline void fuzz_write(const char* name, const uint8_t* data, size_t size) {
    FILE* f = fopen(name, "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
}

// Everything back to the start; a block still live after that is a leak.
inline void fuzz_reset_core() {
    packet_reset();
    files_reset();
    diagnostics_reset();
    if (qobmem.mem_alloc_cnt != 0) {
        fprintf(stderr, "pool blocks left: %u\n", qobmem.mem_alloc_cnt);
        abort();
    }
    mempool_reset();
    state_reset();
    remove("debugmsg");
}
