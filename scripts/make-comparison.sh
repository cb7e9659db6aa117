#!/bin/bash
# make-comparison.sh - the same ESC/P invoice as cupsfilter prints it (left) and as Velmorix2
# prints it (right), side by side, first page: docs/escp-invoice.png.
#
#   scripts/make-comparison.sh [BUILD_DIR]      (default: build; render_bench must be built there)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
BENCH=$BUILD/bench/render_bench
[ -x "$BENCH" ] || { echo "make-comparison.sh: $BENCH not built (ninja -C $BUILD render_bench)" >&2; exit 1; }

WORK=$(mktemp -d /tmp/velmorix-comparison.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$WORK/xdg
mkdir -m 0700 "$XDG_RUNTIME_DIR"

"$ROOT/tests/generators/generate.sh" "$WORK" >/dev/null
# CUPS does not type a file with printer codes as text: it is told to.
cupsfilter -i text/plain -m application/pdf "$WORK/invoice.prn" >"$WORK/cupsfilter.pdf" 2>/dev/null
"$BENCH" --codepage 850 "$WORK/invoice.prn" "$WORK/velmorix2.pdf" >/dev/null
for tool in cupsfilter velmorix2; do
    pdftoppm -r 60 -png -singlefile -f 1 -l 1 "$WORK/$tool.pdf" "$WORK/$tool"
    /usr/bin/convert "$WORK/$tool.png" -bordercolor gray60 -border 1 \
        -gravity north -background white -splice 0x24 -pointsize 16 -annotate +0+4 "$tool" "$WORK/$tool-titled.png"
done
mkdir -p "$ROOT/docs"
/usr/bin/convert "$WORK/cupsfilter-titled.png" "$WORK/velmorix2-titled.png" -background white -splice 12x0 +append \
    "$ROOT/docs/escp-invoice.png"
echo "docs/escp-invoice.png"
