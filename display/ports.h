// The evaluation's view of the page area: putting a port on screen as a
// framed value, drawing its value in its colours or alarm phases, and
// forgetting its frame when the port goes.
#pragma once

struct ZyrPort;

void display_create_port(ZyrPort* p);
void display_draw_port(ZyrPort* p);
void display_port_deleted(int index);

// Installs the above into the evaluation and the port builder.
void display_ports_register();
