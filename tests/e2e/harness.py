"""Runs build/sudoku2 for the end-to-end tests: in a scratch folder, on a
pseudo-terminal of its own (or with no terminal at all), or inside tmux.
However a test ends, every program it started is ended with its process
group, so that a hung run never outlives its test."""
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

# SUDOKU2_EMULATOR, if set, is a command that runs a cross-built program
# (for example under qemu): each program is then started through a small
# script that runs it under the emulator, and IMAGE is the program itself.
EMULATOR = os.environ.get("SUDOKU2_EMULATOR", "")
ADDR2LINE = os.environ.get("SUDOKU2_ADDR2LINE") or "addr2line"


def runnable(image):
    """A path that runs IMAGE: IMAGE itself, or a script through the emulator.
    The script, the emulator's wrapper and a copy of IMAGE share a folder that
    every user may enter, so that a test may run them as another user
    wherever the checkout lies (a folder only its owner may enter, say)."""
    if not EMULATOR:
        return image
    import atexit
    import shlex
    folder = tempfile.mkdtemp(prefix="sudoku2-emulated-")
    atexit.register(shutil.rmtree, folder, True)
    os.chmod(folder, 0o755)
    # The emulator is a command, or the path of a wrapper (with blanks, perhaps).
    command = [EMULATOR] if os.path.isfile(EMULATOR) else shlex.split(EMULATOR)
    if os.path.isfile(command[0]):
        command[0] = shutil.copy(command[0], folder)
    copy = shutil.copy(image, os.path.join(folder, "image-" + os.path.basename(image)))
    script = os.path.join(folder, os.path.basename(image))
    with open(script, "w") as f:
        f.write("#!/bin/sh\nexec %s \"$@\"\n" % " ".join(shlex.quote(w) for w in command + [copy]))
    os.chmod(script, 0o755)
    return script


IMAGE = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else "build/sudoku2"
BINARY = runnable(IMAGE)
# The process name the program runs under, as pgrep -x takes it: the
# emulator's (qemu-aarch64, qemu-aarch64-static) when there is one.
PROCESS_NAME = "qemu-.*" if EMULATOR else os.path.basename(IMAGE)
EXAMPLES = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else "examples"
PUZZLE_NAME = "c:\\in.txt"

SOLVED = ("534678912672195348198342567859761423426853791"
          "713924856961537284287419635345286179")
BANNER = [
    "Search finished - the solutions are in out.txt. Press Enter to quit.",
    "sudoku2 - a backtracking Sudoku solver that shows its search",
    "Written at home, December 2026",
]


def solve_all(cells):
    """Every completion of 81 cells ('0' empty), empty cells in row-major order
    and values ascending: an enumeration independent of the program's."""
    g = [int(ch) for ch in cells]
    empties = [i for i in range(81) if g[i] == 0]
    found = []

    def allowed(i, v):
        r, c = divmod(i, 9)
        for k in range(9):
            if g[r * 9 + k] == v or g[k * 9 + c] == v:
                return False
        br, bc = r // 3 * 3, c // 3 * 3
        return all(g[(br + a) * 9 + bc + b] != v for a in range(3) for b in range(3))

    def step(k):
        if k == len(empties):
            found.append("".join(map(str, g)))
            return
        for v in range(1, 10):
            if allowed(empties[k], v):
                g[empties[k]] = v
                step(k + 1)
                g[empties[k]] = 0

    step(0)
    return found


# Programs (each the leader of its process group) and tmux sessions started
# by the running test.
STARTED_PROGRAMS = []
STARTED_TMUX = []


def end_started():
    """Ends what the running test started and left running."""
    while STARTED_TMUX:
        STARTED_TMUX.pop().kill()
    while STARTED_PROGRAMS:
        proc = STARTED_PROGRAMS.pop()
        if proc.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
            proc.wait()


def grid_text(cells, sep=" ", eol="\r\n"):
    """Puzzle file text for 81 characters (digits or '.')."""
    rows = [cells[r * 9:(r + 1) * 9] for r in range(9)]
    return "".join(sep.join(row) + eol for row in rows)


def puzzle_without(cells):
    """The solved grid with the given (row, column) cells emptied."""
    chars = list(SOLVED)
    for r, c in cells:
        chars[r * 9 + c] = "0"
    return "".join(chars)


