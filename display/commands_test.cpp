#include "display/commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "engine/evaluate.h"
#include "tests/menu_support.h"

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        reset_menus();
        evaluate_reset();
    }
    void TearDown() override {
        end_menus();
        evaluate_reset();
    }
};

TEST_F(Commands, MenuTreeItemsAndKeys) {
    struct Item {
        int command;
        const char* menu;
        const char* text;
    };
    static const Item kSpots[] = {
        {119, "&File>&Replay", "&Raw bin..."},     {128, "&File>R&ecord", "&Compr'd bin..."},
        {420, "&File", "&Print...\tCtrl+P"},      {500, "&File", "E&xit\tAlt+F4"},
        {147, "&Transfer>&Serial", "com&4..."},    {541, "&Transfer>&Serial", "&Buffer size"},
        {577, "&Transfer>&Network", "Shutdo&wn"}, {390, "&Transfer", "&Pkt format..."},
        {218, "&Display", "&Rename..."},           {156, "&Options>&Switches", "&Step mode\tESC"},
        {480, "&Options>S&ystem", "&Save settings"}, {410, "&Options", "&Info..."},
        {170, "&Help", "&ZYR &Help"},
    };
    for (const Item& s : kSpots) {
        const FakeMenuItem* m = fake_ui_menu_item(s.command);
        ASSERT_NE(m, nullptr) << s.command;
        EXPECT_EQ(m->menu, s.menu);
        EXPECT_EQ(m->text, s.text);
    }
    std::set<int> commands;
    int items = 0;
    for (int i = 0; i < kVantorMenuCount; i++) {
        if (!kVantorMenu[i].text) continue;
        items++;
        EXPECT_TRUE(commands.insert(kVantorMenu[i].command).second) << kVantorMenu[i].command;
        EXPECT_EQ((kVantorMenu[i].flags & MI_RIGHT) != 0, std::string(kVantorMenu[i].menu) == "&Help");
    }
    EXPECT_EQ(items, 60);
    for (int grey : {556, 557, 553, 578, 571, 573}) EXPECT_FALSE(fake_ui_menu_item(grey)->enabled) << grey;
    static const PlatAccel kKeys[] = {
        {"+", 176},      {"-", 175},     {"Ctrl+F", 184},       {"Ctrl+P", 420}, {"Alt+P", 102},
        {"Alt+Q", 500},  {"Ctrl+R", 440}, {"Delete", 171},      {"Shift+Delete", 183}, {"Escape", 174},
        {"F1", 170},     {"PgDown", 172}, {"PgUp", 173},        {"Return", 179}, {"Ctrl+X", 610},
    };
    ASSERT_EQ(kVantorAccelCount, (int)std::size(kKeys));
    for (int i = 0; i < kVantorAccelCount; i++) {
        EXPECT_STREQ(kVantorAccels[i].keys, kKeys[i].keys);
        EXPECT_EQ(kVantorAccels[i].command, kKeys[i].command);
    }
}

TEST_F(Commands, MenuRefreshMarksFromTheSwitchWords) {
    zyr.SystemFlags = SF_DIAGNOSTICS | SF_OVERCLOCK | SF_BEEPER;
    zyr.IoFlags = IO_ASCII_RECORD | IO_TEST_DATA | IO_LEAVE_OPEN_EOF;
    pages.timeout_period = 5;
    menu_hooks.com_open = [](int port) { return port == 2; };
    menu_refresh();
    struct Mark {
        int command;
        bool on;
    };
    static const Mark kMarks[] = {
        {152, true},  {545, true},  {180, true},  {112, false}, {156, false}, {127, true}, {126, false},
        {111, true},  {187, true},  {540, true},  {142, true},  {132, false}, {160, false}, {206, false},
    };
    for (const Mark& m : kMarks) EXPECT_EQ(fake_ui_menu_item(m.command)->checked, m.on) << m.command;
    pages.backup_period = 60;  // Backup is checked by its period too
    menu_refresh();
    EXPECT_TRUE(fake_ui_menu_item(160)->checked);
}

