// The network commands of the menu. Each asks what it needs through a
// dialog table and hands the answer to the services; the greying of the
// items is derived from the services' state whenever a menu opens or a
// service changes.
#include "display/netcmds.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <netdb.h>

#include "core/diagnostics.h"
#include "core/state.h"
#include "display/commands.h"
#include "display/serialdlg.h"
#include "display/steps.h"
#include "engine/input.h"
#include "engine/netcfg.h"
#include "engine/network.h"

static void (*g_next_refresh)();

// ---- greying ---------------------------------------------------------------------

int net_menu_state(NetMenuState* out, int cap) {
    uint32_t st = net.state;
    bool server_conn = count_qob_sockets(QOBSOCKET_SERVER) > 0;
    bool listening = st & NET_LISTENING, tx = st & NET_UDP_TX, rx = st & NET_UDP_RX;
    bool running = (zyr.IoFlags & (IO_NET_IN | IO_NET_OUT)) != 0;
    bool connect = !server_conn && !rx;
    const NetMenuState rows[] = {
        {551, connect},
        {CMD_NET_REMEMBERED, connect},
        {556, server_conn},
        {552, !listening && !tx},
        {557, listening},
        {553, listening && net_client_count() > 0},
        {578, listening},
        {574, !listening && !server_conn},
        {570, !tx && !listening && !rx},
        {571, tx},
        {572, !rx && !tx && !server_conn},
        {573, rx},
        {575, !tx && !rx},
        {576, !running},
        {577, true},
        {550, true},
    };
    int n = 0;
    for (const NetMenuState& r : rows)
        if (n < cap) out[n++] = r;
    return n;
}

static void refresh() {
    NetMenuState rows[20];
    int n = net_menu_state(rows, 20);
    for (int i = 0; i < n; i++) plat_menu_enable(rows[i].command, rows[i].enabled);
    if (g_next_refresh) g_next_refresh();
}

static void state_changed() {
    refresh();
    publish_words();
}

void net_remembered_text(const char* name, char* out, size_t cap) { snprintf(out, cap, "&1 %.24s", name); }

static void remember_server(const char* name) {
    char text[40];
    net_remembered_text(name, text, sizeof text);
    if (plat_menu_has(CMD_NET_REMEMBERED)) plat_menu_remove(CMD_NET_REMEMBERED);
    if (!plat_menu_has(CMD_NET_SEPARATOR)) plat_menu_add("&Transfer>&Network", nullptr, CMD_NET_SEPARATOR);
    plat_menu_add("&Transfer>&Network", text, CMD_NET_REMEMBERED);
    if (!plat_menu_has(CMD_NET_REMEMBERED)) debug_printf("MaintainNetMenu() failed with %d", -1);
}

// ---- HOSTNAME and TCPPORTNUM ------------------------------------------------------------

