"""Installing: exactly the program and its manual page land under
DESTDIR/prefix, the installed program runs from there, and man renders the
installed page. Arguments: the built program, the examples, the build tree."""
import os
import shutil
import subprocess
import sys
import tempfile

from harness import BINARY, EXAMPLES, PtyRun, Scratch, ScratchCase, main, solution_block, solve_all

BUILD = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else "build"
PREFIX = "/usr/local"
PROGRAM = "bin/sudoku2"
PAGE = "share/man/man1/sudoku2.1"


class Install(ScratchCase):
    @classmethod
    def setUpClass(cls):
        cls.destdir = tempfile.mkdtemp(prefix="sudoku2-install-")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", PREFIX], check=True,
                       capture_output=True, env=dict(os.environ, DESTDIR=cls.destdir))
        cls.root = cls.destdir + PREFIX

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.destdir, ignore_errors=True)

    def test_exactly_the_program_and_its_page(self):
        installed = sorted(os.path.relpath(os.path.join(d, f), self.root)
                           for d, _, files in os.walk(self.destdir) for f in files)
        self.assertEqual(installed, sorted([PROGRAM, PAGE]))
        self.assertTrue(os.access(os.path.join(self.root, PROGRAM), os.X_OK))
        # Not stripped: report addresses resolve in the installed copy.
        with open(BINARY, "rb") as built, open(os.path.join(self.root, PROGRAM), "rb") as copy:
            self.assertEqual(built.read(), copy.read())

    def test_installed_program_without_a_terminal(self):
        self.scratch = Scratch()
        result = subprocess.run([os.path.join(self.root, PROGRAM)], cwd=self.scratch.dir,
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=20,
                                start_new_session=True)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, b"No way to get the console handle\r\n")

    def test_installed_program_solves_on_a_terminal(self):
        with open(os.path.join(EXAMPLES, "easy.txt"), "rb") as f:
            puzzle = f.read()
        self.scratch = Scratch(puzzle)
        run = PtyRun(self.scratch.dir, stdin=subprocess.DEVNULL,
                     argv=[os.path.join(self.root, PROGRAM)])
        self.assertEqual(run.wait(), 0)
        cells = "".join(puzzle.decode().split())
        self.assertEqual(self.scratch.read("out.txt"),
                         b"".join(solution_block(s) for s in solve_all(cells)))

    def test_man_renders_the_installed_page(self):
        result = subprocess.run(["man", "-l", os.path.join(self.root, PAGE)],
                                capture_output=True, text=True, timeout=60,
                                env=dict(os.environ, MANPAGER="cat", MANWIDTH="80"))
        self.assertEqual(result.returncode, 0, result.stderr)
        for heading in ("SYNOPSIS", "FILES", "KEYS", "ENVIRONMENT", "EXIT STATUS"):
            self.assertIn("\n" + heading + "\n", result.stdout)


if __name__ == "__main__":
    main()
