# scenarios_cups.sh - a print server that takes requests and never answers. Sourced by run.sh
# after lib.sh and scenarios.sh.

prog_gone() { ! prog_alive; }

# 24. cupsd stopped with SIGSTOP while graphical files wait: the program is inside a request that
# gets no answer, yet SIGTERM ends it within a few seconds, and the files it did not hand over
# stay. Once cupsd goes on and the program starts again, every file prints once.
scenario_cups_hung() {
    local sp pid n=5 t0 took
    sp=$(new_spool s24)
    prog_start "$sp/*.TXT" VelCap 1 0 ""
    pid=$(cups_pid)
    kill -STOP "$pid" || check_fail "24: cupsd could not be stopped"
    make_batch "$sp" s24 $n
    ticks 2
    t0=$(date +%s%N)
    kill -TERM "$VF_PROG_PID"
    if wait_for 5 prog_gone; then
        took=$((($(date +%s%N) - t0) / 1000000))
        say "24: ended $took ms after SIGTERM; $(pending_count "$sp") of $n files waiting"
    else
        check_fail "24: the program did not end within 5 s of SIGTERM while cupsd hung"
    fi
    prog_stop
    [ "$(pending_count "$sp")" -eq $n ] ||
        check_fail "24: $(pending_count "$sp") of $n files left while cupsd hung"
    kill -CONT "$pid"
    wait_for 10 cups_answering || check_fail "24: cupsd did not answer again"
    # What a request given up left in the scheduler never prints; cancelled, so the queue idles.
    cancel_orphans
    prog_launch
    wait_drained "$sp" 60 || check_fail "24: not drained once cupsd goes on"
    prog_alive || check_fail "24: the program died"
    prog_stop
    evaluate "24 cupsd hung, SIGTERM, restart ($n)" "$sp" s24 $n
    expect_counts "24" $n 0
}