struct TextForm {
    char caption[64];
    char text[81];
};
static const DlgControl kHostForm[] = {
    {DLG_TEXT, "Enter host name (alias) or IP addr", 0, 0, DLG_CAPTION},
    {DLG_EDIT, "&Host", offsetof(TextForm, text), 80, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
static const DlgControl kPortForm[] = {
    {DLG_TEXT, "Enter port no. or service name", 0, 0, DLG_CAPTION},
    {DLG_EDIT, "&Port", offsetof(TextForm, text), 40, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};

static int host_button(void* values, int id, DlgErrors* errors) {
    auto* f = (TextForm*)values;
    if (id == IDOK && !f->text[0]) {
        dlg_error(errors, offsetof(TextForm, text), "a host name or address is needed");
        return DLG_STAY;
    }
    return DLG_CLOSE;
}

// The HOSTNAME dialog: 1 with the name in out, 0 for Cancel.
static int ask_host(const char* title, const char* proposed, char* out, size_t cap) {
    TextForm f{};
    snprintf(f.text, sizeof f.text, "%s", proposed ? proposed : "");
    DlgForm form{kHostForm, (int)std::size(kHostForm), host_button};
    if (plat_dialog(&form, title, &f) != IDOK) return 0;
    snprintf(out, cap, "%s", f.text);
    return 1;
}

static int port_button(void* values, int id, DlgErrors*) {
    auto* f = (TextForm*)values;
    if (id != IDOK) return DLG_CLOSE;
    uint16_t port = 0;
    if (fill_port_no(f->text, &port) != 0) return DLG_STAY;
    snprintf(f->text, sizeof f->text, "%u", (unsigned)port);
    return DLG_CLOSE;
}

static void port_command(int id) {
    bool udp = id == 575;
    uint16_t* port = udp ? &net_settings.udp_port : &net_settings.tcp_port;
    TextForm f{};
    snprintf(f.text, sizeof f.text, "%u", (unsigned)*port);
    DlgForm form{kPortForm, (int)std::size(kPortForm), port_button};
    if (plat_dialog(&form, udp ? "UDP Port number" : "TCPIP Port number", &f) != IDOK) return;
    *port = (uint16_t)strtoul(f.text, nullptr, 10);
    debug_printf("TCP port %u UDP port %u", (unsigned)net_settings.tcp_port, (unsigned)net_settings.udp_port);
}

// ---- connecting ---------------------------------------------------------------------

static void connect_command(int id) {
    if (const char* why = net_connect_refusal()) {
        zyr_message(why, MSG_TIME | MSG_LOG | MSG_BEEP);
        return;
    }
    if (input_conflict_check(IO_NET_IN) != 0) return;
    if (id == CMD_NET_REMEMBERED) {
        net_connect_server(nullptr);
        return;
    }
    char host[81];
    if (!ask_host("Connect to Server", net_settings.server, host, sizeof host)) return;
    net_connect_server(host);
}

static void udp_receive_command(int) {
    if (const char* why = net_udp_receive_refusal()) {
        zyr_message(why, MSG_TIME | MSG_LOG | MSG_BEEP);
        return;
    }
    net_udp_receive_open();
}

// ---- clients ---------------------------------------------------------------------------

int net_client_names(const char** names, int cap) {
    int n = 0;
    for (QobSocket* s : sock_table.slot)
        if (s && (s->type & QOBSOCKET_CLIENT) && n < cap - 1) names[n++] = s->name ? s->name : "no name";
    if (n < cap) names[n++] = "ALL_CLIENTS";
    return n;
}

void net_client_info(char* out, size_t cap) {
    if (net_client_count() == 0) {
        snprintf(out, cap, "No clients connected");
        return;
    }
    size_t len = (size_t)snprintf(out, cap, "Connected clients are:\n");
    for (QobSocket* s : sock_table.slot) {
        if (!s || !(s->type & QOBSOCKET_CLIENT) || len >= cap) continue;
        len += (size_t)snprintf(out + len, cap - len, "%s\n", s->name ? s->name : "no name");
    }
}

struct ClientForm {
    DlgList clients;
};
static const DlgControl kClientForm[] = {
    {DLG_LIST, "&Clients Connected", offsetof(ClientForm, clients), 0, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};

static void close_client_command(int) {
    const char* names[NET_SOCKETS + 1];
    int n = net_client_names(names, (int)std::size(names));
    ClientForm f{};
    f.clients.items = names;
    f.clients.count = n;
    f.clients.selected = n - 1;
    DlgForm form{kClientForm, (int)std::size(kClientForm), nullptr};
    if (plat_dialog(&form, "Close a Client", &f) != IDOK || f.clients.selected < 0) return;
    if (f.clients.selected == n - 1) {
        net_close_client(nullptr);
        zyr_message("All client connections closed", MSG_TIME | MSG_LOG | MSG_BEEP);
        return;
    }
    // By position: several clients may carry the same name.
    net_close_client(nth_qob_socket(QOBSOCKET_CLIENT, f.clients.selected));
    zyr_message("Remote client disconnected", MSG_TIME | MSG_LOG | MSG_BEEP);
}

static void client_info_command(int) {
    char text[NET_MAX_CLIENTS * 82 + 32];
    net_client_info(text, sizeof text);
    plat_message_box(text, "Client Info", MB_OK | MB_ICONINFORMATION);
}

// ---- find address -------------------------------------------------------------------------

int net_find_host(const char* name, HostInfo* out) {
    memset(out, 0, sizeof *out);
    plat_busy(true);
    const hostent* h = gethostbyname(name);
    plat_busy(false);
    if (!h) return -1;
    snprintf(out->official, sizeof out->official, "%s", h->h_name ? h->h_name : "");
    for (char** a = h->h_aliases; a && *a && out->alias_count < 16; a++)
        snprintf(out->aliases[out->alias_count++], sizeof out->aliases[0], "%s", *a);
    for (char** a = h->h_addr_list; h->h_addrtype == AF_INET && a && *a && out->addr_count < 16; a++) {
        const uint8_t* b = (const uint8_t*)*a;
        snprintf(out->addrs[out->addr_count++], sizeof out->addrs[0], "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    }
    return 0;
}

struct HostForm {
    char official[81];
    DlgList aliases;
    DlgList addrs;
};
static const DlgControl kDisplayHost[] = {
    {DLG_EDIT, "&Official Host Name", offsetof(HostForm, official), 80, DLG_READONLY},
    {DLG_LIST, "Registered Host &Aliases", offsetof(HostForm, aliases), 0, 0},
    {DLG_LIST, "Host A&ddresses", offsetof(HostForm, addrs), 0, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};

static void find_command(int) {
    char name[81];
    if (!ask_host("Find Host", nullptr, name, sizeof name)) return;
    static HostInfo info;
    if (net_find_host(name, &info) != 0) {
        char text[128];
        snprintf(text, sizeof text, "Unable to locate host %.80s", name);
        plat_message_box(text, "Find Host", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const char* aliases[16];
    const char* addrs[16];
    for (int i = 0; i < info.alias_count; i++) aliases[i] = info.aliases[i];
    for (int i = 0; i < info.addr_count; i++) addrs[i] = info.addrs[i];
    HostForm f{};
    snprintf(f.official, sizeof f.official, "%s", info.official);
    f.aliases = {aliases, info.alias_count, info.alias_count ? 0 : -1, ""};
    f.addrs = {addrs, info.addr_count, info.addr_count ? 0 : -1, ""};
    DlgForm form{kDisplayHost, (int)std::size(kDisplayHost), nullptr};
    plat_dialog(&form, "Host Information", &f);
}

// ---- the rest ---------------------------------------------------------------------------

static void simple_command(int id) {
    switch (id) {
    case 552: net_start_server(); break;
    case 556: net_disconnect_server(false); break;
    case 557: net_stop_server(); break;
    case 570: net_udp_transmit_open(); break;
    case 571: net_udp_transmit_close(); break;
    case 573: net_udp_receive_close(); break;
    case 577: net_shutdown(true); break;
    default: break;
    }
}

static void stop_output() {
    if (net.state & NET_LISTENING) net_stop_server();
    if (net.state & NET_UDP_TX) net_udp_transmit_close();
}

struct NetCommand {
    int id;
    CommandFn fn;
};
static const NetCommand kNetCommands[] = {
    {550, find_command},         {551, connect_command},      {552, simple_command},
    {553, close_client_command}, {556, simple_command},       {557, simple_command},
    {570, simple_command},       {571, simple_command},       {572, udp_receive_command},
    {573, simple_command},       {574, port_command},         {575, port_command},
    {577, simple_command},       {578, client_info_command},  {CMD_NET_REMEMBERED, connect_command},
};
static_assert(std::size(kNetCommands) == 15);

void netcmds_register() {
    for (const NetCommand& c : kNetCommands) command_register(c.id, c.fn);
    if (menu_hooks.refresh != refresh) {
        g_next_refresh = menu_hooks.refresh;
        menu_hooks.refresh = refresh;
    }
    net_hooks.menu_changed = state_changed;
    net_hooks.remember_server = remember_server;
    serial_dlg_hooks.net_clients = net_client_count;
    serial_dlg_hooks.net_stop_output = stop_output;
}

void netcmds_reset() { g_next_refresh = nullptr; }
