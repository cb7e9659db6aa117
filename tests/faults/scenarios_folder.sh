# scenarios_folder.sh - the watched folder and the log against a hostile user: the folder swapped
# for a link, the folder renamed away and made anew, and file names that would forge log lines.
# Sourced by run.sh after lib.sh and scenarios.sh.

# prog_start_service LOCAL: the program in service mode, graphical on VelCap with backups, its
# standard output in $VF_RUN/program.log, written as for the journal (a level in "<N>" at the
# start of each line): JOURNAL_STREAM names that file.
prog_start_service() { VF_JOURNAL=1 service_start "$1" VelCap 1 0 ""; }
# log_count TEXT: lines of the running program's log holding TEXT.
log_count() { grep -cF -- "$1" "$VF_RUN/program.log"; }

# 20. The watched folder replaced by a link to a folder the program can read: nothing there is
# printed or renamed, the log tells it once, and the folder made again is read again.
scenario_folder_link_swap() {
    local sp victim
    sp=$(new_spool s20)
    victim=$VF_WORK/s20/victim
    mkdir "$victim"
    spool_file "$victim/PRIVATE.TXT" s20x-1
    make_batch "$sp" s20 1
    prog_start_service "$sp/*.TXT"
    wait_for 20 no_pending "$sp" || check_fail "20: the first file did not print"
    rm -rf "$sp"
    ln -s victim "$sp"
    ticks 3
    wait_for 20 cups_idle
    [ -f "$victim/PRIVATE.TXT" ] && [ "$(ls "$victim")" = PRIVATE.TXT ] ||
        check_fail "20: the file in the folder behind the link was renamed: $(ls "$victim")"
    [ "$(log_count "Pasta $sp é um link simbólico")" -eq 1 ] ||
        check_fail "20: the log did not tell once that the folder is a link"
    rm "$sp"
    mkdir "$sp"
    chmod 777 "$sp"
    spool_file "$sp/AGAIN.TXT" s20-2
    wait_for 20 no_pending "$sp" || check_fail "20: the folder made again was not read"
    [ "$(log_count "Pasta $sp lida de novo")" -eq 1 ] || check_fail "20: the log did not tell the folder is back"
    prog_stop
    [ "$(printed_count 's20x-1')" -eq 0 ] || check_fail "20: the file in the folder behind the link was printed"
    evaluate "20 folder swapped for a link" "$sp" s20 2
    expect_counts "20" 2 0
}

# 23. A file name holding a line feed, a forged log line with a journal level, and a terminal
# sequence: the file prints once, and each log line about it is one line, the name escaped.
scenario_folder_log_names() {
    local sp name log
    sp=$(new_spool s23)
    name=$'NOTA\e[2J.TXT\n<3>Arquivo NOTA_FISCAL_0042.TXT não impresso (fila parada)'
    spool_file "$sp/$name" s23-1
    prog_start_service "$sp/*"
    wait_for 20 no_pending "$sp" || check_fail "23: the file did not print"
    wait_for 20 cups_idle
    prog_stop
    log=$VF_RUN/program.log
    # Printed, then backed up: two lines, each whole.
    [ "$(log_count 'NOTA\x1B[2J.TXT\x0A<3>Arquivo NOTA_FISCAL_0042.TXT não impresso (fila parada) impresso')" -eq 2 ] ||
        check_fail "23: the log does not show the name escaped on one line"
    grep -q '^<3>Arquivo NOTA_FISCAL' "$log" && check_fail "23: the name forged a log line"
    grep -qv '^<[0-7]>' "$log" && check_fail "23: a log line without its level: $(grep -v '^<[0-7]>' "$log" | head -1)"
    grep -q $'\e' "$log" && check_fail "23: an escape character reached the log"
    evaluate "23 name forging a log line" "$sp" s23 1
    expect_counts "23" 1 0
}

# 22. The watched folder renamed away and a new one made under its name: a file put there prints
# within seconds (the watch moves to the new folder), not at the next full reading a minute on.
scenario_folder_made_anew() {
    local sp t0
    sp=$(new_spool s22)
    make_batch "$sp" s22 1
    prog_start_service "$sp/*.TXT"
    wait_for 20 no_pending "$sp" || check_fail "22: the first file did not print"
    mv "$sp" "$sp.old"
    mkdir "$sp"
    chmod 777 "$sp"
    t0=$(date +%s%N)
    spool_file "$sp/NEW.TXT" s22-2
    if wait_for 10 no_pending "$sp"; then
        say "22: the new folder's file was taken after $(( ($(date +%s%N) - t0) / 1000000 )) ms"
    else
        check_fail "22: a file in the folder made anew did not print within 10 s"
    fi
    wait_for 20 cups_idle
    prog_stop
    evaluate "22 folder renamed away, made anew" "$sp" s22 2
    expect_counts "22" 2 0
}