TEST_F(Commands, LaterItemsGreyedUntilTheirModuleRegisters) {
    pages.slot[SLOT_DISPLAY].count = 3;
    menu_refresh();
    for (int later : {102, 113, 132, 188, 207, 390, 391, 410, 420, 551, 574})
        EXPECT_FALSE(fake_ui_menu_item(later)->enabled) << later;
    EXPECT_FALSE(fake_ui_menu_item(CMD_ECHO)->enabled);
    for (int own : {119, 126, 157, 160, 480, 500, 540, 541, 576, 206, 154, 400, 100, 170})
        EXPECT_TRUE(fake_ui_menu_item(own)->enabled) << own;
    static int ran;
    ran = 0;
    command_register(420, [](int) { ran++; });
    menu_refresh();
    EXPECT_TRUE(fake_ui_menu_item(420)->enabled);
    vantor_command(CMD_PRINT);
    EXPECT_EQ(ran, 1);
    // The page commands want an unlocked page with ports.
    command_register(207, [](int) {});
    menu_refresh();
    EXPECT_TRUE(fake_ui_menu_item(207)->enabled);
    zyr.SystemFlags |= SF_DISPLAY_LOCK;
    menu_refresh();
    EXPECT_FALSE(fake_ui_menu_item(207)->enabled);
    EXPECT_FALSE(fake_ui_menu_item(154)->enabled);
    zyr.SystemFlags &= ~SF_DISPLAY_LOCK;
    pages.slot[SLOT_DISPLAY].count = 0;
    menu_refresh();
    EXPECT_FALSE(fake_ui_menu_item(207)->enabled);
}

TEST_F(Commands, DisplayToggleAndLoopKeys) {
    vantor_command(CMD_DISPLAY_TOGGLE);
    EXPECT_FALSE(zyr.work_mask & WM_DISPLAY);
    vantor_command(CMD_DISPLAY_TOGGLE);
    EXPECT_TRUE(zyr.work_mask & WM_DISPLAY);
    struct Case {
        uint32_t before;
        int command;
        uint32_t after;
    };
    static const Case kCases[] = {
        {10, CMD_LOOP_DOUBLE, 20}, {3, CMD_LOOP_HALVE, 2}, {1, CMD_LOOP_HALVE, 1},
        {1, CMD_LOOP_DOUBLE, 2},   {2048000, CMD_LOOP_DOUBLE, 4096000}, {4096000, CMD_LOOP_DOUBLE, 4096000},
    };
    for (const Case& c : kCases) {
        zyr.loop_msecs = c.before;
        vantor_command(c.command);
        EXPECT_EQ(zyr.loop_msecs, c.after) << c.before;
    }
}

TEST_F(Commands, StatisticsResetAsksFirst) {
    fake_ui_answer(IDCANCEL);
    vantor_command(CMD_STATS_RESET);
    EXPECT_FALSE(zyr.SystemFlags & SF_RESET_STATS);
    fake_ui_answer(IDOK);
    vantor_command(CMD_STATS_RESET);
    EXPECT_TRUE(zyr.SystemFlags & SF_RESET_STATS);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Stats Reset");
}

TEST_F(Commands, StepKeyAndStepModeItem) {
    vantor_command(CMD_STEP_KEY);
    EXPECT_TRUE(cyc.operator_step);
    EXPECT_TRUE(fake_ui_boxes().empty());
    step_mode_update();
    vantor_command(CMD_SINGLE_STEP);
    EXPECT_EQ(cyc.step_count, 1u);
    vantor_command(CMD_STEP_KEY);  // on: off at once, steps dropped
    EXPECT_FALSE(cyc.operator_step);
    EXPECT_EQ(cyc.step_count, 0u);
    step_mode_update();
    zyr.IoFlags = IO_SERIAL_IN;
    fake_ui_answer(IDCANCEL);
    vantor_command(CMD_STEP_KEY);
    EXPECT_FALSE(cyc.operator_step);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Step-mode");
    // The menu item warns, then asks through the on/off dialog.
    fake_ui_answer(IDOK);
    answer_switch("&On");
    vantor_command(CMD_STEP_MODE);
    EXPECT_TRUE(cyc.operator_step);
    EXPECT_EQ(fake_ui_dialogs().back().title, "Step mode");
}

TEST_F(Commands, ExchangeBitsBoxes) {
    fake_ui_answer(IDOK);
    vantor_command(CMD_EXCHANGE_BITS);
    EXPECT_TRUE(zyr.IoFlags & IO_EXCHANGE_BITS);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Exhange bits 0-7 OFF");
    EXPECT_EQ(fake_ui_boxes()[0].text, "Exchange bits OFF\nPress OK to switch on\n");
    fake_ui_answer(IDCANCEL);
    vantor_command(CMD_EXCHANGE_BITS);
    EXPECT_TRUE(zyr.IoFlags & IO_EXCHANGE_BITS);
    EXPECT_EQ(fake_ui_boxes()[1].caption, "Exhancge bits 0-7 ON");
    EXPECT_EQ(fake_ui_boxes()[1].text, "Exchange bits ON\nPress OK to switch off\n");
}

