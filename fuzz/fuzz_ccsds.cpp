// CCSDS virtual channel output of any frame under any channel flags.
#include <cstring>

#include "engine/ccsds.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_enter_temp_dir();
    if (size < 3) return 0;
    pkt_layout.desc.flags = PKT_CCSDS | (uint32_t)data[0] << 8 | ((data[1] & 1) ? PF_FECW : 0);
    strcpy(zyr.startdir, ".");
    ccsds_open_files();
    ccsds_frame_output(data + 2, (int)(size - 2));
    ccsds_close_files();
    for (int c = 0; c < CCSDS_CHANNELS; c++) {
        char name[16];
        snprintf(name, sizeof name, "vcdata%d.dat", c);
        remove(name);
    }
    ccsds_reset();
    fuzz_reset_core();
    return 0;
}
