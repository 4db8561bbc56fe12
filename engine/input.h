// vantor's input sources: exactly one is on at a time. The conflict
// question, switching a source off, the dispatcher that asks the current
// source for the next packet each pass, the test data generator, the input
// timeout check and the texts that describe input and output.
#pragma once

#include <cstdint>

enum InputCode {
    SRC_NONE = 0,
    SRC_TEST = 1,
    SRC_USER_BYTE = 2,
    SRC_USER_PACKET = 3,
    SRC_RAW = 4,
    SRC_COMPRESSED = 5,
    SRC_ASCII = 6,
    SRC_SERIAL = 7,
    SRC_NETWORK = 8,
};

constexpr uint32_t IO_INPUT_MASK = 0x284EA;
constexpr uint32_t IO_OTHER_INPUTS = 0x4EA;  // test data, user input, playback

struct InputSourceInfo {
    int code;
    uint32_t bit;
    const char* short_name;    // in prompts
    const char* conflict;      // in the conflict question
};
extern const InputSourceInfo kInputSources[8];

// The code of the first source that is on, not counting the bit excluded;
// prompt (when given, 32 bytes) receives "Error: " and its short name.
int current_input_source(uint32_t excluded, char* prompt);

// Before switching bit on: when another source is on, asks "Data Input";
// No returns the other source's code (bit stays off), Yes switches it off
// and returns 0. 0 when no other source is on.
int input_conflict_check(uint32_t bit);
void input_switch_off(int code);

enum { SERIAL_NO_TIMEOUT = 0, SERIAL_INPUT_TIMEOUT = 1, SERIAL_OUTPUT_TIMEOUT = 2 };

// Later modules: what the serial and network drivers and the echo provide.
struct InputHooks {
    bool (*echo_hold)();              // the previous packet is not echoed yet
    void (*echo_mark)();              // mark the packet for echo
    void (*serial_close_input)();
    void (*network_close_input)();
    int (*serial_timeout_check)();    // SERIAL_*_TIMEOUT
    bool (*network_is_udp)();
    int (*serial_port_number)(bool output);  // 1..4
};
extern InputHooks input_hooks;

// The next packet from the current source into pkt.buf: 0, 1, 3 or 6.
int get_next_packet();

// Test data: the test packet is rebuilt from the description; a packet is
// made each packet period of the serial output port.
void prepare_test_packet();
int test_data_packet();

// The user output hooks: the packet output counts packets and bytes in the
// statistics, the byte output drops every byte.
void user_packet_out(const uint8_t* p, int len);
void user_byte_out(uint8_t byte);

// Input timeout check: 0, or 6 when a port timed out.
int input_timeout_check();

// The telmconfig status record.
struct TelmConfig {
    char in_kind[9];
    char in_desc[33];
    char in_format[9];
    char out_kind[9];
    char out_desc[33];
    char out_format[9];
};
extern TelmConfig telmconfig;
void telmconfig_refresh();

// Installs the dispatcher and the status texts into the cycle.
void input_register();

void input_reset();