TEST_F(Commands, BoxesHelpAndNesting) {
    vantor_command(CMD_CUSTOM_API);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Custom Input and Output");
    EXPECT_EQ(fake_ui_boxes()[0].flags, (unsigned)(MB_OK | MB_ICONINFORMATION));
    vantor_command(CMD_HELP);  // no help file in the start-up directory
    EXPECT_TRUE(fake_ui_opened_documents().empty());
    EXPECT_EQ(fake_ui_boxes()[1].text.substr(0, 19), "Help file not found");
    static MsgNest seen;
    command_register(410, [](int) { seen = msg_nest; });
    vantor_command(410);
    EXPECT_EQ(seen.current, 0x111);
    EXPECT_EQ(seen.depth, 1);
    EXPECT_EQ(msg_nest.depth, 0);
}

// A page directory with pages 10 and 11.
class PageKeys : public Commands {
protected:
    char dir[64] = "/tmp/zyr-pagekeys.XXXXXX";
    void SetUp() override {
        Commands::SetUp();
        ASSERT_NE(mkdtemp(dir), nullptr);
        for (const char* f : {"/PAGE0010.BIN", "/PAGE0011.BIN"}) write_file((std::string(dir) + f).c_str(), "");
        snprintf(pages.dir, sizeof pages.dir, "%s", dir);
        pages.slot[SLOT_DISPLAY].page = 10;
    }
    void TearDown() override {
        for (const char* f : {"/PAGE0010.BIN", "/PAGE0011.BIN"}) remove((std::string(dir) + f).c_str());
        rmdir(dir);
        Commands::TearDown();
    }
};

TEST_F(PageKeys, PageUpAsksForTheNextPage) {
    vantor_command(CMD_PAGE_UP);
    EXPECT_EQ(eval.request_page, 11);
    EXPECT_TRUE(zyr.SystemFlags & SF_PAGE_CHANGED);
    EXPECT_EQ(fake_ui_title(), "ZYR for Linux - vantor - PAGE0011");
    EXPECT_TRUE(fake_ui_boxes().empty());
}

TEST_F(PageKeys, RefusalsLeaveThePage) {
    struct Case {
        int command;
        bool lock, changed, display_off;
        int answer;
        const char* text;
    };
    static const Case kCases[] = {
        {CMD_PAGE_DOWN, false, false, false, 0, "Invalid Page\nPAGE0009.BIN\nPress OK to return\n"},
        {CMD_PAGE_UP, true, false, false, 0, "Cannot change page, delete lock on\nPress OK to return\n"},
        {CMD_PAGE_UP, false, true, false, IDCANCEL, "This page has changed\nDo you wish to save it ?"},
        {CMD_PAGE_UP, false, false, true, 0, nullptr},
    };
    for (const Case& c : kCases) {
        evaluate_reset();
        fake_ui_reset();
        delete_lock = c.lock;
        pages.slot[SLOT_DISPLAY].changed = c.changed;
        zyr.work_mask = c.display_off ? 0u : (uint32_t)WM_DISPLAY;
        if (c.answer) fake_ui_answer(c.answer);
        vantor_command(c.command);
        EXPECT_EQ(eval.request_page, -1) << c.command;
        if (c.text) {
            ASSERT_EQ(fake_ui_boxes().size(), 1u);
            EXPECT_EQ(fake_ui_boxes()[0].text, c.text);
        }
    }
    delete_lock = false;
}

// Settings saved into a start-up directory of their own.
class Settings : public Commands {
protected:
    char dir[64] = "/tmp/zyr-settings.XXXXXX";
    char old[512] = "";
    void SetUp() override {
        Commands::SetUp();
        ASSERT_NE(getcwd(old, sizeof old), nullptr);
        ASSERT_NE(mkdtemp(dir), nullptr);
        ASSERT_EQ(chdir(dir), 0);
        settings_register();
        page_hooks.set_loop_time = cycle_set_loop_time;
    }
    void TearDown() override {
        page_hooks = PageHooks{};
        for (const char* f : {"PAGE0000.BIN", "PAGE9999.BIN", "PAGE0000.BIN.TMP"}) {
            remove(f);
            rmdir(f);
        }
        EXPECT_EQ(chdir(old), 0);
        rmdir(dir);
        Commands::TearDown();
    }
};

