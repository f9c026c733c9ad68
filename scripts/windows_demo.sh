#!/usr/bin/env bash
# The Windows demo, run by `make windows-demo`: the sample disc set with the Windows vnsetup.exe as
# launcher (its game and runtime setups the small Windows program samples/windows_program_win32.cpp,
# readme.txt in code page 932), installed, played and uninstalled under Wine, in a Wine prefix of its
# own with the locale C.UTF-8 (code page 1252: an English Windows).
#
#   windows_demo.sh LINUX-BUILD WINDOWS-BUILD
#
# LINUX-BUILD holds vnkit (it builds the discs); WINDOWS-BUILD vnsetup.exe, sample_program.exe and
# tests/windows/wizard_driver.exe (which clicks ゲームスタート in the start menu as a user would). The
# windows show on $DISPLAY when there is one, else on an Xvfb display of the demo's own.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
vnkit="$1/tools/vnkit/vnkit"
win=$(cd "$2" && pwd)
exe="$win/app/vnsetup.exe" sample="$win/sample_program.exe" driver="$win/tests/windows/wizard_driver.exe"
for file in "$vnkit" "$exe" "$sample" "$driver"; do
  [ -f "$file" ] || { echo "windows-demo: $file is missing (run: make windows-demo)" >&2; exit 2; }
done
command -v wine >/dev/null || { echo "windows-demo: wine is missing (scripts/setup.sh installs it)" >&2; exit 2; }

root="$win/demo"
rm -rf "$root"
mkdir -p "$root"
export WINEPREFIX="$root/prefix" WINEDEBUG=-all LANG=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset LC_ALL LC_CTYPE LC_MESSAGES
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  mkfifo "$root/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$root/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 20 display <"$root/display" || { echo "windows-demo: Xvfb did not start" >&2; exit 2; }
  export DISPLAY=":$display"
fi
winpath() { wine winepath -w "$1" 2>/dev/null | tr -d '\r'; }
echo "=== a Wine prefix of code page 1252 (an English Windows): $WINEPREFIX"
wine wineboot --init >/dev/null 2>&1
wineserver -w

echo "=== vnkit disc build: the sample set for a Windows launcher"
python3 "$source_dir/samples/windows_disc_set.py" "$sample" "$root/disc_set.json"
"$vnkit" disc build "$root/disc_set.json" -o "$root/discs" --launcher "$exe"
disc1="$root/discs/disc1"
(cd "$disc1" && find . -type f | sort | sed 's|^\./|  |')
echo "--- autorun.inf:"
iconv -f UTF-16 -t UTF-8 "$disc1/autorun.inf" | tr -d '\r' | sed 's/^/  /'
echo "--- readme.txt is stored in code page 932: $(file -b "$disc1/readme.txt")"
echo

echo "=== wine disc1/install.exe --unattended --accept-license"
wine "$disc1/install.exe" --unattended --accept-license 2>&1 | tr -d '\r' | tee "$root/install.out"
# A finished install prints the install folder last.
game=$(wine winepath -u "$(tail -n 1 "$root/install.out")" 2>/dev/null | tr -d '\r')
echo "--- installed: $game"
(cd "$game" && find . -type f -printf '  %10s  %P\n' | sort -k2)
echo "--- the list of installed programs (wine uninstaller --list):"
wine uninstaller --list 2>/dev/null | tr -d '\r' | sed 's/^/  /'
echo "--- its entry:"
wine reg export 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\vnsetup_星降る湖' \
  "$(winpath "$root/entry.reg")" /y >/dev/null
iconv -f UTF-16 -t UTF-8 "$root/entry.reg" | tr -d '\r' | grep '^"' | sed 's/^/  /'
echo

echo "=== the start menu of disc 1: ゲームスタート starts the installed Windows game"
mkdir -p "$root/played"
VN_TEST_GAME_OUT="$(winpath "$root/played")" wine "$disc1/install.exe" >/dev/null 2>&1 &
launcher=$!
wine "$driver" "星降る湖|ゲームスタート" | sed 's/^/  /'
wait "$launcher"
for _ in $(seq 50); do [ -s "$root/played/vnsetup-test-game.txt" ] && break; sleep 0.2; done
echo "--- the game wrote (its code page, working folder):"
tr -d '\r' <"$root/played/vnsetup-test-game.txt" | sed 's/^/  /'
echo

echo "=== the uninstaller, as the list of installed programs starts it quietly: install.exe --unattended"
wine "$game/install.exe" --unattended 2>&1 | tr -d '\r'
echo "--- left in the install folder (a running program's own file cannot be deleted on Windows):"
(cd "$game" 2>/dev/null && find . -mindepth 1 -printf '  %P\n') || echo "  (the folder is gone)"
echo "--- the list of installed programs:"
wine uninstaller --list 2>/dev/null | tr -d '\r' | sed 's/^/  /'
echo "(end of the list)"
wineserver -w
