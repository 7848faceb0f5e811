"""End to end: the run-time error report, faults, HALT and exit codes."""
import os
import re
import signal
import struct
import subprocess
import sys
import termios

from harness import (ADDR2LINE, BINARY, IMAGE, SOLVED, PtyRun, Scratch, grid_text, main,
                     puzzle_without, runnable, solution_block, unittest)

FAULT_IMAGE = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else "build/tests/fault_program"
FAULT_PROGRAM = runnable(FAULT_IMAGE)
sys.argv[1:] = sys.argv[1:3]

ELF_MACHINE_X86_64 = 62


def traps_floating_point(image):
    """Whether the image's processor traps floating-point errors (x86-64);
    elsewhere the runtime finds them by their flags at its next check."""
    with open(image, "rb") as f:
        header = f.read(20)
    return struct.unpack_from("<H", header, 18)[0] == ELF_MACHINE_X86_64


FIRST_LINE = re.compile(r"^Runtime error (\d+) at 0x([0-9A-F]{8})$")
STACK_LINE = re.compile(r"^  0x([0-9A-F]{8})$")
ESCAPE = re.compile(rb"\x1b(\[[0-9;?<>=]*[ -/]*[@-~]|\][^\x07\x1b]*(\x07|\x1b\\)|[()][0-9A-Za-z]|[=>78c])")


def new_terminal_modes():
    """The modes of a new terminal, as a program finds its own."""
    master, slave = os.openpty()
    modes = termios.tcgetattr(master)
    os.close(master)
    os.close(slave)
    return modes


def report_lines(raw):
    """The report's lines from raw output bytes, from its first line on."""
    # The terminal turns each line end CR LF into CR CR LF.
    text = ESCAPE.sub(b"", raw).replace(b"\r\r\n", b"\r\n").decode("latin-1")
    start = text.find("Runtime error ")
    if start < 0:
        return []
    lines = text[start:].split("\r\n")
    return lines[:-1] if lines and lines[-1] == "" else lines


class Report(unittest.TestCase):
    def check_shape(self, lines, number, stack_lines=None):
        """First line, location line equal to it, stack lines, an empty line."""
        self.assertGreaterEqual(len(lines), 3, lines)
        m = FIRST_LINE.match(lines[0])
        self.assertTrue(m, lines[0])
        self.assertEqual(int(m.group(1)), number)
        self.assertEqual(lines[1], "  0x" + m.group(2))
        self.assertEqual(lines[-1], "")
        for line in lines[1:-1]:
            self.assertRegex(line, STACK_LINE)
        if stack_lines is not None:
            self.assertEqual(len(lines) - 3, stack_lines, lines)
        return m.group(2)

    def addr2line(self, binary, address):
        """The function (demangled, without its parameters) and the source place."""
        out = subprocess.run([ADDR2LINE, "-f", "-C", "-e", binary, "0x" + address],
                             capture_output=True, text=True, check=True).stdout
        function, place = out.splitlines()[:2]
        if function.endswith(")"):
            function = function[:function.rfind("(")]
        return function.split("::")[-1], place

    def fault(self, kind, stdout=subprocess.PIPE, extra_env=None):
        env = dict(os.environ, SUDOKU2_FAULT=kind, **(extra_env or {}))
        return subprocess.run([FAULT_PROGRAM], env=env, stdin=subprocess.DEVNULL,
                              stdout=stdout, stderr=subprocess.PIPE, timeout=30)


