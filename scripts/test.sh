#!/usr/bin/env bash
# Builds with warnings as errors and runs every test, then the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the command line's
# tests and a few real runs under valgrind, then each fuzz target for a short
# time, then checks the format.
set -euo pipefail
cd "$(dirname "$0")/.."

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== build (warnings are errors)"
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
echo "== tests"
ctest --preset ci -j "$jobs"

echo "== build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
echo "== tests under the sanitizers"
ctest --preset asan -j "$jobs"

echo "== command line under valgrind"
memcheck() { valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect --quiet "$@"; }
memcheck build/ci/tests/orlune_test_app >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/board.json "$work/board.json"
for command in update status verify "report --json" check; do
  # shellcheck disable=SC2086 # the command's words are meant to split
  memcheck build/ci/src/app/orlune $command "$work/board.json" >/dev/null
done
# A KiCad project through its backend, where the KiCad demos are installed.
if [ -d /usr/share/kicad/demos/pic_programmer ]; then
  cp -r /usr/share/kicad/demos/pic_programmer "$work/kicad"
  for command in check status; do
    memcheck build/ci/src/app/orlune $command "$work/kicad/pic_programmer.kicad_pro" >/dev/null
  done
  memcheck build/ci/src/app/orlune convert "$work/kicad/pic_programmer.kicad_pro" -o "$work/kicad.json" >/dev/null
fi
echo "valgrind clean"

echo "== fuzzing"
scripts/fuzz.sh

echo "== format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "format ok"
