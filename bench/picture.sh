#!/usr/bin/env bash
# vnkit picture convert of a 1024 x 768 picture with a JPEG colour plane, against djpeg decoding the
# very same JPEG stream to PPM; the same at 4096 x 4096, idle and with one core busy.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
vnkit="$VN_BUILD_DIR/tools/vnkit/vnkit"
data="$VN_BENCH_DATA/picture"
mkdir -p "$data"
cd "$data"

"$VN_BUILD_DIR/bench/make_sample_picture" photo.png 1024 768
"$vnkit" picture encode photo.png -o photo.rxa --jpeg 90
# The colour plane of a one-frame, one-layer picture of version 106 starts at byte 110, after its
# 4-byte size at 106 (signature 7, header 4 + 40, frame 33, layer 22).
size=$(od -An -t d4 -j 106 -N 4 photo.rxa | tr -d ' ')
tail -c +111 photo.rxa | head -c "$size" > photo.jpg
head -c 2 photo.jpg | od -An -t x1 | grep -q 'ff d8' || { echo "picture.sh: no JPEG stream found" >&2; exit 1; }

hyperfine -N --warmup 5 --runs 20 --export-json "$results/picture.json" \
  "$vnkit picture convert photo.rxa -o photo-out.png" \
  "djpeg -outfile photo-out.ppm photo.jpg"

# The same at 4096 x 4096, where writing the PNG weighs most; the output sizes go beside the times.
# Fifteen runs: a fifth of a second each, where a few runs let one slow one move the mean.
"$VN_BUILD_DIR/bench/make_sample_picture" photo4k.png 4096 4096
"$vnkit" picture encode photo4k.png -o photo4k.rxa --jpeg 90
size=$(od -An -t d4 -j 106 -N 4 photo4k.rxa | tr -d ' ')
tail -c +111 photo4k.rxa | head -c "$size" > photo4k.jpg
compare picture4k -N --warmup 2 --runs 15 \
  "$vnkit picture convert photo4k.rxa -o photo4k-out.png" \
  "djpeg -outfile photo4k-out.ppm photo4k.jpg"
stat -c %s photo4k-out.png > "$results/picture4k_png_bytes"
