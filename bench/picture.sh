#!/usr/bin/env bash
# vnkit picture convert of a 1024 x 768 picture with a JPEG colour plane, against djpeg decoding the
# very same JPEG stream to PPM.
set -euo pipefail
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

hyperfine -N --warmup 5 --runs 40 --export-json picture.json \
  "$vnkit picture convert photo.rxa -o photo-out.png" \
  "djpeg -outfile photo-out.ppm photo.jpg"
means=($(grep -o '"mean": *[0-9.e+-]*' picture.json | awk -F: '{print $2}'))
awk -v a="${means[0]}" -v b="${means[1]}" \
  'BEGIN { printf "picture convert (JPEG plane, 1024x768): vnkit %.1f ms, djpeg %.1f ms, ratio %.2f\n", a*1000, b*1000, a/b }'
