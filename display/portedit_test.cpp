#include "display/portedit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "display/commands.h"
#include "display/ports.h"
#include "tests/display_support.h"
#include "tests/eval_support.h"

class PortEdit : public ::testing::Test {
protected:
    void SetUp() override {
        reset_display_page();
        ASSERT_NE(grid.shadow, nullptr);
        portedit_reset();
        char tmpl[] = "/tmp/zyr-portedit.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(page_set_dir(dir_.c_str()), 0);
        pages.slot[SLOT_DISPLAY].page = 10;
    }
    void TearDown() override {
        vport_reset();
        grid_reset();
        eval_teardown();
        std::string rm = "rm -rf " + dir_;
        (void)system(rm.c_str());
    }
    // A port of the display page with its frame at (row, col).
    ZyrPort* port_at(const char* name, int row, int col) {
        PortRecord r = eval_record(VIEW_PACKETHEADER, 8, "%5hu");
        snprintf(r.mnemonic, sizeof r.mnemonic, "%s", name);
        r.row = (uint16_t)row;
        r.column = (uint16_t)col;
        ZyrPort* p = make_port(r);
        eval_run(1);   // on screen
        return p;
    }
    // The template page 9998 with VPORT_default at row 5, column 5.
    void write_templates() {
        std::string path = dir_ + "/PAGE9998.BIN";
        int f = zyr_fopen(path.c_str(), "w", 0);
        ASSERT_GE(f, 0);
        PortRecord r = eval_record(VIEW_PACKETDATA, 0, "%6hd");
        snprintf(r.mnemonic, sizeof r.mnemonic, "VPORT_default");
        snprintf(r.title, sizeof r.title, "New value");
        r.row = r.column = 5;
        ASSERT_GT(page_write_record(f, TAG_PORT, &r), 0);
        // X_default and PLOT_EXMPL: a plot pair as the compiler writes it.
        PortRecord x = eval_record(VIEW_PACKETHEADER, 4, "%10lu", "%10.0f");
        snprintf(x.mnemonic, sizeof x.mnemonic, "X_default");
        x.row = 10;
        x.column = 5;
        ASSERT_GT(page_write_record(f, TAG_PORT, &x), 0);
        PortRecord y = eval_record(VIEW_PACKETDATA, 0, "%6hd", "%8.2f", PF_ENABLE | PF_PLOT | PF_LINEPLOT);
        snprintf(y.mnemonic, sizeof y.mnemonic, "PLOT_EXMPL");
        y.row = 10;
        y.column = 30;
        y.plot_row = 30;
        y.plot_column = 5;
        y.plot_width = 40;
        y.plot_height = 12;
        y.xupper = y.yupper = 100;
        y.maxpoints = 50;
        ASSERT_GT(page_write_record(f, TAG_PORT, &y), 0);
        zyr_fclose(f);
    }
    std::string dir_;
};

TEST_F(PortEdit, ADoubleClickOnALockedDisplayOnlyOffersTheUnlock) {
    port_at("P1", 6, 3);
    zyr.SystemFlags |= SF_DISPLAY_LOCK;
    fake_ui_answer(IDNO);
    page_double_click(4, 5);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Display Lock");
    EXPECT_EQ(fake_ui_boxes()[0].text, "The display is currently locked.\nPress Yes to unlock,\nNo or Cancel otherwise.");
    EXPECT_TRUE(fake_ui_dialogs().empty());
    EXPECT_TRUE(zyr.SystemFlags & SF_DISPLAY_LOCK);
    fake_ui_answer(IDYES);
    page_double_click(4, 5);
    EXPECT_FALSE(zyr.SystemFlags & SF_DISPLAY_LOCK);
    EXPECT_TRUE(fake_ui_dialogs().empty());
}