TEST_F(Settings, ExitWithNothingChangedAsksOnlyTheExitQuestion) {
    fake_ui_answer(IDYES);
    vantor_command(CMD_EXIT);
    EXPECT_TRUE(fake_ui_quit_posted());
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].text, "Do you wish to exit ZYR ?");
    EXPECT_FALSE(zyr_fexists("PAGE0000.BIN"));
}

TEST_F(Settings, ExitCancelledOnTheWay) {
    struct Case {
        bool page_changed;
        const char* second_caption;
    };
    static const Case kCases[] = {{true, "Page Change"}, {false, "System Settings"}};
    for (const Case& c : kCases) {
        fake_ui_reset();
        pages.slot[SLOT_DISPLAY].changed = c.page_changed;
        settings_changed();
        fake_ui_answer(IDYES);
        fake_ui_answer(IDCANCEL);
        vantor_command(CMD_EXIT);
        EXPECT_FALSE(fake_ui_quit_posted());
        ASSERT_EQ(fake_ui_boxes().size(), 2u);
        EXPECT_EQ(fake_ui_boxes()[1].caption, c.second_caption);
    }
}

TEST_F(Settings, ExitNoDropsTheMarksAndTheNetworkChanges) {
    net_settings.tcp_port = 4001;
    fake_ui_answer(IDYES);
    fake_ui_answer(IDNO);
    vantor_command(CMD_EXIT);
    EXPECT_TRUE(fake_ui_quit_posted());
    EXPECT_EQ(fake_ui_boxes()[1].text, "The system setttings have changed\nDo you wish to save them ?");
    EXPECT_EQ(net_settings.tcp_port, 0);
    EXPECT_EQ(pages.slot[SLOT_SYSTEM].changed, 0);
}

TEST_F(Settings, SavedSettingsComeBackAtLoad) {
    zyr.loop_msecs = 250;
    FileEntry e{};
    snprintf(e.filename, sizeof e.filename, "/data/pass.dat");
    e.format[0] = 'r';
    e.mode = IO_RAW_RECORD;
    recent_push(e);
    pages.slot[SLOT_SYSPARAMS].changed = 1;
    fake_ui_answer(IDYES);
    vantor_command(CMD_SAVE_SETTINGS);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "System Settings");
    EXPECT_EQ(pages.slot[SLOT_SYSTEM].changed, 0);
    EXPECT_EQ(pages.slot[SLOT_SYSPARAMS].changed, 0);
    EXPECT_TRUE(zyr_fexists("PAGE9999.BIN"));
    zyr.loop_msecs = 10;
    memset(g_test_recent, 0, sizeof g_test_recent);
    ASSERT_EQ(page_load(0), 0);
    EXPECT_EQ(zyr.loop_msecs, 250u);
    EXPECT_STREQ(recent_files()[0].filename, "/data/pass.dat");
    EXPECT_EQ(fake_ui_menu_item(CMD_RECENT_FIRST)->text, "&1 /data/pass.dat");
}

TEST_F(Settings, MenuSaveAsksEvenWhenNothingChanged) {
    fake_ui_answer(IDNO);
    vantor_command(CMD_SAVE_SETTINGS);
    EXPECT_EQ(fake_ui_boxes()[0].text, "The system setttings have NOT changed\nDo you still wish to save them ?");
    EXPECT_FALSE(zyr_fexists("PAGE0000.BIN"));
    fake_ui_answer(IDYES);
    vantor_command(CMD_SAVE_SETTINGS);
    EXPECT_TRUE(zyr_fexists("PAGE0000.BIN"));
}

TEST_F(Settings, AFailedSaveKeepsTheMarkAndStillExits) {
    ASSERT_EQ(mkdir("PAGE0000.BIN.TMP", 0700), 0);  // the new file cannot be made
    settings_changed();
    fake_ui_answer(IDYES);
    fake_ui_answer(IDYES);
    vantor_command(CMD_EXIT);
    ASSERT_EQ(fake_ui_boxes().size(), 3u);
    EXPECT_EQ(fake_ui_boxes()[2].text, "Cannot Save Settings\nin PAGE0000.BIN.\nPress OK to return\n");
    EXPECT_NE(pages.slot[SLOT_SYSTEM].changed, 0);
    EXPECT_TRUE(fake_ui_quit_posted());
}
