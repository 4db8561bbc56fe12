// The buffered file layer: 256 numbered slots over POSIX descriptors, write
// buffers and read-ahead blocks from the pool; and the byte formats that sit
// on it (zero-run records, raw/ascii/compressed packets, record headers).
#include "core/files.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "core/state.h"
#include "platform/sys.h"

struct FileSlot {
    int fd;              // -1 marks a free slot
    int bufsize;         // write buffer size
    int fill;            // bytes waiting in the write buffer
    uint8_t* buf;        // write buffer (pool)
    char* name;          // copy of the name (pool)
    char mode[5];        // open mode text, first letter r/w/a
    bool eof;
    uint8_t* ra;         // read-ahead block (pool), allocated on first read
    int ra_size;
    int ra_pos;
    int ra_len;
};

static FileSlot g_slots[MAXFILES];
static int g_highest = -1;
static int g_open_count;

static void clear_slot(FileSlot* s) {
    memset(s, 0, sizeof *s);
    s->fd = -1;
    s->ra_size = 1024;
}

static struct FilesInit {
    FilesInit() {
        for (auto& s : g_slots) clear_slot(&s);
    }
} g_files_init;

static FileSlot* slot_of(int slot) {
    if (slot < 0 || slot >= MAXFILES || g_slots[slot].fd < 0) return nullptr;
    return &g_slots[slot];
}

int zyr_fvalid(int slot) {
    if (slot < 0 || slot >= MAXFILES) return -1;
    return g_slots[slot].fd < 0 ? -2 : 0;
}

static int open_flags(char m) {
    switch (m) {
    case 'r': return O_RDONLY;
    case 'w': return O_RDWR | O_CREAT | O_TRUNC;
    case 'a': return O_RDWR | O_CREAT | O_APPEND;
    default: return -1;
    }
}

int zyr_fopen(const char* name, const char* mode, int bufsize) {
    if (!name || !mode) return -1;
    int flags = open_flags(mode[0]);
    if (flags < 0) return -1;
    int slot = 0;
    while (slot < MAXFILES && g_slots[slot].fd >= 0) slot++;
    if (slot == MAXFILES) return -1;
    int fd = open(name, flags | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    FileSlot* s = &g_slots[slot];
    size_t nlen = strlen(name) + 1;
    char* copy = (char*)QOBmalloc(nlen);
    uint8_t* buf = bufsize > 0 ? (uint8_t*)QOBmalloc((size_t)bufsize) : nullptr;
    if (!copy || (bufsize > 0 && !buf)) {
        debug_printf("1:W16+32 QOBmalloc() fail <%s> %ld", name, (long)bufsize);
        QOBfree(copy);
        QOBfree(buf);
        close(fd);
        return -1;
    }
    memcpy(copy, name, nlen);
    clear_slot(s);
    s->fd = fd;
    s->bufsize = bufsize > 0 ? bufsize : 0;
    s->buf = buf;
    s->name = copy;
    snprintf(s->mode, sizeof s->mode, "%s", mode);
    if (slot > g_highest) g_highest = slot;
    g_open_count++;
    return slot;
}

int zyr_fopen_by_name(const char* name) {
    for (int i = 0; i <= g_highest; i++)
        if (g_slots[i].fd >= 0 && strcmp(g_slots[i].name, name) == 0) return 0;
    return -1;
}

static int write_all(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w <= 0) return -1;
        p += w;
        n -= (size_t)w;
    }
    return 0;
}

int zyr_fflush(int slot) {
    FileSlot* s = slot_of(slot);
    if (!s) return -1;
    int rc = 0;
    if (s->fill > 0) rc = write_all(s->fd, s->buf, (size_t)s->fill);
    s->fill = 0;
    return rc;
}

int zyr_fwrite(const void* data, size_t size, size_t count, int slot) {
    FileSlot* s = slot_of(slot);
    if (!s) return -1;
    const uint8_t* p = (const uint8_t*)data;
    size_t n = size * count;
    if (s->bufsize == 0) {
        write_all(s->fd, p, n);
        return (int)count;
    }
    while (n > 0) {
        size_t room = (size_t)(s->bufsize - s->fill);
        size_t take = n < room ? n : room;
        memcpy(s->buf + s->fill, p, take);
        s->fill += (int)take;
        p += take;
        n -= take;
        if (s->fill == s->bufsize) zyr_fflush(slot);
    }
    return (int)count;
}

