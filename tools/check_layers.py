#!/usr/bin/env python3
"""Checks that every include under src/ reaches only down the layers.

    dbx <- host <- run <- annotate, settings, utils <- ui <- ui/qt <- app

A file may include headers of its own layer and of the layers below it
(annotate, settings and utils are one layer). A folder that is in no layer
is reported too, so that a new folder gets its place before it is used.

    python3 tools/check_layers.py [SRC]       # default: the src/ beside tools/
    python3 tools/check_layers.py --self-test # the check finds what it must

Exit status 1 when an include runs up (each one is printed), 0 otherwise.
"""

import pathlib
import re
import sys
import tempfile

# Lowest first; the longest matching folder decides (ui/qt before ui).
LAYERS = [
    ("dbx",),
    ("host",),
    ("run",),
    ("annotate", "settings", "utils"),
    ("ui",),
    ("ui/qt",),
    ("app",),
]
LEVEL = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
SOURCES = {".h", ".hpp", ".cpp", ".cc"}


def layer_of(relative):
    """The layer's folder of a path relative to src/, or None."""
    parts = relative.parts[:-1]
    for n in range(len(parts), 0, -1):
        folder = "/".join(parts[:n])
        if folder in LEVEL:
            return folder
    return None


def violations(src):
    src = pathlib.Path(src).resolve()
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in SOURCES or not path.is_file():
            continue
        relative = path.relative_to(src)
        own = layer_of(relative)
        if own is None:
            found.append(f"{relative}: its folder is in no layer")
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        for match in INCLUDE.finditer(text):
            name = match.group(1)
            # As the compiler looks: beside the file first, then from src/.
            target = (path.parent / name).resolve()
            if not target.is_file():
                target = (src / name).resolve()
            if not target.is_file() or src not in target.parents:
                continue  # a generated or outside header
            theirs = layer_of(target.relative_to(src))
            if theirs is None:
                found.append(f"{relative}: includes {name}, whose folder is in no layer")
            elif LEVEL[theirs] > LEVEL[own]:
                line = text.count("\n", 0, match.start()) + 1
                found.append(f"{relative}:{line}: {own} includes {name} of {theirs}, a layer above")
    return found


def self_test():
    """A tree with one include of each kind: only the upward ones count."""
    files = {
        "dbx/records.h": "",
        "host/host.h": '#include "dbx/records.h"\n',
        "host/kicad/kicad.cpp": '#include "host/host.h"\n#include <vector>\n',
        "run/run.h": '#include "dbx/records.h"\n',
        "settings/startup.cpp": '#include "annotate/text.h"\n#include "run/run.h"\n',
        "annotate/text.h": '#include "utils/status.h"\n',
        "utils/status.h": '#include "ui/flow.h"\n',
        "ui/flow.h": '#include "run/run.h"\n',
        "ui/qt/window.cpp": '#include "ui/flow.h"\n#include "window.h"\n#include "moc_window.cpp"\n',
        "ui/qt/window.h": "",
        "dbx/connection.cpp": '  #  include "run/run.h"\n',
        "app/cli.cpp": '#include "ui/qt/window.h"\n',
        "extra/loose.cpp": "",
    }
    expected = [
        "dbx/connection.cpp:1: dbx includes run/run.h of run, a layer above",
        "extra/loose.cpp: its folder is in no layer",
        "utils/status.h:1: utils includes ui/flow.h of ui, a layer above",
    ]
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = pathlib.Path(root, name)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        got = violations(root)
    if got != expected:
        print("self-test: expected", *expected, "got", *got, sep="\n  ")
        return 1
    print("self-test: the check finds the upward includes and nothing else")
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    src = pathlib.Path(argv[1]) if len(argv) > 1 else pathlib.Path(__file__).resolve().parent.parent / "src"
    if not src.is_dir():
        print(f"{src}: no such folder", file=sys.stderr)
        return 2
    found = violations(src)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) run up the layers")
        return 1
    print("every include reaches only down the layers")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