TEST_F(PortEdit, DeletingTheLastParameterAsksForThePage) {
    ZyrPort* p = port_at("PKTCOUNT", 6, 3);
    ASSERT_NE(p, nullptr);
    int index = p->index;
    static int deleted_page;
    deleted_page = -1;
    portedit_hooks.delete_page_files = [](int page) { deleted_page = page; };
    fake_ui_dialog_press(BTN_DELETE);
    fake_ui_answer(IDOK);
    page_double_click(4, 5);
    ASSERT_FALSE(fake_ui_dialogs().empty());
    EXPECT_EQ(fake_ui_dialogs()[0].title, "'PKTCOUNT' Options");
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Delete Parameter");
    EXPECT_EQ(fake_ui_boxes()[0].text, "Deleting this last parameter will\nalso delete the page. OK ?");
    EXPECT_EQ(page_port(index), nullptr);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].changed, 0);
    EXPECT_EQ(deleted_page, 10);
    EXPECT_FALSE(delete_lock);
}

TEST_F(PortEdit, DeletingOneOfTwoAsksByNameAndCancelKeepsIt) {
    ZyrPort* a = port_at("VBUS", 6, 3);
    port_at("IBUS", 12, 3);
    fake_ui_answer(IDCANCEL);
    EXPECT_EQ(parameter_delete(a->index), -1);
    EXPECT_EQ(fake_ui_boxes().back().text, "Are you sure you want to\ndelete VBUS ?");
    EXPECT_NE(page_port(a->index), nullptr);
    fake_ui_answer(IDOK);
    int index = a->index;
    EXPECT_EQ(parameter_delete(index), 0);
    EXPECT_EQ(page_port(index), nullptr);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].changed, 1);
}

TEST_F(PortEdit, ANewParameterFromTheTemplateLandsAtTheClickedCell) {
    write_templates();
    port_at("P1", 6, 3);
    int before = pages.next_index;
    fake_ui_dialog_press(BTN_NEW);                                 // New Parameter
    fake_ui_dialog_answer([](const FakeDialog& d) {                // Select new port template
        d.select("&Parameter", 0);
        return IDOK;
    });
    fake_ui_dialog_press(IDOK);                                    // its settings
    page_double_click(40, 20);
    ASSERT_EQ(fake_ui_dialogs().size(), 3u);
    EXPECT_EQ(fake_ui_dialogs()[0].title, "New Parameter");
    EXPECT_EQ(fake_ui_dialogs()[1].title, "Select new port template");
    EXPECT_EQ(fake_ui_dialogs()[2].title, "Parameter 'VPORT_default' Settings");
    ASSERT_EQ(pages.next_index, before + 1);
    PortHead* n = page_port(before);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->rec->row, 20);
    EXPECT_EQ(n->rec->column, 40);
    EXPECT_EQ(pages.slot[SLOT_DISPLAY].changed, 1);
}

TEST_F(PortEdit, CancelInTheSettingsRemovesTheNewPort) {
    write_templates();
    port_at("P1", 6, 3);
    int before = pages.next_index;
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.select("&Parameter", 0);
        return IDOK;
    });
    fake_ui_dialog_press(IDCANCEL);
    EXPECT_EQ(parameter_new(40, 20), -1);
    EXPECT_EQ(page_port(before), nullptr);
}

TEST_F(PortEdit, NewIsRefusedOnTheTemplatePage) {
    port_at("P1", 6, 3);
    pages.slot[SLOT_DISPLAY].page = 9998;
    EXPECT_EQ(parameter_new(40, 20), -1);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "Page Operation");
    EXPECT_EQ(fake_ui_boxes()[0].text, "Cannot perform this operation\non pages 0,9998,9999");
}

// The settings dialog stays up with the corrections shown, and takes the
// corrected values on the next OK.
TEST_F(PortEdit, SettingsCorrectCountAndShowTheErrorsInOneBox) {
    ZyrPort* p = port_at("SAMPLE", 6, 3);
    int index = p->index;
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.set_edit("Coun&t", "3");
        d.set_edit("Incr&ement", "0");
        d.set_edit("&Column", "30");
        return IDOK;
    });
    fake_ui_dialog_press(IDOK);
    EXPECT_EQ(parameter_settings(index), 0);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "!! INVALID View-port Settings !!");
    EXPECT_EQ(fake_ui_boxes()[0].text, "Count: Increment = 0 ==> Count must be 1\n");
    ZyrPort* q = zyr_port(index);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->h.rec->supercommcount, 1);
    EXPECT_EQ(q->h.rec->column, 30);
}