int zyr_fputs(const char* text, int slot, int convert) {
    if (!slot_of(slot)) return -1;
    size_t n = strlen(text);
    if (convert && n > 0 && text[n - 1] == '\n') {
        zyr_fwrite(text, 1, n - 1, slot);
        return zyr_fwrite("\r\n", 1, 2, slot) < 0 ? -1 : 0;
    }
    return zyr_fwrite(text, 1, n, slot) < 0 ? -1 : 0;
}

int zyr_fprintf(int slot, const char* fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    return zyr_fputs(text, slot, 1);
}

int zyr_fset_readahead(int slot, int size) {
    FileSlot* s = slot_of(slot);
    if (!s || size <= 0 || s->ra) return -1;
    s->ra_size = size;
    return 0;
}

// Fills the read-ahead block; the number of bytes now in it.
static int refill(FileSlot* s) {
    if (!s->ra) {
        s->ra = (uint8_t*)QOBmalloc((size_t)s->ra_size);
        if (!s->ra) return 0;
    }
    ssize_t n = read(s->fd, s->ra, (size_t)s->ra_size);
    s->ra_pos = 0;
    s->ra_len = n > 0 ? (int)n : 0;
    return s->ra_len;
}

int zyr_fgetc(int slot) {
    FileSlot* s = slot_of(slot);
    if (!s) return -1;
    if (s->ra_pos >= s->ra_len && refill(s) == 0) {
        s->eof = true;
        return -1;
    }
    s->eof = false;
    return s->ra[s->ra_pos++];
}

// Reads take what the read-ahead block holds first, so character and block
// reads of one file can be mixed.
int zyr_fread(void* data, size_t size, size_t count, int slot) {
    FileSlot* s = slot_of(slot);
    if (!s) return -1;
    uint8_t* p = (uint8_t*)data;
    size_t want = size * count, got = 0;
    if (s->ra_pos < s->ra_len) {
        size_t have = (size_t)(s->ra_len - s->ra_pos);
        size_t take = want < have ? want : have;
        memcpy(p, s->ra + s->ra_pos, take);
        s->ra_pos += (int)take;
        got = take;
    }
    while (got < want) {
        ssize_t n = read(s->fd, p + got, want - got);
        if (n <= 0) break;
        got += (size_t)n;
    }
    s->eof = got == 0;
    return (int)got;
}

int zyr_feof(int slot) {
    FileSlot* s = slot_of(slot);
    return s ? s->eof : -1;
}

char* zyr_freadline(char* buf, int cap, int slot) {
    if (!slot_of(slot) || cap < 2) return nullptr;
    int n = 0;
    while (n < cap - 1) {
        int c = zyr_fgetc(slot);
        if (c < 0) break;
        buf[n++] = (char)c;
        if (c == '\n') break;
    }
    buf[n] = 0;
    return n > 0 ? buf : nullptr;
}

int zyr_fseek(int slot, long offset) {
    FileSlot* s = slot_of(slot);
    if (!s) return -1;
    zyr_fflush(slot);
    s->ra_pos = s->ra_len = 0;
    s->eof = false;
    return lseek(s->fd, offset, SEEK_SET) < 0 ? -1 : 0;
}

static void release_slot(int slot) {
    FileSlot* s = &g_slots[slot];
    close(s->fd);
    QOBfree(s->name);
    QOBfree(s->buf);
    QOBfree(s->ra);
    clear_slot(s);
    g_open_count--;
    while (g_highest >= 0 && g_slots[g_highest].fd < 0) g_highest--;
}

int zyr_fclose(int slot) {
    FileSlot* s = slot_of(slot);
    if (!s) return -1;
    int rc = 0;
    if (s->mode[0] == 'a' || s->mode[0] == 'w') rc = zyr_fflush(slot);
    release_slot(slot);
    return rc;
}

void zyr_fcloseall() {
    for (int i = g_highest; i >= 0; i--)
        if (g_slots[i].fd >= 0) zyr_fclose(i);
}

// Everything written so far reaches the disk: the descriptor is closed and
// the file opened again (a written file is reopened at its end).
int zyr_fcommit(int slot) {
    FileSlot* s = slot_of(slot);
    if (!s) return -1;
    zyr_fflush(slot);
    off_t pos = lseek(s->fd, 0, SEEK_CUR);
    char m = s->mode[0] == 'r' ? 'r' : 'a';
    fsync(s->fd);
    close(s->fd);
    s->fd = open(s->name, open_flags(m) | O_CLOEXEC, 0644);
    if (s->fd < 0) {
        s->fd = -1;
        QOBfree(s->name);
        QOBfree(s->buf);
        QOBfree(s->ra);
        clear_slot(s);
        g_open_count--;
        return -1;
    }
    if (m == 'r' && pos > 0) lseek(s->fd, pos, SEEK_SET);
    s->mode[0] = m;
    s->mode[1] = 0;
    return 0;
}

