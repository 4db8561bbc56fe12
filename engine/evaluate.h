// Evaluation of the resident pages, once per display stage: new-packet
// detection, the page change, and for each port in table order the
// schedule, held and forced ports, sub-commutation, supercommutation,
// change detection, conversion, recording, alarms and the drawing
// requests. Also the packet filter, the length port of variable-length
// packets and the settling of the processing masks.
#pragma once

#include <cstdint>

#include "engine/port.h"

// What the value-port and plot display fill in later. With a null hook
// nothing is drawn, but every flag and value is computed as with it.
struct EvalDrawHooks {
    void (*create_port)(ZyrPort* p);                  // put the port on screen
    void (*draw_port)(ZyrPort* p);                    // draw its value (marks tell the colours)
    void (*plot_point)(ZyrPort* p, double x, double y);
    void (*stage_done)();                             // after each run over the ports
};
extern EvalDrawHooks eval_draw;

struct EvalState {
    uint32_t last_fr_cnt;      // packet count at the last run
    int request_page;          // the page a page change brings, -1: the one shown
    uint32_t runs;             // evaluation runs (display stages)
};
extern EvalState eval;

// The display stage of the cycle: one run over all resident ports.
void evaluate_page();

// Refresh the raw copy of one port from its field (sample 0) and convert
// it when it changed; for the packet filter, the length port and
// sub-commutation tags.
void eval_port_now(ZyrPort* p);

// The packet filter (the cycle's packet_filter hook): true when the packet
// of this pass is accepted; sets or clears SystemFlags 0x4000.
bool packet_filter_accepted();

// The length port as the synchroniser sees it, and its value on a packet
// image of which `held` bytes are in.
int eval_length_port(LengthPort* out);
uint32_t eval_length_value(const uint8_t* image, int held);

// Sets the processing and display masks of every port again for the loop
// time now (after a loop time change or a new packet description).
void settle_port_periods();

// Asks for a page change on the next run (the menus and the page keys).
void eval_request_page(int page);

// Installs the evaluation into vantor: the cycle's display stage and packet
// filter, the synchroniser's length port and mask settling, the system
// data areas and the user buffers at start-up.
void evaluate_register();

void evaluate_reset();
