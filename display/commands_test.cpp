#include "display/commands.h"

#include <gtest/gtest.h>

#include "tests/engine_support.h"

class Commands : public ::testing::Test {
protected:
    void SetUp() override { reset_engine(); }
    void TearDown() override {
        reset_engine();
        plat_fake_clock_off();
    }
};

TEST_F(Commands, AcceleratorTableNamesItsCommands) {
    for (int i = 0; i < kVantorAccelCount; i++) EXPECT_GT(kVantorAccels[i].command, 0) << kVantorAccels[i].keys;
}

TEST_F(Commands, DisplayToggleAndLoopKeys) {
    vantor_command(CMD_DISPLAY_TOGGLE);
    EXPECT_FALSE(zyr.work_mask & WM_DISPLAY);
    vantor_command(CMD_DISPLAY_TOGGLE);
    EXPECT_TRUE(zyr.work_mask & WM_DISPLAY);
    vantor_command(CMD_LOOP_DOUBLE);
    EXPECT_EQ(zyr.loop_msecs, 20u);
    vantor_command(CMD_LOOP_HALVE);
    vantor_command(CMD_LOOP_HALVE);
    EXPECT_EQ(zyr.loop_msecs, 5u);
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

TEST_F(Commands, StepKeyWarnsOnlyForLiveInput) {
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
}

TEST_F(Commands, ExitAsksAndQuitsOnYes) {
    fake_ui_answer(IDCANCEL);
    vantor_command(CMD_EXIT);
    EXPECT_FALSE(fake_ui_quit_posted());
    fake_ui_answer(IDYES);
    vantor_command(CMD_EXIT);
    EXPECT_TRUE(fake_ui_quit_posted());
    EXPECT_EQ(fake_ui_boxes()[1].text, "Do you wish to exit ZYR ?");
}
