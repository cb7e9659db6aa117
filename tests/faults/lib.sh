# lib.sh - the machinery of the fault suite: a private CUPS scheduler, an X display with a
# tray host, the program started from a fresh folder with its own settings, spool files that
# carry a marker, and the ledger of what came out of the printers.
#
# Every spool file holds a line "VFMARK <id> BEGIN" at its start and "VFMARK <id> END" at its
# end. A print is one BEGIN found in a captured PDF job (pdftotext) or in the bytes that
# reached a raw destination. Sourced by run.sh.

VF_HERE=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
VF_REPO=$(readlink -f "$VF_HERE/../..")
VF_SANDBOX=$VF_REPO/tests/cups/cups-sandbox.sh

VF_PIDS=()          # processes started by the suite (writers, readers, Xvfb, trayer)
VF_MOUNTS=()        # mounts made by the suite
VF_PROG_PID=
VF_RUN=             # folder of the running program: bin/ cwd/ xdg/ home/ program.log
VF_RUN_N=0
VF_FAILED=0
VF_TOTAL_LOST=0
VF_TOTAL_TWICE=0
VF_ROWS=()

# Sizes. The default run is the short one CI runs; FAULTS_FULL=1 runs the full sizes; each size
# has its own knob that wins over both.
if [ "${FAULTS_FULL:-0}" = 1 ]; then
    VF_DEF=(5000 500 100 16 200 200 100)
else
    VF_DEF=(1000 100 20 4 200 60 40)
fi
VF_BURST_RAW=${FAULTS_BURST_RAW:-${VF_DEF[0]}}
VF_BURST_GRAPHICAL=${FAULTS_BURST_GRAPHICAL:-${VF_DEF[1]}}
VF_BIG_RAW_MB=${FAULTS_BIG_RAW_MB:-${VF_DEF[2]}}
VF_BIG_GRAPHICAL_MB=${FAULTS_BIG_GRAPHICAL_MB:-${VF_DEF[3]}}
VF_KILL_RAW=${FAULTS_KILL_RAW:-${VF_DEF[4]}}
VF_KILL_GRAPHICAL=${FAULTS_KILL_GRAPHICAL:-${VF_DEF[5]}}
VF_MIDBATCH=${FAULTS_MIDBATCH:-${VF_DEF[6]}}

say() { printf '  %s\n' "$*"; }
note() { printf '  NOTE: %s\n' "$*"; }
check_fail() {
    printf '  CHECK FAILED: %s\n' "$*"
    VF_FAILED=1
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local limit=$1
    shift
    local end=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
    done
}

