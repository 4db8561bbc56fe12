// Network settings, their limits and their saved copy.
#include "engine/netcfg.h"

#include <cstring>

NetSettings net_settings = {0, 0, NET_IN_BUFSIZE_DEFAULT, NET_OUT_BUFSIZE_DEFAULT, "", "", 0, 0};
NetSettings net_saved = net_settings;

void net_set_in_bufsize(uint32_t bytes) {
    if (bytes < NET_IN_BUFSIZE_MIN) bytes = NET_IN_BUFSIZE_MIN;
    if (bytes > NET_IN_BUFSIZE_MAX) bytes = NET_IN_BUFSIZE_MAX;
    net_settings.in_bufsize = bytes;
}

void net_mark_saved() { net_saved = net_settings; }

bool net_settings_changed() { return memcmp(&net_saved, &net_settings, sizeof net_settings) != 0; }

void netcfg_reset() {
    memset(&net_settings, 0, sizeof net_settings);
    net_settings.in_bufsize = NET_IN_BUFSIZE_DEFAULT;
    net_settings.out_bufsize = NET_OUT_BUFSIZE_DEFAULT;
    net_saved = net_settings;
}
