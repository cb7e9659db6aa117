#!/bin/bash
# drain-profile.sh raw|pdf [N] [path-to-velmorix2] - where a drain spends its instructions.
#
# Runs velmorix2 under valgrind --tool=callgrind (collection off during start-up), drops N
# files (default 200) into its folder, collects only until the last one is backed up, and
# prints callgrind_annotate's inclusive and exclusive tops. The output file is kept in
# /tmp/velmorix-callgrind.<mode>.out for kcachegrind.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
MODE=${1:?raw or pdf}
N=${2:-200}
BENCH_NAME=drain-profile
BIN=$(readlink -f "${3:-$(dirname "$HERE")/build/velmorix2}")
OUTFILE=/tmp/velmorix-callgrind.$MODE.out
. "$HERE/drain-env.sh"
bench_need
bench_setup
sandbox_fresh

mkdir -p "$WORK/stage"
awk -v dir="$WORK/stage" -v n="$N" 'BEGIN {
    for (i = 1; i <= n; i++) {
        f = sprintf("%s/REL%05d.TXT", dir, i)
        for (l = 1; l <= 40; l++)
            printf "%05d-%02d  Cliente %-24s  Valor R$ %10.2f  Situa\xe7\xe3o OK\r\n", i, l, "Jo\xe3o " (i * 37 + l) % 9973, (i * 131 + l * 17) % 100000 / 7.0 > f
        close(f)
    }
}'
rm -f "$OUTFILE" "$OUTFILE".*
BENCH_WRAP="valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file=$OUTFILE" \
BENCH_SETTLE=30 start_program "$WORK/app" "$WORK/spool" "$([ "$MODE" = raw ] && echo 1 || echo 0)" "$WORK/port.prn"
callgrind_control -i on "$PROGRAM_PID" >/dev/null
now t0
mv "$WORK/stage"/*.TXT "$WORK/spool/"
last=$(printf '%s/spool/REL%05d.bak' "$WORK" "$N")
while [ ! -e "$last" ]; do nap 0.05; done
now t1
callgrind_control -i off "$PROGRAM_PID" >/dev/null
callgrind_control -d "$PROGRAM_PID" >/dev/null   # a dump now: a killed program writes none
say "$N files in $(secs "$t0" "$t1") s under callgrind"
stop_program
[ -s "$OUTFILE.1" ] && OUTFILE=$OUTFILE.1
say "profile: $OUTFILE"
{ callgrind_annotate --inclusive=yes "$OUTFILE" 2>/dev/null || true; } | head -60 > "$WORK/incl.txt" || true
{ callgrind_annotate "$OUTFILE" 2>/dev/null || true; } | head -45 > "$WORK/self.txt" || true
echo "== inclusive"; cat "$WORK/incl.txt"
echo "== exclusive"; cat "$WORK/self.txt"
