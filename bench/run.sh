#!/usr/bin/env bash
# Runs every benchmark: the Google Benchmark programs, then each whole-command comparison script
# (bench/*.sh other than this one), which time vnkit against the tool a user would otherwise use.
set -euo pipefail
build=${1:-build-release}
here=$(cd "$(dirname "$0")" && pwd)
export VN_BUILD_DIR=$(cd "$build" && pwd)
export VN_BENCH_DATA=${VN_BENCH_DATA:-$VN_BUILD_DIR/bench-data}
mkdir -p "$VN_BENCH_DATA"
# benchmarks never touch the real user's files
export HOME="$VN_BENCH_DATA/home" XDG_CONFIG_HOME="$VN_BENCH_DATA/home/.config" \
  XDG_DATA_HOME="$VN_BENCH_DATA/home/.local/share" XDG_RUNTIME_DIR="$VN_BENCH_DATA/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"

for prog in "$VN_BUILD_DIR"/bench/*_bench; do
  [ -x "$prog" ] || continue
  echo "== $(basename "$prog")"
  "$prog" --benchmark_min_time=0.2
done
for script in "$here"/*.sh; do
  [ "$(basename "$script")" = run.sh ] && continue
  echo "== $(basename "$script")"
  bash "$script"
done
