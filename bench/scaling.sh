#!/usr/bin/env bash
# Cost by number of entries: pack, list, list --json, verify, extract and merge of archives of 1000 to
# 100,000 tiny files (20 to 80 bytes, 1000 to a folder), each beside the tool a user would otherwise
# use on the same files (zip, unzip -l, unzip -t, unzip), and the peak memory of each vnkit command.
# 1,000,000 entries are listed, verified and merged from an archive made directly (no files: a
# million files on the disk would take longer to make than everything else together).
# Results: one hyperfine JSON per pair and a memory table in $VN_BENCH_DATA/results.
set -euo pipefail
vnkit=$VN_BUILD_DIR/tools/vnkit/vnkit
gen=$VN_BUILD_DIR/bench/make_archive
data=$VN_BENCH_DATA/scaling
results=$VN_BENCH_DATA/results
counts=${VN_SCALING_COUNTS:-"1000 10000 100000"}
mkdir -p "$data" "$results"
memory=$results/scaling_memory.tsv
: >"$memory"

# peak resident memory (KiB) of one run
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

pair() {  # name count vnkit-command peer-name peer-command [prepare]
  local name=$1 n=$2 prepare=${6:-true} runs="--warmup 1 --runs 3"
  # unzip takes a minute for 100,000 files: two runs there
  [ "$n" -lt 100000 ] || runs="--warmup 0 --runs 2"
  hyperfine -N $runs --prepare "$prepare" --export-json "$results/scaling_${name}_$n.json" \
    -n "vnkit $name" "$3" -n "$4" "$5" >/dev/null
}

for n in $counts; do
  d=$data/$n
  if [ ! -f "$d/done" ]; then
    rm -rf "$d" && mkdir -p "$d"
    "$gen" tiny "$d/files" "$n"
    (cd "$d/files" && zip -q -r ../files.zip .)
    "$vnkit" pack "$d/files" -o "$d/packed.dat" >/dev/null
    touch "$d/done"
  fi
  echo "-- $n entries"
  pair pack "$n" "$vnkit pack $d/files -o $d/out.dat" "zip -r" "bash -c 'cd $d/files && zip -q -r $d/out.zip .'" \
    "rm -f $d/out.dat $d/out.zip"
  pair list "$n" "$vnkit list $d/packed.dat" "unzip -l" "unzip -l $d/files.zip"
  pair list-json "$n" "$vnkit list --json $d/packed.dat" "unzip -l" "unzip -l $d/files.zip"
  pair verify "$n" "$vnkit verify $d/packed.dat" "unzip -t" "unzip -tq $d/files.zip"
  pair extract "$n" "$vnkit extract $d/packed.dat -o $d/x1" "unzip" "unzip -q -o $d/files.zip -d $d/x2" \
    "rm -rf $d/x1 $d/x2"
  pair merge "$n" "$vnkit merge $d/new.dat $d/packed.dat" "vnkit pack" "$vnkit pack $d/files -o $d/out.dat" \
    "rm -f $d/new.dat $d/new.ext $d/out.dat"
  rm -rf "$d/x1" "$d/x2" "$d/out.dat" "$d/out.zip" "$d/new.dat" "$d/new.ext"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$n" \
    "$(peak "$vnkit" pack "$d/files" -o "$d/out.dat")" "$(peak "$vnkit" list "$d/packed.dat")" \
    "$(peak "$vnkit" list --json "$d/packed.dat")" "$(peak "$vnkit" verify "$d/packed.dat")" \
    "$(peak "$vnkit" extract "$d/packed.dat" -o "$d/x1")" "$(peak "$vnkit" merge "$d/new.dat" "$d/packed.dat")" \
    >>"$memory"
  rm -rf "$d/x1" "$d/out.dat" "$d/new.dat" "$d/new.ext"
done

# A million entries, from an archive written directly.
big=$data/1000000.dat
[ -f "$big" ] || "$gen" tiny-archive "$big" 1000000
echo "-- 1000000 entries"
for cmd in "list" "list --json" "verify"; do
  name=${cmd/ --/-}
  hyperfine -N --warmup 1 --runs 3 --export-json "$results/scaling_${name}_1000000.json" \
    -n "vnkit $cmd" "$vnkit $cmd $big" >/dev/null
done
hyperfine -N --runs 3 --prepare "rm -f $data/new1m.dat $data/new1m.ext" \
  --export-json "$results/scaling_merge_1000000.json" -n "vnkit merge" "$vnkit merge $data/new1m.dat $big" >/dev/null
printf '%s\t-\t%s\t%s\t%s\t-\t%s\n' 1000000 "$(peak "$vnkit" list "$big")" "$(peak "$vnkit" list --json "$big")" \
  "$(peak "$vnkit" verify "$big")" "$(rm -f "$data/new1m.dat" "$data/new1m.ext"; peak "$vnkit" merge "$data/new1m.dat" "$big")" \
  >>"$memory"
rm -f "$data/new1m.dat" "$data/new1m.ext"
