#!/usr/bin/env python3
"""Benchmark of Update against the cost of reading and writing the design.

For each size: generates a design (tools/gen_design.py) in which exactly one
symbol is highlighted, then times, on fresh copies of that same file,

  update       `orlune update DESIGN` (start-up, then the Update pass)
  floor        `orlune unhighlight DESIGN`: open, change one highlight, save;
               what any change to the design costs at least

alternately, --runs times each, and prints the medians of the wall time and
of the CPU time (user + system, which other work on a shared machine
disturbs far less), update / floor, and the time per item. The goals are
judged on the CPU time; --judge wall judges the wall time instead. It also measures the command line's start-up: the time
from starting the process to its first DBX call (ORLUNE_TRACE_START=1 makes
orlune print the moment of that call).

    python3 tools/bench.py --binary build/release/src/app/orlune
    python3 tools/bench.py --binary ... --sheets 10 100 --runs 9 --json out.json
    python3 tools/bench.py --binary ... --instructions   # also count instructions

With --instructions each command also runs once under valgrind's callgrind,
which counts the instructions it executes: a figure that other work on the
machine does not disturb at all (system calls and waiting are not in it).

Goals: at the largest size update / floor <= 1.2; the time per item at the
largest size <= 1.3 times that at the smallest; start-up under 50 ms. The
exit status is 1 when a goal is missed.
"""

import argparse
import json
import pathlib
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import gen_design  # noqa: E402

RATIO_GOAL = 1.2
PER_ITEM_GOAL = 1.3
START_GOAL_MS = 50.0


def one_highlight(design):
    """Keeps the highlight of the first highlighted symbol only."""
    kept = False
    for component in design["components"]:
        symbol = component["symbol"]
        if symbol.get("highlight"):
            if kept:
                del symbol["highlight"]
            kept = True
    if not kept:
        design["components"][0]["symbol"]["highlight"] = 15
    return design