# A process is alive while it exists and is not a zombie.
alive() {
    local pid=$1 st
    [ -n "$pid" ] && [ -r "/proc/$pid/stat" ] || return 1
    st=$(sed 's/^.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f1) || return 1
    [ "$st" != Z ] && [ "$st" != X ]
}

stop_pid() { # TERM, then KILL after 5 s
    local pid=$1 i
    alive "$pid" || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for i in $(seq 1 50); do
        alive "$pid" || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

vf_cleanup() {
    set +e
    [ -n "$VF_PROG_PID" ] && stop_pid "$VF_PROG_PID"
    local pid m
    # TERM first: an X server killed outright leaves its lock file, and enough of those leave
    # no display free for the next run.
    for pid in "${VF_PIDS[@]}"; do alive "$pid" && kill -TERM "$pid" 2>/dev/null; done
    for pid in "${VF_PIDS[@]}"; do
        wait_for 3 bash -c "! kill -0 $pid" || kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    for m in "${VF_MOUNTS[@]}"; do umount -l "$m" 2>/dev/null; done
    if [ -n "${CUPS_SANDBOX_DIR:-}" ]; then
        pid=$(cups_pid)
        bash "$VF_SANDBOX" stop >/dev/null 2>&1
        [ -n "$pid" ] && alive "$pid" && kill -KILL "$pid" 2>/dev/null
    fi
    if [ -n "${VF_WORK:-}" ] && [ -z "${KEEP_WORK:-}" ]; then
        chmod -R u+rwX "$VF_WORK" 2>/dev/null
        rm -rf "$VF_WORK"
    elif [ -n "${VF_WORK:-}" ]; then
        echo "work folder kept: $VF_WORK" >&2
    fi
}

# ---------------------------------------------------------------- set-up

vf_setup() {
    VF_PROGRAM=$(readlink -f "$1")
    [ -x "$VF_PROGRAM" ] || { echo "no program at $1" >&2; exit 2; }
    local need=()
    command -v Xvfb >/dev/null || need+=(xvfb)
    command -v trayer >/dev/null || need+=(trayer)
    command -v xdotool >/dev/null || need+=(xdotool)
    command -v xdpyinfo >/dev/null || need+=(x11-utils)
    command -v pdftotext >/dev/null || need+=(poppler-utils)
    if [ ${#need[@]} -gt 0 ] && [ "$(id -u)" = 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
            --no-install-recommends "${need[@]}" >/dev/null 2>&1 ||
            { apt-get update -qq >/dev/null 2>&1 &&
                DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
                    --no-install-recommends "${need[@]}" >/dev/null 2>&1; }
    fi

    VF_WORK=$(mktemp -d /tmp/velmorix-faults.XXXXXX)
    chmod 755 "$VF_WORK"
    export CUPS_SANDBOX_DIR=$VF_WORK/cups
    unset CUPS_SANDBOX_PORT # the socket only: nothing to clash with other runs
    bash "$VF_SANDBOX" start >"$VF_WORK/cups-start.log" 2>&1 ||
        { cat "$VF_WORK/cups-start.log" >&2; echo "the CUPS sandbox did not start" >&2; exit 2; }
    export CUPS_SERVER=$CUPS_SANDBOX_DIR/run/cups.sock
    VF_JOBS=$CUPS_SANDBOX_DIR/out/jobs
    # Keep every job: the default limit of 500 jobs would refuse the bursts.
    echo "MaxJobs 0" >>"$CUPS_SANDBOX_DIR/etc/cupsd.conf"
    cups_down && cups_up || { echo "the CUPS sandbox did not restart" >&2; exit 2; }

    # A free display: a lock file taken by a run started at the same moment makes our Xvfb
    # end at once; then the next number is tried.
    local n xpid
    VF_DISPLAY=
    for n in $(seq 140 200); do
        if [ -e /tmp/.X$n-lock ]; then
            # a lock whose server is gone (killed outright) is taken back
            alive "$(tr -d ' ' </tmp/.X$n-lock)" && continue
            rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
        fi
        [ -e /tmp/.X11-unix/X$n ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        xpid=$!
        if wait_for 10 bash -c "kill -0 $xpid && DISPLAY=:$n xdpyinfo" && sleep 0.3 && alive "$xpid"; then
            VF_PIDS+=($xpid)
            VF_DISPLAY=:$n
            break
        fi
        kill -KILL "$xpid" 2>/dev/null
        wait "$xpid" 2>/dev/null
    done
    [ -n "$VF_DISPLAY" ] || { echo "no X display could be started" >&2; exit 2; }
    export DISPLAY=$VF_DISPLAY
    # A tray host: the program hides in it, as on a desktop. (Without one it keeps its window
    # on screen and watches all the same.)
    trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
        --transparent false --tint 0x808080 >/dev/null 2>&1 &
    VF_PIDS+=($!)
    sleep 0.5

    : >"$VF_WORK/ledger"      # "<source> VFMARK <id> BEGIN|END", one line per marker seen
    : >"$VF_WORK/harvested"   # captured job files already read
    mkdir -p "$VF_WORK/sinks"
}

# ---------------------------------------------------------------- CUPS

cups_pid() { cat "$CUPS_SANDBOX_DIR/run/cupsd.pid" 2>/dev/null; }
cups_answering() { lpstat -r 2>/dev/null | grep -qx 'scheduler is running'; }
cups_down() {
    local pid
    pid=$(cups_pid)
    [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null
    wait_for 15 bash -c "! { [ -r /proc/$pid/stat ] && ! grep -q ') [ZX] ' /proc/$pid/stat; }" ||
        kill -KILL "$pid" 2>/dev/null
    rm -f "$CUPS_SANDBOX_DIR/run/cupsd.pid"
    ! cups_answering
}
cups_up() {
    cupsd -c "$CUPS_SANDBOX_DIR/etc/cupsd.conf" -s "$CUPS_SANDBOX_DIR/etc/cups-files.conf" || return 1
    wait_for 15 cups_answering
}
# A PDF queue of our own that stores its jobs beside the others.
add_queue() {
    lpadmin -p "$1" -E -v "velcap:$VF_JOBS" -P "$CUPS_SANDBOX_DIR/etc/vel-pdf.ppd" 2>&1 |
        grep -v deprecated || true
}
# No job waits or runs in any queue.
cups_idle() { [ -z "$(lpstat -o 2>/dev/null)" ]; }

# ---------------------------------------------------------------- raw destinations

# A FIFO with a reader that never lets go (it holds a writer of its own, so it never sees
# the end): every byte the program writes is appended to sinks/NAME.cap. Sets VF_SINK to the
# FIFO's path.
sink_start() {
    local name=$1
    mkfifo "$VF_WORK/sinks/$name.fifo"
    : >"$VF_WORK/sinks/$name.cap"
    chmod 666 "$VF_WORK/sinks/$name.fifo" "$VF_WORK/sinks/$name.cap"
    cat <>"$VF_WORK/sinks/$name.fifo" >>"$VF_WORK/sinks/$name.cap" &
    VF_PIDS+=($!)
    VF_SINK=$VF_WORK/sinks/$name.fifo
}
# Waits until the capture stops growing (the reader has drained the pipe).
sink_settle() {
    local cap=$VF_WORK/sinks/$1.cap a b
    a=$(stat -c %s "$cap")
    while :; do
        sleep 0.3
        b=$(stat -c %s "$cap")
        [ "$a" = "$b" ] && return 0
        a=$b
    done
}

# ---------------------------------------------------------------- the program

# run_folder LOCAL IMPRESSORA BACKUP PARALELA PORTA: a fresh $VF_RUN with a copy of the binary
# and its settings, a working directory, a runtime folder and a home of its own.
run_folder() {
    VF_RUN_N=$((VF_RUN_N + 1))
    VF_RUN=$VF_WORK/run$VF_RUN_N
    mkdir -p "$VF_RUN"/{bin,cwd,xdg,home}
    chmod 755 "$VF_RUN"
    chmod 700 "$VF_RUN/xdg"
    cp "$VF_PROGRAM" "$VF_RUN/bin/velmorix2"
    printf 'LOCAL = %s\r\nIMPRESSORA = %s\r\nBACKUP = %s\r\nPARALELA = %s\r\nPORTA = %s\r\n' \
        "$1" "$2" "$3" "$4" "$5" >"$VF_RUN/bin/VELMORIX.INI"
}

# prog_start LOCAL IMPRESSORA BACKUP PARALELA PORTA [user]
# A fresh folder with a copy of the binary and its settings; the program runs under Xvfb with
# the tray host, its working directory a folder of its own.
prog_start() {
    run_folder "$@"
    prog_launch "${6:-}"
}

# service_start LOCAL IMPRESSORA BACKUP PARALELA PORTA: a fresh run folder with its settings and
# the program started in it with --service, its log lines in $VF_RUN/program.log as they happen.
# With VF_JOURNAL=1 the log is written as for the journal (a level in "<N>" at the start of each
# line: JOURNAL_STREAM names that file), and the program's own errors go to stderr.log.
service_start() {
    run_folder "$@"
    : >"$VF_RUN/program.log"
    service_relaunch
}
# service_relaunch: the service of $VF_RUN started again as it is.
service_relaunch() {
    local journal=() errors=$VF_RUN/program.log
    if [ "${VF_JOURNAL:-0}" = 1 ]; then
        journal=(JOURNAL_STREAM="$(stat -c '%d:%i' "$VF_RUN/program.log")")
        errors=$VF_RUN/stderr.log
    fi
    (cd "$VF_RUN/cwd" && exec env -u DBUS_SESSION_BUS_ADDRESS -u SESSION_MANAGER -u DISPLAY -u QT_QPA_PLATFORM \
        CUPS_SERVER="$CUPS_SERVER" XDG_RUNTIME_DIR="$VF_RUN/xdg" HOME="$VF_RUN/home" \
        XDG_CONFIG_HOME="$VF_RUN/home/.config" "${journal[@]}" \
        "$VF_RUN/bin/velmorix2" --service --config "$VF_RUN/bin/VELMORIX.INI" >>"$VF_RUN/program.log" 2>>"$errors") &
    VF_PROG_PID=$!
    sleep 0.5
    alive "$VF_PROG_PID" || { check_fail "the service did not start"; sed 's/^/    /' "$errors"; }
}

# Starts (again) the program of $VF_RUN as it is, optionally as another user.
prog_launch() {
    local user=${1:-} wrap=()
    if [ -n "$user" ]; then
        chown -R "$user" "$VF_RUN/bin" "$VF_RUN/cwd" "$VF_RUN/xdg" "$VF_RUN/home"
        wrap=(setpriv --reuid="$user" --regid="$(id -gn "$user" 2>/dev/null || echo nogroup)" --clear-groups)
    fi
    (cd "$VF_RUN/cwd" && exec "${wrap[@]}" env -u DBUS_SESSION_BUS_ADDRESS -u QT_QPA_PLATFORM \
        -u SESSION_MANAGER DISPLAY="$VF_DISPLAY" CUPS_SERVER="$CUPS_SERVER" \
        XDG_RUNTIME_DIR="$VF_RUN/xdg" HOME="$VF_RUN/home" XDG_CONFIG_HOME="$VF_RUN/home/.config" \
        "$VF_RUN/bin/velmorix2" >>"$VF_RUN/program.log" 2>&1) &
    VF_PROG_PID=$!
    prog_started
}
# The program has opened its X connection (or died): up to 10 s, then a check that it lives.
prog_started() {
    wait_for 10 bash -c "! kill -0 $VF_PROG_PID 2>/dev/null || ls -l /proc/$VF_PROG_PID/fd 2>/dev/null | grep -q socket:"
    sleep 0.3
    alive "$VF_PROG_PID" || { check_fail "the program did not start"; sed 's/^/    /' "$VF_RUN/program.log"; }
}
# ticks [N]: lets a started program have about N (default 2) turns of its 1 s timer, for the
# checks that something did NOT happen.
ticks() { sleep "$((${1:-2} + 1))"; }

# The message boxes of one program (default the running one): visible dialog windows of its
# process, so neither its tray icon nor another program's box counts.
prog_boxes() {
    local pid=${1:-$VF_PROG_PID} w
    for w in $(xdotool search --all --onlyvisible --pid "$pid" --name '^Velmorix2$' 2>/dev/null); do
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q DIALOG && echo "$w"
    done
}
has_box() { [ -n "$(prog_boxes "${1:-$VF_PROG_PID}")" ]; }
# answer_box KEY [PID]: gives the first box of the program the keyboard and presses KEY.
answer_box() {
    local key=$1 pid=${2:-$VF_PROG_PID} w
    w=$(prog_boxes "$pid" | head -1)
    [ -n "$w" ] || return 1
    xdotool windowfocus --sync "$w" >/dev/null 2>&1 || xdotool windowfocus "$w" 2>/dev/null
    xdotool key --clearmodifiers "$key" 2>/dev/null
    wait_for 5 bash -c "! xdotool search --all --onlyvisible --pid $pid --name '^Velmorix2\$' | grep -qx '$w'"
}
prog_stop() {
    [ -n "$VF_PROG_PID" ] && stop_pid "$VF_PROG_PID"
    VF_PROG_PID=
}
prog_kill() {
    kill -KILL "$VF_PROG_PID" 2>/dev/null
    wait "$VF_PROG_PID" 2>/dev/null
    VF_PROG_PID=
    cancel_orphans
}
# A job the killed program had created but not sent its document for waits "job-incoming" in
# the scheduler for good (until its MultipleOperationTimeout): nothing of it prints, its file
# was not put away and prints again. Cancelled, so that the queue can be seen idle.
# Jobs left without their document by a scheduler stopped while it received them, with an id
# up to $1 (the highest id the scheduler knew when it came back; default all): they wait
# "job-incoming", or, when the scheduler was stopped between the job's creation and its
# document, queued with nothing to print. Either waits for good and keeps the scheduler from
# ever being idle.
cancel_orphans() {
    local id most=${1:-}
    for id in $(lpstat -l -o 2>/dev/null |
        awk '/^[^ \t]/ { j = $1; empty = $3 == 0 } /Alerts:/ && (/job-incoming/ || empty) { print j }'); do
        [ -z "$most" ] || [ "${id##*-}" -le "$most" ] || continue
        cancel "$id" 2>/dev/null && say "cancelled $id, left incomplete by the killed program"
    done
}
# The highest job id the scheduler has handed out.
last_job_id() { lpstat -W all -o 2>/dev/null | awk '{ n = $1; sub(/.*-/, "", n); if (n + 0 > m) m = n + 0 } END { print m + 0 }'; }
# Idle once the orphans up to job id $1 are cancelled.
cups_idle_but_orphans() {
    cancel_orphans "$1" >/dev/null
    cups_idle
}
# After a scenario: any job still waiting is shown and cancelled, so that one stuck job cannot
# keep every later scenario from seeing the scheduler idle.
cups_clear() {
    cups_answering || return 0
    cups_idle && return 0
    say "jobs left in the scheduler:"
    lpstat -l -o 2>/dev/null | sed 's/^/    /'
    cancel -a 2>/dev/null
}
prog_alive() { alive "$VF_PROG_PID"; }

# ---------------------------------------------------------------- spool files

# spool_file PATH ID [BODY-BYTES]: marker lines around the body (CR LF line ends).
spool_file() {
    {
        printf 'VFMARK %s BEGIN\r\n' "$2"
        if [ $# -ge 3 ]; then printf '%s' "$3"; else printf 'line of print-out %s\r\n' "$2"; fi
        printf 'VFMARK %s END\r\n' "$2"
    } >"$1"
}
# make_batch FOLDER PREFIX COUNT [BODY-LINES]: REL<n>.TXT files with ids PREFIX-<n>, made in a
# staging folder and moved in at once.
make_batch() {
    local folder=$1 prefix=$2 count=$3 lines=${4:-1} stage i body
    stage=$(mktemp -d "$folder/../stage.XXXXXX")
    body=$(for ((i = 1; i <= lines; i++)); do printf 'body line %04d of the print-out, some text to fill the line\r\n' "$i"; done)
    for ((i = 1; i <= count; i++)); do
        spool_file "$stage/REL$(printf %05d "$i").TXT" "$prefix-$i" "$body"$'\r\n'
    done
    find "$stage" -maxdepth 1 -type f -exec mv -t "$folder" {} +
    rmdir "$stage"
}

# Spool files still waiting: plain files that are not backups, and the hidden copies printed
# print-outs wait under until their jobs are over.
pending_count() { find "$1" -maxdepth 1 -type f ! -iname '*.bak' ! -name '.*' 2>/dev/null | wc -l; }
waiting_count() {
    find "$1" -maxdepth 1 -type f ! -iname '*.bak' \( ! -name '.*' -o -name '.*~*~*~*~*' \) 2>/dev/null | wc -l
}
backups_in() { find "$1" -maxdepth 1 -type f -iname '*.bak' | wc -l; }
no_pending() { [ "$(waiting_count "$1")" -eq 0 ]; }
# Waits until the folder holds no spool file and CUPS has finished every job.
# wait_drained FOLDER SECONDS [ORPHAN-ID]: orphans up to ORPHAN-ID are cancelled on the way.
wait_drained() {
    local folder=$1 limit=$2 orphans=${3:-}
    wait_for "$limit" no_pending "$folder" || return 1
    if [ -n "$orphans" ]; then
        wait_for "$limit" cups_idle_but_orphans "$orphans" && return 0
    else
        wait_for "$limit" cups_idle && return 0
    fi
    say "the scheduler is not idle:"
    lpstat -l -o 2>/dev/null | sed 's/^/    /'
    return 1
}

# ---------------------------------------------------------------- the ledger

# Reads every captured PDF job not read yet into the ledger.
harvest() {
    local f
    # Only the jobs not read yet (a job file is complete once it has its .pdf name).
    while IFS= read -r f; do
        [ -n "$f" ] || continue
        pdftotext -q "$VF_JOBS/$f" - 2>/dev/null | grep -aoE 'VFMARK [^ ]+ (BEGIN|END)' |
            sed "s|^|$f |" >>"$VF_WORK/ledger"
        echo "$f" >>"$VF_WORK/harvested"
    done < <(comm -23 <(find "$VF_JOBS" -maxdepth 1 -name '*.pdf' -printf '%f\n' | LC_ALL=C sort) \
        <(LC_ALL=C sort "$VF_WORK/harvested"))
}
# The raw captures are read whole every time: "raw:<sink>" lines.
raw_markers() {
    local c
    for c in "$VF_WORK"/sinks/*.cap; do
        [ -e "$c" ] || continue
        grep -aoE 'VFMARK [^ ]+ (BEGIN|END)' "$c" | sed "s|^|raw:$(basename "$c" .cap) |"
    done
}
all_markers() {
    harvest
    cat "$VF_WORK/ledger"
    raw_markers
}
# Number of captured prints of one id.
printed_count() { all_markers | grep -cE "VFMARK $1 BEGIN\$" || true; }
jobs_count() { find "$VF_JOBS" -maxdepth 1 -name '*.pdf' | wc -l; }

# evaluate NAME FOLDER PREFIX COUNT [ALLOWED-TWICE]
# Ids PREFIX-1..PREFIX-COUNT. printed: seen at least once; left: not printed and still in the
# folder under a spool name; lost: neither; twice: seen more than once.
evaluate() {
    local name=$1 folder=$2 prefix=$3 count=$4 allowed=${5:-0}
    local seen left partial
    seen=$(all_markers | awk -v p="VFMARK $prefix-" '
        index($0, p) { split($0, f, " "); if (f[4] == "BEGIN") b[f[3]]++; else e[f[3]]++ }
        END { for (k in b) print k, b[k], (k in e ? e[k] : 0) }')
    left=$(find "$folder" -maxdepth 1 -type f \( ! -iname '*.bak' -o -name '*~*~*.bak' \) -print0 2>/dev/null |
        xargs -0r grep -aohE "VFMARK $prefix-[0-9]+ BEGIN" | awk '{print $2}' | sort -u)
    local i id n_printed=0 n_left=0 n_lost=0 n_twice=0 n_partial=0 c e lost_ids=() twice_ids=()
    declare -A pc=() ec=() lf=()
    while read -r id c e; do
        [ -n "$id" ] || continue
        pc[$id]=$c
        ec[$id]=$e
    done <<<"$seen"
    for id in $left; do lf[$id]=1; done
    for ((i = 1; i <= count; i++)); do
        id=$prefix-$i
        c=${pc[$id]:-0}
        if [ "$c" -ge 1 ]; then
            n_printed=$((n_printed + 1))
            [ "$c" -ge 2 ] && { n_twice=$((n_twice + 1)); twice_ids+=("$id"); }
            [ "${ec[$id]:-0}" -lt "$c" ] && n_partial=$((n_partial + 1)) # a print cut short
        elif [ -n "${lf[$id]:-}" ]; then
            n_left=$((n_left + 1))
        else
            n_lost=$((n_lost + 1))
            lost_ids+=("$id")
        fi
    done
    local row
    row=$(printf '%-34s %6d %8d %6d %6d %8d' "$name" "$count" "$n_printed" "$n_left" "$n_lost" "$n_twice")
    VF_ROWS+=("$row")
    printf '  RESULT %s\n' "$row"
    # A print cut short by a kill is the one print that may come again.
    [ $n_partial -le "$allowed" ] || check_fail "$name: $n_partial file(s) printed without their last line"
    [ $n_lost -eq 0 ] || check_fail "$name: lost ${lost_ids[*]:0:10}"
    [ $n_twice -le "$allowed" ] || check_fail "$name: printed twice ${twice_ids[*]:0:10} (at most $allowed allowed)"
    VF_TOTAL_LOST=$((VF_TOTAL_LOST + n_lost))
    VF_TOTAL_TWICE=$((VF_TOTAL_TWICE + n_twice))
    EV_PRINTED=$n_printed EV_LEFT=$n_left EV_LOST=$n_lost EV_TWICE=$n_twice
}

# expect_counts WHAT PRINTED LEFT: what a scenario should end in beyond the promise.
expect_counts() {
    [ "$EV_PRINTED" -eq "$2" ] && [ "$EV_LEFT" -eq "$3" ] ||
        check_fail "$1: expected $2 printed and $3 left, got $EV_PRINTED printed and $EV_LEFT left"
}

# ---------------------------------------------------------------- extended attributes

# The names of a file's extended attributes, one a line (python3, else getfattr).
xattr_names() {
    if command -v python3 >/dev/null; then
        python3 -c 'import os, sys
try:
    print("\n".join(os.listxattr(sys.argv[1], follow_symlinks=False)))
except OSError:
    sys.exit(1)' "$1" 2>/dev/null
    elif command -v getfattr >/dev/null; then
        getfattr -h -m - --absolute-names "$1" 2>/dev/null | sed -n 's/^\([a-z]\)/\1/p' | grep -v '^# '
    else
        return 1
    fi
}
# The program's mark on a printed file it could not rename or delete.
has_printed_mark() { xattr_names "$1" | grep -q 'velmorix2\.printed$'; }
# Whether files in folder $1 can carry a user (or, for root, trusted) extended attribute.
xattr_supported() {
    local f
    f=$(mktemp "$1/.xattr-probe.XXXXXX") || return 1
    command -v python3 >/dev/null && python3 -c 'import os, sys
for name in ("user.velmorix-probe", "trusted.velmorix-probe"):
    try:
        os.setxattr(sys.argv[1], name, b"1")
        sys.exit(0)
    except OSError:
        pass
sys.exit(1)' "$f" 2>/dev/null
    local rc=$?
    rm -f "$f"
    return $rc
}
