// The playback and record commands of the File menu for the three packet
// file kinds, the file open step they share, the recent file list kept with
// the system settings and shown at the end of the File menu, and the path
// shortening of menu items and messages.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/pagefile.h"
#include "engine/playback.h"

constexpr int RECENT_FILES = 4;
constexpr int CMD_RECENT_FIRST = 470;
constexpr int RECENT_ITEM_PATH = 24;      // characters of the path in a menu item
constexpr int STEP_PLAYBACK_OFF = 1061;
constexpr int STEP_FILE_OFF_ANSWER = 1062;
constexpr int STEP_FILE_OPEN = 1075;
constexpr int STEP_RECORD_OFF = 1077;

struct FileKindInfo {
    char letter;              // 'r', 'a', 'c'
    PlaybackKind kind;
    const char* prefix;       // "Raw d": the prompt goes on with "ata playback "
    uint32_t play_bit, record_bit;
    int filter_index;
    const char* ext;
    const char* play_title, *record_title;
    int play_command, record_command;
};
extern const FileKindInfo kFileKinds[3];
const FileKindInfo* file_kind(char letter);
const FileKindInfo* file_kind_of_command(int command, bool* record);

extern const char* const kPacketFileFilter;

// A Replay or Record command. With path (a recent file) no file dialog
// opens. 0 when a file was opened or closed, else non-zero.
int file_command(char letter, bool record, const char* path = nullptr);

// The file open step: the path in the entry of the step state. 0, or 1
// after the error box.
int filecmd_step(int id, int* result);

// The buffer size of a new record file in bytes.
uint32_t record_bufsize();

// ---- recent file list -----------------------------------------------------------

// The list (four file entries, most recent first) in the start-up
// record; null before start-up allocated it.
FileEntry* recent_files();
// Puts a file on top; true when the settings were marked changed.
bool recent_push(const FileEntry& e);
// Rebuilds the items at the end of the File menu.
void recent_menu_rebuild();
// Reopens the file of item command (470..473): 0, or non-zero.
int recent_command(int command);
// Page 0's file entries become the list; the list goes back into page 0.
void recent_from_page(const FileEntry* entries);
void recent_to_page(FileEntry* entries);

// ---- paths -------------------------------------------------------------------------

// Shortens path to at most n characters (n up to 80) for menus and
// messages: kept when it fits; else "/~/" and the file name when that
// fits, else the file name, cut to n. out holds n + 1.
void path_shorten(const char* path, int n, char* out, size_t cap);

void filecmds_reset();
