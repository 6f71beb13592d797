#!/usr/bin/env bash
# Builds orlune and runs Update and Status on a copy of the bundled example
# design, so the example in the repository stays as it is.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release --target orlune

work=build/demo
mkdir -p "$work"
cp examples/board.json "$work/board.json"
orlune=build/release/src/app/orlune

echo "== orlune update $work/board.json --list"
"$orlune" update "$work/board.json" --list
echo
echo "== orlune status $work/board.json"
"$orlune" status "$work/board.json"
echo
echo "The updated design is $work/board.json."
