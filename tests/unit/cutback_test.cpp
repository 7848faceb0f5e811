// A hand-over the file system takes only part of is taken back whole: the
// file ends at the last whole record, never inside one.
#include "helpers.h"

#include <csignal>
#include <sys/resource.h>

#include "runtime/textfile/filedevice.h"

namespace {

constexpr rlim_t LIMIT = 1000;
constexpr int RECORD = 182;

class CutBack : public ScratchDir {
  protected:
    void SetUp() override {
        ScratchDir::SetUp();
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        old_xfsz = signal(SIGXFSZ, SIG_IGN);
        rlimit limited{LIMIT, saved.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    void TearDown() override {
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, old_xfsz);
        ScratchDir::TearDown();
    }
    rlimit saved{};
    void (*old_xfsz)(int) = SIG_DFL;
};

// Writes records to NAME through T until one is refused; the records that went in.
int fill_until_refused(TEXTREC& T, const std::string& name) {
    ASSIGN(T, counted(name));
    REWRITE(T);
    EXPECT_EQ(INOUTRES, 0);
    const std::string record(RECORD - 2, 'x');
    int written = 0;
    while (INOUTRES == 0 && written < 10) {
        WRITE_STR(0, T, counted(record));
        WRITELN_END(T);
        FLUSH(T);
        if (INOUTRES == 0) ++written;
    }
    EXPECT_EQ(INOUTRES, IO_WRITE_INCOMPLETE);
    INOUTRES = 0;
    CLOSE(T);
    return written;
}

TEST_F(CutBack, AShortWriteLeavesOnlyWholeRecords) {
    // The same channel twice: the second file is cut back by its own count,
    // not by what the first one took.
    TEXTREC T;
    for (const char* name : {"out.txt", "second.txt"}) {
        SCOPED_TRACE(name);
        const int written = fill_until_refused(T, path(name));
        // Five records fit under the limit; the sixth was cut short and taken back.
        EXPECT_EQ(written, static_cast<int>(LIMIT) / RECORD);
        EXPECT_EQ(read_file(path(name)).size(), static_cast<size_t>(written) * RECORD);
    }
}

} // namespace
