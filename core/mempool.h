// The accounted memory pool: every run-time allocation of every program
// comes from QOBmalloc and goes back through QOBfree, so that the counters
// are true and a leak shows at exit. Drawing objects are counted here too.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int QOB_TABLE_ENTRIES = 10240;

// Pool counters (all 32-bit, as kept in the statistics).
struct QobMem {
    uint32_t free_entries;        // block table entries not in use
    uint32_t next_entry;          // where the next block is stored
    uint32_t mem_alloc_cnt;       // live blocks
    uint32_t total_allocated;     // sum of live sizes
    uint32_t peak_allocated;      // highest total_allocated
    uint32_t available;           // last measured available memory (bytes)
    uint32_t requested;           // bytes requested since the last measurement
    int32_t qob_pen_count;
    int32_t qob_brush_count;
    int32_t qob_rgn_count;
};

extern QobMem qobmem;

void* QOBmalloc(size_t size);
// 0; -1 when the address is unknown or could not be freed; -3 when the
// tables could not be released.
int QOBfree(void* address);

// QOBmalloc that reports error 17 ("Req'd vs actual (Kb)>2") on failure.
void* qob_checked_malloc(size_t size);
// -1 for a null address, else QOBfree's result.
int qob_checked_free(void* address);

// Frees every live block; 0 when all went, else the count still live.
int QOBfree_allmem();

// True when the freshly measured available memory is below size.
bool qob_memory_short(size_t size);

// Whether the block table is set up (between the first allocation and the
// free of the last live block).
bool qob_tables_exist();

// Set up and tear down the block table (QOBmalloc and QOBfree call these).
int init_qobmem_sys();
int alloc_table_space();
int exit_qobmem_sys();

// Counted drawing objects: +1 on create, -1 on delete.
void qob_count_pen(int delta);
void qob_count_brush(int delta);
void qob_count_rgn(int delta);

// ---- pens and brushes -------------------------------------------------------
// The drawing objects of the window system are made, selected and deleted
// by its canvas through these operations, so that the pool counts every one
// and the leak report shows a leaked pen or brush. The canvas registers
// them; without them nothing can be created.
enum : int { QOB_PEN = 0, QOB_BRUSH = 1 };
struct QobDrawOps {
    void* (*create)(int kind, uint32_t rgb);              // a solid object; null on failure
    int (*select)(int kind, void* obj, void** previous);   // 0, with the object it replaced
    int (*destroy)(int kind, void* obj);                   // 0
};
void qob_set_draw_ops(const QobDrawOps* ops);

// The caller's slot of one pen or brush: the object and the one it replaced.
struct QobObjectSlot {
    void* obj;
    void* previous;
};

// Creates a pen (a brush) of colour 0xRRGGBB in the slot, deleting the one
// the slot held first, and selects it. 0; -2 when it cannot be created
// ("QOBCreatePenObject 1", code 15); -3 when it cannot be selected
// ("QOBCreatePenObject 2", code 16; the new object is deleted again).
int QOBCreatePenObject(QobObjectSlot* slot, uint32_t rgb);
int QOBCreateBrushObject(QobObjectSlot* slot, uint32_t rgb);
// Selects the replaced object again ("QOBDeletePenObject 1", code 26, on
// failure) and deletes the slot's object ("QOBDeletePenObject 2", code 26);
// 0, or -1 / -2 for those failures. An empty slot is left as it is.
int QOBDeletePenObject(QobObjectSlot* slot);
int QOBDeleteBrushObject(QobObjectSlot* slot);

// Writes "!! mem_alloc_cnt = %d" and the pen, region and brush lines for
// every counter that is not 0 to the debug log. Returns the number of beeps
// the caller owes (5 for memory, 6 for each drawing-object kind).
int qob_leak_report();

// Tests: make the nth platform allocation from now fail (0 = none).
void qob_fail_platform_alloc(int nth);

// Back to the start state; frees whatever is live without counting it.
void mempool_reset();
