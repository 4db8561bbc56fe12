// Value-port frames on the text grid.
#include "display/vport.h"

#include <cstdio>
#include <cstring>

#include "core/datatypes.h"
#include "core/diagnostics.h"
#include "core/mempool.h"
#include "core/page.h"
#include "display/grid.h"

VPortHooks vport_hooks;
static VPortFrame* g_frames[MAXZYRPORTS];

// CP437 line characters of the border.
enum : unsigned char { BOX_TL = 218, BOX_TR = 191, BOX_BL = 192, BOX_BR = 217, BOX_H = 196, BOX_V = 179 };

static char* copy_text(const char* s) {
    if (!s || !*s) return nullptr;
    size_t n = strnlen(s, VPORT_TEXT_MAX);
    char* p = (char*)QOBmalloc(n + 1);
    if (!p) return nullptr;
    memcpy(p, s, n);
    p[n] = 0;
    return p;
}

static int text_len(const char* s) { return s ? (int)strlen(s) : 0; }

// Units that do not fit beside a wide value move into the title. From a
// width of 78 on, units beside the value would leave no room for the border.
static bool fold_into_title(VPortFrame* f, char** text) {
    if (!*text) return true;
    if (f->width >= 78) {
        char joined[2 * VPORT_TEXT_MAX + 2];
        snprintf(joined, sizeof joined, "%s%s%s", f->title ? f->title : "", f->title ? "," : "", *text);
        char* t = copy_text(joined);
        if (!t) return false;
        QOBfree(f->title);
        QOBfree(*text);
        f->title = t;
        *text = nullptr;
        return true;
    }
    int len = text_len(*text);
    if (f->width + len + 1 > VPORT_TEXT_MAX) {
        len = VPORT_TEXT_MAX - f->width - 1;
        (*text)[len > 0 ? len : 0] = 0;
    }
    f->width += text_len(*text) + 1;
    return true;
}

VPortFrame* vport_create_frame(int row, int col, const char* format, const char* units, const char* title,
                               const char* label, uint32_t flags) {
    VPortFrame* f = (VPortFrame*)QOBmalloc(sizeof(VPortFrame));
    if (!f) return nullptr;
    memset(f, 0, sizeof *f);
    row = row < 1 ? 1 : row > grid.rows ? grid.rows : row;
    col = col < 1 ? 1 : col > grid.cols ? grid.cols : col;
    f->bottom = f->value_row = row;
    f->left = f->first_value_col = col;
    f->flags = flags;
    f->title = copy_text(title);
    f->units = copy_text(units);
    f->label = copy_text(label);
    if ((title && *title && !f->title) || (units && *units && !f->units) || (label && *label && !f->label)) {
        FreeVPortMemory(f);
        return nullptr;
    }
    f->bg = 1, f->title_colour = 15, f->value_colour = 14, f->border_colour = 15;
    snprintf(f->format, sizeof f->format, "%s", format ? format : "");
    int w = dt_display_width(f->format);
    f->value_width = w < 1 ? 1 : w > VPORT_TEXT_MAX ? VPORT_TEXT_MAX : w;
    f->height = 1;
    f->width = f->value_width;
    if (!fold_into_title(f, &f->units) || !fold_into_title(f, &f->label)) {
        FreeVPortMemory(f);
        return nullptr;
    }
    if (text_len(f->title) > f->width) f->width = text_len(f->title);
    if (f->title) f->height++;
    f->last_value_col = f->left + f->width - 1 - (f->units ? text_len(f->units) + 1 : 0);
    if (f->label) f->first_value_col += text_len(f->label) + 1;
    if ((flags & VF_BORDER) && f->width + 2 < 81) {
        f->height += 2;
        f->width += 2;
        f->first_value_col++;
        f->last_value_col++;
        if (f->value_row == 1) {
            f->bottom++;
        } else {
            f->value_row--;
        }
        f->flags |= VF_BORDER;
    } else {
        f->flags &= ~VF_BORDER;
    }
    if (f->width > VPORT_TEXT_MAX) debug_printf("totwidth %hu exceeds MAXVLEN", (unsigned short)f->width);
    if (f->bottom < f->height) vport_move_frame(f, f->height - f->bottom, 0);
    if (f->left + f->width >= GRID_MAX_COLUMN + 1) vport_move_frame(f, 0, GRID_MAX_COLUMN + 1 - f->width - f->left);
    return f;
}

int FreeVPortMemory(VPortFrame* f) {
    if (!f) return 0;
    int fail = 0;
    if (f->label && QOBfree(f->label) != 0) fail |= 2;
    if (f->units && QOBfree(f->units) != 0) fail |= 4;
    if (f->title && QOBfree(f->title) != 0) fail |= 8;
    if (fail) debug_printf("!! FreeVPortMemory() FAIL %d <%s>", fail, f->format);
    QOBfree(f);
    return -fail;
}

