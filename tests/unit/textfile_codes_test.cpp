// The I/O result codes each failing operation records, and that nothing
// happens while a code is pending.
#include "helpers.h"

#include <filesystem>
#include <functional>

#include "runtime/textfile/filedevice.h"

namespace {

using Codes = ScratchDir;

TEST_F(Codes, OpenFailuresAreMappedToTheirCodes) {
    std::filesystem::create_directory(path("dir"));
    write_file(path("plain"), "x");
    struct Case {
        const char* name;
        std::string file;
        bool writing;
        uint16_t code;
    };
    const Case cases[] = {
        {"missing file", path("missing.txt"), false, 2},
        {"missing directory", path("nodir/in.txt"), false, 3},
        {"missing directory on create", path("nodir/out.txt"), true, 3},
        {"a file used as a directory", path("plain/in.txt"), false, 3},
        {"directory opened for reading", path("dir"), false, IO_ACCESS_DENIED},
        {"directory opened for writing", path("dir"), true, IO_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TEXTREC T;
        ASSIGN(T, counted(c.file));
        c.writing ? REWRITE(T) : RESET(T);
        EXPECT_EQ(INOUTRES, c.code);
        EXPECT_EQ(T.MODE, FMCLOSED);
        INOUTRES = 0;
    }
}

TEST_F(Codes, AFileHeldByAnotherOpenerIsRefusedAndNotTruncated) {
    // Held alone whatever the two openers want: two readers never share it.
    const std::pair<bool, bool> cases[] = {
        {false, false}, {false, true}, {true, false}, {true, true}};
    for (const auto& [first_writes, second_writes] : cases) {
        SCOPED_TRACE(std::string(first_writes ? "written" : "read") + ", then " +
                     (second_writes ? "written" : "read"));
        write_file(path("held.txt"), "keep me");
        TEXTREC A, B;
        ASSIGN(A, counted(path("held.txt")));
        first_writes ? REWRITE(A) : RESET(A);
        ASSERT_EQ(INOUTRES, 0);
        if (first_writes) WRITE_STR(0, A, counted("mine"));
        ASSIGN(B, counted(path("held.txt")));
        second_writes ? REWRITE(B) : RESET(B);
        EXPECT_EQ(INOUTRES, IO_ACCESS_DENIED);
        EXPECT_EQ(B.MODE, FMCLOSED);
        INOUTRES = 0;
        CLOSE(A);
        EXPECT_EQ(INOUTRES, 0);
        EXPECT_EQ(read_file(path("held.txt")), first_writes ? "mine" : "keep me");
    }
}

TEST_F(Codes, ChannelStateErrors) {
    write_file(path("in.txt"), "x\n");
    TEXTREC R, W, C, NEVER{};
    ASSIGN(R, counted(path("in.txt")));
    RESET(R);
    ASSIGN(W, counted(path("out.txt")));
    REWRITE(W);
    ASSIGN(C, counted(path("closed.txt")));
    COUNTEDSTRING line = counted("previous");
    struct Case {
        const char* name;
        std::function<void()> op;
        uint16_t code;
    };
    const Case cases[] = {
        {"never bound, RESET", [&] { RESET(NEVER); }, IO_NOT_BOUND},
        {"never bound, REWRITE", [&] { REWRITE(NEVER); }, IO_NOT_BOUND},
        {"CLOSE of a closed channel", [&] { CLOSE(C); }, IO_NOT_OPEN},
        {"READ_STRING on a closed channel", [&] { READ_STRING(C, line, 255); }, IO_NOT_OPEN},
        {"READLN_END on a closed channel", [&] { READLN_END(C); }, IO_NOT_OPEN},
        {"WRITE_STR on a closed channel", [&] { WRITE_STR(0, C, STR("a")); }, IO_NOT_OPEN},
        {"READ_STRING on a writing channel", [&] { READ_STRING(W, line, 255); },
         IO_NOT_OPEN_FOR_INPUT},
        {"READLN_END on a writing channel", [&] { READLN_END(W); }, IO_NOT_OPEN_FOR_INPUT},
        {"WRITE_STR on a reading channel", [&] { WRITE_STR(0, R, STR("a")); },
         IO_NOT_OPEN_FOR_OUTPUT},
        {"WRITE_CHAR on a reading channel", [&] { WRITE_CHAR(0, R, 'a'); }, IO_NOT_OPEN_FOR_OUTPUT},
        {"WRITE_SINT on a reading channel", [&] { WRITE_SINT(0, R, 1); }, IO_NOT_OPEN_FOR_OUTPUT},
        {"WRITELN_END on a reading channel", [&] { WRITELN_END(R); }, IO_NOT_OPEN_FOR_OUTPUT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        INOUTRES = 0;
        c.op();
        EXPECT_EQ(INOUTRES, c.code);
    }
    EXPECT_EQ(line.LENGTH, 0) << "a failing read leaves an empty string";
    INOUTRES = 0;
    CLOSE(R);
    CLOSE(W);
}

TEST_F(Codes, OperationsDoNothingWhileACodeIsPending) {
    write_file(path("in.txt"), "line\n");
    TEXTREC R, W;
    ASSIGN(R, counted(path("in.txt")));
    RESET(R);
    ASSIGN(W, counted(path("out.txt")));
    REWRITE(W);
    INOUTRES = 42;
    COUNTEDSTRING line = counted("old");
    READ_STRING(R, line, 255);
    EXPECT_EQ(line.LENGTH, 0);
    EXPECT_EQ(R.BUFEND, 0) << "nothing was read";
    WRITE_STR(0, W, STR("x"));
    WRITELN_END(W);
    EXPECT_EQ(W.BUFPOS, 0);
    CLOSE(W);
    EXPECT_EQ(W.MODE, FMOUTPUT) << "CLOSE did nothing";
    REWRITE(W);
    EXPECT_EQ(INOUTRES, 42) << "the first failure's code stays";
    INOUTRES = 0;
    CLOSE(R);
    CLOSE(W);
}

TEST_F(Codes, ErrorMapping) {
    const struct {
        uint32_t os;
        uint16_t code;
    } cases[] = {{2, 2},    {3, 3},  {5, 5},     {19, 150},        {21, 152},
                 {31, 162}, {32, 5}, {112, 112}, {0x12345, 0x2345}};
    for (const auto& c : cases) {
        ERRNO2INOUTRES(c.os);
        EXPECT_EQ(INOUTRES, c.code) << c.os;
    }
}

TEST_F(Codes, BufferedSolutionsAreWrittenOnAnAbnormalEnd) {
    TEXTREC T;
    ASSIGN(T, counted(path("out.txt")));
    REWRITE(T);
    WRITE_STR(0, T, STR("solution"));
    INOUTRES = 7;
    WRITEOPENFILES();
    EXPECT_EQ(INOUTRES, 7) << "the pending code is kept";
    EXPECT_EQ(size_on_disk(path("out.txt")), 8u) << "handed to the OS while still open";
    INOUTRES = 0;
    CLOSE(T);
    EXPECT_EQ(read_file(path("out.txt")), "solution");
}

// The names stand for the manual's exit statuses: one renumbered fails here.
TEST(ErrorNumbers, AreTheManualsExitStatuses) {
    const std::pair<uint16_t, int> cases[] = {
        {IO_ACCESS_DENIED, 5},        {IO_WRITE_INCOMPLETE, 101},
        {IO_NOT_BOUND, 102},          {IO_NOT_OPEN, 103},
        {IO_NOT_OPEN_FOR_INPUT, 104}, {IO_NOT_OPEN_FOR_OUTPUT, 105},
        {RTE_DIVISION_BY_ZERO, 200},  {RTE_RANGE, 201},
        {RTE_STACK_OVERFLOW, 202},    {RTE_FLOAT_OVERFLOW, 205},
        {RTE_FLOAT_UNDERFLOW, 206},   {RTE_INVALID_FLOAT_OPERATION, 207},
        {RTE_OVERFLOW, 215},          {RTE_ACCESS_VIOLATION, 216},
        {RTE_OTHER_FAULT, 217}};
    for (const auto& [name, number] : cases) EXPECT_EQ(name, number);
}

} // namespace
