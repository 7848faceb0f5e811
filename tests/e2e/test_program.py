"""End to end: the puzzle file in, every solution out, the banner, exit codes."""
import os

from harness import (BANNER, SOLVED, PtyRun, Scratch, ScratchCase, Tmux, grid_text, main,
                     puzzle_without, solution_block, solve_all)


class Program(ScratchCase):
    def run_to_end(self, puzzle, enter=True):
        self.scratch = Scratch(puzzle)
        run = PtyRun(self.scratch.dir)
        if enter:
            run.read_until(lambda out: b"Written at home" in out)
            run.send("\r")
        return run.wait()

    def test_solutions_file_byte_for_byte(self):
        # Two cells empty: one solution; (8, 8) is found last.
        status = self.run_to_end(grid_text(puzzle_without([(0, 2), (8, 8)])))
        self.assertEqual(status, 0)
        self.assertEqual(self.scratch.read("out.txt"), solution_block(SOLVED))

    def test_two_solutions_in_order(self):
        # Rows 2 and 5, columns 4 and 5 hold 4 2 / 2 4: either way round completes.
        puzzle = puzzle_without([(2, 4), (2, 5), (5, 4), (5, 5)])
        expected = solve_all(puzzle)
        self.assertEqual(len(expected), 2)
        status = self.run_to_end(grid_text(puzzle))
        self.assertEqual(status, 0)
        self.assertEqual(self.scratch.read("out.txt"),
                         solution_block(expected[0]) + solution_block(expected[1]))

    def test_empty_top_left_cell_that_must_be_9(self):
        # The driver tries every value at the top-left cell, the last one too.
        puzzle = puzzle_without([(0, 0)]).translate(str.maketrans("59", "95"))
        self.assertEqual(puzzle[0], "0")
        expected = solve_all(puzzle)
        self.assertEqual([s[0] for s in expected], ["9"])
        status = self.run_to_end(grid_text(puzzle))
        self.assertEqual(status, 0)
        self.assertEqual(self.scratch.read("out.txt"), solution_block(expected[0]))

    def test_no_solution_still_shows_banner_and_leaves_empty_file(self):
        puzzle = puzzle_without([(0, 0)]).replace("3", "5", 1)  # 5 twice in row 0
        status = self.run_to_end(grid_text(puzzle))
        self.assertEqual(status, 0)
        self.assertEqual(self.scratch.read("out.txt"), b"")

    def test_missing_puzzle_file(self):
        self.scratch = Scratch()
        run = PtyRun(self.scratch.dir)
        self.assertEqual(run.wait(), 2)
        self.assertIn(b"Runtime error 2 at 0x", run.output)
        self.assertFalse(os.path.exists(self.scratch.path("out.txt")))

    def test_solutions_file_that_is_a_directory(self):
        self.scratch = Scratch(grid_text(SOLVED))
        os.mkdir(self.scratch.path("out.txt"))
        run = PtyRun(self.scratch.dir)
        self.assertEqual(run.wait(), 5)
        self.assertIn(b"Runtime error 5 at 0x", run.output)

    def test_banner_on_the_screen(self):
        self.scratch = Scratch(grid_text(SOLVED))
        tmux = Tmux(self.scratch.dir)
        try:
            screen = tmux.wait_for(lambda s: BANNER[2] in s)
            lines = screen.splitlines()
            for line in BANNER:
                self.assertIn(line, lines)
            tmux.keys("Enter")
            self.assertEqual(tmux.status(), 0)
        finally:
            tmux.kill()
        self.assertEqual(self.scratch.read("out.txt"), solution_block(SOLVED))


if __name__ == "__main__":
    main()
