"""End to end in a real terminal: the animated picture, the banner, the
terminal's modes, signals mid-search, and errors shown below the picture."""
import fcntl
import os
import pty
import re
import select
import signal
import struct
import subprocess
import termios
import time
import tty

from harness import (BANNER, BINARY, BLOCK, EMULATOR, MANY_SOLUTIONS, SOLVED, PtyRun, Scratch, Tmux,
                     TmuxCase, grid_text, main, puzzle_without, run_plain, solution_block,
                     solve_all, unittest, wait_for_blocks, whole_blocks)

RED_BACKGROUND = re.compile(r"\x1b\[(?:[0-9;]*;)?41m")


# Thousands of steps: still searching when the tests interrupt it.
LONG_SEARCH = ("530070000600195000098000060800060003400803001700020006060000280000419005000080079")


class Console(TmuxCase):
    def test_last_picture_banner_and_enter(self):
        puzzle = puzzle_without([(0, 2), (4, 4)])
        tmux = self.start(puzzle)
        screen = tmux.wait_for(lambda s: BANNER[2] in s)
        rows = screen.splitlines()
        # The last step tries 9 at (0, 2): the grid as received, that cell on red.
        for r in range(9):
            self.assertEqual(rows[r], " ".join(puzzle[r * 9:(r + 1) * 9]))
        self.assertEqual(rows[9], "")
        self.assertEqual(rows[10:13], BANNER)
        coloured = tmux.screen(escapes=True).splitlines()
        # Only the highlighted cell's two places are on red: "0 " at columns 5-6.
        first = coloured[0]
        match = RED_BACKGROUND.search(first)
        self.assertTrue(match, repr(first))
        self.assertTrue(first[match.end():].startswith("0 "), repr(first))
        for line in coloured[1:9]:
            self.assertIsNone(RED_BACKGROUND.search(line), repr(line))
        tmux.keys("Enter")
        self.assertEqual(tmux.status(), 0)
        self.assertEqual(self.scratch.read("out.txt"), solution_block(SOLVED))

    def test_standard_output_in_a_file_leaves_the_picture_on_the_terminal(self):
        tmux = self.start(SOLVED, command="'%s' > stdout.txt" % BINARY)
        tmux.wait_for(lambda s: BANNER[0] in s and s.startswith(" ".join(SOLVED[0:9])))
        tmux.keys("Enter")
        self.assertEqual(tmux.status(), 0)
        self.assertEqual(self.scratch.read("stdout.txt"), b"")

    def test_another_terminal_as_standard_output_is_never_asked(self):
        # sudoku2 > /dev/pts/N: that terminal, at a shell's prompt, answers
        # what it is asked, and what is left in its input is typed at that shell.
        self.scratch = Scratch(grid_text(puzzle_without([(0, 2)])))
        other, other_slave = pty.openpty()
        for fd in (other, other_slave):
            self.addCleanup(os.close, fd)
        tty.setraw(other_slave)
        run = PtyRun(self.scratch.dir, stdout=other_slave)
        shown = b""
        deadline = time.time() + 30
        while BANNER[2].encode() not in shown and time.time() < deadline:
            if select.select([other], [], [], 0.1)[0]:
                shown += os.read(other, 65536)
                if shown.endswith(b"\x1b[6n"):
                    os.write(other, b"\x1b[1;1R")
        self.assertIn(BANNER[2].encode(), shown)
        run.send("\r")
        self.assertEqual(run.wait(), 0)
        left = fcntl.ioctl(other_slave, termios.FIONREAD, struct.pack("i", 0))
        self.assertEqual(struct.unpack("i", left)[0], 0)

    def test_no_terminal_at_all(self):
        self.scratch = Scratch(grid_text(SOLVED))
        result = run_plain(self.scratch.dir)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, b"No way to get the console handle\r\n")
        self.assertEqual(result.stdout, b"")
        self.assertFalse(os.path.exists(self.scratch.path("out.txt")))
        # With standard error closed too, the status still tells what happened.
        closed = subprocess.run(["sh", "-c", "exec \"$0\" 2>&-", BINARY], cwd=self.scratch.dir,
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=20,
                                start_new_session=True)
        self.assertEqual(closed.returncode, 1)
        self.assertEqual(closed.stdout, b"")

    def test_ctrl_c_gives_the_terminal_back(self):
        tmux = self.start(LONG_SEARCH,
                          command="stty -a > before.txt; '%s'; echo $? > code.txt; stty -a > after.txt"
                          % BINARY)
        tmux.wait_for(lambda s: s.startswith("5 3 "))
        time.sleep(0.5)
        # The cursor is hidden while the pictures change, and shown again at the end.
        self.assertFalse(tmux.cursor()[2])
        tmux.keys("C-c")
        tmux.status()
        self.assertTrue(tmux.cursor()[2])
        self.assertEqual(self.scratch.read("code.txt").strip(), b"130")
        self.assertEqual(self.scratch.read("before.txt"), self.scratch.read("after.txt"))

    def test_signals_mid_search_keep_whole_solutions(self):
        expected = [solution_block(s) for s in solve_all(MANY_SOLUTIONS)]
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=sig.name):
                self.scratch = Scratch(grid_text(MANY_SOLUTIONS))
                run = PtyRun(self.scratch.dir)
                path = self.scratch.path("out.txt")
                wait_for_blocks(run, path, 2, poll=0.05)
                self.assertGreater(os.path.getsize(path), 0)
                run.proc.send_signal(sig)
                status = run.wait()
                self.assertEqual(status, -sig)
                out = self.scratch.read("out.txt")
                self.assertGreaterEqual(len(out), 2 * BLOCK)
                whole_blocks(self, out, expected)
                self.scratch.cleanup()
                self.scratch = None

    def test_a_resized_terminal_gets_the_whole_picture_again(self):
        puzzle = puzzle_without([(0, 0), (2, 8), (4, 4), (6, 0), (8, 8)])
        tmux = self.start(puzzle)
        tmux.wait_for(lambda s: s.startswith("0 3 4 "))
        # Shrinking cuts the picture; growing back leaves the cut part blank
        # until the program repaints it.
        tmux.resize(10, 5)
        time.sleep(0.3)
        tmux.resize(80, 24)
        screen = tmux.wait_for(lambda s: BANNER[2] in s)
        rows = screen.splitlines()
        for r in range(9):
            self.assertRegex(rows[r], r"^(\d ){8}\d$")
            for c in range(9):
                given = puzzle[r * 9 + c]
                if given != "0":
                    self.assertEqual(rows[r][2 * c], given, (r, c))
        self.assertEqual(rows[10:13], BANNER)
        tmux.keys("Enter")
        self.assertEqual(tmux.status(), 0)

    def test_error_before_any_drawing_keeps_the_terminal_as_it_was(self):
        # No puzzle file: the report follows what the terminal showed, from
        # its cursor, and the shell goes on below the report.
        self.scratch = Scratch(None)
        self.tmux = Tmux(self.scratch.dir,
                         command="echo BEFORE; '%s'; echo AFTER $?" % BINARY)
        screen = self.tmux.wait_for(lambda s: "AFTER" in s)
        rows = [r.rstrip() for r in screen.splitlines()]
        self.assertEqual(rows[0], "BEFORE")
        self.assertRegex(rows[1], r"^Runtime error 2 at 0x[0-9A-F]{8}$")
        end = rows.index("AFTER 2")
        self.assertEqual(rows[end - 1], "")
        self.assertTrue(all(r.startswith("  0x") for r in rows[2:end - 1]), rows)

    def test_error_during_the_search_reports_below_the_picture(self):
        self.scratch = Scratch(grid_text(puzzle_without([(8, 8)])))
        os.symlink("/dev/full", self.scratch.path("out.txt"))
        self.tmux = Tmux(self.scratch.dir,
                         command="stty -a > before.txt; '%s'; echo AFTER $?; stty -a > after.txt"
                         % BINARY)
        screen = self.tmux.wait_for(lambda s: "AFTER" in s)
        self.assertEqual(self.tmux.status(), 0)
        rows = [r.rstrip() for r in screen.splitlines()]
        self.assertEqual(rows[0], " ".join(SOLVED[0:9]))
        self.assertRegex(rows[10], r"^Runtime error 101 at 0x[0-9A-F]{8}$")
        self.assertRegex(rows[11], r"^  0x[0-9A-F]{8}$")
        # The shell goes on below the report, with the terminal's modes as before.
        end = rows.index("AFTER 101")
        self.assertGreater(end, 12)
        self.assertEqual(rows[end - 1], "")
        self.assertEqual(self.scratch.read("before.txt"), self.scratch.read("after.txt"))


