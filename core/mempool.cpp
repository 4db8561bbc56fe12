// The accounted memory pool. Blocks come from malloc; the table of live
// blocks, the counters, the 16 KB reserve and every refusal message are the
// pool's own, so the figures at exit are true.
#include "core/mempool.h"

#include <iterator>

#include <cstdlib>
#include <cstring>

#include "core/diagnostics.h"
#include "platform/sys.h"

QobMem qobmem;

static void** g_addr;       // block addresses; null marks a free entry
static void** g_handle;     // platform handles (the address itself here)
static uint32_t* g_size;    // requested sizes
static int g_fail_nth;      // tests: fail the nth platform allocation

// Where each live address sits in the block table, so a free finds its
// entry at once: open addressing over twice the table's size, each slot the
// entry index + 1 (0 empty), removals shifting later slots back.
constexpr uint32_t kIndexSlots = 32768;
static uint16_t g_index[kIndexSlots];

static uint32_t index_home(const void* p) {
    uint64_t v = (uint64_t)(uintptr_t)p;
    v ^= v >> 33;
    v *= 0xff51afd7ed558ccdULL;
    v ^= v >> 33;
    return (uint32_t)v & (kIndexSlots - 1);
}

static void index_insert(const void* p, uint32_t entry) {
    uint32_t i = index_home(p);
    while (g_index[i]) i = (i + 1) & (kIndexSlots - 1);
    g_index[i] = (uint16_t)(entry + 1);
}

// The slot of p, or -1.
static int index_find(const void* p) {
    for (uint32_t i = index_home(p);; i = (i + 1) & (kIndexSlots - 1)) {
        if (!g_index[i]) return -1;
        if (g_addr[g_index[i] - 1] == p) return (int)i;
    }
}

static void index_remove(uint32_t hole) {
    g_index[hole] = 0;
    for (uint32_t i = (hole + 1) & (kIndexSlots - 1); g_index[i]; i = (i + 1) & (kIndexSlots - 1)) {
        uint32_t home = index_home(g_addr[g_index[i] - 1]);
        // Move the slot back when its home does not lie between the hole and it.
        if (((i - home) & (kIndexSlots - 1)) >= ((i - hole) & (kIndexSlots - 1))) {
            g_index[hole] = g_index[i];
            g_index[i] = 0;
            hole = i;
        }
    }
}

static constexpr uint32_t kReserve = 16384;

static void start_counters() {
    memset(&qobmem, 0, sizeof qobmem);
    qobmem.free_entries = QOB_TABLE_ENTRIES;
    qobmem.available = 999999;
    qobmem.requested = 99999;
}

static struct PoolInit {
    PoolInit() { start_counters(); }
} g_pool_init;

static void* platform_alloc(size_t size) {
    if (g_fail_nth > 0 && --g_fail_nth == 0) return nullptr;
    return malloc(size ? size : 1);
}

void qob_fail_platform_alloc(int nth) { g_fail_nth = nth; }

static uint32_t clamp32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)v; }

static void refresh_available() {
    qobmem.available = clamp32(plat_mem_available());
    qobmem.requested = 0;
}

bool qob_tables_exist() { return g_addr != nullptr; }

int alloc_table_space() {
    void** a = (void**)platform_alloc(QOB_TABLE_ENTRIES * sizeof(void*));
    if (!a) {
        debug_err_line("alloc_table_space -1", 36);
        return -1;
    }
    void** h = (void**)platform_alloc(QOB_TABLE_ENTRIES * sizeof(void*));
    if (!h) {
        free(a);
        debug_err_line("alloc_table_space -3", 36);
        return -3;
    }
    uint32_t* s = (uint32_t*)platform_alloc(QOB_TABLE_ENTRIES * sizeof(uint32_t));
    if (!s) {
        free(a);
        free(h);
        debug_err_line("alloc_table_space -5", 36);
        return -5;
    }
    memset(a, 0, QOB_TABLE_ENTRIES * sizeof(void*));
    memset(h, 0, QOB_TABLE_ENTRIES * sizeof(void*));
    memset(s, 0, QOB_TABLE_ENTRIES * sizeof(uint32_t));
    memset(g_index, 0, sizeof g_index);
    g_addr = a;
    g_handle = h;
    g_size = s;
    return 0;
}