TEST_F(PortEdit, AnAlarmIsSetFromTheDialog) {
    ZyrPort* p = port_at("PKTCOUNT", 6, 3);
    int index = p->index;
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.set_check("&Blink", true);
        d.set_edit("&Lower Limit", "0");
        d.set_edit("&Upper Limit", "200");
        return BTN_ON;
    });
    EXPECT_EQ(parameter_alarm(index), 0);
    ZyrPort* q = zyr_port(index);
    ASSERT_NE(q, nullptr);
    EXPECT_TRUE(q->h.port_flags & PF_ALARM);
    EXPECT_TRUE(q->h.flags & RT_HAS_LIMITS);
    EXPECT_EQ(q->h.rec->alarm_upper.u32, 200u);
    EXPECT_EQ(q->h.rec->alarm_flags, (uint32_t)AL_BLINK);
    EXPECT_EQ(fake_ui_dialogs()[0].title, "'PKTCOUNT' Alarm");
}

// A playback may change the page while the settings are open: the edit is
// not applied to whatever the next page holds.
TEST_F(PortEdit, AnEditIsDroppedWhenThePageChangesBehindTheDialog) {
    ZyrPort* p = port_at("PKTCOUNT", 6, 3);
    int index = p->index;
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.set_edit("&Column", "30");
        page_change(10);   // the page is read again: the port is gone
        return IDOK;
    });
    EXPECT_EQ(parameter_settings(index), -1);
    EXPECT_EQ(page_port(index), nullptr);
    ASSERT_FALSE(fake_ui_boxes().empty());
    EXPECT_EQ(fake_ui_boxes().back().text, "The page changed while the dialog was open:\nnothing was changed.");
}

// The function list of the settings: picking polynomial calibrates the port
// with the coefficients of its calibration dialog.
TEST_F(PortEdit, AFunctionAndItsCoefficientsFromTheSettings) {
    ZyrPort* p = port_at("VBUS", 6, 3);
    int index = p->index;
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.set_edit("&Format", "%7.2f");
        d.select("Fu&nction", FN_POLYNOMIAL + 1);
        return BTN_FUNCTION;
    });
    fake_ui_dialog_answer([](const FakeDialog& d) {   // the calibration dialog
        d.set_edit("a&1", "0.005");
        d.set_edit("a&0", "0");
        return IDOK;
    });
    fake_ui_dialog_press(IDOK);
    EXPECT_EQ(parameter_settings(index), 0);
    ZyrPort* q = zyr_port(index);
    ASSERT_NE(q, nullptr);
    EXPECT_TRUE(q->h.port_flags & PF_CALIB);
    EXPECT_EQ(q->h.rec->function, FN_POLYNOMIAL);
    EXPECT_DOUBLE_EQ(q->h.rec->cal.a1.d, 0.005);
    EXPECT_EQ(q->h.rec->cal.calflags & CAL_COEFF_MASK, 3u);
    EXPECT_EQ(fake_ui_dialogs()[1].title, "VBUS polynomial calibration");
}

// The plot template brings its X port, and the plot moves with the port.
TEST_F(PortEdit, ThePlotTemplateMakesAPairAtTheCell) {
    write_templates();
    port_at("P1", 6, 3);
    int before = pages.next_index;
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.select("&Parameter", 1);   // PLOT_EXMPL
        return IDOK;
    });
    fake_ui_dialog_press(IDOK);
    int yi = parameter_new(35, 12);
    ASSERT_EQ(yi, before + 1);
    PortHead* x = page_port(before);
    PortHead* y = page_port(yi);
    ASSERT_NE(x, nullptr);
    ASSERT_NE(y, nullptr);
    EXPECT_TRUE(x->flags & RT_XPORT);
    EXPECT_STREQ(x->rec->mnemonic, "X_default");
    EXPECT_EQ(y->rec->row, 12);
    EXPECT_EQ(y->rec->column, 35);
    EXPECT_EQ(y->rec->plot_row, 32);      // moved by the same 2 rows and 5 columns
    EXPECT_EQ(y->rec->plot_column, 10);
    EXPECT_EQ(fake_ui_dialogs().back().title, "Parameter 'PLOT_EXMPL' Y port Settings");
}

