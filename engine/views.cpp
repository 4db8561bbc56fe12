// The areas behind the views that the port builder does not resolve
// itself. Areas that a view reads as text are copied into buffers of the
// view's length, so a port never reads past the variable behind it.
#include "engine/views.h"

#include <cstring>

#include "core/diagnostics.h"
#include "core/mempool.h"
#include "core/state.h"
#include "core/symtab.h"
#include "engine/port.h"

constexpr int VIEW_VTELFR_CNT = 6;
constexpr int VIEW_ERR_UPPER = 22;
constexpr int VIEW_ERR_LOWER = 23;
constexpr int VIEW_C_LTIME = 29;
constexpr int VIEW_DEBUG_STRING_LEN = 81;
constexpr int ZERO_AREA_BYTES = 8192;   // the longest view without a variable (qob_files)

static_assert(STATUS_LINE_LEN + 1 == 33, "err_upper and err_lower are the 33-byte status lines");

struct ViewsState {
    const uint8_t* area[VIEW_COUNT];   // areas registered by other modules
    uint8_t* user;                     // USER_BUFFERS x USER_BUFFER_BYTES (pool)
    uint32_t accepted;                 // vtelfr_cnt
    uint32_t caltime32;                // c_ltime: the low 32 bits of the calendar time
    char msgline[VIEW_DEBUG_STRING_LEN];
};
static ViewsState g_views;
static const uint8_t kZeros[ZERO_AREA_BYTES] = {};

void views_reset() {
    QOBfree(g_views.user);
    g_views = ViewsState{};
}

int views_alloc() {
    if (g_views.user) return 0;
    g_views.user = (uint8_t*)QOBmalloc(USER_BUFFERS * USER_BUFFER_BYTES);
    if (!g_views.user) return -1;
    memset(g_views.user, 0, USER_BUFFERS * USER_BUFFER_BYTES);
    return 0;
}

void views_free() {
    QOBfree(g_views.user);
    g_views.user = nullptr;
}

uint8_t* views_user_buffer(int n) {
    if (!g_views.user || n < 0 || n >= USER_BUFFERS) return nullptr;
    return g_views.user + n * USER_BUFFER_BYTES;
}

void views_count_accepted() { g_views.accepted++; }

// The views whose variables the evaluation keeps (here or in the port
// builder) cannot be taken over.
static bool own_view(int view) {
    switch (view) {
    case VIEW_PACKETHEADER: case VIEW_ZYR_FLAGS: case VIEW_ZYR_MSECS: case VIEW_ZYR_SECS: case VIEW_PAGE_NO:
    case 5: case VIEW_VTELFR_CNT: case VIEW_PACKETDATA: case 21: case VIEW_ERR_UPPER: case VIEW_ERR_LOWER:
    case VIEW_DEBUG_STRING: case VIEW_C_LTIME: case 30: case 31: case VIEW_RECD_PBACK: case VIEW_ZYR_LOOP_TIME:
    case 35: case VIEW_ZYR_STATS:
        return true;
    default:
        return view >= VIEW_CPLI_BUFFER1 && view < VIEW_COUNT;
    }
}

int views_set_area(int view, const uint8_t* base) {
    if (view < 0 || view >= VIEW_COUNT || own_view(view)) return -1;
    g_views.area[view] = base;
    return 0;
}

static const uint8_t* bytes_of(const void* p) { return static_cast<const uint8_t*>(p); }

const uint8_t* views_base(int view) {
    if (view >= VIEW_CPLI_BUFFER1 && view < VIEW_COUNT) return views_user_buffer(view - VIEW_CPLI_BUFFER1);
    switch (view) {
    case VIEW_VTELFR_CNT: return bytes_of(&g_views.accepted);
    case VIEW_ERR_UPPER: return bytes_of(diag.status1);
    case VIEW_ERR_LOWER: return bytes_of(diag.status2);
    case VIEW_DEBUG_STRING:
        // The message line is shorter than the view: the copy is the view.
        memset(g_views.msgline, 0, sizeof g_views.msgline);
        memcpy(g_views.msgline, diag.msgline, strnlen(diag.msgline, MSG_LINE_LEN));
        return bytes_of(g_views.msgline);
    case VIEW_C_LTIME:
        g_views.caltime32 = (uint32_t)zyr.caltime;
        return bytes_of(&g_views.caltime32);
    case VIEW_RECD_PBACK: return bytes_of(&zyr.IoFlags);
    default: break;
    }
    // The port builder resolves its own views before asking here.
    if (view < 0 || view >= VIEW_COUNT || own_view(view)) return nullptr;
    return g_views.area[view] ? g_views.area[view] : kZeros;
}
static_assert(sizeof(ViewsState::msgline) >= MSG_LINE_LEN + 1);
