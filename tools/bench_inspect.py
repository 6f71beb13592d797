#!/usr/bin/env python3
"""Benchmark of the read-only views on large generated designs.

For each size: generates a design (tools/gen_design.py), annotates it with
`orlune update`, then times `render`, `report --json` and `verify` and
prints the time per sheet. The goal for pictures is well under a second
per sheet; a size that misses it is marked SLOW and the exit status is 1.

    python3 tools/bench_inspect.py --binary build/dev/src/app/orlune --sheets 10 100
"""

import argparse
import pathlib
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import gen_design  # noqa: E402

RENDER_GOAL_PER_SHEET = 0.25  # seconds; "well under a second"


def timed(command, expect):
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    elapsed = time.perf_counter() - start
    if done.returncode not in expect:
        sys.exit(f"{' '.join(command)}: exit {done.returncode}\n{done.stderr}")
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", required=True, help="the orlune program")
    parser.add_argument("--sheets", type=int, nargs="+", default=[10, 100])
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    slow = False
    with tempfile.TemporaryDirectory() as tmp:
        for sheets in args.sheets:
            design = pathlib.Path(tmp) / f"design-{sheets}.json"
            with open(design, "w", encoding="utf-8") as out:
                gen_design.write(gen_design.Generator(sheets, args.seed).design(), out)
            update = timed([args.binary, "update", str(design)], {0, 1})
            render = timed([args.binary, "render", str(design), "-o", str(pathlib.Path(tmp) / f"svg-{sheets}")], {0})
            report = timed([args.binary, "report", "--json", str(design)], {0})
            verify = timed([args.binary, "verify", str(design)], {0, 4})
            per_sheet = render / sheets
            verdict = "ok" if per_sheet < RENDER_GOAL_PER_SHEET else "SLOW"
            slow = slow or verdict != "ok"
            print(f"{sheets:4d} sheets: update {update:6.2f} s, render {render:6.2f} s "
                  f"({per_sheet * 1000:6.1f} ms/sheet, {verdict}), report {report:6.2f} s, verify {verify:6.2f} s")
    return 1 if slow else 0


if __name__ == "__main__":
    sys.exit(main())
