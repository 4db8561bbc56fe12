// The page file format: records as tag + body, each zero-run encoded on its
// own; page file names and their case-blind look-up; rate masks.
#include "core/pagefile.h"

#include <initializer_list>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <strings.h>

#include "core/files.h"
#include "platform/sys.h"

// ---- records -------------------------------------------------------------

int page_record_length(uint32_t tag) {
    switch (tag) {
    case TAG_PORT: return PORT_RECORD_BYTES;
    case TAG_PACKET: return PACKET_RECORD_BYTES;
    case TAG_SYSTEM: return SYSTEM_RECORD_BYTES;
    default: return 0;
    }
}

static int short_record_code(uint32_t tag) {
    switch (tag) {
    case TAG_PACKET: return PAGE_SHORT_PACKET;
    case TAG_SYSTEM: return PAGE_SHORT_SYSTEM;
    default: return PAGE_SHORT_PORT;
    }
}

int page_file_open_read(const char* path) {
    int slot = zyr_fopen(path, "r", 1024);
    if (slot >= 0) zyr_fset_readahead(slot, 2048);
    return slot;
}

// Every way a record can be bad ends here: the tag and the body are decoded
// to exactly their lengths, so a corrupt run never spills into the next
// record or past the body.
// A fixed-size text field of a page file ends within its field, whatever
// the file holds, so that no reader of a record runs past it.
template <size_t N>
static void bound(char (&field)[N]) {
    field[N - 1] = 0;
}

static void bound_cell(ValueCell* c) { c->text[sizeof c->text - 1] = 0; }

void page_bound_texts(uint32_t tag, PageRecordBody* body) {
    if (tag == TAG_PORT) {
        PortRecord& r = body->port;
        bound(r.subcomtag);
        bound(r.units);
        bound(r.title);
        bound(r.mnemonic);
        bound(r.rawformat);
        bound(r.displayformat);
        bound(r.xtitle);
        bound(r.ytitle);
        bound(r.plot_title);
        bound(r.databasekey);
        bound(r.alarm_filename);
        bound(r.filename);
        for (ValueCell* c : {&r.alarm_upper, &r.alarm_lower, &r.filter_upper, &r.filter_lower, &r.subcom_upper,
                             &r.subcom_lower})
            bound_cell(c);
    } else if (tag == TAG_SYSTEM) {
        SystemRecord& r = body->system;
        for (FileEntry& f : r.files) {
            bound(f.filename);
            bound(f.filemode);
            bound(f.format);
        }
        bound(r.net_in.host);
        bound(r.net_out.host);
    }
}

int page_read_record(int slot, PageRecordBody* body) {
    if (zyr_fvalid(slot) != 0 || zyr_fmode(slot) != 'r') return PAGE_NOT_READY;
    uint8_t tagbytes[4];
    int n = zero_run_read(tagbytes, 4, 0, slot);
    if (n < 0) return PAGE_NOT_READY;
    if (n == 0) return PAGE_EOF;
    if (n < 4) return PAGE_UNKNOWN_TAG;
    uint32_t tag;
    memcpy(&tag, tagbytes, 4);
    int len = page_record_length(tag);
    if (len == 0) return PAGE_UNKNOWN_TAG;
    if (zero_run_read(body, len, 0, slot) != len) return short_record_code(tag);
    page_bound_texts(tag, body);
    return (int)tag;
}

int page_write_record(int slot, uint32_t tag, const void* body) {
    int len = page_record_length(tag);
    if (len == 0) return -1;
    int a = zero_run_write(&tag, 4, 0, slot);
    if (a < 0) return -1;
    int b = zero_run_write(body, len, 0, slot);
    return b < 0 ? -1 : a + b;
}

// ---- names ------------------------------------------------------------------

int page_file_path(const char* dir, int page, const char* ext, char* out, size_t cap) {
    if (page < 0 || page > 9999 || !ext || strlen(ext) > 3) return -1;
    char up[4] = {0};
    for (int i = 0; ext[i]; i++) up[i] = (char)toupper((unsigned char)ext[i]);
    int n = (dir && *dir) ? snprintf(out, cap, "%s/PAGE%04d.%s", dir, page, up)
                          : snprintf(out, cap, "PAGE%04d.%s", page, up);
    return (n < 0 || (size_t)n >= cap) ? -1 : 0;
}

