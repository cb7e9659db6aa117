#!/bin/bash
# footprint.sh [path-to-velmorix2] - memory, idle load and pickup latency of velmorix2.
#
#   idle RSS          VmRSS of the watching program, empty folder      goal < 60 MB
#   idle CPU          utime+stime over 60 s, empty folder (one core)   goal < 0.5 %
#   pickup latency    a writer closes a file -> its job is stored on
#                     the capture queue; average of 10                 goal < 1.2 s
#   idle CPU, backups the same, with 50,000 backups in the watched folder,
#                     patterns *.TXT and *                             goal < 0.5 %
#   raw 1 GB          peak RSS (VmHWM) above the idle program while
#                     printing a 1 GB file raw to a regular file       goal < 32 MB
#   raw 1 GB line     the same, a file of one 1 GB line                goal < 32 MB
#   graphical 16 MB   same, printing a 16 MB file through CUPS         goal < 2 x file size
#   one long line     same, a file of one 50 MB line, graphical        goal < 2 x file size
#
# Each figure from a fresh copy of the program, under Xvfb with a tray host and a private
# CUPS scheduler (bench/drain-env.sh). Peak = VmHWM from /proc/PID/status at the end (the
# kernel's high-water mark), sampled every 50 ms on the way as well.
#
# Environment: FOOTPRINT_IDLE_SECS (60), FOOTPRINT_SAMPLES (10), FOOTPRINT_RAW_MB (1024),
# FOOTPRINT_PDF_MB (16), FOOTPRINT_LINE_MB (50), FOOTPRINT_BACKUPS (50000),
# FOOTPRINT_KEEP=1 keeps the work folder, FOOTPRINT_ONLY="idle latency backups raw rawline pdf
# line" (a subset).
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BENCH_NAME=footprint
BIN=$(readlink -f "${1:-$(dirname "$HERE")/build/velmorix2}")
IDLE_SECS=${FOOTPRINT_IDLE_SECS:-60}
SAMPLES=${FOOTPRINT_SAMPLES:-10}
RAW_MB=${FOOTPRINT_RAW_MB:-1024}
PDF_MB=${FOOTPRINT_PDF_MB:-16}
LINE_MB=${FOOTPRINT_LINE_MB:-50}
BACKUPS=${FOOTPRINT_BACKUPS:-50000}
ONLY=${FOOTPRINT_ONLY:-idle latency backups raw rawline pdf line}
BENCH_KEEP=${FOOTPRINT_KEEP:-0}
BIG_TIMEOUT=${FOOTPRINT_TIMEOUT:-900}
[ -x "$BIN" ] || { echo "footprint: no program at $BIN (build it, or pass its path)" >&2; exit 2; }
. "$HERE/drain-env.sh"
bench_need
bench_setup
sandbox_fresh
HZ=$(getconf CLK_TCK)

