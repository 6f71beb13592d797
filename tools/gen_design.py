#!/usr/bin/env python3
"""Generates a large, realistic design file for benchmarks and load tests.

Every sheet holds about 200 components (ordinary parts and sheet connectors)
and about 1,500 items (wires, value texts, frame lines, a bus with its
entries). Signals cross sheets: power nets reach every sheet, signal nets two
to a dozen sheets, and each sheet carries a bus whose nets reach other sheets.
Connectors come in both row modes and on both sides. The same --seed always
gives the same file.

    python3 tools/gen_design.py --sheets 10 -o big.json
    python3 tools/gen_design.py --sheets 100 --seed 7 > huge.json

The program refuses designs of more than 100 sheets; larger ones are only
useful to see that refusal.
"""

import argparse
import json
import random
import sys

MIL = 2540
WIDTH, HEIGHT = 50000, 34000  # mil
COLS, ROWS = 16, 10           # grid of ordinary parts
CELL_W, CELL_H = 2400, 3000
GRID_X0, GRID_Y0 = 5000, 2500
LEFT_CONN_X, RIGHT_CONN_X = 3500, 45500
CONN_PITCH = 400
POWER = ["GND", "+3V3", "+5V", "+1V8"]
PART_TYPES = [
    ("R", "RES_0603", 1, 2), ("C", "CAP_0402", 1, 2), ("L", "IND_0805", 1, 2),
    ("D", "DIODE_SOD123", 0, 2), ("Q", "NMOS_SOT23", 0, 3), ("U", "OPAMP_SO8", 0, 8),
    ("U", "LOGIC_TSSOP14", 0, 8), ("J", "HEADER_1X6", 0, 6), ("FB", "FERRITE_0603", 1, 2),
]


def mil(v):
    return int(round(v * MIL))


