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

# CPU seconds (user + system) of result k
cpu_time() { jq -r ".results[$2] | .user + .system" "$results/$1.json"; }
# "vnkit / peer = ratio" of one hyperfine export
pair() {
  [ -f "$results/$1.json" ] || { echo "-"; return; }
  echo "$(fmt "$(field "$1" 0 mean)") / $(fmt "$(field "$1" 1 mean)") = $(ratio "$1" 0 1)"
}
cpu_ratio() {
  [ -f "$results/$1.json" ] || { echo "-"; return; }
  awk -v a="$(cpu_time "$1" 0)" -v b="$(cpu_time "$1" 1)" 'BEGIN { printf "%.2f", a / b }'
}
unmet=()
# A row of the table of aims: task file peer aim-busy aim-idle where-the-time-goes [extra-condition].
# The aim holds when both ratios are at most their bound (and the extra condition, a shell test,
# holds); where it does not, the sixth argument says why.
aim_row() {
  local task=$1 file=$2 peer=$3 busy_aim=$4 idle_aim=$5 why=$6 extra=${7:-true} met=yes
  local idle busy
  idle=$(ratio "$file" 0 1)
  busy=$(ratio "${file}_busy" 0 1)
  if [ "$idle" = - ] || [ "$busy" = - ]; then
    met="not measured"
  elif ! awk -v i="$idle" -v b="$busy" -v ai="$idle_aim" -v ab="$busy_aim" 'BEGIN { exit !(i <= ai && b <= ab) }' ||
    ! eval "$extra"; then
    met=no
    unmet+=("- $task: $why")
  fi
  local aim="≤ $busy_aim"
  [ "$idle_aim" = "$busy_aim" ] || aim="≤ $busy_aim busy, ≤ $idle_aim idle"
  echo "| $task | $peer | $(pair "$file") | $(pair "${file}_busy") | $(cpu_ratio "$file") | $aim | $met |"
}

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
mem=$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
commit=$(git -C "$(dirname "$0")" rev-parse --short HEAD 2>/dev/null || echo "?")
# other work on the machine while the benchmark ran (the busy loop of the comparisons aside)
others=$(cat "$results/other_processes" 2>/dev/null || echo "not recorded")
pack_sizes=("$(sed -n 1p "$results/pack_game_bytes" 2>/dev/null)" "$(sed -n 2p "$results/pack_game_bytes" 2>/dev/null)"
  "$(sed -n 3p "$results/pack_game_bytes" 2>/dev/null)")
