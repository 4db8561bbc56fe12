// Data echo and telecommand output. The echo copies every accepted packet
// to the network output or, without one, to the serial output port, as raw
// bytes or as hexadecimal text. A telecommand typed by the operator is
// parsed into bytes, handed over in the command file deftc.bin, and sent by
// the dispatcher to the serial or the network output.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int TC_TEXT_MAX = 80;        // characters of a command text
constexpr int TC_BYTES_MAX = 1024;     // bytes of one command
constexpr int TC_WORD_MAX = 35;        // characters of one word
constexpr int TC_LINE_MAX = 1024;      // characters of a line of an @file
constexpr int TC_FILE_BYTES = TC_BYTES_MAX + 2;
constexpr uint32_t TC_DISPATCH_MS = 1000;
constexpr int ASCII_ECHO_PER_LINE = 26;  // bytes per line of the ascii echo

// Statistics of zyr_stats (byte offsets) kept by the echo.
enum : unsigned {
    ST_ECHO_NOT_ECHOED = 344,   // bytes of the last packet that could not be echoed
    ST_ECHO_REFUSED = 348,      // bytes not echoed since the reset
};

struct EchoState {
    uint32_t last_echo_ms;      // pacing of test data
    bool echoed;                // an echo went out since echo was switched on
    bool echo_done;             // the echo of the last packet is done (the input's hold)
    bool marked;                // a packet waits for its echo
    uint32_t last_dispatch_ms;
    bool dispatcher_enabled;    // the built-in dispatcher takes deftc.bin
    bool dispatcher_waiting;    // deftc.bin is left for another dispatcher
    uint8_t command[TC_BYTES_MAX];
    int command_len;
    uint8_t route[2];
    bool command_open_pending;  // the Command output dialog opens next
};
extern EchoState echo;

// The echo stage for the packet in pkt.buf: 0, or a negative code when
// nothing could be sent (-1 no output port).
int echo_packet();
// The ascii echo text of a packet into out: CR LF before bytes 0, 26, 52,
// ..., then two lower-case hex digits and a blank per byte. Its length, or
// -1 when cap is too small.
int echo_ascii_text(const uint8_t* p, int len, char* out, size_t cap);

// The echo has somewhere to go: the serial output port open for output,
// or network output on.
bool echo_output_available();
// Echo on: the switch bit, the per-packet output stage, a fresh echo-done mark.
void echo_switched_on();

// The command parser: route bytes and command bytes from the text. 0, or
// -1 not tc/tcs/tce, -2 bad data (a word that is not a number, a value
// above 255, more than 1024 bytes, an @file that cannot be read).
int tc_parse(const char* text, uint8_t route[2], uint8_t* bytes, int* count);
// One command from the operator: parse, ask, hand over, log. 0, or the
// error code (-1, -2, -5 cancelled while deftc.bin waits, -6 the file).
int tc_command(const char* text);
// The error box text of a parser error ("" for codes without one).
const char* tc_error_text(int code);

// The dispatcher (called by the cycle; acts once every 1000 ms): 0 nothing
// to do or sent, else -1..-8, or -9 for a file of more than 1024 command
// bytes (nothing is sent).
int tc_dispatch();

void echo_register();
void echo_reset();
