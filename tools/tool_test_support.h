// Shared by the tool tests: runs a tool's entry function in the test's
// directory with its console captured and the keyboard scripted, and checks
// that the exit routine left no file open and no pool block alive.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/files.h"
#include "core/mempool.h"
#include "tests/test_support.h"
#include "tools/frame.h"

// The scripted keyboard: keys read in order (-1 once used up), and the
// key_pending call on which a key becomes pending (0: never).
struct ScriptedKeys {
    std::string keys;
    int pending_at;
    int pending_calls;
};
inline ScriptedKeys scripted_keys;

inline bool scripted_key_pending() {
    return ++scripted_keys.pending_calls == scripted_keys.pending_at;
}

inline int scripted_get_key() {
    if (scripted_keys.keys.empty()) return -1;
    int k = (unsigned char)scripted_keys.keys[0];
    scripted_keys.keys.erase(0, 1);
    return k;
}

// Start state for a tool test: core modules, frame, keyboard.
inline void reset_tool_test() {
    reset_core();
    frame_reset();
    scripted_keys = ScriptedKeys{};
    frame_hooks.key_pending = scripted_key_pending;
    frame_hooks.get_key = scripted_get_key;
}

struct ToolResult {
    int code;
    std::string console;
};

// Runs entry(argc, argv) with argv[0] = "tool" and the console in a file.
inline ToolResult run_tool(int (*entry)(int, const char* const*), const std::vector<std::string>& args) {
    std::vector<const char*> argv = {"tool"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    FILE* con = tmpfile();
    frame.con = con;
    ToolResult r;
    r.code = entry((int)argv.size(), argv.data());
    fflush(con);
    rewind(con);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, con)) > 0) r.console.append(buf, n);
    fclose(con);
    frame.con = stdout;
    EXPECT_EQ(zyr_open_count(), 0) << "files left open";
    EXPECT_EQ(qobmem.mem_alloc_cnt, 0u) << "pool blocks left";
    return r;
}

// Deterministic bytes that hold no digit, so no line of them can be read
// as a number; line feeds and NULs appear among them.
inline std::string garbage_without_digits(size_t n) {
    std::string s;
    uint32_t x = 12345;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245u + 12345u;
        char c = (char)(x >> 24);
        if (c >= '0' && c <= '9') c = 'x';
        s += c;
    }
    return s;
}
