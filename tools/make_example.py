#!/usr/bin/env python3
"""Writes examples/board.json: a small eight-sheet board (power, MCU, memory on
a data bus, USB, expansion header, analog front end, indicators) whose sheet
connectors have not been annotated yet.

Coordinates are chosen in mil and written in database units (1 mil = 2540).
Design y grows upward, as in the editor. Run from the repository root:
    python3 tools/make_example.py
"""

import json
import pathlib

MIL = 2540


def mil(v):
    return int(round(v * MIL))


SHEETS = [
    (1, "Power input"),
    (2, "Regulators"),
    (3, "MCU"),
    (4, "Memory"),
    (5, "USB and debug"),
    (6, "Expansion header"),
    (7, "Analog inputs"),
    (8, "Indicators and reset"),
]

# Net names in id order (ids from 1).
NET_NAMES = [
    "VIN_RAW", "VIN", "VBUS", "+5V", "+3V3", "AVDD", "GND",
    "RESET_N", "SWDIO", "SWCLK", "USB_DP", "USB_DM", "UART_TX", "UART_RX",
    "I2C_SCL", "I2C_SDA",
    "D0", "D1", "D2", "D3", "D4", "D5", "D6", "D7",
    "ALE", "MEM_CS_N", "MEM_WE_N", "MEM_OE_N",
    "A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7",
    "ADC_IN0", "ADC_IN1", "ADC_IN2", "ADC_IN3",
    "AIN0", "AIN1", "AIN2", "AIN3",
    "LED0", "LED1", "LED2", "LED3",
    "LED0_K", "LED1_K", "LED2_K", "LED3_K",
    "XTAL1", "XTAL2", "SW_LOCAL",
]
NET = {name: i + 1 for i, name in enumerate(NET_NAMES)}
DATA = [f"D{i}" for i in range(8)]

# Row mode of the connectors by net: "1" more rows, "0" one row, None no
# attribute. Per-sheet exceptions below.
ROW_MODE = {"GND": "1", "+3V3": "1", "+5V": "1"}
ROW_MODE_ON_SHEET = {(1, "GND"): "0", (8, "+3V3"): None}

# The larger parts of each sheet: (refDes, type, centre x, first pin row y,
# left pins, right pins), pins 200 mil apart; in one column, one below the
# other, so that the connectors' wires run straight to them.
BIG = {
    1: [("U10", "LTC4412", 8500, 9200, ["VIN_RAW", "VBUS", "GND"], ["VIN", "GND"])],
    2: [("U1", "TPS65263", 8500, 9200, ["VIN", "GND"], ["+5V", "+3V3", "AVDD", "GND"])],
    3: [("U4", "STM32F103", 8500, 9200,
         ["+3V3", "AVDD", "GND", "RESET_N", "SWDIO", "SWCLK",
          "USB_DP", "USB_DM", "ADC_IN0", "ADC_IN1", "ADC_IN2", "ADC_IN3"],
         DATA + ["ALE", "MEM_CS_N", "MEM_WE_N", "MEM_OE_N", "UART_TX", "UART_RX",
                 "I2C_SCL", "I2C_SDA", "LED0", "LED1", "LED2", "LED3"])],
    4: [("U5", "CY62256", 8500, 9200, DATA + ["MEM_CS_N", "MEM_WE_N", "MEM_OE_N"],
         ["A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7", "+3V3", "GND"]),
        ("U6", "74HC573", 8500, 6600, DATA + ["ALE"],
         ["A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7", "+3V3", "GND"])],
    5: [("J2", "USB_B", 8500, 9200, ["VBUS", "USB_DP", "USB_DM", "GND"], []),
        ("J4", "SWD_10PIN", 8500, 7800, [], ["SWDIO", "SWCLK", "RESET_N", "+3V3", "GND"])],
    6: [("J3", "HEADER_2X12", 8500, 9200,
         ["+5V", "+3V3", "GND", "UART_TX", "UART_RX", "I2C_SCL", "I2C_SDA"], DATA + ["GND"])],
    7: [("U8", "MCP6004", 8500, 9200, ["AIN0", "AIN1", "AIN2", "AIN3", "AVDD", "GND"],
         ["ADC_IN0", "ADC_IN1", "ADC_IN2", "ADC_IN3", "+3V3"])],
    8: [("U9", "TLC59116", 8500, 9200, ["LED0", "LED1", "LED2", "LED3", "RESET_N", "+3V3"],
         ["LED0_K", "LED1_K", "LED2_K", "LED3_K", "GND"])],
}

