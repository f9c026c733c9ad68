#!/usr/bin/env bash
# vnsetup.exe under Wine with the discs in a CD-ROM drive and an install onto a drive that fills up
# (run by scripts/windows_check.sh after vnsetup_wine_test.sh, in the same Wine prefix).
# Usage: vnsetup_wine_drives_test.sh VNSETUP.EXE VNKIT WIZARD_DRIVER.EXE SAMPLE_PROGRAM.EXE WORK
#
#  1. A two-disc set with a few large files in the CD-ROM drive D:, installed from its start menu in
#     the window, disc 2 put into the same drive at the prompt, the copy slowed down: the progress
#     bar, sampled against the bytes on disk, is never ahead of them and moves inside a large file;
#     the whole name of the file being copied shows as the file line's tool tip while a question
#     disables the window; the install records the drive D: as the title's CD drive.
#  2. A small drive filled up during the copy (a tmpfs in a mount namespace of its own, the Wine
#     session run inside it): the unattended install fails with a non-zero exit, saying the
#     installation was not completed, and leaves nothing of the install.
source "$(dirname "$0")/wine_test_common.sh"

# The part in the mount namespace of the small drive (see the end of the script).
if [ "${VN_FULL_DRIVE:-}" = inside ]; then
  small="$work/small"
  trap 'wineserver -k 2>/dev/null || true' EXIT # no server of this session outlives the drive
  mount -t tmpfs -o size=16m none "$small"
  ln -sfn "$small" "$WINEPREFIX/dosdevices/f:"
  marker="$work/paused"
  # fill_when_paused: once the run waits before its second file, the drive is filled to the last byte.
  fill_when_paused() {
    for _ in $(seq 600); do [ -e "$marker" ] && break; sleep 0.1; done
    [ -e "$marker" ] || return 1
    cat /dev/zero >"$small/filler" 2>/dev/null || true
    rm "$marker"
  }
  pause=(VNSETUP_TEST_PAUSE=copy:2 VNSETUP_TEST_PAUSE_FILE="$(winpath "$marker")")

  env "${pause[@]}" timeout 300 wine "$work/small-discs/disc1/install.exe" --unattended --accept-license \
    --folder 'F:\星' >"$work/full.out" 2>"$work/full.err" &
  run=$!
  fill_when_paused || { kill "$run"; fail "the unattended run did not reach its second file"; }
  if wait "$run"; then fail "the unattended install onto a full drive succeeded"; fi
  grep -q 'インストールは完了していません' "$work/full.err" || fail "full drive, unattended: $(cat "$work/full.err")"
  [ "$(ls -A "$small")" = filler ] || fail "left on the full drive: $(ls -A "$small")"
  rm "$small/filler"

  # The window, this disc only (its sound files not chosen), the drive filled before the disc's last
  # file: the error names the file and the cause, and the wizard ends on its exit page.
  pause=(VNSETUP_TEST_PAUSE=copy:3 VNSETUP_TEST_PAUSE_FILE="$(winpath "$marker")")
  env "${pause[@]}" timeout 300 wine "$work/small-discs/disc1/install.exe" >"$work/full-window.out" 2>&1 &
  launcher=$!
  wine "$driver" "$title|インストール" "ようこそ|{RETURN}" "ライセンス契約|同意する(&P)" "ライセンス契約|次へ(&N) >" \
    "インストールするＣＤ－ＲＯＭ|このＣＤ－ＲＯＭをインストール" "インストールするＣＤ－ＲＯＭ|次へ(&N) >" \
    "インストールするファイル|次へ(&N) >" "インストール先の選択|{TYPE}F:\星" "インストール先の選択|次へ(&N) >" \
    "インストール準備完了|インストール" >"$work/full-driver.out" 2>&1 ||
    { kill "$launcher" 2>/dev/null; fail "full drive, window: $(cat "$work/full-driver.out")"; }
  wait "$launcher" || true
  fill_when_paused || fail "the window's run did not reach the disc's last file"
  wine "$driver" "$title|{TEXTS}" "$title|OK" "完了|{TEXTS}" "完了|閉じる(&C)" >"$work/full-driver.out" 2>&1 ||
    fail "full drive, window: $(cat "$work/full-driver.out")"
  wineserver -w
  texts=$(tr -d '\r' <"$work/full-driver.out")
  grep -qx 'F:\\星\\readme.txt' <<<"$texts" && grep -qx 'ファイルをコピーできませんでした' <<<"$texts" &&
    sed -n '/^完了$/,$p' <<<"$texts" | grep -qx 'インストールは完了していません' ||
    fail "full drive, window: $texts"
  [ "$(ls -A "$small")" = filler ] || fail "left on the full drive by the window: $(ls -A "$small")"
  wineserver -w # the session ends inside, before the drive does
  rm "$WINEPREFIX/dosdevices/f:"
  exit 0
