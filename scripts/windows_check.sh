#!/usr/bin/env bash
# Runs the Windows build's checks (BUILD/tests/windows/windows_check.exe) under Wine, in a Wine
# prefix of their own inside the build folder, so no user's Wine setup is touched.
set -euo pipefail
build=${1:-build-win}
exe="$build/tests/windows/windows_check.exe"
[ -f "$exe" ] || { echo "windows_check: $exe not built (make windows-check builds it)" >&2; exit 2; }
export WINEPREFIX="$(cd "$build" && pwd)/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
"$wine" wineboot --init >/dev/null 2>&1 || true
status=0
"$wine" "$exe" --gtest_color=no || status=$?
# Wait for this prefix's wineserver to end, so nothing is left running.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
"$wineserver" -w || true
exit $status
