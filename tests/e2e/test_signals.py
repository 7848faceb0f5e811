"""End to end: the program can be stopped, suspended and cut off at any
moment, and out.txt only ever holds whole solutions."""
import os
import re
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
        self.tmux.kill()
        self.tmux = None
        code = self.scratch.path("code.txt")
        deadline = time.time() + 90
        while time.time() < deadline and not os.path.exists(code):
            time.sleep(0.2)
        time.sleep(0.2)
        self.assertEqual(self.scratch.read("code.txt").strip(), b"0")
        self.assertEqual(self.scratch.read("out.txt"), expected)


# Four solutions over about 14 s; the first after about 3 s.
FOUR_SOLUTIONS = puzzle_without([(1, 7), (1, 8), (6, 7), (6, 8), (2, 4), (2, 5), (5, 4), (5, 5)])
TWO_SOLUTIONS = puzzle_without([(1, 7), (1, 8), (6, 7), (6, 8)])
GRID_ROW = r"^(\d ){8}\d$"


def pane(tmux, variable):
    return subprocess.run(["tmux", "-L", tmux.name, "display-message", "-p", "-t", tmux.name,
                           "#{%s}" % variable], check=True, capture_output=True,
                          text=True).stdout.strip()


def program_pid(tmux, timeout=5.0):
    """The program's process among the pane's descendants."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        parents = {}
        for entry in os.listdir("/proc"):
            try:
                with open("/proc/%s/stat" % entry) as f:
                    parents[int(entry)] = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, ValueError, IndexError):
                continue
        family = {int(pane(tmux, "pane_pid"))}
        for _ in range(4):
            family |= {pid for pid, parent in parents.items() if parent in family}
        for pid in family:
            try:
                if os.readlink("/proc/%d/exe" % pid) == os.path.realpath(BINARY):
                    return pid
            except OSError:
                continue
        time.sleep(0.05)
    raise AssertionError("the program is not running")


def wait_for_file(path, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline and not (os.path.exists(path) and os.path.getsize(path) > 0):
        time.sleep(0.05)
    time.sleep(0.1)


def stty(tty):
    return subprocess.run(["stty", "-g", "-F", tty], check=True, capture_output=True).stdout


def picture_rows(test, screen, cols=9):
    rows = screen.splitlines()
    for r in range(9):
        test.assertRegex(rows[r], r"^(\d ){%d}\d ?$" % (cols - 1), screen)
    return rows


class Background(TmuxCase):
    """A job started with & or sent there with Ctrl-Z then bg: it searches
    without touching the terminal, and is drawn whole once in the foreground."""

    def shell(self, puzzle):
        self.scratch = Scratch(grid_text(puzzle))
        self.tmux = Tmux(self.scratch.dir, command="bash --norc --noprofile -i")
        self.tmux.wait_for(lambda s: "#" in s or "$" in s)
        return self.tmux

    def growing(self):
        """out.txt grows while the job runs in the background."""
        path = self.scratch.path("out.txt")
        sizes = set()
        deadline = time.time() + 20
        while time.time() < deadline and len(sizes - {0}) < 2:
            if os.path.exists(path):
                sizes.add(os.path.getsize(path))
            time.sleep(0.05)
        self.assertGreaterEqual(len(sizes - {0}), 2, sizes)

    def finish_in_foreground(self, puzzle):
        tmux = self.tmux
        tmux.keys("clear; fg; echo $? > code.txt", "Enter")
        time.sleep(0.5)
        picture_rows(self, tmux.screen())
        screen = tmux.wait_for(lambda s: BANNER[2] in s, timeout=30)
        self.assertEqual(picture_rows(self, screen)[10:13], BANNER)
        tmux.keys("ab", "Enter")
        wait_for_file(self.scratch.path("code.txt"), 10)
        self.assertEqual(self.scratch.read("code.txt").strip(), b"0")
        self.assertEqual(self.scratch.read("out.txt"),
                         b"".join(solution_block(s) for s in solve_all(puzzle)))

    def test_started_with_ampersand(self):
        """Runs, then stops at the key wait as any reader does; after fg it
        reads keys itself (with the terminal's line mode Enter would not end
        the line)."""
        tmux = self.shell(TWO_SOLUTIONS)
        tmux.keys("'%s' &" % BINARY, "Enter")
        time.sleep(1)
        tmux.keys("jobs", "Enter")
        tmux.wait_for(lambda s: "Running" in s)
        self.growing()
        self.assertNotRegex(tmux.screen(), "(?m)" + GRID_ROW)
        deadline = time.time() + 20
        while "Stopped" not in tmux.screen() and time.time() < deadline:
            tmux.keys("jobs", "Enter")
            time.sleep(1)
        self.assertIn("Stopped", tmux.screen())
        self.finish_in_foreground(TWO_SOLUTIONS)

    def test_stopped_then_bg(self):
        tmux = self.shell(FOUR_SOLUTIONS)
        tmux.keys("'%s'" % BINARY, "Enter")
        tmux.wait_for(lambda s: re.search("(?m)" + GRID_ROW, s))
        tmux.keys("C-z")
        screen = tmux.wait_for(lambda s: "Stopped" in s)
        # The shell's lines come below the picture, not inside it.
        self.assertGreaterEqual(screen.splitlines().index(
            next(line for line in screen.splitlines() if "Stopped" in line)), 9)
        picture_rows(self, screen)
        tmux.keys("bg", "Enter")
        self.growing()
        self.finish_in_foreground(FOUR_SOLUTIONS)

    def test_kill_ends_a_background_job_at_once(self):
        expected = [solution_block(s) for s in solve_all(MANY_SOLUTIONS)]
        tmux = self.shell(MANY_SOLUTIONS)
        tmux.keys("stty -g > before.txt; '%s' &" % BINARY, "Enter")
        path = self.scratch.path("out.txt")
        deadline = time.time() + 20
        while time.time() < deadline and not os.path.exists(path) or os.path.getsize(path) == 0:
            time.sleep(0.05)
        sent = time.time()
        tmux.keys("kill %1; wait %1; echo $? > code.txt; stty -g > after.txt", "Enter")
        wait_for_file(self.scratch.path("after.txt"), 5)
        self.assertLess(time.time() - sent, 1.5)
        self.assertEqual(self.scratch.read("code.txt").strip(), b"143")
        self.assertEqual(self.scratch.read("before.txt"), self.scratch.read("after.txt"))
        out = self.scratch.read("out.txt")
        self.assertGreater(len(out), 0)
        whole_blocks(self, out, expected)

    def test_nohup_in_the_background_outlives_its_terminal(self):
        tmux = self.shell(FOUR_SOLUTIONS)
        tmux.keys("nohup sh -c \"'%s'; echo \\$? > code.txt\" < /dev/null > report.txt &"
                  % BINARY, "Enter")
        # Searching while the terminal is still there, then cut off.
        wait_for_file(self.scratch.path("out.txt"), 10)
        self.assertTrue(os.path.exists(self.scratch.path("out.txt")))
        tmux.kill()
        self.tmux = None
        wait_for_file(self.scratch.path("code.txt"), 40)
        self.assertEqual(self.scratch.read("code.txt").strip(), b"0")
        self.assertEqual(self.scratch.read("out.txt"),
                         b"".join(solution_block(s) for s in solve_all(FOUR_SOLUTIONS)))


class OtherSignals(TmuxCase):
    """Signals with no treatment of their own that end a process give the
    terminal back: its modes, cursor and colours, the cursor below the picture."""

    def test_real_time_and_power_signals(self):
        for name in ("SIGRTMIN", "SIGPWR", "SIGRTMAX"):
            with self.subTest(signal=name):
                number = int(getattr(signal, name))
                self.start(MANY_SOLUTIONS,
                           command="stty -g > before.txt; '%s'; echo $? > code.txt; "
                           "stty -g > after.txt; printf AFTER" % BINARY)
                self.tmux.wait_for(lambda s: re.search("(?m)" + GRID_ROW, s))
                time.sleep(0.3)
                os.kill(program_pid(self.tmux), number)
                wait_for_file(self.scratch.path("after.txt"), 5)
                self.assertEqual(self.scratch.read("code.txt").strip(), str(128 + number).encode())
                self.assertEqual(self.scratch.read("before.txt"), self.scratch.read("after.txt"))
                screen = self.tmux.wait_for(lambda s: "AFTER" in s)
                rows = picture_rows(self, screen)
                after = next(i for i, row in enumerate(rows) if "AFTER" in row)
                self.assertGreaterEqual(after, 9)
                self.assertTrue(self.tmux.cursor()[2], "cursor hidden")
                coloured = self.tmux.screen(escapes=True).splitlines()[after]
                self.assertNotIn("\x1b[", coloured.split("AFTER")[0], "colours kept")
                self.tearDown()


class JobControl(TmuxCase):
    def test_stop_and_continue_without_job_control(self):
        """Stopped alone, under a parent without job control: nobody else
        gives the terminal its modes back. Two stops, each with a repaint."""
        self.scratch = Scratch(grid_text(MANY_SOLUTIONS))
        tmux = self.tmux = Tmux(self.scratch.dir, command="bash --norc --noprofile -i")
        tmux.keys("stty -g > before.txt; sh -c \"'%s'; :\"" % BINARY, "Enter")
        tty = pane(tmux, "pane_tty")
        tmux.wait_for(lambda s: re.search("(?m)" + GRID_ROW, s))
        program = program_pid(tmux)
        raw = stty(tty)
        before = self.scratch.read("before.txt")
        self.assertNotEqual(raw, before)
        for stop in range(2):
            with self.subTest(stop=stop):
                os.kill(program, signal.SIGTSTP)
                time.sleep(0.5)
                self.assertEqual(stty(tty), before)
                # Another program draws meanwhile; the continued one draws all again.
                with open(tty, "w") as f:
                    f.write("\x1b[H\x1b[2J")
                os.kill(program, signal.SIGCONT)
                time.sleep(0.5)
                self.assertEqual(stty(tty), raw)
                picture_rows(self, tmux.screen())

    def test_resized_while_stopped(self):
        self.scratch = Scratch(grid_text(MANY_SOLUTIONS))
        tmux = self.tmux = Tmux(self.scratch.dir, command="bash --norc --noprofile -i")
        tmux.keys("'%s'" % BINARY, "Enter")
        tmux.wait_for(lambda s: re.search("(?m)" + GRID_ROW, s))
        tmux.keys("C-z")
        tmux.wait_for(lambda s: "Stopped" in s)
        tmux.resize(12, 24)
        tmux.keys("fg", "Enter")
        time.sleep(1)
        # Each row cut at the new width, none wrapped onto the next.
        rows = picture_rows(self, tmux.screen(), cols=6)
        self.assertEqual(rows[9].strip(), "", tmux.screen())
        os.kill(program_pid(tmux), signal.SIGTERM)


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
