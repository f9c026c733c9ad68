#!/usr/bin/env bash
# vnsetup.exe under Wine, as a user on Windows meets it (run by scripts/windows_check.sh, which sets
# WINEPREFIX, DISPLAY and the locale).
# Usage: vnsetup_wine_test.sh VNSETUP.EXE VNKIT WIZARD_DRIVER.EXE SAMPLE_PROGRAM.EXE WORK
#
# On the two-disc sample set for a Windows launcher (made by `vnkit disc build` with VNSETUP.EXE as
# launcher, its game and runtime setups SAMPLE_PROGRAM.EXE):
#  1. pictures of the start menu in its four layouts, of the main window in background modes 0-3 and
#     of every wizard page (also at 192 dots per inch); each window's control geometry is checked
#     against its designed layout and a few pixels against what the window must show;
#  2. the unattended two-disc install: files, data file, install.dat, registry value, shortcuts, the
#     entry in the list of installed programs; the game started from the start menu; the uninstall
#     pages of the installed copy; the unattended uninstall;
#  3. an install clicked through with synthetic mouse input, disc 2 pointed at in the folder chooser,
#     then uninstalled again; the start menu started as autorun.inf says.
source "$(dirname "$0")/wine_test_common.sh"
entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\vnsetup_星降る湖'
pixel() { python3 "$here/png_pixel.py" "$@"; }

# expect FILE LINE...: each LINE begins a line of the layout FILE.
expect() {
  local file=$1 line
  shift
  [ -f "$file" ] || fail "no layout $file"
  for line in "$@"; do
    want=$line awk 'index($0, ENVIRON["want"]) == 1 { found = 1 } END { exit !found }' "$file" ||
      fail "$(basename "$file"): expected \"$line\"; have: $(grep "^${line%% *} " "$file" || echo nothing)"
  done
}