fi

rm -rf "$work"
mkdir -p "$work"
# The sample set with large program files: 20 MiB on disc 1 (long enough to be caught in the middle),
# 8 and 12 MiB more.
python3 "$src/samples/windows_disc_set.py" "$sample_program" "$work/disc_set.json" ShowReadme=false
"$vnkit" disc build "$work/disc_set.json" -o "$work/small-discs" --launcher "$exe" >/dev/null
python3 - "$work/disc_set.json" <<'EOF'
import json, sys
path = sys.argv[1]
spec = json.load(open(path, encoding="utf-8"))
spec["discs"][0]["files"]["data\\first.bin"] = {"size": 20 << 20}
spec["discs"][0]["files"]["data\\second.bin"] = {"size": 8 << 20}
spec["discs"][1]["files"]["data\\third.bin"] = {"size": 12 << 20}
json.dump(spec, open(path, "w", encoding="utf-8"), ensure_ascii=False)
EOF
"$vnkit" disc build "$work/disc_set.json" -o "$work/discs" --launcher "$exe" >/dev/null

note "the discs in the CD-ROM drive D:, installed from its start menu; the bar against the bytes on disk"
# mountmgr reads the 64-bit view; plain `wine reg` writes the 32-bit one here
wine reg add 'HKLM\Software\Wine\Drives' /v d: /d cdrom /f /reg:64 >/dev/null
ln -sfn "$work/discs/disc1" "$WINEPREFIX/dosdevices/d:"
wineserver -w # the drive types are read when the system starts
[ "$(wine "$driver" --drive-type 'D:\' | tr -d '\r')" = 5 ] || fail "D: is no CD-ROM drive"
# The program files folder of the program's own kind (PE machine 8664: 64-bit).
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
[ "$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')" = 8664 ] && programs=%ProgramW6432% || programs='%ProgramFiles(x86)%'
game_win="$(wine cmd /c echo "$programs" | tr -d '\r')\\ソフトハウス湖月\\$title"
game=$(unixpath "$game_win")
VNSETUP_TEST_SLOW_COPY=400 timeout 300 wine 'D:\install.exe' >"$work/cd.out" 2>&1 &
launcher=$!
wine "$driver" "$title|インストール" "ようこそ|{RETURN}" "ライセンス契約|同意する(&P)" "ライセンス契約|次へ(&N) >" \
  "インストールするＣＤ－ＲＯＭ|次へ(&N) >" "インストールするファイル|次へ(&N) >" "インストール先の選択|次へ(&N) >" \
  "インストール準備完了|インストール" >"$work/cd-driver.out" 2>&1 ||
  { kill "$launcher" 2>/dev/null; fail "start menu on D:: $(cat "$work/cd-driver.out")"; }