class ProgramReport(Report):
    """The real program, on a terminal, with its standard output in a file."""

    def run_program(self, scratch):
        with open(scratch.path("report.txt"), "wb") as report:
            run = PtyRun(scratch.dir, stdout=report)
            status = run.wait()
        return status, scratch.read("report.txt")

    def test_missing_puzzle_file_gives_five_lines_and_status_2(self):
        scratch = Scratch()
        try:
            status, raw = self.run_program(scratch)
            self.assertEqual(status, 2)
            self.assertTrue(raw.endswith(b"\r\n\r\n"))
            lines = raw.decode().split("\r\n")[:-1]
            self.assertEqual(len(lines), 5, lines)
            location = self.check_shape(lines, 2, stack_lines=2)
            function, place = self.addr2line(IMAGE, location)
            self.assertEqual(function, "BEOLVAS")
            self.assertIn("files.cpp", place)
            caller = self.addr2line(IMAGE, lines[2][4:])
            self.assertEqual(caller[0], "MAINPROGRAM")
            self.assertEqual(self.addr2line(IMAGE, lines[3][4:])[0], "EXE_ENTRY")
            self.assertFalse(os.path.exists(scratch.path("out.txt")))
        finally:
            scratch.cleanup()

    def test_uncreatable_solutions_file_reports_from_the_main_program(self):
        scratch = Scratch(grid_text(SOLVED))
        os.mkdir(scratch.path("out.txt"))
        try:
            status, raw = self.run_program(scratch)
            self.assertEqual(status, 5)
            lines = raw.decode().split("\r\n")[:-1]
            location = self.check_shape(lines, 5, stack_lines=1)
            self.assertEqual(self.addr2line(IMAGE, location)[0], "MAINPROGRAM")
        finally:
            scratch.cleanup()

    def test_status_is_2_with_standard_output_closed_or_full(self):
        for redirect in (">&-", ">/dev/full"):
            with self.subTest(redirect=redirect):
                scratch = Scratch()
                try:
                    run = PtyRun(scratch.dir, argv=["sh", "-c", 'exec "$0" ' + redirect, BINARY])
                    self.assertEqual(run.wait(), 2)
                finally:
                    scratch.cleanup()


