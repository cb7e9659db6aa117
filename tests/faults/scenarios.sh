# scenarios.sh - the fault scenarios. Each function sets up its folders, runs the program,
# makes the fault, and ends with one or more evaluate rows. Sourced by run.sh after lib.sh.

new_spool() { # new_spool NAME -> path of an empty spool folder
    local d=$VF_WORK/$1/spool
    mkdir -p "$d"
    chmod 777 "$VF_WORK/$1" "$d"
    echo "$d"
}

# 1. CUPS stopped before a batch, and in the middle of one.
scenario_cups_down() {
    local sp stored
    sp=$(new_spool s1a)
    stored=$(jobs_count) # by the scenarios run before, if any
    cups_down || check_fail "cupsd did not stop"
    prog_start "$sp/*.TXT" VelCap 1 0 ""
    make_batch "$sp" s1a 20
    ticks 2
    [ "$(pending_count "$sp")" -eq 20 ] || check_fail "CUPS down: files were disposed unprinted"
    [ "$(jobs_count)" -eq "$stored" ] || check_fail "CUPS down: jobs appeared"
    cups_up || check_fail "cupsd did not come back"
    wait_drained "$sp" 90 || check_fail "CUPS back: the batch did not print within 90 s"
    prog_alive || check_fail "the program died"
    prog_stop
    evaluate "1a cups stopped before batch" "$sp" s1a 20
    expect_counts "1a" 20 0

    sp=$(new_spool s1b)
    prog_start "$sp/*.TXT" VelCap 1 0 ""
    local before
    before=$(jobs_count)
    local n1b=$VF_MIDBATCH
    make_batch "$sp" s1b "$n1b" 20
    wait_for 60 bash -c "[ \$(find '$sp' -maxdepth 1 -iname '*.bak' | wc -l) -ge $((n1b * 3 / 10)) ]"
    cups_down || check_fail "cupsd did not stop"
    say "1b: cupsd stopped after $(find "$sp" -maxdepth 1 -iname '*.bak' | wc -l) backups, $(($(jobs_count) - before)) jobs stored"
    sleep 1
    cups_up || check_fail "cupsd did not come back"
    # A job whose document the stopped scheduler never received waits "job-incoming" for good;
    # the program did not count it as printed, and prints the file again.
    local orphans
    orphans=$(last_job_id)
    wait_drained "$sp" 120 "$orphans" || check_fail "CUPS back: the rest of the batch did not print within 120 s"
    prog_alive || check_fail "the program died"
    prog_stop
    evaluate "1b cups stopped mid-batch" "$sp" s1b "$n1b"
    expect_counts "1b" "$n1b" 0
}

# 2. The queue disabled, rejecting, deleted, renamed.
scenario_queue_states() {
    local sp
    add_queue FaultQ
    sp=$(new_spool s2a)
    prog_start "$sp/*.TXT" FaultQ 1 0 ""
    cupsdisable FaultQ
    make_batch "$sp" s2a 5
    # A stopped queue would keep the jobs out of sight: the files wait in the folder instead.
    ticks 2
    [ "$(pending_count "$sp")" -eq 5 ] || check_fail "disabled queue: files were disposed"
    local n
    n=$(printed_count 's2a-[0-9]+')
    [ "$n" -eq 0 ] || check_fail "disabled queue: $n printed while disabled"
    say "2a: spool kept while disabled; $(lpstat -o FaultQ | wc -l) jobs wait in the queue"
    cupsenable FaultQ
    wait_drained "$sp" 60 || check_fail "enabled queue: jobs did not finish"
    evaluate "2a queue disabled then enabled" "$sp" s2a 5
    expect_counts "2a" 5 0

    sp=$(new_spool s2b)
    prog_stop
    prog_start "$sp/*.TXT" FaultQ 1 0 ""
    cupsreject FaultQ
    make_batch "$sp" s2b 5
    ticks 2
    [ "$(pending_count "$sp")" -eq 5 ] || check_fail "rejecting queue: files were disposed"
    cupsaccept FaultQ
    wait_drained "$sp" 60 || check_fail "accepting again: files did not print within 60 s"
    evaluate "2b queue rejecting then accepting" "$sp" s2b 5
    expect_counts "2b" 5 0
    prog_stop

    # Deleted while the program runs, then added again under another name.
    sp=$(new_spool s2c)
    prog_start "$sp/*.TXT" FaultQ 1 0 ""
    make_batch "$sp" s2c 2
    wait_drained "$sp" 30 || check_fail "FaultQ did not print"
    lpadmin -x FaultQ
    make_batch "$sp" s2c2 5
    ticks 2
    [ "$(pending_count "$sp")" -eq 5 ] || check_fail "deleted queue: files were disposed"
    add_queue FaultQ2
    ticks 1
    n=$(printed_count 's2c2-[0-9]+')
    say "2c: queue deleted: $(pending_count "$sp") files stay, $n printed (by the default queue?)"
    prog_stop
    # Started again with the new name: the waiting files print there.
    local run=$VF_RUN
    prog_start "$sp/*.TXT" FaultQ2 1 0 ""
    wait_drained "$sp" 60 || check_fail "renamed queue: files did not print"
    prog_stop
    evaluate "2c queue deleted, renamed" "$sp" s2c2 5
    expect_counts "2c" 5 0
    local where
    where=$(grep -E 'VFMARK s2c2-[0-9]+ BEGIN' "$VF_WORK/ledger" | awk '{print $1}' | sed 's/-[0-9]*\.pdf//' | sort | uniq -c | tr '\n' ' ')
    say "2c: printed by queue(s): $where"

    # Started with the name of a queue that no longer exists.
    sp=$(new_spool s2d)
    make_batch "$sp" s2d 3
    prog_start "$sp/*.TXT" FaultQ 1 0 ""
    ticks 2
    wait_for 20 cups_idle
    where=$(all_markers | grep -E 'VFMARK s2d-[0-9]+ BEGIN' | awk '{print $1}' | sed 's/-[0-9]*\.pdf//' | sort | uniq -c | tr '\n' ' ')
    if [ -n "$where" ]; then
        note "2d: settings name queue FaultQ, which does not exist; the files printed on: $where"
    fi
    prog_stop
    evaluate "2d start with a missing queue" "$sp" s2d 3
}

