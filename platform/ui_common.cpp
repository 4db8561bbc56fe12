// The parts of the dialog seam that both window systems share: collecting
// field errors and the label a field's error is shown after.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/ui.h"

void dlg_error(DlgErrors* e, uint32_t field, const char* fmt, ...) {
    if (!e || e->count >= DLG_ERRORS_MAX) return;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(e->text[e->count], sizeof e->text[0], fmt, ap);
    va_end(ap);
    e->field[e->count] = field;
    e->count++;
}

void dlg_field_label(const DlgForm* form, uint32_t field, char* out, size_t cap) {
    if (!cap) return;
    out[0] = 0;
    for (int i = 0; form && i < form->count; i++) {
        const DlgControl& c = form->controls[i];
        if (c.field != field || !c.label) continue;
        bool names = c.kind == DLG_EDIT || c.kind == DLG_CHECK || c.kind == DLG_RADIO || c.kind == DLG_LIST ||
                     c.kind == DLG_COMBO || (c.flags & DLG_NAMES_FIELD);
        if (!names) continue;
        size_t n = 0;
        for (const char* p = c.label; *p && n + 1 < cap; p++) {
            if (*p == '&' && p[1] != '&') continue;
            out[n++] = *p;
        }
        out[n] = 0;
        return;
    }
}
