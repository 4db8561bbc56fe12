#include "display/filecmds.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/menu_support.h"

class FileCommands : public ::testing::Test {
protected:
    void SetUp() override {
        reset_menus();
        write_file("fc_a.dat", std::string(64, '\x55'));
        write_file("fc_b.dat", std::string(64, '\x55'));
    }
    void TearDown() override {
        end_menus();
        for (const char* f : {"fc_a.dat", "fc_b.dat", "fc_rec.dat", "fc_rec.txt", "fc_rec.bin"}) remove(f);
    }
};

static std::string cwd_file(const char* name) {
    char dir[256];
    return std::string(getcwd(dir, sizeof dir) ? dir : ".") + "/" + name;
}

TEST_F(FileCommands, PlaybackOpensFromTheOpenDialog) {
    static int plots_cleared;
    plots_cleared = 0;
    switch_hooks.clear_plots = [] { plots_cleared++; };
    fake_ui_file_answer(cwd_file("fc_a.dat"));
    EXPECT_EQ(file_command('r', false), 0);
    EXPECT_TRUE(zyr.IoFlags & IO_RAW_PLAYBACK);
    EXPECT_EQ(plots_cleared, 1);
    const FakeFileDialog& d = fake_ui_file_dialogs().back();
    EXPECT_EQ(d.title, "Raw Playback");
    EXPECT_EQ(d.filter, "Raw Files(*.DAT)|*.dat|Ascii Files(*.TXT)|*.txt|Compressed Files(*.BIN)|*.bin|");
    EXPECT_EQ(d.filter_index, 1);
    EXPECT_EQ(d.default_ext, "dat");
    EXPECT_EQ(d.flags, (unsigned)(FD_MUST_EXIST | FD_PATH_MUST_EXIST));
    EXPECT_EQ(std::string(recent_files()[0].filename), cwd_file("fc_a.dat"));
    EXPECT_EQ(recent_files()[0].format[0], 'r');
    EXPECT_EQ(recent_files()[0].mode, (uint32_t)IO_RAW_PLAYBACK);
    // Choosing it again offers to switch it off.
    answer_switch("O&ff");
    EXPECT_EQ(file_command('r', false), 0);
    EXPECT_FALSE(zyr.IoFlags & IO_RAW_PLAYBACK);
    EXPECT_EQ(fake_ui_dialogs().back().title, "Raw Playback");
    EXPECT_EQ(fake_ui_dialogs().back().texts.at(0).substr(0, 23), "Raw data playback ON:  ");
}

TEST_F(FileCommands, RecordKindsAndTheirDialogs) {
    struct Case {
        char letter;
        const char* file;
        uint32_t bit;
        const char* title;
        int filter;
        const char* ext;
        const char* off_prompt;
    };
    static const Case kCases[] = {
        {'r', "fc_rec.dat", IO_RAW_RECORD, "Raw Record", 1, "dat", "Raw data record ON:"},
        {'a', "fc_rec.txt", IO_ASCII_RECORD, "Ascii Record", 2, "txt", "Ascii data record ON:"},
        {'c', "fc_rec.bin", IO_COMP_RECORD, "Compressed Record", 3, "bin", "Compressed data record ON:"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.title);
        fake_ui_file_answer(cwd_file(c.file));
        EXPECT_EQ(file_command(c.letter, true), 0);
        EXPECT_TRUE(zyr.IoFlags & c.bit);
        EXPECT_TRUE(zyr.work_mask & WM_OUTPUT);
        const FakeFileDialog& d = fake_ui_file_dialogs().back();
        EXPECT_EQ(d.title, c.title);
        EXPECT_EQ(d.filter_index, c.filter);
        EXPECT_EQ(d.default_ext, c.ext);
        EXPECT_EQ(d.flags, (unsigned)(FD_SAVE | FD_PATH_MUST_EXIST | FD_OVERWRITE_PROMPT));
        answer_switch("O&ff");
        file_command(c.letter, true);
        EXPECT_FALSE(zyr.IoFlags & c.bit);
        std::string line = fake_ui_dialogs().back().texts.at(0);
        EXPECT_EQ(line.substr(0, strlen(c.off_prompt)), c.off_prompt);
    }
}