def solution_block(cells):
    rows = [cells[r * 9:(r + 1) * 9] for r in range(9)]
    return ("".join(" ".join(row) + " \r\n" for row in rows) + "\r\n").encode()


# Eight solutions, a few seconds apart at 60 ms a step.
MANY_SOLUTIONS = puzzle_without([(1, 7), (1, 8), (6, 7), (6, 8), (2, 4), (2, 5), (5, 4), (5, 5),
                                 (0, 3), (0, 4), (3, 3), (3, 4)])
# The bytes of one solution in out.txt: nine rows of 9 digits, each with a
# space after it, and CR LF, then an empty line.
BLOCK = 182


def wait_for_blocks(run, path, count, poll):
    """Reads what RUN shows, every POLL seconds, until the file at PATH holds
    COUNT solution blocks (a minute at the most); returns each size it was seen at."""
    sizes = set()
    deadline = time.time() + 60
    while time.time() < deadline and (not os.path.exists(path)
                                      or os.path.getsize(path) < count * BLOCK):
        run.read_until(lambda _: False, timeout=poll)
        if os.path.exists(path):
            sizes.add(os.path.getsize(path))
    return sizes


def whole_blocks(test, out, expected):
    """OUT is whole solution blocks, the first of EXPECTED in order."""
    test.assertEqual(len(out) % BLOCK, 0, "a cut block: %d bytes" % len(out))
    blocks = [out[i:i + BLOCK] for i in range(0, len(out), BLOCK)]
    test.assertEqual(blocks, expected[:len(blocks)])


def until(predicate, timeout):
    """Polls PREDICATE until it holds, for TIMEOUT seconds at the most; whether it held."""
    deadline = time.time() + timeout
    while not predicate():
        if time.time() > deadline:
            return False
        time.sleep(0.02)
    return True


class Scratch:
    """A temporary folder holding the puzzle file."""

    def __init__(self, puzzle=None):
        self.dir = tempfile.mkdtemp(prefix="sudoku2-e2e-")
        if puzzle is not None:
            self.write(PUZZLE_NAME, puzzle)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, text):
        with open(self.path(name), "wb") as f:
            f.write(text.encode() if isinstance(text, str) else text)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def cleanup(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class PtyRun:
    """The program on a new pseudo-terminal as its controlling terminal;
    TYPED is in the terminal's input before the program starts."""

    def __init__(self, cwd, rows=24, cols=80, stdout=None, stdin=None, env=None, argv=None,
                 typed=None):
        self.master, slave = pty.openpty()
        import fcntl
        import struct
        import termios
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))
        if typed:
            self.send(typed)
        self.proc = subprocess.Popen(
            argv or [BINARY], cwd=cwd, start_new_session=True,
            stdin=stdin if stdin is not None else slave,
            stdout=stdout if stdout is not None else slave,
            stderr=slave, env=env,
            preexec_fn=lambda: fcntl.ioctl(0 if stdin is None else 2, termios.TIOCSCTTY, 0))
        STARTED_PROGRAMS.append(self.proc)
        os.close(slave)
        self.output = b""

    def read_until(self, predicate, timeout=20.0):
        deadline = time.time() + timeout
        while not predicate(self.output):
            left = deadline - time.time()
            if left <= 0:
                return False
            r, _, _ = select.select([self.master], [], [], min(left, 0.2))
            if r:
                try:
                    chunk = os.read(self.master, 65536)
                except OSError:
                    return predicate(self.output)
                if not chunk:
                    return predicate(self.output)
                self.output += chunk
        return True

    def send(self, data):
        os.write(self.master, data.encode() if isinstance(data, str) else data)

    def wait(self, timeout=20.0):
        deadline = time.time() + timeout
        while self.proc.poll() is None and time.time() < deadline:
            self.read_until(lambda _: False, timeout=0.1)
        self.read_until(lambda _: False, timeout=0.1)
        if self.proc.poll() is None:
            end_started()
            raise AssertionError("the program did not end; output so far: %r" % self.output[-500:])
        os.close(self.master)
        return self.proc.returncode


def run_plain(cwd, stdin=subprocess.DEVNULL, timeout=20):
    """The program with no terminal at all: every standard handle redirected."""
    proc = subprocess.Popen([BINARY], cwd=cwd, stdin=stdin, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, start_new_session=True)
    STARTED_PROGRAMS.append(proc)
    out, err = proc.communicate(timeout=timeout)
    return subprocess.CompletedProcess(proc.args, proc.returncode, out, err)


