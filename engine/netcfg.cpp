// Network settings and their limits.
#include "engine/netcfg.h"

#include <cstring>

NetSettings net_settings = {0, 0, NET_IN_BUFSIZE_DEFAULT, NET_OUT_BUFSIZE_DEFAULT, ""};

void net_set_in_bufsize(uint32_t bytes) {
    if (bytes < NET_IN_BUFSIZE_MIN) bytes = NET_IN_BUFSIZE_MIN;
    if (bytes > NET_IN_BUFSIZE_MAX) bytes = NET_IN_BUFSIZE_MAX;
    net_settings.in_bufsize = bytes;
}

void netcfg_reset() {
    memset(&net_settings, 0, sizeof net_settings);
    net_settings.in_bufsize = NET_IN_BUFSIZE_DEFAULT;
    net_settings.out_bufsize = NET_OUT_BUFSIZE_DEFAULT;
}
