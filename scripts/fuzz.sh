#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each in turn over its seed corpus.
#
#   scripts/fuzz.sh [seconds-per-target] [target...]
#
# Default 5 seconds per target (CI). Each target starts from fuzz/corpus/<target>/ and keeps what it
# finds in build/fuzz/corpus/<target>/ (not in the repository), so longer runs pick up where the last
# one stopped. Every target runs even when one finds a fault; the script then fails, naming them, and
# the inputs that show the faults are in build/fuzz/crashes/. Re-run one input with
#   build/fuzz/fuzz/fuzz_<target> <input>
# The runs are niced and one at a time: the machines this runs on are shared.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-5}"
shift || true

./scripts/install-deps.sh
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK_FUZZ=ON \
  -DVELK_BUILD_TESTS=OFF -DVELK_BUILD_BENCHMARKS=OFF >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/crashes"
failed=()
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  mkdir -p "$work"
  echo "fuzz.sh: $t for ${seconds}s"
  # -timeout: a single input that takes this long is a finding (a hang), not slowness.
  if nice -n 19 "$build/fuzz/fuzz_$t" "$work" "fuzz/corpus/$t" -max_total_time="$seconds" \
      -rss_limit_mb=2048 -timeout=20 -max_len=16384 -print_final_stats=1 \
      -artifact_prefix="$build/crashes/$t-" 2>"$build/$t.log"; then
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/$t.log" | tr '\n' ' '
    echo
  else
    grep -E 'ERROR|property broken|runtime error|SUMMARY|Test unit written' "$build/$t.log" >&2 || true
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: faults found by: ${failed[*]} (inputs in $build/crashes/, logs in $build/<target>.log)" >&2
  exit 1
fi
echo "fuzz.sh: no faults found"