def timed(command, expect):
    """Wall and CPU (user + system) seconds of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    elapsed = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode not in expect:
        sys.exit(f"{' '.join(command)}: exit {done.returncode}\n{done.stderr}")
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return elapsed, cpu


def instructions(command):
    """Instructions executed by one run, counted by callgrind."""
    done = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", *command],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    for line in done.stderr.splitlines():
        if "Collected :" in line:
            return int(line.split()[-1])
    sys.exit(f"callgrind gave no count for {' '.join(command)}:\n{done.stderr}")


def start_up_ms(binary, design, work, runs):
    """Process start to the first DBX call, median of `runs`."""
    samples = []
    env = {"ORLUNE_TRACE_START": "1", "PATH": "/usr/bin:/bin"}
    for _ in range(runs):
        shutil.copyfile(design, work)
        started = time.time_ns()
        done = subprocess.run([binary, "status", str(work)], capture_output=True, text=True, env=env)
        for line in done.stderr.splitlines():
            if line.startswith("orlune: first DBX call at "):
                samples.append((int(line.split()[-2]) - started) / 1e6)
                break
        else:
            return None  # a build without the trace
    return statistics.median(samples)


def measure(binary, sheets, seed, runs, tmp, count_instructions):
    design = one_highlight(gen_design.Generator(sheets, seed).design())
    items = len(design["items"])
    components = len(design["components"])
    source = pathlib.Path(tmp) / f"design-{sheets}.json"
    with open(source, "w", encoding="utf-8") as out:
        gen_design.write(design, out)
    work = pathlib.Path(tmp) / f"work-{sheets}.json"
    update, floor = [], []
    # A warm-up of each first, so that every timed run finds the binary and
    # the file in the page cache.
    for command in ("update", "unhighlight"):
        shutil.copyfile(source, work)
        timed([binary, command, str(work)], {0, 1})
    for _ in range(runs):
        for command, samples in (("update", update), ("unhighlight", floor)):
            shutil.copyfile(source, work)
            samples.append(timed([binary, command, str(work)], {0, 1}))
    median = lambda samples, k: statistics.median(s[k] for s in samples)  # noqa: E731
    counted = {}
    if count_instructions:
        for command in ("update", "unhighlight"):
            shutil.copyfile(source, work)
            counted[command] = instructions([binary, command, str(work)])
    return {
        "instructions": counted,
        "sheets": sheets,
        "components": components,
        "items": items,
        "bytes": source.stat().st_size,
        "wall": {"update_s": median(update, 0), "floor_s": median(floor, 0)},
        "cpu": {"update_s": median(update, 1), "floor_s": median(floor, 1)},
        "update_runs": update,
        "floor_runs": floor,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", required=True, help="the orlune program (a Release build)")
    parser.add_argument("--sheets", type=int, nargs="+", default=[10, 100])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--runs", type=int, default=7, help="timed runs of each command per size (default 7)")
    parser.add_argument("--instructions", action="store_true", help="also count instructions with callgrind")
    parser.add_argument("--judge", choices=("cpu", "wall"), default="cpu", help="the time the goals are judged on")
    parser.add_argument("--json", help="also write the figures to this file")
    args = parser.parse_args()

    results = []
    with tempfile.TemporaryDirectory() as tmp:
        for sheets in args.sheets:
            results.append(measure(args.binary, sheets, args.seed, args.runs, tmp, args.instructions))
        smallest = pathlib.Path(tmp) / f"design-{args.sheets[0]}.json"
        start_ms = start_up_ms(args.binary, smallest, pathlib.Path(tmp) / "start.json", args.runs)

    for kind in ("wall", "cpu"):
        print(f"{kind} time, median of {args.runs} runs")
        print(f"{'sheets':>6} {'components':>10} {'items':>7} {'MB':>6} {'update s':>9} {'floor s':>8} "
              f"{'ratio':>6} {'update us/item':>14}")
        for r in results:
            t = r[kind]
            t["ratio"] = t["update_s"] / t["floor_s"]
            t["us_per_item"] = t["update_s"] / r["items"] * 1e6
            print(f"{r['sheets']:>6} {r['components']:>10} {r['items']:>7} {r['bytes'] / 1e6:>6.1f} "
                  f"{t['update_s']:>9.3f} {t['floor_s']:>8.3f} {t['ratio']:>6.2f} {t['us_per_item']:>14.2f}")
        growth = results[-1][kind]["us_per_item"] / results[0][kind]["us_per_item"]
        results[-1][kind]["growth"] = growth
        print(f"time per item, {results[-1]['sheets']} sheets against {results[0]['sheets']}: {growth:.2f}\n")
    if args.instructions:
        print("instructions (callgrind), one run")
        print(f"{'sheets':>6} {'update':>15} {'floor':>15} {'ratio':>6} {'update / item':>14}")
        for r in results:
            n = r["instructions"]
            n["ratio"] = n["update"] / n["unhighlight"]
            n["per_item"] = n["update"] / r["items"]
            print(f"{r['sheets']:>6} {n['update']:>15,} {n['unhighlight']:>15,} {n['ratio']:>6.2f} {n['per_item']:>14,.0f}")
        growth = results[-1]["instructions"]["per_item"] / results[0]["instructions"]["per_item"]
        print(f"instructions per item, {results[-1]['sheets']} sheets against {results[0]['sheets']}: {growth:.2f}\n")
    if start_ms is None:
        print("start-up: this build does not report its first DBX call")
    else:
        print(f"start-up, process start to first DBX call: {start_ms:.1f} ms")

    judged = results[-1][args.judge]
    missed = []
    if judged["ratio"] > RATIO_GOAL:
        missed.append(f"update / floor {judged['ratio']:.2f} > {RATIO_GOAL} ({args.judge} time)")
    if len(results) > 1 and judged["growth"] > PER_ITEM_GOAL:
        missed.append(f"time per item grows {judged['growth']:.2f} > {PER_ITEM_GOAL} ({args.judge} time)")
    if start_ms is not None and start_ms > START_GOAL_MS:
        missed.append(f"start-up {start_ms:.1f} ms > {START_GOAL_MS} ms")
    for m in missed:
        print("MISSED:", m)
    if args.json:
        with open(args.json, "w", encoding="utf-8") as out:
            json.dump({"results": results, "start_ms": start_ms, "missed": missed}, out, indent=2)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