class Sizes(TmuxCase):
    """Whatever size a terminal reports, the search runs and ends well."""

    def run_on(self, rows, cols, env=None):
        puzzle = puzzle_without([(0, 2), (8, 8)])
        self.scratch = Scratch(grid_text(puzzle))
        run = PtyRun(self.scratch.dir, rows=rows, cols=cols, stdin=subprocess.DEVNULL, env=env)
        self.assertEqual(run.wait(timeout=60), 0)
        self.assertEqual(self.scratch.read("out.txt"), solution_block(SOLVED))
        return run.output

    def test_a_terminal_that_reports_no_size(self):
        env = {k: v for k, v in os.environ.items() if k not in ("COLUMNS", "LINES")}
        output = self.run_on(0, 0, env)
        self.assertIn(BANNER[0].encode(), output)

    def test_a_huge_terminal(self):
        output = self.run_on(65535, 65535)
        self.assertIn(BANNER[0].encode(), output)

    @unittest.skipIf(EMULATOR, "the limit would bind the emulator, not the program")
    def test_the_largest_screen_under_a_12_mib_address_space(self):
        puzzle = puzzle_without([(0, 2), (8, 8)])
        self.scratch = Scratch(grid_text(puzzle))
        run = PtyRun(self.scratch.dir, rows=512, cols=512,
                     argv=["prlimit", "--as=%d" % (12 << 20), BINARY])
        self.assertTrue(run.read_until(lambda o: BANNER[2].encode() in o), run.output[-300:])
        run.send("\r")
        self.assertEqual(run.wait(), 0)
        self.assertEqual(self.scratch.read("out.txt"), solution_block(SOLVED))


