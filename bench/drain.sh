#!/bin/bash
# drain.sh [path-to-velmorix2] - how fast a folder full of print-outs is drained.
#
# Side by side, in one run, on a private CUPS scheduler (tests/cups/cups-sandbox.sh):
#   1. velmorix2, graphical: DRAIN_FILES (1,000) one-page files, each with its own text,
#      appear in the watched folder at once; measured until the last file is backed up
#      and until CUPS has stored the last job on the capture queue VelCap.
#   2. The shell loop a user would write instead, on the same files and queue:
#        for f in *.TXT; do lp -d VelCap "$f" && mv "$f" "${f%.TXT}.bak"; done
#      measured the same way, until CUPS has stored the last job.
#   3. The floor: the PDFs velmorix2 sent in step 1, submitted back to back with lp, with no
#      spooler around them; the program's time over this floor is printed.
#   4. velmorix2, raw (PARALELA = 1) to a regular file: files per second, for DRAIN_FILES
#      files and for DRAIN_LARGE (20,000) files; the large drain should keep 90 % of the rate.
# The program runs under Xvfb with a tray host (bench/drain-env.sh); the CUPS runs on a
# fresh scheduler without the default limit of 500 jobs. Every run checks that nothing is
# lost: every file backed up, none left, one stored job per file.
# The last line is "drain speedup vs lp loop: N.NN" (loop time / program time).
#
# Environment: DRAIN_FILES (default 1000), DRAIN_LARGE (default 20000), DRAIN_RAW_ONLY=1 runs
# only the raw drains, DRAIN_KEEP=1 keeps the work folder,
# DRAIN_TIMEOUT seconds without progress before giving up (default 120).
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BENCH_NAME=drain
BIN=$(readlink -f "${1:-$(dirname "$HERE")/build/velmorix2}")
N=${DRAIN_FILES:-1000}
N_LARGE=${DRAIN_LARGE:-20000}
RAW_ONLY=${DRAIN_RAW_ONLY:-0}
STALL=${DRAIN_TIMEOUT:-120}
BENCH_KEEP=${DRAIN_KEEP:-0}
[ -x "$BIN" ] || { echo "drain: no program at $BIN (build it, or pass its path)" >&2; exit 2; }
. "$HERE/drain-env.sh"
bench_need
bench_setup

# One-page print-outs: 40 lines of 8-bit text (Windows-1252) with CR LF, each file its own.
make_files() {
    local dir=$1 n=${2:-$N}
    mkdir -p "$dir"
    awk -v dir="$dir" -v n="$n" 'BEGIN {
        for (i = 1; i <= n; i++) {
            f = sprintf("%s/REL%05d.TXT", dir, i)
            printf "RELAT\xd3RIO DE VENDAS  N\xba %05d                         P\xe1gina 1\r\n", i > f
            printf "%s\r\n", "------------------------------------------------------------------------" > f
            for (l = 1; l <= 38; l++)
                printf "%05d-%02d  Cliente %-24s  Valor R$ %10.2f  Situa\xe7\xe3o OK\r\n", i, l, "Jo\xe3o " (i * 37 + l) % 9973, (i * 131 + l * 17) % 100000 / 7.0 > f
            close(f)
        }
    }'
}

# wait_until VAR PATH GLOB: the moment PATH exists (cheap test, polled every 10 ms) and GLOB
# counts N; the full count is taken only when PATH exists or once a second, so that a file
# handled out of order is still seen. Gives up after STALL seconds without progress.
wait_until() {
    local var=$1 probe=$2 glob=$3 have=0 last=-1 since=$SECONDS tick=0 t
    for (( ;; )); do
        if [ -e "$probe" ] || (( ++tick % 100 == 0 )); then
            now t
            count have "$glob"
            (( have >= ${WANT:-$N} )) && { printf -v "$var" %s "$t"; return 0; }
            (( have != last )) && { last=$have; since=$SECONDS; }
            if (( SECONDS - since > STALL )); then
                say "no progress for $STALL s: $have of ${WANT:-$N} ($glob)"; printf -v "$var" %s ""; return 1
            fi
        fi
        nap 0.01
    done
}

last_name=$(printf 'REL%05d' "$N")
first_name=REL00001
failures=0
check() {   # check LABEL GOT WANT
    if [ "$2" = "$3" ]; then printf '  ok    %-44s %s\n' "$1" "$2"
    else printf '  LOST  %-44s %s (want %s)\n' "$1" "$2" "$3"; failures=$((failures + 1)); fi
}
# lpstat lists at most 500 finished jobs: count the scheduler's own log lines instead.
completed_jobs() { grep -c '\] Job completed\.' "$CUPS_SANDBOX_DIR/log/error_log" || true; }

say "work folder $WORK; $N files; program $BIN"
make_files "$WORK/stage"

