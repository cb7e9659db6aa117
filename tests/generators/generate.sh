#!/bin/bash
# Writes real-looking spool files into the folder given (default: the current one):
#   invoice.prn  ESC/P invoice in CP850, three 66-line pages (invoice.py)
#   report.txt   GnuCOBOL report, 136 columns, mixed AFTER/BEFORE ADVANCING (report.cob)
#   manpage.txt  groff -man -Tascii of sample.1, bold and underline as backspace overstrikes
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$here/invoice.py" "$out/invoice.prn"
cobc -x -o "$work/report" "$here/report.cob"
"$work/report" "$out/report.txt"
GROFF_NO_SGR=1 groff -man -Tascii "$here/sample.1" >"$out/manpage.txt"