TEST_F(FileCommands, OpenFailuresLeaveTheBitOff) {
    struct Case {
        char letter;
        bool record;
        std::string path;
        const char* first_line;
    };
    const Case kCases[] = {
        {'r', false, cwd_file("fc_missing.dat"), "Cannot open file"},
        {'a', true, "/nonexistent-dir/x.txt", "Cannot open file"},
        {'c', false, cwd_file(std::string(300, 'n').c_str()), "Cannot open file"},
    };
    for (const Case& c : kCases) {
        reset_menus();
        fake_ui_file_answer(c.path);
        EXPECT_NE(file_command(c.letter, c.record), 0);
        EXPECT_EQ(zyr.IoFlags & 0x3F, 0u);
        ASSERT_FALSE(fake_ui_boxes().empty());
        EXPECT_EQ(fake_ui_boxes().back().caption, "!! ERROR !!");
        EXPECT_EQ(fake_ui_boxes().back().text.substr(0, strlen(c.first_line)), c.first_line);
        EXPECT_EQ(recent_files()[0].filename[0], 0);
    }
}

TEST_F(FileCommands, TheSameFileForPlaybackAndRecordIsRefused) {
    fake_ui_file_answer(cwd_file("fc_a.dat"));
    ASSERT_EQ(file_command('r', true), 0);
    fake_ui_file_answer(cwd_file("fc_a.dat"));
    EXPECT_NE(file_command('r', false), 0);
    EXPECT_FALSE(zyr.IoFlags & IO_RAW_PLAYBACK);
    EXPECT_TRUE(zyr.IoFlags & IO_RAW_RECORD);  // the recording goes on
    EXPECT_EQ(fake_ui_boxes().back().text.substr(0, 32), "File already in use: close first");
}

TEST_F(FileCommands, CancelInTheFileDialogEndsTheCommand) {
    fake_ui_file_answer("");
    EXPECT_NE(file_command('c', true), 0);
    EXPECT_EQ(zyr.IoFlags, 0u);
    EXPECT_TRUE(fake_ui_boxes().empty());
}

TEST_F(FileCommands, PlaybackAsksBeforeTakingOverTheInput) {
    struct Case {
        uint32_t running;
        const char* line;
        int answer;
    };
    static const Case kCases[] = {
        {IO_TEST_DATA, "Test data generation\n", IDNO},
        {IO_SERIAL_IN, "Serial port\n", IDNO},
        {IO_NET_IN, "Network\n", IDNO},
        {IO_TEST_DATA, "Test data generation\n", IDYES},
    };
    for (const Case& c : kCases) {
        reset_menus();
        zyr.IoFlags = c.running;
        fake_ui_answer(c.answer);
        fake_ui_file_answer(cwd_file("fc_a.dat"));
        int rc = file_command('r', false);
        ASSERT_FALSE(fake_ui_boxes().empty());
        EXPECT_EQ(fake_ui_boxes()[0].caption, "Data Input");
        EXPECT_EQ(fake_ui_boxes()[0].text, std::string("Data is already incoming from:\n") + c.line +
                                               "Continuing will switch it off\nDo you wish to continue ?\n");
        if (c.answer == IDNO) {
            EXPECT_NE(rc, 0);
            EXPECT_EQ(zyr.IoFlags, c.running);  // still running, no file dialog
            EXPECT_TRUE(fake_ui_file_dialogs().empty());
        } else {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(zyr.IoFlags, (uint32_t)IO_RAW_PLAYBACK);
        }
    }
}

static FileEntry entry(const std::string& path, char letter = 'r') {
    FileEntry e{};
    snprintf(e.filename, sizeof e.filename, "%s", path.c_str());
    e.format[0] = letter;
    e.mode = IO_RAW_PLAYBACK;
    e.filemode[0] = 'r';
    return e;
}

