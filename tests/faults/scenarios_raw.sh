# scenarios_raw.sh - raw devices that are slow, that stall halfway, and that are missing.
# Sourced by run.sh after lib.sh and scenarios.sh (new_spool).

# prog_service LOCAL PORTA: the program in service mode, raw to PORTA with backups; its log
# lines go to $VF_RUN/program.log as they happen.
prog_service() { service_start "$1" VelCap 1 1 "$2"; }

# big_spool PATH ID LINES: a print-out of LINES lines of 80 bytes, CR LF after each, so that
# the bytes raw mode sends are the file's own; made beside and moved in whole.
big_spool() {
    {
        printf 'VFMARK %s BEGIN\r\n' "$2"
        awk -v n="$3" 'BEGIN { for (i = 1; i <= n; i++)
            printf "line %06d of a long print-out for a slow dot-matrix printer, eighty bytes.\r\n", i }'
        printf 'VFMARK %s END\r\n' "$2"
    } >"$1.part"
    mv "$1.part" "$1"
}

# slow_sink NAME BITE EVERY [PAUSE-AFTER PAUSE-SECONDS]: a FIFO whose reader takes up to BITE
# bytes every EVERY seconds, a slow printer; it holds a writer of its own, as sink_start's does,
# so it never sees an end. With PAUSE-AFTER it stops reading for PAUSE-SECONDS once it has taken that many
# bytes, a printer out of paper until someone fills it. Captures into sinks/NAME.cap; sets
# VF_SINK (the FIFO) and VF_SINK_READER.
slow_sink() {
    local name=$1 bite=$2 every=$3 after=${4:-0} pause=${5:-0}
    local fifo=$VF_WORK/sinks/$name.fifo cap=$VF_WORK/sinks/$name.cap
    mkfifo "$fifo"
    : >"$cap"
    chmod 666 "$fifo" "$cap"
    (
        exec 3<>"$fifo"
        paused=0
        while :; do
            dd bs="$bite" count=1 status=none <&3 >>"$cap"
            if [ "$after" -gt 0 ] && [ $paused = 0 ] && [ "$(stat -c %s "$cap")" -ge "$after" ]; then
                echo "paused at $(stat -c %s "$cap") bytes" >"$VF_WORK/sinks/$name.paused"
                sleep "$pause"
                paused=1
            fi
            sleep "$every"
        done
    ) &
    VF_SINK_READER=$!
    VF_PIDS+=("$VF_SINK_READER")
    VF_SINK=$fifo
}
# Ends a slow_sink reader: held still, its dd or sleep ended, then itself.
slow_sink_stop() {
    local reader=$1 child
    kill -STOP "$reader" 2>/dev/null
    for child in $(pgrep -P "$reader"); do kill -KILL "$child" 2>/dev/null; done
    kill -KILL "$reader" 2>/dev/null
    wait "$reader" 2>/dev/null
}
cap_size() { stat -c %s "$VF_WORK/sinks/$1.cap"; }

# Checks common to a print-out that went to a raw sink: it was backed up once, and the sink holds
# its bytes exactly once.
raw_once() {
    local what=$1 sp=$2 sink=$3
    [ "$(backups_in "$sp")" -eq 1 ] || check_fail "$what: $(backups_in "$sp") backups, expected 1"
    cmp -s "$VF_WORK/sinks/$sink.cap" "$sp/REL.bak" ||
        check_fail "$what: the device got $(cap_size "$sink") bytes, not the $(stat -c %s "$sp/REL.bak") of the print-out once"
}

# A dot-matrix printer at about 20 KB/s and a print-out of about 600 KB: half a minute of
# printing, always taking bytes, is not a stall. It prints once and is backed up once.
scenario_raw_slow_device() {
    local sp reader size t0
    sp=$(new_spool rslow)
    slow_sink rslow 8192 0.4
    reader=$VF_SINK_READER
    big_spool "$sp/REL.TXT" rslow-1 7500
    size=$(stat -c %s "$sp/REL.TXT")
    t0=$SECONDS
    prog_service "$sp/*.TXT" "$VF_SINK"
    wait_for 50 no_pending "$sp" || check_fail "slow device: not printed within 50 s"
    wait_for 10 bash -c "[ \$(stat -c %s '$VF_WORK/sinks/rslow.cap') -ge $size ]"
    say "the device took $(cap_size rslow) bytes in $((SECONDS - t0)) s"
    prog_stop
    slow_sink_stop "$reader"
    grep -q 'não impresso' "$VF_RUN/program.log" &&
        check_fail "slow device: given up on: $(grep -m1 'não impresso' "$VF_RUN/program.log")"
    evaluate "raw: slow device, 20 KB/s 600 KB" "$sp" rslow 1
    expect_counts "slow device" 1 0
    raw_once "slow device" "$sp" rslow
}

# A printer that stops taking bytes halfway (out of paper) for longer than the time limit, and
# then goes on: the print-out waits, says how much went, and its next attempt sends only the
# rest, so the device gets every byte once.
scenario_raw_stalled_device() {
    local sp reader
    sp=$(new_spool rstall)
    slow_sink rstall 65536 0.05 100000 14
    reader=$VF_SINK_READER
    big_spool "$sp/REL.TXT" rstall-1 4000
    prog_service "$sp/*.TXT" "$VF_SINK"
    wait_for 45 no_pending "$sp" || check_fail "stalled device: not printed within 45 s"
    sink_settle rstall
    prog_stop
    slow_sink_stop "$reader"
    [ -e "$VF_WORK/sinks/rstall.paused" ] || check_fail "stalled device: the reader never paused"
    grep -qE 'REL.TXT não impresso \(tempo esgotado, [1-9][0-9]* de [0-9]+ bytes enviados\)' "$VF_RUN/program.log" ||
        check_fail "stalled device: the log does not show the wait with what went"
    say "$(grep -m1 'não impresso' "$VF_RUN/program.log")"
    evaluate "raw: device stalled halfway" "$sp" rstall 1
    expect_counts "stalled device" 1 0
    raw_once "stalled device" "$sp" rstall
}

# A device path that is not there (a USB printer unplugged): nothing is made in its place, the
# files wait, and print once each when the device appears.
scenario_raw_missing_device() {
    local sp port
    sp=$(new_spool rmiss)
    port=$VF_WORK/rmiss/lp0
    make_batch "$sp" rmiss 2
    prog_service "$sp/*.TXT" "$port"
    ticks 2
    [ -e "$port" ] || [ -L "$port" ] && check_fail "missing device: $port was made ($(stat -c %F "$port"))"
    [ "$(pending_count "$sp")" -eq 2 ] || check_fail "missing device: files were disposed"
    grep -q 'não impresso (dispositivo inexistente)' "$VF_RUN/program.log" ||
        check_fail "missing device: the log does not say the device is missing"
    # The printer is plugged in: its device appears.
    mkfifo "$port"
    : >"$VF_WORK/sinks/rmiss.cap"
    cat <>"$port" >>"$VF_WORK/sinks/rmiss.cap" &
    VF_PIDS+=($!)
    wait_for 40 no_pending "$sp" || check_fail "missing device: not printed within 40 s of its appearing"
    sink_settle rmiss
    prog_stop
    evaluate "raw: missing device, then there" "$sp" rmiss 2
    expect_counts "missing device" 2 0
    [ "$(backups_in "$sp")" -eq 2 ] || check_fail "missing device: $(backups_in "$sp") backups, expected 2"
}
