#!/usr/bin/env bash
# Builds with warnings as errors and runs every test, then the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the command line's
# tests and a few real runs under valgrind, then each fuzz target for a short
# time, then checks the format.
set -euo pipefail
cd "$(dirname "$0")/.."

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

# Each stage's duration, so that a slow one shows: "== tests: 312 s".
started=$SECONDS
stage_name=""
stage_start=$SECONDS
stage() {
  if [ -n "$stage_name" ]; then echo "== $stage_name: $((SECONDS - stage_start)) s"; fi
  stage_name=$1
  stage_start=$SECONDS
  [ -z "$stage_name" ] || echo "== $stage_name"
}

stage "build (warnings are errors)"
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
stage "tests"
ctest --preset ci -j "$jobs"

stage "build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
stage "tests under the sanitizers"
ctest --preset asan -j "$jobs"

stage "command line under valgrind"
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

stage "fuzzing"
scripts/fuzz.sh

stage "format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "format ok"
stage ""
echo "== total: $((SECONDS - started)) s"