class NoColor(TmuxCase):
    def test_no_colour_codes_and_the_examined_cell_reversed(self):
        puzzle = puzzle_without([(0, 2), (4, 4)])
        colour = re.compile(rb"\x1b\[(?:[0-9]*;)*(?:3[0-9]|4[0-9]|9[0-7]|10[0-7])(?:;[0-9]*)*m")
        self.scratch = Scratch(grid_text(puzzle))
        # Only a NO_COLOR that is set and not empty takes the colours away.
        for value, coloured in (("1", False), ("", True)):
            with self.subTest(NO_COLOR=value):
                run = PtyRun(self.scratch.dir, stdin=subprocess.DEVNULL,
                             env=dict(os.environ, NO_COLOR=value))
                self.assertEqual(run.wait(), 0)
                self.assertEqual(colour.search(run.output) is not None, coloured,
                                 run.output[:400])
                self.assertEqual(self.scratch.read("out.txt"), solution_block(SOLVED))
                if coloured:
                    continue
                # The last picture examines (0, 2): its "0 " is the reversed text.
                last = run.output.rfind(b"\x1b[7m")
                self.assertGreater(last, 0)
                self.assertTrue(run.output[last + 4:].startswith(b"0 \x1b["),
                                run.output[last:last + 40])


if __name__ == "__main__":
    main()
