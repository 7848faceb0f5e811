// I/O result codes of failures that only a POSIX system can stage: a file
// its owner may not read, a device that is always full, and devices that
// any number of openers share.
#include "helpers.h"

#include <sys/stat.h>
#include <unistd.h>

#include "runtime/textfile/filedevice.h"

namespace {

using Codes = ScratchDir;

TEST_F(Codes, UnreadableFileIsRefused) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    write_file(path("secret"), "x");
    chmod(path("secret").c_str(), 0);
    TEXTREC T;
    ASSIGN(T, counted(path("secret")));
    RESET(T);
    EXPECT_EQ(INOUTRES, IO_ACCESS_DENIED);
}

TEST_F(Codes, FullDeviceRecords101AtHandOver) {
    TEXTREC T;
    ASSIGN(T, STR("/dev/full"));
    REWRITE(T);
    ASSERT_EQ(INOUTRES, 0);
    // A character device is flushed at the end of every statement.
    WRITE_STR(0, T, STR("x"));
    WRITE_END(T);
    EXPECT_EQ(INOUTRES, IO_WRITE_INCOMPLETE);
    EXPECT_EQ(T.BUFPOS, 0);
}

TEST_F(Codes, ADeviceIsNeverHeldAlone) {
    for (const char* device : {"/dev/zero", "/dev/null"}) {
        SCOPED_TRACE(device);
        TEXTREC A, B, C;
        for (TEXTREC* T : {&A, &B}) {
            ASSIGN(*T, STR(device));
            RESET(*T);
            EXPECT_EQ(INOUTRES, 0);
        }
        ASSIGN(C, STR(device));
        REWRITE(C);
        EXPECT_EQ(INOUTRES, 0);
        for (TEXTREC* T : {&A, &B, &C}) CLOSE(*T);
        EXPECT_EQ(INOUTRES, 0);
    }
}

} // namespace
