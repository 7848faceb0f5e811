"""End to end in a real terminal: the final line read, typed and edited, and
a standard input that is a file or a pipe."""
import re
import time

from harness import (BANNER, BINARY, SOLVED, PtyRun, Scratch, Tmux, TmuxCase, grid_text, main,
                     puzzle_without, solution_block)


# Two empty cells: a second of animation.
SHORT = puzzle_without([(0, 2), (4, 4)])
# Five empty cells, far apart: a few seconds of animation.
LONGER = puzzle_without([(0, 0), (2, 8), (4, 4), (6, 0), (8, 8)])
# Row 14 of the screen, where the final line is echoed.
ECHO_ROW = 13
# Longer than the 50 ms in which an Esc and the next byte make Alt+key.
APART = 0.3


class Keyboard(TmuxCase):
    def start(self, puzzle, command=None):
        super().start(puzzle, command)
        self.tmux.wait_for(lambda s: BANNER[2] in s)
        return self.tmux

    def echo(self):
        return self.tmux.screen().splitlines()[ECHO_ROW].rstrip()

    def wait_echo(self, text):
        self.tmux.wait_for(lambda s: s.splitlines()[ECHO_ROW].rstrip() == text, timeout=5)

    def test_left_then_a_character_overwrites(self):
        tmux = self.start(SHORT)
        # The cursor waits, visible, where the echo starts.
        self.assertEqual(tmux.cursor(), (0, ECHO_ROW, True))
        tmux.keys("abc")
        self.wait_echo("abc")
        tmux.keys("Left")
        tmux.keys("X")
        self.wait_echo("abX")
        self.assertEqual(tmux.cursor(), (3, ECHO_ROW, True))
        tmux.keys("Enter")
        self.assertEqual(tmux.status(), 0)
        self.assertEqual(self.scratch.read("out.txt"), solution_block(SOLVED))

    def test_home_end_and_backspace(self):
        tmux = self.start(SHORT)
        tmux.keys("abc")
        self.wait_echo("abc")
        # Backspace only erases at the end of the line.
        tmux.keys("Home")
        tmux.keys("BSpace")
        time.sleep(APART)
        self.assertEqual(self.echo(), "abc")
        tmux.keys("End")
        tmux.keys("BSpace")
        self.wait_echo("ab")
        tmux.keys("Enter")
        self.assertEqual(tmux.status(), 0)

    def test_esc_erases_the_line(self):
        tmux = self.start(SHORT)
        tmux.keys("hello")
        self.wait_echo("hello")
        tmux.keys("Escape")
        self.wait_echo("")
        time.sleep(APART)
        tmux.keys("z")
        self.wait_echo("z")
        tmux.keys("Enter")
        self.assertEqual(tmux.status(), 0)

    def test_keys_typed_during_the_search_wait_for_the_line(self):
        self.scratch = Scratch(grid_text(LONGER))
        self.tmux = tmux = Tmux(self.scratch.dir)
        tmux.wait_for(lambda s: s.startswith("0 3 4 "))
        tmux.keys("qw")
        # Not echoed over the picture while the search runs.
        time.sleep(APART)
        screen = tmux.screen()
        self.assertNotIn("q", screen)
        screen = tmux.wait_for(lambda s: BANNER[2] in s)
        self.assertNotIn("qw", "\n".join(screen.splitlines()[:ECHO_ROW]))
        self.wait_echo("qw")
        tmux.keys("Enter")
        self.assertEqual(tmux.status(), 0)

    def test_lines_typed_ahead_after_the_final_one_reach_the_shell(self):
        self.scratch = Scratch(grid_text(LONGER))
        self.tmux = tmux = Tmux(self.scratch.dir, command="'%s'; echo status $?; "
                                "PS1='prompt$ ' bash --norc -i" % BINARY)
        tmux.wait_for(lambda s: s.startswith("0 3 4 "))
        tmux.keys("abc", "Enter", "echo hi", "Enter")
        rows = [r.rstrip() for r in tmux.wait_for(lambda s: "\nhi\n" in s).splitlines()]
        self.assertEqual(rows[ECHO_ROW:ECHO_ROW + 4], ["abc", "status 0", "prompt$ echo hi", "hi"])

    def test_lines_pasted_before_the_start_reach_the_shell(self):
        # Pasted with the command that starts the program: with the terminal
        # as input the first line ends the final one, and the two after it
        # are the shell's; with /dev/null as input all of them are.
        for redirect, first in (("", "abc\r"), (" < /dev/null", "")):
            with self.subTest(redirect=redirect):
                self.scratch = Scratch(grid_text(SHORT))
                run = PtyRun(self.scratch.dir, typed=first + "one\rtwo\r", argv=[
                    "bash", "-c", "'%s'%s; echo status $?; read -r -t 5 a; read -r -t 5 b; "
                    "echo \"left[$a|$b]\"" % (BINARY, redirect)])
                run.wait(timeout=30)
                self.assertEqual(re.findall(rb"status \d+|left\[.*\]", run.output),
                                 [b"status 0", b"left[one|two]"])
                self.scratch.cleanup()
                self.scratch = None

    def test_control_characters_show_as_glyphs_never_raw(self):
        # Ctrl-A is stored and echoed as a cell: its code page 437 glyph in a
        # UTF-8 locale, '?' in any other; never the raw byte.
        for lang, shown in (("C.UTF-8", "a\u263ab"), ("C", "a?b")):
            with self.subTest(lang=lang):
                tmux = self.start(SHORT, command="LC_ALL=%s '%s'" % (lang, BINARY))
                tmux.keys("a", "C-a", "b")
                self.wait_echo(shown)
                tmux.keys("Enter")
                self.assertEqual(tmux.status(), 0)
                self.tearDown()

    def test_ctrl_c_at_the_final_wait(self):
        tmux = self.start(SHORT, command="stty -a > before.txt; '%s'; echo $? > code.txt; "
                          "stty -a > after.txt" % BINARY)
        tmux.keys("ab")
        self.wait_echo("ab")
        tmux.keys("C-c")
        tmux.status()
        self.assertEqual(self.scratch.read("code.txt").strip(), b"130")
        self.assertEqual(self.scratch.read("before.txt"), self.scratch.read("after.txt"))
        self.assertEqual(self.scratch.read("out.txt"), solution_block(SOLVED))

    def test_standard_input_from_dev_null_ends_after_the_banner(self):
        tmux = self.start(SHORT, command="'%s' < /dev/null" % BINARY)
        self.assertEqual(tmux.status(), 0)
        self.assertEqual(tmux.screen().splitlines()[10:13], BANNER)

    def test_standard_input_from_a_pipe_is_typed(self):
        # Left and an overwrite, then the line's end: the echo shows the edit,
        # and what follows the line is left for the next reader.
        tmux = self.start(SHORT, command="printf 'abc\\033[DX\\nrest\\n' | { '%s'; cat > rest.txt; }"
                          % BINARY)
        self.assertEqual(tmux.status(), 0)
        self.assertEqual(self.echo(), "abX")
        self.assertEqual(self.scratch.read("rest.txt"), b"rest\n")


if __name__ == "__main__":
    main()