# 3. Raw mode to destinations that do not take the bytes. The four bad destinations run at the
# same time, each its own program and folder; then each folder drains to a good port.
scenario_raw_bad_ports() {
    local sp rodir fifo port stall p_a p_b p_c p_e
    # a) a folder that does not exist
    sp=$(new_spool s3a)
    make_batch "$sp" s3a 3
    prog_start "$sp/*.TXT" VelCap 1 1 "$VF_WORK/no/such/folder/lpt1"
    p_a=$VF_PROG_PID

    # b) no write permission: a read-only file system
    sp=$(new_spool s3b)
    make_batch "$sp" s3b 3
    rodir=$VF_WORK/s3b/ro
    mkdir -p "$rodir"
    if mount -t tmpfs -o ro,size=64k tmpfs "$rodir" 2>/dev/null; then
        VF_MOUNTS+=("$rodir")
        port=$rodir/lpt1
    else
        port=/proc/version
        note "3b: no read-only mount possible; using $port"
    fi
    prog_start "$sp/*.TXT" VelCap 1 1 "$port"
    p_b=$VF_PROG_PID

    # c) a FIFO nobody reads
    sp=$(new_spool s3c)
    make_batch "$sp" s3c 2 3000 # ~200 KB each: more than a pipe holds
    fifo=$VF_WORK/s3c/noreader.fifo
    mkfifo "$fifo"
    prog_start "$sp/*.TXT" VelCap 1 1 "$fifo"
    p_c=$VF_PROG_PID

    # e) a FIFO whose reader never reads: one write that gives up after 10 s
    sp=$(new_spool s3e)
    make_batch "$sp" s3e 2 3000
    fifo=$VF_WORK/s3e/stalled.fifo
    mkfifo "$fifo"
    sleep 600 <>"$fifo" &
    stall=$!
    VF_PIDS+=($stall)
    prog_start "$sp/*.TXT" VelCap 1 1 "$fifo"
    p_e=$VF_PROG_PID

    ticks 2
    alive "$p_a" || check_fail "missing folder: the program died"
    [ "$(pending_count "$VF_WORK/s3a/spool")" -eq 3 ] || check_fail "missing folder: files were disposed"
    alive "$p_b" || check_fail "read-only destination: the program died"
    [ "$(pending_count "$VF_WORK/s3b/spool")" -eq 3 ] || check_fail "read-only destination: files were disposed"
    alive "$p_c" || check_fail "FIFO without reader: the program died"
    [ "$(pending_count "$VF_WORK/s3c/spool")" -eq 2 ] || check_fail "FIFO without reader: files were disposed"
    stop_pid "$p_a"
    stop_pid "$p_b"
    stop_pid "$p_c"

    sleep 10 # the stalled write has given up once
    alive "$p_e" || check_fail "stalled FIFO: the program died"
    [ "$(pending_count "$VF_WORK/s3e/spool")" -eq 2 ] || check_fail "stalled FIFO: files were disposed"
    # Does it still answer? SIGTERM is handled between ticks: it must end within the next attempt.
    kill -TERM "$p_e"
    if wait_for 25 bash -c "! kill -0 $p_e 2>/dev/null || grep -q ') [ZX] ' /proc/$p_e/stat"; then
        say "3e: the program ended on SIGTERM while the FIFO was stalled"
    else
        check_fail "stalled FIFO: the program did not end on SIGTERM within 25 s"
    fi
    stop_pid "$p_e"
    kill -KILL "$stall" 2>/dev/null
    wait "$stall" 2>/dev/null

    # d) settings fixed, programs started again: every file left prints once.
    local d pids=()
    for d in s3a s3b s3c s3e; do
        sink_start "$d"
        prog_start "$VF_WORK/$d/spool/*.TXT" VelCap 1 1 "$VF_SINK"
        pids+=("$VF_PROG_PID")
    done
    for d in s3a s3b s3c s3e; do
        wait_for 30 no_pending "$VF_WORK/$d/spool" || check_fail "$d: files did not print to a good port"
    done
    for d in "${pids[@]}"; do stop_pid "$d"; done
    VF_PROG_PID=
    for d in s3a s3b s3c s3e; do sink_settle "$d"; done
    evaluate "3a raw: missing folder, then fixed" "$VF_WORK/s3a/spool" s3a 3
    expect_counts "3a" 3 0
    evaluate "3b raw: read-only, then fixed" "$VF_WORK/s3b/spool" s3b 3
    expect_counts "3b" 3 0
    evaluate "3c raw: FIFO no reader, then fixed" "$VF_WORK/s3c/spool" s3c 2
    expect_counts "3c" 2 0
    evaluate "3e raw: FIFO stalled, then fixed" "$VF_WORK/s3e/spool" s3e 2
    expect_counts "3e" 2 0
}

