#!/usr/bin/env bash
# Writes docs/PERFORMANCE.md from the results of one `make bench` run ($VN_BENCH_DATA/results): each
# figure is the mean of hyperfine's runs with the slowest and fastest run beside it, and every ratio
# compares two commands measured in the same hyperfine call.
set -euo pipefail
results=$VN_BENCH_DATA/results
out=${1:?usage: report.sh OUTPUT.md}

# seconds as ms or s
fmt() { awk -v t="$1" 'BEGIN { if (t < 1) printf "%.0f ms", t * 1000; else printf "%.2f s", t }'; }
# field of result k of a hyperfine export
field() { jq -r ".results[$2].$3" "$results/$1.json"; }
# "mean (min-max)" of result k
cell() {
  [ -f "$results/$1.json" ] || { echo "-"; return; }
  echo "$(fmt "$(field "$1" "$2" mean)") ($(fmt "$(field "$1" "$2" min)")–$(fmt "$(field "$1" "$2" max)"))"
}
ratio() {
  [ -f "$results/$1.json" ] || { echo "-"; return; }
  awk -v a="$(field "$1" "$2" mean)" -v b="$(field "$1" "$3" mean)" 'BEGIN { printf "%.2f", a / b }'
}
row() {  # task file peer-description aim [vnkit-index peer-index]
  local a=${5:-0} b=${6:-1}
  echo "| $1 | $(cell "$2" "$a") | $3: $(cell "$2" "$b") | $(ratio "$2" "$a" "$b") | $4 |"
}

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
mem=$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
{
  cat <<TEXT
# Performance

Written by \`make bench\` (bench/report.sh) from one run on $(date -u '+%Y-%m-%d %H:%M UTC'): $(nproc) cores
($cpu), $mem, Linux $(uname -r), commit $(git -C "$(dirname "$0")" rev-parse --short HEAD 2>/dev/null || echo "?").
Load average at the end of the run: $(cut -d' ' -f1-3 /proc/loadavg) (on a machine shared with other work,
whole-command times vary from run to run; each figure is the mean, with the fastest and the slowest run in
brackets). Each ratio compares two commands timed in the same hyperfine call; below 1.0 vnkit is faster.

| task | vnkit | other tool | ratio | aim |
|---|---|---|---|---|
TEXT
  row "\`verify\` of a 2.25 GiB data file in 3 part files, page cache warm" verify "\`cat\` of the parts" "≤ 1.2"
  row "\`extract\` of 800 compressed text files (about 200 MiB)" extract "\`unzip -q\` of a \`zip -6\`" "-"
  row "\`pack\` of the same 800 files" pack "\`zip -q -6 -r\`" "-"
  row "\`merge\` of the 2.25 GiB data file into a new data file (data synced before its directory)" merge \
    "\`cat >>\` + \`sync\`" "≤ 1.1"
  row "the same merge" merge "\`cat >>\` without sync" "-" 0 2
  row "unattended install of a one-disc set with a 2.25 GiB \`game.dat\`" install "\`cp -r\` + \`cat\` + \`sync\`" "≤ 1.15"
  row "unattended install, one disc whose \`game.dat\` holds 30,000 tiny entries" install_tiny \
    "\`vnkit pack\` of the same entries" "≤ 1.5"
  row "\`picture convert\` 1024x768 JPEG-plane RXA → PNG" picture "\`djpeg\` → PPM" "-"
  row "\`picture convert\` 4096x4096 JPEG-plane RXA → PNG ($(cat "$results/picture4k_png_bytes" 2>/dev/null || echo ?) bytes)" \
    picture4k "\`djpeg\` → PPM" "≤ 1.5"
  row "\`extract\` of 10,000 tiny entries" scaling_extract_10000 "\`unzip\`" "≤ 0.8"
  row "\`extract\` of 100,000 tiny entries" scaling_extract_100000 "\`unzip\`" "≤ 0.8"
  row "\`list --json\` of 100,000 entries" scaling_list-json_100000 "\`unzip -l\`" "≤ 1"

  cat <<TEXT

### Cost by number of entries

Archives of tiny files (20 to 80 bytes, 1000 to a folder, names of one length that share their first and
second-to-last bytes, as a game's picture names do). Time per command (mean of 3 runs) and, in brackets,
the same work by the usual tool: \`zip -r\`, \`unzip -l\`, \`unzip -l\`, \`unzip -t\`, \`unzip\`, and for \`merge\`
(into a new data file) \`vnkit pack\` of the same files. A million entries are listed, verified and merged
from an archive written directly (no million files on the disk, so no pack, extract or peer).

| entries | pack | list | list --json | verify | extract | merge |
|---|---|---|---|---|---|---|
TEXT
  for json in "$results"/scaling_list_*.json; do basename "$json" .json | sed 's/scaling_list_//'; done | sort -n |
    while read -r n; do
      line="| $n"
      for op in pack list list-json verify extract merge; do
        f=scaling_${op}_$n
        if [ -f "$results/$f.json" ]; then
          if [ "$(jq '.results | length' "$results/$f.json" 2>/dev/null || echo 0)" -gt 1 ]; then
            line+=" | $(fmt "$(field "$f" 0 mean)") ($(fmt "$(field "$f" 1 mean)"))"
          else
            line+=" | $(fmt "$(field "$f" 0 mean)")"
          fi
        else
          line+=" | -"
        fi
      done
      echo "$line |"
    done
  cat <<TEXT

Peak resident memory of each vnkit command (MiB, \`/usr/bin/time -f %M\`):

| entries | pack | list | list --json | verify | extract | merge |
|---|---|---|---|---|---|---|
TEXT
  awk -F'\t' '{ printf "| %s", $1; for (i = 2; i <= 7; ++i) printf " | %s", ($i == "-" ? "-" : sprintf("%.1f", $i / 1024)); print " |" }' \
    "$results/scaling_memory.tsv"
  # the slope: time per entry between the two largest counts measured from files
  for op in extract merge list-json verify; do
    a=$results/scaling_${op}_10000.json b=$results/scaling_${op}_100000.json
    [ -f "$a" ] && [ -f "$b" ] || continue
    awk -v op="$op" -v a="$(jq '.results[0].mean' "$a")" -v b="$(jq '.results[0].mean' "$b")" \
      'BEGIN { printf "\n%s: %.1f µs per entry at 10,000 entries, %.1f µs at 100,000 (x%.1f time for x10 entries)", op, a * 1e2, b * 1e1, b / a }'
  done
  echo
  if [ -f "$results/bench_programs.txt" ]; then
    echo
    echo "### Micro-benchmarks (Google Benchmark, CPU time)"
    echo
    echo '```'
    grep -E '^[A-Za-z_]+/|^BM_|^[A-Za-z]+.*ns ' "$results/bench_programs.txt" | sed 's/  */ /g' | head -40
    echo '```'
  fi
  if [ -f "$(dirname "$0")/PERFORMANCE.notes.md" ]; then
    echo
    cat "$(dirname "$0")/PERFORMANCE.notes.md"
  fi
} >"$out"
echo "report.sh: wrote $out"
