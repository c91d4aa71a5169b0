#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them all, then prints the medians
# with their ratios to the floors and to SQLite (scripts/bench_report.py).
# Each figure is the median of REPETITIONS runs (5 by default), interleaved
# at random so that a change in the machine's load spreads over all of them.
# Extra arguments go to every benchmark program, e.g.
#   scripts/bench.sh --benchmark_filter=CheckUser
# The growth benchmark runs once per size: adding 10,000 users takes minutes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh python3
build=build/release
programs=(read_bench write_bench growth_bench memory_bench)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBRELLOX_BUILD_TESTS=OFF -DBRELLOX_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target "${programs[@]}"

outputs=()
for program in "${programs[@]}"; do
  echo "== $program"
  "$build/bench/$program" \
    --benchmark_repetitions="${REPETITIONS:-5}" \
    --benchmark_report_aggregates_only=true \
    --benchmark_enable_random_interleaving=true \
    --benchmark_out="$build/$program.json" --benchmark_out_format=json \
    "$@"
  outputs+=("$build/$program.json")
done
echo
python3 scripts/bench_report.py "${outputs[@]}"
