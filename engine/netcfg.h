// The settings of the network services: port numbers, buffer sizes and the
// last server. The network driver, the menus and the system settings of
// page 0 read and change them.
#pragma once

#include <cstdint>

constexpr uint32_t NET_IN_BUFSIZE_DEFAULT = 130048;
constexpr uint32_t NET_OUT_BUFSIZE_DEFAULT = 16384;
constexpr uint32_t NET_IN_BUFSIZE_MIN = 8192;
constexpr uint32_t NET_IN_BUFSIZE_MAX = 1048575;

struct NetSettings {
    uint16_t tcp_port;
    uint16_t udp_port;
    uint32_t in_bufsize;       // NB: the receive ring
    uint32_t out_bufsize;      // NO: the send ring
    char server[81];           // the last server connected to
};
extern NetSettings net_settings;

// The receive buffer size in bytes, clamped to 8192..1048575.
void net_set_in_bufsize(uint32_t bytes);

void netcfg_reset();
