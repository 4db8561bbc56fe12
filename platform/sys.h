// The operating-system seam that is not windows or drawing: clocks, time
// text, memory and disk figures, directories, starting programs, console
// keys. One POSIX implementation; tests may replace the clock.
#pragma once

#include <cstddef>
#include <cstdint>

// Wall clock in ms since the epoch (seconds * 1000 + ms).
uint64_t plat_wall_ms();

// Calendar seconds since the epoch.
int64_t plat_calendar_time();

// The C library's local date text of t ("Wed Jan  2 02:03:55 1980\n"),
// written to out (at least 26 bytes). Returns 0, or -1 when t cannot be
// converted.
int plat_time_text(int64_t t, char* out, size_t cap);

// A fake clock for tests: when set, plat_wall_ms and plat_calendar_time
// answer from it (calendar = wall_ms / 1000).
void plat_fake_clock_set(uint64_t wall_ms);
void plat_fake_clock_advance(uint64_t ms);
void plat_fake_clock_off();
bool plat_fake_clock_on();

// Memory the system has available (MemAvailable), in bytes.
uint64_t plat_mem_available();
// A test may cap the figure (0 = no cap).
void plat_fake_mem_available(uint64_t bytes);

// Free space of the file system holding path, in KB; -1 when unknown.
int64_t plat_free_disk_kb(const char* path);

// Current directory into out; 0 or -1.
int plat_cwd(char* out, size_t cap);

// Path of the running program's directory into out; 0 or -1.
int plat_exe_dir(char* out, size_t cap);

// Starts a program detached with one argument; 0 or -1.
int plat_start_detached(const char* path, const char* arg);

// Last error number of the system (errno).
int plat_last_error();

// Console keys: a key pending on standard input, and one key read without
// echo (-1 at the end of input). When standard input is not a terminal no key
// is ever pending, and a read takes one byte.
bool plat_key_pending();
int plat_get_key();

// A beep on the console (bell character on standard error).
void plat_console_beep();

// Stop signals (SIGTERM, SIGINT, SIGHUP: a logout, a service stop). After
// plat_catch_stop_signals the first such signal is only noted, and
// plat_stop_signal returns its number (0 until one came); a second signal
// ends the program at once. plat_release_stop_signals restores the defaults.
int plat_catch_stop_signals();
int plat_stop_signal();
void plat_release_stop_signals();
