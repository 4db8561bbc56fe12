#include "display/steps.h"

#include <gtest/gtest.h>

#include "tests/menu_support.h"

class Steps : public ::testing::Test {
protected:
    void SetUp() override {
        reset_menus();
        switch_hooks.echo = [](bool on) {
            if (on)
                zyr.SystemFlags |= SF_ECHO;
            else
                zyr.SystemFlags &= ~SF_ECHO;
            return 0;
        };
        switch_hooks.command_output = [](bool on) {
            if (on)
                zyr.SystemFlags |= SF_COMMAND_OUT;
            else
                zyr.SystemFlags &= ~SF_COMMAND_OUT;
            return 0;
        };
    }
    void TearDown() override { end_menus(); }
};

// Step mode is asked of the cycle, which turns the request into the bit.
static bool switch_is_on(const SwitchRow& r) {
    if (r.command == CMD_STEP_MODE) return cyc.operator_step;
    return (*r.word & r.bit) != 0;
}

TEST_F(Steps, EverySwitchOnOffAndNoChange) {
    struct Case {
        const char* radio;
        int changed;
        bool on_after;
    };
    // From off: On, On again, Off, Off again, then Cancel after choosing On.
    static const Case kSequence[] = {
        {"&On", 1, true}, {"&On", 0, true}, {"O&ff", 1, false}, {"O&ff", 0, false},
    };
    for (int i = 0; i < switch_count(); i++) {
        const SwitchRow& r = *switch_at(i);
        SCOPED_TRACE(r.title);
        for (const Case& c : kSequence) {
            answer_switch(c.radio);
            EXPECT_EQ(switch_command(r.command), c.changed) << c.radio;
            EXPECT_EQ(switch_is_on(r), c.on_after) << c.radio;
            step_mode_update();  // the cycle takes a step mode request
        }
        fake_ui_dialog_answer([](const FakeDialog& d) {
            d.choose("&On");
            return IDCANCEL;
        });
        EXPECT_EQ(switch_command(r.command), 0);
        EXPECT_FALSE(switch_is_on(r));
        EXPECT_EQ(steps.current, 0);
        // The dialog shows the prompt and the state, padded to 50.
        const FakeShownDialog& shown = fake_ui_dialogs().back();
        EXPECT_EQ(shown.title, r.title);
        std::string line = std::string(r.prompt) + "OFF:";
        line.resize(PROMPT_PAD, ' ');
        EXPECT_EQ(shown.texts.at(0), line);
    }
}

TEST_F(Steps, AnswerOtherThanYesOrNoAsksAgain) {
    const SwitchRow& r = *switch_row(CMD_DIAGNOSTICS);
    ASSERT_EQ(step_run(r.open_step), 0);
    EXPECT_EQ(steps.current, r.answer_step);
    for (const char* bad : {"Y", "yes", "", "x"}) {
        snprintf(steps.entry, sizeof steps.entry, "%s", bad);
        EXPECT_NE(step_run(r.answer_step), 0) << bad;
        EXPECT_STREQ(prompt_text(steps.sel[2]), "Invalid Entry. Retype...");
        EXPECT_EQ(steps.current, r.answer_step);
    }
    EXPECT_FALSE(zyr.SystemFlags & SF_DIAGNOSTICS);
    snprintf(steps.entry, sizeof steps.entry, "y");
    EXPECT_EQ(step_run(r.answer_step), 0);
    EXPECT_TRUE(zyr.SystemFlags & SF_DIAGNOSTICS);
}

TEST_F(Steps, SwitchChangeMarksTheSettingsChanged) {
    answer_switch("&On");
    switch_command(CMD_SOUND);
    EXPECT_EQ(pages.slot[SLOT_SYSTEM].changed, 1);
    answer_switch("&On");
    switch_command(CMD_SOUND);  // no change
    EXPECT_EQ(pages.slot[SLOT_SYSTEM].changed, 1);
}

TEST_F(Steps, EchoAndCommandOutputRefusedByTheirModule) {
    switch_hooks.echo = [](bool) { return 1; };
    answer_switch("&On");
    EXPECT_EQ(switch_command(CMD_ECHO), 0);
    EXPECT_FALSE(zyr.SystemFlags & SF_ECHO);
    EXPECT_EQ(pages.slot[SLOT_SYSTEM].changed, 0);
}

TEST_F(Steps, MonochromeFollowsIntoTheSystemFlags) {
    answer_switch("&On");
    switch_command(CMD_MONOCHROME);
    EXPECT_TRUE(grid.video_flags & VIDEO_MONO);
    EXPECT_TRUE(zyr.SystemFlags & SF_MONOCHROME);
    answer_switch("O&ff");
    switch_command(CMD_MONOCHROME);
    EXPECT_FALSE(zyr.SystemFlags & SF_MONOCHROME);
}

static uint32_t value_now(int command) { return value_row(command)->current(); }

static std::string range_box(uint32_t lo, uint32_t hi) {
    return "Invalid, outside range:\n" + std::to_string(lo) + " <= value <= " + std::to_string(hi) +
           "\nPress OK to return\n";
}

