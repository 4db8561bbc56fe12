// Playback and record commands, the file open step and the recent file
// list. A command whose file is open offers to close it; otherwise the file
// dialog (or the recent list) gives the path and step 1075 opens it.
#include "display/filecmds.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/files.h"
#include "core/page.h"
#include "core/state.h"
#include "display/steps.h"
#include "display/switches.h"
#include "engine/input.h"
#include "engine/startup.h"
#include "platform/canvas.h"
#include "platform/ui.h"

const FileKindInfo kFileKinds[3] = {
    {'r', PB_RAW, "Raw d", IO_RAW_PLAYBACK, IO_RAW_RECORD, 1, "dat", "Raw Playback", "Raw Record", 119, 126},
    {'a', PB_ASCII, "Ascii d", IO_ASCII_PLAYBACK, IO_ASCII_RECORD, 2, "txt", "Ascii Playback", "Ascii Record", 120,
     127},
    {'c', PB_COMPRESSED, "Compressed d", IO_COMP_PLAYBACK, IO_COMP_RECORD, 3, "bin", "Compressed Playback",
     "Compressed Record", 121, 128},
};

const char* const kPacketFileFilter = "Raw Files(*.DAT)|*.dat|Ascii Files(*.TXT)|*.txt|Compressed Files(*.BIN)|*.bin|";

constexpr uint32_t kRecordBits = IO_RAW_RECORD | IO_ASCII_RECORD | IO_COMP_RECORD;
constexpr uint32_t kRecordBufsizeDefault = 16384;

// The command that runs: its kind and direction, for the steps.
static const FileKindInfo* g_kind;
static bool g_record;
// The path of the file step: the entry holds 80 characters, a path 260.
static char g_path[sizeof(FileEntry::filename)];

void filecmds_reset() {
    g_kind = nullptr;
    g_record = false;
    g_path[0] = 0;
}

const FileKindInfo* file_kind(char letter) {
    for (const FileKindInfo& k : kFileKinds)
        if (k.letter == letter) return &k;
    return nullptr;
}

const FileKindInfo* file_kind_of_command(int command, bool* record) {
    for (const FileKindInfo& k : kFileKinds) {
        if (command == k.play_command || command == k.record_command) {
            *record = command == k.record_command;
            return &k;
        }
    }
    return nullptr;
}

uint32_t record_bufsize() { return pages.file_bufsize ? pages.file_bufsize : kRecordBufsizeDefault; }

static uint32_t kind_bit(const FileKindInfo* k, bool record) { return record ? k->record_bit : k->play_bit; }

// ---- paths ------------------------------------------------------------------------

void path_shorten(const char* path, int n, char* out, size_t cap) {
    if (n > 80) n = 80;
    if (n < 0) n = 0;
    size_t len = strlen(path);
    const char* slash = strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    size_t name_len = strlen(name);
    char buf[300];
    if (len <= (size_t)n)
        snprintf(buf, sizeof buf, "%s", path);
    else if (name_len + 3 <= (size_t)n && slash && path[0] == '/')
        snprintf(buf, sizeof buf, "/~/%s", name);
    else
        snprintf(buf, sizeof buf, "%s", name);
    snprintf(out, cap, "%.*s", n, buf);
}

// ---- the recent file list -------------------------------------------------------------

FileEntry* recent_files() { return (FileEntry*)startup.recent_files; }

bool recent_push(const FileEntry& e) {
    FileEntry* list = recent_files();
    if (!list) return false;
    int found = -1;
    for (int i = 0; i < RECENT_FILES && found < 0; i++)
        if (list[i].filename[0] && strcasecmp(list[i].filename, e.filename) == 0) found = i;
    bool changed = found < 0 || memcmp(&list[found], &e, sizeof e) != 0;
    int from = found >= 0 ? found : RECENT_FILES - 1;
    memmove(&list[1], &list[0], sizeof(FileEntry) * (size_t)from);
    list[0] = e;
    if (changed) settings_changed();
    recent_menu_rebuild();
    return changed;
}

void recent_menu_rebuild() {
    FileEntry* list = recent_files();
    bool any = false;
    for (int i = 0; i < RECENT_FILES; i++) {
        int command = CMD_RECENT_FIRST + i;
        plat_menu_remove(command);
        if (!list || !list[i].filename[0]) continue;
        if (!any && !plat_menu_has(CMD_RECENT_FIRST - 1)) plat_menu_add("&File", nullptr, CMD_RECENT_FIRST - 1);
        any = true;
    }
    if (!any) {
        plat_menu_remove(CMD_RECENT_FIRST - 1);
        return;
    }
    for (int i = 0; i < RECENT_FILES; i++) {
        if (!list[i].filename[0]) continue;
        char shortened[RECENT_ITEM_PATH + 1], text[RECENT_ITEM_PATH + 8];
        path_shorten(list[i].filename, RECENT_ITEM_PATH, shortened, sizeof shortened);
        snprintf(text, sizeof text, "&%d %s", i + 1, shortened);
        plat_menu_add("&File", text, CMD_RECENT_FIRST + i);
    }
}

void recent_from_page(const FileEntry* entries) {
    FileEntry* list = recent_files();
    if (!list) return;
    for (int i = 0; i < RECENT_FILES; i++) {
        list[i] = entries[i];
        list[i].filename[sizeof list[i].filename - 1] = 0;
        list[i].filemode[sizeof list[i].filemode - 1] = 0;
        list[i].format[sizeof list[i].format - 1] = 0;
    }
    recent_menu_rebuild();
}

void recent_to_page(FileEntry* entries) {
    FileEntry* list = recent_files();
    if (list) memcpy(entries, list, sizeof(FileEntry) * RECENT_FILES);
}