void vport_move_frame(VPortFrame* f, int drow, int dcol) {
    int top = f->bottom - f->height + 1;
    if (top + drow < 1) drow = 1 - top;
    if (f->bottom + drow > grid.rows && top + drow > 1) drow = grid.rows > f->bottom ? grid.rows - f->bottom : drow;
    if (f->left + dcol < 1) dcol = 1 - f->left;
    if (f->left + f->width - 1 + dcol > GRID_MAX_COLUMN) dcol = GRID_MAX_COLUMN - (f->left + f->width - 1);
    f->bottom += drow;
    f->value_row += drow;
    f->left += dcol;
    f->first_value_col += dcol;
    f->last_value_col += dcol;
}

static int top_row(const VPortFrame* f) { return f->bottom - f->height + 1; }

// Text of n copies of byte c.
static void repeat(char* out, unsigned char c, int n) {
    memset(out, c, (size_t)(n > 0 ? n : 0));
    out[n > 0 ? n : 0] = 0;
}

void vport_draw_frame(const VPortFrame* f) {
    if (!f || (f->flags & VF_HIDDEN)) return;
    char line[GRID_MAX_COLUMN + 2];
    bool border = f->flags & VF_BORDER;
    int inner_left = f->left + (border ? 1 : 0);
    int inner = f->width - (border ? 2 : 0);
    if (border) {
        repeat(line, BOX_H, f->width);
        line[0] = (char)BOX_TL;
        line[f->width - 1] = (char)BOX_TR;
        text_out(top_row(f), f->left, f->bg, f->border_colour, line);
        line[0] = (char)BOX_BL;
        line[f->width - 1] = (char)BOX_BR;
        text_out(f->bottom, f->left, f->bg, f->border_colour, line);
    }
    char bar[2] = {(char)BOX_V, 0};
    int title_row = f->value_row - 1;
    if (f->title) {
        repeat(line, ' ', inner);
        int n = text_len(f->title);
        int pad = inner - n;
        memcpy(line + (pad - pad / 2 > 0 ? pad - pad / 2 : 0), f->title, (size_t)(n < inner ? n : inner));
        text_out(title_row, inner_left, f->bg, f->title_colour, line);
        if (border) {
            text_out(title_row, f->left, f->bg, f->border_colour, bar);
            text_out(title_row, f->left + f->width - 1, f->bg, f->border_colour, bar);
        }
    }
    repeat(line, ' ', inner);
    text_out(f->value_row, inner_left, f->bg, f->title_colour, line);
    if (f->label) {
        snprintf(line, sizeof line, "%s ", f->label);
        text_out(f->value_row, inner_left, f->bg, f->title_colour, line);
    }
    if (f->units) text_out(f->value_row, inner_left + inner - text_len(f->units), f->bg, f->title_colour, f->units);
    if (border) {
        text_out(f->value_row, f->left, f->bg, f->border_colour, bar);
        text_out(f->value_row, f->left + f->width - 1, f->bg, f->border_colour, bar);
    }
}

void vport_erase_frame(const VPortFrame* f) {
    char line[GRID_MAX_COLUMN + 2];
    repeat(line, ' ', f->width);
    for (int r = top_row(f); r <= f->bottom; r++) text_out(r, f->left, grid.win_bg, grid.win_fg, line);
}

// ---- values ----------------------------------------------------------------------

// The lowest `width` digits of v in the base, with leading zeros.
static void fixed_digits(uint32_t v, unsigned base, int width, char* out) {
    static const char kDigits[] = "0123456789abcdef";
    if (width > VPORT_TEXT_MAX) width = VPORT_TEXT_MAX;
    for (int i = width - 1; i >= 0; i--) {
        out[i] = kDigits[v % base];
        v /= base;
    }
    out[width] = 0;
}

static void cut(char* s, int width) {
    if ((int)strlen(s) > width) s[width] = 0;
}

