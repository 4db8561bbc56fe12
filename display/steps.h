// The command step machine of vantor's menus: every command that asks the
// operator something is a chain of numbered steps. A step fills up to three
// prompt lines and names the step that handles the answer; the small modal
// prompt dialogs (ZYRDgFlags for on/off switches, ZYRDgText for values)
// only show the lines and collect the answer. All decisions are steps.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int PROMPT_LINE_MAX = 78;     // characters of a prompt line
constexpr int PROMPT_PAD = 50;          // a line is padded with blanks to this
constexpr int ENTRY_MAX = 80;           // characters of an answer
constexpr int PROMPT_FIXED_FIRST = 4;   // first fixed prompt of the table

// Fixed prompts by selector (0 empty, 1..3 the buffers).
enum : int {
    PROMPT_EMPTY = 0,
    PROMPT_EXIT = 4,
    PROMPT_NAME = 5,
    PROMPT_BAUD = 6,
    PROMPT_DATABITS = 7,
    PROMPT_STOPBITS = 8,
    PROMPT_PARITY = 9,
    PROMPT_DIRECTION = 10,
    PROMPT_PAGE = 11,
    PROMPT_COUNT = 12,
};

struct StepState {
    int current;                          // step that takes the next answer, 0 idle
    int open_step;                        // the open dialog's steps
    int answer_step;
    int sel[3];                           // prompt line selectors
    char line[3][PROMPT_LINE_MAX + 1];    // the three prompt line buffers
    char entry[ENTRY_MAX + 1];            // the operator's answer
    char title[81];                       // the dialog title, the command's text
    bool was_on;                          // the switch the on/off dialog shows
    int row;                              // table row of the command running
};
extern StepState steps;

// The text of a prompt selector ("" for an unknown one), and the same
// padded with blanks to 50 characters (out holds 79).
const char* prompt_text(int sel);
void prompt_padded(int sel, char* out, size_t cap);

// Sets prompt buffer n (1..3) and selects it as line n; null or "" selects
// the empty line. Texts are cut to 78 characters.
void prompt_set(int n, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void prompt_clear();

// The steps of a later module: 1 with the step's result in *result when
// id is one of its steps (null: none).
using StepLookup = int (*)(int id, int* result);
extern StepLookup steps_extra_lookup;

// Runs step id with the entry as it stands: 0 finished (state cleared or a
// new step named), non-zero when the step refuses (it stays current).
int step_run(int id);

// The error box "!! ERROR !!": each non-empty line given, a line break
// after each, then "Press OK to return\n".
void error_box(const char* line1, const char* line2 = nullptr, const char* line3 = nullptr);

// "y", "n", or anything else.
enum : int { ANSWER_YES = 1, ANSWER_NO = 0, ANSWER_INVALID = -1 };
int answer_of(const char* entry);

// The value answer: trims the entry (in place); 1 when it was empty, 2 when
// it is not an unsigned decimal number within lo..hi (the error box was
// shown), else 0 with the number in *v.
int value_answer(char* entry, uint32_t lo, uint32_t hi, uint32_t* v);

// Makes the value ports that show the switch words, the loop time or the
// page number draw at their next evaluation.
void publish_words();

// ---- the prompt dialogs -------------------------------------------------------

// The on/off dialog: title, the open and answer steps. Returns 1 when a
// change was made, 0 otherwise (Cancel, no change, refused, or the open step
// failed).
int flags_dialog(const char* title, int open_step, int answer_step);
// The value dialog: stays open while the answer step refuses. 1 when a
// value was applied, 0 when cancelled.
int text_dialog(const char* title, int open_step, int answer_step);

// The About box.
void about_box();

// MnemonicSelect: picks one of names (count) under the title; the index
// chosen, or -1 for Cancel.
int mnemonic_select(const char* title, const char* const* names, int count, int preselect);

// The step state back to idle between commands.
void steps_clear_command();

void steps_reset();
