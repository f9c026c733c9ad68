# The common head of the Wine checks of vnsetup.exe, sourced by them: their arguments and helpers.
# Arguments: VNSETUP.EXE VNKIT WIZARD_DRIVER.EXE SAMPLE_PROGRAM.EXE WORK
set -euo pipefail

exe=$(realpath "$1")
vnkit=$(realpath "$2")
driver=$(realpath "$3")
sample_program=$(realpath "$4")
work=$(realpath -m "$5")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$(cd "$here/../.." && pwd)
title=星降る湖
key='HKCU\Software\ソフトハウス湖月\星降る湖'

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
note() { echo "--- $*"; }
winpath() { wine winepath -w "$1" 2>/dev/null | tr -d '\r'; }
unixpath() { wine winepath -u "$1" 2>/dev/null | tr -d '\r'; }
