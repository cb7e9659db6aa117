# scenarios3.sh - more than one program, print-outs rewritten in place, and jobs the printer fails. Sourced by run.sh
# after lib.sh and scenarios.sh.

if [ "${FAULTS_FULL:-0}" = 1 ]; then
    VF_DEF3=(5000 1000 25)
else
    VF_DEF3=(1000 1000 5)
fi
VF_SHARED_CWD=${FAULTS_SHARED_CWD:-${VF_DEF3[0]}}
VF_TWO_PROGRAMS=${FAULTS_TWO_PROGRAMS:-${VF_DEF3[1]}}
VF_REWRITE_ROUNDS=${FAULTS_REWRITE_ROUNDS:-${VF_DEF3[2]}}

# 11. Two programs, raw, started from the same working folder, each with its own spool folder
# and port: every port receives exactly its own files, and no temporary file stays behind.
scenario_shared_cwd() {
    local n=$VF_SHARED_CWD spa spb sinka sinkb pida cwd
    spa=$(new_spool s11a)
    spb=$(new_spool s11b)
    sink_start s11a; sinka=$VF_SINK
    sink_start s11b; sinkb=$VF_SINK
    prog_start "$spa/*.TXT" VelCap 1 1 "$sinka"
    pida=$VF_PROG_PID
    cwd=$VF_RUN/cwd
    # The next program's working folder is the same folder.
    mkdir -p "$VF_WORK/run$((VF_RUN_N + 1))"
    ln -s "$cwd" "$VF_WORK/run$((VF_RUN_N + 1))/cwd"
    prog_start "$spb/*.TXT" VelCap 1 1 "$sinkb"
    make_batch "$spa" s11a "$n" 20 &
    local maker=$!
    make_batch "$spb" s11b "$n" 20
    wait "$maker"
    wait_for 300 no_pending "$spa" || check_fail "shared working folder: the first folder did not drain"
    wait_for 300 no_pending "$spb" || check_fail "shared working folder: the second folder did not drain"
    stop_pid "$pida"
    prog_stop
    sink_settle s11a
    sink_settle s11b
    local wrong
    wrong=$(( $(grep -ac 'VFMARK s11b-' "$VF_WORK/sinks/s11a.cap") + $(grep -ac 'VFMARK s11a-' "$VF_WORK/sinks/s11b.cap") ))
    [ "$wrong" -eq 0 ] || check_fail "shared working folder: $wrong marker(s) reached the other program's port"
    [ -z "$(find "$cwd" -name 'temp*')" ] || check_fail "shared working folder: temporary files left: $(ls "$cwd" | head -5)"
    evaluate "11a raw, shared working folder ($n)" "$spa" s11a "$n"
    expect_counts "11a" "$n" 0
    evaluate "11b raw, shared working folder ($n)" "$spb" s11b "$n"
    expect_counts "11b" "$n" 0
}

# slow_sink_start NAME: like sink_start, but the reader takes about 5 MB a second, so a raw job
# lasts long enough for something to happen while it prints.
slow_sink_start() {
    local name=$1
    mkfifo "$VF_WORK/sinks/$name.fifo"
    : >"$VF_WORK/sinks/$name.cap"
    chmod 666 "$VF_WORK/sinks/$name.fifo" "$VF_WORK/sinks/$name.cap"
    # A dd waiting for bytes when the suite ends goes with its timeout.
    (while :; do timeout 2 dd bs=64k count=1 status=none; sleep 0.01; done) <>"$VF_WORK/sinks/$name.fifo" \
        >>"$VF_WORK/sinks/$name.cap" 2>/dev/null &
    VF_PIDS+=($!)
    VF_SINK=$VF_WORK/sinks/$name.fifo
}

