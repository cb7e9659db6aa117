# scenarios_reading.sh - spool files that are too large to print or that end inside a printer
# command. Sourced by run.sh after lib.sh and scenarios.sh. The program runs as a service here,
# so that its log is in program.log.

# reading_service LOCAL IMPRESSORA BACKUP PARALELA PORTA: a fresh run folder with its settings,
# the program started in it with --service.
reading_service() { service_start "$@"; }

# 20. A sparse file of 64 GB between two normal ones, graphical then raw: it is set aside with
# one log line and left as it is; the program lives and the files around it print once.
scenario_reading_huge() {
    local mode sp port n big
    for mode in g r; do
        sp=$(new_spool s20$mode)
        big=$sp/B_HUGE.TXT
        spool_file "$sp/A.TXT" "s20$mode-1"
        truncate -s 64G "$big"
        spool_file "$sp/C.TXT" "s20$mode-2"
        port=
        [ $mode = r ] && { sink_start s20; port=$VF_SINK; }
        reading_service "$sp/*.TXT" VelCap 1 $([ $mode = r ] && echo 1 || echo 0) "$port"
        wait_for 60 test -e "$sp/C.bak" || check_fail "20$mode: the file after the big one was not printed"
        [ $mode = g ] && wait_for 30 cups_idle
        ticks 2
        prog_alive || check_fail "20$mode: the program died"
        prog_stop
        [ $mode = r ] && sink_settle s20
        [ "$(stat -c %s "$big" 2>&1)" = 68719476736 ] || check_fail "20$mode: the big file was changed or moved"
        n=$(grep -c "^Arquivo $big não impresso (arquivo grande demais: 64 GB, o limite é " "$VF_RUN/program.log")
        [ "$n" = 1 ] || check_fail "20$mode: $n log lines for the big file, not 1"
        rm -f "$big" # before the ledger, which reads every file left
        evaluate "20$mode 64 GB sparse file, $([ $mode = r ] && echo raw || echo graphical)" "$sp" "s20$mode" 2
        expect_counts "20$mode" 2 0
    done
}

# 21. A graphical file whose last bit image claims more bytes than are left: the text after it
# prints (its END marker with it), and the log says so after "impresso".
scenario_reading_cut_command() {
    local sp f log job found=0
    sp=$(new_spool s21)
    f=$sp/CUT.TXT
    printf 'VFMARK s21-1 BEGIN\r\n\033@HEAD LINE\r\n\033*\047\377\377\r\nTAIL TEXT 21\r\nVFMARK s21-1 END\r\n' >"$f"
    reading_service "$sp/*.TXT" VelCap 1 0 ""
    wait_for 30 test -e "$sp/CUT.bak" || check_fail "21: the file was not printed"
    wait_for 30 cups_idle
    prog_stop
    evaluate "21 bit image cut short at the end" "$sp" s21 1
    expect_counts "21" 1 0
    for job in "$VF_JOBS"/*.pdf; do
        pdftotext -q "$job" - 2>/dev/null | grep -q 'TAIL TEXT 21' && found=1
    done
    [ $found = 1 ] || check_fail "21: the text after the bit image is not in the PDF"
    log=$VF_RUN/program.log
    grep -m1 -A1 -x "Arquivo $f impresso" "$log" | tail -1 |
        grep -qx "Arquivo $f: comando de impressora incompleto no fim; o resto foi impresso como texto" ||
        check_fail "21: no log line after \"impresso\" for the command cut short"
}
