// The batch run of qorvends: command line, page range, numbering over the
// run, the listing and the exit code.
#include "compiler/qorvends.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "compiler/compiler_test_support.h"

class QorvendsTest : public CompilerTest {
protected:
    // Runs qorvends_run with the console captured.
    int run(int first, int last, std::string* console) {
        FILE* con = tmpfile();
        int rc = qorvends_run(first, last, con);
        rewind(con);
        console->clear();
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, con)) > 0) console->append(buf, n);
        fclose(con);
        return rc;
    }
};

struct ArgsCase {
    std::vector<const char*> argv;
    int rc;
    int first, last;
};
static const ArgsCase kArgs[] = {
    {{"qorvends"}, 0, 0, 9999},
    {{"qorvends", "12"}, 0, 12, 9999},
    {{"qorvends", "5", "3"}, 0, 5, 3},
    {{"qorvends", "0", "0010"}, 0, 0, 10},
    {{"qorvends", "10000"}, -1, 0, 0},
    {{"qorvends", "-1"}, -1, 0, 0},
    {{"qorvends", "x"}, -1, 0, 0},
    {{"qorvends", "1", "2", "3"}, -1, 0, 0},
    {{"qorvends", ""}, -1, 0, 0},
};

TEST_F(QorvendsTest, CommandLine) {
    for (const ArgsCase& c : kArgs) {
        int first = -7, last = -7;
        EXPECT_EQ(qorvends_args((int)c.argv.size(), c.argv.data(), &first, &last), c.rc) << c.argv.size();
        if (c.rc == 0) {
            EXPECT_EQ(first, c.first);
            EXPECT_EQ(last, c.last);
        }
    }
}

TEST_F(QorvendsTest, AnEmptyRangeChecksNothing) {
    std::string con;
    EXPECT_EQ(run(5, 3, &con), QORVENDS_OK);
    EXPECT_EQ(con, "QORVENDS: Checking pages 5 to 3\n\nQORVENDS: All page files checked ok");
    EXPECT_EQ(read_file("qorvends.lst"), "");
}

TEST_F(QorvendsTest, ErrorsAreNumberedOverTheRunAndPageFilesStay) {
    write_file("PAGE0001.TXT", "junk\n[valueport]\n\tdatatype = \"%6hd\"\n\tbyteindex = 1\n\trow = 1\n\tcolumn = 1\n");
    write_file("PAGE0003.TXT", std::string("[valueport]\n") + kPortBase + "bad\n");
    std::string con;
    EXPECT_EQ(run(0, 4, &con), QORVENDS_ERRORS);
    EXPECT_EQ(con,
              "QORVENDS: Checking pages 0 to 4\n"
              "\rChecking page file     0\rChecking page file     1\n"
              "* !!  1 Error Page 1 line 00001 !!Block specifier must be [valueport],[packet] or [system]\n"
              "**  1 Warning Page 1 line 00006 **Parameter name defaulted to XXXX\n"
              "\rChecking page file     2\rChecking page file     3\n"
              "* !!  2 Error Page 3 line 00007 !!Block specifier must be [valueport],[packet] or [system]\n"
              "\rChecking page file     4\n"
              "!! QORVENDS: encountered 2 errors !!\n");
    EXPECT_EQ(read_file("qorvends.lst"),
              "Checking page file     1\r\n"
              "* !!  1 Error Page 1 line 00001 !!Block specifier must be [valueport],[packet] or [system]\r\n"
              "**  1 Warning Page 1 line 00006 **Parameter name defaulted to XXXX\r\n"
              "Checking page file     3\r\n"
              "* !!  2 Error Page 3 line 00007 !!Block specifier must be [valueport],[packet] or [system]\r\n");
    EXPECT_EQ(read_page_file("PAGE0001.BIN").ports.size(), 1u);
    EXPECT_EQ(read_page_file("PAGE0003.BIN").ports.size(), 1u);
    EXPECT_FALSE(zyr_fexists("PAGE0001.LST"));
}

TEST_F(QorvendsTest, TheShownErrorLimitRunsOverTheWholeRun) {
    std::string junk;
    for (int i = 0; i < 20; i++) junk += "junk\n";
    write_file("PAGE0001.TXT", junk);
    write_file("PAGE0002.TXT", junk);
    std::string con;
    EXPECT_EQ(run(1, 2, &con), QORVENDS_ERRORS);
    EXPECT_NE(con.find("* !! 25 Error Page 2 line 00005 !!"), std::string::npos);
    EXPECT_NE(con.find("* Error count exceeds 25.\n"), std::string::npos);
    EXPECT_EQ(con.find("* !! 26"), std::string::npos);
    EXPECT_NE(con.find("!! QORVENDS: encountered 40 errors !!"), std::string::npos);
}

TEST_F(QorvendsTest, APageFileThatCannotBeCreatedIsSkipped) {
    write_file("PAGE0004.TXT", std::string("[valueport]\n") + kPortBase);
    ASSERT_EQ(mkdir("PAGE0004.BIN", 0755), 0);
    std::string con;
    EXPECT_EQ(run(4, 4, &con), QORVENDS_OK);
    EXPECT_NE(con.find("\nUnable to open output compiled page file PAGE0004.BIN. Compilation aborted\n"), std::string::npos);
    rmdir("PAGE0004.BIN");
}

TEST_F(QorvendsTest, AListingThatCannotBeCreatedEndsTheRun) {
    ASSERT_EQ(mkdir("qorvends.lst", 0755), 0);
    std::string con;
    EXPECT_EQ(run(0, 1, &con), QORVENDS_FAILED);
    EXPECT_EQ(con, "QORVENDS: Checking pages 0 to 1\nUnable to open output page listing file qorvends.lst. Program aborted\n");
    rmdir("qorvends.lst");
}
