"""End to end: the program can be stopped, suspended and cut off at any
moment, and out.txt only ever holds whole solutions."""
import os
import re
import signal
import subprocess
import sys
import termios
import time

from harness import (BANNER, BINARY, BLOCK, EMULATOR, MANY_SOLUTIONS, PROCESS_NAME, SOLVED, PtyRun,
                     Scratch, Tmux, TmuxCase, grid_text, main, puzzle_without, solution_block,
                     solve_all, until, wait_for_blocks, whole_blocks)

EARLIER_OUT = b"solutions of an earlier run\r\n"


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
        sizes = wait_for_blocks(run, self.scratch.path("out.txt"), 2, poll=0.005)
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
        wait_for_file(self.scratch.path("code.txt"), 90)
        self.assertEqual(self.scratch.read("code.txt").strip(), b"0")
        self.assertEqual(self.scratch.read("out.txt"), expected)


# Four solutions over about 14 s (the first after 3 s); two over 4 s.
FOUR_SOLUTIONS = puzzle_without([(1, 7), (1, 8), (6, 7), (6, 8), (2, 4), (2, 5), (5, 4), (5, 5)])
TWO_SOLUTIONS = puzzle_without([(1, 7), (1, 8), (6, 7), (6, 8)])
GRID_ROW = r"(?m)^(\d ){8}\d$"


def program_pid(tmux):
    """The program in the pane's session (the pane's process leads it)."""
    return int(subprocess.run(["pgrep", "-s", tmux.session, "-x", PROCESS_NAME],
                              capture_output=True, text=True).stdout.split()[0])


# Runs the program (argv[1:]) as the session's leader, beside a process that
# takes the terminal for a group of its own on SIGUSR1 and gives it back on
# SIGUSR2: the program is never stopped, continued or otherwise told.
TAKER = """
import os, signal, sys, time
if os.fork() == 0:
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    os.setpgid(0, 0)
    tty = os.open(os.ttyname(2), os.O_RDWR)
    signal.signal(signal.SIGUSR1, lambda *_: (os.tcsetpgrp(tty, os.getpgrp()), open("taken", "w")))
    signal.signal(signal.SIGUSR2, lambda *_: (os.tcsetpgrp(tty, os.getsid(0)), os._exit(0)))
    open("taker.pid", "w").write(str(os.getpid()))
    time.sleep(30)
    os._exit(0)
os.execv(sys.argv[1], sys.argv[1:])
"""


