#!/usr/bin/python3
"""The check of the shipped files on small programs of the build: a plain one
passes; one importing a function newer than Windows 2000, one with SSE2
arithmetic checked as a file that must have none, one holding a test hook's
marker and one that is not an image each fail, naming the file and what is
wrong.

    shipped_check_test.py PLAIN TICK64 SSE MARKER
"""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "shipped_check.py")
PLAIN, TICK64, SSE, MARKER = sys.argv[1:5]


def run(*files):
    result = subprocess.run([sys.executable, CHECK, *files], capture_output=True, text=True)
    return result.returncode, result.stdout


class ShippedCheckTest(unittest.TestCase):
    def test_a_program_of_windows_2000_functions_passes(self):
        code, out = run(PLAIN, PLAIN + ":no-sse")
        self.assertEqual(code, 0, out)

    def test_each_fault_fails_naming_file_and_cause(self):
        cases = [
            ([TICK64], "%s: imports KERNEL32.dll!GetTickCount64, which first comes with Windows Vista"
             % os.path.basename(TICK64)),
            ([SSE + ":no-sse"], "%s: SSE instruction in " % os.path.basename(SSE)),
            ([MARKER], "%s: holds the test hook marker b'TolvaranTestHook'" % os.path.basename(MARKER)),
        ]
        for files, expected in cases:
            with self.subTest(files=files):
                code, out = run(PLAIN, *files)
                self.assertEqual(code, 1, out)
                self.assertIn(expected, out)
                # Only the faulty file is named.
                self.assertNotIn(os.path.basename(PLAIN) + ":", out)

    def test_an_import_the_list_lacks_fails(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("kernel32.dll ExitProcess 2000\n")
        try:
            code, out = run("--systems", f.name, PLAIN)
        finally:
            os.unlink(f.name)
        self.assertEqual(code, 1, out)
        self.assertIn("GetTickCount, which is not in the list of what Windows 2000 has", out)

    def test_a_file_that_is_no_image_fails(self):
        with tempfile.NamedTemporaryFile("wb", suffix=".exe", delete=False) as f:
            f.write(b"MZ" + b"\0" * 100)
        try:
            code, out = run(f.name)
        finally:
            os.unlink(f.name)
        self.assertEqual(code, 1, out)
        self.assertIn("cannot read the image", out)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
