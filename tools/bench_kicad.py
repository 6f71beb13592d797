#!/usr/bin/env python3
"""Benchmark of ORLUNE on a KiCad project against KiCad's own reading of it.

Runs `orlune check`, `orlune status` and `kicad-cli sch export netlist` on a
copy of the project, alternately, and prints for each the median wall time,
CPU time (user + system) and peak memory (maximum resident set, as
`/usr/bin/time -v` reports it) of its runs, and ORLUNE's share of KiCad's.

    python3 tools/bench_kicad.py --binary build/release/src/app/orlune \\
        --project /usr/share/kicad/demos/vme-wren/vme-wren.kicad_pro --runs 5
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", required=True, help="the orlune program")
    parser.add_argument("--project", required=True, help="the .kicad_pro")
    parser.add_argument("--kicad-cli", default="kicad-cli")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()

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
            "kicad-cli sch export netlist": [args.kicad_cli, "sch", "export", "netlist", "-o", str(netlist),
                                             str(root)],
        }
        results = {name: [] for name in commands}
        for name, command in commands.items():  # one warm-up run each
            measure(command)
        for _ in range(args.runs):
            for name, command in commands.items():
                results[name].append(measure(command))

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