class Generator:
    def __init__(self, sheets, seed):
        self.n = sheets
        self.rnd = random.Random(seed)
        self.nets = []        # (id, name)
        self.buses = []       # {"name", "nets"}
        self.components = []
        self.items = []
        self.counters = {}
        # sheet -> list of global net ids that must get a pin and a connector
        self.global_on_sheet = {s: [] for s in range(1, sheets + 1)}
        self.bus_on_sheet = {}  # sheet -> bus index

    def new_net(self, name):
        net_id = len(self.nets) + 1
        self.nets.append((net_id, name))
        return net_id

    def refdes(self, prefix):
        n = self.counters.get(prefix, 0) + 1
        self.counters[prefix] = n
        return f"{prefix}{n}"

    def plan_signals(self):
        rnd, n = self.rnd, self.n
        self.power = [self.new_net(p) for p in POWER]
        for s in range(1, n + 1):
            self.global_on_sheet[s].extend(self.power)
        if n < 2:
            return
        # Signal nets: mostly point to point between two or three sheets,
        # some fanning out to many (resets, clocks, enables).
        for k in range(11 * n):
            span = rnd.choices([2, 3, 4, 6, 9, 12], weights=[50, 25, 10, 8, 5, 2])[0]
            sheets = rnd.sample(range(1, n + 1), min(span, n))
            net = self.new_net(f"SIG_{k + 1}")
            for s in sheets:
                self.global_on_sheet[s].append(net)
        # One bus of eight nets per pair of sheets, reaching two to four
        # sheets; every sheet stands beside at most one bus.
        free = list(range(1, n + 1))
        rnd.shuffle(free)
        b = 0
        while len(free) >= 2:
            take = min(len(free), rnd.choice([2, 2, 3, 4]))
            sheets, free = free[:take], free[take:]
            b += 1
            name = f"BUS{b}[0..7]"
            nets = [self.new_net(f"BUS{b}_{i}") for i in range(8)]
            self.buses.append({"name": name, "nets": nets})
            for s in sheets:
                self.bus_on_sheet[s] = len(self.buses) - 1

    def sheet(self, s):
        rnd = self.rnd
        items = self.items
        local = [self.new_net(f"N{s}_{k + 1}") for k in range(120)]
        # Frame and title block: plain lines and texts.
        w, h = WIDTH - 500, HEIGHT - 500
        for x1, y1, x2, y2 in ((500, 500, w, 500), (w, 500, w, h), (w, h, 500, h), (500, h, 500, 500),
                               (w - 8000, 500, w - 8000, 2000), (w - 8000, 2000, w, 2000)):
            items.append({"type": "line", "sheet": s, "x1": mil(x1), "y1": mil(y1), "x2": mil(x2), "y2": mil(y2)})
        items.append({"type": "text", "sheet": s, "text": f"SHEET {s} OF {self.n}", "style": 0,
                      "x": mil(w - 7800), "y": mil(1500), "justification": 4})
        items.append({"type": "text", "sheet": s, "text": f"Generated board, block {s}", "style": 1,
                      "x": mil(w - 7800), "y": mil(900), "justification": 4})

        # Every global net of the sheet needs a pin here; spread them over
        # the parts, the rest of the pins go to local nets or stay open.
        must = list(self.global_on_sheet[s])
        bus_nets = self.buses[self.bus_on_sheet[s]]["nets"] if s in self.bus_on_sheet else []
        rnd.shuffle(must)
        cells = [(c, r) for r in range(ROWS) for c in range(COLS)]
        for idx, (c, r) in enumerate(cells):
            prefix, ptype, kind, pin_count = rnd.choice(PART_TYPES)
            cx = GRID_X0 + c * CELL_W + CELL_W // 2
            cy = GRID_Y0 + r * CELL_H + CELL_H // 2
            # The first two columns hold the bus's parts, one net each.
            pins = []
            for p in range(pin_count):
                side = -1 if p < (pin_count + 1) // 2 else 1
                row = p if side < 0 else p - (pin_count + 1) // 2
                px, py = cx + side * 400, cy + 300 - row * 200
                if bus_nets and c == 0 and p == 0 and r < len(bus_nets):
                    net = bus_nets[r]
                elif must and p == 0:
                    net = must.pop()
                elif rnd.random() < 0.08:
                    net = 0
                elif rnd.random() < 0.15:
                    net = rnd.choice(self.power)
                else:
                    net = rnd.choice(local)
                pin = {"x": mil(px), "y": mil(py), "sheet": s}
                if net:
                    pin["net"] = net
                pins.append(pin)
                # A wire stub from each pin, and a second segment on most.
                ex = px + side * 200
                self.wire(s, net, px, py, ex, py)
                if rnd.random() < 0.85:
                    self.wire(s, net, ex, py, ex, py + rnd.choice((-1, 1)) * 100)
            ref = self.refdes(prefix)
            items.append({"type": "text", "sheet": s, "text": ref, "style": 1,
                          "x": mil(cx - 300), "y": mil(cy + 600), "justification": 4})
            items.append({"type": "text", "sheet": s, "text": ptype.split("_")[0], "style": 1,
                          "x": mil(cx - 300), "y": mil(cy - 700), "justification": 4})
            sym = {"sheet": s, "x": mil(cx), "y": mil(cy)}
            if rnd.random() < 0.01:
                sym["selected"] = True
            self.components.append({"refDes": ref, "type": ptype, "kind": kind,
                                    "attributes": [{"name": "Value", "value": ptype}],
                                    "pins": pins, "symbol": sym})
        # Global nets left over (more than the grid could take) go on a
        # row of test points at the bottom.
        for k, net in enumerate(must):
            x, y = GRID_X0 + (k % 60) * 600, 1500 - (k // 60) * 300
            self.components.append({"refDes": self.refdes("TP"), "type": "TESTPOINT", "kind": 0,
                                    "pins": [{"x": mil(x), "y": mil(y), "sheet": s, "net": net}],
                                    "symbol": {"sheet": s, "x": mil(x), "y": mil(y)}})

        # Sheet connectors, one per signal that leaves the sheet, alternately
        # on the left (text to the left) and on the right (text to the right).
        others = list(self.global_on_sheet[s])
        slots = {-1: 0, 1: 0}
        for i, net in enumerate(others):
            side = -1 if i % 2 == 0 else 1
            y = HEIGHT - 1500 - slots[side] * CONN_PITCH
            slots[side] += 1
            if y < 1500:
                y = HEIGHT - 1500 - (slots[side] % 70) * CONN_PITCH - 200
            x = LEFT_CONN_X if side < 0 else RIGHT_CONN_X
            self.connector(s, x, y, side > 0, net, "SH_CONN")
            self.wire(s, net, x, y, x - side * 600, y)

        # The sheet's bus: a vertical line left of the first grid column,
        # eight entries, and a bus connector 200 mil from its upper end.
        if bus_nets:
            bus = self.buses[self.bus_on_sheet[s]]
            bx = GRID_X0 - 600
            top = GRID_Y0 + 8 * CELL_H
            items.append({"type": "bus", "sheet": s, "bus": bus["name"], "x1": mil(bx), "y1": mil(top),
                          "x2": mil(bx), "y2": mil(GRID_Y0)})
            for r, net in enumerate(bus_nets):
                y = GRID_Y0 + r * CELL_H + CELL_H // 2 + 300
                self.wire(s, net, bx, y, GRID_X0 + CELL_W // 2 - 400, y)
            flipped = rnd.random() < 0.5
            cx = bx + 200 if flipped else bx - 200
            self.connector(s, cx, top, flipped, 0, rnd.choice(["SH_BUS_IN", "SH_BUS_OUT", "SH_BUS_BIDIR"]))

    def wire(self, s, net, x1, y1, x2, y2):
        wire = {"type": "wire", "sheet": s}
        if net:
            wire["net"] = net
        wire.update({"x1": mil(x1), "y1": mil(y1), "x2": mil(x2), "y2": mil(y2)})
        self.items.append(wire)

    def connector(self, s, x, y, flipped, net, ctype):
        rnd = self.rnd
        mode = rnd.choices(["1", "0", None], weights=[40, 30, 30])[0]
        if net in self.power:
            mode = "1"
        attrs = [{"name": "Value", "value": ctype}]
        if mode is not None:
            attrs.append({"name": "SH_TYPE", "value": mode})
        pin = {"x": mil(x), "y": mil(y), "sheet": s}
        if net:
            pin["net"] = net
        sym = {"sheet": s, "x": mil(x), "y": mil(y), "flipped": flipped}
        if rnd.random() < 0.05:
            sym["highlight"] = 15
        self.components.append({"refDes": self.refdes("SB" if ctype.startswith("SH_BUS_") else "SC"),
                                "type": ctype, "kind": 2, "attributes": attrs, "pins": [pin], "symbol": sym})

    def design(self):
        self.plan_signals()
        for s in range(1, self.n + 1):
            self.sheet(s)
        return {
            "format": "orlune-design",
            "version": 1,
            "units": 1,
            "workspace": [mil(WIDTH), mil(HEIGHT)],
            "textStyles": [
                {"number": 0, "name": "Default", "height": mil(90), "charWidth": mil(60),
                 "advances": {"@": mil(100), ",": mil(20)}},
                {"number": 1, "name": "Small", "height": mil(50), "charWidth": mil(30)},
            ],
            "sheets": [{"id": s, "name": f"Block {s}"} for s in range(1, self.n + 1)],
            "nets": [{"id": i, "name": name} for i, name in self.nets],
            "buses": self.buses,
            "components": self.components,
            "items": self.items,
            "attributes": [],
        }


def write(design, out):
    """Two-space indentation with one entry per line, like the example."""
    out.write("{\n")
    keys = list(design)
    for i, key in enumerate(keys):
        value = design[key]
        comma = "," if i + 1 < len(keys) else ""
        if isinstance(value, list) and value and isinstance(value[0], dict):
            out.write(f'  {json.dumps(key)}: [\n')
            for j, entry in enumerate(value):
                out.write("    " + json.dumps(entry, ensure_ascii=False, separators=(", ", ": ")))
                out.write(",\n" if j + 1 < len(value) else "\n")
            out.write(f"  ]{comma}\n")
        else:
            out.write(f"  {json.dumps(key)}: {json.dumps(value, separators=(', ', ': '))}{comma}\n")
    out.write("}\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sheets", type=int, default=10, help="number of sheets (default 10)")
    parser.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    parser.add_argument("-o", "--output", help="file to write (default: standard output)")
    args = parser.parse_args()
    if args.sheets < 1:
        parser.error("--sheets must be at least 1")
    design = Generator(args.sheets, args.seed).design()
    if args.output:
        with open(args.output, "w", encoding="utf-8") as out:
            write(design, out)
    else:
        write(design, sys.stdout)


if __name__ == "__main__":
    main()
