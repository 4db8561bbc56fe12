#include "display/editchecks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/datatypes.h"
#include "core/pagefile.h"
#include "core/symtab.h"
#include "platform/fake/ui_fake.h"

static std::string errors_of(const DlgErrors& e) {
    std::string s;
    for (int i = 0; i < e.count; i++) s += std::string(e.text[i]) + "|";
    return s;
}

static const char* const kViews[22] = {"packetheader", "zyr_flags"};

// A value port of the packet header that passes every rule.
static VPortValues good_values() {
    VPortValues v{};
    v.view.items = kViews;
    v.view.count = 22;
    v.view.selected = 0;
    snprintf(v.datatype, sizeof v.datatype, "%%5hu");
    snprintf(v.byteindex, sizeof v.byteindex, "8");
    snprintf(v.count, sizeof v.count, "0");
    snprintf(v.incr, sizeof v.incr, "0");
    snprintf(v.mnemonic, sizeof v.mnemonic, "PKTCOUNT");
    snprintf(v.row, sizeof v.row, "4");
    snprintf(v.column, sizeof v.column, "2");
    snprintf(v.format, sizeof v.format, "%%5hu");
    snprintf(v.rate, sizeof v.rate, "every100msecs");
    return v;
}

struct VPortCase {
    const char* name;
    void (*edit)(VPortValues* v);
    bool in_plot;
    const char* errors;        // texts in order, each followed by '|'
    const char* count_after;   // "" when not checked
    const char* incr_after;
};
static const VPortCase kVPortCases[] = {
    {"good", [](VPortValues*) {}, false, "", "0", "0"},
    {"count 3 increment 0", [](VPortValues* v) { snprintf(v->count, sizeof v->count, "3"); }, false,
     "Increment = 0 ==> Count must be 1|", "1", "0"},
    {"count 1 increment 2", [](VPortValues* v) {
         snprintf(v->count, sizeof v->count, "1");
         snprintf(v->incr, sizeof v->incr, "2");
     }, false, "Count = 1 ==> Increment must be 0|", "1", "0"},
    {"byteindex past the header", [](VPortValues* v) { snprintf(v->byteindex, sizeof v->byteindex, "63"); }, false,
     "Byteindex 63 + datatype 2 exceeds param. length 64|Byteindex+Datatype exceeds param. length|", "", ""},
    {"samples past the header", [](VPortValues* v) {
         snprintf(v->count, sizeof v->count, "4");
         snprintf(v->incr, sizeof v->incr, "16");
     }, false, "Byteindex 72 + datatype 2 exceeds param. length 64|Byteindex+(count*increment) exceeds param. length|",
     "", ""},
    {"byteindex at the length", [](VPortValues* v) { snprintf(v->byteindex, sizeof v->byteindex, "64"); }, false,
     "Byteindex 64 + datatype 2 exceeds param. length 64|Value exceeds parameter length|", "", ""},
    {"all names blank", [](VPortValues* v) { v->mnemonic[0] = 0; }, false, "Mnemonic, Title, Units all blank.|", "",
     ""},
    {"text in a number", [](VPortValues* v) { snprintf(v->byteindex, sizeof v->byteindex, "abc"); }, false,
     "invalid number , outside limits ?|", "", ""},
    {"empty number", [](VPortValues* v) { v->row[0] = 0; }, false, "invalid or blank value|", "", ""},
    {"one past the limit", [](VPortValues* v) { snprintf(v->column, sizeof v->column, "201"); }, false,
     "invalid number , outside limits ?|", "", ""},
    {"integer format in a plot", [](VPortValues*) {}, true, "must be real/float for plots|", "", ""},
    {"real format in a plot", [](VPortValues* v) { snprintf(v->format, sizeof v->format, "%%8.2f"); }, true, "", "",
     ""},
    {"hex character raw format", [](VPortValues* v) { snprintf(v->datatype, sizeof v->datatype, "%%Hc"); }, false,
     "%Hc illegal - display 'Format' only|", "", ""},
    {"no parameter chosen", [](VPortValues* v) { v->view.selected = -1; }, false, "Invalid parameter selection|", "",
     ""},
    {"bad rate", [](VPortValues* v) { snprintf(v->rate, sizeof v->rate, "often"); }, false,
     "invalid number , outside limits ?|", "", ""},
    {"81-character title", [](VPortValues* v) { memset(v->title, 'T', 81); }, false, "exceeds 80 characters|", "", ""},
    {"sample count outside a plot", [](VPortValues* v) {
         v->view.selected = VIEW_SAMPLE_COUNT;
         snprintf(v->byteindex, sizeof v->byteindex, "0");
     }, false, "The 'sample_count' parameter can\nonly be used for the 'X Value' port\nof a packet parameter plot|", "",
     ""},
};

