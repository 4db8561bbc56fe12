// Value ports on screen: the frame comes from the port's record, the value
// text from its display type, the colours from its alarm and colour marks.
#include "display/ports.h"

#include "core/pagefile.h"
#include "display/plot.h"
#include "display/vport.h"
#include "engine/evaluate.h"
#include "engine/port.h"

// The colour pairs a function may ask for (the DATA/NO DATA indicator):
// state 2 shows the value in green, state 4 in red.
static int state_colour(int state, int normal) {
    switch (state) {
    case 2: return 10;
    case 4: return 12;
    default: return normal;
    }
}

static int colour_or(uint16_t c, int fallback) { return c < 18 ? c : fallback; }

void display_create_port(ZyrPort* p) {
    const PortRecord* r = p->h.rec;
    VPortFrame* f = vport_frame(p->index);
    if (f) FreeVPortMemory(f);
    f = vport_create_frame(r->row, r->column, r->displayformat, r->units, r->title, r->mnemonic,
                           (r->frame_flags & FR_BORDER) ? VF_BORDER : 0u);
    vport_set_frame(p->index, f);
    p->h.flags |= RT_ON_SCREEN;
    plot_port_created(p);
    if (!f) return;  // out of memory: the port is shown without a frame
    f->bg = colour_or(r->backgroundcolor, f->bg);
    f->title_colour = colour_or(r->titlecolor, f->title_colour);
    f->value_colour = colour_or(r->valuecolor, f->value_colour);
    f->border_colour = colour_or(r->bordercolor, f->border_colour);
    f->draw_disabled = r->frame_flags & FR_NODRAW;
    if (!f->draw_disabled) vport_draw_frame(f);
}

void display_draw_port(ZyrPort* p) {
    VPortFrame* f = vport_frame(p->index);
    if (!f) return;
    const void* value = dt_is_text(p->data_type) ? (const void*)p->text : (const void*)&p->value;
    char text[VPORT_TEXT_MAX + 1];
    vport_value_text(f->format, p->data_type, f->value_width, value, text);
    f->state = (p->marks & MARK_ALARM) ? VSTATE_ALARM : VSTATE_NORMAL;
    int normal = f->value_colour;
    f->value_colour = state_colour(p->colour_state, normal);
    vport_draw_value(f, text);
    f->value_colour = normal;
}

void display_port_deleted(int index) {
    plot_port_deleted(index);
    VPortFrame* f = vport_frame(index);
    if (!f) return;
    FreeVPortMemory(f);
    vport_set_frame(index, nullptr);
}

void display_ports_register() {
    eval_draw.create_port = display_create_port;
    eval_draw.draw_port = display_draw_port;
    port_hooks.deleted = display_port_deleted;
}
