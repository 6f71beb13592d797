#!/usr/bin/env bash
# Builds with warnings as errors and runs every test, then the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, then checks the format.
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

echo "== format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "format ok"
