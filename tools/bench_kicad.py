#!/usr/bin/env python3
"""Benchmark of ORLUNE on a KiCad project against KiCad's own reading of it.

Runs `orlune check`, `orlune status`, `orlune update` (each run on a
project its texts were just deleted from, so that every run writes them)
and `kicad-cli sch export netlist` on a copy of the project, alternately, and prints for each the median wall time,
CPU time (user + system) and peak memory (maximum resident set, as
`/usr/bin/time -v` reports it) of its runs, and ORLUNE's share of KiCad's.

    python3 tools/bench_kicad.py --binary build/release/src/app/orlune \\
        --project /usr/share/kicad/demos/vme-wren/vme-wren.kicad_pro --runs 5

With --linear, `orlune update` on generated projects of 10 and of 100 pages
(tools/gen_kicad_pages.py) instead, with its time per label. With --removal,
on the same projects (300 resistors a page): a first `update` on a fresh
copy, `delete` of its texts, and a second `update` on an updated project,
each against the first.
"""

import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def measure(command):
    """Wall time, CPU time and peak memory (kB) of one run of `command`."""
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    err = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    if child.returncode != 0:
        sys.exit(f"{' '.join(command)}: exit {child.returncode}\n{err}")
    # ru_maxrss is in kB on Linux: the figure /usr/bin/time -v prints.
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def linear(args):
    gen = pathlib.Path(__file__).with_name("gen_kicad_pages.py")
    per_label = {}
    with tempfile.TemporaryDirectory() as tmp:
        for pages in (10, 100):
            out = pathlib.Path(tmp) / f"p{pages}"
            subprocess.run([sys.executable, str(gen), "--pages", str(pages), "--out", str(out)], check=True)
            pro = str(out / "gen.kicad_pro")
            labels = 2 * 20 * (pages - 1)
            runs = []
            for _ in range(args.runs):
                measure([args.binary, "delete", pro])
                runs.append(measure([args.binary, "update", pro]))
            wall = statistics.median(r[0] for r in runs)
            per_label[pages] = wall / labels
            print(f"{pages:4} pages, {labels:5} labels: update {wall:7.3f}s wall, "
                  f"{per_label[pages] * 1e6:7.1f} us per label, peak {max(r[2] for r in runs) / 1024:7.1f} MB")
    print(f"time per label, 100 pages / 10 pages: {per_label[100] / per_label[10]:.3f}")


def removal(args):
    gen = pathlib.Path(__file__).with_name("gen_kicad_pages.py")
    print(f"{'pages':>5} {'labels':>7} {'command':>14} {'wall':>8} {'CPU':>8} {'peak':>9} {'CPU / first':>12}")
    with tempfile.TemporaryDirectory() as tmp:
        for pages in (10, 100):
            fresh = pathlib.Path(tmp) / f"fresh{pages}"
            subprocess.run([sys.executable, str(gen), "--pages", str(pages), "--labels", "300", "--out", str(fresh)],
                           check=True)
            work = pathlib.Path(tmp) / f"w{pages}"
            pro = str(work / "gen.kicad_pro")
            runs = {"first update": [], "delete": [], "second update": []}
            for _ in range(args.runs):
                shutil.rmtree(work, ignore_errors=True)
                shutil.copytree(fresh, work)
                runs["first update"].append(measure([args.binary, "update", pro]))
                runs["delete"].append(measure([args.binary, "delete", pro]))
                measure([args.binary, "update", pro])
                runs["second update"].append(measure([args.binary, "update", pro]))
            first = statistics.median(r[1] for r in runs["first update"])
            for name, rs in runs.items():
                wall = statistics.median(r[0] for r in rs)
                cpu = statistics.median(r[1] for r in rs)
                print(f"{pages:5} {2 * 300 * (pages - 1):7} {name:>14} {wall:7.3f}s {cpu:7.3f}s "
                      f"{max(r[2] for r in rs) / 1024:6.1f} MB {cpu / first:12.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", required=True, help="the orlune program")
    parser.add_argument("--project", help="the .kicad_pro")
    parser.add_argument("--kicad-cli", default="kicad-cli")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--linear", action="store_true", help="update on generated projects of 10 and 100 pages")
    parser.add_argument("--removal", action="store_true", help="delete and a second update against a first update")
    args = parser.parse_args()
    if args.removal:
        return removal(args)
    if args.linear:
        return linear(args)

    project = pathlib.Path(args.project)
    with tempfile.TemporaryDirectory() as tmp:
        # A copy: the lock file and KiCad's caches go there, not into the demos.
        work = pathlib.Path(tmp) / "p"
        shutil.copytree(project.parent, work)
        pro = work / project.name
        root = pro.with_suffix(".kicad_sch")
        netlist = pathlib.Path(tmp) / "out.net"
        commands = {
            "orlune check": [args.binary, "check", str(pro)],
            "orlune status": [args.binary, "status", str(pro)],
            "orlune update": [args.binary, "update", str(pro)],
            "kicad-cli sch export netlist": [args.kicad_cli, "sch", "export", "netlist", "-o", str(netlist),
                                             str(root)],
        }
        results = {name: [] for name in commands}
        delete = [args.binary, "delete", str(pro)]
        for name, command in commands.items():  # one warm-up run each
            measure(command)
        for _ in range(args.runs):
            for name, command in commands.items():
                if name == "orlune update":
                    measure(delete)
                results[name].append(measure(command))
        measure(delete)

    kicad = results["kicad-cli sch export netlist"]
    k_wall = statistics.median(r[0] for r in kicad)
    k_cpu = statistics.median(r[1] for r in kicad)
    k_mem = max(r[2] for r in kicad)
    print(f"{project.name}: medians of {args.runs} runs")
    print(f"{'':32} {'wall':>9} {'CPU':>9} {'peak memory':>12} {'wall/KiCad':>11} {'CPU/KiCad':>10} {'mem/KiCad':>10}")
    for name, runs in results.items():
        wall = statistics.median(r[0] for r in runs)
        cpu = statistics.median(r[1] for r in runs)
        mem = max(r[2] for r in runs)
        print(f"{name:32} {wall:8.3f}s {cpu:8.3f}s {mem / 1024:9.1f} MB {wall / k_wall:11.3f} {cpu / k_cpu:10.3f}"
              f" {mem / k_mem:10.3f}")


if __name__ == "__main__":
    main()
