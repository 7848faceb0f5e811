// Writing: items, widths, line ends, and when the buffer is handed over.
#include "helpers.h"

#include "runtime/textfile/convert.h"

namespace {

class Writing : public ScratchDir {
  protected:
    void SetUp() override {
        ScratchDir::SetUp();
        ASSIGN(T, counted(path("out.txt")));
        REWRITE(T);
        ASSERT_EQ(INOUTRES, 0);
    }
    void TearDown() override {
        // Windows removes no file that is still open.
        if (T.MODE == FMOUTPUT) CLOSE(T);
        ScratchDir::TearDown();
    }
    uintmax_t on_disk() { return size_on_disk(path("out.txt")); }
    std::string closed() {
        CLOSE(T);
        EXPECT_EQ(INOUTRES, 0);
        return read_file(path("out.txt"));
    }

    TEXTREC T;
};

TEST_F(Writing, ItemsAndWidths) {
    struct Case {
        const char* name;
        void (*write)(TEXTREC&);
        std::string expected;
    };
    const Case cases[] = {
        {"7", [](TEXTREC& t) { WRITE_SINT(0, t, 7); }, "7"},
        {"-5", [](TEXTREC& t) { WRITE_SINT(0, t, -5); }, "-5"},
        {"0", [](TEXTREC& t) { WRITE_SINT(0, t, 0); }, "0"},
        {"least", [](TEXTREC& t) { WRITE_SINT(0, t, INT32_MIN); }, "-2147483648"},
        {"greatest", [](TEXTREC& t) { WRITE_SINT(0, t, INT32_MAX); }, "2147483647"},
        {"7 width 3", [](TEXTREC& t) { WRITE_SINT(3, t, 7); }, "  7"},
        {"-12 width 2 never truncates", [](TEXTREC& t) { WRITE_SINT(2, t, -12); }, "-12"},
        {"char width 3", [](TEXTREC& t) { WRITE_CHAR(3, t, 'x'); }, "  x"},
        {"string width 5", [](TEXTREC& t) { WRITE_STR(5, t, STR("ab")); }, "   ab"},
        {"empty writeln",
         [](TEXTREC& t) {
             WRITE_STR(0, t, STR(""));
             WRITELN_END(t);
         },
         "\r\n"},
    };
    CLOSE(T);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSIGN(T, counted(path("out.txt")));
        REWRITE(T);
        c.write(T);
        WRITE_END(T);
        EXPECT_EQ(closed(), c.expected);
    }
}

TEST_F(Writing, RewriteEmptiesAnExistingFileAtOnce) {
    write_file(path("old.txt"), "old content");
    TEXTREC U;
    ASSIGN(U, counted(path("old.txt")));
    REWRITE(U);
    EXPECT_EQ(INOUTRES, 0);
    EXPECT_EQ(size_on_disk(path("old.txt")), 0u);
    CLOSE(U);
}

TEST_F(Writing, OneSolutionBlockStaysBufferedUntilClose) {
    for (int row = 0; row < 9; ++row) {
        for (int col = 0; col < 9; ++col) {
            WRITE_SINT(0, T, col + 1);
            WRITE_END(T);
            WRITE_CHAR(0, T, ' ');
            WRITE_END(T);
        }
        WRITELN_END(T);
    }
    WRITELN_END(T);
    EXPECT_EQ(on_disk(), 0u);
    EXPECT_EQ(closed().size(), 182u);
}

TEST_F(Writing, FullBufferIsHandedOverByTheNextPut) {
    WRITE_STR(0, T, COUNTEDSTRING{255, {}});
    WRITE_STR(0, T, STR("a"));
    EXPECT_EQ(T.BUFPOS, 256);
    EXPECT_EQ(on_disk(), 0u);
    WRITE_CHAR(0, T, 'b');
    EXPECT_EQ(on_disk(), 256u);
    EXPECT_EQ(T.BUFPOS, 1);
    EXPECT_EQ(closed().size(), 257u);
}

TEST_F(Writing, CharAfter255BytesHandsOver255) {
    WRITE_STR(0, T, COUNTEDSTRING{255, {}});
    WRITE_CHAR(0, T, 'b');
    EXPECT_EQ(on_disk(), 255u);
    EXPECT_EQ(closed(), std::string(255, '\0') + "b");
}

TEST_F(Writing, LongTextGoesOutInWholeBuffers) {
    // 600 bytes: two full buffers of 256 while open, the rest at close; the
    // texts that straddle a hand-over arrive whole and in order.
    std::string text;
    for (int i = 0; i < 600; ++i) text += static_cast<char>('a' + i % 26);
    for (size_t i = 0; i < 3; ++i) WRITE_STR(0, T, counted(text.substr(200 * i, 200)));
    EXPECT_EQ(on_disk(), 512u);
    EXPECT_EQ(closed(), text);
}

TEST_F(Writing, BlanksOfAWideFieldSpanBuffers) {
    WRITE_STR(0, T, COUNTEDSTRING{250, {}});
    WRITE_SINT(20, T, 1);
    EXPECT_EQ(closed(), std::string(250, '\0') + std::string(19, ' ') + "1");
}

} // namespace
