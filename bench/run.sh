#!/usr/bin/env bash
# Runs every benchmark: the Google Benchmark programs, then each whole-command comparison script
# (bench/*.sh other than this one and report.sh), which time vnkit against the tool a user would
# otherwise use; then writes docs/PERFORMANCE.md from this run's results (bench/report.sh).
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

results=$VN_BENCH_DATA/results
rm -rf "$results"
mkdir -p "$results"
# What else the machine is doing (other builds and tests), at the start and at the end of the run.
others() {
  local n
  n=$(ps -e --no-headers -o comm | grep -cE '^(cc1plus|cc1|ld|ninja|make|ctest|clang.*|wine.*)$' || true)
  echo "load average $(cut -d' ' -f1 /proc/loadavg) and $n compiler, build or test processes $1"
}
others "at the start" >"$results/other_processes"
for prog in "$VN_BUILD_DIR"/bench/*_bench; do
  [ -x "$prog" ] || continue
  echo "== $(basename "$prog")"
  "$prog" --benchmark_min_time=0.2 | tee -a "$results/bench_programs.txt"
done
for script in "$here"/*.sh; do
  case "$(basename "$script")" in run.sh | report.sh | lib.sh) continue ;; esac
  echo "== $(basename "$script")"
  bash "$script"
done
echo "$(cat "$results/other_processes"), $(others "at the end")" >"$results/other_processes"
bash "$here/report.sh" "$here/../docs/PERFORMANCE.md"