int init_qobmem_sys() {
    if (g_addr) return -4;
    refresh_available();
    uint32_t avail = qobmem.available;
    const uint32_t need = 81920;  // the three tables as the pool counts them
    if (avail < need || ((avail - need) & ~1023u) < kReserve) {
        debug_err_line("QOBmalloc", 35);
        return -1;
    }
    int rc = alloc_table_space();
    if (rc != 0) return rc;
    qobmem.free_entries = QOB_TABLE_ENTRIES;
    qobmem.next_entry = 0;
    return 0;
}

int exit_qobmem_sys() {
    if (!g_addr) return -1;
    free(g_addr);
    free(g_handle);
    free(g_size);
    g_addr = nullptr;
    g_handle = nullptr;
    g_size = nullptr;
    return 0;
}

static void* platform_block(size_t size) {
    if (qobmem.free_entries == 0) {
        debug_err_line("W16GlobalAlloc", 37);
        return nullptr;
    }
    void* p = platform_alloc(size);
    if (!p) {
        debug_err_line("W16Alloc GlobalAlloc", 36);
        return nullptr;
    }
    uint32_t e = qobmem.next_entry;
    g_handle[e] = p;
    g_addr[e] = p;
    g_size[e] = (uint32_t)size;
    index_insert(p, e);
    qobmem.total_allocated += (uint32_t)size;
    if (qobmem.total_allocated > qobmem.peak_allocated) qobmem.peak_allocated = qobmem.total_allocated;
    qobmem.free_entries--;
    if (qobmem.free_entries > 0) {
        for (int i = 0; i < QOB_TABLE_ENTRIES; i++) {
            e = (e + 1) % QOB_TABLE_ENTRIES;
            if (!g_handle[e]) break;
        }
        qobmem.next_entry = e;
    }
    return p;
}

void* QOBmalloc(size_t size) {
    if (!g_addr) {
        int rc = init_qobmem_sys();
        if (rc != 0) {
            debug_printf("!! QOBmalloc() init_qobmem_sys() fail %d", rc);
            return nullptr;
        }
    }
    if (size > 0xFFFFFFFFu || qobmem.available < size) {
        debug_err_line("QOBmalloc", 35);
        return nullptr;
    }
    if (((qobmem.available - (uint32_t)size) & ~1023u) < kReserve) return nullptr;
    void* p = platform_block(size);
    if (!p) return nullptr;
    qobmem.mem_alloc_cnt++;
    qobmem.requested += (uint32_t)size;
    if (qobmem.requested > 4096) refresh_available();
    return p;
}

// Index of the entry holding address; -1 when it is not there.
static int find_entry(void* address) {
    if (!g_addr) return -1;
    int slot = index_find(address);
    return slot < 0 ? -1 : g_index[slot] - 1;
}

int QOBfree(void* address) {
    if (!address) return 0;
    int e = find_entry(address);
    if (e < 0) {
        refresh_available();
        debug_printf("!! QOBFree: GlobalFree() fail %d mem_alloc_cnt %d\n", (int)qobmem.free_entries,
                     (int)qobmem.mem_alloc_cnt);
        return -1;
    }
    index_remove((uint32_t)index_find(address));
    free(g_handle[e]);
    uint32_t size = g_size[e];
    g_handle[e] = nullptr;
    g_addr[e] = nullptr;
    g_size[e] = 0;
    qobmem.next_entry = (uint32_t)e;
    qobmem.free_entries++;
    if (qobmem.total_allocated < size)
        debug_printf("W16GlobalFree() total_qobmalloc %lu - %lu < 0 !!", (unsigned long)qobmem.total_allocated,
                     (unsigned long)size);
    else
        qobmem.total_allocated -= size;
    refresh_available();
    qobmem.mem_alloc_cnt--;
    if (qobmem.mem_alloc_cnt == 0) {
        int rc = exit_qobmem_sys();
        if (rc != 0) {
            debug_printf("!! QOBfree() exit_qobmem_sys() fail %d", rc);
            return -3;
        }
    }
    return 0;
}

void* qob_checked_malloc(size_t size) {
    void* p = QOBmalloc(size);
    if (!p) zyr_err(17, 2, "Req'd vs actual (Kb)>2", (int32_t)(size >> 10), (int32_t)(qobmem.available >> 10), 0);
    return p;
}

int qob_checked_free(void* address) { return address ? QOBfree(address) : -1; }