mb() { awk -v b="$1" 'BEGIN { if (b == "") printf "?"; else printf "%.0f MB", b / 1e6 }'; }
{
  cat <<TEXT
# Performance

Written by \`make bench\` (bench/report.sh) from one run on $(date -u '+%Y-%m-%d %H:%M UTC') of commit $commit: $(nproc)
cores ($cpu), $mem, Linux $(uname -r). Other work on the machine during the run: $others; load average at
the end: $(cut -d' ' -f1-3 /proc/loadavg). Whole-command times vary from run to run on a shared machine: each
figure is the mean of hyperfine's runs (with the fastest and the slowest in brackets in the second table).

### Aims, idle and with one core busy

Each pair of commands is timed in one hyperfine call, first as the machine is ("idle"), then again while
a busy loop holds one core ("busy": started and stopped by the benchmark scripts). Ratio: vnkit's time
over the other tool's, below 1.0 vnkit is faster; CPU: the ratio of user + system time (idle run).

| task | other tool | idle: vnkit / other = ratio | busy: vnkit / other = ratio | CPU | aim | met |
|---|---|---|---|---|---|---|
TEXT
  aim_row "\`verify\` of a 2.25 GiB data file in 3 part files, page cache warm" verify "\`cat\` of the parts" 1.2 1.05 \
    "verify copies the data out of the page cache as \`cat\` does (the same system time) and sums it on top (ISA-L; about a quarter of its CPU time); its two threads share the reading, which helps only while the second core is free, and meet every 256 MiB, where on a busy machine one waits for the other to be scheduled again. Reading through a memory map measured no cheaper than the copy (the page-table work costs about as much)."
  aim_row "unattended install of a one-disc set with a 2.25 GiB \`game.dat\`" install \
    "\`cp -r\` + \`cat\` of the parts + \`sync FILE\`" 1.2 1.2 \
    "both sides copy 2.25 GiB and wait for the disk; the install also reads the data file back once for its check (the copy in the kernel plus that check cost 3 to 5 times less CPU than a copy through the program that sums on the way) and syncs its side file, install.dat and records."
  aim_row "unattended install, one disc whose \`game.dat\` holds 30,000 tiny entries" install_tiny \
    "\`cp -r\` of the disc + \`sync\`" 3 3 \
    "the copy is a handful of calls; the time is the install's own work, most of it the same for a disc of one entry. In the same call, the same disc with a one-entry \`game.dat\` installs in $(fmt "$(field install_tiny 2 mean)") ($(ratio install_tiny 2 1) times the copy), of which starting the program takes $(fmt "$(field install_tiny 3 mean)") (\`vnsetup --help\`; the launcher is one program with its windows, and the Qt libraries are loaded and bound before \`--unattended\` is read); the rest is the steps that keep an installation safe against a crash, where \`cp\` + \`sync\` makes one sync: nine syncs (data file, side file, install.dat, menu entries, records and their folders), each file written beside its place and renamed into it. The 30,000 entries add the difference, under 1 µs each: the disc's directory read into a list (a copy of each name), the merged directory written as the entries go by, and the installed one read back entry by entry for the check. Its CPU time is a few times \`cp\`'s whole run, so a busy core shares little of it."
  aim_row "\`merge\` of 100,000 tiny entries into a new data file" merge_tiny "\`cp\` of the same bytes" 5 5 \
    "the data is 19 copy calls; the rest is work on the 100,000-entry directory, about a quarter of a microsecond per entry: its 4.4 MB are read three times (checked when opened, the names alone to find those equal but for letter case, then entry by entry) and the 4.4 MB side file is encoded and written as the entries go by (no entry is made: nothing reads them back); writing those bytes costs the kernel about what \`cp\` spends on the whole file. Three syncs (the data before the directory that points into it, the side file, its folder) come on top, where \`cp\` makes one copy and syncs nothing."
  aim_row "\`picture convert\` 4096x4096 JPEG-plane RXA → PNG ($(cat "$results/picture4k_png_bytes" 2>/dev/null || echo ?) bytes)" \
    picture4k "\`djpeg\` → PPM" 1.5 1.5 \
    "the PNG's rows are filtered and deflated in bands on both cores while the JPEG decodes; with one core busy all of it shares the other, and compressing the PNG alone costs about as much as djpeg's whole decoding (igzip's faster levels are no faster on this picture and make the PNG larger)."
  aim_row "\`pack\` of $(mb "${pack_sizes[0]}") of game data (PNG pictures, sound, text, BMP)" pack_game \
    "\`tar \\| pigz -6\`" 1.2 1.2 \
    "the text and BMP files are compressed with zlib's default level (the archive format's), a file per worker thread, the pictures and sound stored; pigz compresses one stream at the same level on both cores. In size the archive differs from the \`.tar.gz\` by $(awk -v a="${pack_sizes[1]}" -v b="${pack_sizes[2]}" 'BEGIN { if (a == "" || b == "") printf "?"; else printf "%+.2f %%", (a / b - 1) * 100 }'): the format keeps a compressed form only when it saves a tenth, and 7 of the 20 BMP files shrink by 9.0–9.8 %, so they are stored; each text file is compressed on its own; the PNG and Ogg files, stored, come out smaller than gzip makes them (see below)." \
    '[ "${pack_sizes[1]:-1}" -le "${pack_sizes[2]:-0}" ]'
  echo
  echo "Output of the pack: vnkit ${pack_sizes[1]:-?} bytes, \`tar | pigz -6\` ${pack_sizes[2]:-?} bytes."
  if [ ${#unmet[@]} -gt 0 ]; then
    echo
    echo "Where the time goes where an aim is not met:"
    echo
    printf '%s\n' "${unmet[@]}"
  fi
  cat <<TEXT

### Other comparisons (idle)

| task | vnkit | other tool | ratio | aim |
|---|---|---|---|---|
TEXT
  row "\`extract\` of 800 compressed text files (about 200 MiB)" extract "\`unzip -q\` of a \`zip -6\`" "-"
  row "\`pack\` of the same 800 files" pack "\`zip -q -6 -r\`" "-"
  row "\`merge\` of the 2.25 GiB data file into a new data file (data synced before its directory)" merge \
    "\`cat >>\` + \`sync\`" "≤ 1.1"
  row "the same merge" merge "\`cat >>\` without sync" "-" 0 2
  row "\`picture convert\` 1024x768 JPEG-plane RXA → PNG" picture "\`djpeg\` → PPM" "-"
  row "\`extract\` of 10,000 tiny entries" scaling_extract_10000 "\`unzip\`" "≤ 0.8"
  row "\`extract\` of 100,000 tiny entries" scaling_extract_100000 "\`unzip\`" "≤ 0.8"
  row "\`list --json\` of 100,000 entries" scaling_list-json_100000 "\`unzip -l\`" "≤ 1"

  if [ -f "$results/install_image.json" ]; then
    cat <<TEXT

### Installing from disc images

The one-disc set of the install above (2.25 GiB \`game.dat\` in three parts, 7 MB of loose files), installed
unattended from its folder and from images of it ($(mb "$(cat "$results/install_image_bytes" 2>/dev/null)")), read in place: \`TMPDIR\` named a
file during every run, so none used a byte of temporary space (a run that tried would have failed).
Ratio: the time over the install from the folder in the same hyperfine call.

| source | idle | ratio | one core busy | ratio |
|---|---|---|---|---|
TEXT
    for k in 0 1 2; do
      echo "| $(field install_image "$k" command) | $(cell install_image "$k") | $(ratio install_image "$k" 0) |" \
        "$(cell install_image_busy "$k") | $(ratio install_image_busy "$k" 0) |"
    done
  fi
  cat <<TEXT

### Cost by number of entries

Archives of tiny files (20 to 80 bytes, 1000 to a folder, names of one length that share their first and
second-to-last bytes, as a game's picture names do). Time per command (mean of 3 runs, 2 at 100,000) and, in brackets,
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
  [ ! -f "$results/scaling_memory.tsv" ] ||
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
