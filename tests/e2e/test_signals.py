"""End to end: the program can be stopped, suspended and cut off at any
moment, and out.txt only ever holds whole solutions."""
import os
import signal
import subprocess
import time

from harness import (BANNER, BINARY, SOLVED, PtyRun, Scratch, Tmux, TmuxCase, grid_text, main,
                     puzzle_without, solution_block, solve_all)

# Eight solutions, a few seconds apart at 60 ms a step.
MANY_SOLUTIONS = puzzle_without([(1, 7), (1, 8), (6, 7), (6, 8), (2, 4), (2, 5), (5, 4), (5, 5),
                                 (0, 3), (0, 4), (3, 3), (3, 4)])
BLOCK = 182
EARLIER_OUT = b"solutions of an earlier run\r\n"


def whole_blocks(test, out, expected):
    test.assertEqual(len(out) % BLOCK, 0, "a cut block: %d bytes" % len(out))
    blocks = [out[i:i + BLOCK] for i in range(0, len(out), BLOCK)]
    test.assertEqual(blocks, expected[:len(blocks)])


class Interrupt(TmuxCase):
    """Ctrl+C while the program is stuck on its puzzle file: it ends at once
    by the signal, the terminal as before, an earlier out.txt untouched."""

    def interrupt(self, make_puzzle):
        self.scratch = Scratch(None)
        make_puzzle(self.scratch.path("c:\\in.txt"))
        self.scratch.write("out.txt", EARLIER_OUT)
        self.tmux = Tmux(self.scratch.dir,
                         command="stty -g > before.txt; '%s'; echo $? > code.txt; "
                         "stty -g > after.txt" % BINARY)
        time.sleep(0.7)
        sent = time.time()
        self.tmux.keys("C-c")
        self.tmux.status(timeout=5)
        self.assertLess(time.time() - sent, 1.5)
        self.assertEqual(self.scratch.read("code.txt").strip(), b"130")
        self.assertEqual(self.scratch.read("before.txt"), self.scratch.read("after.txt"))
        self.assertEqual(self.scratch.read("out.txt"), EARLIER_OUT)

    def test_ctrl_c_while_the_puzzle_is_a_fifo_nobody_writes(self):
        self.interrupt(os.mkfifo)

    def test_ctrl_c_while_the_puzzle_is_endless(self):
        self.interrupt(lambda path: os.symlink("/dev/zero", path))


class WholeBlocks(TmuxCase):
    def test_a_reader_and_sigkill_mid_search_see_only_whole_blocks(self):
        expected = [solution_block(s) for s in solve_all(MANY_SOLUTIONS)]
        self.scratch = Scratch(grid_text(MANY_SOLUTIONS))
        run = PtyRun(self.scratch.dir)
        path = self.scratch.path("out.txt")
        sizes = set()
        deadline = time.time() + 60
        while time.time() < deadline and (not os.path.exists(path)
                                          or os.path.getsize(path) < 2 * BLOCK):
            run.read_until(lambda _: False, timeout=0.005)
            if os.path.exists(path):
                sizes.add(os.path.getsize(path))
        run.proc.send_signal(signal.SIGKILL)
        self.assertEqual(run.wait(), -signal.SIGKILL)
        self.assertTrue(all(size % BLOCK == 0 for size in sizes), sorted(sizes))
        out = self.scratch.read("out.txt")
        self.assertGreaterEqual(len(out), 2 * BLOCK)
        whole_blocks(self, out, expected)

    def test_nohup_run_outlives_its_terminal(self):
        expected = b"".join(solution_block(s) for s in solve_all(MANY_SOLUTIONS))
        self.scratch = Scratch(grid_text(MANY_SOLUTIONS))
        self.tmux = Tmux(self.scratch.dir,
                         command="nohup sh -c \"'%s'; echo \\$? > code.txt\"" % BINARY)
        self.tmux.wait_for(lambda s: "5 3 4" in s)
        self.tmux.hang_up()
        code = self.scratch.path("code.txt")
        deadline = time.time() + 90
        while time.time() < deadline and not os.path.exists(code):
            time.sleep(0.2)
        time.sleep(0.2)
        self.assertEqual(self.scratch.read("code.txt").strip(), b"0")
        self.assertEqual(self.scratch.read("out.txt"), expected)


class JobControl(TmuxCase):
    def test_suspended_and_resumed_from_an_interactive_shell(self):
        puzzle = puzzle_without([(0, 2), (4, 4), (8, 0), (8, 1)])
        self.scratch = Scratch(grid_text(puzzle))
        tmux = self.tmux = Tmux(self.scratch.dir, command="bash --norc --noprofile -i")
        tmux.keys("stty -a > before.txt; '%s'" % BINARY, "Enter")
        tmux.wait_for(lambda s: s.startswith("5 3 "))
        shell = subprocess.run(["tmux", "-L", tmux.name, "display-message", "-p", "-t",
                                tmux.name, "#{pane_pid}"], capture_output=True, text=True)
        bash = subprocess.run(["pgrep", "-P", shell.stdout.strip()], capture_output=True,
                              text=True).stdout.split()[0]
        program = subprocess.run(["pgrep", "-P", bash], capture_output=True,
                                 text=True).stdout.split()[0]
        os.kill(int(program), signal.SIGTSTP)
        tmux.wait_for(lambda s: "Stopped" in s)
        tmux.keys("stty -a > during.txt", "Enter")
        deadline = time.time() + 5
        while time.time() < deadline and not os.path.exists(self.scratch.path("during.txt")):
            time.sleep(0.1)
        time.sleep(0.2)
        self.assertEqual(self.scratch.read("during.txt"), self.scratch.read("before.txt"))
        tmux.keys("clear; fg; echo $? > code.txt", "Enter")
        screen = tmux.wait_for(lambda s: BANNER[2] in s)
        rows = screen.splitlines()
        # The whole last picture, not only the cells changed since the stop.
        for r in range(9):
            self.assertRegex(rows[r], r"^(\d ){8}\d$")
        self.assertEqual(rows[10:13], BANNER)
        tmux.keys("Enter")
        deadline = time.time() + 10
        while time.time() < deadline and not os.path.exists(self.scratch.path("code.txt")):
            time.sleep(0.1)
        time.sleep(0.2)
        self.assertEqual(self.scratch.read("code.txt").strip(), b"0")
        self.assertEqual(self.scratch.read("out.txt"),
                         b"".join(solution_block(s) for s in solve_all(puzzle)))


if __name__ == "__main__":
    main()
