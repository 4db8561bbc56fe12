// Format classification, the data type words, the number scanner and the
// conversions between every pair of types on any text.
#include <cstring>

#include "core/datatypes.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char text[256];
    size_t n = size < sizeof text - 1 ? size : sizeof text - 1;
    memcpy(text, data, n);
    text[n] = 0;
    DtFormat f;
    dt_parse_format(text, &f);
    dt_raw_size(text);
    dt_display_width(text);
    char word[32];
    dt_format_from_word(text, word, sizeof word);
    int64_t v;
    dt_scan_number(text, &v);
    uint8_t bytes[128];
    dt_hexchar_decode(text, bytes, sizeof bytes);
    char value[DT_TEXT_BUF];
    snprintf(value, sizeof value, "%s", text);
    for (int t = 0; t < DT_TYPES; t++) {
        alignas(8) uint8_t cell[DT_TEXT_BUF + 8] = {};
        if (dt_convert(DT_STRING, value, t, cell) != 0) continue;
        for (int u = 0; u < DT_TYPES; u++) {
            alignas(8) uint8_t out[DT_TEXT_BUF + 8];
            dt_convert(t, cell, u, out);
        }
        char shown[128];
        dt_format_value(text, t, cell, shown, sizeof shown);
        dt_format_value("%12.5lf", t, cell, shown, sizeof shown);
    }
    return 0;
}