# rewrite_file PATH ID BYTES: a spool file of about BYTES bytes, written in place (same inode).
rewrite_file() {
    local body
    body=$(head -c "$3" /dev/zero | tr '\0' 'r' | fold -w 100 | sed 's/$/\r/')
    spool_file "$1" "$2" "$body"$'\n'
}
# spin_for SECONDS COMMAND...: like wait_for, looking every few milliseconds.
spin_for() {
    local end=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.002
    done
}
# program_has_open FILE: the running program has the file open.
program_has_open() { ls -l "/proc/$VF_PROG_PID/fd" 2>/dev/null | grep -qF "$1"; }
# raw_job_holds MIN MAX: the running program has a raw job's temporary file of MIN to MAX bytes.
raw_job_holds() {
    [ -n "$(find "$VF_RUN/cwd/" -maxdepth 1 -name 'temp*.BAK' -size "+$(($1 - 1))c" -size "-$(($2 + 1))c" -print -quit)" ]
}

# 12. Old programs empty a print-out and write a new one under the same name, with the same
# size, larger or smaller, while the first is printed (raw, to a slow port), or while it is
# read. Every last version is printed, once; the first may or may not be.
scenario_rewrites() {
    local sp sink rounds=$VF_REWRITE_ROUNDS r k i=0 f first size=400000 caught=0
    sp=$(new_spool s12)
    slow_sink_start s12; sink=$VF_SINK
    prog_start "$sp/*.TXT" VelCap 1 1 "$sink"
    local kinds=(same larger smaller during) sizes=($size $((size * 3)) $((size / 3)) $((size * 2)))
    for ((r = 1; r <= rounds; r++)); do
        for k in 0 1 2 3; do
            i=$((i + 1))
            f=$sp/W${k}R$(printf %03d "$r").TXT
            # The first version's id has the length of the last's: same size means same size.
            # Read: the temporary file is being written; printed: it is whole and goes to the port.
            if [ "${kinds[$k]}" = during ]; then
                rewrite_file "$f" "o12-$i" $((size * 20))
                first=$(stat -c %s "$f")
                spin_for 5 raw_job_holds 1 $((first - 1)) && caught=$((caught + 1))
            else
                rewrite_file "$f" "o12-$i" "$size"
                first=$(stat -c %s "$f")
                spin_for 5 raw_job_holds "$first" "$first" && caught=$((caught + 1))
            fi
            rewrite_file "$f" "s12-$i" "${sizes[$k]}"
            wait_for 30 bash -c "[ ! -e '$f' ]"
        done
    done
    wait_for 60 no_pending "$sp" || check_fail "rewrites: not drained"
    prog_stop
    sink_settle s12
    say "12: $caught of $i rewrites landed while the first version was read or printed; first versions printed: $(raw_markers | grep -c 'VFMARK o12-.* BEGIN')"
    evaluate "12 raw: rewritten in place ($i)" "$sp" s12 "$i"
    expect_counts "12" "$i" 0
}

# 13. Two programs on one folder: each file is printed by one of them, once.
scenario_two_programs() {
    local n=$VF_TWO_PROGRAMS sp sink pida
    sp=$(new_spool s13)
    slow_sink_start s13; sink=$VF_SINK
    prog_start "$sp/*.TXT" VelCap 1 1 "$sink"
    pida=$VF_PROG_PID
    prog_start "$sp/*.TXT" VelCap 0 1 "$sink"
    ticks 2 # both watching
    # Files and a port slow enough that the drain outlasts a few ticks of each program.
    make_batch "$sp" s13 "$n" 400
    wait_for 120 no_pending "$sp" || check_fail "two programs: not drained"
    stop_pid "$pida"
    prog_stop
    sink_settle s13
    local first
    first=$(backups_in "$sp")
    say "13: $first backed up by the first program, the rest deleted by the second"
    [ "$first" -gt 0 ] && [ "$first" -lt "$n" ] || note "13: one program printed everything: the two did not meet"
    evaluate "13 raw: two programs, one folder ($n)" "$sp" s13 "$n"
    expect_counts "13" "$n" 0
}