# status_kb PID KEY VAR: a kB figure of /proc/PID/status (VmRSS, VmHWM) into VAR
status_kb() {
    local pid=$1 key=$2 var=$3 line
    while read -r line; do
        if [[ $line == "$key:"* ]]; then set -- $line; printf -v "$var" %d "$2"; return; fi
    done < "/proc/$pid/status"
    printf -v "$var" %d 0
}
# utime + stime of the program, in clock ticks
cpu_ticks() { local f; read -r f < "/proc/$PROGRAM_PID/stat"; f=${f##*) }; set -- $f; echo $(( ${12} + ${13} )); }
mb() { awk -v k="$1" 'BEGIN{printf "%.1f", k/1024}'; }
rows=()
row() { rows+=("$(printf '%-40s %-26s %-22s %s' "$1" "$2" "$3" "$4")"); }
verdict() { awk -v a="$1" -v g="$2" 'BEGIN{print (a+0 < g+0) ? "PASS" : "MISS"}'; }

# big_file PATH MB: 8-bit text, 100 columns a line with CR LF, every line its own.
big_file() {
    awk -v mb="$2" 'BEGIN {
        want = mb * 1048576
        for (i = 1; total < want; i++) {
            line = sprintf("%09d  Cliente Jo\xe3o da Silva %-20s  Valor R$ %12.2f  Situa\xe7\xe3o: OK -------\r\n", i, (i * 7919) % 1000003, (i * 131) % 1000000 / 7.0)
            if (total + length(line) > want) line = substr(sprintf("%" (want - total) "s", ""), 1, want - total - 2) "\r\n"
            printf "%s", line
            total += length(line)
        }
    }' > "$1"
}

# --- idle RSS, idle CPU, pickup latency (one program, graphical) -------------------------
if [[ " $ONLY " == *" idle "* || " $ONLY " == *" latency "* ]]; then
    I=$WORK/idle
    BENCH_SETTLE=5 start_program "$I/app" "$I/spool" 0 "$WORK/unused.prn"
    if [[ " $ONLY " == *" idle "* ]]; then
        status_kb "$PROGRAM_PID" VmRSS idle_rss
        say "idle CPU over $IDLE_SECS s"
        c0=$(cpu_ticks); now t0
        nap "$IDLE_SECS"
        c1=$(cpu_ticks); now t1
        status_kb "$PROGRAM_PID" VmRSS idle_rss_after
        idle_cpu=$(awk -v d=$((c1 - c0)) -v hz="$HZ" -v a="$t0" -v b="$t1" 'BEGIN{printf "%.3f", 100 * d / hz / (b - a)}')
        row "idle RSS (empty folder)" "$(mb "$idle_rss") MB (after ${IDLE_SECS}s: $(mb "$idle_rss_after"))" "< 60 MB" "$(verdict "$(mb "$idle_rss")" 60)"
        row "idle CPU over ${IDLE_SECS}s (one core)" "${idle_cpu} % ($((c1 - c0)) ticks of 1/$HZ s)" "< 0.5 %" "$(verdict "$idle_cpu" 0.5)"
    fi
    if [[ " $ONLY " == *" latency "* ]]; then
        say "pickup latency, $SAMPLES samples"
        lat=()
        for (( i = 1; i <= SAMPLES; i++ )); do
            count before "$JOBS/$QUEUE-*.pdf"
            want="$JOBS/$QUEUE-$((before + 1)).pdf"
            # the writer: open, write, close; the clock starts once it has closed
            printf 'LATENCIA %d\r\nlinha 2\r\n' "$i" > "$I/spool/LAT$i.TXT"
            now w
            got=""
            for (( k = 0; k < 1000; k++ )); do [ -e "$want" ] && { now got; break; }; nap 0.01; done
            [ -n "$got" ] || { say "sample $i: no job after 10 s"; got=$(awk -v w="$w" 'BEGIN{print w + 10}'); }
            lat+=("$(secs "$w" "$got")")
            # the next write lands elsewhere in the blink cycle (1 s ticks, two of 0.1 s)
            nap "$(awk -v i="$i" 'BEGIN{printf "%.3f", 0.2 + (i * 0.37) % 1.1}')"
        done
        lat_line=$(printf '%s\n' "${lat[@]}" | awk '{s+=$1; if(NR==1||$1<mn)mn=$1; if($1>mx)mx=$1} END{printf "%.3f %.3f %.3f", s/NR, mn, mx}')
        read -r lat_avg lat_min lat_max <<< "$lat_line"
        row "pickup latency, avg of $SAMPLES" "${lat_avg} s (min $lat_min, max $lat_max)" "< 1.2 s" "$(verdict "$lat_avg" 1.2)"
        echo "latency samples (s): ${lat[*]}" > "$WORK/latency.txt"
    fi
    stop_program
fi

# --- idle CPU with a folder full of backups ----------------------------------------------
if [[ " $ONLY " == *" backups "* ]]; then
    B=$WORK/backups
    mkdir -p "$B/spool"
    (cd "$B/spool" && seq -f 'REL%06g.bak' 1 "$BACKUPS" | xargs touch)
    for pattern in '*.TXT' '*'; do
        BENCH_SETTLE=5 start_program "$B/app" "$B/spool" 0 "$WORK/unused.prn"
        sed -i "1s|.*|LOCAL = $B/spool/$pattern\r|" "$B/app/VELMORIX.INI"
        stop_program
        BENCH_SETTLE=5 start_program "$B/app" "$B/spool" 0 "$WORK/unused.prn"
        say "idle CPU over $IDLE_SECS s, $BACKUPS backups, pattern $pattern"
        c0=$(cpu_ticks); now t0
        nap "$IDLE_SECS"
        c1=$(cpu_ticks); now t1
        stop_program
        idle_cpu=$(awk -v d=$((c1 - c0)) -v hz="$HZ" -v a="$t0" -v b="$t1" 'BEGIN{printf "%.3f", 100 * d / hz / (b - a)}')
        row "idle CPU, $BACKUPS backups, $pattern" "${idle_cpu} % ($((c1 - c0)) ticks of 1/$HZ s)" "< 0.5 %" "$(verdict "$idle_cpu" 0.5)"
    done
fi

# one_line PATH MB: a file of a single line of MB megabytes.
one_line() { { head -c $(($2 * 1048576)) /dev/zero | tr '\0' 'x'; printf '\r\n'; } > "$1"; }

# measure_big LABEL MODE MB GOAL MAKER: peak RSS above idle while printing one big file; a
# GOAL ending in "x" is a multiple of the file, else megabytes.
measure_big() {
    local label=$1 mode=$2 size_mb=$3 goal=$4 maker=${5:-big_file} d=$WORK/$2 rss0 hwm0 hwm rss peak=0 t0 t1 done_t="" file bytes
    mkdir -p "$d/stage"
    file=$d/stage/BIG.TXT
    "$maker" "$file" "$size_mb"
    bytes=$(stat -c %s "$file")
    : > "$d/port.prn"
    BENCH_SETTLE=4 start_program "$d/app" "$d/spool" "$([ "$mode" = raw ] && echo 1 || echo 0)" "$d/port.prn"
    status_kb "$PROGRAM_PID" VmRSS rss0
    status_kb "$PROGRAM_PID" VmHWM hwm0
    count before "$JOBS/$QUEUE-*.pdf"
    say "$label: $(mb $((bytes / 1024))) MB file"
    now t0
    mv "$file" "$d/spool/BIG.TXT"
    while (( SECONDS < BIG_DEADLINE )); do
        status_kb "$PROGRAM_PID" VmRSS rss
        (( rss > peak )) && peak=$rss
        [ -e "$d/spool/BIG.bak" ] && { now done_t; break; }
        nap 0.05
    done
    status_kb "$PROGRAM_PID" VmHWM hwm
    local stored="" want="$JOBS/$QUEUE-$((before + 1)).pdf"
    if [ "$mode" = pdf ] && [ -n "$done_t" ]; then
        while (( SECONDS < BIG_DEADLINE )); do [ -e "$want" ] && { now stored; break; }; nap 0.1; done
    fi
    stop_program
    (( peak > hwm )) && hwm=$peak   # the high-water mark trails VmRSS by a few pages
    local extra=$((hwm - rss0))
    local ratio; ratio=$(awk -v e="$extra" -v b="$bytes" 'BEGIN{printf "%.2f", e * 1024 / b}')
    local goalx=${goal%x}
    local took="n/a"; [ -n "$done_t" ] && took=$(secs "$t0" "$done_t")
    local extra_info="backed up after ${took}s"
    [ "$mode" = raw ] && extra_info+=", port $(stat -c %s "$d/port.prn") bytes"
    [ "$mode" = pdf ] && [ -n "$stored" ] &&
        extra_info+=", job stored after $(secs "$t0" "$stored")s, $(pdfinfo "$want" 2>/dev/null | awk '/^Pages:/{print $2}') pages"
    if [ "$goalx" != "$goal" ]; then
        row "$label peak above idle" "$(mb "$extra") MB = ${ratio} x file" "< $goalx x ($(mb $((bytes * goalx / 1024))) MB)" "$(verdict "$ratio" "$goalx")"
    else
        row "$label peak above idle" "$(mb "$extra") MB = ${ratio} x file" "< $goal MB" "$(verdict "$(mb "$extra")" "$goal")"
    fi
    details+=("$label: idle RSS $(mb "$rss0") MB, VmHWM before $(mb "$hwm0") MB, after $(mb "$hwm") MB, sampled max RSS $(mb "$peak") MB; $extra_info")
    rm -f "$d/spool/BIG.bak" "$d/spool/BIG.TXT" "$d/port.prn"
}
details=()
BIG_DEADLINE=$((SECONDS + BIG_TIMEOUT))
[[ " $ONLY " == *" raw "* ]] && { BIG_DEADLINE=$((SECONDS + BIG_TIMEOUT)); measure_big "raw ${RAW_MB} MB" raw "$RAW_MB" 32; }
[[ " $ONLY " == *" rawline "* ]] && { BIG_DEADLINE=$((SECONDS + BIG_TIMEOUT)); measure_big "raw, one ${RAW_MB} MB line" raw "$RAW_MB" 32 one_line; }
[[ " $ONLY " == *" pdf "* ]] && { BIG_DEADLINE=$((SECONDS + BIG_TIMEOUT)); measure_big "graphical ${PDF_MB} MB" pdf "$PDF_MB" 2x; }
[[ " $ONLY " == *" line "* ]] && { BIG_DEADLINE=$((SECONDS + BIG_TIMEOUT)); measure_big "graphical, one ${LINE_MB} MB line" pdf "$LINE_MB" 2x one_line; }

echo
echo "velmorix2 footprint ($BIN)"
printf '%-40s %-26s %-22s %s\n' "figure" "measured" "goal" "result"
printf '%s\n' "${rows[@]}"
echo
printf '%s\n' "${details[@]}"
[ -f "$WORK/latency.txt" ] && cat "$WORK/latency.txt"
true
