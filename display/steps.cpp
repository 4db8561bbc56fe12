// The command step machine and its prompt dialogs. A dialog runs the open
// step when it opens and the answer step on OK; the steps alone decide what
// changes, so tests drive them without a window.
#include "display/steps.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "core/diagnostics.h"
#include "core/page.h"
#include "core/symtab.h"
#include "display/filecmds.h"
#include "display/switches.h"
#include "engine/port.h"
#include "platform/ui.h"

StepState steps;

static const char* const kFixedPrompts[] = {
    "Exit ZYR Y/N ?",
    "Enter your name",
    "Enter baud rate: e.g. 9600",
    "No of databits: 5,6,7,8 ?",
    "No of stopbits: 1, 1.5, 2 ?",
    "Parity: none, odd, even ?",
    "Direction: in, out ?",
    "Page number 0 - 9999 ?",
};
static_assert(std::size(kFixedPrompts) == PROMPT_COUNT - PROMPT_FIXED_FIRST);

void steps_reset() {
    memset(&steps, 0, sizeof steps);
    steps_extra_lookup = nullptr;
}

void steps_clear_command() { memset(&steps, 0, sizeof steps); }

const char* prompt_text(int sel) {
    if (sel >= 1 && sel <= 3) return steps.line[sel - 1];
    if (sel >= PROMPT_FIXED_FIRST && sel < PROMPT_COUNT) return kFixedPrompts[sel - PROMPT_FIXED_FIRST];
    return "";
}

void prompt_padded(int sel, char* out, size_t cap) {
    snprintf(out, cap, "%-*s", PROMPT_PAD, prompt_text(sel));
}

void prompt_set(int n, const char* fmt, ...) {
    if (n < 1 || n > 3) return;
    char* line = steps.line[n - 1];
    line[0] = 0;
    if (fmt) {
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(line, PROMPT_LINE_MAX + 1, fmt, ap);
        va_end(ap);
    }
    steps.sel[n - 1] = line[0] ? n : PROMPT_EMPTY;
}

void prompt_clear() {
    for (int n = 1; n <= 3; n++) prompt_set(n, nullptr);
}

void error_box(const char* line1, const char* line2, const char* line3) {
    char text[4 * (PROMPT_LINE_MAX + 2) + 32] = "";
    for (const char* l : {line1, line2, line3}) {
        if (!l || !*l) continue;
        size_t n = strlen(text);
        snprintf(text + n, sizeof text - n, "%.*s\n", PROMPT_LINE_MAX, l);
    }
    size_t n = strlen(text);
    snprintf(text + n, sizeof text - n, "Press OK to return\n");
    plat_message_box(text, "!! ERROR !!", MB_OK | MB_ICONEXCLAMATION);
}

int answer_of(const char* entry) {
    if (strcmp(entry, "y") == 0) return ANSWER_YES;
    if (strcmp(entry, "n") == 0) return ANSWER_NO;
    return ANSWER_INVALID;
}

static void trim(char* s) {
    size_t n = strlen(s);
    while (n && isspace((unsigned char)s[n - 1])) s[--n] = 0;
    size_t lead = 0;
    while (s[lead] && isspace((unsigned char)s[lead])) lead++;
    if (lead) memmove(s, s + lead, n - lead + 1);
}

int value_answer(char* entry, uint32_t lo, uint32_t hi, uint32_t* v) {
    trim(entry);
    if (!entry[0]) return 1;
    bool digits = true;
    for (const char* p = entry; *p; p++)
        if (!isdigit((unsigned char)*p)) digits = false;
    errno = 0;
    unsigned long long n = digits ? strtoull(entry, nullptr, 10) : 0;
    if (!digits || errno == ERANGE || n < lo || n > hi) {
        char bounds[64];
        snprintf(bounds, sizeof bounds, "%lu <= value <= %lu", (unsigned long)lo, (unsigned long)hi);
        error_box("Invalid, outside range:", bounds);
        return 2;
    }
    *v = (uint32_t)n;
    return 0;
}

void publish_words() {
    for (int i = 0; i < pages.next_index; i++) {
        ZyrPort* p = zyr_port(i);
        if (!p) continue;
        if (p->view == VIEW_ZYR_FLAGS || p->view == VIEW_RECD_PBACK || p->view == VIEW_ZYR_LOOP_TIME ||
            p->view == VIEW_PAGE_NO)
            p->h.flags |= RT_FORCED;
    }
}

// The modules whose steps the machine runs, each answering for its own
// step numbers.
StepLookup steps_extra_lookup;

static int extra_step(int id, int* result) { return steps_extra_lookup ? steps_extra_lookup(id, result) : 0; }

static const StepLookup kStepModules[] = {switch_step, filecmd_step, extra_step};

int step_run(int id) {
    int result = 0;
    for (StepLookup find : kStepModules)
        if (find(id, &result)) return result;
    debug_printf("!! step %d has no handler !!", id);
    return -1;
}

// ---- ZYRDgFlags ---------------------------------------------------------------

struct FlagsValues {
    char line1[PROMPT_LINE_MAX + 1];
    int32_t on;
};

static const DlgControl kFlagsControls[] = {
    {DLG_TEXT, nullptr, offsetof(FlagsValues, line1), 0, 0},
    {DLG_RADIO, "&On", offsetof(FlagsValues, on), 1, 0},
    {DLG_RADIO, "O&ff", offsetof(FlagsValues, on), 0, DLG_SAME_ROW},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};

