"""The whole program under faults from outside: a puzzle file it may not
read, a directory in its place, and a puzzle file of 100 MB in one line."""
import os
import resource
import shutil
import subprocess
import sys

from harness import (BANNER, BINARY, BLOCK, MANY_SOLUTIONS, PUZZLE_NAME, SOLVED, PtyRun, Scratch,
                     ScratchCase, Tmux, grid_text, main, solution_block, solve_all, unittest)

NOBODY = 65534
HUGE_LINE_BYTES = 100 * 1000 * 1000
# The program reads through a 256-byte buffer: its memory must not grow with
# the length of a line.
MAX_RSS_KB = 32 * 1024


def as_nobody(argv):
    """ARGV run as an unprivileged user when the tests run as root, for
    whom no file is unreadable."""
    if os.getuid() != 0:
        return argv
    if shutil.which("setpriv") is None:
        raise unittest.SkipTest("running as root without setpriv")
    return ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"] + argv


def unreadable_to_the_program(path):
    """Skips the test when the user the program runs as can read PATH all the
    same: a file system that ignores permissions."""
    if subprocess.run(as_nobody(["test", "-r", path])).returncode == 0:
        raise unittest.SkipTest("the file system lets %s be read without permission" % path)


class Faults(ScratchCase):
    def test_unreadable_puzzle_file_gives_5(self):
        self.scratch = Scratch(grid_text(SOLVED))
        os.chmod(self.scratch.dir, 0o777)
        os.chmod(self.scratch.path(PUZZLE_NAME), 0)
        unreadable_to_the_program(self.scratch.path(PUZZLE_NAME))
        run = PtyRun(self.scratch.dir, argv=as_nobody([BINARY]))
        self.assertEqual(run.wait(), 5)
        self.assertIn(b"Runtime error 5 at 0x", run.output)
        self.assertFalse(os.path.exists(self.scratch.path("out.txt")))

    def test_puzzle_file_that_is_a_directory_gives_5(self):
        self.scratch = Scratch(None)
        os.mkdir(self.scratch.path(PUZZLE_NAME))
        run = PtyRun(self.scratch.dir)
        self.assertEqual(run.wait(), 5)
        self.assertIn(b"Runtime error 5 at 0x", run.output)
        self.assertFalse(os.path.exists(self.scratch.path("out.txt")))

    def test_puzzle_of_100_mb_in_one_line(self):
        # Row 1 is the start of a 100 MB line; rows 2-9 follow it, two cells empty.
        puzzle = list(SOLVED)
        puzzle[9 * 4 + 4] = "0"
        puzzle[9 * 8 + 8] = "0"
        puzzle = "".join(puzzle)
        rows = grid_text(puzzle, eol="\n").split("\n")
        self.scratch = Scratch(None)
        with open(self.scratch.path(PUZZLE_NAME), "wb") as f:
            first = (rows[0] + " ").encode()
            f.write(first)
            chunk = b"x" * (1 << 20)
            left = HUGE_LINE_BYTES - len(first)
            while left > 0:
                f.write(chunk[:min(left, len(chunk))])
                left -= len(chunk)
            f.write(b"\r\n" + "\n".join(rows[1:9]).encode() + b"\n")
        self.assertGreater(os.path.getsize(self.scratch.path(PUZZLE_NAME)), HUGE_LINE_BYTES)
        run = PtyRun(self.scratch.dir, stdin=subprocess.DEVNULL)
        self.assertEqual(run.wait(timeout=60), 0)
        expected = b"".join(solution_block(s) for s in solve_all(puzzle))
        self.assertEqual(self.scratch.read("out.txt"), expected)
        self.assertEqual(len(expected), BLOCK)
        self.assertLess(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, MAX_RSS_KB)

    def test_file_size_limit_leaves_whole_blocks_and_gives_101(self):
        # Eight solutions against a limit of 1024 bytes: five whole blocks fit.
        puzzle = MANY_SOLUTIONS
        expected = [solution_block(s) for s in solve_all(puzzle)]
        self.assertEqual(len(expected), 8)
        self.scratch = Scratch(grid_text(puzzle))
        limited = [sys.executable, "-c",
                   "import os, resource, sys; resource.setrlimit(resource.RLIMIT_FSIZE, "
                   "(1024, 1024)); os.execv(sys.argv[1], sys.argv[1:])", BINARY]
        run = PtyRun(self.scratch.dir, argv=limited, stdin=subprocess.DEVNULL)
        self.assertEqual(run.wait(timeout=120), 101)
        self.assertIn(b"Runtime error 101 at 0x", run.output)
        self.assertEqual(self.scratch.read("out.txt"), b"".join(expected[:5]))

    def test_solutions_file_in_a_folder_that_is_gone_gives_3(self):
        # The puzzle comes through a FIFO; its folder, the current one, is
        # removed before the solutions file is created.
        self.scratch = Scratch(None)
        fifo = self.scratch.path(PUZZLE_NAME)
        os.mkfifo(fifo)
        run = PtyRun(self.scratch.dir, stdin=subprocess.DEVNULL)
        writer = os.open(fifo, os.O_WRONLY)
        os.unlink(fifo)
        os.rmdir(self.scratch.dir)
        os.write(writer, grid_text(SOLVED).encode())
        os.close(writer)
        self.assertEqual(run.wait(), 3)
        self.assertIn(b"Runtime error 3 at 0x", run.output)

    def test_puzzle_file_in_a_folder_that_is_gone_gives_3(self):
        self.scratch = Scratch(None)
        gone = self.scratch.path("gone")
        os.mkdir(gone)
        run = PtyRun(gone, stdin=subprocess.DEVNULL,
                     argv=["sh", "-c", "rmdir \"$PWD\" && exec \"$0\"", BINARY])
        self.assertEqual(run.wait(), 3)
        self.assertIn(b"Runtime error 3 at 0x", run.output)

    def test_closed_standard_input_is_not_the_puzzle_file(self):
        # With descriptor 0 closed, the puzzle file must not take its place:
        # its last lines would be typed into the final line.
        # Lines 10-12 run past the reader's first 256 bytes.
        extra = "".join(("%s " % word) * 20 + "\r\n" for word in ("tenth", "eleventh", "twelfth"))
        self.scratch = Scratch(grid_text(SOLVED) + extra)
        self.tmux = Tmux(self.scratch.dir, command="'%s' <&-" % BINARY)
        try:
            self.assertEqual(self.tmux.status(), 0)
            screen = self.tmux.screen()
            self.assertIn(BANNER[2], screen)
            for text in ("tenth", "eleventh", "twelfth"):
                self.assertNotIn(text, screen)
        finally:
            self.tmux.kill()
        self.assertEqual(self.scratch.read("out.txt"), solution_block(SOLVED))


if __name__ == "__main__":
    main()
