// The resident pages of vantor: three page slots (page 0, page 9999 and the
// display page), the port table they share, loading a page file into a
// slot, creating and deleting ports, saving a slot back to its file, the
// periodic backup and the page change. The run-time port object itself
// belongs to the evaluation engine, which plugs its builder in (PortOps).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/files.h"
#include "core/pagefile.h"

constexpr int MAXZYRPORTS = 1024;
constexpr int PAGE_SLOTS = 3;
constexpr uint16_t NO_SLOT = 65535;

enum : int {
    SLOT_SYSTEM = 0,      // page 0
    SLOT_SYSPARAMS = 1,   // page 9999
    SLOT_DISPLAY = 2,     // pages 1..9998, one at a time
};

// IoFlags bit of periodic backup (the `backup` switch of page 0).
constexpr uint32_t IO_BACKUP = 0x00000800;

// Slot of a page number: 0 -> 0, 9999 -> 1, 1..9998 -> 2, else NO_SLOT.
uint16_t page_slot(int page);

// Run-time flags of a port that the page layer sets (the evaluation owns the
// rest of the word).
enum : uint32_t {
    RT_XPORT = 0x00001000,    // X port of a plot pair
    RT_FILTER = 0x00200000,   // the packet filter port
    RT_LENGTH = 0x01000000,   // the length port of variable-length packets
};

// The part of a run-time port that the page layer reads and writes. The
// evaluation's port object (engine/port.h) begins with it, so a table entry
// is both.
struct PortHead {
    PortRecord* rec;          // the port's record image (pool), written back on save
    uint32_t flags;           // run-time flags
    uint32_t port_flags;      // PF_* as loaded and edited; without PF_ENABLE not saved
    uint32_t process_mask;    // run-time cycle masks
    uint32_t display_mask;
    int32_t tag_count;        // sub-com tags that name this port
    int32_t tag_parent;       // a sub-com tag: index of the port it names, -1 none
    int slot;                 // page slot that owns the entry
};

// The port builder of the evaluation engine. build returns the object (from
// the pool) or null; complete runs once the entry is in the table; destroy
// frees the object of a table entry (0 or a code); orphan_tag takes a
// sub-com tag whose port is not on its page.
struct PortOps {
    PortHead* (*build)(const PortRecord* rec, int index);
    void (*complete)(PortHead* port, int index);
    int (*destroy)(PortHead* port, int index);
    void (*orphan_tag)(PortHead* port, int index);
};
extern PortOps port_ops;

// What other modules of vantor take from a page. A null hook does nothing.
struct PageHooks {
    void (*set_loop_time)(uint32_t msecs);                       // the cycle's loop time
    void (*apply_serial)(int index, const SerialEntry* entry);   // serial driver
    void (*apply_network)(const NetEntry* in, const NetEntry* out);
    void (*apply_files)(const FileEntry* entries);               // four file sources
    void (*apply_display)(uint32_t video_flags, int back, int fore);  // -1: colour not given
    void (*gather_system)(SystemRecord* rec);                    // settings before a save
    int (*record_slots)(RecordSlots* rs);                        // 0 when record files exist
    void (*page_saved)(const char* path);                        // after a save that is no backup
    void (*repaint)();
    // The window system: a warning box (OK, exclamation icon); > 0 when it
    // was shown. Null: no box can be shown.
    int (*warning_box)(const char* text, const char* caption);
};
extern PageHooks page_hooks;

struct PageSlot {
    uint16_t first;           // index range of the slot's ports
    uint16_t last;
    uint16_t count;           // last - first + 1; 0 = empty
    int page;                 // page read into the slot, -1 none
    int changed;              // edits since the last save
};

// Backup machine results (besides 0 and the negative save failures).
enum : int {
    BACKUP_OFF = 1,           // backup period 0
    BACKUP_NOT_DUE = 2,       // period not yet over
    BACKUP_TOO_SOON = 3,      // called again within 1000 / 5000 ms
};

