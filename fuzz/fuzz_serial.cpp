// The serial texts from outside: zyrcom.cfg, read as the device map, and
// the settings command of the serial dialog. Every map entry stays a
// terminated path; a command either is refused and changes nothing, or
// leaves a record whose codes are all valid.
#include <algorithm>
#include <cstring>
#include <string>

#include "display/serialdlg.h"
#include "engine/serial.h"
#include "fuzz/fuzz_support.h"

static bool valid_baud(uint16_t b) {
    static const uint16_t kBauds[] = {75,   110,  134,   150,   300,   600,   1200,  1800,  2400, 4800,
                                      7200, 9600, 11520, 14400, 19200, 28800, 38400, 57600};
    for (uint16_t k : kBauds)
        if (k == b) return true;
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_enter_temp_dir();
    fuzz_write("zyrcom.cfg", data, size);
    serial_load_device_map();
    for (int p = 0; p < COM_PORTS; p++)
        if (strnlen(serial_device(p), SERIAL_PATH_MAX) >= SERIAL_PATH_MAX) abort();
    std::string text((const char*)data, size < 300 ? size : 300);
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    serial_defaults();
    ComSettings rec = com_settings[0];
    ComSettings before = rec;
    int port = -1;
    char bad[32];
    int rc = serial_parse_settings(text.c_str(), &port, &rec, bad, sizeof bad);
    if (rc != 0) {
        if (memcmp(&rec, &before, sizeof rec) != 0 || port != -1) abort();
    } else {
        if (rec.data > 3 || (rec.stop != 0 && rec.stop != 4)) abort();
        if (rec.parity != 0 && rec.parity != 8 && rec.parity != 24) abort();
        if (!valid_baud(rec.baud) || port < -1 || port > 3) abort();
    }
    serial_reset();
    fuzz_reset_core();
    return 0;
}
