#!/bin/bash
# SIGTERM ends the program even when its window is on screen and nobody could answer a
# question (no notification area: the window stays shown). SIGTERM and SIGINT in the middle of
# a long raw batch end it after the file in hand: every file is printed once or left in place.
#   terminate.sh PATH-TO-VELMORIX2
set -euo pipefail
work=$(mktemp -d)
pid=
reader=
trap 'kill -KILL $pid $reader 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "terminate: FAILED: $*"; cat "$work/log"; exit 1; }
mkdir -p "$work/app" "$work/run"
chmod 700 "$work/run"
cp "$1" "$work/app/velmorix2"

start() { rm -rf "$work/spool" && mkdir "$work/spool" && printf '%s\r\n' "$@" >"$work/app/VELMORIX.INI"; }
run() {
    (cd "$work" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" CUPS_SERVER="$work/no-cups.sock" \
        exec "$work/app/velmorix2" >"$work/log" 2>&1) &
    pid=$!
}
# Sends the signal and waits up to $2 tenths of a second for a clean end.
ends_on() {
    kill -"$1" $pid
    for _ in $(seq 1 "$2"); do
        kill -0 $pid 2>/dev/null || { wait $pid || fail "status $? after SIG$1"; return 0; }
        sleep 0.1
    done
    fail "still running $(($2 / 10)) s after SIG$1"
}

start "LOCAL = $work/spool/*.TXT" "IMPRESSORA = none" "BACKUP = 1"
run
sleep 2
kill -0 $pid || fail "the program did not start"
ends_on TERM 50

# Raw output into a pipe that one reader holds open the whole time: what it collects shows
# every file printed, and how often.
files=4000
mkfifo "$work/port"
for signal in TERM INT; do
    start "LOCAL = $work/spool/*.TXT" "IMPRESSORA = none" "BACKUP = 1" "PARALELA = 1" "PORTA = $work/port"
    for i in $(seq -w 1 $files); do printf 'FILE %s\r\n' "$i" >"$work/spool/R$i.TXT"; done
    : >"$work/printed"
    exec 3<>"$work/port"
    cat <&3 >>"$work/printed" &
    reader=$!
    run
    for _ in $(seq 1 100); do
        [ "$(grep -c FILE "$work/printed")" -ge 20 ] && break
        sleep 0.1
    done
    ends_on $signal 30
    sleep 0.2
    kill $reader && exec 3<&-
    left=$(ls "$work/spool" | grep -c 'TXT$' || true)
    [ "$left" -gt $((files / 2)) ] || fail "SIG$signal: the batch ran on ($left of $files left)"
    # Printed once each, and exactly the files put away: a signal never leaves one half done.
    diff <(tr -d '\r' <"$work/printed" | sed 's/^FILE /R/; s/$/.bak/') \
        <(ls "$work/spool" | grep 'bak$') >/dev/null || fail "SIG$signal: printed files and backups differ"
    [ $((left + $(wc -l <"$work/printed"))) = $files ] || fail "SIG$signal: files lost"
done
echo "terminate: ok"