TEST(EditChecks, ValuePortSettings) {
    for (const VPortCase& c : kVPortCases) {
        VPortValues v = good_values();
        c.edit(&v);
        DlgErrors e{};
        VPortContext ctx{64, c.in_plot, 10};
        vport_settings_check(&v, ctx, &e);
        EXPECT_EQ(errors_of(e), c.errors) << c.name;
        if (c.count_after[0]) {
            EXPECT_STREQ(v.count, c.count_after) << c.name;
        }
        if (c.incr_after[0]) {
            EXPECT_STREQ(v.incr, c.incr_after) << c.name;
        }
    }
}

TEST(EditChecks, TheSampleCountIsOnlyAnXValueOfAPacketPlot) {
    VPortValues v = good_values();
    v.view.selected = VIEW_SAMPLE_COUNT;
    snprintf(v.byteindex, sizeof v.byteindex, "0");
    snprintf(v.format, sizeof v.format, "%%8.2f");
    DlgErrors e{};
    VPortContext x_of_packet_plot{40, true, 10, -1, VIEW_PACKETHEADER};
    EXPECT_EQ(vport_settings_check(&v, x_of_packet_plot, &e), 0) << errors_of(e);
    VPortValues y = good_values();
    y.view.selected = 1;   // zyr_flags
    snprintf(y.byteindex, sizeof y.byteindex, "0");
    snprintf(y.format, sizeof y.format, "%%8.2f");
    VPortContext y_over_samples{4, true, 10, VIEW_SAMPLE_COUNT, -1};
    vport_settings_check(&y, y_over_samples, &e);
    EXPECT_EQ(errors_of(e), "This is a plot using the sample count as\nthe 'X Value' parameter. You must use a "
                            "packet\nparameter, i.e. 'packetheader' for the Y port|");
}

TEST(EditChecks, ValuePortValuesRoundTripThroughTheRecord) {
    PortRecord r;
    memset(&r, 0, sizeof r);
    snprintf(r.rawformat, sizeof r.rawformat, "%%5hu");
    snprintf(r.displayformat, sizeof r.displayformat, "%%8.2f");
    snprintf(r.mnemonic, sizeof r.mnemonic, "TEMP_A");
    r.byteindex = 10;
    r.row = 9;
    r.column = 2;
    r.displayrate = r.processrate = 0x01010101;   // every 8 cycles
    r.frame_flags = FR_BORDER;
    VPortValues v{};
    vport_values_from(&r, 10, &v);
    EXPECT_STREQ(v.rate, "every80msecs");
    EXPECT_EQ(v.border, 1);
    snprintf(v.column, sizeof v.column, "30");
    PortRecord out = r;
    vport_values_to(&v, 10, 0, &out);
    EXPECT_EQ(out.column, 30);
    EXPECT_EQ(out.byteindex, 10);
    EXPECT_EQ(rate_period(out.displayrate), 8);
    EXPECT_STREQ(out.displayformat, "%8.2f");
}