# Small parts: (refDes, type, [nets]) placed in a row near the bottom.
PASSIVES = {
    1: [("J1", "DC_JACK", ["VIN_RAW", "GND"]), ("F1", "FUSE_1206", ["VIN_RAW", "VIN"]),
        ("D1", "SMBJ24A", ["VIN", "GND"]), ("C1", "CAP_100U", ["VIN", "GND"])],
    2: [("L1", "IND_33U", ["VIN", "+5V"]), ("C2", "CAP_22U", ["+5V", "GND"]),
        ("C3", "CAP_10U", ["+3V3", "GND"]), ("C4", "CAP_1U", ["AVDD", "GND"])],
    3: [("Y1", "XTAL_8M", ["XTAL1", "XTAL2"]), ("C5", "CAP_20P", ["XTAL1", "GND"]),
        ("C6", "CAP_20P", ["XTAL2", "GND"]), ("C7", "CAP_100N", ["+3V3", "GND"]),
        ("C8", "CAP_100N", ["AVDD", "GND"])],
    4: [("C9", "CAP_100N", ["+3V3", "GND"]), ("C11", "CAP_100N", ["+3V3", "GND"])],
    5: [("U7", "USBLC6", ["USB_DP", "USB_DM", "VBUS", "GND"])],
    6: [("R3", "RES_4K7", ["I2C_SCL", "+3V3"]), ("R4", "RES_4K7", ["I2C_SDA", "+3V3"])],
    7: [("R5", "RES_10K", ["AIN0", "GND"]), ("R6", "RES_10K", ["AIN1", "GND"]),
        ("R7", "RES_10K", ["AIN2", "GND"]), ("R8", "RES_10K", ["AIN3", "GND"]),
        ("C10", "CAP_100N", ["AVDD", "GND"])],
    8: [("D2", "LED_GREEN", ["+3V3", "LED0_K"]), ("D3", "LED_GREEN", ["+3V3", "LED1_K"]),
        ("D4", "LED_YELLOW", ["+3V3", "LED2_K"]), ("D5", "LED_RED", ["+3V3", "LED3_K"]),
        ("SW1", "PUSHBUTTON", ["RESET_N", "SW_LOCAL"]), ("R9", "RES_100R", ["SW_LOCAL", "GND"])],
}

# The bus connectors' sheets: the data bus leaves them through one bus
# connector instead of eight.
BUS_SHEETS = (3, 4)

NOTES = {
    2: "Triple buck converter: keep the loops L1-C2 short",
    3: "Decouple every supply pin with 100 nF",
    4: "Address latched on ALE (multiplexed bus)",
    7: "Inputs 0..3.3 V; R5-R8 pull unused inputs down",
}

PIN_OFFSET = 500  # from a part's centre to its pins
LEFT_CONN_X = 2800
RIGHT_CONN_X = 14200
PITCH = 200


