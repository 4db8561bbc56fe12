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

// Writes "!! mem_alloc_cnt = %d" and the pen, region and brush lines for
// every counter that is not 0 to the debug log. Returns the number of beeps
// the caller owes (5 for memory, 6 for each drawing-object kind).
int qob_leak_report();

// Tests: make the nth platform allocation from now fail (0 = none).
void qob_fail_platform_alloc(int nth);

// Back to the start state; frees whatever is live without counting it.
void mempool_reset();