p_t0=""; p_backed=""; p_stored=""; l_t0=""; l_submitted=""; l_stored=""; f_t0=""; f_stored=""
p_bak=$N; p_txt=0; p_jobs=$N; p_completed=$N; p_sample=38; p_term=yes
l_bak=$N; l_txt=0; l_jobs=$N; l_completed=$N; f_jobs=$N
if [ "$RAW_ONLY" != 1 ]; then
# --- 1. velmorix2, graphical -------------------------------------------------------------
sandbox_fresh
P=$WORK/prog
start_program "$P/app" "$P/spool" 0 "$WORK/unused.prn"
cp -a "$WORK/stage" "$P/stage"
say "velmorix2 (graphical): draining $N files"
now p_t0
mv "$P/stage"/*.TXT "$P/spool/"
wait_until p_backed "$P/spool/$last_name.bak" "$P/spool/*.bak" || true
wait_until p_stored "$JOBS/$QUEUE-$N.pdf" "$JOBS/$QUEUE-*.pdf" || true
stop_program; p_term=$PROGRAM_TERM_OK
count p_bak "$P/spool/*.bak"; count p_txt "$P/spool/*.TXT"; count p_jobs "$JOBS/$QUEUE-*.pdf"
p_completed=$(completed_jobs)
p_sample=$(pdftotext "$JOBS/$QUEUE-1.pdf" - 2>/dev/null | grep -c 'Cliente' || true)
mkdir -p "$WORK/pdfs"
cp "$JOBS/$QUEUE"-*.pdf "$WORK/pdfs/" 2>/dev/null || true

# --- 2. the lp loop ------------------------------------------------------------------------
sandbox_fresh
L=$WORK/loop
cp -a "$WORK/stage" "$L"
say "lp loop: $N files"
now l_t0
(cd "$L" && for f in *.TXT; do lp -d "$QUEUE" "$f" >/dev/null && mv "$f" "${f%.TXT}.bak"; done) || true
now l_submitted
wait_until l_stored "$JOBS/$QUEUE-$N.pdf" "$JOBS/$QUEUE-*.pdf" || true
count l_bak "$L/*.bak"; count l_txt "$L/*.TXT"; count l_jobs "$JOBS/$QUEUE-*.pdf"
l_completed=$(completed_jobs)

# --- 3. the floor: the program's own PDFs, lp back to back ---------------------------------
sandbox_fresh
say "floor: $N PDFs with lp"
now f_t0
(cd "$WORK/pdfs" && for f in *.pdf; do lp -d "$QUEUE" "$f" >/dev/null; done) || true
wait_until f_stored "$JOBS/$QUEUE-$N.pdf" "$JOBS/$QUEUE-*.pdf" || true
count f_jobs "$JOBS/$QUEUE-*.pdf"
fi

# --- 4. velmorix2, raw to a regular file -------------------------------------------------
# raw_drain COUNT PREFIX: sets PREFIX_run_s, PREFIX_rate, PREFIX_bak, PREFIX_txt, PREFIX_same.
raw_drain() {
    local n=$1 v=$2 R=$WORK/raw$1 t0 first="" backed="" last deadline
    mkdir -p "$R"
    : > "$R/port.prn"
    make_files "$R/stage" "$n"
    start_program "$R/app" "$R/spool" 1 "$R/port.prn"
    say "velmorix2 (raw): draining $n files"
    last=$(printf 'REL%05d' "$n")
    now t0
    find "$R/stage" -maxdepth 1 -name '*.TXT' -exec mv -t "$R/spool/" {} +
    # The first file done starts the clock of the drain rate: the wait for the next tick
    # (up to a second) is pickup latency, measured by footprint.sh.
    deadline=$((SECONDS + STALL))
    while (( SECONDS < deadline )); do [ -e "$R/spool/$first_name.bak" ] && { now first; break; }; nap 0.002; done
    WANT=$n wait_until backed "$R/spool/$last.bak" "$R/spool/*.bak" || true
    stop_program
    local bak txt same=no run
    count bak "$R/spool/*.bak"; count txt "$R/spool/*.TXT"
    cmp -s "$R/port.prn" "$R/spool/$last.bak" && same=yes
    run=$(fmt_t "$first" "$backed")
    printf -v "${v}_run_s" %s "$run"
    printf -v "${v}_e2e_s" %s "$(fmt_t "$t0" "$backed")"
    printf -v "${v}_rate" %s "$(rate "$((n - 1))" "$run")"
    printf -v "${v}_bak" %s "$bak"; printf -v "${v}_txt" %s "$txt"; printf -v "${v}_same" %s "$same"
    printf -v "${v}_term" %s "$PROGRAM_TERM_OK"
    rm -rf "$R/spool"
}
fmt_t() { [ -n "$2" ] && [ -n "$1" ] && secs "$1" "$2" || echo "n/a"; }
rate() { awk -v n="$1" -v t="$2" 'BEGIN{ if (t == "n/a" || t <= 0) print "n/a"; else printf "%.1f", n/t }'; }
raw_drain "$N" r
raw_drain "$N_LARGE" q
r_term=$r_term/$q_term  # the two raw runs

# --- report -----------------------------------------------------------------------------------
p_back_s=$(fmt_t "$p_t0" "$p_backed"); p_store_s=$(fmt_t "$p_t0" "$p_stored")
l_sub_s=$(fmt_t "$l_t0" "$l_submitted"); l_store_s=$(fmt_t "$l_t0" "$l_stored")
f_store_s=$(fmt_t "$f_t0" "$f_stored")
p_rate=$(rate "$N" "$p_store_s"); l_rate=$(rate "$N" "$l_store_s")
r_e2e_rate=$(rate "$N" "$r_e2e_s")
large_ratio=$(awk -v a="$q_rate" -v b="$r_rate" 'BEGIN{ if (a == "n/a" || b == "n/a" || b <= 0) print "n/a"; else printf "%.2f", a/b }')
over_floor=$(awk -v p="$p_store_s" -v f="$f_store_s" 'BEGIN{ if (p == "n/a" || f == "n/a" || f <= 0) print "n/a"; else printf "%.2f", p/f }')
verdict() { awk -v a="$1" -v g="$2" 'BEGIN{ print (a != "n/a" && a+0 >= g+0) ? "PASS" : "MISS" }'; }
speedup=$(awk -v l="$l_store_s" -v p="$p_store_s" 'BEGIN{ if (l == "n/a" || p == "n/a" || p <= 0) print "0.00"; else printf "%.2f", l/p }')

echo
echo "Drain of $N one-page files (unique text, CR LF), private CUPS, queue $QUEUE (capture, one PDF per job)"
printf '%-30s %16s %16s %12s\n' "" "handed over (s)" "last stored (s)" "files/s"
printf '%-30s %16s %16s %12s\n' "velmorix2 graphical" "$p_back_s" "$p_store_s" "$p_rate"
printf '%-30s %16s %16s %12s\n' "lp + mv loop" "$l_sub_s" "$l_store_s" "$l_rate"
printf '%-30s %16s %16s %12s\n' "floor: lp of the same PDFs" "" "$f_store_s" "$(rate "$N" "$f_store_s")"
echo "  velmorix2 graphical over the floor: $over_floor x"
echo "  (times from the files appearing / the loop starting; 'handed over' = last file backed up or loop done)"
echo
printf '%-30s %16s %16s %12s\n' "" "drain (s)" "incl. pickup (s)" "files/s"
printf '%-30s %16s %16s %12s   goal >= 1000 files/s: %s\n' "velmorix2 raw to a file" "$r_run_s" "$r_e2e_s" "$r_rate" "$(verdict "$r_rate" 1000)"
printf '%-30s %16s %16s %12s   goal >= 0.90 of the %d-file rate: %s (%s)\n' "velmorix2 raw, $N_LARGE files" "$q_run_s" "$q_e2e_s" "$q_rate" "$N" "$(verdict "$large_ratio" 0.90)" "$large_ratio"
echo "  (drain = first file backed up to last: $((N - 1)) files; incl. pickup = from the files appearing, $r_e2e_rate files/s)"
echo
echo "Nothing lost:"
check "velmorix2: files backed up"           "$p_bak" "$N"
check "velmorix2: files left unprinted"       "$p_txt" 0
check "velmorix2: jobs stored by CUPS"        "$p_jobs" "$N"
check "velmorix2: jobs completed (cupsd log)"    "$p_completed" "$N"
check "velmorix2: job 1 text lines (pdftotext)" "$p_sample" 38
check "lp loop: files backed up"              "$l_bak" "$N"
check "lp loop: files left"                   "$l_txt" 0
check "lp loop: jobs stored by CUPS"          "$l_jobs" "$N"
check "lp loop: jobs completed (cupsd log)"      "$l_completed" "$N"
check "raw: files backed up"                  "$r_bak" "$N"
check "raw: files left unprinted"             "$r_txt" 0
check "raw: port holds the last file's bytes" "$r_same" yes
check "raw large: files backed up"            "$q_bak" "$N_LARGE"
check "raw large: files left unprinted"       "$q_txt" 0
check "raw large: port holds the last file's bytes" "$q_same" yes
check "floor: jobs stored by CUPS"            "$f_jobs" "$N"
check "velmorix2 ended by SIGTERM (all runs)" "$p_term/$r_term" yes/yes/yes
echo
printf 'goal: faster than the lp loop (> 1.00): %s\n' "$(awk -v s="$speedup" 'BEGIN{print (s > 1.00) ? "PASS" : "MISS"}')"
[ "$failures" -eq 0 ] || echo "WARNING: $failures check(s) failed: figures above are not comparable"
echo "drain speedup vs lp loop: $speedup"