TEST_F(FileCommands, RecentListOrderAndChangedMarks) {
    EXPECT_TRUE(recent_push(entry("/d/one.dat")));
    EXPECT_TRUE(recent_push(entry("/d/two.dat")));
    EXPECT_EQ(pages.slot[SLOT_SYSTEM].changed, 2);
    // The second entry again: moved up, nothing new.
    EXPECT_FALSE(recent_push(entry("/d/one.dat")));
    EXPECT_EQ(pages.slot[SLOT_SYSTEM].changed, 2);
    // In other letters it is the same file, but its record changed.
    EXPECT_TRUE(recent_push(entry("/D/ONE.dat")));
    EXPECT_STREQ(recent_files()[1].filename, "/d/two.dat");
    EXPECT_TRUE(recent_push(entry("/d/one.dat")));
    EXPECT_STREQ(recent_files()[0].filename, "/d/one.dat");
    EXPECT_STREQ(recent_files()[1].filename, "/d/two.dat");
    // A fifth distinct file drops the oldest.
    for (const char* f : {"/d/three.dat", "/d/four.dat", "/d/five.dat"}) recent_push(entry(f));
    EXPECT_STREQ(recent_files()[0].filename, "/d/five.dat");
    EXPECT_STREQ(recent_files()[3].filename, "/d/one.dat");
    // The File menu: a separator, then "&N " and the path.
    ASSERT_NE(fake_ui_menu_item(CMD_RECENT_FIRST - 1), nullptr);
    EXPECT_EQ(fake_ui_menu_item(CMD_RECENT_FIRST - 1)->text, "");
    EXPECT_EQ(fake_ui_menu_item(CMD_RECENT_FIRST)->text, "&1 /d/five.dat");
    EXPECT_EQ(fake_ui_menu_item(CMD_RECENT_FIRST + 3)->text, "&4 /d/one.dat");
    EXPECT_EQ(fake_ui_menu_item(CMD_RECENT_FIRST)->menu, "&File");
    int separators = 0;
    for (const FakeMenuItem& m : fake_ui_menu())
        if (m.command == CMD_RECENT_FIRST - 1) separators++;
    EXPECT_EQ(separators, 1);
}

TEST_F(FileCommands, RecentItemReopensWithoutADialog) {
    recent_push(entry(cwd_file("fc_b.dat")));
    recent_push(entry(cwd_file("fc_a.dat")));
    vantor_command(CMD_RECENT_FIRST + 1);
    EXPECT_TRUE(zyr.IoFlags & IO_RAW_PLAYBACK);
    EXPECT_TRUE(fake_ui_file_dialogs().empty());
    EXPECT_STREQ(recent_files()[0].filename, cwd_file("fc_b.dat").c_str());
    EXPECT_EQ(fake_ui_menu_item(CMD_RECENT_FIRST)->text.substr(0, 3), "&1 ");
}

TEST_F(FileCommands, RecentListTravelsWithPageZero) {
    FileEntry page[RECENT_FILES] = {};
    page[0] = entry("/x/a.dat");
    page[2] = entry("/x/c.txt", 'a');
    recent_from_page(page);
    EXPECT_NE(fake_ui_menu_item(CMD_RECENT_FIRST), nullptr);
    EXPECT_EQ(fake_ui_menu_item(CMD_RECENT_FIRST + 1), nullptr);
    EXPECT_EQ(fake_ui_menu_item(CMD_RECENT_FIRST + 2)->text, "&3 /x/c.txt");
    FileEntry out[RECENT_FILES] = {};
    recent_to_page(out);
    EXPECT_EQ(memcmp(out, page, sizeof page), 0);
}

TEST_F(FileCommands, PathShortening) {
    struct Case {
        const char* path;
        int n;
        const char* out;
    };
    static const Case kCases[] = {
        {"/data/a.dat", 24, "/data/a.dat"},
        {"/home/operator/flights/2026/pass-0042.dat", 24, "/~/pass-0042.dat"},
        {"/home/operator/flights/2026/a-very-long-file-name.dat", 24, "a-very-long-file-name.da"},
        {"/home/operator/flights/2026/a-longer-file-name.dat", 24, "a-longer-file-name.dat"},
        {"relative/dir/file.dat", 10, "file.dat"},
        {"/abc/d.dat", 10, "/abc/d.dat"},
    };
    for (const Case& c : kCases) {
        char out[100];
        path_shorten(c.path, c.n, out, sizeof out);
        EXPECT_STREQ(out, c.out) << c.path;
        EXPECT_LE(strlen(out), (size_t)c.n);
    }
}
