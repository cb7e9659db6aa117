#!/bin/bash
# Jobs the scheduler loses track of: a print-out is never put away on a guess. Each scenario
# ends with the device working and checks that every print-out came out at least once.
# shellcheck disable=SC2154

# jobs_service LOCAL QUEUE BACKUP: the program in service mode on a fresh run folder, its log in
# $VF_RUN/program.log; jobs_relaunch starts it again on the same folder.
jobs_service() { service_start "$1" "$2" "$3" 0 ""; }
jobs_relaunch() { service_relaunch; }
# The print-outs kept because their jobs were forgotten: backups named after their jobs.
kept_count() { find "$1" -maxdepth 1 -type f -name '*~*~*.bak' | wc -l; }

# Sets a scheduler directive in the sandbox's cupsd.conf and restarts the scheduler.
cups_directive() {
    local conf=$CUPS_SANDBOX_DIR/etc/cupsd.conf
    sed -i "/^$1 /d" "$conf"
    echo "$1 $2" >>"$conf"
    cups_down && cups_up || check_fail "the scheduler did not restart with $1 $2"
}

# 25. a) A job history smaller than the burst, and a device that fails for its first seconds:
# the scheduler aborts jobs, then purges them from its history to make room for new ones.
# b) No job history at all and a device that aborts every job: each job is forgotten the
# moment it ends. A print-out whose job was forgotten is kept under a backup name of its own
# (REL.TXT~QUEUE~ID.bak) and told, never deleted nor printed again on a guess. c) A queue whose device fails late, after the job ran for a while.
# d) The scheduler killed while jobs wait, losing them, and numbering its jobs from 1 again.
# It runs last: the jobs stored after it reuse the numbers, and names, of earlier ones.
scenario_jobs_forgotten() {
    local q sp n=${FAULTS_MAXJOBS_FILES:-60} limit=${FAULTS_MAXJOBS:-20}

    q=Purged
    cups_directive MaxJobs "$limit"
    flaky_queue "$q" abort-job
    sp=$(new_spool s25a)
    jobs_service "$sp/*.TXT" "$q" 0
    make_batch "$sp" s25a "$n"
    sleep 3
    rm -f "$VF_JOBS/.fail-$q"
    wait_drained "$sp" 240 || check_fail "25a: not drained"
    prog_stop
    say "25a: $(kept_count "$sp") print-outs kept, their jobs forgotten"
    evaluate "25a MaxJobs $limit, device failing 3 s ($n)" "$sp" s25a "$n"
    [ $((EV_PRINTED + EV_LEFT)) -eq "$n" ] || check_fail "25a: $EV_PRINTED printed and $EV_LEFT kept of $n"

    q=NoHistory
    cups_directive MaxJobs 0
    cups_directive PreserveJobHistory No
    flaky_queue "$q" abort-job
    sp=$(new_spool s25b)
    jobs_service "$sp/*.TXT" "$q" 1
    make_batch "$sp" s25b 5
    wait_for 30 bash -c "[ \$(grep -c 'trabalho desconhecido pelo servidor' '$VF_RUN/program.log') -ge 5 ]" ||
        check_fail "25b: the forgotten jobs were not told"
    rm -f "$VF_JOBS/.fail-$q"
    wait_drained "$sp" 30 || check_fail "25b: print-outs still waiting"
    prog_stop
    [ "$(kept_count "$sp")" -eq 5 ] || check_fail "25b: $(kept_count "$sp") print-outs kept of 5"
    evaluate "25b no job history, aborting device (5)" "$sp" s25b 5
    expect_counts "25b" 0 5
    cups_directive PreserveJobHistory Yes

    q=LateAbort
    flaky_queue "$q" abort-job
    rm -f "$VF_JOBS/.fail-$q"
    touch "$VF_JOBS/.late-$q"
    sp=$(new_spool s25c)
    jobs_service "$sp/*.TXT" "$q" 0
    make_batch "$sp" s25c 3
    wait_for 30 grep -q 'não impresso (trabalho abortado)' "$VF_RUN/program.log" ||
        check_fail "25c: the late abort was not seen"
    rm -f "$VF_JOBS/.late-$q"
    wait_drained "$sp" 90 || check_fail "25c: not drained once the device works"
    prog_stop
    evaluate "25c device failing late (3)" "$sp" s25c 3
    expect_counts "25c" 3 0

    q=Held
    add_queue "$q"
    lpadmin -p "$q" -o job-hold-until-default=indefinite
    sp=$(new_spool s25d)
    jobs_service "$sp/*.TXT" "$q" 0
    make_batch "$sp" s25d 5
    wait_for 30 bash -c "[ \$(lpstat -o $q | wc -l) -ge 5 ]" || check_fail "25d: the jobs were not held"
    prog_stop
    # Killed before it wrote its jobs down: they are gone, and its numbering starts again.
    kill -KILL "$(cups_pid)"
    sleep 0.5
    rm -f "$CUPS_SANDBOX_DIR"/spool/c* "$CUPS_SANDBOX_DIR"/spool/d* "$CUPS_SANDBOX_DIR"/cache/job.cache
    rm -f "$CUPS_SANDBOX_DIR/run/cupsd.pid"
    cups_up || check_fail "25d: the scheduler did not start again"
    lpadmin -p "$q" -o job-hold-until-default=no-hold
    jobs_relaunch
    wait_drained "$sp" 60 || check_fail "25d: print-outs still waiting after the scheduler lost their jobs"
    prog_stop
    [ "$(grep -c 'trabalho desconhecido pelo servidor' "$VF_RUN/program.log")" -ge 5 ] ||
        check_fail "25d: the lost jobs were not told"
    evaluate "25d scheduler killed, jobs lost (5)" "$sp" s25d 5
    expect_counts "25d" 0 5
}
