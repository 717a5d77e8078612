#!/usr/bin/env python3
"""The layering check catches what it is there for, on small trees of its own."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check_layering.py")


class LayeringCheck(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, path, text):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as handle:
            handle.write(text)

    def run_check(self, *extra):
        return subprocess.run([sys.executable, SCRIPT, "--root", self.root, *extra], capture_output=True, text=True)

    def graph(self, edges):
        lines = ['digraph "vanto" {']
        names = sorted({n for edge in edges for n in edge})
        for i, name in enumerate(names):
            lines.append(f'    "node{i}" [ label = "{name}", shape = octagon ];')
        for a, b in edges:
            lines.append(f'    "node{names.index(a)}" -> "node{names.index(b)}"  // {a} -> {b}')
        lines.append("}")
        self.write("deps.dot", "\n".join(lines) + "\n")
        return os.path.join(self.root, "deps.dot")

    def test_downward_includes_pass_and_upward_ones_fail(self):
        self.write("platform/os/Text.h", "#pragma once\n")
        self.write("src/net/Req.cpp", '#include "platform/os/Text.h"\n#include "config/Oem.h"\n')
        self.write("src/config/Oem.h", "#pragma once\n")
        self.assertEqual(self.run_check().returncode, 0)

        self.write("src/account/Session.h", "#pragma once\n")
        self.write("src/net/Token.cpp", '#include "account/Session.h"\n')
        self.write("platform/os/Bad.cpp", '#include "net/Req.h"\n#include "config/Oem.h"\n')
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        self.assertIn('src/net/Token.cpp:1: src/net may not include "account/Session.h"', result.stdout)
        self.assertIn('platform/os/Bad.cpp:2: platform/os may not include "config/Oem.h"', result.stdout)

    def test_gui_headers_stay_in_the_back_end(self):
        self.write("platform/duilib/backend/gtk/Window.cpp", "#include <gtk/gtk.h>\n")
        self.assertEqual(self.run_check().returncode, 0)
        self.write("src/ui/Dlg.cpp", "#include <gtk/gtk.h>\n")
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        self.assertIn("src/ui/Dlg.cpp:1: GUI toolkit header <gtk/gtk.h>", result.stdout)

    def test_a_folder_missing_from_the_table_is_reported(self):
        self.write("src/newthing/A.cpp", "int a;\n")
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        self.assertIn("src/newthing/A.cpp: folder not in the layer table", result.stdout)

    def test_links_must_match_includes_exactly(self):
        self.write("platform/os/Text.h", "#pragma once\n")
        self.write("src/diag/Log.h", "#pragma once\n")
        self.write("src/config/Oem.cpp", '#include "platform/os/Text.h"\n#include <curl/curl.h>\n')
        exact = self.graph([("vanto_config", "vanto_os"), ("vanto_config", "PkgConfig::CURL")])
        self.assertEqual(self.run_check("--cmake-graph", exact).returncode, 0, self.run_check("--cmake-graph", exact).stdout)

        extra = self.graph([("vanto_config", "vanto_os"), ("vanto_config", "vanto_diag"), ("vanto_config", "PkgConfig::CURL")])
        result = self.run_check("--cmake-graph", extra)
        self.assertEqual(result.returncode, 1)
        self.assertIn("vanto_config links vanto_diag but includes nothing of it", result.stdout)

        missing = self.graph([("vanto_config", "vanto_os")])
        result = self.run_check("--cmake-graph", missing)
        self.assertEqual(result.returncode, 1)
        self.assertIn("vanto_config includes headers of PkgConfig::CURL but does not link it", result.stdout)


if __name__ == "__main__":
    unittest.main()
