// Loading any page file: records, tags, zero-run pairs, the port builder.
#include "core/page.h"
#include "engine/port.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_enter_temp_dir();
    if (packet_init() != 0) abort();
    port_register();
    fuzz_write("PAGE0010.BIN", data, size);
    page_load(10);
    if (size > 0 && (data[0] & 1)) page_load(10);  // a second load replaces the first
    page_free_all();
    page_reset();
    port_reset();
    fuzz_reset_core();
    return 0;
}