// The original platform ignored letter case, so page files copied from it
// may carry any case; an exact match wins, then the first name in byte order.
int page_find_file(const char* path, char* out, size_t cap) {
    if (zyr_fexists(path)) {
        if (strlen(path) >= cap) return -1;
        strcpy(out, path);
        return 0;
    }
    const char* slash = strrchr(path, '/');
    const char* base = slash ? slash + 1 : path;
    char dir[300];
    if (slash) {
        size_t dl = (size_t)(slash - path);
        if (dl >= sizeof dir) return -1;
        memcpy(dir, path, dl);
        dir[dl] = 0;
        if (dl == 0) strcpy(dir, "/");
    } else {
        strcpy(dir, ".");
    }
    DIR* d = opendir(dir);
    if (!d) return -1;
    char best[256] = "";
    while (struct dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, base) != 0) continue;
        if (!best[0] || strcmp(e->d_name, best) < 0) snprintf(best, sizeof best, "%s", e->d_name);
    }
    closedir(d);
    if (!best[0]) return -1;
    int n = slash ? snprintf(out, cap, "%.*s%s", (int)(base - path), path, best) : snprintf(out, cap, "%s", best);
    return (n < 0 || (size_t)n >= cap) ? -1 : 0;
}

// ---- rate masks -------------------------------------------------------------

int rate_mask(int period, int start, uint32_t* mask) {
    uint32_t base;
    switch (period) {
    case 0:
        if (start != 0) return -1;
        *mask = 0;
        return 0;
    case 1: base = 0xFFFFFFFFu; break;
    case 2: base = 0x55555555u; break;
    case 4: base = 0x11111111u; break;
    case 8: base = 0x01010101u; break;
    case 16: base = 0x00010001u; break;
    case 32: base = 0x00000001u; break;
    default: return -1;
    }
    if (start < 1 || start > period) return -1;
    *mask = base << (start - 1);
    return 0;
}

// The six periods are loop time x 1..32; n picks the nearer of the two
// around it, the shorter on a tie.
int rate_every_period(uint64_t n, uint32_t loop_ms) {
    uint64_t loop = loop_ms == 0 ? 1 : loop_ms >= 0x8000000u ? 0x8000000u : loop_ms;
    if (n <= loop) return 1;
    for (int i = 0; i < 5; i++) {
        uint64_t lo = loop << i, hi = loop << (i + 1);
        if (n > lo && n <= hi) return 1 << (n - lo <= hi - n ? i : i + 1);
    }
    return 32;
}

static uint32_t g_rand_state;
static int g_rand_index = -1;
static uint32_t g_rand_value;

void pagefile_reset() {
    g_rand_state = (uint32_t)plat_wall_ms() | 1u;
    g_rand_index = -1;
    g_rand_value = 0;
}

// One random number per port index: both rates of a port start together.
static uint32_t port_random(int port_index) {
    if (port_index != g_rand_index || g_rand_state == 0) {
        if (g_rand_state == 0) g_rand_state = (uint32_t)plat_wall_ms() | 1u;
        uint32_t x = g_rand_state;
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        g_rand_state = x;
        g_rand_index = port_index;
        g_rand_value = x;
    }
    return g_rand_value;
}

static bool two_digits(const char* p, int* v) {
    if (!isdigit((unsigned char)p[0]) || !isdigit((unsigned char)p[1])) return false;
    *v = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

static int rate_fst(const char* t, uint32_t* mask) {
    int f, st;
    if (strlen(t) != 7 || toupper((unsigned char)t[3]) != 'S' || toupper((unsigned char)t[4]) != 'T') return -1;
    if (!two_digits(t + 1, &f) || !two_digits(t + 5, &st)) return -1;
    return rate_mask(f, st, mask);
}

static int rate_every(const char* t, uint32_t loop_ms, int port_index, uint32_t* mask) {
    if (strncasecmp(t, "every", 5) != 0) return -1;
    const char* p = t + 5;
    uint64_t n = 0;
    const char* digits = p;
    while (isdigit((unsigned char)*p)) {
        if (n < (1ull << 40)) n = n * 10 + (uint64_t)(*p - '0');
        p++;
    }
    if (p == digits || strcasecmp(p, "msecs") != 0) return -1;
    int f = rate_every_period(n, loop_ms);
    return rate_mask(f, 1 + (int)(port_random(port_index) % (uint32_t)f), mask);
}

int rate_from_text(const char* text, uint32_t loop_ms, int port_index, uint32_t* mask) {
    if (!text) return -1;
    if (text[0] == 'F' || text[0] == 'f') return rate_fst(text, mask);
    return rate_every(text, loop_ms, port_index, mask);
}

int rate_period(uint32_t mask) {
    if (mask == 0) return 0;
    if (mask == 0xFFFFFFFFu) return 1;
    int low = __builtin_ctz(mask);
    uint32_t rest = low == 31 ? 0 : mask >> (low + 1);
    return rest ? __builtin_ctz(rest) + 1 : 32;
}

void rate_to_text(uint32_t mask, char* out) {
    int period = rate_period(mask);
    int start = period ? __builtin_ctz(mask) + 1 : 0;
    const char text[8] = {'F', char('0' + period / 10), char('0' + period % 10), 'S', 'T',
                          char('0' + start / 10), char('0' + start % 10), 0};
    memcpy(out, text, sizeof text);   // "F%02dST%02d"; both numbers are 0..32
}
