# scenarios_appends.sh - writers that append to a spool file while it is printed and put away.
# Sourced by run.sh after lib.sh and scenarios.sh.

VF_APPEND_PARTS=${FAULTS_APPEND_PARTS:-120}
VF_APPEND_PARTS_GRAPHICAL=${FAULTS_APPEND_PARTS_GRAPHICAL:-40}

# append_parts FILE PREFIX COUNT PAUSE: one part a time, each through its own ">>" (the file is
# opened by its name, written and closed again), PAUSE seconds apart.
append_parts() {
    local file=$1 prefix=$2 count=$3 pause=$4 i
    for ((i = 1; i <= count; i++)); do
        printf 'VFMARK %s-%d BEGIN\r\npart %d\r\nVFMARK %s-%d END\r\n' "$prefix" "$i" "$i" "$prefix" "$i" >>"$file"
        sleep "$pause"
    done
}

# appends_case ID BACKUP RAW COUNT PAUSE: a fresh program and folder, one appending writer.
appends_case() {
    local id=$1 backup=$2 raw=$3 count=$4 pause=$5 sp sink= mode what
    sp=$(new_spool "$id")
    if [ "$raw" = 1 ]; then
        sink_start "$id"
        sink=$VF_SINK
    fi
    prog_start "$sp/*.TXT" VelCap "$backup" "$raw" "$sink"
    append_parts "$sp/APPEND.TXT" "$id" "$count" "$pause"
    wait_drained "$sp" 40 || check_fail "$id: the appended file was not put away"
    prog_stop
    [ "$raw" = 1 ] && sink_settle "$id"
    [ "$raw" = 1 ] && mode=raw || mode=graphical
    [ "$backup" = 1 ] && what=backup || what=delete
    evaluate "$id $mode $what: >> every ${pause}s (x$count)" "$sp" "$id" "$count"
    expect_counts "$id" "$count" 0
    if [ "$backup" = 0 ] && [ "$(backups_in "$sp")" -ne 0 ]; then
        check_fail "$id: backups made with BACKUP = 0"
    fi
}

# holder_case ID BACKUP RAW: a writer that keeps the file open and writes a part every 50 ms for
# three seconds; while it holds the file, the file must stay under its name.
holder_case() {
    local id=$1 backup=$2 raw=$3 sp sink= mode what count=60
    sp=$(new_spool "$id")
    if [ "$raw" = 1 ]; then
        sink_start "$id"
        sink=$VF_SINK
    fi
    prog_start "$sp/*.TXT" VelCap "$backup" "$raw" "$sink"
    local file=$sp/HELD.TXT moved=$VF_WORK/$id/moved
    (
        exec 3>"$file"
        for ((i = 1; i <= count; i++)); do
            printf 'VFMARK %s-%d BEGIN\r\npart %d\r\nVFMARK %s-%d END\r\n' "$id" "$i" "$i" "$id" "$i" >&3
            # The name must still be the file this writer holds.
            [ "$file" -ef "/proc/$BASHPID/fd/3" ] || echo "part $i" >>"$moved"
            sleep 0.05
        done
        exec 3>&-
    )
    wait_drained "$sp" 40 || check_fail "$id: the held file was not put away after it was closed"
    prog_stop
    [ "$raw" = 1 ] && sink_settle "$id"
    [ -s "$moved" ] && check_fail "$id: put away while its writer held it open ($(head -1 "$moved"))"
    [ "$raw" = 1 ] && mode=raw || mode=graphical
    [ "$backup" = 1 ] && what=backup || what=delete
    evaluate "$id $mode $what: held open (x$count)" "$sp" "$id" "$count"
    expect_counts "$id" "$count" 0
    local jobs
    jobs=$(all_markers | grep -E "VFMARK $id-1 BEGIN\$" | awk '{print $1}' | sort -u | wc -l)
    [ "$jobs" -le 1 ] || check_fail "$id: printed before its writer closed it"
}

# 26. Appending writers: every part appended while the file is printed and put away is printed
# once, in delete and backup mode, raw and graphical; and a file held open is never put away.
scenario_appends() {
    appends_case s26a 1 1 "$VF_APPEND_PARTS" 0.01
    appends_case s26b 0 1 "$VF_APPEND_PARTS" 0.01
    appends_case s26c 1 0 "$VF_APPEND_PARTS_GRAPHICAL" 0.02
    appends_case s26d 0 0 "$VF_APPEND_PARTS_GRAPHICAL" 0.02
    holder_case s26e 1 1
    holder_case s26f 0 0
}