int QOBfree_allmem() {
    for (int e = 0; g_addr && e < QOB_TABLE_ENTRIES; e++)
        if (g_addr[e]) QOBfree(g_addr[e]);
    return (int)qobmem.mem_alloc_cnt;
}

bool qob_memory_short(size_t size) {
    refresh_available();
    return qobmem.available < size;
}

void qob_count_pen(int delta) { qobmem.qob_pen_count += delta; }
void qob_count_brush(int delta) { qobmem.qob_brush_count += delta; }
void qob_count_rgn(int delta) { qobmem.qob_rgn_count += delta; }

// ---- pens and brushes ---------------------------------------------------------------

static const QobDrawOps* g_draw_ops;

void qob_set_draw_ops(const QobDrawOps* ops) { g_draw_ops = ops; }

struct DrawKind {
    const char* create1;
    const char* create2;
    const char* delete1;
    const char* delete2;
    void (*count)(int delta);
};
static const DrawKind kDrawKinds[] = {
    {"QOBCreatePenObject 1", "QOBCreatePenObject 2", "QOBDeletePenObject 1", "QOBDeletePenObject 2", qob_count_pen},
    {"QOBCreateBrushObject 1", "QOBCreateBrushObject 2", "QOBDeleteBrushObject 1", "QOBDeleteBrushObject 2",
     qob_count_brush},
};
static_assert(std::size(kDrawKinds) == 2);

static int delete_object(int kind, QobObjectSlot* s) {
    if (!s || !s->obj) return 0;
    const DrawKind& k = kDrawKinds[kind];
    int rc = 0;
    void* replaced = nullptr;
    if (!g_draw_ops || g_draw_ops->select(kind, s->previous, &replaced) != 0) {
        debug_err_line(k.delete1, 26);
        rc = -1;
    }
    if (!g_draw_ops || g_draw_ops->destroy(kind, s->obj) != 0) {
        debug_err_line(k.delete2, 26);
        rc = -2;  // still alive: it stays counted
    } else {
        k.count(-1);
    }
    s->obj = s->previous = nullptr;
    return rc;
}

static int create_object(int kind, QobObjectSlot* s, uint32_t rgb) {
    const DrawKind& k = kDrawKinds[kind];
    delete_object(kind, s);
    void* o = g_draw_ops && g_draw_ops->create ? g_draw_ops->create(kind, rgb) : nullptr;
    if (!o) {
        debug_err_line(k.create1, 15);
        return -2;
    }
    k.count(1);
    void* previous = nullptr;
    if (g_draw_ops->select(kind, o, &previous) != 0) {
        debug_err_line(k.create2, 16);
        if (g_draw_ops->destroy(kind, o) == 0) k.count(-1);
        return -3;
    }
    s->obj = o;
    s->previous = previous;
    return 0;
}

int QOBCreatePenObject(QobObjectSlot* slot, uint32_t rgb) { return create_object(QOB_PEN, slot, rgb); }
int QOBCreateBrushObject(QobObjectSlot* slot, uint32_t rgb) { return create_object(QOB_BRUSH, slot, rgb); }
int QOBDeletePenObject(QobObjectSlot* slot) { return delete_object(QOB_PEN, slot); }
int QOBDeleteBrushObject(QobObjectSlot* slot) { return delete_object(QOB_BRUSH, slot); }

int qob_leak_report() {
    int beeps = 0;
    if (qobmem.mem_alloc_cnt) {
        debug_printf("!! mem_alloc_cnt = %d", (int)qobmem.mem_alloc_cnt);
        beeps += 5;
    }
    if (qobmem.qob_pen_count) {
        debug_printf("!! qob_pen_count = %d", qobmem.qob_pen_count);
        beeps += 6;
    }
    if (qobmem.qob_rgn_count) {
        debug_printf("!! qob_rgn_count = %d", qobmem.qob_rgn_count);
        beeps += 6;
    }
    if (qobmem.qob_brush_count) {
        debug_printf("!! qob_brush_count = %d", qobmem.qob_brush_count);
        beeps += 6;
    }
    return beeps;
}

void mempool_reset() {
    if (g_addr) {
        for (int e = 0; e < QOB_TABLE_ENTRIES; e++)
            if (g_handle[e]) free(g_handle[e]);
        exit_qobmem_sys();
    }
    g_fail_nth = 0;
    g_draw_ops = nullptr;
    start_counters();
}
