#!/bin/bash
# The service with no display at all: it prints on the private scheduler, logs to standard
# output, takes up changed settings on SIGHUP from the next file, and ends on SIGTERM.
#   service.sh PATH-TO-VELMORIX2   (CUPS_SERVER names the private scheduler)
set -euo pipefail
work=$(mktemp -d)
chmod 755 "$work"
pid=
trap 'kill -KILL $pid 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "service: FAILED: $*"; cat "$work/log"; exit 1; }
wait_for() {
    local end=$((SECONDS + $1)); shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.1
    done
}
settings() { printf '%s\r\n' "$@" >"$work/svc.INI"; }
mkdir -p "$work/spool" "$work/other"
settings "LOCAL = $work/missing/*.TXT; $work/spool/*.TXT;" "IMPRESSORA = VelCap" "BACKUP = 1" "PARALELA = 0" "PORTA = "
(cd "$work" && exec env -i PATH="$PATH" HOME="$work" CUPS_SERVER="$CUPS_SERVER" \
    "$1" --service --config "$work/svc.INI" >"$work/log" 2>&1) &
pid=$!

marker="SERVICE MARKER $$"
printf '%s\r\n' "$marker" >"$work/spool/SVC.TXT"
wait_for 20 test -f "$work/spool/SVC.bak" || fail "the spool file was not printed"
grep -qx "Arquivo $work/spool/SVC.TXT impresso" "$work/log" || fail "no log line on standard output"
[ "$(grep -cx "Pasta $work/missing não existe" "$work/log")" = 1 ] || fail "the missing folder not told once"
printed() {
    local job
    for job in "$(dirname "$CUPS_SERVER")"/../out/jobs/*.pdf; do
        pdftotext "$job" - 2>/dev/null | grep -q "$marker" && return 0
    done
    return 1
}
wait_for 20 printed || fail "no job on the scheduler holds the spool file"

# The command line reaches the running service, an option's value given either way.
velmorix=$1
remote() {
    (cd "$work" && exec env -i PATH="$PATH" HOME="$work" "$velmorix" --config "$work/svc.INI" "$@" \
        >"$work/remote" 2>&1) && echo 0 || echo $?
}
[ "$(remote --status)" = 0 ] || fail "--status not answered: $(cat "$work/remote")"
[ "$(remote --retry NADA.TXT)" = 1 ] || fail "--retry of a file not waiting not refused"
[ "$(remote --retry=NADA.TXT)" = 1 ] || fail "--retry=NAME not taken as --retry NAME: $(cat "$work/remote")"
[ "$(remote --history=1)" = 0 ] && grep -q "	SVC.TXT	" "$work/remote" || fail "--history=1 did not list SVC.TXT"
[ "$(remote --history=tudo)" = 1 ] || fail "--history=DAYS not read as the days"

# New pattern and raw output to a file: the next file follows them.
settings "LOCAL = $work/other/*.PRN" "IMPRESSORA = VelCap" "BACKUP = 0" "PARALELA = 1" "PORTA = $work/raw.out"
kill -HUP $pid
sleep 0.5
kill -0 $pid || fail "SIGHUP ended the service"
printf 'RAW AFTER RELOAD\r\n' >"$work/other/NEW.PRN"
wait_for 10 grep -q 'RAW AFTER RELOAD' "$work/raw.out" || fail "the new settings were not taken up"
wait_for 5 test ! -e "$work/other/NEW.PRN" || fail "the file was not deleted"

kill -TERM $pid
wait_for 5 eval '! kill -0 $pid' || fail "still running after SIGTERM"
wait $pid || fail "status $? after SIGTERM"
[ "$(remote --status)" = 2 ] || fail "--status with no program running did not say so"

# Under systemd the journal reads each line's level: a file not printed is a warning.
settings "LOCAL = $work/other/*.PRN" "IMPRESSORA = VelCap" "BACKUP = 0" "PARALELA = 1" "PORTA = $work/none/lp0"
: >"$work/log"
(cd "$work" && exec env -i PATH="$PATH" HOME="$work" CUPS_SERVER="$CUPS_SERVER" \
    JOURNAL_STREAM="$(stat -c %d:%i "$work/log")" "$1" --service --config "$work/svc.INI" >>"$work/log" 2>&1) &
pid=$!
printf 'JOURNAL\r\n' >"$work/other/J.PRN"
wait_for 10 grep -qx "<4>Arquivo $work/other/J.PRN não impresso (dispositivo inexistente)" "$work/log" ||
    fail "no warning line for the file not printed"
settings "LOCAL = $work/other/*.PRN" "IMPRESSORA = VelCap" "BACKUP = 0" "PARALELA = 1" "PORTA = $work/raw.out"
kill -HUP $pid
wait_for 15 grep -qx "<6>Arquivo $work/other/J.PRN impresso" "$work/log" || fail "no info line for the file printed"
kill -TERM $pid
wait $pid || fail "status $? after SIGTERM"
echo "service: ok"