int zyr_fexists(const char* name) {
    int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    close(fd);
    return 1;
}

uint32_t zyr_fsize(int slot) {
    FileSlot* s = slot_of(slot);
    struct stat st;
    if (!s || fstat(s->fd, &st) != 0) return 0;
    if ((uint64_t)st.st_size > 0xFFFFFFFFu) return 0x7FFFFFFF;
    return (uint32_t)st.st_size;
}

const char* zyr_fname(int slot) {
    FileSlot* s = slot_of(slot);
    return s ? s->name : nullptr;
}

int zyr_fbuffered(int slot) {
    FileSlot* s = slot_of(slot);
    return s ? s->fill : 0;
}

char zyr_fmode(int slot) {
    FileSlot* s = slot_of(slot);
    return s ? s->mode[0] : 0;
}

int zyr_open_count() { return g_open_count; }

// ---- zero-run encoding -------------------------------------------------

int zero_run_write(const void* data, int len, uint8_t fill, int slot) {
    if (!slot_of(slot) || len < 0 || len > 65535) return -1;
    const uint8_t* p = (const uint8_t*)data;
    uint8_t out[512];
    int n = 0, total = 0;
    for (int i = 0; i < len;) {
        if (p[i] != fill) {
            out[n++] = p[i++];
        } else {
            int k = 1;
            while (i + k < len && p[i + k] == fill && k < 256) k++;
            out[n++] = fill;
            out[n++] = (uint8_t)(k - 1);
            i += k;
        }
        if (n >= (int)sizeof out - 2) {
            zyr_fwrite(out, 1, (size_t)n, slot);
            total += n;
            n = 0;
        }
    }
    zyr_fwrite(out, 1, (size_t)n, slot);
    return total + n;
}

int zero_run_read(void* data, int len, uint8_t fill, int slot) {
    if (!slot_of(slot) || len < 0) return -1;
    uint8_t* p = (uint8_t*)data;
    int n = 0;
    while (n < len) {
        int c = zyr_fgetc(slot);
        if (c < 0) break;
        p[n++] = (uint8_t)c;
        if (c == fill) {
            int k = zyr_fgetc(slot);
            if (k < 0) break;
            if (k > len - n) k = len - n;
            memset(p + n, fill, (size_t)k);
            n += k;
        }
    }
    return n;
}

// ---- packet files ------------------------------------------------------

int raw_packet_write(const uint8_t* pkt, int len, int slot) {
    if (len < 0) return -1;
    return zyr_fwrite(pkt, 1, (size_t)len, slot) < 0 ? -1 : 0;
}

int ascii_packet_write(const uint8_t* pkt, int len, int slot) {
    static const char kHex[] = "0123456789abcdef";
    if (!slot_of(slot) || len < 0) return -1;
    char line[4 + 26 * 3 + 2];
    memcpy(line, "\r\n\r\n", 4);
    int n = 4;
    for (int i = 0; i < len; i++) {
        int col = i % 26;
        if (col > 0) line[n++] = ' ';
        line[n++] = kHex[pkt[i] >> 4];
        line[n++] = kHex[pkt[i] & 15];
        if (col == 25) {
            line[n++] = '\r';
            line[n++] = '\n';
            zyr_fwrite(line, 1, (size_t)n, slot);
            n = 0;
        }
    }
    zyr_fwrite(line, 1, (size_t)n, slot);
    return 0;
}

constexpr int PACKET_IMAGE = 32767;

int compressed_writer_init(CompressedWriter* w) {
    w->image = (uint8_t*)QOBmalloc(PACKET_IMAGE);
    w->scratch = (uint8_t*)QOBmalloc(COMPRESSED_MAX_ENCODED);
    if (!w->image || !w->scratch) {
        compressed_writer_free(w);
        return -1;
    }
    memset(w->image, 0, PACKET_IMAGE);
    return 0;
}

void compressed_writer_clear(CompressedWriter* w) {
    if (w->image) memset(w->image, 0, PACKET_IMAGE);
}

void compressed_writer_free(CompressedWriter* w) {
    QOBfree(w->image);
    QOBfree(w->scratch);
    w->image = nullptr;
    w->scratch = nullptr;
}

