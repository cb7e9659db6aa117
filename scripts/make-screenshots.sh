#!/bin/bash
# Makes docs/printout-list.png, the print-out list as the README shows it: the window test that
# opens the list on two waiting files keeps its picture. Run after scripts/build.
set -euo pipefail
cd "$(dirname "$0")/.."
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
VELMORIX_SCREENSHOT="$PWD/docs/printout-list.png" QT_QPA_PLATFORM=offscreen XDG_STATE_HOME="$state" \
    build/tests/ui/tst_frmvelmorix printOutListShowsAWaitingFile >/dev/null
echo "docs/printout-list.png"
