"""The manual page renders without a warning, and its EXIT STATUS section
has a tag for every error number the sources define: the file layer's OS
errors as the channel maps them, the named error numbers, the fault table's
numbers and the HALT codes."""
import glob
import os
import re
import subprocess
import sys
import unittest

ROOT = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else "."
PAGE = os.path.join(ROOT, "doc", "sudoku2.1")
NUMBER = r"(0[xX][0-9A-Fa-f]+|\d+)"


def read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return f.read()


def named_constants(text, pattern):
    """{name: value} of the `constexpr <type> NAME = <number>;` lines whose
    name matches PATTERN."""
    found = re.findall(r"constexpr\s+[\w:]+\s+(%s)\s*=\s*%s\s*;" % (pattern, NUMBER), text)
    return {name: int(value, 0) for name, value in found}


def channel_code(os_error, rule):
    """The code the channel records for an OS error number (the mapping in
    the file device, with its own constants)."""
    if rule["FIRST_DEVICE_ERROR"] <= os_error <= rule["LAST_DEVICE_ERROR"]:
        return os_error + rule["DEVICE_ERROR_OFFSET"]
    if os_error == rule["ERR_SHARING_VIOLATION"]:
        return rule["IO_ACCESS_DENIED"]
    return os_error


def defined_numbers():
    """{source: set of error numbers}; each source must yield some, so that
    a renamed constant or table breaks the test instead of emptying it."""
    file_layer = named_constants(read("src/platform/file.h"), r"ERR_\w+")
    named = named_constants(read("src/runtime/errornumbers.h"), r"\w+")
    rule = named_constants(read("src/runtime/textfile/filedevice.cpp"), r"\w+")
    rule.update(named, ERR_SHARING_VIOLATION=file_layer["ERR_SHARING_VIOLATION"])
    table = re.search(r"FAULTTABLE\[\]\s*=\s*\{(.*?)\};", read("src/runtime/process/faults.cpp"),
                      re.S)
    all_sources = "".join(read(p) for p in glob.glob("src/**/*.[ch]*", root_dir=ROOT,
                                                         recursive=True))
    return {
        "OS errors, mapped": {channel_code(v, rule) for v in file_layer.values()},
        "named error numbers": set(named.values()),
        # A name the header does not define counts as an undocumented -1.
        "fault table": {named.get(n, -1) for n in re.findall(
            r"\{\s*plat::FAULT_\w+\s*,\s*(\w+)\s*,", table.group(1) if table else "")},
        "HALT codes": {int(n, 0) for n in re.findall(r"\bHALT\(\s*%s\s*\)" % NUMBER,
                                                     all_sources)},
    }


def exit_status_tags(page):
    """The numbers on the tag lines of the .TP paragraphs of EXIT STATUS."""
    section = re.search(r'^\.SH "EXIT STATUS"\n(.*?)^\.SH ', page, re.S | re.M)
    lines = section.group(1).splitlines() if section else []
    tags = [lines[i + 1] for i, line in enumerate(lines[:-1]) if line.startswith(".TP")]
    return {int(n) for tag in tags for n in re.findall(r"\b\d+\b", tag)}


class ManualPage(unittest.TestCase):
    def test_renders_without_warnings(self):
        result = subprocess.run(["groff", "-man", "-ww", "-z", PAGE],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stderr, "")

    def test_every_error_number_has_an_exit_status_entry(self):
        documented = exit_status_tags(read(PAGE))
        for source, numbers in defined_numbers().items():
            with self.subTest(source=source):
                self.assertTrue(numbers, "no numbers found in the sources")
                self.assertEqual(numbers - documented, set(), "not under EXIT STATUS")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
