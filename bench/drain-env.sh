# drain-env.sh - shared by bench/drain.sh and bench/footprint.sh (sourced, not run).
#
# A work folder, a private CUPS scheduler (tests/cups/cups-sandbox.sh) with no job limit,
# and a virtual X display with a tray host: without a notification area the program shows
# its settings window and does not watch, so the offscreen platform cannot be measured.
# Also: polling helpers that start no process, and starting/stopping velmorix2 copies.
#
# The caller sets BENCH_NAME and BIN, then calls bench_setup.

export LC_ALL=C
BENCH_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SANDBOX=$BENCH_ROOT/tests/cups/cups-sandbox.sh
QUEUE=VelCap
PROGRAM_PID=""
BENCH_PIDS=()

say() { printf '[%s] %s\n' "$BENCH_NAME" "$*" >&2; }

# Sleeping and counting without starting a process, so that polling every few ms costs
# little of the two cores the measured programs need.
exec {NAPFD}<> <(:)
nap() { read -r -t "$1" -u "$NAPFD" _ || true; }
shopt -s nullglob
count() { local -a hits=($2); printf -v "$1" %d "${#hits[@]}"; }   # count VAR 'GLOB'
now() { printf -v "$1" %s "$EPOCHREALTIME"; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.3f", b-a}'; }

cups_answering() { lpstat -r 2>/dev/null | grep -qx 'scheduler is running'; }

# A fresh scheduler (empty history, job ids from 1) that keeps every job: its default
# limit of 500 jobs would refuse a burst of 1,000.
sandbox_fresh() {
    bash "$SANDBOX" stop >/dev/null 2>&1 || true
    bash "$SANDBOX" start >/dev/null 2>"$WORK/sandbox.log" || { cat "$WORK/sandbox.log" >&2; exit 1; }
    echo "MaxJobs 0" >> "$CUPS_SANDBOX_DIR/etc/cupsd.conf"
    bash "$SANDBOX" stop >/dev/null 2>&1
    cupsd -c "$CUPS_SANDBOX_DIR/etc/cupsd.conf" -s "$CUPS_SANDBOX_DIR/etc/cups-files.conf" ||
        { say "cupsd did not restart"; exit 1; }
    local i
    for i in $(seq 1 200); do cups_answering && break; nap 0.05; done
    for i in $(seq 1 100); do lpstat -p "$QUEUE" 2>/dev/null | grep -q 'is idle' && return 0; nap 0.05; done
    say "queue $QUEUE not ready"; exit 1
}

bench_cleanup() {
    [ -n "$PROGRAM_PID" ] && stop_program
    bash "$SANDBOX" stop >/dev/null 2>&1 || true
    local p
    for p in "${BENCH_PIDS[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
    if [ "${BENCH_KEEP:-0}" = 1 ]; then say "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}

bench_setup() {
    WORK=$(mktemp -d "/tmp/velmorix-$BENCH_NAME.XXXXXX")
    chmod 755 "$WORK"   # CUPS filters run as user lp below it
    trap bench_cleanup EXIT
    export CUPS_SANDBOX_DIR=$WORK/cups
    unset CUPS_SANDBOX_PORT   # the socket only: nothing to clash with other runs
    export CUPS_SERVER=$CUPS_SANDBOX_DIR/run/cups.sock
    export XDG_RUNTIME_DIR=$WORK/xdg
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    JOBS=$CUPS_SANDBOX_DIR/out/jobs
    unset QT_QPA_PLATFORM SESSION_MANAGER

    local n d=""
    for n in $(seq 200 240); do
        if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then d=:$n; break; fi
    done
    [ -n "$d" ] || { say "no free X display"; exit 2; }
    Xvfb "$d" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    BENCH_PIDS+=($!)
    export DISPLAY=$d
    for n in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; nap 0.1; done
    xdpyinfo >/dev/null 2>&1 || { say "Xvfb did not start"; exit 2; }
    trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
        --transparent false --tint 0x808080 >/dev/null 2>&1 &
    BENCH_PIDS+=($!)
    nap 0.5
}

bench_need() {   # installs the tools the runs need (as root, when missing)
    local need=()
    command -v Xvfb >/dev/null || need+=(xvfb)
    command -v trayer >/dev/null || need+=(trayer)
    command -v xdpyinfo >/dev/null || need+=(x11-utils)
    command -v pdftotext >/dev/null || need+=(poppler-utils)
    command -v lp >/dev/null || need+=(cups-client)
    if [ ${#need[@]} -gt 0 ] && [ "$(id -u)" = 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
            --no-install-recommends "${need[@]}" >/dev/null 2>&1 || true
    fi
}

# start_program APPDIR SPOOL PARALELA PORTA: a copy of the binary in APPDIR with its
# VELMORIX.INI beside it (CR LF), working directory APPDIR/run. BENCH_PATTERN: the pattern
# watched in SPOOL (default *.TXT).
start_program() {
    local app=$1 spool=$2 raw=$3 port=$4 i
    mkdir -p "$app/run" "$spool"
    cp "$BIN" "$app/velmorix2"
    printf 'LOCAL = %s/%s\r\nIMPRESSORA = %s\r\nBACKUP = 1\r\nPARALELA = %s\r\nPORTA = %s\r\n' \
        "$spool" "${BENCH_PATTERN:-*.TXT}" "$QUEUE" "$raw" "$port" > "$app/VELMORIX.INI"
    (cd "$app/run" && exec ${BENCH_WRAP:-} "$app/velmorix2" >"$app/stdout.log" 2>"$app/stderr.log") &
    PROGRAM_PID=$!
    PROGRAM_APP=$app
    nap "${BENCH_SETTLE:-2}"   # start-up, first ticks on an empty folder
    kill -0 "$PROGRAM_PID" 2>/dev/null || { say "velmorix2 died at start:"; cat "$app/stderr.log" >&2; exit 1; }
}

# TERM (the program ends between two files), KILL after 5 s. Sets PROGRAM_TERM_OK.
stop_program() {
    local i
    PROGRAM_TERM_OK=yes
    kill -TERM "$PROGRAM_PID" 2>/dev/null || true
    for i in $(seq 1 500); do
        [ -r "/proc/$PROGRAM_PID/stat" ] && ! grep -q ') [ZX] ' "/proc/$PROGRAM_PID/stat" 2>/dev/null || break
        nap 0.01
    done
    if kill -0 "$PROGRAM_PID" 2>/dev/null && ! grep -q ') [ZX] ' "/proc/$PROGRAM_PID/stat" 2>/dev/null; then
        PROGRAM_TERM_OK=no
        say "velmorix2 ignored SIGTERM for 5 s; killed"
        kill -KILL "$PROGRAM_PID" 2>/dev/null || true
    fi
    wait "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=""
}
