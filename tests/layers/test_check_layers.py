#!/usr/bin/env python3
"""scripts/check-layers.py on small project trees of its own: what it lets through and
what it refuses, with the file and line it names."""

import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts',
                      'check-layers.py')

TABLE = """\
| Folder | Holds | May include |
|---|---|---|
| `low/` | the bottom | — |
| `mid/` | the middle | `low` |
| `top/` | the top | `mid`, `low` |
| `tests/` | tests | any |
"""

EXCEPTIONS_HEADER = """
| Exception | From | To | Headers | Reason |
|---|---|---|---|---|
"""


def run_check(files, doc=TABLE):
    """Writes the tree (path -> text) with docs/architecture.md, runs the script on it."""
    with tempfile.TemporaryDirectory() as root:
        for path, text in {**files, 'docs/architecture.md': doc}.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, 'w', encoding='utf-8') as out:
                out.write(textwrap.dedent(text))
        done = subprocess.run([sys.executable, SCRIPT, '--root', root], capture_output=True,
                              text=True, timeout=60)
        return done.returncode, done.stdout + done.stderr


# A tree that keeps the rules; each case adds to it.
BASE = {
    'low/Low.h': '#pragma once\n#include <QString>\n',
    'mid/Mid.h': '#pragma once\n#include "low/Low.h"\n',
    'mid/Mid.cpp': '#include "Mid.h"\n#include "mid/Mid.h"\n',
    'top/Top.cpp': '#include "mid/Mid.h"\n#include "low/Low.h"\n#include "generated_adaptor.h"\n',
    'tests/tst_top.cpp': '#include "top/Top.cpp"\n#include "../mid/Mid.h"\n',
}


class CheckLayersTest(unittest.TestCase):
    def test_allowed_tree_passes(self):
        status, output = run_check(BASE)
        self.assertEqual(status, 0, output)
        self.assertIn('all allowed', output)

    def test_refused_includes(self):
        # (name, files added to the base tree, what the message must name)
        cases = [
            ('from the root', {'low/Bad.cpp': '\n#include "top/Top.cpp"\n'},
             ['low/Bad.cpp:2', '`low` includes "top/Top.cpp"', 'may include only no other folder']),
            ('relative to the file', {'mid/Bad.h': '#include "../top/Top.cpp"\n'},
             ['mid/Bad.h:1', '`mid` includes "top/Top.cpp"', 'may include only `low`']),
            ('in angle brackets', {'mid/Bad.h': '#  include <top/Top.cpp>\n'},
             ['mid/Bad.h:1', '"top/Top.cpp"']),
            ('a generated header of another folder', {'low/Bad.h': '#include "mid/Generated.h"\n'},
             ['low/Bad.h:1', '"mid/Generated.h"']),
            ('a production folder including tests', {'top/Bad.cpp': '#include "tests/tst_top.cpp"\n'},
             ['top/Bad.cpp:1', '`top` includes "tests/tst_top.cpp"']),
            ('two folders including each other', {'low/Back.h': '#include "mid/Mid.h"\n'},
             ['low/Back.h:1', 'folders include each other',
              '`mid` includes "low/Low.h" (mid/Mid.h:2)', '`low` includes "mid/Mid.h" (low/Back.h:1)']),
            ('a circle round three folders', {
                'low/Back.h': '#include "top/Top.cpp"\n'},
             ['folders include each other', '`low` includes "top/Top.cpp"']),
            ('a folder without a row', {'other/Thing.cpp': '#include "low/Low.h"\n'},
             ['other/Thing.cpp', 'folder `other` has no row']),
        ]
        for name, extra, expected in cases:
            with self.subTest(name):
                status, output = run_check({**BASE, **extra})
                self.assertEqual(status, 1, output)
                for text in expected:
                    self.assertIn(text, output)

    def test_exceptions(self):
        row_any = '| low-top | `low` | `top` | | the bottom still reads the top |\n'
        row_one = '| low-top | `low` | `top` | `top/Top.cpp` | the bottom still reads the top |\n'
        row_mid = '| low-mid | `low` | `mid` | | the bottom still reads the middle |\n'
        bad = {'low/Bad.cpp': '#include "top/Top.cpp"\n'}
        other = {'top/Other.h': '#pragma once\n', 'low/Bad2.cpp': '#include "top/Other.h"\n'}
        # (name, files, exception rows, expected status, what the output must name)
        cases = [
            ('an exception lets the include through', bad, row_any, 0, ['all allowed']),
            ('and names the circle it keeps', bad, row_any, 0,
             ['known circle among low, mid, top (exception low-top)']),
            ('an exception limited to headers', {**bad, **other}, row_one, 1,
             ['low/Bad2.cpp:1', '"top/Other.h"']),
            ('an exception nothing needs', {}, row_mid, 1,
             ['exception low-mid', 'is needed no more']),
        ]
        for name, extra, rows, expected_status, expected in cases:
            with self.subTest(name):
                status, output = run_check({**BASE, **extra}, TABLE + EXCEPTIONS_HEADER + rows)
                self.assertEqual(status, expected_status, output)
                for text in expected:
                    self.assertIn(text, output)

    def test_unusable_tables(self):
        cases = [
            ('a table that allows a circle',
             TABLE.replace('| `low/` | the bottom | — |', '| `low/` | the bottom | `top` |'), 1,
             'the table lets folders include each other'),
            ('no table', '# Architecture\n', 2, 'no table with the columns'),
            ('an unreadable cell', TABLE.replace('`mid`, `low` |', 'mid and low |'), 2,
             'cannot read "mid and low"'),
            ('a use of a folder without a row', TABLE.replace('`mid`, `low` |', '`mid`, `nowhere` |'),
             2, '`nowhere`, which has no row'),
        ]
        for name, doc, expected_status, expected in cases:
            with self.subTest(name):
                status, output = run_check(BASE, doc)
                self.assertEqual(status, expected_status, output)
                self.assertIn(expected, output)

    def test_build_and_hidden_folders_are_not_read(self):
        files = {**BASE,
                 'build/CMakeCache.txt': '',
                 'build/moc_Low.cpp': '#include "top/Top.cpp"\n',
                 'low/.cache/stray.cpp': '#include "top/Top.cpp"\n'}
        status, output = run_check(files)
        self.assertEqual(status, 0, output)


if __name__ == '__main__':
    unittest.main()
