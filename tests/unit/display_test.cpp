// The search display on the in-memory console: each step's picture.
#include <gtest/gtest.h>

#include "fakes/memory_console.h"
#include "runtime/console/consoledevice.h"
#include "solver/sudoku2.h"
#include "solver_fixture.h"

namespace {

struct Picture {
    Grid grid;
    int y = -1, x = -1; // the highlighted cell
    bool operator==(const Picture&) const = default;
};

// Reads the picture off the screen, checking its layout on the way.
Picture take_picture() {
    Picture p;
    for (int r = 0; r < 9; ++r) {
        for (int c = 0; c < 9; ++c) {
            const plat::Cell digit = FAKE.at(2 * c, r);
            const plat::Cell space = FAKE.at(2 * c + 1, r);
            EXPECT_TRUE(digit.ch >= '0' && digit.ch <= '9');
            EXPECT_EQ(space.ch, ' ');
            EXPECT_EQ(digit.attr, space.attr);
            p.grid[r][c] = static_cast<uint8_t>(digit.ch - '0');
            if (digit.attr == 0x47) {
                EXPECT_EQ(p.y, -1) << "one highlighted cell";
                p.y = r;
                p.x = c;
            } else {
                EXPECT_EQ(digit.attr, 0x07);
            }
        }
        EXPECT_EQ(FAKE.row(r).substr(18), std::string(FAKE.width - 18, ' '));
    }
    EXPECT_EQ(FAKE.row(9), std::string(FAKE.width, ' '));
    int32_t x, y;
    GETSCREENCURSOR(x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(1, 11));
    return p;
}

class Display : public InScratchDir {
  protected:
    void SetUp() override {
        InScratchDir::SetUp();
        install_memory_console(80, 25);
        CRTINIT();
        FAKE.on_sleep = [this] { pictures.push_back(take_picture()); };
    }
    std::vector<Picture> pictures;
};

TEST_F(Display, StepDrawsTheGridWithTheCellOnRedAndPauses) {
    Grid g = SOLVED;
    g[4][7] = 0;
    DISPLAYSTEP(sud_of(g), 4, 7);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0], (Picture{g, 4, 7}));
    EXPECT_EQ(FAKE.slept_ms, 60u);
    EXPECT_EQ(TEXTATTR, 0x07) << "the background is back to black";
}

TEST_F(Display, FirstPictureClearsInTheStartingColours) {
    FAKE.reset(80, 25);
    FAKE.attribute = 0x1F;
    CRTINIT();
    FAKE.on_sleep = nullptr;
    DISPLAYSTEP(sud_of(SOLVED), 0, 0);
    EXPECT_EQ(FAKE.at(40, 20).attr, 0x1F) << "the first clear uses the start attribute";
    EXPECT_EQ(FAKE.at(0, 0).attr, 0x4F);
    EXPECT_EQ(FAKE.at(2, 0).attr, 0x0F);
    DISPLAYSTEP(sud_of(SOLVED), 0, 0);
    EXPECT_EQ(FAKE.at(40, 20).attr, 0x0F) << "later clears use background 0";
}

TEST_F(Display, SearchPicturesStartAtTheTopLeftAndShowGivens) {
    Grid g = SOLVED;
    g[8][7] = 0; // the bottom-right cell stays a given
    ASSIGN(FO, STR("out.txt"));
    REWRITE(FO);
    BE = sud_of(g);
    MEGOLD(BE, 0, 0, 1);
    CLOSE(FO);
    ASSERT_EQ(pictures.size(), 1u + 9u + 1u);
    EXPECT_EQ(pictures.front(), (Picture{g, 0, 0})) << "a given top-left cell, highlighted";
    EXPECT_EQ(pictures[1], (Picture{g, 8, 7}));
    // 7 passes at (8, 7): the given bottom-right cell is entered before trials 8 and 9.
    EXPECT_EQ(pictures[8], (Picture{SOLVED, 8, 8})) << "the given bottom-right cell";
    EXPECT_EQ(pictures.back(), (Picture{g, 8, 7}));
    EXPECT_EQ(read_file("out.txt"), solution_block(SOLVED));
}

TEST_F(Display, BannerGoesBelowTheLastPicture) {
    DISPLAYSTEP(sud_of(SOLVED), 8, 8);
    for (const char* line : {"one", "two", "three"}) {
        WRITE_STR(0, OUTPUT, STR(line));
        WRITELN_END(OUTPUT);
    }
    EXPECT_EQ(FAKE.row(10).substr(0, 4), "one ");
    EXPECT_EQ(FAKE.row(12).substr(0, 6), "three ");
    EXPECT_EQ(FAKE.row(8).substr(0, 18), "3 4 5 2 8 6 1 7 9 ");
    int32_t x, y;
    GETSCREENCURSOR(x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(1, 14));
}

} // namespace
