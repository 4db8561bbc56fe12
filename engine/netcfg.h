// The settings of the network services: port numbers, buffer sizes, the
// last server, the UDP destination and which services run. The network
// services, the menus and the system settings of page 0 read and change
// them; the copy as saved tells whether they changed.
#pragma once

#include <cstdint>

constexpr uint32_t NET_IN_BUFSIZE_DEFAULT = 130048;
constexpr uint32_t NET_OUT_BUFSIZE_DEFAULT = 16384;
constexpr uint32_t NET_IN_BUFSIZE_MIN = 8192;
constexpr uint32_t NET_IN_BUFSIZE_MAX = 1048575;
constexpr uint32_t NET_OUT_BUFSIZE_MIN = 1024;

struct NetSettings {
    uint16_t tcp_port;
    uint16_t udp_port;
    uint32_t in_bufsize;       // NB: the receive ring
    uint32_t out_bufsize;      // NO: the send ring
    char server[81];           // the last server connected to
    char udp_host[81];         // the UDP transmitter's destination ("" broadcast)
    uint32_t in_protocol;      // 0x10020 connected to a server, 0x20080 UDP receiver, else 0
    uint32_t out_protocol;     // 0x10008 server listening, 0x20040 UDP transmitter, else 0
};
extern NetSettings net_settings;
extern NetSettings net_saved;  // as page 0 was loaded or last saved

// The receive buffer size in bytes, clamped to 8192..1048575.
void net_set_in_bufsize(uint32_t bytes);
// The settings now are the saved ones.
void net_mark_saved();
bool net_settings_changed();

void netcfg_reset();