static int g_flags_changed;

static int flags_button(void* v, int id, DlgErrors*) {
    FlagsValues* f = (FlagsValues*)v;
    if (id == IDOK) {
        snprintf(steps.entry, sizeof steps.entry, "%s", (f->on != 0) != steps.was_on ? "y" : "n");
        bool asked = steps.entry[0] == 'y';
        int r = step_run(steps.answer_step);
        g_flags_changed = (asked && r == 0) ? 1 : 0;
        return DLG_CLOSE;
    }
    snprintf(steps.entry, sizeof steps.entry, "n");
    step_run(steps.answer_step);
    g_flags_changed = 0;
    return DLG_CLOSE;
}

static const DlgForm kFlagsForm = {kFlagsControls, (int)std::size(kFlagsControls), flags_button};

int flags_dialog(const char* title, int open_step, int answer_step) {
    snprintf(steps.title, sizeof steps.title, "%s", title);
    steps.open_step = open_step;
    steps.answer_step = answer_step;
    steps.entry[0] = 0;
    if (step_run(open_step) != 0) {
        steps_clear_command();
        return 0;
    }
    FlagsValues v{};
    prompt_padded(steps.sel[0], v.line1, sizeof v.line1);
    v.on = steps.was_on ? 1 : 0;
    g_flags_changed = 0;
    plat_dialog(&kFlagsForm, steps.title, &v);
    int changed = g_flags_changed;
    steps_clear_command();
    return changed;
}

// ---- ZYRDgText -----------------------------------------------------------------

struct TextValues {
    char line1[PROMPT_LINE_MAX + 1];
    char line2[PROMPT_LINE_MAX + 1];
    char line3[PROMPT_LINE_MAX + 1];
    char entry[ENTRY_MAX + 1];
};

static const DlgControl kTextControls[] = {
    {DLG_TEXT, nullptr, offsetof(TextValues, line1), 0, 0},
    {DLG_TEXT, nullptr, offsetof(TextValues, line2), 0, 0},
    {DLG_TEXT, nullptr, offsetof(TextValues, line3), 0, 0},
    {DLG_EDIT, "", offsetof(TextValues, entry), ENTRY_MAX, 0},
    {DLG_BUTTON, "&OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "&Cancel", 0, IDCANCEL, 0},
};

static int g_text_applied;

static void text_fill(TextValues* t) {
    prompt_padded(steps.sel[0], t->line1, sizeof t->line1);
    prompt_padded(steps.sel[1], t->line2, sizeof t->line2);
    prompt_padded(steps.sel[2], t->line3, sizeof t->line3);
}

static int text_button(void* v, int id, DlgErrors*) {
    TextValues* t = (TextValues*)v;
    if (id != IDOK) return DLG_CLOSE;
    snprintf(steps.entry, sizeof steps.entry, "%s", t->entry);
    int r = step_run(steps.answer_step);
    if (r == 0) {
        g_text_applied = 1;
        return DLG_CLOSE;
    }
    // Refused: the lines may have changed; the entry is kept for retyping
    // unless the step cleared it.
    text_fill(t);
    snprintf(t->entry, sizeof t->entry, "%s", steps.entry);
    return DLG_STAY;
}

static const DlgForm kTextForm = {kTextControls, (int)std::size(kTextControls), text_button};

int text_dialog(const char* title, int open_step, int answer_step) {
    snprintf(steps.title, sizeof steps.title, "%s", title);
    steps.open_step = open_step;
    steps.answer_step = answer_step;
    steps.entry[0] = 0;
    if (step_run(open_step) != 0) {
        steps_clear_command();
        return 0;
    }
    TextValues v{};
    text_fill(&v);
    g_text_applied = 0;
    plat_dialog(&kTextForm, steps.title, &v);
    int applied = g_text_applied;
    steps_clear_command();
    return applied;
}

// ---- AboutBox, MnemonicSelect -----------------------------------------------------

struct AboutValues {
    int32_t unused;
};
static const DlgControl kAboutControls[] = {
    {DLG_TEXT, "ZYR for Windows", 0, 0, DLG_CAPTION},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
};
static const DlgForm kAboutForm = {kAboutControls, (int)std::size(kAboutControls), nullptr};

void about_box() {
    AboutValues v{};
    plat_dialog(&kAboutForm, "About ZYR", &v);
}

struct SelectValues {
    DlgList list;
};
static const DlgControl kSelectControls[] = {
    {DLG_LIST, "&Parameter", offsetof(SelectValues, list), 0, 0},
    {DLG_BUTTON, "OK", 0, IDOK, DLG_DEFAULT},
    {DLG_BUTTON, "Cancel", 0, IDCANCEL, 0},
};
static const DlgForm kSelectForm = {kSelectControls, (int)std::size(kSelectControls), nullptr};

int mnemonic_select(const char* title, const char* const* names, int count, int preselect) {
    SelectValues v{};
    v.list.items = names;
    v.list.count = count;
    v.list.selected = preselect >= 0 && preselect < count ? preselect : (count > 0 ? 0 : -1);
    if (plat_dialog(&kSelectForm, title, &v) != IDOK) return -1;
    return v.list.selected >= 0 && v.list.selected < count ? v.list.selected : -1;
}