# A copy of disc 1 with changed settings: variant NAME [JSON-KEY JSON-VALUE]...
variant() {
  local name=$1
  shift
  rm -rf "$work/$name"
  cp -r "$work/discs/disc1" "$work/$name"
  if (($#)); then
    "$vnkit" settings show "$work/$name/install.dat" --json >"$work/$name.json"
    python3 - "$work/$name.json" "$@" <<'EOF'
import json, sys
path, pairs = sys.argv[1], sys.argv[2:]
settings = json.load(open(path, encoding="utf-8"))
for k, v in zip(pairs[::2], pairs[1::2]):
    settings[k] = json.loads(v)
json.dump(settings, open(path, "w", encoding="utf-8"), ensure_ascii=False)
EOF
    "$vnkit" settings build "$work/$name.json" -o "$work/$name/install.dat"
  fi
}

# picture NAME PROGRAM [ARGUMENT]: runs the program for a picture of its first window (and, with
# PAGES set, of every wizard page into $work/pictures/NAME-pages).
picture() {
  local name=$1 program=$2
  shift 2
  local out="$work/pictures/$name.png" pages=()
  if [ -n "${PAGES:-}" ]; then
    mkdir -p "$work/pictures/$name-pages"
    pages=(VNSETUP_SCREENSHOT_PAGES="$(winpath "$work/pictures/$name-pages")")
  fi
  env VNSETUP_SCREENSHOT="$(winpath "$out")" "${pages[@]}" timeout 120 wine "$program" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" || fail "$name: exit $? ($(cat "$work/$name.err"))"
  [ -s "$out" ] || fail "$name: no picture ($(cat "$work/$name.err"))"
}

# The run's own copy of the launcher, as the start menu makes it in the temporary folder: a run with a
# folder argument removes its own file at the next system start.
temporary_copy() {
  mkdir -p "$work/temp"
  local copy="$work/temp/~vinstall$RANDOM.exe"
  cp "$exe" "$copy"
  echo "$copy"
}

rm -rf "$work"
mkdir -p "$work/pictures"
acp=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP | tr -d '\r' | awk '/ACP/ {print $3}')
note "Wine prefix code page $acp; $(basename "$exe"): $(stat -c %s "$exe") bytes"
[ "$acp" != 932 ] || fail "the prefix has code page 932: the check of Japanese texts on another code page needs another"

# No readme opened at the end of the clicked install: it would leave a text editor running.
python3 "$src/samples/windows_disc_set.py" "$sample_program" "$work/disc_set.json" ShowReadme=false
"$vnkit" disc build "$work/disc_set.json" -o "$work/discs" --launcher "$exe" >/dev/null
# Windows starts an inserted disc's launcher as its autorun.inf says, and names the drive after it.
autorun=$(iconv -f UTF-16 -t UTF-8 "$work/discs/disc2/autorun.inf" | tr -d '\r')
[ "$(sed -n 's/^open=//p' <<<"$autorun")" = install.exe ] && [ "$(sed -n 's/^label=//p' <<<"$autorun")" = "$title" ] ||
  fail "autorun.inf: $autorun"

note "start menu: four layouts (nothing installed: game start disabled)"
variant start-both
variant start-directx && rm -r "$work/start-directx/winmedia"
variant start-winmedia && rm -r "$work/start-winmedia/directx"
variant start-none OfferRuntimes false
for name in start-both start-directx start-winmedia start-none; do
  picture "$name" "$work/$name/install.exe"
  expect "$work/pictures/$name.layout" "btnStart 28 12 213 29 visible disabled ゲームスタート" \
    "btnInstall 28 64 213 29 visible enabled インストール"
done
expect "$work/pictures/start-both.layout" "client 0 0 265 230 visible enabled $title" \
  "btnDirectX 28 100 213 29 visible enabled DirectXをインストール" \
  "btnWinMedia 28 136 213 29 visible enabled WindowsMediaPlayerをインストール" "btnExit 28 188 213 29 visible enabled 終了"
expect "$work/pictures/start-directx.layout" "client 0 0 265 194" "btnDirectX 28 100 213 29 visible" \
  "btnWinMedia 28 136 213 29 hidden" "btnExit 28 152 213 29 visible"
expect "$work/pictures/start-winmedia.layout" "client 0 0 265 194" "btnDirectX 28 100 213 29 hidden" \
  "btnWinMedia 28 100 213 29 visible" "btnExit 28 152 213 29 visible"
expect "$work/pictures/start-none.layout" "client 0 0 265 158" "btnDirectX 28 100 213 29 hidden" \
  "btnWinMedia 28 100 213 29 hidden" "btnExit 28 116 213 29 visible"

note "main window: background modes 0-3, every wizard page"
for mode in 0 1 2 3; do
  variant "main-$mode" BackgroundMode "$mode"
  PAGES=$([ "$mode" = 0 ] && echo yes || true) picture "main-$mode" "$(temporary_copy)" "$(winpath "$work/main-$mode")\\"
  expect "$work/pictures/main-$mode.layout" "client 0 0 924 568 visible enabled ${title}のセットアップ" \
    "GradBox 0 0 924 568" "LabelRight 0 548 924 12 visible enabled (C) 2026 ソフトハウス湖月 "
done
read -r _ px py pw ph _ < <(grep '^PaintBox' "$work/pictures/main-0.layout")
[ "$px $py" = "$(((924 - pw) / 2)) $(((568 - ph) / 2))" ] || fail "mode 0: picture at $px,$py, not centred"
expect "$work/pictures/main-1.layout" "PaintBox 0 0 924 568 visible stretched"
expect "$work/pictures/main-2.layout" "PaintBox 0 0 924 568 visible plain"
expect "$work/pictures/main-3.layout" "PaintBox 0 0 0 0 hidden"
# Pixels: the gradient's first band is blue, its last navy; the footer band black; the picture
# covers the gradient stretched, repeats when tiled, is missing in mode 3.
blue="0 0 255"
[ "$(pixel "$work/pictures/main-3.png" 462,1)" = "$blue" ] || fail "mode 3: no blue at the top"
[ "$(pixel "$work/pictures/main-3.png" 462,546)" = "0 0 128" ] || fail "mode 3: no navy at the bottom"
[ "$(pixel "$work/pictures/main-3.png" 2,554)" = "0 0 0" ] || fail "no black footer band"
[ "$(pixel "$work/pictures/main-0.png" 1,1)" = "$blue" ] || fail "mode 0: the gradient does not show around the picture"
[ "$(pixel "$work/pictures/main-1.png" 1,1)" != "$blue" ] || fail "mode 1: the picture is not stretched over the gradient"
tile=$(pixel "$work/pictures/main-2.png" 1,1 "$((pw + 1))",1 1,"$((ph + 1))")
[ "$(echo "$tile" | sort -u | wc -l)" = 1 ] && [ "$(echo "$tile" | head -1)" != "$blue" ] ||
  fail "mode 2: the picture does not repeat ($tile)"

pages="$work/pictures/main-0-pages"
for page in "$pages"/*.layout; do
  expect "$page" "client 0 0 497 336" "Bevel 0 293 497 2 visible" "btnAbort 416 300 75 25 visible enabled"
done
expect "$pages/00-Hello.layout" "EditHello 16 16 465 261 visible" "btnBack 244 300 75 25 visible disabled" \
  "btnNext 324 300 75 25 visible enabled 次へ(&N) >" "btnAbort 416 300 75 25 visible enabled 中断(&A)" \
  "client 0 0 497 336 visible enabled ようこそ"
expect "$pages/01-License.layout" "client 0 0 497 336 visible enabled ライセンス契約" \
  "Label2 16 12 465 14 visible enabled 以下のライセンス同意書をお読みください。" "EditLicense 16 48 465 208 visible" \
  "CheckLicense 16 266" "btnNext 324 300 75 25 visible disabled" "btnBack 244 300 75 25 visible enabled"
expect "$pages/02-Media.layout" "client 0 0 497 336 visible enabled インストールするＣＤ－ＲＯＭ" \
  "LabelDisk 24 24 465 14 visible enabled インストールするＣＤ－ＲＯＭを指定してください" \
  "RadioDiskAll 48 64 300 17 visible enabled 全てのＣＤ－ＲＯＭをインストール" "RadioDiskThis 48 92 300 17 visible"
expect "$pages/03-file.layout" "CheckProg 48 60" "CheckData 48 88" "CheckSound 48 116" "CheckMovie 48 144" \
  "LabelSize 24 250 465 14 visible enabled 最低 " "EditHello 16 16 465 261 hidden"
grep -q '^CheckProg .* visible disabled プログラム' "$pages/03-file.layout" || fail "CheckProg is not shown disabled"
expect "$pages/04-seldir.layout" "client 0 0 497 336 visible enabled インストール先の選択" \
  "Label3 24 12 465 14 visible" "EditDir 24 30 449 21 visible" "Drive 24 57 449" "Directory 24 85 449 161 visible" \
  "LabelSzDrv 24 254 465 14 visible enabled このドライブには " "LabelSzNeed 24 272 465 14 visible enabled インストールには最低 "
grep -q "^EditDir .*\\\\ソフトハウス湖月\\\\$title\$" "$pages/04-seldir.layout" || fail "EditDir: $(grep ^EditDir "$pages/04-seldir.layout")"
expect "$pages/05-confirm.layout" "btnNext 324 300 75 25 visible enabled インストール" "Label5 24 24" \
  "LabelBack 24 60 465 14 visible" "LabelBack2 24 76 465 14 visible"
expect "$pages/06-copy.layout" "LabelCopyCap 24 24 465 14 visible enabled ファイルをコピーしています" \
  "LabelCopy 24 60" "Progress 24 84 449 20 visible" "btnBack 244 300 75 25 hidden" "btnNext 324 300 75 25 hidden"
expect "$pages/07-exit.layout" "LabelExit 24 24 465 14 visible enabled インストールが完了しました" \
  "btnAbort 416 300 75 25 visible enabled 閉じる(&C)" "client 0 0 497 336 visible enabled 完了"
expect "$pages/08-uninst.layout" "LabelUninst 24 24 465 14 visible enabled $title をコンピュータから削除します" \
  "Label7 24 60" "btnNext 324 300 75 25 visible enabled 実行"
expect "$pages/09-delete.layout" "LabelDelTitle 24 24 465 14 visible enabled ファイルを削除しています" "LabelDel 24 60" \
  "btnAbort 416 300 75 25 visible enabled 中断(&A)"

note "English: the start menu as the user's display language asks for, every wizard page with --lang en"
# Nothing drawn cut in either language: the layouts list a text that does not fit as "cut NAME TEXT".
LANG=en_US.UTF-8 VNSETUP_LANG= picture start-en "$work/start-both/install.exe"
PAGES=yes picture main-en "$(temporary_copy)" --lang en "$(winpath "$work/main-0")\\"
expect "$work/pictures/start-en.layout" "btnInstall 28 64 213 29 visible enabled Install" \
  "btnWinMedia 28 136 213 29 visible enabled Install Windows Media Player" "btnExit 28 188 213 29 visible enabled Exit"
expect "$work/pictures/main-en.layout" "client 0 0 924 568 visible enabled $title Setup"
pages_en="$work/pictures/main-en-pages"
expect "$pages_en/00-Hello.layout" "btnNext 324 300 75 25 visible enabled &Next >" \
  "btnAbort 416 300 75 25 visible enabled &Abort" "btnBack 244 300 75 25 visible disabled < &Back"
expect "$pages_en/01-License.layout" "CheckLicense 16 266" "client 0 0 497 336 visible enabled License Agreement"
expect "$pages_en/07-exit.layout" "btnAbort 416 300 75 25 visible enabled &Close"
[ "$(ls "$pages_en"/*.layout | wc -l)" = "$(ls "$pages"/*.layout | wc -l)" ] || fail "English: pages missing"
cut=$(grep -h '^cut ' "$work"/pictures/*.layout "$pages"/*.layout "$pages_en"/*.layout || true)
[ -z "$cut" ] || fail "texts drawn cut: $cut"

note "at 192 dots per inch, which Wine does not stretch the windows for: every wizard page, nothing cut"
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null
wineserver -w # read when the system starts
PAGES=yes picture main-2x "$(temporary_copy)" "$(winpath "$work/main-0")\\"
wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null
wineserver -w
cut=$(grep -h '^cut ' "$work"/pictures/main-2x-pages/*.layout || true)
[ -z "$cut" ] || fail "texts drawn cut at 192 dots per inch: $cut"
# The system's check box is larger there: the rows grow with it.
read -r _ _ _ _ height _ < <(grep '^CheckData ' "$work/pictures/main-2x-pages/03-file.layout")
((height > 17)) || fail "check boxes at 192 dots per inch: $(grep '^CheckData ' "$work/pictures/main-2x-pages/03-file.layout")"

note "the disc's own drive takes no installation: disc 1 as the drive Q:, unattended and in the window"
ln -sfn "$work/discs/disc1" "$WINEPREFIX/dosdevices/q:"
if wine 'Q:\install.exe' --unattended --accept-license --folder 'Q:\sound' >"$work/drive.out" 2>"$work/drive.err"; then
  fail "installed onto the disc's drive"
fi
grep -q 'ディスクのフォルダにはインストールできません' "$work/drive.err" || fail "onto the disc's drive: $(cat "$work/drive.err")"
timeout 120 wine "$(temporary_copy)" 'Q:\' >"$work/drive-window.out" 2>&1 &
installer=$!
wine "$driver" "ようこそ|{RETURN}" "ライセンス契約|同意する(&P)" "ライセンス契約|次へ(&N) >" \
  "インストールするＣＤ－ＲＯＭ|次へ(&N) >" "インストールするファイル|次へ(&N) >" "インストール先の選択|{TYPE}Q:\sound" \
  "インストール先の選択|次へ(&N) >" "警告|{TEXTS}" "警告|OK" "インストール先の選択|中断(&A)" "確認|はい(&Y)" \
  >"$work/drive-driver.out" 2>&1 || { kill "$installer" 2>/dev/null; fail "the window: $(cat "$work/drive-driver.out")"; }
wait "$installer" || true
grep -q 'ディスクのフォルダにはインストールできません' "$work/drive-driver.out" ||
  fail "the window took the disc's drive: $(cat "$work/drive-driver.out")"
[ ! -e "$work/discs/disc1/sound/install.dat" ] || fail "installed onto the disc"
rm "$WINEPREFIX/dosdevices/q:"

note "unattended install from both discs"
wine "$work/discs/disc1/install.exe" --unattended --accept-license >"$work/install.out" 2>"$work/install.err" ||
  fail "unattended install: exit $? ($(cat "$work/install.err"))"
folder=$(tail -n 1 "$work/install.out" | tr -d '\r')
folder=${folder%\\}
game=$(unixpath "$folder")
[[ "$folder" == *"\\ソフトハウス湖月\\$title" ]] || fail "install folder $folder"
[ -d "$game" ] || fail "no install folder $game"
(cd "$game" && find . -type f | sort) >"$work/installed.txt"
printf '%s\n' ./game.dat ./game.ext ./hoshifuru.exe ./install.dat ./install.exe ./movie/ending.mpg ./readme.txt \
  ./sound/bgm01.ogg ./sound/bgm02.ogg ./sound/op.ogg ./uninstall.log | diff - "$work/installed.txt" || fail "installed files differ"
for file in hoshifuru.exe readme.txt sound/op.ogg; do cmp "$work/discs/disc1/$file" "$game/$file"; done
for file in movie/ending.mpg sound/bgm02.ogg; do cmp "$work/discs/disc2/$file" "$game/$file"; done
"$vnkit" verify "$game/game.dat" >/dev/null || fail "game.dat damaged"
"$vnkit" list "$game/game.dat" --json | grep -q 'chapter2.txt' || fail "game.dat lacks disc 2's entries"
"$vnkit" settings show "$game/install.dat" --json | grep -q '"Installed": *true' || fail "install.dat not marked installed"
wine reg query "$key" /v InstallPath >/dev/null || fail "no registry value InstallPath"
wine reg export "$key" "$(winpath "$work/key.reg")" /y >/dev/null
value=$(iconv -f UTF-16 -t UTF-8 "$work/key.reg" | tr -d '\r' | sed -n 's/^"InstallPath"="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g')
[ "$value" = "$folder\\" ] || fail "InstallPath is \"$value\", not \"$folder\\\""
links=$(find "$WINEPREFIX/drive_c/users" -path "*/Start Menu/Programs/$title/*.lnk" | sort)
[ "$(echo "$links" | grep -c .)" = 3 ] || fail "shortcuts: $links"
game_link=$(echo "$links" | grep "/$title.lnk\$") || fail "no shortcut $title.lnk"
# The link keeps its target as ANSI and as UTF-16 text; without the zero bytes both read alike.
LC_ALL=C tr -d '\0' <"$game_link" | LC_ALL=C grep -qaF 'hoshifuru.exe' || fail "$title.lnk does not lead to hoshifuru.exe"

note "the list of installed programs"
wine reg export "$entry" "$(winpath "$work/entry.reg")" /y >/dev/null || fail "no entry $entry"
python3 - "$work/entry.reg" "$folder" "$title" "$game" <<'EOF' || fail "the entry in the list of installed programs"
import os, re, sys
path, folder, title, game = sys.argv[1:]
text = open(path, encoding="utf-16").read()
values = {}
for name, value in re.findall(r'^"([^"]+)"=(.*)$', text, re.M):
    values[name] = re.sub(r"\\(.)", r"\1", value[1:-1]) if value.startswith('"') else value
uninstaller = '"' + folder + '\\install.exe"'
want = {"DisplayName": title, "Publisher": "ソフトハウス湖月", "InstallLocation": folder,
        "UninstallString": uninstaller, "QuietUninstallString": uninstaller + " --unattended",
        "DisplayIcon": folder + "\\hoshifuru.exe,0", "NoModify": "dword:00000001", "NoRepair": "dword:00000001"}
wrong = {k: (values.get(k), v) for k, v in want.items() if values.get(k) != v}
size = int(values.get("EstimatedSize", "dword:0").split(":")[1], 16)
files = sum(os.path.getsize(os.path.join(d, f)) for d, _, names in os.walk(game) for f in names)
# The record of what the install made is counted as it stood when the entry was written: it grows
# by the entry itself afterwards.
record = os.path.getsize(os.path.join(game, "uninstall.log"))
if wrong or not (files - record) // 1024 <= size <= (files + 1023) // 1024:
    sys.exit(f"values (have, want): {wrong}; EstimatedSize {size} KiB for {files} bytes")
EOF
wine uninstaller --list >"$work/programs.txt" 2>&1
grep -q "vnsetup_" "$work/programs.txt" || fail "wine uninstaller --list: $(cat "$work/programs.txt")"

note "ゲームスタート in the start menu starts the installed game"
mkdir -p "$work/played"
VN_TEST_GAME_OUT="$(winpath "$work/played")" timeout 120 wine "$work/discs/disc1/install.exe" >"$work/play.out" 2>&1 &
launcher=$!
wine "$driver" "$title|ゲームスタート" >"$work/play-driver.out" 2>&1 ||
  { kill "$launcher" 2>/dev/null; fail "start menu: $(cat "$work/play-driver.out")"; }
wait "$launcher" || fail "game start: exit $?"
for _ in $(seq 50); do [ -s "$work/played/vnsetup-test-game.txt" ] && break; sleep 0.2; done
grep -q "^acp=$acp" "$work/played/vnsetup-test-game.txt" 2>/dev/null || fail "the game did not start"

note "uninstall pages of the installed copy"
PAGES=yes picture uninstall "$(temporary_copy)" "$folder\\"
expect "$work/pictures/uninstall.layout" "client 0 0 924 568 visible enabled ${title}の削除" "PaintBox 0 0 0 0 hidden"
expect "$work/pictures/uninstall-pages/08-uninst.layout" "btnNext 324 300 75 25 visible enabled 実行" \
  "btnBack 244 300 75 25 hidden" "client 0 0 497 336 visible enabled アンインストール"

note "unattended uninstall"
wine "$game/install.exe" --unattended >"$work/uninstall.out" 2>"$work/uninstall.err" ||
  fail "unattended uninstall: exit $? ($(cat "$work/uninstall.err"))"
[ ! -e "$game/game.dat" ] && [ ! -e "$game/install.dat" ] || fail "files left after the uninstall"
if wine reg query "$key" /v InstallPath >/dev/null 2>&1; then fail "InstallPath left after the uninstall"; fi
[ -z "$(find "$WINEPREFIX/drive_c/users" -path "*/Start Menu/Programs/$title/*.lnk")" ] || fail "shortcuts left"
if wine reg query "$entry" >/dev/null 2>&1; then fail "the entry in the list of installed programs is left"; fi
# Run in place from the install folder, the uninstaller's own running file leaves for the temporary
# folder: nothing is left.
[ ! -e "$game" ] || fail "left after the uninstall: $(ls -A "$game")"

note "install clicked through with synthetic mouse and keyboard input; disc 2 chosen in the folder chooser"
# Disc 1 alone in its folder: after the prompt for disc 2 the chooser asks where it is.
mkdir -p "$work/alone"
cp -r "$work/discs/disc1" "$work/alone/disc1"
timeout 300 wine "$(temporary_copy)" "$(winpath "$work/alone/disc1")\\" >"$work/click.out" 2>"$work/click.err" &
installer=$!
# Return presses the default button (Next) on the first page and the focused 閉じる on the last.
wine "$driver" "ようこそ|{RETURN}" "ライセンス契約|同意する(&P)" "ライセンス契約|次へ(&N) >" \
  "インストールするＣＤ－ＲＯＭ|次へ(&N) >" "インストールするファイル|シナリオ・グラフィック" \
  "インストールするファイル|サウンド" "インストールするファイル|ムービー" "インストールするファイル|次へ(&N) >" \
  "インストール先の選択|次へ(&N) >" \
  "インストール準備完了|インストール" "情報|OK" "フォルダの参照|{TEXTS}" \
  "フォルダの参照|{TYPE}$(winpath "$work/discs/disc2")" "フォルダの参照|OK" "完了|{RETURN}" >"$work/driver.out" 2>&1 ||
  { kill "$installer" 2>/dev/null; fail "clicking through: $(cat "$work/driver.out")"; }
# The chooser's texts read back as the program wrote them, on a system of code page 1252.
for text in フォルダの参照 ディスク2を入れてからOKをクリックしてください "フォルダ(&F):" OK "中止(&A)"; do
  tr -d '\r' <"$work/driver.out" | grep -qxF "$text" || fail "folder chooser: no text \"$text\" ($(cat "$work/driver.out"))"
done
wait "$installer" || fail "clicked install: exit $?"
"$vnkit" verify "$game/game.dat" >/dev/null || fail "clicked install: game.dat damaged or missing"
[ -f "$game/movie/ending.mpg" ] || fail "clicked install: disc 2 not installed"
wine reg query "$key" /v InstallPath >/dev/null || fail "clicked install: no registry value"

note "uninstall as its Start-menu link starts it, in the install folder: its temporary copy removes the folder"
(cd "$game" && exec timeout 120 wine install.exe) >"$work/uninstall-link.out" 2>&1 &
launcher=$!
wine "$driver" "アンインストール|実行" "完了|{RETURN}" >"$work/uninstall-driver.out" 2>&1 ||
  { kill "$launcher" 2>/dev/null; fail "uninstall window: $(cat "$work/uninstall-driver.out")"; }
wait "$launcher" || fail "uninstall launcher: exit $?"
wineserver -w
[ ! -e "$game" ] || fail "left after the uninstall from the install folder: $(ls -A "$game")"
if wine reg query "$key" >/dev/null 2>&1; then fail "the registry key is left after the uninstall"; fi

note "start menu as autorun.inf starts it, インストール: the launcher starts its temporary copy, deleted at the next start"
(cd "$work/discs/disc1" && exec timeout 120 wine "$(sed -n 's/^open=//p' <<<"$autorun")") >"$work/menu.out" 2>&1 &
launcher=$!
wine "$driver" "$title|インストール" "ようこそ|{RETURN}" >"$work/menu-driver.out" 2>&1 ||
  { kill "$launcher" 2>/dev/null; fail "start menu: $(cat "$work/menu-driver.out")"; }
wait "$launcher" || fail "start menu: exit $?"
# The copy's wizard is open: it runs from the temporary folder and has asked for its deletion.
temp=$(unixpath "$(wine cmd /c echo %TEMP% | tr -d '\r')")
cmp "$exe" "$temp/~vinstall.exe" || fail "no temporary copy $temp/~vinstall.exe"
pending=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations |
  tr -d '\r')
grep -q '~vinstall\.exe' <<<"$pending" || fail "the temporary copy is not deleted at the next start: $pending"
! grep -q 'disc1' <<<"$pending" || fail "the disc's own launcher is to be deleted: $pending"
wine "$driver" "ライセンス契約|中断(&A)" "確認|はい(&Y)" >>"$work/menu-driver.out" 2>&1 || fail "abort: $(cat "$work/menu-driver.out")"
wineserver -w
# The title was not installed: opening its menu and an aborted install leave no key of it.
if wine reg query "$key" >/dev/null 2>&1; then fail "the start menu and an aborted install left the registry key"; fi
wine cmd /c echo started again >/dev/null  # a new session of the prefix: the system starts anew
[ ! -e "$temp/~vinstall.exe" ] || fail "the temporary copy is still there after the next start"
[ -f "$work/discs/disc1/install.exe" ] || fail "the disc's launcher is gone"
echo "ok: $(basename "$exe") under Wine"
