// Test entry: every test binary runs in a fresh temporary directory, so the
// files the modules write (debugmsg, zyrerr.txt, page files) never leak
// between runs or into the source tree.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char tmpl[] = "/tmp/zyrtest.XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir || chdir(dir) != 0) {
        perror("test directory");
        return 2;
    }
    int rc = RUN_ALL_TESTS();
    if (!getenv("ZYR_KEEP_TEST_DIR")) {
        std::string cmd = std::string("rm -rf '") + dir + "'";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir);
    }
    return rc;
}
