#!/usr/bin/env bash
# The orlune-verify hook as pre-commit runs it (from this repository's
# .pre-commit-hooks.yaml) on a git repository holding a copy of KiCad's
# "video" demo: passes once the demo is updated, fails after a label moved,
# passes again after `orlune update`. Uses the orlune on the PATH, or
# the one in the folder given as the first argument.
set -euo pipefail
cd "$(dirname "$0")/.."
hooks=$(pwd)
if [ $# -gt 0 ]; then PATH="$(cd "$1" && pwd):$PATH"; fi
command -v orlune >/dev/null
command -v pre-commit >/dev/null
demo=/usr/share/kicad/demos/video
[ -d "$demo" ] || { echo "no KiCad demo at $demo" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PRE_COMMIT_HOME="$work/cache" GIT_AUTHOR_NAME=ci GIT_AUTHOR_EMAIL=ci@example.org
export GIT_COMMITTER_NAME=ci GIT_COMMITTER_EMAIL=ci@example.org
cp -r "$demo" "$work/board"
cd "$work/board"
git init -q .
orlune -q update video.kicad_pro
git add -A && git commit -qm demo
hook() { pre-commit try-repo "$hooks" orlune-verify --all-files >"$work/out" 2>&1; }

hook || { cat "$work/out"; echo "FAIL: the hook fails on an updated project" >&2; exit 1; }

# Move the first hierarchical label of a sub-sheet by half a grid step.
python3 - <<'PY'
import re, glob
for f in sorted(glob.glob("*.kicad_sch")):
    if f == "video.kicad_sch": continue
    s = open(f, encoding="utf-8").read()
    m = re.search(r'\(hierarchical_label "[^"]*"[^(]*\(shape [a-z_]+\)\s*\(at ([-\d.]+) ([-\d.]+)', s)
    if not m: continue
    y = float(m.group(2)) + 1.27  # off the grid: onto no other label
    s = s[:m.start(2)] + ("%g" % y) + s[m.end(2):]
    open(f, "w", encoding="utf-8").write(s)
    print("moved a label in", f)
    break
else:
    raise SystemExit("no hierarchical label found")
PY
git add -A
if hook; then cat "$work/out"; echo "FAIL: the hook passes after a label moved" >&2; exit 1; fi
grep -Eq '\.kicad_sch:[0-9]+:[0-9]+: error: .*away from its connector' "$work/out" ||
  { cat "$work/out"; echo "FAIL: no FILE:LINE:COLUMN line for the moved label" >&2; exit 1; }
grep -E '\.kicad_sch:[0-9]+:[0-9]+: ' "$work/out" | head -3

orlune update video.kicad_pro
git add -A
hook || { cat "$work/out"; echo "FAIL: the hook fails after orlune update" >&2; exit 1; }
echo "pre-commit hook ok: passes, fails after a label moved, passes after update"
