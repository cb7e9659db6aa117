# scenarios3.sh - more than one program, and print-outs rewritten in place. Sourced by run.sh
# after lib.sh and scenarios.sh.

if [ "${FAULTS_FULL:-0}" = 1 ]; then
    VF_DEF3=(5000 1000 30)
else
    VF_DEF3=(1000 1000 8)
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

# rewrite_file PATH ID BYTES: a spool file of about BYTES bytes, written in place (same inode).
rewrite_file() {
    local body
    body=$(head -c "$3" /dev/zero | tr '\0' 'r' | fold -w 100 | sed 's/$/\r/')
    spool_file "$1" "$2" "$body"$'\n'
}
# Waits (up to 2 s) until the program has the file open.
wait_opened() {
    local i
    for i in $(seq 1 200); do
        ls -l "/proc/$VF_PROG_PID/fd" 2>/dev/null | grep -qF "$1" && return 0
        sleep 0.01
    done
    return 1
}

# 12. Old programs empty a print-out and write a new one under the same name, with the same
# size, larger or smaller, at any moment: before, while or after the file is read and
# printed. Every last version is printed; an earlier one may or may not be.
scenario_rewrites() {
    local sp sink rounds=$VF_REWRITE_ROUNDS r k n=0 size=400000
    sp=$(new_spool s12)
    sink_start s12; sink=$VF_SINK
    prog_start "$sp/*.TXT" VelCap 1 1 "$sink"
    local kinds=(same larger smaller during) writers
    for ((r = 1; r <= rounds; r++)); do
        writers=()
        for k in 0 1 2 3; do
            (
                f=$sp/W${k}R$(printf %03d "$r").TXT
                i=$((r * 4 + k - 3))
                # The first version's id has the length of the last's: same size means same size.
                rewrite_file "$f" "o12-$i" "$size"
                case ${kinds[$k]} in
                same) sleep 0.$((RANDOM % 9 + 1)); rewrite_file "$f" "s12-$i" "$size" ;;
                larger) sleep 0.$((RANDOM % 9 + 1)); rewrite_file "$f" "s12-$i" $((size * 3)) ;;
                smaller) sleep 0.$((RANDOM % 9 + 1)); rewrite_file "$f" "s12-$i" $((size / 3)) ;;
                during) wait_opened "$f"; rewrite_file "$f" "s12-$i" $((size * 2)) ;;
                esac
            ) &
            writers+=($!)
            n=$((n + 1))
        done
        wait "${writers[@]}"
    done
    wait_for 60 no_pending "$sp" || check_fail "rewrites: not drained"
    prog_stop
    sink_settle s12
    say "12: first versions printed: $(raw_markers | grep -c 'VFMARK o12-.* BEGIN') of $n"
    evaluate "12 raw: rewritten in place ($n)" "$sp" s12 "$n"
    expect_counts "12" "$n" 0
}

# 13. Two programs on one folder: each file is printed by one of them, once.
scenario_two_programs() {
    local n=$VF_TWO_PROGRAMS sp sink pida
    sp=$(new_spool s13)
    sink_start s13; sink=$VF_SINK
    prog_start "$sp/*.TXT" VelCap 1 1 "$sink"
    pida=$VF_PROG_PID
    prog_start "$sp/*.TXT" VelCap 0 1 "$sink"
    # Files large enough that the drain outlasts a tick of each program.
    make_batch "$sp" s13 "$n" 1000
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