void vport_value_text(const char* format, int type, int width, const void* value, char* out) {
    char buf[VPORT_TEXT_MAX + 1];
    out[0] = 0;
    switch (type) {
    case DT_STRING:
    case DT_CHARS:
    case DT_TEXT:
    case DT_HEXCHAR:
        snprintf(out, VPORT_TEXT_MAX + 1, "%s", (const char*)value);
        if (type != DT_HEXCHAR) cut(out, width);
        return;
    case DT_FLOAT: {
        double d = *(const float*)value;
        dt_format_value(format, 1, &d, buf, sizeof buf);
        break;
    }
    case DT_ULONG:
    case DT_UINT:
    case DT_USHORT: {
        uint32_t v = type == DT_USHORT ? *(const uint16_t*)value : *(const uint32_t*)value;
        snprintf(buf, sizeof buf, "%lu", (unsigned long)v);
        int n = (int)strlen(buf);
        if (n > width) memmove(buf, buf + n - width, (size_t)width + 1);
        break;
    }
    case DT_INT:
        snprintf(buf, sizeof buf, "%ld", (long)*(const int32_t*)value);
        break;
    case DT_SHORT:
        snprintf(buf, sizeof buf, "%d", (int)*(const int16_t*)value);
        break;
    case DT_HEX32:
    case DT_HEX16:
    case DT_OCT32:
    case DT_OCT16:
    case DT_BIN32:
    case DT_BIN16: {
        bool narrow = type == DT_HEX16 || type == DT_OCT16 || type == DT_BIN16;
        uint32_t v = narrow ? *(const uint16_t*)value : *(const uint32_t*)value;
        unsigned base = type <= DT_HEX16 ? 16 : type <= DT_OCT16 ? 8 : 2;
        fixed_digits(v, base, width, out);
        return;
    }
    default:  // the double, long and pointer types print with their format
        dt_format_value(format, type, value, buf, sizeof buf);
        break;
    }
    snprintf(out, VPORT_TEXT_MAX + 1, "%s", buf);
    cut(out, width);
}

void vport_draw_value(VPortFrame* f, const char* text) {
    snprintf(f->value_text, sizeof f->value_text, "%s", text);
    if (f->draw_disabled || (f->flags & VF_HIDDEN)) return;
    int field = f->last_value_col - f->first_value_col + 1;
    char line[VPORT_TEXT_MAX + 2];
    int n = (int)strlen(text);
    if (n < field) {
        memset(line, ' ', (size_t)(field - n));
        memcpy(line + field - n, text, (size_t)n + 1);
    } else {
        snprintf(line, sizeof line, "%s", text);
    }
    int bg = f->bg, fg = f->value_colour;
    if (f->state == VSTATE_ALARM) {
        f->alarm_phase = !f->alarm_phase;
        bg = 4;
        fg = f->alarm_phase ? 14 : 4;
        if (!f->alarm_phase && (grid.video_flags & VIDEO_MONO)) {
            // The red-on-red phase shows in the other monochrome: inverse,
            // or normal when the screen is in inverse already, so that the
            // alarm blinks in both modes.
            uint32_t saved = grid.video_flags;
            grid.video_flags ^= VIDEO_INVERSE;
            text_out(f->value_row, f->first_value_col, bg, fg, line);
            grid.video_flags = saved;
            return;
        }
    }
    text_out(f->value_row, f->first_value_col, bg, fg, line);
}

// ---- the table of frames ------------------------------------------------------------

VPortFrame* vport_frame(int index) { return (index >= 0 && index < MAXZYRPORTS) ? g_frames[index] : nullptr; }

void vport_set_frame(int index, VPortFrame* f) {
    if (index >= 0 && index < MAXZYRPORTS) g_frames[index] = f;
}

void DrawAllVPPorts(int message) {
    if (message != MSG_PAINT) {
        debug_printf("DrawAllVPPorts() BLDPAGE.C %08lx", (unsigned long)message);
        return;
    }
    grid_clear();
    for (int i = 0; i < pages.next_index; i++) {
        PortHead* p = page_port(i);
        if (!p || !(p->port_flags & PF_ENABLE)) continue;
        p->flags |= 0x20;  // redraw its value in this pass
        if (g_frames[i]) vport_draw_frame(g_frames[i]);
        if ((p->port_flags & PF_PLOT) && vport_hooks.draw_plot) vport_hooks.draw_plot(i);
    }
}

static bool overlaps(const VPortFrame* f, int col, int row, int w, int h) {
    int top = top_row(f);
    return col <= f->left + f->width - 1 && col + w - 1 >= f->left && row <= f->bottom && row + h - 1 >= top;
}

int vport_find_at(int col, int row, int w, int h) {
    for (int i = pages.next_index - 1; i >= 0; i--) {
        PortHead* p = page_port(i);
        if (!p || !(p->port_flags & PF_ENABLE)) continue;
        if (g_frames[i] && overlaps(g_frames[i], col, row, w, h)) return i;
        if (vport_hooks.plot_hit && vport_hooks.plot_hit(i, col, row, w, h)) return -i;
    }
    return pages.next_index;
}

void vport_reset() {
    for (VPortFrame*& f : g_frames) {
        if (f) FreeVPortMemory(f);
        f = nullptr;
    }
    vport_hooks = VPortHooks{};
}