def main():
    components = []
    items = []
    counter = [0]

    def next_connector():
        counter[0] += 1
        return f"SC{counter[0]}"

    # Which nets appear on which sheets decides where connectors go.
    sheets_of_net = {}
    for s, parts in BIG.items():
        for _, _, _, _, left, right in parts:
            for n in left + right:
                sheets_of_net.setdefault(n, set()).add(s)
    for s, parts in PASSIVES.items():
        for _, _, nets in parts:
            for n in nets:
                sheets_of_net.setdefault(n, set()).add(s)

    for sheet, name in SHEETS:
        items.append({"type": "text", "sheet": sheet, "text": name.upper(), "style": 0,
                      "x": mil(13000), "y": mil(700), "justification": 4})
        items.append({"type": "text", "sheet": sheet,
                      "text": f"Data logger rev B - sheet {sheet} of {len(SHEETS)}",
                      "style": 1, "x": mil(13000), "y": mil(450), "justification": 4})
        if sheet in NOTES:
            items.append({"type": "text", "sheet": sheet, "text": NOTES[sheet], "style": 1,
                          "x": mil(3600), "y": mil(2600), "justification": 4})

        with_connector = set()
        for ref, ctype, cx, top, left, right in BIG[sheet]:
            pins = []
            for side, nets in ((-1, left), (1, right)):
                for i, n in enumerate(nets):
                    pins.append({"x": mil(cx + side * PIN_OFFSET), "y": mil(top - i * PITCH),
                                 "sheet": sheet, "net": NET[n]})
            rows = max(len(left), len(right))
            comp = {"refDes": ref, "type": ctype, "kind": 0,
                    "attributes": [{"name": "Value", "value": ctype}],
                    "pins": pins,
                    "symbol": {"sheet": sheet, "x": mil(cx), "y": mil(top - (rows - 1) * PITCH / 2)}}
            if ref == "U4":
                comp["comment"] = "footprint LQFP-48; kept by every tool that reads this file"
                comp["symbol"]["selected"] = True
            components.append(comp)

            # Sheet connectors for the signals that leave this sheet.
            for side, nets in ((-1, left), (1, right)):
                for i, n in enumerate(nets):
                    if sheet in BUS_SHEETS and n in DATA:
                        continue
                    if n in with_connector or len(sheets_of_net[n]) < 2:
                        continue
                    with_connector.add(n)
                    y = top - i * PITCH
                    flipped = side > 0
                    x = RIGHT_CONN_X if flipped else LEFT_CONN_X
                    mode = ROW_MODE_ON_SHEET.get((sheet, n), ROW_MODE.get(n))
                    attrs = [{"name": "Value", "value": n}]
                    if mode is not None:
                        attrs.append({"name": "SH_TYPE", "value": mode})
                    conn = {"refDes": next_connector(), "type": "SH_CONN", "kind": 2,
                            "attributes": attrs,
                            "pins": [{"x": mil(x), "y": mil(y), "sheet": sheet, "net": NET[n]}],
                            "symbol": {"sheet": sheet, "x": mil(x), "y": mil(y), "flipped": flipped}}
                    if sheet == 1 and n == "VIN":
                        conn["symbol"]["highlight"] = 15
                    components.append(conn)
                    items.append({"type": "wire", "sheet": sheet, "net": NET[n],
                                  "x1": mil(x), "y1": mil(y),
                                  "x2": mil(cx + side * PIN_OFFSET), "y2": mil(y)})

            # The data bus: the MCU drives it on its right, the memory takes
            # it on its left; a vertical bus line with one entry per bit.
            if sheet not in BUS_SHEETS or "D0" not in left + right or ref == "U6":
                continue
            side = -1 if "D0" in left else 1
            i0 = (left if side < 0 else right).index("D0")
            pin_x = cx + side * PIN_OFFSET
            bus_x = pin_x + side * 1000
            # The connector's pin lies 200 mil beyond the bus, on the side its
            # text goes, at the bus's upper end.
            conn_x = bus_x + side * 200
            y_top = top - i0 * PITCH + 300
            y_bottom = top - (i0 + 7) * PITCH
            items.append({"type": "bus", "sheet": sheet, "bus": "DATA[0..7]",
                          "x1": mil(bus_x), "y1": mil(y_top), "x2": mil(bus_x), "y2": mil(y_bottom)})
            for b in range(8):
                y = top - (i0 + b) * PITCH
                items.append({"type": "wire", "sheet": sheet, "net": NET[f"D{b}"],
                              "x1": mil(pin_x), "y1": mil(y), "x2": mil(bus_x), "y2": mil(y)})
            items.append({"type": "line", "sheet": sheet,
                          "x1": mil(bus_x), "y1": mil(y_top), "x2": mil(conn_x), "y2": mil(y_top)})
            if sheet == 4:
                items[-1]["comment"] = "bus entry drawn as a plain line"
            components.append({"refDes": next_connector(), "type": "SH_BUS_OUT" if side > 0 else "SH_BUS_IN",
                               "kind": 2,
                               "attributes": [{"name": "Value", "value": "DATA[0..7]"}],
                               "pins": [{"x": mil(conn_x), "y": mil(y_top), "sheet": sheet}],
                               "symbol": {"sheet": sheet, "x": mil(conn_x), "y": mil(y_top),
                                          "flipped": side > 0}})

        # Small parts in a row near the bottom, pins 100 mil apart.
        for k, (pref, ptype, nets) in enumerate(PASSIVES.get(sheet, [])):
            px = 3600 + k * 1500
            py = 1700
            ppins = [{"x": mil(px + 200), "y": mil(py + 150 - j * 100), "sheet": sheet, "net": NET[n]}
                     for j, n in enumerate(nets)]
            kind = 1 if ptype.startswith(("RES", "CAP", "IND")) else 0
            components.append({"refDes": pref, "type": ptype, "kind": kind,
                               "attributes": [{"name": "Value", "value": ptype.split("_", 1)[-1]}],
                               "pins": ppins,
                               "symbol": {"sheet": sheet, "x": mil(px), "y": mil(py)}})

    # A spare connector whose net stays on its own sheet: it gets no text.
    components.append({"refDes": "SC99", "type": "SH_CONN", "kind": 2,
                       "attributes": [{"name": "Value", "value": "SW_LOCAL"}],
                       "pins": [{"x": mil(LEFT_CONN_X), "y": mil(1300), "sheet": 8, "net": NET["SW_LOCAL"]}],
                       "symbol": {"sheet": 8, "x": mil(LEFT_CONN_X), "y": mil(1300)}})

    design = {
        "format": "orlune-design",
        "version": 1,
        "comment": "Example board for ORLUNE: eight sheets, not yet annotated",
        "units": 1,
        "workspace": [mil(17000), mil(11000)],
        "textStyles": [
            {"number": 0, "name": "Default", "height": mil(90), "charWidth": mil(60),
             "advances": {"@": mil(100), ",": mil(20)}},
            {"number": 1, "name": "Small", "height": mil(50), "charWidth": mil(30)},
        ],
        "sheets": [{"id": s, "name": n} for s, n in SHEETS],
        "nets": [{"id": NET[n], "name": n} for n in NET_NAMES],
        "buses": [{"name": "DATA[0..7]", "nets": [NET[n] for n in DATA]}],
        "components": components,
        "items": items,
        "attributes": [{"name": "Title", "value": "Data logger rev B"}],
    }
    out = pathlib.Path(__file__).resolve().parent.parent / "examples" / "board.json"
    # The host's own layout, so the first saved change touches only its lines.
    out.write_text(json.dumps(design, indent=2, ensure_ascii=False) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
