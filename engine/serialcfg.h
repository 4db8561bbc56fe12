// The settings records of the four serial ports and which port is the
// serial input and which the serial output port. The driver, the settings
// dialog, page 0 and the test data generator read them.
#pragma once

#include <cstdint>

constexpr int COM_PORTS = 4;

enum : uint32_t {
    COM_DIR_IN = 0x01,
    COM_DIR_OUT = 0x02,
    COM_OPEN_IN = 0x08,
    COM_OPEN_OUT = 0x10,
    COM_OUT_ACTIVE = 0x20,
    COM_IN_ACTIVE = 0x40,
};

// Codes of a UART line control register.
enum : uint16_t {
    COM_STOP_1 = 0,
    COM_STOP_2 = 4,
    COM_PARITY_NONE = 0,
    COM_PARITY_ODD = 8,
    COM_PARITY_EVEN = 24,
};

struct ComSettings {
    uint32_t flags;
    uint16_t port;       // 0..3 for COM1..COM4
    uint16_t baud;       // 115200 is stored as 11520
    uint16_t stop;       // COM_STOP_*
    uint16_t data;       // data bits - 5
    uint16_t parity;     // COM_PARITY_*
    uint16_t bufsize;    // ring size in bytes
};

extern ComSettings com_settings[COM_PORTS];
extern int com_input_port;     // index of the serial input port, -1 none
extern int com_output_port;    // index of the serial output port, -1 none

// Every record to 9600 baud, 8 data bits, 1 stop bit, no parity, 8192-byte
// rings; COM1 the input, COM2 the output port.
void serial_defaults();

// Milliseconds one packet of len bytes takes on the port: bits per
// character (data + stop + parity, no start bit) times len, at the baud
// rate, plus 1; at least 1. A baud of 0 is reported and gives 0.
uint32_t PckMsecsPeriod(const ComSettings* s, int len);
