#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a short time from its seed
# corpus in fuzz/corpus/TARGET. New inputs go to a scratch corpus in the build
# folder, never into the repository; a crashing input is kept there as
# crash-*, leak-* or timeout-* and the script fails.
#
#   scripts/fuzz.sh                      # every target, FUZZ_SECONDS (20) each
#   FUZZ_SECONDS=600 scripts/fuzz.sh design_load
#
# FUZZ_BUILD_DIR (default build/fuzz) is where it builds.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD_DIR:-build/fuzz}
seconds=${FUZZ_SECONDS:-20}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=(design_load settings_attribute units kicad_schematic kicad_write_back); fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DORLUNE_FUZZ=ON -DORLUNE_GUI=OFF -DORLUNE_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  scratch="$build/corpus/$target"
  artifacts="$build/artifacts/$target/"
  mkdir -p "$scratch" "$artifacts"
  echo "== fuzz $target for ${seconds} s"
  "$build/fuzz/fuzz_$target" "$scratch" "fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=131072 \
    -artifact_prefix="$artifacts" -print_final_stats=1 2>"$build/fuzz-$target.log" || {
    tail -n 60 "$build/fuzz-$target.log"
    echo "fuzz $target failed; the input is in $artifacts" >&2
    exit 1
  }
  { grep -E "^stat::number_of_executed_units|^stat::new_units_added" "$build/fuzz-$target.log" || true; } | tr '\n' ' '
  echo
done