# A backend that fails after reading the job while the flag file jobs/.fail-QUEUE exists (or
# 3 s later while jobs/.late-QUEUE exists), and otherwise stores the job as velcap does. Owned by root and 0700, so cupsd runs it as root.
flaky_backend() {
    local b=$CUPS_SANDBOX_DIR/lib/backend/velflaky
    [ -e "$b" ] && return 0
    cat >"$b" <<'SH'
#!/bin/sh
[ $# -eq 0 ] && { echo 'direct velflaky "Unknown" "Fails while a flag file exists"'; exit 0; }
dir=${DEVICE_URI#velflaky:}; dir=/${dir#"${dir%%[!/]*}"}
if [ -e "$dir/.fail-$PRINTER" ] || [ -e "$dir/.late-$PRINTER" ]; then
    if [ $# -ge 6 ]; then cat "$6"; else cat; fi >/dev/null
    [ -e "$dir/.late-$PRINTER" ] && sleep 3
    echo "ERROR: the device failed" >&2
    exit 1
fi
DEVICE_URI=velcap:$dir exec "$(dirname "$0")/velcap" "$@"
SH
    chmod 0700 "$b"
}
# flaky_queue NAME POLICY: a PDF queue on the failing backend, failing from now on.
flaky_queue() {
    flaky_backend
    lpadmin -p "$1" -E -v "velflaky:$VF_JOBS" -P "$CUPS_SANDBOX_DIR/etc/vel-pdf.ppd" \
        -o printer-error-policy="$2" 2>&1 | grep -v deprecated || true
    touch "$VF_JOBS/.fail-$1"
}
jobs_seen() { lpstat -W all -o "$1" 2>/dev/null | wc -l; }
# The files of ids PREFIX-1..N are all in the folder, as spool files, waiting copies or backups.
all_kept() {
    [ "$(cat "$1"/* "$1"/.[!.]* 2>/dev/null | grep -ac "VFMARK $2-[0-9]* BEGIN")" -ge "$3" ]
}

# 14. A queue whose device fails after taking the job. With the error policy abort-job, CUPS
# aborts each job: the files stay (deletion) or come back from their backups, and print when
# the device works again, once. With stop-printer, the queue stops and keeps the job: the file
# waits, undeleted, until the queue is enabled.
scenario_job_outcomes() {
    local mode q sp n=3
    for mode in 0 1; do
        q=FlakyAbort$mode
        flaky_queue "$q" abort-job
        sp=$(new_spool s14$mode)
        prog_start "$sp/*.TXT" "$q" "$mode" 0 ""
        make_batch "$sp" s14$mode $n
        wait_for 30 bash -c "[ \$(lpstat -W all -o $q 2>/dev/null | wc -l) -ge $n ] && [ -z \"\$(lpstat -o $q)\" ]" ||
            check_fail "14 mode $mode: the jobs were not aborted"
        ticks 2
        all_kept "$sp" s14$mode $n || check_fail "14 mode $mode: a file whose job was aborted is gone"
        [ "$(waiting_count "$sp")" -eq $n ] ||
            check_fail "14 mode $mode: $(waiting_count "$sp") of $n print-outs waiting after their jobs were aborted"
        say "14 mode $mode: $(jobs_seen "$q") jobs aborted, $(waiting_count "$sp") print-outs waiting"
        rm -f "$VF_JOBS/.fail-$q"
        wait_drained "$sp" 90 || check_fail "14 mode $mode: not drained once the device works"
        prog_stop
        [ "$(backups_in "$sp")" -eq $((mode * n)) ] || check_fail "14 mode $mode: $(backups_in "$sp") backups"
        evaluate "14$mode aborted jobs, backup=$mode ($n)" "$sp" s14$mode $n
        expect_counts "14$mode" $n 0
    done

    q=FlakyStop
    flaky_queue "$q" stop-printer
    sp=$(new_spool s14s)
    prog_start "$sp/*.TXT" "$q" 0 0 ""
    make_batch "$sp" s14s $n
    wait_for 30 bash -c "lpstat -p $q | grep -q disabled" || check_fail "14s: the queue did not stop"
    ticks 3
    [ "$(waiting_count "$sp")" -eq $n ] || check_fail "14s: print-outs deleted while the queue is stopped"
    say "14s: queue stopped, $(lpstat -o "$q" | wc -l) jobs in it, $(waiting_count "$sp") print-outs waiting"
    rm -f "$VF_JOBS/.fail-$q"
    cupsenable "$q"
    wait_drained "$sp" 90 || check_fail "14s: not drained once the queue is enabled"
    prog_stop
    evaluate "14s stop-printer, then enabled ($n)" "$sp" s14s $n
    expect_counts "14s" $n 0
}
