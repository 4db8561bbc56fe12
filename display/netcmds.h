// The Transfer > Network menu: its commands, the dialogs they ask through
// (HOSTNAME, TCPPORTNUM, ClientSelect, DISPLAYHOST), the greying that
// follows the services' state and the remembered server item.
#pragma once

#include <cstddef>

#include "platform/ui.h"

constexpr int CMD_NET_SEPARATOR = 593;   // the separator before the remembered server
constexpr int CMD_NET_REMEMBERED = 594;

// The menu items of the network and whether each is enabled now.
struct NetMenuState {
    int command;
    bool enabled;
};
// Fills out (up to cap rows) from the services' state; the row count.
int net_menu_state(NetMenuState* out, int cap);

// The text of the remembered server item: "&1 " and the name cut to 24
// characters.
void net_remembered_text(const char* name, char* out, size_t cap);

// The ClientSelect names: every client's name, then "ALL_CLIENTS"; the count.
int net_client_names(const char** names, int cap);
// The Client Info text into out.
void net_client_info(char* out, size_t cap);
// The Find addr result as the DISPLAYHOST dialog shows it: 0, or -1 when
// the host is unknown.
struct HostInfo {
    char official[81];
    int alias_count, addr_count;
    char aliases[16][81];
    char addrs[16][16];
};
int net_find_host(const char* name, HostInfo* out);

void netcmds_register();
void netcmds_reset();
