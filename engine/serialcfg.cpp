// Serial port settings records and the packet period of a port.
#include "engine/serialcfg.h"

#include "core/diagnostics.h"

ComSettings com_settings[COM_PORTS];
int com_input_port;
int com_output_port;

void serial_defaults() {
    for (int i = 0; i < COM_PORTS; i++) com_settings[i] = ComSettings{0, (uint16_t)i, 9600, COM_STOP_1, 3, 0, 8192};
    com_settings[0].flags = COM_DIR_IN;
    com_settings[1].flags = COM_DIR_OUT;
    com_input_port = 0;
    com_output_port = 1;
}

static struct SerialInit {
    SerialInit() { serial_defaults(); }
} g_serial_init;

uint32_t PckMsecsPeriod(const ComSettings* s, int len) {
    if (s->baud == 0) {
        zyr_err(21, 2, "PckMsecsPeriod>1", 3, 0, 0);
        return 0;
    }
    uint64_t bits_per_char = (uint64_t)(s->data & 3) + 5 + (s->stop == COM_STOP_2 ? 2 : 1) +
                             ((s->parity == COM_PARITY_ODD || s->parity == COM_PARITY_EVEN) ? 1 : 0);
    uint64_t bits = bits_per_char * (uint64_t)len;
    uint64_t baud = s->baud == 11520 ? 115200 : s->baud;
    uint64_t ms = bits * 1000 / baud + 1;
    return ms < 1 ? 1 : (uint32_t)ms;
}
