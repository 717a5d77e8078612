#!/usr/bin/env python3
"""Checks the layering of the source tree and, given CMake's target graph, that
every library declares exactly the project libraries it includes.

    scripts/check_layering.py [--cmake-graph build/debug/graph/deps.dot]

Rules (ARCHITECTURE.md, "Layers"):
  * a folder may include headers of its own folder and of the folders below it
    (LAYERS lists each folder's direct lower neighbours; what they may include
    may be included too) -- platform never includes src, a lower subsystem
    never includes a higher one;
  * GTK, GDK and WebKitGTK headers only in the display back end and the web
    engine module;
  * with --cmake-graph: each library's direct links to other project libraries
    are exactly the libraries whose headers it includes, and its direct links
    to third-party libraries cover the third-party headers it includes.
tools/, tests/ and bench/ may include anything and are not checked.
Exits 1 and prints one line per offence when a rule is broken.
"""

import argparse
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))  # --root replaces it

# folder -> (CMake target or None for header-only folders, the folders it builds on directly)
# A new folder needs a line here; its position says what it may use.
LAYERS = {
    "platform/os": ("vanto_os", []),
    "platform/wke": (None, []),
    # The engine modules: shared modules named node.so, opened at run time,
    # never linked into the client; they build on the engine ABI only.
    "platform/wke/scripted": ("wke_scripted", ["platform/wke"]),
    "platform/wke/webkitgtk": ("wke_webkitgtk", ["platform/wke"]),
    "platform/duilib": ("vanto_duilib", ["platform/os", "platform/wke"]),
    # The display back end: a library of its own, so the core of the UI
    # library builds without the toolkit; only the program's entry links it.
    "platform/duilib/backend/gtk": ("vanto_duilib_gtk", ["platform/duilib"]),
    # What tests look at on the display; never linked into the program.
    "platform/duilib/backend/gtk/probes": ("vanto_duilib_gtk_probes", ["platform/duilib/backend/gtk"]),
    "skin": ("vanto_skin_resource", ["platform/os"]),
    "src/diag": ("vanto_diag", ["platform/os"]),
    "src/config": ("vanto_config", ["src/diag"]),
    "src/identity": ("vanto_identity", ["src/config"]),
    "src/net": ("vanto_net", ["src/identity"]),
    "src/library": ("vanto_library", ["src/net"]),
    "src/stats": ("vanto_stats", ["src/net"]),
    "src/ui": ("vanto_ui", ["platform/duilib", "src/config"]),
    # The engine loader and the browser dialog; the login dialog (account)
    # needs the browser dialog, the main window (shell) needs account.
    "src/web": ("vanto_web", ["src/ui", "src/net"]),
    # The user's picture comes through the plain file fetch (library).
    "src/account": ("vanto_account", ["src/net", "src/web", "src/library"]),
    "src/update": ("vanto_update", ["src/library", "src/stats", "src/ui"]),
    "src/toolbox": ("vanto_toolbox", ["src/library", "src/ui"]),
    "src/shell": ("vanto_shell", ["src/account", "src/update", "src/toolbox"]),
    "src/app": ("vanto_app", ["src/shell"]),
    "src/app/main": ("vanto_main", ["src/app", "platform/duilib/backend/gtk"]),
}

# Where GUI toolkit headers may appear.
GUI_FOLDERS = ("platform/duilib/backend/gtk/", "platform/wke/webkitgtk/")
GUI_HEADER = re.compile(r"^(gtk|gdk|webkit2|webkit|JavaScriptCore|jsc)/")

# Third-party headers and the CMake targets that provide them.
THIRD_PARTY = [
    (re.compile(r"^curl/"), "PkgConfig::CURL"),
    (re.compile(r"^json/"), "PkgConfig::JSONCPP"),
    (re.compile(r"^openssl/ssl\.h$"), "OpenSSL::SSL"),
    (re.compile(r"^openssl/"), "OpenSSL::Crypto"),
    (re.compile(r"^sqlite3\.h$"), "SQLite::SQLite3"),
    (re.compile(r"^zlib\.h$"), "ZLIB::ZLIB"),
    (re.compile(r"^uuid/"), "PkgConfig::UUID"),
    (re.compile(r"^gsf/"), "PkgConfig::GSF"),
    (re.compile(r"^magic\.h$"), "PkgConfig::MAGIC"),
    (re.compile(r"^zip\.h$"), "PkgConfig::LIBZIP"),
    (re.compile(r"^pugixml\.hpp$"), "PkgConfig::PUGIXML"),
    (re.compile(r"^httplib\.h$"), "PkgConfig::HTTPLIB"),
    (re.compile(r"^gio/"), "PkgConfig::GIO"),
]

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c")
UNCHECKED = ("tools/", "tests/", "bench/", "build/")