wait "$launcher" || fail "start menu on D:: exit $?"
wine "$driver" "ファイルコピー|{PROGRESS}$game_win" >"$work/cd-bar.txt" 2>&1 &
sampler=$!
# Abort pressed during the large file: while the question is open, the file line shows its whole path.
wine "$driver" "ファイルコピー|first.bin をコピー中..." "ファイルコピー|中断(&A)" "確認|{TEXTS}" \
  "ファイルコピー|{HOVER} をコピー中..." "確認|いいえ(&N)" "情報|{TEXTS}" >>"$work/cd-driver.out" 2>&1 ||
  fail "the copy from D:: $(cat "$work/cd-driver.out")"
ln -sfn "$work/discs/disc2" "$WINEPREFIX/dosdevices/d:" # disc 2 into the drive
wine "$driver" "情報|OK" "完了|{RETURN}" >>"$work/cd-driver.out" 2>&1 || fail "disc 2 in D:: $(cat "$work/cd-driver.out")"
wait "$sampler" || fail "sampling the bar: $(cat "$work/cd-bar.txt")"
wineserver -w
line=$(tr -d '\r' <"$work/cd-driver.out" | sed -n 's/^line: //p')
tip=$(tr -d '\r' <"$work/cd-driver.out" | sed -n 's/^tip: //p')
[[ "$line" == *.bin" をコピー中..." ]] && [ "$tip" = "$game_win\\data\\$line" ] ||
  fail "the file line \"$line\" has the tool tip \"$tip\" under the question"
python3 - "$work/cd-bar.txt" "$(stat -c %s "$work/discs/disc1/install.exe")" <<'EOF' ||
import collections, sys
bars = collections.defaultdict(set)
samples = 0
# Each disc brings its install.exe: disc 2's is copied over disc 1's, so from then on the bar has
# counted those bytes twice and the disk holds them once.
disc2, replaced = False, 0
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    bar, maximum, on_disk, text = line.rstrip("\r\n").split(" ", 3)
    if not text.endswith("をコピー中..."):
        continue
    samples += 1
    disc2 = disc2 or text.startswith("third.bin")
    if disc2 and text.startswith("install.exe"):
        replaced = int(sys.argv[2])
    # The bar counts tens of bytes; the bytes are read after the bar.
    if int(bar) * 10 > int(on_disk) + replaced:
        sys.exit(f"{text}: the bar at {int(bar) * 10} bytes, {on_disk} on disk")
    bars[text].add(int(bar))
for name in ("first.bin", "third.bin"):
    if len(bars[name + " をコピー中..."]) < 3:
        sys.exit(f"the bar stood still during {name}: {sorted(bars[name + ' をコピー中...'])} ({samples} samples)")
EOF
  fail "the bar against the bytes on disk ($work/cd-bar.txt)"
for file in data/first.bin data/second.bin hoshifuru.exe; do cmp "$work/discs/disc1/$file" "$game/$file"; done
cmp "$work/discs/disc2/data/third.bin" "$game/data/third.bin"
wine reg query "$key" /v CDDrive | tr -d '\r' | grep -q 'CDDrive *REG_SZ *D:$' ||
  fail "CDDrive: $(wine reg query "$key" /v CDDrive 2>&1)"
wine "$game/install.exe" --unattended >"$work/cd-uninstall.out" 2>&1 || fail "uninstall: $(cat "$work/cd-uninstall.out")"
wineserver -w
rm "$WINEPREFIX/dosdevices/d:"

note "a drive that fills up during the copy"
if ! unshare -rm true 2>/dev/null; then
  echo "skipped: no mount namespace here (unshare -rm)"
  exit 0
fi
# Wine's server opens the files for its programs: the whole Wine session runs in the mount
# namespace that holds the small drive (a tmpfs), started afresh there.
wineserver -w
mkdir -p "$work/small"
VN_FULL_DRIVE=inside unshare -rm bash "$0" "$@"
wineserver -w
echo "ok: $(basename "$exe") under Wine, CD-ROM drive and full drive"
