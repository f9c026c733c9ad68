#!/usr/bin/env bash
# Runs the Windows builds' checks under Wine: windows_check.exe (the Windows backend) and, with each
# build's vnsetup.exe, tests/windows/vnsetup_wine_test.sh (pictures and layouts of every window, the
# unattended two-disc install and uninstall, an install clicked through with synthetic input) and
# tests/windows/vnsetup_wine_drives_test.sh with the first build's (the discs in a CD-ROM drive, a
# drive that fills up).
#
#   windows_check.sh [--linux-build DIR] WINDOWS-BUILD...
#
# DIR holds the Linux vnkit (DIR/tools/vnkit/vnkit), which makes the disc set; without it only
# windows_check.exe runs. Everything happens in a Wine prefix of its own inside the first build folder
# (so no user's Wine setup is touched), made afresh, with the C.UTF-8 locale: Wine gives it the code
# page 1252, not 932, so the Japanese texts must come through the program's own conversions, while
# file names reach the file system as UTF-8. The windows are shown
# on an Xvfb display of their own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux_build=""
if [ "${1:-}" = --linux-build ]; then
  linux_build=$2
  shift 2
fi
builds=("$@")
((${#builds[@]})) || builds=(build-win)
work=$(realpath -m "${builds[0]}/wine-check")
started=$SECONDS

export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts; no desktop menu entries made for the shortcuts the tests create.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=C.UTF-8
unset LC_ALL LC_CTYPE LC_MESSAGES
# Wine gives a C locale the display language English: the checks of the designed texts ask for
# Japanese, the English ones for English.
export VNSETUP_LANG=ja
command -v wine >/dev/null || { echo "windows_check: wine is missing (scripts/setup.sh installs it)" >&2; exit 2; }

rm -rf "$work"
mkdir -p "$work"
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
# Xvfb picks a free display number and writes it to the descriptor it is given.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 20 display <"$work/display" || { echo "windows_check: Xvfb did not start" >&2; exit 2; }
export DISPLAY=":$display"

wine wineboot --init >/dev/null 2>&1
wineserver -w
echo "windows_check: Wine prefix ready after $((SECONDS - started)) s"

status=0
for build in "${builds[@]}"; do
  check="$build/tests/windows/windows_check.exe"
  if [ -f "$check" ]; then
    echo "=== $check"
    wine "$check" --gtest_color=no --gtest_brief=1 || status=1
  fi
done
driver=""
for build in "${builds[@]}"; do
  [ -f "$build/tests/windows/wizard_driver.exe" ] && driver="$build/tests/windows/wizard_driver.exe" && break
done
vnkit="$linux_build/tools/vnkit/vnkit"
for build in "${builds[@]}"; do
  program="$build/app/vnsetup.exe"
  sample="$build/sample_program.exe"
  [ -f "$program" ] || continue
  if [ ! -x "$vnkit" ] || [ -z "$driver" ] || [ ! -f "$sample" ]; then
    echo "windows_check: $program not checked: needs --linux-build with vnkit, a build with wizard_driver.exe and its sample_program.exe" >&2
    status=1
    continue
  fi
  echo "=== $program"
  bash "$root/tests/windows/vnsetup_wine_test.sh" "$program" "$vnkit" "$driver" "$sample" "$work/$(basename "$build")" ||
    status=1
  # The drives and the copy do not depend on the program's bitness: checked with the first build.
  [ "$build" != "${builds[0]}" ] ||
    bash "$root/tests/windows/vnsetup_wine_drives_test.sh" "$program" "$vnkit" "$driver" "$sample" \
      "$work/$(basename "$build")-drives" || status=1
done
wineserver -w
echo "windows_check: done in $((SECONDS - started)) s"
exit $status