struct PageState {
    PortHead** ports;         // MAXZYRPORTS entries
    uint16_t next_index;      // entries handed out so far
    int pending_x;            // index of the X port awaiting its plot, -1 none
    PageSlot slot[PAGE_SLOTS];
    char dir[261];            // page directory, "" = current directory
    SystemRecord sysrec;      // the settings of page 0 as applied
    uint32_t backup_period;   // seconds, 0 = off
    uint32_t flush_period;    // seconds, at most 86400
    uint32_t file_bufsize;    // buffer size of file sources
    uint32_t timeout_period;
    uint32_t length_port;     // 1-based index of the configured length port, 0 none
    int backup_state;         // 0..4
    uint32_t last_step_ms;    // zyr_msecs of the last backup step
    uint32_t last_backup_ms;  // zyr_msecs of the last backup
    uint32_t generation;      // counts page changes: an edit begun on one page is not applied to the next
};
extern PageState pages;

// Uses an outside table of MAXZYRPORTS entries (vantor allocates it at
// start-up); null returns to the module's own. Only while no port exists.
int page_set_table(void** table);

// The port at index, or null.
PortHead* page_port(int index);
// The port at index when slot owns it, else null.
PortHead* page_slot_port(int slot, int index);

// Loads a page into its slot (replacing what the slot held). 0, 14 when the
// file cannot be opened (error 14 reported), -1 for a page without a slot,
// or the record reader's negative code (the ports before it stay).
int page_load(int page);
// 1 when the page's slot holds that page.
int page_resident(int page);

// Creates a port of slot from rec: its index, or -1 builder failed, -2 table
// full, -3 port disabled.
int CreateZYRPortHL(const PortRecord* rec, int slot);
// Creates a port, and for a plot (PF_PLOT in y) its X port x first: the
// index of the Y port, or -1 plot without X, -2 X port failed, -3 Y port
// failed (the X port is deleted again).
int CreateZYRPortVHL(PortRecord* y, PortRecord* x, int slot);

// Deletes one port; 0 or the builder's code.
int page_delete_port(int index);
// Builds the port at index anew from rec (an edited copy of its record),
// in the same entry and slot, keeping its place in a plot pair. 0; -1 the
// builder refused rec (the port is built again from its old record); -2 no
// port at index.
int page_replace_port(int index, const PortRecord* rec);
// Deletes every port of a slot, from its last index down, and empties it.
// 0, or -1 when a port could not be deleted (reported; the walk goes on).
int DeletePageLL(int slot);
// Deletes every slot (2, 1, 0).
void page_free_all();

// Marks each non-plot port followed by a plot port of the same slot as the
// pair's X port.
void page_mark_plot_pairs();
// Links every sub-com tag of slot to the port it names and recounts the tag
// counts of the slot's ports.
void page_link_subcom_tags(int slot);

// Variable packet length check: 0; -1 more than one length port (flags
// dropped); -2 the length port differs from the configured one; -3 none
// (128-byte packets assumed).
int page_check_varpktlen();

// Replaces the display page: the load result of the new page (0 when the
// number is not a display page).
int page_change(int page);

// ---- saving -------------------------------------------------------------------

enum : int {
    SAVE_DISPLAY = 0,    // the display slot
    SAVE_SETTINGS = 1,   // page 0 with the packet and system records
    SAVE_SYSPARAMS = 2,  // page 9999
    SAVE_PORT = 3,       // one port with its plot partner
};
enum : unsigned {
    SAVE_APPEND = 0x1,   // add to the end of an existing file
    SAVE_BACKUP = 0x2,   // a backup: changed marks stay, korlw is not started
};

// Writes a range of the table to path (null: the range's own page file).
// 0; -1 the file cannot be opened or the range is empty of a page; -2
// writing failed (nothing of the save stays in the file).
int page_save(int range, int port_index, const char* path, unsigned opts);

// The record a save writes for a port: its record image with the port
// flags as they are now (varpktlen added from the run-time flags) and the
// tag count of this run.
void page_port_record(const PortHead* p, PortRecord* out);

// Starts korlw on the text file of a saved page file (vantor's page_saved
// hook); 0, or -1 when korlw is not found or does not start.
int page_start_korlw(const char* page_path);

// One step of the periodic backup: 0 or a BACKUP_* result, or -1 display
// page, -2 system pages, -5/-6 out of memory.
int page_backup_step();

void page_mark_changed(int slot);
int page_set_dir(const char* dir);          // 0, -1 when too long
void page_set_backup_period(uint32_t secs); // capped at 86400; 0 clears IO_BACKUP

// Back to the start state: every port deleted, own table, slots empty.
void page_reset();