struct PlotCase {
    const char* name;
    void (*edit)(PlotValues* v);
    const char* errors;
};
static const PlotCase kPlotCases[] = {
    {"good", [](PlotValues*) {}, ""},
    {"identical X limits", [](PlotValues* v) { snprintf(v->xupper, sizeof v->xupper, "0"); },
     "X plot limits are identical.|"},
    {"reversed Y limits", [](PlotValues* v) { snprintf(v->yupper, sizeof v->yupper, "-5"); },
     "Y Upper plot limit < Y lower limit|"},
    {"autoplot X from above zero", [](PlotValues* v) {
         v->autox = 1;
         snprintf(v->xlower, sizeof v->xlower, "5");
     }, "Autoplot lower X limit must be <= 0.0|"},
    {"forward without lines", [](PlotValues* v) { v->line = 0; }, "'Lineplot' must be on|"},
    {"limit given text", [](PlotValues* v) { snprintf(v->ylower, sizeof v->ylower, "low"); },
     "invalid number , outside limits ?|"},
    {"above the top", [](PlotValues* v) { snprintf(v->row, sizeof v->row, "5"); },
     "[plotport] top boundary outside limit|"},
};

TEST(EditChecks, PlotSettings) {
    for (const PlotCase& c : kPlotCases) {
        PlotValues v{};
        snprintf(v.row, sizeof v.row, "30");
        snprintf(v.column, sizeof v.column, "2");
        snprintf(v.width, sizeof v.width, "38");
        snprintf(v.height, sizeof v.height, "11");
        snprintf(v.maxpoints, sizeof v.maxpoints, "100");
        snprintf(v.xlower, sizeof v.xlower, "0");
        snprintf(v.xupper, sizeof v.xupper, "60");
        snprintf(v.ylower, sizeof v.ylower, "0");
        snprintf(v.yupper, sizeof v.yupper, "256");
        v.line = v.forward = 1;
        c.edit(&v);
        DlgErrors e{};
        plot_settings_check(&v, &e);
        EXPECT_EQ(errors_of(e), c.errors) << c.name;
    }
}

TEST(EditChecks, CalibrationAndBitmask) {
    CalibValues v{};
    snprintf(v.modulus, sizeof v.modulus, "0");
    snprintf(v.a[1], sizeof v.a[1], "0.5");
    v.reciprocal = 1;
    DlgErrors e{};
    calib_settings_check(&v, DT_USHORT, &e);
    EXPECT_EQ(errors_of(e), "Illegal zero value|Reciprocal is not valid\nfor Integer datatypes|N/A for integer display "
                            "'Format'|");
    calib_settings_check(&v, DT_DOUBLE, &e);
    EXPECT_EQ(errors_of(e), "Illegal zero value|");
    uint32_t mask = 0;
    e = DlgErrors{};
    EXPECT_EQ(bitmask_check("0", 0, &mask, &e), -1);
    EXPECT_EQ(errors_of(e), "illegal zero value|");
    EXPECT_EQ(bitmask_check("0x00FF", 0, &mask, &e), 0);
    char text[16];
    bitmask_text(mask, text, sizeof text);
    EXPECT_STREQ(text, "0x000000ff");
}

TEST(EditChecks, AlarmLimitsAreReadInTheDisplayType) {
    double lo = 0, hi = 0;
    EXPECT_EQ(alarm_limits_read("-1.5", "2.5", DT_DOUBLE, &lo, &hi), 0);
    EXPECT_DOUBLE_EQ(lo, -1.5);
    uint32_t a = 0, b = 0;
    EXPECT_EQ(alarm_limits_read("0", "0x00C8", DT_USHORT, &a, &b), 0);
    EXPECT_EQ(b, 200u);
    EXPECT_EQ(alarm_limits_read("", "5", DT_USHORT, &a, &b), -1);
    EXPECT_EQ(alarm_limits_read("1.5", "5", DT_USHORT, &a, &b), -2);
    EXPECT_EQ(alarm_limits_read("-1", "5", DT_USHORT, &a, &b), -2);
    EXPECT_EQ(alarm_limits_read("5", "5", DT_LONG, &a, &b), -3);
}

