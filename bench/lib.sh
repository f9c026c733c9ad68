#!/usr/bin/env bash
# Sourced by the comparison scripts. `compare NAME HYPERFINE-ARGS...` times a pair of commands in one
# hyperfine call (results/NAME.json), then, unless VN_BENCH_BUSY=0, the same call again while a
# busy loop holds one core (results/NAME_busy.json): the figures a user gets on a machine that is
# doing something else as well. The loop is pinned to the last core where taskset exists, and is
# stopped when the call ends or the script exits.
results=$VN_BENCH_DATA/results
mkdir -p "$results"
busy_pid=

stop_busy() {
  [ -n "$busy_pid" ] || return 0
  kill "$busy_pid" 2>/dev/null || true
  wait "$busy_pid" 2>/dev/null || true
  busy_pid=
}
trap stop_busy EXIT

start_busy() {
  local loop='while :; do :; done'
  if command -v taskset >/dev/null; then
    taskset -c "$(($(nproc) - 1))" bash -c "$loop" &
  else
    bash -c "$loop" &
  fi
  busy_pid=$!
}

compare() {  # name hyperfine-args...
  local name=$1
  shift
  hyperfine "$@" --export-json "$results/$name.json"
  [ "${VN_BENCH_BUSY:-1}" != 0 ] || return 0
  echo "-- $name with one core busy"
  start_busy
  hyperfine "$@" --export-json "$results/${name}_busy.json"
  stop_busy
}