class RuntimeReport(Report):
    """A program on the runtime that fails on purpose."""

    def test_deep_error_to_a_file_shows_257_stack_lines(self):
        result = self.fault("deep")
        self.assertEqual(result.returncode, 3)
        self.check_shape(result.stdout.decode().split("\r\n")[:-1], 3, stack_lines=257)

    def test_deep_error_to_a_terminal_shows_9_stack_lines(self):
        scratch = Scratch()
        try:
            run = PtyRun(scratch.dir, argv=[FAULT_PROGRAM],
                         env=dict(os.environ, SUDOKU2_FAULT="deep"))
            self.assertEqual(run.wait(), 3)
            self.check_shape(report_lines(run.output), 3, stack_lines=9)
        finally:
            scratch.cleanup()

    def test_faults_and_checks_give_their_numbers_with_a_full_report(self):
        cases = {"div0": 200, "null": 216, "recurse": 202, "range": 201, "overflow": 215,
                 "fdiv0": 200, "finvalid": 207, "foverflow": 205, "io": 3}
        for kind, number in cases.items():
            with self.subTest(kind=kind):
                result = self.fault(kind)
                self.assertEqual(result.returncode, number)
                lines = result.stdout.decode().split("\r\n")[:-1]
                location = self.check_shape(lines, number)
                self.assertGreaterEqual(len(lines), 4)
                if kind != "recurse":
                    self.assertEqual(self.addr2line(FAULT_IMAGE, lines[-2][4:])[0], "EXE_ENTRY")
                if kind in ("div0", "null") or kind == "fdiv0" and traps_floating_point(FAULT_IMAGE):
                    # The location of a fault is the faulting instruction itself.
                    self.assertIn("FAIL_NOW", self.addr2line(FAULT_IMAGE, location)[0])
                elif kind == "fdiv0":
                    # Found by its flag at the normal end.
                    self.assertEqual(self.addr2line(FAULT_IMAGE, location)[0], "DO_EXIT")

    def test_stack_overflow_report_names_every_caller(self):
        # Two procedures call each other: whichever faulted, each stack line
        # names the other one, the caller of the line before it.
        result = self.fault("recurse-mutual")
        self.assertEqual(result.returncode, 202)
        lines = result.stdout.decode().split("\r\n")[:-1]
        self.check_shape(lines, 202)
        names = [self.addr2line(FAULT_IMAGE, line[4:])[0] for line in lines[1:6]]
        for callee, caller in zip(names, names[1:]):
            self.assertEqual({callee, caller}, {"RECURSE_EVEN", "RECURSE_ODD"}, names)

    def test_a_fault_after_a_solution_leaves_its_block(self):
        scratch = Scratch(None)
        try:
            env = dict(os.environ, SUDOKU2_FAULT="solution-then-null")
            result = subprocess.run([FAULT_PROGRAM], env=env, cwd=scratch.dir, timeout=30,
                                    stdin=subprocess.DEVNULL, capture_output=True)
            self.assertEqual(result.returncode, 216)
            self.check_shape(result.stdout.decode().split("\r\n")[:-1], 216)
            rows = ["".join(str((r * 3 + r // 3 + c) % 9 + 1) for c in range(9)) for r in range(9)]
            self.assertEqual(scratch.read("out.txt"), solution_block("".join(rows)))
        finally:
            scratch.cleanup()

    def test_halt_writes_no_report(self):
        result = self.fault("halt")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"")

    def test_error_in_module_4_finalises_modules_3_and_2_only(self):
        result = self.fault("module4")
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stderr, b"finalise module 3\r\nfinalise module 2\r\n")
        self.check_shape(result.stdout.decode().split("\r\n")[:-1], 2)

    def test_normal_end_writes_nothing(self):
        result = self.fault("")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout, b"")

    def test_number_with_zero_low_byte_never_exits_with_0(self):
        result = self.fault("error256")
        self.assertEqual(result.returncode, 255)
        self.check_shape(result.stdout.decode().split("\r\n")[:-1], 256)

    def test_status_is_the_error_number_with_standard_output_closed_or_full(self):
        for kind, number in (("io", 3), ("null", 216)):
            for redirect in ("closed", "/dev/full"):
                with self.subTest(kind=kind, redirect=redirect):
                    if redirect == "closed":
                        env = dict(os.environ, SUDOKU2_FAULT=kind)
                        result = subprocess.run(["sh", "-c", "exec \"$0\" >&-", FAULT_PROGRAM],
                                                env=env, capture_output=True, timeout=30)
                    else:
                        with open("/dev/full", "wb") as full:
                            result = self.fault(kind, stdout=full)
                    self.assertEqual(result.returncode, number)


class FaultSignalFromOutside(unittest.TestCase):
    """A fault signal another process sends is a request to end, not a fault."""

    def test_ends_by_the_signal_with_no_report_and_the_terminal_given_back(self):
        # Steps enough to be mid-search after the third picture (red cell).
        puzzle = puzzle_without([(r, c) for r in range(3) for c in range(3)])
        before = new_terminal_modes()
        for sig in (signal.SIGSEGV, signal.SIGBUS, signal.SIGILL, signal.SIGTRAP, signal.SIGFPE):
            with self.subTest(signal=sig.name):
                scratch = Scratch(grid_text(puzzle))
                try:
                    run = PtyRun(scratch.dir)
                    self.assertTrue(run.read_until(lambda out: out.count(b"\x1b[41m") >= 3))
                    run.proc.send_signal(sig)
                    run.proc.wait(timeout=20)
                    after = termios.tcgetattr(run.master)
                    self.assertEqual(run.wait(), -sig)
                    self.assertNotIn(b"Runtime error", run.output)
                    self.assertEqual(after, before)
                finally:
                    scratch.cleanup()


class FaultInTheFaultPath(unittest.TestCase):
    def test_the_terminal_is_given_back(self):
        # The report of a fault faults in turn; the exit after a fault stalls
        # (the modes already given back) until it is killed.
        before = new_terminal_modes()
        for kind, status in (("null-report-faults", -signal.SIGSEGV),
                             ("null-stall", -signal.SIGKILL)):
            with self.subTest(kind=kind):
                run = PtyRun(os.getcwd(), argv=[FAULT_PROGRAM],
                             env=dict(os.environ, SUDOKU2_FAULT=kind, SUDOKU2_CONSOLE="1"))
                if kind == "null-stall":
                    self.assertTrue(run.read_until(lambda out: b"finalise module 3" in out))
                    self.assertEqual(termios.tcgetattr(run.master), before)
                    run.proc.kill()
                run.proc.wait(timeout=20)
                self.assertEqual(termios.tcgetattr(run.master), before)
                self.assertEqual(run.wait(), status)
                if kind == "null-report-faults":  # and its cursor shown again
                    self.assertIn(b"\x1b[?25h", run.output)


if __name__ == "__main__":
    main()