class Tmux:
    """The program in a detached tmux session of a fixed size."""

    def __init__(self, cwd, command=None, rows=24, cols=80):
        self.name = "sudoku2-e2e-%d-%d" % (os.getpid(), int(time.time() * 1000) % 100000)
        self.cwd = cwd
        self.status_file = os.path.join(cwd, ".status")
        cmd = command or "'%s'" % BINARY
        subprocess.run(["tmux", "-L", self.name, "-f", "/dev/null", "new-session", "-d",
                        "-s", self.name, "-x", str(cols), "-y", str(rows), "-c", cwd,
                        "sh -c 'trap : INT; %s; echo $? > .status; sleep 60'" % cmd.replace("'", "'\\''")],
                       check=True, env=dict(os.environ, TERM="xterm-256color"))
        # The pane's shell leads a session that keeps every job started in it.
        self.session = self.variables("pane_pid")
        STARTED_TMUX.append(self)

    def variables(self, *names):
        """tmux's values of NAMES for the pane (pane_pid, pane_tty, ...), as one string."""
        return subprocess.run(["tmux", "-L", self.name, "display-message", "-p", "-t", self.name,
                               " ".join("#{%s}" % name for name in names)],
                              capture_output=True, text=True).stdout.strip()

    def keys(self, *keys):
        subprocess.run(["tmux", "-L", self.name, "send-keys", "-t", self.name, *keys], check=True)

    def screen(self, escapes=False):
        args = ["tmux", "-L", self.name, "capture-pane", "-p", "-t", self.name]
        if escapes:
            args.append("-e")
        return subprocess.run(args, check=True, capture_output=True, text=True).stdout

    def cursor(self):
        """(column, row, visible) of the terminal's cursor, 0-based."""
        out = self.variables("cursor_x", "cursor_y", "cursor_flag").split()
        return int(out[0]), int(out[1]), out[2] == "1"

    def wait_for(self, predicate, timeout=30.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            screen = self.screen()
            if predicate(screen):
                return screen
            time.sleep(0.1)
        raise AssertionError("screen never matched:\n" + self.screen())

    def status(self, timeout=30.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if os.path.exists(self.status_file):
                with open(self.status_file) as f:
                    text = f.read().strip()
                if text:
                    return int(text)
            time.sleep(0.1)
        raise AssertionError("the program did not end:\n" + self.screen())

    def record(self, path):
        """From now on, what the pane's programs write is appended to the file at PATH."""
        subprocess.run(["tmux", "-L", self.name, "pipe-pane", "-t", self.name, "cat >> '%s'" % path],
                       check=True)

    def resize(self, cols, rows):
        subprocess.run(["tmux", "-L", self.name, "resize-window", "-t", self.name,
                        "-x", str(cols), "-y", str(rows)], check=True)

    def hang_up(self):
        """Closes the terminal: what runs in it is sent SIGHUP."""
        subprocess.run(["tmux", "-L", self.name, "kill-server"], capture_output=True)

    def kill(self):
        """Ends everything started in the session, in whatever process group,
        then the terminal: a program that ignores the hang-up (nohup) or never
        gets to act on it must not live on."""
        if self.session.isdigit():
            subprocess.run(["pkill", "-KILL", "-s", self.session], capture_output=True)
        self.hang_up()


class ScratchCase(unittest.TestCase):
    """A test with a scratch folder, removed afterwards."""

    def setUp(self):
        self.scratch = None

    def tearDown(self):
        if self.scratch:
            self.scratch.cleanup()


class TmuxCase(ScratchCase):
    """A test with a scratch folder and a tmux session, both cleaned up."""

    def setUp(self):
        super().setUp()
        self.tmux = None

    def tearDown(self):
        if self.tmux:
            self.tmux.kill()
        super().tearDown()

    def start(self, puzzle, command=None):
        self.scratch = Scratch(grid_text(puzzle))
        self.tmux = Tmux(self.scratch.dir, command=command)
        return self.tmux


class EndingResult(unittest.TextTestResult):
    """Ends what each test started once the test is over, however it ended."""

    def stopTest(self, test):
        end_started()
        super().stopTest(test)


def main():
    unittest.main(argv=[sys.argv[0], "-v"],
                  testRunner=unittest.TextTestRunner(resultclass=EndingResult, verbosity=2))