# 4. SIGKILL twice in the middle of a batch, then started again.
scenario_kill() {
    local sp sink kills n=$VF_KILL_RAW
    sp=$(new_spool s4a)
    sink_start s4; sink=$VF_SINK
    prog_start "$sp/*.TXT" VelCap 1 1 "$sink"
    make_batch "$sp" s4a "$n" 2000 # ~130 KB each, so that the kills land inside the batch
    kills=0
    local target
    for target in $((n / 4)) $((n * 3 / 5)); do
        # Raw mode is fast: a busy wait on the target's backup (no process per look) lands the
        # kill inside the batch.
        local end=$((SECONDS + 60)) mark
        mark=$sp/REL$(printf %05d "$target").bak
        while [ ! -e "$mark" ] && [ $SECONDS -lt $end ]; do :; done
        prog_kill
        kills=$((kills + 1))
        say "4a: killed after $(find "$sp" -maxdepth 1 -iname '*.bak' | wc -l) backups; leftover temp files: $(find "$VF_RUN/cwd" -name 'temp*' | wc -l)"
        prog_launch
    done
    wait_for 60 no_pending "$sp" || check_fail "raw kill: the batch did not finish"
    prog_stop
    sink_settle s4
    evaluate "4a raw: SIGKILL x$kills in $n" "$sp" s4a "$n" $kills
    expect_counts "4a" "$n" 0

    n=$VF_KILL_GRAPHICAL
    sp=$(new_spool s4b)
    make_batch "$sp" s4b "$n" 40
    prog_start "$sp/*.TXT" VelCap 1 0 ""
    kills=0
    for target in $((n / 4)) $((n * 3 / 5)); do
        wait_for 90 bash -c "[ \$(find '$sp' -maxdepth 1 -iname '*.bak' | wc -l) -ge $target ]"
        prog_kill
        kills=$((kills + 1))
        say "4b: killed after $(find "$sp" -maxdepth 1 -iname '*.bak' | wc -l) backups"
        prog_launch
    done
    # Every file put away means every job of the running program is complete: a job still
    # incoming is one a killed program left (its Create-Job may reach the scheduler late).
    { wait_for 120 no_pending "$sp" && cancel_orphans && wait_for 60 cups_idle; } ||
        check_fail "graphical kill: the batch did not finish"
    prog_stop
    evaluate "4b graphical: SIGKILL x$kills in $n" "$sp" s4b "$n" $kills
    expect_counts "4b" "$n" 0
}