int compressed_encode(CompressedWriter* w, const uint8_t* pkt, int len, uint8_t* out) {
    if (len < 0 || len >= 32766 || !w->image) return -1;
    int n = 0;
    for (int i = 0; i < len; i++) {
        if (pkt[i] == w->image[i]) continue;
        if (i < 128) {
            out[n++] = (uint8_t)i;
        } else {
            out[n++] = (uint8_t)(0x80 | (i & 0x7F));
            out[n++] = (uint8_t)(i >> 7);
        }
        out[n++] = pkt[i];
        w->image[i] = pkt[i];
    }
    out[n++] = 0xFF;
    out[n++] = 0xFF;
    return n;
}

int compressed_packet_write(CompressedWriter* w, const uint8_t* pkt, int len, int slot) {
    if (!slot_of(slot)) return -1;
    int n = compressed_encode(w, pkt, len, w->scratch);
    if (n < 0) return -1;
    return zyr_fwrite(w->scratch, 1, (size_t)n, slot) < 0 ? -1 : 0;
}

// ---- record file header and trailer -------------------------------------

static void time_text_no_newline(char* out, size_t cap) {
    char t[32];
    if (plat_time_text(plat_calendar_time(), t, sizeof t) != 0) strcpy(t, "?");
    t[strcspn(t, "\n")] = 0;
    snprintf(out, cap, "%s", t);
}

int WriteZYRFileHdr(int slot, int opening, const char* extra) {
    if (zyr_fvalid(slot) != 0) {
        zyr_err(21, 2, "WriteZYRFileHdr>1", slot, 0, 0);
        return -1;
    }
    char when[40], text[400];
    time_text_no_newline(when, sizeof when);
    snprintf(text, sizeof text,
             opening ? "Filename = %s, Opentime = %s,\r\nClockstart = %lu000 ms\n"
                     : "Filename = %s, Closetime = %s,\r\nClockstop = %lu000 ms\n",
             zyr_fname(slot), when, (unsigned long)zyr.zyr_secs);
    zyr_fputs(text, slot, 1);
    if (extra && *extra) zyr_fputs(extra, slot, 1);
    return 0;
}

int write_record_trailer(int slot) {
    char when[40], text[64];
    time_text_no_newline(when, sizeof when);
    snprintf(text, sizeof text, "Closetime = %s\n", when);
    return zyr_fputs(text, slot, 1);
}

// ---- periodic flushing and the backup step ------------------------------

static uint32_t g_last_flush_secs;
static uint32_t g_last_backup_secs;
static int g_backup_slot;
static uint32_t g_free_disk_kb;

int flush_record_files(const RecordSlots* rs, uint32_t period_secs) {
    if (period_secs == 0) return 0;
    if (period_secs > 86400) period_secs = 86400;
    if (zyr.zyr_secs - g_last_flush_secs <= period_secs) return 0;
    int rc = 0;
    if ((zyr.IoFlags & IO_COMP_RECORD) && zyr_fflush(rs->compressed) != 0) rc = -1;
    if ((zyr.IoFlags & IO_RAW_RECORD) && zyr_fflush(rs->raw) != 0 && rc == 0) rc = -2;
    if ((zyr.IoFlags & IO_ASCII_RECORD) && zyr_fflush(rs->ascii) != 0 && rc == 0) rc = -3;
    g_last_flush_secs = zyr.zyr_secs;
    return rc;
}

static void measure_free_disk() {
    int64_t kb = plat_free_disk_kb(zyr.startdir[0] ? zyr.startdir : ".");
    if (kb < 0)
        g_free_disk_kb = 0x400000;
    else
        g_free_disk_kb = kb > 0xFFFFFFFFLL ? 0xFFFFFFFFu : (uint32_t)kb;
}

uint32_t backup_free_disk_kb() { return g_free_disk_kb; }

int backup_step(uint32_t period_secs) {
    if (zyr.zyr_secs - g_last_backup_secs < period_secs) return 0;
    g_last_backup_secs = zyr.zyr_secs;
    measure_free_disk();
    int committed = 0;
    char m = zyr_fmode(g_backup_slot);
    if ((m == 'w' || m == 'a') && zyr_fbuffered(g_backup_slot) > 0) {
        zyr_fcommit(g_backup_slot);
        committed = 1;
    }
    for (int i = 1; i <= MAXFILES; i++) {
        int next = (g_backup_slot + i) % MAXFILES;
        if (g_slots[next].fd >= 0) {
            g_backup_slot = next;
            break;
        }
    }
    return committed;
}

void files_reset() {
    for (int i = 0; i < MAXFILES; i++)
        if (g_slots[i].fd >= 0) release_slot(i);
    g_highest = -1;
    g_open_count = 0;
    g_last_flush_secs = 0;
    g_last_backup_secs = 0;
    g_backup_slot = 0;
    g_free_disk_kb = 0;
}