def folder_of(path):
    """The LAYERS folder a repository path belongs to (longest prefix), or None."""
    best = None
    for folder in LAYERS:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def source_files():
    for top in ("platform", "src", "skin"):
        for dirpath, _, names in os.walk(os.path.join(ROOT, top)):
            for name in sorted(names):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(dirpath, name), ROOT).replace(os.sep, "/")


def resolve(including, target):
    """The repository path a quoted include names, or None when it is not ours."""
    for base in (os.path.dirname(including), "", "src"):
        candidate = os.path.normpath(os.path.join(base, target)).replace(os.sep, "/")
        if not candidate.startswith("..") and os.path.isfile(os.path.join(ROOT, candidate)):
            return candidate
    return None


def allowed_closure():
    closure = {}

    def below(folder, seen=()):
        if folder in seen:
            raise SystemExit("check_layering: LAYERS has a cycle through " + folder)
        if folder not in closure:
            result = set()
            for lower in LAYERS[folder][1]:
                result.add(lower)
                result |= below(lower, seen + (folder,))
            closure[folder] = result
        return closure[folder]

    for folder in LAYERS:
        below(folder)
    return closure


def scan():
    """Offences of the include rules, and per folder the project folders and
    third-party targets its files include."""
    offences = []
    closure = allowed_closure()
    uses = {folder: set() for folder in LAYERS}
    third = {folder: set() for folder in LAYERS}
    for path in source_files():
        folder = folder_of(path)
        if folder is None:
            offences.append(f"{path}: folder not in the layer table (scripts/check_layering.py)")
            continue
        with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as handle:
            for number, line in enumerate(handle, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quote, target = match.groups()
                if GUI_HEADER.match(target) and not path.startswith(GUI_FOLDERS):
                    offences.append(f"{path}:{number}: GUI toolkit header <{target}> outside the display back end")
                if quote == "<":
                    for pattern, provider in THIRD_PARTY:
                        if pattern.match(target):
                            third[folder].add(provider)
                            break
                    continue
                resolved = resolve(path, target)
                if resolved is None:
                    continue
                other = folder_of(resolved)
                if other is None:
                    offences.append(f'{path}:{number}: includes "{target}" from outside the layered folders')
                elif other != folder:
                    uses[folder].add(other)
                    if other not in closure[folder]:
                        offences.append(f'{path}:{number}: {folder} may not include "{target}" ({other} is not below it)')
    return offences, uses, third


EDGE = re.compile(r'^\s*"(node\d+)"\s*->\s*"(node\d+)"')
NODE = re.compile(r'^\s*"(node\d+)"\s*\[\s*label\s*=\s*"([^"]+)"')


def cmake_edges(dot_path):
    names, edges = {}, {}
    with open(dot_path, encoding="utf-8") as handle:
        for line in handle:
            node = NODE.match(line)
            if node:
                names[node.group(1)] = node.group(2)
                continue
            edge = EDGE.match(line)
            if edge:
                edges.setdefault(edge.group(1), set()).add(edge.group(2))
    graph = {}
    for source, targets in edges.items():
        graph[names.get(source, source)] = {names.get(t, t) for t in targets}
    return graph


def check_cmake(graph, uses, third):
    offences = []
    target_of = {folder: entry[0] for folder, entry in LAYERS.items()}
    project_targets = {t for t in target_of.values() if t}
    for folder, (target, _) in LAYERS.items():
        if target is None or not os.path.isdir(os.path.join(ROOT, folder)):
            continue
        if target not in graph and not uses[folder] and not third[folder]:
            continue
        declared = graph.get(target, set())
        declared_project = declared & project_targets
        included = {target_of[f] for f in uses[folder] if target_of[f]}
        for missing in sorted(included - declared_project):
            offences.append(f"{folder}: {target} includes {missing} but does not link it")
        for extra in sorted(declared_project - included):
            offences.append(f"{folder}: {target} links {extra} but includes nothing of it")
        for missing in sorted(third[folder] - declared):
            offences.append(f"{folder}: {target} includes headers of {missing} but does not link it")
    return offences


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cmake-graph", help="CMake's --graphviz output of a configured build")
    parser.add_argument("--root", help="the tree to check (default: this repository)")
    args = parser.parse_args()
    if args.root:
        global ROOT
        ROOT = os.path.abspath(args.root)
    offences, uses, third = scan()
    if args.cmake_graph:
        offences += check_cmake(cmake_edges(args.cmake_graph), uses, third)
    for offence in offences:
        print("layering: " + offence)
    if offences:
        print(f"layering: {len(offences)} offence(s)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
