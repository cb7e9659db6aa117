#!/bin/bash
# A desktop run of the real program: Xvfb with a small tray host, a private CUPS scheduler, a
# settings file. Drops a spool file and checks that it is printed and backed up, that the tray
# icon is there and blinks, that a left click on it shows the window, that the titles are exact
# and that Sair answered Yes ends the program. Saves screenshots.
#
#   desktop-run.sh PATH-TO-VELMORIX2 ARTIFACT-FOLDER
set -euo pipefail

program=$(readlink -f "$1")
artifacts=$(mkdir -p "$2" && readlink -f "$2")
here=$(dirname "$(readlink -f "$0")")
work=$(mktemp -d /tmp/velmorix-desktop.XXXXXX)
chmod 755 "$work" # the scheduler runs its filters as another user
export CUPS_SANDBOX_DIR=$work/cups
pids=()

cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    bash "$here/../cups/cups-sandbox.sh" stop >/dev/null 2>&1 || true
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "desktop run: FAILED: $*" >&2
    [ -f "$work/program.log" ] && sed 's/^/  program: /' "$work/program.log" >&2
    exit 1
}
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local limit=$1; shift
    local end=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.1
    done
}

bash "$here/../cups/cups-sandbox.sh" start >/dev/null 2>&1 || fail "the CUPS sandbox did not start"
export CUPS_SERVER=$CUPS_SANDBOX_DIR/run/cups.sock

display=
for n in $(seq 90 120); do
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then display=:$n; break; fi
done
[ -n "$display" ] || fail "no free X display"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
wait_for 10 xdpyinfo || fail "Xvfb did not start"
trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    --transparent false --tint 0x808080 >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

mkdir -p "$work/app" "$work/spool" "$work/run"
chmod 700 "$work/run"
cp "$program" "$work/app/velmorix2"
printf 'LOCAL = %s/spool/*.TXT\r\nIMPRESSORA = VelCap\r\nBACKUP = 1\r\nPARALELA = 0\r\nPORTA = \r\n' \
    "$work" >"$work/app/VELMORIX.INI"
(cd "$work" && exec env -u DBUS_SESSION_BUS_ADDRESS -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$work/run" XDG_STATE_HOME="$work/state" \
    "$work/app/velmorix2" >"$work/program.log" 2>&1) &
program_pid=$!
pids+=($program_pid)

# The tray icon: a small window of the program inside the tray host at the top of the screen.
icon_geometry() {
    local w
    for w in $(xdotool search --classname velmorix2 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        if [ "$Y" -lt 40 ] && [ "$WIDTH" -le 64 ] && [ "$HEIGHT" -le 64 ]; then
            echo "$X $Y $WIDTH $HEIGHT"
            return 0
        fi
    done
    return 1
}
wait_for 15 icon_geometry || fail "no tray icon appeared"
read -r ix iy iw ih < <(icon_geometry)
# Started with a settings file, the window stays hidden.
if xdotool search --onlyvisible --name 'Velmorix - Configura' >/dev/null 2>&1; then
    fail "the window is shown although a settings file exists"
fi

# The icon blinks: over four seconds it shows more than one picture.
declare -A seen=()
for _ in $(seq 1 80); do
    sum=$(import -window root -crop "${iw}x${ih}+${ix}+${iy}" png:- 2>/dev/null | md5sum | cut -c1-32)
    seen[$sum]=1
    sleep 0.05
done
[ ${#seen[@]} -ge 2 ] || fail "the tray icon did not change between ticks"
import -window root -crop "200x32+$((1024 - 200))+0" "$artifacts/tray.png"

printf 'DESKTOP RUN MARKER 4711\r\nsecond line\r\n' >"$work/spool/REL.TXT"
wait_for 20 test -f "$work/spool/REL.bak" || fail "the spool file was not backed up"
[ ! -e "$work/spool/REL.TXT" ] || fail "the spool file is still there"
job() { ls "$CUPS_SANDBOX_DIR"/out/jobs/*.pdf 2>/dev/null | head -1; }
wait_for 20 job || fail "no job reached the queue"
pdftotext "$(job)" - | grep -q 'DESKTOP RUN MARKER 4711' || fail "the job does not hold the spool file's text"

read -r ix iy iw ih < <(icon_geometry)
xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 1
wait_for 10 xdotool search --onlyvisible --name 'Velmorix - Configura' || fail "a left click did not show the window"
sleep 0.5
window=$(xdotool search --onlyvisible --name 'Velmorix - Configura' | head -1)
import -window "$window" "$artifacts/window.png"
import -window root "$artifacts/screen.png"

# Titles exactly as given: nothing appended by the toolkit, in either property.
title_is() {
    local props
    props=$(LC_ALL=C.UTF-8 xprop -id "$1" _NET_WM_NAME WM_NAME) || return 1
    [ "$(grep -c " = \"$2\"\$" <<<"$props")" = 2 ] || { echo "$props" >&2; return 1; }
}
title_is "$window" 'Velmorix - Configuração' || fail "the window's title is not exact"

# Sair from the tray menu, answered Sim, ends the program.
read -r ix iy iw ih < <(icon_geometry)
xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 3
sleep 0.5
xdotool key Up Return # Sair is the menu's last item
wait_for 10 xdotool search --onlyvisible --name 'Velmorix -Encerramento' || fail "Sair asked no question"
question=$(xdotool search --onlyvisible --name 'Velmorix -Encerramento' | head -1)
title_is "$question" 'Velmorix -Encerramento' || fail "the exit question's title is not exact"
# Qt's Portuguese buttons: "Sim" answers with its mnemonic s.
xdotool windowfocus --sync "$question" key s
program_ended() { ! kill -0 "$program_pid"; }
wait_for 5 program_ended || fail "Sair answered Sim did not end the program"
status=0
wait "$program_pid" || status=$?
[ "$status" = 0 ] || fail "the program ended with status $status"
echo "desktop run: ok (job $(basename "$(job)"), screenshots in $artifacts)"
