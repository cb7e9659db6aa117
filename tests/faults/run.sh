#!/bin/bash
# run.sh - the fault suite: starts the real program against a private CUPS scheduler and checks,
# under faults, load and bad input, that every spool file ends up printed once and backed up or
# deleted, or still in its folder unprinted.
#
#   bash tests/faults/run.sh PATH-TO-VELMORIX2
#
# FAULTS_ONLY="cups_down raw_bad_ports ..." runs only those scenarios; KEEP_WORK=1 keeps the
# work folder. The default sizes are the short run CI makes (about 4 minutes on 2 cores);
# FAULTS_FULL=1 runs the full sizes (5,000 raw and 500 graphical files in a burst, 100 MB raw and
# 16 MB graphical big files, 200 files under SIGKILL, 100 files with CUPS stopped mid-batch).
# One size alone: FAULTS_BURST_RAW, FAULTS_BURST_GRAPHICAL, FAULTS_BIG_RAW_MB,
# FAULTS_BIG_GRAPHICAL_MB, FAULTS_KILL_RAW, FAULTS_KILL_GRAPHICAL, FAULTS_MIDBATCH,
# FAULTS_SHARED_CWD, FAULTS_TWO_PROGRAMS, FAULTS_REWRITE_ROUNDS.
# FAULTS_LIMIT (seconds) ends the whole suite: 900 by default, 1800 with FAULTS_FULL=1. Needs root (mounts, other users), Xvfb, trayer, xdotool, CUPS, poppler-utils.
# Prints one row per scenario and, as the last line, the totals.
set -uo pipefail

here=$(dirname "$(readlink -f "$0")")
# shellcheck source=lib.sh
. "$here/lib.sh"
# shellcheck source=scenarios.sh
. "$here/scenarios.sh"
# shellcheck source=scenarios2.sh
. "$here/scenarios2.sh"
# shellcheck source=scenarios3.sh
. "$here/scenarios3.sh"
# shellcheck source=scenarios_jobs.sh
. "$here/scenarios_jobs.sh"
# shellcheck source=scenarios_reading.sh
. "$here/scenarios_reading.sh"
# shellcheck source=scenarios_folder.sh
. "$here/scenarios_folder.sh"
# shellcheck source=scenarios_raw.sh
. "$here/scenarios_raw.sh"
# shellcheck source=scenarios_cups.sh
. "$here/scenarios_cups.sh"
# shellcheck source=scenarios_appends.sh
. "$here/scenarios_appends.sh"

[ $# -ge 1 ] || { echo "usage: $0 PATH-TO-VELMORIX2" >&2; exit 2; }
watchdog=
end_watchdog() {
    [ -n "$watchdog" ] || return 0
    local sleeper
    sleeper=$(pgrep -P "$watchdog")
    kill -KILL "$watchdog" 2>/dev/null
    wait "$watchdog" 2>/dev/null
    [ -n "$sleeper" ] && kill "$sleeper" 2>/dev/null
    watchdog=
}
trap 'end_watchdog; vf_cleanup' EXIT
trap 'exit 130' INT TERM
# The whole suite: one watchdog that ends it (and so, through the trap, every process).
[ "${FAULTS_FULL:-0}" = 1 ] && limit=1800 || limit=900
( sleep "${FAULTS_LIMIT:-$limit}"; echo "fault suite: time limit reached" >&2; kill -TERM $$ ) &
watchdog=$!

vf_setup "$1"

all=(cups_down queue_states raw_bad_ports kill full_disk bursts writers bad_files hostile settings shared_cwd rewrites two_programs job_outcomes reading_huge reading_cut_command folder_link_swap folder_log_names folder_made_anew raw_slow_device raw_stalled_device raw_missing_device cups_hung appends jobs_forgotten)
only=(${FAULTS_ONLY:-${all[*]}})
for s in "${only[@]}"; do
    echo "== $s"
    t0=$SECONDS
    "scenario_$s"
    prog_stop
    cups_clear
    echo "   ($((SECONDS - t0)) s)"
done

end_watchdog
echo "fault suite: $SECONDS s"
echo
printf '%-34s %6s %8s %6s %6s %8s\n' scenario "in" printed left lost twice
for row in "${VF_ROWS[@]}"; do echo "$row"; done
[ $VF_FAILED -eq 0 ] && [ $VF_TOTAL_LOST -eq 0 ] && status=0 || status=1
[ $status -eq 0 ] || echo "some checks failed (see CHECK FAILED above)"
echo "files lost: $VF_TOTAL_LOST, printed twice: $VF_TOTAL_TWICE"
exit $status
