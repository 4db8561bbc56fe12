// Loading any page file: records, tags, zero-run pairs, the port builder,
// and the value-port frames made from what the records hold.
#include "core/page.h"
#include "display/grid.h"
#include "display/ports.h"
#include "display/vport.h"
#include "engine/port.h"
#include "fuzz/fuzz_support.h"
#include "platform/fake/canvas_fake.h"

// Every port of the table gets its frame, as the first evaluation of the
// page gives it.
static void frame_every_port() {
    for (int i = 0; i < pages.next_index; i++)
        if (PortHead* p = page_port(i)) display_create_port((ZyrPort*)p);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_enter_temp_dir();
    if (packet_init() != 0) abort();
    port_register();
    display_ports_register();
    fake_canvas_reset();
    grid_init(0, 0);
    if (grid_alloc_shadow() != 0) abort();
    fuzz_write("PAGE0010.BIN", data, size);
    page_load(10);
    frame_every_port();
    if (size > 0 && (data[0] & 1)) page_load(10);  // a second load replaces the first
    vport_reset();
    page_free_all();
    page_reset();
    port_reset();
    grid_reset();
    fuzz_reset_core();
    return 0;
}
