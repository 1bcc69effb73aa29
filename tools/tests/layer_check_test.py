#!/usr/bin/python3
"""The layer check on a small fixture tree: the tree as it is passes; each case
puts one use against the order into a copy of it, and the check must fail
naming exactly that file and line."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, '..', 'layer_check.py')
FIXTURE = os.path.join(HERE, 'layer_fixture')

# (what, file, text replaced (None: new file), replacement, expected report)
CASES = [
    ('include of a higher folder', 'app/scan/scan.h', '#include <vector>', '#include "app/ui/shell.h"',
     'app/scan/scan.h:3: app/scan includes "app/ui/shell.h": app/ui is not below app/scan in the layer order'),
    ('include of the other chain', 'surface/fit/fit.cpp', '#include "../frame/frame.h"',
     '#include "../frame/frame.h"\n#include "app/base/messages.h"',
     'surface/fit/fit.cpp:3: surface/fit includes "app/base/messages.h": '
     'app/base is not below surface/fit in the layer order'),
    ('relative include of a higher folder', 'surface/frame/frame.h', '#include "platform/os_seam.h"',
     '#include "../fit/fit.h"',
     'surface/frame/frame.h:2: surface/frame includes "surface/fit/fit.h": '
     'surface/fit is not below surface/frame in the layer order'),
    ('resource script includes a higher folder', 'app/ui/program/program.rc', '#include <windows.h>',
     '#include "sim/device.h"',
     'app/ui/program/program.rc:1: app/ui includes "sim/device.h": sim is support code that the product never uses'),
    ('product includes test code', 'app/ui/shell.h', '#include "app/scan/scan.h"',
     '#include "app/scan/tests/scan_fixture.h"',
     'app/ui/shell.h:2: app/ui includes "app/scan/tests/scan_fixture.h": '
     'test, benchmark and tool code is not part of the product'),
    ('include of a library header that is not its boundary', 'app/ui/shell.h', '#include "surface/fit/fit.h"',
     '#include "surface/frame/frame.h"',
     'app/ui/shell.h:3: app/ui includes "surface/frame/frame.h": surface/frame is not below app/ui in the layer order'),
    ('include of a folder outside the order', 'app/ui/shell.h', '#include "app/scan/scan.h"',
     '#include "app/view/view.h"',
     'app/ui/shell.h:2: app/ui includes "app/view/view.h": that folder is not in the layer order'),
    ('folder outside the order', 'app/view/view.cpp', None, '#include "app/ui/shell.h"\n',
     'app/view/view.cpp: folder app/view is not in the layer order (tools/layers.txt)'),
    ('DEPENDS on a higher folder', 'app/base/CMakeLists.txt', 'DEPENDS platform', 'DEPENDS platform app_scan',
     'app/base/CMakeLists.txt:3: app_base (app/base) depends on app_scan (app/scan): '
     'app/scan is not below app/base in the layer order'),
    ('product links a support target', 'app/ui/CMakeLists.txt', 'app_ui app_scan comctl32',
     'app_ui app_scan comctl32 sim_stand_in',
     'app/ui/CMakeLists.txt:3: Program (app/ui) depends on sim_stand_in (sim): '
     'sim is support code that the product never uses'),
    ('links the other chain through a list', 'surface/fit/CMakeLists.txt', 'set(parts surface_frame surface_fit)',
     'set(parts surface_frame surface_fit app_base)',
     'surface/fit/CMakeLists.txt:10: Library (surface/fit) depends on app_base (app/base): '
     'app/base is not below surface/fit in the layer order'),
    ('include folder of the other chain', 'app/ui/CMakeLists.txt', '${CMAKE_SOURCE_DIR}/app/base',
     '${CMAKE_SOURCE_DIR}/surface/frame',
     'app/ui/CMakeLists.txt:4: Program (app/ui) depends on surface/frame (surface/frame): '
     'surface/frame is not below app/ui in the layer order'),
]


def run_check(root):
    result = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
    return result.returncode, result.stdout.splitlines()


class LayerCheckTest(unittest.TestCase):
    def test_fixture_follows_the_order(self):
        code, lines = run_check(FIXTURE)
        self.assertEqual((code, lines), (0, ['layer check: includes and CMake dependencies follow tools/layers.txt']))

    def test_each_use_against_the_order_fails_with_its_file_and_line(self):
        for what, path, old, new, expected in CASES:
            with self.subTest(what), tempfile.TemporaryDirectory() as temporary:
                root = os.path.join(temporary, 'tree')
                shutil.copytree(FIXTURE, root)
                target = os.path.join(root, path)
                if old is None:
                    os.makedirs(os.path.dirname(target), exist_ok=True)
                    text = new
                else:
                    with open(target) as f:
                        text = f.read()
                    self.assertIn(old, text)
                    text = text.replace(old, new, 1)
                with open(target, 'w') as f:
                    f.write(text)
                code, lines = run_check(root)
                self.assertEqual(code, 1)
                self.assertEqual(len(lines), 2, lines)
                self.assertTrue(lines[0].startswith(expected), lines)
                self.assertTrue(lines[1].startswith('layer check: 1 use(s) against'), lines)


if __name__ == '__main__':
    unittest.main()
