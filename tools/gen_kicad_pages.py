#!/usr/bin/env python3
"""Writes a KiCad 9 project of N pages for benchmarks: the root and N-1
sheets, each a file of its own with M resistors whose two pins carry global
labels, so that every net reaches two neighbouring pages (a ring) and every
label's list stays as short on 10 pages as on 100.

    python3 tools/gen_kicad_pages.py --pages 100 --labels 20 --out /tmp/gen100
"""

import argparse
import pathlib
import uuid

ROOT = "00000000-0000-4000-8000-000000000001"

LIB = """\t(lib_symbols
\t\t(symbol "Device:R" (pin_names (offset 0)) (exclude_from_sim no) (in_bom yes) (on_board yes)
\t\t\t(property "Reference" "R" (at 0 0 0) (effects (font (size 1.27 1.27))))
\t\t\t(property "Value" "R" (at 0 0 0) (effects (font (size 1.27 1.27))))
\t\t\t(symbol "R_1_1"
\t\t\t\t(pin passive line (at 0 3.81 270) (length 1.27) (name "~" (effects (font (size 1.27 1.27)))) (number "1" (effects (font (size 1.27 1.27)))))
\t\t\t\t(pin passive line (at 0 -3.81 90) (length 1.27) (name "~" (effects (font (size 1.27 1.27)))) (number "2" (effects (font (size 1.27 1.27)))))
\t\t\t)
\t\t)
\t)
"""


def uid(*parts):
    return str(uuid.uuid5(uuid.NAMESPACE_URL, "/".join(map(str, parts))))


def label(name, x, y, spin, key):
    return (f'\t(global_label "{name}" (shape bidirectional) (at {x} {y} {spin}) (effects (font (size 1.27 1.27))'
            f'{" (justify right)" if spin == 180 else ""}) (uuid "{uid(key)}"))\n')


def page(k, pages, labels, sheet_uuid):
    body = ""
    for j in range(labels):
        x, y = 30 + (j % 5) * 45, 30 + (j // 5) * 20
        ref = f"R{k}_{j}"
        body += (f'\t(symbol (lib_id "Device:R") (at {x} {y} 90) (unit 1) (exclude_from_sim no) (in_bom yes)'
                 f' (on_board yes) (dnp no) (uuid "{uid(ref)}")\n'
                 f'\t\t(property "Reference" "{ref}" (at {x} {y - 3} 0) (effects (font (size 1.27 1.27))))\n'
                 f'\t\t(property "Value" "1k" (at {x} {y + 3} 0) (effects (font (size 1.27 1.27))))\n'
                 f'\t\t(pin "1" (uuid "{uid(ref, 1)}")) (pin "2" (uuid "{uid(ref, 2)}"))\n'
                 f'\t\t(instances (project "gen" (path "/{ROOT}/{sheet_uuid}" (reference "{ref}") (unit 1))))\n'
                 f'\t)\n')
        # Rotated 90: pin 1 to the left, pin 2 to the right.
        prev = (k - 3) % (pages - 1) + 2
        body += label(f"N{prev}_{j}", round(x - 3.81, 2), y, 180, (k, j, "a"))
        body += label(f"N{k}_{j}", round(x + 3.81, 2), y, 0, (k, j, "b"))
    return (f'(kicad_sch (version 20250114) (generator "eeschema") (generator_version "9.0")'
            f' (uuid "{uid("file", k)}") (paper "A3")\n{LIB}{body})\n')


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pages", type=int, required=True)
    parser.add_argument("--labels", type=int, default=20, help="resistors per page (two labels each)")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    out = pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    sheets = ""
    for k in range(2, args.pages + 1):
        s = uid("sheet", k)
        (out / f"page{k}.kicad_sch").write_text(page(k, args.pages, args.labels, s))
        x, y = 10 + ((k - 2) % 10) * 25, 10 + ((k - 2) // 10) * 25
        sheets += (f'\t(sheet (at {x} {y}) (size 20 20) (uuid "{s}")\n'
                   f'\t\t(property "Sheetname" "p{k}" (at {x} {y} 0) (effects (font (size 1.27 1.27))))\n'
                   f'\t\t(property "Sheetfile" "page{k}.kicad_sch" (at {x} {y + 21} 0) (effects (font (size 1.27 1.27))))\n'
                   f'\t\t(instances (project "gen" (path "/{ROOT}" (page "{k}"))))\n\t)\n')
    (out / "gen.kicad_sch").write_text(
        f'(kicad_sch (version 20250114) (generator "eeschema") (generator_version "9.0") (uuid "{ROOT}")'
        f' (paper "A2")\n\t(lib_symbols)\n{sheets}\t(sheet_instances (path "/" (page "1")))\n)\n')
    (out / "gen.kicad_pro").write_text('{\n  "meta": {\n    "filename": "gen.kicad_pro",\n    "version": 1\n  }\n}\n')


if __name__ == "__main__":
    main()
