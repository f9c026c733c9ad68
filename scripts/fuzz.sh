#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a while: scripts/fuzz.sh BUILD_DIR SECONDS [PARALLEL]
# Each target starts from its seeds with its dictionary (fuzz/dict/NAME.dict), keeps what it finds in
# BUILD_DIR/fuzz/work/NAME (its seeds stay as generated) and
# writes a crash, timeout, leak or out-of-memory reproducer to BUILD_DIR/fuzz/findings/NAME/.
# Prints executions and executions per second of each; the exit status is 1 when any target failed.
set -uo pipefail
build=${1:?usage: fuzz.sh BUILD_DIR SECONDS [PARALLEL]}
seconds=${2:?usage: fuzz.sh BUILD_DIR SECONDS [PARALLEL]}
parallel=${3:-2}
fuzz="$build/fuzz"
targets=(settings archive rxa tga bmp icon png elf registry disc)
dicts=$(cd "$(dirname "$0")/../fuzz/dict" && pwd)

run() {
  local name=$1
  local max_len=16384
  [ "$name" = disc ] && max_len=262144  # disc images are tens of kilobytes without their zero runs
  mkdir -p "$fuzz/work/$name" "$fuzz/findings/$name" "$fuzz/logs"
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 nice -n 10 "$fuzz/fuzz_$name" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 -max_len="$max_len" \
    -dict="$dicts/$name.dict" \
    -print_final_stats=1 -artifact_prefix="$fuzz/findings/$name/" \
    "$fuzz/work/$name" "$fuzz/seeds/$name" >"$fuzz/logs/$name.log" 2>&1
  echo $? >"$fuzz/logs/$name.status"
}

running=0
for name in "${targets[@]}"; do
  run "$name" &
  running=$((running + 1))
  if ((running >= parallel)); then
    wait -n
    running=$((running - 1))
  fi
done
wait

failed=0
printf '%-10s %12s %10s %s\n' target executions exec/s result
for name in "${targets[@]}"; do
  log="$fuzz/logs/$name.log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  status=$(cat "$fuzz/logs/$name.status")
  result=ok
  if [ "$status" != 0 ]; then
    result="FAILED (exit $status; see $log and $fuzz/findings/$name/)"
    failed=1
  fi
  printf '%-10s %12s %10s %s\n' "$name" "${runs:-?}" "${speed:-?}" "$result"
done
exit $failed