int recent_command(int command) {
    FileEntry* list = recent_files();
    int i = command - CMD_RECENT_FIRST;
    if (!list || i < 0 || i >= RECENT_FILES || !list[i].filename[0]) return 1;
    const FileKindInfo* k = file_kind(list[i].format[0]);
    if (!k) return 1;
    char path[sizeof list[i].filename];
    snprintf(path, sizeof path, "%s", list[i].filename);
    bool record = (list[i].mode & kRecordBits) != 0;
    return file_command(k->letter, record, path);
}

// ---- the commands -----------------------------------------------------------------------

static int file_dialog_path(const FileKindInfo* k, bool record, char* out, size_t cap) {
    PlatFileDialog d{};
    d.title = record ? k->record_title : k->play_title;
    d.filter = kPacketFileFilter;
    d.filter_index = k->filter_index;
    d.default_ext = k->ext;
    d.flags = record ? (FD_SAVE | FD_PATH_MUST_EXIST | FD_OVERWRITE_PROMPT) : (FD_MUST_EXIST | FD_PATH_MUST_EXIST);
    return plat_file_dialog(&d, out, cap);
}

int file_command(char letter, bool record, const char* path) {
    const FileKindInfo* k = file_kind(letter);
    if (!k) return 1;
    g_kind = k;
    g_record = record;
    const char* title = record ? k->record_title : k->play_title;
    if (zyr.IoFlags & kind_bit(k, record))
        return flags_dialog(title, record ? STEP_RECORD_OFF : STEP_PLAYBACK_OFF, STEP_FILE_OFF_ANSWER) ? 0 : 1;
    if (!record && input_conflict_check(k->play_bit) != 0) return 1;
    char chosen[1024];
    if (path) {
        snprintf(chosen, sizeof chosen, "%s", path);
    } else if (!file_dialog_path(k, record, chosen, sizeof chosen)) {
        return 1;
    }
    if (strlen(chosen) >= sizeof g_path) {
        char shortened[PROMPT_LINE_MAX + 1];
        path_shorten(chosen, PROMPT_LINE_MAX, shortened, sizeof shortened);
        error_box("Cannot open file", shortened);
        return 1;
    }
    steps_clear_command();
    snprintf(steps.title, sizeof steps.title, "%s", title);
    memcpy(g_path, chosen, strlen(chosen) + 1);  // it fits: checked above
    snprintf(steps.entry, sizeof steps.entry, "%.*s", (int)sizeof steps.entry - 1, chosen);
    int r = step_run(STEP_FILE_OPEN);
    steps_clear_command();
    return r;
}

// ---- the steps ----------------------------------------------------------------------------

static int file_off_open(const FileKindInfo* k, bool record) {
    steps.was_on = (zyr.IoFlags & kind_bit(k, record)) != 0;
    prompt_set(1, "%sata %s%s", k->prefix, record ? "record " : "playback ", steps.was_on ? "ON:" : "OFF:");
    prompt_set(2, nullptr);
    prompt_set(3, nullptr);
    steps.current = STEP_FILE_OFF_ANSWER;
    return 0;
}

static int file_off_answer() {
    int a = answer_of(steps.entry);
    if (a == ANSWER_INVALID) {
        prompt_set(3, "Invalid Entry. Retype...");
        steps.current = STEP_FILE_OFF_ANSWER;
        return 1;
    }
    if (a == ANSWER_YES && g_kind && (zyr.IoFlags & kind_bit(g_kind, g_record))) {
        if (g_record)
            record_close(g_kind->kind);
        else
            playback_close(g_kind->kind);
        publish_words();
        canvas_invalidate();
    }
    steps_clear_command();
    return 0;
}

static void open_failed(const char* why) {
    char shortened[PROMPT_LINE_MAX + 1];
    path_shorten(g_path, PROMPT_LINE_MAX, shortened, sizeof shortened);
    error_box(why, shortened);
}

static int file_open_step() {
    const FileKindInfo* k = g_kind;
    if (!k || !g_path[0]) return 1;
    if (zyr_fopen_by_name(g_path) == 0) {
        open_failed("File already in use: close first");
        return 1;
    }
    uint32_t bufsize = record_bufsize();
    int rc;
    if (g_record) {
        recording.bufsize = bufsize;
        rc = record_open(k->kind, g_path, "w");
    } else {
        rc = playback_open(k->kind, g_path);
    }
    if (rc == -2) {
        open_failed("File already in use: close first");
        return 1;
    }
    if (rc != 0) {
        open_failed("Cannot open file");
        return 1;
    }
    if (!g_record && switch_hooks.clear_plots) switch_hooks.clear_plots();
    FileEntry e{};
    e.bufsize = bufsize;
    e.mode = kind_bit(k, g_record);
    snprintf(e.filename, sizeof e.filename, "%s", g_path);
    snprintf(e.filemode, sizeof e.filemode, "%s", g_record ? "w" : "r");
    e.format[0] = k->letter;
    recent_push(e);
    if (zyr.IoFlags & kRecordBits) zyr.work_mask |= WM_OUTPUT;
    if (g_record)
        publish_words();
    else
        canvas_invalidate();
    steps_clear_command();
    return 0;
}

int filecmd_step(int id, int* result) {
    switch (id) {
    case STEP_PLAYBACK_OFF: *result = g_kind ? file_off_open(g_kind, false) : 1; return 1;
    case STEP_RECORD_OFF: *result = g_kind ? file_off_open(g_kind, true) : 1; return 1;
    case STEP_FILE_OFF_ANSWER: *result = file_off_answer(); return 1;
    case STEP_FILE_OPEN: *result = file_open_step(); return 1;
    default: return 0;
    }
}
