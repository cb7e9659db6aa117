#!/bin/bash
# make-test-page.sh - the test page as Velmorix2 prints it: `velmorix2 --test-page` writes it raw
# into a file standing in for the printer's port (code page 850, 9 pins), and the bytes are then
# printed graphically, as a spool file of an Epson program would be: docs/test-page.png.
#
#   scripts/make-test-page.sh [BUILD_DIR]      (default: build; velmorix2 and render_bench built there)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
PROGRAM=$BUILD/velmorix2
BENCH=$BUILD/bench/render_bench
for tool in "$PROGRAM" "$BENCH"; do
    [ -x "$tool" ] || { echo "make-test-page.sh: $tool not built (ninja -C $BUILD velmorix2 render_bench)" >&2; exit 1; }
done

WORK=$(mktemp -d /tmp/velmorix-testpage.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$WORK/xdg
mkdir -m 0700 "$XDG_RUNTIME_DIR" "$WORK/spool"
: >"$WORK/port.prn"
printf 'LOCAL = %s\r\nIMPRESSORA = Escritorio\r\nBACKUP = 1\r\nPARALELA = 1\r\nPORTA = %s\r\nCODIFICACAO = 850\r\nAGULHAS = 9\r\n' \
    "$WORK/spool/*.TXT" "$WORK/port.prn" >"$WORK/VELMORIX.INI"
(cd "$WORK" && "$PROGRAM" --test-page --config "$WORK/VELMORIX.INI")
"$BENCH" --codepage 850 "$WORK/port.prn" "$WORK/page.pdf" >/dev/null
pdftoppm -r 72 -png -singlefile -f 1 -l 1 "$WORK/page.pdf" "$WORK/page"
mkdir -p "$ROOT/docs"
/usr/bin/convert "$WORK/page.png" -bordercolor gray60 -border 1 "$ROOT/docs/test-page.png"
echo "docs/test-page.png"
