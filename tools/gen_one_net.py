#!/usr/bin/env python3
"""Generates a design in which one net carries many sheet connectors, spread
over 100 sheets, and one bus is met by as many bus connectors: the case in
which every connector of a net (or a bus) gets the same sheets.

    python3 tools/gen_one_net.py --connectors 25000 -o one-net.json
    python3 tools/gen_one_net.py --connectors 25000 --bus-share 50 -o mixed.json

With --bus-share P, P percent of the connectors are bus connectors, each
beside a short vertical bus of the bus "DATA" (nets 2 and 3); the others are
on the net "CLK".
"""

import argparse
import json
import sys

MIL = 2540


def generate(connectors, sheets, bus_share):
    components = []
    items = []
    on_net = connectors - connectors * bus_share // 100
    for k in range(connectors):
        sheet = 1 + k % sheets
        row = k // sheets
        x = 2000 * MIL + (row // 80) * 3000 * MIL
        y = 1000 * MIL + (row % 80) * 400 * MIL
        bus = k >= on_net
        pin = {"x": x, "y": y, "sheet": sheet, "net": 0 if bus else 1}
        components.append({
            "refDes": ("SB" if bus else "SC") + str(k + 1),
            "type": "SH_BUS_IN" if bus else "SH_CONN",
            "kind": 2,
            "attributes": [],
            "pins": [pin],
            "symbol": {"sheet": sheet, "x": x, "y": y, "flipped": False},
        })
        if bus:
            items.append({"type": "bus", "sheet": sheet, "bus": "DATA",
                          "x1": x + 200 * MIL, "y1": y, "x2": x + 200 * MIL, "y2": y + 200 * MIL})
    for net in (2, 3):
        components.append({
            "refDes": "U%d" % net, "type": "BUFFER", "kind": 1, "attributes": [],
            "pins": [{"x": 100 * MIL * s, "y": 500 * MIL, "sheet": s, "net": net} for s in range(1, sheets + 1, net)],
            "symbol": {"sheet": 1, "x": 0, "y": 0, "flipped": False},
        })
    return {
        "format": "orlune-design", "version": 1, "units": 1,
        "workspace": [500000 * MIL, 500000 * MIL],
        "textStyles": [{"number": 0, "name": "Default", "height": 228600, "charWidth": 152400}],
        "sheets": [{"id": s, "name": "Sheet %d" % s} for s in range(1, sheets + 1)],
        "nets": [{"id": 1, "name": "CLK"}, {"id": 2, "name": "D0"}, {"id": 3, "name": "D1"}],
        "buses": [{"name": "DATA", "nets": [2, 3]}],
        "components": components,
        "items": items,
        "attributes": [],
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--connectors", type=int, default=6250, help="number of connectors (default 6250)")
    parser.add_argument("--sheets", type=int, default=100, help="number of sheets (default 100)")
    parser.add_argument("--bus-share", type=int, default=0, help="percent of bus connectors (default 0)")
    parser.add_argument("-o", "--output", help="file to write (default: standard output)")
    args = parser.parse_args()
    text = json.dumps(generate(args.connectors, args.sheets, args.bus_share), indent=1) + "\n"
    if args.output:
        with open(args.output, "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