def wait_for_file(path, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline and not (os.path.exists(path) and os.path.getsize(path) > 0):
        time.sleep(0.05)
    time.sleep(0.1)


def stty(tty):
    return subprocess.run(["stty", "-g", "-F", tty], check=True, capture_output=True).stdout


def proc_file(pid, name):
    """/proc/PID/NAME, empty once the process is gone."""
    try:
        with open("/proc/%d/%s" % (pid, name)) as f:
            return f.read()
    except OSError:
        return ""


def picture_rows(test, screen, cols=9):
    """The screen's rows, the first nine a whole picture COLS cells wide."""
    rows = screen.splitlines()
    for r in range(9):
        test.assertRegex(rows[r], r"^(\d ){%d}\d ?$" % (cols - 1), screen)
    return rows


class ShellCase(TmuxCase):
    def shell(self, puzzle, command):
        self.scratch = Scratch(grid_text(puzzle))
        self.tmux = Tmux(self.scratch.dir, command="bash --norc --noprofile -i")
        self.tmux.keys(command % BINARY, "Enter")
        return self.tmux

    def growing(self):
        path, sizes, deadline = self.scratch.path("out.txt"), set(), time.time() + 20
        while time.time() < deadline and len(sizes - {0}) < 2:
            sizes.add(os.path.getsize(path) if os.path.exists(path) else 0)
            time.sleep(0.05)
        self.assertGreaterEqual(len(sizes - {0}), 2, "out.txt does not grow")

    def finish_in_foreground(self, puzzle):
        """fg draws the whole picture at once, then reads keys itself (with
        the terminal's line mode, Enter would not end the line)."""
        self.tmux.keys("clear; fg; echo $? > code.txt", "Enter")
        time.sleep(0.5)
        picture_rows(self, self.tmux.screen())
        screen = self.tmux.wait_for(lambda s: BANNER[2] in s, timeout=30)
        self.assertEqual(picture_rows(self, screen)[10:13], BANNER)
        self.tmux.keys("ab", "Enter")
        self.ended_with_every_solution(puzzle, 10)

    def ended_with_every_solution(self, puzzle, timeout):
        """Within TIMEOUT seconds the shell wrote status 0 to code.txt, and
        out.txt holds every solution of PUZZLE."""
        wait_for_file(self.scratch.path("code.txt"), timeout)
        self.assertEqual(self.scratch.read("code.txt").strip(), b"0")
        self.assertEqual(self.scratch.read("out.txt"),
                         b"".join(solution_block(s) for s in solve_all(puzzle)))


class Background(ShellCase):
    """A background job searches without touching the terminal."""

    def test_started_with_ampersand_then_stopped_at_the_key_wait(self):
        tmux = self.shell(TWO_SOLUTIONS, "'%s' &")
        time.sleep(1)
        tmux.keys("jobs", "Enter")
        tmux.wait_for(lambda s: "Running" in s)
        self.growing()
        self.assertNotRegex(tmux.screen(), GRID_ROW)
        deadline = time.time() + 20
        while "Stopped" not in tmux.screen() and time.time() < deadline:
            tmux.keys("jobs", "Enter")
            time.sleep(1)
        self.finish_in_foreground(TWO_SOLUTIONS)

    def test_ctrl_z_then_bg(self):
        tmux = self.shell(FOUR_SOLUTIONS, "'%s'")
        tmux.wait_for(lambda s: re.search(GRID_ROW, s))
        tmux.keys("C-z")
        rows = picture_rows(self, tmux.wait_for(lambda s: "Stopped" in s))
        self.assertTrue(all("Stopped" not in row for row in rows[:10]), "inside the picture")
        tmux.keys("bg", "Enter")
        self.growing()
        self.finish_in_foreground(FOUR_SOLUTIONS)

    def test_kill_ends_it_at_once(self):
        self.shell(MANY_SOLUTIONS, "stty -g > before.txt; '%s' &")
        wait_for_file(self.scratch.path("out.txt"), 20)
        sent = time.time()
        self.tmux.keys("kill %1; wait %1; echo $? > code.txt; stty -g > after.txt", "Enter")
        wait_for_file(self.scratch.path("after.txt"), 5)
        self.assertLess(time.time() - sent, 1.5)
        self.assertEqual(self.scratch.read("code.txt").strip(), b"143")
        self.assertEqual(self.scratch.read("before.txt"), self.scratch.read("after.txt"))
        whole_blocks(self, self.scratch.read("out.txt"),
                     [solution_block(s) for s in solve_all(MANY_SOLUTIONS)])

    def test_orphaned_job_ends_by_itself_at_the_final_line(self):
        """Nobody can continue a job whose parent has gone: its stop at the
        final line does not happen, and the input counts as ended."""
        puzzle = puzzle_without([(0, 2), (4, 4), (8, 0), (8, 1)])
        self.shell(puzzle, "bash -c \"('%s'; echo \\$? > code.txt) 0<&3 &\" 3<&0")
        self.ended_with_every_solution(puzzle, 30)

    def test_nohup_outlives_its_terminal(self):
        self.shell(FOUR_SOLUTIONS,
                   "nohup sh -c \"'%s'; echo \\$? > code.txt\" < /dev/null > report.txt &")
        wait_for_file(self.scratch.path("out.txt"), 10)  # searching with the terminal there
        self.tmux.hang_up()
        self.ended_with_every_solution(FOUR_SOLUTIONS, 40)


class OtherSignals(TmuxCase):
    def test_signals_without_a_treatment_of_their_own_give_the_terminal_back(self):
        # Under qemu's user-mode emulator the host's SIGRTMIN ends the
        # emulator without reaching the program's handler (seen on aarch64).
        for name in ("SIGPWR", "SIGRTMAX") + (() if EMULATOR else ("SIGRTMIN",)):
            with self.subTest(signal=name):
                number = int(getattr(signal, name))
                self.start(MANY_SOLUTIONS, command="stty -g > before.txt; '%s'; echo $? > "
                           "code.txt; stty -g > after.txt; printf AFTER" % BINARY)
                self.tmux.wait_for(lambda s: re.search(GRID_ROW, s))
                os.kill(program_pid(self.tmux), number)
                rows = picture_rows(self, self.tmux.wait_for(lambda s: "AFTER" in s))
                self.assertEqual(self.scratch.read("code.txt").strip(), b"%d" % (128 + number))
                self.assertEqual(self.scratch.read("before.txt"), self.scratch.read("after.txt"))
                after = next(i for i, row in enumerate(rows) if "AFTER" in row)
                self.assertGreaterEqual(after, 9, "the cursor left inside the picture")
                self.assertTrue(self.tmux.cursor()[2], "cursor hidden")
                line = self.tmux.screen(escapes=True).splitlines()[after]
                self.assertNotIn("\x1b[", line.split("AFTER")[0], "colours kept")
                self.tearDown()


class JobControl(ShellCase):
    def test_stopped_twice_under_a_parent_without_job_control(self):
        """Nobody else gives the terminal its modes back; another program
        draws while it is stopped."""
        tmux = self.shell(MANY_SOLUTIONS, "stty -g > before.txt; sh -c \"'%s'; :\"")
        tmux.wait_for(lambda s: re.search(GRID_ROW, s))
        tty, program = tmux.variables("pane_tty"), program_pid(tmux)
        raw, before = stty(tty), self.scratch.read("before.txt")
        self.assertNotEqual(raw, before)
        for stop in range(2):
            with self.subTest(stop=stop):
                os.kill(program, signal.SIGTSTP)
                time.sleep(0.5)
                self.assertEqual(stty(tty), before)
                with open(tty, "w") as f:
                    f.write("\x1b[H\x1b[2J")
                os.kill(program, signal.SIGCONT)
                time.sleep(0.5)
                self.assertEqual(stty(tty), raw)
                picture_rows(self, tmux.screen())

    def test_stopped_from_outside_then_continued(self):
        """kill -STOP gives nothing back: fg takes the terminal again, and a
        request to end that arrives after bg touches neither it nor its modes."""
        tmux = self.shell(MANY_SOLUTIONS, "'%s'")
        tmux.wait_for(lambda s: re.search(GRID_ROW, s))
        tty, program = tmux.variables("pane_tty"), program_pid(tmux)
        raw = stty(tty)
        os.kill(program, signal.SIGSTOP)
        tmux.wait_for(lambda s: "Stopped" in s)
        tmux.keys("clear; fg", "Enter")
        self.assertTrue(until(lambda: stty(tty) == raw and
                              len(re.findall(GRID_ROW, tmux.screen())) == 9, 1.5), tmux.screen())
        os.kill(program, signal.SIGSTOP)
        tmux.wait_for(lambda s: "Stopped" in s)
        modes = stty(tty)
        tmux.record(self.scratch.path("sent"))
        tmux.keys("kill -USR1 %1; bg; wait", "Enter")
        tmux.wait_for(lambda s: "User defined signal 1" in s)
        self.assertNotRegex(self.scratch.read("sent"), rb"\x1b\[(\?25h|0m|\d+;\d+H)")
        self.assertEqual(stty(tty), modes)

    def test_terminal_taken_without_a_signal(self):
        """It draws nothing while another group has the terminal, and the
        whole picture once it has the terminal back."""
        self.scratch = Scratch(grid_text(MANY_SOLUTIONS))
        run = PtyRun(self.scratch.dir, argv=[sys.executable, "-c", TAKER, BINARY])
        self.assertTrue(run.read_until(lambda out: re.search(rb"(\d ){8}\d", out)))
        wait_for_file(self.scratch.path("taker.pid"), 5)
        taker = int(self.scratch.read("taker.pid"))
        os.kill(taker, signal.SIGUSR1)
        until(lambda: os.path.exists(self.scratch.path("taken")), 5)
        run.read_until(lambda _: False, timeout=0.01)  # what was sent before
        run.output = b""
        self.growing()
        run.read_until(lambda _: False, timeout=0.3)
        self.assertEqual(run.output, b"")
        os.kill(taker, signal.SIGUSR2)
        self.assertTrue(run.read_until(lambda out: b"\x1b[2J" in out, timeout=5), run.output)

    def test_resized_while_stopped(self):
        tmux = self.shell(MANY_SOLUTIONS, "'%s'")
        tmux.wait_for(lambda s: re.search(GRID_ROW, s))
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
        tmux = self.shell(puzzle, "stty -a > before.txt; '%s'")
        tmux.wait_for(lambda s: s.startswith("5 3 "))
        os.kill(program_pid(tmux), signal.SIGTSTP)
        tmux.wait_for(lambda s: "Stopped" in s)
        tmux.keys("stty -a > during.txt", "Enter")
        wait_for_file(self.scratch.path("during.txt"), 5)
        self.assertEqual(self.scratch.read("during.txt"), self.scratch.read("before.txt"))
        self.finish_in_foreground(puzzle)


class StalledTerminal(ShellCase):
    """The terminal takes no output mid-search (flow control, a frozen
    window or link): requests to end or to stop are acted on all the same."""

    def test_requests_are_acted_on_within_a_second(self):
        expected = [solution_block(s) for s in solve_all(FOUR_SOLUTIONS)]
        after = lambda: os.path.exists(self.scratch.path("after.txt")) and self.scratch.read(
            "after.txt")
        stopped = lambda pid: proc_file(pid, "stat").rsplit(")", 1)[-1].split()[:1] == ["T"]
        for request, status in ((signal.SIGTERM, b"143"), ("C-c", b"130"),
                                (signal.SIGQUIT, b"131"), (signal.SIGTSTP, None)):
            with self.subTest(request=getattr(request, "name", request)):
                # sh's own messages ("Terminated") would wait for the terminal too.
                tmux = self.shell(FOUR_SOLUTIONS, "stty -g > before.txt; sh -c \"trap : INT; "
                                  "'%s'; echo \\$? > code.txt; stty -g > after.txt\" 2> sh.txt")
                wait_for_file(self.scratch.path("out.txt"), 20)
                tty, program = tmux.variables("pane_tty"), program_pid(tmux)
                flow = os.open(tty, os.O_RDWR | os.O_NOCTTY)
                termios.tcflow(flow, termios.TCOOFF)
                try:
                    # Its next picture waits in write() before the request is sent.
                    until(lambda: proc_file(program, "wchan") == "wait_woken", 5)
                    tmux.keys(request) if status == b"130" else os.kill(program, request)
                    if status is None:
                        self.assertTrue(until(lambda: stopped(program), 1.5), "not stopped")
                        self.assertEqual(stty(tty), self.scratch.read("before.txt"))
                    else:
                        self.assertTrue(until(after, 1.5), "not ended")
                        self.assertEqual(after(), self.scratch.read("before.txt"))
                        self.assertEqual(self.scratch.read("code.txt").strip(), status)
                    whole_blocks(self, self.scratch.read("out.txt"), expected)
                finally:
                    termios.tcflow(flow, termios.TCOON)
                    os.close(flow)
                self.tearDown()


if __name__ == "__main__":
    main()
