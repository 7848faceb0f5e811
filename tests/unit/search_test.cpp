// The search: every display step, and every solution once, in order,
// checked against an independent enumeration.
#include "solver_fixture.h"

#include <csetjmp>
#include <filesystem>

namespace {

struct Step {
    Grid grid;
    int y, x;
    bool operator==(const Step&) const = default;
};

std::vector<Step> STEPS;
// When set, the search is abandoned at the first display step after a
// solution block has been handed to the solutions file.
bool STOP_AFTER_FIRST_SOLUTION = false;
std::jmp_buf STOP;

} // namespace

// The display step, replaced for these tests so that every step is observed.
void DISPLAYSTEP(SUD S, uint8_t Y, uint8_t X) {
    STEPS.push_back({grid_of(S), Y, X});
    if (STOP_AFTER_FIRST_SOLUTION && std::filesystem::file_size("out.txt") > 0)
        std::longjmp(STOP, 1);
}

namespace {

class Search : public InScratchDir {
  protected:
    void SetUp() override {
        InScratchDir::SetUp();
        STEPS.clear();
        STOP_AFTER_FIRST_SOLUTION = false;
    }
    // The driver's search step on grid G; returns the solutions file.
    std::string run(const Grid& g) {
        STEPS.clear();
        ASSIGN(FO, STR("out.txt"));
        REWRITE(FO);
        EXPECT_EQ(INOUTRES, 0);
        BE = sud_of(g);
        if (BE.CELL[0][0] == 0) {
            for (uint8_t v = 1; v <= 9; ++v) MEGOLD(BE, 0, 0, v);
        } else {
            MEGOLD(BE, 0, 0, 1);
        }
        EXPECT_EQ(grid_of(BE), g) << "the search never changes BE";
        CLOSE(FO);
        EXPECT_EQ(INOUTRES, 0);
        return read_file("out.txt");
    }
};

TEST_F(Search, SolvedGridTakesTwoSteps) {
    EXPECT_EQ(run(SOLVED), solution_block(SOLVED));
    EXPECT_EQ(STEPS, (std::vector<Step>{{SOLVED, 0, 0}, {SOLVED, 8, 8}}));
}

TEST_F(Search, OnlyTheBottomRightCellEmptyTakesTenSteps) {
    Grid g = SOLVED;
    g[8][8] = 0;
    EXPECT_EQ(run(g), solution_block(SOLVED));
    std::vector<Step> expected{{g, 0, 0}};
    for (int v = 1; v <= 9; ++v) expected.push_back({g, 8, 8});
    EXPECT_EQ(STEPS, expected);
}

TEST_F(Search, TrialValueShowsOnlyInDeeperSteps) {
    Grid g = SOLVED;
    g[0][0] = 0; // 5
    g[0][1] = 0; // 3
    run(g);
    // Trials 1..5 at (0, 0); 5 passes, so the trials at (0, 1) follow, with the
    // given bottom-right cell entered right after 3 passes there; then 6..9 at (0, 0).
    ASSERT_EQ(STEPS.size(), 9u + 9u + 1u);
    Grid with5 = g;
    with5[0][0] = 5;
    Grid with53 = with5;
    with53[0][1] = 3;
    std::vector<Step> expected;
    for (int v = 1; v <= 5; ++v) expected.push_back({g, 0, 0});
    for (int v = 1; v <= 3; ++v) expected.push_back({with5, 0, 1});
    expected.push_back({with53, 8, 8});
    for (int v = 4; v <= 9; ++v) expected.push_back({with5, 0, 1});
    for (int v = 6; v <= 9; ++v) expected.push_back({g, 0, 0});
    EXPECT_EQ(STEPS, expected);
}

TEST_F(Search, NoSolutionWritesNothing) {
    Grid g = SOLVED;
    g[0][0] = 0;
    g[0][1] = 5; // 5 twice in row 0 blocks the only value for (0, 0)
    EXPECT_EQ(run(g), "");
    EXPECT_EQ(STEPS.size(), 9u);
}

TEST_F(Search, DuplicateGivensAreSearchedAllTheSame) {
    Grid g = SOLVED;
    g[0][0] = 0; // only 5 fits here
    g[4][4] = 4; // a second 4 in row 4, never checked against the other givens
    Grid solution = g;
    solution[0][0] = 5;
    EXPECT_EQ(run(g), solution_block(solution));
}

TEST_F(Search, TwoSolutionsInLexicographicOrder) {
    // Empty the first rectangle of four cells that leaves exactly two completions.
    Grid g = SOLVED;
    for (int r1 = 0; r1 < 9 && g == SOLVED; ++r1)
        for (int r2 = r1 + 1; r2 < 9 && g == SOLVED; ++r2)
            for (int c1 = 0; c1 < 9 && g == SOLVED; ++c1)
                for (int c2 = c1 + 1; c2 < 9 && g == SOLVED; ++c2) {
                    Grid t = SOLVED;
                    t[r1][c1] = t[r1][c2] = t[r2][c1] = t[r2][c2] = 0;
                    if (reference_search(t).solutions.size() == 2) g = t;
                }
    const Reference ref = reference_search(g);
    ASSERT_EQ(ref.solutions.size(), 2u);
    ASSERT_LT(ref.solutions[0], ref.solutions[1]);
    EXPECT_EQ(run(g), solution_block(ref.solutions[0]) + solution_block(ref.solutions[1]));
    EXPECT_EQ(static_cast<long>(STEPS.size()), ref.steps);
}

TEST_F(Search, ManyPuzzlesAgainstTheIndependentEnumeration) {
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int puzzle = 0; puzzle < 40; ++puzzle) {
        // Relabel the digits, then empty a random set of cells.
        uint8_t relabel[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        for (int i = 9; i > 1; --i) std::swap(relabel[i], relabel[1 + next() % i]);
        Grid g{};
        for (int r = 0; r < 9; ++r)
            for (int c = 0; c < 9; ++c) g[r][c] = relabel[SOLVED[r][c]];
        const int blanks = 2 + puzzle % 25;
        for (int i = 0; i < blanks; ++i) g[next() % 9][next() % 9] = 0;
        if (puzzle % 5 == 0) g[next() % 9][next() % 9] = static_cast<uint8_t>(1 + next() % 9);
        SCOPED_TRACE("puzzle " + std::to_string(puzzle));
        const Reference ref = reference_search(g);
        std::string expected;
        for (const Grid& s : ref.solutions) expected += solution_block(s);
        EXPECT_EQ(run(g), expected);
        EXPECT_EQ(static_cast<long>(STEPS.size()), ref.steps);
    }
}

TEST_F(Search, EmptyGridFirstSolution) {
    STOP_AFTER_FIRST_SOLUTION = true;
    ASSIGN(FO, STR("out.txt"));
    REWRITE(FO);
    if (setjmp(STOP) == 0) {
        BE = SUD{};
        for (uint8_t v = 1; v <= 9; ++v) MEGOLD(BE, 0, 0, v);
        FAIL() << "the search ended without a solution";
    }
    // The block is in the file at once, nothing of it left in the buffer.
    EXPECT_EQ(FO.BUFPOS, 0);
    CLOSE(FO);
    EXPECT_EQ(read_file("out.txt"),
              solution_block(parse_grid("123456789456789123789123456214365897365897214"
                                        "897214365531642978642978531978531642")));
}

} // namespace
