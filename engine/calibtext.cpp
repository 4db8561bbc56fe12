// Text-making functions of the function table. Each writes the port's
// value text (numeric display types get the number that stands behind the
// text); widths follow the port's display format, at most 80 characters.
#include "engine/calibtext.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/datatypes.h"
#include "core/diagnostics.h"
#include "core/state.h"
#include "engine/calib.h"
#include "engine/input.h"
#include "platform/sys.h"

// The DATA / NO DATA indicator: one blink state for the program.
struct Indicator {
    uint32_t last_ms;        // zyr_msecs of the last recomputation
    bool on;                 // blink phase
    uint32_t last_bytes;     // bytes read at the last on phase with data
    char text[8];
    int colour;
};
static Indicator g_ind;

void calibtext_reset() {
    g_ind = Indicator{};
    strcpy(g_ind.text, "       ");
}

static struct CalibTextInit {
    CalibTextInit() { calibtext_reset(); }
} g_calibtext_init;

// Width of the port's field: its display width, or `fallback` without one.
static int field_width(const ZyrPort* p, int fallback) {
    return std::clamp(p->disp_width > 0 ? p->disp_width : fallback, 1, DT_TEXT_MAX);
}

static void strip_newline(char* s) { s[strcspn(s, "\r\n")] = 0; }

void calib_asciictime(ZyrPort* p) {
    char t[sizeof zyr.asciictime + 1];
    snprintf(t, sizeof t, "%s", zyr.asciictime);
    strip_newline(t);
    port_set_text(p, t, (double)zyr.caltime);
}

// The raw value is a calendar time in seconds, such as the time field of
// the packet header.
void calib_rasciictime(ZyrPort* p) {
    double secs = port_raw_numeric(p);
    char t[64] = "";
    if (plat_time_text((int64_t)secs, t, sizeof t) != 0) t[0] = 0;
    strip_newline(t);
    port_set_text(p, t, secs);
}

void calib_elapsed_time(ZyrPort* p) {
    char t[16];
    elapsed_time_text(t);
    port_set_text(p, t, (double)zyr.zyr_secs);
}

// The raw field as text.
static void raw_text(const ZyrPort* p, char* out) {
    uint8_t raw[DT_TEXT_BUF];
    out[0] = 0;
    if (p->raw_type >= DT_TYPES) return;
    port_raw_value(p, p->cache, raw);
    if (!dt_is_numeric(p->raw_type))
        snprintf(out, DT_TEXT_BUF, "%s", (const char*)raw);
    else
        dt_convert(p->raw_type, raw, DT_STRING, out);
}

// Centred as the status lines are: the spare blank goes to the left.
void calib_centretext(ZyrPort* p) {
    char src[DT_TEXT_BUF], out[DT_TEXT_BUF];
    raw_text(p, src);
    size_t n = strlen(src);
    while (n > 0 && src[n - 1] == ' ') src[--n] = 0;
    centre_text(out, src + strspn(src, " "), field_width(p, STATUS_LINE_LEN));
    port_set_text(p, out, port_raw_numeric(p));
}

// The raw value picks the text: 0 the input "kind description format", 1
// the output likewise, 2 to 7 one field each (input kind, description,
// format, output kind, description, format); any other value the input.
static const size_t kTelmFields[] = {
    offsetof(TelmConfig, in_kind),
    offsetof(TelmConfig, in_desc),
    offsetof(TelmConfig, in_format),
    offsetof(TelmConfig, out_kind),
    offsetof(TelmConfig, out_desc),
    offsetof(TelmConfig, out_format),
};
static_assert(std::size(kTelmFields) == 6);

static const char* telm_field(int i) { return (const char*)&telmconfig + kTelmFields[i]; }

void calib_telmconfig(ZyrPort* p) {
    double n = port_raw_numeric(p);
    char t[DT_TEXT_BUF];
    if (n >= 2 && n <= 7) {
        snprintf(t, sizeof t, "%s", telm_field((int)n - 2));
    } else {
        int first = n == 1 ? 3 : 0;
        snprintf(t, sizeof t, "%s %s %s", telm_field(first), telm_field(first + 1), telm_field(first + 2));
    }
    port_set_text(p, t, n);
}

void calib_hexchartext(ZyrPort* p) {
    char t[3 * DT_HEXCHAR_BYTES];
    dt_hexchar_encode(p->cache, std::clamp(p->raw_width, 0, DT_HEXCHAR_BYTES), t);
    port_set_text(p, t, port_raw_numeric(p));
}

static void bar(char* out, int filled, int width) {
    filled = std::clamp(filled, 0, width);
    memset(out, '#', (size_t)filled);
    memset(out + filled, ' ', (size_t)(width - filled));
    out[width] = 0;
}

// A bar that grows by one mark with each packet and starts again when it
// fills the field: it moves while packets arrive.
void calib_packetbar(ZyrPort* p) {
    char t[DT_TEXT_BUF];
    int w = field_width(p, 10);
    bar(t, (int)(zyr.zyrfr_cnt % (uint32_t)(w + 1)), w);
    port_set_text(p, t, (double)zyr.zyrfr_cnt);
}

// The raw value as a percentage of the field, 0 to 100.
void calib_horizontalbar(ZyrPort* p) {
    char t[DT_TEXT_BUF];
    int w = field_width(p, 10);
    double v = port_raw_numeric(p);
    double pct = std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 100.0);
    bar(t, (int)std::lround(pct * w / 100.0), w);
    port_set_text(p, t, v);
}

// The raw bytes as characters, '.' for those that do not print; a text
// field ends at its terminating zero.
void calib_isprintchar(ZyrPort* p) {
    char t[DT_TEXT_BUF];
    int n = std::clamp(p->raw_width, 0, DT_TEXT_MAX);
    bool text = !dt_is_numeric(p->raw_type);
    int i = 0;
    for (; i < n; i++) {
        uint8_t c = p->cache[i];
        if (text && c == 0) break;
        t[i] = (c >= 0x20 && c < 0x7F) ? (char)c : '.';
    }
    t[i] = 0;
    port_set_text(p, t, port_raw_numeric(p));
}

// Recomputed at most every 500 ms: the phase toggles; in the on phase the
// text says whether bytes arrived since the previous on phase.
void calib_data_indicator(ZyrPort* p) {
    Indicator& d = g_ind;
    if (zyr.zyr_msecs - d.last_ms >= INDICATOR_MS) {
        d.last_ms = zyr.zyr_msecs;
        d.on = !d.on;
        uint32_t bytes = zyr_stat(ST_BYTES_READ);
        if (!d.on) {
            d.text[0] = 0;
            d.colour = COLOUR_NORMAL;
        } else if (bytes == d.last_bytes) {
            strcpy(d.text, "NO DATA");
            d.colour = COLOUR_NO_DATA;
        } else {
            strcpy(d.text, "DATA");
            d.colour = COLOUR_DATA;
            d.last_bytes = bytes;
        }
    }
    p->colour_state = d.colour;
    port_set_text(p, d.text, d.colour == COLOUR_DATA ? 1.0 : 0.0);
}