// Copy from another page: the list says which page file it shows, and a
// plot comes with its X port to the clicked cell.
TEST_F(PortEdit, CopyFromBringsAPlotPairFromTheChosenPage) {
    write_templates();
    port_at("P1", 6, 3);
    static std::string from;
    from = dir_ + "/PAGE9998.BIN";
    portedit_hooks.choose_page = [](const char*, char* path, int cap, int* page) {
        snprintf(path, (size_t)cap, "%s", from.c_str());
        *page = 9998;
        return 1;
    };
    int before = pages.next_index;
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.select("&Parameter", 2);   // PLOT_EXMPL, after VPORT_default and X_default
        return IDOK;
    });
    fake_ui_dialog_press(IDOK);
    int yi = parameter_copy_from(20, 8);
    ASSERT_EQ(yi, before + 1);
    ASSERT_GE(fake_ui_dialogs().size(), 2u);
    EXPECT_EQ(fake_ui_dialogs()[0].title, "Select Parameter to Copy");
    ASSERT_FALSE(fake_ui_dialogs()[0].texts.empty());
    EXPECT_EQ(fake_ui_dialogs()[0].texts[0], "Copy Parameter from:\n" + from);
    EXPECT_STREQ(page_port(before)->rec->mnemonic, "X_default");
    EXPECT_TRUE(page_port(before)->flags & RT_XPORT);
    EXPECT_EQ(page_port(yi)->rec->row, 8);
    EXPECT_EQ(page_port(yi)->rec->column, 20);
}

// "&X Value" in a plot's Y port settings edits its X port, which is taken
// only with the Y port's OK.
TEST_F(PortEdit, TheXValueOfAPlotIsEditedFromItsYPort) {
    write_templates();
    port_at("P1", 6, 3);
    fake_ui_dialog_answer([](const FakeDialog& d) {
        d.select("&Parameter", 1);   // PLOT_EXMPL
        return IDOK;
    });
    fake_ui_dialog_press(IDOK);
    int yi = parameter_new(35, 12);
    ASSERT_GT(yi, 0);
    auto edit_x_then = [](int y_button) {
        fake_ui_dialog_press(BTN_XVALUE);
        fake_ui_dialog_answer([](const FakeDialog& d) {
            d.set_edit("&Mnemonic", "RUNTIME");
            d.set_edit("&Format", "%9.3f");
            return IDOK;
        });
        fake_ui_dialog_press(y_button);
    };
    edit_x_then(IDCANCEL);
    EXPECT_EQ(parameter_settings(yi), -1);
    EXPECT_STREQ(page_port(yi - 1)->rec->mnemonic, "X_default");
    edit_x_then(IDOK);
    EXPECT_EQ(parameter_settings(yi), 0);
    EXPECT_EQ(fake_ui_dialogs().back().title, "Parameter 'X_default' X port Settings");
    ASSERT_NE(page_port(yi - 1), nullptr);
    EXPECT_STREQ(page_port(yi - 1)->rec->mnemonic, "RUNTIME");
    EXPECT_STREQ(page_port(yi - 1)->rec->displayformat, "%9.3f");
    EXPECT_TRUE(page_port(yi - 1)->flags & RT_XPORT);
    EXPECT_TRUE(page_port(yi)->port_flags & PF_PLOT);
}

TEST_F(PortEdit, APortWithoutAPlotHasNoXValue) {
    ZyrPort* p = port_at("VBUS", 6, 3);
    fake_ui_dialog_press(BTN_XVALUE);
    fake_ui_dialog_press(IDCANCEL);
    EXPECT_EQ(parameter_settings(p->index), -1);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "X Value");
}