TEST_F(Steps, EveryValueBoundsAndBadEntries) {
    for (int i = 0; i < value_count(); i++) {
        const ValueRow& r = *value_at(i);
        SCOPED_TRACE(r.title);
        uint32_t before = value_now(r.command);
        // Refused entries keep the dialog open; the last answer cancels.
        std::vector<std::string> bad = {std::to_string((unsigned long)r.hi + 1), "abc", "12x", "-1", " "};
        if (r.lo > 0) bad.push_back(std::to_string(r.lo - 1));
        for (const std::string& b : bad) answer_value(b.c_str());
        fake_ui_dialog_press(IDCANCEL);
        size_t boxes = fake_ui_boxes().size();
        EXPECT_EQ(value_command(r.command), 0);
        EXPECT_EQ(value_now(r.command), before);
        int range_boxes = 0;
        for (size_t b = boxes; b < fake_ui_boxes().size(); b++)
            if (fake_ui_boxes()[b].caption == "!! ERROR !!") {
                EXPECT_EQ(fake_ui_boxes()[b].text, range_box(r.lo, r.hi));
                range_boxes++;
            }
        EXPECT_EQ(range_boxes, (int)bad.size() - 1);  // the blank entry only waits
        // Both bounds are taken.
        for (uint32_t v : {r.hi, r.lo}) {
            answer_value(("  " + std::to_string(v) + " ").c_str());
            EXPECT_EQ(value_command(r.command), 1);
        }
        EXPECT_EQ(steps.current, 0);
    }
    EXPECT_EQ(zyr.loop_msecs, 1u);
    EXPECT_EQ(pages.file_bufsize, 1024u);
    EXPECT_EQ(com_settings[0].bufsize, 1024u);
    EXPECT_EQ(net_settings.in_bufsize, 8192u);
}

TEST_F(Steps, LoopTimeDialogShowsTheMeasuredAverage) {
    cyc.meanallfr_usecs = 10240 - 500;
    answer_value("250");
    EXPECT_EQ(value_command(CMD_LOOP_TIME), 1);
    EXPECT_EQ(zyr.loop_msecs, 250u);
    const FakeShownDialog& d = fake_ui_dialogs().back();
    EXPECT_EQ(d.title, "Loop-time");
    EXPECT_EQ(d.texts.at(0).substr(0, 28), "Enter new loop time in msecs");
    EXPECT_EQ(d.texts.at(1).substr(0, 23), "Current setting = 10 ms");
    EXPECT_EQ(d.texts.at(2).substr(0, 22), "Measured avg. = 10 ms ");
}

TEST_F(Steps, WarningsBeforeAValueTakesEffect) {
    struct Case {
        int command;
        uint32_t io;
        const char* caption;
        int answer;
        bool applied;
    };
    static const Case kCases[] = {
        {511, IO_RAW_RECORD, "File Buffer Size", IDCANCEL, false},
        {511, IO_ASCII_PLAYBACK, "File Buffer Size", IDOK, true},
        {541, IO_SERIAL_IN, "Serial Buffer Size", IDCANCEL, false},
        {541, IO_SERIAL_OUT, "Serial Buffer Size", IDNO, true},
        {576, IO_NET_IN, "Internet Buffer Size", IDCANCEL, false},
        {576, IO_NET_OUT, "Internet Buffer Size", IDNO, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.caption);
        reset_menus();
        zyr.IoFlags = c.io;
        uint32_t before = value_now(c.command);
        fake_ui_answer(c.answer);
        answer_value("16");
        value_command(c.command);
        ASSERT_FALSE(fake_ui_boxes().empty());
        EXPECT_EQ(fake_ui_boxes().back().caption, c.caption);
        EXPECT_EQ(value_now(c.command), c.applied ? 16u : before);
    }
}

TEST_F(Steps, SerialBufferYesReopensThePorts) {
    static int reopened;
    reopened = 0;
    switch_hooks.serial_reopen_all = [] { reopened++; };
    zyr.IoFlags = IO_SERIAL_IN;
    fake_ui_answer(IDYES);
    answer_value("64");
    value_command(541);
    EXPECT_EQ(reopened, 1);
    EXPECT_EQ(com_settings[3].bufsize, 65535u);  // a 16-bit field
}

TEST_F(Steps, TextDialogTakesEightyCharacters) {
    answer_value(std::string(80, '7').c_str());
    fake_ui_dialog_press(IDCANCEL);
    EXPECT_EQ(value_command(CMD_LOOP_TIME), 0);
    EXPECT_EQ(zyr.loop_msecs, 10u);
    EXPECT_EQ(fake_ui_boxes().back().text, range_box(1, LOOP_MSECS_MAX));
}

TEST_F(Steps, ErrorBoxAndFixedPrompts) {
    error_box("one", nullptr, "three");
    EXPECT_EQ(fake_ui_boxes().back().text, "one\nthree\nPress OK to return\n");
    EXPECT_EQ(fake_ui_boxes().back().caption, "!! ERROR !!");
    EXPECT_STREQ(prompt_text(PROMPT_EXIT), "Exit ZYR Y/N ?");
    EXPECT_STREQ(prompt_text(PROMPT_PAGE), "Page number 0 - 9999 ?");
    EXPECT_STREQ(prompt_text(PROMPT_COUNT), "");
    char padded[80];
    prompt_padded(PROMPT_NAME, padded, sizeof padded);
    EXPECT_EQ(strlen(padded), (size_t)PROMPT_PAD);
    prompt_set(1, "%s", std::string(100, 'a').c_str());
    EXPECT_EQ(strlen(prompt_text(1)), (size_t)PROMPT_LINE_MAX);
}

TEST_F(Steps, AboutAndMnemonicSelect) {
    about_box();
    EXPECT_EQ(fake_ui_dialogs().back().title, "About ZYR");
    EXPECT_EQ(fake_ui_dialogs().back().texts.at(0), "ZYR for Windows");
    const char* names[] = {"alpha", "beta", "gamma"};
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.select("&Parameter", 2);
        return IDOK;
    });
    EXPECT_EQ(mnemonic_select("Select Parameter", names, 3, 0), 2);
    fake_ui_dialog_press(IDCANCEL);
    EXPECT_EQ(mnemonic_select("Select Parameter", names, 3, 0), -1);
}
