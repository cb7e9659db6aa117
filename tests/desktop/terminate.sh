#!/bin/bash
# SIGTERM ends the program even when its window is on screen and nobody could answer a
# question (no notification area: the window stays shown).
#   terminate.sh PATH-TO-VELMORIX2
set -euo pipefail
work=$(mktemp -d)
trap 'kill -KILL $pid 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/spool" "$work/run"
chmod 700 "$work/run"
cp "$1" "$work/app/velmorix2"
printf 'LOCAL = %s/spool/*.TXT\r\nIMPRESSORA = none\r\nBACKUP = 1\r\n' "$work" >"$work/app/VELMORIX.INI"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" CUPS_SERVER="$work/no-cups.sock" \
    "$work/app/velmorix2" >"$work/log" 2>&1 &
pid=$!
sleep 2
kill -0 $pid || { echo "terminate: the program did not start"; cat "$work/log"; exit 1; }
kill -TERM $pid
for _ in $(seq 1 50); do
    kill -0 $pid 2>/dev/null || { wait $pid && echo "terminate: ok"; exit 0; }
    sleep 0.1
done
echo "terminate: FAILED: still running 5 s after SIGTERM"
exit 1
