#!/usr/bin/env bash
# Checks that the folders keep their layers: an include may only run downwards (or within its own
# folder), peers of one layer do not include each other, and window toolkits stay at the top.
# Run by ctest (layer_check); exits 1 and lists every offending line.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# Rank of a source folder; folders of the same rank are peers and may not include each other.
rank() {
  case "$1" in
    messages/*) echo 0 ;;
    platform/*) echo 1 ;;
    archive/*) echo 2 ;;
    imaging/*) echo 3 ;;
    settings/*) echo 4 ;;
    launcher/* | installer/*) echo 5 ;;
    ui/*) echo 6 ;;
    app/* | tools/*) echo 7 ;;
    *) echo "" ;;
  esac
}
# The folder that makes two files of one rank the same module (ui/qt, ui/console, tools/vnkit ...).
module() {
  case "$1" in
    ui/* | tools/*) echo "$1" | cut -d/ -f1-2 ;;
    *) echo "${1%%/*}" ;;
  esac
}

status=0
complain() {
  echo "layer check: $1" >&2
  status=1
}

while IFS= read -r file; do
  own=$(rank "$file")
  [ -n "$own" ] || continue
  while IFS=: read -r line target; do
    target=${target#*\"}
    target=${target%%\"*}
    theirs=$(rank "$target")
    [ -n "$theirs" ] || continue
    if ((theirs > own)); then
      complain "$file:$line includes $target from a higher layer"
    elif ((theirs == own)) && [ "$(module "$file")" != "$(module "$target")" ]; then
      complain "$file:$line includes $target from a peer of its layer"
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(git ls-files '*.h' '*.cpp' '*.hpp' 2>/dev/null || find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||')

# Window toolkits: Qt only in ui/qt, app and their tests; <windows.h> and the shell's COM headers only in
# ui/win32, app, the Windows platform backend, the other *_win32 files and the Windows checks.
while IFS=: read -r file line _; do
  case "$file" in
    ui/qt/* | app/* | tests/ui/qt/* | tests/support/qt_test_main.h) ;;
    *) complain "$file:$line includes a Qt header outside ui/qt and app" ;;
  esac
done < <(git grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q[A-Za-z]*(/|>)' -- '*.h' '*.cpp' || true)
while IFS=: read -r file line _; do
  case "$file" in
    ui/win32/* | app/* | platform/win32/* | *_win32.cpp | *_win32.h | tests/windows/* | tests/ui/win32/*) ;;
    *) complain "$file:$line includes a Windows header outside the Windows backends and front end" ;;
  esac
done < <(git grep -n -i -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(windows|shlobj|shobjidl|objbase|commctrl|commdlg)\.h>' -- '*.h' '*.cpp' || true)

exit $status