struct ProposalCase {
    const char* mnemonic;
    const char* file;
};
static const ProposalCase kProposals[] = {
    {"PKTCOUNT", "PKTCOUNT.TXT"},   {"TEMPERATURE_A", "TEMPERAT.TXT"}, {"T A/B", "T_A_B.TXT"},
    {"VBUS__", "VBUS.TXT"},         {"V*??", "V.TXT"},                 {"a{b}~c", "a{b}~c.TXT"},
};

TEST(EditChecks, RecordFileProposal) {
    for (const ProposalCase& c : kProposals) {
        char out[16];
        record_file_proposal(c.mnemonic, out, sizeof out);
        EXPECT_STREQ(out, c.file) << c.mnemonic;
    }
}

struct SyncCase {
    const char* text;
    int rc, n;
    uint8_t b0;
};
static const SyncCase kSyncs[] = {
    {"0xEB90", 0, 2, 0xEB}, {"eb", 0, 1, 0xEB}, {"0x1ACFFC1D", 0, 4, 0x1A}, {"0xEB9", -1, 0, 0},
    {"0x1ACFFC1D00", -2, 0, 0}, {"0xZZ", -3, 0, 0}, {"", -1, 0, 0},
};

TEST(EditChecks, SyncPatternTexts) {
    for (const SyncCase& c : kSyncs) {
        uint8_t b[4] = {};
        int n = 0;
        EXPECT_EQ(sync_parse(c.text, b, &n), c.rc) << c.text;
        if (c.rc == 0) {
            EXPECT_EQ(n, c.n);
            EXPECT_EQ(b[0], c.b0);
        }
    }
    EXPECT_STREQ(sync_error_text(-1), "Sync length not integral 1-4 bytes");
    EXPECT_STREQ(sync_error_text(-2), "Maximum 4 byte sync. exceeded");
    const uint8_t sync[] = {0xEB, 0x90};
    char text[16];
    sync_text(sync, 2, text, sizeof text);
    EXPECT_STREQ(text, "0xeb90");
}

TEST(EditChecks, TheSameColourIsRefused) {
    const char *title = nullptr, *text = nullptr;
    EXPECT_EQ(colours_check(15, 0, false, &title, &text), 0);
    EXPECT_EQ(colours_check(4, 4, false, &title, &text), 1);
    EXPECT_STREQ(title, "Background Color");
    EXPECT_STREQ(text, "Background color and foreground\ncolor cannot be the same.");
    EXPECT_EQ(colours_check(4, 4, true, &title, &text), 1);
    EXPECT_STREQ(title, "Foreground Color");
}

TEST(EditChecks, ErrorsShowInOneBoxByTheirLabels) {
    fake_ui_reset();
    static const DlgControl kControls[] = {
        {DLG_EDIT, "&Byteindex", (uint32_t)offsetof(VPortValues, byteindex), 7, 0},
        {DLG_EDIT, "Coun&t", (uint32_t)offsetof(VPortValues, count), 7, 0},
    };
    static const DlgForm kForm = {kControls, 2, nullptr};
    DlgErrors e{};
    dlg_error(&e, offsetof(VPortValues, count), "Increment = 0 ==> Count must be 1");
    dlg_error(&e, FIELD_NONE, "Byteindex 70 + datatype 2 exceeds param. length 64");
    field_error_box(&kForm, "!! INVALID View-port Settings !!", &e);
    ASSERT_EQ(fake_ui_boxes().size(), 1u);
    EXPECT_EQ(fake_ui_boxes()[0].caption, "!! INVALID View-port Settings !!");
    EXPECT_EQ(fake_ui_boxes()[0].text,
              "Count: Increment = 0 ==> Count must be 1\nByteindex 70 + datatype 2 exceeds param. length 64\n");
}
