#!/bin/bash
# make-epson-page.sh - a page with a logo, a table and text (tests/generators/epson-page.ps) as
# Ghostscript draws it (left) and as Velmorix2 prints the 9-pin ESC/P bit images Ghostscript's
# epson device makes of it (right): docs/epson-page.png.
#
#   scripts/make-epson-page.sh [BUILD_DIR]      (default: build; render_bench must be built there)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
BENCH=$BUILD/bench/render_bench
[ -x "$BENCH" ] || { echo "make-epson-page.sh: $BENCH not built (ninja -C $BUILD render_bench)" >&2; exit 1; }

WORK=$(mktemp -d /tmp/velmorix-epson.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$WORK/xdg
mkdir -m 0700 "$XDG_RUNTIME_DIR"

gs="gs -q -dBATCH -dNOPAUSE -dSAFER -sPAPERSIZE=a4"
$gs -sDEVICE=pdfwrite -sOutputFile="$WORK/original.pdf" "$ROOT/tests/generators/epson-page.ps"
$gs -sDEVICE=epson -sOutputFile="$WORK/page.prn" "$WORK/original.pdf"
"$BENCH" "$WORK/page.prn" "$WORK/printed.pdf" >/dev/null
for page in original printed; do
    pdftoppm -r 60 -png -singlefile -f 1 -l 1 "$WORK/$page.pdf" "$WORK/$page"
done
title() { /usr/bin/convert "$WORK/$1.png" -bordercolor gray60 -border 1 -gravity north -background white \
    -splice 0x24 -pointsize 16 -annotate +0+4 "$2" "$WORK/$1-titled.png"; }
title original "Ghostscript"
title printed "Velmorix2 (gs -sDEVICE=epson)"
mkdir -p "$ROOT/docs"
/usr/bin/convert "$WORK/original-titled.png" "$WORK/printed-titled.png" -background white -splice 12x0 +append \
    "$ROOT/docs/epson-page.png"
echo "docs/epson-page.png"
